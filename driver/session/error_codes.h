// The driver's error codes: the driver codes that code reports with (30001 to 30041), the
// message ids of the module's message table and the HRESULTs that clients see.
#pragma once

#include "tevo/win/types.h"

namespace tevo::driver {

// Driver codes passed to ReportError. MapDriverCode turns them into message ids.
enum DriverCode : LONG {
    kCannotRecover = 30002,
    kInstrumentStatus = 30003,
    kInvalidValue = 30008,
    kMethodNotSupported = 30009,
    kPropertyNotSupported = 30010,
    kNotInitialized = 30012,
    kBadOptionValue = 30019,
    kNullPointer = 30022,
    kUnexpectedResponse = 30023,
    kIdQueryFailed = 30027,
    kResetFailed = 30028,
    kAlreadyInitialized = 30030,
    kCannotChangeSimulationState = 30031,
};

// Message ids used directly with ReportMessageError.
enum MessageId : DWORD {
    kMessageCannotRecover = 2,
    kMessageNotInitialized = 12,
    kMessageNullPointer = 22,
};

// HRESULTs of the message table (see ErrorHelpTable for all of them).
inline constexpr HRESULT E_IVI_CANNOT_RECOVER = static_cast<HRESULT>(0x80047000);
inline constexpr HRESULT E_IVI_INSTRUMENT_STATUS = static_cast<HRESULT>(0x80047001);
inline constexpr HRESULT E_IVI_INVALID_VALUE = static_cast<HRESULT>(0x80047010);
inline constexpr HRESULT E_IVI_METHOD_NOT_SUPPORTED = static_cast<HRESULT>(0x80047011);
inline constexpr HRESULT E_IVI_PROPERTY_NOT_SUPPORTED = static_cast<HRESULT>(0x80047012);
inline constexpr HRESULT E_IVI_VALUE_NOT_SUPPORTED = static_cast<HRESULT>(0x80047013);
inline constexpr HRESULT E_IVI_NOT_INITIALIZED = static_cast<HRESULT>(0x8004701D);
inline constexpr HRESULT E_IVI_BAD_OPTION_VALUE = static_cast<HRESULT>(0x8004704C);
inline constexpr HRESULT E_IVI_NULL_POINTER = static_cast<HRESULT>(0x80047058);
inline constexpr HRESULT E_IVI_UNEXPECTED_RESPONSE = static_cast<HRESULT>(0x80047059);
inline constexpr HRESULT E_IVI_ID_QUERY_FAILED = static_cast<HRESULT>(0x8004705E);
inline constexpr HRESULT E_IVI_RESET_FAILED = static_cast<HRESULT>(0x8004705F);
inline constexpr HRESULT E_IVI_ALREADY_INITIALIZED = static_cast<HRESULT>(0x80047061);
inline constexpr HRESULT E_IVI_CANNOT_CHANGE_SIMULATION_STATE = static_cast<HRESULT>(0x80047062);

// The details of the errors reported in more than one place.
inline constexpr const char* kNotConnectedDetails =
    "A connection to the instrument has not been established.";
inline constexpr const char* kNullPointerDetails = "Method: %s, Param: %s";
inline constexpr const char* kInvalidValueDetails = "Value: %s, Method: %s, Param:%s";
inline constexpr const char* kNotSupportedDetails = "Method: %s";
inline constexpr const char* kUnexpectedResponseDetails = "Method: %s, Reason: %s";

}  // namespace tevo::driver
