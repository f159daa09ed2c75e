#include "classify/CDlgSupperviseCommon.h"

#include "common/helptopics.h"
#include "processing/signatures.h"

#include <cwchar>

using namespace tessera;

namespace SupervisedCommonSetup {

KindText TextsOfKind(SuperviseClassifyType kind) {
    switch (kind) {
    case SUPERVISE_MINIMUM_DISTANCE:
        return {L"最小距离分类", L"距离阈值:", true, HelpTopic::SuperviseMinimumDistance};
    case SUPERVISE_MAXIMUM_LIKELIHOOD:
        return {L"最大似然分类", L"拒绝类阈值", false, HelpTopic::SuperviseMaximumLikelihood};
    case SUPERVISE_MAHALANOBIS:
        return {L"马氏距离分类", L"拒绝类阈值", false, HelpTopic::SuperviseMahalanobis};
    case SUPERVISE_SPECTRAL_ANGLE:
        return {L"波谱角分类", L"最大角度(弧度)", true, 0};
    case SUPERVISE_PARALLELEPIPED:
        return {L"平行管道分类", L"管道阈值", false, 0};
    }
    return {L"", L"", false, 0};
}

double InitialThreshold(SuperviseClassifyType kind) {
    const DecisionRuleKind* rule = FindDecisionRule(kind);
    return rule ? rule->defaultThreshold : 0.0;
}

std::wstring ThresholdText(double threshold) {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, L"%f", threshold);
    return buffer;
}

} // namespace SupervisedCommonSetup

CDlgSupperviseCommon::CDlgSupperviseCommon(SuperviseClassifyType kind, IControlerInterface* host)
    : SupervisedWindow(IDD, host, true, true), m_kind(kind),
      m_threshold(SupervisedCommonSetup::InitialThreshold(kind)),
      m_thresholdLabel(SupervisedCommonSetup::TextsOfKind(kind).thresholdLabel) {
    BindDouble(IDC_THRESHOLD, m_threshold);
}

bool CDlgSupperviseCommon::OnInitDialog() {
    WireChoosers({IDC_INPUT_LIST, IDC_INPUT_BROWSE, IDC_SAMPLE_LIST, IDC_SAMPLE_BROWSE, IDC_OUTPUT_LIST,
                  IDC_OUTPUT_BROWSE, IDC_AOI});
    OnCommand(IDC_HELP_BUTTON, [this] { OnBnClickedHelp(); });
    const SupervisedCommonSetup::KindText texts = SupervisedCommonSetup::TextsOfKind(m_kind);
    SetWindowText(texts.title);
    SetDlgItemText(IDC_THRESHOLD_LABEL, m_thresholdLabel);
    ShowDlgItem(IDC_THRESHOLD_LABEL, texts.thresholdShown);
    ShowDlgItem(IDC_THRESHOLD, texts.thresholdShown);
    UpdateData(false); // the threshold in its shortest form: "0", "0.5"
    return true;
}

void CDlgSupperviseCommon::OnBnClickedHelp() {
    HelpTopic::Show(SupervisedCommonSetup::TextsOfKind(m_kind).helpTopic);
}

void CDlgSupperviseCommon::OnOK() {
    if (!UpdateData(true)) // a threshold that is not a number: the number warning, focus back
        return;
    if (!RequireOpenInput())
        return;
    CBaseProgress* progress = StartProgress();
    m_record.m_bandList = m_bandList;
    m_record.m_outputDataType = 1;
    m_record.m_outputBandCount = 1;
    m_record.m_inputPath = m_inputPath;
    m_record.m_outputPath = m_outputPath;
    m_record.m_aoiPath = m_aoiPath;
    m_record.m_left = 0;
    m_record.m_top = 0;
    m_record.m_right = m_input->GetWidth();
    m_record.m_bottom = m_input->GetHeight();
    m_record.m_outputFormat = CRasterSource::GetDataFormat(m_outputPath);
    m_record.m_host = m_host;
    m_record.m_sampleFilePath = m_samplePath;
    m_record.m_threshold = m_threshold;
    m_record.m_thresholdText = SupervisedCommonSetup::ThresholdText(m_threshold);
    CBaseAlgorithm* algorithm = CSuperviseAlgFactory::CreateAlgorithm(m_kind, &m_record, progress);
    algorithm->ProcessFromNewThread(true);
    EndDialog(IDOK);
}
