// All Win32 stand-ins with their Windows names and signatures.
#pragma once

#include "tevo/win/lasterror.h"
#include "tevo/win/text.h"
#include "tevo/win/types.h"
#include "tevo/win/winerror.h"
