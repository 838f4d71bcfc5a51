// A client outside the source tree that sees only the installed SDK: the platform through
// <tevo/platform.h> and the driver's interfaces through <tevo/Tevo.h>.
#include <tevo/platform.h>
#include <tevo/Tevo.h>

#include <cstdio>

int main() {
    SetLastError(ERROR_MORE_DATA);
    BSTR text = SysAllocString(L"KLC");
    wchar_t iid_text[40] = {};
    const int written = StringFromGUID2(IID_ITevo, iid_text, 40);
    const bool ok = text != nullptr && SysStringLen(text) == 3 &&
                    GetLastError() == static_cast<DWORD>(ERROR_MORE_DATA) && written == 39 &&
                    FAILED(E_POINTER) && SUCCEEDED(S_FALSE) &&
                    static_cast<int>(TevoDetectorTypeAutoPeak) >= 0;
    SysFreeString(text);
    std::printf("%s\n", ok ? "sdk ok" : "sdk broken");
    return ok ? 0 : 1;
}
