// The get and put layers around the rows: settings that change nothing, failures without
// I/O, the values the driver keeps (active screen, active marker), constants, the
// class-compliant answers without I/O, per-trace attributes, and replies too long for
// the reply limit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attributes/attribute_test_context.h"
#include "session/error_codes.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using Id = AttributeId;
using Messages = std::vector<std::string>;

constexpr HRESULT kValueNotSupported = static_cast<HRESULT>(0x80047013);

class AttributeEngine : public AttributeSession {};

// Every setting is read through the object's own interface; the window suffix is read
// through the ActiveScreen get, which reads Cache and Simulate itself.
TEST_F(AttributeEngine, LayersReadTheSessionSettingsInOrder) {
    Open();
    context_->TakeSettingReads();
    EXPECT_EQ(Table().Put(Id::kTevoFrequencyStart, 1e6), S_OK);
    EXPECT_EQ(context_->TakeSettingReads(),
              (Messages{"RangeCheck", "Cache", "Simulate", "Simulate", "Cache", "Simulate"}));
    emulator_->ExpectQuery("SENS1:FREQ:STAR?", "1000000");
    double start = 0.0;
    EXPECT_EQ(Table().Get(Id::kTevoFrequencyStart, &start), S_OK);
    EXPECT_EQ(context_->TakeSettingReads(), (Messages{"Cache", "Simulate", "Cache", "Simulate"}));
    // A value outside the forward map stops before the suffix is read.
    EXPECT_EQ(Table().Put(Id::kTevoAcquisitionDetectorType, static_cast<LONG>(0)), E_FAIL);
    EXPECT_EQ(context_->TakeSettingReads(),
              (Messages{"RangeCheck", "Cache", "Simulate", "Simulate"}));
    EXPECT_EQ(Table().Put(Id::kTevoDisplayUpdate, VARIANT_TRUE), S_OK);  // no suffix
    EXPECT_EQ(context_->TakeSettingReads(),
              (Messages{"RangeCheck", "Cache", "Simulate", "Simulate"}));
}

TEST_F(AttributeEngine, SimulatedPutReadsTheSettingsOnly) {
    Open(L"Simulate=true");
    context_->TakeSettingReads();
    EXPECT_EQ(Table().Put(Id::kTevoFrequencyStart, 1e6), S_OK);
    EXPECT_EQ(context_->TakeSettingReads(), (Messages{"RangeCheck", "Cache", "Simulate"}));
    double start = 5.0;
    EXPECT_EQ(Table().Get(Id::kTevoFrequencyStart, &start), S_OK);
    EXPECT_EQ(start, 0.0);
    EXPECT_EQ(context_->TakeSettingReads(), (Messages{"Cache", "Simulate"}));
}

TEST_F(AttributeEngine, CacheOnStillQueriesEveryGet) {
    Open(L"Simulate=false,Cache=true");
    emulator_->ExpectQuery("SENS1:FREQ:STAR?", "1000");
    emulator_->ExpectQuery("SENS1:FREQ:STAR?", "2000");
    double start = 0.0;
    EXPECT_EQ(Table().Get(Id::kTevoFrequencyStart, &start), S_OK);
    EXPECT_EQ(start, 1000.0);
    EXPECT_EQ(Table().Get(Id::kTevoFrequencyStart, &start), S_OK);
    EXPECT_EQ(start, 2000.0);
    EXPECT_EQ(emulator_->VerifyScript(), Messages{});
}

TEST_F(AttributeEngine, RangeCheckOnSendsValuesUnchanged) {
    Open(L"Simulate=false,RangeCheck=true");
    EXPECT_EQ(Table().Put(Id::kTevoLevelAttenuation, -10.0), S_OK);
    EXPECT_EQ(Sent(), Messages{"INP1:ATT -10.000000"});
}

