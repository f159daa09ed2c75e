#include "samples/CAoiEditorDlg.h"

#include "base/commonfun.h"
#include "base/log.h"
#include "common/filters.h"
#include "common/helptopics.h"
#include "common/messages.h"
#include "common/uicommonfun.h"
#include "engine/controlerinterface.h"
#include "engine/drawshape.h"
#include "engine/gisdatasource.h"
#include "engine/rasteralgorithm.h"
#include "engine/rastersource.h"
#include "platform/filedialog.h"
#include "platform/gridctrl.h"
#include "platform/uiservices.h"

#include <QEvent>

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <vector>

using namespace tessera;

namespace {

constexpr const wchar_t* kCloseFirst = L"请关闭当前打开的文件！";
constexpr const wchar_t* kSaveChanges = L"AOI样区已经修改是否保存？";
constexpr const wchar_t* kOutOfMemory = L"内存不足！";
constexpr const wchar_t* kBandsDiffer = L"所选样本的波段数不一致，不能合并！";
constexpr const wchar_t* kHeaders[CAoiEditorDlg::COLUMN_COUNT] = {L"序号", L"类名", L"分类颜色", L"红",
                                                                  L"绿",   L"蓝",   L"像素个数"};

std::wstring number(long long value) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%d", static_cast<int>(value));
    return text;
}

} // namespace

CAoiEditorDlg::CAoiEditorDlg(IControlerInterface* host) : XDialog(IDD), m_host(host) {}

CGridCtrl* CAoiEditorDlg::Table() const {
    return Item<CGridCtrl>(IDC_SAMPLE_TABLE);
}

bool CAoiEditorDlg::OnInitDialog() {
    OnCommand(ID_SAMPLE_OPEN, [this] { OnOpen(); });
    OnCommand(ID_SAMPLE_SAVE, [this] { OnSave(); });
    OnCommand(ID_SAMPLE_CLOSE, [this] { OnCloseFile(); });
    OnCommand(ID_SAMPLE_ADD, [this] { OnAdd(); });
    OnCommand(ID_SAMPLE_DELETE, [this] { OnDelete(); });
    OnCommand(ID_SAMPLE_MERGE, [this] { OnMerge(); });
    OnCommand(ID_SAMPLE_CLEAR, [this] { OnClear(); });
    OnCommand(ID_SAMPLE_HELP, [this] { OnHelp(); });
    CGridCtrl* table = Table();
    connect(table, &CGridCtrl::CellDoubleClicked, this, [this](int r, int c) { OnCellDoubleClicked(r, c); });
    // The table follows the client area, which the window's layout resizes.
    table->parentWidget()->installEventFilter(this);
    LayoutTable();
    InitTable();
    return true;
}

bool CAoiEditorDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && Table() && watched == Table()->parentWidget())
        LayoutTable();
    return XDialog::eventFilter(watched, event);
}

void CAoiEditorDlg::LayoutTable() {
    CGridCtrl* table = Table();
    const QRect client = table->parentWidget()->rect();
    table->setGeometry(client.adjusted(kTableMargin, kTableMargin, -kTableMargin, -kTableMargin));
}

bool CAoiEditorDlg::InitTable() {
    CGridCtrl* table = Table();
    try {
        table->DeleteAllItems();
        table->SetDefCellHeight(kRowHeight);
        table->SetRowCount(1);
        table->SetColumnCount(COLUMN_COUNT);
        table->SetFixedRowCount(1);
        table->SetFixedColumnCount(1);
        table->SetListMode(true);
        table->SetSingleRowSelection(false);
        table->SetTextBkColor(kCellBackground);
        table->SetGridLines(GVL_BOTH);
        for (int c = 0; c < COLUMN_COUNT; ++c)
            table->SetColumnWidth(c, kColumnWidth);
    } catch (const std::exception& e) {
        ReportTableError(e.what());
        return false;
    }
    for (int c = 0; c < COLUMN_COUNT; ++c) {
        table->SetItemText(0, c, kHeaders[c]);
        table->SetItemFormat(0, c, DT_CENTER);
    }
    return true;
}

void CAoiEditorDlg::ReportTableError(const char* what) {
    const std::wstring text =
        std::string(what) == std::bad_alloc().what() ? kOutOfMemory : CommonFun::M2U(what);
    XMessageBox(text, Caption::Error, MB_OK | MB_ICONERROR);
}

