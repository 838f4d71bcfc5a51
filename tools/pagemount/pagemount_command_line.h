// What pagemount's command line asks for.
#pragma once

#include <string>
#include <vector>

namespace tevo::pagemount {

struct Command {
    enum class Verb { kUsage, kInstall, kRemove };
    Verb verb = Verb::kUsage;
    // install: folder, help file, index file, identifier; remove: folder, identifier.
    std::vector<std::string> arguments;
};

// The arguments after the program name. "install" (in any letter case) takes exactly four
// arguments, "remove" (in lower case only) exactly two; anything else asks for the usage.
Command ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace tevo::pagemount
