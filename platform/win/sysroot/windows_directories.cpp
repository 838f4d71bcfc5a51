// The Win32 functions that name the folders of the system root.
#include <string>

#include "tevo/win/string_out.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"

namespace {

DWORD CopyPathOut(const std::string& path, LPSTR buffer, DWORD size) {
    return tevo::win::CopyTextOut(std::string_view(path), buffer, size);
}

DWORD CopyPathOut(const std::string& path, LPWSTR buffer, DWORD size) {
    const std::wstring wide = tevo::win::Utf8ToWide(path);
    return tevo::win::CopyTextOut(std::wstring_view(wide), buffer, size);
}

std::string TempPath() {
    return tevo::win::TempDirectory().string() + "/";
}

}  // namespace

extern "C" UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return CopyPathOut(tevo::win::WindowsDirectory().string(), buffer, size);
}

extern "C" UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
    return CopyPathOut(tevo::win::WindowsDirectory().string(), buffer, size);
}

extern "C" UINT GetSystemWindowsDirectoryA(LPSTR buffer, UINT size) {
    return GetWindowsDirectoryA(buffer, size);
}

extern "C" UINT GetSystemWindowsDirectoryW(LPWSTR buffer, UINT size) {
    return GetWindowsDirectoryW(buffer, size);
}

extern "C" UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return CopyPathOut(tevo::win::SystemDirectory().string(), buffer, size);
}

extern "C" UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
    return CopyPathOut(tevo::win::SystemDirectory().string(), buffer, size);
}

extern "C" DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    return CopyPathOut(TempPath(), buffer, size);
}

extern "C" DWORD GetTempPathW(DWORD size, LPWSTR buffer) {
    return CopyPathOut(TempPath(), buffer, size);
}
