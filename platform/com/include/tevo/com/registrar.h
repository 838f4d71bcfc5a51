// The platform's registration components, both in-process servers registered in every new
// system root:
//
// - The registrar (CLSID_Registrar, interface IRegistrar) runs registry scripts: text in
//   the registrar script language that names keys and values under HKEY_CLASSES_ROOT,
//   HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER. A script is registered (keys and values
//   written) or unregistered (exactly what registration wrote is removed again).
//
// - The component-categories manager (CLSID_StdComponentCategoriesMgr, interface
//   ICatRegister, with the identifiers and methods Windows documents) records categories
//   under HKEY_CLASSES_ROOT\Component Categories and the categories a class implements or
//   requires under CLSID\{clsid}\Implemented Categories and \Required Categories.
//
// The registrar script language. Tokens are separated by blanks (spaces, tabs, line
// ends); a token in apostrophes may hold blanks, and two apostrophes in it stand for one.
//
//   HKCR                                   root key: HKCR, HKLM, HKCU or their long names
//   {
//       Vendor.Class.1 = s 'Class description'        key with a default string value
//       {
//           CLSID = s '{...}'
//       }
//       NoRemove CLSID                     never removed at unregistration (its subkeys are)
//       {
//           ForceRemove {...} = s 'Class'  removed with everything below it first, and
//           {                              removed as a whole at unregistration
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Both'   named string value
//               }
//               val Flags = d 17           named DWORD value (decimal or 0x hexadecimal)
//               'Programmable'             a key with no value
//           }
//       }
//       Delete Obsolete.Class              removed at registration, ignored at
//   }                                      unregistration
//
// Replacements: %NAME% is replaced by the text added with AddReplacement (names match
// without regard to case) before the script is read; %% stands for one percent sign. A
// caller that puts a replacement inside apostrophes doubles the apostrophes of its text.
//
// Unregistration walks the script bottom-up: ForceRemove keys go with all below them;
// named values of the script are deleted; any other key is deleted once it has no subkeys
// and no named values left (so keys that others put things in stay); NoRemove keys and
// Delete entries are left alone. Keys that are not there are skipped.
//
// Failures: a script that cannot be read (a syntax error, an unknown replacement, an
// unknown root key or value type) fails with DISP_E_EXCEPTION before anything is changed,
// and the thread's error information (GetErrorInfo) describes the problem with its line;
// a registry failure returns its HRESULT_FROM_WIN32 code.
#pragma once

#include "tevo/com/unknown.h"
#include "tevo/win/types.h"

// {6E3C2A10-4B9D-4F21-8E57-1C0A9B3D7E41}
inline constexpr CLSID CLSID_Registrar = {
    0x6E3C2A10, 0x4B9D, 0x4F21, {0x8E, 0x57, 0x1C, 0x0A, 0x9B, 0x3D, 0x7E, 0x41}};
// {6E3C2A11-4B9D-4F21-8E57-1C0A9B3D7E41}
inline constexpr IID IID_IRegistrar = {
    0x6E3C2A11, 0x4B9D, 0x4F21, {0x8E, 0x57, 0x1C, 0x0A, 0x9B, 0x3D, 0x7E, 0x41}};

struct IRegistrar : public IUnknown {
    // Adds (or replaces) the replacement %key% with `item`.
    virtual HRESULT AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
    virtual HRESULT ClearReplacements() = 0;
    // Runs the script held by the module file's resource of `type` (e.g. L"REGISTRY") and
    // numeric id. The module is loaded for the purpose and freed afterwards; a module or
    // resource that cannot be found gives its HRESULT_FROM_WIN32 code.
    virtual HRESULT ResourceRegister(LPCOLESTR module_file, UINT resource_id, LPCOLESTR type) = 0;
    virtual HRESULT ResourceUnregister(LPCOLESTR module_file, UINT resource_id, LPCOLESTR type) = 0;
    // Runs the script given as text.
    virtual HRESULT StringRegister(LPCOLESTR script) = 0;
    virtual HRESULT StringUnregister(LPCOLESTR script) = 0;
};
TEVO_COM_INTERFACE_IID(IRegistrar, IID_IRegistrar);

// ---- Component categories ----
using CATID = GUID;
using REFCATID = const CATID&;

struct CATEGORYINFO {
    CATID catid;
    LCID lcid;
    OLECHAR szDescription[128];
};

// {0002E005-0000-0000-C000-000000000046}
inline constexpr CLSID CLSID_StdComponentCategoriesMgr = {
    0x0002E005, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {0002E012-0000-0000-C000-000000000046}
inline constexpr IID IID_ICatRegister = {
    0x0002E012, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct ICatRegister : public IUnknown {
    // Writes Component Categories\{catid} with the description as the value named by the
    // locale in hexadecimal (e.g. "409").
    virtual HRESULT RegisterCategories(ULONG cCategories, CATEGORYINFO rgCategoryInfo[]) = 0;
    // Removes Component Categories\{catid} with everything below it, and "Component
    // Categories" itself once it is empty.
    virtual HRESULT UnRegisterCategories(ULONG cCategories, CATID rgcatid[]) = 0;
    // Adds CLSID\{clsid}\Implemented Categories\{catid} for each category.
    virtual HRESULT RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                CATID rgcatid[]) = 0;
    // Removes those keys, and "Implemented Categories" itself once it is empty.
    virtual HRESULT UnRegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                  CATID rgcatid[]) = 0;
    // The same under CLSID\{clsid}\Required Categories.
    virtual HRESULT RegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                               CATID rgcatid[]) = 0;
    virtual HRESULT UnRegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                 CATID rgcatid[]) = 0;
};
TEVO_COM_INTERFACE_IID(ICatRegister, IID_ICatRegister);
