// Every attribute row against the emulator: the exact query and command bytes with screen
// A and screen B active, the conversion of a well-formed reply, and the answers in
// simulation. The expectations are written out from the instrument's command set, one
// line per attribute; replies are scripted so that each query is answered exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "attributes/attribute_test_context.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using Id = AttributeId;

// A value at the interface: none, double, LONG (also enumerations), Boolean, text.
using Value = std::variant<std::monostate, double, LONG, bool, std::wstring>;

struct Case {
    Id id;
    const char* query_a;  // nullptr: no get exchange
    const char* query_b;
    const char* reply;
    Value reply_value;
    Value put_value;  // monostate: read-only
    const char* command_a;
    const char* command_b;
    Value simulated;
};

constexpr bool kOn = true;
constexpr bool kOff = false;
const Value kNone{};

// clang-format off
const std::vector<Case> kCases = {
    {Id::kTevoAcquisitionDetectorType, "SENS1:DET?", "SENS2:DET?", "SAMP", LONG{5}, LONG{2}, "SENS1:DET AVER", "SENS2:DET AVER", LONG{1}},
    {Id::kTevoAcquisitionDetectorTypeAuto, "SENS1:DET:AUTO?", "SENS2:DET:AUTO?", "1", kOn, kOff, "SENS1:DET:AUTO OFF", "SENS2:DET:AUTO OFF", kOn},
    {Id::kTevoAcquisitionNumberOfSweeps, "SENS1:SWE:COUN?", "SENS2:SWE:COUN?", "25", LONG{25}, LONG{7}, "SENS1:SWE:COUN 7", "SENS2:SWE:COUN 7", LONG{0}},
    {Id::kTevoAcquisitionSweepModeContinuous, "INIT1:CONT?", "INIT2:CONT?", "0", kOff, kOn, "INIT1:CONT ON", "INIT2:CONT ON", kOn},
    {Id::kTevoAcquisitionVerticalScale, "DISP:WIND1:TRAC:Y:SPAC?", "DISP:WIND2:TRAC:Y:SPAC?", "LIN", LONG{1}, LONG{2}, "DISP:WIND1:TRAC:Y:SPAC LOG", "DISP:WIND2:TRAC:Y:SPAC LOG", LONG{1}},
    {Id::kTevoDisplayFormat, "DISP:FORM?", "DISP:FORM?", "SPL", LONG{1}, LONG{0}, "DISP:FORM SING", "DISP:FORM SING", LONG{0}},
    {Id::kTevoDisplayUpdate, ":SYST:DISP:UPD?", ":SYST:DISP:UPD?", "1", kOn, kOff, ":SYST:DISP:UPD OFF", ":SYST:DISP:UPD OFF", kOn},
    {Id::kTevoFrequencyOffset, "SENS1:FREQ:OFFS?", "SENS2:FREQ:OFFS?", "100.5", 100.5, 250.0, "SENS1:FREQ:OFFS 250.000000", "SENS2:FREQ:OFFS 250.000000", 0.0},
    {Id::kTevoFrequencyStart, "SENS1:FREQ:STAR?", "SENS2:FREQ:STAR?", "1.5E+06", 1.5e6, 2e6, "SENS1:FREQ:STAR 2000000.000000", "SENS2:FREQ:STAR 2000000.000000", 0.0},
    {Id::kTevoFrequencyStop, "SENS1:FREQ:STOP?", "SENS2:FREQ:STOP?", "3000000000", 3e9, 1e9, "SENS1:FREQ:STOP 1000000000.000000", "SENS2:FREQ:STOP 1000000000.000000", 0.0},
    {Id::kTevoLevelAmplitudeUnits, "UNIT1:POW?", "UNIT2:POW?", "DBMV", LONG{2}, LONG{5}, "UNIT1:POW W", "UNIT2:POW W", LONG{1}},
    {Id::kTevoLevelAttenuation, "INP1:ATT?", "INP2:ATT?", "10", 10.0, 20.0, "INP1:ATT 20.000000", "INP2:ATT 20.000000", 0.0},
    {Id::kTevoLevelAttenuationAuto, "INP1:ATT:AUTO?", "INP2:ATT:AUTO?", "1", kOn, kOff, "INP1:ATT:AUTO OFF", "INP2:ATT:AUTO OFF", kOn},
    {Id::kTevoLevelElectronicAttenuation, "INP1:EATT?", "INP2:EATT?", "5", 5.0, 10.0, "INP1:EATT 10.000000", "INP2:EATT 10.000000", 0.0},
    {Id::kTevoLevelElectronicAttenuationAuto, "INP1:EATT:AUTO?", "INP2:EATT:AUTO?", "ON", kOn, kOff, "INP1:EATT:AUTO OFF", "INP2:EATT:AUTO OFF", kOn},
    {Id::kTevoLevelElectronicAttenuationEnabled, "INP1:EATT:STAT?", "INP2:EATT:STAT?", "OFF", kOff, kOn, "INP1:EATT:STAT ON", "INP2:EATT:STAT ON", kOn},
    {Id::kTevoLevelInputImpedance, "INP1:IMP?", "INP2:IMP?", "50", 50.0, 75.0, "INP1:IMP 75.000000", "INP2:IMP 75.000000", 0.0},
    {Id::kTevoLevelReference, "DISP:WIND1:TRAC:Y:RLEV?", "DISP:WIND2:TRAC:Y:RLEV?", "-20", -20.0, -10.0, "DISP:WIND1:TRAC:Y:RLEV -10.000000", "DISP:WIND2:TRAC:Y:RLEV -10.000000", 0.0},
    {Id::kTevoLevelReferenceOffset, "DISP:WIND1:TRAC:Y:RLEV:OFFS?", "DISP:WIND2:TRAC:Y:RLEV:OFFS?", "3", 3.0, 1.5, "DISP:WIND1:TRAC:Y:RLEV:OFFS 1.500000", "DISP:WIND2:TRAC:Y:RLEV:OFFS 1.500000", 0.0},
    {Id::kTevoLevelRFPreamplifierEnabled, "INP1:GAIN:STAT?", "INP2:GAIN:STAT?", "ON", kOn, kOff, "INP1:GAIN:STAT OFF", "INP2:GAIN:STAT OFF", kOn},
    {Id::kTevoMarkerAmplitude, "CALC1:MARK:Y?", "CALC2:MARK:Y?", "-42.5", -42.5, kNone, nullptr, nullptr, 0.0},
    {Id::kTevoMarkerEnabled, "CALC1:MARK1?", "CALC2:MARK1?", "1", kOn, kOff, "CALC1:MARK1 OFF", "CALC2:MARK1 OFF", kOn},
    {Id::kTevoMarkerPeakExcursion, "CALC1:MARK:PEXC?", "CALC2:MARK:PEXC?", "6", 6.0, 10.0, "CALC1:MARK:PEXC 10.000000", "CALC2:MARK:PEXC 10.000000", 0.0},
    {Id::kTevoMarkerPosition, "CALC1:MARK:X?", "CALC2:MARK:X?", "1E+09", 1e9, 5e8, "CALC1:MARK:X 500000000.000000", "CALC2:MARK:X 500000000.000000", 0.0},
    {Id::kTevoMarkerReferenceAmplitude, "CALC1:DELT1:FUNC:FIX:RPO:Y?", "CALC2:DELT1:FUNC:FIX:RPO:Y?", "-30", -30.0, kNone, nullptr, nullptr, 0.0},
    {Id::kTevoMarkerReferencePosition, "CALC1:DELT1:FUNC:FIX:RPO:X?", "CALC2:DELT1:FUNC:FIX:RPO:X?", "2E+06", 2e6, kNone, nullptr, nullptr, 0.0},
    {Id::kTevoMarkerSignalTrackEnabled, "CALC1:MARK:FUNC:STR?", "CALC2:MARK:FUNC:STR?", "0", kOff, kOn, "CALC1:MARK:FUNC:STR ON", "CALC2:MARK:FUNC:STR ON", kOn},
    {Id::kTevoMarkerThreshold, "CALC1:THR?", "CALC2:THR?", "-90", -90.0, -80.0, "CALC1:THR -80.000000", "CALC2:THR -80.000000", 0.0},
    {Id::kTevoMarkerTrace, "CALC1:MARK1:TRAC?", "CALC2:MARK1:TRAC?", "2", std::wstring(L"2"), std::wstring(L"3"), "CALC1:MARK1:TRAC 3", "CALC2:MARK1:TRAC 3", std::wstring(L"Simulated string")},
    {Id::kTevoMarkerType, "CALC1:DELT?", "CALC2:DELT?", "1", LONG{2}, kNone, nullptr, nullptr, LONG{1}},
    {Id::kTevoMarkerFrequencyCounterEnabled, "CALC1:MARK:COUN?", "CALC2:MARK:COUN?", "1", kOn, kOff, "CALC1:MARK:COUN OFF", "CALC2:MARK:COUN OFF", kOn},
    {Id::kTevoMarkerFrequencyCounterResolution, "CALC1:MARK:COUN:RES?", "CALC2:MARK:COUN:RES?", "10", 10.0, 100.0, "CALC1:MARK:COUN:RES 100.000000", "CALC2:MARK:COUN:RES 100.000000", 0.0},
    {Id::kTevoServiceEnabled, nullptr, nullptr, nullptr, kNone, kOn, "SYST:PASS '573018'", "SYST:PASS '573018'", kNone},
    {Id::kTevoServiceInputCalEnabled, "DIAG1:SERV:INP?", "DIAG2:SERV:INP?", "CAL", kOn, kOff, "DIAG1:SERV:INP RF", "DIAG2:SERV:INP RF", kOn},
    {Id::kTevoServiceNoiseSourceEnabled, "DIAG1:SERV:NSO?", "DIAG2:SERV:NSO?", "0", kOff, kOn, "DIAG1:SERV:NSO ON", "DIAG2:SERV:NSO ON", kOn},
    {Id::kTevoSweepCouplingResolutionBandwidth, "SENS1:BAND?", "SENS2:BAND?", "30000", 30000.0, 1000.0, "SENS1:BAND 1000.000000", "SENS2:BAND 1000.000000", 0.0},
    {Id::kTevoSweepCouplingResolutionBandwidthAuto, "SENS1:BAND:AUTO?", "SENS2:BAND:AUTO?", "1", kOn, kOff, "SENS1:BAND:AUTO OFF", "SENS2:BAND:AUTO OFF", kOn},
    {Id::kTevoSweepCouplingSweeptime, "SENS1:SWE:TIME?", "SENS2:SWE:TIME?", "0.05", 0.05, 0.1, "SENS1:SWE:TIME 0.100000", "SENS2:SWE:TIME 0.100000", 0.0},
    {Id::kTevoSweepCouplingSweepTimeAuto, "SENS1:SWE:TIME:AUTO?", "SENS2:SWE:TIME:AUTO?", "0", kOff, kOn, "SENS1:SWE:TIME:AUTO ON", "SENS2:SWE:TIME:AUTO ON", kOn},
    {Id::kTevoSweepCouplingVideoBandwidth, "SENS1:BAND:VID?", "SENS2:BAND:VID?", "3000", 3000.0, 300.0, "SENS1:BAND:VID 300.000000", "SENS2:BAND:VID 300.000000", 0.0},
    {Id::kTevoSweepCouplingVideoBandwidthAuto, "SENS1:BAND:VID:AUTO?", "SENS2:BAND:VID:AUTO?", "1", kOn, kOff, "SENS1:BAND:VID:AUTO OFF", "SENS2:BAND:VID:AUTO OFF", kOn},
    {Id::kTevoTriggerSource, "TRIG1:SOUR?", "TRIG2:SOUR?", "TV", LONG{5}, LONG{1001}, "TRIG1:SOUR IFP", "TRIG2:SOUR IFP", LONG{1}},
    {Id::kTevoTriggerExternalSlope, "TRIG1:SLOP?", "TRIG2:SLOP?", "NEG", LONG{2}, LONG{1}, "TRIG1:SLOP POS", "TRIG2:SLOP POS", LONG{1}},
    {Id::kTevoTriggerIFPowerLevel, "TRIG1:LEV:IFP?", "TRIG2:LEV:IFP?", "-20", -20.0, -30.0, "TRIG1:LEV:IFP -30.000000", "TRIG2:LEV:IFP -30.000000", 0.0},
    {Id::kTevoTriggerRFPowerLevel, "TRIG1:LEV:RFP?", "TRIG2:LEV:RFP?", "-15", -15.0, -25.0, "TRIG1:LEV:RFP -25.000000", "TRIG2:LEV:RFP -25.000000", 0.0},
    {Id::kTevoTriggerVideoLevel, "TRIG:LEV:VID?", "TRIG:LEV:VID?", "-60", -60.0, -50.0, "TRIG1:LEV:VID -50.000000", "TRIG2:LEV:VID -50.000000", 0.0},
    {Id::kTevoTriggerVideoSlope, "TRIG1:SLOP?", "TRIG2:SLOP?", "POS", LONG{1}, LONG{2}, "TRIG1:SLOP NEG", "TRIG2:SLOP NEG", LONG{1}},
};

