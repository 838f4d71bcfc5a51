#include "registry_tree.h"

#include "tevo/win/text.h"

namespace tevo::win::registry {

namespace {

// Upper case of one code point for the scripts whose letters have a simple case pair:
// Latin (basic, Latin-1 and Extended-A), Greek and Cyrillic. Other characters compare as
// they are.
wchar_t UpperCase(wchar_t c) {
    if (c >= L'a' && c <= L'z') {
        return static_cast<wchar_t>(c - 0x20);
    }
    if (c < 0x80) {
        return c;
    }
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F)) {
        return static_cast<wchar_t>(c - 0x20);
    }
    if (c == 0xFF) {
        return 0x178;
    }
    if (c == 0x3C2) {
        return 0x3A3;
    }
    if (c >= 0x450 && c <= 0x45F) {
        return static_cast<wchar_t>(c - 0x50);
    }
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
        return static_cast<wchar_t>(c & ~1);
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
        return (c & 1) == 0 ? static_cast<wchar_t>(c - 1) : c;
    }
    return c;
}

}  // namespace

std::string FoldName(std::string_view name) {
    std::string folded(name);
    bool ascii = true;
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 0x20);
        } else if ((c & 0x80) != 0) {
            ascii = false;
        }
    }
    if (ascii) {
        return folded;
    }
    std::wstring wide = Utf8ToWide(folded);
    for (wchar_t& c : wide) {
        c = UpperCase(c);
    }
    return WideToUtf8(wide);
}

size_t CharacterCount(std::string_view utf8) {
    size_t count = 0;
    for (const char c : utf8) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

Key* Key::FindSubkey(std::string_view name) const {
    auto it = subkeys_.find(FoldName(name));
    return it == subkeys_.end() ? nullptr : it->second.get();
}

Key* Key::AddSubkey(std::string_view name, bool* created) {
    auto [it, inserted] = subkeys_.try_emplace(FoldName(name));
    if (inserted) {
        it->second = std::make_unique<Key>(std::string(name));
    }
    if (created != nullptr) {
        *created = inserted;
    }
    return it->second.get();
}

bool Key::RemoveSubkey(std::string_view name) {
    return subkeys_.erase(FoldName(name)) != 0;
}

const Value* Key::FindValue(std::string_view name) const {
    auto it = value_index_.find(FoldName(name));
    return it == value_index_.end() ? nullptr : &values_[it->second];
}

void Key::SetValue(std::string_view name, DWORD type, std::string data) {
    auto [it, inserted] = value_index_.try_emplace(FoldName(name), values_.size());
    if (inserted) {
        values_.push_back(Value{std::string(name), type, std::move(data)});
        return;
    }
    Value& value = values_[it->second];
    value.type = type;
    value.data = std::move(data);
}

bool Key::RemoveValue(std::string_view name) {
    auto it = value_index_.find(FoldName(name));
    if (it == value_index_.end()) {
        return false;
    }
    const size_t removed = it->second;
    value_index_.erase(it);
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(removed));
    for (auto& entry : value_index_) {
        if (entry.second > removed) {
            --entry.second;
        }
    }
    return true;
}

void Key::ClearValues() {
    values_.clear();
    value_index_.clear();
}

}  // namespace tevo::win::registry
