// Sample editor: the merge arithmetic against statistics of the union of the
// pixels, the colour rule, the separability measures against worked values,
// the window driven through the scripted host, and `tessera samples`.
#include "cli/subcommands.h"
#include "common/filters.h"
#include "engine/classifysamplefile.h"
#include "engine/rastersource.h"
#include "entry/tesserauilib.h"
#include "base/commonfun.h"
#include "platform/gridctrl.h"
#include "base/log.h"
#include "samples/CAoiEditorDlg.h"
#include "processing/samplestats.h"
#include "processing/separability.h"
#include "support/scratchdir.h"
#include "support/scriptedhost.h"
#include "support/scripteduiservices.h"
#include "support/windowharness.h"

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using D = CAoiEditorDlg;
using namespace SampleStats;

namespace {

using Pixels = std::vector<std::vector<double>>; // one vector of k band values per pixel

// Statistics computed straight from the pixels: divisor n.
ClassifySample direct(const Pixels& pixels, int k, COLORREF colour = 0) {
    ClassifySample s;
    const double n = static_cast<double>(pixels.size());
    s.m_pixelCount = static_cast<int>(pixels.size());
    s.m_bandCount = k;
    s.m_colour = colour;
    s.m_min.assign(k, INFINITY);
    s.m_max.assign(k, -INFINITY);
    s.m_mean.assign(k, 0.0);
    for (const auto& p : pixels)
        for (int b = 0; b < k; ++b) {
            s.m_min[b] = std::min(s.m_min[b], p[b]);
            s.m_max[b] = std::max(s.m_max[b], p[b]);
            s.m_mean[b] += p[b] / n;
        }
    s.m_covariance.assign(static_cast<size_t>(k) * k, 0.0);
    for (const auto& p : pixels)
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j)
                s.m_covariance[i * k + j] += (p[i] - s.m_mean[i]) * (p[j] - s.m_mean[j]) / n;
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

std::vector<const ClassifySample*> pointers(const std::vector<ClassifySample>& samples) {
    std::vector<const ClassifySample*> out;
    for (const auto& s : samples)
        out.push_back(&s);
    return out;
}

} // namespace

// ---- Merge arithmetic ----------------------------------------------------------

TEST(SampleMerge, EqualsTheStatisticsOfTheUnionOfThePixels) {
    std::mt19937 rng(7);
    const int k = 4;
    for (const std::vector<int>& sizes : {std::vector<int>{17, 250}, std::vector<int>{3, 40, 1000}}) {
        std::vector<Pixels> parts;
        Pixels all;
        std::vector<ClassifySample> samples;
        for (size_t i = 0; i < sizes.size(); ++i) {
            parts.push_back(randomPixels(rng, sizes[i], k, 100.0 * static_cast<double>(i)));
            all.insert(all.end(), parts.back().begin(), parts.back().end());
            samples.push_back(direct(parts.back(), k));
        }
        const ClassifySample reference = direct(all, k);
        const MergedStatistics merged = MergeSamples(pointers(samples), k);
        ASSERT_EQ(merged.status, MergeStatus::Ok);
        EXPECT_EQ(merged.pixelCount, static_cast<std::int64_t>(all.size()));
        expectNear(merged.minimum, reference.m_min, 0);
        expectNear(merged.maximum, reference.m_max, 0);
        expectNear(merged.mean, reference.m_mean, 1e-12);
        expectNear(merged.covariance, reference.m_covariance, 1e-9);
        EXPECT_NEAR(merged.covariance[1 * k + 1], 0.0, 1e-9); // the constant band stays without variance
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j)
                EXPECT_DOUBLE_EQ(merged.covariance[i * k + j], merged.covariance[j * k + i]);

        // The order of the samples does not change the result beyond rounding.
        std::vector<ClassifySample> reversed(samples.rbegin(), samples.rend());
        const MergedStatistics other = MergeSamples(pointers(reversed), k);
        expectNear(other.mean, merged.mean, 1e-12);
        expectNear(other.covariance, merged.covariance, 1e-9);
    }
}

TEST(SampleMerge, WorkedExampleAndColour) {
    // One band: 100 pixels of mean 10 and variance 4, 300 of mean 20 and variance 9.
    ClassifySample a, b;
    a.m_pixelCount = 100, b.m_pixelCount = 300;
    a.m_min = {5}, a.m_max = {15}, a.m_mean = {10}, a.m_covariance = {4};
    b.m_min = {12}, b.m_max = {30}, b.m_mean = {20}, b.m_covariance = {9};
    a.m_colour = RGB(255, 0, 0), b.m_colour = RGB(0, 0, 255);
    MergedStatistics m = MergeSamples({&a, &b}, 1);
    EXPECT_DOUBLE_EQ(m.mean[0], 17.5);
    EXPECT_NEAR(m.covariance[0], 26.5, 1e-12);
    EXPECT_EQ(m.minimum[0], 5);
    EXPECT_EQ(m.maximum[0], 30);
    // Colour weighted by pixels, truncated: red 1 pixel, blue 3 pixels -> (63, 0, 191).
    a.m_pixelCount = 1, b.m_pixelCount = 3;
    m = MergeSamples({&a, &b}, 1);
    EXPECT_EQ(m.colour, RGB(63, 0, 191));

    // A single sample gives itself back.
    m = MergeSamples({&b}, 1);
    EXPECT_EQ(m.pixelCount, 3);
    EXPECT_EQ(m.colour, b.m_colour);
    EXPECT_DOUBLE_EQ(m.mean[0], 20);
    EXPECT_NEAR(m.covariance[0], 9, 1e-12);
}

TEST(SampleMerge, RefusesWhatItCannotMerge) {
    ClassifySample a, empty;
    a.m_pixelCount = 4;
    a.m_min = {1, 2}, a.m_max = {3, 4}, a.m_mean = {2, 3}, a.m_covariance = {1, 0, 0, 1};
    EXPECT_EQ(MergeSamples({}, 2).status, MergeStatus::NothingSelected);
    EXPECT_EQ(MergeSamples({&a}, 0).status, MergeStatus::NothingSelected);
    EXPECT_EQ(MergeSamples({&a}, 3).status, MergeStatus::TooFewValues); // never reads past the values
    empty.m_min = {0, 0}, empty.m_max = {0, 0}, empty.m_mean = {0, 0}, empty.m_covariance = {0, 0, 0, 0};
    const MergedStatistics none = MergeSamples({&empty, &empty}, 2);
    EXPECT_EQ(none.status, MergeStatus::NoPixels);
    EXPECT_TRUE(none.covariance.empty());
    // A NaN minimum neither replaces nor is replaced.
    ClassifySample nan = a;
    nan.m_min[0] = NAN;
    EXPECT_TRUE(std::isnan(MergeSamples({&nan, &a}, 2).minimum[0]));
    EXPECT_EQ(MergeSamples({&a, &nan}, 2).minimum[0], 1);
}

