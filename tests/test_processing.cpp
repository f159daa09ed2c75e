// The processing framework, the class raster writer, K-Means and ISODATA,
// checked against naive references on small images written here.
#include "base/commonfun.h"
#include "engine/aiffile.h"
#include "engine/rastersource.h"
#include "processing/blockprocessor.h"
#include "processing/classraster.h"
#include "processing/clustering.h"
#include "processing/unsupervised.h"
#include "support/fixtures.h"
#include "support/recordingprogress.h"

#include <cmath>
#include <numeric>
#include <random>

using namespace tessera;

namespace {

// A scene of three spectral groups in horizontal bands of rows, with noise;
// UInt16 band values, EPSG:32633, 10 m pixels. `options` may ask for tiles.
struct Scene {
    int width = 48, height = 36, bands = 3;
    std::vector<std::vector<float>> values; // [band][row * width + col]
};

Scene writeScene(const fs::path& path, int width, int height, const std::vector<std::string>& options = {}) {
    Scene s{width, height};
    s.values.assign(s.bands, std::vector<float>(static_cast<size_t>(width) * height));
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 6.0f);
    const float means[3][3] = {{100, 400, 250}, {600, 300, 900}, {1500, 1200, 200}};
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const int group = (r * 3 / height + (c > width * 3 / 4 ? 1 : 0)) % 3;
            for (int b = 0; b < s.bands; ++b)
                s.values[b][r * width + c] = std::round(means[group][b] + noise(rng));
        }
    WriteRaster(path,
                {width, height, 3, GDT_UInt16, {300000, 10, 0, 5000000, 0, -10}, 32633, {}, {}, {}, options},
                [&](int b, int c, int r) { return s.values[b - 1][r * width + c]; });
    return s;
}

// Textbook Lloyd iterations from the classifier's seeding, one thread, no shortcuts.
std::vector<int> naiveKMeansLabels(const Scene& s, const std::vector<char>& use, int k, int iterations,
                                   double threshold) {
    PixelSample sample;
    sample.bands = s.bands;
    for (size_t i = 0; i < use.size(); ++i)
        for (int b = 0; b < s.bands && use[i]; ++b)
            sample.data.push_back(s.values[b][i]);
    Centres centres = InitialCentres(sample, k);
    const auto distance = [&](const float* p, int j) {
        double d = 0;
        for (int b = 0; b < s.bands; ++b)
            d += (p[b] - centres[j][b]) * (p[b] - centres[j][b]);
        return d;
    };
    const auto nearest = [&](const float* p) {
        int best = 0;
        for (int j = 1; j < static_cast<int>(centres.size()); ++j)
            best = distance(p, j) < distance(p, best) ? j : best;
        return best;
    };
    std::vector<int> labels(sample.Count(), -1);
    for (int it = 0; it < iterations; ++it) {
        size_t changed = 0;
        Centres sum(centres.size(), std::vector<double>(s.bands, 0));
        std::vector<size_t> count(centres.size(), 0);
        for (size_t i = 0; i < labels.size(); ++i) {
            const int j = nearest(sample.Pixel(i));
            changed += j != std::exchange(labels[i], j);
            ++count[j];
            for (int b = 0; b < s.bands; ++b)
                sum[j][b] += sample.Pixel(i)[b];
        }
        for (size_t j = 0; j < centres.size(); ++j)
            for (int b = 0; b < s.bands && count[j]; ++b)
                centres[j][b] = sum[j][b] / count[j];
        if (static_cast<double>(changed) / labels.size() <= threshold)
            break;
    }
    std::sort(centres.begin(), centres.end(), [](const auto& a, const auto& b) {
        return std::accumulate(a.begin(), a.end(), 0.0) < std::accumulate(b.begin(), b.end(), 0.0);
    });
    std::vector<int> out(use.size(), 0);
    for (size_t i = 0; i < use.size(); ++i) {
        const float p[3] = {s.values[0][i], s.values[1][i], s.values[2][i]};
        out[i] = use[i] ? nearest(p) + 1 : 0;
    }
    return out;
}

} // namespace

