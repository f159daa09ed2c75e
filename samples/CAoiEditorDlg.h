#pragma once
// Sample editor (template 6002, menu 6005): a table of training samples taken
// from the shapes drawn over the host's active raster, saved to and opened
// from sample files (".cif"), and merged. Row r of the table (from 1) shows
// sample r - 1 of the sample file object's list; the two are kept in step.
// The statistics come from the raster engine; the merge arithmetic and the
// colour rule are the plain functions of samples/samplestats.h.

#include "engine/classifysamplefile.h"
#include "platform/xdialog.h"
#include "processing/samplestats.h"

#include <optional>
#include <string>

class CGridCtrl;
class IControlerInterface;

class CAoiEditorDlg : public XDialog {
public:
    enum { IDD = 6002, IDR_MENU = 6005 };
    enum : int { IDC_SAMPLE_TABLE = 1001 };
    // Menu commands of menu 6005.
    enum : int {
        ID_SAMPLE_OPEN = 32001,
        ID_SAMPLE_SAVE = 32002,
        ID_SAMPLE_CLOSE = 32003,
        ID_SAMPLE_ADD = 32004,
        ID_SAMPLE_DELETE = 32005,
        ID_SAMPLE_MERGE = 32006,
        ID_SAMPLE_CLEAR = 32007,
        ID_SAMPLE_HELP = 32008,
    };
    // Table columns (column 0 is the fixed column).
    enum : int { COL_NUMBER, COL_NAME, COL_COLOUR, COL_RED, COL_GREEN, COL_BLUE, COL_PIXELS, COLUMN_COUNT };
    static constexpr int kTableMargin = 5;
    static constexpr int kRowHeight = 25;
    static constexpr int kColumnWidth = 85;
    static constexpr COLORREF kCellBackground = 0xE0FFFF; // pale yellow

    // The host must not be null: the menus ask it for its active layer.
    explicit CAoiEditorDlg(IControlerInterface* host);

    // State, as the commands leave it.
    bool IsModified() const { return m_modified; }
    bool IsSaved() const { return m_saved; }
    bool IsFileOpen() const { return m_fileOpen; }
    bool HoldsRaster() const { return m_raster.has_value(); }
    CGridCtrl* Table() const;
    const CClassifySampleFile& SampleFile() const { return m_file; }

protected:
    bool OnInitDialog() override;
    void OnUpdateCommand(int id, CCmdUI& ui) override;
    void OnOK() override;     // Enter does not close the editor
    void OnCancel() override; // Esc and the close box: the window-close sequence
    void OnClose() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnOpen();
    void OnSave();
    void OnCloseFile();
    void OnAdd();
    void OnDelete();
    void OnMerge();
    void OnClear();
    void OnHelp();
    void OnCellDoubleClicked(int row, int column);

    bool ActiveSourceIsRaster() const;
    // Header row only, with the table's look; false when it could not be sized.
    bool InitTable();
    void LayoutTable();
    // Writes a sample row: number, name, colour cell and its components, pixels.
    void WriteRow(int row, int number, const std::wstring& name, COLORREF colour, int pixels);
    // Save steps 3 and 4: the header from the raster of the last Add, and the
    // samples from their rows (name, colour, row number, markers).
    void UpdateFileFromTable();
    void EmptySampleList();
    // Reports a memory or toolkit error raised by a table operation.
    void ReportTableError(const char* what);
    void CloseWindow();

    IControlerInterface* m_host;
    CClassifySampleFile m_file;
    std::optional<tessera::SampleStats::RasterHeader> m_raster; // the raster of the last Add
    bool m_modified = false;
    bool m_saved = false;
    bool m_fileOpen = false;
};
