#include "date_text.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <utility>
#include <vector>

#include "number_text.h"
#include "tevo/com/variant.h"
#include "tevo/win/winerror.h"

namespace tevo::com::detail {

namespace {

// Day 0 of DATE (30 Dec 1899) counted from 1 Jan 1970.
constexpr std::int64_t kDateEpochInUnixDays = -25569;
constexpr int kSecondsPerDay = 86400;

// Days since 1 Jan 1970 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, DateParts* parts) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    parts->year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
    parts->month = static_cast<int>(m);
    parts->day = static_cast<int>(d);
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr std::array<const wchar_t*, 12> kMonthNames = {
    L"JANUARY", L"FEBRUARY", L"MARCH",     L"APRIL",   L"MAY",      L"JUNE",
    L"JULY",    L"AUGUST",   L"SEPTEMBER", L"OCTOBER", L"NOVEMBER", L"DECEMBER"};

// The month (1..12) of an upper-case English month name or its three-letter form; 0 if
// the word is none.
int MonthFromWord(const std::wstring& word) {
    for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
        const std::wstring_view name = kMonthNames[i];
        if (word == name || (word.size() == 3 && name.substr(0, 3) == word) ||
            (word == L"SEPT" && i == 8)) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

struct Token {
    enum Kind { kNumber, kWord, kSeparator } kind = kNumber;
    int number = 0;
    int digitCount = 0;
    std::wstring word;  // upper-case letters
    wchar_t separator = 0;
};

bool Tokenize(std::wstring_view text, std::vector<Token>* tokens) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const wchar_t c = text[pos];
        if (IsBlank(c)) {
            ++pos;
        } else if (c >= L'0' && c <= L'9') {
            Token token;
            token.kind = Token::kNumber;
            while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') {
                if (token.digitCount >= 6) {
                    return false;  // no part of a date has that many digits
                }
                token.number = token.number * 10 + (text[pos] - L'0');
                ++token.digitCount;
                ++pos;
            }
            tokens->push_back(token);
        } else if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z')) {
            Token token;
            token.kind = Token::kWord;
            while (pos < text.size() && ((text[pos] >= L'a' && text[pos] <= L'z') ||
                                         (text[pos] >= L'A' && text[pos] <= L'Z'))) {
                const wchar_t letter = text[pos];
                token.word.push_back(letter >= L'a' ? static_cast<wchar_t>(letter - L'a' + L'A')
                                                    : letter);
                ++pos;
            }
            tokens->push_back(token);
        } else if (c == L'/' || c == L'-' || c == L':' || c == L',' || c == L'.') {
            Token token;
            token.kind = Token::kSeparator;
            token.separator = c;
            tokens->push_back(token);
            ++pos;
        } else {
            return false;
        }
    }
    return true;
}

