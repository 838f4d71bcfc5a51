#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "../testing/counted_object.h"
#include "tevo/com/bstr.h"
#include "tevo/com/safearray.h"
#include "tevo/com/variant.h"

namespace {

using tevo::com::testing::CountedObject;

// Owns a VARIANT for the length of a test.
struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
    ~Value() { VariantClear(&v); }
};

Value* Text(Value* value, const wchar_t* text) {
    value->v.vt = VT_BSTR;
    value->v.bstrVal = SysAllocString(text);
    return value;
}

// The text of a value through VariantChangeType, or "<hr>" on failure.
std::wstring ToText(const VARIANT& v, USHORT flags = 0) {
    Value out;
    HRESULT hr = VariantChangeType(&out.v, &v, flags, VT_BSTR);
    if (FAILED(hr)) {
        return L"<" + std::to_wstring(hr) + L">";
    }
    EXPECT_EQ(out.v.vt, VT_BSTR);
    return std::wstring(out.v.bstrVal, SysStringLen(out.v.bstrVal));
}

HRESULT FromText(const wchar_t* text, VARTYPE vt, VARIANT* out) {
    Value source;
    Text(&source, text);
    VariantInit(out);
    return VariantChangeType(out, &source.v, 0, vt);
}

VARIANT Of(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
VARIANT I4(LONG x) {
    VARIANT v = Of(VT_I4);
    v.lVal = x;
    return v;
}
VARIANT R8(double x) {
    VARIANT v = Of(VT_R8);
    v.dblVal = x;
    return v;
}
VARIANT Cy(LONGLONG units) {
    VARIANT v = Of(VT_CY);
    v.cyVal.int64 = units;
    return v;
}
VARIANT Bool(bool x) {
    VARIANT v = Of(VT_BOOL);
    v.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

TEST(VariantToText, IntegersOfEveryWidth) {
    VARIANT v = Of(VT_I1);
    v.cVal = -128;
    EXPECT_EQ(ToText(v), L"-128");
    v = Of(VT_UI1);
    v.bVal = 255;
    EXPECT_EQ(ToText(v), L"255");
    v = Of(VT_I2);
    v.iVal = -32768;
    EXPECT_EQ(ToText(v), L"-32768");
    v = Of(VT_UI2);
    v.uiVal = 65535;
    EXPECT_EQ(ToText(v), L"65535");
    EXPECT_EQ(ToText(I4(-2147483647 - 1)), L"-2147483648");
    v = Of(VT_UI4);
    v.ulVal = 4294967295u;
    EXPECT_EQ(ToText(v), L"4294967295");
    v = Of(VT_INT);
    v.intVal = -7;
    EXPECT_EQ(ToText(v), L"-7");
    v = Of(VT_UINT);
    v.uintVal = 7;
    EXPECT_EQ(ToText(v), L"7");
    v = Of(VT_I8);
    v.llVal = std::numeric_limits<LONGLONG>::min();
    EXPECT_EQ(ToText(v), L"-9223372036854775808");
    v = Of(VT_UI8);
    v.ullVal = std::numeric_limits<ULONGLONG>::max();
    EXPECT_EQ(ToText(v), L"18446744073709551615");
}

TEST(VariantToText, FloatingPointWithFifteenOrSevenDigits) {
    EXPECT_EQ(ToText(R8(0.1)), L"0.1");
    EXPECT_EQ(ToText(R8(1e20)), L"1E+20");
    EXPECT_EQ(ToText(R8(1.0 / 3.0)), L"0.333333333333333");
    EXPECT_EQ(ToText(R8(-2.5)), L"-2.5");
    EXPECT_EQ(ToText(R8(123456789012345678.0)), L"1.23456789012346E+17");
    EXPECT_EQ(ToText(R8(123456789012345.0)), L"123456789012345");
    EXPECT_EQ(ToText(R8(0.0001)), L"0.0001");
    EXPECT_EQ(ToText(R8(1.5e-5)), L"1.5E-05");
    EXPECT_EQ(ToText(R8(1e-300)), L"1E-300");
    EXPECT_EQ(ToText(R8(-0.0)), L"0");
    EXPECT_EQ(ToText(R8(100)), L"100");
    VARIANT f = Of(VT_R4);
    f.fltVal = 0.1f;
    EXPECT_EQ(ToText(f), L"0.1");
    f.fltVal = 1.0f / 3.0f;
    EXPECT_EQ(ToText(f), L"0.3333333");
    f.fltVal = 16777216.0f;
    EXPECT_EQ(ToText(f), L"1.677722E+07");
}

TEST(VariantToText, CurrencyDecimalBoolAndEmpty) {
    EXPECT_EQ(ToText(Cy(125000)), L"12.5");
    EXPECT_EQ(ToText(Cy(70000)), L"7");
    EXPECT_EQ(ToText(Cy(-1)), L"-0.0001");
    EXPECT_EQ(ToText(Cy(123456789)), L"12345.6789");
    EXPECT_EQ(ToText(Cy(std::numeric_limits<LONGLONG>::min())), L"-922337203685477.5808");
    EXPECT_EQ(ToText(Cy(0)), L"0");

    VARIANT d = Of(VT_DECIMAL);
    d.decVal = DECIMAL{};
    d.decVal.Lo64 = 150;
    d.decVal.scale = 2;
    d.decVal.sign = DECIMAL_NEG;
    d.vt = VT_DECIMAL;
    EXPECT_EQ(ToText(d), L"-1.5");

    EXPECT_EQ(ToText(Bool(true)), L"-1");
    EXPECT_EQ(ToText(Bool(false)), L"0");
    EXPECT_EQ(ToText(Bool(true), VARIANT_ALPHABOOL), L"True");
    EXPECT_EQ(ToText(Bool(false), VARIANT_ALPHABOOL), L"False");
    EXPECT_EQ(ToText(Of(VT_EMPTY)), L"");
    EXPECT_EQ(ToText(Of(VT_NULL)), L"<" + std::to_wstring(DISP_E_TYPEMISMATCH) + L">");
    VARIANT error = Of(VT_ERROR);
    error.scode = E_FAIL;
    EXPECT_EQ(ToText(error), L"<" + std::to_wstring(DISP_E_TYPEMISMATCH) + L">");
}

TEST(VariantFromText, IntegerTypesRoundHalfToEvenAndCheckTheirRange) {
    const struct {
        VARTYPE vt;
        const wchar_t* largest;
        const wchar_t* tooLarge;
        const wchar_t* smallest;
        const wchar_t* tooSmall;
    } cases[] = {
        {VT_I1, L"127", L"128", L"-128", L"-129"},
        {VT_UI1, L"255", L"256", L"0", L"-1"},
        {VT_I2, L"32767", L"32768", L"-32768", L"-32769"},
        {VT_UI2, L"65535", L"65536", L"0", L"-1"},
        {VT_I4, L"2147483647", L"2147483648", L"-2147483648", L"-2147483649"},
        {VT_INT, L"2147483647", L"2147483648", L"-2147483648", L"-2147483649"},
        {VT_UI4, L"4294967295", L"4294967296", L"0", L"-1"},
        {VT_UINT, L"4294967295", L"4294967296", L"0", L"-1"},
        {VT_I8, L"9223372036854775807", L"9223372036854775808", L"-9223372036854775808",
         L"-9223372036854775809"},
        {VT_UI8, L"18446744073709551615", L"18446744073709551616", L"0", L"-1"},
    };
    for (const auto& c : cases) {
        VARIANT out = Of(VT_EMPTY);
        ASSERT_EQ(FromText(c.largest, c.vt, &out), S_OK) << c.vt;
        EXPECT_EQ(out.vt, c.vt);
        EXPECT_EQ(ToText(out), c.largest) << c.vt;
        ASSERT_EQ(FromText(c.smallest, c.vt, &out), S_OK) << c.vt;
        EXPECT_EQ(ToText(out), c.smallest) << c.vt;
        EXPECT_EQ(FromText(c.tooLarge, c.vt, &out), DISP_E_OVERFLOW) << c.vt;
        EXPECT_EQ(FromText(c.tooSmall, c.vt, &out), DISP_E_OVERFLOW) << c.vt;
        // Rounding happens before the range check: -0.5 is 0 even for unsigned types.
        ASSERT_EQ(FromText(L"-0.5", c.vt, &out), S_OK) << c.vt;
        EXPECT_EQ(ToText(out), L"0");
        ASSERT_EQ(FromText(L"126.5", c.vt, &out), S_OK) << c.vt;
        EXPECT_EQ(ToText(out), L"126");
        ASSERT_EQ(FromText(L"125.5", c.vt, &out), S_OK) << c.vt;
        EXPECT_EQ(ToText(out), L"126");
        ASSERT_EQ(FromText(L"125.5000001", c.vt, &out), S_OK) << c.vt;
        EXPECT_EQ(ToText(out), L"126");
        ASSERT_EQ(FromText(L"126.4999999999999999999999", c.vt, &out), S_OK) << c.vt;
        EXPECT_EQ(ToText(out), L"126");
    }
}

TEST(VariantFromText, NumberNotations) {
    const struct {
        const wchar_t* text;
        double value;
    } cases[] = {
        {L"42", 42},          {L"  7  ", 7},       {L"-2.5", -2.5}, {L"+3", 3},
        {L"1,234.5", 1234.5}, {L"1,000,000", 1e6}, {L"(12)", -12},  {L"5-", -5},
        {L"$3.25", 3.25},     {L"-$3.25", -3.25},  {L".5", 0.5},    {L"5.", 5},
        {L"1.5E3", 1500},     {L"1e-2", 0.01},     {L"2.5D+1", 25}, {L"0.1", 0.1},
        {L"1e308", 1e308},    {L"1e-400", 0.0},
    };
    for (const auto& c : cases) {
        VARIANT out = Of(VT_EMPTY);
        ASSERT_EQ(FromText(c.text, VT_R8, &out), S_OK) << c.text;
        EXPECT_EQ(out.dblVal, c.value) << c.text;
    }
    const wchar_t* notNumbers[] = {L"",     L"   ",  L"abc", L"1.2.3", L"1e",  L"--1",
                                   L"1,,2", L",5",   L"(5",  L"5)",    L"1 2", L"&H10",
                                   L"0x10", L"-(5)", L"1e+", L"12abc", L"+-1", L"$"};
    for (const wchar_t* text : notNumbers) {
        VARIANT out = Of(VT_EMPTY);
        EXPECT_EQ(FromText(text, VT_R8, &out), DISP_E_TYPEMISMATCH) << text;
        EXPECT_EQ(FromText(text, VT_I4, &out), DISP_E_TYPEMISMATCH) << text;
    }
    VARIANT out = Of(VT_EMPTY);
    EXPECT_EQ(FromText(L"1e400", VT_R8, &out), DISP_E_OVERFLOW);
    EXPECT_EQ(FromText(L"1e39", VT_R4, &out), DISP_E_OVERFLOW);
    // The text ends at an embedded zero character.
    Value embedded;
    const wchar_t raw[] = {L'1', L'2', L'\0', L'x'};
    embedded.v.vt = VT_BSTR;
    embedded.v.bstrVal = SysAllocStringLen(raw, 4);
    ASSERT_EQ(VariantChangeType(&out, &embedded.v, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 12);
}

TEST(VariantFromText, CurrencyDecimalBoolAndDate) {
    VARIANT out = Of(VT_EMPTY);
    ASSERT_EQ(FromText(L"12.5", VT_CY, &out), S_OK);
    EXPECT_EQ(out.cyVal.int64, 125000);
    ASSERT_EQ(FromText(L"0.00005", VT_CY, &out), S_OK);  // half to even: 0
    EXPECT_EQ(out.cyVal.int64, 0);
    ASSERT_EQ(FromText(L"0.00015", VT_CY, &out), S_OK);  // half to even: 2
    EXPECT_EQ(out.cyVal.int64, 2);
    ASSERT_EQ(FromText(L"-922337203685477.5808", VT_CY, &out), S_OK);
    EXPECT_EQ(out.cyVal.int64, std::numeric_limits<LONGLONG>::min());
    EXPECT_EQ(FromText(L"922337203685477.5808", VT_CY, &out), DISP_E_OVERFLOW);

    Value dec;
    ASSERT_EQ(FromText(L"12345678901234567890123456.789", VT_DECIMAL, &dec.v), S_OK);
    EXPECT_EQ(dec.v.vt, VT_DECIMAL);
    EXPECT_EQ(ToText(dec.v), L"12345678901234567890123456.789");
    ASSERT_EQ(FromText(L"0.1234567890123456789012345678901", VT_DECIMAL, &dec.v), S_OK);
    EXPECT_EQ(ToText(dec.v), L"0.1234567890123456789012345679");  // 28 decimals
    EXPECT_EQ(FromText(L"79228162514264337593543950336", VT_DECIMAL, &dec.v), DISP_E_OVERFLOW);

    ASSERT_EQ(FromText(L"True", VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(FromText(L" fALSE ", VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    ASSERT_EQ(FromText(L"2", VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(FromText(L"0.0", VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    EXPECT_EQ(FromText(L"yes", VT_BOOL, &out), DISP_E_TYPEMISMATCH);

    ASSERT_EQ(FromText(L"12/8/2026 6:09:20 PM", VT_DATE, &out), S_OK);
    EXPECT_NEAR(out.date, 46364.0 + (18 * 3600 + 9 * 60 + 20) / 86400.0, 1e-9);
    EXPECT_EQ(FromText(L"2/30/2026", VT_DATE, &out), DISP_E_TYPEMISMATCH);
}

TEST(VariantFromText, EveryTypeRoundTripsThroughText) {
    const struct {
        VARTYPE vt;
        const wchar_t* text;
    } cases[] = {{VT_I1, L"-5"},
                 {VT_UI1, L"200"},
                 {VT_I2, L"-1234"},
                 {VT_UI2, L"54321"},
                 {VT_I4, L"-123456"},
                 {VT_UI4, L"3000000000"},
                 {VT_I8, L"-1234567890123"},
                 {VT_UI8, L"12345678901234567890"},
                 {VT_INT, L"99"},
                 {VT_UINT, L"4000000000"},
                 {VT_R4, L"1.5"},
                 {VT_R8, L"0.333333333333333"},
                 {VT_CY, L"-12.3456"},
                 {VT_DECIMAL, L"-0.001"},
                 {VT_DATE, L"2/29/2024 11:59:59 PM"},
                 {VT_BOOL, L"-1"}};
    for (const auto& c : cases) {
        Value out;
        ASSERT_EQ(FromText(c.text, c.vt, &out.v), S_OK) << c.text;
        EXPECT_EQ(out.v.vt, c.vt);
        EXPECT_EQ(ToText(out.v), c.text) << c.vt;
    }
}

TEST(VariantNumbers, FloatingToIntegerRoundsHalfToEven) {
    const struct {
        double in;
        LONG out;
    } cases[] = {{2.5, 2},
                 {3.5, 4},
                 {-2.5, -2},
                 {-3.5, -4},
                 {0.5, 0},
                 {1.5, 2},
                 {2.4999, 2},
                 {2.5001, 3},
                 {-0.4, 0},
                 {2147483647.4, 2147483647},
                 {-2147483648.5, -2147483647 - 1}};
    for (const auto& c : cases) {
        VARIANT out = Of(VT_EMPTY);
        VARIANT in = R8(c.in);
        ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_I4), S_OK) << c.in;
        EXPECT_EQ(out.lVal, c.out) << c.in;
    }
    VARIANT out = Of(VT_EMPTY);
    for (double overflow : {2147483647.5, -2147483649.0, 1e300, std::nan(""), HUGE_VAL}) {
        VARIANT in = R8(overflow);
        EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_I4), DISP_E_OVERFLOW) << overflow;
    }
    VARIANT in = R8(9223372036854775807.0);  // 2^63 after rounding to double
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_I8), DISP_E_OVERFLOW);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_UI8), S_OK);
    EXPECT_EQ(out.ullVal, 9223372036854775808ull);
    in = Cy(25000);  // 2.5
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_I2), S_OK);
    EXPECT_EQ(out.iVal, 2);
    in = Cy(35000);  // 3.5
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_UI1), S_OK);
    EXPECT_EQ(out.bVal, 4);
}