TEST(BlockProcessor, VisitsEveryValidPixelOnceOnStripsAndTiles) {
    for (bool tiled : {false, true}) {
        SCOPED_TRACE(tiled ? "tiled" : "strips");
        const fs::path path = ScratchDir() / (tiled ? "blocks-tiled.tif" : "blocks-strips.tif");
        const Scene s =
            writeScene(path, 70, 53,
                       tiled ? std::vector<std::string>{"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"}
                             : std::vector<std::string>{});
        CRasterSource raster;
        ASSERT_EQ(raster.Open(WPath(path)), GIS_OK);
        const PixelRect rect{5, 7, 61, 50};
        BlockProcessor blocks(raster, {3, 1}, nullptr, rect);
        blocks.SetWorkerCount(3);
        std::vector<double> sums(3, 0.0);
        std::vector<long long> counts(3, 0);
        ASSERT_TRUE(blocks.ForEachBlock(
            [&](const PixelBlock& b, int w) {
                for (int i = 0; i < b.PixelCount(); ++i)
                    if (b.valid[i]) {
                        sums[w] += b.Pixel(i)[0] * 1000.0 + b.Pixel(i)[1]; // band 3 then band 1
                        ++counts[w];
                    }
            },
            nullptr));
        double want = 0;
        for (int r = rect.top; r < rect.bottom; ++r)
            for (int c = rect.left; c < rect.right; ++c)
                want += s.values[2][r * 70 + c] * 1000.0 + s.values[0][r * 70 + c];
        EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0LL), 56LL * 43);
        EXPECT_DOUBLE_EQ(std::accumulate(sums.begin(), sums.end(), 0.0), want);
    }
}

TEST(BlockProcessor, LabelsWindowsWithAHaloClampedToTheImage) {
    const fs::path dir = Scratch("halo");
    writeScene(dir / "in.tif", 70, 53);
    CRasterSource raster;
    ASSERT_EQ(raster.Open(WPath(dir / "in.tif")), GIS_OK);
    const PixelRect rect{5, 7, 61, 50};
    const int halo = 3;
    // Each label: the valid pixels of the 7 × 7 neighbourhood, seen through the window.
    const auto expected = [&](int col, int row) {
        if (col < rect.left || col >= rect.right || row < rect.top || row >= rect.bottom)
            return 0;
        const int w = std::min(col + halo + 1, rect.right) - std::max(col - halo, rect.left);
        const int h = std::min(row + halo + 1, rect.bottom) - std::max(row - halo, rect.top);
        return w * h;
    };
    for (const int blockSize : {16, 0}) {
        BlockProcessor blocks(raster, {1}, nullptr, rect);
        blocks.SetBlockSize(blockSize, blockSize);
        blocks.SetWorkerCount(3);
        ClassRasterWriter writer;
        ASSERT_TRUE(writer.Create(WPath(dir / "out.tif"), 0, raster, 49));
        std::atomic<int> badWindows{0};
        ASSERT_TRUE(blocks.LabelWindows(
            halo,
            [&](const PixelBlock& w, const PixelRect& core, std::uint16_t* labels, int) {
                if (w.x != std::max(0, core.left - halo) || w.y != std::max(0, core.top - halo) ||
                    w.x + w.width != std::min(70, core.right + halo) ||
                    w.y + w.height != std::min(53, core.bottom + halo))
                    ++badWindows;
                for (int r = core.top; r < core.bottom; ++r)
                    for (int c = core.left; c < core.right; ++c) {
                        int n = 0;
                        for (int y = std::max(r - halo, w.y); y <= std::min(r + halo, w.y + w.height - 1);
                             ++y)
                            for (int x = std::max(c - halo, w.x); x <= std::min(c + halo, w.x + w.width - 1);
                                 ++x)
                                n += w.valid[(y - w.y) * w.width + (x - w.x)];
                        labels[(r - core.top) * core.Width() + (c - core.left)] =
                            w.valid[(r - w.y) * w.width + (c - w.x)] ? static_cast<std::uint16_t>(n) : 0;
                    }
            },
            writer, nullptr))
            << CommonFun::U2M(blocks.GetLastError());
        ASSERT_TRUE(writer.Commit(NumberedClasses(49), {}));
        EXPECT_EQ(badWindows, 0);
        const std::vector<int> labels = ReadBand(dir / "out.tif");
        ASSERT_EQ(labels.size(), 70u * 53);
        for (int r = 0; r < 53; ++r)
            for (int c = 0; c < 70; ++c)
                ASSERT_EQ(labels[r * 70 + c], expected(c, r))
                    << "pixel " << c << "," << r << " block " << blockSize;
    }
}

