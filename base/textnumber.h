#pragma once
// Numbers typed into parameter fields.

#include <string>

namespace tessera {

// Decimal conversions of the C library: leading blanks skipped, conversion
// stops at the first character that does not fit, no number gives 0. Reals
// always read "." as the decimal point, whatever the user's locale. Integers
// beyond the int range saturate.
int TextToInt(const std::wstring& text);
double TextToDouble(const std::wstring& text);

} // namespace tessera
