// Class statistics and vectorization: rows, windows, polygonize against a flood
// fill, and `tessera stats` / `tessera polygonize`.
#include "base/commonfun.h"
#include "common/filters.h"
#include "entry/tesserauilib.h"
#include "platform/gridctrl.h"
#include "platform/xcombobox.h"
#include "postclass/CClassesStaticsDlg.h"
#include "postclass/CClassifyVectorizeDlg.h"
#include "processing/classstatistics.h"
#include "processing/polygonize.h"
#include "support/cli.h"
#include "support/fixtures.h"
#include "support/recordingprogress.h"
#include "support/references.h"
#include "support/windowharness.h"

#include <nlohmann/json.hpp>
#include <ogrsf_frmts.h>

#include <QAction>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include <limits>
#include <numeric>

using namespace tessera;

namespace {

// A class image: values row by row, EPSG:32633 (metres) unless told
// otherwise, 30 m pixels; tiled in 16 x 16 blocks so regions cross blocks.
void classImage(const fs::path& path, int width, int height, const std::vector<int>& values,
                bool withCrs = true, GDALDataType type = GDT_Byte) {
    RasterSpec spec{width, height, 1, type, {500000, 30, 0, 4000000, 0, -30}, withCrs ? 32633 : 0};
    spec.options = {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"};
    WriteRaster(path, spec, values);
}

// Naive reference: connected regions of each chosen class, by class.
std::map<int, int> floodFillRegions(const std::vector<int>& values, int width, int height,
                                    const std::set<int>& chosen, bool eight) {
    std::map<int, int> regions;
    for (const auto& members :
         FloodFill(values, width, height, eight, [&](int v) { return chosen.count(v) > 0; }).members)
        ++regions[values[members[0]]];
    return regions;
}

// What a polygon layer holds, per class number.
struct LayerSummary {
    std::map<int, int> polygons;
    std::map<int, double> area;
    std::map<int, std::set<std::string>> names;
    std::unique_ptr<OGRSpatialReference> crs;
};

LayerSummary readPolygons(const fs::path& path) {
    LayerSummary s;
    const Dataset ds = OpenDataset(path, GDAL_OF_VECTOR);
    OGRLayer* layer = ds ? ds->GetLayer(0) : nullptr;
    EXPECT_TRUE(layer) << path;
    if (!layer)
        return s;
    if (const OGRSpatialReference* srs = layer->GetSpatialRef())
        s.crs.reset(srs->Clone());
    for (auto& feature : *layer) {
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
#if defined(__SANITIZE_ADDRESS__)
struct IgnoreLeaks {
    IgnoreLeaks() { __lsan_disable(); }
    ~IgnoreLeaks() { __lsan_enable(); }
};
#else
struct IgnoreLeaks {
    IgnoreLeaks() {} // user-provided: the guard is a used variable in every build
};
#endif

} // namespace

TEST(StatisticsRows, AreaPercentUnitAndNumbersByHandEmptyHugeAndRecountedCounts) {
    // 30 x -30 pixels: 900 square units per pixel.
    const CClassifiedAssistantFile acf =
        MakeAcf({{L"Unclassified", 0, 1}, {L"水体", 1, 2}, {L"林地", 7, 3}, {L"urban", 3, 4}});
    ClassStatistics s = ComputeClassStatistics(acf, L"m");
    EXPECT_EQ(std::tuple(s.pixelArea, s.totalPixels), std::tuple(900.0, 10));
    const std::vector<StatisticsRowTexts> expected = {
        {L"0", L"Unclassified", L"1", L"10.000%", L"900.000000", L"m*m"},
        {L"1", L"水体", L"2", L"20.000%", L"1800.000000", L"m*m"},
        {L"7", L"林地", L"3", L"30.000%", L"2700.000000", L"m*m"},
        {L"3", L"urban", L"4", L"40.000%", L"3600.000000", L"m*m"},
    };
    EXPECT_EQ(ClassStatisticsRows(acf, L"m"), expected);
    // Percentages add up to a hundred within the last digit.
    const std::vector<StatisticsRowTexts> rows = ClassStatisticsRows(
        MakeAcf({{L"a", 0, 1}, {L"b", 1, 1}, {L"c", 2, 1}, {L"d", 3, 7919}, {L"e", 4, 104729}}, 0.5, 2),
        L"degree");
    double sum = 0;
    for (const StatisticsRowTexts& row : rows) {
        ASSERT_EQ(row[3].back(), L'%');
        sum += std::stod(row[3].substr(0, row[3].size() - 1));
        EXPECT_EQ(row[5], L"degree*degree");
    }
    EXPECT_NEAR(sum, 100.0, 0.0005 * rows.size());
    EXPECT_EQ(rows[0][3] + L" " + rows[4][4], L"0.001% 104729.000000"); // 1 / 112651; |0.5 x 2| per pixel
    // All empty: a dash and no share; no classes at all: no rows.
    s = ComputeClassStatistics(MakeAcf({{L"Unclassified", 0, 0}, {L"x", 1, 0}}), L"m");
    EXPECT_EQ(s.totalPixels, 0);
    for (const ClassStatistic& c : s.classes)
        EXPECT_FALSE(c.percent.has_value());
    for (const StatisticsRowTexts& row : FormatStatisticsRows(s))
        EXPECT_EQ(row[3] + L" " + row[4], L"- 0.000000");
    EXPECT_TRUE(ClassStatisticsRows(CClassifiedAssistantFile(), L"m").empty());
    // Huge counts saturate the total instead of overflowing.
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    s = ComputeClassStatistics(MakeAcf({{L"a", 0, max}, {L"b", 1, max}}), L"m");
    EXPECT_EQ(std::tuple(s.totalPixels, FormatStatisticsRows(s)[0][2]),
              std::tuple(max, std::to_wstring(max)));
    // Recounted counts go by class number; values without a class follow.
    s = ComputeClassStatistics(MakeAcf({{L"Unclassified", 0, 99}, {L"a", 1, 99}, {L"b", 2, 99}}), L"m",
                               {{0, 5}, {2, 10}, {9, 5}});
    ASSERT_EQ(s.classes.size(), 4u);
    EXPECT_EQ(std::tuple(s.classes[0].pixelCount, s.classes[1].pixelCount, s.classes[2].pixelCount,
                         s.classes[3].classNumber, s.classes[3].name, s.totalPixels),
              std::tuple(5, 0, 10, 9, std::wstring(), 20));
    EXPECT_DOUBLE_EQ(*s.classes[2].percent, 50.0);
}

TEST(PixelRecount, CountsEveryValueAcrossBlocksAndRefusesNonClasses) {
    const fs::path dir = Scratch("recount");
    const int w = 37, h = 29;
    const std::vector<int> values = PatchyClasses(w, h, 0, 3, 11);
    classImage(dir / "c.tif", w, h, values);
    std::map<int, std::int64_t> expected, counts;
    for (int v : values)
        ++expected[v];
    std::wstring error;
    ASSERT_TRUE(CountClassPixels(WPath(dir / "c.tif"), counts, error)) << Narrow(error);
    EXPECT_EQ(counts, expected);

    std::vector<int> negative = values;
    negative[5 * w + 3] = -2;
    classImage(dir / "n.tif", w, h, negative, true, GDT_Int16);
    EXPECT_FALSE(CountClassPixels(WPath(dir / "n.tif"), counts, error));
    EXPECT_NE(error.find(L"pixel (3, 5) holds -2"), std::wstring::npos) << Narrow(error);
    EXPECT_FALSE(CountClassPixels(WPath(dir / "missing.tif"), counts, error));
}

class StatisticsDlgTest : public WindowTest<CClassesStaticsDlg, CTesseraUILib::ShowStaticsClassifyDlg> {
protected:
    using D = CClassesStaticsDlg;
    void SetUp() override {
        reopen();
        dir = Scratch("statistics-window");
    }
    void openImage(const fs::path& image) {
        ui.ChooseFileAnswer(WPath(image));
        window->SendCommand(D::ID_FILE_OPEN_CLASSIFIED);
    }
    // The table's rows after the header.
    std::vector<StatisticsRowTexts> shownRows() const {
        CGridCtrl& table = *window->Table();
        EXPECT_EQ(table.GetItemText(0, 0) + table.GetItemText(0, 5), L"类号单位"); // the header row
        std::vector<StatisticsRowTexts> rows(table.GetRowCount() - 1);
        for (int r = 1; r < table.GetRowCount(); ++r)
            for (int c = 0; c < 6; ++c)
                rows[r - 1][c] = table.GetItemText(r, c);
        return rows;
    }
    // A georeferenced image (metres) with its .acf.
    fs::path imageWithAcf(const std::string& name) {
        const fs::path image = dir / (name + ".tif");
        classImage(image, 4, 3, std::vector<int>(12, 1));
        WriteAcf(image, {{L"Unclassified", 0, 2}, {L"水体", 1, 6}, {L"林地", 2, 4}});
        return image;
    }

    fs::path dir;
};

TEST_F(StatisticsDlgTest, OpenFillsOneReadOnlyRowPerClassWithTheImageUnit) {
    CGridCtrl& table = *window->Table();
    EXPECT_EQ(RowTexts(table, 0),
              (std::vector<std::wstring>{L"类号", L"类名", L"像素数", L"所占百分比", L"面积", L"单位"}));
    EXPECT_EQ(std::tuple(table.GetRowCount(), window->IsLoaded()), std::tuple(1, false));
    openImage(imageWithAcf("classes"));
    EXPECT_EQ(ui.Asked(0), (FileAsk{true, L".tif", 6, false, Filters::RasterInput})); // the toolkit's chooser
    EXPECT_EQ(std::tuple(ui.messages.size(), window->IsLoaded(), window->UnitName()),
              std::tuple(0u, true, std::wstring(L"m")));
    EXPECT_EQ(shownRows(), (std::vector<StatisticsRowTexts>{
                               {L"0", L"Unclassified", L"2", L"16.667%", L"1800.000000", L"m*m"},
                               {L"1", L"水体", L"6", L"50.000%", L"5400.000000", L"m*m"},
                               {L"2", L"林地", L"4", L"33.333%", L"3600.000000", L"m*m"},
                           }));
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c < 6; ++c)
            EXPECT_TRUE(table.GetItemState(r, c) & GVIS_READONLY) << r << "," << c;
    window->SendCommand(D::ID_STATISTICS_HELP);
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{4, 6}}));
    window->SendCommand(D::ID_FILE_EXIT);
    EXPECT_TRUE(closed());
}

