// Reading and applying registry scripts.
#include "registry_script.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "tevo/win/winerror.h"

namespace tevo::com::registrar {

namespace {

// A key lies at most this many levels below its root key, as the registry allows. Keys are
// read recursively, so the limit also bounds the reader's stack use.
constexpr std::size_t kMaxKeyDepth = 512;

struct Token {
    std::string text;
    bool quoted = false;
    int line = 1;
};

class ScriptError {
  public:
    ScriptError(int line, std::string message)
        : text_("line " + std::to_string(line) + ": " + std::move(message)) {}
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

int LineAt(std::string_view text, std::size_t position) {
    int line = 1;
    for (std::size_t i = 0; i < position && i < text.size(); ++i) {
        line += text[i] == '\n' ? 1 : 0;
    }
    return line;
}

// %NAME% becomes the replacement's text, %% one percent sign.
std::string Substitute(std::string_view script, const Replacements& replacements) {
    std::string result;
    result.reserve(script.size());
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i] != '%') {
            result += script[i];
            continue;
        }
        const std::size_t end = script.find('%', i + 1);
        if (end == std::string_view::npos) {
            throw ScriptError(LineAt(script, i), "a '%' without its closing '%'");
        }
        const std::string_view name = script.substr(i + 1, end - i - 1);
        if (name.empty()) {
            result += '%';
        } else {
            const auto found = replacements.find(ReplacementName(name));
            if (found == replacements.end()) {
                throw ScriptError(LineAt(script, i),
                                  "unknown replacement %" + std::string(name) + "%");
            }
            result += found->second;
        }
        i = end;
    }
    return result;
}

