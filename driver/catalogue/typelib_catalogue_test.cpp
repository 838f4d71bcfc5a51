// The driver's type library as a client sees it: Tevo.tlb loaded with LoadTypeLib and walked
// through ITypeLib and ITypeInfo, against the catalogue tables. Every own interface and
// enumeration is a test case of its own, so a failure names the interface (or enumeration),
// the slot and the field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "catalogue_tables.h"
#include "tevo/platform.h"

namespace tevo::catalogue {

// Parameterised tests print their parameter on failure: the name says it all.
void PrintTo(const InterfaceRow& row, std::ostream* os) {
    *os << row.name;
}
void PrintTo(const EnumRow& row, std::ostream* os) {
    *os << row.name;
}

namespace {

using com::Bstr;
using com::ComPtr;

constexpr int kSlotSize = 8;  // bytes per vtable slot on this 64-bit platform

// TYPEATTR, FUNCDESC and VARDESC handed back to their type info on scope exit.
class TypeAttr {
  public:
    explicit TypeAttr(ITypeInfo* info) : info_(info) {
        EXPECT_EQ(info_->GetTypeAttr(&attr_), S_OK);
    }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    ~TypeAttr() {
        if (attr_ != nullptr) {
            info_->ReleaseTypeAttr(attr_);
        }
    }
    explicit operator bool() const { return attr_ != nullptr; }
    const TYPEATTR* operator->() const { return attr_; }

  private:
    ITypeInfo* info_;
    TYPEATTR* attr_ = nullptr;
};

class FuncDesc {
  public:
    FuncDesc(ITypeInfo* info, UINT index) : info_(info) {
        EXPECT_EQ(info_->GetFuncDesc(index, &desc_), S_OK);
    }
    FuncDesc(const FuncDesc&) = delete;
    FuncDesc& operator=(const FuncDesc&) = delete;
    ~FuncDesc() {
        if (desc_ != nullptr) {
            info_->ReleaseFuncDesc(desc_);
        }
    }
    explicit operator bool() const { return desc_ != nullptr; }
    const FUNCDESC* operator->() const { return desc_; }

  private:
    ITypeInfo* info_;
    FUNCDESC* desc_ = nullptr;
};

class VarDesc {
  public:
    VarDesc(ITypeInfo* info, UINT index) : info_(info) {
        EXPECT_EQ(info_->GetVarDesc(index, &desc_), S_OK);
    }
    VarDesc(const VarDesc&) = delete;
    VarDesc& operator=(const VarDesc&) = delete;
    ~VarDesc() {
        if (desc_ != nullptr) {
            info_->ReleaseVarDesc(desc_);
        }
    }
    explicit operator bool() const { return desc_ != nullptr; }
    const VARDESC* operator->() const { return desc_; }

