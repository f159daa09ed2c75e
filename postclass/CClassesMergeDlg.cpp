#include "postclass/CClassesMergeDlg.h"

#include "common/helptopics.h"
#include "common/messages.h"
#include "engine/classifiedassistantfile.h"
#include "platform/uiservices.h"
#include "platform/xcombobox.h"
#include "platform/xlistbox.h"
#include "postclass/postclasssteps.h"

using namespace PostClassSteps;

CClassesMergeDlg::CClassesMergeDlg(IControlerInterface* host) : XDialog(IDD), m_host(host) {}

bool CClassesMergeDlg::OnInitDialog() {
    OnCommand(IDC_INPUT_BROWSE, [this] { OnBnClickedInputBrowse(); });
    OnCommand(IDC_OUTPUT_BROWSE, [this] { OnBnClickedOutputBrowse(); });
    OnCommand(IDC_ADD_MERGE, [this] { OnBnClickedAddMerge(); });
    OnCommand(IDC_HELP_BUTTON, [this] { OnBnClickedHelp(); });
    if (auto* list = Item<XListBox>(IDC_INPUT_CLASSES))
        connect(list, &QListWidget::itemSelectionChanged, this, [this] { OnSelChangeInputClasses(); });
    if (auto* list = Item<XListBox>(IDC_OUTPUT_CLASSES))
        connect(list, &QListWidget::itemSelectionChanged, this, [this] { OnSelChangeOutputClasses(); });
    SetDlgItemText(IDC_INPUT_CLASS_NAME, L"");
    SetDlgItemText(IDC_OUTPUT_CLASS_NAME, L"");
    return true;
}

void CClassesMergeDlg::OnBnClickedInputBrowse() {
    const auto chosen = ChooseInputImage({true, m_host});
    if (!chosen)
        return;
    if (!ProbeRaster(chosen->path, m_raster, m_record)) {
        XMessageBox(Msg::ImageOpenFailed, Caption::Error);
        return;
    }
    AddAndSelect(Item<XComboBox>(IDC_INPUT_LIST), chosen->path);
    m_record.m_inputPath = chosen->path;
    if (!AssistantFileExists(chosen->path)) {
        XMessageBox(Msg::AssistantFileNotFoundBang, Caption::Warning);
        return;
    }
    auto* inputs = Item<XListBox>(IDC_INPUT_CLASSES);
    auto* outputs = Item<XListBox>(IDC_OUTPUT_CLASSES);
    inputs->ResetContent();
    outputs->ResetContent();
    if (!ReadAssistantFileOf(chosen->path, m_assistant)) {
        XMessageBox(Msg::AssistantFileReadFailed, Caption::Notice);
        return;
    }
    for (const ClassRecord* record : m_assistant.GetClassRecords()) {
        inputs->AddString(record->m_name);
        outputs->AddString(record->m_name);
        m_record.m_classMap[record->m_name] = record->m_classNumber;
    }
    m_record.m_assistantFilePath = PairedAssistantFilePath(chosen->path);
}

void CClassesMergeDlg::OnBnClickedOutputBrowse() {
    const auto chosen = ChooseOutputImage({true, m_host});
    if (!chosen)
        return;
    AddAndSelect(Item<XComboBox>(IDC_OUTPUT_LIST), chosen->path);
    m_record.m_outputPath = chosen->path;
    m_outputWord = OutputWordForSaveType(chosen->saveType);
}

void CClassesMergeDlg::OnSelChangeInputClasses() {
    auto* list = Item<XListBox>(IDC_INPUT_CLASSES);
    const int selected = list->GetCurSel();
    if (selected >= 0)
        SetDlgItemText(IDC_INPUT_CLASS_NAME, list->GetText(selected));
}

void CClassesMergeDlg::OnSelChangeOutputClasses() {
    auto* list = Item<XListBox>(IDC_OUTPUT_CLASSES);
    const int selected = list->GetCurSel();
    if (selected >= 0)
        SetDlgItemText(IDC_OUTPUT_CLASS_NAME, list->GetText(selected));
}

void CClassesMergeDlg::OnBnClickedAddMerge() {
    auto* inputs = Item<XListBox>(IDC_INPUT_CLASSES);
    const int input = inputs->GetCurSel();
    if (input < 0 || Item<XListBox>(IDC_OUTPUT_CLASSES)->GetCurSel() < 0)
        return;
    const std::wstring entry =
        GetDlgItemText(IDC_INPUT_CLASS_NAME) + L"+" + GetDlgItemText(IDC_OUTPUT_CLASS_NAME);
    Item<XListBox>(IDC_MERGE_LIST)->AddString(entry);
    // The name field keeps the removed name until another class is selected.
    const QSignalBlocker keepName(inputs);
    inputs->DeleteString(input);
    inputs->clearSelection();
}

void CClassesMergeDlg::OnBnClickedHelp() {
    HelpTopic::Show(HelpTopic::ClassMerge);
}

void CClassesMergeDlg::OnOK() {
    m_record.m_outputFormat = FormatCodeForWord(m_outputWord);
    m_record.m_host = m_host;
    auto* rules = Item<XListBox>(IDC_MERGE_LIST);
    for (int i = 0; i < rules->GetCount(); ++i)
        m_record.m_mergeEntries.push_back(rules->GetText(i));
    Launch<CClassifyMerge>(m_record, true);
    EndDialog(IDOK);
}
