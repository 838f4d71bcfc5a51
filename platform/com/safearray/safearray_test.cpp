#include <gtest/gtest.h>

#include <cstring>

#include "../testing/counted_object.h"
#include "tevo/com/bstr.h"
#include "tevo/com/holders.h"
#include "tevo/com/safearray.h"
#include "tevo/com/variant.h"

namespace {

using tevo::com::testing::CountedObject;

// A 3 x 2 array of I4 with bounds -1..1 (first dimension) and 5..6 (second).
SAFEARRAY* MakeTwoDimensional() {
    SAFEARRAYBOUND bounds[2] = {{3, -1}, {2, 5}};
    return SafeArrayCreate(VT_I4, 2, bounds);
}

TEST(SafeArrayShape, BoundsAreReportedFirstDimensionFirstAndStoredReversed) {
    SAFEARRAY* psa = MakeTwoDimensional();
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 2u);
    LONG value = 0;
    ASSERT_EQ(SafeArrayGetLBound(psa, 1, &value), S_OK);
    EXPECT_EQ(value, -1);
    ASSERT_EQ(SafeArrayGetUBound(psa, 1, &value), S_OK);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(SafeArrayGetLBound(psa, 2, &value), S_OK);
    EXPECT_EQ(value, 5);
    ASSERT_EQ(SafeArrayGetUBound(psa, 2, &value), S_OK);
    EXPECT_EQ(value, 6);
    // Windows stores the last dimension first.
    EXPECT_EQ(psa->rgsabound[0].cElements, 2u);
    EXPECT_EQ(psa->rgsabound[0].lLbound, 5);
    EXPECT_EQ(psa->rgsabound[1].cElements, 3u);
    EXPECT_EQ(psa->rgsabound[1].lLbound, -1);
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(psa, 3, &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArrayShape, ElementsAreStoredWithTheFirstDimensionVaryingFastest) {
    SAFEARRAY* psa = MakeTwoDimensional();
    ASSERT_NE(psa, nullptr);
    for (LONG j = 5; j <= 6; ++j) {
        for (LONG i = -1; i <= 1; ++i) {
            LONG index[2] = {i, j};
            LONG value = 10 * j + i;
            ASSERT_EQ(SafeArrayPutElement(psa, index, &value), S_OK);
        }
    }
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    const auto* values = static_cast<const LONG*>(data);
    for (LONG j = 5; j <= 6; ++j) {
        for (LONG i = -1; i <= 1; ++i) {
            EXPECT_EQ(values[(i + 1) + 3 * (j - 5)], 10 * j + i);
            LONG index[2] = {i, j};
            void* element = nullptr;
            ASSERT_EQ(SafeArrayPtrOfIndex(psa, index, &element), S_OK);
            EXPECT_EQ(element, &values[(i + 1) + 3 * (j - 5)]);
            LONG read = 0;
            ASSERT_EQ(SafeArrayGetElement(psa, index, &read), S_OK);
            EXPECT_EQ(read, 10 * j + i);
        }
    }
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArrayShape, IndicesOutsideTheBoundsAreRejected) {
    SAFEARRAY* psa = MakeTwoDimensional();
    ASSERT_NE(psa, nullptr);
    LONG value = 7;
    void* element = nullptr;
    const LONG outside[][2] = {{-2, 5}, {2, 5},          {0, 4},
                               {0, 7},  {0x7FFFFFFF, 5}, {-1, -0x7FFFFFFF - 1}};
    for (const auto& bad : outside) {
        LONG index[2] = {bad[0], bad[1]};
        EXPECT_EQ(SafeArrayPutElement(psa, index, &value), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayGetElement(psa, index, &value), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPtrOfIndex(psa, index, &element), DISP_E_BADINDEX);
    }
    EXPECT_EQ(psa->cLocks, 0u);  // failed calls leave no lock behind
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArrayShape, ElementSizeAndVartypeFollowTheElementType) {
    const struct {
        VARTYPE vt;
        UINT size;
    } cases[] = {{VT_I1, 1},   {VT_UI1, 1},     {VT_I2, 2},       {VT_BOOL, 2},
                 {VT_I4, 4},   {VT_R4, 4},      {VT_ERROR, 4},    {VT_R8, 8},
                 {VT_CY, 8},   {VT_DATE, 8},    {VT_I8, 8},       {VT_DECIMAL, 16},
                 {VT_BSTR, 8}, {VT_UNKNOWN, 8}, {VT_DISPATCH, 8}, {VT_VARIANT, 24}};
    for (const auto& c : cases) {
        SAFEARRAY* psa = SafeArrayCreateVector(c.vt, 0, 2);
        ASSERT_NE(psa, nullptr) << c.vt;
        EXPECT_EQ(SafeArrayGetElemsize(psa), c.size) << c.vt;
        VARTYPE vt = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
        EXPECT_EQ(vt, c.vt);
        EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    }
    SAFEARRAY* unknowns = SafeArrayCreateVector(VT_DISPATCH, 0, 1);
    GUID iid;
    ASSERT_EQ(SafeArrayGetIID(unknowns, &iid), S_OK);
    EXPECT_EQ(iid, IID_IDispatch);
    SafeArrayDestroy(unknowns);
}

TEST(SafeArrayShape, UnsupportedOrOversizedArraysAreNotCreated) {
    SAFEARRAYBOUND bound = {4, 0};
    EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_NULL, 1, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4 | VT_BYREF, 1, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
    // 2^32 * 2^32 elements do not fit any address space.
    SAFEARRAYBOUND huge[2] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, huge), nullptr);
}