// Class-compliant properties that answer exactly as their instrument-specific twin.
const std::vector<std::pair<Id, Id>> kTwins = {
    {Id::kSpecAnAcquisitionDetectorType, Id::kTevoAcquisitionDetectorType},
    {Id::kSpecAnAcquisitionDetectorTypeAuto, Id::kTevoAcquisitionDetectorTypeAuto},
    {Id::kSpecAnAcquisitionNumberOfSweeps, Id::kTevoAcquisitionNumberOfSweeps},
    {Id::kSpecAnAcquisitionSweepModeContinuous, Id::kTevoAcquisitionSweepModeContinuous},
    {Id::kSpecAnAcquisitionVerticalScale, Id::kTevoAcquisitionVerticalScale},
    {Id::kSpecAnFrequencyOffset, Id::kTevoFrequencyOffset},
    {Id::kSpecAnFrequencyStart, Id::kTevoFrequencyStart},
    {Id::kSpecAnFrequencyStop, Id::kTevoFrequencyStop},
    {Id::kSpecAnLevelAmplitudeUnits, Id::kTevoLevelAmplitudeUnits},
    {Id::kSpecAnLevelAttenuation, Id::kTevoLevelAttenuation},
    {Id::kSpecAnLevelAttenuationAuto, Id::kTevoLevelAttenuationAuto},
    {Id::kSpecAnLevelInputImpedance, Id::kTevoLevelInputImpedance},
    {Id::kSpecAnLevelReference, Id::kTevoLevelReference},
    {Id::kSpecAnLevelReferenceOffset, Id::kTevoLevelReferenceOffset},
    {Id::kSpecAnMarkerAmplitude, Id::kTevoMarkerAmplitude},
    {Id::kSpecAnMarkerEnabled, Id::kTevoMarkerEnabled},
    {Id::kSpecAnMarkerPeakExcursion, Id::kTevoMarkerPeakExcursion},
    {Id::kSpecAnMarkerPosition, Id::kTevoMarkerPosition},
    {Id::kSpecAnMarkerReferenceAmplitude, Id::kTevoMarkerReferenceAmplitude},
    {Id::kSpecAnMarkerReferencePosition, Id::kTevoMarkerReferencePosition},
    {Id::kSpecAnMarkerSignalTrackEnabled, Id::kTevoMarkerSignalTrackEnabled},
    {Id::kSpecAnMarkerThreshold, Id::kTevoMarkerThreshold},
    {Id::kSpecAnMarkerTrace, Id::kTevoMarkerTrace},
    {Id::kSpecAnMarkerType, Id::kTevoMarkerType},
    {Id::kSpecAnMarkerFrequencyCounterEnabled, Id::kTevoMarkerFrequencyCounterEnabled},
    {Id::kSpecAnMarkerFrequencyCounterResolution, Id::kTevoMarkerFrequencyCounterResolution},
    {Id::kSpecAnSweepCouplingResolutionBandwidth, Id::kTevoSweepCouplingResolutionBandwidth},
    {Id::kSpecAnSweepCouplingResolutionBandwidthAuto, Id::kTevoSweepCouplingResolutionBandwidthAuto},
    {Id::kSpecAnSweepCouplingSweepTime, Id::kTevoSweepCouplingSweeptime},
    {Id::kSpecAnSweepCouplingSweepTimeAuto, Id::kTevoSweepCouplingSweepTimeAuto},
    {Id::kSpecAnSweepCouplingVideoBandwidth, Id::kTevoSweepCouplingVideoBandwidth},
    {Id::kSpecAnSweepCouplingVideoBandwidthAuto, Id::kTevoSweepCouplingVideoBandwidthAuto},
    {Id::kSpecAnTriggerSource, Id::kTevoTriggerSource},
    {Id::kSpecAnTriggerExternalSlope, Id::kTevoTriggerExternalSlope},
    {Id::kSpecAnTriggerVideoLevel, Id::kTevoTriggerVideoLevel},
    {Id::kSpecAnTriggerVideoSlope, Id::kTevoTriggerVideoSlope},
};
// clang-format on

