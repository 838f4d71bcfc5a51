// The analyzer's command table, written from the instrument's point of view: one entry per
// SCPI header with the form it accepts (command, query or both), the kind of value, its
// unit, range and state field, and whether it belongs to a screen (the window suffix) or
// to the whole instrument. Settings are handled generically from their entry; operations
// that need code (sweeps, traces, markers, status) name a handler.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/instrument_state.h"
#include "scpi/header_pattern.h"
#include "scpi/numeric_value.h"
#include "scpi/program_message.h"

namespace tevo::emulator {

class Instrument;

// What a command handler works on.
struct CommandContext {
    Instrument& instrument;
    InstrumentState& state;
    ScreenState& screen;  // the screen that the window suffix selects
    int screen_index;     // 0 or 1
    const ModelInfo& model;
    scpi::SuffixValues suffixes;
    double now;                           // clock time
    int& phase;                           // resume state of a handler that waited
    std::vector<std::string>& responses;  // response data units of the message
    bool& indefinite_response;            // an arbitrary ASCII response (*IDN?) was given

    void Respond(std::string text) const { responses.push_back(std::move(text)); }
};

enum class ActionResult {
    kDone,
    kWait,  // the handler waits for pending operations; it runs again when time has passed
};
using ActionHandler = ActionResult (*)(CommandContext&, const scpi::ProgramUnit&);

enum class Access : unsigned char { kCommand = 1, kQuery = 2, kBoth = 3 };
enum class SettingKind { kReal, kInteger, kBoolean, kEnum, kAction };
enum class BooleanReply { kNumeric, kText };  // "1"/"0" or "ON"/"OFF"

// An enumerated parameter value, its mnemonic in SCPI notation ("APEak"); replies use
// the short form of the first item with the value.
struct EnumItem {
    std::string_view mnemonic;
    int value;
};

struct Limits {
    double min;
    double max;
    double default_value;
};
using LimitsFunction = Limits (*)(const CommandContext&);
using Quantizer = double (*)(double);
using RealGetter = double (*)(const CommandContext&);
using RealSetter = void (*)(CommandContext&, double);

// A state field of a screen or of the whole instrument.
template <typename T>
struct Field {
    T ScreenState::*screen = nullptr;
    T GlobalState::*global = nullptr;

    bool empty() const { return screen == nullptr && global == nullptr; }
    T& In(CommandContext& context) const {
        return screen != nullptr ? context.screen.*screen : context.state.global.*global;
    }
};
template <typename T>
Field<T> OfScreen(T ScreenState::*member) {
    return Field<T>{member, nullptr};
}
template <typename T>
Field<T> OfInstrument(T GlobalState::*member) {
    return Field<T>{nullptr, member};
}

struct CommandEntry {
    std::string_view pattern;
    Access access = Access::kBoth;
    SettingKind kind = SettingKind::kAction;
    Field<double> real;
    Field<int> integer;
    Field<bool> boolean;
    scpi::UnitClass unit =
        scpi::UnitClass::kNone;  // kLevel: kept in dBm, sent in the screen's unit
    Limits limits{0, 0, 0};
    LimitsFunction limits_function = nullptr;  // limits that depend on other settings
    Quantizer quantize = nullptr;              // e.g. the 1-3 bandwidth steps
    Field<bool> clears_auto;                   // the auto coupling that an explicit value ends
    RealGetter get = nullptr;                  // values derived from other settings
    RealSetter set = nullptr;
    BooleanReply boolean_reply = BooleanReply::kNumeric;
    std::span<const EnumItem> items;
    ActionHandler action = nullptr;
};

class CommandTable {
  public:
    static const CommandTable& Instance();

    struct Lookup {
        const CommandEntry* entry = nullptr;
        scpi::HeaderPattern::Match match;
        int error = 0;  // -113 or -114 when entry is null
    };
    // Finds the entry for a header (keywords of the current path first).
    Lookup Find(const std::vector<scpi::Keyword>& keywords, bool common, bool query) const;

    const std::vector<CommandEntry>& entries() const { return entries_; }

  private:
    CommandTable();
    std::vector<CommandEntry> entries_;
    std::vector<scpi::HeaderPattern> patterns_;
};

// Runs a table entry for a parsed unit: the generic get or set of a setting, or the
// entry's handler.
ActionResult ExecuteEntry(const CommandEntry& entry, CommandContext& context,
                          const scpi::ProgramUnit& unit);

}  // namespace tevo::emulator