TEST(VariantNumbers, RangesBetweenTypes) {
    VARIANT out = Of(VT_EMPTY);
    VARIANT in = I4(-1);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_UI4), DISP_E_OVERFLOW);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_UI1), DISP_E_OVERFLOW);
    in = I4(300);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_I1), DISP_E_OVERFLOW);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_I2), S_OK);
    EXPECT_EQ(out.iVal, 300);
    in = Of(VT_UI4);
    in.ulVal = 4294967295u;
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_I4), DISP_E_OVERFLOW);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_I8), S_OK);
    EXPECT_EQ(out.llVal, 4294967295);
    in = R8(1e39);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_R4), DISP_E_OVERFLOW);
    in = R8(FLT_MAX);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_R4), S_OK);
    EXPECT_EQ(out.fltVal, FLT_MAX);
    in = R8(1.23456);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_CY), S_OK);
    EXPECT_EQ(out.cyVal.int64, 12346);
    in = R8(1e15);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_CY), DISP_E_OVERFLOW);
    in = R8(3e6);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_DATE), DISP_E_OVERFLOW);
    in = R8(-657435.0);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_DATE), DISP_E_OVERFLOW);
    in = R8(-657434.5);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_DATE), S_OK);
    EXPECT_EQ(out.date, -657434.5);
    in = R8(0.1);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_DECIMAL), S_OK);
    EXPECT_EQ(ToText(out), L"0.1");  // 15 significant digits, not the binary expansion
    in = Cy(-15000);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_DECIMAL), S_OK);
    EXPECT_EQ(ToText(out), L"-1.5");
    ASSERT_EQ(VariantChangeType(&out, &out, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, -1.5);
}

