// ONC RPC (RFC 5531) over TCP for the VXI-11 client and server: record marking, and call
// and reply messages whose headers libtirpc's xdr_callmsg/xdr_replymsg encode and whose
// arguments and results the xdr_ routines that rpcgen made from vxi11.x encode. Nothing
// here touches a socket, so the caller keeps full control of waits, time-outs and aborts
// (which libtirpc's own client and server loops do not give).
#pragma once

#include <rpc/rpc.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tevo::oncrpc {

// A generated xdr_ routine as libtirpc's xdrproc_t (variadic for C++ callers: the object
// pointer comes first, libtirpc may pass more), without a function-pointer cast.
template <typename T, bool_t (*Routine)(XDR*, T*)>
bool_t Xdr(XDR* xdrs, ...) {
    va_list arguments;
    va_start(arguments, xdrs);
    void* object = va_arg(arguments, void*);
    va_end(arguments);
    return Routine(xdrs, static_cast<T*>(object));
}

// Frees what decoding allocated inside object (strings, variable-length opaque data).
void FreeDecoded(xdrproc_t proc, void* object);

// ---- Record marking: each record is sent as fragments, each with a 4-byte header whose top
// bit marks the last fragment and whose other 31 bits give the fragment's length.

// body as one record of one fragment.
std::string FrameRecord(std::string_view body);

// Collects a byte stream and hands out its complete records.
class RecordReader {
  public:
    static constexpr size_t kDefaultMaxRecordBytes = size_t{64} << 20;
    explicit RecordReader(size_t max_record_bytes = kDefaultMaxRecordBytes)
        : max_record_bytes_(max_record_bytes) {}

    void Append(const void* data, size_t size);
    // The next complete record; std::nullopt when none is complete yet or the stream is
    // broken (a record longer than the limit: nothing after it can be trusted).
    std::optional<std::string> Next();
    bool broken() const { return broken_; }
    void Reset();

  private:
    size_t max_record_bytes_;
    std::string stream_;  // bytes not yet consumed
    std::string record_;  // fragments of the record being assembled
    bool broken_ = false;
};

// ---- Calls (client side)

struct CallTarget {
    uint32_t program;
    uint32_t version;
    uint32_t procedure;
};

// A call record, framed for the stream; empty when args do not encode.
std::string EncodeCall(uint32_t xid, const CallTarget& target, xdrproc_t args_proc,
                       const void* args);

// The transaction id that every RPC message starts with.
std::optional<uint32_t> MessageXid(std::string_view record);

enum class ReplyOutcome {
    kResults,      // accepted and executed; the results are decoded
    kNotExecuted,  // rejected, or accepted without success (unknown program or procedure, ...)
    kMalformed,    // not a reply, or the results do not decode
};
// Decodes a reply record into results (free them with FreeDecoded when kResults).
ReplyOutcome DecodeReply(std::string_view record, xdrproc_t results_proc, void* results);

// ---- Calls (server side)

class IncomingCall {
  public:
    IncomingCall() = default;
    IncomingCall(const IncomingCall&) = delete;
    IncomingCall& operator=(const IncomingCall&) = delete;
    ~IncomingCall();

    // Decodes the call header of record; false when record is not an RPC version 2 call.
    bool Parse(std::string record);
    uint32_t xid() const { return xid_; }
    CallTarget target() const { return target_; }
    // Decodes the arguments that follow the header (free them with FreeDecoded).
    bool DecodeArguments(xdrproc_t args_proc, void* args);

  private:
    std::string record_;
    XDR xdrs_{};
    bool open_ = false;
    uint32_t xid_ = 0;
    CallTarget target_{};
};

// A successful reply carrying results, framed for the stream.
std::string EncodeResultsReply(uint32_t xid, xdrproc_t results_proc, const void* results);
// An accepted reply without results: PROG_UNAVAIL, PROC_UNAVAIL, GARBAGE_ARGS, or
// PROG_MISMATCH with the supported version range [low, high].
std::string EncodeFailureReply(uint32_t xid, accept_stat status, uint32_t low = 0,
                               uint32_t high = 0);

}  // namespace tevo::oncrpc