  private:
    ITypeInfo* info_;
    VARDESC* desc_ = nullptr;
};

// What GetDocumentation reports for a type (MEMBERID_NIL) or one of its members.
struct Doc {
    HRESULT hr = E_FAIL;
    std::string name;
    bool has_help_string = false;  // a null help string differs from an empty one
    std::string help_string;
    DWORD help_context = 0;
};

Doc Documentation(ITypeInfo* info, MEMBERID memid) {
    Doc doc;
    Bstr name;
    Bstr help;
    doc.hr = info->GetDocumentation(memid, &name, &help, &doc.help_context, nullptr);
    doc.name = name.ToUtf8();
    doc.has_help_string = help.Get() != nullptr;
    doc.help_string = help.ToUtf8();
    return doc;
}

std::string TypeName(ITypeInfo* info) {
    return Documentation(info, MEMBERID_NIL).name;
}

bool IsOwnEnumeration(const std::string& name) {
    const auto& enums = Enumerations();
    return std::any_of(enums.begin(), enums.end(),
                       [&](const EnumRow& row) { return name == row.name; });
}

// The C spelling of a type description, resolving user-defined types to their names:
// "double*", "SAFEARRAY(long)", "ITevoTrace**". A user-defined type whose kind is not what
// its name promises (an enumeration for the catalogue's enumerations, an interface for
// everything else) is marked, so that the comparison with the table fails.
std::string TypeText(ITypeInfo* owner, const TYPEDESC& type) {
    switch (type.vt) {
        case VT_I4:
            return "long";
        case VT_R8:
            return "double";
        case VT_BOOL:
            return "VARIANT_BOOL";
        case VT_BSTR:
            return "BSTR";
        case VT_UI1:
            return "unsigned char";
        case VT_HRESULT:
            return "HRESULT";
        case VT_PTR:
            return type.lptdesc == nullptr ? "<VT_PTR to nothing>"
                                           : TypeText(owner, *type.lptdesc) + "*";
        case VT_SAFEARRAY:
            return type.lptdesc == nullptr ? "<VT_SAFEARRAY of nothing>"
                                           : "SAFEARRAY(" + TypeText(owner, *type.lptdesc) + ")";
        case VT_USERDEFINED: {
            ComPtr<ITypeInfo> ref;
            const HRESULT hr = owner->GetRefTypeInfo(type.hreftype, &ref);
            if (FAILED(hr) || !ref) {
                return "<unresolved hreftype " + std::to_string(type.hreftype) + ">";
            }
            std::string name = TypeName(ref.Get());
            const TypeAttr attr(ref.Get());
            const TYPEKIND expected = IsOwnEnumeration(name) ? TKIND_ENUM : TKIND_INTERFACE;
            if (!attr || attr->typekind != expected) {
                return name + "<typekind " + std::to_string(attr ? attr->typekind : -1) + ">";
            }
            return name;
        }
        default:
            return "<vt " + std::to_string(type.vt) + ">";
    }
}

INVOKEKIND InvokeKindOf(Kind kind) {
    switch (kind) {
        case Kind::kGet:
            return INVOKE_PROPERTYGET;
        case Kind::kPut:
            return INVOKE_PROPERTYPUT;
        case Kind::kMethod:
            break;
    }
    return INVOKE_FUNC;
}

// GetNames answers for the first function that carries the member id: for a property, its
// first accessor in slot order. The unnamed value of a put contributes no name.
std::vector<std::string> ExpectedNames(const InterfaceRow& itf, const MemberRow& member) {
    const MEMBERID memid = DefaultMemberId(itf, member);
    const auto first =
        std::find_if(itf.members.begin(), itf.members.end(),
                     [&](const MemberRow& m) { return DefaultMemberId(itf, m) == memid; });
    std::vector<std::string> names{first->name};
    for (const ParamRow& param : first->params) {
        if (param.name != nullptr) {
            names.emplace_back(param.name);
        }
    }
    return names;
}

std::vector<std::string> Names(ITypeInfo* info, MEMBERID memid) {
    BSTR names[16] = {};
    UINT count = 0;
    EXPECT_EQ(info->GetNames(memid, names, 16, &count), S_OK);
    std::vector<std::string> result;
    for (UINT i = 0; i < count && i < 16; ++i) {
        result.push_back(com::BstrToUtf8(names[i]));
        SysFreeString(names[i]);
    }
    return result;
}

// The type a coclass or interface lists at position `index` of its implemented types.
ComPtr<ITypeInfo> ImplementedType(ITypeInfo* info, UINT index) {
    ComPtr<ITypeInfo> result;
    HREFTYPE ref = 0;
    EXPECT_EQ(info->GetRefTypeOfImplType(index, &ref), S_OK) << "implemented type " << index;
    EXPECT_EQ(info->GetRefTypeInfo(ref, &result), S_OK) << "implemented type " << index;
    return result;
}

class CatalogueFixture {
  protected:
    // Loads Tevo.tlb as a client would; the runtime finds the libraries it imports in the
    // test's fresh system root, where the platform registers its own type libraries.
    void Load() {
        const std::wstring path = win::Utf8ToWide(TEVO_CATALOGUE_TLB);
        ASSERT_EQ(LoadTypeLib(path.c_str(), &lib_), S_OK) << TEVO_CATALOGUE_TLB;
        ASSERT_TRUE(lib_);
    }

