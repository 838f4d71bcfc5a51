#include "fuzz_system_root.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "tevo/win/registry.h"

namespace tevo::quill::testing {

namespace {

// The root folder, removed with everything in it when the process ends.
struct RootFolder {
    std::string path;
    RootFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quill-fuzz-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        path = made == nullptr ? std::string() : std::string(made);
        setenv("TEVO_SYSTEM_ROOT", path.c_str(), 1);
    }
    ~RootFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    RootFolder(const RootFolder&) = delete;
    RootFolder& operator=(const RootFolder&) = delete;
};

}  // namespace

const std::string& FuzzSystemRoot() {
    static const RootFolder root;
    return root.path;
}

std::string WriteFuzzInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
    std::string path = FuzzSystemRoot() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

void RegisterDefaultCollection(const std::string& collection_file) {
    FuzzSystemRoot();
    const auto set = [](const char* key_path, const char* name, const std::string& value) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
            RegCloseKey(key);
        }
    };
    const std::string base = "SOFTWARE\\Microsoft\\HTML Help Collections\\Developer Collections";
    set(base.c_str(), "Language", "1033");
    set((base + "\\1033").c_str(), "Preferred", "Developer");
    set((base + "\\1033\\Developer").c_str(), "Filename", collection_file);
}

}  // namespace tevo::quill::testing
