#include "message_table.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "module_registry.h"
#include "resource_lookup.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace tevo::win::detail {
namespace {

constexpr WORD kMessageTableType = 11;

template <typename T>
T Read(const BYTE* bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

}  // namespace

std::optional<std::wstring> MessageTextIn(const void* data, std::size_t size, DWORD id) {
    const auto* bytes = static_cast<const BYTE*>(data);
    if (bytes == nullptr || size < 4)
        return std::nullopt;
    const auto blocks = Read<DWORD>(bytes, 0);
    if (blocks > (size - 4) / 12)
        return std::nullopt;
    for (DWORD b = 0; b < blocks; ++b) {
        const std::size_t block = 4 + static_cast<std::size_t>(b) * 12;
        const auto low = Read<DWORD>(bytes, block);
        const auto high = Read<DWORD>(bytes, block + 4);
        if (id < low || id > high)
            continue;
        std::size_t pos = Read<DWORD>(bytes, block + 8);
        for (DWORD skip = low;; ++skip) {
            if (pos > size || size - pos < 4)
                return std::nullopt;
            const auto length = Read<WORD>(bytes, pos);
            if (length < 4 || length > size - pos)
                return std::nullopt;
            if (skip != id) {
                pos += length;
                continue;
            }
            const auto flags = Read<WORD>(bytes, pos + 2);
            const BYTE* text = bytes + pos + 4;
            const std::size_t text_size = length - 4u;
            if ((flags & MESSAGE_RESOURCE_UNICODE) != 0) {
                std::wstring wide;
                for (std::size_t i = 0; i + sizeof(wchar_t) <= text_size; i += sizeof(wchar_t)) {
                    const auto unit = Read<wchar_t>(text, i);
                    if (unit == L'\0')
                        break;
                    wide.push_back(unit);
                }
                return wide;
            }
            const auto* chars = reinterpret_cast<const char*>(text);
            const std::size_t end = std::find(chars, chars + text_size, '\0') - chars;
            return Utf8ToWide(std::string_view(chars, end));
        }
    }
    return std::nullopt;
}

DWORD LoadModuleMessage(HMODULE module, DWORD id, DWORD language, std::wstring& text) {
    ResourceKey type;
    type.numeric = true;
    type.id = kMessageTableType;
    DWORD error = 0;
    std::vector<const ResourceEntry*> tables = ResourcesOfType(module, type, error);
    if (tables.empty())
        return error;
    if (language > 0xFFFF)
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    const auto wanted = static_cast<WORD>(language);
    if (IsDefaultLanguageRequest(wanted)) {
        std::stable_sort(tables.begin(), tables.end(), [&](const auto* a, const auto* b) {
            return LanguageRank(a->language, wanted) < LanguageRank(b->language, wanted);
        });
    } else {
        std::erase_if(tables, [&](const auto* table) { return table->language != wanted; });
        if (tables.empty())
            return ERROR_RESOURCE_LANG_NOT_FOUND;
    }
    for (const ResourceEntry* table : tables) {
        if (auto found = MessageTextIn(table->data, table->size, id)) {
            text = std::move(*found);
            return 0;
        }
    }
    return ERROR_MR_MID_NOT_FOUND;
}

DWORD LoadSystemMessage(DWORD id, DWORD language, std::wstring& text) {
    const DWORD error = LoadModuleMessage(RuntimeModule(), id, language, text);
    const auto hr = static_cast<HRESULT>(id);
    if (error == static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND) && FAILED(hr) &&
        HRESULT_FACILITY(hr) == static_cast<LONG>(FACILITY_WIN32))
        return LoadModuleMessage(RuntimeModule(), static_cast<DWORD>(HRESULT_CODE(hr)), language,
                                 text);
    return error;
}

}  // namespace tevo::win::detail
