// The extension module tevo._tevo: the platform's COM runtime for the Python package. It
// creates the registered driver by ProgID, wraps automation objects (Dispatch), describes
// their interfaces and enumerations from the type information, and offers the debugging
// hooks that show every reference given back (live objects, the server's DllCanUnloadNow).
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>

#include "com_failure.h"
#include "dispatch_object.h"
#include "tevo/platform.h"

namespace py = pybind11;

namespace tevo::python {

namespace {

std::string Utf8(const wchar_t* text) {
    return tevo::win::WideToUtf8(text);
}

// The library path registered for the class of `prog_id` (InprocServer32), or empty.
std::wstring ServerPath(const std::string& prog_id) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(tevo::win::Utf8ToWide(prog_id).c_str(), &clsid))) {
        return {};
    }
    OLECHAR text[40] = {};
    StringFromGUID2(clsid, text, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    wchar_t path[4096] = {};
    DWORD size = sizeof(path);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                     &size) != ERROR_SUCCESS) {
        return {};
    }
    return path;
}

// {"path": registered library or None, "loaded": bool, "can_unload_now": HRESULT of the
// loaded library's DllCanUnloadNow or None}.
py::dict ServerState(const std::string& prog_id) {
    py::dict state;
    const std::wstring path = ServerPath(prog_id);
    state["path"] = path.empty() ? py::object(py::none()) : py::object(py::str(Utf8(path.c_str())));
    HMODULE module = path.empty() ? nullptr : GetModuleHandleW(path.c_str());
    state["loaded"] = module != nullptr;
    state["can_unload_now"] = py::none();
    if (module != nullptr) {
        const auto can_unload_now =
            reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(module, "DllCanUnloadNow"));
        if (can_unload_now != nullptr) {
            state["can_unload_now"] = static_cast<int>(can_unload_now());
        }
    }
    return state;
}

py::list LibraryEnums(const DispatchObject& object) {
    tevo::com::ComPtr<ITypeInfo> type;
    py::list result;
    if (FAILED(object.Get()->GetTypeInfo(0, LOCALE_USER_DEFAULT, &type))) {
        return result;
    }
    for (const auto& enumeration : LibraryEnumerations(type.Get())) {
        py::list members;
        for (const EnumMember& member : enumeration->members) {
            members.append(py::make_tuple(member.name, member.value));
        }
        result.append(py::dict(py::arg("name") = enumeration->name,
                               py::arg("doc") = enumeration->doc, py::arg("members") = members));
    }
    return result;
}

}  // namespace

}  // namespace tevo::python

PYBIND11_MODULE(_tevo, module) {
    using tevo::python::DispatchObject;
    module.doc() = "The platform's COM runtime for the tevo package (use the package, not this)";
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    tevo::python::RegisterFailureTranslator();

    py::class_<DispatchObject, std::shared_ptr<DispatchObject>>(module, "Dispatch")
        .def("describe",
             [](const DispatchObject& self) {
                 return tevo::python::DescriptionToPython(self.Description());
             })
        .def("invoke", &DispatchObject::Invoke, py::arg("name"), py::arg("kind"),
             py::arg("arguments"))
        .def("library_enums", &tevo::python::LibraryEnums)
        .def_property_readonly("interface_name",
                               [](const DispatchObject& self) { return self.Description().name; })
        .def_property_readonly("iid",
                               [](const DispatchObject& self) { return self.Description().iid; });

    module.def("create", &tevo::python::CreateByProgId, py::arg("prog_id"));
    module.def("live_objects", &DispatchObject::LiveCount,
               "Automation objects the package holds right now");
    module.def("server_state", &tevo::python::ServerState, py::arg("prog_id"));
    module.def("free_unused_libraries", [] { CoFreeUnusedLibraries(); });
    module.attr("INVOKE_FUNC") = static_cast<int>(INVOKE_FUNC);
    module.attr("INVOKE_PROPERTYGET") = static_cast<int>(INVOKE_PROPERTYGET);
    module.attr("INVOKE_PROPERTYPUT") = static_cast<int>(INVOKE_PROPERTYPUT);
}
