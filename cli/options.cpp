#include "cli/options.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

OptionSpec makeOption(std::string name, OptionKind kind, std::string placeholder, std::string help) {
    OptionSpec o;
    o.name = std::move(name);
    o.kind = kind;
    o.placeholder = std::move(placeholder);
    o.help = std::move(help);
    return o;
}

// A range bound as the user would write it: integers without a decimal part.
std::string numberText(double value, OptionKind kind) {
    char buf[64];
    if (kind != OptionKind::Double && std::abs(value) < 9.2e18)
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value));
    else
        std::snprintf(buf, sizeof buf, "%.10g", value);
    return buf;
}

bool parseInt(const std::string& text, std::int64_t& out) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, last, out);
    return ec == std::errc() && end == last && first != last;
}

bool parseDouble(const std::string& text, double& out) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, last, out, std::chars_format::general);
    return ec == std::errc() && end == last && first != last && std::isfinite(out);
}

void checkRange(const OptionSpec& o, double value, const std::string& text, const char* what) {
    if (o.min && value < *o.min)
        throw UsageError("--" + o.name + what + " must be at least " + numberText(*o.min, o.kind) + " (got " +
                         text + ")");
    if (o.max && value > *o.max)
        throw UsageError("--" + o.name + what + " must be at most " + numberText(*o.max, o.kind) + " (got " +
                         text + ")");
}

// Converts one value text as the option's kind asks and checks its range.
ParsedOptions::Value parseValue(const OptionSpec& o, const std::string& text) {
    switch (o.kind) {
    case OptionKind::Int: {
        std::int64_t v = 0;
        if (!parseInt(text, v))
            throw UsageError("--" + o.name + " expects a whole number (got '" + text + "')");
        checkRange(o, static_cast<double>(v), text, "");
        return v;
    }
    case OptionKind::Double: {
        double v = 0;
        if (!parseDouble(text, v))
            throw UsageError("--" + o.name + " expects a number (got '" + text + "')");
        checkRange(o, v, text, "");
        return v;
    }
    case OptionKind::String:
        return text;
    case OptionKind::Flag:
        return true;
    case OptionKind::IntList: {
        std::vector<std::int64_t> list;
        size_t start = 0;
        while (true) {
            const size_t comma = text.find(',', start);
            const std::string item =
                text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            std::int64_t v = 0;
            if (!parseInt(item, v))
                throw UsageError("--" + o.name +
                                 " expects whole numbers separated by commas, like 1,2,3 (got '" + text +
                                 "')");
            checkRange(o, static_cast<double>(v), item, " values");
            list.push_back(v);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        return list;
    }
    }
    throw std::logic_error("unknown option kind");
}

const char* kindName(OptionKind kind) {
    switch (kind) {
    case OptionKind::Int:
        return "whole number";
    case OptionKind::Double:
        return "number";
    case OptionKind::String:
        return "text";
    case OptionKind::Flag:
        return "flag";
    case OptionKind::IntList:
        return "list";
    }
    return "?";
}

} // namespace

OptionSpec OptionSpec::Default(std::string text) const {
    OptionSpec o = *this;
    o.defaultText = std::move(text);
    return o;
}

OptionSpec OptionSpec::Min(double value) const {
    OptionSpec o = *this;
    o.min = value;
    return o;
}

OptionSpec OptionSpec::Max(double value) const {
    OptionSpec o = *this;
    o.max = value;
    return o;
}

OptionSpec OptionSpec::Required() const {
    OptionSpec o = *this;
    o.required = true;
    return o;
}

OptionSpec IntOption(std::string name, std::string placeholder, std::string help) {
    return makeOption(std::move(name), OptionKind::Int, std::move(placeholder), std::move(help));
}

OptionSpec DoubleOption(std::string name, std::string placeholder, std::string help) {
    return makeOption(std::move(name), OptionKind::Double, std::move(placeholder), std::move(help));
}

OptionSpec StringOption(std::string name, std::string placeholder, std::string help) {
    return makeOption(std::move(name), OptionKind::String, std::move(placeholder), std::move(help));
}

OptionSpec FlagOption(std::string name, std::string help) {
    return makeOption(std::move(name), OptionKind::Flag, "", std::move(help));
}

OptionSpec IntListOption(std::string name, std::string placeholder, std::string help) {
    return makeOption(std::move(name), OptionKind::IntList, std::move(placeholder), std::move(help));
}

bool ParsedOptions::Given(const std::string& name) const {
    for (const Entry& e : m_entries)
        if (e.name == name)
            return e.given;
    throw std::logic_error("option --" + name + " is not in the table");
}

bool ParsedOptions::Has(const std::string& name) const {
    for (const Entry& e : m_entries)
        if (e.name == name)
            return e.value.has_value();
    throw std::logic_error("option --" + name + " is not in the table");
}

const ParsedOptions::Entry& ParsedOptions::entry(const std::string& name, OptionKind kind) const {
    for (const Entry& e : m_entries) {
        if (e.name != name)
            continue;
        if (e.kind != kind)
            throw std::logic_error("option --" + name + " is not a " + kindName(kind));
        if (!e.value)
            throw std::logic_error("option --" + name + " has no value and no default");
        return e;
    }
    throw std::logic_error("option --" + name + " is not in the table");
}

std::int64_t ParsedOptions::Int(const std::string& name) const {
    return std::get<std::int64_t>(*entry(name, OptionKind::Int).value);
}

double ParsedOptions::Double(const std::string& name) const {
    return std::get<double>(*entry(name, OptionKind::Double).value);
}

