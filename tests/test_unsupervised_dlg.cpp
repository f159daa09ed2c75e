// Unsupervised classification window: its template, the choosers, the start
// sequence and the records it hands to K-Means and ISODATA.
#include "classify/CDlgUnsuperviseClassify.h"
#include "base/textnumber.h"
#include "common/filters.h"
#include "common/helptopics.h"
#include "entry/tesserauilib.h"
#include "platform/xcombobox.h"
#include "progressui/progresswindow.h"
#include "support/scriptedhost.h"
#include "support/scripteduiservices.h"
#include "support/windowharness.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <deque>
#include <iterator>

using D = CDlgUnsuperviseClassify;
using namespace UnsupervisedSetup;

namespace {

using Launch = CaughtLaunch;

class UnsupervisedDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        open();
        ASSERT_FALSE(window.isNull());
    }
    // Opens a window through the entry point and makes it the one under test.
    void open() {
        window = OpenNewWindow<D>([this] { CTesseraUILib::ShowUnsuperviseClassifyDlg(&host); });
        if (!window.isNull()) {
            EXPECT_TRUE(window->isVisible());
        }
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
    void setText(int id, const wchar_t* text) const { item<QLineEdit>(id)->setText(QString::fromWCharArray(text)); }
    void browseInput(const std::wstring& path) {
        ui.ChooseFileAnswer(path);
        click(D::IDC_INPUT_BROWSE);
    }
    void browseOutput(const std::wstring& path, int saveType = 1) {
        ui.ChooseFileAnswer(path, saveType);
        click(D::IDC_OUTPUT_BROWSE);
    }
    void chooseInputAndOutput() {
        browseInput(L"/data/scene.tif");
        browseOutput(L"/data/classes.tif");
    }
    // Presses OK and returns the one launch it made.
    const Launch& startOne() {
        const size_t before = launches.size();
        click(IDOK);
        EXPECT_EQ(launches.size(), before + 1);
        return launches.back();
    }

    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    ScriptedHost host;
    QPointer<D> window;
    LaunchCatcher catcher;
    std::deque<Launch>& launches = catcher.launches;
};

} // namespace

// ---- Plain functions ------------------------------------------------------

TEST(UnsupervisedSetupFunctions, SaveTypeGivesTheWordAndTheWordTheFormat) {
    EXPECT_EQ(ExtensionWordForSaveType(1), L"tif"); // TIFF Files
    EXPECT_EQ(ExtensionWordForSaveType(2), L"tif"); // GeoTiff
    EXPECT_EQ(ExtensionWordForSaveType(3), L"img"); // IMAGINE Image
    EXPECT_EQ(ExtensionWordForSaveType(4), L"");    // PCI
    EXPECT_EQ(ExtensionWordForSaveType(5), L"");    // all files
    EXPECT_EQ(ExtensionWordForSaveType(0), L"");
    EXPECT_EQ(FormatCodeForWord(L"tif"), 38);
    EXPECT_EQ(FormatCodeForWord(L"img"), 20);
    EXPECT_EQ(FormatCodeForWord(L""), 0);
    EXPECT_EQ(FormatCodeForWord(L"TIF"), 0); // case-sensitive
    EXPECT_EQ(FormatCodeForWord(L"pix"), 0);
}

TEST(UnsupervisedSetupFunctions, ConversionsFollowTheCLibrary) {
    EXPECT_EQ(TextToInt(L"abc"), 0);
    EXPECT_EQ(TextToInt(L"12.7"), 12);
    EXPECT_EQ(TextToInt(L"  -7x"), -7);
    EXPECT_EQ(TextToInt(L""), 0);
    EXPECT_EQ(TextToInt(L"99999999999999999999"), INT_MAX);
    EXPECT_DOUBLE_EQ(TextToDouble(L" 0.25abc"), 0.25);
    EXPECT_DOUBLE_EQ(TextToDouble(L"abc"), 0.0);
    EXPECT_DOUBLE_EQ(TextToDouble(L"1e-3"), 0.001);
}

