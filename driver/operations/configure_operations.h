// Configure operations: the methods that set several related settings in one call, on both
// trees. Each interface method calls its function with the context and its own arguments.
//
// The frequency, level and video trigger operations send one combined SCPI command with the
// active screen's window suffix ("%f" numbers with six decimals). The acquisition and sweep
// coupling operations of both trees and the class-compliant external trigger set the same
// attributes that their single properties set, in parameter order, through the attribute
// engine, and return the first failure. The analyzer has no external mixer, preselector or
// list measurement: those operations read Simulate and succeed without effect.
//
// In simulation nothing is sent and every operation succeeds.
#pragma once

#include "operations/operation_context.h"

namespace tevo::driver::operations {

// "SENS%s:FREQ:CENT %f;SPAN %f" and "SENS%s:FREQ:STAR %f;STOP %f"; no range checks.
HRESULT ConfigureCenterSpan(OperationContext& context, DOUBLE CenterFrequency, DOUBLE Span);
HRESULT ConfigureStartStop(OperationContext& context, DOUBLE StartFrequency, DOUBLE StopFrequency);

// Units, impedance, reference level and offset, and either automatic attenuation (only -1
// counts as true) or the attenuation value, in one message. A unit outside 1 to 5 is
// E_FAIL with nothing sent. The four electronic-attenuation and preamplifier parameters
// are accepted and not sent: their properties set them.
HRESULT TevoLevelConfigure(OperationContext& context, TevoAmplitudeUnitsEnum AmplitudeUnits,
                           DOUBLE InputImpedance, DOUBLE ReferenceLevel,
                           DOUBLE ReferenceLevelOffset, VARIANT_BOOL AttenuationAuto,
                           DOUBLE Attenuation, DOUBLE ElectronicAttenuationAuto,
                           DOUBLE ElectronicAttenuation, VARIANT_BOOL ElectronicAttenuationEnabled,
                           VARIANT_BOOL RFPreamplifierEnabled);
// Forwards with 0.0, 0.0, false, false for the four extra parameters.
HRESULT SpecAnLevelConfigure(OperationContext& context, IviSpecAnAmplitudeUnitsEnum AmplitudeUnits,
                             DOUBLE InputImpedance, DOUBLE ReferenceLevel,
                             DOUBLE ReferenceLevelOffset, VARIANT_BOOL AttenuationAuto,
                             DOUBLE Attenuation);

// "TRIG%s:SLOP POS;LEV:VID %f" or "... NEG ..."; any other slope is E_FAIL, nothing sent.
HRESULT TevoTriggerVideoConfigure(OperationContext& context, DOUBLE VideoTriggerLevel,
                                  TevoVideoTriggerSlopeEnum VideoTriggerSlope);
// Without effect.
HRESULT SpecAnTriggerVideoConfigure(OperationContext& context, DOUBLE VideoTriggerLevel,
                                    IviSpecAnVideoTriggerSlopeEnum VideoTriggerSlope);

// SweepModeContinuous, NumberOfSweeps, DetectorTypeAuto, DetectorType, VerticalScale.
HRESULT TevoAcquisitionConfigure(OperationContext& context, VARIANT_BOOL SweepModeContinuous,
                                 LONG NumberOfSweeps, VARIANT_BOOL DetectorTypeAuto,
                                 TevoDetectorTypeEnum DetectorType,
                                 TevoVerticalScaleEnum VerticalScale);
HRESULT SpecAnAcquisitionConfigure(OperationContext& context, VARIANT_BOOL SweepModeContinuous,
                                   LONG NumberOfSweeps, VARIANT_BOOL DetectorTypeAuto,
                                   IviSpecAnDetectorTypeEnum DetectorType,
                                   IviSpecAnVerticalScaleEnum VerticalScale);

// ResolutionBandwidthAuto, ResolutionBandwidth, VideoBandwidthAuto, VideoBandwidth,
// SweepTimeAuto, SweepTime.
HRESULT TevoSweepCouplingConfigure(OperationContext& context, VARIANT_BOOL ResolutionBandwidthAuto,
                                   DOUBLE ResolutionBandwidth, VARIANT_BOOL VideoBandwidthAuto,
                                   DOUBLE VideoBandwidth, VARIANT_BOOL SweepTimeAuto,
                                   DOUBLE Sweeptime);
HRESULT SpecAnSweepCouplingConfigure(OperationContext& context,
                                     VARIANT_BOOL ResolutionBandwidthAuto,
                                     DOUBLE ResolutionBandwidth, VARIANT_BOOL VideoBandwidthAuto,
                                     DOUBLE VideoBandwidth, VARIANT_BOOL SweepTimeAuto,
                                     DOUBLE SweepTime);

// Level, then slope.
HRESULT SpecAnTriggerExternalConfigure(OperationContext& context, DOUBLE ExternalTriggerLevel,
                                       IviSpecAnExternalTriggerSlopeEnum ExternalTriggerSlope);

// The analyzer has no external mixer, no preselector and no list measurement: these read
// Simulate, send nothing and succeed.
HRESULT SpecAnExternalMixerConfigure(OperationContext& context, LONG Harmonic,
                                     DOUBLE AverageConversionLoss);
HRESULT SpecAnExternalMixerBiasConfigure(OperationContext& context, DOUBLE Bias, DOUBLE BiasLimit);
HRESULT SpecAnConversionLossTableConfigure(OperationContext& context, SAFEARRAY** Frequency,
                                           SAFEARRAY** ConversionLoss);
HRESULT SpecAnPreselectorPeak(OperationContext& context);
HRESULT TevoListConfigure(OperationContext& context, SAFEARRAY* Frequency,
                          SAFEARRAY* ReferenceLevel, SAFEARRAY* Attenuation,
                          SAFEARRAY* ElectronicAttentuation, SAFEARRAY* RBWFilterType,
                          SAFEARRAY* ResolutionBandwidth, SAFEARRAY* VideoBandwidth,
                          SAFEARRAY* Sweeptime, SAFEARRAY* Detector);

}  // namespace tevo::driver::operations
