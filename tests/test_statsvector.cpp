// Class statistics and vectorization: the statistics rows, the statistics
// window and the vectorize window through the scripted UI service, the
// polygonize algorithm against a flood-fill reference, and `tessera stats` /
// `tessera polygonize`.
#include "cli/subcommands.h"
#include "common/filters.h"
#include "entry/tesserauilib.h"
#include "base/commonfun.h"
#include "platform/gridctrl.h"
#include "platform/xcombobox.h"
#include "platform/xlistbox.h"
#include "postclass/CClassesStaticsDlg.h"
#include "postclass/CClassifyVectorizeDlg.h"
#include "processing/classstatistics.h"
#include "processing/polygonize.h"
#include "processing/progress.h"
#include "support/scratchdir.h"
#include "support/scriptedhost.h"
#include "support/scripteduiservices.h"
#include "support/windowharness.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <nlohmann/json.hpp>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdint>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::wstring wpath(const fs::path& p) { return CommonFun::M2U(p.string()); }

// A fresh folder per test.
fs::path freshDir(const std::string& name) {
    const fs::path dir = ScratchDir() / name;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    return dir;
}

std::set<std::string> filesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

struct AcfClass {
    std::wstring name;
    int number;
    std::int64_t pixels;
};

void writeAcf(const fs::path& path, const std::vector<AcfClass>& classes, double px = 30, double py = -30) {
    CClassifiedAssistantFile acf;
    for (const AcfClass& c : classes)
        acf.AddClass(c.name, c.number, c.pixels);
    acf.SetPixelSize(px, py);
    ASSERT_TRUE(acf.WriteClassifiedAssistantFile(wpath(path)));
}

CClassifiedAssistantFile makeAcf(const std::vector<AcfClass>& classes, double px = 30, double py = -30) {
    CClassifiedAssistantFile acf;
    for (const AcfClass& c : classes)
        acf.AddClass(c.name, c.number, c.pixels);
    acf.SetPixelSize(px, py);
    return acf;
}

// A class image: values row by row, EPSG:32633 (metres) unless told
// otherwise, 30 m pixels; tiled in 16 × 16 blocks so regions cross blocks.
void writeClassImage(const fs::path& path, int width, int height, const std::vector<int>& values, bool withCrs = true,
                     GDALDataType type = GDT_Byte) {
    GDALAllRegister();
    CPLStringList options;
    options.SetNameValue("TILED", "YES");
    options.SetNameValue("BLOCKXSIZE", "16");
    options.SetNameValue("BLOCKYSIZE", "16");
    std::unique_ptr<GDALDataset> ds(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        path.string().c_str(), width, height, 1, type, options.List()));
    ASSERT_TRUE(ds);
    double gt[6] = {500000, 30, 0, 4000000, 0, -30};
    ds->SetGeoTransform(gt);
    if (withCrs) {
        OGRSpatialReference srs;
        srs.importFromEPSG(32633);
        ds->SetSpatialRef(&srs);
    }
    std::vector<int> copy = values;
    ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, width, height, copy.data(), width, height, GDT_Int32, 0, 0,
                                             nullptr),
              CE_None);
}

// Patches of a coarse random grid with scattered single pixels: regions of
// all shapes, holes, diagonal contacts, and regions across block borders.
std::vector<int> patchyClasses(int width, int height, int classes, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> cls(0, classes - 1);
    std::uniform_real_distribution<double> unit(0, 1);
    const int cell = 5;
    const int cw = (width + cell - 1) / cell, ch = (height + cell - 1) / cell;
    std::vector<int> grid(static_cast<size_t>(cw) * ch);
    for (int& g : grid)
        g = cls(rng);
    std::vector<int> values(static_cast<size_t>(width) * height);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            int v = grid[(r / cell) * cw + c / cell];
            if (unit(rng) < 0.08)
                v = cls(rng);
            values[r * width + c] = v;
        }
    return values;
}

// Naive reference: connected regions of each chosen class by flood fill
// over the whole image, with 4 or 8 neighbours.
std::map<int, int> floodFillRegions(const std::vector<int>& values, int width, int height,
                                    const std::set<int>& chosen, bool eight) {
    std::map<int, int> regions;
    std::vector<char> seen(values.size(), 0);
    std::vector<std::pair<int, int>> stack;
    for (int r0 = 0; r0 < height; ++r0)
        for (int c0 = 0; c0 < width; ++c0) {
            const int v = values[r0 * width + c0];
            if (seen[r0 * width + c0] || !chosen.count(v))
                continue;
            ++regions[v];
            stack.assign(1, {r0, c0});
            seen[r0 * width + c0] = 1;
            while (!stack.empty()) {
                const auto [r, c] = stack.back();
                stack.pop_back();
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dc = -1; dc <= 1; ++dc) {
                        if ((dr == 0 && dc == 0) || (!eight && dr != 0 && dc != 0))
                            continue;
                        const int nr = r + dr, nc = c + dc;
                        if (nr < 0 || nc < 0 || nr >= height || nc >= width)
                            continue;
                        const int i = nr * width + nc;
                        if (!seen[i] && values[i] == v) {
                            seen[i] = 1;
                            stack.push_back({nr, nc});
                        }
                    }
            }
        }
    return regions;
}

// What a polygon layer holds, per class number.
struct LayerSummary {
    std::map<int, int> polygons;
    std::map<int, double> area;
    std::map<int, std::set<std::string>> names;
    std::unique_ptr<OGRSpatialReference> crs;
    long long features = 0;
};

