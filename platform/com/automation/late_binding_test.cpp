// A late-bound client (IDispatch only: GetIDsOfNames and Invoke) against a C++ object
// through CreateStdDispatch and ITypeInfo::Invoke: every argument type of the test
// library round-trips, arguments are converted, matched by name, checked, and failures
// come back as the DISP_E_* results and EXCEPINFO a client expects.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "automation_test_objects.h"
#include "tevo/com/automation.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"
#include "tevo/com/typeinfo.h"
#include "tevo/win/text.h"

namespace tevo::com::automation_testing {
namespace {

VARIANT I4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
VARIANT R8(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}
VARIANT Text(const wchar_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}
VARIANT ByRef(VARTYPE vt, void* target) {
    VARIANT v;
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(VT_BYREF | vt);
    v.byref = target;
    return v;
}
VARIANT Object(VARTYPE vt, IUnknown* object) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.punkVal = object;
    if (object != nullptr) {
        object->AddRef();
    }
    return v;
}
VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}
std::wstring Str(BSTR text) {
    return std::wstring(BstrView(text));
}

// One call's arguments in parameter order, with optional named ones; rgvarg gets them in
// the reverse order IDispatch::Invoke expects (named ones first).
class Call {
  public:
    Call(std::initializer_list<VARIANT> positional) : positional_(positional) {}
    ~Call() {
        for (VARIANT& v : rgvarg_) {
            VariantClear(&v);
        }
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    Call& Named(DISPID id, VARIANT value) {
        named_.push_back(value);
        ids_.push_back(id);
        return *this;
    }
    DISPPARAMS* Params() {
        rgvarg_ = named_;
        rgvarg_.insert(rgvarg_.end(), positional_.rbegin(), positional_.rend());
        positional_.clear();
        named_.clear();
        params_.rgvarg = rgvarg_.empty() ? nullptr : rgvarg_.data();
        params_.cArgs = static_cast<UINT>(rgvarg_.size());
        params_.rgdispidNamedArgs = ids_.empty() ? nullptr : ids_.data();
        params_.cNamedArgs = static_cast<UINT>(ids_.size());
        return &params_;
    }
    VARIANT& Arg(UINT rgvarg_index) { return rgvarg_[rgvarg_index]; }

  private:
    std::vector<VARIANT> positional_;
    std::vector<VARIANT> named_;
    std::vector<DISPID> ids_;
    std::vector<VARIANT> rgvarg_;
    DISPPARAMS params_{};
};

class LateBinding : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::wstring path = tevo::win::Utf8ToWide(TEVO_AUTOMATION_TEST_TLB);
        ASSERT_EQ(LoadTypeLib(path.c_str(), &library_), S_OK);
        ASSERT_EQ(library_->GetTypeInfoOfGuid(IID_IAutomationTarget, &type_), S_OK);
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(CreateStdDispatch(nullptr, static_cast<IAutomationTarget*>(&target_), type_.Get(),
                                    &unknown),
                  S_OK);
        ASSERT_EQ(unknown.As(&dispatch_), S_OK);
    }
    void TearDown() override {
        dispatch_ = nullptr;
        // Every reference the calls took on the objects has been given back.
        EXPECT_EQ(target_.references.Count(), 1u);
        EXPECT_EQ(target_.part.references.Count(), 1u);
        EXPECT_EQ(target_.node.references.Count(), 1u);
    }

    DISPID Id(const wchar_t* name) {
        auto* names = const_cast<LPOLESTR>(name);
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, &names, 1, 0, &id), S_OK) << name;
        return id;
    }
    HRESULT Invoke(const wchar_t* name, WORD flags, Call& call, VARIANT* result,
                   EXCEPINFO* exception = nullptr, UINT* arg_error = nullptr) {
        return dispatch_->Invoke(Id(name), IID_NULL, 0, flags, call.Params(), result, exception,
                                 arg_error);
    }
    HRESULT Method(const wchar_t* name, Call& call, VARIANT* result, UINT* arg_error = nullptr) {
        return Invoke(name, DISPATCH_METHOD, call, result, nullptr, arg_error);
    }
    HRESULT Get(const wchar_t* name, VARIANT* result) {
        Call none({});
        return Invoke(name, DISPATCH_PROPERTYGET, none, result);
    }
    HRESULT Put(const wchar_t* name, VARIANT value) {
        Call call({});
        call.Named(DISPID_PROPERTYPUT, value);
        return Invoke(name, DISPATCH_PROPERTYPUT, call, nullptr);
    }

    Target target_;
    ComPtr<ITypeLib> library_;
    ComPtr<ITypeInfo> type_;
    ComPtr<IDispatch> dispatch_;
};

