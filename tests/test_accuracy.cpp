// Accuracy assessment: generator and draw, matrix, report (golden file), estimates
// (published example), the window and `tessera accuracy`.
#include "accuracy/CAddRandomPointDlg.h"
#include "accuracy/CClassesAccuracyDlg.h"
#include "common/filters.h"
#include "common/helptopics.h"
#include "entry/tesserauilib.h"
#include "platform/gridctrl.h"
#include "processing/accuracyestimates.h"
#include "processing/accuracyjson.h"
#include "processing/accuracyreport.h"
#include "processing/randompoints.h"
#include "support/cli.h"
#include "support/fixtures.h"
#include "support/windowharness.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>

#include <cmath>
#include <numeric>

using namespace tessera;

using D = CClassesAccuracyDlg;

namespace {

// A file in a folder of its own.
fs::path scratch(const std::string& name) {
    static int counter = 0;
    return Scratch("case" + std::to_string(++counter)) / name;
}

// Classes 0, 1, ... of 10 x 10 pixels.
void writeAcf(const fs::path& image, const std::vector<std::wstring>& names,
              const std::vector<std::int64_t>& counts = {}) {
    std::vector<AcfClass> classes;
    for (size_t i = 0; i < names.size(); ++i)
        classes.push_back({names[i], static_cast<int>(i), i < counts.size() ? counts[i] : 0});
    WriteAcf(image, classes, 10, -10);
}

// A matrix from counts by classified value, then reference.
ErrorMatrix byClassified(const std::vector<std::vector<double>>& counts) {
    ErrorMatrix m(static_cast<int>(counts.size()));
    for (size_t i = 0; i < counts.size(); ++i)
        for (size_t j = 0; j < counts.size(); ++j)
            m.Add(static_cast<int>(j), static_cast<int>(i), static_cast<std::int64_t>(counts[i][j]));
    return m;
}

// Points of these (class, reference) values.
std::vector<AccuracyPoint> points(std::initializer_list<std::pair<int, int>> values) {
    std::vector<AccuracyPoint> out;
    for (auto [classValue, reference] : values)
        out.push_back({.classValue = classValue, .referenceValue = reference});
    return out;
}

// The two-class example.
const std::vector<AccuracyPoint> kTwoClassPoints = points({{0, 0}, {0, 0}, {1, 1}, {0, 1}});
const std::vector<std::wstring> kTwoNames = {L"water", L"forest"};
const auto sp = [](int n) { return std::wstring(n, L' '); };

// The two-class report built from the layout rules: blanks counted, CR LF.
std::string goldenTwoClassReport() {
    // clang-format off
    const std::vector<std::wstring> lines = {
        L"-------------------------------Error Matrix-----------------------------",
        L"\t\t\t\tReference Data", L"\t\t\t\t--------------",
        L"Classified Data        water" + sp(12) + L"forest" + sp(12),
        L"---------------        -----------" + sp(7) + L"-----------" + sp(7),
        L"water" + sp(17) + L"2" + sp(19) + L"1" + sp(19),
        L"forest" + sp(17) + L"0" + sp(19) + L"1" + sp(19),
        L"-------------------------------Error Matrix end-------------------------", L"", L"", L"",
        L"-------------------------------ACCURACY -------------------------", L"ACCURACY TOTALS", L"----------------",
        L"Class Name       Reference Total     Classified Total     Number  Correct     Producers  Accuracy      Users Accuracy",
        L"-----------      ---------------     ----------------     ---------------     -------------------      --------------",
        L"water" + sp(13) + L"2" + sp(19) + L"3" + sp(22) + L"2" + sp(22) + L"100%" + sp(20) + L"66.6667%" + sp(19),
        L"forest" + sp(13) + L"2" + sp(19) + L"1" + sp(22) + L"1" + sp(22) + L"50%" + sp(20) + L"100%" + sp(19),
        L"Overall Classification Accuracy =     75%",
        L"-------------------------------ACCURACY END---------------------", L"", L"", L"",
        L"-------------------------KAPPA (K^) STATISTICS-----------------", L"KAPPA (K^) STATISTICS",
        L"---------------------", L"Overall Kappa Statistics =     0.5",
        L"Conditional Kappa for each Category.", L"------------------------------------",
        L" Class Name " + sp(13) + L"  Kappa  ", L"------------" + sp(13) + L"---------",
        L"water" + sp(22) + L"0.333333", L"forest" + sp(22) + L"1",
        L"---------------------KAPPA (K^) STATISTICS END-----------------"};
    // clang-format on
    std::string text;
    for (const std::wstring& line : lines)
        text += std::string(line.begin(), line.end()) + "\r\n";
    return text;
}

// The classic C library generator, written out.
struct Lcg {
    std::uint32_t state;
    int operator()() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
};

// The error matrix of a JSON report, by classified value then reference.
std::vector<std::vector<int>> rows(const QJsonObject& o) {
    std::vector<std::vector<int>> matrix;
    for (const QJsonValue& row : o["matrix"].toArray()) {
        matrix.emplace_back();
        for (const QJsonValue& v : row.toArray())
            matrix.back().push_back(v.toInt());
    }
    return matrix;
}

} // namespace

TEST(RandomPoints, TheClassicGeneratorAndTheDrawOfColumnThenRowModuloSizeMinusOne) {
    Rand15 r(1);
    for (int expected : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464})
        EXPECT_EQ(r.Next(), expected);
    Rand15 wide(0xFFFFFFFFu);
    for (int i = 0, v = 0; i < 100000; ++i)
        ASSERT_TRUE((v = wide.Next()) >= 0 && v <= 32767) << v;
    const auto pixels = DrawRandomPixels(500, 7, 5, 99);
    ASSERT_EQ(pixels.size(), 500u);
    Lcg next{99};
    for (const PixelPosition& p : pixels) // the last column and row are never drawn
        EXPECT_EQ(p, (PixelPosition{static_cast<int>(next() % 6), static_cast<int>(next() % 4)}));
    EXPECT_EQ(DrawRandomPixels(3, 100, 100, 5), DrawRandomPixels(3, 100, 100, 5));
    EXPECT_TRUE(DrawRandomPixels(0, 100, 100, 5).empty());
    for (const PixelPosition& p : DrawRandomPixels(20, 1, 1, 5)) // one pixel: no divisor, pixel 0
        EXPECT_EQ(p, (PixelPosition{0, 0}));
}

