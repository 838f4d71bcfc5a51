// The ITypeInfo object of one type of a loaded library. It lives as long as its library:
// its reference count is the library's.
#pragma once

#include <string>
#include <vector>

#include "tevo/com/com_ptr.h"
#include "tevo/com/typeinfo.h"
#include "tevo/idl/typelib_model.h"

namespace tevo::com::typelib {

class TypeLibraryObject;

class TypeInfoObject final : public ITypeInfo {
  public:
    TypeInfoObject(TypeLibraryObject& library, UINT index);
    ~TypeInfoObject() = default;
    TypeInfoObject(const TypeInfoObject&) = delete;
    TypeInfoObject& operator=(const TypeInfoObject&) = delete;

    const idl::TypeInfo& model() const { return type_; }

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // ITypeInfo
    HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) override;
    HRESULT GetTypeComp(ITypeComp** ppTComp) override;
    HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
    HRESULT GetVarDesc(UINT index, VARDESC** ppVarDesc) override;
    HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override;
    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override;
    HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override;
    HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override;
    HRESULT Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
    HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                             DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
    HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName,
                        WORD* pwOrdinal) override;
    HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
    HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, PVOID* ppv) override;
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) override;
    HRESULT GetMops(MEMBERID memid, BSTR* pBstrMops) override;
    HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
    void ReleaseTypeAttr(TYPEATTR* pTypeAttr) override;
    void ReleaseFuncDesc(FUNCDESC* pFuncDesc) override;
    void ReleaseVarDesc(VARDESC* pVarDesc) override;

  private:
    // The base interface (implemented type 0 of an interface), or null for other kinds and
    // for IUnknown; null too when it cannot be resolved.
    tevo::com::ComPtr<ITypeInfo> BaseInterface() const;
    // The names GetNames gives for a member of this type itself; false when it has none
    // with that id.
    bool OwnNames(MEMBERID memid, std::vector<std::string>* names) const;
    // The function of this type itself with that id whose invoke kind is one of `flags`.
    const idl::Func* InvocableFunc(MEMBERID memid, WORD flags) const;

    TypeLibraryObject& library_;
    const UINT index_;
    const idl::TypeInfo& type_;
};

}  // namespace tevo::com::typelib
