#pragma once
// The arithmetic of K-Means and ISODATA on an in-memory sample of pixels,
// apart from any file so tests can check it against a naive implementation.

#include <cstdint>
#include <vector>

namespace tessera {

// Pixels as rows of `bands` values: value(i, b) = data[i * bands + b].
struct PixelSample {
    int bands = 0;
    std::vector<float> data;
    std::size_t Count() const { return bands ? data.size() / bands : 0; }
    const float* Pixel(std::size_t i) const { return data.data() + i * bands; }
};

using Centres = std::vector<std::vector<double>>;

// k-means++ seeding with a fixed seed: deterministic for a given sample.
// Fewer than k distinct pixels give fewer centres.
Centres InitialCentres(const PixelSample& sample, int k, std::uint64_t seed = 0x7e55e7a);

// Index of the nearest centre (squared Euclidean distance; ties go to the
// lower index).
int NearestCentre(const Centres& centres, const float* pixel, int bands);

// Centres in one contiguous array for the labelling loop; Nearest gives the
// same answer as NearestCentre.
class FlatCentres {
public:
    explicit FlatCentres(const Centres& centres);
    int Nearest(const float* pixel) const;

private:
    std::vector<double> m_values; // k × bands
    int m_count = 0;
    int m_bands = 0;
};

struct KMeansResult {
    Centres centres;
    int iterations = 0;
    double lastChange = 1.0; // fraction of pixels that changed class in the last iteration
};

// Lloyd iterations from the given centres until at most changeThreshold of
// the pixels change class, or maxIterations. An emptied cluster takes the
// pixel farthest from its centre.
KMeansResult RunKMeans(const PixelSample& sample, Centres centres, int maxIterations, double changeThreshold,
                       int threads = 0);

struct IsodataSettings {
    int desiredClasses = 5;
    int maxIterations = 5;
    double changeThreshold = 0.05;
    double minCentreDistance = 0.5; // lumping
    double splitStdDev = 1.0;
    int maxMergePairs = 2;
    double minClassSize = 1000; // in sample pixels
};

struct IsodataResult {
    Centres centres;
    int iterations = 0;
    int splits = 0;
    int merges = 0;
    int discards = 0;
};

IsodataResult RunIsodata(const PixelSample& sample, const IsodataSettings& settings, int threads = 0);

// Orders centres by the sum of their band values, darkest first, so class
// numbers do not depend on the seeding.
void SortCentresByBrightness(Centres& centres);

} // namespace tessera
