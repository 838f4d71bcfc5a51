#include "resource_script.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "compile_error.h"
#include "message_compiler.h"
#include "tevo/win/text.h"

namespace tevo::rc {
namespace {

namespace fs = std::filesystem;

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

enum class TokenKind { End, Number, Word, String, OpenBrace, CloseBrace, Comma };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;  // the word, the decoded string (UTF-8) or the number as written
    std::uint64_t number = 0;
    int line = 0;
};

class Lexer {
  public:
    Lexer(std::string_view text, fs::path path) : text_(text), path_(std::move(path)) {}

    Token Next() {
        SkipSpaceAndComments();
        Token token;
        token.line = line_;
        if (pos_ >= text_.size())
            return token;
        const char c = text_[pos_];
        if (c == '{' || c == '}' || c == ',') {
            ++pos_;
            token.kind = c == '{'   ? TokenKind::OpenBrace
                         : c == '}' ? TokenKind::CloseBrace
                                    : TokenKind::Comma;
            token.text = std::string(1, c);
            return token;
        }
        if (c == '"')
            return String(false);
        if (c == 'L' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
            ++pos_;
            return String(true);
        }
        if (std::isdigit(static_cast<unsigned char>(c)) != 0)
            return Number();
        if (std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_') {
            token.kind = TokenKind::Word;
            while (
                pos_ < text_.size() &&
                (std::isalnum(static_cast<unsigned char>(text_[pos_])) != 0 || text_[pos_] == '_'))
                token.text.push_back(text_[pos_++]);
            return token;
        }
        if (c == '#')
            Fail(line_, "preprocessor directives are not supported");
        Fail(line_, std::string("unexpected character '") + c + "'");
    }

  private:
    [[noreturn]] void Fail(int line, const std::string& message) const {
        throw CompileError(path_, line, message);
    }

    void SkipSpaceAndComments() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(c)) != 0) {
                ++pos_;
            } else if (text_.compare(pos_, 2, "//") == 0) {
                while (pos_ < text_.size() && text_[pos_] != '\n')
                    ++pos_;
            } else if (text_.compare(pos_, 2, "/*") == 0) {
                const int start = line_;
                const size_t end = text_.find("*/", pos_ + 2);
                if (end == std::string_view::npos)
                    Fail(start, "comment is not closed");
                line_ += static_cast<int>(std::count(text_.begin() + static_cast<long>(pos_),
                                                     text_.begin() + static_cast<long>(end), '\n'));
                pos_ = end + 2;
            } else {
                return;
            }
        }
    }

    Token Number() {
        Token token;
        token.kind = TokenKind::Number;
        token.line = line_;
        while (pos_ < text_.size() && std::isalnum(static_cast<unsigned char>(text_[pos_])) != 0)
            token.text.push_back(text_[pos_++]);
        std::string_view digits = token.text;
        while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' ||
                                   digits.back() == 'U' || digits.back() == 'u'))
            digits.remove_suffix(1);
        int base = 10;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits.remove_prefix(2);
        }
        if (digits.empty())
            Fail(line_, "'" + token.text + "' is not a valid number");
        for (char c : digits) {
            int digit = 0;
            if (std::isdigit(static_cast<unsigned char>(c)) != 0)
                digit = c - '0';
            else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)) != 0)
                digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
            else
                Fail(line_, "'" + token.text + "' is not a valid number");
            token.number = token.number * base + digit;
            if (token.number > 0xFFFFFFFFu)
                Fail(line_, "number " + token.text + " does not fit in 32 bits");
        }
        return token;
    }

    static int HexValue(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    void AppendCodePoint(std::string& out, std::uint32_t cp, int line) const {
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            Fail(line, "escape names an invalid Unicode code point");
        out += tevo::win::WideToUtf8(std::wstring(1, static_cast<wchar_t>(cp)));
    }

    // Reads up to `max` digits of the given base; -1 when there is none.
    std::int64_t Digits(int base, int max) {
        std::int64_t value = -1;
        for (int i = 0; i < max && pos_ < text_.size(); ++i) {
            const int digit = HexValue(text_[pos_]);
            if (digit < 0 || digit >= base)
                break;
            value = (value < 0 ? 0 : value) * base + digit;
            ++pos_;
        }
        return value;
    }

    Token String(bool wide) {
        Token token;
        token.kind = TokenKind::String;
        token.line = line_;
        ++pos_;  // opening quote
        std::string& out = token.text;
        for (;;) {
            if (pos_ >= text_.size() || text_[pos_] == '\n')
                Fail(token.line, "string is not closed");
            const char c = text_[pos_++];
            if (c == '"') {
                if (pos_ < text_.size() && text_[pos_] == '"') {
                    out.push_back('"');
                    ++pos_;
                    continue;
                }
                break;
            }
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= text_.size())
                Fail(token.line, "string is not closed");
            const char e = text_[pos_++];
            switch (e) {
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'a':
                    out.push_back('\a');
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'v':
                    out.push_back('\v');
                    break;
                case '\\':
                    out.push_back('\\');
                    break;
                case '"':
                    out.push_back('"');
                    break;
                case '\'':
                    out.push_back('\'');
                    break;
                case '?':
                    out.push_back('?');
                    break;
                case 'x': {
                    const std::int64_t value = Digits(16, wide ? 4 : 2);
                    if (value < 0)
                        Fail(token.line, "\\x is not followed by a hexadecimal digit");
                    if (wide)
                        AppendCodePoint(out, static_cast<std::uint32_t>(value), token.line);
                    else
                        out.push_back(static_cast<char>(value));
                    break;
                }
                case 'u':
                case 'U': {
                    const int count = e == 'u' ? 4 : 8;
                    const size_t start = pos_;
                    const std::int64_t value = Digits(16, count);
                    if (pos_ - start != static_cast<size_t>(count))
                        Fail(token.line, std::string("\\") + e + " needs " + std::to_string(count) +
                                             " hexadecimal digits");
                    AppendCodePoint(out, static_cast<std::uint32_t>(value), token.line);
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        --pos_;
                        const std::int64_t value = Digits(8, 3);
                        if (wide)
                            AppendCodePoint(out, static_cast<std::uint32_t>(value), token.line);
                        else
                            out.push_back(static_cast<char>(value & 0xFF));
                        break;
                    }
                    Fail(token.line, std::string("unknown escape sequence '\\") + e + "'");
            }
        }
        if (!tevo::win::IsValidUtf8(out))
            Fail(token.line, "string is not valid UTF-8");
        return token;
    }

    std::string_view text_;
    fs::path path_;
    size_t pos_ = 0;
    int line_ = 1;
};

