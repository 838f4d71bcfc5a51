#include "vxi11/vxi11_transport.h"

#include <netinet/in.h>
#include <rpc/pmap_prot.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <utility>

#include "vxi11_protocol.h"

namespace tevo::visa {
namespace {

using namespace tevo::vxi11;  // the protocol's numbers

// How long past the operation's deadline a reply is awaited: the device answers a call whose
// io_timeout has run out with its time-out error, and that answer needs a moment to come.
constexpr auto kReplyGrace = std::chrono::milliseconds(500);
// Bounds for the abort channel and for destroy_link when closing.
constexpr ViUInt32 kAbortChannelMs = 1000;
constexpr ViUInt32 kGoodbyeMs = 1000;
// The smallest maxRecvSize the protocol allows; a device that announces less gets this.
constexpr uint32_t kMinimumRecvSize = 1024;

std::atomic<ViUInt16> g_portmapper_port{kPortmapperPort};

// The io_timeout and lock_timeout fields: the time left to the deadline in milliseconds.
u_long MillisecondsLeft(const Deadline& deadline) {
    if (deadline.IsInfinite()) {
        return 0xFFFFFFFFu;
    }
    return static_cast<u_long>(deadline.PollMilliseconds());
}

Deadline ReplyDeadline(const Deadline& deadline) {
    if (deadline.IsInfinite()) {
        return deadline;
    }
    return Deadline::At(deadline.When() + kReplyGrace);
}

long NextClientId() {
    static std::atomic<long> next{1};
    return next.fetch_add(1);
}

template <typename T, bool_t (*Routine)(XDR*, T*)>
xdrproc_t Codec() {
    return oncrpc::Xdr<T, Routine>;
}

}  // namespace

ViUInt16 PortmapperPort() {
    return g_portmapper_port.load();
}

void SetPortmapperPortForTesting(ViUInt16 port) {
    g_portmapper_port.store(port);
}

ViStatus LookUpCorePort(const std::string& host, ViUInt16 portmapper_port, const Deadline& deadline,
                        ViUInt16* core_port, std::string* detail) {
    RpcChannel portmapper;
    const ViStatus opened = portmapper.Open(host, portmapper_port, deadline, detail);
    if (opened != VI_SUCCESS) {
        *detail = "No portmapper answers on " + host + " port " + std::to_string(portmapper_port) +
                  " to give the VXI-11 core channel's port: " + *detail;
        return opened;
    }
    pmap query{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    u_int port = 0;
    const ViStatus status =
        portmapper.Call({PMAPPROG, PMAPVERS, PMAPPROC_GETPORT}, Codec<pmap, xdr_pmap>(), &query,
                        Codec<u_int, xdr_u_int>(), &port, deadline, detail);
    if (status != VI_SUCCESS) {
        return status;
    }
    if (port == 0 || port > 0xFFFF) {
        *detail = "The portmapper on " + host + " knows no VXI-11 core program over TCP.";
        return VI_ERROR_RSRC_NFOUND;
    }
    *core_port = static_cast<ViUInt16>(port);
    return VI_SUCCESS;
}

ViStatus Vxi11ErrorStatus(long error) {
    switch (error) {
        case kNoError:
            return VI_SUCCESS;
        case kDeviceNotAccessible:
            return VI_ERROR_RSRC_NFOUND;
        case kInvalidLink:
            return VI_ERROR_INV_OBJECT;
        case kParameterError:
            return VI_ERROR_INV_PARAMETER;
        case kNotSupported:
            return VI_ERROR_NSUP_OPER;
        case kOutOfResources:
            return VI_ERROR_ALLOC;
        case kDeviceLocked:
            return VI_ERROR_RSRC_LOCKED;
        case kNoLockHeld:
            return VI_ERROR_SESN_NLOCKED;
        case kIoTimeout:
            return VI_ERROR_TMO;
        case kAborted:
            return VI_ERROR_ABORT;
        default:
            return VI_ERROR_IO;
    }
}

Vxi11Transport::Vxi11Transport(std::string host, ViUInt16 port, std::string device_name)
    : host_(std::move(host)),
      port_(port),
      device_name_(device_name.empty() ? "inst0" : std::move(device_name)) {}

ViStatus Vxi11Transport::Connect(const IoSettings& /*settings*/, const Deadline& deadline) {
    ViUInt16 core_port = port_;
    if (core_port == 0) {
        const ViStatus found =
            LookUpCorePort(host_, PortmapperPort(), deadline, &core_port, &detail_);
        if (found != VI_SUCCESS) {
            return found;
        }
    }
    const ViStatus opened = core_.Open(host_, core_port, deadline, &detail_);
    if (opened != VI_SUCCESS) {
        return opened;
    }
    return Link(deadline);
}

ViStatus Vxi11Transport::Link(const Deadline& deadline) {
    Create_LinkParms parameters{};
    parameters.clientId = NextClientId();
    parameters.lockDevice = FALSE;
    parameters.lock_timeout = MillisecondsLeft(deadline);
    parameters.device = device_name_.data();
    Create_LinkResp reply{};
    const ViStatus status =
        CallCore(kCreateLink, Codec<Create_LinkParms, xdr_Create_LinkParms>(), &parameters,
                 Codec<Create_LinkResp, xdr_Create_LinkResp>(), &reply, deadline);
    if (status != VI_SUCCESS) {
        return status;
    }
    if (reply.error != 0) {
        detail_ = "The device refused a link to \"" + device_name_ + "\" (VXI-11 error " +
                  std::to_string(reply.error) + ").";
        return Vxi11ErrorStatus(reply.error);
    }
    linked_ = true;
    link_id_ = reply.lid;
    abort_port_ = reply.abortPort;
    max_recv_size_ = std::max<uint32_t>(static_cast<uint32_t>(reply.maxRecvSize), kMinimumRecvSize);
    call_outstanding_ = false;
    clear_before_write_ = false;
    reply_partly_read_ = false;
    return VI_SUCCESS;
}

ViStatus Vxi11Transport::CheckLinked() const {
    if (core_.Aborted()) {
        return VI_ERROR_ABORT;
    }
    return linked_ && core_.IsOpen() ? VI_SUCCESS : VI_ERROR_CONN_LOST;
}

ViStatus Vxi11Transport::CallCore(uint32_t procedure, xdrproc_t args_proc, const void* args,
                                  xdrproc_t results_proc, void* results, const Deadline& deadline) {
    const ViStatus status =
        core_.Call({DEVICE_CORE, DEVICE_CORE_VERSION, procedure}, args_proc, args, results_proc,
                   results, ReplyDeadline(deadline), &detail_);
    if (status == VI_ERROR_TMO) {
        call_outstanding_ = true;
        clear_before_write_ = true;
        AbortOutstandingCall();
    } else if (status == VI_ERROR_ABORT) {
        // Another thread cut the wait short; the device still works on the call, and Close
        // tells it to stop.
        call_outstanding_ = true;
    }
    if (status == VI_ERROR_CONN_LOST) {
        linked_ = false;
    }
    return status;
}

void Vxi11Transport::AbortOutstandingCall() {
    if (!linked_ || abort_port_ == 0) {
        return;
    }
    const Deadline bound = Deadline::AfterMilliseconds(kAbortChannelMs);
    std::string why;
    if (!abort_channel_.IsOpen() &&
        abort_channel_.Open(host_, abort_port_, bound, &why) != VI_SUCCESS) {
        return;
    }
    Device_Link link = link_id_;
    Device_Error reply{};
    if (abort_channel_.Call({DEVICE_ASYNC, DEVICE_ASYNC_VERSION, kDeviceAbort},
                            Codec<Device_Link, xdr_Device_Link>(), &link,
                            Codec<Device_Error, xdr_Device_Error>(), &reply, bound,
                            &why) == VI_SUCCESS) {
        // The device answers the stopped call at once; that answer is skipped by its id.
        call_outstanding_ = false;
    }
}

IoResult Vxi11Transport::Write(const ViByte* data, size_t count, const IoSettings& settings,
                               const Deadline& deadline) {
    if (const ViStatus linked = CheckLinked(); linked != VI_SUCCESS) {
        return {linked, 0};
    }
    if (clear_before_write_ || reply_partly_read_) {
        if (const ViStatus cleared = DeviceClear(deadline); cleared != VI_SUCCESS) {
            return {cleared, 0};
        }
    }
    size_t offset = 0;
    do {
        const size_t chunk = std::min<size_t>(count - offset, max_recv_size_);
        const bool last = offset + chunk == count;
        Device_WriteParms parameters{};
        parameters.lid = link_id_;
        parameters.io_timeout = MillisecondsLeft(deadline);
        parameters.lock_timeout = parameters.io_timeout;
        parameters.flags = last && settings.send_end ? kFlagEnd : 0;
        parameters.data.data_len = static_cast<u_int>(chunk);
        parameters.data.data_val = const_cast<char*>(reinterpret_cast<const char*>(data + offset));
        Device_WriteResp reply{};
        ViStatus status =
            CallCore(kDeviceWrite, Codec<Device_WriteParms, xdr_Device_WriteParms>(), &parameters,
                     Codec<Device_WriteResp, xdr_Device_WriteResp>(), &reply, deadline);
        if (status == VI_SUCCESS && reply.error != 0) {
            status = Vxi11ErrorStatus(reply.error);
            detail_ = "device_write failed (VXI-11 error " + std::to_string(reply.error) + ").";
        }
        const size_t taken = std::min<size_t>(reply.size, chunk);
        offset += taken;
        if (status == VI_SUCCESS && taken == 0 && chunk != 0) {
            status = VI_ERROR_IO;
            detail_ = "The device took none of the bytes of a device_write.";
        }
        if (status != VI_SUCCESS) {
            // Part of a message may be in the device now; the next write clears it first.
            clear_before_write_ = true;
            return {status, offset};
        }
    } while (offset < count);
    return {VI_SUCCESS, count};
}

IoResult Vxi11Transport::Read(ViByte* buffer, size_t count, const IoSettings& settings,
                              const Deadline& deadline) {
    if (const ViStatus linked = CheckLinked(); linked != VI_SUCCESS) {
        return {linked, 0};
    }
    size_t received = 0;
    while (true) {
        if (received == count) {
            reply_partly_read_ = true;
            return {VI_SUCCESS_MAX_CNT, received};
        }
        Device_ReadParms parameters{};
        parameters.lid = link_id_;
        parameters.requestSize =
            static_cast<u_long>(std::min<size_t>(count - received, 0xFFFFFFFFu));
        parameters.io_timeout = MillisecondsLeft(deadline);
        parameters.lock_timeout = parameters.io_timeout;
        parameters.flags = settings.termchar_enabled ? kFlagTermCharSet : 0;
        parameters.termChar = static_cast<char>(settings.termchar);
        Device_ReadResp reply{};
        const ViStatus status =
            CallCore(kDeviceRead, Codec<Device_ReadParms, xdr_Device_ReadParms>(), &parameters,
                     Codec<Device_ReadResp, xdr_Device_ReadResp>(), &reply, deadline);
        if (status != VI_SUCCESS) {
            clear_before_write_ = true;
            return {status, received};
        }
        const size_t length = std::min<size_t>(reply.data.data_len, count - received);
        std::copy_n(reinterpret_cast<const ViByte*>(reply.data.data_val), length,
                    buffer + received);
        received += length;
        const long error = reply.error;
        const long reason = reply.reason;
        oncrpc::FreeDecoded(Codec<Device_ReadResp, xdr_Device_ReadResp>(), &reply);
        if (error != 0) {
            // The reply the device still owes must not answer the next query.
            clear_before_write_ = true;
            detail_ = error == kIoTimeout
                          ? "The device had no reply before the time-out."
                          : "device_read failed (VXI-11 error " + std::to_string(error) + ").";
            return {Vxi11ErrorStatus(error), received};
        }
        if ((reason & kReasonEnd) != 0) {
            reply_partly_read_ = false;
            return {VI_SUCCESS, received};
        }
        if ((reason & kReasonTermChar) != 0 && settings.termchar_enabled) {
            reply_partly_read_ = false;
            return {VI_SUCCESS_TERM_CHAR, received};
        }
        // REQCNT alone, or a piece the device cut short: the count check above decides, unless
        // the time is up (a device that keeps answering with nothing must not hold the read).
        if (deadline.HasPassed()) {
            clear_before_write_ = true;
            detail_ = "The device's reply did not end before the time-out.";
            return {VI_ERROR_TMO, received};
        }
    }
}

ViStatus Vxi11Transport::DeviceClear(const Deadline& deadline) {
    if (call_outstanding_) {
        AbortOutstandingCall();
    }
    Device_GenericParms parameters{};
    parameters.lid = link_id_;
    parameters.flags = 0;
    parameters.lock_timeout = MillisecondsLeft(deadline);
    parameters.io_timeout = parameters.lock_timeout;
    Device_Error reply{};
    ViStatus status =
        CallCore(kDeviceClear, Codec<Device_GenericParms, xdr_Device_GenericParms>(), &parameters,
                 Codec<Device_Error, xdr_Device_Error>(), &reply, deadline);
    if (status == VI_SUCCESS && reply.error != 0) {
        detail_ = "device_clear failed (VXI-11 error " + std::to_string(reply.error) + ").";
        status = Vxi11ErrorStatus(reply.error);
    }
    if (status == VI_SUCCESS) {
        clear_before_write_ = false;
        reply_partly_read_ = false;
    }
    return status;
}

ViStatus Vxi11Transport::Clear(const IoSettings& settings, const Deadline& deadline) {
    if (core_.Aborted()) {
        return VI_ERROR_ABORT;
    }
    if (!linked_ || !core_.IsOpen()) {
        // The connection was lost: a new link is as clear as a device can be.
        core_.Close();
        abort_channel_.Close();
        linked_ = false;
        return Connect(settings, deadline);
    }
    return DeviceClear(deadline);
}

ViStatus Vxi11Transport::ReadStatusByte(ViUInt16* status_byte, const Deadline& deadline) {
    if (const ViStatus linked = CheckLinked(); linked != VI_SUCCESS) {
        return linked;
    }
    Device_GenericParms parameters{};
    parameters.lid = link_id_;
    parameters.lock_timeout = MillisecondsLeft(deadline);
    parameters.io_timeout = parameters.lock_timeout;
    Device_ReadStbResp reply{};
    const ViStatus status =
        CallCore(kDeviceReadStb, Codec<Device_GenericParms, xdr_Device_GenericParms>(), &parameters,
                 Codec<Device_ReadStbResp, xdr_Device_ReadStbResp>(), &reply, deadline);
    if (status != VI_SUCCESS) {
        return status;
    }
    if (reply.error != 0) {
        detail_ = "device_readstb failed (VXI-11 error " + std::to_string(reply.error) + ").";
        return Vxi11ErrorStatus(reply.error);
    }
    *status_byte = reply.stb;
    return VI_SUCCESS;
}

void Vxi11Transport::Abort() {
    core_.Abort();
    abort_channel_.Abort();
}

void Vxi11Transport::Close() {
    if (linked_ && core_.IsOpen()) {
        // Runs once no operation does any more: the goodbye may use the aborted channels.
        core_.ResumeAfterAbort();
        abort_channel_.ResumeAfterAbort();
        if (call_outstanding_) {
            AbortOutstandingCall();
        }
        Device_Link link = link_id_;
        Device_Error reply{};
        core_.Call({DEVICE_CORE, DEVICE_CORE_VERSION, kDestroyLink},
                   Codec<Device_Link, xdr_Device_Link>(), &link,
                   Codec<Device_Error, xdr_Device_Error>(), &reply,
                   Deadline::AfterMilliseconds(kGoodbyeMs), &detail_);
        core_.Abort();
    }
    linked_ = false;
    core_.Close();
    abort_channel_.Close();
}

}  // namespace tevo::visa
