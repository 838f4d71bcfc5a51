// The header of an IEEE 488.2 definite-length block as the driver reads it: "#", a digit n
// from 1 to 9, then n decimal digits giving the data length. "#0" (an indefinite block)
// carries no length. The header arrives in two reads (the first two bytes, then the n
// digits); each check names what is wrong with the bytes that arrived.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "tevo/win/types.h"

namespace tevo::driver::operations {

// The first two bytes (`received` of them arrived; the rest of `start` is zero). Sets
// *digits to n, or to 0 for "#0"; otherwise returns why this is not a block header.
std::optional<std::string> CheckBlockStart(const BYTE (&start)[2], size_t received, size_t* digits);

// The n = `digits` length digits in `field`, `received` of them arrived. Sets *length, or
// returns why the field is not a length.
std::optional<std::string> ParseBlockLength(const BYTE* field, size_t received, size_t digits,
                                            long long* length);

// Bytes as text for a message: printable ASCII as it is, anything else as \xHH.
std::string PrintableBytes(const BYTE* bytes, size_t count);

}  // namespace tevo::driver::operations