// The instrument-specific case that a twin answers with.
const Case* CaseOf(Id id) {
    const auto found =
        std::find_if(kCases.begin(), kCases.end(), [id](const Case& c) { return c.id == id; });
    return found != kCases.end() ? &*found : nullptr;
}

std::string Name(Id id) {
    const AttributeRow& row = CatalogueRow(id);
    return std::string(row.interface_name) + "." + row.property;
}

// Gets the attribute as the type of `like`.
HRESULT GetAs(AttributeTable& table, Id id, const Value& like, Value* out) {
    HRESULT hr = E_UNEXPECTED;
    if (std::holds_alternative<double>(like)) {
        double value = -12345.0;
        hr = table.Get(id, &value);
        *out = value;
    } else if (std::holds_alternative<LONG>(like)) {
        LONG value = -12345;
        hr = table.Get(id, &value);
        *out = value;
    } else if (std::holds_alternative<bool>(like)) {
        VARIANT_BOOL value = 5;
        hr = table.Get(id, &value);
        if (value == VARIANT_TRUE || value == VARIANT_FALSE) {
            *out = value == VARIANT_TRUE;
        } else {
            *out = std::wstring(L"not a VARIANT_BOOL");
        }
    } else if (std::holds_alternative<std::wstring>(like)) {
        Bstr value;
        hr = table.Get(id, &value);
        *out = value.ToWide();
    }
    return hr;
}

