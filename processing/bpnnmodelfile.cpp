#include "processing/bpnnmodelfile.h"

#include "engine/formatio.h"

#include <cmath>
#include <cstdint>
#include <map>

namespace tessera {

namespace {

constexpr std::string_view kTag = "tessera-bpnn";
constexpr std::int32_t kVersion = 1;

// The keyword lines after the tag, in the order they are written.
constexpr std::string_view kKeys[] = {"bands", "classes", "hidden", "offset", "factor",
                                      "w1",    "b1",      "w2",     "b2"};

void appendLine(std::string& text, std::string_view key, const std::vector<double>& values) {
    text += key;
    for (double v : values) {
        text += ' ';
        text += formatio::FormatDouble(v);
    }
    text += '\n';
}

} // namespace

std::string FormatBpnnModelText(const BpnnModelText& model) {
    std::string text = std::string(kTag) + ' ' + std::to_string(kVersion) + '\n';
    for (const auto& [key, value] :
         {std::pair{"bands", model.bands}, {"classes", model.classes}, {"hidden", model.hidden}})
        text += std::string(key) + ' ' + std::to_string(value) + '\n';
    appendLine(text, "offset", model.offset);
    appendLine(text, "factor", model.factor);
    appendLine(text, "w1", model.w1);
    appendLine(text, "b1", model.b1);
    appendLine(text, "w2", model.w2);
    appendLine(text, "b2", model.b2);
    return text;
}

bool ParseBpnnModelText(std::string_view text, BpnnModelText& out, std::string& error) {
    bool terminated = false;
    const std::vector<std::string_view> lines = formatio::SplitLines(text, &terminated);
    auto fail = [&](std::size_t line, const std::string& what) {
        error = "line " + std::to_string(line + 1) + ": " + what;
        return false;
    };
    std::string_view rest;
    bool separated = false;
    if (lines.empty() || formatio::TakeWord(lines[0], rest, separated) != kTag) {
        error = "no \"" + std::string(kTag) + "\" first line: not a BP network model of this program";
        return false;
    }
    std::int32_t version = 0;
    if (!formatio::ParseInt32(rest, version) || version != kVersion)
        return fail(0, "format version \"" + formatio::EscapeText(rest.substr(0, 20)) +
                           "\" is not read by this program (it reads " + std::to_string(kVersion) + ")");

    // The writer ends every line: a file cut inside a number could read as another number.
    if (!terminated) {
        error = "the last line has no line end: a truncated file";
        return false;
    }

    // Keyword lines, each keyword once, in any order.
    std::map<std::string_view, std::pair<std::size_t, std::string_view>> given; // key: (line, values)
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view key = formatio::TakeWord(lines[i], rest, separated);
        bool known = false;
        for (std::string_view k : kKeys)
            known = known || k == key;
        if (!known)
            return fail(i, "unknown keyword \"" + formatio::EscapeText(key.substr(0, 40)) + "\"");
        if (!given.emplace(key, std::pair{i, rest}).second)
            return fail(i, std::string(key) + " is given twice");
    }
    for (std::string_view key : kKeys)
        if (!given.count(key)) {
            error = "no \"" + std::string(key) + "\" line: a truncated file";
            return false;
        }

    BpnnModelText model;
    for (auto [key, value, most] : {std::tuple{"bands", &model.bands, kBpnnMaxBands},
                                    {"classes", &model.classes, kBpnnMaxClasses},
                                    {"hidden", &model.hidden, kBpnnMaxHidden}}) {
        const auto& [line, field] = given[key];
        std::int32_t v = 0;
        if (!formatio::ParseInt32(field, v) || v < 1 || v > most)
            return fail(line, std::string(key) + " must be a whole number from 1 to " + std::to_string(most));
        *value = v;
    }
    const std::size_t bands = model.bands, classes = model.classes, hidden = model.hidden;
    for (auto [key, values, count, meaning] : {std::tuple{"offset", &model.offset, bands, "bands"},
                                               {"factor", &model.factor, bands, "bands"},
                                               {"w1", &model.w1, hidden * bands, "hidden * bands"},
                                               {"b1", &model.b1, hidden, "hidden"},
                                               {"w2", &model.w2, classes * hidden, "classes * hidden"},
                                               {"b2", &model.b2, classes, "classes"}}) {
        const auto& [line, field] = given[key];
        // The count of values before any is read: a count the line cannot hold allocates nothing.
        std::size_t found = field.empty() ? 0 : 1;
        for (char c : field)
            found += c == ' ';
        if (found != count)
            return fail(line, std::string(key) + " needs " + std::to_string(count) + " numbers (" + meaning +
                                  "), not " + std::to_string(found));
        values->resize(count);
        std::string_view remaining = field;
        for (double& v : *values) {
            const std::string_view word = formatio::TakeWord(remaining, remaining, separated);
            if (!formatio::ParseFiniteDouble(word, v) || std::fabs(v) > kBpnnMaxMagnitude)
                return fail(line, "a value of " + std::string(key) +
                                      " is not a finite number of at most 1e30 in size");
        }
    }
    out = std::move(model);
    return true;
}

} // namespace tessera
