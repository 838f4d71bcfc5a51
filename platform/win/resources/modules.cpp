// Module handles and dynamic loading: GetModuleHandle(Ex), GetModuleFileName, LoadLibrary,
// FreeLibrary and GetProcAddress over the dynamic loader.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "module_registry.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace {

using tevo::win::detail::MainProgramModule;
using tevo::win::detail::ModuleFromAddress;

// The references that LoadLibrary and GetModuleHandleEx took, as dlopen handles, so that
// FreeLibrary gives back exactly one of them.
struct References {
    std::mutex mutex;
    std::map<HMODULE, std::vector<void*>> handles;
};

References& GetReferences() {
    static auto* references = new References;
    return *references;
}

void AddReference(HMODULE module, void* handle) {
    References& refs = GetReferences();
    std::lock_guard lock(refs.mutex);
    refs.handles[module].push_back(handle);
}

// Opens one more reference on a loaded module (no load); NULL when that fails.
void* ReferenceLoadedModule(HMODULE module, int extra_flags) {
    if (module == MainProgramModule())
        return dlopen(nullptr, RTLD_LAZY | extra_flags);
    const std::string name = tevo::win::detail::ModuleLoaderName(module);
    if (name.empty())
        return nullptr;
    return dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD | extra_flags);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string WithSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// The loaded module whose file name (or, for a name with a folder, whose full path) is
// `name`; exact matches win over matches that ignore case.
HMODULE FindModuleByName(const std::string& raw_name) {
    struct Candidate {
        std::string path;
        const void* address;
    };
    std::vector<Candidate> candidates;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t /*size*/, void* data) -> int {
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type == PT_LOAD) {
                    static_cast<std::vector<Candidate>*>(data)->push_back(
                        {info->dlpi_name != nullptr ? info->dlpi_name : "",
                         reinterpret_cast<const void*>(info->dlpi_addr +
                                                       info->dlpi_phdr[i].p_vaddr)});
                    break;
                }
            }
            return 0;
        },
        &candidates);

    const std::string name = WithSlashes(raw_name);
    const bool with_folder = name.find('/') != std::string::npos;
    std::error_code error;
    const std::string wanted =
        with_folder ? std::filesystem::absolute(name, error).lexically_normal().string() : name;
    HMODULE ignoring_case = nullptr;
    for (const auto& candidate : candidates) {
        const HMODULE module = ModuleFromAddress(candidate.address);
        if (module == nullptr)
            continue;
        const std::string path = tevo::win::detail::ModuleFilePath(module);
        if (path.empty())
            continue;
        const std::string have =
            with_folder ? path : std::filesystem::path(path).filename().string();
        if (have == wanted)
            return module;
        if (ignoring_case == nullptr && EqualsIgnoringCase(have, wanted))
            ignoring_case = module;
    }
    return ignoring_case;
}

HMODULE GetModuleHandleUtf8(const char* name) {
    if (name == nullptr)
        return MainProgramModule();
    const HMODULE module = FindModuleByName(name);
    if (module == nullptr)
        SetLastError(ERROR_MOD_NOT_FOUND);
    return module;
}

