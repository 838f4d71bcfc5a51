#include "type_library_object.h"

#include <new>
#include <string>
#include <utility>

#include "member_names.h"
#include "tevo/com/bstr.h"
#include "tevo/idl/stdole2.h"
#include "tevo/win/text.h"
#include "type_descriptions.h"
#include "type_info_object.h"

namespace tevo::com::typelib {

using tevo::com::ComPtr;

TypeLibraryObject* TypeLibraryObject::Create(idl::Library model, std::filesystem::path file) {
    return new (std::nothrow) TypeLibraryObject(std::move(model), std::move(file), false);
}

TypeLibraryObject* TypeLibraryObject::Stdole2() {
    // Never destroyed: type descriptions of other libraries may refer to it until exit.
    static TypeLibraryObject* const library = new TypeLibraryObject(idl::Stdole2(), {}, true);
    return library;
}

TypeLibraryObject::TypeLibraryObject(idl::Library model, std::filesystem::path file, bool built_in)
    : model_(std::move(model)),
      file_(std::move(file)),
      built_in_(built_in),
      imported_libraries_(model_.imports.size()),
      imported_types_(model_.imported_types.size()) {
    types_.reserve(model_.types.size());
    for (std::size_t i = 0; i < model_.types.size(); ++i) {
        types_.push_back(std::make_unique<TypeInfoObject>(*this, static_cast<UINT>(i)));
    }
}

TypeLibraryObject::~TypeLibraryObject() = default;

HRESULT TypeLibraryObject::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_ITypeLib) {
        *ppvObject = static_cast<ITypeLib*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG TypeLibraryObject::AddRef() {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG TypeLibraryObject::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0 && !built_in_) {
        delete this;
    }
    return left;
}

UINT TypeLibraryObject::GetTypeInfoCount() {
    return static_cast<UINT>(types_.size());
}

HRESULT TypeLibraryObject::GetTypeInfo(UINT index, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) {
        return E_INVALIDARG;
    }
    *ppTInfo = nullptr;
    if (index >= types_.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *ppTInfo = types_[index].get();
    AddRef();
    return S_OK;
}

