#include "classify/CBPClassifyDlg.h"

#include "common/helptopics.h"
#include "common/messages.h"
#include "common/numericguard.h"
#include "platform/uiservices.h"
#include "processing/bpnnclassify.h"
#include "processing/progress.h"
#include "progressui/processuilib.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

using namespace tessera;

namespace BPSetup {

bool ParametersInRange(double learningRate, double maxError) {
    const ParamTable<CSuperviseBPNNParam>& declared = BPNNParameters();
    return declared.Info("rate").Check(learningRate).empty() &&
           declared.Info("max-error").Check(maxError).empty();
}

} // namespace BPSetup

CBPClassifyDlg::CBPClassifyDlg(IControlerInterface* host)
    : SupervisedWindow(IDD, host, /*hostChoosers=*/true, /*buildsBandList=*/false) {
    BindDouble(IDC_LEARNING_RATE, m_learningRate);
    BindDouble(IDC_MAX_ERROR, m_maxError);
    BindUInt(IDC_MAX_ITERATIONS, m_maxIterations);
}

bool CBPClassifyDlg::OnInitDialog() {
    WireChoosers({IDC_INPUT_LIST, IDC_INPUT_BROWSE, IDC_SAMPLE_LIST, IDC_SAMPLE_BROWSE, IDC_OUTPUT_LIST,
                  IDC_OUTPUT_BROWSE, IDC_AOI});
    OnCommand(IDC_HELP_BUTTON, [this] { OnBnClickedHelp(); });
    UpdateData(false); // "0.01", "0.001", "100000"
    // A character outside the set brings back the value of the last read,
    // in "%.3f" form (0.01 comes back as 0.010).
    NumericEditGuard::Attach(Item<QLineEdit>(IDC_LEARNING_RATE), GuardSets::Decimal, L"%.3f",
                             [this] { return m_learningRate; });
    NumericEditGuard::Attach(Item<QLineEdit>(IDC_MAX_ERROR), GuardSets::Decimal, L"%.3f",
                             [this] { return m_maxError; });
    // The iteration count takes digits only as they are typed.
    if (auto* iterations = Item<QLineEdit>(IDC_MAX_ITERATIONS))
        iterations->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), iterations));
    CenterWindow();
    return true;
}

void CBPClassifyDlg::OnBnClickedHelp() {
    HelpTopic::Show(HelpTopic::BPNetwork);
}

void CBPClassifyDlg::OnOK() {
    if (!UpdateData(true)) // a text that is not a number of its kind: the warning, focus on it
        return;
    // Created before the range check, shown only once the check has passed.
    CBaseProgress* progress = CProcessUILib::CreateProgressDlg();
    CSuperviseBPNNParam record;
    record.m_inputPath = m_inputPath;
    record.m_outputPath = m_outputPath;
    record.m_aoiPath = m_aoiPath;
    record.m_sampleFilePath = m_samplePath;
    record.m_learningRate = m_learningRate;
    record.m_maxError = m_maxError;
    record.m_maxIterations = m_maxIterations;
    record.m_host = m_host;
    record.m_outputBandCount = 1;
    record.m_outputFormat = CRasterSource::GetDataFormat(m_outputPath);
    record.m_outputDataType = 1;
    if (!BPSetup::ParametersInRange(m_learningRate, m_maxError)) {
        XMessageBox(BPSetup::InputWrong, Caption::Notice, MB_OK);
        // No task will report to it: ending it unshown lets it release itself.
        if (progress)
            progress->Finish(false, std::wstring());
        return;
    }
    if (progress)
        progress->Show(0);
    // The algorithm copies the record; it owns itself once started.
    auto* algorithm = new CBPNNClassify(&record);
    algorithm->SetProgress(progress);
    algorithm->ProcessFromNewThread(true);
    EndDialog(IDOK);
}
