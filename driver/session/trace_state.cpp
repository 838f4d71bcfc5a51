#include "session/trace_state.h"

#include <atomic>
#include <shared_mutex>

#include "session/text_conversion.h"

namespace tevo::driver {

namespace {

// The trace service's category of call entry and exit lines.
constexpr LONG kCallLineCategory = 0x08000000;
// Lines are formatted into a buffer of this many bytes, terminating zero included.
constexpr size_t kLineBufferSize = 2048;

// Set when the process-wide state below is destroyed (the module is unloaded, or the
// process ends); a driver object released after that traces nothing. Constant-initialized
// and never destroyed itself.
std::atomic<bool> g_state_destroyed{false};

// Driver objects whose trace switch is on. While it is 0 no call can be traced, whatever
// state is installed. Constant-initialized, so it outlives every object.
std::atomic<long> g_switches_on{0};

struct ProcessTraceState {
    ProcessTraceState() = default;
    ProcessTraceState(const ProcessTraceState&) = delete;
    ProcessTraceState& operator=(const ProcessTraceState&) = delete;
    ~ProcessTraceState() { g_state_destroyed.store(true); }

    std::shared_mutex mutex;
    std::shared_ptr<const TraceState> current;
    std::atomic<bool> may_be_on{false};
};

// The state for the life of the module; null once it is gone.
ProcessTraceState* Process() {
    if (g_state_destroyed.load()) {
        return nullptr;
    }
    static ProcessTraceState state;
    return &state;
}

// The longest prefix of the line that fits the buffer without cutting a character.
std::string_view FitToBuffer(const std::string& line) {
    size_t length = line.size();
    if (length < kLineBufferSize) {
        return line;
    }
    length = kLineBufferSize - 1;
    while (length > 0 && (static_cast<unsigned char>(line[length]) & 0xC0) == 0x80) {
        --length;
    }
    return std::string_view(line).substr(0, length);
}

}  // namespace

bool TracingMayBeOn() {
    if (g_switches_on.load(std::memory_order_acquire) <= 0) {
        return false;
    }
    const ProcessTraceState* process = Process();
    return process != nullptr && process->may_be_on.load(std::memory_order_acquire);
}

void NoteTraceSwitchChange(bool was_on, bool is_on) {
    if (was_on != is_on) {
        g_switches_on.fetch_add(is_on ? 1 : -1, std::memory_order_acq_rel);
    }
}

TraceSnapshot EnabledTraceState() {
    ProcessTraceState* process = Process();
    if (process == nullptr) {
        return nullptr;
    }
    std::shared_lock<std::shared_mutex> lock(process->mutex);
    const std::shared_ptr<const TraceState>& state = process->current;
    if (!state || !state->Active() || state->trace_switch == nullptr) {
        return nullptr;
    }
    VARIANT_BOOL enabled = VARIANT_FALSE;
    if (FAILED(state->trace_switch->get_Enabled(&enabled)) || enabled != VARIANT_TRUE) {
        return nullptr;
    }
    return state;
}

void InstallTraceState(std::shared_ptr<const TraceState> state) {
    ProcessTraceState* process = Process();
    if (process == nullptr) {
        return;
    }
    std::shared_ptr<const TraceState> previous;
    {
        std::unique_lock<std::shared_mutex> lock(process->mutex);
        const bool active = state && state->Active();
        previous = std::exchange(process->current, std::move(state));
        process->may_be_on.store(active, std::memory_order_release);
    }
    // The old state's references are given up outside the lock.
}

void ClearTraceState() {
    InstallTraceState(nullptr);
}

HRESULT WriteTraceLine(const TraceState& state, const std::string& line) {
    BSTR text = AnsiToBstr(FitToBuffer(line));
    if (text == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = state.sink->Write(kCallLineCategory, text, state.cookie);
    SysFreeString(text);
    return hr;
}

}  // namespace tevo::driver
