// The five supervised classifiers against straight formulas written here,
// on a small three-band image with rejection, AOI and nodata cases.
#include "base/commonfun.h"
#include "engine/aiffile.h"
#include "processing/bpnnclassify.h"
#include "processing/signatures.h"
#include "processing/supervised.h"
#include "processing/svmclassify.h"
#include "processing/unsupervised.h"
#include "support/fixtures.h"
#include "support/references.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace tessera;

namespace {

constexpr int W = 40, H = 30, B = 3;

struct Image {
    std::vector<float> v; // pixel-interleaved
    const float* at(int i) const { return v.data() + static_cast<size_t>(i) * B; }
};

// Three spectral groups by column band, with noise, a few bright outliers
// and one zero pixel; band 2 has nodata -1 at (5, 5).
Image makeImage(const fs::path& path) {
    Image img;
    img.v.resize(static_cast<size_t>(W) * H * B);
    std::mt19937 rng(11);
    std::normal_distribution<float> noise(0, 8);
    const float means[3][B] = {{120, 80, 60}, {60, 140, 90}, {90, 100, 170}};
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            const int g = c * 3 / W;
            float* p = img.v.data() + (static_cast<size_t>(r) * W + c) * B;
            for (int b = 0; b < B; ++b)
                p[b] = means[g][b] + noise(rng) * (1 + b * 0.5f) + (b == 1 ? 0.4f * (p[0] - means[g][0]) : 0);
            if ((r * 7 + c) % 97 == 0)
                for (int b = 0; b < B; ++b)
                    p[b] = 400 + b * 30; // outliers, far from every class
        }
    float* zero = img.v.data() + (static_cast<size_t>(20) * W + 20) * B;
    zero[0] = zero[1] = zero[2] = 0;
    img.v[(static_cast<size_t>(5) * W + 5) * B + 1] = -1; // nodata in band 2
    WriteRaster(path, {W, H, B, GDT_Float32, {1000, 1, 0, 2000, 0, -1}, 0, {{2, -1}}},
                [&](int b, int c, int r) { return img.v[(static_cast<size_t>(r) * W + c) * B + b - 1]; });
    return img;
}

using Stats = NaiveStats;

// Statistics of a training block of columns [c0, c1) and rows [r0, r1), the outliers left out.
Stats trainingStats(const Image& img, int c0, int c1, int r0, int r1) {
    std::vector<std::vector<double>> pixels;
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c)
            if ((r * 7 + c) % 97 != 0)
                pixels.emplace_back(img.at(r * W + c), img.at(r * W + c) + B);
    return NaiveStatistics(pixels, B);
}

void writeSamples(const fs::path& path, const std::vector<Stats>& classes) {
    std::vector<ClassifySample*> samples;
    for (size_t i = 0; i < classes.size(); ++i) {
        samples.push_back(NewSample(L"类" + std::to_wstring(i + 1), B, classes[i].mean, classes[i].cov, 100));
        samples.back()->m_colour = 0x10 * static_cast<unsigned>(i + 1);
        samples.back()->m_min = classes[i].min;
        samples.back()->m_max = classes[i].max;
    }
    WriteSamples(path, B, samples);
}

// Inverse and determinant of a 3 × 3 matrix by cofactors.
double invert3(const std::vector<double>& m, std::vector<double>& inv) {
    const auto a = [&](int i, int j) { return m[i * 3 + j]; };
    const double det = a(0, 0) * (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) -
                       a(0, 1) * (a(1, 0) * a(2, 2) - a(1, 2) * a(2, 0)) +
                       a(0, 2) * (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0));
    inv.assign(9, 0);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            inv[i * 3 + j] = (a(r0, c0) * a(r1, c1) - a(r0, c1) * a(r1, c0)) / det;
        }
    return det;
}

