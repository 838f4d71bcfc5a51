// A TCP relay between a VISA session and the emulator that controls how each reply reaches
// the client: whole, or cut at a chosen byte into two TCP segments, where the client has
// taken the first piece off its socket before the second is sent. Messages from the client
// go to the emulator unchanged, one line at a time.
//
//   SplittingRelay relay(emulator.port());
//   relay.SplitRepliesAt(7);           // every following reply: bytes [0, 7), then the rest
//   TestSession session(relay.Resource());
//
// Each client connection gets its own connection to the emulator, served by a thread of its
// own. A message holding a "?" is taken for a query: its reply is read from the emulator
// whole (a line, or an IEEE 488.2 definite-length block and the line feed after it) before
// it is passed on. Nagle's algorithm is off on the relay's sockets, so the second piece of
// a reply leaves at once and not when the client's delayed acknowledgement comes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "testing/scripted_peer.h"

namespace tevo::visa::emulator_tests {

class SplittingRelay {
  public:
    // Listens on the IPv4 loopback address, on an ephemeral port. Throws std::runtime_error
    // when it cannot.
    explicit SplittingRelay(uint16_t emulator_port);
    // Wakes and joins every connection's thread.
    ~SplittingRelay();
    SplittingRelay(const SplittingRelay&) = delete;
    SplittingRelay& operator=(const SplittingRelay&) = delete;

    // "TCPIP0::127.0.0.1::<relay port>::SOCKET".
    std::string Resource() const;

    // Replies relayed from now on are cut after `position` bytes; 0 (the start) sends them
    // whole. A position at or beyond the end of a reply sends it whole too.
    void SplitRepliesAt(size_t position) { split_at_ = position; }

    // Waits until at least n replies have been passed on and have reached the client's
    // socket. False when that does not happen within the safety limit.
    bool WaitDelivered(int n) { return delivered_.WaitFor(n); }
    // Splits whose first piece the client did not take off its socket in time: the client
    // may then have seen the reply in one piece, and the test proves less than it claims.
    int SplitsNotSeen() const { return splits_not_seen_.load(); }
    // Replies that did not come from the emulator whole, or did not reach the client, within
    // the safety limit.
    int Failures() const { return failures_.load(); }

  private:
    void AcceptLoop();
    void Relay(testing::PeerConnection& client);

    uint16_t emulator_port_;
    uint16_t port_ = 0;
    int listener_ = -1;
    int stop_read_ = -1;
    int stop_write_ = -1;
    std::atomic<size_t> split_at_{0};
    std::atomic<int> splits_not_seen_{0};
    std::atomic<int> failures_{0};
    testing::Counter delivered_;
    std::vector<std::thread> connections_;  // touched by the acceptor thread until joined
    std::thread acceptor_;
};

// Reads one complete reply from a socket holding the emulator's replies: up to and with
// the line feed, or a definite-length block (header, data, and the line feed after it).
// `pending` keeps bytes received beyond the reply for the next call. nullopt when the
// connection ends, stop_fd (when not -1) becomes readable, or nothing complete arrives
// within the safety limit.
std::optional<std::string> ReadReply(int fd, std::string& pending, int stop_fd = -1);

}  // namespace tevo::visa::emulator_tests