void CAoiEditorDlg::WriteRow(int row, int number, const std::wstring& name, COLORREF colour, int pixels) {
    CGridCtrl* table = Table();
    table->SetItemText(row, COL_NUMBER, ::number(number));
    table->SetItemText(row, COL_NAME, name);
    table->SetItemBkColour(row, COL_COLOUR, colour);
    table->SetItemText(row, COL_RED, ::number(GetRValue(colour)));
    table->SetItemText(row, COL_GREEN, ::number(GetGValue(colour)));
    table->SetItemText(row, COL_BLUE, ::number(GetBValue(colour)));
    table->SetItemText(row, COL_PIXELS, ::number(pixels));
    for (int c = COL_COLOUR; c < COLUMN_COUNT; ++c)
        table->SetItemState(row, c, GVIS_READONLY);
}

bool CAoiEditorDlg::ActiveSourceIsRaster() const {
    CGISDataSource* source = m_host->GetActiveDataSource();
    return source && source->GetDataSourceType() == GIS_DATASOURCE_RASTER;
}

void CAoiEditorDlg::OnUpdateCommand(int id, CCmdUI& ui) {
    if (id == ID_SAMPLE_ADD)
        ui.Enable(ActiveSourceIsRaster());
    else if (id == ID_SAMPLE_SAVE)
        ui.Enable(Table()->GetRowCount() > 1);
}

void CAoiEditorDlg::OnOK() {}

void CAoiEditorDlg::OnCancel() {
    OnClose();
}

void CAoiEditorDlg::CloseWindow() {
    XDialog::OnCancel();
}

void CAoiEditorDlg::EmptySampleList() {
    m_file.ClearSamples();
    m_file.m_sampleCount = 0;
}

void CAoiEditorDlg::OnAdd() {
    CGISDataSource* source = m_host->GetActiveDataSource();
    if (!source || source->GetDataSourceType() != GIS_DATASOURCE_RASTER)
        return;
    auto* raster = static_cast<CRasterSource*>(source);
    std::vector<CDrawShape*> shapes;
    m_host->GetDrawShapes(&shapes);
    if (shapes.empty()) {
        m_modified = true;
        return;
    }
    CGridCtrl* table = Table();
    const int first = table->GetRowCount();
    const int count = static_cast<int>(shapes.size());
    m_raster = SampleStats::HeaderOf(*raster);
    const int k = m_raster->bandCount;
    try {
        table->SetRowCount(first + count);
        std::vector<double> minimum(k), maximum(k), mean(k), covariance(static_cast<size_t>(k) * k);
        for (int i = 0; i < count; ++i) {
            const int row = first + i;
            std::int64_t pixels = 0;
            CRasterAlgorithm::ComputeStaticsFromDrawshape(raster, shapes[i], pixels, minimum.data(),
                                                          maximum.data(), mean.data(), covariance.data(),
                                                          nullptr);
            const auto c = SampleStats::DisplayColourOf(*raster, mean.data(), k);
            const int pixels32 = static_cast<std::int32_t>(static_cast<std::uint32_t>(pixels));
            wchar_t name[32];
            std::swprintf(name, 32, L"C%d", row);
            table->SetItemText(row, COL_NUMBER, number(row));
            table->SetItemText(row, COL_NAME, name);
            table->SetItemBkColour(row, COL_COLOUR, SampleStats::ComposeColour(c.red, c.green, c.blue));
            table->SetItemText(row, COL_RED, number(c.red));
            table->SetItemText(row, COL_GREEN, number(c.green));
            table->SetItemText(row, COL_BLUE, number(c.blue));
            table->SetItemText(row, COL_PIXELS, number(pixels32));
            for (int col = COL_COLOUR; col < COLUMN_COUNT; ++col)
                table->SetItemState(row, col, GVIS_READONLY);

            auto sample = std::make_unique<ClassifySample>();
            std::unique_ptr<CDrawShape> copy(CDrawShape::CreateCopy(shapes[i]));
            sample->m_shapes.push_back(copy.get());
            copy.release();
            sample->m_shapeCount = 1;
            sample->m_marker3 = 1;
            sample->m_covariance = covariance;
            sample->m_min = minimum;
            sample->m_max = maximum;
            sample->m_mean = mean;
            sample->m_index = row;
            sample->SetName(table->GetItemText(row, COL_NAME));
            sample->m_pixelCount = pixels32;
            sample->m_bandCount = k;
            sample->m_colour =
                SampleStats::ComposeColour(CommonFun::wsting2int(table->GetItemText(row, COL_RED)),
                                           CommonFun::wsting2int(table->GetItemText(row, COL_GREEN)),
                                           CommonFun::wsting2int(table->GetItemText(row, COL_BLUE)));
            m_file.m_samples.push_back(sample.get());
            sample.release();
        }
    } catch (const std::exception& e) {
        ReportTableError(e.what());
    }
    m_modified = true;
}

