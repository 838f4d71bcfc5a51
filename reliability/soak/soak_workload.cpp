#include "soak_workload.h"

#include <cstdio>
#include <utility>

#include "tevo/com/holders.h"

namespace tevo::reliability::soak {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

constexpr const wchar_t* kOptions = L"DriverTimeout=10000";
// One call in this many of each thread is an Initialize/Close cycle of a new driver object.
constexpr uint64_t kCycleEvery = 64;

ComPtr<ITevo> NewDriver() {
    ComPtr<ITevo> driver;
    if (tevo::driver::CTevo::Create(IID_ITevo, reinterpret_cast<void**>(&driver)) != S_OK) {
        driver.Reset();
    }
    return driver;
}

template <class Interface>
ComPtr<Interface> As(IUnknown* object) {
    ComPtr<Interface> result;
    object->QueryInterface(IID_PPV_ARGS(&result));
    return result;
}

// Releases the calling thread's error object, as a client that handled the error does.
void DropThreadError() {
    ComPtr<IErrorInfo> info;
    GetErrorInfo(0, &info);
}

// A trace read into a fresh array, released again.
HRESULT ReadTrace(ITevo* driver, bool sweep) {
    ComPtr<ITevoTraces> traces;
    ComPtr<ITevoTrace> trace;
    HRESULT result = driver->get_Traces(&traces);
    if (SUCCEEDED(result)) {
        result = traces->get_Item(Bstr(L"Trace1").Get(), &trace);
    }
    SAFEARRAY* values = nullptr;
    if (SUCCEEDED(result)) {
        result = sweep ? trace->ReadY(0, &values) : trace->FetchY(&values);
    }
    if (values != nullptr) {
        SafeArrayDestroy(values);
    }
    return result;
}

}  // namespace

SoakWorkload::SoakWorkload(std::wstring resource, int sessions, int threads_per_session)
    : resource_(std::move(resource)),
      session_count_(sessions),
      threads_per_session_(threads_per_session) {}

SoakWorkload::~SoakWorkload() {
    Stop();
}

bool SoakWorkload::Open(std::string* error) {
    for (int i = 0; i < session_count_; ++i) {
        ComPtr<ITevo> driver = NewDriver();
        const HRESULT result =
            driver ? driver->Initialize(Bstr(resource_.c_str()).Get(), VARIANT_FALSE, VARIANT_FALSE,
                                        Bstr(kOptions).Get())
                   : E_FAIL;
        if (FAILED(result)) {
            char text[64] = {};
            std::snprintf(text, sizeof text, "Initialize of session %d failed: 0x%08lx", i,
                          static_cast<unsigned long>(result) & 0xFFFFFFFFUL);
            *error = text;
            return false;
        }
        sessions_.push_back(driver);
    }
    return true;
}

void SoakWorkload::Start() {
    for (const ComPtr<ITevo>& driver : sessions_) {
        for (int t = 0; t < threads_per_session_; ++t) {
            threads_.emplace_back([this, driver, t] { CallLoop(driver, t); });
        }
    }
}

void SoakWorkload::Stop() {
    stop_ = true;
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
    for (const ComPtr<ITevo>& driver : sessions_) {
        driver->Close();
    }
    sessions_.clear();
}

std::string SoakWorkload::FirstFailure() const {
    std::lock_guard<std::mutex> lock(failure_mutex_);
    return first_failure_;
}

void SoakWorkload::RecordFailure(const char* call, HRESULT result) {
    ++failures_;
    DropThreadError();
    std::lock_guard<std::mutex> lock(failure_mutex_);
    if (first_failure_.empty()) {
        char text[96] = {};
        std::snprintf(text, sizeof text, "%s failed: 0x%08lx", call,
                      static_cast<unsigned long>(result) & 0xFFFFFFFFUL);
        first_failure_ = text;
    }
}

void SoakWorkload::CallLoop(const ComPtr<ITevo>& driver, int thread_index) {
    // Threads start at different points of the mix.
    for (uint64_t iteration = static_cast<uint64_t>(thread_index) * 3; !stop_; ++iteration) {
        if (Call(driver.Get(), iteration)) {
            ++calls_;
        }
    }
}

bool SoakWorkload::Call(ITevo* driver, uint64_t iteration) {
    if (iteration % kCycleEvery == kCycleEvery - 1) {
        return InitializeCloseCycle();
    }
    auto frequency = As<ITevoFrequency>(driver);
    auto utility = As<IIviDriverUtility>(driver);
    double value = 0.0;
    HRESULT result = S_OK;
    const char* name = "";
    switch (iteration % 7) {
        case 0:
            name = "get Start";
            result = frequency->get_Start(&value);
            break;
        case 1:
            name = "put Start";
            result = frequency->put_Start(1.25e9);
            break;
        case 2:
            name = "get Stop";
            result = frequency->get_Stop(&value);
            break;
        case 3:
            name = "put Stop";
            result = frequency->put_Stop(2.5e9);
            break;
        case 4: {
            name = "ErrorQuery";
            LONG code = 0;
            Bstr message;
            result = utility->ErrorQuery(&code, &message);
            break;
        }
        case 5:
            name = "FetchY";
            result = ReadTrace(driver, false);
            break;
        default:
            name = "ReadY";
            result = ReadTrace(driver, true);
            break;
    }
    if (FAILED(result)) {
        RecordFailure(name, result);
        return false;
    }
    return true;
}

bool SoakWorkload::InitializeCloseCycle() {
    ComPtr<ITevo> driver = NewDriver();
    if (!driver) {
        RecordFailure("creating a driver object", E_FAIL);
        return false;
    }
    HRESULT result = driver->Initialize(Bstr(resource_.c_str()).Get(), VARIANT_FALSE, VARIANT_FALSE,
                                        Bstr(kOptions).Get());
    double start = 0.0;
    if (SUCCEEDED(result)) {
        result = As<ITevoFrequency>(driver.Get())->get_Start(&start);
    }
    const HRESULT closed = driver->Close();
    if (FAILED(result) || FAILED(closed)) {
        RecordFailure("Initialize/Close cycle", FAILED(result) ? result : closed);
        return false;
    }
    return true;
}

}  // namespace tevo::reliability::soak
