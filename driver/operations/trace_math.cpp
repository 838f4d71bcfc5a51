#include "operations/trace_math.h"

#include "operations/operation_support.h"

namespace tevo::driver::operations {

HRESULT TevoTracesMathAdd(OperationContext& context, BSTR /*DestinationTrace*/, BSTR Trace1,
                          BSTR Trace2) {
    if (Simulating(context)) {
        return S_OK;
    }
    return context.AttributeIo().Printf(L"CALC:MATH (%s + %s)", TextOf(Trace1), TextOf(Trace2));
}

HRESULT TevoTracesMathSubtract(OperationContext& context, BSTR /*DestinationTrace*/, BSTR Trace1,
                               BSTR Trace2) {
    if (Simulating(context)) {
        return S_OK;
    }
    return context.AttributeIo().Printf(L"CALC:MATH (%s - %s)", TextOf(Trace1), TextOf(Trace2));
}

HRESULT TevoTracesMathCopy(OperationContext& context, BSTR DestinationTrace, BSTR SourceTrace) {
    if (Simulating(context)) {
        return S_OK;
    }
    return context.AttributeIo().Printf(L"TRAC:COPY %s,%s", TextOf(DestinationTrace),
                                        TextOf(SourceTrace));
}

HRESULT TevoTracesMathExchange(OperationContext& context, BSTR Trace1, BSTR Trace2) {
    if (Simulating(context)) {
        return S_OK;
    }
    const wchar_t* first = TextOf(Trace1);
    const wchar_t* second = TextOf(Trace2);
    return context.AttributeIo().Printf(L"TRAC:COPY TRACE3,%s;COPY %s,%s;COPY %s,TRACE3", first,
                                        first, second, second);
}

HRESULT SpecAnTracesMathAdd(OperationContext& context, BSTR DestinationTrace, BSTR Trace1,
                            BSTR Trace2) {
    return TevoTracesMathAdd(context, DestinationTrace, Trace1, Trace2);
}

HRESULT SpecAnTracesMathSubtract(OperationContext& context, BSTR DestinationTrace, BSTR Trace1,
                                 BSTR Trace2) {
    return TevoTracesMathSubtract(context, DestinationTrace, Trace1, Trace2);
}

HRESULT SpecAnTracesMathCopy(OperationContext& context, BSTR DestinationTrace, BSTR SourceTrace) {
    return TevoTracesMathCopy(context, DestinationTrace, SourceTrace);
}

HRESULT SpecAnTracesMathExchange(OperationContext& context, BSTR Trace1, BSTR Trace2) {
    return TevoTracesMathExchange(context, Trace1, Trace2);
}

}  // namespace tevo::driver::operations
