#include "registry_operations.h"

#include <iterator>

#include "hive_file.h"
#include "registry_handles.h"
#include "tevo/win/text.h"

namespace tevo::win::registry {

namespace {

// Standard and generic access rights, as they map onto key rights.
constexpr REGSAM kDelete = 0x00010000;
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericRead = 0x80000000;
// Any of these lets a handle delete below its key.
constexpr REGSAM kDeleteRights = kDelete | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

constexpr size_t kMaxValueNameLength = 16383;

REGSAM MapAccess(REGSAM access) {
    REGSAM mapped = access & ~(kGenericAll | kGenericExecute | kGenericWrite | kGenericRead |
                               kMaximumAllowed | KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if ((access & (kGenericAll | kMaximumAllowed)) != 0) {
        mapped |= KEY_ALL_ACCESS;
    }
    if ((access & (kGenericRead | kGenericExecute)) != 0) {
        mapped |= KEY_READ;
    }
    if ((access & kGenericWrite) != 0) {
        mapped |= KEY_WRITE;
    }
    return mapped;
}

bool HasLineBreak(std::string_view name) {
    return name.find_first_of("\r\n") != std::string_view::npos;
}

// The key of `key` in `root`, or null when it no longer exists. Missing implicit keys are
// created when `create_implicit` (and `changed` is set), otherwise read as `empty`.
Key* Resolve(Key& root, const KeyPath& key, bool create_implicit, bool* changed, Key* empty) {
    Key* current = &root;
    for (size_t i = 0; i < key.path.size(); ++i) {
        Key* next = current->FindSubkey(key.path[i]);
        if (next == nullptr) {
            if (i >= key.implicit) {
                return nullptr;
            }
            if (!create_implicit) {
                return key.path.size() == key.implicit ? empty : nullptr;
            }
            next = current->AddSubkey(key.path[i]);
            *changed = true;
        }
        current = next;
    }
    return current;
}

// The same for reading: missing implicit keys read as `empty`, nothing is created.
const Key* ResolveForReading(const Key& root, const KeyPath& key, const Key* empty) {
    const Key* current = &root;
    for (size_t i = 0; i < key.path.size(); ++i) {
        const Key* next = current->FindSubkey(key.path[i]);
        if (next == nullptr) {
            if (i >= key.implicit) {
                return nullptr;
            }
            return key.path.size() == key.implicit ? empty : nullptr;
        }
        current = next;
    }
    return current;
}

LONG Lookup(HKEY handle, REGSAM needed, KeyPath* key) {
    const LONG status = LookupHandle(handle, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return (key->access & needed) != 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Runs `change` on the handle's key in a change of its hive.
LONG ChangeKey(HKEY handle, REGSAM needed, bool create_implicit,
               const std::function<LONG(Key&, bool& changed)>& change) {
    KeyPath key;
    LONG status = Lookup(handle, needed, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return ChangeHive(key.hive, [&](Key& root, bool& changed) {
        Key empty;
        Key* target = Resolve(root, key, create_implicit, &changed, &empty);
        if (target == nullptr) {
            return ERROR_KEY_DELETED;
        }
        return change(*target, changed);
    });
}

}  // namespace

LONG SplitKeyPath(std::string_view path, std::vector<std::string>* names) {
    names->clear();
    if (path.empty()) {
        return ERROR_SUCCESS;
    }
    if (path.front() == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    if (path.back() == '\\') {
        path.remove_suffix(1);
    }
    size_t start = 0;
    while (true) {
        const size_t end = path.find('\\', start);
        const std::string_view name =
            path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (name.empty()) {
            return ERROR_BAD_PATHNAME;
        }
        if (CharacterCount(name) > kMaxKeyNameLength || HasLineBreak(name)) {
            return ERROR_INVALID_PARAMETER;
        }
        names->emplace_back(name);
        if (end == std::string_view::npos) {
            return ERROR_SUCCESS;
        }
        start = end + 1;
    }
}

LONG OpenKey(HKEY parent, const std::string* subkey, REGSAM access, bool create, HKEY* result,
             DWORD* disposition) {
    *result = nullptr;
    KeyPath key;
    LONG status = LookupHandle(parent, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<std::string> names;
    status = SplitKeyPath(subkey != nullptr ? *subkey : std::string(), &names);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // A key deeper than Windows allows cannot be created. Windows refuses a key name it
    // cannot hold with ERROR_INVALID_PARAMETER (as for a name over 255 characters above),
    // so a path below the deepest level gets the same code.
    if (create && key.path.size() + names.size() > kMaxKeyDepth) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyPath opened = key;
    opened.access = MapAccess(access);
    DWORD outcome = REG_OPENED_EXISTING_KEY;
    if (!create) {
        std::shared_ptr<const Key> root;
        status = ReadHiveSnapshot(key.hive, &root);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        const Key empty;
        const Key* current = ResolveForReading(*root, key, &empty);
        if (current == nullptr) {
            return ERROR_KEY_DELETED;
        }
        for (const std::string& name : names) {
            current = current->FindSubkey(name);
            if (current == nullptr) {
                return ERROR_FILE_NOT_FOUND;
            }
            opened.path.push_back(current->name());
        }
    } else {
        status = ChangeHive(key.hive, [&](Key& root, bool& changed) {
            Key empty;
            Key* current = Resolve(root, key, true, &changed, &empty);
            if (current == nullptr) {
                return ERROR_KEY_DELETED;
            }
            for (const std::string& name : names) {
                Key* next = current->FindSubkey(name);
                if (next == nullptr) {
                    if ((key.access & KEY_CREATE_SUB_KEY) == 0) {
                        return ERROR_ACCESS_DENIED;
                    }
                    next = current->AddSubkey(name);
                    changed = true;
                    outcome = REG_CREATED_NEW_KEY;
                }
                opened.path.push_back(next->name());
                current = next;
            }
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    if (disposition != nullptr) {
        *disposition = outcome;
    }
    *result = AddHandle(std::move(opened));
    return ERROR_SUCCESS;
}

LONG ReadKey(HKEY handle, REGSAM needed, const std::function<LONG(const Key&)>& read) {
    KeyPath key;
    LONG status = Lookup(handle, needed, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::shared_ptr<const Key> root;
    status = ReadHiveSnapshot(key.hive, &root);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const Key empty;
    const Key* target = ResolveForReading(*root, key, &empty);
    if (target == nullptr) {
        return ERROR_KEY_DELETED;
    }
    return read(*target);
}

LONG QueryValue(HKEY handle, std::string_view name, Value* value) {
    return ReadKey(handle, KEY_QUERY_VALUE, [&](const Key& key) {
        const Value* found = key.FindValue(name);
        if (found == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        *value = *found;
        return ERROR_SUCCESS;
    });
}

LONG SetValue(HKEY handle, std::string_view name, DWORD type, const std::string& data) {
    if (CharacterCount(name) > kMaxValueNameLength || HasLineBreak(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    return ChangeKey(handle, KEY_SET_VALUE, true, [&](Key& key, bool& changed) {
        key.SetValue(name, type, data);
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG DeleteValue(HKEY handle, std::string_view name) {
    return ChangeKey(handle, KEY_SET_VALUE, false, [&](Key& key, bool& changed) {
        changed = key.RemoveValue(name);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG DeleteKey(HKEY handle, const std::string* subkey, bool tree) {
    std::vector<std::string> names;
    if (subkey != nullptr) {
        const LONG status = SplitKeyPath(*subkey, &names);
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    if (names.empty() && !tree) {
        return ERROR_INVALID_PARAMETER;
    }
    return ChangeKey(handle, kDeleteRights, false, [&](Key& key, bool& changed) {
        if (names.empty()) {
            changed = !key.values().empty() || !key.subkeys().empty();
            key.ClearValues();
            key.ClearSubkeys();
            return ERROR_SUCCESS;
        }
        Key* parent = &key;
        for (size_t i = 0; i + 1 < names.size(); ++i) {
            parent = parent->FindSubkey(names[i]);
            if (parent == nullptr) {
                return ERROR_FILE_NOT_FOUND;
            }
        }
        const Key* target = parent->FindSubkey(names.back());
        if (target == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (!tree && !target->subkeys().empty()) {
            return ERROR_ACCESS_DENIED;
        }
        parent->RemoveSubkey(names.back());
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG EnumKey(HKEY handle, DWORD index, std::string* name) {
    return ReadKey(handle, KEY_ENUMERATE_SUB_KEYS, [&](const Key& key) {
        if (index >= key.subkeys().size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        *name = std::next(key.subkeys().begin(), index)->second->name();
        return ERROR_SUCCESS;
    });
}

LONG EnumValue(HKEY handle, DWORD index, Value* value) {
    return ReadKey(handle, KEY_QUERY_VALUE, [&](const Key& key) {
        if (index >= key.values().size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        *value = key.values()[index];
        return ERROR_SUCCESS;
    });
}

}  // namespace tevo::win::registry
