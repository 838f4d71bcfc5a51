// _splitpath and GetFullPathName: taking paths apart and making them absolute, as text,
// without looking at the file system (except for the current folder).
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "file_support.h"
#include "tevo/win/string_out.h"
#include "tevo/win/sysroot.h"

namespace tevo::win {
namespace {

namespace fs = std::filesystem;

template <class Char>
bool IsSeparator(Char c) {
    return c == Char('/') || c == Char('\\');
}

template <class Char>
std::basic_string<Char> Encode(const std::string& utf8) {
    if constexpr (sizeof(Char) == 1) {
        return utf8;
    } else {
        return Utf8ToWide(utf8);
    }
}

// The length of the drive at the start of a path: "X:", or the system root for a path
// inside it (the root stands for the system drive), or nothing.
template <class Char>
std::size_t DriveLength(std::basic_string_view<Char> path) {
    const auto ascii_letter = [](Char c) {
        return (c >= Char('A') && c <= Char('Z')) || (c >= Char('a') && c <= Char('z'));
    };
    if (path.size() >= 2 && ascii_letter(path[0]) && path[1] == Char(':')) {
        return 2;
    }
    if (path.empty() || !IsSeparator(path[0])) {
        return 0;
    }
    const std::basic_string<Char> root = Encode<Char>(SystemRoot().string());
    if (root.size() <= 1 || path.size() < root.size()) {
        return 0;
    }
    for (std::size_t i = 0; i < root.size(); ++i) {
        const bool same = path[i] == root[i] || (IsSeparator(path[i]) && IsSeparator(root[i]));
        if (!same) {
            return 0;
        }
    }
    if (path.size() > root.size() && !IsSeparator(path[root.size()])) {
        return 0;  // "/root2" is not inside "/root"
    }
    return root.size();
}

// Copies a part into an output of the given size (zero included), cut to fit, and never
// in the middle of a UTF-8 sequence.
template <class Char>
void PutPart(std::basic_string_view<Char> part, Char* out, std::size_t size) {
    if (out == nullptr) {
        return;
    }
    std::size_t length = std::min(part.size(), size - 1);
    if constexpr (sizeof(Char) == 1) {
        if (length < part.size()) {
            while (length > 0 && (static_cast<unsigned char>(part[length]) & 0xC0) == 0x80) {
                --length;
            }
        }
    }
    std::copy_n(part.begin(), length, out);
    out[length] = Char{};
}

template <class Char>
void SplitPath(const Char* path, Char* drive, Char* dir, Char* fname, Char* ext) {
    const std::basic_string_view<Char> text =
        path == nullptr ? std::basic_string_view<Char>() : std::basic_string_view<Char>(path);
    const std::size_t drive_length = DriveLength(text);
    const std::basic_string_view<Char> rest = text.substr(drive_length);
    std::size_t name_start = 0;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (IsSeparator(rest[i])) {
            name_start = i + 1;
        }
    }
    const std::basic_string_view<Char> name = rest.substr(name_start);
    const std::size_t dot = name.rfind(Char('.'));
    const std::size_t stem = dot == std::basic_string_view<Char>::npos ? name.size() : dot;
    PutPart(text.substr(0, drive_length), drive, _MAX_DRIVE);
    PutPart(rest.substr(0, name_start), dir, _MAX_DIR);
    PutPart(name.substr(0, stem), fname, _MAX_FNAME);
    PutPart(name.substr(stem), ext, _MAX_EXT);
}

// The absolute, normalised form of a path, or empty when the current folder is unknown.
std::string FullPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    const bool ends_with_separator = path.back() == '/';
    fs::path full(path);
    if (full.is_relative()) {
        std::error_code error;
        const fs::path current = fs::current_path(error);
        if (error) {
            return {};
        }
        full = current / full;
    }
    std::string text = full.lexically_normal().string();
    if (text.size() > 1 && text.back() == '/' && !ends_with_separator) {
        text.pop_back();  // "a/." names "a"
    }
    if (ends_with_separator && text.back() != '/') {
        text.push_back('/');
    }
    return text;
}

template <class Char>
DWORD FullPathName(const Char* name, DWORD size, Char* buffer, Char** file_part) {
    if (file_part != nullptr) {
        *file_part = nullptr;
    }
    if (name == nullptr || *name == Char{}) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    const std::string full = FullPath(detail::Narrow(name));
    if (full.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    const std::basic_string<Char> text = Encode<Char>(full);
    const DWORD result = CopyTextOut(std::basic_string_view<Char>(text), buffer, size);
    if (result == text.size() && file_part != nullptr && text.back() != Char('/')) {
        *file_part = buffer + text.rfind(Char('/')) + 1;
    }
    return result;
}

}  // namespace
}  // namespace tevo::win

extern "C" void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
    tevo::win::SplitPath(path, drive, dir, fname, ext);
}

extern "C" void _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname,
                            wchar_t* ext) {
    tevo::win::SplitPath(path, drive, dir, fname, ext);
}

extern "C" DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* file_part) {
    return tevo::win::FullPathName(name, size, buffer, file_part);
}

extern "C" DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* file_part) {
    return tevo::win::FullPathName(name, size, buffer, file_part);
}
