// Runs a scope under the "C" locale on this thread only, leaving the process locale alone.
#pragma once

#include <clocale>
#include <locale.h>

namespace kiv {

class ScopedCLocale {
public:
    ScopedCLocale();
    ~ScopedCLocale();
    ScopedCLocale(const ScopedCLocale &) = delete;
    ScopedCLocale &operator=(const ScopedCLocale &) = delete;

    // The shared "C" locale object, for the *_l functions.
    static locale_t Get();

private:
    locale_t previous_;
};

}  // namespace kiv
