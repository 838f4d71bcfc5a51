#include "attributes/attribute_engine.h"

#include <string>

#include "session/error_codes.h"
#include "session/text_conversion.h"

namespace tevo::driver {

namespace {

// Every attribute reply is read with this limit.
constexpr LONG kReplyLimit = 100;
constexpr LONG kTokenFalse = 0;
constexpr LONG kTokenTrue = -1;
constexpr double kOnlyUnitsPerDivision = 10.0;

using FlagGetter = HRESULT (STDMETHODCALLTYPE IIviDriverOperation::*)(VARIANT_BOOL*);

HRESULT ReadFlag(AttributeContext& root, FlagGetter getter, bool* flag) {
    VARIANT_BOOL value = VARIANT_FALSE;
    const HRESULT hr = (root.OwnDriverOperation()->*getter)(&value);
    *flag = value == VARIANT_TRUE;
    return hr;
}

// The variant index that carries a COM type (enumerations travel as LONG).
size_t SlotOf(ComType type) {
    switch (type) {
        case ComType::kDouble:
            return 0;
        case ComType::kLong:
        case ComType::kEnumeration:
            return 1;
        case ComType::kBoolean:
            return 2;
        case ComType::kText:
            return 3;
    }
    return 0;
}

bool IsNullOut(const AttributeOut& out) {
    return std::visit([](auto* pointer) { return pointer == nullptr; }, out);
}

void RemoveTrailingLineFeed(std::wstring* text) {
    if (!text->empty() && text->back() == L'\n') {
        text->pop_back();
    }
}

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
    *out = SysAllocString(text.c_str());
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// ---- Templates

std::wstring QueryTemplate(const AttributeRow& row) {
    if (row.code == RowCode::kQueryFromCommand) {
        const std::wstring command = row.command;
        return command.substr(0, command.find(L' ')) + L"?";
    }
    return row.query != nullptr ? row.query : L"";
}

std::wstring CommandTemplate(const AttributeRow& row) {
    if (row.code == RowCode::kCommandFromQuery) {
        std::wstring header = row.query;
        if (!header.empty() && header.back() == L'?') {
            header.pop_back();
        }
        return header + L" O%s";
    }
    return row.command != nullptr ? row.command : L"";
}

// Calls exchange with the arguments the template takes before the value: none, the window
// suffix, or the suffix and the active marker or trace number.
template <class Exchange>
HRESULT WithTemplateArguments(AttributeContext& root, TemplateArguments arguments,
                              LONG trace_number, Exchange exchange) {
    if (arguments == TemplateArguments::kNone) {
        return exchange();
    }
    std::wstring suffix;
    const HRESULT hr = AttributeWindowSuffix(root, &suffix);
    if (FAILED(hr)) {
        return hr;
    }
    switch (arguments) {
        case TemplateArguments::kWindowMarker:
            return exchange(suffix.c_str(), root.StoredActiveMarker());
        case TemplateArguments::kWindowTrace:
            return exchange(suffix.c_str(), trace_number);
        default:
            return exchange(suffix.c_str());
    }
}

// ---- Exchanges of a get. A template without arguments goes out with the plain Query
// routines, any other with the Printf routines.

HRESULT QueryReal(AttributeContext& root, const AttributeRow& row, LONG trace, double* value) {
    const std::wstring query = QueryTemplate(row);
    InstrumentIo& io = root.AttributeIo();
    return WithTemplateArguments(root, row.query_arguments, trace, [&](auto... arguments) {
        if constexpr (sizeof...(arguments) == 0) {
            return io.QueryReal(query.c_str(), value, kSessionTimeout);
        } else {
            return io.PrintfQueryReal(query.c_str(), value, arguments...);
        }
    });
}

HRESULT QueryInt(AttributeContext& root, const AttributeRow& row, LONG trace, LONG* value) {
    const std::wstring query = QueryTemplate(row);
    InstrumentIo& io = root.AttributeIo();
    return WithTemplateArguments(root, row.query_arguments, trace, [&](auto... arguments) {
        if constexpr (sizeof...(arguments) == 0) {
            return io.QueryInt(query.c_str(), value, kSessionTimeout);
        } else {
            return io.PrintfQueryInt(query.c_str(), value, arguments...);
        }
    });
}

HRESULT QueryText(AttributeContext& root, const AttributeRow& row, LONG trace,
                  std::wstring* reply) {
    const std::wstring query = QueryTemplate(row);
    InstrumentIo& io = root.AttributeIo();
    const HRESULT hr =
        WithTemplateArguments(root, row.query_arguments, trace, [&](auto... arguments) {
            if constexpr (sizeof...(arguments) == 0) {
                return io.QueryText(query.c_str(), reply, kReplyLimit, kSessionTimeout);
            } else {
                return io.PrintfQueryText(query.c_str(), reply, kReplyLimit, arguments...);
            }
        });
    RemoveTrailingLineFeed(reply);
    return hr;
}

// A reply token through the row's reverse map.
HRESULT QueryToken(AttributeContext& root, const AttributeRow& row, LONG trace, LONG* value) {
    std::wstring reply;
    const HRESULT hr = QueryText(root, row, trace, &reply);
    if (FAILED(hr)) {
        return hr;
    }
    return root.Maps().FromToken(row.reverse, reply, value) ? S_OK : E_FAIL;
}

// ---- Get implementations by COM type

HRESULT GetReal(AttributeContext& root, const AttributeRow& row, LONG trace, double* out) {
    double value = 0.0;
    const HRESULT hr = QueryReal(root, row, trace, &value);
    if (SUCCEEDED(hr)) {
        *out = value;
    }
    return hr;
}

HRESULT GetInteger(AttributeContext& root, const AttributeRow& row, LONG trace, LONG* out) {
    LONG value = 0;
    const HRESULT hr = QueryInt(root, row, trace, &value);
    if (SUCCEEDED(hr)) {
        *out = value;
    }
    return hr;
}

HRESULT GetBooleanNumeric(AttributeContext& root, const AttributeRow& row, VARIANT_BOOL* out) {
    LONG value = 0;
    const HRESULT hr = QueryInt(root, row, kNoTraceNumber, &value);
    if (FAILED(hr)) {
        return hr;
    }
    if (value != 0 && value != 1) {
        return E_FAIL;
    }
    *out = value == 1 ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
}

HRESULT GetBooleanText(AttributeContext& root, const AttributeRow& row, VARIANT_BOOL* out) {
    LONG value = 0;
    const HRESULT hr = QueryToken(root, row, kNoTraceNumber, &value);
    if (SUCCEEDED(hr)) {
        *out = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return hr;
}

HRESULT GetEnumeration(AttributeContext& root, const AttributeRow& row, LONG trace, LONG* out) {
    LONG value = 0;
    const HRESULT hr = QueryToken(root, row, trace, &value);
    if (SUCCEEDED(hr)) {
        *out = value;
    }
    return hr;
}

HRESULT GetText(AttributeContext& root, const AttributeRow& row, BSTR* out) {
    std::wstring reply;
    const HRESULT hr = QueryText(root, row, kNoTraceNumber, &reply);
    return FAILED(hr) ? hr : ReturnText(reply, out);
}

HRESULT GetStored(const AttributeContext& root, const AttributeRow& row, const AttributeOut& out) {
    if (row.code == RowCode::kActiveScreen) {
        *std::get<LONG*>(out) = root.StoredActiveScreen();
        return S_OK;
    }
    return ReturnText(std::to_wstring(root.StoredActiveMarker()), std::get<BSTR*>(out));
}

// A number without I/O (constants, fixed values, the zero of a property not supported).
HRESULT StoreNumber(double number, const AttributeOut& out) {
    if (auto* real = std::get_if<double*>(&out)) {
        **real = number;
    } else if (auto* integer = std::get_if<LONG*>(&out)) {
        **integer = static_cast<LONG>(number);
    } else if (auto* boolean = std::get_if<VARIANT_BOOL*>(&out)) {
        **boolean = number != 0.0 ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        return E_UNEXPECTED;  // no text row answers a number
    }
    return S_OK;
}

HRESULT StoreSimulated(const AttributeRow& row, const AttributeOut& out) {
    if (auto* text = std::get_if<BSTR*>(&out)) {
        return ReturnText(kSimulatedText, *text);
    }
    return StoreNumber(row.simulated, out);
}

// The exchange of a row whose kind follows its COM type (text, and the unassigned kind).
HRESULT GetByType(AttributeContext& root, const AttributeRow& row, LONG trace,
                  const AttributeOut& out) {
    switch (row.type) {
        case ComType::kDouble:
            return GetReal(root, row, trace, std::get<double*>(out));
        case ComType::kLong:
            return GetInteger(root, row, trace, std::get<LONG*>(out));
        case ComType::kEnumeration:
            return GetEnumeration(root, row, trace, std::get<LONG*>(out));
        case ComType::kBoolean:
            return GetBooleanNumeric(root, row, std::get<VARIANT_BOOL*>(out));
        case ComType::kText:
            return GetText(root, row, std::get<BSTR*>(out));
    }
    return E_UNEXPECTED;
}

HRESULT GetExchange(AttributeContext& root, const AttributeRow& row, LONG trace,
                    const AttributeOut& out) {
    switch (row.kind) {
        case AttributeKind::kReal:
        case AttributeKind::kInteger:
        case AttributeKind::kBooleanNumeric:
        case AttributeKind::kText:
        case AttributeKind::kUnassigned:
            return GetByType(root, row, trace, out);
        case AttributeKind::kBooleanText:
            return GetBooleanText(root, row, std::get<VARIANT_BOOL*>(out));
        case AttributeKind::kEnumeration:
            return GetEnumeration(root, row, trace, std::get<LONG*>(out));
        case AttributeKind::kStored:
            return GetStored(root, row, out);
        case AttributeKind::kConstant:
        case AttributeKind::kFixed:
            return StoreNumber(row.value, out);
        case AttributeKind::kNotSupported: {
            const HRESULT hr = StoreNumber(0.0, out);
            return FAILED(hr) ? hr : E_IVI_PROPERTY_NOT_SUPPORTED;
        }
        case AttributeKind::kCommandOnly:
            break;
    }
    return E_UNEXPECTED;  // a put-only attribute has no get
}

HRESULT GetImplementation(AttributeContext& root, const AttributeRow& row, LONG trace,
                          const AttributeOut& out) {
    if (out.index() != SlotOf(row.type)) {
        return E_INVALIDARG;  // the caller's type does not match the row
    }
    if (IsNullOut(out)) {
        return ReportError(root.AttributeErrors(), kNullPointer, kNullPointerDetails, "InstrGet",
                           "pVal");
    }
    bool simulate = false;
    const HRESULT hr = ReadFlag(root, &IIviDriverOperation::get_Simulate, &simulate);
    if (FAILED(hr)) {
        return hr;
    }
    return simulate ? StoreSimulated(row, out) : GetExchange(root, row, trace, out);
}

// ---- Put implementations

template <class Value>
HRESULT SendCommand(AttributeContext& root, const AttributeRow& row, LONG trace, Value value) {
    const std::wstring command = CommandTemplate(row);
    InstrumentIo& io = root.AttributeIo();
    return WithTemplateArguments(root, row.command_arguments, trace, [&](auto... arguments) {
        return io.Printf(command.c_str(), arguments..., value);
    });
}

// The token of a value; the lookup comes before the suffix, so a missing token sends
// nothing.
HRESULT SendToken(AttributeContext& root, const AttributeRow& row, LONG trace, LONG value) {
    std::wstring token;
    if (!root.Maps().ToToken(row.forward, value, &token)) {
        return E_FAIL;
    }
    return SendCommand(root, row, trace, token.c_str());
}

// A VARIANT_BOOL counts as true only when it is -1.
LONG BooleanKey(VARIANT_BOOL value) {
    return value == VARIANT_TRUE ? kTokenTrue : kTokenFalse;
}

HRESULT PutActiveScreen(AttributeContext& root, const AttributeRow& row, LONG screen) {
    std::wstring token;
    if (!root.Maps().ToToken(row.forward, screen, &token)) {
        return E_FAIL;
    }
    const HRESULT hr = root.AttributeIo().Printf(CommandTemplate(row).c_str(), token.c_str());
    // The screen is the driver's own: it is stored whatever the write gave.
    root.StoreActiveScreen(static_cast<TevoActiveScreenEnum>(screen));
    return hr;
}

// The marker number is the text's first character read as a decimal digit. Anything else
// (the empty text included) would put a corrupted marker number into every later marker
// command, so it is refused and nothing is stored.
HRESULT PutActiveMarker(AttributeContext& root, BSTR text) {
    const bool digit = text != nullptr && text[0] >= L'0' && text[0] <= L'9';
    if (!digit) {
        return ReportError(root.AttributeErrors(), kInvalidValue, kInvalidValueDetails,
                           BstrToAnsi(text).c_str(), "put_ActiveMarker", "newVal");
    }
    root.StoreActiveMarker(static_cast<LONG>(text[0] - L'0'));
    return S_OK;
}

HRESULT PutByCode(AttributeContext& root, const AttributeRow& row, const AttributeIn& value) {
    switch (row.code) {
        case RowCode::kActiveScreen:
            return PutActiveScreen(root, row, std::get<LONG>(value));
        case RowCode::kActiveMarker:
            return PutActiveMarker(root, std::get<BSTR>(value));
        case RowCode::kUnitsPerDivision:
            return std::get<double>(value) == kOnlyUnitsPerDivision ? S_OK
                                                                    : E_IVI_VALUE_NOT_SUPPORTED;
        case RowCode::kPutNotSupported:
            return E_IVI_PROPERTY_NOT_SUPPORTED;
        default:
            return E_UNEXPECTED;
    }
}

HRESULT PutExchange(AttributeContext& root, const AttributeRow& row, LONG trace,
                    const AttributeIn& value) {
    if (row.kind == AttributeKind::kNotSupported) {
        return E_IVI_PROPERTY_NOT_SUPPORTED;
    }
    if (row.kind == AttributeKind::kFixed) {
        return S_OK;  // no effect
    }
    if (CommandTemplate(row).empty()) {
        return E_UNEXPECTED;  // read-only
    }
    switch (row.type) {
        case ComType::kDouble:
            return SendCommand(root, row, trace, std::get<double>(value));
        case ComType::kLong:
            return SendCommand(root, row, trace, std::get<LONG>(value));
        case ComType::kEnumeration:
            return SendToken(root, row, trace, std::get<LONG>(value));
        case ComType::kBoolean:
            return SendToken(root, row, trace, BooleanKey(std::get<VARIANT_BOOL>(value)));
        case ComType::kText: {
            const BSTR text = std::get<BSTR>(value);
            return SendCommand(root, row, trace, text != nullptr ? text : L"");
        }
    }
    return E_UNEXPECTED;
}

HRESULT PutImplementation(AttributeContext& root, const AttributeRow& row, LONG trace,
                          const AttributeIn& value) {
    bool simulate = false;
    const HRESULT hr = ReadFlag(root, &IIviDriverOperation::get_Simulate, &simulate);
    if (FAILED(hr)) {
        return hr;
    }
    if (simulate) {
        return S_OK;
    }
    const bool coded = row.code == RowCode::kActiveScreen || row.code == RowCode::kActiveMarker ||
                       row.code == RowCode::kUnitsPerDivision ||
                       row.code == RowCode::kPutNotSupported;
    return coded ? PutByCode(root, row, value) : PutExchange(root, row, trace, value);
}

}  // namespace

HRESULT AttributeWindowSuffix(AttributeContext& root, std::wstring* suffix) {
    TevoActiveScreenEnum screen = TevoActiveScreenA;
    const HRESULT hr = root.ReadActiveScreen(&screen);
    if (FAILED(hr)) {
        return hr;
    }
    return root.Maps().WindowSuffix(screen, suffix) ? S_OK : E_FAIL;
}

HRESULT AttributeGetLayer(AttributeContext& root, const AttributeRow& row, LONG trace_number,
                          AttributeOut out) {
    bool cache = false;  // read for the session's sake; values are never cached
    const HRESULT hr = ReadFlag(root, &IIviDriverOperation::get_Cache, &cache);
    if (FAILED(hr)) {
        return hr;
    }
    return GetImplementation(root, row, trace_number, out);
}

HRESULT AttributePutLayer(AttributeContext& root, const AttributeRow& row, LONG trace_number,
                          const AttributeIn& value) {
    if (value.index() != SlotOf(row.type)) {
        return E_INVALIDARG;  // the caller's type does not match the row
    }
    // RangeCheck and Cache are read for the session's sake; nothing is range-checked.
    const FlagGetter settings[] = {&IIviDriverOperation::get_RangeCheck,
                                   &IIviDriverOperation::get_Cache,
                                   &IIviDriverOperation::get_Simulate};
    bool simulate = false;
    for (const FlagGetter getter : settings) {
        const HRESULT hr = ReadFlag(root, getter, &simulate);
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (simulate) {
        return S_OK;  // the last read was Simulate
    }
    return PutImplementation(root, row, trace_number, value);
}

}  // namespace tevo::driver
