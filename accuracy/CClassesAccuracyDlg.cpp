#include "accuracy/CClassesAccuracyDlg.h"

#include "accuracy/CAddRandomPointDlg.h"
#include "common/filters.h"
#include "common/helptopics.h"
#include "common/messages.h"
#include "engine/classifiedassistantfile.h"
#include "engine/controlerinterface.h"
#include "engine/drawshape.h"
#include "engine/rastersource.h"
#include "entry/tesseramodule.h"
#include "platform/filedialog.h"
#include "platform/gridctrl.h"
#include "platform/translation.h"
#include "platform/uiservices.h"
#include "processing/randompoints.h"

#include <algorithm>
#include <charconv>
#include <climits>

using namespace tessera;

namespace AccuracyTable {

bool IsDigitText(const std::wstring& text) {
    if (text.empty())
        return false;
    for (const wchar_t c : text)
        if (c < L'0' || c > L'9')
            return false;
    return true;
}

int DigitTextValue(const std::wstring& text) {
    long long value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9')
            break;
        value = value * 10 + (c - L'0');
        if (value > INT_MAX)
            return INT_MAX;
    }
    return static_cast<int>(value);
}

} // namespace AccuracyTable

namespace {

constexpr const wchar_t* kTitle = L"分类精度评价";
constexpr const wchar_t* kReferenceMissing = L"还有点没有输入参考类型！";
constexpr int kColumnWidth = 85;
constexpr int kRowHeight = 28;
constexpr int kPointShapeStyle = 255;
constexpr int kPauseAfterRunMs = 1000;

// "%f" in the C locale: the table shows ground coordinates with a "." whatever
// the user's locale.
std::wstring fixed6(double value) {
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::wstring(buffer, result.ptr);
}

} // namespace

CClassesAccuracyDlg::CClassesAccuracyDlg(IControlerInterface* host) : XDialog(IDD), m_host(host) {}

CClassesAccuracyDlg::~CClassesAccuracyDlg() = default;

bool CClassesAccuracyDlg::OnInitDialog() {
    OnCommand(ID_FILE_OPEN, [this] { OnFileOpen(); });
    OnCommand(ID_FILE_SAVE_AS, [] {});
    OnCommand(ID_FILE_CLOSE, [this] { OnFileClose(); });
    OnCommand(ID_EDIT_RANDOM_POINTS, [this] { OnAddRandomPoints(); });
    OnCommand(ID_EDIT_SHOW_CLASSES, [this] { OnShowClasses(); });
    OnCommand(ID_EDIT_HIDE_CLASSES, [this] { OnHideClasses(); });
    OnCommand(ID_VIEW_SHOW_ALL, [this] { OnShowAllPoints(); });
    OnCommand(ID_VIEW_HIDE_ALL, [this] { OnHideAllPoints(); });
    OnCommand(ID_VIEW_SHOW_SELECTED, [this] { OnShowSelectedPoints(); });
    OnCommand(ID_VIEW_HIDE_SELECTED, [this] { OnHideSelectedPoints(); });
    OnCommand(ID_REPORT_ERROR_MATRIX, [this] { m_includeErrorMatrix = !m_includeErrorMatrix; });
    OnCommand(ID_REPORT_OVERALL_ACCURACY, [this] { m_includeOverallAccuracy = !m_includeOverallAccuracy; });
    OnCommand(ID_REPORT_KAPPA, [this] { m_includeKappa = !m_includeKappa; });
    OnCommand(ID_REPORT_WRITE, [this] { OnAccuracyReport(); });
    OnCommand(IDC_HELP_BUTTON, [this] { OnBnClickedHelp(); });

    m_grid = new CGridCtrl(this);
    m_grid->CreateOver(GetDlgItem(IDC_GRID_PLACEHOLDER));
    ResetTable();
    CenterWindow();
    return true;
}

void CClassesAccuracyDlg::OnUpdateCommand(int id, CCmdUI& ui) {
    switch (id) {
    case ID_EDIT_RANDOM_POINTS:
        ui.Enable(m_image != nullptr);
        break;
    case ID_REPORT_ERROR_MATRIX:
        ui.SetCheck(m_includeErrorMatrix);
        break;
    case ID_REPORT_OVERALL_ACCURACY:
        ui.SetCheck(m_includeOverallAccuracy);
        break;
    case ID_REPORT_KAPPA:
        ui.SetCheck(m_includeKappa);
        break;
    default:
        break;
    }
}

void CClassesAccuracyDlg::OnOK() {} // the OK button does nothing

void CClassesAccuracyDlg::OnClose() {
    OnFileClose();
}

