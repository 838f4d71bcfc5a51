// The error model: descriptions byte for byte, HRESULTs of the help table, the error
// object's fields, and the fallbacks.
#include "session/error_reporting.h"

#include <gtest/gtest.h>

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
