#pragma once
// The BP network model file (docs/formats.md): a versioned text of keyword
// lines holding the network's sizes, the band scaling and every weight, each
// number in the shortest form that reads back as the same double, so a
// reloaded network gives the same labels bit for bit. No GDAL, no Eigen: the
// fuzz target compiles it as it is.

#include <string>
#include <string_view>
#include <vector>

namespace tessera {

// Bounds of what the reader accepts (the trainer stays within them).
constexpr int kBpnnMaxBands = 1024;
constexpr int kBpnnMaxClasses = 65535;
constexpr int kBpnnMaxHidden = 1 << 20;
constexpr double kBpnnMaxMagnitude = 1e30; // of every number in the file

struct BpnnModelText {
    int bands = 0, classes = 0, hidden = 0;
    std::vector<double> offset, factor; // the scaling, one value per band each
    // Input→hidden (hidden × bands) and hidden→output (classes × hidden), row-major.
    std::vector<double> w1, b1, w2, b2;
    bool operator==(const BpnnModelText&) const = default;
};

// The file's text of a network whose arrays have the sizes its counts give.
std::string FormatBpnnModelText(const BpnnModelText& model);

// Parses a whole model file. False with a one-line message naming the line
// and the problem; out is then left as it was.
bool ParseBpnnModelText(std::string_view text, BpnnModelText& out, std::string& error);

} // namespace tessera
