// Reading the parameters of a program message unit as the analyzer does: numbers with
// units and MIN/MAX/DEF, integers, booleans, enumerations; and checking their count. Each
// function throws scpi::Error with the SCPI error number of the problem.
#pragma once

#include <span>
#include <string>

#include "instrument/command_table.h"
#include "scpi/program_message.h"

namespace tevo::emulator {

// -109 when fewer, -108 when more parameters than count were given.
void RequireParameterCount(const scpi::ProgramUnit& unit, size_t count);
// The error for a parameter of a type that the header does not take.
[[noreturn]] void RejectParameterType(const scpi::Parameter& parameter);

// A real value in the unit class's base unit (levels in dBm), MIN/MAX/DEF taking the
// limits; -222 outside the limits.
double ReadReal(const CommandContext& context, const scpi::Parameter& parameter,
                scpi::UnitClass unit_class, const Limits& limits);
// An integer (numbers are rounded); -222 outside the limits.
long long ReadInteger(const scpi::Parameter& parameter, const Limits& limits);
// ON, OFF or a number (0 is false, any other value true).
bool ReadBoolean(const scpi::Parameter& parameter);
// The value of the item that the character data names; -141 when none does.
int ReadEnum(const scpi::Parameter& parameter, std::span<const EnumItem> items);
// The short form of the first item with the value.
std::string EnumReply(std::span<const EnumItem> items, int value);
// Whether an upper-case word is the short or long form of a mnemonic written in SCPI
// notation ("APEak" accepts APE and APEAK).
bool MnemonicMatches(std::string_view mnemonic, std::string_view word);

// A level kept in dBm, in the screen's amplitude unit.
double LevelInScreenUnit(const CommandContext& context, double dbm);

}  // namespace tevo::emulator
