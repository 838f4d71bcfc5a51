#include "default_collection.h"

#include "../library/ansi_text.h"
#include "../library/library_lock.h"
#include "tevo/quill.h"
#include "tevo/win/registry.h"

namespace tevo::quill {
namespace {

constexpr const char* kCollectionsKey =
    "SOFTWARE\\Microsoft\\HTML Help Collections\\Developer Collections";
constexpr DWORD kMaxValueBytes = 1024;

// A key of HKEY_LOCAL_MACHINE opened for reading, closed at the end of its scope.
class ReadKey {
  public:
    explicit ReadKey(const std::string& path) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~ReadKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    ReadKey(const ReadKey&) = delete;
    ReadKey& operator=(const ReadKey&) = delete;

    // A string value of at most kMaxValueBytes bytes, up to its first zero.
    std::optional<std::string> String(const char* name) const {
        if (key_ == nullptr) {
            return std::nullopt;
        }
        char data[kMaxValueBytes];
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        const std::string text(data, size);
        return text.substr(0, text.find('\0'));
    }

    // The name of the sub-key at that index.
    std::optional<std::string> SubKeyName(DWORD index) const {
        if (key_ == nullptr) {
            return std::nullopt;
        }
        char name[kMaxValueBytes];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key_, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::string(name, length);
    }

  private:
    HKEY key_ = nullptr;
};

}  // namespace

std::optional<std::string> DefaultCollectionFilename() {
    const std::string base = kCollectionsKey;
    const auto language = ReadKey(base).String("Language");
    if (!language) {
        return std::nullopt;
    }
    const std::string language_key = base + "\\" + *language;
    std::optional<std::string> preferred;
    {
        const ReadKey key(language_key);
        preferred = key.String("Preferred");
        if (!preferred) {
            preferred = key.SubKeyName(0);
        }
    }
    if (!preferred) {
        return std::nullopt;
    }
    return ReadKey(language_key + "\\" + *preferred).String("Filename");
}

}  // namespace tevo::quill

int QuillGetDefaultCollectionFilename(char* buffer, unsigned long size) {
    const tevo::quill::LibraryLock lock;
    const auto name = tevo::quill::DefaultCollectionFilename();
    if (!name || buffer == nullptr || name->size() >= size) {
        return 0;
    }
    tevo::quill::CopyWholeText(*name, buffer);
    return 1;
}
