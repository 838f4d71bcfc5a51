// Opening, saving, closing and backing up the collection registry, and the default
// collection's number in it.
#include <string>

#include "../library/ansi_text.h"
#include "../library/handle_table.h"
#include "../library/last_error.h"
#include "../library/library_lock.h"
#include "../locations/help_locations.h"
#include "registry_location.h"
#include "tevo/quill.h"
#include "tevo/win/files.h"

namespace {

using tevo::quill::HandleTable;
using tevo::quill::LibraryLock;

}  // namespace

int QuillOpenDocInfo(const char* file, unsigned long* registry) {
    const LibraryLock lock;
    if (file == nullptr || registry == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    return tevo::quill::OpenRegistryFile(file, registry);
}

int QuillOpenDocInfo(unsigned long* registry) {
    const LibraryLock lock;
    if (registry == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    std::string file;
    std::string number;
    const int located = tevo::quill::LocateRegistry(&file, &number, nullptr);
    if (located != QUILL_OK) {
        return located;
    }
    // The file is opened afresh: it may have gone since it was checked.
    if (!tevo::quill::PathExists(file)) {
        tevo::quill::SetLastErrorText("HHCOLREG.DAT not found");
        return QUILL_NOT_FOUND;
    }
    return tevo::quill::OpenRegistryFile(file, registry);
}

int QuillSaveDocInfo(unsigned long registry) {
    return QuillSaveCollection(registry);
}

void QuillCloseDocInfo(unsigned long registry) {
    QuillReleaseCollection(registry);
}

int QuillGetDefaultCollectionNumber(unsigned long registry, char* number) {
    const LibraryLock lock;
    tevo::quill::LoadedDocument* loaded = HandleTable::Instance().FindDocument(registry);
    if (loaded == nullptr || number == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    std::string found;
    const int read = tevo::quill::ReadDefaultCollectionNumber(*loaded, &found);
    if (read == QUILL_OK) {
        tevo::quill::CopyWholeText(found, number);
    }
    return read;
}

int QuillBackupDocInfo() {
    const LibraryLock lock;
    const auto file = tevo::quill::PreferredRegistryFile();
    if (!file) {
        return QUILL_NOT_FOUND;
    }
    const std::string backup = file->substr(0, file->find_last_of("/\\") + 1) + "HHCOLREG.BAK";
    return CopyFileA(file->c_str(), backup.c_str(), FALSE) ? QUILL_OK : QUILL_BACKUP_FAILED;
}
