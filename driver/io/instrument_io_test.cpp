// InstrumentIo against the emulator: formatting, reply parsing, byte arrays, time-outs and
// the status check, independent of the process locale.
#include "io/instrument_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstring>
#include <string>

#include "session/error_codes.h"
#include "session/text_conversion.h"
#include "testing/driver_test_support.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using tevo::emulator::Fault;

class TestOwner : public InstrumentIoOwner {
  public:
    bool QueryInstrumentStatusEnabled() override { return check_status; }
    ErrorSource IoErrorSource() override { return ErrorSource{CLSID_Tevo, GUID_NULL}; }
    bool check_status = false;
};

class InstrumentIoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::wstring resource = emulator_.Resource().ToWide();
        ASSERT_EQ(io_.Open(resource.c_str()), VI_SUCCESS);
        // A power-on event is pending; read it away so that checks start clean.
        emulator_->Execute("*ESR?");
    }
    ViUInt32 Timeout() {
        ViUInt32 timeout = 0;
        EXPECT_EQ(viGetAttribute(io_.Instrument(), VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
        return timeout;
    }

    RunningEmulator emulator_;
    TestOwner owner_;
    InstrumentIo io_{owner_};
};

TEST_F(InstrumentIoTest, TemplatesExpandInTheCLocaleWhateverTheProcessLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    const bool comma_locale = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr ||
                              std::setlocale(LC_ALL, "fr_FR.UTF-8") != nullptr;
    EXPECT_EQ(io_.Printf(L"SENS%s:FREQ:STAR %f;STOP %f", L"1", 1e6, 2.5e9), S_OK);
    double value = 0;
    EXPECT_EQ(io_.QueryReal(L"SENS1:FREQ:STAR?", &value, kSessionTimeout), S_OK);
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(emulator_->WaitForMessages(2, std::chrono::seconds(10)));
    EXPECT_EQ(emulator_->ReceivedMessages()[0],
              "SENS1:FREQ:STAR 1000000.000000;STOP 2500000000.000000");
    EXPECT_DOUBLE_EQ(value, 1e6);
    if (!comma_locale) {
        GTEST_SKIP() << "no locale with a decimal comma installed; checked in the C locale";
    }
}

TEST_F(InstrumentIoTest, LongCommandsAreSentWhole) {
    const std::wstring text(1500, L'A');
    EXPECT_EQ(io_.Printf(L"SYST:PASS '%s'", text.c_str()), S_OK);
    ASSERT_TRUE(emulator_->WaitForMessages(1, std::chrono::seconds(10)));
    EXPECT_EQ(emulator_->ReceivedMessages()[0], "SYST:PASS '" + std::string(1500, 'A') + "'");
}

TEST_F(InstrumentIoTest, RepliesParseAsTheCLibraryReadsThem) {
    EXPECT_EQ(ParseIntegerReply(L"0"), 0);
    EXPECT_EQ(ParseIntegerReply(L"+1"), 1);
    EXPECT_EQ(ParseIntegerReply(L"1.000"), 1);
    EXPECT_EQ(ParseIntegerReply(L""), 0);
    EXPECT_EQ(ParseIntegerReply(L"  -42xyz"), -42);
    EXPECT_DOUBLE_EQ(ParseRealReply(L"-1.5E+01\n"), -15.0);
    EXPECT_DOUBLE_EQ(ParseRealReply(L"abc"), 0.0);

    std::wstring text;
    emulator_->ExpectQuery("DET?", "SAMP");
    EXPECT_EQ(io_.QueryText(L"DET?", &text, 100, kSessionTimeout), S_OK);
    EXPECT_EQ(text, L"SAMP");
    LONG number = -1;
    emulator_->ExpectQuery("N?", "1");
    EXPECT_EQ(io_.QueryInt(L"N?", &number, kSessionTimeout), S_OK);
    EXPECT_EQ(number, 1);
    // Without the strip flag the terminator stays; an empty reply is empty text.
    emulator_->ExpectQuery("E?", "");
    EXPECT_EQ(io_.WriteText(L"E?"), VI_SUCCESS);
    EXPECT_GE(io_.ReadText(&text, 100, false), 0);
    EXPECT_EQ(text, L"\n");
    EXPECT_EQ(io_.QueryText(L"E?", nullptr, 100, kSessionTimeout), E_POINTER);
}

TEST_F(InstrumentIoTest, StripRemovesOnlyATrailingLineFeed) {
    std::wstring text = L"earlier";
    // A reply that is only its line feed comes back empty.
    emulator_->ExpectQuery("E?", "");
    ASSERT_EQ(io_.WriteText(L"E?"), VI_SUCCESS);
    EXPECT_EQ(io_.ReadText(&text, 100, true), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text, L"");

    // A block the instrument ends without a line feed comes back whole, the line feed in
    // its data included.
    emulator_->InjectFault(Fault::ReplaceReply("*IDN?", "#15ab\ncd"));
    ASSERT_EQ(io_.WriteText(L"*IDN?"), VI_SUCCESS);
    EXPECT_EQ(io_.ReadText(&text, 100, true), VI_SUCCESS);
    EXPECT_EQ(text, L"#15ab\ncd");

    // A reply cut by the maximum has no line feed yet: nothing is taken from the part read.
    emulator_->ExpectQuery("LONG?", "ABCDEFGH");
    ASSERT_EQ(io_.WriteText(L"LONG?"), VI_SUCCESS);
    EXPECT_EQ(io_.ReadText(&text, 4, true), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(text, L"ABCD");
    EXPECT_EQ(io_.ReadText(&text, 100, true), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text, L"EFGH");
}

TEST_F(InstrumentIoTest, RepliesOfChangingSizeNeverCarryBytesOfEarlierOnes) {
    // Text and byte replies, long and short in turn, beyond the buffer kept between calls
    // too: each comes back exactly.
    const std::string sizes[] = {std::string(3000, 'L'), "S", std::string(600 * 1024, 'H'), "",
                                 std::string(70, 'M')};
    for (const std::string& reply : sizes) {
        std::wstring text = L"earlier";
        emulator_->ExpectQuery("TEXT?", reply);
        EXPECT_EQ(io_.QueryText(L"TEXT?", &text, 1024 * 1024, kSessionTimeout), S_OK);
        EXPECT_EQ(text, std::wstring(reply.begin(), reply.end())) << reply.size();

        emulator_->ExpectQuery("BYTES?", reply);
        SAFEARRAY* bytes = nullptr;
        EXPECT_EQ(io_.QueryBytes(L"BYTES?", &bytes, 1024 * 1024, kSessionTimeout), S_OK);
        ASSERT_NE(bytes, nullptr);
        LONG upper = -2;
        SafeArrayGetUBound(bytes, 1, &upper);
        ASSERT_EQ(upper + 1, static_cast<LONG>(reply.size() + 1)) << reply.size();
        void* data = nullptr;
        ASSERT_EQ(SafeArrayAccessData(bytes, &data), S_OK);
        EXPECT_EQ(std::string(static_cast<const char*>(data), reply.size() + 1), reply + "\n");
        SafeArrayUnaccessData(bytes);
        SafeArrayDestroy(bytes);
    }
    EXPECT_TRUE(emulator_->VerifyScript().empty());
}

TEST_F(InstrumentIoTest, ByteArraysAreCheckedAndCounted) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    SAFEARRAY* square = SafeArrayCreate(VT_UI1, 2, bounds);
    EXPECT_EQ(io_.WriteByteArray(square, -1), E_INVALIDARG);
    SafeArrayDestroy(square);
    SAFEARRAY* wide = SafeArrayCreateVector(VT_I2, 0, 4);
    EXPECT_EQ(io_.WriteByteArray(wide, -1), E_INVALIDARG);
    SafeArrayDestroy(wide);
    EXPECT_TRUE(emulator_->ReceivedMessages().empty()) << "nothing was written";

    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 8);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(bytes, &data), S_OK);
    std::memcpy(data, "*CLS;*OPC", 8);
    SafeArrayUnaccessData(bytes);
    EXPECT_EQ(io_.WriteByteArray(bytes, 4), VI_SUCCESS);
    SafeArrayDestroy(bytes);
    ASSERT_TRUE(emulator_->WaitForMessages(1, std::chrono::seconds(10)));
    EXPECT_EQ(emulator_->ReceivedMessages()[0], "*CLS");

    // Count -1 reads at most 4096 bytes; the rest stays for the next read.
    emulator_->ExpectQuery("BIG?", std::string(5000, 'x'));
    ASSERT_EQ(io_.WriteText(L"BIG?"), VI_SUCCESS);
    SAFEARRAY* received = nullptr;
    EXPECT_GE(io_.ReadToByteArray(&received, -1), 0);
    ASSERT_NE(received, nullptr);
    LONG upper = 0;
    SafeArrayGetUBound(received, 1, &upper);
    EXPECT_EQ(upper + 1, 4096);
    SafeArrayDestroy(received);
}