// The class each rule gives pixel p, from its formula (0: rejected). The
// parallelepiped takes the nearest mean among the boxes holding the pixel.
int reference(SuperviseClassifyType kind, const float* p, const std::vector<Stats>& cls, double t) {
    int best = 0;
    double bestScore = 1e300, bestMeasure = 0;
    for (size_t c = 0; c < cls.size(); ++c) {
        const Stats& s = cls[c];
        std::vector<double> inv;
        const double det = invert3(s.cov, inv);
        double euclid = 0, d2 = 0, dot = 0, np = 0, nm = 0;
        bool inside = true;
        for (int i = 0; i < 3; ++i) {
            euclid += (p[i] - s.mean[i]) * (p[i] - s.mean[i]);
            dot += p[i] * s.mean[i], np += p[i] * p[i], nm += s.mean[i] * s.mean[i];
            const double sd = std::sqrt(s.cov[i * 4]);
            const double lo = t > 0 ? s.mean[i] - t * sd : s.min[i],
                         hi = t > 0 ? s.mean[i] + t * sd : s.max[i];
            inside = inside && p[i] >= lo && p[i] <= hi;
            for (int j = 0; j < 3; ++j)
                d2 += (p[i] - s.mean[i]) * inv[i * 3 + j] * (p[j] - s.mean[j]);
        }
        double score = euclid, measure = std::sqrt(euclid);
        if (kind == SUPERVISE_MAHALANOBIS || kind == SUPERVISE_MAXIMUM_LIKELIHOOD)
            score = kind == SUPERVISE_MAHALANOBIS ? d2 : std::log(det) + d2, measure = std::sqrt(d2);
        else if (kind == SUPERVISE_SPECTRAL_ANGLE && np == 0)
            return 0;
        else if (kind == SUPERVISE_SPECTRAL_ANGLE)
            score = measure = std::acos(std::max(-1.0, std::min(1.0, dot / std::sqrt(np * nm))));
        else if (kind == SUPERVISE_PARALLELEPIPED && !inside)
            continue;
        if (score < bestScore)
            bestScore = score, bestMeasure = measure, best = static_cast<int>(c) + 1;
    }
    return kind != SUPERVISE_PARALLELEPIPED && t > 0 && bestMeasure > t ? 0 : best;
}

struct Fixture {
    fs::path dir = Scratch("supervised");
    Image img = makeImage(dir / "image.tif");
    std::vector<Stats> classes = {trainingStats(img, 2, 10, 2, 28), trainingStats(img, 15, 24, 3, 27),
                                  trainingStats(img, 29, 38, 1, 29)};
    Fixture() { writeSamples(dir / "samples.cif", classes); }
};

const Fixture& fixture() {
    static const Fixture f;
    return f;
}

bool runClassifier(SuperviseClassifyType kind, CSuperviseParam& record, std::wstring* error = nullptr) {
    std::unique_ptr<CBaseAlgorithm> algorithm(CSuperviseAlgFactory::CreateAlgorithm(kind, &record, nullptr));
    const bool ok = algorithm->ProcessFromNewThread(false);
    if (error)
        *error = algorithm->GetLastError();
    return ok;
}

} // namespace