// Reads a date and a time from the tokens in either order.
class DateReader {
  public:
    explicit DateReader(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    HRESULT Read(DATE* result) {
        bool haveDate = false;
        bool haveTime = false;
        DateParts parts;
        while (pos_ < tokens_.size()) {
            // A comma after a part ("Dec 8, 2026, 6:00 PM") and the ISO "T" between date
            // and time ("2026-12-08T18:09:20") are skipped.
            const bool comma = IsSeparator(pos_, L',') && (haveDate || haveTime);
            const bool isoT = IsWord(pos_, L"T") && haveDate && !haveTime;
            if (comma || isoT) {
                ++pos_;
            } else if (!haveTime && ReadTime(&parts)) {
                haveTime = true;
            } else if (!haveDate && ReadDate(&parts)) {
                haveDate = true;
            } else {
                return DISP_E_TYPEMISMATCH;
            }
        }
        if (!haveDate && !haveTime) {
            return DISP_E_TYPEMISMATCH;
        }
        *result = PartsToDate(parts);
        return S_OK;
    }

  private:
    bool IsNumber(std::size_t i) const {
        return i < tokens_.size() && tokens_[i].kind == Token::kNumber;
    }
    bool IsSeparator(std::size_t i, wchar_t c) const {
        return i < tokens_.size() && tokens_[i].kind == Token::kSeparator &&
               tokens_[i].separator == c;
    }
    bool IsWord(std::size_t i, const wchar_t* word) const {
        return i < tokens_.size() && tokens_[i].kind == Token::kWord && tokens_[i].word == word;
    }
    int MonthAt(std::size_t i) const {
        return i < tokens_.size() && tokens_[i].kind == Token::kWord
                   ? MonthFromWord(tokens_[i].word)
                   : 0;
    }

    // h:mm[:ss][.fff] [AM|PM], or h AM|PM.
    bool ReadTime(DateParts* parts) {
        std::size_t i = pos_;
        if (!IsNumber(i) || tokens_[i].digitCount > 2) {
            return false;
        }
        int fields[3] = {tokens_[i].number, 0, 0};
        int count = 1;
        ++i;
        while (count < 3 && IsSeparator(i, L':') && IsNumber(i + 1) &&
               tokens_[i + 1].digitCount <= 2) {
            fields[count++] = tokens_[i + 1].number;
            i += 2;
        }
        if (count == 3 && IsSeparator(i, L'.') && IsNumber(i + 1)) {
            i += 2;  // fractions of a second are dropped
        }
        int meridiem = 0;  // 1 AM, 2 PM
        if (IsWord(i, L"AM") || IsWord(i, L"A")) {
            meridiem = 1;
        } else if (IsWord(i, L"PM") || IsWord(i, L"P")) {
            meridiem = 2;
        }
        if (meridiem != 0) {
            ++i;
        } else if (count == 1) {
            return false;  // a lone number is no time
        }
        int hour = fields[0];
        if (meridiem != 0) {
            if (hour > 12) {
                return false;
            }
            hour = hour % 12 + (meridiem == 2 ? 12 : 0);
        }
        if (hour > 23 || fields[1] > 59 || fields[2] > 59) {
            return false;
        }
        parts->hour = hour;
        parts->minute = fields[1];
        parts->second = fields[2];
        pos_ = i;
        return true;
    }

    static int FullYear(const Token& token) {
        if (token.digitCount <= 2) {
            return token.number < 30 ? 2000 + token.number : 1900 + token.number;
        }
        return token.digitCount <= 4 ? token.number : -1;
    }

    bool Accept(DateParts* parts, int year, int month, int day, std::size_t next) {
        if (year < 100 || year > 9999 || !IsValidDay(year, month, day)) {
            return false;
        }
        parts->year = year;
        parts->month = month;
        parts->day = day;
        pos_ = next;
        return true;
    }

    bool ReadDate(DateParts* parts) {
        const std::size_t i = pos_;
        // Numeric: M/D/Y, M-D-Y, or Y-M-D / Y/M/D when the first number has 3 or 4 digits.
        if (IsNumber(i) && IsNumber(i + 2) && IsNumber(i + 4) && i + 3 < tokens_.size() &&
            tokens_[i + 1].kind == Token::kSeparator && tokens_[i + 3].kind == Token::kSeparator) {
            const wchar_t sep = tokens_[i + 1].separator;
            if ((sep == L'/' || sep == L'-') && tokens_[i + 3].separator == sep) {
                const Token& a = tokens_[i];
                const Token& b = tokens_[i + 2];
                const Token& c = tokens_[i + 4];
                if (a.digitCount >= 3) {
                    return b.digitCount <= 2 && c.digitCount <= 2 &&
                           Accept(parts, FullYear(a), b.number, c.number, i + 5);
                }
                return a.digitCount <= 2 && b.digitCount <= 2 &&
                       Accept(parts, FullYear(c), a.number, b.number, i + 5);
            }
        }
        // Month D[,] Y
        if (int month = MonthAt(i); month != 0 && IsNumber(i + 1)) {
            std::size_t y = i + 2;
            if (IsSeparator(y, L',')) {
                ++y;
            }
            return IsNumber(y) && tokens_[i + 1].digitCount <= 2 &&
                   Accept(parts, FullYear(tokens_[y]), month, tokens_[i + 1].number, y + 1);
        }
        // D Month[,] Y and D-Mon-Y
        if (IsNumber(i) && tokens_[i].digitCount <= 2) {
            std::size_t m = i + 1;
            const bool dashed = IsSeparator(m, L'-');
            if (dashed) {
                ++m;
            }
            if (int month = MonthAt(m); month != 0) {
                std::size_t y = m + 1;
                if (dashed ? IsSeparator(y, L'-') : IsSeparator(y, L',')) {
                    ++y;
                } else if (dashed) {
                    return false;
                }
                return IsNumber(y) &&
                       Accept(parts, FullYear(tokens_[y]), month, tokens_[i].number, y + 1);
            }
        }
        return false;
    }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
};

}  // namespace

