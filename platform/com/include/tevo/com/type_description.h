// What the type information says about an automation interface, read once with ITypeInfo
// (GetTypeAttr, GetFuncDesc, GetNames, GetDocumentation, GetRefTypeInfo) and kept: its
// members with their invoke kinds, help strings and parameters (types, directions), the
// enumerations those parameters use, and the enumerations of whole type libraries.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tevo/com/typeinfo.h"

namespace tevo::com {

struct EnumMember {
    std::string name;
    LONG value = 0;
};

struct EnumDescription {
    std::string name;
    std::string doc;
    std::vector<EnumMember> members;
};

// A parameter's or result's type with pointers taken off.
struct ValueType {
    VARTYPE vt = VT_EMPTY;  // VT_R8, VT_I4, VT_BSTR, VT_BOOL, VT_VARIANT, VT_DISPATCH, ...
    bool array = false;     // SAFEARRAY of vt
    std::shared_ptr<const EnumDescription> enumeration;  // set for enumerations (vt VT_I4)
    std::string interface_name;                          // set for interface pointers
};

struct Parameter {
    std::string name;
    ValueType type;
    bool in = true;
    bool out = false;
    bool retval = false;
    bool optional = false;
};

struct Member {
    DISPID id = DISPID_UNKNOWN;
    std::string name;  // as the type library spells it
    INVOKEKIND kind = INVOKE_FUNC;
    std::string doc;
    std::vector<Parameter> parameters;

    // The type of the [out, retval] parameter; VT_EMPTY when there is none.
    ValueType ResultType() const;
    // The parameters the caller supplies (not retval, not out-only).
    std::vector<const Parameter*> InputParameters() const;
};

struct InterfaceDescription {
    std::string name;
    std::string doc;
    std::string iid;              // "{...}"
    std::vector<Member> members;  // own members first, then those of the base interfaces
};

// The interface `type` describes, with the members of its base interfaces (IUnknown and
// IDispatch left out: they are plumbing, not driver members). Descriptions are cached by
// interface identifier for the life of the process.
std::shared_ptr<const InterfaceDescription> DescribeInterface(ITypeInfo* type);

// The member `id` invoked as `kind`, or null.
const Member* FindMember(const InterfaceDescription& description, DISPID id, INVOKEKIND kind);

// Every enumeration of the library that holds `type` and of the libraries its interfaces
// refer to (imported libraries such as the IVI class libraries).
std::vector<std::shared_ptr<const EnumDescription>> LibraryEnumerations(ITypeInfo* type);

}  // namespace tevo::com
