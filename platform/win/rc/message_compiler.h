// The message compiler: turns a message-text file (.mc) into one message-table resource per
// language, in the layout of RT_MESSAGETABLE.
//
// The file has header statements (SeverityNames, FacilityNames, LanguageNames,
// MessageIdTypedef, OutputBase) and messages. A message starts with MessageId=[number |
// +number | nothing] and may name Severity=, Facility= and SymbolicName=; then each
// Language=name line is followed by the text lines and a line holding a single ".". Every
// text line ends in CR LF in the table, as the Windows message compiler writes it. The id is
// severity << 30 | facility << 16 | number; an empty MessageId is the facility's previous
// number plus one. Comment lines start with ";". The default language name is English
// (0x409); texts are UTF-8 and stored with MESSAGE_RESOURCE_UTF8.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tevo::rc {

struct MessageTable {
    std::uint16_t language = 0;
    std::vector<std::uint8_t> bytes;
};

// Compiles the text of a message file; `path` names it in errors (CompileError).
std::vector<MessageTable> CompileMessages(std::string_view text, const std::filesystem::path& path);

// Lays out a message table from id -> UTF-8 text; throws std::length_error for a text too
// long for one entry.
std::vector<std::uint8_t> BuildMessageTable(const std::map<std::uint32_t, std::string>& messages);

}  // namespace tevo::rc