bool IsValidDay(int year, int month, int day) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) {
        return false;
    }
    const int last = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    return day <= last;
}

bool IsDateInRange(double date) {
    // 1 Jan 100 is day -657434, 31 Dec 9999 day 2958465; the time of day extends each
    // end by up to one day away from zero.
    return date > -657435.0 && date < 2958466.0;
}

bool DateToParts(DATE date, DateParts* parts) {
    if (!IsDateInRange(date)) {
        return false;
    }
    const double whole = std::trunc(date);
    auto day = static_cast<std::int64_t>(whole);
    auto seconds =
        static_cast<std::int64_t>(std::floor(std::fabs(date - whole) * kSecondsPerDay + 0.5));
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        ++day;  // rounded up to the next midnight
    }
    CivilFromDays(day + kDateEpochInUnixDays, parts);
    parts->hour = static_cast<int>(seconds / 3600);
    parts->minute = static_cast<int>(seconds / 60 % 60);
    parts->second = static_cast<int>(seconds % 60);
    return parts->year >= 100 && parts->year <= 9999;
}

DATE PartsToDate(const DateParts& parts) {
    const std::int64_t day = DaysFromCivil(parts.year, static_cast<unsigned>(parts.month),
                                           static_cast<unsigned>(parts.day)) -
                             kDateEpochInUnixDays;
    const double time =
        static_cast<double>(parts.hour * 3600 + parts.minute * 60 + parts.second) / kSecondsPerDay;
    return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

std::optional<std::wstring> FormatDate(DATE date, ULONG flags) {
    DateParts parts;
    if (!DateToParts(date, &parts)) {
        return std::nullopt;
    }
    const bool dayZero = parts.year == 1899 && parts.month == 12 && parts.day == 30;
    const bool midnight = parts.hour == 0 && parts.minute == 0 && parts.second == 0;
    bool showDate = true;
    bool showTime = true;
    if ((flags & VAR_TIMEVALUEONLY) != 0 || ((flags & VAR_DATEVALUEONLY) == 0 && dayZero)) {
        showDate = false;
    } else if ((flags & VAR_DATEVALUEONLY) != 0 || midnight) {
        showTime = false;
    }
    wchar_t buffer[64];
    std::wstring text;
    if (showDate) {
        std::swprintf(buffer, 64, L"%d/%d/%04d", parts.month, parts.day, parts.year);
        text = buffer;
    }
    if (showTime) {
        const int hour12 = parts.hour % 12 == 0 ? 12 : parts.hour % 12;
        std::swprintf(buffer, 64, L"%d:%02d:%02d %ls", hour12, parts.minute, parts.second,
                      parts.hour < 12 ? L"AM" : L"PM");
        if (!text.empty()) {
            text += L' ';
        }
        text += buffer;
    }
    return text;
}

HRESULT ParseDateText(std::wstring_view text, DATE* date) {
    std::vector<Token> tokens;
    if (!Tokenize(TrimmedText(text), &tokens)) {
        return DISP_E_TYPEMISMATCH;
    }
    return DateReader(std::move(tokens)).Read(date);
}

}  // namespace tevo::com::detail