TEST_F(InstrumentIoTest, TimeoutClearsTheDeviceAndRestoresTheSessionTimeout) {
    ASSERT_EQ(viSetAttribute(io_.Instrument(), VI_ATTR_TMO_VALUE, 250), VI_SUCCESS);
    emulator_->InjectFault(Fault::NoReply("*TST?"));
    LONG result = -1;
    EXPECT_EQ(io_.QueryInt(L"*TST?", &result, 300), E_IVI_CANNOT_RECOVER);
    const auto error = TakeThreadError();
    EXPECT_EQ(error.description, L"Tevo: Cannot recover.\r\n\nError Code: bfff0015");
    EXPECT_EQ(Timeout(), 250u);
    // Cleared: the next exchange gets its own reply.
    EXPECT_EQ(io_.QueryInt(L"*TST?", &result, kLongOperationTimeout), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Timeout(), 250u);
}

TEST_F(InstrumentIoTest, StatusCheckCountsOnlyErrorBits) {
    owner_.check_status = true;
    emulator_->SetEventStatusBits(32);
    // A passing check returns the status of its *ESR? read (a completion code).
    EXPECT_EQ(io_.Write(L"*CLS", kSessionTimeout), VI_SUCCESS_TERM_CHAR)
        << "*CLS cleared the register first";
    emulator_->SetEventStatusBits(4);
    EXPECT_EQ(io_.Write(L"INIT:CONT OFF", kSessionTimeout), E_IVI_INSTRUMENT_STATUS);
    emulator_->SetEventStatusBits(1 | 128);
    EXPECT_EQ(io_.Write(L"INIT:CONT OFF", kSessionTimeout), VI_SUCCESS_TERM_CHAR);
    owner_.check_status = false;
    emulator_->SetEventStatusBits(16);
    EXPECT_EQ(io_.Write(L"INIT:CONT OFF", kSessionTimeout), S_OK);
}

