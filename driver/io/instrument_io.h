// InstrumentIo: the driver's one way to the instrument. It owns the VISA resource-manager
// and instrument sessions, sends wide SCPI templates expanded in the "C" locale, reads
// replies as text, numbers or bytes, applies per-call time-outs, turns VISA failures into
// driver errors (after a device clear) and, when the session asks for it, checks the
// instrument's event status register after every exchange.
//
// Every operation returns a 32-bit status: a VISA status or an HRESULT, negative on
// failure, positive VISA completion codes counting as success. There is no simulation
// here: callers test the session's Simulate setting first. The object has no lock of its
// own; callers hold the driver's call lock.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "session/error_reporting.h"
#include "tevo/platform.h"
#include "tevo/visa.h"

namespace tevo::driver {

// What the I/O object needs of the driver object that owns it.
class InstrumentIoOwner {
  public:
    // The session's QueryInstrumentStatus setting.
    virtual bool QueryInstrumentStatusEnabled() = 0;
    // The driver object's error reporting (class and current interface).
    virtual ErrorSource IoErrorSource() = 0;

  protected:
    ~InstrumentIoOwner() = default;
};

// Time-out argument of the exchange routines that leaves the session time-out alone.
inline constexpr LONG kSessionTimeout = -2;
// The time-out of Reset, Disable and SelfTest.
inline constexpr LONG kLongOperationTimeout = 30000;

class InstrumentIo {
  public:
    explicit InstrumentIo(InstrumentIoOwner& owner);
    virtual ~InstrumentIo();
    InstrumentIo(const InstrumentIo&) = delete;
    InstrumentIo& operator=(const InstrumentIo&) = delete;

    // Closes any open sessions, opens the default resource manager and the instrument
    // (access mode 0, open time-out 2000 ms). Returns the viOpen status as it is, also a
    // positive completion code.
    ViStatus Open(const wchar_t* resource);
    // Closes the instrument session and then the resource manager (each if open).
    void Close();
    ViSession Instrument() const { return instrument_; }

    // ---- The nine virtual operations, in this order ----
    // Expands the wide printf-style template (Windows CRT rules: "%s" a wide string) in
    // the "C" locale and sends it with WriteText. A text that does not fit in 8,388,608
    // characters is refused with E_OUTOFMEMORY and nothing is sent.
    virtual HRESULT WriteFormatted(const wchar_t* format, va_list args);
    // Reads up to count bytes (-1: 4096) into a new VT_UI1 SAFEARRAY of the received size.
    // The bytes are read straight into the array, which is then cut to what came.
    virtual HRESULT ReadToByteArray(SAFEARRAY** array, LONG count);
    // Reads up to maximum bytes as text; with strip, a trailing line feed is removed. The
    // bytes pass through the session's read buffer, which is kept between calls.
    virtual HRESULT ReadText(std::wstring* text, LONG maximum, bool strip);
    virtual HRESULT ReadRawBytes(BYTE* buffer, LONG count);
    // Sends a one-dimensional array of 1-byte elements (all, or the first count).
    virtual HRESULT WriteByteArray(SAFEARRAY* array, LONG count);
    // Sends the text (one byte per character) with one viWrite; END marks its end.
    virtual HRESULT WriteText(const wchar_t* text);
    virtual HRESULT WriteRawBytes(const BYTE* buffer, LONG count, LONG* written);
    // Device clear, then error 30002 "Error Code: %lx"; E_NOINTERFACE without a session.
    virtual HRESULT HandleIoFailure(HRESULT status);
    // "*ESR?": E_FAIL when any of bits 0x3C is set, else the read status.
    virtual HRESULT CheckEventStatus();

    // ---- Exchange routines: the exchange, then HandleIoFailure or CheckInstrumentStatus
    HRESULT Printf(const wchar_t* format, ...);
    HRESULT PrintfQueryText(const wchar_t* format, std::wstring* reply, LONG maximum, ...);
    HRESULT PrintfQueryInt(const wchar_t* format, LONG* value, ...);
    HRESULT PrintfQueryReal(const wchar_t* format, double* value, ...);
    HRESULT Write(const wchar_t* command, LONG timeout);
    HRESULT QueryText(const wchar_t* command, std::wstring* reply, LONG maximum, LONG timeout);
    HRESULT QueryInt(const wchar_t* command, LONG* value, LONG timeout);
    HRESULT QueryReal(const wchar_t* command, double* value, LONG timeout);
    HRESULT QueryBytes(const wchar_t* command, SAFEARRAY** bytes, LONG count, LONG timeout);
    HRESULT ReadRaw(BYTE* buffer, LONG count, LONG timeout);

    // S_OK when the session does not ask for status checks; otherwise CheckEventStatus,
    // a failure of which becomes error 30003.
    HRESULT CheckInstrumentStatus();

  private:
    friend class IoTimeoutScope;
    HRESULT Finish(HRESULT status);
    HRESULT VPrintfQueryText(const wchar_t* format, std::wstring* reply, LONG maximum,
                             va_list args);

    // The session's read buffer, at least size bytes (grown when needed, never
    // zero-filled: reads write it before anything reads it); nullptr when memory runs out.
    char* ReadBuffer(size_t size);
    // Gives back a read or format buffer that a rare large exchange has grown.
    void TrimBuffers();

    InstrumentIoOwner& owner_;
    ViSession resource_manager_ = 0;
    ViSession instrument_ = 0;
    std::wstring termination_;
    std::unique_ptr<char[]> read_buffer_;
    size_t read_buffer_size_ = 0;
    std::vector<wchar_t> format_buffer_;
};

// Integer and real replies, read as the C library's atol (first 19 characters) and wcstod
// do in the "C" locale: "1", "+1" and "1.000" are 1; no number is 0.
LONG ParseIntegerReply(const std::wstring& reply);
double ParseRealReply(const std::wstring& reply);

}  // namespace tevo::driver
