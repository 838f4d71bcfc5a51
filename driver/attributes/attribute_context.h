// AttributeContext: what the attribute engine needs of the main driver object. The main
// object implements it; the engine reaches it through the attribute records' root link.
#pragma once

#include "io/instrument_io.h"
#include "session/error_reporting.h"
#include "tevo/Tevo.h"
#include "translate/translate_maps.h"

namespace tevo::driver {

class AttributeContext {
  public:
    // The object's own IIviDriverOperation (not AddRef'ed). The engine reads Cache,
    // RangeCheck and Simulate through it as full interface calls, each in its own frame.
    virtual IIviDriverOperation* OwnDriverOperation() = 0;
    virtual InstrumentIo& AttributeIo() = 0;
    virtual const TranslateMaps& Maps() const = 0;
    // The active screen as the object's own ITevoDisplay.ActiveScreen get answers it (a
    // full interface call): the stored screen, screen A in simulation. Read anew for
    // every window suffix.
    virtual HRESULT ReadActiveScreen(TevoActiveScreenEnum* screen) = 0;
    // The two values the driver keeps itself (set to screen A and marker 1 at Initialize).
    virtual TevoActiveScreenEnum StoredActiveScreen() const = 0;
    virtual void StoreActiveScreen(TevoActiveScreenEnum screen) = 0;
    virtual LONG StoredActiveMarker() const = 0;
    virtual void StoreActiveMarker(LONG marker) = 0;
    // Who reports errors: the class and its current interface.
    virtual ErrorSource AttributeErrors() const = 0;

  protected:
    ~AttributeContext() = default;
};

}  // namespace tevo::driver