struct StringEntry {
    std::string text;
    int line = 0;
};

class ScriptCompiler {
  public:
    ScriptCompiler(std::string_view text, fs::path path, const std::vector<fs::path>& search_dirs)
        : lexer_(text, path), path_(std::move(path)), search_dirs_(search_dirs) {
        result_.inputs.push_back(fs::absolute(path_).lexically_normal());
        Advance();
    }

    ResourceSet Compile() {
        while (token_.kind != TokenKind::End) {
            if (IsWord("LANGUAGE")) {
                Advance();
                language_ = Language();
            } else if (IsWord("STRINGTABLE")) {
                StringTable();
            } else {
                FileResource();
            }
        }
        BuildStringTables();
        CheckDuplicates();
        return std::move(result_);
    }

  private:
    [[noreturn]] void Fail(int line, const std::string& message) const {
        throw CompileError(path_, line, message);
    }

    void Advance() { token_ = lexer_.Next(); }

    bool IsWord(std::string_view upper) const {
        return token_.kind == TokenKind::Word && Upper(token_.text) == upper;
    }
    bool IsOpen() const { return token_.kind == TokenKind::OpenBrace || IsWord("BEGIN"); }
    bool IsClose() const { return token_.kind == TokenKind::CloseBrace || IsWord("END"); }

    std::string Describe() const {
        switch (token_.kind) {
            case TokenKind::End:
                return "end of file";
            case TokenKind::String:
                return "string \"" + token_.text + "\"";
            default:
                return "'" + token_.text + "'";
        }
    }

    std::uint64_t ExpectNumber(const std::string& what) {
        if (token_.kind != TokenKind::Number)
            Fail(token_.line, "expected " + what + ", found " + Describe());
        const std::uint64_t value = token_.number;
        Advance();
        return value;
    }

    // "primary, sub" after LANGUAGE.
    std::uint16_t Language() {
        const int line = token_.line;
        const std::uint64_t primary = ExpectNumber("a primary language id");
        if (token_.kind != TokenKind::Comma)
            Fail(token_.line, "expected ',' between the language and sub-language ids");
        Advance();
        const std::uint64_t sub = ExpectNumber("a sub-language id");
        if (primary > 0x3FF || sub > 0x3F)
            Fail(line, "language id out of range");
        return static_cast<std::uint16_t>((sub << 10) | primary);
    }

