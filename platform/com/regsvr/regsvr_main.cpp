// regsvr [/u] [/s] LIBRARY: loads the library, calls DllRegisterServer (or, with /u,
// DllUnregisterServer) and reports the outcome, with the HRESULT of a failed call in
// hexadecimal. Exit codes: 0 success, 1 bad command line, 2 COM not initialized, 3 load
// failure, 4 missing entry point, 5 the entry point failed.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "regsvr_command_line.h"
#include "tevo/com/apartment.h"
#include "tevo/win/files.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"

namespace {

enum ExitCode : int {
    kSucceeded = 0,
    kBadCommandLine = 1,
    kComFailed = 2,
    kLoadFailed = 3,
    kEntryPointMissing = 4,
    kCallFailed = 5,
};

using EntryPoint = HRESULT (*)();

// The name to load: a library that exists relative to the current directory (or, for an
// absolute path, at all) is loaded by its absolute path, so the server records where it
// really is; anything else goes to the loader, which searches the library search path.
std::string NameToLoad(const std::string& library) {
    const tevo::win::ResolvedPath resolved = tevo::win::ResolvePath(library);
    if (!resolved.exists) {
        return library;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(resolved.path, error);
    return error ? resolved.path.string() : absolute.lexically_normal().string();
}

// The system's text for a Win32 error code, without its line end; the library name fills
// the insert of texts that name the file.
std::string ErrorText(DWORD code, const std::string& library) {
    char text[512] = {};
    DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(library.c_str())};
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, code, 0,
                       text, sizeof text, reinterpret_cast<va_list*>(inserts));
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) {
        --length;
    }
    if (length == 0) {
        return "error " + std::to_string(code);
    }
    return std::string(text, length);
}

int Run(const tevo::regsvr::CommandLine& line) {
    const char* entry_name = line.unregister ? "DllUnregisterServer" : "DllRegisterServer";
    const char* library = line.library.c_str();

    const HMODULE module = LoadLibraryA(NameToLoad(line.library).c_str());
    if (module == nullptr) {
        const DWORD error = GetLastError();
        if (!line.silent) {
            std::fprintf(stderr, "LoadLibrary(\"%s\") failed - %s\n", library,
                         ErrorText(error, line.library).c_str());
        }
        return kLoadFailed;
    }
    const auto entry = reinterpret_cast<EntryPoint>(GetProcAddress(module, entry_name));
    if (entry == nullptr) {
        FreeLibrary(module);
        if (!line.silent) {
            std::fprintf(stderr,
                         "The module \"%s\" was loaded but the entry point %s was not found.\n",
                         library, entry_name);
        }
        return kEntryPointMissing;
    }
    const HRESULT hr = entry();
    FreeLibrary(module);
    if (FAILED(hr)) {
        if (!line.silent) {
            std::fprintf(stderr, "%s in %s failed. Return code was: 0x%08X\n", entry_name, library,
                         static_cast<unsigned>(hr));
        }
        return kCallFailed;
    }
    if (!line.silent) {
        std::printf("%s in %s succeeded.\n", entry_name, library);
    }
    return kSucceeded;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const tevo::regsvr::CommandLine line = tevo::regsvr::ParseCommandLine(arguments);
    if (line.help) {
        std::fputs(tevo::regsvr::UsageText(), stdout);
        return kSucceeded;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "regsvr: %s\n%s", line.error.c_str(), tevo::regsvr::UsageText());
        return kBadCommandLine;
    }
    const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(initialized)) {
        if (!line.silent) {
            std::fprintf(stderr, "CoInitializeEx failed. Return code was: 0x%08X\n",
                         static_cast<unsigned>(initialized));
        }
        return kComFailed;
    }
    const int result = Run(line);
    CoUninitialize();
    return result;
}
