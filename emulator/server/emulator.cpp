#include "tevo/emulator/emulator.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "gateway/instrument_link.h"
#include "gateway/protocol_gateway.h"
#include "instrument/instrument.h"
#include "scpi/message_framer.h"
#include "server/client_connection.h"
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
    return static_cast<int>(std::min<int64_t>((left.count() + 999) / 1000, 3600000));
}

// The options, checked; the analyzer checks its own (model, identity, time scale).
EmulatorOptions Checked(EmulatorOptions options) {
    if (options.idle_timeout.count() < 0)
        throw std::invalid_argument("the idle timeout must not be negative");
    if (options.max_clients == 0)
        throw std::invalid_argument("the emulator needs room for at least one client");
    if (options.log_limit_bytes < EmulatorOptions::kMinLogLimitBytes)
        throw std::invalid_argument("the log limit must be at least " +
                                    std::to_string(EmulatorOptions::kMinLogLimitBytes) + " bytes");
    return options;
}

}  // namespace

// The server thread serves all clients in turn from one poll() loop and never blocks on
// one of them: sockets are read and written only as far as they go without waiting. Each
// turn of a connection sends what is queued for it, finishes what it waits for when it
// can, and runs at most one new message, so that no client starves the others. The
// analyzer, the recorded messages and the test hooks are guarded by one mutex; the thread
// holds it while it records and runs a message, never while it waits for the network or
// the clock.
class Emulator::Server {
  public:
    explicit Server(EmulatorOptions options)
        : options_(Checked(std::move(options))),
          clock_(options_.manual_clock),
          instrument_(Identity{options_.model, options_.serial, options_.firmware},
                      options_.time_scale) {}

    ~Server() { Stop(); }

    uint16_t Start(uint16_t port) {
        if (running_)
            throw std::logic_error("the emulator is already running");
        if (!log_)
            log_ = std::make_unique<MessageLog>(options_.log_path, options_.log_limit_bytes);
        listeners_ = OpenListeners(options_.bind_address, port);
        port_ = listeners_.port;
        stop_ = false;
        thread_ = std::thread([this] { Run(); });
        running_ = true;
        try {
            StartGateways();
        } catch (...) {
            Stop();
            throw;
        }
        return port_;
    }

    void Stop() {
        if (!running_)
            return;
        // The gateways first: their links are clients of the server thread.
        vxi11_.reset();
        hislip_.reset();
        stop_ = true;
        ShutDownClients();
        wake_.Wake();
        thread_.join();
        CloseListeners(listeners_);
        running_ = false;
    }

