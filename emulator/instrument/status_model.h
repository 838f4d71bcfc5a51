// The IEEE 488.2 status model of the analyzer with the SCPI error/event queue: the
// standard event status register (ESR) with its enable register (ESE), the service request
// enable register (SRE), the status byte, and a bounded queue of errors read oldest first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tevo::emulator {

class StatusModel {
  public:
    static constexpr size_t kQueueCapacity = 16;

    // Status byte bits.
    static constexpr uint8_t kStbErrorQueue = 0x04;  // the error queue is not empty
    static constexpr uint8_t kStbMessageAvailable = 0x10;
    static constexpr uint8_t kStbEventSummary = 0x20;  // (ESR & ESE) != 0
    static constexpr uint8_t kStbRequestService = 0x40;

    // The state after power on: only the power-on bit of the ESR is set.
    StatusModel();

    // Adds an error to the queue and sets its ESR bit. When the queue is full its newest
    // entry is replaced by -350 "Queue overflow" and the new error is lost.
    void PushError(int code, std::string_view detail = {});
    // The oldest error as `code,"text"`, removed from the queue; `0,"No error"` when empty.
    std::string PopError();
    size_t ErrorCount() const { return queue_.size(); }

    uint8_t event_status() const { return esr_; }
    void SetEventStatusBits(uint8_t bits) { esr_ |= bits; }
    // *ESR?: the register's value; reading clears it.
    uint8_t ReadAndClearEventStatus();

    uint8_t event_status_enable() const { return ese_; }
    void set_event_status_enable(uint8_t value) { ese_ = value; }
    uint8_t service_request_enable() const { return sre_; }
    void set_service_request_enable(uint8_t value) { sre_ = value & 0xBF; }

    // *STB?: error queue, event summary and request service bits.
    uint8_t StatusByte() const;

    // *CLS: clears the event status register and the error queue.
    void Clear();

  private:
    struct Entry {
        int code;
        std::string text;
    };
    std::deque<Entry> queue_;
    uint8_t esr_;
    uint8_t ese_ = 0;
    uint8_t sre_ = 0;
};

}  // namespace tevo::emulator
