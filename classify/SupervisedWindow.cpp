#include "classify/SupervisedWindow.h"

#include "common/filters.h"
#include "platform/filedialog.h"
#include "platform/uiservices.h"
#include "platform/xcombobox.h"
#include "processing/progress.h"
#include "progressui/processuilib.h"

SupervisedWindow::SupervisedWindow(int templateId, IControlerInterface* host, bool hostChoosers,
                                   bool buildsBandList)
    : XDialog(templateId), m_host(host), m_hostChoosers(hostChoosers), m_buildsBandList(buildsBandList) {}

void SupervisedWindow::WireChoosers(const Controls& controls) {
    m_controls = controls;
    OnCommand(controls.inputBrowse, [this] { OnInputBrowse(); });
    OnCommand(controls.sampleBrowse, [this] { OnSampleBrowse(); });
    OnCommand(controls.outputBrowse, [this] { OnOutputBrowse(); });
    OnCommand(controls.aoiButton, [this] { OnAoiBrowse(); });
}

bool SupervisedWindow::choose(bool open, const wchar_t* defaultExtension, unsigned flags,
                              const wchar_t* filter, std::vector<std::wstring>& paths,
                              std::unique_ptr<CFileDialog>& dialog) {
    if (m_hostChoosers)
        dialog = std::make_unique<CERFileDialog>(open, defaultExtension, nullptr, flags, filter, nullptr, 0,
                                                 true, m_host);
    else
        dialog = std::make_unique<CFileDialog>(open, defaultExtension, nullptr, flags, filter);
    if (dialog->DoModal() != IDOK)
        return false;
    paths = dialog->GetPathNames();
    return !paths.empty();
}

void SupervisedWindow::listAndSelect(int listId, const std::wstring& path) {
    // The lists are sorted: the new entry is found by its text.
    if (auto* list = Item<XComboBox>(listId))
        list->SetCurSel(list->AddString(path));
}

void SupervisedWindow::openInput(const std::wstring& path) {
    m_input = std::make_unique<CRasterSource>();
    if (m_input->Open(path, GIS_READONLY, true) != GIS_OK)
        return; // the unopened object stays; nothing is reported
    if (!m_buildsBandList)
        return;
    m_bandList.clear();
    for (int b = 0; b < m_input->GetBandCount(); ++b)
        m_bandList.push_back(b);
}

void SupervisedWindow::OnInputBrowse() {
    std::vector<std::wstring> paths;
    std::unique_ptr<CFileDialog> dialog;
    if (!choose(true, DefaultExt::Raster, kFileDialogFlags, Filters::RasterInput, paths, dialog))
        return;
    m_inputPath = paths.front();
    openInput(m_inputPath);
    listAndSelect(m_controls.inputList, m_inputPath);
}

void SupervisedWindow::OnSampleBrowse() {
    std::vector<std::wstring> paths;
    std::unique_ptr<CFileDialog> dialog;
    if (!choose(true, DefaultExt::Sample, kFileDialogFlags, Filters::SampleChoice, paths, dialog))
        return;
    m_samplePath = paths.front();
    listAndSelect(m_controls.sampleList, m_samplePath);
}

void SupervisedWindow::OnOutputBrowse() {
    std::vector<std::wstring> paths;
    std::unique_ptr<CFileDialog> dialog;
    if (!choose(false, DefaultExt::Raster, kFileDialogFlags, Filters::RasterOutput, paths, dialog))
        return;
    m_outputPath = paths.front();
    listAndSelect(m_controls.outputList, m_outputPath);
    OnOutputChosen(*dialog);
}

void SupervisedWindow::OnAoiBrowse() {
    std::vector<std::wstring> paths;
    std::unique_ptr<CFileDialog> dialog;
    // Cancel keeps the earlier choice; of several files the first is taken.
    if (choose(true, nullptr, kFileDialogMultiFlags, Filters::AreaOfInterest, paths, dialog))
        m_aoiPath = paths.front();
}

bool SupervisedWindow::RequireOpenInput() {
    if (m_input && m_input->IsOpen())
        return true;
    XMessageBox(kSupervisedNoInput);
    return false;
}

CBaseProgress* SupervisedWindow::StartProgress() {
    CBaseProgress* progress = CProcessUILib::CreateProgressDlg();
    if (progress)
        progress->Show(0);
    return progress;
}
