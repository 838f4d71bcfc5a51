// The error model: descriptions byte for byte, HRESULTs of the help table, the error
// object's fields, and the fallbacks.
#include "session/error_reporting.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "session/error_codes.h"
#include "session/error_help_table.h"
#include "testing/driver_test_support.h"

namespace tevo::driver {
namespace {

using testing::TakeThreadError;

constexpr IID kSomeInterface = {
    0x47ED5188, 0xA398, 0x11D4, {0xBA, 0x58, 0x00, 0x00, 0x64, 0x65, 0x73, 0x74}};

ErrorSource Source() {
    return ErrorSource{CLSID_Tevo, kSomeInterface};
}

TEST(DriverErrorReporting, DescriptionIsMessageCrLfThenLfThenDetails) {
    const HRESULT hr =
        ReportError(Source(), kNullPointer, kNullPointerDetails, "get_Cache", "pbCache");
    EXPECT_EQ(hr, E_IVI_NULL_POINTER);
    const auto error = TakeThreadError();
    ASSERT_TRUE(error.present);
    EXPECT_EQ(error.description,
              L"Tevo: IDS_E_IVI_NULL_POINTER\r\n\nMethod: get_Cache, Param: pbCache");
    EXPECT_EQ(error.guid, kSomeInterface);
    EXPECT_TRUE(error.help_file.empty());
    EXPECT_EQ(error.help_context, 0u);
    // The class is not registered in this fresh system root: no Source.
    EXPECT_TRUE(error.source.empty());
}

TEST(DriverErrorReporting, SourceIsTheRegisteredProgId) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{02BD502A-D246-488B-BB4C-4659E329A803}\\ProgID",
                        0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    const char prog_id[] = "Tevo.Tevo.1";
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(prog_id),
                             sizeof(prog_id)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ReportError(Source(), kMethodNotSupported, kNotSupportedDetails, "ResetWithDefaults");
    EXPECT_EQ(TakeThreadError().source, L"Tevo.Tevo.1");
}

TEST(DriverErrorReporting, HexadecimalStatusesAndLongDetailsAreWhole) {
    EXPECT_EQ(
        ReportError(Source(), kCannotRecover, "Error Code: %lx", static_cast<ULONG>(VI_ERROR_TMO)),
        E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(TakeThreadError().description, L"Tevo: Cannot recover.\r\n\nError Code: bfff0015");

    // Far beyond the 2048 bytes a fixed buffer would hold, with multi-byte characters.
    std::string long_text;
    for (int i = 0; i < 1500; ++i) {
        long_text += "\xC3\xA9x";  // "éx"
    }
    ReportError(Source(), kUnexpectedResponse, kUnexpectedResponseDetails, "Read",
                long_text.c_str());
    const auto error = TakeThreadError();
    const std::wstring expected_tail =
        L"Method: Read, Reason: " + std::wstring(tevo::win::Utf8ToWide(long_text));
    ASSERT_GE(error.description.size(), expected_tail.size());
    EXPECT_EQ(error.description.substr(error.description.size() - expected_tail.size()),
              expected_tail);
}

TEST(DriverErrorReporting, CodesOutsideTheDriverRangeAreMessageIds) {
    EXPECT_EQ(MapDriverCode(30001), 1u);
    EXPECT_EQ(MapDriverCode(30031), 31u);
    EXPECT_EQ(MapDriverCode(30032), 37u);
    EXPECT_EQ(MapDriverCode(30036), 41u);
    EXPECT_EQ(MapDriverCode(30037), 32u);
    EXPECT_EQ(MapDriverCode(30041), 36u);
    EXPECT_EQ(MapDriverCode(45), 45u);
    EXPECT_EQ(ReportError(Source(), 45, "x"), static_cast<HRESULT>(0x80042001));
    EXPECT_EQ(TakeThreadError().description, L"Tevo: The Active Marker is not enabled.\r\n\nx");
    // Warnings are reported like errors and returned as success codes.
    EXPECT_EQ(ReportError(Source(), 30032, "w"), static_cast<HRESULT>(0x00047065));
    EXPECT_TRUE(TakeThreadError().present);
}

TEST(DriverErrorReporting, ZeroHresultAndMissingRowsGiveDispException) {
    EXPECT_EQ(ReportError(Source(), 30001, "ok"), DISP_E_EXCEPTION);
    EXPECT_EQ(TakeThreadError().description, L"Tevo: Success.\r\n\nok");

    // No message 99 in the table: the internal-error description, without an interface.
    EXPECT_EQ(ReportError(Source(), 99, "lost"), DISP_E_EXCEPTION);
    const auto error = TakeThreadError();
    const std::wstring prefix =
        L"Internal Error: Unable to retrieve and format error message from message "
        L"table.\nResource ID = 99\nLanguage ID = 0\nReason = '";
    ASSERT_GE(error.description.size(), prefix.size());
    EXPECT_EQ(error.description.substr(0, prefix.size()), prefix);
    EXPECT_EQ(error.description.back(), L'\'');
    EXPECT_GT(error.description.size(), prefix.size() + 1) << "the system's reason is named";
    EXPECT_EQ(error.guid, GUID_NULL);
}

TEST(DriverErrorReporting, MessageErrorIsTheMessageTextAlone) {
    EXPECT_EQ(ReportMessageError(Source(), kMessageCannotRecover), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(TakeThreadError().description, L"Tevo: Cannot recover.\r\n");
}

// The message table as published for clients: message id, the driver code that maps to
// it (0: none), the HRESULT returned and the message text (without its CR LF). Written out
// here on purpose, not derived from the table under test.
struct PublishedMessage {
    DWORD message_id;
    LONG driver_code;
    unsigned hresult;
    const wchar_t* text;
};

constexpr PublishedMessage kPublishedMessages[] = {
    {1, 30001, 0x00000000, L"Tevo: Success."},
    {2, 30002, 0x80047000, L"Tevo: Cannot recover."},
    {3, 30003, 0x80047001, L"Tevo: Instrument status error."},
    {4, 30004, 0x80047002, L"Tevo: Cannot open file."},
    {5, 30005, 0x80047003, L"Tevo: Error reading file."},
    {6, 30006, 0x80047004, L"Tevo: Error writing file."},
    {7, 30007, 0x8004700B, L"Tevo: Invalid pathname."},
    {8, 30008, 0x80047010, L"Tevo: Invalid value"},
    {9, 30009, 0x80047011, L"Tevo: Method not supported."},
    {10, 30010, 0x80047012, L"Tevo: Property not supported."},
    {11, 30011, 0x80047013, L"Tevo: Value not supported."},
    {12, 30012, 0x8004701D, L"Tevo: Driver not initialized."},
    {13, 30013, 0x80047020, L"Tevo: Unknown channel name."},
    {14, 30014, 0x80047023, L"Tevo: IDS_E_IVI_TOO_MANY_OPEN_FILES"},
    {15, 30015, 0x80047044, L"Tevo: IDS_E_IVI_CHANNEL_NAME_REQUIRED"},
    {16, 30016, 0x80047049, L"Tevo: IDS_E_IVI_MISSING_OPTION_NAME"},
    {17, 30017, 0x8004704A, L"Tevo: IDS_E_IVI_MISSING_OPTION_VALUE"},
    {18, 30018, 0x8004704B, L"Tevo: IDS_E_IVI_BAD_OPTION_NAME"},
    {19, 30019, 0x8004704C, L"Tevo: IDS_E_IVI_BAD_OPTION_VALUE"},
    {20, 30020, 0x80047056, L"Tevo: Out of memory."},
    {21, 30021, 0x80047057, L"Tevo: IDS_E_IVI_OPERATION_PENDING"},
    {22, 30022, 0x80047058, L"Tevo: IDS_E_IVI_NULL_POINTER"},
    {23, 30023, 0x80047059, L"Tevo: IDS_E_IVI_UNEXPECTED_RESPONSE"},
    {24, 30024, 0x8004705B, L"Tevo: File not found."},
    {25, 30025, 0x8004705C, L"Tevo: Invalid file format."},
    {26, 30026, 0x8004705D, L"Tevo: IDS_E_IVI_STATUS_NOT_AVAILABLE"},
    {27, 30027, 0x8004705E, L"Tevo: IDS_E_IVI_ID_QUERY_FAILED"},
    {28, 30028, 0x8004705F, L"Tevo: Instrument reset failed."},
    {29, 30029, 0x80047060, L"Tevo: The specified resource is unknown."},
    {30, 30030, 0x80047061, L"Tevo: The driver is already initialized."},
    {31, 30031, 0x80047062, L"Tevo: IDS_E_IVI_CANNOT_CHANGE_SIMULATION_STATE"},
    {32, 30037, 0x80047063, L"Tevo: IDS_E_IVI_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR"},
    {33, 30038, 0x80047064, L"Tevo: IDS_E_IVI_INVALID_RANGE_IN_SELECTOR"},
    {34, 30039, 0x80047065, L"Tevo: IDS_E_IVI_UNKNOWN_NAME_IN_SELECTOR"},
    {35, 30040, 0x80047066, L"Tevo: IDS_E_IVI_BADLY_FORMED_SELECTOR"},
    {36, 30041, 0x80047067, L"Tevo: IDS_E_IVI_UNKNOWN_PHYSICAL_IDENTIFIER"},
    {37, 30032, 0x00047065, L"Tevo: IDS_S_IVI_NSUP_ID_QUERY"},
    {38, 30033, 0x00047066, L"Tevo: IDS_S_IVI_NSUP_RESET"},
    {39, 30034, 0x00047067, L"Tevo: IDS_S_IVI_NSUP_SELF_TEST"},
    {40, 30035, 0x00047068, L"Tevo: IDS_S_IVI_NSUP_ERROR_QUERY"},
    {41, 30036, 0x00047069, L"Tevo: IDS_S_IVI_NSUP_REV_QUERY"},
    {42, 0, 0x00042001,
     L"Tevo: This warning indicates that the data was captured while the spectrum analyzer was in "
     L"an uncalibrated state."},
    {43, 0, 0x00042002, L"Tevo: This warning indicates that the signal exceeded the input range."},
    {44, 0, 0x80041001, L"Tevo: The trigger source is not set to software trigger."},
    {45, 0, 0x80042001, L"Tevo: The Active Marker is not enabled."},
    {46, 0, 0x80042002, L"Tevo: The Active Marker is not a delta marker."},
    {47, 0, 0x80042003, L"Tevo: IDS_E_IVISPECAN_MAX_TIME_EXCEEDED"},
    {48, 0, 0x80040210,
     L"This warning indicates that the data was captured while the spectrum analyzer was in an "
     L"uncalibrated state."},
    {49, 0, 0x80040220, L"This warning indicates that the signal exceeded the input range."},
    {50, 0, 0x80040230, L"The trigger source is not set to software trigger."},
    {51, 0, 0x80040240, L"The Active Marker is not enabled."},
    {52, 0, 0x80040250, L"The Active Marker is not a delta marker."},
    {53, 0, 0x80040260,
     L"This error indicates that the maximum time was exceeded before the operation completed."},
};

TEST(DriverErrorReporting, EveryMessageHasItsPublishedHresultCodeAndText) {
    static_assert(std::size(kPublishedMessages) == 53);
    for (const PublishedMessage& message : kPublishedMessages) {
        SCOPED_TRACE(::testing::Message() << "message " << message.message_id);
        const HRESULT published = static_cast<HRESULT>(message.hresult);
        const ErrorHelpRow* row = FindErrorHelpRow(message.message_id);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->hresult, published);
        EXPECT_EQ(row->help_context, 0u);
        // A zero HRESULT cannot be returned as a failure: such errors give DISP_E_EXCEPTION.
        const HRESULT returned = published == S_OK ? DISP_E_EXCEPTION : published;
        EXPECT_EQ(ReportMessageError(Source(), message.message_id), returned);
        EXPECT_EQ(TakeThreadError().description, std::wstring(message.text) + L"\r\n");
        if (message.driver_code != 0) {
            EXPECT_EQ(MapDriverCode(message.driver_code), message.message_id);
            EXPECT_EQ(ReportError(Source(), message.driver_code, "d"), returned);
            EXPECT_EQ(TakeThreadError().description, std::wstring(message.text) + L"\r\n\nd");
        }
    }
}

TEST(DriverErrorReporting, EveryMessageHasItsRowAndEndsInCrLf) {
    DWORD expected_id = 1;
    for (const ErrorHelpRow* row = ErrorHelpTable; row->message_id != 0; ++row, ++expected_id) {
        EXPECT_EQ(row->message_id, expected_id);
        EXPECT_EQ(row->help_context, 0u);
        ReportMessageError(Source(), row->message_id);
        const std::wstring text = TakeThreadError().description;
        ASSERT_GE(text.size(), 2u) << "message " << row->message_id;
        EXPECT_EQ(text.substr(text.size() - 2), L"\r\n") << "message " << row->message_id;
        EXPECT_EQ(text.rfind(L"Tevo: ", 0) == 0, row->message_id <= 47)
            << "message " << row->message_id;
    }
    EXPECT_EQ(expected_id, 54u);
    // The two S_TEVO_ codes carry the severity bit: they are failures.
    EXPECT_EQ(FindErrorHelpRow(48)->hresult, static_cast<HRESULT>(0x80040210));
    EXPECT_TRUE(FAILED(FindErrorHelpRow(49)->hresult));
}

}  // namespace
}  // namespace tevo::driver
