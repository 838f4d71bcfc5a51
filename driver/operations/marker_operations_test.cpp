// Marker operations against the emulator: exact commands and their effect on the markers,
// the class-compliant forwards with their mapped enumerators, values outside the tables,
// null pointers, the values Query returns, and simulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "operations/marker_operations.h"
#include "operations/operation_test_context.h"
#include "operations/trace_acquisition.h"
#include "session/error_codes.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using namespace tevo::driver::operations;
using Messages = std::vector<std::string>;

class MarkerOperations : public OperationSession {};

TEST_F(MarkerOperations, MakeDeltaAddressesTheActiveMarker) {
    Open();
    EXPECT_EQ(TevoMarkerMakeDelta(Context(), VARIANT_TRUE), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC1:DELT1 ON"});
    EXPECT_EQ(emulator_->Execute("CALC1:DELT1?"), "1");

    Context().StoreActiveMarker(3);
    EXPECT_EQ(TevoMarkerMakeDelta(Context(), VARIANT_TRUE), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC1:DELT3 ON"});
    EXPECT_EQ(emulator_->Execute("CALC1:DELT3?"), "1");
    // 1 is not true: the marker becomes a normal marker again.
    EXPECT_EQ(TevoMarkerMakeDelta(Context(), 1), S_OK);
    EXPECT_EQ(TevoMarkerMakeDelta(Context(), VARIANT_FALSE), S_OK);
    EXPECT_EQ(Sent(), (Messages{"CALC1:MARK3 ON", "CALC1:MARK3 ON"}));
    EXPECT_EQ(emulator_->Execute("CALC1:DELT3?"), "0");
    EXPECT_EQ(SpecAnMarkerMakeDelta(Context(), VARIANT_TRUE), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC1:DELT3 ON"});

    EXPECT_EQ(SpecAnMarkerDisableAll(Context()), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC:MARK:AOFF"});
    EXPECT_EQ(emulator_->Execute("CALC1:DELT3?"), "0");
    EXPECT_EQ(emulator_->Execute("CALC1:MARK3?"), "0");
}

TEST_F(MarkerOperations, SearchCarriesNeitherSuffixNorMarkerAndMapsClassValues) {
    Open();
    Context().StoreActiveMarker(3);
    Context().StoreActiveScreen(TevoActiveScreenB);
    EXPECT_EQ(TevoMarkerSearch(Context(), TevoMarkerSearchHighest), S_OK);
    EXPECT_EQ(TevoMarkerSearch(Context(), TevoMarkerSearchNextPeak), S_OK);
    EXPECT_EQ(Sent(), (Messages{"CALC:MARK:MAX", "CALC:MARK:MAX:NEXT"}));
    EXPECT_EQ(TevoMarkerSearch(Context(), static_cast<TevoMarkerSearchEnum>(5)), E_FAIL);
    EXPECT_FALSE(TakeThreadError().present);
    EXPECT_EQ(Sent(), Messages{});

    // The class-compliant library numbers minimum 2 and next peak 3.
    EXPECT_EQ(SpecAnMarkerSearch(Context(), IviSpecAnMarkerSearchMinimum), S_OK);
    EXPECT_EQ(SpecAnMarkerSearch(Context(), IviSpecAnMarkerSearchNextPeak), S_OK);
    EXPECT_EQ(SpecAnMarkerSearch(Context(), IviSpecAnMarkerSearchNextPeakRight), S_OK);
    EXPECT_EQ(SpecAnMarkerSearch(Context(), static_cast<IviSpecAnMarkerSearchEnum>(10)), E_FAIL);
    EXPECT_EQ(Sent(), (Messages{"CALC:MARK:MIN", "CALC:MARK:MAX:NEXT", "CALC:MARK:MAX:RIGHT"}));
}

TEST_F(MarkerOperations, SetInstrumentFromMarkerMovesTheCenter) {
    Open();
    ASSERT_EQ(TevoMarkerSearch(Context(), TevoMarkerSearchHighest), S_OK);
    Sent();
    const double peak = std::stod(emulator_->Execute("CALC1:MARK1:X?"));
    EXPECT_EQ(TevoMarkerSetInstrumentFromMarker(Context(), TevoInstrumentSettingFrequencyCenter),
              S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC:MARK:FUNC:CENT"});
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("SENS1:FREQ:CENT?")), peak);
    EXPECT_EQ(
        TevoMarkerSetInstrumentFromMarker(Context(), static_cast<TevoInstrumentSettingEnum>(4)),
        E_FAIL);
    EXPECT_EQ(Sent(), Messages{});

    // Class-compliant center is 1 and reference level 5; span has no counterpart.
    EXPECT_EQ(
        SpecAnMarkerSetInstrumentFromMarker(Context(), IviSpecAnInstrumentSettingFrequencyCenter),
        S_OK);
    EXPECT_EQ(
        SpecAnMarkerSetInstrumentFromMarker(Context(), IviSpecAnInstrumentSettingReferenceLevel),
        S_OK);
    EXPECT_EQ(
        SpecAnMarkerSetInstrumentFromMarker(Context(), IviSpecAnInstrumentSettingFrequencySpan),
        E_FAIL);
    EXPECT_EQ(Sent(), (Messages{"CALC:MARK:FUNC:CENT", "CALC:MARK:FUNC:REF"}));
}

TEST_F(MarkerOperations, FrequencyCounterConfigure) {
    Open();
    EXPECT_EQ(TevoFrequencyCounterConfigure(Context(), VARIANT_TRUE, 10.0), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC:MARK:COUN ON;RES 10.000000"});
    EXPECT_EQ(emulator_->Execute("CALC1:MARK1:COUN?"), "1");
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("CALC1:MARK1:COUN:RES?")), 10.0);
    EXPECT_EQ(TevoFrequencyCounterConfigure(Context(), 1, 10.0), E_FAIL);
    EXPECT_EQ(Sent(), Messages{});
    EXPECT_EQ(SpecAnFrequencyCounterConfigure(Context(), VARIANT_FALSE, 100.0), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC:MARK:COUN OFF;RES 100.000000"});
    EXPECT_EQ(emulator_->Execute("CALC1:MARK1:COUN?"), "0");
}

TEST_F(MarkerOperations, ConfigureEnabledAndSearchSetTheActiveMarker) {
    Open();
    Context().StoreActiveMarker(2);
    EXPECT_EQ(TevoMarkerConfigureEnabled(Context(), VARIANT_TRUE, Bstr(L"TRACE2").Get()), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC1:MARK2 ON;TRAC TRACE2"});
    EXPECT_EQ(emulator_->Execute("CALC1:MARK2?"), "1");
    EXPECT_EQ(emulator_->Execute("CALC1:MARK2:TRAC?"), "2");
    EXPECT_EQ(SpecAnMarkerConfigureEnabled(Context(), 1, Bstr(L"TRACE1").Get()), E_FAIL);
    EXPECT_EQ(Sent(), Messages{});

    EXPECT_EQ(SpecAnMarkerConfigureSearch(Context(), 10.0, -80.0), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC1:MARK2:PEXC 10.000000;:CALC1:THR -80.000000"});
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("CALC1:MARK2:PEXC?")), 10.0);
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("CALC1:THR?")), -80.0);
}

TEST_F(MarkerOperations, QueryChecksPointersFirstAndReturnsTheInstrumentsValues) {
    Open();
    double position = 5.0;
    EXPECT_EQ(TevoMarkerQuery(Context(), &position, nullptr), E_IVI_NULL_POINTER);
    ThreadError error = TakeThreadError();
    ASSERT_TRUE(error.present);
    EXPECT_NE(error.description.find(L"Method: Query, Param: MarkerAmplitude"), std::wstring::npos)
        << error.description;
    EXPECT_EQ(SpecAnMarkerQueryReference(Context(), nullptr, nullptr), E_IVI_NULL_POINTER);
    error = TakeThreadError();
    EXPECT_NE(error.description.find(L"Method: QueryReference, Param: ReferencePosition"),
              std::wstring::npos)
        << error.description;
    EXPECT_EQ(Sent(), Messages{});

    // A peak found by the search lies where the trace read by ReadY has its maximum.
    SAFEARRAY* trace = nullptr;
    ASSERT_EQ(ReadY(Context(), 1, 0, &trace), S_OK);
    LONG upper = -1;
    SafeArrayGetUBound(trace, 1, &upper);
    double* values = nullptr;
    SafeArrayAccessData(trace, reinterpret_cast<void**>(&values));
    const size_t points = static_cast<size_t>(upper) + 1;
    const size_t highest = static_cast<size_t>(std::max_element(values, values + points) - values);
    const double maximum = values[highest];
    SafeArrayUnaccessData(trace);
    SafeArrayDestroy(trace);

    ASSERT_EQ(TevoMarkerSearch(Context(), TevoMarkerSearchHighest), S_OK);
    double amplitude = 0.0;
    ASSERT_EQ(TevoMarkerQuery(Context(), &position, &amplitude), S_OK);
    const double start = std::stod(emulator_->Execute("SENS1:FREQ:STAR?"));
    const double stop = std::stod(emulator_->Execute("SENS1:FREQ:STOP?"));
    const double expected =
        start + (stop - start) * static_cast<double>(highest) / static_cast<double>(points - 1);
    EXPECT_NEAR(position, expected, 1e-6 * (stop - start));
    EXPECT_NEAR(amplitude, maximum, 1e-3);
    double class_position = 0.0;
    double class_amplitude = 0.0;
    ASSERT_EQ(SpecAnMarkerQuery(Context(), &class_position, &class_amplitude), S_OK);
    EXPECT_DOUBLE_EQ(class_position, position);
    EXPECT_DOUBLE_EQ(class_amplitude, amplitude);
}

TEST_F(MarkerOperations, NamesOfBothViews) {
    Open();
    EXPECT_EQ(TevoMarkerName(Context(), 1, nullptr), E_IVI_NULL_POINTER);
    EXPECT_NE(TakeThreadError().description.find(L"Method: get_Name, Param: pVal"),
              std::wstring::npos);
    ASSERT_EQ(TevoMarkerSearch(Context(), TevoMarkerSearchHighest), S_OK);
    Sent();
    Bstr name;
    ASSERT_EQ(TevoMarkerName(Context(), 1, &name), S_OK);
    EXPECT_EQ(name.ToWide(), L"M1");
    EXPECT_EQ(Sent(), Messages{"CALC1:MARK1:NAME?"});
    Bstr class_name;
    ASSERT_EQ(SpecAnMarkerName(Context(), 7, &class_name), S_OK);
    EXPECT_EQ(class_name.Get(), nullptr);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(MarkerOperations, SimulationSendsNothing) {
    Open(L"Simulate=true");
    EXPECT_EQ(TevoMarkerDisableAll(Context()), S_OK);
    EXPECT_EQ(TevoMarkerMakeDelta(Context(), VARIANT_TRUE), S_OK);
    EXPECT_EQ(TevoMarkerSearch(Context(), static_cast<TevoMarkerSearchEnum>(5)), S_OK);
    EXPECT_EQ(TevoFrequencyCounterConfigure(Context(), VARIANT_TRUE, 10.0), S_OK);
    EXPECT_EQ(TevoMarkerConfigureSearch(Context(), 1.0, 2.0), S_OK);
    double position = 3.0;
    double amplitude = 4.0;
    EXPECT_EQ(TevoMarkerQueryReference(Context(), &position, &amplitude), S_OK);
    EXPECT_EQ(position, 0.0);
    EXPECT_EQ(amplitude, 0.0);
    Bstr name;
    ASSERT_EQ(SpecAnMarkerName(Context(), 1, &name), S_OK);
    EXPECT_EQ(name.ToWide(), L"Simulated string");
    Bstr tevo_name;
    ASSERT_EQ(TevoMarkerName(Context(), 1, &tevo_name), S_OK);
    EXPECT_EQ(tevo_name.ToWide(), L"Simulated string");
    EXPECT_EQ(emulator_->ReceivedMessages(), Messages{});
}

}  // namespace
}  // namespace tevo::driver
