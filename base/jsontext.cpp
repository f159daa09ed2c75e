#include "base/jsontext.h"

#include "base/commonfun.h"

#include <charconv>
#include <cmath>

namespace JsonText {

std::string String(const std::string& utf8) {
    static const char* const hex = "0123456789abcdef";
    std::string out = "\"";
    for (const unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string String(const std::wstring& text) { return String(CommonFun::U2M(text)); }

std::string Number(double value) {
    if (!std::isfinite(value))
        return "null";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value); // shortest round trip, "."
    return std::string(buffer, result.ptr);
}

std::string Number(const std::optional<double>& value) { return value ? Number(*value) : "null"; }

} // namespace JsonText
