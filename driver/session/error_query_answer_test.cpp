// Reading the instrument's error query answer.
#include "session/error_query_answer.h"

#include <gtest/gtest.h>

#include <limits>

namespace tevo::driver {
namespace {

struct Scanned {
    int count = 0;
    LONG code = 12345;
    std::wstring message = L"untouched";
};

Scanned Scan(const std::wstring& answer) {
    Scanned result;
    result.count = ScanErrorQueryAnswer(answer, result.code, result.message);
    return result;
}

TEST(ErrorQueryAnswer, CodeAndQuotedMessage) {
    const Scanned none = Scan(L"0,\"No error\"");
    EXPECT_EQ(none.count, 2);
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.message, L"No error");
    const Scanned error = Scan(L"  -113,\"Undefined header;FREQ:STAR\"\n");
    EXPECT_EQ(error.count, 2);
    EXPECT_EQ(error.code, -113);
    EXPECT_EQ(error.message, L"Undefined header;FREQ:STAR");
    // The message ends at an apostrophe as at the closing quote.
    EXPECT_EQ(Scan(L"-222,\"Data out of range 'x'\"").message, L"Data out of range ");
}

TEST(ErrorQueryAnswer, PartialAnswersLeaveTheRestAlone) {
    const Scanned nothing = Scan(L"garbage");
    EXPECT_EQ(nothing.count, 0);
    EXPECT_EQ(nothing.code, 12345);
    const Scanned code_only = Scan(L"-100,Command error");
    EXPECT_EQ(code_only.count, 1);
    EXPECT_EQ(code_only.code, -100);
    EXPECT_EQ(code_only.message, L"untouched");
    EXPECT_EQ(Scan(L"-100,\"\"").count, 1);
    EXPECT_EQ(Scan(L"-100").count, 1);
    EXPECT_EQ(Scan(L"").count, 0);
}

TEST(ErrorQueryAnswer, OverlongCodesSaturateInsteadOfWrapping) {
    // 2^32 + 1 would wrap to 1 when narrowed; -2^32 - 7 to -7.
    EXPECT_EQ(Scan(L"4294967297,\"x\"").code, std::numeric_limits<LONG>::max());
    EXPECT_EQ(Scan(L"-4294967303,\"x\"").code, std::numeric_limits<LONG>::min());
    EXPECT_EQ(Scan(L"99999999999999999999999,\"x\"").code, std::numeric_limits<LONG>::max());
    EXPECT_EQ(Scan(L"2147483647,\"x\"").code, 2147483647);
    EXPECT_EQ(Scan(L"-2147483648,\"x\"").code, std::numeric_limits<LONG>::min());
}

}  // namespace
}  // namespace tevo::driver
