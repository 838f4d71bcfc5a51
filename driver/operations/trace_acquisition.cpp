#include "operations/trace_acquisition.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "operations/operation_support.h"
#include "operations/trace_block.h"

namespace tevo::driver::operations {

namespace {

constexpr LONG kStatusReplyLimit = 100;

// Replies of "STAT:OPER:COND?" while only bits 0 (calibrating) and 3 (sweeping) can be
// set, and the acquisition status each stands for.
constexpr std::array<std::pair<const wchar_t*, LONG>, 4> kAcquisitionStatusReplies = {{
    {L"0", TevoAcquisitionStatusComplete},
    {L"1", TevoAcquisitionStatusComplete},
    {L"8", TevoAcquisitionStatusInProgress},
    {L"9", TevoAcquisitionStatusInProgress},
}};

HRESULT WriteUnlessSimulating(OperationContext& context, const wchar_t* command) {
    if (Simulating(context)) {
        return S_OK;
    }
    return context.AttributeIo().Printf(L"%s", command);
}

HRESULT ReadTraceInto(OperationContext& context, LONG trace_number, SAFEARRAY** Amplitude) {
    TraceBytes data;
    const HRESULT read = ReadTraceBlock(context, trace_number, &data);
    if (FAILED(read)) {
        return read;
    }
    return StoreTraceValues(data, Amplitude);
}

}  // namespace

HRESULT TevoTracesInitiate(OperationContext& context) {
    return WriteUnlessSimulating(context, L"INIT;*WAI");
}

HRESULT TevoTracesAbort(OperationContext& context) {
    return WriteUnlessSimulating(context, L"ABOR");
}

HRESULT TevoTracesSendSoftwareTrigger(OperationContext& context) {
    return WriteUnlessSimulating(context, L"*TRG");
}

HRESULT TevoTracesAcquisitionStatus(OperationContext& context, TevoAcquisitionStatusEnum* pVal) {
    if (pVal == nullptr) {
        return ReportNullPointer(context, "AcquisitionStatus", "pVal");
    }
    *pVal = TevoAcquisitionStatusComplete;
    if (Simulating(context)) {
        return S_OK;
    }
    HRESULT status = ConsumePendingAnswer(context);
    if (FAILED(status)) {
        return status;
    }
    std::wstring reply;
    status = context.AttributeIo().QueryText(L"STAT:OPER:COND?", &reply, kStatusReplyLimit,
                                             kSessionTimeout);
    if (FAILED(status)) {
        return status;
    }
    for (const auto& [token, value] : kAcquisitionStatusReplies) {
        if (reply == token) {
            *pVal = static_cast<TevoAcquisitionStatusEnum>(value);
            return status;
        }
    }
    return E_FAIL;
}

HRESULT SpecAnTracesInitiate(OperationContext& context) {
    return TevoTracesInitiate(context);
}

HRESULT SpecAnTracesAbort(OperationContext& context) {
    return TevoTracesAbort(context);
}

HRESULT SpecAnTracesSendSoftwareTrigger(OperationContext& context) {
    Simulating(context);
    return S_OK;
}

HRESULT SpecAnTracesAcquisitionStatus(const OperationContext& context,
                                      IviSpecAnAcquisitionStatusEnum* pVal) {
    if (pVal == nullptr) {
        return ReportNullPointer(context, "AcquisitionStatus", "pVal");
    }
    *pVal = IviSpecAnAcquisitionStatusComplete;
    return S_OK;
}

HRESULT FetchY(OperationContext& context, LONG trace_number, SAFEARRAY** Amplitude) {
    if (Amplitude == nullptr) {
        return ReportNullPointer(context, "FetchY", "Amplitude");
    }
    if (Simulating(context)) {
        return StoreSimulatedTrace(Amplitude);
    }
    HRESULT status = CheckCallerArray(context, "FetchY", *Amplitude);
    if (SUCCEEDED(status)) {
        status = ConsumePendingAnswer(context);
    }
    if (FAILED(status)) {
        return status;
    }
    return ReadTraceInto(context, trace_number, Amplitude);
}

HRESULT ReadY(OperationContext& context, LONG trace_number, LONG /*MaxTime*/,
              SAFEARRAY** Amplitude) {
    if (Amplitude == nullptr) {
        return ReportNullPointer(context, "ReadY", "Amplitude");
    }
    if (Simulating(context)) {
        return StoreSimulatedTrace(Amplitude);
    }
    HRESULT status = CheckCallerArray(context, "ReadY", *Amplitude);
    if (SUCCEEDED(status)) {
        status = ConsumePendingAnswer(context);
    }
    InstrumentIo& io = context.AttributeIo();
    if (SUCCEEDED(status)) {
        status = io.Printf(L"FORM REAL,32");
    }
    if (SUCCEEDED(status)) {
        status = io.Printf(L"INIT:CONT OFF");
    }
    double complete = 0.0;
    if (SUCCEEDED(status)) {
        status = io.QueryReal(L"INIT;*OPC?", &complete, kSessionTimeout);
    }
    if (FAILED(status)) {
        return status;
    }
    return ReadTraceInto(context, trace_number, Amplitude);
}

}  // namespace tevo::driver::operations
