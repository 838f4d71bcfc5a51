#include "type_descriptions.h"

#include <cstddef>
#include <new>
#include <string>

#include "tevo/com/bstr.h"
#include "tevo/com/variant.h"
#include "tevo/win/text.h"

namespace tevo::com::typelib {

namespace {

// One block of memory carved into the pieces of a description, in the order they are asked
// for. The first piece is the description itself, so its address frees the block.
class Block {
  public:
    static constexpr std::size_t kAlign = alignof(std::max_align_t);

    // Adds room for n objects of type T to the size of the block to be allocated.
    template <class T>
    void Reserve(std::size_t n = 1) {
        size_ += Rounded(sizeof(T) * n);
    }
    bool Allocate() {
        base_ = static_cast<std::byte*>(::operator new(size_, std::nothrow));
        return base_ != nullptr;
    }
    // The next n value-initialised objects of type T.
    template <class T>
    T* Take(std::size_t n = 1) {
        auto* first = reinterpret_cast<T*>(base_ + used_);
        for (std::size_t i = 0; i < n; ++i) {
            new (first + i) T{};
        }
        used_ += Rounded(sizeof(T) * n);
        return first;
    }

  private:
    static std::size_t Rounded(std::size_t size) { return (size + kAlign - 1) / kAlign * kAlign; }