TEST(AccuracyNumbers, TwoClassExampleByHandOutOfRangeEmptyClassesAndNoPoints) {
    const ErrorMatrix m = BuildErrorMatrix(kTwoClassPoints, 2);
    EXPECT_EQ(std::vector<std::int64_t>({m.At(0, 0), m.At(1, 0), m.At(1, 1), m.At(0, 1)}),
              (std::vector<std::int64_t>{2, 1, 1, 0}));
    AccuracySummary s = SummarizeErrorMatrix(m);
    const ClassAccuracy &water = s.classes[0], &forest = s.classes[1];
    EXPECT_EQ(std::tuple(water.referenceTotal, water.classifiedTotal, water.correct), std::tuple(2, 3, 2));
    EXPECT_EQ(std::tuple(forest.referenceTotal, forest.classifiedTotal, forest.correct), std::tuple(2, 1, 1));
    EXPECT_EQ(std::tuple(water.producers, forest.producers, forest.users, s.overallAccuracy, s.chanceProducts,
                         s.kappa, forest.conditionalKappa), // all forest's points correct
              std::tuple(100.0, 50.0, 100.0, 75.0, 8.0, 0.5, 1.0));
    EXPECT_DOUBLE_EQ(water.users, 200.0 / 3.0);
    EXPECT_DOUBLE_EQ(water.conditionalKappa, 2.0 / 6.0);
    // Out-of-range values (a reference 7 of a three-class image, a class -1) are left out of every total.
    s = SummarizeErrorMatrix(BuildErrorMatrix(points({{1, 1}, {2, 7}, {-1, 0}}), 3));
    EXPECT_EQ(
        std::tuple(s.counted, s.classes[2].classifiedTotal, s.classes[0].referenceTotal, s.overallAccuracy),
        std::tuple(1, 0, 0, 100.0));
    // Class 2 has neither reference nor classified points (-1, -1, 0); class 1 only reference ones (0, -1,
    // 0).
    s = SummarizeErrorMatrix(byClassified({{3, 2, 0}, {0, 0, 0}, {0, 0, 0}}));
    for (int c : {1, 2})
        EXPECT_EQ(std::tuple(s.classes[c].producers, s.classes[c].users, s.classes[c].conditionalKappa),
                  std::tuple(c == 2 ? -1.0 : 0.0, -1.0, 0.0));
    EXPECT_DOUBLE_EQ(s.classes[0].users, 60);
    // No counted point: -1 and kappa 0.
    s = SummarizeErrorMatrix(ErrorMatrix(3));
    EXPECT_EQ(std::tuple(s.counted, s.overallAccuracy, s.kappa), std::tuple(0, -1.0, 0.0));
    EXPECT_DOUBLE_EQ(SummarizeErrorMatrix(ErrorMatrix(0)).overallAccuracy, -1);
}

TEST(AccuracyNumbers, ProductsBeyond32BitsAreExact) {
    // 46341 points: N x T and N x N pass 2^31.
    const AccuracySummary s = SummarizeErrorMatrix(byClassified({{30000, 3000}, {5000, 8341}}));
    ASSERT_EQ(s.counted, 46341);
    const long double N = 46341, T = 38341, A0 = 35000, A1 = 11341, B0 = 33000, B1 = 13341;
    const long double S = A0 * B0 + A1 * B1;
    EXPECT_DOUBLE_EQ(s.chanceProducts, static_cast<double>(S));
    EXPECT_NEAR(s.kappa, static_cast<double>((N * T - S) / (N * N - S)), 1e-12);
    EXPECT_NEAR(s.classes[0].conditionalKappa, static_cast<double>((N * 30000 - A0 * B0) / ((N - A0) * B0)),
                1e-12);
    EXPECT_NEAR(s.classes[1].conditionalKappa, static_cast<double>((N * 8341 - A1 * B1) / ((N - A1) * B1)),
                1e-12);
}

TEST(AccuracyReport, TwoClassReportMatchesTheGoldenFileByteForByteAndEachSectionCanBeSwitchedOffAlone) {
    const fs::path out = scratch("report.txt");
    const ErrorMatrix m = BuildErrorMatrix(kTwoClassPoints, 2);
    ASSERT_EQ(WriteAccuracyReportFile(&m, kTwoNames, out.wstring(), {}, std::locale::classic()),
              ReportWriteResult::Written);
    EXPECT_EQ(ReadBytes(out), goldenTwoClassReport());
    // Empty classes and no points are written as -1 and 0.
    const ErrorMatrix none(2);
    const std::wstring w =
        FormatAccuracyReport(none, SummarizeErrorMatrix(none), kTwoNames, {}, std::locale::classic());
    for (const std::wstring& line :
         {L"water" + sp(13) + L"0" + sp(19) + L"0" + sp(22) + L"0" + sp(22) + L"-1%" + sp(20) + L"-1%" +
              sp(19),
          std::wstring(L"Overall Classification Accuracy =     -1%"),
          std::wstring(L"Overall Kappa Statistics =     0"), L"forest" + sp(22) + L"0"})
        EXPECT_NE(w.find(line + L"\r\n"), std::wstring::npos) << std::string(line.begin(), line.end());
    const std::string all = goldenTwoClassReport();
    // Each section after the first starts with three empty lines after the CR LF ending the one before;
    // the matrix section ends with its CR LF.
    const size_t matrixEnd = all.find("\r\n\r\n\r\n\r\n-------------------------------ACCURACY ") + 2;
    const size_t kappaAt = all.find("\r\n\r\n\r\n\r\n-------------------------KAPPA");
    auto text = [&](bool a, bool b, bool c) {
        const std::wstring w =
            FormatAccuracyReport(m, SummarizeErrorMatrix(m), kTwoNames, {a, b, c}, std::locale::classic());
        return std::string(w.begin(), w.end());
    };
    EXPECT_EQ(text(true, false, false), all.substr(0, matrixEnd));
    EXPECT_EQ(text(false, true, false), all.substr(matrixEnd, kappaAt + 2 - matrixEnd));
    EXPECT_EQ(text(false, false, true), all.substr(kappaAt + 2)); // starts with three empty lines
    EXPECT_EQ(text(true, false, true), all.substr(0, matrixEnd) + all.substr(kappaAt + 2));
    const fs::path empty = scratch("empty.txt");
    ASSERT_EQ(WriteAccuracyReportFile(&m, kTwoNames, empty.wstring(), {false, false, false},
                                      std::locale::classic()),
              ReportWriteResult::Written);
    EXPECT_TRUE(fs::exists(empty) && fs::file_size(empty) == 0);
}

