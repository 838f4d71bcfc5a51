#include "tevo/com/type_description.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "tevo/com/com_ptr.h"
#include "tevo/com/guid.h"
#include "tevo/com/holders.h"
#include "tevo/win/text.h"

namespace tevo::com {

namespace {

// The IIDs of IUnknown and IDispatch: base interfaces whose members are not listed.
bool IsPlumbing(const GUID& iid) {
    return iid == IID_IUnknown || iid == IID_IDispatch;
}

std::string GuidText(const GUID& guid) {
    OLECHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return tevo::win::WideToUtf8(text);
}

// Name and help string of a member (or of the type itself for MEMBERID_NIL).
std::pair<std::string, std::string> Documentation(ITypeInfo* type, MEMBERID id) {
    Bstr name;
    Bstr doc;
    if (FAILED(type->GetDocumentation(id, &name, &doc, nullptr, nullptr))) {
        return {};
    }
    return {name.ToUtf8(), doc.ToUtf8()};
}

// Enumerations are shared by every description that uses them, keyed by their type name.
std::mutex enum_mutex;
std::map<std::string, std::shared_ptr<const EnumDescription>> enum_cache;

std::shared_ptr<const EnumDescription> DescribeEnum(ITypeInfo* type, WORD count) {
    auto [name, doc] = Documentation(type, MEMBERID_NIL);
    {
        const std::lock_guard<std::mutex> lock(enum_mutex);
        if (const auto found = enum_cache.find(name); found != enum_cache.end()) {
            return found->second;
        }
    }
    auto description = std::make_shared<EnumDescription>();
    description->name = name;
    description->doc = doc;
    for (UINT i = 0; i < count; ++i) {
        VARDESC* var = nullptr;
        if (FAILED(type->GetVarDesc(i, &var))) {
            continue;
        }
        VariantHolder number;
        if (var->varkind == VAR_CONST && var->lpvarValue != nullptr &&
            SUCCEEDED(VariantChangeType(number.Get(), var->lpvarValue, 0, VT_I4))) {
            description->members.push_back({Documentation(type, var->memid).first, number->lVal});
        }
        type->ReleaseVarDesc(var);
    }
    const std::lock_guard<std::mutex> lock(enum_mutex);
    return enum_cache.emplace(name, std::move(description)).first->second;
}

ValueType ResolveType(ITypeInfo* owner, const TYPEDESC& description) {
    ValueType type;
    const TYPEDESC* current = &description;
    while (current->vt == VT_PTR && current->lptdesc != nullptr) {
        current = current->lptdesc;
    }
    if (current->vt == VT_SAFEARRAY && current->lptdesc != nullptr) {
        type.array = true;
        current = current->lptdesc;
    }
    type.vt = current->vt;
    if (current->vt != VT_USERDEFINED) {
        return type;
    }
    ComPtr<ITypeInfo> user;
    TYPEATTR* attributes = nullptr;
    if (FAILED(owner->GetRefTypeInfo(current->hreftype, &user)) ||
        FAILED(user->GetTypeAttr(&attributes))) {
        type.vt = VT_VARIANT;
        return type;
    }
    switch (attributes->typekind) {
        case TKIND_ENUM:
            type.vt = VT_I4;
            type.enumeration = DescribeEnum(user.Get(), attributes->cVars);
            break;
        case TKIND_ALIAS: {
            const ValueType aliased = ResolveType(user.Get(), attributes->tdescAlias);
            type.vt = aliased.vt;
            type.array = type.array || aliased.array;
            type.enumeration = aliased.enumeration;
            type.interface_name = aliased.interface_name;
            break;
        }
        default:
            type.vt = VT_DISPATCH;  // interfaces come back as IDispatch
            type.interface_name = Documentation(user.Get(), MEMBERID_NIL).first;
    }
    user->ReleaseTypeAttr(attributes);
    return type;
}

Member DescribeFunction(ITypeInfo* type, const FUNCDESC& func) {
    Member member;
    member.id = func.memid;
    member.kind = func.invkind;
    std::tie(member.name, member.doc) = Documentation(type, func.memid);
    std::vector<BSTR> names(static_cast<size_t>(func.cParams) + 1, nullptr);
    UINT count = 0;
    type->GetNames(func.memid, names.data(), static_cast<UINT>(names.size()), &count);
    std::vector<Bstr> owned(names.size());
    std::transform(names.begin(), names.end(), owned.begin(),
                   [](BSTR name) { return Bstr::Adopt(name); });
    for (SHORT p = 0; p < func.cParams; ++p) {
        const ELEMDESC& element = func.lprgelemdescParam[p];
        const USHORT flags = element.paramdesc.wParamFlags;
        Parameter parameter;
        const auto index = static_cast<size_t>(p) + 1;
        parameter.name = index < count ? owned[index].ToUtf8() : "";
        parameter.type = ResolveType(type, element.tdesc);
        parameter.retval = (flags & PARAMFLAG_FRETVAL) != 0;
        parameter.out = (flags & PARAMFLAG_FOUT) != 0;
        parameter.in = (flags & PARAMFLAG_FIN) != 0 || !parameter.out;
        parameter.optional = (flags & PARAMFLAG_FOPT) != 0;
        if (parameter.name.empty()) {
            const bool value = parameter.retval || func.invkind == INVOKE_PROPERTYPUT;
            parameter.name = value ? "value" : "arg" + std::to_string(p + 1);
        }
        member.parameters.push_back(std::move(parameter));
    }
    return member;
}

// Appends the members of `type` and of its base interfaces to `description`.
void AddMembers(ITypeInfo* type, InterfaceDescription& description) {
    TYPEATTR* attributes = nullptr;
    if (FAILED(type->GetTypeAttr(&attributes))) {
        return;
    }
    const bool plumbing = IsPlumbing(attributes->guid);
    const WORD functions = attributes->cFuncs;
    const WORD bases = attributes->cImplTypes;
    type->ReleaseTypeAttr(attributes);
    if (plumbing) {
        return;
    }
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(type->GetFuncDesc(i, &func))) {
            continue;
        }
        if ((func->wFuncFlags & FUNCFLAG_FRESTRICTED) == 0) {
            description.members.push_back(DescribeFunction(type, *func));
        }
        type->ReleaseFuncDesc(func);
    }
    HREFTYPE base_reference = 0;
    ComPtr<ITypeInfo> base;
    if (bases > 0 && SUCCEEDED(type->GetRefTypeOfImplType(0, &base_reference)) &&
        SUCCEEDED(type->GetRefTypeInfo(base_reference, &base))) {
        AddMembers(base.Get(), description);
    }
}