BOOL GetModuleHandleExUtf8(DWORD flags, const char* name, const void* address, HMODULE* result) {
    constexpr DWORD kKnown = GET_MODULE_HANDLE_EX_FLAG_PIN |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                             GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if (result == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *result = nullptr;
    if ((flags & ~kKnown) != 0 || ((flags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0 &&
                                   (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HMODULE module = nullptr;
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0)
        module = ModuleFromAddress(address);
    else
        module = name == nullptr ? MainProgramModule() : FindModuleByName(name);
    if (module == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0) {
        if (ReferenceLoadedModule(module, RTLD_NODELETE) == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
    } else if ((flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) == 0) {
        void* handle = ReferenceLoadedModule(module, 0);
        if (handle == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        AddReference(module, handle);
    }
    *result = module;
    return TRUE;
}

// The platform library that stands in for a Windows system library, by the system
// library's file name without a folder ("oleaut32.dll", any letter case); null for other
// names. Programs look some functions up by name in a system library (UnRegisterTypeLib in
// "oleaut32.dll"); they find them in the platform's runtime instead.
const char* PlatformLibraryFor(std::string_view name) {
    struct SystemLibrary {
        const char* windows_name;
        const char* platform_file;
    };
    static constexpr SystemLibrary kSystemLibraries[] = {
        {"oleaut32.dll", "libtevocom.so"}, {"ole32.dll", "libtevocom.so"},
        {"kernel32.dll", "libtevowin.so"}, {"advapi32.dll", "libtevowin.so"},
        {"user32.dll", "libtevowin.so"},   {"shell32.dll", "libtevowin.so"},
    };
    for (const SystemLibrary& library : kSystemLibraries) {
        if (EqualsIgnoringCase(name, library.windows_name)) {
            return library.platform_file;
        }
    }
    return nullptr;
}

// The platform's libraries lie side by side: the stand-in is looked for in this library's
// folder, so that it is found without a search path.
std::string PlatformLibraryPath(const char* platform_file) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&PlatformLibraryFor), &info) == 0 ||
        info.dli_fname == nullptr) {
        return platform_file;
    }
    return (std::filesystem::path(info.dli_fname).parent_path() / platform_file).string();
}

HMODULE LoadLibraryUtf8(const char* file_name) {
    if (file_name == nullptr || *file_name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const char* platform_file = PlatformLibraryFor(file_name);
    const std::string path =
        platform_file != nullptr ? PlatformLibraryPath(platform_file) : WithSlashes(file_name);
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const bool exists = path.find('/') != std::string::npos && access(path.c_str(), F_OK) == 0;
        SetLastError(exists ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    link_map* map = nullptr;
    HMODULE module = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr)
        module = ModuleFromAddress(map->l_ld);
    if (module == nullptr) {
        dlclose(handle);
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    AddReference(module, handle);
    return module;
}

// Copies a path into a caller's buffer with the Windows size protocol.
template <typename Char>
DWORD CopyPath(const std::basic_string<Char>& path, Char* buffer, DWORD size) {
    if (buffer == nullptr && size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (path.size() < size) {
        std::copy(path.begin(), path.end(), buffer);
        buffer[path.size()] = Char(0);
        return static_cast<DWORD>(path.size());
    }
    if (size > 0) {
        size_t keep = size - 1;
        if constexpr (sizeof(Char) == 1) {
            // Never end on part of a UTF-8 sequence.
            while (keep > 0 && (static_cast<unsigned char>(path[keep]) & 0xC0) == 0x80)
                --keep;
        }
        std::copy(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(keep), buffer);
        buffer[keep] = Char(0);
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

std::string ModulePathOrError(HMODULE module) {
    std::string path = tevo::win::detail::ModuleFilePath(tevo::win::detail::ResolveModule(module));
    if (path.empty())
        SetLastError(ERROR_MOD_NOT_FOUND);
    return path;
}

}  // namespace

extern "C" HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    return GetModuleHandleUtf8(lpModuleName);
}

extern "C" HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
    if (lpModuleName == nullptr)
        return GetModuleHandleUtf8(nullptr);
    return GetModuleHandleUtf8(tevo::win::WideToUtf8(lpModuleName).c_str());
}

extern "C" BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
    return GetModuleHandleExUtf8(dwFlags, lpModuleName, lpModuleName, phModule);
}

extern "C" BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0 || lpModuleName == nullptr)
        return GetModuleHandleExUtf8(dwFlags, nullptr, lpModuleName, phModule);
    const std::string name = tevo::win::WideToUtf8(lpModuleName);
    return GetModuleHandleExUtf8(dwFlags, name.c_str(), nullptr, phModule);
}

extern "C" DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    const std::string path = ModulePathOrError(hModule);
    if (path.empty())
        return 0;
    return CopyPath(path, lpFilename, nSize);
}

extern "C" DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    const std::string path = ModulePathOrError(hModule);
    if (path.empty())
        return 0;
    return CopyPath(tevo::win::Utf8ToWide(path), lpFilename, nSize);
}

extern "C" HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    return LoadLibraryUtf8(lpLibFileName);
}

extern "C" HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
    if (lpLibFileName == nullptr)
        return LoadLibraryUtf8(nullptr);
    return LoadLibraryUtf8(tevo::win::WideToUtf8(lpLibFileName).c_str());
}

extern "C" BOOL FreeLibrary(HMODULE hLibModule) {
    void* handle = nullptr;
    {
        References& refs = GetReferences();
        std::lock_guard lock(refs.mutex);
        auto it = refs.handles.find(hLibModule);
        if (it != refs.handles.end()) {
            handle = it->second.back();
            it->second.pop_back();
            if (it->second.empty())
                refs.handles.erase(it);
        }
    }
    if (handle == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Outside the lock: unloading runs the module's destructors, which may call back here.
    dlclose(handle);
    return TRUE;
}

extern "C" FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (lpProcName == nullptr || IS_INTRESOURCE(lpProcName)) {
        // Exports have no ordinals here.
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const HMODULE module = tevo::win::detail::ResolveModule(hModule);
    if (!tevo::win::detail::IsModule(module)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = ReferenceLoadedModule(module, 0);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(handle, lpProcName);
    dlclose(handle);
    // dlsym also searches the libraries the module depends on; only the module's own
    // exports count.
    if (symbol == nullptr || ModuleFromAddress(symbol) != module) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}
