#include <cstdlib>

#include "tevo/com/memory.h"

extern "C" LPVOID CoTaskMemAlloc(SIZE_T size) { return std::malloc(size == 0 ? 1 : size); }

// As COM does, a size of zero frees the block and returns null.
extern "C" LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size) {
    if (size == 0) {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, size);
}

extern "C" void CoTaskMemFree(LPVOID block) { std::free(block); }
