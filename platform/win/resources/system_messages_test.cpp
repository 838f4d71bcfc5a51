#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/winerror.h"

namespace {

std::string SystemText(DWORD id, DWORD flags = 0) {
    char buffer[1024];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | flags, nullptr, id, 0, buffer,
                                   sizeof buffer, nullptr);
    return n == 0 ? std::string() : std::string(buffer, n);
}

DWORD Id(HRESULT hr) {
    return static_cast<DWORD>(hr);
}

TEST(SystemMessages, WindowsTextsWithTheirLineBreak) {
    EXPECT_EQ(SystemText(ERROR_SUCCESS), "The operation completed successfully.\r\n");
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(SystemText(ERROR_INVALID_PARAMETER), "The parameter is incorrect.\r\n");
    EXPECT_EQ(SystemText(Id(E_FAIL)), "Unspecified error\r\n");
    EXPECT_EQ(SystemText(Id(E_NOTIMPL)), "Not implemented\r\n");
    EXPECT_EQ(SystemText(Id(E_UNEXPECTED)), "Catastrophic failure\r\n");
    EXPECT_EQ(SystemText(Id(E_NOINTERFACE)), "No such interface supported\r\n");
    EXPECT_EQ(SystemText(Id(REGDB_E_CLASSNOTREG)), "Class not registered\r\n");
    EXPECT_EQ(SystemText(Id(DISP_E_EXCEPTION)), "Exception occurred.\r\n");
    EXPECT_EQ(SystemText(Id(CO_E_SERVER_EXEC_FAILURE)), "Server execution failed\r\n");
}

TEST(SystemMessages, Win32HresultsFindTheirWin32Text) {
    EXPECT_EQ(SystemText(Id(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))),
              SystemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SystemText(Id(E_INVALIDARG)), "The parameter is incorrect.\r\n");
    EXPECT_EQ(SystemText(Id(E_ACCESSDENIED)), "Access is denied.\r\n");
    // Only for facility WIN32: the same low word in another facility is not found.
    SetLastError(0);
    EXPECT_EQ(SystemText(0x80060002u), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(SystemMessages, InsertsOfSystemTextsCanBeIgnored) {
    // The text that a caller uses as the reason when its own message is missing.
    EXPECT_EQ(SystemText(ERROR_MR_MID_NOT_FOUND, FORMAT_MESSAGE_IGNORE_INSERTS),
              "The system cannot find message text for message number 0x%1 in the message file "
              "for %2.\r\n");
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>("2A"), reinterpret_cast<DWORD_PTR>("Tevo")};
    char buffer[256];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   nullptr, ERROR_MR_MID_NOT_FOUND, 0, buffer, sizeof buffer,
                                   reinterpret_cast<va_list*>(args));
    EXPECT_EQ(std::string(buffer, n),
              "The system cannot find message text for message number 0x2A in the message file "
              "for Tevo.\r\n");
}

// Every Win32 error code and HRESULT that the platform's winerror.h defines has a system
// text, so a code added there without a text is caught here.
TEST(SystemMessages, EveryCodeOfWinerrorHasAText) {
    std::ifstream header(TEVO_WINERROR_HEADER);
    ASSERT_TRUE(header) << TEVO_WINERROR_HEADER;
    std::stringstream text;
    text << header.rdbuf();
    const std::string source = text.str();
    const std::regex definition(
        R"(constexpr (HRESULT|LONG) ([A-Z0-9_]+) = (TEVO_HR\((0x[0-9A-Fa-f]+)\)|(0x[0-9A-Fa-f]+)|(-?\d+));)");
    int checked = 0;
    for (std::sregex_iterator it(source.begin(), source.end(), definition), end; it != end; ++it) {
        const std::string name = (*it)[2];
        const DWORD code =
            (*it)[4].matched   ? static_cast<DWORD>(std::stoul((*it)[4].str(), nullptr, 16))
            : (*it)[5].matched ? static_cast<DWORD>(std::stoul((*it)[5].str(), nullptr, 16))
                               : static_cast<DWORD>(std::stol((*it)[6].str()));
        // S_FALSE shares its number with ERROR_INVALID_FUNCTION, as on Windows.
        EXPECT_FALSE(SystemText(code, FORMAT_MESSAGE_IGNORE_INSERTS).empty())
            << name << " = " << std::hex << code;
        ++checked;
    }
    EXPECT_GT(checked, 100);  // the header was read
}

}  // namespace
