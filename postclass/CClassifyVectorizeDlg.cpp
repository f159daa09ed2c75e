#include "postclass/CClassifyVectorizeDlg.h"

#include "common/filters.h"
#include "common/helptopics.h"
#include "common/messages.h"
#include "engine/classifiedassistantfile.h"
#include "platform/filedialog.h"
#include "platform/uiservices.h"
#include "platform/xcombobox.h"
#include "platform/xlistbox.h"
#include "processing/progress.h"
#include "progressui/processuilib.h"

#include <algorithm>
#include <cwctype>

namespace {
constexpr const wchar_t* kNoClassChosen = L"请选择矢量化的类别！";
} // namespace

namespace VectorizeSetup {

std::wstring TrimLeading(const std::wstring& text) {
    size_t start = 0;
    while (start < text.size() && std::iswspace(static_cast<wint_t>(text[start])))
        ++start;
    return text.substr(start);
}

std::vector<std::wstring> TextsToAdd(const std::vector<std::wstring>& chosen,
                                     const std::vector<std::wstring>& selected) {
    std::vector<std::wstring> present;
    for (const std::wstring& text : chosen)
        present.push_back(TrimLeading(text));
    std::vector<std::wstring> added;
    for (const std::wstring& entry : selected) {
        const std::wstring text = TrimLeading(entry);
        if (std::find(present.begin(), present.end(), text) != present.end())
            continue;
        present.push_back(text);
        added.push_back(text);
    }
    return added;
}

std::map<std::wstring, int> BuildClassMap(const std::vector<std::wstring>& chosen,
                                          const CClassifiedAssistantFile& acf) {
    std::map<std::wstring, int> map;
    for (const std::wstring& entry : chosen) {
        const std::wstring text = TrimLeading(entry);
        for (const ClassRecord* record : acf.GetClassRecords())
            if (record->m_name == text)
                map[text] = record->m_classNumber;
    }
    return map;
}

CRasterPolygonizeParam BuildPolygonizeRecord(const std::wstring& inputPath, const std::wstring& outputPath,
                                             const std::map<std::wstring, int>& classMap, int classCount,
                                             IControlerInterface* host) {
    CRasterPolygonizeParam record;
    record.m_host = host;
    record.m_inputPath = inputPath;
    record.m_outputPath = outputPath;
    if (ShapeFileFlagForPath(outputPath) == 1) // otherwise the record's default stays
        record.m_shapeFile = 1;
    record.m_classMap = classMap;
    record.m_partialClasses = static_cast<int>(classMap.size()) != classCount;
    record.m_connectivity = 0;
    return record;
}

int SortedPosition(const XListBox& list, const std::wstring& text) {
    const QString t = QString::fromStdWString(text);
    int index = 0;
    while (index < list.GetCount() &&
           QString::compare(QString::fromStdWString(list.GetText(index)), t, Qt::CaseInsensitive) <= 0)
        ++index;
    return index;
}

} // namespace VectorizeSetup

CClassifyVectorizeDlg::CClassifyVectorizeDlg(IControlerInterface* host) : XDialog(IDD), m_host(host) {}

bool CClassifyVectorizeDlg::OnInitDialog() {
    OnCommand(IDC_INPUT_BROWSE, [this] { OnBnClickedInputBrowse(); });
    OnCommand(IDC_OUTPUT_BROWSE, [this] { OnBnClickedOutputBrowse(); });
    OnCommand(IDC_ADD_SELECTED, [this] { OnBnClickedAddSelected(); });
    OnCommand(IDC_ADD_ALL, [this] { OnBnClickedAddAll(); });
    OnCommand(IDC_REMOVE_SELECTED, [this] { OnBnClickedRemoveSelected(); });
    OnCommand(IDC_REMOVE_ALL, [this] { OnBnClickedRemoveAll(); });
    OnCommand(IDC_HELP_BUTTON, [this] { OnBnClickedHelp(); });
    CenterWindow();
    return true;
}

void CClassifyVectorizeDlg::AddSorted(XListBox* list, const std::wstring& text) {
    list->InsertString(VectorizeSetup::SortedPosition(*list, text), text);
}

std::vector<std::wstring> CClassifyVectorizeDlg::Texts(const XListBox* list) {
    std::vector<std::wstring> texts;
    for (int i = 0; i < list->GetCount(); ++i)
        texts.push_back(list->GetText(i));
    return texts;
}

