#pragma once
// `tessera` run in the test process: its exit code and what it wrote.

#include "cli/subcommands.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

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

// A command line `tessera` must refuse: its exit code and words of its message.
struct Refusal {
    std::vector<std::string> args;
    int code;
    std::string says;
};

// Each run ends with its code, nothing on stdout and one line on stderr,
// "tessera <subcommand>: " and a message holding its words (starting with them
// when they start with "tessera "), and leaves the files of `folder` as they were.
inline void ExpectRefusals(const std::vector<Refusal>& cases, const fs::path& folder) {
    const std::set<std::string> before = FilesIn(folder);
    for (const auto& [args, code, says] : cases) {
        const CliRun r = RunTessera(args);
        EXPECT_EQ(std::tuple(r.code, r.out, LineCount(r.err), r.err.rfind("tessera " + args.at(0) + ": ", 0)),
                  std::tuple(code, "", 1, 0u))
            << r.err;
        const size_t at = r.err.find(says);
        EXPECT_TRUE(says.starts_with("tessera ") ? at == 0 : at != std::string::npos) << r.err;
        EXPECT_EQ(FilesIn(folder), before) << r.err;
    }
}
