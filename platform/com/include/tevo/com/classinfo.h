// IProvideClassInfo/IProvideClassInfo2: an object's coclass type information.
#pragma once

#include "tevo/com/typeinfo.h"
#include "tevo/com/unknown.h"
#include "tevo/win/types.h"

inline constexpr IID IID_IProvideClassInfo = {
    0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IProvideClassInfo2 = {
    0xA6BC3AC0, 0xDBAA, 0x11CE, {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};

// dwGuidKind of IProvideClassInfo2::GetGUID: the IID of the default source dispinterface.
constexpr DWORD GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

struct IProvideClassInfo : public IUnknown {
    virtual HRESULT GetClassInfo(ITypeInfo** ppTI) = 0;
};
using LPPROVIDECLASSINFO = IProvideClassInfo*;
TEVO_COM_INTERFACE_IID(IProvideClassInfo, IID_IProvideClassInfo);

struct IProvideClassInfo2 : public IProvideClassInfo {
    virtual HRESULT GetGUID(DWORD dwGuidKind, GUID* pGUID) = 0;
};
using LPPROVIDECLASSINFO2 = IProvideClassInfo2*;
TEVO_COM_INTERFACE_IID(IProvideClassInfo2, IID_IProvideClassInfo2);
