// The call frame around every interface method of the driver's objects.
//
// SessionFrame: trace scope; current interface; the checks that the driver is initialized
// (root pointer set, IIviDriver::get_Initialized through the root's own interface, session
// active); the wait for another thread's object lock; the root's CallLock; the initialized
// checks once more; cleared thread error information; then the inner implementation, whose
// HRESULT is returned as it is.
// PlainFrame: the same without the initialized checks and the object-lock wait.
//
// Lock order: the object lock is waited for only by a thread that does not hold the
// CallLock (LockObject is never called from inside a call). A frame nested in a call of
// the same thread (a method reading Simulate through the object's own interface,
// Initialize calling Reset or Close) skips the wait: the owner of the object lock may
// itself be waiting for the CallLock that this thread holds, and the outer call has
// already waited or needs no wait.
//
// The checks are repeated under the CallLock (on the flag itself, without a nested call)
// because Close on another thread may have run between the first checks and the CallLock:
// a call must never run on a closed session. A nested frame needs no repeat: its thread
// has held the CallLock since the outer call's checks.
//
// Exceptions never cross the interface: an allocation failure becomes E_OUTOFMEMORY and
// anything else E_UNEXPECTED.
#pragma once

#include <new>
#include <utility>

#include "session/call_locks.h"
#include "session/error_codes.h"
#include "session/error_reporting.h"
#include "session/interface_scope.h"
#include "session/trace_scope.h"
#include "tevo/IviDriverTypeLib.h"

namespace tevo::driver {

// The constants of one interface method.
struct FrameSite {
    const char* interface_name;
    const char* method_name;
    const IID& iid;
};

// What the frame needs of the root driver object.
class FrameRoot {
  public:
    // The root's IIviDriver (not AddRef'ed), asked for get_Initialized.
    virtual IIviDriver* FrameDriver() = 0;
    // Whether the session is active: always so in this driver.
    virtual bool IsSessionActive() = 0;
    // The initialized flag itself, read by the frame under the CallLock: unlike
    // get_Initialized it makes no call, so it adds no nested frame and no trace lines.
    virtual bool IsInitializedUnderCallLock() = 0;

  protected:
    ~FrameRoot() = default;
};

// What the frame needs of the object called.
class FrameObject {
  public:
    virtual const CLSID& ClassId() const = 0;
    // The root driver object; null before Initialize and after Close.
    virtual FrameRoot* FrameRootPointer() = 0;
    // The locks of the root (the main object's own; an item's root's).
    virtual FrameLocks& Locks() = 0;

    // The error source of this object for the calling thread.
    ErrorSource Errors() const {
        return ErrorSource{ClassId(), InterfaceScope::CurrentInterface(this)};
    }

  protected:
    ~FrameObject() = default;
};

// How a SessionFrame treats the object lock at its sixth step.
enum class ObjectLockStep {
    kWait,     // wait while another thread owns it (every method)
    kAcquire,  // take it (LockObject): waiting here, outside the CallLock, lets the owner
               // always get in to unlock
};

template <class Inner>
HRESULT RunInner(Inner&& inner) {
    try {
        return std::forward<Inner>(inner)();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

inline bool RootReportsInitialized(FrameRoot& root) {
    VARIANT_BOOL initialized = VARIANT_FALSE;
    const HRESULT hr = root.FrameDriver()->get_Initialized(&initialized);
    // A failing query does not stop the call.
    return FAILED(hr) || initialized != VARIANT_FALSE;
}

// The checks before the object-lock wait: the root is set, reports itself initialized
// through its own interface, and its session is active.
inline bool SessionIsOpen(FrameObject& object) {
    FrameRoot* root = object.FrameRootPointer();
    return root != nullptr && RootReportsInitialized(*root) && root->IsSessionActive();
}

// The same, repeated under the CallLock.
inline bool SessionIsStillOpen(FrameObject& object) {
    FrameRoot* root = object.FrameRootPointer();
    return root != nullptr && root->IsInitializedUnderCallLock() && root->IsSessionActive();
}

template <class Inner>
HRESULT SessionFrame(FrameObject& object, const FrameSite& site, ObjectLockStep lock_step,
                     Inner&& inner, TraceArguments arguments = {}) {
    TraceScope trace(site, arguments);
    InterfaceScope current(&object, site.iid);
    if (!SessionIsOpen(object)) {
        return ReportError(object.Errors(), kNotInitialized, kNotConnectedDetails);
    }
    FrameLocks& locks = object.Locks();
    const bool nested = locks.call_lock.IsHeldByCurrentThread();
    if (lock_step == ObjectLockStep::kAcquire) {
        locks.object_lock.Acquire();
    } else if (!nested) {
        locks.object_lock.WaitWhileOwnedByOtherThread();
    }
    CallLockScope call_lock(locks.call_lock);
    if (!nested && !SessionIsStillOpen(object)) {
        if (lock_step == ObjectLockStep::kAcquire) {
            locks.object_lock.Release();  // the failed LockObject takes no lock
        }
        return ReportError(object.Errors(), kNotInitialized, kNotConnectedDetails);
    }
    SetErrorInfo(0, nullptr);
    return RunInner(std::forward<Inner>(inner));
}

template <class Inner>
HRESULT PlainFrame(FrameObject& object, const FrameSite& site, Inner&& inner,
                   TraceArguments arguments = {}) {
    TraceScope trace(site, arguments);
    InterfaceScope current(&object, site.iid);
    CallLockScope call_lock(object.Locks().call_lock);
    SetErrorInfo(0, nullptr);
    return RunInner(std::forward<Inner>(inner));
}

}  // namespace tevo::driver