TEST_F(StatisticsDlgTest, MissingCorruptAcfOrUnopenableImage) {
    const fs::path image = dir / "lonely.tif";
    classImage(image, 4, 3, std::vector<int>(12, 1));
    openImage(image);
    EXPECT_EQ(ui.Shown(), std::vector<std::wstring>{L"找不到分类辅助文件 | 提示"});
    EXPECT_EQ(ui.messages[0].type & MB_TYPEMASK, MB_OK);
    EXPECT_EQ(std::tuple(window->IsLoaded(), window->UnitName(), shownRows().size()),
              std::tuple(false, std::wstring(L"m"), 0u));                                // the image did open
    WriteBytes(dir / "lonely.acf", "TESSERA-ACF 1\npixel-size 30 -30\nclass-count 2\n"); // truncated
    openImage(image);
    EXPECT_EQ(ui.Shown(), std::vector<std::wstring>(2, L"找不到分类辅助文件 | 提示"));
    EXPECT_EQ(std::tuple(window->IsLoaded(), shownRows().size()), std::tuple(false, 0u));
    // An image that cannot be opened with a readable .acf: no message, the unknown unit.
    window->SendCommand(IDCANCEL);
    SetUp();
    WriteAcf(dir / "ghost.acf", {{L"a", 0, 1}, {L"b", 1, 3}});
    openImage(dir / "ghost.tif");
    EXPECT_EQ(ui.messages.size(), 2u);
    const std::vector<StatisticsRowTexts> rows = shownRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][5] + L" " + rows[1][3], L"Unkown*Unkown 75.000%");
}

