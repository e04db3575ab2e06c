// The setup editor's numbers: raw integers of the setup image shown as decimal text and read
// back. "." is the decimal point whatever the process locale says.
#pragma once

#include <cstdint>
#include <string>

namespace s470 {

// value rounded half away from zero to `decimals` (0 to 5) places, as "%f" would print it after
// adding half a unit of the last place; a negative number that rounds to zero keeps its "-".
// Any other number of decimals gives an empty text.
std::string FormatFixed(float value, int decimals);

// The number a text begins with, read as C's atof does in the "C" locale: leading white space,
// optional sign, digits with an optional "." and fraction, an optional exponent. A text that does
// not begin with a number gives 0; a number too large for a double gives +-infinity.
double ParseLeadingNumber(const std::string& text);

// The integer a text begins with, read as C's atoi does: white space, optional sign, decimal
// digits. No digits give 0; digits beyond 32 bits wrap (only the low bits are ever kept).
int32_t ParseLeadingInteger(const std::string& text);

// Wide text to 8-bit, one character each (above 0xFF becomes "?"), as the Language DLL converts.
std::string NarrowText(const std::u16string& text);

// number x scale, rounded half away from zero (0.5 added at or above 0, subtracted below, the
// fraction dropped). Kept as a double so that range checks see the full value.
double RoundToRaw(double number, int32_t scale);

// A raw value of a channel record as the editor shows it for a resolution code: raw x 10^-d with
// d decimals (3, 4, 5 for codes 8, 16, 32); as a plain integer for any other code.
std::string FormatRaw(int32_t raw, uint8_t resolutionCode);

// The own scale of the general settings from an entered number: raw units of channel 1's
// resolution (raw integers for an unknown code), made positive, capped at 59999.
uint16_t OwnScaleFromNumber(double number, uint8_t resolutionCode);

}  // namespace s470
