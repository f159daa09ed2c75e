#pragma once
// The subcommands of `tessera`: each one is its option table and a run
// function, defined in its own cmd_<name>.cpp and listed once in
// subcommands.cpp. The dispatcher parses the command line through the table,
// calls run, and turns errors into a one-line message and an exit code.

#include "cli/options.h"

#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

// Exit codes of the tool.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // the command ran and failed (a file, the data)
constexpr int kExitUsage = 2;   // the command line was refused

// What a run function may use besides its options: `out` for its result (a
// one-line summary). Progress goes to stderr through TextProgress.
struct CommandContext {
    std::ostream& out;
};

// A run function returns kExitOk, or throws: UsageError for a value the table
// cannot check (options that exclude each other, ...) and any other
// std::exception for a failure while running. The message is one line,
// without the "tessera <name>: " prefix.
using RunFunction = std::function<int(const ParsedOptions& options, CommandContext& context)>;

// A file a command line names (or implies: an image's .acf) and what it is to
// the command, for the messages: "the output image", "the sample file".
struct CommandFile {
    std::string path;
    std::string what;
};
// The files a command reads and the files it writes.
struct CommandFiles {
    std::vector<CommandFile> reads, writes;
};
using FilesFunction = std::function<CommandFiles(const ParsedOptions& options)>;

struct Subcommand {
    CommandDef def; // name, one-line summary, arguments and options
    RunFunction run;
    // Files the command line implies beyond those its table declares (see
    // DeclaredFiles); null when there are none.
    FilesFunction moreFiles = nullptr;
    // Every output of the run is staged in one formatio::OutputSet and moved
    // into place when the run has succeeded (false for demo, whose later
    // steps read what the earlier ones wrote).
    bool staged = true;
};

// The files a command line names through the file roles its table declares,
// with what each brings beside it: an input image its .acf, an output image
// its .acf and .aux.xml, a shapefile its parts. Checked before the command runs.
CommandFiles DeclaredFiles(const CommandDef& def, const ParsedOptions& options);

// Refuses (UsageError) a command line whose written files include a file it
// reads or the same file twice: by device and inode for files that exist, by
// normalised absolute path for those that do not.
void CheckFileRoles(const CommandFiles& files);

// Whether SIGINT, SIGTERM or SIGHUP came during the current command; the
// commands stop at their next check and leave every earlier output as it was.
bool Interrupted();
// The tool's main installs the handlers for the life of the process, so that
// a signal after the last output has moved into place still ends in exit 0.
void InstallSignalHandlersForLife();

// Every subcommand, in the order `tessera --help` lists them.
const std::vector<Subcommand>& Subcommands();
// The subcommand of that name, or null.
const Subcommand* FindSubcommand(const std::string& name);

// One factory per cmd_<name>.cpp.
Subcommand SynthSubcommand();
Subcommand KMeansSubcommand();
Subcommand IsodataSubcommand();
Subcommand ClassifySubcommand();
Subcommand DemoSubcommand();
Subcommand SamplesSubcommand();
Subcommand AccuracySubcommand();
Subcommand MergeSubcommand();
Subcommand SieveSubcommand();
Subcommand ClumpSubcommand();
Subcommand StatsSubcommand();
Subcommand PolygonizeSubcommand();

// The whole tool: args are argv[1..]. Help and results go to out, the
// one-line errors to err; returns the exit code.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tessera --help`.
std::string FormatToolHelp();
// `tessera --json-usage`: the tool's version and every command's table as JSON.
std::string FormatToolJsonUsage();
