// The SVM and the BP network: separable scenes with AOI and nodata, the batched
// SVM prediction against libsvm, saved models of both, XOR and bad input.
#include "base/commonfun.h"
#include "engine/aiffile.h"
#include "engine/rastersource.h"
#include "processing/bpnnclassify.h"
#include "processing/svmclassify.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace tessera;

namespace {

constexpr int W = 48, H = 36, B = 3;
constexpr double X0 = 1000, Y0 = 2000; // ground origin, 1 unit pixels, north up

// Class of a pixel in the scene: three vertical stripes.
int stripe(int column) {
    return column * 3 / W + 1;
}

// Three spectral groups by stripe, with noise; band 1 is nodata at (4, 4).
void writeScene(const fs::path& path) {
    const float means[3][B] = {{120, 80, 60}, {60, 140, 90}, {90, 100, 170}};
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0, 6);
    std::vector<float> values(static_cast<size_t>(W) * H * B); // band after band
    for (int b = 0; b < B; ++b)
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c)
                values[(b * H + r) * W + c] = means[stripe(c) - 1][b] + noise(rng);
    values[4 * W + 4] = -9999;
    WriteRaster(path, {W, H, B, GDT_Float32, {X0, 1, 0, Y0, 0, -1}, 0, {{1, -9999}}}, values);
}

// One sample per stripe, trained on a small rectangle inside it (the
// statistics are irrelevant to the learners and left zero).
void writeSamples(const fs::path& path, int bands = B, double shift = 0) {
    std::vector<ClassifySample*> samples;
    for (int i = 0; i < 3; ++i) {
        samples.push_back(NewSample(L"类" + std::to_wstring(i + 1), bands));
        samples.back()->m_colour = 0x202020u * (i + 1);
        const double c0 = i * W / 3 + 3 + shift;
        samples.back()->m_shapes.push_back(
            new CDrawShape(DRAWSHAPE_RECTANGLE, {{X0 + c0, Y0 - 6}, {X0 + c0 + 8, Y0 - 30}}));
    }
    WriteSamples(path, bands, samples);
}

struct Scene {
    fs::path dir, image, samples;
};

const Scene& scene() {
    static const Scene s = [] {
        Scene made{Scratch("learned"), {}, {}};
        made.image = made.dir / "scene.tif";
        made.samples = made.dir / "stripes.cif";
        writeScene(made.image);
        writeSamples(made.samples);
        return made;
    }();
    return s;
}

// A record classifying the scene into `out` with these samples: the SVM's
// model beside the output, the network's learning rate 0.05.
template <class Record> Record learnerRecord(const fs::path& out, const fs::path& samples = scene().samples) {
    Record r;
    r.m_inputPath = WPath(scene().image);
    r.m_outputPath = WPath(out);
    r.m_sampleFilePath = WPath(samples);
    if constexpr (std::is_same_v<Record, CSvmClassifyParam>)
        r.m_modelFilePath = WPath(out.string() + ".svm");
    else
        r.m_learningRate = 0.05;
    return r;
}

CSvmClassifyParam svmRecord(const fs::path& out, int kernel, const fs::path& samples = scene().samples) {
    CSvmClassifyParam r = learnerRecord<CSvmClassifyParam>(out, samples);
    r.m_kernelType = kernel;
    return r;
}

// Every valid pixel in its stripe; nodata and pixels outside the AOI 0.
void expectStripes(const fs::path& out, bool withAoi) {
    const std::vector<int> labels = ReadBand(out);
    ASSERT_EQ(labels.size(), static_cast<size_t>(W) * H);
    int wrong = 0;
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            const bool inAoi = !withAoi || (c >= 2 && c < 40 && r >= 3 && r < 30);
            const int expected = (r == 4 && c == 4) || !inAoi ? 0 : stripe(c);
            wrong += labels[r * W + c] != expected;
        }
    EXPECT_EQ(wrong, 0) << out;
}

