#include "dispatch/late_bound_path.h"

#include "dispatch/value_conversion.h"
#include "session/errors.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"
#include "tevo/win/text.h"

namespace tevo::cli {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

ComPtr<ITypeInfo> TypeOf(IDispatch* object) {
    ComPtr<ITypeInfo> type;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &type))) {
        return {};
    }
    return type;
}

std::string InterfaceName(ITypeInfo* type) {
    Bstr name;
    if (type == nullptr ||
        FAILED(type->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr))) {
        return "the object";
    }
    return name.ToUtf8();
}

DISPID IdOf(IDispatch* object, ITypeInfo* type, const std::string& name) {
    std::wstring wide = tevo::win::Utf8ToWide(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        throw UsageError("'" + name + "' is not a member of " + InterfaceName(type));
    }
    return id;
}

// Storage for the arguments of one Invoke; byref arguments point into `outputs`.
struct Arguments {
    std::vector<OwnedVariant> inputs;  // in declaration order
    std::vector<NamedValue> outputs;
    std::vector<VARIANTARG> reversed;  // what DISPPARAMS gets: last parameter first
};

// A new output slot in `arguments` and the VT_BYREF argument for it in `argument`. The slot
// lives on the heap, so the argument stays valid while `arguments` exists.
void AddOutputArgument(const ParameterDescription& parameter, Arguments& arguments,
                       VARIANTARG& argument) {
    arguments.outputs.push_back(
        NamedValue{parameter.name, std::make_unique<OwnedVariant>(), parameter.type});
    VARIANT* slot = arguments.outputs.back().value->Get();
    VariantInit(&argument);
    if (parameter.type.array) {
        slot->vt = static_cast<VARTYPE>(VT_ARRAY | parameter.type.vt);
        slot->parray = nullptr;
        argument.vt = static_cast<VARTYPE>(VT_BYREF | VT_ARRAY | parameter.type.vt);
        argument.pparray = &slot->parray;
    } else if (parameter.type.vt == VT_VARIANT) {
        argument.vt = VT_BYREF | VT_VARIANT;
        argument.pvarVal = slot;
    } else {
        slot->vt = parameter.type.vt;
        argument.vt = static_cast<VARTYPE>(VT_BYREF | parameter.type.vt);
        argument.byref = &slot->llVal;  // every value member of the union starts here
    }
}

Arguments BuildArguments(const MemberDescription& member, const std::string& path,
                         const std::vector<std::string>& texts) {
    const std::vector<const ParameterDescription*> inputs = member.InputParameters();
    size_t required = 0;
    for (const ParameterDescription* parameter : inputs) {
        required += parameter->optional ? 0 : 1;
    }
    if (texts.size() < required || texts.size() > inputs.size()) {
        std::string names;
        for (const ParameterDescription* parameter : inputs) {
            names += (names.empty() ? "" : ", ") + parameter->name;
        }
        throw UsageError(path + " takes " + std::to_string(inputs.size()) + " argument" +
                         (inputs.size() == 1 ? "" : "s") +
                         (names.empty() ? "" : " (" + names + ")") + ", not " +
                         std::to_string(texts.size()));
    }
    Arguments arguments;
    std::vector<VARIANTARG> in_order;
    size_t next_text = 0;
    for (const ParameterDescription& parameter : member.parameters) {
        if (parameter.retval) {
            continue;
        }
        if (parameter.out) {
            in_order.emplace_back();
            AddOutputArgument(parameter, arguments, in_order.back());
            continue;
        }
        if (next_text == texts.size()) {
            break;  // optional parameters left out
        }
        arguments.inputs.push_back(
            VariantFromText(texts[next_text++], parameter.type, path + " " + parameter.name));
        in_order.push_back(*arguments.inputs.back().Get());
    }
    arguments.reversed.assign(in_order.rbegin(), in_order.rend());
    return arguments;
}

void ThrowInvokeFailure(HRESULT hr, const std::string& path, EXCEPINFO& exception, UINT arg_error) {
    std::string description;
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn != nullptr) {
            exception.pfnDeferredFillIn(&exception);
        }
        description = tevo::com::BstrToUtf8(exception.bstrDescription);
        hr = exception.scode != S_OK ? exception.scode : hr;
    }
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    switch (hr) {
        case DISP_E_TYPEMISMATCH:
            throw UsageError(path + ": argument " + std::to_string(arg_error + 1) +
                             " has the wrong type");
        case DISP_E_OVERFLOW:
            throw UsageError(path + ": argument " + std::to_string(arg_error + 1) +
                             " is out of range");
        case DISP_E_BADPARAMCOUNT:
        case DISP_E_PARAMNOTOPTIONAL:
            throw UsageError(path + ": wrong number of arguments");
        case DISP_E_MEMBERNOTFOUND:
            throw UsageError(path + " cannot be used that way");
        default:
            break;
    }
    std::string cleaned;
    for (const char c : description) {
        if (c != '\r') {
            cleaned += c;
        }
    }
    if (cleaned.empty()) {
        cleaned = TakeErrorDescription();
    }
    if (cleaned.empty()) {
        cleaned = "failed with HRESULT " + HresultText(hr);
    }
    throw DriverError(path + ": " + cleaned, hr);
}