TEST(SampleMerge, MergedSampleCopiesTheShapesInOrder) {
    ClassifySample a, b;
    for (ClassifySample* s : {&a, &b}) {
        s->m_pixelCount = 2;
        s->m_min = s->m_max = s->m_mean = {1};
        s->m_covariance = {0};
    }
    a.m_shapes.push_back(new CDrawShape(DRAWSHAPE_POINT, {{1, 1}}));
    b.m_shapes.push_back(new CDrawShape(DRAWSHAPE_POINT, {{2, 2}}));
    b.m_shapes.push_back(new CDrawShape(DRAWSHAPE_POINT, {{3, 3}}));
    const std::vector<const ClassifySample*> sources{&a, &b};
    std::unique_ptr<ClassifySample> merged(NewMergedSample(MergeSamples(sources, 1), sources, 1));
    ASSERT_EQ(merged->m_shapes.size(), 3u);
    EXPECT_EQ(merged->m_shapeCount, 3);
    EXPECT_EQ(merged->m_shapes[2]->GetVertices()[0].x, 3);
    EXPECT_NE(merged->m_shapes[0], a.m_shapes[0]); // owned copies
    EXPECT_EQ(merged->m_pixelCount, 4);
    EXPECT_EQ(merged->m_bandCount, 1);
}

TEST(SampleColour, ComponentIsTheTruncatedPositionInTheBandRange) {
    EXPECT_EQ(ColourComponent(100, 0, 100), 255);
    EXPECT_EQ(ColourComponent(50, 0, 100), 127); // 127.5 truncated
    EXPECT_EQ(ColourComponent(0, 0, 100), 0);
    EXPECT_EQ(ColourComponent(7, 7, 7), 0); // no range
    EXPECT_EQ(ColourComponent(NAN, 0, 1), 0);
    EXPECT_EQ(ComposeColour(300, 1, 2), RGB(44, 1, 2)); // masked to 8 bits
}

// ---- Separability ------------------------------------------------------------------

namespace {

// One band: Bhattacharyya distance and divergence worked from their scalar forms.
double bhattacharyya1(double m1, double v1, double m2, double v2) {
    return (m1 - m2) * (m1 - m2) / (4.0 * (v1 + v2)) + 0.5 * std::log((v1 + v2) / (2.0 * std::sqrt(v1 * v2)));
}
double divergence1(double m1, double v1, double m2, double v2) {
    return 0.5 * (v1 - v2) * (1.0 / v2 - 1.0 / v1) + 0.5 * (1.0 / v1 + 1.0 / v2) * (m1 - m2) * (m1 - m2);
}

} // namespace

TEST(Separability, MatchesWorkedValues) {
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
}

TEST(Separability, SingularCovarianceHasNoValue) {
    const std::vector<double> mean{1, 2}, singular{4, 4, 4, 4}, zero{0, 0, 0, 9}, good{1, 0, 0, 1};
    EXPECT_FALSE(Separability::Measure({&mean, &singular}, {&mean, &good}, 2).jeffriesMatusita);
    EXPECT_FALSE(Separability::Measure({&mean, &good}, {&mean, &zero}, 2).transformedDivergence);
    EXPECT_FALSE(Separability::Measure({&mean, &good}, {&mean, &good}, 3).jeffriesMatusita); // too few values
    EXPECT_FALSE(Separability::PositiveDefinite(singular, 2));
    EXPECT_TRUE(Separability::PositiveDefinite(good, 2));
}

// ---- A small raster and the scripted host ------------------------------------------

namespace {

constexpr int kW = 20, kH = 20, kBands = 4;
constexpr double kX0 = 500000, kY0 = 4000000; // top-left corner; pixels of 1 by 1

double pixelValue(int band, int c, int r) {
    return band * 1000.0 + c + 20.0 * r;
} // band from 1

// A 4-band Float32 GeoTIFF in UTM zone 50N.
std::wstring sceneRaster() {
    static const fs::path path = [] {
        GDALAllRegister();
        const fs::path p = ScratchDir() / "scene.tif";
        std::unique_ptr<GDALDataset> ds(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
            p.string().c_str(), kW, kH, kBands, GDT_Float32, nullptr));
        double gt[6] = {kX0, 1, 0, kY0, 0, -1};
        ds->SetGeoTransform(gt);
        OGRSpatialReference srs;
        srs.importFromEPSG(32650);
        ds->SetSpatialRef(&srs);
        std::vector<double> row(kW);
        for (int b = 1; b <= kBands; ++b)
            for (int r = 0; r < kH; ++r) {
                for (int c = 0; c < kW; ++c)
                    row[c] = pixelValue(b, c, r);
                EXPECT_EQ(ds->GetRasterBand(b)->RasterIO(GF_Write, 0, r, kW, 1, row.data(), kW, 1,
                                                         GDT_Float64, 0, 0, nullptr),
                          CE_None);
            }
        return p;
    }();
    return CommonFun::M2U(path.string());
}

// A rectangle over columns c0..c1-1 and rows r0..r1-1, in ground coordinates.
std::unique_ptr<CDrawShape> rect(int c0, int r0, int c1, int r1) {
    return std::make_unique<CDrawShape>(DRAWSHAPE_RECTANGLE,
                                        std::vector<CPoint2D>{{kX0 + c0, kY0 - r0}, {kX0 + c1, kY0 - r1}});
}

