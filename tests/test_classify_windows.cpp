// The classification windows: unsupervised, supervised of five kinds, minimum
// distance, SVM and BP network; their fields, refusals and records.
#include "base/textnumber.h"
#include "classify/CBPClassifyDlg.h"
#include "classify/CDlgSupperviseCommon.h"
#include "classify/CDlgUnsuperviseClassify.h"
#include "classify/CMinDistanceClassifyDlg.h"
#include "classify/CRandomForestDlg.h"
#include "classify/CSvmClassifyDlg.h"
#include "common/filters.h"
#include "entry/tesserauilib.h"
#include "platform/xcombobox.h"
#include "processing/bpnnclassify.h"
#include "processing/svmclassify.h"
#include "progressui/progresswindow.h"
#include "support/fixtures.h"
#include "support/windowharness.h"

#include <QLineEdit>

using namespace tessera;

using D = CDlgUnsuperviseClassify;
using namespace UnsupervisedSetup;

namespace {

const int kIsodataFields[] = {D::IDC_MIN_DISTANCE, D::IDC_MERGE_PAIRS, D::IDC_MIN_PIXELS, D::IDC_STD_DEV};

class UnsupervisedDlgTest : public WindowTest<D, CTesseraUILib::ShowUnsuperviseClassifyDlg> {
protected:
    void setText(int id, const wchar_t* text) const {
        item<QLineEdit>(id)->setText(QString::fromWCharArray(text));
    }
    void chooseInputAndOutput(const std::wstring& output = L"/data/classes.tif", int saveType = 1) {
        choose(D::IDC_INPUT_BROWSE, L"/data/scene.tif");
        choose(D::IDC_OUTPUT_BROWSE, output, saveType);
    }
    std::vector<bool> readOnly(const std::vector<int>& ids) const {
        std::vector<bool> flags;
        for (int id : ids)
            flags.push_back(item<QLineEdit>(id)->isReadOnly());
        return flags;
    }
};

} // namespace

// The window tests below take the common paths of these; the corners are here.
TEST(UnsupervisedSetupFunctions, SaveTypesConversionsAndRecords) {
    EXPECT_EQ(std::tuple(ExtensionWordForSaveType(0), FormatCodeForWord(L"TIF"), FormatCodeForWord(L"pix")),
              std::tuple(L"", 0, 0)); // case-sensitive
    // Conversions follow the C library.
    for (auto [text, value] : std::vector<std::pair<std::wstring, int>>{
             {L"  -7x", -7}, {L"", 0}, {L"99999999999999999999", INT_MAX}})
        EXPECT_EQ(TextToInt(text), value) << Narrow(text);
    EXPECT_EQ(std::tuple(TextToDouble(L" 0.25abc"), TextToDouble(L"abc"), TextToDouble(L"1e-3")),
              std::tuple(0.25, 0.0, 0.001));
    FieldTexts texts;
    texts.minClassDistance = L"1e60"; // beyond single precision
    EXPECT_TRUE(std::isinf(
        BuildISODATARecord({L"/in.tif", L"/out.img", L"img", L"", nullptr}, texts).m_minClassDistance));
}

