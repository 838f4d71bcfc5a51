#include "attributes/attribute_catalogue.h"

#include <array>

namespace tevo::driver {

namespace {

using A = TemplateArguments;
using Id = AttributeId;
using K = AttributeKind;
using M = TranslateMap;
using T = ComType;
using V = Views;

constexpr double kTrue = -1.0;  // VARIANT_BOOL true as a simulated value

// ---- Row shapes. Each gives the kind's defaults (window suffix on both templates, the
// kind's simulated value); the With... helpers change one column.

constexpr AttributeRow Shape(Id id, const char* interface_name, const char* property, T type,
                             K kind, const wchar_t* query, const wchar_t* command, V views) {
    return AttributeRow{id,         interface_name, property,   type,          kind,     query,
                        A::kWindow, command,        A::kWindow, M::kNone,      M::kNone, 0.0,
                        0.0,        views,          kNoTwin,    RowCode::kNone};
}

constexpr AttributeRow Real(Id id, const char* i, const char* p, const wchar_t* query,
                            const wchar_t* command, V views) {
    return Shape(id, i, p, T::kDouble, K::kReal, query, command, views);
}

constexpr AttributeRow Integer(Id id, const char* i, const char* p, const wchar_t* query,
                               const wchar_t* command, V views) {
    return Shape(id, i, p, T::kLong, K::kInteger, query, command, views);
}

constexpr AttributeRow BooleanNumeric(Id id, const char* i, const char* p, const wchar_t* query,
                                      const wchar_t* command, V views) {
    AttributeRow row = Shape(id, i, p, T::kBoolean, K::kBooleanNumeric, query, command, views);
    row.forward = M::kOnOffForward;
    row.simulated = kTrue;
    return row;
}

constexpr AttributeRow BooleanText(Id id, const char* i, const char* p, const wchar_t* query,
                                   const wchar_t* command, M forward, M reverse, V views) {
    AttributeRow row = Shape(id, i, p, T::kBoolean, K::kBooleanText, query, command, views);
    row.forward = forward;
    row.reverse = reverse;
    row.simulated = kTrue;
    return row;
}

constexpr AttributeRow Enumeration(Id id, const char* i, const char* p, const wchar_t* query,
                                   const wchar_t* command, M forward, M reverse, V views) {
    AttributeRow row = Shape(id, i, p, T::kEnumeration, K::kEnumeration, query, command, views);
    row.forward = forward;
    row.reverse = reverse;
    row.simulated = 1.0;
    return row;
}

constexpr AttributeRow Constant(Id id, const char* i, const char* p, T type, double value,
                                V views) {
    AttributeRow row = Shape(id, i, p, type, K::kConstant, nullptr, nullptr, views);
    row.value = value;
    return row;  // simulated 0
}

// Class-compliant: a fixed answer without I/O (Booleans: false, and true in simulation).
constexpr AttributeRow Fixed(Id id, const char* i, const char* p, T type, double value) {
    AttributeRow row = Shape(id, i, p, type, K::kFixed, nullptr, nullptr, V::kClassCompliant);
    row.value = value;
    row.simulated = type == T::kBoolean ? kTrue : value;
    return row;
}

// Class-compliant: property not supported outside simulation (Booleans: true in simulation).
constexpr AttributeRow NotSupported(Id id, const char* i, const char* p, T type) {
    AttributeRow row =
        Shape(id, i, p, type, K::kNotSupported, nullptr, nullptr, V::kClassCompliant);
    row.simulated = type == T::kBoolean ? kTrue : 0.0;
    return row;
}

constexpr AttributeRow WithQueryArguments(AttributeRow row, A arguments) {
    row.query_arguments = arguments;
    return row;
}
constexpr AttributeRow WithCommandArguments(AttributeRow row, A arguments) {
    row.command_arguments = arguments;
    return row;
}
constexpr AttributeRow WithArguments(const AttributeRow& row, A arguments) {
    return WithCommandArguments(WithQueryArguments(row, arguments), arguments);
}
constexpr AttributeRow WithKind(AttributeRow row, K kind) {
    row.kind = kind;
    return row;
}
constexpr AttributeRow WithSimulated(AttributeRow row, double simulated) {
    row.simulated = simulated;
    return row;
}
constexpr AttributeRow WithCode(AttributeRow row, RowCode code) {
    row.code = code;
    return row;
}

constexpr const char* kAcquisition = "ITevoAcquisition";
constexpr const char* kDisplay = "ITevoDisplay";
constexpr const char* kFrequency = "ITevoFrequency";
constexpr const char* kLevel = "ITevoLevel";
constexpr const char* kMarker = "ITevoMarker";
constexpr const char* kCounter = "ITevoMarkerFrequencyCounter";
constexpr const char* kService = "ITevoService";
constexpr const char* kSweepCoupling = "ITevoSweepCoupling";

// clang-format off
constexpr std::array kInstrumentSpecificRows = {
    Enumeration(Id::kTevoAcquisitionDetectorType, kAcquisition, "DetectorType", L"SENS%s:DET?", L"SENS%s:DET %s", M::kDetectorForward, M::kDetectorReverse, V::kBoth),
    BooleanNumeric(Id::kTevoAcquisitionDetectorTypeAuto, kAcquisition, "DetectorTypeAuto", L"SENS%s:DET:AUTO?", L"SENS%s:DET:AUTO O%s", V::kBoth),
    Integer(Id::kTevoAcquisitionNumberOfSweeps, kAcquisition, "NumberOfSweeps", L"SENS%s:SWE:COUN?", L"SENS%s:SWE:COUN %d", V::kBoth),
    BooleanNumeric(Id::kTevoAcquisitionSweepModeContinuous, kAcquisition, "SweepModeContinuous", L"INIT%s:CONT?", L"INIT%s:CONT O%s", V::kBoth),
    Enumeration(Id::kTevoAcquisitionVerticalScale, kAcquisition, "VerticalScale", L"DISP:WIND%s:TRAC:Y:SPAC?", L"DISP:WIND%s:TRAC:Y:SPAC L%s", M::kVerticalScaleForward, M::kVerticalScaleReverse, V::kBoth),
    // The ScreenSelect token takes the place of the suffix in "DISP:WIND%s".
    WithSimulated(WithKind(WithCode(WithCommandArguments(Enumeration(Id::kTevoDisplayActiveScreen, kDisplay, "ActiveScreen", nullptr, L"DISP:WIND%s", M::kScreenSelectForward, M::kNone, V::kInstrumentSpecific), A::kNone), RowCode::kActiveScreen), K::kStored), 0.0),
    WithSimulated(WithArguments(Enumeration(Id::kTevoDisplayFormat, kDisplay, "Format", L"DISP:FORM?", L"DISP:FORM S%s", M::kDisplayFormatForward, M::kDisplayFormatReverse, V::kInstrumentSpecific), A::kNone), 0.0),
    Constant(Id::kTevoDisplayNumberOfDivisions, kDisplay, "NumberOfDivisions", T::kLong, 10, V::kBoth),
    WithCode(Constant(Id::kTevoDisplayUnitsPerDivision, kDisplay, "UnitsPerDivision", T::kDouble, 10.0, V::kInstrumentSpecific), RowCode::kUnitsPerDivision),
    WithArguments(BooleanNumeric(Id::kTevoDisplayUpdate, kDisplay, "Update", L":SYST:DISP:UPD?", L":SYST:DISP:UPD O%s", V::kInstrumentSpecific), A::kNone),
    Real(Id::kTevoFrequencyOffset, kFrequency, "Offset", L"SENS%s:FREQ:OFFS?", L"SENS%s:FREQ:OFFS %f", V::kBoth),
    Real(Id::kTevoFrequencyStart, kFrequency, "Start", L"SENS%s:FREQ:STAR?", L"SENS%s:FREQ:STAR %f", V::kBoth),
    Real(Id::kTevoFrequencyStop, kFrequency, "Stop", L"SENS%s:FREQ:STOP?", L"SENS%s:FREQ:STOP %f", V::kBoth),
    Enumeration(Id::kTevoLevelAmplitudeUnits, kLevel, "AmplitudeUnits", L"UNIT%s:POW?", L"UNIT%s:POW %s", M::kAmplitudeUnitsForward, M::kAmplitudeUnitsReverse, V::kBoth),
    Real(Id::kTevoLevelAttenuation, kLevel, "Attenuation", L"INP%s:ATT?", L"INP%s:ATT %f", V::kBoth),
    BooleanNumeric(Id::kTevoLevelAttenuationAuto, kLevel, "AttenuationAuto", L"INP%s:ATT:AUTO?", L"INP%s:ATT:AUTO O%s", V::kBoth),
    Real(Id::kTevoLevelElectronicAttenuation, kLevel, "ElectronicAttenuation", L"INP%s:EATT?", L"INP%s:EATT %f", V::kInstrumentSpecific),
    BooleanText(Id::kTevoLevelElectronicAttenuationAuto, kLevel, "ElectronicAttenuationAuto", L"INP%s:EATT:AUTO?", L"INP%s:EATT:AUTO O%s", M::kOnOffForward, M::kOnOffTextReverse, V::kInstrumentSpecific),
    // The command is the state command of the same attenuator: the query's header, " O%s".
    WithCode(BooleanText(Id::kTevoLevelElectronicAttenuationEnabled, kLevel, "ElectronicAttenuationEnabled", L"INP%s:EATT:STAT?", nullptr, M::kOnOffForward, M::kOnOffTextReverse, V::kInstrumentSpecific), RowCode::kCommandFromQuery),
    Real(Id::kTevoLevelInputImpedance, kLevel, "InputImpedance", L"INP%s:IMP?", L"INP%s:IMP %f", V::kBoth),
    Real(Id::kTevoLevelReference, kLevel, "Reference", L"DISP:WIND%s:TRAC:Y:RLEV?", L"DISP:WIND%s:TRAC:Y:RLEV %f", V::kBoth),
    Real(Id::kTevoLevelReferenceOffset, kLevel, "ReferenceOffset", L"DISP:WIND%s:TRAC:Y:RLEV:OFFS?", L"DISP:WIND%s:TRAC:Y:RLEV:OFFS %f", V::kBoth),
    BooleanText(Id::kTevoLevelRFPreamplifierEnabled, kLevel, "RFPreamplifierEnabled", L"INP%s:GAIN:STAT?", L"INP%s:GAIN:STAT O%s", M::kOnOffForward, M::kOnOffTextReverse, V::kInstrumentSpecific),
    WithCode(Shape(Id::kTevoMarkerActiveMarker, kMarker, "ActiveMarker", T::kText, K::kStored, nullptr, nullptr, V::kBoth), RowCode::kActiveMarker),
    Real(Id::kTevoMarkerAmplitude, kMarker, "Amplitude", L"CALC%s:MARK:Y?", nullptr, V::kBoth),
    Constant(Id::kTevoMarkerCount, kMarker, "Count", T::kLong, 4, V::kBoth),
    WithArguments(BooleanNumeric(Id::kTevoMarkerEnabled, kMarker, "Enabled", L"CALC%s:MARK%d?", L"CALC%s:MARK%d O%s", V::kBoth), A::kWindowMarker),
    WithKind(Real(Id::kTevoMarkerPeakExcursion, kMarker, "PeakExcursion", L"CALC%s:MARK:PEXC?", L"CALC%s:MARK:PEXC %f", V::kBoth), K::kUnassigned),
    Real(Id::kTevoMarkerPosition, kMarker, "Position", L"CALC%s:MARK:X?", L"CALC%s:MARK:X %f", V::kBoth),
    WithKind(WithArguments(Real(Id::kTevoMarkerReferenceAmplitude, kMarker, "ReferenceAmplitude", L"CALC%s:DELT%d:FUNC:FIX:RPO:Y?", nullptr, V::kBoth), A::kWindowMarker), K::kUnassigned),
    WithKind(WithArguments(Real(Id::kTevoMarkerReferencePosition, kMarker, "ReferencePosition", L"CALC%s:DELT%d:FUNC:FIX:RPO:X?", nullptr, V::kBoth), A::kWindowMarker), K::kUnassigned),
    BooleanNumeric(Id::kTevoMarkerSignalTrackEnabled, kMarker, "SignalTrackEnabled", L"CALC%s:MARK:FUNC:STR?", L"CALC%s:MARK:FUNC:STR O%s", V::kBoth),
    WithKind(Real(Id::kTevoMarkerThreshold, kMarker, "Threshold", L"CALC%s:THR?", L"CALC%s:THR %f", V::kBoth), K::kUnassigned),
    WithArguments(Shape(Id::kTevoMarkerTrace, kMarker, "Trace", T::kText, K::kUnassigned, L"CALC%s:MARK%d:TRAC?", L"CALC%s:MARK%d:TRAC %s", V::kBoth), A::kWindowMarker),
    Enumeration(Id::kTevoMarkerType, kMarker, "Type", L"CALC%s:DELT?", nullptr, M::kNone, M::kMarkerTypeReverse, V::kInstrumentSpecific),
    BooleanNumeric(Id::kTevoMarkerFrequencyCounterEnabled, kCounter, "Enabled", L"CALC%s:MARK:COUN?", L"CALC%s:MARK:COUN O%s", V::kInstrumentSpecific),
    Real(Id::kTevoMarkerFrequencyCounterResolution, kCounter, "Resolution", L"CALC%s:MARK:COUN:RES?", L"CALC%s:MARK:COUN:RES %f", V::kInstrumentSpecific),
    // Put only: true sends the service password, false 0.
    WithKind(WithCommandArguments(BooleanText(Id::kTevoServiceEnabled, kService, "Enabled", nullptr, L"SYST:PASS '%s'", M::kServicePasswordForward, M::kNone, V::kInstrumentSpecific), A::kNone), K::kCommandOnly),
    BooleanText(Id::kTevoServiceInputCalEnabled, kService, "InputCalEnabled", L"DIAG%s:SERV:INP?", L"DIAG%s:SERV:INP %s", M::kInputCalForward, M::kInputCalReverse, V::kInstrumentSpecific),
    BooleanNumeric(Id::kTevoServiceNoiseSourceEnabled, kService, "NoiseSourceEnabled", L"DIAG%s:SERV:NSO?", L"DIAG%s:SERV:NSO O%s", V::kInstrumentSpecific),
    Real(Id::kTevoSweepCouplingResolutionBandwidth, kSweepCoupling, "ResolutionBandwidth", L"SENS%s:BAND?", L"SENS%s:BAND %f", V::kInstrumentSpecific),
    BooleanNumeric(Id::kTevoSweepCouplingResolutionBandwidthAuto, kSweepCoupling, "ResolutionBandwidthAuto", L"SENS%s:BAND:AUTO?", L"SENS%s:BAND:AUTO O%s", V::kInstrumentSpecific),
    Real(Id::kTevoSweepCouplingSweeptime, kSweepCoupling, "Sweeptime", L"SENS%s:SWE:TIME?", L"SENS%s:SWE:TIME %f", V::kInstrumentSpecific),
    BooleanNumeric(Id::kTevoSweepCouplingSweepTimeAuto, kSweepCoupling, "SweepTimeAuto", L"SENS%s:SWE:TIME:AUTO?", L"SENS%s:SWE:TIME:AUTO O%s", V::kInstrumentSpecific),
    Real(Id::kTevoSweepCouplingVideoBandwidth, kSweepCoupling, "VideoBandwidth", L"SENS%s:BAND:VID?", L"SENS%s:BAND:VID %f", V::kInstrumentSpecific),
    BooleanNumeric(Id::kTevoSweepCouplingVideoBandwidthAuto, kSweepCoupling, "VideoBandwidthAuto", L"SENS%s:BAND:VID:AUTO?", L"SENS%s:BAND:VID:AUTO O%s", V::kInstrumentSpecific),
    Enumeration(Id::kTevoTriggerSource, "ITevoTrigger", "Source", L"TRIG%s:SOUR?", L"TRIG%s:SOUR %s", M::kTriggerSourceForward, M::kTriggerSourceReverse, V::kInstrumentSpecific),
    // The external and the video slope are one instrument setting.
    Enumeration(Id::kTevoTriggerExternalSlope, "ITevoTriggerExternal", "Slope", L"TRIG%s:SLOP?", L"TRIG%s:SLOP %s", M::kExternalSlopeForward, M::kExternalSlopeReverse, V::kInstrumentSpecific),
    // The query is the command's header followed by "?".
    WithCode(Real(Id::kTevoTriggerIFPowerLevel, "ITevoTriggerIFPower", "Level", nullptr, L"TRIG%s:LEV:IFP %f", V::kInstrumentSpecific), RowCode::kQueryFromCommand),
    Real(Id::kTevoTriggerRFPowerLevel, "ITevoTriggerRFPower", "Level", L"TRIG%s:LEV:RFP?", L"TRIG%s:LEV:RFP %f", V::kInstrumentSpecific),
    // The query goes without a window suffix whatever the screen; the command carries it.
    WithQueryArguments(Real(Id::kTevoTriggerVideoLevel, "ITevoTriggerVideo", "Level", L"TRIG:LEV:VID?", L"TRIG%s:LEV:VID %f", V::kInstrumentSpecific), A::kNone),
    Enumeration(Id::kTevoTriggerVideoSlope, "ITevoTriggerVideo", "Slope", L"TRIG%s:SLOP?", L"TRIG%s:SLOP %s", M::kVideoSlopeForward, M::kVideoSlopeReverse, V::kInstrumentSpecific),
};
// clang-format on

constexpr size_t kInstrumentSpecificCount = kInstrumentSpecificRows.size();

// A class-compliant property that answers through its instrument-specific twin: the row
// repeats the twin's data and names the twin, whose implementation both views share. The
// enumerator values of both type libraries are equal for every such pair (the class-compliant
// trigger source has no IF/RF power enumerators and the instrument no AC line source; such
// values fail as any value outside the table does).
constexpr AttributeRow SameAs(Id id, const char* interface_name, const char* property, Id twin) {
    AttributeRow row = kInstrumentSpecificRows[static_cast<size_t>(twin)];
    row.id = id;
    row.interface_name = interface_name;
    row.property = property;
    row.views = V::kClassCompliant;
    row.twin = twin;
    return row;
}

constexpr const char* kSpecAnAcquisition = "IIviSpecAnAcquisition";
constexpr const char* kSpecAnDisplay = "IIviSpecAnDisplay";
constexpr const char* kMixer = "IIviSpecAnExternalMixer";
constexpr const char* kMixerBias = "IIviSpecAnExternalMixerBias";
constexpr const char* kSpecAnFrequency = "IIviSpecAnFrequency";
constexpr const char* kSpecAnLevel = "IIviSpecAnLevel";
constexpr const char* kSpecAnMarker = "IIviSpecAnMarker";
constexpr const char* kSpecAnSweepCoupling = "IIviSpecAnSweepCoupling";

// clang-format off
constexpr std::array kClassCompliantRows = {
    SameAs(Id::kSpecAnAcquisitionDetectorType, kSpecAnAcquisition, "DetectorType", Id::kTevoAcquisitionDetectorType),
    SameAs(Id::kSpecAnAcquisitionDetectorTypeAuto, kSpecAnAcquisition, "DetectorTypeAuto", Id::kTevoAcquisitionDetectorTypeAuto),
    SameAs(Id::kSpecAnAcquisitionNumberOfSweeps, kSpecAnAcquisition, "NumberOfSweeps", Id::kTevoAcquisitionNumberOfSweeps),
    SameAs(Id::kSpecAnAcquisitionSweepModeContinuous, kSpecAnAcquisition, "SweepModeContinuous", Id::kTevoAcquisitionSweepModeContinuous),
    SameAs(Id::kSpecAnAcquisitionVerticalScale, kSpecAnAcquisition, "VerticalScale", Id::kTevoAcquisitionVerticalScale),
    SameAs(Id::kSpecAnDisplayNumberOfDivisions, kSpecAnDisplay, "NumberOfDivisions", Id::kTevoDisplayNumberOfDivisions),
    // The class-compliant view answers 0.0 and refuses every put as not supported.
    WithCode(Fixed(Id::kSpecAnDisplayUnitsPerDivision, kSpecAnDisplay, "UnitsPerDivision", T::kDouble, 0.0), RowCode::kPutNotSupported),
    NotSupported(Id::kSpecAnExternalMixerAverageConversionLoss, kMixer, "AverageConversionLoss", T::kDouble),
    NotSupported(Id::kSpecAnExternalMixerEnabled, kMixer, "Enabled", T::kBoolean),
    NotSupported(Id::kSpecAnExternalMixerHarmonic, kMixer, "Harmonic", T::kLong),
    NotSupported(Id::kSpecAnExternalMixerNumberOfPorts, kMixer, "NumberOfPorts", T::kLong),
    NotSupported(Id::kSpecAnExternalMixerBiasEnabled, kMixerBias, "Enabled", T::kBoolean),
    NotSupported(Id::kSpecAnExternalMixerBiasLevel, kMixerBias, "Level", T::kDouble),
    NotSupported(Id::kSpecAnExternalMixerBiasLimit, kMixerBias, "Limit", T::kDouble),
    NotSupported(Id::kSpecAnExternalMixerConversionLossTableEnabled, "IIviSpecAnExternalMixerConversionLossTable", "Enabled", T::kBoolean),
    SameAs(Id::kSpecAnFrequencyOffset, kSpecAnFrequency, "Offset", Id::kTevoFrequencyOffset),
    SameAs(Id::kSpecAnFrequencyStart, kSpecAnFrequency, "Start", Id::kTevoFrequencyStart),
    SameAs(Id::kSpecAnFrequencyStop, kSpecAnFrequency, "Stop", Id::kTevoFrequencyStop),
    SameAs(Id::kSpecAnLevelAmplitudeUnits, kSpecAnLevel, "AmplitudeUnits", Id::kTevoLevelAmplitudeUnits),
    SameAs(Id::kSpecAnLevelAttenuation, kSpecAnLevel, "Attenuation", Id::kTevoLevelAttenuation),
    SameAs(Id::kSpecAnLevelAttenuationAuto, kSpecAnLevel, "AttenuationAuto", Id::kTevoLevelAttenuationAuto),
    SameAs(Id::kSpecAnLevelInputImpedance, kSpecAnLevel, "InputImpedance", Id::kTevoLevelInputImpedance),
    SameAs(Id::kSpecAnLevelReference, kSpecAnLevel, "Reference", Id::kTevoLevelReference),
    SameAs(Id::kSpecAnLevelReferenceOffset, kSpecAnLevel, "ReferenceOffset", Id::kTevoLevelReferenceOffset),
    SameAs(Id::kSpecAnMarkerActiveMarker, kSpecAnMarker, "ActiveMarker", Id::kTevoMarkerActiveMarker),
    SameAs(Id::kSpecAnMarkerAmplitude, kSpecAnMarker, "Amplitude", Id::kTevoMarkerAmplitude),
    SameAs(Id::kSpecAnMarkerCount, kSpecAnMarker, "Count", Id::kTevoMarkerCount),
    SameAs(Id::kSpecAnMarkerEnabled, kSpecAnMarker, "Enabled", Id::kTevoMarkerEnabled),
    SameAs(Id::kSpecAnMarkerPeakExcursion, kSpecAnMarker, "PeakExcursion", Id::kTevoMarkerPeakExcursion),
    SameAs(Id::kSpecAnMarkerPosition, kSpecAnMarker, "Position", Id::kTevoMarkerPosition),
    SameAs(Id::kSpecAnMarkerReferenceAmplitude, kSpecAnMarker, "ReferenceAmplitude", Id::kTevoMarkerReferenceAmplitude),
    SameAs(Id::kSpecAnMarkerReferencePosition, kSpecAnMarker, "ReferencePosition", Id::kTevoMarkerReferencePosition),
    SameAs(Id::kSpecAnMarkerSignalTrackEnabled, kSpecAnMarker, "SignalTrackEnabled", Id::kTevoMarkerSignalTrackEnabled),
    SameAs(Id::kSpecAnMarkerThreshold, kSpecAnMarker, "Threshold", Id::kTevoMarkerThreshold),
    SameAs(Id::kSpecAnMarkerTrace, kSpecAnMarker, "Trace", Id::kTevoMarkerTrace),
    SameAs(Id::kSpecAnMarkerType, kSpecAnMarker, "Type", Id::kTevoMarkerType),
    SameAs(Id::kSpecAnMarkerFrequencyCounterEnabled, "IIviSpecAnMarkerFrequencyCounter", "Enabled", Id::kTevoMarkerFrequencyCounterEnabled),
    SameAs(Id::kSpecAnMarkerFrequencyCounterResolution, "IIviSpecAnMarkerFrequencyCounter", "Resolution", Id::kTevoMarkerFrequencyCounterResolution),
    SameAs(Id::kSpecAnSweepCouplingResolutionBandwidth, kSpecAnSweepCoupling, "ResolutionBandwidth", Id::kTevoSweepCouplingResolutionBandwidth),
    SameAs(Id::kSpecAnSweepCouplingResolutionBandwidthAuto, kSpecAnSweepCoupling, "ResolutionBandwidthAuto", Id::kTevoSweepCouplingResolutionBandwidthAuto),
    SameAs(Id::kSpecAnSweepCouplingSweepTime, kSpecAnSweepCoupling, "SweepTime", Id::kTevoSweepCouplingSweeptime),
    SameAs(Id::kSpecAnSweepCouplingSweepTimeAuto, kSpecAnSweepCoupling, "SweepTimeAuto", Id::kTevoSweepCouplingSweepTimeAuto),
    SameAs(Id::kSpecAnSweepCouplingVideoBandwidth, kSpecAnSweepCoupling, "VideoBandwidth", Id::kTevoSweepCouplingVideoBandwidth),
    SameAs(Id::kSpecAnSweepCouplingVideoBandwidthAuto, kSpecAnSweepCoupling, "VideoBandwidthAuto", Id::kTevoSweepCouplingVideoBandwidthAuto),
    SameAs(Id::kSpecAnTriggerSource, "IIviSpecAnTrigger", "Source", Id::kTevoTriggerSource),
    // The analyzer has no external trigger level.
    Fixed(Id::kSpecAnTriggerExternalLevel, "IIviSpecAnTriggerExternal", "Level", T::kDouble, 0.0),
    SameAs(Id::kSpecAnTriggerExternalSlope, "IIviSpecAnTriggerExternal", "Slope", Id::kTevoTriggerExternalSlope),
    SameAs(Id::kSpecAnTriggerVideoLevel, "IIviSpecAnTriggerVideo", "Level", Id::kTevoTriggerVideoLevel),
    SameAs(Id::kSpecAnTriggerVideoSlope, "IIviSpecAnTriggerVideo", "Slope", Id::kTevoTriggerVideoSlope),
};

// The per-trace attributes. The point count is the same for every trace and screen; the
// trace mode is addressed by window suffix and trace number. Both views share them.
constexpr std::array kTevoTraceRows = {
    WithQueryArguments(Integer(Id::kGeneralCount, "ITevoTrace", "Size", L"SENS:SWE:POIN?", nullptr, V::kBoth), A::kNone),
    WithKind(WithArguments(Enumeration(Id::kGeneralCount, "ITevoTrace", "Type", L"DISP:WIND%s:TRAC%d:MODE?", L"DISP:WIND%s:TRAC%d:MODE %s", M::kTraceTypeForward, M::kTraceTypeReverse, V::kBoth), A::kWindowTrace), K::kUnassigned),
};
// clang-format on

constexpr AttributeRow AsSpecAnTraceRow(AttributeRow row, const char* property) {
    row.interface_name = "IIviSpecAnTrace";
    row.property = property;
    row.views = V::kClassCompliant;
    return row;
}

constexpr std::array kSpecAnTraceRows = {AsSpecAnTraceRow(kTevoTraceRows[0], "Size"),
                                         AsSpecAnTraceRow(kTevoTraceRows[1], "Type")};

constexpr std::array<AttributeRow, kGeneralAttributeCount> JoinCatalogue() {
    std::array<AttributeRow, kGeneralAttributeCount> rows{};
    size_t next = 0;
    for (const AttributeRow& row : kInstrumentSpecificRows) {
        rows[next++] = row;
    }
    for (const AttributeRow& row : kClassCompliantRows) {
        rows[next++] = row;
    }
    return rows;
}

static_assert(kInstrumentSpecificCount + kClassCompliantRows.size() == kGeneralAttributeCount,
              "one row per general attribute");

constexpr std::array<AttributeRow, kGeneralAttributeCount> kCatalogue = JoinCatalogue();

constexpr bool RowsFollowTheirIds() {
    for (size_t index = 0; index < kCatalogue.size(); ++index) {
        if (static_cast<size_t>(kCatalogue[index].id) != index) {
            return false;
        }
    }
    return true;
}
static_assert(RowsFollowTheirIds(), "catalogue rows are in AttributeId order");

}  // namespace

std::span<const AttributeRow> GeneralCatalogue() {
    return kCatalogue;
}

const AttributeRow& CatalogueRow(AttributeId id) {
    return kCatalogue[static_cast<size_t>(id)];
}

const AttributeRow& ImplementationRow(AttributeId id) {
    const AttributeRow& row = CatalogueRow(id);
    return row.twin == kNoTwin ? row : CatalogueRow(row.twin);
}

const AttributeRow& TraceCatalogueRow(TraceList list, TraceAttribute attribute) {
    const auto& rows = list == TraceList::kTevo ? kTevoTraceRows : kSpecAnTraceRows;
    return rows[static_cast<size_t>(attribute)];
}

}  // namespace tevo::driver
