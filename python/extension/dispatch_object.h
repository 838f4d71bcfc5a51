// One automation object of the driver as the Python side holds it: an IDispatch reference
// (released when Python lets go of the object) and the description of its interface from
// the type information. Members are called by name: GetIDsOfNames gives the DISPID, the
// description gives the declared parameters, Invoke makes the call with the interpreter
// lock released. The number of live objects is counted, so that tests can tell that every
// reference was given back.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <memory>
#include <string>

#include "tevo/platform.h"
#include "type_description.h"

namespace tevo::python {

class DispatchObject {
  public:
    explicit DispatchObject(tevo::com::ComPtr<IDispatch> dispatch);
    ~DispatchObject();
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    IDispatch* Get() const { return dispatch_.Get(); }
    const InterfaceDescription& Description() const { return *description_; }

    // Calls member `name` as `kind` (INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_FUNC).
    // `arguments` holds one entry per parameter that is not the return value, in
    // declaration order; None leaves an optional input out and starts an output empty.
    // Returns (result or None, [output values in declaration order]).
    pybind11::tuple Invoke(const std::string& name, int kind, const pybind11::list& arguments);

    // Objects alive in this process.
    static long LiveCount() { return live_.load(); }

  private:
    tevo::com::ComPtr<IDispatch> dispatch_;
    std::shared_ptr<const InterfaceDescription> description_;
    static std::atomic<long> live_;
};

// The driver object of the class registered under `prog_id`, created in process
// (CLSIDFromProgID, CoCreateInstance) and asked for IDispatch.
std::shared_ptr<DispatchObject> CreateByProgId(const std::string& prog_id);

// The type information of the object as a Python dict (name, doc, iid, members).
pybind11::dict DescriptionToPython(const InterfaceDescription& description);

}  // namespace tevo::python
