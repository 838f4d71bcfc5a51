#include "io/io_timeout_scope.h"

namespace tevo::driver {

IoTimeoutScope::IoTimeoutScope(InstrumentIo& io, LONG timeout) : io_(io) {
    if (timeout < -1 || io_.instrument_ == 0) {
        return;
    }
    ViUInt32 current = 0;
    if (viGetAttribute(io_.instrument_, VI_ATTR_TMO_VALUE, &current) < VI_SUCCESS) {
        return;
    }
    saved_ = current;
    has_saved_ = true;
    const ViUInt32 value = timeout == -1 ? VI_TMO_INFINITE : static_cast<ViUInt32>(timeout);
    viSetAttribute(io_.instrument_, VI_ATTR_TMO_VALUE, value);
}

IoTimeoutScope::~IoTimeoutScope() {
    if (has_saved_ && io_.instrument_ != 0) {
        viSetAttribute(io_.instrument_, VI_ATTR_TMO_VALUE, saved_);
    }
}

}  // namespace tevo::driver
