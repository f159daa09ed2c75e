#pragma once
// The reader of the SVM model file (docs/formats.md): libsvm's model text of a
// C-SVC followed by the band scaling. The whole text is checked here and put
// into libsvm's structures by this parser; libsvm's own loader never sees a
// file. No GDAL, no Eigen: the fuzz target compiles it as it is.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct svm_model;

namespace tessera {

// Frees a model the way libsvm frees the models of its loader.
struct SvmModelDeleter {
    void operator()(svm_model* model) const;
};
using SvmModelPtr = std::unique_ptr<svm_model, SvmModelDeleter>;

// Bounds of what the reader accepts (the trainer stays within them).
constexpr int kSvmMaxClasses = 1024;
constexpr int kSvmMaxBands = 1024;
constexpr double kSvmMaxMagnitude = 1e30; // of every number in the file

struct SvmModelText {
    SvmModelPtr model;                  // every array of its size, labels distinct, counts that add up
    std::vector<double> offset, factor; // the scaling, one pair per band
};

// Parses a whole model file. False with a one-line message naming the line
// and the problem; out is then left as it was.
bool ParseSvmModelText(std::string_view text, SvmModelText& out, std::string& error);

} // namespace tessera
