// The facets of the class-compliant interfaces (IIviSpecAn and its sub-objects) on the main
// driver object. Each method is one line naming its frame kind, its method name and the inner
// implementation of the owner:
//   - sub-object getters: PlainFrame, the object itself through the named interface;
//   - attribute properties: SessionFrame, the attribute engine by the property's AttributeId
//     (a property with an instrument-specific twin answers through the twin's row);
//   - the trace collection's Count, Item and Name: SessionFrame, the collection lookups;
//   - operations: SessionFrame, the operation function of the same name run on the object
//     (Owner::Operation<&operations::Function>).
// IIviSpecAn carries IIviDriver's methods in its vtable; their frames name IIviDriver.
#pragma once

#include "attributes/attribute_catalogue.h"
#include "operations/configure_operations.h"
#include "operations/marker_operations.h"
#include "operations/trace_acquisition.h"
#include "operations/trace_math.h"
#include "session/inherent_facets.h"

namespace tevo::driver {

template <class Owner>
class SpecAnRootFacet : public IviDriverMethods<Owner, IIviSpecAn> {
  public:
    HRESULT STDMETHODCALLTYPE get_Frequency(IIviSpecAnFrequency** pVal) override {
        return this->Plain("get_Frequency", &Owner::template GetSubObject<IIviSpecAnFrequency>,
                           pVal, "get_Frequency");
    }
    HRESULT STDMETHODCALLTYPE get_SweepCoupling(IIviSpecAnSweepCoupling** pVal) override {
        return this->Plain("get_SweepCoupling",
                           &Owner::template GetSubObject<IIviSpecAnSweepCoupling>, pVal,
                           "get_SweepCoupling");
    }
    HRESULT STDMETHODCALLTYPE get_Level(IIviSpecAnLevel** pVal) override {
        return this->Plain("get_Level", &Owner::template GetSubObject<IIviSpecAnLevel>, pVal,
                           "get_Level");
    }
    HRESULT STDMETHODCALLTYPE get_Acquisition(IIviSpecAnAcquisition** pVal) override {
        return this->Plain("get_Acquisition", &Owner::template GetSubObject<IIviSpecAnAcquisition>,
                           pVal, "get_Acquisition");
    }
    HRESULT STDMETHODCALLTYPE get_Display(IIviSpecAnDisplay** pVal) override {
        return this->Plain("get_Display", &Owner::template GetSubObject<IIviSpecAnDisplay>, pVal,
                           "get_Display");
    }
    HRESULT STDMETHODCALLTYPE get_ExternalMixer(IIviSpecAnExternalMixer** pVal) override {
        return this->Plain("get_ExternalMixer",
                           &Owner::template GetSubObject<IIviSpecAnExternalMixer>, pVal,
                           "get_ExternalMixer");
    }
    HRESULT STDMETHODCALLTYPE get_Trigger(IIviSpecAnTrigger** pVal) override {
        return this->Plain("get_Trigger", &Owner::template GetSubObject<IIviSpecAnTrigger>, pVal,
                           "get_Trigger");
    }
    HRESULT STDMETHODCALLTYPE get_Traces(IIviSpecAnTraces** pVal) override {
        return this->Plain("get_Traces", &Owner::template GetSubObject<IIviSpecAnTraces>, pVal,
                           "get_Traces");
    }
    HRESULT STDMETHODCALLTYPE get_Marker(IIviSpecAnMarker** pVal) override {
        return this->Plain("get_Marker", &Owner::template GetSubObject<IIviSpecAnMarker>, pVal,
                           "get_Marker");
    }
    HRESULT STDMETHODCALLTYPE get_Preselector(IIviSpecAnPreselector** pVal) override {
        return this->Plain("get_Preselector", &Owner::template GetSubObject<IIviSpecAnPreselector>,
                           pVal, "get_Preselector");
    }
};

template <class Owner>
class SpecAnFrequencyFacet : public Facet<Owner, IIviSpecAnFrequency> {
  public:
    HRESULT STDMETHODCALLTYPE ConfigureCenterSpan(DOUBLE CenterFrequency, DOUBLE Span) override {
        return this->Session("ConfigureCenterSpan",
                             Owner::template Operation<&operations::ConfigureCenterSpan>,
                             CenterFrequency, Span);
    }
    HRESULT STDMETHODCALLTYPE ConfigureStartStop(DOUBLE StartFrequency,
                                                 DOUBLE StopFrequency) override {
        return this->Session("ConfigureStartStop",
                             Owner::template Operation<&operations::ConfigureStartStop>,
                             StartFrequency, StopFrequency);
    }
    HRESULT STDMETHODCALLTYPE get_Start(DOUBLE* pVal) override {
        return this->Session(
            "get_Start", &Owner::template AttributeGet<AttributeId::kSpecAnFrequencyStart, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Start(DOUBLE newVal) override {
        return this->Session(
            "put_Start", &Owner::template AttributePut<AttributeId::kSpecAnFrequencyStart, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Stop(DOUBLE* pVal) override {
        return this->Session(
            "get_Stop", &Owner::template AttributeGet<AttributeId::kSpecAnFrequencyStop, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Stop(DOUBLE newVal) override {
        return this->Session(
            "put_Stop", &Owner::template AttributePut<AttributeId::kSpecAnFrequencyStop, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Offset(DOUBLE* pVal) override {
        return this->Session(
            "get_Offset",
            &Owner::template AttributeGet<AttributeId::kSpecAnFrequencyOffset, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Offset(DOUBLE newVal) override {
        return this->Session(
            "put_Offset",
            &Owner::template AttributePut<AttributeId::kSpecAnFrequencyOffset, DOUBLE>, newVal);
    }
};

template <class Owner>
class SpecAnSweepCouplingFacet : public Facet<Owner, IIviSpecAnSweepCoupling> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(VARIANT_BOOL ResolutionBandwidthAuto,
                                        DOUBLE ResolutionBandwidth, VARIANT_BOOL VideoBandwidthAuto,
                                        DOUBLE VideoBandwidth, VARIANT_BOOL SweepTimeAuto,
                                        DOUBLE SweepTime) override {
        return this->Session("Configure",
                             Owner::template Operation<&operations::SpecAnSweepCouplingConfigure>,
                             ResolutionBandwidthAuto, ResolutionBandwidth, VideoBandwidthAuto,
                             VideoBandwidth, SweepTimeAuto, SweepTime);
    }
    HRESULT STDMETHODCALLTYPE get_ResolutionBandwidthAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_ResolutionBandwidthAuto",
            &Owner::template AttributeGet<AttributeId::kSpecAnSweepCouplingResolutionBandwidthAuto,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_ResolutionBandwidthAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_ResolutionBandwidthAuto",
            &Owner::template AttributePut<AttributeId::kSpecAnSweepCouplingResolutionBandwidthAuto,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ResolutionBandwidth(DOUBLE* pVal) override {
        return this->Session(
            "get_ResolutionBandwidth",
            &Owner::template AttributeGet<AttributeId::kSpecAnSweepCouplingResolutionBandwidth,
                                          DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_ResolutionBandwidth(DOUBLE newVal) override {
        return this->Session(
            "put_ResolutionBandwidth",
            &Owner::template AttributePut<AttributeId::kSpecAnSweepCouplingResolutionBandwidth,
                                          DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_VideoBandwidthAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_VideoBandwidthAuto",
            &Owner::template AttributeGet<AttributeId::kSpecAnSweepCouplingVideoBandwidthAuto,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_VideoBandwidthAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_VideoBandwidthAuto",
            &Owner::template AttributePut<AttributeId::kSpecAnSweepCouplingVideoBandwidthAuto,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_VideoBandwidth(DOUBLE* pVal) override {
        return this->Session(
            "get_VideoBandwidth",
            &Owner::template AttributeGet<AttributeId::kSpecAnSweepCouplingVideoBandwidth, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_VideoBandwidth(DOUBLE newVal) override {
        return this->Session(
            "put_VideoBandwidth",
            &Owner::template AttributePut<AttributeId::kSpecAnSweepCouplingVideoBandwidth, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_SweepTimeAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_SweepTimeAuto",
            &Owner::template AttributeGet<AttributeId::kSpecAnSweepCouplingSweepTimeAuto,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_SweepTimeAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_SweepTimeAuto",
            &Owner::template AttributePut<AttributeId::kSpecAnSweepCouplingSweepTimeAuto,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_SweepTime(DOUBLE* pVal) override {
        return this->Session(
            "get_SweepTime",
            &Owner::template AttributeGet<AttributeId::kSpecAnSweepCouplingSweepTime, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_SweepTime(DOUBLE newVal) override {
        return this->Session(
            "put_SweepTime",
            &Owner::template AttributePut<AttributeId::kSpecAnSweepCouplingSweepTime, DOUBLE>,
            newVal);
    }
};

template <class Owner>
class SpecAnLevelFacet : public Facet<Owner, IIviSpecAnLevel> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(IviSpecAnAmplitudeUnitsEnum AmplitudeUnits,
                                        DOUBLE InputImpedance, DOUBLE ReferenceLevel,
                                        DOUBLE ReferenceLevelOffset, VARIANT_BOOL AttenuationAuto,
                                        DOUBLE Attenuation) override {
        return this->Session("Configure",
                             Owner::template Operation<&operations::SpecAnLevelConfigure>,
                             AmplitudeUnits, InputImpedance, ReferenceLevel, ReferenceLevelOffset,
                             AttenuationAuto, Attenuation);
    }
    HRESULT STDMETHODCALLTYPE get_AmplitudeUnits(IviSpecAnAmplitudeUnitsEnum* pVal) override {
        return this->Session("get_AmplitudeUnits",
                             &Owner::template AttributeGet<AttributeId::kSpecAnLevelAmplitudeUnits,
                                                           IviSpecAnAmplitudeUnitsEnum>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE put_AmplitudeUnits(IviSpecAnAmplitudeUnitsEnum newVal) override {
        return this->Session("put_AmplitudeUnits",
                             &Owner::template AttributePut<AttributeId::kSpecAnLevelAmplitudeUnits,
                                                           IviSpecAnAmplitudeUnitsEnum>,
                             newVal);
    }
    HRESULT STDMETHODCALLTYPE get_InputImpedance(DOUBLE* pVal) override {
        return this->Session(
            "get_InputImpedance",
            &Owner::template AttributeGet<AttributeId::kSpecAnLevelInputImpedance, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_InputImpedance(DOUBLE newVal) override {
        return this->Session(
            "put_InputImpedance",
            &Owner::template AttributePut<AttributeId::kSpecAnLevelInputImpedance, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Reference(DOUBLE* pVal) override {
        return this->Session(
            "get_Reference",
            &Owner::template AttributeGet<AttributeId::kSpecAnLevelReference, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Reference(DOUBLE newVal) override {
        return this->Session(
            "put_Reference",
            &Owner::template AttributePut<AttributeId::kSpecAnLevelReference, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ReferenceOffset(DOUBLE* pVal) override {
        return this->Session(
            "get_ReferenceOffset",
            &Owner::template AttributeGet<AttributeId::kSpecAnLevelReferenceOffset, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_ReferenceOffset(DOUBLE newVal) override {
        return this->Session(
            "put_ReferenceOffset",
            &Owner::template AttributePut<AttributeId::kSpecAnLevelReferenceOffset, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_AttenuationAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_AttenuationAuto",
            &Owner::template AttributeGet<AttributeId::kSpecAnLevelAttenuationAuto, VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_AttenuationAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_AttenuationAuto",
            &Owner::template AttributePut<AttributeId::kSpecAnLevelAttenuationAuto, VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Attenuation(DOUBLE* pVal) override {
        return this->Session(
            "get_Attenuation",
            &Owner::template AttributeGet<AttributeId::kSpecAnLevelAttenuation, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Attenuation(DOUBLE newVal) override {
        return this->Session(
            "put_Attenuation",
            &Owner::template AttributePut<AttributeId::kSpecAnLevelAttenuation, DOUBLE>, newVal);
    }
};

template <class Owner>
class SpecAnAcquisitionFacet : public Facet<Owner, IIviSpecAnAcquisition> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(VARIANT_BOOL SweepModeContinuous, LONG NumberOfSweeps,
                                        VARIANT_BOOL DetectorTypeAuto,
                                        IviSpecAnDetectorTypeEnum DetectorType,
                                        IviSpecAnVerticalScaleEnum VerticalScale) override {
        return this->Session(
            "Configure", Owner::template Operation<&operations::SpecAnAcquisitionConfigure>,
            SweepModeContinuous, NumberOfSweeps, DetectorTypeAuto, DetectorType, VerticalScale);
    }
    HRESULT STDMETHODCALLTYPE get_SweepModeContinuous(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_SweepModeContinuous",
            &Owner::template AttributeGet<AttributeId::kSpecAnAcquisitionSweepModeContinuous,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_SweepModeContinuous(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_SweepModeContinuous",
            &Owner::template AttributePut<AttributeId::kSpecAnAcquisitionSweepModeContinuous,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_NumberOfSweeps(LONG* pVal) override {
        return this->Session(
            "get_NumberOfSweeps",
            &Owner::template AttributeGet<AttributeId::kSpecAnAcquisitionNumberOfSweeps, LONG>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_NumberOfSweeps(LONG newVal) override {
        return this->Session(
            "put_NumberOfSweeps",
            &Owner::template AttributePut<AttributeId::kSpecAnAcquisitionNumberOfSweeps, LONG>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_DetectorTypeAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_DetectorTypeAuto",
            &Owner::template AttributeGet<AttributeId::kSpecAnAcquisitionDetectorTypeAuto,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_DetectorTypeAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_DetectorTypeAuto",
            &Owner::template AttributePut<AttributeId::kSpecAnAcquisitionDetectorTypeAuto,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_DetectorType(IviSpecAnDetectorTypeEnum* pVal) override {
        return this->Session(
            "get_DetectorType",
            &Owner::template AttributeGet<AttributeId::kSpecAnAcquisitionDetectorType,
                                          IviSpecAnDetectorTypeEnum>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_DetectorType(IviSpecAnDetectorTypeEnum newVal) override {
        return this->Session(
            "put_DetectorType",
            &Owner::template AttributePut<AttributeId::kSpecAnAcquisitionDetectorType,
                                          IviSpecAnDetectorTypeEnum>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_VerticalScale(IviSpecAnVerticalScaleEnum* pVal) override {
        return this->Session(
            "get_VerticalScale",
            &Owner::template AttributeGet<AttributeId::kSpecAnAcquisitionVerticalScale,
                                          IviSpecAnVerticalScaleEnum>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_VerticalScale(IviSpecAnVerticalScaleEnum newVal) override {
        return this->Session(
            "put_VerticalScale",
            &Owner::template AttributePut<AttributeId::kSpecAnAcquisitionVerticalScale,
                                          IviSpecAnVerticalScaleEnum>,
            newVal);
    }
};

template <class Owner>
class SpecAnDisplayFacet : public Facet<Owner, IIviSpecAnDisplay> {
  public:
    HRESULT STDMETHODCALLTYPE get_UnitsPerDivision(DOUBLE* pVal) override {
        return this->Session(
            "get_UnitsPerDivision",
            &Owner::template AttributeGet<AttributeId::kSpecAnDisplayUnitsPerDivision, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_UnitsPerDivision(DOUBLE newVal) override {
        return this->Session(
            "put_UnitsPerDivision",
            &Owner::template AttributePut<AttributeId::kSpecAnDisplayUnitsPerDivision, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_NumberOfDivisions(LONG* pVal) override {
        return this->Session(
            "get_NumberOfDivisions",
            &Owner::template AttributeGet<AttributeId::kSpecAnDisplayNumberOfDivisions, LONG>,
            pVal);
    }
};

template <class Owner>
class SpecAnExternalMixerFacet : public Facet<Owner, IIviSpecAnExternalMixer> {
  public:
    HRESULT STDMETHODCALLTYPE get_Bias(IIviSpecAnExternalMixerBias** pVal) override {
        return this->Plain("get_Bias", &Owner::template GetSubObject<IIviSpecAnExternalMixerBias>,
                           pVal, "get_Bias");
    }
    HRESULT STDMETHODCALLTYPE
    get_ConversionLossTable(IIviSpecAnExternalMixerConversionLossTable** pVal) override {
        return this->Plain(
            "get_ConversionLossTable",
            &Owner::template GetSubObject<IIviSpecAnExternalMixerConversionLossTable>, pVal,
            "get_ConversionLossTable");
    }
    HRESULT STDMETHODCALLTYPE Configure(LONG Harmonic, DOUBLE AverageConversionLoss) override {
        return this->Session("Configure",
                             Owner::template Operation<&operations::SpecAnExternalMixerConfigure>,
                             Harmonic, AverageConversionLoss);
    }
    HRESULT STDMETHODCALLTYPE get_Harmonic(LONG* pVal) override {
        return this->Session(
            "get_Harmonic",
            &Owner::template AttributeGet<AttributeId::kSpecAnExternalMixerHarmonic, LONG>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Harmonic(LONG newVal) override {
        return this->Session(
            "put_Harmonic",
            &Owner::template AttributePut<AttributeId::kSpecAnExternalMixerHarmonic, LONG>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_AverageConversionLoss(DOUBLE* pVal) override {
        return this->Session(
            "get_AverageConversionLoss",
            &Owner::template AttributeGet<AttributeId::kSpecAnExternalMixerAverageConversionLoss,
                                          DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_AverageConversionLoss(DOUBLE newVal) override {
        return this->Session(
            "put_AverageConversionLoss",
            &Owner::template AttributePut<AttributeId::kSpecAnExternalMixerAverageConversionLoss,
                                          DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_Enabled",
            &Owner::template AttributeGet<AttributeId::kSpecAnExternalMixerEnabled, VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_Enabled",
            &Owner::template AttributePut<AttributeId::kSpecAnExternalMixerEnabled, VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_NumberOfPorts(LONG* pVal) override {
        return this->Session(
            "get_NumberOfPorts",
            &Owner::template AttributeGet<AttributeId::kSpecAnExternalMixerNumberOfPorts, LONG>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_NumberOfPorts(LONG newVal) override {
        return this->Session(
            "put_NumberOfPorts",
            &Owner::template AttributePut<AttributeId::kSpecAnExternalMixerNumberOfPorts, LONG>,
            newVal);
    }
};

template <class Owner>
class SpecAnExternalMixerBiasFacet : public Facet<Owner, IIviSpecAnExternalMixerBias> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(DOUBLE Bias, DOUBLE BiasLimit) override {
        return this->Session(
            "Configure", Owner::template Operation<&operations::SpecAnExternalMixerBiasConfigure>,
            Bias, BiasLimit);
    }
    HRESULT STDMETHODCALLTYPE get_Level(DOUBLE* pVal) override {
        return this->Session(
            "get_Level",
            &Owner::template AttributeGet<AttributeId::kSpecAnExternalMixerBiasLevel, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Level(DOUBLE newVal) override {
        return this->Session(
            "put_Level",
            &Owner::template AttributePut<AttributeId::kSpecAnExternalMixerBiasLevel, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Limit(DOUBLE* pVal) override {
        return this->Session(
            "get_Limit",
            &Owner::template AttributeGet<AttributeId::kSpecAnExternalMixerBiasLimit, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Limit(DOUBLE newVal) override {
        return this->Session(
            "put_Limit",
            &Owner::template AttributePut<AttributeId::kSpecAnExternalMixerBiasLimit, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_Enabled",
            &Owner::template AttributeGet<AttributeId::kSpecAnExternalMixerBiasEnabled,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_Enabled",
            &Owner::template AttributePut<AttributeId::kSpecAnExternalMixerBiasEnabled,
                                          VARIANT_BOOL>,
            newVal);
    }
};

template <class Owner>
class SpecAnExternalMixerConversionLossTableFacet
    : public Facet<Owner, IIviSpecAnExternalMixerConversionLossTable> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(SAFEARRAY** Frequency,
                                        SAFEARRAY** ConversionLoss) override {
        return this->Session(
            "Configure", Owner::template Operation<&operations::SpecAnConversionLossTableConfigure>,
            Frequency, ConversionLoss);
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_Enabled",
            &Owner::template AttributeGet<
                AttributeId::kSpecAnExternalMixerConversionLossTableEnabled, VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_Enabled",
            &Owner::template AttributePut<
                AttributeId::kSpecAnExternalMixerConversionLossTableEnabled, VARIANT_BOOL>,
            newVal);
    }
};

template <class Owner>
class SpecAnMarkerFacet : public Facet<Owner, IIviSpecAnMarker> {
  public:
    HRESULT STDMETHODCALLTYPE
    get_FrequencyCounter(IIviSpecAnMarkerFrequencyCounter** pVal) override {
        return this->Plain("get_FrequencyCounter",
                           &Owner::template GetSubObject<IIviSpecAnMarkerFrequencyCounter>, pVal,
                           "get_FrequencyCounter");
    }
    HRESULT STDMETHODCALLTYPE get_ActiveMarker(BSTR* pVal) override {
        return this->Session(
            "get_ActiveMarker",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerActiveMarker, BSTR>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_ActiveMarker(BSTR newVal) override {
        return this->Session(
            "put_ActiveMarker",
            &Owner::template AttributePut<AttributeId::kSpecAnMarkerActiveMarker, BSTR>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Amplitude(DOUBLE* pVal) override {
        return this->Session(
            "get_Amplitude",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerAmplitude, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE ConfigureEnabled(VARIANT_BOOL Enabled,
                                               BSTR MarkerTraceName) override {
        return this->Session("ConfigureEnabled",
                             Owner::template Operation<&operations::SpecAnMarkerConfigureEnabled>,
                             Enabled, MarkerTraceName);
    }
    HRESULT STDMETHODCALLTYPE ConfigureSearch(DOUBLE PeakExcursion,
                                              DOUBLE MarkerThreshold) override {
        return this->Session("ConfigureSearch",
                             Owner::template Operation<&operations::SpecAnMarkerConfigureSearch>,
                             PeakExcursion, MarkerThreshold);
    }
    HRESULT STDMETHODCALLTYPE DisableAll() override {
        return this->Session("DisableAll",
                             Owner::template Operation<&operations::SpecAnMarkerDisableAll>);
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_Enabled",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerEnabled, VARIANT_BOOL>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_Enabled",
            &Owner::template AttributePut<AttributeId::kSpecAnMarkerEnabled, VARIANT_BOOL>, newVal);
    }
    HRESULT STDMETHODCALLTYPE MakeDelta(VARIANT_BOOL DeltaMarker) override {
        return this->Session("MakeDelta",
                             Owner::template Operation<&operations::SpecAnMarkerMakeDelta>,
                             DeltaMarker);
    }
    HRESULT STDMETHODCALLTYPE get_Type(IviSpecAnMarkerTypeEnum* pVal) override {
        return this->Session(
            "get_Type",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerType, IviSpecAnMarkerTypeEnum>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE Search(IviSpecAnMarkerSearchEnum SearchType) override {
        return this->Session("Search", Owner::template Operation<&operations::SpecAnMarkerSearch>,
                             SearchType);
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override {
        return this->Session("get_Count",
                             &Owner::template AttributeGet<AttributeId::kSpecAnMarkerCount, LONG>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Name(LONG Index, BSTR* Name) override {
        return this->Session("get_Name", Owner::template Operation<&operations::SpecAnMarkerName>,
                             Index, Name);
    }
    HRESULT STDMETHODCALLTYPE get_PeakExcursion(DOUBLE* pVal) override {
        return this->Session(
            "get_PeakExcursion",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerPeakExcursion, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_PeakExcursion(DOUBLE newVal) override {
        return this->Session(
            "put_PeakExcursion",
            &Owner::template AttributePut<AttributeId::kSpecAnMarkerPeakExcursion, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Position(DOUBLE* pVal) override {
        return this->Session(
            "get_Position",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerPosition, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Position(DOUBLE newVal) override {
        return this->Session(
            "put_Position",
            &Owner::template AttributePut<AttributeId::kSpecAnMarkerPosition, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE Query(DOUBLE* MarkerPosition, DOUBLE* MarkerAmplitude) override {
        return this->Session("Query", Owner::template Operation<&operations::SpecAnMarkerQuery>,
                             MarkerPosition, MarkerAmplitude);
    }
    HRESULT STDMETHODCALLTYPE QueryReference(DOUBLE* ReferencePosition,
                                             DOUBLE* ReferenceAmplitude) override {
        return this->Session("QueryReference",
                             Owner::template Operation<&operations::SpecAnMarkerQueryReference>,
                             ReferencePosition, ReferenceAmplitude);
    }
    HRESULT STDMETHODCALLTYPE get_ReferencePosition(DOUBLE* pVal) override {
        return this->Session(
            "get_ReferencePosition",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerReferencePosition, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE get_ReferenceAmplitude(DOUBLE* pVal) override {
        return this->Session(
            "get_ReferenceAmplitude",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerReferenceAmplitude, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE
    SetInstrumentFromMarker(IviSpecAnInstrumentSettingEnum InstrumentSetting) override {
        return this->Session(
            "SetInstrumentFromMarker",
            Owner::template Operation<&operations::SpecAnMarkerSetInstrumentFromMarker>,
            InstrumentSetting);
    }
    HRESULT STDMETHODCALLTYPE get_SignalTrackEnabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_SignalTrackEnabled",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerSignalTrackEnabled,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_SignalTrackEnabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_SignalTrackEnabled",
            &Owner::template AttributePut<AttributeId::kSpecAnMarkerSignalTrackEnabled,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Threshold(DOUBLE* pVal) override {
        return this->Session(
            "get_Threshold",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerThreshold, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Threshold(DOUBLE newVal) override {
        return this->Session(
            "put_Threshold",
            &Owner::template AttributePut<AttributeId::kSpecAnMarkerThreshold, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Trace(BSTR* pVal) override {
        return this->Session("get_Trace",
                             &Owner::template AttributeGet<AttributeId::kSpecAnMarkerTrace, BSTR>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Trace(BSTR newVal) override {
        return this->Session("put_Trace",
                             &Owner::template AttributePut<AttributeId::kSpecAnMarkerTrace, BSTR>,
                             newVal);
    }
};

template <class Owner>
class SpecAnMarkerFrequencyCounterFacet : public Facet<Owner, IIviSpecAnMarkerFrequencyCounter> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(VARIANT_BOOL Enabled, DOUBLE Resolution) override {
        return this->Session(
            "Configure", Owner::template Operation<&operations::SpecAnFrequencyCounterConfigure>,
            Enabled, Resolution);
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_Enabled",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerFrequencyCounterEnabled,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_Enabled",
            &Owner::template AttributePut<AttributeId::kSpecAnMarkerFrequencyCounterEnabled,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Resolution(DOUBLE* pVal) override {
        return this->Session(
            "get_Resolution",
            &Owner::template AttributeGet<AttributeId::kSpecAnMarkerFrequencyCounterResolution,
                                          DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Resolution(DOUBLE newVal) override {
        return this->Session(
            "put_Resolution",
            &Owner::template AttributePut<AttributeId::kSpecAnMarkerFrequencyCounterResolution,
                                          DOUBLE>,
            newVal);
    }
};

template <class Owner>
class SpecAnTracesFacet : public Facet<Owner, IIviSpecAnTraces> {
  public:
    HRESULT STDMETHODCALLTYPE get_Math(IIviSpecAnTracesMath** pVal) override {
        return this->Plain("get_Math", &Owner::template GetSubObject<IIviSpecAnTracesMath>, pVal,
                           "get_Math");
    }
    HRESULT STDMETHODCALLTYPE Abort() override {
        return this->Session("Abort", Owner::template Operation<&operations::SpecAnTracesAbort>);
    }
    HRESULT STDMETHODCALLTYPE Initiate() override {
        return this->Session("Initiate",
                             Owner::template Operation<&operations::SpecAnTracesInitiate>);
    }
    HRESULT STDMETHODCALLTYPE AcquisitionStatus(IviSpecAnAcquisitionStatusEnum* pVal) override {
        return this->Session("AcquisitionStatus",
                             Owner::template Operation<&operations::SpecAnTracesAcquisitionStatus>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Item(BSTR Name, IIviSpecAnTrace** pVal) override {
        return this->Session("get_Item", &Owner::SpecAnTracesGetItem, Name, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override {
        return this->Session("get_Count", &Owner::SpecAnTracesGetCount, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Name(LONG Index, BSTR* pVal) override {
        return this->Session("get_Name", &Owner::SpecAnTracesGetName, Index, pVal);
    }
    HRESULT STDMETHODCALLTYPE SendSoftwareTrigger() override {
        return this->Session(
            "SendSoftwareTrigger",
            Owner::template Operation<&operations::SpecAnTracesSendSoftwareTrigger>);
    }
};

template <class Owner>
class SpecAnTracesMathFacet : public Facet<Owner, IIviSpecAnTracesMath> {
  public:
    HRESULT STDMETHODCALLTYPE Add(BSTR DestinationTrace, BSTR Trace1, BSTR Trace2) override {
        return this->Session("Add", Owner::template Operation<&operations::SpecAnTracesMathAdd>,
                             DestinationTrace, Trace1, Trace2);
    }
    HRESULT STDMETHODCALLTYPE Copy(BSTR DestinationTrace, BSTR SourceTrace) override {
        return this->Session("Copy", Owner::template Operation<&operations::SpecAnTracesMathCopy>,
                             DestinationTrace, SourceTrace);
    }
    HRESULT STDMETHODCALLTYPE Exchange(BSTR Trace1, BSTR Trace2) override {
        return this->Session("Exchange",
                             Owner::template Operation<&operations::SpecAnTracesMathExchange>,
                             Trace1, Trace2);
    }
    HRESULT STDMETHODCALLTYPE Subtract(BSTR DestinationTrace, BSTR Trace1, BSTR Trace2) override {
        return this->Session("Subtract",
                             Owner::template Operation<&operations::SpecAnTracesMathSubtract>,
                             DestinationTrace, Trace1, Trace2);
    }
};

template <class Owner>
class SpecAnTriggerFacet : public Facet<Owner, IIviSpecAnTrigger> {
  public:
    HRESULT STDMETHODCALLTYPE get_Source(IviSpecAnTriggerSourceEnum* pVal) override {
        return this->Session("get_Source",
                             &Owner::template AttributeGet<AttributeId::kSpecAnTriggerSource,
                                                           IviSpecAnTriggerSourceEnum>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Source(IviSpecAnTriggerSourceEnum newVal) override {
        return this->Session("put_Source",
                             &Owner::template AttributePut<AttributeId::kSpecAnTriggerSource,
                                                           IviSpecAnTriggerSourceEnum>,
                             newVal);
    }
    HRESULT STDMETHODCALLTYPE get_External(IIviSpecAnTriggerExternal** pVal) override {
        return this->Plain("get_External", &Owner::template GetSubObject<IIviSpecAnTriggerExternal>,
                           pVal, "get_External");
    }
    HRESULT STDMETHODCALLTYPE get_Video(IIviSpecAnTriggerVideo** pVal) override {
        return this->Plain("get_Video", &Owner::template GetSubObject<IIviSpecAnTriggerVideo>, pVal,
                           "get_Video");
    }
};

template <class Owner>
class SpecAnTriggerExternalFacet : public Facet<Owner, IIviSpecAnTriggerExternal> {
  public:
    HRESULT STDMETHODCALLTYPE
    Configure(DOUBLE ExternalTriggerLevel,
              IviSpecAnExternalTriggerSlopeEnum ExternalTriggerSlope) override {
        return this->Session("Configure",
                             Owner::template Operation<&operations::SpecAnTriggerExternalConfigure>,
                             ExternalTriggerLevel, ExternalTriggerSlope);
    }
    HRESULT STDMETHODCALLTYPE get_Level(DOUBLE* pVal) override {
        return this->Session(
            "get_Level",
            &Owner::template AttributeGet<AttributeId::kSpecAnTriggerExternalLevel, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Level(DOUBLE newVal) override {
        return this->Session(
            "put_Level",
            &Owner::template AttributePut<AttributeId::kSpecAnTriggerExternalLevel, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Slope(IviSpecAnExternalTriggerSlopeEnum* pVal) override {
        return this->Session("get_Slope",
                             &Owner::template AttributeGet<AttributeId::kSpecAnTriggerExternalSlope,
                                                           IviSpecAnExternalTriggerSlopeEnum>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Slope(IviSpecAnExternalTriggerSlopeEnum newVal) override {
        return this->Session("put_Slope",
                             &Owner::template AttributePut<AttributeId::kSpecAnTriggerExternalSlope,
                                                           IviSpecAnExternalTriggerSlopeEnum>,
                             newVal);
    }
};

template <class Owner>
class SpecAnTriggerVideoFacet : public Facet<Owner, IIviSpecAnTriggerVideo> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(DOUBLE VideoTriggerLevel,
                                        IviSpecAnVideoTriggerSlopeEnum VideoTriggerSlope) override {
        return this->Session("Configure",
                             Owner::template Operation<&operations::SpecAnTriggerVideoConfigure>,
                             VideoTriggerLevel, VideoTriggerSlope);
    }
    HRESULT STDMETHODCALLTYPE get_Level(DOUBLE* pVal) override {
        return this->Session(
            "get_Level",
            &Owner::template AttributeGet<AttributeId::kSpecAnTriggerVideoLevel, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Level(DOUBLE newVal) override {
        return this->Session(
            "put_Level",
            &Owner::template AttributePut<AttributeId::kSpecAnTriggerVideoLevel, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Slope(IviSpecAnVideoTriggerSlopeEnum* pVal) override {
        return this->Session("get_Slope",
                             &Owner::template AttributeGet<AttributeId::kSpecAnTriggerVideoSlope,
                                                           IviSpecAnVideoTriggerSlopeEnum>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Slope(IviSpecAnVideoTriggerSlopeEnum newVal) override {
        return this->Session("put_Slope",
                             &Owner::template AttributePut<AttributeId::kSpecAnTriggerVideoSlope,
                                                           IviSpecAnVideoTriggerSlopeEnum>,
                             newVal);
    }
};

template <class Owner>
class SpecAnPreselectorFacet : public Facet<Owner, IIviSpecAnPreselector> {
  public:
    HRESULT STDMETHODCALLTYPE Peak() override {
        return this->Session("Peak", Owner::template Operation<&operations::SpecAnPreselectorPeak>);
    }
};

}  // namespace tevo::driver
