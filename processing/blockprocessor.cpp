#include "processing/blockprocessor.h"

#include "base/commonfun.h"
#include "engine/rasterband.h"
#include "engine/rastersource.h"
#include "processing/classraster.h"
#include "processing/distributed.h"

#include <cpl_error.h>
#include <gdal_priv.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace tessera {

namespace {

constexpr int kTargetBlockPixels = 1 << 18;

// Writes labelled blocks on a thread of its own, so that the workers read
// and label the next blocks while these are written (and compressed). At
// most `depth` blocks wait, so memory stays bounded; their buffers are
// reused.
class BackgroundWriter {
public:
    BackgroundWriter(ClassRasterWriter& out, size_t depth) : m_out(out), m_depth(depth) {
        m_thread = std::thread([this] { loop(); });
    }
    ~BackgroundWriter() { Finish(); }

    // A zeroed buffer of `pixels` labels, a used one when there is one.
    std::vector<std::uint16_t> Take(size_t pixels) {
        std::vector<std::uint16_t> buffer;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_spare.empty()) {
                buffer = std::move(m_spare.back());
                m_spare.pop_back();
            }
        }
        buffer.assign(pixels, 0);
        return buffer;
    }
    // Queues the labels of a block, waiting while the queue is full; false
    // once a write has failed.
    bool Put(const PixelRect& core, std::vector<std::uint16_t> labels) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_room.wait(lock, [&] { return m_queue.size() < m_depth || m_failed; });
        if (m_failed)
            return false;
        m_queue.push_back({core, std::move(labels)});
        m_ready.notify_one();
        return true;
    }
    // Writes what is queued and stops the thread; false when a write failed.
    bool Finish() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_one();
        if (m_thread.joinable())
            m_thread.join();
        return !m_failed;
    }

private:
    struct Block {
        PixelRect core;
        std::vector<std::uint16_t> labels;
    };
    void loop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (true) {
            m_ready.wait(lock, [&] { return !m_queue.empty() || m_closed; });
            if (m_queue.empty())
                return;
            Block block = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            const PixelRect& c = block.core;
            const bool ok =
                m_failed || m_out.WriteBlock(c.left, c.top, c.Width(), c.Height(), block.labels.data());
            lock.lock();
            m_failed = !ok;
            m_spare.push_back(std::move(block.labels));
            m_room.notify_all();
        }
    }

    ClassRasterWriter& m_out;
    const size_t m_depth;
    std::mutex m_mutex;
    std::condition_variable m_ready, m_room;
    std::deque<Block> m_queue;
    std::vector<std::vector<std::uint16_t>> m_spare;
    bool m_closed = false;
    bool m_failed = false;
    std::thread m_thread;
};

} // namespace

BlockProcessor::BlockProcessor(const CRasterSource& input, std::vector<int> bands, const CRasterAOI* aoi,
                               PixelRect rect)
    : m_input(input), m_bands(std::move(bands)), m_aoi(aoi), m_rect(rect) {
    const int width = input.GetWidth();
    int bw = width, bh = 1;
    if (auto* band = const_cast<CRasterSource&>(input).GetRasterBand(m_bands.empty() ? 1 : m_bands.front()))
        band->GetBlockSize(bw, bh);
    bw = std::max(1, bw);
    bh = std::max(1, bh);
    if (bw >= width) {
        // Strips: whole rows, a multiple of the natural strip height.
        m_blockWidth = width;
        const int rows = std::max(1, kTargetBlockPixels / std::max(1, width));
        m_blockHeight = std::max(bh, rows / bh * bh);
    } else {
        // Tiles: whole natural tiles, grouped to at least 256 × 256.
        m_blockWidth = bw * std::max(1, 256 / bw);
        m_blockHeight = bh * std::max(1, 256 / bh);
    }
    m_naturalWidth = m_blockWidth;
    m_naturalHeight = m_blockHeight;
    SetBlockSize(0, 0);
    SetWorkerCount(0);
}

void BlockProcessor::SetBlockSize(int width, int height) {
    m_blockWidth = std::min(width > 0 ? width : m_naturalWidth, std::max(1, m_input.GetWidth()));
    m_blockHeight = std::min(height > 0 ? height : m_naturalHeight, std::max(1, m_input.GetHeight()));
}

void BlockProcessor::ShareAmongRanks(Communicator& comm) {
    m_comm = &comm;
    cpu_set_t cpus;
    if (sched_getaffinity(0, sizeof cpus, &cpus) == 0)
        SetWorkerCount(CPU_COUNT(&cpus));
}

void BlockProcessor::SetWorkerCount(int workers) {
    if (workers <= 0)
        workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    m_workers = workers;
}

