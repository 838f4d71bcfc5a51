#include "instrument/level_units.h"

#include <gtest/gtest.h>

#include <cmath>

#include "instrument/instrument_state.h"

using namespace tevo::emulator;

TEST(LevelUnits, ConversionsAt50And75Ohm) {
    EXPECT_NEAR(DbmToUnit(0, kUnitDbmv, 50), 46.9897, 1e-4);
    EXPECT_NEAR(DbmToUnit(0, kUnitDbuv, 50), 106.9897, 1e-4);
    EXPECT_NEAR(DbmToUnit(0, kUnitDbmv, 75), 48.7506, 1e-4);
    EXPECT_NEAR(DbmToUnit(0, kUnitVolt, 50), 0.223607, 1e-6);
    EXPECT_NEAR(DbmToUnit(0, kUnitWatt, 50), 1e-3, 1e-15);
    EXPECT_DOUBLE_EQ(DbmToUnit(-20, kUnitDbm, 50), -20);
    for (const int unit : {kUnitDbm, kUnitDbmv, kUnitDbuv, kUnitVolt, kUnitWatt}) {
        for (const double dbm : {-120.0, -20.0, 0.0, 17.5}) {
            EXPECT_NEAR(UnitToDbm(DbmToUnit(dbm, unit, 75), unit, 75), dbm, 1e-9);
        }
    }
    EXPECT_TRUE(std::isnan(UnitToDbm(0, kUnitVolt, 50)));
    EXPECT_TRUE(std::isnan(UnitToDbm(-1, kUnitWatt, 50)));
    EXPECT_EQ(UnitFromSuffix("DBUV"), kUnitDbuv);
    EXPECT_EQ(UnitFromSuffix("HZ"), 0);
    EXPECT_TRUE(IsLogarithmicUnit(kUnitDbmv));
    EXPECT_FALSE(IsLogarithmicUnit(kUnitWatt));
}
