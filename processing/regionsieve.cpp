#include "processing/regionsieve.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <tuple>
#include <utility>

namespace tessera {

RegionSieve::RegionSieve(int width, int height, int blockWidth, int blockHeight, bool eight,
                         std::vector<std::uint8_t> sieved, std::uint32_t threshold)
    : m_width(width), m_height(height), m_blockWidth(std::max(1, blockWidth)),
      m_blockHeight(std::max(1, blockHeight)), m_eight(eight), m_sieved(std::move(sieved)),
      m_threshold(threshold) {
    m_blockColumns = (m_width + m_blockWidth - 1) / m_blockWidth;
    const int rows = (m_height + m_blockHeight - 1) / m_blockHeight;
    m_blocks.resize(static_cast<size_t>(m_blockColumns) * rows);
    m_sieved.resize(65536, 0);
}

// Flood fill of the block's regions, seeds in raster order: region ids and
// their first pixels follow the raster order, the same on every call.
int RegionSieve::label(int w, int h, const std::uint16_t* classes, Scratch& s) const {
    const size_t n = static_cast<size_t>(w) * h;
    s.label.assign(n, -1);
    s.queue.resize(n);
    const int neighbours = m_eight ? 8 : 4;
    static const int dc[8] = {1, -1, 0, 0, 1, 1, -1, -1}, dr[8] = {0, 0, 1, -1, 1, -1, 1, -1};
    std::int32_t regions = 0;
    for (size_t seed = 0; seed < n; ++seed) {
        if (s.label[seed] >= 0 || !classes[seed])
            continue;
        const std::uint16_t cls = classes[seed];
        size_t head = 0, tail = 0;
        s.label[seed] = regions;
        s.queue[tail++] = static_cast<std::int32_t>(seed);
        while (head < tail) {
            const int q = s.queue[head++], qc = q % w, qr = q / w;
            for (int d = 0; d < neighbours; ++d) {
                const int nc = qc + dc[d], nr = qr + dr[d];
                if (nc < 0 || nr < 0 || nc >= w || nr >= h)
                    continue;
                const int m = nr * w + nc;
                if (s.label[m] < 0 && classes[m] == cls) {
                    s.label[m] = regions;
                    s.queue[tail++] = m;
                }
            }
        }
        ++regions;
    }
    return regions;
}

void RegionSieve::AddBlock(int x, int y, int w, int h, const std::uint16_t* classes, Scratch& s) {
    Block& b = m_blocks[blockIndex(x, y)];
    b.regions = label(w, h, classes, s);
    b.cls.assign(b.regions, 0);
    b.size.assign(b.regions, 0);
    b.first.assign(b.regions, -1);
    // Pairs of touching pixels of two regions, each pair once: towards the
    // right and the rows below.
    std::vector<std::uint64_t> pairs;
    const auto touch = [&](std::int32_t p, std::int32_t q) {
        if (p >= 0 && q >= 0 && p != q)
            pairs.push_back(static_cast<std::uint64_t>(std::min(p, q)) << 32 |
                            static_cast<std::uint32_t>(std::max(p, q)));
    };
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const size_t i = static_cast<size_t>(r) * w + c;
            const std::int32_t id = s.label[i];
            if (id < 0)
                continue;
            if (b.first[id] < 0) {
                b.cls[id] = classes[i];
                b.first[id] = static_cast<std::int64_t>(y + r) * m_width + (x + c);
            }
            ++b.size[id];
            if (c + 1 < w)
                touch(id, s.label[i + 1]);
            if (r + 1 < h) {
                touch(id, s.label[i + w]);
                if (m_eight && c + 1 < w)
                    touch(id, s.label[i + w + 1]);
                if (m_eight && c > 0)
                    touch(id, s.label[i + w - 1]);
            }
        }
    std::sort(pairs.begin(), pairs.end());
    b.edges.clear();
    for (size_t i = 0; i < pairs.size();) {
        size_t j = i;
        while (j < pairs.size() && pairs[j] == pairs[i])
            ++j;
        b.edges.push_back({static_cast<std::int32_t>(pairs[i] >> 32),
                           static_cast<std::int32_t>(pairs[i] & 0xffffffffu),
                           static_cast<std::int64_t>(j - i)});
        i = j;
    }
    b.top.assign(s.label.begin(), s.label.begin() + w);
    b.bottom.assign(s.label.end() - w, s.label.end());
    b.left.resize(h);
    b.right.resize(h);
    for (int r = 0; r < h; ++r) {
        b.left[r] = s.label[static_cast<size_t>(r) * w];
        b.right[r] = s.label[static_cast<size_t>(r) * w + w - 1];
    }
}

