// FormatMessageA and FormatMessageW: the message comes from a string, a module's message
// table or the system's; the formatter fills in the inserts.
#include <algorithm>
#include <string>

#include "message_formatter.h"
#include "message_table.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace {

constexpr DWORD kSources =
    FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM;

DWORD Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

template <typename Char>
DWORD FormatMessageImpl(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                        Char* buffer, DWORD size, va_list* arguments) {
    constexpr bool kNarrow = sizeof(Char) == 1;
    const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (buffer == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (allocate)
        *reinterpret_cast<Char**>(buffer) = nullptr;

    std::wstring text;
    if ((flags & FORMAT_MESSAGE_FROM_STRING) != 0) {
        if ((flags & kSources) != FORMAT_MESSAGE_FROM_STRING || source == nullptr)
            return Fail(ERROR_INVALID_PARAMETER);
        if constexpr (kNarrow)
            text = tevo::win::Utf8ToWide(static_cast<const char*>(source));
        else
            text = static_cast<const wchar_t*>(source);
    } else if ((flags & kSources) != 0) {
        DWORD error = 0;
        bool found = false;
        if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0) {
            HMODULE module = static_cast<HMODULE>(const_cast<void*>(source));
            error = tevo::win::detail::LoadModuleMessage(module, message_id, language_id, text);
            found = error == 0;
        }
        if (!found && (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
            error = tevo::win::detail::LoadSystemMessage(message_id, language_id, text);
            found = error == 0;
        }
        if (!found)
            return Fail(error);
    } else {
        return Fail(ERROR_INVALID_PARAMETER);
    }

    tevo::win::detail::FormatOptions options;
    options.narrow_caller = kNarrow;
    options.ignore_inserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    options.max_width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if ((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0)
        options.array = reinterpret_cast<const DWORD_PTR*>(arguments);
    else
        options.list = arguments;
    std::wstring formatted;
    if (const DWORD error = tevo::win::detail::FormatMessageText(text, options, formatted))
        return Fail(error);

    std::basic_string<Char> result;
    if constexpr (kNarrow)
        result = tevo::win::WideToUtf8(formatted);
    else
        result = std::move(formatted);
    if (result.size() >= 0xFFFFFFFFu)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    const auto length = static_cast<DWORD>(result.size());

    if (allocate) {
        const SIZE_T units = std::max<SIZE_T>(SIZE_T{length} + 1, size);
        auto* memory = static_cast<Char*>(LocalAlloc(LMEM_FIXED, units * sizeof(Char)));
        if (memory == nullptr)
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        std::copy(result.begin(), result.end(), memory);
        memory[length] = Char(0);
        *reinterpret_cast<Char**>(buffer) = memory;
        return length;
    }
    if (SIZE_T{length} + 1 > size) {
        if (size > 0)
            buffer[0] = Char(0);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(result.begin(), result.end(), buffer);
    buffer[length] = Char(0);
    return length;
}

}  // namespace

extern "C" DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                va_list* Arguments) {
    return FormatMessageImpl(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize,
                             Arguments);
}

extern "C" DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize,
                                va_list* Arguments) {
    return FormatMessageImpl(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize,
                             Arguments);
}