TEST(UnsupervisedSetupFunctions, RecordsTakeTheChoiceAndTheTexts) {
    ScriptedHost host;
    const Choice choice{L"/in.tif", L"/out.img", L"img", L"/roi.aif", &host};
    FieldTexts texts;
    texts.classCount = L"8";
    texts.minClassDistance = L"1e60"; // beyond single precision
    const KMeanClassifyParam k = BuildKMeanRecord(choice, texts);
    EXPECT_EQ(k.m_algorithmName, L"K均值分类算法");
    EXPECT_EQ(k.m_outputFormat, 20);
    EXPECT_EQ(k.m_classCount, 8);
    EXPECT_EQ(k.m_outputBandCount, 1);
    EXPECT_EQ(k.m_host, &host);
    const ISODATAClassifyParam i = BuildISODATARecord(choice, texts);
    EXPECT_EQ(i.m_algorithmName, L"ISODATA分类");
    EXPECT_EQ(i.m_aoiPath, L"/roi.aif");
    EXPECT_TRUE(std::isinf(i.m_minClassDistance));
}

// ---- The window as opened -------------------------------------------------

TEST_F(UnsupervisedDlgTest, OpensFromTheEntryPointWithItsInitialState) {
    EXPECT_EQ(window->GetWindowText(), L"非监督分类");
    EXPECT_EQ(window->TemplateId(), 6000);
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->parentWidget(), nullptr);

    auto* list = item<XComboBox>(D::IDC_INPUT_LIST);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->IsSorted());
    EXPECT_FALSE(list->isEditable());
    EXPECT_EQ(list->GetCount(), 0);

    EXPECT_TRUE(window->IsDlgButtonChecked(D::IDC_METHOD_KMEANS));
    EXPECT_FALSE(window->IsDlgButtonChecked(D::IDC_METHOD_ISODATA));
    EXPECT_EQ(window->GetMethod(), D::MethodKMeans);
    const std::pair<int, const wchar_t*> fields[] = {
        {D::IDC_CLASS_COUNT, L"5"},    {D::IDC_THRESHOLD, L"0.05"}, {D::IDC_ITERATIONS, L"5"},
        {D::IDC_MIN_DISTANCE, L"0.5"}, {D::IDC_MERGE_PAIRS, L"2"},  {D::IDC_MIN_PIXELS, L"1000"},
        {D::IDC_STD_DEV, L"1"},        {D::IDC_OUTPUT_PATH, L""}};
    for (const auto& [id, text] : fields)
        EXPECT_EQ(window->GetDlgItemText(id), text) << id;
    for (int id : {D::IDC_CLASS_COUNT, D::IDC_THRESHOLD, D::IDC_ITERATIONS, D::IDC_OUTPUT_PATH})
        EXPECT_FALSE(item<QLineEdit>(id)->isReadOnly()) << id;
    for (int id : {D::IDC_MIN_DISTANCE, D::IDC_MERGE_PAIRS, D::IDC_MIN_PIXELS, D::IDC_STD_DEV})
        EXPECT_TRUE(item<QLineEdit>(id)->isReadOnly()) << id;
    const std::pair<int, const wchar_t*> buttons[] = {{IDOK, L"确定"}, {D::IDC_AOI, L"样区"},
                                                      {IDCANCEL, L"取消"}, {D::IDC_HELP_BUTTON, L"帮助"}};
    for (const auto& [id, text] : buttons)
        EXPECT_EQ(window->GetDlgItemText(id), text) << id;
}

