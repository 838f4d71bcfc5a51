// The automation bridge as a COM class of the system root: created aggregated by the object
// it serves, it holds no reference on that object and answers only IDispatch, and only for
// an object that says which coclass it is. (The driver's tests walk a whole object tree
// through it.)
#include <gtest/gtest.h>

#include "../testing/counted_object.h"
#include "tevo/com/activation.h"
#include "tevo/com/automation_bridge.h"
#include "tevo/com/com_ptr.h"

namespace {

using tevo::com::ComPtr;
using tevo::com::testing::CountedObject;

TEST(AutomationBridge, IsCreatedAggregatedAndHoldsNoReferenceOnItsOuterObject) {
    int destroyed = 0;
    auto* outer = new CountedObject(&destroyed);
    ComPtr<IUnknown> inner;
    ASSERT_EQ(CoCreateInstance(CLSID_AutomationBridge, outer, CLSCTX_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&inner)),
              S_OK);
    EXPECT_EQ(outer->AddRef(), 2u);  // the bridge took none
    outer->Release();

    // The bridge interface's IUnknown is the outer object's.
    ComPtr<IAutomationBridge> bridge;
    ASSERT_EQ(inner->QueryInterface(IID_IAutomationBridge, reinterpret_cast<void**>(&bridge)),
              S_OK);
    EXPECT_EQ(outer->AddRef(), 3u);
    outer->Release();
    ComPtr<IUnknown> identity;
    ASSERT_EQ(bridge->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(outer));
    identity.Reset();

    // An object without class information gets no IDispatch; other identifiers are refused.
    void* dispatch = outer;
    EXPECT_EQ(bridge->QueryDispatch(IID_IDispatch, &dispatch), E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr);
    dispatch = outer;
    EXPECT_EQ(bridge->QueryDispatch(IID_IUnknown, &dispatch), E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr);
    EXPECT_EQ(bridge->QueryDispatch(IID_IDispatch, nullptr), E_POINTER);

    bridge.Reset();
    inner.Reset();
    EXPECT_EQ(destroyed, 0);
    outer->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(AutomationBridge, WithoutAnOuterObjectItServesNothing) {
    ComPtr<IAutomationBridge> bridge;
    ASSERT_EQ(CoCreateInstance(CLSID_AutomationBridge, nullptr, CLSCTX_SERVER,
                               IID_IAutomationBridge, reinterpret_cast<void**>(&bridge)),
              S_OK);
    void* dispatch = nullptr;
    EXPECT_EQ(bridge->QueryDispatch(IID_IDispatch, &dispatch), E_UNEXPECTED);
    EXPECT_EQ(dispatch, nullptr);
}

TEST(AutomationBridge, AggregationAsksForIUnknownOnly) {
    ComPtr<IUnknown> outer;
    outer.Attach(new CountedObject);
    ComPtr<IAutomationBridge> bridge;
    EXPECT_EQ(CoCreateInstance(CLSID_AutomationBridge, outer.Get(), CLSCTX_SERVER, IID_IAutomationBridge,
                               reinterpret_cast<void**>(&bridge)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(bridge.Get(), nullptr);
}

}  // namespace