// The statistics of the same rectangle, straight from the pixel formula.
ClassifySample rectStats(int c0, int r0, int c1, int r1) {
    Pixels pixels;
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

class VectorSource : public CGISDataSource {
public:
    GISDataSourceType GetDataSourceType() const override { return GIS_DATASOURCE_VECTOR; }
    std::wstring GetUnitName(bool) const override { return L"metre"; }
};

struct CommandRun {
    int code;
    std::string out, err;
};

CommandRun tessera(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunCommandLine(args, out, err);
    return {code, out.str(), err.str()};
}

class SampleEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(raster.Open(sceneRaster()), GIS_OK);
        window = OpenNewWindow<D>([this] { CTesseraUILib::ShowAOIEditorDlg(&host); });
        ASSERT_FALSE(window.isNull());
        table = window->Table();
        ASSERT_NE(table, nullptr);
    }
    void TearDown() override {
        if (!window.isNull())
            window->DestroyWindow();
        EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
    }

    void useRaster() { host.activeSource = &raster; }
    void draw(std::unique_ptr<CDrawShape> shape) { host.drawnShapes.push_back(std::move(shape)); }
    void add() { window->SendCommand(D::ID_SAMPLE_ADD); }
    // Adds n samples of 2 x 2 pixels at different places.
    void addSamples(int n) {
        useRaster();
        host.drawnShapes.clear();
        for (int i = 0; i < n; ++i)
            draw(rect(2 * i, i, 2 * i + 2, i + 2));
        add();
        host.drawnShapes.clear();
    }
    void select(std::initializer_list<int> rows) {
        table->clearSelection();
        for (int r : rows)
            table->SelectRow(r);
    }
    bool menuEnabled(int id) {
        window->UpdateMenuStates();
        return window->MenuAction(id)->isEnabled();
    }
    const std::vector<ClassifySample*>& samples() const { return window->SampleFile().m_samples; }
    std::wstring cell(int r, int c) const { return table->GetItemText(r, c); }
    struct Flags {
        bool modified, saved, fileOpen;
        bool operator==(const Flags&) const = default;
    };
    Flags flags() const { return {window->IsModified(), window->IsSaved(), window->IsFileOpen()}; }
    fs::path path(const std::string& name) const { return ScratchDir() / name; }
    std::wstring wpath(const std::string& name) const { return CommonFun::M2U(path(name).string()); }
    // Saves through the dialog to a new file and returns its path.
    fs::path saveAs(const std::string& name) {
        ui.ChooseFileAnswer(wpath(name));
        window->SendCommand(D::ID_SAMPLE_SAVE);
        return path(name);
    }
    void open(const fs::path& file) {
        ui.ChooseFileAnswer(CommonFun::M2U(file.string()));
        window->SendCommand(D::ID_SAMPLE_OPEN);
    }

    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    ScriptedHost host;
    CRasterSource raster;
    QPointer<D> window;
    CGridCtrl* table = nullptr;
};

} // namespace

TEST_F(SampleEditorTest, OpensWithItsTitleMenuAndEmptyTable) {
    EXPECT_EQ(window->GetWindowText(), L"样本编辑器");
    EXPECT_EQ(window->TemplateId(), 6002);
    EXPECT_EQ(flags(), (Flags{false, false, false}));
    EXPECT_FALSE(window->HoldsRaster());
    EXPECT_EQ(table->GetRowCount(), 1);
    EXPECT_EQ(table->GetColumnCount(), 7);
    const wchar_t* headers[] = {L"序号", L"类名", L"分类颜色", L"红", L"绿", L"蓝", L"像素个数"};
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(cell(0, c), headers[c]);
        EXPECT_EQ(table->GetColumnWidth(c), 85) << c;
    }
    EXPECT_EQ(table->GetTextBkColor(), 0xE0FFFFu);
    EXPECT_TRUE(table->GetListMode());
    EXPECT_EQ(table->GetGridLines(), GVL_BOTH);
    const std::pair<int, const wchar_t*> items[] = {
        {D::ID_SAMPLE_OPEN, L"打开(&O)"},           {D::ID_SAMPLE_SAVE, L"保存(&S)"},
        {D::ID_SAMPLE_CLOSE, L"关闭(&C)"},          {D::ID_SAMPLE_ADD, L"添加(&A)"},
        {D::ID_SAMPLE_DELETE, L"删除(&D)\tCtrl+D"}, {D::ID_SAMPLE_MERGE, L"合并(&M)\tCtrl+M"},
        {D::ID_SAMPLE_CLEAR, L"清空(&C)"},          {D::ID_SAMPLE_HELP, L"帮助(&H)"}};
    for (const auto& [id, text] : items) {
        ASSERT_NE(window->MenuAction(id), nullptr) << id;
        EXPECT_EQ(window->MenuAction(id)->text().toStdWString(), text);
    }
    window->SendCommand(D::ID_SAMPLE_HELP);
    ASSERT_EQ(ui.helpTopics.size(), 1u);
    EXPECT_EQ(ui.helpTopics[0], std::make_pair(4, 3));
}

TEST_F(SampleEditorTest, TableFillsTheClientAreaAndFollowsResizing) {
    QWidget* client = table->parentWidget();
    auto check = [&] { EXPECT_EQ(table->geometry(), client->rect().adjusted(5, 5, -5, -5)); };
    check();
    window->resize(900, 700);
    QApplication::processEvents();
    EXPECT_GT(client->width(), 800);
    check();
    window->resize(400, 300);
    QApplication::processEvents();
    check();
}

TEST_F(SampleEditorTest, MenuStatesFollowTheActiveSourceAndTheRows) {
    EXPECT_FALSE(menuEnabled(D::ID_SAMPLE_ADD)); // no active layer
    EXPECT_FALSE(menuEnabled(D::ID_SAMPLE_SAVE));
    VectorSource vector;
    host.activeSource = &vector;
    EXPECT_FALSE(menuEnabled(D::ID_SAMPLE_ADD));
    useRaster();
    EXPECT_TRUE(menuEnabled(D::ID_SAMPLE_ADD));
    addSamples(1);
    EXPECT_TRUE(menuEnabled(D::ID_SAMPLE_SAVE));
    window->SendCommand(D::ID_SAMPLE_CLEAR);
    EXPECT_FALSE(menuEnabled(D::ID_SAMPLE_SAVE));
}

TEST_F(SampleEditorTest, AddWithoutARasterOrShapes) {
    draw(rect(0, 0, 2, 2));
    add(); // no active raster
    EXPECT_EQ(host.calls, std::vector<std::string>{"GetActiveDataSource"});
    VectorSource vector;
    host.activeSource = &vector;
    add();
    EXPECT_EQ(table->GetRowCount(), 1);
    EXPECT_EQ(flags(), (Flags{false, false, false}));

    host.drawnShapes.clear();
    useRaster();
    add(); // no shapes: only the modified flag
    EXPECT_EQ(table->GetRowCount(), 1);
    EXPECT_TRUE(samples().empty());
    EXPECT_EQ(flags(), (Flags{true, false, false}));
}