    // A new client of the analyzer whose replies go out whole (for a gateway). The server
    // thread adds it on its next turn.
    std::unique_ptr<InstrumentLink> OpenLink(const std::string& peer) {
        int fds[2] = {-1, -1};
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            throw std::system_error(errno, std::generic_category(), "socketpair");
        auto link = std::make_unique<InstrumentLink>(fds[1]);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_links_.push_back(PendingLink{fds[0], peer});
        }
        wake_.Wake();
        return link;
    }

    uint8_t StatusByte() {
        std::lock_guard<std::mutex> lock(mutex_);
        return instrument_.status().StatusByte();
    }

    // Shuts down every client's connection; the server thread then sees it end.
    void ShutDownClients() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const int fd : client_fds_)
            ::shutdown(fd, SHUT_RDWR);
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
    // The sockets of the connected clients. Only the server thread adds and closes them,
    // under the mutex, so that another thread never shuts down a reused descriptor.
    std::vector<int> client_fds_;
    WakePipe wake_;
    std::atomic<bool> running_{false};
    std::atomic<uint16_t> port_{0};
    std::unique_ptr<ProtocolGateway> vxi11_;
    std::unique_ptr<ProtocolGateway> hislip_;

  private:
    struct PendingLink {
        int fd;
        std::string peer;
    };

    void StartGateways() {
        GatewayServices services;
        services.open_link = [this](const std::string& peer) { return OpenLink(peer); };
        services.status_byte = [this] { return StatusByte(); };
        if (options_.vxi11_port)
            vxi11_ = StartVxi11Gateway(options_.bind_address, *options_.vxi11_port, services);
        if (options_.hislip_port)
            hislip_ = StartHislipGateway(options_.bind_address, *options_.hislip_port, services);
    }

    // Takes the links opened since the last turn as clients.
    void AddPendingLinks(SteadyClock::time_point now) {
        std::vector<PendingLink> links;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            links.swap(pending_links_);
        }
        for (PendingLink& link : links)
            AddClient(link.fd, "gateway " + link.peer, now, true);
    }

    using Client = ClientConnection;

    void Run() {
        std::vector<pollfd> fds;
        while (!stop_) {
            const bool more_to_do = ServeClients();
            fds.clear();
            for (const auto& client : clients_)
                fds.push_back(pollfd{client->fd, Events(*client), 0});
            const size_t first_listener = fds.size();
            for (const int fd : listeners_.fds)
                fds.push_back(pollfd{fd, POLLIN, 0});
            fds.push_back(pollfd{wake_.read_fd(), POLLIN, 0});
            if (::poll(fds.data(), fds.size(), more_to_do ? 0 : PollTimeout()) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (fds.back().revents != 0)
                wake_.Drain();
            const SteadyClock::time_point now = SteadyClock::now();
            AddPendingLinks(now);
            for (size_t i = 0; i < first_listener; ++i)
                MoveBytes(*clients_[i], fds[i].revents, now);
            for (size_t i = first_listener; i + 1 < fds.size() && !stop_; ++i) {
                if ((fds[i].revents & POLLIN) == 0)
                    continue;
                std::string peer;
                const int fd = AcceptClient(fds[i].fd, peer);
                if (fd >= 0)
                    AddClient(fd, peer, now);
            }
        }
        for (const auto& client : clients_)
            CloseClient(*client);
        clients_.clear();
        std::lock_guard<std::mutex> lock(mutex_);
        for (const PendingLink& link : pending_links_)
            ::close(link.fd);
        pending_links_.clear();
    }

    static short Events(const Client& client) {
        short events = 0;
        if (client.WantsInput())
            events |= POLLIN;
        if (!client.output.empty())
            events |= POLLOUT;
        return events;
    }

    // One turn of every client; drops those that are gone or idle. True when a client has
    // work that can be done at once.
    bool ServeClients() {
        ran_message_ = false;
        for (auto it = clients_.begin(); it != clients_.end();) {
            Client& client = **it;
            if (!client.lost && !Advance(client))
                client.lost = true;
            const SteadyClock::time_point now = SteadyClock::now();
            if (client.AwaitsTheEmulator())
                client.NoteProgress(now);
            const std::optional<SteadyClock::time_point> idle =
                client.IdleDeadline(options_.idle_timeout);
            if (!client.lost && idle && now >= *idle) {
                log_->Event(client.id, "dropped: no progress for " +
                                           std::to_string(options_.idle_timeout.count()) + " ms");
                client.lost = true;
            }
            if (client.lost) {
                CloseClient(client);
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
        // A message that ran may have ended an operation that another client waits for.
        return std::any_of(clients_.begin(), clients_.end(), [this](const auto& client) {
            return client->HasMessageToRun() || (ran_message_ && client->waiting);
        });
    }

    // How long poll() may wait: until a held-back reply is due, an operation ends or a
    // client becomes idle; -1 for ever.
    int PollTimeout() const {
        std::optional<SteadyClock::time_point> due;
        const auto consider = [&due](SteadyClock::time_point time) {
            if (!due || time < *due)
                due = time;
        };
        bool waiting = false;
        for (const auto& client : clients_) {
            if (client->delayed_reply)
                consider(client->reply_due);
            if (const auto idle = client->IdleDeadline(options_.idle_timeout))
                consider(*idle);
            waiting = waiting || client->waiting != nullptr;
        }
        int timeout = due ? MillisecondsUntil(*due) : -1;
        if (waiting && !clock_.manual()) {
            double next = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                next = instrument_.NextEventTime();
            }
            if (std::isfinite(next)) {
                const double seconds = std::max(0.0, next - clock_.Now());
                const int until_event =
                    static_cast<int>(std::min(std::ceil(seconds * 1000.0), 3600000.0));
                timeout = timeout < 0 ? until_event : std::min(timeout, until_event);
            }
        }
        return timeout;
    }

    // Moves bytes of a client whose socket poll() reported ready.
    void MoveBytes(Client& client, short revents, SteadyClock::time_point now) {
        if (client.lost || revents == 0)
            return;
        if ((revents & POLLOUT) != 0) {
            const Transfer sent = client.output.Flush(client.fd);
            if (sent == Transfer::kFailed)
                client.lost = true;
            else if (sent == Transfer::kMoved)
                client.NoteProgress(now);
        }
        if (client.WantsInput() && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            Receive(client, now);
        } else if ((revents & (POLLHUP | POLLERR)) != 0 && !client.WantsInput()) {
            client.lost = true;  // no way to read or answer any more
        }
    }

    void Receive(Client& client, SteadyClock::time_point now) {
        size_t got = 0;
        switch (ReceiveSome(client.fd, receive_buffer_.data(), receive_buffer_.size(), got)) {
            case Transfer::kMoved:
                break;
            case Transfer::kNone:
                return;
            case Transfer::kClosed:
            case Transfer::kFailed:
                client.lost = true;
                return;
        }
        client.NoteProgress(now);
        client.framer.Append(std::string_view(receive_buffer_.data(), got));
        if (client.waiting && client.framer.HasComplete()) {
            // IEEE 488.2: a new message before the response was sent interrupts the query.
            // A message without queries waits instead (*WAI).
            std::lock_guard<std::mutex> lock(mutex_);
            if (Instrument::ExpectsResponse(*client.waiting)) {
                instrument_.Interrupt(*client.waiting);
                client.waiting.reset();
            }
        }
    }

    void AddClient(int fd, const std::string& peer, SteadyClock::time_point now,
                   bool framed_replies = false) {
        if (clients_.size() >= options_.max_clients) {
            log_->Event("refused a connection from " + peer + ": " +
                        std::to_string(clients_.size()) + " clients are connected");
            ::close(fd);
            return;
        }
        size_t id = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            id = ++connections_;
            client_fds_.push_back(fd);
        }
        changed_.notify_all();
        clients_.push_back(std::make_unique<Client>(id, fd, now, framed_replies));
        log_->Event(id, "connection from " + peer);
    }

    void CloseClient(const Client& client) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::erase(client_fds_, client.fd);
            ::close(client.fd);
        }
        changed_.notify_all();
        log_->Event(client.id, "connection closed");
    }

    // One turn of a client: send what is queued, finish what it waits for when possible,
    // then run at most one new message. False when the connection is to be closed.
    bool Advance(Client& client) {
        bool took_message = false;
        while (true) {
            if (!client.output.empty()) {
                const Transfer sent = client.output.Flush(client.fd);
                if (sent == Transfer::kFailed)
                    return false;
                if (sent == Transfer::kMoved)
                    client.NoteProgress(SteadyClock::now());
                if (!client.output.empty())
                    return true;  // the rest goes when the socket takes it
            }
            if (client.delayed_reply) {
                if (SteadyClock::now() < client.reply_due)
                    return true;
                QueueReply(client, *client.delayed_reply);
                client.delayed_reply.reset();
                continue;
            }
            if (client.waiting) {
                bool done = false;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    done = instrument_.Continue(*client.waiting, clock_.Now());
                }
                if (!done)
                    return true;
                std::string reply = Instrument::ResponseMessage(*client.waiting);
                client.waiting.reset();
                Deliver(client, std::move(reply), client.waiting_decision);
                continue;
            }
            scpi::MessageFramer::Message message;
            if (took_message || !client.framer.Next(message))
                return true;
            took_message = true;
            if (!Handle(client, std::move(message)))
                return false;
        }
    }

    bool Handle(Client& client, scpi::MessageFramer::Message message) {
        if (message.overrun) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                instrument_.ReportInputOverrun();
            }
            log_->Event(client.id, "input buffer overrun: message dropped");
            return true;
        }
        log_->Received(client.id, message.text);
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
                    ran_message_ = true;
                }
            }
        }
        changed_.notify_all();
        if (decision.close_connection) {
            log_->Event(client.id, "closing the connection (injected fault)");
            return false;
        }
        if (scripted) {
            Deliver(client, *scripted, decision);
        } else if (!done) {
            client.waiting = std::move(execution);
            client.waiting_decision = decision;
        } else {
            Deliver(client, Instrument::ResponseMessage(*execution), decision);
        }
        return true;
    }

    void Deliver(Client& client, std::string reply, const FaultPlan::Decision& decision) {
        std::string bytes = decision.Apply(std::move(reply));
        if (bytes.empty())
            return;
        if (decision.delay.count() > 0) {
            client.delayed_reply = std::move(bytes);
            client.reply_due = SteadyClock::now() + decision.delay;
            return;
        }
        QueueReply(client, bytes);
    }

    void QueueReply(Client& client, std::string_view bytes) {
        log_->Replied(client.id, bytes);
        if (client.framed_replies)
            client.output.Append(InstrumentLink::Frame(bytes));
        else
            client.output.Append(bytes);
    }

    Listeners listeners_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::unique_ptr<MessageLog> log_;
    // The server thread's own state.
    std::vector<std::unique_ptr<Client>> clients_;
    std::array<char, 65536> receive_buffer_{};
    bool ran_message_ = false;                // a message ran in this pass over the clients
    std::vector<PendingLink> pending_links_;  // under mutex_

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
    return ResourceName(EmulatorTransport::kSocket);
}

