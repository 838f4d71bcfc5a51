// ErrorHelpTable: for each message id of the driver's message table, the HRESULT that a
// failure reported with it returns and its help context (0 throughout, so errors carry no
// help file). MapDriverCode turns a driver code (30001 to 30041) into its message id.
#pragma once

#include "tevo/win/types.h"

namespace tevo::driver {

struct ErrorHelpRow {
    DWORD message_id;  // 0 ends the table
    HRESULT hresult;
    DWORD help_context;
};

// Rows for message ids 1 to 53 in order, then the end row with id 0.
extern const ErrorHelpRow ErrorHelpTable[];

// The help file named for errors with a non-zero help context (the quotes belong to it).
inline constexpr const wchar_t* kErrorHelpFile = L"\"Tevo.chm\"";

// 30001..30031 → 1..31, 30032..30036 → 37..41, 30037..30041 → 32..36; any other value is
// already a message id and is returned unchanged.
DWORD MapDriverCode(LONG driver_code);

// The row of a message id: first match from the top; nullptr when there is none.
const ErrorHelpRow* FindErrorHelpRow(DWORD message_id);

}  // namespace tevo::driver
