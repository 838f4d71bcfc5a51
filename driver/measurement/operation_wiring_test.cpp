// The operation methods of both interface trees reach the measurement operations: every
// operation the type library lists for the coclasses answers in simulation without touching
// the instrument, and against the emulator the methods of either view send exactly the
// operations' bytes, the trace items read their own trace number, and a calibration's answer
// never becomes the reply of a property.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "measurement/tree_test_support.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using Messages = std::vector<std::string>;

// ---- Owned out-parameters of the calls.

struct OwnedArray {
    SAFEARRAY* array = nullptr;
    OwnedArray() = default;
    explicit OwnedArray(ULONG count) : array(SafeArrayCreateVector(VT_R8, 0, count)) {}
    OwnedArray(const OwnedArray&) = delete;
    OwnedArray& operator=(const OwnedArray&) = delete;
    ~OwnedArray() {
        if (array != nullptr) {
            SafeArrayDestroy(array);
        }
    }
};

std::vector<double> Elements(SAFEARRAY* array) {
    if (array == nullptr) {
        return {};
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    std::vector<double> values(static_cast<size_t>(upper - lower + 1));
    double* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        std::copy(data, data + values.size(), values.begin());
        SafeArrayUnaccessData(array);
    }
    return values;
}

// ---- Every operation of the coclasses, walked from the type library.

// How one operation is called with valid arguments; `object` is the listed interface.
using OperationCall = std::function<HRESULT(IUnknown* object)>;

template <class Interface>
OperationCall On(std::function<HRESULT(Interface*)> call) {
    return [call](IUnknown* object) { return call(static_cast<Interface*>(object)); };
}

HRESULT WithText(const std::function<HRESULT(BSTR*)>& call) {
    Bstr text;
    return call(&text);
}

HRESULT WithTwoValues(const std::function<HRESULT(double*, double*)>& call) {
    double first = 0.0;
    double second = 0.0;
    return call(&first, &second);
}

template <class Item>
HRESULT WithItem(const std::function<HRESULT(Item**)>& call) {
    ComPtr<Item> item;
    return call(&item);
}

HRESULT WithArray(const std::function<HRESULT(SAFEARRAY**)>& call) {
    OwnedArray array;
    return call(&array.array);
}

