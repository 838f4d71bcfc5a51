// GUIDs as text and new GUIDs.
//
// The text form is the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38
// characters, hexadecimal digits upper-case on output and of either case on input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

// Characters of the braced form including the terminating zero.
constexpr int CHARS_IN_GUID = 39;

extern "C" {
// Writes the braced form of rguid into lpsz. Returns the characters written including the
// terminating zero (39), or 0 when cchMax is smaller than that (nothing is written).
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Returns the braced form in *lplpsz, allocated with CoTaskMemAlloc (free it with
// CoTaskMemFree). E_INVALIDARG for a null out-pointer, E_OUTOFMEMORY.
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
// Parses a class identifier: the braced form, or a ProgID (see
// tevo::com::SetProgIdResolver). A null string gives CLSID_NULL. Malformed text, or a
// ProgID nobody knows, gives CO_E_CLASSSTRING and CLSID_NULL in *pclsid.
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
// Parses an interface identifier in the braced form. A null string gives IID_NULL;
// malformed text gives E_INVALIDARG.
HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
// A new random GUID (RFC 4122 version 4).
HRESULT CoCreateGuid(GUID* pguid);
}

namespace tevo::com {

// The braced upper-case form of a GUID.
std::wstring GuidToString(const GUID& guid);
std::string GuidToUtf8(const GUID& guid);
// Parses exactly the braced form (no ProgIDs, no surrounding blanks).
std::optional<GUID> ParseGuid(std::wstring_view text);
std::optional<GUID> ParseGuid(std::string_view text);

// CLSIDFromString hands text that does not start with '{' to the ProgID resolver. The
// activation component installs one that looks the ProgID up in the registry (as
// CLSIDFromProgID does); until one is installed, every ProgID is unknown. The resolver
// returns S_OK with the class identifier, or a failure code. Passing null removes it.
using ProgIdResolver = HRESULT (*)(LPCOLESTR progId, CLSID* clsid);
void SetProgIdResolver(ProgIdResolver resolver);

}  // namespace tevo::com
