// quill_save_loop COLLECTION: loads the collection file, then saves it again and again,
// alternately with and without the bulk folder, and writes one "s" to standard output after
// each save. The interrupted-save test kills it at random moments.
#include <cstdio>

#include "bulk_folder.h"
#include "tevo/quill.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: quill_save_loop COLLECTION\n", stderr);
        return 2;
    }
    unsigned long collection = 0;
    if (QuillLoadCollection(argv[1], &collection) != QUILL_OK) {
        return 3;
    }
    for (;;) {
        const unsigned long bulk = tevo::quill::testing::AddBulkFolder(collection);
        if (bulk == 0 || QuillSaveCollection(collection) != QUILL_OK) {
            return 4;
        }
        std::fputs("s", stdout);
        std::fflush(stdout);
        QuillDeleteFolder(bulk);
        if (QuillSaveCollection(collection) != QUILL_OK) {
            return 4;
        }
        std::fputs("s", stdout);
        std::fflush(stdout);
    }
}
