#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../testing/counted_object.h"
#include "tevo/com/bstr.h"
#include "tevo/com/holders.h"
#include "tevo/com/safearray.h"
#include "tevo/com/variant.h"

namespace {

using tevo::com::testing::CountedObject;

VARIANT Text(const wchar_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

TEST(VariantLayout, MembersOverlayAsOnWindows) {
    EXPECT_EQ(sizeof(VARIANT), 24u);
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(reinterpret_cast<void*>(&v.vt), reinterpret_cast<void*>(&v.decVal));
    EXPECT_EQ(reinterpret_cast<char*>(&v.lVal) - reinterpret_cast<char*>(&v), 8);
    EXPECT_EQ(reinterpret_cast<char*>(&v.pRecInfo) - reinterpret_cast<char*>(&v), 16);
    // vt is the first member of DECIMAL (wReserved): set decVal first, then vt.
    DECIMAL d{};
    d.Lo64 = 5;
    v.decVal = d;
    v.vt = VT_DECIMAL;
    EXPECT_EQ(v.decVal.wReserved, VT_DECIMAL);
    EXPECT_EQ(v.decVal.Lo64, 5u);
}

TEST(VariantClear, FreesWhatTheVariantOwns) {
    VARIANT text = Text(L"owned");
    EXPECT_EQ(VariantClear(&text), S_OK);  // the leak sanitizer checks the string is gone
    EXPECT_EQ(text.vt, VT_EMPTY);

    int destroyed = 0;
    auto* object = new CountedObject(&destroyed);
    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = object;
    object->AddRef();
    EXPECT_EQ(VariantClear(&unknown), S_OK);
    EXPECT_EQ(object->Refs(), 1u);

    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_BSTR;
    array.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
    LONG index = 0;
    SafeArrayPutElement(array.parray, &index, tevo::com::Bstr(L"element").Get());
    EXPECT_EQ(VariantClear(&array), S_OK);
    EXPECT_EQ(array.vt, VT_EMPTY);

    // References are not followed.
    VARIANT target = Text(L"referenced");
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &target;
    EXPECT_EQ(VariantClear(&reference), S_OK);
    EXPECT_STREQ(target.bstrVal, L"referenced");
    VariantClear(&target);
    object->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(VariantClear, LockedArraysAndBadTypesAreRefused) {
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 4);
    SafeArrayLock(array.parray);
    EXPECT_EQ(VariantClear(&array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(array.vt, VT_ARRAY | VT_I4);  // unchanged, still owns the array
    SafeArrayUnlock(array.parray);
    EXPECT_EQ(VariantClear(&array), S_OK);

    for (VARTYPE bad :
         {VARTYPE(VT_VARIANT), VARTYPE(15), VARTYPE(VT_BYREF | VT_EMPTY),
          VARTYPE(VT_VECTOR | VT_I4), VARTYPE(VT_RECORD), VARTYPE(VT_ARRAY | VT_NULL)}) {
        VARIANT v;
        VariantInit(&v);
        v.vt = bad;
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << bad;
        VARIANT copy;
        VariantInit(&copy);
        EXPECT_EQ(VariantCopy(&copy, &v), DISP_E_BADVARTYPE) << bad;
    }
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(VariantCopy, CopiesStringsAndArraysAndSharesInterfaces) {
    const wchar_t raw[] = {L'a', L'\0', L'b'};
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocStringLen(raw, 3);
    VARIANT copy = Text(L"overwritten");  // freed by the copy
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    ASSERT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(SysStringLen(copy.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(copy.bstrVal, raw, sizeof(raw)), 0);
    EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
    EXPECT_EQ(SysStringLen(copy.bstrVal), 3u);
    VariantClear(&text);
    VariantClear(&copy);

    auto* object = new CountedObject;
    VARIANT dispatch;
    VariantInit(&dispatch);
    dispatch.vt = VT_DISPATCH;
    dispatch.pdispVal = object;
    ASSERT_EQ(VariantCopy(&copy, &dispatch), S_OK);
    EXPECT_EQ(copy.pdispVal, object);
    EXPECT_EQ(object->Refs(), 2u);
    VariantClear(&copy);
    EXPECT_EQ(object->Refs(), 1u);

    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_R8;
    array.parray = SafeArrayCreateVector(VT_R8, 0, 2);
    LONG index = 1;
    double value = 2.5;
    SafeArrayPutElement(array.parray, &index, &value);
    ASSERT_EQ(VariantCopy(&copy, &array), S_OK);
    EXPECT_NE(copy.parray, array.parray);
    double read = 0;
    SafeArrayGetElement(copy.parray, &index, &read);
    EXPECT_EQ(read, 2.5);
    VariantClear(&array);
    VariantClear(&copy);
    VariantClear(&dispatch);  // releases the creation reference
}

TEST(VariantCopy, CopyIndReplacesReferencesByValues) {
    LONG number = 17;
    VARIANT byNumber;
    VariantInit(&byNumber);
    byNumber.vt = VT_BYREF | VT_I4;
    byNumber.plVal = &number;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &byNumber), S_OK);
    EXPECT_EQ(copy.vt, VT_BYREF | VT_I4);  // VariantCopy keeps the reference
    ASSERT_EQ(VariantCopyInd(&copy, &byNumber), S_OK);
    EXPECT_EQ(copy.vt, VT_I4);
    EXPECT_EQ(copy.lVal, 17);

    BSTR text = SysAllocString(L"by reference");
    VARIANT byText;
    VariantInit(&byText);
    byText.vt = VT_BYREF | VT_BSTR;
    byText.pbstrVal = &text;
    ASSERT_EQ(VariantCopyInd(&copy, &byText), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, text);
    EXPECT_STREQ(copy.bstrVal, L"by reference");
    VariantClear(&copy);

    // A reference to a VARIANT, converted in place.
    VARIANT inner = Text(L"inner");
    VARIANT outer;
    VariantInit(&outer);
    outer.vt = VT_BYREF | VT_VARIANT;
    outer.pvarVal = &inner;
    ASSERT_EQ(VariantCopyInd(&outer, &outer), S_OK);
    EXPECT_EQ(outer.vt, VT_BSTR);
    EXPECT_STREQ(outer.bstrVal, L"inner");
    EXPECT_NE(outer.bstrVal, inner.bstrVal);
    VariantClear(&outer);
    VariantClear(&inner);
    SysFreeString(text);

    VARIANT dangling;
    VariantInit(&dangling);
    dangling.vt = VT_BYREF | VT_I4;
    dangling.plVal = nullptr;
    EXPECT_EQ(VariantCopyInd(&copy, &dangling), E_INVALIDARG);
}

}  // namespace