void CClassesAccuracyDlg::PostNcDestroy() {
    XDialog::PostNcDestroy();
    deleteLater(); // the window owns its object
}

void CClassesAccuracyDlg::OnFileOpen() {
    CERFileDialog dialog(true, DefaultExt::Raster, nullptr, kFileDialogFlags, Filters::RasterInput, nullptr,
                         0, true, m_host);
    if (dialog.DoModal() != IDOK)
        return;
    const std::wstring path = dialog.GetPathName();
    // From here on the window holds an image object, opened or not.
    m_image = std::make_unique<CRasterSource>();
    if (m_image->Open(path, GIS_READONLY, true) != GIS_OK)
        return;
    if (!AssistantFileExists(path)) {
        XMessageBox(Msg::AssistantResultFileNotFound, Caption::Notice, MB_OK);
        return;
    }
    if (!m_assistant.ReadClassifiedAssistantFile(PairedAssistantFilePath(path))) {
        XMessageBox(Msg::AssistantFileReadFailed, Caption::Notice, MB_OK);
        return;
    }
    SetWindowText(TranslateW(kTitle) + L"  " + path);
}

void CClassesAccuracyDlg::OnFileClose() {
    if (m_host) {
        SetAllShapesVisible(false);
        NotifyHostShapesChanged();
    }
    EndDialog(IDCANCEL);
}

void CClassesAccuracyDlg::OnAddRandomPoints() {
    // Commands arrive from the host's event loop: the dialog's template is
    // this library's, so its module is made current for the command.
    TesseraModuleGuard context;
    CAddRandomPointDlg dialog;
    if (dialog.DoModal() != IDOK)
        return;
    if (!m_image || !m_image->GetRasterBand(1))
        return;
    const std::uint32_t seed = RandomPointClock().NowSeconds();
    const std::vector<AccuracyPoint> points =
        MakeRandomPoints(*m_image, static_cast<int>(dialog.m_pointCount), seed);
    // The table grows once for the whole run.
    m_grid->SetRowCount(m_grid->GetRowCount() + static_cast<int>(points.size()));
    for (const AccuracyPoint& p : points) {
        m_positions.push_back(p.position);
        AddRow(p, false);
        if (m_host) {
            m_host->AddPointShape(p.position, kPointShapeStyle);
            if (CDrawShape* shape = m_host->GetShape(m_host->GetShapeCount() - 1))
                shape->m_visible = 0; // new points start hidden
        }
        m_points.push_back(p);
        m_referenceTyped.push_back(false);
    }
    RandomPointClock().Pause(kPauseAfterRunMs);
}

void CClassesAccuracyDlg::ResetTable() {
    m_grid->DeleteAllItems();
    m_grid->SetColumnCount(ColumnCount);
    m_grid->SetFixedRowCount(1);
    m_grid->SetFixedColumnCount(1);
    m_grid->SetRowCount(1);
    m_grid->SetDefCellHeight(kRowHeight);
    for (int c = 0; c < ColumnCount; ++c)
        m_grid->SetColumnWidth(c, kColumnWidth);
    const wchar_t* headers[ColumnCount] = {L"点号", L"名称", L"X", L"Y", L"类别", L"参考值"};
    for (int c = 0; c < ColumnCount; ++c)
        m_grid->SetItemText(0, c, headers[c]);
}

// Fills row m_points.size() + 1 (the row for the point about to be appended,
// which must exist) with the point's cells; the reference cell stays empty.
void CClassesAccuracyDlg::AddRow(const AccuracyPoint& point, bool withClass) {
    const int row = static_cast<int>(m_points.size()) + 1;
    m_grid->SetItemText(row, ColNumber, std::to_wstring(row));
    m_grid->SetItemText(row, ColName, point.name);
    m_grid->SetItemText(row, ColX, fixed6(point.position.x));
    m_grid->SetItemText(row, ColY, fixed6(point.position.y));
    m_grid->SetItemText(row, ColClass, withClass ? std::to_wstring(point.classValue) : std::wstring());
    m_grid->SetItemText(row, ColReference, std::wstring());
    for (int c : {ColX, ColY, ColClass})
        m_grid->SetItemState(row, c, GVIS_READONLY);
}

