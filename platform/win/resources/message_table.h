// Message tables: finding a message's text in a module's RT_MESSAGETABLE resources, and in
// the system's table (tevo_win's own). Internal to tevo_win.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "tevo/win/resources.h"

namespace tevo::win::detail {

// The text of message `id` in the bytes of one message-table resource; nullopt when the
// id is not there. Damaged data is never read beyond its size.
std::optional<std::wstring> MessageTextIn(const void* data, std::size_t size, DWORD id);

// Finds message `id` in the module's message tables (NULL: the main program). Language 0
// searches every table in the default order; another language only tables of exactly that
// language. Returns 0 and sets `text`, or the Win32 error: ERROR_RESOURCE_DATA_NOT_FOUND or
// ERROR_RESOURCE_TYPE_NOT_FOUND (no message table), ERROR_RESOURCE_LANG_NOT_FOUND,
// ERROR_MR_MID_NOT_FOUND.
DWORD LoadModuleMessage(HMODULE module, DWORD id, DWORD language, std::wstring& text);

// The same in the system's table, where an HRESULT of facility WIN32 also finds the text of
// its Win32 code.
DWORD LoadSystemMessage(DWORD id, DWORD language, std::wstring& text);

}  // namespace tevo::win::detail
