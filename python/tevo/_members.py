"""Python classes for the driver's automation interfaces, generated from type information.

Every interface an object reports (IDispatch::GetTypeInfo) becomes one class, made once
per process: properties without arguments are Python properties (read-only when the
interface has no put), methods and properties with arguments are methods, each with the
member's help string as its __doc__. Calls go by name through IDispatch; enumerations come
back as IntEnum members, interfaces as objects of their generated class, in/out and out
parameters after the return value.
"""

import threading

from . import _enums
from . import _tevo

GET = _tevo.INVOKE_PROPERTYGET
PUT = _tevo.INVOKE_PROPERTYPUT
CALL = _tevo.INVOKE_FUNC

# VARIANT types as Python readers know them, for the documentation of members.
_TYPE_NAMES = {
    2: "int", 3: "int", 4: "float", 5: "float", 6: "float", 7: "float", 8: "str",
    9: "object", 11: "bool", 12: "any", 13: "object", 16: "int", 17: "int", 18: "int",
    19: "int", 20: "int", 21: "int", 22: "int", 23: "int",
}

_lock = threading.Lock()
_classes = {}


class DispatchObject:
    """An object of the driver. Its members are those of its interface; dir() lists
    them and help() shows their help strings."""

    __slots__ = ("_dispatch", "__weakref__")
    _interface = "IDispatch"
    _lower_names = {}

    def __init__(self, dispatch):
        object.__setattr__(self, "_dispatch", dispatch)

    def __getattr__(self, name):
        # Only reached when the exact name is not an attribute: member names are matched
        # without regard to letter case, as IDispatch matches them.
        actual = type(self)._lower_names.get(name.lower())
        if actual is not None and actual != name:
            return getattr(self, actual)
        raise AttributeError("%s has no member %r" % (type(self)._interface, name))

    def __setattr__(self, name, value):
        actual = type(self)._lower_names.get(name.lower())
        if actual is None:
            raise AttributeError("%s has no member %r" % (type(self)._interface, name))
        if not isinstance(getattr(type(self), actual, None), property):
            raise AttributeError("%s.%s is not a property" % (type(self)._interface, actual))
        object.__setattr__(self, actual, value)

    def __repr__(self):
        return "<tevo %s object>" % type(self)._interface


def _type_name(param):
    if param["enum"] is not None:
        name = param["enum"]["name"]
    elif param["interface"] is not None:
        name = param["interface"]
    else:
        name = _TYPE_NAMES.get(param["vt"], "value")
    if param["array"]:
        return "numpy.ndarray[float64]" if param["vt"] == 5 else "list[%s]" % name
    return name


def to_python(value, param):
    """A value the extension returned, as the parameter's declared type has it."""
    if isinstance(value, _tevo.Dispatch):
        return wrap(value)
    if param is not None and param["enum"] is not None and isinstance(value, int) \
            and not isinstance(value, bool):
        cls = _enums.enum_class(param["enum"])
        try:
            return cls(value)
        except ValueError:
            return value
    return value


def to_com(value, param):
    """An argument as the extension takes it: enumeration members may be given by name."""
    if param["enum"] is not None and isinstance(value, str):
        return int(_enums.value_of(_enums.enum_class(param["enum"]), value))
    if isinstance(value, DispatchObject):
        return value._dispatch
    return value


def _results(member, result, outputs):
    """The return value first, then the output parameters; one value alone is returned
    as it is, none as None."""
    values = []
    outs = []
    for param in member["params"]:
        if param["retval"]:
            values.append(to_python(result, param))
        elif param["out"]:
            outs.append(param)
    values.extend(to_python(value, param) for value, param in zip(outputs, outs))
    if not values:
        return None
    return values[0] if len(values) == 1 else tuple(values)


