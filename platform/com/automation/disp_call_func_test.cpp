// DispCallFunc on free functions and vtable slots: every argument lands in its place
// (registers and stack, integer and floating-point), results of each width come back, and
// what cannot be called is refused.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tevo/com/automation.h"
#include "tevo/com/bstr.h"
#include "tevo/com/holders.h"

namespace {

// What the many-argument function received.
struct Received {
    int a = 0;
    double b = 0;
    LONGLONG c = 0;
    float d = 0;
    const SHORT* e = nullptr;
    BYTE f = 0;
    double g = 0;
    int h = 0;
    UINT i = 0;
    SHORT j = 0;
    std::array<double, 6> tail{};
    CHAR k = 0;
    LONG l = 0;
};
Received g_received;

// Eight integer-class and ten floating-point arguments after the first ones: both the
// six integer registers and the eight vector registers run out, so the rest go on the
// stack, interleaved.
double ManyArguments(int a, double b, LONGLONG c, float d, const SHORT* e, BYTE f, double g, int h,
                     UINT i, SHORT j, double t0, double t1, double t2, double t3, double t4,
                     double t5, CHAR k, LONG l) {
    g_received = Received{a, b, c, d, e, f, g, h, i, j, {t0, t1, t2, t3, t4, t5}, k, l};
    return b + g + t0 + t5 + d + a + l;
}

float Halve(float value) {
    return value / 2;
}

LONGLONG Combine(LONG high, ULONG low) {
    return (static_cast<LONGLONG>(high) << 32) | low;
}

// Small types are widened by the callee from their own width: sign and zero extension
// must be right.
LONGLONG Widen(CHAR a, USHORT b, VARIANT_BOOL c, CY d, DATE e) {
    return a * 1000000 + b + (c == VARIANT_TRUE ? 7 : 0) + d.int64 + static_cast<LONGLONG>(e);
}

// A VARIANT by value between other arguments, as the compiler passes it.
LONG VariantArgument(int before, VARIANT value, double after, LONG last) {
    return before * 1000 + value.lVal * 10 + static_cast<LONG>(after) + last * 100000;
}

VARIANT VariantResult(double value) {
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_R8;
    result.dblVal = value;
    return result;
}

UINT StringLength(BSTR text) {
    return SysStringLen(text);
}

SHORT Negative() {
    return -5;
}

void* g_void_called = nullptr;
void NoResult(void* marker) {
    g_void_called = marker;
}

// An object called through its vtable: the instance must arrive as the first argument.
struct Calculator {
    virtual HRESULT Add(LONG a, LONG b, LONG* sum) {
        *sum = a + b + offset;
        return S_OK;
    }
    virtual double Scale(double value, float factor) { return value * factor + offset; }
    virtual HRESULT Fail() { return E_ACCESSDENIED; }
    virtual ~Calculator() = default;
    LONG offset = 0;
};
constexpr ULONG_PTR kAddSlot = 0;
constexpr ULONG_PTR kScaleSlot = sizeof(void*);
constexpr ULONG_PTR kFailSlot = 2 * sizeof(void*);

template <class F>
ULONG_PTR Address(F* function) {
    return reinterpret_cast<ULONG_PTR>(function);
}

// Arguments of one call: values with the types DispCallFunc passes them as. The setters
// fill in the value only (vt stays VT_EMPTY unless they set it): DispCallFunc reads the
// types from its own array.
class Arguments {
  public:
    ~Arguments() {
        for (VARIANT& value : values_) {
            VariantClear(&value);
        }
    }
    template <class Setter>
    Arguments& Add(VARTYPE vt, Setter set) {
        VARIANT value;
        VariantInit(&value);
        set(value);
        values_.push_back(value);
        types_.push_back(vt);
        return *this;
    }
    UINT Count() const { return static_cast<UINT>(values_.size()); }
    VARTYPE* Types() { return types_.data(); }
    VARIANTARG** Pointers() {
        pointers_.clear();
        for (VARIANT& value : values_) {
            pointers_.push_back(&value);
        }
        return pointers_.data();
    }

