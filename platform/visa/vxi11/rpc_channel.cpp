#include "vxi11/rpc_channel.h"

#include <chrono>

namespace tevo::visa {
namespace {

constexpr size_t kReceiveChunk = 64 * 1024;

// Transaction ids start somewhere different for every channel, so that a reply meant for an
// earlier connection of the same process is not mistaken for one of this.
uint32_t FirstXid() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<uint32_t>(now) ^ 0x5A5A0000u;
}

}  // namespace

RpcChannel::RpcChannel() : next_xid_(FirstXid()) {}

ViStatus RpcChannel::Open(const std::string& host, ViUInt16 port, const Deadline& deadline,
                          std::string* detail) {
    Close();
    const ViStatus status = connection_.Connect(host, port, deadline, detail);
    if (status == VI_SUCCESS) {
        connection_.ApplyOptions(true, false);
    }
    return status;
}

void RpcChannel::Close() {
    connection_.Disconnect();
    reader_.Reset();
}

ViStatus RpcChannel::Lost(const std::string& why, std::string* detail) {
    *detail = why;
    Close();
    return VI_ERROR_CONN_LOST;
}

ViStatus RpcChannel::Call(const oncrpc::CallTarget& target, xdrproc_t args_proc, const void* args,
                          xdrproc_t results_proc, void* results, const Deadline& deadline,
                          std::string* detail) {
    if (connection_.Aborted()) {
        return VI_ERROR_ABORT;
    }
    if (!connection_.IsOpen()) {
        *detail = "The RPC connection is closed.";
        return VI_ERROR_CONN_LOST;
    }
    const uint32_t xid = next_xid_++;
    const std::string call = oncrpc::EncodeCall(xid, target, args_proc, args);
    if (call.empty()) {
        *detail = "The RPC call's arguments could not be encoded.";
        return VI_ERROR_INV_PARAMETER;
    }
    size_t sent = 0;
    const ViStatus send_status =
        connection_.SendAll(reinterpret_cast<const ViByte*>(call.data()), call.size(), nullptr, 0,
                            deadline, &sent, detail);
    if (send_status != VI_SUCCESS) {
        // Part of a record on the stream makes the rest of it meaningless to the peer.
        if (sent != 0 && sent != call.size()) {
            Close();
        }
        return send_status;
    }
    return AwaitReply(xid, results_proc, results, deadline, detail);
}

ViStatus RpcChannel::AwaitReply(uint32_t xid, xdrproc_t results_proc, void* results,
                                const Deadline& deadline, std::string* detail) {
    ViByte chunk[kReceiveChunk];
    while (true) {
        while (std::optional<std::string> record = reader_.Next()) {
            if (oncrpc::MessageXid(*record) != xid) {
                continue;  // the late reply of a call that gave up waiting
            }
            switch (oncrpc::DecodeReply(*record, results_proc, results)) {
                case oncrpc::ReplyOutcome::kResults:
                    return VI_SUCCESS;
                case oncrpc::ReplyOutcome::kNotExecuted:
                    *detail =
                        "The RPC server did not execute the call (unknown program, "
                        "version or procedure).";
                    return VI_ERROR_IO;
                case oncrpc::ReplyOutcome::kMalformed:
                    oncrpc::FreeDecoded(results_proc, results);
                    *detail = "The RPC server's reply does not decode.";
                    return VI_ERROR_IO;
            }
        }
        if (reader_.broken()) {
            return Lost("The RPC server sent a record longer than any reply can be.", detail);
        }
        if (const ViStatus waited = TcpConnection::WaitStatus(connection_.WaitReadable(deadline));
            waited != VI_SUCCESS) {
            if (waited == VI_ERROR_TMO) {
                *detail = "The RPC server did not reply in time.";
            }
            return waited;
        }
        int error = 0;
        const ssize_t received = connection_.ReceiveSome(chunk, sizeof chunk, &error);
        if (received < 0) {
            return Lost(error == 0 ? "The RPC server closed the connection."
                                   : "The RPC connection was reset.",
                        detail);
        }
        reader_.Append(chunk, static_cast<size_t>(received));
    }
}

}  // namespace tevo::visa
