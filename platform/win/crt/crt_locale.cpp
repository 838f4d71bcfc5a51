#include "crt_locale.h"

#include <new>
#include <string_view>

namespace tevo::win::crt {
namespace {

// The category values of the Windows runtime: LC_ALL 0 to LC_TIME 5.
constexpr int kWindowsCategoryMin = 0;
constexpr int kWindowsCategoryMax = 5;

bool IsKnownCategory(int category) {
    if (category >= kWindowsCategoryMin && category <= kWindowsCategoryMax) {
        return true;
    }
    switch (category) {
        case LC_ALL:
        case LC_COLLATE:
        case LC_CTYPE:
        case LC_MONETARY:
        case LC_NUMERIC:
        case LC_TIME:
#ifdef LC_MESSAGES
        case LC_MESSAGES:
#endif
            return true;
        default:
            return false;
    }
}

// "C" is the locale every caller asks for; "" is the user's default locale, which on this
// platform formats and parses numbers as "C" does.
bool IsSupportedName(std::string_view name) {
    return name == "C" || name.empty();
}

}  // namespace

locale_t CLocaleOf(_locale_t locale) {
    if (locale != nullptr) {
        return locale->c_locale;
    }
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return c_locale;
}

}  // namespace tevo::win::crt

extern "C" {

_locale_t _create_locale(int category, const char* locale) {
    if (locale == nullptr || !tevo::win::crt::IsKnownCategory(category) ||
        !tevo::win::crt::IsSupportedName(locale)) {
        return nullptr;
    }
    const locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    if (c_locale == nullptr) {
        return nullptr;
    }
    auto* created = new (std::nothrow) tevo_crt_locale{c_locale};
    if (created == nullptr) {
        freelocale(c_locale);
    }
    return created;
}

void _free_locale(_locale_t locale) {
    if (locale == nullptr) {
        return;
    }
    freelocale(locale->c_locale);
    delete locale;
}

}  // extern "C"