// Invokes `member` on `object` with the texts as its inputs; the result goes to `result`.
Arguments Invoke(IDispatch* object, const MemberDescription& member, WORD flags,
                 const std::string& path, const std::vector<std::string>& texts,
                 OwnedVariant& result) {
    Arguments arguments = BuildArguments(member, path, texts);
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{arguments.reversed.data(), nullptr,
                          static_cast<UINT>(arguments.reversed.size()), 0};
    if ((flags & DISPATCH_PROPERTYPUT) != 0) {
        parameters.rgdispidNamedArgs = &put_id;
        parameters.cNamedArgs = 1;
    }
    EXCEPINFO exception{};
    UINT arg_error = 0;
    const HRESULT hr = object->Invoke(member.id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                      result.Out(), &exception, &arg_error);
    if (FAILED(hr)) {
        // arg_error counts from the last argument; tell the user's position.
        const UINT position = arg_error < arguments.reversed.size()
                                  ? static_cast<UINT>(arguments.reversed.size()) - 1 - arg_error
                                  : 0;
        ThrowInvokeFailure(hr, path, exception, position);
    }
    return arguments;
}

// "Item(Trace2)": a step as the user wrote it, for messages.
std::string StepText(const PathStep& step) {
    if (step.arguments.empty()) {
        return step.name;
    }
    std::string text = step.name + "(";
    for (size_t i = 0; i < step.arguments.size(); ++i) {
        text += (i == 0 ? "" : ", ") + step.arguments[i];
    }
    return text + ")";
}

MemberDescription Describe(ITypeInfo* type, DISPID id, const std::string& name,
                           std::initializer_list<INVOKEKIND> kinds, const char* wrong_use) {
    for (const INVOKEKIND kind : kinds) {
        if (std::optional<MemberDescription> member = DescribeMember(type, id, kind)) {
            return std::move(*member);
        }
    }
    throw UsageError(name + " " + wrong_use);
}

}  // namespace

PathResult InvokePath(IDispatch* root, const std::string& path, MemberAccess access,
                      const std::vector<std::string>& arguments) {
    const std::vector<PathStep> steps = ParseDispatchPath(path);
    ComPtr<IDispatch> object(root);
    std::string walked;
    for (size_t i = 0; i + 1 < steps.size(); ++i) {
        const PathStep& step = steps[i];
        walked += (walked.empty() ? "" : ".") + StepText(step);
        const ComPtr<ITypeInfo> type = TypeOf(object.Get());
        const DISPID id = IdOf(object.Get(), type.Get(), step.name);
        const MemberDescription member =
            Describe(type.Get(), id, walked, {INVOKE_PROPERTYGET, INVOKE_FUNC}, "cannot be read");
        if (member.ResultType().vt != VT_DISPATCH) {
            throw UsageError(walked + " is not an object, so it has no members");
        }
        OwnedVariant value;
        Invoke(object.Get(), member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, walked, step.arguments,
               value);
        if (value.Get()->vt != VT_DISPATCH || value.Get()->pdispVal == nullptr) {
            throw UsageError(walked + " is not an object, so it has no members");
        }
        object = ComPtr<IDispatch>(value.Get()->pdispVal);
    }

    const PathStep& last = steps.back();
    const std::string full_path = walked.empty() ? StepText(last) : walked + "." + StepText(last);
    const ComPtr<ITypeInfo> type = TypeOf(object.Get());
    const DISPID id = IdOf(object.Get(), type.Get(), last.name);
    PathResult result;
    std::vector<std::string> inputs = last.arguments;
    MemberDescription member;
    WORD flags = DISPATCH_METHOD;
    switch (access) {
        case MemberAccess::kGet:
            member = Describe(type.Get(), id, full_path, {INVOKE_PROPERTYGET},
                              "is not a property that can be read (a method? try 'tevo call')");
            flags = DISPATCH_PROPERTYGET;
            break;
        case MemberAccess::kSet:
            member = Describe(type.Get(), id, full_path, {INVOKE_PROPERTYPUT},
                              "is not a property that can be set");
            flags = DISPATCH_PROPERTYPUT;
            inputs.insert(inputs.end(), arguments.begin(), arguments.end());
            break;
        case MemberAccess::kCall:
            member = Describe(type.Get(), id, full_path, {INVOKE_FUNC},
                              "is not a method (a property? try 'tevo get' or 'tevo set')");
            inputs.insert(inputs.end(), arguments.begin(), arguments.end());
            break;
    }
    result.member = member.name;
    result.type = member.ResultType();
    Arguments used = Invoke(object.Get(), member, flags, full_path, inputs, result.value);
    result.outputs = std::move(used.outputs);
    return result;
}

}  // namespace tevo::cli