TEST_F(InstrumentIoTest, StatusCheckThatTimesOutDoesNotShiftLaterReplies) {
    const std::wstring identity = AnsiToWide(emulator_->Execute("*IDN?"));
    ASSERT_EQ(viSetAttribute(io_.Instrument(), VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    owner_.check_status = true;
    // The event status comes after the check has given up on it (and reported error 30003
    // without a device clear of its own).
    emulator_->InjectFault(Fault::DelayReply("*ESR?", std::chrono::milliseconds(600)));
    EXPECT_EQ(io_.Write(L"*CLS", kSessionTimeout), E_IVI_INSTRUMENT_STATUS);
    TakeThreadError();
    owner_.check_status = false;

    ASSERT_EQ(viSetAttribute(io_.Instrument(), VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    std::wstring reply;
    EXPECT_EQ(io_.QueryText(L"*IDN?", &reply, 100, kSessionTimeout), S_OK);
    EXPECT_EQ(reply, identity);
    LONG complete = 0;
    EXPECT_EQ(io_.QueryInt(L"*OPC?", &complete, kSessionTimeout), S_OK);
    EXPECT_EQ(complete, 1);
}

TEST(InstrumentIoWithoutSession, ExchangesFailWithoutClearingOrErrorInformation) {
    TestOwner owner;
    InstrumentIo io(owner);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(io.Write(L"*RST", kLongOperationTimeout), E_NOINTERFACE);
    EXPECT_FALSE(TakeThreadError().present);
    owner.check_status = true;
    EXPECT_EQ(io.CheckInstrumentStatus(), E_IVI_INSTRUMENT_STATUS);
    TakeThreadError();
    EXPECT_NE(io.Open(L"TCPIP::127.0.0.1::1::SOCKET"), VI_SUCCESS);
    EXPECT_EQ(io.Instrument(), 0u);
}

}  // namespace
}  // namespace tevo::driver
