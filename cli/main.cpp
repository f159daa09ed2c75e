// tessera: the command-line front end. Everything lives in the tesseracli
// library (the subcommand registry and dispatcher); this is its entry point.
#include "cli/subcommands.h"
#ifdef TESSERA_WITH_MPI
#include "cli/mpicluster.h"
#endif

#include <clocale>
#include <csignal>
#include <iostream>

int main(int argc, char** argv) {
    InstallSignalHandlersForLife();
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C"); // numbers in files and messages always use '.'
    // A file grown past the size limit fails its write (reported, the earlier
    // outputs kept) instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
#ifdef TESSERA_WITH_MPI
    if (LaunchedByMpirun())
        return RunOnRanks(
            args, [&](std::ostream& out, std::ostream& err) { return RunCommandLine(args, out, err); });
#endif
    return RunCommandLine(args, std::cout, std::cerr);
}
