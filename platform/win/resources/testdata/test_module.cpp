// A module that the resource tests load: it carries resources of its own under the same
// ids as the test program's, and reports its own module handle.
#include "tevo/win/resources.h"

extern "C" __attribute__((visibility("default"))) HMODULE TevoTestModuleHandle() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&TevoTestModuleHandle), &module);
    return module;
}
