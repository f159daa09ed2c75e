// The random forest, the confidence rasters of every classifier, the
// validation on held-out polygons, and the refusal of bad option values.
#include "engine/rastersource.h"
#include "processing/classifyoutputs.h"
#include "processing/forestmodel.h"
#include "processing/learnedclassify.h"
#include "support/cli.h"

#include <cmath>
#include <random>

using namespace tessera;

namespace {

constexpr double X0 = 1000, Y0 = 2000; // ground origin, 1 unit pixels, north up

CDrawShape* rectangle(double c0, double r0, double c1, double r1) {
    return new CDrawShape(DRAWSHAPE_RECTANGLE, {{X0 + c0, Y0 - r0}, {X0 + c1, Y0 - r1}});
}

std::vector<std::string> classify(const fs::path& image, const fs::path& samples, const fs::path& out,
                                  std::vector<std::string> more) {
    std::vector<std::string> args{"classify", image.string(), samples.string(), out.string(), "--quiet"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

} // namespace

// Two classes whose bands overlap (means 30 apart, deviation 15 in both
// bands): the Bayes rule errs on about 8% of the pixels, so a forest that
// learns reaches 85% over the whole image; the saved model gives the same
// labels again, its flat trees label every pixel as OpenCV's own predict
// does, and the vote shares are whole numbers of trees.
TEST(RandomForest, LearnsOverlappingClassesAndReproducesItsLabelsFromTheSavedModel) {
    const fs::path dir = Scratch("forest");
    constexpr int W = 80, H = 60;
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 15);
    std::vector<double> values(static_cast<size_t>(W) * H * 2);
    for (int b = 0; b < 2; ++b)
        for (int i = 0; i < W * H; ++i)
            values[b * W * H + i] = (i % W < W / 2 ? 100 : 130) + noise(rng);
    const fs::path image =
        WriteRaster(dir / "scene.tif", {W, H, 2, GDT_Float32, {X0, 1, 0, Y0, 0, -1}}, values);
    std::vector<ClassifySample*> samples{NewSample(L"left", 2), NewSample(L"right", 2)};
    for (int s = 0; s < 3; ++s) {
        samples[0]->m_shapes.push_back(rectangle(2, 2 + 20 * s, 30, 18 + 20 * s));
        samples[1]->m_shapes.push_back(rectangle(50, 2 + 20 * s, 78, 18 + 20 * s));
    }
    WriteSamples(dir / "s.cif", 2, samples);

    const CliRun trained =
        RunTessera(classify(image, dir / "s.cif", dir / "rf.tif",
                            {"--method", "rf", "--trees", "40", "--confidence", (dir / "c.tif").string()}));
    ASSERT_EQ(trained.code, kExitOk) << trained.err;
    const std::vector<int> labels = ReadBand(dir / "rf.tif");
    const std::vector<float> share = ReadBand<float>(dir / "c.tif");
    ASSERT_EQ(labels.size(), static_cast<size_t>(W * H));
    int correct = 0;
    for (int i = 0; i < W * H; ++i) {
        correct += labels[i] == (i % W < W / 2 ? 1 : 2);
        EXPECT_GE(share[i], 0.5f);
        EXPECT_NEAR(share[i] * 40, std::round(share[i] * 40), 1e-3);
    }
    EXPECT_GT(correct, 0.85 * W * H);
    EXPECT_LT(correct, W * H); // the classes overlap: a perfect map would mean no overlap was made

    const CliRun reused = RunTessera(classify(image, dir / "s.cif", dir / "again.tif",
                                              {"--method", "rf", "--model", (dir / "rf.rf").string()}));
    ASSERT_EQ(reused.code, kExitOk) << reused.err;
    EXPECT_EQ(ReadBand(dir / "again.tif"), labels);

    std::wstring error;
    const std::unique_ptr<ForestModel> model = ForestModel::Load(WPath(dir / "rf.rf"), error);
    ASSERT_TRUE(model) << Narrow(error);
    std::vector<float> pixels(2 * W * H);
    for (int i = 0; i < W * H; ++i)
        pixels[2 * i] = static_cast<float>(values[i]),
                   pixels[2 * i + 1] = static_cast<float>(values[W * H + i]);
    std::vector<std::uint16_t> flat(W * H);
    model->Predict(pixels.data(), W * H, nullptr, flat.data());
    int disagree = 0;
    for (int i = 0; i < W * H; ++i)
        disagree += flat[i] != model->PredictWithOpenCV(&pixels[2 * i]);
    EXPECT_EQ(disagree, 0);
}

// Each decision rule's confidence on a 5 × 3 image of two bands against the
// formulas worked directly from the class statistics.
TEST(Confidence, EveryDecisionRuleMatchesAStraightCalculation) {
    const fs::path dir = Scratch("confidence");
    constexpr int W = 5, H = 3;
    const double mean[3][2] = {{50, 60}, {120, 100}, {90, 160}};
    const double cov[3][4] = {{100, 20, 20, 80}, {60, -10, -10, 90}, {150, 0, 0, 50}};
    const double prior[3] = {0.2, 0.5, 0.3};
    std::vector<double> values(W * H * 2);
    for (int i = 0; i < W * H; ++i) {
        values[i] = 40 + (i * 37) % 110;         // band 1
        values[W * H + i] = 50 + (i * 53) % 120; // band 2
    }
    const fs::path image =
        WriteRaster(dir / "tiny.tif", {W, H, 2, GDT_Float32, {X0, 1, 0, Y0, 0, -1}}, values);
    std::vector<ClassifySample*> samples;
    for (int c = 0; c < 3; ++c)
        samples.push_back(NewSample(L"c" + std::to_wstring(c), 2, {mean[c][0], mean[c][1]},
                                    {cov[c][0], cov[c][1], cov[c][2], cov[c][3]}, 100));
    WriteSamples(dir / "s.cif", 2, samples);

    for (const std::string method : {"mindist", "maxlik", "mahalanobis", "sam", "parallelepiped"}) {
        std::vector<std::string> options{"--method",     method,
                                         "--confidence", (dir / (method + ".c.tif")).string(),
                                         "--threshold",  method == "parallelepiped" ? "10" : "0"};
        if (method == "maxlik")
            options.insert(options.end(), {"--priors", "0.2,0.5,0.3"});
        const CliRun run = RunTessera(classify(image, dir / "s.cif", dir / (method + ".tif"), options));
        ASSERT_EQ(run.code, kExitOk) << run.err;
        const std::vector<int> labels = ReadBand(dir / (method + ".tif"));
        const std::vector<float> confidence = ReadBand<float>(dir / (method + ".c.tif"));
        ASSERT_EQ(confidence.size(), static_cast<size_t>(W * H));
        for (int i = 0; i < W * H; ++i) {
            const double x = values[i], y = values[W * H + i];
            double value[3], discriminant[3]; // smaller wins; the confidence of each class
            for (int c = 0; c < 3; ++c) {
                const double dx = x - mean[c][0], dy = y - mean[c][1];
                const double det = cov[c][0] * cov[c][3] - cov[c][1] * cov[c][2];
                const double d2 = (cov[c][3] * dx * dx - 2 * cov[c][1] * dx * dy + cov[c][0] * dy * dy) / det;
                const double euclid = std::hypot(dx, dy);
                const double angle = std::acos((x * mean[c][0] + y * mean[c][1]) /
                                               (std::hypot(x, y) * std::hypot(mean[c][0], mean[c][1])));
                if (method == "mindist" || method == "parallelepiped")
                    value[c] = discriminant[c] = euclid;
                else if (method == "mahalanobis")
                    value[c] = std::sqrt(discriminant[c] = d2);
                else if (method == "sam")
                    value[c] = discriminant[c] = angle;
                else
                    discriminant[c] = std::log(det) + d2 - 2 * std::log(prior[c]);
            }
            const int best =
                static_cast<int>(std::min_element(discriminant, discriminant + 3) - discriminant);
            if (method == "maxlik") {
                double sum = 0;
                for (int c = 0; c < 3; ++c)
                    sum += std::exp(-0.5 * (discriminant[c] - discriminant[best]));
                value[best] = 1 / sum;
            }
            EXPECT_EQ(labels[i], best + 1) << method << " pixel " << i;
            EXPECT_NEAR(confidence[i], value[best], 1e-4 * std::max(1.0, value[best]))
                << method << " pixel " << i;
        }
    }
}

// The learners' confidences are probabilities of the label they give: the
// network's and the SVM's between 1 / classes and 1 where a class dominates,
// nodata where the map is 0 (outside the area the samples cover is still classified).
TEST(Confidence, LearnersWriteProbabilitiesAndNodataWhereTheMapIsUnclassified) {
    const fs::path dir = Scratch("learnedconfidence");
    constexpr int W = 40, H = 20;
    const fs::path image = WriteRaster(
        dir / "i.tif", {W, H, 1, GDT_Float32, {X0, 1, 0, Y0, 0, -1}, 0, {{1, -9999}}}, [](int, int c, int r) {
            return r == 0 && c == 0 ? -9999 : (c < W / 2 ? 10 : 90) + (c * 7 + r * 3) % 11;
        });
    std::vector<ClassifySample*> samples{NewSample(L"a", 1), NewSample(L"b", 1)};
    samples[0]->m_shapes.push_back(rectangle(2, 2, 15, 18));
    samples[1]->m_shapes.push_back(rectangle(25, 2, 38, 18));
    WriteSamples(dir / "s.cif", 1, samples);
    for (const std::string method : {"svm", "bpnn", "rf"}) {
        const fs::path conf = dir / (method + ".c.tif");
        const CliRun run = RunTessera(classify(image, dir / "s.cif", dir / (method + ".tif"),
                                               {"--method", method, "--confidence", conf.string()}));
        ASSERT_EQ(run.code, kExitOk) << run.err;
        const std::vector<float> p = ReadBand<float>(conf);
        ASSERT_EQ(p.size(), static_cast<size_t>(W * H));
        EXPECT_EQ(p[0], kConfidenceNoData) << method;
        for (int i = 1; i < W * H; ++i)
            EXPECT_TRUE(p[i] > 0.5f && p[i] <= 1.0f) << method << " pixel " << i << ": " << p[i];
    }
}

// Held-out polygons are chosen whole from the seed, and none of their pixels
// is among the training pixels: each polygon's pixels carry its own number.
TEST(Validation, NeverTrainsOnAHeldOutPolygonAndReportsOnThemAlone) {
    const fs::path dir = Scratch("validation");
    constexpr int W = 60, H = 10;
    const fs::path image =
        WriteRaster(dir / "i.tif", {W, H, 1, GDT_Float32, {X0, 1, 0, Y0, 0, -1}},
                    [](int, int c, int) { return c / 6; }); // polygon p covers columns 6p..6p+5
    std::vector<ClassifySample*> samples{NewSample(L"low", 1), NewSample(L"high", 1)};
    for (int p = 0; p < 10; ++p)
        samples[p < 5 ? 0 : 1]->m_shapes.push_back(rectangle(6 * p + 1, 1, 6 * p + 5, 9));
    WriteSamples(dir / "s.cif", 1, samples);
    CClassifySampleFile file;
    ASSERT_TRUE(file.ReadClassifySampleFile(WPath(dir / "s.cif")));
    CRasterSource raster;
    ASSERT_EQ(raster.Open(WPath(image)), GIS_OK);
    ShapeSelection training, held, again, heldAgain;
    std::wstring error;
    ASSERT_TRUE(HoldOutShapes(file, 0.4, 7, training, held, error));
    ASSERT_TRUE(HoldOutShapes(file, 0.4, 7, again, heldAgain, error));
    EXPECT_EQ(held, heldAgain);
    TrainingSet trainSet, heldSet;
    ASSERT_TRUE(CollectTrainingSet(raster, {1}, file, 0, trainSet, error, &training));
    ASSERT_TRUE(CollectTrainingSet(raster, {1}, file, 0, heldSet, error, &held));
    std::set<int> heldPolygons, trainedPolygons, heldSeen;
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(std::count(held[c].begin(), held[c].end(), true), 2); // round(0.4 × 5)
        for (int s = 0; s < 5; ++s)
            (held[c][s] ? heldPolygons : trainedPolygons).insert(c * 5 + s);
    }
    for (float v : trainSet.features)
        EXPECT_EQ(heldPolygons.count(static_cast<int>(v)), 0u) << v;
    for (float v : heldSet.features)
        heldSeen.insert(static_cast<int>(v));
    EXPECT_EQ(heldSeen, heldPolygons);

