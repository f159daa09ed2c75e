// Samples: merge arithmetic, colour rule and separability against references,
// the sample editor, and `tessera samples`.
#include "base/commonfun.h"
#include "base/log.h"
#include "common/filters.h"
#include "engine/rastersource.h"
#include "entry/tesserauilib.h"
#include "platform/gridctrl.h"
#include "processing/samplestats.h"
#include "processing/separability.h"
#include "samples/CAoiEditorDlg.h"
#include "support/cli.h"
#include "support/fixtures.h"
#include "support/references.h"
#include "support/windowharness.h"

#include <QAction>
#include <nlohmann/json.hpp>

#include <cmath>
#include <random>
#include <regex>

using namespace tessera;

using D = CAoiEditorDlg;
using namespace SampleStats;

namespace {

using Pixels = std::vector<std::vector<double>>; // one vector of k band values per pixel

// Statistics computed straight from the pixels: divisor n.
ClassifySample direct(const Pixels& pixels, int k) {
    const NaiveStats n = NaiveStatistics(pixels, k);
    ClassifySample s;
    s.m_pixelCount = static_cast<int>(n.n);
    s.m_bandCount = k;
    s.m_min = n.min, s.m_max = n.max, s.m_mean = n.mean, s.m_covariance = n.cov;
    return s;
}

Pixels randomPixels(std::mt19937& rng, int count, int k, double offset) {
    std::normal_distribution<double> noise(0.0, 5.0);
    Pixels out(count, std::vector<double>(k));
    for (auto& p : out) {
        for (int b = 0; b < k; ++b)
            p[b] = offset + 10.0 * b + noise(rng);
        p[1] = 42.0;              // a band of constant value: zero variance
        p[2] = p[0] * 0.5 + p[3]; // a band correlated with two others
    }
    return out;
}

void expectNear(const std::vector<double>& a, const std::vector<double>& b, double tolerance) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(a[i], b[i], tolerance * std::max(1.0, std::fabs(b[i]))) << "at " << i;
}

// The count, minimum and maximum exactly; mean and covariance to rounding.
void expectSameStatistics(const ClassifySample& s, const ClassifySample& e) {
    EXPECT_EQ(s.m_pixelCount, e.m_pixelCount);
    expectNear(s.m_min, e.m_min, 0);
    expectNear(s.m_max, e.m_max, 0);
    expectNear(s.m_mean, e.m_mean, 1e-12);
    expectNear(s.m_covariance, e.m_covariance, 1e-9);
}

} // namespace

TEST(SampleMerge, EqualsTheStatisticsOfTheUnionOfThePixels) {
    std::mt19937 rng(7);
    const int k = 4;
    for (const std::vector<int>& sizes : {std::vector<int>{17, 250}, std::vector<int>{3, 40, 1000}}) {
        Pixels all;
        std::vector<ClassifySample> samples;
        for (size_t i = 0; i < sizes.size(); ++i) {
            const Pixels part = randomPixels(rng, sizes[i], k, 100.0 * static_cast<double>(i));
            all.insert(all.end(), part.begin(), part.end());
            samples.push_back(direct(part, k));
        }
        std::vector<const ClassifySample*> forward, backward;
        for (const ClassifySample& s : samples)
            forward.push_back(&s), backward.insert(backward.begin(), &s);
        const MergedStatistics merged = MergeSamples(forward, k);
        ASSERT_EQ(merged.status, MergeStatus::Ok);
        expectSameStatistics(*std::unique_ptr<ClassifySample>(NewMergedSample(merged, forward, k)),
                             direct(all, k));
        EXPECT_NEAR(merged.covariance[1 * k + 1], 0.0, 1e-9); // the constant band stays without variance
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j)
                EXPECT_DOUBLE_EQ(merged.covariance[i * k + j], merged.covariance[j * k + i]);
        // The order of the samples does not change the result beyond rounding.
        const MergedStatistics other = MergeSamples(backward, k);
        expectNear(other.mean, merged.mean, 1e-12);
        expectNear(other.covariance, merged.covariance, 1e-9);
    }
}

