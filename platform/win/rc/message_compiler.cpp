#include "message_compiler.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "compile_error.h"
#include "tevo/win/text.h"

namespace tevo::rc {
namespace {

constexpr std::uint16_t kMessageResourceUtf8 = 0x0002;
constexpr std::uint32_t kMaxCode = 0xFFFF;

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Parses a decimal or 0x-hexadecimal number of at most 32 bits.
std::optional<std::uint32_t> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::string Hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", value);
    return buffer;
}

struct PendingMessage {
    int line = 0;
    std::optional<std::uint32_t> explicit_code;
    std::uint32_t increment = 1;
    std::uint32_t severity = 0;
    std::uint32_t facility = 0;
    std::optional<std::uint32_t> id;  // resolved at its first Language=
    bool has_text = false;
};

struct StoredMessage {
    std::string text;
    int line = 0;
};

class McParser {
  public:
    McParser(std::string_view text, std::filesystem::path path) : path_(std::move(path)) {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            lines_.emplace_back(line);
            if (end == text.size())
                break;
            start = end + 1;
        }
        severities_ = {{"success", 0}, {"informational", 1}, {"warning", 2}, {"error", 3}};
        facilities_ = {{"system", 0x0FF}, {"application", 0xFFF}};
        languages_ = {{"english", 0x409}};
    }

    std::vector<MessageTable> Parse() {
        while (SkipToStatement()) {
            const int keyword_line = LineNumber();
            std::string keyword = Lower(ReadName());
            if (keyword.empty())
                Fail(keyword_line, "expected a keyword such as MessageId= or Language=");
            SkipBlanks();
            if (!Consume('='))
                Fail(keyword_line, "expected '=' after " + keyword);
            SkipBlanks();
            Statement(keyword, keyword_line);
        }
        FinishMessage();
        std::vector<MessageTable> tables;
        for (const auto& [language, messages] : messages_) {
            std::map<std::uint32_t, std::string> texts;
            for (const auto& [id, message] : messages)
                texts.emplace(id, message.text);
            try {
                tables.push_back({language, BuildMessageTable(texts)});
            } catch (const std::length_error&) {
                Fail(messages.begin()->second.line, "a message text is too long for the table");
            }
        }
        return tables;
    }

  private:
    [[noreturn]] void Fail(int line, const std::string& message) const {
        throw CompileError(path_, line, message);
    }

    int LineNumber() const { return static_cast<int>(line_) + 1; }
    bool AtEnd() const { return line_ >= lines_.size(); }
    const std::string& Line() const { return lines_[line_]; }
    bool AtLineEnd() const { return AtEnd() || column_ >= Line().size(); }
    char Peek() const { return AtLineEnd() ? '\0' : Line()[column_]; }

    void NextLine() {
        ++line_;
        column_ = 0;
    }

    void SkipBlanks() {
        while (!AtLineEnd() && IsSpace(Peek()))
            ++column_;
    }

    bool Consume(char c) {
        if (Peek() != c)
            return false;
        ++column_;
        return true;
    }

    // Moves to the start of the next statement, past white space, empty lines and comment
    // lines. False at the end of the file.
    bool SkipToStatement() {
        for (;;) {
            SkipBlanks();
            if (AtEnd())
                return false;
            if (AtLineEnd() || (Peek() == ';')) {
                NextLine();
                continue;
            }
            return true;
        }
    }

    // Like SkipToStatement, inside a parenthesised list (no comments there).
    void SkipListSpace(int list_line) {
        for (;;) {
            SkipBlanks();
            if (AtEnd())
                Fail(list_line, "missing ')' at the end of the list");
            if (!AtLineEnd())
                return;
            NextLine();
        }
    }

    std::string ReadName() {
        std::string name;
        while (!AtLineEnd() && IsNameChar(Peek()))
            name.push_back(Line()[column_++]);
        return name;
    }

    // The value after "keyword=": up to the next white space on the same line. A token
    // that is itself "keyword=..." is left alone and the value is empty.
    std::string ReadValue() {
        const size_t start = column_;
        std::string value;
        while (!AtLineEnd() && !IsSpace(Peek()))
            value.push_back(Line()[column_++]);
        if (value.find('=') != std::string::npos) {
            column_ = start;
            return {};
        }
        return value;
    }

