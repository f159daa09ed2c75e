// The common base library: text conversion, number reading, path pieces, logging.
#include "base/commonfun.h"
#include "base/log.h"

#include "support/scratchdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

TEST(CommonFun, NarrowEncodingIsUtf8AndRoundTrips) {
    const std::wstring text = L"分类/样本 a\u00e9\U0001F600.cif";
    const std::string narrow = CommonFun::U2M(text);
    EXPECT_EQ(narrow, "\xe5\x88\x86\xe7\xb1\xbb/\xe6\xa0\xb7\xe6\x9c\xac a\xc3\xa9\xf0\x9f\x98\x80.cif");
    EXPECT_EQ(CommonFun::M2U(narrow), text);
    // Malformed input never throws and never reads past the end.
    EXPECT_EQ(CommonFun::M2U(std::string("a\xe5\x88")), L"a\xFFFD\xFFFD");
    EXPECT_EQ(CommonFun::M2U(std::string("\xc0\xaf")), L"\xFFFD\xFFFD"); // overlong "/"
    EXPECT_EQ(CommonFun::U2M(static_cast<const wchar_t*>(nullptr)), "");
}

TEST(CommonFun, Wsting2intReadsLikeTheCRuntime) {
    EXPECT_EQ(CommonFun::wsting2int(L"255"), 255);
    EXPECT_EQ(CommonFun::wsting2int(L"  -12abc"), -12);
    EXPECT_EQ(CommonFun::wsting2int(L"+7"), 7);
    EXPECT_EQ(CommonFun::wsting2int(L""), 0);
    EXPECT_EQ(CommonFun::wsting2int(L"x1"), 0);
    EXPECT_EQ(CommonFun::wsting2int(L"99999999999999999999"), 2147483647);
    EXPECT_EQ(CommonFun::wsting2int(L"-99999999999999999999"), -2147483647 - 1);
    // Masked to a byte by the callers: 300 keeps its low 8 bits.
    EXPECT_EQ(CommonFun::wsting2int(L"300") & 0xFF, 44);
}

TEST(CommonFun, PathPieces) {
    EXPECT_EQ(CommonFun::GetExtensionName(L"/data/out.v1/roads.shp"), L"shp");
    EXPECT_EQ(CommonFun::GetExtensionName(L"/data/out.v1/roads"), L"");
    EXPECT_EQ(CommonFun::GetExtensionName(L"roads.SHP"), L"SHP");
    EXPECT_EQ(CommonFun::GetExtensionName(L"a.tar.gz"), L"gz");

    EXPECT_EQ(CommonFun::GetFileDirectory(L"/data/out/class.tif", true), L"/data/out/");
    EXPECT_EQ(CommonFun::GetFileDirectory(L"/data/out/class.tif", false), L"/data/out");
    EXPECT_EQ(CommonFun::GetFileDirectory(L"class.tif", true), L"./");
    EXPECT_EQ(CommonFun::GetFileDirectory(L"/class.tif", true), L"/");

    EXPECT_EQ(CommonFun::GetFileName(L"/data/out/class.tif"), L"class");
    EXPECT_EQ(CommonFun::GetFileName(L"/data/a.b/class"), L"class");
    EXPECT_EQ(CommonFun::GetFileName(L"/data/x.y.tif"), L"x.y");
    // The pieces join into the model path beside the output raster.
    const wchar_t* out = L"/data/run 1/结果.tif";
    EXPECT_EQ(CommonFun::GetFileDirectory(out, true) + CommonFun::GetFileName(out) + L".svm",
              L"/data/run 1/结果.svm");
}

TEST(CLog, WritesLevelSourceLineFunctionAndMessageToItsFile) {
    const std::string path = (ScratchDir() / "log_test.log").string();
    std::remove(path.c_str());
    CLogger* previous = CLog::m_pLogger;
    {
        CLogger fileLogger(path);
        ASSERT_TRUE(fileLogger.WritesToFile());
        CLog::m_pLogger = &fileLogger;
        CLog::WriteLog(1, "AoiEditorDlg", 42, "CAoiEditorDlg::OnMerge", std::wstring(L"Merge Covariant Failed!"));
        CLog::m_pLogger = nullptr; // no logger: nothing is written, nothing crashes
        CLog::WriteLog(1, "x", 1, "f", std::string("must not appear"));
        CLog::m_pLogger = previous;
    }
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_NE(content.str().find("[ERROR] AoiEditorDlg:42 CAoiEditorDlg::OnMerge: Merge Covariant Failed!\n"),
              std::string::npos)
        << content.str();
    EXPECT_EQ(content.str().find("must not appear"), std::string::npos);
    std::remove(path.c_str());
}