TEST(VariantNumbers, BoolIsMinusOneOrZero) {
    VARIANT out = Of(VT_EMPTY);
    VARIANT in = Bool(true);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, -1);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, -1.0);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_UI1), S_OK);
    EXPECT_EQ(out.bVal, 255);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_UI2), S_OK);
    EXPECT_EQ(out.uiVal, 65535);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_CY), S_OK);
    EXPECT_EQ(out.cyVal.int64, -10000);
    in = Bool(false);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_UI4), S_OK);
    EXPECT_EQ(out.ulVal, 0u);
    for (VARIANT number : {I4(5), R8(-0.25), Cy(1)}) {
        ASSERT_EQ(VariantChangeType(&out, &number, 0, VT_BOOL), S_OK);
        EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    }
    in = R8(0.0);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_BOOL), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
}

TEST(VariantChangeType, EmptyNullAndBadTypes) {
    VARIANT out = Of(VT_EMPTY);
    VARIANT empty = Of(VT_EMPTY);
    ASSERT_EQ(VariantChangeType(&out, &empty, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 0);
    ASSERT_EQ(VariantChangeType(&out, &empty, 0, VT_BOOL), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    VARIANT null = Of(VT_NULL);
    EXPECT_EQ(VariantChangeType(&out, &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(VariantChangeType(&out, &null, 0, VT_NULL), S_OK);
    VARIANT number = I4(1);
    EXPECT_EQ(VariantChangeType(&out, &number, 0, VT_VARIANT), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&out, &number, 0, VT_I4 | VT_BYREF), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&out, &number, 0, 15), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&out, &number, 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&out, &number, 0, VT_UNKNOWN), DISP_E_TYPEMISMATCH);
    VARIANT bad = Of(99);
    EXPECT_EQ(VariantChangeType(&out, &bad, 0, VT_I4), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(nullptr, &number, 0, VT_I4), E_INVALIDARG);
}

TEST(VariantChangeType, InPlaceConversionAndUntouchedDestinationOnFailure) {
    Value value;
    Text(&value, L"1234");
    ASSERT_EQ(VariantChangeType(&value.v, &value.v, 0, VT_I4), S_OK);  // frees the string
    EXPECT_EQ(value.v.vt, VT_I4);
    EXPECT_EQ(value.v.lVal, 1234);

    Value destination;
    Text(&destination, L"keep me");
    const BSTR before = destination.v.bstrVal;
    Value source;
    Text(&source, L"not a number");
    EXPECT_EQ(VariantChangeType(&destination.v, &source.v, 0, VT_R8), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(destination.v.vt, VT_BSTR);
    EXPECT_EQ(destination.v.bstrVal, before);
    EXPECT_STREQ(destination.v.bstrVal, L"keep me");
}

TEST(VariantChangeType, ReferencesAreReadThrough) {
    double number = 2.5;
    VARIANT byRef = Of(VT_BYREF | VT_R8);
    byRef.pdblVal = &number;
    EXPECT_EQ(ToText(byRef), L"2.5");
    VARIANT out = Of(VT_EMPTY);
    ASSERT_EQ(VariantChangeType(&out, &byRef, 0, VT_R8), S_OK);
    EXPECT_EQ(out.vt, VT_R8);  // a value, not a reference
    EXPECT_EQ(out.dblVal, 2.5);

    Value inner;
    Text(&inner, L"17");
    VARIANT byVariant = Of(VT_BYREF | VT_VARIANT);
    byVariant.pvarVal = &inner.v;
    ASSERT_EQ(VariantChangeType(&out, &byVariant, 0, VT_UI2), S_OK);
    EXPECT_EQ(out.uiVal, 17);
}

TEST(VariantChangeType, ObjectsConvertThroughTheirValueProperty) {
    auto* object = new CountedObject;
    object->SetValue(I4(42));
    Value holder;
    holder.v.vt = VT_DISPATCH;
    holder.v.pdispVal = object;  // the holder owns the creation reference
    EXPECT_EQ(ToText(holder.v), L"42");
    EXPECT_EQ(object->ValueReads(), 1);
    EXPECT_EQ(ToText(holder.v, VARIANT_NOVALUEPROP),
              L"<" + std::to_wstring(DISP_E_TYPEMISMATCH) + L">");
    EXPECT_EQ(object->ValueReads(), 1);

    Value unknown;
    ASSERT_EQ(VariantChangeType(&unknown.v, &holder.v, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(unknown.v.punkVal, static_cast<IUnknown*>(object));
    EXPECT_EQ(object->Refs(), 2u);
    VARIANT out = Of(VT_EMPTY);
    ASSERT_EQ(VariantChangeType(&out, &unknown.v, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, 42.0);
    EXPECT_EQ(object->Refs(), 2u);  // the look-up left no reference behind
}

TEST(VarBstrFrom, SingleConversions) {
    BSTR text = nullptr;
    ASSERT_EQ(VarBstrFromR8(1e20, LOCALE_USER_DEFAULT, 0, &text), S_OK);
    EXPECT_STREQ(text, L"1E+20");
    SysFreeString(text);
    CY cy;
    cy.int64 = 125000;
    ASSERT_EQ(VarBstrFromCy(cy, LOCALE_USER_DEFAULT, 0, &text), S_OK);
    EXPECT_STREQ(text, L"12.5");
    SysFreeString(text);
    ASSERT_EQ(VarBstrFromDate(46364.5, LOCALE_USER_DEFAULT, 0, &text), S_OK);
    EXPECT_STREQ(text, L"12/8/2026 12:00:00 PM");
    SysFreeString(text);
    EXPECT_EQ(VarBstrFromDate(1e7, LOCALE_USER_DEFAULT, 0, &text), E_INVALIDARG);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(VarBstrFromR8(1.0, LOCALE_USER_DEFAULT, 0, nullptr), E_INVALIDARG);
}

// An object whose value property cannot be read.
class NoValueObject final : public IDispatch {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppvObject = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }  // lives on the test's stack
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        ++invokes_;
        return DISP_E_MEMBERNOTFOUND;
    }
    ULONG refs_ = 1;
    int invokes_ = 0;
};

TEST(VariantChangeType, ObjectWithoutReadableValueIsATypeMismatch) {
    NoValueObject object;
    VARIANT holder = Of(VT_DISPATCH);
    holder.pdispVal = &object;
    Value destination;
    destination.v = I4(7);
    for (VARTYPE vt : {VT_I4, VT_BSTR, VT_R8, VT_BOOL}) {
        EXPECT_EQ(VariantChangeType(&destination.v, &holder, 0, vt), DISP_E_TYPEMISMATCH) << vt;
    }
    EXPECT_EQ(object.invokes_, 4);
    EXPECT_EQ(object.refs_, 1u);  // no reference left behind
    EXPECT_EQ(destination.v.vt, VT_I4);
    EXPECT_EQ(destination.v.lVal, 7);
}

TEST(VariantChangeType, ScalarsConvertToEmptyAndNull) {
    for (VARTYPE target : {VT_EMPTY, VT_NULL}) {
        for (VARIANT scalar : {I4(5), R8(2.5), Cy(1), Bool(true), Of(VT_EMPTY)}) {
            VARIANT out = I4(9);
            ASSERT_EQ(VariantChangeType(&out, &scalar, 0, target), S_OK) << scalar.vt;
            EXPECT_EQ(out.vt, target);
        }
        // A string converted in place is freed (the sanitizer build would see a leak).
        Value text;
        Text(&text, L"some text");
        ASSERT_EQ(VariantChangeType(&text.v, &text.v, 0, target), S_OK);
        EXPECT_EQ(text.v.vt, target);
    }
    // Objects and arrays still do not.
    Value unknown;
    unknown.v.vt = VT_UNKNOWN;
    unknown.v.punkVal = new CountedObject;
    VARIANT out = Of(VT_EMPTY);
    EXPECT_EQ(VariantChangeType(&out, &unknown.v, 0, VT_EMPTY), DISP_E_TYPEMISMATCH);
    Value array;
    array.v.vt = VT_ARRAY | VT_I4;
    array.v.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    EXPECT_EQ(VariantChangeType(&out, &array.v, 0, VT_NULL), DISP_E_TYPEMISMATCH);
}

TEST(VariantNumbers, BoolConvertsAsItsRawValue) {
    VARIANT in = Of(VT_BOOL);
    in.boolVal = 1;  // true, but not VARIANT_TRUE
    VARIANT out = Of(VT_EMPTY);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 1);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_UI1), S_OK);
    EXPECT_EQ(out.bVal, 1);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_UI8), S_OK);
    EXPECT_EQ(out.ullVal, 1u);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, 1.0);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_CY), S_OK);
    EXPECT_EQ(out.cyVal.int64, 10000);
    in.boolVal = -2;  // unsigned targets take the value's bits
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_I2), S_OK);
    EXPECT_EQ(out.iVal, -2);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_UI2), S_OK);
    EXPECT_EQ(out.uiVal, 65534);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_UI4), S_OK);
    EXPECT_EQ(out.ulVal, 0xFFFFFFFEu);
    ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_DECIMAL), S_OK);
    EXPECT_EQ(ToText(out), L"-2");
}

