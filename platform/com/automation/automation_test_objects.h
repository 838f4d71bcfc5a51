// The C++ objects behind the late-binding tests: a part and a target that implements the
// test library's custom interfaces, records what it receives and reports failures
// through the error-info API.
#pragma once

#include <AutomationTest.h>

#include <atomic>
#include <string>
#include <utility>

#include "tevo/com/bstr.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/holders.h"
#include "tevo/com/safearray.h"
#include "tevo/com/variant.h"

namespace tevo::com::automation_testing {

// Counts references without owning its lifetime, so tests can check that every
// reference handed out was given back.
class CountedReferences {
  public:
    ULONG Up() { return ++count_; }
    ULONG Down() { return --count_; }
    ULONG Count() const { return count_; }

  private:
    std::atomic<ULONG> count_{1};
};

class Part final : public IAutomationPart {
  public:
    explicit Part(std::wstring name) : name_(std::move(name)) {}

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (riid == IID_IUnknown || riid == IID_IAutomationPart) {
            *ppvObject = static_cast<IAutomationPart*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return references.Up(); }
    ULONG Release() override { return references.Down(); }
    HRESULT get_Name(BSTR* pName) override {
        *pName = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return S_OK;
    }

    CountedReferences references;

  private:
    std::wstring name_;
};

// An interface that derives from IDispatch. Late-bound clients only receive it; its own
// IDispatch methods are not needed by the tests.
class Node final : public IAutomationNode {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAutomationNode) {
            *ppvObject = static_cast<IAutomationNode*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return references.Up(); }
    ULONG Release() override { return references.Down(); }
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/, ITypeInfo** ppTInfo) override {
        *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID /*riid*/, LPOLESTR* /*rgszNames*/, UINT /*cNames*/, LCID /*lcid*/,
                          DISPID* /*rgDispId*/) override {
        return E_NOTIMPL;
    }
    HRESULT Invoke(DISPID /*dispIdMember*/, REFIID /*riid*/, LCID /*lcid*/, WORD /*wFlags*/,
                   DISPPARAMS* /*pDispParams*/, VARIANT* /*pVarResult*/, EXCEPINFO* /*pExcepInfo*/,
                   UINT* /*puArgErr*/) override {
        return E_NOTIMPL;
    }
    HRESULT get_Depth(LONG* pDepth) override {
        *pDepth = 3;
        return S_OK;
    }

    CountedReferences references;
};

// A failure code of the target's own; the system has no message text for it.
constexpr HRESULT kTargetError = static_cast<HRESULT>(0x80041234);