TEST_F(UnsupervisedDlgTest, OpensWithItsFieldsTheMethodSwitchesTheISODATAOnesAndMissingPathsStop) {
    auto* list = item<XComboBox>(D::IDC_INPUT_LIST);
    EXPECT_EQ(std::tuple(list->IsSorted(), list->isEditable(), list->GetCount()), std::tuple(true, false, 0));
    EXPECT_EQ(std::tuple(window->IsDlgButtonChecked(D::IDC_METHOD_KMEANS),
                         window->IsDlgButtonChecked(D::IDC_METHOD_ISODATA), window->GetMethod()),
              std::tuple(true, false, D::MethodKMeans));
    // The default texts reach the ISODATA record below.
    EXPECT_EQ(readOnly({D::IDC_CLASS_COUNT, D::IDC_THRESHOLD, D::IDC_ITERATIONS, D::IDC_OUTPUT_PATH}),
              std::vector<bool>(4, false));
    // The method buttons switch the ISODATA fields, which keep their texts.
    const std::vector<int> isodata(std::begin(kIsodataFields), std::end(kIsodataFields));
    EXPECT_EQ(readOnly(isodata), std::vector<bool>(4, true));
    click(D::IDC_METHOD_ISODATA);
    EXPECT_EQ(std::tuple(window->GetMethod(), readOnly(isodata)),
              std::tuple(D::MethodISODATA, std::vector<bool>(4, false)));
    setText(D::IDC_MERGE_PAIRS, L"7");
    click(D::IDC_METHOD_KMEANS);
    EXPECT_EQ(std::tuple(window->GetMethod(), readOnly(isodata), text(D::IDC_MERGE_PAIRS)),
              std::tuple(D::MethodKMeans, std::vector<bool>(4, true), std::wstring(L"7")));
    // Help; Cancel closes without a start.
    click(D::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{4, 9}}));
    // Missing paths stop the start with one message each; a path typed into the output field is never read.
    click(IDOK);
    choose(D::IDC_INPUT_BROWSE, L"/data/scene.tif");
    setText(D::IDC_OUTPUT_PATH, L"/data/typed.tif");
    click(IDOK);
    EXPECT_EQ(ui.Shown(),
              (std::vector<std::wstring>{L"请选择输入文件路径！ | ", L"请选择输出文件路径！ | "}));
    EXPECT_EQ(ui.messages[0].type & MB_TYPEMASK, MB_OK);
    EXPECT_TRUE(launches.empty() && window->isVisible());
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(dynamic_cast<ProgressWindow*>(w), nullptr); // no progress window either
    chooseInputAndOutput();
    click(IDCANCEL);
    EXPECT_TRUE(closed() && launches.empty());
}

TEST_F(UnsupervisedDlgTest, ChoosersWhatACancelledOneKeepsAndTheSaveTypesFormat) {
    choose(D::IDC_INPUT_BROWSE, L"/data/zeta.tif");
    choose(D::IDC_INPUT_BROWSE, L"/data/alpha.tif"); // sorts before the first
    choose(D::IDC_OUTPUT_BROWSE, L"/data/classes.img", 3);
    choose(D::IDC_AOI, L"/data/roi.aif");
    // The toolkit's choosers, not the host-aware one.
    EXPECT_EQ(ui.Asked(0), (FileAsk{true, L".tif", 6, false, Filters::RasterInput}));
    EXPECT_EQ(ui.Asked(2), (FileAsk{false, L".tif", 6, false, Filters::RasterOutput}));
    EXPECT_EQ(ui.Asked(3), (FileAsk{true, L".aif", 6, false, Filters::AreaOfInterest}));
    // Two inputs leave the second chosen whatever the list shows.
    auto* list = item<XComboBox>(D::IDC_INPUT_LIST);
    EXPECT_EQ(std::tuple(list->GetCount(), list->GetLBText(0), list->GetCurSel()),
              std::tuple(2, std::wstring(L"/data/alpha.tif"), 0));
    list->setCurrentIndex(list->FindStringExact(L"/data/zeta.tif"));
    emit list->activated(list->currentIndex());
    EXPECT_EQ(window->InputPath(), L"/data/alpha.tif");
    // A cancelled input or output chooser changes nothing; a cancelled AOI chooser clears the AOI.
    for (int id : {D::IDC_INPUT_BROWSE, D::IDC_OUTPUT_BROWSE, D::IDC_AOI}) {
        ui.CancelFileAnswer();
        click(id);
    }
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(window->OutputPath() + L" " + window->OutputWord() + L" " + text(D::IDC_OUTPUT_PATH) + L" " +
                  window->AoiPath(),
              L"/data/classes.img img /data/classes.img ");
    const AlgorithmParam& record = startOne<AlgorithmParam>();
    EXPECT_EQ(record.m_inputPath + L" " + record.m_outputPath + L" " + record.m_aoiPath,
              L"/data/alpha.tif /data/classes.img ");
    EXPECT_EQ(record.m_outputFormat, 20);
    // The save type sets the format; the path stays as chosen.
    const std::tuple<int, const wchar_t*, int> cases[] = {{1, L"/data/a.tif", 38}, {2, L"/data/b.tif", 38},
                                                          {3, L"/data/c.img", 20}, {4, L"/data/d.pix", 0},
                                                          {5, L"/data/e.dat", 0},  {2, L"/data/f.pix", 38}};
    for (const auto& [saveType, path, format] : cases) {
        if (window.isNull()) // each start closes its window
            reopen();
        chooseInputAndOutput(path, saveType);
        const AlgorithmParam& record = startOne<AlgorithmParam>();
        EXPECT_EQ(std::tuple(record.m_outputFormat, record.m_outputPath),
                  std::tuple(format, std::wstring(path)))
            << saveType; // no extension forced
    }
}

