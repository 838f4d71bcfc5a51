#include "session/trace_scope.h"

#include "session/call_frame.h"
#include "session/text_conversion.h"

namespace tevo::driver {

namespace {

std::string LinePrefix(const char* marker) {
    // The thread id as "%d" prints it.
    return std::string(marker) + " " + std::to_string(static_cast<int>(GetCurrentThreadId())) +
           ": ";
}

}  // namespace

void TraceScope::Enter() {
    state_ = EnabledTraceState();
    if (!state_) {
        return;
    }
    try {
        const auto methods = state_->registry.find(site_.interface_name);
        if (methods == state_->registry.end()) {
            WriteTraceLine(*state_, LinePrefix(">>>") + "[Unknown Interface]");
            entry_status_ = E_FAIL;
            return;
        }
        const auto method = methods->second.find(site_.method_name);
        if (method == methods->second.end()) {
            WriteTraceLine(*state_,
                           LinePrefix(">>>") + site_.interface_name + "::[Unknown Method]");
            entry_status_ = E_FAIL;
            return;
        }
        method_ = &method->second;
        const std::wstring text = AnsiToWide(site_.method_name) +
                                  RenderParameters(TraceMode::kEntry, *method_, arguments_);
        entry_status_ = WriteTraceLine(
            *state_, LinePrefix(">>>") + site_.interface_name + "::" + WideToAnsi(text));
    } catch (...) {
        // Tracing never changes the outcome of the call.
        entry_status_ = E_FAIL;
    }
}

void TraceScope::Leave() {
    if (FAILED(entry_status_) || method_ == nullptr) {
        return;
    }
    try {
        const std::wstring text = AnsiToWide(site_.method_name) +
                                  RenderParameters(TraceMode::kExit, *method_, arguments_);
        WriteTraceLine(*state_, LinePrefix("<<<") + site_.interface_name + "::" + WideToAnsi(text));
    } catch (...) {
        // As on entry.
    }
}

}  // namespace tevo::driver
