// The published shape of the driver's type library, written out by hand as data: library
// attributes, every own interface member (slot, kind, parameters, help), every enumeration
// member, the coclasses and the identifiers of the imported interfaces. The catalogue tests
// compare the compiled library against these rows, so they must never be derived from the
// IDL file they are meant to check.
#pragma once

#include <vector>

#include "tevo/com/typeinfo.h"
#include "tevo/win/types.h"

namespace tevo::catalogue {

enum class Kind { kMethod, kGet, kPut };

// Parameter directions as stored in the library.
inline constexpr USHORT kIn = PARAMFLAG_FIN;
inline constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
inline constexpr USHORT kOutRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

struct ParamRow {
    const char* name;  // nullptr: the value parameter of a property put, which has no name
    const char* type;  // C type text: "long", "double*", "SAFEARRAY(double)*", "ITevoTrace**"
    USHORT flags;      // PARAMFLAG_* bits
};

struct MemberRow {
    int slot;  // position in the complete vtable
    const char* name;
    Kind kind;
    std::vector<ParamRow> params;
    DWORD help_context;
    const char* help_string;
};

struct InterfaceRow {
    const char* name;
    const char* base;
    const char* help_string;
    DWORD help_context;
    int first_slot;  // first own slot: the base interface's slot count
    std::vector<MemberRow> members;
};

struct EnumMemberRow {
    const char* name;
    LONG value;
    const char* help_string;
};

struct EnumRow {
    const char* name;
    const char* help_string;
    DWORD help_context;
    std::vector<EnumMemberRow> members;
};

struct CoclassRow {
    const char* name;
    bool creatable;
    bool hidden;
    const char* help_string;
    DWORD help_context;
    std::vector<const char*> interfaces;  // in the library's order; the first is the default
};

// An interface of another library that this one refers to.
struct ImportedInterfaceRow {
    const char* name;
    const char* iid;    // "{...}"
    const char* libid;  // the library that defines it
    WORD major_version;
    WORD minor_version;
};

struct LibraryRow {
    const char* name;
    const char* libid;
    WORD major_version;
    WORD minor_version;
    LCID lcid;
    SYSKIND sys_kind;
    const char* help_string;
    const char* help_file;
};

// The member id the interface compiler assigns by default: a base for the interface's
// depth below IUnknown plus the position, among the own slots, of the member's first slot
// (the accessors of one property share the id of the first of them).
MEMBERID DefaultMemberId(const InterfaceRow& itf, const MemberRow& member);

// Default member id bases for interfaces one and two levels below IUnknown.
inline constexpr MEMBERID kFirstLevelIdBase = 0x60010000;
inline constexpr MEMBERID kSecondLevelIdBase = 0x60020000;

const LibraryRow& Library();
// Own interfaces, enumerations and coclasses, each in the library's order.
const std::vector<InterfaceRow>& Interfaces();
const std::vector<EnumRow>& Enumerations();
const std::vector<CoclassRow>& Coclasses();
// The interfaces the library imports and names (bases and coclass members), with the
// identifiers their own libraries publish.
const std::vector<ImportedInterfaceRow>& ImportedInterfaces();

}  // namespace tevo::catalogue
