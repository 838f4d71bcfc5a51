#include "tracing_service.h"

#include <new>
#include <string>

#include "tevo/win/text.h"

namespace tevo::ivi::tracing {

namespace {

std::atomic<LONG> g_live_objects{0};

// Cookies are unique in the process, so a stale cookie never names a newer registration.
LONG NextCookie() {
    static std::atomic<LONG> next{0};
    LONG cookie = next.fetch_add(1) + 1;
    while (cookie <= 0) {  // wrapped around after 2^31 registrations
        LONG expected = cookie;
        next.compare_exchange_strong(expected, 0);
        cookie = next.fetch_add(1) + 1;
    }
    return cookie;
}

std::string BstrText(BSTR text) {
    return text == nullptr ? std::string() : tevo::win::WideToUtf8(text);
}

}  // namespace

LONG LiveServiceObjects() {
    return g_live_objects.load();
}

TracingService::TracingService() {
    g_live_objects.fetch_add(1);
}

TracingService::~TracingService() {
    g_live_objects.fetch_sub(1);
}

HRESULT TracingService::Create(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    auto* created = new (std::nothrow) TracingService();
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
}

HRESULT TracingService::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_ITraceSink) {
        *ppvObject = static_cast<ITraceSink*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG TracingService::AddRef() {
    return references_.fetch_add(1) + 1;
}

ULONG TracingService::Release() {
    const ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT TracingService::Register(LONG /*Flags*/, LONG /*Level*/, LONG /*Reserved*/,
                                 BSTR /*Subsystem*/, BSTR /*Role*/, BSTR /*View*/,
                                 SAFEARRAY** /*Events*/, SAFEARRAY** /*Latencies*/,
                                 SAFEARRAY** /*Orders*/, SAFEARRAY** /*Logs*/, LONG* Cookie) {
    // The four lists are left as the caller passed them: this service has no event
    // catalogue to describe.
    if (Cookie == nullptr) {
        return E_POINTER;
    }
    *Cookie = 0;
    const LONG cookie = NextCookie();
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        cookies_.insert(cookie);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *Cookie = cookie;
    return S_OK;
}

bool TracingService::IsLive(LONG cookie) {
    std::lock_guard<std::mutex> lock(mutex_);
    return cookies_.count(cookie) != 0;
}

HRESULT TracingService::IsRegistered(LONG Cookie, VARIANT_BOOL* pbRegistered) {
    if (pbRegistered == nullptr) {
        return E_POINTER;
    }
    *pbRegistered = IsLive(Cookie) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT TracingService::Unregister(LONG Cookie) {
    std::lock_guard<std::mutex> lock(mutex_);
    return cookies_.erase(Cookie) != 0 ? S_OK : E_INVALIDARG;
}

HRESULT TracingService::Flush() {
    // Lines are written as they come; nothing waits in a buffer.
    return S_OK;
}

HRESULT TracingService::Write(LONG /*Flags*/, BSTR Line, LONG Cookie) {
    if (!IsLive(Cookie)) {
        return E_INVALIDARG;
    }
    try {
        return log_.Append(BstrText(Line));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace tevo::ivi::tracing
