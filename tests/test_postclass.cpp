// Post-classification: class merge and clump checked against naive
// whole-image references on small images read in small blocks, the sieve on
// hand-worked images (its naive reference: test_regions_clusters.cpp); their
// command-line tools; and the class merge, filter and clump windows.
#include "base/commonfun.h"
#include "common/filters.h"
#include "entry/tesserauilib.h"
#include "platform/xcombobox.h"
#include "postclass/CClassesClumpDlg.h"
#include "postclass/CClassesFilterDlg.h"
#include "postclass/CClassesMergeDlg.h"
#include "processing/postclassify.h"
#include "support/cli.h"
#include "support/fixtures.h"
#include "support/references.h"
#include "support/windowharness.h"

#include <QCheckBox>
#include <QLineEdit>

#include <unistd.h>

namespace {

// Classes 0 ("Unclassified") to k, with names that make the rules readable.
std::vector<AcfClass> numberedDefs(int k) {
    std::vector<AcfClass> defs{{L"Unclassified", 0}};
    for (int i = 1; i <= k; ++i)
        defs.push_back(
            {L"类" + std::to_wstring(i), i, 0, 0x010203u * static_cast<std::uint32_t>(i) + 0x100000u});
    return defs;
}

// A one-band Byte GeoTIFF of class values with nodata 0 and its .acf of k
// classes; `tile` > 0 tiles it, otherwise strips of one row.
fs::path classImage(const fs::path& path, int width, int height, const std::vector<int>& values, int k = 0,
                    int tile = 0) {
    RasterSpec spec{width, height, 1, GDT_Byte, {500000, 30, 0, 4000000, 0, -30}, 0, {{1, 0}}};
    const std::string t = std::to_string(tile);
    spec.options = tile ? std::vector<std::string>{"TILED=YES", "BLOCKXSIZE=" + t, "BLOCKYSIZE=" + t}
                        : std::vector<std::string>{"BLOCKYSIZE=1"};
    WriteRaster(path, spec, values);
    if (k)
        WriteAcf(path, numberedDefs(k));
    return path;
}

std::map<std::wstring, int> classMapOf(const std::set<int>& chosen) {
    std::map<std::wstring, int> map;
    for (int c : chosen)
        map[L"类" + std::to_wstring(c)] = c;
    return map;
}

CClassifyMergeParam mergeRecord(const fs::path& in, const fs::path& out, std::vector<std::wstring> entries) {
    CClassifyMergeParam r;
    r.m_inputPath = WPath(in);
    r.m_outputPath = WPath(out);
    r.m_mergeEntries = std::move(entries);
    return r;
}

CClassifiedSieveParam sieveRecord(const fs::path& in, const fs::path& out,
                                  std::map<std::wstring, int> classes, int threshold, bool eight = false) {
    CClassifiedSieveParam r;
    r.m_inputPath = WPath(in);
    r.m_outputPath = WPath(out);
    r.m_classMap = std::move(classes);
    r.m_threshold = threshold;
    r.m_neighbourhood = eight ? 1 : 0;
    return r;
}

struct Element {
    std::vector<double> values;
    int rows, cols, anchorCol, anchorRow;
};

CClassifyClumpParam clumpRecord(const fs::path& in, const fs::path& out, const Element& e,
                                std::map<std::wstring, int> classes) {
    CClassifyClumpParam r;
    r.m_inputPath = WPath(in);
    r.m_outputPath = WPath(out);
    r.m_elementValues = e.values;
    r.m_elementRows = e.rows, r.m_elementColumns = e.cols;
    r.m_anchorColumn = e.anchorCol, r.m_anchorRow = e.anchorRow;
    r.m_classMap = std::move(classes);
    return r;
}

std::vector<int> naiveClump(const std::vector<int>& v, int W, int H, const std::set<int>& chosen,
                            const Element& e) {
    std::vector<std::pair<int, int>> offs;
    for (int r = 0; r < e.rows; ++r)
        for (int c = 0; c < e.cols; ++c)
            if (e.values[r * e.cols + c] != 0)
                offs.emplace_back(c - e.anchorCol, r - e.anchorRow);
    const auto inside = [&](int c, int r) { return c >= 0 && r >= 0 && c < W && r < H; };
    // Pixels of class cls under the reflected element placed at (c, r).
    const auto hits = [&](int c, int r, int cls) {
        int n = 0;
        for (const auto& [dc, dr] : offs)
            n += inside(c - dc, r - dr) && v[(r - dr) * W + c - dc] == cls;
        return n;
    };
    std::vector<int> out = v;
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            const int own = v[r * W + c];
            if (!own || chosen.count(own) || offs.empty())
                continue;
            int best = -1, bestCount = -1;
            for (int cls : chosen) { // closed: every element position around it touches cls
                bool closed = true;
                for (const auto& [dc, dr] : offs)
                    closed = closed && inside(c + dc, r + dr) && hits(c + dc, r + dr, cls) > 0;
                if (closed && hits(c, r, cls) > bestCount)
                    best = cls, bestCount = hits(c, r, cls);
            }
            if (best >= 0)
                out[r * W + c] = best;
        }
    return out;
}