// The operations (and the properties with an index, which are lookups) of the coclasses'
// interfaces, by "Interface.Member".
std::map<std::string, OperationCall> OperationCalls() {
    std::map<std::string, OperationCall> calls;
    // Class-compliant tree.
    calls["IIviSpecAnFrequency.ConfigureCenterSpan"] =
        On<IIviSpecAnFrequency>([](auto* i) { return i->ConfigureCenterSpan(1.0e9, 2.0e6); });
    calls["IIviSpecAnFrequency.ConfigureStartStop"] =
        On<IIviSpecAnFrequency>([](auto* i) { return i->ConfigureStartStop(1.0e6, 2.0e9); });
    calls["IIviSpecAnSweepCoupling.Configure"] = On<IIviSpecAnSweepCoupling>([](auto* i) {
        return i->Configure(VARIANT_TRUE, 3.0e4, VARIANT_TRUE, 3.0e4, VARIANT_TRUE, 0.1);
    });
    calls["IIviSpecAnLevel.Configure"] = On<IIviSpecAnLevel>([](auto* i) {
        return i->Configure(IviSpecAnAmplitudeUnitsDBM, 50.0, -10.0, 0.0, VARIANT_TRUE, 10.0);
    });
    calls["IIviSpecAnAcquisition.Configure"] = On<IIviSpecAnAcquisition>([](auto* i) {
        return i->Configure(VARIANT_TRUE, 1, VARIANT_TRUE, IviSpecAnDetectorTypeAutoPeak,
                            IviSpecAnVerticalScaleLogarithmic);
    });
    calls["IIviSpecAnExternalMixer.Configure"] =
        On<IIviSpecAnExternalMixer>([](auto* i) { return i->Configure(1, 0.0); });
    calls["IIviSpecAnExternalMixerBias.Configure"] =
        On<IIviSpecAnExternalMixerBias>([](auto* i) { return i->Configure(0.0, 0.0); });
    calls["IIviSpecAnExternalMixerConversionLossTable.Configure"] =
        On<IIviSpecAnExternalMixerConversionLossTable>([](auto* i) {
            OwnedArray frequency(2);
            OwnedArray loss(2);
            return i->Configure(&frequency.array, &loss.array);
        });
    calls["IIviSpecAnMarker.ConfigureEnabled"] = On<IIviSpecAnMarker>(
        [](auto* i) { return i->ConfigureEnabled(VARIANT_TRUE, Bstr(L"TRACE1").Get()); });
    calls["IIviSpecAnMarker.ConfigureSearch"] =
        On<IIviSpecAnMarker>([](auto* i) { return i->ConfigureSearch(10.0, -80.0); });
    calls["IIviSpecAnMarker.DisableAll"] =
        On<IIviSpecAnMarker>([](auto* i) { return i->DisableAll(); });
    calls["IIviSpecAnMarker.MakeDelta"] =
        On<IIviSpecAnMarker>([](auto* i) { return i->MakeDelta(VARIANT_TRUE); });
    calls["IIviSpecAnMarker.Search"] =
        On<IIviSpecAnMarker>([](auto* i) { return i->Search(IviSpecAnMarkerSearchHighest); });
    calls["IIviSpecAnMarker.Name"] = On<IIviSpecAnMarker>(
        [](auto* i) { return WithText([i](BSTR* name) { return i->get_Name(1, name); }); });
    calls["IIviSpecAnMarker.Query"] = On<IIviSpecAnMarker>([](auto* i) {
        return WithTwoValues([i](double* x, double* y) { return i->Query(x, y); });
    });
    calls["IIviSpecAnMarker.QueryReference"] = On<IIviSpecAnMarker>([](auto* i) {
        return WithTwoValues([i](double* x, double* y) { return i->QueryReference(x, y); });
    });
    calls["IIviSpecAnMarker.SetInstrumentFromMarker"] = On<IIviSpecAnMarker>([](auto* i) {
        return i->SetInstrumentFromMarker(IviSpecAnInstrumentSettingFrequencyCenter);
    });
    calls["IIviSpecAnMarkerFrequencyCounter.Configure"] = On<IIviSpecAnMarkerFrequencyCounter>(
        [](auto* i) { return i->Configure(VARIANT_TRUE, 10.0); });
    calls["IIviSpecAnTraces.Abort"] = On<IIviSpecAnTraces>([](auto* i) { return i->Abort(); });
    calls["IIviSpecAnTraces.Initiate"] =
        On<IIviSpecAnTraces>([](auto* i) { return i->Initiate(); });
    calls["IIviSpecAnTraces.AcquisitionStatus"] = On<IIviSpecAnTraces>([](auto* i) {
        IviSpecAnAcquisitionStatusEnum status = IviSpecAnAcquisitionStatusEnum{};
        return i->AcquisitionStatus(&status);
    });
    calls["IIviSpecAnTraces.SendSoftwareTrigger"] =
        On<IIviSpecAnTraces>([](auto* i) { return i->SendSoftwareTrigger(); });
    calls["IIviSpecAnTraces.Item"] = On<IIviSpecAnTraces>([](auto* i) {
        return WithItem<IIviSpecAnTrace>(
            [i](IIviSpecAnTrace** item) { return i->get_Item(Bstr(L"SpecAnTrace1").Get(), item); });
    });
    calls["IIviSpecAnTraces.Name"] = On<IIviSpecAnTraces>(
        [](auto* i) { return WithText([i](BSTR* name) { return i->get_Name(0, name); }); });
    calls["IIviSpecAnTracesMath.Add"] = On<IIviSpecAnTracesMath>([](auto* i) {
        return i->Add(Bstr(L"TRACE3").Get(), Bstr(L"TRACE1").Get(), Bstr(L"TRACE2").Get());
    });
    calls["IIviSpecAnTracesMath.Subtract"] = On<IIviSpecAnTracesMath>([](auto* i) {
        return i->Subtract(Bstr(L"TRACE3").Get(), Bstr(L"TRACE1").Get(), Bstr(L"TRACE2").Get());
    });
    calls["IIviSpecAnTracesMath.Copy"] = On<IIviSpecAnTracesMath>(
        [](auto* i) { return i->Copy(Bstr(L"TRACE2").Get(), Bstr(L"TRACE1").Get()); });
    calls["IIviSpecAnTracesMath.Exchange"] = On<IIviSpecAnTracesMath>(
        [](auto* i) { return i->Exchange(Bstr(L"TRACE1").Get(), Bstr(L"TRACE2").Get()); });
    calls["IIviSpecAnTriggerExternal.Configure"] = On<IIviSpecAnTriggerExternal>(
        [](auto* i) { return i->Configure(1.0, IviSpecAnExternalTriggerSlopePositive); });
    calls["IIviSpecAnTriggerVideo.Configure"] = On<IIviSpecAnTriggerVideo>(
        [](auto* i) { return i->Configure(-20.0, IviSpecAnVideoTriggerSlopePositive); });
    calls["IIviSpecAnPreselector.Peak"] =
        On<IIviSpecAnPreselector>([](auto* i) { return i->Peak(); });
    calls["IIviSpecAnTrace.FetchY"] = On<IIviSpecAnTrace>(
        [](auto* i) { return WithArray([i](SAFEARRAY** a) { return i->FetchY(a); }); });
    calls["IIviSpecAnTrace.ReadY"] = On<IIviSpecAnTrace>(
        [](auto* i) { return WithArray([i](SAFEARRAY** a) { return i->ReadY(1000, a); }); });

    // Instrument-specific tree.
    calls["ITevoFrequency.ConfigureCenterSpan"] =
        On<ITevoFrequency>([](auto* i) { return i->ConfigureCenterSpan(1.0e9, 2.0e6); });
    calls["ITevoFrequency.ConfigureStartStop"] =
        On<ITevoFrequency>([](auto* i) { return i->ConfigureStartStop(1.0e6, 2.0e9); });
    calls["ITevoSweepCoupling.Configure"] = On<ITevoSweepCoupling>([](auto* i) {
        return i->Configure(VARIANT_TRUE, 3.0e4, VARIANT_TRUE, 3.0e4, VARIANT_TRUE, 0.1);
    });
    calls["ITevoLevel.Configure"] = On<ITevoLevel>([](auto* i) {
        return i->Configure(TevoAmplitudeUnitsDBM, 50.0, -10.0, 0.0, VARIANT_TRUE, 10.0, 0.0, 0.0,
                            VARIANT_FALSE, VARIANT_FALSE);
    });
    calls["ITevoAcquisition.Configure"] = On<ITevoAcquisition>([](auto* i) {
        return i->Configure(VARIANT_TRUE, 1, VARIANT_TRUE, TevoDetectorTypeAutoPeak,
                            TevoVerticalScaleLogarithmic);
    });
    calls["ITevoInstrumentIO.Write"] =
        On<ITevoInstrumentIO>([](auto* i) { return i->Write(Bstr(L"*CLS").Get()); });
    calls["ITevoInstrumentIO.Query"] = On<ITevoInstrumentIO>([](auto* i) {
        return WithText([i](BSTR* reply) { return i->Query(Bstr(L"*IDN?").Get(), reply); });
    });
    calls["ITevoInstrumentIO.Read"] = On<ITevoInstrumentIO>([](auto* i) {
        BYTE buffer[8] = {};
        return i->Read(static_cast<LONG>(sizeof buffer), buffer);
    });
    calls["ITevoList.Configure"] = On<ITevoList>([](auto* i) {
        OwnedArray a(1), b(1), c(1), d(1), e(1), f(1), g(1), h(1), k(1);
        return i->Configure(a.array, b.array, c.array, d.array, e.array, f.array, g.array, h.array,
                            k.array);
    });
    calls["ITevoMarker.ConfigureEnabled"] = On<ITevoMarker>(
        [](auto* i) { return i->ConfigureEnabled(VARIANT_TRUE, Bstr(L"TRACE1").Get()); });
    calls["ITevoMarker.ConfigureSearch"] =
        On<ITevoMarker>([](auto* i) { return i->ConfigureSearch(10.0, -80.0); });
    calls["ITevoMarker.DisableAll"] = On<ITevoMarker>([](auto* i) { return i->DisableAll(); });
    calls["ITevoMarker.MakeDelta"] =
        On<ITevoMarker>([](auto* i) { return i->MakeDelta(VARIANT_TRUE); });
    calls["ITevoMarker.Search"] =
        On<ITevoMarker>([](auto* i) { return i->Search(TevoMarkerSearchHighest); });
    calls["ITevoMarker.Name"] = On<ITevoMarker>(
        [](auto* i) { return WithText([i](BSTR* name) { return i->get_Name(1, name); }); });
    calls["ITevoMarker.Query"] = On<ITevoMarker>([](auto* i) {
        return WithTwoValues([i](double* x, double* y) { return i->Query(x, y); });
    });
    calls["ITevoMarker.QueryReference"] = On<ITevoMarker>([](auto* i) {
        return WithTwoValues([i](double* x, double* y) { return i->QueryReference(x, y); });
    });
    calls["ITevoMarker.SetInstrumentFromMarker"] = On<ITevoMarker>(
        [](auto* i) { return i->SetInstrumentFromMarker(TevoInstrumentSettingFrequencyCenter); });
    calls["ITevoMarkerFrequencyCounter.Configure"] =
        On<ITevoMarkerFrequencyCounter>([](auto* i) { return i->Configure(VARIANT_TRUE, 10.0); });
    calls["ITevoService.ServiceFunction"] =
        On<ITevoService>([](auto* i) { return i->ServiceFunction(Bstr(L"'2.0.2.1'").Get()); });
    calls["ITevoCalibration.Initiate"] =
        On<ITevoCalibration>([](auto* i) { return i->Initiate(); });
    calls["ITevoCalibration.GetResults"] = On<ITevoCalibration>(
        [](auto* i) { return WithText([i](BSTR* results) { return i->GetResults(results); }); });
    calls["ITevoTraces.Abort"] = On<ITevoTraces>([](auto* i) { return i->Abort(); });
    calls["ITevoTraces.Initiate"] = On<ITevoTraces>([](auto* i) { return i->Initiate(); });
    calls["ITevoTraces.AcquisitionStatus"] = On<ITevoTraces>([](auto* i) {
        TevoAcquisitionStatusEnum status = TevoAcquisitionStatusEnum{};
        return i->AcquisitionStatus(&status);
    });
    calls["ITevoTraces.SendSoftwareTrigger"] =
        On<ITevoTraces>([](auto* i) { return i->SendSoftwareTrigger(); });
    calls["ITevoTraces.Item"] = On<ITevoTraces>([](auto* i) {
        return WithItem<ITevoTrace>(
            [i](ITevoTrace** item) { return i->get_Item(Bstr(L"Trace1").Get(), item); });
    });
    calls["ITevoTraces.Name"] = On<ITevoTraces>(
        [](auto* i) { return WithText([i](BSTR* name) { return i->get_Name(0, name); }); });
    calls["ITevoTracesMath.Add"] = On<ITevoTracesMath>([](auto* i) {
        return i->Add(Bstr(L"TRACE3").Get(), Bstr(L"TRACE1").Get(), Bstr(L"TRACE2").Get());
    });
    calls["ITevoTracesMath.Subtract"] = On<ITevoTracesMath>([](auto* i) {
        return i->Subtract(Bstr(L"TRACE3").Get(), Bstr(L"TRACE1").Get(), Bstr(L"TRACE2").Get());
    });
    calls["ITevoTracesMath.Copy"] = On<ITevoTracesMath>(
        [](auto* i) { return i->Copy(Bstr(L"TRACE2").Get(), Bstr(L"TRACE1").Get()); });
    calls["ITevoTracesMath.Exchange"] = On<ITevoTracesMath>(
        [](auto* i) { return i->Exchange(Bstr(L"TRACE1").Get(), Bstr(L"TRACE2").Get()); });
    calls["ITevoTriggerVideo.Configure"] = On<ITevoTriggerVideo>(
        [](auto* i) { return i->Configure(-20.0, TevoVideoTriggerSlopePositive); });
    calls["ITevoTrace.FetchY"] = On<ITevoTrace>(
        [](auto* i) { return WithArray([i](SAFEARRAY** a) { return i->FetchY(a); }); });
    calls["ITevoTrace.ReadY"] = On<ITevoTrace>(
        [](auto* i) { return WithArray([i](SAFEARRAY** a) { return i->ReadY(1000, a); }); });
    return calls;
}