TEST(VariantFromText, BoolFromInvariantTrueAndFalseWords) {
    VARIANT out = Of(VT_EMPTY);
    ASSERT_EQ(FromText(L"#TRUE#", VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(FromText(L" #false# ", VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    EXPECT_EQ(FromText(L"#TRUE", VT_BOOL, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(FromText(L"#TRUE#", VT_I4, &out), DISP_E_TYPEMISMATCH);  // words, not numbers
}

// A one-dimensional byte array with the given bytes.
SAFEARRAY* ByteArray(const void* bytes, ULONG count) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, count);
    void* data = nullptr;
    if (array != nullptr && SUCCEEDED(SafeArrayAccessData(array, &data))) {
        std::memcpy(data, bytes, count);
        SafeArrayUnaccessData(array);
    }
    return array;
}

TEST(VariantChangeType, ByteArraysAndStringsShareTheirBytes) {
    const std::wstring word = L"AB";
    const auto wordBytes = static_cast<ULONG>(word.size() * sizeof(OLECHAR));
    Value array;
    array.v.vt = VT_ARRAY | VT_UI1;
    array.v.parray = ByteArray(word.data(), wordBytes);
    Value text;
    ASSERT_EQ(VariantChangeType(&text.v, &array.v, 0, VT_BSTR), S_OK);
    ASSERT_EQ(text.v.vt, VT_BSTR);
    EXPECT_EQ(SysStringByteLen(text.v.bstrVal), wordBytes);
    EXPECT_STREQ(text.v.bstrVal, L"AB");

    // Back again: a zero-based vector of the string's bytes.
    Value bytes;
    ASSERT_EQ(VariantChangeType(&bytes.v, &text.v, 0, VT_ARRAY | VT_UI1), S_OK);
    ASSERT_EQ(bytes.v.vt, VT_ARRAY | VT_UI1);
    ASSERT_EQ(SafeArrayGetDim(bytes.v.parray), 1u);
    LONG lower = -1;
    LONG upper = -1;
    ASSERT_EQ(SafeArrayGetLBound(bytes.v.parray, 1, &lower), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(bytes.v.parray, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, static_cast<LONG>(wordBytes) - 1);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(bytes.v.parray, &data), S_OK);
    EXPECT_EQ(std::memcmp(data, word.data(), wordBytes), 0);
    SafeArrayUnaccessData(bytes.v.parray);

    // An odd byte count stays exact, also through a reference.
    const unsigned char three[] = {1, 2, 3};
    Value odd;
    odd.v.vt = VT_ARRAY | VT_UI1;
    odd.v.parray = ByteArray(three, 3);
    VARIANT byRef = Of(VT_BYREF | VT_ARRAY | VT_UI1);
    byRef.pparray = &odd.v.parray;
    ASSERT_EQ(VariantChangeType(&text.v, &byRef, 0, VT_BSTR), S_OK);
    ASSERT_EQ(SysStringByteLen(text.v.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(text.v.bstrVal, three, 3), 0);

    // An empty string is an empty vector.
    Value empty;
    empty.v.vt = VT_BSTR;
    empty.v.bstrVal = nullptr;  // a null BSTR is the empty string
    ASSERT_EQ(VariantChangeType(&bytes.v, &empty.v, 0, VT_ARRAY | VT_UI1), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(bytes.v.parray, 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
}

TEST(VariantChangeType, OnlyOneDimensionalByteArraysAreText) {
    Value text;
    Value matrix;
    matrix.v.vt = VT_ARRAY | VT_UI1;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    matrix.v.parray = SafeArrayCreate(VT_UI1, 2, bounds);
    EXPECT_EQ(VariantChangeType(&text.v, &matrix.v, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    Value longs;
    longs.v.vt = VT_ARRAY | VT_I4;
    longs.v.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    EXPECT_EQ(VariantChangeType(&text.v, &longs.v, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    Text(&text, L"AB");
    Value out;
    EXPECT_EQ(VariantChangeType(&out.v, &text.v, 0, VT_ARRAY | VT_I2), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out.v.vt, VT_EMPTY);
}

}  // namespace
