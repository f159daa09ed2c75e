// The support vector machine and back-propagation network windows: kernel
// choice, number refusals, the model path, the character guard, the range
// check with its progress window, and the records handed to the classifiers.
#include "classify/CBPClassifyDlg.h"
#include "classify/CSvmClassifyDlg.h"
#include "entry/tesserauilib.h"
#include "base/commonfun.h"
#include "platform/xcombobox.h"
#include "processing/bpnnclassify.h"
#include "processing/svmclassify.h"
#include "progressui/progresswindow.h"
#include "support/scratchdir.h"
#include "support/scriptedhost.h"
#include "support/scripteduiservices.h"
#include "support/windowharness.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gdal_priv.h>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using S = CSvmClassifyDlg;
using B = CBPClassifyDlg;

namespace {

std::wstring threeBandRaster() {
    const fs::path path = ScratchDir() / "three.tif";
    if (!fs::exists(path)) {
        GDALAllRegister();
        std::unique_ptr<GDALDataset> ds(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
            path.string().c_str(), 12, 8, 3, GDT_Byte, nullptr));
    }
    return CommonFun::M2U(path.string());
}

template <class Dlg> class WindowTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(CancelWindow(window)); }
    // Opens the window through its entry point.
    void open() {
        window = OpenNewWindow<Dlg>([this] {
            if constexpr (std::is_same_v<Dlg, S>)
                CTesseraUILib::ShowSvmClassifyDlg(&host);
            else
                CTesseraUILib::ShowBPClassifyDlg(&host);
        });
        ASSERT_FALSE(window.isNull());
    }
    void choose(int button, const std::wstring& path) {
        ui.ChooseFileAnswer(path);
        window->template Item<QPushButton>(button)->click();
    }
    void type(int edit, char key) { QTest::keyClick(window->template Item<QLineEdit>(edit), key); }
    std::wstring text(int id) const { return window->GetDlgItemText(id); }
    bool enabled(int id) const { return window->GetDlgItem(id)->isEnabled(); }
    void ok() { window->template Item<QPushButton>(IDOK)->click(); }
    // The last started algorithm, as the classifier the window must have made.
    template <class Alg> const Alg* launched() const {
        return dynamic_cast<const Alg*>(launches.back().algorithm.get());
    }

    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    ScriptedHost host;
    QPointer<Dlg> window;
    LaunchCatcher catcher;
    std::deque<CaughtLaunch>& launches = catcher.launches;
};

using SvmWindowTest = WindowTest<S>;
using BPWindowTest = WindowTest<B>;

} // namespace

TEST_F(SvmWindowTest, OpensOnLinearAndStartsWithTheDefaults) {
    open();
    EXPECT_EQ(window->GetWindowText(), L"支持向量机分类");
    auto* kernels = window->Item<XComboBox>(S::IDC_KERNEL);
    ASSERT_EQ(kernels->GetCount(), 4);
    EXPECT_EQ(kernels->GetLBText(0) + kernels->GetLBText(1) + kernels->GetLBText(2) + kernels->GetLBText(3),
              L"LinearPolynomialRBFSigmoid"); // in this order, not sorted
    EXPECT_EQ(kernels->GetCurSel(), 0);
    EXPECT_EQ(text(S::IDC_COEFFICIENT) + L" " + text(S::IDC_GAMMA) + L" " + text(S::IDC_DEGREE),
              L"1 0.143 2");
    EXPECT_FALSE(enabled(S::IDC_COEFFICIENT) || enabled(S::IDC_GAMMA) || enabled(S::IDC_DEGREE));
    window->Item<QPushButton>(S::IDC_HELP_BUTTON)->click();
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{4, 14}}));

    ok(); // nothing chosen: no check, the empty paths go on
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_TRUE(launches.back().progressShown);
    const auto* svm = launched<CSvmClassifyProcessAlg>();
    ASSERT_NE(svm, nullptr);
    const CSvmClassifyParam& record = svm->Param();
    EXPECT_EQ(record.m_kernelType, 0);
    EXPECT_EQ(record.m_coef0, 1.0);
    EXPECT_EQ(record.m_gamma, 0.143);
    EXPECT_EQ(record.m_degree, 2);
    EXPECT_EQ(record.m_algorithmName, L"支持向量机分类");
    EXPECT_EQ(record.m_outputDataType, 1);
    EXPECT_EQ(record.m_host, &host);
    EXPECT_TRUE(record.m_inputPath.empty() && record.m_sampleFilePath.empty() && record.m_outputPath.empty());
    EXPECT_EQ(record.m_outputBandCount, 0); // band count and format are left as constructed
    EXPECT_EQ(record.m_outputFormat, 0);
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000)); // closed after the start
}

