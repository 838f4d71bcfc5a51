#include "dispatch/member_description.h"

#include "tevo/com/holders.h"

namespace tevo::cli {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

std::string Lowered(const std::string& text) {
    std::string lowered = text;
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

std::string DocumentationName(ITypeInfo* type, MEMBERID id) {
    Bstr name;
    if (FAILED(type->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) {
        return {};
    }
    return name.ToUtf8();
}

std::vector<EnumMember> EnumMembers(ITypeInfo* type, WORD count) {
    std::vector<EnumMember> members;
    for (UINT i = 0; i < count; ++i) {
        VARDESC* var = nullptr;
        if (FAILED(type->GetVarDesc(i, &var))) {
            continue;
        }
        VARIANT number;
        VariantInit(&number);
        if (var->varkind == VAR_CONST && var->lpvarValue != nullptr &&
            SUCCEEDED(VariantChangeType(&number, var->lpvarValue, 0, VT_I4))) {
            members.push_back({DocumentationName(type, var->memid), number.lVal});
        }
        VariantClear(&number);
        type->ReleaseVarDesc(var);
    }
    return members;
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
            type.enum_name = DocumentationName(user.Get(), MEMBERID_NIL);
            type.enum_members = EnumMembers(user.Get(), attributes->cVars);
            break;
        case TKIND_ALIAS: {
            const ValueType aliased = ResolveType(user.Get(), attributes->tdescAlias);
            type.vt = aliased.vt;
            type.array = type.array || aliased.array;
            type.enum_name = aliased.enum_name;
            type.enum_members = aliased.enum_members;
            break;
        }
        default:
            type.vt = VT_DISPATCH;  // interfaces come back as IDispatch
    }
    user->ReleaseTypeAttr(attributes);
    return type;
}

std::optional<MemberDescription> Describe(ITypeInfo* type, const FUNCDESC& func) {
    MemberDescription member;
    member.id = func.memid;
    member.kind = func.invkind;
    member.name = DocumentationName(type, func.memid);
    std::vector<Bstr> names(static_cast<size_t>(func.cParams) + 1);
    std::vector<BSTR> raw(names.size(), nullptr);
    UINT count = 0;
    type->GetNames(func.memid, raw.data(), static_cast<UINT>(raw.size()), &count);
    for (size_t i = 0; i < raw.size(); ++i) {
        names[i] = Bstr::Adopt(raw[i]);
    }
    for (SHORT p = 0; p < func.cParams; ++p) {
        const ELEMDESC& element = func.lprgelemdescParam[p];
        const USHORT flags = element.paramdesc.wParamFlags;
        ParameterDescription parameter;
        parameter.name = static_cast<UINT>(p) + 1 < count ? names[p + 1].ToUtf8() : "";
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

}  // namespace

ValueType MemberDescription::ResultType() const {
    for (const ParameterDescription& parameter : parameters) {
        if (parameter.retval) {
            return parameter.type;
        }
    }
    return {};
}

std::vector<const ParameterDescription*> MemberDescription::InputParameters() const {
    std::vector<const ParameterDescription*> inputs;
    for (const ParameterDescription& parameter : parameters) {
        if (!parameter.retval && !parameter.out) {
            inputs.push_back(&parameter);
        }
    }
    return inputs;
}

std::optional<MemberDescription> DescribeMember(ITypeInfo* type, DISPID id, INVOKEKIND kind) {
    TYPEATTR* attributes = nullptr;
    if (type == nullptr || FAILED(type->GetTypeAttr(&attributes))) {
        return std::nullopt;
    }
    const WORD functions = attributes->cFuncs;
    const WORD bases = attributes->cImplTypes;
    type->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(type->GetFuncDesc(i, &func))) {
            continue;
        }
        std::optional<MemberDescription> found;
        if (func->memid == id && func->invkind == kind) {
            found = Describe(type, *func);
        }
        type->ReleaseFuncDesc(func);
        if (found) {
            return found;
        }
    }
    if (bases > 0) {
        HREFTYPE base_reference = 0;
        ComPtr<ITypeInfo> base;
        if (SUCCEEDED(type->GetRefTypeOfImplType(0, &base_reference)) &&
            SUCCEEDED(type->GetRefTypeInfo(base_reference, &base))) {
            return DescribeMember(base.Get(), id, kind);
        }
    }
    return std::nullopt;
}

std::optional<LONG> EnumValueOf(const ValueType& type, const std::string& text) {
    if (type.enum_members.empty()) {
        return std::nullopt;
    }
    // The prefix all names share, cut back to where a word starts ("TevoDetectorType").
    const std::string& first = type.enum_members.front().name;
    std::string prefix = first;
    for (const EnumMember& member : type.enum_members) {
        size_t same = 0;
        while (same < prefix.size() && same < member.name.size() &&
               prefix[same] == member.name[same]) {
            ++same;
        }
        prefix.resize(same);
    }
    while (!prefix.empty() && !(first[prefix.size()] >= 'A' && first[prefix.size()] <= 'Z')) {
        prefix.pop_back();
    }
    const std::string wanted = Lowered(text);
    for (const EnumMember& member : type.enum_members) {
        const std::string full = Lowered(member.name);
        if (wanted == full ||
            (type.enum_members.size() > 1 && wanted == full.substr(prefix.size()))) {
            return member.value;
        }
    }
    return std::nullopt;
}

std::string EnumNameOf(const ValueType& type, LONG value) {
    for (const EnumMember& member : type.enum_members) {
        if (member.value == value) {
            return member.name;
        }
    }
    return {};
}

}  // namespace tevo::cli
