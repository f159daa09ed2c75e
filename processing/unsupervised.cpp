#include "processing/unsupervised.h"

#include "base/commonfun.h"
#include "engine/rastersource.h"
#include "processing/blockprocessor.h"
#include "processing/classraster.h"
#include "processing/clustering.h"
#include "processing/distributed.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>

using namespace tessera;

namespace {

// The pixels the centres are fitted on. When the rectangle holds at most
// `limit` pixels, all of them (exact K-Means). Otherwise a spread subset of
// blocks holding about kSpread × limit pixels is read (rows of blocks evenly
// spaced, columns by a golden-ratio sequence, so picks do not line up), and
// within them an even grid of about `limit` pixels: reading a quarter of a
// large compressed image instead of all of it. Under mpirun each rank reads
// its share of those blocks; the sample is ordered by block, then raster
// order inside each, whatever order or rank the blocks are read in, so the
// result is deterministic.
struct GridSample {
    SampleShare sample{PixelSample{}};
    int step = 1; // grid step inside the blocks read
    size_t blocksRead = 0;
    double weight = 1.0; // image pixels each grid position stands for
};

constexpr double kSpread = 4.0;

// Asks the kernel for huge pages over a large buffer not yet touched: a
// sample of a million pixels then faults in a few pages instead of thousands.
void AdviseHugePages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = 2 << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

bool gatherSample(Communicator& comm, BlockProcessor& blocks, const PixelRect& rect, int bands,
                  long long limit, const BlockProcessor::Progress& progress, GridSample& out) {
    limit = std::max(1LL, limit);
    const std::vector<PixelRect> all = blocks.BlocksInRect();
    const auto inRect = [&](const PixelRect& b) {
        return static_cast<double>(std::min(b.right, rect.right) - std::max(b.left, rect.left)) *
               (std::min(b.bottom, rect.bottom) - std::max(b.top, rect.top));
    };
    double total = 0;
    for (const PixelRect& b : all)
        total += inRect(b);

    std::set<std::pair<int, int>> picked; // (top, left) of the blocks to read
    if (total > static_cast<double>(limit) && !all.empty()) {
        std::vector<int> tops, lefts;
        for (const PixelRect& b : all) {
            tops.push_back(b.top);
            lefts.push_back(b.left);
        }
        std::sort(tops.begin(), tops.end());
        tops.erase(std::unique(tops.begin(), tops.end()), tops.end());
        std::sort(lefts.begin(), lefts.end());
        lefts.erase(std::unique(lefts.begin(), lefts.end()), lefts.end());
        const double perBlock = total / all.size();
        const size_t wanted =
            std::min(all.size(), static_cast<size_t>(std::ceil(kSpread * limit / perBlock)));
        for (size_t j = 0; j < wanted; ++j) {
            const size_t row = static_cast<size_t>((j + 0.5) / wanted * tops.size());
            const double golden = std::fmod(j * 0.6180339887498949, 1.0);
            const size_t col = static_cast<size_t>(golden * lefts.size());
            picked.insert({tops[std::min(row, tops.size() - 1)], lefts[std::min(col, lefts.size() - 1)]});
        }
    }
    double pickedPixels = total;
    if (!picked.empty()) {
        pickedPixels = 0;
        for (const PixelRect& b : all)
            if (picked.count({b.top, b.left}))
                pickedPixels += inRect(b);
    }
    out.step = std::max(1, static_cast<int>(std::ceil(std::sqrt(pickedPixels / static_cast<double>(limit)))));
    out.blocksRead = picked.empty() ? all.size() : picked.size();
    const int step = out.step;

    // The sample's blocks in raster order, numbered; this rank reads its
    // share of them, each block's grid pixels in raster order.
    const std::function<bool(const PixelRect&)> select =
        picked.empty() ? std::function<bool(const PixelRect&)>() : [&](const PixelRect& b) {
            return picked.count({b.top, b.left}) > 0;
        };
    std::map<std::pair<int, int>, int> number, mine;
    for (const PixelRect& b : all)
        if (!select || select(b))
            number.emplace(std::pair{b.top, b.left}, static_cast<int>(number.size()));
    const std::vector<PixelRect> myBlocks = blocks.BlocksOfThisRank(select);
    for (const PixelRect& b : myBlocks)
        mine.emplace(std::pair{b.top, b.left}, static_cast<int>(mine.size()));
    // Each block's grid pixels go straight to their place in one buffer, sized
    // for every grid pixel and closed up over the invalid ones afterwards: no
    // growing vectors and no second copy of the sample.
    const auto firstOnGrid = [&](int from, int origin) { // first grid position at or after from
        return origin + ((std::max(from, origin) - origin + step - 1) / step) * step;
    };
    const auto gridCount = [&](int from, int to, int origin) { // grid positions in [from, to)
        const int first = firstOnGrid(from, origin);
        return first < to ? static_cast<std::size_t>((to - 1 - first) / step + 1) : std::size_t{0};
    };
    std::vector<std::size_t> place(myBlocks.size() + 1, 0); // in pixels
    for (size_t b = 0; b < myBlocks.size(); ++b) {
        const PixelRect& r = myBlocks[b];
        place[b + 1] = place[b] + gridCount(r.top, std::min(r.bottom, rect.bottom), rect.top) *
                                      gridCount(r.left, std::min(r.right, rect.right), rect.left);
    }
    PixelSample local;
    local.bands = bands;
    local.data.reserve(place.back() * bands);
    AdviseHugePages(local.data.data(), local.data.capacity() * sizeof(float));
    local.data.resize(place.back() * bands);
    std::vector<std::size_t> filled(myBlocks.size(), 0);
    const bool ok = blocks.ForEachBlock(
        [&](const PixelBlock& block, int) {
            const int at = mine.at({block.y, block.x});
            float* to = local.data.data() + place[at] * bands;
            const int row0 = firstOnGrid(block.y, rect.top), col0 = firstOnGrid(block.x, rect.left);
            for (int row = row0; row < block.y + block.height && row < rect.bottom; row += step)
                for (int col = col0; col < block.x + block.width && col < rect.right; col += step) {
                    const int i = (row - block.y) * block.width + (col - block.x);
                    if (block.valid[i])
                        std::copy_n(block.Pixel(i), bands, to + filled[at]++ * bands);
                }
        },
        progress, select);
    if (!ok)
        return false;
    std::vector<std::size_t> starts{0};
    std::vector<int> numbers;
    for (size_t b = 0; b < myBlocks.size(); ++b) {
        const auto from = local.data.begin() + static_cast<std::ptrdiff_t>(place[b] * bands);
        std::copy(from, from + static_cast<std::ptrdiff_t>(filled[b] * bands),
                  local.data.begin() +
                      static_cast<std::ptrdiff_t>(starts.back() * bands)); // never rightwards
        starts.push_back(starts.back() + filled[b]);
        numbers.push_back(number.at({myBlocks[b].top, myBlocks[b].left}));
    }
    local.data.resize(starts.back() * bands);
    out.sample = SampleShare(comm, std::move(local), std::move(starts), std::move(numbers),
                             static_cast<int>(number.size()));
    auto visited = static_cast<std::int64_t>(place.back()); // this rank's grid pixels, valid or not
    comm.Allreduce(&visited, 1, Communicator::Reduce::Sum);
    out.weight = visited > 0 ? total / static_cast<double>(visited) : 1.0;
    return true;
}

std::string formatDouble(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

} // namespace

// The steps K-Means and ISODATA share: sample, fit (the caller's), label, write.
class UnsupervisedRun {
public:
    UnsupervisedRun(CRasterSource& input, const std::vector<int>& bands, const CRasterAOI* aoi,
                    PixelRect rect)
        : m_blocks(input, bands, aoi, rect), m_rect(rect), m_input(input),
          m_bands(static_cast<int>(bands.size())) {
        m_blocks.ShareAmongRanks(Cluster());
    }

