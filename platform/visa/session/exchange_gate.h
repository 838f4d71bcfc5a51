// Admits one operation at a time on a session, and keeps a query's reply for the thread
// that sent the query.
//
// After a thread writes a query (or the first pieces of a message, or reads part of a
// reply), the session stays reserved for that thread: other threads wait until it has
// read the reply to its end, or until its lease (the session time-out, counted from its
// last operation) has run out. Two threads can thus never interleave one query's write
// and read. Waits end at the waiting thread's own deadline.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "tevo/visa.h"
#include "transport/deadline.h"

namespace tevo::visa {

class ExchangeGate {
  public:
    // Waits until the calling thread may run an operation. VI_SUCCESS, VI_ERROR_TMO when
    // the deadline passes first, VI_ERROR_INV_OBJECT once the gate is closed. *took_over
    // (may be null) tells whether another thread's reservation ran out for this entry: the
    // reply that thread waited for is abandoned.
    ViStatus Enter(const Deadline& deadline, bool* took_over = nullptr);
    // Ends the operation. With reserve, the session stays reserved for the calling thread
    // until lease passes; otherwise any reservation ends.
    void Leave(bool reserve, const Deadline& lease);
    // Makes every waiting and later Enter fail, then waits until the running operation (if
    // any) has left.
    void CloseAndWaitIdle();

  private:
    bool MayEnter(std::thread::id self) const;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool busy_ = false;
    bool closed_ = false;
    std::optional<std::thread::id> owner_;
    Deadline lease_ = Deadline::Never();
};

}  // namespace tevo::visa
