#pragma once
// Straight whole-image references the tests check the algorithms against,
// and the images they run on.

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

// Statistics from their definitions (divisor n).
struct NaiveStats {
    std::int64_t n = 0;
    std::vector<double> min, max, mean, cov;
};
NaiveStats NaiveStatistics(const std::vector<std::vector<double>>& pixels, int bands);

// The 4 or 8 neighbours of pixel p inside a width x height image.
std::vector<int> Neighbours(int p, int width, int height, bool eight);

// Regions of equal values by flood fill over the whole image; pixels whose
// value `counted` refuses belong to none (-1).
struct Regions {
    std::vector<int> of;                   // region of each pixel
    std::vector<std::vector<int>> members; // pixels of each region
};
Regions FloodFill(const std::vector<int>& values, int width, int height, bool eight,
                  const std::function<bool(int value)>& counted);

// Classes lowest..highest in patches of a coarse random grid, with
// single-pixel speckles and a few zeros: regions of every size and shape.
std::vector<int> PatchyClasses(int width, int height, int lowest, int highest, unsigned seed);

// The class sieve by its definition, one merge at a time over the whole
// image: of the regions of a sieved class under the threshold that touch
// another region, the smallest (then the one whose first pixel comes first)
// takes the class sharing most pixel pairs with it, among the touching
// regions that stay (unsieved class or large enough) when there is any,
// else among all; ties to the lower class. Repeated until none is left.
std::vector<int> NaiveSieve(std::vector<int> values, int width, int height, const std::set<int>& sieved,
                            unsigned threshold, bool eight);
