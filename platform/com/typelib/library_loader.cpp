#include "library_loader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "tevo/com/com_ptr.h"
#include "tevo/idl/stdole2.h"
#include "tevo/idl/typelib_format.h"
#include "tevo/win/files.h"
#include "tevo/win/resources.h"
#include "tevo/win/text.h"
#include "type_library_object.h"

namespace tevo::com::typelib {

namespace fs = std::filesystem;
using tevo::com::ComPtr;

namespace {

// The first bytes of a binary type library (see typelib_format.h) and of a shared library.
constexpr std::array<char, 8> kTypeLibSignature = {'T', 'E', 'V', 'O', 'T', 'L', 'B', '\x1A'};
constexpr std::array<char, 4> kElfSignature = {'\x7F', 'E', 'L', 'F'};
// Larger files are refused unread: no type library of this system comes near it.
constexpr std::uintmax_t kMaxFileSize = 64u << 20;

bool StartsWith(const std::vector<std::uint8_t>& bytes, const char* signature, std::size_t size) {
    return bytes.size() >= size && std::memcmp(bytes.data(), signature, size) == 0;
}

// A file as it was when its library was read: read again when it has changed since.
struct FileStamp {
    fs::file_time_type written;
    std::uintmax_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

struct CachedLibrary {
    FileStamp stamp;
    ComPtr<ITypeLib> library;
};

// Every library read in this process, by file and resource. The objects are immutable, so
// one object serves every caller.
class LibraryCache {
  public:
    using Key = std::pair<std::string, WORD>;  // absolute path, resource (0: the file itself)

    ComPtr<ITypeLib> Find(const Key& key, const FileStamp& stamp) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = entries_.find(key);
        return found != entries_.end() && found->second.stamp == stamp ? found->second.library
                                                                       : nullptr;
    }
    // Keeps the library unless another thread has just read the same file; returns the one
    // kept.
    ComPtr<ITypeLib> Add(const Key& key, const FileStamp& stamp, ComPtr<ITypeLib> library) {
        const std::lock_guard<std::mutex> lock(mutex_);
        CachedLibrary& entry = entries_[key];
        if (!entry.library || !(entry.stamp == stamp)) {
            entry = CachedLibrary{stamp, std::move(library)};
        }
        return entry.library;
    }

  private:
    std::mutex mutex_;
    std::map<Key, CachedLibrary> entries_;
};

LibraryCache& Cache() {
    static auto* cache = new LibraryCache;  // never destroyed: libraries may be used at exit
    return *cache;
}

// What a name given to LoadTypeLib means.
struct Source {
    fs::path file;      // absolute
    WORD resource = 0;  // 0: the file as it is (a type library, or resource 1 of a module)
};

// "file\N" names resource N when the whole name is no existing file.
bool SplitResourceSuffix(const std::wstring& name, std::wstring* file, WORD* resource) {
    const std::size_t slash = name.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 >= name.size() || name.size() - slash > 6) {
        return false;
    }
    unsigned long number = 0;
    for (std::size_t i = slash + 1; i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned long>(name[i] - L'0');
    }
    if (number < 1 || number > 0xFFFF) {
        return false;
    }
    *file = name.substr(0, slash);
    *resource = static_cast<WORD>(number);
    return true;
}

bool FindSource(const std::wstring& name, Source* source) {
    tevo::win::ResolvedPath resolved = tevo::win::ResolvePath(name);
    if (!resolved.exists) {
        std::wstring file;
        if (!SplitResourceSuffix(name, &file, &source->resource)) {
            return false;
        }
        resolved = tevo::win::ResolvePath(file);
        if (!resolved.exists) {
            return false;
        }
        if (source->resource == 1) {
            source->resource = 0;  // resource 1 is what the file alone names
        }
    }
    std::error_code error;
    fs::path absolute = fs::absolute(resolved.path, error);
    if (error) {
        return false;
    }
    source->file = fs::weakly_canonical(absolute, error);
    if (error) {
        source->file = absolute.lexically_normal();
    }
    return true;
}

bool Stamp(const fs::path& file, FileStamp* stamp) {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        return false;
    }
    stamp->size = fs::file_size(file, error);
    if (error) {
        return false;
    }
    stamp->written = fs::last_write_time(file, error);
    return !error;
}

