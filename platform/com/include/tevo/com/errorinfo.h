// COM error information: the error object (IErrorInfo, built through ICreateErrorInfo),
// the per-thread error slot (SetErrorInfo/GetErrorInfo) and ISupportErrorInfo.
//
// The slot belongs to the calling thread: an object stored by one thread is never seen by
// another, and a thread's object is released when the thread ends. GetErrorInfo takes the
// object out of the slot (the caller owns the reference) and leaves the slot empty.
#pragma once

#include "tevo/com/unknown.h"
#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

inline constexpr IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

struct IErrorInfo : public IUnknown {
    virtual HRESULT GetGUID(GUID* pGUID) = 0;
    virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
    virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
    virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
    virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;
};
using LPERRORINFO = IErrorInfo*;
TEVO_COM_INTERFACE_IID(IErrorInfo, IID_IErrorInfo);

struct ICreateErrorInfo : public IUnknown {
    virtual HRESULT SetGUID(REFGUID rguid) = 0;
    virtual HRESULT SetSource(LPOLESTR szSource) = 0;
    virtual HRESULT SetDescription(LPOLESTR szDescription) = 0;
    virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) = 0;
    virtual HRESULT SetHelpContext(DWORD dwHelpContext) = 0;
};
using LPCREATEERRORINFO = ICreateErrorInfo*;
TEVO_COM_INTERFACE_IID(ICreateErrorInfo, IID_ICreateErrorInfo);

struct ISupportErrorInfo : public IUnknown {
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};
using LPSUPPORTERRORINFO = ISupportErrorInfo*;
TEVO_COM_INTERFACE_IID(ISupportErrorInfo, IID_ISupportErrorInfo);

extern "C" {
// A new, empty error object with ICreateErrorInfo and IErrorInfo. Its getters return null
// BSTRs for texts never set, GUID_NULL and help context 0.
HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Stores perrinfo (AddRef'ed; may be null to clear) in the calling thread's slot and
// releases the object stored before. dwReserved must be 0.
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Moves the calling thread's error object to *pperrinfo: S_OK with the object, or S_FALSE
// and null when there is none. dwReserved must be 0.
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
}
