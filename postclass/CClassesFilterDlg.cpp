#include "postclass/CClassesFilterDlg.h"
#include "base/textnumber.h"

#include "classify/CDlgUnsuperviseClassify.h"
#include "common/helptopics.h"
#include "common/messages.h"
#include "common/numericguard.h"
#include "engine/classifiedassistantfile.h"
#include "platform/uiservices.h"
#include "platform/xcombobox.h"
#include "platform/xlistbox.h"
#include "postclass/postclasssteps.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace tessera;

using namespace PostClassSteps;

namespace {
constexpr const wchar_t* kNoClasses = L"请选择需要过滤的类别！";
constexpr const wchar_t* kNoOutput = L"请选择输出路径！";
} // namespace

std::vector<std::wstring> FilterClassesToAdd(const std::vector<std::wstring>& selected,
                                             const std::vector<std::wstring>& listed) {
    std::vector<std::wstring> present;
    for (const std::wstring& text : listed)
        present.push_back(WithoutLeadingBlanks(text));
    std::vector<std::wstring> added;
    for (const std::wstring& text : selected) {
        const std::wstring name = WithoutLeadingBlanks(text);
        if (std::find(present.begin(), present.end(), name) == present.end()) {
            present.push_back(name);
            added.push_back(name);
        }
    }
    return added;
}

int SpinValue(const std::wstring& text, int delta) {
    const long long value = static_cast<long long>(TextToInt(text)) + delta;
    return static_cast<int>(
        std::clamp<long long>(value, CClassesFilterDlg::kSpinMin, CClassesFilterDlg::kSpinMax));
}

CClassesFilterDlg::CClassesFilterDlg() : XDialog(IDD) {}

bool CClassesFilterDlg::OnInitDialog() {
    OnCommand(IDC_INPUT_BROWSE, [this] { OnBnClickedInputBrowse(); });
    OnCommand(IDC_OUTPUT_BROWSE, [this] { OnBnClickedOutputBrowse(); });
    OnCommand(IDC_ADD_ALL, [this] { OnBnClickedAddAll(); });
    OnCommand(IDC_ADD, [this] { OnBnClickedAdd(); });
    OnCommand(IDC_REMOVE, [this] { OnBnClickedRemove(); });
    OnCommand(IDC_REMOVE_ALL, [this] { OnBnClickedRemoveAll(); });
    OnCommand(IDC_HELP_BUTTON, [this] { OnBnClickedHelp(); });
    OnCommand(IDC_SPIN_UP, [this] { OnSpin(1); });
    OnCommand(IDC_SPIN_DOWN, [this] { OnSpin(-1); });

    if (auto* neighbourhood = Item<XComboBox>(IDC_NEIGHBOURHOOD)) {
        neighbourhood->AddString(L"4");
        neighbourhood->AddString(L"8");
        neighbourhood->SetCurSel(0);
    }
    BindUInt(IDC_THRESHOLD, m_threshold);
    UpdateData(false);
    if (auto* edit = Item<QLineEdit>(IDC_THRESHOLD)) {
        NumericEditGuard::Attach(edit, GuardSets::Digits, L"%d",
                                 [this] { return static_cast<double>(m_threshold); });
        edit->installEventFilter(this); // the arrow keys step like the spin button
    }
    // The spin button: two halves in the frame beside the edit.
    if (QWidget* frame = GetDlgItem(IDC_SPIN)) {
        auto* layout = new QVBoxLayout(frame);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        for (const auto& [id, arrow] :
             {std::pair{IDC_SPIN_UP, Qt::UpArrow}, std::pair{IDC_SPIN_DOWN, Qt::DownArrow}}) {
            auto* half = new QToolButton(frame);
            half->setArrowType(arrow);
            half->setAutoRepeat(true);
            half->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            half->setObjectName(id == IDC_SPIN_UP ? QStringLiteral("spinUp") : QStringLiteral("spinDown"));
            const int command = id;
            connect(half, &QToolButton::clicked, this, [this, command] { SendCommand(command); });
            layout->addWidget(half);
        }
    }
    ApplyListColours(*this);
    CenterWindow();
    return true;
}

bool CClassesFilterDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == GetDlgItem(IDC_THRESHOLD)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            OnSpin(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return XDialog::eventFilter(watched, event);
}

void CClassesFilterDlg::OnSpin(int delta) {
    SetDlgItemText(IDC_THRESHOLD, std::to_wstring(SpinValue(GetDlgItemText(IDC_THRESHOLD), delta)));
}

