#include "number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace tevo::com::detail {

namespace {

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Reads the number text of OLE Automation (see tevo/com/variant.h) from a trimmed text.
class NumberReader {
  public:
    explicit NumberReader(std::wstring_view text) : text_(text) {}

    std::optional<DecimalNumber> Read() {
        ReadLeadingMarks();
        std::string digits;
        std::int64_t fractionDigits = 0;
        bool anyDigit = false;
        while (pos_ < text_.size()) {
            const wchar_t c = text_[pos_];
            if (IsDigit(c)) {
                digits.push_back(static_cast<char>(c));
                anyDigit = true;
                ++pos_;
            } else if (c == L',' && anyDigit && pos_ + 1 < text_.size() &&
                       IsDigit(text_[pos_ + 1])) {
                ++pos_;  // digit grouping
            } else {
                break;
            }
        }
        if (Peek() == L'.') {
            ++pos_;
            while (pos_ < text_.size() && IsDigit(text_[pos_])) {
                digits.push_back(static_cast<char>(text_[pos_]));
                ++fractionDigits;
                anyDigit = true;
                ++pos_;
            }
        }
        if (!anyDigit) {
            return std::nullopt;
        }
        std::int64_t exponent = 0;
        const wchar_t e = Peek();
        if (e == L'e' || e == L'E' || e == L'd' || e == L'D') {
            ++pos_;
            if (!ReadExponent(&exponent)) {
                return std::nullopt;
            }
        }
        if (!ReadTrailingMarks()) {
            return std::nullopt;
        }
        return DecimalNumber::FromParts(negative_, digits, exponent - fractionDigits);
    }

  private:
    wchar_t Peek() const { return pos_ < text_.size() ? text_[pos_] : L'\0'; }

    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) {
            ++pos_;
        }
    }

    // Any order of one currency sign and one sign or opening parenthesis.
    void ReadLeadingMarks() {
        for (;;) {
            const wchar_t c = Peek();
            if (c == L'$' && !currency_) {
                currency_ = true;
            } else if ((c == L'+' || c == L'-') && !signed_) {
                signed_ = true;
                negative_ = c == L'-';
            } else if (c == L'(' && !signed_) {
                signed_ = true;
                parenthesis_ = true;
                negative_ = true;
            } else {
                return;
            }
            ++pos_;
            SkipBlanks();
        }
    }

    bool ReadExponent(std::int64_t* exponent) {
        bool negative = false;
        if (Peek() == L'+' || Peek() == L'-') {
            negative = Peek() == L'-';
            ++pos_;
        }
        if (!IsDigit(Peek())) {
            return false;
        }
        std::int64_t value = 0;
        while (IsDigit(Peek())) {
            // Saturate: a longer exponent only over- or underflows every target anyway.
            value = std::min<std::int64_t>(value * 10 + (Peek() - L'0'), 100000000);
            ++pos_;
        }
        *exponent = negative ? -value : value;
        return true;
    }

    // A trailing sign (when none led), the closing parenthesis, a currency sign; then the
    // end of the text.
    bool ReadTrailingMarks() {
        SkipBlanks();
        for (;;) {
            const wchar_t c = Peek();
            if (c == L'$' && !currency_) {
                currency_ = true;
            } else if ((c == L'+' || c == L'-') && !signed_) {
                signed_ = true;
                negative_ = c == L'-';
            } else if (c == L')' && parenthesis_) {
                parenthesis_ = false;
            } else {
                break;
            }
            ++pos_;
            SkipBlanks();
        }
        return !parenthesis_ && pos_ == text_.size();
    }

    std::wstring_view text_;
    std::size_t pos_ = 0;
    bool negative_ = false;
    bool signed_ = false;
    bool parenthesis_ = false;
    bool currency_ = false;
};

}  // namespace

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f' ||
           c == L'\u00A0';
}

std::wstring_view TrimmedText(std::wstring_view text) {
    const std::size_t zero = text.find(L'\0');
    if (zero != std::wstring_view::npos) {
        text = text.substr(0, zero);
    }
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<DecimalNumber> ParseNumberText(std::wstring_view text) {
    return NumberReader(TrimmedText(text)).Read();
}

std::wstring FormatFloating(double value, int significant) {
    if (std::isnan(value)) {
        return L"-1.#IND";
    }
    if (std::isinf(value)) {
        return value < 0 ? L"-1.#INF" : L"1.#INF";
    }
    if (value == 0.0) {
        return L"0";  // also for negative zero
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general,
                                significant);
    std::wstring text;
    for (const char* p = buffer; p != result.ptr; ++p) {
        text.push_back(*p == 'e' ? L'E' : static_cast<wchar_t>(*p));
    }
    return text;
}

std::wstring FormatCurrency(const CY& value) {
    return FormatPlain(DecimalNumber::FromScaled(value.int64 < 0
                                                     ? ~static_cast<std::uint64_t>(value.int64) + 1
                                                     : static_cast<std::uint64_t>(value.int64),
                                                 value.int64 < 0, 4));
}

}  // namespace tevo::com::detail
