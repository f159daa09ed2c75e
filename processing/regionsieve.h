#pragma once
// The class sieve's arithmetic: the regions of a class image (connected
// pixels of one class) and the merging of the small ones, smallest first,
// until none is left beside another region.
//
// It runs window by window. Small regions that touch each other form
// clusters; clusters are separated by regions that stay, whose class never
// changes, so each cluster merges on its own and its result is the same
// whether the rest of the image is seen or not. A window (a block and a halo
// around it) therefore settles the block's pixels whenever every cluster
// meeting the block lies inside the window; when one reaches the window's
// edge the block needs a wider window. The result depends on the image
// alone, not on the block grid or the thread count, and memory is a few
// numbers per pixel of one window per thread.

#include <cstdint>
#include <utility>
#include <vector>

namespace tessera {

class RegionSieve {
public:
    // sieved[c] != 0 for the classes whose small regions are removed; class 0
    // (no class) never forms a region.
    RegionSieve(bool eight, std::vector<std::uint8_t> sieved, std::uint32_t threshold);

    // A window of class values (row by row, 0 for no class) and where it lies.
    struct Window {
        int width = 0, height = 0;
        const std::uint16_t* classes = nullptr;
        // The block to settle, in window pixels.
        int coreX = 0, coreY = 0, coreWidth = 0, coreHeight = 0;
        // Edges of the window inside the image: regions touching them may go on beyond.
        bool openLeft = false, openTop = false, openRight = false, openBottom = false;
    };
    // Small regions of the input, and those left with no neighbour; each
    // counted by the block holding its first pixel.
    struct Counts {
        std::int64_t smallBefore = 0, smallAfter = 0;
    };
    // Per-thread buffers, kept from window to window.
    struct Scratch {
        std::vector<std::int32_t> label, queue, parent, cluster;
        std::vector<std::uint16_t> cls;
        std::vector<std::int64_t> size;
        std::vector<std::int32_t> first;
        std::vector<std::uint8_t> small, open, needed;
        std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> around;
    };

    // The sieved classes of the core, row by row, into out; false when a
    // cluster meeting the core reaches an open edge of the window (out is
    // then incomplete and counts unchanged).
    bool SieveCore(const Window& window, std::uint16_t* out, Counts& counts, Scratch& scratch) const;

    // The halo a window gets first: clusters rarely reach further.
    int FirstHalo() const;

private:
    int label(const Window& window, Scratch& scratch) const;

    bool m_eight;
    std::vector<std::uint8_t> m_sieved;
    std::uint32_t m_threshold;
};

} // namespace tessera
