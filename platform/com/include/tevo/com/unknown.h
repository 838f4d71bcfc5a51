// IUnknown and IClassFactory, the base of every COM interface, and the link between an
// interface type and its IID that the C++ helpers (ComPtr::As, IID_PPV_ARGS) use.
//
// An interface is an abstract struct with pure virtual methods in the Windows slot order,
// deriving from its base interface, with no data members and no virtual destructor: with
// single inheritance the Itanium C++ ABI lays virtual functions out in declaration order,
// so slot n of the vtable is the n-th method, as on Windows.
#pragma once

#include <type_traits>

#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

namespace tevo::com {
// InterfaceIid<I>::value is the IID of interface I. Declared (never defined) for types
// without one, so asking for the IID of a non-interface does not compile.
template <class Interface>
struct InterfaceIid;
}  // namespace tevo::com

// Associates an interface type with its IID. Use at global scope, after the interface.
#define TEVO_COM_INTERFACE_IID(Interface, iid)   \
    template <>                                  \
    struct tevo::com::InterfaceIid<Interface> {  \
        static constexpr const IID& value = iid; \
    }

// The IID and the void** out-parameter of QueryInterface-like calls, from a typed pointer
// to an interface pointer: QueryInterface(IID_PPV_ARGS(&dispatch)).
#define IID_PPV_ARGS(pp)                                                                           \
    ::tevo::com::InterfaceIid<                                                                     \
        std::remove_cv_t<std::remove_pointer_t<std::remove_reference_t<decltype(*(pp))>>>>::value, \
        reinterpret_cast<void**>(pp)

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};
using LPUNKNOWN = IUnknown*;
TEVO_COM_INTERFACE_IID(IUnknown, IID_IUnknown);

struct IClassFactory : public IUnknown {
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;
};
using LPCLASSFACTORY = IClassFactory*;
TEVO_COM_INTERFACE_IID(IClassFactory, IID_IClassFactory);
