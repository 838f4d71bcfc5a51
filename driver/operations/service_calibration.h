// ITevoService.ServiceFunction and ITevoCalibration.
//   ServiceFunction(name)  DIAG:SERV:SFUN <name>   (the password is the client's
//                                                     Service.Enabled put)
//   Initiate()             *CAL?   returns once written; the calibration's answer is
//                                  owed and read (with the deferred status check) by the
//                                  next operation that reads a reply
//   GetResults(pVal)       CAL:RES?   at most 100 bytes, one trailing LF removed
// In simulation nothing is sent and GetResults gives "Simulated string".
#pragma once

#include "operations/operation_context.h"

namespace tevo::driver::operations {

HRESULT ServiceFunction(OperationContext& context, BSTR ServiceFunctionName);
HRESULT CalibrationInitiate(OperationContext& context);
HRESULT CalibrationGetResults(OperationContext& context, BSTR* pVal);

}  // namespace tevo::driver::operations
