#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "tevo/com/guid.h"

// Fills buffer with bytes from the kernel's random source.
static bool FillRandom(unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t got = getrandom(buffer + done, size - done, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

extern "C" HRESULT CoCreateGuid(GUID* pguid) {
    if (pguid == nullptr) {
        return E_INVALIDARG;
    }
    unsigned char bytes[sizeof(GUID)];
    if (!FillRandom(bytes, sizeof(bytes))) {
        return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
    }
    std::memcpy(pguid, bytes, sizeof(GUID));
    // RFC 4122: version 4 (random) in the top nibble of Data3, variant 10xx in Data4[0].
    pguid->Data3 = static_cast<std::uint16_t>((pguid->Data3 & 0x0FFF) | 0x4000);
    pguid->Data4[0] = static_cast<std::uint8_t>((pguid->Data4[0] & 0x3F) | 0x80);
    return S_OK;
}
