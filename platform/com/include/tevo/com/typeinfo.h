// Type information: ITypeLib, ITypeInfo and ITypeComp with the structures and constants
// that describe types, functions, variables and parameters, and the functions that load
// and register type libraries. The type-library runtime (platform/com/typelib) implements
// them over the binary type-library format of the IDL compiler.
#pragma once

#include "tevo/com/dispatch.h"
#include "tevo/com/safearray.h"
#include "tevo/com/unknown.h"
#include "tevo/com/variant.h"
#include "tevo/win/types.h"

struct ITypeInfo;
struct ITypeLib;
struct ITypeComp;

inline constexpr IID IID_ITypeInfo = {
    0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ITypeLib = {
    0x00020402, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ITypeComp = {
    0x00020403, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

using HREFTYPE = DWORD;

// The member id of the type itself (ITypeInfo::GetDocumentation, GetNames).
constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

enum TYPEKIND {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
    TKIND_MAX
};

enum FUNCKIND { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };

enum INVOKEKIND {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8
};

enum CALLCONV {
    CC_FASTCALL = 0,
    CC_CDECL = 1,
    CC_MSCPASCAL = 2,
    CC_PASCAL = CC_MSCPASCAL,
    CC_MACPASCAL = 3,
    CC_STDCALL = 4,
    CC_FPFASTCALL = 5,
    CC_SYSCALL = 6,
    CC_MPWCDECL = 7,
    CC_MPWPASCAL = 8,
    CC_MAX = 9
};

enum VARKIND { VAR_PERINSTANCE = 0, VAR_STATIC, VAR_CONST, VAR_DISPATCH };

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32, SYS_MAC, SYS_WIN64 };

enum DESCKIND {
    DESCKIND_NONE = 0,
    DESCKIND_FUNCDESC,
    DESCKIND_VARDESC,
    DESCKIND_TYPECOMP,
    DESCKIND_IMPLICITAPPOBJ,
    DESCKIND_MAX
};

// Parameter flags (PARAMDESC::wParamFlags).
constexpr USHORT PARAMFLAG_NONE = 0x00;
constexpr USHORT PARAMFLAG_FIN = 0x01;
constexpr USHORT PARAMFLAG_FOUT = 0x02;
constexpr USHORT PARAMFLAG_FLCID = 0x04;
constexpr USHORT PARAMFLAG_FRETVAL = 0x08;
constexpr USHORT PARAMFLAG_FOPT = 0x10;
constexpr USHORT PARAMFLAG_FHASDEFAULT = 0x20;
constexpr USHORT PARAMFLAG_FHASCUSTDATA = 0x40;

// IDL flags (IDLDESC::wIDLFlags).
constexpr USHORT IDLFLAG_NONE = PARAMFLAG_NONE;
constexpr USHORT IDLFLAG_FIN = PARAMFLAG_FIN;
constexpr USHORT IDLFLAG_FOUT = PARAMFLAG_FOUT;
constexpr USHORT IDLFLAG_FLCID = PARAMFLAG_FLCID;
constexpr USHORT IDLFLAG_FRETVAL = PARAMFLAG_FRETVAL;

// Function flags (FUNCDESC::wFuncFlags).
constexpr WORD FUNCFLAG_FRESTRICTED = 0x0001;
constexpr WORD FUNCFLAG_FSOURCE = 0x0002;
constexpr WORD FUNCFLAG_FBINDABLE = 0x0004;
constexpr WORD FUNCFLAG_FREQUESTEDIT = 0x0008;
constexpr WORD FUNCFLAG_FDISPLAYBIND = 0x0010;
constexpr WORD FUNCFLAG_FDEFAULTBIND = 0x0020;
constexpr WORD FUNCFLAG_FHIDDEN = 0x0040;
constexpr WORD FUNCFLAG_FUSESGETLASTERROR = 0x0080;
constexpr WORD FUNCFLAG_FDEFAULTCOLLELEM = 0x0100;
constexpr WORD FUNCFLAG_FUIDEFAULT = 0x0200;
constexpr WORD FUNCFLAG_FNONBROWSABLE = 0x0400;
constexpr WORD FUNCFLAG_FREPLACEABLE = 0x0800;
constexpr WORD FUNCFLAG_FIMMEDIATEBIND = 0x1000;

// Variable flags (VARDESC::wVarFlags).
constexpr WORD VARFLAG_FREADONLY = 0x0001;
constexpr WORD VARFLAG_FSOURCE = 0x0002;
constexpr WORD VARFLAG_FBINDABLE = 0x0004;
constexpr WORD VARFLAG_FREQUESTEDIT = 0x0008;
constexpr WORD VARFLAG_FDISPLAYBIND = 0x0010;
constexpr WORD VARFLAG_FDEFAULTBIND = 0x0020;
constexpr WORD VARFLAG_FHIDDEN = 0x0040;
constexpr WORD VARFLAG_FRESTRICTED = 0x0080;
constexpr WORD VARFLAG_FDEFAULTCOLLELEM = 0x0100;
constexpr WORD VARFLAG_FUIDEFAULT = 0x0200;
constexpr WORD VARFLAG_FNONBROWSABLE = 0x0400;
constexpr WORD VARFLAG_FREPLACEABLE = 0x0800;
constexpr WORD VARFLAG_FIMMEDIATEBIND = 0x1000;

// Type flags (TYPEATTR::wTypeFlags).
constexpr WORD TYPEFLAG_FAPPOBJECT = 0x0001;
constexpr WORD TYPEFLAG_FCANCREATE = 0x0002;
constexpr WORD TYPEFLAG_FLICENSED = 0x0004;
constexpr WORD TYPEFLAG_FPREDECLID = 0x0008;
constexpr WORD TYPEFLAG_FHIDDEN = 0x0010;
constexpr WORD TYPEFLAG_FCONTROL = 0x0020;
constexpr WORD TYPEFLAG_FDUAL = 0x0040;
constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x0080;
constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x0100;
constexpr WORD TYPEFLAG_FRESTRICTED = 0x0200;
constexpr WORD TYPEFLAG_FAGGREGATABLE = 0x0400;
constexpr WORD TYPEFLAG_FREPLACEABLE = 0x0800;
constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;
constexpr WORD TYPEFLAG_FREVERSEBIND = 0x2000;
constexpr WORD TYPEFLAG_FPROXY = 0x4000;

// Implemented-type flags (ITypeInfo::GetImplTypeFlags).
constexpr INT IMPLTYPEFLAG_FDEFAULT = 0x1;
constexpr INT IMPLTYPEFLAG_FSOURCE = 0x2;
constexpr INT IMPLTYPEFLAG_FRESTRICTED = 0x4;
constexpr INT IMPLTYPEFLAG_FDEFAULTVTABLE = 0x8;

// Library flags (TLIBATTR::wLibFlags).
constexpr WORD LIBFLAG_FRESTRICTED = 0x1;
constexpr WORD LIBFLAG_FCONTROL = 0x2;
constexpr WORD LIBFLAG_FHIDDEN = 0x4;
constexpr WORD LIBFLAG_FHASDISKIMAGE = 0x8;

struct ARRAYDESC;

// A type: vt, and for VT_PTR/VT_SAFEARRAY the pointed-to/element type, for VT_CARRAY the
// array description, for VT_USERDEFINED the reference to the type's ITypeInfo.
struct TYPEDESC {
    union {
        TYPEDESC* lptdesc;
        ARRAYDESC* lpadesc;
        HREFTYPE hreftype;
    };
    VARTYPE vt;
};

struct ARRAYDESC {
    TYPEDESC tdescElem;
    USHORT cDims;
    SAFEARRAYBOUND rgbounds[1];
};

struct PARAMDESCEX {
    ULONG cBytes;
    VARIANTARG varDefaultValue;
};
using LPPARAMDESCEX = PARAMDESCEX*;

struct PARAMDESC {
    LPPARAMDESCEX pparamdescex;  // default value, with PARAMFLAG_FHASDEFAULT
    USHORT wParamFlags;
};

struct IDLDESC {
    ULONG_PTR dwReserved;
    USHORT wIDLFlags;
};

struct ELEMDESC {
    TYPEDESC tdesc;
    union {
        IDLDESC idldesc;
        PARAMDESC paramdesc;
    };
};

struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
};

struct FUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    SHORT cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
};