def _bind(member, args, kwargs):
    """One value (or None: left out) per parameter that is not the return value."""
    params = [param for param in member["params"] if not param["retval"]]
    givable = [param for param in params if param["in"]]
    if len(args) > len(givable):
        raise TypeError("%s takes at most %d arguments (%d given)"
                        % (member["name"], len(givable), len(args)))
    given = {param["name"].lower(): value for param, value in zip(givable, args)}
    for name, value in kwargs.items():
        key = name.lower()
        if key in given or not any(p["name"].lower() == key for p in givable):
            raise TypeError("%s got an unexpected or repeated argument %r"
                            % (member["name"], name))
        given[key] = value
    values = []
    for param in params:
        value = given.get(param["name"].lower()) if param["in"] else None
        if value is None and param["in"] and not param["out"] and not param["optional"]:
            raise TypeError("%s needs its argument %r" % (member["name"], param["name"]))
        values.append(None if value is None else to_com(value, param))
    return values


def _signature(member):
    params = [param for param in member["params"] if not param["retval"] and param["in"]]
    text = ", ".join(
        "%s: %s%s" % (p["name"], _type_name(p), " = None" if p["optional"] or p["out"] else "")
        for p in params)
    results = [_type_name(p) for p in member["params"] if p["retval"]]
    results += [_type_name(p) for p in member["params"] if p["out"] and not p["retval"]]
    shown = "None" if not results else results[0] if len(results) == 1 \
        else "tuple[%s]" % ", ".join(results)
    return "%s(%s) -> %s" % (member["name"], text, shown)


def _method(interface, member):
    name = member["name"]
    kind = member["kind"]

    def call(self, *args, **kwargs):
        result, outputs = self._dispatch.invoke(name, kind, _bind(member, args, kwargs))
        return _results(member, result, outputs)

    call.__name__ = name
    call.__qualname__ = "%s.%s" % (interface, name)
    call.__doc__ = _signature(member) + ("\n\n" + member["doc"] if member["doc"] else "")
    return call


def _property(interface, name, getter, setter):
    value_param = next((p for p in getter["params"] if p["retval"]), None) if getter else None
    if value_param is None and setter is not None:
        value_param = next((p for p in setter["params"] if not p["retval"]), None)

    def fget(self):
        if getter is None:
            raise AttributeError("%s.%s can only be set" % (interface, name))
        result, _ = self._dispatch.invoke(name, GET, [])
        return to_python(result, value_param)

    def fset(self, value):
        if setter is None:
            raise AttributeError("%s.%s is read-only" % (interface, name))
        self._dispatch.invoke(name, PUT, [to_com(value, value_param)])

    doc = (getter or setter)["doc"]
    access = "" if setter is not None and getter is not None else \
        " (read-only)" if setter is None else " (write-only)"
    type_text = _type_name(value_param) if value_param is not None else "value"
    return property(fget, fset, doc="%s: %s%s%s" % (name, type_text, access,
                                                       "\n\n" + doc if doc else ""))


def _attributes(interface, members):
    """The class attributes for the members, grouped by name (a property's get and put
    are two members)."""
    by_name = {}
    for member in members:
        by_name.setdefault(member["name"], {}).setdefault(member["kind"], member)
    attributes = {}
    for name, kinds in by_name.items():
        getter = kinds.get(GET)
        takes_arguments = getter is not None and any(
            not p["retval"] for p in getter["params"])
        if CALL in kinds:
            attributes[name] = _method(interface, kinds[CALL])
        elif takes_arguments:
            attributes[name] = _method(interface, getter)
        else:
            attributes[name] = _property(interface, name, getter, kinds.get(PUT))
    return attributes


def interface_class(dispatch, base=DispatchObject):
    """The generated class for the interface of `dispatch` (made once per interface)."""
    key = (dispatch.iid, base)
    with _lock:
        found = _classes.get(key)
        if found is not None:
            return found
    description = dispatch.describe()
    attributes = _attributes(description["name"], description["members"])
    attributes.update({
        "__slots__": (),
        "__doc__": description["doc"] or "The %s interface of the driver." % description["name"],
        "__module__": "tevo",
        "_interface": description["name"],
        "_lower_names": {name.lower(): name for name in attributes},
    })
    cls = type(description["name"], (base,), attributes)
    with _lock:
        return _classes.setdefault(key, cls)


def wrap(dispatch):
    """The Python object for an automation object of the extension (None stays None)."""
    if dispatch is None:
        return None
    return interface_class(dispatch)(dispatch)