// A training set of two overlapping clouds per class in `bands` dimensions.
TrainingSet overlappingClouds(int classes, int perClass, int bands, unsigned seed) {
    TrainingSet set;
    set.bands = bands;
    set.classes = classes;
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0, 25);
    for (int c = 0; c < classes; ++c)
        for (int i = 0; i < perClass; ++i) {
            for (int b = 0; b < bands; ++b)
                set.features.push_back(100 + 25 * ((c + b) % classes) + noise(rng));
            set.labels.push_back(c);
        }
    return set;
}

} // namespace

TEST(Svm, EveryKernelSeparatesTheStripesAndHonoursAoiAndNodata) {
    const fs::path aoi = scene().dir / "aoi.aif";
    AifContent area;
    area.polygons = {{{X0 + 2, Y0 - 3}, {X0 + 40, Y0 - 3}, {X0 + 40, Y0 - 30}, {X0 + 2, Y0 - 30}}};
    ASSERT_TRUE(WriteAifFile(WPath(aoi), area));
    for (int kernel : {SVM_KERNEL_LINEAR, SVM_KERNEL_POLYNOMIAL, SVM_KERNEL_RBF, SVM_KERNEL_SIGMOID}) {
        const fs::path out = scene().dir / ("svm" + std::to_string(kernel) + ".tif");
        CSvmClassifyParam r = svmRecord(out, kernel);
        if (kernel == SVM_KERNEL_SIGMOID)
            r.m_coef0 = 0; // tanh(γ x·s + 1) saturates on the scaled bands
        const bool withAoi = kernel == SVM_KERNEL_RBF;
        if (withAoi)
            r.m_aoiPath = WPath(aoi);
        CSvmClassifyProcessAlg svm(&r);
        ASSERT_TRUE(svm.ProcessFromNewThread(false)) << CommonFun::U2M(svm.GetLastError());
        expectStripes(out, withAoi);
        EXPECT_TRUE(fs::exists(out.string() + ".svm"));
    }
}

TEST(Svm, BatchedPredictionAgreesWithLibsvmForEveryKernel) {
    // Three classes that overlap: many support vectors, many close decisions;
    // 4 bands take the RBF kernel's unrolled path, 11 its general one.
    for (int bands : {4, 11}) {
        const TrainingSet set = overlappingClouds(3, 150, bands, 9);
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> anywhere(40, 220);
        std::vector<float> pixels(static_cast<size_t>(bands) * 3000);
        for (float& v : pixels)
            v = anywhere(rng);
        for (int kernel : {SVM_KERNEL_LINEAR, SVM_KERNEL_POLYNOMIAL, SVM_KERNEL_RBF, SVM_KERNEL_SIGMOID}) {
            std::wstring error;
            const auto model = SvmModel::Train(set, {kernel, 0.5, 0.7 * 4 / bands, 3, 1.0}, error);
            ASSERT_TRUE(model) << CommonFun::U2M(error);
            EXPECT_GT(model->SupportVectorCount(), 30);
            std::vector<std::uint16_t> batched(3000, 0);
            SvmModel::Workspace work;
            model->Predict(pixels.data(), 3000, nullptr, batched.data(), work);
            int differ = 0;
            std::set<int> seen;
            for (int i = 0; i < 3000; ++i) {
                const int reference =
                    model->PredictWithLibsvm(pixels.data() + static_cast<size_t>(bands) * i);
                differ += batched[i] != reference;
                seen.insert(reference);
            }
            EXPECT_EQ(std::tuple(differ, seen.size()), std::tuple(0, 3u))
                << "kernel " << kernel << ", " << bands;
        }
    }
}