// Whether a member of the type library is an operation: a method, or a property with an
// index (a get or put with more than its value parameter).
bool IsOperation(const FUNCDESC& function) {
    if (function.invkind == INVOKE_FUNC) {
        return true;
    }
    const bool accessor =
        function.invkind == INVOKE_PROPERTYGET || function.invkind == INVOKE_PROPERTYPUT;
    return accessor && function.cParams > 1;
}

// The operation members of the interface `info`, as "Interface.Member".
std::vector<std::string> OperationsOf(ITypeInfo* info, const std::string& interface_name) {
    std::vector<std::string> found;
    TYPEATTR* attributes = nullptr;
    EXPECT_EQ(info->GetTypeAttr(&attributes), S_OK);
    if (attributes == nullptr) {
        return found;
    }
    const WORD functions = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    for (UINT index = 0; index < functions; ++index) {
        FUNCDESC* function = nullptr;
        EXPECT_EQ(info->GetFuncDesc(index, &function), S_OK);
        if (function == nullptr) {
            continue;
        }
        if (IsOperation(*function)) {
            Bstr member;
            UINT names = 0;
            EXPECT_EQ(info->GetNames(function->memid, &member, 1, &names), S_OK);
            found.push_back(interface_name + "." + member.ToUtf8());
        }
        info->ReleaseFuncDesc(function);
    }
    return found;
}

