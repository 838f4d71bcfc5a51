// A resource-manager session: opens instrument sessions and remembers them, so that
// closing it closes them too.
#pragma once

#include <mutex>
#include <set>
#include <vector>

#include "session/session_table.h"

namespace tevo::visa {

class ResourceManager final : public VisaObject {
  public:
    bool IsResourceManager() const override { return true; }

    // Records a session opened through this manager; false when the manager is closed.
    bool Adopt(ViSession session);
    void Forget(ViSession session);
    // Marks the manager closed and hands over the sessions it opened.
    std::vector<ViSession> CloseAndTakeSessions();

  private:
    std::mutex mutex_;
    std::set<ViSession> sessions_;
    bool closed_ = false;
};

}  // namespace tevo::visa
