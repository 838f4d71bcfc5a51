// ITypeInfo over the generated libraries and over libraries built for the test: type
// attributes, function and variable descriptions with their type chains, names, ids,
// documentation, implemented types and the argument checks.
#include <gtest/gtest.h>

#include <tevo/Tevo.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tevo/idl/typelib_format.h"
#include "tevo/testing/temp_dir.h"
#include "typelib_test_support.h"

namespace tevo::com::typelib::testing {
namespace {

constexpr int kSlot = sizeof(void*);

class DriverTypes : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = LoadGenerated("Tevo.tlb");
        ASSERT_TRUE(library_);
    }
    ComPtr<ITypeInfo> Type(const IID& iid) {
        ComPtr<ITypeInfo> type;
        EXPECT_EQ(library_->GetTypeInfoOfGuid(iid, &type), S_OK);
        return type;
    }

    ComPtr<ITypeLib> library_;
};

TEST_F(DriverTypes, InterfaceAttributes) {
    const ComPtr<ITypeInfo> acquisition = Type(IID_ITevoAcquisition);
    ASSERT_TRUE(acquisition);
    const TypeAttr attr(acquisition.Get());
    EXPECT_EQ(attr->guid, IID_ITevoAcquisition);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attr->lcid, 0x0409u);
    EXPECT_EQ(attr->cFuncs, 11);
    EXPECT_EQ(attr->cVars, 0);
    EXPECT_EQ(attr->cImplTypes, 1);
    EXPECT_EQ(attr->cbSizeVft, 14 * kSlot);
    EXPECT_EQ(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE), 0);
    EXPECT_EQ(attr->memidConstructor, MEMBERID_NIL);

    // ITevo extends IIviDriver: 9 inherited slots and 12 of its own.
    const ComPtr<ITypeInfo> root = Type(IID_ITevo);
    const TypeAttr root_attr(root.Get());
    EXPECT_EQ(root_attr->cFuncs, 12);
    EXPECT_EQ(root_attr->cbSizeVft, 21 * kSlot);
}

TEST_F(DriverTypes, MethodDescriptionWithEnumerationParameters) {
    const ComPtr<ITypeInfo> acquisition = Type(IID_ITevoAcquisition);
    ASSERT_TRUE(acquisition);
    const FuncDesc configure(acquisition.Get(), 0);
    EXPECT_EQ(configure->memid, 0x60010000);
    EXPECT_EQ(configure->invkind, INVOKE_FUNC);
    EXPECT_EQ(configure->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(configure->callconv, CC_STDCALL);
    EXPECT_EQ(configure->oVft, 3 * kSlot);
    EXPECT_EQ(configure->cParamsOpt, 0);
    EXPECT_EQ(configure->cScodes, 0);
    EXPECT_EQ(configure->elemdescFunc.tdesc.vt, VT_HRESULT);
    ASSERT_EQ(configure->cParams, 5);
    const VARTYPE expected[] = {VT_BOOL, VT_I4, VT_BOOL, VT_USERDEFINED, VT_USERDEFINED};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(configure.Param(i).tdesc.vt, expected[i]) << i;
        EXPECT_EQ(configure.Param(i).paramdesc.wParamFlags, PARAMFLAG_FIN) << i;
        EXPECT_EQ(configure.Param(i).paramdesc.pparamdescex, nullptr) << i;
    }
    const ComPtr<ITypeInfo> detector =
        RefType(acquisition.Get(), configure.Param(3).tdesc.hreftype);
    ASSERT_TRUE(detector);
    EXPECT_EQ(TypeName(detector.Get()), "TevoDetectorTypeEnum");
    EXPECT_EQ(TypeAttr(detector.Get())->typekind, TKIND_ENUM);
    EXPECT_EQ(TypeName(RefType(acquisition.Get(), configure.Param(4).tdesc.hreftype).Get()),
              "TevoVerticalScaleEnum");
}

