// A driver member reached by its dotted path through IDispatch alone: every step but the
// last is a property or method that returns an object (VT_DISPATCH); the last is read,
// written or called. Names are matched without regard to letter case (GetIDsOfNames);
// arguments are converted to the declared parameter types read from the type information.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dispatch/dispatch_path.h"
#include "dispatch/member_description.h"
#include "dispatch/owned_variant.h"
#include "tevo/com/dispatch.h"

namespace tevo::cli {

enum class MemberAccess { kGet, kSet, kCall };

struct NamedValue {
    std::string name;
    std::unique_ptr<OwnedVariant> value;  // stays at one address: byref arguments point into it
    ValueType type;
};

struct PathResult {
    std::string member;  // the last member's name as the type library spells it
    OwnedVariant value;  // the result (VT_EMPTY for none)
    ValueType type;
    std::vector<NamedValue> outputs;  // [out] parameters of a call, in declaration order
};

// Reads (kGet), writes (kSet: arguments holds the value) or calls (kCall) the member at
// `path` below `root`. Throws UsageError for paths, names and arguments that do not fit the
// type information, DriverError with the driver's description when the call fails.
PathResult InvokePath(IDispatch* root, const std::string& path, MemberAccess access,
                      const std::vector<std::string>& arguments);

}  // namespace tevo::cli
