// The help texts of reg ("reg /?", "reg add /?", ...).
#pragma once

#include "reg_command_line.h"

namespace tevo::regtool {

const char* GeneralHelp();
const char* OperationHelp(Operation operation);

}  // namespace tevo::regtool
