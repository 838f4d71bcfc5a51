#include "variant_conversion.h"

#include <pybind11/numpy.h>

#include <cstring>
#include <limits>
#include <utility>

#include "dispatch_object.h"

namespace py = pybind11;

namespace tevo::python {

namespace {

using tevo::com::SafeArrayHolder;

[[noreturn]] void WrongType(py::handle value, const std::string& what, const char* expected) {
    throw py::type_error(what + " needs " + expected + ", not " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
}

bool IsText(py::handle value) {
    return py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value);
}

double Real(py::handle value, const std::string& what) {
    if (IsText(value) || !PyNumber_Check(value.ptr())) {
        WrongType(value, what, "a number");
    }
    const double number = PyFloat_AsDouble(value.ptr());
    if (PyErr_Occurred() != nullptr) {
        throw py::error_already_set();
    }
    return number;
}

long long Whole(py::handle value, const std::string& what, long long low, long long high) {
    if (!PyIndex_Check(value.ptr())) {
        WrongType(value, what, "a whole number");
    }
    const py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
    if (!number) {
        throw py::error_already_set();
    }
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0 || result < low || result > high) {
        throw py::value_error(what + " is out of range: " + std::string(py::repr(number)) +
                              " is not within " + std::to_string(low) + " to " +
                              std::to_string(high));
    }
    return result;
}

// The range of the integer types a parameter can declare.
std::pair<long long, long long> IntegerRange(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
            return {std::numeric_limits<int8_t>::min(), std::numeric_limits<int8_t>::max()};
        case VT_UI1:
            return {0, std::numeric_limits<uint8_t>::max()};
        case VT_I2:
            return {std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()};
        case VT_UI2:
            return {0, std::numeric_limits<uint16_t>::max()};
        case VT_UI4:
        case VT_UINT:
            return {0, std::numeric_limits<uint32_t>::max()};
        case VT_I8:
        case VT_UI8:
            return {std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max()};
        default:
            return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    }
}

bool IsIntegerType(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
            return true;
        default:
            return false;
    }
}

// Stores an integer in the VARIANT's field of type vt; every value field starts at one
// address, and the platform is little-endian, so the low bytes of llVal are that field.
void StoreInteger(VARIANT* out, VARTYPE vt, long long number) {
    out->vt = vt;
    out->llVal = number;
}

IDispatch* DispatchOf(py::handle value, const std::string& what) {
    if (value.is_none()) {
        return nullptr;
    }
    py::handle object = value;
    if (!py::isinstance<DispatchObject>(object) && py::hasattr(object, "_dispatch")) {
        object = object.attr("_dispatch");
    }
    if (!py::isinstance<DispatchObject>(object)) {
        WrongType(value, what, "a driver object");
    }
    IDispatch* dispatch = object.cast<DispatchObject&>().Get();
    dispatch->AddRef();
    return dispatch;
}

// The declared type a VARIANT argument takes for a Python value.
ValueType TypeFor(py::handle value) {
    ValueType type;
    if (value.is_none()) {
        type.vt = VT_EMPTY;
    } else if (py::isinstance<py::bool_>(value)) {
        type.vt = VT_BOOL;
    } else if (PyIndex_Check(value.ptr())) {
        type.vt = VT_I4;
    } else if (py::isinstance<py::str>(value)) {
        type.vt = VT_BSTR;
    } else if (py::isinstance<py::array>(value) || py::isinstance<py::list>(value) ||
               py::isinstance<py::tuple>(value)) {
        type.vt = VT_R8;
        type.array = true;
    } else if (PyNumber_Check(value.ptr())) {
        type.vt = VT_R8;
    } else {
        type.vt = VT_DISPATCH;
    }
    return type;
}

SAFEARRAY* DoubleArray(py::handle value, const std::string& what) {
    if (IsText(value)) {
        WrongType(value, what, "a sequence of numbers");
    }
    const auto values =
        py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
    if (!values) {
        PyErr_Clear();
        WrongType(value, what, "a sequence of numbers");
    }
    if (values.ndim() != 1) {
        throw py::value_error(what + " needs a one-dimensional array, not one of " +
                              std::to_string(values.ndim()) + " dimensions");
    }
    const auto count = static_cast<size_t>(values.shape(0));
    SafeArrayHolder array(SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(count)));
    tevo::com::SafeArrayAccess<double> access(array.Get());
    if (!access.Ok()) {
        throw std::bad_alloc();
    }
    if (count > 0) {
        std::memcpy(access.Data(), values.data(), count * sizeof(double));
    }
    return array.Detach();
}

// Any other element type, element by element through a VARIANT of that type.
SAFEARRAY* ElementArray(py::handle value, const ValueType& type, const std::string& what) {
    if (IsText(value) || !py::isinstance<py::sequence>(value)) {
        if (!py::isinstance<py::array>(value)) {
            WrongType(value, what, "a sequence");
        }
    }
    const py::list items = py::isinstance<py::array>(value)
                               ? py::list(value.attr("tolist")())
                               : py::list(py::reinterpret_borrow<py::object>(value));
    SafeArrayHolder array(SafeArrayCreateVector(type.vt, 0, static_cast<ULONG>(items.size())));
    if (!array) {
        throw py::type_error(what + ": arrays of this element type are not supported");
    }
    ValueType element = type;
    element.array = false;
    for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
        tevo::com::VariantHolder item;
        ToVariant(items[static_cast<size_t>(i)], element, item.Get(),
                  what + "[" + std::to_string(i) + "]");
        void* source = type.vt == VT_VARIANT ? static_cast<void*>(item.Get())
                       : type.vt == VT_BSTR  ? static_cast<void*>(item->bstrVal)
                                             : static_cast<void*>(&item->llVal);
        const HRESULT hr = SafeArrayPutElement(array.Get(), &i, source);
        if (FAILED(hr)) {
            throw py::type_error(what + ": element " + std::to_string(i) + " cannot be stored");
        }
    }
    return array.Detach();
}

