#include "session/interface_scope.h"

namespace tevo::driver {

namespace {
thread_local InterfaceScope* t_innermost = nullptr;
}  // namespace

InterfaceScope::InterfaceScope(const void* object, const IID& iid)
    : object_(object), iid_(iid), previous_(t_innermost) {
    t_innermost = this;
}

InterfaceScope::~InterfaceScope() {
    t_innermost = previous_;
}

IID InterfaceScope::CurrentInterface(const void* object) {
    for (const InterfaceScope* scope = t_innermost; scope != nullptr; scope = scope->previous_) {
        if (scope->object_ == object) {
            return scope->iid_;
        }
    }
    return GUID_NULL;
}

}  // namespace tevo::driver