class OperationWiring : public TreeSession {
  protected:
    // Calls every operation of the interfaces `object`'s coclass lists; returns the names
    // called. Each must have a known way to call it and must not be unimplemented.
    std::set<std::string> CallEveryOperation(REFCLSID clsid, IUnknown* object,
                                             const std::map<std::string, OperationCall>& calls) {
        std::set<std::string> called;
        for (const ListedInterface& listed : CoclassInterfaces(clsid)) {
            // The inherent IVI interfaces and the tracing runtime's have tests of their own.
            if (listed.name.rfind("ITevo", 0) != 0 && listed.name.rfind("IIviSpecAn", 0) != 0) {
                continue;
            }
            ComPtr<IUnknown> view;
            EXPECT_EQ(object->QueryInterface(listed.iid, reinterpret_cast<void**>(&view)), S_OK)
                << listed.name;
            if (!view) {
                continue;
            }
            for (const std::string& operation : OperationsOf(listed.info.Get(), listed.name)) {
                const auto call = calls.find(operation);
                if (call == calls.end()) {
                    ADD_FAILURE() << "no call known for " << operation;
                    continue;
                }
                const HRESULT hr = call->second(view.Get());
                EXPECT_NE(hr, E_NOTIMPL) << operation;
                EXPECT_TRUE(SUCCEEDED(hr)) << operation << " failed: 0x" << std::hex << hr;
                TakeThreadError();
                called.insert(operation);
            }
        }
        return called;
    }
};