std::vector<Token> Tokenize(std::string_view text) {
    std::vector<Token> tokens;
    int line = 1;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            ++i;
            continue;
        }
        Token token;
        token.line = line;
        if (c == '\'') {
            token.quoted = true;
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    throw ScriptError(token.line, "a quoted text without its closing apostrophe");
                }
                if (text[i] == '\'') {
                    if (i + 1 < text.size() && text[i + 1] == '\'') {
                        token.text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                line += text[i] == '\n' ? 1 : 0;
                token.text += text[i++];
            }
        } else {
            while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) == 0) {
                token.text += text[i++];
            }
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::vector<ScriptRoot> Script() {
        std::vector<ScriptRoot> roots;
        while (!AtEnd()) {
            const Token& name = Next("a root key");
            ScriptRoot root;
            root.root = RootKey(name);
            Expect("{");
            while (!IsStructural("}")) {
                root.keys.push_back(Key(1));
            }
            Expect("}");
            roots.push_back(std::move(root));
        }
        return roots;
    }

  private:
    static HKEY RootKey(const Token& name) {
        if (!name.quoted) {
            if (SameText(name.text, "HKCR") || SameText(name.text, "HKEY_CLASSES_ROOT")) {
                return HKEY_CLASSES_ROOT;
            }
            if (SameText(name.text, "HKLM") || SameText(name.text, "HKEY_LOCAL_MACHINE")) {
                return HKEY_LOCAL_MACHINE;
            }
            if (SameText(name.text, "HKCU") || SameText(name.text, "HKEY_CURRENT_USER")) {
                return HKEY_CURRENT_USER;
            }
        }
        throw ScriptError(name.line, "unknown root key '" + name.text + "'");
    }

    // Reads a key that lies `depth` levels below its root key.
    ScriptKey Key(std::size_t depth) {
        ScriptKey key;
        const Token* name = &Next("a key name");
        if (depth > kMaxKeyDepth) {
            throw ScriptError(name->line, "keys are nested more than " +
                                              std::to_string(kMaxKeyDepth) + " levels deep");
        }
        if (!name->quoted) {
            if (SameText(name->text, "NoRemove")) {
                key.flag = KeyFlag::kNoRemove;
            } else if (SameText(name->text, "ForceRemove")) {
                key.flag = KeyFlag::kForceRemove;
            } else if (SameText(name->text, "Delete")) {
                key.flag = KeyFlag::kDelete;
            }
            if (key.flag != KeyFlag::kNone) {
                name = &Next("a key name");
            }
        }
        CheckName(*name, "key");
        key.name = name->text;
        if (IsStructural("=")) {
            ++position_;
            key.default_value = Value();
        }
        if (IsStructural("{")) {
            ++position_;
            while (!IsStructural("}")) {
                if (!Peek().quoted && SameText(Peek().text, "val")) {
                    ++position_;
                    const Token& value_name = Next("a value name");
                    CheckName(value_name, "value");
                    Expect("=");
                    key.values.emplace_back(value_name.text, Value());
                } else {
                    key.subkeys.push_back(Key(depth + 1));
                }
            }
            Expect("}");
        }
        return key;
    }

    ScriptValue Value() {
        const Token& type = Next("a value type (s or d)");
        ScriptValue value;
        if (!type.quoted && SameText(type.text, "s")) {
            const Token& text = Next("a quoted text");
            if (!text.quoted) {
                throw ScriptError(text.line,
                                  "a string value must be quoted, not '" + text.text + "'");
            }
            value.type = REG_SZ;
            value.text = text.text;
        } else if (!type.quoted && SameText(type.text, "d")) {
            const Token& number = Next("a number");
            value.type = REG_DWORD;
            value.number = Number(number);
        } else {
            throw ScriptError(type.line, "unknown value type '" + type.text + "'");
        }
        return value;
    }

    static DWORD Number(const Token& token) {
        const std::string& text = token.text;
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const std::string digits = hex ? text.substr(2) : text;
        bool valid = !digits.empty() && digits.size() <= (hex ? 8U : 10U);
        for (char c : digits) {
            valid = valid && (hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                                  : std::isdigit(static_cast<unsigned char>(c)) != 0);
        }
        const unsigned long long number =
            valid ? std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10) : 0;
        if (!valid || number > 0xFFFFFFFFULL) {
            throw ScriptError(token.line, "'" + text + "' is not a DWORD number");
        }
        return static_cast<DWORD>(number);
    }

    // A bare name must not be a brace or '=' (a structure token where a name belongs).
    static void CheckName(const Token& name, const char* what) {
        if (!name.quoted && (name.text == "{" || name.text == "}" || name.text == "=")) {
            throw ScriptError(
                name.line, std::string("expected a ") + what + " name, found '" + name.text + "'");
        }
        if (name.text.empty()) {
            throw ScriptError(name.line, std::string("an empty ") + what + " name");
        }
        if (name.text.find('\\') != std::string::npos && std::string_view(what) == "key") {
            throw ScriptError(name.line, "a key name holds no '\\': nest the keys instead");
        }
    }

    bool AtEnd() const { return position_ >= tokens_.size(); }
    const Token& Peek() const {
        if (AtEnd()) {
            throw ScriptError(LastLine(), "the script ends inside a key: '}' missing");
        }
        return tokens_[position_];
    }
    bool IsStructural(std::string_view text) const { return !Peek().quoted && Peek().text == text; }
    const Token& Next(const char* expected) {
        if (AtEnd()) {
            throw ScriptError(LastLine(),
                              std::string("the script ends where ") + expected + " is expected");
        }
        return tokens_[position_++];
    }
    void Expect(std::string_view text) {
        const Token& token = Next(("'" + std::string(text) + "'").c_str());
        if (token.quoted || token.text != text) {
            throw ScriptError(token.line,
                              "expected '" + std::string(text) + "', found '" + token.text + "'");
        }
    }
    int LastLine() const { return tokens_.empty() ? 1 : tokens_.back().line; }

    std::vector<Token> tokens_;
    std::size_t position_ = 0;
};

// ---- Applying ----

