#include "message_formatter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace tevo::win::detail {
namespace {

constexpr int kMaxWidth = 0xFFFF;
constexpr DWORD kNoLineBreaks = 0xFF;

// How an argument is read from a va_list.
enum class ArgKind { Unset, Int32, Int64, SizeT, Pointer };

enum class Size { Default, Char, Short, Long32, Long64, PointerSized };

struct Insert {
    int number = 0;
    std::wstring written;  // the insert as it stands in the text
    std::string flags;
    bool width_star = false;
    bool precision_star = false;
    int width = 0;       // none
    int precision = -1;  // none
    Size size = Size::Default;
    char conversion = 's';
    bool wide_text = false;  // for s and c: the argument is wchar_t

    int ValueSlot() const { return number + (width_star ? 1 : 0) + (precision_star ? 1 : 0); }
};

using Piece = std::variant<std::wstring, Insert>;

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Parses the text between the two '!' of an insert.
bool ParseSpec(std::wstring_view spec, bool narrow_caller, Insert& insert) {
    size_t i = 0;
    while (i < spec.size() && std::wstring_view(L"-+ #0").find(spec[i]) != std::wstring_view::npos)
        insert.flags.push_back(static_cast<char>(spec[i++]));
    auto number = [&](bool& star, int& value) {
        if (i < spec.size() && spec[i] == L'*') {
            star = true;
            ++i;
            return;
        }
        if (i < spec.size() && IsDigit(spec[i])) {
            value = 0;
            while (i < spec.size() && IsDigit(spec[i])) {
                value = std::min(value * 10 + (spec[i] - L'0'), kMaxWidth);
                ++i;
            }
        }
    };
    number(insert.width_star, insert.width);
    if (i < spec.size() && spec[i] == L'.') {
        ++i;
        insert.precision = 0;
        number(insert.precision_star, insert.precision);
    }
    const std::wstring_view rest = spec.substr(i);
    auto starts = [&](std::wstring_view prefix) { return rest.substr(0, prefix.size()) == prefix; };
    if (starts(L"I64") || starts(L"ll")) {
        insert.size = Size::Long64;
        i += starts(L"I64") ? 3 : 2;
    } else if (starts(L"I32")) {
        insert.size = Size::Long32;
        i += 3;
    } else if (starts(L"hh")) {
        insert.size = Size::Char;
        i += 2;
    } else if (starts(L"h")) {
        insert.size = Size::Short;
        ++i;
    } else if (starts(L"l") || starts(L"w")) {
        insert.size = Size::Long32;
        ++i;
    } else if (starts(L"I") || starts(L"z") || starts(L"j") || starts(L"t")) {
        insert.size = Size::PointerSized;
        ++i;
    }
    if (i + 1 != spec.size())
        return false;
    const wchar_t conversion = spec[i];
    if (std::wstring_view(L"diuoxXcCsSp").find(conversion) == std::wstring_view::npos)
        return false;
    insert.conversion = static_cast<char>(conversion);
    if (conversion == L's' || conversion == L'c' || conversion == L'S' || conversion == L'C') {
        // h names narrow text and l or w wide text; otherwise the lower-case form is the
        // caller's own kind and the upper-case form the other kind.
        const bool upper = conversion == L'S' || conversion == L'C';
        if (insert.size == Size::Short)
            insert.wide_text = false;
        else if (insert.size == Size::Long32)
            insert.wide_text = true;
        else
            insert.wide_text = upper == narrow_caller;
    }
    return true;
}

ArgKind ValueKind(const Insert& insert) {
    switch (insert.conversion) {
        case 's':
        case 'S':
        case 'p':
            return ArgKind::Pointer;
        case 'c':
        case 'C':
            return ArgKind::Int32;
        default:
            break;
    }
    switch (insert.size) {
        case Size::Long64:
            return ArgKind::Int64;
        case Size::PointerSized:
            return ArgKind::SizeT;
        default:
            return ArgKind::Int32;
    }
}

class Formatter {
  public:
    Formatter(std::wstring_view text, const FormatOptions& options)
        : text_(text), options_(options) {}

    DWORD Run(std::wstring& out) {
        if (!Parse())
            return ERROR_INVALID_PARAMETER;
        if (!options_.ignore_inserts && !LoadArguments())
            return ERROR_INVALID_PARAMETER;
        std::wstring result;
        for (const Piece& piece : pieces_) {
            if (const auto* literal = std::get_if<std::wstring>(&piece)) {
                result += *literal;
                continue;
            }
            const Insert& insert = std::get<Insert>(piece);
            if (options_.ignore_inserts) {
                result += insert.written;
                continue;
            }
            std::optional<std::wstring> formatted = FormatInsert(insert);
            if (!formatted)
                return ERROR_INVALID_PARAMETER;
            result += *formatted;
        }
        if (options_.max_width != 0 && options_.max_width < kNoLineBreaks)
            result = Wrap(result, options_.max_width);
        out = std::move(result);
        return 0;
    }