TEST(Svm, SavedModelReloadsAndPredictsTheSameAndIsReusedByTheClassifier) {
    const TrainingSet set = overlappingClouds(4, 80, 3, 4);
    std::wstring error;
    const auto model = SvmModel::Train(set, {SVM_KERNEL_RBF, 1, 0.5, 2, 1.0}, error);
    ASSERT_TRUE(model);
    const fs::path path = scene().dir / "clouds.svm";
    ASSERT_TRUE(model->Save(WPath(path), error)) << CommonFun::U2M(error);
    EXPECT_FALSE(fs::exists(path.string() + ".part"));
    const auto loaded = SvmModel::Load(WPath(path), error);
    ASSERT_TRUE(loaded) << CommonFun::U2M(error);
    EXPECT_EQ(std::tuple(loaded->Bands(), loaded->ClassCount()), std::tuple(3, 4));
    std::vector<std::uint16_t> a(set.Size()), b(set.Size());
    SvmModel::Workspace work;
    model->Predict(set.features.data(), static_cast<int>(set.Size()), nullptr, a.data(), work);
    loaded->Predict(set.features.data(), static_cast<int>(set.Size()), nullptr, b.data(), work);
    EXPECT_EQ(a, b);
    // The classifier reuses a model of the stripes instead of training.
    const fs::path first = scene().dir / "train.tif", second = scene().dir / "reuse.tif";
    CSvmClassifyParam r = svmRecord(first, SVM_KERNEL_RBF);
    ASSERT_TRUE(CSvmClassifyProcessAlg(&r).ProcessFromNewThread(false));
    const auto trained = fs::last_write_time(r.m_modelFilePath);
    CSvmClassifyParam reuse = svmRecord(second, SVM_KERNEL_LINEAR);
    reuse.m_modelFilePath = r.m_modelFilePath;
    CSvmClassifyProcessAlg again(&reuse);
    again.ReuseModel(true);
    ASSERT_TRUE(again.ProcessFromNewThread(false)) << CommonFun::U2M(again.GetLastError());
    EXPECT_EQ(ReadBand(first), ReadBand(second));
    EXPECT_EQ(fs::last_write_time(r.m_modelFilePath), trained);
}

TEST(BPNetwork, LearnsXorAndSeparableCasesStopsAtTheMaximumErrorAndClassifiesTheStripesDeterministically) {
    // XOR: four clusters in two bands, opposite corners share a class.
    TrainingSet xorSet;
    xorSet.bands = 2;
    xorSet.classes = 2;
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0, 0.05f);
    for (int i = 0; i < 400; ++i) {
        const int a = i % 2, b = (i / 2) % 2;
        xorSet.features.push_back(a + noise(rng));
        xorSet.features.push_back(b + noise(rng));
        xorSet.labels.push_back(a ^ b);
    }
    MultiLayerPerceptron net;
    MultiLayerPerceptron::Training training;
    ASSERT_TRUE(net.Train(xorSet, 0.1, 0.0, 200000, nullptr, training));
    EXPECT_EQ(std::tuple(training.iterations, training.converged), std::tuple(200000u, false));
    const float corners[] = {0, 0, 1, 1, 0, 1, 1, 0};
    std::vector<std::uint16_t> labels(4);
    MultiLayerPerceptron::Workspace work;
    net.Predict(corners, 4, nullptr, labels.data(), work);
    EXPECT_EQ(labels, (std::vector<std::uint16_t>{1, 1, 2, 2}));
    // The single-precision batch picks the class the double-precision outputs favour.
    for (int i = 0; i < 4; ++i) {
        const std::vector<double> o = net.Outputs(corners + 2 * i);
        EXPECT_EQ(o[1] > o[0] ? 2 : 1, labels[i]);
        EXPECT_NEAR(o[0] + o[1], 1.0, 1e-12);
    }
    // Well-separated classes: the error falls below the maximum error and training stops early.
    const TrainingSet separable = overlappingClouds(3, 100, 3, 2);
    TrainingSet apart = separable;
    for (size_t i = 0; i < apart.Size(); ++i)
        for (int b = 0; b < 3; ++b)
            apart.features[i * 3 + b] = 300.0f * apart.labels[i] + separable.features[i * 3 + b] * 0.01f;
    ASSERT_TRUE(net.Train(apart, 0.2, 0.001, 100000, nullptr, training));
    EXPECT_TRUE(training.converged && training.error <= 0.001 && training.iterations < 100000u);
    EXPECT_EQ(training.iterations % apart.Size(), 0u); // checked at the end of an epoch
    // Cancelling through progress stops training.
    EXPECT_FALSE(net.Train(
        xorSet, 0.1, 0.0, 200000, [](double) { return false; }, training));
    const fs::path a = scene().dir / "bp-a.tif", b = scene().dir / "bp-b.tif";
    for (const fs::path& out : {a, b}) {
        CSuperviseBPNNParam r = learnerRecord<CSuperviseBPNNParam>(out);
        CBPNNClassify bp(&r);
        ASSERT_TRUE(bp.ProcessFromNewThread(false)) << CommonFun::U2M(bp.GetLastError());
    }
    expectStripes(a, false);
    EXPECT_EQ(ReadBand(a), ReadBand(b));
}

