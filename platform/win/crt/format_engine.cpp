#include "format_engine.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>
#include <string>
#include <string_view>

#include "conversion_spec.h"
#include "crt_locale.h"
#include "tevo/win/text.h"

namespace tevo::win::crt {
namespace {

template <class Char>
using String = std::basic_string<Char>;

// Narrow (UTF-8) and wide text in the output's character type, through the platform codec.
template <class Char>
String<Char> FromNarrow(std::string_view utf8);
template <>
std::string FromNarrow<char>(std::string_view utf8) {
    return std::string(utf8);
}
template <>
std::wstring FromNarrow<wchar_t>(std::string_view utf8) {
    return Utf8ToWide(utf8);
}

template <class Char>
String<Char> FromWide(std::wstring_view wide);
template <>
std::string FromWide<char>(std::wstring_view wide) {
    return WideToUtf8(wide);
}
template <>
std::wstring FromWide<wchar_t>(std::wstring_view wide) {
    return std::wstring(wide);
}

template <class Char>
String<Char> FromAscii(std::string_view ascii) {
    return String<Char>(ascii.begin(), ascii.end());
}

// The length of the longest prefix of text[0, length) that does not end inside a UTF-8
// sequence, so that a precision never leaves half a character behind.
size_t CompleteUtf8Prefix(const char* text, size_t length) {
    for (size_t back = 1; back <= 4 && back <= length; ++back) {
        const auto byte = static_cast<unsigned char>(text[length - back]);
        if ((byte & 0xC0) == 0x80) {
            continue;  // continuation byte: look further back for the lead byte
        }
        size_t needed = 1;
        if (byte >= 0xF0) {
            needed = 4;
        } else if (byte >= 0xE0) {
            needed = 3;
        } else if (byte >= 0xC0) {
            needed = 2;
        }
        return needed > back ? length - back : length;
    }
    return length;
}

// The characters at the start of a formatted number that zero padding goes after: a sign
// or blank, then a "0x"/"0X" radix prefix.
size_t SignAndRadixPrefix(std::string_view number) {
    size_t prefix = 0;
    if (!number.empty() && (number[0] == '+' || number[0] == '-' || number[0] == ' ')) {
        prefix = 1;
    }
    if (number.size() >= prefix + 2 && number[prefix] == '0' &&
        (number[prefix + 1] == 'x' || number[prefix + 1] == 'X')) {
        prefix += 2;
    }
    return prefix;
}

// The C library format for one number: the flags that shape the digits, the
// precision, a length modifier and the conversion. Width is applied by the engine.
std::string CSpec(const ConversionSpec& spec, std::string_view length, char conversion) {
    std::string text = "%";
    if (spec.show_sign) {
        text += '+';
    }
    if (spec.space_sign) {
        text += ' ';
    }
    if (spec.alternate) {
        text += '#';
    }
    if (spec.has_precision) {
        text += '.';
        text += std::to_string(spec.precision);
    }
    text += length;
    text += conversion;
    return text;
}

// snprintf of one number with a format built by CSpec.
template <class T>
bool FormatNumber(const std::string& spec, T value, std::string& text) {
    char small[128];
    const int length = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (length < 0) {
        return false;
    }
    if (static_cast<size_t>(length) < sizeof small) {
        text.assign(small, static_cast<size_t>(length));
        return true;
    }
    text.assign(static_cast<size_t>(length) + 1, '\0');
    if (std::snprintf(text.data(), text.size(), spec.c_str(), value) != length) {
        return false;
    }
    text.resize(static_cast<size_t>(length));
    return true;
}

template <class Char>
class Formatter {
  public:
    Formatter(OutputSink<Char>& out, va_list args) : out_(out) { va_copy(args_, args); }
    ~Formatter() { va_end(args_); }
    Formatter(const Formatter&) = delete;
    Formatter& operator=(const Formatter&) = delete;

    bool Run(const Char* format) {
        const Char* pos = format;
        while (*pos != Char{}) {
            if (AsciiOf(*pos) != '%') {
                const Char* start = pos;
                while (*pos != Char{} && AsciiOf(*pos) != '%') {
                    ++pos;
                }
                out_.Put(std::basic_string_view<Char>(start, static_cast<size_t>(pos - start)));
                continue;
            }
            ++pos;
            ConversionSpec spec;
            const size_t used = ParseConversionSpec(pos, spec);
            if (used == 0) {
                return false;
            }
            pos += used;
            if (!Convert(spec)) {
                return false;
            }
        }
        return true;
    }

