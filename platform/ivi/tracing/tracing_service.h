// TracingService: the COM object behind ITraceSink. A component registers (and gets a
// cookie greater than 0), writes its lines with that cookie and unregisters. Every line
// goes to the trace log (see trace_log.h) at once; there is no buffer to flush. The object
// may be called from any thread at once.
#pragma once

#include <atomic>
#include <mutex>
#include <set>

#include "tevo/TraceRuntime.h"
#include "trace_log.h"

namespace tevo::ivi::tracing {

class TracingService final : public ITraceSink {
  public:
    // A new object with one reference, asked for riid.
    static HRESULT Create(REFIID riid, void** object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Register(LONG Flags, LONG Level, LONG Reserved, BSTR Subsystem,
                                       BSTR Role, BSTR View, SAFEARRAY** Events,
                                       SAFEARRAY** Latencies, SAFEARRAY** Orders, SAFEARRAY** Logs,
                                       LONG* Cookie) override;
    HRESULT STDMETHODCALLTYPE IsRegistered(LONG Cookie, VARIANT_BOOL* pbRegistered) override;
    HRESULT STDMETHODCALLTYPE Unregister(LONG Cookie) override;
    HRESULT STDMETHODCALLTYPE Flush() override;
    // E_INVALIDARG for a cookie that is not registered with this object.
    HRESULT STDMETHODCALLTYPE Write(LONG Flags, BSTR Line, LONG Cookie) override;

  private:
    TracingService();
    ~TracingService();

    bool IsLive(LONG cookie);

    std::atomic<ULONG> references_{1};
    std::mutex mutex_;
    std::set<LONG> cookies_;
    TraceLog log_;
};

// The number of live service objects of the module (for DllCanUnloadNow).
LONG LiveServiceObjects();

}  // namespace tevo::ivi::tracing