TEST_F(SvmWindowTest, KernelEnablesItsEditsAndEveryEditIsRead) {
    open();
    window->SetDlgItemText(S::IDC_COEFFICIENT, L"0.5");
    window->SetDlgItemText(S::IDC_GAMMA, L"0.25");
    window->SetDlgItemText(S::IDC_DEGREE, L"2.5");
    const bool table[4][3] = {
        {false, false, false}, {true, true, true}, {false, true, false}, {true, true, false}};
    for (int kernel : {1, 2, 3, 0, 2}) {
        SCOPED_TRACE(kernel);
        window->Item<XComboBox>(S::IDC_KERNEL)->SetCurSel(kernel);
        EXPECT_EQ(enabled(S::IDC_COEFFICIENT), table[kernel][0]);
        EXPECT_EQ(enabled(S::IDC_GAMMA), table[kernel][1]);
        EXPECT_EQ(enabled(S::IDC_DEGREE), table[kernel][2]);
        EXPECT_EQ(text(S::IDC_COEFFICIENT) + L" " + text(S::IDC_DEGREE), L"0.5 2.5"); // texts stay
    }
    ok(); // RBF: the degree edit is disabled, and still its 2.5 is refused
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, NumberMessages::NotAnInteger());
    EXPECT_TRUE(launches.empty());

    window->SetDlgItemText(S::IDC_DEGREE, L"4");
    choose(S::IDC_INPUT_BROWSE, L"/no/such/image.tif"); // cannot be opened: no message
    choose(S::IDC_INPUT_BROWSE, threeBandRaster());
    choose(S::IDC_SAMPLE_BROWSE, L"/data/s.cif");
    choose(S::IDC_AOI, L"/data/a.aif");
    choose(S::IDC_OUTPUT_BROWSE, L"/data/run.1/result.tif");
    EXPECT_TRUE(ui.fileRequests.back().hostAware);
    ok();
    EXPECT_EQ(ui.messages.size(), 1u);
    ASSERT_EQ(launches.size(), 1u);
    const auto* svm = launched<CSvmClassifyProcessAlg>();
    ASSERT_NE(svm, nullptr);
    const CSvmClassifyParam& record = svm->Param();
    EXPECT_EQ(record.m_kernelType, 2);
    EXPECT_EQ(record.m_coef0, 0.5);
    EXPECT_EQ(record.m_gamma, 0.25);
    EXPECT_EQ(record.m_degree, 4);
    EXPECT_EQ(record.m_inputPath, threeBandRaster());
    EXPECT_EQ(record.m_sampleFilePath, L"/data/s.cif");
    EXPECT_EQ(record.m_aoiPath, L"/data/a.aif");
    EXPECT_EQ(record.m_outputPath, L"/data/run.1/result.tif");
    EXPECT_EQ(record.m_modelFilePath, L"/data/run.1/result.svm");
    EXPECT_TRUE(record.m_bandList.empty()); // an opened raster gives this window no band list
}

TEST(SvmModelPath, LiesBesideTheOutputAndStartsWithItsName) {
    EXPECT_EQ(SvmModelFilePath(L"/data/run.1/result"), L"/data/run.1/result.svm");
    EXPECT_EQ(SvmModelFilePath(L"/data/a.b.img"), L"/data/a.b.svm");
    EXPECT_EQ(SvmModelFilePath(L"result.tif"), L"./result.svm");
}

