// OperationContext: what the measurement operations need of the main driver object beyond
// what the attribute engine needs: the attribute table (configure operations set their
// settings through it, so they send exactly what the single properties send) and the
// state that operations keep across calls.
//
// Every operation is a free function whose first argument is the context and whose other
// arguments are those of the interface method it implements, so that each interface method
// of the object tree is one line:
//     return Session("ConfigureCenterSpan", [&] {
//         return operations::ConfigureCenterSpan(*this, CenterFrequency, Span); });
// Item methods pass their trace number after the context. The functions run under the
// caller's call frame and lock; they check their own arguments.
#pragma once

#include "attributes/attribute_context.h"
#include "attributes/attribute_table.h"

namespace tevo::driver {

// State of the operations that lasts from one call to the next. The main object keeps one
// and resets it at every Initialize and Close.
struct OperationState {
    // "*CAL?" was written and its answer has not been read yet: the next exchange that
    // reads must take it out of the way first (see ConsumePendingAnswer).
    bool calibration_answer_pending = false;
};

class OperationContext : public AttributeContext {
  public:
    // The table of the initialized session.
    virtual AttributeTable& Attributes() = 0;
    virtual OperationState& Operations() = 0;

  protected:
    ~OperationContext() = default;
};

}  // namespace tevo::driver