TEST(Supervised, EveryKindAgreesWithItsFormulaPixelForPixel) {
    const Fixture& f = fixture();
    const std::pair<SuperviseClassifyType, double> cases[] = {
        {SUPERVISE_MINIMUM_DISTANCE, 0},   {SUPERVISE_MINIMUM_DISTANCE, 40},
        {SUPERVISE_MAXIMUM_LIKELIHOOD, 0}, {SUPERVISE_MAXIMUM_LIKELIHOOD, 4},
        {SUPERVISE_MAHALANOBIS, 0},        {SUPERVISE_MAHALANOBIS, 3},
        {SUPERVISE_SPECTRAL_ANGLE, 0.5},   {SUPERVISE_SPECTRAL_ANGLE, 0.05},
        {SUPERVISE_PARALLELEPIPED, 0},     {SUPERVISE_PARALLELEPIPED, 2}};
    int n = 0;
    for (const auto& [kind, threshold] : cases) {
        SCOPED_TRACE("kind " + std::to_string(kind) + " threshold " + std::to_string(threshold));
        CSuperviseCommonParam record;
        record.m_inputPath = WPath(f.dir / "image.tif");
        record.m_outputPath = WPath(f.dir / ("out" + std::to_string(n++) + ".tif"));
        record.m_sampleFilePath = WPath(f.dir / "samples.cif");
        record.m_threshold = threshold;
        record.m_bandList = {0, 1, 2};
        std::wstring error;
        ASSERT_TRUE(runClassifier(kind, record, &error)) << CommonFun::U2M(error);
        const std::vector<int> labels = ReadBand(CommonFun::U2M(record.m_outputPath));
        int rejected = 0;
        for (int i = 0; i < W * H; ++i) {
            const int want = i == 5 * W + 5 ? 0 : reference(kind, f.img.at(i), f.classes, threshold);
            ASSERT_EQ(labels[i], want) << "pixel " << i % W << "," << i / W;
            rejected += want == 0;
        }
        if (threshold > 0 || kind == SUPERVISE_PARALLELEPIPED) {
            EXPECT_GT(rejected, 1); // the outliers at least
        }
    }
    // Names and colours of the output are the samples'.
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(WPath(f.dir / "out0.acf")));
    ASSERT_EQ(acf.GetClassCount(), 4);
    EXPECT_EQ(std::tuple(acf.GetClassRecord(2)->m_name, acf.GetClassRecord(3)->m_colour),
              std::tuple(std::wstring(L"类2"), 0x30u));
}

TEST(Supervised, RecordMeansAreaOfInterestAndSingularCovariance) {
    const Fixture& f = fixture();
    // Means given in the record replace the file's (the minimum distance window sends them).
    CSuperviseParam record;
    record.m_inputPath = WPath(f.dir / "image.tif");
    record.m_outputPath = WPath(f.dir / "means.tif");
    record.m_sampleFilePath = WPath(f.dir / "samples.cif");
    std::vector<Stats> shifted = f.classes;
    for (Stats& s : shifted) {
        s.mean[0] += 25;
        record.m_classMeans.push_back(s.mean);
    }
    AifContent aoi;
    aoi.polygons = {{{1000, 2000}, {1020, 2000}, {1020, 1985}, {1000, 1985}}}; // columns 0-19, rows 0-14
    ASSERT_TRUE(WriteAifFile(WPath(f.dir / "aoi.aif"), aoi));
    record.m_aoiPath = WPath(f.dir / "aoi.aif");
    ASSERT_TRUE(runClassifier(SUPERVISE_MINIMUM_DISTANCE, record));
    const std::vector<int> labels = ReadBand(f.dir / "means.tif");
    for (int i = 0; i < W * H; ++i) {
        const bool inside = i % W < 20 && i / W < 15 && i != 5 * W + 5;
        ASSERT_EQ(labels[i], inside ? reference(SUPERVISE_MINIMUM_DISTANCE, f.img.at(i), shifted, 0) : 0)
            << i;
    }
    // A class whose covariance is singular (a constant band) is regularised, not refused.
    std::vector<Stats> singular = f.classes;
    for (int j = 0; j < B; ++j)
        singular[1].cov[2 * B + j] = singular[1].cov[j * B + 2] = 0;
    writeSamples(f.dir / "singular.cif", singular);
    std::vector<ClassSignature> signatures;
    std::wstring error;
    ASSERT_TRUE(ReadSignatures(WPath(f.dir / "singular.cif"), B, signatures, error));
    DecisionRule rule;
    ASSERT_TRUE(rule.Prepare(SUPERVISE_MAXIMUM_LIKELIHOOD, signatures, 0, error)) << CommonFun::U2M(error);
    EXPECT_TRUE(rule.Ridges()[0] == 0.0 && rule.Ridges()[1] > 0.0);
    const std::vector<float> nearTwo(f.classes[1].mean.begin(), f.classes[1].mean.end());
    EXPECT_EQ(rule.Classify(nearTwo.data()), 2);
}

