#include "server_table.h"

#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "library_path.h"
#include "tevo/win/resources.h"
#include "tevo/win/winerror.h"

namespace tevo::com::activation {

struct LoadedServer {
    HMODULE module = nullptr;
    LPFNGETCLASSOBJECT get_class_object = nullptr;
    LPFNCANUNLOADNOW can_unload_now = nullptr;  // null: the library is never unloaded
    int leases = 0;
    // When the library was first found unloadable, without a lease since.
    std::optional<std::chrono::steady_clock::time_point> unloadable_since;
};

namespace {

struct ServerTable {
    // Recursive: loading or unloading a library runs its initialisers and finalisers,
    // which may themselves create objects on this thread.
    std::recursive_mutex mutex;
    std::map<HMODULE, LoadedServer> servers;
    // The registry paths seen so far, to the module each loaded; several spellings of one
    // path lead to one module.
    std::map<std::string, HMODULE> modules_by_path;
};

// Never destroyed: libraries that are still loaded at exit may use it from their
// finalisers.
ServerTable& Table() {
    static auto* table = new ServerTable;
    return *table;
}

// Loads the library and enters it into the table (the table's mutex is held).
HRESULT LoadServer(ServerTable& table, const std::string& registered_path, LoadedServer** server) {
    const std::optional<std::string> located = LocateServerLibrary(registered_path);
    if (!located) {
        return CO_E_DLLNOTFOUND;
    }
    const HMODULE module = LoadLibraryA(located->c_str());
    if (module == nullptr) {
        return CO_E_DLLNOTFOUND;
    }
    auto known = table.servers.find(module);
    if (known != table.servers.end()) {
        // Another spelling of a library that is loaded already: keep one reference only.
        FreeLibrary(module);
        table.modules_by_path[registered_path] = module;
        *server = &known->second;
        return S_OK;
    }
    const auto get_class_object =
        reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module, "DllGetClassObject"));
    if (get_class_object == nullptr) {
        FreeLibrary(module);
        return CO_E_ERRORINDLL;
    }
    LoadedServer& entry = table.servers[module];
    entry.module = module;
    entry.get_class_object = get_class_object;
    entry.can_unload_now =
        reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(module, "DllCanUnloadNow"));
    table.modules_by_path[registered_path] = module;
    *server = &entry;
    return S_OK;
}

}  // namespace

ServerLease::~ServerLease() {
    Release();
}

ServerLease::ServerLease(ServerLease&& other) noexcept
    : server_(std::exchange(other.server_, nullptr)) {}

ServerLease& ServerLease::operator=(ServerLease&& other) noexcept {
    if (this != &other) {
        Release();
        server_ = std::exchange(other.server_, nullptr);
    }
    return *this;
}

LPFNGETCLASSOBJECT ServerLease::GetClassObject() const {
    return server_->get_class_object;
}

void ServerLease::Release() {
    if (server_ == nullptr) {
        return;
    }
    ServerTable& table = Table();
    std::lock_guard lock(table.mutex);
    --server_->leases;
    server_ = nullptr;
}

HRESULT LeaseServer(const std::string& registered_path, ServerLease* lease) {
    lease->Release();
    ServerTable& table = Table();
    std::lock_guard lock(table.mutex);
    LoadedServer* server = nullptr;
    const auto known = table.modules_by_path.find(registered_path);
    if (known != table.modules_by_path.end()) {
        server = &table.servers.at(known->second);
    } else {
        const HRESULT hr = LoadServer(table, registered_path, &server);
        if (FAILED(hr)) {
            return hr;
        }
    }
    ++server->leases;
    server->unloadable_since.reset();
    lease->server_ = server;
    return S_OK;
}

void FreeUnusedServers(std::chrono::milliseconds delay) {
    std::vector<HMODULE> unload;
    {
        ServerTable& table = Table();
        std::lock_guard lock(table.mutex);
        const auto now = std::chrono::steady_clock::now();
        for (auto it = table.servers.begin(); it != table.servers.end();) {
            LoadedServer& server = it->second;
            if (server.leases > 0 || server.can_unload_now == nullptr ||
                server.can_unload_now() != S_OK) {
                server.unloadable_since.reset();
                ++it;
                continue;
            }
            if (!server.unloadable_since) {
                server.unloadable_since = now;
            }
            if (now - *server.unloadable_since < delay) {
                ++it;
                continue;
            }
            unload.push_back(server.module);
            std::erase_if(table.modules_by_path,
                          [&](const auto& entry) { return entry.second == server.module; });
            it = table.servers.erase(it);
        }
    }
    // Outside the lock: a library's finalisers may release objects of other servers. A
    // creation that loads the library again meanwhile holds a reference of its own.
    for (const HMODULE module : unload) {
        FreeLibrary(module);
    }
}

}  // namespace tevo::com::activation
