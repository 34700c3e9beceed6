// Switches the calling thread's LC_CTYPE for a scope (uselocale), leaving the
// process's global locale alone.
#pragma once

#include <locale.h>

#include <stdexcept>
#include <string>

namespace qrtest {

class ScopedThreadLocale {
  public:
    // Throws std::runtime_error when the locale is not installed.
    explicit ScopedThreadLocale(const std::string& name)
        : locale_(newlocale(LC_CTYPE_MASK, name.c_str(), locale_t(nullptr))) {
        if (locale_ == locale_t(nullptr)) {
            throw std::runtime_error("locale " + name + " is not installed");
        }
        previous_ = uselocale(locale_);
    }
    ~ScopedThreadLocale() {
        uselocale(previous_);
        freelocale(locale_);
    }
    ScopedThreadLocale(const ScopedThreadLocale&) = delete;
    ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;

  private:
    locale_t locale_, previous_ = locale_t(nullptr);
};

}  // namespace qrtest