void CClassesAccuracyDlg::RefreshTable(bool withClass) {
    const int rows = std::min<int>(m_grid->GetRowCount() - 1, static_cast<int>(m_points.size()));
    for (int r = 1; r <= rows; ++r) {
        const std::wstring reference = m_grid->GetItemText(r, ColReference);
        const bool typed = AccuracyTable::IsDigitText(reference);
        m_points[r - 1].referenceValue = typed ? AccuracyTable::DigitTextValue(reference) : 0;
        m_referenceTyped[r - 1] = typed;
        m_points[r - 1].name = m_grid->GetItemText(r, ColName);
    }
    ResetTable();
    std::vector<AccuracyPoint> points;
    points.swap(m_points); // AddRow numbers rows by the points already listed
    m_grid->SetRowCount(1 + static_cast<int>(points.size()));
    for (AccuracyPoint& p : points) {
        AddRow(p, withClass);
        // Reference values read above are shown again; untyped cells stay empty.
        if (m_referenceTyped[m_points.size()])
            m_grid->SetItemText(static_cast<int>(m_points.size()) + 1, ColReference,
                                std::to_wstring(p.referenceValue));
        m_points.push_back(std::move(p));
    }
}

void CClassesAccuracyDlg::OnShowClasses() {
    RefreshTable(true);
}

void CClassesAccuracyDlg::OnHideClasses() {
    RefreshTable(false);
}

void CClassesAccuracyDlg::SetShapeVisible(int index, bool visible) {
    if (!m_host)
        return;
    if (CDrawShape* shape = m_host->GetShape(index))
        shape->m_visible = visible ? 1 : 0;
}

void CClassesAccuracyDlg::SetAllShapesVisible(bool visible) {
    for (int k = 0; k < static_cast<int>(m_positions.size()); ++k)
        SetShapeVisible(k, visible);
}

void CClassesAccuracyDlg::NotifyHostShapesChanged() {
    if (!m_host)
        return;
    m_host->RefreshShapes(0);
    m_host->RedrawView();
}

void CClassesAccuracyDlg::OnShowAllPoints() {
    if (!m_host)
        return;
    SetAllShapesVisible(true);
    NotifyHostShapesChanged();
}

void CClassesAccuracyDlg::OnHideAllPoints() {
    if (!m_host)
        return;
    SetAllShapesVisible(false);
    NotifyHostShapesChanged();
}

void CClassesAccuracyDlg::OnShowSelectedPoints() {
    if (!m_host)
        return;
    for (int r = 1; r < m_grid->GetRowCount(); ++r)
        SetShapeVisible(r - 1, m_grid->IsCellSelected(r, ColName));
    NotifyHostShapesChanged();
}

void CClassesAccuracyDlg::OnHideSelectedPoints() {
    if (!m_host)
        return;
    for (int r = 1; r < m_grid->GetRowCount(); ++r)
        if (m_grid->IsCellSelected(r, ColName))
            SetShapeVisible(r - 1, false);
    NotifyHostShapesChanged();
}

std::vector<std::wstring> CClassesAccuracyDlg::ClassNames() const {
    std::vector<std::wstring> names;
    for (const ClassRecord* record : m_assistant.GetClassRecords())
        names.push_back(record ? record->m_name : std::wstring());
    return names;
}

void CClassesAccuracyDlg::OnAccuracyReport() {
    if (m_grid->GetRowCount() <= 1)
        return;
    CERFileDialog dialog(false, DefaultExt::Report, nullptr, kFileDialogFlags, Filters::Report, nullptr, 0,
                         true, m_host);
    if (dialog.DoModal() != IDOK)
        return;
    const int rows = std::min<int>(m_grid->GetRowCount() - 1, static_cast<int>(m_points.size()));
    for (int r = 1; r <= rows; ++r) {
        const std::wstring reference = m_grid->GetItemText(r, ColReference);
        if (!AccuracyTable::IsDigitText(reference)) {
            XMessageBox(kReferenceMissing);
            return;
        }
        m_points[r - 1].referenceValue = AccuracyTable::DigitTextValue(reference);
        m_referenceTyped[r - 1] = true;
    }
    const ErrorMatrix matrix = BuildErrorMatrix(m_points, m_assistant.GetClassCount());
    const ReportSections sections{m_includeErrorMatrix, m_includeOverallAccuracy, m_includeKappa};
    WriteAccuracyReport(&matrix, ClassNames(), dialog.GetPathName(), sections);
}

void CClassesAccuracyDlg::OnBnClickedHelp() {
    HelpTopic::Show(HelpTopic::Accuracy);
}

bool WriteAccuracyReport(const ErrorMatrix* matrix, const std::vector<std::wstring>& names,
                         const std::wstring& path, const ReportSections& sections) {
    const ReportWriteResult result = WriteAccuracyReportFile(matrix, names, path, sections, UserLocale());
    if (result == ReportWriteResult::OpenFailed || result == ReportWriteResult::WriteFailed)
        XMessageBox(L"Open file failed!", L"Warning", MB_OK);
    return result == ReportWriteResult::Written;
}
