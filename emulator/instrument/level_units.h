// Conversion of levels between dBm, in which the emulator keeps them, and the amplitude
// units of the analyzer: dBm, dBmV, dBµV, volt and watt. Voltages depend on the input
// impedance (50 or 75 ohm).
#pragma once

#include <string_view>

namespace tevo::emulator {

double DbmToUnit(double dbm, int unit, double impedance);
// Not-a-number when the value is no level of that unit (zero or negative volts or watts).
double UnitToDbm(double value, int unit, double impedance);
// The unit that a numeric suffix names ("DBM", "DBMV", "DBUV", "V", "W"), or 0.
int UnitFromSuffix(std::string_view suffix);
// True for the units in which differences of levels are decibels.
bool IsLogarithmicUnit(int unit);

}  // namespace tevo::emulator
