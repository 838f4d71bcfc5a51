// The interfaces must have the Windows vtable layout, since objects cross module borders
// (and the IDL compiler's headers) by slot number, not by name.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "tevo/com/classinfo.h"
#include "tevo/com/dispatch.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/guid.h"
#include "tevo/com/typeinfo.h"
#include "tevo/com/unknown.h"

namespace {

// The vtable slot of a virtual member function. In the Itanium C++ ABI a pointer to a
// virtual member function holds 1 + the byte offset of its vtable entry.
template <class Member>
std::ptrdiff_t SlotOf(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(void*));
    std::ptrdiff_t raw = 0;
    std::memcpy(&raw, &member, sizeof(raw));
    EXPECT_EQ(raw % static_cast<std::ptrdiff_t>(sizeof(void*)), 1) << "not a virtual function";
    return (raw - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(InterfaceLayout, UnknownAndClassFactory) {
    EXPECT_EQ(SlotOf(&IUnknown::QueryInterface), 0);
    EXPECT_EQ(SlotOf(&IUnknown::AddRef), 1);
    EXPECT_EQ(SlotOf(&IUnknown::Release), 2);
    EXPECT_EQ(SlotOf(&IClassFactory::CreateInstance), 3);
    EXPECT_EQ(SlotOf(&IClassFactory::LockServer), 4);
    EXPECT_EQ(sizeof(IClassFactory), sizeof(void*));  // a vtable pointer and nothing else
}

TEST(InterfaceLayout, DispatchAndTypeInformation) {
    EXPECT_EQ(SlotOf(&IDispatch::GetTypeInfoCount), 3);
    EXPECT_EQ(SlotOf(&IDispatch::GetTypeInfo), 4);
    EXPECT_EQ(SlotOf(&IDispatch::GetIDsOfNames), 5);
    EXPECT_EQ(SlotOf(&IDispatch::Invoke), 6);

    EXPECT_EQ(SlotOf(&ITypeInfo::GetTypeAttr), 3);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetTypeComp), 4);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetFuncDesc), 5);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetVarDesc), 6);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetNames), 7);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetRefTypeOfImplType), 8);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetImplTypeFlags), 9);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetIDsOfNames), 10);
    EXPECT_EQ(SlotOf(&ITypeInfo::Invoke), 11);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetDocumentation), 12);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetDllEntry), 13);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetRefTypeInfo), 14);
    EXPECT_EQ(SlotOf(&ITypeInfo::AddressOfMember), 15);
    EXPECT_EQ(SlotOf(&ITypeInfo::CreateInstance), 16);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetMops), 17);
    EXPECT_EQ(SlotOf(&ITypeInfo::GetContainingTypeLib), 18);
    EXPECT_EQ(SlotOf(&ITypeInfo::ReleaseTypeAttr), 19);
    EXPECT_EQ(SlotOf(&ITypeInfo::ReleaseFuncDesc), 20);
    EXPECT_EQ(SlotOf(&ITypeInfo::ReleaseVarDesc), 21);

    EXPECT_EQ(SlotOf(&ITypeLib::GetTypeInfoCount), 3);
    EXPECT_EQ(SlotOf(&ITypeLib::GetTypeInfo), 4);
    EXPECT_EQ(SlotOf(&ITypeLib::GetTypeInfoType), 5);
    EXPECT_EQ(SlotOf(&ITypeLib::GetTypeInfoOfGuid), 6);
    EXPECT_EQ(SlotOf(&ITypeLib::GetLibAttr), 7);
    EXPECT_EQ(SlotOf(&ITypeLib::GetTypeComp), 8);
    EXPECT_EQ(SlotOf(&ITypeLib::GetDocumentation), 9);
    EXPECT_EQ(SlotOf(&ITypeLib::IsName), 10);
    EXPECT_EQ(SlotOf(&ITypeLib::FindName), 11);
    EXPECT_EQ(SlotOf(&ITypeLib::ReleaseTLibAttr), 12);

    EXPECT_EQ(SlotOf(&ITypeComp::Bind), 3);
    EXPECT_EQ(SlotOf(&ITypeComp::BindType), 4);
}

