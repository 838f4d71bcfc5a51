// Every open VISA object (resource-manager and instrument sessions) by its handle. Handles
// are handed out in increasing order and not reused while the counter has not wrapped, so a
// stale handle finds nothing. The table owns one reference to each object; operations hold
// their own while they run, so closing never frees an object under a running call.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "tevo/visa.h"

namespace tevo::visa {

class VisaObject {
  public:
    virtual ~VisaObject() = default;
    virtual bool IsResourceManager() const = 0;

    // Keeps what went wrong in the last failed operation, for viStatusDesc.
    void RecordFailure(ViStatus status, const std::string& detail);
    // The detail recorded with status, or empty when the last failure had another status.
    std::string FailureDetailFor(ViStatus status) const;

  private:
    mutable std::mutex failure_mutex_;
    ViStatus failure_status_ = VI_SUCCESS;
    std::string failure_detail_;
};

class SessionTable {
  public:
    static SessionTable& Instance();

    ViSession Add(std::shared_ptr<VisaObject> object);
    std::shared_ptr<VisaObject> Find(ViSession handle) const;
    // Removes and returns the object; nullptr when the handle is unknown or already closed.
    std::shared_ptr<VisaObject> Remove(ViSession handle);
    bool Empty() const;

  private:
    mutable std::mutex mutex_;
    std::unordered_map<ViSession, std::shared_ptr<VisaObject>> objects_;
    ViSession next_handle_ = 1;
};

}  // namespace tevo::visa