TEST_F(UnsupervisedDlgTest, KMeansAndISODATARecordsAndStartThenTheWindowIsGone) {
    chooseInputAndOutput(L"/data/classes.tif", 2);
    choose(D::IDC_AOI, L"/data/roi.aif");
    // ISODATA fields edited while ISODATA was chosen do not reach K-Means.
    click(D::IDC_METHOD_ISODATA);
    for (int id : kIsodataFields)
        setText(id, L"9");
    click(D::IDC_METHOD_KMEANS);
    setText(D::IDC_ITERATIONS, L"12");
    setText(D::IDC_THRESHOLD, L"0.02");
    const KMeanClassifyParam& record = startOne<KMeanClassifyParam>();
    EXPECT_NE(dynamic_cast<CKMeanClassify*>(launches.back().algorithm.get()), nullptr);
    EXPECT_EQ(record.m_algorithmName, L"K均值分类算法");
    EXPECT_EQ(record.m_inputPath + L" " + record.m_outputPath + L" " + record.m_aoiPath,
              L"/data/scene.tif /data/classes.tif /data/roi.aif");
    EXPECT_EQ(std::tuple(record.m_outputDataType, record.m_outputBandCount, record.m_outputFormat,
                         record.m_classCount, record.m_maxIterations, record.m_host,
                         record.m_changeThreshold),
              std::tuple(1, 1, 38, 5, 12, &host, 0.02));
    // Not written: the base record's own values stand.
    const AlgorithmParam defaults;
    EXPECT_EQ(std::tuple(record.m_bandList, record.m_right),
              std::tuple(defaults.m_bandList, defaults.m_right));
    EXPECT_TRUE(launches.back().progressShown && ui.messages.empty()); // a progress window was shown
    // The class count text is converted like the C library, without a message.
    for (auto [typed, count] : {std::pair{L"abc", 0}, std::pair{L"12.7", 12}}) {
        reopen();
        chooseInputAndOutput();
        setText(D::IDC_CLASS_COUNT, typed);
        EXPECT_EQ(startOne<KMeanClassifyParam>().m_classCount, count);
    }
    // ISODATA with the default texts.
    reopen();
    chooseInputAndOutput();
    click(D::IDC_METHOD_ISODATA);
    const ISODATAClassifyParam& iso = startOne<ISODATAClassifyParam>();
    EXPECT_NE(dynamic_cast<CISODATAClassify*>(launches.back().algorithm.get()), nullptr);
    EXPECT_EQ(iso.m_algorithmName, L"ISODATA分类");
    EXPECT_EQ(std::tuple(iso.m_classCount, iso.m_maxIterations, iso.m_maxMergePairs, iso.m_minPixelCount,
                         iso.m_outputDataType, iso.m_outputFormat),
              std::tuple(5, 5, 2, 1000, 1, 38));
    EXPECT_EQ(std::tuple(iso.m_changeThreshold, iso.m_minClassDistance, iso.m_splitStdDev),
              std::tuple(0.05, 0.5, 1.0));
    EXPECT_EQ(std::tuple(iso.m_outputBandCount, iso.m_host), // the band count is left as constructed
              std::tuple(AlgorithmParam().m_outputBandCount, &host));
    EXPECT_TRUE(launches.back().progressShown);
    // The minimum distance goes through single precision; the other reals stay double.
    reopen();
    chooseInputAndOutput();
    click(D::IDC_METHOD_ISODATA);
    setText(D::IDC_MIN_DISTANCE, L"0.1");
    setText(D::IDC_STD_DEV, L"0.1");
    setText(D::IDC_MIN_PIXELS, L"250px");
    const ISODATAClassifyParam& typed = startOne<ISODATAClassifyParam>();
    EXPECT_EQ(std::tuple(typed.m_minClassDistance, typed.m_splitStdDev, typed.m_minPixelCount),
              std::tuple(static_cast<double>(0.1f), 0.1, 250));
    EXPECT_NE(typed.m_minClassDistance, 0.1);
}

