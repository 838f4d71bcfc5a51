#include "help_registry_bulk.h"

#include <string>

#include "tevo/quill.h"

namespace tevo::reliability {

namespace {

std::string BulkId(int index) {
    return "bulk-document-" + std::to_string(index);
}

}  // namespace

bool AddBulkDocuments(unsigned long registry) {
    for (int i = 0; i < kBulkDocuments; ++i) {
        unsigned long doc = 0;
        if (QuillAddDoc(registry, BulkId(i).c_str(), &doc) != QUILL_OK) {
            return false;
        }
        std::string language = "1033";
        std::string title = "C:\\Help\\bulk\\document-" + std::to_string(i) + ".chm";
        const bool set = QuillSetDocValue(doc, QUILL_DOC_LANGUAGE, language.data()) == QUILL_OK &&
                         QuillSetDocValue(doc, QUILL_DOC_TITLE_LOCATION, title.data()) == QUILL_OK;
        QuillCloseDoc(doc);
        if (!set) {
            return false;
        }
    }
    return true;
}

bool RemoveBulkDocuments(unsigned long registry) {
    for (int i = 0; i < kBulkDocuments; ++i) {
        unsigned long doc = 0;
        if (QuillFindDoc(registry, BulkId(i).c_str(), &doc) != QUILL_OK ||
            QuillRemoveDoc(doc) != QUILL_OK) {
            return false;
        }
    }
    return true;
}

}  // namespace tevo::reliability
