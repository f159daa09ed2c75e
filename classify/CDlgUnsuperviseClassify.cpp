#include "classify/CDlgUnsuperviseClassify.h"
#include "base/commonfun.h"
#include "base/textnumber.h"

#include "common/filters.h"
#include "common/helptopics.h"
#include "engine/enginetypes.h"
#include "platform/filedialog.h"
#include "platform/uiservices.h"
#include "platform/xcombobox.h"
#include "processing/progress.h"
#include "progressui/processuilib.h"

#include <QLineEdit>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cwchar>
#include <limits>

#include <locale.h>

using namespace tessera;

namespace UnsupervisedSetup {

// ISODATA declares every field of the window; K-Means the first three alike.
std::wstring InitialText(const char* parameter) {
    return CommonFun::M2U(ISODATAParameters().Info(parameter).DefaultText());
}

std::wstring ExtensionWordForSaveType(int saveType) {
    switch (saveType) {
    case 1: // TIFF Files (*.tif, *.tiff)
    case 2: // GeoTiff (*.tif)
        return L"tif";
    case 3: // IMAGINE Image (*.img)
        return L"img";
    default: // PCI (*.pix), all files
        return L"";
    }
}

int FormatCodeForWord(const std::wstring& word) {
    if (word == L"tif")
        return RDF_GTiff;
    if (word == L"img")
        return RDF_HFA;
    return RDF_Unknown;
}

namespace {

// Single precision, as the minimum class distance is held; beyond float's
// range the value becomes an infinity rather than undefined.
double throughFloat(double value) {
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX)
        return std::copysign(std::numeric_limits<double>::infinity(), value);
    return static_cast<double>(static_cast<float>(value));
}

void fillBase(AlgorithmParam& record, const wchar_t* name, const Choice& choice) {
    record.m_algorithmName = name;
    record.m_inputPath = choice.inputPath;
    record.m_outputPath = choice.outputPath;
    record.m_aoiPath = choice.aoiPath;
    record.m_outputDataType = 1;
    record.m_outputFormat = FormatCodeForWord(choice.outputWord);
    record.m_host = choice.host;
}

} // namespace

KMeanClassifyParam BuildKMeanRecord(const Choice& choice, const FieldTexts& texts) {
    KMeanClassifyParam record;
    fillBase(record, KMeansName, choice);
    record.m_outputBandCount = 1;
    record.m_maxIterations = TextToInt(texts.iterations);
    record.m_changeThreshold = TextToDouble(texts.threshold);
    record.m_classCount = TextToInt(texts.classCount);
    return record;
}

ISODATAClassifyParam BuildISODATARecord(const Choice& choice, const FieldTexts& texts) {
    ISODATAClassifyParam record;
    fillBase(record, ISODATAName, choice);
    record.m_splitStdDev = TextToDouble(texts.stdDev);
    record.m_maxIterations = TextToInt(texts.iterations);
    record.m_maxMergePairs = TextToInt(texts.maxMergePairs);
    record.m_minClassDistance = throughFloat(TextToDouble(texts.minClassDistance));
    record.m_minPixelCount = TextToInt(texts.minPixelCount);
    record.m_changeThreshold = TextToDouble(texts.threshold);
    record.m_classCount = TextToInt(texts.classCount);
    return record;
}

} // namespace UnsupervisedSetup

namespace {
constexpr const wchar_t* kNoInput = L"请选择输入文件路径！";
constexpr const wchar_t* kNoOutput = L"请选择输出文件路径！";
} // namespace

CDlgUnsuperviseClassify::CDlgUnsuperviseClassify(IControlerInterface* host) : XDialog(IDD), m_host(host) {}

bool CDlgUnsuperviseClassify::OnInitDialog() {
    OnCommand(IDC_INPUT_BROWSE, [this] { OnBnClickedInputBrowse(); });
    OnCommand(IDC_METHOD_KMEANS, [this] { OnBnClickedKMeans(); });
    OnCommand(IDC_METHOD_ISODATA, [this] { OnBnClickedISODATA(); });
    OnCommand(IDC_OUTPUT_BROWSE, [this] { OnBnClickedOutputBrowse(); });
    OnCommand(IDC_AOI, [this] { OnBnClickedAoi(); });
    OnCommand(IDC_HELP_BUTTON, [this] { OnBnClickedHelp(); });

    m_method = MethodKMeans;
    CheckDlgButton(IDC_METHOD_KMEANS, true);
    SetISODATAFieldsReadOnly(true);
    CenterWindow();
    return true;
}

