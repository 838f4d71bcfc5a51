#include "session/resource_manager.h"

namespace tevo::visa {

bool ResourceManager::Adopt(ViSession session) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        return false;
    }
    sessions_.insert(session);
    return true;
}

void ResourceManager::Forget(ViSession session) {
    std::lock_guard<std::mutex> lock(mutex_);
    sessions_.erase(session);
}

std::vector<ViSession> ResourceManager::CloseAndTakeSessions() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    std::vector<ViSession> taken(sessions_.begin(), sessions_.end());
    sessions_.clear();
    return taken;
}

}  // namespace tevo::visa
