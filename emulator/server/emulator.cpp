#include "tevo/emulator/emulator.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "instrument/instrument.h"
#include "scpi/message_framer.h"
#include "server/clock.h"
#include "server/fault_plan.h"
#include "server/message_log.h"
#include "server/socket_io.h"

namespace tevo::emulator {
namespace {

using SteadyClock = std::chrono::steady_clock;

int MillisecondsUntil(SteadyClock::time_point due) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(due - SteadyClock::now());
    if (left.count() <= 0)
        return 0;
    return static_cast<int>((left.count() + 999) / 1000);
}

}  // namespace

// The server thread serves one client at a time. The analyzer, the recorded messages and
// the test hooks are guarded by one mutex; the thread holds it while it records and runs
// a message, never while it waits for the network or the clock.
class Emulator::Server {
  public:
    explicit Server(EmulatorOptions options)
        : options_(std::move(options)),
          clock_(options_.manual_clock),
          instrument_(Identity{options_.model, options_.serial, options_.firmware},
                      options_.time_scale) {}

    ~Server() { Stop(); }

    uint16_t Start(uint16_t port) {
        if (running_)
            throw std::logic_error("the emulator is already running");
        if (!log_)
            log_ = std::make_unique<MessageLog>(options_.log_path);
        listeners_ = OpenListeners(options_.bind_address, port);
        port_ = listeners_.port;
        stop_ = false;
        thread_ = std::thread([this] { Run(); });
        running_ = true;
        return port_;
    }

