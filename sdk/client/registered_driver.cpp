// A client of the registered driver that sees only the installed SDK, as a test engineer's
// program does: it creates the driver through COM activation, never by linking it.
//
//   registered_driver create PROGID|{CLSID}   create the driver, print "created <CLSID>"
//   registered_driver initialize NAME         Initialize(NAME) with the identity check,
//                                             print the instrument's manufacturer, model
//                                             and firmware, then Close
//   registered_driver dispatch                Start of the frequency through IDispatch
//                                             (simulated session), print it
//
// Exit code 0 on success; otherwise the HRESULT and the driver's description on stderr.
#include <tevo/Tevo.h>
#include <tevo/platform.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; text != nullptr && *text != L'\0'; ++text) {
        narrow += static_cast<char>(*text < 128 ? *text : L'?');
    }
    return narrow;
}

int Fail(const char* what, HRESULT hr) {
    std::string description;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetDescription(&text))) {
            description = Narrow(text);
        }
        SysFreeString(text);
        info->Release();
    }
    std::fprintf(stderr, "%s failed: 0x%08X %s\n", what, static_cast<unsigned>(hr),
                 description.c_str());
    return 1;
}

HRESULT CreateDriver(const char* name, ITevo** driver) {
    const std::wstring wide(name, name + std::strlen(name));
    CLSID clsid{};
    HRESULT hr = wide.front() == L'{' ? CLSIDFromString(wide.c_str(), &clsid)
                                      : CLSIDFromProgID(wide.c_str(), &clsid);
    if (FAILED(hr)) {
        return hr;
    }
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITevo,
                            reinterpret_cast<void**>(driver));
}

int Create(const char* name) {
    ITevo* driver = nullptr;
    const HRESULT hr = CreateDriver(name, &driver);
    if (FAILED(hr)) {
        return Fail("CoCreateInstance", hr);
    }
    wchar_t text[40] = {};
    StringFromGUID2(CLSID_Tevo, text, 40);
    std::printf("created %s\n", Narrow(text).c_str());
    driver->Release();
    return 0;
}

int Initialize(const char* logical_name) {
    ITevo* driver = nullptr;
    HRESULT hr = CreateDriver("Tevo.Tevo", &driver);
    if (FAILED(hr)) {
        return Fail("CoCreateInstance", hr);
    }
    const std::wstring wide(logical_name, logical_name + std::strlen(logical_name));
    BSTR name = SysAllocString(wide.c_str());
    BSTR options = SysAllocString(L"");
    hr = driver->Initialize(name, VARIANT_TRUE, VARIANT_FALSE, options);
    SysFreeString(name);
    SysFreeString(options);
    if (FAILED(hr)) {
        const int code = Fail("Initialize", hr);
        driver->Release();
        return code;
    }
    IIviDriverIdentity* identity = nullptr;
    BSTR manufacturer = nullptr;
    BSTR model = nullptr;
    BSTR firmware = nullptr;
    hr = driver->get_Identity(&identity);
    if (SUCCEEDED(hr)) {
        identity->get_InstrumentManufacturer(&manufacturer);
        identity->get_InstrumentModel(&model);
        hr = identity->get_InstrumentFirmwareRevision(&firmware);
        identity->Release();
    }
    std::printf("%s %s %s\n", Narrow(manufacturer).c_str(), Narrow(model).c_str(),
                Narrow(firmware).c_str());
    SysFreeString(manufacturer);
    SysFreeString(model);
    SysFreeString(firmware);
    driver->Close();
    driver->Release();
    return FAILED(hr) ? Fail("identity", hr) : 0;
}

// Invokes one member by name; the arguments in declaration order.
HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args, UINT count,
               VARIANT* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT reversed[4];
    for (UINT i = 0; i < count; ++i) {
        reversed[i] = args[count - 1 - i];
    }
    DISPPARAMS params{reversed, nullptr, count, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                          nullptr);
}

int Dispatch() {
    ITevo* driver = nullptr;
    HRESULT hr = CreateDriver("Tevo.Tevo", &driver);
    if (FAILED(hr)) {
        return Fail("CoCreateInstance", hr);
    }
    IDispatch* dispatch = nullptr;
    hr = driver->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    driver->Release();
    if (FAILED(hr)) {
        return Fail("QueryInterface(IDispatch)", hr);
    }
    VARIANT args[4];
    for (VARIANT& arg : args) {
        VariantInit(&arg);
    }
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString(L"TCPIP0::localhost::5025::SOCKET");
    args[1].vt = VT_BOOL;
    args[1].boolVal = VARIANT_FALSE;
    args[2].vt = VT_BOOL;
    args[2].boolVal = VARIANT_FALSE;
    args[3].vt = VT_BSTR;
    args[3].bstrVal = SysAllocString(L"Simulate=true");
    VARIANT frequency;
    VARIANT start;
    VariantInit(&frequency);
    VariantInit(&start);
    hr = Invoke(dispatch, L"Initialize", DISPATCH_METHOD, args, 4, nullptr);
    if (SUCCEEDED(hr)) {
        hr = Invoke(dispatch, L"Frequency", DISPATCH_PROPERTYGET, nullptr, 0, &frequency);
    }
    if (SUCCEEDED(hr) && frequency.vt == VT_DISPATCH) {
        hr = Invoke(frequency.pdispVal, L"Start", DISPATCH_PROPERTYGET, nullptr, 0, &start);
    }
    if (SUCCEEDED(hr) && start.vt == VT_R8) {
        std::printf("Frequency.Start %g\n", start.dblVal);
    }
    Invoke(dispatch, L"Close", DISPATCH_METHOD, nullptr, 0, nullptr);
    for (VARIANT& arg : args) {
        VariantClear(&arg);
    }
    VariantClear(&frequency);
    VariantClear(&start);
    dispatch->Release();
    return FAILED(hr) ? Fail("late-bound call", hr) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int code = 2;
    if (argc == 3 && std::strcmp(argv[1], "create") == 0) {
        code = Create(argv[2]);
    } else if (argc == 3 && std::strcmp(argv[1], "initialize") == 0) {
        code = Initialize(argv[2]);
    } else if (argc == 2 && std::strcmp(argv[1], "dispatch") == 0) {
        code = Dispatch();
    } else {
        std::fprintf(stderr,
                     "usage: registered_driver create PROGID|{CLSID}\n"
                     "       registered_driver initialize LOGICAL-NAME\n"
                     "       registered_driver dispatch\n");
    }
    CoUninitialize();
    return code;
}
