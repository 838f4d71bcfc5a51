#include "regedit_text.h"

#include <cstdio>

#include "tevo/win/registry.h"
#include "tevo/win/text.h"

namespace tevo::win::registry {

namespace {

constexpr size_t kHexLineWidth = 76;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = s[i];
        if (a >= 'A' && a <= 'Z') {
            a = static_cast<char>(a + 0x20);
        }
        if (a != prefix[i]) {
            return false;
        }
    }
    return true;
}

// Reads a quoted string at the start of `s` (which begins with '"'), undoing the \\ and
// \" escapes; `s` is left after the closing quote.
bool ReadQuoted(std::string_view& s, std::string* out) {
    out->clear();
    size_t i = 1;
    while (true) {
        const size_t special = s.find_first_of("\\\"", i);
        if (special == std::string_view::npos) {
            return false;
        }
        out->append(s.data() + i, special - i);
        if (s[special] == '"') {
            s.remove_prefix(special + 1);
            return true;
        }
        if (special + 1 >= s.size() || (s[special + 1] != '\\' && s[special + 1] != '"')) {
            return false;
        }
        out->push_back(s[special + 1]);
        i = special + 2;
    }
}

// Reads a comma-separated list of hex bytes of two digits each, e.g. "01,2f,ff" (blanks
// allowed around them).
bool ReadHexList(std::string_view s, std::string* out) {
    out->clear();
    s = Trim(s);
    if (s.empty()) {
        return true;
    }
    while (true) {
        s = Trim(s);
        int value = 0;
        size_t digits = 0;
        while (digits < s.size() && digits < 3 && HexDigit(s[digits]) >= 0) {
            value = value * 16 + HexDigit(s[digits]);
            ++digits;
        }
        if (digits != 2) {
            return false;
        }
        out->push_back(static_cast<char>(value));
        s = Trim(s.substr(digits));
        if (s.empty()) {
            return true;
        }
        if (s.front() != ',') {
            return false;
        }
        s.remove_prefix(1);
    }
}

bool ReadData(std::string_view s, TextValue* value) {
    if (s == "-") {
        value->remove = true;
        return true;
    }
    if (!s.empty() && s.front() == '"') {
        std::string text;
        if (!ReadQuoted(s, &text) || !Trim(s).empty()) {
            return false;
        }
        value->type = REG_SZ;
        value->data = std::move(text);
        value->data.push_back('\0');
        return true;
    }
    if (StartsWithNoCase(s, "dword:")) {
        s = Trim(s.substr(6));
        if (s.empty() || s.size() > 8) {
            return false;
        }
        DWORD number = 0;
        for (char c : s) {
            const int digit = HexDigit(c);
            if (digit < 0) {
                return false;
            }
            number = number * 16 + static_cast<DWORD>(digit);
        }
        value->type = REG_DWORD;
        value->data.assign(4, '\0');
        for (size_t i = 0; i < 4; ++i) {
            value->data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
        }
        return true;
    }
    if (StartsWithNoCase(s, "hex:")) {
        value->type = REG_BINARY;
        return ReadHexList(s.substr(4), &value->data);
    }
    if (StartsWithNoCase(s, "hex(")) {
        const size_t close = s.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12) {
            return false;
        }
        DWORD type = 0;
        for (char c : s.substr(4, close - 4)) {
            const int digit = HexDigit(c);
            if (digit < 0) {
                return false;
            }
            type = type * 16 + static_cast<DWORD>(digit);
        }
        value->type = type;
        return ReadHexList(s.substr(close + 2), &value->data);
    }
    return false;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Splits the names of a section's "[...]" into `path`, the root name first. Returns what is
// wrong with them, or null. Stops at the first name beyond the deepest level.
const char* SplitSectionPath(std::string_view names, std::vector<std::string>* path) {
    path->clear();
    size_t start = 0;
    while (true) {
        if (path->size() > kMaxKeyDepth) {
            return "the key is more than 512 levels deep";
        }
        const size_t end = names.find('\\', start);
        const std::string_view name =
            names.substr(start, end == std::string_view::npos ? names.npos : end - start);
        if (name.empty()) {
            return "empty key name in the path";
        }
        if (CharacterCount(name) > kMaxKeyNameLength) {
            return "a key name is longer than 255 characters";
        }
        path->emplace_back(name);
        if (end == std::string_view::npos) {
            return nullptr;
        }
        start = end + 1;
    }
}

bool Fail(std::string* error, size_t line, const std::string& what) {
    if (error != nullptr) {
        *error = "line " + std::to_string(line + 1) + ": " + what;
    }
    return false;
}

// True when the stored bytes come back exactly from a quoted string in the file: valid
// UTF-8 text without control characters (tabs aside), and one terminating zero.
bool HasStringForm(const Value& value) {
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != '\0') {
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(value.data.data());
    const size_t length = value.data.size() - 1;
    bool ascii = true;
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] < 0x20 && bytes[i] != '\t') {
            return false;
        }
        ascii = ascii && bytes[i] < 0x80;
    }
    return ascii || IsValidUtf8(std::string_view(value.data.data(), length));
}