TEST(AccuracyReport, BadArgumentsOrAnUnwritablePathWriteNothingAndKeepTheEarlierReport) {
    const fs::path none = scratch("none.txt");
    const ErrorMatrix m = BuildErrorMatrix(kTwoClassPoints, 2);
    EXPECT_EQ(
        std::tuple(WriteAccuracyReportFile(nullptr, kTwoNames, none.wstring(), {}, std::locale::classic()),
                   WriteAccuracyReportFile(&m, kTwoNames, L"", {}, std::locale::classic())),
        std::tuple(ReportWriteResult::BadArguments, ReportWriteResult::BadArguments));
    EXPECT_FALSE(fs::exists(none));

    ScriptedUiServices ui;
    ScopedUiServices scope(ui);
    // A folder that does not exist: the file cannot be created.
    EXPECT_FALSE(WriteAccuracyReport(&m, kTwoNames, (ScratchDir() / "missing" / "r.txt").wstring(), {}));
    EXPECT_EQ(ui.messages.at(0).type & MB_TYPEMASK, MB_OK);
    // A write that fails part-way (file size limit): the earlier report stays whole.
    const fs::path out = scratch("kept.txt");
    WriteBytes(out, "earlier report\r\n");
    bool written = true;
    WithFileSizeLimit(64, [&] { written = WriteAccuracyReport(&m, kTwoNames, out.wstring(), {}); });
    EXPECT_EQ(ui.Shown(), std::vector<std::wstring>(2, L"Open file failed! | Warning"));
    EXPECT_EQ(std::tuple(written, ReadBytes(out), FilesIn(out.parent_path())), // no temporary left
              std::tuple(false, "earlier report\r\n", std::set<std::string>{"kept.txt"}));
}

TEST(AccuracyReport, DecimalCommaLocaleSetsPunctuationAndEncoding) {
    EXPECT_EQ(EncodeForLocale(L"水a", std::locale::classic()), "\xE6\xB0\xB4"
                                                               "a"); // the C locale writes UTF-8
    std::locale german;
    try {
        german = std::locale("de_DE.UTF-8");
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "de_DE.UTF-8 is not generated (scripts/install-deps.sh generates it)";
    }
    const ErrorMatrix m = byClassified({{1200, 0}, {34, 3}});
    const fs::path out = scratch("de.txt");
    ASSERT_EQ(WriteAccuracyReportFile(&m, {L"水体", L"forest"}, out.wstring(), {}, german),
              ReportWriteResult::Written);
    const std::string text = ReadBytes(out);
    EXPECT_NE(text.find("\xE6\xB0\xB4\xE4\xBD\x93" + std::string(17, ' ') + "1.200"),
              std::string::npos);                        // grouped
    EXPECT_NE(text.find("97,2447%"), std::string::npos); // 1200 / 1234, decimal comma
    EXPECT_NE(text.find("Overall Classification Accuracy =     97,2514%"), std::string::npos); // 1203 / 1237
    EXPECT_EQ(text.find("97.2"), std::string::npos);
}

namespace {

// Kappa's large-sample variance in the form of Fleiss, Cohen and Everitt
// (1969), written from proportions: an independent form of the delta method.
double fleissKappaVariance(const std::vector<std::vector<double>>& counts) { // [classified][reference]
    const size_t k = counts.size();
    double n = 0, po = 0, pe = 0, a = 0, b = 0;
    std::vector<double> rowP(k, 0), colP(k, 0);
    for (size_t i = 0; i < k; ++i)
        for (size_t j = 0; j < k; ++j)
            n += counts[i][j], rowP[i] += counts[i][j], colP[j] += counts[i][j];
    for (size_t i = 0; i < k; ++i)
        rowP[i] /= n, colP[i] /= n, po += counts[i][i] / n, pe += rowP[i] * colP[i];
    for (size_t i = 0; i < k; ++i) {
        const double d = (1 - pe) - (colP[i] + rowP[i]) * (1 - po);
        a += counts[i][i] / n * d * d;
        for (size_t j = 0; j < k; ++j)
            if (i != j)
                b += counts[i][j] / n * (colP[i] + rowP[j]) * (colP[i] + rowP[j]);
    }
    b *= (1 - po) * (1 - po);
    const double c = (po * pe - 2 * pe + po) * (po * pe - 2 * pe + po);
    return (a + b - c) / (n * std::pow(1 - pe, 4));
}

// Olofsson, Foody, Herold, Stehman, Woodcock and Wulder (2014), "Good
// practices for estimating area and assessing accuracy of land change",
// Remote Sensing of Environment 148, 42-57, section 5: sample counts (rows map
// class, columns reference) and mapped pixels of its numerical example.
const std::vector<std::vector<double>> kOlofssonCounts = {
    {66, 0, 5, 4}, {0, 55, 8, 12}, {1, 0, 153, 11}, {2, 1, 9, 313}};
const std::vector<std::int64_t> kOlofssonMapped = {200000, 150000, 3200000, 6450000};

// The paper's estimators written from the estimated area proportions
// p_ij = W_i n_ij / n_i (W_i the mapped share of class i, n_i its sample count).
struct OlofssonReference {
    std::vector<double> users, producers, area, areaSe, usersSe, producersSe;
    double overall = 0, overallSe = 0;
};

OlofssonReference olofssonReference() {
    const int k = 4;
    const double total = 10000000; // the mapped pixels
    std::vector<double> N(kOlofssonMapped.begin(), kOlofssonMapped.end()), n(k, 0);
    std::vector<std::vector<double>> p = kOlofssonCounts;
    for (int i = 0; i < k; ++i) {
        n[i] = std::accumulate(p[i].begin(), p[i].end(), 0.0);
        for (double& v : p[i])
            v *= N[i] / total / n[i];
    }
    OlofssonReference r;
    for (int j = 0; j < k; ++j) {
        double row = 0, column = 0, var = 0, Nj = 0, others = 0;
        for (int i = 0; i < k; ++i) {
            const double q = kOlofssonCounts[i][j] / n[i];
            row += p[j][i], column += p[i][j],
                var += (N[i] / total * p[i][j] - p[i][j] * p[i][j]) / (n[i] - 1);
            Nj += N[i] * q, others += i == j ? 0 : N[i] * N[i] * q * (1 - q) / (n[i] - 1);
        }
        const double U = p[j][j] / row, P = p[j][j] / column, W = N[j] / total;
        r.users.push_back(U);
        r.producers.push_back(P);
        r.area.push_back(column * total);
        r.areaSe.push_back(std::sqrt(var) * total);
        r.usersSe.push_back(std::sqrt(U * (1 - U) / (n[j] - 1)));
        r.producersSe.push_back(std::sqrt(
            (N[j] * N[j] * (1 - P) * (1 - P) * U * (1 - U) / (n[j] - 1) + P * P * others) / (Nj * Nj)));
        r.overall += p[j][j];
        r.overallSe += W * W * U * (1 - U) / (n[j] - 1);
    }
    r.overallSe = std::sqrt(r.overallSe);
    return r;
}

} // namespace