// Runs the tool on the record in blocks of bw x bh with `workers` threads (0: the defaults): "" or its error.
template <class Tool, class Record>
std::string runTool(Record record, int workers = 0, int bw = 0, int bh = 0) {
    Tool tool(&record);
    tool.SetBlockSize(bw, bh);
    tool.SetWorkerCount(workers);
    return tool.ProcessFromNewThread(false) ? "" : Narrow(tool.GetLastError());
}

} // namespace

TEST(ClassMerge, RelabelsByTheRulesSumsTheTargetsCountsAndSplitsEntriesAtThePlusThatNamesTwoClasses) {
    const fs::path d = Scratch("merge-run");
    const int W = 37, H = 29;
    const std::vector<int> v = PatchyClasses(W, H, 1, 5, 1);
    classImage(d / "in.tif", W, H, v, 5, 16);
    const std::vector<AcfClass> defs = numberedDefs(5);

    CClassifyMergeParam record =
        mergeRecord(d / "in.tif", d / "out.tif", {L"类2+类1", L"类3+类1", L"类5+类4", L"类4+类4"});
    record.m_assistantFilePath = WPath(d / "in.acf");
    record.m_bandList = {0}; // as the window writes it
    record.m_classMap = classMapOf({1, 2, 3, 4, 5});
    record.m_classMap[L"Unclassified"] = 0;
    CClassifyMerge merge(&record);
    merge.SetWorkerCount(3);
    ASSERT_TRUE(merge.ProcessFromNewThread(false)) << Narrow(merge.GetLastError());

    const int lookup[6] = {0, 1, 1, 1, 4, 4}; // the rules do not chain: 5 goes to 4 and stays
    std::vector<std::int64_t> counts(6, 0);
    std::vector<int> expected(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        ++counts[expected[i] = lookup[v[i]]];
    EXPECT_EQ(ReadBand(d / "out.tif"), expected);
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(WPath(d / "out.acf")));
    ASSERT_EQ(acf.GetClassCount(), 6);
    for (int c = 0; c <= 5; ++c) { // every class keeps its name and colour
        const ClassRecord* r = acf.GetClassRecord(c);
        EXPECT_EQ(std::tuple(r->m_classNumber, r->m_pixelCount, r->m_name, r->m_colour),
                  std::tuple(c, counts[c], defs[c].name, defs[c].colour));
    }
    EXPECT_EQ(std::tuple(acf.GetPixelSizeX(), acf.GetPixelSizeY()), std::tuple(30.0, -30.0));
    EXPECT_EQ(merge.GetParam().m_bandList, std::vector<int>{0}); // the band list stays as copied
    // The first split naming two classes; none.
    const std::map<std::wstring, int> names{{L"a+b", 1}, {L"c", 2}, {L"a", 3}, {L"b+c", 4}};
    for (auto [entry, split] :
         {std::pair{L"a+b+c", L"a | b+c"}, {L"c+a+b", L"c | a+b"}, {L"c+d", L""}, {L"ca", L""}}) {
        std::wstring from, to;
        EXPECT_EQ(SplitMergeEntry(entry, names, from, to) ? from + L" | " + to : L"", split);
    }
}

