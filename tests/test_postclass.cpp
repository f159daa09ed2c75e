// Post-classification: class merge, sieve and clump checked against naive
// whole-image references on small images read in small blocks; their
// command-line tools; and the class merge, filter and clump windows.
#include "cli/subcommands.h"
#include "common/filters.h"
#include "common/numericguard.h"
#include "engine/classifiedassistantfile.h"
#include "entry/tesserauilib.h"
#include "base/commonfun.h"
#include "platform/xcombobox.h"
#include "platform/xlistbox.h"
#include "postclass/CClassesClumpDlg.h"
#include "postclass/CClassesFilterDlg.h"
#include "postclass/CClassesMergeDlg.h"
#include "processing/postclassify.h"
#include "processing/progress.h"
#include "support/scratchdir.h"
#include "support/scriptedhost.h"
#include "support/scripteduiservices.h"
#include "support/windowharness.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::wstring wpath(const fs::path& p) { return CommonFun::M2U(p.string()); }

fs::path dir(const std::string& name) {
    const fs::path d = ScratchDir() / name;
    fs::create_directories(d);
    return d;
}

struct ClassDef {
    std::wstring name;
    int number;
    std::uint32_t colour = 0;
    int reserved = 0;
    std::int64_t pixels = 0;
};

void writeAcf(const fs::path& imagePath, const std::vector<ClassDef>& classes) {
    CClassifiedAssistantFile acf;
    for (const ClassDef& c : classes)
        acf.AddClass(c.name, c.number, c.pixels, c.colour, c.reserved);
    acf.SetPixelSize(30, -30);
    fs::path p = imagePath;
    p.replace_extension(".acf");
    ASSERT_TRUE(acf.WriteClassifiedAssistantFile(wpath(p)));
}

// Classes 0 ("Unclassified") to k, with names that make the rules readable.
std::vector<ClassDef> numberedDefs(int k) {
    std::vector<ClassDef> defs{{L"Unclassified", 0, 0}};
    for (int i = 1; i <= k; ++i)
        defs.push_back({L"类" + std::to_wstring(i), i, 0x010203u * static_cast<std::uint32_t>(i) + 0x100000u});
    return defs;
}

// A one-band Byte GeoTIFF of class values with nodata 0; `tile` > 0 tiles it,
// otherwise strips of one row.
void writeClassImage(const fs::path& path, int width, int height, const std::vector<int>& values, int tile = 0) {
    GDALAllRegister();
    CPLStringList options;
    if (tile > 0) {
        options.SetNameValue("TILED", "YES");
        options.SetNameValue("BLOCKXSIZE", std::to_string(tile).c_str());
        options.SetNameValue("BLOCKYSIZE", std::to_string(tile).c_str());
    } else {
        options.SetNameValue("BLOCKYSIZE", "1");
    }
    std::unique_ptr<GDALDataset> ds(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        path.string().c_str(), width, height, 1, GDT_Byte, options.List()));
    ASSERT_TRUE(ds);
    const double transform[6] = {500000, 30, 0, 4000000, 0, -30};
    ds->SetGeoTransform(const_cast<double*>(transform));
    ds->GetRasterBand(1)->SetNoDataValue(0);
    std::vector<int> copy = values;
    ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, width, height, copy.data(), width, height, GDT_Int32, 0,
                                             0, nullptr),
              CE_None);
}

std::vector<int> readBand(const fs::path& path, int* width = nullptr, int* height = nullptr) {
    std::unique_ptr<GDALDataset> ds(GDALDataset::Open(path.string().c_str(), GDAL_OF_RASTER));
    if (!ds)
        return {};
    const int w = ds->GetRasterXSize(), h = ds->GetRasterYSize();
    if (width)
        *width = w;
    if (height)
        *height = h;
    std::vector<int> v(static_cast<size_t>(w) * h);
    EXPECT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, w, h, v.data(), w, h, GDT_Int32, 0, 0, nullptr), CE_None);
    return v;
}

// Patches of classes 1..k on a coarse random grid, with single-pixel
// speckles and a few unclassified pixels: regions of every size, many of
// them crossing the small blocks the tests ask for.
std::vector<int> patchyImage(int width, int height, int k, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> cls(1, k), cell(0, 99);
    const int step = 4;
    std::vector<int> coarse(static_cast<size_t>((width / step + 2) * (height / step + 2)));
    for (int& c : coarse)
        c = cls(rng);
    std::vector<int> v(static_cast<size_t>(width) * height);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            int value = coarse[(r / step) * (width / step + 2) + c / step];
            const int roll = cell(rng);
            if (roll < 12)
                value = cls(rng);
            else if (roll < 14)
                value = 0;
            v[r * width + c] = value;
        }
    return v;
}

std::vector<std::string> listDir(const fs::path& d) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(d))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// ---- Naive references, over the whole image ----------------------------------

std::vector<int> naiveSieve(const std::vector<int>& v, int W, int H, const std::set<int>& chosen, unsigned threshold,
                            bool eight) {
    const int n = W * H;
    std::vector<int> comp(n, -1), size;
    std::vector<std::vector<int>> members;
    const auto neighbours = [&](int p) {
        std::vector<int> out;
        const int r = p / W, c = p % W;
        for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc) {
                if ((dr == 0 && dc == 0) || (!eight && dr != 0 && dc != 0))
                    continue;
                if (r + dr >= 0 && r + dr < H && c + dc >= 0 && c + dc < W)
                    out.push_back((r + dr) * W + c + dc);
            }
        return out;
    };
    for (int p = 0; p < n; ++p) {
        if (comp[p] >= 0 || !v[p] || !chosen.count(v[p]))
            continue;
        const int id = static_cast<int>(members.size());
        members.push_back({p});
        comp[p] = id;
        for (size_t k = 0; k < members[id].size(); ++k)
            for (int q : neighbours(members[id][k]))
                if (comp[q] < 0 && v[q] == v[p]) {
                    comp[q] = id;
                    members[id].push_back(q);
                }
    }
    const auto small = [&](int id) { return members[id].size() < threshold; };
    std::vector<int> out = v;
    for (size_t id = 0; id < members.size(); ++id) {
        if (!small(static_cast<int>(id)))
            continue;
        std::set<int> border;
        for (int p : members[id])
            for (int q : neighbours(p))
                if (comp[q] != static_cast<int>(id) && v[q] && !(comp[q] >= 0 && small(comp[q])))
                    border.insert(q);
        std::map<int, int> votes;
        for (int q : border)
            ++votes[v[q]];
        int best = -1, bestCount = 0;
        for (const auto& [cls, count] : votes) // ascending classes: ties keep the lower
            if (count > bestCount)
                best = cls, bestCount = count;
        if (best >= 0)
            for (int p : members[id])
                out[p] = best;
    }
    return out;
}

struct Element {
    std::vector<double> values;
    int rows, cols, anchorCol, anchorRow;
};

