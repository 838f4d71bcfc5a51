// TCPIP INSTR sessions over VXI-11: ONC RPC to the device's core channel, and its abort
// channel for calls that have to be cut short.
//
// - Where the core channel is: `TCPIP0::host::inst0::INSTR` asks the portmapper on the host
//   (TCP port 111) for the port of the core program (GETPORT); `TCPIP0::host,port::inst0::
//   INSTR` connects straight to the core channel on that port and asks no portmapper (an
//   extension some VISA libraries have, used for emulators on ephemeral ports).
// - Connect opens the core channel and calls create_link for the LAN device name of the
//   resource (inst0 when the string names none). The reply gives the link id, the port of
//   the abort channel and the largest write the device takes (maxRecvSize).
// - Write sends the caller's bytes in device_write calls of at most maxRecvSize bytes, with
//   END on the last only (while VI_ATTR_SEND_END_EN is on); nothing is appended.
// - Read calls device_read until the reply carries END (VI_SUCCESS) or the termination
//   character (VI_SUCCESS_TERM_CHAR, only while VI_ATTR_TERMCHAR_EN is on), or the caller's
//   count is reached (VI_SUCCESS_MAX_CNT; the rest stays in the device for the next read).
//   Each call asks for no more than the caller still has room for, so nothing is buffered
//   here. END together with REQCNT ends the message.
// - Time-outs: each call carries the time left to the operation's deadline as io_timeout and
//   lock_timeout, so the device answers with its time-out error in time. A device that does
//   not answer by then is told to stop through the abort channel (device_abort).
// - No reply ever reaches the wrong query: after a read that timed out or a query given up
//   unread, a write while a reply is partly read, or a write that stopped part-way, the next
//   write first does a device clear.
// - Clear calls device_abort on the abort channel when a call is still outstanding, then
//   device_clear. When the core connection was lost, Clear links anew.
// - Close calls destroy_link and closes both channels.
//
// VXI-11 errors map to VISA statuses: 4 invalid link → VI_ERROR_INV_OBJECT, 5 →
// VI_ERROR_INV_PARAMETER, 8 → VI_ERROR_NSUP_OPER, 9 → VI_ERROR_ALLOC, 11 →
// VI_ERROR_RSRC_LOCKED, 12 → VI_ERROR_SESN_NLOCKED, 15 → VI_ERROR_TMO, 17 → VI_ERROR_IO,
// 23 → VI_ERROR_ABORT, 3 → VI_ERROR_RSRC_NFOUND; the rest (syntax error 1, channel errors 6
// and 29, unknown codes) → VI_ERROR_IO.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tevo/visa.h"
#include "transport/transport.h"
#include "vxi11/rpc_channel.h"

namespace tevo::visa {

inline constexpr ViUInt16 kPortmapperPort = 111;

// The port where VXI-11 sessions without ",port" ask the portmapper: 111 unless a test
// points it at a portmapper of its own. Thread-safe.
ViUInt16 PortmapperPort();
void SetPortmapperPortForTesting(ViUInt16 port);

// Asks the portmapper at host:portmapper_port for the TCP port of the VXI-11 core program.
ViStatus LookUpCorePort(const std::string& host, ViUInt16 portmapper_port, const Deadline& deadline,
                        ViUInt16* core_port, std::string* detail);

// The VISA status for a VXI-11 error code.
ViStatus Vxi11ErrorStatus(long error);

class Vxi11Transport final : public Transport {
  public:
    // port 0: look the core channel up with the portmapper at PortmapperPort().
    Vxi11Transport(std::string host, ViUInt16 port, std::string device_name);

    ViStatus Connect(const IoSettings& settings, const Deadline& deadline) override;
    IoResult Write(const ViByte* data, size_t count, const IoSettings& settings,
                   const Deadline& deadline) override;
    IoResult Read(ViByte* buffer, size_t count, const IoSettings& settings,
                  const Deadline& deadline) override;
    ViStatus Clear(const IoSettings& settings, const Deadline& deadline) override;
    // Nothing is buffered here: what the device still holds is dropped by the next write's
    // device clear when a reply was partly read.
    void DiscardInput() override {}
    void AbandonReply() override { clear_before_write_ = true; }
    void Abort() override;
    void Close() override;
    std::string PeerAddress() const override { return core_.PeerAddress(); }
    std::string FailureDetail() const override { return detail_; }

    // The device's IEEE 488.2 status byte (device_readstb).
    ViStatus ReadStatusByte(ViUInt16* status_byte, const Deadline& deadline) override;
    uint32_t max_recv_size() const { return max_recv_size_; }

  private:
    ViStatus Link(const Deadline& deadline);
    ViStatus DeviceClear(const Deadline& deadline);
    // Calls a core procedure; on a time-out tells the device through the abort channel to
    // stop the call.
    ViStatus CallCore(uint32_t procedure, xdrproc_t args_proc, const void* args,
                      xdrproc_t results_proc, void* results, const Deadline& deadline);
    // device_abort on the abort channel (opened on first use), within a short bound.
    void AbortOutstandingCall();
    // Fails with the status when the link is not usable.
    ViStatus CheckLinked() const;

    std::string host_;
    ViUInt16 port_;
    std::string device_name_;
    RpcChannel core_;
    RpcChannel abort_channel_;
    bool linked_ = false;
    long link_id_ = 0;
    ViUInt16 abort_port_ = 0;
    uint32_t max_recv_size_ = 0;
    bool call_outstanding_ = false;    // a core call gave up waiting for its reply
    bool clear_before_write_ = false;  // see the header comment
    bool reply_partly_read_ = false;   // the last read stopped at the caller's count
    std::string detail_;
};

}  // namespace tevo::visa
