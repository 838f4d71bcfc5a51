// Loading, saving, releasing and backing up collection files.
#include <cstdio>
#include <memory>
#include <utility>

#include "../library/handle_table.h"
#include "../library/library_lock.h"
#include "../library/loaded_document.h"
#include "../locations/default_collection.h"
#include "collection_structure.h"
#include "tevo/quill.h"
#include "tevo/win/files.h"

namespace {

using tevo::quill::HandleTable;
using tevo::quill::LibraryLock;

void Print(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

// The same path with its extension (the part of the last name from its last ".") replaced
// by ".bak", or ".bak" appended when it has none.
std::string BackupName(const std::string& path) {
    const std::size_t name_start =
        path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1;
    const std::size_t dot = path.rfind('.');
    const std::size_t stem_end = dot == std::string::npos || dot < name_start ? path.size() : dot;
    return path.substr(0, stem_end) + ".bak";
}

}  // namespace

int QuillLoadCollection(const char* file, unsigned long* collection) {
    const LibraryLock lock;
    if (file == nullptr || collection == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    std::unique_ptr<tevo::quill::LoadedDocument> loaded;
    const int parsed = tevo::quill::LoadDocumentFile(file, &loaded);
    if (parsed != QUILL_OK) {
        return parsed;
    }
    const int checked = tevo::quill::CheckCollectionRoot(*loaded);
    if (checked != QUILL_OK) {
        return checked;
    }
    *collection = HandleTable::Instance().AddDocument(std::move(loaded));
    return QUILL_OK;
}

int QuillLoadDefaultCollection(unsigned long* collection) {
    const LibraryLock lock;
    if (collection == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const auto name = tevo::quill::DefaultCollectionFilename();
    if (!name) {
        Print("Failed to get collection filename\n");
        return QUILL_NO_DEFAULT_COLLECTION;
    }
    return QuillLoadCollection(name->c_str(), collection);
}

int QuillSaveCollection(unsigned long collection) {
    const LibraryLock lock;
    const tevo::quill::LoadedDocument* loaded = HandleTable::Instance().FindDocument(collection);
    if (loaded == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    return tevo::quill::SaveDocumentFile(*loaded);
}

void QuillReleaseCollection(unsigned long collection) {
    const LibraryLock lock;
    HandleTable::Instance().ReleaseDocument(collection);
}

int QuillBackupDefaultCollection() {
    const LibraryLock lock;
    const auto name = tevo::quill::DefaultCollectionFilename();
    if (!name) {
        Print("Failed to get collection filename\n");
        return QUILL_NO_DEFAULT_COLLECTION;
    }
    return CopyFileA(name->c_str(), BackupName(*name).c_str(), FALSE) ? QUILL_OK
                                                                      : QUILL_BACKUP_FAILED;
}
