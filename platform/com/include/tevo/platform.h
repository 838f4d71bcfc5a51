// The whole platform for a client: the Win32 stand-ins and the COM/OLE Automation runtime
// with their Windows names and signatures. Including this one header is enough.
#pragma once

#include "tevo/com/activation.h"
#include "tevo/com/apartment.h"
#include "tevo/com/bstr.h"
#include "tevo/com/classinfo.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/dispatch.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/guid.h"
#include "tevo/com/holders.h"
#include "tevo/com/memory.h"
#include "tevo/com/safearray.h"
#include "tevo/com/typeinfo.h"
#include "tevo/com/unknown.h"
#include "tevo/com/variant.h"
#include "tevo/win/windows.h"