TEST(SampleMerge, WorkedExampleColourShapesRefusalsAndTheColourRule) {
    // One band: 100 pixels of mean 10 and variance 4, 300 of mean 20 and variance 9.
    ClassifySample a, b;
    a.m_pixelCount = 100, b.m_pixelCount = 300;
    a.m_min = {5}, a.m_max = {15}, a.m_mean = {10}, a.m_covariance = {4};
    b.m_min = {12}, b.m_max = {30}, b.m_mean = {20}, b.m_covariance = {9};
    a.m_colour = RGB(255, 0, 0), b.m_colour = RGB(0, 0, 255);
    MergedStatistics m = MergeSamples({&a, &b}, 1);
    EXPECT_EQ(std::tuple(m.mean[0], m.minimum[0], m.maximum[0]), std::tuple(17.5, 5.0, 30.0));
    EXPECT_NEAR(m.covariance[0], 26.5, 1e-12);
    // Colour weighted by pixels, truncated: red 1 pixel, blue 3 pixels -> (63, 0, 191).
    a.m_pixelCount = 1, b.m_pixelCount = 3;
    EXPECT_EQ(MergeSamples({&a, &b}, 1).colour, RGB(63, 0, 191));
    // A single sample gives itself back.
    m = MergeSamples({&b}, 1);
    EXPECT_EQ(std::tuple(m.pixelCount, m.colour, m.mean[0]), std::tuple(3, b.m_colour, 20.0));
    EXPECT_NEAR(m.covariance[0], 9, 1e-12);
    // The merged sample owns copies of the shapes, in order.
    a.m_shapes.push_back(new CDrawShape(DRAWSHAPE_POINT, {{1, 1}}));
    b.m_shapes.push_back(new CDrawShape(DRAWSHAPE_POINT, {{2, 2}}));
    b.m_shapes.push_back(new CDrawShape(DRAWSHAPE_POINT, {{3, 3}}));
    const std::vector<const ClassifySample*> sources{&a, &b};
    std::unique_ptr<ClassifySample> merged(NewMergedSample(MergeSamples(sources, 1), sources, 1));
    ASSERT_EQ(merged->m_shapes.size(), 3u);
    EXPECT_EQ(std::tuple(merged->m_shapeCount, merged->m_shapes[2]->GetVertices()[0].x, merged->m_pixelCount,
                         merged->m_bandCount),
              std::tuple(3, 3.0, 4, 1));
    EXPECT_NE(merged->m_shapes[0], a.m_shapes[0]);
    // What cannot be merged is refused; the values are never read past their end.
    ClassifySample two, empty;
    two.m_pixelCount = 4;
    two.m_min = {1, 2}, two.m_max = {3, 4}, two.m_mean = {2, 3}, two.m_covariance = {1, 0, 0, 1};
    empty.m_min = empty.m_max = empty.m_mean = {0, 0}, empty.m_covariance = {0, 0, 0, 0};
    EXPECT_EQ(std::tuple(MergeSamples({}, 2).status, MergeSamples({&two}, 0).status,
                         MergeSamples({&two}, 3).status, MergeSamples({&empty, &empty}, 2).status),
              std::tuple(MergeStatus::NothingSelected, MergeStatus::NothingSelected,
                         MergeStatus::TooFewValues, MergeStatus::NoPixels));
    EXPECT_TRUE(MergeSamples({&empty, &empty}, 2).covariance.empty());
    // A NaN minimum neither replaces nor is replaced.
    ClassifySample nan = two;
    nan.m_min[0] = NAN;
    EXPECT_TRUE(std::isnan(MergeSamples({&nan, &two}, 2).minimum[0]));
    EXPECT_EQ(MergeSamples({&two, &nan}, 2).minimum[0], 1);
    // The colour rule: the truncated position in the band range.
    // 127.5 truncated; no range; NaN; masked to 8 bits.
    EXPECT_EQ(std::tuple(ColourComponent(100, 0, 100), ColourComponent(50, 0, 100),
                         ColourComponent(0, 0, 100), ColourComponent(7, 7, 7), ColourComponent(NAN, 0, 1)),
              std::tuple(255, 127, 0, 0, 0));
    EXPECT_EQ(ComposeColour(300, 1, 2), RGB(44, 1, 2));
}

namespace {

// One band: Bhattacharyya distance and divergence worked from their scalar forms.
double bhattacharyya1(double m1, double v1, double m2, double v2) {
    return (m1 - m2) * (m1 - m2) / (4.0 * (v1 + v2)) + 0.5 * std::log((v1 + v2) / (2.0 * std::sqrt(v1 * v2)));
}
double divergence1(double m1, double v1, double m2, double v2) {
    return 0.5 * (v1 - v2) * (1.0 / v2 - 1.0 / v1) + 0.5 * (1.0 / v1 + 1.0 / v2) * (m1 - m2) * (m1 - m2);
}

} // namespace

TEST(Separability, MatchesWorkedValuesAndSingularCovarianceHasNone) {
    const std::vector<double> mean{10, 20}, cov{4, 0, 0, 9};
    auto same = Separability::Measure({&mean, &cov}, {&mean, &cov}, 2);
    ASSERT_TRUE(same.jeffriesMatusita && same.transformedDivergence);
    EXPECT_NEAR(*same.jeffriesMatusita, 0.0, 1e-12);
    EXPECT_NEAR(*same.transformedDivergence, 0.0, 1e-9);
    // Diagonal covariances: independent bands, so B and D add up over bands.
    const std::vector<double> mean2{13, 26}, cov2{1, 0, 0, 16};
    const double b = bhattacharyya1(10, 4, 13, 1) + bhattacharyya1(20, 9, 26, 16);
    const double d = divergence1(10, 4, 13, 1) + divergence1(20, 9, 26, 16);
    const auto m = Separability::Measure({&mean, &cov}, {&mean2, &cov2}, 2);
    ASSERT_TRUE(m.bhattacharyya && m.divergence);
    EXPECT_NEAR(*m.bhattacharyya, b, 1e-12);
    EXPECT_NEAR(*m.divergence, d, 1e-12);
    EXPECT_NEAR(*m.jeffriesMatusita, 2.0 * (1.0 - std::exp(-b)), 1e-12);
    EXPECT_NEAR(*m.transformedDivergence, 2000.0 * (1.0 - std::exp(-d / 8.0)), 1e-9);
    // By hand for the first band alone: B = 9/20 + ln(5/4)/2 = 0.561572, D = 4.5 + 11.25 = 15.75 ...
    EXPECT_NEAR(bhattacharyya1(10, 4, 13, 1), 0.45 + 0.5 * std::log(1.25), 1e-15);
    EXPECT_NEAR(divergence1(10, 4, 13, 1), 0.5 * 3 * 0.75 + 0.5 * 1.25 * 9, 1e-15);
    // Far apart: both near their maximum.
    const std::vector<double> far{1000, 2000};
    const auto f = Separability::Measure({&mean, &cov}, {&far, &cov}, 2);
    EXPECT_NEAR(*f.jeffriesMatusita, 2.0, 1e-9);
    EXPECT_NEAR(*f.transformedDivergence, 2000.0, 1e-6);
    // Symmetric.
    const auto r = Separability::Measure({&mean2, &cov2}, {&mean, &cov}, 2);
    EXPECT_NEAR(*r.jeffriesMatusita, *m.jeffriesMatusita, 1e-12);
    EXPECT_NEAR(*r.transformedDivergence, *m.transformedDivergence, 1e-9);
    // A singular covariance, or too few values: no value.
    const std::vector<double> singular{4, 4, 4, 4}, zero{0, 0, 0, 9}, good{1, 0, 0, 1};
    EXPECT_FALSE(Separability::Measure({&mean, &singular}, {&mean, &good}, 2).jeffriesMatusita);
    EXPECT_FALSE(Separability::Measure({&mean, &good}, {&mean, &zero}, 2).transformedDivergence);
    EXPECT_FALSE(Separability::Measure({&mean, &good}, {&mean, &good}, 3).jeffriesMatusita); // too few values
    EXPECT_EQ(
        std::tuple(Separability::PositiveDefinite(singular, 2), Separability::PositiveDefinite(good, 2)),
        std::tuple(false, true));
}

