#include "instrument/status_model.h"

#include <gtest/gtest.h>

#include <string>

#include "scpi/error_codes.h"

using tevo::emulator::StatusModel;
namespace scpi = tevo::emulator::scpi;

TEST(StatusModel, PowerOnAndEventBitsPerErrorClass) {
    StatusModel status;
    EXPECT_EQ(status.ReadAndClearEventStatus(), 128);
    EXPECT_EQ(status.ReadAndClearEventStatus(), 0);
    status.PushError(scpi::kUndefinedHeader);
    EXPECT_EQ(status.event_status(), 32);
    status.PushError(scpi::kDataOutOfRange);
    EXPECT_EQ(status.event_status(), 32 | 16);
    status.PushError(scpi::kInputBufferOverrun);
    status.PushError(scpi::kQueryInterrupted);
    EXPECT_EQ(status.ReadAndClearEventStatus(), 32 | 16 | 8 | 4);
    status.PushError(42);  // device-specific
    EXPECT_EQ(status.ReadAndClearEventStatus(), 8);
}

TEST(StatusModel, ErrorQueueIsFirstInFirstOutAndReportsOverflow) {
    StatusModel status;
    EXPECT_EQ(status.PopError(), "0,\"No error\"");
    status.PushError(scpi::kUndefinedHeader);
    status.PushError(scpi::kExecutionError, "No peak found");
    EXPECT_EQ(status.PopError(), "-113,\"Undefined header\"");
    EXPECT_EQ(status.PopError(), "-200,\"Execution error;No peak found\"");
    EXPECT_EQ(status.PopError(), "0,\"No error\"");

    for (size_t i = 0; i < StatusModel::kQueueCapacity + 5; ++i)
        status.PushError(scpi::kDataOutOfRange);
    EXPECT_EQ(status.ErrorCount(), StatusModel::kQueueCapacity);
    for (size_t i = 0; i + 1 < StatusModel::kQueueCapacity; ++i)
        EXPECT_EQ(status.PopError(), "-222,\"Data out of range\"");
    EXPECT_EQ(status.PopError(), "-350,\"Queue overflow\"");
    EXPECT_EQ(status.ErrorCount(), 0u);
}

TEST(StatusModel, StatusByteEnablesAndClear) {
    StatusModel status;
    status.ReadAndClearEventStatus();
    EXPECT_EQ(status.StatusByte(), 0);
    status.PushError(scpi::kUndefinedHeader);
    EXPECT_EQ(status.StatusByte(), StatusModel::kStbErrorQueue);
    status.set_event_status_enable(32);
    EXPECT_EQ(status.StatusByte(), StatusModel::kStbErrorQueue | StatusModel::kStbEventSummary);
    status.set_service_request_enable(0xFF);  // bit 6 cannot be enabled
    EXPECT_EQ(status.service_request_enable(), 0xBF);
    EXPECT_EQ(status.StatusByte(), StatusModel::kStbErrorQueue | StatusModel::kStbEventSummary |
                                       StatusModel::kStbRequestService);
    status.Clear();
    EXPECT_EQ(status.StatusByte(), 0);
    EXPECT_EQ(status.ErrorCount(), 0u);
    EXPECT_EQ(status.event_status_enable(), 32);  // *CLS leaves the enable registers
}