    void SkipMemoryFlags() {
        static const std::set<std::string> kFlags = {"PRELOAD",  "LOADONCALL",  "FIXED",
                                                     "MOVEABLE", "DISCARDABLE", "PURE",
                                                     "IMPURE",   "SHARED",      "NONSHARED"};
        while (token_.kind == TokenKind::Word && kFlags.count(Upper(token_.text)) != 0)
            Advance();
    }

    ResourceId Name() {
        ResourceId id;
        if (token_.kind == TokenKind::Number) {
            if (token_.number < 1 || token_.number > 0xFFFF)
                Fail(token_.line, "resource id " + token_.text + " is not between 1 and 65535");
            id.number = static_cast<std::uint16_t>(token_.number);
        } else if (token_.kind == TokenKind::Word || token_.kind == TokenKind::String) {
            if (token_.text.empty())
                Fail(token_.line, "a resource name cannot be empty");
            id.name = Upper(token_.text);
        } else {
            Fail(token_.line, "expected a resource id or name, found " + Describe());
        }
        Advance();
        return id;
    }

    ResourceId Type() {
        static const std::map<std::string, std::uint16_t> kPredefined = {
            {"RCDATA", kTypeRcData},
            {"MESSAGETABLE", kTypeMessageTable},
            {"HTML", kTypeHtml},
            {"MANIFEST", kTypeManifest}};
        static const std::set<std::string> kUnsupported = {
            "ACCELERATORS", "BITMAP",      "CURSOR",   "DIALOG", "DIALOGEX", "DLGINCLUDE",
            "FONT",         "ICON",        "MENU",     "MENUEX", "TOOLBAR",  "VERSIONINFO",
            "TEXTINCLUDE",  "STRINGTABLE", "LANGUAGE", "BEGIN",  "END"};
        if (token_.kind == TokenKind::Word) {
            const std::string word = Upper(token_.text);
            if (kUnsupported.count(word) != 0)
                Fail(token_.line, "resource type " + word + " is not supported");
            auto it = kPredefined.find(word);
            if (it != kPredefined.end()) {
                Advance();
                return ResourceId{it->second, {}};
            }
        }
        if (token_.kind != TokenKind::Number && token_.kind != TokenKind::Word &&
            token_.kind != TokenKind::String)
            Fail(token_.line, "expected a resource type, found " + Describe());
        ResourceId type = Name();
        if (type.IsNumber() && type.number == kTypeString)
            Fail(token_.line, "string tables are written as STRINGTABLE blocks");
        return type;
    }

    fs::path FindFile(const std::string& name, int line) {
        const fs::path given(name);
        std::vector<fs::path> candidates;
        if (given.is_absolute()) {
            candidates.push_back(given);
        } else {
            candidates.push_back(path_.parent_path() / given);
            for (const auto& dir : search_dirs_)
                candidates.push_back(dir / given);
        }
        for (const auto& candidate : candidates) {
            std::error_code ec;
            if (fs::is_regular_file(candidate, ec))
                return fs::absolute(candidate).lexically_normal();
        }
        Fail(line, "cannot find file '" + name + "'");
    }

    std::vector<std::uint8_t> ReadFile(const fs::path& file, int line) {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            Fail(line, "cannot read file '" + file.string() + "'");
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        if (in.bad())
            Fail(line, "cannot read file '" + file.string() + "'");
        if (std::find(result_.inputs.begin(), result_.inputs.end(), file) == result_.inputs.end())
            result_.inputs.push_back(file);
        return bytes;
    }

    void FileResource() {
        const int line = token_.line;
        if (IsClose() || IsOpen() || token_.kind == TokenKind::Comma)
            Fail(line, "unexpected " + Describe());
        Resource resource;
        resource.name = Name();
        resource.type = Type();
        SkipMemoryFlags();
        if (IsOpen())
            Fail(token_.line, "inline resource data is not supported; name a file");
        if (token_.kind != TokenKind::String)
            Fail(token_.line, "expected a quoted file name, found " + Describe());
        const std::string file_name = token_.text;
        const int file_line = token_.line;
        Advance();

        const fs::path file = FindFile(file_name, file_line);
        std::vector<std::uint8_t> bytes = ReadFile(file, file_line);
        resource.language = language_;
        resource.defined_in = path_;
        resource.line = line;

        std::string extension = Upper(file.extension().string());
        if (resource.type.IsNumber() && resource.type.number == kTypeMessageTable &&
            extension == ".MC") {
            const std::string text(bytes.begin(), bytes.end());
            std::vector<MessageTable> tables = CompileMessages(text, file);
            if (tables.empty())
                tables.push_back({language_, BuildMessageTable({})});
            for (auto& table : tables) {
                Resource per_language = resource;
                per_language.language = table.language;
                per_language.data = std::move(table.bytes);
                result_.resources.push_back(std::move(per_language));
            }
            return;
        }
        resource.data = std::move(bytes);
        result_.resources.push_back(std::move(resource));
    }

