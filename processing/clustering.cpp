#include "processing/clustering.h"

#include "processing/distributed.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <thread>

namespace tessera {

namespace {

double distance2(const std::vector<double>& centre, const float* pixel, int bands) {
    double d = 0;
    for (int b = 0; b < bands; ++b) {
        const double diff = pixel[b] - centre[b];
        d += diff * diff;
    }
    return d;
}

double centreDistance(const std::vector<double>& a, const std::vector<double>& b) {
    double d = 0;
    for (size_t i = 0; i < a.size(); ++i)
        d += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(d);
}

int threadCount(int requested, size_t work) {
    int t = requested > 0 ? requested : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return static_cast<int>(std::max<size_t>(1, std::min<size_t>(t, work / 4096 + 1)));
}

// labels[i] = nearest centre of pixel i, spread over threads; returns how
// many labels changed.
size_t assign(const PixelSample& sample, const Centres& centres, std::vector<int>& labels, int threads) {
    const size_t n = sample.Count();
    const int t = threadCount(threads, n);
    std::vector<size_t> changed(t, 0);
    const FlatCentres flat(centres);
    const auto work = [&](int part) {
        const size_t begin = n * part / t, end = n * (part + 1) / t;
        for (size_t i = begin; i < end; ++i) {
            const int nearest = flat.Nearest(sample.Pixel(i));
            if (nearest != labels[i]) {
                labels[i] = nearest;
                ++changed[part];
            }
        }
    };
    std::vector<std::thread> pool;
    for (int p = 1; p < t; ++p)
        pool.emplace_back(work, p);
    work(0);
    for (auto& th : pool)
        th.join();
    return std::accumulate(changed.begin(), changed.end(), size_t{0});
}

// Sums of per-pixel values over the whole sample: perPixel(i, row) adds
// local pixel i's values into row (width values); the blocks' rows are added
// in block order over all ranks.
template <class PerPixel>
std::vector<double> sampleSums(const SampleShare& s, std::size_t width, PerPixel perPixel) {
    std::vector<int> byNumber(s.blockCount, -1);
    for (std::size_t b = 0; b < s.blocks.size(); ++b)
        byNumber[s.blocks[b]] = static_cast<int>(b);
    return SumInBlockOrder(*s.comm, s.blockCount, s.blocks, width, [&](int block, double* row) {
        const int b = byNumber[block];
        for (std::size_t i = s.starts[b]; i < s.starts[b + 1]; ++i)
            perPixel(i, row);
    });
}

std::int64_t sumOverRanks(const SampleShare& s, std::int64_t value) {
    s.comm->Allreduce(&value, 1, Communicator::Reduce::Sum);
    return value;
}

// Means of the clusters; counts[j] pixels in cluster j.
void update(const SampleShare& s, const std::vector<int>& labels, Centres& centres,
            std::vector<size_t>& counts) {
    const int bands = s.local.bands;
    const std::size_t width = static_cast<std::size_t>(bands) + 1;
    const std::vector<double> sums = sampleSums(s, centres.size() * width, [&](std::size_t i, double* row) {
        double* cluster = row + labels[i] * width;
        const float* p = s.local.Pixel(i);
        for (int b = 0; b < bands; ++b)
            cluster[1 + b] += p[b];
        cluster[0] += 1;
    });
    counts.assign(centres.size(), 0);
    for (size_t j = 0; j < centres.size(); ++j) {
        counts[j] = static_cast<size_t>(sums[j * width]);
        if (counts[j])
            for (int b = 0; b < bands; ++b)
                centres[j][b] = sums[j * width + 1 + b] / static_cast<double>(counts[j]);
    }
}

// An emptied cluster j restarts at the pixel worst served by its centre
// (the first in sample order of the farthest), taken from a cluster that
// keeps another pixel.
void restartEmpty(const SampleShare& s, std::size_t j, std::vector<int>& labels, Centres& centres,
                  std::vector<size_t>& counts) {
    const int bands = s.local.bands;
    std::size_t worst = 0, worstBlock = 0;
    double worstDistance = -1;
    for (std::size_t b = 0; b < s.blocks.size(); ++b)
        for (std::size_t i = s.starts[b]; i < s.starts[b + 1]; ++i) {
            const double d = distance2(centres[labels[i]], s.local.Pixel(i), bands);
            if (d > worstDistance && counts[labels[i]] > 1) {
                worstDistance = d;
                worst = i;
                worstBlock = b;
            }
        }
    double farthest = worstDistance;
    s.comm->Allreduce(&farthest, 1, Communicator::Reduce::Max);
    if (farthest <= 0)
        return;
    std::int64_t place = worstDistance == farthest ? s.PlaceOf(worstBlock, worst) : INT64_MAX;
    s.comm->Allreduce(&place, 1, Communicator::Reduce::Min);
    const bool mine = worstDistance == farthest && s.PlaceOf(worstBlock, worst) == place;
    // The holder hands its cluster and values to every rank.
    std::vector<double> pixel(static_cast<std::size_t>(bands) + 1, 0.0);
    if (mine) {
        pixel[0] = labels[worst];
        std::copy(s.local.Pixel(worst), s.local.Pixel(worst) + bands, pixel.begin() + 1);
        labels[worst] = static_cast<int>(j);
    }
    s.comm->Allreduce(pixel.data(), pixel.size(), Communicator::Reduce::Sum);
    --counts[static_cast<std::size_t>(pixel[0])];
    centres[j].assign(pixel.begin() + 1, pixel.end());
    counts[j] = 1;
}

} // namespace

int NearestCentre(const Centres& centres, const float* pixel, int bands) {
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (size_t j = 0; j < centres.size(); ++j) {
        const double d = distance2(centres[j], pixel, bands);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(j);
        }
    }
    return best;
}