std::mutex interface_mutex;
std::map<std::string, std::shared_ptr<const InterfaceDescription>> interface_cache;

// The libraries of the user-defined types that the functions of `type` use.
void AddReferencedLibraries(ITypeInfo* type, const TYPEATTR& attributes,
                            std::vector<ComPtr<ITypeLib>>& libraries) {
    auto visit = [&](const TYPEDESC& description) {
        const TYPEDESC* current = &description;
        while ((current->vt == VT_PTR || current->vt == VT_SAFEARRAY) &&
               current->lptdesc != nullptr) {
            current = current->lptdesc;
        }
        ComPtr<ITypeInfo> user;
        ComPtr<ITypeLib> library;
        UINT index = 0;
        if (current->vt == VT_USERDEFINED &&
            SUCCEEDED(type->GetRefTypeInfo(current->hreftype, &user)) &&
            SUCCEEDED(user->GetContainingTypeLib(&library, &index))) {
            libraries.push_back(library);
        }
    };
    for (UINT i = 0; i < attributes.cFuncs; ++i) {
        FUNCDESC* func = nullptr;
        if (SUCCEEDED(type->GetFuncDesc(i, &func))) {
            for (SHORT p = 0; p < func->cParams; ++p) {
                visit(func->lprgelemdescParam[p].tdesc);
            }
            type->ReleaseFuncDesc(func);
        }
    }
}

}  // namespace

std::shared_ptr<const InterfaceDescription> DescribeInterface(ITypeInfo* type) {
    TYPEATTR* attributes = nullptr;
    if (type == nullptr || FAILED(type->GetTypeAttr(&attributes))) {
        return std::make_shared<InterfaceDescription>();
    }
    const std::string iid = GuidText(attributes->guid);
    type->ReleaseTypeAttr(attributes);
    {
        const std::lock_guard<std::mutex> lock(interface_mutex);
        if (const auto found = interface_cache.find(iid); found != interface_cache.end()) {
            return found->second;
        }
    }
    auto description = std::make_shared<InterfaceDescription>();
    std::tie(description->name, description->doc) = Documentation(type, MEMBERID_NIL);
    description->iid = iid;
    AddMembers(type, *description);
    const std::lock_guard<std::mutex> lock(interface_mutex);
    return interface_cache.emplace(iid, std::move(description)).first->second;
}

ValueType Member::ResultType() const {
    for (const Parameter& parameter : parameters) {
        if (parameter.retval) {
            return parameter.type;
        }
    }
    return {};
}

std::vector<const Parameter*> Member::InputParameters() const {
    std::vector<const Parameter*> inputs;
    for (const Parameter& parameter : parameters) {
        if (!parameter.retval && !parameter.out) {
            inputs.push_back(&parameter);
        }
    }
    return inputs;
}

const Member* FindMember(const InterfaceDescription& description, DISPID id, INVOKEKIND kind) {
    const auto found =
        std::find_if(description.members.begin(), description.members.end(),
                     [&](const Member& member) { return member.id == id && member.kind == kind; });
    return found == description.members.end() ? nullptr : &*found;
}

std::vector<std::shared_ptr<const EnumDescription>> LibraryEnumerations(ITypeInfo* type) {
    std::vector<std::shared_ptr<const EnumDescription>> enumerations;
    ComPtr<ITypeLib> own;
    UINT own_index = 0;
    if (type == nullptr || FAILED(type->GetContainingTypeLib(&own, &own_index))) {
        return enumerations;
    }
    std::vector<ComPtr<ITypeLib>> libraries{own};
    std::set<std::string> seen;
    for (size_t next = 0; next < libraries.size(); ++next) {
        ITypeLib* library = libraries[next].Get();
        TLIBATTR* library_attributes = nullptr;
        if (FAILED(library->GetLibAttr(&library_attributes))) {
            continue;
        }
        const bool fresh = seen.insert(GuidText(library_attributes->guid)).second;
        library->ReleaseTLibAttr(library_attributes);
        if (!fresh) {
            continue;
        }
        for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
            ComPtr<ITypeInfo> info;
            TYPEATTR* attributes = nullptr;
            if (FAILED(library->GetTypeInfo(i, &info)) || FAILED(info->GetTypeAttr(&attributes))) {
                continue;
            }
            if (attributes->typekind == TKIND_ENUM) {
                enumerations.push_back(DescribeEnum(info.Get(), attributes->cVars));
            } else if (attributes->typekind == TKIND_INTERFACE ||
                       attributes->typekind == TKIND_DISPATCH) {
                AddReferencedLibraries(info.Get(), *attributes, libraries);
            }
            info->ReleaseTypeAttr(attributes);
        }
    }
    return enumerations;
}

}  // namespace tevo::com