TEST_F(LateBinding, TypeInformationAndNames) {
    UINT count = 0;
    EXPECT_EQ(dispatch_->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> type;
    EXPECT_EQ(dispatch_->GetTypeInfo(0, 0, &type), S_OK);
    EXPECT_EQ(type.Get(), type_.Get());
    EXPECT_EQ(dispatch_->GetTypeInfo(1, 0, &type), DISP_E_BADINDEX);

    // Names are found without regard to case, inherited ones too; the other names are
    // the positions of parameters.
    EXPECT_EQ(Id(L"CONCAT"), Id(L"Concat"));
    EXPECT_NE(Id(L"serial"), DISPID_UNKNOWN);
    std::vector<LPOLESTR> names = {const_cast<LPOLESTR>(L"describe"),
                                   const_cast<LPOLESTR>(L"SUFFIX"), const_cast<LPOLESTR>(L"Count")};
    std::vector<DISPID> ids(3);
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names.data(), 3, 0, ids.data()), S_OK);
    EXPECT_EQ(ids[0], Id(L"Describe"));
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], 0);

    names = {const_cast<LPOLESTR>(L"NoSuchMember")};
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names.data(), 1, 0, ids.data()),
              DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    names = {const_cast<LPOLESTR>(L"Concat"), const_cast<LPOLESTR>(L"Middle")};
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names.data(), 2, 0, ids.data()),
              DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_IDispatch, names.data(), 1, 0, ids.data()),
              DISP_E_UNKNOWNINTERFACE);
    Call none({});
    EXPECT_EQ(dispatch_->Invoke(Id(L"Reset"), IID_IDispatch, 0, DISPATCH_METHOD, none.Params(),
                                nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(LateBinding, ScalarsRoundTripAndAreConverted) {
    VARIANT flag;
    VariantInit(&flag);
    flag.vt = VT_BOOL;
    flag.boolVal = VARIANT_TRUE;
    VARIANT i2;
    VariantInit(&i2);
    i2.vt = VT_I2;
    i2.iVal = -12;
    VARIANT r4;
    VariantInit(&r4);
    r4.vt = VT_R4;
    r4.fltVal = 0.5F;
    Call exact({i2, I4(100000), r4, R8(2.25), flag});
    VariantHolder sum;
    ASSERT_EQ(Method(L"Scalars", exact, sum.Get()), S_OK);
    EXPECT_EQ(sum->vt, VT_R8);
    EXPECT_DOUBLE_EQ(sum->dblVal, -12 + 100000 + 0.5 + 2.25);
    EXPECT_EQ(target_.i2, -12);
    EXPECT_EQ(target_.i4, 100000);
    EXPECT_EQ(target_.r4, 0.5F);
    EXPECT_EQ(target_.r8, 2.25);
    EXPECT_EQ(target_.flag, VARIANT_TRUE);

    // Strings and other numbers are converted to the declared types; references are read
    // through.
    LONG referenced = 7;
    Call converted({Text(L"42"), Text(L"-3"), R8(1.25), Text(L"0.5"), I4(0)});
    ASSERT_EQ(Method(L"Scalars", converted, sum.Put()), S_OK);
    EXPECT_EQ(target_.i2, 42);
    EXPECT_EQ(target_.i4, -3);
    EXPECT_EQ(target_.r4, 1.25F);
    EXPECT_EQ(target_.r8, 0.5);
    EXPECT_EQ(target_.flag, VARIANT_FALSE);
    Call by_reference({ByRef(VT_I4, &referenced), I4(1), I4(2), I4(3), I4(1)});
    ASSERT_EQ(Method(L"Scalars", by_reference, sum.Put()), S_OK);
    EXPECT_EQ(target_.i2, 7);
    EXPECT_EQ(target_.flag, VARIANT_TRUE);

    // A value the declared type cannot hold, and text that is no number.
    UINT arg_error = 99;
    Call overflow({R8(40000.0)});
    EXPECT_EQ(Method(L"Narrow", overflow, sum.Put(), &arg_error), DISP_E_OVERFLOW);
    EXPECT_EQ(arg_error, 0u);
    Call not_a_number({I4(1), Text(L"many"), I4(2), I4(3), I4(4)});
    arg_error = 99;
    EXPECT_EQ(Method(L"Scalars", not_a_number, sum.Put(), &arg_error), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_error, 3u);  // the second argument, counted from the end of rgvarg
    Call narrow({Text(L"21")});
    ASSERT_EQ(Method(L"Narrow", narrow, sum.Put()), S_OK);
    EXPECT_EQ(sum->vt, VT_I2);
    EXPECT_EQ(sum->iVal, 42);
}

TEST_F(LateBinding, StringsAndVariants) {
    Call concat({Text(L"left-"), Text(L"right")});
    VariantHolder result;
    ASSERT_EQ(Method(L"Concat", concat, result.Get()), S_OK);
    EXPECT_EQ(result->vt, VT_BSTR);
    EXPECT_EQ(Str(result->bstrVal), L"left-right");
    Call numbers({I4(4), R8(2.5)});
    ASSERT_EQ(Method(L"Concat", numbers, result.Put()), S_OK);
    EXPECT_EQ(Str(result->bstrVal), L"42.5");

    // A VARIANT parameter takes the argument as it is.
    Call echo_text({Text(L"echo")});
    ASSERT_EQ(Method(L"Echo", echo_text, result.Put()), S_OK);
    EXPECT_EQ(result->vt, VT_BSTR);
    EXPECT_EQ(Str(result->bstrVal), L"echo");
    VARIANT inner = I4(-9);
    Call echo_reference({ByRef(VT_VARIANT, &inner)});
    ASSERT_EQ(Method(L"Echo", echo_reference, result.Put()), S_OK);
    EXPECT_EQ(result->vt, VT_I4);
    EXPECT_EQ(result->lVal, -9);
}

TEST_F(LateBinding, PropertiesWithEnumerationsAndBooleans) {
    EXPECT_EQ(Put(L"Shape", I4(AutomationShapeSquare)), S_OK);
    EXPECT_EQ(target_.shape, AutomationShapeSquare);
    VariantHolder value;
    ASSERT_EQ(Get(L"Shape", value.Get()), S_OK);
    EXPECT_EQ(value->vt, VT_I4);
    EXPECT_EQ(value->lVal, AutomationShapeSquare);
    EXPECT_EQ(Put(L"shape", Text(L"3")), S_OK);
    EXPECT_EQ(target_.shape, AutomationShapeTriangle);

    EXPECT_EQ(Put(L"Level", Text(L"-12.5")), S_OK);
    EXPECT_EQ(target_.level, -12.5);
    ASSERT_EQ(Get(L"Level", value.Put()), S_OK);
    EXPECT_EQ(value->vt, VT_R8);
    EXPECT_EQ(value->dblVal, -12.5);

    EXPECT_EQ(Put(L"Enabled", Text(L"True")), S_OK);
    EXPECT_EQ(target_.enabled, VARIANT_TRUE);
    ASSERT_EQ(Get(L"Enabled", value.Put()), S_OK);
    EXPECT_EQ(value->vt, VT_BOOL);
    EXPECT_EQ(value->boolVal, VARIANT_TRUE);

    // A property get may be asked for as a method as well.
    Call as_method({});
    ASSERT_EQ(Invoke(L"Level", DISPATCH_METHOD | DISPATCH_PROPERTYGET, as_method, value.Put()),
              S_OK);
    EXPECT_EQ(value->dblVal, -12.5);

    // A put needs its value as the named argument DISPID_PROPERTYPUT.
    Call unnamed({R8(1)});
    EXPECT_EQ(Invoke(L"Level", DISPATCH_PROPERTYPUT, unnamed, nullptr), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(target_.level, -12.5);
    // Members exist only with their own invoke kinds.
    Call put_method({});
    put_method.Named(DISPID_PROPERTYPUT, I4(1));
    EXPECT_EQ(Invoke(L"Reset", DISPATCH_PROPERTYPUT, put_method, nullptr), DISP_E_MEMBERNOTFOUND);
    Call none({});
    EXPECT_EQ(dispatch_->Invoke(0x7FFF0000, IID_NULL, 0, DISPATCH_METHOD, none.Params(), nullptr,
                                nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST_F(LateBinding, InheritedMembersUseTheBaseSlots) {
    VariantHolder value;
    ASSERT_EQ(Get(L"Serial", value.Get()), S_OK);
    EXPECT_EQ(value->vt, VT_I4);
    EXPECT_EQ(value->lVal, 17);
    Call reset({});
    ASSERT_EQ(Method(L"Reset", reset, value.Put()), S_OK);
    EXPECT_EQ(value->vt, VT_EMPTY);
    EXPECT_EQ(target_.serial, 0);
}

TEST_F(LateBinding, InterfacePointers) {
    VariantHolder part;
    ASSERT_EQ(Get(L"Part", part.Get()), S_OK);
    ASSERT_EQ(part->vt, VT_UNKNOWN);  // the part's interface does not derive from IDispatch
    ComPtr<IAutomationPart> typed;
    ASSERT_EQ(
        part->punkVal->QueryInterface(IID_IAutomationPart, typed.ReleaseAndGetVoidAddressOf()),
        S_OK);
    EXPECT_EQ(typed.Get(), &target_.part);
    typed = nullptr;
    Call discarded({});
    ASSERT_EQ(Invoke(L"Part", DISPATCH_PROPERTYGET, discarded, nullptr), S_OK);  // released
    // An interface that derives from IDispatch comes back as VT_DISPATCH.
    VariantHolder node;
    ASSERT_EQ(Get(L"Node", node.Get()), S_OK);
    ASSERT_EQ(node->vt, VT_DISPATCH);
    EXPECT_EQ(node->pdispVal, static_cast<IDispatch*>(&target_.node));

    // An interface argument is queried for the declared interface.
    Call name({Object(VT_UNKNOWN, &target_.part)});
    VariantHolder text;
    ASSERT_EQ(Method(L"PartName", name, text.Get()), S_OK);
    EXPECT_EQ(Str(text->bstrVal), L"gear");
    Call as_dispatch({Object(VT_DISPATCH, dispatch_.Get())});
    UINT arg_error = 99;
    EXPECT_EQ(Method(L"PartName", as_dispatch, text.Put(), &arg_error), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_error, 0u);
    Call not_an_object({I4(5)});
    EXPECT_EQ(Method(L"PartName", not_an_object, text.Put(), &arg_error), DISP_E_TYPEMISMATCH);
    // A null interface reaches the method, which fails.
    Call null_part({Object(VT_UNKNOWN, nullptr)});
    EXPECT_EQ(Method(L"PartName", null_part, text.Put()), DISP_E_EXCEPTION);
}

TEST_F(LateBinding, SafeArraysByValueAndByReference) {
    SafeArrayHolder values(SafeArrayCreateVector(VT_R8, 0, 3));
    {
        SafeArrayAccess<double> data(values.Get());
        ASSERT_TRUE(data.Ok());
        data[0] = 1.5;
        data[1] = 2;
        data[2] = -0.5;
    }
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_R8;
    array.parray = values.Get();
    Call sum({array});
    VariantHolder result;
    ASSERT_EQ(Method(L"Sum", sum, result.Get()), S_OK);
    EXPECT_EQ(result->dblVal, 3.0);
    sum.Arg(0).vt = VT_EMPTY;  // the holder owns the array

    SAFEARRAY* scaled = values.Get();
    Call scale({R8(2), ByRef(VT_ARRAY | VT_R8, &scaled)});
    ASSERT_EQ(Method(L"Scale", scale, result.Put()), S_OK);
    {
        SafeArrayAccess<double> data(values.Get());
        EXPECT_EQ(data[0], 3.0);
        EXPECT_EQ(data[2], -1.0);
    }
    // [in, out] needs a reference to an array of that type.
    Call by_value({R8(2), I4(1)});
    UINT arg_error = 99;
    EXPECT_EQ(Method(L"Scale", by_value, result.Put(), &arg_error), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_error, 0u);
    SafeArrayHolder longs(SafeArrayCreateVector(VT_I4, 0, 1));
    SAFEARRAY* wrong = longs.Get();
    Call wrong_type({R8(2), ByRef(VT_ARRAY | VT_I4, &wrong)});
    EXPECT_EQ(Method(L"Scale", wrong_type, result.Put(), &arg_error), DISP_E_TYPEMISMATCH);

    // An array result comes back in the result VARIANT, owned by the caller.
    Call ramp({I4(3)});
    ASSERT_EQ(Method(L"Ramp", ramp, result.Put()), S_OK);
    ASSERT_EQ(result->vt, VT_ARRAY | VT_R8);
    {
        SafeArrayAccess<double> data(result->parray);
        ASSERT_EQ(data.Count(), 3u);
        EXPECT_EQ(data[2], 1.0);
    }
    Call discarded({I4(4)});
    ASSERT_EQ(Method(L"Ramp", discarded, nullptr), S_OK);  // freed by the call

    SafeArrayHolder words(SafeArrayCreateVector(VT_BSTR, 0, 2));
    {
        SafeArrayAccess<BSTR> data(words.Get());
        data[0] = SysAllocString(L"late");
        data[1] = SysAllocString(L"bound");
    }
    SAFEARRAY* word_array = words.Get();
    Call join({ByRef(VT_ARRAY | VT_BSTR, &word_array)});
    ASSERT_EQ(Method(L"Join", join, result.Put()), S_OK);
    EXPECT_EQ(Str(result->bstrVal), L"late bound");
    // An [in] pointer parameter also takes the array itself.
    VARIANT by_value_words;
    VariantInit(&by_value_words);
    by_value_words.vt = VT_ARRAY | VT_BSTR;
    by_value_words.parray = words.Get();
    Call join_value({by_value_words});
    ASSERT_EQ(Method(L"Join", join_value, result.Put()), S_OK);
    EXPECT_EQ(Str(result->bstrVal), L"late bound");
    join_value.Arg(0).vt = VT_EMPTY;
}

TEST_F(LateBinding, ReferenceParametersAreWrittenThrough) {
    LONG number = 41;
    BSTR text = SysAllocString(L"hey");
    VARIANT value = Text(L"replaced");
    Call swap({ByRef(VT_I4, &number), ByRef(VT_BSTR, &text), ByRef(VT_VARIANT, &value)});
    VariantHolder result;
    ASSERT_EQ(Method(L"Swap", swap, result.Get()), S_OK);
    EXPECT_EQ(number, 42);
    EXPECT_EQ(Str(text), L"hey!");
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 42);
    SysFreeString(text);

    double whole_as_double = 0;
    double fraction = 0;
    LONG whole = 0;
    UINT arg_error = 99;
    Call wrong({R8(3.25), ByRef(VT_R8, &whole_as_double), ByRef(VT_R8, &fraction)});
    EXPECT_EQ(Method(L"Split", wrong, result.Put(), &arg_error), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_error, 1u);
    Call split({R8(3.25), ByRef(VT_I4, &whole), ByRef(VT_R8, &fraction)});
    ASSERT_EQ(Method(L"Split", split, result.Put()), S_OK);
    EXPECT_EQ(whole, 3);
    EXPECT_EQ(fraction, 0.25);
}

TEST_F(LateBinding, OptionalParametersAndNamedArguments) {
    VariantHolder text;
    Call only_count({I4(3)});
    ASSERT_EQ(Method(L"Describe", only_count, text.Get()), S_OK);
    EXPECT_EQ(Str(text->bstrVal), L"count:3/missing");
    Call both({I4(3), Text(L"x")});
    ASSERT_EQ(Method(L"Describe", both, text.Put()), S_OK);
    EXPECT_EQ(Str(text->bstrVal), L"count:3/x");

    // Defaults fill what is missing; a non-VARIANT optional parameter gets its zero value.
    Call none({});
    ASSERT_EQ(Method(L"Options", none, text.Put()), S_OK);
    EXPECT_EQ(Str(text->bstrVal), L"(null)x7");
    Call marked({Missing(), I4(2)});
    ASSERT_EQ(Method(L"Options", marked, text.Put()), S_OK);
    EXPECT_EQ(Str(text->bstrVal), L"(null)x2");

    // Named arguments go to the positions GetIDsOfNames gives.
    Call named({});
    named.Named(1, I4(9));
    ASSERT_EQ(Method(L"Options", named, text.Put()), S_OK);
    EXPECT_EQ(Str(text->bstrVal), L"(null)x9");
    Call mixed({I4(5)});
    mixed.Named(1, Text(L"tail"));
    ASSERT_EQ(Method(L"Describe", mixed, text.Put()), S_OK);
    EXPECT_EQ(Str(text->bstrVal), L"count:5/tail");

    UINT arg_error = 99;
    Call unknown({I4(5)});
    unknown.Named(4, I4(1));
    EXPECT_EQ(Method(L"Describe", unknown, text.Put(), &arg_error), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(arg_error, 0u);
    Call twice({I4(5)});
    twice.Named(0, I4(1));
    EXPECT_EQ(Method(L"Describe", twice, text.Put(), &arg_error), DISP_E_PARAMNOTFOUND);
    Call required_missing({});
    required_missing.Named(1, Text(L"tail"));
    EXPECT_EQ(Method(L"Describe", required_missing, text.Put()), DISP_E_PARAMNOTFOUND);
}

TEST_F(LateBinding, WrongArgumentCounts) {
    VariantHolder result;
    Call too_few({Text(L"a")});
    EXPECT_EQ(Method(L"Concat", too_few, result.Get()), DISP_E_BADPARAMCOUNT);
    Call too_many({Text(L"a"), Text(L"b"), Text(L"c")});
    EXPECT_EQ(Method(L"Concat", too_many, result.Put()), DISP_E_BADPARAMCOUNT);
    Call get_with_argument({I4(1)});
    EXPECT_EQ(Invoke(L"Level", DISPATCH_PROPERTYGET, get_with_argument, result.Put()),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(result->vt, VT_EMPTY);
}

TEST_F(LateBinding, FailuresBecomeExceptionsWithTheObjectsErrorInfo) {
    Call fail({Text(L"the widget jammed")});
    EXCEPINFO exception{};
    VariantHolder result;
    ASSERT_EQ(Invoke(L"Fail", DISPATCH_METHOD, fail, result.Get(), &exception), DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, kTargetError);
    EXPECT_EQ(Str(exception.bstrDescription), L"the widget jammed");
    EXPECT_EQ(Str(exception.bstrSource), L"Automation.Target");
    EXPECT_EQ(Str(exception.bstrHelpFile), L"target.chm");
    EXPECT_EQ(exception.dwHelpContext, 321u);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    // The error object was taken from the thread.
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);

    // Without EXCEPINFO the call still fails the same way, and the error object stays
    // for the caller.
    Call again({Text(L"again")});
    EXPECT_EQ(Invoke(L"Fail", DISPATCH_METHOD, again, nullptr), DISP_E_EXCEPTION);
    ASSERT_EQ(GetErrorInfo(0, &left), S_OK);
    BSTR description = nullptr;
    left->GetDescription(&description);
    EXPECT_EQ(Str(description), L"again");
    SysFreeString(description);
    left->Release();
}

TEST_F(LateBinding, WithoutErrorInfoSupportTheSystemTextDescribesTheFailure) {
    // The object no longer supports error information on the interface: the thread's
    // error object must not be reported for it.
    target_.supports_error_info = false;
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(L"stale"));
    IErrorInfo* stale = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&stale));
    SetErrorInfo(0, stale);
    create->Release();

    Call null_part({Object(VT_UNKNOWN, nullptr)});
    EXCEPINFO exception{};
    VariantHolder result;
    ASSERT_EQ(DispInvoke(static_cast<IAutomationTarget*>(&target_), type_.Get(), Id(L"PartName"),
                         DISPATCH_METHOD, null_part.Params(), result.Get(), &exception, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_POINTER);
    EXPECT_NE(exception.bstrDescription, nullptr);
    EXPECT_NE(Str(exception.bstrDescription), L"stale");
    EXPECT_EQ(exception.bstrSource, nullptr);
    SysFreeString(exception.bstrDescription);
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_OK);
    EXPECT_EQ(left, stale);
    left->Release();
    stale->Release();
}

TEST_F(LateBinding, DispGetParamReadsPositionalAndNamedArguments) {
    Call call({I4(10), Text(L"20")});
    call.Named(2, R8(2.5));
    DISPPARAMS* params = call.Params();
    VariantHolder value;
    UINT arg_error = 99;
    ASSERT_EQ(DispGetParam(params, 0, VT_BSTR, value.Get(), &arg_error), S_OK);
    EXPECT_EQ(Str(value->bstrVal), L"10");
    ASSERT_EQ(DispGetParam(params, 1, VT_I4, value.Put(), &arg_error), S_OK);
    EXPECT_EQ(value->lVal, 20);
    ASSERT_EQ(DispGetParam(params, 2, VT_R4, value.Put(), &arg_error), S_OK);
    EXPECT_EQ(value->fltVal, 2.5F);
    EXPECT_EQ(DispGetParam(params, 3, VT_I4, value.Put(), &arg_error), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(DispGetParam(params, 0, VT_DISPATCH, value.Put(), &arg_error), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_error, 2u);
    EXPECT_EQ(DispGetParam(params, 2, VT_UI1, value.Put(), &arg_error), S_OK);
    call.Arg(0).dblVal = 1000;
    EXPECT_EQ(DispGetParam(params, 2, VT_UI1, value.Put(), &arg_error), DISP_E_OVERFLOW);
    EXPECT_EQ(arg_error, 0u);
}

// The outer object of an aggregated standard dispatch object: it hands out the inner
// object's IDispatch and counts the references the IDispatch delegates to it.
class Outer final : public IUnknown {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (riid == IID_IUnknown) {
            *ppvObject = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (riid == IID_IDispatch && inner) {
            return inner->QueryInterface(riid, ppvObject);
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return references.Up(); }
    ULONG Release() override { return references.Down(); }

    CountedReferences references;
    ComPtr<IUnknown> inner;
};

TEST_F(LateBinding, AggregatedDispatchDelegatesToTheOuterObject) {
    Outer outer;
    ASSERT_EQ(CreateStdDispatch(&outer, static_cast<IAutomationTarget*>(&target_), type_.Get(),
                                &outer.inner),
              S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(outer.QueryInterface(IID_IDispatch, dispatch.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(outer.references.Count(), 2u);  // the IDispatch counts on the outer object
    ComPtr<IUnknown> identity;
    ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, identity.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    identity = nullptr;
    Call none({});
    VariantHolder serial;
    ASSERT_EQ(dispatch->Invoke(Id(L"Serial"), IID_NULL, 0, DISPATCH_PROPERTYGET, none.Params(),
                               serial.Get(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(serial->lVal, 17);
    dispatch = nullptr;
    EXPECT_EQ(outer.references.Count(), 1u);
    outer.inner = nullptr;  // the last inner reference destroys the object

    IUnknown* unknown = nullptr;
    EXPECT_EQ(CreateStdDispatch(nullptr, nullptr, type_.Get(), &unknown), E_INVALIDARG);
    EXPECT_EQ(CreateStdDispatch(nullptr, &target_, nullptr, &unknown), E_INVALIDARG);
    EXPECT_EQ(unknown, nullptr);
}

TEST_F(LateBinding, TypeCompBindsMembersAndTypes) {
    ComPtr<ITypeComp> comp;
    ASSERT_EQ(type_->GetTypeComp(&comp), S_OK);
    ITypeInfo* holder = nullptr;
    DESCKIND kind = DESCKIND_NONE;
    BINDPTR bound{};
    ASSERT_EQ(comp->Bind(const_cast<LPOLESTR>(L"concat"), 0, INVOKE_FUNC, &holder, &kind, &bound),
              S_OK);
    ASSERT_EQ(kind, DESCKIND_FUNCDESC);
    EXPECT_EQ(bound.lpfuncdesc->memid, Id(L"Concat"));
    EXPECT_EQ(bound.lpfuncdesc->cParams, 3);
    EXPECT_EQ(holder, type_.Get());
    holder->ReleaseFuncDesc(bound.lpfuncdesc);
    holder->Release();

    // The put of a property, and an inherited member bound in the base interface.
    ASSERT_EQ(
        comp->Bind(const_cast<LPOLESTR>(L"Level"), 0, INVOKE_PROPERTYPUT, &holder, &kind, &bound),
        S_OK);
    ASSERT_EQ(kind, DESCKIND_FUNCDESC);
    EXPECT_EQ(bound.lpfuncdesc->invkind, INVOKE_PROPERTYPUT);
    holder->ReleaseFuncDesc(bound.lpfuncdesc);
    holder->Release();
    ASSERT_EQ(comp->Bind(const_cast<LPOLESTR>(L"SERIAL"), 0, 0, &holder, &kind, &bound), S_OK);
    ASSERT_EQ(kind, DESCKIND_FUNCDESC);
    EXPECT_NE(holder, type_.Get());
    BSTR name = nullptr;
    holder->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    EXPECT_EQ(Str(name), L"IAutomationBase");
    SysFreeString(name);
    holder->ReleaseFuncDesc(bound.lpfuncdesc);
    holder->Release();

    EXPECT_EQ(
        comp->Bind(const_cast<LPOLESTR>(L"Concat"), 0, INVOKE_PROPERTYPUT, &holder, &kind, &bound),
        TYPE_E_TYPEMISMATCH);
    ASSERT_EQ(comp->Bind(const_cast<LPOLESTR>(L"Nothing"), 0, 0, &holder, &kind, &bound), S_OK);
    EXPECT_EQ(kind, DESCKIND_NONE);
    EXPECT_EQ(holder, nullptr);

    // Enumeration members bind to their constants.
    ComPtr<ITypeInfo> part_type;
    ComPtr<ITypeComp> type_comp;
    ASSERT_EQ(comp->BindType(const_cast<LPOLESTR>(L"iautomationpart"), 0, &part_type, &type_comp),
              S_OK);
    ASSERT_TRUE(part_type);
    EXPECT_FALSE(type_comp);
    ComPtr<ITypeInfo> shape_type;
    ASSERT_EQ(comp->BindType(const_cast<LPOLESTR>(L"AutomationShape"), 0, &shape_type, &type_comp),
              S_OK);
    ASSERT_TRUE(shape_type);
    ComPtr<ITypeComp> shape_comp;
    ASSERT_EQ(shape_type->GetTypeComp(&shape_comp), S_OK);
    ASSERT_EQ(shape_comp->Bind(const_cast<LPOLESTR>(L"AutomationShapeSquare"), 0, 0, &holder, &kind,
                               &bound),
              S_OK);
    ASSERT_EQ(kind, DESCKIND_VARDESC);
    EXPECT_EQ(bound.lpvardesc->lpvarValue->lVal, AutomationShapeSquare);
    holder->ReleaseVarDesc(bound.lpvardesc);
    holder->Release();
}

}  // namespace
}  // namespace tevo::com::automation_testing