    std::size_t size_ = 0;
    std::size_t used_ = 0;
    std::byte* base_ = nullptr;
};

// The TYPEDESC nodes a type description needs besides the one it is stored in: one for
// what each VT_PTR or VT_SAFEARRAY wraps.
std::size_t ExtraTypeNodes(const idl::TypeDesc& type) {
    return type.wrappers.size();
}

void FillTypeDesc(const idl::TypeDesc& source, TYPEDESC* target, Block& block) {
    TYPEDESC* node = target;
    for (idl::VarType wrapper : source.wrappers) {
        node->vt = static_cast<VARTYPE>(wrapper);
        node->lptdesc = block.Take<TYPEDESC>();
        node = node->lptdesc;
    }
    node->vt = static_cast<VARTYPE>(source.base);
    if (source.base == idl::VarType::kUserDefined) {
        node->hreftype = HrefOf(source.ref);
    }
}

}  // namespace

HREFTYPE HrefOf(const idl::TypeRef& ref) {
    return (ref.index << 1) | (ref.scope == idl::TypeRef::Scope::kImported ? 1u : 0u);
}

idl::TypeRef TypeRefOf(HREFTYPE href) {
    idl::TypeRef ref;
    ref.scope = (href & 1u) != 0 ? idl::TypeRef::Scope::kImported : idl::TypeRef::Scope::kLocal;
    ref.index = href >> 1;
    return ref;
}

HRESULT ValueToVariant(const idl::Value& value, VARIANT* out) {
    VariantInit(out);
    switch (value.vt) {
        case idl::VarType::kEmpty:
        case idl::VarType::kNull:
            break;
        case idl::VarType::kI1:
            out->cVal = static_cast<CHAR>(value.integer);
            break;
        case idl::VarType::kUi1:
            out->bVal = static_cast<BYTE>(value.integer);
            break;
        case idl::VarType::kI2:
            out->iVal = static_cast<SHORT>(value.integer);
            break;
        case idl::VarType::kUi2:
            out->uiVal = static_cast<USHORT>(value.integer);
            break;
        case idl::VarType::kBool:
            out->boolVal = static_cast<VARIANT_BOOL>(value.integer);
            break;
        case idl::VarType::kI4:
        case idl::VarType::kError:
        case idl::VarType::kHresult:
            out->lVal = static_cast<LONG>(value.integer);
            break;
        case idl::VarType::kInt:
            out->intVal = static_cast<INT>(value.integer);
            break;
        case idl::VarType::kUi4:
            out->ulVal = static_cast<ULONG>(value.integer);
            break;
        case idl::VarType::kUint:
            out->uintVal = static_cast<UINT>(value.integer);
            break;
        case idl::VarType::kI8:
            out->llVal = value.integer;
            break;
        case idl::VarType::kUi8:
            out->ullVal = static_cast<ULONGLONG>(value.integer);
            break;
        case idl::VarType::kCy:
            out->cyVal.int64 = value.integer;
            break;
        case idl::VarType::kR4:
            out->fltVal = static_cast<FLOAT>(value.real);
            break;
        case idl::VarType::kR8:
            out->dblVal = value.real;
            break;
        case idl::VarType::kDate:
            out->date = value.real;
            break;
        case idl::VarType::kBstr: {
            const std::wstring text = tevo::win::Utf8ToWide(value.text);
            out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (out->bstrVal == nullptr) {
                return E_OUTOFMEMORY;
            }
            break;
        }
        default:
            // The reader accepts no other constant types; an HRESULT constant is a 32-bit
            // integer in a VARIANT, which has no VT_HRESULT of its own.
            return S_OK;
    }
    out->vt = value.vt == idl::VarType::kHresult ? VARTYPE{VT_I4} : static_cast<VARTYPE>(value.vt);
    return S_OK;
}

TLIBATTR* NewLibAttr(const idl::Library& library, WORD flags) {
    auto* attr = new (std::nothrow) TLIBATTR{};
    if (attr == nullptr) {
        return nullptr;
    }
    attr->guid = library.libid;
    attr->lcid = library.lcid;
    attr->syskind = static_cast<SYSKIND>(library.sys_kind);
    attr->wMajorVerNum = library.major_version;
    attr->wMinorVerNum = library.minor_version;
    attr->wLibFlags = flags;
    return attr;
}

void DeleteLibAttr(TLIBATTR* attr) {
    delete attr;
}

TYPEATTR* NewTypeAttr(const idl::Library& library, const idl::TypeInfo& type) {
    auto* attr = new (std::nothrow) TYPEATTR{};
    if (attr == nullptr) {
        return nullptr;
    }
    attr->guid = type.guid;
    attr->lcid = library.lcid;
    attr->memidConstructor = MEMBERID_NIL;
    attr->memidDestructor = MEMBERID_NIL;
    attr->lpstrSchema = nullptr;
    attr->cbSizeInstance = type.instance_size;
    attr->typekind = static_cast<TYPEKIND>(type.kind);
    attr->cFuncs = static_cast<WORD>(type.funcs.size());
    attr->cVars = static_cast<WORD>(type.vars.size());
    attr->cImplTypes = static_cast<WORD>(type.impl_types.size());
    attr->cbSizeVft = type.vtable_size;
    attr->cbAlignment = type.alignment;
    attr->wTypeFlags = type.flags;
    attr->wMajorVerNum = type.major_version;
    attr->wMinorVerNum = type.minor_version;
    attr->tdescAlias.vt = VT_EMPTY;
    return attr;
}

void DeleteTypeAttr(TYPEATTR* attr) {
    delete attr;
}

FUNCDESC* NewFuncDesc(const idl::Func& func) {
    Block block;
    block.Reserve<FUNCDESC>();
    block.Reserve<ELEMDESC>(func.params.size());
    std::size_t nodes = ExtraTypeNodes(func.return_type);
    std::size_t defaults = 0;
    for (const idl::Param& param : func.params) {
        nodes += ExtraTypeNodes(param.type);
        defaults += param.default_value ? 1 : 0;
    }
    block.Reserve<TYPEDESC>(nodes);
    block.Reserve<PARAMDESCEX>(defaults);
    if (!block.Allocate()) {
        return nullptr;
    }

    auto* desc = block.Take<FUNCDESC>();
    desc->memid = func.member_id;
    desc->lprgscode = nullptr;
    desc->funckind = static_cast<FUNCKIND>(func.func_kind);
    desc->invkind = static_cast<INVOKEKIND>(func.invoke_kind);
    desc->callconv = static_cast<CALLCONV>(func.call_conv);
    desc->cParams = static_cast<SHORT>(func.params.size());
    desc->cParamsOpt = func.optional_param_count;
    desc->oVft = func.vtable_offset;
    desc->cScodes = 0;
    desc->wFuncFlags = func.flags;
    if (!func.params.empty()) {
        desc->lprgelemdescParam = block.Take<ELEMDESC>(func.params.size());
        for (std::size_t i = 0; i < func.params.size(); ++i) {
            const idl::Param& param = func.params[i];
            ELEMDESC& elem = desc->lprgelemdescParam[i];
            FillTypeDesc(param.type, &elem.tdesc, block);
            elem.paramdesc.wParamFlags = param.flags;
        }
    }
    FillTypeDesc(func.return_type, &desc->elemdescFunc.tdesc, block);
    // Default values last: a failed string allocation leaves the earlier ones to free.
    for (std::size_t i = 0; i < func.params.size(); ++i) {
        const idl::Param& param = func.params[i];
        if (!param.default_value) {
            continue;
        }
        auto* ex = block.Take<PARAMDESCEX>();
        ex->cBytes = sizeof(PARAMDESCEX);
        desc->lprgelemdescParam[i].paramdesc.pparamdescex = ex;
        if (FAILED(ValueToVariant(*param.default_value, &ex->varDefaultValue))) {
            DeleteFuncDesc(desc);
            return nullptr;
        }
    }
    return desc;
}

void DeleteFuncDesc(FUNCDESC* desc) {
    if (desc == nullptr) {
        return;
    }
    for (SHORT i = 0; i < desc->cParams; ++i) {
        PARAMDESCEX* ex = desc->lprgelemdescParam[i].paramdesc.pparamdescex;
        if (ex != nullptr) {
            VariantClear(&ex->varDefaultValue);
        }
    }
    ::operator delete(desc);
}

VARDESC* NewVarDesc(const idl::Var& var) {
    const bool constant = var.var_kind == idl::VarKind::kConst;
    Block block;
    block.Reserve<VARDESC>();
    block.Reserve<TYPEDESC>(ExtraTypeNodes(var.type));
    if (constant) {
        block.Reserve<VARIANT>();
    }
    if (!block.Allocate()) {
        return nullptr;
    }
    auto* desc = block.Take<VARDESC>();
    desc->memid = var.member_id;
    desc->lpstrSchema = nullptr;
    desc->wVarFlags = var.flags;
    desc->varkind = static_cast<VARKIND>(var.var_kind);
    FillTypeDesc(var.type, &desc->elemdescVar.tdesc, block);
    if (constant) {
        desc->lpvarValue = block.Take<VARIANT>();
        if (FAILED(ValueToVariant(var.value, desc->lpvarValue))) {
            ::operator delete(desc);
            return nullptr;
        }
    } else {
        desc->oInst = 0;  // the model keeps no member offsets (no records are described)
    }
    return desc;
}

void DeleteVarDesc(VARDESC* desc) {
    if (desc == nullptr) {
        return;
    }
    if (desc->varkind == VAR_CONST && desc->lpvarValue != nullptr) {
        VariantClear(desc->lpvarValue);
    }
    ::operator delete(desc);
}

}  // namespace tevo::com::typelib