TEST_F(DriverTypes, PropertyAccessorsShareTheirIdAndKeepTheirSlotOrder) {
    const ComPtr<ITypeInfo> acquisition = Type(IID_ITevoAcquisition);
    ASSERT_TRUE(acquisition);
    // DetectorType: the put accessor comes first (slot 4), the get accessor second.
    const FuncDesc put(acquisition.Get(), 1);
    const FuncDesc get(acquisition.Get(), 2);
    EXPECT_EQ(put->invkind, INVOKE_PROPERTYPUT);
    EXPECT_EQ(get->invkind, INVOKE_PROPERTYGET);
    EXPECT_EQ(put->memid, 0x60010001);
    EXPECT_EQ(get->memid, 0x60010001);
    EXPECT_EQ(put->oVft, 4 * kSlot);
    EXPECT_EQ(get->oVft, 5 * kSlot);
    ASSERT_EQ(put->cParams, 1);
    EXPECT_EQ(put.Param(0).tdesc.vt, VT_USERDEFINED);
    EXPECT_EQ(put.Param(0).paramdesc.wParamFlags, PARAMFLAG_FIN);
    ASSERT_EQ(get->cParams, 1);
    EXPECT_EQ(get.Param(0).paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    ASSERT_EQ(get.Param(0).tdesc.vt, VT_PTR);
    ASSERT_EQ(get.Param(0).tdesc.lptdesc->vt, VT_USERDEFINED);
    EXPECT_EQ(TypeName(RefType(acquisition.Get(), get.Param(0).tdesc.lptdesc->hreftype).Get()),
              "TevoDetectorTypeEnum");

    // VerticalScale: get at slot 12, put at slot 13, id from the first of them (slot 12).
    const int get_index = FuncIndex(acquisition.Get(), "VerticalScale", INVOKE_PROPERTYGET);
    const int put_index = FuncIndex(acquisition.Get(), "VerticalScale", INVOKE_PROPERTYPUT);
    ASSERT_GE(get_index, 0);
    ASSERT_GE(put_index, 0);
    EXPECT_EQ(FuncDesc(acquisition.Get(), get_index)->oVft, 12 * kSlot);
    EXPECT_EQ(FuncDesc(acquisition.Get(), put_index)->oVft, 13 * kSlot);
    EXPECT_EQ(FuncDesc(acquisition.Get(), put_index)->memid, 0x60010009);
}

TEST_F(DriverTypes, PointerChainsToInterfacesAndBytes) {
    // ITevo::Acquisition: [out, retval] ITevoAcquisition** is VT_PTR -> VT_PTR -> the type.
    const ComPtr<ITypeInfo> root = Type(IID_ITevo);
    ASSERT_TRUE(root);
    const FuncDesc acquisition(root.Get(), 0);
    EXPECT_EQ(acquisition->memid, 0x60020000);
    EXPECT_EQ(acquisition->oVft, 9 * kSlot);
    const TYPEDESC& outer = acquisition.Param(0).tdesc;
    ASSERT_EQ(outer.vt, VT_PTR);
    ASSERT_EQ(outer.lptdesc->vt, VT_PTR);
    ASSERT_EQ(outer.lptdesc->lptdesc->vt, VT_USERDEFINED);
    const ComPtr<ITypeInfo> target = RefType(root.Get(), outer.lptdesc->lptdesc->hreftype);
    EXPECT_EQ(TypeAttr(target.Get())->guid, IID_ITevoAcquisition);

    // ITevoInstrumentIO::Read: [in] long Count, [out, retval] unsigned char* pResponse.
    const ComPtr<ITypeInfo> io = Type(IID_ITevoInstrumentIO);
    const int read = FuncIndex(io.Get(), "Read");
    ASSERT_GE(read, 0);
    const FuncDesc desc(io.Get(), read);
    ASSERT_EQ(desc->cParams, 2);
    EXPECT_EQ(desc.Param(0).tdesc.vt, VT_I4);
    ASSERT_EQ(desc.Param(1).tdesc.vt, VT_PTR);
    EXPECT_EQ(desc.Param(1).tdesc.lptdesc->vt, VT_UI1);
}

TEST(TypeInfo, SafeArrayAndOptionalParameters) {
    const ComPtr<ITypeLib> specan = LoadGenerated("IviSpecAnTypeLib.tlb");
    ASSERT_TRUE(specan);
    ComPtr<ITypeInfo> trace;
    ASSERT_EQ(specan->GetTypeInfoOfGuid(IID_IIviSpecAnTrace, &trace), S_OK);
    // FetchY([in, out] SAFEARRAY(double)* Amplitude): VT_PTR -> VT_SAFEARRAY -> VT_R8.
    const int fetch = FuncIndex(trace.Get(), "FetchY");
    ASSERT_GE(fetch, 0);
    const FuncDesc desc(trace.Get(), fetch);
    ASSERT_EQ(desc->cParams, 1);
    EXPECT_EQ(desc.Param(0).paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOUT);
    const TYPEDESC& amplitude = desc.Param(0).tdesc;
    ASSERT_EQ(amplitude.vt, VT_PTR);
    ASSERT_EQ(amplitude.lptdesc->vt, VT_SAFEARRAY);
    EXPECT_EQ(amplitude.lptdesc->lptdesc->vt, VT_R8);

    // IIviDriver::Initialize(..., [in, optional] BSTR OptionString).
    const ComPtr<ITypeLib> driver = LoadGenerated("IviDriverTypeLib.tlb");
    ComPtr<ITypeInfo> root;
    ASSERT_EQ(driver->GetTypeInfoOfGuid(IID_IIviDriver, &root), S_OK);
    const FuncDesc initialize(root.Get(), FuncIndex(root.Get(), "Initialize"));
    ASSERT_EQ(initialize->cParams, 4);
    EXPECT_EQ(initialize.Param(3).tdesc.vt, VT_BSTR);
    EXPECT_EQ(initialize.Param(3).paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT);
}

TEST_F(DriverTypes, EnumerationMembersAreConstants) {
    const ComPtr<ITypeInfo> detector = TypeNamed(library_.Get(), "TevoDetectorTypeEnum");
    ASSERT_TRUE(detector);
    const TypeAttr attr(detector.Get());
    EXPECT_EQ(attr->typekind, TKIND_ENUM);
    ASSERT_EQ(attr->cVars, 6);
    EXPECT_EQ(attr->cFuncs, 0);
    const char* names[] = {"TevoDetectorTypeAutoPeak", "TevoDetectorTypeAverage",
                           "TevoDetectorTypeMaxPeak",  "TevoDetectorTypeMinPeak",
                           "TevoDetectorTypeSample",   "TevoDetectorTypeRMS"};
    for (UINT i = 0; i < 6; ++i) {
        const VarDesc var(detector.Get(), i);
        EXPECT_EQ(var->varkind, VAR_CONST);
        EXPECT_EQ(var->elemdescVar.tdesc.vt, VT_I4);
        ASSERT_NE(var->lpvarValue, nullptr);
        EXPECT_EQ(var->lpvarValue->vt, VT_I4);
        EXPECT_EQ(var->lpvarValue->lVal, static_cast<LONG>(i + 1));
        EXPECT_EQ(MemberName(detector.Get(), var->memid), names[i]);
    }
    Bstr doc;
    ASSERT_EQ(detector->GetDocumentation(VarDesc(detector.Get(), 5)->memid, nullptr, &doc, nullptr,
                                         nullptr),
              S_OK);
    EXPECT_EQ(doc.ToUtf8(),
              "RMS value of samples taken within the bin for a dedicated point on the display.");

    // The result codes keep their 32-bit values, failure bit included.
    const ComPtr<ITypeInfo> codes = TypeNamed(library_.Get(), "TevoErrorCodesEnumErrorEnum");
    bool found = false;
    for (UINT i = 0; i < TypeAttr(codes.Get())->cVars; ++i) {
        const VarDesc var(codes.Get(), i);
        if (MemberName(codes.Get(), var->memid) == "S_TEVO_MEASURE_UNCALIBRATED") {
            EXPECT_EQ(static_cast<ULONG>(var->lpvarValue->lVal), 0x80040210u);
            found = true;
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(DriverTypes, NamesOfMembers) {
    const ComPtr<ITypeInfo> acquisition = Type(IID_ITevoAcquisition);
    ASSERT_TRUE(acquisition);
    BSTR names[8] = {};
    UINT count = 0;
    ASSERT_EQ(acquisition->GetNames(0x60010000, names, 8, &count), S_OK);
    std::vector<std::string> got;
    for (UINT i = 0; i < count; ++i) {
        got.push_back(Bstr::Adopt(names[i]).ToUtf8());
    }
    EXPECT_EQ(got, (std::vector<std::string>{"Configure", "SweepModeContinuous", "NumberOfSweeps",
                                             "DetectorTypeAuto", "DetectorType", "VerticalScale"}));

    // At most cMaxNames names.
    ASSERT_EQ(acquisition->GetNames(0x60010000, names, 2, &count), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Bstr::Adopt(names[0]).ToUtf8(), "Configure");
    EXPECT_EQ(Bstr::Adopt(names[1]).ToUtf8(), "SweepModeContinuous");

    // DetectorType's first accessor is the put: its value parameter has no name, so only
    // the property's name comes back.
    ASSERT_EQ(acquisition->GetNames(0x60010001, names, 8, &count), S_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(Bstr::Adopt(names[0]).ToUtf8(), "DetectorType");

    // ITevoService.Enabled is write-only.
    const ComPtr<ITypeInfo> service = Type(IID_ITevoService);
    const int enabled = FuncIndex(service.Get(), "Enabled", INVOKE_PROPERTYPUT);
    ASSERT_GE(enabled, 0);
    ASSERT_EQ(service->GetNames(FuncDesc(service.Get(), enabled)->memid, names, 8, &count), S_OK);
    ASSERT_EQ(count, 1u);
    Bstr::Adopt(names[0]);

    // Members of the base interface are named through the derived one (IIviDriver's
    // Initialize through ITevo, across the imported library).
    const ComPtr<ITypeInfo> root = Type(IID_ITevo);
    ASSERT_EQ(root->GetNames(0x60010003, names, 8, &count), S_OK);
    ASSERT_EQ(count, 5u);
    EXPECT_EQ(Bstr::Adopt(names[0]).ToUtf8(), "Initialize");
    for (UINT i = 1; i < count; ++i) {
        Bstr::Adopt(names[i]);
    }
    EXPECT_EQ(root->GetNames(0x60030000, names, 8, &count), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(root->GetNames(0x60020000, names, 8, nullptr), E_INVALIDARG);
    EXPECT_EQ(root->GetNames(0x60020000, nullptr, 1, &count), E_INVALIDARG);
    // With no room the count is 0 and nothing is allocated.
    EXPECT_EQ(root->GetNames(0x60020000, nullptr, 0, &count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(DriverTypes, IdsOfNames) {
    const ComPtr<ITypeInfo> acquisition = Type(IID_ITevoAcquisition);
    ASSERT_TRUE(acquisition);
    wchar_t configure[] = L"configure";
    wchar_t sweeps[] = L"NUMBEROFSWEEPS";
    wchar_t scale[] = L"VerticalScale";
    wchar_t unknown[] = L"Bogus";
    LPOLESTR names[] = {configure, sweeps, scale, unknown};
    MEMBERID ids[4] = {};
    EXPECT_EQ(acquisition->GetIDsOfNames(names, 3, ids), S_OK);
    EXPECT_EQ(ids[0], 0x60010000);
    EXPECT_EQ(ids[1], 1);  // parameters get their positions
    EXPECT_EQ(ids[2], 4);
    EXPECT_EQ(acquisition->GetIDsOfNames(names, 4, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 0x60010000);
    EXPECT_EQ(ids[3], MEMBERID_NIL);

    LPOLESTR property[] = {scale};
    ASSERT_EQ(acquisition->GetIDsOfNames(property, 1, ids), S_OK);
    EXPECT_EQ(ids[0], 0x60010009);
    LPOLESTR missing[] = {unknown};
    EXPECT_EQ(acquisition->GetIDsOfNames(missing, 1, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], MEMBERID_NIL);

    // Through the base interfaces: IUnknown's Release via ITevo -> IIviDriver -> IUnknown.
    const ComPtr<ITypeInfo> root = Type(IID_ITevo);
    wchar_t release[] = L"Release";
    wchar_t close[] = L"Close";
    LPOLESTR inherited[] = {release};
    ASSERT_EQ(root->GetIDsOfNames(inherited, 1, ids), S_OK);
    EXPECT_EQ(ids[0], 0x60000002);
    inherited[0] = close;
    ASSERT_EQ(root->GetIDsOfNames(inherited, 1, ids), S_OK);
    EXPECT_EQ(MemberName(root.Get(), ids[0]), "Close");

    EXPECT_EQ(root->GetIDsOfNames(nullptr, 1, ids), E_INVALIDARG);
    EXPECT_EQ(root->GetIDsOfNames(inherited, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(root->GetIDsOfNames(inherited, 0, ids), E_INVALIDARG);
}

TEST_F(DriverTypes, Documentation) {
    const ComPtr<ITypeInfo> acquisition = Type(IID_ITevoAcquisition);
    ASSERT_TRUE(acquisition);
    Bstr name;
    Bstr doc;
    Bstr help_file;
    DWORD context = 0;
    ASSERT_EQ(acquisition->GetDocumentation(MEMBERID_NIL, &name, &doc, &context, &help_file), S_OK);
    EXPECT_EQ(name.ToUtf8(), "ITevoAcquisition");
    EXPECT_EQ(doc.ToUtf8(), "Instrument specific acquisition interface");
    EXPECT_EQ(context, 1140u);
    EXPECT_EQ(help_file.ToUtf8(), "Tevo.chm");

    ASSERT_EQ(acquisition->GetDocumentation(0x60010000, &name, &doc, &context, &help_file), S_OK);
    EXPECT_EQ(name.ToUtf8(), "Configure");
    EXPECT_EQ(doc.ToUtf8(),
              "This function configures the acquisition attributes of the spectrum analyzer.");
    EXPECT_EQ(context, 1150u);
    EXPECT_EQ(help_file.ToUtf8(), "Tevo.chm");

    // An inherited member is documented by its own library.
    const ComPtr<ITypeInfo> root = Type(IID_ITevo);
    ASSERT_EQ(root->GetDocumentation(0x60010003, &name, nullptr, nullptr, &help_file), S_OK);
    EXPECT_EQ(name.ToUtf8(), "Initialize");
    EXPECT_EQ(help_file.ToUtf8(), "IviDriver.chm");

    EXPECT_EQ(acquisition->GetDocumentation(0x12345, &name, &doc, &context, &help_file),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(name.Get(), nullptr);
    EXPECT_EQ(help_file.Get(), nullptr);
}

TEST_F(DriverTypes, CoclassesAndTheirInterfaces) {
    const ComPtr<ITypeInfo> coclass = TypeNamed(library_.Get(), "Tevo");
    ASSERT_TRUE(coclass);
    const TypeAttr attr(coclass.Get());
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->guid, CLSID_Tevo);
    EXPECT_EQ(attr->wTypeFlags & TYPEFLAG_FCANCREATE, TYPEFLAG_FCANCREATE);
    ASSERT_EQ(attr->cImplTypes, 44);

    std::vector<std::string> names;
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        HREFTYPE href = 0;
        ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &href), S_OK);
        INT flags = -1;
        ASSERT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
        EXPECT_EQ(flags, i == 0 ? IMPLTYPEFLAG_FDEFAULT : 0) << i;
        const ComPtr<ITypeInfo> implemented = RefType(coclass.Get(), href);
        ASSERT_TRUE(implemented) << i;
        names.push_back(TypeName(implemented.Get()));
    }
    EXPECT_EQ(names.front(), "ITevo");
    // The imported ones come from their own libraries, the tracing runtime's among them.
    EXPECT_EQ(std::count(names.begin(), names.end(), "IIviSpecAnTriggerVideo"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "IMessageProvider"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "IIviSpecAnTrace"), 0);

    const ComPtr<ITypeInfo> item = TypeNamed(library_.Get(), "TevoTrace");
    const TypeAttr item_attr(item.Get());
    EXPECT_EQ(item_attr->wTypeFlags & (TYPEFLAG_FHIDDEN | TYPEFLAG_FCANCREATE), TYPEFLAG_FHIDDEN);
    EXPECT_EQ(item_attr->cImplTypes, 1);

    HREFTYPE href = 0;
    INT flags = 0;
    EXPECT_EQ(coclass->GetRefTypeOfImplType(44, &href), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(coclass->GetImplTypeFlags(44, &flags), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(coclass->GetRefTypeOfImplType(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(coclass->GetImplTypeFlags(0, nullptr), E_INVALIDARG);

    // The class is not registered in this fresh root: creation goes through the registry.
    ComPtr<IUnknown> object;
    EXPECT_EQ(coclass->CreateInstance(nullptr, IID_IUnknown, object.ReleaseAndGetVoidAddressOf()),
              REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(object);
}

TEST_F(DriverTypes, RefusesBadIndexesAndPointersAndUnsupportedCalls) {
    const ComPtr<ITypeInfo> acquisition = Type(IID_ITevoAcquisition);
    ASSERT_TRUE(acquisition);
    FUNCDESC* func = nullptr;
    VARDESC* var = nullptr;
    EXPECT_EQ(acquisition->GetFuncDesc(11, &func), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(func, nullptr);
    EXPECT_EQ(acquisition->GetFuncDesc(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(acquisition->GetVarDesc(0, &var), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(acquisition->GetVarDesc(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(acquisition->GetTypeAttr(nullptr), E_INVALIDARG);
    EXPECT_EQ(acquisition->GetRefTypeInfo(0, nullptr), E_INVALIDARG);
    ComPtr<ITypeInfo> type;
    EXPECT_EQ(acquisition->GetRefTypeInfo(0xFFFFFFF0u, &type), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(acquisition->GetRefTypeInfo(0xFFFFFFF1u, &type), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_FALSE(type);
    EXPECT_EQ(acquisition->GetContainingTypeLib(nullptr, nullptr), E_INVALIDARG);
    UINT index = 0;
    EXPECT_EQ(acquisition->GetContainingTypeLib(nullptr, &index), S_OK);

    // Binding and calling need their out-pointer and an instance with arguments; what no
    // type here has follows.
    EXPECT_EQ(acquisition->GetTypeComp(nullptr), E_INVALIDARG);
    EXPECT_EQ(acquisition->Invoke(nullptr, 0x60010000, DISPATCH_METHOD, nullptr, nullptr, nullptr,
                                  nullptr),
              E_INVALIDARG);
    // Out-pointers are cleared (a sentinel stands for what a caller left in them).
    auto* sentinel = reinterpret_cast<BSTR>(std::uintptr_t{0x10});
    BSTR dll = sentinel;
    BSTR entry = sentinel;
    WORD ordinal = 7;
    EXPECT_EQ(acquisition->GetDllEntry(0x60010000, INVOKE_FUNC, &dll, &entry, &ordinal),
              TYPE_E_BADMODULEKIND);
    EXPECT_EQ(dll, nullptr);
    EXPECT_EQ(entry, nullptr);
    EXPECT_EQ(ordinal, 0);
    void* address = &ordinal;
    EXPECT_EQ(acquisition->AddressOfMember(0x60010000, INVOKE_FUNC, &address),
              TYPE_E_BADMODULEKIND);
    EXPECT_EQ(address, nullptr);
    BSTR mops = sentinel;
    EXPECT_EQ(acquisition->GetMops(0x60010000, &mops), S_OK);
    EXPECT_EQ(mops, nullptr);
    EXPECT_EQ(acquisition->GetMops(0x60010000, nullptr), E_INVALIDARG);
    void* object = &ordinal;
    EXPECT_EQ(acquisition->CreateInstance(nullptr, IID_IUnknown, &object), TYPE_E_WRONGTYPEKIND);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(acquisition->CreateInstance(nullptr, IID_IUnknown, nullptr), E_INVALIDARG);

    // Releasing null descriptions does nothing.
    acquisition->ReleaseFuncDesc(nullptr);
    acquisition->ReleaseVarDesc(nullptr);
    acquisition->ReleaseTypeAttr(nullptr);
}

TEST(TypeInfo, ReferenceCountIsTheLibrarys) {
    ComPtr<ITypeInfo> type;
    {
        const ComPtr<ITypeLib> library = LoadGenerated("TraceRuntime.tlb");
        ASSERT_TRUE(library);
        ASSERT_EQ(library->GetTypeInfo(0, &type), S_OK);
    }
    // The description keeps its library alive.
    ComPtr<ITypeLib> container;
    ASSERT_EQ(type->GetContainingTypeLib(&container, nullptr), S_OK);
    ComPtr<ITypeInfo> again;
    ASSERT_EQ(container->GetTypeInfo(0, &again), S_OK);
    EXPECT_EQ(again.Get(), type.Get());
    // QueryInterface keeps the description's identity.
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(type->QueryInterface(IID_IUnknown, unknown.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(type.Get()));
    ComPtr<ITypeLib> not_a_library;
    EXPECT_EQ(type->QueryInterface(IID_ITypeLib, not_a_library.ReleaseAndGetVoidAddressOf()),
              E_NOINTERFACE);
}

// A library with what the generated ones lack: default values and constants of other types.
tevo::idl::Library LibraryWithDefaults() {
    idl::Library lib;
    lib.name = "DefaultsLib";
    idl::ParseGuid("{6A0F3C1E-0A3B-4C61-9A25-1D2E3F405162}", lib.libid);
    lib.major_version = 1;

    idl::TypeInfo itf;
    itf.name = "IDefaults";
    idl::ParseGuid("{6A0F3C1E-0A3B-4C61-9A25-1D2E3F405163}", itf.guid);
    itf.kind = idl::TypeKind::kInterface;
    itf.vtable_size = 4 * idl::kPointerSize;
    idl::Func open;
    open.member_id = 0x60000000;
    open.name = "Open";
    open.vtable_offset = 3 * idl::kPointerSize;
    open.return_type = idl::TypeDesc::Of(idl::VarType::kHresult);
    idl::Param mode;
    mode.name = "Mode";
    mode.flags = idl::kParamIn | idl::kParamOptional | idl::kParamHasDefault;
    mode.type = idl::TypeDesc::Of(idl::VarType::kBstr);
    mode.default_value = idl::Value{idl::VarType::kBstr, 0, 0, "read only"};
    idl::Param level;
    level.name = "Level";
    level.flags = idl::kParamIn | idl::kParamHasDefault;
    level.type = idl::TypeDesc::Of(idl::VarType::kR8);
    level.default_value = idl::Value{idl::VarType::kR8, 0, -2.5, {}};
    idl::Param plain;
    plain.name = "Plain";
    plain.flags = idl::kParamIn;
    plain.type = idl::TypeDesc::Of(idl::VarType::kI4);
    open.params = {mode, level, plain};
    open.optional_param_count = 1;
    itf.funcs.push_back(open);
    lib.types.push_back(itf);

    idl::TypeInfo constants;
    constants.name = "Constants";
    constants.kind = idl::TypeKind::kEnum;
    idl::Var text;
    text.member_id = 0x40000000;
    text.name = "Greeting";
    text.type = idl::TypeDesc::Of(idl::VarType::kBstr);
    text.value = idl::Value{idl::VarType::kBstr, 0, 0, "Grüße"};
    idl::Var number;
    number.member_id = 0x40000001;
    number.name = "Big";
    number.type = idl::TypeDesc::Of(idl::VarType::kI8);
    number.value = idl::Value{idl::VarType::kI8, -5000000000, 0, {}};
    constants.vars = {text, number};
    lib.types.push_back(constants);
    return lib;
}

TEST(TypeInfo, DefaultValuesAndConstantsOfOtherTypes) {
    const tevo::testing::TempDir dir;
    std::string error;
    ASSERT_TRUE(
        tevo::idl::WriteTypeLibFile((dir / "defaults.tlb").string(), LibraryWithDefaults(), error))
        << error;
    const ComPtr<ITypeLib> library = Load(dir / "defaults.tlb");
    ASSERT_TRUE(library);

    const ComPtr<ITypeInfo> itf = TypeNamed(library.Get(), "IDefaults");
    const FuncDesc open(itf.Get(), 0);
    ASSERT_EQ(open->cParams, 3);
    EXPECT_EQ(open->cParamsOpt, 1);
    const PARAMDESC& mode = open.Param(0).paramdesc;
    EXPECT_EQ(mode.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
    ASSERT_NE(mode.pparamdescex, nullptr);
    EXPECT_EQ(mode.pparamdescex->cBytes, sizeof(PARAMDESCEX));
    ASSERT_EQ(mode.pparamdescex->varDefaultValue.vt, VT_BSTR);
    EXPECT_EQ(BstrView(mode.pparamdescex->varDefaultValue.bstrVal), L"read only");
    const PARAMDESC& level = open.Param(1).paramdesc;
    ASSERT_NE(level.pparamdescex, nullptr);
    ASSERT_EQ(level.pparamdescex->varDefaultValue.vt, VT_R8);
    EXPECT_EQ(level.pparamdescex->varDefaultValue.dblVal, -2.5);
    EXPECT_EQ(open.Param(2).paramdesc.pparamdescex, nullptr);

    const ComPtr<ITypeInfo> constants = TypeNamed(library.Get(), "Constants");
    const VarDesc greeting(constants.Get(), 0);
    ASSERT_EQ(greeting->lpvarValue->vt, VT_BSTR);
    EXPECT_EQ(BstrView(greeting->lpvarValue->bstrVal), L"Grüße");
    EXPECT_EQ(greeting->elemdescVar.tdesc.vt, VT_BSTR);
    const VarDesc big(constants.Get(), 1);
    ASSERT_EQ(big->lpvarValue->vt, VT_I8);
    EXPECT_EQ(big->lpvarValue->llVal, -5000000000);

    // No base interface: names that are not its own are not found anywhere.
    wchar_t release[] = L"Release";
    LPOLESTR names[] = {release};
    MEMBERID id = 0;
    EXPECT_EQ(itf->GetIDsOfNames(names, 1, &id), DISP_E_UNKNOWNNAME);
    HREFTYPE href = 0;
    EXPECT_EQ(itf->GetRefTypeOfImplType(0, &href), TYPE_E_ELEMENTNOTFOUND);
}

}  // namespace
}  // namespace tevo::com::typelib::testing
