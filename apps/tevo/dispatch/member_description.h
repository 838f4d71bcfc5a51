// What the type information says about one member of an automation object (the platform's
// descriptions: kind, parameters with their types and directions, enumerations with their
// members), and the enumeration names the command line accepts.
#pragma once

#include <optional>
#include <string>

#include "tevo/com/type_description.h"

namespace tevo::cli {

using tevo::com::EnumDescription;
using tevo::com::EnumMember;
using tevo::com::ValueType;
using ParameterDescription = tevo::com::Parameter;
using MemberDescription = tevo::com::Member;

// The member `id` of `type` (or of its base interfaces) invoked as `kind`, or nothing.
std::optional<MemberDescription> DescribeMember(ITypeInfo* type, DISPID id, INVOKEKIND kind);

// The members of the type's enumeration; none when it is not one.
const std::vector<EnumMember>& EnumMembersOf(const ValueType& type);

// The value of an enumeration member named `text`: its full name, or its name without the
// prefix all members share ("MaxPeak" for "TevoDetectorTypeMaxPeak"), in any letter case.
std::optional<LONG> EnumValueOf(const ValueType& type, const std::string& text);
// The name of `value` in the enumeration, or empty.
std::string EnumNameOf(const ValueType& type, LONG value);

}  // namespace tevo::cli
