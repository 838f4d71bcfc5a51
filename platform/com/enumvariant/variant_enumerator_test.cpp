#include <gtest/gtest.h>

#include "../testing/counted_object.h"
#include "tevo/com/bstr.h"
#include "tevo/com/enumvariant.h"

namespace {

using tevo::com::CreateVariantEnumerator;
using tevo::com::testing::CountedObject;

VARIANT I4(LONG x) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = x;
    return v;
}

// An enumerator over the integers 1, 2, 3.
IEnumVARIANT* OneTwoThree() {
    const VARIANT values[] = {I4(1), I4(2), I4(3)};
    IEnumVARIANT* enumerator = nullptr;
    EXPECT_EQ(CreateVariantEnumerator(values, 3, &enumerator), S_OK);
    return enumerator;
}

// The next value as an integer, or -1 at the end.
LONG NextNumber(IEnumVARIANT* enumerator) {
    VARIANT value;
    if (enumerator->Next(1, &value, nullptr) != S_OK) {
        return -1;
    }
    EXPECT_EQ(value.vt, VT_I4);
    return value.lVal;
}

TEST(VariantEnumerator, NextHandsOutValuesInOrderAndReportsTheEnd) {
    IEnumVARIANT* enumerator = OneTwoThree();
    ASSERT_NE(enumerator, nullptr);
    VARIANT batch[2];
    ULONG fetched = 99;
    ASSERT_EQ(enumerator->Next(2, batch, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(batch[0].lVal, 1);
    EXPECT_EQ(batch[1].lVal, 2);
    ASSERT_EQ(enumerator->Next(2, batch, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(batch[0].vt, VT_I4);
    EXPECT_EQ(batch[0].lVal, 3);
    EXPECT_EQ(enumerator->Next(1, batch, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(enumerator->Next(0, nullptr, &fetched), S_OK);
    EXPECT_EQ(enumerator->Next(2, nullptr, &fetched), E_INVALIDARG);
    EXPECT_EQ(enumerator->Release(), 0u);
}

TEST(VariantEnumerator, SkipResetAndCloneKeepTheirOwnPositions) {
    IEnumVARIANT* enumerator = OneTwoThree();
    ASSERT_NE(enumerator, nullptr);
    ASSERT_EQ(enumerator->Skip(1), S_OK);
    IEnumVARIANT* clone = nullptr;
    ASSERT_EQ(enumerator->Clone(&clone), S_OK);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(NextNumber(clone), 2);
    EXPECT_EQ(NextNumber(clone), 3);
    EXPECT_EQ(NextNumber(enumerator), 2);  // the clone's reads did not move the original
    EXPECT_EQ(enumerator->Skip(5), S_FALSE);
    EXPECT_EQ(NextNumber(enumerator), -1);
    ASSERT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(NextNumber(enumerator), 1);
    EXPECT_EQ(enumerator->Clone(nullptr), E_POINTER);
    // The values outlive the enumerator they were taken for.
    EXPECT_EQ(enumerator->Release(), 0u);
    ASSERT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(NextNumber(clone), 1);
    EXPECT_EQ(clone->Release(), 0u);
}

TEST(VariantEnumerator, HoldsCopiesTakenAtCreation) {
    auto* object = new CountedObject;
    VARIANT values[2];
    VariantInit(&values[0]);
    values[0].vt = VT_UNKNOWN;
    values[0].punkVal = object;  // this array owns the creation reference
    VariantInit(&values[1]);
    values[1].vt = VT_BSTR;
    values[1].bstrVal = SysAllocString(L"first");
    IEnumVARIANT* enumerator = nullptr;
    ASSERT_EQ(CreateVariantEnumerator(values, 2, &enumerator), S_OK);
    EXPECT_EQ(object->Refs(), 2u);
    SysReAllocString(&values[1].bstrVal, L"changed");

    VARIANT got[2];
    ASSERT_EQ(enumerator->Next(2, got, nullptr), S_OK);
    EXPECT_EQ(got[0].punkVal, static_cast<IUnknown*>(object));
    EXPECT_EQ(object->Refs(), 3u);  // the caller's copy holds its own reference
    ASSERT_EQ(got[1].vt, VT_BSTR);
    EXPECT_STREQ(got[1].bstrVal, L"first");
    EXPECT_NE(got[1].bstrVal, values[1].bstrVal);
    VariantClear(&got[0]);
    VariantClear(&got[1]);
    EXPECT_EQ(enumerator->Release(), 0u);
    EXPECT_EQ(object->Refs(), 1u);
    VariantClear(&values[0]);
    VariantClear(&values[1]);
}

TEST(VariantEnumerator, InterfacesAndBadArguments) {
    IEnumVARIANT* enumerator = OneTwoThree();
    ASSERT_NE(enumerator, nullptr);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(enumerator->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(enumerator));
    unknown->Release();
    void* other = &other;
    EXPECT_EQ(enumerator->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(enumerator->Release(), 0u);

    EXPECT_EQ(CreateVariantEnumerator(nullptr, 0, nullptr), E_POINTER);
    IEnumVARIANT* none = reinterpret_cast<IEnumVARIANT*>(&other);  // a stale output
    EXPECT_EQ(CreateVariantEnumerator(nullptr, 2, &none), E_INVALIDARG);
    EXPECT_EQ(none, nullptr);
    ASSERT_EQ(CreateVariantEnumerator(nullptr, 0, &none), S_OK);
    EXPECT_EQ(NextNumber(none), -1);
    EXPECT_EQ(none->Release(), 0u);
}

}  // namespace