namespace {

constexpr int kW = 20, kH = 20, kBands = 4;
constexpr double kX0 = 500000, kY0 = 4000000; // top-left corner; pixels of 1 by 1

double pixelValue(int band, int c, int r) {
    return band * 1000.0 + c + 20.0 * r;
} // band from 1

// A 4-band Float32 GeoTIFF in UTM zone 50N.
std::wstring sceneRaster() {
    static const fs::path path =
        WriteRaster(ScratchDir() / "scene.tif", {kW, kH, kBands, GDT_Float32, {kX0, 1, 0, kY0, 0, -1}, 32650},
                    pixelValue);
    return WPath(path);
}

// A rectangle over columns c0..c1-1 and rows r0..r1-1, in ground coordinates.
std::unique_ptr<CDrawShape> rect(int c0, int r0, int c1, int r1) {
    return std::make_unique<CDrawShape>(DRAWSHAPE_RECTANGLE,
                                        std::vector<CPoint2D>{{kX0 + c0, kY0 - r0}, {kX0 + c1, kY0 - r1}});
}

// The statistics of the pixels of these rectangles, straight from the pixel formula.
ClassifySample rectStats(const std::vector<std::array<int, 4>>& rects) {
    Pixels pixels;
    for (auto [c0, r0, c1, r1] : rects)
        for (int r = r0; r < r1; ++r)
            for (int c = c0; c < c1; ++c) {
                std::vector<double> p;
                for (int b = 1; b <= kBands; ++b)
                    p.push_back(pixelValue(b, c, r));
                pixels.push_back(p);
            }
    return direct(pixels, kBands);
}

// The display colour by hand: red band 3, green 2, blue 1 on a 4-band raster
// without colour interpretation; every band spans its 1000 + 0 ... 399.
COLORREF expectedColour(const ClassifySample& s) {
    auto component = [&](int band) {
        return static_cast<int>((s.m_mean[band - 1] - band * 1000.0) / 399.0 * 255.0);
    };
    return RGB(component(3), component(2), component(1));
}

CClassifySampleFile readBack(const fs::path& file) {
    CClassifySampleFile read;
    EXPECT_TRUE(read.ReadClassifySampleFile(WPath(file))) << read.GetLastError();
    return read;
}

class VectorSource : public CGISDataSource {
public:
    GISDataSourceType GetDataSourceType() const override { return GIS_DATASOURCE_VECTOR; }
    std::wstring GetUnitName(bool) const override { return L"metre"; }
};

class SampleEditorTest : public WindowTest<D> {
protected:
    void SetUp() override {
        ASSERT_EQ(raster.Open(sceneRaster()), GIS_OK);
        reopen();
    }
    void TearDown() override {
        if (!window.isNull())
            window->DestroyWindow();
        EXPECT_TRUE(closed());
    }
    void reopen() {
        open([this] { CTesseraUILib::ShowAOIEditorDlg(&host); });
        table = window->Table();
    }
    void draw(std::unique_ptr<CDrawShape> shape) { host.drawnShapes.push_back(std::move(shape)); }
    // Adds n samples of 2 x 2 pixels at different places.
    void addSamples(int n) {
        host.activeSource = &raster;
        host.drawnShapes.clear();
        for (int i = 0; i < n; ++i)
            draw(rect(2 * i, i, 2 * i + 2, i + 2));
        window->SendCommand(D::ID_SAMPLE_ADD);
        host.drawnShapes.clear();
    }
    // Selects the rows, then sends the command.
    void command(int id, std::initializer_list<int> rows) {
        table->clearSelection();
        for (int r : rows)
            table->SelectRow(r);
        window->SendCommand(id);
    }
    bool menuEnabled(int id) {
        window->UpdateMenuStates();
        return window->MenuAction(id)->isEnabled();
    }
    const std::vector<ClassifySample*>& samples() const { return window->SampleFile().m_samples; }
    std::wstring cell(int r, int c) const { return table->GetItemText(r, c); }
    // Columns 3 to 5 of a row: its colour's red, green and blue.
    std::vector<std::wstring> rgb(int r) const { return RowTexts(*table, r, {3, 4, 5}); }
    static std::vector<std::wstring> rgbOf(COLORREF c) {
        return {std::to_wstring(GetRValue(c)), std::to_wstring(GetGValue(c)), std::to_wstring(GetBValue(c))};
    }
    struct Flags {
        bool modified, saved, fileOpen;
        bool operator==(const Flags&) const = default;
    };
    Flags flags() const { return {window->IsModified(), window->IsSaved(), window->IsFileOpen()}; }
    fs::path path(const std::string& name) const { return ScratchDir() / name; }
    // Saves through the dialog to a new file and returns its path.
    fs::path saveAs(const std::string& name) {
        ui.ChooseFileAnswer(WPath(path(name)));
        window->SendCommand(D::ID_SAMPLE_SAVE);
        return path(name);
    }
    void openFile(const fs::path& file) {
        ui.ChooseFileAnswer(WPath(file));
        window->SendCommand(D::ID_SAMPLE_OPEN);
    }

