#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "tevo/com/activation.h"
#include "tevo/com/dispatch.h"
#include "tevo/com/guid.h"
#include "tevo/com/memory.h"

namespace {

constexpr GUID kSample = {
    0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
constexpr wchar_t kSampleText[] = L"{0123ABCD-4567-89EF-FEDC-BA9876543210}";

TEST(GuidText, StringFromGuid2WritesTheBracedUpperCaseForm) {
    wchar_t buffer[CHARS_IN_GUID];
    ASSERT_EQ(StringFromGUID2(IID_IDispatch, buffer, CHARS_IN_GUID), 39);
    EXPECT_STREQ(buffer, L"{00020400-0000-0000-C000-000000000046}");
    ASSERT_EQ(StringFromGUID2(kSample, buffer, CHARS_IN_GUID), 39);
    EXPECT_STREQ(buffer, kSampleText);
}

TEST(GuidText, StringFromGuid2RefusesASmallBufferWithoutWriting) {
    wchar_t buffer[CHARS_IN_GUID];
    std::wmemset(buffer, L'x', CHARS_IN_GUID);
    EXPECT_EQ(StringFromGUID2(kSample, buffer, CHARS_IN_GUID - 1), 0);
    EXPECT_EQ(buffer[0], L'x');
    EXPECT_EQ(buffer[CHARS_IN_GUID - 1], L'x');
    EXPECT_EQ(StringFromGUID2(kSample, nullptr, 100), 0);
}

TEST(GuidText, RandomGuidsRoundTripThroughText) {
    for (int i = 0; i < 50; ++i) {
        GUID original;
        ASSERT_EQ(CoCreateGuid(&original), S_OK);
        LPOLESTR text = nullptr;
        ASSERT_EQ(StringFromCLSID(original, &text), S_OK);
        CLSID parsed;
        EXPECT_EQ(CLSIDFromString(text, &parsed), S_OK) << text;
        EXPECT_EQ(parsed, original);
        IID iid;
        EXPECT_EQ(IIDFromString(text, &iid), S_OK);
        EXPECT_EQ(iid, original);
        CoTaskMemFree(text);
    }
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromIID(kSample, &text), S_OK);
    EXPECT_STREQ(text, kSampleText);
    CoTaskMemFree(text);
    EXPECT_EQ(StringFromIID(kSample, nullptr), E_INVALIDARG);
}

TEST(GuidText, ParsingAcceptsLowerCaseDigits) {
    CLSID parsed;
    ASSERT_EQ(CLSIDFromString(L"{0123abcd-4567-89ef-fedc-ba9876543210}", &parsed), S_OK);
    EXPECT_EQ(parsed, kSample);
    EXPECT_EQ(tevo::com::ParseGuid(std::string_view("{0123ABCD-4567-89EF-FEDC-BA9876543210}")),
              kSample);
    EXPECT_EQ(tevo::com::GuidToUtf8(kSample), "{0123ABCD-4567-89EF-FEDC-BA9876543210}");
    EXPECT_EQ(tevo::com::GuidToString(kSample), kSampleText);
}

TEST(GuidText, MalformedTextIsRejectedAndClearsTheResult) {
    const wchar_t* bad[] = {
        L"0123ABCD-4567-89EF-FEDC-BA9876543210",     // no braces
        L"{0123ABCD-4567-89EF-FEDC-BA9876543210",    // no closing brace
        L"{0123ABCD-4567-89EF-FEDC-BA987654321}",    // one digit short
        L"{0123ABCD-4567-89EF-FEDC-BA98765432100}",  // one digit too many
        L"{0123ABCG-4567-89EF-FEDC-BA9876543210}",   // not a hex digit
        L"{0123ABCD-456789EF-FEDC-BA9876543210-}",   // dash misplaced
        L"{0123ABCD-4567-89EF-FEDCBA-9876543210}",   // dash misplaced in the last group
        L"{0123ABCD-4567-89EF-FEDC-BA9876543210} ",  // trailing blank
        L"{+123ABCD-4567-89EF-FEDC-BA9876543210}",   // sign
        L"{",
        L"",
    };
    for (const wchar_t* text : bad) {
        CLSID clsid = kSample;
        EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING) << text;
        EXPECT_EQ(clsid, CLSID_NULL) << text;
        IID iid = kSample;
        EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG) << text;
        EXPECT_EQ(iid, IID_NULL) << text;
        EXPECT_FALSE(tevo::com::ParseGuid(std::wstring_view(text)).has_value()) << text;
    }
}

TEST(GuidText, NullTextGivesTheNullGuid) {
    CLSID clsid = kSample;
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_NULL);
    IID iid = kSample;
    EXPECT_EQ(IIDFromString(nullptr, &iid), S_OK);
    EXPECT_EQ(iid, IID_NULL);
    EXPECT_EQ(CLSIDFromString(kSampleText, nullptr), E_INVALIDARG);
}

HRESULT ResolveOnlySample(LPCOLESTR progId, CLSID* clsid) {
    if (std::wstring(progId) == L"Sample.Object.1") {
        *clsid = kSample;
        return S_OK;
    }
    return REGDB_E_CLASSNOTREG;
}

TEST(GuidText, ProgIdsGoToTheInstalledResolver) {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromString(L"Sample.Object.1", &clsid), CO_E_CLASSSTRING);

    tevo::com::SetProgIdResolver(&ResolveOnlySample);
    EXPECT_EQ(CLSIDFromString(L"Sample.Object.1", &clsid), S_OK);
    EXPECT_EQ(clsid, kSample);
    EXPECT_EQ(CLSIDFromString(L"Unknown.Object", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, CLSID_NULL);
    // IIDs are never ProgIDs.
    IID iid;
    EXPECT_EQ(IIDFromString(L"Sample.Object.1", &iid), E_INVALIDARG);

    tevo::com::SetProgIdResolver(nullptr);
    EXPECT_EQ(CLSIDFromString(L"Sample.Object.1", &clsid), CO_E_CLASSSTRING);
    // Put back the registry lookup that the runtime installs, for the tests that follow.
    tevo::com::SetProgIdResolver(&CLSIDFromProgID);
}

TEST(GuidCreate, NewGuidsAreVersion4AndDistinct) {
    GUID a;
    GUID b;
    ASSERT_EQ(CoCreateGuid(&a), S_OK);
    ASSERT_EQ(CoCreateGuid(&b), S_OK);
    EXPECT_NE(a, b);
    for (const GUID& g : {a, b}) {
        EXPECT_EQ(g.Data3 >> 12, 4);
        EXPECT_EQ(g.Data4[0] & 0xC0, 0x80);
    }
    EXPECT_EQ(CoCreateGuid(nullptr), E_INVALIDARG);
}

}  // namespace
