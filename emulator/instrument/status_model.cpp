#include "instrument/status_model.h"

#include "scpi/error_codes.h"
#include "scpi/response_format.h"

namespace tevo::emulator {

StatusModel::StatusModel() : esr_(scpi::kEsrPowerOn) {}

void StatusModel::PushError(int code, std::string_view detail) {
    esr_ |= scpi::EventStatusBitFor(code);
    if (queue_.size() >= kQueueCapacity) {
        queue_.back() =
            Entry{scpi::kQueueOverflow, std::string(scpi::StandardErrorText(scpi::kQueueOverflow))};
        return;
    }
    std::string text(scpi::StandardErrorText(code));
    if (!detail.empty()) {
        text.push_back(';');
        text.append(detail);
    }
    queue_.push_back(Entry{code, std::move(text)});
}

std::string StatusModel::PopError() {
    if (queue_.empty())
        return "0," + scpi::FormatString(scpi::StandardErrorText(scpi::kNoError));
    Entry entry = std::move(queue_.front());
    queue_.pop_front();
    return std::to_string(entry.code) + "," + scpi::FormatString(entry.text);
}

uint8_t StatusModel::ReadAndClearEventStatus() {
    const uint8_t value = esr_;
    esr_ = 0;
    return value;
}

uint8_t StatusModel::StatusByte() const {
    uint8_t stb = 0;
    if (!queue_.empty())
        stb |= kStbErrorQueue;
    if ((esr_ & ese_) != 0)
        stb |= kStbEventSummary;
    if ((stb & sre_) != 0)
        stb |= kStbRequestService;
    return stb;
}

void StatusModel::Clear() {
    queue_.clear();
    esr_ = 0;
}

}  // namespace tevo::emulator
