#pragma once
// Class signatures from a sample file and the per-pixel decision rules of the
// supervised classifiers, apart from any raster so tests can check them
// against straight formulas.

#include "processing/supervised.h"

#include <cstdint>
#include <string>
#include <vector>

struct ClassSignature {
    std::wstring name;
    std::uint32_t colour = 0;
    std::int64_t pixels = 0;
    std::vector<double> mean, minimum, maximum, covariance; // covariance bands × bands, row-major
};

// Reads the signatures of a sample file; false with a message naming the
// file when it cannot be read, holds no sample, or a sample's statistics do
// not cover `bands` bands.
bool ReadSignatures(const std::wstring& path, int bands, std::vector<ClassSignature>& out, std::wstring& error);

// A prepared decision rule: Classify gives the class (1..k) of a pixel, or 0
// when it is rejected.
class DecisionRule {
public:
    // False with a message when the signatures cannot support the rule
    // (a covariance that stays singular after regularisation).
    bool Prepare(SuperviseClassifyType kind, const std::vector<ClassSignature>& classes, double threshold,
                 std::wstring& error);
    int Classify(const float* pixel) const;
    // The same for the pixels of a block (pixel-interleaved, `bands` values
    // each) whose valid entry is set; the others' labels are left alone.
    void ClassifyBlock(const float* pixels, int count, const std::uint8_t* valid, std::uint16_t* labels) const;
    // The ridge added to each class's covariance diagonal (maximum
    // likelihood and Mahalanobis): 0 when the covariance was invertible.
    const std::vector<double>& Ridges() const { return m_ridge; }

private:
    SuperviseClassifyType m_kind = SUPERVISE_MINIMUM_DISTANCE;
    int m_classes = 0, m_bands = 0;
    double m_threshold = 0;
    std::vector<double> m_mean;     // k × bands
    std::vector<double> m_inverse;  // k × bands × bands (maximum likelihood, Mahalanobis)
    std::vector<double> m_logDet;   // k
    std::vector<double> m_meanNorm; // k (spectral angle)
    std::vector<double> m_low, m_high; // k × bands (parallelepiped)
    std::vector<double> m_ridge;
};
