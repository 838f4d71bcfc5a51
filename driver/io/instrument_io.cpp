#include "io/instrument_io.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "io/io_timeout_scope.h"
#include "session/error_codes.h"
#include "session/text_conversion.h"

namespace tevo::driver {

namespace {

constexpr ViUInt32 kOpenTimeoutMs = 2000;
constexpr LONG kDefaultByteCount = 4096;
constexpr LONG kNumberReplyLimit = 100;
constexpr LONG kEventStatusReplyLimit = 80;
// Event status bits that mean an error: query (4), device-dependent (8), execution (16)
// and command (32) error.
constexpr LONG kEventStatusErrorBits = 0x3C;
constexpr size_t kFirstFormatBuffer = 1024;
constexpr size_t kFormatBufferGrowthLimit = 5000000;
// Buffers kept between exchanges up to this size: the largest query reply (512 KiB) fits;
// anything larger is given back after the exchange that needed it.
constexpr size_t kRetainedReadBuffer = 512 * 1024;
constexpr size_t kRetainedFormatBuffer = 64 * 1024;

}  // namespace

InstrumentIo::InstrumentIo(InstrumentIoOwner& owner) : owner_(owner), termination_(L"\n") {}

InstrumentIo::~InstrumentIo() {
    Close();
}

ViStatus InstrumentIo::Open(const wchar_t* resource) {
    Close();
    const ViStatus rm_status = viOpenDefaultRM(&resource_manager_);
    if (rm_status < VI_SUCCESS) {
        resource_manager_ = 0;
        return rm_status;
    }
    const std::string descriptor = resource != nullptr ? WideToAnsi(resource) : std::string();
    ViSession instrument = 0;
    const ViStatus status =
        viOpen(resource_manager_, descriptor.c_str(), VI_NULL, kOpenTimeoutMs, &instrument);
    instrument_ = status < VI_SUCCESS ? 0 : instrument;
    return status;
}

void InstrumentIo::Close() {
    if (instrument_ != 0) {
        viClose(instrument_);
        instrument_ = 0;
    }
    if (resource_manager_ != 0) {
        viClose(resource_manager_);
        resource_manager_ = 0;
    }
}

char* InstrumentIo::ReadBuffer(size_t size) {
    if (size > read_buffer_size_ || !read_buffer_) {
        const size_t capacity = std::max<size_t>(size, 1);
        // Default-initialised on purpose: zero-filling up to 512 KiB per query costs more
        // than the query's own copies.
        std::unique_ptr<char[]> grown(new (std::nothrow) char[capacity]);
        if (!grown) {
            return nullptr;
        }
        read_buffer_ = std::move(grown);
        read_buffer_size_ = capacity;
    }
    return read_buffer_.get();
}

void InstrumentIo::TrimBuffers() {
    if (read_buffer_size_ > kRetainedReadBuffer) {
        read_buffer_.reset();
        read_buffer_size_ = 0;
    }
    if (format_buffer_.size() > kRetainedFormatBuffer) {
        format_buffer_ = std::vector<wchar_t>();
    }
}

HRESULT InstrumentIo::WriteFormatted(const wchar_t* format, va_list args) {
    if (format == nullptr) {
        return E_POINTER;
    }
    // The buffer doubles from 1024 characters while the text does not fit, up to
    // 8,388,608 characters; a longer command is refused rather than sent in part. It is
    // kept between calls, so an ordinary command neither allocates nor clears it.
    HRESULT status = S_OK;
    for (size_t size = kFirstFormatBuffer;; size *= 2) {
        if (format_buffer_.size() < size) {
            try {
                format_buffer_.resize(size);
            } catch (const std::bad_alloc&) {
                status = E_OUTOFMEMORY;
                break;
            }
        }
        va_list copy;
        va_copy(copy, args);
        const int written = _vsnwprintf_l(format_buffer_.data(), size - 1, format, CLocale(), copy);
        va_end(copy);
        if (written >= 0) {
            format_buffer_[static_cast<size_t>(written)] = L'\0';
            break;
        }
        if (size >= kFormatBufferGrowthLimit) {
            status = E_OUTOFMEMORY;
            break;
        }
    }
    if (status == S_OK) {
        status = WriteText(format_buffer_.data());
    }
    TrimBuffers();
    return status;
}

HRESULT InstrumentIo::ReadToByteArray(SAFEARRAY** array, LONG count) {
    if (array == nullptr) {
        return E_POINTER;
    }
    const LONG wanted = count == -1 ? kDefaultByteCount : count;
    if (wanted < 0) {
        return E_INVALIDARG;
    }
    ViUInt32 received = 0;
    SAFEARRAY* result = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(wanted));
    void* data = nullptr;
    if (result == nullptr || FAILED(SafeArrayAccessData(result, &data))) {
        // No array to read into: the reply is still read (through the session's buffer)
        // and its status returned, with no array.
        SafeArrayDestroy(result);
        char* scratch = ReadBuffer(static_cast<size_t>(wanted));
        if (scratch == nullptr) {
            return E_OUTOFMEMORY;
        }
        const ViStatus status = viRead(instrument_, reinterpret_cast<ViPBuf>(scratch),
                                       static_cast<ViUInt32>(wanted), &received);
        TrimBuffers();
        if (status >= VI_SUCCESS) {
            *array = nullptr;
        }
        return status;
    }
    // The bytes go straight into the array, which is then cut to what came: no buffer of
    // our own and no second copy of a trace.
    const ViStatus status =
        viRead(instrument_, static_cast<ViPBuf>(data), static_cast<ViUInt32>(wanted), &received);
    SafeArrayUnaccessData(result);
    if (status < VI_SUCCESS) {
        SafeArrayDestroy(result);
        return status;
    }
    SAFEARRAYBOUND bound{received, 0};
    SafeArrayRedim(result, &bound);  // shrinking keeps the first received bytes
    *array = result;
    return status;
}

