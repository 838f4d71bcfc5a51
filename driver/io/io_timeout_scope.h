// IoTimeoutScope: a time-out for one exchange. Sets the instrument session's
// VI_ATTR_TMO_VALUE for the life of the scope and restores the previous value on every
// way out. A time-out below -1 (kSessionTimeout) leaves the session alone; -1 is infinite.
#pragma once

#include "io/instrument_io.h"

namespace tevo::driver {

class IoTimeoutScope {
  public:
    IoTimeoutScope(InstrumentIo& io, LONG timeout);
    ~IoTimeoutScope();
    IoTimeoutScope(const IoTimeoutScope&) = delete;
    IoTimeoutScope& operator=(const IoTimeoutScope&) = delete;

  private:
    InstrumentIo& io_;
    bool has_saved_ = false;
    ViUInt32 saved_ = 0;
};

}  // namespace tevo::driver
