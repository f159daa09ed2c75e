#include "postclass/CClassesStaticsDlg.h"

#include "common/filters.h"
#include "common/helptopics.h"
#include "common/messages.h"
#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "platform/filedialog.h"
#include "platform/gridctrl.h"
#include "platform/uiservices.h"

using namespace tessera;

namespace {
constexpr const wchar_t* kCloseQuestion = L"是否关闭当前统计信息文件？";
constexpr const wchar_t* kHeader[CClassesStaticsDlg::kColumnCount] = {L"类号",       L"类名", L"像素数",
                                                                      L"所占百分比", L"面积", L"单位"};
} // namespace

std::vector<StatisticsRowTexts> ClassStatisticsRows(const CClassifiedAssistantFile& acf,
                                                    const std::wstring& unitName) {
    return FormatStatisticsRows(ComputeClassStatistics(acf, unitName));
}

CClassesStaticsDlg::CClassesStaticsDlg() : XDialog(IDD) {}

CClassesStaticsDlg::~CClassesStaticsDlg() = default;

bool CClassesStaticsDlg::OnInitDialog() {
    OnCommand(ID_FILE_OPEN_CLASSIFIED, [this] { OnFileOpen(); });
    OnCommand(ID_FILE_EXIT, [this] { OnFileExit(); });
    OnCommand(ID_STATISTICS_HELP, [this] { OnHelp(); });

    m_table = new CGridCtrl(this);
    m_table->CreateOver(GetDlgItem(IDC_TABLE_PLACEHOLDER));
    m_table->SetListMode(true);
    m_table->SetTextBkColor(RGB(255, 255, 224));
    m_table->SetGridLines(GVL_BOTH);
    ResetTable();
    CenterWindow();
    return true;
}

void CClassesStaticsDlg::ResetTable() {
    m_table->DeleteAllItems();
    m_table->SetDefCellHeight(kRowHeight);
    m_table->SetColumnCount(kColumnCount);
    m_table->SetRowCount(1);
    m_table->SetFixedRowCount(1);
    m_table->SetFixedColumnCount(1);
    for (int c = 0; c < kColumnCount; ++c) {
        m_table->SetColumnWidth(c, kColumnWidth);
        m_table->SetItemText(0, c, kHeader[c]);
        m_table->SetItemFormat(0, c, DT_CENTER);
    }
}

void CClassesStaticsDlg::OnFileOpen() {
    if (m_loaded) {
        if (XMessageBox(kCloseQuestion, L"", MB_YESNOCANCEL | MB_ICONINFORMATION) != IDYES)
            return;
        m_assistantFile.Clear();
        ResetTable();
        m_image.reset();
    }

    CFileDialog dialog(true, DefaultExt::Raster, nullptr, kFileDialogFlags, Filters::RasterInput);
    if (dialog.DoModal() != IDOK)
        return;
    m_imagePath = dialog.GetPathName();
    m_image = std::make_unique<CRasterSource>();
    if (m_image->Open(m_imagePath, GIS_READONLY, true) == GIS_OK)
        m_unitName = m_image->GetUnitName(false);

    if (!m_assistantFile.ReadClassifiedAssistantFile(PairedAssistantFilePath(m_imagePath))) {
        XMessageBox(Msg::AssistantFileNotFound, Caption::Notice, MB_OK);
        return;
    }
    m_loaded = true;
    FillTable();
}

void CClassesStaticsDlg::FillTable() {
    ResetTable();
    m_table->SetRowCount(m_assistantFile.GetClassCount() + 1);
    const std::vector<StatisticsRowTexts> rows = ClassStatisticsRows(m_assistantFile, m_unitName);
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        for (int c = 0; c < kColumnCount; ++c) {
            m_table->SetItemText(row, c, rows[i][c]);
            if (c > 0)
                m_table->SetItemState(row, c, m_table->GetItemState(row, c) | GVIS_READONLY);
        }
    }
    m_table->Refresh();
}

void CClassesStaticsDlg::OnFileExit() {
    EndDialog(IDCANCEL);
}

void CClassesStaticsDlg::OnHelp() {
    HelpTopic::Show(HelpTopic::ClassStatistics);
}
