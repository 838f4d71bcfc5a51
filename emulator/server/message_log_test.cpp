#include "server/message_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tevo/testing/temp_dir.h"

using tevo::emulator::MessageLog;

namespace {

constexpr uint64_t kNoLimit = uint64_t{1} << 40;

// The lines of a file, without their line feeds; none when it does not exist.
std::vector<std::string> Lines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    if (!std::filesystem::exists(path))
        return lines;
    const std::string text = tevo::testing::ReadFile(path);
    size_t begin = 0;
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', begin)) {
        lines.push_back(text.substr(begin, lf - begin));
        begin = lf + 1;
    }
    return lines;
}

}  // namespace

TEST(MessageLog, PrintableFormEscapesControlBytesAndSummarisesBlocks) {
    EXPECT_EQ(MessageLog::Printable("*IDN?"), "*IDN?");
    EXPECT_EQ(MessageLog::Printable("a\r\nb\\\x01\xff"), "a\\r\\nb\\\\\\x01\\xFF");
    EXPECT_EQ(MessageLog::Printable(std::string("#15\n\0abc\n", 9)), "#15<5 bytes>\\n");
    EXPECT_EQ(MessageLog::Printable("#3100abc"), "#3100<3 bytes>");  // a cut block
    EXPECT_EQ(MessageLog::Printable("#H1F"), "#H1F");
}

TEST(MessageLog, WritesOneLinePerEntryTaggedByConnectionAndNothingWithoutAPath) {
    tevo::testing::TempDir dir;
    {
        MessageLog log((dir / "a.log").string(), kNoLimit);
        EXPECT_TRUE(log.enabled());
        log.Event(1, "connection from 127.0.0.1:1");
        log.Received(1, "*OPC?");
        log.Received(12, "*IDN?");
        log.Replied(1, "1\n");
        log.Event("refused a connection");
    }
    EXPECT_EQ(tevo::testing::ReadFile(dir / "a.log"),
              "[1] -- connection from 127.0.0.1:1\n[1] << *OPC?\n[12] << *IDN?\n[1] >> 1\\n\n"
              "-- refused a connection\n");
    MessageLog off("", kNoLimit);
    EXPECT_FALSE(off.enabled());
    off.Received(1, "ignored");
    EXPECT_THROW(MessageLog((dir / "missing" / "a.log").string(), kNoLimit), std::runtime_error);
}

TEST(MessageLog, RotatesToOneOlderFileAtTheLimit) {
    tevo::testing::TempDir dir;
    const std::filesystem::path path = dir / "a.log";
    const std::filesystem::path older = dir / "a.log.1";
    constexpr uint64_t kLimit = 4096;
    constexpr int kLines = 500;  // about 12 KB: two rotations
    {
        MessageLog log(path.string(), kLimit);
        for (int i = 0; i < kLines; ++i)
            log.Received(1, "SENS:FREQ:STAR " + std::to_string(i));
    }
    EXPECT_LE(std::filesystem::file_size(path), kLimit);
    EXPECT_LE(std::filesystem::file_size(older), kLimit);
    // The two files hold the newest lines, oldest first, without a gap.
    std::vector<std::string> lines = Lines(older);
    const std::vector<std::string> newer = Lines(path);
    ASSERT_FALSE(lines.empty());
    ASSERT_FALSE(newer.empty());
    lines.insert(lines.end(), newer.begin(), newer.end());
    EXPECT_GT(lines.size(), kLimit / 2 / 30);  // more than half the room in use
    const int first = kLines - static_cast<int>(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], "[1] << SENS:FREQ:STAR " + std::to_string(first + static_cast<int>(i)));
}

TEST(MessageLog, AnExistingFileCountsTowardsTheLimitAndLongLinesAreCut) {
    tevo::testing::TempDir dir;
    const std::filesystem::path path = dir / "a.log";
    tevo::testing::WriteFile(path, std::string(5000, 'x') + "\n");
    {
        MessageLog log(path.string(), 4096);
        log.Received(2, "SYST:PASS '" + std::string(100000, 'p') + "'");
    }
    EXPECT_EQ(std::filesystem::file_size(dir / "a.log.1"), 5001u);  // the old content, whole
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_LT(lines[0].size(), MessageLog::kMaxTextBytes + 40);
    EXPECT_EQ(lines[0].rfind("[2] << SYST:PASS 'ppp", 0), 0u);
    EXPECT_NE(lines[0].find("<98988 more characters>"), std::string::npos) << lines[0];
}

TEST(MessageLog, StopsWithANoteWhenItCannotRotate) {
    tevo::testing::TempDir dir;
    const std::filesystem::path path = dir / "a.log";
    // A folder where the older file would go: the rename fails.
    std::filesystem::create_directories(dir / "a.log.1" / "occupied");
    {
        MessageLog log(path.string(), 4096);
        for (int i = 0; i < 500; ++i)  // about 9 KB
            log.Received(1, "*OPC? " + std::to_string(i));
        EXPECT_FALSE(log.enabled());
    }
    const std::vector<std::string> lines = Lines(path);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "[1] << *OPC? 0");
    EXPECT_EQ(lines.back().rfind("-- the log reached its limit of 4096 bytes and cannot be "
                                 "renamed to ",
                                 0),
              0u)
        << lines.back();
    EXPECT_LE(std::filesystem::file_size(path), 4096u + 200u);
}
