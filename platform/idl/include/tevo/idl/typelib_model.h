// The in-memory model of a type library: what the IDL compiler builds, what the binary
// type-library format stores, and what ITypeLib/ITypeInfo hand out.
//
// Numbers (variant types, type kinds, invoke kinds, flag bits) are those of OLE Automation,
// so a runtime can copy them into TYPEATTR, FUNCDESC, VARDESC and TLIBATTR unchanged. The
// names are prefixed (kI4, kParamIn, ...) so that they never clash with the Windows macros
// and enumerators of the COM headers.
//
// Member offsets in the vtable (Func::vtable_offset, TypeInfo::vtable_size) are byte offsets
// for THIS platform: slot * kPointerSize with 8-byte pointers, although the library declares
// itself a SYS_WIN32 library as its IDL asks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tevo/win/types.h"

namespace tevo::idl {

// Size of one vtable slot, and of an interface pointer, on this platform.
inline constexpr std::uint32_t kPointerSize = sizeof(void*);

// OLE Automation variant types (VARENUM) as used in type descriptions and constants.
enum class VarType : std::uint16_t {
    kEmpty = 0,
    kNull = 1,
    kI2 = 2,
    kI4 = 3,
    kR4 = 4,
    kR8 = 5,
    kCy = 6,
    kDate = 7,
    kBstr = 8,
    kDispatch = 9,
    kError = 10,
    kBool = 11,
    kVariant = 12,
    kUnknown = 13,
    kDecimal = 14,
    kI1 = 16,
    kUi1 = 17,
    kUi2 = 18,
    kUi4 = 19,
    kI8 = 20,
    kUi8 = 21,
    kInt = 22,
    kUint = 23,
    kVoid = 24,
    kHresult = 25,
    kPtr = 26,
    kSafeArray = 27,
    kCArray = 28,
    kUserDefined = 29,
    kLpStr = 30,
    kLpWStr = 31,
};

// TYPEKIND
enum class TypeKind : std::uint16_t {
    kEnum = 0,
    kRecord = 1,
    kModule = 2,
    kInterface = 3,
    kDispatch = 4,
    kCoclass = 5,
    kAlias = 6,
    kUnion = 7,
};

// INVOKEKIND
enum class InvokeKind : std::uint16_t {
    kFunc = 1,
    kPropertyGet = 2,
    kPropertyPut = 4,
    kPropertyPutRef = 8,
};

// FUNCKIND
enum class FuncKind : std::uint16_t {
    kVirtual = 0,
    kPureVirtual = 1,
    kNonVirtual = 2,
    kStatic = 3,
    kDispatch = 4,
};

// CALLCONV
enum class CallConv : std::uint16_t {
    kCdecl = 1,
    kPascal = 2,
    kMacPascal = 3,
    kStdCall = 4,
    kSysCall = 6,
};

// VARKIND
enum class VarKind : std::uint16_t {
    kPerInstance = 0,
    kStatic = 1,
    kConst = 2,
    kDispatch = 3,
};

// SYSKIND
enum class SysKind : std::uint16_t {
    kWin16 = 0,
    kWin32 = 1,
    kMac = 2,
    kWin64 = 3,
};

// PARAMFLAG_*
inline constexpr std::uint16_t kParamIn = 0x01;
inline constexpr std::uint16_t kParamOut = 0x02;
inline constexpr std::uint16_t kParamLcid = 0x04;
inline constexpr std::uint16_t kParamRetval = 0x08;
inline constexpr std::uint16_t kParamOptional = 0x10;
inline constexpr std::uint16_t kParamHasDefault = 0x20;

// TYPEFLAG_*
inline constexpr std::uint16_t kTypeAppObject = 0x0001;
inline constexpr std::uint16_t kTypeCanCreate = 0x0002;
inline constexpr std::uint16_t kTypeLicensed = 0x0004;
inline constexpr std::uint16_t kTypeHidden = 0x0010;
inline constexpr std::uint16_t kTypeControl = 0x0020;
inline constexpr std::uint16_t kTypeDual = 0x0040;
inline constexpr std::uint16_t kTypeNonExtensible = 0x0080;
inline constexpr std::uint16_t kTypeOleAutomation = 0x0100;
inline constexpr std::uint16_t kTypeRestricted = 0x0200;
inline constexpr std::uint16_t kTypeDispatchable = 0x1000;

// FUNCFLAG_*
inline constexpr std::uint16_t kFuncRestricted = 0x0001;
inline constexpr std::uint16_t kFuncSource = 0x0002;
inline constexpr std::uint16_t kFuncBindable = 0x0004;
inline constexpr std::uint16_t kFuncRequestEdit = 0x0008;
inline constexpr std::uint16_t kFuncDisplayBind = 0x0010;
inline constexpr std::uint16_t kFuncDefaultBind = 0x0020;
inline constexpr std::uint16_t kFuncHidden = 0x0040;
inline constexpr std::uint16_t kFuncUsesGetLastError = 0x0080;
inline constexpr std::uint16_t kFuncDefaultCollElem = 0x0100;
inline constexpr std::uint16_t kFuncUiDefault = 0x0200;
inline constexpr std::uint16_t kFuncNonBrowsable = 0x0400;
inline constexpr std::uint16_t kFuncReplaceable = 0x0800;
inline constexpr std::uint16_t kFuncImmediateBind = 0x1000;

// VARFLAG_* (the ones enumeration members can carry)
inline constexpr std::uint16_t kVarHidden = 0x0040;
inline constexpr std::uint16_t kVarRestricted = 0x0080;

// IMPLTYPEFLAG_*
inline constexpr std::int32_t kImplDefault = 0x1;
inline constexpr std::int32_t kImplSource = 0x2;
inline constexpr std::int32_t kImplRestricted = 0x4;
inline constexpr std::int32_t kImplDefaultVtable = 0x8;

// LIBFLAG_*
inline constexpr std::uint16_t kLibRestricted = 0x1;
inline constexpr std::uint16_t kLibControl = 0x2;
inline constexpr std::uint16_t kLibHidden = 0x4;

inline constexpr std::int32_t kMemberIdNil = -1;
// Default member identifiers: functions of an interface whose inheritance depth from
// IUnknown is d get kFuncIdBase + (d << 16) + position; enumeration members kVarIdBase + index.
inline constexpr std::int32_t kFuncIdBase = 0x60000000;
inline constexpr std::int32_t kVarIdBase = 0x40000000;

// A reference from a type description or an implemented-type entry to a type: one of this
// library's types, or an entry of Library::imported_types.
struct TypeRef {
    enum class Scope : std::uint8_t { kLocal = 0, kImported = 1 };
    Scope scope = Scope::kLocal;
    std::uint32_t index = 0;

