#include "message_compiler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "compile_error.h"
#include "tevo/win/resources.h"

namespace tevo::rc {
namespace {

template <typename T>
T Read(const std::vector<std::uint8_t>& bytes, size_t offset) {
    T value{};
    EXPECT_LE(offset + sizeof value, bytes.size());
    if (offset + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// Reads a table back through the RT_MESSAGETABLE layout, checking its entries' form.
std::map<std::uint32_t, std::string> Decode(const std::vector<std::uint8_t>& bytes) {
    std::map<std::uint32_t, std::string> messages;
    const auto blocks = Read<DWORD>(bytes, 0);
    for (DWORD b = 0; b < blocks; ++b) {
        const auto block =
            Read<MESSAGE_RESOURCE_BLOCK>(bytes, 4 + b * sizeof(MESSAGE_RESOURCE_BLOCK));
        size_t pos = block.OffsetToEntries;
        for (std::uint64_t id = block.LowId; id <= block.HighId; ++id) {
            const auto length = Read<WORD>(bytes, pos);
            EXPECT_EQ(length % 4, 0) << id;
            EXPECT_EQ(Read<WORD>(bytes, pos + 2), MESSAGE_RESOURCE_UTF8);
            if (length < 4 || pos + length > bytes.size())
                return {};
            const char* text = reinterpret_cast<const char*>(bytes.data() + pos + 4);
            const size_t size = strnlen(text, length - 4u);
            EXPECT_LT(size, length - 4u) << "entry " << id << " has no terminator";
            messages[static_cast<std::uint32_t>(id)] = std::string(text, size);
            pos += length;
        }
    }
    return messages;
}

std::map<std::uint32_t, std::string> CompileOne(const std::string& text) {
    const auto tables = CompileMessages(text, "test.mc");
    EXPECT_EQ(tables.size(), 1u);
    return tables.empty() ? std::map<std::uint32_t, std::string>() : Decode(tables[0].bytes);
}

TEST(MessageCompiler, EveryTextLineEndsInCrLf) {
    const auto messages = CompileOne(
        "MessageId=1\nLanguage=English\nTevo: Success.\n.\n"
        "MessageId=2\r\nLanguage=English\r\nTwo\r\n\r\nlines%0\r\n.\r\n"
        "MessageId=3\nLanguage=English\n.\n");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages.at(1), "Tevo: Success.\r\n");
    EXPECT_EQ(messages.at(2), "Two\r\n\r\nlines%0\r\n");
    EXPECT_EQ(messages.at(3), "");
}

TEST(MessageCompiler, IdsFollowTheMessageCompilerRules) {
    const auto messages = CompileOne(
        "; a comment line\n"
        "SeverityNames=(Success=0x0 Error=0x3:STATUS_SEVERITY_ERROR)\n"
        "FacilityNames=(Io=0x7\n Mine=0x123:FACILITY_MINE\n)\n"
        "MessageId=5\nLanguage=English\nfive\n.\n"
        "MessageId=\nLanguage=English\nsix\n.\n"
        "MessageId=+4\nSymbolicName=TEN\nLanguage=English\nten\n.\n"
        "MessageId=0x20 Severity=Error Facility=Mine\nLanguage=English\ncomposed\n.\n"
        // Severity and facility carry over; numbering is per facility.
        "MessageId=\nLanguage=English\nnext\n.\n"
        "MessageId=\nFacility=Io\nLanguage=English\nfirst io\n.\n");
    std::map<std::uint32_t, std::string> expected = {
        {5, "five\r\n"},           {6, "six\r\n"},
        {10, "ten\r\n"},           {0xC1230020u, "composed\r\n"},
        {0xC1230021u, "next\r\n"}, {0xC0070001u, "first io\r\n"},
    };
    EXPECT_EQ(messages.size(), 6u);
    for (const auto& [id, text] : expected)
        EXPECT_EQ(messages.count(id) ? messages.at(id) : "<missing>", text) << std::hex << id;
}

TEST(MessageCompiler, FullWidthIdsWithoutSeverityOrFacility) {
    const auto messages = CompileOne("MessageId=0x80004005\nLanguage=English\nUnspecified\n.\n");
    EXPECT_EQ(messages.at(0x80004005u), "Unspecified\r\n");
    EXPECT_THROW(
        CompileMessages("MessageId=0x10000 Severity=Error\nLanguage=English\nx\n.\n", "test.mc"),
        CompileError);
}

TEST(MessageCompiler, OneTablePerLanguage) {
    const auto tables = CompileMessages(
        "LanguageNames=(German=0x407:MSG00407)\n"
        "MessageId=1\nLanguage=English\nOne\n.\nLanguage=German\nEins\n.\n"
        "MessageId=2\nLanguage=German\nZwei\n.\n",
        "test.mc");
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].language, 0x407);
    EXPECT_EQ(Decode(tables[0].bytes),
              (std::map<std::uint32_t, std::string>{{1, "Eins\r\n"}, {2, "Zwei\r\n"}}));
    EXPECT_EQ(tables[1].language, 0x409);
    EXPECT_EQ(Decode(tables[1].bytes), (std::map<std::uint32_t, std::string>{{1, "One\r\n"}}));
}

TEST(MessageCompiler, ConsecutiveIdsShareABlock) {
    const auto bytes = BuildMessageTable({{1, "a"}, {2, "bb"}, {3, "ccc"}, {7, "d"}, {8, "e"}});
    ASSERT_EQ(Read<DWORD>(bytes, 0), 2u);
    const auto first = Read<MESSAGE_RESOURCE_BLOCK>(bytes, 4);
    const auto second = Read<MESSAGE_RESOURCE_BLOCK>(bytes, 16);
    EXPECT_EQ(first.LowId, 1u);
    EXPECT_EQ(first.HighId, 3u);
    EXPECT_EQ(second.LowId, 7u);
    EXPECT_EQ(second.HighId, 8u);
    EXPECT_EQ(first.OffsetToEntries, 28u);
    EXPECT_EQ(Decode(bytes).at(3), "ccc");
    EXPECT_EQ(Decode(BuildMessageTable({})).size(), 0u);
}

int ErrorLine(const std::string& text) {
    try {
        CompileMessages(text, "bad.mc");
    } catch (const CompileError& error) {
        EXPECT_EQ(error.file(), "bad.mc");
        return error.line();
    }
    return -1;
}

TEST(MessageCompiler, ErrorsNameTheLine) {
    EXPECT_EQ(ErrorLine("MessageId=1\nLanguage=English\nno end\n"), 2);
    EXPECT_EQ(ErrorLine("MessageId=1\nLanguage=Klingon\nx\n.\n"), 2);
    EXPECT_EQ(
        ErrorLine("MessageId=1\nLanguage=English\nx\n.\nMessageId=1\nLanguage=English\ny\n.\n"), 6);
    EXPECT_EQ(ErrorLine("\n\nBogus=1\n"), 3);
    EXPECT_EQ(ErrorLine("Severity=Error\n"), 1);
    EXPECT_EQ(ErrorLine("MessageId=1\nSeverity=Fatal\n"), 2);
    EXPECT_EQ(ErrorLine("MessageId=1\nLanguage=English\nok\n.\nMessageId=2\n"), 5);
    EXPECT_EQ(ErrorLine("MessageId=x1\n"), 1);
    EXPECT_EQ(ErrorLine("SeverityNames=(Bad=0x4)\n"), 1);
    EXPECT_EQ(ErrorLine("FacilityNames=(Io=0x7\n"), 1);
    EXPECT_EQ(ErrorLine("MessageId=1\nLanguage=English\nbad \xC3 byte\n.\n"), 3);
}

}  // namespace
}  // namespace tevo::rc
