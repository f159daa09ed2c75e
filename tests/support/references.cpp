#include "support/references.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

NaiveStats NaiveStatistics(const std::vector<std::vector<double>>& pixels, int k) {
    NaiveStats s;
    s.n = static_cast<std::int64_t>(pixels.size());
    s.min.assign(k, INFINITY);
    s.max.assign(k, -INFINITY);
    s.mean.assign(k, 0);
    s.cov.assign(static_cast<size_t>(k) * k, 0);
    for (const auto& p : pixels)
        for (int b = 0; b < k; ++b) {
            s.min[b] = std::min(s.min[b], p[b]);
            s.max[b] = std::max(s.max[b], p[b]);
            s.mean[b] += p[b] / s.n;
        }
    for (const auto& p : pixels)
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j)
                s.cov[i * k + j] += (p[i] - s.mean[i]) * (p[j] - s.mean[j]) / s.n;
    return s;
}

std::vector<int> Neighbours(int p, int width, int height, bool eight) {
    std::vector<int> out;
    const int r = p / width, c = p % width;
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
            if ((dr || dc) && (eight || !dr || !dc) && r + dr >= 0 && r + dr < height && c + dc >= 0 &&
                c + dc < width)
                out.push_back((r + dr) * width + c + dc);
    return out;
}

Regions FloodFill(const std::vector<int>& values, int width, int height, bool eight,
                  const std::function<bool(int)>& counted) {
    Regions regions;
    regions.of.assign(values.size(), -1);
    for (int p = 0; p < static_cast<int>(values.size()); ++p) {
        if (regions.of[p] >= 0 || !counted(values[p]))
            continue;
        const int id = static_cast<int>(regions.members.size());
        regions.members.push_back({p});
        regions.of[p] = id;
        for (size_t k = 0; k < regions.members[id].size(); ++k)
            for (int q : Neighbours(regions.members[id][k], width, height, eight))
                if (regions.of[q] < 0 && values[q] == values[p]) {
                    regions.of[q] = id;
                    regions.members[id].push_back(q);
                }
    }
    return regions;
}

std::vector<int> PatchyClasses(int width, int height, int lowest, int highest, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> cls(lowest, highest), roll(0, 99);
    const int step = 4, across = width / step + 2;
    std::vector<int> coarse(static_cast<size_t>(across) * (height / step + 2));
    for (int& c : coarse)
        c = cls(rng);
    std::vector<int> v(static_cast<size_t>(width) * height);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const int x = roll(rng);
            v[r * width + c] = x < 12 ? cls(rng) : x < 14 ? 0 : coarse[(r / step) * across + c / step];
        }
    return v;
}

std::vector<int> NaiveSieve(std::vector<int> v, int width, int height, const std::set<int>& sieved,
                            unsigned threshold, bool eight) {
    for (;;) {
        const Regions regions = FloodFill(v, width, height, eight, [](int x) { return x != 0; });
        const auto& members = regions.members;
        const auto stays = [&](int id) {
            return !sieved.count(v[members[id][0]]) || members[id].size() >= threshold;
        };
        int pick = -1;
        for (int id = 0; id < static_cast<int>(members.size()); ++id) {
            if (stays(id) || (pick >= 0 && members[id].size() >= members[pick].size()))
                continue;
            for (int p : members[id])
                for (int q : Neighbours(p, width, height, eight))
                    if (regions.of[q] >= 0 && regions.of[q] != id)
                        pick = id;
        }
        if (pick < 0)
            return v;
        std::map<int, long> staying, all;
        for (int p : members[pick])
            for (int q : Neighbours(p, width, height, eight))
                if (regions.of[q] >= 0 && regions.of[q] != pick) {
                    ++all[v[q]];
                    if (stays(regions.of[q]))
                        ++staying[v[q]];
                }
        int best = 0;
        long most = 0;
        for (const auto& [cls, count] : staying.empty() ? all : staying) // ascending: ties keep the lower
            if (count > most)
                best = cls, most = count;
        for (int p : members[pick])
            v[p] = best;
    }
}
