#pragma once
// The accuracy assessment window (template 6015, menu 6016): a classified
// image, random check points listed in a table and drawn as hidden point
// shapes in the host's view, the reference class typed for each point, and
// the report (error matrix, accuracy totals, kappa). The window deletes its
// own object when it is destroyed. The host interface may be null: the
// window then skips every host call.

#include "engine/classifiedassistantfile.h"
#include "platform/xdialog.h"
#include "processing/accuracypoint.h"
#include "processing/accuracyreport.h"

#include <memory>
#include <string>
#include <vector>

class CGridCtrl;
class CRasterSource;
class IControlerInterface;

namespace AccuracyTable {
// Whether a reference cell holds a value: not empty, digits 0-9 only.
bool IsDigitText(const std::wstring& text);
// The integer value of a digit text (saturating at INT_MAX).
int DigitTextValue(const std::wstring& text);
} // namespace AccuracyTable

// The window's report writer: as above in the user's locale; a file that
// cannot be created or written shows "Open file failed!" (caption "Warning")
// through the message service. True when the file was written.
bool WriteAccuracyReport(const tessera::ErrorMatrix* matrix, const std::vector<std::wstring>& names,
                         const std::wstring& path, const tessera::ReportSections& sections);

class CClassesAccuracyDlg : public XDialog {
public:
    enum { IDD = 6015, IDM = 6016 };
    enum : int {
        IDC_GRID_PLACEHOLDER = 6074,
        IDC_HELP_BUTTON = 1001,
        // Menu 6016.
        ID_FILE_OPEN = 32801,
        ID_FILE_SAVE_AS = 32802,
        ID_FILE_CLOSE = 32803,
        ID_EDIT_RANDOM_POINTS = 32811,
        ID_EDIT_SHOW_CLASSES = 32812,
        ID_EDIT_HIDE_CLASSES = 32813,
        ID_VIEW_SHOW_ALL = 32821,
        ID_VIEW_HIDE_ALL = 32822,
        ID_VIEW_SHOW_SELECTED = 32823,
        ID_VIEW_HIDE_SELECTED = 32824,
        ID_REPORT_ERROR_MATRIX = 32831,
        ID_REPORT_OVERALL_ACCURACY = 32832,
        ID_REPORT_KAPPA = 32833,
        ID_REPORT_WRITE = 32834,
    };
    // Point table columns.
    enum : int { ColNumber = 0, ColName, ColX, ColY, ColClass, ColReference, ColumnCount };

    explicit CClassesAccuracyDlg(IControlerInterface* host);
    ~CClassesAccuracyDlg() override;

    // The window's state, as the commands leave it.
    const std::vector<AccuracyPoint>& Points() const { return m_points; }
    const std::vector<CPoint2D>& PointPositions() const { return m_positions; }
    const CRasterSource* Image() const { return m_image.get(); }
    const CClassifiedAssistantFile& AssistantFile() const { return m_assistant; }
    CGridCtrl* Grid() const { return m_grid; }
    bool IncludeErrorMatrix() const { return m_includeErrorMatrix; }
    bool IncludeOverallAccuracy() const { return m_includeOverallAccuracy; }
    bool IncludeKappa() const { return m_includeKappa; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnClose() override;
    void PostNcDestroy() override;
    void OnUpdateCommand(int id, CCmdUI& ui) override;

private:
    void OnFileOpen();
    void OnFileClose();
    void OnAddRandomPoints();
    void OnShowClasses();
    void OnHideClasses();
    void OnShowAllPoints();
    void OnHideAllPoints();
    void OnShowSelectedPoints();
    void OnHideSelectedPoints();
    void OnAccuracyReport();
    void OnBnClickedHelp();

    void ResetTable();
    void AddRow(const AccuracyPoint& point, bool withClass);
    void RefreshTable(bool withClass);
    // Sets the visibility flag of the host's shape k; no host, no shape: nothing.
    void SetShapeVisible(int index, bool visible);
    void SetAllShapesVisible(bool visible);
    void NotifyHostShapesChanged();
    std::vector<std::wstring> ClassNames() const;

    IControlerInterface* m_host;
    std::unique_ptr<CRasterSource> m_image;
    CClassifiedAssistantFile m_assistant;
    std::vector<CPoint2D> m_positions;
    std::vector<AccuracyPoint> m_points;
    // Whether the point's reference cell held a digit text when last read, so
    // that a refresh shows typed values again and leaves untyped cells empty.
    std::vector<bool> m_referenceTyped;
    bool m_includeErrorMatrix = true;
    bool m_includeOverallAccuracy = true;
    bool m_includeKappa = true;
    CGridCtrl* m_grid = nullptr;
};
