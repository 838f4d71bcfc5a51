// The KL-series analyzer emulator as an in-process TCP server, with hooks for tests:
// every message it received, scripted replies checked as an ordered protocol, injected
// faults, error bits, and a clock that tests can move by hand.
//
//   tevo::emulator::Emulator emulator;             // a KLC with its default identity
//   const uint16_t port = emulator.Start();        // port 0: an ephemeral port
//   ... talk SCPI to 127.0.0.1:port (messages end with LF) ...
//   emulator.ReceivedMessages();                   // exact messages, terminators removed
//
// One client is served at a time; further clients wait in the listen queue and are served
// in turn. The analyzer's state lasts across clients, as a real instrument's does.
// Everything here is thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tevo::emulator {

struct EmulatorOptions {
    std::string model = "KLC";  // KLA, KLBR, KLC, KLD or KLF
    std::string serial = "100482";
    std::string firmware = "3.12";
    // Sweeps and calibrations take their nominal time multiplied by this; 0 makes them
    // instant.
    double time_scale = 1.0;
    // When set, time stands still except when AdvanceClock moves it, so that tests decide
    // exactly when sweeps end.
    bool manual_clock = false;
    // The address to listen on. On the IPv4 loopback address the emulator also listens on
    // the IPv6 loopback address with the same port, where that is possible.
    std::string bind_address = "127.0.0.1";
    // When set, every received message and every reply is appended to this file.
    std::string log_path;
    // Keep every received message for ReceivedMessages. A long-running server that nobody
    // inspects turns this off so that its memory does not grow with every message.
    bool record_messages = true;
};

// A fault that the emulator injects when it receives a given message.
struct Fault {
    enum class Kind {
        kDelayReply,       // the reply is sent after a delay (wall-clock time)
        kNoReply,          // the message is executed but its reply is never sent
        kCloseConnection,  // the connection is closed on receipt, the message not executed
        kCutReply,         // only the first keep_bytes bytes of the reply are sent
        kReplaceReply,     // bytes are sent, exactly as given, instead of the reply
    };

    static constexpr int kEveryTime = -1;

    Kind kind = Kind::kNoReply;
    std::string message;  // the exact message that triggers the fault; empty: any message
    std::chrono::milliseconds delay{0};
    size_t keep_bytes = 0;
    std::string bytes;
    int times = 1;  // how many messages it affects; kEveryTime for all of them

    static Fault DelayReply(std::string message, std::chrono::milliseconds delay);
    static Fault NoReply(std::string message);
    static Fault CloseConnection(std::string message);
    static Fault CutReply(std::string message, size_t keep_bytes);
    static Fault ReplaceReply(std::string message, std::string bytes);
};

class Emulator {
  public:
    // Throws std::invalid_argument for an unknown model or a negative time scale.
    explicit Emulator(EmulatorOptions options = {});
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Starts listening and serving; returns the port (an ephemeral one for port 0).
    // Throws std::system_error when the port cannot be opened, std::logic_error when
    // already running, std::runtime_error when the log file cannot be opened.
    uint16_t Start(uint16_t port = 0);
    // Closes the connection and the listener and waits for the server thread. The
    // analyzer's state is kept; Start may be called again.
    void Stop();
    bool running() const;
    uint16_t port() const;
    // The VISA resource descriptor of the emulator: "TCPIP::127.0.0.1::<port>::SOCKET".
    std::string ResourceName() const;

    // ---- What arrived.
    // Every message received so far, in order, without its terminator (LF or CR LF); empty
    // when EmulatorOptions::record_messages is off.
    std::vector<std::string> ReceivedMessages() const;
    void ClearReceivedMessages();
    // Waits until at least count messages have been received (counted since the last
    // ClearReceivedMessages). False on timeout.
    bool WaitForMessages(size_t count, std::chrono::milliseconds timeout) const;
    // Connections accepted so far.
    size_t ConnectionCount() const;
    bool WaitForConnections(size_t count, std::chrono::milliseconds timeout) const;
    bool connected() const;
    // Waits until no client is connected. False on timeout.
    bool WaitForDisconnect(std::chrono::milliseconds timeout) const;

    // ---- Scripted protocol. Once an expectation is set, every received message is checked
    // against the next expectation, in order. An expected query is answered with its
    // scripted reply (a line feed is appended) instead of being executed; an expected
    // command, and any message that does not match, is executed by the analyzer as usual.
    void ExpectQuery(std::string message, std::string reply);
    void ExpectCommand(std::string message);
    // The problems found: messages that did not match the expected one, and expectations
    // that were never met. Empty when the client followed the script.
    std::vector<std::string> VerifyScript() const;
    void ClearScript();

    // ---- Faults.
    void InjectFault(Fault fault);
    void ClearFaults();
    // Closes the current connection now (nothing happens when no client is connected).
    void CloseConnection();
    // Sets bits of the standard event status register, as if errors had happened.
    void SetEventStatusBits(uint8_t bits);
    // Adds an error to the analyzer's error queue (and sets its event status bit).
    void PushError(int code, std::string_view detail = {});

    // ---- Time.
    // Moves the manual clock forward (EmulatorOptions::manual_clock); sweeps and
    // calibrations whose time is up complete. Throws std::logic_error without a manual clock
    // and std::invalid_argument for a negative duration.
    void AdvanceClock(std::chrono::duration<double> seconds);

    // ---- Direct access, without the network: runs a program message as if a client had
    // sent it (it is not recorded, scripted or faulted) and returns the response without
    // its line feed. A message that would have to wait for a sweep or a calibration is
    // cut off there.
    std::string Execute(std::string_view message);

  private:
    class Server;
    std::unique_ptr<Server> server_;
};

}  // namespace tevo::emulator