TEST(AccuracyEstimatesTest, KappaVarianceMatchesTheFleissCohenEverittFormAndBinomialIntervalsByHand) {
    const std::vector<std::vector<double>> counts = {
        {65, 4, 22, 24}, {6, 81, 5, 8}, {0, 11, 85, 19}, {4, 7, 3, 90}};
    const auto v = KappaVariance(byClassified(counts));
    ASSERT_TRUE(v);
    EXPECT_NEAR(*v, fleissKappaVariance(counts), 1e-12);
    EXPECT_FALSE(KappaVariance(ErrorMatrix(3)));
    EXPECT_FALSE(KappaVariance(byClassified({{5, 0}, {0, 0}}))); // one class only: chance agreement 1

    const auto ci = BinomialInterval95(75, 100); // 0.75 +- 1.96 x sqrt(0.75 x 0.25 / 100)
    ASSERT_TRUE(ci);
    EXPECT_NEAR(ci->low, (0.75 - kZ95 * std::sqrt(0.1875 / 100)) * 100, 1e-9);
    EXPECT_NEAR(ci->high, (0.75 + kZ95 * std::sqrt(0.1875 / 100)) * 100, 1e-9);
    EXPECT_FALSE(BinomialInterval95(0, 0));
    const auto all = BinomialInterval95(10, 10);
    EXPECT_EQ(std::tuple(all->low, all->high), std::tuple(100.0, 100.0));
}

TEST(AccuracyEstimatesTest, AreaAdjustedEstimatesOfThePublishedExampleAndTheJsonOfUndefinedValues) {
    // Every estimate against the estimators written out: AccuracyCli below, through the JSON report.
    const auto e = AreaAdjusted(byClassified(kOlofssonCounts), kOlofssonMapped, 900);
    ASSERT_TRUE(e);
    // The paper's rounded results: deforestation 235,086 pixels +- 68,418 (95 %),
    // its user's accuracy 0.88 and producer's 0.75; overall accuracy 0.95.
    EXPECT_NEAR(*e->classes[0].areaPixels, 235086, 1);
    EXPECT_NEAR(kZ95 * *e->classes[0].areaPixelsSe, 68418, 20);
    EXPECT_NEAR(*e->classes[0].users, 88, 0.5);
    EXPECT_NEAR(*e->classes[0].producers, 75, 0.5);
    EXPECT_NEAR(*e->overallAccuracy, 95, 0.5);
    // A mapped class without sample has no area estimate.
    EXPECT_FALSE(AreaAdjusted(byClassified({{5, 2}, {0, 0}}), {100, 50}, 1));
    EXPECT_TRUE(AreaAdjusted(byClassified({{5, 2}, {0, 0}}), {100, 0}, 1)); // class 1 not on the map
    EXPECT_FALSE(AreaAdjusted(byClassified({{5, 0}, {0, 0}}), {}, 1));
    const ErrorMatrix m = byClassified({{2, 1, 0}, {0, 1, 0}, {0, 0, 0}});
    const AccuracySummary s = SummarizeErrorMatrix(m);
    const std::string json = FormatAccuracyJson(5, m, s, EstimateAccuracy(m, s, {}, 0), {L"a", L"b\"", L"c"});
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json;
    EXPECT_EQ(std::tuple(o["points"].toInt(), o["overall_accuracy"].toDouble(), o["kappa"].toDouble()),
              std::tuple(5, 75.0, 0.5));
    const QJsonArray classes = o["classes"].toArray();
    ASSERT_EQ(classes.size(), 3);
    EXPECT_EQ(classes[1].toObject()["name"].toString(), "b\"");
    EXPECT_TRUE(classes[2].toObject()["producers_accuracy"].isNull() &&
                classes[2].toObject()["users_accuracy"].isNull());
    EXPECT_DOUBLE_EQ(classes[0].toObject()["users_accuracy"].toDouble(), 200.0 / 3.0);
    EXPECT_EQ(rows(o)[0], (std::vector<int>{2, 1, 0})); // classified 0: references 0, 1, 2
    EXPECT_TRUE(o["area_adjusted"].isNull());
}

namespace {

class FixedClock : public IRandomPointClock {
public:
    std::uint32_t seconds = 1234;
    std::vector<int> pauses;
    std::uint32_t NowSeconds() override { return seconds; }
    void Pause(int ms) override { pauses.push_back(ms); }
};

class AccuracyWindowTest : public WindowTest<D> {
protected:
    void SetUp() override {
        previousClock = SetRandomPointClock(&clock);
        reopen(&host);
    }
    void TearDown() override {
        WindowTest::TearDown();
        SetRandomPointClock(previousClock);
    }
    void reopen(IControlerInterface* h) {
        open([h] { CTesseraUILib::ShowAccuracyClassifyDlg(h); });
    }
    // A classified image (width x height, one value per pixel), with its .acf, opened in the window.
    std::wstring openImage(int width, int height, const std::vector<double>& values, bool withAcf = true) {
        const fs::path path = WriteRaster(scratch("classes.tif"), {width, height}, values);
        if (withAcf)
            writeAcf(path, {L"Unclassified", L"water", L"forest"});
        openImage(path.wstring());
        return path.wstring();
    }
    void openImage(const std::wstring& path) {
        ui.ChooseFileAnswer(path);
        window->SendCommand(D::ID_FILE_OPEN);
    }
    // Runs the random point dialog: fills count and maximum, presses OK;
    // cancels when the dialog stays open.
    void addPoints(const std::wstring& count, const std::wstring& maxSearch = L"1024") {
        ui.modalScripts.push_back([count, maxSearch](XDialog& dialog) {
            dialog.Item<QLineEdit>(CAddRandomPointDlg::IDC_POINT_COUNT)
                ->setText(QString::fromStdWString(count));
            dialog.Item<QLineEdit>(CAddRandomPointDlg::IDC_MAX_SEARCH)
                ->setText(QString::fromStdWString(maxSearch));
            dialog.setResult(0);
            dialog.SendCommand(IDOK);
            return dialog.result() == IDOK ? IDOK : IDCANCEL;
        });
        window->SendCommand(D::ID_EDIT_RANDOM_POINTS);
    }
    void addPoints(int count) { addPoints(std::to_wstring(count)); }
    CGridCtrl& grid() const { return *window->Grid(); }
    std::vector<std::wstring> cells(int row, std::vector<int> columns) const {
        return RowTexts(grid(), row, columns);
    }
    QAction* menu(int id) {
        window->UpdateMenuStates();
        return window->MenuAction(id);
    }
    std::vector<int> visibility() const {
        std::vector<int> v;
        for (auto& s : host.shapes)
            v.push_back(s->m_visible);
        return v;
    }

