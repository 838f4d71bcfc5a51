#include "dispatch_object.h"

#include <utility>
#include <vector>

#include "com_failure.h"
#include "variant_conversion.h"

namespace py = pybind11;

namespace tevo::python {

std::atomic<long> DispatchObject::live_{0};

namespace {

using tevo::com::ComPtr;
using tevo::com::VariantHolder;

WORD DispatchFlags(INVOKEKIND kind) {
    switch (kind) {
        case INVOKE_PROPERTYGET:
            return DISPATCH_PROPERTYGET;
        case INVOKE_PROPERTYPUT:
            return DISPATCH_PROPERTYPUT;
        case INVOKE_PROPERTYPUTREF:
            return DISPATCH_PROPERTYPUTREF;
        default:
            return DISPATCH_METHOD;
    }
}

const char* UseOf(INVOKEKIND kind) {
    switch (kind) {
        case INVOKE_PROPERTYGET:
            return "read";
        case INVOKE_PROPERTYPUT:
        case INVOKE_PROPERTYPUTREF:
            return "set";
        default:
            return "called";
    }
}

// An output slot before the call: the caller's value, or an empty value of the declared
// type.
void PrepareOutput(py::handle value, const Parameter& parameter, VARIANT* slot,
                   const std::string& what) {
    if (!value.is_none()) {
        ToVariant(value, parameter.type, slot, what);
        return;
    }
    if (parameter.type.vt == VT_VARIANT && !parameter.type.array) {
        return;  // VT_EMPTY
    }
    slot->vt = parameter.type.array ? static_cast<VARTYPE>(VT_ARRAY | parameter.type.vt)
               : parameter.type.vt == VT_UNKNOWN ? static_cast<VARTYPE>(VT_DISPATCH)
                                                 : parameter.type.vt;
    slot->llVal = 0;  // a null pointer or a zero of the type
}

// The by-reference argument that lets the callee write into `slot`.
VARIANTARG ReferenceTo(const Parameter& parameter, VARIANT* slot) {
    VARIANTARG argument;
    VariantInit(&argument);
    if (parameter.type.vt == VT_VARIANT && !parameter.type.array) {
        argument.vt = VT_BYREF | VT_VARIANT;
        argument.pvarVal = slot;
    } else if ((slot->vt & VT_ARRAY) != 0) {
        argument.vt = static_cast<VARTYPE>(VT_BYREF | slot->vt);
        argument.pparray = &slot->parray;
    } else {
        argument.vt = static_cast<VARTYPE>(VT_BYREF | slot->vt);
        argument.byref = &slot->llVal;  // every value field starts at this address
    }
    return argument;
}

py::dict TypeToPython(const ValueType& type) {
    py::dict result;
    result["vt"] = type.vt;
    result["array"] = type.array;
    result["interface"] = type.interface_name.empty() ? py::object(py::none())
                                                      : py::object(py::str(type.interface_name));
    if (type.enumeration) {
        py::list members;
        for (const EnumMember& member : type.enumeration->members) {
            members.append(py::make_tuple(member.name, member.value));
        }
        result["enum"] =
            py::dict(py::arg("name") = type.enumeration->name,
                     py::arg("doc") = type.enumeration->doc, py::arg("members") = members);
    } else {
        result["enum"] = py::none();
    }
    return result;
}

}  // namespace

DispatchObject::DispatchObject(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {
    ++live_;
    ComPtr<ITypeInfo> type;
    if (dispatch_ && SUCCEEDED(dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT, &type))) {
        description_ = DescribeInterface(type.Get());
    } else {
        description_ = std::make_shared<InterfaceDescription>();
    }
}

DispatchObject::~DispatchObject() {
    dispatch_.Reset();
    --live_;
}

py::tuple DispatchObject::Invoke(const std::string& name, int kind, const py::list& arguments) {
    const auto invoke_kind = static_cast<INVOKEKIND>(kind);
    std::wstring wide = tevo::win::Utf8ToWide(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        throw py::attribute_error("'" + name + "' is not a member of " + description_->name);
    }
    const Member* member = FindMember(*description_, id, invoke_kind);
    if (member == nullptr) {
        throw py::attribute_error(description_->name + "." + name + " cannot be " +
                                  UseOf(invoke_kind));
    }
    const std::string path = description_->name + "." + member->name;
    std::vector<const Parameter*> parameters;
    for (const Parameter& parameter : member->parameters) {
        if (!parameter.retval) {
            parameters.push_back(&parameter);
        }
    }
    if (arguments.size() != parameters.size()) {
        throw py::type_error(path + " takes " + std::to_string(parameters.size()) +
                             " arguments, not " + std::to_string(arguments.size()));
    }
    // The values stay here (and are cleared here); the arguments refer to them.
    std::vector<VariantHolder> values(parameters.size());
    std::vector<VARIANTARG> reversed(parameters.size());
    for (size_t i = 0; i < parameters.size(); ++i) {
        const Parameter& parameter = *parameters[i];
        const py::handle value = arguments[i];
        const std::string what = path + " " + parameter.name;
        VARIANTARG& argument = reversed[parameters.size() - 1 - i];
        VARIANT* slot = values[i].Get();
        if (parameter.out) {
            PrepareOutput(value, parameter, slot, what);
            argument = ReferenceTo(parameter, slot);
        } else if (value.is_none()) {
            if (!parameter.optional) {
                throw py::type_error(path + " needs its argument " + parameter.name);
            }
            VariantInit(&argument);
            argument.vt = VT_ERROR;
            argument.scode = DISP_E_PARAMNOTFOUND;
        } else {
            ToVariant(value, parameter.type, slot, what);
            argument = *slot;  // borrowed: the value is cleared through `values`
        }
    }
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS call{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (invoke_kind == INVOKE_PROPERTYPUT || invoke_kind == INVOKE_PROPERTYPUTREF) {
        call.rgdispidNamedArgs = &put_id;
        call.cNamedArgs = 1;
    }
    VariantHolder result;
    EXCEPINFO exception{};
    UINT arg_error = 0;
    // The call may wait for the instrument: other Python threads run meanwhile.
    const HRESULT hr = [&] {
        const py::gil_scoped_release unlocked;
        return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DispatchFlags(invoke_kind),
                                 &call, result.Get(), &exception, &arg_error);
    }();
    if (FAILED(hr)) {
        throw InvokeFailure(hr, exception, path);
    }
    py::list outputs;
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i]->out) {
            outputs.append(FromVariant(*values[i].Get()));
        }
    }
    return py::make_tuple(FromVariant(*result.Get()), outputs);
}