LayerSummary readPolygons(const fs::path& path) {
    LayerSummary s;
    std::unique_ptr<GDALDataset> ds(static_cast<GDALDataset*>(
        GDALOpenEx(path.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
    EXPECT_TRUE(ds) << path;
    if (!ds)
        return s;
    OGRLayer* layer = ds->GetLayer(0);
    EXPECT_TRUE(layer);
    if (!layer)
        return s;
    if (const OGRSpatialReference* srs = layer->GetSpatialRef())
        s.crs.reset(srs->Clone());
    for (auto& feature : *layer) {
        ++s.features;
        const int value = feature->GetFieldAsInteger(kPolygonClassField);
        ++s.polygons[value];
        s.names[value].insert(feature->GetFieldAsString(kPolygonNameField));
        const OGRGeometry* g = feature->GetGeometryRef();
        EXPECT_TRUE(g && wkbFlatten(g->getGeometryType()) == wkbPolygon);
        if (g && wkbFlatten(g->getGeometryType()) == wkbPolygon)
            s.area[value] += g->toPolygon()->get_Area();
    }
    return s;
}

// Allocations made while it lives are not reported as leaks (sanitizer builds).
struct IgnoreLeaks {
#if defined(__SANITIZE_ADDRESS__)
    IgnoreLeaks() { __lsan_disable(); }
    ~IgnoreLeaks() { __lsan_enable(); }
#else
    IgnoreLeaks() {} // user-provided: the guard is a used variable in every build
#endif
};

// A progress object for direct runs: records the end, can cancel.
class RecordingProgress : public CBaseProgress {
public:
    bool cancelAt50 = false;
    double percent = 0;
    bool finished = false, success = false;
    std::wstring message;
    void Show(int) override {}
    void SetTitle(const std::wstring&) override {}
    void SetStep(const std::wstring&) override {}
    void SetPercent(double p) override { percent = p; }
    bool IsCancelled() const override { return cancelAt50 && percent >= 10; }
    void Finish(bool ok, const std::wstring& m) override {
        finished = true;
        success = ok;
        message = m;
    }
};

// ============================================================================
// Statistics rows
// ============================================================================

TEST(StatisticsRows, AreaPercentUnitAndNumbersByHand) {
    // 30 × −30 pixels: 900 square units per pixel.
    const CClassifiedAssistantFile acf =
        makeAcf({{L"Unclassified", 0, 1}, {L"水体", 1, 2}, {L"林地", 7, 3}, {L"urban", 3, 4}});
    const ClassStatistics s = ComputeClassStatistics(acf, L"m");
    EXPECT_DOUBLE_EQ(s.pixelArea, 900.0);
    EXPECT_EQ(s.totalPixels, 10);
    const std::vector<StatisticsRowTexts> rows = ClassStatisticsRows(acf, L"m");
    ASSERT_EQ(rows.size(), 4u);
    const StatisticsRowTexts expected[] = {
        {L"0", L"Unclassified", L"1", L"10.000%", L"900.000000", L"m*m"},
        {L"1", L"水体", L"2", L"20.000%", L"1800.000000", L"m*m"},
        {L"7", L"林地", L"3", L"30.000%", L"2700.000000", L"m*m"},
        {L"3", L"urban", L"4", L"40.000%", L"3600.000000", L"m*m"},
    };
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], expected[i]) << i;
}

TEST(StatisticsRows, PercentagesAddUpToAHundredWithinTheLastDigit) {
    const CClassifiedAssistantFile acf =
        makeAcf({{L"a", 0, 1}, {L"b", 1, 1}, {L"c", 2, 1}, {L"d", 3, 7919}, {L"e", 4, 104729}}, 0.5, 2);
    const std::vector<StatisticsRowTexts> rows = ClassStatisticsRows(acf, L"degree");
    double sum = 0;
    for (const StatisticsRowTexts& row : rows) {
        ASSERT_EQ(row[3].back(), L'%');
        sum += std::stod(row[3].substr(0, row[3].size() - 1));
        EXPECT_EQ(row[5], L"degree*degree");
    }
    EXPECT_NEAR(sum, 100.0, 0.0005 * rows.size());
    EXPECT_EQ(rows[0][3], L"0.001%"); // 1 / 112651
    EXPECT_EQ(rows[4][4], L"104729.000000");   // |0.5 × 2| = 1 per pixel
}

TEST(StatisticsRows, AllEmptyShowsADashAndNoShare) {
    const CClassifiedAssistantFile acf = makeAcf({{L"Unclassified", 0, 0}, {L"x", 1, 0}});
    const ClassStatistics s = ComputeClassStatistics(acf, L"m");
    EXPECT_EQ(s.totalPixels, 0);
    for (const ClassStatistic& c : s.classes)
        EXPECT_FALSE(c.percent.has_value());
    for (const StatisticsRowTexts& row : FormatStatisticsRows(s)) {
        EXPECT_EQ(row[3], L"-");
        EXPECT_EQ(row[4], L"0.000000");
    }
    // No classes at all: no rows.
    EXPECT_TRUE(ClassStatisticsRows(CClassifiedAssistantFile(), L"m").empty());
}

TEST(StatisticsRows, HugeCountsSaturateTheTotalInsteadOfOverflowing) {
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    const CClassifiedAssistantFile acf = makeAcf({{L"a", 0, max}, {L"b", 1, max}});
    const ClassStatistics s = ComputeClassStatistics(acf, L"m");
    EXPECT_EQ(s.totalPixels, max);
    EXPECT_EQ(FormatStatisticsRows(s)[0][2], std::to_wstring(max));
}

TEST(StatisticsRows, RecountedCountsGoByClassNumberAndExtraValuesFollow) {
    const CClassifiedAssistantFile acf = makeAcf({{L"Unclassified", 0, 99}, {L"a", 1, 99}, {L"b", 2, 99}});
    const ClassStatistics s = ComputeClassStatistics(acf, L"m", {{0, 5}, {2, 10}, {9, 5}});
    ASSERT_EQ(s.classes.size(), 4u);
    EXPECT_EQ(s.classes[0].pixelCount, 5);
    EXPECT_EQ(s.classes[1].pixelCount, 0);
    EXPECT_EQ(s.classes[2].pixelCount, 10);
    EXPECT_EQ(s.classes[3].classNumber, 9);
    EXPECT_EQ(s.classes[3].name, L"");
    EXPECT_EQ(s.totalPixels, 20);
    EXPECT_DOUBLE_EQ(*s.classes[2].percent, 50.0);
}

TEST(StatisticsRows, AssistantPathRule) {
    EXPECT_EQ(PairedAssistantFilePath(L"/d/img.tif"), L"/d/img.acf");
    EXPECT_EQ(PairedAssistantFilePath(L"/d/a.b/img"), L"/d/a.acf"); // the last dot of the whole path
    EXPECT_EQ(PairedAssistantFilePath(L"img"), L"img.acf");
}

TEST(PixelRecount, CountsEveryValueAcrossBlocksAndRefusesNonClasses) {
    const fs::path dir = freshDir("recount");
    const int w = 37, h = 29;
    const std::vector<int> values = patchyClasses(w, h, 4, 11);
    writeClassImage(dir / "c.tif", w, h, values);
    std::map<int, std::int64_t> expected;
    for (int v : values)
        ++expected[v];
    std::map<int, std::int64_t> counts;
    std::wstring error;
    ASSERT_TRUE(CountClassPixels(wpath(dir / "c.tif"), counts, error)) << CommonFun::U2M(error);
    EXPECT_EQ(counts, expected);

    std::vector<int> negative = values;
    negative[5 * w + 3] = -2;
    writeClassImage(dir / "n.tif", w, h, negative, true, GDT_Int16);
    EXPECT_FALSE(CountClassPixels(wpath(dir / "n.tif"), counts, error));
    EXPECT_NE(error.find(L"pixel (3, 5) holds -2"), std::wstring::npos) << CommonFun::U2M(error);
    EXPECT_FALSE(CountClassPixels(wpath(dir / "missing.tif"), counts, error));
}

// ============================================================================
// Statistics window
// ============================================================================

class StatisticsDlgTest : public ::testing::Test {
protected:
    using D = CClassesStaticsDlg;
    void SetUp() override {
        window = OpenNewWindow<D>([] { CTesseraUILib::ShowStaticsClassifyDlg(); });
        ASSERT_FALSE(window.isNull());
        dir = freshDir("statistics-window");
    }
    void TearDown() override { EXPECT_TRUE(CancelWindow(window)); }
    void open(const fs::path& image) {
        ui.ChooseFileAnswer(wpath(image));
        window->SendCommand(D::ID_FILE_OPEN_CLASSIFIED);
    }
    CGridCtrl& table() const { return *window->Table(); }
    std::vector<StatisticsRowTexts> shownRows() const {
        std::vector<StatisticsRowTexts> rows;
        for (int r = 1; r < table().GetRowCount(); ++r) {
            StatisticsRowTexts row;
            for (int c = 0; c < 6; ++c)
                row[c] = table().GetItemText(r, c);
            rows.push_back(row);
        }
        return rows;
    }
    void expectHeaderOnly() const {
        EXPECT_EQ(table().GetRowCount(), 1);
        EXPECT_EQ(table().GetColumnCount(), 6);
        EXPECT_EQ(table().GetItemText(0, 2), L"像素数");
    }
    // A georeferenced image (metres) with its .acf.
    fs::path imageWithAcf(const std::string& name) {
        const fs::path image = dir / (name + ".tif");
        writeClassImage(image, 4, 3, std::vector<int>(12, 1));
        writeAcf(dir / (name + ".acf"), {{L"Unclassified", 0, 2}, {L"水体", 1, 6}, {L"林地", 2, 4}});
        return image;
    }

    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    QPointer<D> window;
    fs::path dir;
};

TEST_F(StatisticsDlgTest, OpensWithTitleMenuAndAnEmptyTable) {
    EXPECT_EQ(window->GetWindowText(), L"类别统计");
    EXPECT_EQ(window->TemplateId(), 6010);
    EXPECT_FALSE(window->isModal());
    ASSERT_NE(window->GetMenu(), nullptr);
    EXPECT_EQ(window->MenuAction(D::ID_FILE_OPEN_CLASSIFIED)->text(), QString::fromWCharArray(L"打开分类后影像"));
    EXPECT_EQ(window->MenuAction(D::ID_FILE_EXIT)->text(), QString::fromWCharArray(L"退出(&E)"));
    EXPECT_EQ(window->MenuAction(D::ID_STATISTICS_HELP)->text(), QString::fromWCharArray(L"帮助"));
    EXPECT_EQ(window->UnitName(), L"Unkown");
    EXPECT_FALSE(window->IsLoaded());

    CGridCtrl& t = table();
    expectHeaderOnly();
    EXPECT_EQ(t.GetFixedRowCount(), 1);
    EXPECT_EQ(t.GetFixedColumnCount(), 1);
    const wchar_t* header[] = {L"类号", L"类名", L"像素数", L"所占百分比", L"面积", L"单位"};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(t.GetItemText(0, c), header[c]);
        EXPECT_EQ(t.GetColumnWidth(c), 100) << c;
    }
    EXPECT_TRUE(t.GetListMode());
    EXPECT_EQ(t.GetTextBkColor(), RGB(255, 255, 224));
    EXPECT_EQ(t.GetGridLines(), GVL_BOTH);
    // The table sits where the placeholder was.
    EXPECT_EQ(t.geometry(), QRect(10, 10, 640, 360));
}