  private:
    void Literal(std::wstring_view text) {
        if (pieces_.empty() || !std::holds_alternative<std::wstring>(pieces_.back()))
            pieces_.emplace_back(std::wstring());
        std::get<std::wstring>(pieces_.back()) += text;
    }

    bool Parse() {
        const size_t n = text_.size();
        for (size_t i = 0; i < n; ++i) {
            const wchar_t c = text_[i];
            if (c != L'%') {
                if (options_.max_width != 0 && (c == L'\r' || c == L'\n')) {
                    // The text's own line breaks become spaces; %n and %r stay.
                    if (c == L'\r' && i + 1 < n && text_[i + 1] == L'\n')
                        ++i;
                    Literal(L" ");
                } else {
                    Literal(std::wstring_view(&text_[i], 1));
                }
                continue;
            }
            if (i + 1 >= n) {
                Literal(L"%");
                break;
            }
            const wchar_t e = text_[++i];
            switch (e) {
                case L'0':
                    return true;  // ends the message, without its line break
                case L'n':
                    Literal(L"\r\n");
                    continue;
                case L'r':
                    Literal(L"\r");
                    continue;
                case L't':
                    Literal(L"\t");
                    continue;
                default:
                    break;
            }
            if (e < L'1' || e > L'9') {
                // %%, %space, %. and %!: the character itself.
                Literal(std::wstring_view(&text_[i], 1));
                continue;
            }
            Insert insert;
            const size_t start = i - 1;
            insert.number = e - L'0';
            if (i + 1 < n && IsDigit(text_[i + 1]))
                insert.number = insert.number * 10 + (text_[++i] - L'0');
            if (i + 1 < n && text_[i + 1] == L'!') {
                const size_t close = text_.find(L'!', i + 2);
                if (close == std::wstring_view::npos)
                    return false;
                const std::wstring_view spec = text_.substr(i + 2, close - i - 2);
                i = close;
                if (!options_.ignore_inserts && !ParseSpec(spec, options_.narrow_caller, insert))
                    return false;
            } else {
                insert.wide_text = !options_.narrow_caller;
            }
            insert.written = std::wstring(text_.substr(start, i + 1 - start));
            pieces_.emplace_back(std::move(insert));
        }
        return true;
    }

    // Reads the arguments the inserts use: every one up to the highest from a va_list (in
    // order, as a va_list must be read), only those used from an array.
    bool LoadArguments() {
        std::vector<ArgKind> kinds(1, ArgKind::Unset);
        auto use = [&](int slot, ArgKind kind) {
            if (static_cast<size_t>(slot) >= kinds.size())
                kinds.resize(static_cast<size_t>(slot) + 1, ArgKind::Unset);
            if (kinds[static_cast<size_t>(slot)] == ArgKind::Unset)
                kinds[static_cast<size_t>(slot)] = kind;
        };
        for (const Piece& piece : pieces_) {
            if (const auto* insert = std::get_if<Insert>(&piece)) {
                int slot = insert->number;
                if (insert->width_star)
                    use(slot++, ArgKind::Int32);
                if (insert->precision_star)
                    use(slot++, ArgKind::Int32);
                use(slot, ValueKind(*insert));
            }
        }
        if (kinds.size() == 1)
            return true;
        if (options_.array == nullptr && options_.list == nullptr)
            return false;
        slots_.assign(kinds.size(), 0);
        for (size_t slot = 1; slot < kinds.size(); ++slot) {
            if (options_.array != nullptr) {
                if (kinds[slot] != ArgKind::Unset)
                    slots_[slot] = options_.array[slot - 1];
                continue;
            }
            // The caller started this va_list; the analyzer cannot see that.
            // NOLINTBEGIN(clang-analyzer-valist.Uninitialized)
            va_list& list = *options_.list;
            switch (kinds[slot]) {
                case ArgKind::Int32:
                    slots_[slot] = static_cast<unsigned>(va_arg(list, int));
                    break;
                case ArgKind::Int64:
                    slots_[slot] = static_cast<std::uint64_t>(va_arg(list, long long));
                    break;
                case ArgKind::SizeT:
                    slots_[slot] = va_arg(list, size_t);
                    break;
                case ArgKind::Unset:
                case ArgKind::Pointer:
                    slots_[slot] = reinterpret_cast<std::uintptr_t>(va_arg(list, void*));
                    break;
            }
            // NOLINTEND(clang-analyzer-valist.Uninitialized)
        }
        return true;
    }

    std::uint64_t Slot(int number) const { return slots_[static_cast<size_t>(number)]; }

    static std::wstring Pad(std::wstring text, int width, bool left) {
        if (width > 0 && text.size() < static_cast<size_t>(width)) {
            const size_t fill = static_cast<size_t>(width) - text.size();
            if (left)
                text.append(fill, L' ');
            else
                text.insert(0, fill, L' ');
        }
        return text;
    }

