#include "hislip/hislip_gateway.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hislip/hislip_message.h"
#include "server/socket_io.h"

namespace tevo::emulator {
namespace {

namespace hs = tevo::visa::hislip;
using hs::Message;
using hs::MessageType;

constexpr std::string_view kVendorId = "TV";
constexpr size_t kReceiveChunk = 64 * 1024;

// One client socket of the gateway carrying whole HiSLIP messages. Every wait also ends
// when the gateway's stop pipe becomes readable.
class HislipConnection {
  public:
    HislipConnection(int fd, int stop_fd, uint64_t max_payload)
        : fd_(fd), stop_fd_(stop_fd), reader_(max_payload) {}
    ~HislipConnection() { ::close(fd_); }
    HislipConnection(const HislipConnection&) = delete;
    HislipConnection& operator=(const HislipConnection&) = delete;

    enum class Got { kMessage, kClosed, kMalformed };
    Got Receive(Message* out) {
        while (true) {
            switch (reader_.Take(out)) {
                case hs::MessageReader::Next::kMessage:
                    return Got::kMessage;
                case hs::MessageReader::Next::kMalformed:
                    return Got::kMalformed;
                case hs::MessageReader::Next::kNeedMore:
                    break;
            }
            if (!WaitFor(POLLIN)) {
                return Got::kClosed;
            }
            size_t received = 0;
            const Transfer got =
                ReceiveSome(fd_, reader_.Room(kReceiveChunk), kReceiveChunk, received);
            if (got == Transfer::kClosed || got == Transfer::kFailed) {
                return Got::kClosed;
            }
            reader_.Commit(received);
        }
    }

    // Sends one whole message; messages of different threads never interleave.
    bool Send(std::string_view bytes) {
        std::lock_guard<std::mutex> lock(send_mutex_);
        while (!bytes.empty()) {
            const ssize_t sent =
                ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) {
                bytes.remove_prefix(static_cast<size_t>(sent));
            } else if (sent < 0 && errno == EINTR) {
                continue;
            } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!WaitFor(POLLOUT)) {
                    return false;
                }
            } else {
                return false;
            }
        }
        return true;
    }
    bool Send(MessageType type, uint8_t control, uint32_t parameter,
              std::string_view payload = {}) {
        return Send(hs::Encode(type, control, parameter, payload));
    }

    // Wakes a Receive or Send blocked in another thread; the peer sees the connection end.
    void Shutdown() { ::shutdown(fd_, SHUT_RDWR); }

  private:
    bool WaitFor(short events) {
        while (true) {
            std::array<pollfd, 2> fds{pollfd{fd_, events, 0}, pollfd{stop_fd_, POLLIN, 0}};
            const int ready = ::poll(fds.data(), fds.size(), -1);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready < 0 || fds[1].revents != 0) {
                return false;
            }
            if (fds[0].revents != 0) {
                return true;  // errors and hang-ups show in the following call
            }
        }
    }

    const int fd_;
    const int stop_fd_;
    hs::MessageReader reader_;  // used by the one receiving thread
    std::mutex send_mutex_;
};

// Exclusive and shared locks among the sessions of one gateway.
class LockTable {
  public:
    // Waits up to timeout for the lock; false when it was not granted (or the gateway
    // stops). An empty key asks for the exclusive lock.
    bool Acquire(uint16_t session, const std::string& key, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto grantable = [&] {
            if (stopping_ || (exclusive_ && *exclusive_ != session)) {
                return false;
            }
            if (key.empty()) {
                return std::all_of(shared_.begin(), shared_.end(),
                                   [&](uint16_t holder) { return holder == session; });
            }
            return shared_.empty() || shared_key_ == key;
        };
        if (!changed_.wait_for(lock, timeout, grantable) || stopping_) {
            return false;
        }
        if (key.empty()) {
            exclusive_ = session;
        } else {
            shared_key_ = key;
            shared_.insert(session);
        }
        return true;
    }

    // The AsyncLockResponse control code of a release.
    uint8_t Release(uint16_t session) {
        std::lock_guard<std::mutex> lock(mutex_);
        uint8_t result = hs::kLockError;
        if (exclusive_ == session) {
            exclusive_.reset();
            result = hs::kLockSuccess;
        } else if (shared_.erase(session) > 0) {
            result = hs::kLockSharedReleased;
        }
        changed_.notify_all();
        return result;
    }