TEST_F(OperationWiring, EveryOperationOfTheCoclassesAnswersInSimulationAndSendsNothing) {
    Open(L"Simulate=true");
    const std::map<std::string, OperationCall> calls = OperationCalls();
    std::set<std::string> called = CallEveryOperation(CLSID_Tevo, driver_.Get(), calls);
    ComPtr<ITevoTrace> trace;
    ASSERT_EQ(Get<ITevoTraces>()->get_Item(Bstr(L"Trace2").Get(), &trace), S_OK);
    ComPtr<IIviSpecAnTrace> specan_trace;
    ASSERT_EQ(Get<IIviSpecAnTraces>()->get_Item(Bstr(L"SpecAnTrace2").Get(), &specan_trace), S_OK);
    called.merge(CallEveryOperation(CLSID_TevoTrace, trace.Get(), calls));
    called.merge(CallEveryOperation(CLSID_TevoSpecAnTrace, specan_trace.Get(), calls));
    // The walk found every operation this test knows how to call: it cannot pass by finding
    // none, and no known operation has vanished from the type library.
    for (const auto& [operation, call] : calls) {
        EXPECT_EQ(called.count(operation), 1u) << operation << " not listed by the coclasses";
    }
    EXPECT_EQ(called.size(), calls.size());
    EXPECT_TRUE(emulator_->ReceivedMessages().empty());
}

