// The command line of reg: the operation, its key or file arguments and its switches.
// Switches start with "/" or "-" and are matched without regard to letter case.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tevo/win/registry.h"

namespace tevo::regtool {

enum class Operation { Query, Add, Delete, Export, Import };

struct CommandLine {
    Operation operation = Operation::Query;
    bool help = false;
    std::vector<std::string> arguments;           // the operation's positional arguments
    std::map<std::string, std::string> switches;  // lower-case name -> its value ("" if none)

    bool Has(const std::string& name) const { return switches.count(name) != 0; }
    std::optional<std::string> Get(const std::string& name) const;
};

// A registry key named on the command line, e.g. HKLM\Software\Example.
struct KeyName {
    HKEY root = nullptr;
    std::string subkey;   // below the root, without a trailing backslash
    std::string display;  // the full name with the root's long form
};

// The operation's name as its help and messages give it ("QUERY").
const char* OperationName(Operation operation);

// Parses everything after the program name. Returns false on bad syntax; `operation` is
// then set when the operation itself was recognised (for the message's usage hint).
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* command,
                      std::optional<Operation>* operation);

// Parses a key name with one of the roots HKLM, HKCU, HKCR or their long forms.
bool ParseKeyName(const std::string& text, KeyName* key);

}  // namespace tevo::regtool