TEST_F(StatisticsDlgTest, OpenFillsOneReadOnlyRowPerClassWithTheImageUnit) {
    open(imageWithAcf("classes"));
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    const FileDialogRequest& request = ui.fileRequests[0];
    EXPECT_TRUE(request.open);
    EXPECT_EQ(request.defaultExtension, L".tif");
    EXPECT_EQ(request.flags, 6u);
    EXPECT_EQ(request.filter, Filters::RasterInput);
    EXPECT_FALSE(request.hostAware); // the toolkit's own chooser: no host
    EXPECT_TRUE(ui.messages.empty());

    EXPECT_TRUE(window->IsLoaded());
    EXPECT_EQ(window->UnitName(), L"m");
    const std::vector<StatisticsRowTexts> expected = {
        {L"0", L"Unclassified", L"2", L"16.667%", L"1800.000000", L"m*m"},
        {L"1", L"水体", L"6", L"50.000%", L"5400.000000", L"m*m"},
        {L"2", L"林地", L"4", L"33.333%", L"3600.000000", L"m*m"},
    };
    EXPECT_EQ(shownRows(), expected);
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c < 6; ++c)
            EXPECT_TRUE(table().GetItemState(r, c) & GVIS_READONLY) << r << "," << c;
}

TEST_F(StatisticsDlgTest, UnopenableImageWithReadableAcfShowsTheUnknownUnit) {
    writeAcf(dir / "ghost.acf", {{L"a", 0, 1}, {L"b", 1, 3}});
    open(dir / "ghost.tif"); // no raster: no message, the unit stays
    EXPECT_TRUE(ui.messages.empty());
    const std::vector<StatisticsRowTexts> rows = shownRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][5], L"Unkown*Unkown");
    EXPECT_EQ(rows[1][3], L"75.000%");
}

TEST_F(StatisticsDlgTest, MissingOrCorruptAcfShowsTheNoticeAndLeavesTheTable) {
    const fs::path image = dir / "lonely.tif";
    writeClassImage(image, 4, 3, std::vector<int>(12, 1));
    open(image);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"找不到分类辅助文件");
    EXPECT_EQ(ui.messages[0].caption, L"提示");
    EXPECT_EQ(ui.messages[0].type & MB_TYPEMASK, MB_OK);
    EXPECT_FALSE(window->IsLoaded());
    EXPECT_EQ(window->UnitName(), L"m"); // the image did open
    expectHeaderOnly();

    std::ofstream(dir / "lonely.acf") << "TESSERA-ACF 1\npixel-size 30 -30\nclass-count 2\n"; // truncated
    open(image);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, L"找不到分类辅助文件");
    EXPECT_FALSE(window->IsLoaded());
    expectHeaderOnly();
}