    FixedClock clock;
    IRandomPointClock* previousClock = nullptr;
};

} // namespace

TEST_F(AccuracyWindowTest, StartsWithTheHeaderRowAndTheMenuStatesAndOpensImagesWithOrWithoutAssistantFile) {
    ASSERT_EQ(std::tuple(grid().GetRowCount(), grid().GetColumnCount()), std::tuple(1, 6));
    EXPECT_EQ(cells(0, {1, 2, 3, 4, 5}),
              (std::vector<std::wstring>{L"名称", L"X", L"Y", L"类别", L"参考值"}));
    EXPECT_TRUE(!menu(D::ID_EDIT_RANDOM_POINTS)->isEnabled() && menu(D::ID_REPORT_ERROR_MATRIX)->isChecked());
    for (bool checked : {false, true}) { // each section toggles
        window->SendCommand(D::ID_REPORT_KAPPA);
        EXPECT_EQ(std::tuple(menu(D::ID_REPORT_KAPPA)->isChecked(), window->IncludeKappa()),
                  std::tuple(checked, checked));
    }
    window->SendCommand(D::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{static_cast<int>(HelpTopic::Module), 2}}));
    // A path that is no raster: no message, but the random points item is enabled from now on.
    openImage((ScratchDir() / "nothing.tif").wstring());
    EXPECT_TRUE(ui.messages.empty() && menu(D::ID_EDIT_RANDOM_POINTS)->isEnabled());
    EXPECT_EQ(std::tuple(ui.fileRequests.size(), ui.Asked(0)),
              std::tuple(1u, FileAsk{true, L".tif", 6, true, Filters::RasterInput}));
    const std::wstring noAcf = openImage(3, 3, std::vector<double>(9, 1), false);
    WriteBytes(fs::path(noAcf).replace_extension(".acf"), "not an assistant file\n");
    openImage(noAcf);
    EXPECT_EQ(ui.Shown(), (std::vector<std::wstring>{L"找不到分类结果辅助文件 | 提示",
                                                     L"打开分类辅助文件失败！ | 提示"}));
    EXPECT_EQ(window->GetWindowText(), L"分类精度评价");
    const std::wstring good = openImage(3, 3, std::vector<double>(9, 1));
    EXPECT_EQ(
        std::tuple(ui.messages.size(), window->GetWindowText(), window->AssistantFile().GetClassCount()),
        std::tuple(2u, L"分类精度评价  " + good, 3));
    // The random point dialog's fields as it opens.
    using R = CAddRandomPointDlg;
    TesseraModuleGuard context;
    R dialog;
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(dialog.GetDlgItemText(R::IDC_POINT_COUNT) + L" " + dialog.GetDlgItemText(R::IDC_MAX_SEARCH),
              L"256 1024");
    EXPECT_TRUE(dialog.IsDlgButtonChecked(R::IDC_DIST_RANDOM));
    for (int id : {R::IDC_DIST_PROPORTIONAL, R::IDC_DIST_EQUAL, R::IDC_VIEW_CLASSES})
        EXPECT_FALSE(dialog.GetDlgItem(id)->isEnabled()) << id;
}

TEST_F(AccuracyWindowTest, RandomPointsAreAppendedHiddenAndDrawnFromTheSecond) {
    const int W = 9, H = 7;
    std::vector<double> values(W * H);
    for (int i = 0; i < W * H; ++i)
        values[i] = i % 3;
    openImage(W, H, values);
    addPoints(5);
    ASSERT_EQ(std::tuple(window->Points().size(), host.shapes.size()), std::tuple(5u, 5u));
    EXPECT_EQ(std::tuple(visibility(), clock.pauses),
              std::tuple(std::vector<int>(5, 0), std::vector<int>{1000}));
    Lcg next{1234}; // the seed is the clock's seconds
    for (int i = 0; i < 5; ++i) {
        const int x = next() % (W - 1), y = next() % (H - 1);
        const AccuracyPoint& p = window->Points()[i];
        const CPoint2D ground(1000 + 10 * (x + 0.5), 2000 - 10 * (y + 0.5));
        EXPECT_EQ(
            std::tuple(p.id, p.name, p.classValue, p.referenceValue, p.position,
                       host.shapes[i]->GetVertices().at(0), host.shapes[i]->m_style),
            std::tuple(i + 1, L"#Pt" + std::to_wstring(i + 1), (y * W + x) % 3, 0, ground, ground, 255));
        // Added without the class column; only the reference is editable.
        EXPECT_EQ(cells(i + 1, {0, 1, 2, 4, 5}),
                  (std::vector<std::wstring>{std::to_wstring(i + 1), p.name,
                                             QString::number(ground.x, 'f', 6).toStdWString(), L"", L""}));
        EXPECT_TRUE(!grid().IsCellEditable(i + 1, 2) && grid().IsCellEditable(i + 1, 5));
    }
    // A second run in the same second draws the same pixels; ids restart, rows continue.
    addPoints(5);
    ASSERT_EQ(window->Points().size(), 10u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(std::tuple(window->Points()[5 + i].position, window->Points()[5 + i].id,
                             grid().GetItemText(6 + i, 0)),
                  std::tuple(window->Points()[i].position, i + 1, std::to_wstring(6 + i)));
    EXPECT_EQ(visibility(), std::vector<int>(10, 0));
    addPoints(0); // adds nothing and still pauses
    EXPECT_EQ(std::tuple(window->Points().size(), clock.pauses.size()), std::tuple(10u, 3u));
    // Class values are truncated toward zero; the class column shows them on request.
    for (double value : {2.9, -0.5}) {
        openImage(4, 4, std::vector<double>(16, value));
        addPoints(3);
    }
    ASSERT_EQ(window->Points().size(), 16u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::tuple(window->Points()[10 + i].classValue, window->Points()[13 + i].classValue),
                  std::tuple(2, 0));
    window->SendCommand(D::ID_EDIT_SHOW_CLASSES);
    EXPECT_EQ(grid().GetItemText(11, 4) + grid().GetItemText(14, 4), L"20");
    window->SendCommand(D::ID_EDIT_HIDE_CLASSES);
    EXPECT_EQ(grid().GetItemText(11, 4), L"");
}

TEST_F(AccuracyWindowTest, RandomPointDialogChecksCountAgainstMaximum) {
    openImage(4, 4, std::vector<double>(16, 1));
    addPoints(L"1024", L"1024"); // equal: accepted
    EXPECT_EQ(std::tuple(window->Points().size(), ui.messages.size()), std::tuple(1024u, 0u));
    // Refused, the dialog stays open: more than the maximum, out of range (the
    // toolkit's message), not a number; then cancelled without a script.
    addPoints(L"1025", L"1024");
    addPoints(L"1000001", L"2000000");
    addPoints(L"abc");
    window->SendCommand(D::ID_EDIT_RANDOM_POINTS);
    std::vector<std::wstring> shown = ui.Shown(); // each message once or more
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"随机点个数不能超过最大搜索点个数！ | 错误",
                                                L"请输入一个介于 0 和 1000000 之间的整数。 | ",
                                                L"请输入一个正整数。 | "}));
    EXPECT_EQ(window->Points().size(), 1024u); // nothing added by any of them
}