RegionSieve::Id RegionSieve::edgeRegion(int x, int y) const {
    const Block& b = m_blocks[blockIndex(x, y)];
    if (b.regions == 0)
        return -1;
    const int bx = x / m_blockWidth * m_blockWidth, by = y / m_blockHeight * m_blockHeight;
    std::int32_t local = -1;
    if (y == by)
        local = b.top[x - bx];
    else if (y - by == static_cast<int>(b.left.size()) - 1)
        local = b.bottom[x - bx];
    else if (x == bx)
        local = b.left[y - by];
    else
        local = b.right[y - by];
    return local < 0 ? -1 : b.base + local;
}

RegionSieve::Id RegionSieve::find(Id r) {
    Id root = r;
    while (m_parent[root] != root)
        root = m_parent[root];
    while (m_parent[r] != root)
        r = std::exchange(m_parent[r], root);
    return root;
}

// Joins two regions' trees: the root is the larger one's, the size the sum,
// the first pixel the earlier; the class is the caller's business.
RegionSieve::Id RegionSieve::unite(Id a, Id b) {
    a = find(a), b = find(b);
    if (a == b)
        return a;
    if (m_size[a] < m_size[b])
        std::swap(a, b);
    m_parent[b] = a;
    m_size[a] += m_size[b];
    m_first[a] = std::min(m_first[a], m_first[b]);
    return a;
}

