#include "classify/CSvmClassifyDlg.h"

#include "base/commonfun.h"
#include "common/helptopics.h"
#include "platform/xcombobox.h"
#include "processing/svmclassify.h"

namespace SvmSetup {

KernelEdits EditsOfKernel(int kernel) {
    switch (kernel) {
    case SVM_KERNEL_POLYNOMIAL:
        return {true, true, true};
    case SVM_KERNEL_RBF:
        return {false, true, false};
    case SVM_KERNEL_SIGMOID:
        return {true, true, false};
    default:
        return {false, false, false}; // linear
    }
}

} // namespace SvmSetup

CSvmClassifyDlg::CSvmClassifyDlg(IControlerInterface* host)
    : SupervisedWindow(IDD, host, /*hostChoosers=*/true, /*buildsBandList=*/false) {
    // Read at OK whether their edits are enabled or not.
    BindDouble(IDC_COEFFICIENT, m_coefficient);
    BindDouble(IDC_GAMMA, m_gamma);
    BindInt(IDC_DEGREE, m_degree);
}

bool CSvmClassifyDlg::OnInitDialog() {
    WireChoosers({IDC_INPUT_LIST, IDC_INPUT_BROWSE, IDC_SAMPLE_LIST, IDC_SAMPLE_BROWSE, IDC_OUTPUT_LIST,
                  IDC_OUTPUT_BROWSE, IDC_AOI});
    OnCommand(IDC_HELP_BUTTON, [this] { OnBnClickedHelp(); });
    if (auto* kernels = Item<XComboBox>(IDC_KERNEL)) {
        for (const wchar_t* name : SvmSetup::KernelNames)
            kernels->AddString(name);
        kernels->SetCurSel(SVM_KERNEL_LINEAR);
        connect(kernels, &QComboBox::currentIndexChanged, this, [this] { OnKernelChanged(); });
    }
    OnKernelChanged();
    UpdateData(false); // "1", "0.143", "2"
    CenterWindow();
    return true;
}

int CSvmClassifyDlg::SelectedKernel() const {
    const auto* kernels = Item<XComboBox>(IDC_KERNEL);
    return kernels ? kernels->GetCurSel() : SVM_KERNEL_LINEAR;
}

void CSvmClassifyDlg::OnKernelChanged() {
    // Only the enabled states change; the texts stay as typed.
    const SvmSetup::KernelEdits edits = SvmSetup::EditsOfKernel(SelectedKernel());
    EnableDlgItem(IDC_COEFFICIENT, edits.coefficient);
    EnableDlgItem(IDC_GAMMA, edits.gamma);
    EnableDlgItem(IDC_DEGREE, edits.degree);
}

void CSvmClassifyDlg::OnBnClickedHelp() {
    HelpTopic::Show(HelpTopic::Svm);
}

void CSvmClassifyDlg::OnOK() {
    if (!UpdateData(true)) // a parameter that is not a number: the warning, focus on it
        return;
    CBaseProgress* progress = StartProgress();
    CSvmClassifyParam record;
    record.m_algorithmName = SvmSetup::TaskName;
    record.m_outputDataType = 1;
    record.m_kernelType = SelectedKernel();
    record.m_host = m_host;
    record.m_coef0 = m_coefficient;
    record.m_gamma = m_gamma;
    record.m_degree = m_degree;
    record.m_inputPath = m_inputPath;
    record.m_outputPath = m_outputPath;
    record.m_aoiPath = m_aoiPath;
    record.m_sampleFilePath = m_samplePath;
    record.m_modelFilePath = SvmModelFilePath(m_outputPath);
    // The algorithm copies the record; it owns itself once started.
    auto* algorithm = new CSvmClassifyProcessAlg(&record);
    algorithm->SetProgress(progress);
    algorithm->ProcessFromNewThread(true);
    EndDialog(IDOK);
}
