// The combined configure commands against the emulator: exact bytes, the window suffix of
// both screens, the level command's two shapes, values outside the tables, the operations
// that set attributes, and simulation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "operations/configure_operations.h"
#include "operations/operation_test_context.h"
#include "session/error_codes.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using namespace tevo::driver::operations;
using Messages = std::vector<std::string>;
using Id = AttributeId;

class ConfigureOperations : public OperationSession {};

TEST_F(ConfigureOperations, FrequencyRangeGoesToTheActiveScreen) {
    Open();
    EXPECT_EQ(ConfigureCenterSpan(Context(), 1e9, 2e6), S_OK);
    EXPECT_EQ(Sent(), Messages{"SENS1:FREQ:CENT 1000000000.000000;SPAN 2000000.000000"});
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("SENS1:FREQ:CENT?")), 1e9);
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("SENS1:FREQ:SPAN?")), 2e6);

    Context().StoreActiveScreen(TevoActiveScreenB);
    EXPECT_EQ(ConfigureCenterSpan(Context(), 5e8, 1e6), S_OK);
    EXPECT_EQ(ConfigureStartStop(Context(), 1e6, 3e6), S_OK);
    EXPECT_EQ(Sent(), (Messages{"SENS2:FREQ:CENT 500000000.000000;SPAN 1000000.000000",
                                "SENS2:FREQ:STAR 1000000.000000;STOP 3000000.000000"}));
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("SENS2:FREQ:STOP?")), 3e6);
    // Screen A kept its setting.
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("SENS1:FREQ:CENT?")), 1e9);
}

TEST_F(ConfigureOperations, LevelHasTwoCommandShapesAndOnlyMinusOneIsTrue) {
    Open();
    EXPECT_EQ(TevoLevelConfigure(Context(), TevoAmplitudeUnitsDBM, 50.0, -10.0, 0.0, VARIANT_TRUE,
                                 30.0, 1.0, 5.0, VARIANT_TRUE, VARIANT_TRUE),
              S_OK);
    EXPECT_EQ(Sent(),
              Messages{"UNIT1:POW DBM;:INP1:IMP 50.000000;:DISP:WIND1:TRAC:Y:RLEV "
                       "-10.000000;:DISP:WIND1:TRAC:Y:RLEV:OFFS 0.000000;:INP1:ATT:AUTO ON"});
    EXPECT_EQ(emulator_->Execute("INP1:ATT:AUTO?"), "1");

    EXPECT_EQ(TevoLevelConfigure(Context(), TevoAmplitudeUnitsDBM, 50.0, -20.0, 0.0, 1, 10.0, 0.0,
                                 0.0, VARIANT_FALSE, VARIANT_FALSE),
              S_OK);
    const Messages fixed{
        "UNIT1:POW DBM;:INP1:IMP 50.000000;:DISP:WIND1:TRAC:Y:RLEV "
        "-20.000000;:DISP:WIND1:TRAC:Y:RLEV:OFFS 0.000000;:INP1:ATT 10.000000"};
    EXPECT_EQ(Sent(), fixed);
    EXPECT_EQ(emulator_->Execute("INP1:ATT:AUTO?"), "0");
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("INP1:ATT?")), 10.0);

    // The class-compliant Configure sends the same for the same six values.
    EXPECT_EQ(
        SpecAnLevelConfigure(Context(), IviSpecAnAmplitudeUnitsDBM, 50.0, -20.0, 0.0, 1, 10.0),
        S_OK);
    EXPECT_EQ(Sent(), fixed);
}

