// The C library locale behind a _locale_t, and a scope that makes it the calling thread's
// locale for the C library functions that have no locale parameter.
#pragma once

#include <clocale>

#include "tevo/win/crt.h"

struct tevo_crt_locale {
    locale_t c_locale;  // owned; released by _free_locale
};

namespace tevo::win::crt {

// The C library locale to format and parse with for `locale`: the one it holds, or for a
// null `locale` a process-wide "C" locale.
locale_t CLocaleOf(_locale_t locale);

// Makes a C library locale the calling thread's locale for its lifetime and then restores
// whatever the thread used before (its own locale or the global one). Other threads are
// not affected.
class ScopedThreadLocale {
  public:
    explicit ScopedThreadLocale(locale_t locale) : previous_(uselocale(locale)) {}
    ~ScopedThreadLocale() { uselocale(previous_); }
    ScopedThreadLocale(const ScopedThreadLocale&) = delete;
    ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;

  private:
    locale_t previous_;
};

}  // namespace tevo::win::crt
