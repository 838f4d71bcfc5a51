// The REGEDIT4 text format of .reg files, in which the hives are stored and keys are
// exported and imported:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Example]
//   @="default value"
//   "Text"="with \"quotes\" and \\backslashes\\"
//   "Count"=dword:0000001f
//   "Bytes"=hex:01,02,ff
//   "Path"=hex(2):25,54,45,4d,50,25,00
//
// REGEDIT4 text is in the ANSI code page, which is UTF-8 on this platform, so strings are
// written as UTF-8. A value is written as a quoted string only when that form gives back
// exactly its stored bytes: a REG_SZ of valid UTF-8 text with one terminating zero and no
// line breaks or other control characters. Every other value is written as hex(type): with
// its exact bytes, so nothing is lost (a string without its terminator, with embedded
// zeros, expand and multi strings, and any type or size that has no form of its own).
// Long hex lists are continued on the next line after a backslash, as regedit does.
// Import text may also delete: "[-KEY]" removes a key tree and "name"=- a value.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "registry_tree.h"
#include "tevo/win/types.h"

namespace tevo::win::registry {

inline constexpr std::string_view kRegeditHeader = "REGEDIT4";

struct TextValue {
    std::string name;  // empty for the default value ("@")
    bool remove = false;
    DWORD type = 0;
    std::string data;
};

struct TextSection {
    std::vector<std::string> path;  // the root name first, e.g. HKEY_LOCAL_MACHINE
    bool remove = false;
    std::vector<TextValue> values;
    size_t line = 0;  // the line of the section's "[...]", from 1
};

// Receives what the parser reads, in text order; `line` counts from 1. A callback that
// returns false stops the parse, which then fails.
struct RegeditHandler {
    std::function<bool(std::vector<std::string>& path, bool remove, size_t line)> section;
    std::function<bool(TextValue& value)> value;
};

// Parses REGEDIT4 text (with or without a UTF-8 byte-order mark, LF or CR LF line ends).
// On bad syntax returns false and a message that names the line ("line 3: ..."). A key
// path the registry cannot hold (more than kMaxKeyDepth names below its root name, or a
// name longer than kMaxKeyNameLength characters) is bad syntax too; the path is split no
// further than that, so a huge one costs no memory.
bool ParseRegedit(std::string_view text, const RegeditHandler& handler, std::string* error);

// Parses into a list of sections.
bool ParseRegeditText(std::string_view text, std::vector<TextSection>* sections,
                      std::string* error);

// The value's line, without the line end.
std::string FormatValueLine(const Value& value);

// Appends the sections of `key` and of every key below it, parents first and depth first:
// the key is named `name`, its sub-keys `name\sub`. The key's own section is left out when
// it holds no values and `always_write_key` is false. Walks the tree without recursion.
void AppendRegeditSections(const Key& key, const std::string& name, bool always_write_key,
                           std::string* out);

}  // namespace tevo::win::registry