namespace {

using C = CDlgSupperviseCommon;
using M = CMinDistanceClassifyDlg;

// An empty Byte raster of 30 + bands columns, 20 rows.
std::wstring raster(const std::string& name, int bands) {
    const fs::path path = ScratchDir() / name;
    if (!fs::exists(path))
        WriteRaster(path, {30 + bands, 20, bands, GDT_Byte}, PixelValue());
    return WPath(path);
}

using CommonWindowTest = WindowTest<C>;
using MinimumDistanceWindowTest = WindowTest<M, CTesseraUILib::ShowMixDistanceClassifyDlg>;

} // namespace

TEST_F(CommonWindowTest, EachKindHasItsTitleLabelThresholdAndHelpAndTheBandListChoosersAndNumberRefusal) {
    const struct {
        SuperviseClassifyType kind;
        const wchar_t *title, *label;
        bool shown;
        const wchar_t *shownText, *text;
        double threshold;
        int topic; // 0: no help
    } kinds[] = {
        {SUPERVISE_MINIMUM_DISTANCE, L"最小距离分类", L"距离阈值:", true, L"0", L"0.000000", 0.0, 4},
        {SUPERVISE_MAXIMUM_LIKELIHOOD, L"最大似然分类", L"拒绝类阈值", false, L"0", L"0.000000", 0.0, 16},
        {SUPERVISE_MAHALANOBIS, L"马氏距离分类", L"拒绝类阈值", false, L"0", L"0.000000", 0.0, 17},
        {SUPERVISE_SPECTRAL_ANGLE, L"波谱角分类", L"最大角度(弧度)", true, L"0.5", L"0.500000", 0.5, 0},
        {SUPERVISE_PARALLELEPIPED, L"平行管道分类", L"管道阈值", false, L"0", L"0.000000", 0.0, 0},
    };
    for (const auto& e : kinds) {
        SCOPED_TRACE(static_cast<int>(e.kind));
        open([&] { CTesseraUILib::ShowSupperviseClassifyCommonDlg(e.kind, &host); });
        EXPECT_EQ(
            std::tuple(window->Kind(), window->GetWindowText(), text(C::IDC_THRESHOLD_LABEL),
                       text(C::IDC_THRESHOLD)),
            std::tuple(e.kind, std::wstring(e.title), std::wstring(e.label), std::wstring(e.shownText)));
        EXPECT_EQ(std::tuple(window->GetDlgItem(C::IDC_THRESHOLD)->isVisibleTo(window),
                             window->GetDlgItem(C::IDC_THRESHOLD_LABEL)->isVisibleTo(window)),
                  std::tuple(e.shown, e.shown));
        ui.helpTopics.clear();
        click(C::IDC_HELP_BUTTON);
        using Topics = std::vector<std::pair<int, int>>;
        EXPECT_EQ(ui.helpTopics, (e.topic ? Topics{{4, e.topic}} : Topics{}));
        choose(C::IDC_INPUT_BROWSE, raster("three.tif", 3));
        choose(C::IDC_SAMPLE_BROWSE, L"/data/s.cif");
        choose(C::IDC_OUTPUT_BROWSE, L"/data/out.img", 1); // the save type plays no part
        const auto& record = startOne<CSuperviseCommonParam>();
        EXPECT_EQ(
            std::tuple(record.m_threshold, record.m_thresholdText, record.m_sampleFilePath, record.m_host),
            std::tuple(e.threshold, std::wstring(e.text), std::wstring(L"/data/s.cif"), &host));
        EXPECT_EQ(std::tuple(record.m_outputFormat, record.m_right, record.m_bottom), std::tuple(20, 33, 20));
        EXPECT_EQ(record.m_algorithmName.find(L"Supervised"), 0u); // the classifier names itself
    }
    open([&] { CTesseraUILib::ShowSupperviseClassifyCommonDlg(SUPERVISE_SPECTRAL_ANGLE, &host); });
    click(IDOK); // before an input could be opened: a message, nothing started
    EXPECT_EQ(std::tuple(ui.messages.size(), ui.messages.at(0).text, launches.size()), // one start per kind
              std::tuple(1u, std::wstring(kSupervisedNoInput), 5u));
    choose(C::IDC_INPUT_BROWSE, raster("three.tif", 3));
    EXPECT_EQ(window->BandList(), (std::vector<int>{0, 1, 2}));
    choose(C::IDC_INPUT_BROWSE, raster("four.tif", 4));
    EXPECT_EQ(window->BandList(), (std::vector<int>{0, 1, 2, 3}));
    // A raster that cannot be opened is listed and kept, and the band list stays.
    choose(C::IDC_INPUT_BROWSE, L"/no/such/image.tif");
    auto* inputs = item<XComboBox>(C::IDC_INPUT_LIST);
    EXPECT_EQ(std::tuple(window->InputPath(), window->BandList(), inputs->GetCount(),
                         inputs->GetLBText(inputs->GetCurSel())),
              std::tuple(std::wstring(L"/no/such/image.tif"), std::vector<int>{0, 1, 2, 3}, 3,
                         std::wstring(L"/no/such/image.tif")));
    choose(C::IDC_INPUT_BROWSE, raster("four.tif", 4));
    choose(C::IDC_AOI, L"/data/a.aif");
    ui.CancelFileAnswer();
    click(C::IDC_AOI);
    EXPECT_EQ(window->AoiPath(), L"/data/a.aif"); // a cancelled chooser keeps the first AOI
    EXPECT_EQ(ui.Asked(ui.fileRequests.size() - 1), (FileAsk{true, L"", 518, true, Filters::AreaOfInterest}));
    choose(C::IDC_SAMPLE_BROWSE, L"/data/s.cif");
    EXPECT_EQ(std::tuple(ui.fileRequests.back().filter, ui.fileRequests.back().defaultExtension),
              std::tuple(Filters::SampleChoice, std::wstring(L".cif")));
    choose(C::IDC_OUTPUT_BROWSE, L"/data/out.tif", 3);
    EXPECT_EQ(std::tuple(ui.fileRequests.back().open, ui.fileRequests.back().filter),
              std::tuple(false, Filters::RasterOutput));
    // Text typed into the output list is not read; a threshold that is no number is refused.
    item<XComboBox>(C::IDC_OUTPUT_LIST)->setEditText("/typed/elsewhere.tif");
    window->SetDlgItemText(C::IDC_THRESHOLD, L"0.3x");
    click(IDOK);
    EXPECT_EQ(std::tuple(launches.size(), ui.messages.back().text), std::tuple(5u, L"请输入一个数字。"));
    EXPECT_TRUE(window->GetDlgItem(C::IDC_THRESHOLD)->hasFocus() || !window->isActiveWindow());
    window->SetDlgItemText(C::IDC_THRESHOLD, L"0.25");
    const auto& record = startOne<CSuperviseCommonParam>();
    EXPECT_EQ(record.m_bandList, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(record.m_outputPath + L" " + record.m_aoiPath + L" " + record.m_thresholdText,
              L"/data/out.tif /data/a.aif 0.250000");
    EXPECT_EQ(std::tuple(record.m_outputFormat, record.m_threshold, record.m_classMeans.empty()),
              std::tuple(38, 0.25, true));
}

TEST_F(MinimumDistanceWindowTest, ReadsTheMeansItselfAndAlwaysWritesGeoTiff) {
    EXPECT_EQ(window->GetWindowText(), L"最小距离分类");
    click(M::IDC_HELP_BUTTON);
    EXPECT_TRUE(ui.helpTopics.empty());
    choose(M::IDC_INPUT_BROWSE, raster("four.tif", 4));
    EXPECT_FALSE(ui.fileRequests.back().hostAware); // the toolkit's own chooser
    const fs::path samples = ScratchDir() / "s3x4.cif";
    const auto mean = [](int i) {
        return std::vector<double>{10.0 * i + 0.25, 10.0 * i + 1.25, 10.0 * i + 2.25, 10.0 * i + 3.25};
    };
    WriteSamples(samples, 4,
                 {NewSample(L"C1", 4, mean(1)), NewSample(L"C2", 4, mean(2)), NewSample(L"C3", 4, mean(3))});
    choose(M::IDC_SAMPLE_BROWSE, WPath(samples));
    ui.CancelFileAnswer();
    click(M::IDC_OUTPUT_BROWSE);
    EXPECT_EQ(window->GetWindowText(), L"最小距离分类"); // a cancelled chooser keeps the caption
    choose(M::IDC_OUTPUT_BROWSE, L"/data.v2/out", 3);
    EXPECT_EQ(window->GetWindowText(), L"out"); // a dotted folder is not the extension
    choose(M::IDC_OUTPUT_BROWSE, L"/data/结果.img", 3);
    EXPECT_EQ(window->GetWindowText(), L"结果");
    window->SetDlgItemText(M::IDC_MAX_STDDEV, L"7");
    window->SetDlgItemText(M::IDC_MAX_DISTANCE_ERROR, L"9");
    const auto& record = startOne<CSuperviseParam>();
    EXPECT_EQ(record.m_classMeans, (std::vector<std::vector<double>>{mean(1), mean(2), mean(3)}));
    EXPECT_EQ(std::tuple(record.m_outputFormat, record.m_threshold, record.m_right, record.m_host,
                         record.m_bandList),
              std::tuple(38, 0.0, 34, nullptr, std::vector<int>{0, 1, 2, 3}));
}

namespace {

using S = CSvmClassifyDlg;
using B = CBPClassifyDlg;

template <class Dlg, auto Entry> class LearnedWindowTest : public WindowTest<Dlg, Entry> {
protected:
    void type(int edit, char key) { QTest::keyClick(this->template item<QLineEdit>(edit), key); }
    std::wstring texts(std::initializer_list<int> ids) const {
        std::wstring joined;
        for (int id : ids)
            joined += (joined.empty() ? L"" : L" ") + this->text(id);
        return joined;
    }
    std::vector<bool> enabled(std::initializer_list<int> ids) const {
        std::vector<bool> flags;
        for (int id : ids)
            flags.push_back(this->window->GetDlgItem(id)->isEnabled());
        return flags;
    }
    // Chooses the input (a raster of three bands), samples, AOI and output.
    void choosePaths(const std::wstring& aoi, const std::wstring& output) {
        this->choose(Dlg::IDC_INPUT_BROWSE, raster("three.tif", 3));
        this->choose(Dlg::IDC_SAMPLE_BROWSE, L"/data/s.cif");
        this->choose(Dlg::IDC_AOI, aoi);
        this->choose(Dlg::IDC_OUTPUT_BROWSE, output);
        EXPECT_TRUE(this->ui.fileRequests.back().hostAware);
    }
};

using SvmWindowTest = LearnedWindowTest<S, CTesseraUILib::ShowSvmClassifyDlg>;
using BPWindowTest = LearnedWindowTest<B, CTesseraUILib::ShowBPClassifyDlg>;
using ForestWindowTest = LearnedWindowTest<CRandomForestDlg, CTesseraUILib::ShowRandomForestClassifyDlg>;

} // namespace

TEST_F(SvmWindowTest, OpensOnLinearStartsWithTheDefaultsAndTheKernelEnablesItsEdits) {
    auto* kernels = item<XComboBox>(S::IDC_KERNEL);
    ASSERT_EQ(kernels->GetCount(), 4);
    EXPECT_EQ(kernels->GetLBText(0) + kernels->GetLBText(1) + kernels->GetLBText(2) + kernels->GetLBText(3),
              L"LinearPolynomialRBFSigmoid"); // in this order, not sorted
    EXPECT_EQ(kernels->GetCurSel(), 0);
    EXPECT_EQ(texts({S::IDC_COEFFICIENT, S::IDC_GAMMA, S::IDC_DEGREE}), L"1 0.143 2");
    EXPECT_EQ(enabled({S::IDC_COEFFICIENT, S::IDC_GAMMA, S::IDC_DEGREE}), std::vector<bool>(3, false));
    click(S::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{4, 14}}));
    const auto& record = startOne<CSvmClassifyParam>(); // nothing chosen: no check, the empty paths go on
    EXPECT_TRUE(ui.messages.empty() && launches.back().progressShown);
    EXPECT_NE(dynamic_cast<const CSvmClassifyProcessAlg*>(launches.back().algorithm.get()), nullptr);
    EXPECT_EQ(std::tuple(record.m_kernelType, record.m_coef0, record.m_gamma, record.m_degree),
              std::tuple(0, 1.0, 0.143, 2));
    EXPECT_EQ(std::tuple(record.m_algorithmName, record.m_host),
              std::tuple(std::wstring(L"支持向量机分类"), &host));
    EXPECT_EQ(record.m_inputPath + record.m_sampleFilePath + record.m_outputPath, L"");
    // Data type 1; band count and format are left as constructed.
    EXPECT_EQ(std::tuple(record.m_outputDataType, record.m_outputBandCount, record.m_outputFormat),
              std::tuple(1, 0, 0));
    reopen();
    window->SetDlgItemText(S::IDC_COEFFICIENT, L"0.5");
    window->SetDlgItemText(S::IDC_GAMMA, L"0.25");
    window->SetDlgItemText(S::IDC_DEGREE, L"2.5");
    // Coefficient, gamma and degree, by kernel.
    const std::vector<bool> table[4] = {
        {false, false, false}, {true, true, true}, {false, true, false}, {true, true, false}};
    for (int kernel : {1, 2, 3, 0, 2}) {
        item<XComboBox>(S::IDC_KERNEL)->SetCurSel(kernel);
        EXPECT_EQ(enabled({S::IDC_COEFFICIENT, S::IDC_GAMMA, S::IDC_DEGREE}), table[kernel]) << kernel;
        EXPECT_EQ(texts({S::IDC_COEFFICIENT, S::IDC_DEGREE}), L"0.5 2.5"); // texts stay
    }
    click(IDOK); // RBF: the degree edit is disabled, and still its 2.5 is refused
    EXPECT_EQ(std::tuple(ui.messages.size(), ui.messages.back().text, launches.size()),
              std::tuple(1u, NumberMessages::NotAnInteger(), 1u));
    window->SetDlgItemText(S::IDC_DEGREE, L"4");
    choose(S::IDC_INPUT_BROWSE, L"/no/such/image.tif"); // cannot be opened: no message
    choosePaths(L"/data/a.aif", L"/data/run.1/result.tif");
    const auto& chosen = startOne<CSvmClassifyParam>();
    EXPECT_EQ(
        std::tuple(ui.messages.size(), chosen.m_kernelType, chosen.m_coef0, chosen.m_gamma, chosen.m_degree),
        std::tuple(1u, 2, 0.5, 0.25, 4));
    EXPECT_EQ(chosen.m_inputPath, raster("three.tif", 3));
    EXPECT_EQ(chosen.m_sampleFilePath + L" " + chosen.m_aoiPath + L" " + chosen.m_outputPath + L" " +
                  chosen.m_modelFilePath,
              L"/data/s.cif /data/a.aif /data/run.1/result.tif /data/run.1/result.svm");
    EXPECT_TRUE(chosen.m_bandList.empty()); // an opened raster gives this window no band list
    // The model lies beside the output and starts with its name.
    EXPECT_EQ(SvmModelFilePath(L"/data/run.1/result") + L" " + SvmModelFilePath(L"/data/a.b.img") + L" " +
                  SvmModelFilePath(L"result.tif"),
              L"/data/run.1/result.svm /data/a.b.svm ./result.svm");
}

