// The registry held in memory while one call works on it: keys with their values and
// sub-keys. Names are UTF-8, compared without regard to letter case and kept in the case
// they were created with. Sub-keys are ordered by their case-folded names; values keep
// the order in which they were created.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tevo/win/types.h"

namespace tevo::win::registry {

// The limits of the key tree, as Windows has them: a key lies at most 512 levels below its
// hive's root (HKEY_LOCAL_MACHINE\SOFTWARE is level 1), and a key name is at most 255
// characters long. Keeping every tree within them also bounds the recursion of Key's
// destructor.
inline constexpr size_t kMaxKeyDepth = 512;
inline constexpr size_t kMaxKeyNameLength = 255;

// The form of a name used for comparison: upper case, as the registry compares names.
std::string FoldName(std::string_view name);

// The number of characters (code points) in UTF-8 text.
size_t CharacterCount(std::string_view utf8);

struct Value {
    std::string name;  // empty for the default value
    DWORD type = 0;
    std::string data;  // the exact stored bytes
};

class Key {
  public:
    explicit Key(std::string name = {}) : name_(std::move(name)) {}
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    const std::string& name() const { return name_; }

    Key* FindSubkey(std::string_view name) const;
    // Returns the existing sub-key of that name, or a new one created with that name.
    Key* AddSubkey(std::string_view name, bool* created = nullptr);
    bool RemoveSubkey(std::string_view name);
    // Sub-keys in their enumeration order.
    const std::map<std::string, std::unique_ptr<Key>>& subkeys() const { return subkeys_; }

    const Value* FindValue(std::string_view name) const;
    // Replaces the value's type and data; a new value goes to the end of the order.
    void SetValue(std::string_view name, DWORD type, std::string data);
    bool RemoveValue(std::string_view name);
    void ClearValues();
    void ClearSubkeys() { subkeys_.clear(); }
    // Values in their enumeration (creation) order.
    const std::vector<Value>& values() const { return values_; }

  private:
    std::string name_;
    std::map<std::string, std::unique_ptr<Key>> subkeys_;  // by folded name
    std::vector<Value> values_;
    std::unordered_map<std::string, size_t> value_index_;  // folded name -> index in values_
};

}  // namespace tevo::win::registry