    // The own type with this name; fails the test when there is none.
    ComPtr<ITypeInfo> Find(const char* name) {
        for (UINT i = 0; i < lib_->GetTypeInfoCount(); ++i) {
            Bstr type_name;
            if (SUCCEEDED(lib_->GetDocumentation(static_cast<INT>(i), &type_name, nullptr, nullptr,
                                                 nullptr)) &&
                type_name.ToUtf8() == name) {
                ComPtr<ITypeInfo> info;
                EXPECT_EQ(lib_->GetTypeInfo(i, &info), S_OK) << name;
                return info;
            }
        }
        ADD_FAILURE() << "the library has no type named " << name;
        return nullptr;
    }

    ComPtr<ITypeLib> lib_;
};

class TypeLibCatalogueTest : public ::testing::Test, public CatalogueFixture {
  protected:
    void SetUp() override { Load(); }
};

TEST_F(TypeLibCatalogueTest, LibraryAttributes) {
    const LibraryRow& row = Library();
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
    ASSERT_NE(attr, nullptr);
    EXPECT_EQ(com::GuidToUtf8(attr->guid), row.libid);
    EXPECT_EQ(attr->lcid, row.lcid);
    EXPECT_EQ(attr->syskind, row.sys_kind);
    EXPECT_EQ(attr->wMajorVerNum, row.major_version);
    EXPECT_EQ(attr->wMinorVerNum, row.minor_version);
    lib_->ReleaseTLibAttr(attr);

    Bstr name;
    Bstr help;
    Bstr help_file;
    DWORD help_context = 1;
    ASSERT_EQ(lib_->GetDocumentation(-1, &name, &help, &help_context, &help_file), S_OK);
    EXPECT_EQ(name.ToUtf8(), row.name);
    EXPECT_EQ(help.ToUtf8(), row.help_string);
    EXPECT_EQ(help_file.ToUtf8(), row.help_file);
}

TEST_F(TypeLibCatalogueTest, OwnTypesOfEachKindInTheLibrarysOrder) {
    std::vector<std::string> interfaces;
    std::vector<std::string> enums;
    std::vector<std::string> coclasses;
    const UINT count = lib_->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind = TKIND_MAX;
        ASSERT_EQ(lib_->GetTypeInfoType(i, &kind), S_OK) << "type " << i;
        Bstr name;
        ASSERT_EQ(lib_->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr),
                  S_OK);
        switch (kind) {
            case TKIND_INTERFACE:
                interfaces.push_back(name.ToUtf8());
                break;
            case TKIND_ENUM:
                enums.push_back(name.ToUtf8());
                break;
            case TKIND_COCLASS:
                coclasses.push_back(name.ToUtf8());
                break;
            default:
                ADD_FAILURE() << name.ToUtf8() << " has unexpected type kind " << kind;
        }
    }
    std::vector<std::string> expected_interfaces;
    for (const InterfaceRow& row : Interfaces()) {
        expected_interfaces.emplace_back(row.name);
    }
    std::vector<std::string> expected_enums;
    for (const EnumRow& row : Enumerations()) {
        expected_enums.emplace_back(row.name);
    }
    std::vector<std::string> expected_coclasses;
    for (const CoclassRow& row : Coclasses()) {
        expected_coclasses.emplace_back(row.name);
    }
    EXPECT_EQ(interfaces, expected_interfaces);
    EXPECT_EQ(enums, expected_enums);
    EXPECT_EQ(coclasses, expected_coclasses);
    EXPECT_EQ(count, 37U);
}

