#include "demo_session.h"

#include <filesystem>

#include "tevo/Tevo.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"

namespace tevo::demo {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

// The driver module next to this program: <prefix>/bin/tevo-demo and <prefix>/lib/libtevo.so.
std::string DriverModulePath() {
    char program[4096] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof(program));
    const std::filesystem::path bin =
        std::filesystem::path(std::string(program, length)).parent_path();
    return (bin.parent_path() / "lib" / "libtevo.so").string();
}

// The failure of the last call: its HRESULT and the description of the thread's error.
void PrintFailure(std::ostream& err, const char* step, HRESULT hr) {
    err << "tevo-demo: " << step << " failed with HRESULT 0x" << std::hex << static_cast<ULONG>(hr)
        << std::dec << "\n";
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        Bstr description;
        info->GetDescription(&description);
        err << description.ToUtf8() << "\n";
    }
}

}  // namespace

int RunDemoSession(const std::string& resource, const std::string& options, std::ostream& out,
                   std::ostream& err) {
    const std::string module_path = DriverModulePath();
    HMODULE module = LoadLibraryA(module_path.c_str());
    if (module == nullptr) {
        err << "tevo-demo: cannot load the driver module " << module_path << "\n";
        return 1;
    }
    using GetClassObject = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
    auto get_class_object =
        reinterpret_cast<GetClassObject>(GetProcAddress(module, "DllGetClassObject"));
    int status = 1;
    {
        ComPtr<IClassFactory> factory;
        ComPtr<ITevo> driver;
        HRESULT hr = get_class_object != nullptr
                         ? get_class_object(CLSID_Tevo, IID_IClassFactory,
                                            reinterpret_cast<void**>(&factory))
                         : CO_E_ERRORINDLL;
        if (SUCCEEDED(hr)) {
            hr = factory->CreateInstance(nullptr, IID_ITevo, reinterpret_cast<void**>(&driver));
        }
        if (FAILED(hr)) {
            PrintFailure(err, "creating the driver", hr);
        } else {
            status = 0;
            auto step = [&](const char* name, HRESULT result) {
                if (FAILED(result) && status == 0) {
                    PrintFailure(err, name, result);
                    status = 1;
                }
                return SUCCEEDED(result);
            };
            out << "Initialize(\"" << resource << "\", IdQuery, \"" << options << "\")\n";
            if (step("Initialize",
                     driver->Initialize(Bstr::FromUtf8(resource).Get(), VARIANT_TRUE, VARIANT_FALSE,
                                        Bstr::FromUtf8(options).Get()))) {
                ComPtr<IIviDriverIdentity> identity;
                ComPtr<IIviDriverUtility> utility;
                Bstr text;
                if (step("get_Identity", driver->get_Identity(&identity))) {
                    identity->get_Identifier(&text);
                    out << "  driver:       " << text.ToUtf8();
                    identity->get_Revision(&text);
                    out << " " << text.ToUtf8() << "\n";
                    if (step("get_InstrumentManufacturer",
                             identity->get_InstrumentManufacturer(&text))) {
                        out << "  instrument:   " << text.ToUtf8();
                    }
                    if (step("get_InstrumentModel", identity->get_InstrumentModel(&text))) {
                        out << " " << text.ToUtf8();
                    }
                    if (step("get_InstrumentFirmwareRevision",
                             identity->get_InstrumentFirmwareRevision(&text))) {
                        out << ", firmware " << text.ToUtf8() << "\n";
                    }
                }
                if (step("get_Utility", driver->get_Utility(&utility))) {
                    LONG number = 0;
                    if (step("SelfTest", utility->SelfTest(&number, &text))) {
                        out << "  self test:    " << number << " (" << text.ToUtf8() << ")\n";
                    }
                    if (step("ErrorQuery", utility->ErrorQuery(&number, &text))) {
                        out << "  error queue:  " << number << ", \"" << text.ToUtf8() << "\"\n";
                    }
                    if (step("Reset", utility->Reset())) {
                        out << "  reset:        done\n";
                    }
                }
                if (step("Close", driver->Close())) {
                    out << "Session closed.\n";
                }
            }
        }
    }
    FreeLibrary(module);
    return status;
}

}  // namespace tevo::demo
