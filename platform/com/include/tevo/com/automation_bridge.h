// The automation bridge: the platform component that gives an object whose interfaces are
// custom (IUnknown-based, oleautomation) interfaces an IDispatch, driven by the type
// information the object publishes. An in-process server (libtevobridge.so) registered in
// every new system root.
//
// An object that wants to answer QueryInterface for IDispatch through the bridge creates
// the bridge with itself as the outer unknown, asks it for IAutomationBridge and calls
// QueryDispatch with the requested identifier and its caller's out-pointer:
//
//   ComPtr<IUnknown> inner;
//   hr = CoCreateInstance(CLSID_AutomationBridge, identity, CLSCTX_SERVER, IID_IUnknown,
//                         reinterpret_cast<void**>(&inner));
//   ComPtr<IAutomationBridge> bridge;  // its IUnknown methods are the object's
//   hr = inner->QueryInterface(IID_IAutomationBridge, reinterpret_cast<void**>(&bridge));
//   hr = bridge->QueryDispatch(riid, ppv);
//
// The outer unknown only tells the bridge which object it serves: the IDispatch it hands
// out is a tear-off of that object (its QueryInterface for anything but IDispatch is the
// object's, so IUnknown gives the object's identity), with a reference count of its own
// and one reference on the object. The bridge itself can be released at once.
//
// The IDispatch serves the object's default interface, found through IProvideClassInfo
// (the [default] interface of its coclass). Names are looked up and calls made through that
// interface's ITypeInfo (GetIDsOfNames, Invoke). A member that returns an interface pointer
// of a described interface gives an IDispatch for that interface in the same way (VT_DISPATCH),
// so a late-bound client walks a whole object tree by name.
#pragma once

#include "tevo/com/dispatch.h"
#include "tevo/com/unknown.h"

// {1055A151-9F29-4F6F-A030-47E28D853174}
inline constexpr CLSID CLSID_AutomationBridge = {
    0x1055A151, 0x9F29, 0x4F6F, {0xA0, 0x30, 0x47, 0xE2, 0x8D, 0x85, 0x31, 0x74}};

// {27E7800A-C252-4BBF-86C6-6BA7F5E3E2DA}
inline constexpr IID IID_IAutomationBridge = {
    0x27E7800A, 0xC252, 0x4BBF, {0x86, 0xC6, 0x6B, 0xA7, 0xF5, 0xE3, 0xE2, 0xDA}};

struct IAutomationBridge : public IUnknown {
    // Answers a QueryInterface of the outer object for IDispatch: with riid IID_IDispatch, a
    // new IDispatch over the outer object's default interface in *ppv. E_POINTER for a null
    // ppv; otherwise *ppv is set to null first; E_NOINTERFACE for another riid or an object
    // without class information; E_UNEXPECTED for a bridge created without an outer object.
    virtual HRESULT QueryDispatch(REFIID riid, void** ppv) = 0;
};
TEVO_COM_INTERFACE_IID(IAutomationBridge, IID_IAutomationBridge);
