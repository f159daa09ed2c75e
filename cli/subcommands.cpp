#include "cli/subcommands.h"

#include "base/commonfun.h"
#include "engine/classifiedassistantfile.h"
#include "engine/formatio.h"
#include "processing/distributed.h"
#include "processing/polygonize.h"

#include <cpl_error.h>
#include <gdal.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <new>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include <signal.h>
#include <sys/stat.h>

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
           "arguments and options,\n'tessera [<command>] --json-usage' the same as JSON for other front "
           "ends.\n"
           "Exit codes: 0 success, 1 the command failed, 2 the command line was refused.\n";
    return out.str();
}

std::string FormatToolJsonUsage() {
    nlohmann::json commands = nlohmann::json::array();
    for (const Subcommand& s : Subcommands())
        commands.push_back(nlohmann::json::parse(FormatJsonUsage(s.def)));
    return nlohmann::json{
               {"tool", "tessera"}, {"version", TESSERA_VERSION}, {"commands", std::move(commands)}}
               .dump(2) +
           "\n";
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

volatile std::sig_atomic_t g_signal = 0;

extern "C" void onTerminationSignal(int number) {
    g_signal = number;
}

constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
bool g_handlersForLife = false;

void installHandlers(struct sigaction* previous) {
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, previous ? &previous[i] : nullptr);
}

// SIGINT, SIGTERM and SIGHUP only set the flag the commands check, for the
// time of one command (the earlier handlers come back after it), unless the
// tool installed them for the life of the process.
class SignalHandlers {
public:
    SignalHandlers() : m_own(!g_handlersForLife) {
        if (!m_own)
            return;
        g_signal = 0;
        installHandlers(m_previous);
    }
    ~SignalHandlers() {
        for (int i = 0; m_own && i < 3; ++i)
            ::sigaction(kSignals[i], &m_previous[i], nullptr);
    }

private:
    bool m_own;
    struct sigaction m_previous[3];
};

// GDAL's messages are not printed: the last failure is kept, to complete the
// command's own one-line message when the command fails. Debug messages,
// which GDAL sends only when CPL_DEBUG asks for them, go to stderr as GDAL's
// own tools print them (CPL_DEBUG=TESSERA: the block passes' times and CPU use).
class GdalMessages {
public:
    GdalMessages() {
        last().clear();
        m_previous = CPLSetErrorHandler(collect);
    }
    ~GdalMessages() { CPLSetErrorHandler(m_previous); }
    static std::string Last() {
        std::lock_guard<std::mutex> lock(mutex());
        return last();
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::string& last() {
        static std::string text;
        return text;
    }
    static void CPL_STDCALL collect(CPLErr kind, CPLErrorNum, const char* message) {
        if (kind == CE_Debug)
            std::fprintf(stderr, "%s\n", message ? message : "");
        if (kind != CE_Failure && kind != CE_Fatal)
            return;
        std::lock_guard<std::mutex> lock(mutex());
        last() = message ? message : "";
    }
    CPLErrorHandler m_previous = nullptr;
};

// The command's message with GDAL's last failure added, when it says more.
std::string withGdalMessage(std::string message) {
    std::string gdal = oneLine(GdalMessages::Last());
    if (!gdal.empty() && message.find(gdal) == std::string::npos)
        message += " (" + gdal + ")";
    return message;
}

// What identifies a file: device and inode when it exists, else its
// normalised absolute path.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;

    bool operator==(const FileIdentity& other) const {
        if (exists != other.exists)
            return false;
        return exists ? device == other.device && inode == other.inode : path == other.path;
    }
};

FileIdentity identify(const std::string& path) {
    FileIdentity id;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        id.exists = true;
        id.device = info.st_dev;
        id.inode = info.st_ino;
        return id;
    }
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec)
        absolute = path;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, ec);
    id.path = (ec ? absolute : canonical).lexically_normal().string();
    return id;
}

int runCommand(const Subcommand& command, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err) {
    const std::string prefix = "tessera " + command.def.name + ": ";
    const SignalHandlers signals;
    const GdalMessages gdal;
    try {
        const ParsedOptions options = ParseOptions(command.def, args);
        if (options.HelpRequested()) {
            out << FormatHelp(command.def);
            return kExitOk;
        }
        CommandFiles files = DeclaredFiles(command.def, options);
        if (command.moreFiles) {
            const CommandFiles more = command.moreFiles(options);
            files.reads.insert(files.reads.end(), more.reads.begin(), more.reads.end());
            files.writes.insert(files.writes.end(), more.writes.begin(), more.writes.end());
        }
        CheckFileRoles(files);
        if (!command.staged) {
            CommandContext context{out};
            return command.run(options, context);
        }
        // Every output waits in the set until the run has succeeded; the
        // summary waits with it, so it never tells of files not written.
        tessera::formatio::OutputSet outputs;
        std::ostringstream summary;
        CommandContext context{summary};
        const int code = command.run(options, context);
        if (code != kExitOk) { // a check that found problems: its report, no file
            out << summary.str();
            return code;
        }
        if (Interrupted())
            throw std::runtime_error("interrupted");
        // Under mpirun rank 0 places the run's files; the other ranks' staged
        // copies (a trained model, a sample file) are discarded with the set.
        std::string error;
        if (tessera::Cluster().Rank() == 0 && !outputs.Commit(error))
            throw std::runtime_error(error);
        out << summary.str();
        return kExitOk;
    } catch (const UsageError& e) {
        err << prefix << oneLine(e.what()) << "\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        if (Interrupted())
            err << prefix << "interrupted; " << (command.staged ? "nothing was written" : "stopped") << "\n";
        else if (dynamic_cast<const std::bad_alloc*>(&e))
            err << prefix << "out of memory: the input asks for more than this machine has"
                << (command.staged ? "; nothing was written" : "") << "\n";
        else
            err << prefix << oneLine(withGdalMessage(e.what())) << "\n";
        return kExitFailure;
    }
}

} // namespace