  private:
    static constexpr bool kWideOutput = sizeof(Char) == sizeof(wchar_t);

    // The caller started the list; the analyzer cannot see that through the copy.
    // NOLINTBEGIN(clang-analyzer-valist.Uninitialized)
    bool Convert(ConversionSpec spec) {
        if (spec.conversion == 'n') {
            return false;  // refused: nothing is ever written through its pointer
        }
        size_t width = static_cast<size_t>(spec.width);
        if (spec.width_from_argument) {
            const int value = va_arg(args_, int);
            if (value < 0) {
                spec.left_justify = true;
                width = static_cast<size_t>(-static_cast<long long>(value));
            } else {
                width = static_cast<size_t>(value);
            }
        }
        if (spec.precision_from_argument) {
            spec.precision = va_arg(args_, int);
            spec.has_precision = spec.precision >= 0;
        }
        switch (spec.conversion) {
            case '%':
                out_.Put(std::basic_string_view<Char>(kPercent, 1));
                return true;
            case 'd':
            case 'i':
                return PutSigned(spec, width);
            case 'u':
            case 'o':
            case 'x':
            case 'X':
                return PutUnsigned(spec, width);
            case 'c':
            case 'C':
                PutCharacter(spec, width);
                return true;
            case 's':
            case 'S':
                PutString(spec, width);
                return true;
            case 'p':
                return PutPointer(spec, width);
            default:
                return PutFloating(spec, width);
        }
    }

    // ll, I64, I, z, j and t all name 64-bit types on this platform.
    static_assert(sizeof(long long) == 8 && sizeof(std::size_t) == 8 &&
                  sizeof(std::ptrdiff_t) == 8 && sizeof(std::intmax_t) == 8);

    bool PutSigned(const ConversionSpec& spec, size_t width) {
        long long value = 0;
        switch (spec.size) {
            case SizePrefix::kChar:
                // hh: only the low byte of the promoted argument counts, signed.
                value = static_cast<signed char>(  // NOLINT(bugprone-signed-char-misuse)
                    va_arg(args_, int));
                break;
            case SizePrefix::kShort:
                value = static_cast<short>(va_arg(args_, int));
                break;
            case SizePrefix::kLongLong:
            case SizePrefix::kInt64:
            case SizePrefix::kSizeT:
            case SizePrefix::kPtrDiff:
            case SizePrefix::kIntMax:
                value = va_arg(args_, long long);
                break;
            default:  // none, l and I32: the 32-bit int of this platform
                value = va_arg(args_, int);
                break;
        }
        return PutInteger(spec, width, value);
    }

    bool PutUnsigned(const ConversionSpec& spec, size_t width) {
        unsigned long long value = 0;
        switch (spec.size) {
            case SizePrefix::kChar:
                value = static_cast<unsigned char>(va_arg(args_, int));
                break;
            case SizePrefix::kShort:
                value = static_cast<unsigned short>(va_arg(args_, int));
                break;
            case SizePrefix::kLongLong:
            case SizePrefix::kInt64:
            case SizePrefix::kSizeT:
            case SizePrefix::kPtrDiff:
            case SizePrefix::kIntMax:
                value = va_arg(args_, unsigned long long);
                break;
            default:  // none, l and I32: 32 bits
                value = va_arg(args_, unsigned);
                break;
        }
        return PutInteger(spec, width, value);
    }

    template <class T>
    bool PutInteger(const ConversionSpec& spec, size_t width, T value) {
        std::string number;
        if (!FormatNumber(CSpec(spec, "ll", spec.conversion), value, number)) {
            return false;
        }
        // A precision is the minimum number of digits; the 0 flag then has no effect.
        PutField(FromAscii<Char>(number), spec, width, spec.zero_pad && !spec.has_precision,
                 SignAndRadixPrefix(number));
        return true;
    }

    bool PutFloating(const ConversionSpec& spec, size_t width) {
        std::string number;
        bool finite = true;
        bool formatted = false;
        if (spec.size == SizePrefix::kLongDouble) {
            const long double value = va_arg(args_, long double);
            finite = std::isfinite(value);
            formatted = FormatNumber(CSpec(spec, "L", spec.conversion), value, number);
        } else {
            const double value = va_arg(args_, double);
            finite = std::isfinite(value);
            formatted = FormatNumber(CSpec(spec, "", spec.conversion), value, number);
        }
        if (!formatted) {
            return false;
        }
        PutField(FromAscii<Char>(number), spec, width, spec.zero_pad && finite,
                 SignAndRadixPrefix(number));
        return true;
    }

