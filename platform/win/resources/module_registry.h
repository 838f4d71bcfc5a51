// The modules of the process as this runtime knows them: which module an address belongs
// to, the main program, the file of a module, and the resource tables that modules have
// registered. Internal to tevo_win.
//
// Lock order: the registry's lock is never held while calling into the dynamic loader
// (dladdr, dlopen, ...), because the loader calls RegisterResourceTable and
// UnregisterResourceTable with its own lock held.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "tevo/win/resources.h"

namespace tevo::win::detail {

// The module (load address) containing the address; NULL when it is in none.
HMODULE ModuleFromAddress(const void* address);
// The main program.
HMODULE MainProgramModule();
// tevo_win itself, which carries the system's message table.
HMODULE RuntimeModule();
// NULL stands for the main program.
inline HMODULE ResolveModule(HMODULE module) {
    return module == nullptr ? MainProgramModule() : module;
}
// True when the handle is the load address of a module of the process.
bool IsModule(HMODULE module);
// The absolute path of the module's file (UTF-8); empty when the handle names no module.
std::string ModuleFilePath(HMODULE module);
// The name the dynamic loader knows the module by, for dlopen with RTLD_NOLOAD; empty for
// the main program and for a handle that names no module.
std::string ModuleLoaderName(HMODULE module);

// The resource tables registered for the module (copies of the table spans; the entries
// themselves stay valid while the module is loaded).
std::vector<std::span<const ResourceEntry>> ResourceTablesOf(HMODULE module);

}  // namespace tevo::win::detail
