// All Win32 stand-ins with their Windows names and signatures.
#pragma once

#include "tevo/win/crt.h"
#include "tevo/win/files.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/messagebox.h"
#include "tevo/win/process.h"
#include "tevo/win/registry.h"
#include "tevo/win/resources.h"
#include "tevo/win/shell.h"
#include "tevo/win/sync.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"
#include "tevo/win/types.h"
#include "tevo/win/winerror.h"