void AppendQuoted(std::string_view text, std::string* out) {
    out->push_back('"');
    size_t start = 0;
    while (true) {
        const size_t special = text.find_first_of("\\\"", start);
        if (special == std::string_view::npos) {
            out->append(text.data() + start, text.size() - start);
            break;
        }
        out->append(text.data() + start, special - start);
        out->push_back('\\');
        out->push_back(text[special]);
        start = special + 1;
    }
    out->push_back('"');
}

// Appends the key's "[name]" line and its values, unless it holds none and `always` is false.
void AppendSection(const Key& key, const std::string& name, bool always, std::string* out) {
    if (!always && key.values().empty()) {
        return;
    }
    *out += '[';
    *out += name;
    *out += "]\n";
    for (const Value& value : key.values()) {
        *out += FormatValueLine(value);
        *out += '\n';
    }
    *out += '\n';
}

}  // namespace

bool ParseRegedit(std::string_view text, const RegeditHandler& handler, std::string* error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    const std::vector<std::string_view> lines = SplitLines(text);
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty()) {
        ++i;
    }
    if (i == lines.size() || Trim(lines[i]) != kRegeditHeader) {
        return Fail(error, i, "the text does not begin with REGEDIT4");
    }
    bool in_section = false;
    bool removed_section = false;
    std::vector<std::string> path;
    TextValue value;
    std::string data;
    for (++i; i < lines.size(); ++i) {
        std::string_view line = Trim(lines[i]);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                return Fail(error, i, "a key name must be enclosed in [ ]");
            }
            std::string_view names = line.substr(1, line.size() - 2);
            removed_section = names.front() == '-';
            if (removed_section) {
                names.remove_prefix(1);
            }
            const char* problem = SplitSectionPath(names, &path);
            if (problem != nullptr) {
                return Fail(error, i, problem);
            }
            if (!handler.section(path, removed_section, i + 1)) {
                return Fail(error, i, "key not allowed here");
            }
            in_section = true;
            continue;
        }
        if (line.front() != '"' && line.front() != '@') {
            return Fail(error, i, "neither a key nor a value");
        }
        if (!in_section || removed_section) {
            return Fail(error, i, "a value outside a key");
        }
        const size_t first_line = i;
        value.name.clear();
        value.remove = false;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (!ReadQuoted(line, &value.name)) {
            return Fail(error, i, "bad value name");
        }
        line = Trim(line);
        if (line.empty() || line.front() != '=') {
            return Fail(error, i, "'=' expected after the value name");
        }
        data.assign(Trim(line.substr(1)));
        // A hex list goes on over the following lines while a line ends with a backslash.
        if (StartsWithNoCase(data, "hex")) {
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                if (++i == lines.size()) {
                    return Fail(error, first_line, "the hex list ends in the middle");
                }
                data += Trim(lines[i]);
            }
        }
        if (!ReadData(data, &value)) {
            return Fail(error, first_line, "bad value data");
        }
        if (!handler.value(value)) {
            return Fail(error, first_line, "value not allowed here");
        }
    }
    return true;
}

bool ParseRegeditText(std::string_view text, std::vector<TextSection>* sections,
                      std::string* error) {
    sections->clear();
    RegeditHandler handler;
    handler.section = [&](std::vector<std::string>& path, bool remove, size_t line) {
        sections->push_back(TextSection{std::move(path), remove, {}, line});
        return true;
    };
    handler.value = [&](TextValue& value) {
        sections->back().values.push_back(std::move(value));
        return true;
    };
    return ParseRegedit(text, handler, error);
}

std::string FormatValueLine(const Value& value) {
    std::string line;
    if (value.name.empty()) {
        line = "@=";
    } else {
        AppendQuoted(value.name, &line);
        line.push_back('=');
    }
    if (HasStringForm(value)) {
        AppendQuoted(std::string_view(value.data.data(), value.data.size() - 1), &line);
        return line;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        for (size_t i = 0; i < 4; ++i) {
            number |= static_cast<DWORD>(static_cast<unsigned char>(value.data[i])) << (8 * i);
        }
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", number);
        line += text;
        return line;
    }
    char prefix[24];
    if (value.type == REG_BINARY) {
        std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
    }
    line += prefix;
    size_t width = line.size();
    for (size_t i = 0; i < value.data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(value.data[i]));
        const bool last = i + 1 == value.data.size();
        if (width + 3 > kHexLineWidth) {
            line += "\\\n  ";
            width = 2;
        }
        line += byte;
        width += 2;
        if (!last) {
            line.push_back(',');
            ++width;
        }
    }
    return line;
}

void AppendRegeditSections(const Key& key, const std::string& name, bool always_write_key,
                           std::string* out) {
    // One entry per key on the way down: the next sub-key to visit, and the length of the
    // key's name in `path`, to which the name is cut back before the next sibling.
    struct Level {
        const Key* key;
        std::map<std::string, std::unique_ptr<Key>>::const_iterator next;
        size_t name_length;
    };
    std::string path = name;
    AppendSection(key, path, always_write_key, out);
    std::vector<Level> stack{{&key, key.subkeys().begin(), path.size()}};
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.key->subkeys().end()) {
            stack.pop_back();
            continue;
        }
        const Key& child = *level.next->second;
        ++level.next;
        path.resize(level.name_length);
        path += '\\';
        path += child.name();
        AppendSection(child, path, true, out);
        stack.push_back({&child, child.subkeys().begin(), path.size()});
    }
}

}  // namespace tevo::win::registry
