#pragma once
// The one block loop every algorithm runs on: the chosen bands are read
// block by block (the input's tiles, or strips of rows), each block is handed
// with its validity mask to a kernel, blocks are spread over all cores, and
// progress and cancel are checked between blocks. Each worker thread reads
// through its own GDAL handle; memory stays flat whatever the image size.
// Kernels that need neighbours get each block inside a window with a halo.

#include "engine/aoi.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CRasterSource;

namespace tessera {
class ClassRasterWriter;
class Communicator;

// One block of pixels as a kernel sees it.
struct PixelBlock {
    int x = 0, y = 0, width = 0, height = 0; // in image pixels
    int bands = 0;                           // values per pixel
    // Pixel-interleaved values: values[(row * width + column) * bands + b],
    // as the image holds them, for valid and invalid pixels alike.
    const float* values = nullptr;
    // Per pixel: 1 when the pixel is inside the processing rectangle and the
    // AOI and is not nodata in any band; 0 otherwise.
    const std::uint8_t* valid = nullptr;

    int PixelCount() const { return width * height; }
    const float* Pixel(int index) const { return values + static_cast<size_t>(index) * bands; }
};

// Hands the valid pixels among count (valid may be null: all valid) to
// chunk(index, m) in runs of at most chunkSize, index[0..m) their positions:
// kernels that label a block a vectorised pass or matrix product at a time.
template <class Chunk>
void ForEachValidChunk(int count, const std::uint8_t* valid, int chunkSize, Chunk chunk) {
    std::vector<int> index(static_cast<std::size_t>(chunkSize));
    for (int first = 0; first < count;) {
        int m = 0;
        for (; first < count && m < chunkSize; ++first)
            if (!valid || valid[first])
                index[m++] = first;
        if (m > 0)
            chunk(index, m);
    }
}

class BlockProcessor {
public:
    // Progress of the loop: the fraction done; false stops it.
    using Progress = std::function<bool(double fraction)>;

    // The processor keeps references to input and aoi (which may be null).
    BlockProcessor(const CRasterSource& input, std::vector<int> bands, const CRasterAOI* aoi, PixelRect rect);

    // Reading pass over the blocks that meet the rectangle:
    // kernel(block, worker) with worker in [0, WorkerCount()). Kernels keep
    // per-worker state; blocks come in no particular order.
    bool ForEachBlock(const std::function<void(const PixelBlock&, int worker)>& kernel,
                      const Progress& progress);
    // The same over the blocks that meet the rectangle and that select
    // accepts (given each block's pixel rectangle); the others are not read.
    bool ForEachBlock(const std::function<void(const PixelBlock&, int worker)>& kernel,
                      const Progress& progress, const std::function<bool(const PixelRect& block)>& select);
    // The blocks of a reading pass: their pixel rectangles, in raster order.
    std::vector<PixelRect> BlocksInRect() const;

    // Labelling pass over the whole image: kernel fills one label per pixel
    // of the block (invalid pixels are set to 0 beforehand and should stay
    // 0); the labels are written to out. Blocks outside the rectangle are
    // written as 0 without reading.
    bool LabelBlocks(const std::function<void(const PixelBlock&, std::uint16_t* labels, int worker)>& kernel,
                     ClassRasterWriter& out, const Progress& progress);
    // The same with context: each block (the core) is read inside a window
    // reaching `halo` pixels further on every side, clamped to the image.
    // kernel gets the window's values and validity and the core rectangle,
    // and fills one label per core pixel, row by row. A halo that reaches
    // across the image makes the whole image one block.
    using WindowKernel = std::function<void(const PixelBlock& window, const PixelRect& core,
                                            std::uint16_t* labels, int worker)>;
    bool LabelWindows(int halo, const WindowKernel& kernel, ClassRasterWriter& out, const Progress& progress);

    int WorkerCount() const { return m_workers; }
    // Why the last pass failed (empty when it was cancelled).
    const std::wstring& GetLastError() const { return m_error; }
    // The block grid, for tests: block size in pixels.
    int BlockWidth() const { return m_blockWidth; }
    int BlockHeight() const { return m_blockHeight; }

    // Spreads the passes over the ranks of comm: each rank reads and processes
    // its contiguous share of the blocks (in raster order) of every pass. A
    // labelling pass then writes each rank's share into its own part (the
    // writer on ranks other than 0 holds a part), and rank 0 copies the parts
    // into its output; a failure or cancel on any rank fails the pass on all,
    // with the failing rank's message. The workers become as many as the
    // CPUs this process may run on (mpirun binds each of a few ranks to a core).
    void ShareAmongRanks(Communicator& comm);
    // The blocks of a reading pass that this rank processes (all of them
    // unless shared), in raster order.
    std::vector<PixelRect> BlocksOfThisRank(const std::function<bool(const PixelRect& block)>& select) const;

    // Overrides the number of worker threads (default: hardware threads).
    void SetWorkerCount(int workers);
    // Overrides the block size; 0 keeps the input's tiles or strips.
    void SetBlockSize(int width, int height);

private:
    struct Job {
        PixelRect core;   // the block
        PixelRect window; // the pixels read: the block and its halo
        bool inRect;
    };
    std::vector<Job> jobs(bool wholeImage, int halo = 0) const;
    // The share of jobs that rank processes (all of them unless shared).
    std::vector<Job> shareOf(const std::vector<Job>& all, int rank) const;
    std::vector<Job> selectedJobs(const std::function<bool(const PixelRect& block)>& select) const;
    bool assembleParts(const std::vector<Job>& all, ClassRasterWriter& out);
    bool run(const std::vector<Job>& jobs,
             const std::function<bool(const Job&, const PixelBlock*, int worker)>& perBlock,
             const Progress& progress);

    const CRasterSource& m_input;
    std::vector<int> m_bands;
    const CRasterAOI* m_aoi;
    PixelRect m_rect;
    int m_blockWidth = 256;
    int m_blockHeight = 256;
    int m_naturalWidth = 256, m_naturalHeight = 256; // from the input's tiles or strips
    int m_workers = 1;
    Communicator* m_comm = nullptr; // set when shared among ranks
    std::wstring m_error;
};

} // namespace tessera
