// The one lock of the library: every exported function holds it for its whole run, so
// handles, documents and the last-error text are never used by two threads at once. It is
// recursive because the install and remove procedures call the other exports.
#pragma once

#include <mutex>

namespace tevo::quill {

std::recursive_mutex& LibraryMutex();

class LibraryLock {
  public:
    LibraryLock() : lock_(LibraryMutex()) {}

  private:
    std::lock_guard<std::recursive_mutex> lock_;
};

}  // namespace tevo::quill