void CAoiEditorDlg::OnCellDoubleClicked(int row, int column) {
    CGridCtrl* table = Table();
    if (column != COL_COLOUR || row <= 0 || row >= table->GetRowCount())
        return;
    CColorDialog dialog(table->GetItemBkColour(row, column), CC_FULLOPEN | CC_RGBINIT);
    if (dialog.DoModal() != IDOK)
        return;
    const COLORREF colour = dialog.GetColor();
    table->SetItemBkColour(row, COL_COLOUR, colour);
    table->SetItemText(row, COL_RED, number(GetRValue(colour)));
    table->SetItemText(row, COL_GREEN, number(GetGValue(colour)));
    table->SetItemText(row, COL_BLUE, number(GetBValue(colour)));
    update();
    table->Refresh();
    m_modified = true;
}

void CAoiEditorDlg::OnDelete() {
    CGridCtrl* table = Table();
    bool removed = false;
    try {
        for (int row = 1; row < table->GetRowCount();) {
            if (!table->IsCellSelected(row, COL_NAME)) {
                ++row;
                continue;
            }
            table->DeleteRow(row);
            const size_t at = static_cast<size_t>(row - 1);
            if (at < m_file.m_samples.size()) {
                delete m_file.m_samples[at];
                m_file.m_samples.erase(m_file.m_samples.begin() + static_cast<std::ptrdiff_t>(at));
            }
            removed = true; // the row that moved into its place is examined next
        }
    } catch (const std::exception& e) {
        ReportTableError(e.what());
    }
    if (!removed)
        return;
    update();
    table->Refresh();
    m_modified = true;
    m_saved = false;
}

void CAoiEditorDlg::OnClear() {
    InitTable();
    EmptySampleList();
    m_modified = true;
    m_saved = false;
}

void CAoiEditorDlg::OnOpen() {
    if (m_fileOpen) {
        XMessageBox(kCloseFirst, Caption::Notice, MB_OK);
        return;
    }
    CERFileDialog dialog(true, DefaultExt::Sample, nullptr, kFileDialogFlags, Filters::SampleOpen, nullptr, 0,
                         true, m_host);
    if (dialog.DoModal() != IDOK)
        return;
    if (!m_file.ReadClassifySampleFile(dialog.GetPathName())) {
        m_modified = false;
        m_saved = false;
        return;
    }
    m_fileOpen = true;
    if (InitTable()) {
        CGridCtrl* table = Table();
        try {
            table->SetRowCount(static_cast<int>(m_file.m_samples.size()) + 1);
            for (size_t i = 0; i < m_file.m_samples.size(); ++i) {
                const ClassifySample& s = *m_file.m_samples[i];
                WriteRow(static_cast<int>(i) + 1, s.m_index, s.GetName(), s.m_colour, s.m_pixelCount);
            }
        } catch (const std::exception& e) {
            ReportTableError(e.what());
        }
    }
    m_modified = false;
    m_saved = false;
}

void CAoiEditorDlg::UpdateFileFromTable() {
    if (m_raster)
        SampleStats::WriteHeader(m_file, *m_raster);
    CGridCtrl* table = Table();
    const int count = table->GetRowCount() - 1;
    m_file.m_sampleCount = count;
    for (int row = 1; row <= count && static_cast<size_t>(row - 1) < m_file.m_samples.size(); ++row) {
        ClassifySample& sample = *m_file.m_samples[row - 1];
        sample.SetName(table->GetItemText(row, COL_NAME)); // at most 127 characters are kept
        sample.m_colour = table->GetItemBkColour(row, COL_COLOUR);
        SampleStats::StampSaved(sample, row);
    }
}

