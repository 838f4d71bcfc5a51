// Host-name resolution bounded by a deadline. getaddrinfo has no time-out of its own, so a
// name is resolved in a helper thread while the caller waits no longer than its deadline;
// a numeric address is converted at once, without a thread. A helper that outlives its
// caller's deadline finishes on its own and is joined later (at the latest when the
// library is unloaded), so no thread ever runs this library's code after that.
#pragma once

#include <sys/socket.h>

#include <functional>
#include <string>
#include <vector>

#include "tevo/visa.h"
#include "transport/deadline.h"

namespace tevo::visa {

// One address to try, port included.
struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// Resolves host (a name or a numeric IPv4/IPv6 address) for TCP to port, in the order the
// system prefers. VI_SUCCESS with at least one endpoint; VI_ERROR_RSRC_NFOUND when the name
// does not resolve; VI_ERROR_TMO when the deadline passes first. *detail says why.
ViStatus ResolveHost(const std::string& host, ViUInt16 port, const Deadline& deadline,
                     std::vector<Endpoint>* endpoints, std::string* detail);

// The blocking look-up that ResolveHost runs for names: 0 and the endpoints, or an EAI_*
// code. Replaceable so that tests can make resolution slow or give a name several
// addresses.
using BlockingResolver =
    std::function<int(const std::string& host, ViUInt16 port, std::vector<Endpoint>* endpoints)>;

// Replaces the blocking look-up for names for the life of the object (tests only; one at a
// time). Numeric addresses are never looked up.
class ScopedResolverOverride {
  public:
    explicit ScopedResolverOverride(BlockingResolver resolver);
    ~ScopedResolverOverride();
    ScopedResolverOverride(const ScopedResolverOverride&) = delete;
    ScopedResolverOverride& operator=(const ScopedResolverOverride&) = delete;
};

}  // namespace tevo::visa
