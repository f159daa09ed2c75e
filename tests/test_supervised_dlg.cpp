// The supervised windows: the common window of five kinds and the dedicated
// minimum distance window — texts per kind, choosers, band lists, records.
#include "classify/CDlgSupperviseCommon.h"
#include "classify/CMinDistanceClassifyDlg.h"
#include "common/filters.h"
#include "entry/tesserauilib.h"
#include "base/commonfun.h"
#include "platform/xcombobox.h"
#include "processing/progress.h"
#include "support/scratchdir.h"
#include "support/scriptedhost.h"
#include "support/scripteduiservices.h"
#include "support/windowharness.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <deque>

namespace fs = std::filesystem;
using C = CDlgSupperviseCommon;
using M = CMinDistanceClassifyDlg;

namespace {

std::wstring raster(const std::string& name, int bands) {
    const fs::path path = ScratchDir() / name;
    if (!fs::exists(path)) {
        GDALAllRegister();
        std::unique_ptr<GDALDataset> ds(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
            path.string().c_str(), 30 + bands, 20, bands, GDT_Byte, nullptr));
    }
    return CommonFun::M2U(path.string());
}

std::wstring sampleFile(int samples, int bands) {
    const fs::path path = ScratchDir() / ("s" + std::to_string(samples) + "x" + std::to_string(bands) + ".cif");
    CClassifySampleFile file;
    for (int i = 0; i < samples; ++i) {
        auto* s = new ClassifySample;
        s->SetName(L"C" + std::to_wstring(i + 1));
        s->m_bandCount = bands;
        for (int b = 0; b < bands; ++b) {
            s->m_mean.push_back(10.0 * (i + 1) + b + 0.25);
            s->m_min.push_back(0);
            s->m_max.push_back(255);
        }
        s->m_covariance.assign(static_cast<size_t>(bands) * bands, 0.0);
        file.m_samples.push_back(s);
    }
    EXPECT_NE(file.WriteClassifySampleFile(CommonFun::M2U(path.string())), 0) << file.GetLastError();
    return CommonFun::M2U(path.string());
}

template <class Dlg> class WindowTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(CancelWindow(window)); }
    template <class Open> void open(Open openWindow) {
        window = OpenNewWindow<Dlg>(openWindow);
        ASSERT_FALSE(window.isNull());
    }
    void choose(int button, const std::wstring& path, int type = 1) {
        ui.ChooseFileAnswer(path, type);
        window->template Item<QPushButton>(button)->click();
    }
    const CSuperviseParam& launched() const {
        return static_cast<const CSuperviseParam&>(launches.back().algorithm->GetParam());
    }

    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    ScriptedHost host;
    QPointer<Dlg> window;
    LaunchCatcher catcher;
    std::deque<CaughtLaunch>& launches = catcher.launches;
};

using CommonWindowTest = WindowTest<C>;
using MinimumDistanceWindowTest = WindowTest<M>;

} // namespace

