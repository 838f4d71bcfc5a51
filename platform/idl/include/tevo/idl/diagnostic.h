// A compile error of the IDL compiler: where it is and what is wrong.
#pragma once

#include <string>

namespace tevo::idl {

struct SourceLocation {
    int line = 0;    // 1-based; 0 when the message concerns the whole file
    int column = 0;  // 1-based byte column
};

struct Diagnostic {
    std::string file;
    SourceLocation location;
    std::string message;

    // "file:line:col: message" ("file: message" without a position).
    std::string ToString() const;
};

}  // namespace tevo::idl
