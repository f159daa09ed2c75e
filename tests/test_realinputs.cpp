// Classified rasters made by other tools (classes only in a raster attribute
// table, sparse codes, nodata) through every command, and the check points a
// user asks for: sparse references and vector references.
#include "support/cli.h"
#include "support/fixtures.h"

#include <gdal_rat.h>
#include <nlohmann/json.hpp>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <map>
#include <set>

using Json = nlohmann::json;

namespace {

// 6 x 4, 30 m pixels in UTM 33N, nodata 255; codes 11 21 42 95 as a land-cover product has them:
//   11 11 21 21 42 42
//   11 11 21 42 42 95
//   11 21 21 42 95 95
//  255 255 21 42 95 95
const std::vector<double> kCodes = {11, 11, 21, 21, 42, 42, 11,  11,  21, 42, 42, 95,
                                    11, 21, 21, 42, 95, 95, 255, 255, 21, 42, 95, 95};
struct Row {
    int value;
    const char* name;
    int r, g, b;
};
// 31 is named but no pixel has it.
const std::vector<Row> kTable = {{11, "Open water", 70, 107, 159},
                                 {21, "Developed", 222, 197, 197},
                                 {31, "Barren", 179, 172, 159},
                                 {42, "Evergreen forest", 28, 95, 44},
                                 {95, "Wetland", 112, 163, 186}};

// The map with its classes in an attribute table only: the value column by
// usage, the names in a generic text column (no name usage), as many real
// tables have them.
fs::path foreignMap(const fs::path& dir) {
    const fs::path path = WriteRaster(dir / "landcover.tif",
                                      {.width = 6,
                                       .height = 4,
                                       .type = GDT_Byte,
                                       .geo = {500000, 30, 0, 4000000, 0, -30},
                                       .epsg = 32633,
                                       .nodata = {{1, 255}}},
                                      kCodes);
    Dataset ds = OpenDataset(path, GDAL_OF_RASTER | GDAL_OF_UPDATE);
    GDALDefaultRasterAttributeTable rat;
    rat.CreateColumn("VALUE", GFT_Integer, GFU_MinMax);
    rat.CreateColumn("Land Cover", GFT_String, GFU_Generic);
    rat.CreateColumn("R", GFT_Integer, GFU_Red);
    rat.CreateColumn("G", GFT_Integer, GFU_Green);
    rat.CreateColumn("B", GFT_Integer, GFU_Blue);
    for (int i = 0; i < static_cast<int>(kTable.size()); ++i) {
        const Row& r = kTable[i];
        rat.SetValue(i, 0, r.value);
        rat.SetValue(i, 1, r.name);
        rat.SetValue(i, 2, r.r);
        rat.SetValue(i, 3, r.g);
        rat.SetValue(i, 4, r.b);
    }
    ds->GetRasterBand(1)->SetDefaultRAT(&rat);
    return path;
}

// What GDAL reads back from a classified output: per value, the attribute
// table's name, colour and count, found through the columns' usages.
struct TableRow {
    std::string name;
    std::array<int, 3> rgb;
    long long count;
    bool operator==(const TableRow&) const = default;
};
std::map<int, TableRow> readTable(const fs::path& path) {
    Dataset ds = OpenDataset(path);
    const GDALRasterAttributeTable* rat = ds ? ds->GetRasterBand(1)->GetDefaultRAT() : nullptr;
    std::map<int, TableRow> rows;
    if (!rat)
        return rows;
    const auto col = [&](GDALRATFieldUsage u) { return rat->GetColOfUsage(u); };
    for (int i = 0; i < rat->GetRowCount(); ++i)
        rows[rat->GetValueAsInt(i, col(GFU_MinMax))] = {
            rat->GetValueAsString(i, col(GFU_Name)),
            {rat->GetValueAsInt(i, col(GFU_Red)), rat->GetValueAsInt(i, col(GFU_Green)),
             rat->GetValueAsInt(i, col(GFU_Blue))},
            static_cast<long long>(rat->GetValueAsDouble(i, col(GFU_PixelCount)))};
    return rows;
}

std::map<int, int> histogram(const fs::path& path) {
    std::map<int, int> counts;
    for (int v : ReadBand(path))
        ++counts[v];
    return counts;
}

} // namespace

