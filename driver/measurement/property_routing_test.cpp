// Property gets and puts of both views reach the attribute engine: the same instrument
// setting through either view sends the same bytes (captured at the emulator's side), the
// active screen and marker of the one object apply to both views, the trace items' Size and
// Type address their own trace, and every property of every interface of the coclasses
// answers (none is left unimplemented).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "measurement/tree_test_support.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using Messages = std::vector<std::string>;

class PropertyRouting : public TreeSession {};

TEST_F(PropertyRouting, FrequencyStartThroughBothViewsSendsTheSameQuery) {
    Open();
    double start = -1.0;
    ASSERT_EQ(Get<ITevoFrequency>()->get_Start(&start), S_OK);
    EXPECT_EQ(Sent(), Messages{"SENS1:FREQ:STAR?"});
    double specan_start = -2.0;
    ASSERT_EQ(Get<IIviSpecAnFrequency>()->get_Start(&specan_start), S_OK);
    EXPECT_EQ(Sent(), Messages{"SENS1:FREQ:STAR?"});
    EXPECT_EQ(specan_start, start);
}

TEST_F(PropertyRouting, PutsThroughBothViewsSendTheSameCommand) {
    Open();
    ASSERT_EQ(Get<ITevoSweepCoupling>()->put_ResolutionBandwidth(30000.0), S_OK);
    EXPECT_EQ(Sent(), Messages{"SENS1:BAND 30000.000000"});
    ASSERT_EQ(Get<IIviSpecAnSweepCoupling>()->put_ResolutionBandwidth(30000.0), S_OK);
    EXPECT_EQ(Sent(), Messages{"SENS1:BAND 30000.000000"});
    ASSERT_EQ(Get<IIviSpecAnAcquisition>()->put_SweepModeContinuous(VARIANT_FALSE), S_OK);
    EXPECT_EQ(Sent(), Messages{"INIT1:CONT OFF"});
}

TEST_F(PropertyRouting, ActiveScreenOfTheInstrumentViewAppliesToTheClassView) {
    Open();
    ASSERT_EQ(Get<ITevoDisplay>()->put_ActiveScreen(TevoActiveScreenB), S_OK);
    EXPECT_EQ(Sent(), Messages{"DISP:WIND2:SEL"});
    double stop = 0.0;
    ASSERT_EQ(Get<IIviSpecAnFrequency>()->get_Stop(&stop), S_OK);
    EXPECT_EQ(Sent(), Messages{"SENS2:FREQ:STOP?"});
    TevoActiveScreenEnum screen = TevoActiveScreenA;
    ASSERT_EQ(Get<ITevoDisplay>()->get_ActiveScreen(&screen), S_OK);
    EXPECT_EQ(screen, TevoActiveScreenB);
}

