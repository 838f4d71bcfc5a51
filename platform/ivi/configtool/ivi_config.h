// The ivi-config program: commands on the master store (or on --store FILE) through the
// configuration server's COM classes. Each change (load, modify, save) runs under an
// exclusive lock on "<store file>.lock", so concurrent invocations lose nothing; reading
// commands take a shared lock. 'run' applies many commands in one such lock, with one load
// and one save.
#pragma once

#include <string>
#include <vector>

namespace tevo::ivi::configtool {

// Runs one command line (without the program name); returns the exit code.
int Run(const std::vector<std::string>& args);

}  // namespace tevo::ivi::configtool