    static std::wstring NarrowText(const char* text, int precision) {
        if (text == nullptr)
            return L"(null)";
        size_t length =
            precision < 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(precision));
        if (precision >= 0 && length == static_cast<size_t>(precision) && length > 0) {
            // Cut before a UTF-8 sequence that the precision would split, reading nothing
            // beyond it.
            size_t lead = length - 1;
            while (lead > 0 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80)
                --lead;
            const auto byte = static_cast<unsigned char>(text[lead]);
            const size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            if (lead + needed > length)
                length = lead;
        }
        return Utf8ToWide(std::string_view(text, length));
    }

    static std::wstring WideText(const wchar_t* text, int precision) {
        if (text == nullptr)
            return L"(null)";
        const size_t length =
            precision < 0 ? std::wcslen(text) : wcsnlen(text, static_cast<size_t>(precision));
        return std::wstring(text, length);
    }

    std::optional<std::wstring> FormatInsert(const Insert& insert) const {
        int slot = insert.number;
        int width = insert.width;
        int precision = insert.precision;
        if (insert.width_star)
            width = static_cast<int>(static_cast<std::int32_t>(Slot(slot++)));
        if (insert.precision_star)
            precision = static_cast<int>(static_cast<std::int32_t>(Slot(slot++)));
        std::string flags = insert.flags;
        if (width < 0) {
            flags.push_back('-');
            width = width == INT32_MIN ? kMaxWidth : -width;
        }
        width = std::min(width, kMaxWidth);
        const bool left = flags.find('-') != std::string::npos;
        const std::uint64_t value = Slot(slot);

        switch (insert.conversion) {
            case 's':
            case 'S': {
                const auto* pointer =
                    reinterpret_cast<const void*>(static_cast<std::uintptr_t>(value));
                std::wstring text = insert.wide_text
                                        ? WideText(static_cast<const wchar_t*>(pointer), precision)
                                        : NarrowText(static_cast<const char*>(pointer), precision);
                return Pad(std::move(text), width, left);
            }
            case 'c':
            case 'C': {
                wchar_t c = 0;
                if (insert.wide_text)
                    c = static_cast<wchar_t>(static_cast<std::uint32_t>(value));
                else
                    c = (value & 0xFF) < 0x80 ? static_cast<wchar_t>(value & 0x7F) : L'\xFFFD';
                return Pad(std::wstring(1, c), width, left);
            }
            case 'p': {
                char digits[32];
                std::snprintf(digits, sizeof digits, "%0*llX", static_cast<int>(2 * sizeof(void*)),
                              static_cast<unsigned long long>(value));
                return Pad(Utf8ToWide(digits), width, left);
            }
            default:
                break;
        }

        int bits = 32;
        switch (insert.size) {
            case Size::Char:
                bits = 8;
                break;
            case Size::Short:
                bits = 16;
                break;
            case Size::Long64:
                bits = 64;
                break;
            case Size::PointerSized:
                bits = static_cast<int>(8 * sizeof(void*));
                break;
            default:
                break;
        }
        const std::uint64_t mask = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
        const std::uint64_t raw = value & mask;
        std::string spec = "%" + flags;
        if (width > 0)
            spec += std::to_string(width);
        if (precision >= 0)
            spec += "." + std::to_string(std::min(precision, kMaxWidth));
        spec += "ll";
        spec.push_back(insert.conversion);
        std::vector<char> buffer(static_cast<size_t>(width) +
                                 static_cast<size_t>(std::max(precision, 0)) + 72);
        if (insert.conversion == 'd' || insert.conversion == 'i') {
            long long signed_value = static_cast<long long>(raw);
            if (bits < 64 && (raw >> (bits - 1)) != 0)
                signed_value = static_cast<long long>(raw | ~mask);
            std::snprintf(buffer.data(), buffer.size(), spec.c_str(), signed_value);
        } else {
            std::snprintf(buffer.data(), buffer.size(), spec.c_str(),
                          static_cast<unsigned long long>(raw));
        }
        return Utf8ToWide(buffer.data());
    }

    // Breaks lines longer than `width` at their last space (or, without one, at the width).
    static std::wstring Wrap(const std::wstring& text, size_t width) {
        std::wstring out;
        size_t line_start = 0;
        size_t last_space = std::wstring::npos;
        for (wchar_t c : text) {
            out.push_back(c);
            if (c == L'\r' || c == L'\n') {
                line_start = out.size();
                last_space = std::wstring::npos;
                continue;
            }
            if (c == L' ')
                last_space = out.size() - 1;
            if (out.size() - line_start <= width)
                continue;
            if (last_space != std::wstring::npos && last_space > line_start) {
                out.replace(last_space, 1, L"\r\n");
                line_start = last_space + 2;
            } else {
                out.insert(out.size() - 1, L"\r\n");
                line_start = out.size() - 1;
            }
            last_space = std::wstring::npos;
        }
        return out;
    }

    std::wstring_view text_;
    const FormatOptions& options_;
    std::vector<Piece> pieces_;
    std::vector<std::uint64_t> slots_;
};

}  // namespace

DWORD FormatMessageText(std::wstring_view text, const FormatOptions& options, std::wstring& out) {
    return Formatter(text, options).Run(out);
}

}  // namespace tevo::win::detail
