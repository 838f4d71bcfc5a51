// LocalAlloc/LocalFree and GlobalAlloc/GlobalFree/GlobalLock/GlobalUnlock. All memory is
// fixed: a handle is the pointer itself.
#include <cstdlib>

#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/winerror.h"

namespace {

void* Allocate(UINT flags, SIZE_T bytes) {
    // A zero-byte request still gets a unique block, as on Windows.
    const SIZE_T size = bytes == 0 ? 1 : bytes;
    void* memory = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
    if (memory == nullptr)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

}  // namespace

extern "C" HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    return Allocate(uFlags, uBytes);
}

extern "C" HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}

extern "C" HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    return Allocate(uFlags, dwBytes);
}

extern "C" HGLOBAL GlobalFree(HGLOBAL hMem) {
    std::free(hMem);
    return nullptr;
}

extern "C" LPVOID GlobalLock(HGLOBAL hMem) {
    if (hMem == nullptr)
        SetLastError(ERROR_INVALID_HANDLE);
    return hMem;
}

extern "C" BOOL GlobalUnlock(HGLOBAL hMem) {
    // Fixed memory is never locked: "unlocked now", as Windows reports it.
    SetLastError(hMem == nullptr ? ERROR_INVALID_HANDLE : NO_ERROR);
    return FALSE;
}
