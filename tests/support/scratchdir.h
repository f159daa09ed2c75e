#pragma once
// A scratch folder of this test process: unique (ctest runs tests of one
// executable in parallel processes), created on first use, removed at exit.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::filesystem::path ScratchDir() {
    struct Folder {
        std::filesystem::path path;
        Folder() {
            std::string pattern = ::testing::TempDir() + "tessera-test-XXXXXX";
            if (::mkdtemp(pattern.data()))
                path = pattern;
        }
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}
