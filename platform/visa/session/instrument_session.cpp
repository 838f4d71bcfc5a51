#include "session/instrument_session.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>

#include "status/status_text.h"

namespace tevo::visa {
namespace {

constexpr ViUInt16 kReadMasks =
    VI_READ_BUF | VI_READ_BUF_DISCARD | VI_IO_IN_BUF | VI_IO_IN_BUF_DISCARD;
constexpr ViUInt16 kWriteMasks =
    VI_WRITE_BUF | VI_WRITE_BUF_DISCARD | VI_IO_OUT_BUF | VI_IO_OUT_BUF_DISCARD;

bool IsFailure(ViStatus status) {
    return status < VI_SUCCESS;
}

// A key for a shared lock asked for without one: unique within the process.
std::string NewSharedLockKey() {
    static std::atomic<unsigned> next{1};
    return "TevoSharedLock" + std::to_string(next.fetch_add(1));
}

}  // namespace

InstrumentSession::InstrumentSession(std::string resource_string, const ResourceName& name,
                                     std::unique_ptr<Transport> transport,
                                     std::weak_ptr<ResourceManager> resource_manager)
    : attributes_(std::move(resource_string), name),
      transport_(std::move(transport)),
      resource_manager_(std::move(resource_manager)) {}

InstrumentSession::~InstrumentSession() {
    Close();
}

Deadline InstrumentSession::OperationDeadline() const {
    return Deadline::AfterMilliseconds(attributes_.TimeoutMs());
}

Deadline InstrumentSession::Lease() const {
    return OperationDeadline();
}

ViStatus InstrumentSession::Finish(ViStatus status) {
    if (IsFailure(status)) {
        if (status == VI_ERROR_ABORT) {
            RecordFailure(status, "The session was closed while the operation ran.");
        } else {
            RecordFailure(status, transport_->FailureDetail());
        }
    }
    return status;
}

ViStatus InstrumentSession::EnterGate(const Deadline& deadline) {
    bool took_over = false;
    const ViStatus entered = gate_.Enter(deadline, &took_over);
    if (entered == VI_ERROR_TMO) {
        RecordFailure(entered, "Another thread's query kept the session until the time-out.");
    }
    if (took_over) {
        transport_->AbandonReply();
        query_scanner_.Reset();
    }
    return entered;
}

ViStatus InstrumentSession::Open(const Deadline& deadline, std::string* detail) {
    const ViStatus status = transport_->Connect(attributes_.Io(), deadline);
    if (status == VI_SUCCESS) {
        attributes_.SetPeerAddress(transport_->PeerAddress());
    } else {
        *detail = transport_->FailureDetail();
    }
    return status;
}

ViStatus InstrumentSession::Read(ViByte* buffer, ViUInt32 count, ViUInt32* received) {
    const Deadline deadline = OperationDeadline();
    const ViStatus entered = EnterGate(deadline);
    if (entered != VI_SUCCESS) {
        return entered;
    }
    const IoResult result = transport_->Read(buffer, count, attributes_.Io(), deadline);
    *received = static_cast<ViUInt32>(result.count);
    // The rest of a reply read in pieces belongs to this thread too.
    const ViStatus status = Finish(result.status);
    gate_.Leave(status == VI_SUCCESS_MAX_CNT, Lease());
    return status;
}

ViStatus InstrumentSession::Write(const ViByte* data, ViUInt32 count, ViUInt32* sent) {
    const Deadline deadline = OperationDeadline();
    const ViStatus entered = EnterGate(deadline);
    if (entered != VI_SUCCESS) {
        return entered;
    }
    const IoSettings io = attributes_.Io();
    const IoResult result = transport_->Write(data, count, io, deadline);
    *sent = static_cast<ViUInt32>(result.count);
    bool reserve = false;
    if (IsFailure(result.status)) {
        query_scanner_.Reset();
    } else {
        query_scanner_.Scan(data, count);
        // A message still missing its last piece, or a complete query, keeps the session
        // for this thread until it has read the reply.
        reserve = !io.send_end || query_scanner_.SawQuery();
        if (io.send_end) {
            query_scanner_.Reset();
        }
    }
    const ViStatus status = Finish(result.status);
    gate_.Leave(reserve, Lease());
    return status;
}

ViStatus InstrumentSession::Clear() {
    const Deadline deadline = OperationDeadline();
    const ViStatus entered = EnterGate(deadline);
    if (entered != VI_SUCCESS) {
        return entered;
    }
    const ViStatus status = transport_->Clear(attributes_.Io(), deadline);
    attributes_.SetPeerAddress(transport_->PeerAddress());
    query_scanner_.Reset();
    Finish(status);
    gate_.Leave(false, Lease());
    return status;
}

ViStatus InstrumentSession::Flush(ViUInt16 mask) {
    const bool both_read = (mask & VI_READ_BUF) != 0 && (mask & VI_READ_BUF_DISCARD) != 0;
    const bool both_write = (mask & VI_WRITE_BUF) != 0 && (mask & VI_WRITE_BUF_DISCARD) != 0;
    if (mask == 0 || (mask & ~(kReadMasks | kWriteMasks)) != 0 || both_read || both_write) {
        return VI_ERROR_INV_MASK;
    }
    const ViStatus entered = EnterGate(OperationDeadline());
    if (entered != VI_SUCCESS) {
        return entered;
    }
    if ((mask & kReadMasks) != 0) {
        transport_->DiscardInput();
    }
    // Writes leave at once; there is no write buffer to flush or discard.
    gate_.Leave(false, Lease());
    return VI_SUCCESS;
}

ViStatus InstrumentSession::ReadStatusByte(ViUInt16* status_byte) {
    const Deadline deadline = OperationDeadline();
    const ViStatus entered = EnterGate(deadline);
    if (entered != VI_SUCCESS) {
        return entered;
    }
    ViStatus status = transport_->ReadStatusByte(status_byte, deadline);
    if (status == VI_ERROR_NSUP_OPER) {
        RecordFailure(status, "This resource's protocol has no status byte service.");
    } else {
        status = Finish(status);
    }
    // A reply that a thread waits for stays its own: the status byte is no part of it.
    gate_.Leave(false, Lease());
    return status;
}

ViStatus InstrumentSession::Lock(ViAccessMode lock_type, ViUInt32 timeout_ms,
                                 const ViChar* requested_key, ViChar* access_key) {
    if (lock_type != VI_EXCLUSIVE_LOCK && lock_type != VI_SHARED_LOCK) {
        return VI_ERROR_INV_LOCK_TYPE;
    }
    std::string key;
    if (lock_type == VI_SHARED_LOCK) {
        key = requested_key != nullptr && requested_key[0] != '\0' ? std::string(requested_key)
                                                                   : NewSharedLockKey();
        key.resize(std::min<size_t>(key.size(), VI_FIND_BUFLEN - 1));
    }
    const Deadline deadline = OperationDeadline();
    const ViStatus entered = EnterGate(deadline);
    if (entered != VI_SUCCESS) {
        return entered;
    }
    ViStatus status = transport_->Lock(timeout_ms, key, deadline);
    if (status == VI_ERROR_NSUP_OPER) {
        RecordFailure(status, "This resource's protocol has no locks.");
    } else {
        status = Finish(status);
    }
    gate_.Leave(false, Lease());
    if (status == VI_SUCCESS && lock_type == VI_SHARED_LOCK && access_key != nullptr) {
        CopyToVisaString(key, access_key);
    }
    return status;
}

ViStatus InstrumentSession::Unlock() {
    const Deadline deadline = OperationDeadline();
    const ViStatus entered = EnterGate(deadline);
    if (entered != VI_SUCCESS) {
        return entered;
    }
    ViStatus status = transport_->Unlock(deadline);
    if (status == VI_ERROR_NSUP_OPER) {
        RecordFailure(status, "This resource's protocol has no locks.");
    } else {
        status = Finish(status);
    }
    gate_.Leave(false, Lease());
    return status;
}

ViStatus InstrumentSession::GetAttribute(ViAttr attribute, void* value) const {
    return attributes_.Get(attribute, value);
}

ViStatus InstrumentSession::SetAttribute(ViAttr attribute, ViAttrState value) {
    return attributes_.Set(attribute, value);
}

void InstrumentSession::Close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    transport_->Abort();
    gate_.CloseAndWaitIdle();
    transport_->Close();
}

}  // namespace tevo::visa
