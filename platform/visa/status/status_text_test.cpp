#include "status/status_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tevo/visa.h"

namespace tevo::visa {
namespace {

// The status codes with their standard values.
struct Code {
    ViStatus status;
    uint32_t value;
    const char* name;
};

const Code kCodes[] = {
    {VI_SUCCESS, 0x00000000u, "VI_SUCCESS"},
    {VI_SUCCESS_QUEUE_EMPTY, 0x3FFF0004u, "VI_SUCCESS_QUEUE_EMPTY"},
    {VI_SUCCESS_TERM_CHAR, 0x3FFF0005u, "VI_SUCCESS_TERM_CHAR"},
    {VI_SUCCESS_MAX_CNT, 0x3FFF0006u, "VI_SUCCESS_MAX_CNT"},
    {VI_WARN_NSUP_ATTR_STATE, 0x3FFF0084u, "VI_WARN_NSUP_ATTR_STATE"},
    {VI_ERROR_SYSTEM_ERROR, 0xBFFF0000u, "VI_ERROR_SYSTEM_ERROR"},
    {VI_ERROR_INV_OBJECT, 0xBFFF000Eu, "VI_ERROR_INV_OBJECT"},
    {VI_ERROR_RSRC_LOCKED, 0xBFFF000Fu, "VI_ERROR_RSRC_LOCKED"},
    {VI_ERROR_RSRC_NFOUND, 0xBFFF0011u, "VI_ERROR_RSRC_NFOUND"},
    {VI_ERROR_INV_RSRC_NAME, 0xBFFF0012u, "VI_ERROR_INV_RSRC_NAME"},
    {VI_ERROR_INV_ACC_MODE, 0xBFFF0013u, "VI_ERROR_INV_ACC_MODE"},
    {VI_ERROR_TMO, 0xBFFF0015u, "VI_ERROR_TMO"},
    {VI_ERROR_CLOSING_FAILED, 0xBFFF0016u, "VI_ERROR_CLOSING_FAILED"},
    {VI_ERROR_NSUP_ATTR, 0xBFFF001Du, "VI_ERROR_NSUP_ATTR"},
    {VI_ERROR_NSUP_ATTR_STATE, 0xBFFF001Eu, "VI_ERROR_NSUP_ATTR_STATE"},
    {VI_ERROR_ATTR_READONLY, 0xBFFF001Fu, "VI_ERROR_ATTR_READONLY"},
    {VI_ERROR_INV_LOCK_TYPE, 0xBFFF0020u, "VI_ERROR_INV_LOCK_TYPE"},
    {VI_ERROR_ABORT, 0xBFFF0030u, "VI_ERROR_ABORT"},
    {VI_ERROR_INV_SETUP, 0xBFFF003Au, "VI_ERROR_INV_SETUP"},
    {VI_ERROR_ALLOC, 0xBFFF003Cu, "VI_ERROR_ALLOC"},
    {VI_ERROR_IO, 0xBFFF003Eu, "VI_ERROR_IO"},
    {VI_ERROR_INV_MASK, 0xBFFF0065u, "VI_ERROR_INV_MASK"},
    {VI_ERROR_NSUP_OPER, 0xBFFF0067u, "VI_ERROR_NSUP_OPER"},
    {VI_ERROR_RSRC_BUSY, 0xBFFF0072u, "VI_ERROR_RSRC_BUSY"},
    {VI_ERROR_INV_PARAMETER, 0xBFFF0078u, "VI_ERROR_INV_PARAMETER"},
    {VI_ERROR_INV_SIZE, 0xBFFF007Bu, "VI_ERROR_INV_SIZE"},
    {VI_ERROR_NIMPL_OPER, 0xBFFF0081u, "VI_ERROR_NIMPL_OPER"},
    {VI_ERROR_SESN_NLOCKED, 0xBFFF009Cu, "VI_ERROR_SESN_NLOCKED"},
    {VI_ERROR_LIBRARY_NFOUND, 0xBFFF009Eu, "VI_ERROR_LIBRARY_NFOUND"},
    {VI_ERROR_CONN_LOST, 0xBFFF00A6u, "VI_ERROR_CONN_LOST"},
    {VI_ERROR_MACHINE_NAVAIL, 0xBFFF00A7u, "VI_ERROR_MACHINE_NAVAIL"},
};

TEST(StatusText, EveryCodeHasItsStandardValueNameAndText) {
    for (const Code& code : kCodes) {
        EXPECT_EQ(static_cast<uint32_t>(code.status), code.value) << code.name;
        EXPECT_EQ((code.value & 0x80000000u) != 0, code.status < 0) << code.name;
        ASSERT_NE(StatusName(code.status), nullptr) << code.name;
        EXPECT_STREQ(StatusName(code.status), code.name);
        const char* text = StandardStatusText(code.status);
        ASSERT_NE(text, nullptr) << code.name;
        EXPECT_GT(std::strlen(text), 10u) << code.name;
        EXPECT_LT(std::strlen(text), static_cast<size_t>(VI_FIND_BUFLEN)) << code.name;
    }
    EXPECT_STREQ(StandardStatusText(VI_ERROR_TMO), "Timeout expired before operation completed.");
    EXPECT_EQ(VI_ERROR_INV_SESSION, VI_ERROR_INV_OBJECT);
}

TEST(StatusDesc, FillsTheTextWithoutASession) {
    ViChar text[VI_FIND_BUFLEN];
    EXPECT_EQ(viStatusDesc(VI_NULL, VI_ERROR_CONN_LOST, text), VI_SUCCESS);
    EXPECT_STREQ(text, "The connection for the given session has been lost.");
    EXPECT_EQ(viStatusDesc(VI_NULL, VI_SUCCESS_MAX_CNT, text), VI_SUCCESS);
    EXPECT_STREQ(text, StandardStatusText(VI_SUCCESS_MAX_CNT));
}

TEST(StatusDesc, UnknownCodesAreNamedByTheirValue) {
    ViChar text[VI_FIND_BUFLEN];
    EXPECT_EQ(viStatusDesc(VI_NULL, static_cast<ViStatus>(0xBFFF1234u), text),
              VI_WARN_UNKNOWN_STATUS);
    EXPECT_STREQ(text, "Unknown status code 0xBFFF1234.");
}

TEST(StatusDesc, RejectsANullBufferAndAnUnknownSession) {
    EXPECT_EQ(viStatusDesc(VI_NULL, VI_SUCCESS, VI_NULL), VI_ERROR_INV_PARAMETER);
    ViChar text[VI_FIND_BUFLEN] = "";
    EXPECT_EQ(viStatusDesc(0xFFFFFFF0u, VI_ERROR_TMO, text), VI_ERROR_INV_OBJECT);
    EXPECT_STREQ(text, StandardStatusText(VI_ERROR_TMO));  // still given
}

TEST(StatusDesc, SessionAddsTheDetailOfItsLastFailureAndStaysInTheBuffer) {
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    EXPECT_EQ(viOpen(rm, "GPIB0::5::INSTR", VI_NO_LOCK, 0, &vi), VI_ERROR_RSRC_NFOUND);
    ViChar text[VI_FIND_BUFLEN];
    ASSERT_EQ(viStatusDesc(rm, VI_ERROR_RSRC_NFOUND, text), VI_SUCCESS);
    EXPECT_EQ(std::string(text),
              std::string(StandardStatusText(VI_ERROR_RSRC_NFOUND)) +
                  " GPIB resources are not supported: this library reaches TCP/IP only.");
    // Another status gets its plain text.
    ASSERT_EQ(viStatusDesc(rm, VI_ERROR_TMO, text), VI_SUCCESS);
    EXPECT_STREQ(text, StandardStatusText(VI_ERROR_TMO));

    // A detail too long for the buffer is cut, and the text stays terminated. (A label
    // longer than 63 characters fails inside the resolver, without a DNS query.)
    const std::string long_name = "TCPIP0::" + std::string(230, 'h') + "::5025::SOCKET";
    EXPECT_EQ(viOpen(rm, long_name.c_str(), VI_NO_LOCK, 0, &vi), VI_ERROR_RSRC_NFOUND);
    ASSERT_EQ(viStatusDesc(rm, VI_ERROR_RSRC_NFOUND, text), VI_SUCCESS);
    EXPECT_EQ(std::strlen(text), static_cast<size_t>(VI_FIND_BUFLEN - 1));
    viClose(rm);
}

TEST(CopyToVisaString, CutsToTheBufferAndTerminates) {
    ViChar buffer[VI_FIND_BUFLEN + 8];
    std::memset(buffer, '#', sizeof buffer);
    CopyToVisaString(std::string(300, 'a'), buffer);
    EXPECT_EQ(std::strlen(buffer), static_cast<size_t>(VI_FIND_BUFLEN - 1));
    EXPECT_EQ(buffer[VI_FIND_BUFLEN], '#');  // nothing written past the buffer
}

}  // namespace
}  // namespace tevo::visa
