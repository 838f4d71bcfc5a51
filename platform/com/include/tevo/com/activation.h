// Object creation through the registry: CoGetClassObject, CoCreateInstance, ProgIDs, and
// the unloading of in-process servers.
//
// Finding the server. A class is an in-process server when
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 has a default value (REG_SZ, or
// REG_EXPAND_SZ with %NAME% expanded as ExpandEnvironmentStrings does): the path of a
// shared library. "\" counts as "/", and each path component is matched without regard to
// letter case when the exact name does not exist. An absolute path is used as it is. A
// relative path is looked up in the folder of the calling program (the main executable);
// a bare file name that is not there is then handed to the dynamic loader, which searches
// the library search path (LD_LIBRARY_PATH, the system folders). The current directory is
// never searched. The ThreadingModel value is read by nobody: there are no apartments, and
// every object is called directly from any thread.
//
// Loading. Each library is loaded once per process and kept in a table of loaded servers,
// whatever the number of classes, threads or creations that use it; its exported
// DllGetClassObject hands out the class factory. Creation works on any thread, whether or
// not it called CoInitializeEx.
//
// Unloading. CoFreeUnusedLibraries (and CoFreeUnusedLibrariesEx) is the only way a server
// is unloaded: it asks each loaded library's DllCanUnloadNow and unloads those that say
// S_OK. A library decides this by its own count of live objects and LockServer locks, so
// it stays loaded while any object it created is alive. A library without DllCanUnloadNow
// is never unloaded. CoUninitialize, also of the last initialized thread, unloads nothing.
// A library is never unloaded while a CoGetClassObject or CoCreateInstance call is using
// it; a client that keeps a class factory across calls must hold it with
// IClassFactory::LockServer(TRUE), as on Windows, since the runtime cannot see factory
// references.
//
// Local and remote servers (LocalServer32, other machines) are not supported: a class that
// has only a LocalServer32 key gives CO_E_SERVER_EXEC_FAILURE, one without any server
// REGDB_E_CLASSNOTREG. In-process handlers (CLSCTX_INPROC_HANDLER, InprocHandler32) are
// not supported either.
#pragma once

#include "tevo/com/unknown.h"
#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

// Execution contexts of CoGetClassObject and CoCreateInstance, with their Windows values.
enum CLSCTX : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_INPROC_SERVER16 = 0x8,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC_HANDLER16 = 0x20,
    CLSCTX_RESERVED1 = 0x40,
    CLSCTX_RESERVED2 = 0x80,
    CLSCTX_RESERVED3 = 0x100,
    CLSCTX_RESERVED4 = 0x200,
    CLSCTX_NO_CODE_DOWNLOAD = 0x400,
    CLSCTX_RESERVED5 = 0x800,
    CLSCTX_NO_CUSTOM_MARSHAL = 0x1000,
    CLSCTX_ENABLE_CODE_DOWNLOAD = 0x2000,
    CLSCTX_NO_FAILURE_LOG = 0x4000,
    CLSCTX_DISABLE_AAA = 0x8000,
    CLSCTX_ENABLE_AAA = 0x10000,
    CLSCTX_FROM_DEFAULT_CONTEXT = 0x20000,
    CLSCTX_ACTIVATE_X86_SERVER = 0x40000,
    CLSCTX_ACTIVATE_32_BIT_SERVER = 0x40000,
    CLSCTX_ACTIVATE_64_BIT_SERVER = 0x80000,
    CLSCTX_ENABLE_CLOAKING = 0x100000,
    CLSCTX_APPCONTAINER = 0x400000,
    CLSCTX_ACTIVATE_AAA_AS_IU = 0x800000,
    CLSCTX_RESERVED6 = 0x1000000,
    CLSCTX_ACTIVATE_ARM32_SERVER = 0x2000000,
    CLSCTX_PS_DLL = 0x80000000u
};
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// The exports of an in-process server, as GetProcAddress finds them.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
using LPFNCANUNLOADNOW = HRESULT (*)();

extern "C" {

// ---- What an in-process server exports ----
// Declared here so that a server's definitions are checked against these signatures and
// exported even when the server is built with hidden symbol visibility. A server that is
// to be unloadable should be built so (CMake: CXX_VISIBILITY_PRESET hidden), or with
// -fno-gnu-unique: g++ gives exported inline variables such as IID_IUnknown "unique"
// binding, and the dynamic loader then keeps the library loaded for good.
#define TEVO_SERVER_EXPORT __attribute__((visibility("default")))
TEVO_SERVER_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
TEVO_SERVER_EXPORT HRESULT DllCanUnloadNow();
TEVO_SERVER_EXPORT HRESULT DllRegisterServer();
TEVO_SERVER_EXPORT HRESULT DllUnregisterServer();

// ---- Activation ----
// The class object (factory) of rclsid, asked for riid. dwClsContext is a combination of
// CLSCTX_ flags that names at least one kind of server; pvReserved (a COSERVERINFO naming
// another machine) is ignored. Results: E_INVALIDARG for a null ppv or a bad context;
// REGDB_E_CLASSNOTREG when the class has no server of the kinds asked for (no CLSID key,
// no InprocServer32 or an empty path); CO_E_SERVER_EXEC_FAILURE when only a local server
// is registered; CO_E_DLLNOTFOUND when the library cannot be found or loaded;
// CO_E_ERRORINDLL when it does not export DllGetClassObject; REGDB_E_READREGDB when the
// registry cannot be read; otherwise the result of DllGetClassObject. *ppv is null on
// failure.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv);
// Creates an object: gets the class factory as CoGetClassObject does and calls its
// CreateInstance(pUnkOuter, riid, ppv); pUnkOuter goes to the factory unchanged, which
// refuses aggregation with CLASS_E_NOAGGREGATION when the class does not support it.
// E_POINTER for a null ppv, E_INVALIDARG for a bad context, the CoGetClassObject failures
// above, or the factory's result. *ppv is null on failure.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

// Unloads every loaded in-process server whose DllCanUnloadNow returns S_OK (now).
void CoFreeUnusedLibraries();
// The same with a delay: a library is unloaded only once it has been found unloadable,
// without being used in between, for at least dwUnloadDelay milliseconds, by this call or
// an earlier one. 0 unloads at once; INFINITE means the default delay of ten minutes.
// dwReserved must be 0 (ignored otherwise).
void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);

// ---- ProgIDs ----
// The class of a ProgID: the default value of HKEY_CLASSES_ROOT\<ProgID>\CLSID. A
// version-independent ProgID is followed through its CurVer sub-key to the current
// versioned ProgID first (its own CLSID sub-key is the fall-back). E_INVALIDARG for null
// arguments; CO_E_CLASSSTRING (and CLSID_NULL) for an unknown ProgID, a name that is not a
// ProgID (empty, or holding "\"), a CurVer chain that loops, or a CLSID value that is not
// a braced GUID. CLSIDFromString accepts ProgIDs through this function too.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// The ProgID of a class: the default value of HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID, in a
// string allocated with CoTaskMemAlloc (free it with CoTaskMemFree). E_INVALIDARG for a
// null out-pointer; REGDB_E_CLASSNOTREG when the class or its ProgID is not registered;
// E_OUTOFMEMORY. *lplpszProgID is null on failure.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

}  // extern "C"