FlatCentres::FlatCentres(const Centres& centres)
    : m_count(static_cast<int>(centres.size())),
      m_bands(centres.empty() ? 0 : static_cast<int>(centres[0].size())) {
    for (const auto& c : centres)
        m_values.insert(m_values.end(), c.begin(), c.end());
}

int FlatCentres::Nearest(const float* pixel) const {
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    const double* c = m_values.data();
    for (int j = 0; j < m_count; ++j, c += m_bands) {
        double d = 0;
        for (int b = 0; b < m_bands; ++b) {
            const double diff = pixel[b] - c[b];
            d += diff * diff;
        }
        if (d < bestDistance) {
            bestDistance = d;
            best = j;
        }
    }
    return best;
}

Centres GreedyKMeansPlusPlus(const PixelSample& sample, int k, std::uint64_t seed) {
    const size_t n = sample.Count();
    const int bands = sample.bands;
    Centres centres;
    if (n == 0 || k <= 0)
        return centres;
    std::mt19937_64 rng(seed);
    const auto pick = [&](size_t i) {
        const float* p = sample.Pixel(i);
        centres.emplace_back(p, p + bands);
    };
    pick(std::uniform_int_distribution<size_t>(0, n - 1)(rng));
    std::vector<double> nearest(n), cumulative(n);
    for (size_t i = 0; i < n; ++i)
        nearest[i] = distance2(centres[0], sample.Pixel(i), bands);
    const int trials = 2 + static_cast<int>(std::log(k));
    std::vector<std::vector<double>> candidate(trials, std::vector<double>(n));
    while (static_cast<int>(centres.size()) < k) {
        std::partial_sum(nearest.begin(), nearest.end(), cumulative.begin());
        const double total = cumulative.back();
        if (total <= 0)
            break; // every pixel sits on a centre already
        int best = 0;
        double bestPotential = std::numeric_limits<double>::infinity();
        std::vector<size_t> chosen(trials);
        for (int t = 0; t < trials; ++t) {
            // The first pixel whose cumulative weight exceeds the draw: a
            // pixel at distance 0 is never drawn.
            const double target = std::uniform_real_distribution<double>(0.0, total)(rng);
            chosen[t] = std::min<size_t>(
                n - 1, std::upper_bound(cumulative.begin(), cumulative.end(), target) - cumulative.begin());
            const float* c = sample.Pixel(chosen[t]);
            double potential = 0;
            for (size_t i = 0; i < n; ++i) {
                const float* p = sample.Pixel(i);
                double d = 0;
                for (int b = 0; b < bands; ++b)
                    d += (static_cast<double>(p[b]) - c[b]) * (static_cast<double>(p[b]) - c[b]);
                candidate[t][i] = std::min(nearest[i], d);
                potential += candidate[t][i];
            }
            if (potential < bestPotential) {
                bestPotential = potential;
                best = t;
            }
        }
        pick(chosen[best]);
        nearest.swap(candidate[best]);
    }
    return centres;
}