HRESULT FromStatus(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

LSTATUS SetValue(HKEY key, const char* name, const ScriptValue& value) {
    if (value.type == REG_DWORD) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                              sizeof value.number);
    }
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                          static_cast<DWORD>(value.text.size() + 1));
}

class OpenKey {
  public:
    OpenKey() = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

LSTATUS RegisterKey(HKEY parent, const ScriptKey& key) {
    if (key.flag == KeyFlag::kDelete || key.flag == KeyFlag::kForceRemove) {
        const LSTATUS status = RegDeleteTreeA(parent, key.name.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            return status;
        }
        if (key.flag == KeyFlag::kDelete) {
            return ERROR_SUCCESS;
        }
    }
    OpenKey opened;
    LSTATUS status = RegCreateKeyExA(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, opened.Out(), nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (key.default_value) {
        status = SetValue(opened.Get(), nullptr, *key.default_value);
    }
    for (const auto& [name, value] : key.values) {
        if (status == ERROR_SUCCESS) {
            status = SetValue(opened.Get(), name.c_str(), value);
        }
    }
    for (const ScriptKey& subkey : key.subkeys) {
        if (status == ERROR_SUCCESS) {
            status = RegisterKey(opened.Get(), subkey);
        }
    }
    return status;
}

bool KeyIsEmpty(HKEY key) {
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    if (subkeys != 0) {
        return false;
    }
    // The default value alone does not keep a key: it is part of what the script wrote.
    if (values == 0) {
        return true;
    }
    if (values > 1) {
        return false;
    }
    char name[2] = {};
    DWORD name_size = sizeof name;
    return RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS &&
           name_size == 0;
}

LSTATUS UnregisterKey(HKEY parent, const ScriptKey& key) {
    if (key.flag == KeyFlag::kDelete) {
        return ERROR_SUCCESS;
    }
    if (key.flag == KeyFlag::kForceRemove) {
        const LSTATUS status = RegDeleteTreeA(parent, key.name.c_str());
        return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
    bool empty = false;
    {
        OpenKey opened;
        LSTATUS status = RegOpenKeyExA(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, opened.Out());
        if (status == ERROR_FILE_NOT_FOUND) {
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        for (const ScriptKey& subkey : key.subkeys) {
            status = UnregisterKey(opened.Get(), subkey);
            if (status != ERROR_SUCCESS) {
                return status;
            }
        }
        for (const auto& value : key.values) {
            status = RegDeleteValueA(opened.Get(), value.first.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                return status;
            }
        }
        empty = key.flag != KeyFlag::kNoRemove && KeyIsEmpty(opened.Get());
    }
    if (empty) {
        const LSTATUS status = RegDeleteKeyA(parent, key.name.c_str());
        return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::string ReplacementName(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

ParseResult ParseRegistryScript(std::string_view script, const Replacements& replacements) {
    ParseResult result;
    try {
        Parser parser(Tokenize(Substitute(script, replacements)));
        result.roots = parser.Script();
    } catch (const ScriptError& error) {
        result.roots.clear();
        result.error = error.Text();
    }
    return result;
}

HRESULT RegisterScript(const std::vector<ScriptRoot>& roots) {
    for (const ScriptRoot& root : roots) {
        for (const ScriptKey& key : root.keys) {
            const LSTATUS status = RegisterKey(root.root, key);
            if (status != ERROR_SUCCESS) {
                return FromStatus(status);
            }
        }
    }
    return S_OK;
}

HRESULT UnregisterScript(const std::vector<ScriptRoot>& roots) {
    // Bottom-up: the later parts of a script may live inside keys the earlier parts made.
    for (auto root = roots.rbegin(); root != roots.rend(); ++root) {
        for (auto key = root->keys.rbegin(); key != root->keys.rend(); ++key) {
            const LSTATUS status = UnregisterKey(root->root, *key);
            if (status != ERROR_SUCCESS) {
                return FromStatus(status);
            }
        }
    }
    return S_OK;
}

}  // namespace tevo::com::registrar
