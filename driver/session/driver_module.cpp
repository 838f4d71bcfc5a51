#include "session/driver_module.h"

namespace tevo::driver {

HMODULE DriverModule() {
    static const HMODULE module = [] {
        HMODULE found = nullptr;
        GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&DriverModule), &found);
        return found;
    }();
    return module;
}

bool LoadDriverString(UINT id, std::string& text) {
    constexpr int kBufferCharacters = 1024;
    char buffer[kBufferCharacters + 1] = {};
    const int length = LoadStringA(DriverModule(), id, buffer, kBufferCharacters + 1);
    if (length <= 0) {
        text.clear();
        return false;
    }
    text.assign(buffer, static_cast<size_t>(length));
    return true;
}

}  // namespace tevo::driver
