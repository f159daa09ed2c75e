#include "processing/paramdecl.h"

#include <cstdio>
#include <cstdlib>

namespace tessera {

std::string ParamNumberText(double value) {
    char buf[32];
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", value);
        return buf;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, value);
        if (std::strtod(buf, nullptr) == value)
            break;
    }
    return buf;
}

std::string JoinChoices(const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return list;
}

std::string ParamInfo::DefaultText() const {
    return type == ParamType::Choice ? ChoiceName(defaultValue) : ParamNumberText(defaultValue);
}

std::string ParamInfo::ChoiceName(double value) const {
    for (const ParamChoice& c : choices)
        if (c.value == value)
            return c.name;
    return {};
}

std::string ParamInfo::Check(double value) const {
    const std::string got = " (got " + ParamNumberText(value) + ")";
    if (std::isnan(value))
        return name + " is not a number";
    if (type == ParamType::Choice) {
        if (!ChoiceName(value).empty())
            return {};
        std::vector<std::string> names;
        for (const ParamChoice& c : choices)
            names.push_back(c.name);
        return name + " must be " + JoinChoices(names) + got;
    }
    if (type == ParamType::Integer && value != std::floor(value))
        return name + " must be a whole number" + got;
    if (min && minExcluded && value <= *min)
        return name + " must be greater than " + ParamNumberText(*min) + got;
    if (min && max && (value < *min || value > *max))
        return name + " must be from " + ParamNumberText(*min) + " to " + ParamNumberText(*max) + got;
    if (min && value < *min)
        return name + " must be at least " + ParamNumberText(*min) + got;
    if (max && value > *max)
        return name + " must be at most " + ParamNumberText(*max) + got;
    return {};
}

} // namespace tessera