HRESULT InstrumentIo::ReadText(std::wstring* text, LONG maximum, bool strip) {
    if (text == nullptr) {
        return E_POINTER;
    }
    if (maximum < 0) {
        return E_INVALIDARG;
    }
    char* bytes = ReadBuffer(static_cast<size_t>(maximum));
    if (bytes == nullptr) {
        return E_OUTOFMEMORY;
    }
    ViUInt32 received = 0;
    const ViStatus status = viRead(instrument_, reinterpret_cast<ViPBuf>(bytes),
                                   static_cast<ViUInt32>(maximum), &received);
    if (status >= VI_SUCCESS) {
        *text = AnsiToWide(std::string_view(bytes, received));
        if (strip && text->size() >= termination_.size() &&
            text->compare(text->size() - termination_.size(), termination_.size(), termination_) ==
                0) {
            text->resize(text->size() - termination_.size());
        }
    }
    TrimBuffers();
    return status;
}

HRESULT InstrumentIo::ReadRawBytes(BYTE* buffer, LONG count) {
    if (buffer == nullptr) {
        return E_POINTER;
    }
    ViUInt32 received = 0;
    return viRead(instrument_, buffer, static_cast<ViUInt32>(count < 0 ? 0 : count), &received);
}

HRESULT InstrumentIo::WriteByteArray(SAFEARRAY* array, LONG count) {
    if (array == nullptr) {
        return E_POINTER;
    }
    if (SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != 1) {
        return E_INVALIDARG;
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    LONG elements = upper - lower + 1;
    if (count != -1 && count < elements) {
        elements = count < 0 ? 0 : count;
    }
    void* data = nullptr;
    const HRESULT access = SafeArrayAccessData(array, &data);
    if (FAILED(access)) {
        return access;
    }
    ViUInt32 written = 0;
    const ViStatus status = viWrite(instrument_, static_cast<ViConstBuf>(data),
                                    static_cast<ViUInt32>(elements), &written);
    SafeArrayUnaccessData(array);
    return status;
}

HRESULT InstrumentIo::WriteText(const wchar_t* text) {
    if (text == nullptr) {
        return E_POINTER;
    }
    const std::string bytes = WideToAnsi(text);
    ViUInt32 written = 0;
    return viWrite(instrument_, reinterpret_cast<ViConstBuf>(bytes.data()),
                   static_cast<ViUInt32>(bytes.size()), &written);
}

HRESULT InstrumentIo::WriteRawBytes(const BYTE* buffer, LONG count, LONG* written) {
    if (buffer == nullptr || written == nullptr) {
        return E_POINTER;
    }
    ViUInt32 sent = 0;
    const ViStatus status =
        viWrite(instrument_, buffer, static_cast<ViUInt32>(count < 0 ? 0 : count), &sent);
    *written = static_cast<LONG>(sent);
    return status;
}

HRESULT InstrumentIo::HandleIoFailure(HRESULT status) {
    if (instrument_ == 0) {
        return E_NOINTERFACE;
    }
    viClear(instrument_);
    return ReportError(owner_.IoErrorSource(), kCannotRecover, "Error Code: %lx",
                       static_cast<ULONG>(status));
}

HRESULT InstrumentIo::CheckEventStatus() {
    if (instrument_ == 0) {
        return E_NOINTERFACE;
    }
    static constexpr char kQuery[] = "*ESR?";
    ViUInt32 written = 0;
    ViStatus status =
        viWrite(instrument_, reinterpret_cast<ViConstBuf>(kQuery), sizeof(kQuery) - 1, &written);
    if (status < VI_SUCCESS) {
        return status;
    }
    char reply[kEventStatusReplyLimit + 1] = {};
    ViUInt32 received = 0;
    status =
        viRead(instrument_, reinterpret_cast<ViPBuf>(reply), kEventStatusReplyLimit, &received);
    if (status < VI_SUCCESS) {
        return status;
    }
    reply[received] = '\0';
    const LONG value = _atol_l(reply, CLocale());
    return (value & kEventStatusErrorBits) != 0 ? E_FAIL : status;
}

HRESULT InstrumentIo::CheckInstrumentStatus() {
    if (!owner_.QueryInstrumentStatusEnabled()) {
        return S_OK;
    }
    const HRESULT status = CheckEventStatus();
    if (status < 0) {
        return ReportError(owner_.IoErrorSource(), kInstrumentStatus,
                           "Instrument error detected.  Use ErrorQuery() to determine the "
                           "error(s).");
    }
    return status;
}

HRESULT InstrumentIo::Finish(HRESULT status) {
    return status < 0 ? HandleIoFailure(status) : CheckInstrumentStatus();
}

HRESULT InstrumentIo::Printf(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const HRESULT status = WriteFormatted(format, args);
    va_end(args);
    return Finish(status);
}

HRESULT InstrumentIo::VPrintfQueryText(const wchar_t* format, std::wstring* reply, LONG maximum,
                                       va_list args) {
    if (reply == nullptr) {
        return E_POINTER;
    }
    HRESULT status = WriteFormatted(format, args);
    if (status >= 0) {
        status = ReadText(reply, maximum, true);
    }
    return Finish(status);
}

HRESULT InstrumentIo::PrintfQueryText(const wchar_t* format, std::wstring* reply, LONG maximum,
                                      ...) {
    va_list args;
    va_start(args, maximum);
    const HRESULT status = VPrintfQueryText(format, reply, maximum, args);
    va_end(args);
    return status;
}

HRESULT InstrumentIo::PrintfQueryInt(const wchar_t* format, LONG* value, ...) {
    if (value == nullptr) {
        return E_POINTER;
    }
    va_list args;
    va_start(args, value);
    std::wstring reply;
    const HRESULT status = VPrintfQueryText(format, &reply, kNumberReplyLimit, args);
    va_end(args);
    if (status >= 0) {
        *value = ParseIntegerReply(reply);
    }
    return status;
}

HRESULT InstrumentIo::PrintfQueryReal(const wchar_t* format, double* value, ...) {
    if (value == nullptr) {
        return E_POINTER;
    }
    va_list args;
    va_start(args, value);
    std::wstring reply;
    const HRESULT status = VPrintfQueryText(format, &reply, kNumberReplyLimit, args);
    va_end(args);
    if (status >= 0) {
        *value = ParseRealReply(reply);
    }
    return status;
}

HRESULT InstrumentIo::Write(const wchar_t* command, LONG timeout) {
    IoTimeoutScope scope(*this, timeout);
    return Finish(WriteText(command));
}

HRESULT InstrumentIo::QueryText(const wchar_t* command, std::wstring* reply, LONG maximum,
                                LONG timeout) {
    IoTimeoutScope scope(*this, timeout);
    if (reply == nullptr) {
        return E_POINTER;
    }
    HRESULT status = WriteText(command);
    if (status >= 0) {
        status = ReadText(reply, maximum, true);
    }
    return Finish(status);
}

HRESULT InstrumentIo::QueryInt(const wchar_t* command, LONG* value, LONG timeout) {
    if (value == nullptr) {
        return E_POINTER;
    }
    std::wstring reply;
    const HRESULT status = QueryText(command, &reply, kNumberReplyLimit, timeout);
    if (status >= 0) {
        *value = ParseIntegerReply(reply);
    }
    return status;
}

HRESULT InstrumentIo::QueryReal(const wchar_t* command, double* value, LONG timeout) {
    if (value == nullptr) {
        return E_POINTER;
    }
    std::wstring reply;
    const HRESULT status = QueryText(command, &reply, kNumberReplyLimit, timeout);
    if (status >= 0) {
        *value = ParseRealReply(reply);
    }
    return status;
}

HRESULT InstrumentIo::QueryBytes(const wchar_t* command, SAFEARRAY** bytes, LONG count,
                                 LONG timeout) {
    IoTimeoutScope scope(*this, timeout);
    if (bytes == nullptr) {
        return E_POINTER;
    }
    HRESULT status = WriteText(command);
    if (status >= 0) {
        status = ReadToByteArray(bytes, count);
    }
    return Finish(status);
}

HRESULT InstrumentIo::ReadRaw(BYTE* buffer, LONG count, LONG timeout) {
    IoTimeoutScope scope(*this, timeout);
    return Finish(ReadRawBytes(buffer, count));
}

LONG ParseIntegerReply(const std::wstring& reply) {
    const std::string narrow = WideToAnsi(std::wstring_view(reply).substr(0, 19));
    return _atol_l(narrow.c_str(), CLocale());
}

double ParseRealReply(const std::wstring& reply) {
    return _wcstod_l(reply.c_str(), nullptr, CLocale());
}

}  // namespace tevo::driver
