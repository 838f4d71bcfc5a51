// The one interface behind which every transport (SOCKET now; VXI-11 and HiSLIP later)
// carries a session's messages. A session calls one operation at a time; only Abort may be
// called from another thread while an operation runs.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "resource/resource_name.h"
#include "tevo/visa.h"
#include "transport/deadline.h"

namespace tevo::visa {

// The session's I/O attributes as they stand when an operation starts. They live in one
// place per session and are handed to the transport on every call, so a change takes
// effect at the next operation.
struct IoSettings {
    ViUInt8 termchar = 0x0A;
    bool termchar_enabled = true;
    bool send_end = true;
    ViUInt16 io_protocol = VI_PROT_NORMAL;
    bool tcp_nodelay = true;
    bool tcp_keepalive = false;
};

struct IoResult {
    ViStatus status = VI_SUCCESS;
    size_t count = 0;  // bytes moved, also when the status is an error
};

class Transport {
  public:
    virtual ~Transport() = default;

    // Sets up the connection; the deadline bounds it.
    virtual ViStatus Connect(const IoSettings& settings, const Deadline& deadline) = 0;
    // Sends count bytes as one message. IoResult::count counts the caller's bytes sent.
    virtual IoResult Write(const ViByte* data, size_t count, const IoSettings& settings,
                           const Deadline& deadline) = 0;
    // Reads at most count bytes of the current reply.
    virtual IoResult Read(ViByte* buffer, size_t count, const IoSettings& settings,
                          const Deadline& deadline) = 0;
    // Device clear: afterwards no byte that the device sent before can be read, and any
    // half-read reply is forgotten.
    virtual ViStatus Clear(const IoSettings& settings, const Deadline& deadline) = 0;
    // Forgets input already received, without any traffic to the device.
    virtual void DiscardInput() = 0;
    // The reply now expected is not wanted any more (its reader gave up on it): what still
    // arrives of it must not reach the next message's reader.
    virtual void AbandonReply() = 0;
    // Thread-safe: wakes an operation blocked in another thread; every later operation
    // fails with VI_ERROR_ABORT.
    virtual void Abort() = 0;
    // Ends the connection.
    virtual void Close() = 0;
    // The device's IEEE 488.2 status byte, read by the protocol's own service without a
    // message in the data stream (viReadSTB). A transport without one returns
    // VI_ERROR_NSUP_OPER.
    virtual ViStatus ReadStatusByte(ViUInt16* status_byte, const Deadline& deadline) {
        (void)status_byte;
        (void)deadline;
        return VI_ERROR_NSUP_OPER;
    }
    // A lock on the device among its clients (viLock), where the protocol has one: an
    // exclusive lock for an empty key, a shared lock with the key otherwise, waited for up
    // to timeout_ms. VI_ERROR_TMO when not granted in time; VI_ERROR_NSUP_OPER without
    // locks.
    virtual ViStatus Lock(ViUInt32 timeout_ms, std::string_view shared_key,
                          const Deadline& deadline) {
        (void)timeout_ms;
        (void)shared_key;
        (void)deadline;
        return VI_ERROR_NSUP_OPER;
    }
    // Releases the lock (viUnlock). VI_ERROR_SESN_NLOCKED when none is held.
    virtual ViStatus Unlock(const Deadline& deadline) {
        (void)deadline;
        return VI_ERROR_NSUP_OPER;
    }

    // Numeric address of the connected peer ("127.0.0.1", "::1"); empty when not connected.
    virtual std::string PeerAddress() const = 0;
    // What went wrong in the last failed operation, for viStatusDesc.
    virtual std::string FailureDetail() const = 0;
};

// The transport for a parsed resource, not yet connected; nullptr with the reason in
// *why_not when this library cannot reach that kind of resource.
std::unique_ptr<Transport> CreateTransport(const ResourceName& name, std::string* why_not);

}  // namespace tevo::visa
