#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "tevo/com/guid.h"
#include "tevo/com/memory.h"

namespace {

std::atomic<tevo::com::ProgIdResolver> g_progIdResolver{nullptr};

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::size_t kBracedLength = 38;

// Writes the 38 characters of the braced form.
template <class Char>
void FormatBraced(const GUID& g, Char* out) {
    std::size_t pos = 0;
    auto put_hex = [&](std::uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i) {
            out[pos++] = static_cast<Char>(kHexDigits[(value >> (4 * i)) & 0xF]);
        }
    };
    out[pos++] = '{';
    put_hex(g.Data1, 8);
    out[pos++] = '-';
    put_hex(g.Data2, 4);
    out[pos++] = '-';
    put_hex(g.Data3, 4);
    out[pos++] = '-';
    put_hex(g.Data4[0], 2);
    put_hex(g.Data4[1], 2);
    out[pos++] = '-';
    for (int i = 2; i < 8; ++i) {
        put_hex(g.Data4[i], 2);
    }
    out[pos++] = '}';
}

template <class Char>
int HexValue(Char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<int>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<int>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<int>(c - 'A' + 10);
    }
    return -1;
}

// Parses exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
template <class Char>
std::optional<GUID> ParseBraced(std::basic_string_view<Char> text) {
    if (text.size() != kBracedLength || text.front() != '{' || text.back() != '}') {
        return std::nullopt;
    }
    std::size_t pos = 1;
    bool ok = true;
    auto hex = [&](int digits) {
        std::uint64_t value = 0;
        for (int i = 0; i < digits; ++i) {
            int v = HexValue(text[pos++]);
            if (v < 0) {
                ok = false;
                return std::uint64_t{0};
            }
            value = (value << 4) | static_cast<std::uint64_t>(v);
        }
        return value;
    };
    auto dash = [&] {
        if (text[pos++] != '-') {
            ok = false;
        }
    };
    GUID g{};
    g.Data1 = static_cast<std::uint32_t>(hex(8));
    dash();
    g.Data2 = static_cast<std::uint16_t>(hex(4));
    dash();
    g.Data3 = static_cast<std::uint16_t>(hex(4));
    dash();
    g.Data4[0] = static_cast<std::uint8_t>(hex(2));
    g.Data4[1] = static_cast<std::uint8_t>(hex(2));
    dash();
    for (int i = 2; i < 8; ++i) {
        g.Data4[i] = static_cast<std::uint8_t>(hex(2));
    }
    if (!ok) {
        return std::nullopt;
    }
    return g;
}

HRESULT AllocBraced(const GUID& guid, LPOLESTR* out) {
    if (out == nullptr) {
        return E_INVALIDARG;
    }
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc(CHARS_IN_GUID * sizeof(OLECHAR)));
    if (*out == nullptr) {
        return E_OUTOFMEMORY;
    }
    StringFromGUID2(guid, *out, CHARS_IN_GUID);
    return S_OK;
}

}  // namespace

extern "C" int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (lpsz == nullptr || cchMax < CHARS_IN_GUID) {
        return 0;
    }
    FormatBraced(rguid, lpsz);
    lpsz[kBracedLength] = L'\0';
    return CHARS_IN_GUID;
}

extern "C" HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    return AllocBraced(rclsid, lplpsz);
}

extern "C" HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
    return AllocBraced(rclsid, lplpsz);
}

extern "C" HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (pclsid == nullptr) {
        return E_INVALIDARG;
    }
    *pclsid = CLSID_NULL;
    if (lpsz == nullptr) {
        return S_OK;
    }
    std::wstring_view text(lpsz);
    if (!text.empty() && text.front() == L'{') {
        std::optional<GUID> parsed = ParseBraced(text);
        if (!parsed) {
            return CO_E_CLASSSTRING;
        }
        *pclsid = *parsed;
        return S_OK;
    }
    tevo::com::ProgIdResolver resolver = g_progIdResolver.load();
    if (resolver == nullptr || text.empty()) {
        return CO_E_CLASSSTRING;
    }
    CLSID found = CLSID_NULL;
    if (FAILED(resolver(lpsz, &found))) {
        return CO_E_CLASSSTRING;
    }
    *pclsid = found;
    return S_OK;
}

extern "C" HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (lpiid == nullptr) {
        return E_INVALIDARG;
    }
    *lpiid = IID_NULL;
    if (lpsz == nullptr) {
        return S_OK;
    }
    std::optional<GUID> parsed = ParseBraced(std::wstring_view(lpsz));
    if (!parsed) {
        return E_INVALIDARG;
    }
    *lpiid = *parsed;
    return S_OK;
}

namespace tevo::com {

std::wstring GuidToString(const GUID& guid) {
    std::wstring text(kBracedLength, L'\0');
    FormatBraced(guid, text.data());
    return text;
}

std::string GuidToUtf8(const GUID& guid) {
    std::string text(kBracedLength, '\0');
    FormatBraced(guid, text.data());
    return text;
}

std::optional<GUID> ParseGuid(std::wstring_view text) {
    return ParseBraced(text);
}

std::optional<GUID> ParseGuid(std::string_view text) {
    return ParseBraced(text);
}

void SetProgIdResolver(ProgIdResolver resolver) {
    g_progIdResolver.store(resolver);
}

}  // namespace tevo::com
