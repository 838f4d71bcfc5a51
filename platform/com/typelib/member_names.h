// Names and texts of a type library as COM hands them out (BSTRs) and as callers ask for
// them (wide strings, compared without regard to letter case).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tevo/win/types.h"

namespace tevo::com::typelib {

// A new BSTR of UTF-8 text; null when memory runs out.
BSTR NewBstr(std::string_view utf8);

// Stores a new BSTR of the text (null for a missing text) in *out when out is not null.
// False when memory runs out; *out is then null.
bool StoreText(const std::optional<std::string>& utf8, BSTR* out);

// A name asked for by a caller, ready to be compared with the library's UTF-8 names.
class NameQuery {
  public:
    explicit NameQuery(const OLECHAR* name);

    // Whether the library's name equals the one asked for, ignoring letter case.
    bool Matches(std::string_view stored) const;
    // Overwrites the caller's buffer with the library's spelling of a matching name, when
    // that spelling has the same length (the buffer holds no more).
    void CopySpelling(std::string_view stored, OLECHAR* buffer) const;

  private:
    std::wstring wide_;
    std::string utf8_;
};

}  // namespace tevo::com::typelib
