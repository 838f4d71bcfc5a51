// A connection to the emulator's analyzer for a protocol gateway. To the analyzer it is one
// client like a SOCKET client (the same message log, recorded messages, scripted protocol
// and fault plan), but its replies arrive whole: each reply is framed on the link by its
// length, so a gateway knows where a reply ends even when a binary block in it holds line
// feeds, and can mark the last byte with END (VXI-11) or send it as DataEnd (HiSLIP).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tevo::emulator {

class InstrumentLink {
  public:
    using Clock = std::chrono::steady_clock;

    // Takes one end of a stream socket pair whose other end the analyzer serves.
    explicit InstrumentLink(int fd);
    // Closes the connection: the analyzer drops what it still owed this client.
    ~InstrumentLink();
    InstrumentLink(const InstrumentLink&) = delete;
    InstrumentLink& operator=(const InstrumentLink&) = delete;

    // Sends program-message bytes as a SOCKET client would (a line feed ends a message).
    // Waits while the analyzer does not take input (it reads while it has no whole message
    // buffered), at most until the deadline. False when the deadline passed, Interrupt was
    // called, or the link is closed.
    bool Send(std::string_view bytes, Clock::time_point deadline = Clock::time_point::max());
    // The next whole reply with its terminating line feed; std::nullopt when the deadline
    // passes, when Interrupt is called, or when the link closed (closed() is then true).
    std::optional<std::string> NextReply(Clock::time_point deadline);
    // Thread-safe: makes a Send or NextReply blocked in another thread return. When none is
    // blocked, the next one returns at once instead.
    void Interrupt();
    // Thread-safe: ends the connection for good. Every Send and NextReply, blocked now in any
    // thread or called later, returns, and closed() becomes true. Unlike an interruption,
    // which one waiting call takes, this cannot be missed.
    void Shutdown();
    bool closed() const { return closed_; }

    // The length prefix of each reply on the link: 4 bytes, most significant first.
    static constexpr size_t kHeaderBytes = 4;
    // A reply longer than this is taken as a broken link.
    static constexpr uint32_t kMaxReplyBytes = 256u << 20;
    static std::string Frame(std::string_view reply);

  private:
    // Waits for the socket (events) or an interruption; false on time-out or interruption.
    bool Wait(short events, Clock::time_point deadline);
    std::optional<std::string> TakeReply();

    int fd_ = -1;
    int wake_[2] = {-1, -1};
    // Set by whichever of Send and NextReply finds the link closed; a gateway may run them
    // in two threads.
    std::atomic<bool> closed_{false};
    std::string received_;
};

}  // namespace tevo::emulator