double WithinClusterSumOfSquares(const PixelSample& sample, const Centres& centres) {
    if (centres.empty())
        return 0;
    const FlatCentres flat(centres);
    double sum = 0;
    for (size_t i = 0; i < sample.Count(); ++i)
        sum += distance2(centres[flat.Nearest(sample.Pixel(i))], sample.Pixel(i), sample.bands);
    return sum;
}

Centres InitialCentres(const PixelSample& sample, int k, std::uint64_t seed, int threads) {
    const size_t n = sample.Count();
    if (n == 0 || k <= 0)
        return {};
    // Every step-th pixel of the sample, which is in image order: spread over the image.
    PixelSample trial;
    const PixelSample* fitted = &sample;
    if (n > kTrialPixels) {
        const size_t step = (n + kTrialPixels - 1) / kTrialPixels;
        trial.bands = sample.bands;
        for (size_t i = 0; i < n; i += step)
            trial.data.insert(trial.data.end(), sample.Pixel(i), sample.Pixel(i) + sample.bands);
        fitted = &trial;
    }
    // The draws run in parallel, one thread each; each has its own seed, so
    // the winner does not depend on the schedule. Equal sums keep the earlier draw.
    struct Draw {
        Centres centres;
        double sse = std::numeric_limits<double>::infinity();
    };
    std::vector<Draw> draws(kSeedingRestarts);
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int r; (r = next++) < kSeedingRestarts;) {
            const std::uint64_t drawSeed = seed + 0x9e3779b97f4a7c15ULL * static_cast<std::uint64_t>(r);
            KMeansResult fit = RunKMeans(*fitted, GreedyKMeansPlusPlus(*fitted, k, drawSeed), 100, 1e-3, 1);
            draws[r].sse = WithinClusterSumOfSquares(*fitted, fit.centres);
            draws[r].centres = std::move(fit.centres);
        }
    };
    const int t = std::min(kSeedingRestarts, threadCount(threads, kSeedingRestarts * 4096));
    std::vector<std::thread> pool;
    for (int p = 1; p < t; ++p)
        pool.emplace_back(work);
    work();
    for (auto& th : pool)
        th.join();
    size_t best = 0;
    for (size_t r = 1; r < draws.size(); ++r)
        if (draws[r].sse < draws[best].sse)
            best = r;
    return std::move(draws[best].centres);
}

SampleShare::SampleShare(PixelSample sample)
    : local(std::move(sample)), starts{0, local.Count()}, blocks{0}, blockCount(1),
      comm(&SingleProcess()), firstOfBlock{0}, total(static_cast<std::int64_t>(local.Count())) {}

SampleShare::SampleShare(Communicator& comm, PixelSample sample, std::vector<std::size_t> blockStarts,
                         std::vector<int> blockNumbers, int count)
    : local(std::move(sample)), starts(std::move(blockStarts)), blocks(std::move(blockNumbers)),
      blockCount(count), comm(&comm) {
    // Every block's pixel count, from the rank holding it, gives each block's place.
    std::vector<std::int64_t> sizes(static_cast<std::size_t>(blockCount), 0);
    for (std::size_t b = 0; b < blocks.size(); ++b)
        sizes[blocks[b]] = static_cast<std::int64_t>(starts[b + 1] - starts[b]);
    comm.Allreduce(sizes.data(), sizes.size(), Communicator::Reduce::Sum);
    firstOfBlock.assign(sizes.size(), 0);
    for (std::size_t b = 0; b < sizes.size(); ++b) {
        firstOfBlock[b] = total;
        total += sizes[b];
    }
}

