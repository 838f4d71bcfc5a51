// Reading type libraries from files: binary type libraries and shared libraries that embed
// one as a TYPELIB resource, with a process-wide cache of what has been read.
#pragma once

#include <string>

#include "tevo/com/typeinfo.h"

namespace tevo::com::typelib {

// Loads what LoadTypeLib names (see typeinfo.h), with a reference for the caller. When
// full_path is not null it receives the absolute path of the file, with "\N" appended for
// a resource other than 1: the path that registration records.
HRESULT LoadLibraryFile(const OLECHAR* name, ITypeLib** library, std::wstring* full_path);

}  // namespace tevo::com::typelib
