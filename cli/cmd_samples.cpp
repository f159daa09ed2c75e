// tessera samples: training samples (.cif) from a polygon layer, the same file
// the sample editor saves; --list shows a sample file, --check says what a
// supervised classification would stumble on and how separable the classes are.
#include "base/commonfun.h"
#include "cli/subcommands.h"
#include "engine/classifysamplefile.h"
#include "engine/classlist.h"
#include "engine/drawshape.h"
#include "engine/rasteralgorithm.h"
#include "engine/rastersource.h"
#include "processing/distributed.h"
#include "processing/samplestats.h"
#include "processing/separability.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>

using namespace tessera;

namespace {

// ---- Building ---------------------------------------------------------------

// The polygons of one feature as exterior rings in the raster's ground
// coordinates, closing vertex dropped (holes are not kept: a drawn shape has none).
void collectRings(const OGRGeometry* geometry, std::vector<std::vector<CPoint2D>>& rings) {
    if (!geometry || geometry->IsEmpty())
        return;
    const OGRwkbGeometryType type = wkbFlatten(geometry->getGeometryType());
    if (type == wkbPolygon) {
        const OGRLinearRing* ring = geometry->toPolygon()->getExteriorRing();
        if (!ring)
            return;
        std::vector<CPoint2D> vertices;
        for (int i = 0; i < ring->getNumPoints(); ++i)
            vertices.emplace_back(ring->getX(i), ring->getY(i));
        if (vertices.size() > 1 && vertices.front().x == vertices.back().x &&
            vertices.front().y == vertices.back().y)
            vertices.pop_back();
        if (vertices.size() >= 3)
            rings.push_back(std::move(vertices));
    } else if (OGR_GT_IsSubClassOf(type, wkbCurvePolygon) || OGR_GT_IsSubClassOf(type, wkbMultiSurface)) {
        std::unique_ptr<OGRGeometry> linear(geometry->getLinearGeometry());
        if (linear && wkbFlatten(linear->getGeometryType()) != type)
            collectRings(linear.get(), rings);
        else if (linear && OGR_GT_IsSubClassOf(type, wkbGeometryCollection))
            for (const OGRGeometry* part : *linear->toGeometryCollection())
                collectRings(part, rings);
    } else if (OGR_GT_IsSubClassOf(type, wkbGeometryCollection)) {
        for (const OGRGeometry* part : *geometry->toGeometryCollection())
            collectRings(part, rings);
    }
}

struct ClassSamples {
    std::string value; // the class field's text
    std::string name;  // the name field's first non-empty text; empty: named by its value
    std::vector<std::unique_ptr<ClassifySample>> polygons;
};

struct BuildResult {
    std::vector<ClassSamples> classes; // in output order
    int polygonsRead = 0;              // polygon parts in the layer
    int polygonsUsed = 0;              // of them, those with pixels under them
};

// The statistics of the pixels under a shape as one row: count, then the
// per-band minimum, maximum and mean, then the covariance (k × k); a count
// of 0 when no pixel lies under it.
std::size_t statisticsWidth(int k) {
    return 1 + 3 * static_cast<std::size_t>(k) + static_cast<std::size_t>(k) * k;
}

void measureShape(CRasterSource& raster, const CDrawShape& shape, double* row) {
    const int k = raster.GetBandCount();
    std::int64_t count = 0;
    if (CRasterAlgorithm::ComputeStaticsFromDrawshape(&raster, &shape, count, row + 1, row + 1 + k,
                                                      row + 1 + 2 * k, row + 1 + 3 * k, nullptr))
        row[0] = static_cast<double>(std::max<std::int64_t>(0, count));
    else
        std::fill(row, row + statisticsWidth(k), 0.0);
}

// A new sample over the shape with the statistics of its row (null when no
// pixel lies under it).
std::unique_ptr<ClassifySample> sampleFromStatistics(const double* row, int k, const CDrawShape& shape) {
    if (row[0] <= 0)
        return nullptr;
    auto sample = std::make_unique<ClassifySample>();
    sample->m_min.assign(row + 1, row + 1 + k);
    sample->m_max.assign(row + 1 + k, row + 1 + 2 * k);
    sample->m_mean.assign(row + 1 + 2 * k, row + 1 + 3 * k);
    sample->m_covariance.assign(row + 1 + 3 * k, row + statisticsWidth(k));
    sample->m_pixelCount = static_cast<std::int32_t>(std::min<double>(row[0], INT32_MAX));
    sample->m_bandCount = k;
    std::unique_ptr<CDrawShape> copy(CDrawShape::CreateCopy(&shape));
    sample->m_shapes.push_back(copy.get());
    copy.release();
    sample->m_shapeCount = 1;
    return sample;
}

COLORREF colourOf(CRasterSource& raster, const ClassifySample& sample) {
    const auto c = SampleStats::DisplayColourOf(raster, sample.m_mean.data(), sample.m_bandCount);
    return SampleStats::ComposeColour(c.red, c.green, c.blue);
}

// The field that names the classes: the one asked for, else the first text
// field called name, class_name or label (not the class field itself); -1: none.
int nameFieldOf(OGRLayer& layer, const std::string& asked, int classField, const std::string& path) {
    OGRFeatureDefn* defn = layer.GetLayerDefn();
    if (!asked.empty()) {
        const int index = defn->GetFieldIndex(asked.c_str());
        if (index < 0)
            throw std::runtime_error("layer '" + std::string(layer.GetName()) + "' of '" + path +
                                     "' has no field '" + asked + "'");
        return index;
    }
    for (const char* candidate : {"name", "class_name", "label"}) {
        const int index = defn->GetFieldIndex(candidate);
        if (index >= 0 && index != classField && defn->GetFieldDefn(index)->GetType() == OFTString)
            return index;
    }
    return -1;
}

BuildResult readPolygons(CRasterSource& raster, const std::string& path, const std::string& field,
                         const std::string& nameField) {
    GDALAllRegister();
    CPLPushErrorHandler(CPLQuietErrorHandler);
    GDALDatasetUniquePtr source(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    CPLPopErrorHandler();
    if (!source || source->GetLayerCount() == 0)
        throw std::runtime_error("'" + path + "' is not a vector file GDAL can read");

    OGRSpatialReference rasterSrs;
    const std::string rasterWkt = raster.GetProjectionWkt();
    const bool rasterHasSrs = !rasterWkt.empty() && rasterSrs.importFromWkt(rasterWkt.c_str()) == OGRERR_NONE;
    rasterSrs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);

    BuildResult result;
    std::map<std::string, size_t> classIndex;
    struct Polygon {
        std::string value, name;
        CDrawShape shape;
    };
    std::vector<Polygon> polygons; // in layer and feature order
    bool numericField = true;
    for (OGRLayer* layer : source->GetLayers()) {
        const int fieldIndex = layer->GetLayerDefn()->GetFieldIndex(field.c_str());
        if (fieldIndex < 0)
            throw std::runtime_error("layer '" + std::string(layer->GetName()) + "' of '" + path +
                                     "' has no field '" + field + "'");
        const OGRFieldType fieldType = layer->GetLayerDefn()->GetFieldDefn(fieldIndex)->GetType();
        numericField = numericField && (fieldType == OFTInteger || fieldType == OFTInteger64);
        const int nameIndex = nameFieldOf(*layer, nameField, fieldIndex, path);

        std::unique_ptr<OGRCoordinateTransformation> transform;
        if (const OGRSpatialReference* layerSrs = layer->GetSpatialRef(); layerSrs && rasterHasSrs) {
            OGRSpatialReference from(*layerSrs);
            from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
            if (!from.IsSame(&rasterSrs)) {
                transform.reset(OGRCreateCoordinateTransformation(&from, &rasterSrs));
                if (!transform)
                    throw std::runtime_error("cannot reproject '" + path +
                                             "' to the raster's coordinate system");
            }
        }
        for (const auto& feature : *layer) {
            if (!feature->IsFieldSetAndNotNull(fieldIndex) || !feature->GetGeometryRef())
                continue;
            std::unique_ptr<OGRGeometry> geometry(feature->GetGeometryRef()->clone());
            if (transform && geometry->transform(transform.get()) != OGRERR_NONE)
                continue;
            std::vector<std::vector<CPoint2D>> rings;
            collectRings(geometry.get(), rings);
            const std::string value = feature->GetFieldAsString(fieldIndex);
            const std::string name = nameIndex >= 0 && feature->IsFieldSetAndNotNull(nameIndex)
                                         ? std::string(feature->GetFieldAsString(nameIndex))
                                         : std::string();
            for (auto& ring : rings)
                polygons.push_back({value, name, CDrawShape(DRAWSHAPE_POLYGON, std::move(ring))});
        }
    }
    // Under mpirun each rank measures every size-th polygon and the rows are
    // shared (each filled by one rank, zero on the others: the sum is exact),
    // so every rank builds the same samples.
    Communicator& cluster = Cluster();
    const int k = raster.GetBandCount();
    const std::size_t width = statisticsWidth(k);
    std::vector<double> statistics(polygons.size() * width, 0.0);
    for (std::size_t i = cluster.Rank(); i < polygons.size(); i += cluster.Size())
        measureShape(raster, polygons[i].shape, statistics.data() + i * width);
    cluster.Allreduce(statistics.data(), statistics.size(), Communicator::Reduce::Sum);
    for (std::size_t i = 0; i < polygons.size(); ++i) {
        const Polygon& polygon = polygons[i];
        ++result.polygonsRead;
        std::unique_ptr<ClassifySample> sample =
            sampleFromStatistics(statistics.data() + i * width, k, polygon.shape);
        if (!sample)
            continue;
        ++result.polygonsUsed;
        auto [it, added] = classIndex.emplace(polygon.value, result.classes.size());
        if (added)
            result.classes.push_back({polygon.value, polygon.name, {}});
        if (result.classes[it->second].name.empty())
            result.classes[it->second].name = polygon.name;
        result.classes[it->second].polygons.push_back(std::move(sample));
    }
    if (result.polygonsRead == 0)
        throw std::runtime_error("'" + path + "' holds no polygon with a value in '" + field + "'");
    if (result.polygonsUsed == 0)
        throw std::runtime_error("no polygon of '" + path + "' lies over the raster");
    // Whole-number classes in numeric order; text classes in order of first appearance.
    if (numericField)
        std::stable_sort(result.classes.begin(), result.classes.end(),
                         [](const ClassSamples& a, const ClassSamples& b) {
                             return std::stoll(a.value) < std::stoll(b.value);
                         });
    return result;
}

int runBuild(const ParsedOptions& o, CommandContext& context) {
    const std::string& inPath = o.Positional(0);
    const std::string& polygonPath = o.Positional(1);
    const std::string& outPath = o.Positional(2);
    CRasterSource raster;
    if (raster.Open(CommonFun::M2U(inPath)) != GIS_OK)
        throw std::runtime_error("cannot open the raster '" + inPath + "'");
    BuildResult built = readPolygons(raster, polygonPath, o.String("class-field"),
                                     o.Given("name-field") ? o.String("name-field") : "");
    const int k = raster.GetBandCount();
    // A distinct qualitative colour per class, or the colour the display bands give each sample's mean.
    const bool bandColours = o.String("colours") == "bands";
    const std::vector<std::uint32_t> palette = DistinctClassColours(static_cast<int>(built.classes.size()));
    size_t classNumber = 0;

    CClassifySampleFile file;
    SampleStats::WriteHeader(file, SampleStats::HeaderOf(raster));
    auto append = [&](std::unique_ptr<ClassifySample> sample, const std::string& name) {
        sample->SetName(CommonFun::M2U(name)); // at most 127 characters
        sample->m_colour = bandColours ? colourOf(raster, *sample) : palette[classNumber];
        SampleStats::StampSaved(*sample, static_cast<int>(file.m_samples.size()) + 1);
        file.m_samples.push_back(sample.get());
        sample.release();
    };
    for (ClassSamples& c : built.classes) {
        const std::string name = c.name.empty() ? c.value : c.name;
        if (o.Flag("no-merge")) {
            for (size_t i = 0; i < c.polygons.size(); ++i)
                append(std::move(c.polygons[i]),
                       c.polygons.size() == 1 ? name : name + "_" + std::to_string(i + 1));
            ++classNumber;
            continue;
        }
        std::vector<const ClassifySample*> sources;
        for (const auto& p : c.polygons)
            sources.push_back(p.get());
        const SampleStats::MergedStatistics merged = SampleStats::MergeSamples(sources, k);
        if (merged.status != SampleStats::MergeStatus::Ok)
            throw std::runtime_error("class '" + c.value + "': the samples cannot be merged");
        append(std::unique_ptr<ClassifySample>(SampleStats::NewMergedSample(merged, sources, k)), name);
        ++classNumber;
    }
    file.m_sampleCount = static_cast<std::int32_t>(file.m_samples.size());
    if (!file.WriteClassifySampleFile(CommonFun::M2U(outPath)))
        throw std::runtime_error("cannot write '" + outPath + "': " + file.GetLastError());
    context.out << "samples: wrote " << outPath << ": " << file.m_samples.size() << " samples of "
                << built.classes.size() << " classes from " << built.polygonsUsed << " polygons ("
                << built.polygonsRead - built.polygonsUsed << " not over the raster)\n";
    return kExitOk;
}

// ---- Reading and reporting -------------------------------------------------------

CClassifySampleFile readSampleFile(const std::string& path) {
    CClassifySampleFile file;
    if (!file.ReadClassifySampleFile(CommonFun::M2U(path)))
        throw std::runtime_error("cannot read the sample file '" + path + "': " + file.GetLastError());
    return file;
}

using Json = nlohmann::ordered_json;

// A number; null when undefined or not finite.
Json number(const std::optional<double>& v) {
    return v && std::isfinite(*v) ? Json(*v) : Json(nullptr);
}

Json numbers(const std::vector<double>& values) {
    Json array = Json::array();
    for (const double v : values)
        array.push_back(number(v));
    return array;
}

// One JSON object on one line.
void printJson(std::ostream& out, const Json& json) {
    out << json.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
}

std::string colourText(COLORREF c) {
    return std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," +
           std::to_string(GetBValue(c));
}

std::string number(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
}

int runList(const std::string& path, bool json, CommandContext& context) {
    const CClassifySampleFile file = readSampleFile(path);
    std::ostream& out = context.out;
    if (json) {
        Json samples = Json::array();
        for (const auto& sample : file.m_samples) {
            const ClassifySample& s = *sample;
            const int colour[3] = {GetRValue(s.m_colour), GetGValue(s.m_colour), GetBValue(s.m_colour)};
            samples.push_back({{"name", CommonFun::U2M(s.GetName())},
                               {"colour", colour},
                               {"pixels", s.m_pixelCount},
                               {"min", numbers(s.m_min)},
                               {"max", numbers(s.m_max)},
                               {"mean", numbers(s.m_mean)},
                               {"covariance", numbers(s.m_covariance)}});
        }
        printJson(out, {{"bands", file.m_bandCount},
                        {"width", file.m_width},
                        {"height", file.m_height},
                        {"samples", std::move(samples)}});
        return kExitOk;
    }
    out << path << ": " << file.m_samples.size() << " samples, " << file.m_bandCount << " bands, "
        << file.m_width << " x " << file.m_height << " pixels, pixel size " << number(file.m_xResolution)
        << " x " << number(file.m_yResolution) << "\n";
    for (size_t i = 0; i < file.m_samples.size(); ++i) {
        const ClassifySample& s = *file.m_samples[i];
        out << "\nsample " << i + 1 << ": " << CommonFun::U2M(s.GetName()) << "  colour "
            << colourText(s.m_colour) << "  pixels " << s.m_pixelCount << "  shapes " << s.m_shapes.size()
            << "\n";
        out << "  band      minimum      maximum         mean\n";
        for (size_t b = 0; b < s.m_mean.size(); ++b) {
            char line[128];
            std::snprintf(line, sizeof line, "  %4zu %12s %12s %12s\n", b + 1,
                          number(b < s.m_min.size() ? s.m_min[b] : NAN).c_str(),
                          number(b < s.m_max.size() ? s.m_max[b] : NAN).c_str(), number(s.m_mean[b]).c_str());
            out << line;
        }
    }
    return kExitOk;
}

struct Problem {
    int sample; // 1-based; 0 for a problem of the file
    std::string kind, message;
};

int runCheck(const std::string& path, bool json, CommandContext& context) {
    const CClassifySampleFile file = readSampleFile(path);
    const auto& samples = file.m_samples;
    std::vector<Problem> problems;
    std::map<std::wstring, int> firstWithName;
    for (size_t i = 0; i < samples.size(); ++i) {
        const ClassifySample& s = *samples[i];
        const int n = static_cast<int>(i) + 1;
        const std::string name = "'" + CommonFun::U2M(s.GetName()) + "'";
        if (file.m_bandCount > 0 && s.m_bandCount != file.m_bandCount)
            problems.push_back({n, "band-count",
                                "sample " + std::to_string(n) + " " + name + " has " +
                                    std::to_string(s.m_bandCount) + " bands, the file " +
                                    std::to_string(file.m_bandCount)});
        if (s.m_pixelCount <= 0)
            problems.push_back({n, "empty", "sample " + std::to_string(n) + " " + name + " has no pixels"});
        else if (s.m_pixelCount < s.m_bandCount + 1)
            problems.push_back({n, "too-few-pixels",
                                "sample " + std::to_string(n) + " " + name + " has " +
                                    std::to_string(s.m_pixelCount) + " pixels, fewer than bands + 1 (" +
                                    std::to_string(s.m_bandCount + 1) + "): its covariance is singular"});
        else if (!Separability::PositiveDefinite(s.m_covariance, s.m_bandCount))
            problems.push_back(
                {n, "singular-covariance",
                 "sample " + std::to_string(n) + " " + name +
                     ": its covariance is singular (a constant band, or bands that copy each other)"});
        const auto [it, added] = firstWithName.emplace(s.GetName(), n);
        if (!added)
            problems.push_back({n, "duplicate-name",
                                "sample " + std::to_string(n) + " " + name + " has the name of sample " +
                                    std::to_string(it->second)});
    }

    struct Pair {
        int a, b;
        Separability::PairMeasures m;
    };
    std::vector<Pair> pairs;
    for (size_t i = 0; i < samples.size(); ++i)
        for (size_t j = i + 1; j < samples.size(); ++j) {
            const int k = std::min(samples[i]->m_bandCount, samples[j]->m_bandCount);
            pairs.push_back({static_cast<int>(i) + 1, static_cast<int>(j) + 1,
                             Separability::Measure({&samples[i]->m_mean, &samples[i]->m_covariance},
                                                   {&samples[j]->m_mean, &samples[j]->m_covariance}, k)});
        }

    std::ostream& out = context.out;
    if (json) {
        Json problemList = Json::array(), separability = Json::array();
        for (const Problem& p : problems)
            problemList.push_back({{"sample", p.sample}, {"kind", p.kind}, {"message", p.message}});
        for (const Pair& p : pairs)
            separability.push_back({{"a", p.a},
                                    {"b", p.b},
                                    {"jm", number(p.m.jeffriesMatusita)},
                                    {"td", number(p.m.transformedDivergence)}});
        printJson(out, {{"samples", samples.size()},
                        {"bands", file.m_bandCount},
                        {"problems", std::move(problemList)},
                        {"separability", std::move(separability)}});
    } else {
        out << path << ": " << samples.size() << " samples, " << file.m_bandCount << " bands\n";
        if (problems.empty())
            out << "no problems found\n";
        else
            for (const Problem& p : problems)
                out << "problem: " << p.message << "\n";
        if (!pairs.empty()) {
            out << "\nseparability: Jeffries-Matusita (0-2) and transformed divergence (0-2000);\n"
                   "pairs with a transformed divergence below 1700 are marked poor\n";
            out << "   a    b        JM        TD\n";
            for (const Pair& p : pairs) {
                auto cell = [](const std::optional<double>& v, const char* format) {
                    char text[32];
                    if (!v)
                        return std::string("-");
                    std::snprintf(text, sizeof text, format, *v);
                    return std::string(text);
                };
                char line[128];
                std::snprintf(line, sizeof line, "%4d %4d %9s %9s%s\n", p.a, p.b,
                              cell(p.m.jeffriesMatusita, "%.4f").c_str(),
                              cell(p.m.transformedDivergence, "%.1f").c_str(),
                              p.m.transformedDivergence && *p.m.transformedDivergence < 1700.0 ? "  poor"
                                                                                               : "");
                out << line;
            }
        }
    }
    return problems.empty() ? kExitOk : kExitFailure;
}

CommandDef samplesDef() {
    CommandDef def{
        "samples",
        "Training samples (.cif) from a polygon layer; list or check a sample file.",
        {{"IN", "raster the statistics are taken from", false, {FileRole::Input, FileKind::Raster}},
         {"POLYGONS",
          "polygon layer (shapefile or any OGR vector)",
          false,
          {FileRole::Input, FileKind::Vector}},
         {"OUT", ".cif sample file to write", false, {FileRole::Output, FileKind::Samples}}},
        {StringOption("class-field", "F", "field of POLYGONS holding each polygon's class"),
         StringOption("name-field", "F",
                      "field of POLYGONS naming each class; default a text field called name, "
                      "class_name or label, else the class value names it"),
         StringOption("colours", "palette|bands",
                      "sample colours: a distinct qualitative palette, or the colour of each "
                      "sample's mean on IN's display bands")
             .Default("palette")
             .Choices({"palette", "bands"}),
         FlagOption("no-merge", "one sample per polygon instead of one per class"),
         StringOption("list", "FILE", "print the header and the samples of a .cif file")
             .Reads(FileKind::Samples),
         StringOption("check", "FILE", "report what would go wrong classifying with a .cif file")
             .Reads(FileKind::Samples),
         FlagOption("json", "with --list or --check: the result as one JSON object")},
        ""};
    def.details =
        "tessera samples IN POLYGONS OUT --class-field F: one sample per polygon (its pixels whose centres\n"
        "lie inside, polygons reprojected to IN's coordinate system), then the samples of each class merged\n"
        "into one signature named by the name field (or the class value), in a distinct colour per class\n"
        "(--colours bands: the colour of its mean on IN's display bands).\n"
        "tessera samples --list FILE [--json]: header and per sample name, colour, pixels, minimum, "
        "maximum,\n"
        "mean (and covariance with --json).\n"
        "tessera samples --check FILE [--json]: samples without pixels, with fewer pixels than bands + 1,\n"
        "with a singular covariance or a repeated name, and the pairwise Jeffries-Matusita and transformed\n"
        "divergence separability. Exit code 1 when a problem is found.";
    return def;
}

int runSamples(const ParsedOptions& o, CommandContext& context) {
    const bool list = o.Given("list"), check = o.Given("check");
    if (list && check)
        throw UsageError("--list and --check exclude each other");
    if (list || check) {
        if (o.PositionalCount() > 0 || o.Given("class-field") || o.Given("no-merge") ||
            o.Given("name-field") || o.Given("colours"))
            throw UsageError(std::string(list ? "--list" : "--check") +
                             " takes no other argument than FILE and --json");
        return list ? runList(o.String("list"), o.Flag("json"), context)
                    : runCheck(o.String("check"), o.Flag("json"), context);
    }
    if (o.Given("json"))
        throw UsageError("--json goes with --list or --check");
    if (o.PositionalCount() != 3)
        throw UsageError("expects IN POLYGONS OUT (got " + std::to_string(o.PositionalCount()) +
                         " arguments), or --list FILE, or --check FILE");
    if (!o.Given("class-field") || o.String("class-field").empty())
        throw UsageError("--class-field is required to build a sample file");
    return runBuild(o, context);
}

} // namespace

Subcommand SamplesSubcommand() {
    return {samplesDef(), runSamples};
}
