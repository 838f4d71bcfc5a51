#include "session/session_table.h"

#include <utility>

namespace tevo::visa {

void VisaObject::RecordFailure(ViStatus status, const std::string& detail) {
    std::lock_guard<std::mutex> lock(failure_mutex_);
    failure_status_ = status;
    failure_detail_ = detail;
}

std::string VisaObject::FailureDetailFor(ViStatus status) const {
    std::lock_guard<std::mutex> lock(failure_mutex_);
    return (status == failure_status_ && status != VI_SUCCESS) ? failure_detail_ : std::string();
}

namespace {

// Owns the table. When the library is unloaded (or the process ends) with no session
// open, the table is freed; with sessions still open it is kept, so that they stay valid
// for other static destructors.
struct SessionTableHolder {
    SessionTableHolder() : table(new SessionTable) {}
    SessionTableHolder(const SessionTableHolder&) = delete;
    SessionTableHolder& operator=(const SessionTableHolder&) = delete;
    ~SessionTableHolder() {
        if (table->Empty()) {
            delete table;
            table = nullptr;
        }
    }
    SessionTable* table;
};

}  // namespace

SessionTable& SessionTable::Instance() {
    static SessionTableHolder holder;
    if (holder.table == nullptr) {
        // Only reached from static destructors that run after the holder's at exit.
        holder.table = new SessionTable;
    }
    return *holder.table;
}

bool SessionTable::Empty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return objects_.empty();
}

ViSession SessionTable::Add(std::shared_ptr<VisaObject> object) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (next_handle_ == VI_NULL || objects_.count(next_handle_) != 0) {
        ++next_handle_;
    }
    const ViSession handle = next_handle_++;
    objects_.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<VisaObject> SessionTable::Find(ViSession handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(handle);
    return found == objects_.end() ? nullptr : found->second;
}

std::shared_ptr<VisaObject> SessionTable::Remove(ViSession handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(handle);
    if (found == objects_.end()) {
        return nullptr;
    }
    std::shared_ptr<VisaObject> object = std::move(found->second);
    objects_.erase(found);
    return object;
}

}  // namespace tevo::visa
