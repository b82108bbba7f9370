// Lengths in text fields: shown in the user's unit with the locale's decimal separator, read
// back, checked against limits in millimetres.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "forms/Forms.hpp"
#include "media/MenuTags.hpp"

namespace kiv {

// Millimetres per unit: points 25.4/72, inches 25.4, anything else 1.
double UnitFactor(int32_t unit);

enum FetchStatus { kFetchOK = 0, kFetchNotANumber = 1, kFetchOutOfRange = 2 };

// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), read without
// changing the process's locale; "." when that locale is not installed.
std::string UserDecimalSeparator();

// value with exactly min(decimals, 20) digits after the separator (none for decimals <= 0),
// no grouping, halves to even.
std::string FormatDecimalString(int decimals, double value);
void StuffDouble(forms::TextField &field, int decimals, double value);
// Shows a length in millimetres in the unit, with two decimals.
void StuffUnitNumber(forms::TextField &field, int32_t unit, double valueMM);

// Reads the field as one number in the user's locale, surrounding white space allowed.
FetchStatus FetchDouble(const forms::TextField &field, double &out, double min, double max);
// Reads a length in the unit within minMM … maxMM (note the order: maximum first). With beep,
// a failure sounds the alert and selects the field's text.
FetchStatus FetchUnitNumber(forms::TextField &field, int32_t unit, double &outMM, bool beep, double maxMM,
                            double minMM);
// True when the field holds text other than lastText (absent: always other) that reads as a
// length within the limits; then lastText and outMM take it.
bool FetchValue(forms::TextField &field, int32_t unit, double &outMM, std::optional<std::string> &lastText, bool beep,
                double minMM, double maxMM);
// The check at OK: a changed text must read within the limits as shown (widened by the
// display rounding); an unchanged one (absent lastText) is not read, the stored value is
// checked. On failure: alert, focus on the field, false. On success valueMM is clamped.
bool ValidateField(forms::TextField &field, int32_t unit, double &valueMM, std::optional<std::string> &lastText,
                   double minMM, double maxMM);

}  // namespace kiv
