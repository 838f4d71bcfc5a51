#include "dispatch/value_conversion.h"

#include <charconv>
#include <limits>
#include <vector>

#include "output/json.h"
#include "session/errors.h"
#include "tevo/com/holders.h"
#include "tevo/com/safearray.h"
#include "units/engineering_value.h"

namespace tevo::cli {

namespace {

std::string Lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::optional<LONG> Integer(const std::string& text) {
    long long value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (!text.empty() && text.front() == '+') {
        ++begin;
    }
    const auto [stop, status] = std::from_chars(begin, end, value);
    if (status != std::errc() || stop != end || begin == end ||
        value < std::numeric_limits<LONG>::min() || value > std::numeric_limits<LONG>::max()) {
        return std::nullopt;
    }
    return static_cast<LONG>(value);
}

std::optional<bool> Boolean(const std::string& text) {
    const std::string lowered = Lowered(text);
    if (lowered == "true" || lowered == "on" || lowered == "yes" || lowered == "1") {
        return true;
    }
    if (lowered == "false" || lowered == "off" || lowered == "no" || lowered == "0") {
        return false;
    }
    return std::nullopt;
}

std::string EnumChoices(const ValueType& type) {
    std::string choices;
    for (const EnumMember& member : EnumMembersOf(type)) {
        choices +=
            (choices.empty() ? "" : ", ") + member.name + " (" + std::to_string(member.value) + ")";
    }
    return choices;
}

// Elements of a one-dimensional array as VARIANTs of their own.
std::vector<OwnedVariant> ArrayElements(SAFEARRAY* array, VARTYPE element_type) {
    std::vector<OwnedVariant> elements;
    LONG lower = 0;
    LONG upper = -1;
    if (array == nullptr || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return elements;
    }
    for (LONG i = lower; i <= upper; ++i) {
        OwnedVariant element;
        VARIANT* slot = element.Get();
        if (element_type == VT_VARIANT) {
            SafeArrayGetElement(array, &i, slot);
        } else if (element_type == VT_BSTR) {
            BSTR text = nullptr;
            SafeArrayGetElement(array, &i, &text);
            slot->vt = VT_BSTR;
            slot->bstrVal = text;
        } else {
            // Scalars are copied into the VARIANT's value field, which starts at one address
            // for every member of its union.
            if (SUCCEEDED(SafeArrayGetElement(array, &i, &slot->llVal))) {
                slot->vt = element_type;
            }
        }
        elements.push_back(std::move(element));
    }
    return elements;
}

VARTYPE ArrayElementType(const VARIANT& value) {
    VARTYPE type = VT_EMPTY;
    if ((value.vt & VT_ARRAY) != 0 && SUCCEEDED(SafeArrayGetVartype(value.parray, &type))) {
        return type;
    }
    return static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
}

std::string ScalarText(const VARIANT& value, const ValueType& type, bool json) {
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return json ? "null" : "";
        case VT_R8:
            return json ? JsonNumber(value.dblVal) : FormatNumber(value.dblVal);
        case VT_R4:
            return json ? JsonNumber(value.fltVal) : FormatNumber(value.fltVal);
        case VT_BOOL:
            return value.boolVal != VARIANT_FALSE ? "true" : "false";
        case VT_BSTR: {
            const std::string text = tevo::com::BstrToUtf8(value.bstrVal);
            return json ? JsonString(text) : text;
        }
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return json ? JsonString("(object)") : "(object)";
        default:
            break;
    }
    VARIANT number;
    VariantInit(&number);
    std::string text = json ? "null" : "(value of type " + std::to_string(value.vt) + ")";
    if (SUCCEEDED(VariantChangeType(&number, &value, 0, VT_I4))) {
        const std::string name = EnumNameOf(type, number.lVal);
        if (json) {
            text = name.empty() ? std::to_string(number.lVal)
                                : JsonObject({{"value", std::to_string(number.lVal)},
                                              {"name", JsonString(name)}});
        } else {
            text = name.empty() ? std::to_string(number.lVal) : name;
        }
    }
    VariantClear(&number);
    return text;
}

}  // namespace

OwnedVariant VariantFromText(const std::string& text, const ValueType& type,
                             const std::string& parameter) {
    OwnedVariant argument;
    VARIANT* value = argument.Get();
    if (type.array) {
        throw UsageError(parameter + ": array arguments cannot be given on the command line");
    }
    if (!EnumMembersOf(type).empty()) {
        std::optional<LONG> number = EnumValueOf(type, text);
        if (!number) {
            number = Integer(text);
        }
        if (!number) {
            throw UsageError(parameter + ": '" + text + "' is not a member of " +
                             type.enumeration->name + ": " + EnumChoices(type));
        }
        value->vt = VT_I4;
        value->lVal = *number;
        return argument;
    }
    switch (type.vt) {
        case VT_R8:
        case VT_R4:
        case VT_CY:
        case VT_DECIMAL: {
            const ParsedValue parsed = ParseEngineeringValue(text, Quantity::kAny);
            if (!parsed.value) {
                throw UsageError(parameter + ": " + parsed.error);
            }
            value->vt = VT_R8;
            value->dblVal = *parsed.value;
            return argument;
        }
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT: {
            const std::optional<LONG> number = Integer(text);
            if (!number) {
                throw UsageError(parameter + ": '" + text + "' is not a whole number");
            }
            value->vt = VT_I4;
            value->lVal = *number;
            return argument;
        }
        case VT_BOOL: {
            const std::optional<bool> flag = Boolean(text);
            if (!flag) {
                throw UsageError(parameter + ": '" + text + "' is not true or false");
            }
            value->vt = VT_BOOL;
            value->boolVal = *flag ? VARIANT_TRUE : VARIANT_FALSE;
            return argument;
        }
        case VT_VARIANT:
            if (const std::optional<LONG> number = Integer(text)) {
                value->vt = VT_I4;
                value->lVal = *number;
                return argument;
            }
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            throw UsageError(parameter + ": objects cannot be given on the command line");
        default:
            break;
    }
    value->vt = VT_BSTR;
    value->bstrVal = tevo::com::Bstr::FromUtf8(text).Detach();
    return argument;
}

std::string VariantToText(const VARIANT& value, const ValueType& type) {
    if ((value.vt & VT_ARRAY) == 0) {
        return ScalarText(value, type, false);
    }
    std::string lines;
    for (const OwnedVariant& element : ArrayElements(value.parray, ArrayElementType(value))) {
        lines += (lines.empty() ? "" : "\n") + ScalarText(*element.Get(), type, false);
    }
    return lines;
}

std::string VariantToJson(const VARIANT& value, const ValueType& type) {
    if ((value.vt & VT_ARRAY) == 0) {
        return ScalarText(value, type, true);
    }
    std::vector<std::string> elements;
    for (const OwnedVariant& element : ArrayElements(value.parray, ArrayElementType(value))) {
        elements.push_back(ScalarText(*element.Get(), type, true));
    }
    return JsonArray(elements);
}

}  // namespace tevo::cli
