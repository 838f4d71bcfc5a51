#include "help_fixtures.h"

#include <gtest/gtest.h>

#include <cctype>
#include <pugixml.hpp>

#include "tevo/quill.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/registry.h"

namespace tevo::quill::testing {

std::string Fixture(const std::string& name) {
    std::string text = tevo::testing::ReadFile(fs::path(TEVO_QUILL_FIXTURES_DIR) / name);
    EXPECT_FALSE(text.empty()) << "fixture " << name;
    return text;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

fs::path WindowsHelpDirectory() {
    return tevo::testing::CurrentSystemRoot() / "Windows" / "Help";
}

fs::path AllUsersHelpDirectory() {
    return tevo::testing::CurrentSystemRoot() / "ProgramData" / "Microsoft" / "HTML Help";
}

void SetMachineString(const std::string& key, const std::string& name, const std::string& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(handle, name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

void SetDefaultCollection(const std::string& filename, const std::string& language,
                          const std::string& preferred) {
    const std::string base = kCollectionsKey;
    SetMachineString(base, "Language", language);
    SetMachineString(base + "\\" + language, "Preferred", preferred);
    SetMachineString(base + "\\" + language + "\\" + preferred, "Filename", filename);
}

HelpFiles SetUpHelpFiles(const fs::path& registry_directory, const std::string& registry_name) {
    HelpFiles files;
    files.collection = WindowsHelpDirectory() / "Developer.col";
    files.registry = registry_directory / registry_name;
    PutFile(files.collection, Fixture("collection/developer.col"));
    PutFile(files.registry, ReplaceAll(Fixture("registry/hhcolreg.dat"), kCollectionPlaceholder,
                                       files.collection.string()));
    SetDefaultCollection(files.collection.string());
    return files;
}

std::string LastError() {
    char buffer[1024];
    QuillGetLastError(buffer, sizeof buffer);
    return buffer;
}

namespace {

pugi::xml_document Parse(const fs::path& file) {
    pugi::xml_document document;
    const pugi::xml_parse_result result = document.load_file(file.c_str());
    EXPECT_TRUE(result) << file << ": " << result.description();
    return document;
}

bool IsFolder(const pugi::xml_node& node) {
    std::string name = node.name();
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return node.type() == pugi::node_element && name == "folder";
}

void CollectFolders(const pugi::xml_node& parent, const std::string& prefix,
                    std::vector<std::string>* paths) {
    for (const pugi::xml_node& child : parent.children()) {
        if (!IsFolder(child)) {
            continue;
        }
        const pugi::xml_node title = child.child("TitleString");
        const std::string path =
            prefix + (title && title.attribute("value") ? title.attribute("value").value() : "?");
        paths->push_back(path);
        CollectFolders(child, path + "/", paths);
    }
}

}  // namespace

std::vector<std::string> FolderPaths(const fs::path& collection) {
    const pugi::xml_document document = Parse(collection);
    std::vector<std::string> paths;
    CollectFolders(document.document_element().child("Folders"), "", &paths);
    return paths;
}

std::vector<std::string> DocIds(const fs::path& registry) {
    const pugi::xml_document document = Parse(registry);
    std::vector<std::string> ids;
    for (const pugi::xpath_node& doc : document.select_nodes("//DocCompilation")) {
        ids.emplace_back(doc.node().child("DocCompId").attribute("value").value());
    }
    return ids;
}

std::optional<std::string> DocValue(const fs::path& registry, const std::string& id,
                                    const std::string& path) {
    const pugi::xml_document document = Parse(registry);
    for (const pugi::xpath_node& doc : document.select_nodes("//DocCompilation")) {
        if (doc.node().child("DocCompId").attribute("value").value() != id) {
            continue;
        }
        const pugi::xml_node element = doc.node().first_element_by_path(path.c_str());
        if (element && element.attribute("value")) {
            return std::string(element.attribute("value").value());
        }
        return std::nullopt;
    }
    return std::nullopt;
}

void PutFile(const fs::path& path, const std::string& text) {
    tevo::testing::WriteFile(path, text);
}

std::string GetFile(const fs::path& path) {
    return tevo::testing::ReadFile(path);
}

}  // namespace tevo::quill::testing
