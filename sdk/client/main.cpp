// A client outside the source tree that sees only the installed SDK.
#include <tevo/platform.h>

#include <cstdio>

int main() {
    SetLastError(ERROR_MORE_DATA);
    void* block = CoTaskMemAlloc(16);
    const bool ok = block != nullptr && GetLastError() == static_cast<DWORD>(ERROR_MORE_DATA) &&
                    FAILED(E_POINTER) && SUCCEEDED(S_FALSE);
    CoTaskMemFree(block);
    std::printf("%s\n", ok ? "sdk ok" : "sdk broken");
    return ok ? 0 : 1;
}