TEST(ForeignClassRaster, EveryCommandKeepsCodesNamesAndColours) {
    const fs::path dir = Scratch("foreign");
    const std::string map = foreignMap(dir).string();

    // stats: the table's classes by value, counted from the pixels (nodata left out), areas in m2 / ha / km2.
    CliRun r = RunTessera({"stats", map, "--json", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    Json s = Json::parse(r.out);
    EXPECT_EQ(s["classes_from"], "attribute_table");
    std::vector<std::tuple<int, std::string, int, double, double>> rows;
    for (const Json& c : s["classes"])
        rows.emplace_back(c["number"], c["name"], c["pixels"], c["area_m2"], c["area_ha"]);
    EXPECT_EQ(rows, (decltype(rows){{11, "Open water", 5, 4500, 0.45},
                                    {21, "Developed", 6, 5400, 0.54},
                                    {31, "Barren", 0, 0, 0},
                                    {42, "Evergreen forest", 6, 5400, 0.54},
                                    {95, "Wetland", 5, 4500, 0.45}}));
    EXPECT_DOUBLE_EQ(s["classes"][0]["area_km2"].get<double>(), 0.0045);

    // merge by name: Developed joins Open water; every code, name and colour stays, nodata stays nodata (0).
    const fs::path merged = dir / "merged.tif";
    r = RunTessera({"merge", map, merged.string(), "--rule", "Developed=Open water", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(histogram(merged), (std::map<int, int>{{0, 2}, {11, 11}, {42, 6}, {95, 5}}));
    EXPECT_EQ(readTable(merged), (std::map<int, TableRow>{{0, {"Unclassified", {0, 0, 0}, 2}},
                                                          {11, {"Open water", {70, 107, 159}, 11}},
                                                          {21, {"Developed", {222, 197, 197}, 0}},
                                                          {31, {"Barren", {179, 172, 159}, 0}},
                                                          {42, {"Evergreen forest", {28, 95, 44}, 6}},
                                                          {95, {"Wetland", {112, 163, 186}, 5}}}));
    {
        Dataset ds = OpenDataset(merged);
        GDALRasterBand* band = ds->GetRasterBand(1);
        const GDALColorEntry* e = band->GetColorTable()->GetColorEntry(42);
        EXPECT_EQ(std::tuple(e->c1, e->c2, e->c3), std::tuple(28, 95, 44));
        EXPECT_STREQ(band->GetCategoryNames()[95], "Wetland");
        EXPECT_EQ(band->GetNoDataValue(), 0);
    }
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(PairedAssistantFilePath(WPath(merged))));
    std::vector<int> numbers;
    for (const ClassRecord* c : acf.GetClassRecords())
        numbers.push_back(c->m_classNumber);
    EXPECT_EQ(numbers, (std::vector<int>{0, 11, 21, 31, 42, 95}));

    // sieve: the 5-pixel Wetland region is below 6 and every pixel bordering it is Evergreen forest.
    const fs::path sieved = dir / "sieved.tif";
    r = RunTessera({"sieve", map, sieved.string(), "--classes", "95", "--threshold", "6", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(histogram(sieved), (std::map<int, int>{{0, 2}, {11, 5}, {21, 6}, {42, 11}}));
    EXPECT_EQ(readTable(sieved).at(95), (TableRow{"Wetland", {112, 163, 186}, 0}));

    // clump of Evergreen forest: the output keeps the codes and the table's names.
    const fs::path clumped = dir / "clumped.tif";
    r = RunTessera({"clump", map, clumped.string(), "--classes", "42", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readTable(clumped).at(42).name, "Evergreen forest");
    for (int v : ReadBand(clumped))
        EXPECT_TRUE(v == 0 || v == 11 || v == 21 || v == 42 || v == 95) << v;

    // polygonize: one region of each chosen class, with its code and its name.
    const fs::path polygons = dir / "classes.gpkg";
    r = RunTessera({"polygonize", map, polygons.string(), "--classes", "42,95", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::set<std::pair<int, std::string>> features;
    Dataset vector = OpenDataset(polygons, GDAL_OF_VECTOR);
    for (auto& f : *vector->GetLayer(0))
        features.emplace(f->GetFieldAsInteger("class_id"), f->GetFieldAsString("class_name"));
    EXPECT_EQ(features, (std::set<std::pair<int, std::string>>{{42, "Evergreen forest"}, {95, "Wetland"}}));

    // accuracy against itself: 22 pixels with a reference, the classes by value.
    r = RunTessera({"accuracy", map, "--reference", map, "--report", (dir / "r.txt").string(), "--json",
                    (dir / "r.json").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const Json a = Json::parse(ReadBytes(dir / "r.json"));
    EXPECT_EQ(std::tuple(a["points"], a["counted_points"], a["overall_accuracy"]), std::tuple(22, 22, 100));
    std::vector<std::pair<int, int>> totals;
    for (const Json& c : a["classes"])
        totals.emplace_back(c["value"], c["reference_total"]);
    EXPECT_EQ(totals, (std::vector<std::pair<int, int>>{{11, 5}, {21, 6}, {31, 0}, {42, 6}, {95, 5}}));
    EXPECT_NE(ReadBytes(dir / "r.txt").find("95 Wetland"), std::string::npos);
}

namespace {

// A 10 x 10 map without .acf, crop (1) in columns 0-4 and forest (2) in 5-9,
// its names as category names; pixel (c, r) has its centre at (1005 + 10c, 1995 - 10r).
fs::path cropForest(const fs::path& dir) {
    std::vector<double> v(100);
    for (int i = 0; i < 100; ++i)
        v[i] = i % 10 < 5 ? 1 : 2;
    return WriteRaster(dir / "map.tif",
                       {.width = 10, .height = 10, .type = GDT_Byte, .categories = {"", "crop", "forest"}},
                       v);
}

Json assess(const fs::path& map, std::vector<std::string> args, std::string* out = nullptr) {
    const fs::path dir = map.parent_path();
    args.insert(args.begin(), {"accuracy", map.string(), "--report", (dir / "r.txt").string(), "--json",
                               (dir / "r.json").string()});
    const CliRun r = RunTessera(args);
    EXPECT_EQ(r.code, 0) << r.err;
    if (out)
        *out = r.out;
    return r.code == 0 ? Json::parse(ReadBytes(dir / "r.json")) : Json();
}

using Matrix = std::vector<std::vector<int>>; // [classified][reference]

} // namespace

TEST(CheckPoints, DrawnOnlyWhereTheReferenceIsValidAndCountedAsAsked) {
    const fs::path dir = Scratch("sparse-reference");
    const fs::path map = cropForest(dir);
    // Seven reference pixels (column, row, class) in a sea of nodata; (2, 2) and (9, 5) disagree with the
    // map.
    std::vector<double> truth(100, 0);
    for (const auto& [c, r, k] : std::vector<std::array<int, 3>>{
             {0, 0, 1}, {1, 1, 1}, {2, 2, 2}, {7, 3, 2}, {8, 4, 2}, {9, 5, 1}, {9, 9, 2}})
        truth[r * 10 + c] = k;
    const std::string reference =
        WriteRaster(dir / "truth.tif", {.width = 10, .height = 10, .type = GDT_Byte, .nodata = {{1, 0}}},
                    truth)
            .string();

    std::string out;
    Json j = assess(map, {"--random", "500", "--seed", "1", "--reference", reference}, &out);
    EXPECT_EQ(std::tuple(j["points"], j["counted_points"], j["matrix"]),
              std::tuple(7, 7, Json(Matrix{{2, 1}, {1, 3}})));
    EXPECT_EQ(j["check_points"], Json::parse(R"({"asked": 500, "valid_pixels": 7, "drawn": 7, "counted": 7,
                                                  "skipped": 0})"));
    EXPECT_NE(out.find("only 7 such pixels exist"), std::string::npos) << out;
    for (const char* seed : {"2", "9"}) {
        j = assess(map, {"--random", "3", "--seed", seed, "--reference", reference});
        EXPECT_EQ(std::tuple(j["points"], j["counted_points"]), std::tuple(3, 3));
    }
    // Two per class: crop has 3 valid pixels, forest 4.
    j = assess(map, {"--stratified", "2", "--seed", "4", "--reference", reference});
    EXPECT_EQ(std::tuple(j["counted_points"], j["classes"][0]["classified_total"],
                         j["classes"][1]["classified_total"]),
              std::tuple(4, 2, 2));
    j = assess(map, {"--stratified", "4", "--seed", "4", "--reference", reference}, &out);
    EXPECT_EQ(std::tuple(j["counted_points"], j["check_points"]["asked"]), std::tuple(7, 8));
    EXPECT_NE(out.find("crop 3"), std::string::npos) << out;
}

TEST(CheckPoints, VectorReferenceByValueAndByName) {
    const fs::path dir = Scratch("vector-reference");
    const fs::path map = cropForest(dir);
    const auto centre = [](int c, int r) {
        return "POINT (" + std::to_string(1005 + 10 * c) + " " + std::to_string(1995 - 10 * r) + ")";
    };
    const fs::path layerPath = WriteLayer(
        dir / "reference.gpkg", {{"code", OFTInteger}, {"label", OFTString}},
        {{centre(0, 0), "1", "crop"},  // map crop: right
         {centre(2, 2), "2", "crop"},  // map crop: wrong by value, right by name
         {centre(8, 1), "2", "swamp"}, // map forest: right by value; by name no class of the map
         {centre(7, 3), "7", "crop"},  // map forest: 7 is no class; by name wrong
         // Covers the centres of columns 6-7, rows 6-7 (x 1065-1075, y 1925-1935): four forest pixels.
         {RectangleWkt(1061, 1939, 1079, 1921), "2", "forest"}});
    Json j = assess(map, {"--reference", layerPath.string(), "--reference-field", "code"});
    // By value: 8 check points, (7, 3) of class 7 is not counted.
    EXPECT_EQ(std::tuple(j["points"], j["counted_points"], j["matrix"]),
              std::tuple(8, 7, Json(Matrix{{1, 1}, {0, 5}})));
    EXPECT_EQ(std::tuple(j["check_points"]["features"], j["check_points"]["features_used"]),
              std::tuple(5, 5));
    j = assess(map, {"--reference", layerPath.string(), "--reference-field", "label"});
    // By name: "swamp" names no class; (7, 3) is crop on forest.
    EXPECT_EQ(std::tuple(j["points"], j["counted_points"], j["matrix"]),
              std::tuple(7, 7, Json(Matrix{{2, 0}, {1, 4}})));
    EXPECT_EQ(j["check_points"]["features_without_class"], 1);
    EXPECT_EQ(j["classes"][1]["name"], "forest");
    // Random points within the vector reference's pixels only.
    j = assess(map, {"--random", "100", "--seed", "3", "--reference", layerPath.string(), "--reference-field",
                     "label"});
    EXPECT_EQ(j["check_points"]["drawn"], 7);
    // A vector layer without --reference-field, and a field it lacks: one line each.
    for (const auto& args :
         {std::vector<std::string>{"--reference", layerPath.string()},
          std::vector<std::string>{"--reference", layerPath.string(), "--reference-field", "x"}}) {
        std::vector<std::string> all{"accuracy", map.string(), "--report", (dir / "bad.txt").string()};
        all.insert(all.end(), args.begin(), args.end());
        const CliRun r = RunTessera(all);
        EXPECT_EQ(std::tuple(r.code != 0, LineCount(r.err), fs::exists(dir / "bad.txt")),
                  std::tuple(true, 1, false))
            << r.err;
    }
}

TEST(CommandLine, SampleNamesAndPaletteVersionAndEnglishProgress) {
    const fs::path dir = Scratch("samples-names");
    // Two classes on 3-band 8-bit data, the left half darker than the right.
    const fs::path image =
        WriteRaster(dir / "dark.tif", {.width = 10, .height = 10, .bands = 3, .type = GDT_Byte},
                    [](int b, int c, int) { return 20.0 + b + (c < 5 ? 0 : 6); });
    const fs::path polygons = WriteLayer(dir / "training.gpkg", {{"code", OFTInteger}, {"Label", OFTString}},
                                         {{RectangleWkt(1000, 2000, 1040, 1900), "4", "water"},
                                          {RectangleWkt(1060, 2000, 1100, 1900), "9", "forest"}});
    const auto samples = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{
            "samples", image.string(), polygons.string(), (dir / "s.cif").string(), "--class-field", "code"};
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_EQ(RunTessera(args).code, 0);
        CClassifySampleFile file;
        EXPECT_TRUE(file.ReadClassifySampleFile(WPath(dir / "s.cif")));
        std::vector<std::pair<std::string, std::uint32_t>> out;
        for (const ClassifySample* s : file.m_samples)
            out.emplace_back(Narrow(s->GetName()), s->m_colour);
        return out;
    };
    // The "label" field names the classes (field names match whatever their case); colours are the
    // qualitative palette, blue then green, far apart.
    EXPECT_EQ(samples({}), (std::vector<std::pair<std::string, std::uint32_t>>{{"water", 0xFF0000},
                                                                               {"forest", 0x00C000}}));
    EXPECT_EQ(samples({"--name-field", "code"})[1].first, "9");
    // The band rule stretches the means over the data's range: the brighter class is white, the other black.
    EXPECT_EQ(samples({"--colours", "bands"}), (std::vector<std::pair<std::string, std::uint32_t>>{
                                                   {"water", 0x000000}, {"forest", 0xFFFFFF}}));

    CliRun r = RunTessera({"--version"});
    EXPECT_EQ(std::tuple(r.code, r.out.rfind("tessera ", 0), LineCount(r.out)), std::tuple(0, 0u, 1));

    // The command line's progress is English: a merge's title is not the window's.
    const fs::path map =
        WriteRaster(dir / "m.tif", {.width = 4, .height = 1, .type = GDT_Byte}, std::vector<int>{1, 2, 1, 2});
    ::testing::internal::CaptureStderr();
    r = RunTessera({"merge", map.string(), (dir / "merged.tif").string(), "--rule", "2=1"});
    const std::string progress = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(progress.find("Class merge"), std::string::npos) << progress;
    EXPECT_EQ(progress.find("类别"), std::string::npos) << progress;
}