    std::uint32_t RequireNumber(const std::string& text, int line, const std::string& what) {
        auto value = ParseNumber(text);
        if (!value)
            Fail(line, "'" + text + "' is not a valid " + what);
        return *value;
    }

    void Statement(const std::string& keyword, int line) {
        if (keyword == "severitynames") {
            NameList(severities_, line, 0x3, "severity");
        } else if (keyword == "facilitynames") {
            NameList(facilities_, line, 0xFFF, "facility");
        } else if (keyword == "languagenames") {
            NameList(languages_, line, 0xFFFF, "language id");
        } else if (keyword == "messageidtypedef" || keyword == "messageidtypedefmacro" ||
                   keyword == "symbolicname") {
            if (ReadValue().empty())
                Fail(line, keyword + " needs a value");
        } else if (keyword == "outputbase") {
            const std::string value = ReadValue();
            if (value != "10" && value != "16")
                Fail(line, "OutputBase must be 10 or 16");
        } else if (keyword == "messageid") {
            MessageId(line);
        } else if (keyword == "severity" || keyword == "facility") {
            SeverityOrFacility(keyword, line);
        } else if (keyword == "language") {
            Language(line);
        } else {
            Fail(line, "unknown keyword '" + keyword + "'");
        }
    }

    // "(name=number[:symbol] ...)", possibly over several lines.
    void NameList(std::map<std::string, std::uint32_t>& names, int line, std::uint32_t max,
                  const std::string& what) {
        if (!Consume('('))
            Fail(line, "expected '(' to start the list of names");
        for (;;) {
            SkipListSpace(line);
            if (Consume(')'))
                return;
            const int entry_line = LineNumber();
            const std::string name = ReadName();
            if (name.empty())
                Fail(entry_line, "expected a name in the list");
            SkipBlanks();
            if (!Consume('='))
                Fail(entry_line, "expected '=' after '" + name + "'");
            SkipBlanks();
            std::string number;
            while (!AtLineEnd() && !IsSpace(Peek()) && Peek() != ':' && Peek() != ')')
                number.push_back(Line()[column_++]);
            const std::uint32_t value = RequireNumber(number, entry_line, what);
            if (value > max)
                Fail(entry_line,
                     std::string(what).append(" ").append(number).append(" is out of range"));
            if (Consume(':')) {
                while (!AtLineEnd() && !IsSpace(Peek()) && Peek() != ')')
                    ++column_;
            }
            names[Lower(name)] = value;
        }
    }

    void MessageId(int line) {
        FinishMessage();
        current_.emplace();
        current_->line = line;
        current_->severity = severity_;
        current_->facility = facility_;
        const std::string value = ReadValue();
        if (value.empty())
            return;
        if (value[0] == '+') {
            current_->increment = RequireNumber(value.substr(1), line, "message id increment");
        } else {
            current_->explicit_code = RequireNumber(value, line, "message id");
        }
    }

    void SeverityOrFacility(const std::string& keyword, int line) {
        if (!current_ || current_->id)
            Fail(line, keyword + "= must follow MessageId= and come before Language=");
        const std::string name = ReadValue();
        const auto& names = keyword == "severity" ? severities_ : facilities_;
        auto it = names.find(Lower(name));
        if (it == names.end())
            Fail(line, "unknown " + keyword + " name '" + name + "'");
        if (keyword == "severity")
            current_->severity = severity_ = it->second;
        else
            current_->facility = facility_ = it->second;
    }

    void ResolveId(PendingMessage& message) {
        std::uint32_t& last = last_code_[message.facility];
        const std::uint64_t code = message.explicit_code
                                       ? *message.explicit_code
                                       : static_cast<std::uint64_t>(last) + message.increment;
        const bool plain = message.severity == 0 && message.facility == 0;
        if (code > (plain ? 0xFFFFFFFFu : kMaxCode))
            Fail(message.line, "message id " + std::to_string(code) + " is too large");
        last = static_cast<std::uint32_t>(code);
        message.id =
            (message.severity << 30) | (message.facility << 16) | static_cast<std::uint32_t>(code);
    }

