// libFuzzer target: any bytes as the text of the HKEY_LOCAL_MACHINE hive file. A hive that
// loads must be written back as REGEDIT4 text that loads into the same keys and values,
// and writing that again must give the same text. Run with -DTEVO_FUZZ=ON under clang (see
// platform/win/CMakeLists.txt).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "hive_file.h"
#include "regedit_text.h"
#include "tevo/win/winerror.h"

namespace {

using tevo::win::registry::Hive;
using tevo::win::registry::HiveRootName;
using tevo::win::registry::Key;
using tevo::win::registry::ParseHive;
using tevo::win::registry::Value;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Compares two trees without recursion (a key may lie 512 levels deep).
bool SameTree(const Key& a, const Key& b) {
    std::vector<std::pair<const Key*, const Key*>> pending{{&a, &b}};
    while (!pending.empty()) {
        const auto [left, right] = pending.back();
        pending.pop_back();
        if (left->name() != right->name() || left->values().size() != right->values().size() ||
            left->subkeys().size() != right->subkeys().size()) {
            return false;
        }
        for (size_t i = 0; i < left->values().size(); ++i) {
            const Value& x = left->values()[i];
            const Value& y = right->values()[i];
            if (x.name != y.name || x.type != y.type || x.data != y.data) {
                return false;
            }
        }
        auto l = left->subkeys().begin();
        auto r = right->subkeys().begin();
        for (; l != left->subkeys().end(); ++l, ++r) {
            if (l->first != r->first) {
                return false;
            }
            pending.emplace_back(l->second.get(), r->second.get());
        }
    }
    return true;
}

// The tree as REGEDIT4 text in the hive's format of earlier versions (no format line and
// end marker, which the loader accepts).
std::string WriteText(const Key& root) {
    std::string text(tevo::win::registry::kRegeditHeader);
    text += "\n\n";
    tevo::win::registry::AppendRegeditSections(root, HiveRootName(Hive::LocalMachine), false,
                                               &text);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Key root;
    std::string error;
    if (ParseHive(Hive::LocalMachine, text, &root, &error) != ERROR_SUCCESS) {
        Require(error.starts_with("line "));
        return 0;
    }
    const std::string written = WriteText(root);
    Key again;
    Require(ParseHive(Hive::LocalMachine, written, &again, &error) == ERROR_SUCCESS);
    Require(SameTree(root, again));
    Require(WriteText(again) == written);
    return 0;
}