HRESULT PutAs(AttributeTable& table, Id id, const Value& value) {
    if (const double* real = std::get_if<double>(&value)) {
        return table.Put(id, *real);
    }
    if (const LONG* integer = std::get_if<LONG>(&value)) {
        return table.Put(id, *integer);
    }
    if (const bool* boolean = std::get_if<bool>(&value)) {
        return table.Put(id, *boolean ? VARIANT_TRUE : VARIANT_FALSE);
    }
    Bstr text(std::get<std::wstring>(value).c_str());
    return table.Put(id, text.Get());
}

class AttributeRows : public AttributeSession {
  protected:
    // The get and the put of one case with the given screen active.
    void CheckExchanges(Id id, const Case& expected, bool screen_b) {
        SCOPED_TRACE(Name(id) + (screen_b ? " screen B" : " screen A"));
        context_->StoreActiveScreen(screen_b ? TevoActiveScreenB : TevoActiveScreenA);
        if (expected.query_a != nullptr) {
            const std::string query = screen_b ? expected.query_b : expected.query_a;
            emulator_->ClearScript();
            emulator_->ExpectQuery(query, expected.reply);
            Value got;
            EXPECT_EQ(GetAs(Table(), id, expected.reply_value, &got), S_OK);
            EXPECT_EQ(got, expected.reply_value);
            EXPECT_EQ(emulator_->VerifyScript(), std::vector<std::string>{});
            emulator_->ClearScript();
            EXPECT_EQ(Sent(), std::vector<std::string>{query});
        }
        if (expected.command_a != nullptr) {
            EXPECT_EQ(PutAs(Table(), id, expected.put_value), S_OK);
            EXPECT_EQ(Sent(),
                      std::vector<std::string>{screen_b ? expected.command_b : expected.command_a});
        }
    }
};

