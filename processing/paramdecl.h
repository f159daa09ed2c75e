#pragma once
// Each algorithm declares its numeric parameters once, beside its record:
// the name the command line gives them, a help line, the default (the
// record's own initial value), the range or the choices. The window's initial
// texts, the command line's options and --help, and the algorithm's own check
// all read that declaration, so none of them can drift from the others.
//
//   const ParamTable<KMeanClassifyParam>& KMeansParameters() {
//       static const auto table = ParamTable<KMeanClassifyParam>()
//           .Add("classes", &KMeanClassifyParam::m_classCount, "K", "number of classes").Range(1, 65535)
//           .Add(...);
//       return table;
//   }

#include <cmath>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessera {

enum class ParamType { Integer, Real, Choice };

// One named value of a Choice parameter.
struct ParamChoice {
    std::string name;
    int value = 0;
};

// A parameter as every front end sees it, without its record.
struct ParamInfo {
    std::string name; // "classes"
    ParamType type = ParamType::Real;
    std::string placeholder; // "K"
    std::string help;        // one line
    double defaultValue = 0;
    std::optional<double> min, max; // included, but for min when minExcluded
    bool minExcluded = false;
    std::vector<ParamChoice> choices;
    std::optional<ParamChoice> keyword; // a word that stands for a number (gamma "auto" for 0)

    // The default as a user types it: "5", "0.05", "linear".
    std::string DefaultText() const;
    // The name of a choice value, or empty.
    std::string ChoiceName(double value) const;
    // Empty when the value is one the parameter accepts; otherwise a one-line
    // reason naming the parameter, the accepted values and the value given.
    std::string Check(double value) const;
};

// "a, b or c": the choices as messages and help list them.
std::string JoinChoices(const std::vector<std::string>& names);

// The shortest text of a number that reads back as the same double: "0.05", "1", "1e-06".
std::string ParamNumberText(double value);

template <class Record> class ParamTable {
public:
    template <class Field>
    ParamTable&& Add(std::string name, Field Record::*field, std::string placeholder, std::string help) && {
        add(std::move(name), field, std::move(placeholder), std::move(help));
        return std::move(*this);
    }
    template <class Field>
    ParamTable& Add(std::string name, Field Record::*field, std::string placeholder, std::string help) & {
        add(std::move(name), field, std::move(placeholder), std::move(help));
        return *this;
    }
    // Range, choices and default of the parameter added last.
    ParamTable&& Range(double lo, double hi) && { return std::move(Range(lo, hi)); }
    ParamTable& Range(double lo, double hi) & {
        last().min = lo;
        last().max = hi;
        return *this;
    }
    ParamTable&& Min(double lo) && { return std::move(Min(lo)); }
    ParamTable& Min(double lo) & {
        last().min = lo;
        return *this;
    }
    ParamTable&& MinExcluded(double lo) && { return std::move(MinExcluded(lo)); }
    ParamTable& MinExcluded(double lo) & {
        last().min = lo;
        last().minExcluded = true;
        return *this;
    }
    ParamTable&& Choices(std::vector<ParamChoice> choices) && {
        return std::move(Choices(std::move(choices)));
    }
    ParamTable& Choices(std::vector<ParamChoice> choices) & {
        last().type = ParamType::Choice;
        last().choices = std::move(choices);
        return *this;
    }
    // A word a user may give instead of the number it stands for.
    ParamTable&& Keyword(std::string word, int value) && {
        return std::move(Keyword(std::move(word), value));
    }
    ParamTable& Keyword(std::string word, int value) & {
        last().keyword = ParamChoice{std::move(word), value};
        return *this;
    }
    // A default other than the record's (a method that starts elsewhere).
    ParamTable&& Default(double value) && { return std::move(Default(value)); }
    ParamTable& Default(double value) & {
        last().defaultValue = value;
        return *this;
    }

    const std::vector<ParamInfo>& Infos() const { return m_infos; }
    const ParamInfo& Info(const std::string& name) const { return m_infos[indexOf(name)]; }

    double Get(const Record& record, const std::string& name) const { return m_get[indexOf(name)](record); }
    void Set(Record& record, const std::string& name, double value) const {
        m_set[indexOf(name)](record, value);
    }

    // Every declared field of the record checked: empty, or the first problem.
    std::string Validate(const Record& record) const {
        for (size_t i = 0; i < m_infos.size(); ++i)
            if (std::string problem = m_infos[i].Check(m_get[i](record)); !problem.empty())
                return problem;
        return {};
    }

private:
    template <class Field>
    void add(std::string name, Field Record::*field, std::string placeholder, std::string help) {
        static_assert(std::is_arithmetic_v<Field>, "declared parameters are numbers");
        ParamInfo info;
        info.name = std::move(name);
        info.type = std::is_floating_point_v<Field> ? ParamType::Real : ParamType::Integer;
        info.placeholder = std::move(placeholder);
        info.help = std::move(help);
        info.defaultValue = static_cast<double>(Record{}.*field);
        m_infos.push_back(std::move(info));
        m_get.push_back([field](const Record& r) { return static_cast<double>(r.*field); });
        m_set.push_back([field](Record& r, double v) { r.*field = static_cast<Field>(v); });
    }
    ParamInfo& last() {
        if (m_infos.empty())
            throw std::logic_error("no parameter declared yet");
        return m_infos.back();
    }
    size_t indexOf(const std::string& name) const {
        for (size_t i = 0; i < m_infos.size(); ++i)
            if (m_infos[i].name == name)
                return i;
        throw std::logic_error("no parameter named " + name);
    }

    std::vector<ParamInfo> m_infos;
    std::vector<std::function<double(const Record&)>> m_get;
    std::vector<std::function<void(Record&, double)>> m_set;
};

} // namespace tessera
