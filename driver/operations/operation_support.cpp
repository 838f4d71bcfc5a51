#include "operations/operation_support.h"

#include "attributes/attribute_engine.h"
#include "session/error_codes.h"

namespace tevo::driver::operations {

namespace {

// The reply limit of the calibration answer, a short number.
constexpr LONG kCalibrationAnswerLimit = 100;

}  // namespace

bool Simulating(OperationContext& context) {
    VARIANT_BOOL simulate = VARIANT_FALSE;
    const HRESULT hr = context.OwnDriverOperation()->get_Simulate(&simulate);
    return SUCCEEDED(hr) && simulate != VARIANT_FALSE;
}

HRESULT WindowSuffix(OperationContext& context, std::wstring* suffix) {
    return AttributeWindowSuffix(context, suffix);
}

HRESULT ReportNullPointer(const OperationContext& context, const char* method,
                          const char* parameter) {
    return ReportError(context.AttributeErrors(), kNullPointer, kNullPointerDetails, method,
                       parameter);
}

HRESULT ReportInvalidValue(const OperationContext& context, const char* value, const char* method,
                           const char* parameter) {
    return ReportError(context.AttributeErrors(), kInvalidValue, kInvalidValueDetails, value,
                       method, parameter);
}

HRESULT NewString(const std::wstring& text, BSTR* result) {
    *result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *result != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT ConsumePendingAnswer(OperationContext& context) {
    OperationState& state = context.Operations();
    if (!state.calibration_answer_pending) {
        return S_OK;
    }
    state.calibration_answer_pending = false;
    InstrumentIo& io = context.AttributeIo();
    std::wstring answer;
    const HRESULT read = io.ReadText(&answer, kCalibrationAnswerLimit, true);
    if (FAILED(read)) {
        return io.HandleIoFailure(read);
    }
    return io.CheckInstrumentStatus();
}

}  // namespace tevo::driver::operations
