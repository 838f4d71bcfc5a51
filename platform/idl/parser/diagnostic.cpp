#include "tevo/idl/diagnostic.h"

namespace tevo::idl {

std::string Diagnostic::ToString() const {
    if (location.line <= 0) {
        return file + ": " + message;
    }
    return file + ":" + std::to_string(location.line) + ":" + std::to_string(location.column) +
           ": " + message;
}

}  // namespace tevo::idl