TEST_F(StatisticsDlgTest, SecondOpenAsksToCloseAndOnlyYesGoesOn) {
    const fs::path first = imageWithAcf("first");
    open(first);
    ASSERT_EQ(shownRows().size(), 3u);

    for (int answer : {IDNO, IDCANCEL}) {
        ui.messageAnswers.push_back(answer);
        const size_t files = ui.fileRequests.size();
        window->SendCommand(D::ID_FILE_OPEN_CLASSIFIED);
        EXPECT_EQ(ui.fileRequests.size(), files) << answer; // no chooser
        EXPECT_EQ(shownRows().size(), 3u);
        EXPECT_NE(window->Image(), nullptr);
    }
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, L"是否关闭当前统计信息文件？");
    EXPECT_EQ(ui.messages[0].caption, L""); // the toolkit's default caption
    EXPECT_EQ(ui.messages[0].type, MB_YESNOCANCEL | MB_ICONINFORMATION);

    // Yes, then the chooser is cancelled: an empty table, the image released.
    ui.messageAnswers.push_back(IDYES);
    ui.CancelFileAnswer();
    window->SendCommand(D::ID_FILE_OPEN_CLASSIFIED);
    expectHeaderOnly();
    EXPECT_EQ(window->Image(), nullptr);
    EXPECT_EQ(window->AssistantFile().GetClassCount(), 0);
    EXPECT_TRUE(window->IsLoaded()); // never returns to false

    // The next Open asks again; Yes and a second image fill the table anew.
    const fs::path second = dir / "second.tif";
    writeClassImage(second, 2, 2, std::vector<int>(4, 0), false);
    writeAcf(dir / "second.acf", {{L"only", 5, 4}}, 10, 10);
    ui.messageAnswers.push_back(IDYES);
    open(second);
    EXPECT_EQ(ui.messages.size(), 4u);
    const std::vector<StatisticsRowTexts> expected = {
        {L"5", L"only", L"4", L"100.000%", L"400.000000", L"unknown*unknown"}};
    EXPECT_EQ(shownRows(), expected);
}

TEST_F(StatisticsDlgTest, HelpAndExit) {
    window->SendCommand(D::ID_STATISTICS_HELP);
    ASSERT_EQ(ui.helpTopics.size(), 1u);
    EXPECT_EQ(ui.helpTopics[0], std::make_pair(4, 6));
    window->SendCommand(D::ID_FILE_EXIT);
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
}

// ============================================================================
// Vectorize window
// ============================================================================

using namespace VectorizeSetup;