    CRasterSource raster;
    CGridCtrl* table = nullptr;
};

} // namespace

TEST_F(SampleEditorTest, AddTakesEveryShapeWithItsStatisticsAndColourAndTheMenuFollows) {
    EXPECT_FALSE(window->HoldsRaster());
    ASSERT_EQ(table->GetRowCount(), 1);
    EXPECT_EQ(RowTexts(*table, 0),
              (std::vector<std::wstring>{L"序号", L"类名", L"分类颜色", L"红", L"绿", L"蓝", L"像素个数"}));
    window->SendCommand(D::ID_SAMPLE_HELP);
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{4, 3}}));
    draw(rect(0, 0, 2, 2));
    window->SendCommand(D::ID_SAMPLE_ADD); // no active raster
    EXPECT_EQ(host.calls, std::vector<std::string>{"GetActiveDataSource"});
    // Add needs an active raster; Save needs rows.
    EXPECT_FALSE(menuEnabled(D::ID_SAMPLE_ADD) || menuEnabled(D::ID_SAMPLE_SAVE));
    VectorSource vector;
    host.activeSource = &vector;
    EXPECT_FALSE(menuEnabled(D::ID_SAMPLE_ADD));
    window->SendCommand(D::ID_SAMPLE_ADD);
    EXPECT_EQ(std::tuple(table->GetRowCount(), window->IsModified()), std::tuple(1, false));
    addSamples(0); // no shapes: only the modified flag
    EXPECT_EQ(std::tuple(table->GetRowCount(), samples().size(), window->IsModified()),
              std::tuple(1, 0u, true));
    EXPECT_TRUE(menuEnabled(D::ID_SAMPLE_ADD));
    draw(rect(0, 0, 4, 4));
    draw(rect(10, 5, 15, 8));
    window->SendCommand(D::ID_SAMPLE_ADD);
    ASSERT_EQ(std::tuple(table->GetRowCount(), samples().size()), std::tuple(3, 2u));
    EXPECT_TRUE(window->HoldsRaster() && menuEnabled(D::ID_SAMPLE_SAVE));
    const ClassifySample expected[] = {rectStats({{0, 0, 4, 4}}), rectStats({{10, 5, 15, 8}})};
    for (int r = 1; r <= 2; ++r) {
        const ClassifySample& s = *samples()[r - 1];
        const ClassifySample& e = expected[r - 1];
        const std::wstring name = L"C" + std::to_wstring(r);
        EXPECT_EQ(std::tuple(cell(r, 0), cell(r, 1), s.GetName(), s.m_index, cell(r, 6), s.m_bandCount),
                  std::tuple(std::to_wstring(r), name, name, r, std::to_wstring(e.m_pixelCount), kBands));
        expectSameStatistics(s, e);
        EXPECT_EQ(std::tuple(s.m_shapeCount, s.m_shapes.size(), s.m_marker3), std::tuple(1, 1u, 1));
        EXPECT_NE(s.m_shapes.at(0), host.drawnShapes[r - 1].get()); // a copy
        const COLORREF colour = expectedColour(e);
        EXPECT_EQ(std::tuple(s.m_colour, table->GetItemBkColour(r, 2), rgb(r)),
                  std::tuple(colour, colour, rgbOf(colour)));
        for (int c = 1; c < 7; ++c)
            EXPECT_EQ(table->IsCellEditable(r, c), c == 1) << c; // the name only
    }
    // Three more continue the numbering: rows 3, 4 and 5.
    host.drawnShapes.clear();
    for (int i = 0; i < 3; ++i)
        draw(rect(i, 10, i + 1, 11));
    window->SendCommand(D::ID_SAMPLE_ADD);
    ASSERT_EQ(samples().size(), 5u);
    for (int r = 3; r <= 5; ++r)
        EXPECT_EQ(std::tuple(cell(r, 1), samples()[r - 1]->m_pixelCount),
                  std::tuple(L"C" + std::to_wstring(r), 1));
    window->SendCommand(D::ID_SAMPLE_CLEAR);
    EXPECT_FALSE(menuEnabled(D::ID_SAMPLE_SAVE));
}

TEST_F(SampleEditorTest, TheColourCellDeleteAndClear) {
    addSamples(5);
    ui.colourAnswers.push_back(std::nullopt);
    emit table->CellDoubleClicked(1, 2);
    EXPECT_EQ(ui.colourRequests, std::vector<COLORREF>{samples()[0]->m_colour});
    saveAs("delete.cif");
    emit table->CellDoubleClicked(1, 3); // another column: nothing
    emit table->CellDoubleClicked(0, 2); // the header: nothing
    EXPECT_EQ(ui.colourRequests.size(), 1u);
    ui.colourAnswers.push_back(RGB(10, 20, 30));
    emit table->CellDoubleClicked(2, 2);
    EXPECT_EQ(std::tuple(table->GetItemBkColour(2, 2), rgb(2)),
              std::tuple(RGB(10, 20, 30), std::vector<std::wstring>{L"10", L"20", L"30"}));
    window->SendCommand(D::ID_SAMPLE_SAVE); // the sample's colour follows at the next save
    EXPECT_EQ(samples()[1]->m_colour, RGB(10, 20, 30));
    // Delete removes rows and their samples in step.
    std::vector<const ClassifySample*> kept{samples()[0], samples()[3]};
    command(D::ID_SAMPLE_DELETE, {2, 3, 5});
    ASSERT_EQ(table->GetRowCount(), 3);
    EXPECT_EQ(std::vector<const ClassifySample*>(samples().begin(), samples().end()), kept);
    // Numbers stay until saved and reopened.
    EXPECT_EQ(cell(1, 1) + L" " + cell(2, 1) + L" " + cell(2, 0), L"C1 C4 4");
    window->SendCommand(D::ID_SAMPLE_SAVE);
    command(D::ID_SAMPLE_DELETE, {});    // nothing selected: nothing changes
    EXPECT_EQ(samples()[1]->m_index, 2); // saved indices are renumbered
    // Clear empties table and list; the next add starts at row one.
    window->SendCommand(D::ID_SAMPLE_CLEAR);
    EXPECT_EQ(std::tuple(table->GetRowCount(), cell(0, 1), samples().size()),
              std::tuple(1, std::wstring(L"类名"), 0u));
    addSamples(1);
    EXPECT_EQ(std::tuple(cell(1, 1), samples().size()), std::tuple(std::wstring(L"C1"), 1u));
}

