#include "cli/scenegen.h"

#include "engine/formatio.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_feature.h>
#include <ogr_geometry.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <numbers>
#include <stdexcept>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

// --- counter-based randomness -------------------------------------------
// Every random quantity is a hash of the seed, a stream tag and the
// quantity's own coordinates, so none depends on what was drawn before.

constexpr std::uint64_t kTagCell = 1, kTagClass = 2, kTagForce = 3, kTagWarp = 4, kTagPixel = 5, kTagMean = 6,
                        kTagSigma = 7, kTagPolygon = 8, kTagPoint = 9, kTagFactor = 10;

// splitmix64's output function: a bijection with full avalanche.
inline std::uint64_t mix(std::uint64_t z) {
    z += 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

inline std::uint64_t hash(std::uint64_t seed, std::uint64_t tag, std::uint64_t a = 0, std::uint64_t b = 0,
                          std::uint64_t c = 0, std::uint64_t d = 0) {
    return mix(mix(mix(mix(mix(seed ^ (tag << 56)) ^ a) ^ b) ^ c) ^ d);
}

// Uniform in [0, 1) from the top 53 bits.
inline double unit(std::uint64_t h) {
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

// --- label field -----------------------------------------------------------

inline double fade(double t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

// Value noise in [-1, 1]: random values on an integer lattice, smoothly
// interpolated. The lattice values a block needs are hashed once per block.
class NoiseLattice {
public:
    // Covers lattice coordinates [x0, x1] x [y0, y1] (noise coordinates,
    // already divided by the lattice spacing).
    NoiseLattice(std::uint64_t seed, std::uint64_t channel, double x0, double y0, double x1, double y1)
        : m_ix0(static_cast<std::int64_t>(std::floor(x0))), m_iy0(static_cast<std::int64_t>(std::floor(y0))) {
        const std::int64_t ix1 = static_cast<std::int64_t>(std::floor(x1)) + 1;
        const std::int64_t iy1 = static_cast<std::int64_t>(std::floor(y1)) + 1;
        m_nx = ix1 - m_ix0 + 1;
        m_values.reserve(static_cast<size_t>(m_nx * (iy1 - m_iy0 + 1)));
        for (std::int64_t j = m_iy0; j <= iy1; ++j)
            for (std::int64_t i = m_ix0; i <= ix1; ++i)
                m_values.push_back(2.0 * unit(hash(seed, kTagWarp, channel, static_cast<std::uint64_t>(i),
                                                   static_cast<std::uint64_t>(j))) -
                                   1.0);
    }

    double At(double x, double y) const {
        const double fx = std::floor(x), fy = std::floor(y);
        const std::int64_t i = static_cast<std::int64_t>(fx) - m_ix0,
                           j = static_cast<std::int64_t>(fy) - m_iy0;
        const double* row = m_values.data() + static_cast<size_t>(j * m_nx + i);
        const double u = fade(x - fx), v = fade(y - fy);
        const double top = row[0] + u * (row[1] - row[0]);
        const double bottom = row[m_nx] + u * (row[m_nx + 1] - row[m_nx]);
        return top + v * (bottom - top);
    }

private:
    std::int64_t m_ix0, m_iy0, m_nx = 0;
    std::vector<double> m_values;
};

// Octaves of the warp that makes patch borders irregular: lattice spacing
// and amplitude, both in cells.
struct Octave {
    double spacing, amplitude;
};
constexpr Octave kWarp[] = {{2.0, 0.30}, {0.5, 0.05}, {0.15, 0.01}};
constexpr double kJitter = 0.3;   // seed points lie within +-0.3 cell of the cell centre
constexpr double kMaxWarp = 0.36; // sum of the amplitudes

// --- spectra ---------------------------------------------------------------

constexpr double kMeanLow = 500, kMeanHigh = 5000;
constexpr double kSigmaLow = 80, kSigmaHigh = 320;
constexpr int kMeanCandidates = 24;
constexpr double kOriginX = 500000, kOriginY = 3000000;

inline std::uint64_t cellKey(std::int64_t i, std::int64_t j) {
    return (static_cast<std::uint64_t>(i) << 32) ^ static_cast<std::uint32_t>(j);
}

} // namespace

SceneModel::SceneModel(const SceneParams& params) : m_params(params) {
    const SceneParams& p = m_params;
    if (p.width < 1 || p.height < 1 || p.bands < 1 || p.classes < 1 || p.classes > 255)
        throw std::invalid_argument("the scene needs a size, bands and 1 to 255 classes");
    // About four cells per class, 24 to 96 pixels each: patches of fields,
    // not noise, and never a whole scene of one patch.
    const double ideal = std::sqrt(static_cast<double>(p.width) * p.height / (4.0 * p.classes));
    m_cell = static_cast<int>(std::clamp(std::round(ideal), 24.0, 96.0));

    // Each class owns at least one cell whose seed point is inside the image
    // (a quarter cell from the edges), so every class occurs.
    if (p.classes > 1) {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> inside; // (order, key)
        const double margin = 0.25 * m_cell;
        for (std::int64_t j = 0; j * m_cell < p.height; ++j)
            for (std::int64_t i = 0; i * m_cell < p.width; ++i) {
                const Cell c = cell(i, j);
                if (c.sx >= margin && c.sx <= p.width - margin && c.sy >= margin && c.sy <= p.height - margin)
                    inside.emplace_back(hash(p.seed, kTagForce, i, j), cellKey(i, j));
            }
        if (static_cast<int>(inside.size()) < p.classes)
            throw std::invalid_argument("a " + std::to_string(p.width) + " x " + std::to_string(p.height) +
                                        " scene is too small for " + std::to_string(p.classes) +
                                        " classes (at most " + std::to_string(inside.size()) + " fit)");
        std::sort(inside.begin(), inside.end());
        for (int k = 0; k < p.classes; ++k)
            m_forced[inside[k].second] = k + 1;
    }

    // Means spread by best-candidate sampling: each class takes, of a few
    // random spectra, the one farthest from the classes before it. Classes
    // end up apart in the full band space but may overlap in single bands.
    m_mean.assign(static_cast<size_t>(p.classes) * p.bands, 0.0);
    m_sigma.assign(m_mean.size(), 0.0);
    for (int k = 1; k <= p.classes; ++k) {
        double bestDistance = -1;
        std::vector<double> best(p.bands), candidate(p.bands);
        for (int c = 0; c < kMeanCandidates; ++c) {
            for (int b = 1; b <= p.bands; ++b)
                candidate[b - 1] = kMeanLow + (kMeanHigh - kMeanLow) * unit(hash(p.seed, kTagMean, k, c, b));
            double nearest = HUGE_VAL;
            for (int other = 1; other < k; ++other) {
                double d2 = 0;
                for (int b = 1; b <= p.bands; ++b)
                    d2 += (candidate[b - 1] - Mean(other, b)) * (candidate[b - 1] - Mean(other, b));
                nearest = std::min(nearest, d2);
            }
            if (nearest > bestDistance) {
                bestDistance = nearest;
                best = candidate;
            }
            if (k == 1)
                break;
        }
        for (int b = 1; b <= p.bands; ++b) {
            m_mean[index(k, b)] = std::round(best[b - 1]);
            m_sigma[index(k, b)] = std::round(
                (kSigmaLow + (kSigmaHigh - kSigmaLow) * unit(hash(p.seed, kTagSigma, k, b))) * p.noise);
        }
    }
}

SceneModel::Cell SceneModel::cell(std::int64_t i, std::int64_t j) const {
    const std::uint64_t ui = static_cast<std::uint64_t>(i), uj = static_cast<std::uint64_t>(j);
    const std::uint64_t h = hash(m_params.seed, kTagCell, ui, uj);
    const double jx = kJitter * (2.0 * static_cast<double>(h & 0xFFFFFFFF) / 4294967296.0 - 1.0);
    const double jy = kJitter * (2.0 * static_cast<double>(h >> 32) / 4294967296.0 - 1.0);
    Cell c;
    c.sx = (static_cast<double>(i) + 0.5 + jx) * m_cell;
    c.sy = (static_cast<double>(j) + 0.5 + jy) * m_cell;
    const auto forced = m_forced.find(cellKey(i, j));
    c.cls = forced != m_forced.end() ? forced->second
                                     : 1 + static_cast<int>(hash(m_params.seed, kTagClass, ui, uj) %
                                                            static_cast<std::uint64_t>(m_params.classes));
    c.factor = 0.95 + 0.10 * unit(hash(m_params.seed, kTagFactor, ui, uj));
    return c;
}

void SceneModel::FillBlock(int x, int y, int w, int h, std::uint8_t* labels, std::uint16_t* values) const {
    const double cellSize = m_cell;
    // The cells a warped pixel centre of this block can fall near: the warp
    // moves a point by at most kMaxWarp cells, the nearest seed is at most
    // one cell from the cell the point is in (jitter below half a cell).
    const std::int64_t i0 = static_cast<std::int64_t>(std::floor(x / cellSize - kMaxWarp)) - 1;
    const std::int64_t i1 = static_cast<std::int64_t>(std::floor((x + w) / cellSize + kMaxWarp)) + 1;
    const std::int64_t j0 = static_cast<std::int64_t>(std::floor(y / cellSize - kMaxWarp)) - 1;
    const std::int64_t j1 = static_cast<std::int64_t>(std::floor((y + h) / cellSize + kMaxWarp)) + 1;
    const std::int64_t nx = i1 - i0 + 1;
    std::vector<Cell> cells;
    cells.reserve(static_cast<size_t>(nx * (j1 - j0 + 1)));
    for (std::int64_t j = j0; j <= j1; ++j)
        for (std::int64_t i = i0; i <= i1; ++i)
            cells.push_back(cell(i, j));

    const SceneParams& p = m_params;
    std::vector<NoiseLattice> lattices; // per octave: x channel, y channel
    for (size_t o = 0; o < std::size(kWarp); ++o) {
        const double s = kWarp[o].spacing * cellSize;
        for (std::uint64_t channel = 2 * o; channel <= 2 * o + 1; ++channel)
            lattices.emplace_back(p.seed, channel, (x + 0.5) / s, (y + 0.5) / s, (x + w - 0.5) / s,
                                  (y + h - 0.5) / s);
    }
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const double px = x + c + 0.5, py = y + r + 0.5;
            double wx = px, wy = py;
            for (size_t o = 0; o < std::size(kWarp); ++o) {
                const double s = kWarp[o].spacing * cellSize, a = kWarp[o].amplitude * cellSize;
                wx += a * lattices[2 * o].At(px / s, py / s);
                wy += a * lattices[2 * o + 1].At(px / s, py / s);
            }
            const std::int64_t ci = static_cast<std::int64_t>(std::floor(wx / cellSize));
            const std::int64_t cj = static_cast<std::int64_t>(std::floor(wy / cellSize));
            const Cell* nearest = nullptr;
            double best = HUGE_VAL;
            for (std::int64_t j = cj - 1; j <= cj + 1; ++j)
                for (std::int64_t i = ci - 1; i <= ci + 1; ++i) {
                    const Cell& cand = cells[static_cast<size_t>((j - j0) * nx + (i - i0))];
                    const double d = (cand.sx - wx) * (cand.sx - wx) + (cand.sy - wy) * (cand.sy - wy);
                    if (d < best) {
                        best = d;
                        nearest = &cand;
                    }
                }
            const size_t pixel = static_cast<size_t>(r) * w + c;
            labels[pixel] = static_cast<std::uint8_t>(nearest->cls);
            if (!values)
                continue;
            // One hash gives two normal deviates (Box-Muller) for a pair of bands.
            std::uint16_t* out = values + pixel * p.bands;
            const auto ux = static_cast<std::uint64_t>(x + c), uy = static_cast<std::uint64_t>(y + r);
            for (int b = 0; b < p.bands; b += 2) {
                const std::uint64_t hv = hash(p.seed, kTagPixel, ux, uy, static_cast<std::uint64_t>(b));
                const double u1 = (static_cast<double>(hv >> 32) + 1.0) / 4294967296.0; // (0, 1]
                const double u2 = static_cast<double>(hv & 0xFFFFFFFF) / 4294967296.0;
                const double radius = std::sqrt(-2.0 * std::log(u1));
                const double angle = 2.0 * std::numbers::pi * u2;
                const double normals[2] = {radius * std::cos(angle), radius * std::sin(angle)};
                for (int k = 0; k < 2 && b + k < p.bands; ++k) {
                    const size_t at = index(nearest->cls, b + k + 1);
                    const double v = std::round(m_mean[at] * nearest->factor + m_sigma[at] * normals[k]);
                    out[b + k] = static_cast<std::uint16_t>(std::clamp(v, 1.0, 65535.0));
                }
            }
        }
}

int SceneModel::ClassAt(int column, int row) const {
    std::uint8_t label = 0;
    FillBlock(column, row, 1, 1, &label, nullptr);
    return label;
}

std::array<double, 6> SceneModel::GeoTransform() const {
    return {kOriginX, m_params.pixelSize, 0.0, kOriginY, 0.0, -m_params.pixelSize};
}

double SceneModel::GroundX(double column) const {
    return kOriginX + (column + 0.5) * m_params.pixelSize;
}

double SceneModel::GroundY(double row) const {
    return kOriginY - (row + 0.5) * m_params.pixelSize;
}

std::vector<TrainingPolygon> PlaceTrainingPolygons(const SceneModel& model) {
    const SceneParams& p = model.Params();
    constexpr int kLargeAttempts = 4000, kAttempts = 8000;
    struct Rect {
        int x0, y0, x1, y1; // inclusive pixel bounds with the margin
    };
    std::vector<Rect> taken;
    std::vector<TrainingPolygon> polygons;
    std::vector<std::uint8_t> labels;
    for (int k = 1; k <= p.classes; ++k)
        for (int n = 0; n < p.polygonsPerClass; ++n) {
            bool placed = false;
            for (int a = 0; a < kAttempts && !placed; ++a) {
                const std::uint64_t h = hash(p.seed, kTagPolygon, k, n, a);
                // 10 to 30 pixels across; 6 to 10 once large ones failed.
                const int size =
                    a < kLargeAttempts ? 10 + static_cast<int>(h % 21) : 6 + static_cast<int>(h % 5);
                // The square covers pixels x0..x0+size-1; with the one-pixel
                // margin it must stay inside the image.
                const int roomX = p.width - size - 1, roomY = p.height - size - 1;
                if (roomX < 1 || roomY < 1)
                    continue;
                const std::uint64_t hp = mix(h);
                const int x0 = 1 + static_cast<int>((hp & 0xFFFFFFFF) % static_cast<std::uint64_t>(roomX));
                const int y0 = 1 + static_cast<int>((hp >> 32) % static_cast<std::uint64_t>(roomY));
                const Rect r{x0 - 1, y0 - 1, x0 + size, y0 + size};
                if (model.ClassAt(x0 + size / 2, y0 + size / 2) != k)
                    continue;
                const bool overlaps = std::any_of(taken.begin(), taken.end(), [&](const Rect& t) {
                    return r.x0 <= t.x1 + 1 && t.x0 <= r.x1 + 1 && r.y0 <= t.y1 + 1 && t.y0 <= r.y1 + 1;
                });
                if (overlaps)
                    continue;
                const int w = r.x1 - r.x0 + 1, hgt = r.y1 - r.y0 + 1;
                labels.resize(static_cast<size_t>(w) * hgt);
                model.FillBlock(r.x0, r.y0, w, hgt, labels.data(), nullptr);
                if (!std::all_of(labels.begin(), labels.end(), [k](std::uint8_t l) { return l == k; }))
                    continue;
                // An irregular quadrilateral: each corner of the square moves
                // inwards by up to 30 % of its edge, in quarter pixels.
                TrainingPolygon poly;
                poly.cls = k;
                const double s = size;
                const double base[4][2] = {{0, 0}, {s, 0}, {s, s}, {0, s}};
                for (int c = 0; c < 4; ++c) {
                    const std::uint64_t hc = hash(p.seed, kTagPolygon, k, n, a, 100 + c);
                    const double dx = std::floor(unit(hc) * 0.3 * s * 4) / 4;
                    const double dy = std::floor(unit(mix(hc)) * 0.3 * s * 4) / 4;
                    poly.corners[c][0] = x0 + (base[c][0] == 0 ? base[c][0] + dx : base[c][0] - dx);
                    poly.corners[c][1] = y0 + (base[c][1] == 0 ? base[c][1] + dy : base[c][1] - dy);
                }
                polygons.push_back(poly);
                taken.push_back(r);
                placed = true;
            }
            if (!placed)
                throw std::runtime_error("no room for training polygon " + std::to_string(n + 1) +
                                         " of class " + std::to_string(k) +
                                         ": its patches are too small or taken; use a larger scene, fewer "
                                         "classes or fewer polygons per class");
        }
    return polygons;
}

std::vector<CheckPoint> DrawCheckPoints(const SceneModel& model) {
    const SceneParams& p = model.Params();
    const std::uint64_t pixels = static_cast<std::uint64_t>(p.width) * static_cast<std::uint64_t>(p.height);
    if (static_cast<std::uint64_t>(std::max(p.points, 0)) > pixels)
        throw std::invalid_argument(std::to_string(p.points) + " check points do not fit in " +
                                    std::to_string(pixels) + " pixels");
    std::vector<CheckPoint> points;
    std::unordered_set<std::uint64_t> used;
    for (std::uint64_t attempt = 0; static_cast<int>(points.size()) < p.points; ++attempt) {
        const std::uint64_t at = hash(p.seed, kTagPoint, attempt) % pixels;
        if (!used.insert(at).second)
            continue;
        CheckPoint cp;
        cp.column = static_cast<int>(at % static_cast<std::uint64_t>(p.width));
        cp.row = static_cast<int>(at / static_cast<std::uint64_t>(p.width));
        cp.cls = model.ClassAt(cp.column, cp.row);
        points.push_back(cp);
    }
    return points;
}

namespace {

struct FeatureDeleter {
    void operator()(OGRFeature* f) const { OGRFeature::DestroyFeature(f); }
};

std::runtime_error gdalFailure(const std::string& what) {
    const char* message = CPLGetLastErrorMsg();
    return std::runtime_error(what + (message && *message ? ": " + std::string(message) : std::string()));
}

// Closes a dataset and reports a failed flush.
void closeDataset(GDALDatasetUniquePtr& ds, const fs::path& path) {
    CPLErrorReset();
    ds.reset();
    if (CPLGetLastErrorType() == CE_Failure)
        throw gdalFailure("cannot write " + path.string());
}

// A scratch folder inside the output folder; removed with whatever is left
// in it unless everything was moved out.
class ScratchFolder {
public:
    explicit ScratchFolder(const fs::path& parent) {
        std::string pattern = (parent / ".synth-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a folder in " + parent.string());
        m_path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!m_path.empty())
            fs::remove_all(m_path, ec);
    }
    // Hands the folder over (to an output set that removes it).
    std::string Release() {
        std::string path = m_path.string();
        m_path.clear();
        return path;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

// Distinct, saturated colours for classes 1..K: hues a golden angle apart.
GDALColorEntry classColour(int k) {
    const double hue = std::fmod((k - 1) * 0.618033988749895, 1.0) * 6.0;
    const double value = (k % 2) ? 0.95 : 0.75, saturation = 0.8;
    const int sector = static_cast<int>(hue);
    const double f = hue - sector;
    const double pv = value * (1 - saturation), qv = value * (1 - saturation * f),
                 tv = value * (1 - saturation * (1 - f));
    double rgb[3];
    switch (sector % 6) {
    case 0:
        rgb[0] = value, rgb[1] = tv, rgb[2] = pv;
        break;
    case 1:
        rgb[0] = qv, rgb[1] = value, rgb[2] = pv;
        break;
    case 2:
        rgb[0] = pv, rgb[1] = value, rgb[2] = tv;
        break;
    case 3:
        rgb[0] = pv, rgb[1] = qv, rgb[2] = value;
        break;
    case 4:
        rgb[0] = tv, rgb[1] = pv, rgb[2] = value;
        break;
    default:
        rgb[0] = value, rgb[1] = pv, rgb[2] = qv;
        break;
    }
    return GDALColorEntry{static_cast<short>(std::lround(rgb[0] * 255)),
                          static_cast<short>(std::lround(rgb[1] * 255)),
                          static_cast<short>(std::lround(rgb[2] * 255)), 255};
}

GDALDatasetUniquePtr createTiff(const fs::path& path, const SceneModel& model, int bands, GDALDataType type,
                                const OGRSpatialReference& srs) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!driver)
        throw std::runtime_error("GDAL has no GeoTIFF driver");
    CPLStringList options;
    options.SetNameValue("TILED", "YES");
    options.SetNameValue("BLOCKXSIZE", "256");
    options.SetNameValue("BLOCKYSIZE", "256");
    options.SetNameValue("COMPRESS", "DEFLATE");
    options.SetNameValue("BIGTIFF", "IF_SAFER");
    if (bands > 1)
        options.SetNameValue("INTERLEAVE", "PIXEL");
    CPLErrorReset();
    GDALDatasetUniquePtr ds(driver->Create(path.c_str(), model.Params().width, model.Params().height, bands,
                                           type, options.List()));
    if (!ds)
        throw gdalFailure("cannot create " + path.string());
    std::array<double, 6> transform = model.GeoTransform();
    ds->SetGeoTransform(transform.data());
    ds->SetSpatialRef(&srs);
    return ds;
}

std::string numberText(double value) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.12g", value);
    return buf;
}

