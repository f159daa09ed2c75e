#include "postclass/CClassesClumpDlg.h"

#include "common/helptopics.h"
#include "common/messages.h"
#include "engine/classifiedassistantfile.h"
#include "platform/uiservices.h"
#include "platform/xcombobox.h"
#include "platform/xlistbox.h"
#include "postclass/postclasssteps.h"

using namespace PostClassSteps;

namespace {
constexpr const wchar_t* kNoOutput = L"请选择输出影像文件路径！";
constexpr const wchar_t* kNoClasses = L"提示：请选中需要过滤的类别！";
} // namespace

StructuringElement ElementForMode(int mode, const std::array<int, 9>& boxes) {
    switch (mode) {
    case CClassesClumpDlg::ModeHorizontal:
        return {{1.0, 1.0, 1.0}, 1, 3, 1, 0};
    case CClassesClumpDlg::ModeVertical:
        return {{1.0, 1.0, 1.0}, 3, 1, 0, 1};
    default: {
        StructuringElement element{{}, 3, 3, 1, 1};
        for (int box : boxes)
            element.values.push_back(box ? 1.0 : 0.0);
        return element;
    }
    }
}

CClassesClumpDlg::CClassesClumpDlg() : XDialog(IDD) {}

bool CClassesClumpDlg::OnInitDialog() {
    OnCommand(IDC_INPUT_BROWSE, [this] { OnBnClickedInputBrowse(); });
    OnCommand(IDC_OUTPUT_BROWSE, [this] { OnBnClickedOutputBrowse(); });
    OnCommand(IDC_SELECT_ALL, [this] { OnBnClickedSelectAll(); });
    OnCommand(IDC_SELECT_NONE, [this] { OnBnClickedSelectNone(); });
    OnCommand(IDC_MODE_HORIZONTAL, [this] { OnBnClickedMode(ModeHorizontal); });
    OnCommand(IDC_MODE_VERTICAL, [this] { OnBnClickedMode(ModeVertical); });
    OnCommand(IDC_MODE_CUSTOM, [this] { OnBnClickedMode(ModeCustom); });
    OnCommand(IDC_HELP_BUTTON, [this] { OnBnClickedHelp(); });
    if (auto* list = Item<XListBox>(IDC_CLASSES))
        connect(list, &QListWidget::itemSelectionChanged, this, [this] { OnSelChangeClasses(); });

    // The mode and the boxes as the window state holds them.
    CheckDlgButton(IDC_MODE_HORIZONTAL + m_mode, true);
    for (int i = 0; i < 9; ++i)
        CheckDlgButton(IDC_BOX_FIRST + i, m_boxes[i] != 0);
    EnableBoxes(m_mode == ModeCustom);
    ApplyListColours(*this);
    CenterWindow();
    return true;
}

void CClassesClumpDlg::EnableBoxes(bool enabled) {
    for (int i = 0; i < 9; ++i)
        EnableDlgItem(IDC_BOX_FIRST + i, enabled);
}

void CClassesClumpDlg::OnBnClickedInputBrowse() {
    const auto chosen = ChooseInputImage({});
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
    if (!ReadAssistantFileOf(chosen->path, m_assistant)) {
        XMessageBox(Msg::AssistantFileReadFailed, Caption::Notice);
        return;
    }
    auto* list = Item<XListBox>(IDC_CLASSES);
    {
        // Emptying the list clears its selection, not the record's class map.
        const QSignalBlocker keepMap(list);
        list->ResetContent();
    }
    m_classCount = m_assistant.GetClassCount();
    for (const ClassRecord* record : m_assistant.GetClassRecords())
        list->AddString(record->m_name);
}

void CClassesClumpDlg::OnBnClickedOutputBrowse() {
    const auto chosen = ChooseOutputImage({});
    if (!chosen)
        return;
    AddAndSelect(Item<XComboBox>(IDC_OUTPUT_LIST), chosen->path);
    m_outputPath = chosen->path;
    m_outputWord = OutputWordForSaveType(chosen->saveType);
}

void CClassesClumpDlg::OnBnClickedSelectAll() {
    Item<XListBox>(IDC_CLASSES)->SetSel(-1, true);
    OnSelChangeClasses();
}

void CClassesClumpDlg::OnBnClickedSelectNone() {
    Item<XListBox>(IDC_CLASSES)->SetSel(-1, false);
    m_record.m_classMap.clear();
}

void CClassesClumpDlg::OnSelChangeClasses() {
    m_record.m_classMap.clear();
    auto* list = Item<XListBox>(IDC_CLASSES);
    for (int i : list->GetSelItems()) {
        const std::wstring name = WithoutLeadingBlanks(list->GetText(i));
        for (const ClassRecord* record : m_assistant.GetClassRecords())
            if (record->m_name == name)
                m_record.m_classMap[name] = record->m_classNumber;
    }
}

void CClassesClumpDlg::OnBnClickedMode(int mode) {
    m_mode = mode;
    EnableBoxes(mode == ModeCustom); // the boxes keep what they show
}

void CClassesClumpDlg::OnBnClickedHelp() {
    HelpTopic::Show(HelpTopic::ClassClump);
}

void CClassesClumpDlg::OnOK() {
    if (m_outputPath.empty()) {
        XMessageBox(kNoOutput);
        return;
    }
    auto* list = Item<XListBox>(IDC_CLASSES);
    const int selected = list->GetSelCount();
    if (selected == 0) {
        XMessageBox(kNoClasses);
        return;
    }
    for (int mode : {ModeHorizontal, ModeVertical, ModeCustom})
        if (IsDlgButtonChecked(IDC_MODE_HORIZONTAL + mode))
            m_mode = mode;
    for (int i = 0; i < 9; ++i)
        m_boxes[i] = IsDlgButtonChecked(IDC_BOX_FIRST + i) ? 1 : 0;

    m_record.m_outputPath = m_outputPath;
    m_record.m_outputFormat = FormatCodeForWord(m_outputWord);
    m_record.m_host = nullptr;
    const StructuringElement element = ElementForMode(m_mode, m_boxes);
    m_record.m_elementValues = element.values;
    m_record.m_elementRows = element.rows;
    m_record.m_elementColumns = element.columns;
    m_record.m_anchorColumn = element.anchorColumn;
    m_record.m_anchorRow = element.anchorRow;
    m_record.m_selectedClassCount = selected;
    m_record.m_pixelSizeX = m_assistant.GetPixelSizeX();
    m_record.m_pixelSizeY = m_assistant.GetPixelSizeY();
    m_record.m_classCount = m_classCount;
    for (const ClassRecord* record : m_assistant.GetClassRecords()) {
        m_record.m_classNames.push_back(record->m_name);
        m_record.m_classSecondValues.push_back(record->m_reserved);
        m_record.m_classPixelCounts.push_back(record->m_pixelCount);
    }
    Launch<ClassifyClump>(m_record, false);
    EndDialog(IDOK);
}
