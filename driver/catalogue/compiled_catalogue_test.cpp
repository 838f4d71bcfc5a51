// The compiled Tevo.tlb, read as the build wrote it (no COM runtime involved), against the
// catalogue tables. Besides a second opinion on what the type-library runtime reports, this
// sees what ITypeInfo cannot show: the parameter names of the second accessor of a property
// (GetNames answers for the first one only) and the order of the imported libraries.
#include <gtest/gtest.h>

#include <string>

#include "catalogue_tables.h"
#include "tevo/idl/typelib_format.h"
#include "tevo/idl/typelib_model.h"

namespace tevo::catalogue {
namespace {

using idl::InvokeKind;
using idl::TypeKind;
using idl::VarType;

class CompiledCatalogueTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        library_ = new idl::Library;
        std::string error;
        read_ = idl::ReadTypeLibFile(TEVO_CATALOGUE_TLB, *library_, error);
        error_ = new std::string(error);
    }
    static void TearDownTestSuite() {
        delete library_;
        delete error_;
    }
    void SetUp() override { ASSERT_TRUE(read_) << TEVO_CATALOGUE_TLB << ": " << *error_; }

    static const idl::TypeInfo* Find(const char* name) {
        const int index = library_->FindType(name);
        return index < 0 ? nullptr : &library_->types[static_cast<std::size_t>(index)];
    }

    // The C spelling of a type description: "double*", "SAFEARRAY(long)", "ITevoTrace**".
    static std::string TypeText(const idl::TypeDesc& type) {
        std::string text;
        switch (type.base) {
            case VarType::kI4:
                text = "long";
                break;
            case VarType::kR8:
                text = "double";
                break;
            case VarType::kBool:
                text = "VARIANT_BOOL";
                break;
            case VarType::kBstr:
                text = "BSTR";
                break;
            case VarType::kUi1:
                text = "unsigned char";
                break;
            case VarType::kHresult:
                text = "HRESULT";
                break;
            case VarType::kUserDefined:
                text = library_->RefName(type.ref);
                break;
            default:
                text = idl::VarTypeName(type.base);
                break;
        }
        for (auto wrapper = type.wrappers.rbegin(); wrapper != type.wrappers.rend(); ++wrapper) {
            if (*wrapper == VarType::kSafeArray) {
                text.insert(0, "SAFEARRAY(");
                text += ')';
            } else {
                text += '*';
            }
        }
        return text;
    }

    static idl::Library* library_;
    static std::string* error_;
    static bool read_;
};

idl::Library* CompiledCatalogueTest::library_ = nullptr;
std::string* CompiledCatalogueTest::error_ = nullptr;
bool CompiledCatalogueTest::read_ = false;

InvokeKind InvokeKindOf(Kind kind) {
    switch (kind) {
        case Kind::kGet:
            return InvokeKind::kPropertyGet;
        case Kind::kPut:
            return InvokeKind::kPropertyPut;
        case Kind::kMethod:
            break;
    }
    return InvokeKind::kFunc;
}

TEST_F(CompiledCatalogueTest, LibraryRefersToItsImportsInOrder) {
    ASSERT_EQ(library_->imports.size(), 4U);
    const char* const libids[] = {
        "47ED5120-A398-11D4-BA58-000064657374", "00020430-0000-0000-C000-000000000046",
        "47ED5126-A398-11D4-BA58-000064657374", "5D23869E-54C0-485C-98C1-7D5D21CC812D"};
    const std::uint16_t majors[] = {1, 2, 1, 1};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE("import " + std::to_string(i));
        EXPECT_EQ(idl::FormatGuid(library_->imports[i].libid), libids[i]);
        EXPECT_EQ(library_->imports[i].major_version, majors[i]);
        EXPECT_EQ(library_->imports[i].minor_version, 0);
    }
    EXPECT_EQ(library_->imports[0].file_name, "IviDriverTypeLib.dll");
    EXPECT_EQ(library_->imports[2].file_name, "IviSpecAnTypeLib.dll");
}

TEST_F(CompiledCatalogueTest, EveryParameterHasTheTablesNameTypeAndDirection) {
    for (const InterfaceRow& itf : Interfaces()) {
        const idl::TypeInfo* type = Find(itf.name);
        ASSERT_NE(type, nullptr) << itf.name;
        ASSERT_EQ(type->kind, TypeKind::kInterface) << itf.name;
        ASSERT_EQ(type->funcs.size(), itf.members.size()) << itf.name;
        ASSERT_EQ(type->impl_types.size(), 1U) << itf.name;
        EXPECT_EQ(library_->RefName(type->impl_types[0].ref), itf.base) << itf.name;
        for (std::size_t i = 0; i < itf.members.size(); ++i) {
            const MemberRow& row = itf.members[i];
            const idl::Func& func = type->funcs[i];
            SCOPED_TRACE(std::string(itf.name) + " slot " + std::to_string(row.slot) + " " +
                         row.name);
            EXPECT_EQ(func.name, row.name);
            EXPECT_EQ(func.invoke_kind, InvokeKindOf(row.kind));
            EXPECT_EQ(func.vtable_offset, row.slot * static_cast<int>(idl::kPointerSize));
            EXPECT_EQ(func.member_id, DefaultMemberId(itf, row));
            EXPECT_EQ(TypeText(func.return_type), "HRESULT");
            EXPECT_EQ(func.doc.help_string, std::optional<std::string>(row.help_string));
            EXPECT_EQ(func.doc.help_context, row.help_context);
            ASSERT_EQ(func.params.size(), row.params.size());
            for (std::size_t p = 0; p < row.params.size(); ++p) {
                SCOPED_TRACE("parameter " + std::to_string(p));
                const ParamRow& param = row.params[p];
                const std::optional<std::string> name =
                    param.name == nullptr ? std::nullopt : std::optional<std::string>(param.name);
                EXPECT_EQ(func.params[p].name, name);
                EXPECT_EQ(TypeText(func.params[p].type), param.type);
                EXPECT_EQ(func.params[p].flags, param.flags);
            }
        }
    }
}

TEST_F(CompiledCatalogueTest, EnumerationsAreThirtyTwoBitConstants) {
    for (const EnumRow& row : Enumerations()) {
        const idl::TypeInfo* type = Find(row.name);
        ASSERT_NE(type, nullptr) << row.name;
        ASSERT_EQ(type->kind, TypeKind::kEnum) << row.name;
        EXPECT_EQ(type->instance_size, 4U) << row.name;
        ASSERT_EQ(type->vars.size(), row.members.size()) << row.name;
        for (std::size_t i = 0; i < row.members.size(); ++i) {
            SCOPED_TRACE(std::string(row.name) + "." + row.members[i].name);
            EXPECT_EQ(type->vars[i].name, row.members[i].name);
            EXPECT_EQ(type->vars[i].value.vt, VarType::kI4);
            EXPECT_EQ(type->vars[i].value.integer, row.members[i].value);
            EXPECT_EQ(type->vars[i].doc.help_string,
                      std::optional<std::string>(row.members[i].help_string));
        }
    }
}

}  // namespace
}  // namespace tevo::catalogue