TEST(ClassRasterWriter, FormatsAndFailureLeaveNothing) {
    const std::tuple<int, const wchar_t*, int> formats[] = {{38, L"/x/out.img", 38}, {20, L"/x/out.tif", 20},
                                                            {0, L"/x/out.img", 20},  {0, L"/x/out.pix", 21},
                                                            {0, L"/x/out", 38},      {99, L"/x/out.xyz", 38}};
    for (auto [format, path, resolved] : formats)
        EXPECT_EQ(ClassRasterWriter::ResolveFormat(format, path), resolved) << format << " " << Narrow(path);

    const fs::path dir = Scratch("writer");
    writeScene(dir / "in.tif", 20, 10);
    CRasterSource raster;
    ASSERT_EQ(raster.Open(WPath(dir / "in.tif")), GIS_OK);
    {
        ClassRasterWriter writer;
        ASSERT_TRUE(writer.Create(WPath(dir / "out.img"), 0, raster, 300)); // beyond Byte: UInt16
        std::vector<std::uint16_t> labels(20 * 10, 299);
        ASSERT_TRUE(writer.WriteBlock(0, 0, 20, 10, labels.data()));
        labels[0] = 301;
        EXPECT_FALSE(writer.WriteBlock(0, 0, 20, 10, labels.data())); // beyond the class table
        EXPECT_TRUE(fs::exists(writer.TemporaryPath()));
    } // never committed: gone
    EXPECT_EQ(FilesIn(dir), std::set<std::string>{"in.tif"});

    ClassRasterWriter writer;
    ASSERT_TRUE(writer.Create(WPath(dir / "out.img"), 0, raster, 300));
    std::vector<std::uint16_t> labels(20 * 10);
    for (size_t i = 0; i < labels.size(); ++i)
        labels[i] = static_cast<std::uint16_t>(i % 301);
    ASSERT_TRUE(writer.WriteBlock(0, 0, 20, 10, labels.data()));
    ASSERT_TRUE(writer.Commit(NumberedClasses(300), {{"ALGORITHM", "test"}}));
    const Dataset ds = OpenDataset(dir / "out.img");
    ASSERT_TRUE(ds);
    EXPECT_EQ(
        std::tuple(std::string(ds->GetDriver()->GetDescription()), ds->GetRasterBand(1)->GetRasterDataType()),
        std::tuple(std::string("HFA"), GDT_UInt16));
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(WPath(dir / "out.acf")));
    ASSERT_EQ(acf.GetClassCount(), 301);
    EXPECT_EQ(std::tuple(acf.GetClassRecord(0)->m_pixelCount, acf.GetClassRecord(199)->m_pixelCount,
                         acf.GetClassRecord(200)->m_pixelCount, acf.GetPixelSizeY()),
              std::tuple(1, 1, 0, -10.0));
}

TEST(KMeans, MatchesANaiveLloydAndWritesAReadableClassImage) {
    const fs::path dir = Scratch("kmeans");
    const Scene s = writeScene(dir / "scene.tif", 48, 36);
    KMeanClassifyParam param;
    param.m_algorithmName = L"K均值分类算法";
    param.m_inputPath = WPath(dir / "scene.tif");
    param.m_outputPath = WPath(dir / "classes.tif");
    param.m_outputFormat = 38;
    param.m_classCount = 4;
    param.m_maxIterations = 20;
    param.m_changeThreshold = 0.0;
    RecordingProgress progress;
    auto* algorithm = new CKMeanClassify(&param);
    param.m_classCount = 9; // the algorithm has its own copy
    algorithm->SetProgress(&progress);
    ASSERT_TRUE(algorithm->ProcessFromNewThread(false)) << Narrow(algorithm->GetLastError());
    delete algorithm;
    EXPECT_EQ(std::tuple(progress.finished, progress.succeeded, progress.title, progress.lastPercent),
              std::tuple(true, true, std::wstring(L"K均值分类算法"), 100.0));

    const std::vector<int> labels = ReadBand(dir / "classes.tif");
    EXPECT_EQ(labels, naiveKMeansLabels(s, std::vector<char>(48 * 36, 1), 4, 20, 0.0));
    // The image carries its classes for GDAL tools; the .acf agrees with the pixels.
    const Dataset ds = OpenDataset(dir / "classes.tif");
    GDALRasterBand* band = ds->GetRasterBand(1);
    EXPECT_EQ(band->GetRasterDataType(), GDT_Byte);
    ASSERT_TRUE(band->GetColorTable() && band->GetCategoryNames() && CSLCount(band->GetCategoryNames()) >= 5);
    EXPECT_GE(band->GetColorTable()->GetColorEntryCount(), 5);
    EXPECT_EQ(std::string(band->GetCategoryNames()[0]) + "|" + band->GetCategoryNames()[4],
              "Unclassified|Class 4");
    EXPECT_EQ(std::string(ds->GetMetadataItem("ALGORITHM", "TESSERA")), "K-Means");
    double gt[6];
    ds->GetGeoTransform(gt);
    EXPECT_EQ(gt[0], 300000.0);
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(WPath(dir / "classes.acf")));
    ASSERT_EQ(acf.GetClassCount(), 5);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(acf.GetClassRecord(c)->m_pixelCount, std::count(labels.begin(), labels.end(), c)) << c;
    EXPECT_EQ(std::tuple(acf.GetClassRecord(2)->m_name, acf.GetPixelSizeX()),
              std::tuple(std::wstring(L"Class 2"), 10.0));
}

