// The large folder that the interrupted-save test adds and deletes, so that every save
// takes long enough to be interrupted in the middle.
#pragma once

#include <string>

#include "tevo/quill.h"

namespace tevo::quill::testing {

constexpr int kBulkSubFolders = 3000;

// Adds the top-level folder "Bulk" with its sub-folders; its handle, or 0 on failure.
inline unsigned long AddBulkFolder(unsigned long collection) {
    unsigned long bulk = 0;
    if (QuillAddFolder(collection, "Bulk", &bulk) != QUILL_OK) {
        return 0;
    }
    for (int i = 0; i < kBulkSubFolders; ++i) {
        unsigned long sub = 0;
        const std::string title = "Bulk entry " + std::to_string(i);
        if (QuillAddSubFolder(bulk, title.c_str(), &sub) != QUILL_OK) {
            return 0;
        }
    }
    return bulk;
}

}  // namespace tevo::quill::testing