TEST_F(SampleEditorTest, SaveChoosesThePathOnceAndStampsAndOpenFillsTheTableOnce) {
    addSamples(2);
    ui.CancelFileAnswer();
    window->SendCommand(D::ID_SAMPLE_SAVE);
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_EQ(ui.Asked(0), (FileAsk{false, L".cif", 6, true, Filters::SampleSave}));
    table->SetItemText(1, 1, L"水体 water"); // renaming alone does not modify
    saveAs("first.txt");                     // the extension is replaced
    EXPECT_TRUE(fs::exists(path("first.cif")) && !fs::exists(path("first.txt")));
    window->SendCommand(D::ID_SAMPLE_SAVE); // no second dialog
    EXPECT_EQ(ui.fileRequests.size(), 2u);
    const CClassifySampleFile file = readBack(path("first.cif"));
    EXPECT_EQ(std::tuple(file.GetFileTag(), file.m_version, file.m_bandCount, file.m_width, file.m_height,
                         file.m_reservedInt, file.m_xResolution, file.m_yResolution), // absolute resolutions
              std::tuple(std::wstring(L"ZQ_RS_SampleFileTag"), 100, kBands, kW, kH, 0, 1.0, 1.0));
    ASSERT_EQ(file.m_samples.size(), 2u);
    EXPECT_EQ(file.m_samples[0]->GetName(), L"水体 water");
    for (int i = 0; i < 2; ++i) {
        const ClassifySample& s = *file.m_samples[i];
        EXPECT_EQ(std::tuple(s.m_index, s.m_marker1, s.m_marker2, s.m_marker3), std::tuple(i + 1, 1, 0, 1));
        EXPECT_TRUE(s == *samples()[i]);
    }
    window->SendCommand(D::ID_SAMPLE_CLOSE); // saved: no question
    EXPECT_EQ(std::tuple(ui.messages.size(), table->GetRowCount()), std::tuple(0u, 1));
    // An unreadable and a corrupt file open nothing and lose no unsaved row.
    addSamples(3);
    WriteBytes(path("corrupt.cif"), "\x89TCIF\r\n\x1a garbage");
    for (const fs::path& bad : {path("missing.cif"), path("corrupt.cif")}) {
        openFile(bad);
        EXPECT_EQ(std::tuple(table->GetRowCount(), samples().size(), ui.messages.size()),
                  std::tuple(4, 3u, 0u));
    }
    // The opened file's samples replace the rows.
    openFile(path("first.cif"));
    EXPECT_EQ(std::tuple(ui.fileRequests.back().filter, ui.fileRequests.back().open),
              std::tuple(Filters::SampleOpen, true));
    ASSERT_EQ(std::tuple(table->GetRowCount(), samples().size()), std::tuple(3, 2u));
    for (int r = 1; r <= 2; ++r) {
        const ClassifySample& s = *samples()[r - 1];
        EXPECT_EQ(std::tuple(cell(r, 0), cell(r, 1), table->GetItemBkColour(r, 2), cell(r, 3), cell(r, 6)),
                  std::tuple(std::to_wstring(s.m_index), s.GetName(), s.m_colour,
                             std::to_wstring(GetRValue(s.m_colour)), std::to_wstring(s.m_pixelCount)));
    }
    // A second Open is refused while the file is open.
    const size_t requests = ui.fileRequests.size();
    window->SendCommand(D::ID_SAMPLE_OPEN);
    EXPECT_EQ(ui.Shown(), std::vector<std::wstring>{L"请关闭当前打开的文件！ | 提示"});
    EXPECT_EQ(ui.messages[0].type, MB_OK);
    // Save after Open writes back to the opened file without a dialog.
    table->SetItemText(2, 1, L"renamed");
    window->SendCommand(D::ID_SAMPLE_SAVE);
    EXPECT_EQ(ui.fileRequests.size(), requests);
    EXPECT_EQ(readBack(path("first.cif")).m_samples[1]->GetName(), L"renamed");
}

