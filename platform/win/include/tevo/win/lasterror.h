// The calling thread's last-error code, as GetLastError/SetLastError keep it.
#pragma once

#include "tevo/win/types.h"

extern "C" {
DWORD GetLastError();
void SetLastError(DWORD code);
}
