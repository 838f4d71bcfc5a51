// The soak's load: driver sessions on one emulator, each called by several threads with a
// mix of property gets and puts, trace reads, error queries and Initialize/Close cycles of
// short-lived driver objects, until stopped.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "measurement/main_driver_object.h"
#include "tevo/com/com_ptr.h"

namespace tevo::reliability::soak {

class SoakWorkload {
  public:
    SoakWorkload(std::wstring resource, int sessions, int threads_per_session);
    ~SoakWorkload();
    SoakWorkload(const SoakWorkload&) = delete;
    SoakWorkload& operator=(const SoakWorkload&) = delete;

    // Initializes the sessions; false with the reason when one cannot be opened.
    bool Open(std::string* error);
    // Starts the calling threads; Stop ends and joins them, and closes the sessions.
    void Start();
    void Stop();

    uint64_t calls() const { return calls_.load(); }
    uint64_t failures() const { return failures_.load(); }
    std::string FirstFailure() const;

  private:
    void CallLoop(const tevo::com::ComPtr<ITevo>& driver, int thread_index);
    bool Call(ITevo* driver, uint64_t iteration);
    bool InitializeCloseCycle();
    void RecordFailure(const char* call, HRESULT result);

    std::wstring resource_;
    int session_count_;
    int threads_per_session_;
    std::vector<tevo::com::ComPtr<ITevo>> sessions_;
    std::vector<std::thread> threads_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> calls_{0};
    std::atomic<uint64_t> failures_{0};
    mutable std::mutex failure_mutex_;
    std::string first_failure_;
};

}  // namespace tevo::reliability::soak