PixelSample EvenSubset(const SampleShare& s, std::size_t maxPixels) {
    const auto n = static_cast<std::size_t>(s.total);
    const std::size_t step =
        std::max<std::size_t>(1, (n + maxPixels - 1) / std::max<std::size_t>(1, maxPixels));
    const std::size_t picked = (n + step - 1) / step;
    const int bands = s.local.bands;
    // Each rank fills the places of its own pixels; the others stay zero.
    std::vector<double> values(picked * bands, 0.0);
    for (std::size_t b = 0; b < s.blocks.size(); ++b)
        for (std::size_t i = s.starts[b]; i < s.starts[b + 1]; ++i) {
            const auto place = static_cast<std::size_t>(s.PlaceOf(b, i));
            if (place % step == 0)
                std::copy(s.local.Pixel(i), s.local.Pixel(i) + bands,
                          values.begin() + (place / step) * bands);
        }
    s.comm->Allreduce(values.data(), values.size(), Communicator::Reduce::Sum);
    PixelSample subset;
    subset.bands = bands;
    subset.data.assign(values.begin(), values.end());
    return subset;
}

Centres InitialCentres(const SampleShare& sample, int k, std::uint64_t seed, int threads) {
    return InitialCentres(EvenSubset(sample, kTrialPixels), k, seed, threads);
}

KMeansResult RunKMeans(const SampleShare& s, Centres centres, int maxIterations, double changeThreshold,
                       int threads) {
    KMeansResult result;
    const std::int64_t n = s.total;
    std::vector<int> labels(s.local.Count(), -1);
    std::vector<size_t> counts;
    for (int iteration = 1; iteration <= maxIterations && !centres.empty(); ++iteration) {
        const std::int64_t changed =
            sumOverRanks(s, static_cast<std::int64_t>(assign(s.local, centres, labels, threads)));
        update(s, labels, centres, counts);
        for (size_t j = 0; j < centres.size(); ++j)
            if (!counts[j])
                restartEmpty(s, j, labels, centres, counts);
        result.iterations = iteration;
        result.lastChange = n ? static_cast<double>(changed) / n : 0.0;
        if (result.lastChange <= changeThreshold)
            break;
    }
    result.centres = std::move(centres);
    return result;
}

