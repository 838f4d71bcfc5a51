// The numbers of the VXI-11 protocol that both ends use beyond the types vxi11.x declares:
// procedure numbers under names that do not clash with the macros rpcgen makes of the
// procedure names, operation flags, the reasons that end a device_read, and error codes.
#pragma once

#include <cstdint>

#include "vxi11.h"

namespace tevo::vxi11 {

inline constexpr uint32_t kCreateLink = create_link;
inline constexpr uint32_t kDeviceWrite = device_write;
inline constexpr uint32_t kDeviceRead = device_read;
inline constexpr uint32_t kDeviceReadStb = device_readstb;
inline constexpr uint32_t kDeviceTrigger = device_trigger;
inline constexpr uint32_t kDeviceClear = device_clear;
inline constexpr uint32_t kDeviceLock = device_lock;
inline constexpr uint32_t kDeviceUnlock = device_unlock;
inline constexpr uint32_t kDestroyLink = destroy_link;
inline constexpr uint32_t kDeviceAbort = device_abort;

// Operation flags.
inline constexpr long kFlagWaitLock = 1;
inline constexpr long kFlagEnd = 8;
inline constexpr long kFlagTermCharSet = 0x80;

// Reasons of a device_read reply.
inline constexpr long kReasonRequestCount = 1;
inline constexpr long kReasonTermChar = 2;
inline constexpr long kReasonEnd = 4;

// Error codes of the replies.
inline constexpr long kNoError = 0;
inline constexpr long kDeviceNotAccessible = 3;
inline constexpr long kInvalidLink = 4;
inline constexpr long kParameterError = 5;
inline constexpr long kNotSupported = 8;
inline constexpr long kOutOfResources = 9;
inline constexpr long kDeviceLocked = 11;
inline constexpr long kNoLockHeld = 12;
inline constexpr long kIoTimeout = 15;
inline constexpr long kIoError = 17;
inline constexpr long kAborted = 23;

}  // namespace tevo::vxi11
