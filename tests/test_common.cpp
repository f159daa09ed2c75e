// Shared dialog services: filters, extension replacement, assistant files,
// the numeric guard and the help table.
#include "engine/classifiedassistantfile.h"
#include "common/filters.h"
#include "common/helptopics.h"
#include "common/numericguard.h"
#include "common/uicommonfun.h"
#include "base/commonfun.h"
#include "platform/filefilter.h"
#include "support/scratchdir.h"
#include "support/scripteduiservices.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <fstream>

namespace fs = std::filesystem;

TEST(Filters, ExactTexts) {
    EXPECT_EQ(std::wstring(Filters::RasterOutput),
              L"TIFF Files (*.tif, *.tiff)|*.tif;*.tiff|GeoTiff (*.tif)|*.tif|IMAGINE Image (*.img)|*.img|PCI "
              L"(*.pix)|*.pix|所有文件 (*.*)|*.*||");
    EXPECT_EQ(std::wstring(Filters::AreaOfInterest),
              L"Area of Interest Files (*.aif)|*.aif|Shape Files (*.shp)|*.shp|所有文件 (*.*)|*.*||");
    EXPECT_EQ(std::wstring(Filters::SampleSave), L"CIF File(*.cif)|*.cif|所有文件 (*.*)|*.*||");
    EXPECT_EQ(std::wstring(Filters::SampleOpen), L"(*.cif)|*.cif| 所有文件 (*.*)|*.*||");
    EXPECT_EQ(std::wstring(Filters::SampleChoice), L"CIF(*.cif)|*.cif|所有文件 (*.*)|*.*||");
    EXPECT_EQ(std::wstring(Filters::Report), L"(*.txt)|*.txt|所有文件 (*.*)|*.*||");
    EXPECT_EQ(std::wstring(Filters::ShapeOutput), L"Shape Files (*.shp)|*.shp|所有文件 (*.*)|*.*||");
    EXPECT_EQ(kFileDialogFlags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
    EXPECT_EQ(kFileDialogMultiFlags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_ALLOWMULTISELECT);
}

TEST(Filters, RasterInputIsByteExact) {
    const std::wstring expected =
        L"All Support Files (*.*)|*.asc;*.gen;*.thf;*.adf;*.xyz;*.blx;*.xbl;*.bmp;*.bt;*.h5;*.dt0;*.dt1;*.dt2;*.hdr;*.n1;*.ecw;*.jp2;*.j2k;*.ers;*.vrt;*.hdf;*.img;*.jpg;*.mem;*.ntf;*.png;*.dat;*.ppm;*.pgm;*.pix;*.rsw;*.mtw;*.tif;*.tiff;*.dem;*.catd;*.ddf;*.wcs;*.wms;*.xpm|Arc/Info ASCII Grid (*.asc) |*.asc|ADRG (*.gen, *.thf) |*.gen;*.thf|AIG (*.adf)|*.adf|ASCII Gridded XYZ (*.xyz)|*.xyz|BLX (*.blx, *.xlb)|*.blx;*.xlb|BMP (*.bmp)|*.bmp|Binary Terrain Format (*.bt)|*.bt|COSMO-SkyMed(CSKS*.h5)|*.h5|DTED (*.dt0, *.dt1, *.dt2)|*.dt0;*.dt1;*.dt2|ESRI .hdr Labelled (*.hdr)|*.hdr|ENVI (*.hdr)|*.hdr|Envisat Image Product (*.n1)|*.n1|ERDAS Compressed Wavelets (*.ecw)|*.ecw|ERDAS JPEG2000 (*.jp2, *.j2k)|*.jp2;*.j2k|ER Mapper (*.ers)|*.ers|GDAL Virtual (*.vrt)|*.vrt|HDF (*.hdf)|*.hdf|IMAGINE Image (*.img)|*.img|JPEG (*.jpg)|*.jpg|Japanese DEM (*.mem)|*.mem|National Imagery Transmission Format (*.ntf)|*.ntf|PCIDSK (*.pix)|*.pix|PNG (*.png)|*.png|DAT (*.dat)|*.dat|Netpbm (*.ppm, *.pgm)|*.ppm;*.pgm|Raster Matrix Format (*.rsw, *.mtw)|*.rsw;*.mtw|TIFF Files (*.tif, *.tiff)|*.tif;*.tiff|USGS ASCII DEM / CDED (*.dem)|*.dem|USGS SDTS DEM (*.CATD, *.DDF)|*.catd;*.ddf|Vexcel MFF (*.hdr)|*.hdr|Web Coverage Service (*.wcs)|*.wcs|Web Mapping Service (*.wms)|*.wms|X11 Pixmap (*.xpm)|*.xpm|所有文件 (*.*)|*.*||";
    EXPECT_EQ(std::wstring(Filters::RasterInput), expected);

    // The chooser sees every entry, in order, with its patterns.
    const auto entries = ParseFileFilter(Filters::RasterInput);
    ASSERT_EQ(entries.size(), 35u);
    EXPECT_EQ(entries.front().patterns.size(), 40u);
    EXPECT_EQ(entries[5].description, L"BLX (*.blx, *.xlb)");
    EXPECT_EQ(entries[5].patterns, (std::vector<std::wstring>{L"*.blx", L"*.xlb"}));
    EXPECT_EQ(entries.back().description, L"所有文件 (*.*)");
    const auto qt = ToQtNameFilters(ParseFileFilter(Filters::SampleOpen));
    ASSERT_EQ(qt.size(), 2u);
    EXPECT_EQ(qt[0], L"(*.cif) (*.cif)");
    EXPECT_EQ(qt[1], L"所有文件 (*.*) (*.*)");
    EXPECT_TRUE(ParseFileFilter(L"").empty());
}

TEST(ConvertExtname, ReplacesCharacterByCharacter) {
    const auto convert = [](std::wstring name, const std::wstring& ext) {
        CUICommonFun::CONVERT_EXTNAME(name, ext);
        return name;
    };
    EXPECT_EQ(convert(L"a.tif", L"cif"), L"a.cif");
    EXPECT_EQ(convert(L"a.tf", L"img"), L"a.img");     // a shorter old extension grows
    EXPECT_EQ(convert(L"b.x.img", L"cif"), L"b.x.cif"); // only the last dot counts
    EXPECT_EQ(convert(L"a.cif", L"cif"), L"a.cif");
    EXPECT_EQ(convert(L"a.tiff", L"cif"), L"a.ciff");  // surplus characters stay
    EXPECT_EQ(convert(L"a.", L"cif"), L"a.cif");
    EXPECT_EQ(convert(L"a.tif", L""), L"a.tif");
    // No dot in the file name: the extension is appended, the name kept.
    EXPECT_EQ(convert(L"samples", L"cif"), L"samples.cif");
    EXPECT_EQ(convert(L"/data/run.2/samples", L"cif"), L"/data/run.2/samples.cif");
    EXPECT_EQ(convert(L"/data/run.2/samples.tif", L"cif"), L"/data/run.2/samples.cif");
}

TEST(AssistantFile, PathRuleAndExistence) {
    EXPECT_EQ(PairedAssistantFilePath(L"/d/img.tif"), L"/d/img.acf");
    EXPECT_EQ(PairedAssistantFilePath(L"/d/img.x.tif"), L"/d/img.x.acf");
    EXPECT_EQ(PairedAssistantFilePath(L"/d/img"), L"/d/img.acf");
    // The search covers folders: a dotted folder with an undotted file pairs
    // with the file beside the folder.
    EXPECT_EQ(PairedAssistantFilePath(L"/d/a.b/img"), L"/d/a.acf");

    const fs::path root = ScratchDir() / "acf_test";
    fs::remove_all(root);
    fs::create_directories(root / "分类.b");
    std::ofstream(root / "分类.b" / "img.acf") << "x";
    const std::wstring folder = CommonFun::M2U(root.string());
    EXPECT_TRUE(AssistantFileExists(folder + L"/分类.b/img.tif"));
    EXPECT_FALSE(AssistantFileExists(folder + L"/分类.b/other.tif"));
    // An undotted file in the dotted folder looks for 分类.acf beside the folder,
    // not for img.acf inside it.
    EXPECT_FALSE(AssistantFileExists(folder + L"/分类.b/img"));
    std::ofstream(root / "分类.acf") << "x";
    EXPECT_TRUE(AssistantFileExists(folder + L"/分类.b/img"));
    fs::create_directories(root / "folder.acf"); // a folder is not an assistant file
    EXPECT_FALSE(AssistantFileExists(folder + L"/folder.tif"));
    fs::remove_all(root);
}

TEST(NumericGuard, RestoresTheLastAcceptedValueAtOnce) {
    EXPECT_TRUE(NumericGuardAccepts(L"-0.25", GuardSets::Decimal));
    EXPECT_TRUE(NumericGuardAccepts(L"1,5", GuardSets::Decimal)); // the list's comma is a character too
    EXPECT_FALSE(NumericGuardAccepts(L"0.2e", GuardSets::Decimal));
    EXPECT_FALSE(NumericGuardAccepts(L"12.", GuardSets::Digits));
    EXPECT_EQ(NumericGuardRestore(L"0.2x", GuardSets::Decimal, L"%.3f", 0.1), L"0.100");
    EXPECT_EQ(NumericGuardRestore(L"3a", GuardSets::Digits, L"%d", 15.0), L"15");
    EXPECT_FALSE(NumericGuardRestore(L"3,", GuardSets::Digits, L"%d", 15.0).has_value());

    QLineEdit edit;
    double learningRate = 0.9;
    NumericEditGuard::Attach(&edit, GuardSets::Decimal, L"%.3f", [&] { return learningRate; });
    QTest::keyClicks(&edit, "0.5");
    EXPECT_EQ(edit.text(), "0.5");
    QTest::keyClicks(&edit, "q");
    EXPECT_EQ(edit.text(), "0.900");
    QTest::keyClicks(&edit, ",");
    EXPECT_EQ(edit.text(), "0.900,");
    // The guard keeps no value of its own: it restores whatever the window last read.
    learningRate = 0.25;
    edit.setText("abc");
    EXPECT_EQ(edit.text(), "0.250");

    QLineEdit threshold;
    int bound = 2;
    NumericEditGuard::Attach(&threshold, GuardSets::Digits, L"%d", [&] { return double(bound); });
    QTest::keyClicks(&threshold, "12-");
    EXPECT_EQ(threshold.text(), "2");
}

TEST(Help, EveryTopicOpensItsOwnPage) {
    ScriptedUiServices ui;
    ScopedUiServices scope(ui);
    std::set<std::wstring> pages;
    for (int topic : HelpTopic::All) {
        const std::wstring page = CommonOperator::HelpPagePath(HelpTopic::Module, topic);
        ASSERT_FALSE(page.empty()) << "no help page for topic " << topic;
        EXPECT_GT(fs::file_size(fs::path(CommonFun::U2M(page))), 200u) << "topic " << topic;
        pages.insert(page);
        HelpTopic::Show(topic);
    }
    EXPECT_EQ(pages.size(), std::size(HelpTopic::All));
    ASSERT_EQ(ui.helpTopics.size(), std::size(HelpTopic::All));
    EXPECT_EQ(ui.helpTopics[0], std::make_pair(4, HelpTopic::Vectorize));
    // No page: nothing is opened.
    EXPECT_FALSE(CommonOperator::ShowHelpChm(HelpTopic::Module, 99));
    EXPECT_EQ(HelpTopic::ForSupervisedKind(3), 0);
    HelpTopic::Show(HelpTopic::ForSupervisedKind(3));
    EXPECT_EQ(ui.helpTopics.size(), std::size(HelpTopic::All));
}