    void ReleaseAll(uint16_t session) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (exclusive_ == session) {
            exclusive_.reset();
        }
        shared_.erase(session);
        changed_.notify_all();
    }

    // AsyncLockInfoResponse: whether an exclusive lock is held, and by how many sessions.
    std::pair<bool, uint32_t> Info() {
        std::lock_guard<std::mutex> lock(mutex_);
        return {exclusive_.has_value(),
                static_cast<uint32_t>(shared_.size() + (exclusive_ ? 1 : 0))};
    }

    void Stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<uint16_t> exclusive_;
    std::string shared_key_;
    std::set<uint16_t> shared_;
    bool stopping_ = false;
};

struct Session {
    uint16_t id = 0;
    std::string peer;
    std::shared_ptr<HislipConnection> sync;
    std::atomic<uint64_t> client_max{hs::kDefaultMaxMessageSize};
    // Changes whenever the link is replaced: replies of an older link are dropped.
    std::atomic<uint64_t> generation{0};
    // Held while a piece of a reply goes out, and while DeviceClearAcknowledge does: no
    // piece of a reply from before a clear can follow the acknowledgement.
    std::mutex reply_send_mutex;

    std::mutex mutex;  // guards what follows
    std::shared_ptr<HislipConnection> async;
    std::shared_ptr<InstrumentLink> link;
    std::optional<uint32_t> awaited;  // MessageID of the query whose reply is due
    uint32_t last_end_id = hs::kFirstMessageId - 2;
    std::string incoming;   // Data of a message whose DataEnd has not come
    bool clearing = false;  // between AsyncDeviceClear and DeviceClearComplete
    bool closing = false;
};

class HislipGateway final : public ProtocolGateway {
  public:
    HislipGateway(const std::string& bind_address, uint16_t port, GatewayServices services,
                  uint64_t max_message_size)
        : services_(std::move(services)),
          max_message_size_(std::max<uint64_t>(max_message_size, 1)),
          listeners_(OpenListeners(bind_address, port)) {
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }

    ~HislipGateway() override {
        stopping_ = true;
        stop_.Wake();  // never drained: every wait of the gateway ends from now on
        locks_.Stop();
        acceptor_.join();
        const std::vector<std::shared_ptr<Session>> sessions = Sessions();
        for (const std::shared_ptr<Session>& session : sessions) {
            CloseSession(*session);
        }
        // A link wakes one blocked call per interruption: interrupt until every worker
        // has seen it.
        std::unique_lock<std::mutex> lock(workers_mutex_);
        while (!std::all_of(workers_.begin(), workers_.end(),
                            [](const Worker& w) { return w.done->load(); })) {
            lock.unlock();
            for (const std::shared_ptr<Session>& session : sessions) {
                InterruptLink(*session);
            }
            lock.lock();
            worker_ended_.wait_for(lock, std::chrono::milliseconds(20));
        }
        for (Worker& worker : workers_) {
            worker.thread.join();
        }
        lock.unlock();
        CloseListeners(listeners_);
    }

    uint16_t port() const override { return listeners_.port; }

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void StartWorker(std::function<void()> work) {
        std::lock_guard<std::mutex> lock(workers_mutex_);
        // Threads that have ended are joined here, so that a long-running emulator does
        // not collect them.
        for (auto it = workers_.begin(); it != workers_.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = workers_.erase(it);
            } else {
                ++it;
            }
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back({std::thread([this, done, work = std::move(work)] {
                                work();
                                std::lock_guard<std::mutex> lock(workers_mutex_);
                                done->store(true);
                                worker_ended_.notify_all();
                            }),
                            done});
    }

    std::vector<std::shared_ptr<Session>> Sessions() {
        std::lock_guard<std::mutex> lock(sessions_mutex_);
        std::vector<std::shared_ptr<Session>> sessions;
        for (const auto& [id, session] : sessions_) {
            sessions.push_back(session);
        }
        return sessions;
    }

