#include "member_names.h"

#include <algorithm>

#include "tevo/com/bstr.h"
#include "tevo/com/typeinfo.h"
#include "tevo/win/files.h"
#include "tevo/win/text.h"

namespace tevo::com::typelib {

BSTR NewBstr(std::string_view utf8) {
    const std::wstring wide = tevo::win::Utf8ToWide(utf8);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

bool StoreText(const std::optional<std::string>& utf8, BSTR* out) {
    if (out == nullptr) {
        return true;
    }
    *out = utf8 ? NewBstr(*utf8) : nullptr;
    return !utf8 || *out != nullptr;
}

NameQuery::NameQuery(const OLECHAR* name)
    : wide_(name != nullptr ? name : L""), utf8_(tevo::win::WideToUtf8(wide_)) {}

bool NameQuery::Matches(std::string_view stored) const {
    return tevo::win::NamesEqualIgnoringCase(stored, utf8_);
}

void NameQuery::CopySpelling(std::string_view stored, OLECHAR* buffer) const {
    const std::wstring spelling = tevo::win::Utf8ToWide(stored);
    if (buffer != nullptr && spelling.size() == wide_.size()) {
        std::copy(spelling.begin(), spelling.end(), buffer);
    }
}

}  // namespace tevo::com::typelib

extern "C" ULONG LHashValOfNameSys(SYSKIND syskind, LCID /*lcid*/, const OLECHAR* szName) {
    // FNV-1a over the characters with ASCII letters folded to lower case (independent of
    // the process locale): names that differ only in the case of those letters hash alike.
    ULONG hash = 2166136261u;
    for (const OLECHAR* c = szName; c != nullptr && *c != 0; ++c) {
        const OLECHAR folded = (*c >= L'A' && *c <= L'Z') ? static_cast<OLECHAR>(*c + 32) : *c;
        hash ^= static_cast<ULONG>(folded);
        hash *= 16777619u;
    }
    return (static_cast<ULONG>(syskind & 0xFF) << 16) | (hash & 0xFFFFu);
}
