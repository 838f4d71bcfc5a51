// Command-line text to the VARIANTs of declared parameter types, enumeration members by
// name, and results back to text and JSON.
#include "dispatch/value_conversion.h"

#include <gtest/gtest.h>

#include <memory>

#include "session/errors.h"
#include "tevo/com/holders.h"
#include "tevo/com/safearray.h"

namespace tevo::cli {
namespace {

ValueType Scalar(VARTYPE vt) {
    ValueType type;
    type.vt = vt;
    return type;
}

ValueType DetectorEnum() {
    ValueType type = Scalar(VT_I4);
    auto enumeration = std::make_shared<tevo::com::EnumDescription>();
    enumeration->name = "TevoDetectorTypeEnum";
    enumeration->members = {{"TevoDetectorTypeAutoPeak", 1},
                            {"TevoDetectorTypeAverage", 2},
                            {"TevoDetectorTypeMaxPeak", 3}};
    type.enumeration = std::move(enumeration);
    return type;
}

TEST(EnumMembers, ByFullNameOrWithoutTheSharedPrefixInAnyCase) {
    const ValueType type = DetectorEnum();
    EXPECT_EQ(EnumValueOf(type, "TevoDetectorTypeMaxPeak"), 3);
    EXPECT_EQ(EnumValueOf(type, "maxpeak"), 3);
    EXPECT_EQ(EnumValueOf(type, "AVERAGE"), 2);
    // "Average" and "AutoPeak" share the 'A': the prefix ends where a word starts.
    EXPECT_EQ(EnumValueOf(type, "utoPeak"), std::nullopt);
    EXPECT_EQ(EnumValueOf(type, "Peak"), std::nullopt);
    EXPECT_EQ(EnumValueOf(type, "3"), std::nullopt);  // numbers are not names
    EXPECT_EQ(EnumNameOf(type, 2), "TevoDetectorTypeAverage");
    EXPECT_EQ(EnumNameOf(type, 9), "");
}

TEST(VariantFromText, ConvertsToTheDeclaredType) {
    OwnedVariant real = VariantFromText("2.5 GHz", Scalar(VT_R8), "x");
    EXPECT_EQ(real.Get()->vt, VT_R8);
    EXPECT_EQ(real.Get()->dblVal, 2.5e9);
    OwnedVariant integer = VariantFromText("-42", Scalar(VT_I4), "x");
    EXPECT_EQ(integer.Get()->vt, VT_I4);
    EXPECT_EQ(integer.Get()->lVal, -42);
    for (const char* yes : {"true", "On", "YES", "1"}) {
        OwnedVariant flag = VariantFromText(yes, Scalar(VT_BOOL), "x");
        EXPECT_EQ(flag.Get()->vt, VT_BOOL);
        EXPECT_EQ(flag.Get()->boolVal, VARIANT_TRUE) << yes;
    }
    OwnedVariant no = VariantFromText("off", Scalar(VT_BOOL), "x");
    EXPECT_EQ(no.Get()->boolVal, VARIANT_FALSE);
    OwnedVariant text = VariantFromText("Trace 2", Scalar(VT_BSTR), "x");
    EXPECT_EQ(text.Get()->vt, VT_BSTR);
    EXPECT_EQ(tevo::com::BstrToUtf8(text.Get()->bstrVal), "Trace 2");
    OwnedVariant by_name = VariantFromText("MaxPeak", DetectorEnum(), "x");
    EXPECT_EQ(by_name.Get()->vt, VT_I4);
    EXPECT_EQ(by_name.Get()->lVal, 3);
    OwnedVariant by_number = VariantFromText("7", DetectorEnum(), "x");
    EXPECT_EQ(by_number.Get()->lVal, 7);  // the driver judges numbers itself
    OwnedVariant any_number = VariantFromText("2", Scalar(VT_VARIANT), "x");
    EXPECT_EQ(any_number.Get()->vt, VT_I4);
    OwnedVariant any_text = VariantFromText("Tevo", Scalar(VT_VARIANT), "x");
    EXPECT_EQ(any_text.Get()->vt, VT_BSTR);
}

TEST(VariantFromText, RefusesTextThatDoesNotFit) {
    EXPECT_THROW(VariantFromText("fast", Scalar(VT_R8), "x"), UsageError);
    EXPECT_THROW(VariantFromText("1.5", Scalar(VT_I4), "x"), UsageError);
    EXPECT_THROW(VariantFromText("99999999999", Scalar(VT_I4), "x"), UsageError);
    EXPECT_THROW(VariantFromText("maybe", Scalar(VT_BOOL), "x"), UsageError);
    EXPECT_THROW(VariantFromText("Loudest", DetectorEnum(), "x"), UsageError);
    EXPECT_THROW(VariantFromText("x", Scalar(VT_DISPATCH), "x"), UsageError);
    ValueType array = Scalar(VT_R8);
    array.array = true;
    EXPECT_THROW(VariantFromText("1", array, "x"), UsageError);
}

TEST(VariantToText, PlainAndJson) {
    OwnedVariant number;
    number.Get()->vt = VT_R8;
    number.Get()->dblVal = 1e9;
    EXPECT_EQ(VariantToText(*number.Get(), Scalar(VT_R8)), "1000000000");
    EXPECT_EQ(VariantToJson(*number.Get(), Scalar(VT_R8)), "1000000000");

    OwnedVariant detector;
    detector.Get()->vt = VT_I4;
    detector.Get()->lVal = 3;
    EXPECT_EQ(VariantToText(*detector.Get(), DetectorEnum()), "TevoDetectorTypeMaxPeak");
    EXPECT_EQ(VariantToJson(*detector.Get(), DetectorEnum()),
              "{\"value\": 3, \"name\": \"TevoDetectorTypeMaxPeak\"}");
    EXPECT_EQ(VariantToText(*detector.Get(), Scalar(VT_I4)), "3");

    OwnedVariant flag;
    flag.Get()->vt = VT_BOOL;
    flag.Get()->boolVal = VARIANT_FALSE;
    EXPECT_EQ(VariantToJson(*flag.Get(), Scalar(VT_BOOL)), "false");

    OwnedVariant text;
    text.Get()->vt = VT_BSTR;
    text.Get()->bstrVal = tevo::com::Bstr::FromUtf8("a \"b\"\n").Detach();
    EXPECT_EQ(VariantToText(*text.Get(), Scalar(VT_BSTR)), "a \"b\"\n");
    EXPECT_EQ(VariantToJson(*text.Get(), Scalar(VT_BSTR)), "\"a \\\"b\\\"\\n\"");

    OwnedVariant empty;
    EXPECT_EQ(VariantToText(*empty.Get(), Scalar(VT_EMPTY)), "");
    EXPECT_EQ(VariantToJson(*empty.Get(), Scalar(VT_EMPTY)), "null");

    SAFEARRAY* values = SafeArrayCreateVector(VT_R8, 0, 3);
    ASSERT_NE(values, nullptr);
    const double items[] = {-20, -30.5, 1e9};
    for (LONG i = 0; i < 3; ++i) {
        double item = items[i];
        ASSERT_EQ(SafeArrayPutElement(values, &i, &item), S_OK);
    }
    OwnedVariant array;
    array.Get()->vt = VT_ARRAY | VT_R8;
    array.Get()->parray = values;
    EXPECT_EQ(VariantToText(*array.Get(), Scalar(VT_R8)), "-20\n-30.5\n1000000000");
    EXPECT_EQ(VariantToJson(*array.Get(), Scalar(VT_R8)), "[-20, -30.5, 1000000000]");
}

}  // namespace
}  // namespace tevo::cli
