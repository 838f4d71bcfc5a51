// Installing a help file: its entry in the collection registry, then its place in the
// folder tree of the default collection.
#include <cstdio>
#include <string>
#include <vector>

#include "../docinfo/registry_location.h"
#include "../library/last_error.h"
#include "../library/library_lock.h"
#include "../locations/help_locations.h"
#include "folder_path.h"
#include "tevo/quill.h"

namespace {

constexpr const char* kLanguage = "1033";
constexpr const char* kLocationRef = "CORVEL-10-Local";

void Print(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void SetDocText(unsigned long doc, long which, std::string text) {
    QuillSetDocValue(doc, which, text.data());
}

// Registers (or updates) the document in the registry file that lists the default
// collection and saves that file.
int RegisterDocument(const char* chm, const char* chi, const char* id) {
    std::string file;
    std::string number;
    unsigned long registry = 0;
    const int located = tevo::quill::LocateRegistry(&file, &number, &registry);
    if (located != QUILL_OK) {
        return located;
    }
    unsigned long doc = 0;
    if (QuillFindDoc(registry, id, &doc) != QUILL_OK) {
        const int added = QuillAddDoc(registry, id, &doc);
        if (added != QUILL_OK) {
            Print("Failed to add new doc\n");
            QuillCloseDocInfo(registry);
            return added;
        }
    }
    SetDocText(doc, QUILL_DOC_LANGUAGE, kLanguage);
    SetDocText(doc, QUILL_DOC_TITLE_LOCATION, chm);
    SetDocText(doc, QUILL_DOC_INDEX_LOCATION, chi);
    SetDocText(doc, QUILL_DOC_LOCATION_REF, kLocationRef);
    SetDocText(doc, QUILL_DOC_COLLECTION_NUMBER, number);
    QuillCloseDoc(doc);
    const int saved = QuillSaveDocInfo(registry);
    QuillCloseDocInfo(registry);
    return saved;
}

// The sub-folder of that title, found among the folder's direct sub-folders or else added.
bool FindOrAddSubFolder(unsigned long folder, const std::string& title, unsigned long* sub) {
    return QuillFindSubFolder(folder, title.c_str(), sub) == QUILL_OK ||
           QuillAddSubFolder(folder, title.c_str(), sub) == QUILL_OK;
}

// Places the document's entry ("=" + id) in the default collection below the folder path.
int PlaceInCollection(const std::vector<std::string>& parts, const char* id) {
    unsigned long collection = 0;
    if (QuillLoadDefaultCollection(&collection) != QUILL_OK) {
        tevo::quill::SetLastErrorText("Failed to load collection");
        return QUILL_NO_DEFAULT_COLLECTION;
    }
    unsigned long current = 0;
    if (QuillFindFolder(collection, parts.front().c_str(), &current) != QUILL_OK &&
        QuillAddFolder(collection, parts.front().c_str(), &current) != QUILL_OK) {
        QuillReleaseCollection(collection);
        return QUILL_FOLDER_NOT_ADDED;
    }
    std::vector<std::string> below(parts.begin() + 1, parts.end());
    below.push_back(std::string("=") + id);
    for (const std::string& title : below) {
        unsigned long next = 0;
        if (!FindOrAddSubFolder(current, title, &next)) {
            Print("Failed to add folder\n");
            QuillReleaseCollection(collection);
            return QUILL_FOLDER_NOT_ADDED;
        }
        current = next;
    }
    const int saved = QuillSaveCollection(collection);
    QuillReleaseCollection(collection);
    if (saved != QUILL_OK) {
        std::printf("Failed to save collection, error = %ld\n", static_cast<long>(saved));
        std::fflush(stdout);
        return QUILL_SAVE_FAILED;
    }
    return QUILL_OK;
}

}  // namespace

int QuillInstall(const char* folder, const char* chm, const char* chi, const char* id) {
    const tevo::quill::LibraryLock lock;
    if (chm == nullptr || !tevo::quill::PathExists(chm)) {
        tevo::quill::SetLastErrorText("CHM file does not exist");
        return QUILL_HELP_FILE_MISSING;
    }
    if (chi == nullptr || !tevo::quill::PathExists(chi)) {
        tevo::quill::SetLastErrorText("CHI file does not exist");
        return QUILL_INDEX_FILE_MISSING;
    }
    if (id == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    // A folder text that cannot be used whole is refused before anything changes.
    const auto parts = tevo::quill::SplitFolderPath(folder == nullptr ? "" : folder);
    if (!parts) {
        return QUILL_FOLDER_NOT_ADDED;
    }
    const int registered = RegisterDocument(chm, chi, id);
    if (registered != QUILL_OK) {
        return registered;
    }
    if (parts->empty()) {
        return QUILL_OK;
    }
    return PlaceInCollection(*parts, id);
}
