#include "onc_rpc.h"

#include <arpa/inet.h>

#include <cstring>
#include <vector>

namespace tevo::oncrpc {
namespace {

constexpr uint32_t kLastFragment = 0x80000000u;
constexpr uint32_t kRpcVersion = 2;
// Room for a message header without authentication data, and then some.
constexpr size_t kHeaderRoom = 64 + 2 * MAX_AUTH_BYTES;

uint32_t ReadBigEndian32(const char* bytes) {
    uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return ntohl(value);
}

void AppendBigEndian32(std::string* out, uint32_t value) {
    const uint32_t wire = htonl(value);
    out->append(reinterpret_cast<const char*>(&wire), sizeof wire);
}

// Encodes a message into a buffer sized by xdr_sizeof and frames it; empty on failure.
template <typename EncodeBody>
std::string EncodeFramed(size_t body_bytes, EncodeBody encode_body) {
    std::vector<char> buffer(kHeaderRoom + body_bytes);
    XDR xdrs;
    xdrmem_create(&xdrs, buffer.data(), static_cast<u_int>(buffer.size()), XDR_ENCODE);
    const bool encoded = encode_body(&xdrs);
    const u_int length = xdr_getpos(&xdrs);
    xdr_destroy(&xdrs);
    if (!encoded) {
        return {};
    }
    return FrameRecord(std::string_view(buffer.data(), length));
}

// What an enumeration field holds, read as the integer xdr_enum stored (which need not be
// one of the enumerators).
template <typename Enum>
int StoredValue(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(int));
    int value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

size_t EncodedSize(xdrproc_t proc, const void* object) {
    return xdr_sizeof(proc, const_cast<void*>(object));
}

}  // namespace

void FreeDecoded(xdrproc_t proc, void* object) {
    xdr_free(proc, static_cast<char*>(object));
}

std::string FrameRecord(std::string_view body) {
    std::string out;
    out.reserve(4 + body.size());
    AppendBigEndian32(&out, kLastFragment | static_cast<uint32_t>(body.size()));
    out.append(body);
    return out;
}

void RecordReader::Append(const void* data, size_t size) {
    stream_.append(static_cast<const char*>(data), size);
}

std::optional<std::string> RecordReader::Next() {
    size_t offset = 0;
    std::optional<std::string> complete;
    while (!broken_ && !complete && stream_.size() - offset >= 4) {
        const uint32_t header = ReadBigEndian32(stream_.data() + offset);
        const size_t length = header & ~kLastFragment;
        if (record_.size() + length > max_record_bytes_) {
            broken_ = true;
            break;
        }
        if (stream_.size() - offset - 4 < length) {
            break;  // the fragment is not all here yet
        }
        record_.append(stream_, offset + 4, length);
        offset += 4 + length;
        if ((header & kLastFragment) != 0) {
            complete = std::move(record_);
            record_.clear();
        }
    }
    stream_.erase(0, offset);
    return complete;
}

void RecordReader::Reset() {
    stream_.clear();
    record_.clear();
    broken_ = false;
}

std::string EncodeCall(uint32_t xid, const CallTarget& target, xdrproc_t args_proc,
                       const void* args) {
    rpc_msg message{};
    message.rm_xid = xid;
    message.rm_direction = CALL;
    message.rm_call.cb_rpcvers = kRpcVersion;
    message.rm_call.cb_prog = target.program;
    message.rm_call.cb_vers = target.version;
    message.rm_call.cb_proc = target.procedure;
    message.rm_call.cb_cred = _null_auth;
    message.rm_call.cb_verf = _null_auth;
    return EncodeFramed(EncodedSize(args_proc, args), [&](XDR* xdrs) {
        return xdr_callmsg(xdrs, &message) && args_proc(xdrs, const_cast<void*>(args));
    });
}

std::optional<uint32_t> MessageXid(std::string_view record) {
    if (record.size() < 4) {
        return std::nullopt;
    }
    return ReadBigEndian32(record.data());
}

ReplyOutcome DecodeReply(std::string_view record, xdrproc_t results_proc, void* results) {
    char verifier[MAX_AUTH_BYTES];
    rpc_msg message{};
    message.acpted_rply.ar_verf.oa_base = verifier;
    message.acpted_rply.ar_results.where = static_cast<caddr_t>(results);
    message.acpted_rply.ar_results.proc = results_proc;
    XDR xdrs;
    xdrmem_create(&xdrs, const_cast<char*>(record.data()), static_cast<u_int>(record.size()),
                  XDR_DECODE);
    const bool decoded = xdr_replymsg(&xdrs, &message);
    xdr_destroy(&xdrs);
    // A decode that failed part-way may leave any number in the enumerations.
    if (StoredValue(message.rm_direction) != REPLY) {
        return ReplyOutcome::kMalformed;
    }
    if (StoredValue(message.rm_reply.rp_stat) != MSG_ACCEPTED ||
        StoredValue(message.acpted_rply.ar_stat) != SUCCESS) {
        return ReplyOutcome::kNotExecuted;
    }
    return decoded ? ReplyOutcome::kResults : ReplyOutcome::kMalformed;
}

IncomingCall::~IncomingCall() {
    if (open_) {
        xdr_destroy(&xdrs_);
    }
}

bool IncomingCall::Parse(std::string record) {
    if (open_) {
        xdr_destroy(&xdrs_);
        open_ = false;
    }
    record_ = std::move(record);
    char credentials[MAX_AUTH_BYTES];
    char verifier[MAX_AUTH_BYTES];
    rpc_msg message{};
    message.rm_call.cb_cred.oa_base = credentials;
    message.rm_call.cb_verf.oa_base = verifier;
    xdrmem_create(&xdrs_, record_.data(), static_cast<u_int>(record_.size()), XDR_DECODE);
    open_ = true;
    if (!xdr_callmsg(&xdrs_, &message) || StoredValue(message.rm_direction) != CALL ||
        message.rm_call.cb_rpcvers != kRpcVersion) {
        return false;
    }
    xid_ = message.rm_xid;
    target_ = {static_cast<uint32_t>(message.rm_call.cb_prog),
               static_cast<uint32_t>(message.rm_call.cb_vers),
               static_cast<uint32_t>(message.rm_call.cb_proc)};
    return true;
}

bool IncomingCall::DecodeArguments(xdrproc_t args_proc, void* args) {
    return open_ && args_proc(&xdrs_, args);
}

std::string EncodeResultsReply(uint32_t xid, xdrproc_t results_proc, const void* results) {
    rpc_msg message{};
    message.rm_xid = xid;
    message.rm_direction = REPLY;
    message.rm_reply.rp_stat = MSG_ACCEPTED;
    message.acpted_rply.ar_verf = _null_auth;
    message.acpted_rply.ar_stat = SUCCESS;
    message.acpted_rply.ar_results.where = static_cast<caddr_t>(const_cast<void*>(results));
    message.acpted_rply.ar_results.proc = results_proc;
    return EncodeFramed(EncodedSize(results_proc, results),
                        [&](XDR* xdrs) { return xdr_replymsg(xdrs, &message); });
}

std::string EncodeFailureReply(uint32_t xid, accept_stat status, uint32_t low, uint32_t high) {
    rpc_msg message{};
    message.rm_xid = xid;
    message.rm_direction = REPLY;
    message.rm_reply.rp_stat = MSG_ACCEPTED;
    message.acpted_rply.ar_verf = _null_auth;
    message.acpted_rply.ar_stat = status;
    message.acpted_rply.ar_vers.low = low;
    message.acpted_rply.ar_vers.high = high;
    return EncodeFramed(0, [&](XDR* xdrs) { return xdr_replymsg(xdrs, &message); });
}

}  // namespace tevo::oncrpc