struct VARDESC {
    MEMBERID memid;
    LPOLESTR lpstrSchema;
    union {
        ULONG oInst;
        VARIANT* lpvarValue;
    };
    ELEMDESC elemdescVar;
    WORD wVarFlags;
    VARKIND varkind;
};

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
};

union BINDPTR {
    FUNCDESC* lpfuncdesc;
    VARDESC* lpvardesc;
    ITypeComp* lptcomp;
};

struct ITypeComp : public IUnknown {
    virtual HRESULT Bind(LPOLESTR szName, ULONG lHashVal, WORD wFlags, ITypeInfo** ppTInfo,
                         DESCKIND* pDescKind, BINDPTR* pBindPtr) = 0;
    virtual HRESULT BindType(LPOLESTR szName, ULONG lHashVal, ITypeInfo** ppTInfo,
                             ITypeComp** ppTComp) = 0;
};
TEVO_COM_INTERFACE_IID(ITypeComp, IID_ITypeComp);

struct ITypeInfo : public IUnknown {
    virtual HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
    virtual HRESULT GetTypeComp(ITypeComp** ppTComp) = 0;
    virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
    virtual HRESULT GetVarDesc(UINT index, VARDESC** ppVarDesc) = 0;
    virtual HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
    virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
    virtual HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
    virtual HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
    virtual HRESULT Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
    virtual HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                     DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
    virtual HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName,
                                BSTR* pBstrName, WORD* pwOrdinal) = 0;
    virtual HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, PVOID* ppv) = 0;
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) = 0;
    virtual HRESULT GetMops(MEMBERID memid, BSTR* pBstrMops) = 0;
    virtual HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
    virtual void ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
    virtual void ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;
    virtual void ReleaseVarDesc(VARDESC* pVarDesc) = 0;
};
using LPTYPEINFO = ITypeInfo*;
TEVO_COM_INTERFACE_IID(ITypeInfo, IID_ITypeInfo);