TEST_F(TypeLibCatalogueTest, DefaultMemberIdsFollowTheFirstSlotOfEachMember) {
    // The documented examples of the rule the whole catalogue relies on.
    const InterfaceRow& tevo = Interfaces()[0];
    const InterfaceRow& acquisition = Interfaces()[1];
    ASSERT_STREQ(tevo.name, "ITevo");
    ASSERT_STREQ(acquisition.name, "ITevoAcquisition");
    EXPECT_EQ(DefaultMemberId(tevo, tevo.members[0]), 0x60020000);                // Acquisition
    EXPECT_EQ(DefaultMemberId(acquisition, acquisition.members[0]), 0x60010000);  // Configure
    EXPECT_EQ(DefaultMemberId(acquisition, acquisition.members[1]),
              0x60010001);  // put DetectorType
    EXPECT_EQ(DefaultMemberId(acquisition, acquisition.members[2]),
              0x60010001);  // get DetectorType
    EXPECT_EQ(DefaultMemberId(acquisition, acquisition.members[3]), 0x60010003);
    EXPECT_EQ(DefaultMemberId(acquisition, acquisition.members[4]), 0x60010003);

    // And as the library reports them.
    ComPtr<ITypeInfo> info = Find("ITevoAcquisition");
    ASSERT_TRUE(info);
    const MEMBERID expected[] = {0x60010000, 0x60010001, 0x60010001, 0x60010003, 0x60010003};
    for (UINT i = 0; i < 5; ++i) {
        const FuncDesc desc(info.Get(), i);
        ASSERT_TRUE(desc);
        EXPECT_EQ(desc->memid, expected[i]) << "function " << i;
    }
}

TEST_F(TypeLibCatalogueTest, ITevoExtendsIIviDriverAndStartsAtSlotNine) {
    ComPtr<ITypeInfo> tevo = Find("ITevo");
    ASSERT_TRUE(tevo);
    ComPtr<ITypeInfo> base = ImplementedType(tevo.Get(), 0);
    ASSERT_TRUE(base);
    EXPECT_EQ(TypeName(base.Get()), "IIviDriver");
    const TypeAttr base_attr(base.Get());
    ASSERT_TRUE(base_attr);
    EXPECT_EQ(base_attr->cbSizeVft, 9 * kSlotSize);

    // IIviDriver's own members occupy slots 3 to 8 of ITevo.
    struct Inherited {
        const char* name;
        INVOKEKIND kind;
    };
    const Inherited inherited[] = {
        {"DriverOperation", INVOKE_PROPERTYGET}, {"Identity", INVOKE_PROPERTYGET},
        {"Utility", INVOKE_PROPERTYGET},         {"Initialize", INVOKE_FUNC},
        {"Initialized", INVOKE_PROPERTYGET},     {"Close", INVOKE_FUNC}};
    ASSERT_EQ(base_attr->cFuncs, 6);
    for (UINT i = 0; i < 6; ++i) {
        const FuncDesc desc(base.Get(), i);
        ASSERT_TRUE(desc);
        EXPECT_EQ(desc->oVft, static_cast<SHORT>((3 + i) * kSlotSize)) << inherited[i].name;
        EXPECT_EQ(desc->invkind, inherited[i].kind) << inherited[i].name;
        EXPECT_EQ(Documentation(base.Get(), desc->memid).name, inherited[i].name);
    }

    const FuncDesc first(tevo.Get(), 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->oVft, 9 * kSlotSize);
    EXPECT_EQ(first->memid, 0x60020000);
}

TEST_F(TypeLibCatalogueTest, CoclassesListTheirInterfacesInOrder) {
    for (const CoclassRow& row : Coclasses()) {
        SCOPED_TRACE(row.name);
        ComPtr<ITypeInfo> info = Find(row.name);
        ASSERT_TRUE(info);
        const TypeAttr attr(info.Get());
        ASSERT_TRUE(attr);
        EXPECT_EQ(attr->typekind, TKIND_COCLASS);
        EXPECT_EQ((attr->wTypeFlags & TYPEFLAG_FCANCREATE) != 0, row.creatable);
        EXPECT_EQ((attr->wTypeFlags & TYPEFLAG_FHIDDEN) != 0, row.hidden);
        EXPECT_NE(com::GuidToUtf8(attr->guid), com::GuidToUtf8(GUID_NULL));
        const Doc doc = Documentation(info.Get(), MEMBERID_NIL);
        EXPECT_EQ(doc.help_string, row.help_string);
        EXPECT_EQ(doc.help_context, row.help_context);

        ASSERT_EQ(attr->cImplTypes, row.interfaces.size());
        std::vector<std::string> names;
        for (UINT i = 0; i < attr->cImplTypes; ++i) {
            ComPtr<ITypeInfo> impl = ImplementedType(info.Get(), i);
            names.push_back(impl ? TypeName(impl.Get()) : "<unresolved>");
            INT flags = -1;
            EXPECT_EQ(info->GetImplTypeFlags(i, &flags), S_OK);
            EXPECT_EQ(flags, i == 0 ? IMPLTYPEFLAG_FDEFAULT : 0) << "flags of " << names.back();
        }
        EXPECT_EQ(names, std::vector<std::string>(row.interfaces.begin(), row.interfaces.end()));
    }
}