    BlockProcessor& Blocks() { return m_blocks; }
    const PixelRect& Rect() const { return m_rect; }
    int Bands() const { return m_bands; }

    // Labels every pixel with its nearest centre into the record's output.
    bool Label(const Centres& centres, const AlgorithmParam& record,
               const std::map<std::string, std::string>& metadata, const BlockProcessor::Progress& progress,
               std::wstring& error) {
        ClassRasterWriter writer;
        if (!writer.Create(record.m_outputPath, record.m_outputFormat, m_input,
                           static_cast<int>(centres.size()), record.m_creationOptions)) {
            error = writer.GetLastError();
            return false;
        }
        const FlatCentres flat(centres);
        const bool ok = m_blocks.LabelBlocks(
            [&](const PixelBlock& block, std::uint16_t* labels, int) {
                for (int i = 0; i < block.PixelCount(); ++i)
                    if (block.valid[i])
                        labels[i] = static_cast<std::uint16_t>(flat.Nearest(block.Pixel(i)) + 1);
            },
            writer, progress);
        if (!ok) {
            error = m_blocks.GetLastError();
            writer.Abort();
            return false;
        }
        if (!writer.Commit(NumberedClasses(static_cast<int>(centres.size())), metadata)) {
            error = writer.GetLastError();
            return false;
        }
        return true;
    }

private:
    BlockProcessor m_blocks;
    PixelRect m_rect;
    CRasterSource& m_input;
    int m_bands;
};

CKMeanClassify::CKMeanClassify(const AlgorithmParam* param)
    : CUnsupervisedClassify(CopyRecordAs<KMeanClassifyParam>(param)) {}

namespace {

// What both methods declare alike.
template <class Record> ParamTable<Record> sharedUnsupervisedParameters(int maxClasses) {
    using R = Record;
    return std::move(
        ParamTable<R>()
            .Add("classes", &R::m_classCount, "K", "number of classes")
            .Range(1, maxClasses)
            .Add("iterations", &R::m_maxIterations, "N", "maximum number of iterations")
            .Range(1, 100000)
            .Add("change", &R::m_changeThreshold, "FRACTION",
                 "convergence threshold: stop when at most this fraction of pixels changes class")
            .Range(0, 1)
            .Add("sample", &R::m_sampleLimit, "PIXELS",
                 "pixels the centres are fitted on (evenly spread); whole image when smaller")
            .Range(1, 1e12));
}

} // namespace

const ParamTable<KMeanClassifyParam>& KMeansParameters() {
    using R = KMeanClassifyParam;
    static const ParamTable<R> table =
        sharedUnsupervisedParameters<R>(65535)
            .Add("seed", &R::m_seed, "S", "seed of the k-means++ draws; the same seed gives the same classes")
            .Range(0, 9007199254740991.0);
    return table;
}

const ParamTable<ISODATAClassifyParam>& ISODATAParameters() {
    using R = ISODATAClassifyParam;
    // Up to twice the desired classes may result, and they must fit 16 bits.
    static const ParamTable<R> table =
        sharedUnsupervisedParameters<R>(32767)
            .Add("min-distance", &R::m_minClassDistance, "D", "centres closer than this are merged")
            .Min(0)
            .Add("std-dev", &R::m_splitStdDev, "S",
                 "a class whose largest standard deviation exceeds this may split")
            .MinExcluded(0)
            .Add("merge-pairs", &R::m_maxMergePairs, "N", "merges per iteration at most")
            .Range(0, 100000)
            .Add("min-pixels", &R::m_minPixelCount, "N", "classes with fewer pixels are discarded")
            .Min(0);
    return table;
}

bool CKMeanClassify::Preproccess() {
    return CheckDeclared(KMeansParameters().Validate(Param())) && CBaseAlgorithm::Preproccess();
}

bool CKMeanClassify::Process() {
    if (!Preproccess() || !ConfigRasterAOI())
        return false;
    const KMeanClassifyParam& p = Param();
    return ClusterAndLabel(p.m_sampleLimit, [&](const SampleShare& sample, double, Metadata& metadata) {
        const auto seed = static_cast<std::uint64_t>(p.m_seed);
        KMeansResult fit = RunKMeans(sample, InitialCentres(sample, p.m_classCount, seed), p.m_maxIterations,
                                     p.m_changeThreshold);
        metadata = {{"ALGORITHM", "K-Means"},
                    {"SEED", std::to_string(seed)},
                    {"CLASSES", std::to_string(p.m_classCount)},
                    {"ITERATIONS", std::to_string(fit.iterations)},
                    {"MAX_ITERATIONS", std::to_string(p.m_maxIterations)},
                    {"CHANGE_THRESHOLD", formatDouble(p.m_changeThreshold)}};
        return fit.centres;
    });
}

CISODATAClassify::CISODATAClassify(const ISODATAClassifyParam* param)
    : CUnsupervisedClassify(CopyRecordAs<ISODATAClassifyParam>(param)) {}

bool CISODATAClassify::Preproccess() {
    return CheckDeclared(ISODATAParameters().Validate(Param())) && CBaseAlgorithm::Preproccess();
}

bool CISODATAClassify::Process() {
    if (!Preproccess() || !ConfigRasterAOI())
        return false;
    const ISODATAClassifyParam& p = Param();
    return ClusterAndLabel(p.m_sampleLimit,
                           [&](const SampleShare& sample, double weight, Metadata& metadata) {
                               IsodataSettings settings;
                               settings.desiredClasses = p.m_classCount;
                               settings.maxIterations = p.m_maxIterations;
                               settings.changeThreshold = p.m_changeThreshold;
                               settings.minCentreDistance = p.m_minClassDistance;
                               settings.splitStdDev = p.m_splitStdDev;
                               settings.maxMergePairs = p.m_maxMergePairs;
                               // The minimum class size is in image pixels; each sample pixel stands for
                               // `weight` of them.
                               settings.minClassSize = static_cast<double>(p.m_minPixelCount) / weight;
                               IsodataResult fit = RunIsodata(sample, settings);
                               metadata = {{"ALGORITHM", "ISODATA"},
                                           {"DESIRED_CLASSES", std::to_string(p.m_classCount)},
                                           {"CLASSES", std::to_string(fit.centres.size())},
                                           {"ITERATIONS", std::to_string(fit.iterations)},
                                           {"SPLITS", std::to_string(fit.splits)},
                                           {"MERGES", std::to_string(fit.merges)},
                                           {"DISCARDS", std::to_string(fit.discards)}};
                               return fit.centres;
                           });
}

bool CUnsupervisedClassify::ClusterAndLabel(long long sampleLimit, const Fit& fit) {
    UnsupervisedRun run(*m_input, m_bands, m_aoi.get(), ProcessingRect());
    GridSample grid;
    if (!gatherSample(Cluster(), run.Blocks(), run.Rect(), run.Bands(), sampleLimit,
                      Stage(0, 30, L"Reading pixels"), grid))
        return IsCancelled() ? false : Fail(run.Blocks().GetLastError());
    if (grid.sample.total == 0)
        return Fail(L"No valid pixel to classify: every pixel is nodata or outside the area of interest.");
    ReportStep(L"Clustering");
    Metadata metadata;
    Centres centres = fit(grid.sample, grid.weight, metadata);
    SortCentresByBrightness(centres);
    if (IsCancelled())
        return false;
    // The centres, darkest first, at full precision: class i + 1 is centres[i].
    std::ostringstream centreText;
    centreText.precision(17);
    for (const std::vector<double>& centre : centres)
        for (size_t b = 0; b < centre.size(); ++b)
            centreText << (b ? "," : &centre == centres.data() ? "" : ";") << centre[b];
    metadata["CENTRES"] = centreText.str();
    metadata["SAMPLE_STEP"] = std::to_string(grid.step);
    metadata["SAMPLE_BLOCKS"] = std::to_string(grid.blocksRead);
    metadata["INPUT"] = CommonFun::U2M(m_param->m_inputPath);
    std::wstring error;
    if (!run.Label(centres, *m_param, metadata, Stage(40, 100, L"Writing classes"), error))
        return IsCancelled() ? false : Fail(error);
    ReportPercent(100);
    return true;
}