std::unique_ptr<InstrumentLink> Emulator::OpenLink(const std::string& peer) {
    if (!server_->running_)
        throw std::logic_error("the emulator is not running");
    return server_->OpenLink(peer);
}

uint16_t Emulator::Vxi11Port() const {
    return server_->vxi11_ ? server_->vxi11_->port() : 0;
}

uint16_t Emulator::HislipPort() const {
    return server_->hislip_ ? server_->hislip_->port() : 0;
}

std::string Emulator::ResourceName(EmulatorTransport transport) const {
    std::string host = server_->options_.bind_address;
    if (host == "0.0.0.0")
        host = "127.0.0.1";
    else if (host == "::")
        host = "::1";
    const std::string resource_host = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    switch (transport) {
        case EmulatorTransport::kSocket:
            break;
        case EmulatorTransport::kVxi11:
            return "TCPIP0::" + resource_host + "," + std::to_string(Vxi11Port()) +
                   "::inst0::INSTR";
        case EmulatorTransport::kHislip:
            return "TCPIP0::" + resource_host + "::hislip0," + std::to_string(HislipPort()) +
                   "::INSTR";
    }
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
    return ConnectedClients() > 0;
}

size_t Emulator::ConnectedClients() const {
    std::lock_guard<std::mutex> lock(server_->mutex_);
    return server_->client_fds_.size();
}

bool Emulator::WaitForConnectedClients(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(server_->mutex_);
    return server_->changed_.wait_for(lock, timeout,
                                      [&] { return server_->client_fds_.size() == count; });
}

bool Emulator::WaitForDisconnect(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(server_->mutex_);
    return server_->changed_.wait_for(lock, timeout, [&] { return server_->client_fds_.empty(); });
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
    server_->ShutDownClients();
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
    // The message may have ended an operation that a client waits for.
    server_->wake_.Wake();
    return response;
}

}  // namespace tevo::emulator