    void AcceptLoop() {
        std::vector<pollfd> fds(listeners_.fds.size());
        std::transform(listeners_.fds.begin(), listeners_.fds.end(), fds.begin(), [](int fd) {
            return pollfd{fd, POLLIN, 0};
        });
        fds.push_back({stop_.read_fd(), POLLIN, 0});
        while (!stopping_) {
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
                return;
            }
            if (fds.back().revents != 0) {
                return;
            }
            for (size_t i = 0; i + 1 < fds.size(); ++i) {
                if (fds[i].revents == 0) {
                    continue;
                }
                std::string peer;
                const int client = AcceptClient(fds[i].fd, peer);
                if (client < 0) {
                    continue;
                }
                auto connection =
                    std::make_shared<HislipConnection>(client, stop_.read_fd(), max_message_size_);
                StartWorker([this, connection, peer] { ServeConnection(connection, peer); });
            }
        }
    }

    // The first message of a connection decides which channel it is.
    void ServeConnection(const std::shared_ptr<HislipConnection>& connection,
                         const std::string& peer) {
        Message first;
        const HislipConnection::Got got = connection->Receive(&first);
        if (got == HislipConnection::Got::kMalformed) {
            connection->Send(MessageType::kFatalError, hs::kFatalBadHeader, 0);
            return;
        }
        if (got != HislipConnection::Got::kMessage) {
            return;
        }
        if (first.type == MessageType::kInitialize) {
            ServeSynchronousChannel(connection, peer);
        } else if (first.type == MessageType::kAsyncInitialize) {
            ServeAsynchronousChannel(connection, hs::LowHalf(first.parameter));
        } else {
            connection->Send(MessageType::kFatalError, hs::kFatalChannelsNotEstablished, 0,
                             "The first message must be Initialize or AsyncInitialize.");
        }
    }

    std::shared_ptr<InstrumentLink> OpenLink(const std::string& peer) {
        try {
            return services_.open_link("hislip " + peer);
        } catch (const std::exception&) {
            return nullptr;  // the emulator is stopping
        }
    }

    void ServeSynchronousChannel(const std::shared_ptr<HislipConnection>& connection,
                                 const std::string& peer) {
        auto session = std::make_shared<Session>();
        session->peer = peer;
        session->sync = connection;
        session->link = OpenLink(peer);
        if (!session->link) {
            connection->Send(MessageType::kFatalError, hs::kFatalUnidentified, 0,
                             "The instrument is not available.");
            return;
        }
        {
            std::lock_guard<std::mutex> lock(sessions_mutex_);
            do {
                session->id = next_session_id_++;
            } while (session->id == 0 || sessions_.count(session->id) != 0);
            sessions_[session->id] = session;
        }
        // Synchronized mode (overlap bit clear).
        connection->Send(MessageType::kInitializeResponse, 0,
                         hs::InitializeResponseParameter(hs::kProtocolVersion, session->id));
        StartWorker([this, session] { SendReplies(session); });

        Message message;
        HislipConnection::Got got;
        while ((got = connection->Receive(&message)) == HislipConnection::Got::kMessage) {
            OnSynchronousMessage(*session, message);
        }
        if (got == HislipConnection::Got::kMalformed) {
            connection->Send(MessageType::kFatalError, hs::kFatalBadHeader, 0);
        }
        CloseSession(*session);
    }

    void OnSynchronousMessage(Session& session, const Message& message) {
        switch (message.type) {
            case MessageType::kData:
            case MessageType::kDataEnd:
            case MessageType::kTrigger:
                OnData(session, message);
                return;
            case MessageType::kDeviceClearComplete: {
                {
                    std::lock_guard<std::mutex> lock(session.mutex);
                    session.clearing = false;
                }
                std::lock_guard<std::mutex> lock(session.reply_send_mutex);
                // Synchronized mode is all this server offers.
                session.sync->Send(MessageType::kDeviceClearAcknowledge, 0, 0);
                return;
            }
            default:
                session.sync->Send(MessageType::kError, hs::kErrorUnrecognizedType, 0,
                                   "Not a message of the synchronous channel.");
                return;
        }
    }

    void OnData(Session& session, const Message& message) {
        std::shared_ptr<InstrumentLink> link;
        std::shared_ptr<InstrumentLink> given_up;
        std::string program_message;
        {
            std::lock_guard<std::mutex> lock(session.mutex);
            if (session.clearing) {
                session.incoming.clear();
                return;  // sent before the clear completed: forgotten with it
            }
            if (message.type == MessageType::kTrigger) {
                program_message = "*TRG\n";
            } else {
                session.incoming += message.payload;
                if (message.type == MessageType::kData) {
                    return;
                }
                program_message = std::move(session.incoming);
                session.incoming.clear();
                if (program_message.empty() || program_message.back() != '\n') {
                    program_message += '\n';
                }
            }
            session.last_end_id = message.parameter;
            if (session.awaited) {
                // The client sends anew without having read the reply: it gave it up.
                given_up = ReplaceLinkLocked(session);
            }
            if (program_message.find('?') != std::string::npos) {
                session.awaited = message.parameter;
            }
            link = session.link;
        }
        if (given_up) {
            given_up->Interrupt();
        }
        if (link) {
            link->Send(program_message);
        }
    }

    // Drops the session's link for a new one; the caller interrupts the old one (outside
    // the lock) so that a thread blocked on it lets go.
    std::shared_ptr<InstrumentLink> ReplaceLinkLocked(Session& session) {
        std::shared_ptr<InstrumentLink> old = std::move(session.link);
        ++session.generation;
        session.awaited.reset();
        session.link = OpenLink(session.peer);
        return old;
    }

    // The reply thread of a session: each whole reply of the link goes to the client as
    // Data messages and a DataEnd with the MessageID of its query.
    void SendReplies(const std::shared_ptr<Session>& session) {
        while (true) {
            std::shared_ptr<InstrumentLink> link;
            uint64_t generation = 0;
            {
                std::lock_guard<std::mutex> lock(session->mutex);
                if (session->closing || !session->link) {
                    break;
                }
                link = session->link;
                generation = session->generation;
            }
            const std::optional<std::string> reply =
                link->NextReply(InstrumentLink::Clock::time_point::max());
            if (!reply) {
                if (stopping_ || session->generation != generation) {
                    continue;  // the loop looks at the session again
                }
                if (link->closed()) {
                    // The analyzer ended the connection (an injected fault): so does the
                    // gateway, as the SOCKET server does to its client.
                    CloseSession(*session);
                    break;
                }
                continue;
            }
            uint32_t id = 0;
            {
                std::lock_guard<std::mutex> lock(session->mutex);
                if (session->generation != generation) {
                    continue;
                }
                id = session->awaited.value_or(session->last_end_id);
                session->awaited.reset();
            }
            SendReply(*session, *reply, id, generation);
        }
    }

    // The link gives whole replies, so the last piece carries END (also for a reply that an
    // injected fault cut short: the analyzer ended it there).
    void SendReply(Session& session, std::string_view reply, uint32_t id, uint64_t generation) {
        const auto limit = static_cast<size_t>(
            std::min<uint64_t>(session.client_max.load(), std::numeric_limits<size_t>::max()));
        do {
            const size_t chunk = std::min(limit, reply.size());
            const MessageType type =
                chunk == reply.size() ? MessageType::kDataEnd : MessageType::kData;
            std::lock_guard<std::mutex> lock(session.reply_send_mutex);
            if (session.generation != generation ||
                !session.sync->Send(type, 0, id, reply.substr(0, chunk))) {
                return;
            }
            reply.remove_prefix(chunk);
        } while (!reply.empty());
    }

    void ServeAsynchronousChannel(const std::shared_ptr<HislipConnection>& connection,
                                  uint16_t session_id) {
        std::shared_ptr<Session> session;
        {
            std::lock_guard<std::mutex> lock(sessions_mutex_);
            const auto found = sessions_.find(session_id);
            if (found != sessions_.end()) {
                session = found->second;
            }
        }
        bool attached = false;
        if (session) {
            std::lock_guard<std::mutex> lock(session->mutex);
            if (!session->async && !session->closing) {
                session->async = connection;
                attached = true;
            }
        }
        if (!attached) {
            connection->Send(MessageType::kFatalError, hs::kFatalInvalidInitialization, 0,
                             "No session waits for this asynchronous channel.");
            return;
        }
        connection->Send(MessageType::kAsyncInitializeResponse, 0,
                         hs::InitializeParameter(0, kVendorId) & 0xFFFFu);
        Message message;
        HislipConnection::Got got;
        while ((got = connection->Receive(&message)) == HislipConnection::Got::kMessage) {
            OnAsynchronousMessage(*session, *connection, message);
        }
        if (got == HislipConnection::Got::kMalformed) {
            connection->Send(MessageType::kFatalError, hs::kFatalBadHeader, 0);
        }
        CloseSession(*session);
    }

    void OnAsynchronousMessage(Session& session, HislipConnection& async, const Message& message) {
        switch (message.type) {
            case MessageType::kAsyncMaximumMessageSize: {
                const std::optional<uint64_t> size = hs::DecodeSize(message.payload);
                if (!size || *size == 0) {
                    async.Send(MessageType::kError, hs::kErrorUnidentified, 0,
                               "The maximum message size must be 8 bytes and not 0.");
                    return;
                }
                session.client_max = *size;
                async.Send(MessageType::kAsyncMaximumMessageSizeResponse, 0, 0,
                           hs::EncodeSize(max_message_size_));
                return;
            }
            case MessageType::kAsyncDeviceClear: {
                std::shared_ptr<InstrumentLink> old;
                {
                    std::lock_guard<std::mutex> lock(session.mutex);
                    session.clearing = true;
                    session.incoming.clear();
                    old = ReplaceLinkLocked(session);
                }
                if (old) {
                    old->Interrupt();
                }
                async.Send(MessageType::kAsyncDeviceClearAcknowledge, 0, 0);
                return;
            }
            case MessageType::kAsyncStatusQuery: {
                const uint8_t status = services_.status_byte ? services_.status_byte() : 0;
                async.Send(MessageType::kAsyncStatusResponse, status, 0);
                return;
            }
            case MessageType::kAsyncLock:
                OnLock(session, async, message);
                return;
            case MessageType::kAsyncLockInfo: {
                const auto [exclusive, holders] = locks_.Info();
                async.Send(MessageType::kAsyncLockInfoResponse, exclusive ? 1 : 0, holders);
                return;
            }
            case MessageType::kAsyncRemoteLocalControl:
                async.Send(MessageType::kAsyncRemoteLocalResponse, 0, 0);
                return;
            default:
                async.Send(MessageType::kError, hs::kErrorUnrecognizedType, 0,
                           "Not a message of the asynchronous channel.");
                return;
        }
    }

    void OnLock(const Session& session, HislipConnection& async, const Message& message) {
        if (message.control == hs::kLockRelease) {
            async.Send(MessageType::kAsyncLockResponse, locks_.Release(session.id), 0);
        } else if (message.control == hs::kLockRequest) {
            const bool granted = locks_.Acquire(session.id, message.payload,
                                                std::chrono::milliseconds(message.parameter));
            async.Send(MessageType::kAsyncLockResponse,
                       granted ? hs::kLockSuccess : hs::kLockFailure, 0);
        } else {
            async.Send(MessageType::kAsyncLockResponse, hs::kLockError, 0);
        }
    }

    void InterruptLink(Session& session) {
        std::shared_ptr<InstrumentLink> link;
        {
            std::lock_guard<std::mutex> lock(session.mutex);
            link = session.link;
        }
        if (link) {
            link->Interrupt();
        }
    }

    // Ends a session (both channels); safe to call more than once and from any thread.
    void CloseSession(Session& session) {
        std::shared_ptr<HislipConnection> async;
        std::shared_ptr<InstrumentLink> link;
        {
            std::lock_guard<std::mutex> lock(session.mutex);
            if (session.closing) {
                return;
            }
            session.closing = true;
            async = session.async;
            link = session.link;
        }
        // The link ends for good, so the session's reply thread returns whatever it waits in
        // (an interruption can be taken by another call on the link and missed).
        if (link) {
            link->Shutdown();
        }
        session.sync->Shutdown();
        if (async) {
            async->Shutdown();
        }
        locks_.ReleaseAll(session.id);
        std::lock_guard<std::mutex> lock(sessions_mutex_);
        sessions_.erase(session.id);
    }

    GatewayServices services_;
    const uint64_t max_message_size_;
    Listeners listeners_;
    WakePipe stop_;
    std::atomic<bool> stopping_{false};
    LockTable locks_;

    std::mutex sessions_mutex_;
    std::map<uint16_t, std::shared_ptr<Session>> sessions_;
    uint16_t next_session_id_ = 1;

    std::mutex workers_mutex_;
    std::condition_variable worker_ended_;
    std::list<Worker> workers_;
    std::thread acceptor_;
};

}  // namespace

std::unique_ptr<ProtocolGateway> StartHislipGatewayWithLimit(const std::string& bind_address,
                                                             uint16_t port,
                                                             GatewayServices services,
                                                             uint64_t max_message_size) {
    return std::make_unique<HislipGateway>(bind_address, port, std::move(services),
                                           max_message_size);
}

std::unique_ptr<ProtocolGateway> StartHislipGateway(const std::string& bind_address, uint16_t port,
                                                    GatewayServices services) {
    return StartHislipGatewayWithLimit(bind_address, port, std::move(services),
                                       hs::kDefaultMaxMessageSize);
}

}  // namespace tevo::emulator