TEST_F(OperationWiring, SimulatedTraceItemsReturnOneHundredZeros) {
    Open(L"Simulate=true");
    ComPtr<IIviSpecAnTrace> item;
    ASSERT_EQ(Get<IIviSpecAnTraces>()->get_Item(Bstr(L"SpecAnTrace3").Get(), &item), S_OK);
    OwnedArray amplitude(3);
    ASSERT_EQ(item->ReadY(0, &amplitude.array), S_OK);
    EXPECT_EQ(Elements(amplitude.array), std::vector<double>(100, 0.0));
    EXPECT_TRUE(emulator_->ReceivedMessages().empty());
}

// ---- Against the emulator.

TEST_F(OperationWiring, SecondItemOfBothListsReadsTraceTwo) {
    Open();
    ComPtr<ITevoTrace> trace;
    ASSERT_EQ(Get<ITevoTraces>()->get_Item(Bstr(L"Trace2").Get(), &trace), S_OK);
    ComPtr<IIviSpecAnTrace> specan_trace;
    ASSERT_EQ(Get<IIviSpecAnTraces>()->get_Item(Bstr(L"SpecAnTrace2").Get(), &specan_trace), S_OK);
    const Messages sweep_and_read = {"FORM REAL,32", "INIT:CONT OFF", "INIT;*OPC?", "TRAC? TRACE2"};

    OwnedArray through_trace;
    ASSERT_EQ(trace->ReadY(0, &through_trace.array), S_OK);
    EXPECT_EQ(Sent(), sweep_and_read);
    OwnedArray through_specan;
    ASSERT_EQ(specan_trace->ReadY(0, &through_specan.array), S_OK);
    EXPECT_EQ(Sent(), sweep_and_read);

    const std::vector<double> values = Elements(through_trace.array);
    EXPECT_EQ(values.size(), 501u);
    EXPECT_EQ(Elements(through_specan.array), values);
    EXPECT_EQ(emulator_->Execute("INIT:CONT?"), "0");

    OwnedArray fetched;
    ASSERT_EQ(specan_trace->FetchY(&fetched.array), S_OK);
    EXPECT_EQ(Sent(), Messages{"TRAC? TRACE2"});
    EXPECT_EQ(Elements(fetched.array), values);
}

