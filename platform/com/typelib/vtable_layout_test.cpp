// The vtable layouts the libraries describe, checked by walking the runtime, against the
// C++ layout of the generated header.
#include <gtest/gtest.h>

#include <tevo/Tevo.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "typelib_test_support.h"

namespace tevo::com::typelib::testing {
namespace {

constexpr int kSlot = sizeof(void*);

// The slots of an interface's complete vtable, counted by following its base interfaces
// through GetRefTypeInfo down to IUnknown: its own functions plus those of every base.
int CountSlots(ITypeInfo* type) {
    const TypeAttr attr(type);
    int slots = attr->cFuncs;
    if (attr->cImplTypes == 1) {
        HREFTYPE href = 0;
        EXPECT_EQ(type->GetRefTypeOfImplType(0, &href), S_OK);
        const ComPtr<ITypeInfo> base = RefType(type, href);
        slots += base ? CountSlots(base.Get()) : 0;
    }
    // The own functions occupy the last slots, in order, up to the end of the vtable.
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        EXPECT_EQ(FuncDesc(type, i)->oVft, (slots - attr->cFuncs + static_cast<int>(i)) * kSlot)
            << TypeName(type) << " function " << i;
    }
    EXPECT_EQ(attr->cbSizeVft, slots * kSlot) << TypeName(type);
    return slots;
}

struct Totals {
    int interfaces = 0;
    int slots = 0;
    int declared = 0;
};

Totals CountLibrary(ITypeLib* library) {
    Totals totals;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> type;
        EXPECT_EQ(library->GetTypeInfo(i, &type), S_OK);
        const TypeAttr attr(type.Get());
        if (attr->typekind != TKIND_INTERFACE) {
            continue;
        }
        ++totals.interfaces;
        totals.slots += CountSlots(type.Get());
        totals.declared += attr->cFuncs;
    }
    return totals;
}

TEST(VtableLayout, IviLibrariesHave272Entries) {
    const ComPtr<ITypeLib> driver = LoadGenerated("IviDriverTypeLib.tlb");
    const ComPtr<ITypeLib> specan = LoadGenerated("IviSpecAnTypeLib.tlb");
    ASSERT_TRUE(driver && specan);
    const Totals driver_totals = CountLibrary(driver.Get());
    const Totals specan_totals = CountLibrary(specan.Get());
    EXPECT_EQ(driver_totals.interfaces, 6);
    EXPECT_EQ(driver_totals.slots, 67);
    EXPECT_EQ(driver_totals.declared, 46);
    EXPECT_EQ(specan_totals.interfaces, 18);
    EXPECT_EQ(specan_totals.slots, 205);
    EXPECT_EQ(specan_totals.declared, 145);
    EXPECT_EQ(driver_totals.slots + specan_totals.slots, 272);

    // A few layouts in detail: the sizes that the inheritance makes.
    const std::vector<std::pair<IID, int>> expected = {
        {IID_IIviDriverIdentity, 14}, {IID_IIviSpecAn, 19}, {IID_IIviSpecAnMarker, 32}};
    for (const auto& [iid, slots] : expected) {
        ComPtr<ITypeInfo> type;
        if (FAILED(driver->GetTypeInfoOfGuid(iid, &type))) {
            ASSERT_EQ(specan->GetTypeInfoOfGuid(iid, &type), S_OK);
        }
        EXPECT_EQ(CountSlots(type.Get()), slots) << TypeName(type.Get());
    }
}

TEST(VtableLayout, DriverInterfacesStartAfterTheirBase) {
    const ComPtr<ITypeLib> library = LoadGenerated("Tevo.tlb");
    ASSERT_TRUE(library);
    ComPtr<ITypeInfo> root;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ITevo, &root), S_OK);
    EXPECT_EQ(CountSlots(root.Get()), 21);  // IUnknown 3, IIviDriver 6, ITevo 12

    // ITevo's base is IIviDriver of the imported IviDriver library.
    HREFTYPE href = 0;
    ASSERT_EQ(root->GetRefTypeOfImplType(0, &href), S_OK);
    const ComPtr<ITypeInfo> base = RefType(root.Get(), href);
    ASSERT_TRUE(base);
    EXPECT_EQ(TypeAttr(base.Get())->guid, IID_IIviDriver);
    ComPtr<ITypeLib> container;
    ASSERT_EQ(base->GetContainingTypeLib(&container, nullptr), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(container->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_IviDriverLib);
    container->ReleaseTLibAttr(attr);
}

