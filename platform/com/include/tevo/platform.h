// The whole platform for a client: the Win32 stand-ins and the COM/OLE Automation runtime
// with their Windows names and signatures. Including this one header is enough.
#pragma once

#include "tevo/win/windows.h"
#include "tevo/com/memory.h"