TEST_F(OperationWiring, ItemHandedOutBeforeCloseFailsAsNotInitialized) {
    Open();
    ComPtr<ITevoTrace> trace;
    ASSERT_EQ(Get<ITevoTraces>()->get_Item(Bstr(L"Trace1").Get(), &trace), S_OK);
    ASSERT_EQ(driver_->Close(), S_OK);
    emulator_->ClearReceivedMessages();
    OwnedArray amplitude;
    EXPECT_EQ(trace->FetchY(&amplitude.array), E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(amplitude.array, nullptr);
    EXPECT_TRUE(emulator_->ReceivedMessages().empty());
    driver_.Reset();
}

TEST_F(OperationWiring, CenterSpanThroughBothViewsFollowsTheActiveScreen) {
    Open();
    ASSERT_EQ(Get<ITevoFrequency>()->ConfigureCenterSpan(1.0e9, 2.0e6), S_OK);
    EXPECT_EQ(Sent(), Messages{"SENS1:FREQ:CENT 1000000000.000000;SPAN 2000000.000000"});
    ASSERT_EQ(Get<ITevoDisplay>()->put_ActiveScreen(TevoActiveScreenB), S_OK);
    ASSERT_EQ(Get<IIviSpecAnFrequency>()->ConfigureCenterSpan(5.0e8, 1.0e6), S_OK);
    EXPECT_EQ(Sent(),
              (Messages{"DISP:WIND2:SEL", "SENS2:FREQ:CENT 500000000.000000;SPAN 1000000.000000"}));
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("SENS1:FREQ:CENT?")), 1.0e9);
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("SENS2:FREQ:CENT?")), 5.0e8);
    EXPECT_DOUBLE_EQ(std::stod(emulator_->Execute("SENS2:FREQ:SPAN?")), 1.0e6);
}

TEST_F(OperationWiring, ClassViewMarkerSearchThenQueryGivesThePeakOfTheTrace) {
    Open();
    ComPtr<IIviSpecAnTrace> specan_trace;
    ASSERT_EQ(Get<IIviSpecAnTraces>()->get_Item(Bstr(L"SpecAnTrace1").Get(), &specan_trace), S_OK);
    OwnedArray trace;
    ASSERT_EQ(specan_trace->ReadY(0, &trace.array), S_OK);
    const std::vector<double> values = Elements(trace.array);
    ASSERT_FALSE(values.empty());
    const double maximum = *std::max_element(values.begin(), values.end());
    Sent();

    auto marker = Get<IIviSpecAnMarker>();
    ASSERT_EQ(marker->Search(IviSpecAnMarkerSearchHighest), S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC:MARK:MAX"});
    double position = 0.0;
    double amplitude = 0.0;
    ASSERT_EQ(marker->Query(&position, &amplitude), S_OK);
    EXPECT_EQ(Sent(), (Messages{"CALC1:MARK:X?", "CALC1:MARK:Y?"}));
    EXPECT_DOUBLE_EQ(position, std::stod(emulator_->Execute("CALC1:MARK1:X?")));
    EXPECT_NEAR(amplitude, maximum, 1e-3);
    EXPECT_NE(position, 0.0);
}

TEST_F(OperationWiring, PropertyAfterCalibrationInitiateGetsItsOwnValue) {
    Open();
    emulator_->Execute("SENS1:FREQ:STAR 1000000");
    ASSERT_EQ(Get<ITevoCalibration>()->Initiate(), S_OK);
    double start = 0.0;
    ASSERT_EQ(Get<ITevoFrequency>()->get_Start(&start), S_OK);
    EXPECT_DOUBLE_EQ(start, 1.0e6);
    EXPECT_EQ(Sent(), (Messages{"*CAL?", "SENS1:FREQ:STAR?"}));

    // The class view and the trace items' attributes read their own replies too.
    ASSERT_EQ(Get<ITevoCalibration>()->Initiate(), S_OK);
    ComPtr<ITevoTrace> trace;
    ASSERT_EQ(Get<ITevoTraces>()->get_Item(Bstr(L"Trace1").Get(), &trace), S_OK);
    LONG size = 0;
    ASSERT_EQ(trace->get_Size(&size), S_OK);
    EXPECT_EQ(size, 501);
    EXPECT_EQ(Sent(), (Messages{"*CAL?", "SENS:SWE:POIN?"}));

    ASSERT_EQ(Get<ITevoCalibration>()->Initiate(), S_OK);
    Bstr results;
    ASSERT_EQ(Get<ITevoCalibration>()->GetResults(&results), S_OK);
    EXPECT_EQ(results.ToUtf8(), emulator_->Execute("CAL:RES?"));
    EXPECT_NE(results.ToUtf8(), "0");
}

TEST_F(OperationWiring, InherentOperationsAfterCalibrationInitiateGetTheirOwnReplies) {
    Open();
    ASSERT_EQ(Get<ITevoCalibration>()->Initiate(), S_OK);
    // The calibration's "0" would not parse as an error-queue answer.
    LONG code = -1;
    Bstr message;
    ASSERT_EQ(Get<IIviDriverUtility>()->ErrorQuery(&code, &message), S_OK);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Sent(), (Messages{"*CAL?", "SYST:ERR?"}));

    ASSERT_EQ(Get<ITevoCalibration>()->Initiate(), S_OK);
    ASSERT_EQ(Get<IIviDriverUtility>()->Reset(), S_OK);
    ASSERT_EQ(Get<IIviDriverUtility>()->ErrorQuery(&code, &message), S_OK);
    // *RST went out after the answer was read: the instrument saw no interrupted query.
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Sent(), (Messages{"*CAL?", "*RST", "SYST:ERR?"}));
}

