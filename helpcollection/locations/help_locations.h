// The places of the collection registry file. Paths are built as Windows builds them, with
// "/" where Windows writes "\" (the platform's file functions accept both and match names
// without regard to letter case, so "HHCOLREG.DAT" and "hhcolreg.dat" name one file).
#pragma once

#include <optional>
#include <string>

namespace tevo::quill {

// The Windows directory followed by "/Help/"; nothing when the Windows directory is
// unavailable or longer than 260 characters.
std::optional<std::string> WindowsHelpDirectory();
// The drive of the Windows directory followed by
// "/Documents and Settings/All Users/Application Data/Microsoft/HTML Help/".
std::optional<std::string> AllUsersHelpDirectory();

// The registry file of each directory: "HHCOLREG.DAT" in the Windows help directory,
// "hhcolreg.dat" in the all-users one.
std::optional<std::string> WindowsRegistryFile();
std::optional<std::string> AllUsersRegistryFile();

// The registry file of the preferred registry directory: the Windows help directory's when
// it exists, else the all-users directory's when it exists, else nothing.
std::optional<std::string> PreferredRegistryFile();

// Whether a file (not a folder) of that name exists.
bool FileExists(const std::string& path);
bool PathExists(const std::string& path);

}  // namespace tevo::quill
