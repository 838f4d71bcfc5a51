// The in-process server that the activation and regsvr tests use: one class,
// ActivationTest ("Tevo.ActivationTest.1", version-independent "Tevo.ActivationTest"),
// whose objects report how many of them the library holds, so that tests can see when
// the library is unloaded and loaded afresh.
//
// Two builds of it: the full one, and a limited one without DllCanUnloadNow and
// DllUnregisterServer whose DllRegisterServer fails with E_FAIL.
#pragma once

#include "tevo/com/unknown.h"
#include "tevo/win/types.h"

// {92AD51BE-CA64-4CDB-A9C3-0AAD179104DE}
inline constexpr CLSID CLSID_ActivationTest = {
    0x92AD51BE, 0xCA64, 0x4CDB, {0xA9, 0xC3, 0x0A, 0xAD, 0x17, 0x91, 0x04, 0xDE}};
// {73FB328E-888C-4F93-8BA0-C6F17DDC4412}
inline constexpr IID IID_IActivationTest = {
    0x73FB328E, 0x888C, 0x4F93, {0x8B, 0xA0, 0xC6, 0xF1, 0x7D, 0xDC, 0x44, 0x12}};

inline constexpr char kActivationTestDescription[] = "ActivationTest Class";
inline constexpr char kActivationTestProgId[] = "Tevo.ActivationTest.1";
inline constexpr char kActivationTestVersionIndependentProgId[] = "Tevo.ActivationTest";

struct IActivationTest : public IUnknown {
    // *sum = a + b: the object's own code answers.
    virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
    // The library's objects alive now, and those created since the library was loaded
    // (the count starts again at 0 each time it is loaded).
    virtual HRESULT GetCounters(LONG* live, LONG* created_since_load) = 0;
};
TEVO_COM_INTERFACE_IID(IActivationTest, IID_IActivationTest);
