// One ONC RPC client connection over TCP: a call is sent as one record and its reply awaited
// until the caller's deadline. Waits use TcpConnection, so they end at the deadline or when
// another thread aborts them. A reply that comes after its call gave up is recognised by its
// transaction id and skipped, so it never answers a later call.
#pragma once

#include <cstdint>
#include <string>

#include "onc_rpc.h"
#include "tevo/visa.h"
#include "transport/deadline.h"
#include "transport/tcp_connection.h"

namespace tevo::visa {

class RpcChannel {
  public:
    RpcChannel();

    // Statuses as TcpConnection::Connect.
    ViStatus Open(const std::string& host, ViUInt16 port, const Deadline& deadline,
                  std::string* detail);
    bool IsOpen() const { return connection_.IsOpen(); }
    void Close();

    // Calls target with args and decodes the reply into results (free them with
    // oncrpc::FreeDecoded after VI_SUCCESS). Statuses: VI_SUCCESS, VI_ERROR_TMO (no reply by
    // the deadline; the call stays outstanding), VI_ERROR_CONN_LOST, VI_ERROR_ABORT, and
    // VI_ERROR_IO when the peer answers with something other than results.
    ViStatus Call(const oncrpc::CallTarget& target, xdrproc_t args_proc, const void* args,
                  xdrproc_t results_proc, void* results, const Deadline& deadline,
                  std::string* detail);

    void Abort() { connection_.Abort(); }
    void ResumeAfterAbort() { connection_.ResumeAfterAbort(); }
    bool Aborted() const { return connection_.Aborted(); }
    std::string PeerAddress() const { return connection_.PeerAddress(); }

  private:
    ViStatus AwaitReply(uint32_t xid, xdrproc_t results_proc, void* results,
                        const Deadline& deadline, std::string* detail);
    ViStatus Lost(const std::string& why, std::string* detail);

    TcpConnection connection_;
    oncrpc::RecordReader reader_;
    uint32_t next_xid_;
};

}  // namespace tevo::visa