TEST(InterfaceLayout, ErrorAndClassInformation) {
    EXPECT_EQ(SlotOf(&IErrorInfo::GetGUID), 3);
    EXPECT_EQ(SlotOf(&IErrorInfo::GetSource), 4);
    EXPECT_EQ(SlotOf(&IErrorInfo::GetDescription), 5);
    EXPECT_EQ(SlotOf(&IErrorInfo::GetHelpFile), 6);
    EXPECT_EQ(SlotOf(&IErrorInfo::GetHelpContext), 7);
    EXPECT_EQ(SlotOf(&ICreateErrorInfo::SetGUID), 3);
    EXPECT_EQ(SlotOf(&ICreateErrorInfo::SetSource), 4);
    EXPECT_EQ(SlotOf(&ICreateErrorInfo::SetDescription), 5);
    EXPECT_EQ(SlotOf(&ICreateErrorInfo::SetHelpFile), 6);
    EXPECT_EQ(SlotOf(&ICreateErrorInfo::SetHelpContext), 7);
    EXPECT_EQ(SlotOf(&ISupportErrorInfo::InterfaceSupportsErrorInfo), 3);
    EXPECT_EQ(SlotOf(&IProvideClassInfo::GetClassInfo), 3);
    EXPECT_EQ(SlotOf(&IProvideClassInfo2::GetGUID), 4);
}

TEST(InterfaceLayout, InterfaceIdentifiersHaveTheirRegisteredValues) {
    const struct {
        const IID& iid;
        const char* text;
    } cases[] = {
        {IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"},
        {IID_IClassFactory, "{00000001-0000-0000-C000-000000000046}"},
        {IID_IDispatch, "{00020400-0000-0000-C000-000000000046}"},
        {IID_ITypeInfo, "{00020401-0000-0000-C000-000000000046}"},
        {IID_ITypeLib, "{00020402-0000-0000-C000-000000000046}"},
        {IID_ITypeComp, "{00020403-0000-0000-C000-000000000046}"},
        {IID_IErrorInfo, "{1CF2B120-547D-101B-8E65-08002B2BD119}"},
        {IID_ICreateErrorInfo, "{22F03340-547D-101B-8E65-08002B2BD119}"},
        {IID_ISupportErrorInfo, "{DF0B3D60-548F-101B-8E65-08002B2BD119}"},
        {IID_IProvideClassInfo, "{B196B283-BAB4-101A-B69C-00AA00341D07}"},
        {IID_IProvideClassInfo2, "{A6BC3AC0-DBAA-11CE-9DE3-00AA004BB851}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tevo::com::GuidToUtf8(c.iid), c.text);
    }
    // The IID trait behind ComPtr::As and IID_PPV_ARGS.
    EXPECT_EQ(tevo::com::InterfaceIid<ITypeLib>::value, IID_ITypeLib);
    EXPECT_EQ(tevo::com::InterfaceIid<IProvideClassInfo2>::value, IID_IProvideClassInfo2);
}

TEST(InterfaceLayout, DescriptionStructuresUseWindowsAlignment) {
    // 64-bit Windows layouts: pointers and ULONG_PTR are 8 bytes.
    EXPECT_EQ(sizeof(TYPEDESC), 16u);
    EXPECT_EQ(sizeof(ELEMDESC), 32u);
    EXPECT_EQ(offsetof(FUNCDESC, elemdescFunc), 48u);
    EXPECT_EQ(sizeof(FUNCDESC), 88u);
    EXPECT_EQ(offsetof(TYPEATTR, typekind), 44u);
    EXPECT_EQ(offsetof(DISPPARAMS, cArgs), 16u);
    EXPECT_EQ(sizeof(TLIBATTR), 32u);
}

}  // namespace
