// Enumerating the store's collections through _NewEnum, as a late-bound client's
// "For Each" does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tevo/IviConfigServer.h"
#include "tevo/com/activation.h"
#include "tevo/com/apartment.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/enumvariant.h"
#include "tevo/com/holders.h"
#include "tevo/com/typeinfo.h"

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

class CollectionEnumTest : public ::testing::Test {
  protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override { CoUninitialize(); }

    template <class T>
    static ComPtr<T> Create(const wchar_t* progid, const IID& iid) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progid, &clsid), S_OK);
        ComPtr<T> object;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                   object.ReleaseAndGetVoidAddressOf()),
                  S_OK);
        return object;
    }

    // Adds hardware assets of these names to the store.
    static void AddAssets(IIviHardwareAssetCollection* assets,
                          std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* name : names) {
            auto asset = Create<IIviHardwareAsset>(L"IviConfigServer.IviHardwareAsset",
                                                   IID_IIviHardwareAsset);
            ASSERT_TRUE(asset);
            const Bstr text(name);
            ASSERT_EQ(asset->put_Name(text.Get()), S_OK);
            ASSERT_EQ(assets->Add(asset.Get()), S_OK);
        }
    }

    // The names of what the enumerator hands out one by one until its end, read through
    // the item interface; "<hr>" for an item that is not one.
    template <class ItemItf>
    static std::vector<std::wstring> Names(IEnumVARIANT* enumerator, const IID& item_iid) {
        std::vector<std::wstring> names;
        VARIANT value;
        // Bounded: a store in a test never holds this many items.
        for (int guard = 0; guard < 100 && enumerator->Next(1, &value, nullptr) == S_OK; ++guard) {
            ComPtr<ItemItf> item;
            const HRESULT hr =
                value.vt == VT_UNKNOWN && value.punkVal != nullptr
                    ? value.punkVal->QueryInterface(item_iid, item.ReleaseAndGetVoidAddressOf())
                    : E_NOINTERFACE;
            Bstr name;
            if (SUCCEEDED(hr)) {
                item->get_Name(&name);
            }
            names.push_back(SUCCEEDED(hr) ? name.ToWide() : L"<" + std::to_wstring(hr) + L">");
            VariantClear(&value);
        }
        return names;
    }

    template <class Coll>
    static ComPtr<IEnumVARIANT> NewEnum(Coll* collection) {
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(collection->get__NewEnum(&unknown), S_OK);
        ComPtr<IEnumVARIANT> enumerator;
        if (unknown) {
            EXPECT_EQ(
                unknown->QueryInterface(IID_IEnumVARIANT, enumerator.ReleaseAndGetVoidAddressOf()),
                S_OK);
        }
        return enumerator;
    }
};

TEST_F(CollectionEnumTest, NewEnumListsTheItemsInOrderAsTheyWereThen) {
    auto store = Create<IIviConfigStore>(L"IviConfigServer.IviConfigStore", IID_IIviConfigStore);
    ASSERT_TRUE(store);
    ComPtr<IIviHardwareAssetCollection> assets;
    ASSERT_EQ(store->get_HardwareAssets(&assets), S_OK);
    auto empty = NewEnum(assets.Get());
    ASSERT_TRUE(empty);
    EXPECT_TRUE(Names<IIviHardwareAsset>(empty.Get(), IID_IIviHardwareAsset).empty());

    AddAssets(assets.Get(), {L"First", L"Second", L"Third"});
    auto enumerator = NewEnum(assets.Get());
    ASSERT_TRUE(enumerator);
    VARIANT position;
    VariantInit(&position);
    position.vt = VT_I4;
    position.lVal = 2;
    ASSERT_EQ(assets->Remove(position), S_OK);  // after the enumerator was taken
    using Names3 = std::vector<std::wstring>;
    EXPECT_EQ(Names<IIviHardwareAsset>(enumerator.Get(), IID_IIviHardwareAsset),
              (Names3{L"First", L"Second", L"Third"}));
    ASSERT_EQ(enumerator->Reset(), S_OK);
    ASSERT_EQ(enumerator->Skip(2), S_OK);
    EXPECT_EQ(Names<IIviHardwareAsset>(enumerator.Get(), IID_IIviHardwareAsset),
              (Names3{L"Third"}));
    auto fresh = NewEnum(assets.Get());
    ASSERT_TRUE(fresh);
    EXPECT_EQ(Names<IIviHardwareAsset>(fresh.Get(), IID_IIviHardwareAsset),
              (Names3{L"First", L"Third"}));
    EXPECT_EQ(assets->get__NewEnum(nullptr), E_POINTER);
}

TEST_F(CollectionEnumTest, PublishedApisEnumerateToo) {
    auto store = Create<IIviConfigStore>(L"IviConfigServer.IviConfigStore", IID_IIviConfigStore);
    ASSERT_TRUE(store);
    ComPtr<IIviPublishedAPICollection> apis;
    ASSERT_EQ(store->get_PublishedAPIs(&apis), S_OK);
    for (const wchar_t* type : {L"IVI-COM", L"IVI-C"}) {
        auto api =
            Create<IIviPublishedAPI>(L"IviConfigServer.IviPublishedAPI", IID_IIviPublishedAPI);
        ASSERT_TRUE(api);
        const Bstr name(std::wstring(L"IviSpecAn ") + type);
        const Bstr type_text(type);
        ASSERT_EQ(api->put_Name(name.Get()), S_OK);
        ASSERT_EQ(api->put_MajorVersion(1), S_OK);
        ASSERT_EQ(api->put_Type(type_text.Get()), S_OK);
        ASSERT_EQ(apis->Add(api.Get()), S_OK);
    }
    auto enumerator = NewEnum(apis.Get());
    ASSERT_TRUE(enumerator);
    EXPECT_EQ(Names<IIviPublishedAPI>(enumerator.Get(), IID_IIviPublishedAPI),
              (std::vector<std::wstring>{L"IviSpecAn IVI-COM", L"IviSpecAn IVI-C"}));
    EXPECT_EQ(apis->get__NewEnum(nullptr), E_POINTER);
}

TEST_F(CollectionEnumTest, TypeLibraryDescribesNewEnumWithItsReservedDispid) {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_IVICONFIGSERVERLib, 1, 0, 0, &library), S_OK);
    for (const IID* iid : {&IID_IIviHardwareAssetCollection, &IID_IIviPublishedAPICollection,
                           &IID_IIviVirtualRangeCollection}) {
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfoOfGuid(*iid, &info), S_OK);
        OLECHAR name[] = L"_NewEnum";
        LPOLESTR names[] = {name};
        MEMBERID memid = 0;
        ASSERT_EQ(info->GetIDsOfNames(names, 1, &memid), S_OK);
        EXPECT_EQ(memid, DISPID_NEWENUM);
        // Appended: the existing members keep their slots, so _NewEnum is the last one.
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        const UINT last = attr->cFuncs - 1U;
        info->ReleaseTypeAttr(attr);
        FUNCDESC* func = nullptr;
        ASSERT_EQ(info->GetFuncDesc(last, &func), S_OK);
        EXPECT_EQ(func->memid, DISPID_NEWENUM);
        EXPECT_EQ(func->invkind, INVOKE_PROPERTYGET);
        EXPECT_NE(func->wFuncFlags & FUNCFLAG_FRESTRICTED, 0);
        info->ReleaseFuncDesc(func);
    }
}

}  // namespace
