// Where the library of an in-process server is, from the path the registry gives.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tevo::com::activation {

// "\" counts as "/", and path components are matched without regard to letter case when
// the exact name does not exist. An absolute path must name an existing entry. A relative
// path is looked up in the folder of the main program; a bare file name that is not there
// is returned as it is, for the dynamic loader to search the library search path. The
// current directory is never searched, so what gets loaded does not depend on where the
// client was started. nullopt when nothing can be found.
std::optional<std::string> LocateServerLibrary(std::string_view registered_path);

}  // namespace tevo::com::activation
