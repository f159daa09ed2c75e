#include "classify/CMinDistanceClassifyDlg.h"

#include "platform/filedialog.h"

std::vector<std::vector<double>> ClassMeansOf(const CClassifySampleFile& file) {
    std::vector<std::vector<double>> means;
    for (const ClassifySample* sample : file.m_samples) {
        std::vector<double> mean(static_cast<size_t>(std::max(0, sample->m_bandCount)), 0.0);
        for (size_t b = 0; b < mean.size() && b < sample->m_mean.size(); ++b)
            mean[b] = sample->m_mean[b];
        means.push_back(std::move(mean));
    }
    return means;
}

CMinDistanceClassifyDlg::CMinDistanceClassifyDlg() : SupervisedWindow(IDD, nullptr, false, true) {}

bool CMinDistanceClassifyDlg::OnInitDialog() {
    WireChoosers({IDC_INPUT_LIST, IDC_INPUT_BROWSE, IDC_SAMPLE_LIST, IDC_SAMPLE_BROWSE, IDC_OUTPUT_LIST,
                  IDC_OUTPUT_BROWSE, IDC_AOI});
    OnCommand(IDC_HELP_BUTTON, [] {}); // this window has no help page
    return true;
}

void CMinDistanceClassifyDlg::OnOutputChosen(const CFileDialog& dialog) {
    // The caption becomes the chosen file's title: its name without the extension.
    SetWindowText(dialog.GetFileTitle());
}

void CMinDistanceClassifyDlg::OnOK() {
    if (!RequireOpenInput())
        return;
    CBaseProgress* progress = StartProgress();
    m_record.m_inputPath = m_inputPath;
    m_record.m_outputPath = m_outputPath;
    m_record.m_aoiPath = m_aoiPath;
    m_record.m_sampleFilePath = m_samplePath;
    // An unreadable file leaves its sample list as it was: its means, if
    // any, go on, and the classifier judges the file itself.
    m_sampleFile.ReadClassifySampleFile(m_samplePath);
    m_record.m_classMeans = ClassMeansOf(m_sampleFile);
    m_record.m_bandList = m_bandList;
    m_record.m_outputBandCount = 1;
    m_record.m_outputFormat = RDF_GTiff;
    m_record.m_outputDataType = 1;
    m_record.m_left = 0;
    m_record.m_top = 0;
    m_record.m_right = m_input->GetWidth();
    m_record.m_bottom = m_input->GetHeight();
    CBaseAlgorithm* algorithm =
        CSuperviseAlgFactory::CreateAlgorithm(SUPERVISE_MINIMUM_DISTANCE, &m_record, progress);
    algorithm->ProcessFromNewThread(true);
    EndDialog(IDOK);
}
