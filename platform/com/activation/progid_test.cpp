// ProgIDs: CLSIDFromProgID with CurVer, CLSIDFromString with ProgIDs, ProgIDFromCLSID.
#include <gtest/gtest.h>

#include <string>

#include "activation_test_support.h"
#include "tevo/com/memory.h"
#include "tevo/win/text.h"

namespace {

using namespace tevo::com::testing;

constexpr CLSID kVersion1 = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x01}};
constexpr CLSID kVersion2 = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x02}};

// Registers "Sample.Thing.1" and "Sample.Thing.2", and "Sample.Thing" with CurVer only.
void RegisterSampleProgIds() {
    SetClassesRootString("Sample.Thing.1\\CLSID", "", tevo::com::GuidToUtf8(kVersion1));
    SetClassesRootString("Sample.Thing.2\\CLSID", "", tevo::com::GuidToUtf8(kVersion2));
    SetClassesRootString("Sample.Thing\\CurVer", "", "Sample.Thing.2");
}

// CLSIDFromProgID's result; the class must be CLSID_NULL whenever it fails.
HRESULT Resolve(const wchar_t* progid, CLSID* clsid) {
    *clsid = kVersion1;
    const HRESULT hr = CLSIDFromProgID(progid, clsid);
    if (FAILED(hr)) {
        EXPECT_EQ(*clsid, CLSID_NULL) << "class not cleared for " << tevo::win::WideToUtf8(progid);
    }
    return hr;
}

TEST(ProgId, VersionIndependentProgIdsFollowCurVer) {
    RegisterSampleProgIds();
    CLSID clsid;
    ASSERT_EQ(Resolve(L"Sample.Thing.1", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion1);
    ASSERT_EQ(Resolve(L"Sample.Thing", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion2);
    // Names are matched without regard to case, as registry keys are.
    ASSERT_EQ(Resolve(L"SAMPLE.THING", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion2);

    // CurVer wins over the key's own CLSID ...
    SetClassesRootString("Sample.Thing\\CLSID", "", tevo::com::GuidToUtf8(kVersion1));
    ASSERT_EQ(Resolve(L"Sample.Thing", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion2);
    // ... unless it names a ProgID that does not resolve.
    SetClassesRootString("Sample.Thing\\CurVer", "", "Sample.Thing.9");
    ASSERT_EQ(Resolve(L"Sample.Thing", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion1);
}

TEST(ProgId, UnknownAndMalformedNamesGiveClassString) {
    RegisterSampleProgIds();
    CLSID clsid;
    EXPECT_EQ(Resolve(L"Sample.Unknown", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(Resolve(L"", &clsid), CO_E_CLASSSTRING);
    // A ProgID key without a CLSID.
    SetClassesRootString("Sample.Empty", "", "description only");
    EXPECT_EQ(Resolve(L"Sample.Empty", &clsid), CO_E_CLASSSTRING);
    // A CLSID value that is no braced GUID.
    SetClassesRootString("Sample.Bad\\CLSID", "", "11111111-2222-3333-4444-555555555501");
    EXPECT_EQ(Resolve(L"Sample.Bad", &clsid), CO_E_CLASSSTRING);
    // A name that reaches into other keys is not a ProgID, although the key exists.
    SetClassesRootString("Sample.Outer\\Inner\\CLSID", "", tevo::com::GuidToUtf8(kVersion1));
    EXPECT_EQ(Resolve(L"Sample.Outer\\Inner", &clsid), CO_E_CLASSSTRING);
    // CurVer loops end.
    SetClassesRootString("Sample.Loop\\CurVer", "", "Sample.Loop");
    EXPECT_EQ(Resolve(L"Sample.Loop", &clsid), CO_E_CLASSSTRING);
    SetClassesRootString("Sample.PingA\\CurVer", "", "Sample.PingB");
    SetClassesRootString("Sample.PingB\\CurVer", "", "Sample.PingA");
    EXPECT_EQ(Resolve(L"Sample.PingA", &clsid), CO_E_CLASSSTRING);
    SetClassesRootString("Sample.PingB\\CLSID", "", tevo::com::GuidToUtf8(kVersion2));
    ASSERT_EQ(Resolve(L"Sample.PingA", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion2);

    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(L"Sample.Thing", nullptr), E_INVALIDARG);
}

TEST(ProgId, ClsidFromStringAcceptsProgIds) {
    RegisterSampleProgIds();
    CLSID clsid = CLSID_NULL;
    ASSERT_EQ(CLSIDFromString(L"Sample.Thing", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion2);
    EXPECT_EQ(CLSIDFromString(L"Sample.Unknown", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, CLSID_NULL);
    // The braced form still goes around the registry.
    ASSERT_EQ(CLSIDFromString(L"{11111111-2222-3333-4444-555555555502}", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion2);
}

TEST(ProgId, ProgIdFromClsidReadsTheClassKey) {
    const std::string class_key = "CLSID\\" + tevo::com::GuidToUtf8(kVersion1);
    LPOLESTR progid = reinterpret_cast<LPOLESTR>(&progid);
    EXPECT_EQ(ProgIDFromCLSID(kVersion1, &progid), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progid, nullptr);
    SetClassesRootString(class_key, "", "Sample Thing");
    EXPECT_EQ(ProgIDFromCLSID(kVersion1, &progid), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progid, nullptr);
    SetClassesRootString(class_key + "\\ProgID", "", "");
    EXPECT_EQ(ProgIDFromCLSID(kVersion1, &progid), REGDB_E_CLASSNOTREG);

    // Text beyond ASCII comes back as the wide characters it was written with.
    SetClassesRootString(class_key + "\\ProgID", "", "S\xC3\xA4mple.Thing.1");
    ASSERT_EQ(ProgIDFromCLSID(kVersion1, &progid), S_OK);
    ASSERT_NE(progid, nullptr);
    EXPECT_EQ(std::wstring(progid), L"S\u00E4mple.Thing.1");
    CoTaskMemFree(progid);

    EXPECT_EQ(ProgIDFromCLSID(kVersion1, nullptr), E_INVALIDARG);
}

}  // namespace