TEST_F(UnsupervisedDlgTest, MethodButtonsSwitchTheISODATAFieldsKeepingTheirTexts) {
    click(D::IDC_METHOD_ISODATA);
    EXPECT_EQ(window->GetMethod(), D::MethodISODATA);
    for (int id : {D::IDC_MIN_DISTANCE, D::IDC_MERGE_PAIRS, D::IDC_MIN_PIXELS, D::IDC_STD_DEV})
        EXPECT_FALSE(item<QLineEdit>(id)->isReadOnly()) << id;
    setText(D::IDC_MERGE_PAIRS, L"7");
    click(D::IDC_METHOD_KMEANS);
    EXPECT_EQ(window->GetMethod(), D::MethodKMeans);
    for (int id : {D::IDC_MIN_DISTANCE, D::IDC_MERGE_PAIRS, D::IDC_MIN_PIXELS, D::IDC_STD_DEV})
        EXPECT_TRUE(item<QLineEdit>(id)->isReadOnly()) << id;
    EXPECT_EQ(window->GetDlgItemText(D::IDC_MERGE_PAIRS), L"7");
}

// ---- Choosers -------------------------------------------------------------

TEST_F(UnsupervisedDlgTest, ChoosersAreTheStandardOnesWithTheirFilters) {
    browseInput(L"/data/scene.tif");
    browseOutput(L"/data/classes.tif");
    ui.ChooseFileAnswer(L"/data/roi.aif");
    click(D::IDC_AOI);
    ASSERT_EQ(ui.fileRequests.size(), 3u);
    const FileDialogRequest& in = ui.fileRequests[0];
    EXPECT_TRUE(in.open);
    EXPECT_EQ(in.defaultExtension, L".tif");
    EXPECT_EQ(in.flags, 6u);
    EXPECT_EQ(in.filter, Filters::RasterInput);
    const FileDialogRequest& out = ui.fileRequests[1];
    EXPECT_FALSE(out.open);
    EXPECT_EQ(out.defaultExtension, L".tif");
    EXPECT_EQ(out.flags, 6u);
    EXPECT_EQ(out.filter, Filters::RasterOutput);
    const FileDialogRequest& aoi = ui.fileRequests[2];
    EXPECT_TRUE(aoi.open);
    EXPECT_EQ(aoi.defaultExtension, L".aif");
    EXPECT_EQ(aoi.filter, Filters::AreaOfInterest);
    for (const FileDialogRequest& r : ui.fileRequests) {
        EXPECT_FALSE(r.hostAware); // the toolkit's chooser, not the host-aware one
        EXPECT_TRUE(r.fileName.empty());
    }
    EXPECT_EQ(window->InputPath(), L"/data/scene.tif");
    EXPECT_EQ(window->AoiPath(), L"/data/roi.aif");
    EXPECT_EQ(window->GetDlgItemText(D::IDC_OUTPUT_PATH), L"/data/classes.tif");
}

TEST_F(UnsupervisedDlgTest, TwoInputsLeaveTheSecondChosenWhateverTheListShows) {
    browseInput(L"/data/zeta.tif");
    browseInput(L"/data/alpha.tif"); // sorts before the first
    auto* list = item<XComboBox>(D::IDC_INPUT_LIST);
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetLBText(0), L"/data/alpha.tif");
    EXPECT_EQ(list->GetCurSel(), 0);
    EXPECT_EQ(window->InputPath(), L"/data/alpha.tif");

    // Choosing the first input's entry in the list changes nothing.
    list->setCurrentIndex(list->FindStringExact(L"/data/zeta.tif"));
    emit list->activated(list->currentIndex());
    EXPECT_EQ(window->InputPath(), L"/data/alpha.tif");

    // A cancelled chooser changes nothing either.
    ui.CancelFileAnswer();
    click(D::IDC_INPUT_BROWSE);
    EXPECT_EQ(list->GetCount(), 2);

    browseOutput(L"/data/out.tif");
    EXPECT_EQ(startOne().algorithm->GetParam().m_inputPath, L"/data/alpha.tif");
}

