// Fixtures of Quill's tests: the help files of the current (per-test) system root, the
// registry values that name the default collection, and independent looks into saved
// files through pugixml.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tevo::quill::testing {

namespace fs = std::filesystem;

// The placeholder of the fixture registry file for the default collection's path.
inline constexpr const char* kCollectionPlaceholder = "{DEVELOPER_COLLECTION}";
// The key below HKEY_LOCAL_MACHINE that names the default collection.
inline constexpr const char* kCollectionsKey =
    "SOFTWARE\\Microsoft\\HTML Help Collections\\Developer Collections";

// A fixture file's text ("registry/hhcolreg.dat", "collection/developer.col", ...).
std::string Fixture(const std::string& name);
// Replaces every occurrence of `from` in `text`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

fs::path WindowsHelpDirectory();
fs::path AllUsersHelpDirectory();

// Sets a string value below HKEY_LOCAL_MACHINE, creating the key.
void SetMachineString(const std::string& key, const std::string& name, const std::string& value);
// Language, Preferred and Filename naming `filename` as the default collection.
void SetDefaultCollection(const std::string& filename, const std::string& language = "1033",
                          const std::string& preferred = "Developer");

struct HelpFiles {
    fs::path registry;    // the registry file written
    fs::path collection;  // the default collection file
};
// Writes the fixture collection as Developer.col in the Windows help directory, the
// fixture registry (listing it as collection 7) as `registry_name` in `registry_directory`,
// and registers the collection as the default.
HelpFiles SetUpHelpFiles(const fs::path& registry_directory = WindowsHelpDirectory(),
                         const std::string& registry_name = "hhcolreg.dat");

// The last-error text.
std::string LastError();

// Every folder of a collection file with its title path ("Instruments/Analyzers"), in
// document order; folders without title show as "?".
std::vector<std::string> FolderPaths(const fs::path& collection);
// The DocCompId values of a registry file's DocCompilation elements, in document order.
std::vector<std::string> DocIds(const fs::path& registry);
// A value below a registry file's document: `path` like "LocationHistory/ColNum".
std::optional<std::string> DocValue(const fs::path& registry, const std::string& id,
                                    const std::string& path);

// Writes a file (creating folders) and reads one whole; as tevo::testing does.
void PutFile(const fs::path& path, const std::string& text);
std::string GetFile(const fs::path& path);

}  // namespace tevo::quill::testing