    bool operator==(const TypeRef&) const = default;
};

// A type description. VT_PTR and VT_SAFEARRAY each wrap exactly one type, so a description
// is a chain: `wrappers` lists them from the outside in, `base` is the innermost type, and
// `ref` names the type when `base` is VT_USERDEFINED. `SAFEARRAY(double)*` is
// {wrappers = {kPtr, kSafeArray}, base = kR8}; `IFoo**` is {{kPtr, kPtr}, kUserDefined, IFoo}.
struct TypeDesc {
    std::vector<VarType> wrappers;
    VarType base = VarType::kEmpty;
    TypeRef ref;

    static TypeDesc Of(VarType vt) { return TypeDesc{{}, vt, {}}; }
    static TypeDesc UserDefined(TypeRef r) { return TypeDesc{{}, VarType::kUserDefined, r}; }
    TypeDesc PointerTo() const;
    // The top-level variant type: the first wrapper, or the base.
    VarType Top() const { return wrappers.empty() ? base : wrappers.front(); }
    bool operator==(const TypeDesc&) const = default;
};

// A constant: an enumeration member's value or a parameter's default value. Integer types,
// VT_BOOL, VT_ERROR and VT_CY (scaled by 10000) use `integer`; VT_R4, VT_R8 and VT_DATE use
// `real`; VT_BSTR uses `text` (UTF-8).
struct Value {
    VarType vt = VarType::kEmpty;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;

    static Value I4(std::int32_t v) { return Value{VarType::kI4, v, 0, {}}; }
    bool operator==(const Value&) const = default;
};

// Help string and help context of a library, type or member. A missing help string is
// reported as a null string, which differs from an empty one.
struct Documentation {
    std::optional<std::string> help_string;
    std::uint32_t help_context = 0;

