// Helpers of the C runtime tests: formatting into strings through the public functions, and
// a locale whose decimal separator is a comma, to prove that the process or thread locale
// does not reach the _l functions.
#pragma once

#include <gtest/gtest.h>
#include <langinfo.h>

#include <clocale>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tevo/testing/run_program.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/crt.h"

namespace tevo::win::crt::testing {

// Formats through _vscprintf_l and _vsnprintf_l with a buffer of exactly the size needed,
// checking that both agree; a failed format gives "<failed>".
inline std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = _vscprintf_l(format, nullptr, args);
    std::string text;
    if (length < 0) {
        text = "<failed>";
    } else {
        std::vector<char> buffer(static_cast<size_t>(length) + 1, '#');
        const int written = _vsnprintf_l(buffer.data(), buffer.size(), format, nullptr, again);
        EXPECT_EQ(written, length) << format;
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    va_end(args);
    return text;
}

// The wide twin of Format; a failed format gives L"<failed>".
inline std::wstring FormatW(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = _vscwprintf_l(format, nullptr, args);
    std::wstring text;
    if (length < 0) {
        text = L"<failed>";
    } else {
        std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'#');
        const int written = _vsnwprintf_l(buffer.data(), buffer.size(), format, nullptr, again);
        EXPECT_EQ(written, length);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    va_end(args);
    return text;
}

// Sets LOCPATH for its lifetime (when `path` is not empty) and restores it afterwards.
class ScopedLocPath {
  public:
    explicit ScopedLocPath(const std::string& path) {
        const char* old = std::getenv("LOCPATH");  // NOLINT(concurrency-mt-unsafe)
        if (old != nullptr) {
            saved_ = old;
        }
        if (!path.empty()) {
            setenv("LOCPATH", path.c_str(), 1);
        }
    }
    ~ScopedLocPath() {
        if (saved_) {
            setenv("LOCPATH", saved_->c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
    }
    ScopedLocPath(const ScopedLocPath&) = delete;
    ScopedLocPath& operator=(const ScopedLocPath&) = delete;

  private:
    std::optional<std::string> saved_;
};

// Restores the process locale that was in force when it was made.
class ProcessLocaleGuard {
  public:
    ProcessLocaleGuard() : saved_(setlocale(LC_ALL, nullptr)) {}
    ~ProcessLocaleGuard() { setlocale(LC_ALL, saved_.c_str()); }
    ProcessLocaleGuard(const ProcessLocaleGuard&) = delete;
    ProcessLocaleGuard& operator=(const ProcessLocaleGuard&) = delete;

  private:
    std::string saved_;
};

// A locale with a comma as decimal separator: an installed German or French locale, or,
// when none is installed, a small one compiled with localedef into the test's system root.
// `available()` is false when neither works (no locale sources and no localedef).
class CommaLocale {
  public:
    CommaLocale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"}) {
            if (HasCommaDecimalPoint(name, "")) {
                name_ = name;
                return;
            }
        }
        const auto dir = tevo::testing::CurrentSystemRoot() / "locales";
        const auto source = tevo::testing::WriteFile(dir / "comma.def", kDefinition);
        for (const char* localedef :
             {"/usr/bin/localedef", "/usr/sbin/localedef", "/bin/localedef"}) {
            if (!std::filesystem::exists(localedef)) {
                continue;
            }
            // Warnings about categories left undefined make localedef exit with 1 although
            // it wrote the locale; whether the locale loads is what counts.
            tevo::testing::RunProgram(localedef,
                                      {"-c", "-i", source.string(), (dir / "tevo_comma").string()});
            if (HasCommaDecimalPoint("tevo_comma", dir.string())) {
                name_ = "tevo_comma";
                locpath_ = dir.string();
            }
            return;
        }
    }

    bool available() const { return !name_.empty(); }
    const std::string& name() const { return name_; }

    // A new C library locale object for it (free with freelocale), or null. Made as a copy
    // of the process locale because newlocale leaks memory in this C library when LOCPATH
    // is set; the process locale is restored afterwards.
    locale_t NewLocale() const {
        const ProcessLocaleGuard guard;
        return SetProcessLocale() ? duplocale(LC_GLOBAL_LOCALE) : nullptr;
    }

    // Makes it the process locale with setlocale(LC_ALL, ...); false when that fails.
    bool SetProcessLocale() const {
        const ScopedLocPath path(locpath_);
        return setlocale(LC_ALL, name_.c_str()) != nullptr;
    }

  private:
    static bool HasCommaDecimalPoint(const char* name, const std::string& locpath) {
        const ProcessLocaleGuard guard;
        const ScopedLocPath path(locpath);
        return setlocale(LC_ALL, name) != nullptr && std::string(nl_langinfo(RADIXCHAR)) == ",";
    }

    static constexpr const char* kDefinition =
        "LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\n"
        "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\nEND LC_NUMERIC\n"
        "LC_COLLATE\ncopy \"POSIX\"\nEND LC_COLLATE\n"
        "LC_MONETARY\ncopy \"POSIX\"\nEND LC_MONETARY\n"
        "LC_TIME\ncopy \"POSIX\"\nEND LC_TIME\n"
        "LC_MESSAGES\ncopy \"POSIX\"\nEND LC_MESSAGES\n";

    std::string name_;
    std::string locpath_;
};

}  // namespace tevo::win::crt::testing
