// libFuzzer target: any bytes as a collection registry file, opened, read and edited
// through the exported functions. Run with -DTEVO_FUZZ=ON under clang (see
// helpcollection/CMakeLists.txt).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_system_root.h"
#include "tevo/quill.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = [] {
        tevo::quill::testing::RegisterDefaultCollection("{DEVELOPER_COLLECTION}");
        return true;
    }();
    (void)registered;
    const std::string file = tevo::quill::testing::WriteFuzzInput("hhcolreg.dat", data, size);
    // A value read back may grow: every byte that is not UTF-8 becomes U+FFFD (3 bytes).
    std::vector<char> text(4 * size + 64);
    unsigned long registry = 0;
    if (QuillOpenDocInfo(file.c_str(), &registry) != QUILL_OK) {
        QuillGetLastError(text.data(), static_cast<unsigned long>(text.size()));
        return 0;
    }
    QuillGetDefaultCollectionNumber(registry, text.data());
    unsigned long cursor = 0;
    unsigned long doc = 0;
    unsigned long first = 0;
    if (QuillEnumDocCompilations(registry, &cursor) == QUILL_OK) {
        while (QuillNextDocCompilation(cursor, &doc) == QUILL_OK) {
            first = first == 0 ? doc : first;
            for (long which = 0; which <= 7; ++which) {
                QuillGetDocValue(doc, which, text.data());
            }
        }
    }
    char value[] = "value";
    if (QuillFindDoc(registry, "analyzer-guide", &doc) == QUILL_OK) {
        QuillSetDocValue(doc, QUILL_DOC_COLLECTION_NUMBER, value);
        QuillSetDocValue(doc, QUILL_DOC_LANGUAGE, value);
    }
    if (QuillAddDoc(registry, "fuzz-doc", &doc) == QUILL_OK) {
        QuillSetDocValue(doc, QUILL_DOC_TITLE_LOCATION, value);
        QuillGetDocValue(doc, QUILL_DOC_TITLE_LOCATION, text.data());
    }
    if (first != 0) {
        QuillRemoveDoc(first);
        QuillGetDocValue(first, QUILL_DOC_ID, text.data());  // refused: removed
    }
    QuillCloseDocInfo(registry);
    return 0;
}