std::vector<int> naiveClump(const std::vector<int>& v, int W, int H, const std::set<int>& chosen, const Element& e) {
    std::vector<std::pair<int, int>> offs;
    for (int r = 0; r < e.rows; ++r)
        for (int c = 0; c < e.cols; ++c)
            if (e.values[r * e.cols + c] != 0)
                offs.emplace_back(c - e.anchorCol, r - e.anchorRow);
    const auto inside = [&](int c, int r) { return c >= 0 && r >= 0 && c < W && r < H; };
    const auto dilated = [&](int c, int r, int cls) {
        for (const auto& [dc, dr] : offs)
            if (inside(c - dc, r - dr) && v[(r - dr) * W + c - dc] == cls)
                return true;
        return false;
    };
    std::vector<int> out = v;
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            const int own = v[r * W + c];
            if (!own || chosen.count(own) || offs.empty())
                continue;
            int best = -1, bestCount = -1;
            for (int cls : chosen) {
                bool closed = true;
                for (const auto& [dc, dr] : offs)
                    if (!inside(c + dc, r + dr) || !dilated(c + dc, r + dr, cls)) {
                        closed = false;
                        break;
                    }
                if (!closed)
                    continue;
                int count = 0;
                for (const auto& [dc, dr] : offs)
                    count += inside(c - dc, r - dr) && v[(r - dr) * W + c - dc] == cls;
                if (count > bestCount)
                    best = cls, bestCount = count;
            }
            if (best >= 0)
                out[r * W + c] = best;
        }
    return out;
}

std::map<std::wstring, int> classMapOf(const std::set<int>& chosen) {
    std::map<std::wstring, int> map;
    for (int c : chosen)
        map[L"类" + std::to_wstring(c)] = c;
    return map;
}

} // namespace

// ---- Merge --------------------------------------------------------------------

TEST(ClassMerge, RelabelsByTheRulesAndSumsTheTargetsCounts) {
    const fs::path d = dir("merge-run");
    const int W = 37, H = 29;
    const std::vector<int> v = patchyImage(W, H, 5, 1);
    writeClassImage(d / "in.tif", W, H, v, 16);
    const std::vector<ClassDef> defs = numberedDefs(5);
    writeAcf(d / "in.tif", defs);

    CClassifyMergeParam record;
    record.m_inputPath = wpath(d / "in.tif");
    record.m_outputPath = wpath(d / "out.tif");
    record.m_assistantFilePath = wpath(d / "in.acf");
    record.m_bandList = {0}; // as the window writes it
    for (const ClassDef& s : defs)
        record.m_classMap[s.name] = s.number;
    record.m_mergeEntries = {L"类2+类1", L"类3+类1", L"类5+类4", L"类4+类4"};
    CClassifyMerge merge(&record);
    merge.SetWorkerCount(3);
    ASSERT_TRUE(merge.ProcessFromNewThread(false)) << CommonFun::U2M(merge.GetLastError());

    const int lookup[6] = {0, 1, 1, 1, 4, 4}; // the rules do not chain: 5 goes to 4 and stays
    std::vector<std::int64_t> counts(6, 0);
    const std::vector<int> out = readBand(d / "out.tif");
    ASSERT_EQ(out.size(), v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        ASSERT_EQ(out[i], lookup[v[i]]) << i;
        ++counts[lookup[v[i]]];
    }
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(wpath(d / "out.acf")));
    ASSERT_EQ(acf.GetClassCount(), 6);
    for (int c = 0; c <= 5; ++c) {
        const ClassRecord* r = acf.GetClassRecord(c);
        EXPECT_EQ(r->m_classNumber, c);
        EXPECT_EQ(r->m_pixelCount, counts[c]) << c;
        EXPECT_EQ(r->m_name, defs[c].name); // every class keeps its name and colour
        EXPECT_EQ(r->m_colour, defs[c].colour);
    }
    EXPECT_EQ(acf.GetClassRecord(2)->m_pixelCount, 0);
    EXPECT_DOUBLE_EQ(acf.GetPixelSizeX(), 30);
    EXPECT_DOUBLE_EQ(acf.GetPixelSizeY(), -30);
    // The band list the record carried stays as copied.
    EXPECT_EQ(merge.GetParam().m_bandList, std::vector<int>{0});
}

TEST(ClassMerge, SplitsEntriesAtThePlusThatNamesTwoClasses) {
    const std::map<std::wstring, int> names{{L"a+b", 1}, {L"c", 2}, {L"a", 3}, {L"b+c", 4}};
    std::wstring from, to;
    ASSERT_TRUE(SplitMergeEntry(L"a+b+c", names, from, to));
    EXPECT_EQ(from, L"a"); // the first split naming two classes
    EXPECT_EQ(to, L"b+c");
    ASSERT_TRUE(SplitMergeEntry(L"c+a+b", names, from, to));
    EXPECT_EQ(from, L"c");
    EXPECT_EQ(to, L"a+b");
    EXPECT_FALSE(SplitMergeEntry(L"c+d", names, from, to));
    EXPECT_FALSE(SplitMergeEntry(L"ca", names, from, to));
}

// ---- Sieve --------------------------------------------------------------------

