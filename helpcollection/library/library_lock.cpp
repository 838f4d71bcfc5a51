#include "library_lock.h"

namespace tevo::quill {

std::recursive_mutex& LibraryMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

}  // namespace tevo::quill
