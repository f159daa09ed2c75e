// tessera: the command-line front end. Everything lives in the tesseracli
// library (the subcommand registry and dispatcher); this is its entry point.
#include "cli/subcommands.h"

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
    return RunCommandLine({argv + 1, argv + argc}, std::cout, std::cerr);
}
