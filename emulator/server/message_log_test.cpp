#include "server/message_log.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tevo/testing/temp_dir.h"

using tevo::emulator::MessageLog;

TEST(MessageLog, PrintableFormEscapesControlBytesAndSummarisesBlocks) {
    EXPECT_EQ(MessageLog::Printable("*IDN?"), "*IDN?");
    EXPECT_EQ(MessageLog::Printable("a\r\nb\\\x01\xff"), "a\\r\\nb\\\\\\x01\\xFF");
    EXPECT_EQ(MessageLog::Printable(std::string("#15\n\0abc\n", 9)), "#15<5 bytes>\\n");
    EXPECT_EQ(MessageLog::Printable("#3100abc"), "#3100<3 bytes>");  // a cut block
    EXPECT_EQ(MessageLog::Printable("#H1F"), "#H1F");
}

TEST(MessageLog, WritesOneLinePerEntryAndNothingWithoutAPath) {
    tevo::testing::TempDir dir;
    {
        MessageLog log((dir / "a.log").string());
        EXPECT_TRUE(log.enabled());
        log.Event("connection from 127.0.0.1:1");
        log.Received("*OPC?");
        log.Replied("1\n");
    }
    EXPECT_EQ(tevo::testing::ReadFile(dir / "a.log"),
              "-- connection from 127.0.0.1:1\n<< *OPC?\n>> 1\\n\n");
    MessageLog off("");
    EXPECT_FALSE(off.enabled());
    off.Received("ignored");
    EXPECT_THROW(MessageLog((dir / "missing" / "a.log").string()), std::runtime_error);
}