    void Stop() {
        if (!running_)
            return;
        stop_ = true;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (client_fd_ >= 0)
                ::shutdown(client_fd_, SHUT_RDWR);
        }
        wake_.Wake();
        thread_.join();
        CloseListeners(listeners_);
        running_ = false;
    }

    // Everything the public class offers works on these members.
    EmulatorOptions options_;
    Clock clock_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Instrument instrument_;
    FaultPlan plan_;
    std::vector<std::string> received_;
    size_t received_count_ = 0;  // since the last ClearReceivedMessages
    size_t connections_ = 0;
    bool connected_ = false;
    int client_fd_ = -1;
    std::atomic<bool> running_{false};
    std::atomic<uint16_t> port_{0};

  private:
    // The state of one connection while it is served.
    struct Connection {
        int fd = -1;
        scpi::MessageFramer framer;
        std::unique_ptr<Execution> waiting;  // a message that waits for an operation
        FaultPlan::Decision waiting_decision;
        std::string delayed_reply;
        SteadyClock::time_point reply_due;
        bool reply_delayed = false;
    };

    void Run() {
        std::vector<pollfd> fds;
        while (!stop_) {
            fds.clear();
            for (const int fd : listeners_.fds)
                fds.push_back(pollfd{fd, POLLIN, 0});
            fds.push_back(pollfd{wake_.read_fd(), POLLIN, 0});
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                break;
            if (fds.back().revents != 0)
                wake_.Drain();
            for (size_t i = 0; i + 1 < fds.size() && !stop_; ++i) {
                if ((fds[i].revents & POLLIN) == 0)
                    continue;
                std::string peer;
                const int fd = AcceptClient(fds[i].fd, peer);
                if (fd >= 0)
                    Serve(fd, peer);
            }
        }
    }

    void Serve(int fd, const std::string& peer) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            client_fd_ = fd;
            connected_ = true;
            ++connections_;
        }
        changed_.notify_all();
        log_->Event("connection from " + peer);

        Connection c;
        c.fd = fd;
        while (!stop_ && Step(c)) {
        }

        {
            std::lock_guard<std::mutex> lock(mutex_);
            client_fd_ = -1;
            connected_ = false;
            ::close(fd);
        }
        changed_.notify_all();
        log_->Event("connection closed");
    }

    // One turn of the connection: make progress if possible, otherwise wait for input, the
    // clock, a delayed reply or a wake-up. False when the connection is to be closed.
    bool Step(Connection& c) {
        if (c.reply_delayed) {
            if (SteadyClock::now() >= c.reply_due) {
                c.reply_delayed = false;
                return SendReply(c, c.delayed_reply);
            }
        } else if (c.waiting) {
            bool done = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                done = instrument_.Continue(*c.waiting, clock_.Now());
            }
            if (done) {
                const std::string reply = Instrument::ResponseMessage(*c.waiting);
                c.waiting.reset();
                return Deliver(c, reply, c.waiting_decision);
            }
        } else {
            scpi::MessageFramer::Message message;
            if (c.framer.Next(message))
                return Handle(c, std::move(message));
        }
        return Wait(c);
    }

    bool Wait(Connection& c) {
        int timeout = -1;
        if (c.reply_delayed) {
            timeout = MillisecondsUntil(c.reply_due);
        } else if (c.waiting && !clock_.manual()) {
            double next = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                next = instrument_.NextEventTime();
            }
            if (std::isfinite(next)) {
                const double seconds = std::max(0.0, next - clock_.Now());
                timeout = static_cast<int>(std::min(std::ceil(seconds * 1000.0), 3600000.0));
            }
        }
        // While a message waits or a reply is held back, one queued message is enough: the
        // rest stays in the socket, so that a client that floods the analyzer is slowed
        // down by TCP instead of filling memory.
        const bool busy = c.reply_delayed || c.waiting != nullptr;
        const short input = (busy && c.framer.HasComplete()) ? 0 : POLLIN;
        pollfd fds[2] = {{c.fd, input, 0}, {wake_.read_fd(), POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0)
            return errno == EINTR;
        if (fds[1].revents != 0)
            wake_.Drain();
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            return true;
        char buffer[65536];
        const ssize_t got = ::recv(c.fd, buffer, sizeof(buffer), 0);
        if (got < 0)
            return errno == EINTR;
        if (got == 0)
            return false;  // the client closed the connection
        c.framer.Append(std::string_view(buffer, static_cast<size_t>(got)));
        if (c.waiting && c.framer.HasComplete()) {
            // IEEE 488.2: a new message before the response was sent interrupts the query.
            // A message without queries waits instead (*WAI).
            std::lock_guard<std::mutex> lock(mutex_);
            if (Instrument::ExpectsResponse(*c.waiting)) {
                instrument_.Interrupt(*c.waiting);
                c.waiting.reset();
            }
        }
        return true;
    }

    bool Handle(Connection& c, scpi::MessageFramer::Message message) {
        if (message.overrun) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                instrument_.ReportInputOverrun();
            }
            log_->Event("input buffer overrun: message dropped");
            return true;
        }
        log_->Received(message.text);
        FaultPlan::Decision decision;
        std::optional<std::string> scripted;
        auto execution = std::make_unique<Execution>();
        bool done = true;
        {
            // Recording and running happen under one lock, so that a test that sees the
            // message recorded also sees its effect.
            std::lock_guard<std::mutex> lock(mutex_);
            ++received_count_;
            if (options_.record_messages)
                received_.push_back(message.text);
            decision = plan_.OnMessage(message.text);
            if (!decision.close_connection) {
                scripted = plan_.OnScript(message.text);
                if (!scripted) {
                    Instrument::Begin(*execution, std::move(message.text));
                    done = instrument_.Continue(*execution, clock_.Now());
                }
            }
        }
        changed_.notify_all();
        if (decision.close_connection) {
            log_->Event("closing the connection (injected fault)");
            return false;
        }
        if (scripted)
            return Deliver(c, *scripted, decision);
        if (!done) {
            c.waiting = std::move(execution);
            c.waiting_decision = decision;
            return true;
        }
        return Deliver(c, Instrument::ResponseMessage(*execution), decision);
    }

    bool Deliver(Connection& c, std::string reply, const FaultPlan::Decision& decision) {
        std::string bytes = decision.Apply(std::move(reply));
        if (bytes.empty())
            return true;
        if (decision.delay.count() > 0) {
            c.delayed_reply = std::move(bytes);
            c.reply_due = SteadyClock::now() + decision.delay;
            c.reply_delayed = true;
            return true;
        }
        return SendReply(c, bytes);
    }

    bool SendReply(Connection& c, std::string_view bytes) {
        log_->Replied(bytes);
        return SendAll(c.fd, bytes);
    }

    WakePipe wake_;
    Listeners listeners_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::unique_ptr<MessageLog> log_;

    friend class Emulator;
};

