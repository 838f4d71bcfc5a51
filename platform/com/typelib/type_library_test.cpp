// ITypeLib over the generated libraries: attributes, documentation, type lookup, names.
#include <gtest/gtest.h>

#include <tevo/Tevo.h>

#include <cstdint>
#include <string>

#include "typelib_test_support.h"

namespace tevo::com::typelib::testing {
namespace {

TEST(TypeLibrary, DescribesTheIviDriverLibrary) {
    const ComPtr<ITypeLib> library = LoadGenerated("IviDriverTypeLib.tlb");
    ASSERT_TRUE(library);

    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_IviDriverLib);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->wLibFlags, LIBFLAG_FHASDISKIMAGE);
    library->ReleaseTLibAttr(attr);

    Bstr name;
    Bstr doc;
    Bstr help_file;
    DWORD context = 99;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &doc, &context, &help_file), S_OK);
    EXPECT_EQ(name.ToUtf8(), "IviDriverLib");
    EXPECT_EQ(doc.ToUtf8(), "IviDriver 1.0 Type Library");
    EXPECT_EQ(help_file.ToUtf8(), "IviDriver.chm");
    EXPECT_EQ(context, 0u);

    // Six interfaces and the result-code enumeration.
    ASSERT_EQ(library->GetTypeInfoCount(), 7u);
    int interfaces = 0;
    int enums = 0;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind = TKIND_MAX;
        ASSERT_EQ(library->GetTypeInfoType(i, &kind), S_OK);
        interfaces += kind == TKIND_INTERFACE ? 1 : 0;
        enums += kind == TKIND_ENUM ? 1 : 0;
    }
    EXPECT_EQ(interfaces, 6);
    EXPECT_EQ(enums, 1);

    // A type's documentation through the library names the library's help file.
    ComPtr<ITypeInfo> driver;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IIviDriver, &driver), S_OK);
    UINT index = 99;
    ComPtr<ITypeLib> container;
    ASSERT_EQ(driver->GetContainingTypeLib(&container, &index), S_OK);
    EXPECT_EQ(container.Get(), library.Get());
    ASSERT_EQ(
        library->GetDocumentation(static_cast<INT>(index), &name, nullptr, nullptr, &help_file),
        S_OK);
    EXPECT_EQ(name.ToUtf8(), "IIviDriver");
    EXPECT_EQ(help_file.ToUtf8(), "IviDriver.chm");
}

TEST(TypeLibrary, DescribesTheDriverLibrary) {
    const ComPtr<ITypeLib> library = LoadGenerated("Tevo.tlb");
    ASSERT_TRUE(library);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_Tevo_ValdacorLib);
    EXPECT_EQ(attr->lcid, 0x0409u);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
    library->ReleaseTLibAttr(attr);

    Bstr name;
    Bstr doc;
    Bstr help_file;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &doc, nullptr, &help_file), S_OK);
    EXPECT_EQ(name.ToUtf8(), "Tevo_ValdacorLib");
    EXPECT_EQ(doc.ToUtf8(), "IVI Tevo (Valdacor) 1.0 Type Library");
    EXPECT_EQ(help_file.ToUtf8(), "Tevo.chm");

    // The main class is found by its class identifier, the others by their names.
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_Tevo, &coclass), S_OK);
    EXPECT_EQ(TypeName(coclass.Get()), "Tevo");
    for (const char* type : {"ITevo", "ITevoAcquisition", "ITevoTriggerVideo",
                             "TevoDetectorTypeEnum", "TevoErrorCodesEnumErrorEnum", "TevoTrace"}) {
        EXPECT_TRUE(TypeNamed(library.Get(), type)) << type;
    }
}