TEST(ClassSieve, HandWorkedSpeckle) {
    const fs::path d = Scratch("sieve-hand");
    // 1 1 1 3
    // 1 2 1 3     the lone 2 is surrounded by 1; the pair of 3s at the right
    // 1 1 1 2     border 1 (three times) and 2 (once): both become 1.
    classImage(d / "in.tif", 4, 3, {1, 1, 1, 3, 1, 2, 1, 3, 1, 1, 1, 2}, 3);
    ASSERT_EQ(
        runTool<CClassifiedSieve>(sieveRecord(d / "in.tif", d / "out.tif", {{L"类2", 2}, {L"类3", 3}}, 3)),
        "");
    // The lower-right 2 is a region of one pixel too; its neighbours that stay
    // are the 1 to its left (the 3 above it is removed), so it becomes 1.
    EXPECT_EQ(ReadBand(d / "out.tif"), std::vector<int>(12, 1));
}

TEST(ClassClump, HandWorkedGapsAreClosedUpToTheElementsLength) {
    const fs::path d = Scratch("clump-hand");
    // Row 0: a gap of two 2s between 1s is closed by the 1 x 3 element; row 1:
    // a gap of three is not.
    classImage(d / "in.tif", 6, 2, {1, 2, 2, 1, 3, 3, 1, 2, 2, 2, 1, 3}, 3);
    CClassifyClumpParam record =
        clumpRecord(d / "in.tif", d / "out.tif", {{1, 1, 1}, 1, 3, 1, 0}, {{L"类1", 1}});
    ASSERT_EQ(runTool<ClassifyClump>(record), "");
    EXPECT_EQ(ReadBand(d / "out.tif"), (std::vector<int>{1, 1, 1, 1, 3, 3, 1, 2, 2, 2, 1, 3}));
    // A malformed element is refused.
    record.m_outputPath = WPath(d / "bad.tif");
    record.m_elementValues = {1, 1};
    EXPECT_FALSE(ClassifyClump(&record).ProcessFromNewThread(false)); // wrong count
    record.m_elementValues = {1, 1, 1};
    record.m_anchorColumn = 3;
    EXPECT_FALSE(ClassifyClump(&record).ProcessFromNewThread(false)); // anchor outside
    EXPECT_FALSE(fs::exists(d / "bad.tif"));
}

TEST(ClassClump, AgreesWithDirectMorphologyAcrossSmallBlocks) {
    const fs::path d = Scratch("clump-naive");
    const int W = 35, H = 27;
    const std::vector<int> v = PatchyClasses(W, H, 1, 4, 11);
    classImage(d / "in.tif", W, H, v, 4, 16);
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
                ASSERT_EQ(
                    runTool<ClassifyClump>(clumpRecord(d / "in.tif", out, e, classMapOf(chosen)), 2, bw, bh),
                    "");
                ASSERT_EQ(ReadBand(out), naiveClump(v, W, H, chosen, e)) << "element " << run;
            }
}

