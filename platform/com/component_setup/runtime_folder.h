// Where the platform's own components lie: next to the COM runtime library (the build's
// lib/ folder, as the SDK's), and the registration of an in-process server found there.
#pragma once

#include <filesystem>

namespace tevo::com::component_setup {

// The folder of libtevocom.so, as a plain absolute path ("lib/", not "bin/../lib/" as the
// loader may have found it), without following a link that the library file may be.
// Throws std::runtime_error when the runtime's own file cannot be found.
std::filesystem::path RuntimeFolder();

// Loads `library_file` from the runtime's folder and calls its DllRegisterServer, as
// regsvr does. A file that is not there registers nothing (a build without that
// component); a library that cannot be loaded or fails to register throws
// std::runtime_error naming it and the HRESULT.
void RegisterServerNextToRuntime(const char* library_file);

}  // namespace tevo::com::component_setup