TEST_F(AccuracyWindowTest, ShowAndHidePointsThroughTheHostShapeListAndANullHostIsHandledEverywhere) {
    openImage(5, 5, std::vector<double>(25, 1));
    addPoints(4);
    host.calls.clear();
    window->SendCommand(D::ID_VIEW_SHOW_ALL);
    EXPECT_EQ(visibility(), std::vector<int>(4, 1));
    ASSERT_GE(host.calls.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(host.calls.end() - 2, host.calls.end()),
              (std::vector<std::string>{"RefreshShapes", "RedrawView"}));
    window->SendCommand(D::ID_VIEW_HIDE_SELECTED); // none selected: nothing changes
    EXPECT_EQ(visibility(), std::vector<int>(4, 1));
    grid().SetItemState(1, 1, GVIS_SELECTED);
    grid().SetItemState(3, 1, GVIS_SELECTED);
    window->SendCommand(D::ID_VIEW_HIDE_SELECTED);
    EXPECT_EQ(visibility(), (std::vector<int>{0, 1, 0, 1}));
    window->SendCommand(D::ID_VIEW_SHOW_SELECTED);
    EXPECT_EQ(visibility(), (std::vector<int>{1, 0, 1, 0}));
    grid().clearSelection();
    window->SendCommand(D::ID_VIEW_SHOW_SELECTED); // none selected: all hidden
    EXPECT_EQ(visibility(), std::vector<int>(4, 0));
    window->SendCommand(D::ID_VIEW_SHOW_ALL);
    window->SendCommand(D::ID_VIEW_HIDE_ALL);
    EXPECT_EQ(visibility(), std::vector<int>(4, 0));
    // The close box hides every point and destroys the window.
    window->SendCommand(D::ID_VIEW_SHOW_ALL);
    window->close();
    EXPECT_EQ(std::tuple(visibility(), host.calls.back()),
              std::tuple(std::vector<int>(4, 0), std::string("RedrawView")));
    EXPECT_TRUE(closed());
    // Cancel leaves the point shapes as they are.
    reopen(&host);
    host.shapes.clear();
    openImage(5, 5, std::vector<double>(25, 1));
    addPoints(2);
    window->SendCommand(D::ID_VIEW_SHOW_ALL);
    window->SendCommand(IDCANCEL);
    EXPECT_TRUE(closed());
    EXPECT_EQ(visibility(), std::vector<int>(2, 1));
    // Without a host: the points are still added, and nothing is asked of a host.
    host.calls.clear();
    reopen(nullptr);
    openImage(5, 5, std::vector<double>(25, 1));
    addPoints(3);
    EXPECT_EQ(std::tuple(window->Points().size(), grid().GetRowCount()), std::tuple(3u, 4));
    for (int id :
         {D::ID_VIEW_SHOW_ALL, D::ID_VIEW_HIDE_ALL, D::ID_VIEW_SHOW_SELECTED, D::ID_VIEW_HIDE_SELECTED})
        window->SendCommand(id);
    EXPECT_TRUE(host.calls.empty());
    window->SendCommand(D::ID_FILE_CLOSE);
    EXPECT_TRUE(closed());
}

TEST_F(AccuracyWindowTest, ReferenceCellsMustBeDigitsAtReportTime) {
    window->SendCommand(D::ID_REPORT_WRITE); // no rows: nothing asked
    EXPECT_TRUE(ui.fileRequests.empty() && ui.messages.empty());
    openImage(5, 5, std::vector<double>(25, 1));
    addPoints(3);
    const fs::path out = scratch("window.txt");
    const auto write = [&](std::initializer_list<const wchar_t*> references) {
        int row = 1;
        for (const wchar_t* text : references)
            grid().SetItemText(row++, 5, text);
        ui.ChooseFileAnswer(out.wstring());
        window->SendCommand(D::ID_REPORT_WRITE);
    };
    write({L"1", L"-1", L"2"});
    EXPECT_EQ(ui.Shown(), std::vector<std::wstring>{L"还有点没有输入参考类型！ | "}); // the toolkit's caption
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(window->Points()[0].referenceValue, 1); // rows before the bad one keep their values
    EXPECT_EQ(std::tuple(ui.fileRequests.back().defaultExtension, ui.fileRequests.back().open),
              std::tuple(std::wstring(L".txt"), false));
    write({L"1", L"3 ", L"2"});
    EXPECT_EQ(std::tuple(ui.messages.size(), fs::exists(out)), std::tuple(2u, false));
    // A refresh stores 0 for the same text and shows typed values again.
    window->SendCommand(D::ID_EDIT_SHOW_CLASSES);
    EXPECT_EQ(window->Points()[1].referenceValue, 0);
    EXPECT_EQ(cells(1, {5})[0] + L"|" + cells(2, {5})[0] + L"|" + cells(3, {5})[0], L"1||2");
    // All digits: the report is written (class 1 everywhere; references 1, 1, 2).
    grid().SetItemText(1, 1, L"renamed");
    write({L"1", L"1", L"2"});
    EXPECT_EQ(ui.messages.size(), 2u);
    const std::string text = ReadBytes(out);
    EXPECT_NE(text.find("water" + std::string(13, ' ') + "2" + std::string(19, ' ') + "3"),
              std::string::npos);
    EXPECT_NE(text.find("Overall Classification Accuracy =     66.6667%"), std::string::npos);
}