TEST(VectorizeSetupFunctions, MovesAndTheClassMap) {
    EXPECT_EQ(TrimLeading(L" \t water "), L"water ");
    // ">" twice with the same selection adds each once; blanks are ignored when comparing.
    EXPECT_EQ(TextsToAdd({}, {L"a", L" b"}), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_TRUE(TextsToAdd({L"a", L"b"}, {L"a", L" b"}).empty());
    EXPECT_EQ(TextsToAdd({L"a"}, {L"A", L"b", L"b"}), (std::vector<std::wstring>{L"A", L"b"})); // case-sensitive

    const CClassifiedAssistantFile acf =
        makeAcf({{L"Unclassified", 0, 1}, {L"水体", 1, 1}, {L"林地", 2, 1}, {L"林地", 7, 1}});
    const auto map = BuildClassMap({L" 水体", L"林地", L"nothing", L"unclassified"}, acf);
    // Every class of a name sets the entry, the last one in file order stays.
    EXPECT_EQ(map, (std::map<std::wstring, int>{{L"水体", 1}, {L"林地", 7}}));
    EXPECT_TRUE(BuildClassMap({}, acf).empty());
}

TEST(VectorizeSetupFunctions, RecordFlagsAndFields) {
    ScriptedHost host;
    const std::map<std::wstring, int> five = {{L"a", 0}, {L"b", 1}, {L"c", 2}, {L"d", 3}, {L"e", 4}};
    std::map<std::wstring, int> four = five;
    four.erase(L"e");
    const CRasterPolygonizeParam all = BuildPolygonizeRecord(L"/in.tif", L"/out.shp", five, 5, &host);
    EXPECT_EQ(all.m_inputPath, L"/in.tif");
    EXPECT_EQ(all.m_outputPath, L"/out.shp");
    EXPECT_FALSE(all.m_partialClasses);
    EXPECT_EQ(all.m_shapeFile, 1);
    EXPECT_EQ(all.m_host, &host);
    EXPECT_EQ(all.m_classMap, five);
    EXPECT_EQ(all.m_connectivity, 0);
    EXPECT_TRUE(BuildPolygonizeRecord(L"/in.tif", L"/out.shp", four, 5, &host).m_partialClasses);
    const CRasterPolygonizeParam defaults;
    EXPECT_EQ(BuildPolygonizeRecord(L"/in.tif", L"/out.SHP", four, 5, &host).m_shapeFile, defaults.m_shapeFile);
    EXPECT_EQ(BuildPolygonizeRecord(L"/in.tif", L"/d.shp/out", four, 5, &host).m_shapeFile, defaults.m_shapeFile);
    EXPECT_EQ(ShapeFileFlagForPath(L"/x/y.shp"), 1);
    EXPECT_EQ(ShapeFileFlagForPath(L"/x/y.gpkg"), 0);
}

using Launch = CaughtLaunch;

class VectorizeDlgTest : public ::testing::Test {
protected:
    using D = CClassifyVectorizeDlg;
    void SetUp() override {
        window = OpenNewWindow<D>([this] { CTesseraUILib::ShowVectorizeClassifyDlg(&host); });
        ASSERT_FALSE(window.isNull());
        dir = freshDir("vectorize-window");
        writeAcf(dir / "five.acf",
                 {{L"Unclassified", 0, 1}, {L"water", 1, 1}, {L" forest", 2, 1}, {L"Crop", 3, 1}, {L"bare", 4, 1}});
        writeAcf(dir / "other.acf", {{L"water", 9, 1}, {L"urban", 8, 1}});
    }
    void TearDown() override {
        EXPECT_TRUE(CancelWindow(window));
        EXPECT_TRUE(catcher.ProgressWindowsClosed());
    }
    template <class T> T* item(int id) const { return window->Item<T>(id); }
    void click(int id) const {
        auto* button = item<QAbstractButton>(id);
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    void browseInput(const std::string& name) {
        ui.ChooseFileAnswer(wpath(dir / name));
        click(D::IDC_INPUT_BROWSE);
    }
    void browseOutput(const std::wstring& path) {
        ui.ChooseFileAnswer(path);
        click(D::IDC_OUTPUT_BROWSE);
    }
    std::vector<std::wstring> texts(int id) const {
        std::vector<std::wstring> t;
        for (int i = 0; i < item<XListBox>(id)->GetCount(); ++i)
            t.push_back(item<XListBox>(id)->GetText(i));
        return t;
    }
    void select(int id, std::initializer_list<int> rows) const {
        auto* list = item<XListBox>(id);
        list->SetSel(-1, false);
        for (int r : rows)
            list->SetSel(r, true);
    }

    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    ScriptedHost host;
    QPointer<D> window;
    LaunchCatcher catcher;
    std::deque<Launch>& launches = catcher.launches;
    fs::path dir;
};

TEST_F(VectorizeDlgTest, OpensEmptyAndChoosersUseTheHost) {
    EXPECT_EQ(window->GetWindowText(), L"分类矢量化");
    EXPECT_EQ(window->TemplateId(), 6009);
    EXPECT_FALSE(item<XComboBox>(D::IDC_INPUT_LIST)->IsSorted());
    EXPECT_FALSE(item<XComboBox>(D::IDC_OUTPUT_LIST)->IsSorted());
    EXPECT_EQ(item<XListBox>(D::IDC_INPUT_CLASSES)->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(item<XListBox>(D::IDC_CHOSEN_CLASSES)->selectionMode(), QAbstractItemView::ExtendedSelection);

    browseInput("five.tif");
    browseOutput(L"/out/polys.shp");
    ASSERT_EQ(ui.fileRequests.size(), 2u);
    EXPECT_TRUE(ui.fileRequests[0].open);
    EXPECT_EQ(ui.fileRequests[0].defaultExtension, L".tif");
    EXPECT_EQ(ui.fileRequests[0].filter, Filters::RasterInput);
    EXPECT_EQ(ui.fileRequests[0].flags, 6u);
    EXPECT_TRUE(ui.fileRequests[0].hostAware);
    EXPECT_FALSE(ui.fileRequests[1].open);
    EXPECT_EQ(ui.fileRequests[1].defaultExtension, L".shp");
    EXPECT_EQ(ui.fileRequests[1].filter, Filters::ShapeOutput);
    EXPECT_TRUE(ui.fileRequests[1].hostAware);
    // Sorted by name, ignoring case; the acf's text as it is.
    EXPECT_EQ(texts(D::IDC_INPUT_CLASSES),
              (std::vector<std::wstring>{L" forest", L"bare", L"Crop", L"Unclassified", L"water"}));
    EXPECT_EQ(item<XComboBox>(D::IDC_OUTPUT_LIST)->GetLBText(0), L"/out/polys.shp");
    EXPECT_EQ(item<XComboBox>(D::IDC_OUTPUT_LIST)->GetCurSel(), 0);

    window->SendCommand(D::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics.back(), std::make_pair(4, 1));
}

TEST_F(VectorizeDlgTest, MissingAcfKeepsThePathAndTheOldList) {
    browseInput("five.tif");
    browseInput("none.tif");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"找不到分类辅助文件");
    EXPECT_EQ(ui.messages[0].caption, L""); // default caption
    auto* inputs = item<XComboBox>(D::IDC_INPUT_LIST);
    ASSERT_EQ(inputs->GetCount(), 2);
    EXPECT_EQ(inputs->GetCurSel(), 1);
    EXPECT_EQ(texts(D::IDC_INPUT_CLASSES).size(), 5u); // not refreshed
    EXPECT_EQ(window->AssistantFile().GetClassCount(), 0);
    // The old list's classes can no longer reach the record.
    click(D::IDC_ADD_ALL);
    click(IDOK);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, L"请选择矢量化的类别！");
    EXPECT_TRUE(launches.empty());
}

TEST_F(VectorizeDlgTest, ClassMovesBetweenTheLists) {
    browseInput("five.tif"); // " forest", bare, Crop, Unclassified, water
    select(D::IDC_INPUT_CLASSES, {0, 2});
    click(D::IDC_ADD_SELECTED);
    click(D::IDC_ADD_SELECTED);
    EXPECT_EQ(texts(D::IDC_CHOSEN_CLASSES), (std::vector<std::wstring>{L"Crop", L"forest"}));
    click(D::IDC_ADD_ALL);
    EXPECT_EQ(texts(D::IDC_CHOSEN_CLASSES),
              (std::vector<std::wstring>{L" forest", L"bare", L"Crop", L"Unclassified", L"water"}));
    select(D::IDC_CHOSEN_CLASSES, {0, 1});
    click(D::IDC_REMOVE_SELECTED);
    EXPECT_EQ(texts(D::IDC_CHOSEN_CLASSES), (std::vector<std::wstring>{L"Crop", L"Unclassified", L"water"}));
    click(D::IDC_REMOVE_ALL);
    EXPECT_TRUE(texts(D::IDC_CHOSEN_CLASSES).empty());
}

TEST_F(VectorizeDlgTest, NoClassChosenKeepsTheWindowOpen) {
    browseInput("five.tif");
    browseOutput(L"/out/p.shp");
    click(IDOK);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"请选择矢量化的类别！");
    EXPECT_EQ(ui.messages[0].caption, L"");
    EXPECT_EQ(ui.messages[0].type & MB_TYPEMASK, MB_OK);
    EXPECT_TRUE(launches.empty());
    EXPECT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(VectorizeDlgTest, OkStartsPolygonizeWithTheRecordAndCloses) {
    browseInput("five.tif");
    browseOutput(L"/out/p.shp");
    select(D::IDC_INPUT_CLASSES, {0, 1, 2, 4}); // four of five
    click(D::IDC_ADD_SELECTED);
    click(IDOK);
    ASSERT_EQ(launches.size(), 1u);
    const Launch& l = launches.back();
    EXPECT_NE(dynamic_cast<CRasterPolygonize*>(l.algorithm.get()), nullptr);
    const CRasterPolygonizeParam* r = l.record<CRasterPolygonizeParam>();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_inputPath, wpath(dir / "five.tif"));
    EXPECT_EQ(r->m_outputPath, L"/out/p.shp");
    EXPECT_EQ(r->m_host, &host);
    EXPECT_EQ(r->m_shapeFile, 1);
    EXPECT_TRUE(r->m_partialClasses);
    EXPECT_EQ(r->m_connectivity, 0);
    // " forest" reached the list as "forest", which names no class.
    EXPECT_EQ(r->m_classMap, (std::map<std::wstring, int>{{L"Crop", 3}, {L"bare", 4}, {L"water", 1}}));
    EXPECT_TRUE(l.progress) << "a progress window is attached";
    EXPECT_TRUE(l.progressShown);
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
}