TEST_F(CommonWindowTest, EachKindHasItsTitleLabelThresholdAndHelp) {
    struct Expect {
        SuperviseClassifyType kind;
        const wchar_t *title, *label;
        bool shown;
        const wchar_t *shownText, *text;
        double threshold;
        int topic;
    };
    const Expect kinds[] = {
        {SUPERVISE_MINIMUM_DISTANCE, L"最小距离分类", L"距离阈值:", true, L"0", L"0.000000", 0.0, 4},
        {SUPERVISE_MAXIMUM_LIKELIHOOD, L"最大似然分类", L"拒绝类阈值", false, L"0", L"0.000000", 0.0, 16},
        {SUPERVISE_MAHALANOBIS, L"马氏距离分类", L"拒绝类阈值", false, L"0", L"0.000000", 0.0, 17},
        {SUPERVISE_SPECTRAL_ANGLE, L"波谱角分类", L"最大角度(弧度)", true, L"0.5", L"0.500000", 0.5, 0},
        {SUPERVISE_PARALLELEPIPED, L"平行管道分类", L"管道阈值", false, L"0", L"0.000000", 0.0, 0},
    };
    for (const Expect& e : kinds) {
        SCOPED_TRACE(static_cast<int>(e.kind));
        open([&] { CTesseraUILib::ShowSupperviseClassifyCommonDlg(e.kind, &host); });
        EXPECT_EQ(window->Kind(), e.kind);
        EXPECT_EQ(window->GetWindowText(), e.title);
        EXPECT_EQ(window->GetDlgItemText(C::IDC_THRESHOLD_LABEL), e.label);
        EXPECT_EQ(window->GetDlgItem(C::IDC_THRESHOLD)->isVisibleTo(window), e.shown);
        EXPECT_EQ(window->GetDlgItem(C::IDC_THRESHOLD_LABEL)->isVisibleTo(window), e.shown);
        EXPECT_EQ(window->GetDlgItemText(C::IDC_THRESHOLD), e.shownText);
        const size_t helps = ui.helpTopics.size();
        window->Item<QPushButton>(C::IDC_HELP_BUTTON)->click();
        if (e.topic) {
            ASSERT_EQ(ui.helpTopics.size(), helps + 1);
            EXPECT_EQ(ui.helpTopics.back(), std::make_pair(4, e.topic));
        } else {
            EXPECT_EQ(ui.helpTopics.size(), helps); // no help for this kind
        }
        choose(C::IDC_INPUT_BROWSE, raster("three.tif", 3));
        choose(C::IDC_SAMPLE_BROWSE, L"/data/s.cif");
        choose(C::IDC_OUTPUT_BROWSE, L"/data/out.img", 1); // the save type plays no part
        window->Item<QPushButton>(IDOK)->click();
        ASSERT_FALSE(launches.empty());
        const auto& record = dynamic_cast<const CSuperviseCommonParam&>(launches.back().algorithm->GetParam());
        EXPECT_EQ(record.m_threshold, e.threshold);
        EXPECT_EQ(record.m_thresholdText, e.text);
        EXPECT_EQ(record.m_outputFormat, 20);
        EXPECT_EQ(record.m_sampleFilePath, L"/data/s.cif");
        EXPECT_EQ(record.m_host, &host);
        EXPECT_EQ(record.m_right, 33);
        EXPECT_EQ(record.m_bottom, 20);
        EXPECT_EQ(record.m_algorithmName.find(L"Supervised"), 0u); // the window writes none; the classifier names itself
        EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000)); // closed after the start
    }
}