class Target final : public IAutomationTarget, public ISupportErrorInfo {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (riid == IID_IUnknown || riid == IID_IAutomationBase || riid == IID_IAutomationTarget) {
            *ppvObject = static_cast<IAutomationTarget*>(this);
        } else if (riid == IID_ISupportErrorInfo) {
            *ppvObject = static_cast<ISupportErrorInfo*>(this);
        } else {
            *ppvObject = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return references.Up(); }
    ULONG Release() override { return references.Down(); }

    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return supports_error_info && riid == IID_IAutomationTarget ? S_OK : S_FALSE;
    }

    HRESULT get_Serial(LONG* pSerial) override {
        *pSerial = serial;
        return S_OK;
    }
    HRESULT Reset() override {
        serial = 0;
        return S_OK;
    }
    HRESULT Scalars(SHORT I2, LONG I4, FLOAT R4, DOUBLE R8, VARIANT_BOOL Flag,
                    DOUBLE* pSum) override {
        i2 = I2;
        i4 = I4;
        r4 = R4;
        r8 = R8;
        flag = Flag;
        *pSum = I2 + I4 + R4 + R8;
        return S_OK;
    }
    HRESULT Concat(BSTR Left, BSTR Right, BSTR* pText) override {
        const std::wstring text = std::wstring(BstrView(Left)) + std::wstring(BstrView(Right));
        *pText = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return S_OK;
    }
    HRESULT Echo(VARIANT Value, VARIANT* pValue) override { return VariantCopy(pValue, &Value); }
    HRESULT Narrow(SHORT Value, SHORT* pDoubled) override {
        *pDoubled = static_cast<SHORT>(Value * 2);
        return S_OK;
    }
    HRESULT get_Shape(AutomationShape* pShape) override {
        *pShape = shape;
        return S_OK;
    }
    HRESULT put_Shape(AutomationShape Shape) override {
        shape = Shape;
        return S_OK;
    }
    HRESULT get_Level(DOUBLE* pLevel) override {
        *pLevel = level;
        return S_OK;
    }
    HRESULT put_Level(DOUBLE Level) override {
        level = Level;
        return S_OK;
    }
    HRESULT get_Enabled(VARIANT_BOOL* pEnabled) override {
        *pEnabled = enabled;
        return S_OK;
    }
    HRESULT put_Enabled(VARIANT_BOOL Enabled) override {
        enabled = Enabled;
        return S_OK;
    }
    HRESULT get_Part(IAutomationPart** ppPart) override {
        *ppPart = &part;
        part.AddRef();
        return S_OK;
    }
    HRESULT get_Node(IAutomationNode** ppNode) override {
        *ppNode = &node;
        node.AddRef();
        return S_OK;
    }
    HRESULT PartName(IAutomationPart* Part, BSTR* pName) override {
        if (Part == nullptr) {
            return E_POINTER;
        }
        return Part->get_Name(pName);
    }
    HRESULT Sum(SAFEARRAY* Values, DOUBLE* pSum) override {
        SafeArrayAccess<double> data(Values);
        if (FAILED(data.Result())) {
            return data.Result();
        }
        double sum = 0;
        for (std::size_t i = 0; i < data.Count(); ++i) {
            sum += data[i];
        }
        *pSum = sum;
        return S_OK;
    }
    HRESULT Scale(DOUBLE Factor, SAFEARRAY** Values) override {
        SafeArrayAccess<double> data(*Values);
        if (FAILED(data.Result())) {
            return data.Result();
        }
        for (std::size_t i = 0; i < data.Count(); ++i) {
            data[i] *= Factor;
        }
        return S_OK;
    }
    HRESULT Ramp(LONG Count, SAFEARRAY** pValues) override {
        SafeArrayHolder values(SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(Count)));
        if (!values) {
            return E_INVALIDARG;
        }
        {
            SafeArrayAccess<double> data(values.Get());
            for (std::size_t i = 0; i < data.Count(); ++i) {
                data[i] = static_cast<double>(i) / 2;
            }
        }
        *pValues = values.Detach();
        return S_OK;
    }
    HRESULT Join(SAFEARRAY** Words, BSTR* pText) override {
        SafeArrayAccess<BSTR> data(*Words);
        if (FAILED(data.Result())) {
            return data.Result();
        }
        std::wstring text;
        for (std::size_t i = 0; i < data.Count(); ++i) {
            text += (i == 0 ? L"" : L" ") + std::wstring(BstrView(data[i]));
        }
        *pText = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return S_OK;
    }
    HRESULT Swap(LONG* Number, BSTR* Text, VARIANT* Value) override {
        *Number += 1;
        const std::wstring text = std::wstring(BstrView(*Text)) + L"!";
        SysFreeString(*Text);
        *Text = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        VariantClear(Value);
        Value->vt = VT_I4;
        Value->lVal = 42;
        return S_OK;
    }
    HRESULT Split(DOUBLE Value, LONG* Whole, DOUBLE* Fraction) override {
        *Whole = static_cast<LONG>(Value);
        *Fraction = Value - *Whole;
        return S_OK;
    }
    HRESULT Describe(LONG Count, VARIANT Suffix, BSTR* pText) override {
        std::wstring text = L"count:" + std::to_wstring(Count);
        if (Suffix.vt == VT_ERROR && Suffix.scode == DISP_E_PARAMNOTFOUND) {
            text += L"/missing";
        } else {
            VariantHolder suffix;
            if (FAILED(VariantChangeType(suffix.Get(), &Suffix, 0, VT_BSTR))) {
                return DISP_E_TYPEMISMATCH;
            }
            text += L"/" + std::wstring(BstrView(suffix->bstrVal));
        }
        *pText = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return S_OK;
    }
    HRESULT Options(BSTR Name, LONG Count, BSTR* pText) override {
        const std::wstring text =
            (Name == nullptr ? std::wstring(L"(null)") : std::wstring(BstrView(Name))) + L"x" +
            std::to_wstring(Count);
        *pText = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return S_OK;
    }
    HRESULT Fail(BSTR Description) override {
        ICreateErrorInfo* create = nullptr;
        if (FAILED(CreateErrorInfo(&create))) {
            return E_OUTOFMEMORY;
        }
        create->SetDescription(Description);
        create->SetSource(const_cast<LPOLESTR>(L"Automation.Target"));
        create->SetHelpFile(const_cast<LPOLESTR>(L"target.chm"));
        create->SetHelpContext(321);
        IErrorInfo* info = nullptr;
        create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
        SetErrorInfo(0, info);
        info->Release();
        create->Release();
        return kTargetError;
    }

    CountedReferences references;
    bool supports_error_info = true;
    Part part{L"gear"};
    Node node;
    LONG serial = 17;
    SHORT i2 = 0;
    LONG i4 = 0;
    FLOAT r4 = 0;
    DOUBLE r8 = 0;
    VARIANT_BOOL flag = VARIANT_FALSE;
    AutomationShape shape = AutomationShapeCircle;
    DOUBLE level = 0;
    VARIANT_BOOL enabled = VARIANT_FALSE;
};

}  // namespace tevo::com::automation_testing
