// Numeric text fields with units, in the user's locale.
#include "NumericFields.hpp"

#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <stdlib.h>

#include "platform/CLocale.hpp"

namespace kiv {
namespace {

// The user's numeric locale, made from the environment; freed with the object.
class UserNumericLocale {
public:
    UserNumericLocale() : locale_(newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr))) {}
    ~UserNumericLocale() {
        if (locale_) freelocale(locale_);
    }
    UserNumericLocale(const UserNumericLocale &) = delete;
    UserNumericLocale &operator=(const UserNumericLocale &) = delete;
    locale_t get() const { return locale_ ? locale_ : ScopedCLocale::Get(); }

private:
    locale_t locale_;
};

// What a value shows as with two decimals, read back.
double AsDisplayed(double value) {
    char text[64];
    {
        ScopedCLocale c;
        std::snprintf(text, sizeof text, "%.2f", value);
    }
    return ::strtod_l(text, nullptr, ScopedCLocale::Get());
}

}  // namespace

double UnitFactor(int32_t unit) {
    switch (unit) {
    case kUnitPoints: return 25.4 / 72;
    case kUnitInches: return 25.4;
    default: return 1.0;
    }
}

std::string UserDecimalSeparator() {
    const UserNumericLocale locale;
    const char *radix = nl_langinfo_l(RADIXCHAR, locale.get());
    return radix && radix[0] ? radix : ".";
}

std::string FormatDecimalString(int decimals, double value) {
    const int digits = std::clamp(decimals, 0, 20);
    char text[400];
    {
        ScopedCLocale c;
        std::snprintf(text, sizeof text, "%.*f", digits, value);
    }
    std::string out(text);
    if (const auto dot = out.find('.'); dot != std::string::npos) out.replace(dot, 1, UserDecimalSeparator());
    return out;
}

void StuffDouble(forms::TextField &field, int decimals, double value) {
    field.SetText(FormatDecimalString(decimals, value));
}

void StuffUnitNumber(forms::TextField &field, int32_t unit, double valueMM) {
    StuffDouble(field, 2, valueMM / UnitFactor(unit));
}

FetchStatus FetchDouble(const forms::TextField &field, double &out, double min, double max) {
    out = 0.0;
    const std::string text = field.Text();
    const char *start = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*start))) ++start;
    // Only decimal notation: strtod would also take hexadecimal, "inf" and "nan".
    if (*start == '\0' || std::strpbrk(start, "xXnNiI")) return kFetchNotANumber;
    const UserNumericLocale locale;
    char *end = nullptr;
    const double value = ::strtod_l(start, &end, locale.get());
    if (end == start) return kFetchNotANumber;
    while (std::isspace(static_cast<unsigned char>(*end))) ++end;
    if (*end != '\0' || !std::isfinite(value)) return kFetchNotANumber;
    if (!(value >= min && value <= max)) return kFetchOutOfRange;
    out = value;
    return kFetchOK;
}

FetchStatus FetchUnitNumber(forms::TextField &field, int32_t unit, double &outMM, bool beep, double maxMM,
                            double minMM) {
    const double f = UnitFactor(unit);
    double value = 0;
    const FetchStatus status = FetchDouble(field, value, minMM / f - 0.000001, maxMM / f + 0.000001);
    outMM = status == kFetchOK ? value * f : 0.0;
    if (beep && status != kFetchOK) {
        forms::CurrentToolkit().Beep();
        field.SelectAll();
    }
    return status;
}

bool FetchValue(forms::TextField &field, int32_t unit, double &outMM, std::optional<std::string> &lastText, bool beep,
                double minMM, double maxMM) {
    const std::string text = field.Text();
    if (lastText && *lastText == text) return false;
    double value = 0;
    if (FetchUnitNumber(field, unit, value, beep, maxMM, minMM) != kFetchOK) return false;
    lastText = text;
    outMM = value;
    return true;
}

bool ValidateField(forms::TextField &field, int32_t unit, double &valueMM, std::optional<std::string> &lastText,
                   double minMM, double maxMM) {
    const double f = UnitFactor(unit);
    // A limit shown rounded (in inches, say) must not refuse its own displayed value.
    const double lo = std::min(minMM, f * AsDisplayed(minMM / f));
    const double hi = std::max(maxMM, f * AsDisplayed(maxMM / f));
    const bool changed = lastText && *lastText != field.Text();
    if (changed) {
        if (!FetchValue(field, unit, valueMM, lastText, true, lo, hi)) {
            field.BecomeFocus();
            return false;
        }
    } else if (!(valueMM >= lo && valueMM <= hi)) {
        forms::CurrentToolkit().Beep();
        field.BecomeFocus();
        return false;
    }
    valueMM = std::clamp(valueMM, minMM, maxMM);
    return true;
}

}  // namespace kiv
