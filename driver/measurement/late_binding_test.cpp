// The driver from a late-bound client: nothing but IDispatch, GetIDsOfNames and Invoke on
// the registered driver created by ProgID, against the analyzer emulator. Properties that
// return interfaces come back as IDispatch, so the client walks the object tree by name.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "testing/driver_test_support.h"
#include "testing/thread_watchdog.h"
#include "tevo/com/activation.h"
#include "tevo/com/automation_bridge.h"
#include "tevo/com/safearray.h"
#include "tevo/win/registry.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

using ServerFunction = HRESULT (*)();

// A VARIANT that owns its value and can be moved.
class Variant {
  public:
    Variant() { VariantInit(&v_); }
    Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            VariantClear(&v_);
            v_ = other.v_;
            VariantInit(&other.v_);
        }
        return *this;
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }

    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    VARIANT* Out() {
        VariantClear(&v_);
        return &v_;
    }

  private:
    VARIANT v_;
};

template <class... Values>
std::vector<Variant> Args(Values&&... values) {
    std::vector<Variant> args;
    (args.push_back(std::forward<Values>(values)), ...);
    return args;
}

// The result of one Invoke: its HRESULT, the value and the exception information.
struct Outcome {
    HRESULT hr = E_FAIL;
    Variant value;
    std::wstring description;
    std::wstring source;
    SCODE scode = S_OK;
    UINT arg_error = ~0u;
};

// A late-bound handle on one IDispatch, with the calls a scripting client makes.
class LateBound {
  public:
    explicit LateBound(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}

    IDispatch* Get() const { return dispatch_.Get(); }

    HRESULT IdOf(const wchar_t* name, DISPID* id) const {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        return dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
    }

    // Invokes `name` with the arguments in the order the member declares them.
    Outcome Call(const wchar_t* name, WORD flags, std::vector<Variant> args = {}) const {
        Outcome outcome;
        DISPID id = DISPID_UNKNOWN;
        outcome.hr = IdOf(name, &id);
        if (FAILED(outcome.hr)) {
            return outcome;
        }
        std::vector<VARIANTARG> reversed;
        for (auto it = args.rbegin(); it != args.rend(); ++it) {
            reversed.push_back(*it->Get());
        }
        DISPID put_id = DISPID_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        if ((flags & DISPATCH_PROPERTYPUT) != 0) {
            params.rgdispidNamedArgs = &put_id;
            params.cNamedArgs = 1;
        }
        EXCEPINFO exception{};
        outcome.hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                       outcome.value.Out(), &exception, &outcome.arg_error);
        if (outcome.hr == DISP_E_EXCEPTION) {
            outcome.scode = exception.scode;
            if (exception.bstrDescription != nullptr) {
                outcome.description = exception.bstrDescription;
            }
            if (exception.bstrSource != nullptr) {
                outcome.source = exception.bstrSource;
            }
        }
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrHelpFile);
        return outcome;
    }

    Outcome Property(const wchar_t* name, std::vector<Variant> args = {}) const {
        return Call(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, std::move(args));
    }
    Outcome Put(const wchar_t* name, Variant value) const {
        return Call(name, DISPATCH_PROPERTYPUT, Args(std::move(value)));
    }
    // A property that returns an interface, as the IDispatch for it.
    LateBound Object(const wchar_t* name, std::vector<Variant> args = {}) const {
        Outcome outcome = Property(name, std::move(args));
        EXPECT_EQ(outcome.hr, S_OK) << "get " << tevo::win::WideToUtf8(name);
        EXPECT_EQ(outcome.value.Get()->vt, VT_DISPATCH) << tevo::win::WideToUtf8(name);
        ComPtr<IDispatch> dispatch;
        if (outcome.value.Get()->vt == VT_DISPATCH) {
            dispatch = ComPtr<IDispatch>(outcome.value.Get()->pdispVal);
        }
        return LateBound(dispatch);
    }

  private:
    ComPtr<IDispatch> dispatch_;
};

Variant Text(const wchar_t* text) {
    Variant value;
    value.Get()->vt = VT_BSTR;
    value.Get()->bstrVal = SysAllocString(text);
    return value;
}
Variant Real(double number) {
    Variant value;
    value.Get()->vt = VT_R8;
    value.Get()->dblVal = number;
    return value;
}
Variant Integer(LONG number) {
    Variant value;
    value.Get()->vt = VT_I4;
    value.Get()->lVal = number;
    return value;
}
Variant Boolean(bool flag) {
    Variant value;
    value.Get()->vt = VT_BOOL;
    value.Get()->boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
    return value;
}

