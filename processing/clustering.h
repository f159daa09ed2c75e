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

class Communicator;

// A sample spread over the ranks of a run: this rank's pixels, block after
// block, with the blocks' numbers among all the sample's blocks. The fits
// form their sums per block and add them in block order, and pick pixels by
// their place in the whole sample (block order, then raster order inside a
// block), so they give the same centres on any number of ranks.
struct SampleShare {
    // The whole sample on one process, as one block.
    SampleShare(PixelSample sample);
    // This rank's blocks: blocks[i] holds the pixels from starts[i] to
    // starts[i + 1] of local. Collective: every rank of comm calls it.
    SampleShare(Communicator& comm, PixelSample local, std::vector<std::size_t> starts,
                std::vector<int> blocks, int blockCount);

    PixelSample local;
    std::vector<std::size_t> starts;
    std::vector<int> blocks;
    int blockCount = 1;
    Communicator* comm;
    std::vector<std::int64_t> firstOfBlock; // place in the whole sample of each block's first pixel
    std::int64_t total = 0;                 // pixels over all ranks

    // Place in the whole sample of local pixel i of local block b.
    std::int64_t PlaceOf(std::size_t b, std::size_t i) const {
        return firstOfBlock[blocks[b]] + (i - starts[b]);
    }
};

// Every step-th pixel of the whole sample, the step keeping at most
// maxPixels of them, on every rank.
PixelSample EvenSubset(const SampleShare& sample, std::size_t maxPixels);

constexpr std::uint64_t kDefaultSeed = 0x7e55e7a;

// Greedy k-means++: the first centre a uniformly drawn pixel, then each next
// one the best of 2 + ln k candidates drawn with probability proportional to
// the squared distance to the nearest centre so far, the one leaving the
// lowest sum of those distances. Fewer than k distinct pixels give fewer
// centres.
Centres GreedyKMeansPlusPlus(const PixelSample& sample, int k, std::uint64_t seed);

// The centres K-Means starts from: several greedy k-means++ draws, each
// refined by Lloyd iterations on an evenly spread subset of the sample (at
// most kTrialPixels), and the one with the lowest within-cluster sum of
// squares kept. Deterministic for a given sample and seed, whatever the
// number of threads.
constexpr int kSeedingRestarts = 10;
constexpr std::size_t kTrialPixels = 1 << 15;
Centres InitialCentres(const PixelSample& sample, int k, std::uint64_t seed = kDefaultSeed, int threads = 0);
// The same on a sample spread over ranks: drawn on its even subset of at
// most kTrialPixels, which every rank gathers.
Centres InitialCentres(const SampleShare& sample, int k, std::uint64_t seed = kDefaultSeed, int threads = 0);

// Sum over the pixels of the squared distance to their nearest centre.
double WithinClusterSumOfSquares(const PixelSample& sample, const Centres& centres);

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
KMeansResult RunKMeans(const SampleShare& sample, Centres centres, int maxIterations, double changeThreshold,
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

IsodataResult RunIsodata(const SampleShare& sample, const IsodataSettings& settings, int threads = 0);

// Orders centres by the sum of their band values, darkest first, so class
// numbers do not depend on the seeding.
void SortCentresByBrightness(Centres& centres);

} // namespace tessera