const std::string& ParsedOptions::String(const std::string& name) const {
    return std::get<std::string>(*entry(name, OptionKind::String).value);
}

bool ParsedOptions::Flag(const std::string& name) const {
    for (const Entry& e : m_entries)
        if (e.name == name && e.kind == OptionKind::Flag)
            return e.given;
    entry(name, OptionKind::Flag); // throws the right logic_error
    return false;
}

const std::vector<std::int64_t>& ParsedOptions::IntList(const std::string& name) const {
    return std::get<std::vector<std::int64_t>>(*entry(name, OptionKind::IntList).value);
}

const std::string& ParsedOptions::Positional(size_t index) const {
    if (index >= m_positionals.size())
        throw std::logic_error("positional argument " + std::to_string(index) + " is missing");
    return m_positionals[index];
}

ParsedOptions ParseOptions(const CommandSpec& spec, const std::vector<std::string>& args) {
    ParsedOptions parsed;
    for (const OptionSpec& o : spec.options) {
        ParsedOptions::Entry e{o.name, o.kind, std::nullopt, false};
        if (o.kind == OptionKind::Flag)
            e.value = false;
        else if (!o.defaultText.empty()) {
            try {
                e.value = parseValue(o, o.defaultText);
            } catch (const UsageError& error) {
                throw std::logic_error("bad default of --" + o.name + ": " + error.what());
            }
        }
        parsed.m_entries.push_back(std::move(e));
    }

    bool optionsEnded = false;
    for (const std::string& a : args)
        if (a == "--")
            break;
        else if (a == "-h" || a == "--help") {
            parsed.m_help = true;
            return parsed;
        }

    const std::string seeHelp = " (see 'tessera " + spec.name + " --help')";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-' ||
            (a[1] != '-' && !std::isalpha(static_cast<unsigned char>(a[1])))) {
            // Not an option: a positional (a lone "-" and negative numbers included).
            if (parsed.m_positionals.size() >= spec.positionals.size())
                throw UsageError("unexpected argument '" + a + "'" + seeHelp);
            parsed.m_positionals.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a[1] != '-')
            throw UsageError("unknown option " + a + seeHelp);
        const size_t eq = a.find('=');
        const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        size_t index = 0;
        while (index < spec.options.size() && spec.options[index].name != name)
            ++index;
        if (index == spec.options.size())
            throw UsageError("unknown option --" + name + seeHelp);
        const OptionSpec& o = spec.options[index];
        ParsedOptions::Entry& e = parsed.m_entries[index];
        if (e.given)
            throw UsageError("--" + name + " is given more than once");
        e.given = true;
        if (o.kind == OptionKind::Flag) {
            if (eq != std::string::npos)
                throw UsageError("--" + name + " takes no value");
            e.value = true;
            continue;
        }
        std::string text;
        if (eq != std::string::npos)
            text = a.substr(eq + 1);
        else if (i + 1 < args.size())
            text = args[++i];
        else
            throw UsageError("--" + name + " needs a value (" + o.placeholder + ")");
        e.value = parseValue(o, text);
    }

    for (size_t i = parsed.m_positionals.size(); i < spec.positionals.size(); ++i)
        if (spec.positionals[i].required)
            throw UsageError("missing " + spec.positionals[i].name + seeHelp);
    for (size_t i = 0; i < spec.options.size(); ++i)
        if (spec.options[i].required && !parsed.m_entries[i].given)
            throw UsageError("--" + spec.options[i].name + " is required" + seeHelp);
    return parsed;
}

std::string FormatUsageLine(const CommandSpec& spec) {
    std::string line = "tessera " + spec.name;
    for (const PositionalSpec& p : spec.positionals)
        line += p.required ? " " + p.name : " [" + p.name + "]";
    for (const OptionSpec& o : spec.options)
        if (o.required)
            line += " --" + o.name + " " + o.placeholder;
    line += " [options]";
    return line;
}

std::string FormatHelp(const CommandSpec& spec) {
    constexpr size_t column = 28;
    std::ostringstream out;
    auto row = [&](const std::string& left, const std::string& text) {
        std::string line = "  " + left;
        if (line.size() + 2 > column)
            line += "\n" + std::string(column, ' ');
        else
            line += std::string(column - line.size(), ' ');
        out << line << text << "\n";
    };

    out << "Usage: " << FormatUsageLine(spec) << "\n\n" << spec.summary << "\n";
    if (!spec.positionals.empty()) {
        out << "\nArguments:\n";
        for (const PositionalSpec& p : spec.positionals)
            row(p.name, p.help + (p.required ? "" : " (optional)"));
    }
    out << "\nOptions:\n";
    for (const OptionSpec& o : spec.options) {
        const std::string left = "--" + o.name + (o.kind == OptionKind::Flag ? "" : " " + o.placeholder);
        std::string notes;
        auto note = [&](const std::string& n) { notes += (notes.empty() ? "" : "; ") + n; };
        if (o.required)
            note("required");
        if (!o.defaultText.empty())
            note("default " + o.defaultText);
        const char* each = o.kind == OptionKind::IntList ? "each " : "";
        if (o.min && o.max)
            note(std::string(each) + numberText(*o.min, o.kind) + " to " + numberText(*o.max, o.kind));
        else if (o.min)
            note(std::string(each) + "at least " + numberText(*o.min, o.kind));
        else if (o.max)
            note(std::string(each) + "at most " + numberText(*o.max, o.kind));
        row(left, o.help + (notes.empty() ? "" : " (" + notes + ")"));
    }
    row("-h, --help", "show this help");
    if (!spec.details.empty())
        out << "\n" << spec.details << "\n";
    return out.str();
}