TEST(SafeArrayShape, EmptyVectorsHaveAnUpperBoundBelowTheLowerOne) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 1, 0);
    ASSERT_NE(psa, nullptr);
    LONG lower = 0;
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 0);
    void* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArrayLocks, LockedArraysCannotBeDestroyedOrResized) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(psa, nullptr);
    ASSERT_EQ(SafeArrayLock(psa), S_OK);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(psa->cLocks, 2u);

    SAFEARRAYBOUND bigger = {4, 0};
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayDestroyData(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayDestroyDescriptor(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayRedim(psa, &bigger), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(psa->rgsabound[0].cElements, 2u);
    EXPECT_EQ(psa->pvData, data);

    // Elements may still be written while locked: a lock is not exclusion.
    LONG index = 1;
    EXPECT_EQ(SafeArrayPutElement(psa, &index, tevo::com::Bstr(L"kept").Get()), S_OK);

    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(psa), S_OK);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
    EXPECT_EQ(psa->cLocks, 0u);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArrayElements, BstrElementsAreCopiedDeeply) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 1, 3);
    ASSERT_NE(psa, nullptr);
    const wchar_t raw[] = {L'x', L'\0', L'y'};
    BSTR mine = SysAllocStringLen(raw, 3);
    LONG index = 2;
    ASSERT_EQ(SafeArrayPutElement(psa, &index, mine), S_OK);
    // The array holds its own copy: changing or freeing the original leaves it intact.
    mine[0] = L'!';
    SysFreeString(mine);

    BSTR read = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &index, &read), S_OK);
    ASSERT_EQ(SysStringLen(read), 3u);
    EXPECT_EQ(std::wstring(read, 3), std::wstring(raw, 3));
    BSTR* stored = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(psa, &index, reinterpret_cast<void**>(&stored)), S_OK);
    EXPECT_NE(*stored, read);
    SysFreeString(read);

    // Replacing an element frees the one it replaces (checked by the leak sanitizer).
    ASSERT_EQ(SafeArrayPutElement(psa, &index, tevo::com::Bstr(L"second").Get()), S_OK);
    ASSERT_EQ(SafeArrayPutElement(psa, &index, nullptr), S_OK);
    EXPECT_EQ(*stored, nullptr);
    ASSERT_EQ(SafeArrayPutElement(psa, &index, tevo::com::Bstr(L"third").Get()), S_OK);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->cLocks, 0u);
    BSTR* copied = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(copy, &index, reinterpret_cast<void**>(&copied)), S_OK);
    EXPECT_NE(*copied, *stored);
    EXPECT_STREQ(*copied, L"third");
    LONG lower = 0;
    SafeArrayGetLBound(copy, 1, &lower);
    EXPECT_EQ(lower, 1);
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(copy, &vt);
    EXPECT_EQ(vt, VT_BSTR);

    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_STREQ(*copied, L"third");  // the copy does not share its strings
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);

    SAFEARRAY* none = psa;
    EXPECT_EQ(SafeArrayCopy(nullptr, &none), S_OK);
    EXPECT_EQ(none, nullptr);
}

