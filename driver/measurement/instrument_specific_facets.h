// The facets of the instrument-specific interfaces (ITevo and its sub-objects) on the main
// driver object, made as the class-compliant ones are (see class_compliant_facets.h). ITevo carries
// IIviDriver's methods in its vtable; their frames name IIviDriver. ITevoDisplay's
// put_ActiveScreen runs in the PlainFrame: it only selects a screen.
#pragma once

#include "attributes/attribute_catalogue.h"
#include "operations/configure_operations.h"
#include "operations/marker_operations.h"
#include "operations/raw_io.h"
#include "operations/service_calibration.h"
#include "operations/trace_acquisition.h"
#include "operations/trace_math.h"
#include "session/inherent_facets.h"

namespace tevo::driver {

template <class Owner>
class TevoRootFacetOf : public IviDriverMethods<Owner, ITevo> {
  public:
    HRESULT STDMETHODCALLTYPE get_Acquisition(ITevoAcquisition** pVal) override {
        return this->Plain("get_Acquisition", &Owner::template GetSubObject<ITevoAcquisition>, pVal,
                           "get_Acquisition");
    }
    HRESULT STDMETHODCALLTYPE get_Display(ITevoDisplay** pVal) override {
        return this->Plain("get_Display", &Owner::template GetSubObject<ITevoDisplay>, pVal,
                           "get_Display");
    }
    HRESULT STDMETHODCALLTYPE get_Frequency(ITevoFrequency** pVal) override {
        return this->Plain("get_Frequency", &Owner::template GetSubObject<ITevoFrequency>, pVal,
                           "get_Frequency");
    }
    HRESULT STDMETHODCALLTYPE get_InstrumentIO(ITevoInstrumentIO** pVal) override {
        return this->Plain("get_InstrumentIO", &Owner::template GetSubObject<ITevoInstrumentIO>,
                           pVal, "get_InstrumentIO");
    }
    HRESULT STDMETHODCALLTYPE get_IviSpecAn(IIviSpecAn** pVal) override {
        return this->Plain("get_IviSpecAn", &Owner::template GetSubObject<IIviSpecAn>, pVal,
                           "get_IviSpecAn");
    }
    HRESULT STDMETHODCALLTYPE get_Level(ITevoLevel** pVal) override {
        return this->Plain("get_Level", &Owner::template GetSubObject<ITevoLevel>, pVal,
                           "get_Level");
    }
    HRESULT STDMETHODCALLTYPE get_List(ITevoList** pVal) override {
        return this->Plain("get_List", &Owner::template GetSubObject<ITevoList>, pVal, "get_List");
    }
    HRESULT STDMETHODCALLTYPE get_Marker(ITevoMarker** pVal) override {
        return this->Plain("get_Marker", &Owner::template GetSubObject<ITevoMarker>, pVal,
                           "get_Marker");
    }
    HRESULT STDMETHODCALLTYPE get_Service(ITevoService** pVal) override {
        return this->Plain("get_Service", &Owner::template GetSubObject<ITevoService>, pVal,
                           "get_Service");
    }
    HRESULT STDMETHODCALLTYPE get_SweepCoupling(ITevoSweepCoupling** pVal) override {
        return this->Plain("get_SweepCoupling", &Owner::template GetSubObject<ITevoSweepCoupling>,
                           pVal, "get_SweepCoupling");
    }
    HRESULT STDMETHODCALLTYPE get_Traces(ITevoTraces** pVal) override {
        return this->Plain("get_Traces", &Owner::template GetSubObject<ITevoTraces>, pVal,
                           "get_Traces");
    }
    HRESULT STDMETHODCALLTYPE get_Trigger(ITevoTrigger** pVal) override {
        return this->Plain("get_Trigger", &Owner::template GetSubObject<ITevoTrigger>, pVal,
                           "get_Trigger");
    }
};

template <class Owner>
class TevoAcquisitionFacet : public Facet<Owner, ITevoAcquisition> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(VARIANT_BOOL SweepModeContinuous, LONG NumberOfSweeps,
                                        VARIANT_BOOL DetectorTypeAuto,
                                        TevoDetectorTypeEnum DetectorType,
                                        TevoVerticalScaleEnum VerticalScale) override {
        return this->Session(
            "Configure", Owner::template Operation<&operations::TevoAcquisitionConfigure>,
            SweepModeContinuous, NumberOfSweeps, DetectorTypeAuto, DetectorType, VerticalScale);
    }
    HRESULT STDMETHODCALLTYPE put_DetectorType(TevoDetectorTypeEnum newVal) override {
        return this->Session(
            "put_DetectorType",
            &Owner::template AttributePut<AttributeId::kTevoAcquisitionDetectorType,
                                          TevoDetectorTypeEnum>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_DetectorType(TevoDetectorTypeEnum* pVal) override {
        return this->Session(
            "get_DetectorType",
            &Owner::template AttributeGet<AttributeId::kTevoAcquisitionDetectorType,
                                          TevoDetectorTypeEnum>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_DetectorTypeAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_DetectorTypeAuto",
            &Owner::template AttributePut<AttributeId::kTevoAcquisitionDetectorTypeAuto,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_DetectorTypeAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_DetectorTypeAuto",
            &Owner::template AttributeGet<AttributeId::kTevoAcquisitionDetectorTypeAuto,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_NumberOfSweeps(LONG newVal) override {
        return this->Session(
            "put_NumberOfSweeps",
            &Owner::template AttributePut<AttributeId::kTevoAcquisitionNumberOfSweeps, LONG>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_NumberOfSweeps(LONG* pVal) override {
        return this->Session(
            "get_NumberOfSweeps",
            &Owner::template AttributeGet<AttributeId::kTevoAcquisitionNumberOfSweeps, LONG>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_SweepModeContinuous(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_SweepModeContinuous",
            &Owner::template AttributePut<AttributeId::kTevoAcquisitionSweepModeContinuous,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_SweepModeContinuous(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_SweepModeContinuous",
            &Owner::template AttributeGet<AttributeId::kTevoAcquisitionSweepModeContinuous,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE get_VerticalScale(TevoVerticalScaleEnum* pVal) override {
        return this->Session(
            "get_VerticalScale",
            &Owner::template AttributeGet<AttributeId::kTevoAcquisitionVerticalScale,
                                          TevoVerticalScaleEnum>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_VerticalScale(TevoVerticalScaleEnum newVal) override {
        return this->Session(
            "put_VerticalScale",
            &Owner::template AttributePut<AttributeId::kTevoAcquisitionVerticalScale,
                                          TevoVerticalScaleEnum>,
            newVal);
    }
};

template <class Owner>
class TevoDisplayFacet : public Facet<Owner, ITevoDisplay> {
  public:
    HRESULT STDMETHODCALLTYPE put_ActiveScreen(TevoActiveScreenEnum newVal) override {
        return this->Plain("put_ActiveScreen",
                           &Owner::template AttributePut<AttributeId::kTevoDisplayActiveScreen,
                                                         TevoActiveScreenEnum>,
                           newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ActiveScreen(TevoActiveScreenEnum* pVal) override {
        return this->Session("get_ActiveScreen",
                             &Owner::template AttributeGet<AttributeId::kTevoDisplayActiveScreen,
                                                           TevoActiveScreenEnum>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Format(TevoDisplayFormatEnum newVal) override {
        return this->Session(
            "put_Format",
            &Owner::template AttributePut<AttributeId::kTevoDisplayFormat, TevoDisplayFormatEnum>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Format(TevoDisplayFormatEnum* pVal) override {
        return this->Session(
            "get_Format",
            &Owner::template AttributeGet<AttributeId::kTevoDisplayFormat, TevoDisplayFormatEnum>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE get_NumberOfDivisions(LONG* pVal) override {
        return this->Session(
            "get_NumberOfDivisions",
            &Owner::template AttributeGet<AttributeId::kTevoDisplayNumberOfDivisions, LONG>, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_UnitsPerDivision(DOUBLE* pVal) override {
        return this->Session(
            "get_UnitsPerDivision",
            &Owner::template AttributeGet<AttributeId::kTevoDisplayUnitsPerDivision, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_UnitsPerDivision(DOUBLE newVal) override {
        return this->Session(
            "put_UnitsPerDivision",
            &Owner::template AttributePut<AttributeId::kTevoDisplayUnitsPerDivision, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE put_Update(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_Update",
            &Owner::template AttributePut<AttributeId::kTevoDisplayUpdate, VARIANT_BOOL>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Update(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_Update",
            &Owner::template AttributeGet<AttributeId::kTevoDisplayUpdate, VARIANT_BOOL>, pVal);
    }
};

template <class Owner>
class TevoFrequencyFacet : public Facet<Owner, ITevoFrequency> {
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
    HRESULT STDMETHODCALLTYPE put_Offset(DOUBLE newVal) override {
        return this->Session(
            "put_Offset", &Owner::template AttributePut<AttributeId::kTevoFrequencyOffset, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Offset(DOUBLE* pVal) override {
        return this->Session(
            "get_Offset", &Owner::template AttributeGet<AttributeId::kTevoFrequencyOffset, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Start(DOUBLE newVal) override {
        return this->Session(
            "put_Start", &Owner::template AttributePut<AttributeId::kTevoFrequencyStart, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Start(DOUBLE* pVal) override {
        return this->Session(
            "get_Start", &Owner::template AttributeGet<AttributeId::kTevoFrequencyStart, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Stop(DOUBLE newVal) override {
        return this->Session("put_Stop",
                             &Owner::template AttributePut<AttributeId::kTevoFrequencyStop, DOUBLE>,
                             newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Stop(DOUBLE* pVal) override {
        return this->Session("get_Stop",
                             &Owner::template AttributeGet<AttributeId::kTevoFrequencyStop, DOUBLE>,
                             pVal);
    }
};

template <class Owner>
class TevoInstrumentIOFacet : public Facet<Owner, ITevoInstrumentIO> {
  public:
    HRESULT STDMETHODCALLTYPE Query(BSTR SCPICommand, BSTR* pResult) override {
        return this->Session("Query", Owner::template Operation<&operations::RawQuery>, SCPICommand,
                             pResult);
    }
    HRESULT STDMETHODCALLTYPE Read(LONG Count, BYTE* pResponse) override {
        return this->Session("Read", Owner::template Operation<&operations::RawRead>, Count,
                             pResponse);
    }
    HRESULT STDMETHODCALLTYPE Write(BSTR SCPICommand) override {
        return this->Session("Write", Owner::template Operation<&operations::RawWrite>,
                             SCPICommand);
    }
};

template <class Owner>
class TevoLevelFacet : public Facet<Owner, ITevoLevel> {
  public:
    HRESULT STDMETHODCALLTYPE put_AmplitudeUnits(TevoAmplitudeUnitsEnum newVal) override {
        return this->Session("put_AmplitudeUnits",
                             &Owner::template AttributePut<AttributeId::kTevoLevelAmplitudeUnits,
                                                           TevoAmplitudeUnitsEnum>,
                             newVal);
    }
    HRESULT STDMETHODCALLTYPE get_AmplitudeUnits(TevoAmplitudeUnitsEnum* pVal) override {
        return this->Session("get_AmplitudeUnits",
                             &Owner::template AttributeGet<AttributeId::kTevoLevelAmplitudeUnits,
                                                           TevoAmplitudeUnitsEnum>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Attenuation(DOUBLE newVal) override {
        return this->Session(
            "put_Attenuation",
            &Owner::template AttributePut<AttributeId::kTevoLevelAttenuation, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Attenuation(DOUBLE* pVal) override {
        return this->Session(
            "get_Attenuation",
            &Owner::template AttributeGet<AttributeId::kTevoLevelAttenuation, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_AttenuationAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_AttenuationAuto",
            &Owner::template AttributePut<AttributeId::kTevoLevelAttenuationAuto, VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_AttenuationAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_AttenuationAuto",
            &Owner::template AttributeGet<AttributeId::kTevoLevelAttenuationAuto, VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE Configure(TevoAmplitudeUnitsEnum AmplitudeUnits,
                                        DOUBLE InputImpedance, DOUBLE ReferenceLevel,
                                        DOUBLE ReferenceLevelOffset, VARIANT_BOOL AttenuationAuto,
                                        DOUBLE Attenuation, DOUBLE ElectronicAttenuationAuto,
                                        DOUBLE ElectronicAttenuation,
                                        VARIANT_BOOL ElectronicAttenuationEnabled,
                                        VARIANT_BOOL RFPreamplifierEnabled) override {
        return this->Session(
            "Configure", Owner::template Operation<&operations::TevoLevelConfigure>, AmplitudeUnits,
            InputImpedance, ReferenceLevel, ReferenceLevelOffset, AttenuationAuto, Attenuation,
            ElectronicAttenuationAuto, ElectronicAttenuation, ElectronicAttenuationEnabled,
            RFPreamplifierEnabled);
    }
    HRESULT STDMETHODCALLTYPE put_ElectronicAttenuation(DOUBLE newVal) override {
        return this->Session(
            "put_ElectronicAttenuation",
            &Owner::template AttributePut<AttributeId::kTevoLevelElectronicAttenuation, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ElectronicAttenuation(DOUBLE* pVal) override {
        return this->Session(
            "get_ElectronicAttenuation",
            &Owner::template AttributeGet<AttributeId::kTevoLevelElectronicAttenuation, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_ElectronicAttenuationAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_ElectronicAttenuationAuto",
            &Owner::template AttributePut<AttributeId::kTevoLevelElectronicAttenuationAuto,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ElectronicAttenuationAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_ElectronicAttenuationAuto",
            &Owner::template AttributeGet<AttributeId::kTevoLevelElectronicAttenuationAuto,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_ElectronicAttenuationEnabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_ElectronicAttenuationEnabled",
            &Owner::template AttributePut<AttributeId::kTevoLevelElectronicAttenuationEnabled,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ElectronicAttenuationEnabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_ElectronicAttenuationEnabled",
            &Owner::template AttributeGet<AttributeId::kTevoLevelElectronicAttenuationEnabled,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_InputImpedance(DOUBLE newVal) override {
        return this->Session(
            "put_InputImpedance",
            &Owner::template AttributePut<AttributeId::kTevoLevelInputImpedance, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_InputImpedance(DOUBLE* pVal) override {
        return this->Session(
            "get_InputImpedance",
            &Owner::template AttributeGet<AttributeId::kTevoLevelInputImpedance, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Reference(DOUBLE newVal) override {
        return this->Session(
            "put_Reference",
            &Owner::template AttributePut<AttributeId::kTevoLevelReference, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Reference(DOUBLE* pVal) override {
        return this->Session(
            "get_Reference",
            &Owner::template AttributeGet<AttributeId::kTevoLevelReference, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_ReferenceOffset(DOUBLE newVal) override {
        return this->Session(
            "put_ReferenceOffset",
            &Owner::template AttributePut<AttributeId::kTevoLevelReferenceOffset, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ReferenceOffset(DOUBLE* pVal) override {
        return this->Session(
            "get_ReferenceOffset",
            &Owner::template AttributeGet<AttributeId::kTevoLevelReferenceOffset, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_RFPreamplifierEnabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_RFPreamplifierEnabled",
            &Owner::template AttributePut<AttributeId::kTevoLevelRFPreamplifierEnabled,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_RFPreamplifierEnabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_RFPreamplifierEnabled",
            &Owner::template AttributeGet<AttributeId::kTevoLevelRFPreamplifierEnabled,
                                          VARIANT_BOOL>,
            pVal);
    }
};

template <class Owner>
class TevoListFacet : public Facet<Owner, ITevoList> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(SAFEARRAY* Frequency, SAFEARRAY* ReferenceLevel,
                                        SAFEARRAY* Attenuation, SAFEARRAY* ElectronicAttentuation,
                                        SAFEARRAY* RBWFilterType, SAFEARRAY* ResolutionBandwidth,
                                        SAFEARRAY* VideoBandwidth, SAFEARRAY* Sweeptime,
                                        SAFEARRAY* Detector) override {
        return this->Session("Configure", Owner::template Operation<&operations::TevoListConfigure>,
                             Frequency, ReferenceLevel, Attenuation, ElectronicAttentuation,
                             RBWFilterType, ResolutionBandwidth, VideoBandwidth, Sweeptime,
                             Detector);
    }
};

template <class Owner>
class TevoMarkerFacet : public Facet<Owner, ITevoMarker> {
  public:
    HRESULT STDMETHODCALLTYPE put_ActiveMarker(BSTR newVal) override {
        return this->Session(
            "put_ActiveMarker",
            &Owner::template AttributePut<AttributeId::kTevoMarkerActiveMarker, BSTR>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ActiveMarker(BSTR* pVal) override {
        return this->Session(
            "get_ActiveMarker",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerActiveMarker, BSTR>, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Amplitude(DOUBLE* pVal) override {
        return this->Session(
            "get_Amplitude",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerAmplitude, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE ConfigureEnabled(VARIANT_BOOL Enabled,
                                               BSTR MarkerTraceName) override {
        return this->Session("ConfigureEnabled",
                             Owner::template Operation<&operations::TevoMarkerConfigureEnabled>,
                             Enabled, MarkerTraceName);
    }
    HRESULT STDMETHODCALLTYPE ConfigureSearch(DOUBLE PeakExcursion,
                                              DOUBLE MarkerThreshold) override {
        return this->Session("ConfigureSearch",
                             Owner::template Operation<&operations::TevoMarkerConfigureSearch>,
                             PeakExcursion, MarkerThreshold);
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override {
        return this->Session(
            "get_Count", &Owner::template AttributeGet<AttributeId::kTevoMarkerCount, LONG>, pVal);
    }
    HRESULT STDMETHODCALLTYPE DisableAll() override {
        return this->Session("DisableAll",
                             Owner::template Operation<&operations::TevoMarkerDisableAll>);
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_Enabled",
            &Owner::template AttributePut<AttributeId::kTevoMarkerEnabled, VARIANT_BOOL>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_Enabled",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerEnabled, VARIANT_BOOL>, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_FrequencyCounter(ITevoMarkerFrequencyCounter** pVal) override {
        return this->Plain("get_FrequencyCounter",
                           &Owner::template GetSubObject<ITevoMarkerFrequencyCounter>, pVal,
                           "get_FrequencyCounter");
    }
    HRESULT STDMETHODCALLTYPE MakeDelta(VARIANT_BOOL DeltaMarker) override {
        return this->Session(
            "MakeDelta", Owner::template Operation<&operations::TevoMarkerMakeDelta>, DeltaMarker);
    }
    HRESULT STDMETHODCALLTYPE get_Name(LONG Index, BSTR* pVal) override {
        return this->Session("get_Name", Owner::template Operation<&operations::TevoMarkerName>,
                             Index, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_PeakExcursion(DOUBLE* pVal) override {
        return this->Session(
            "get_PeakExcursion",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerPeakExcursion, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_PeakExcursion(DOUBLE newVal) override {
        return this->Session(
            "put_PeakExcursion",
            &Owner::template AttributePut<AttributeId::kTevoMarkerPeakExcursion, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Position(DOUBLE* pVal) override {
        return this->Session(
            "get_Position", &Owner::template AttributeGet<AttributeId::kTevoMarkerPosition, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Position(DOUBLE newVal) override {
        return this->Session(
            "put_Position", &Owner::template AttributePut<AttributeId::kTevoMarkerPosition, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE Query(DOUBLE* MarkerPosition, DOUBLE* MarkerAmplitude) override {
        return this->Session("Query", Owner::template Operation<&operations::TevoMarkerQuery>,
                             MarkerPosition, MarkerAmplitude);
    }
    HRESULT STDMETHODCALLTYPE QueryReference(DOUBLE* ReferencePosition,
                                             DOUBLE* ReferenceAmplitude) override {
        return this->Session("QueryReference",
                             Owner::template Operation<&operations::TevoMarkerQueryReference>,
                             ReferencePosition, ReferenceAmplitude);
    }
    HRESULT STDMETHODCALLTYPE get_ReferenceAmplitude(DOUBLE* pVal) override {
        return this->Session(
            "get_ReferenceAmplitude",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerReferenceAmplitude, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE get_ReferencePosition(DOUBLE* pVal) override {
        return this->Session(
            "get_ReferencePosition",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerReferencePosition, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE Search(TevoMarkerSearchEnum SearchType) override {
        return this->Session("Search", Owner::template Operation<&operations::TevoMarkerSearch>,
                             SearchType);
    }
    HRESULT STDMETHODCALLTYPE
    SetInstrumentFromMarker(TevoInstrumentSettingEnum InstrumentSetting) override {
        return this->Session(
            "SetInstrumentFromMarker",
            Owner::template Operation<&operations::TevoMarkerSetInstrumentFromMarker>,
            InstrumentSetting);
    }
    HRESULT STDMETHODCALLTYPE put_SignalTrackEnabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_SignalTrackEnabled",
            &Owner::template AttributePut<AttributeId::kTevoMarkerSignalTrackEnabled, VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_SignalTrackEnabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_SignalTrackEnabled",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerSignalTrackEnabled, VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Threshold(DOUBLE* pVal) override {
        return this->Session(
            "get_Threshold",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerThreshold, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Threshold(DOUBLE newVal) override {
        return this->Session(
            "put_Threshold",
            &Owner::template AttributePut<AttributeId::kTevoMarkerThreshold, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Trace(BSTR* pVal) override {
        return this->Session(
            "get_Trace", &Owner::template AttributeGet<AttributeId::kTevoMarkerTrace, BSTR>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Trace(BSTR newVal) override {
        return this->Session("put_Trace",
                             &Owner::template AttributePut<AttributeId::kTevoMarkerTrace, BSTR>,
                             newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Type(TevoMarkerTypeEnum* pVal) override {
        return this->Session(
            "get_Type",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerType, TevoMarkerTypeEnum>, pVal);
    }
};

template <class Owner>
class TevoMarkerFrequencyCounterFacet : public Facet<Owner, ITevoMarkerFrequencyCounter> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(VARIANT_BOOL Enabled, DOUBLE Resolution) override {
        return this->Session("Configure",
                             Owner::template Operation<&operations::TevoFrequencyCounterConfigure>,
                             Enabled, Resolution);
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_Enabled",
            &Owner::template AttributePut<AttributeId::kTevoMarkerFrequencyCounterEnabled,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_Enabled",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerFrequencyCounterEnabled,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Resolution(DOUBLE newVal) override {
        return this->Session(
            "put_Resolution",
            &Owner::template AttributePut<AttributeId::kTevoMarkerFrequencyCounterResolution,
                                          DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Resolution(DOUBLE* pVal) override {
        return this->Session(
            "get_Resolution",
            &Owner::template AttributeGet<AttributeId::kTevoMarkerFrequencyCounterResolution,
                                          DOUBLE>,
            pVal);
    }
};

template <class Owner>
class TevoServiceFacet : public Facet<Owner, ITevoService> {
  public:
    HRESULT STDMETHODCALLTYPE get_Calibration(ITevoCalibration** pVal) override {
        return this->Plain("get_Calibration", &Owner::template GetSubObject<ITevoCalibration>, pVal,
                           "get_Calibration");
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_Enabled",
            &Owner::template AttributePut<AttributeId::kTevoServiceEnabled, VARIANT_BOOL>, newVal);
    }
    HRESULT STDMETHODCALLTYPE put_InputCalEnabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_InputCalEnabled",
            &Owner::template AttributePut<AttributeId::kTevoServiceInputCalEnabled, VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_InputCalEnabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_InputCalEnabled",
            &Owner::template AttributeGet<AttributeId::kTevoServiceInputCalEnabled, VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_NoiseSourceEnabled(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_NoiseSourceEnabled",
            &Owner::template AttributePut<AttributeId::kTevoServiceNoiseSourceEnabled,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_NoiseSourceEnabled(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_NoiseSourceEnabled",
            &Owner::template AttributeGet<AttributeId::kTevoServiceNoiseSourceEnabled,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE ServiceFunction(BSTR ServiceFunctionName) override {
        return this->Session("ServiceFunction",
                             Owner::template Operation<&operations::ServiceFunction>,
                             ServiceFunctionName);
    }
};

template <class Owner>
class TevoCalibrationFacet : public Facet<Owner, ITevoCalibration> {
  public:
    HRESULT STDMETHODCALLTYPE GetResults(BSTR* pVal) override {
        return this->Session("GetResults",
                             Owner::template Operation<&operations::CalibrationGetResults>, pVal);
    }
    HRESULT STDMETHODCALLTYPE Initiate() override {
        return this->Session("Initiate",
                             Owner::template Operation<&operations::CalibrationInitiate>);
    }
};

template <class Owner>
class TevoSweepCouplingFacet : public Facet<Owner, ITevoSweepCoupling> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(VARIANT_BOOL ResolutionBandwidthAuto,
                                        DOUBLE ResolutionBandwidth, VARIANT_BOOL VideoBandwidthAuto,
                                        DOUBLE VideoBandwidth, VARIANT_BOOL SweepTimeAuto,
                                        DOUBLE Sweeptime) override {
        return this->Session("Configure",
                             Owner::template Operation<&operations::TevoSweepCouplingConfigure>,
                             ResolutionBandwidthAuto, ResolutionBandwidth, VideoBandwidthAuto,
                             VideoBandwidth, SweepTimeAuto, Sweeptime);
    }
    HRESULT STDMETHODCALLTYPE put_ResolutionBandwidth(DOUBLE newVal) override {
        return this->Session(
            "put_ResolutionBandwidth",
            &Owner::template AttributePut<AttributeId::kTevoSweepCouplingResolutionBandwidth,
                                          DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ResolutionBandwidth(DOUBLE* pVal) override {
        return this->Session(
            "get_ResolutionBandwidth",
            &Owner::template AttributeGet<AttributeId::kTevoSweepCouplingResolutionBandwidth,
                                          DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_ResolutionBandwidthAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_ResolutionBandwidthAuto",
            &Owner::template AttributePut<AttributeId::kTevoSweepCouplingResolutionBandwidthAuto,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_ResolutionBandwidthAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_ResolutionBandwidthAuto",
            &Owner::template AttributeGet<AttributeId::kTevoSweepCouplingResolutionBandwidthAuto,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Sweeptime(DOUBLE newVal) override {
        return this->Session(
            "put_Sweeptime",
            &Owner::template AttributePut<AttributeId::kTevoSweepCouplingSweeptime, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Sweeptime(DOUBLE* pVal) override {
        return this->Session(
            "get_Sweeptime",
            &Owner::template AttributeGet<AttributeId::kTevoSweepCouplingSweeptime, DOUBLE>, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_SweepTimeAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_SweepTimeAuto",
            &Owner::template AttributePut<AttributeId::kTevoSweepCouplingSweepTimeAuto,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_SweepTimeAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_SweepTimeAuto",
            &Owner::template AttributeGet<AttributeId::kTevoSweepCouplingSweepTimeAuto,
                                          VARIANT_BOOL>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_VideoBandwidth(DOUBLE newVal) override {
        return this->Session(
            "put_VideoBandwidth",
            &Owner::template AttributePut<AttributeId::kTevoSweepCouplingVideoBandwidth, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_VideoBandwidth(DOUBLE* pVal) override {
        return this->Session(
            "get_VideoBandwidth",
            &Owner::template AttributeGet<AttributeId::kTevoSweepCouplingVideoBandwidth, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_VideoBandwidthAuto(VARIANT_BOOL newVal) override {
        return this->Session(
            "put_VideoBandwidthAuto",
            &Owner::template AttributePut<AttributeId::kTevoSweepCouplingVideoBandwidthAuto,
                                          VARIANT_BOOL>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_VideoBandwidthAuto(VARIANT_BOOL* pVal) override {
        return this->Session(
            "get_VideoBandwidthAuto",
            &Owner::template AttributeGet<AttributeId::kTevoSweepCouplingVideoBandwidthAuto,
                                          VARIANT_BOOL>,
            pVal);
    }
};

template <class Owner>
class TevoTracesFacet : public Facet<Owner, ITevoTraces> {
  public:
    HRESULT STDMETHODCALLTYPE Abort() override {
        return this->Session("Abort", Owner::template Operation<&operations::TevoTracesAbort>);
    }
    HRESULT STDMETHODCALLTYPE AcquisitionStatus(TevoAcquisitionStatusEnum* pVal) override {
        return this->Session("AcquisitionStatus",
                             Owner::template Operation<&operations::TevoTracesAcquisitionStatus>,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override {
        return this->Session("get_Count", &Owner::TevoTracesGetCount, pVal);
    }
    HRESULT STDMETHODCALLTYPE Initiate() override {
        return this->Session("Initiate",
                             Owner::template Operation<&operations::TevoTracesInitiate>);
    }
    HRESULT STDMETHODCALLTYPE get_Item(BSTR Name, ITevoTrace** pVal) override {
        return this->Session("get_Item", &Owner::TevoTracesGetItem, Name, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Math(ITevoTracesMath** pVal) override {
        return this->Plain("get_Math", &Owner::template GetSubObject<ITevoTracesMath>, pVal,
                           "get_Math");
    }
    HRESULT STDMETHODCALLTYPE get_Name(LONG Index, BSTR* pVal) override {
        return this->Session("get_Name", &Owner::TevoTracesGetName, Index, pVal);
    }
    HRESULT STDMETHODCALLTYPE SendSoftwareTrigger() override {
        return this->Session("SendSoftwareTrigger",
                             Owner::template Operation<&operations::TevoTracesSendSoftwareTrigger>);
    }
};

template <class Owner>
class TevoTracesMathFacet : public Facet<Owner, ITevoTracesMath> {
  public:
    HRESULT STDMETHODCALLTYPE Add(BSTR DestinationTrace, BSTR Trace1, BSTR Trace2) override {
        return this->Session("Add", Owner::template Operation<&operations::TevoTracesMathAdd>,
                             DestinationTrace, Trace1, Trace2);
    }
    HRESULT STDMETHODCALLTYPE Copy(BSTR DestinationTrace, BSTR SourceTrace) override {
        return this->Session("Copy", Owner::template Operation<&operations::TevoTracesMathCopy>,
                             DestinationTrace, SourceTrace);
    }
    HRESULT STDMETHODCALLTYPE Exchange(BSTR Trace1, BSTR Trace2) override {
        return this->Session("Exchange",
                             Owner::template Operation<&operations::TevoTracesMathExchange>, Trace1,
                             Trace2);
    }
    HRESULT STDMETHODCALLTYPE Subtract(BSTR DestinationTrace, BSTR Trace1, BSTR Trace2) override {
        return this->Session("Subtract",
                             Owner::template Operation<&operations::TevoTracesMathSubtract>,
                             DestinationTrace, Trace1, Trace2);
    }
};

template <class Owner>
class TevoTriggerFacet : public Facet<Owner, ITevoTrigger> {
  public:
    HRESULT STDMETHODCALLTYPE get_External(ITevoTriggerExternal** pVal) override {
        return this->Plain("get_External", &Owner::template GetSubObject<ITevoTriggerExternal>,
                           pVal, "get_External");
    }
    HRESULT STDMETHODCALLTYPE put_Source(TevoTriggerSourceEnum newVal) override {
        return this->Session(
            "put_Source",
            &Owner::template AttributePut<AttributeId::kTevoTriggerSource, TevoTriggerSourceEnum>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Source(TevoTriggerSourceEnum* pVal) override {
        return this->Session(
            "get_Source",
            &Owner::template AttributeGet<AttributeId::kTevoTriggerSource, TevoTriggerSourceEnum>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE get_TriggerIFPower(ITevoTriggerIFPower** pVal) override {
        return this->Plain("get_TriggerIFPower", &Owner::template GetSubObject<ITevoTriggerIFPower>,
                           pVal, "get_TriggerIFPower");
    }
    HRESULT STDMETHODCALLTYPE get_TriggerRFPower(ITevoTriggerRFPower** pVal) override {
        return this->Plain("get_TriggerRFPower", &Owner::template GetSubObject<ITevoTriggerRFPower>,
                           pVal, "get_TriggerRFPower");
    }
    HRESULT STDMETHODCALLTYPE get_Video(ITevoTriggerVideo** pVal) override {
        return this->Plain("get_Video", &Owner::template GetSubObject<ITevoTriggerVideo>, pVal,
                           "get_Video");
    }
};

template <class Owner>
class TevoTriggerExternalFacet : public Facet<Owner, ITevoTriggerExternal> {
  public:
    HRESULT STDMETHODCALLTYPE put_Slope(TevoExternalTriggerSlopeEnum newVal) override {
        return this->Session("put_Slope",
                             &Owner::template AttributePut<AttributeId::kTevoTriggerExternalSlope,
                                                           TevoExternalTriggerSlopeEnum>,
                             newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Slope(TevoExternalTriggerSlopeEnum* pVal) override {
        return this->Session("get_Slope",
                             &Owner::template AttributeGet<AttributeId::kTevoTriggerExternalSlope,
                                                           TevoExternalTriggerSlopeEnum>,
                             pVal);
    }
};

template <class Owner>
class TevoTriggerIFPowerFacet : public Facet<Owner, ITevoTriggerIFPower> {
  public:
    HRESULT STDMETHODCALLTYPE put_Level(DOUBLE newVal) override {
        return this->Session(
            "put_Level",
            &Owner::template AttributePut<AttributeId::kTevoTriggerIFPowerLevel, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Level(DOUBLE* pVal) override {
        return this->Session(
            "get_Level",
            &Owner::template AttributeGet<AttributeId::kTevoTriggerIFPowerLevel, DOUBLE>, pVal);
    }
};

template <class Owner>
class TevoTriggerRFPowerFacet : public Facet<Owner, ITevoTriggerRFPower> {
  public:
    HRESULT STDMETHODCALLTYPE put_Level(DOUBLE newVal) override {
        return this->Session(
            "put_Level",
            &Owner::template AttributePut<AttributeId::kTevoTriggerRFPowerLevel, DOUBLE>, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Level(DOUBLE* pVal) override {
        return this->Session(
            "get_Level",
            &Owner::template AttributeGet<AttributeId::kTevoTriggerRFPowerLevel, DOUBLE>, pVal);
    }
};

template <class Owner>
class TevoTriggerVideoFacet : public Facet<Owner, ITevoTriggerVideo> {
  public:
    HRESULT STDMETHODCALLTYPE Configure(DOUBLE VideoTriggerLevel,
                                        TevoVideoTriggerSlopeEnum VideoTriggerSlope) override {
        return this->Session("Configure",
                             Owner::template Operation<&operations::TevoTriggerVideoConfigure>,
                             VideoTriggerLevel, VideoTriggerSlope);
    }
    HRESULT STDMETHODCALLTYPE put_Level(DOUBLE newVal) override {
        return this->Session(
            "put_Level", &Owner::template AttributePut<AttributeId::kTevoTriggerVideoLevel, DOUBLE>,
            newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Level(DOUBLE* pVal) override {
        return this->Session(
            "get_Level", &Owner::template AttributeGet<AttributeId::kTevoTriggerVideoLevel, DOUBLE>,
            pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Slope(TevoVideoTriggerSlopeEnum newVal) override {
        return this->Session("put_Slope",
                             &Owner::template AttributePut<AttributeId::kTevoTriggerVideoSlope,
                                                           TevoVideoTriggerSlopeEnum>,
                             newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Slope(TevoVideoTriggerSlopeEnum* pVal) override {
        return this->Session("get_Slope",
                             &Owner::template AttributeGet<AttributeId::kTevoTriggerVideoSlope,
                                                           TevoVideoTriggerSlopeEnum>,
                             pVal);
    }
};

}  // namespace tevo::driver