TEST_F(AttributeRows, InstrumentSpecificGetsAndPutsSendTheirBytesOnBothScreens) {
    Open();
    for (const Case& expected : kCases) {
        CheckExchanges(expected.id, expected, false);
        CheckExchanges(expected.id, expected, true);
    }
}

TEST_F(AttributeRows, ClassCompliantTwinsSendWhatTheirTwinsSend) {
    Open();
    for (const auto& [specan, twin] : kTwins) {
        const Case* found = CaseOf(twin);
        ASSERT_NE(found, nullptr) << Name(twin);
        CheckExchanges(specan, *found, false);
        CheckExchanges(specan, *found, true);
    }
}

TEST_F(AttributeRows, ServiceEnabledFalseSendsTheZeroPassword) {
    Open();
    EXPECT_EQ(Table().Put(Id::kTevoServiceEnabled, VARIANT_FALSE), S_OK);
    // Any VARIANT_BOOL other than -1 counts as false.
    EXPECT_EQ(Table().Put(Id::kTevoServiceEnabled, VARIANT_BOOL{1}), S_OK);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"SYST:PASS '0'", "SYST:PASS '0'"}));
}

TEST_F(AttributeRows, SimulatedGetsAnswerWithoutAnInstrument) {
    Open(L"Simulate=true");
    for (const Case& expected : kCases) {
        if (expected.query_a == nullptr) {
            continue;
        }
        SCOPED_TRACE(Name(expected.id));
        Value got;
        EXPECT_EQ(GetAs(Table(), expected.id, expected.simulated, &got), S_OK);
        EXPECT_EQ(got, expected.simulated);
    }
    for (const auto& [specan, twin] : kTwins) {
        const Case* found = CaseOf(twin);
        ASSERT_NE(found, nullptr) << Name(twin);
        SCOPED_TRACE(Name(specan));
        Value got;
        EXPECT_EQ(GetAs(Table(), specan, found->simulated, &got), S_OK);
        EXPECT_EQ(got, found->simulated);
    }
    // No VISA session exists in simulation: any exchange would have failed.
    EXPECT_EQ(context_->AttributeIo().Instrument(), 0u);
    EXPECT_TRUE(emulator_->ReceivedMessages().empty());
}