    bool operator==(const Documentation&) const = default;
};

struct Param {
    // A parameter may be unnamed (the value of a property put): it then has no name in the
    // library and GetNames lists none for it.
    std::optional<std::string> name;
    std::uint16_t flags = 0;  // kParam*
    TypeDesc type;
    std::optional<Value> default_value;  // present exactly when flags has kParamHasDefault

    bool operator==(const Param&) const = default;
};

struct Func {
    std::int32_t member_id = 0;
    std::string name;
    InvokeKind invoke_kind = InvokeKind::kFunc;
    FuncKind func_kind = FuncKind::kPureVirtual;
    CallConv call_conv = CallConv::kStdCall;
    std::uint16_t flags = 0;         // kFunc*
    std::int16_t vtable_offset = 0;  // byte offset of the slot: slot * kPointerSize
    TypeDesc return_type;
    std::vector<Param> params;
    std::int16_t optional_param_count = 0;  // cParamsOpt
    Documentation doc;

    bool operator==(const Func&) const = default;
};

struct Var {
    std::int32_t member_id = 0;
    std::string name;
    VarKind var_kind = VarKind::kConst;
    std::uint16_t flags = 0;  // kVar*
    TypeDesc type;
    Value value;  // VAR_CONST value
    Documentation doc;

    bool operator==(const Var&) const = default;
};

struct ImplType {
    TypeRef ref;
    std::int32_t flags = 0;  // kImpl*

    bool operator==(const ImplType&) const = default;
};

struct TypeInfo {
    std::string name;
    GUID guid = GUID_NULL;
    TypeKind kind = TypeKind::kInterface;
    std::uint16_t flags = 0;  // kType*
    std::uint16_t major_version = 0;
    std::uint16_t minor_version = 0;
    std::uint16_t vtable_size = 0;  // cbSizeVft: every slot, inherited ones included, in bytes
    std::uint32_t instance_size = 0;
    std::uint16_t alignment = 0;
    Documentation doc;
    // Interfaces: the base interface (none for IUnknown itself). Coclasses: the interfaces
    // they implement, in the library's order.
    std::vector<ImplType> impl_types;
    std::vector<Func> funcs;
    std::vector<Var> vars;

    bool operator==(const TypeInfo&) const = default;
};

// A library this one refers to: found through the registry by its identifier and version;
// `file_name` is the file the IDL named in importlib (a fall-back and a diagnostic aid).
struct ImportedLibrary {
    GUID libid = GUID_NULL;
    std::uint16_t major_version = 0;
    std::uint16_t minor_version = 0;
    std::uint32_t lcid = 0;
    std::string name;
    std::string file_name;

    bool operator==(const ImportedLibrary&) const = default;
};

// A type of an imported library that this one refers to. `index` is the type's position in
// the imported library when this one was compiled; `guid` and `name` identify it for good
// (enumerations without a uuid have a null GUID and are found by name).
struct ImportedType {
    std::uint32_t library = 0;  // index into Library::imports
    std::string name;
    GUID guid = GUID_NULL;
    TypeKind kind = TypeKind::kInterface;
    std::uint32_t index = 0;

    bool operator==(const ImportedType&) const = default;
};

struct Library {
    std::string name;
    GUID libid = GUID_NULL;
    std::uint32_t lcid = 0;
    SysKind sys_kind = SysKind::kWin32;
    std::uint16_t major_version = 0;
    std::uint16_t minor_version = 0;
    std::uint16_t flags = 0;  // kLib*
    Documentation doc;
    std::optional<std::string> help_file;
    std::vector<ImportedLibrary> imports;
    std::vector<ImportedType> imported_types;
    std::vector<TypeInfo> types;

    // The index of the type with this name, or -1.
    int FindType(std::string_view type_name) const;
    // The name of a referenced type (local or imported); empty for a reference out of range.
    std::string RefName(const TypeRef& ref) const;
    // The kind of a referenced type; nullopt for a reference out of range.
    std::optional<TypeKind> RefKind(const TypeRef& ref) const;

    bool operator==(const Library&) const = default;
};

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper case, without braces.
std::string FormatGuid(const GUID& guid);
// Parses the form above, with or without braces, in either letter case.
bool ParseGuid(std::string_view text, GUID& guid);

// The full name of a variant type for messages ("VT_I4"); "VT_<n>" for unknown numbers.
std::string VarTypeName(VarType vt);

}  // namespace tevo::idl
