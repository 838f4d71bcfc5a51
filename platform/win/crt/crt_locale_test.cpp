#include <gtest/gtest.h>

#include <clocale>

#include "tevo/win/crt.h"

TEST(CrtLocale, CreatesTheCLocaleForEveryCategoryNaming) {
    // The names of <clocale> and the numeric values of the Windows runtime (LC_ALL 0 ...
    // LC_TIME 5) are both accepted.
    for (const int category :
         {LC_ALL, LC_NUMERIC, LC_CTYPE, LC_COLLATE, LC_MONETARY, LC_TIME, 0, 1, 2, 3, 4, 5}) {
        _locale_t locale = _create_locale(category, "C");
        ASSERT_NE(locale, nullptr) << category;
        char buffer[16];
        EXPECT_EQ(_snprintf_l(buffer, sizeof buffer, "%.1f", locale, 0.5), 3);
        EXPECT_STREQ(buffer, "0.5");
        _free_locale(locale);
    }
    _locale_t user_default = _create_locale(LC_ALL, "");
    EXPECT_NE(user_default, nullptr);
    _free_locale(user_default);
}

TEST(CrtLocale, RefusesUnsupportedNamesAndCategories) {
    EXPECT_EQ(_create_locale(LC_ALL, "de_DE.UTF-8"), nullptr);
    EXPECT_EQ(_create_locale(LC_ALL, "German_Germany.1252"), nullptr);
    EXPECT_EQ(_create_locale(LC_ALL, nullptr), nullptr);
    EXPECT_EQ(_create_locale(-1, "C"), nullptr);
    EXPECT_EQ(_create_locale(999, "C"), nullptr);
    _free_locale(nullptr);  // does nothing
}
