#include "operations/trace_block.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdint>
#include <string>

#include "operations/block_header.h"
#include "operations/operation_support.h"
#include "session/error_codes.h"

namespace tevo::driver::operations {

namespace {

constexpr size_t kValueBytes = 4;
constexpr LONG kSimulatedPoints = 100;
// The block's data is read in pieces of at most this size, so that a length field that
// announces far more than arrives does not allocate it all up front.
constexpr size_t kReadPiece = size_t{1} << 20;

HRESULT WriteCommand(InstrumentIo& io, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const HRESULT status = io.WriteFormatted(format, args);
    va_end(args);
    return status;
}

// Reads exactly count bytes unless the reply ends or fails first; received tells how many
// came.
ViStatus ReadBytes(InstrumentIo& io, BYTE* buffer, size_t count, size_t* received) {
    ViUInt32 got = 0;
    const ViStatus status = viRead(io.Instrument(), buffer, static_cast<ViUInt32>(count), &got);
    *received = got;
    return status;
}

// A malformed block: the session is cleared (the rest of the reply must not reach the next
// query) and error 30002 names the fault.
HRESULT MalformedBlock(OperationContext& context, const std::string& what) {
    const InstrumentIo& io = context.AttributeIo();
    viClear(io.Instrument());
    return ReportError(context.AttributeErrors(), kCannotRecover, "Trace block: %s", what.c_str());
}

// Reads the header; *length is the announced data length, or -1 for "#0".
HRESULT ReadBlockHeader(OperationContext& context, long long* length) {
    InstrumentIo& io = context.AttributeIo();
    BYTE start[2] = {};
    size_t received = 0;
    const ViStatus status = ReadBytes(io, start, sizeof start, &received);
    if (status < VI_SUCCESS && received < sizeof start) {
        return received == 0 ? io.HandleIoFailure(status)
                             : MalformedBlock(context, "the reply ended inside the header \"" +
                                                           PrintableBytes(start, received) + "\"");
    }
    size_t digits = 0;
    if (const auto fault = CheckBlockStart(start, received, &digits)) {
        return MalformedBlock(context, *fault);
    }
    if (digits == 0) {
        *length = -1;
        return S_OK;
    }
    BYTE field[9] = {};
    // A read that fails part-way shows as fewer digits than announced.
    static_cast<void>(ReadBytes(io, field, digits, &received));
    if (const auto fault = ParseBlockLength(field, received, digits, length)) {
        return MalformedBlock(context, *fault);
    }
    return S_OK;
}

// An array made without a recorded element type (SafeArrayAllocDescriptor) counts as one
// of doubles when its elements are 8 bytes of plain data.
bool HoldsDoubles(SAFEARRAY* array) {
    VARTYPE type = VT_EMPTY;
    if (SUCCEEDED(SafeArrayGetVartype(array, &type))) {
        return type == VT_R8;
    }
    constexpr USHORT kTypedElements =
        FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;
    return SafeArrayGetElemsize(array) == sizeof(double) &&
           (array->fFeatures & kTypedElements) == 0;
}

}  // namespace

HRESULT ReadTraceBlock(OperationContext& context, LONG trace_number, TraceBytes* data) {
    data->clear();
    InstrumentIo& io = context.AttributeIo();
    HRESULT status = WriteCommand(io, L"TRAC? TRACE%d", static_cast<int>(trace_number));
    if (FAILED(status)) {
        return io.HandleIoFailure(status);
    }
    long long length = 0;
    status = ReadBlockHeader(context, &length);
    if (FAILED(status)) {
        return status;
    }
    // "#0": an indefinite block carries no length, so no values. Its rest is abandoned by
    // the session at the next write.
    const size_t announced = length < 0 ? 0 : static_cast<size_t>(length);
    while (data->size() < announced) {
        const size_t piece = std::min(kReadPiece, announced - data->size());
        const size_t offset = data->size();
        try {
            data->resize(offset + piece);
        } catch (const std::bad_alloc&) {
            data->clear();
            viClear(io.Instrument());
            return E_OUTOFMEMORY;
        }
        size_t received = 0;
        const ViStatus read = ReadBytes(io, data->data() + offset, piece, &received);
        data->resize(offset + received);
        if (read < VI_SUCCESS || received < piece) {
            const std::string arrived = std::to_string(data->size());
            data->clear();
            return MalformedBlock(context, "the length field announces " +
                                               std::to_string(announced) + " bytes, " + arrived +
                                               " arrived");
        }
    }
    return io.CheckInstrumentStatus();
}

HRESULT CheckCallerArray(const OperationContext& context, const char* method, SAFEARRAY* array) {
    if (array == nullptr) {
        return S_OK;
    }
    if (SafeArrayGetDim(array) == 1 && HoldsDoubles(array)) {
        return S_OK;
    }
    return ReportInvalidValue(context, "SAFEARRAY", method, "Amplitude");
}

HRESULT StoreTraceValues(const TraceBytes& data, SAFEARRAY** array) {
    const size_t count = data.size() / kValueBytes;
    if (*array == nullptr) {
        *array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(count));
        if (*array == nullptr) {
            return E_OUTOFMEMORY;
        }
    }
    SAFEARRAY* target = *array;
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(target, 1, &lower);
    SafeArrayGetUBound(target, 1, &upper);
    const auto elements = static_cast<size_t>(static_cast<long long>(upper) - lower + 1);
    if (elements < count) {
        SAFEARRAYBOUND bound{static_cast<ULONG>(count), lower};
        const HRESULT grown = SafeArrayRedim(target, &bound);
        if (FAILED(grown)) {
            return grown;
        }
    }
    void* raw = nullptr;
    const HRESULT access = SafeArrayAccessData(target, &raw);
    if (FAILED(access)) {
        return access;
    }
    auto* values = static_cast<double*>(raw);
    for (size_t k = 0; k < count; ++k) {
        const BYTE* b = data.data() + k * kValueBytes;
        const std::uint32_t bits =
            static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
            (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
        values[k] = static_cast<double>(std::bit_cast<float>(bits));
    }
    SafeArrayUnaccessData(target);
    return S_OK;
}

HRESULT StoreSimulatedTrace(SAFEARRAY** array) {
    SAFEARRAY* zeros = SafeArrayCreateVector(VT_R8, 0, kSimulatedPoints);
    if (zeros == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (*array != nullptr) {
        SafeArrayDestroy(*array);
    }
    *array = zeros;
    return S_OK;
}

}  // namespace tevo::driver::operations