void CDlgUnsuperviseClassify::OnBnClickedInputBrowse() {
    CFileDialog dialog(true, DefaultExt::Raster, nullptr, kFileDialogFlags, Filters::RasterInput);
    if (dialog.DoModal() != IDOK)
        return;
    m_inputPath = dialog.GetPathName();
    if (auto* list = Item<XComboBox>(IDC_INPUT_LIST))
        list->SetCurSel(list->AddString(m_inputPath));
}

void CDlgUnsuperviseClassify::OnBnClickedKMeans() {
    m_method = MethodKMeans;
    SetISODATAFieldsReadOnly(true);
}

void CDlgUnsuperviseClassify::OnBnClickedISODATA() {
    m_method = MethodISODATA;
    SetISODATAFieldsReadOnly(false);
}

void CDlgUnsuperviseClassify::SetISODATAFieldsReadOnly(bool readOnly) {
    for (int id : {IDC_MIN_DISTANCE, IDC_MERGE_PAIRS, IDC_MIN_PIXELS, IDC_STD_DEV})
        if (auto* edit = Item<QLineEdit>(id))
            edit->setReadOnly(readOnly);
}

void CDlgUnsuperviseClassify::OnBnClickedOutputBrowse() {
    CFileDialog dialog(false, DefaultExt::Raster, nullptr, kFileDialogFlags, Filters::RasterOutput);
    if (dialog.DoModal() != IDOK)
        return;
    // The path stays as chosen: the save type sets the format, not the name.
    m_outputPath = dialog.GetPathName();
    SetDlgItemText(IDC_OUTPUT_PATH, m_outputPath);
    m_outputWord = UnsupervisedSetup::ExtensionWordForSaveType(dialog.GetFilterIndex());
}

void CDlgUnsuperviseClassify::OnBnClickedAoi() {
    CFileDialog dialog(true, DefaultExt::AoiUnsupervised, nullptr, kFileDialogFlags, Filters::AreaOfInterest);
    if (dialog.DoModal() != IDOK) {
        m_aoiPath.clear(); // cancel means the whole image
        return;
    }
    m_aoiPath = dialog.GetPathName();
}

void CDlgUnsuperviseClassify::OnBnClickedHelp() {
    HelpTopic::Show(HelpTopic::Unsupervised);
}

UnsupervisedSetup::FieldTexts CDlgUnsuperviseClassify::ReadFieldTexts() const {
    UnsupervisedSetup::FieldTexts texts;
    texts.classCount = GetDlgItemText(IDC_CLASS_COUNT);
    texts.threshold = GetDlgItemText(IDC_THRESHOLD);
    texts.iterations = GetDlgItemText(IDC_ITERATIONS);
    texts.minClassDistance = GetDlgItemText(IDC_MIN_DISTANCE);
    texts.maxMergePairs = GetDlgItemText(IDC_MERGE_PAIRS);
    texts.minPixelCount = GetDlgItemText(IDC_MIN_PIXELS);
    texts.stdDev = GetDlgItemText(IDC_STD_DEV);
    return texts;
}

void CDlgUnsuperviseClassify::OnOK() {
    if (m_inputPath.empty()) {
        XMessageBox(kNoInput);
        return;
    }
    if (m_outputPath.empty()) {
        XMessageBox(kNoOutput);
        return;
    }

    CBaseProgress* progress = CProcessUILib::CreateProgressDlg();
    if (progress)
        progress->Show(0);

    const UnsupervisedSetup::Choice choice{m_inputPath, m_outputPath, m_outputWord, m_aoiPath, m_host};
    const UnsupervisedSetup::FieldTexts texts = ReadFieldTexts();
    // The algorithm copies the record and owns itself once started.
    CBaseAlgorithm* algorithm = nullptr;
    if (m_method == MethodKMeans) {
        const KMeanClassifyParam record = UnsupervisedSetup::BuildKMeanRecord(choice, texts);
        algorithm = new CKMeanClassify(&record);
    } else {
        const ISODATAClassifyParam record = UnsupervisedSetup::BuildISODATARecord(choice, texts);
        algorithm = new CISODATAClassify(&record);
    }
    algorithm->SetProgress(progress);
    algorithm->ProcessFromNewThread(true);

    EndDialog(IDOK);
}