// An object compiled against the generated header, reached through raw vtable slots as a
// client of another compiler would call it.
class RecordingAcquisition final : public ITevoAcquisition {
  public:
    HRESULT QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT Configure(VARIANT_BOOL, LONG, VARIANT_BOOL, TevoDetectorTypeEnum,
                      TevoVerticalScaleEnum) override {
        return Called("Configure");
    }
    HRESULT put_DetectorType(TevoDetectorTypeEnum) override { return Called("put_DetectorType"); }
    HRESULT get_DetectorType(TevoDetectorTypeEnum*) override { return Called("get_DetectorType"); }
    HRESULT put_DetectorTypeAuto(VARIANT_BOOL) override { return Called("put_DetectorTypeAuto"); }
    HRESULT get_DetectorTypeAuto(VARIANT_BOOL*) override { return Called("get_DetectorTypeAuto"); }
    HRESULT put_NumberOfSweeps(LONG) override { return Called("put_NumberOfSweeps"); }
    HRESULT get_NumberOfSweeps(LONG*) override { return Called("get_NumberOfSweeps"); }
    HRESULT put_SweepModeContinuous(VARIANT_BOOL) override {
        return Called("put_SweepModeContinuous");
    }
    HRESULT get_SweepModeContinuous(VARIANT_BOOL*) override {
        return Called("get_SweepModeContinuous");
    }
    HRESULT get_VerticalScale(TevoVerticalScaleEnum* pVal) override {
        *pVal = scale_;
        return Called("get_VerticalScale");
    }
    HRESULT put_VerticalScale(TevoVerticalScaleEnum newVal) override {
        scale_ = newVal;
        return Called("put_VerticalScale");
    }

    std::string last_call;

  private:
    HRESULT Called(const char* name) {
        last_call = name;
        return S_OK;
    }
    TevoVerticalScaleEnum scale_ = TevoVerticalScaleLinear;
};

using GetScaleSlot = HRESULT (*)(ITevoAcquisition*, TevoVerticalScaleEnum*);
using PutScaleSlot = HRESULT (*)(ITevoAcquisition*, TevoVerticalScaleEnum);

// Calls through a slot as a plain function taking the object first, which is how a vtable
// call is made at the machine level. The function-type check of the sanitizer would see a
// member function called through a non-member type, which is exactly the point here.
#if defined(__clang__)
#define TEVO_NO_FUNCTION_CHECK __attribute__((no_sanitize("function")))
#else
#define TEVO_NO_FUNCTION_CHECK
#endif

TEVO_NO_FUNCTION_CHECK HRESULT CallGetSlot(ITevoAcquisition* object, int slot,
                                           TevoVerticalScaleEnum* value) {
    void* const* vtable = *reinterpret_cast<void* const* const*>(object);
    return reinterpret_cast<GetScaleSlot>(vtable[slot])(object, value);
}

TEVO_NO_FUNCTION_CHECK HRESULT CallPutSlot(ITevoAcquisition* object, int slot,
                                           TevoVerticalScaleEnum value) {
    void* const* vtable = *reinterpret_cast<void* const* const*>(object);
    return reinterpret_cast<PutScaleSlot>(vtable[slot])(object, value);
}

TEST(VtableLayout, RawSlotsReachTheAccessorsTheLibraryNames) {
    RecordingAcquisition object;
    ITevoAcquisition* itf = &object;

    ASSERT_EQ(CallPutSlot(itf, 13, TevoVerticalScaleLogarithmic), S_OK);
    EXPECT_EQ(object.last_call, "put_VerticalScale");
    TevoVerticalScaleEnum value = TevoVerticalScaleLinear;
    ASSERT_EQ(CallGetSlot(itf, 12, &value), S_OK);
    EXPECT_EQ(object.last_call, "get_VerticalScale");
    EXPECT_EQ(value, TevoVerticalScaleLogarithmic);
    // DetectorType has its put accessor first.
    ASSERT_EQ(CallPutSlot(itf, 4, TevoVerticalScaleLinear), S_OK);
    EXPECT_EQ(object.last_call, "put_DetectorType");

    // The library agrees: the functions at those offsets are the VerticalScale get and put.
    const ComPtr<ITypeLib> library = LoadGenerated("Tevo.tlb");
    ASSERT_TRUE(library);
    ComPtr<ITypeInfo> type;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ITevoAcquisition, &type), S_OK);
    std::map<int, std::string> by_slot;
    for (UINT i = 0; i < TypeAttr(type.Get())->cFuncs; ++i) {
        const FuncDesc func(type.Get(), i);
        const char* prefix = func->invkind == INVOKE_PROPERTYGET   ? "get_"
                             : func->invkind == INVOKE_PROPERTYPUT ? "put_"
                                                                   : "";
        by_slot[func->oVft / kSlot] = prefix + MemberName(type.Get(), func->memid);
    }
    EXPECT_EQ(by_slot[4], "put_DetectorType");
    EXPECT_EQ(by_slot[12], "get_VerticalScale");
    EXPECT_EQ(by_slot[13], "put_VerticalScale");
}

}  // namespace
}  // namespace tevo::com::typelib::testing
