// An open resource-manager and instrument session for tests, with small helpers for the
// write-then-read exchanges the tests make. Closing the resource manager at the end closes
// the instrument session too.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tevo/visa.h"

namespace tevo::visa::testing {

struct ReadOutcome {
    ViStatus status = VI_SUCCESS;
    std::string bytes;
};

class TestSession {
  public:
    explicit TestSession(const std::string& resource) {
        EXPECT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
        open_status = viOpen(rm, resource.c_str(), VI_NO_LOCK, 2000, &vi);
        EXPECT_EQ(open_status, VI_SUCCESS) << resource;
    }
    ~TestSession() { viClose(rm); }
    TestSession(const TestSession&) = delete;
    TestSession& operator=(const TestSession&) = delete;

    ViStatus SetTimeout(ViUInt32 milliseconds) {
        return viSetAttribute(vi, VI_ATTR_TMO_VALUE, milliseconds);
    }

    ViStatus Write(std::string_view message) {
        ViUInt32 sent = 0;
        const ViStatus status = viWrite(vi, reinterpret_cast<const ViByte*>(message.data()),
                                        static_cast<ViUInt32>(message.size()), &sent);
        if (status >= VI_SUCCESS) {
            EXPECT_EQ(sent, message.size());
        }
        return status;
    }

    ReadOutcome Read(size_t count) {
        std::string buffer(count, '\0');
        ViUInt32 received = 0;
        ReadOutcome outcome;
        outcome.status = viRead(vi, reinterpret_cast<ViByte*>(buffer.data()),
                                static_cast<ViUInt32>(count), &received);
        EXPECT_LE(received, count);
        outcome.bytes = buffer.substr(0, received);
        return outcome;
    }

    ReadOutcome Query(std::string_view message, size_t count = 4096) {
        const ViStatus written = Write(message);
        if (written < VI_SUCCESS) {
            return {written, {}};
        }
        return Read(count);
    }

    ViSession rm = VI_NULL;
    ViSession vi = VI_NULL;
    ViStatus open_status = VI_SUCCESS;
};

}  // namespace tevo::visa::testing