TEST_F(CommonWindowTest, BandListAoiChoosersAndNumberRefusal) {
    open([&] { CTesseraUILib::ShowSupperviseClassifyCommonDlg(SUPERVISE_SPECTRAL_ANGLE, &host); });
    // OK before an input could be opened: a message, nothing started.
    window->Item<QPushButton>(IDOK)->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kSupervisedNoInput);
    EXPECT_TRUE(launches.empty());

    choose(C::IDC_INPUT_BROWSE, raster("three.tif", 3));
    EXPECT_EQ(window->BandList(), (std::vector<int>{0, 1, 2}));
    choose(C::IDC_INPUT_BROWSE, raster("four.tif", 4));
    EXPECT_EQ(window->BandList(), (std::vector<int>{0, 1, 2, 3}));
    // A raster that cannot be opened is listed and kept, and the band list stays.
    choose(C::IDC_INPUT_BROWSE, L"/no/such/image.tif");
    EXPECT_EQ(window->InputPath(), L"/no/such/image.tif");
    EXPECT_EQ(window->BandList(), (std::vector<int>{0, 1, 2, 3}));
    auto* inputs = window->Item<XComboBox>(C::IDC_INPUT_LIST);
    EXPECT_EQ(inputs->GetCount(), 3);
    EXPECT_EQ(inputs->GetLBText(inputs->GetCurSel()), L"/no/such/image.tif");
    choose(C::IDC_INPUT_BROWSE, raster("four.tif", 4));

    // The chooser requests: host-aware, filters, extensions, flags.
    choose(C::IDC_AOI, L"/data/a.aif");
    ui.CancelFileAnswer();
    window->Item<QPushButton>(C::IDC_AOI)->click();
    EXPECT_EQ(window->AoiPath(), L"/data/a.aif"); // a cancelled chooser keeps the first AOI
    const FileDialogRequest& aoi = ui.fileRequests.back();
    EXPECT_TRUE(aoi.hostAware);
    EXPECT_EQ(aoi.flags, 518u);
    EXPECT_EQ(aoi.defaultExtension, L"");
    EXPECT_EQ(aoi.filter, Filters::AreaOfInterest);
    choose(C::IDC_SAMPLE_BROWSE, L"/data/s.cif");
    EXPECT_EQ(ui.fileRequests.back().filter, Filters::SampleChoice);
    EXPECT_EQ(ui.fileRequests.back().defaultExtension, L".cif");
    choose(C::IDC_OUTPUT_BROWSE, L"/data/out.tif", 3);
    EXPECT_FALSE(ui.fileRequests.back().open);
    EXPECT_EQ(ui.fileRequests.back().filter, Filters::RasterOutput);

    // Text typed into the output list is not read; a threshold that is no number is refused.
    window->Item<XComboBox>(C::IDC_OUTPUT_LIST)->setEditText("/typed/elsewhere.tif");
    window->SetDlgItemText(C::IDC_THRESHOLD, L"0.3x");
    window->Item<QPushButton>(IDOK)->click();
    EXPECT_TRUE(launches.empty());
    EXPECT_EQ(ui.messages.back().text, L"请输入一个数字。");
    EXPECT_TRUE(window->GetDlgItem(C::IDC_THRESHOLD)->hasFocus() || !window->isActiveWindow());
    window->SetDlgItemText(C::IDC_THRESHOLD, L"0.25");
    window->Item<QPushButton>(IDOK)->click();
    ASSERT_EQ(launches.size(), 1u);
    const auto& record = dynamic_cast<const CSuperviseCommonParam&>(launches.back().algorithm->GetParam());
    EXPECT_EQ(record.m_bandList, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(record.m_outputPath, L"/data/out.tif");
    EXPECT_EQ(record.m_outputFormat, 38);
    EXPECT_EQ(record.m_aoiPath, L"/data/a.aif");
    EXPECT_EQ(record.m_threshold, 0.25);
    EXPECT_EQ(record.m_thresholdText, L"0.250000");
    EXPECT_TRUE(record.m_classMeans.empty());
}

TEST_F(MinimumDistanceWindowTest, ReadsTheMeansItselfAndAlwaysWritesGeoTiff) {
    open([] { CTesseraUILib::ShowMixDistanceClassifyDlg(); });
    EXPECT_EQ(window->GetWindowText(), L"最小距离分类");
    window->Item<QPushButton>(M::IDC_HELP_BUTTON)->click();
    EXPECT_TRUE(ui.helpTopics.empty());
    choose(M::IDC_INPUT_BROWSE, raster("four.tif", 4));
    EXPECT_FALSE(ui.fileRequests.back().hostAware); // the toolkit's own chooser
    choose(M::IDC_SAMPLE_BROWSE, sampleFile(3, 4));
    ui.CancelFileAnswer();
    window->Item<QPushButton>(M::IDC_OUTPUT_BROWSE)->click();
    EXPECT_EQ(window->GetWindowText(), L"最小距离分类"); // a cancelled chooser keeps the caption
    choose(M::IDC_OUTPUT_BROWSE, L"/data/结果.img", 3);
    EXPECT_EQ(window->GetWindowText(), L"结果.img");
    window->SetDlgItemText(M::IDC_MAX_STDDEV, L"7");
    window->SetDlgItemText(M::IDC_MAX_DISTANCE_ERROR, L"9");
    window->Item<QPushButton>(IDOK)->click();
    ASSERT_EQ(launches.size(), 1u);
    const CSuperviseParam& record = launched();
    ASSERT_EQ(record.m_classMeans.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(record.m_classMeans[i], (std::vector<double>{10.0 * (i + 1) + 0.25, 10.0 * (i + 1) + 1.25,
                                                               10.0 * (i + 1) + 2.25, 10.0 * (i + 1) + 3.25}));
    EXPECT_EQ(record.m_outputFormat, 38);
    EXPECT_EQ(record.m_threshold, 0.0);
    EXPECT_EQ(record.m_host, nullptr);
    EXPECT_EQ(record.m_bandList, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(record.m_right, 34);
}