namespace {

// `tessera accuracy MAP args...` writing a report and a JSON file beside the map.
std::vector<std::string> assessArgs(const fs::path& map, std::vector<std::string> args) {
    args.insert(args.begin(), {"accuracy", map.string()});
    args.insert(args.end(), {"--report", (map.parent_path() / "report.txt").string(), "--json",
                             (map.parent_path() / "report.json").string()});
    return args;
}
// The JSON report of such a run, which must succeed.
QJsonObject assessed(const fs::path& map, const std::vector<std::string>& args) {
    const CliRun r = RunTessera(assessArgs(map, args));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("wrote"), std::string::npos);
    return QJsonDocument::fromJson(QByteArray::fromStdString(ReadBytes(map.parent_path() / "report.json")))
        .object();
}

// A 4 x 3 classified image with three classes and its .acf:
//   0 1 2 2
//   1 1 0 2
//   2 2 2 0
const std::vector<double> kMapValues = {0, 1, 2, 2, 1, 1, 0, 2, 2, 2, 2, 0};
const std::vector<double> kTruthValues = {0, 1, 1, 2, 1, 2, 0, 2, 2, 1, 2, 255};

fs::path makeClassified() {
    const fs::path path = WriteRaster(scratch("map.tif"), {4, 3, 1, GDT_Byte}, kMapValues);
    writeAcf(path, {L"Unclassified", L"water", L"forest"}, {3, 3, 6});
    return path;
}

} // namespace

TEST(AccuracyCli, CsvPointsRandomPointsOrEveryPixelOfAReferenceRasterReproduceTheMatrix) {
    const fs::path map = makeClassified(), csv = map.parent_path() / "points.csv";
    // (column,row) -> classified: (1,0)->1 (2,0)->2 (0,1)->1 (2,1)->0 (3,1)->2 (0,2)->2 (3,2)->0
    WriteBytes(csv, "x,y,reference\r\n1,0,1\r\n2,0,2\r\n0,1,2\r\n\r\n2,1,0\r\n3,1,1\r\n0,2,2\r\n3,2,9\r\n");
    const QJsonObject o = assessed(map, {"--points", csv.string()});
    // Counted (reference, classified): (1,1) (2,2) (2,1) (0,0) (1,2) (2,2); (9,0) is out of range.
    // Classified rows: 0 -> [1,0,0]; 1 -> [0,1,1]; 2 -> [0,1,2]. N = 6, T = 4.
    const ErrorMatrix hand = byClassified({{1, 0, 0}, {0, 1, 1}, {0, 1, 2}});
    EXPECT_EQ(ReadBytes(map.parent_path() / "report.txt"),
              EncodeForLocale(FormatAccuracyReport(hand, SummarizeErrorMatrix(hand),
                                                   {L"Unclassified", L"water", L"forest"}, {}, UserLocale()),
                              UserLocale()));
    EXPECT_EQ(std::tuple(o["points"].toInt(), o["counted_points"].toInt()), std::tuple(7, 6));
    EXPECT_NEAR(o["overall_accuracy"].toDouble(), 400.0 / 6.0, 1e-9);
    // kappa = (N T - S) / (N^2 - S), S = A.B = 1x1 + 2x2 + 3x3 = 14
    EXPECT_NEAR(o["kappa"].toDouble(), (6.0 * 4 - 14) / (36.0 - 14), 1e-12);
    EXPECT_EQ(rows(o), (std::vector<std::vector<int>>{{1, 0, 0}, {0, 1, 1}, {0, 1, 2}}));
    const QJsonObject forest = o["classes"].toArray()[2].toObject();
    EXPECT_EQ(std::tuple(forest["name"].toString(), forest["reference_total"].toInt(),
                         forest["classified_total"].toInt(), forest["correct"].toInt()),
              std::tuple(QString("forest"), 3, 3, 2));
    EXPECT_NEAR(forest["producers_accuracy"].toDouble(), 200.0 / 3.0, 1e-9);
    EXPECT_NEAR(forest["conditional_kappa"].toDouble(), (6.0 * 2 - 9) / ((6.0 - 3) * 3), 1e-12);
    EXPECT_FALSE(o["area_adjusted"].isNull());
    // Ground coordinates take the nearest pixel: pixel (2,1) has its centre at
    // (1025, 1985), (3,2) at (1035, 1975). The header `tessera synth` writes
    // for its check points reads too.
    WriteBytes(csv, "x,y,truth\n1025,1985,0\n1038.9,1971.2,0\n");
    EXPECT_DOUBLE_EQ(assessed(map, {"--points", csv.string(), "--ground"})["overall_accuracy"].toDouble(),
                     100);
    const std::string truth =
        WriteRaster(map.parent_path() / "truth.tif",
                    {.width = 4, .height = 3, .type = GDT_Byte, .nodata = {{1, 255}}}, kTruthValues)
            .string();
    // The reference alone counts every pixel, its nodata left out; --random asking for more
    // points than the 11 pixels with a reference takes them all.
    std::vector<std::vector<int>> expected(3, std::vector<int>(3, 0)); // [classified][reference]
    for (int k = 0; k < 12; ++k)
        if (kTruthValues[k] != 255)
            ++expected[static_cast<int>(kMapValues[k])][static_cast<int>(kTruthValues[k])];
    EXPECT_EQ(rows(assessed(map, {"--random", "50", "--seed", "77", "--reference", truth})), expected);
    const QJsonObject all = assessed(map, {"--reference", truth});
    EXPECT_EQ(std::tuple(all["points"].toInt(), rows(all)), std::tuple(11, expected));
    // Stratified: n points per class.
    const QJsonObject stratified =
        assessed(map, {"--stratified", "2", "--seed", "5", "--reference", map.string()});
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(stratified["classes"].toArray()[c].toObject()["classified_total"].toInt(), 2) << c;
}

