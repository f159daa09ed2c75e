#pragma once
// The pieces of JSON text the reports and the command line write, defined
// once: quoted strings and numbers that read back exactly.

#include <optional>
#include <string>

namespace JsonText {

// The UTF-8 text quoted, with quotes, backslashes and control characters escaped.
std::string String(const std::string& utf8);
std::string String(const std::wstring& text);
// The shortest text that reads back as the same double; null when not finite.
std::string Number(double value);
std::string Number(const std::optional<double>& value);

} // namespace JsonText