TEST_F(SampleEditorTest, CloseAndTheCloseBoxAskAboutChangesAndHonourEachAnswer) {
    window->close(); // unmodified: closes at once
    EXPECT_TRUE(closed() && ui.messages.empty());
    // Each answer, and the save dialog's when one is asked ("" cancels it):
    // whether the samples (and the window) stay.
    const std::tuple<int, const char*, bool> answers[] = {{IDCANCEL, nullptr, true},
                                                          {IDYES, "", true},
                                                          {IDYES, "close-yes.cif", false},
                                                          {IDNO, nullptr, false}};
    for (bool closeBox : {true, false})
        for (const auto& [answer, saveTo, stays] : answers) {
            if (window.isNull())
                reopen();
            addSamples(1);
            ui.messageAnswers.push_back(answer);
            if (saveTo && *saveTo)
                ui.ChooseFileAnswer(WPath(path(saveTo)));
            else if (saveTo)
                ui.CancelFileAnswer();
            const size_t requests = ui.fileRequests.size(), messages = ui.messages.size();
            const int rows = table->GetRowCount();
            if (closeBox)
                window->close();
            else
                window->SendCommand(D::ID_SAMPLE_CLOSE);
            QApplication::processEvents();
            EXPECT_EQ(std::tuple(ui.messages.size(), ui.Shown().back(), ui.fileRequests.size()),
                      std::tuple(messages + 1, std::wstring(L"AOI样区已经修改是否保存？ | "),
                                 requests + (saveTo ? 1 : 0)))
                << closeBox << " " << answer;
            if (closeBox)
                EXPECT_TRUE(stays ? !window.isNull() && window->isVisible() : closed()) << answer;
            else
                EXPECT_EQ(table->GetRowCount(), stays ? rows : 1) << answer;
        }
    EXPECT_EQ(ui.messages.back().type, unsigned(MB_YESNOCANCEL | MB_ICONINFORMATION));
    EXPECT_TRUE(fs::exists(path("close-yes.cif")));
    // Save after Close writes to the last file; so does Yes in the close box, without a dialog.
    addSamples(1);
    table->SetItemText(1, 1, L"late name");
    const size_t requests = ui.fileRequests.size();
    window->SendCommand(D::ID_SAMPLE_SAVE);
    EXPECT_EQ(readBack(path("close-yes.cif")).m_samples.at(0)->GetName(), L"late name");
    ui.messageAnswers.push_back(IDYES);
    table->SetItemText(1, 1, L"later name");
    addSamples(1);
    window->close();
    EXPECT_EQ(ui.fileRequests.size(), requests);
    const CClassifySampleFile file = readBack(path("close-yes.cif"));
    ASSERT_EQ(file.m_samples.size(), 2u);
    EXPECT_EQ(file.m_samples[0]->GetName(), L"later name");
    EXPECT_TRUE(closed());
}

TEST_F(SampleEditorTest, MergeAppendsTheUnionOfTheSelectedSamplesAndLogsAnEmptySelection) {
    addSamples(4);
    saveAs("merge.cif");
    command(D::ID_SAMPLE_MERGE, {}); // nothing selected: nothing happens
    EXPECT_EQ(table->GetRowCount(), 5);
    command(D::ID_SAMPLE_MERGE, {2, 4});
    ASSERT_EQ(std::tuple(table->GetRowCount(), samples().size()), std::tuple(6, 5u));
    // Against the statistics of the pixels under both rectangles, straight from the formula.
    const ClassifySample& merged = *samples()[4];
    expectSameStatistics(merged, rectStats({{2, 1, 4, 3}, {6, 3, 8, 5}}));
    EXPECT_EQ(cell(5, 0) + L" " + cell(5, 1) + L" " + cell(5, 6), L"5 Class5 8");
    EXPECT_EQ(std::tuple(merged.m_pixelCount, merged.m_shapes.size(), window->SampleFile().m_sampleCount),
              std::tuple(8, 2u, 5));
    const COLORREF colour = MergeSamples({samples()[1], samples()[3]}, kBands).colour;
    EXPECT_EQ(std::tuple(merged.m_colour, table->GetItemBkColour(5, 2), cell(5, 3)),
              std::tuple(colour, colour, std::to_wstring(GetRValue(colour))));
    EXPECT_TRUE(table->IsCellEditable(5, 1) && !table->IsCellEditable(5, 6));
    window->SendCommand(D::ID_SAMPLE_SAVE); // the merged sample saves like the others
    window->DestroyWindow();
    EXPECT_TRUE(closed());
    // Opened in a fresh window, which holds no raster: the file's band count serves.
    reopen();
    openFile(path("merge.cif"));
    ASSERT_EQ(std::tuple(window->HoldsRaster(), samples().size()), std::tuple(false, 5u));
    EXPECT_EQ(samples()[4]->GetName(), L"Class5");
    command(D::ID_SAMPLE_MERGE, {1, 2});
    ASSERT_EQ(table->GetRowCount(), 7);
    EXPECT_EQ(std::tuple(cell(6, 1), samples()[5]->m_pixelCount), std::tuple(std::wstring(L"Class6"), 8));
    // Samples without pixels: the log line, and no new row.
    const fs::path logPath = path("merge.log");
    CLogger logger(logPath.string());
    CLogger* previous = std::exchange(CLog::m_pLogger, &logger);
    samples()[0]->m_pixelCount = samples()[1]->m_pixelCount = 0;
    command(D::ID_SAMPLE_MERGE, {1, 2});
    CLog::m_pLogger = previous;
    EXPECT_EQ(table->GetRowCount(), 7);
    // The log line: time, level, source file and line, function, message.
    EXPECT_TRUE(std::regex_search(
        ReadBytes(logPath),
        std::regex(R"(\d \[ERROR\] \w+:\d+ CAoiEditorDlg::OnMerge: Merge Covariant Failed!\n$)")))
        << ReadBytes(logPath);
}

