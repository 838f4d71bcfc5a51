// The attributes of an instrument session, in one place per session: their defaults, the
// type each is read as, which are read-only, and which values are accepted.
#pragma once

#include <mutex>
#include <string>

#include "resource/resource_name.h"
#include "tevo/visa.h"
#include "transport/transport.h"

namespace tevo::visa {

inline constexpr ViUInt32 kDefaultTimeoutMs = 2000;

class SessionAttributes {
  public:
    SessionAttributes(std::string resource_string, ResourceName name);

    // Writes the value in the attribute's own type (see tevo/visa.h).
    ViStatus Get(ViAttr attribute, void* value) const;
    ViStatus Set(ViAttr attribute, ViAttrState value);

    IoSettings Io() const;
    ViUInt32 TimeoutMs() const;
    void SetPeerAddress(const std::string& address);

  private:
    // A VXI-11 or HiSLIP session, as opposed to a raw SOCKET one.
    bool IsInstr() const;

    const std::string resource_string_;
    const ResourceName name_;

    mutable std::mutex mutex_;
    IoSettings io_;
    ViUInt32 timeout_ms_ = kDefaultTimeoutMs;
    bool suppress_end_ = true;
    std::string peer_address_;
};

}  // namespace tevo::visa