  private:
    std::vector<VARIANT> values_;
    std::vector<VARTYPE> types_;
    std::vector<VARIANTARG*> pointers_;
};

TEST(DispCallFunc, RegisterAndStackArgumentsOfEveryClass) {
    const SHORT marker = 3;
    Arguments args;
    args.Add(VT_I4, [](VARIANT& v) { v.lVal = -7; })
        .Add(VT_R8, [](VARIANT& v) { v.dblVal = 1.5; })
        .Add(VT_I8, [](VARIANT& v) { v.llVal = -0x123456789LL; })
        .Add(VT_R4, [](VARIANT& v) { v.fltVal = 0.25F; })
        .Add(VT_BYREF | VT_I2, [&](VARIANT& v) { v.byref = const_cast<SHORT*>(&marker); })
        .Add(VT_UI1, [](VARIANT& v) { v.bVal = 200; })
        .Add(VT_R8, [](VARIANT& v) { v.dblVal = 2.5; })
        .Add(VT_INT, [](VARIANT& v) { v.intVal = 11; })
        .Add(VT_UINT, [](VARIANT& v) { v.uintVal = 0xFFFFFFF0u; })
        .Add(VT_I2, [](VARIANT& v) { v.iVal = -300; });
    for (int t = 0; t < 6; ++t) {
        args.Add(VT_R8, [t](VARIANT& v) { v.dblVal = 10.0 * (t + 1); });
    }
    args.Add(VT_I1, [](VARIANT& v) { v.cVal = -2; }).Add(VT_I4, [](VARIANT& v) { v.lVal = 99; });

    VARIANT result;
    ASSERT_EQ(DispCallFunc(nullptr, Address(&ManyArguments), CC_STDCALL, VT_R8, args.Count(),
                           args.Types(), args.Pointers(), &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_R8);
    EXPECT_DOUBLE_EQ(result.dblVal, 1.5 + 2.5 + 10 + 60 + 0.25 - 7 + 99);
    EXPECT_EQ(g_received.a, -7);
    EXPECT_EQ(g_received.b, 1.5);
    EXPECT_EQ(g_received.c, -0x123456789LL);
    EXPECT_EQ(g_received.d, 0.25F);
    EXPECT_EQ(g_received.e, &marker);
    EXPECT_EQ(g_received.f, 200);
    EXPECT_EQ(g_received.g, 2.5);
    EXPECT_EQ(g_received.h, 11);
    EXPECT_EQ(g_received.i, 0xFFFFFFF0u);
    EXPECT_EQ(g_received.j, -300);
    EXPECT_EQ(g_received.tail, (std::array<double, 6>{10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(g_received.k, -2);
    EXPECT_EQ(g_received.l, 99);
}

TEST(DispCallFunc, ResultsOfEachWidth) {
    VARIANT result;
    Arguments half;
    half.Add(VT_R4, [](VARIANT& v) { v.fltVal = 5.0F; });
    ASSERT_EQ(DispCallFunc(nullptr, Address(&Halve), CC_CDECL, VT_R4, half.Count(), half.Types(),
                           half.Pointers(), &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_R4);
    EXPECT_EQ(result.fltVal, 2.5F);

    Arguments combine;
    combine.Add(VT_I4, [](VARIANT& v) { v.lVal = 0x12345678; }).Add(VT_UI4, [](VARIANT& v) {
        v.ulVal = 0x9ABCDEF0u;
    });
    ASSERT_EQ(DispCallFunc(nullptr, Address(&Combine), CC_STDCALL, VT_I8, combine.Count(),
                           combine.Types(), combine.Pointers(), &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_I8);
    EXPECT_EQ(result.llVal, 0x123456789ABCDEF0LL);

    ASSERT_EQ(
        DispCallFunc(nullptr, Address(&Negative), CC_STDCALL, VT_I2, 0, nullptr, nullptr, &result),
        S_OK);
    EXPECT_EQ(result.vt, VT_I2);
    EXPECT_EQ(result.iVal, -5);

    Arguments variant_result;
    variant_result.Add(VT_R8, [](VARIANT& v) { v.dblVal = -0.125; });
    ASSERT_EQ(DispCallFunc(nullptr, Address(&VariantResult), CC_STDCALL, VT_VARIANT,
                           variant_result.Count(), variant_result.Types(),
                           variant_result.Pointers(), &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_R8);
    EXPECT_EQ(result.dblVal, -0.125);
}

TEST(DispCallFunc, SmallTypesKeepTheirSignAndVariantsPassByValue) {
    VARIANT result;
    Arguments widen;
    widen.Add(VT_I1, [](VARIANT& v) { v.cVal = -3; })
        .Add(VT_UI2, [](VARIANT& v) { v.uiVal = 65535; })
        .Add(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; })
        .Add(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 50000; })
        .Add(VT_DATE, [](VARIANT& v) { v.date = 45000.75; });
    ASSERT_EQ(DispCallFunc(nullptr, Address(&Widen), CC_STDCALL, VT_I8, widen.Count(),
                           widen.Types(), widen.Pointers(), &result),
              S_OK);
    EXPECT_EQ(result.llVal, -3000000 + 65535 + 7 + 50000 + 45000);

    Arguments variant;
    variant.Add(VT_I4, [](VARIANT& v) { v.lVal = 4; })
        .Add(VT_VARIANT,
             [](VARIANT& v) {
                 v.vt = VT_I4;
                 v.lVal = 6;
             })
        .Add(VT_R8, [](VARIANT& v) { v.dblVal = 3; })
        .Add(VT_I4, [](VARIANT& v) { v.lVal = 2; });
    ASSERT_EQ(DispCallFunc(nullptr, Address(&VariantArgument), CC_STDCALL, VT_I4, variant.Count(),
                           variant.Types(), variant.Pointers(), &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 4000 + 60 + 3 + 200000);

    tevo::com::Bstr text(L"seven!!");
    Arguments string;
    string.Add(VT_BSTR, [&](VARIANT& v) { v.bstrVal = text.Get(); });
    ASSERT_EQ(DispCallFunc(nullptr, Address(&StringLength), CC_STDCALL, VT_UINT, string.Count(),
                           string.Types(), string.Pointers(), &result),
              S_OK);
    EXPECT_EQ(result.uintVal, 7u);

    int marker = 0;
    Arguments pointer;
    pointer.Add(VT_BYREF | VT_I4, [&](VARIANT& v) { v.byref = &marker; });
    result.vt = VT_I4;
    ASSERT_EQ(DispCallFunc(nullptr, Address(&NoResult), CC_STDCALL, VT_VOID, pointer.Count(),
                           pointer.Types(), pointer.Pointers(), &result),
              S_OK);
    EXPECT_EQ(g_void_called, &marker);
    EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST(DispCallFunc, VtableSlotsReceiveTheInstance) {
    Calculator calculator;
    calculator.offset = 100;
    LONG sum = 0;
    Arguments add;
    add.Add(VT_I4, [](VARIANT& v) { v.lVal = 2; })
        .Add(VT_I4, [](VARIANT& v) { v.lVal = 3; })
        .Add(VT_BYREF | VT_I4, [&](VARIANT& v) { v.plVal = &sum; });
    VARIANT result;
    ASSERT_EQ(DispCallFunc(&calculator, kAddSlot, CC_STDCALL, VT_HRESULT, add.Count(), add.Types(),
                           add.Pointers(), &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_HRESULT);
    EXPECT_EQ(result.lVal, S_OK);
    EXPECT_EQ(sum, 105);

    Arguments scale;
    scale.Add(VT_R8, [](VARIANT& v) { v.dblVal = 1.5; }).Add(VT_R4, [](VARIANT& v) {
        v.fltVal = 4.0F;
    });
    ASSERT_EQ(DispCallFunc(&calculator, kScaleSlot, CC_CDECL, VT_R8, scale.Count(), scale.Types(),
                           scale.Pointers(), &result),
              S_OK);
    EXPECT_EQ(result.dblVal, 106.0);

    // A failing method is a successful call: its HRESULT is the result.
    ASSERT_EQ(
        DispCallFunc(&calculator, kFailSlot, CC_STDCALL, VT_HRESULT, 0, nullptr, nullptr, &result),
        S_OK);
    EXPECT_EQ(result.lVal, E_ACCESSDENIED);
}

TEST(DispCallFunc, RefusesWhatItCannotCall) {
    Calculator calculator;
    VARIANT result;
    EXPECT_EQ(
        DispCallFunc(&calculator, kFailSlot, CC_FASTCALL, VT_HRESULT, 0, nullptr, nullptr, &result),
        DISP_E_BADCALLEE);
    EXPECT_EQ(
        DispCallFunc(&calculator, kFailSlot, CC_PASCAL, VT_HRESULT, 0, nullptr, nullptr, &result),
        DISP_E_BADCALLEE);
    Arguments record;
    record.Add(VT_RECORD, [](VARIANT&) {});
    EXPECT_EQ(DispCallFunc(&calculator, kFailSlot, CC_STDCALL, VT_HRESULT, record.Count(),
                           record.Types(), record.Pointers(), &result),
              DISP_E_BADVARTYPE);
    Arguments decimal;
    decimal.Add(VT_DECIMAL, [](VARIANT&) {});
    EXPECT_EQ(DispCallFunc(&calculator, kFailSlot, CC_STDCALL, VT_HRESULT, decimal.Count(),
                           decimal.Types(), decimal.Pointers(), &result),
              DISP_E_BADVARTYPE);
    EXPECT_EQ(
        DispCallFunc(&calculator, kFailSlot, CC_STDCALL, VT_RECORD, 0, nullptr, nullptr, &result),
        DISP_E_BADVARTYPE);
    EXPECT_EQ(
        DispCallFunc(&calculator, kFailSlot, CC_STDCALL, VT_HRESULT, 0, nullptr, nullptr, nullptr),
        E_INVALIDARG);
    EXPECT_EQ(
        DispCallFunc(&calculator, kFailSlot, CC_STDCALL, VT_HRESULT, 1, nullptr, nullptr, &result),
        E_INVALIDARG);
    EXPECT_EQ(DispCallFunc(nullptr, 0, CC_STDCALL, VT_HRESULT, 0, nullptr, nullptr, &result),
              E_INVALIDARG);
}

}  // namespace