std::shared_ptr<DispatchObject> CreateByProgId(const std::string& prog_id) {
    const std::wstring wide = tevo::win::Utf8ToWide(prog_id);
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
    if (FAILED(hr)) {
        throw CallFailure(hr, "CLSIDFromProgID(\"" + prog_id + "\")");
    }
    ComPtr<IDispatch> dispatch;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          dispatch.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) {
        throw CallFailure(hr, "CoCreateInstance(\"" + prog_id + "\")");
    }
    return std::make_shared<DispatchObject>(std::move(dispatch));
}

py::dict DescriptionToPython(const InterfaceDescription& description) {
    py::list members;
    for (const Member& member : description.members) {
        py::list parameters;
        for (const Parameter& parameter : member.parameters) {
            py::dict entry = TypeToPython(parameter.type);
            entry["name"] = parameter.name;
            entry["in"] = parameter.in;
            entry["out"] = parameter.out;
            entry["retval"] = parameter.retval;
            entry["optional"] = parameter.optional;
            parameters.append(entry);
        }
        members.append(py::dict(py::arg("name") = member.name,
                                py::arg("kind") = static_cast<int>(member.kind),
                                py::arg("doc") = member.doc, py::arg("params") = parameters));
    }
    return py::dict(py::arg("name") = description.name, py::arg("doc") = description.doc,
                    py::arg("iid") = description.iid, py::arg("members") = members);
}

}  // namespace tevo::python
