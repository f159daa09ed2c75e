// The engine's file formats (.acf, .cif, .aif): round trips, truncated files,
// oversized counts, failed writes.
#include "base/commonfun.h"
#include "engine/aiffile.h"
#include "engine/classifiedassistantfile.h"
#include "engine/classifysamplefile.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tessera;

namespace {

// A fresh folder per test.
class FormatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = Scratch(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::wstring Path(const std::string& name) const { return WPath(m_dir / name); }
    std::string Bytes(const std::string& name) const { return ReadBytes(m_dir / name); }
    void Write(const std::string& name, const std::string& bytes) const { WriteBytes(m_dir / name, bytes); }

    fs::path m_dir;
};

CClassifiedAssistantFile SampleAssistantFile() {
    CClassifiedAssistantFile file;
    file.AddClass(L"Unclassified", 0, 12, 0x000000);
    file.AddClass(L"水体 water\tbody", 1, (std::int64_t{1} << 32) + 7, 0x00FF0000, 3);
    file.AddClass(L" 林地\\n leading and trailing blanks ", 2, 9000000000LL, 0x0000FF00, -5);
    file.AddClass(L"", 3, 0, 0xFFFFFFFF);
    file.AddClass(std::wstring(L"ctrl\n\r\x01\x7F") + L"\U0001F600", -4, 1, 0x00123456);
    file.SetPixelSize(30.0, -29.999999999999996);
    return file;
}

ClassifySample* MakeSample(const std::wstring& name, int bands, int seed) {
    auto* sample = new ClassifySample;
    sample->SetName(name);
    sample->m_index = seed;
    sample->m_colour = 0x00102030u + static_cast<std::uint32_t>(seed);
    sample->m_pixelCount = 1000 * seed + 1;
    sample->m_bandCount = bands;
    for (int b = 0; b < bands; ++b) {
        sample->m_min.push_back(seed + b * 0.5);
        sample->m_max.push_back(200.0 + seed + b / 3.0);
        sample->m_mean.push_back(100.125 + b * seed);
        for (int c = 0; c < bands; ++c)
            sample->m_covariance.push_back(b == c ? 4.5 + b : 0.1 * (b + c) - seed);
    }
    sample->m_marker1 = 1;
    sample->m_shapes.push_back(
        new CDrawShape(DRAWSHAPE_POLYGON, {{500000.5, 4000000.25}, {500100, 4000000}, {500050, 3999900.75}}));
    sample->m_shapes.push_back(new CDrawShape(DRAWSHAPE_RECTANGLE, {{1.0, 2.0}, {-3.5, 1e-300}}));
    sample->m_shapes.push_back(new CDrawShape(DRAWSHAPE_POINT, {{-0.0, 7.0}}));
    sample->m_shapeCount = 3;
    sample->m_marker3 = 1;
    return sample;
}

CClassifySampleFile SampleFile() {
    CClassifySampleFile file;
    file.SetFileTag(L"Tessera sample file 样本");
    file.m_version = 100;
    file.m_bandCount = 4;
    file.m_height = 5000;
    file.m_width = 6000;
    file.m_xResolution = 30.0;
    file.m_yResolution = 29.5;
    file.m_samples.push_back(MakeSample(L"水体", 3, 1));
    file.m_samples.push_back(MakeSample(L"城镇 建筑 urban", 4, 2));
    file.m_samples.push_back(MakeSample(L"C3", 4, 3));
    file.m_samples.push_back(MakeSample(L"", 0, 4));
    file.m_samples.back()->ClearShapes();
    file.m_sampleCount = 4;
    return file;
}

AifContent SampleAif() {
    return {"EPSG:32650",
            {{{500000, 4000000}, {500100.5, 4000000}, {500100.5, 3999900.125}, {500000, 3999900}},
             {{-1e-7, 2}, {3, 4}, {5, -6e20}}}};
}

// Sets a little-endian 32-bit value at an offset of a byte string.
std::string Patched(std::string bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// Offsets in the layout of docs/formats.md.
constexpr std::size_t kHeaderBandCount = 528;
constexpr std::size_t kHeaderSampleCount = 556;
constexpr std::size_t kFirstSample = 580;
constexpr std::size_t kSampleBandCount = kFirstSample + 512 + 12;

} // namespace

TEST_F(FormatsTest, AssistantFileRoundTripsAndReadsCommentsBlankLinesAndCrLf) {
    const CClassifiedAssistantFile written = SampleAssistantFile();
    ASSERT_TRUE(written.WriteClassifiedAssistantFile(Path("分类.acf")));
    const std::string text = Bytes("分类.acf");
    EXPECT_TRUE(text.starts_with("TESSERA-ACF 1\n"));
    EXPECT_NE(text.find("class 1 3 4294967303 0x00FF0000 水体 water\\tbody\n"), std::string::npos) << text;
    CClassifiedAssistantFile read;
    ASSERT_TRUE(read.ReadClassifiedAssistantFile(Path("分类.acf"))) << read.GetLastError();
    EXPECT_TRUE(read == written);
    ASSERT_EQ(read.GetClassCount(), 5);
    EXPECT_EQ(std::tuple(read.GetClassRecords()[1]->m_name, read.GetClassRecords()[2]->m_pixelCount,
                         read.GetPixelSizeY(), read.GetClassRecord(5)),
              std::tuple(std::wstring(L"水体 water\tbody"), 9000000000LL, -29.999999999999996, nullptr));
    EXPECT_EQ(FilesIn(m_dir).size(), 1u);       // no temporary file left
    const CClassifiedAssistantFile copy = read; // deep copy: records of its own
    EXPECT_TRUE(copy == read);
    EXPECT_NE(copy.GetClassRecords()[0], read.GetClassRecords()[0]);
    read.Clear();
    EXPECT_EQ(std::tuple(read.GetClassCount(), copy.GetClassCount()), std::tuple(0, 5));
    // Written by hand.
    Write("a.acf", "TESSERA-ACF 1\r\n# made by hand\r\n\r\npixel-size 2.5 -2.5\r\nclass-count 1\r\n"
                   "class 0 0 10 0x0 Unclassified\r\nend\r\n");
    ASSERT_TRUE(read.ReadClassifiedAssistantFile(Path("a.acf"))) << read.GetLastError();
    ASSERT_EQ(read.GetClassCount(), 1);
    EXPECT_EQ(std::tuple(read.GetClassRecords()[0]->m_name, read.GetPixelSizeX()),
              std::tuple(std::wstring(L"Unclassified"), 2.5));
}

TEST_F(FormatsTest, SampleFileRoundTripsHeaderSamplesAndShapesAndCopiesAreDeep) {
    CClassifySampleFile written = SampleFile();
    written.m_sampleCount = 99; // the writer counts the samples itself
    written.m_samples[0]->m_shapeCount = 0;
    ASSERT_NE(written.WriteClassifySampleFile(Path("样本.cif")), 0) << written.GetLastError();
    EXPECT_EQ(std::tuple(written.m_path, written.m_sampleCount, written.m_samples[0]->m_shapeCount),
              std::tuple(Path("样本.cif"), 4, 3));
    CClassifySampleFile read;
    ASSERT_NE(read.ReadClassifySampleFile(Path("样本.cif")), 0) << read.GetLastError();
    EXPECT_TRUE(read == written);
    EXPECT_EQ(std::tuple(read.m_path, read.GetFileTag()),
              std::tuple(Path("样本.cif"), std::wstring(L"Tessera sample file 样本")));
    ASSERT_EQ(read.m_samples.size(), 4u);
    EXPECT_EQ(std::tuple(read.m_samples[1]->GetName(), read.m_samples[1]->m_covariance.size(),
                         read.m_samples[0]->m_shapes[1]->GetVertices()[1].y),
              std::tuple(std::wstring(L"城镇 建筑 urban"), 16u, 1e-300));
    EXPECT_TRUE(std::signbit(read.m_samples[0]->m_shapes[2]->GetVertices()[0].x));
    EXPECT_EQ(FilesIn(m_dir).size(), 1u);
    // A sample's copy owns its shapes; names are bounded.
    std::unique_ptr<ClassifySample> clone(read.m_samples[0]->Clone());
    EXPECT_TRUE(*clone == *read.m_samples[0]);
    EXPECT_NE(clone->m_shapes[0], read.m_samples[0]->m_shapes[0]);
    read.m_samples[0]->ClearShapes();
    EXPECT_EQ(clone->m_shapes.size(), 3u);
    EXPECT_FALSE(*clone == *read.m_samples[0]);
    clone->SetName(std::wstring(300, L'名'));
    EXPECT_EQ(std::tuple(clone->GetName().size(), clone->m_name[127]), std::tuple(127u, L'\0'));
}

TEST_F(FormatsTest, AifRoundTripsPolygonsAndCrs) {
    const AifContent written = SampleAif();
    ASSERT_TRUE(WriteAifFile(Path("区域.aif"), written));
    AifContent read;
    std::string error;
    ASSERT_TRUE(ReadAifFile(Path("区域.aif"), read, &error)) << error;
    EXPECT_EQ(read, written);
    Write("b.aif", "TESSERA-AIF 1\npolygon 3\n0 0\n# comment\n1 0\n1 1\nend\n");
    ASSERT_TRUE(ReadAifFile(Path("b.aif"), read, &error)) << error;
    ASSERT_EQ(std::tuple(read.crs, read.polygons.size()), std::tuple(std::string(), 1u));
    EXPECT_EQ(read.polygons[0][2], CPoint2D(1, 1));
}

TEST_F(FormatsTest, AssistantAndAoiFilesRejectMalformedTextAndLeaveTheObjectEmptyOrUntouched) {
    const std::string good =
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 2\nclass 0 0 1 0x0 a\nclass 1 0 2 0x1 b\nend\n";
    const std::string bad[] = {
        "",
        "TESSERA-ACF 2\npixel-size 1 1\nclass-count 0\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 3\nclass 0 0 1 0x0 a\nclass 1 0 2 0x1 b\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 1\nclass 0 0 1 0x0 a\nclass 1 0 2 0x1 b\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 65537\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count -1\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 99999999999999999999\nend\n",
        "TESSERA-ACF 1\npixel-size nan 1\nclass-count 0\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 1\nclass x 0 1 0x0 a\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 1\nclass 0 0 -1 0x0 a\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 1\nclass 0 0 1 0x100000000 a\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 1\nclass 0 0 1 0x0 bad\\q\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 1\nclass 0 0 1 0x0 raw\ttab\nend\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 0\nend\nclass-count 0\n",
        "TESSERA-ACF 1\npixel-size 1 1\nclass-count 1\nclass 0 0 1 0x0 \xff\nend\n",
    };
    for (const std::string& text : bad) {
        CClassifiedAssistantFile file;
        Write("good.acf", good);
        ASSERT_TRUE(file.ReadClassifiedAssistantFile(Path("good.acf")));
        Write("bad.acf", text);
        EXPECT_FALSE(file.ReadClassifiedAssistantFile(Path("bad.acf"))) << text;
        EXPECT_EQ(std::tuple(file.GetLastError().empty(), file.GetClassCount(), file.GetPixelSizeX()),
                  std::tuple(false, 0, 0.0))
            << text;
    }
    CClassifiedAssistantFile file;
    EXPECT_FALSE(file.ReadClassifiedAssistantFile(Path("missing.acf")) ||
                 file.ReadClassifiedAssistantFile(WPath(m_dir)));
    // An area of interest: the object untouched.
    const std::string badAif[] = {
        "",
        "TESSERA-AIF 1\npolygon 2\n0 0\n1 1\nend\n",
        "TESSERA-AIF 1\npolygon 3\n0 0\n1 nan\n1 1\nend\n",
        "TESSERA-AIF 1\npolygon 3\n0 0\n1 inf\n1 1\nend\n",
        "TESSERA-AIF 1\npolygon 3\n0 0\n1 1e999\n1 1\nend\n",
        "TESSERA-AIF 1\npolygon 4\n0 0\n1 0\n1 1\nend\n",
        "TESSERA-AIF 1\npolygon 99999999999999\n0 0\n1 0\n1 1\nend\n",
        "TESSERA-AIF 1\npolygon 3\n0 0\n1 0\n1 1\n",
        "TESSERA-AIF 1\npolygon 3\n0 0\n1 0 2\n1 1\nend\n",
        "TESSERA-AIF 1\npolygon 3\n0 0\n1 0\n1 1\nend\npolygon 3\n",
        "TESSERA-AIF 1\npolygon 3\n0 0\n1 0\n1 1\ncrs EPSG:4326\nend\n",
        "TESSERA-AIF 1\nring 3\n0 0\n1 0\n1 1\nend\n",
    };
    for (const std::string& text : badAif) {
        Write("bad.aif", text);
        AifContent content = SampleAif();
        std::string error;
        EXPECT_FALSE(ReadAifFile(Path("bad.aif"), content, &error)) << text;
        EXPECT_TRUE(!error.empty() && content == SampleAif()); // untouched on failure
    }
}

TEST_F(FormatsTest, SampleFileRejectsOversizedAndInconsistentCounts) {
    CClassifySampleFile source = SampleFile();
    ASSERT_NE(source.WriteClassifySampleFile(Path("good.cif")), 0);
    const std::string good = Bytes("good.cif");
    ASSERT_EQ(good.substr(kHeaderSampleCount, 4), std::string("\x04\0\0\0", 4));
    ASSERT_EQ(good.substr(kSampleBandCount, 4), std::string("\x03\0\0\0", 4));
    // Shape count and first vertex count of the first (3-band) sample.
    const std::size_t shapeCount = kSampleBandCount + 4 + 8 * (3 * 3 + 9) + 4;
    ASSERT_EQ(good.substr(shapeCount, 4), std::string("\x03\0\0\0", 4));
    const std::string bad[] = {
        Patched(good, kHeaderBandCount, 1025),
        Patched(good, kHeaderSampleCount, 100001),
        Patched(good, kHeaderSampleCount, 0x7FFFFFFF),
        Patched(good, kHeaderSampleCount, 0xFFFFFFFF),
        Patched(good, kHeaderSampleCount, 3),  // trailing bytes
        Patched(good, kHeaderSampleCount, 5),  // one sample missing
        Patched(good, kSampleBandCount, 1024), // statistics beyond the end of the file
        Patched(good, kSampleBandCount, 0xFFFFFFFF),
        Patched(good, 8, 2), // format version
        Patched(good, 0, 0x46494354),
        good + std::string(1, '\0'),
        std::string(),
        Patched(good, shapeCount, 0x7FFFFFFF),
        Patched(good, shapeCount, 0xFFFFFFFF),
        Patched(good, shapeCount + 8, 0x10000000),
        Patched(good, shapeCount + 4, 9),
    };
    CClassifySampleFile file = SampleFile();
    file.m_path = L"/earlier.cif";
    const CClassifySampleFile before = file;
    for (const std::string& bytes : bad) {
        Write("bad.cif", bytes);
        EXPECT_EQ(file.ReadClassifySampleFile(Path("bad.cif")), 0);
        // A failed read changes nothing.
        EXPECT_TRUE(!file.GetLastError().empty() && file == before && file.m_path == L"/earlier.cif");
    }
    EXPECT_EQ(file.ReadClassifySampleFile(Path("missing.cif")), 0);
}

TEST_F(FormatsTest, EveryTruncationIsRejected) {
    const CClassifiedAssistantFile acf = SampleAssistantFile();
    CClassifySampleFile cif = SampleFile();
    ASSERT_TRUE(acf.WriteClassifiedAssistantFile(Path("full.acf")));
    ASSERT_NE(cif.WriteClassifySampleFile(Path("full.cif")), 0);
    ASSERT_TRUE(WriteAifFile(Path("full.aif"), SampleAif()));

    const std::string acfBytes = Bytes("full.acf");
    for (std::size_t size = 0; size < acfBytes.size(); ++size) {
        Write("cut.acf", acfBytes.substr(0, size));
        CClassifiedAssistantFile file;
        const bool ok = file.ReadClassifiedAssistantFile(Path("cut.acf"));
        // Only the loss of the final line break keeps the file whole.
        EXPECT_EQ(ok, size == acfBytes.size() - 1) << size;
        EXPECT_TRUE(ok ? file == acf : file.GetClassCount() == 0);
    }
    const std::string aifBytes = Bytes("full.aif");
    for (std::size_t size = 0; size < aifBytes.size(); ++size) {
        Write("cut.aif", aifBytes.substr(0, size));
        AifContent content;
        const bool ok = ReadAifFile(Path("cut.aif"), content);
        EXPECT_EQ(ok, size == aifBytes.size() - 1) << size;
        EXPECT_TRUE(ok ? content == SampleAif() : content.polygons.empty());
    }
    const std::string cifBytes = Bytes("full.cif");
    for (std::size_t size = 0; size < cifBytes.size(); ++size) {
        Write("cut.cif", cifBytes.substr(0, size));
        CClassifySampleFile file;
        ASSERT_EQ(file.ReadClassifySampleFile(Path("cut.cif")), 0) << size;
        EXPECT_TRUE(file.m_samples.empty());
    }
}

TEST_F(FormatsTest, FailedWritesReturnFailureAndKeepTheEarlierFile) {
    const CClassifiedAssistantFile acf = SampleAssistantFile();
    CClassifySampleFile cif = SampleFile();
    EXPECT_FALSE(acf.WriteClassifiedAssistantFile(Path("no-such-folder/x.acf")));
    EXPECT_EQ(cif.WriteClassifySampleFile(Path("no-such-folder/x.cif")), 0);
    EXPECT_FALSE(WriteAifFile(Path("no-such-folder/x.aif"), SampleAif()));
    fs::create_directory(m_dir / "folder.cif");
    EXPECT_FALSE(acf.WriteClassifiedAssistantFile(Path("folder.cif")));
    EXPECT_EQ(cif.WriteClassifySampleFile(Path("folder.cif")), 0);
    EXPECT_TRUE(cif.m_path.empty()); // set only by a successful write
    // Contents the reader would reject are refused before the earlier file is touched.
    ASSERT_TRUE(acf.WriteClassifiedAssistantFile(Path("keep.acf")));
    ASSERT_NE(cif.WriteClassifySampleFile(Path("keep.cif")), 0);
    ASSERT_TRUE(WriteAifFile(Path("keep.aif"), SampleAif()));
    const auto kept = [&] { return std::vector{Bytes("keep.acf"), Bytes("keep.cif"), Bytes("keep.aif")}; };
    const std::vector<std::string> before = kept();

    CClassifiedAssistantFile badAcf = acf;
    badAcf.SetPixelSizeX(NAN);
    EXPECT_FALSE(badAcf.WriteClassifiedAssistantFile(Path("keep.acf")));
    badAcf = acf;
    badAcf.GetClassRecords()[1]->m_pixelCount = -1;
    EXPECT_FALSE(badAcf.WriteClassifiedAssistantFile(Path("keep.acf")));
    CClassifySampleFile badCif = cif;
    badCif.m_samples[1]->m_mean.pop_back();
    EXPECT_EQ(badCif.WriteClassifySampleFile(Path("keep.cif")), 0);
    badCif = cif;
    badCif.m_samples.push_back(nullptr);
    EXPECT_EQ(badCif.WriteClassifySampleFile(Path("keep.cif")), 0);
    badCif.m_samples.pop_back();
    std::fill(badCif.m_fileTag, badCif.m_fileTag + 128, L'x');
    EXPECT_EQ(badCif.WriteClassifySampleFile(Path("keep.cif")), 0);
    AifContent badAif = SampleAif();
    badAif.polygons[1].pop_back();
    EXPECT_FALSE(WriteAifFile(Path("keep.aif"), badAif));
    // A write that fails half-way (file size limit reached) leaves the earlier file whole.
    CClassifySampleFile bigger = cif;
    for (int i = 0; i < 20; ++i)
        bigger.m_samples.push_back(MakeSample(L"extra", 4, i));
    int written = 1;
    WithFileSizeLimit(before[1].size() + 100,
                      [&] { written = bigger.WriteClassifySampleFile(Path("keep.cif")); });
    EXPECT_EQ(written, 0);
    EXPECT_NE(bigger.GetLastError().find("cannot write"), std::string::npos) << bigger.GetLastError();

    EXPECT_TRUE(kept() == before);
    EXPECT_EQ(FilesIn(m_dir).size(), 4u); // the three files and the folder: no temporary file left
}
