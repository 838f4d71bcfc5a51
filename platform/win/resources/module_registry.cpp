#include "module_registry.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace tevo::win::detail {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<HMODULE, std::vector<std::span<const ResourceEntry>>> tables;
};

// Never destroyed: modules unregister from their static destructors, which may run after
// this library's own.
Registry& GetRegistry() {
    static auto* registry = new Registry;
    return *registry;
}

// The address of the first loadable segment of the first object the loader lists, which
// is always the main program.
const void* MainProgramAddress() {
    const void* address = nullptr;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t /*size*/, void* data) -> int {
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type == PT_LOAD) {
                    *static_cast<const void**>(data) =
                        reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
                    break;
                }
            }
            return 1;
        },
        &address);
    return address;
}

std::string ReadLink(const char* link) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = readlink(link, buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The file mapped at the address, from the kernel's list of the process's mappings.
std::string MappedFile(const void* address) {
    std::ifstream maps("/proc/self/maps");
    const auto wanted = reinterpret_cast<std::uintptr_t>(address);
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range;
        std::string perms;
        std::string offset;
        std::string device;
        std::string inode;
        fields >> range >> perms >> offset >> device >> inode;
        const size_t dash = range.find('-');
        if (dash == std::string::npos)
            continue;
        const auto start = std::strtoull(range.substr(0, dash).c_str(), nullptr, 16);
        const auto end = std::strtoull(range.substr(dash + 1).c_str(), nullptr, 16);
        if (wanted < start || wanted >= end)
            continue;
        std::string path;
        std::getline(fields >> std::ws, path);
        return path.empty() || path[0] != '/' ? std::string() : path;
    }
    return {};
}

// Found when this library is loaded, while the process is still single-threaded as a rule.
[[maybe_unused]] const HMODULE g_main_program_at_load = MainProgramModule();

}  // namespace

HMODULE ModuleFromAddress(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fbase == nullptr)
        return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE MainProgramModule() {
    static const HMODULE main_program = ModuleFromAddress(MainProgramAddress());
    return main_program;
}

HMODULE RuntimeModule() {
    static const char anchor = 0;
    static const HMODULE runtime = ModuleFromAddress(&anchor);
    return runtime;
}

bool IsModule(HMODULE module) {
    return module != nullptr && ModuleFromAddress(module) == module;
}

std::string ModuleFilePath(HMODULE module) {
    if (module == nullptr)
        return {};
    if (module == MainProgramModule())
        return ReadLink("/proc/self/exe");
    Dl_info info{};
    if (dladdr(module, &info) == 0 || info.dli_fbase != module)
        return {};
    if (info.dli_fname != nullptr && info.dli_fname[0] == '/')
        return std::filesystem::path(info.dli_fname).lexically_normal().string();
    // Loaded through a relative path: the kernel knows the file.
    return MappedFile(module);
}

std::string ModuleLoaderName(HMODULE module) {
    if (module == nullptr || module == MainProgramModule())
        return {};
    Dl_info info{};
    if (dladdr(module, &info) == 0 || info.dli_fbase != module || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

std::vector<std::span<const ResourceEntry>> ResourceTablesOf(HMODULE module) {
    Registry& registry = GetRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.tables.find(module);
    if (it == registry.tables.end())
        return {};
    return it->second;
}

}  // namespace tevo::win::detail

namespace tevo::win {

void RegisterResourceTable(const ResourceEntry* entries, std::size_t count) {
    const HMODULE module = detail::ModuleFromAddress(entries);
    if (module == nullptr || entries == nullptr)
        return;
    detail::Registry& registry = detail::GetRegistry();
    std::lock_guard lock(registry.mutex);
    registry.tables[module].emplace_back(entries, count);
}

void UnregisterResourceTable(const ResourceEntry* entries) {
    detail::Registry& registry = detail::GetRegistry();
    std::lock_guard lock(registry.mutex);
    for (auto it = registry.tables.begin(); it != registry.tables.end(); ++it) {
        auto& tables = it->second;
        auto found = std::find_if(tables.begin(), tables.end(),
                                  [&](const auto& table) { return table.data() == entries; });
        if (found == tables.end())
            continue;
        tables.erase(found);
        if (tables.empty())
            registry.tables.erase(it);
        return;
    }
}

}  // namespace tevo::win