TEST_F(BPWindowTest, GuardRefusalsAndTheRecordOfTheDefaults) {
    open();
    EXPECT_EQ(window->GetWindowText(), L"BP神经网络");
    EXPECT_EQ(text(B::IDC_LEARNING_RATE) + L" " + text(B::IDC_MAX_ERROR) + L" " + text(B::IDC_MAX_ITERATIONS),
              L"0.01 0.001 100000");
    window->Item<QPushButton>(B::IDC_HELP_BUTTON)->click();
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{4, 15}}));

    // A letter brings back the value of the last read, in "%.3f"; the count takes digits only.
    type(B::IDC_MAX_ERROR, 'a');
    type(B::IDC_LEARNING_RATE, 'a');
    type(B::IDC_MAX_ITERATIONS, 'x');
    EXPECT_EQ(text(B::IDC_LEARNING_RATE) + L" " + text(B::IDC_MAX_ERROR) + L" " + text(B::IDC_MAX_ITERATIONS),
              L"0.010 0.001 100000");
    // A comma passes the guard but is no number: refused before any progress window.
    type(B::IDC_LEARNING_RATE, ',');
    EXPECT_EQ(text(B::IDC_LEARNING_RATE), L"0.010,");
    const QWidgetList before = QApplication::topLevelWidgets();
    ok();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, NumberMessages::NotANumber());
    EXPECT_EQ(QApplication::topLevelWidgets().size(), before.size());
    EXPECT_TRUE(launches.empty());

    window->SetDlgItemText(B::IDC_LEARNING_RATE, L"0.01");
    choose(B::IDC_INPUT_BROWSE, threeBandRaster());
    choose(B::IDC_SAMPLE_BROWSE, L"/data/s.cif");
    choose(B::IDC_AOI, L"/data/a.shp");
    choose(B::IDC_OUTPUT_BROWSE, L"/data/out.img");
    EXPECT_TRUE(ui.fileRequests.back().hostAware);
    ok();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_TRUE(launches.back().progressShown);
    const auto* bp = launched<CBPNNClassify>();
    ASSERT_NE(bp, nullptr);
    const CSuperviseBPNNParam& record = bp->Param();
    EXPECT_EQ(record.m_learningRate, 0.01);
    EXPECT_EQ(record.m_maxError, 0.001);
    EXPECT_EQ(record.m_maxIterations, 100000u);
    EXPECT_EQ(record.m_inputPath, threeBandRaster());
    EXPECT_EQ(record.m_sampleFilePath, L"/data/s.cif");
    EXPECT_EQ(record.m_aoiPath, L"/data/a.shp");
    EXPECT_EQ(record.m_outputPath, L"/data/out.img");
    EXPECT_EQ(record.m_host, &host);
    EXPECT_EQ(record.m_outputBandCount, 1);
    EXPECT_EQ(record.m_outputFormat, 20); // from the output path
    EXPECT_EQ(record.m_outputDataType, 1);
    EXPECT_TRUE(record.m_bandList.empty() && record.m_classMeans.empty());
}

TEST_F(BPWindowTest, RangeCheckBothEndsIncludedProgressNeverShownOnRefusal) {
    struct Case {
        const wchar_t *rate, *maxError;
        bool accepted;
    } const cases[] = {{L"0.01", L"0", true},     {L"1.0", L"1.0", true},   {L"0.009", L"0.001", false},
                       {L"1.5", L"0.001", false}, {L"0.5", L"-0.1", false}, {L"0.5", L"1.01", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(QString::fromWCharArray(c.rate).toStdString() + " " +
                     QString::fromWCharArray(c.maxError).toStdString());
        if (window.isNull())
            open();
        window->SetDlgItemText(B::IDC_LEARNING_RATE, c.rate);
        window->SetDlgItemText(B::IDC_MAX_ERROR, c.maxError);
        EXPECT_EQ(text(B::IDC_MAX_ERROR), c.maxError); // a minus passes the guard
        const size_t messages = ui.messages.size(), started = launches.size();
        const QWidgetList before = QApplication::topLevelWidgets();
        ok();
        if (c.accepted) {
            EXPECT_EQ(ui.messages.size(), messages);
            EXPECT_EQ(launches.size(), started + 1);
            EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
            continue;
        }
        ASSERT_EQ(ui.messages.size(), messages + 1);
        EXPECT_EQ(ui.messages.back().text, L"输入的数据有误！");
        EXPECT_EQ(ui.messages.back().caption, L"提示");
        EXPECT_EQ(launches.size(), started);
        EXPECT_FALSE(window.isNull());
        // The progress window was made before the check, is never shown, and goes away.
        QPointer<ProgressWindow> made;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (!before.contains(w))
                made = qobject_cast<ProgressWindow*>(w);
        ASSERT_FALSE(made.isNull());
        EXPECT_FALSE(made->isVisible());
        EXPECT_TRUE(QTest::qWaitFor([&] { return made.isNull(); }, 5000));
    }
    // The guard now brings back the values read at the refused start.
    type(B::IDC_LEARNING_RATE, 'a');
    type(B::IDC_MAX_ERROR, 'a');
    EXPECT_EQ(text(B::IDC_LEARNING_RATE) + L" " + text(B::IDC_MAX_ERROR), L"0.500 1.010");
}