void CAoiEditorDlg::OnSave() {
    std::wstring path = m_file.m_path;
    if (path.empty()) {
        CERFileDialog dialog(false, DefaultExt::Sample, nullptr, kFileDialogFlags, Filters::SampleSave,
                             nullptr, 0, true, m_host);
        if (dialog.DoModal() != IDOK) {
            m_saved = false;
            return;
        }
        path = dialog.GetPathName();
    }
    CUICommonFun::CONVERT_EXTNAME(path, L"cif");
    UpdateFileFromTable();
    m_file.WriteClassifySampleFile(path); // as the editor's contract says: a failed write is not reported
    m_modified = false;
    m_saved = true;
}

void CAoiEditorDlg::OnCloseFile() {
    if (m_modified) {
        const int answer = XMessageBox(kSaveChanges, std::wstring(), MB_YESNOCANCEL | MB_ICONINFORMATION);
        if (answer == IDCANCEL)
            return;
        if (answer == IDYES) {
            OnSave();
            if (!m_saved)
                return;
        }
    }
    InitTable();
    m_modified = false;
    m_saved = false;
    m_fileOpen = false;
    EmptySampleList();
}

void CAoiEditorDlg::OnClose() {
    if (!m_modified) {
        CloseWindow();
        return;
    }
    const int answer = XMessageBox(kSaveChanges, std::wstring(), MB_YESNOCANCEL | MB_ICONINFORMATION);
    if (answer == IDCANCEL)
        return;
    if (answer == IDNO) {
        CloseWindow();
        return;
    }
    UpdateFileFromTable();
    if (!m_file.m_path.empty()) {
        m_file.WriteClassifySampleFile(m_file.m_path);
        CloseWindow();
        return;
    }
    OnSave();
    if (m_saved)
        CloseWindow();
}

void CAoiEditorDlg::OnHelp() {
    HelpTopic::Show(HelpTopic::SampleEditor);
}

void CAoiEditorDlg::OnMerge() {
    CGridCtrl* table = Table();
    bool anySelected = false;
    for (int row = 1; row < table->GetRowCount() && !anySelected; ++row)
        for (int c = 0; c < COLUMN_COUNT && !anySelected; ++c)
            anySelected = table->IsCellSelected(row, c);
    if (!anySelected)
        return;
    const int k = m_raster ? m_raster->bandCount : m_file.m_bandCount;
    if (k <= 0)
        return;
    std::vector<const ClassifySample*> selected;
    for (int row = 1; row < table->GetRowCount(); ++row)
        if (table->IsCellSelected(row, COL_NAME) && static_cast<size_t>(row - 1) < m_file.m_samples.size())
            selected.push_back(m_file.m_samples[row - 1]);

    const SampleStats::MergedStatistics merged = SampleStats::MergeSamples(selected, k);
    if (merged.status == SampleStats::MergeStatus::TooFewValues) {
        XMessageBox(kBandsDiffer, Caption::Notice, MB_OK);
        return;
    }
    if (merged.status != SampleStats::MergeStatus::Ok) {
        // No pixels under the selection: no covariance, and no new row.
        CLog::WriteLog(LOG_LEVEL_ERROR, "AoiEditorDlg", __LINE__, "CAoiEditorDlg::OnMerge",
                       std::string("Merge Covariant Failed!"));
        return;
    }
    try {
        const int row = table->GetRowCount();
        table->SetRowCount(row + 1);
        wchar_t name[32];
        std::swprintf(name, 32, L"Class%d", row);
        WriteRow(row, row, name, merged.colour,
                 static_cast<std::int32_t>(static_cast<std::uint32_t>(merged.pixelCount)));
        std::unique_ptr<ClassifySample> sample(SampleStats::NewMergedSample(merged, selected, k));
        sample->SetName(name);
        m_file.m_samples.push_back(sample.get());
        sample.release();
        m_file.m_sampleCount = table->GetRowCount() - 1;
    } catch (const std::exception& e) {
        ReportTableError(e.what());
    }
    m_modified = true;
    m_saved = false;
}