TEST_F(StatisticsDlgTest, SecondOpenAsksToCloseAndOnlyYesGoesOn) {
    openImage(imageWithAcf("first"));
    ASSERT_EQ(shownRows().size(), 3u);
    for (int answer : {IDNO, IDCANCEL}) {
        ui.messageAnswers.push_back(answer);
        const size_t files = ui.fileRequests.size();
        window->SendCommand(D::ID_FILE_OPEN_CLASSIFIED);
        EXPECT_EQ(std::tuple(ui.fileRequests.size(), shownRows().size()), std::tuple(files, 3u)) << answer;
        EXPECT_NE(window->Image(), nullptr);
    }
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.Shown()[0], L"是否关闭当前统计信息文件？ | "); // the toolkit's default caption
    EXPECT_EQ(ui.messages[0].type, MB_YESNOCANCEL | MB_ICONINFORMATION);
    // Yes, then the chooser is cancelled: an empty table, the image released;
    // the window stays loaded.
    ui.messageAnswers.push_back(IDYES);
    ui.CancelFileAnswer();
    window->SendCommand(D::ID_FILE_OPEN_CLASSIFIED);
    EXPECT_EQ(std::tuple(shownRows().size(), window->Image(), window->AssistantFile().GetClassCount(),
                         window->IsLoaded()),
              std::tuple(0u, nullptr, 0, true));
    // The next Open asks again; Yes and a second image fill the table anew.
    const fs::path second = dir / "second.tif";
    classImage(second, 2, 2, std::vector<int>(4, 0), false);
    WriteAcf(second, {{L"only", 5, 4}}, 10, 10);
    ui.messageAnswers.push_back(IDYES);
    openImage(second);
    EXPECT_EQ(ui.messages.size(), 4u);
    EXPECT_EQ(shownRows(), (std::vector<StatisticsRowTexts>{
                               {L"5", L"only", L"4", L"100.000%", L"400.000000", L"unknown*unknown"}}));
}

using namespace VectorizeSetup;
using Names = std::vector<std::wstring>;

