#include "instrument/command_table.h"

#include <array>

#include "instrument/command_actions.h"
#include "instrument/couplings.h"
#include "scpi/error_codes.h"

namespace tevo::emulator {
namespace {

using scpi::UnitClass;
namespace a = actions;

// ---- Enumerations as the analyzer names them. The first item of a value gives the reply.

constexpr std::array<EnumItem, 8> kDetectorItems = {{
    {"APEak", kDetectorAutoPeak},
    {"AVERage", kDetectorAverage},
    {"MAXimum", kDetectorMaxPeak},
    {"MINimum", kDetectorMinPeak},
    {"SAMPle", kDetectorSample},
    {"RMS", kDetectorRms},
    {"POSitive", kDetectorMaxPeak},
    {"NEGative", kDetectorMinPeak},
}};
constexpr std::array<EnumItem, 7> kUnitItems = {{
    {"DBM", kUnitDbm},
    {"DBMV", kUnitDbmv},
    {"DBUV", kUnitDbuv},
    {"V", kUnitVolt},
    {"W", kUnitWatt},
    {"VOLT", kUnitVolt},
    {"WATT", kUnitWatt},
}};
constexpr std::array<EnumItem, 2> kScaleItems = {{
    {"LINear", kScaleLinear},
    {"LOGarithmic", kScaleLogarithmic},
}};
constexpr std::array<EnumItem, 2> kDisplayFormatItems = {{
    {"SINGle", kDisplaySingle},
    {"SPLit", kDisplaySplit},
}};
constexpr std::array<EnumItem, 6> kTriggerSourceItems = {{
    {"EXTernal", kTriggerExternal},
    {"IMMediate", kTriggerImmediate},
    {"VIDeo", kTriggerVideo},
    {"TV", kTriggerTv},
    {"IFPower", kTriggerIfPower},
    {"RFPower", kTriggerRfPower},
}};
constexpr std::array<EnumItem, 2> kSlopeItems = {{
    {"POSitive", kSlopePositive},
    {"NEGative", kSlopeNegative},
}};
constexpr std::array<EnumItem, 2> kServiceInputItems = {{
    {"RF", kInputRf},
    {"CALibration", kInputCalibration},
}};
constexpr std::array<EnumItem, 2> kByteOrderItems = {{
    {"NORMal", kByteOrderNormal},
    {"SWAPped", kByteOrderSwapped},
}};

// ---- Limits and steps.

Limits StartLimits(const CommandContext& c) {
    const FrequencyLimits r = DisplayedFrequencyRange(c.screen, c.model);
    return {r.min, r.max, r.min};
}
Limits StopLimits(const CommandContext& c) {
    const FrequencyLimits r = DisplayedFrequencyRange(c.screen, c.model);
    return {r.min, r.max, r.max};
}
Limits CenterLimits(const CommandContext& c) {
    const FrequencyLimits r = DisplayedFrequencyRange(c.screen, c.model);
    return {r.min, r.max, (r.min + r.max) / 2};
}
Limits SpanLimits(const CommandContext& c) {
    return {0, c.model.max_frequency, c.model.max_frequency};
}
Limits ReferenceLevelLimits(const CommandContext& c) {
    const double offset = c.screen.reference_offset;
    return {-130 + offset, 30 + offset, -20 + offset};
}

double ResolutionBandwidthStep(double v) {
    return NearestOneThree(v, kMinResolutionBandwidth, kMaxResolutionBandwidth);
}
double VideoBandwidthStep(double v) {
    return NearestOneThree(v, kMinVideoBandwidth, kMaxVideoBandwidth);
}
double AttenuatorStep(double v) {
    return NearestStep(v, 5);
}
double ImpedanceStep(double v) {
    return v < 62.5 ? 50 : 75;
}
double CounterResolutionStep(double v) {
    return NearestDecade(v, 0.1, 1e4);
}

// ---- Settings derived from others.

double GetStart(const CommandContext& c) {
    return c.screen.start;
}
double GetStop(const CommandContext& c) {
    return c.screen.stop;
}
double GetCenter(const CommandContext& c) {
    return (c.screen.start + c.screen.stop) / 2;
}
double GetSpan(const CommandContext& c) {
    return c.screen.stop - c.screen.start;
}
double GetFrequencyOffset(const CommandContext& c) {
    return c.screen.frequency_offset;
}
double GetReferenceOffset(const CommandContext& c) {
    return c.screen.reference_offset;
}
void PutStart(CommandContext& c, double v) {
    SetStartFrequency(c.screen, v);
}
void PutStop(CommandContext& c, double v) {
    SetStopFrequency(c.screen, v);
}
void PutCenter(CommandContext& c, double v) {
    SetCenterFrequency(c.screen, c.model, v);
}
void PutSpan(CommandContext& c, double v) {
    SetSpan(c.screen, c.model, v);
}
void PutFrequencyOffset(CommandContext& c, double v) {
    SetFrequencyOffset(c.screen, v);
}
void PutReferenceOffset(CommandContext& c, double v) {
    SetReferenceOffset(c.screen, v);
}

// ---- Entry builders.

CommandEntry Real(std::string_view pattern, Field<double> field, UnitClass unit, Limits limits,
                  Field<bool> clears_auto = {}, Quantizer quantize = nullptr) {
    CommandEntry e;
    e.pattern = pattern;
    e.kind = SettingKind::kReal;
    e.real = field;
    e.unit = unit;
    e.limits = limits;
    e.clears_auto = clears_auto;
    e.quantize = quantize;
    return e;
}
CommandEntry Level(std::string_view pattern, Field<double> field, LimitsFunction limits) {
    CommandEntry e;
    e.pattern = pattern;
    e.kind = SettingKind::kReal;
    e.real = field;
    e.unit = UnitClass::kLevel;
    e.limits_function = limits;
    return e;
}
CommandEntry Derived(std::string_view pattern, RealGetter get, RealSetter set, UnitClass unit,
                     LimitsFunction limits) {
    CommandEntry e;
    e.pattern = pattern;
    e.kind = SettingKind::kReal;
    e.get = get;
    e.set = set;
    e.unit = unit;
    e.limits_function = limits;
    return e;
}
CommandEntry Derived(std::string_view pattern, RealGetter get, RealSetter set, UnitClass unit,
                     Limits limits) {
    CommandEntry e = Derived(pattern, get, set, unit, LimitsFunction{nullptr});
    e.limits = limits;
    return e;
}
CommandEntry Integer(std::string_view pattern, Field<int> field, Limits limits) {
    CommandEntry e;
    e.pattern = pattern;
    e.kind = SettingKind::kInteger;
    e.integer = field;
    e.limits = limits;
    return e;
}
CommandEntry Boolean(std::string_view pattern, Field<bool> field,
                     BooleanReply reply = BooleanReply::kNumeric) {
    CommandEntry e;
    e.pattern = pattern;
    e.kind = SettingKind::kBoolean;
    e.boolean = field;
    e.boolean_reply = reply;
    return e;
}
CommandEntry Enum(std::string_view pattern, Field<int> field, std::span<const EnumItem> items,
                  Field<bool> clears_auto = {}) {
    CommandEntry e;
    e.pattern = pattern;
    e.kind = SettingKind::kEnum;
    e.integer = field;
    e.items = items;
    e.clears_auto = clears_auto;
    return e;
}
CommandEntry Handler(std::string_view pattern, Access access, ActionHandler handler) {
    CommandEntry e;
    e.pattern = pattern;
    e.access = access;
    e.kind = SettingKind::kAction;
    e.action = handler;
    return e;
}
CommandEntry Command(std::string_view pattern, ActionHandler handler) {
    return Handler(pattern, Access::kCommand, handler);
}
CommandEntry Query(std::string_view pattern, ActionHandler handler) {
    return Handler(pattern, Access::kQuery, handler);
}
CommandEntry CommandAndQuery(std::string_view pattern, ActionHandler handler) {
    return Handler(pattern, Access::kBoth, handler);
}

std::vector<CommandEntry> BuildTable() {
    const UnitClass kHz = UnitClass::kFrequency;
    const UnitClass kDb = UnitClass::kDecibel;
    const UnitClass kSeconds = UnitClass::kTime;
    const UnitClass kLevelUnit = UnitClass::kLevel;
    using S = ScreenState;
    using G = GlobalState;
    return {
        // IEEE 488.2 common commands.
        Query("*IDN", a::Identify),
        Command("*RST", a::Reset),
        Query("*TST", a::SelfTest),
        Query("*CAL", a::Calibrate),
        Query("*ESR", a::EventStatusRegister),
        CommandAndQuery("*ESE", a::EventStatusEnable),
        CommandAndQuery("*SRE", a::ServiceRequestEnable),
        Query("*STB", a::StatusByte),
        Command("*CLS", a::ClearStatus),
        CommandAndQuery("*OPC", a::OperationComplete),
        Command("*WAI", a::WaitToContinue),
        Command("*TRG", a::Trigger),
        Query("*OPT", a::Options),

        // Frequency (per screen).
        Derived("[SENSe<w>]:FREQuency:STARt", GetStart, PutStart, kHz, StartLimits),
        Derived("[SENSe<w>]:FREQuency:STOP", GetStop, PutStop, kHz, StopLimits),
        Derived("[SENSe<w>]:FREQuency:CENTer", GetCenter, PutCenter, kHz, CenterLimits),
        Derived("[SENSe<w>]:FREQuency:SPAN", GetSpan, PutSpan, kHz, SpanLimits),
        Derived("[SENSe<w>]:FREQuency:OFFSet", GetFrequencyOffset, PutFrequencyOffset, kHz,
                Limits{-kMaxFrequencyOffset, kMaxFrequencyOffset, 0}),

        // Bandwidths, sweep and detector (per screen).
        Real("[SENSe<w>]:BANDwidth[:RESolution]", OfScreen(&S::rbw), kHz,
             {kMinResolutionBandwidth, kMaxResolutionBandwidth, 3e6}, OfScreen(&S::rbw_auto),
             ResolutionBandwidthStep),
        Boolean("[SENSe<w>]:BANDwidth[:RESolution]:AUTO", OfScreen(&S::rbw_auto)),
        Real("[SENSe<w>]:BANDwidth:VIDeo", OfScreen(&S::vbw), kHz,
             {kMinVideoBandwidth, kMaxVideoBandwidth, 3e6}, OfScreen(&S::vbw_auto),
             VideoBandwidthStep),
        Boolean("[SENSe<w>]:BANDwidth:VIDeo:AUTO", OfScreen(&S::vbw_auto)),
        Real("[SENSe<w>]:BWIDth[:RESolution]", OfScreen(&S::rbw), kHz,
             {kMinResolutionBandwidth, kMaxResolutionBandwidth, 3e6}, OfScreen(&S::rbw_auto),
             ResolutionBandwidthStep),
        Boolean("[SENSe<w>]:BWIDth[:RESolution]:AUTO", OfScreen(&S::rbw_auto)),
        Real("[SENSe<w>]:BWIDth:VIDeo", OfScreen(&S::vbw), kHz,
             {kMinVideoBandwidth, kMaxVideoBandwidth, 3e6}, OfScreen(&S::vbw_auto),
             VideoBandwidthStep),
        Boolean("[SENSe<w>]:BWIDth:VIDeo:AUTO", OfScreen(&S::vbw_auto)),
        Real("[SENSe<w>]:SWEep:TIME", OfScreen(&S::sweep_time), kSeconds,
             {kMinSweepTime, kMaxSweepTime, 0.0025}, OfScreen(&S::sweep_time_auto)),
        Boolean("[SENSe<w>]:SWEep:TIME:AUTO", OfScreen(&S::sweep_time_auto)),
        Integer("[SENSe<w>]:SWEep:COUNt", OfScreen(&S::sweep_count), {0, 32767, 0}),
        Integer("[SENSe<w>]:SWEep:POINts", OfScreen(&S::sweep_points), {101, 32001, 501}),
        Enum("[SENSe<w>]:DETector[:FUNCtion]", OfScreen(&S::detector), kDetectorItems,
             OfScreen(&S::detector_auto)),
        Boolean("[SENSe<w>]:DETector[:FUNCtion]:AUTO", OfScreen(&S::detector_auto)),

        // Sweep control.
        Command("INITiate<w>[:IMMediate]", a::Initiate),
        Boolean("INITiate<w>:CONTinuous", OfScreen(&S::continuous)),
        Command("ABORt", a::Abort),

        // Level and input (per screen).
        Enum("UNIT<w>:POWer", OfScreen(&S::amplitude_unit), kUnitItems),
        Real("INPut<w>:IMPedance", OfScreen(&S::impedance), UnitClass::kImpedance, {50, 75, 50}, {},
             ImpedanceStep),
        Level("DISPlay:WINDow<w>:TRACe<t>:Y[:SCALe]:RLEVel", OfScreen(&S::reference_level),
              ReferenceLevelLimits),
        Derived("DISPlay:WINDow<w>:TRACe<t>:Y[:SCALe]:RLEVel:OFFSet", GetReferenceOffset,
                PutReferenceOffset, kDb, Limits{-200, 200, 0}),
        Enum("DISPlay:WINDow<w>:TRACe<t>:Y:SPACing", OfScreen(&S::vertical_scale), kScaleItems),
        Real("INPut<w>:ATTenuation", OfScreen(&S::attenuation), kDb, {0, kMaxAttenuation, 10},
             OfScreen(&S::attenuation_auto), AttenuatorStep),
        Boolean("INPut<w>:ATTenuation:AUTO", OfScreen(&S::attenuation_auto)),
        Real("INPut<w>:EATTenuation", OfScreen(&S::electronic_attenuation), kDb,
             {0, kMaxElectronicAttenuation, 0}, OfScreen(&S::electronic_attenuation_auto),
             AttenuatorStep),
        Boolean("INPut<w>:EATTenuation:AUTO", OfScreen(&S::electronic_attenuation_auto),
                BooleanReply::kText),
        Boolean("INPut<w>:EATTenuation:STATe", OfScreen(&S::electronic_attenuation_enabled),
                BooleanReply::kText),
        Boolean("INPut<w>:GAIN:STATe", OfScreen(&S::preamplifier), BooleanReply::kText),

        // Display.
        Enum("DISPlay:FORMat", OfInstrument(&G::display_format), kDisplayFormatItems),
        Command("DISPlay:WINDow<w>:SELect", a::WindowSelect),
        CommandAndQuery("DISPlay:WINDow<w>:TRACe<t>:MODE", a::TraceMode),
        Boolean("SYSTem:DISPlay:UPDate", OfInstrument(&G::display_update)),

        // Trigger (per screen). Levels in the screen's amplitude unit.
        Enum("TRIGger<w>[:SEQuence]:SOURce", OfScreen(&S::trigger_source), kTriggerSourceItems),
        Enum("TRIGger<w>[:SEQuence]:SLOPe", OfScreen(&S::trigger_slope), kSlopeItems),
        Real("TRIGger<w>[:SEQuence]:LEVel:IFPower", OfScreen(&S::trigger_if_level), kLevelUnit,
             {-50, 20, -20}),
        Real("TRIGger<w>[:SEQuence]:LEVel:RFPower", OfScreen(&S::trigger_rf_level), kLevelUnit,
             {-50, 20, -20}),
        Real("TRIGger<w>[:SEQuence]:LEVel:VIDeo", OfScreen(&S::trigger_video_level), kLevelUnit,
             {-130, 30, -50}),

        // Traces and their data format.
        Query("TRACe<w>[:DATA]", a::TraceData),
        Command("TRACe<w>:COPY", a::TraceCopy),
        CommandAndQuery("FORMat[:DATA]", a::DataFormat),
        Enum("FORMat:BORDer", OfInstrument(&G::byte_order), kByteOrderItems),
        Command("CALCulate<w>:MATH[:EXPRession][:DEFine]", a::TraceMath),

        // Markers (per screen; the marker suffix selects one of four).
        CommandAndQuery("CALCulate<w>:MARKer<m>[:STATe]", a::MarkerOnOff),
        CommandAndQuery("CALCulate<w>:MARKer<m>:X", a::MarkerX),
        Query("CALCulate<w>:MARKer<m>:Y", a::MarkerY),
        CommandAndQuery("CALCulate<w>:MARKer<m>:TRACe", a::MarkerTrace),
        Query("CALCulate<w>:MARKer<m>:NAME", a::MarkerName),
        Command("CALCulate<w>:MARKer<m>:MAXimum[:PEAK]", a::MarkerMaximum),
        Command("CALCulate<w>:MARKer<m>:MAXimum:NEXT", a::MarkerNextPeak),
        Command("CALCulate<w>:MARKer<m>:MAXimum:LEFT", a::MarkerNextPeakLeft),
        Command("CALCulate<w>:MARKer<m>:MAXimum:RIGHt", a::MarkerNextPeakRight),
        Command("CALCulate<w>:MARKer<m>:MINimum[:PEAK]", a::MarkerMinimum),
        Command("CALCulate<w>:MARKer<m>:AOFF", a::MarkersAllOff),
        Command("CALCulate<w>:MARKer<m>:FUNCtion:CENTer", a::MarkerToCenter),
        Command("CALCulate<w>:MARKer<m>:FUNCtion:REFerence", a::MarkerToReference),
        Boolean("CALCulate<w>:MARKer<m>:FUNCtion:STRack[:STATe]", OfScreen(&S::signal_track)),
        Boolean("CALCulate<w>:MARKer<m>:COUNt[:STATe]", OfScreen(&S::counter_enabled)),
        Real("CALCulate<w>:MARKer<m>:COUNt:RESolution", OfScreen(&S::counter_resolution), kHz,
             {0.1, 1e4, 1000}, {}, CounterResolutionStep),
        Query("CALCulate<w>:MARKer<m>:COUNt:FREQuency", a::CounterFrequency),
        Real("CALCulate<w>:MARKer<m>:PEXCursion", OfScreen(&S::peak_excursion), kDb, {0, 80, 6}),
        Real("CALCulate<w>:THReshold", OfScreen(&S::threshold), kLevelUnit, {-200, 30, -120}),
        Boolean("CALCulate<w>:THReshold:STATe", OfScreen(&S::threshold_enabled)),
        CommandAndQuery("CALCulate<w>:DELTamarker<m>[:STATe]", a::DeltaOnOff),
        CommandAndQuery("CALCulate<w>:DELTamarker<m>:X", a::DeltaX),
        Query("CALCulate<w>:DELTamarker<m>:X:RELative", a::DeltaRelativeX),
        Query("CALCulate<w>:DELTamarker<m>:Y", a::DeltaY),
        Query("CALCulate<w>:DELTamarker<m>:FUNCtion:FIXed:RPOint:X", a::DeltaReferenceX),
        Query("CALCulate<w>:DELTamarker<m>:FUNCtion:FIXed:RPOint:Y", a::DeltaReferenceY),

        // Status and system.
        Query("STATus:OPERation:CONDition", a::OperationCondition),
        Command("STATus:PRESet", a::StatusPreset),
        Query("SYSTem:ERRor[:NEXT]", a::NextError),
        Query("SYSTem:ERRor:ALL", a::AllErrors),
        Query("SYSTem:ERRor:COUNt", a::ErrorCount),
        Query("SYSTem:VERSion", a::Version),
        Command("SYSTem:PASSword[:CENable]", a::Password),
        Query("SYSTem:PASSword[:CENable]:STATe", a::PasswordState),

        // Service and calibration.
        Command("DIAGnostic<w>:SERVice:SFUNction", a::ServiceFunction),
        Query("DIAGnostic<w>:SERVice:SFUNction:LAST", a::LastServiceFunction),
        Enum("DIAGnostic<w>:SERVice:INPut[:SELect]", OfScreen(&S::service_input),
             kServiceInputItems),
        Boolean("DIAGnostic<w>:SERVice:NSOurce", OfScreen(&S::noise_source)),
        Query("CALibration:RESult", a::CalibrationResult),
    };
}

}  // namespace

CommandTable::CommandTable() : entries_(BuildTable()) {
    patterns_.reserve(entries_.size());
    for (const CommandEntry& entry : entries_)
        patterns_.emplace_back(entry.pattern);
}

const CommandTable& CommandTable::Instance() {
    static const CommandTable table;
    return table;
}

CommandTable::Lookup CommandTable::Find(const std::vector<scpi::Keyword>& keywords, bool common,
                                        bool query) const {
    Lookup lookup;
    lookup.error = scpi::kUndefinedHeader;
    const Access wanted = query ? Access::kQuery : Access::kCommand;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const scpi::HeaderPattern& pattern = patterns_[i];
        if (pattern.common() != common)
            continue;
        scpi::HeaderPattern::Match match = pattern.MatchKeywords(keywords);
        if (match.outcome == scpi::HeaderPattern::Outcome::kSuffixOutOfRange) {
            lookup.error = scpi::kHeaderSuffixOutOfRange;
            continue;
        }
        if (match.outcome != scpi::HeaderPattern::Outcome::kMatched)
            continue;
        if ((static_cast<unsigned>(entries_[i].access) & static_cast<unsigned>(wanted)) == 0)
            continue;  // the header exists only in the other form
        lookup.entry = &entries_[i];
        lookup.match = std::move(match);
        lookup.error = 0;
        return lookup;
    }
    return lookup;
}

}  // namespace tevo::emulator