void writeTraining(const fs::path& path, const SceneModel& model,
                   const std::vector<TrainingPolygon>& polygons, const OGRSpatialReference& srs) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    if (!driver)
        throw std::runtime_error("GDAL has no shapefile driver");
    CPLErrorReset();
    GDALDatasetUniquePtr ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!ds)
        throw gdalFailure("cannot create " + path.string());
    CPLStringList layerOptions;
    layerOptions.SetNameValue("ENCODING", "UTF-8");
    // A fixed header date keeps the .dbf identical from run to run.
    layerOptions.SetNameValue("DBF_DATE_LAST_UPDATE", "2000-01-01");
    // The layer may keep a reference to the reference system it is given.
    struct SrsReleaser {
        void operator()(OGRSpatialReference* s) const { s->Release(); }
    };
    const std::unique_ptr<OGRSpatialReference, SrsReleaser> layerSrs(srs.Clone());
    OGRLayer* layer = ds->CreateLayer("training", layerSrs.get(), wkbPolygon, layerOptions.List());
    if (!layer)
        throw gdalFailure("cannot create the layer of " + path.string());
    OGRFieldDefn classField("class", OFTInteger);
    classField.SetWidth(5);
    OGRFieldDefn nameField("name", OFTString);
    nameField.SetWidth(32);
    if (layer->CreateField(&classField) != OGRERR_NONE || layer->CreateField(&nameField) != OGRERR_NONE)
        throw gdalFailure("cannot add the fields of " + path.string());
    for (const TrainingPolygon& poly : polygons) {
        std::unique_ptr<OGRFeature, FeatureDeleter> feature(OGRFeature::CreateFeature(layer->GetLayerDefn()));
        feature->SetField("class", poly.cls);
        feature->SetField("name", ("Class " + std::to_string(poly.cls)).c_str());
        auto ring = std::make_unique<OGRLinearRing>();
        for (int c = 0; c <= 4; ++c) {
            const auto& corner = poly.corners[c % 4];
            // Corners are in pixel-edge units; GroundX/Y take centre units.
            ring->addPoint(model.GroundX(corner[0] - 0.5), model.GroundY(corner[1] - 0.5));
        }
        OGRPolygon polygon;
        polygon.addRingDirectly(ring.release());
        feature->SetGeometry(&polygon);
        if (layer->CreateFeature(feature.get()) != OGRERR_NONE)
            throw gdalFailure("cannot write a polygon to " + path.string());
    }
    closeDataset(ds, path);
}