TEST(VectorizeSetupFunctions, MovesTheClassMapAndTheRecordFlags) {
    EXPECT_EQ(TrimLeading(L" \t water "), L"water ");
    // ">" twice with the same selection adds each once; blanks are ignored when comparing.
    EXPECT_EQ(TextsToAdd({}, {L"a", L" b"}), (Names{L"a", L"b"}));
    EXPECT_TRUE(TextsToAdd({L"a", L"b"}, {L"a", L" b"}).empty());
    EXPECT_EQ(TextsToAdd({L"a"}, {L"A", L"b", L"b"}), (Names{L"A", L"b"})); // case-sensitive
    const CClassifiedAssistantFile acf =
        MakeAcf({{L"Unclassified", 0, 1}, {L"水体", 1, 1}, {L"林地", 2, 1}, {L"林地", 7, 1}});
    // Every class of a name sets the entry, the last one in file order stays.
    EXPECT_EQ(BuildClassMap({L" 水体", L"林地", L"nothing", L"unclassified"}, acf),
              (std::map<std::wstring, int>{{L"水体", 1}, {L"林地", 7}}));
    EXPECT_TRUE(BuildClassMap({}, acf).empty());
    // A shapefile only for a path ending in ".shp" (the windows take the other corners).
    ScriptedHost host;
    const int byDefault = CRasterPolygonizeParam().m_shapeFile;
    const std::map<std::wstring, int> four = {{L"a", 0}, {L"b", 1}, {L"c", 2}, {L"d", 3}};
    EXPECT_EQ(BuildPolygonizeRecord(L"/in.tif", L"/d.shp/out", four, 5, &host).m_shapeFile, byDefault);
    EXPECT_EQ(std::tuple(ShapeFileFlagForPath(L"/x/y.shp"), ShapeFileFlagForPath(L"/x/y.gpkg")),
              std::tuple(1, 0));
}

class VectorizeDlgTest : public WindowTest<CClassifyVectorizeDlg, CTesseraUILib::ShowVectorizeClassifyDlg> {
protected:
    using D = CClassifyVectorizeDlg;
    void SetUp() override {
        reopen();
        dir = Scratch("vectorize-window");
        WriteAcf(dir / "five.acf", {{L"Unclassified", 0, 1},
                                    {L"water", 1, 1},
                                    {L" forest", 2, 1},
                                    {L"Crop", 3, 1},
                                    {L"bare", 4, 1}});
        WriteAcf(dir / "other.acf", {{L"water", 9, 1}, {L"urban", 8, 1}});
    }
    void browseInput(const std::string& name) { choose(D::IDC_INPUT_BROWSE, WPath(dir / name)); }

    fs::path dir;
};

TEST_F(VectorizeDlgTest, ChoosersUseTheHostAndClassesMoveBetweenTheLists) {
    browseInput("five.tif");
    choose(D::IDC_OUTPUT_BROWSE, L"/out/polys.shp");
    EXPECT_EQ(ui.Asked(0), (FileAsk{true, L".tif", 6, true, Filters::RasterInput}));
    EXPECT_EQ(ui.Asked(1), (FileAsk{false, L".shp", 6, true, Filters::ShapeOutput}));
    // Sorted by name, ignoring case; the acf's text as it is.
    EXPECT_EQ(texts(D::IDC_INPUT_CLASSES), (Names{L" forest", L"bare", L"Crop", L"Unclassified", L"water"}));
    auto* outputs = item<XComboBox>(D::IDC_OUTPUT_LIST);
    EXPECT_EQ(std::tuple(outputs->GetLBText(0), outputs->GetCurSel()),
              std::tuple(std::wstring(L"/out/polys.shp"), 0));
    window->SendCommand(D::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics.back(), std::make_pair(4, 1));
    click(D::IDC_ADD_ALL);
    click(D::IDC_REMOVE_ALL);
    // No class chosen: the message, and the window stays open.
    click(IDOK);
    EXPECT_EQ(ui.Shown(), Names{L"请选择矢量化的类别！ | "}); // the default caption
    EXPECT_EQ(ui.messages[0].type & MB_TYPEMASK, MB_OK);
    EXPECT_TRUE(launches.empty() && window->isVisible());
}

TEST_F(VectorizeDlgTest, MissingAcfKeepsThePathAndTheOldList) {
    browseInput("five.tif");
    browseInput("none.tif");
    EXPECT_EQ(ui.Shown(), Names{L"找不到分类辅助文件 | "});
    auto* inputs = item<XComboBox>(D::IDC_INPUT_LIST);
    EXPECT_EQ(std::tuple(inputs->GetCount(), inputs->GetCurSel(), texts(D::IDC_INPUT_CLASSES).size(),
                         window->AssistantFile().GetClassCount()),
              std::tuple(2, 1, 5u, 0)); // the list is not refreshed
    // The old list's classes can no longer reach the record.
    click(D::IDC_ADD_ALL);
    click(IDOK);
    EXPECT_EQ(std::tuple(ui.Shown(), launches.size()),
              std::tuple(Names{L"找不到分类辅助文件 | ", L"请选择矢量化的类别！ | "}, 0u));
}