// The driver module registered in the test's system root, as regsvr leaves it.
class LateBinding : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryA(TEVO_DRIVER_MODULE);
        ASSERT_NE(module_, nullptr);
        const auto register_server =
            reinterpret_cast<ServerFunction>(GetProcAddress(module_, "DllRegisterServer"));
        ASSERT_NE(register_server, nullptr);
        ASSERT_EQ(register_server(), S_OK);
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(L"Tevo.Tevo", &clsid), S_OK);
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&dispatch)),
                  S_OK);
        driver_ = LateBound(dispatch);
    }
    void TearDown() override {
        if (driver_.Get() != nullptr) {
            driver_.Call(L"Close", DISPATCH_METHOD);
        }
        driver_ = LateBound(nullptr);
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    void Open() {
        const Outcome opened = driver_.Call(L"Initialize", DISPATCH_METHOD,
                                            Args(Text(emulator_.Resource().Get()), Boolean(true),
                                                 Boolean(false), Text(L"Cache=false")));
        ASSERT_EQ(opened.hr, S_OK) << tevo::win::WideToUtf8(opened.description);
        emulator_->ClearReceivedMessages();
    }

    std::vector<std::string> Received() {
        std::vector<std::string> messages = emulator_->ReceivedMessages();
        emulator_->ClearReceivedMessages();
        return messages;
    }

    HMODULE module_ = nullptr;
    RunningEmulator emulator_;
    LateBound driver_{nullptr};
};

TEST_F(LateBinding, PropertiesOfSubObjectsAreSetAndReadByName) {
    Open();
    const LateBound frequency = driver_.Object(L"Frequency");
    ASSERT_NE(frequency.Get(), nullptr);
    EXPECT_EQ(frequency.Put(L"Start", Real(1.0e9)).hr, S_OK);
    const Outcome start = frequency.Property(L"START");  // names are case-insensitive
    ASSERT_EQ(start.hr, S_OK);
    ASSERT_EQ(start.value.Get()->vt, VT_R8);
    EXPECT_EQ(start.value.Get()->dblVal, 1.0e9);
    EXPECT_EQ(Received(),
              (std::vector<std::string>{"SENS1:FREQ:STAR 1000000000.000000", "SENS1:FREQ:STAR?"}));

    // A text argument is converted to the declared type.
    const LateBound level = driver_.Object(L"Level");
    EXPECT_EQ(level.Put(L"Reference", Text(L"-10")).hr, S_OK);
    const Outcome reference = level.Property(L"Reference");
    ASSERT_EQ(reference.hr, S_OK);
    EXPECT_EQ(reference.value.Get()->dblVal, -10.0);
    EXPECT_EQ(Received(), (std::vector<std::string>{"DISP:WIND1:TRAC:Y:RLEV -10.000000",
                                                    "DISP:WIND1:TRAC:Y:RLEV?"}));

    // The class-compliant view is reached the same way.
    const LateBound specan_frequency = driver_.Object(L"IviSpecAn").Object(L"Frequency");
    const Outcome specan_start = specan_frequency.Property(L"Start");
    ASSERT_EQ(specan_start.hr, S_OK);
    EXPECT_EQ(specan_start.value.Get()->dblVal, 1.0e9);
}

TEST_F(LateBinding, ATraceItemReadsItsAmplitudesAsAnArrayOfDoubles) {
    Open();
    const LateBound trace = driver_.Object(L"Traces").Object(L"Item", Args(Text(L"Trace1")));
    ASSERT_NE(trace.Get(), nullptr);
    SAFEARRAY* amplitudes = nullptr;
    Variant by_reference;
    by_reference.Get()->vt = VT_BYREF | VT_ARRAY | VT_R8;
    by_reference.Get()->pparray = &amplitudes;
    const Outcome read =
        trace.Call(L"ReadY", DISPATCH_METHOD, Args(Integer(5000), std::move(by_reference)));
    ASSERT_EQ(read.hr, S_OK) << tevo::win::WideToUtf8(read.description);
    ASSERT_NE(amplitudes, nullptr);
    LONG upper = -1;
    ASSERT_EQ(SafeArrayGetUBound(amplitudes, 1, &upper), S_OK);
    const Outcome size = trace.Property(L"Size");
    ASSERT_EQ(size.hr, S_OK);
    EXPECT_EQ(upper + 1, size.value.Get()->lVal);
    EXPECT_GT(upper, 0);
    SafeArrayDestroy(amplitudes);
}

