#include "processing/regionsieve.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <tuple>

namespace tessera {

namespace {

std::int32_t findRoot(std::vector<std::int32_t>& parent, std::int32_t r) {
    while (parent[r] != r)
        r = parent[r] = parent[parent[r]];
    return r;
}

} // namespace

RegionSieve::RegionSieve(bool eight, std::vector<std::uint8_t> sieved, std::uint32_t threshold)
    : m_eight(eight), m_sieved(std::move(sieved)), m_threshold(threshold) {
    m_sieved.resize(65536, 0);
}

int RegionSieve::FirstHalo() const {
    return static_cast<int>(std::clamp<std::uint32_t>(2 * m_threshold, 16, 256));
}

// Two-pass labelling: provisional labels joined with a union-find, then
// numbered in raster order of their first pixels, so that region ids order
// the regions as their first pixels do.
int RegionSieve::label(const Window& win, Scratch& s) const {
    const int w = win.width, h = win.height;
    const std::uint16_t* classes = win.classes;
    const size_t n = static_cast<size_t>(w) * h;
    s.label.resize(n);
    s.parent.clear();
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const size_t i = static_cast<size_t>(r) * w + c;
            const std::uint16_t v = classes[i];
            if (!v) {
                s.label[i] = -1;
                continue;
            }
            std::int32_t l = -1;
            const auto join = [&](size_t j) {
                if (classes[j] != v)
                    return;
                const std::int32_t other = findRoot(s.parent, s.label[j]);
                if (l < 0)
                    l = other;
                else if (other != l) {
                    const auto [low, high] = std::minmax(l, other);
                    s.parent[high] = low;
                    l = low;
                }
            };
            if (c > 0)
                join(i - 1);
            if (r > 0) {
                join(i - w);
                if (m_eight && c > 0)
                    join(i - w - 1);
                if (m_eight && c + 1 < w)
                    join(i - w + 1);
            }
            if (l < 0) {
                l = static_cast<std::int32_t>(s.parent.size());
                s.parent.push_back(l);
            }
            s.label[i] = l;
        }
    // Roots are the smallest provisional label of their region, met first.
    std::int32_t regions = 0;
    for (std::int32_t& p : s.parent)
        p = p == static_cast<std::int32_t>(&p - s.parent.data()) ? regions++ : s.parent[p];
    for (size_t i = 0; i < n; ++i)
        if (s.label[i] >= 0)
            s.label[i] = s.parent[s.label[i]];
    return regions;
}

