// GetTempFileName: "<path>/<prefix><XXXX>.tmp", either a fixed name or a new empty file
// under a number that is free in the folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <set>
#include <string>

#include "temp_file_name.h"

#include "file_support.h"

namespace tevo::win {

namespace detail {

namespace {
constexpr unsigned kNumbers = 0xFFFF;  // 1 to FFFF; 0 means "choose one"
}

std::string TempFileName(const std::wstring& prefix, unsigned number) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", number & 0xFFFF);
    return WideToUtf8(prefix) + digits + ".tmp";
}

unsigned FirstFreeTempNumber(const std::set<std::wstring>& taken_folded, const std::wstring& prefix,
                             unsigned start) {
    for (unsigned attempt = 0; attempt < kNumbers; ++attempt) {
        const unsigned number = ((start - 1 + attempt) % kNumbers) + 1;
        if (taken_folded.count(FoldedName(TempFileName(prefix, number))) == 0) {
            return number;
        }
    }
    return 0;
}

}  // namespace detail

namespace {

using detail::TempFileName;

// The names of a folder's entries, compared without regard to case.
std::set<std::wstring> FoldedEntries(const std::filesystem::path& folder) {
    std::set<std::wstring> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            names.insert(detail::FoldedName(entry->d_name));
        }
        closedir(dir);
    }
    return names;
}

template <class Char>
UINT TempFileName(const Char* path, const Char* prefix, UINT unique, Char* out) {
    if (path == nullptr || out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string folder_text = detail::Narrow(path);
    const std::wstring short_prefix = Utf8ToWide(detail::Narrow(prefix)).substr(0, 3);
    const bool has_separator =
        !folder_text.empty() && (folder_text.back() == '/' || folder_text.back() == '\\');
    const std::string lead = folder_text + (has_separator ? "" : "/");
    // Checked before a file is created, so that a name that does not fit leaves nothing.
    const auto fits = [&](const std::string& name) {
        if constexpr (sizeof(Char) == 1) {
            return (lead + name).size() < MAX_PATH;
        } else {
            return Utf8ToWide(lead + name).size() < MAX_PATH;
        }
    };
    const auto copy_out = [&](const std::string& name) {
        if constexpr (sizeof(Char) == 1) {
            const std::string text = lead + name;
            std::copy(text.begin(), text.end(), out);
            out[text.size()] = '\0';
        } else {
            const std::wstring text = Utf8ToWide(lead + name);
            std::copy(text.begin(), text.end(), out);
            out[text.size()] = L'\0';
        }
    };
    if (!fits(TempFileName(short_prefix, 0))) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    if (unique != 0) {
        copy_out(TempFileName(short_prefix, unique));
        return unique;
    }
    const ResolvedPath folder = ResolvePath(folder_text.empty() ? std::string(".") : folder_text);
    struct stat info {};
    if (!folder.exists || stat(folder.path.c_str(), &info) != 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    if (!S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    // The search starts at a number taken from the clock, as on Windows.
    std::set<std::wstring> taken = FoldedEntries(folder.path);
    const unsigned start = (GetTickCount() ^ (GetCurrentProcessId() << 4)) % 0xFFFF + 1;
    for (;;) {
        const unsigned number = detail::FirstFreeTempNumber(taken, short_prefix, start);
        if (number == 0) {
            SetLastError(ERROR_FILE_EXISTS);
            return 0;
        }
        const std::string name = TempFileName(short_prefix, number);
        const int fd =
            open((folder.path / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            copy_out(name);
            return number;
        }
        if (errno != EEXIST) {
            SetLastError(Win32ErrorFromErrno(errno));
            return 0;
        }
        taken.insert(detail::FoldedName(name));  // created by someone else meanwhile
    }
}

}  // namespace
}  // namespace tevo::win

extern "C" UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR temp_file_name) {
    return tevo::win::TempFileName(path, prefix, unique, temp_file_name);
}

extern "C" UINT GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR temp_file_name) {
    return tevo::win::TempFileName(path, prefix, unique, temp_file_name);
}