TEST_F(VectorizeDlgTest, OkStartsPolygonizeWithTheRecordAndCloses) {
    browseInput("five.tif");
    choose(D::IDC_OUTPUT_BROWSE, L"/out/p.shp");
    select(D::IDC_INPUT_CLASSES, {0, 1, 2, 4}); // four of five
    click(D::IDC_ADD_SELECTED);
    const CRasterPolygonizeParam& r = startOne<CRasterPolygonizeParam>();
    EXPECT_NE(dynamic_cast<CRasterPolygonize*>(launches.back().algorithm.get()), nullptr);
    EXPECT_TRUE(launches.back().progressShown); // a progress window was attached and shown
    EXPECT_EQ(r.m_inputPath + L" " + r.m_outputPath, WPath(dir / "five.tif") + L" /out/p.shp");
    EXPECT_EQ(std::tuple(r.m_host, r.m_shapeFile, r.m_partialClasses, r.m_connectivity),
              std::tuple(&host, 1, true, 0));
    // " forest" reached the list as "forest", which names no class.
    EXPECT_EQ(r.m_classMap, (std::map<std::wstring, int>{{L"Crop", 3}, {L"bare", 4}, {L"water", 1}}));
}

TEST_F(VectorizeDlgTest, EveryClassClearsThePartialFlagAndASecondImageFiltersTheNames) {
    browseInput("five.tif");
    choose(D::IDC_OUTPUT_BROWSE, L"/out/p.SHP");
    click(D::IDC_ADD_ALL);
    browseInput("other.tif"); // water, urban: the chosen list stays
    EXPECT_EQ(texts(D::IDC_CHOSEN_CLASSES).size(), 5u);
    const CRasterPolygonizeParam& r = startOne<CRasterPolygonizeParam>();
    EXPECT_EQ(r.m_classMap, (std::map<std::wstring, int>{{L"water", 9}}));
    EXPECT_EQ(std::tuple(r.m_partialClasses, r.m_shapeFile),
              std::tuple(true, CRasterPolygonizeParam().m_shapeFile))
        << "1 of 2; \"SHP\" keeps the default";
    // All the classes of the image clear the partial flag; no output is checked by the window.
    reopen();
    WriteAcf(dir / "plain.acf", {{L"a", 0, 1}, {L"b", 1, 1}, {L"c", 2, 1}, {L"d", 3, 1}, {L"e", 4, 1}});
    browseInput("plain.tif");
    click(D::IDC_ADD_ALL);
    const CRasterPolygonizeParam& all = startOne<CRasterPolygonizeParam>();
    EXPECT_EQ(std::tuple(all.m_partialClasses, all.m_outputPath), std::tuple(false, std::wstring()));
}

namespace {

struct PolygonizeCase {
    fs::path dir, image, output;
    int width = 53, height = 41;
    std::vector<int> values;
};

PolygonizeCase makeCase(const std::string& name, std::uint32_t seed = 5, bool withCrs = true) {
    PolygonizeCase c;
    c.dir = Scratch(name);
    c.image = c.dir / "classes.tif";
    c.output = c.dir / "out" / "polygons.shp";
    fs::create_directories(c.dir / "out");
    c.values = PatchyClasses(c.width, c.height, 0, 3, seed);
    classImage(c.image, c.width, c.height, c.values, withCrs);
    WriteAcf(c.image, {{L"Unclassified", 0}, {L"水体", 1}, {L"林地 forest", 2}, {L"urban", 3}});
    return c;
}

CRasterPolygonizeParam recordFor(const PolygonizeCase& c, std::map<std::wstring, int> classes,
                                 int connectivity = 0) {
    CRasterPolygonizeParam p;
    p.m_inputPath = WPath(c.image);
    p.m_outputPath = WPath(c.output);
    p.m_shapeFile = ShapeFileFlagForPath(p.m_outputPath);
    p.m_classMap = std::move(classes);
    p.m_connectivity = connectivity;
    return p;
}

void expectMatchesReference(const PolygonizeCase& c, const fs::path& output, const std::set<int>& chosen,
                            bool eight, const std::map<int, std::string>& names) {
    const LayerSummary s = readPolygons(output);
    EXPECT_EQ(s.polygons, floodFillRegions(c.values, c.width, c.height, chosen, eight));
    std::map<int, std::int64_t> pixels;
    for (int v : c.values)
        ++pixels[v];
    for (int v : chosen) {
        EXPECT_NEAR(s.area.at(v), pixels[v] * 900.0, 1e-6 * pixels[v] * 900.0)
            << v; // every pixel covered once
        EXPECT_EQ(s.names.at(v), std::set<std::string>{names.at(v)}) << v;
    }
}

// The algorithm run through the progress object: the failure message it
// reports, and the output folder left as it was.
void expectFailure(const CRasterPolygonizeParam& p, const std::wstring& messagePart, const fs::path& folder) {
    const std::set<std::string> before = fs::is_directory(folder) ? FilesIn(folder) : std::set<std::string>{};
    RecordingProgress progress;
    CRasterPolygonize algorithm(&p, &progress);
    EXPECT_FALSE(algorithm.ProcessFromNewThread(false));
    EXPECT_TRUE(progress.finished && !progress.succeeded);
    EXPECT_NE(progress.message.find(messagePart), std::wstring::npos) << Narrow(progress.message);
    if (fs::is_directory(folder))
        EXPECT_EQ(FilesIn(folder), before);
}

} // namespace