void writeCheckPoints(const fs::path& path, const SceneModel& model, const std::vector<CheckPoint>& points) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        throw std::runtime_error("cannot create " + path.string());
    std::fputs("x,y,truth\n", file.get());
    for (const CheckPoint& cp : points)
        std::fprintf(file.get(), "%s,%s,%d\n", numberText(model.GroundX(cp.column)).c_str(),
                     numberText(model.GroundY(cp.row)).c_str(), cp.cls);
    if (std::ferror(file.get()) || std::fclose(file.release()) != 0)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

namespace {

// The reference system of a scene; throws std::invalid_argument unless it is
// a known projected one.
OGRSpatialReference sceneSrs(int epsg) {
    OGRSpatialReference srs;
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    CPLPushErrorHandler(CPLQuietErrorHandler);
    const OGRErr imported = srs.importFromEPSG(epsg);
    CPLPopErrorHandler();
    if (imported != OGRERR_NONE)
        throw std::invalid_argument("EPSG:" + std::to_string(epsg) + " is not a known coordinate system");
    if (!srs.IsProjected())
        throw std::invalid_argument("EPSG:" + std::to_string(epsg) +
                                    " is not a projected coordinate system (pixels are in metres)");
    return srs;
}

} // namespace

void ValidateSceneParams(const SceneParams& params) {
    if (params.block < 256 || params.block % 256 != 0)
        throw std::invalid_argument("the block edge must be a multiple of 256 (got " +
                                    std::to_string(params.block) + ")");
    const SceneModel model(params);
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(params.width) * static_cast<std::uint64_t>(params.height);
    if (params.points < 0 || static_cast<std::uint64_t>(params.points) > pixels)
        throw std::invalid_argument(std::to_string(params.points) + " check points do not fit in " +
                                    std::to_string(pixels) + " pixels");
    sceneSrs(params.epsg);
}