TEST_F(TypeLibCatalogueTest, ImportedInterfacesKeepTheirPublishedIdentifiers) {
    // Every imported interface is reachable from the Tevo coclass or as a base interface.
    ComPtr<ITypeInfo> tevo = Find("Tevo");
    ComPtr<ITypeInfo> acquisition = Find("ITevoAcquisition");
    ASSERT_TRUE(tevo);
    ASSERT_TRUE(acquisition);
    std::vector<ComPtr<ITypeInfo>> reachable{ImplementedType(acquisition.Get(), 0)};
    const TypeAttr tevo_attr(tevo.Get());
    ASSERT_TRUE(tevo_attr);
    for (UINT i = 0; i < tevo_attr->cImplTypes; ++i) {
        reachable.push_back(ImplementedType(tevo.Get(), i));
    }
    ComPtr<ITypeInfo> item = Find("TevoSpecAnTrace");
    ASSERT_TRUE(item);
    reachable.push_back(ImplementedType(item.Get(), 0));

    for (const ImportedInterfaceRow& row : ImportedInterfaces()) {
        SCOPED_TRACE(row.name);
        const auto found = std::find_if(reachable.begin(), reachable.end(), [&](const auto& info) {
            return info && TypeName(info.Get()) == row.name;
        });
        ASSERT_NE(found, reachable.end());
        const TypeAttr attr(found->Get());
        ASSERT_TRUE(attr);
        EXPECT_EQ(com::GuidToUtf8(attr->guid), row.iid);
        EXPECT_EQ(attr->typekind, TKIND_INTERFACE);

        ComPtr<ITypeLib> owner;
        UINT index = 0;
        ASSERT_EQ((*found)->GetContainingTypeLib(&owner, &index), S_OK);
        ASSERT_TRUE(owner);
        TLIBATTR* lib_attr = nullptr;
        ASSERT_EQ(owner->GetLibAttr(&lib_attr), S_OK);
        EXPECT_EQ(com::GuidToUtf8(lib_attr->guid), row.libid);
        EXPECT_EQ(lib_attr->wMajorVerNum, row.major_version);
        EXPECT_EQ(lib_attr->wMinorVerNum, row.minor_version);
        owner->ReleaseTLibAttr(lib_attr);
    }
}

