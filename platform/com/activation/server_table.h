// The table of in-process servers loaded into this process: each library is loaded once,
// used through leases, and unloaded only by FreeUnusedServers.
#pragma once

#include <chrono>
#include <string>

#include "tevo/com/activation.h"
#include "tevo/win/types.h"

namespace tevo::com::activation {

struct LoadedServer;

// One activation call's use of a loaded server. While any lease of a server lives, the
// server is not unloaded, so its DllGetClassObject and the factory it hands out can be
// called safely. Move-only; ends the use when destroyed.
class ServerLease {
  public:
    ServerLease() = default;
    ~ServerLease();
    ServerLease(const ServerLease&) = delete;
    ServerLease& operator=(const ServerLease&) = delete;
    ServerLease(ServerLease&& other) noexcept;
    ServerLease& operator=(ServerLease&& other) noexcept;

    explicit operator bool() const { return server_ != nullptr; }
    // The server's DllGetClassObject; only for a lease that holds a server.
    LPFNGETCLASSOBJECT GetClassObject() const;

  private:
    friend HRESULT LeaseServer(const std::string& registered_path, ServerLease* lease);
    void Release();

    LoadedServer* server_ = nullptr;
};

// Leases the server whose library the registry names `registered_path` (expanded, as
// read), loading the library on first use. S_OK; CO_E_DLLNOTFOUND when the library cannot
// be found or loaded; CO_E_ERRORINDLL when it does not export DllGetClassObject (it is
// then unloaded again). Thread-safe: concurrent first uses load the library once.
HRESULT LeaseServer(const std::string& registered_path, ServerLease* lease);

// Unloads each server that is not leased, exports DllCanUnloadNow, returns S_OK from it,
// and has done so, without being leased in between, for at least `delay` (by this call or
// earlier ones).
void FreeUnusedServers(std::chrono::milliseconds delay);

}  // namespace tevo::com::activation
