#include "operations/service_calibration.h"

#include <string>

#include "operations/operation_support.h"

namespace tevo::driver::operations {

namespace {

constexpr LONG kResultsReplyLimit = 100;

}  // namespace

HRESULT ServiceFunction(OperationContext& context, BSTR ServiceFunctionName) {
    if (Simulating(context)) {
        return S_OK;
    }
    return context.AttributeIo().Printf(L"DIAG:SERV:SFUN %s", TextOf(ServiceFunctionName));
}

HRESULT CalibrationInitiate(OperationContext& context) {
    if (Simulating(context)) {
        return S_OK;
    }
    // Written without the exchange routine's status check: "*ESR?" would read the
    // calibration's answer as its own. The check follows when the answer is consumed.
    InstrumentIo& io = context.AttributeIo();
    HRESULT status = ConsumePendingAnswer(context);
    if (FAILED(status)) {
        return status;
    }
    status = io.WriteText(L"*CAL?");
    if (FAILED(status)) {
        return io.HandleIoFailure(status);
    }
    context.Operations().calibration_answer_pending = true;
    return S_OK;
}

HRESULT CalibrationGetResults(OperationContext& context, BSTR* pVal) {
    if (pVal == nullptr) {
        return ReportNullPointer(context, "GetResults", "pVal");
    }
    *pVal = nullptr;
    if (Simulating(context)) {
        return NewString(L"Simulated string", pVal);
    }
    HRESULT status = ConsumePendingAnswer(context);
    std::wstring results;
    if (SUCCEEDED(status)) {
        status = context.AttributeIo().QueryText(L"CAL:RES?", &results, kResultsReplyLimit,
                                                 kSessionTimeout);
    }
    if (FAILED(status)) {
        return status;
    }
    const HRESULT made = NewString(results, pVal);
    return FAILED(made) ? made : status;
}

}  // namespace tevo::driver::operations
