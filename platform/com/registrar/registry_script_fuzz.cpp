// libFuzzer target: any bytes as a registrar script, read with two replacements. A script
// that reads must be written back in the script language (every name and text quoted,
// apostrophes doubled, percent signs escaped) and read again into the same tree; one that
// does not read must say on which line it failed. Nothing is applied to the registry. Run
// with -DTEVO_FUZZ=ON under clang (see platform/com/registrar/CMakeLists.txt).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "registry_script.h"

namespace {

using tevo::com::registrar::KeyFlag;
using tevo::com::registrar::ParseRegistryScript;
using tevo::com::registrar::ParseResult;
using tevo::com::registrar::Replacements;
using tevo::com::registrar::ScriptKey;
using tevo::com::registrar::ScriptRoot;
using tevo::com::registrar::ScriptValue;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const Replacements& TheReplacements() {
    static const Replacements replacements{{"MODULE", "/opt/tevo/lib/libtevo.so"},
                                           {"CLSID", "{9A1C2B3D-0000-4000-8000-00AA00BB00CC}"}};
    return replacements;
}

void AppendQuoted(std::string_view text, std::string& out) {
    out += '\'';
    for (char c : text) {
        if (c == '\'') {
            out += "''";
        } else if (c == '%') {
            out += "%%";
        } else {
            out += c;
        }
    }
    out += "' ";
}

void AppendValue(const ScriptValue& value, std::string& out) {
    if (value.type == REG_DWORD) {
        out += "d " + std::to_string(value.number) + " ";
    } else {
        out += "s ";
        AppendQuoted(value.text, out);
    }
}

const char* FlagWord(KeyFlag flag) {
    switch (flag) {
        case KeyFlag::kNoRemove:
            return "NoRemove ";
        case KeyFlag::kForceRemove:
            return "ForceRemove ";
        case KeyFlag::kDelete:
            return "Delete ";
        case KeyFlag::kNone:
            break;
    }
    return "";
}

void AppendKey(const ScriptKey& key, std::string& out) {
    out += FlagWord(key.flag);
    AppendQuoted(key.name, out);
    if (key.default_value) {
        out += "= ";
        AppendValue(*key.default_value, out);
    }
    out += "{\n";
    for (const auto& [name, value] : key.values) {
        out += "val ";
        AppendQuoted(name, out);
        out += "= ";
        AppendValue(value, out);
        out += '\n';
    }
    for (const ScriptKey& subkey : key.subkeys) {
        AppendKey(subkey, out);
    }
    out += "}\n";
}

std::string WriteScript(const std::vector<ScriptRoot>& roots) {
    std::string out;
    for (const ScriptRoot& root : roots) {
        out += root.root == HKEY_CLASSES_ROOT    ? "HKCR"
               : root.root == HKEY_LOCAL_MACHINE ? "HKLM"
                                                 : "HKCU";
        out += " {\n";
        for (const ScriptKey& key : root.keys) {
            AppendKey(key, out);
        }
        out += "}\n";
    }
    return out;
}

bool SameValue(const ScriptValue& a, const ScriptValue& b) {
    return a.type == b.type && (a.type == REG_DWORD ? a.number == b.number : a.text == b.text);
}

bool SameKey(const ScriptKey& a, const ScriptKey& b) {
    if (a.flag != b.flag || a.name != b.name ||
        a.default_value.has_value() != b.default_value.has_value() ||
        (a.default_value && !SameValue(*a.default_value, *b.default_value)) ||
        a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) {
        return false;
    }
    for (size_t i = 0; i < a.values.size(); ++i) {
        if (a.values[i].first != b.values[i].first ||
            !SameValue(a.values[i].second, b.values[i].second)) {
            return false;
        }
    }
    for (size_t i = 0; i < a.subkeys.size(); ++i) {
        if (!SameKey(a.subkeys[i], b.subkeys[i])) {
            return false;
        }
    }
    return true;
}

bool SameScript(const std::vector<ScriptRoot>& a, const std::vector<ScriptRoot>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].root != b[i].root || a[i].keys.size() != b[i].keys.size()) {
            return false;
        }
        for (size_t k = 0; k < a[i].keys.size(); ++k) {
            if (!SameKey(a[i].keys[k], b[i].keys[k])) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    const ParseResult parsed = ParseRegistryScript(script, TheReplacements());
    if (!parsed.error.empty()) {
        Require(parsed.error.starts_with("line ") && parsed.roots.empty());
        return 0;
    }
    const std::string written = WriteScript(parsed.roots);
    const ParseResult again = ParseRegistryScript(written, TheReplacements());
    Require(again.error.empty());
    Require(SameScript(parsed.roots, again.roots));
    return 0;
}