TEST(KMeans, HonoursTheAoiNodataAndTheSampleLimit) {
    const fs::path dir = Scratch("kmeans-aoi");
    Scene s = writeScene(dir / "scene.tif", 40, 30);
    {
        // Nodata 0 in band 2 on a diagonal.
        Dataset ds(GDALDataset::Open((dir / "scene.tif").string().c_str(), GDAL_OF_UPDATE));
        ds->GetRasterBand(2)->SetNoDataValue(0);
        for (int i = 0; i < 30; ++i) {
            std::uint16_t zero = 0;
            ASSERT_EQ(CE_None, ds->GetRasterBand(2)->RasterIO(GF_Write, i, i, 1, 1, &zero, 1, 1, GDT_UInt16,
                                                              0, 0, nullptr));
            s.values[1][i * 40 + i] = 0;
        }
    }
    // AOI: the left 30 columns, in ground coordinates.
    AifContent aoi;
    aoi.polygons = {{{300000, 5000000}, {300300, 5000000}, {300300, 4999700}, {300000, 4999700}}};
    ASSERT_TRUE(WriteAifFile(WPath(dir / "left.aif"), aoi));

    KMeanClassifyParam param;
    param.m_inputPath = WPath(dir / "scene.tif");
    param.m_outputPath = WPath(dir / "classes.tif");
    param.m_aoiPath = WPath(dir / "left.aif");
    param.m_classCount = 3;
    param.m_maxIterations = 10;
    CKMeanClassify algorithm(&param);
    ASSERT_TRUE(algorithm.ProcessFromNewThread(false)) << Narrow(algorithm.GetLastError());
    std::vector<char> use(40 * 30, 0);
    for (int r = 0; r < 30; ++r)
        for (int c = 0; c < 30; ++c)
            use[r * 40 + c] = c != r;
    EXPECT_EQ(ReadBand(dir / "classes.tif"), naiveKMeansLabels(s, use, 3, 10, 0.05));
    // Fitting on an evenly spread sample still finds the three groups.
    param.m_aoiPath.clear();
    param.m_sampleLimit = 100;
    param.m_outputPath = WPath(dir / "sampled.tif");
    CKMeanClassify sampled(&param);
    ASSERT_TRUE(sampled.ProcessFromNewThread(false));
    const std::vector<int> sampledLabels = ReadBand(dir / "sampled.tif");
    const std::vector<int> full = naiveKMeansLabels(s, std::vector<char>(40 * 30, 1), 3, 10, 0.05);
    for (size_t i = 0; i < full.size(); ++i)
        ASSERT_TRUE(s.values[1][i] == 0 || sampledLabels[i] == full[i]) << i;
}

TEST(KMeans, CancelAndBadInputLeaveNoOutput) {
    const fs::path dir = Scratch("kmeans-fail");
    writeScene(dir / "scene.tif", 300, 200);
    KMeanClassifyParam param;
    param.m_inputPath = WPath(dir / "scene.tif");
    param.m_outputPath = WPath(dir / "classes.tif");
    {
        RecordingProgress progress;
        progress.cancelAfter = 2;
        CKMeanClassify algorithm(&param);
        algorithm.SetProgress(&progress);
        EXPECT_FALSE(algorithm.ProcessFromNewThread(false));
        // A cancel is not an error: no message.
        EXPECT_EQ(
            std::tuple(algorithm.WasCancelled(), progress.finished, progress.succeeded, progress.message),
            std::tuple(true, true, false, std::wstring()));
    }
    EXPECT_EQ(FilesIn(dir), std::set<std::string>{"scene.tif"});

    const auto failsWith = [&](const std::function<void(KMeanClassifyParam&)>& change,
                               const std::wstring& words) {
        KMeanClassifyParam p = param;
        change(p);
        CKMeanClassify algorithm(&p);
        EXPECT_FALSE(algorithm.ProcessFromNewThread(false));
        EXPECT_NE(algorithm.GetLastError().find(words), std::wstring::npos)
            << Narrow(algorithm.GetLastError());
    };
    failsWith([](auto& p) { p.m_classCount = 0; }, L"classes must be");
    failsWith([&](auto& p) { p.m_inputPath = WPath(dir / "missing.tif"); }, L"Cannot open the input image");
    failsWith([&](auto& p) { p.m_outputPath = WPath(dir / "no-such-folder" / "c.tif"); }, L"output folder");
    failsWith(
        [](auto& p) {
            p.m_bandList = {0, 3};
        },
        L"Band 4 does not exist"); // indices from 0: bands 1 and 4
    failsWith([&](auto& p) { p.m_aoiPath = WPath(dir / "scene.tif"); }, L"area of interest");
    EXPECT_EQ(FilesIn(dir), std::set<std::string>{"scene.tif"});
}

