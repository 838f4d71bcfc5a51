// An instrument session: attributes, a transport, and the gate that admits one operation
// at a time and keeps a query's reply for the thread that asked.
#pragma once

#include <memory>
#include <string>

#include "session/exchange_gate.h"
#include "session/query_scanner.h"
#include "session/resource_manager.h"
#include "session/session_attributes.h"
#include "session/session_table.h"
#include "transport/transport.h"

namespace tevo::visa {

class InstrumentSession final : public VisaObject {
  public:
    InstrumentSession(std::string resource_string, const ResourceName& name,
                      std::unique_ptr<Transport> transport,
                      std::weak_ptr<ResourceManager> resource_manager);
    ~InstrumentSession() override;

    bool IsResourceManager() const override { return false; }

    // Connects; the deadline comes from the open time-out. *detail says why it failed.
    ViStatus Open(const Deadline& deadline, std::string* detail);

    ViStatus Read(ViByte* buffer, ViUInt32 count, ViUInt32* received);
    ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32* sent);
    ViStatus Clear();
    ViStatus Flush(ViUInt16 mask);
    ViStatus ReadStatusByte(ViUInt16* status_byte);
    // viLock/viUnlock; access_key (may be null) receives the shared lock's key.
    ViStatus Lock(ViAccessMode lock_type, ViUInt32 timeout_ms, const ViChar* requested_key,
                  ViChar* access_key);
    ViStatus Unlock();
    ViStatus GetAttribute(ViAttr attribute, void* value) const;
    ViStatus SetAttribute(ViAttr attribute, ViAttrState value);

    // Ends the session: an operation running in another thread is woken and ends with
    // VI_ERROR_ABORT, operations waiting to start end with VI_ERROR_INV_OBJECT.
    void Close();

    std::weak_ptr<ResourceManager> resource_manager() const { return resource_manager_; }

  private:
    // Waits for the gate; a reply abandoned by another thread is given up on the way.
    ViStatus EnterGate(const Deadline& deadline);
    // Records the detail of a failed operation; called while the operation still holds the
    // gate, as the transport's detail belongs to it.
    ViStatus Finish(ViStatus status);
    Deadline OperationDeadline() const;
    Deadline Lease() const;

    SessionAttributes attributes_;
    std::unique_ptr<Transport> transport_;
    std::weak_ptr<ResourceManager> resource_manager_;
    ExchangeGate gate_;
    QueryScanner query_scanner_;  // used only by the thread inside the gate
    bool closed_ = false;         // set by the one thread that closes the session
};

}  // namespace tevo::visa
