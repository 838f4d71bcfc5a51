// Response data as the analyzer sends it: integers in NR1 form ("501"), reals in NR3 form
// with the fewest digits that give the value back ("1.5E+09", "-2E+01"), booleans as
// "1"/"0", strings in double quotes, IEEE 488.2 definite-length blocks.
#pragma once

#include <string>
#include <string_view>

namespace tevo::emulator::scpi {

std::string FormatInteger(long long value);
// NR3 with the shortest mantissa that reads back as the same double. Not-a-number and
// infinities are sent as the SCPI values 9.91E+37 and (-)9.9E+37.
std::string FormatReal(double value);
// NR3 with the shortest mantissa that reads back as the same single-precision value.
std::string FormatFloat(float value);
std::string FormatBoolean(bool value);
// "text" with embedded double quotes doubled.
std::string FormatString(std::string_view text);
// "#<digits><length><bytes>"; an empty block is "#10".
std::string FormatDefiniteBlock(std::string_view bytes);

}  // namespace tevo::emulator::scpi