TEST(SafeArrayElements, VariantElementsOwnTheirContents) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    ASSERT_NE(psa, nullptr);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"inside");
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(psa, &index, &text), S_OK);
    VariantClear(&text);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    VARIANT read;  // uninitialized on purpose: GetElement overwrites it
    std::memset(&read, 0xAB, sizeof(read));
    ASSERT_EQ(SafeArrayGetElement(copy, &index, &read), S_OK);
    ASSERT_EQ(read.vt, VT_BSTR);
    EXPECT_STREQ(read.bstrVal, L"inside");
    VariantClear(&read);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArrayElements, InterfaceElementsAreReferenceCounted) {
    int destroyed = 0;
    auto* object = new CountedObject(&destroyed);
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
    ASSERT_NE(psa, nullptr);
    LONG index = 1;
    ASSERT_EQ(SafeArrayPutElement(psa, &index, static_cast<IUnknown*>(object)), S_OK);
    EXPECT_EQ(object->Refs(), 2u);
    IUnknown* read = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &index, &read), S_OK);
    EXPECT_EQ(read, static_cast<IUnknown*>(object));
    EXPECT_EQ(object->Refs(), 3u);
    read->Release();

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    EXPECT_EQ(object->Refs(), 3u);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(object->Refs(), 2u);
    // Replacing releases the old element.
    ASSERT_EQ(SafeArrayPutElement(copy, &index, nullptr), S_OK);
    EXPECT_EQ(object->Refs(), 1u);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(destroyed, 0);
    object->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(SafeArrayRedim, TheLastDimensionGrowsWithZerosAndShrinksFreeingElements) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 3);
    ASSERT_NE(psa, nullptr);
    for (LONG i = 0; i < 3; ++i) {
        ASSERT_EQ(SafeArrayPutElement(psa, &i, tevo::com::Bstr(L"text").Get()), S_OK);
    }
    SAFEARRAYBOUND smaller = {1, 0};
    ASSERT_EQ(SafeArrayRedim(psa, &smaller), S_OK);  // frees two strings
    SAFEARRAYBOUND bigger = {4, 10};
    ASSERT_EQ(SafeArrayRedim(psa, &bigger), S_OK);
    LONG upper = 0;
    SafeArrayGetUBound(psa, 1, &upper);
    EXPECT_EQ(upper, 13);
    for (LONG i = 10; i <= 13; ++i) {
        BSTR read = nullptr;
        ASSERT_EQ(SafeArrayGetElement(psa, &i, &read), S_OK);
        if (i == 10) {
            EXPECT_STREQ(read, L"text");
        } else {
            EXPECT_EQ(read, nullptr);
        }
        SysFreeString(read);
    }
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

    // Two dimensions: only the last one changes; the first keeps its elements in place.
    SAFEARRAY* grid = MakeTwoDimensional();
    ASSERT_NE(grid, nullptr);
    LONG corner[2] = {1, 6};
    LONG value = 42;
    ASSERT_EQ(SafeArrayPutElement(grid, corner, &value), S_OK);
    SAFEARRAYBOUND rows = {4, 5};
    ASSERT_EQ(SafeArrayRedim(grid, &rows), S_OK);
    LONG read = 0;
    ASSERT_EQ(SafeArrayGetElement(grid, corner, &read), S_OK);
    EXPECT_EQ(read, 42);
    LONG added[2] = {1, 8};
    ASSERT_EQ(SafeArrayGetElement(grid, added, &read), S_OK);
    EXPECT_EQ(read, 0);
    LONG extent = 0;
    SafeArrayGetUBound(grid, 1, &extent);
    EXPECT_EQ(extent, 1);
    EXPECT_EQ(SafeArrayDestroy(grid), S_OK);
}

TEST(SafeArrayElements, CopyDataNeedsTheSameShape) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 0, 3);
    SAFEARRAY* b = SafeArrayCreateVector(VT_I4, 5, 3);
    SAFEARRAY* c = SafeArrayCreateVector(VT_I4, 0, 4);
    SAFEARRAY* d = SafeArrayCreateVector(VT_BSTR, 0, 3);
    SAFEARRAY* e = SafeArrayCreateVector(VT_UNKNOWN, 0, 3);
    LONG index = 2;
    LONG value = 9;
    SafeArrayPutElement(a, &index, &value);
    EXPECT_EQ(SafeArrayCopyData(a, b), S_OK);  // bounds may differ, counts may not
    index = 7;
    LONG read = 0;
    SafeArrayGetElement(b, &index, &read);
    EXPECT_EQ(read, 9);
    EXPECT_EQ(SafeArrayCopyData(a, c), E_INVALIDARG);
    EXPECT_EQ(SafeArrayCopyData(a, d), E_INVALIDARG);
    // Same element size, different element kind: strings must not become references.
    EXPECT_EQ(SafeArrayCopyData(d, e), E_INVALIDARG);
    for (SAFEARRAY* psa : {a, b, c, d, e}) {
        SafeArrayDestroy(psa);
    }
}

}  // namespace