TEST(Supervised, BadSampleFilesAndInputsFailWithoutOutput) {
    const Fixture& f = fixture();
    const fs::path dir = Scratch("supervised-bad");
    WriteSamples(dir / "four.cif", 4, {NewSample(L"a", 4, {1, 1, 1, 1}), NewSample(L"b", 4, {1, 1, 1, 1})});
    WriteSamples(dir / "empty.cif", B, {});
    WriteBytes(dir / "corrupt.cif", "not a sample file");
    const std::pair<fs::path, const wchar_t*> cases[] = {
        {dir / "four.cif", L"has 4 bands"},
        {dir / "empty.cif", L"holds no sample"},
        {dir / "corrupt.cif", L"Cannot read the sample file"},
        {dir / "missing.cif", L"Cannot read the sample file"},
        {"", L"No sample file"},
        {f.dir / "samples.cif", L"Cannot open the input image"},
    };
    for (const auto& [samples, words] : cases) {
        CSuperviseCommonParam record;
        record.m_inputPath = WPath(words == cases[5].second ? dir / "missing.tif" : f.dir / "image.tif");
        record.m_outputPath = WPath(dir / "out.tif");
        record.m_sampleFilePath = samples.empty() ? L"" : WPath(samples);
        std::wstring error;
        EXPECT_FALSE(runClassifier(SUPERVISE_MAXIMUM_LIKELIHOOD, record, &error));
        EXPECT_NE(error.find(words), std::wstring::npos) << CommonFun::U2M(error);
    }
    std::unique_ptr<CBaseAlgorithm> unknown(
        CSuperviseAlgFactory::CreateAlgorithm(static_cast<SuperviseClassifyType>(9), nullptr, nullptr));
    EXPECT_FALSE(unknown->ProcessFromNewThread(false));
    EXPECT_NE(unknown->GetLastError().find(L"Unknown classifier kind 9"), std::wstring::npos);
    EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"corrupt.cif", "empty.cif", "four.cif"})); // no output
}

// Each algorithm's parameters are declared once; the defaults are the
// records' own and pass their checks, and the checks bound what the
// algorithms accept whichever front end filled the record.
TEST(DeclaredParameters, DefaultsComeFromTheRecordsAndTheChecksBoundTheAlgorithms) {
    EXPECT_EQ(KMeansParameters().Validate(KMeanClassifyParam{}), "");
    EXPECT_EQ(ISODATAParameters().Validate(ISODATAClassifyParam{}), "");
    EXPECT_EQ(SvmClassifyParameters().Validate(CSvmClassifyParam{}), "");
    EXPECT_EQ(BPNNParameters().Validate(CSuperviseBPNNParam{}), "");
    EXPECT_EQ(ISODATAParameters().Info("min-pixels").DefaultText(), "1000");
    EXPECT_EQ(SvmClassifyParameters().Info("kernel").DefaultText(), "linear");
    EXPECT_EQ(SvmClassifyParameters().Info("gamma").DefaultText(), "0.143");
    for (const DecisionRuleKind& rule : DecisionRules())
        EXPECT_EQ(RuleParameters(rule).Info("threshold").defaultValue,
                  rule.kind == SUPERVISE_SPECTRAL_ANGLE ? 0.5 : 0.0);

    CSuperviseBPNNParam bp;
    bp.m_learningRate = 2; // the window and the command line refuse it; so does the algorithm
    EXPECT_EQ(BPNNParameters().Validate(bp), "rate must be from 0.01 to 1 (got 2)");
    CSvmClassifyParam svm;
    svm.m_kernelType = 7;
    EXPECT_EQ(SvmClassifyParameters().Validate(svm), "kernel must be linear, poly, rbf or sigmoid (got 7)");
    ISODATAClassifyParam iso;
    iso.m_splitStdDev = 0;
    EXPECT_EQ(ISODATAParameters().Validate(iso), "std-dev must be greater than 0 (got 0)");
    iso = {};
    iso.m_minPixelCount = -1;
    EXPECT_EQ(ISODATAParameters().Validate(iso), "min-pixels must be at least 0 (got -1)");

    CBPNNClassify algorithm(&bp);
    EXPECT_FALSE(algorithm.ProcessFromNewThread(false));
    EXPECT_EQ(algorithm.GetLastError(), L"Invalid parameter: rate must be from 0.01 to 1 (got 2).");
}
