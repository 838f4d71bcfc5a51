"""The exceptions of the tevo package and how a failed COM call becomes one of them."""

import re

# HRESULTs and VISA status codes the package tells apart.
VI_ERROR_TMO = 0xBFFF0015
E_IVI_CANNOT_RECOVER = 0x80047000
REGDB_E_CLASSNOTREG = 0x80040154
CO_E_CLASSSTRING = 0x800401F3
CO_E_DLLNOTFOUND = 0x800401F8
CO_E_ERRORINDLL = 0x800401F9

# The driver reports a failed VISA exchange as "Cannot recover" with the VISA status in its
# description ("Error Code: bfff0015", "VISA error code:bfff0015").
_VISA_TIMEOUT_IN_TEXT = re.compile(r"(?<![0-9a-f])bfff0015(?![0-9a-f])", re.IGNORECASE)


class DriverError(Exception):
    """A driver call failed.

    hresult      the HRESULT of the failure (unsigned, e.g. 0x80047000)
    code         the error code the driver reported with it (EXCEPINFO wCode, or its
                 scode as a signed 32-bit number)
    description  the driver's full description of the error
    source       the ProgID of the reporting class, when the driver gave one
    member       the interface member that failed, e.g. "ITevoTrace.ReadY"
    """

    def __init__(self, hresult, code, description, source="", member=""):
        super().__init__(hresult, code, description, source, member)
        self.hresult = hresult & 0xFFFFFFFF
        self.code = code
        self.description = description
        self.source = source
        self.member = member

    def __str__(self):
        where = self.member + ": " if self.member else ""
        text = self.description.replace("\r\n", "\n").strip()
        return "%s%s (HRESULT 0x%08X)" % (where, text, self.hresult)


class TimeoutError(DriverError):  # noqa: A001 - the package's own time-out, a DriverError
    """The instrument did not answer within the I/O time-out (VISA VI_ERROR_TMO)."""


class NotRegisteredError(DriverError):
    """The driver class is not registered in the system root, so it cannot be created."""


def is_timeout(hresult, description):
    """Whether a failure is a VISA time-out, reported directly or inside the driver's
    "Cannot recover" error."""
    hresult &= 0xFFFFFFFF
    if hresult == VI_ERROR_TMO:
        return True
    return hresult == E_IVI_CANNOT_RECOVER and bool(_VISA_TIMEOUT_IN_TEXT.search(description))


def error_from_failure(hresult, code, description, source, member):
    """The exception for a failed call; the extension module raises what this returns."""
    kind = TimeoutError if is_timeout(hresult, description) else DriverError
    return kind(hresult, code, description, source, member)


NOT_REGISTERED = (REGDB_E_CLASSNOTREG, CO_E_CLASSSTRING, CO_E_DLLNOTFOUND, CO_E_ERRORINDLL)
