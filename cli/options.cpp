#include "cli/options.h"

#include "processing/paramdecl.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

namespace {

OptionDef makeOption(std::string name, OptionKind kind, std::string placeholder, std::string help) {
    OptionDef o;
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

// Whole numbers are checked against their declared range before any narrowing; a
// bound not declared is the one of the int the commands narrow to.
void checkIntRange(const OptionDef& o, std::int64_t value, const std::string& text, const char* what) {
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    OptionDef bounded = o;
    if (!bounded.min)
        bounded.min = lowest;
    if (!bounded.max)
        bounded.max = highest;
    // Compared exactly: a 64-bit value beyond 2^53 does not round into range.
    const auto below = [&](double bound) {
        return bound > 9.2e18 || (bound >= -9.2e18 && value < static_cast<std::int64_t>(std::ceil(bound)));
    };
    const auto above = [&](double bound) {
        return bound < -9.2e18 || (bound <= 9.2e18 && value > static_cast<std::int64_t>(std::floor(bound)));
    };
    if (bounded.minExcluded ? !above(*bounded.min) : below(*bounded.min))
        throw UsageError("--" + o.name + what +
                         (bounded.minExcluded ? " must be greater than " : " must be at least ") +
                         numberText(*bounded.min, o.kind) + " (got " + text + ")");
    if (above(*bounded.max))
        throw UsageError("--" + o.name + what + " must be at most " + numberText(*bounded.max, o.kind) +
                         " (got " + text + ")");
}

void checkRange(const OptionDef& o, double value, const std::string& text, const char* what) {
    if (o.min && o.minExcluded && value <= *o.min)
        throw UsageError("--" + o.name + what + " must be greater than " + numberText(*o.min, o.kind) +
                         " (got " + text + ")");
    if (o.min && value < *o.min)
        throw UsageError("--" + o.name + what + " must be at least " + numberText(*o.min, o.kind) + " (got " +
                         text + ")");
    if (o.max && value > *o.max)
        throw UsageError("--" + o.name + what + " must be at most " + numberText(*o.max, o.kind) + " (got " +
                         text + ")");
}

// Converts one value text as the option's kind asks and checks its range.
ParsedOptions::Value parseValue(const OptionDef& o, const std::string& text) {
    switch (o.kind) {
    case OptionKind::Int: {
        std::int64_t v = 0;
        if (!parseInt(text, v))
            throw UsageError("--" + o.name + " expects a whole number (got '" + text + "')");
        checkIntRange(o, v, text, "");
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
        if (text.empty())
            throw UsageError("--" + o.name + " must not be empty (" + o.placeholder + ")");
        if (!o.choices.empty() && std::find(o.choices.begin(), o.choices.end(), text) == o.choices.end())
            throw UsageError("--" + o.name + " must be " + tessera::JoinChoices(o.choices) + " (got '" +
                             text + "')");
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
            checkIntRange(o, v, item, " values");
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

OptionDef OptionDef::Default(std::string text) const {
    OptionDef o = *this;
    o.defaultText = std::move(text);
    return o;
}

OptionDef OptionDef::Min(double value) const {
    OptionDef o = *this;
    o.min = value;
    return o;
}

OptionDef OptionDef::Max(double value) const {
    OptionDef o = *this;
    o.max = value;
    return o;
}

OptionDef OptionDef::Required() const {
    OptionDef o = *this;
    o.required = true;
    return o;
}

OptionDef OptionDef::Repeatable() const {
    OptionDef o = *this;
    o.repeatable = true;
    return o;
}

OptionDef OptionDef::Choices(std::vector<std::string> values) const {
    OptionDef o = *this;
    o.choices = std::move(values);
    return o;
}

OptionDef OptionDef::Reads(FileKind kind) const {
    OptionDef o = *this;
    o.file = {FileRole::Input, kind};
    return o;
}

OptionDef OptionDef::Writes(FileKind kind) const {
    OptionDef o = *this;
    o.file = {FileRole::Output, kind};
    return o;
}

PositionalDef InputArg(std::string name, std::string help, FileKind kind) {
    return {std::move(name), std::move(help), true, {FileRole::Input, kind}};
}

PositionalDef OutputArg(std::string name, std::string help, FileKind kind) {
    return {std::move(name), std::move(help), true, {FileRole::Output, kind}};
}

OptionDef IntOption(std::string name, std::string placeholder, std::string help) {
    return makeOption(std::move(name), OptionKind::Int, std::move(placeholder), std::move(help));
}

OptionDef DoubleOption(std::string name, std::string placeholder, std::string help) {
    return makeOption(std::move(name), OptionKind::Double, std::move(placeholder), std::move(help));
}

OptionDef StringOption(std::string name, std::string placeholder, std::string help) {
    return makeOption(std::move(name), OptionKind::String, std::move(placeholder), std::move(help));
}

OptionDef FlagOption(std::string name, std::string help) {
    return makeOption(std::move(name), OptionKind::Flag, "", std::move(help));
}

OptionDef IntListOption(std::string name, std::string placeholder, std::string help) {
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

const std::vector<std::string>& ParsedOptions::Strings(const std::string& name) const {
    const Value& value = *entry(name, OptionKind::String).value;
    if (!std::holds_alternative<std::vector<std::string>>(value))
        throw std::logic_error("option --" + name + " is not repeatable");
    return std::get<std::vector<std::string>>(value);
}

const std::string& ParsedOptions::Positional(size_t index) const {
    if (index >= m_positionals.size())
        throw std::logic_error("positional argument " + std::to_string(index) + " is missing");
    return m_positionals[index];
}

namespace {

// The value of `--name VALUE` or `--name=VALUE` before any "--", if given.
std::optional<std::string> findValue(const std::vector<std::string>& args, const std::string& name) {
    for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--" + name && i + 1 < args.size())
            return args[i + 1];
        if (args[i].rfind("--" + name + "=", 0) == 0)
            return args[i].substr(name.size() + 3);
    }
    return std::nullopt;
}

const OptionGroup* findGroup(const CommandDef& def, const std::string& value) {
    for (const OptionGroup& g : def.groups)
        if (g.value == value)
            return &g;
    return nullptr;
}

} // namespace

ParsedOptions ParsedOptions::parse(const CommandDef& def, const std::vector<std::string>& args,
                                   const CommandDef* grouped) {
    ParsedOptions parsed;
    for (const OptionDef& o : def.options) {
        ParsedOptions::Entry e{o.name, o.kind, std::nullopt, false};
        if (o.kind == OptionKind::Flag)
            e.value = false;
        else if (o.repeatable)
            e.value = std::vector<std::string>{};
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

    const std::string seeHelp = " (see 'tessera " + def.name + " --help')";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-' ||
            (a[1] != '-' && !std::isalpha(static_cast<unsigned char>(a[1])))) {
            // Not an option: a positional (a lone "-" and negative numbers included).
            if (parsed.m_positionals.size() >= def.positionals.size())
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
        while (index < def.options.size() && def.options[index].name != name)
            ++index;
        if (index == def.options.size()) {
            if (grouped)
                for (const OptionGroup& g : grouped->groups)
                    for (const OptionDef& other : g.options)
                        if (other.name == name)
                            throw UsageError("--" + name + " does not apply to --" + grouped->selector + " " +
                                             findValue(args, grouped->selector).value_or("") + seeHelp);
            throw UsageError("unknown option --" + name + seeHelp);
        }
        const OptionDef& o = def.options[index];
        ParsedOptions::Entry& e = parsed.m_entries[index];
        if (e.given && !o.repeatable)
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
        if (o.repeatable)
            std::get<std::vector<std::string>>(*e.value).push_back(
                std::get<std::string>(parseValue(o, text)));
        else
            e.value = parseValue(o, text);
    }

    for (size_t i = parsed.m_positionals.size(); i < def.positionals.size(); ++i)
        if (def.positionals[i].required)
            throw UsageError("missing " + def.positionals[i].name + seeHelp);
    for (size_t i = 0; i < def.options.size(); ++i)
        if (def.options[i].required && !parsed.m_entries[i].given)
            throw UsageError("--" + def.options[i].name + " is required" + seeHelp);
    return parsed;
}

ParsedOptions ParseOptions(const CommandDef& def, const std::vector<std::string>& args) {
    if (def.groups.empty())
        return ParsedOptions::parse(def, args, nullptr);
    // The options that apply: the common ones and the chosen group's. A
    // missing or unknown selector is reported by the flat parse.
    CommandDef effective = def;
    effective.groups.clear();
    const std::optional<std::string> chosen = findValue(args, def.selector);
    if (const OptionGroup* group = chosen ? findGroup(def, *chosen) : nullptr)
        effective.options.insert(effective.options.end(), group->options.begin(), group->options.end());
    return ParsedOptions::parse(effective, args, &def);
}

std::string FormatUsageLine(const CommandDef& def) {
    std::string line = "tessera " + def.name;
    for (const PositionalDef& p : def.positionals)
        line += p.required ? " " + p.name : " [" + p.name + "]";
    for (const OptionDef& o : def.options)
        if (o.required)
            line += " --" + o.name + " " + o.placeholder;
    line += " [options]";
    return line;
}

std::string FormatHelp(const CommandDef& def) {
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

    out << "Usage: " << FormatUsageLine(def) << "\n\n" << def.summary << "\n";
    if (!def.positionals.empty()) {
        out << "\nArguments:\n";
        for (const PositionalDef& p : def.positionals)
            row(p.name, p.help + (p.required ? "" : " (optional)"));
    }
    out << "\nOptions:\n";
    const auto optionRow = [&](const OptionDef& o) {
        const std::string left = "--" + o.name + (o.kind == OptionKind::Flag ? "" : " " + o.placeholder);
        std::string notes;
        auto note = [&](const std::string& n) { notes += (notes.empty() ? "" : "; ") + n; };
        if (o.required)
            note("required");
        if (o.repeatable)
            note("repeatable");
        if (!o.choices.empty())
            note(tessera::JoinChoices(o.choices));
        if (!o.defaultText.empty())
            note("default " + o.defaultText);
        const char* each = o.kind == OptionKind::IntList ? "each " : "";
        if (o.min && o.minExcluded)
            note(std::string(each) + "greater than " + numberText(*o.min, o.kind));
        else if (o.min && o.max)
            note(std::string(each) + numberText(*o.min, o.kind) + " to " + numberText(*o.max, o.kind));
        else if (o.min)
            note(std::string(each) + "at least " + numberText(*o.min, o.kind));
        else if (o.max)
            note(std::string(each) + "at most " + numberText(*o.max, o.kind));
        row(left, o.help + (notes.empty() ? "" : " (" + notes + ")"));
    };
    for (const OptionDef& o : def.options)
        optionRow(o);
    row("-h, --help", "show this help");
    for (const OptionGroup& g : def.groups) {
        out << "\nOptions of --" << def.selector << " " << g.value << ":\n";
        for (const OptionDef& o : g.options)
            optionRow(o);
    }
    if (!def.details.empty())
        out << "\n" << def.details << "\n";
    return out.str();
}

namespace {

nlohmann::json fileJson(const FileSpec& file) {
    static const char* const kinds[] = {"",        "raster", "vector", "raster-or-vector",
                                        "samples", "csv",    "text",   "json",
                                        "model",   "aoi",    "folder"};
    if (file.role == FileRole::None)
        return nullptr;
    return {{"role", file.role == FileRole::Input ? "input" : "output"},
            {"kind", kinds[static_cast<int>(file.kind)]}};
}

nlohmann::json optionJson(const OptionDef& o) {
    static const char* const types[] = {"int", "double", "string", "flag", "int-list"};
    const auto bound = [](const std::optional<double>& v) { return v ? nlohmann::json(*v) : nullptr; };
    return {{"name", o.name},
            {"type", types[static_cast<int>(o.kind)]},
            {"placeholder", o.placeholder},
            {"help", o.help},
            {"default", o.defaultText.empty() ? nlohmann::json(nullptr) : nlohmann::json(o.defaultText)},
            {"min", bound(o.min)},
            {"max", bound(o.max)},
            {"min_excluded", o.minExcluded},
            {"choices", o.choices},
            {"required", o.required},
            {"repeatable", o.repeatable},
            {"file", fileJson(o.file)}};
}

nlohmann::json jsonUsage(const CommandDef& def) {
    nlohmann::json arguments = nlohmann::json::array(), options = nlohmann::json::array(),
                   groups = nlohmann::json::array();
    for (const PositionalDef& p : def.positionals)
        arguments.push_back(
            {{"name", p.name}, {"help", p.help}, {"required", p.required}, {"file", fileJson(p.file)}});
    for (const OptionDef& o : def.options)
        options.push_back(optionJson(o));
    for (const OptionGroup& g : def.groups) {
        nlohmann::json groupOptions = nlohmann::json::array();
        for (const OptionDef& o : g.options)
            groupOptions.push_back(optionJson(o));
        groups.push_back({{"value", g.value}, {"summary", g.summary}, {"options", std::move(groupOptions)}});
    }
    return {{"name", def.name},
            {"summary", def.summary},
            {"details", def.details},
            {"usage", FormatUsageLine(def)},
            {"arguments", std::move(arguments)},
            {"options", std::move(options)},
            {"selector", def.selector},
            {"groups", std::move(groups)},
            {"prints_result", def.printsResult}};
}

} // namespace

std::string FormatJsonUsage(const CommandDef& def) {
    return jsonUsage(def).dump(2) + "\n";
}
