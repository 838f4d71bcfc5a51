#include "session/trace_rendering.h"

#include <gtest/gtest.h>

#include "session/trace_registry.h"
#include "tevo/Tevo.h"
#include "tevo/com/holders.h"

namespace tevo::driver {
namespace {

using tevo::com::Bstr;

TraceParameter Parameter(std::initializer_list<VARTYPE> chain, USHORT flags, const wchar_t* name) {
    TraceParameter parameter;
    for (VARTYPE vt : chain) {
        parameter.type_chain[parameter.chain_length++] = vt;
    }
    parameter.flags = flags;
    parameter.name = name;
    return parameter;
}

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOut = PARAMFLAG_FOUT;
constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

template <class... Args>
std::wstring Render(TraceMode mode, const TraceMethod& method, const Args&... args) {
    const std::array<TraceArgument, sizeof...(Args)> traced{TraceArgumentOf(args)...};
    return RenderParameters(mode, method, traced);
}

TEST(TraceRendering, EntryShowsInParametersWithDirectionNameAndValue) {
    TraceMethod method;
    method.parameters = {Parameter({VT_BSTR}, kIn, L"ResourceName"),
                         Parameter({VT_BOOL}, kIn, L"IdQuery"), Parameter({VT_BOOL}, kIn, L"Reset"),
                         Parameter({VT_PTR, VT_I4}, kInOut, L"Count"),
                         Parameter({VT_PTR, VT_BSTR}, kRetval, L"pVal")};
    Bstr resource(L"TCPIP::h::5025::SOCKET");
    LONG count = -12;
    BSTR out = nullptr;
    EXPECT_EQ(Render(TraceMode::kEntry, method, resource.Get(), VARIANT_TRUE, VARIANT_FALSE, &count,
                     &out),
              L"([in] ResourceName = \"TCPIP::h::5025::SOCKET\", [in] IdQuery = 1, "
              L"[in] Reset = 0, [in,out] Count = -12)");
    out = SysAllocString(L"done");
    count = 3;
    EXPECT_EQ(
        Render(TraceMode::kExit, method, resource.Get(), VARIANT_TRUE, VARIANT_FALSE, &count, &out),
        L"([in,out] Count = 3, [out,retval] pVal = \"done\")");
    SysFreeString(out);
}

TEST(TraceRendering, NoParametersOrNoneInTheModeGiveEmptyParentheses) {
    TraceMethod none;
    EXPECT_EQ(Render(TraceMode::kEntry, none), L"()");
    TraceMethod put;
    put.parameters = {Parameter({VT_BOOL}, kIn, L"")};
    // The value of a property put has no name in the library.
    EXPECT_EQ(Render(TraceMode::kEntry, put, VARIANT_BOOL{-1}), L"([in] Value = 1)");
    EXPECT_EQ(Render(TraceMode::kExit, put, VARIANT_BOOL{-1}), L"()");
}

TEST(TraceRendering, ValueTextsOfEachType) {
    auto one = [](VARTYPE vt, auto value) {
        TraceMethod method;
        method.parameters = {Parameter({vt}, kIn, L"v")};
        return Render(TraceMode::kEntry, method, value);
    };
    EXPECT_EQ(one(VT_I2, SHORT{-5}), L"([in] v = -5)");
    EXPECT_EQ(one(VT_I4, LONG{-2147483647 - 1}), L"([in] v = -2147483648)");
    EXPECT_EQ(one(VT_HRESULT, HRESULT{-2147467259}), L"([in] v = -2147467259)");
    EXPECT_EQ(one(VT_UI4, ULONG{4000000000u}), L"([in] v = 4000000000)");
    EXPECT_EQ(one(VT_UI1, BYTE{200}), L"([in] v = 200)");
    EXPECT_EQ(one(VT_I1, static_cast<signed char>(-3)), L"([in] v = -3)");
    EXPECT_EQ(one(VT_R8, 1.0 / 3.0), L"([in] v = 0.333333)");
    EXPECT_EQ(one(VT_R8, 2.5e9), L"([in] v = 2.5e+09)");
    EXPECT_EQ(one(VT_R4, 0.1f), L"([in] v = 0.1)");
    EXPECT_EQ(one(VT_BOOL, VARIANT_BOOL{1}), L"([in] v = 0)");  // only -1 is true
    EXPECT_EQ(one(VT_BSTR, BSTR{nullptr}), L"([in] v = [NULL])");
    EXPECT_EQ(one(VT_USERDEFINED, TevoActiveScreenB), L"([in] v = [User-Defined] 0x00000001)");
    EXPECT_EQ(one(VT_USERDEFINED, LONG{-1}), L"([in] v = [User-Defined] 0xFFFFFFFF)");
    EXPECT_EQ(one(VT_UNKNOWN, reinterpret_cast<IUnknown*>(0xABC0)),
              L"([in] v = [IUnknown] 0x0000ABC0)");
    EXPECT_EQ(one(VT_DISPATCH, reinterpret_cast<IDispatch*>(0x10)),
              L"([in] v = [IDispatch] 0x00000010)");
    EXPECT_EQ(one(VT_SAFEARRAY, static_cast<SAFEARRAY*>(nullptr)), L"([in] v = [NULL])");

    VARIANT number;
    VariantInit(&number);
    V_VT(&number) = VT_I4;
    V_I4(&number) = 42;
    EXPECT_EQ(one(VT_VARIANT, number), L"([in] v = \"42\")");
    VARIANT unconvertible;
    VariantInit(&unconvertible);
    V_VT(&unconvertible) = VT_UNKNOWN;
    V_UNKNOWN(&unconvertible) = nullptr;
    EXPECT_EQ(one(VT_VARIANT, unconvertible), L"([in] v = [Unknown VARIANT Value])");
}

TEST(TraceRendering, SafeArrayShowsEachDimensionFirstDeclaredFirst) {
    SAFEARRAYBOUND bounds[2] = {{3, 0}, {5, 1}};
    SAFEARRAY* array = SafeArrayCreate(VT_R8, 2, bounds);
    ASSERT_NE(array, nullptr);
    TraceMethod method;
    method.parameters = {Parameter({VT_PTR, VT_SAFEARRAY}, kRetval, L"pVal")};
    EXPECT_EQ(Render(TraceMode::kExit, method, &array), L"([out,retval] pVal = SafeArray[3][5])");
    SafeArrayDestroy(array);
}

TEST(TraceRendering, DecimalParameterEndsTheListWithTheUnexpectedTypeText) {
    TraceMethod method;
    method.parameters = {Parameter({VT_I4}, kIn, L"before"),
                         Parameter({VT_DECIMAL}, kIn, L"amount"),
                         Parameter({VT_I4}, kIn, L"after")};
    DECIMAL amount{};
    EXPECT_EQ(Render(TraceMode::kEntry, method, LONG{7}, amount, LONG{8}),
              L"([in] before = 7, [in] amount = [Unexpected Type = 14])");
}

TEST(TraceRendering, TypesWithoutTextEndTheListSilently) {
    for (VARTYPE vt : {VARTYPE{VT_EMPTY}, VARTYPE{15}, VARTYPE{VT_CARRAY}, VARTYPE{40}}) {
        TraceMethod method;
        method.parameters = {Parameter({vt}, kIn, L"x"), Parameter({VT_I4}, kIn, L"y")};
        EXPECT_EQ(Render(TraceMode::kEntry, method, LONG{1}, LONG{2}), L"([in] x = )") << vt;
    }
    // A pointer to a pointer to a pointer: nothing behind the second dereference.
    TraceMethod deep;
    deep.parameters = {Parameter({VT_PTR, VT_PTR, VT_PTR}, kOut, L"p"),
                       Parameter({VT_I4}, kOut, L"q")};
    LONG*** nowhere = nullptr;
    LONG*** const* deep_argument = &nowhere;
    EXPECT_EQ(Render(TraceMode::kExit, deep, deep_argument, LONG{1}), L"([out] p = )");
}

TEST(TraceRendering, NullOutPointerAndTypeMismatchNeverReadBeyondTheArgument) {
    TraceMethod method;
    method.parameters = {Parameter({VT_PTR, VT_BOOL}, kRetval, L"pVal")};
    VARIANT_BOOL* null_output = nullptr;
    EXPECT_EQ(Render(TraceMode::kExit, method, null_output), L"([out,retval] pVal = [NULL])");

    TraceMethod text;
    text.parameters = {Parameter({VT_BSTR}, kIn, L"s"), Parameter({VT_I4}, kIn, L"n")};
    EXPECT_EQ(Render(TraceMode::kEntry, text, LONG{5}, LONG{6}), L"([in] s = [Garbage])");
    // Fewer arguments than parameters.
    EXPECT_EQ(Render(TraceMode::kEntry, text, Bstr(L"a").Get()),
              L"([in] s = \"a\", [in] n = [Garbage])");
}

TEST(TraceRendering, MethodKeysOfAccessorsAndMethods) {
    EXPECT_EQ(TraceMethodKey(INVOKE_PROPERTYGET, "Cache"), "get_Cache");
    EXPECT_EQ(TraceMethodKey(INVOKE_PROPERTYPUT, "Cache"), "put_Cache");
    EXPECT_EQ(TraceMethodKey(INVOKE_PROPERTYPUTREF, "Cache"), "put_Cache");
    EXPECT_EQ(TraceMethodKey(INVOKE_FUNC, "Initialize"), "Initialize");
}

}  // namespace
}  // namespace tevo::driver