TEST_F(VectorizeDlgTest, EveryClassClearsThePartialFlagAndASecondImageFiltersTheNames) {
    browseInput("five.tif");
    browseOutput(L"/out/p.SHP");
    click(D::IDC_ADD_ALL);
    // Whitespace-led names are matched after trimming: five entries, four names reach the map.
    browseInput("other.tif"); // water, urban: the chosen list stays
    EXPECT_EQ(texts(D::IDC_CHOSEN_CLASSES).size(), 5u);
    click(IDOK);
    ASSERT_EQ(launches.size(), 1u);
    const CRasterPolygonizeParam* r = launches.back().record<CRasterPolygonizeParam>();
    EXPECT_EQ(r->m_classMap, (std::map<std::wstring, int>{{L"water", 9}}));
    EXPECT_TRUE(r->m_partialClasses); // 1 of 2
    EXPECT_EQ(r->m_shapeFile, CRasterPolygonizeParam().m_shapeFile); // "SHP" keeps the default
}

TEST_F(VectorizeDlgTest, AllClassesOfTheImageClearThePartialFlag) {
    writeAcf(dir / "plain.acf", {{L"a", 0, 1}, {L"b", 1, 1}, {L"c", 2, 1}, {L"d", 3, 1}, {L"e", 4, 1}});
    browseInput("plain.tif");
    click(D::IDC_ADD_ALL);
    click(IDOK);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_FALSE(launches.back().record<CRasterPolygonizeParam>()->m_partialClasses);
    EXPECT_EQ(launches.back().record<CRasterPolygonizeParam>()->m_outputPath, L""); // no output chosen: not checked by the window
}

// ============================================================================
// Polygonize algorithm
// ============================================================================

struct PolygonizeCase {
    fs::path dir, image, output;
    int width = 53, height = 41;
    std::vector<int> values;
};

PolygonizeCase makeCase(const std::string& name, std::uint32_t seed = 5, bool withCrs = true) {
    PolygonizeCase c;
    c.dir = freshDir(name);
    c.image = c.dir / "classes.tif";
    c.output = c.dir / "out" / "polygons.shp";
    fs::create_directories(c.dir / "out");
    c.values = patchyClasses(c.width, c.height, 4, seed);
    writeClassImage(c.image, c.width, c.height, c.values, withCrs);
    writeAcf(c.dir / "classes.acf", {{L"Unclassified", 0, 0}, {L"水体", 1, 0}, {L"林地 forest", 2, 0}, {L"urban", 3, 0}});
    return c;
}

CRasterPolygonizeParam recordFor(const PolygonizeCase& c, std::map<std::wstring, int> classes, int connectivity = 0) {
    CRasterPolygonizeParam p;
    p.m_inputPath = wpath(c.image);
    p.m_outputPath = wpath(c.output);
    p.m_shapeFile = ShapeFileFlagForPath(p.m_outputPath);
    p.m_classMap = std::move(classes);
    p.m_connectivity = connectivity;
    return p;
}

void expectMatchesReference(const PolygonizeCase& c, const fs::path& output, const std::set<int>& chosen, bool eight,
                            const std::map<int, std::string>& names) {
    const std::map<int, int> expected = floodFillRegions(c.values, c.width, c.height, chosen, eight);
    const LayerSummary s = readPolygons(output);
    EXPECT_EQ(s.polygons, expected);
    std::map<int, std::int64_t> pixels;
    for (int v : c.values)
        ++pixels[v];
    for (int v : chosen) {
        EXPECT_NEAR(s.area.at(v), pixels[v] * 900.0, 1e-6 * pixels[v] * 900.0) << v; // every pixel covered once
        EXPECT_EQ(s.names.at(v), std::set<std::string>{names.at(v)}) << v;
    }
}

TEST(Polygonize, OnePolygonPerFourConnectedRegionWithNamesAndCrs) {
    const PolygonizeCase c = makeCase("poly4");
    const CRasterPolygonizeParam p = recordFor(c, {{L"水体", 1}, {L"urban", 3}});
    CRasterPolygonize algorithm(&p, nullptr);
    ASSERT_TRUE(algorithm.ProcessFromNewThread(false)) << CommonFun::U2M(algorithm.GetLastError());
    expectMatchesReference(c, c.output, {1, 3}, false, {{1, "水体"}, {3, "urban"}});
    const std::map<int, int> regions = floodFillRegions(c.values, c.width, c.height, {1, 3}, false);
    EXPECT_EQ(algorithm.PolygonCount(), regions.at(1) + regions.at(3));

    const LayerSummary s = readPolygons(c.output);
    ASSERT_TRUE(s.crs);
    OGRSpatialReference utm;
    utm.importFromEPSG(32633);
    EXPECT_TRUE(s.crs->IsSame(&utm));
    // The shapefile and its side files under the target's name, nothing else.
    EXPECT_EQ(filesIn(c.dir / "out"),
              (std::set<std::string>{"polygons.shp", "polygons.shx", "polygons.dbf", "polygons.prj", "polygons.cpg"}));
}

TEST(Polygonize, EightConnectivityJoinsDiagonalNeighbours) {
    const PolygonizeCase c = makeCase("poly8", 9);
    const CRasterPolygonizeParam p = recordFor(c, {{L"Unclassified", 0}, {L"林地 forest", 2}}, 8);
    CRasterPolygonize algorithm(&p, nullptr);
    ASSERT_TRUE(algorithm.ProcessFromNewThread(false)) << CommonFun::U2M(algorithm.GetLastError());
    expectMatchesReference(c, c.output, {0, 2}, true, {{0, "Unclassified"}, {2, "林地 forest"}});
    // The reference tells the two apart on this image.
    EXPECT_NE(floodFillRegions(c.values, c.width, c.height, {0, 2}, true),
              floodFillRegions(c.values, c.width, c.height, {0, 2}, false));
}

