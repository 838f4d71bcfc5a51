// Reading the installation's result for SetupRunner: the string value ResultSetup and the
// decimal number at its start.
#pragma once

#include <string>
#include <string_view>

#include "tevo/win/windows.h"

namespace tevo::tools {

// Reads a REG_SZ value whole, whatever its length: the size is asked for first, and again
// when the value grew between the two reads. The text ends at the first zero of the data
// (a value stored without its terminating zero keeps all its bytes). ERROR_SUCCESS, the
// error of the registry, or ERROR_DATATYPE_MISMATCH for a value of another type.
LONG GetStringRegistryValue(HKEY root, const char* key_path, const char* value_name,
                            std::string* text);

// What a "%d" conversion finds at the start of a text.
struct ScannedNumber {
    // The text holds nothing but white space: the conversion meets the end of the input.
    bool end_of_input = false;
    // The number read; -1 when the text does not begin with one.
    int value = -1;
};

// Reads a decimal number as "%d" does: white space is skipped, then an optional sign and
// the digits that follow are taken; anything after them is ignored. A number beyond the
// range of int is clamped to that range.
ScannedNumber ScanDecimal(std::string_view text);

}  // namespace tevo::tools
