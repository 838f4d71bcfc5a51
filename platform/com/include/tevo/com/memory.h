// COM task memory: the allocator through which COM hands memory between caller and callee.
#pragma once

#include "tevo/win/types.h"

extern "C" {
LPVOID CoTaskMemAlloc(SIZE_T size);
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size);
void CoTaskMemFree(LPVOID block);
}
