#include "instrument/level_units.h"

#include <cmath>
#include <limits>

#include "instrument/instrument_state.h"

namespace tevo::emulator {

double DbmToUnit(double dbm, int unit, double impedance) {
    const double watts = std::pow(10.0, (dbm - 30.0) / 10.0);
    switch (unit) {
        case kUnitDbmv:
            return dbm + 30.0 + 10.0 * std::log10(impedance);
        case kUnitDbuv:
            return dbm + 90.0 + 10.0 * std::log10(impedance);
        case kUnitVolt:
            return std::sqrt(watts * impedance);
        case kUnitWatt:
            return watts;
        default:
            return dbm;
    }
}

double UnitToDbm(double value, int unit, double impedance) {
    switch (unit) {
        case kUnitDbmv:
            return value - 30.0 - 10.0 * std::log10(impedance);
        case kUnitDbuv:
            return value - 90.0 - 10.0 * std::log10(impedance);
        case kUnitVolt:
            if (!(value > 0))
                return std::numeric_limits<double>::quiet_NaN();
            return 10.0 * std::log10(value * value / impedance) + 30.0;
        case kUnitWatt:
            if (!(value > 0))
                return std::numeric_limits<double>::quiet_NaN();
            return 10.0 * std::log10(value) + 30.0;
        default:
            return value;
    }
}

int UnitFromSuffix(std::string_view suffix) {
    if (suffix == "DBM")
        return kUnitDbm;
    if (suffix == "DBMV")
        return kUnitDbmv;
    if (suffix == "DBUV")
        return kUnitDbuv;
    if (suffix == "V")
        return kUnitVolt;
    if (suffix == "W")
        return kUnitWatt;
    return 0;
}

bool IsLogarithmicUnit(int unit) {
    return unit != kUnitVolt && unit != kUnitWatt;
}

}  // namespace tevo::emulator