    void Language(int line) {
        if (!current_)
            Fail(line, "Language= must follow MessageId=");
        const std::string name = ReadValue();
        auto it = languages_.find(Lower(name));
        if (it == languages_.end())
            Fail(line, "unknown language name '" + name + "'");
        SkipBlanks();
        if (!AtLineEnd())
            Fail(line, "unexpected text after the language name");
        if (!current_->id)
            ResolveId(*current_);
        const auto language = static_cast<std::uint16_t>(it->second);

        std::string text;
        bool terminated = false;
        for (NextLine(); !AtEnd(); NextLine()) {
            std::string_view text_line = Line();
            const size_t last = text_line.find_last_not_of(" \t");
            if (last != std::string_view::npos && text_line.substr(0, last + 1) == ".") {
                terminated = true;
                break;
            }
            if (!tevo::win::IsValidUtf8(text_line))
                Fail(LineNumber(), "message text is not valid UTF-8");
            text.append(text_line);
            text.append("\r\n");
        }
        if (!terminated)
            Fail(line, "message text is not ended by a line holding a single '.'");
        NextLine();

        auto [pos, inserted] =
            messages_[language].emplace(*current_->id, StoredMessage{text, line});
        if (!inserted) {
            Fail(line, "message id " + Hex(*current_->id) + " is already defined for language " +
                           Hex(language) + " at line " + std::to_string(pos->second.line));
        }
        current_->has_text = true;
    }

    void FinishMessage() {
        if (current_ && !current_->has_text)
            Fail(current_->line, "message has no Language= text");
        current_.reset();
    }

    std::filesystem::path path_;
    std::vector<std::string> lines_;
    size_t line_ = 0;
    size_t column_ = 0;
    std::map<std::string, std::uint32_t> severities_;
    std::map<std::string, std::uint32_t> facilities_;
    std::map<std::string, std::uint32_t> languages_;
    std::uint32_t severity_ = 0;
    std::uint32_t facility_ = 0;
    std::map<std::uint32_t, std::uint32_t> last_code_;
    std::optional<PendingMessage> current_;
    std::map<std::uint16_t, std::map<std::uint32_t, StoredMessage>> messages_;
};

void PutDword(std::vector<std::uint8_t>& out, size_t offset, std::uint32_t value) {
    std::memcpy(out.data() + offset, &value, sizeof value);
}

}  // namespace

std::vector<MessageTable> CompileMessages(std::string_view text,
                                          const std::filesystem::path& path) {
    return McParser(text, path).Parse();
}

std::vector<std::uint8_t> BuildMessageTable(const std::map<std::uint32_t, std::string>& messages) {
    // Consecutive ids share a block.
    struct Block {
        std::uint32_t low;
        std::uint32_t high;
    };
    std::vector<Block> blocks;
    for (const auto& [id, text] : messages) {
        if (!blocks.empty() && blocks.back().high != 0xFFFFFFFFu && blocks.back().high + 1 == id)
            blocks.back().high = id;
        else
            blocks.push_back({id, id});
    }
    const size_t header = 4 + blocks.size() * 12;
    std::vector<std::uint8_t> out(header, 0);
    PutDword(out, 0, static_cast<std::uint32_t>(blocks.size()));

    auto message = messages.begin();
    for (size_t b = 0; b < blocks.size(); ++b) {
        PutDword(out, 4 + b * 12, blocks[b].low);
        PutDword(out, 8 + b * 12, blocks[b].high);
        PutDword(out, 12 + b * 12, static_cast<std::uint32_t>(out.size()));
        for (std::uint64_t id = blocks[b].low; id <= blocks[b].high; ++id, ++message) {
            const std::string& text = message->second;
            const size_t length = (4 + text.size() + 1 + 3) & ~size_t{3};
            if (length > 0xFFFF)
                throw std::length_error("message text too long");
            const size_t start = out.size();
            out.resize(start + length, 0);
            const auto length16 = static_cast<std::uint16_t>(length);
            std::memcpy(out.data() + start, &length16, 2);
            std::memcpy(out.data() + start + 2, &kMessageResourceUtf8, 2);
            std::memcpy(out.data() + start + 4, text.data(), text.size());
        }
    }
    return out;
}

}  // namespace tevo::rc
