#pragma once
// A seeded synthetic scene for tests, the demo and the benchmarks: a
// multispectral image of K classes in irregular patches, its ground truth,
// training polygons and check points.
//
// Every pixel is a pure function of the parameters and its own position:
// the class comes from a warped Voronoi field over a jittered grid of cells,
// the values from per-class Gaussian spectra drawn with a counter-based hash
// of (seed, column, row, band). Any block can be computed on its own, so the
// writer streams the image tile by tile in flat memory, and the pixels do not
// depend on the block size or the order blocks are computed in.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

struct SceneParams {
    int width = 1000;
    int height = 1000;
    int bands = 4;
    int classes = 6;
    std::uint64_t seed = 1;
    double pixelSize = 10.0; // metres
    int epsg = 32650;        // a projected CRS (UTM 50N)
    int points = 500;        // check points
    int polygonsPerClass = 4;
    double noise = 1.0; // factor on every class's standard deviations
    int block = 512;    // edge of the square blocks computed and written at once, a multiple of 256
};

// The label field and the spectra of a scene.
class SceneModel {
public:
    // Throws std::invalid_argument when the scene is too small to hold a
    // patch of every class.
    explicit SceneModel(const SceneParams& params);

    const SceneParams& Params() const { return m_params; }
    // Edge of the grid cells the patches grow from, in pixels.
    int CellSize() const { return m_cell; }

    // Classes (1..K) of the w x h block at (x, y), row by row; when values
    // is not null also the pixel values, pixel-interleaved (B per pixel).
    void FillBlock(int x, int y, int w, int h, std::uint8_t* labels, std::uint16_t* values) const;
    int ClassAt(int column, int row) const;

    // Spectrum of class k (1..K) in band b (1..B) before the per-patch
    // brightness factor (0.95 to 1.05).
    double Mean(int k, int b) const { return m_mean[index(k, b)]; }
    double Sigma(int k, int b) const { return m_sigma[index(k, b)]; }

    // North-up grid: origin at a round easting/northing, square pixels.
    std::array<double, 6> GeoTransform() const;
    // Ground position of a pixel centre.
    double GroundX(double column) const;
    double GroundY(double row) const;

private:
    struct Cell {
        double sx, sy; // seed point in pixel units
        int cls;       // 1..K
        double factor; // brightness of the patch
    };
    Cell cell(std::int64_t i, std::int64_t j) const;
    size_t index(int k, int b) const { return static_cast<size_t>(k - 1) * m_params.bands + (b - 1); }

    SceneParams m_params;
    int m_cell = 64;
    std::unordered_map<std::uint64_t, int> m_forced; // cells given a class so that every class occurs
    std::vector<double> m_mean, m_sigma;
};

// A training polygon: a quadrilateral (corners in pixel units, (0, 0) the
// outer corner of the top-left pixel) whose pixels, with a one-pixel margin,
// are all of class `cls`.
struct TrainingPolygon {
    int cls = 0;
    std::array<std::array<double, 2>, 4> corners{};
};

struct CheckPoint {
    int column = 0, row = 0, cls = 0;
};

// Deterministic placements: polygonsPerClass per class, not overlapping, 10
// to 30 pixels across (down to 6 where patches are small). Throws
// std::runtime_error when a class has no room for them.
std::vector<TrainingPolygon> PlaceTrainingPolygons(const SceneModel& model);
// `points` distinct pixels drawn uniformly, with their class.
std::vector<CheckPoint> DrawCheckPoints(const SceneModel& model);

struct SceneFiles {
    std::filesystem::path scene, truth, training, checkpoints;
};

// Throws std::invalid_argument for parameters GenerateScene would refuse: a
// block edge that is not a multiple of 256, a scene too small for its
// classes or its check points, an EPSG code that is not a projected system.
void ValidateSceneParams(const SceneParams& params);

// Progress of the writer: step name and overall percent; false cancels.
using SceneProgress = std::function<bool(const std::string& step, double percent)>;

// Writes scene.tif, truth.tif, training.shp (+ .shx .dbf .prj .cpg) and
// checkpoints.csv into dir (created if missing). Everything is written into a
// scratch folder inside dir first and moved into place at the end, so a
// failure leaves no partial output. Throws std::invalid_argument for
// parameters it refuses (before writing anything) and std::runtime_error
// for failures while writing or a cancel.
SceneFiles GenerateScene(const SceneParams& params, const std::filesystem::path& dir,
                         const SceneProgress& progress = {});
