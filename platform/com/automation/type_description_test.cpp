// Interface descriptions read from a type library: members of the interface and its bases
// (without IUnknown's), parameter directions and types, enumerations shared by name, and
// the enumerations of a whole library.
#include "tevo/com/type_description.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "automation_test_objects.h"
#include "tevo/com/com_ptr.h"
#include "tevo/win/text.h"

namespace tevo::com {
namespace {

ComPtr<ITypeInfo> TargetType() {
    ComPtr<ITypeLib> library;
    const std::wstring path = tevo::win::Utf8ToWide(TEVO_AUTOMATION_TEST_TLB);
    EXPECT_EQ(LoadTypeLib(path.c_str(), &library), S_OK);
    ComPtr<ITypeInfo> type;
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IAutomationTarget, &type), S_OK);
    return type;
}

const Member* Named(const InterfaceDescription& description, const std::string& name,
                    INVOKEKIND kind) {
    for (const Member& member : description.members) {
        if (member.name == name && member.kind == kind) {
            return &member;
        }
    }
    return nullptr;
}

TEST(TypeDescription, MembersOfTheInterfaceAndItsBasesWithTheirParameters) {
    const ComPtr<ITypeInfo> type = TargetType();
    const auto description = DescribeInterface(type.Get());
    EXPECT_EQ(description->name, "IAutomationTarget");
    EXPECT_EQ(description->doc, "Target");
    // The base's members follow; IUnknown's are plumbing and left out.
    ASSERT_NE(Named(*description, "Serial", INVOKE_PROPERTYGET), nullptr);
    ASSERT_NE(Named(*description, "Reset", INVOKE_FUNC), nullptr);
    EXPECT_EQ(Named(*description, "QueryInterface", INVOKE_FUNC), nullptr);
    EXPECT_EQ(description->members.front().name, "Scalars");

    const Member* split = Named(*description, "Split", INVOKE_FUNC);
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->ResultType().vt, VT_EMPTY);
    ASSERT_EQ(split->InputParameters().size(), 1u);
    EXPECT_EQ(split->InputParameters().front()->name, "Value");
    ASSERT_EQ(split->parameters.size(), 3u);
    EXPECT_TRUE(split->parameters[1].out);
    EXPECT_FALSE(split->parameters[1].in);
    EXPECT_EQ(split->parameters[1].type.vt, VT_I4);

    const Member* scale = Named(*description, "Scale", INVOKE_FUNC);
    ASSERT_NE(scale, nullptr);
    EXPECT_TRUE(scale->parameters[1].in && scale->parameters[1].out);
    EXPECT_TRUE(scale->parameters[1].type.array);
    EXPECT_EQ(scale->parameters[1].type.vt, VT_R8);

    const Member* part = Named(*description, "Part", INVOKE_PROPERTYGET);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->ResultType().vt, VT_DISPATCH);
    EXPECT_EQ(part->ResultType().interface_name, "IAutomationPart");

    const Member* describe = Named(*description, "Describe", INVOKE_FUNC);
    ASSERT_NE(describe, nullptr);
    EXPECT_TRUE(describe->parameters[1].optional);
    EXPECT_EQ(describe->ResultType().vt, VT_BSTR);
    EXPECT_EQ(FindMember(*description, describe->id, INVOKE_FUNC), describe);
    EXPECT_EQ(FindMember(*description, describe->id, INVOKE_PROPERTYPUT), nullptr);
    // Described once per interface and kept.
    EXPECT_EQ(DescribeInterface(type.Get()).get(), description.get());
}

TEST(TypeDescription, EnumerationsAreSharedAndListedForTheWholeLibrary) {
    const ComPtr<ITypeInfo> type = TargetType();
    const auto description = DescribeInterface(type.Get());
    const Member* get = Named(*description, "Shape", INVOKE_PROPERTYGET);
    const Member* put = Named(*description, "Shape", INVOKE_PROPERTYPUT);
    ASSERT_NE(get, nullptr);
    ASSERT_NE(put, nullptr);
    const ValueType shape = get->ResultType();
    EXPECT_EQ(shape.vt, VT_I4);
    ASSERT_NE(shape.enumeration, nullptr);
    EXPECT_EQ(shape.enumeration.get(), put->parameters.front().type.enumeration.get());
    ASSERT_EQ(shape.enumeration->members.size(), 3u);
    EXPECT_EQ(shape.enumeration->members[1].name, "AutomationShapeSquare");
    EXPECT_EQ(shape.enumeration->members[1].value, 2);

    const auto enumerations = LibraryEnumerations(type.Get());
    const bool listed = std::any_of(enumerations.begin(), enumerations.end(), [&](const auto& e) {
        return e.get() == shape.enumeration.get();
    });
    EXPECT_TRUE(listed);
}

}  // namespace
}  // namespace tevo::com
