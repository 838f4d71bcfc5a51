#include "scpi/program_message.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "scpi/error_codes.h"

namespace tevo::emulator::scpi {
namespace {

constexpr size_t kMaxMnemonicLength = 12;

bool IsAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (IsWhite(text.front()) || text.front() == '\n'))
        text.remove_prefix(1);
    while (!text.empty() && (IsWhite(text.back()) || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// Length of a definite-length block starting at text[pos] == '#', or 0 when the bytes
// there are not a complete block header followed by its data.
size_t BlockLength(std::string_view text, size_t pos) {
    if (pos + 1 >= text.size() || text[pos + 1] < '1' || text[pos + 1] > '9')
        return 0;
    const size_t digits = static_cast<size_t>(text[pos + 1] - '0');
    if (pos + 2 + digits > text.size())
        return 0;
    size_t length = 0;
    for (size_t k = 0; k < digits; ++k) {
        const char d = text[pos + 2 + k];
        if (!IsDigit(d))
            return 0;
        length = length * 10 + static_cast<size_t>(d - '0');
        if (length > text.size())
            return 0;
    }
    if (pos + 2 + digits + length > text.size())
        return 0;
    return 2 + digits + length;
}

class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek(size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    void Advance(size_t n = 1) { pos_ += n; }
    size_t position() const { return pos_; }
    std::string_view text() const { return text_; }
    bool SkipWhite() {
        const size_t start = pos_;
        while (!AtEnd() && IsWhite(Peek()))
            ++pos_;
        return pos_ != start;
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

// A mnemonic: a letter, then letters, digits and underscores. Trailing digits are the
// numeric suffix.
Keyword ParseMnemonic(Cursor& in) {
    if (!IsAlpha(in.Peek())) {
        const char c = in.Peek();
        const bool misplaced = in.AtEnd() || c == ':' || c == '?' || IsWhite(c) || IsDigit(c);
        throw Error(misplaced ? kSyntaxError : kInvalidCharacter);
    }
    std::string raw;
    while (IsAlpha(in.Peek()) || IsDigit(in.Peek()) || in.Peek() == '_') {
        raw.push_back(Upper(in.Peek()));
        in.Advance();
    }
    if (raw.size() > kMaxMnemonicLength)
        throw Error(kProgramMnemonicTooLong);
    Keyword keyword;
    size_t end = raw.size();
    while (end > 0 && IsDigit(raw[end - 1]))
        --end;
    if (end < raw.size()) {
        // Suffixes are small numbers; a long run of digits is simply out of range.
        int suffix = 1000000;
        if (raw.size() - end <= 6)
            std::from_chars(raw.data() + end, raw.data() + raw.size(), suffix);
        keyword.suffix = suffix;
        raw.resize(end);
    }
    keyword.name = std::move(raw);
    return keyword;
}

Header ParseHeader(Cursor& in) {
    Header header;
    if (in.Peek() == '*') {
        in.Advance();
        header.common = true;
        if (!IsAlpha(in.Peek()))
            throw Error(kSyntaxError);
        std::string name;
        while (IsAlpha(in.Peek())) {
            name.push_back(Upper(in.Peek()));
            in.Advance();
        }
        if (name.size() > kMaxMnemonicLength)
            throw Error(kProgramMnemonicTooLong);
        header.keywords.push_back(Keyword{std::move(name), std::nullopt, false});
    } else {
        if (in.Peek() == ':') {
            header.absolute = true;
            in.Advance();
        }
        header.keywords.push_back(ParseMnemonic(in));
        while (in.Peek() == ':') {
            in.Advance();
            header.keywords.push_back(ParseMnemonic(in));
        }
    }
    if (in.Peek() == '?') {
        header.query = true;
        in.Advance();
    }
    if (!in.AtEnd() && !IsWhite(in.Peek())) {
        const char c = in.Peek();
        if (c == ':' || c == '?' || c == '*')
            throw Error(kSyntaxError);
        if (c == ',' || c == ';')
            throw Error(kInvalidSeparator);
        throw Error(kInvalidCharacter);
    }
    return header;
}

// Decimal numeric program data: mantissa, optional exponent, optional suffix.
Parameter ParseDecimal(Cursor& in) {
    const size_t start = in.position();
    if (in.Peek() == '+' || in.Peek() == '-')
        in.Advance();
    size_t digits = 0;
    while (IsDigit(in.Peek())) {
        in.Advance();
        ++digits;
    }
    if (in.Peek() == '.') {
        in.Advance();
        while (IsDigit(in.Peek())) {
            in.Advance();
            ++digits;
        }
    }
    if (digits == 0)
        throw Error(kInvalidCharacterInNumber);
    std::string number(in.text().substr(start, in.position() - start));
    // Exponent: white space may precede the E; digits must follow it.
    {
        size_t look = 0;
        while (IsWhite(in.Peek(look)))
            ++look;
        if (Upper(in.Peek(look)) == 'E') {
            size_t after = look + 1;
            while (IsWhite(in.Peek(after)))
                ++after;
            size_t sign = after;
            if (in.Peek(sign) == '+' || in.Peek(sign) == '-')
                ++sign;
            if (IsDigit(in.Peek(sign))) {
                number.push_back('E');
                if (sign != after)
                    number.push_back(in.Peek(after));
                in.Advance(sign);
                size_t exponent_digits = 0;
                while (IsDigit(in.Peek())) {
                    number.push_back(in.Peek());
                    in.Advance();
                    ++exponent_digits;
                }
                if (exponent_digits > 5)
                    throw Error(kExponentTooLarge);
            }
        }
    }
    Parameter parameter;
    parameter.type = ParameterType::kNumeric;
    errno = 0;
    parameter.number = std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(parameter.number))
        throw Error(kExponentTooLarge);
    parameter.text = number;
    // Suffix: white space, then letters (and '/', digits after the first letter).
    size_t look = 0;
    while (IsWhite(in.Peek(look)))
        ++look;
    if (IsAlpha(in.Peek(look))) {
        in.Advance(look);
        while (IsAlpha(in.Peek()) || IsDigit(in.Peek()) || in.Peek() == '/') {
            parameter.suffix.push_back(Upper(in.Peek()));
            in.Advance();
        }
    } else if (in.Peek(look) == '.' || IsDigit(in.Peek(look)) || in.Peek(look) == '+' ||
               in.Peek(look) == '-') {
        throw Error(kInvalidCharacterInNumber);
    }
    return parameter;
}

// #H (hexadecimal), #Q (octal), #B (binary) numeric data.
Parameter ParseNonDecimal(Cursor& in) {
    const char radix_char = Upper(in.Peek(1));
    const int radix = radix_char == 'H' ? 16 : radix_char == 'Q' ? 8 : 2;
    in.Advance(2);
    long long value = 0;
    size_t digits = 0;
    while (true) {
        const char c = Upper(in.Peek());
        int digit = -1;
        if (IsDigit(c))
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= radix) {
            if (IsAlpha(c) || IsDigit(c))
                throw Error(kInvalidCharacterInNumber);
            break;
        }
        value = value * radix + digit;
        if (value > (1LL << 53))
            throw Error(kNumericDataError);
        in.Advance();
        ++digits;
    }
    if (digits == 0)
        throw Error(kInvalidCharacterInNumber);
    Parameter parameter;
    parameter.type = ParameterType::kNumeric;
    parameter.number = static_cast<double>(value);
    parameter.text = std::to_string(value);
    return parameter;
}

Parameter ParseString(Cursor& in) {
    const char quote = in.Peek();
    in.Advance();
    Parameter parameter;
    parameter.type = ParameterType::kString;
    while (true) {
        if (in.AtEnd())
            throw Error(kInvalidStringData);
        const char c = in.Peek();
        in.Advance();
        if (c == quote) {
            if (in.Peek() == quote) {
                parameter.text.push_back(quote);
                in.Advance();
                continue;
            }
            break;
        }
        parameter.text.push_back(c);
    }
    return parameter;
}

Parameter ParseExpression(Cursor& in) {
    const size_t start = in.position();
    int depth = 0;
    char quote = 0;
    while (!in.AtEnd()) {
        const char c = in.Peek();
        in.Advance();
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) {
                Parameter parameter;
                parameter.type = ParameterType::kExpression;
                parameter.text = std::string(in.text().substr(start, in.position() - start));
                return parameter;
            }
        }
    }
    throw Error(kExpressionError);
}

Parameter ParseBlock(Cursor& in) {
    const size_t length = BlockLength(in.text(), in.position());
    if (length == 0)
        throw Error(kInvalidBlockData);
    const size_t digits = static_cast<size_t>(in.Peek(1) - '0');
    Parameter parameter;
    parameter.type = ParameterType::kBlock;
    parameter.text = std::string(in.text().substr(in.position() + 2 + digits, length - 2 - digits));
    in.Advance(length);
    return parameter;
}

Parameter ParseCharacter(Cursor& in) {
    Parameter parameter;
    parameter.type = ParameterType::kCharacter;
    while (IsAlpha(in.Peek()) || IsDigit(in.Peek()) || in.Peek() == '_') {
        parameter.text.push_back(Upper(in.Peek()));
        in.Advance();
    }
    if (parameter.text.size() > kMaxMnemonicLength)
        throw Error(kCharacterDataTooLong);
    return parameter;
}

Parameter ParseParameter(Cursor& in) {
    const char c = in.Peek();
    if (IsDigit(c) || c == '+' || c == '-' || c == '.')
        return ParseDecimal(in);
    if (IsAlpha(c))
        return ParseCharacter(in);
    if (c == '\'' || c == '"')
        return ParseString(in);
    if (c == '(')
        return ParseExpression(in);
    if (c == '#') {
        const char radix = Upper(in.Peek(1));
        if (radix == 'H' || radix == 'Q' || radix == 'B')
            return ParseNonDecimal(in);
        return ParseBlock(in);
    }
    if (c == ',' || c == ';')
        throw Error(kSyntaxError);
    throw Error(kInvalidCharacter);
}

}  // namespace

