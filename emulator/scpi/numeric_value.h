// Decoding of numeric parameters with unit suffixes as an analyzer accepts them:
// "1.5GHZ", "10 MHz", "100 MS", "-20 DBM", "3 DB". SCPI multiplier prefixes (EX, PE, T,
// G, MA, K, M, U, N, P, F, A) apply to the linear units; "MHZ" and "MOHM" mean mega.
#pragma once

#include <string>

#include "scpi/program_message.h"

namespace tevo::emulator::scpi {

enum class UnitClass {
    kNone,       // a plain number: no suffix allowed
    kFrequency,  // HZ
    kTime,       // S
    kDecibel,    // DB
    kLevel,      // DBM, DBMV, DBUV, V, W
    kPercent,    // PCT
    kImpedance,  // OHM
};

struct Quantity {
    double value = 0;  // with the multiplier applied
    std::string unit;  // the unit named by the suffix ("HZ", "DBMV", ...), empty when none
};

// Decodes a numeric parameter. Throws scpi::Error: -104 when the parameter is not
// numeric, -138 for a suffix on a plain number, -131 for a suffix that is not a unit of
// the class.
Quantity DecodeNumeric(const Parameter& parameter, UnitClass unit_class);

// The MINimum, MAXimum and DEFault keywords that numeric parameters accept.
enum class NumericKeyword { kNone, kMinimum, kMaximum, kDefault };
NumericKeyword NumericKeywordOf(const Parameter& parameter);

}  // namespace tevo::emulator::scpi