TEST_F(UnsupervisedDlgTest, SaveTypeSetsTheFormatAndThePathStaysAsChosen) {
    browseInput(L"/data/scene.tif");
    const struct {
        int saveType;
        const wchar_t* path;
        int format;
    } cases[] = {{1, L"/data/a.tif", 38}, {2, L"/data/b.tif", 38}, {3, L"/data/c.img", 20},
                 {4, L"/data/d.pix", 0},  {5, L"/data/e.dat", 0},  {2, L"/data/f.pix", 38}};
    for (const auto& c : cases) {
        if (window.isNull()) { // each start closes its window
            open();
            ASSERT_FALSE(window.isNull());
            browseInput(L"/data/scene.tif");
        }
        browseOutput(c.path, c.saveType);
        const AlgorithmParam& record = startOne().algorithm->GetParam();
        EXPECT_EQ(record.m_outputFormat, c.format) << c.saveType;
        EXPECT_EQ(record.m_outputPath, c.path); // no extension forced
        EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
    }
    EXPECT_EQ(launches.size(), std::size(cases));
}

TEST_F(UnsupervisedDlgTest, CancelledOutputChooserKeepsPathAndFormatButAoiCancelClears) {
    browseInput(L"/data/scene.tif");
    browseOutput(L"/data/classes.img", 3);
    ui.CancelFileAnswer();
    click(D::IDC_OUTPUT_BROWSE);
    EXPECT_EQ(window->OutputPath(), L"/data/classes.img");
    EXPECT_EQ(window->OutputWord(), L"img");
    EXPECT_EQ(window->GetDlgItemText(D::IDC_OUTPUT_PATH), L"/data/classes.img");

    ui.ChooseFileAnswer(L"/data/roi.shp", 2);
    click(D::IDC_AOI);
    EXPECT_EQ(window->AoiPath(), L"/data/roi.shp");
    ui.CancelFileAnswer();
    click(D::IDC_AOI);
    EXPECT_EQ(window->AoiPath(), L"");

    const AlgorithmParam& record = startOne().algorithm->GetParam();
    EXPECT_EQ(record.m_outputPath, L"/data/classes.img");
    EXPECT_EQ(record.m_outputFormat, 20);
    EXPECT_EQ(record.m_aoiPath, L"");
}

// ---- Start sequence -------------------------------------------------------

TEST_F(UnsupervisedDlgTest, MissingPathsStopWithOneMessageEach) {
    click(IDOK);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"请选择输入文件路径！");
    EXPECT_EQ(ui.messages[0].caption, L""); // the toolkit's default caption
    EXPECT_EQ(ui.messages[0].type & MB_TYPEMASK, MB_OK);

    // A path typed into the output field is never read.
    browseInput(L"/data/scene.tif");
    setText(D::IDC_OUTPUT_PATH, L"/data/typed.tif");
    click(IDOK);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, L"请选择输出文件路径！");
    EXPECT_EQ(ui.messages[1].caption, L"");

    EXPECT_TRUE(launches.empty());
    EXPECT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(dynamic_cast<ProgressWindow*>(w), nullptr); // no progress window either
}

TEST_F(UnsupervisedDlgTest, KMeansRecordAndStartThenTheWindowIsGone) {
    browseInput(L"/data/scene.tif");
    browseOutput(L"/data/classes.tif", 2);
    ui.ChooseFileAnswer(L"/data/roi.aif");
    click(D::IDC_AOI);
    // ISODATA fields edited while ISODATA was chosen do not reach K-Means.
    click(D::IDC_METHOD_ISODATA);
    setText(D::IDC_MIN_DISTANCE, L"9");
    setText(D::IDC_MERGE_PAIRS, L"9");
    setText(D::IDC_MIN_PIXELS, L"9");
    setText(D::IDC_STD_DEV, L"9");
    click(D::IDC_METHOD_KMEANS);
    setText(D::IDC_ITERATIONS, L"12");
    setText(D::IDC_THRESHOLD, L"0.02");

    const Launch& launch = startOne();
    EXPECT_NE(dynamic_cast<CKMeanClassify*>(launch.algorithm.get()), nullptr);
    const KMeanClassifyParam* record = launch.record<KMeanClassifyParam>();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_algorithmName, L"K均值分类算法");
    EXPECT_EQ(record->m_inputPath, L"/data/scene.tif");
    EXPECT_EQ(record->m_outputPath, L"/data/classes.tif");
    EXPECT_EQ(record->m_aoiPath, L"/data/roi.aif");
    EXPECT_EQ(record->m_outputDataType, 1);
    EXPECT_EQ(record->m_outputBandCount, 1);
    EXPECT_EQ(record->m_outputFormat, 38);
    EXPECT_EQ(record->m_host, &host);
    EXPECT_EQ(record->m_classCount, 5);
    EXPECT_EQ(record->m_maxIterations, 12);
    EXPECT_DOUBLE_EQ(record->m_changeThreshold, 0.02);
    // Not written: the base record's own values stand.
    const AlgorithmParam defaults;
    EXPECT_EQ(record->m_bandList, defaults.m_bandList);
    EXPECT_EQ(record->m_right, defaults.m_right);

    // A progress window was created, shown and attached.
    EXPECT_TRUE(launch.progressShown);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
}