TEST_F(BPWindowTest, GuardRefusalsTheRecordOfTheDefaultsAndTheRangeCheck) {
    const auto rates = [&] { return texts({B::IDC_LEARNING_RATE, B::IDC_MAX_ERROR, B::IDC_MAX_ITERATIONS}); };
    EXPECT_EQ(rates(), L"0.01 0.001 100000");
    click(B::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{4, 15}}));
    // A letter brings back the value of the last read, in "%.3f"; the count takes digits only.
    type(B::IDC_MAX_ERROR, 'a');
    type(B::IDC_LEARNING_RATE, 'a');
    type(B::IDC_MAX_ITERATIONS, 'x');
    EXPECT_EQ(rates(), L"0.010 0.001 100000");
    // A comma passes the guard but is no number: refused before any progress window.
    type(B::IDC_LEARNING_RATE, ',');
    EXPECT_EQ(text(B::IDC_LEARNING_RATE), L"0.010,");
    const QWidgetList before = QApplication::topLevelWidgets();
    click(IDOK);
    EXPECT_EQ(std::tuple(ui.messages.size(), ui.messages.back().text, QApplication::topLevelWidgets().size(),
                         launches.size()),
              std::tuple(1u, NumberMessages::NotANumber(), before.size(), 0u));
    window->SetDlgItemText(B::IDC_LEARNING_RATE, L"0.01");
    choosePaths(L"/data/a.shp", L"/data/out.img");
    const auto& record = startOne<CSuperviseBPNNParam>();
    EXPECT_TRUE(launches.back().progressShown &&
                dynamic_cast<const CBPNNClassify*>(launches.back().algorithm.get()) != nullptr);
    EXPECT_EQ(std::tuple(record.m_learningRate, record.m_maxError, record.m_maxIterations, record.m_host),
              std::tuple(0.01, 0.001, 100000u, &host));
    EXPECT_EQ(record.m_inputPath, raster("three.tif", 3));
    EXPECT_EQ(record.m_sampleFilePath + L" " + record.m_aoiPath + L" " + record.m_outputPath,
              L"/data/s.cif /data/a.shp /data/out.img");
    // One band, the format from the output path, data type 1.
    EXPECT_EQ(std::tuple(record.m_outputBandCount, record.m_outputFormat, record.m_outputDataType),
              std::tuple(1, 20, 1));
    EXPECT_TRUE(record.m_bandList.empty() && record.m_classMeans.empty());
    // The range check includes both ends; the progress window is never shown on a refusal.
    const std::tuple<const wchar_t*, const wchar_t*, bool> cases[] = {
        {L"0.01", L"0", true},     {L"1.0", L"1.0", true},   {L"0.009", L"0.001", false},
        {L"1.5", L"0.001", false}, {L"0.5", L"-0.1", false}, {L"0.5", L"1.01", false}};
    for (const auto& [rate, maxError, accepted] : cases) {
        SCOPED_TRACE(Narrow(rate) + " " + Narrow(maxError));
        if (window.isNull())
            reopen();
        window->SetDlgItemText(B::IDC_LEARNING_RATE, rate);
        window->SetDlgItemText(B::IDC_MAX_ERROR, maxError);
        EXPECT_EQ(text(B::IDC_MAX_ERROR), maxError); // a minus passes the guard
        const size_t messages = ui.messages.size(), started = launches.size();
        if (accepted) {
            startOne<CSuperviseBPNNParam>();
            EXPECT_EQ(ui.messages.size(), messages);
            continue;
        }
        // The progress window is made before the check, never shown, and goes away.
        QPointer<ProgressWindow> made = OpenNewWindow<ProgressWindow>([&] { click(IDOK); });
        EXPECT_EQ(ui.Shown().back(), L"输入的数据有误！ | 提示");
        EXPECT_EQ(std::tuple(ui.messages.size(), launches.size()), std::tuple(messages + 1, started));
        ASSERT_FALSE(window.isNull() || made.isNull());
        EXPECT_FALSE(made->isVisible());
        EXPECT_TRUE(QTest::qWaitFor([&] { return made.isNull(); }, 5000));
    }
    // The guard now brings back the values read at the refused start.
    type(B::IDC_LEARNING_RATE, 'a');
    type(B::IDC_MAX_ERROR, 'a');
    EXPECT_EQ(texts({B::IDC_LEARNING_RATE, B::IDC_MAX_ERROR}), L"0.500 1.010");
}