TEST(Polygonize, OnePolygonPerFourOrEightConnectedRegionWithNamesAndCrsReplacingAnEarlierShapefile) {
    // Each image's reference tells four- from eight-connected regions apart.
    const struct {
        std::uint32_t seed;
        bool withCrs; // without: no .prj
        int connectivity;
        std::map<int, std::string> names;
    } cases[] = {{5, true, 0, {{1, "水体"}, {3, "urban"}}},
                 {9, true, 8, {{0, "Unclassified"}, {2, "林地 forest"}}},
                 {5, false, 0, {{1, "水体"}}}};
    for (const auto& [seed, withCrs, connectivity, names] : cases) {
        const PolygonizeCase c =
            makeCase("poly" + std::to_string(seed) + (withCrs ? "" : "-local"), seed, withCrs);
        std::map<std::wstring, int> classes;
        std::set<int> chosen;
        for (const auto& [value, name] : names)
            classes[CommonFun::M2U(name)] = value, chosen.insert(value);
        const CRasterPolygonizeParam earlier = recordFor(c, {{L"urban", 3}}),
                                     p = recordFor(c, classes, connectivity);
        ASSERT_TRUE(CRasterPolygonize(&earlier, nullptr).ProcessFromNewThread(false));
        CRasterPolygonize algorithm(&p, nullptr);
        ASSERT_TRUE(algorithm.ProcessFromNewThread(false)) << Narrow(algorithm.GetLastError());
        const bool eight = connectivity == 8;
        expectMatchesReference(c, c.output, chosen, eight, names);
        const std::map<int, int> regions = floodFillRegions(c.values, c.width, c.height, chosen, eight);
        EXPECT_EQ(algorithm.PolygonCount(),
                  std::accumulate(regions.begin(), regions.end(), 0,
                                  [](int n, const auto& r) { return n + r.second; }));
        EXPECT_NE(regions, floodFillRegions(c.values, c.width, c.height, chosen, !eight));
        const LayerSummary s = readPolygons(c.output);
        OGRSpatialReference utm;
        utm.importFromEPSG(32633);
        EXPECT_TRUE(withCrs ? s.crs && s.crs->IsSame(&utm) : !s.crs);
        // The shapefile and its side files under the target's name, nothing else.
        std::set<std::string> files{"polygons.shp", "polygons.shx", "polygons.dbf", "polygons.cpg"};
        if (withCrs)
            files.insert("polygons.prj");
        EXPECT_EQ(FilesIn(c.dir / "out"), files);
    }
}

TEST(Polygonize, HandMadeImageWithAHole) {
    // 1 1 1 1
    // 1 2 2 1      class 1: one ring-shaped region with a hole
    // 1 1 1 1      class 2: one region; class 3: two diagonal pixels
    // 3 0 0 0
    // 0 3 0 0
    PolygonizeCase c;
    c.dir = Scratch("hole");
    c.image = c.dir / "h.tif";
    c.output = c.dir / "h.gpkg"; // any OGR format by extension
    c.width = 4;
    c.height = 5;
    c.values = {1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 1, 3, 0, 0, 0, 0, 3, 0, 0};
    classImage(c.image, c.width, c.height, c.values);
    WriteAcf(c.dir / "h.acf", {{L"u", 0}, {L"one", 1}, {L"two", 2}, {L"three", 3}});
    CRasterPolygonizeParam p = recordFor(c, {{L"one", 1}, {L"three", 3}});
    EXPECT_EQ(p.m_shapeFile, 0);
    CRasterPolygonize four(&p, nullptr);
    ASSERT_TRUE(four.ProcessFromNewThread(false)) << Narrow(four.GetLastError());
    LayerSummary s = readPolygons(c.output);
    EXPECT_EQ(s.polygons, (std::map<int, int>{{1, 1}, {3, 2}}));
    EXPECT_DOUBLE_EQ(s.area[1], 10 * 900.0);
    p.m_connectivity = 8;
    CRasterPolygonize eight(&p, nullptr);
    ASSERT_TRUE(eight.ProcessFromNewThread(false)) << Narrow(eight.GetLastError());
    s = readPolygons(c.output); // the earlier result was replaced
    EXPECT_EQ(s.polygons, (std::map<int, int>{{1, 1}, {3, 1}}));
    EXPECT_EQ(FilesIn(c.dir), (std::set<std::string>{"h.tif", "h.acf", "h.gpkg"}));
}

