#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

#include "tevo/com/bstr.h"

namespace {

constexpr std::size_t kPrefix = sizeof(DWORD);

// Allocates a BSTR of byteLength bytes: prefix, the bytes, zero padding up to the next
// OLECHAR boundary and a zero OLECHAR. The payload is copied from source when given and
// zeroed otherwise. Null when the length does not fit the 32-bit prefix or memory runs out.
BSTR AllocateBytes(const void* source, std::size_t byteLength) {
    // The padded payload plus terminator must stay addressable with a 32-bit length.
    constexpr std::size_t kMaxBytes =
        std::numeric_limits<DWORD>::max() - kPrefix - 2 * sizeof(OLECHAR);
    if (byteLength > kMaxBytes) {
        return nullptr;
    }
    const std::size_t padded =
        (byteLength + sizeof(OLECHAR) - 1) / sizeof(OLECHAR) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + padded + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    const auto length = static_cast<DWORD>(byteLength);
    std::memcpy(block, &length, kPrefix);
    unsigned char* payload = block + kPrefix;
    if (source != nullptr && byteLength > 0) {
        std::memcpy(payload, source, byteLength);
    } else {
        std::memset(payload, 0, byteLength);
    }
    std::memset(payload + byteLength, 0, padded - byteLength + sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(payload);
}

BSTR AllocateChars(const OLECHAR* source, std::size_t count) {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(OLECHAR)) {
        return nullptr;
    }
    return AllocateBytes(source, count * sizeof(OLECHAR));
}

unsigned char* BlockOf(BSTR b) {
    return reinterpret_cast<unsigned char*>(b) - kPrefix;
}

// Replaces *pbstr by a fresh string; the source may lie inside *pbstr, so the old string
// is freed only after the copy.
INT Replace(BSTR* pbstr, const OLECHAR* source, std::size_t count) {
    if (pbstr == nullptr) {
        return FALSE;
    }
    BSTR fresh = AllocateChars(source, count);
    if (fresh == nullptr) {
        return FALSE;
    }
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

}  // namespace

extern "C" BSTR SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr) {
        return nullptr;
    }
    return AllocateChars(psz, std::wcslen(psz));
}

extern "C" BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    return AllocateChars(strIn, ui);
}

extern "C" BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
    return AllocateBytes(psz, len);
}

extern "C" INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (psz == nullptr) {
        if (pbstr == nullptr) {
            return FALSE;
        }
        SysFreeString(*pbstr);
        *pbstr = nullptr;
        return TRUE;
    }
    return Replace(pbstr, psz, std::wcslen(psz));
}

extern "C" INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    return Replace(pbstr, psz, len);
}

extern "C" void SysFreeString(BSTR bstrString) {
    if (bstrString != nullptr) {
        std::free(BlockOf(bstrString));
    }
}

extern "C" UINT SysStringByteLen(BSTR bstr) {
    if (bstr == nullptr) {
        return 0;
    }
    DWORD length = 0;
    std::memcpy(&length, BlockOf(bstr), kPrefix);
    return length;
}

extern "C" UINT SysStringLen(BSTR pbstr) {
    return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}