TEST(Polygonize, HandMadeImageWithAHole) {
    // 1 1 1 1
    // 1 2 2 1      class 1: one ring-shaped region with a hole
    // 1 1 1 1      class 2: one region; class 3: two diagonal pixels
    // 3 0 0 0
    // 0 3 0 0
    PolygonizeCase c;
    c.dir = freshDir("hole");
    c.image = c.dir / "h.tif";
    c.output = c.dir / "h.gpkg"; // any OGR format by extension
    c.width = 4;
    c.height = 5;
    c.values = {1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 1, 3, 0, 0, 0, 0, 3, 0, 0};
    writeClassImage(c.image, c.width, c.height, c.values);
    writeAcf(c.dir / "h.acf", {{L"u", 0, 0}, {L"one", 1, 0}, {L"two", 2, 0}, {L"three", 3, 0}});
    CRasterPolygonizeParam p = recordFor(c, {{L"one", 1}, {L"three", 3}});
    EXPECT_EQ(p.m_shapeFile, 0);
    CRasterPolygonize four(&p, nullptr);
    ASSERT_TRUE(four.ProcessFromNewThread(false)) << CommonFun::U2M(four.GetLastError());
    LayerSummary s = readPolygons(c.output);
    EXPECT_EQ(s.polygons, (std::map<int, int>{{1, 1}, {3, 2}}));
    EXPECT_DOUBLE_EQ(s.area[1], 10 * 900.0);
    p.m_connectivity = 8;
    CRasterPolygonize eight(&p, nullptr);
    ASSERT_TRUE(eight.ProcessFromNewThread(false)) << CommonFun::U2M(eight.GetLastError());
    s = readPolygons(c.output); // the earlier result was replaced
    EXPECT_EQ(s.polygons, (std::map<int, int>{{1, 1}, {3, 1}}));
    EXPECT_EQ(filesIn(c.dir), (std::set<std::string>{"h.tif", "h.acf", "h.gpkg"}));
}

TEST(Polygonize, ReplacesAnEarlierShapefileAndWritesNoPrjWithoutCrs) {
    const PolygonizeCase c = makeCase("replace", 5, false);
    CRasterPolygonizeParam p = recordFor(c, {{L"urban", 3}});
    CRasterPolygonize first(&p, nullptr);
    ASSERT_TRUE(first.ProcessFromNewThread(false));
    p.m_classMap = {{L"水体", 1}};
    CRasterPolygonize second(&p, nullptr);
    ASSERT_TRUE(second.ProcessFromNewThread(false)) << CommonFun::U2M(second.GetLastError());
    const LayerSummary s = readPolygons(c.output);
    EXPECT_EQ(s.polygons, floodFillRegions(c.values, c.width, c.height, {1}, false));
    EXPECT_FALSE(s.crs);
    EXPECT_EQ(filesIn(c.dir / "out"),
              (std::set<std::string>{"polygons.shp", "polygons.shx", "polygons.dbf", "polygons.cpg"}));
}

// The algorithm run through the progress object: the failure message it
// reports, and the output folder left as it was.
void expectFailure(const CRasterPolygonizeParam& p, const std::wstring& messagePart, const fs::path& folder) {
    const std::set<std::string> before = fs::is_directory(folder) ? filesIn(folder) : std::set<std::string>{};
    RecordingProgress progress;
    CRasterPolygonize algorithm(&p, &progress);
    EXPECT_FALSE(algorithm.ProcessFromNewThread(false));
    EXPECT_TRUE(progress.finished);
    EXPECT_FALSE(progress.success);
    EXPECT_NE(progress.message.find(messagePart), std::wstring::npos) << CommonFun::U2M(progress.message);
    if (fs::is_directory(folder)) {
        EXPECT_EQ(filesIn(folder), before);
    }
}

TEST(Polygonize, BadInputFailsWithAMessageAndWritesNothing) {
    const PolygonizeCase c = makeCase("bad");
    const fs::path out = c.dir / "out";
    expectFailure(recordFor(c, {}), L"No class was chosen to vectorize.", out);
    expectFailure(recordFor(c, {{L"ghost", 12}}), L"Class 12 (ghost) is not in the classification assistant file",
                  out);
    expectFailure(recordFor(c, {{L"urban", 3}}, 6), L"The connectivity must be 4 or 8 (got 6).", out);

    CRasterPolygonizeParam p = recordFor(c, {{L"urban", 3}});
    p.m_outputPath = wpath(out / "polygons.xyz123");
    expectFailure(p, L"A shapefile's name must end in .shp", out); // the flag says shapefile
    p.m_shapeFile = 0;
    expectFailure(p, L"Cannot tell the vector format", out);
    p.m_outputPath = wpath(out / "polygons");
    expectFailure(p, L"Cannot tell the vector format", out);
    p.m_outputPath = wpath(c.dir / "missing" / "p.shp");
    expectFailure(p, L"The output folder does not exist", out);
    EXPECT_FALSE(fs::exists(c.dir / "missing"));
    p.m_outputPath = wpath(out); // a folder
    expectFailure(p, L"The output path is a folder", out);

    // No .acf, then a corrupt one.
    fs::remove(c.dir / "classes.acf");
    expectFailure(recordFor(c, {{L"urban", 3}}), L"Cannot read the classification assistant file", out);
    std::ofstream(c.dir / "classes.acf") << "TESSERA-ACF 1\npixel-size 30 -30\nclass-count 9\nend\n";
    expectFailure(recordFor(c, {{L"urban", 3}}), L"Cannot read the classification assistant file", out);

    // Not a classified image: a multi-band raster.
    const fs::path rgb = c.dir / "rgb.tif";
    {
        std::unique_ptr<GDALDataset> ds(
            GetGDALDriverManager()->GetDriverByName("GTiff")->Create(rgb.string().c_str(), 4, 4, 3, GDT_Byte, nullptr));
    }
    writeAcf(c.dir / "rgb.acf", {{L"urban", 3, 0}});
    p = recordFor(c, {{L"urban", 3}});
    p.m_inputPath = wpath(rgb);
    expectFailure(p, L"is not a classified image: it has 3 bands", out);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(Polygonize, CancelLeavesNothingBehind) {
    PolygonizeCase c = makeCase("cancel");
    // A larger image so the polygonizer reports progress along the way.
    c.width = 300;
    c.height = 400;
    c.values = patchyClasses(c.width, c.height, 4, 3);
    writeClassImage(c.image, c.width, c.height, c.values);
    const CRasterPolygonizeParam p = recordFor(c, {{L"水体", 1}});
    RecordingProgress progress;
    progress.cancelAt50 = true;
    CRasterPolygonize algorithm(&p, &progress);
    {
        // GDAL 3.6's polygonizer leaks the polygons it holds open when its
        // progress callback stops it; that leak is GDAL's, not ours.
        IgnoreLeaks gdalCancelLeak;
        EXPECT_FALSE(algorithm.ProcessFromNewThread(false));
    }
    EXPECT_TRUE(algorithm.WasCancelled());
    EXPECT_TRUE(progress.message.empty());
    EXPECT_TRUE(fs::is_empty(c.dir / "out"));
}

TEST(Polygonize, CopiesItsRecordAndTakesTheProgress) {
    RecordingProgress progress;
    auto* p = new CRasterPolygonizeParam;
    p->m_inputPath = L"/in.tif";
    p->m_classMap = {{L"a", 1}};
    p->m_connectivity = 8;
    p->m_partialClasses = true;
    CRasterPolygonize algorithm(p, &progress);
    delete p; // the record dies right after the start
    EXPECT_EQ(algorithm.GetProgress(), &progress);
    EXPECT_EQ(algorithm.Param().m_inputPath, L"/in.tif");
    EXPECT_EQ(algorithm.Param().m_classMap.at(L"a"), 1);
    EXPECT_EQ(algorithm.Param().m_connectivity, 8);
    EXPECT_TRUE(algorithm.Param().m_partialClasses);
    AlgorithmParam base;
    base.m_inputPath = L"/x.tif";
    CRasterPolygonize fromBase(&base, nullptr);
    EXPECT_EQ(fromBase.Param().m_inputPath, L"/x.tif");
    EXPECT_TRUE(fromBase.Param().m_classMap.empty());
}

// ============================================================================
// tessera stats / tessera polygonize
// ============================================================================

struct CliResult {
    int code;
    std::string out, err;
};

CliResult runCli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunCommandLine(args, out, err);
    return {code, out.str(), err.str()};
}

