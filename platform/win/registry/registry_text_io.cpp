// Export of a key as REGEDIT4 text and import of such text.
#include <string>
#include <vector>

#include "hive_file.h"
#include "regedit_text.h"
#include "registry_operations.h"
#include "tevo/win/registry.h"

namespace tevo::win {

namespace {

using registry::FoldName;
using registry::Hive;
using registry::Key;
using registry::TextSection;

// Where a section's root name puts its keys: the hive and the names before the path.
bool MapRoot(const std::string& root, Hive* hive, std::vector<std::string>* prefix) {
    const std::string folded = FoldName(root);
    prefix->clear();
    if (folded == "HKEY_LOCAL_MACHINE" || folded == "HKLM") {
        *hive = Hive::LocalMachine;
        return true;
    }
    if (folded == "HKEY_CURRENT_USER" || folded == "HKCU") {
        *hive = Hive::CurrentUser;
        return true;
    }
    if (folded == "HKEY_CLASSES_ROOT" || folded == "HKCR") {
        *hive = Hive::LocalMachine;
        *prefix = {"SOFTWARE", "Classes"};
        return true;
    }
    return false;
}

struct ImportSection {
    std::vector<std::string> path;  // below the hive's root
    const TextSection* text = nullptr;
};

void ApplySection(Key& root, const ImportSection& section) {
    if (section.text->remove) {
        Key* parent = &root;
        for (size_t i = 0; parent != nullptr && i + 1 < section.path.size(); ++i) {
            parent = parent->FindSubkey(section.path[i]);
        }
        if (parent != nullptr) {
            parent->RemoveSubkey(section.path.back());
        }
        return;
    }
    Key* key = &root;
    for (const std::string& name : section.path) {
        key = key->AddSubkey(name);
    }
    for (const registry::TextValue& value : section.text->values) {
        if (value.remove) {
            key->RemoveValue(value.name);
        } else {
            key->SetValue(value.name, value.type, value.data);
        }
    }
}

}  // namespace

LONG ExportRegistryKey(HKEY key, std::string_view key_name, std::string* text) {
    return registry::ReadKey(key, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, [&](const Key& found) {
        *text = registry::kRegeditHeader;
        *text += "\n\n";
        registry::AppendRegeditSections(found, std::string(key_name), true, text);
        return ERROR_SUCCESS;
    });
}

LONG ImportRegistryText(std::string_view text) {
    std::string unused;
    return ImportRegistryText(text, {}, &unused);
}

LONG ImportRegistryText(std::string_view text, std::string_view source, std::string* problem) {
    problem->clear();
    // Problems of the text are "line N: ..." and get the text's name in front.
    const auto fail = [&](LONG status, const std::string& where) {
        *problem = source.empty() ? where : std::string(source) + ", " + where;
        return status;
    };
    std::string error;
    std::vector<TextSection> sections;
    // A copy of a hive of this registry must be whole; text written by people needs no
    // end marker.
    if ((registry::HasHiveHeader(text) && !registry::CheckHiveEnd(text, &error)) ||
        !registry::ParseRegeditText(text, &sections, &error)) {
        return fail(ERROR_BADDB, error);
    }
    // Every section is checked before anything changes.
    std::vector<ImportSection> by_hive[2];
    for (const TextSection& section : sections) {
        const std::string line = "line " + std::to_string(section.line) + ": ";
        Hive hive = Hive::LocalMachine;
        ImportSection mapped;
        mapped.text = &section;
        if (!MapRoot(section.path.front(), &hive, &mapped.path)) {
            return fail(ERROR_BADKEY, line + "unknown root key " + section.path.front());
        }
        std::string below;
        for (size_t i = 1; i < section.path.size(); ++i) {
            below += (i > 1 ? "\\" : "") + section.path[i];
        }
        std::vector<std::string> names;
        if (registry::SplitKeyPath(below, &names) != ERROR_SUCCESS) {
            return fail(ERROR_BADKEY, line + "a key name the registry cannot hold");
        }
        mapped.path.insert(mapped.path.end(), names.begin(), names.end());
        // The parser held the path to the limit below its root name; HKEY_CLASSES_ROOT
        // lies two levels down in its hive.
        if (mapped.path.size() > registry::kMaxKeyDepth) {
            return fail(ERROR_BADDB, line + "the key is more than 512 levels deep");
        }
        if (section.remove && names.empty()) {
            return fail(ERROR_ACCESS_DENIED, line + "a root key cannot be deleted");
        }
        by_hive[hive == Hive::LocalMachine ? 0 : 1].push_back(std::move(mapped));
    }
    for (int i = 0; i < 2; ++i) {
        if (by_hive[i].empty()) {
            continue;
        }
        const LONG status = registry::ChangeHive(
            i == 0 ? Hive::LocalMachine : Hive::CurrentUser, [&](Key& root, bool& changed) {
                for (const ImportSection& section : by_hive[i]) {
                    ApplySection(root, section);
                }
                changed = true;
                return ERROR_SUCCESS;
            });
        if (status == ERROR_BADDB) {
            *problem = registry::LastHiveDamage();
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    return ERROR_SUCCESS;
}

std::string LastRegistryDamage() {
    return registry::LastHiveDamage();
}

}  // namespace tevo::win