struct ITypeLib : public IUnknown {
    virtual UINT GetTypeInfoCount() = 0;
    virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
    virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
    virtual HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
    virtual HRESULT GetTypeComp(ITypeComp** ppTComp) = 0;
    virtual HRESULT GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                     DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
    virtual HRESULT IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) = 0;
    virtual HRESULT FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo,
                             MEMBERID* rgMemId, USHORT* pcFound) = 0;
    virtual void ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;
};
using LPTYPELIB = ITypeLib*;
TEVO_COM_INTERFACE_IID(ITypeLib, IID_ITypeLib);

// ---- Loading and registering type libraries ----
//
// Objects. A loaded library and its type descriptions are immutable and may be used from
// any thread at once. A type description keeps its library alive. Loaded libraries are
// cached by file (a changed file is read again), so loading the same file twice gives the
// same object. The OLE Automation library stdole2.tlb ({00020430-0000-0000-C000-000000000046}
// 2.0: IUnknown, IDispatch) is built in: its file name and LoadRegTypeLib of its identifier
// give it without a file or a registration. The set-up of every new system root registers
// the platform's own libraries: IviDriverTypeLib.tlb, IviSpecAnTypeLib.tlb and
// TraceRuntime.tlb, the files next to libtevocom.so.
//
// ITypeLib: GetTypeComp is not implemented (E_NOTIMPL). IsName and FindName compare names
// without regard to letter case, ignore lHashVal and copy the name as the library spells it
// into szNameBuf; they look at type and member names.
//
// ITypeInfo: the methods that call or bind members answer as follows.
//   Invoke                  interfaces: calls the member through the instance's vtable,
//                           as tevo/com/automation.h describes (members of base
//                           interfaces included); dispinterfaces: the instance's
//                           IDispatch::Invoke; other kinds DISP_E_MEMBERNOTFOUND.
//                           E_INVALIDARG without an instance or DISPPARAMS
//   GetTypeComp             an ITypeComp whose Bind finds a member by name (any letter
//                           case) and invoke kind (wFlags 0: any) in the type and then in
//                           its base interfaces: DESCKIND_FUNCDESC or DESCKIND_VARDESC with
//                           the description and the ITypeInfo that holds it (the caller
//                           releases both through that ITypeInfo); DESCKIND_NONE when no
//                           member has the name, TYPE_E_TYPEMISMATCH when it has only other
//                           invoke kinds. BindType finds a type of the same library by name
//                           (*ppTComp stays null); S_OK with nothing when there is none
//   GetDllEntry,
//   AddressOfMember         TYPE_E_BADMODULEKIND (no library here has modules)
//   GetMops                 S_OK with a null string, as for every type without one
//   CreateInstance          a coclass: CoCreateInstance of its class (CLSCTX_SERVER);
//                           other kinds TYPE_E_WRONGTYPEKIND
// GetNames, GetIDsOfNames and GetDocumentation look for a member in the type and then in
// its base interfaces. GetNames lists the member's name and its named parameters: the
// value parameter of a property put has no name, so it gives only the member's name.
// Hreftypes are opaque; GetRefTypeInfo resolves those of imported libraries through the
// registry (LoadRegTypeLib by identifier and version), then next to the importing file (the
// file the IDL imported, or that name with the extension .tlb). A failed resolution is
// tried again on the next call; a successful one is kept by the library object.
// FUNCDESC, VARDESC, TYPEATTR and TLIBATTR are single allocations that only the matching
// Release... function frees. Out-pointers that Windows requires give E_INVALIDARG when
// null; indexes out of range give TYPE_E_ELEMENTNOTFOUND.

