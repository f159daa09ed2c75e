#include "classify/CRandomForestDlg.h"

#include "common/helptopics.h"
#include "common/messages.h"
#include "platform/uiservices.h"
#include "processing/progress.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

using namespace tessera;

namespace ForestSetup {

bool ParametersInRange(std::int32_t trees, std::int32_t depth) {
    const ParamTable<CRandomForestParam>& declared = RandomForestParameters();
    return declared.Info("trees").Check(trees).empty() && declared.Info("max-depth").Check(depth).empty();
}

} // namespace ForestSetup

CRandomForestDlg::CRandomForestDlg(IControlerInterface* host)
    : SupervisedWindow(IDD, host, /*hostChoosers=*/true, /*buildsBandList=*/false) {
    BindInt(IDC_TREES, m_trees);
    BindInt(IDC_MAX_DEPTH, m_maxDepth);
}

bool CRandomForestDlg::OnInitDialog() {
    WireChoosers({IDC_INPUT_LIST, IDC_INPUT_BROWSE, IDC_SAMPLE_LIST, IDC_SAMPLE_BROWSE, IDC_OUTPUT_LIST,
                  IDC_OUTPUT_BROWSE, IDC_AOI});
    OnCommand(IDC_HELP_BUTTON, [] { HelpTopic::Show(HelpTopic::RandomForest); });
    UpdateData(false); // "100", "25"
    // Both counts take digits only as they are typed.
    for (int id : {IDC_TREES, IDC_MAX_DEPTH})
        if (auto* edit = Item<QLineEdit>(id))
            edit->setValidator(
                new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    CenterWindow();
    return true;
}

void CRandomForestDlg::OnOK() {
    if (!UpdateData(true)) // a text that is not a whole number: the warning, focus on it
        return;
    if (!ForestSetup::ParametersInRange(m_trees, m_maxDepth)) {
        XMessageBox(ForestSetup::InputWrong, Caption::Notice, MB_OK);
        return;
    }
    CBaseProgress* progress = StartProgress();
    CRandomForestParam record;
    record.m_algorithmName = ForestSetup::TaskName;
    record.m_outputDataType = 1;
    record.m_host = m_host;
    record.m_treeCount = m_trees;
    record.m_maxDepth = m_maxDepth;
    record.m_inputPath = m_inputPath;
    record.m_outputPath = m_outputPath;
    record.m_aoiPath = m_aoiPath;
    record.m_sampleFilePath = m_samplePath;
    record.m_modelFilePath = ForestModelFilePath(m_outputPath);
    // The algorithm copies the record; it owns itself once started.
    auto* algorithm = new CRandomForestClassify(&record);
    algorithm->SetProgress(progress);
    algorithm->ProcessFromNewThread(true);
    EndDialog(IDOK);
}