std::vector<std::string_view> SplitUnits(std::string_view message) {
    std::vector<std::string_view> units;
    size_t start = 0;
    char quote = 0;
    int depth = 0;
    size_t i = 0;
    const auto add = [&](size_t end) {
        const std::string_view unit = Trim(message.substr(start, end - start));
        if (!unit.empty())
            units.push_back(unit);
    };
    while (i < message.size()) {
        const char c = message[i];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
            ++i;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth > 0)
                --depth;
        } else if (c == '#') {
            const size_t length = BlockLength(message, i);
            if (length > 0) {
                i += length;
                continue;
            }
        } else if (c == ';' && depth == 0) {
            add(i);
            start = i + 1;
        }
        ++i;
    }
    add(message.size());
    return units;
}

bool UnitIsQuery(std::string_view unit) {
    unit = Trim(unit);
    size_t end = 0;
    while (end < unit.size() && !IsWhite(unit[end]))
        ++end;
    return end > 0 && unit[end - 1] == '?';
}

ProgramUnit ParseUnit(std::string_view text) {
    Cursor in(Trim(text));
    ProgramUnit unit;
    unit.header = ParseHeader(in);
    in.SkipWhite();
    if (in.AtEnd())
        return unit;
    while (true) {
        unit.parameters.push_back(ParseParameter(in));
        in.SkipWhite();
        if (in.AtEnd())
            break;
        if (in.Peek() != ',')
            throw Error(in.Peek() == ';' ? kSyntaxError : kInvalidSeparator);
        in.Advance();
        in.SkipWhite();
        if (in.AtEnd())
            throw Error(kSyntaxError);
    }
    return unit;
}

}  // namespace tevo::emulator::scpi
