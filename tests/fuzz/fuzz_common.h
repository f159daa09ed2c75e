#pragma once
// Shared by the fuzz targets: each input is written to one temporary file per process,
// which the reader under test then opens by path, as the windows do.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

// The file is removed when the process ends normally.
struct FuzzInputFile {
    std::string path;
    explicit FuzzInputFile(const char* suffix) {
        const char* dir = std::getenv("TMPDIR");
        path =
            std::string(dir && *dir ? dir : "/tmp") + "/tessera-fuzz-" + std::to_string(::getpid()) + suffix;
    }
    ~FuzzInputFile() { ::unlink(path.c_str()); }
};

inline const std::string& FuzzInputPath(const char* suffix) {
    static const FuzzInputFile file(suffix);
    return file.path;
}

inline bool WriteFuzzInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

// A reader that accepted its input must give an object that writes and reads back equal.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            __builtin_trap();                                                                                \
    } while (0)