TEST_F(SampleEditorTest, AddTakesEveryShapeWithItsStatisticsAndColour) {
    useRaster();
    draw(rect(0, 0, 4, 4));
    draw(rect(10, 5, 15, 8));
    add();
    ASSERT_EQ(table->GetRowCount(), 3);
    ASSERT_EQ(samples().size(), 2u);
    EXPECT_TRUE(window->HoldsRaster());
    const ClassifySample expected[] = {rectStats(0, 0, 4, 4), rectStats(10, 5, 15, 8)};
    for (int r = 1; r <= 2; ++r) {
        const ClassifySample& s = *samples()[r - 1];
        const ClassifySample& e = expected[r - 1];
        EXPECT_EQ(cell(r, 0), std::to_wstring(r));
        EXPECT_EQ(cell(r, 1), L"C" + std::to_wstring(r));
        EXPECT_EQ(s.GetName(), L"C" + std::to_wstring(r));
        EXPECT_EQ(s.m_index, r);
        EXPECT_EQ(s.m_pixelCount, e.m_pixelCount);
        EXPECT_EQ(cell(r, 6), std::to_wstring(e.m_pixelCount));
        EXPECT_EQ(s.m_bandCount, kBands);
        expectNear(s.m_min, e.m_min, 0);
        expectNear(s.m_max, e.m_max, 0);
        expectNear(s.m_mean, e.m_mean, 1e-12);
        expectNear(s.m_covariance, e.m_covariance, 1e-9);
        EXPECT_EQ(s.m_shapeCount, 1);
        ASSERT_EQ(s.m_shapes.size(), 1u);
        EXPECT_NE(s.m_shapes[0], host.drawnShapes[r - 1].get()); // a copy
        EXPECT_EQ(s.m_marker3, 1);
        const COLORREF colour = expectedColour(e);
        EXPECT_EQ(s.m_colour, colour) << r;
        EXPECT_EQ(table->GetItemBkColour(r, 2), colour);
        EXPECT_EQ(cell(r, 3), std::to_wstring(GetRValue(colour)));
        EXPECT_EQ(cell(r, 4), std::to_wstring(GetGValue(colour)));
        EXPECT_EQ(cell(r, 5), std::to_wstring(GetBValue(colour)));
        EXPECT_TRUE(table->IsCellEditable(r, 1));
        for (int c = 2; c < 7; ++c)
            EXPECT_FALSE(table->IsCellEditable(r, c)) << c;
    }
    EXPECT_EQ(flags(), (Flags{true, false, false}));

    // Three more continue the numbering: rows 3, 4 and 5.
    host.drawnShapes.clear();
    for (int i = 0; i < 3; ++i)
        draw(rect(i, 10, i + 1, 11));
    add();
    ASSERT_EQ(table->GetRowCount(), 6);
    ASSERT_EQ(samples().size(), 5u);
    for (int r = 3; r <= 5; ++r) {
        EXPECT_EQ(cell(r, 1), L"C" + std::to_wstring(r));
        EXPECT_EQ(samples()[r - 1]->m_pixelCount, 1);
    }
}

TEST_F(SampleEditorTest, DoubleClickOnTheColourCellChangesTheColour) {
    addSamples(2);
    window->SendCommand(D::ID_SAMPLE_SAVE); // nothing chosen: stays modified
    ui.colourAnswers.push_back(std::nullopt);
    emit table->CellDoubleClicked(1, 2);
    EXPECT_EQ(ui.colourRequests.size(), 1u);
    EXPECT_EQ(ui.colourRequests[0], samples()[0]->m_colour);

    saveAs("colour.cif");
    ASSERT_EQ(flags(), (Flags{false, true, false}));
    emit table->CellDoubleClicked(1, 3); // another column: nothing
    emit table->CellDoubleClicked(0, 2); // the header: nothing
    EXPECT_EQ(ui.colourRequests.size(), 1u);
    ui.colourAnswers.push_back(RGB(10, 20, 30));
    emit table->CellDoubleClicked(2, 2);
    EXPECT_EQ(table->GetItemBkColour(2, 2), RGB(10, 20, 30));
    EXPECT_EQ(cell(2, 3), L"10");
    EXPECT_EQ(cell(2, 4), L"20");
    EXPECT_EQ(cell(2, 5), L"30");
    EXPECT_EQ(flags(), (Flags{true, true, false}));
    window->SendCommand(D::ID_SAMPLE_SAVE); // the sample's colour follows at the next save
    EXPECT_EQ(samples()[1]->m_colour, RGB(10, 20, 30));
}

TEST_F(SampleEditorTest, DeleteRemovesSelectedRowsAndTheirSamplesInStep) {
    addSamples(5);
    saveAs("delete.cif");
    std::vector<const ClassifySample*> kept{samples()[0], samples()[3]};
    select({2, 3, 5});
    window->SendCommand(D::ID_SAMPLE_DELETE);
    ASSERT_EQ(table->GetRowCount(), 3);
    ASSERT_EQ(samples().size(), 2u);
    EXPECT_EQ(samples()[0], kept[0]);
    EXPECT_EQ(samples()[1], kept[1]);
    EXPECT_EQ(cell(1, 1), L"C1");
    EXPECT_EQ(cell(2, 1), L"C4");
    EXPECT_EQ(cell(2, 0), L"4"); // numbers stay until saved and reopened
    EXPECT_EQ(flags(), (Flags{true, false, false}));

    // Nothing selected: nothing changes.
    window->SendCommand(D::ID_SAMPLE_SAVE);
    select({});
    window->SendCommand(D::ID_SAMPLE_DELETE);
    EXPECT_EQ(flags(), (Flags{false, true, false}));
    // Saved indices are renumbered.
    EXPECT_EQ(samples()[1]->m_index, 2);
}

TEST_F(SampleEditorTest, ClearEmptiesTableAndListAndTheNextAddStartsAtRowOne) {
    addSamples(3);
    saveAs("clear.cif");
    window->SendCommand(D::ID_SAMPLE_CLEAR);
    EXPECT_EQ(table->GetRowCount(), 1);
    EXPECT_EQ(cell(0, 1), L"类名");
    EXPECT_TRUE(samples().empty());
    EXPECT_EQ(flags(), (Flags{true, false, false}));
    addSamples(1);
    EXPECT_EQ(cell(1, 1), L"C1");
    EXPECT_EQ(samples().size(), 1u);
}

