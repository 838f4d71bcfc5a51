"""tevo.Driver: the registered driver created by its ProgID, and its sessions."""

from . import _enums
from . import _errors
from . import _install
from . import _members
from . import _tevo

PROG_ID = "Tevo.Tevo"


def create_dispatch(prog_id):
    """The driver object's IDispatch; NotRegisteredError says what to run when the class
    is not registered."""
    try:
        return _tevo.create(prog_id)
    except _errors.DriverError as error:
        if error.hresult not in _errors.NOT_REGISTERED:
            raise
        raise _errors.NotRegisteredError(
            error.hresult, error.code,
            "%s\n(%s: %s)" % (_install.registration_hint(), error.member,
                              error.description.strip()),
            error.source, error.member) from None


class Session:
    """Initializes the driver on entering a with block and closes it on leaving."""

    def __init__(self, driver, resource, id_query, reset, options):
        self.driver = driver
        self.resource = resource
        self.id_query = id_query
        self.reset = reset
        self.options = options

    def __enter__(self):
        self.driver.Initialize(self.resource, self.id_query, self.reset, self.options)
        return self.driver

    def __exit__(self, kind, error, trace):
        try:
            if self.driver.Initialized:
                self.driver.Close()
        except _errors.DriverError:
            if kind is None:
                raise
        return False


class Driver(_members.DispatchObject):
    """The driver, created by its ProgID through the COM runtime: Driver() or
    Driver("Tevo.Tevo"). Every property and method of its interfaces is reached by
    name: drv.Frequency.Start = 1e9, drv.Traces.Item("Trace1").ReadY(1000)."""

    __slots__ = ()

    def __new__(cls, prog_id=PROG_ID):
        dispatch = create_dispatch(prog_id)
        _enums.load_libraries(dispatch)
        driver_class = _members.interface_class(dispatch, base=Driver)
        driver = object.__new__(driver_class)
        object.__setattr__(driver, "_dispatch", dispatch)
        return driver

    def __init__(self, prog_id=PROG_ID):
        pass  # __new__ made the object

    def session(self, resource, options="", id_query=True, reset=False):
        """A context manager that calls Initialize(resource, id_query, reset, options)
        and, at its end, Close:

            with tevo.Driver().session(resource, options="Simulate=true") as drv:
                ...
        """
        return Session(self, resource, id_query, reset, options)