std::vector<BlockProcessor::Job> BlockProcessor::jobs(bool wholeImage, int halo) const {
    std::vector<Job> list;
    const int width = m_input.GetWidth(), height = m_input.GetHeight();
    int blockWidth = m_blockWidth, blockHeight = m_blockHeight;
    if (halo >= std::max(width, height)) {
        // Every window would be the whole image: read it once.
        blockWidth = std::max(1, width);
        blockHeight = std::max(1, height);
    }
    for (int y = 0; y < height; y += blockHeight)
        for (int x = 0; x < width; x += blockWidth) {
            const PixelRect core{x, y, std::min(x + blockWidth, width), std::min(y + blockHeight, height)};
            const PixelRect window{std::max(0, core.left - halo), std::max(0, core.top - halo),
                                   std::min(width, core.right + halo), std::min(height, core.bottom + halo)};
            const bool inRect = core.left < m_rect.right && core.right > m_rect.left &&
                                core.top < m_rect.bottom && core.bottom > m_rect.top;
            if (inRect || wholeImage)
                list.push_back({core, window, inRect});
        }
    return list;
}

namespace {

// User and system CPU seconds of the whole process so far.
double processCpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
}

} // namespace

bool BlockProcessor::run(const std::vector<Job>& jobs,
                         const std::function<bool(const Job&, const PixelBlock*, int)>& perBlock,
                         const Progress& progress) {
    m_error.clear();
    const std::string path = CommonFun::U2M(m_input.GetPath());
    const int bandCount = static_cast<int>(m_bands.size());
    std::vector<std::optional<float>> nodata(bandCount);
    for (int b = 0; b < bandCount; ++b)
        if (auto* band = const_cast<CRasterSource&>(m_input).GetRasterBand(m_bands[b]))
            if (auto value = band->GetNoDataValue())
                nodata[b] = static_cast<float>(*value);

    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex reportMutex;
    size_t done = 0;
    bool cancelled = false;

    const auto fail = [&](const std::wstring& message) {
        std::lock_guard<std::mutex> lock(reportMutex);
        if (m_error.empty())
            m_error = message;
        stop = true;
    };

    const auto worker = [&](int index) {
        GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
        if (!dataset)
            return fail(L"Cannot read the input image " + m_input.GetPath());
        std::vector<float> values;
        std::vector<std::uint8_t> mask;
        std::vector<int> bandMap(m_bands);
        for (size_t i; (i = next++) < jobs.size() && !stop;) {
            const Job& job = jobs[i];
            const PixelBlock* block = nullptr;
            PixelBlock view;
            if (job.inRect) {
                const int x = job.window.left, y = job.window.top;
                const int width = job.window.Width(), height = job.window.Height();
                const size_t pixels = static_cast<size_t>(width) * height;
                values.resize(pixels * bandCount);
                const int pixelSpace = bandCount * static_cast<int>(sizeof(float));
                if (dataset->RasterIO(GF_Read, x, y, width, height, values.data(), width, height, GDT_Float32,
                                      bandCount, bandMap.data(), pixelSpace,
                                      static_cast<GSpacing>(pixelSpace) * width, sizeof(float),
                                      nullptr) != CE_None)
                    return fail(L"Reading the input image failed at pixel (" + std::to_wstring(x) + L", " +
                                std::to_wstring(y) + L").");
                if (m_aoi)
                    m_aoi->GetMask(x, y, width, height, mask);
                else
                    mask.assign(pixels, 1);
                for (int r = 0; r < height; ++r) {
                    const int row = y + r;
                    for (int c = 0; c < width; ++c) {
                        const size_t p = static_cast<size_t>(r) * width + c;
                        const int col = x + c;
                        if (row < m_rect.top || row >= m_rect.bottom || col < m_rect.left ||
                            col >= m_rect.right) {
                            mask[p] = 0;
                            continue;
                        }
                        if (!mask[p])
                            continue;
                        const float* v = values.data() + p * bandCount;
                        for (int b = 0; b < bandCount; ++b)
                            if (std::isnan(v[b]) || (nodata[b] && v[b] == *nodata[b])) {
                                mask[p] = 0;
                                break;
                            }
                    }
                }
                view = {x, y, width, height, bandCount, values.data(), mask.data()};
                block = &view;
            }
            if (!perBlock(job, block, index))
                return fail(L""); // the callback has set the message
            std::lock_guard<std::mutex> lock(reportMutex);
            ++done;
            if (progress && !cancelled && !progress(static_cast<double>(done) / jobs.size())) {
                cancelled = true;
                stop = true;
            }
        }
    };

    const int threads = std::max(1, std::min<int>(m_workers, static_cast<int>(jobs.size())));
    const auto started = std::chrono::steady_clock::now();
    const double cpuBefore = processCpuSeconds();
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(worker, t);
    worker(0);
    for (std::thread& t : pool)
        t.join();
    // How well the pass kept the cores busy (the writer thread included).
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    CPLDebug("TESSERA", "block pass: %zu blocks on %d threads, %.3f s, CPU %.0f %%", jobs.size(), threads,
             wall, wall > 0 ? 100 * (processCpuSeconds() - cpuBefore) / wall : 0.0);
    if (cancelled)
        m_error.clear();
    return !stop;
}

std::vector<PixelRect> BlockProcessor::BlocksInRect() const {
    std::vector<PixelRect> blocks;
    for (const Job& j : jobs(false))
        blocks.push_back(j.core);
    return blocks;
}

