// The emulator's VXI-11 server: the core channel (on the gateway's port, reached directly or
// through a portmapper that knows the port) and the abort channel (on an ephemeral port that
// create_link announces). Every connection is served on a thread of its own; every link is
// one InstrumentLink to the analyzer.
//
// - device_write passes the bytes on; the last piece of a message (END) that does not end in
//   a line feed gets one, so that the analyzer sees the message end.
// - device_read hands out the analyzer's current reply: at most requestSize bytes (REQCNT;
//   the rest is kept for the next read), at most kMaxReadChunk bytes per call, up to the
//   termination character when the client asks for it (CHR), END with the reply's last byte.
//   No reply within io_timeout gives error 15; device_abort gives error 23.
// - When the analyzer drops a link's connection (a fault of the emulator's), the gateway
//   drops the client's core connection without answering, as an instrument that closes its
//   connection does.
// - device_clear drops the link to the analyzer and opens a new one: the reply it owed and
//   what was kept of the current one are gone.
// - device_readstb reads the analyzer's status byte without a message.
// - Locking and triggers are not offered (error 8).
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "gateway/protocol_gateway.h"
#include "onc_rpc.h"
#include "server/socket_io.h"
#include "vxi11_protocol.h"

namespace tevo::emulator {
namespace {

using Clock = std::chrono::steady_clock;

using namespace tevo::vxi11;  // the protocol's numbers

// The largest device_write a link takes, and the most a device_read hands out at once: small,
// so that clients must split and join (as real instruments make them).
constexpr uint32_t kMaxRecvSize = 4096;
constexpr size_t kMaxReadChunk = 4096;
// A record larger than this ends the connection.
constexpr size_t kMaxCallBytes = size_t{1} << 20;

template <typename T, bool_t (*Routine)(XDR*, T*)>
xdrproc_t Codec() {
    return oncrpc::Xdr<T, Routine>;
}

Clock::time_point After(u_long milliseconds) {
    if (milliseconds >= 0x7FFFFFFFu) {
        return Clock::time_point::max();
    }
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

// A link of a client to the analyzer.
struct DeviceLink {
    std::string peer;
    // Only the thread of the core connection that made the link uses and replaces it; the
    // abort channel interrupts it under the mutex.
    std::mutex mutex;
    std::unique_ptr<InstrumentLink> instrument;
    std::string reply;          // what is left of the current reply
    bool message_open = false;  // bytes of a message without END went out
    char last_sent = '\n';
    std::atomic<bool> abort_requested{false};
    int connection = 0;  // the core connection that owns it
};

class Vxi11Gateway final : public ProtocolGateway {
  public:
    Vxi11Gateway(const std::string& bind_address, uint16_t port, GatewayServices services)
        : services_(std::move(services)),
          core_(OpenListeners(bind_address, port)),
          abort_(OpenListeners(bind_address, 0)) {
        acceptor_ = std::thread([this] { Accept(); });
    }

    ~Vxi11Gateway() override {
        stopping_.store(true);
        wake_.Wake();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& [id, link] : links_) {
                std::lock_guard<std::mutex> link_lock(link->mutex);
                link->instrument->Interrupt();
            }
        }
        acceptor_.join();
        for (Connection& connection : connections_) {
            connection.thread.join();
        }
        CloseListeners(core_);
        CloseListeners(abort_);
    }

    uint16_t port() const override { return core_.port; }

  private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void Accept() {
        // The core listeners, then the abort channel's, then the wake pipe.
        std::vector<int> listening = core_.fds;
        listening.insert(listening.end(), abort_.fds.begin(), abort_.fds.end());
        listening.push_back(wake_.read_fd());
        const size_t abort_first = core_.fds.size();
        std::vector<pollfd> fds(listening.size());
        std::transform(listening.begin(), listening.end(), fds.begin(), [](int fd) {
            return pollfd{fd, POLLIN, 0};
        });
        while (!stopping_.load()) {
            if (::poll(fds.data(), fds.size(), -1) < 0) {
                continue;
            }
            for (size_t i = 0; i + 1 < fds.size(); ++i) {
                if ((fds[i].revents & POLLIN) == 0 || stopping_.load()) {
                    continue;
                }
                std::string peer;
                const int client = AcceptClient(fds[i].fd, peer);
                if (client >= 0) {
                    StartConnection(client, "vxi11 " + peer, i >= abort_first);
                }
            }
        }
    }

