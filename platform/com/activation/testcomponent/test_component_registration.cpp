// DllRegisterServer and DllUnregisterServer of the test server: the keys of one class with
// a ProgID and a version-independent ProgID, written as self-registering servers write
// them.
#include "test_component.h"
#include "tevo/com/activation.h"
#include "tevo/com/server_kit.h"

tevo::com::server::ServerModule& TestComponentModule();

#ifdef TEVO_ACTIVATION_TEST_LIMITED

extern "C" HRESULT DllRegisterServer() {
    return E_FAIL;
}

#else

extern "C" HRESULT DllRegisterServer() {
    return TestComponentModule().RegisterClasses(
        tevo::com::server::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)));
}

extern "C" HRESULT DllUnregisterServer() {
    return TestComponentModule().UnregisterClasses();
}

#endif