bool BlockProcessor::ForEachBlock(const std::function<void(const PixelBlock&, int)>& kernel,
                                  const Progress& progress) {
    return ForEachBlock(kernel, progress, nullptr);
}

std::vector<BlockProcessor::Job> BlockProcessor::shareOf(const std::vector<Job>& all, int rank) const {
    if (!m_comm || !m_comm->Shared())
        return all;
    const auto [first, last] = ShareOf(static_cast<int>(all.size()), rank, m_comm->Size());
    return {all.begin() + first, all.begin() + last};
}

std::vector<BlockProcessor::Job>
BlockProcessor::selectedJobs(const std::function<bool(const PixelRect&)>& select) const {
    std::vector<Job> selected = jobs(false);
    if (select)
        std::erase_if(selected, [&](const Job& j) { return !select(j.core); });
    return shareOf(selected, m_comm ? m_comm->Rank() : 0);
}

std::vector<PixelRect>
BlockProcessor::BlocksOfThisRank(const std::function<bool(const PixelRect&)>& select) const {
    std::vector<PixelRect> blocks;
    for (const Job& j : selectedJobs(select))
        blocks.push_back(j.core);
    return blocks;
}

bool BlockProcessor::ForEachBlock(const std::function<void(const PixelBlock&, int)>& kernel,
                                  const Progress& progress,
                                  const std::function<bool(const PixelRect&)>& select) {
    const bool ok = run(
        selectedJobs(select),
        [&](const Job&, const PixelBlock* block, int worker) {
            kernel(*block, worker);
            return true;
        },
        progress);
    if (m_comm && m_comm->Shared())
        return !m_comm->AgreeOnError(!ok, m_error);
    return ok;
}

bool BlockProcessor::LabelBlocks(const std::function<void(const PixelBlock&, std::uint16_t*, int)>& kernel,
                                 ClassRasterWriter& out, const Progress& progress) {
    return LabelWindows(
        0,
        [&](const PixelBlock& block, const PixelRect&, std::uint16_t* labels, int worker) {
            kernel(block, labels, worker);
        },
        out, progress);
}

bool BlockProcessor::LabelWindows(int halo, const WindowKernel& kernel, ClassRasterWriter& out,
                                  const Progress& progress) {
    BackgroundWriter writer(out, 2 * static_cast<size_t>(std::max(1, m_workers)));
    const std::vector<Job> all = jobs(true, std::max(0, halo));
    bool ok = run(
        shareOf(all, m_comm ? m_comm->Rank() : 0),
        [&](const Job& job, const PixelBlock* block, int worker) {
            const PixelRect& core = job.core;
            std::vector<std::uint16_t> labels =
                writer.Take(static_cast<size_t>(core.Width()) * core.Height());
            if (block)
                kernel(*block, core, labels.data(), worker);
            return writer.Put(core, std::move(labels));
        },
        progress);
    // Blocks still queued are written even after a cancel: the caller aborts the output then.
    if (!writer.Finish()) {
        ok = false;
        if (m_error.empty())
            m_error = out.GetLastError();
    }
    if (!m_comm || !m_comm->Shared())
        return ok;
    if (m_comm->AgreeOnError(!ok, m_error))
        return false;
    return assembleParts(all, out);
}

bool BlockProcessor::assembleParts(const std::vector<Job>& all, ClassRasterWriter& out) {
    // Each rank other than 0 closes its part and names it; rank 0 reads that
    // rank's blocks from it into the output, counting them as it writes.
    const int rank = m_comm->Rank();
    bool ok = rank == 0 || out.CloseAsPart();
    std::wstring error = ok ? L"" : out.GetLastError();
    std::vector<std::uint16_t> labels;
    for (int r = 1; r < m_comm->Size(); ++r) {
        std::string part = rank == r && ok ? out.TemporaryPath() : std::string();
        m_comm->Broadcast(part, r);
        if (rank != 0 || !ok)
            continue;
        GDALDatasetUniquePtr dataset(
            part.empty() ? nullptr : GDALDataset::Open(part.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
        if (!dataset) {
            ok = false;
            error = L"Cannot read the part written by process " + std::to_wstring(r) + L".";
            break;
        }
        for (const Job& job : shareOf(all, r)) {
            const PixelRect& c = job.core;
            labels.resize(static_cast<size_t>(c.Width()) * c.Height());
            if (dataset->GetRasterBand(1)->RasterIO(GF_Read, c.left, c.top, c.Width(), c.Height(),
                                                    labels.data(), c.Width(), c.Height(), GDT_UInt16, 0, 0,
                                                    nullptr) != CE_None ||
                !out.WriteBlock(c.left, c.top, c.Width(), c.Height(), labels.data())) {
                ok = false;
                error = L"Cannot copy the part written by process " + std::to_wstring(r) + L".";
                break;
            }
        }
    }
    if (m_comm->AgreeOnError(!ok, error)) {
        m_error = error;
        return false;
    }
    return true;
}

} // namespace tessera