TEST_F(SampleEditorTest, FlagTable) {
    const auto save = [&] { window->SendCommand(D::ID_SAMPLE_SAVE); };
    const auto merge = [&] { command(D::ID_SAMPLE_MERGE, {1, 2}); };
    const std::tuple<const char*, std::function<void()>, Flags> steps[] = {
        {"add", [&] { addSamples(2); }, {true, false, false}},
        {"save cancelled", [&] { ui.CancelFileAnswer(), save(); }, {true, false, false}},
        {"save written", [&] { saveAs("flags.cif"); }, {false, true, false}},
        {"colour",
         [&] { ui.colourAnswers.push_back(RGB(1, 2, 3)), table->CellDoubleClicked(1, 2); },
         {true, true, false}},
        {"save again", save, {false, true, false}},
        {"add more", [&] { addSamples(2); }, {true, true, false}},
        {"delete", [&] { command(D::ID_SAMPLE_DELETE, {4}); }, {true, false, false}},
        {"save", save, {false, true, false}},
        {"merge", merge, {true, false, false}},
        {"save", save, {false, true, false}},
        {"clear", [&] { window->SendCommand(D::ID_SAMPLE_CLEAR); }, {true, false, false}},
        {"open failed", [&] { openFile(path("nothing-here.cif")); }, {false, false, false}},
        {"open", [&] { openFile(path("flags.cif")); }, {false, false, true}},
        {"save to the opened file", save, {false, true, true}},
        {"add while open", [&] { addSamples(1); }, {true, true, true}},
        {"close, no",
         [&] { ui.messageAnswers.push_back(IDNO), window->SendCommand(D::ID_SAMPLE_CLOSE); },
         {false, false, false}},
    };
    EXPECT_EQ(flags(), (Flags{false, false, false}));
    for (const auto& [what, run, after] : steps) {
        run();
        EXPECT_EQ(flags(), after) << what;
    }
}

namespace {

// A pixel rectangle of the scene and its class.
struct Polygon {
    int c0, r0, c1, r1;
    const char* classValue;
};

// A shapefile of the rectangles with an integer class field, written in EPSG
// `epsg` (the rings are reprojected from the raster's UTM zone).
fs::path writePolygons(const std::string& name, const std::vector<Polygon>& polygons, int epsg = 32650,
                       const char* field = "cls") {
    std::vector<std::vector<std::string>> features;
    for (const Polygon& p : polygons)
        features.push_back({RectangleWkt(kX0 + p.c0, kY0 - p.r0, kX0 + p.c1, kY0 - p.r1), p.classValue});
    return WriteLayer(ScratchDir() / name, {{field, OFTInteger}}, features, epsg, 32650);
}

std::string str(const fs::path& p) {
    return p.string();
}
const std::string scene() {
    return CommonFun::U2M(sceneRaster());
}

} // namespace

TEST(SamplesCommand, BuildsOneSignaturePerClassFromReprojectedPolygonsAndRefusesBadInput) {
    const fs::path shp = writePolygons( // reprojected back to UTM
        "classes-wgs84.shp",
        {{0, 0, 4, 4, "2"}, {10, 10, 13, 12, "1"}, {5, 0, 7, 3, "2"}, {30, 30, 40, 40, "3"}}, 4326);
    const fs::path out = ScratchDir() / "built.cif";
    const CliRun r =
        RunTessera({"samples", scene(), str(shp), str(out), "--class-field", "cls", "--colours", "bands"});
    ASSERT_EQ(r.code, 0) << r.err;
    const CClassifySampleFile file = readBack(out);
    EXPECT_EQ(std::tuple(file.GetFileTag(), file.m_bandCount),
              std::tuple(std::wstring(L"ZQ_RS_SampleFileTag"), kBands));
    ASSERT_EQ(file.m_samples.size(), 2u); // class 3 lies outside the raster
    EXPECT_EQ(std::tuple(file.m_samples[0]->GetName(), file.m_samples[1]->GetName(),
                         file.m_samples[0]->m_pixelCount),
              std::tuple(std::wstring(L"1"), std::wstring(L"2"), 6));
    // Class 2 is the union of its two rectangles.
    const ClassifySample reference = rectStats({{0, 0, 4, 4}, {5, 0, 7, 3}});
    const ClassifySample& two = *file.m_samples[1];
    EXPECT_EQ(std::tuple(two.m_pixelCount, two.m_colour, two.m_shapes.size(), two.m_index),
              std::tuple(22, expectedColour(reference), 2u, 2));
    expectNear(two.m_mean, reference.m_mean, 1e-9);
    expectNear(two.m_covariance, reference.m_covariance, 1e-7);
    // --no-merge keeps one sample per polygon.
    const fs::path each = ScratchDir() / "each.cif";
    ASSERT_EQ(
        RunTessera({"samples", scene(), str(shp), str(each), "--class-field", "cls", "--no-merge"}).code, 0);
    const CClassifySampleFile perPolygon = readBack(each);
    ASSERT_EQ(perPolygon.m_samples.size(), 3u);
    EXPECT_EQ(std::tuple(perPolygon.m_samples[1]->GetName(), perPolygon.m_samples[1]->m_pixelCount),
              std::tuple(std::wstring(L"2_1"), 16));
    // Bad input: one line and no output.
    const std::string in = scene();
    const fs::path refused = ScratchDir() / "refused.cif";
    const fs::path good = writePolygons("good.shp", {{0, 0, 2, 2, "1"}});
    const fs::path otherField = writePolygons("other-field.shp", {{0, 0, 2, 2, "1"}}, 32650, "kind");
    const fs::path outside = writePolygons("outside.shp", {{100, 100, 110, 110, "1"}});
    ExpectRefusals(
        {{{"samples", in, str(otherField), str(refused), "--class-field", "cls"}, 1, "has no field 'cls'"},
         {{"samples", in, str(outside), str(refused), "--class-field", "cls"}, 1, "lies over the raster"},
         {{"samples", in, in, str(refused), "--class-field", "cls"}, 1, "is not a vector file"},
         {{"samples", str(good), str(good), str(refused), "--class-field", "cls"},
          1,
          "cannot open the raster"},
         {{"samples", in, str(good), str(refused)}, 2, "--class-field is required"},
         {{"samples", in, str(good), "--class-field", "cls"}, 2, "expects IN POLYGONS OUT"},
         {{"samples", "--list", "a.cif", "--check", "b.cif"}, 2, "exclude each other"},
         {{"samples", "--list", str(ScratchDir() / "none.cif")}, 1, "cannot read the sample file"}},
        ScratchDir());
}