bool RegionSieve::SieveCore(const Window& win, std::uint16_t* out, Counts& counts, Scratch& s) const {
    const int w = win.width, h = win.height;
    const std::uint16_t* classes = win.classes;
    const std::int32_t regions = label(win, s);

    s.cls.assign(regions, 0);
    s.size.assign(regions, 0);
    s.first.assign(regions, -1);
    for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i)
        if (const std::int32_t id = s.label[i]; id >= 0) {
            if (s.first[id] < 0)
                s.first[id] = static_cast<std::int32_t>(i), s.cls[id] = classes[i];
            ++s.size[id];
        }
    const auto small0 = [&](std::int32_t id) { return m_sieved[s.cls[id]] && s.size[id] < m_threshold; };
    // A small region on an open edge may be larger than it looks here.
    s.open.assign(regions, 0);
    const auto markOpen = [&](int c, int r) {
        if (const std::int32_t id = s.label[static_cast<size_t>(r) * w + c]; id >= 0)
            s.open[id] = 1;
    };
    for (int c = 0; c < w; ++c) {
        if (win.openTop)
            markOpen(c, 0);
        if (win.openBottom)
            markOpen(c, h - 1);
    }
    for (int r = 0; r < h; ++r) {
        if (win.openLeft)
            markOpen(0, r);
        if (win.openRight)
            markOpen(w - 1, r);
    }

    // Clusters: small regions joined where they touch. A small region lists
    // every touching pixel pair with its neighbour (summed when it merges).
    s.small.resize(regions);
    s.cluster.resize(regions);
    if (s.around.size() < static_cast<size_t>(regions))
        s.around.resize(regions);
    for (std::int32_t id = 0; id < regions; ++id) {
        s.small[id] = small0(id);
        s.cluster[id] = id;
        s.around[id].clear();
    }
    const auto touch = [&](std::int32_t a, std::int32_t b) {
        if (b < 0 || a == b)
            return;
        if (s.small[a])
            s.around[a].emplace_back(b, 1);
        if (s.small[b])
            s.around[b].emplace_back(a, 1);
        if (s.small[a] && s.small[b]) {
            const std::int32_t ra = findRoot(s.cluster, a), rb = findRoot(s.cluster, b);
            if (ra != rb)
                s.cluster[std::max(ra, rb)] = std::min(ra, rb);
        }
    };
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const size_t i = static_cast<size_t>(r) * w + c;
            const std::int32_t id = s.label[i];
            if (id < 0)
                continue;
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
    // A cluster is settled here unless one of its regions reaches an open
    // edge; the core needs every cluster meeting it settled.
    s.needed.assign(regions, 0);
    for (std::int32_t id = 0; id < regions; ++id)
        if (s.small[id] && s.open[id])
            s.needed[findRoot(s.cluster, id)] = 2;
    for (int r = 0; r < win.coreHeight; ++r)
        for (int c = 0; c < win.coreWidth; ++c) {
            const std::int32_t id = s.label[static_cast<size_t>(win.coreY + r) * w + win.coreX + c];
            if (id < 0 || !s.small[id])
                continue;
            std::uint8_t& state = s.needed[findRoot(s.cluster, id)];
            if (state == 2)
                return false;
            state = 1;
        }
    const auto inCore = [&](std::int32_t pixel) {
        const int r = pixel / w - win.coreY, c = pixel % w - win.coreX;
        return r >= 0 && c >= 0 && r < win.coreHeight && c < win.coreWidth;
    };

    // Merging, from here on a union-find of regions (parent); size and first
    // pixel are the root's. Smallest first; among equal sizes the region
    // whose first pixel comes first in raster order, which is the lower id.
    // A region merged into another small one comes back with its new size;
    // stale entries are skipped.
    std::vector<std::int32_t>& parent = s.parent;
    parent.resize(regions);
    for (std::int32_t id = 0; id < regions; ++id)
        parent[id] = id;
    const auto stays = [&](std::int32_t root) {
        return !m_sieved[s.cls[root]] || s.size[root] >= m_threshold;
    };
    const auto unite = [&](std::int32_t a, std::int32_t b) {
        a = findRoot(parent, a), b = findRoot(parent, b);
        if (a == b)
            return a;
        if (s.size[a] < s.size[b] || (s.size[a] == s.size[b] && b < a))
            std::swap(a, b);
        parent[b] = a;
        s.size[a] += s.size[b];
        s.first[a] = std::min(s.first[a], s.first[b]);
        return a;
    };
    using Key = std::tuple<std::int64_t, std::int32_t, std::int32_t>; // size, first pixel, root
    std::priority_queue<Key, std::vector<Key>, std::greater<Key>> queue;
    Counts found;
    for (std::int32_t id = 0; id < regions; ++id)
        if (s.small[id] && s.needed[findRoot(s.cluster, id)] == 1) {
            queue.emplace(s.size[id], s.first[id], id);
            found.smallBefore += inCore(s.first[id]);
        }
    std::vector<std::pair<std::uint16_t, std::int64_t>> votes;
    std::vector<std::pair<std::int32_t, std::int32_t>> joined;
    while (!queue.empty()) {
        const auto [size, first, r] = queue.top();
        queue.pop();
        if (findRoot(parent, r) != r || s.size[r] != size || stays(r))
            continue;
        // The touching regions as they are now, pairs summed per region.
        auto& list = s.around[r];
        for (auto& [other, pairs] : list)
            other = findRoot(parent, other);
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
            // Nothing around it but no class or the image's edge: it stays small.
            found.smallAfter += inCore(s.first[r]);
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
                                   [&](const auto& v) { return v.first == s.cls[other]; });
            if (it == votes.end())
                votes.emplace_back(s.cls[other], pairs);
            else
                it->second += pairs;
        }
        std::uint16_t winner = 0;
        std::int64_t most = 0;
        for (const auto& [cls, count] : votes)
            if (count > most || (count == most && cls < winner))
                winner = cls, most = count;
        // The region takes the class and with it joins every touching region of that class.
        joined.swap(list);
        list.clear();
        std::int32_t root = r;
        const size_t own = joined.size();
        for (size_t i = 0; i < own; ++i) {
            const std::int32_t other = joined[i].first;
            if (s.cls[other] != winner)
                continue;
            joined.insert(joined.end(), s.around[other].begin(), s.around[other].end());
            s.around[other].clear();
            root = unite(root, other);
        }
        s.cls[root] = winner;
        if (!stays(root)) {
            s.around[root].swap(joined);
            queue.emplace(s.size[root], s.first[root], root);
        } else {
            s.around[root].clear();
        }
        joined.clear();
    }

    for (int r = 0; r < win.coreHeight; ++r)
        for (int c = 0; c < win.coreWidth; ++c) {
            const size_t i = static_cast<size_t>(win.coreY + r) * w + win.coreX + c;
            const std::int32_t id = s.label[i];
            out[static_cast<size_t>(r) * win.coreWidth + c] =
                id < 0 ? classes[i] : s.cls[findRoot(parent, id)];
        }
    counts.smallBefore += found.smallBefore;
    counts.smallAfter += found.smallAfter;
    return true;
}

} // namespace tessera