TEST(ClassSieve, HandWorkedSpeckleTakesItsSurroundingClass) {
    const fs::path d = dir("sieve-hand");
    // 1 1 1 3
    // 1 2 1 3     the lone 2 is surrounded by 1; the pair of 3s at the right
    // 1 1 1 2     border 1 (three times) and 2 (once): both become 1.
    writeClassImage(d / "in.tif", 4, 3, {1, 1, 1, 3, 1, 2, 1, 3, 1, 1, 1, 2});
    writeAcf(d / "in.tif", numberedDefs(3));
    CClassifiedSieveParam record;
    record.m_inputPath = wpath(d / "in.tif");
    record.m_outputPath = wpath(d / "out.tif");
    record.m_classMap = {{L"类2", 2}, {L"类3", 3}};
    record.m_threshold = 3;
    CClassifiedSieve sieve(&record);
    ASSERT_TRUE(sieve.ProcessFromNewThread(false)) << CommonFun::U2M(sieve.GetLastError());
    // The lower-right 2 is a region of one pixel too; its neighbours that stay
    // are the 1 to its left (the 3 above it is removed), so it becomes 1.
    EXPECT_EQ(readBand(d / "out.tif"), (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(ClassSieve, AgreesWithAWholeImageFloodFillAcrossSmallBlocks) {
    const fs::path d = dir("sieve-naive");
    const int W = 41, H = 33;
    const std::vector<int> v = patchyImage(W, H, 4, 7);
    writeClassImage(d / "in.tif", W, H, v);
    writeAcf(d / "in.tif", numberedDefs(4));
    int run = 0;
    for (const bool eight : {false, true})
        for (const unsigned threshold : {0u, 2u, 5u, 13u})
            for (const std::set<int>& chosen : {std::set<int>{1, 2, 3, 4}, std::set<int>{2, 4}}) {
                for (const auto& [bw, bh] : {std::pair{7, 5}, std::pair{0, 0}}) {
                    const fs::path out = d / ("out" + std::to_string(run++) + ".tif");
                    CClassifiedSieveParam record;
                    record.m_inputPath = wpath(d / "in.tif");
                    record.m_outputPath = wpath(out);
                    record.m_assistantFilePath = wpath(d / "in.acf");
                    record.m_classMap = classMapOf(chosen);
                    record.m_threshold = static_cast<int>(threshold);
                    record.m_neighbourhood = eight ? 1 : 0;
                    CClassifiedSieve sieve(&record);
                    sieve.SetBlockSize(bw, bh);
                    sieve.SetWorkerCount(3);
                    ASSERT_TRUE(sieve.ProcessFromNewThread(false)) << CommonFun::U2M(sieve.GetLastError());
                    const std::vector<int> expected = naiveSieve(v, W, H, chosen, threshold, eight);
                    ASSERT_EQ(readBand(out), expected)
                        << "threshold " << threshold << (eight ? " 8" : " 4") << "-connected, block " << bw;
                }
            }
}

TEST(ClassSieve, ARegionLongerThanABlockIsKeptWhole) {
    // A one-pixel-wide snake of class 2 winding over several 4 × 4 blocks:
    // 12 pixels, kept with threshold 12 and removed with threshold 13.
    const fs::path d = dir("sieve-snake");
    const int W = 10, H = 6;
    std::vector<int> v(W * H, 1);
    for (int c = 0; c < 8; ++c)
        v[1 * W + c] = 2;
    for (int r = 2; r < 6; ++r)
        v[r * W + 7] = 2;
    writeClassImage(d / "in.tif", W, H, v, 0);
    writeAcf(d / "in.tif", numberedDefs(2));
    for (const int threshold : {12, 13}) {
        CClassifiedSieveParam record;
        record.m_inputPath = wpath(d / "in.tif");
        record.m_outputPath = wpath(d / ("out" + std::to_string(threshold) + ".tif"));
        record.m_classMap = {{L"类2", 2}};
        record.m_threshold = threshold;
        CClassifiedSieve sieve(&record);
        sieve.SetBlockSize(4, 4);
        ASSERT_TRUE(sieve.ProcessFromNewThread(false));
        const std::vector<int> out = readBand(d / ("out" + std::to_string(threshold) + ".tif"));
        EXPECT_EQ(out, threshold == 12 ? v : std::vector<int>(W * H, 1)) << threshold;
    }
}

// ---- Clump --------------------------------------------------------------------

TEST(ClassClump, HandWorkedGapsAreClosedUpToTheElementsLength) {
    const fs::path d = dir("clump-hand");
    // Row 0: a gap of two 2s between 1s is closed by the 1 × 3 element; row 1:
    // a gap of three is not.
    writeClassImage(d / "in.tif", 6, 2, {1, 2, 2, 1, 3, 3, 1, 2, 2, 2, 1, 3});
    writeAcf(d / "in.tif", numberedDefs(3));
    CClassifyClumpParam record;
    record.m_inputPath = wpath(d / "in.tif");
    record.m_outputPath = wpath(d / "out.tif");
    record.m_elementValues = {1, 1, 1};
    record.m_elementRows = 1, record.m_elementColumns = 3, record.m_anchorColumn = 1, record.m_anchorRow = 0;
    record.m_classMap = {{L"类1", 1}};
    ClassifyClump clump(&record);
    ASSERT_TRUE(clump.ProcessFromNewThread(false)) << CommonFun::U2M(clump.GetLastError());
    EXPECT_EQ(readBand(d / "out.tif"), (std::vector<int>{1, 1, 1, 1, 3, 3, 1, 2, 2, 2, 1, 3}));
}

TEST(ClassClump, AgreesWithDirectMorphologyAcrossSmallBlocks) {
    const fs::path d = dir("clump-naive");
    const int W = 35, H = 27;
    const std::vector<int> v = patchyImage(W, H, 4, 11);
    writeClassImage(d / "in.tif", W, H, v, 16);
    writeAcf(d / "in.tif", numberedDefs(4));
    const std::vector<Element> elements = {
        {{1, 1, 1}, 1, 3, 1, 0},                   // horizontal
        {{1, 1, 1}, 3, 1, 0, 1},                   // vertical
        {{0, 1, 0, 1, 1, 1, 0, 1, 0}, 3, 3, 1, 1}, // cross
        {{1, 1, 0, 0, 0, 0, 0, 0, 1}, 3, 3, 1, 1}, // asymmetric, anchor not a member
        {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 3, 3, 0, 2}, // square anchored at a corner
        {{0, 0, 0, 0, 0, 0, 0, 0, 0}, 3, 3, 1, 1}, // no member: the image stays
    };
    int run = 0;
    for (const Element& e : elements)
        for (const std::set<int>& chosen : {std::set<int>{1, 2, 3, 4}, std::set<int>{1, 3}})
            for (const auto& [bw, bh] : {std::pair{6, 4}, std::pair{0, 0}}) {
                const fs::path out = d / ("out" + std::to_string(run++) + ".tif");
                CClassifyClumpParam record;
                record.m_inputPath = wpath(d / "in.tif");
                record.m_outputPath = wpath(out);
                record.m_elementValues = e.values;
                record.m_elementRows = e.rows, record.m_elementColumns = e.cols;
                record.m_anchorColumn = e.anchorCol, record.m_anchorRow = e.anchorRow;
                record.m_classMap = classMapOf(chosen);
                ClassifyClump clump(&record);
                clump.SetBlockSize(bw, bh);
                clump.SetWorkerCount(2);
                ASSERT_TRUE(clump.ProcessFromNewThread(false)) << CommonFun::U2M(clump.GetLastError());
                ASSERT_EQ(readBand(out), naiveClump(v, W, H, chosen, e)) << "element " << run;
            }
}

TEST(ClassClump, RefusesAMalformedElement) {
    const fs::path d = dir("clump-element");
    writeClassImage(d / "in.tif", 3, 3, std::vector<int>(9, 1));
    writeAcf(d / "in.tif", numberedDefs(1));
    CClassifyClumpParam record;
    record.m_inputPath = wpath(d / "in.tif");
    record.m_outputPath = wpath(d / "out.tif");
    record.m_classMap = {{L"类1", 1}};
    record.m_elementValues = {1, 1};
    record.m_elementRows = 1, record.m_elementColumns = 3;
    ClassifyClump wrongCount(&record);
    EXPECT_FALSE(wrongCount.ProcessFromNewThread(false));
    record.m_elementValues = {1, 1, 1};
    record.m_anchorColumn = 3;
    ClassifyClump anchorOutside(&record);
    EXPECT_FALSE(anchorOutside.ProcessFromNewThread(false));
    EXPECT_FALSE(fs::exists(d / "out.tif"));
}

// ---- Bad input -------------------------------------------------------------------

TEST(PostClassBadInput, FailsWithAMessageAndLeavesNothing) {
    const fs::path d = dir("bad-input");
    writeClassImage(d / "noacf.tif", 4, 4, std::vector<int>(16, 1));
    writeClassImage(d / "corrupt.tif", 4, 4, std::vector<int>(16, 1));
    std::ofstream(d / "corrupt.acf") << "TESSERA-ACF 1\nclass-count 2\n";
    writeClassImage(d / "good.tif", 4, 4, {1, 2, 1, 2, 1, 7, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2});
    writeAcf(d / "good.tif", numberedDefs(2)); // the 7 has no class
    const std::vector<std::string> before = listDir(d);

    const auto sieveOf = [&](const std::string& in, const std::map<std::wstring, int>& classes, const fs::path& out) {
        CClassifiedSieveParam record;
        record.m_inputPath = wpath(d / in);
        record.m_outputPath = wpath(out);
        record.m_classMap = classes;
        record.m_threshold = 2;
        auto sieve = std::make_unique<CClassifiedSieve>(&record);
        EXPECT_FALSE(sieve->ProcessFromNewThread(false));
        return CommonFun::U2M(sieve->GetLastError());
    };
    EXPECT_NE(sieveOf("noacf.tif", {{L"类1", 1}}, d / "o1.tif").find("does not exist"), std::string::npos);
    EXPECT_NE(sieveOf("corrupt.tif", {{L"类1", 1}}, d / "o2.tif").find("Cannot read"), std::string::npos);
    EXPECT_NE(sieveOf("good.tif", {}, d / "o3.tif").find("No class"), std::string::npos);
    EXPECT_NE(sieveOf("good.tif", {{L"类9", 9}}, d / "o4.tif").find("not in the class table"), std::string::npos);
    EXPECT_NE(sieveOf("good.tif", {{L"类1", 1}}, d / "missing-folder" / "o5.tif").find("folder"), std::string::npos);
    EXPECT_NE(sieveOf("good.tif", {{L"类1", 1}}, d / "o6.tif").find("(1, 1) holds the value 7"), std::string::npos);

    CClassifyMergeParam merge;
    merge.m_inputPath = wpath(d / "good.tif");
    merge.m_outputPath = wpath(d / "o7.tif");
    merge.m_mergeEntries = {L"类1+类8"};
    CClassifyMerge unknownRule(&merge);
    EXPECT_FALSE(unknownRule.ProcessFromNewThread(false));
    EXPECT_NE(CommonFun::U2M(unknownRule.GetLastError()).find("类1+类8"), std::string::npos);

    merge.m_mergeEntries = {L"类2+类1"};
    CClassifyMerge badValue(&merge);
    EXPECT_FALSE(badValue.ProcessFromNewThread(false)); // the 7 again, through the shared block loop
    EXPECT_NE(CommonFun::U2M(badValue.GetLastError()).find("value 7"), std::string::npos);

    EXPECT_EQ(listDir(d), before); // no output, no temporary file, no .acf
}

TEST(PostClassBadInput, AnUnwritableFolderLeavesNothing) {
    const fs::path d = dir("bad-unwritable");
    writeClassImage(d / "in.tif", 4, 4, std::vector<int>(16, 1));
    writeAcf(d / "in.tif", numberedDefs(1));
    // A folder nobody can create files in, whoever runs the test.
    if (fs::is_directory("/proc/self")) {
        CClassifyClumpParam record;
        record.m_inputPath = wpath(d / "in.tif");
        record.m_outputPath = L"/proc/self/clumped.tif";
        record.m_elementValues = {1, 1, 1};
        record.m_elementRows = 1, record.m_elementColumns = 3, record.m_anchorColumn = 1;
        record.m_classMap = {{L"类1", 1}};
        ClassifyClump clump(&record);
        EXPECT_FALSE(clump.ProcessFromNewThread(false));
        EXPECT_NE(CommonFun::U2M(clump.GetLastError()).find("Cannot create the output image"), std::string::npos)
            << CommonFun::U2M(clump.GetLastError());
    }
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const fs::path locked = dir("bad-unwritable/locked");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    CClassifyMergeParam record;
    record.m_inputPath = wpath(d / "in.tif");
    record.m_outputPath = wpath(locked / "out.tif");
    CClassifyMerge merge(&record);
    EXPECT_FALSE(merge.ProcessFromNewThread(false));
    EXPECT_FALSE(merge.GetLastError().empty());
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_TRUE(listDir(locked).empty());
}

// ---- Command line -------------------------------------------------------------

namespace {

struct CommandRun {
    int code;
    std::string out, err;
};

CommandRun tessera(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunCommandLine(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace

TEST(PostClassCli, ToolsBuildTheRecordsTheWindowsBuild) {
    const fs::path d = dir("cli");
    const int W = 30, H = 22;
    const std::vector<int> v = patchyImage(W, H, 3, 5);
    writeClassImage(d / "in.tif", W, H, v, 16);
    writeAcf(d / "in.tif", numberedDefs(3));
    const std::string in = (d / "in.tif").string();

    CommandRun r = tessera({"merge", in, (d / "m.tif").string(), "--rule", "2=1,类3=1", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("wrote"), std::string::npos);
    std::vector<int> merged = v;
    for (int& x : merged)
        x = x >= 2 ? 1 : x;
    EXPECT_EQ(readBand(d / "m.tif"), merged);
    EXPECT_TRUE(fs::exists(d / "m.acf"));

    r = tessera({"sieve", in, (d / "s.tif").string(), "--classes", "1,3", "--threshold", "4", "--eight", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBand(d / "s.tif"), naiveSieve(v, W, H, {1, 3}, 4, true));

    r = tessera({"clump", in, (d / "c.tif").string(), "--classes", "2", "--element", "010111010", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBand(d / "c.tif"), naiveClump(v, W, H, {2}, {{0, 1, 0, 1, 1, 1, 0, 1, 0}, 3, 3, 1, 1}));
    r = tessera({"clump", in, (d / "cv.tif").string(), "--classes", "2", "--element", "v", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBand(d / "cv.tif"), naiveClump(v, W, H, {2}, {{1, 1, 1}, 3, 1, 0, 1}));
}

TEST(PostClassCli, BadInputGivesOneLineAndNoOutput) {
    const fs::path d = dir("cli-bad");
    writeClassImage(d / "noacf.tif", 4, 4, std::vector<int>(16, 1));
    writeClassImage(d / "in.tif", 4, 4, std::vector<int>(16, 1));
    writeAcf(d / "in.tif", numberedDefs(2));
    writeClassImage(d / "corrupt.tif", 4, 4, std::vector<int>(16, 1));
    std::ofstream(d / "corrupt.acf") << "not an assistant file\n";
    const std::vector<std::string> before = listDir(d);
    const std::string out = (d / "out.tif").string();
    const struct {
        std::vector<std::string> args;
        int code;
        const char* says;
    } cases[] = {
        {{"merge", (d / "noacf.tif").string(), out, "--rule", "1=1"}, 1, "no classification assistant file"},
        {{"sieve", (d / "corrupt.tif").string(), out, "--classes", "1"}, 1, "cannot read the classification"},
        {{"sieve", (d / "in.tif").string(), out, "--classes", "5"}, 2, "--classes: class 5"},
        {{"sieve", (d / "in.tif").string(), out}, 2, "--classes"},
        {{"merge", (d / "in.tif").string(), out, "--rule", "1-2"}, 2, "--rule expects"},
        {{"merge", (d / "in.tif").string(), out, "--rule", "1=9"}, 2, "names a class"},
        {{"clump", (d / "in.tif").string(), out, "--classes", "1", "--element", "11"}, 2, "--element"},
        {{"clump", (d / "in.tif").string(), (d / "no" / "out.tif").string(), "--classes", "1"}, 1, "folder"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--quiet");
        const CommandRun r = tessera(args);
        EXPECT_EQ(r.code, c.code) << args[0] << " " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("tessera " + args[0] + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(listDir(d), before);
}

// ---- Windows ----------------------------------------------------------------------

namespace {

// Classified images for the windows: three classes named 1, 2, 3; two
// classes A and 3 of another image; one without, one with a broken .acf; a
// file that is no raster.
struct WindowFiles {
    fs::path three, other, noAcf, brokenAcf, notRaster;
};

const WindowFiles& windowFiles() {
    static const WindowFiles files = [] {
        const fs::path d = dir("windows");
        WindowFiles f{d / "three.tif", d / "other.img.tif", d / "noacf.tif", d / "broken.tif", d / "text.tif"};
        writeClassImage(f.three, 6, 4, std::vector<int>(24, 1));
        writeAcf(f.three, {{L"1", 1, 0, 7, 10}, {L"2", 2, 0, 8, 20}, {L"3", 3, 0, 9, 30}});
        writeClassImage(f.other, 5, 5, std::vector<int>(25, 1));
        writeAcf(f.other, {{L"A", 1}, {L"3", 5}});
        writeClassImage(f.noAcf, 3, 3, std::vector<int>(9, 1));
        writeClassImage(f.brokenAcf, 3, 3, std::vector<int>(9, 1));
        std::ofstream(fs::path(f.brokenAcf).replace_extension(".acf")) << "TESSERA-ACF 9\n";
        std::ofstream(f.notRaster) << "not a raster\n";
        return f;
    }();
    return files;
}

using Launch = CaughtLaunch;

template <class D> class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = OpenNewWindow<D>([this] { openWindow(); });
        ASSERT_FALSE(window.isNull());
    }
    void TearDown() override {
        EXPECT_TRUE(CancelWindow(window));
        EXPECT_TRUE(catcher.ProgressWindowsClosed());
    }
    virtual void openWindow() = 0;

    template <class T> T* item(int id) const { return window->template Item<T>(id); }
    void click(int id) const {
        auto* button = item<QAbstractButton>(id);
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    void browse(int id, const fs::path& path, int saveType = 1) {
        ui.ChooseFileAnswer(wpath(path), saveType);
        click(id);
    }
    std::vector<std::wstring> texts(int listId) const {
        std::vector<std::wstring> t;
        auto* list = item<XListBox>(listId);
        for (int i = 0; i < list->GetCount(); ++i)
            t.push_back(list->GetText(i));
        return t;
    }
    void select(int listId, std::initializer_list<int> rows) const {
        auto* list = item<XListBox>(listId);
        list->clearSelection();
        for (int r : rows)
            list->SetSel(r, true);
    }
    std::vector<std::wstring> shown() const {
        std::vector<std::wstring> m;
        for (const auto& r : ui.messages)
            m.push_back(r.text + L" | " + r.caption);
        return m;
    }
    template <class Record> const Record* startOne() {
        const size_t before = launches.size();
        click(IDOK);
        EXPECT_EQ(launches.size(), before + 1);
        if (launches.size() != before + 1)
            return nullptr;
        EXPECT_TRUE(window.isNull() || !window->isVisible());
        return dynamic_cast<const Record*>(&launches.back().algorithm->GetParam());
    }

    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    ScriptedHost host;
    QPointer<D> window;
    LaunchCatcher catcher;
    std::deque<Launch>& launches = catcher.launches;
};

class MergeWindowTest : public WindowTest<CClassesMergeDlg> {
    void openWindow() override { CTesseraUILib::ShowMergeClassifyDlg(&host); }
};
class FilterWindowTest : public WindowTest<CClassesFilterDlg> {
    void openWindow() override { CTesseraUILib::ShowFilterClassifyDlg(); }
};
class ClumpWindowTest : public WindowTest<CClassesClumpDlg> {
    void openWindow() override { CTesseraUILib::ShowLumpClassifyDlg(); }
};

} // namespace

// ---- Merge window ---

using M = CClassesMergeDlg;

TEST_F(MergeWindowTest, OpensEmptyAndFillsBothClassListsFromTheAssistantFile) {
    EXPECT_EQ(window->GetWindowText(), L"类别合并");
    EXPECT_EQ(window->GetDlgItemText(M::IDC_INPUT_CLASS_NAME), L""); // "Static" never shows
    EXPECT_EQ(window->GetDlgItemText(M::IDC_OUTPUT_CLASS_NAME), L"");
    EXPECT_TRUE(item<XComboBox>(M::IDC_INPUT_LIST)->IsSorted());
    browse(M::IDC_INPUT_BROWSE, windowFiles().three);
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_TRUE(ui.fileRequests[0].hostAware);
    EXPECT_EQ(ui.fileRequests[0].filter, Filters::RasterInput);
    EXPECT_EQ(ui.fileRequests[0].flags, 6u);
    EXPECT_EQ(texts(M::IDC_INPUT_CLASSES), (std::vector<std::wstring>{L"1", L"2", L"3"}));
    EXPECT_EQ(texts(M::IDC_OUTPUT_CLASSES), (std::vector<std::wstring>{L"1", L"2", L"3"}));
    const CClassifyMergeParam& r = window->Record();
    EXPECT_EQ(r.m_inputPath, wpath(windowFiles().three));
    EXPECT_EQ(r.m_assistantFilePath, wpath(fs::path(windowFiles().three).replace_extension(".acf")));
    EXPECT_EQ(r.m_right, 6);
    EXPECT_EQ(r.m_bottom, 4);
    EXPECT_EQ(r.m_bandList, std::vector<int>{0});
    EXPECT_EQ(r.m_outputBandCount, 1);
    EXPECT_EQ(r.m_outputDataType, PDT_Byte);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MergeWindowTest, AddingARuleMovesTheInputClassOutOnce) {
    browse(M::IDC_INPUT_BROWSE, windowFiles().three);
    item<XListBox>(M::IDC_INPUT_CLASSES)->SetCurSel(2);
    item<XListBox>(M::IDC_OUTPUT_CLASSES)->SetCurSel(0);
    EXPECT_EQ(window->GetDlgItemText(M::IDC_INPUT_CLASS_NAME), L"3");
    EXPECT_EQ(window->GetDlgItemText(M::IDC_OUTPUT_CLASS_NAME), L"1");
    click(M::IDC_ADD_MERGE);
    item<XListBox>(M::IDC_INPUT_CLASSES)->SetCurSel(1);
    click(M::IDC_ADD_MERGE); // 2+1
    EXPECT_EQ(texts(M::IDC_MERGE_LIST), (std::vector<std::wstring>{L"2+1", L"3+1"}));
    EXPECT_EQ(texts(M::IDC_INPUT_CLASSES), std::vector<std::wstring>{L"1"});
    EXPECT_EQ(texts(M::IDC_OUTPUT_CLASSES), (std::vector<std::wstring>{L"1", L"2", L"3"}));
    EXPECT_EQ(window->GetDlgItemText(M::IDC_INPUT_CLASS_NAME), L"2"); // kept after the removal
    click(M::IDC_ADD_MERGE); // nothing selected any more
    EXPECT_EQ(texts(M::IDC_MERGE_LIST).size(), 2u);

    browse(M::IDC_OUTPUT_BROWSE, ScratchDir() / "merged.img", 3);
    const auto* r = startOne<CClassifyMergeParam>();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_mergeEntries, (std::vector<std::wstring>{L"2+1", L"3+1"}));
    EXPECT_EQ(r->m_outputFormat, 20);
    EXPECT_EQ(r->m_host, &host);
    EXPECT_EQ(r->m_classMap, (std::map<std::wstring, int>{{L"1", 1}, {L"2", 2}, {L"3", 3}}));
    EXPECT_TRUE(r->m_algorithmName == L"类别合并" || r->m_algorithmName.empty());
    EXPECT_TRUE(launches.back().progressShown);
}

TEST_F(MergeWindowTest, ASecondImageKeepsTheRulesAndAddsItsNames) {
    browse(M::IDC_INPUT_BROWSE, windowFiles().three);
    item<XListBox>(M::IDC_INPUT_CLASSES)->SetCurSel(1);
    item<XListBox>(M::IDC_OUTPUT_CLASSES)->SetCurSel(0);
    click(M::IDC_ADD_MERGE);
    browse(M::IDC_INPUT_BROWSE, windowFiles().other);
    EXPECT_EQ(texts(M::IDC_INPUT_CLASSES), (std::vector<std::wstring>{L"A", L"3"}));
    EXPECT_EQ(texts(M::IDC_MERGE_LIST), std::vector<std::wstring>{L"2+1"});
    EXPECT_EQ(window->Record().m_classMap,
              (std::map<std::wstring, int>{{L"1", 1}, {L"2", 2}, {L"3", 5}, {L"A", 1}}));
    // The same image twice: listed twice, its band listed once.
    browse(M::IDC_INPUT_BROWSE, windowFiles().other);
    EXPECT_EQ(item<XComboBox>(M::IDC_INPUT_LIST)->GetCount(), 3);
    EXPECT_EQ(window->Record().m_bandList, std::vector<int>{0});
}

TEST_F(MergeWindowTest, AssistantFileMessagesAndWhatStaysRecorded) {
    browse(M::IDC_INPUT_BROWSE, windowFiles().three);
    browse(M::IDC_INPUT_BROWSE, windowFiles().notRaster);
    EXPECT_EQ(shown(), std::vector<std::wstring>{L"    打开影像失败 | 错误"});
    EXPECT_EQ(texts(M::IDC_INPUT_CLASSES).size(), 3u);
    EXPECT_EQ(window->Record().m_inputPath, wpath(windowFiles().three));

    browse(M::IDC_INPUT_BROWSE, windowFiles().noAcf);
    EXPECT_EQ(shown().back(), L"找不到分类辅助文件！ | 警告！");
    EXPECT_EQ(window->Record().m_inputPath, wpath(windowFiles().noAcf)); // recorded before the test
    EXPECT_EQ(texts(M::IDC_INPUT_CLASSES).size(), 3u);

    browse(M::IDC_INPUT_BROWSE, windowFiles().brokenAcf);
    EXPECT_EQ(shown().back(), L"打开分类辅助文件失败！ | 提示");
    EXPECT_TRUE(texts(M::IDC_INPUT_CLASSES).empty());
    EXPECT_TRUE(texts(M::IDC_OUTPUT_CLASSES).empty());
    EXPECT_EQ(ui.messages.size(), 3u);
}

TEST_F(MergeWindowTest, OutputSaveTypeGivesTheFormatAndACancelKeepsIt) {
    browse(M::IDC_OUTPUT_BROWSE, "/data/a.tif", 2);
    ui.CancelFileAnswer();
    click(M::IDC_OUTPUT_BROWSE);
    EXPECT_EQ(window->Record().m_outputPath, L"/data/a.tif");
    EXPECT_EQ(window->OutputWord(), L"tif");
    EXPECT_FALSE(ui.fileRequests.back().open);
    EXPECT_EQ(ui.fileRequests.back().filter, Filters::RasterOutput);
    browse(M::IDC_OUTPUT_BROWSE, "/data/a.pix", 4);
    EXPECT_EQ(window->OutputWord(), L"");
    click(M::IDC_HELP_BUTTON);
    ASSERT_EQ(ui.helpTopics.size(), 1u);
    EXPECT_EQ(ui.helpTopics[0].second, 5);
    // Nothing checked before the start: the task starts all the same.
    const auto* r = startOne<CClassifyMergeParam>();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_outputFormat, 0);
    EXPECT_TRUE(r->m_mergeEntries.empty());
}

// ---- Filter window ---

using F = CClassesFilterDlg;

TEST_F(FilterWindowTest, OpensWithItsDefaultsAndListColours) {
    EXPECT_EQ(window->GetWindowText(), L"类别过滤");
    EXPECT_EQ(window->GetDlgItemText(F::IDC_THRESHOLD), L"2");
    auto* neighbourhood = item<XComboBox>(F::IDC_NEIGHBOURHOOD);
    EXPECT_FALSE(neighbourhood->IsSorted());
    EXPECT_EQ(neighbourhood->GetCount(), 2);
    EXPECT_EQ(neighbourhood->GetCurSel(), 0);
    EXPECT_EQ(neighbourhood->GetLBText(1), L"8");
    for (int id : {F::IDC_INPUT_CLASSES, F::IDC_FILTER_CLASSES})
        EXPECT_EQ(item<XListBox>(id)->palette().color(QPalette::Text), QColor(156, 170, 193));
    // Nothing chosen: only the class message.
    click(IDOK);
    EXPECT_EQ(shown(), std::vector<std::wstring>{L"请选择需要过滤的类别！ | 提示"});
    EXPECT_TRUE(launches.empty());
}

TEST_F(FilterWindowTest, ClassMovesKeepEachClassOnce) {
    browse(F::IDC_INPUT_BROWSE, windowFiles().three);
    EXPECT_FALSE(ui.fileRequests[0].hostAware);
    select(F::IDC_INPUT_CLASSES, {0, 2});
    click(F::IDC_ADD);
    click(F::IDC_ADD);
    EXPECT_EQ(texts(F::IDC_FILTER_CLASSES), (std::vector<std::wstring>{L"1", L"3"}));
    click(F::IDC_ADD_ALL);
    EXPECT_EQ(texts(F::IDC_FILTER_CLASSES), (std::vector<std::wstring>{L"1", L"2", L"3"}));
    select(F::IDC_FILTER_CLASSES, {1, 2});
    click(F::IDC_REMOVE);
    EXPECT_EQ(texts(F::IDC_FILTER_CLASSES), std::vector<std::wstring>{L"1"});
    click(F::IDC_REMOVE_ALL);
    EXPECT_TRUE(texts(F::IDC_FILTER_CLASSES).empty());
    EXPECT_EQ(FilterClassesToAdd({L"  a", L"b", L"a"}, {L" b"}), std::vector<std::wstring>{L"a"});
}

TEST_F(FilterWindowTest, StartFillsTheRecordWithMovedClassesOfEarlierImages) {
    browse(F::IDC_INPUT_BROWSE, windowFiles().three);
    select(F::IDC_INPUT_CLASSES, {0, 1});
    click(F::IDC_ADD);
    browse(F::IDC_INPUT_BROWSE, windowFiles().other); // A and 3
    select(F::IDC_INPUT_CLASSES, {1});
    click(F::IDC_ADD);
    EXPECT_EQ(texts(F::IDC_FILTER_CLASSES), (std::vector<std::wstring>{L"1", L"2", L"3"}));
    click(IDOK);
    EXPECT_EQ(shown(), std::vector<std::wstring>{L"请选择输出路径！ | 提示"});
    browse(F::IDC_OUTPUT_BROWSE, ScratchDir() / "filtered.tif", 1);
    item<XComboBox>(F::IDC_NEIGHBOURHOOD)->SetCurSel(1);
    const auto* r = startOne<CClassifiedSieveParam>();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_filterClassCount, 3);
    EXPECT_EQ(r->m_classMap, (std::map<std::wstring, int>{{L"3", 5}})); // 1 and 2 are not in this image
    EXPECT_EQ(r->m_classCount, 2);
    EXPECT_EQ(r->m_classNames, (std::vector<std::wstring>{L"A", L"3"}));
    EXPECT_EQ(r->m_neighbourhood, 1);
    EXPECT_EQ(r->m_threshold, 2);
    EXPECT_EQ(r->m_outputDataType, PDT_Byte);
    EXPECT_EQ(r->m_outputFormat, 38);
    EXPECT_EQ(r->m_assistantFilePath, wpath(fs::path(windowFiles().other).replace_extension(".acf")));
    EXPECT_EQ(r->m_host, nullptr);
}

TEST_F(FilterWindowTest, ThresholdGuardSpinAndABadTextKeepTheLastValue) {
    auto* edit = item<QLineEdit>(F::IDC_THRESHOLD);
    edit->setText(QStringLiteral("2x"));
    EXPECT_EQ(edit->text(), QStringLiteral("2")); // restored at once
    edit->setText(QStringLiteral("99"));
    auto* up = window->findChild<QToolButton*>(QStringLiteral("spinUp"));
    auto* down = window->findChild<QToolButton*>(QStringLiteral("spinDown"));
    ASSERT_TRUE(up && down);
    up->click();
    up->click();
    EXPECT_EQ(edit->text(), QStringLiteral("100")); // never above 100
    edit->setText(QStringLiteral("0"));
    down->click();
    EXPECT_EQ(edit->text(), QStringLiteral("0"));
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(edit->text(), QStringLiteral("1"));

    browse(F::IDC_INPUT_BROWSE, windowFiles().three);
    click(F::IDC_ADD_ALL);
    edit->setText(QStringLiteral("7"));
    click(IDOK); // stops at the missing output, the 7 is read
    EXPECT_EQ(window->Threshold(), 7u);
    edit->setText(QStringLiteral("abc"));
    EXPECT_EQ(edit->text(), QStringLiteral("7")); // the last accepted value
    edit->setText(QString());
    browse(F::IDC_OUTPUT_BROWSE, ScratchDir() / "f.tif");
    const size_t before = ui.messages.size();
    const auto* r = startOne<CClassifiedSieveParam>();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(ui.messages.size(), before + 1); // the toolkit's prompt, then the start
    EXPECT_EQ(r->m_threshold, 7);
}

TEST_F(FilterWindowTest, AHandTypedThresholdBeyondTheSpinRangePasses) {
    browse(F::IDC_INPUT_BROWSE, windowFiles().three);
    click(F::IDC_ADD_ALL);
    item<QLineEdit>(F::IDC_THRESHOLD)->setText(QStringLiteral("250"));
    browse(F::IDC_OUTPUT_BROWSE, ScratchDir() / "f.tif");
    const auto* r = startOne<CClassifiedSieveParam>();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_threshold, 250);
    EXPECT_EQ(r->m_neighbourhood, 0);
}

TEST_F(FilterWindowTest, AssistantFileMessagesAndWhatStaysRecorded) {
    browse(F::IDC_INPUT_BROWSE, windowFiles().three);
    browse(F::IDC_INPUT_BROWSE, windowFiles().notRaster);
    EXPECT_TRUE(ui.messages.empty()); // no message for an image that cannot be opened
    browse(F::IDC_INPUT_BROWSE, windowFiles().noAcf);
    EXPECT_EQ(shown(), std::vector<std::wstring>{L"找不到分类结果辅助文件 | 提示"});
    EXPECT_EQ(window->Record().m_inputPath, wpath(windowFiles().noAcf));
    EXPECT_EQ(window->Record().m_assistantFilePath, wpath(fs::path(windowFiles().noAcf).replace_extension(".acf")));
    EXPECT_EQ(texts(F::IDC_INPUT_CLASSES).size(), 3u);
    browse(F::IDC_INPUT_BROWSE, windowFiles().brokenAcf);
    EXPECT_EQ(shown().back(), L"打开分类辅助文件失败！ | 提示");
    EXPECT_EQ(texts(F::IDC_INPUT_CLASSES).size(), 3u); // keeps its old entries
    click(F::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics.back().second, 8);
}

// ---- Clump window ---

using C = CClassesClumpDlg;

TEST_F(ClumpWindowTest, OpensInModeZeroWithDisabledBoxesAndChecksOutputFirst) {
    EXPECT_EQ(window->GetWindowText(), L"类别聚类");
    EXPECT_TRUE(window->IsDlgButtonChecked(C::IDC_MODE_HORIZONTAL));
    for (int i = 0; i < 9; ++i) {
        EXPECT_TRUE(window->IsDlgButtonChecked(C::IDC_BOX_FIRST + i));
        EXPECT_FALSE(item<QCheckBox>(C::IDC_BOX_FIRST + i)->isEnabled());
    }
    EXPECT_EQ(item<XListBox>(C::IDC_CLASSES)->palette().color(QPalette::Text), QColor(156, 170, 193));
    click(IDOK);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"请选择输出影像文件路径！");
    EXPECT_EQ(ui.messages[0].caption, L""); // the toolkit's default caption
    browse(C::IDC_OUTPUT_BROWSE, ScratchDir() / "c.tif");
    click(IDOK);
    EXPECT_EQ(ui.messages.back().text, L"提示：请选中需要过滤的类别！");
    EXPECT_TRUE(launches.empty());
}

TEST_F(ClumpWindowTest, ModeZeroIgnoresTheBoxesAndSelectAllMapsEveryClass) {
    browse(C::IDC_INPUT_BROWSE, windowFiles().three);
    browse(C::IDC_OUTPUT_BROWSE, ScratchDir() / "c.tif", 3);
    click(C::IDC_MODE_CUSTOM);
    for (int i : {0, 4, 8})
        click(C::IDC_BOX_FIRST + i); // uncheck
    click(C::IDC_MODE_HORIZONTAL);
    click(C::IDC_SELECT_ALL);
    EXPECT_EQ(window->Record().m_classMap, (std::map<std::wstring, int>{{L"1", 1}, {L"2", 2}, {L"3", 3}}));
    const auto* r = startOne<CClassifyClumpParam>();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_elementValues, (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(r->m_elementRows, 1);
    EXPECT_EQ(r->m_elementColumns, 3);
    EXPECT_EQ(r->m_anchorColumn, 1);
    EXPECT_EQ(r->m_anchorRow, 0);
    EXPECT_EQ(r->m_selectedClassCount, 3);
    EXPECT_EQ(r->m_classCount, 3);
    EXPECT_EQ(r->m_outputFormat, 20);
    EXPECT_EQ(r->m_host, nullptr);
    EXPECT_DOUBLE_EQ(r->m_pixelSizeX, 30);
    EXPECT_DOUBLE_EQ(r->m_pixelSizeY, -30);
}

TEST_F(ClumpWindowTest, CustomModeTakesTheBoxesKeptAcrossModeChanges) {
    browse(C::IDC_INPUT_BROWSE, windowFiles().three);
    browse(C::IDC_OUTPUT_BROWSE, ScratchDir() / "c.tif");
    click(C::IDC_MODE_CUSTOM);
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(item<QCheckBox>(C::IDC_BOX_FIRST + i)->isEnabled());
    for (int i : {0, 1, 2, 6, 7, 8})
        click(C::IDC_BOX_FIRST + i);
    click(C::IDC_MODE_VERTICAL);
    EXPECT_FALSE(item<QCheckBox>(C::IDC_BOX_FIRST)->isEnabled());
    click(C::IDC_MODE_CUSTOM);
    EXPECT_FALSE(window->IsDlgButtonChecked(C::IDC_BOX_FIRST));
    select(C::IDC_CLASSES, {1});
    EXPECT_EQ(window->Record().m_classMap, (std::map<std::wstring, int>{{L"2", 2}}));
    const auto* r = startOne<CClassifyClumpParam>();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_elementValues, (std::vector<double>{0, 0, 0, 1, 1, 1, 0, 0, 0}));
    EXPECT_EQ(r->m_elementRows, 3);
    EXPECT_EQ(r->m_elementColumns, 3);
    EXPECT_EQ(r->m_anchorColumn, 1);
    EXPECT_EQ(r->m_anchorRow, 1);
    EXPECT_EQ(r->m_selectedClassCount, 1);
    // Every class of the image, selected or not.
    EXPECT_EQ(r->m_classNames, (std::vector<std::wstring>{L"1", L"2", L"3"}));
    EXPECT_EQ(r->m_classSecondValues, (std::vector<int>{7, 8, 9}));
    EXPECT_EQ(r->m_classPixelCounts, (std::vector<std::int64_t>{10, 20, 30}));
    EXPECT_EQ(r->m_bandList, std::vector<int>{0});
}

TEST_F(ClumpWindowTest, SelectAgainEmptiesTheMapAndStopsTheStart) {
    browse(C::IDC_INPUT_BROWSE, windowFiles().three);
    browse(C::IDC_OUTPUT_BROWSE, ScratchDir() / "c.tif");
    click(C::IDC_SELECT_ALL);
    click(C::IDC_SELECT_NONE);
    EXPECT_TRUE(window->Record().m_classMap.empty());
    click(IDOK);
    EXPECT_EQ(ui.messages.back().text, L"提示：请选中需要过滤的类别！");
    EXPECT_TRUE(launches.empty());
    const StructuringElement vertical = ElementForMode(1, {0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(vertical.rows, 3);
    EXPECT_EQ(vertical.anchorRow, 1);
}

TEST_F(ClumpWindowTest, AssistantFileMessagesAndWhatStaysRecorded) {
    browse(C::IDC_INPUT_BROWSE, windowFiles().three);
    select(C::IDC_CLASSES, {0});
    browse(C::IDC_INPUT_BROWSE, windowFiles().notRaster);
    EXPECT_EQ(shown(), std::vector<std::wstring>{L"    打开影像失败 | 错误"});
    browse(C::IDC_INPUT_BROWSE, windowFiles().noAcf);
    EXPECT_EQ(shown().back(), L"找不到分类辅助文件！ | 警告！");
    EXPECT_EQ(window->Record().m_inputPath, wpath(windowFiles().noAcf));
    browse(C::IDC_INPUT_BROWSE, windowFiles().brokenAcf);
    EXPECT_EQ(shown().back(), L"打开分类辅助文件失败！ | 提示");
    EXPECT_EQ(texts(C::IDC_CLASSES).size(), 3u); // the list keeps its old entries
    browse(C::IDC_INPUT_BROWSE, windowFiles().other);
    EXPECT_EQ(texts(C::IDC_CLASSES), (std::vector<std::wstring>{L"A", L"3"}));
    EXPECT_EQ(window->ClassCount(), 2);
    // Emptying the list leaves the map of the earlier selection.
    EXPECT_EQ(window->Record().m_classMap, (std::map<std::wstring, int>{{L"1", 1}}));
    click(C::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics.back().second, 7);
}