void RegionSieve::Merge() {
    // Global ids: the blocks' regions one after another, in raster order of blocks.
    Id total = 0;
    for (Block& b : m_blocks) {
        b.base = total;
        total += b.regions;
    }
    m_parent.resize(total);
    m_cls.resize(total);
    m_size.resize(total);
    m_first.resize(total);
    for (const Block& b : m_blocks)
        for (std::int32_t i = 0; i < b.regions; ++i) {
            m_parent[b.base + i] = b.base + i;
            m_cls[b.base + i] = b.cls[i];
            m_size[b.base + i] = b.size[i];
            m_first[b.base + i] = b.first[i];
        }

    // Pixel pairs across block edges: pixels of one class join their
    // regions, others touch. A pair crossing a row of block edges belongs to
    // that row; one crossing only a column of block edges to that column.
    struct Touch {
        Id a, b;
        std::int64_t pairs;
    };
    std::vector<Touch> touching;
    const auto pair = [&](int x0, int y0, int x1, int y1) {
        const Id a = edgeRegion(x0, y0), b = edgeRegion(x1, y1);
        if (a < 0 || b < 0)
            return;
        if (m_cls[a] == m_cls[b])
            unite(a, b);
        else
            touching.push_back({a, b, 1});
    };
    for (int y = m_blockHeight; y < m_height; y += m_blockHeight)
        for (int x = 0; x < m_width; ++x)
            for (int dx = m_eight ? -1 : 0; dx <= (m_eight ? 1 : 0); ++dx)
                if (x + dx >= 0 && x + dx < m_width)
                    pair(x, y - 1, x + dx, y);
    for (int x = m_blockWidth; x < m_width; x += m_blockWidth)
        for (int y = 0; y < m_height; ++y)
            for (int dy = m_eight ? -1 : 0; dy <= (m_eight ? 1 : 0); ++dy)
                if (y + dy >= 0 && y + dy < m_height && (y + dy) / m_blockHeight == y / m_blockHeight)
                    pair(x - 1, y, x, y + dy);

    // Which regions may go: those of a sieved class under the threshold.
    // Only they keep their touching regions, with the pixel pairs shared.
    const auto small = [&](Id root) { return !stays(root); };
    std::vector<std::vector<std::pair<Id, std::int64_t>>> around(total);
    const auto note = [&](Id a, Id b, std::int64_t pairs) {
        a = find(a), b = find(b);
        if (small(a))
            around[a].emplace_back(b, pairs);
        if (small(b))
            around[b].emplace_back(a, pairs);
    };
    for (Block& b : m_blocks) {
        for (const Edge& e : b.edges)
            note(b.base + e.a, b.base + e.b, e.pairs);
        std::vector<Edge>().swap(b.edges);
    }
    for (const Touch& t : touching)
        note(t.a, t.b, t.pairs);
    std::vector<Touch>().swap(touching);

    // Smallest first; among equal sizes the region whose first pixel comes
    // first in raster order. A region merged into another small one comes
    // back with its new size; stale entries are skipped.
    using Key = std::tuple<std::int64_t, std::int64_t, Id>; // size, first pixel, root
    std::priority_queue<Key, std::vector<Key>, std::greater<Key>> queue;
    for (Id r = 0; r < total; ++r)
        if (find(r) == r && small(r))
            queue.emplace(m_size[r], m_first[r], r);
    m_smallBefore = static_cast<std::int64_t>(queue.size());
    std::vector<std::pair<std::uint16_t, std::int64_t>> votes;
    while (!queue.empty()) {
        const auto [size, first, r] = queue.top();
        queue.pop();
        if (find(r) != r || m_size[r] != size || !small(r))
            continue;
        // The touching regions as they are now, pairs summed per region.
        auto& list = around[r];
        for (auto& [other, pairs] : list)
            other = find(other);
        std::erase_if(list, [&](const auto& e) { return e.first == r; });
        std::sort(list.begin(), list.end());
        size_t kept = 0;
        for (size_t i = 0; i < list.size(); ++i) {
            if (kept > 0 && list[kept - 1].first == list[i].first)
                list[kept - 1].second += list[i].second;
            else
                list[kept++] = list[i];
        }
        list.resize(kept);
        if (list.empty()) {
            ++m_smallAfter; // nothing around it but no class or the image's edge: it stays
            continue;
        }
        // The vote: pixel pairs shared with each class, counting the regions
        // that stay when there is any, otherwise every touching region.
        const bool anyStays =
            std::any_of(list.begin(), list.end(), [&](const auto& e) { return stays(e.first); });
        votes.clear();
        for (const auto& [other, pairs] : list) {
            if (anyStays && !stays(other))
                continue;
            auto it = std::find_if(votes.begin(), votes.end(),
                                   [&](const auto& v) { return v.first == m_cls[other]; });
            if (it == votes.end())
                votes.emplace_back(m_cls[other], pairs);
            else
                it->second += pairs;
        }
        std::uint16_t winner = 0;
        std::int64_t most = 0;
        for (const auto& [cls, count] : votes)
            if (count > most || (count == most && cls < winner))
                winner = cls, most = count;
        // The region takes the class and with it joins every touching region of that class.
        std::vector<std::pair<Id, std::int64_t>> joined = std::move(list);
        std::vector<Id> partners;
        for (const auto& [other, pairs] : joined)
            if (m_cls[other] == winner)
                partners.push_back(other);
        Id root = r;
        for (const Id other : partners) {
            joined.insert(joined.end(), around[other].begin(), around[other].end());
            std::vector<std::pair<Id, std::int64_t>>().swap(around[other]);
            root = unite(root, other);
        }
        m_cls[root] = winner;
        if (small(root)) {
            around[root] = std::move(joined);
            queue.emplace(m_size[root], m_first[root], root);
        } else {
            std::vector<std::pair<Id, std::int64_t>>().swap(around[root]);
        }
    }
    m_final.resize(total);
    for (Id r = 0; r < total; ++r)
        m_final[r] = m_cls[find(r)];
}

void RegionSieve::Relabel(int x, int y, int w, int h, const std::uint16_t* classes, std::uint16_t* out,
                          Scratch& s) const {
    const Block& b = m_blocks[blockIndex(x, y)];
    label(w, h, classes, s);
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i)
        out[i] = s.label[i] < 0 ? classes[i] : m_final[b.base + s.label[i]];
}

} // namespace tessera
