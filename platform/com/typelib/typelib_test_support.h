// Helpers of the type-library runtime tests: the generated type libraries, owning holders
// for the descriptions, and lookups by name.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"
#include "tevo/com/typeinfo.h"
#include "tevo/win/text.h"

namespace tevo::com::typelib::testing {

using tevo::com::Bstr;
using tevo::com::ComPtr;

// A type library produced by the build (IviDriverTypeLib.tlb, Tevo.tlb, ...).
inline std::filesystem::path GeneratedTlb(const std::string& name) {
    return std::filesystem::path(TEVO_GENERATED_DIR) / name;
}

inline std::wstring Wide(const std::filesystem::path& path) {
    return tevo::win::Utf8ToWide(path.string());
}

inline ComPtr<ITypeLib> Load(const std::filesystem::path& path) {
    ComPtr<ITypeLib> library;
    EXPECT_EQ(LoadTypeLib(Wide(path).c_str(), &library), S_OK) << path;
    return library;
}

inline ComPtr<ITypeLib> LoadGenerated(const std::string& name) {
    return Load(GeneratedTlb(name));
}

// The type of the library with that name (empty when there is none).
inline ComPtr<ITypeInfo> TypeNamed(ITypeLib* library, const std::string& name) {
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        Bstr found;
        if (SUCCEEDED(library->GetDocumentation(static_cast<INT>(i), &found, nullptr, nullptr,
                                                nullptr)) &&
            found.ToUtf8() == name) {
            ComPtr<ITypeInfo> type;
            EXPECT_EQ(library->GetTypeInfo(i, &type), S_OK);
            return type;
        }
    }
    ADD_FAILURE() << "no type " << name;
    return nullptr;
}

inline std::string TypeName(ITypeInfo* type) {
    Bstr name;
    EXPECT_EQ(type->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    return name.ToUtf8();
}

// A TYPEATTR, FUNCDESC or VARDESC released by its type description on scope exit.
class TypeAttr {
  public:
    explicit TypeAttr(ITypeInfo* type) : type_(type) { EXPECT_EQ(type->GetTypeAttr(&attr_), S_OK); }
    ~TypeAttr() {
        if (attr_ != nullptr) {
            type_->ReleaseTypeAttr(attr_);
        }
    }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    const TYPEATTR* operator->() const { return attr_; }

  private:
    ITypeInfo* type_;
    TYPEATTR* attr_ = nullptr;
};

class FuncDesc {
  public:
    FuncDesc(ITypeInfo* type, UINT index) : type_(type) {
        EXPECT_EQ(type->GetFuncDesc(index, &desc_), S_OK);
    }
    ~FuncDesc() {
        if (desc_ != nullptr) {
            type_->ReleaseFuncDesc(desc_);
        }
    }
    FuncDesc(const FuncDesc&) = delete;
    FuncDesc& operator=(const FuncDesc&) = delete;
    const FUNCDESC* operator->() const { return desc_; }
    const ELEMDESC& Param(int i) const { return desc_->lprgelemdescParam[i]; }

  private:
    ITypeInfo* type_;
    FUNCDESC* desc_ = nullptr;
};

class VarDesc {
  public:
    VarDesc(ITypeInfo* type, UINT index) : type_(type) {
        EXPECT_EQ(type->GetVarDesc(index, &desc_), S_OK);
    }
    ~VarDesc() {
        if (desc_ != nullptr) {
            type_->ReleaseVarDesc(desc_);
        }
    }
    VarDesc(const VarDesc&) = delete;
    VarDesc& operator=(const VarDesc&) = delete;
    const VARDESC* operator->() const { return desc_; }

  private:
    ITypeInfo* type_;
    VARDESC* desc_ = nullptr;
};

// The name of a member (its first name in GetNames).
inline std::string MemberName(ITypeInfo* type, MEMBERID memid) {
    Bstr name;
    UINT count = 0;
    BSTR raw = nullptr;
    EXPECT_EQ(type->GetNames(memid, &raw, 1, &count), S_OK);
    name.Attach(raw);
    return name.ToUtf8();
}

// The index of the function with that name and invoke kind; -1 when there is none.
inline int FuncIndex(ITypeInfo* type, const std::string& name, INVOKEKIND kind = INVOKE_FUNC) {
    const TypeAttr attr(type);
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        const FuncDesc func(type, i);
        if (func->invkind == kind && MemberName(type, func->memid) == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The type an hreftype names, and that type's name.
inline ComPtr<ITypeInfo> RefType(ITypeInfo* type, HREFTYPE href) {
    ComPtr<ITypeInfo> target;
    EXPECT_EQ(type->GetRefTypeInfo(href, &target), S_OK);
    return target;
}

}  // namespace tevo::com::typelib::testing