TEST_F(AttributeEngine, UnknownTokensAndBooleanRepliesFailWithoutErrorInformation) {
    Open();
    emulator_->ExpectQuery("SENS1:DET?", "FOO");
    TevoDetectorTypeEnum detector = TevoDetectorTypeAutoPeak;
    EXPECT_EQ(Table().Get(Id::kTevoAcquisitionDetectorType, &detector), E_FAIL);
    EXPECT_EQ(detector, TevoDetectorTypeAutoPeak);
    EXPECT_FALSE(TakeThreadError().present);

    emulator_->ExpectQuery("SENS1:DET:AUTO?", "2");
    VARIANT_BOOL automatic = VARIANT_TRUE;
    EXPECT_EQ(Table().Get(Id::kTevoAcquisitionDetectorTypeAuto, &automatic), E_FAIL);
    EXPECT_EQ(automatic, VARIANT_TRUE);
    EXPECT_FALSE(TakeThreadError().present);

    // A text Boolean accepts only its table's tokens (the numeric reply included).
    emulator_->ExpectQuery("INP1:GAIN:STAT?", "1");
    EXPECT_EQ(Table().Get(Id::kTevoLevelRFPreamplifierEnabled, &automatic), E_FAIL);
    // The marker type reply table knows 0 and 1 only.
    emulator_->ExpectQuery("CALC1:DELT?", "2");
    TevoMarkerTypeEnum type = TevoMarkerTypeNormal;
    EXPECT_EQ(Table().Get(Id::kTevoMarkerType, &type), E_FAIL);
    EXPECT_EQ(emulator_->VerifyScript(), Messages{});
}

