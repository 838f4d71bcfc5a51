// What the type information says about one member of an automation object: its kind
// (property get, property put, method), its parameters with their types and directions,
// and for enumeration types their members' names and values. Read with ITypeInfo
// (GetFuncDesc, GetRefTypeInfo, GetVarDesc, GetDocumentation), following base interfaces.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tevo/com/com_ptr.h"
#include "tevo/com/typeinfo.h"

namespace tevo::cli {

struct EnumMember {
    std::string name;
    LONG value = 0;
};

// A parameter's or result's type, with pointers taken off.
struct ValueType {
    VARTYPE vt = VT_EMPTY;  // VT_R8, VT_I4, VT_BSTR, VT_BOOL, VT_VARIANT, VT_DISPATCH, ...
    bool array = false;     // SAFEARRAY of vt
    std::string enum_name;  // set for enumerations (vt is then VT_I4)
    std::vector<EnumMember> enum_members;
};

struct ParameterDescription {
    std::string name;
    ValueType type;
    bool in = true;
    bool out = false;
    bool retval = false;
    bool optional = false;
};

struct MemberDescription {
    DISPID id = DISPID_UNKNOWN;
    std::string name;  // as the type library spells it
    INVOKEKIND kind = INVOKE_FUNC;
    std::vector<ParameterDescription> parameters;

    // The type of the [out, retval] parameter; VT_EMPTY when there is none.
    ValueType ResultType() const;
    // The parameters the caller supplies (not retval, not out-only).
    std::vector<const ParameterDescription*> InputParameters() const;
};

// The member `id` of `type` (or of its base interfaces) invoked as `kind`, or nothing.
std::optional<MemberDescription> DescribeMember(ITypeInfo* type, DISPID id, INVOKEKIND kind);

// The value of an enumeration member named `text`: its full name, or its name without the
// prefix all members share ("MaxPeak" for "TevoDetectorTypeMaxPeak"), in any letter case.
std::optional<LONG> EnumValueOf(const ValueType& type, const std::string& text);
// The name of `value` in the enumeration, or empty.
std::string EnumNameOf(const ValueType& type, LONG value);

}  // namespace tevo::cli
