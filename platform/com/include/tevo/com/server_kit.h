// The machinery every in-process COM server of the system shares: a declarative class
// table, the class factories handed out by DllGetClassObject, the module's lock count
// behind DllCanUnloadNow, clean-up callbacks run when the module is unloaded, and the
// standard self-registration keys under HKEY_CLASSES_ROOT.
//
// A server defines one ServerModule (a static object, so it lives exactly as long as the
// loaded library) over its class table and forwards its exports to it, by hand or with
// the macros at the end of this file (in a file that includes tevo/com/activation.h, which
// exports them):
//
//   TEVO_SERVER_KIT_CLASS_OBJECT_EXPORTS(Module())
//   TEVO_SERVER_KIT_REGISTRATION_EXPORTS(Module())
//
// The kit is a static library linked into each server with hidden visibility, so every
// server has its own module state.
#pragma once

#include <atomic>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tevo/com/unknown.h"
#include "tevo/win/sync.h"
#include "tevo/win/types.h"

namespace tevo::com::server {

// What self-registration writes for one class under HKEY_CLASSES_ROOT. Null texts are
// left out: without a ProgID no ProgID keys are written, without a type library no
// TypeLib subkey.
struct ClassRegistration {
    const char* description = nullptr;                 // default value of the class and ProgID keys
    const char* progid = nullptr;                      // e.g. "Vendor.Class.1"
    const char* version_independent_progid = nullptr;  // e.g. "Vendor.Class", CurVer = progid
    const char* threading_model = "Both";
    const GUID* type_library = nullptr;  // LIBID for CLSID\{clsid}\TypeLib
};

// Makes a new object for a class factory: answers riid in *object (already null) or a
// failure. `outer` is only ever non-null for an aggregatable class, and then riid is
// IID_IUnknown.
using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

struct ClassEntry {
    const CLSID* clsid;
    // A class that is not creatable is in the table for registration only:
    // DllGetClassObject answers CLASS_E_CLASSNOTAVAILABLE for it.
    bool creatable;
    CreateFunction create;
    ClassRegistration registration;
    // Aggregation is refused (CLASS_E_NOAGGREGATION, also for IID_IUnknown) unless set.
    bool aggregatable = false;
};

// A clean-up callback with its user pointer.
using CleanupFunction = void (*)(void* user);

class ServerModule {
  public:
    // `classes` must outlive the module (a static table). `external_live_objects`, when
    // given, counts live objects that a server keeps track of itself; they hold the module
    // loaded like objects counted with LockObject.
    explicit ServerModule(std::span<const ClassEntry> classes,
                          LONG (*external_live_objects)() = nullptr);
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;
    // Releases the cached factories and runs the clean-up callbacks, last added first.
    ~ServerModule();

    // DllGetClassObject: E_POINTER for a null ppv; otherwise *ppv is set to null and the
    // creatable entry for rclsid is looked up (none: CLASS_E_CLASSNOTAVAILABLE). Its class
    // factory is created on first use under the module's critical section and kept for the
    // module's life; the answer is the factory's QueryInterface for riid.
    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
    // DllCanUnloadNow: S_OK when no object is alive and no LockServer lock is held.
    HRESULT CanUnloadNow() const;

    // Every live object holds one count: LockObject in its constructor, UnlockObject in
    // its destructor (ObjectLock does both).
    LONG LockObject();
    LONG UnlockObject();
    // IClassFactory::LockServer. An unlock without a lock is ignored: the count never
    // drops below zero, so it can never hide a live object or a real lock.
    void LockServer(BOOL lock);
    // Live objects (own and external) plus LockServer locks.
    LONG LockCount() const;

    // Adds a callback run when the module is destroyed; callbacks run last added first.
    // Returns false when out of memory (the callback will not run).
    bool AddCleanup(CleanupFunction function, void* user);

    // The standard class keys of every entry (creatable or not), in one change of the
    // hive: CLSID\{clsid} with the description, InprocServer32 = module_path with
    // ThreadingModel, ProgID and VersionIndependentProgID subkeys and TypeLib when given,
    // and the ProgID keys with CLSID and CurVer. SELFREG_E_CLASS when it cannot be written.
    HRESULT RegisterClasses(const std::string& module_path) const;
    // Removes the ProgID keys and CLSID\{clsid} of every entry; keys already gone are no
    // failure. SELFREG_E_CLASS when a key cannot be removed (the rest are still tried).
    HRESULT UnregisterClasses() const;

    std::span<const ClassEntry> Classes() const { return classes_; }

  private:
    class Factory;

    std::span<const ClassEntry> classes_;
    LONG (*external_live_objects_)();
    // One slot per class entry, filled on first demand (read without the lock once set).
    std::unique_ptr<std::atomic<Factory*>[]> factories_;
    CRITICAL_SECTION section_{};
    mutable volatile LONG objects_ = 0;  // mutable: read with an interlocked exchange
    mutable volatile LONG server_locks_ = 0;
    std::vector<std::pair<CleanupFunction, void*>> cleanups_;  // guarded by section_
};

// Holds one count of a module for as long as the holder lives: a member of each object.
class ObjectLock {
  public:
    explicit ObjectLock(ServerModule& module) : module_(module) { module_.LockObject(); }
    ObjectLock(const ObjectLock&) = delete;
    ObjectLock& operator=(const ObjectLock&) = delete;
    ~ObjectLock() { module_.UnlockObject(); }

  private:
    ServerModule& module_;
};

// The full path of the loaded library that contains `address` (a function or object of
// the server); empty when it cannot be found.
std::string ModulePathOf(const void* address);

// The IUnknown of a plain object that serves one interface (and IUnknown) and holds its
// module's count while it lives. `ModuleOf` gives the server's module.
template <class Interface, ServerModule& (*ModuleOf)()>
class ModuleObject : public Interface {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == tevo::com::InterfaceIid<Interface>::value) {
            *ppvObject = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // A ClassEntry create function: a new Derived asked for riid.
    template <class Derived>
    static HRESULT Create(IUnknown* /*outer*/, REFIID riid, void** object) {
        auto* created = new (std::nothrow) Derived;
        if (created == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = created->QueryInterface(riid, object);
        created->Release();
        return hr;
    }

  protected:
    ModuleObject() = default;
    virtual ~ModuleObject() = default;

  private:
    ObjectLock module_lock_{ModuleOf()};
    std::atomic<ULONG> references_{1};
};

}  // namespace tevo::com::server

// Defines a server's DllGetClassObject and DllCanUnloadNow over `module` (an expression
// giving its ServerModule&).
#define TEVO_SERVER_KIT_CLASS_OBJECT_EXPORTS(module)                                  \
    extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) { \
        return (module).GetClassObject(rclsid, riid, ppv);                            \
    }                                                                                 \
    extern "C" HRESULT DllCanUnloadNow() {                                            \
        return (module).CanUnloadNow();                                               \
    }

// Defines DllRegisterServer and DllUnregisterServer that write and remove the standard
// class keys of `module`'s table, with this library as the server.
#define TEVO_SERVER_KIT_REGISTRATION_EXPORTS(module)                                             \
    extern "C" HRESULT DllRegisterServer() {                                                     \
        return (module).RegisterClasses(                                                         \
            tevo::com::server::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer))); \
    }                                                                                            \
    extern "C" HRESULT DllUnregisterServer() {                                                   \
        return (module).UnregisterClasses();                                                     \
    }
