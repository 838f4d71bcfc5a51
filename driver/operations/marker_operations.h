// Marker operations of both views. Each interface method calls its function with the
// context and its own arguments; the class-compliant operations that have an
// instrument-specific twin forward to it, with the enumerator values mapped where the two
// libraries number them differently.
//
// Commands (window suffix w of the active screen, active marker number m):
//   DisableAll                   CALC:MARK:AOFF
//   MakeDelta(-1) / other        CALCw:DELTm ON / CALCw:MARKm ON
//   Search(type)                 CALC:MARK:MAX, :MAX:NEXT, :MAX:LEFT, :MAX:RIGHT, :MIN
//   SetInstrumentFromMarker      CALC:MARK:FUNC:CENT / CALC:MARK:FUNC:REF
//   FrequencyCounter.Configure   CALC:MARK:COUN ON;RES <f> / OFF;RES <f>
//   ConfigureEnabled(e, trace)   CALCw:MARKm ON;TRAC <trace> / OFF;TRAC <trace>
//   ConfigureSearch(pe, thr)     CALCw:MARKm:PEXC <f>;:CALCw:THR <f>
//   Name(i)                      CALCw:MARKi:NAME?  (the marker's display name, "M1", "D2")
//   Query / QueryReference       the Position and Amplitude (ReferencePosition and
//                                ReferenceAmplitude) attributes of the active marker
// A value outside an operation's table is E_FAIL without error text and nothing is sent.
// In simulation nothing is sent: Query and QueryReference give 0.0 and 0.0, Name gives
// "Simulated string".
#pragma once

#include "operations/operation_context.h"

namespace tevo::driver::operations {

HRESULT TevoMarkerDisableAll(OperationContext& context);
HRESULT TevoMarkerMakeDelta(OperationContext& context, VARIANT_BOOL DeltaMarker);
HRESULT TevoMarkerSearch(OperationContext& context, TevoMarkerSearchEnum SearchType);
HRESULT TevoMarkerSetInstrumentFromMarker(OperationContext& context,
                                          TevoInstrumentSettingEnum InstrumentSetting);
HRESULT TevoMarkerConfigureEnabled(OperationContext& context, VARIANT_BOOL Enabled,
                                   BSTR MarkerTraceName);
HRESULT TevoMarkerConfigureSearch(OperationContext& context, DOUBLE PeakExcursion,
                                  DOUBLE MarkerThreshold);
HRESULT TevoMarkerQuery(OperationContext& context, DOUBLE* MarkerPosition, DOUBLE* MarkerAmplitude);
HRESULT TevoMarkerQueryReference(OperationContext& context, DOUBLE* ReferencePosition,
                                 DOUBLE* ReferenceAmplitude);
HRESULT TevoMarkerName(OperationContext& context, LONG Index, BSTR* pVal);
HRESULT TevoFrequencyCounterConfigure(OperationContext& context, VARIANT_BOOL Enabled,
                                      DOUBLE Resolution);

HRESULT SpecAnMarkerDisableAll(OperationContext& context);
HRESULT SpecAnMarkerMakeDelta(OperationContext& context, VARIANT_BOOL DeltaMarker);
HRESULT SpecAnMarkerSearch(OperationContext& context, IviSpecAnMarkerSearchEnum SearchType);
HRESULT SpecAnMarkerSetInstrumentFromMarker(OperationContext& context,
                                            IviSpecAnInstrumentSettingEnum InstrumentSetting);
HRESULT SpecAnMarkerConfigureEnabled(OperationContext& context, VARIANT_BOOL Enabled,
                                     BSTR MarkerTraceName);
HRESULT SpecAnMarkerConfigureSearch(OperationContext& context, DOUBLE PeakExcursion,
                                    DOUBLE MarkerThreshold);
HRESULT SpecAnMarkerQuery(OperationContext& context, DOUBLE* MarkerPosition,
                          DOUBLE* MarkerAmplitude);
HRESULT SpecAnMarkerQueryReference(OperationContext& context, DOUBLE* ReferencePosition,
                                   DOUBLE* ReferenceAmplitude);
// "Simulated string" in simulation, otherwise a null string; the index is not checked.
HRESULT SpecAnMarkerName(OperationContext& context, LONG Index, BSTR* Name);
HRESULT SpecAnFrequencyCounterConfigure(OperationContext& context, VARIANT_BOOL Enabled,
                                        DOUBLE Resolution);

}  // namespace tevo::driver::operations