TEST_F(SampleEditorTest, SaveChoosesThePathOnceReplacesTheExtensionAndStamps) {
    addSamples(2);
    ui.CancelFileAnswer();
    window->SendCommand(D::ID_SAMPLE_SAVE);
    EXPECT_EQ(flags(), (Flags{true, false, false})); // cancelled: only saved cleared
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_FALSE(ui.fileRequests[0].open);
    EXPECT_EQ(ui.fileRequests[0].defaultExtension, L".cif");
    EXPECT_EQ(ui.fileRequests[0].filter, Filters::SampleSave);
    EXPECT_EQ(ui.fileRequests[0].flags, 6u);
    EXPECT_TRUE(ui.fileRequests[0].hostAware);

    table->SetItemText(1, 1, L"水体 water"); // renaming alone does not modify
    saveAs("first.txt");
    EXPECT_EQ(flags(), (Flags{false, true, false}));
    EXPECT_TRUE(fs::exists(path("first.cif")));
    EXPECT_FALSE(fs::exists(path("first.txt")));
    window->SendCommand(D::ID_SAMPLE_SAVE); // no second dialog
    EXPECT_EQ(ui.fileRequests.size(), 2u);

    CClassifySampleFile file;
    ASSERT_TRUE(file.ReadClassifySampleFile(wpath("first.cif"))) << file.GetLastError();
    EXPECT_EQ(file.GetFileTag(), L"ZQ_RS_SampleFileTag");
    EXPECT_EQ(file.m_version, 100);
    EXPECT_EQ(file.m_bandCount, kBands);
    EXPECT_EQ(file.m_width, kW);
    EXPECT_EQ(file.m_height, kH);
    EXPECT_EQ(file.m_xResolution, 1.0);
    EXPECT_EQ(file.m_yResolution, 1.0); // absolute value
    EXPECT_EQ(file.m_reservedInt, 0);
    ASSERT_EQ(file.m_samples.size(), 2u);
    EXPECT_EQ(file.m_samples[0]->GetName(), L"水体 water");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(file.m_samples[i]->m_index, i + 1);
        EXPECT_EQ(file.m_samples[i]->m_marker1, 1);
        EXPECT_EQ(file.m_samples[i]->m_marker2, 0);
        EXPECT_EQ(file.m_samples[i]->m_marker3, 1);
        EXPECT_TRUE(*file.m_samples[i] == *samples()[i]);
    }
}

TEST_F(SampleEditorTest, OpenFillsTheTableRefusesASecondFileAndKeepsRowsOnBadFiles) {
    addSamples(3);
    const fs::path saved = saveAs("opened.cif");
    window->SendCommand(D::ID_SAMPLE_CLOSE); // saved: no question
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(table->GetRowCount(), 1);

    // An unreadable and a corrupt file open nothing and lose no unsaved row.
    addSamples(2);
    std::ofstream(path("corrupt.cif"), std::ios::binary) << "\x89TCIF\r\n\x1a garbage";
    for (const fs::path& bad : {path("missing.cif"), path("corrupt.cif")}) {
        open(bad);
        EXPECT_EQ(table->GetRowCount(), 3);
        EXPECT_EQ(samples().size(), 2u);
        EXPECT_EQ(flags(), (Flags{false, false, false}));
        EXPECT_TRUE(ui.messages.empty());
    }

    open(saved);
    EXPECT_EQ(ui.fileRequests.back().filter, Filters::SampleOpen);
    EXPECT_TRUE(ui.fileRequests.back().open);
    EXPECT_EQ(flags(), (Flags{false, false, true}));
    ASSERT_EQ(table->GetRowCount(), 4);
    ASSERT_EQ(samples().size(), 3u);
    for (int r = 1; r <= 3; ++r) {
        const ClassifySample& s = *samples()[r - 1];
        EXPECT_EQ(cell(r, 0), std::to_wstring(s.m_index));
        EXPECT_EQ(cell(r, 1), s.GetName());
        EXPECT_EQ(table->GetItemBkColour(r, 2), s.m_colour);
        EXPECT_EQ(cell(r, 3), std::to_wstring(GetRValue(s.m_colour)));
        EXPECT_EQ(cell(r, 6), std::to_wstring(s.m_pixelCount));
    }

    // A second Open is refused while the file is open.
    const size_t requests = ui.fileRequests.size();
    window->SendCommand(D::ID_SAMPLE_OPEN);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"请关闭当前打开的文件！");
    EXPECT_EQ(ui.messages[0].caption, L"提示");
    EXPECT_EQ(ui.messages[0].type, MB_OK);
    EXPECT_EQ(ui.fileRequests.size(), requests);

    // Save after Open writes back to the opened file without a dialog.
    table->SetItemText(2, 1, L"renamed");
    window->SendCommand(D::ID_SAMPLE_SAVE);
    EXPECT_EQ(ui.fileRequests.size(), requests);
    CClassifySampleFile file;
    ASSERT_TRUE(file.ReadClassifySampleFile(CommonFun::M2U(saved.string())));
    EXPECT_EQ(file.m_samples[1]->GetName(), L"renamed");
}