enum REGKIND { REGKIND_DEFAULT = 0, REGKIND_REGISTER, REGKIND_NONE };

extern "C" {

// Loads a type library from a file: a binary type library (.tlb), or a shared library that
// embeds one as resource type "TYPELIB", identifier 1; "path\N" names resource N of the
// shared library at path ("path\1" is the same as "path"). "\" counts as "/" and names are
// matched without regard to letter case, as the file functions do. E_INVALIDARG for null
// arguments; TYPE_E_CANTLOADLIBRARY for a file that is missing, unreadable, not a type
// library or a shared library without that resource; TYPE_E_INVALIDSTATE for a type
// library that is damaged (truncated, bad checksum, inconsistent content). *pptlib is null
// on failure.
HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
// LoadTypeLib, then with REGKIND_REGISTER RegisterTypeLib with the file's full path and its
// folder as help directory. REGKIND_DEFAULT registers nothing (as REGKIND_NONE).
HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib);
// Loads the library registered under HKEY_CLASSES_ROOT\TypeLib\{rguid}: the version
// wVerMajor.wVerMinor, or the highest registered minor version above it; for the locale
// lcid, then its primary language, then neutral (0), then English, then any registered;
// target system win32, then win64. TYPE_E_LIBNOTREGISTERED when nothing fits; otherwise
// what LoadTypeLib gives for the registered path.
HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);
// The path LoadRegTypeLib would load, in a new BSTR.
HRESULT QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid,
                              BSTR* lpbstrPathName);
// Writes under HKEY_CLASSES_ROOT, in one registry change:
//   TypeLib\{libid}\<maj>.<min>            default: the library's help string (its name
//                                          when it has none); versions and the locale in
//                                          hexadecimal, as Windows writes them
//   TypeLib\{libid}\<maj>.<min>\FLAGS      default: the library flags, decimal ("0")
//   TypeLib\{libid}\<maj>.<min>\HELPDIR    default: szHelpDir (no value when null)
//   TypeLib\{libid}\<maj>.<min>\<lcid>\win32  default: szFullPath
// and for each oleautomation or dual interface and each dispinterface
//   Interface\{iid}                       default: the interface name
//   Interface\{iid}\ProxyStubClsid, ...\ProxyStubClsid32
//                                          {00020424-0000-0000-C000-000000000046}
//                                          ({00020420-...} for a pure dispinterface)
//   Interface\{iid}\TypeLib                default: {libid}; "Version": "<maj>.<min>"
// E_INVALIDARG for a null library or path; TYPE_E_REGISTRYACCESS when the registry cannot
// be written; failures of the library's own methods as they come.
HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
// Removes what RegisterTypeLib wrote for that version, locale and target system: the
// interface keys whose TypeLib names this library and version (found by loading the
// registered file), the target-system key, then each of the locale, version and
// TypeLib\{libid} keys that is left without other registrations. A register and unregister
// pair leaves the registry as it was. TYPE_E_REGISTRYACCESS when that registration does
// not exist or the registry cannot be changed; E_INVALIDARG for an unknown syskind.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                          SYSKIND syskind);
// A hash of a name for IsName and FindName, equal for names that differ only in letter
// case. (This runtime ignores the hash; it exists for callers written for Windows.)
ULONG LHashValOfNameSys(SYSKIND syskind, LCID lcid, const OLECHAR* szName);

}  // extern "C"

#define LHashValOfName(lcid, szName) LHashValOfNameSys(SYS_WIN32, lcid, szName)