bool Interrupted() {
    return g_signal != 0;
}

void InstallSignalHandlersForLife() {
    installHandlers(nullptr);
    g_handlersForLife = true;
}

namespace {

// What a declared file is to the command, for the messages.
std::string fileWhat(const FileSpec& file) {
    const bool in = file.role == FileRole::Input;
    switch (file.kind) {
    case FileKind::Raster:
        return in ? "the input image" : "the output image";
    case FileKind::Vector:
        return in ? "the polygon layer" : "the output file";
    case FileKind::RasterOrVector:
        return "the reference";
    case FileKind::Samples:
        return "the sample file";
    case FileKind::Csv:
        return "the check points";
    case FileKind::Text:
        return "the report";
    case FileKind::Json:
        return "the JSON file";
    case FileKind::Model:
        return in ? "the model" : "the trained model";
    case FileKind::Aoi:
        return "the area of interest";
    default:
        return in ? "the input" : "the output";
    }
}

void addDeclared(CommandFiles& files, const FileSpec& file, const std::string& path) {
    if (file.role == FileRole::None || path.empty())
        return;
    const std::string what = fileWhat(file);
    const std::string acf = CommonFun::U2M(PairedAssistantFilePath(CommonFun::M2U(path)));
    std::vector<CommandFile>& list = file.role == FileRole::Input ? files.reads : files.writes;
    list.push_back({path, what});
    if (file.kind == FileKind::Raster && file.role == FileRole::Input)
        list.push_back({acf, "the .acf of " + what});
    if (file.kind == FileKind::Raster && file.role == FileRole::Output) {
        list.push_back({acf, "the .acf of " + what});
        list.push_back({path + ".aux.xml", "the .aux.xml of " + what});
    }
    if (file.kind == FileKind::Vector && file.role == FileRole::Output &&
        ShapeFileFlagForPath(CommonFun::M2U(path)))
        for (const char* part : {".shx", ".dbf", ".prj", ".cpg"})
            list.push_back({std::filesystem::path(path).replace_extension(part).string(),
                            std::string("the ") + part + " of " + what});
}

} // namespace

CommandFiles DeclaredFiles(const CommandDef& def, const ParsedOptions& options) {
    CommandFiles files;
    for (size_t i = 0; i < def.positionals.size() && i < options.PositionalCount(); ++i)
        addDeclared(files, def.positionals[i].file, options.Positional(i));
    std::vector<const OptionDef*> declared;
    for (const OptionDef& o : def.options)
        declared.push_back(&o);
    for (const OptionGroup& g : def.groups)
        if (!def.selector.empty() && options.Has(def.selector) && options.String(def.selector) == g.value)
            for (const OptionDef& o : g.options)
                declared.push_back(&o);
    for (const OptionDef* o : declared)
        if (o->file.role != FileRole::None && options.Has(o->name))
            addDeclared(files, o->file, options.String(o->name));
    return files;
}

void CheckFileRoles(const CommandFiles& files) {
    std::vector<std::pair<FileIdentity, const CommandFile*>> seen;
    for (const CommandFile& read : files.reads)
        if (!read.path.empty())
            seen.emplace_back(identify(read.path), &read);
    const size_t readCount = seen.size();
    for (const CommandFile& written : files.writes) {
        if (written.path.empty())
            continue;
        const FileIdentity id = identify(written.path);
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i].first == id) {
                const CommandFile& other = *seen[i].second;
                if (i < readCount)
                    throw UsageError(written.what + " " + written.path + " would overwrite " + other.what +
                                     " " + other.path + "; choose another output");
                throw UsageError(written.what + " " + written.path + " and " + other.what + " " + other.path +
                                 " are the same file; choose other names");
            }
        seen.emplace_back(id, &written);
    }
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    int code = kExitOk;
    if (args.empty()) {
        err << "tessera: missing command (see 'tessera --help')\n";
        code = kExitUsage;
    } else if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        out << FormatToolHelp();
    } else if (args[0] == "--version") {
        out << "tessera " << TESSERA_VERSION << " (GDAL " << GDALVersionInfo("RELEASE_NAME") << ")\n";
    } else if (args[0] == "--json-usage") {
        out << FormatToolJsonUsage();
    } else if (const Subcommand* command = FindSubcommand(args[0])) {
        if (std::find(args.begin() + 1, args.end(), "--json-usage") != args.end())
            out << FormatJsonUsage(command->def);
        else
            code = runCommand(*command, {args.begin() + 1, args.end()}, out, err);
    } else {
        err << "tessera: unknown command '" << oneLine(args[0]) << "' (see 'tessera --help')\n";
        code = kExitUsage;
    }
    // A result that did not reach standard output (a full disk, a closed
    // pipe) is a failure.
    out.flush();
    if (!out) {
        err << "tessera: cannot write to standard output\n";
        if (code == kExitOk)
            code = kExitFailure;
    }
    return code;
}