TEST_F(SampleEditorTest, CloseAsksAboutChangesAndHonoursEachAnswer) {
    addSamples(2);
    ui.messageAnswers.push_back(IDCANCEL);
    window->SendCommand(D::ID_SAMPLE_CLOSE);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"AOI样区已经修改是否保存？");
    EXPECT_EQ(ui.messages[0].caption, L"");
    EXPECT_EQ(ui.messages[0].type, unsigned(MB_YESNOCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(table->GetRowCount(), 3); // Cancel: nothing changes
    EXPECT_EQ(flags(), (Flags{true, false, false}));

    // Yes with a cancelled save dialog: stops.
    ui.messageAnswers.push_back(IDYES);
    ui.CancelFileAnswer();
    window->SendCommand(D::ID_SAMPLE_CLOSE);
    EXPECT_EQ(table->GetRowCount(), 3);
    // Yes and a path: saved, then closed.
    ui.messageAnswers.push_back(IDYES);
    ui.ChooseFileAnswer(wpath("close-yes.cif"));
    window->SendCommand(D::ID_SAMPLE_CLOSE);
    EXPECT_TRUE(fs::exists(path("close-yes.cif")));
    EXPECT_EQ(table->GetRowCount(), 1);
    EXPECT_TRUE(samples().empty());
    EXPECT_EQ(flags(), (Flags{false, false, false}));

    // No: closed without saving. Save after Close still writes to the last file.
    addSamples(1);
    ui.messageAnswers.push_back(IDNO);
    window->SendCommand(D::ID_SAMPLE_CLOSE);
    EXPECT_EQ(table->GetRowCount(), 1);
    EXPECT_EQ(ui.messages.size(), 4u);
    addSamples(1);
    const size_t requests = ui.fileRequests.size();
    window->SendCommand(D::ID_SAMPLE_SAVE);
    EXPECT_EQ(ui.fileRequests.size(), requests);
}

TEST_F(SampleEditorTest, WindowCloseAsksWhenModified) {
    window->close(); // unmodified: closes at once
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SampleEditorTest, WindowCloseYesWithACancelledSaveDialogStaysOpen) {
    addSamples(1);
    ui.messageAnswers.push_back(IDCANCEL);
    window->close();
    EXPECT_TRUE(window->isVisible());
    ui.messageAnswers.push_back(IDYES);
    ui.CancelFileAnswer();
    window->close();
    QApplication::processEvents();
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(ui.messages.size(), 2u);

    // Yes with a chosen path: written, and the window closes.
    ui.messageAnswers.push_back(IDYES);
    ui.ChooseFileAnswer(wpath("window-close.cif"));
    window->close();
    EXPECT_TRUE(fs::exists(path("window-close.cif")));
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
}

TEST_F(SampleEditorTest, WindowCloseYesWritesToTheKnownPathWithoutADialog) {
    addSamples(1);
    saveAs("known.cif");
    table->SetItemText(1, 1, L"late name");
    addSamples(1); // modified again
    const size_t requests = ui.fileRequests.size();
    ui.messageAnswers.push_back(IDYES);
    window->close();
    EXPECT_EQ(ui.fileRequests.size(), requests);
    CClassifySampleFile file;
    ASSERT_TRUE(file.ReadClassifySampleFile(wpath("known.cif")));
    ASSERT_EQ(file.m_samples.size(), 2u);
    EXPECT_EQ(file.m_samples[0]->GetName(), L"late name");
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
}

TEST_F(SampleEditorTest, WindowCloseNoClosesWithoutWriting) {
    addSamples(1);
    ui.messageAnswers.push_back(IDNO);
    window->close();
    EXPECT_TRUE(ui.fileRequests.empty());
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
}

TEST_F(SampleEditorTest, MergeAppendsTheUnionOfTheSelectedSamples) {
    addSamples(4);
    saveAs("merge.cif");
    window->SendCommand(D::ID_SAMPLE_MERGE); // nothing selected: nothing happens
    EXPECT_EQ(table->GetRowCount(), 5);
    EXPECT_EQ(flags(), (Flags{false, true, false}));

    select({2, 4});
    window->SendCommand(D::ID_SAMPLE_MERGE);
    ASSERT_EQ(table->GetRowCount(), 6);
    ASSERT_EQ(samples().size(), 5u);
    EXPECT_EQ(cell(5, 0), L"5");
    EXPECT_EQ(cell(5, 1), L"Class5");
    // Against the statistics of the pixels under both rectangles, straight from the formula.
    Pixels pixels;
    for (auto [c0, r0] : {std::pair{2, 1}, std::pair{6, 3}})
        for (int r = r0; r < r0 + 2; ++r)
            for (int c = c0; c < c0 + 2; ++c) {
                std::vector<double> p;
                for (int b = 1; b <= kBands; ++b)
                    p.push_back(pixelValue(b, c, r));
                pixels.push_back(p);
            }
    const ClassifySample reference = direct(pixels, kBands);
    const ClassifySample& merged = *samples()[4];
    EXPECT_EQ(merged.m_pixelCount, 8);
    EXPECT_EQ(cell(5, 6), L"8");
    expectNear(merged.m_mean, reference.m_mean, 1e-12);
    expectNear(merged.m_covariance, reference.m_covariance, 1e-9);
    expectNear(merged.m_min, reference.m_min, 0);
    expectNear(merged.m_max, reference.m_max, 0);
    EXPECT_EQ(merged.m_shapes.size(), 2u);
    const COLORREF colour = MergeSamples({samples()[1], samples()[3]}, kBands).colour;
    EXPECT_EQ(merged.m_colour, colour);
    EXPECT_EQ(table->GetItemBkColour(5, 2), colour);
    EXPECT_EQ(cell(5, 3), std::to_wstring(GetRValue(colour)));
    EXPECT_TRUE(table->IsCellEditable(5, 1));
    EXPECT_FALSE(table->IsCellEditable(5, 6));
    EXPECT_EQ(window->SampleFile().m_sampleCount, 5);
    EXPECT_EQ(flags(), (Flags{true, false, false}));
    // The merged sample saves like the others.
    window->SendCommand(D::ID_SAMPLE_SAVE);
    CClassifySampleFile file;
    ASSERT_TRUE(file.ReadClassifySampleFile(wpath("merge.cif")));
    ASSERT_EQ(file.m_samples.size(), 5u);
    EXPECT_EQ(file.m_samples[4]->GetName(), L"Class5");
}

TEST_F(SampleEditorTest, MergeAfterOpenUsesTheFileBandCountAndLogsAnEmptySelection) {
    addSamples(2);
    const fs::path saved = saveAs("merge-open.cif");
    window->DestroyWindow();
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
    SetUp(); // a fresh window: no raster held
    open(saved);
    ASSERT_FALSE(window->HoldsRaster());
    select({1, 2});
    window->SendCommand(D::ID_SAMPLE_MERGE);
    ASSERT_EQ(table->GetRowCount(), 4);
    EXPECT_EQ(cell(3, 1), L"Class3");
    EXPECT_EQ(samples()[2]->m_pixelCount, 8);

    // Samples without pixels: the log line, and no new row.
    const fs::path logPath = path("merge.log");
    CLogger logger(logPath.string());
    CLogger* previous = CLog::m_pLogger;
    CLog::m_pLogger = &logger;
    samples()[0]->m_pixelCount = 0;
    samples()[1]->m_pixelCount = 0;
    select({1, 2});
    window->SendCommand(D::ID_SAMPLE_MERGE);
    CLog::m_pLogger = previous;
    EXPECT_EQ(table->GetRowCount(), 4);
    std::ifstream in(logPath);
    std::string line;
    std::getline(in, line);
    EXPECT_NE(line.find("AoiEditorDlg:"), std::string::npos) << line;
    EXPECT_NE(line.find("CAoiEditorDlg::OnMerge: Merge Covariant Failed!"), std::string::npos) << line;
}

TEST_F(SampleEditorTest, FlagTable) {
    struct Step {
        const char* what;
        std::function<void()> run;
        Flags after;
    };
    VectorSource vector;
    const Step steps[] = {
        {"add", [&] { addSamples(2); }, {true, false, false}},
        {"save cancelled",
         [&] {
             ui.CancelFileAnswer();
             window->SendCommand(D::ID_SAMPLE_SAVE);
         },
         {true, false, false}},
        {"save written", [&] { saveAs("flags.cif"); }, {false, true, false}},
        {"colour",
         [&] {
             ui.colourAnswers.push_back(RGB(1, 2, 3));
             emit table->CellDoubleClicked(1, 2);
         },
         {true, true, false}},
        {"save again", [&] { window->SendCommand(D::ID_SAMPLE_SAVE); }, {false, true, false}},
        {"add more", [&] { addSamples(2); }, {true, true, false}},
        {"delete",
         [&] {
             select({4});
             window->SendCommand(D::ID_SAMPLE_DELETE);
         },
         {true, false, false}},
        {"save", [&] { window->SendCommand(D::ID_SAMPLE_SAVE); }, {false, true, false}},
        {"merge",
         [&] {
             select({1, 2});
             window->SendCommand(D::ID_SAMPLE_MERGE);
         },
         {true, false, false}},
        {"save", [&] { window->SendCommand(D::ID_SAMPLE_SAVE); }, {false, true, false}},
        {"clear", [&] { window->SendCommand(D::ID_SAMPLE_CLEAR); }, {true, false, false}},
        {"open failed", [&] { open(path("nothing-here.cif")); }, {false, false, false}},
        {"open", [&] { open(path("flags.cif")); }, {false, false, true}},
        {"save to the opened file", [&] { window->SendCommand(D::ID_SAMPLE_SAVE); }, {false, true, true}},
        {"add while open", [&] { addSamples(1); }, {true, true, true}},
        {"close, no",
         [&] {
             ui.messageAnswers.push_back(IDNO);
             window->SendCommand(D::ID_SAMPLE_CLOSE);
         },
         {false, false, false}},
    };
    for (const Step& step : steps) {
        step.run();
        EXPECT_EQ(flags(), step.after) << step.what;
    }
}

// ---- tessera samples ------------------------------------------------------------------

namespace {

struct Polygon {
    std::vector<CPoint2D> ring; // ground coordinates of the raster, closed implicitly
    const char* classValue;
};

// Pixel rectangle as a ground ring.
std::vector<CPoint2D> ring(int c0, int r0, int c1, int r1) {
    return {{kX0 + c0, kY0 - r0}, {kX0 + c1, kY0 - r0}, {kX0 + c1, kY0 - r1}, {kX0 + c0, kY0 - r1}};
}

// A shapefile of polygons with an integer "cls" field, written in EPSG
// `epsg` (the rings are reprojected from the raster's UTM zone).
fs::path writePolygons(const std::string& name, const std::vector<Polygon>& polygons, int epsg = 32650,
                       const char* field = "cls") {
    GDALAllRegister();
    const fs::path p = ScratchDir() / name;
    std::unique_ptr<GDALDataset> ds(GetGDALDriverManager()
                                        ->GetDriverByName("ESRI Shapefile")
                                        ->Create(p.string().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRSpatialReference utm, target;
    utm.importFromEPSG(32650);
    target.importFromEPSG(epsg);
    utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> transform(OGRCreateCoordinateTransformation(&utm, &target));
    OGRLayer* layer = ds->CreateLayer("polygons", &target, wkbPolygon, nullptr);
    OGRFieldDefn fieldDefn(field, OFTInteger);
    layer->CreateField(&fieldDefn);
    for (const Polygon& polygon : polygons) {
        OGRLinearRing r;
        for (const CPoint2D& v : polygon.ring)
            r.addPoint(v.x, v.y);
        r.closeRings();
        OGRPolygon g;
        g.addRing(&r);
        g.transform(transform.get());
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetField(field, polygon.classValue);
        feature.SetGeometry(&g);
        EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    return p;
}

std::string narrow(const fs::path& p) {
    return p.string();
}

} // namespace

TEST(SamplesCommand, BuildsOneSignaturePerClassFromReprojectedPolygons) {
    const std::vector<Polygon> polygons = {{ring(0, 0, 4, 4), "2"},
                                           {ring(10, 10, 13, 12), "1"},
                                           {ring(5, 0, 7, 3), "2"},
                                           {ring(30, 30, 40, 40), "3"}};
    const fs::path shp = writePolygons("classes-wgs84.shp", polygons, 4326); // reprojected back to UTM
    const fs::path out = ScratchDir() / "built.cif";
    const CommandRun r =
        tessera({"samples", CommonFun::U2M(sceneRaster()), narrow(shp), narrow(out), "--class-field", "cls"});
    ASSERT_EQ(r.code, 0) << r.err;

    CClassifySampleFile file;
    ASSERT_TRUE(file.ReadClassifySampleFile(CommonFun::M2U(out.string()))) << file.GetLastError();
    EXPECT_EQ(file.GetFileTag(), L"ZQ_RS_SampleFileTag");
    EXPECT_EQ(file.m_bandCount, kBands);
    ASSERT_EQ(file.m_samples.size(), 2u); // class 3 lies outside the raster
    EXPECT_EQ(file.m_samples[0]->GetName(), L"1");
    EXPECT_EQ(file.m_samples[1]->GetName(), L"2");
    // Class 2 is the union of its two rectangles.
    Pixels pixels;
    for (auto [c0, r0, c1, r1] : {std::tuple{0, 0, 4, 4}, std::tuple{5, 0, 7, 3}})
        for (int row = r0; row < r1; ++row)
            for (int c = c0; c < c1; ++c) {
                std::vector<double> p;
                for (int b = 1; b <= kBands; ++b)
                    p.push_back(pixelValue(b, c, row));
                pixels.push_back(p);
            }
    const ClassifySample reference = direct(pixels, kBands);
    const ClassifySample& two = *file.m_samples[1];
    EXPECT_EQ(two.m_pixelCount, 22);
    expectNear(two.m_mean, reference.m_mean, 1e-9);
    expectNear(two.m_covariance, reference.m_covariance, 1e-7);
    EXPECT_EQ(two.m_colour, expectedColour(reference));
    EXPECT_EQ(two.m_shapes.size(), 2u);
    EXPECT_EQ(two.m_index, 2);
    EXPECT_EQ(file.m_samples[0]->m_pixelCount, 6);

    // --no-merge keeps one sample per polygon.
    const fs::path each = ScratchDir() / "each.cif";
    ASSERT_EQ(tessera({"samples", CommonFun::U2M(sceneRaster()), narrow(shp), narrow(each), "--class-field",
                       "cls", "--no-merge"})
                  .code,
              0);
    CClassifySampleFile perPolygon;
    ASSERT_TRUE(perPolygon.ReadClassifySampleFile(CommonFun::M2U(each.string())));
    ASSERT_EQ(perPolygon.m_samples.size(), 3u);
    EXPECT_EQ(perPolygon.m_samples[1]->GetName(), L"2_1");
    EXPECT_EQ(perPolygon.m_samples[1]->m_pixelCount, 16);
}

TEST(SamplesCommand, RefusesBadInputWithOneLineAndNoOutput) {
    const std::string in = CommonFun::U2M(sceneRaster());
    const fs::path out = ScratchDir() / "refused.cif";
    const fs::path good = writePolygons("good.shp", {{ring(0, 0, 2, 2), "1"}});
    const fs::path otherField = writePolygons("other-field.shp", {{ring(0, 0, 2, 2), "1"}}, 32650, "kind");
    const fs::path outside = writePolygons("outside.shp", {{ring(100, 100, 110, 110), "1"}});
    const struct {
        std::vector<std::string> args;
        const char* expected;
        int code;
    } cases[] = {
        {{"samples", in, narrow(otherField), narrow(out), "--class-field", "cls"}, "has no field 'cls'", 1},
        {{"samples", in, narrow(outside), narrow(out), "--class-field", "cls"}, "lies over the raster", 1},
        {{"samples", in, in, narrow(out), "--class-field", "cls"}, "is not a vector file", 1},
        {{"samples", narrow(good), narrow(good), narrow(out), "--class-field", "cls"},
         "cannot open the raster",
         1},
        {{"samples", in, narrow(good), narrow(out)}, "--class-field is required", 2},
        {{"samples", in, narrow(good), "--class-field", "cls"}, "expects IN POLYGONS OUT", 2},
        {{"samples", "--list", "a.cif", "--check", "b.cif"}, "exclude each other", 2},
        {{"samples", "--list", narrow(ScratchDir() / "none.cif")}, "cannot read the sample file", 1},
    };
    for (const auto& c : cases) {
        const CommandRun r = tessera(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(SampleEditorTest, EditorFilesAndCommandFilesAreTheSame) {
    // Saved by the editor, listed by the command with the same numbers.
    addSamples(2);
    const fs::path saved = saveAs("listed.cif");
    const CommandRun list = tessera({"samples", "--list", narrow(saved), "--json"});
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
    const CommandRun text = tessera({"samples", "--list", narrow(saved)});
    ASSERT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("sample 2: C2"), std::string::npos) << text.out;

    // Made by the command, opened by the editor: one row per class.
    window->SendCommand(D::ID_SAMPLE_CLEAR);
    const fs::path shp = writePolygons("three.shp", {{ring(0, 0, 2, 2), "7"},
                                                     {ring(4, 4, 6, 6), "8"},
                                                     {ring(8, 8, 9, 9), "7"},
                                                     {ring(12, 0, 14, 3), "9"}});
    const fs::path made = ScratchDir() / "made.cif";
    ASSERT_EQ(
        tessera({"samples", CommonFun::U2M(sceneRaster()), narrow(shp), narrow(made), "--class-field", "cls"})
            .code,
        0);
    open(made);
    ASSERT_EQ(table->GetRowCount(), 4);
    EXPECT_EQ(cell(1, 1), L"7");
    EXPECT_EQ(cell(1, 6), L"5");
    EXPECT_EQ(cell(2, 1), L"8");
    EXPECT_EQ(cell(3, 1), L"9");
    EXPECT_EQ(cell(3, 6), L"6");
}

TEST(SamplesCommand, CheckReportsProblemsAndSeparability) {
    CClassifySampleFile file;
    file.m_bandCount = 2;
    auto add = [&](const wchar_t* name, int pixels, std::vector<double> mean, std::vector<double> cov) {
        auto* s = new ClassifySample;
        s->SetName(name);
        s->m_pixelCount = pixels;
        s->m_bandCount = 2;
        s->m_min = s->m_max = mean;
        s->m_mean = mean;
        s->m_covariance = cov;
        file.m_samples.push_back(s);
    };
    add(L"water", 50, {10, 20}, {4, 0, 0, 9});
    add(L"forest", 50, {13, 26}, {1, 0, 0, 16});
    add(L"water", 2, {500, 500}, {1, 0, 0, 1}); // duplicate name, fewer pixels than bands + 1
    add(L"empty", 0, {0, 0}, {0, 0, 0, 0});
    const fs::path path = ScratchDir() / "check.cif";
    ASSERT_TRUE(file.WriteClassifySampleFile(CommonFun::M2U(path.string()))) << file.GetLastError();

    const CommandRun text = tessera({"samples", "--check", narrow(path)});
    EXPECT_EQ(text.code, 1);
    EXPECT_NE(text.out.find("sample 3 'water' has 2 pixels, fewer than bands + 1 (3)"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("sample 3 'water' has the name of sample 1"), std::string::npos);
    EXPECT_NE(text.out.find("sample 4 'empty' has no pixels"), std::string::npos);

    const CommandRun json = tessera({"samples", "--check", narrow(path), "--json"});
    EXPECT_EQ(json.code, 1);
    const double b = bhattacharyya1(10, 4, 13, 1) + bhattacharyya1(20, 9, 26, 16);
    const double d = divergence1(10, 4, 13, 1) + divergence1(20, 9, 26, 16);
    const nlohmann::json checked = nlohmann::json::parse(json.out);
    const nlohmann::json& pairs = checked["separability"]; // (1, 2), (1, 3), (1, 4), ...
    ASSERT_EQ(pairs.size(), 6u) << json.out;
    EXPECT_EQ(pairs[0]["a"], 1);
    EXPECT_EQ(pairs[0]["b"], 2);
    EXPECT_NEAR(pairs[0]["jm"].get<double>(), 2 * (1 - std::exp(-b)), 1e-6) << json.out;
    EXPECT_NEAR(pairs[0]["td"].get<double>(), 2000 * (1 - std::exp(-d / 8)), 1e-3) << json.out;
    EXPECT_EQ(pairs[2], nlohmann::json::parse(R"({"a": 1, "b": 4, "jm": null, "td": null})"));
    const nlohmann::json& problems = checked["problems"];
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [](const nlohmann::json& p) {
        return p["kind"] == "duplicate-name";
    })) << json.out;

    // A clean file: exit 0.
    file.ClearSamples();
    add(L"a", 50, {10, 20}, {4, 0, 0, 9});
    add(L"b", 50, {900, 20}, {4, 0, 0, 9});
    ASSERT_TRUE(file.WriteClassifySampleFile(CommonFun::M2U(path.string())));
    const CommandRun clean = tessera({"samples", "--check", narrow(path)});
    EXPECT_EQ(clean.code, 0) << clean.out;
    EXPECT_NE(clean.out.find("no problems found"), std::string::npos);
    EXPECT_NE(clean.out.find("2.0000"), std::string::npos) << clean.out;
}
