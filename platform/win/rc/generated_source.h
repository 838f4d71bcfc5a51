// Writes the C++ source that embeds a module's resources, and the dependency file that
// tells the build which files went into it.
//
// The source holds every resource as an aligned array with a zero after its last byte, a
// table of tevo::win::ResourceEntry, and an object whose constructor registers the table
// with the runtime when the module is loaded and whose destructor withdraws it at unload.
// Everything in it has internal linkage, so two modules never share a symbol.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "resource_set.h"

namespace tevo::rc {

std::string GenerateSource(const ResourceSet& resources, const std::filesystem::path& script);

// A Make-style dependency line: "output: input input ...".
std::string GenerateDepfile(const std::filesystem::path& output,
                            const std::vector<std::filesystem::path>& inputs);

}  // namespace tevo::rc
