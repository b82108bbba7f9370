// Thread-local switch to the "C" locale around libplist's number parsing and printing.
#include "CLocale.hpp"

namespace kiv {

locale_t ScopedCLocale::Get() {
    // Made once and kept for the life of the process: uselocale needs it to outlive every scope.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

ScopedCLocale::ScopedCLocale() : previous_(uselocale(Get())) {}

ScopedCLocale::~ScopedCLocale() { uselocale(previous_); }

}  // namespace kiv