TEST_F(TypeLibCatalogueTest, TracingInterfacesHaveTheirDocumentedSlots) {
    ComPtr<ITypeInfo> tevo = Find("Tevo");
    ASSERT_TRUE(tevo);
    const TypeAttr attr(tevo.Get());
    ASSERT_TRUE(attr);
    ASSERT_EQ(attr->cImplTypes, 44);
    ComPtr<ITypeInfo> trace_switch = ImplementedType(tevo.Get(), 42);
    ComPtr<ITypeInfo> message_provider = ImplementedType(tevo.Get(), 43);
    ASSERT_TRUE(trace_switch);
    ASSERT_TRUE(message_provider);

    const TypeAttr switch_attr(trace_switch.Get());
    ASSERT_TRUE(switch_attr);
    EXPECT_EQ(switch_attr->cbSizeVft, 5 * kSlotSize);
    ASSERT_GE(switch_attr->cFuncs, 2);
    const FuncDesc get_enabled(trace_switch.Get(), 0);
    const FuncDesc put_enabled(trace_switch.Get(), 1);
    ASSERT_TRUE(get_enabled);
    ASSERT_TRUE(put_enabled);
    EXPECT_EQ(get_enabled->oVft, 3 * kSlotSize);
    EXPECT_EQ(get_enabled->invkind, INVOKE_PROPERTYGET);
    ASSERT_EQ(get_enabled->cParams, 1);
    EXPECT_EQ(TypeText(trace_switch.Get(), get_enabled->lprgelemdescParam[0].tdesc),
              "VARIANT_BOOL*");
    EXPECT_EQ(put_enabled->oVft, 4 * kSlotSize);
    EXPECT_EQ(put_enabled->invkind, INVOKE_PROPERTYPUT);
    ASSERT_EQ(put_enabled->cParams, 1);
    EXPECT_EQ(TypeText(trace_switch.Get(), put_enabled->lprgelemdescParam[0].tdesc),
              "VARIANT_BOOL");
    EXPECT_EQ(Documentation(trace_switch.Get(), get_enabled->memid).name, "Enabled");

    const FuncDesc get_message(message_provider.Get(), 0);
    ASSERT_TRUE(get_message);
    EXPECT_EQ(get_message->oVft, 3 * kSlotSize);
    EXPECT_EQ(get_message->invkind, INVOKE_PROPERTYGET);
    ASSERT_EQ(get_message->cParams, 1);
    EXPECT_EQ(get_message->lprgelemdescParam[0].tdesc.vt, VT_PTR);
    EXPECT_NE(get_message->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FOUT, 0);
    EXPECT_EQ(Documentation(message_provider.Get(), get_message->memid).name, "Message");
}

// ---- one case per own interface ----

class InterfaceCatalogueTest : public ::testing::TestWithParam<InterfaceRow>,
                               public CatalogueFixture {
  protected:
    void SetUp() override { Load(); }
};

TEST_P(InterfaceCatalogueTest, MatchesTheTable) {
    const InterfaceRow& itf = GetParam();
    ComPtr<ITypeInfo> info = Find(itf.name);
    ASSERT_TRUE(info);
    const TypeAttr attr(info.Get());
    ASSERT_TRUE(attr);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, 0) << "oleautomation";
    EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE), 0) << "not dual";
    EXPECT_NE(com::GuidToUtf8(attr->guid), com::GuidToUtf8(GUID_NULL));
    const int slots = itf.first_slot + static_cast<int>(itf.members.size());
    EXPECT_EQ(attr->cbSizeVft, slots * kSlotSize) << "cbSizeVft";
    EXPECT_EQ(attr->cVars, 0);
    const Doc doc = Documentation(info.Get(), MEMBERID_NIL);
    EXPECT_EQ(doc.help_string, itf.help_string);
    EXPECT_EQ(doc.help_context, itf.help_context);

    ASSERT_EQ(attr->cImplTypes, 1) << "one base interface";
    ComPtr<ITypeInfo> base = ImplementedType(info.Get(), 0);
    ASSERT_TRUE(base);
    EXPECT_EQ(TypeName(base.Get()), itf.base);
    const TypeAttr base_attr(base.Get());
    ASSERT_TRUE(base_attr);
    EXPECT_EQ(base_attr->cbSizeVft, itf.first_slot * kSlotSize) << "base vtable of " << itf.base;

    ASSERT_EQ(attr->cFuncs, itf.members.size()) << "number of own slots";
    for (std::size_t i = 0; i < itf.members.size(); ++i) {
        const MemberRow& row = itf.members[i];
        SCOPED_TRACE(std::string(itf.name) + " slot " + std::to_string(row.slot) + " " + row.name);
        const FuncDesc desc(info.Get(), static_cast<UINT>(i));
        ASSERT_TRUE(desc);
        EXPECT_EQ(desc->oVft, row.slot * kSlotSize) << "oVft";
        EXPECT_EQ(desc->memid, DefaultMemberId(itf, row)) << "memid";
        EXPECT_EQ(desc->invkind, InvokeKindOf(row.kind)) << "invkind";
        EXPECT_EQ(desc->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(desc->callconv, CC_STDCALL);
        EXPECT_EQ(desc->cParamsOpt, 0);
        EXPECT_EQ(desc->wFuncFlags, 0);
        EXPECT_EQ(TypeText(info.Get(), desc->elemdescFunc.tdesc), "HRESULT") << "return type";
        ASSERT_EQ(desc->cParams, static_cast<SHORT>(row.params.size())) << "cParams";
        for (std::size_t p = 0; p < row.params.size(); ++p) {
            const ELEMDESC& param = desc->lprgelemdescParam[p];
            EXPECT_EQ(TypeText(info.Get(), param.tdesc), row.params[p].type)
                << "type of parameter " << p;
            EXPECT_EQ(param.paramdesc.wParamFlags, row.params[p].flags)
                << "flags of parameter " << p;
        }
        EXPECT_EQ(Names(info.Get(), desc->memid), ExpectedNames(itf, row)) << "GetNames";
        const Doc member_doc = Documentation(info.Get(), desc->memid);
        EXPECT_EQ(member_doc.hr, S_OK);
        EXPECT_EQ(member_doc.name, row.name) << "name";
        EXPECT_TRUE(member_doc.has_help_string);
        EXPECT_EQ(member_doc.help_string, row.help_string) << "help string";
        EXPECT_EQ(member_doc.help_context, row.help_context) << "help context";
    }
}