TEST_F(PropertyRouting, ActiveMarkerOfOneViewIsTheOtherViews) {
    Open();
    ASSERT_EQ(Get<IIviSpecAnMarker>()->put_ActiveMarker(Bstr(L"3").Get()), S_OK);
    VARIANT_BOOL enabled = VARIANT_FALSE;
    ASSERT_EQ(Get<ITevoMarker>()->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC1:MARK3?"});
    Bstr marker;
    ASSERT_EQ(Get<ITevoMarker>()->get_ActiveMarker(&marker), S_OK);
    EXPECT_EQ(marker.ToWide(), L"3");
}

TEST_F(PropertyRouting, InvalidateAllAttributesOfAnOpenSessionSendsNothing) {
    Open();
    ASSERT_EQ(Get<IIviDriverOperation>()->InvalidateAllAttributes(), S_OK);
    EXPECT_EQ(Sent(), Messages{});
    // Values were never cached: the next get still asks the instrument.
    double start = 0.0;
    ASSERT_EQ(Get<ITevoFrequency>()->get_Start(&start), S_OK);
    EXPECT_EQ(Sent(), Messages{"SENS1:FREQ:STAR?"});
}

TEST_F(PropertyRouting, CloseAndInitializeRestoreScreenAAndMarkerOne) {
    Open();
    ASSERT_EQ(Get<ITevoDisplay>()->put_ActiveScreen(TevoActiveScreenB), S_OK);
    ASSERT_EQ(Get<ITevoMarker>()->put_ActiveMarker(Bstr(L"4").Get()), S_OK);
    EXPECT_EQ(Sent(), Messages{"DISP:WIND2:SEL"});
    ASSERT_EQ(driver_->Close(), S_OK);
    ASSERT_EQ(driver_->Initialize(emulator_.Resource().Get(), VARIANT_FALSE, VARIANT_FALSE,
                                  Bstr(L"Simulate=false").Get()),
              S_OK);
    emulator_->ClearReceivedMessages();
    double start = 0.0;
    ASSERT_EQ(Get<ITevoFrequency>()->get_Start(&start), S_OK);
    VARIANT_BOOL enabled = VARIANT_FALSE;
    ASSERT_EQ(Get<IIviSpecAnMarker>()->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(Sent(), (Messages{"SENS1:FREQ:STAR?", "CALC1:MARK1?"}));
    Bstr marker;
    ASSERT_EQ(Get<ITevoMarker>()->get_ActiveMarker(&marker), S_OK);
    EXPECT_EQ(marker.ToWide(), L"1");
}

TEST_F(PropertyRouting, TraceItemsAddressTheirOwnTrace) {
    Open();
    ComPtr<ITevoTrace> trace5;
    ASSERT_EQ(Get<ITevoTraces>()->get_Item(Bstr(L"Trace5").Get(), &trace5), S_OK);
    ComPtr<IIviSpecAnTrace> specan2;
    ASSERT_EQ(Get<IIviSpecAnTraces>()->get_Item(Bstr(L"SpecAnTrace2").Get(), &specan2), S_OK);
    LONG size = 0;
    ASSERT_EQ(trace5->get_Size(&size), S_OK);
    ASSERT_EQ(specan2->get_Size(&size), S_OK);
    TevoTraceTypeEnum type = TevoTraceTypeEnum{};
    ASSERT_EQ(trace5->get_Type(&type), S_OK);
    IviSpecAnTraceTypeEnum specan_type = IviSpecAnTraceTypeEnum{};
    ASSERT_EQ(specan2->get_Type(&specan_type), S_OK);
    EXPECT_EQ(Sent(), (Messages{"SENS:SWE:POIN?", "SENS:SWE:POIN?", "DISP:WIND1:TRAC5:MODE?",
                                "DISP:WIND1:TRAC2:MODE?"}));
    ASSERT_EQ(trace5->put_Type(type), S_OK);
    ASSERT_EQ(Sent().size(), 1u);
    ASSERT_EQ(Get<ITevoDisplay>()->put_ActiveScreen(TevoActiveScreenB), S_OK);
    EXPECT_EQ(Sent(), Messages{"DISP:WIND2:SEL"});
    ASSERT_EQ(specan2->get_Type(&specan_type), S_OK);
    EXPECT_EQ(Sent(), Messages{"DISP:WIND2:TRAC2:MODE?"});
}

TEST_F(PropertyRouting, SimulatedPropertiesSendNothing) {
    Open(L"Simulate=true");
    double start = -1.0;
    ASSERT_EQ(Get<IIviSpecAnFrequency>()->get_Start(&start), S_OK);
    ASSERT_EQ(Get<ITevoFrequency>()->put_Start(5.0), S_OK);
    EXPECT_TRUE(emulator_->ReceivedMessages().empty());
}

// ---- Every property of every interface, walked from the type library.

// Calls the vtable slot of a property accessor with one parameter. `value` is the put value
// or receives the get value; the type library's parameter type says how it travels.
HRESULT CallAccessor(IUnknown* object, const FUNCDESC& function, VARTYPE type, void* out) {
    void** vtable = *reinterpret_cast<void***>(object);
    void* slot = vtable[function.oVft / static_cast<SHORT>(sizeof(void*))];
    if (function.invkind == INVOKE_PROPERTYGET) {
        return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(IUnknown*, void*)>(slot)(object, out);
    }
    switch (type) {
        case VT_R8:
            return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(IUnknown*, double)>(slot)(object,
                                                                                          10.0);
        case VT_BSTR: {
            Bstr text(L"1");
            return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR)>(slot)(object,
                                                                                        text.Get());
        }
        case VT_BOOL:
            return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(IUnknown*, VARIANT_BOOL)>(slot)(
                object, VARIANT_TRUE);
        default:  // long and enumerations
            return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(IUnknown*, LONG)>(slot)(object, 0);
    }
}

// Releases what a get handed out: a text or an interface.
void ReleaseGot(VARTYPE pointee, const TYPEDESC& desc, void* got) {
    if (pointee == VT_BSTR) {
        SysFreeString(*static_cast<BSTR*>(got));
    } else if (pointee == VT_PTR && desc.lptdesc->lptdesc != nullptr) {
        if (auto* unknown = *static_cast<IUnknown**>(got)) {
            unknown->Release();
        }
    }
}

struct Accessors {
    size_t gets = 0;
    size_t puts = 0;
};

// Calls every one-parameter property get and put of `info`'s interface on `object`.
Accessors CallEveryAccessor(ITypeInfo* info, IUnknown* object, const std::string& name) {
    Accessors called;
    TYPEATTR* attributes = nullptr;
    EXPECT_EQ(info->GetTypeAttr(&attributes), S_OK);
    if (attributes == nullptr) {
        return called;
    }
    const WORD functions = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    for (UINT index = 0; index < functions; ++index) {
        FUNCDESC* function = nullptr;
        EXPECT_EQ(info->GetFuncDesc(index, &function), S_OK);
        if (function == nullptr) {
            continue;
        }
        const bool accessor =
            function->invkind == INVOKE_PROPERTYGET || function->invkind == INVOKE_PROPERTYPUT;
        if (accessor && function->cParams == 1) {
            Bstr member;
            UINT found = 0;
            info->GetNames(function->memid, &member, 1, &found);
            const TYPEDESC& desc = function->lprgelemdescParam[0].tdesc;
            const bool get = function->invkind == INVOKE_PROPERTYGET;
            const VARTYPE type = get ? desc.lptdesc->vt : desc.vt;
            alignas(8) unsigned char got[16] = {};
            const HRESULT hr = CallAccessor(object, *function, type, got);
            EXPECT_NE(hr, E_NOTIMPL) << name << "." << (get ? "get_" : "put_") << member.ToUtf8();
            if (get) {
                EXPECT_EQ(hr, S_OK) << name << ".get_" << member.ToUtf8();
                if (SUCCEEDED(hr)) {
                    ReleaseGot(type, desc, got);
                }
                ++called.gets;
            } else {
                ++called.puts;
            }
            TakeThreadError();
        }
        info->ReleaseFuncDesc(function);
    }
    return called;
}

TEST_F(PropertyRouting, EveryPropertyOfTheCoclassesAnswersInSimulation) {
    Open(L"Simulate=true");
    Accessors total;
    for (const ListedInterface& listed : CoclassInterfaces(CLSID_Tevo)) {
        // The inherent IVI interfaces and the tracing runtime's have tests of their own.
        if (listed.name.rfind("ITevo", 0) != 0 && listed.name.rfind("IIviSpecAn", 0) != 0) {
            continue;
        }
        ComPtr<IUnknown> object;
        ASSERT_EQ(driver_->QueryInterface(listed.iid, reinterpret_cast<void**>(&object)), S_OK)
            << listed.name;
        const Accessors called = CallEveryAccessor(listed.info.Get(), object.Get(), listed.name);
        total.gets += called.gets;
        total.puts += called.puts;
    }
    ComPtr<ITevoTrace> trace;
    ASSERT_EQ(Get<ITevoTraces>()->get_Item(Bstr(L"Trace1").Get(), &trace), S_OK);
    ComPtr<IIviSpecAnTrace> specan_trace;
    ASSERT_EQ(Get<IIviSpecAnTraces>()->get_Item(Bstr(L"SpecAnTrace1").Get(), &specan_trace), S_OK);
    for (const auto& [clsid, item] :
         {std::pair<const CLSID*, IUnknown*>{&CLSID_TevoTrace, trace.Get()},
          std::pair<const CLSID*, IUnknown*>{&CLSID_TevoSpecAnTrace, specan_trace.Get()}}) {
        for (const ListedInterface& listed : CoclassInterfaces(*clsid)) {
            ComPtr<IUnknown> object;
            ASSERT_EQ(item->QueryInterface(listed.iid, reinterpret_cast<void**>(&object)), S_OK)
                << listed.name;
            const Accessors called =
                CallEveryAccessor(listed.info.Get(), object.Get(), listed.name);
            total.gets += called.gets;
            total.puts += called.puts;
        }
    }
    // Every accessor the type libraries list was called: the walk cannot pass by finding none.
    EXPECT_EQ(total.gets, 141u);
    EXPECT_EQ(total.puts, 91u);
    EXPECT_TRUE(emulator_->ReceivedMessages().empty());
}

}  // namespace
}  // namespace tevo::driver
