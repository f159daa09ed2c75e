#pragma once
// Command-line options of one subcommand, declared once in a table: parsing,
// the validation messages and `--help` all follow from it.
//
//   CommandDef def{"kmeans", "Unsupervised K-Means classification.",
//                    {{"IN", "input image"}, {"OUT", "classified image"}},
//                    {IntOption("classes", "K", "number of classes").Default("6").Range(1, 255),
//                     IntListOption("bands", "LIST", "bands to use, e.g. 1,2,3").Min(1),
//                     FlagOption("quiet", "no progress bar")}};
//   ParsedOptions o = ParseOptions(def, args); // throws UsageError
//   o.Int("classes"); o.IntList("bands"); o.Positional(0);

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

enum class OptionKind { Int, Double, String, Flag, IntList };

// What a file argument or option names, for front ends that build their own
// forms from `--json-usage` (the QGIS provider): whether the command reads or
// writes it, and what it holds.
enum class FileRole { None, Input, Output };
enum class FileKind { None, Raster, Vector, RasterOrVector, Samples, Csv, Text, Json, Model, Aoi, Folder };
struct FileSpec {
    FileRole role = FileRole::None;
    FileKind kind = FileKind::None;
};

// One `--name VALUE` option.
struct OptionDef {
    std::string name; // without the leading "--"
    OptionKind kind = OptionKind::String;
    std::string placeholder;          // shown in --help: "--classes K"; unused for flags
    std::string help;                 // one line
    std::string defaultText;          // parsed like a command-line value; empty: no default
    std::optional<double> min, max;   // for Int, Double and each IntList element
    bool minExcluded = false;         // min itself refused
    std::vector<std::string> choices; // String: the accepted values; empty: any text
    bool required = false;
    bool repeatable = false; // a String option given any number of times: ParsedOptions::Strings
    FileSpec file;           // a String option naming a file

    OptionDef Default(std::string text) const;
    OptionDef Min(double value) const;
    OptionDef Max(double value) const;
    OptionDef Range(double lo, double hi) const { return Min(lo).Max(hi); }
    OptionDef Required() const;
    OptionDef Repeatable() const;
    OptionDef Choices(std::vector<std::string> values) const;
    OptionDef Reads(FileKind kind) const;
    OptionDef Writes(FileKind kind) const;
};

OptionDef IntOption(std::string name, std::string placeholder, std::string help);
OptionDef DoubleOption(std::string name, std::string placeholder, std::string help);
OptionDef StringOption(std::string name, std::string placeholder, std::string help);
OptionDef FlagOption(std::string name, std::string help);
OptionDef IntListOption(std::string name, std::string placeholder, std::string help);

// A positional argument; optional ones come after the required ones.
struct PositionalDef {
    std::string name; // "OUT_DIR"
    std::string help;
    bool required = true;
    FileSpec file;
};
PositionalDef InputArg(std::string name, std::string help, FileKind kind);
PositionalDef OutputArg(std::string name, std::string help, FileKind kind);

// Options that apply when the selector option has one value: the options
// of one method of `tessera classify`.
struct OptionGroup {
    std::string value; // "svm"
    std::vector<OptionDef> options;
    std::string summary; // one line: what the value chooses
};

// The option table of one subcommand.
struct CommandDef {
    std::string name;    // "synth"
    std::string summary; // one line, shown by `tessera --help` and at the top of the command's help
    std::vector<PositionalDef> positionals;
    std::vector<OptionDef> options;
    std::string details; // optional paragraph at the end of the help
    // With groups: the option (of `options`, with the groups' values as its
    // choices) whose value chooses the group of further options that apply.
    // An option of another group is refused.
    std::string selector;
    std::vector<OptionGroup> groups;
    // Standard output carries the command's result (a table), not a summary line.
    bool printsResult = false;
};

// A command line the table refuses. The message names the option and the
// value and says what was expected; the caller prefixes "tessera <command>: ".
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The values of one parsed command line. Asking for an option the table does
// not declare, with the wrong kind, or without a value (not given and no
// default) is a programming error: std::logic_error.
class ParsedOptions {
public:
    using Value = std::variant<std::int64_t, double, std::string, bool, std::vector<std::int64_t>,
                               std::vector<std::string>>;

    bool HelpRequested() const { return m_help; }
    // True when the option was on the command line (not just defaulted).
    bool Given(const std::string& name) const;
    // True when the option has a value, given or default.
    bool Has(const std::string& name) const;

    std::int64_t Int(const std::string& name) const;
    double Double(const std::string& name) const;
    const std::string& String(const std::string& name) const;
    bool Flag(const std::string& name) const;
    const std::vector<std::int64_t>& IntList(const std::string& name) const;
    // Every value of a repeatable option, in command-line order (empty: none given).
    const std::vector<std::string>& Strings(const std::string& name) const;

    size_t PositionalCount() const { return m_positionals.size(); }
    const std::string& Positional(size_t index) const;

private:
    friend ParsedOptions ParseOptions(const CommandDef&, const std::vector<std::string>&);
    // The options of def alone; grouped: the whole table, for the messages.
    static ParsedOptions parse(const CommandDef& def, const std::vector<std::string>& args,
                               const CommandDef* grouped);
    struct Entry {
        std::string name;
        OptionKind kind;
        std::optional<Value> value;
        bool given = false;
    };
    const Entry& entry(const std::string& name, OptionKind kind) const;

    std::vector<Entry> m_entries;
    std::vector<std::string> m_positionals;
    bool m_help = false;
};

// Parses the arguments after the subcommand name. `-h`/`--help` anywhere
// gives HelpRequested() and skips every other check. Options take their value
// as `--name VALUE` or `--name=VALUE`; `--` ends the options. Throws
// UsageError for anything the table refuses; a malformed table (a default
// that does not parse) throws std::logic_error.
ParsedOptions ParseOptions(const CommandDef& def, const std::vector<std::string>& args);

// The `--help` text of a subcommand, generated from its table.
std::string FormatHelp(const CommandDef& def);

// "tessera <name> ARGS... [options]"
std::string FormatUsageLine(const CommandDef& def);

// The table as JSON for other front ends (`tessera <command> --json-usage`):
// name, summary, details, arguments and options with their type, default,
// range, choices, help and file role, and the groups of a selector.
std::string FormatJsonUsage(const CommandDef& def);