TEST(Isodata, SplitsMergesAndDiscardsByItsRulesAndClassifiesAnImage) {
    // Three tight blobs; with two classes wanted, the wide class holding
    // two blobs is split, and the result settles on the three blob means.
    PixelSample sample{2, {}};
    for (auto [x, y] : {std::pair{0.0f, 0.0f}, {100.0f, 0.0f}, {50.0f, 300.0f}})
        for (int i = 0; i < 60; ++i)
            sample.data.insert(sample.data.end(), {x + (i % 3) - 1, y + (i % 5) - 2});
    IsodataResult r = RunIsodata(sample, {.desiredClasses = 2,
                                          .maxIterations = 6,
                                          .minCentreDistance = 1,
                                          .splitStdDev = 10,
                                          .minClassSize = 5});
    SortCentresByBrightness(r.centres);
    ASSERT_EQ(r.centres.size(), 3u);
    EXPECT_GE(r.splits, 1);
    for (auto [c, b, value] : {std::tuple{0, 0, 0.0}, {1, 0, 100.0}, {2, 1, 300.0}})
        EXPECT_NEAR(r.centres[c][b], value, 1e-9) << c;
    // Two blobs closer than the lumping distance become one, at their
    // pixel-weighted mean; a blob below the minimum size is discarded and its
    // pixels join the nearest class left. Never split.
    PixelSample near{1, {}};
    for (auto [value, count] : {std::pair{10.0f, 30}, {14.0f, 10}, {500.0f, 40}, {2000.0f, 3}})
        near.data.insert(near.data.end(), count, value);
    r = RunIsodata(near, {.desiredClasses = 4,
                          .maxIterations = 4,
                          .minCentreDistance = 8,
                          .splitStdDev = 1000,
                          .maxMergePairs = 1,
                          .minClassSize = 5});
    SortCentresByBrightness(r.centres);
    ASSERT_EQ(std::tuple(r.discards, r.merges, r.centres.size()), std::tuple(1, 1, 2u));
    EXPECT_NEAR(r.centres[0][0], (30 * 10 + 10 * 14) / 40.0, 1e-9);
    EXPECT_NEAR(r.centres[1][0], (40 * 500 + 3 * 2000) / 43.0, 1e-9);
    const fs::path dir = Scratch("isodata");
    writeScene(dir / "scene.tif", 48, 36);
    ISODATAClassifyParam param;
    param.m_inputPath = WPath(dir / "scene.tif");
    param.m_outputPath = WPath(dir / "classes.img");
    param.m_outputFormat = 20;
    param.m_classCount = 3;
    param.m_maxIterations = 8;
    param.m_minClassDistance = 50;
    param.m_splitStdDev = 100;
    param.m_minPixelCount = 20;
    CISODATAClassify algorithm(&param);
    ASSERT_TRUE(algorithm.ProcessFromNewThread(false)) << Narrow(algorithm.GetLastError());
    const std::vector<int> labels = ReadBand(dir / "classes.img");
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(WPath(dir / "classes.acf")));
    // The three groups and "Unclassified", which no pixel is.
    EXPECT_EQ(std::tuple(acf.GetClassCount(), std::count(labels.begin(), labels.end(), 0)), std::tuple(4, 0));
    // Pixels of one row band (one group, left part) share a class.
    EXPECT_EQ(labels[2 * 48 + 3], labels[10 * 48 + 20]);
    EXPECT_NE(labels[2 * 48 + 3], labels[30 * 48 + 3]);
}
