#include "cli/subcommands.h"

#include <gdal.h>

#include <algorithm>
#include <ostream>
#include <sstream>

const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> all = {
        KMeansSubcommand(),   IsodataSubcommand(),    ClassifySubcommand(), SamplesSubcommand(),
        AccuracySubcommand(), MergeSubcommand(),      SieveSubcommand(),    ClumpSubcommand(),
        StatsSubcommand(),    PolygonizeSubcommand(), SynthSubcommand(),    DemoSubcommand(),
    };
    return all;
}

const Subcommand* FindSubcommand(const std::string& name) {
    for (const Subcommand& s : Subcommands())
        if (s.def.name == name)
            return &s;
    return nullptr;
}

std::string FormatToolHelp() {
    std::ostringstream out;
    out << "Usage: tessera <command> [arguments] [options]\n\n"
           "Classifies remote-sensing images without a display.\n\nCommands:\n";
    size_t width = 0;
    for (const Subcommand& s : Subcommands())
        width = std::max(width, s.def.name.size());
    for (const Subcommand& s : Subcommands())
        out << "  " << s.def.name << std::string(width + 3 - s.def.name.size(), ' ') << s.def.summary << "\n";
    out << "\n'tessera --version' prints the version; 'tessera <command> --help' describes a command's "
           "arguments and options.\n"
           "Exit codes: 0 success, 1 the command failed, 2 the command line was refused.\n";
    return out.str();
}

namespace {

// One line: newlines inside a message would break the one-line contract.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "tessera: missing command (see 'tessera --help')\n";
        return kExitUsage;
    }
    const std::string& name = args[0];
    if (name == "-h" || name == "--help" || name == "help") {
        out << FormatToolHelp();
        return kExitOk;
    }
    if (name == "--version") {
        out << "tessera " << TESSERA_VERSION << " (GDAL " << GDALVersionInfo("RELEASE_NAME") << ")\n";
        return kExitOk;
    }
    const Subcommand* command = FindSubcommand(name);
    if (!command) {
        err << "tessera: unknown command '" << oneLine(name) << "' (see 'tessera --help')\n";
        return kExitUsage;
    }
    const std::string prefix = "tessera " + name + ": ";
    try {
        const ParsedOptions options = ParseOptions(command->def, {args.begin() + 1, args.end()});
        if (options.HelpRequested()) {
            out << FormatHelp(command->def);
            return kExitOk;
        }
        CommandContext context{out};
        return command->run(options, context);
    } catch (const UsageError& e) {
        err << prefix << oneLine(e.what()) << "\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        err << prefix << oneLine(e.what()) << "\n";
        return kExitFailure;
    }
}
