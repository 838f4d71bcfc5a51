// Trace acquisition: the sweep operations of the two trace collections and FetchY/ReadY of
// the trace items.
//
// Collection methods call these with the context alone; the item methods pass their trace
// number (the item's zero-based index in its list plus 1) after the context:
//     ITevoTraces::Initiate           -> TevoTracesInitiate(context)
//     IIviSpecAnTraces::Initiate      -> SpecAnTracesInitiate(context)   (forwards)
//     ITevoTrace::ReadY(MaxTime, A)   -> ReadY(context, TraceNumber(), MaxTime, A)
//     IIviSpecAnTrace::FetchY(A)      -> FetchY(context, TraceNumber(), A)
//
// In simulation nothing is sent: the commands succeed, AcquisitionStatus answers complete
// and FetchY/ReadY return a new array of 100 zeros.
#pragma once

#include "operations/operation_context.h"

namespace tevo::driver::operations {

// "INIT;*WAI", "ABOR", "*TRG".
HRESULT TevoTracesInitiate(OperationContext& context);
HRESULT TevoTracesAbort(OperationContext& context);
HRESULT TevoTracesSendSoftwareTrigger(OperationContext& context);
// Asks the operation condition register ("STAT:OPER:COND?"): bit 3 set means a sweep is
// running (in progress, 0), clear means complete (1). pVal is 1 until the answer is known;
// an answer that is not a register value the table knows is E_FAIL without error text.
HRESULT TevoTracesAcquisitionStatus(OperationContext& context, TevoAcquisitionStatusEnum* pVal);

// The class-compliant collection: Initiate and Abort forward; SendSoftwareTrigger sends
// nothing; AcquisitionStatus answers complete without asking the instrument.
HRESULT SpecAnTracesInitiate(OperationContext& context);
HRESULT SpecAnTracesAbort(OperationContext& context);
HRESULT SpecAnTracesSendSoftwareTrigger(OperationContext& context);
HRESULT SpecAnTracesAcquisitionStatus(const OperationContext& context,
                                      IviSpecAnAcquisitionStatusEnum* pVal);

// Reads the trace as it stands (no data format is sent: the instrument must be in
// "FORM REAL,32", as ReadY leaves it). The caller's array: none gets a new array, a short
// one is enlarged, elements beyond the trace keep their contents, and an array of another
// element type or dimension count is refused (error 30008) before any I/O.
HRESULT FetchY(OperationContext& context, LONG trace_number, SAFEARRAY** Amplitude);
// Sends "FORM REAL,32" and "INIT:CONT OFF", waits for one sweep with "INIT;*OPC?" bounded
// by the session's I/O time-out (MaxTime is not applied) and reads the trace as FetchY.
HRESULT ReadY(OperationContext& context, LONG trace_number, LONG MaxTime, SAFEARRAY** Amplitude);

}  // namespace tevo::driver::operations
