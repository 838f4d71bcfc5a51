// The ITypeLib object of a loaded type library: the immutable model with one ITypeInfo
// object per type, and the libraries and types it imports, resolved on first use.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "tevo/com/com_ptr.h"
#include "tevo/com/typeinfo.h"
#include "tevo/idl/typelib_model.h"

namespace tevo::com::typelib {

class TypeInfoObject;

class TypeLibraryObject final : public ITypeLib {
  public:
    // A library object over the model, with one reference for the caller; null when memory
    // runs out. `file` is the file the library was read from: the folder where imported
    // libraries are looked for when the registry does not know them.
    static TypeLibraryObject* Create(idl::Library model, std::filesystem::path file);
    // The built-in OLE Automation library (stdole2), created once and never destroyed. The
    // caller gets no reference of its own: AddRef it to hand it out.
    static TypeLibraryObject* Stdole2();

    const idl::Library& model() const { return model_; }
    TypeInfoObject& type(std::size_t index) const { return *types_[index]; }

    // The type an hreftype of this library names, with a reference for the caller. Imported
    // types are resolved on first use and kept. TYPE_E_ELEMENTNOTFOUND for an hreftype that
    // names nothing; the failure of finding an imported library as it comes.
    HRESULT ReferencedType(HREFTYPE href, ITypeInfo** type);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // ITypeLib
    UINT GetTypeInfoCount() override;
    HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override;
    HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) override;
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override;
    HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) override;
    HRESULT GetTypeComp(ITypeComp** ppTComp) override;
    HRESULT GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                             DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
    HRESULT IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) override;
    HRESULT FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                     USHORT* pcFound) override;
    void ReleaseTLibAttr(TLIBATTR* pTLibAttr) override;

    TypeLibraryObject(const TypeLibraryObject&) = delete;
    TypeLibraryObject& operator=(const TypeLibraryObject&) = delete;

  private:
    TypeLibraryObject(idl::Library model, std::filesystem::path file, bool built_in);
    ~TypeLibraryObject();

    // The imported library of model_.imports[index], with a reference for the caller.
    HRESULT ImportedLibrary(std::uint32_t index, ITypeLib** library);
    // The type of model_.imported_types[index] found in its library.
    HRESULT FindImportedType(std::uint32_t index, ITypeInfo** type);

    std::atomic<ULONG> refs_{1};
    const idl::Library model_;
    const std::filesystem::path file_;
    const bool built_in_;
    std::vector<std::unique_ptr<TypeInfoObject>> types_;

    // What imports resolved to; filled once per entry, under the mutex, and never changed
    // afterwards. Resolution itself runs without the mutex held (it reads the registry and
    // loads files, which must not wait for other threads of this library).
    std::mutex imports_mutex_;
    std::vector<tevo::com::ComPtr<ITypeLib>> imported_libraries_;
    std::vector<tevo::com::ComPtr<ITypeInfo>> imported_types_;
};

}  // namespace tevo::com::typelib