    const CliRun run = RunTessera(classify(image, dir / "s.cif", dir / "out.tif",
                                           {"--method", "rf", "--validate", "0.4", "--seed", "7"}));
    ASSERT_EQ(run.code, kExitOk) << run.err;
    const std::string json = ReadBytes(dir / "out.validation.json");
    EXPECT_NE(json.find("\"held_out_pixels\": " + std::to_string(heldSet.Size())), std::string::npos) << json;
    EXPECT_TRUE(fs::exists(dir / "out.validation.txt"));
}

TEST(ClassifyOptions, BadValuesAreRefusedWithOneLine) {
    const fs::path dir = Scratch("badoptions");
    const fs::path image = WriteRaster(dir / "i.tif", {8, 8, 1, GDT_Float32, {X0, 1, 0, Y0, 0, -1}},
                                       [](int, int c, int) { return c; });
    std::vector<ClassifySample*> samples{NewSample(L"a", 1, {1}, {1}, 5), NewSample(L"b", 1, {6}, {1}, 5)};
    samples[0]->m_shapes.push_back(rectangle(0, 0, 3, 8));
    samples[1]->m_shapes.push_back(rectangle(5, 0, 8, 8));
    WriteSamples(dir / "s.cif", 1, samples);
    WriteBytes(dir / "bad.rf", "%YAML:1.0\nnot: a forest\n");
    const fs::path s = dir / "s.cif", out = dir / "o.tif";
    ExpectRefusals(
        {{classify(image, s, out, {"--method", "rf", "--validate", "1.5"}), kExitUsage, "--validate"},
         {classify(image, s, out, {"--method", "rf", "--trees", "0"}), kExitUsage, "--trees"},
         {classify(image, s, out, {"--method", "svm", "--gamma", "fast"}), kExitUsage, "--gamma"},
         {classify(image, s, out, {"--method", "maxlik", "--priors", "0.5,x"}), kExitUsage, "--priors"},
         {classify(image, s, out, {"--method", "maxlik", "--priors", "1,2,3"}), kExitFailure, "priors"},
         {classify(image, s, out, {"--method", "rf", "--validate", "0.5"}), kExitFailure, "held out"},
         {classify(image, s, out, {"--method", "rf", "--model", (dir / "bad.rf").string()}), kExitFailure,
          "not valid"}},
        dir);
}