TEST(AccuracyCli, JsonIntervalsAreaEstimatesAndClassNamesWithoutAcf) {
    // One pixel per class value, the .acf giving the example's mapped pixels.
    const fs::path map =
        WriteRaster(scratch("olofsson.tif"), {4, 1, 1, GDT_Byte}, std::vector<double>{0, 1, 2, 3});
    writeAcf(map, {L"Deforestation", L"Forest gain", L"Stable forest", L"Stable non-forest"},
             kOlofssonMapped);
    std::string csv = "x,y,reference\n";
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < kOlofssonCounts[i][j]; ++k)
                csv += std::to_string(i) + ",0," + std::to_string(j) + "\n";
    WriteBytes(map.parent_path() / "p.csv", csv);
    const QJsonObject o = assessed(map, {"--points", (map.parent_path() / "p.csv").string()});
    EXPECT_EQ(o["points"].toInt(), 640);
    const OlofssonReference ref = olofssonReference();
    const QJsonObject area = o["area_adjusted"].toObject();
    EXPECT_NEAR(area["overall_accuracy"].toDouble(), ref.overall * 100, 1e-9);
    EXPECT_NEAR(area["overall_accuracy_se"].toDouble(), ref.overallSe * 100, 1e-9);
    EXPECT_EQ(area["total_pixels"].toInteger(), 10000000);
    const QJsonArray classes = area["classes"].toArray();
    for (int j = 0; j < 4; ++j) {
        const QJsonObject c = classes[j].toObject();
        EXPECT_NEAR(c["users_accuracy"].toDouble(), ref.users[j] * 100, 1e-9);
        EXPECT_NEAR(c["users_accuracy_se"].toDouble(), ref.usersSe[j] * 100, 1e-9);
        EXPECT_NEAR(c["producers_accuracy"].toDouble(), ref.producers[j] * 100, 1e-9);
        EXPECT_NEAR(c["producers_accuracy_se"].toDouble(), ref.producersSe[j] * 100, 1e-9);
        EXPECT_NEAR(c["area_pixels"].toDouble(), ref.area[j], 1e-6);
        const QJsonArray ci = c["area_pixels_ci95"].toArray();
        EXPECT_NEAR(ci[0].toDouble(), ref.area[j] - kZ95 * ref.areaSe[j], 1e-6);
        EXPECT_NEAR(ci[1].toDouble(), ref.area[j] + kZ95 * ref.areaSe[j], 1e-6);
        EXPECT_NEAR(c["area"].toDouble(), ref.area[j] * 100, 1e-4); // 10 m x 10 m pixels
    }
    // Sample-based intervals: overall 599/640 and kappa with its variance.
    const double p = 587.0 / 640.0;
    const QJsonArray overallCi = o["overall_accuracy_ci95"].toArray();
    EXPECT_NEAR(overallCi[0].toDouble(), (p - kZ95 * std::sqrt(p * (1 - p) / 640)) * 100, 1e-9);
    EXPECT_NEAR(o["kappa_variance"].toDouble(), fleissKappaVariance(kOlofssonCounts), 1e-12);
    const QJsonArray users0 = o["classes"].toArray()[0].toObject()["users_accuracy_ci95"].toArray();
    const double u = 66.0 / 75.0;
    EXPECT_NEAR(users0[1].toDouble(), (u + kZ95 * std::sqrt(u * (1 - u) / 75)) * 100, 1e-9);
    // Without an .acf the classes come from the image's category names or the option.
    const fs::path plain =
        WriteRaster(scratch("plain.tif"), {.width = 2, .type = GDT_Byte, .categories = {"none", "crop"}},
                    std::vector<double>{0, 1});
    const std::string points = (plain.parent_path() / "p.csv").string();
    WriteBytes(points, "x,y,reference\n0,0,0\n1,0,1\n");
    EXPECT_EQ(assessed(plain, {"--points", points})["classes"].toArray()[1].toObject()["name"].toString(),
              "crop");
    EXPECT_EQ(assessed(plain, {"--points", points, "--classes", "a,b,c"})["classes"].toArray().size(), 3);
}

TEST(AccuracyCli, BadInputsFailWithOneLineAndNoReport) {
    const fs::path map = makeClassified(), dir = map.parent_path();
    const fs::path plain =
        WriteRaster(dir / "noacf.tif", {2, 2, 1, GDT_Byte}, std::vector<double>{0, 1, 1, 0});
    const fs::path fractional =
        WriteRaster(dir / "fractional.tif", {2, 2, 1, GDT_Float32}, std::vector<double>{0, 0.5, 1, 0});
    const fs::path twoBands =
        WriteRaster(dir / "two.tif", {2, 2, 2, GDT_Byte}, std::vector<double>{0, 1, 1, 0});
    writeAcf(twoBands, {L"a", L"b"});
    // The points, each in a file of its own, assessed against an image.
    int files = 0;
    const auto points = [&](const char* text, const fs::path& image = {}) {
        const fs::path csv = dir / ("bad" + std::to_string(++files) + ".csv");
        WriteBytes(csv, text);
        return assessArgs(image.empty() ? map : image, {"--points", csv.string()});
    };
    ExpectRefusals(
        {{points("x,y,reference\n1,0,1\n2,zero,1\n"), 1, "line 3"},
         {points("x,y,reference\n1,0,-1\n"), 1, "line 2"},
         {points("col,row,truth\n1,0,1\n"), 1, "line 1"},
         {points("x,y,reference\n4,0,1\n"), 1, "outside"},
         {points("x,y,reference\n1,0,1\n", fractional), 1, "not a classified image"},
         {points("x,y,reference\n1,0,1\n", twoBands), 1, "2 bands"},
         {assessArgs(map, {"--random", "5"}), 2, "--reference"},
         {assessArgs(map, {"--points", (dir / "bad1.csv").string(), "--random", "5"}), 2, "only one"},
         {assessArgs(map, {}), 2, "check points"},
         {assessArgs(map, {"--reference", plain.string()}), 1, "2 x 2"}},
        dir);
}