IsodataResult RunIsodata(const SampleShare& sample, const IsodataSettings& s, int threads) {
    IsodataResult result;
    const size_t n = static_cast<size_t>(sample.total);
    const int bands = sample.local.bands;
    const int k = std::max(1, s.desiredClasses);
    Centres centres = InitialCentres(sample, k);
    std::vector<int> labels(sample.local.Count(), -1);
    std::vector<size_t> counts;

    for (int iteration = 1; iteration <= std::max(1, s.maxIterations) && !centres.empty(); ++iteration) {
        result.iterations = iteration;
        const auto changed = static_cast<size_t>(
            sumOverRanks(sample, static_cast<std::int64_t>(assign(sample.local, centres, labels, threads))));
        update(sample, labels, centres, counts);

        // Discard classes smaller than the minimum size (the largest always
        // stays); their pixels go to the nearest remaining class next time.
        {
            Centres kept;
            const size_t largest = std::max_element(counts.begin(), counts.end()) - counts.begin();
            for (size_t j = 0; j < centres.size(); ++j) {
                if (j == largest || static_cast<double>(counts[j]) >= s.minClassSize)
                    kept.push_back(centres[j]);
                else
                    ++result.discards;
            }
            if (kept.size() != centres.size()) {
                centres = std::move(kept);
                std::fill(labels.begin(), labels.end(), -1);
                assign(sample.local, centres, labels, threads);
                update(sample, labels, centres, counts);
            }
        }
        const bool last = iteration == s.maxIterations;
        if (last)
            break; // the last iteration only assigns and updates

        // Per-class spread: mean distance to the centre and standard deviation per band.
        const size_t nc = centres.size();
        const std::size_t width = static_cast<std::size_t>(bands) + 1;
        const std::vector<double> spread = sampleSums(sample, nc * width, [&](std::size_t i, double* row) {
            const int j = labels[i];
            const float* p = sample.local.Pixel(i);
            double* cluster = row + j * width;
            cluster[0] += std::sqrt(distance2(centres[j], p, bands));
            for (int b = 0; b < bands; ++b)
                cluster[1 + b] += (p[b] - centres[j][b]) * (p[b] - centres[j][b]);
        });
        std::vector<double> meanDistance(nc, 0.0);
        Centres variance(nc, std::vector<double>(bands, 0.0));
        for (size_t j = 0; j < nc; ++j) {
            meanDistance[j] = spread[j * width];
            std::copy(spread.begin() + j * width + 1, spread.begin() + (j + 1) * width, variance[j].begin());
        }
        double overall = 0;
        for (size_t j = 0; j < nc; ++j) {
            overall += meanDistance[j];
            if (counts[j])
                meanDistance[j] /= static_cast<double>(counts[j]);
        }
        overall /= std::max<size_t>(1, n);

        bool changedStructure = false;
        const bool trySplit =
            static_cast<int>(nc) <= k / 2 || (iteration % 2 == 1 && static_cast<int>(nc) < 2 * k);
        if (trySplit) {
            Centres next;
            int splits = 0;
            for (size_t j = 0; j < nc; ++j) {
                int widest = 0;
                double sigma = 0;
                for (int b = 0; b < bands; ++b) {
                    const double sd = counts[j] ? std::sqrt(variance[j][b] / counts[j]) : 0.0;
                    if (sd > sigma) {
                        sigma = sd;
                        widest = b;
                    }
                }
                const bool room = static_cast<int>(nc) + splits < 2 * k;
                const bool spread = (meanDistance[j] > overall &&
                                     static_cast<double>(counts[j]) > 2 * (s.minClassSize + 1)) ||
                                    static_cast<int>(nc) <= k / 2;
                if (room && sigma > s.splitStdDev && spread) {
                    std::vector<double> plus = centres[j], minus = centres[j];
                    plus[widest] += 0.5 * sigma;
                    minus[widest] -= 0.5 * sigma;
                    next.push_back(plus);
                    next.push_back(minus);
                    ++splits;
                } else {
                    next.push_back(centres[j]);
                }
            }
            if (splits) {
                centres = std::move(next);
                result.splits += splits;
                changedStructure = true;
            }
        }
        if (!changedStructure) {
            // Lump the closest pairs below the minimum distance, at most
            // maxMergePairs, each class at most once per iteration.
            struct Pair {
                double distance;
                size_t a, b;
            };
            std::vector<Pair> pairs;
            for (size_t a = 0; a < nc; ++a)
                for (size_t b = a + 1; b < nc; ++b) {
                    const double d = centreDistance(centres[a], centres[b]);
                    if (d < s.minCentreDistance)
                        pairs.push_back({d, a, b});
                }
            std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) {
                return x.distance != y.distance ? x.distance < y.distance
                                                : std::tie(x.a, x.b) < std::tie(y.a, y.b);
            });
            std::vector<bool> used(nc, false), gone(nc, false);
            int merges = 0;
            for (const Pair& p : pairs) {
                if (merges >= s.maxMergePairs)
                    break;
                if (used[p.a] || used[p.b])
                    continue;
                const double wa = static_cast<double>(counts[p.a]), wb = static_cast<double>(counts[p.b]);
                for (int b = 0; b < bands; ++b)
                    centres[p.a][b] = wa + wb > 0 ? (wa * centres[p.a][b] + wb * centres[p.b][b]) / (wa + wb)
                                                  : centres[p.a][b];
                used[p.a] = used[p.b] = true;
                gone[p.b] = true;
                ++merges;
            }
            if (merges) {
                Centres kept;
                for (size_t j = 0; j < nc; ++j)
                    if (!gone[j])
                        kept.push_back(centres[j]);
                centres = std::move(kept);
                result.merges += merges;
                changedStructure = true;
            }
        }
        if (changedStructure) {
            std::fill(labels.begin(), labels.end(), -1);
        } else if (n && static_cast<double>(changed) / n <= s.changeThreshold && iteration > 1) {
            break;
        }
    }
    result.centres = std::move(centres);
    return result;
}

void SortCentresByBrightness(Centres& centres) {
    std::stable_sort(
        centres.begin(), centres.end(), [](const std::vector<double>& a, const std::vector<double>& b) {
            return std::accumulate(a.begin(), a.end(), 0.0) < std::accumulate(b.begin(), b.end(), 0.0);
        });
}

} // namespace tessera