    void StringTable() {
        Advance();
        std::uint16_t language = language_;
        for (;;) {
            if (IsWord("LANGUAGE")) {
                Advance();
                language = Language();
            } else if (token_.kind == TokenKind::Word &&
                       (IsWord("CHARACTERISTICS") || IsWord("VERSION"))) {
                Advance();
                ExpectNumber("a number");
            } else {
                break;
            }
            SkipMemoryFlags();
        }
        SkipMemoryFlags();
        if (!IsOpen())
            Fail(token_.line, "expected BEGIN or '{' after STRINGTABLE, found " + Describe());
        const int open_line = token_.line;
        Advance();
        auto& table = strings_[language];
        while (!IsClose()) {
            if (token_.kind == TokenKind::End)
                Fail(open_line, "STRINGTABLE is not closed with END or '}'");
            const int line = token_.line;
            const std::uint64_t id = ExpectNumber("a string id");
            if (id > 0xFFFF)
                Fail(line, "string id " + std::to_string(id) + " is not between 0 and 65535");
            if (token_.kind == TokenKind::Comma)
                Advance();
            if (token_.kind != TokenKind::String)
                Fail(token_.line, "expected a quoted string, found " + Describe());
            auto [pos, inserted] =
                table.emplace(static_cast<std::uint16_t>(id), StringEntry{token_.text, line});
            if (!inserted) {
                Fail(line, "string id " + std::to_string(id) + " is already defined at line " +
                               std::to_string(pos->second.line));
            }
            Advance();
        }
        Advance();
    }

    // Strings are kept in bundles of 16: bundle (id / 16) + 1 holds ids id & ~15 to id | 15,
    // each as its length in wchar_t, the characters and a terminating zero.
    void BuildStringTables() {
        for (const auto& [language, table] : strings_) {
            std::map<std::uint16_t, std::map<std::uint16_t, const StringEntry*>> bundles;
            for (const auto& [id, entry] : table)
                bundles[static_cast<std::uint16_t>(id >> 4)][id & 15] = &entry;
            for (const auto& [bundle, entries] : bundles) {
                std::vector<wchar_t> data;
                for (std::uint16_t index = 0; index < 16; ++index) {
                    auto it = entries.find(index);
                    if (it == entries.end()) {
                        data.push_back(0);
                        data.push_back(0);
                        continue;
                    }
                    const std::wstring wide = tevo::win::Utf8ToWide(it->second->text);
                    data.push_back(static_cast<wchar_t>(wide.size()));
                    data.insert(data.end(), wide.begin(), wide.end());
                    data.push_back(0);
                }
                Resource resource;
                resource.type.number = kTypeString;
                resource.name.number = static_cast<std::uint16_t>(bundle + 1);
                resource.language = language;
                resource.data = std::move(data);
                resource.defined_in = path_;
                resource.line = entries.begin()->second->line;
                result_.resources.push_back(std::move(resource));
            }
        }
    }

    void CheckDuplicates() const {
        const auto& all = result_.resources;
        for (size_t i = 0; i < all.size(); ++i) {
            for (size_t j = 0; j < i; ++j) {
                if (all[i].type == all[j].type && all[i].name == all[j].name &&
                    all[i].language == all[j].language) {
                    Fail(all[i].line, "resource " + all[i].name.ToString() + " of type " +
                                          all[i].type.ToString() + " is already defined at line " +
                                          std::to_string(all[j].line));
                }
            }
        }
    }

    Lexer lexer_;
    fs::path path_;
    std::vector<fs::path> search_dirs_;
    Token token_;
    std::uint16_t language_ = 0;
    std::map<std::uint16_t, std::map<std::uint16_t, StringEntry>> strings_;
    ResourceSet result_;
};

}  // namespace

ResourceSet CompileResourceScriptText(std::string_view text, const std::filesystem::path& path,
                                      const std::vector<std::filesystem::path>& search_dirs) {
    return ScriptCompiler(text, path, search_dirs).Compile();
}

ResourceSet CompileResourceScript(const std::filesystem::path& path,
                                  const std::vector<std::filesystem::path>& search_dirs) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CompileError(path, 0, "cannot read the resource script");
    std::ostringstream text;
    text << in.rdbuf();
    return CompileResourceScriptText(text.str(), path, search_dirs);
}

}  // namespace tevo::rc
