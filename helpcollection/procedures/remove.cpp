// Removing a help file: its entry in the collection registry, then its folder in the
// default collection.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "../library/library_lock.h"
#include "folder_path.h"
#include "tevo/quill.h"

namespace {

// Removes the document from the registry file that lists the default collection: 0 when it
// was removed and saved, a locate or save code on failure, and `*absent` true when it was
// not registered.
int UnregisterDocument(const char* id, bool* absent) {
    unsigned long registry = 0;
    const int opened = QuillOpenDocInfo(&registry);
    if (opened != QUILL_OK) {
        return opened;
    }
    unsigned long doc = 0;
    if (QuillFindDoc(registry, id, &doc) != QUILL_OK) {
        QuillCloseDocInfo(registry);
        *absent = true;
        return QUILL_OK;
    }
    QuillRemoveDoc(doc);
    const int saved = QuillSaveDocInfo(registry);
    QuillCloseDocInfo(registry);
    return saved;
}

// Deletes the last folder of the path from the default collection, when the whole path is
// there.
int RemoveFolder(const std::vector<std::string>& parts) {
    unsigned long collection = 0;
    const int loaded = QuillLoadDefaultCollection(&collection);
    if (loaded != QUILL_OK) {
        std::printf("Failed to load collection, error = %ld\n", static_cast<long>(loaded));
        std::fflush(stdout);
        return QUILL_REMOVE_FAILED;
    }
    unsigned long current = 0;
    bool found = QuillFindFolder(collection, parts.front().c_str(), &current) == QUILL_OK;
    for (std::size_t i = 1; found && i < parts.size(); ++i) {
        unsigned long next = 0;
        found = QuillFindSubFolder(current, parts[i].c_str(), &next) == QUILL_OK;
        current = next;
    }
    if (!found) {
        QuillReleaseCollection(collection);
        return QUILL_OK;
    }
    QuillDeleteFolder(current);
    const int saved = QuillSaveCollection(collection);
    QuillReleaseCollection(collection);
    if (saved != QUILL_OK) {
        std::printf("Failed to save collection, error = %ld\n", static_cast<long>(saved));
        std::fflush(stdout);
        return QUILL_REMOVE_FAILED;
    }
    return QUILL_OK;
}

}  // namespace

int QuillRemove(const char* folder, const char* id) {
    const tevo::quill::LibraryLock lock;
    // A folder text that cannot be used whole is refused before anything changes.
    std::optional<std::vector<std::string>> parts;
    if (folder != nullptr) {
        parts = tevo::quill::SplitFolderPath(folder);
        if (!parts) {
            return QUILL_REMOVE_FAILED;
        }
    }
    if (id != nullptr) {
        bool absent = false;
        const int unregistered = UnregisterDocument(id, &absent);
        if (unregistered != QUILL_OK || absent) {
            return unregistered;
        }
    }
    if (!parts || parts->empty()) {
        return QUILL_OK;
    }
    return RemoveFolder(*parts);
}
