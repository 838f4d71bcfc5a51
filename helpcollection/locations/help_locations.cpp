#include "help_locations.h"

#include "../library/ansi_text.h"
#include "../library/last_error.h"
#include "../library/library_lock.h"
#include "tevo/quill.h"
#include "tevo/win/files.h"
#include "tevo/win/sysroot.h"

namespace tevo::quill {
namespace {

std::optional<std::string> WindowsDirectory() {
    char buffer[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return std::nullopt;
    }
    return std::string(buffer, length);
}

}  // namespace

std::optional<std::string> WindowsHelpDirectory() {
    const auto windows = WindowsDirectory();
    if (!windows) {
        return std::nullopt;
    }
    return *windows + "/Help/";
}

std::optional<std::string> AllUsersHelpDirectory() {
    const auto windows = WindowsDirectory();
    if (!windows) {
        return std::nullopt;
    }
    char drive[_MAX_DRIVE];
    char dir[_MAX_DIR];
    char name[_MAX_FNAME];
    char extension[_MAX_EXT];
    _splitpath(windows->c_str(), drive, dir, name, extension);
    return std::string(drive) +
           "/Documents and Settings/All Users/Application Data/Microsoft/HTML Help/";
}

std::optional<std::string> WindowsRegistryFile() {
    const auto directory = WindowsHelpDirectory();
    if (!directory) {
        return std::nullopt;
    }
    return *directory + "HHCOLREG.DAT";
}

std::optional<std::string> AllUsersRegistryFile() {
    const auto directory = AllUsersHelpDirectory();
    if (!directory) {
        return std::nullopt;
    }
    return *directory + "hhcolreg" + ".dat";
}

std::optional<std::string> PreferredRegistryFile() {
    for (const auto& file : {WindowsRegistryFile(), AllUsersRegistryFile()}) {
        if (file && FileExists(*file)) {
            return file;
        }
    }
    return std::nullopt;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace tevo::quill

int QuillGetDefaultDocumentCollectionFilename(char* buffer, unsigned long size) {
    const tevo::quill::LibraryLock lock;
    const auto file = tevo::quill::PreferredRegistryFile();
    if (!file) {
        tevo::quill::SetLastErrorText("HHCOLREG.DAT in %windows%\\HELP not found");
        return 0;
    }
    return tevo::quill::CopyTextCut(*file, buffer, size) ? 1 : 0;
}
