// The KL-series analyzer emulator as an in-process TCP server, with hooks for tests:
// every message it received, scripted replies checked as an ordered protocol, injected
// faults, error bits, and a clock that tests can move by hand.
//
//   tevo::emulator::Emulator emulator;             // a KLC with its default identity
//   const uint16_t port = emulator.Start();        // port 0: an ephemeral port
//   ... talk SCPI to 127.0.0.1:port (messages end with LF) ...
//   emulator.ReceivedMessages();                   // exact messages, terminators removed
//
// Several clients are served at once, each connection with its own input and output queue,
// all on the one analyzer and its settings: the messages of all clients run one at a time
// against the analyzer, in the order in which they are taken from the connections (one
// message per connection in turn). A message that waits for an operation (*OPC?, *WAI,
// *CAL?) or a reply held back by a fault holds back only its own connection. A client that
// makes no progress for EmulatorOptions::idle_timeout is dropped: it sends nothing while
// the emulator waits for its input, or reads nothing while a reply to it is queued. The
// analyzer's state lasts across clients, as a real instrument's does.
//
// The test hooks see all clients as one stream: the recorded messages, the scripted
// protocol and the injected faults apply to every client's messages in the order in which
// they run. A fault that closes the connection closes the connection of the message that
// triggered it; the log tags every line of a connection with its number ("[2] << *IDN?").
// Everything here is thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevo::emulator {

class InstrumentLink;

struct EmulatorOptions {
    std::string model = "KLC";  // KLA, KLBR, KLC, KLD or KLF
    // Fields of the *IDN? reply: 1 to 64 printable ASCII characters, no comma or semicolon.
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
    // When set, every received message and every reply is appended to this file. Lines
    // longer than about 1 KiB are cut. When the file would grow beyond log_limit_bytes it is
    // renamed to log_path + ".1" (replacing an older one) and a new file is started, so the
    // log never takes more than twice the limit. A file that is not a regular file (a pipe,
    // a terminal) is never renamed.
    std::string log_path;
    static constexpr uint64_t kMinLogLimitBytes = 4096;
    uint64_t log_limit_bytes = uint64_t{16} << 20;
    // A client that makes no progress for this long is dropped; zero keeps idle clients
    // connected for ever.
    std::chrono::milliseconds idle_timeout{std::chrono::seconds(60)};
    // Clients connected at the same time; a further client is disconnected at once.
    size_t max_clients = 32;
    // Keep every received message for ReceivedMessages. A long-running server that nobody
    // inspects turns this off so that its memory does not grow with every message.
    bool record_messages = true;
    // Ports on which the same analyzer is also served over VXI-11 (its core channel, reached
    // without the portmapper) and over HiSLIP; 0 picks a free port, unset serves neither.
    std::optional<uint16_t> vxi11_port;
    std::optional<uint16_t> hislip_port;
};

// The protocols over which the emulator serves the analyzer.
enum class EmulatorTransport { kSocket, kVxi11, kHislip };

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
    // Throws std::invalid_argument for an unknown model, a serial number or firmware
    // revision that cannot be a field of the *IDN? reply (it needs 1 to 64 printable ASCII
    // characters without commas or semicolons), a negative time scale or idle timeout, no
    // room for a client, or a log limit below EmulatorOptions::kMinLogLimitBytes.
    explicit Emulator(EmulatorOptions options = {});
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Starts listening and serving; returns the port (an ephemeral one for port 0).
    // Throws std::system_error when the port cannot be opened, std::logic_error when
    // already running, std::runtime_error when the log file cannot be opened.
    uint16_t Start(uint16_t port = 0);
    // Closes the connections and the listener and waits for the server thread. The
    // analyzer's state is kept; Start may be called again.
    void Stop();
    bool running() const;
    uint16_t port() const;
    // The VISA resource descriptor of the emulator: "TCPIP::127.0.0.1::<port>::SOCKET".
    std::string ResourceName() const;
    // The descriptor for a protocol: the one above for SOCKET,
    // "TCPIP0::127.0.0.1,<port>::inst0::INSTR" for VXI-11 (the core channel's port given
    // directly) and "TCPIP0::127.0.0.1::hislip0,<port>::INSTR" for HiSLIP.
    std::string ResourceName(EmulatorTransport transport) const;
    // The VXI-11 core channel's and the HiSLIP port; 0 when not served.
    uint16_t Vxi11Port() const;
    uint16_t HislipPort() const;
    // A client connection of the analyzer whose replies arrive whole (see
    // gateway/instrument_link.h), as the protocol gateways use; `peer` names it in the log.
    // Needs a running emulator (std::logic_error otherwise).
    std::unique_ptr<InstrumentLink> OpenLink(const std::string& peer);

    // ---- What arrived.
    // Every message received so far, in order, without its terminator (LF or CR LF); empty
    // when EmulatorOptions::record_messages is off.
    std::vector<std::string> ReceivedMessages() const;
    void ClearReceivedMessages();
    // Waits until at least count messages have been received (counted since the last
    // ClearReceivedMessages). False on timeout.
    bool WaitForMessages(size_t count, std::chrono::milliseconds timeout) const;
    // Connections accepted so far (those refused for want of room are not counted).
    size_t ConnectionCount() const;
    bool WaitForConnections(size_t count, std::chrono::milliseconds timeout) const;
    // Whether any client is connected, and how many are.
    bool connected() const;
    size_t ConnectedClients() const;
    // Waits until exactly count clients are connected. False on timeout.
    bool WaitForConnectedClients(size_t count, std::chrono::milliseconds timeout) const;
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
    // Closes the connections of all clients now (nothing happens when none is connected).
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
