#include "status/status_text.h"

#include <cstring>

namespace tevo::visa {
namespace {

struct StatusEntry {
    ViStatus status;
    const char* name;
    const char* text;
};

constexpr StatusEntry kStatusTable[] = {
    {VI_SUCCESS, "VI_SUCCESS", "Operation completed successfully."},
    {VI_SUCCESS_QUEUE_EMPTY, "VI_SUCCESS_QUEUE_EMPTY",
     "Operation completed successfully, but queue was already empty."},
    {VI_SUCCESS_TERM_CHAR, "VI_SUCCESS_TERM_CHAR", "The specified termination character was read."},
    {VI_SUCCESS_MAX_CNT, "VI_SUCCESS_MAX_CNT",
     "The number of bytes read is equal to the input count."},
    {VI_WARN_NSUP_ATTR_STATE, "VI_WARN_NSUP_ATTR_STATE",
     "Although the specified state of the attribute is valid, it is not supported by this "
     "implementation."},
    {VI_WARN_UNKNOWN_STATUS, "VI_WARN_UNKNOWN_STATUS",
     "The status code passed to the operation could not be interpreted."},
    {VI_ERROR_SYSTEM_ERROR, "VI_ERROR_SYSTEM_ERROR", "Unknown system error (miscellaneous error)."},
    {VI_ERROR_INV_OBJECT, "VI_ERROR_INV_OBJECT",
     "The given session or object reference is invalid."},
    {VI_ERROR_RSRC_LOCKED, "VI_ERROR_RSRC_LOCKED",
     "Specified type of lock cannot be obtained, or specified operation cannot be performed, "
     "because the resource is locked."},
    {VI_ERROR_RSRC_NFOUND, "VI_ERROR_RSRC_NFOUND",
     "Insufficient location information or the requested device or resource is not present in "
     "the system."},
    {VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME",
     "Invalid resource reference specified. Parsing error."},
    {VI_ERROR_INV_ACC_MODE, "VI_ERROR_INV_ACC_MODE", "Invalid access mode."},
    {VI_ERROR_TMO, "VI_ERROR_TMO", "Timeout expired before operation completed."},
    {VI_ERROR_CLOSING_FAILED, "VI_ERROR_CLOSING_FAILED",
     "Unable to deallocate the previously allocated data structures corresponding to this "
     "session or object reference."},
    {VI_ERROR_NSUP_ATTR, "VI_ERROR_NSUP_ATTR",
     "The specified attribute is not defined or supported by the referenced session, event, or "
     "find list."},
    {VI_ERROR_NSUP_ATTR_STATE, "VI_ERROR_NSUP_ATTR_STATE",
     "The specified state of the attribute is not valid, or is not supported as defined by the "
     "session, event, or find list."},
    {VI_ERROR_ATTR_READONLY, "VI_ERROR_ATTR_READONLY", "The specified attribute is Read Only."},
    {VI_ERROR_INV_LOCK_TYPE, "VI_ERROR_INV_LOCK_TYPE",
     "The specified type of lock is not supported by this resource."},
    {VI_ERROR_ABORT, "VI_ERROR_ABORT", "User abort occurred during transfer."},
    {VI_ERROR_INV_SETUP, "VI_ERROR_INV_SETUP",
     "Unable to start operation because setup is invalid (due to attributes being set to an "
     "inconsistent state)."},
    {VI_ERROR_ALLOC, "VI_ERROR_ALLOC",
     "Insufficient system resources to perform necessary memory allocation."},
    {VI_ERROR_IO, "VI_ERROR_IO", "Could not perform operation because of I/O error."},
    {VI_ERROR_INV_MASK, "VI_ERROR_INV_MASK", "Invalid buffer mask specified."},
    {VI_ERROR_NSUP_OPER, "VI_ERROR_NSUP_OPER",
     "The given session or object reference does not support this operation."},
    {VI_ERROR_RSRC_BUSY, "VI_ERROR_RSRC_BUSY",
     "The resource is valid, but VISA cannot currently access it."},
    {VI_ERROR_INV_PARAMETER, "VI_ERROR_INV_PARAMETER",
     "The value of some parameter (which parameter is not known) is invalid."},
    {VI_ERROR_INV_SIZE, "VI_ERROR_INV_SIZE", "Invalid size of window specified."},
    {VI_ERROR_NIMPL_OPER, "VI_ERROR_NIMPL_OPER", "The given operation is not implemented."},
    {VI_ERROR_SESN_NLOCKED, "VI_ERROR_SESN_NLOCKED",
     "The current session did not have any lock on the resource."},
    {VI_ERROR_LIBRARY_NFOUND, "VI_ERROR_LIBRARY_NFOUND",
     "A code library required by VISA could not be located or loaded."},
    {VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST",
     "The connection for the given session has been lost."},
    {VI_ERROR_MACHINE_NAVAIL, "VI_ERROR_MACHINE_NAVAIL",
     "The remote machine does not exist or is not accepting any connections."},
};

const StatusEntry* Find(ViStatus status) {
    for (const StatusEntry& entry : kStatusTable) {
        if (entry.status == status) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

const char* StandardStatusText(ViStatus status) {
    const StatusEntry* entry = Find(status);
    return entry == nullptr ? nullptr : entry->text;
}

const char* StatusName(ViStatus status) {
    const StatusEntry* entry = Find(status);
    return entry == nullptr ? nullptr : entry->name;
}

void CopyToVisaString(const std::string& text, ViChar* buffer) {
    const size_t length = text.size() < VI_FIND_BUFLEN - 1 ? text.size() : VI_FIND_BUFLEN - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace tevo::visa