void CClassesFilterDlg::OnBnClickedInputBrowse() {
    const auto chosen = ChooseInputImage({});
    if (!chosen)
        return;
    if (!ProbeRaster(chosen->path, m_raster, m_record))
        return; // this window shows no message here
    AddAndSelect(Item<XComboBox>(IDC_INPUT_LIST), chosen->path);
    m_record.m_inputPath = chosen->path;
    m_record.m_assistantFilePath = PairedAssistantFilePath(chosen->path); // recorded even when missing
    if (!AssistantFileExists(chosen->path)) {
        XMessageBox(Msg::AssistantResultFileNotFound, Caption::Notice);
        return;
    }
    if (!ReadAssistantFileOf(chosen->path, m_assistant)) {
        XMessageBox(Msg::AssistantFileReadFailed, Caption::Notice);
        return;
    }
    auto* inputs = Item<XListBox>(IDC_INPUT_CLASSES);
    inputs->ResetContent();
    for (const ClassRecord* record : m_assistant.GetClassRecords())
        inputs->AddString(record->m_name);
}

void CClassesFilterDlg::OnBnClickedOutputBrowse() {
    const auto chosen = ChooseOutputImage({});
    if (!chosen)
        return;
    AddAndSelect(Item<XComboBox>(IDC_OUTPUT_LIST), chosen->path);
    m_record.m_outputPath = chosen->path;
    m_outputWord = OutputWordForSaveType(chosen->saveType);
}

void CClassesFilterDlg::OnBnClickedAddAll() {
    auto* inputs = Item<XListBox>(IDC_INPUT_CLASSES);
    auto* filter = Item<XListBox>(IDC_FILTER_CLASSES);
    filter->ResetContent();
    for (int i = 0; i < inputs->GetCount(); ++i)
        filter->AddString(inputs->GetText(i));
}

void CClassesFilterDlg::OnBnClickedAdd() {
    auto* inputs = Item<XListBox>(IDC_INPUT_CLASSES);
    auto* filter = Item<XListBox>(IDC_FILTER_CLASSES);
    std::vector<std::wstring> selected, listed;
    for (int i : inputs->GetSelItems())
        selected.push_back(inputs->GetText(i));
    for (int i = 0; i < filter->GetCount(); ++i)
        listed.push_back(filter->GetText(i));
    for (const std::wstring& text : FilterClassesToAdd(selected, listed))
        filter->AddString(text);
}

void CClassesFilterDlg::OnBnClickedRemove() {
    auto* filter = Item<XListBox>(IDC_FILTER_CLASSES);
    std::vector<int> selected = filter->GetSelItems();
    for (auto it = selected.rbegin(); it != selected.rend(); ++it)
        filter->DeleteString(*it);
}

void CClassesFilterDlg::OnBnClickedRemoveAll() {
    Item<XListBox>(IDC_FILTER_CLASSES)->ResetContent();
}

void CClassesFilterDlg::OnBnClickedHelp() {
    HelpTopic::Show(HelpTopic::ClassFilter);
}

void CClassesFilterDlg::OnOK() {
    // A refused threshold text has shown the toolkit's prompt; the last
    // accepted value is used and the start goes on.
    UpdateData(true);
    auto* filter = Item<XListBox>(IDC_FILTER_CLASSES);
    const int count = filter->GetCount();
    m_record.m_filterClassCount = count;
    if (count == 0) {
        XMessageBox(kNoClasses, Caption::Notice);
        return;
    }
    m_record.m_classMap.clear();
    const int classCount = m_assistant.GetClassCount();
    for (int i = 0; i < count; ++i) {
        const std::wstring name = WithoutLeadingBlanks(filter->GetText(i));
        for (int k = 0; k < classCount; ++k)
            if (const ClassRecord* record = m_assistant.GetClassRecord(k); record && record->m_name == name)
                m_record.m_classMap[name] = record->m_classNumber;
    }
    if (m_record.m_outputPath.empty()) {
        XMessageBox(kNoOutput, Caption::Notice);
        return;
    }
    const auto* neighbourhood = Item<XComboBox>(IDC_NEIGHBOURHOOD);
    const int neighbours = neighbourhood && neighbourhood->GetCurSel() == 0 ? 0 : 1;

    m_record.m_outputFormat = FormatCodeForWord(m_outputWord);
    m_record.m_classCount = classCount;
    m_record.m_threshold = static_cast<int>(m_threshold); // bit for bit
    m_record.m_neighbourhood = neighbours;
    m_record.m_outputDataType = PDT_Byte;
    for (const ClassRecord* record : m_assistant.GetClassRecords())
        m_record.m_classNames.push_back(record->m_name);
    Launch<CClassifiedSieve>(m_record, false);
    EndDialog(IDOK);
}