INSTANTIATE_TEST_SUITE_P(Tevo, InterfaceCatalogueTest, ::testing::ValuesIn(Interfaces()),
                         [](const ::testing::TestParamInfo<InterfaceRow>& info) {
                             return std::string(info.param.name);
                         });

// ---- one case per enumeration ----

class EnumCatalogueTest : public ::testing::TestWithParam<EnumRow>, public CatalogueFixture {
  protected:
    void SetUp() override { Load(); }
};

TEST_P(EnumCatalogueTest, MatchesTheTable) {
    const EnumRow& row = GetParam();
    ComPtr<ITypeInfo> info = Find(row.name);
    ASSERT_TRUE(info);
    const TypeAttr attr(info.Get());
    ASSERT_TRUE(attr);
    EXPECT_EQ(attr->typekind, TKIND_ENUM);
    EXPECT_EQ(attr->cbSizeInstance, 4U) << "32-bit";
    const Doc doc = Documentation(info.Get(), MEMBERID_NIL);
    EXPECT_EQ(doc.help_string, row.help_string);
    EXPECT_EQ(doc.help_context, row.help_context);

    ASSERT_EQ(attr->cVars, row.members.size());
    for (std::size_t i = 0; i < row.members.size(); ++i) {
        const EnumMemberRow& member = row.members[i];
        SCOPED_TRACE(std::string(row.name) + "." + member.name);
        const VarDesc desc(info.Get(), static_cast<UINT>(i));
        ASSERT_TRUE(desc);
        EXPECT_EQ(desc->varkind, VAR_CONST);
        ASSERT_NE(desc->lpvarValue, nullptr);
        EXPECT_EQ(desc->lpvarValue->vt, VT_I4);
        EXPECT_EQ(desc->lpvarValue->lVal, member.value) << "value";
        const Doc member_doc = Documentation(info.Get(), desc->memid);
        EXPECT_EQ(member_doc.hr, S_OK);
        EXPECT_EQ(member_doc.name, member.name);
        EXPECT_TRUE(member_doc.has_help_string);
        EXPECT_EQ(member_doc.help_string, member.help_string) << "help string";
        EXPECT_EQ(member_doc.help_context, 0U) << "help context";
    }
}

INSTANTIATE_TEST_SUITE_P(Tevo, EnumCatalogueTest, ::testing::ValuesIn(Enumerations()),
                         [](const ::testing::TestParamInfo<EnumRow>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tevo::catalogue