TEST_F(ForestWindowTest,
       StartsWithTheDeclaredDefaultsRefusesOutOfRangeCountsAndSavesTheForestBesideTheOutput) {
    using F = CRandomForestDlg;
    EXPECT_EQ(std::tuple(window->GetWindowText(), texts({F::IDC_TREES, F::IDC_MAX_DEPTH})),
              std::tuple(std::wstring(L"随机森林分类"), std::wstring(L"100 25")));
    click(F::IDC_HELP_BUTTON);
    EXPECT_EQ(ui.helpTopics, (std::vector<std::pair<int, int>>{{4, 18}}));
    type(F::IDC_TREES, 'x'); // digits only
    window->SetDlgItemText(F::IDC_MAX_DEPTH, L"0");
    click(IDOK);
    EXPECT_EQ(std::tuple(ui.messages.size(), ui.messages.back().text, launches.size()),
              std::tuple(1u, std::wstring(ForestSetup::InputWrong), 0u));
    window->SetDlgItemText(F::IDC_MAX_DEPTH, L"12");
    choosePaths(L"/data/a.aif", L"/data/run.1/forest.tif");
    const auto& record = startOne<CRandomForestParam>();
    EXPECT_NE(dynamic_cast<const CRandomForestClassify*>(launches.back().algorithm.get()), nullptr);
    EXPECT_EQ(std::tuple(record.m_treeCount, record.m_maxDepth, record.m_host), std::tuple(100, 12, &host));
    EXPECT_EQ(record.m_sampleFilePath + L" " + record.m_aoiPath + L" " + record.m_modelFilePath,
              L"/data/s.cif /data/a.aif /data/run.1/forest.rf");
}
