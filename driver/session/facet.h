// Facet<Owner, Interface>: one interface of a driver object. The object derives from one
// facet per interface it exposes; a facet's IUnknown methods go to the object, and each of
// its interface methods is one line that names its frame kind, method and the object's
// inner implementation:
//
//   HRESULT get_Cache(VARIANT_BOOL* pVal) override {
//       return Session("get_Cache", &Owner::OperationGetCache, pVal);
//   }
//
// The arguments given after the inner implementation are also the call's trace arguments:
// they begin with the interface method's own arguments, in order (further arguments that
// only the inner implementation needs may follow).
//
// The frame carries the interface's name and IID; an interface whose methods sit in the
// vtable of a derived one (IIviDriver in ITevo) names its own interface explicitly:
// this->template Session<IIviDriver>(...).
#pragma once

#include <array>
#include <type_traits>

#include "session/call_frame.h"
#include "session/interface_names.h"

namespace tevo::driver {

template <class Owner, class Interface>
class Facet : public Interface {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        return Self().ObjectQueryInterface(riid, ppvObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Self().ObjectAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return Self().ObjectRelease(); }

  protected:
    Owner& Self() { return static_cast<Owner&>(*this); }

    template <class Site = Interface>
    static FrameSite SiteOf(const char* method) {
        static_assert(kInterfaceName<Site> != nullptr, "interface without a frame name");
        return FrameSite{kInterfaceName<Site>, method, tevo::com::InterfaceIid<Site>::value};
    }

    template <class Site = Interface, class Inner, class... Args>
    HRESULT Session(const char* method, Inner inner, Args... args) {
        const FrameSite site = SiteOf<Site>(method);
        const std::array<TraceArgument, sizeof...(Args)> traced{TraceArgumentOf(args)...};
        return SessionFrame(
            Self(), site, ObjectLockStep::kWait, [&] { return (Self().*inner)(args...); }, traced);
    }

    template <class Site = Interface, class Inner, class... Args>
    HRESULT SessionTakingObjectLock(const char* method, Inner inner, Args... args) {
        const FrameSite site = SiteOf<Site>(method);
        const std::array<TraceArgument, sizeof...(Args)> traced{TraceArgumentOf(args)...};
        return SessionFrame(
            Self(), site, ObjectLockStep::kAcquire, [&] { return (Self().*inner)(args...); },
            traced);
    }

    template <class Site = Interface, class Inner, class... Args>
    HRESULT Plain(const char* method, Inner inner, Args... args) {
        const FrameSite site = SiteOf<Site>(method);
        const std::array<TraceArgument, sizeof...(Args)> traced{TraceArgumentOf(args)...};
        return PlainFrame(
            Self(), site, [&] { return (Self().*inner)(args...); }, traced);
    }

    // Methods without a frame (ITraceSwitch, IMessageProvider).
    template <class Inner, class... Args>
    HRESULT Unframed(Inner inner, Args... args) {
        return RunInner([&] { return (Self().*inner)(args...); });
    }
};

}  // namespace tevo::driver