TEST(BPNetwork, ASavedNetworkGivesTheTrainingRunsLabelsAndABrokenOneIsRefused) {
    const fs::path dir = Scratch("learned-bpnn"), trained = dir / "trained.tif", model = dir / "trained.bpnn";
    CSuperviseBPNNParam r = learnerRecord<CSuperviseBPNNParam>(trained);
    r.m_modelFilePath = BPNNModelFilePath(WPath(trained));
    ASSERT_TRUE(CBPNNClassify(&r).ProcessFromNewThread(false));
    // Classifies with a model file instead of training (another learning rate: not used).
    const auto reuse = [&](const fs::path& out, const fs::path& file, std::vector<int> bands = {}) {
        CSuperviseBPNNParam again = learnerRecord<CSuperviseBPNNParam>(out);
        again.m_modelFilePath = WPath(file);
        again.m_learningRate = 0.5;
        again.m_bandList = std::move(bands);
        CBPNNClassify bp(&again);
        bp.ReuseModel(true);
        return bp.ProcessFromNewThread(false) ? std::string() : CommonFun::U2M(bp.GetLastError());
    };
    ASSERT_EQ(reuse(dir / "reused.tif", model), "");
    expectStripes(trained, false);
    EXPECT_EQ(ReadBand(dir / "reused.tif"), ReadBand(trained)); // every pixel
    // Cut in half, cut inside the last number, a value that is not finite, the image
    // read as two bands: one line naming the file, and no output.
    const std::string text = ReadBytes(model);
    const size_t b2 = text.find("\nb2 ") + 4; // the first value of b2
    const std::string infinite = std::string(text).replace(b2, text.find(' ', b2) - b2, "1e999");
    const std::vector<std::pair<std::string, std::vector<int>>> broken = {
        {text.substr(0, text.size() / 2), {}},
        {text.substr(0, text.size() - 3), {}},
        {infinite, {}},
        {text, {0, 1}}};
    for (const auto& [bytes, bands] : broken) {
        const fs::path file = dir / "broken.bpnn", out = dir / "refused.tif";
        WriteBytes(file, bytes);
        const std::string error = reuse(out, file, bands);
        EXPECT_NE(error.find(file.string()), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST(Learners, TrainingPixelsAreCappedEvenlyOverTheShapes) {
    CRasterSource raster;
    ASSERT_EQ(raster.Open(WPath(scene().image), GIS_READONLY, true), GIS_OK);
    CClassifySampleFile file;
    ASSERT_NE(file.ReadClassifySampleFile(WPath(scene().samples)), 0);
    TrainingSet all, capped;
    std::wstring error;
    ASSERT_TRUE(CollectTrainingSet(raster, {1, 2, 3}, file, 0, all, error)) << CommonFun::U2M(error);
    ASSERT_TRUE(CollectTrainingSet(raster, {3, 2, 1}, file, 10, capped, error)) << CommonFun::U2M(error);
    ASSERT_EQ(all.Size(), 3u * 8 * 24); // each rectangle: 8 columns, 24 rows of pixel centres
    ASSERT_EQ(std::tuple(capped.Size(), capped.bands), std::tuple(30u, 3));
    // Each kept pixel is one of its class's pixels (bands in the order
    // asked), in raster order, spread from the first to near the last.
    for (int c = 0; c < 3; ++c) {
        std::vector<size_t> positions;
        for (size_t i = 0; i < capped.Size(); ++i) {
            if (capped.labels[i] != c)
                continue;
            for (size_t j = 0; j < all.Size(); ++j)
                if (all.labels[j] == c && all.Row(j)[2] == capped.Row(i)[0] &&
                    all.Row(j)[1] == capped.Row(i)[1] && all.Row(j)[0] == capped.Row(i)[2]) {
                    positions.push_back(j - static_cast<size_t>(c) * 192);
                    break;
                }
        }
        ASSERT_EQ(positions.size(), 10u) << c;
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
        EXPECT_EQ(std::adjacent_find(positions.begin(), positions.end()), positions.end());
        EXPECT_TRUE(positions.front() == 0u && positions.back() >= 150u);
    }
}

TEST(Learners, BadInputFailsClearlyAndLeavesNoOutput) {
    const fs::path dir = Scratch("learned-bad");
    const fs::path outside = dir / "outside.cif", fourBands = dir / "four.cif";
    writeSamples(outside, B, 500); // every rectangle far right of the image
    writeSamples(fourBands, 4);
    // What is wrong, the sample file, words of the message, whether only the SVM's model cannot be written.
    const std::tuple<const char*, fs::path, const wchar_t*, bool> cases[] = {
        {"shapes outside", outside, L"no valid pixel", false},
        {"band count", fourBands, L"bands", false},
        {"missing file", dir / "none.cif", L"Cannot read the sample file", false},
        {"unwritable model", scene().samples, L"Cannot write the SVM model", true}};
    for (const auto& [what, samples, message, unwritableModel] : cases) {
        const fs::path out = dir / (std::string(what) + ".tif");
        CSvmClassifyParam r = svmRecord(out, SVM_KERNEL_LINEAR, samples);
        if (unwritableModel)
            r.m_modelFilePath = WPath(dir / "no-such-folder" / "m.svm");
        CSvmClassifyProcessAlg svm(&r);
        EXPECT_FALSE(svm.ProcessFromNewThread(false)) << what;
        EXPECT_NE(svm.GetLastError().find(message), std::wstring::npos) << CommonFun::U2M(svm.GetLastError());
        CSuperviseBPNNParam bpr = learnerRecord<CSuperviseBPNNParam>(out, samples);
        CBPNNClassify bp(&bpr);
        if (!unwritableModel) {
            EXPECT_FALSE(bp.ProcessFromNewThread(false)) << what;
            EXPECT_NE(bp.GetLastError().find(message), std::wstring::npos)
                << CommonFun::U2M(bp.GetLastError());
        }
    }
    // Parameters out of range are refused before anything is read.
    CSuperviseBPNNParam rate = learnerRecord<CSuperviseBPNNParam>(dir / "rate.tif");
    rate.m_learningRate = 0;
    EXPECT_FALSE(CBPNNClassify(&rate).ProcessFromNewThread(false));
    CSvmClassifyParam gamma = svmRecord(dir / "gamma.tif", SVM_KERNEL_RBF);
    gamma.m_gamma = -1; // 0 stands for 1 / bands
    EXPECT_FALSE(CSvmClassifyProcessAlg(&gamma).ProcessFromNewThread(false));
    EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"four.cif", "outside.cif"})); // no output
}