HRESULT TypeLibraryObject::GetTypeInfoType(UINT index, TYPEKIND* pTKind) {
    if (pTKind == nullptr) {
        return E_INVALIDARG;
    }
    if (index >= types_.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *pTKind = static_cast<TYPEKIND>(model_.types[index].kind);
    return S_OK;
}

HRESULT TypeLibraryObject::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) {
    if (ppTinfo == nullptr) {
        return E_INVALIDARG;
    }
    *ppTinfo = nullptr;
    if (guid == GUID_NULL) {
        return TYPE_E_ELEMENTNOTFOUND;  // types without a uuid are not found by it
    }
    for (std::size_t i = 0; i < model_.types.size(); ++i) {
        if (model_.types[i].guid == guid) {
            return GetTypeInfo(static_cast<UINT>(i), ppTinfo);
        }
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibraryObject::GetLibAttr(TLIBATTR** ppTLibAttr) {
    if (ppTLibAttr == nullptr) {
        return E_INVALIDARG;
    }
    const WORD flags = static_cast<WORD>(model_.flags | (built_in_ ? 0 : LIBFLAG_FHASDISKIMAGE));
    *ppTLibAttr = NewLibAttr(model_, flags);
    return *ppTLibAttr == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT TypeLibraryObject::GetTypeComp(ITypeComp** ppTComp) {
    if (ppTComp != nullptr) {
        *ppTComp = nullptr;
    }
    return E_NOTIMPL;  // name binding (ITypeComp) is not provided
}

HRESULT TypeLibraryObject::GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                            DWORD* pdwHelpContext, BSTR* pBstrHelpFile) {
    for (BSTR* out : {pBstrName, pBstrDocString, pBstrHelpFile}) {
        if (out != nullptr) {
            *out = nullptr;
        }
    }
    if (index < -1 || (index >= 0 && static_cast<std::size_t>(index) >= model_.types.size())) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    const std::string& name = index == -1 ? model_.name : model_.types[index].name;
    const idl::Documentation& doc = index == -1 ? model_.doc : model_.types[index].doc;
    if (pdwHelpContext != nullptr) {
        *pdwHelpContext = doc.help_context;
    }
    if (StoreText(name, pBstrName) && StoreText(doc.help_string, pBstrDocString) &&
        StoreText(model_.help_file, pBstrHelpFile)) {
        return S_OK;
    }
    for (BSTR* out : {pBstrName, pBstrDocString, pBstrHelpFile}) {
        if (out != nullptr) {
            SysFreeString(*out);
            *out = nullptr;
        }
    }
    return E_OUTOFMEMORY;
}

namespace {

// The first member of a type with the name; null when there is none.
const std::string* MatchingMember(const idl::TypeInfo& type, const NameQuery& query,
                                  MEMBERID* memid) {
    for (const idl::Func& func : type.funcs) {
        if (query.Matches(func.name)) {
            *memid = func.member_id;
            return &func.name;
        }
    }
    for (const idl::Var& var : type.vars) {
        if (query.Matches(var.name)) {
            *memid = var.member_id;
            return &var.name;
        }
    }
    return nullptr;
}

}  // namespace

HRESULT TypeLibraryObject::IsName(LPOLESTR szNameBuf, ULONG /*lHashVal*/, BOOL* pfName) {
    if (szNameBuf == nullptr || pfName == nullptr) {
        return E_INVALIDARG;
    }
    *pfName = FALSE;
    const NameQuery query(szNameBuf);
    for (const idl::TypeInfo& type : model_.types) {
        MEMBERID memid = MEMBERID_NIL;
        const std::string* found =
            query.Matches(type.name) ? &type.name : MatchingMember(type, query, &memid);
        if (found != nullptr) {
            query.CopySpelling(*found, szNameBuf);
            *pfName = TRUE;
            return S_OK;
        }
    }
    return S_OK;
}

HRESULT TypeLibraryObject::FindName(LPOLESTR szNameBuf, ULONG /*lHashVal*/, ITypeInfo** ppTInfo,
                                    MEMBERID* rgMemId, USHORT* pcFound) {
    if (szNameBuf == nullptr || ppTInfo == nullptr || rgMemId == nullptr || pcFound == nullptr) {
        return E_INVALIDARG;
    }
    const USHORT wanted = *pcFound;
    USHORT found = 0;
    const NameQuery query(szNameBuf);
    for (std::size_t i = 0; i < model_.types.size() && found < wanted; ++i) {
        const idl::TypeInfo& type = model_.types[i];
        MEMBERID memid = MEMBERID_NIL;
        const std::string* match =
            query.Matches(type.name) ? &type.name : MatchingMember(type, query, &memid);
        if (match == nullptr) {
            continue;
        }
        if (found == 0) {
            query.CopySpelling(*match, szNameBuf);
        }
        ppTInfo[found] = types_[i].get();
        AddRef();
        rgMemId[found] = memid;
        ++found;
    }
    *pcFound = found;
    return S_OK;
}

void TypeLibraryObject::ReleaseTLibAttr(TLIBATTR* pTLibAttr) {
    DeleteLibAttr(pTLibAttr);
}

HRESULT TypeLibraryObject::ReferencedType(HREFTYPE href, ITypeInfo** type) {
    *type = nullptr;
    const idl::TypeRef ref = TypeRefOf(href);
    if (ref.scope == idl::TypeRef::Scope::kLocal) {
        return GetTypeInfo(ref.index, type);
    }
    if (ref.index >= model_.imported_types.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    {
        const std::lock_guard<std::mutex> lock(imports_mutex_);
        if (imported_types_[ref.index]) {
            return imported_types_[ref.index].CopyTo(type);
        }
    }
    ComPtr<ITypeInfo> found;
    const HRESULT hr = FindImportedType(ref.index, &found);
    if (FAILED(hr)) {
        return hr;
    }
    const std::lock_guard<std::mutex> lock(imports_mutex_);
    if (!imported_types_[ref.index]) {
        imported_types_[ref.index] = found;
    }
    return imported_types_[ref.index].CopyTo(type);
}

namespace {

// The imported library found next to the importing file: the file the IDL named, or the
// same name with the extension .tlb (the IDL names a module, the build makes a .tlb).
HRESULT LoadBesideFile(const std::filesystem::path& importer, const idl::ImportedLibrary& import,
                       ITypeLib** library) {
    if (importer.empty() || import.file_name.empty()) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    // The IDL may name the file with a Windows folder ("C:\Windows\x.dll"): only its name counts.
    const std::size_t slash = import.file_name.find_last_of("/\\");
    const std::string name =
        slash == std::string::npos ? import.file_name : import.file_name.substr(slash + 1);
    const std::filesystem::path named = importer.parent_path() / name;
    std::filesystem::path built = named;
    built.replace_extension(".tlb");
    for (const std::filesystem::path& candidate : {named, built}) {
        ComPtr<ITypeLib> loaded;
        if (FAILED(LoadTypeLib(tevo::win::Utf8ToWide(candidate.string()).c_str(), &loaded))) {
            continue;
        }
        TLIBATTR* attr = nullptr;
        if (SUCCEEDED(loaded->GetLibAttr(&attr))) {
            const bool same =
                attr->guid == import.libid && attr->wMajorVerNum == import.major_version;
            loaded->ReleaseTLibAttr(attr);
            if (same) {
                *library = loaded.Detach();
                return S_OK;
            }
        }
    }
    return TYPE_E_LIBNOTREGISTERED;
}

}  // namespace

HRESULT TypeLibraryObject::ImportedLibrary(std::uint32_t index, ITypeLib** library) {
    *library = nullptr;
    {
        const std::lock_guard<std::mutex> lock(imports_mutex_);
        if (imported_libraries_[index]) {
            return imported_libraries_[index].CopyTo(library);
        }
    }
    const idl::ImportedLibrary& import = model_.imports[index];
    ComPtr<ITypeLib> found;
    HRESULT hr = LoadRegTypeLib(import.libid, import.major_version, import.minor_version,
                                import.lcid, &found);
    if (FAILED(hr) && SUCCEEDED(LoadBesideFile(file_, import, &found))) {
        hr = S_OK;
    }
    if (FAILED(hr)) {
        return hr;  // not kept: a later registration may still make it available
    }
    const std::lock_guard<std::mutex> lock(imports_mutex_);
    if (!imported_libraries_[index]) {
        imported_libraries_[index] = found;
    }
    return imported_libraries_[index].CopyTo(library);
}

HRESULT TypeLibraryObject::FindImportedType(std::uint32_t index, ITypeInfo** type) {
    const idl::ImportedType& wanted = model_.imported_types[index];
    ComPtr<ITypeLib> library;
    HRESULT hr = ImportedLibrary(wanted.library, &library);
    if (FAILED(hr)) {
        return hr;
    }
    if (wanted.guid != GUID_NULL) {
        return library->GetTypeInfoOfGuid(wanted.guid, type);
    }
    // Types without a uuid (enumerations) are found by name.
    const std::wstring name = tevo::win::Utf8ToWide(wanted.name);
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        BSTR candidate = nullptr;
        hr = library->GetDocumentation(static_cast<INT>(i), &candidate, nullptr, nullptr, nullptr);
        const bool same = SUCCEEDED(hr) && candidate != nullptr && name == candidate;
        SysFreeString(candidate);
        if (same) {
            return library->GetTypeInfo(i, type);
        }
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

}  // namespace tevo::com::typelib
