// tessera: the command-line front end. Everything lives in the tesseracli
// library (the subcommand registry and dispatcher); this is its entry point.
#include "cli/subcommands.h"

#include <clocale>
#include <iostream>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C"); // numbers in files and messages always use '.'
    return RunCommandLine({argv + 1, argv + argc}, std::cout, std::cerr);
}
