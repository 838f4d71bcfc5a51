// The exported VISA operations: handle look-up, argument checks, and hand-over to the
// resource manager or the instrument session.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "resource/resource_name.h"
#include "session/instrument_session.h"
#include "session/resource_manager.h"
#include "session/session_table.h"
#include "status/status_text.h"
#include "tevo/visa.h"
#include "transport/transport.h"

namespace tevo::visa {
namespace {

constexpr ViUInt32 kLockModes = VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK;
constexpr ViUInt32 kKnownModes = kLockModes | VI_LOAD_CONFIG;

std::shared_ptr<ResourceManager> FindResourceManager(ViSession handle, ViStatus* status) {
    std::shared_ptr<VisaObject> object = SessionTable::Instance().Find(handle);
    if (!object) {
        *status = VI_ERROR_INV_OBJECT;
        return nullptr;
    }
    if (!object->IsResourceManager()) {
        *status = VI_ERROR_NSUP_OPER;
        return nullptr;
    }
    return std::static_pointer_cast<ResourceManager>(object);
}

std::shared_ptr<InstrumentSession> FindSession(ViSession handle, ViStatus* status) {
    std::shared_ptr<VisaObject> object = SessionTable::Instance().Find(handle);
    if (!object) {
        *status = VI_ERROR_INV_OBJECT;
        return nullptr;
    }
    if (object->IsResourceManager()) {
        *status = VI_ERROR_NSUP_OPER;
        return nullptr;
    }
    return std::static_pointer_cast<InstrumentSession>(object);
}

ViStatus Fail(VisaObject& object, ViStatus status, const std::string& detail) {
    object.RecordFailure(status, detail);
    return status;
}

// The connection set-up is bounded by the open time-out; 0, the customary VI_NULL, gives
// the default time-out rather than no time at all.
Deadline OpenDeadline(ViUInt32 timeout) {
    return Deadline::AfterMilliseconds(timeout == VI_TMO_IMMEDIATE ? kDefaultTimeoutMs : timeout);
}

ViStatus OpenSession(ResourceManager& manager, const std::shared_ptr<ResourceManager>& owner,
                     ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout, ViSession* vi) {
    if (name == nullptr) {
        return Fail(manager, VI_ERROR_INV_RSRC_NAME, "No resource string was given.");
    }
    const std::string_view text(name);
    if (text.size() >= VI_FIND_BUFLEN) {
        return Fail(manager, VI_ERROR_INV_RSRC_NAME,
                    "The resource string is longer than 255 characters.");
    }
    if ((mode & ~kKnownModes) != 0 || (mode & kLockModes) == kLockModes) {
        return Fail(manager, VI_ERROR_INV_ACC_MODE, "The access mode has unknown bits.");
    }
    ResourceName parsed;
    std::string why;
    if (ParseResourceName(text, &parsed, &why) != VI_SUCCESS) {
        return Fail(manager, VI_ERROR_INV_RSRC_NAME, why);
    }
    std::unique_ptr<Transport> transport = CreateTransport(parsed, &why);
    if (!transport) {
        return Fail(manager, VI_ERROR_RSRC_NFOUND, why);
    }
    if ((mode & kLockModes) != 0) {
        return Fail(manager, VI_ERROR_NSUP_OPER, "Sessions to this resource cannot be locked.");
    }
    auto session =
        std::make_shared<InstrumentSession>(std::string(text), parsed, std::move(transport), owner);
    const ViStatus status = session->Open(OpenDeadline(timeout), &why);
    if (status != VI_SUCCESS) {
        session->Close();
        return Fail(manager, status, why);
    }
    const ViSession handle = SessionTable::Instance().Add(session);
    if (!manager.Adopt(handle)) {
        SessionTable::Instance().Remove(handle);
        session->Close();
        return VI_ERROR_INV_OBJECT;  // the manager was closed meanwhile
    }
    *vi = handle;
    return VI_SUCCESS;
}

ViStatus ParseForCaller(ViSession rmSesn, ViConstRsrc rsrcName, ResourceName* parsed) {
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<ResourceManager> manager = FindResourceManager(rmSesn, &status);
    if (!manager) {
        return status;
    }
    if (rsrcName == nullptr) {
        return Fail(*manager, VI_ERROR_INV_RSRC_NAME, "No resource string was given.");
    }
    std::string why;
    if (ParseResourceName(rsrcName, parsed, &why) != VI_SUCCESS) {
        return Fail(*manager, VI_ERROR_INV_RSRC_NAME, why);
    }
    return VI_SUCCESS;
}

}  // namespace
}  // namespace tevo::visa

using namespace tevo::visa;

extern "C" ViStatus viOpenDefaultRM(ViPSession vi) {
    if (vi == nullptr) {
        return VI_ERROR_INV_PARAMETER;
    }
    *vi = SessionTable::Instance().Add(std::make_shared<ResourceManager>());
    return VI_SUCCESS;
}

extern "C" ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                           ViPSession vi) {
    if (vi != nullptr) {
        *vi = VI_NULL;
    }
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<ResourceManager> manager = FindResourceManager(sesn, &status);
    if (!manager) {
        return status;
    }
    if (vi == nullptr) {
        return VI_ERROR_INV_PARAMETER;
    }
    return OpenSession(*manager, manager, name, mode, timeout, vi);
}