TEST_F(ConfigureOperations, ValuesOutsideTheTablesSendNothing) {
    Open();
    for (const LONG unit : {0, 6}) {
        EXPECT_EQ(
            TevoLevelConfigure(Context(), static_cast<TevoAmplitudeUnitsEnum>(unit), 50.0, 0.0, 0.0,
                               VARIANT_TRUE, 0.0, 0.0, 0.0, VARIANT_FALSE, VARIANT_FALSE),
            E_FAIL);
    }
    EXPECT_EQ(
        TevoTriggerVideoConfigure(Context(), -20.0, static_cast<TevoVideoTriggerSlopeEnum>(3)),
        E_FAIL);
    EXPECT_FALSE(TakeThreadError().present);
    EXPECT_EQ(SpecAnTriggerVideoConfigure(Context(), -20.0, IviSpecAnVideoTriggerSlopePositive),
              S_OK);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(ConfigureOperations, VideoTriggerSlopes) {
    Open();
    EXPECT_EQ(TevoTriggerVideoConfigure(Context(), -20.0, TevoVideoTriggerSlopePositive), S_OK);
    Context().StoreActiveScreen(TevoActiveScreenB);
    EXPECT_EQ(TevoTriggerVideoConfigure(Context(), 10.5, TevoVideoTriggerSlopeNegative), S_OK);
    EXPECT_EQ(Sent(),
              (Messages{"TRIG1:SLOP POS;LEV:VID -20.000000", "TRIG2:SLOP NEG;LEV:VID 10.500000"}));
    EXPECT_EQ(emulator_->Execute("TRIG2:SLOP?"), "NEG");
}

// The operations without commands of their own send exactly what their properties send.
TEST_F(ConfigureOperations, AcquisitionAndSweepCouplingSetTheirAttributesInOrder) {
    Open();
    AttributeTable& table = Context().Attributes();
    ASSERT_EQ(table.Put(Id::kTevoAcquisitionSweepModeContinuous, VARIANT_FALSE), S_OK);
    ASSERT_EQ(table.Put(Id::kTevoAcquisitionNumberOfSweeps, static_cast<LONG>(5)), S_OK);
    ASSERT_EQ(table.Put(Id::kTevoAcquisitionDetectorTypeAuto, VARIANT_FALSE), S_OK);
    ASSERT_EQ(table.Put(Id::kTevoAcquisitionDetectorType, TevoDetectorTypeSample), S_OK);
    ASSERT_EQ(table.Put(Id::kTevoAcquisitionVerticalScale, TevoVerticalScaleLogarithmic), S_OK);
    const Messages by_properties = Sent();
    ASSERT_EQ(by_properties.size(), 5u);
    EXPECT_EQ(TevoAcquisitionConfigure(Context(), VARIANT_FALSE, 5, VARIANT_FALSE,
                                       TevoDetectorTypeSample, TevoVerticalScaleLogarithmic),
              S_OK);
    EXPECT_EQ(Sent(), by_properties);
    EXPECT_EQ(emulator_->Execute("SENS1:SWE:COUN?"), "5");

    ASSERT_EQ(table.Put(Id::kTevoSweepCouplingResolutionBandwidthAuto, VARIANT_FALSE), S_OK);
    ASSERT_EQ(table.Put(Id::kTevoSweepCouplingResolutionBandwidth, 1e4), S_OK);
    ASSERT_EQ(table.Put(Id::kTevoSweepCouplingVideoBandwidthAuto, VARIANT_TRUE), S_OK);
    ASSERT_EQ(table.Put(Id::kTevoSweepCouplingVideoBandwidth, 3e4), S_OK);
    ASSERT_EQ(table.Put(Id::kTevoSweepCouplingSweepTimeAuto, VARIANT_FALSE), S_OK);
    ASSERT_EQ(table.Put(Id::kTevoSweepCouplingSweeptime, 0.5), S_OK);
    const Messages coupling = Sent();
    ASSERT_EQ(coupling.size(), 6u);
    EXPECT_EQ(TevoSweepCouplingConfigure(Context(), VARIANT_FALSE, 1e4, VARIANT_TRUE, 3e4,
                                         VARIANT_FALSE, 0.5),
              S_OK);
    EXPECT_EQ(Sent(), coupling);
    EXPECT_EQ(SpecAnSweepCouplingConfigure(Context(), VARIANT_FALSE, 1e4, VARIANT_TRUE, 3e4,
                                           VARIANT_FALSE, 0.5),
              S_OK);
    EXPECT_FALSE(Sent().empty());
}

TEST_F(ConfigureOperations, FirstFailingSettingStopsTheRest) {
    Open();
    // Detector type 0 is outside the table: the two settings before it are sent, the
    // vertical scale after it is not.
    EXPECT_EQ(
        TevoAcquisitionConfigure(Context(), VARIANT_FALSE, 3, VARIANT_FALSE,
                                 static_cast<TevoDetectorTypeEnum>(0), TevoVerticalScaleLinear),
        E_FAIL);
    const Messages sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], "SENS1:SWE:COUN 3");
}

TEST_F(ConfigureOperations, FunctionsTheAnalyzerLacksSucceedWithoutEffect) {
    Open();
    EXPECT_EQ(SpecAnExternalMixerConfigure(Context(), 2, 20.0), S_OK);
    EXPECT_EQ(SpecAnExternalMixerBiasConfigure(Context(), 0.1, 0.2), S_OK);
    EXPECT_EQ(SpecAnConversionLossTableConfigure(Context(), nullptr, nullptr), S_OK);
    EXPECT_EQ(SpecAnPreselectorPeak(Context()), S_OK);
    EXPECT_EQ(TevoListConfigure(Context(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(ConfigureOperations, SimulationSendsNothing) {
    Open(L"Simulate=true");
    EXPECT_EQ(ConfigureCenterSpan(Context(), 1e9, 2e6), S_OK);
    EXPECT_EQ(ConfigureStartStop(Context(), 1e6, 2e6), S_OK);
    EXPECT_EQ(TevoLevelConfigure(Context(), static_cast<TevoAmplitudeUnitsEnum>(0), 50.0, 0.0, 0.0,
                                 VARIANT_TRUE, 0.0, 0.0, 0.0, VARIANT_FALSE, VARIANT_FALSE),
              S_OK);
    EXPECT_EQ(TevoTriggerVideoConfigure(Context(), 1.0, TevoVideoTriggerSlopePositive), S_OK);
    EXPECT_EQ(TevoAcquisitionConfigure(Context(), VARIANT_TRUE, 1, VARIANT_TRUE,
                                       TevoDetectorTypeSample, TevoVerticalScaleLinear),
              S_OK);
    EXPECT_EQ(SpecAnTriggerExternalConfigure(Context(), 1.0, IviSpecAnExternalTriggerSlopePositive),
              S_OK);
    EXPECT_EQ(emulator_->ReceivedMessages(), Messages{});
}

}  // namespace
}  // namespace tevo::driver