TEST(TypeLibrary, RefusesBadArgumentsAndIndexes) {
    const ComPtr<ITypeLib> library = LoadGenerated("IviDriverTypeLib.tlb");
    ASSERT_TRUE(library);
    const UINT count = library->GetTypeInfoCount();

    ComPtr<ITypeInfo> type;
    EXPECT_EQ(library->GetTypeInfo(count, &type), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_FALSE(type);
    EXPECT_EQ(library->GetTypeInfo(0, nullptr), E_INVALIDARG);
    TYPEKIND kind = TKIND_MAX;
    EXPECT_EQ(library->GetTypeInfoType(count, &kind), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(library->GetTypeInfoType(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_ITevo, &type), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(library->GetTypeInfoOfGuid(GUID_NULL, &type), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IIviDriver, nullptr), E_INVALIDARG);
    EXPECT_EQ(library->GetLibAttr(nullptr), E_INVALIDARG);

    Bstr name;
    EXPECT_EQ(library->GetDocumentation(static_cast<INT>(count), &name, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(library->GetDocumentation(-2, &name, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(name.Get(), nullptr);
    // Every out-pointer of GetDocumentation may be left out.
    EXPECT_EQ(library->GetDocumentation(0, nullptr, nullptr, nullptr, nullptr), S_OK);

    auto* comp = reinterpret_cast<ITypeComp*>(std::uintptr_t{0x10});
    EXPECT_EQ(library->GetTypeComp(&comp), E_NOTIMPL);
    EXPECT_EQ(comp, nullptr);

    BOOL found = TRUE;
    EXPECT_EQ(library->IsName(nullptr, 0, &found), E_INVALIDARG);
    wchar_t buffer[] = L"Close";
    EXPECT_EQ(library->IsName(buffer, 0, nullptr), E_INVALIDARG);
    USHORT wanted = 1;
    MEMBERID memid = 0;
    ITypeInfo* types[1] = {};
    EXPECT_EQ(library->FindName(buffer, 0, nullptr, &memid, &wanted), E_INVALIDARG);
    EXPECT_EQ(library->FindName(buffer, 0, types, nullptr, &wanted), E_INVALIDARG);
    EXPECT_EQ(library->FindName(buffer, 0, types, &memid, nullptr), E_INVALIDARG);
}

TEST(TypeLibrary, IsNameAndFindNameIgnoreCaseAndGiveTheLibrarysSpelling) {
    const ComPtr<ITypeLib> library = LoadGenerated("IviDriverTypeLib.tlb");
    ASSERT_TRUE(library);

    wchar_t member[] = L"INITIALIZE";
    BOOL found = FALSE;
    ASSERT_EQ(library->IsName(member, LHashValOfName(0, member), &found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_STREQ(member, L"Initialize");

    wchar_t type_name[] = L"iividriveroperation";
    ASSERT_EQ(library->IsName(type_name, 0, &found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_STREQ(type_name, L"IIviDriverOperation");

    wchar_t unknown[] = L"NoSuchName";
    ASSERT_EQ(library->IsName(unknown, 0, &found), S_OK);
    EXPECT_FALSE(found);
    EXPECT_STREQ(unknown, L"NoSuchName");

    // A member name: the type that has it and the member's id.
    wchar_t close[] = L"close";
    ITypeInfo* types[4] = {};
    MEMBERID ids[4] = {};
    USHORT count = 4;
    ASSERT_EQ(library->FindName(close, 0, types, ids, &count), S_OK);
    ASSERT_EQ(count, 1);
    const ComPtr<ITypeInfo> owner(types[0]);
    types[0]->Release();
    EXPECT_EQ(TypeName(owner.Get()), "IIviDriver");
    EXPECT_EQ(MemberName(owner.Get(), ids[0]), "Close");
    EXPECT_STREQ(close, L"Close");

    // A type name has the id MEMBERID_NIL; no more entries are filled than asked for.
    wchar_t utility[] = L"IIviDriverUtility";
    count = 0;
    ASSERT_EQ(library->FindName(utility, 0, types, ids, &count), S_OK);
    EXPECT_EQ(count, 0);
    count = 1;
    ASSERT_EQ(library->FindName(utility, 0, types, ids, &count), S_OK);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(ids[0], MEMBERID_NIL);
    EXPECT_EQ(TypeName(types[0]), "IIviDriverUtility");
    types[0]->Release();

    // Only types and members count: "Reset" is also a parameter of Initialize.
    wchar_t reset[] = L"Reset";
    count = 4;
    ASSERT_EQ(library->FindName(reset, 0, types, ids, &count), S_OK);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(TypeName(types[0]), "IIviDriverUtility");
    types[0]->Release();
}

TEST(TypeLibrary, HashOfANameIgnoresLetterCase) {
    EXPECT_EQ(LHashValOfName(0x409, L"VerticalScale"), LHashValOfName(0x409, L"VERTICALSCALE"));
    EXPECT_NE(LHashValOfName(0x409, L"VerticalScale"), LHashValOfName(0x409, L"VerticalScal"));
}

TEST(TypeLibrary, StandardOleLibraryIsBuiltIn) {
    ComPtr<ITypeLib> by_name;
    ASSERT_EQ(LoadTypeLib(L"stdole2.tlb", &by_name), S_OK);
    ComPtr<ITypeLib> by_registration;
    const GUID stdole = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    ASSERT_EQ(LoadRegTypeLib(stdole, 2, 0, 0, &by_registration), S_OK);
    EXPECT_EQ(by_name.Get(), by_registration.Get());

    ComPtr<ITypeInfo> unknown;
    ASSERT_EQ(by_name->GetTypeInfoOfGuid(IID_IUnknown, &unknown), S_OK);
    const TypeAttr attr(unknown.Get());
    EXPECT_EQ(attr->cFuncs, 3);
    EXPECT_EQ(attr->cbSizeVft, 3 * sizeof(void*));
    EXPECT_EQ(MemberName(unknown.Get(), FuncDesc(unknown.Get(), 2)->memid), "Release");
}

}  // namespace
}  // namespace tevo::com::typelib::testing