TEST(PostClassBadInput, FailsWithAMessageAndLeavesNothing) {
    const fs::path d = Scratch("bad-input");
    WriteRaster(d / "negative.tif", {4, 4, 1, GDT_Int16},
                std::vector<int>{1, 1, -3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    classImage(d / "corrupt.tif", 4, 4, std::vector<int>(16, 1));
    WriteBytes(d / "corrupt.acf", "TESSERA-ACF 1\nclass-count 2\n");
    classImage(d / "good.tif", 4, 4, {1, 2, 1, 2, 1, 7, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2},
               2); // the 7 has no class
    const std::set<std::string> before = FilesIn(d);

    const std::map<std::wstring, int> one{{L"类1", 1}};
    const std::tuple<const char*, std::map<std::wstring, int>, fs::path, const char*> cases[] = {
        {"negative.tif", one, d / "o1.tif", "holds -3, not a class number"},
        {"corrupt.tif", one, d / "o2.tif", "Cannot read"},
        {"good.tif", {}, d / "o3.tif", "No class"},
        {"good.tif", {{L"类9", 9}}, d / "o4.tif", "is not a class of"},
        {"good.tif", one, d / "missing-folder" / "o5.tif", "folder"},
        {"good.tif", one, d / "o6.tif", "(1, 1) holds the value 7"}};
    for (const auto& [input, classes, out, says] : cases) {
        const std::string error = runTool<CClassifiedSieve>(sieveRecord(d / input, out, classes, 2));
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
    CClassifyMergeParam merge = mergeRecord(d / "good.tif", d / "o7.tif", {L"类1+类8"});
    EXPECT_NE(runTool<CClassifyMerge>(merge).find("类1+类8"), std::string::npos);
    merge.m_mergeEntries = {L"类2+类1"}; // the 7 again, through the shared block loop
    EXPECT_NE(runTool<CClassifyMerge>(merge).find("value 7"), std::string::npos);

    EXPECT_EQ(FilesIn(d), before); // no output, no temporary file, no .acf
}

TEST(PostClassBadInput, AnUnwritableFolderLeavesNothing) {
    const fs::path d = Scratch("bad-unwritable");
    classImage(d / "in.tif", 4, 4, std::vector<int>(16, 1), 1);
    // A folder nobody can create files in, whoever runs the test.
    if (fs::is_directory("/proc/self")) {
        const std::string error = runTool<ClassifyClump>(
            clumpRecord(d / "in.tif", "/proc/self/clumped.tif", {{1, 1, 1}, 1, 3, 1, 0}, {{L"类1", 1}}));
        EXPECT_NE(error.find("Cannot create the output image"), std::string::npos) << error;
    }
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const fs::path locked = d / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_NE(runTool<CClassifyMerge>(mergeRecord(d / "in.tif", locked / "out.tif", {})), "");
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_TRUE(FilesIn(locked).empty());
}

TEST(PostClassCli, ToolsBuildTheRecordsTheWindowsBuild) {
    const fs::path d = Scratch("cli");
    const int W = 30, H = 22;
    const std::vector<int> v = PatchyClasses(W, H, 1, 3, 5);
    const std::string in = classImage(d / "in.tif", W, H, v, 3, 16).string();

    CliRun r = RunTessera({"merge", in, (d / "m.tif").string(), "--rule", "2=1,类3=1", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("wrote"), std::string::npos);
    std::vector<int> merged = v;
    for (int& x : merged)
        x = x >= 2 ? 1 : x;
    EXPECT_EQ(ReadBand(d / "m.tif"), merged);
    EXPECT_TRUE(fs::exists(d / "m.acf"));

    r = RunTessera(
        {"sieve", in, (d / "s.tif").string(), "--classes", "1,3", "--threshold", "4", "--eight", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBand(d / "s.tif"), NaiveSieve(v, W, H, {1, 3}, 4, true));

    r = RunTessera(
        {"clump", in, (d / "c.tif").string(), "--classes", "2", "--element", "010111010", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBand(d / "c.tif"), naiveClump(v, W, H, {2}, {{0, 1, 0, 1, 1, 1, 0, 1, 0}, 3, 3, 1, 1}));
    r = RunTessera({"clump", in, (d / "cv.tif").string(), "--classes", "2", "--element", "v", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBand(d / "cv.tif"), naiveClump(v, W, H, {2}, {{1, 1, 1}, 3, 1, 0, 1}));
}

TEST(PostClassCli, BadInputGivesOneLineAndNoOutput) {
    const fs::path d = Scratch("cli-bad");
    const std::string noAcf = classImage(d / "noacf.tif", 4, 4, std::vector<int>(16, 1)).string();
    const std::string in = classImage(d / "in.tif", 4, 4, std::vector<int>(16, 1), 2).string();
    const std::string corrupt = classImage(d / "corrupt.tif", 4, 4, std::vector<int>(16, 1)).string();
    WriteBytes(d / "corrupt.acf", "not an assistant file\n");
    const std::string out = (d / "out.tif").string();
    ExpectRefusals(
        {{{"merge", noAcf, out, "--rule", "1=4", "--quiet"},
          2,
          "names a class that is not in the pixel values"},
         {{"sieve", corrupt, out, "--classes", "1", "--quiet"}, 1, "Cannot read the classification"},
         {{"sieve", in, out, "--classes", "5", "--quiet"}, 2, "--classes: class 5"},
         {{"sieve", in, out, "--quiet"}, 2, "--classes"},
         {{"merge", in, out, "--rule", "1-2", "--quiet"}, 2, "--rule expects"},
         {{"merge", in, out, "--rule", "1=9", "--quiet"}, 2, "names a class"},
         {{"clump", in, out, "--classes", "1", "--element", "11", "--quiet"}, 2, "--element"},
         {{"clump", in, (d / "no" / "out.tif").string(), "--classes", "1", "--quiet"}, 1, "folder"}},
        d);
}

namespace {

// Classified images for the windows: three classes named 1, 2, 3; two
// classes A and 3 of another image; one without, one with a broken .acf; a
// file that is no raster.
struct WindowFiles {
    fs::path three, other, noAcf, brokenAcf, notRaster;
};

const WindowFiles& windowFiles() {
    static const WindowFiles files = [] {
        const fs::path d = Scratch("windows");
        WindowFiles f{d / "three.tif", d / "other.img.tif", d / "noacf.tif", d / "broken.tif",
                      d / "text.tif"};
        classImage(f.three, 6, 4, std::vector<int>(24, 1));
        WriteAcf(f.three, {{L"1", 1, 10, 0, 7}, {L"2", 2, 20, 0, 8}, {L"3", 3, 30, 0, 9}});
        classImage(f.other, 5, 5, std::vector<int>(25, 1));
        WriteAcf(f.other, {{L"A", 1}, {L"3", 5}});
        classImage(f.noAcf, 3, 3, std::vector<int>(9, 1));
        classImage(f.brokenAcf, 3, 3, std::vector<int>(9, 1));
        WriteBytes(fs::path(f.brokenAcf).replace_extension(".acf"), "TESSERA-ACF 9\n");
        WriteBytes(f.notRaster, "not a raster\n");
        return f;
    }();
    return files;
}

using Names = std::vector<std::wstring>;
using ClassMap = std::map<std::wstring, int>;

template <class D, auto Entry> class PostClassWindowTest : public WindowTest<D, Entry> {
protected:
    void browse(int id, const fs::path& path, int saveType = 1) { this->choose(id, WPath(path), saveType); }
    // Chooses each file as the input in turn.
    void browseInputs(std::initializer_list<fs::path> paths) {
        for (const fs::path& path : paths)
            browse(D::IDC_INPUT_BROWSE, path);
    }
};

using MergeWindowTest = PostClassWindowTest<CClassesMergeDlg, CTesseraUILib::ShowMergeClassifyDlg>;
using FilterWindowTest = PostClassWindowTest<CClassesFilterDlg, CTesseraUILib::ShowFilterClassifyDlg>;
using ClumpWindowTest = PostClassWindowTest<CClassesClumpDlg, CTesseraUILib::ShowLumpClassifyDlg>;

} // namespace

using M = CClassesMergeDlg;

TEST_F(MergeWindowTest, FillsBothClassListsMovesTheInputClassOfARuleOutOnceAndKeepsTheRules) {
    EXPECT_EQ(text(M::IDC_INPUT_CLASS_NAME) + text(M::IDC_OUTPUT_CLASS_NAME), L""); // "Static" never shows
    browse(M::IDC_INPUT_BROWSE, windowFiles().three);
    EXPECT_EQ(ui.Asked(0), (FileAsk{true, L".tif", 6, true, Filters::RasterInput}));
    EXPECT_EQ(std::tuple(texts(M::IDC_INPUT_CLASSES), texts(M::IDC_OUTPUT_CLASSES), ui.messages.size()),
              std::tuple(Names{L"1", L"2", L"3"}, Names{L"1", L"2", L"3"}, 0u));
    const CClassifyMergeParam& opened = window->Record();
    EXPECT_EQ(opened.m_inputPath + L" " + opened.m_assistantFilePath,
              WPath(windowFiles().three) + L" " +
                  WPath(fs::path(windowFiles().three).replace_extension(".acf")));
    EXPECT_EQ(std::tuple(opened.m_right, opened.m_bottom, opened.m_bandList, opened.m_outputBandCount,
                         opened.m_outputDataType),
              std::tuple(6, 4, std::vector<int>{0}, 1, PDT_Byte));
    item<XListBox>(M::IDC_INPUT_CLASSES)->SetCurSel(2);
    item<XListBox>(M::IDC_OUTPUT_CLASSES)->SetCurSel(0);
    EXPECT_EQ(text(M::IDC_INPUT_CLASS_NAME) + text(M::IDC_OUTPUT_CLASS_NAME), L"31");
    click(M::IDC_ADD_MERGE);
    item<XListBox>(M::IDC_INPUT_CLASSES)->SetCurSel(1);
    click(M::IDC_ADD_MERGE); // 2+1
    click(M::IDC_ADD_MERGE); // nothing selected any more
    EXPECT_EQ(std::tuple(texts(M::IDC_MERGE_LIST), texts(M::IDC_INPUT_CLASSES), texts(M::IDC_OUTPUT_CLASSES)),
              std::tuple(Names{L"2+1", L"3+1"}, Names{L"1"}, Names{L"1", L"2", L"3"}));
    // A second image keeps the rules and adds its names; the same image twice
    // is listed twice, its band once.
    browseInputs({windowFiles().other, windowFiles().other});
    EXPECT_EQ(std::tuple(texts(M::IDC_INPUT_CLASSES), item<XComboBox>(M::IDC_INPUT_LIST)->GetCount(),
                         window->Record().m_bandList),
              std::tuple(Names{L"A", L"3"}, 3, std::vector<int>{0}));
    browse(M::IDC_OUTPUT_BROWSE, ScratchDir() / "merged.img", 3);
    const auto& r = startOne<CClassifyMergeParam>();
    EXPECT_EQ(
        std::tuple(r.m_mergeEntries, r.m_outputFormat, r.m_host, r.m_classMap),
        std::tuple(Names{L"2+1", L"3+1"}, 20, &host, ClassMap{{L"1", 1}, {L"2", 2}, {L"3", 5}, {L"A", 1}}));
    EXPECT_TRUE((r.m_algorithmName == L"类别合并" || r.m_algorithmName.empty()) &&
                launches.back().progressShown);
}

TEST_F(MergeWindowTest, AssistantFileMessagesTheOutputSaveTypeAndAStartWithNothingChecked) {
    browseInputs({windowFiles().three, windowFiles().notRaster});
    EXPECT_EQ(std::tuple(texts(M::IDC_INPUT_CLASSES).size(), window->Record().m_inputPath),
              std::tuple(3u, WPath(windowFiles().three)));
    browse(M::IDC_INPUT_BROWSE, windowFiles().noAcf);
    EXPECT_EQ(std::tuple(texts(M::IDC_INPUT_CLASSES).size(), window->Record().m_inputPath),
              std::tuple(3u, WPath(windowFiles().noAcf))); // recorded before the test
    browse(M::IDC_INPUT_BROWSE, windowFiles().brokenAcf);
    EXPECT_EQ(ui.Shown(), (Names{L"    打开影像失败 | 错误", L"找不到分类辅助文件！ | 警告！",
                                 L"打开分类辅助文件失败！ | 提示"}));
    EXPECT_EQ(std::tuple(texts(M::IDC_INPUT_CLASSES), texts(M::IDC_OUTPUT_CLASSES)),
              std::tuple(Names{}, Names{}));
    browse(M::IDC_OUTPUT_BROWSE, "/data/a.tif", 2);
    ui.CancelFileAnswer();
    click(M::IDC_OUTPUT_BROWSE);
    EXPECT_EQ(window->Record().m_outputPath + L" " + window->OutputWord(), L"/data/a.tif tif");
    EXPECT_EQ(ui.Asked(5), (FileAsk{false, L".tif", 6, true, Filters::RasterOutput}));
    browse(M::IDC_OUTPUT_BROWSE, "/data/a.pix", 4);
    EXPECT_EQ(window->OutputWord(), L"");
    click(M::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{4, 5}}));
    const auto& r = startOne<CClassifyMergeParam>();
    EXPECT_EQ(std::tuple(r.m_outputFormat, r.m_mergeEntries), std::tuple(0, Names{}));
}

using F = CClassesFilterDlg;

TEST_F(FilterWindowTest, OpensWithItsDefaultsMovesEachClassOnceAndRecordsTheMovedClassesOfEarlierImages) {
    EXPECT_EQ(text(F::IDC_THRESHOLD), L"2");
    auto* neighbourhood = item<XComboBox>(F::IDC_NEIGHBOURHOOD);
    EXPECT_EQ(std::tuple(neighbourhood->GetCount(), neighbourhood->GetCurSel(), neighbourhood->GetLBText(1)),
              std::tuple(2, 0, std::wstring(L"8")));
    click(IDOK); // nothing chosen: only the class message
    EXPECT_EQ(ui.Shown(), Names{L"请选择需要过滤的类别！ | 提示"});
    browse(F::IDC_INPUT_BROWSE, windowFiles().three);
    EXPECT_FALSE(ui.fileRequests[0].hostAware);
    click(F::IDC_ADD_ALL);
    click(F::IDC_REMOVE_ALL);
    EXPECT_EQ(FilterClassesToAdd({L"  a", L"b", L"a"}, {L" b"}), Names{L"a"}); // each class once
    // Classes moved from two images: the record maps those of the last one.
    select(F::IDC_INPUT_CLASSES, {0, 1});
    click(F::IDC_ADD);
    click(F::IDC_ADD);
    browse(F::IDC_INPUT_BROWSE, windowFiles().other); // A and 3
    select(F::IDC_INPUT_CLASSES, {1});
    click(F::IDC_ADD);
    EXPECT_EQ(texts(F::IDC_FILTER_CLASSES), (Names{L"1", L"2", L"3"}));
    click(IDOK);
    EXPECT_EQ(ui.Shown().back(), L"请选择输出路径！ | 提示");
    EXPECT_TRUE(launches.empty());
    browse(F::IDC_OUTPUT_BROWSE, ScratchDir() / "filtered.tif", 1);
    neighbourhood->SetCurSel(1);
    const auto& r = startOne<CClassifiedSieveParam>();
    EXPECT_EQ(std::tuple(r.m_classMap, r.m_classNames), std::tuple(ClassMap{{L"3", 5}}, Names{L"A", L"3"}));
    EXPECT_EQ(std::tuple(r.m_filterClassCount, r.m_classCount, r.m_neighbourhood, r.m_threshold,
                         r.m_outputDataType, r.m_outputFormat, r.m_host),
              std::tuple(3, 2, 1, 2, PDT_Byte, 38, nullptr));
    EXPECT_EQ(r.m_assistantFilePath, WPath(fs::path(windowFiles().other).replace_extension(".acf")));
}

TEST_F(FilterWindowTest, TheThresholdKeepsTheLastAcceptedValueAndAHandTypedOneBeyondTheSpinPasses) {
    auto* edit = item<QLineEdit>(F::IDC_THRESHOLD);
    edit->setText(QStringLiteral("2x"));
    EXPECT_EQ(edit->text(), QStringLiteral("2")); // restored at once
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
    EXPECT_EQ(startOne<CClassifiedSieveParam>().m_threshold, 7);
    EXPECT_EQ(ui.messages.size(), before + 1); // the toolkit's prompt, then the start
    // A hand-typed threshold beyond the spin range passes.
    reopen();
    browse(F::IDC_INPUT_BROWSE, windowFiles().three);
    click(F::IDC_ADD_ALL);
    item<QLineEdit>(F::IDC_THRESHOLD)->setText(QStringLiteral("250"));
    browse(F::IDC_OUTPUT_BROWSE, ScratchDir() / "f.tif");
    const auto& r = startOne<CClassifiedSieveParam>();
    EXPECT_EQ(std::tuple(r.m_threshold, r.m_neighbourhood), std::tuple(250, 0));
}

TEST_F(FilterWindowTest, AssistantFileMessagesAndWhatStaysRecorded) {
    browseInputs({windowFiles().three, windowFiles().notRaster, windowFiles().noAcf});
    EXPECT_EQ(ui.Shown(),
              Names{L"找不到分类结果辅助文件 | 提示"}); // none for the image that cannot be opened
    EXPECT_EQ(window->Record().m_inputPath + L" " + window->Record().m_assistantFilePath,
              WPath(windowFiles().noAcf) + L" " +
                  WPath(fs::path(windowFiles().noAcf).replace_extension(".acf")));
    browse(F::IDC_INPUT_BROWSE, windowFiles().brokenAcf);
    EXPECT_EQ(ui.Shown().back(), L"打开分类辅助文件失败！ | 提示");
    EXPECT_EQ(texts(F::IDC_INPUT_CLASSES).size(), 3u); // keeps its old entries
    click(F::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics.back().second, 8);
}

using C = CClassesClumpDlg;

TEST_F(ClumpWindowTest, OpensInModeZeroWithDisabledBoxesChecksOutputFirstAndIgnoresTheBoxes) {
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(std::tuple(window->IsDlgButtonChecked(C::IDC_BOX_FIRST + i),
                             item<QCheckBox>(C::IDC_BOX_FIRST + i)->isEnabled()),
                  std::tuple(true, false));
    EXPECT_TRUE(window->IsDlgButtonChecked(C::IDC_MODE_HORIZONTAL));
    click(IDOK);
    EXPECT_EQ(ui.Shown(), Names{L"请选择输出影像文件路径！ | "}); // the toolkit's default caption
    browse(C::IDC_OUTPUT_BROWSE, ScratchDir() / "c.tif", 3);
    click(IDOK);
    // Select again empties the map and stops the start.
    browse(C::IDC_INPUT_BROWSE, windowFiles().three);
    click(C::IDC_SELECT_ALL);
    click(C::IDC_SELECT_NONE);
    EXPECT_TRUE(window->Record().m_classMap.empty());
    click(IDOK);
    EXPECT_EQ(ui.Shown(), (Names{L"请选择输出影像文件路径！ | ", L"提示：请选中需要过滤的类别！ | ",
                                 L"提示：请选中需要过滤的类别！ | "}));
    EXPECT_TRUE(launches.empty());
    // Mode zero takes no box; select all maps every class.
    click(C::IDC_MODE_CUSTOM);
    for (int i : {0, 4, 8})
        click(C::IDC_BOX_FIRST + i); // uncheck
    click(C::IDC_MODE_HORIZONTAL);
    click(C::IDC_SELECT_ALL);
    EXPECT_EQ(window->Record().m_classMap, (ClassMap{{L"1", 1}, {L"2", 2}, {L"3", 3}}));
    const auto& r = startOne<CClassifyClumpParam>();
    EXPECT_EQ(r.m_elementValues, (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(std::tuple(r.m_elementRows, r.m_elementColumns, r.m_anchorColumn, r.m_anchorRow,
                         r.m_selectedClassCount, r.m_classCount, r.m_outputFormat, r.m_host),
              std::tuple(1, 3, 1, 0, 3, 3, 20, nullptr));
    EXPECT_EQ(std::tuple(r.m_pixelSizeX, r.m_pixelSizeY), std::tuple(30.0, -30.0));
    const StructuringElement vertical = ElementForMode(1, {0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(std::tuple(vertical.rows, vertical.anchorRow), std::tuple(3, 1));
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
    EXPECT_EQ(window->Record().m_classMap, (ClassMap{{L"2", 2}}));
    const auto& r = startOne<CClassifyClumpParam>();
    EXPECT_EQ(r.m_elementValues, (std::vector<double>{0, 0, 0, 1, 1, 1, 0, 0, 0}));
    EXPECT_EQ(std::tuple(r.m_elementRows, r.m_elementColumns, r.m_anchorColumn, r.m_anchorRow,
                         r.m_selectedClassCount, r.m_bandList),
              std::tuple(3, 3, 1, 1, 1, std::vector<int>{0}));
    // Every class of the image, selected or not.
    EXPECT_EQ(std::tuple(r.m_classNames, r.m_classSecondValues, r.m_classPixelCounts),
              std::tuple(Names{L"1", L"2", L"3"}, std::vector<int>{7, 8, 9},
                         std::vector<std::int64_t>{10, 20, 30}));
}

TEST_F(ClumpWindowTest, AssistantFileMessagesAndWhatStaysRecorded) {
    browse(C::IDC_INPUT_BROWSE, windowFiles().three);
    select(C::IDC_CLASSES, {0});
    browseInputs({windowFiles().notRaster, windowFiles().noAcf});
    EXPECT_EQ(window->Record().m_inputPath, WPath(windowFiles().noAcf));
    browse(C::IDC_INPUT_BROWSE, windowFiles().brokenAcf);
    EXPECT_EQ(ui.Shown(), (Names{L"    打开影像失败 | 错误", L"找不到分类辅助文件！ | 警告！",
                                 L"打开分类辅助文件失败！ | 提示"}));
    EXPECT_EQ(texts(C::IDC_CLASSES).size(), 3u); // the list keeps its old entries
    browse(C::IDC_INPUT_BROWSE, windowFiles().other);
    // Emptying the list leaves the map of the earlier selection.
    EXPECT_EQ(std::tuple(texts(C::IDC_CLASSES), window->ClassCount(), window->Record().m_classMap),
              std::tuple(Names{L"A", L"3"}, 2, ClassMap{{L"1", 1}}));
    click(C::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics.back().second, 7);
}