TEST(StatsCommand, TableJsonAndRecount) {
    const fs::path dir = freshDir("stats-cli");
    const std::vector<int> values = {0, 1, 1, 2, 2, 2, 7, 1, 1};
    writeClassImage(dir / "c.tif", 3, 3, values);
    writeAcf(dir / "c.acf", {{L"Unclassified", 0, 2}, {L"水体", 1, 6}, {L"林地", 2, 4}});

    CliResult r = runCli({"stats", (dir / "c.tif").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "class\tname\tpixels\tpercent\tarea\tunit\n"
                     "0\tUnclassified\t2\t16.667%\t1800.000000\tm*m\n"
                     "1\t水体\t6\t50.000%\t5400.000000\tm*m\n"
                     "2\t林地\t4\t33.333%\t3600.000000\tm*m\n");

    r = runCli({"stats", (dir / "c.tif").string(), "--recount", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "class\tname\tpixels\tpercent\tarea\tunit\n"
                     "0\tUnclassified\t1\t11.111%\t900.000000\tm*m\n"
                     "1\t水体\t4\t44.444%\t3600.000000\tm*m\n"
                     "2\t林地\t3\t33.333%\t2700.000000\tm*m\n"
                     "7\t\t1\t11.111%\t900.000000\tm*m\n");

    r = runCli({"stats", (dir / "c.tif").string(), "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    nlohmann::json json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["unit"], "m") << r.out;
    EXPECT_EQ(json["total_pixels"], 12) << r.out;
    EXPECT_EQ(
        json["classes"][1],
        nlohmann::json::parse(R"({"number": 1, "name": "水体", "pixels": 6, "percent": 50, "area": 5400})"))
        << r.out;

    // All empty: the shares are null in JSON; an image that cannot be opened keeps the placeholder unit.
    writeAcf(dir / "empty.acf", {{L"a\"b", 0, 0}});
    r = runCli({"stats", (dir / "empty.tif").string(), "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["classes"][0]["name"], "a\"b") << r.out;
    EXPECT_EQ(json["classes"][0]["pixels"], 0) << r.out;
    EXPECT_TRUE(json["classes"][0]["percent"].is_null()) << r.out;
    EXPECT_EQ(json["unit"], "Unkown") << r.out;
    // ... but a recount needs the image.
    r = runCli({"stats", (dir / "empty.tif").string(), "--recount", "--quiet"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST(StatsCommand, MissingOrCorruptAcfIsAOneLineFailure) {
    const fs::path dir = freshDir("stats-bad");
    writeClassImage(dir / "c.tif", 3, 3, std::vector<int>(9, 1));
    CliResult r = runCli({"stats", (dir / "c.tif").string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("tessera stats: cannot read the classification assistant file " + (dir / "c.acf").string(), 0),
              0u)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_TRUE(r.out.empty());
    std::ofstream(dir / "c.acf") << "not an acf\n";
    r = runCli({"stats", (dir / "c.tif").string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_EQ(runCli({"stats"}).code, 2);
}

TEST(PolygonizeCommand, WritesTheChosenClassesAndRefusesBadInput) {
    const PolygonizeCase c = makeCase("poly-cli", 21);
    CliResult r = runCli({"polygonize", c.image.string(), c.output.string(), "--classes", "2,0", "--eight", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::map<int, int> regions = floodFillRegions(c.values, c.width, c.height, {0, 2}, true);
    EXPECT_EQ(r.out, "polygonize: wrote " + std::to_string(regions.at(0) + regions.at(2)) + " polygons to " +
                         c.output.string() + "\n");
    expectMatchesReference(c, c.output, {0, 2}, true, {{0, "Unclassified"}, {2, "林地 forest"}});

    const fs::path other = c.dir / "out" / "second.shp";
    const auto refused = [&](std::vector<std::string> args, int code, const std::string& start) {
        const std::set<std::string> before = filesIn(c.dir / "out");
        const CliResult result = runCli(args);
        EXPECT_EQ(result.code, code) << result.err;
        EXPECT_EQ(result.err.rfind("tessera polygonize: " + start, 0), 0u) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(filesIn(c.dir / "out"), before);
    };
    refused({"polygonize", c.image.string(), other.string(), "--quiet"}, 2, "--classes is required");
    refused({"polygonize", c.image.string(), other.string(), "--classes", "4"}, 2, "--classes: class 4 is not in");
    refused({"polygonize", c.image.string(), other.string(), "--classes", "-1"}, 2, "--classes");
    refused({"polygonize", c.image.string(), (c.dir / "nowhere" / "x.shp").string(), "--classes", "1", "--quiet"}, 1,
            "The output folder does not exist");
    fs::rename(c.dir / "classes.acf", c.dir / "saved.acf");
    refused({"polygonize", c.image.string(), other.string(), "--classes", "1"}, 1,
            "cannot read the classification assistant file");
    fs::rename(c.dir / "saved.acf", c.dir / "classes.acf");
}

TEST(Commands, AreListedInTheToolHelp) {
    const std::string help = FormatToolHelp();
    EXPECT_NE(help.find("  stats "), std::string::npos);
    EXPECT_NE(help.find("  polygonize "), std::string::npos);
}

} // namespace
