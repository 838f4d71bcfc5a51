#include "session/trace_setup.h"

#include <memory>
#include <new>

#include "session/trace_state.h"
#include "tevo/com/holders.h"

namespace tevo::driver {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

void DestroyList(SAFEARRAY*& list) {
    if (list != nullptr) {
        SafeArrayDestroy(list);
        list = nullptr;
    }
}

// The state for the object: its switch, the service and cookie, and the registry of its
// coclass. Built before it is installed, without any lock held.
HRESULT BuildState(IUnknown* object, const ComPtr<ITraceSink>& service, LONG cookie,
                   std::shared_ptr<TraceState>& built) {
    ComPtr<IProvideClassInfo2> class_info_provider;
    HRESULT hr = object->QueryInterface(IID_PPV_ARGS(&class_info_provider));
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<ITraceSwitch> trace_switch;
    hr = object->QueryInterface(IID_PPV_ARGS(&trace_switch));
    if (FAILED(hr)) {
        return hr;
    }
    auto state = std::make_shared<TraceState>();
    // The switch is the object's own: it stays valid until the object's tear-down, which
    // clears the state first.
    state->trace_switch = trace_switch.Get();
    state->sink = service;
    state->cookie = cookie;
    hr = class_info_provider->GetClassInfo(&state->class_info);
    if (FAILED(hr)) {
        return hr;
    }
    hr = BuildTraceRegistry(state->class_info.Get(), state->registry, state->coclass_name);
    if (FAILED(hr)) {
        return hr;
    }
    built = std::move(state);
    return S_OK;
}

}  // namespace

HRESULT TraceBinding::SetUp(IUnknown* object, BSTR view) {
    if (service_) {
        return E_FAIL;
    }
    if (object == nullptr) {
        return E_POINTER;
    }
    try {
        ComPtr<ITraceSink> service;
        HRESULT hr = CoCreateInstance(CLSID_TracingService, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ITraceSink, reinterpret_cast<void**>(&service));
        if (FAILED(hr)) {
            return hr;
        }
        Bstr subsystem(L"Tevo");
        Bstr role(L"Tevo");
        Bstr view_copy(view == nullptr ? L"" : std::wstring_view(view, SysStringLen(view)));
        SAFEARRAY* events = nullptr;
        SAFEARRAY* latencies = nullptr;
        SAFEARRAY* orders = nullptr;
        SAFEARRAY* logs = nullptr;
        LONG cookie = 0;
        hr = service->Register(0, 0, 0, subsystem.Get(), role.Get(), view_copy.Get(), &events,
                               &latencies, &orders, &logs, &cookie);
        DestroyList(events);
        DestroyList(latencies);
        DestroyList(orders);
        DestroyList(logs);
        if (FAILED(hr)) {
            service->Unregister(cookie);
            return hr;
        }
        service_ = service;
        cookie_ = cookie;

        std::shared_ptr<TraceState> state;
        hr = BuildState(object, service, cookie, state);
        if (FAILED(hr)) {
            return hr;
        }
        InstallTraceState(std::move(state));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

void TraceBinding::TearDown() {
    if (cookie_ != 0 && service_) {
        service_->Unregister(cookie_);
    }
    cookie_ = 0;
    service_ = nullptr;
    ClearTraceState();
}

}  // namespace tevo::driver
