#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "../testing/counted_object.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/dispatch.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/holders.h"

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;
using tevo::com::SafeArrayAccess;
using tevo::com::SafeArrayHolder;
using tevo::com::VariantHolder;
using tevo::com::testing::CountedObject;

// Hands out a new reference through an out parameter, as a COM method would.
HRESULT GetObject(IDispatch* source, IDispatch** out) {
    source->AddRef();
    *out = source;
    return S_OK;
}

TEST(ComPtr, EveryReferenceIsReleasedExactlyOnce) {
    int destroyed = 0;
    auto* object = new CountedObject(&destroyed);  // the test's reference
    {
        ComPtr<IDispatch> a(object);
        EXPECT_EQ(object->Refs(), 2u);
        ComPtr<IDispatch> b = a;
        EXPECT_EQ(object->Refs(), 3u);
        ComPtr<IDispatch> c = std::move(b);
        EXPECT_EQ(object->Refs(), 3u);
        EXPECT_FALSE(b);  // NOLINT(bugprone-use-after-move): moved-from is empty
        c = a;            // same object: no change
        EXPECT_EQ(object->Refs(), 3u);
        ComPtr<IDispatch>& alias = c;
        c = alias;  // self-assignment
        EXPECT_EQ(object->Refs(), 3u);
        c = nullptr;
        EXPECT_EQ(object->Refs(), 2u);

        ComPtr<IDispatch> filled;
        ASSERT_EQ(GetObject(object, &filled), S_OK);
        EXPECT_EQ(object->Refs(), 3u);
        // Filling again releases what it held first.
        ASSERT_EQ(GetObject(object, &filled), S_OK);
        EXPECT_EQ(object->Refs(), 3u);

        IDispatch* handed = nullptr;
        ASSERT_EQ(a.CopyTo(&handed), S_OK);
        EXPECT_EQ(object->Refs(), 4u);
        handed->Release();
        EXPECT_EQ(a.CopyTo(nullptr), E_POINTER);

        IDispatch* detached = filled.Detach();
        EXPECT_FALSE(filled);
        EXPECT_EQ(object->Refs(), 3u);
        ComPtr<IDispatch> adopted;
        adopted.Attach(detached);  // takes over without AddRef
        EXPECT_EQ(object->Refs(), 3u);
        adopted.Attach(nullptr);
        EXPECT_EQ(object->Refs(), 2u);
    }
    EXPECT_EQ(object->Refs(), 1u);
    EXPECT_EQ(destroyed, 0);
    object->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(ComPtr, AsQueriesForOtherInterfaces) {
    int destroyed = 0;
    ComPtr<IDispatch> dispatch;
    dispatch.Attach(new CountedObject(&destroyed));
    {
        ComPtr<IUnknown> unknown = dispatch.As<IUnknown>();
        ASSERT_TRUE(unknown);
        EXPECT_EQ(static_cast<CountedObject*>(dispatch.Get())->Refs(), 2u);
        ComPtr<IErrorInfo> none;
        EXPECT_EQ(dispatch.As(&none), E_NOINTERFACE);
        EXPECT_FALSE(none);
        EXPECT_FALSE(dispatch.As<ISupportErrorInfo>());
        ComPtr<IDispatch> back;
        EXPECT_EQ(unknown->QueryInterface(IID_PPV_ARGS(&back)), S_OK);
        EXPECT_EQ(back, dispatch);
    }
    EXPECT_EQ(static_cast<CountedObject*>(dispatch.Get())->Refs(), 1u);
    dispatch.Reset();
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(dispatch.As<IUnknown>());
}

TEST(ComPtr, ContainersKeepTheirOwnReferences) {
    int destroyed = 0;
    ComPtr<IDispatch> first;
    first.Attach(new CountedObject(&destroyed));
    {
        std::vector<ComPtr<IDispatch>> list(3, first);
        list.push_back(first);
        EXPECT_EQ(static_cast<CountedObject*>(first.Get())->Refs(), 5u);
    }
    EXPECT_EQ(static_cast<CountedObject*>(first.Get())->Refs(), 1u);
    first = nullptr;
    EXPECT_EQ(destroyed, 1);
}

TEST(BstrHolder, ConvertsFromAndToUtf8) {
    const std::string utf8 = "Messger\xC3\xA4t \xE2\x86\x92 \xF0\x9F\x93\x88";
    Bstr text = Bstr::FromUtf8(utf8);
    EXPECT_EQ(text.Length(), 13u);
    EXPECT_EQ(text.ToUtf8(), utf8);
    EXPECT_EQ(tevo::com::BstrToUtf8(text.Get()), utf8);
    const std::wstring wide(L"a\0b", 3);
    Bstr withZero(wide);
    EXPECT_EQ(withZero.Length(), 3u);
    EXPECT_EQ(withZero.View(), wide);
    EXPECT_EQ(Bstr().Length(), 0u);
    EXPECT_TRUE(Bstr().Empty());
    EXPECT_EQ(Bstr().ToUtf8(), "");
}

TEST(BstrHolder, OwnsExactlyOneString) {
    Bstr original(L"text");
    Bstr copy = original;
    EXPECT_NE(copy.Get(), original.Get());
    EXPECT_EQ(copy.View(), L"text");
    Bstr moved = std::move(copy);
    // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move): moved-from is null
    EXPECT_EQ(copy.Get(), nullptr);
    EXPECT_EQ(moved.View(), L"text");
    moved = original;
    Bstr& alias = moved;
    moved = std::move(alias);  // self-move keeps the string
    EXPECT_EQ(moved.View(), L"text");

    // Detach hands the string to the caller, who frees it.
    BSTR out = original.Detach();
    EXPECT_EQ(original.Get(), nullptr);
    EXPECT_STREQ(out, L"text");
    SysFreeString(out);

    // & frees what is held before handing out the address.
    Bstr filled(L"old");
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 5;
    VARIANT converted;
    VariantInit(&converted);
    ASSERT_EQ(VariantChangeType(&converted, &v, 0, VT_BSTR), S_OK);
    *&filled = converted.bstrVal;  // adopt the conversion's string
    EXPECT_EQ(filled.View(), L"5");

    BSTR copyOut = filled.Copy();
    EXPECT_NE(copyOut, filled.Get());
    SysFreeString(copyOut);
    Bstr adopted = Bstr::Adopt(SysAllocString(L"adopted"));
    EXPECT_EQ(adopted.View(), L"adopted");
}

TEST(SafeArrayAccessHelper, HoldsALockForItsScopeOnly) {
    SafeArrayHolder array(SafeArrayCreateVector(VT_R8, 0, 4));
    ASSERT_TRUE(array);
    {
        SafeArrayAccess<double> values(array.Get());
        ASSERT_TRUE(values.Ok());
        EXPECT_EQ(values.Count(), 4u);
        EXPECT_EQ(array.Get()->cLocks, 1u);
        for (std::size_t i = 0; i < values.Count(); ++i) {
            values[i] = 0.5 * static_cast<double>(i);
        }
        EXPECT_EQ(SafeArrayDestroy(array.Get()), DISP_E_ARRAYISLOCKED);
    }
    EXPECT_EQ(array.Get()->cLocks, 0u);
    LONG index = 3;
    double read = 0;
    ASSERT_EQ(SafeArrayGetElement(array.Get(), &index, &read), S_OK);
    EXPECT_EQ(read, 1.5);

    // Wrong element type: no access, no lock.
    SafeArrayAccess<float> wrong(array.Get());
    EXPECT_EQ(wrong.Result(), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(array.Get()->cLocks, 0u);
    SafeArrayAccess<double> none(nullptr);
    EXPECT_EQ(none.Result(), E_INVALIDARG);

    // The holder destroys the array once; after Detach the caller owns it.
    SAFEARRAY* detached = array.Detach();
    EXPECT_FALSE(array);
    EXPECT_EQ(SafeArrayDestroy(detached), S_OK);
}

TEST(VariantHolderHelper, ClearsOnScopeExit) {
    int destroyed = 0;
    auto* object = new CountedObject(&destroyed);
    {
        VariantHolder holder;
        holder->vt = VT_DISPATCH;
        holder->pdispVal = object;
        object->AddRef();
        EXPECT_EQ(object->Refs(), 2u);
        // Put clears before handing out the variant.
        VARIANT* out = holder.Put();
        EXPECT_EQ(object->Refs(), 1u);
        out->vt = VT_BSTR;
        out->bstrVal = SysAllocString(L"freed by the holder");
    }
    VARIANT moved;
    {
        VariantHolder holder;
        holder->vt = VT_UNKNOWN;
        holder->punkVal = object;
        object->AddRef();
        holder.Detach(&moved);
        EXPECT_EQ(holder->vt, VT_EMPTY);
    }
    EXPECT_EQ(object->Refs(), 2u);
    VariantClear(&moved);
    object->Release();
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