// The first `limit` bytes of a file (all of it when it is shorter).
bool ReadFileBytes(const fs::path& file, std::uintmax_t limit, std::vector<std::uint8_t>* bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes->resize(static_cast<std::size_t>(limit));
    in.read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(limit));
    bytes->resize(static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

// The bytes of a TYPELIB resource of a shared library. The library is loaded for the
// purpose (or found loaded already) and given back afterwards.
HRESULT ReadModuleResource(const fs::path& file, WORD resource, std::vector<std::uint8_t>* bytes) {
    HMODULE module = LoadLibraryA(file.c_str());
    if (module == nullptr) {
        return TYPE_E_CANTLOADLIBRARY;
    }
    HRESULT hr = TYPE_E_CANTLOADLIBRARY;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(resource), "TYPELIB");
    if (found != nullptr) {
        const auto* data =
            static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
        const DWORD size = SizeofResource(module, found);
        if (data != nullptr) {
            bytes->assign(data, data + size);
            hr = S_OK;
        }
    }
    FreeLibrary(module);
    return hr;
}

HRESULT ReadLibrary(const Source& source, const FileStamp& stamp, ITypeLib** library) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(source.file, kElfSignature.size(), &bytes)) {
        return TYPE_E_CANTLOADLIBRARY;
    }
    if (StartsWith(bytes, kElfSignature.data(), kElfSignature.size())) {
        const HRESULT hr =
            ReadModuleResource(source.file, source.resource == 0 ? 1 : source.resource, &bytes);
        if (FAILED(hr)) {
            return hr;
        }
    } else if (source.resource != 0 || stamp.size > kMaxFileSize ||
               !ReadFileBytes(source.file, stamp.size, &bytes)) {
        return TYPE_E_CANTLOADLIBRARY;  // only a shared library has resources
    }
    idl::Library model;
    std::string error;
    if (!idl::ReadTypeLib(bytes.data(), bytes.size(), model, error)) {
        // A type library that the reader refuses is damaged; anything else is no type
        // library at all.
        return StartsWith(bytes, kTypeLibSignature.data(), kTypeLibSignature.size())
                   ? TYPE_E_INVALIDSTATE
                   : TYPE_E_CANTLOADLIBRARY;
    }
    TypeLibraryObject* object = TypeLibraryObject::Create(std::move(model), source.file);
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    *library = object;
    return S_OK;
}

}  // namespace

HRESULT LoadLibraryFile(const OLECHAR* name, ITypeLib** library, std::wstring* full_path) {
    *library = nullptr;
    const std::wstring text(name);
    if (idl::IsStdoleFileName(tevo::win::WideToUtf8(text))) {
        TypeLibraryObject* stdole = TypeLibraryObject::Stdole2();
        stdole->AddRef();
        *library = stdole;
        if (full_path != nullptr) {
            *full_path = text;
        }
        return S_OK;
    }
    Source source;
    FileStamp stamp;
    if (text.empty() || !FindSource(text, &source) || !Stamp(source.file, &stamp)) {
        return TYPE_E_CANTLOADLIBRARY;
    }
    const LibraryCache::Key key{source.file.string(), source.resource};
    ComPtr<ITypeLib> loaded = Cache().Find(key, stamp);
    if (!loaded) {
        const HRESULT hr = ReadLibrary(source, stamp, &loaded);
        if (FAILED(hr)) {
            return hr;
        }
        loaded = Cache().Add(key, stamp, std::move(loaded));
    }
    if (full_path != nullptr) {
        *full_path = tevo::win::Utf8ToWide(source.file.string());
        if (source.resource > 1) {
            *full_path += L"\\" + std::to_wstring(source.resource);
        }
    }
    *library = loaded.Detach();
    return S_OK;
}

}  // namespace tevo::com::typelib

extern "C" HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
    if (pptlib == nullptr) {
        return E_INVALIDARG;
    }
    *pptlib = nullptr;
    if (szFile == nullptr) {
        return E_INVALIDARG;
    }
    return tevo::com::typelib::LoadLibraryFile(szFile, pptlib, nullptr);
}

extern "C" HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib) {
    if (pptlib == nullptr) {
        return E_INVALIDARG;
    }
    *pptlib = nullptr;
    if (szFile == nullptr || regkind < REGKIND_DEFAULT || regkind > REGKIND_NONE) {
        return E_INVALIDARG;
    }
    std::wstring full_path;
    tevo::com::ComPtr<ITypeLib> library;
    HRESULT hr = tevo::com::typelib::LoadLibraryFile(szFile, &library, &full_path);
    if (FAILED(hr)) {
        return hr;
    }
    if (regkind == REGKIND_REGISTER) {
        // The help directory is the library's folder (full paths are POSIX paths).
        std::wstring folder = full_path;
        const std::size_t slash = folder.rfind(L'/');
        folder.resize(slash == std::wstring::npos ? 0 : slash);
        hr = RegisterTypeLib(library.Get(), full_path.c_str(), folder.c_str());
        if (FAILED(hr)) {
            return hr;
        }
    }
    *pptlib = library.Detach();
    return S_OK;
}
