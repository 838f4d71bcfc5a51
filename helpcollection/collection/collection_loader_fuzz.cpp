// libFuzzer target: any bytes as a collection file, loaded, walked and edited through the
// exported functions. Run with -DTEVO_FUZZ=ON under clang (see helpcollection/CMakeLists.txt).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_system_root.h"
#include "tevo/quill.h"

namespace {

// Visits every folder a cursor yields and the folders below them, reading each title.
void Walk(unsigned long cursor, std::vector<char>& name, int depth) {
    unsigned long folder = 0;
    while (QuillNextCollectionFolder(cursor, &folder) == QUILL_OK) {
        QuillGetFolderName(folder, name.data());
        unsigned long sub_cursor = 0;
        if (depth < 64 && QuillEnumSubFolders(folder, &sub_cursor) == QUILL_OK) {
            Walk(sub_cursor, name, depth + 1);
        }
    }
}

void WalkRoot(unsigned long collection, std::vector<char>& name) {
    unsigned long cursor = 0;
    if (QuillEnumCollectionRootFolders(collection, &cursor) == QUILL_OK) {
        Walk(cursor, name, 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file = tevo::quill::testing::WriteFuzzInput("input.col", data, size);
    // A title read back may grow: every byte that is not UTF-8 becomes U+FFFD (3 bytes).
    std::vector<char> text(4 * size + 64);
    unsigned long collection = 0;
    if (QuillLoadCollection(file.c_str(), &collection) != QUILL_OK) {
        QuillGetLastError(text.data(), static_cast<unsigned long>(text.size()));
        return 0;
    }
    WalkRoot(collection, text);
    unsigned long found = 0;
    unsigned long added = 0;
    if (QuillFindFolder(collection, "Analyzers", &found) == QUILL_OK) {
        QuillAddSubFolder(found, "Added", &added);
        QuillFindSubFolder(found, "Added", &added);
        unsigned long cursor = 0;
        QuillEnumCollectionRootFolders(collection, &cursor);
        QuillDeleteFolder(found);
        QuillGetFolderName(added, text.data());  // refused: it went with its parent
        Walk(cursor, text, 0);
    }
    QuillAddFolder(collection, "New", &added);
    WalkRoot(collection, text);
    QuillReleaseCollection(collection);
    return 0;
}
