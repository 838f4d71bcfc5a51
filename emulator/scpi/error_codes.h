// SCPI error and event numbers, their standard texts, and the IEEE 488.2 event status
// bit that each class of error sets.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tevo::emulator::scpi {

// Error/event numbers of SCPI-99 (volume 2, chapter 21) that the analyzer reports.
enum ErrorCode : int {
    kNoError = 0,
    kCommandError = -100,
    kInvalidCharacter = -101,
    kSyntaxError = -102,
    kInvalidSeparator = -103,
    kDataTypeError = -104,
    kParameterNotAllowed = -108,
    kMissingParameter = -109,
    kProgramMnemonicTooLong = -112,
    kUndefinedHeader = -113,
    kHeaderSuffixOutOfRange = -114,
    kNumericDataError = -120,
    kInvalidCharacterInNumber = -121,
    kExponentTooLarge = -123,
    kNumericDataNotAllowed = -128,
    kInvalidSuffix = -131,
    kSuffixNotAllowed = -138,
    kInvalidCharacterData = -141,
    kCharacterDataTooLong = -144,
    kCharacterDataNotAllowed = -148,
    kInvalidStringData = -151,
    kStringDataNotAllowed = -158,
    kInvalidBlockData = -161,
    kBlockDataNotAllowed = -168,
    kExpressionError = -170,
    kInvalidExpression = -171,
    kExpressionDataNotAllowed = -178,
    kExecutionError = -200,
    kCommandProtected = -203,
    kInitIgnored = -213,
    kSettingsConflict = -221,
    kDataOutOfRange = -222,
    kIllegalParameterValue = -224,
    kQueueOverflow = -350,
    kInputBufferOverrun = -363,
    kQueryInterrupted = -410,
    kQueryUnterminated = -420,
    kQueryUnterminatedAfterIndefiniteResponse = -440,
};

// IEEE 488.2 standard event status register bits.
inline constexpr uint8_t kEsrOperationComplete = 0x01;
inline constexpr uint8_t kEsrRequestControl = 0x02;
inline constexpr uint8_t kEsrQueryError = 0x04;
inline constexpr uint8_t kEsrDeviceDependentError = 0x08;
inline constexpr uint8_t kEsrExecutionError = 0x10;
inline constexpr uint8_t kEsrCommandError = 0x20;
inline constexpr uint8_t kEsrUserRequest = 0x40;
inline constexpr uint8_t kEsrPowerOn = 0x80;

// The standard text of an error number ("Undefined header" for -113). Numbers without a
// standard text get the text of their class ("Command error" for -1xx, and so on);
// positive, device-specific numbers get "Device-specific error".
std::string_view StandardErrorText(int code);

// The event status register bit that an error of this number sets: command errors
// (-100..-199) 0x20, execution errors (-200..-299) 0x10, device-dependent errors
// (-300..-399 and positive numbers) 0x08, query errors (-400..-499) 0x04; 0 otherwise.
uint8_t EventStatusBitFor(int code);

// True for command errors (-100..-199): the parser has lost its place and the rest of the
// program message is discarded.
bool IsCommandError(int code);

// An error found while parsing or executing a program message unit. The detail, when not
// empty, is appended to the standard text after a semicolon in the error queue.
class Error : public std::runtime_error {
  public:
    explicit Error(int code, std::string detail = {});

    int code() const { return code_; }
    const std::string& detail() const { return detail_; }

  private:
    int code_;
    std::string detail_;
};

}  // namespace tevo::emulator::scpi