Emulator::Emulator(EmulatorOptions options)
    : server_(std::make_unique<Server>(std::move(options))) {}

Emulator::~Emulator() {
    server_->Stop();
}

uint16_t Emulator::Start(uint16_t port) {
    return server_->Start(port);
}

void Emulator::Stop() {
    server_->Stop();
}

bool Emulator::running() const {
    return server_->running_;
}

uint16_t Emulator::port() const {
    return server_->port_;
}

std::string Emulator::ResourceName() const {
    std::string host = server_->options_.bind_address;
    if (host == "0.0.0.0")
        host = "127.0.0.1";
    else if (host == "::")
        host = "::1";
    return "TCPIP::" + host + "::" + std::to_string(port()) + "::SOCKET";
}

std::vector<std::string> Emulator::ReceivedMessages() const {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    return server_->received_;
}

void Emulator::ClearReceivedMessages() {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    server_->received_.clear();
    server_->received_count_ = 0;
}

bool Emulator::WaitForMessages(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(server_->mutex_);
    return server_->changed_.wait_for(lock, timeout,
                                      [&] { return server_->received_count_ >= count; });
}

size_t Emulator::ConnectionCount() const {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    return server_->connections_;
}

bool Emulator::WaitForConnections(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(server_->mutex_);
    return server_->changed_.wait_for(lock, timeout,
                                      [&] { return server_->connections_ >= count; });
}

bool Emulator::connected() const {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    return server_->connected_;
}

bool Emulator::WaitForDisconnect(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(server_->mutex_);
    return server_->changed_.wait_for(lock, timeout, [&] { return !server_->connected_; });
}

void Emulator::ExpectQuery(std::string message, std::string reply) {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    server_->plan_.ExpectQuery(std::move(message), std::move(reply));
}

void Emulator::ExpectCommand(std::string message) {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    server_->plan_.ExpectCommand(std::move(message));
}

std::vector<std::string> Emulator::VerifyScript() const {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    return server_->plan_.VerifyScript();
}

void Emulator::ClearScript() {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    server_->plan_.ClearScript();
}

void Emulator::InjectFault(Fault fault) {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    server_->plan_.Add(std::move(fault));
}

void Emulator::ClearFaults() {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    server_->plan_.Clear();
}

void Emulator::CloseConnection() {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    if (server_->client_fd_ >= 0)
        ::shutdown(server_->client_fd_, SHUT_RDWR);
}

void Emulator::SetEventStatusBits(uint8_t bits) {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    server_->instrument_.status().SetEventStatusBits(bits);
}

void Emulator::PushError(int code, std::string_view detail) {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    server_->instrument_.status().PushError(code, detail);
}

void Emulator::AdvanceClock(std::chrono::duration<double> seconds) {
    if (!server_->clock_.manual())
        throw std::logic_error("AdvanceClock needs an emulator with a manual clock");
    if (seconds.count() < 0)
        throw std::invalid_argument("the clock cannot go back");
    server_->clock_.Advance(seconds.count());
    server_->wake_.Wake();
}

std::string Emulator::Execute(std::string_view message) {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    Execution execution;
    Instrument::Begin(execution, std::string(message));
    server_->instrument_.Continue(execution, server_->clock_.Now());
    std::string response = Instrument::ResponseMessage(execution);
    if (!response.empty())
        response.pop_back();
    return response;
}

}  // namespace tevo::emulator