SceneFiles GenerateScene(const SceneParams& params, const fs::path& dir, const SceneProgress& progress) {
    static std::once_flag registered;
    std::call_once(registered, [] { GDALAllRegister(); });

    ValidateSceneParams(params);
    const SceneModel model(params);
    const OGRSpatialReference srs = sceneSrs(params.epsg);

    auto report = [&](const std::string& step, double percent) {
        if (progress && !progress(step, percent))
            throw std::runtime_error("cancelled");
    };

    // Everything that can fail for want of room is decided before writing.
    report("Placing training polygons", 0);
    const std::vector<TrainingPolygon> polygons = PlaceTrainingPolygons(model);
    const std::vector<CheckPoint> points = DrawCheckPoints(model);

    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir))
        throw std::runtime_error("cannot create the folder " + dir.string() +
                                 (ec ? ": " + ec.message() : ""));
    ScratchFolder scratch(dir);
    const fs::path sceneTmp = scratch.Path() / "scene.tif", truthTmp = scratch.Path() / "truth.tif";

    GDALDatasetUniquePtr scene = createTiff(sceneTmp, model, params.bands, GDT_UInt16, srs);
    GDALDatasetUniquePtr truth = createTiff(truthTmp, model, 1, GDT_Byte, srs);
    scene->SetMetadataItem("TESSERA_SYNTH", ("seed=" + std::to_string(params.seed) +
                                             " classes=" + std::to_string(params.classes) +
                                             " bands=" + std::to_string(params.bands))
                                                .c_str());
    GDALRasterBand* truthBand = truth->GetRasterBand(1);
    {
        GDALColorTable table;
        const GDALColorEntry none{0, 0, 0, 0};
        table.SetColorEntry(0, &none);
        CPLStringList names;
        names.AddString("Unclassified");
        for (int k = 1; k <= params.classes; ++k) {
            const GDALColorEntry colour = classColour(k);
            table.SetColorEntry(k, &colour);
            names.AddString(("Class " + std::to_string(k)).c_str());
        }
        truthBand->SetColorTable(&table);
        truthBand->SetCategoryNames(names.List());
        truthBand->SetDescription("class");
    }

    // Square blocks aligned with the 256 x 256 tiles: each tile is written
    // whole, once, with all its bands.
    const int block = params.block;
    const int blocksX = (params.width + block - 1) / block, blocksY = (params.height + block - 1) / block;
    const double total = static_cast<double>(blocksX) * blocksY;
    std::vector<std::uint8_t> labels(static_cast<size_t>(block) * block);
    std::vector<std::uint16_t> values(labels.size() * params.bands);
    const std::string step = "Writing image and ground truth";
    report(step, 0);
    for (int by = 0; by < blocksY; ++by)
        for (int bx = 0; bx < blocksX; ++bx) {
            const int x = bx * block, y = by * block;
            const int w = std::min(block, params.width - x), h = std::min(block, params.height - y);
            model.FillBlock(x, y, w, h, labels.data(), values.data());
            const int bytes = static_cast<int>(sizeof(std::uint16_t));
            if (scene->RasterIO(GF_Write, x, y, w, h, values.data(), w, h, GDT_UInt16, params.bands, nullptr,
                                bytes * params.bands, static_cast<GSpacing>(bytes) * params.bands * w, bytes,
                                nullptr) != CE_None)
                throw gdalFailure("cannot write " + sceneTmp.string());
            if (truthBand->RasterIO(GF_Write, x, y, w, h, labels.data(), w, h, GDT_Byte, 0, 0, nullptr) !=
                CE_None)
                throw gdalFailure("cannot write " + truthTmp.string());
            report(step, 95.0 * (by * blocksX + bx + 1) / total);
        }
    closeDataset(scene, sceneTmp);
    closeDataset(truth, truthTmp);

    report("Writing training polygons and check points", 95);
    writeTraining(scratch.Path() / "training.shp", model, polygons, srs);
    writeCheckPoints(scratch.Path() / "checkpoints.csv", model, points);

    // Into place together (at the end of the run when an output set is active):
    // no stale side file (.aux.xml, .cpg) of an earlier run survives beside new ones.
    tessera::formatio::StagedFiles files;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch.Path()))
        files.moves.emplace_back(entry.path().string(), (dir / entry.path().filename()).string());
    for (const char* name :
         {"scene.tif", "scene.tif.aux.xml", "truth.tif", "truth.tif.aux.xml", "training.shp", "training.shx",
          "training.dbf", "training.prj", "training.cpg", "checkpoints.csv"})
        files.obsolete.push_back((dir / name).string());
    files.scratch = scratch.Release();
    std::string error;
    if (!tessera::formatio::PlaceFiles(std::move(files), error))
        throw std::runtime_error("cannot move the scene into " + dir.string() + ": " + error);
    report("Writing training polygons and check points", 100);
    return SceneFiles{dir / "scene.tif", dir / "truth.tif", dir / "training.shp", dir / "checkpoints.csv"};
}