TEST_F(LateBinding, DriverErrorsAndBadCallsComeBackAsDispatchErrors) {
    // Before Initialize every property fails with the driver's own error and description.
    const Outcome not_initialized = driver_.Object(L"Frequency").Property(L"Start");
    EXPECT_EQ(not_initialized.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(not_initialized.description, kNotInitializedDescription);
    EXPECT_TRUE(FAILED(not_initialized.scode));

    EXPECT_EQ(driver_.Property(L"NoSuchMember").hr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(driver_.Call(L"Initialize", DISPATCH_METHOD, Args(Text(L"x"))).hr,
              DISP_E_BADPARAMCOUNT);
    Open();
    const Outcome mismatch = driver_.Object(L"Frequency").Put(L"Start", Text(L"not a number"));
    EXPECT_EQ(mismatch.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(mismatch.arg_error, 0u);
    EXPECT_EQ(Received(), std::vector<std::string>{});  // nothing reached the instrument
}

IUnknown* IdentityOf(IUnknown* object) {
    ComPtr<IUnknown> identity;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    return identity.Get();
}

TEST_F(LateBinding, TheDispatchIsATearOffWithTheDriversIdentity) {
    ComPtr<ITevo> driver;
    ASSERT_EQ(driver_.Get()->QueryInterface(IID_ITevo, reinterpret_cast<void**>(&driver)), S_OK);
    EXPECT_EQ(IdentityOf(driver_.Get()), IdentityOf(driver.Get()));
    ComPtr<IDispatch> again;
    ASSERT_EQ(driver->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(IdentityOf(again.Get()), IdentityOf(driver.Get()));
    UINT count = 0;
    EXPECT_EQ(again->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> type;
    ASSERT_EQ(again->GetTypeInfo(0, LOCALE_USER_DEFAULT, &type), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(type->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, IID_ITevo);  // the coclass's default interface
    type->ReleaseTypeAttr(attributes);
}

TEST_F(LateBinding, TwoThreadsCallThroughTheirOwnDispatchesAtOnce) {
    const Outcome opened =
        driver_.Call(L"Initialize", DISPATCH_METHOD,
                     Args(Text(L"x"), Boolean(false), Boolean(false), Text(L"Simulate=true")));
    ASSERT_EQ(opened.hr, S_OK);
    auto failures = std::make_shared<std::atomic<int>>(0);
    {
        WatchedThreads threads;
        for (int thread = 0; thread < 2; ++thread) {
            threads.Start([failures, driver = ComPtr<IDispatch>(driver_.Get()), thread] {
                const LateBound client(driver);
                for (int round = 0; round < 20; ++round) {
                    const LateBound frequency = client.Object(L"Frequency");
                    const double start = 1.0e6 * (thread + 1);
                    if (frequency.Put(L"Start", Real(start)).hr != S_OK ||
                        frequency.Property(L"Start").hr != S_OK ||
                        client.Object(L"Traces").Object(L"Item", Args(Text(L"Trace2"))).Get() ==
                            nullptr) {
                        ++*failures;
                    }
                }
            });
        }
        ASSERT_TRUE(threads.JoinWithin(std::chrono::minutes(2)));
    }
    EXPECT_EQ(failures->load(), 0);
}

TEST(DispatchThroughTheBridge, WithoutTheBridgeOnlyIDispatchFails) {
    ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\{1055A151-9F29-4F6F-A030-47E28D853174}"),
              ERROR_SUCCESS);
    ComPtr<ITevo> driver = NewDriver();
    IDispatch* dispatch = reinterpret_cast<IDispatch*>(driver.Get());
    EXPECT_EQ(driver->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(dispatch, nullptr);
    ComPtr<ITevoFrequency> frequency;
    EXPECT_EQ(driver->get_Frequency(&frequency), S_OK);
    EXPECT_NE(frequency.Get(), nullptr);
    ComPtr<IIviSpecAn> specan;
    EXPECT_EQ(driver->QueryInterface(IID_IIviSpecAn, reinterpret_cast<void**>(&specan)), S_OK);
}

}  // namespace
}  // namespace tevo::driver
