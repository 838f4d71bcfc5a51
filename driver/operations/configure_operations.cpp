#include "operations/configure_operations.h"

#include <string>

#include "operations/operation_support.h"

namespace tevo::driver::operations {

namespace {

using Id = AttributeId;

// Runs the puts in order and stops at the first failure.
template <class... Puts>
HRESULT PutInOrder(Puts... puts) {
    HRESULT status = S_OK;
    ((status = SUCCEEDED(status) ? puts() : status), ...);
    return status;
}

HRESULT WithoutEffect(OperationContext& context) {
    Simulating(context);
    return S_OK;
}

}  // namespace

HRESULT ConfigureCenterSpan(OperationContext& context, DOUBLE CenterFrequency, DOUBLE Span) {
    if (Simulating(context)) {
        return S_OK;
    }
    std::wstring window;
    const HRESULT status = WindowSuffix(context, &window);
    if (FAILED(status)) {
        return status;
    }
    return context.AttributeIo().Printf(L"SENS%s:FREQ:CENT %f;SPAN %f", window.c_str(),
                                        CenterFrequency, Span);
}

HRESULT ConfigureStartStop(OperationContext& context, DOUBLE StartFrequency, DOUBLE StopFrequency) {
    if (Simulating(context)) {
        return S_OK;
    }
    std::wstring window;
    const HRESULT status = WindowSuffix(context, &window);
    if (FAILED(status)) {
        return status;
    }
    return context.AttributeIo().Printf(L"SENS%s:FREQ:STAR %f;STOP %f", window.c_str(),
                                        StartFrequency, StopFrequency);
}

HRESULT TevoLevelConfigure(OperationContext& context, TevoAmplitudeUnitsEnum AmplitudeUnits,
                           DOUBLE InputImpedance, DOUBLE ReferenceLevel,
                           DOUBLE ReferenceLevelOffset, VARIANT_BOOL AttenuationAuto,
                           DOUBLE Attenuation, DOUBLE /*ElectronicAttenuationAuto*/,
                           DOUBLE /*ElectronicAttenuation*/,
                           VARIANT_BOOL /*ElectronicAttenuationEnabled*/,
                           VARIANT_BOOL /*RFPreamplifierEnabled*/) {
    if (Simulating(context)) {
        return S_OK;
    }
    std::wstring unit;
    if (!context.Maps().ToToken(TranslateMap::kAmplitudeUnitsForward,
                                static_cast<LONG>(AmplitudeUnits), &unit)) {
        return E_FAIL;
    }
    // One lookup serves every field: the call lock is held, so the screen cannot change
    // within the call.
    std::wstring w;
    const HRESULT status = WindowSuffix(context, &w);
    if (FAILED(status)) {
        return status;
    }
    const wchar_t* s = w.c_str();
    InstrumentIo& io = context.AttributeIo();
    if (AttenuationAuto == VARIANT_TRUE) {
        return io.Printf(
            L"UNIT%s:POW %s;:INP%s:IMP %f;:DISP:WIND%s:TRAC:Y:RLEV %f;"
            L":DISP:WIND%s:TRAC:Y:RLEV:OFFS %f;:INP%s:ATT:AUTO ON",
            s, unit.c_str(), s, InputImpedance, s, ReferenceLevel, s, ReferenceLevelOffset, s);
    }
    return io.Printf(
        L"UNIT%s:POW %s;:INP%s:IMP %f;:DISP:WIND%s:TRAC:Y:RLEV %f;"
        L":DISP:WIND%s:TRAC:Y:RLEV:OFFS %f;:INP%s:ATT %f",
        s, unit.c_str(), s, InputImpedance, s, ReferenceLevel, s, ReferenceLevelOffset, s,
        Attenuation);
}

HRESULT SpecAnLevelConfigure(OperationContext& context, IviSpecAnAmplitudeUnitsEnum AmplitudeUnits,
                             DOUBLE InputImpedance, DOUBLE ReferenceLevel,
                             DOUBLE ReferenceLevelOffset, VARIANT_BOOL AttenuationAuto,
                             DOUBLE Attenuation) {
    // The two libraries number the amplitude units alike (dBm 1 to watt 5).
    return TevoLevelConfigure(context, static_cast<TevoAmplitudeUnitsEnum>(AmplitudeUnits),
                              InputImpedance, ReferenceLevel, ReferenceLevelOffset, AttenuationAuto,
                              Attenuation, 0.0, 0.0, VARIANT_FALSE, VARIANT_FALSE);
}

HRESULT TevoTriggerVideoConfigure(OperationContext& context, DOUBLE VideoTriggerLevel,
                                  TevoVideoTriggerSlopeEnum VideoTriggerSlope) {
    if (Simulating(context)) {
        return S_OK;
    }
    std::wstring slope;
    if (!context.Maps().ToToken(TranslateMap::kVideoSlopeForward,
                                static_cast<LONG>(VideoTriggerSlope), &slope)) {
        return E_FAIL;
    }
    std::wstring window;
    const HRESULT status = WindowSuffix(context, &window);
    if (FAILED(status)) {
        return status;
    }
    return context.AttributeIo().Printf(L"TRIG%s:SLOP %s;LEV:VID %f", window.c_str(), slope.c_str(),
                                        VideoTriggerLevel);
}

HRESULT SpecAnTriggerVideoConfigure(OperationContext& context, DOUBLE /*VideoTriggerLevel*/,
                                    IviSpecAnVideoTriggerSlopeEnum /*VideoTriggerSlope*/) {
    return WithoutEffect(context);
}

HRESULT TevoAcquisitionConfigure(OperationContext& context, VARIANT_BOOL SweepModeContinuous,
                                 LONG NumberOfSweeps, VARIANT_BOOL DetectorTypeAuto,
                                 TevoDetectorTypeEnum DetectorType,
                                 TevoVerticalScaleEnum VerticalScale) {
    AttributeTable& table = context.Attributes();
    return PutInOrder(
        [&] { return table.Put(Id::kTevoAcquisitionSweepModeContinuous, SweepModeContinuous); },
        [&] { return table.Put(Id::kTevoAcquisitionNumberOfSweeps, NumberOfSweeps); },
        [&] { return table.Put(Id::kTevoAcquisitionDetectorTypeAuto, DetectorTypeAuto); },
        [&] { return table.Put(Id::kTevoAcquisitionDetectorType, DetectorType); },
        [&] { return table.Put(Id::kTevoAcquisitionVerticalScale, VerticalScale); });
}

HRESULT SpecAnAcquisitionConfigure(OperationContext& context, VARIANT_BOOL SweepModeContinuous,
                                   LONG NumberOfSweeps, VARIANT_BOOL DetectorTypeAuto,
                                   IviSpecAnDetectorTypeEnum DetectorType,
                                   IviSpecAnVerticalScaleEnum VerticalScale) {
    AttributeTable& table = context.Attributes();
    return PutInOrder(
        [&] { return table.Put(Id::kSpecAnAcquisitionSweepModeContinuous, SweepModeContinuous); },
        [&] { return table.Put(Id::kSpecAnAcquisitionNumberOfSweeps, NumberOfSweeps); },
        [&] { return table.Put(Id::kSpecAnAcquisitionDetectorTypeAuto, DetectorTypeAuto); },
        [&] { return table.Put(Id::kSpecAnAcquisitionDetectorType, DetectorType); },
        [&] { return table.Put(Id::kSpecAnAcquisitionVerticalScale, VerticalScale); });
}

HRESULT TevoSweepCouplingConfigure(OperationContext& context, VARIANT_BOOL ResolutionBandwidthAuto,
                                   DOUBLE ResolutionBandwidth, VARIANT_BOOL VideoBandwidthAuto,
                                   DOUBLE VideoBandwidth, VARIANT_BOOL SweepTimeAuto,
                                   DOUBLE Sweeptime) {
    AttributeTable& table = context.Attributes();
    return PutInOrder(
        [&] {
            return table.Put(Id::kTevoSweepCouplingResolutionBandwidthAuto,
                             ResolutionBandwidthAuto);
        },
        [&] { return table.Put(Id::kTevoSweepCouplingResolutionBandwidth, ResolutionBandwidth); },
        [&] { return table.Put(Id::kTevoSweepCouplingVideoBandwidthAuto, VideoBandwidthAuto); },
        [&] { return table.Put(Id::kTevoSweepCouplingVideoBandwidth, VideoBandwidth); },
        [&] { return table.Put(Id::kTevoSweepCouplingSweepTimeAuto, SweepTimeAuto); },
        [&] { return table.Put(Id::kTevoSweepCouplingSweeptime, Sweeptime); });
}

HRESULT SpecAnSweepCouplingConfigure(OperationContext& context,
                                     VARIANT_BOOL ResolutionBandwidthAuto,
                                     DOUBLE ResolutionBandwidth, VARIANT_BOOL VideoBandwidthAuto,
                                     DOUBLE VideoBandwidth, VARIANT_BOOL SweepTimeAuto,
                                     DOUBLE SweepTime) {
    AttributeTable& table = context.Attributes();
    return PutInOrder(
        [&] {
            return table.Put(Id::kSpecAnSweepCouplingResolutionBandwidthAuto,
                             ResolutionBandwidthAuto);
        },
        [&] { return table.Put(Id::kSpecAnSweepCouplingResolutionBandwidth, ResolutionBandwidth); },
        [&] { return table.Put(Id::kSpecAnSweepCouplingVideoBandwidthAuto, VideoBandwidthAuto); },
        [&] { return table.Put(Id::kSpecAnSweepCouplingVideoBandwidth, VideoBandwidth); },
        [&] { return table.Put(Id::kSpecAnSweepCouplingSweepTimeAuto, SweepTimeAuto); },
        [&] { return table.Put(Id::kSpecAnSweepCouplingSweepTime, SweepTime); });
}

HRESULT SpecAnTriggerExternalConfigure(OperationContext& context, DOUBLE ExternalTriggerLevel,
                                       IviSpecAnExternalTriggerSlopeEnum ExternalTriggerSlope) {
    AttributeTable& table = context.Attributes();
    return PutInOrder(
        [&] { return table.Put(Id::kSpecAnTriggerExternalLevel, ExternalTriggerLevel); },
        [&] { return table.Put(Id::kSpecAnTriggerExternalSlope, ExternalTriggerSlope); });
}

HRESULT SpecAnExternalMixerConfigure(OperationContext& context, LONG /*Harmonic*/,
                                     DOUBLE /*AverageConversionLoss*/) {
    return WithoutEffect(context);
}

HRESULT SpecAnExternalMixerBiasConfigure(OperationContext& context, DOUBLE /*Bias*/,
                                         DOUBLE /*BiasLimit*/) {
    return WithoutEffect(context);
}

HRESULT SpecAnConversionLossTableConfigure(OperationContext& context, SAFEARRAY** /*Frequency*/,
                                           SAFEARRAY** /*ConversionLoss*/) {
    return WithoutEffect(context);
}

HRESULT SpecAnPreselectorPeak(OperationContext& context) {
    return WithoutEffect(context);
}

HRESULT TevoListConfigure(OperationContext& context, SAFEARRAY* /*Frequency*/,
                          SAFEARRAY* /*ReferenceLevel*/, SAFEARRAY* /*Attenuation*/,
                          SAFEARRAY* /*ElectronicAttentuation*/, SAFEARRAY* /*RBWFilterType*/,
                          SAFEARRAY* /*ResolutionBandwidth*/, SAFEARRAY* /*VideoBandwidth*/,
                          SAFEARRAY* /*Sweeptime*/, SAFEARRAY* /*Detector*/) {
    return WithoutEffect(context);
}

}  // namespace tevo::driver::operations