    void StartConnection(int fd, std::string peer, bool abort_channel) {
        ReapFinished();
        Connection& connection = connections_.emplace_back();
        const int id = ++last_connection_id_;
        connection.thread =
            std::thread([this, fd, id, peer = std::move(peer), abort_channel, &connection] {
                Serve(fd, id, peer, abort_channel);
                DropLinksOf(id);
                ::close(fd);
                connection.done.store(true);
            });
    }

    // Joins the threads of connections that have ended (acceptor thread only).
    void ReapFinished() {
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->done.load()) {
                it->thread.join();
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }

    // Waits until fd is ready for events or the gateway stops; false when it stops.
    bool WaitFor(int fd, short events) {
        std::array<pollfd, 2> fds{pollfd{fd, events, 0}, pollfd{wake_.read_fd(), POLLIN, 0}};
        while (!stopping_.load()) {
            if (::poll(fds.data(), fds.size(), -1) > 0 && fds[0].revents != 0) {
                return true;
            }
        }
        return false;
    }

    bool SendAll(int fd, const std::string& bytes) {
        size_t offset = 0;
        while (offset < bytes.size()) {
            const ssize_t sent = ::send(fd, bytes.data() + offset, bytes.size() - offset,
                                        MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) {
                offset += static_cast<size_t>(sent);
            } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!WaitFor(fd, POLLOUT)) {
                    return false;
                }
            } else if (!(sent < 0 && errno == EINTR)) {
                return false;
            }
        }
        return true;
    }

    void Serve(int fd, int connection_id, const std::string& peer, bool abort_channel) {
        oncrpc::RecordReader reader(kMaxCallBytes);
        std::array<char, 65536> buffer{};
        while (WaitFor(fd, POLLIN)) {
            size_t received = 0;
            const Transfer transfer = ReceiveSome(fd, buffer.data(), buffer.size(), received);
            if (transfer == Transfer::kClosed || transfer == Transfer::kFailed) {
                return;
            }
            reader.Append(buffer.data(), received);
            while (std::optional<std::string> record = reader.Next()) {
                oncrpc::IncomingCall call;
                if (!call.Parse(std::move(*record))) {
                    return;  // not an RPC call: nothing more on this stream can be trusted
                }
                bool hang_up = false;
                const std::string reply = abort_channel
                                              ? AnswerAbortChannel(call)
                                              : AnswerCore(call, connection_id, peer, &hang_up);
                if (hang_up || !SendAll(fd, reply)) {
                    return;
                }
            }
            if (reader.broken()) {
                return;
            }
        }
    }

    // Decodes the arguments, runs handler on them and encodes its result (or GARBAGE_ARGS).
    template <typename Args, bool_t (*DecodeArgs)(XDR*, Args*), typename Result,
              bool_t (*EncodeResult)(XDR*, Result*), typename Handler>
    std::string Answer(oncrpc::IncomingCall& call, Handler handler) {
        Args args{};
        const xdrproc_t args_codec = Codec<Args, DecodeArgs>();
        if (!call.DecodeArguments(args_codec, &args)) {
            oncrpc::FreeDecoded(args_codec, &args);
            return oncrpc::EncodeFailureReply(call.xid(), GARBAGE_ARGS);
        }
        Result result = handler(args);
        oncrpc::FreeDecoded(args_codec, &args);
        return oncrpc::EncodeResultsReply(call.xid(), Codec<Result, EncodeResult>(), &result);
    }

    std::string AnswerAbortChannel(oncrpc::IncomingCall& call) {
        const oncrpc::CallTarget target = call.target();
        if (target.program != DEVICE_ASYNC) {
            return oncrpc::EncodeFailureReply(call.xid(), PROG_UNAVAIL);
        }
        if (target.version != DEVICE_ASYNC_VERSION) {
            return oncrpc::EncodeFailureReply(call.xid(), PROG_MISMATCH, 1, 1);
        }
        if (target.procedure != kDeviceAbort) {
            return oncrpc::EncodeFailureReply(call.xid(), PROC_UNAVAIL);
        }
        return Answer<Device_Link, xdr_Device_Link, Device_Error, xdr_Device_Error>(
            call, [this](const Device_Link& lid) { return Device_Error{AbortLink(lid)}; });
    }

    // *hang_up: the analyzer dropped the link's connection; the client's goes too.
    std::string AnswerCore(oncrpc::IncomingCall& call, int connection_id, const std::string& peer,
                           bool* hang_up) {
        const oncrpc::CallTarget target = call.target();
        if (target.program != DEVICE_CORE) {
            return oncrpc::EncodeFailureReply(call.xid(), PROG_UNAVAIL);
        }
        if (target.version != DEVICE_CORE_VERSION) {
            return oncrpc::EncodeFailureReply(call.xid(), PROG_MISMATCH, 1, 1);
        }
        switch (target.procedure) {
            case kCreateLink:
                return Answer<Create_LinkParms, xdr_Create_LinkParms, Create_LinkResp,
                              xdr_Create_LinkResp>(call, [&](const Create_LinkParms& args) {
                    return CreateLink(args, connection_id, peer);
                });
            case kDeviceWrite:
                return Answer<Device_WriteParms, xdr_Device_WriteParms, Device_WriteResp,
                              xdr_Device_WriteResp>(call, [&](const Device_WriteParms& args) {
                    return Write(args, connection_id, hang_up);
                });
            case kDeviceRead: {
                std::string data;  // outlives the encoding of the result that points into it
                return Answer<Device_ReadParms, xdr_Device_ReadParms, Device_ReadResp,
                              xdr_Device_ReadResp>(call, [&](const Device_ReadParms& args) {
                    return Read(args, connection_id, &data, hang_up);
                });
            }
            case kDeviceReadStb:
                return Answer<Device_GenericParms, xdr_Device_GenericParms, Device_ReadStbResp,
                              xdr_Device_ReadStbResp>(call, [&](const Device_GenericParms& args) {
                    Device_ReadStbResp result{};
                    result.error = Find(args.lid, connection_id) ? kNoError : kInvalidLink;
                    if (result.error == kNoError) {
                        result.stb = services_.status_byte();
                    }
                    return result;
                });
            case kDeviceClear:
                return Answer<Device_GenericParms, xdr_Device_GenericParms, Device_Error,
                              xdr_Device_Error>(call, [&](const Device_GenericParms& args) {
                    return Device_Error{Clear(args.lid, connection_id)};
                });
            case kDeviceTrigger:
                return Answer<Device_GenericParms, xdr_Device_GenericParms, Device_Error,
                              xdr_Device_Error>(call, [&](const Device_GenericParms& args) {
                    return Device_Error{Find(args.lid, connection_id) ? kNotSupported
                                                                      : kInvalidLink};
                });
            case kDeviceLock:
                return Answer<Device_LockParms, xdr_Device_LockParms, Device_Error,
                              xdr_Device_Error>(call, [&](const Device_LockParms& args) {
                    return Device_Error{Find(args.lid, connection_id) ? kNotSupported
                                                                      : kInvalidLink};
                });
            case kDeviceUnlock:
                return Answer<Device_Link, xdr_Device_Link, Device_Error, xdr_Device_Error>(
                    call, [&](const Device_Link& lid) {
                        return Device_Error{Find(lid, connection_id) ? kNotSupported
                                                                     : kInvalidLink};
                    });
            case kDestroyLink:
                return Answer<Device_Link, xdr_Device_Link, Device_Error, xdr_Device_Error>(
                    call, [&](const Device_Link& lid) {
                        return Device_Error{DestroyLink(lid, connection_id)};
                    });
            default:
                return oncrpc::EncodeFailureReply(call.xid(), PROC_UNAVAIL);
        }
    }

    // ---- Procedures

    Create_LinkResp CreateLink(const Create_LinkParms& args, int connection_id,
                               const std::string& peer) {
        Create_LinkResp result{};
        const std::string device = args.device != nullptr ? args.device : "";
        if (device.rfind("inst", 0) != 0) {
            result.error = kDeviceNotAccessible;  // this analyzer is no LAN-to-GPIB gateway
            return result;
        }
        auto link = std::make_shared<DeviceLink>();
        link->peer = peer;
        link->connection = connection_id;
        try {
            link->instrument = services_.open_link(peer);
        } catch (const std::exception&) {
            link->instrument = nullptr;
        }
        if (!link->instrument) {
            result.error = kOutOfResources;
            return result;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_.load()) {
            // The destructor has interrupted the links it found; this one would not be.
            result.error = kOutOfResources;
            return result;
        }
        const long lid = ++last_link_id_;
        links_[lid] = std::move(link);
        result.lid = lid;
        result.abortPort = abort_.port;
        result.maxRecvSize = kMaxRecvSize;
        return result;
    }

    Device_WriteResp Write(const Device_WriteParms& args, int connection_id, bool* hang_up) {
        Device_WriteResp result{};
        std::shared_ptr<DeviceLink> link = Find(args.lid, connection_id);
        if (!link) {
            result.error = kInvalidLink;
            return result;
        }
        std::string bytes(args.data.data_val, args.data.data_len);
        if (!bytes.empty()) {
            link->last_sent = bytes.back();
        }
        const bool end = (args.flags & kFlagEnd) != 0;
        if (end && link->last_sent != '\n' && (link->message_open || !bytes.empty())) {
            bytes.push_back('\n');
            link->last_sent = '\n';
        }
        link->message_open = !end && link->last_sent != '\n';
        if (!link->instrument->Send(bytes, After(args.io_timeout))) {
            *hang_up = link->instrument->closed();
            result.error = TakeAbort(*link) ? kAborted : kIoTimeout;
            return result;
        }
        result.size = args.data.data_len;
        return result;
    }

    Device_ReadResp Read(const Device_ReadParms& args, int connection_id, std::string* data,
                         bool* hang_up) {
        Device_ReadResp result{};
        std::shared_ptr<DeviceLink> link = Find(args.lid, connection_id);
        if (!link) {
            result.error = kInvalidLink;
            return result;
        }
        if (link->reply.empty()) {
            std::optional<std::string> reply = link->instrument->NextReply(After(args.io_timeout));
            if (TakeAbort(*link)) {
                result.error = kAborted;
                if (reply) {
                    link->reply = std::move(*reply);
                }
                return result;
            }
            if (!reply) {
                *hang_up = link->instrument->closed();
                result.error = kIoTimeout;
                return result;
            }
            link->reply = std::move(*reply);
        }
        size_t take = std::min<size_t>({link->reply.size(), args.requestSize, kMaxReadChunk});
        long reason = 0;
        if ((args.flags & kFlagTermCharSet) != 0) {
            const size_t term = link->reply.find(args.termChar);
            if (term != std::string::npos && term < take) {
                take = term + 1;
                reason |= kReasonTermChar;
            }
        }
        if (take == link->reply.size()) {
            reason |= kReasonEnd;
        }
        if (take == args.requestSize) {
            reason |= kReasonRequestCount;
        }
        *data = link->reply.substr(0, take);
        link->reply.erase(0, take);
        result.reason = reason;
        result.data.data_len = static_cast<u_int>(data->size());
        result.data.data_val = data->data();
        return result;
    }

    long Clear(Device_Link lid, int connection_id) {
        std::shared_ptr<DeviceLink> link = Find(lid, connection_id);
        if (!link) {
            return kInvalidLink;
        }
        std::unique_ptr<InstrumentLink> fresh;
        try {
            fresh = services_.open_link(link->peer);
        } catch (const std::exception&) {
            return kIoError;
        }
        std::unique_ptr<InstrumentLink> old;
        {
            std::lock_guard<std::mutex> lock(link->mutex);
            old = std::move(link->instrument);
            link->instrument = std::move(fresh);
        }
        old.reset();  // the analyzer forgets what it owed the old connection
        link->reply.clear();
        link->message_open = false;
        link->last_sent = '\n';
        link->abort_requested.store(false);
        return kNoError;
    }

    long DestroyLink(Device_Link lid, int connection_id) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = links_.find(lid);
        if (it == links_.end() || it->second->connection != connection_id) {
            return kInvalidLink;
        }
        links_.erase(it);  // an abort running meanwhile keeps its own reference
        return kNoError;
    }

    long AbortLink(Device_Link lid) {
        std::shared_ptr<DeviceLink> link;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = links_.find(lid);
            if (it == links_.end()) {
                return kInvalidLink;
            }
            link = it->second;
        }
        std::lock_guard<std::mutex> lock(link->mutex);
        link->abort_requested.store(true);
        link->instrument->Interrupt();
        return kNoError;
    }

    static bool TakeAbort(DeviceLink& link) { return link.abort_requested.exchange(false); }

    std::shared_ptr<DeviceLink> Find(Device_Link lid, int connection_id) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = links_.find(lid);
        if (it == links_.end() || it->second->connection != connection_id) {
            return nullptr;
        }
        return it->second;
    }

    // A closed core connection ends its links, as destroy_link would.
    void DropLinksOf(int connection_id) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(links_, [connection_id](const auto& entry) {
            return entry.second->connection == connection_id;
        });
    }

    GatewayServices services_;
    Listeners core_;
    Listeners abort_;
    WakePipe wake_;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::list<Connection> connections_;  // acceptor thread and destructor only
    int last_connection_id_ = 0;

    std::mutex mutex_;  // guards links_ and last_link_id_
    std::map<long, std::shared_ptr<DeviceLink>> links_;
    long last_link_id_ = 0;
};

}  // namespace

std::unique_ptr<ProtocolGateway> StartVxi11Gateway(const std::string& bind_address, uint16_t port,
                                                   GatewayServices services) {
    return std::make_unique<Vxi11Gateway>(bind_address, port, std::move(services));
}

}  // namespace tevo::emulator
