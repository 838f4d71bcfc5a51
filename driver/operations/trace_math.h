// Trace math of both views. Trace names are the instrument's keywords (TRACE1 to TRACE6),
// sent as the client gives them.
//   Add(dest, a, b)       CALC:MATH (a + b)        the destination is not sent
//   Subtract(dest, a, b)  CALC:MATH (a - b)        the destination is not sent
//   Copy(dest, source)    TRAC:COPY dest,source
//   Exchange(a, b)        TRAC:COPY TRACE3,a;COPY a,b;COPY b,TRACE3   (one message; trace 3
//                         is the scratch trace and is overwritten by every exchange)
// The class-compliant operations forward to these. In simulation nothing is sent.
#pragma once

#include "operations/operation_context.h"

namespace tevo::driver::operations {

HRESULT TevoTracesMathAdd(OperationContext& context, BSTR DestinationTrace, BSTR Trace1,
                          BSTR Trace2);
HRESULT TevoTracesMathSubtract(OperationContext& context, BSTR DestinationTrace, BSTR Trace1,
                               BSTR Trace2);
HRESULT TevoTracesMathCopy(OperationContext& context, BSTR DestinationTrace, BSTR SourceTrace);
HRESULT TevoTracesMathExchange(OperationContext& context, BSTR Trace1, BSTR Trace2);

HRESULT SpecAnTracesMathAdd(OperationContext& context, BSTR DestinationTrace, BSTR Trace1,
                            BSTR Trace2);
HRESULT SpecAnTracesMathSubtract(OperationContext& context, BSTR DestinationTrace, BSTR Trace1,
                                 BSTR Trace2);
HRESULT SpecAnTracesMathCopy(OperationContext& context, BSTR DestinationTrace, BSTR SourceTrace);
HRESULT SpecAnTracesMathExchange(OperationContext& context, BSTR Trace1, BSTR Trace2);

}  // namespace tevo::driver::operations
