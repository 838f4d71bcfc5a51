// Reading ResultSetup: the number at the start of a text as "%d" reads it, and string
// values of any length read whole.
#include "result_setup.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "runner_test_support.h"

namespace {

using namespace std::string_literals;
using tevo::testing::WriteResultValue;
using tevo::tools::ScanDecimal;

// Runs after every size query (RegQueryValueExA without a data buffer) made in this
// process, while set: the test's stand-in for another process that changes the registry
// between two calls.
std::function<void()> after_size_query;

}  // namespace

// Takes the place of the platform's RegQueryValueExA within this test program and hands
// every call on to it.
extern "C" LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                    LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    using Query = LSTATUS (*)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    static const auto platform_query =
        reinterpret_cast<Query>(dlsym(RTLD_NEXT, "RegQueryValueExA"));
    const LSTATUS status = platform_query(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
    if (lpData == nullptr && after_size_query) {
        after_size_query();
    }
    return status;
}

namespace {

TEST(ScanDecimal, ReadsTheNumberAtTheStart) {
    struct Case {
        std::string text;
        int value;
    };
    const std::vector<Case> cases = {
        {"42", 42},
        {"0", 0},
        {"-7", -7},
        {"+5", 5},
        {" \t\r\n\v\f12", 12},
        {"17 apples", 17},
        {"-3-4", -3},
        {"007", 7},
        {"0x1F", 0},
        {"1e3", 1},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        // Beyond the range of int: clamped, never wrapped round.
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
    };
    for (const Case& c : cases) {
        const tevo::tools::ScannedNumber scanned = ScanDecimal(c.text);
        EXPECT_FALSE(scanned.end_of_input) << c.text;
        EXPECT_EQ(scanned.value, c.value) << c.text;
    }
}

TEST(ScanDecimal, TextWithoutANumberGivesMinusOne) {
    for (const char* text : {"abc", "-", "+", " - 3", "+-1", "x42", ".5"}) {
        const tevo::tools::ScannedNumber scanned = ScanDecimal(text);
        EXPECT_FALSE(scanned.end_of_input) << text;
        EXPECT_EQ(scanned.value, -1) << text;
    }
}

TEST(ScanDecimal, OnlyWhiteSpaceIsTheEndOfInput) {
    for (const char* text : {"", " ", " \t\r\n\v\f"}) {
        EXPECT_TRUE(ScanDecimal(text).end_of_input) << '"' << text << '"';
    }
}

LONG ReadResult(std::string* text) {
    return tevo::tools::GetStringRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Sorvant\\Tmp",
                                               "ResultSetup", text);
}

TEST(GetStringRegistryValue, ReadsAValueOfAnyLengthWhole) {
    const std::string long_text = std::string(1 << 20, ' ') + "-42" + std::string(5000, 'x');
    ASSERT_EQ(WriteResultValue("ResultSetup", REG_SZ, long_text + '\0'), ERROR_SUCCESS);
    std::string text;
    ASSERT_EQ(ReadResult(&text), ERROR_SUCCESS);
    EXPECT_EQ(text, long_text);
}

TEST(GetStringRegistryValue, TextEndsAtTheFirstZero) {
    struct Case {
        std::string stored;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"12\0"s, "12"},    {"12"s, "12"},  // stored without its terminating zero
        {"1\0002\0"s, "1"}, {"\0"s, ""},   {""s, ""},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(WriteResultValue("ResultSetup", REG_SZ, c.stored), ERROR_SUCCESS);
        std::string text = "old";
        EXPECT_EQ(ReadResult(&text), ERROR_SUCCESS);
        EXPECT_EQ(text, c.text);
    }
}

TEST(GetStringRegistryValue, FailsWithoutAStringValue) {
    std::string text;
    EXPECT_EQ(ReadResult(&text), ERROR_FILE_NOT_FOUND);  // no key
    ASSERT_EQ(WriteResultValue("Other", REG_SZ, "1\0"s), ERROR_SUCCESS);
    EXPECT_EQ(ReadResult(&text), ERROR_FILE_NOT_FOUND);  // no value
    ASSERT_EQ(WriteResultValue("ResultSetup", REG_DWORD, "\x05\0\0\0"s), ERROR_SUCCESS);
    EXPECT_EQ(ReadResult(&text), ERROR_DATATYPE_MISMATCH);
    ASSERT_EQ(WriteResultValue("ResultSetup", REG_EXPAND_SZ, "5\0"s), ERROR_SUCCESS);
    EXPECT_EQ(ReadResult(&text), ERROR_DATATYPE_MISMATCH);
}

// Another process changes ResultSetup between SetupRunner's two reads (the size, then the
// data): the value it finally reads is whole, never cut and never overflowing.
TEST(GetStringRegistryValue, AValueChangedBetweenSizeAndDataIsReadWhole) {
    const std::string long_text = std::string(4096, ' ') + "8";
    for (const std::string& changed : {long_text, std::string("9")}) {
        ASSERT_EQ(WriteResultValue("ResultSetup", REG_SZ, "77\0"s), ERROR_SUCCESS);
        int size_queries = 0;
        after_size_query = [&] {
            if (++size_queries == 1) {
                ASSERT_EQ(WriteResultValue("ResultSetup", REG_SZ, changed + '\0'), ERROR_SUCCESS);
            }
        };
        std::string text;
        EXPECT_EQ(ReadResult(&text), ERROR_SUCCESS);
        after_size_query = nullptr;
        EXPECT_EQ(text, changed);
        EXPECT_GE(size_queries, 1);
    }
}

}  // namespace