extern "C" ViStatus viClose(ViObject vi) {
    std::shared_ptr<VisaObject> object = SessionTable::Instance().Remove(vi);
    if (!object) {
        return VI_ERROR_INV_OBJECT;
    }
    if (object->IsResourceManager()) {
        auto manager = std::static_pointer_cast<ResourceManager>(object);
        for (ViSession handle : manager->CloseAndTakeSessions()) {
            std::shared_ptr<VisaObject> session = SessionTable::Instance().Remove(handle);
            if (session) {
                std::static_pointer_cast<InstrumentSession>(session)->Close();
            }
        }
        return VI_SUCCESS;
    }
    auto session = std::static_pointer_cast<InstrumentSession>(object);
    session->Close();
    if (std::shared_ptr<ResourceManager> manager = session->resource_manager().lock()) {
        manager->Forget(vi);
    }
    return VI_SUCCESS;
}

extern "C" ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt != nullptr) {
        *retCnt = 0;
    }
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<InstrumentSession> session = FindSession(vi, &status);
    if (!session) {
        return status;
    }
    if (buf == nullptr && cnt > 0) {
        return VI_ERROR_INV_PARAMETER;
    }
    ViUInt32 received = 0;
    status = session->Read(buf, cnt, &received);
    if (retCnt != nullptr) {
        *retCnt = received;
    }
    return status;
}

extern "C" ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt != nullptr) {
        *retCnt = 0;
    }
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<InstrumentSession> session = FindSession(vi, &status);
    if (!session) {
        return status;
    }
    if (buf == nullptr && cnt > 0) {
        return VI_ERROR_INV_PARAMETER;
    }
    ViUInt32 sent = 0;
    status = session->Write(buf, cnt, &sent);
    if (retCnt != nullptr) {
        *retCnt = sent;
    }
    return status;
}

extern "C" ViStatus viClear(ViSession vi) {
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<InstrumentSession> session = FindSession(vi, &status);
    return session ? session->Clear() : status;
}

extern "C" ViStatus viFlush(ViSession vi, ViUInt16 mask) {
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<InstrumentSession> session = FindSession(vi, &status);
    return session ? session->Flush(mask) : status;
}

extern "C" ViStatus viReadSTB(ViSession vi, ViPUInt16 status) {
    ViStatus result = VI_SUCCESS;
    std::shared_ptr<InstrumentSession> session = FindSession(vi, &result);
    if (!session) {
        return result;
    }
    if (status == nullptr) {
        return VI_ERROR_INV_PARAMETER;
    }
    return session->ReadStatusByte(status);
}

extern "C" ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout,
                           ViConstKeyId requestedKey, ViKeyId accessKey) {
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<InstrumentSession> session = FindSession(vi, &status);
    return session ? session->Lock(lockType, timeout, requestedKey, accessKey) : status;
}

extern "C" ViStatus viUnlock(ViSession vi) {
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<InstrumentSession> session = FindSession(vi, &status);
    return session ? session->Unlock() : status;
}

extern "C" ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue) {
    std::shared_ptr<VisaObject> object = SessionTable::Instance().Find(vi);
    if (!object) {
        return VI_ERROR_INV_OBJECT;
    }
    if (attrValue == nullptr) {
        return VI_ERROR_INV_PARAMETER;
    }
    if (object->IsResourceManager()) {
        return VI_ERROR_NSUP_ATTR;
    }
    return std::static_pointer_cast<InstrumentSession>(object)->GetAttribute(attrName, attrValue);
}

extern "C" ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    std::shared_ptr<VisaObject> object = SessionTable::Instance().Find(vi);
    if (!object) {
        return VI_ERROR_INV_OBJECT;
    }
    if (object->IsResourceManager()) {
        return VI_ERROR_NSUP_ATTR;
    }
    return std::static_pointer_cast<InstrumentSession>(object)->SetAttribute(attrName, attrValue);
}

extern "C" ViStatus viStatusDesc(ViObject vi, ViStatus status, ViChar desc[]) {
    if (desc == nullptr) {
        return VI_ERROR_INV_PARAMETER;
    }
    ViStatus result = VI_SUCCESS;
    std::string text;
    if (const char* standard = StandardStatusText(status)) {
        text = standard;
    } else {
        char unknown[64];
        std::snprintf(unknown, sizeof unknown, "Unknown status code 0x%08X.",
                      static_cast<unsigned>(status));
        text = unknown;
        result = VI_WARN_UNKNOWN_STATUS;
    }
    if (vi != VI_NULL) {
        std::shared_ptr<VisaObject> object = SessionTable::Instance().Find(vi);
        if (!object) {
            result = VI_ERROR_INV_OBJECT;  // the text is still given
        } else if (std::string detail = object->FailureDetailFor(status); !detail.empty()) {
            text += " " + detail;
        }
    }
    CopyToVisaString(text, desc);
    return result;
}

extern "C" ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                                ViPUInt16 intfNum) {
    return viParseRsrcEx(rmSesn, rsrcName, intfType, intfNum, nullptr, nullptr, nullptr);
}

extern "C" ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                                  ViPUInt16 intfNum, ViChar rsrcClass[],
                                  ViChar expandedUnaliasedName[], ViChar aliasIfExists[]) {
    ResourceName parsed;
    const ViStatus status = ParseForCaller(rmSesn, rsrcName, &parsed);
    if (status != VI_SUCCESS) {
        return status;
    }
    if (intfType != nullptr) {
        *intfType = static_cast<ViUInt16>(parsed.interface_kind);
    }
    if (intfNum != nullptr) {
        *intfNum = parsed.board;
    }
    if (rsrcClass != nullptr) {
        CopyToVisaString(parsed.ClassName(), rsrcClass);
    }
    if (expandedUnaliasedName != nullptr) {
        CopyToVisaString(parsed.Canonical(), expandedUnaliasedName);
    }
    if (aliasIfExists != nullptr) {
        aliasIfExists[0] = '\0';
    }
    return VI_SUCCESS;
}