TEST(Polygonize, BadInputFailsWithAMessageAndWritesNothing) {
    const PolygonizeCase c = makeCase("bad");
    const fs::path out = c.dir / "out";
    expectFailure(recordFor(c, {}), L"No class was chosen to vectorize.", out);
    expectFailure(recordFor(c, {{L"ghost", 12}}),
                  L"Class 12 (ghost) is not in the classification assistant file", out);
    expectFailure(recordFor(c, {{L"urban", 3}}, 6), L"The connectivity must be 4 or 8 (got 6).", out);

    CRasterPolygonizeParam p = recordFor(c, {{L"urban", 3}});
    p.m_outputPath = WPath(out / "polygons.xyz123");
    expectFailure(p, L"A shapefile's name must end in .shp", out); // the flag says shapefile
    p.m_shapeFile = 0;
    expectFailure(p, L"Cannot tell the vector format", out);
    p.m_outputPath = WPath(out / "polygons");
    expectFailure(p, L"Cannot tell the vector format", out);
    p.m_outputPath = WPath(c.dir / "missing" / "p.shp");
    expectFailure(p, L"The output folder does not exist", out);
    EXPECT_FALSE(fs::exists(c.dir / "missing"));
    p.m_outputPath = WPath(out); // a folder
    expectFailure(p, L"The output path is a folder", out);
    // No .acf: the pixel values are the classes; then a corrupt .acf.
    fs::remove(c.dir / "classes.acf");
    expectFailure(recordFor(c, {{L"ghost", 12}}), L"Class 12 (ghost) is not in the pixel values of", out);
    WriteBytes(c.dir / "classes.acf", "TESSERA-ACF 1\npixel-size 30 -30\nclass-count 9\nend\n");
    expectFailure(recordFor(c, {{L"urban", 3}}), L"Cannot read the classification assistant file", out);
    // Not a classified image: a multi-band raster.
    const fs::path rgb = WriteRaster(c.dir / "rgb.tif", {4, 4, 3, GDT_Byte}, PixelValue());
    WriteAcf(rgb, {{L"urban", 3}});
    p = recordFor(c, {{L"urban", 3}});
    p.m_inputPath = WPath(rgb);
    expectFailure(p, L"is not a classified image: it has 3 bands", out);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(Polygonize, CancelLeavesNothingBehindAndTheRecordIsCopied) {
    PolygonizeCase c = makeCase("cancel");
    // A larger image so the polygonizer reports progress along the way.
    c.width = 300;
    c.height = 400;
    c.values = PatchyClasses(c.width, c.height, 0, 3, 3);
    classImage(c.image, c.width, c.height, c.values);
    auto* p = new CRasterPolygonizeParam(recordFor(c, {{L"水体", 1}}, 8));
    RecordingProgress progress;
    progress.cancelAfter = 2;
    CRasterPolygonize algorithm(p, &progress);
    delete p; // the record dies right after the start
    EXPECT_EQ(std::tuple(algorithm.GetProgress(), algorithm.Param().m_inputPath,
                         algorithm.Param().m_classMap.at(L"水体"), algorithm.Param().m_connectivity),
              std::tuple(&progress, WPath(c.image), 1, 8));
    {
        // GDAL 3.6's polygonizer leaks the polygons it holds open when its
        // progress callback stops it; that leak is GDAL's, not ours.
        IgnoreLeaks gdalCancelLeak;
        EXPECT_FALSE(algorithm.ProcessFromNewThread(false));
    }
    EXPECT_TRUE(algorithm.WasCancelled() && progress.message.empty() && fs::is_empty(c.dir / "out"));

    AlgorithmParam base; // a base record: no classes
    base.m_inputPath = L"/x.tif";
    CRasterPolygonize fromBase(&base, nullptr);
    EXPECT_EQ(std::tuple(fromBase.Param().m_inputPath, fromBase.Param().m_classMap.size()),
              std::tuple(std::wstring(L"/x.tif"), 0u));
}

TEST(StatsCommand, TableJsonAndRecount) {
    const fs::path dir = Scratch("stats-cli");
    const std::string image = (dir / "c.tif").string(), empty = (dir / "empty.tif").string();
    classImage(image, 3, 3, {0, 1, 1, 2, 2, 2, 7, 1, 1});
    WriteAcf(image, {{L"Unclassified", 0, 2}, {L"水体", 1, 6}, {L"林地", 2, 4}});

    CliRun r = RunTessera({"stats", image});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "class\tname\tpixels\tpercent\tarea\tunit\tm2\tha\tkm2\n"
                     "0\tUnclassified\t2\t16.667%\t1800.000000\tm*m\t1800.00\t0.1800\t0.001800\n"
                     "1\t水体\t6\t50.000%\t5400.000000\tm*m\t5400.00\t0.5400\t0.005400\n"
                     "2\t林地\t4\t33.333%\t3600.000000\tm*m\t3600.00\t0.3600\t0.003600\n");

    r = RunTessera({"stats", image, "--recount", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "class\tname\tpixels\tpercent\tarea\tunit\tm2\tha\tkm2\n"
                     "0\tUnclassified\t1\t11.111%\t900.000000\tm*m\t900.00\t0.0900\t0.000900\n"
                     "1\t水体\t4\t44.444%\t3600.000000\tm*m\t3600.00\t0.3600\t0.003600\n"
                     "2\t林地\t3\t33.333%\t2700.000000\tm*m\t2700.00\t0.2700\t0.002700\n"
                     "7\t\t1\t11.111%\t900.000000\tm*m\t900.00\t0.0900\t0.000900\n");

    r = RunTessera({"stats", image, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    nlohmann::json json = nlohmann::json::parse(r.out);
    EXPECT_EQ(std::tuple(json["unit"], json["total_pixels"], json["classes"][1]),
              std::tuple("m", 12,
                         nlohmann::json::parse(
                             R"({"number": 1, "name": "水体", "pixels": 6, "percent": 50, "area": 5400,
                                "area_m2": 5400, "area_ha": 0.54, "area_km2": 0.0054})")))
        << r.out;
    // All empty: the shares are null in JSON; an image that cannot be opened keeps the placeholder unit.
    WriteAcf(empty, {{L"a\"b", 0, 0}});
    r = RunTessera({"stats", empty, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    json = nlohmann::json::parse(r.out);
    EXPECT_EQ(std::tuple(json["classes"][0]["name"], json["classes"][0]["pixels"], json["unit"]),
              std::tuple("a\"b", 0, "Unkown"))
        << r.out;
    EXPECT_TRUE(json["classes"][0]["percent"].is_null()) << r.out;
    // Without an .acf the pixel values are the classes; a recount needs the image; a corrupt .acf
    // is a one-line failure.
    const std::string lone = (dir / "lone.tif").string();
    classImage(lone, 3, 3, std::vector<int>(9, 1));
    r = RunTessera({"stats", lone, "--quiet"});
    EXPECT_EQ(
        std::tuple(r.code, r.out.substr(r.out.find('\n') + 1)),
        std::tuple(0, std::string("1\tClass 1\t9\t100.000%\t8100.000000\tm*m\t8100.00\t0.8100\t0.008100\n")))
        << r.err;
    ExpectRefusals({{{"stats"}, 2, ""}}, dir);
    WriteBytes(dir / "lone.acf", "not an acf\n");
    ExpectRefusals({{{"stats", empty, "--recount", "--quiet"}, 1, ""}, {{"stats", lone}, 1, ""}}, dir);
}

TEST(PolygonizeCommand, WritesTheChosenClassesAndRefusesBadInput) {
    const PolygonizeCase c = makeCase("poly-cli", 21);
    CliRun r = RunTessera(
        {"polygonize", c.image.string(), c.output.string(), "--classes", "2,0", "--eight", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::map<int, int> regions = floodFillRegions(c.values, c.width, c.height, {0, 2}, true);
    EXPECT_EQ(r.out, "polygonize: wrote " + std::to_string(regions.at(0) + regions.at(2)) + " polygons to " +
                         c.output.string() + "\n");
    expectMatchesReference(c, c.output, {0, 2}, true, {{0, "Unclassified"}, {2, "林地 forest"}});

    const std::string image = c.image.string(), other = (c.dir / "out" / "second.shp").string();
    // Refused, with the start of the message.
    const auto refused = [&](std::vector<std::string> args, int code, const std::string& start) {
        args.insert(args.begin(), {"polygonize", image});
        return Refusal{args, code, "tessera polygonize: " + start};
    };
    const std::string acf = ReadBytes(c.dir / "classes.acf");
    ExpectRefusals({refused({other, "--quiet"}, 2, "--classes is required"),
                    refused({other, "--classes", "4"}, 2, "--classes: class 4 is not in"),
                    refused({other, "--classes", "-1"}, 2, "--classes"),
                    refused({(c.dir / "nowhere" / "x.shp").string(), "--classes", "1", "--quiet"}, 1,
                            "The output folder does not exist")},
                   c.dir / "out");
    WriteBytes(c.dir / "classes.acf", "not an acf\n");
    ExpectRefusals({refused({other, "--classes", "1"}, 1, "Cannot read the classification assistant file")},
                   c.dir / "out");
    WriteBytes(c.dir / "classes.acf", acf);
}
