#include "scpi/error_codes.h"

#include <utility>

namespace tevo::emulator::scpi {

std::string_view StandardErrorText(int code) {
    switch (code) {
        case kNoError:
            return "No error";
        case kCommandError:
            return "Command error";
        case kInvalidCharacter:
            return "Invalid character";
        case kSyntaxError:
            return "Syntax error";
        case kInvalidSeparator:
            return "Invalid separator";
        case kDataTypeError:
            return "Data type error";
        case kParameterNotAllowed:
            return "Parameter not allowed";
        case kMissingParameter:
            return "Missing parameter";
        case kProgramMnemonicTooLong:
            return "Program mnemonic too long";
        case kUndefinedHeader:
            return "Undefined header";
        case kHeaderSuffixOutOfRange:
            return "Header suffix out of range";
        case kNumericDataError:
            return "Numeric data error";
        case kInvalidCharacterInNumber:
            return "Invalid character in number";
        case kExponentTooLarge:
            return "Exponent too large";
        case kNumericDataNotAllowed:
            return "Numeric data not allowed";
        case kInvalidSuffix:
            return "Invalid suffix";
        case kSuffixNotAllowed:
            return "Suffix not allowed";
        case kInvalidCharacterData:
            return "Invalid character data";
        case kCharacterDataTooLong:
            return "Character data too long";
        case kCharacterDataNotAllowed:
            return "Character data not allowed";
        case kInvalidStringData:
            return "Invalid string data";
        case kStringDataNotAllowed:
            return "String data not allowed";
        case kInvalidBlockData:
            return "Invalid block data";
        case kBlockDataNotAllowed:
            return "Block data not allowed";
        case kExpressionError:
            return "Expression error";
        case kInvalidExpression:
            return "Invalid expression";
        case kExpressionDataNotAllowed:
            return "Expression data not allowed";
        case kExecutionError:
            return "Execution error";
        case kCommandProtected:
            return "Command protected";
        case kInitIgnored:
            return "Init ignored";
        case kSettingsConflict:
            return "Settings conflict";
        case kDataOutOfRange:
            return "Data out of range";
        case kIllegalParameterValue:
            return "Illegal parameter value";
        case kQueueOverflow:
            return "Queue overflow";
        case kInputBufferOverrun:
            return "Input buffer overrun";
        case kQueryInterrupted:
            return "Query INTERRUPTED";
        case kQueryUnterminated:
            return "Query UNTERMINATED";
        case kQueryUnterminatedAfterIndefiniteResponse:
            return "Query UNTERMINATED after indefinite response";
        default:
            break;
    }
    if (code > 0)
        return "Device-specific error";
    if (code <= -100 && code > -200)
        return "Command error";
    if (code <= -200 && code > -300)
        return "Execution error";
    if (code <= -300 && code > -400)
        return "Device-specific error";
    if (code <= -400 && code > -500)
        return "Query error";
    return "Error";
}

uint8_t EventStatusBitFor(int code) {
    if (code > 0)
        return kEsrDeviceDependentError;
    if (code <= -100 && code > -200)
        return kEsrCommandError;
    if (code <= -200 && code > -300)
        return kEsrExecutionError;
    if (code <= -300 && code > -400)
        return kEsrDeviceDependentError;
    if (code <= -400 && code > -500)
        return kEsrQueryError;
    return 0;
}

bool IsCommandError(int code) {
    return code <= -100 && code > -200;
}

Error::Error(int code, std::string detail)
    : std::runtime_error(std::string(StandardErrorText(code))),
      code_(code),
      detail_(std::move(detail)) {}

}  // namespace tevo::emulator::scpi
