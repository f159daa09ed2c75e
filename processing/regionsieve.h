#pragma once
// The class sieve's arithmetic: the regions of a class image (connected
// pixels of one class), found block by block and joined across the block
// edges into the regions of the whole image, and the merging of the small
// ones, smallest first, until none is left beside another region. The
// result depends on the image alone, not on the block grid or the order
// blocks are met in. Memory: a few numbers per region and per pair of
// touching regions, and the pixels along the block edges; not the image.

#include <cstdint>
#include <vector>

namespace tessera {

class RegionSieve {
public:
    // sieved[c] != 0 for the classes whose small regions are removed; class 0
    // (no class) never forms a region. Blocks form a grid of blockWidth ×
    // blockHeight cells from the image's top-left corner.
    RegionSieve(int width, int height, int blockWidth, int blockHeight, bool eight,
                std::vector<std::uint8_t> sieved, std::uint32_t threshold);

    // Per-thread buffers of AddBlock and Relabel.
    struct Scratch {
        std::vector<std::int32_t> label, queue;
    };

    // Records the regions of one block of class values (row by row, 0 for no
    // class). Thread-safe across different blocks; blocks never added count
    // as holding no class.
    void AddBlock(int x, int y, int w, int h, const std::uint16_t* classes, Scratch& scratch);
    // Joins the blocks' regions and merges the small ones (single-threaded).
    void Merge();
    // The classes of a block after Merge, given its class values again.
    void Relabel(int x, int y, int w, int h, const std::uint16_t* classes, std::uint16_t* out,
                 Scratch& scratch) const;

    // Regions of a sieved class under the threshold before and after Merge.
    std::int64_t SmallBefore() const { return m_smallBefore; }
    std::int64_t SmallAfter() const { return m_smallAfter; }

private:
    using Id = std::int64_t;
    struct Edge {
        std::int32_t a, b; // local regions of the block
        std::int64_t pairs;
    };
    struct Block {
        std::int32_t regions = 0;
        std::vector<std::uint16_t> cls;
        std::vector<std::uint32_t> size;
        std::vector<std::int64_t> first; // raster index of the first pixel
        std::vector<Edge> edges;
        std::vector<std::int32_t> top, bottom, left, right; // local region along each edge, -1 none
        Id base = 0;
    };

    int label(int w, int h, const std::uint16_t* classes, Scratch& scratch) const;
    int blockIndex(int x, int y) const { return (y / m_blockHeight) * m_blockColumns + x / m_blockWidth; }
    // Region at an image pixel on a block's edge; -1 for none.
    Id edgeRegion(int x, int y) const;
    Id find(Id r);
    Id unite(Id a, Id b);
    bool stays(Id root) const { return !m_sieved[m_cls[root]] || m_size[root] >= m_threshold; }

    int m_width, m_height, m_blockWidth, m_blockHeight, m_blockColumns;
    bool m_eight;
    std::vector<std::uint8_t> m_sieved;
    std::uint32_t m_threshold;
    std::vector<Block> m_blocks;
    // Per region, by global id (block base + local id).
    std::vector<Id> m_parent;
    std::vector<std::uint16_t> m_cls;
    std::vector<std::int64_t> m_size, m_first;
    std::vector<std::uint16_t> m_final; // class of each region after Merge
    std::int64_t m_smallBefore = 0, m_smallAfter = 0;
};

} // namespace tessera
