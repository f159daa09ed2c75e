#include "base/textnumber.h"

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <locale.h>

namespace tessera {

int TextToInt(const std::wstring& text) {
    const long value = std::wcstol(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

double TextToDouble(const std::wstring& text) {
    // The host may run in a locale with a decimal comma; the fields use ".".
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    if (cLocale)
        return wcstod_l(text.c_str(), nullptr, cLocale);
    return std::wcstod(text.c_str(), nullptr);
}

} // namespace tessera