TEST_F(OperationWiring, PutAfterCalibrationInitiateLeavesNoReplyBehind) {
    Open(L"Simulate=false,QueryInstrumentStatus=true");
    ASSERT_EQ(Get<ITevoCalibration>()->Initiate(), S_OK);
    ASSERT_EQ(Get<IIviSpecAnFrequency>()->put_Start(2.0e6), S_OK);
    double start = 0.0;
    ASSERT_EQ(Get<IIviSpecAnFrequency>()->get_Start(&start), S_OK);
    EXPECT_DOUBLE_EQ(start, 2.0e6);
    const Messages sent = Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), "*CAL?");
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "SENS1:FREQ:STAR 2000000.000000"), 1);
}

TEST_F(OperationWiring, NewSessionOwesNoAnswerOfTheLastSessionsCalibration) {
    Open();
    emulator_->ClearReceivedMessages();
    ASSERT_EQ(Get<ITevoCalibration>()->Initiate(), S_OK);
    // The old connection's message is taken before the new session's are counted.
    ASSERT_TRUE(emulator_->WaitForMessages(1, std::chrono::seconds(10)));
    ASSERT_EQ(driver_->Close(), S_OK);
    ASSERT_EQ(driver_->Initialize(emulator_.Resource().Get(), VARIANT_FALSE, VARIANT_FALSE,
                                  Bstr(L"Simulate=false").Get()),
              S_OK);
    emulator_->ClearReceivedMessages();
    emulator_->Execute("SENS1:FREQ:STAR 3000000");
    // The new connection has no calibration answer to read: waiting for one would time out.
    double start = 0.0;
    ASSERT_EQ(Get<ITevoFrequency>()->get_Start(&start), S_OK);
    EXPECT_DOUBLE_EQ(start, 3.0e6);
    EXPECT_EQ(Sent(), Messages{"SENS1:FREQ:STAR?"});
}

TEST_F(OperationWiring, RawInstrumentIoPassesCommandsThrough) {
    Open();
    auto io = Get<ITevoInstrumentIO>();
    ASSERT_EQ(io->Write(Bstr(L"SENS1:SWE:POIN 625").Get()), S_OK);
    Bstr reply;
    ASSERT_EQ(io->Query(Bstr(L"SENS1:SWE:POIN?").Get(), &reply), S_OK);
    EXPECT_EQ(reply.ToWide(), L"625");
    EXPECT_EQ(Sent(), (Messages{"SENS1:SWE:POIN 625", "SENS1:SWE:POIN?"}));
    EXPECT_EQ(io->Query(Bstr(L"SENS1:SWE:POIN?").Get(), nullptr), E_IVI_NULL_POINTER);
    EXPECT_EQ(Sent(), Messages{});
}

}  // namespace
}  // namespace tevo::driver