    bool PutPointer(const ConversionSpec& spec, size_t width) {
        const void* pointer = va_arg(args_, void*);
        char digits[2 * sizeof(void*) + 1];
        const int length = std::snprintf(
            digits, sizeof digits, "%0*llX", static_cast<int>(2 * sizeof(void*)),
            static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
        if (length != static_cast<int>(2 * sizeof(void*))) {
            return false;
        }
        PutField(FromAscii<Char>(digits), spec, width, false, 0);
        return true;
    }

    // Whether a c/C/s/S conversion takes a wide argument: lower case takes the output's
    // own kind, upper case the other one; h forces narrow, l and w force wide.
    static bool TakesWideArgument(const ConversionSpec& spec) {
        if (spec.size == SizePrefix::kShort) {
            return false;
        }
        if (spec.size == SizePrefix::kLong || spec.size == SizePrefix::kWide) {
            return true;
        }
        const bool lower_case = spec.conversion == 'c' || spec.conversion == 's';
        return lower_case == kWideOutput;
    }

    void PutCharacter(const ConversionSpec& spec, size_t width) {
        String<Char> text;
        if (TakesWideArgument(spec)) {
            const auto c = static_cast<wchar_t>(va_arg(args_, wint_t));
            text = FromWide<Char>(std::wstring_view(&c, 1));
        } else {
            const auto c = static_cast<char>(va_arg(args_, int));
            text = FromNarrow<Char>(std::string_view(&c, 1));
        }
        PutField(text, spec, width, spec.zero_pad, 0);
    }

    void PutString(const ConversionSpec& spec, size_t width) {
        const auto limit = static_cast<size_t>(spec.precision);
        String<Char> text;
        if (TakesWideArgument(spec)) {
            const wchar_t* s = va_arg(args_, const wchar_t*);
            if (s == nullptr) {
                s = L"(null)";
            }
            const size_t length = spec.has_precision ? wcsnlen(s, limit) : std::wcslen(s);
            text = FromWide<Char>(std::wstring_view(s, length));
        } else {
            const char* s = va_arg(args_, const char*);
            if (s == nullptr) {
                s = "(null)";
            }
            size_t length = spec.has_precision ? strnlen(s, limit) : std::strlen(s);
            if (spec.has_precision && length == limit) {
                length = CompleteUtf8Prefix(s, length);
            }
            text = FromNarrow<Char>(std::string_view(s, length));
        }
        PutField(text, spec, width, spec.zero_pad, 0);
    }
    // NOLINTEND(clang-analyzer-valist.Uninitialized)

    // Writes one field: the text justified in `width` characters, padded with blanks, or
    // with zeros after its first `prefix_length` characters when `zero_fill` is set.
    void PutField(const String<Char>& text, const ConversionSpec& spec, size_t width,
                  bool zero_fill, size_t prefix_length) {
        const std::basic_string_view<Char> view(text);
        const size_t padding = width > view.size() ? width - view.size() : 0;
        if (spec.left_justify) {
            out_.Put(view);
            out_.Repeat(Char(' '), padding);
        } else if (zero_fill) {
            out_.Put(view.substr(0, prefix_length));
            out_.Repeat(Char('0'), padding);
            out_.Put(view.substr(prefix_length));
        } else {
            out_.Repeat(Char(' '), padding);
            out_.Put(view);
        }
    }

    static constexpr Char kPercent[] = {Char('%'), Char{}};

    OutputSink<Char>& out_;
    va_list args_;
};

}  // namespace

template <class Char>
bool FormatText(OutputSink<Char>& out, const Char* format, locale_t c_locale, va_list args) {
    if (c_locale == nullptr) {
        return false;  // uselocale(nullptr) would only query the thread's locale
    }
    const ScopedThreadLocale scope(c_locale);
    try {
        Formatter<Char> formatter(out, args);
        return formatter.Run(format);
    } catch (const std::exception&) {
        return false;  // out of memory for a huge field: a failed format, not a crash
    }
}

template bool FormatText<char>(OutputSink<char>&, const char*, locale_t, va_list);
template bool FormatText<wchar_t>(OutputSink<wchar_t>&, const wchar_t*, locale_t, va_list);

}  // namespace tevo::win::crt
