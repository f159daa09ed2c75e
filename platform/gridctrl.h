#pragma once
// CGridCtrl: rows and columns of text cells over QTableWidget. Cells are
// addressed as one grid, fixed row and column included: with one fixed row
// and one fixed column, (0, c) is the header of column c and (r, 0) the
// first cell of row r; they stay in place while the grid scrolls. At most one
// fixed row and one fixed column are supported.

#include "base/wintypes.h"

#include <QTableWidget>

#include <string>
#include <vector>

// Cell states.
constexpr unsigned GVIS_FOCUSED = 0x0001;
constexpr unsigned GVIS_SELECTED = 0x0002;
constexpr unsigned GVIS_READONLY = 0x0008;
constexpr unsigned GVIS_FIXED = 0x0010;

// Grid lines.
constexpr int GVL_NONE = 0;
constexpr int GVL_HORZ = 1;
constexpr int GVL_VERT = 2;
constexpr int GVL_BOTH = 3;

// Cell text alignment.
constexpr unsigned DT_LEFT = 0x0;
constexpr unsigned DT_CENTER = 0x1;
constexpr unsigned DT_RIGHT = 0x2;

class CGridCtrl : public QTableWidget {
    Q_OBJECT
public:
    explicit CGridCtrl(QWidget* parent = nullptr);

    // Takes the place and size of another widget (a template placeholder).
    void CreateOver(QWidget* placeholder);

    bool SetRowCount(int rows);
    bool SetColumnCount(int columns);
    int GetRowCount() const;
    int GetColumnCount() const;
    bool SetFixedRowCount(int rows = 1);
    bool SetFixedColumnCount(int columns = 1);
    int GetFixedRowCount() const { return m_fixedRows; }
    int GetFixedColumnCount() const { return m_fixedColumns; }
    // Adds a row at the end (or before row `before`); returns its index or -1.
    int InsertRow(const std::wstring& firstCellText, int before = -1);
    bool DeleteRow(int row);
    // Removes every row and column.
    void DeleteAllItems();
    void DeleteNonFixedRows();

    bool IsValid(int row, int column) const;
    bool SetItemText(int row, int column, const std::wstring& text);
    std::wstring GetItemText(int row, int column) const;
    bool SetItemFormat(int row, int column, unsigned format);
    bool SetItemState(int row, int column, unsigned state);
    unsigned GetItemState(int row, int column) const;
    bool IsCellSelected(int row, int column) const;
    bool IsCellEditable(int row, int column) const;
    bool SetItemBkColour(int row, int column, COLORREF colour);
    COLORREF GetItemBkColour(int row, int column) const;
    // Background of cells that have no colour of their own.
    void SetTextBkColor(COLORREF colour);
    COLORREF GetTextBkColor() const { return m_textBk; }

    void SetDefCellHeight(int height);
    bool SetRowHeight(int row, int height);
    int GetRowHeight(int row) const;
    bool SetColumnWidth(int column, int width);
    int GetColumnWidth(int column) const;

    // List mode selects whole rows; several rows unless single-row selection.
    void SetListMode(bool listMode = true);
    bool GetListMode() const { return m_listMode; }
    void SetSingleRowSelection(bool single = true);
    void SetGridLines(int lines);
    int GetGridLines() const { return m_gridLines; }
    // Whether cells that are not read-only can be edited in place.
    void SetEditable(bool editable = true);
    bool IsEditable() const { return m_editable; }

    // Selected non-fixed rows, ascending.
    std::vector<int> GetSelectedRows() const;
    void SelectRow(int row, bool selected = true);
    void Refresh();

signals:
    // Grid coordinates (fixed row and column counted).
    void CellDoubleClicked(int row, int column);
    void CellEdited(int row, int column);

protected:
    // Paints the corner text on the view's corner button, which draws a bare section by itself.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Part { Corner, ColumnHeader, RowHeader, Body, Invalid };
    Part partOf(int row, int column) const;
    QTableWidgetItem* itemAt(int row, int column) const; // null for the corner and bad cells
    QTableWidgetItem* newItem() const;
    void fillItems();
    void applySelectionMode();

    int m_fixedRows = 0;
    int m_fixedColumns = 0;
    int m_rows = 0;
    int m_columns = 0;
    std::wstring m_cornerText;
    QWidget* m_corner = nullptr; // the view's corner button, where the corner cell is shown
    COLORREF m_textBk = RGB(255, 255, 255);
    bool m_listMode = false;
    bool m_singleRow = false;
    bool m_editable = true;
    int m_gridLines = GVL_BOTH;
};