TEST_F(SampleEditorTest, EditorFilesAndCommandFilesAreTheSame) {
    // Saved by the editor, listed by the command with the same numbers.
    addSamples(2);
    const fs::path saved = saveAs("listed.cif");
    const CliRun list = RunTessera({"samples", "--list", str(saved), "--json"});
    ASSERT_EQ(list.code, 0) << list.err;
    // The whole object, rebuilt from the window's samples; the numbers read
    // back as the same doubles.
    using Json = nlohmann::ordered_json;
    Json samplesJson = Json::array();
    for (size_t i = 0; i < 2; ++i) {
        const ClassifySample& s = *samples()[i];
        samplesJson.push_back(
            {{"name", "C" + std::to_string(i + 1)},
             {"colour", {GetRValue(s.m_colour), GetGValue(s.m_colour), GetBValue(s.m_colour)}},
             {"pixels", 4},
             {"min", s.m_min},
             {"max", s.m_max},
             {"mean", s.m_mean},
             {"covariance", s.m_covariance}});
    }
    const Json expected = {{"bands", 4}, {"width", 20}, {"height", 20}, {"samples", samplesJson}};
    EXPECT_EQ(Json::parse(list.out), expected) << list.out;
    const CliRun text = RunTessera({"samples", "--list", str(saved)});
    ASSERT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("sample 2: C2"), std::string::npos) << text.out;
    // Made by the command, opened by the editor: one row per class.
    window->SendCommand(D::ID_SAMPLE_CLEAR);
    const fs::path shp = writePolygons(
        "three.shp", {{0, 0, 2, 2, "7"}, {4, 4, 6, 6, "8"}, {8, 8, 9, 9, "7"}, {12, 0, 14, 3, "9"}});
    const fs::path made = ScratchDir() / "made.cif";
    ASSERT_EQ(RunTessera({"samples", scene(), str(shp), str(made), "--class-field", "cls"}).code, 0);
    openFile(made);
    ASSERT_EQ(table->GetRowCount(), 4);
    EXPECT_EQ(std::vector<std::wstring>({cell(1, 1), cell(1, 6), cell(2, 1), cell(3, 1), cell(3, 6)}),
              std::vector<std::wstring>({L"7", L"5", L"8", L"9", L"6"}));
}

TEST(SamplesCommand, CheckReportsProblemsAndSeparability) {
    const fs::path path = ScratchDir() / "check.cif";
    WriteSamples(path, 2,
                 {NewSample(L"water", 2, {10, 20}, {4, 0, 0, 9}, 50),
                  NewSample(L"forest", 2, {13, 26}, {1, 0, 0, 16}, 50),
                  // a duplicate name, fewer pixels than bands + 1
                  NewSample(L"water", 2, {500, 500}, {1, 0, 0, 1}, 2), NewSample(L"empty", 2, {}, {}, 0)});
    const CliRun text = RunTessera({"samples", "--check", str(path)});
    EXPECT_EQ(text.code, 1);
    for (const char* problem :
         {"sample 3 'water' has 2 pixels, fewer than bands + 1 (3)",
          "sample 3 'water' has the name of sample 1", "sample 4 'empty' has no pixels"})
        EXPECT_NE(text.out.find(problem), std::string::npos) << text.out;

    const CliRun json = RunTessera({"samples", "--check", str(path), "--json"});
    EXPECT_EQ(json.code, 1);
    const double b = bhattacharyya1(10, 4, 13, 1) + bhattacharyya1(20, 9, 26, 16);
    const double d = divergence1(10, 4, 13, 1) + divergence1(20, 9, 26, 16);
    const nlohmann::json checked = nlohmann::json::parse(json.out);
    const nlohmann::json& pairs = checked["separability"]; // (1, 2), (1, 3), (1, 4), ...
    ASSERT_EQ(pairs.size(), 6u) << json.out;
    EXPECT_EQ(std::tuple(pairs[0]["a"], pairs[0]["b"]), std::tuple(1, 2));
    EXPECT_NEAR(pairs[0]["jm"].get<double>(), 2 * (1 - std::exp(-b)), 1e-6) << json.out;
    EXPECT_NEAR(pairs[0]["td"].get<double>(), 2000 * (1 - std::exp(-d / 8)), 1e-3) << json.out;
    EXPECT_EQ(pairs[2], nlohmann::json::parse(R"({"a": 1, "b": 4, "jm": null, "td": null})"));
    const nlohmann::json& problems = checked["problems"];
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [](const nlohmann::json& p) {
        return p["kind"] == "duplicate-name";
    })) << json.out;
    // A clean file: exit 0.
    WriteSamples(
        path, 2,
        {NewSample(L"a", 2, {10, 20}, {4, 0, 0, 9}, 50), NewSample(L"b", 2, {900, 20}, {4, 0, 0, 9}, 50)});
    const CliRun clean = RunTessera({"samples", "--check", str(path)});
    EXPECT_EQ(clean.code, 0) << clean.out;
    EXPECT_NE(clean.out.find("no problems found"), std::string::npos);
    EXPECT_NE(clean.out.find("2.0000"), std::string::npos) << clean.out;
}
