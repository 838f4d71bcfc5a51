#include "registry_handles.h"

#include <mutex>
#include <unordered_map>

namespace tevo::win::registry {

namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<ULONG_PTR, KeyPath> open;
    ULONG_PTR next = 0x1000;
};

// Never destroyed, so that handles may still be closed from other static destructors.
HandleTable& Table() {
    static auto* table = new HandleTable;
    return *table;
}

bool Predefined(HKEY handle, KeyPath* key) {
    key->path.clear();
    key->implicit = 0;
    key->access = KEY_ALL_ACCESS;
    if (handle == HKEY_LOCAL_MACHINE) {
        key->hive = Hive::LocalMachine;
        return true;
    }
    if (handle == HKEY_CURRENT_USER) {
        key->hive = Hive::CurrentUser;
        return true;
    }
    if (handle == HKEY_CLASSES_ROOT) {
        key->hive = Hive::LocalMachine;
        key->path = {"SOFTWARE", "Classes"};
        key->implicit = 2;
        return true;
    }
    return false;
}

}  // namespace

LONG LookupHandle(HKEY handle, KeyPath* key) {
    if (Predefined(handle, key)) {
        return ERROR_SUCCESS;
    }
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.open.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it == table.open.end()) {
        return ERROR_INVALID_HANDLE;
    }
    *key = it->second;
    return ERROR_SUCCESS;
}

HKEY AddHandle(KeyPath key) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    const ULONG_PTR id = table.next;
    table.next += 8;
    table.open.emplace(id, std::move(key));
    return reinterpret_cast<HKEY>(id);
}

LONG RemoveHandle(HKEY handle) {
    KeyPath unused;
    if (Predefined(handle, &unused)) {
        return ERROR_SUCCESS;
    }
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.open.erase(reinterpret_cast<ULONG_PTR>(handle)) != 0 ? ERROR_SUCCESS
                                                                      : ERROR_INVALID_HANDLE;
}

}  // namespace tevo::win::registry
