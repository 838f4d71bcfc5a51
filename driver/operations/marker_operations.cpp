#include "operations/marker_operations.h"

#include <string>

#include "operations/operation_support.h"

namespace tevo::driver::operations {

namespace {

using Id = AttributeId;

constexpr LONG kNameReplyLimit = 100;
constexpr const wchar_t* kSimulatedString = L"Simulated string";

// A value that no instrument-specific table holds: a class-compliant value without a
// counterpart maps to it and fails there like any unknown value.
constexpr LONG kNoCounterpart = 0;

// The marker state tokens of ConfigureEnabled, completing "O%s" to ON or OFF.
bool MarkerEnableToken(VARIANT_BOOL enabled, const wchar_t** token) {
    if (enabled == VARIANT_TRUE) {
        *token = L"N";
        return true;
    }
    if (enabled == VARIANT_FALSE) {
        *token = L"FF";
        return true;
    }
    return false;
}

HRESULT WriteToken(OperationContext& context, TranslateMap map, LONG value, const wchar_t* format) {
    if (Simulating(context)) {
        return S_OK;
    }
    std::wstring token;
    if (!context.Maps().ToToken(map, value, &token)) {
        return E_FAIL;
    }
    return context.AttributeIo().Printf(format, token.c_str());
}

// Both values of a marker through their attributes (the active marker's).
HRESULT QueryPair(OperationContext& context, const char* method, const char* first_name,
                  const char* second_name, Id first_id, Id second_id, DOUBLE* first,
                  DOUBLE* second) {
    if (first == nullptr) {
        return ReportNullPointer(context, method, first_name);
    }
    if (second == nullptr) {
        return ReportNullPointer(context, method, second_name);
    }
    *first = 0.0;
    *second = 0.0;
    if (Simulating(context)) {
        return S_OK;
    }
    HRESULT status = ConsumePendingAnswer(context);
    double first_value = 0.0;
    double second_value = 0.0;
    if (SUCCEEDED(status)) {
        status = context.Attributes().Get(first_id, &first_value);
    }
    if (SUCCEEDED(status)) {
        status = context.Attributes().Get(second_id, &second_value);
    }
    if (FAILED(status)) {
        return status;
    }
    *first = first_value;
    *second = second_value;
    return status;
}

LONG TevoSearchOf(IviSpecAnMarkerSearchEnum search) {
    switch (search) {
        case IviSpecAnMarkerSearchHighest:
            return TevoMarkerSearchHighest;
        case IviSpecAnMarkerSearchMinimum:
            return TevoMarkerSearchMinimum;
        case IviSpecAnMarkerSearchNextPeak:
            return TevoMarkerSearchNextPeak;
        case IviSpecAnMarkerSearchNextPeakLeft:
            return TevoMarkerSearchNextPeakLeft;
        case IviSpecAnMarkerSearchNextPeakRight:
            return TevoMarkerSearchNextPeakRight;
    }
    return kNoCounterpart;
}

LONG TevoSettingOf(IviSpecAnInstrumentSettingEnum setting) {
    switch (setting) {
        case IviSpecAnInstrumentSettingFrequencyCenter:
            return TevoInstrumentSettingFrequencyCenter;
        case IviSpecAnInstrumentSettingReferenceLevel:
            return TevoInstrumentSettingReferenceLevel;
        default:
            return kNoCounterpart;
    }
}

}  // namespace

HRESULT TevoMarkerDisableAll(OperationContext& context) {
    if (Simulating(context)) {
        return S_OK;
    }
    return context.AttributeIo().Printf(L"CALC:MARK:AOFF");
}

HRESULT TevoMarkerMakeDelta(OperationContext& context, VARIANT_BOOL DeltaMarker) {
    if (Simulating(context)) {
        return S_OK;
    }
    std::wstring window;
    const HRESULT status = WindowSuffix(context, &window);
    if (FAILED(status)) {
        return status;
    }
    const int marker = static_cast<int>(context.StoredActiveMarker());
    return context.AttributeIo().Printf(
        DeltaMarker == VARIANT_TRUE ? L"CALC%s:DELT%d ON" : L"CALC%s:MARK%d ON", window.c_str(),
        marker);
}

HRESULT TevoMarkerSearch(OperationContext& context, TevoMarkerSearchEnum SearchType) {
    return WriteToken(context, TranslateMap::kMarkerSearchForward, static_cast<LONG>(SearchType),
                      L"CALC:MARK:M%s");
}

HRESULT TevoMarkerSetInstrumentFromMarker(OperationContext& context,
                                          TevoInstrumentSettingEnum InstrumentSetting) {
    return WriteToken(context, TranslateMap::kInstrumentSettingForward,
                      static_cast<LONG>(InstrumentSetting), L"CALC:MARK:FUNC:%s");
}

HRESULT TevoFrequencyCounterConfigure(OperationContext& context, VARIANT_BOOL Enabled,
                                      DOUBLE Resolution) {
    if (Simulating(context)) {
        return S_OK;
    }
    std::wstring token;
    if (!context.Maps().ToToken(TranslateMap::kCounterOnOffForward, static_cast<LONG>(Enabled),
                                &token)) {
        return E_FAIL;
    }
    return context.AttributeIo().Printf(L"CALC:MARK:COUN O%s %f", token.c_str(), Resolution);
}

HRESULT TevoMarkerConfigureEnabled(OperationContext& context, VARIANT_BOOL Enabled,
                                   BSTR MarkerTraceName) {
    if (Simulating(context)) {
        return S_OK;
    }
    const wchar_t* state = nullptr;
    if (!MarkerEnableToken(Enabled, &state)) {
        return E_FAIL;
    }
    std::wstring window;
    const HRESULT status = WindowSuffix(context, &window);
    if (FAILED(status)) {
        return status;
    }
    return context.AttributeIo().Printf(L"CALC%s:MARK%d O%s;TRAC %s", window.c_str(),
                                        static_cast<int>(context.StoredActiveMarker()), state,
                                        TextOf(MarkerTraceName));
}

HRESULT TevoMarkerConfigureSearch(OperationContext& context, DOUBLE PeakExcursion,
                                  DOUBLE MarkerThreshold) {
    if (Simulating(context)) {
        return S_OK;
    }
    std::wstring window;
    const HRESULT status = WindowSuffix(context, &window);
    if (FAILED(status)) {
        return status;
    }
    return context.AttributeIo().Printf(L"CALC%s:MARK%d:PEXC %f;:CALC%s:THR %f", window.c_str(),
                                        static_cast<int>(context.StoredActiveMarker()),
                                        PeakExcursion, window.c_str(), MarkerThreshold);
}

HRESULT TevoMarkerQuery(OperationContext& context, DOUBLE* MarkerPosition,
                        DOUBLE* MarkerAmplitude) {
    return QueryPair(context, "Query", "MarkerPosition", "MarkerAmplitude", Id::kTevoMarkerPosition,
                     Id::kTevoMarkerAmplitude, MarkerPosition, MarkerAmplitude);
}

HRESULT TevoMarkerQueryReference(OperationContext& context, DOUBLE* ReferencePosition,
                                 DOUBLE* ReferenceAmplitude) {
    return QueryPair(context, "QueryReference", "ReferencePosition", "ReferenceAmplitude",
                     Id::kTevoMarkerReferencePosition, Id::kTevoMarkerReferenceAmplitude,
                     ReferencePosition, ReferenceAmplitude);
}

HRESULT TevoMarkerName(OperationContext& context, LONG Index, BSTR* pVal) {
    if (pVal == nullptr) {
        return ReportNullPointer(context, "get_Name", "pVal");
    }
    *pVal = nullptr;
    if (Simulating(context)) {
        return NewString(kSimulatedString, pVal);
    }
    HRESULT status = ConsumePendingAnswer(context);
    std::wstring window;
    if (SUCCEEDED(status)) {
        status = WindowSuffix(context, &window);
    }
    std::wstring name;
    if (SUCCEEDED(status)) {
        status =
            context.AttributeIo().PrintfQueryText(L"CALC%s:MARK%d:NAME?", &name, kNameReplyLimit,
                                                  window.c_str(), static_cast<int>(Index));
    }
    if (FAILED(status)) {
        return status;
    }
    const HRESULT made = NewString(name, pVal);
    return FAILED(made) ? made : status;
}

HRESULT SpecAnMarkerDisableAll(OperationContext& context) {
    return TevoMarkerDisableAll(context);
}

HRESULT SpecAnMarkerMakeDelta(OperationContext& context, VARIANT_BOOL DeltaMarker) {
    return TevoMarkerMakeDelta(context, DeltaMarker);
}

HRESULT SpecAnMarkerSearch(OperationContext& context, IviSpecAnMarkerSearchEnum SearchType) {
    return TevoMarkerSearch(context, static_cast<TevoMarkerSearchEnum>(TevoSearchOf(SearchType)));
}

HRESULT SpecAnMarkerSetInstrumentFromMarker(OperationContext& context,
                                            IviSpecAnInstrumentSettingEnum InstrumentSetting) {
    return TevoMarkerSetInstrumentFromMarker(
        context, static_cast<TevoInstrumentSettingEnum>(TevoSettingOf(InstrumentSetting)));
}

HRESULT SpecAnMarkerConfigureEnabled(OperationContext& context, VARIANT_BOOL Enabled,
                                     BSTR MarkerTraceName) {
    return TevoMarkerConfigureEnabled(context, Enabled, MarkerTraceName);
}

HRESULT SpecAnMarkerConfigureSearch(OperationContext& context, DOUBLE PeakExcursion,
                                    DOUBLE MarkerThreshold) {
    return TevoMarkerConfigureSearch(context, PeakExcursion, MarkerThreshold);
}

HRESULT SpecAnMarkerQuery(OperationContext& context, DOUBLE* MarkerPosition,
                          DOUBLE* MarkerAmplitude) {
    return QueryPair(context, "Query", "MarkerPosition", "MarkerAmplitude",
                     Id::kSpecAnMarkerPosition, Id::kSpecAnMarkerAmplitude, MarkerPosition,
                     MarkerAmplitude);
}

HRESULT SpecAnMarkerQueryReference(OperationContext& context, DOUBLE* ReferencePosition,
                                   DOUBLE* ReferenceAmplitude) {
    return QueryPair(context, "QueryReference", "ReferencePosition", "ReferenceAmplitude",
                     Id::kSpecAnMarkerReferencePosition, Id::kSpecAnMarkerReferenceAmplitude,
                     ReferencePosition, ReferenceAmplitude);
}

HRESULT SpecAnMarkerName(OperationContext& context, LONG /*Index*/, BSTR* Name) {
    if (Name == nullptr) {
        return ReportNullPointer(context, "get_Name", "pVal");
    }
    *Name = nullptr;
    return Simulating(context) ? NewString(kSimulatedString, Name) : S_OK;
}

HRESULT SpecAnFrequencyCounterConfigure(OperationContext& context, VARIANT_BOOL Enabled,
                                        DOUBLE Resolution) {
    return TevoFrequencyCounterConfigure(context, Enabled, Resolution);
}

}  // namespace tevo::driver::operations
