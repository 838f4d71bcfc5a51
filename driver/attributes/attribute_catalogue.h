// The attribute catalogue: one declarative row per attribute property of the driver's
// interfaces, in table order (the instrument-specific view, then the class-compliant
// view), and the rows of the two per-trace attributes. A row says what the property is
// (interface, property, COM type), how the engine exchanges it (kind, query and command
// templates with their arguments, token maps), what it answers in simulation, and, for a
// class-compliant property with an instrument-specific twin, that it answers through the
// twin's row. The few rows that need code name it in their RowCode.
//
// Templates are printf-style wide strings: "%s" after a subsystem keyword is the window
// suffix, "%d" after MARK the active marker number and after TRAC the trace number; the
// value follows ("%f", "%d", or "%s" for a token or a text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "translate/translate_maps.h"

namespace tevo::driver {

enum class AttributeId : std::uint16_t {
    // ---- ITevo... (instrument-specific view)
    kTevoAcquisitionDetectorType,
    kTevoAcquisitionDetectorTypeAuto,
    kTevoAcquisitionNumberOfSweeps,
    kTevoAcquisitionSweepModeContinuous,
    kTevoAcquisitionVerticalScale,
    kTevoDisplayActiveScreen,
    kTevoDisplayFormat,
    kTevoDisplayNumberOfDivisions,
    kTevoDisplayUnitsPerDivision,
    kTevoDisplayUpdate,
    kTevoFrequencyOffset,
    kTevoFrequencyStart,
    kTevoFrequencyStop,
    kTevoLevelAmplitudeUnits,
    kTevoLevelAttenuation,
    kTevoLevelAttenuationAuto,
    kTevoLevelElectronicAttenuation,
    kTevoLevelElectronicAttenuationAuto,
    kTevoLevelElectronicAttenuationEnabled,
    kTevoLevelInputImpedance,
    kTevoLevelReference,
    kTevoLevelReferenceOffset,
    kTevoLevelRFPreamplifierEnabled,
    kTevoMarkerActiveMarker,
    kTevoMarkerAmplitude,
    kTevoMarkerCount,
    kTevoMarkerEnabled,
    kTevoMarkerPeakExcursion,
    kTevoMarkerPosition,
    kTevoMarkerReferenceAmplitude,
    kTevoMarkerReferencePosition,
    kTevoMarkerSignalTrackEnabled,
    kTevoMarkerThreshold,
    kTevoMarkerTrace,
    kTevoMarkerType,
    kTevoMarkerFrequencyCounterEnabled,
    kTevoMarkerFrequencyCounterResolution,
    kTevoServiceEnabled,
    kTevoServiceInputCalEnabled,
    kTevoServiceNoiseSourceEnabled,
    kTevoSweepCouplingResolutionBandwidth,
    kTevoSweepCouplingResolutionBandwidthAuto,
    kTevoSweepCouplingSweeptime,
    kTevoSweepCouplingSweepTimeAuto,
    kTevoSweepCouplingVideoBandwidth,
    kTevoSweepCouplingVideoBandwidthAuto,
    kTevoTriggerSource,
    kTevoTriggerExternalSlope,
    kTevoTriggerIFPowerLevel,
    kTevoTriggerRFPowerLevel,
    kTevoTriggerVideoLevel,
    kTevoTriggerVideoSlope,
    // ---- IIviSpecAn... (class-compliant view)
    kSpecAnAcquisitionDetectorType,
    kSpecAnAcquisitionDetectorTypeAuto,
    kSpecAnAcquisitionNumberOfSweeps,
    kSpecAnAcquisitionSweepModeContinuous,
    kSpecAnAcquisitionVerticalScale,
    kSpecAnDisplayNumberOfDivisions,
    kSpecAnDisplayUnitsPerDivision,
    kSpecAnExternalMixerAverageConversionLoss,
    kSpecAnExternalMixerEnabled,
    kSpecAnExternalMixerHarmonic,
    kSpecAnExternalMixerNumberOfPorts,
    kSpecAnExternalMixerBiasEnabled,
    kSpecAnExternalMixerBiasLevel,
    kSpecAnExternalMixerBiasLimit,
    kSpecAnExternalMixerConversionLossTableEnabled,
    kSpecAnFrequencyOffset,
    kSpecAnFrequencyStart,
    kSpecAnFrequencyStop,
    kSpecAnLevelAmplitudeUnits,
    kSpecAnLevelAttenuation,
    kSpecAnLevelAttenuationAuto,
    kSpecAnLevelInputImpedance,
    kSpecAnLevelReference,
    kSpecAnLevelReferenceOffset,
    kSpecAnMarkerActiveMarker,
    kSpecAnMarkerAmplitude,
    kSpecAnMarkerCount,
    kSpecAnMarkerEnabled,
    kSpecAnMarkerPeakExcursion,
    kSpecAnMarkerPosition,
    kSpecAnMarkerReferenceAmplitude,
    kSpecAnMarkerReferencePosition,
    kSpecAnMarkerSignalTrackEnabled,
    kSpecAnMarkerThreshold,
    kSpecAnMarkerTrace,
    kSpecAnMarkerType,
    kSpecAnMarkerFrequencyCounterEnabled,
    kSpecAnMarkerFrequencyCounterResolution,
    kSpecAnSweepCouplingResolutionBandwidth,
    kSpecAnSweepCouplingResolutionBandwidthAuto,
    kSpecAnSweepCouplingSweepTime,
    kSpecAnSweepCouplingSweepTimeAuto,
    kSpecAnSweepCouplingVideoBandwidth,
    kSpecAnSweepCouplingVideoBandwidthAuto,
    kSpecAnTriggerSource,
    kSpecAnTriggerExternalLevel,
    kSpecAnTriggerExternalSlope,
    kSpecAnTriggerVideoLevel,
    kSpecAnTriggerVideoSlope,
    kGeneralCount,  // the number of general attributes; also "no twin"
};

inline constexpr size_t kGeneralAttributeCount = static_cast<size_t>(AttributeId::kGeneralCount);
inline constexpr AttributeId kNoTwin = AttributeId::kGeneralCount;

// The two repeated capabilities; each trace has a Size and a Type attribute.
enum class TraceList : std::uint8_t { kSpecAn, kTevo };
enum class TraceAttribute : std::uint8_t { kSize, kType };

// The type of the value at the interface.
enum class ComType : std::uint8_t { kDouble, kLong, kBoolean, kEnumeration, kText };

// How the engine implements the attribute.
enum class AttributeKind : std::uint8_t {
    kReal,            // R: real query and command
    kInteger,         // I: integer query and command
    kBooleanNumeric,  // BN: reply 0 or 1; command ending in " O%s"
    kBooleanText,     // BT: reply token through a reverse map
    kEnumeration,     // E: reply token through a reverse map, value token through a forward map
    kStored,          // S: a value the driver keeps (active screen, active marker)
    kConstant,        // C: a fixed value; only that value is accepted
    kNotSupported,    // N: property-not-supported outside simulation
    kFixed,           // F: a fixed value without I/O; puts have no effect
    kText,            // text query and command
    kUnassigned,      // U: commands chosen by the driver; exchanged as its COM type says
    kCommandOnly,     // a put-only command with a token
};

// The arguments a template takes before the value.
enum class TemplateArguments : std::uint8_t {
    kNone,          // no suffix: plain Query... routines for gets
    kWindow,        // window suffix
    kWindowMarker,  // window suffix, active marker number
    kWindowTrace,   // window suffix, trace number
};

enum class Views : std::uint8_t { kInstrumentSpecific, kClassCompliant, kBoth };

// Rows whose behaviour is partly code.
enum class RowCode : std::uint8_t {
    kNone,
    kActiveScreen,  // put: the ScreenSelect token replaces the suffix, then the screen is stored
    kActiveMarker,  // get: the stored number as text; put: its first decimal digit is stored
    kUnitsPerDivision,  // put: 10.0 accepted, anything else value-not-supported
    kCommandFromQuery,  // the command is the query's header followed by " O%s"
    kQueryFromCommand,  // the query is the command's header followed by "?"
    kPutNotSupported,   // get fixed; put property-not-supported outside simulation
};

struct AttributeRow {
    AttributeId id;
    const char* interface_name;
    const char* property;
    ComType type;
    AttributeKind kind;
    const wchar_t* query;  // nullptr: no query (or formed by code)
    TemplateArguments query_arguments;
    const wchar_t* command;  // nullptr: read-only (or formed by code)
    TemplateArguments command_arguments;
    TranslateMap forward;  // the token of a put
    TranslateMap reverse;  // the value of a reply
    double value;          // kinds C and F: the fixed answer
    double simulated;      // the simulated get (Booleans: -1 true, 0 false)
    Views views;
    AttributeId twin;  // kNoTwin, or the row through which this property answers
    RowCode code;
};

// The general rows, indexed by AttributeId, in table order.
std::span<const AttributeRow> GeneralCatalogue();
const AttributeRow& CatalogueRow(AttributeId id);
// The row whose implementation answers for the attribute: its twin's, or its own.
const AttributeRow& ImplementationRow(AttributeId id);
const AttributeRow& TraceCatalogueRow(TraceList list, TraceAttribute attribute);

inline constexpr const wchar_t* kSimulatedText = L"Simulated string";

}  // namespace tevo::driver
