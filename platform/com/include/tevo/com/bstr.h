// BSTR: the length-prefixed wide string of OLE Automation.
//
// Memory layout of a BSTR b (a pointer to its first character):
//   ((DWORD*)b)[-1]  the length in BYTES (not counting the terminator)
//   b[0 .. n-1]      the characters; embedded zeros are kept
//   then zero bytes up to the next OLECHAR boundary and one terminating zero OLECHAR
// A null BSTR counts as the empty string (SysStringLen(nullptr) == 0). BSTRs are
// allocated and freed only by these functions. Allocations that would not fit the 32-bit
// byte length fail and return null.
#pragma once

#include "tevo/win/types.h"

extern "C" {
// Copies the zero-terminated psz; null in, null out.
BSTR SysAllocString(const OLECHAR* psz);
// ui characters from strIn (embedded zeros kept); a null strIn gives ui zero characters.
BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
// len BYTES from psz (any length, also odd); a null psz gives len zero bytes. The
// characters are followed by zero bytes up to the next OLECHAR boundary and a zero
// OLECHAR.
BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);
// Replaces *pbstr by a copy of psz (which may point into *pbstr). TRUE on success; on
// failure *pbstr is left as it was.
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
void SysFreeString(BSTR bstrString);
// Length in characters (byte length divided by sizeof(OLECHAR), rounded down).
UINT SysStringLen(BSTR pbstr);
UINT SysStringByteLen(BSTR bstr);
}
