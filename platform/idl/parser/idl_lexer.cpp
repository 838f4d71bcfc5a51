#include "idl_lexer.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tevo::idl {

namespace {

struct LexError {
    SourceLocation location;
    std::string message;
};

bool IsIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsIdentChar(char c) {
    return IsIdentStart(c) || IsDigit(c);
}
int HexValue(char c) {
    if (IsDigit(c)) {
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

class Lexer {
  public:
    explicit Lexer(std::string_view source) : src_(source) {}

    std::vector<Token> Run() {
        std::vector<Token> tokens;
        for (;;) {
            SkipBlanksAndComments();
            Token token;
            token.location = Here();
            if (pos_ >= src_.size()) {
                token.kind = TokenKind::kEnd;
                tokens.push_back(token);
                return tokens;
            }
            const char c = src_[pos_];
            if (AfterUuidParen(tokens) && c != '"') {
                LexUuid(token);
            } else if (IsIdentStart(c)) {
                const std::size_t start = pos_;
                while (pos_ < src_.size() && IsIdentChar(src_[pos_])) {
                    Advance();
                }
                token.kind = TokenKind::kIdentifier;
                token.text = std::string(src_.substr(start, pos_ - start));
            } else if (IsDigit(c) ||
                       (c == '.' && pos_ + 1 < src_.size() && IsDigit(src_[pos_ + 1]))) {
                LexNumber(token);
            } else if (c == '"') {
                LexString(token);
            } else if (c == '#') {
                throw LexError{token.location,
                               "preprocessor directives ('#include', '#define', ...) are not "
                               "supported"};
            } else if ((c == '<' || c == '>') && pos_ + 1 < src_.size() && src_[pos_ + 1] == c) {
                token.kind = TokenKind::kPunct;
                token.text = std::string(2, c);
                Advance();
                Advance();
            } else if (std::string_view("[](){};,=*.:-+~|&").find(c) != std::string_view::npos) {
                token.kind = TokenKind::kPunct;
                token.text = std::string(1, c);
                Advance();
            } else {
                const auto byte = static_cast<unsigned char>(c);
                char shown[16];
                if (byte >= 0x20 && byte < 0x7F) {
                    std::snprintf(shown, sizeof shown, "'%c'", c);
                } else {
                    std::snprintf(shown, sizeof shown, "0x%02X", byte);
                }
                throw LexError{token.location, std::string("unexpected character ") + shown};
            }
            tokens.push_back(std::move(token));
        }
    }

  private:
    SourceLocation Here() const { return SourceLocation{line_, column_}; }

    void Advance() {
        if (src_[pos_] == '\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        ++pos_;
    }

    void SkipBlanksAndComments() {
        while (pos_ < src_.size()) {
            const char c = src_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                Advance();
            } else if (c == '/' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '/') {
                while (pos_ < src_.size() && src_[pos_] != '\n') {
                    Advance();
                }
            } else if (c == '/' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '*') {
                const SourceLocation start = Here();
                Advance();
                Advance();
                for (;;) {
                    if (pos_ >= src_.size()) {
                        throw LexError{start, "unterminated comment"};
                    }
                    if (src_[pos_] == '*' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '/') {
                        Advance();
                        Advance();
                        break;
                    }
                    Advance();
                }
            } else {
                return;
            }
        }
    }

    // The argument of uuid(...) is a bare GUID such as 47ED5120-A398-11D4-BA58-000064657374,
    // which is neither a number nor an identifier: it is taken as raw text.
    static bool AfterUuidParen(const std::vector<Token>& tokens) {
        const std::size_t n = tokens.size();
        return n >= 2 && tokens[n - 1].kind == TokenKind::kPunct && tokens[n - 1].text == "(" &&
               tokens[n - 2].kind == TokenKind::kIdentifier && tokens[n - 2].text == "uuid";
    }

    void LexUuid(Token& token) {
        const std::size_t start = pos_;
        while (pos_ < src_.size() && (IsIdentChar(src_[pos_]) || src_[pos_] == '-')) {
            Advance();
        }
        if (pos_ == start) {
            throw LexError{token.location, "expected a GUID in uuid(...)"};
        }
        token.kind = TokenKind::kUuid;
        token.text = std::string(src_.substr(start, pos_ - start));
    }

    void LexNumber(Token& token) {
        const std::size_t start = pos_;
        if (src_[pos_] == '0' && pos_ + 1 < src_.size() &&
            (src_[pos_ + 1] == 'x' || src_[pos_ + 1] == 'X')) {
            Advance();
            Advance();
            std::uint64_t value = 0;
            int digits = 0;
            while (pos_ < src_.size() && HexValue(src_[pos_]) >= 0) {
                if (value > (UINT64_MAX >> 4)) {
                    throw LexError{token.location, "number too large"};
                }
                value = value * 16 + static_cast<std::uint64_t>(HexValue(src_[pos_]));
                ++digits;
                Advance();
            }
            if (digits == 0) {
                throw LexError{token.location, "hexadecimal number without digits"};
            }
            token.kind = TokenKind::kInteger;
            token.integer = value;
        } else {
            bool is_float = false;
            while (pos_ < src_.size() && IsDigit(src_[pos_])) {
                Advance();
            }
            if (pos_ < src_.size() && src_[pos_] == '.') {
                is_float = true;
                Advance();
                while (pos_ < src_.size() && IsDigit(src_[pos_])) {
                    Advance();
                }
            }
            if (pos_ < src_.size() && (src_[pos_] == 'e' || src_[pos_] == 'E')) {
                std::size_t look = pos_ + 1;
                if (look < src_.size() && (src_[look] == '+' || src_[look] == '-')) {
                    ++look;
                }
                if (look < src_.size() && IsDigit(src_[look])) {
                    is_float = true;
                    while (pos_ < look) {
                        Advance();
                    }
                    while (pos_ < src_.size() && IsDigit(src_[pos_])) {
                        Advance();
                    }
                }
            }
            const std::string text(src_.substr(start, pos_ - start));
            if (is_float) {
                token.kind = TokenKind::kFloat;
                token.real = std::strtod(text.c_str(), nullptr);
                if (!std::isfinite(token.real)) {
                    throw LexError{token.location, "number too large"};
                }
            } else {
                // A leading zero makes an octal number, as in C.
                const bool octal = text.size() > 1 && text[0] == '0';
                const std::uint64_t base = octal ? 8 : 10;
                std::uint64_t value = 0;
                for (char digit : text) {
                    const auto d = static_cast<std::uint64_t>(digit - '0');
                    if (d >= base) {
                        throw LexError{token.location, "invalid digit in octal number"};
                    }
                    if (value > (UINT64_MAX - d) / base) {
                        throw LexError{token.location, "number too large"};
                    }
                    value = value * base + d;
                }
                token.kind = TokenKind::kInteger;
                token.integer = value;
            }
        }
        if (token.kind == TokenKind::kInteger) {
            // Integer suffixes (u, l, ul, ...) change nothing here: values are range-checked
            // where they are used.
            int suffix = 0;
            while (pos_ < src_.size() && suffix < 3 &&
                   (src_[pos_] == 'u' || src_[pos_] == 'U' || src_[pos_] == 'l' ||
                    src_[pos_] == 'L')) {
                Advance();
                ++suffix;
            }
        }
        if (pos_ < src_.size() && (IsIdentChar(src_[pos_]) || src_[pos_] == '.')) {
            throw LexError{
                token.location,
                "invalid number '" + std::string(src_.substr(start, pos_ - start + 1)) + "'"};
        }
        token.text = std::string(src_.substr(start, pos_ - start));
    }

    void LexString(Token& token) {
        Advance();  // opening quote
        std::string value;
        for (;;) {
            if (pos_ >= src_.size() || src_[pos_] == '\n') {
                throw LexError{token.location, "unterminated string"};
            }
            const char c = src_[pos_];
            if (c == '"') {
                Advance();
                break;
            }
            if (c != '\\') {
                value.push_back(c);
                Advance();
                continue;
            }
            const SourceLocation escape_at = Here();
            Advance();
            if (pos_ >= src_.size()) {
                throw LexError{token.location, "unterminated string"};
            }
            const char e = src_[pos_];
            switch (e) {
                case 'n':
                    value.push_back('\n');
                    Advance();
                    break;
                case 't':
                    value.push_back('\t');
                    Advance();
                    break;
                case 'r':
                    value.push_back('\r');
                    Advance();
                    break;
                case 'v':
                    value.push_back('\v');
                    Advance();
                    break;
                case 'b':
                    value.push_back('\b');
                    Advance();
                    break;
                case 'f':
                    value.push_back('\f');
                    Advance();
                    break;
                case 'a':
                    value.push_back('\a');
                    Advance();
                    break;
                case '\\':
                    value.push_back('\\');
                    Advance();
                    break;
                case '\'':
                    value.push_back('\'');
                    Advance();
                    break;
                case '"':
                    value.push_back('"');
                    Advance();
                    break;
                case '?':
                    value.push_back('?');
                    Advance();
                    break;
                case 'x': {
                    Advance();
                    unsigned code = 0;
                    int digits = 0;
                    while (pos_ < src_.size() && HexValue(src_[pos_]) >= 0) {
                        code = code * 16 + static_cast<unsigned>(HexValue(src_[pos_]));
                        if (code > 0xFF) {
                            throw LexError{escape_at, "hexadecimal escape out of range"};
                        }
                        ++digits;
                        Advance();
                    }
                    if (digits == 0) {
                        throw LexError{escape_at, "\\x escape without digits"};
                    }
                    value.push_back(static_cast<char>(code));
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        unsigned code = 0;
                        for (int i = 0;
                             i < 3 && pos_ < src_.size() && src_[pos_] >= '0' && src_[pos_] <= '7';
                             ++i) {
                            code = code * 8 + static_cast<unsigned>(src_[pos_] - '0');
                            Advance();
                        }
                        if (code > 0xFF) {
                            throw LexError{escape_at, "octal escape out of range"};
                        }
                        value.push_back(static_cast<char>(code));
                    } else {
                        throw LexError{escape_at,
                                       std::string("unknown escape sequence '\\") +
                                           (e >= 0x20 && e < 0x7F ? std::string(1, e) : "?") + "'"};
                    }
            }
        }
        token.kind = TokenKind::kString;
        token.text = std::move(value);
    }

    std::string_view src_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int column_ = 1;
};

}  // namespace

bool Tokenize(std::string_view source, std::vector<Token>& tokens, Diagnostic& error) {
    try {
        tokens = Lexer(source).Run();
        return true;
    } catch (const LexError& failure) {
        error.location = failure.location;
        error.message = failure.message;
        return false;
    }
}

std::string Describe(const Token& token) {
    switch (token.kind) {
        case TokenKind::kEnd:
            return "end of file";
        case TokenKind::kString:
            return "string \"" + token.text + "\"";
        default:
            return "'" + token.text + "'";
    }
}

}  // namespace tevo::idl
