// The current interface of a driver object: set by the call frame on entry, restored on
// exit, and copied into error objects. It is kept per thread (a stack of the frames the
// thread is in), so two threads calling one object at the same moment never see each
// other's interface, and a nested call on another object leaves this one's untouched.
#pragma once

#include "tevo/platform.h"

namespace tevo::driver {

class InterfaceScope {
  public:
    InterfaceScope(const void* object, const IID& iid);
    ~InterfaceScope();
    InterfaceScope(const InterfaceScope&) = delete;
    InterfaceScope& operator=(const InterfaceScope&) = delete;

    // The interface of the calling thread's innermost frame on the object; GUID_NULL when
    // the thread is in no frame of it.
    static IID CurrentInterface(const void* object);

  private:
    const void* object_;
    IID iid_;
    InterfaceScope* previous_;
};

}  // namespace tevo::driver