TEST_F(AttributeRows, SimulatedPutsSucceedWithoutAnInstrument) {
    Open(L"Simulate=true");
    for (const Case& expected : kCases) {
        if (expected.command_a == nullptr) {
            continue;
        }
        SCOPED_TRACE(Name(expected.id));
        EXPECT_EQ(PutAs(Table(), expected.id, expected.put_value), S_OK);
    }
    EXPECT_TRUE(emulator_->ReceivedMessages().empty());
}

TEST(AttributeCatalogue, RowsNameEveryPropertyOnceAndTwinsPointAtTheOtherView) {
    const auto rows = GeneralCatalogue();
    EXPECT_EQ(rows.size(), 101u);
    std::set<std::string> names;
    for (const AttributeRow& row : rows) {
        EXPECT_TRUE(names.insert(Name(row.id)).second) << Name(row.id);
        if (row.twin != kNoTwin) {
            EXPECT_EQ(row.views, Views::kClassCompliant) << Name(row.id);
            EXPECT_EQ(CatalogueRow(row.twin).twin, kNoTwin) << Name(row.id);
            EXPECT_NE(CatalogueRow(row.twin).views, Views::kClassCompliant) << Name(row.id);
        }
    }
    EXPECT_EQ(&ImplementationRow(Id::kSpecAnSweepCouplingSweepTime),
              &CatalogueRow(Id::kTevoSweepCouplingSweeptime));
    EXPECT_EQ(&ImplementationRow(Id::kTevoFrequencyStart), &CatalogueRow(Id::kTevoFrequencyStart));
}

}  // namespace
}  // namespace tevo::driver