TEST_F(UnsupervisedDlgTest, ClassCountTextIsConvertedLikeTheCLibrary) {
    chooseInputAndOutput();
    setText(D::IDC_CLASS_COUNT, L"abc");
    const KMeanClassifyParam* record = startOne().record<KMeanClassifyParam>();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_classCount, 0); // no message: the algorithm judges it

    open();
    ASSERT_FALSE(window.isNull());
    chooseInputAndOutput();
    setText(D::IDC_CLASS_COUNT, L"12.7");
    record = startOne().record<KMeanClassifyParam>();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_classCount, 12);
}

TEST_F(UnsupervisedDlgTest, ISODATARecordWithTheDefaultTexts) {
    chooseInputAndOutput();
    click(D::IDC_METHOD_ISODATA);
    const Launch& launch = startOne();
    EXPECT_NE(dynamic_cast<CISODATAClassify*>(launch.algorithm.get()), nullptr);
    const ISODATAClassifyParam* record = launch.record<ISODATAClassifyParam>();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_algorithmName, L"ISODATA分类");
    EXPECT_EQ(record->m_classCount, 5);
    EXPECT_EQ(record->m_maxIterations, 5);
    EXPECT_DOUBLE_EQ(record->m_changeThreshold, 0.05);
    EXPECT_DOUBLE_EQ(record->m_minClassDistance, 0.5);
    EXPECT_DOUBLE_EQ(record->m_splitStdDev, 1.0);
    EXPECT_EQ(record->m_maxMergePairs, 2);
    EXPECT_EQ(record->m_minPixelCount, 1000);
    EXPECT_EQ(record->m_outputDataType, 1);
    EXPECT_EQ(record->m_outputFormat, 38);
    EXPECT_EQ(record->m_outputBandCount, AlgorithmParam().m_outputBandCount); // left as constructed
    EXPECT_EQ(record->m_host, &host);
    EXPECT_TRUE(launch.progressShown);
}

TEST_F(UnsupervisedDlgTest, ISODATAMinimumDistanceGoesThroughSinglePrecision) {
    chooseInputAndOutput();
    click(D::IDC_METHOD_ISODATA);
    setText(D::IDC_MIN_DISTANCE, L"0.1");
    setText(D::IDC_STD_DEV, L"0.1");
    setText(D::IDC_MIN_PIXELS, L"250px");
    const ISODATAClassifyParam* record = startOne().record<ISODATAClassifyParam>();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_minClassDistance, static_cast<double>(0.1f));
    EXPECT_NE(record->m_minClassDistance, 0.1);
    EXPECT_EQ(record->m_splitStdDev, 0.1); // the other reals stay double
    EXPECT_EQ(record->m_minPixelCount, 250);
}

TEST_F(UnsupervisedDlgTest, CancelAndHelp) {
    click(D::IDC_HELP_BUTTON);
    ASSERT_EQ(ui.helpTopics.size(), 1u);
    EXPECT_EQ(ui.helpTopics[0], std::make_pair(4, 9));
    EXPECT_TRUE(window->isVisible());

    chooseInputAndOutput();
    click(IDCANCEL);
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
    EXPECT_TRUE(launches.empty());
}