py::object ArrayFromVariant(const VARIANT& value) {
    SAFEARRAY* array = value.parray;
    VARTYPE element = static_cast<VARTYPE>(value.vt & VT_TYPEMASK);
    if (array == nullptr) {
        return element == VT_R8 ? py::object(py::array_t<double>(0)) : py::object(py::list());
    }
    SafeArrayGetVartype(array, &element);
    if (element == VT_R8) {
        tevo::com::SafeArrayAccess<double> access(array);
        if (!access.Ok()) {
            throw std::bad_alloc();
        }
        py::array_t<double> result(static_cast<py::ssize_t>(access.Count()));
        if (access.Count() > 0) {
            std::memcpy(result.mutable_data(), access.Data(), access.Count() * sizeof(double));
        }
        return result;
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    py::list items;
    for (LONG i = lower; i <= upper; ++i) {
        tevo::com::VariantHolder item;
        VARIANT* slot = item.Get();
        if (element == VT_VARIANT) {
            SafeArrayGetElement(array, &i, slot);
        } else if (SUCCEEDED(SafeArrayGetElement(array, &i,
                                                 element == VT_BSTR
                                                     ? static_cast<void*>(&slot->bstrVal)
                                                     : static_cast<void*>(&slot->llVal)))) {
            slot->vt = element;
        }
        items.append(FromVariant(*slot));
    }
    if (element == VT_R4 || IsIntegerType(element)) {
        const char* dtype = element == VT_R4 ? "float64" : element == VT_I4 ? "int32" : "int64";
        return py::module_::import("numpy").attr("asarray")(items, dtype);
    }
    return items;
}

}  // namespace

void ToVariant(py::handle value, const ValueType& type, VARIANT* out, const std::string& what) {
    VariantClear(out);
    if (type.array) {
        out->parray = type.vt == VT_R8 ? DoubleArray(value, what) : ElementArray(value, type, what);
        out->vt = static_cast<VARTYPE>(VT_ARRAY | type.vt);
        return;
    }
    switch (type.vt) {
        case VT_R8:
        case VT_DATE:
            out->dblVal = Real(value, what);
            out->vt = type.vt;
            return;
        case VT_R4:
            out->fltVal = static_cast<float>(Real(value, what));
            out->vt = VT_R4;
            return;
        case VT_BOOL:
            if (!py::isinstance<py::bool_>(value) && !PyIndex_Check(value.ptr())) {
                WrongType(value, what, "True or False");
            }
            out->boolVal = PyObject_IsTrue(value.ptr()) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            out->vt = VT_BOOL;
            return;
        case VT_BSTR:
            if (!py::isinstance<py::str>(value)) {
                WrongType(value, what, "a str");
            }
            out->bstrVal = tevo::com::Bstr::FromUtf8(value.cast<std::string>()).Detach();
            out->vt = VT_BSTR;
            return;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            out->pdispVal = DispatchOf(value, what);
            out->vt = VT_DISPATCH;
            return;
        case VT_VARIANT:
            if (!value.is_none()) {
                ToVariant(value, TypeFor(value), out, what);
            }
            return;
        default:
            break;
    }
    if (IsIntegerType(type.vt)) {
        const auto [low, high] = IntegerRange(type.vt);
        StoreInteger(out, type.vt, Whole(value, what, low, high));
        return;
    }
    throw py::type_error(what + ": values of VARIANT type " + std::to_string(type.vt) +
                         " are not supported");
}

py::object FromVariant(const VARIANT& value) {
    if ((value.vt & VT_ARRAY) != 0) {
        return ArrayFromVariant(value);
    }
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return py::none();
        case VT_R8:
        case VT_DATE:
            return py::float_(value.dblVal);
        case VT_R4:
            return py::float_(value.fltVal);
        case VT_CY:
            return py::float_(static_cast<double>(value.cyVal.int64) / 10000.0);
        case VT_BOOL:
            return py::bool_(value.boolVal != VARIANT_FALSE);
        case VT_BSTR:
            return py::str(tevo::com::BstrToUtf8(value.bstrVal));
        case VT_ERROR:
            return py::int_(value.scode);
        case VT_I1:
            return py::int_(value.cVal);
        case VT_UI1:
            return py::int_(value.bVal);
        case VT_I2:
            return py::int_(value.iVal);
        case VT_UI2:
            return py::int_(value.uiVal);
        case VT_I4:
        case VT_INT:
            return py::int_(value.lVal);
        case VT_UI4:
        case VT_UINT:
            return py::int_(value.ulVal);
        case VT_I8:
            return py::int_(value.llVal);
        case VT_UI8:
            return py::int_(value.ullVal);
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            if (value.punkVal == nullptr) {
                return py::none();
            }
            tevo::com::ComPtr<IDispatch> dispatch;
            if (FAILED(value.punkVal->QueryInterface(IID_IDispatch,
                                                     dispatch.ReleaseAndGetVoidAddressOf()))) {
                return py::none();
            }
            return py::cast(std::make_shared<DispatchObject>(std::move(dispatch)));
        }
        default:
            break;
    }
    throw py::type_error("a result of VARIANT type " + std::to_string(value.vt) +
                         " cannot be given to Python");
}

}  // namespace tevo::python
