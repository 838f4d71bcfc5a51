// ITevoInstrumentIO: raw SCPI passed through.
//   Write(command)          the command as given ("%s" keeps percent signs literal)
//   Query(command, pResult) the command, then a reply of up to 524288 bytes read in one
//                           read; one trailing LF removed
//   Read(Count, pResponse)  Count raw bytes into the caller's buffer
// Each exchange ends with the instrument status check. In simulation nothing is sent,
// Query gives "Simulated string" and Read leaves the buffer untouched.
#pragma once

#include "operations/operation_context.h"

namespace tevo::driver::operations {

// The longest reply Query accepts.
inline constexpr LONG kRawQueryReplyLimit = 524288;

HRESULT RawWrite(OperationContext& context, BSTR SCPICommand);
HRESULT RawQuery(OperationContext& context, BSTR SCPICommand, BSTR* pResult);
HRESULT RawRead(OperationContext& context, LONG Count, BYTE* pResponse);

}  // namespace tevo::driver::operations
