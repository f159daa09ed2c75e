#pragma once
// `tessera` run in the test process: its exit code and what it wrote.

#include "cli/subcommands.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

struct CliRun {
    int code;
    std::string out, err;
};

inline CliRun RunTessera(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunCommandLine(args, out, err);
    return {code, out.str(), err.str()};
}

inline long LineCount(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}
