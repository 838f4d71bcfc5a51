#include "operations/raw_io.h"

#include <string>

#include "operations/operation_support.h"

namespace tevo::driver::operations {

HRESULT RawWrite(OperationContext& context, BSTR SCPICommand) {
    if (Simulating(context)) {
        return S_OK;
    }
    return context.AttributeIo().Printf(L"%s", TextOf(SCPICommand));
}

HRESULT RawQuery(OperationContext& context, BSTR SCPICommand, BSTR* pResult) {
    if (pResult == nullptr) {
        return ReportNullPointer(context, "Query", "pResult");
    }
    if (Simulating(context)) {
        return NewString(L"Simulated string", pResult);
    }
    *pResult = nullptr;
    HRESULT status = ConsumePendingAnswer(context);
    std::wstring reply;
    if (SUCCEEDED(status)) {
        status = context.AttributeIo().PrintfQueryText(L"%s", &reply, kRawQueryReplyLimit,
                                                       TextOf(SCPICommand));
    }
    if (FAILED(status)) {
        return status;
    }
    const HRESULT made = NewString(reply, pResult);
    return FAILED(made) ? made : status;
}

HRESULT RawRead(OperationContext& context, LONG Count, BYTE* pResponse) {
    if (pResponse == nullptr) {
        return ReportNullPointer(context, "Read", "pResponse");
    }
    if (Simulating(context)) {
        return S_OK;
    }
    // A raw read takes whatever comes next, also a calibration answer: the client asked
    // for the bytes as they are, so the owed answer is no longer the driver's to consume.
    context.Operations().calibration_answer_pending = false;
    return context.AttributeIo().ReadRaw(pResponse, Count, kSessionTimeout);
}

}  // namespace tevo::driver::operations
