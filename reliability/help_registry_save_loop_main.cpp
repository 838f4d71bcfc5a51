// tevo_help_registry_save_loop REGISTRY: opens the help collection registry file, then saves
// it again and again, alternately with and without the bulk documents, and writes one "s"
// to standard output after each save. The interrupted-save test kills it at varying points.
#include <cstdio>

#include "help_registry_bulk.h"
#include "tevo/quill.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tevo_help_registry_save_loop REGISTRY\n", stderr);
        return 2;
    }
    unsigned long registry = 0;
    if (QuillOpenDocInfo(argv[1], &registry) != QUILL_OK) {
        return 3;
    }
    for (;;) {
        if (!tevo::reliability::AddBulkDocuments(registry) ||
            QuillSaveDocInfo(registry) != QUILL_OK) {
            return 4;
        }
        std::fputs("s", stdout);
        std::fflush(stdout);
        if (!tevo::reliability::RemoveBulkDocuments(registry) ||
            QuillSaveDocInfo(registry) != QUILL_OK) {
            return 4;
        }
        std::fputs("s", stdout);
        std::fflush(stdout);
    }
}