TEST_F(AttributeEngine, ValuesOutsideTheForwardMapSendNothing) {
    Open();
    EXPECT_EQ(Table().Put(Id::kTevoAcquisitionDetectorType, static_cast<LONG>(7)), E_FAIL);
    EXPECT_EQ(Table().Put(Id::kTevoAcquisitionVerticalScale, static_cast<LONG>(0)), E_FAIL);
    // The class-compliant AC line source (4) has no instrument token.
    EXPECT_EQ(Table().Put(Id::kSpecAnTriggerSource, static_cast<LONG>(4)), E_FAIL);
    EXPECT_EQ(Table().TracePut(TraceList::kTevo, 0, TraceAttribute::kType, 9), E_FAIL);
    EXPECT_FALSE(TakeThreadError().present);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(AttributeEngine, NullOutPointerIsReportedBeforeAnyExchange) {
    Open();
    EXPECT_EQ(Table().Get(Id::kTevoFrequencyStart, static_cast<double*>(nullptr)),
              E_IVI_NULL_POINTER);
    const ThreadError error = TakeThreadError();
    ASSERT_TRUE(error.present);
    EXPECT_NE(error.description.find(L"Method: InstrGet, Param: pVal"), std::wstring::npos)
        << error.description;
    EXPECT_EQ(
        Table().Get(Id::kTevoAcquisitionDetectorType, static_cast<TevoDetectorTypeEnum*>(nullptr)),
        E_IVI_NULL_POINTER);
    EXPECT_EQ(Table().Get(Id::kTevoMarkerActiveMarker, static_cast<BSTR*>(nullptr)),
              E_IVI_NULL_POINTER);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(AttributeEngine, NullOutPointerIsReportedInSimulationToo) {
    Open(L"Simulate=true");
    EXPECT_EQ(Table().Get(Id::kTevoSweepCouplingResolutionBandwidthAuto,
                          static_cast<VARIANT_BOOL*>(nullptr)),
              E_IVI_NULL_POINTER);
    EXPECT_TRUE(TakeThreadError().present);
}

TEST_F(AttributeEngine, ActiveScreenBChangesEveryLaterSuffix) {
    Open();
    TevoActiveScreenEnum screen = TevoActiveScreenB;
    EXPECT_EQ(Table().Get(Id::kTevoDisplayActiveScreen, &screen), S_OK);
    EXPECT_EQ(screen, TevoActiveScreenA);
    EXPECT_EQ(Table().Put(Id::kTevoAcquisitionDetectorTypeAuto, VARIANT_TRUE), S_OK);
    EXPECT_EQ(Table().Put(Id::kTevoDisplayActiveScreen, TevoActiveScreenB), S_OK);
    EXPECT_EQ(Table().Put(Id::kTevoAcquisitionDetectorTypeAuto, VARIANT_TRUE), S_OK);
    EXPECT_EQ(Table().Put(Id::kTevoAcquisitionVerticalScale, TevoVerticalScaleLogarithmic), S_OK);
    EXPECT_EQ(Sent(), (Messages{"SENS1:DET:AUTO ON", "DISP:WIND2:SEL", "SENS2:DET:AUTO ON",
                                "DISP:WIND2:TRAC:Y:SPAC LOG"}));
    EXPECT_EQ(Table().Get(Id::kTevoDisplayActiveScreen, &screen), S_OK);
    EXPECT_EQ(screen, TevoActiveScreenB);
    emulator_->ExpectQuery("UNIT2:POW?", "DBMV");
    TevoAmplitudeUnitsEnum units = TevoAmplitudeUnitsDBM;
    EXPECT_EQ(Table().Get(Id::kTevoLevelAmplitudeUnits, &units), S_OK);
    EXPECT_EQ(units, TevoAmplitudeUnitsDBMV);
    EXPECT_EQ(emulator_->VerifyScript(), Messages{});
    emulator_->ClearScript();
    EXPECT_EQ(Table().Put(Id::kTevoDisplayActiveScreen, TevoActiveScreenA), S_OK);
    EXPECT_EQ(Table().Put(Id::kTevoFrequencyStart, 1e6), S_OK);
    EXPECT_EQ(Sent(), (Messages{"UNIT2:POW?", "DISP:WIND1:SEL", "SENS1:FREQ:STAR 1000000.000000"}));
}

TEST_F(AttributeEngine, ActiveScreenIsStoredEvenWhenTheWriteFails) {
    Open(L"Simulate=false,QueryInstrStatus=true");
    emulator_->SetEventStatusBits(32);
    EXPECT_EQ(Table().Put(Id::kTevoDisplayActiveScreen, TevoActiveScreenB),
              E_IVI_INSTRUMENT_STATUS);
    EXPECT_EQ(context_->StoredActiveScreen(), TevoActiveScreenB);
    // A successful exchange with the status check on gives the status of the "*ESR?" read.
    EXPECT_EQ(Table().Put(Id::kTevoFrequencyStop, 2e6), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(Sent(),
              (Messages{"DISP:WIND2:SEL", "*ESR?", "SENS2:FREQ:STOP 2000000.000000", "*ESR?"}));
}

TEST_F(AttributeEngine, ActiveScreenOutsideTheEnumerationIsNeitherSentNorStored) {
    Open();
    EXPECT_EQ(Table().Put(Id::kTevoDisplayActiveScreen, static_cast<LONG>(2)), E_FAIL);
    EXPECT_EQ(context_->StoredActiveScreen(), TevoActiveScreenA);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(AttributeEngine, ActiveMarkerTwoIsUsedByMarkerEnabled) {
    Open();
    Bstr marker;
    EXPECT_EQ(Table().Get(Id::kTevoMarkerActiveMarker, &marker), S_OK);
    EXPECT_EQ(marker.ToWide(), L"1");
    EXPECT_EQ(Table().Put(Id::kTevoMarkerActiveMarker, Bstr(L"2").Get()), S_OK);
    EXPECT_EQ(Table().Put(Id::kTevoMarkerEnabled, VARIANT_TRUE), S_OK);
    // Only the first character counts.
    EXPECT_EQ(Table().Put(Id::kSpecAnMarkerActiveMarker, Bstr(L"34").Get()), S_OK);
    EXPECT_EQ(Table().Put(Id::kSpecAnMarkerEnabled, VARIANT_FALSE), S_OK);
    EXPECT_EQ(Sent(), (Messages{"CALC1:MARK2 ON", "CALC1:MARK3 OFF"}));
    EXPECT_EQ(Table().Get(Id::kTevoMarkerActiveMarker, &marker), S_OK);
    EXPECT_EQ(marker.ToWide(), L"3");
}

TEST_F(AttributeEngine, ActiveMarkerRefusesTextsThatDoNotStartWithADigit) {
    Open();
    for (const wchar_t* text : {L"x", L"", L" 2", L"A1"}) {
        SCOPED_TRACE(std::string(text, text + std::wcslen(text)));
        EXPECT_EQ(Table().Put(Id::kTevoMarkerActiveMarker, Bstr(text).Get()), E_IVI_INVALID_VALUE);
        const ThreadError error = TakeThreadError();
        ASSERT_TRUE(error.present);
        const std::wstring details =
            std::wstring(L"Value: ") + text + L", Method: put_ActiveMarker, Param:newVal";
        EXPECT_NE(error.description.find(details), std::wstring::npos) << error.description;
    }
    EXPECT_EQ(Table().Put(Id::kTevoMarkerActiveMarker, static_cast<BSTR>(nullptr)),
              E_IVI_INVALID_VALUE);
    EXPECT_EQ(context_->StoredActiveMarker(), 1);
    EXPECT_EQ(Table().Put(Id::kTevoMarkerEnabled, VARIANT_TRUE), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC1:MARK1 ON"});
}

TEST_F(AttributeEngine, ActiveMarkerInSimulationIsNotStored) {
    Open(L"Simulate=true");
    EXPECT_EQ(Table().Put(Id::kTevoMarkerActiveMarker, Bstr(L"4").Get()), S_OK);
    EXPECT_EQ(context_->StoredActiveMarker(), 1);
    Bstr marker;
    EXPECT_EQ(Table().Get(Id::kTevoMarkerActiveMarker, &marker), S_OK);
    EXPECT_EQ(marker.ToWide(), L"Simulated string");
    TevoActiveScreenEnum screen = TevoActiveScreenB;
    EXPECT_EQ(Table().Put(Id::kTevoDisplayActiveScreen, TevoActiveScreenB), S_OK);
    EXPECT_EQ(Table().Get(Id::kTevoDisplayActiveScreen, &screen), S_OK);
    EXPECT_EQ(screen, TevoActiveScreenA);
}

TEST_F(AttributeEngine, UnitsPerDivisionAcceptsOnlyTen) {
    Open();
    double units = 0.0;
    EXPECT_EQ(Table().Get(Id::kTevoDisplayUnitsPerDivision, &units), S_OK);
    EXPECT_EQ(units, 10.0);
    EXPECT_EQ(Table().Put(Id::kTevoDisplayUnitsPerDivision, 10.0), S_OK);
    EXPECT_EQ(Table().Put(Id::kTevoDisplayUnitsPerDivision, 5.0), kValueNotSupported);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(AttributeEngine, UnitsPerDivisionInSimulation) {
    Open(L"Simulate=true");
    double units = 7.0;
    EXPECT_EQ(Table().Get(Id::kTevoDisplayUnitsPerDivision, &units), S_OK);
    EXPECT_EQ(units, 0.0);
    EXPECT_EQ(Table().Put(Id::kTevoDisplayUnitsPerDivision, 10.0), S_OK);
    EXPECT_EQ(Table().Put(Id::kTevoDisplayUnitsPerDivision, 5.0), S_OK);
}

TEST_F(AttributeEngine, ConstantsAnswerWithoutIo) {
    Open();
    LONG value = 0;
    EXPECT_EQ(Table().Get(Id::kTevoDisplayNumberOfDivisions, &value), S_OK);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(Table().Get(Id::kSpecAnDisplayNumberOfDivisions, &value), S_OK);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(Table().Get(Id::kTevoMarkerCount, &value), S_OK);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(Table().Get(Id::kSpecAnMarkerCount, &value), S_OK);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(AttributeEngine, ConstantsAreZeroInSimulation) {
    Open(L"Simulate=true");
    LONG value = 9;
    EXPECT_EQ(Table().Get(Id::kTevoDisplayNumberOfDivisions, &value), S_OK);
    EXPECT_EQ(value, 0);
    value = 9;
    EXPECT_EQ(Table().Get(Id::kTevoMarkerCount, &value), S_OK);
    EXPECT_EQ(value, 0);
}

TEST_F(AttributeEngine, ClassCompliantPropertiesWithoutAnInstrumentSetting) {
    Open();
    VARIANT_BOOL enabled = VARIANT_TRUE;
    EXPECT_EQ(Table().Get(Id::kSpecAnExternalMixerEnabled, &enabled), E_IVI_PROPERTY_NOT_SUPPORTED);
    EXPECT_EQ(enabled, VARIANT_FALSE);
    EXPECT_FALSE(TakeThreadError().present);
    LONG harmonic = 3;
    EXPECT_EQ(Table().Get(Id::kSpecAnExternalMixerHarmonic, &harmonic),
              E_IVI_PROPERTY_NOT_SUPPORTED);
    EXPECT_EQ(harmonic, 0);
    double level = 3.0;
    EXPECT_EQ(Table().Get(Id::kSpecAnExternalMixerBiasLimit, &level), E_IVI_PROPERTY_NOT_SUPPORTED);
    EXPECT_EQ(level, 0.0);
    EXPECT_EQ(Table().Put(Id::kSpecAnExternalMixerConversionLossTableEnabled, VARIANT_TRUE),
              E_IVI_PROPERTY_NOT_SUPPORTED);
    EXPECT_EQ(Table().Put(Id::kSpecAnExternalMixerAverageConversionLoss, 1.0),
              E_IVI_PROPERTY_NOT_SUPPORTED);
    EXPECT_FALSE(TakeThreadError().present);

    level = 3.0;
    EXPECT_EQ(Table().Get(Id::kSpecAnDisplayUnitsPerDivision, &level), S_OK);
    EXPECT_EQ(level, 0.0);
    EXPECT_EQ(Table().Put(Id::kSpecAnDisplayUnitsPerDivision, 10.0), E_IVI_PROPERTY_NOT_SUPPORTED);
    level = 3.0;
    EXPECT_EQ(Table().Get(Id::kSpecAnTriggerExternalLevel, &level), S_OK);
    EXPECT_EQ(level, 0.0);
    EXPECT_EQ(Table().Put(Id::kSpecAnTriggerExternalLevel, 1.0), S_OK);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(AttributeEngine, ClassCompliantPropertiesWithoutAnInstrumentSettingInSimulation) {
    Open(L"Simulate=true");
    VARIANT_BOOL enabled = VARIANT_FALSE;
    EXPECT_EQ(Table().Get(Id::kSpecAnExternalMixerBiasEnabled, &enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_TRUE);
    LONG ports = 3;
    EXPECT_EQ(Table().Get(Id::kSpecAnExternalMixerNumberOfPorts, &ports), S_OK);
    EXPECT_EQ(ports, 0);
    EXPECT_EQ(Table().Put(Id::kSpecAnExternalMixerHarmonic, static_cast<LONG>(2)), S_OK);
    EXPECT_EQ(Table().Put(Id::kSpecAnDisplayUnitsPerDivision, 5.0), S_OK);
}

TEST_F(AttributeEngine, TraceSizeIsTheSameQueryForEveryTrace) {
    Open();
    for (size_t index = 0; index < kTevoTraceCount; ++index) {
        emulator_->ExpectQuery("SENS:SWE:POIN?", "501");
    }
    for (size_t index = 0; index < kSpecAnTraceCount; ++index) {
        emulator_->ExpectQuery("SENS:SWE:POIN?", "501");
    }
    context_->StoreActiveScreen(TevoActiveScreenB);
    for (size_t index = 0; index < kTevoTraceCount; ++index) {
        LONG size = 0;
        EXPECT_EQ(Table().TraceGet(TraceList::kTevo, index, TraceAttribute::kSize, &size), S_OK);
        EXPECT_EQ(size, 501);
    }
    for (size_t index = 0; index < kSpecAnTraceCount; ++index) {
        LONG size = 0;
        EXPECT_EQ(Table().TraceGet(TraceList::kSpecAn, index, TraceAttribute::kSize, &size), S_OK);
        EXPECT_EQ(size, 501);
    }
    EXPECT_EQ(emulator_->VerifyScript(), Messages{});
}

TEST_F(AttributeEngine, TraceTypeAddressesTheTraceNumber) {
    Open();
    emulator_->ExpectQuery("DISP:WIND1:TRAC3:MODE?", "MAXH");
    TevoTraceTypeEnum type = TevoTraceTypeClearWrite;
    EXPECT_EQ(Table().TraceGet(TraceList::kTevo, 2, TraceAttribute::kType, &type), S_OK);
    EXPECT_EQ(type, TevoTraceTypeMaxHold);
    EXPECT_EQ(emulator_->VerifyScript(), Messages{});
    emulator_->ClearScript();
    emulator_->ClearReceivedMessages();
    context_->StoreActiveScreen(TevoActiveScreenB);
    EXPECT_EQ(
        Table().TracePut(TraceList::kTevo, 5, TraceAttribute::kType, TevoTraceTypeVideoAverage),
        S_OK);
    EXPECT_EQ(
        Table().TracePut(TraceList::kSpecAn, 1, TraceAttribute::kType, IviSpecAnTraceTypeStore),
        S_OK);
    EXPECT_EQ(Sent(), (Messages{"DISP:WIND2:TRAC6:MODE AVER", "DISP:WIND2:TRAC2:MODE BLAN"}));
    EXPECT_EQ(Table().TraceGet(TraceList::kTevo, 6, TraceAttribute::kType, &type), E_INVALIDARG);
}

TEST_F(AttributeEngine, TraceAttributesInSimulation) {
    Open(L"Simulate=true");
    LONG size = 9;
    EXPECT_EQ(Table().TraceGet(TraceList::kTevo, 4, TraceAttribute::kSize, &size), S_OK);
    EXPECT_EQ(size, 0);
    IviSpecAnTraceTypeEnum type = IviSpecAnTraceTypeMaxHold;
    EXPECT_EQ(Table().TraceGet(TraceList::kSpecAn, 0, TraceAttribute::kType, &type), S_OK);
    EXPECT_EQ(type, IviSpecAnTraceTypeClearWrite);
    EXPECT_EQ(Table().TracePut(TraceList::kTevo, 0, TraceAttribute::kType, 2), S_OK);
}

TEST_F(AttributeEngine, EmulatorAnswersTheChosenMarkerAndTraceCommands) {
    Open();
    EXPECT_EQ(Table().Put(Id::kTevoMarkerThreshold, -70.0), S_OK);
    double threshold = 0.0;
    EXPECT_EQ(Table().Get(Id::kTevoMarkerThreshold, &threshold), S_OK);
    EXPECT_EQ(threshold, -70.0);
    EXPECT_EQ(Table().Put(Id::kTevoMarkerPeakExcursion, 12.0), S_OK);
    double excursion = 0.0;
    EXPECT_EQ(Table().Get(Id::kTevoMarkerPeakExcursion, &excursion), S_OK);
    EXPECT_EQ(excursion, 12.0);
    EXPECT_EQ(Table().TracePut(TraceList::kTevo, 1, TraceAttribute::kType, TevoTraceTypeMinHold),
              S_OK);
    TevoTraceTypeEnum type = TevoTraceTypeClearWrite;
    EXPECT_EQ(Table().TraceGet(TraceList::kTevo, 1, TraceAttribute::kType, &type), S_OK);
    EXPECT_EQ(type, TevoTraceTypeMinHold);
    TevoMarkerTypeEnum marker_type = TevoMarkerTypeDelta;
    EXPECT_EQ(Table().Get(Id::kTevoMarkerType, &marker_type), S_OK);
    EXPECT_EQ(marker_type, TevoMarkerTypeNormal);
}

TEST_F(AttributeEngine, LongReplyDoesNotSpillIntoTheNextQuery) {
    Open();
    emulator_->ExpectQuery("SENS1:FREQ:STAR?", "1" + std::string(299, '0'));
    emulator_->ExpectQuery("SENS1:FREQ:STOP?", "2000");
    double start = 0.0;
    Table().Get(Id::kTevoFrequencyStart, &start);
    double stop = 0.0;
    EXPECT_EQ(Table().Get(Id::kTevoFrequencyStop, &stop), S_OK);
    EXPECT_EQ(stop, 2000.0);
    EXPECT_EQ(emulator_->VerifyScript(), Messages{});
}

TEST_F(AttributeEngine, InvalidateAllSendsNothing) {
    Open();
    Table().InvalidateAll();
    EXPECT_EQ(Sent(), Messages{});
}

}  // namespace
}  // namespace tevo::driver