void CClassifyVectorizeDlg::OnBnClickedInputBrowse() {
    CERFileDialog dialog(true, DefaultExt::Raster, nullptr, kFileDialogFlags, Filters::RasterInput, nullptr,
                         0, true, m_host);
    if (dialog.DoModal() != IDOK)
        return;
    const std::wstring path = dialog.GetPathName();
    auto* inputs = Item<XComboBox>(IDC_INPUT_LIST);
    inputs->AddString(path);
    inputs->SetCurSel(inputs->GetCount() - 1);

    m_assistantFile.Clear();
    if (!m_assistantFile.ReadClassifiedAssistantFile(PairedAssistantFilePath(path))) {
        XMessageBox(Msg::AssistantFileNotFound);
        return;
    }
    auto* classes = Item<XListBox>(IDC_INPUT_CLASSES);
    classes->ResetContent();
    for (const ClassRecord* record : m_assistantFile.GetClassRecords())
        AddSorted(classes, record->m_name);
}

void CClassifyVectorizeDlg::OnBnClickedOutputBrowse() {
    CERFileDialog dialog(false, DefaultExt::Shape, nullptr, kFileDialogFlags, Filters::ShapeOutput, nullptr,
                         0, true, m_host);
    if (dialog.DoModal() != IDOK)
        return;
    auto* outputs = Item<XComboBox>(IDC_OUTPUT_LIST);
    outputs->AddString(dialog.GetPathName());
    outputs->SetCurSel(outputs->GetCount() - 1);
}

void CClassifyVectorizeDlg::OnBnClickedAddSelected() {
    const auto* inputs = Item<XListBox>(IDC_INPUT_CLASSES);
    auto* chosen = Item<XListBox>(IDC_CHOSEN_CLASSES);
    std::vector<std::wstring> selected;
    for (int index : inputs->GetSelItems())
        selected.push_back(inputs->GetText(index));
    for (const std::wstring& text : VectorizeSetup::TextsToAdd(Texts(chosen), selected))
        AddSorted(chosen, text);
}

void CClassifyVectorizeDlg::OnBnClickedAddAll() {
    const auto* inputs = Item<XListBox>(IDC_INPUT_CLASSES);
    auto* chosen = Item<XListBox>(IDC_CHOSEN_CLASSES);
    chosen->ResetContent();
    for (const std::wstring& text : Texts(inputs))
        AddSorted(chosen, text);
}

void CClassifyVectorizeDlg::OnBnClickedRemoveSelected() {
    auto* chosen = Item<XListBox>(IDC_CHOSEN_CLASSES);
    std::vector<int> selected = chosen->GetSelItems();
    for (auto it = selected.rbegin(); it != selected.rend(); ++it)
        chosen->DeleteString(*it);
}

void CClassifyVectorizeDlg::OnBnClickedRemoveAll() {
    Item<XListBox>(IDC_CHOSEN_CLASSES)->ResetContent();
}

void CClassifyVectorizeDlg::OnBnClickedHelp() {
    HelpTopic::Show(HelpTopic::Vectorize);
}

void CClassifyVectorizeDlg::OnOK() {
    const auto* inputs = Item<XComboBox>(IDC_INPUT_LIST);
    const auto* outputs = Item<XComboBox>(IDC_OUTPUT_LIST);
    const std::wstring inputPath = inputs->GetCurSel() >= 0 ? inputs->GetLBText(inputs->GetCurSel()) : L"";
    const std::wstring outputPath =
        outputs->GetCurSel() >= 0 ? outputs->GetLBText(outputs->GetCurSel()) : L"";

    m_classMap = VectorizeSetup::BuildClassMap(Texts(Item<XListBox>(IDC_CHOSEN_CLASSES)), m_assistantFile);
    const CRasterPolygonizeParam record = VectorizeSetup::BuildPolygonizeRecord(
        inputPath, outputPath, m_classMap, m_assistantFile.GetClassCount(), m_host);
    if (record.m_classMap.empty()) {
        XMessageBox(kNoClassChosen);
        return;
    }

    CBaseProgress* progress = CProcessUILib::CreateProgressDlg();
    if (progress)
        progress->Show(0);
    // The algorithm copies the record and owns itself once started.
    auto* algorithm = new CRasterPolygonize(&record, progress);
    algorithm->ProcessFromNewThread(true);
    EndDialog(IDOK);
}
