#include "platform/gridctrl.h"

#include "platform/translation.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHeaderView>
#include <QStyleOptionHeader>
#include <QStylePainter>

namespace {
QColor toQColor(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
COLORREF fromQColor(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}
} // namespace

CGridCtrl::CGridCtrl(QWidget* parent) : QTableWidget(parent) {
    horizontalHeader()->setVisible(false);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setHighlightSections(false);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    applySelectionMode();
    m_corner = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (m_corner)
        m_corner->installEventFilter(this);
    connect(this, &QTableWidget::cellDoubleClicked, this,
            [this](int r, int c) { emit CellDoubleClicked(r + m_fixedRows, c + m_fixedColumns); });
    connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        emit CellEdited(item->row() + m_fixedRows, item->column() + m_fixedColumns);
    });
    connect(horizontalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int c) { emit CellDoubleClicked(0, c + m_fixedColumns); });
    connect(verticalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int r) { emit CellDoubleClicked(r + m_fixedRows, 0); });
}

void CGridCtrl::CreateOver(QWidget* placeholder) {
    if (!placeholder)
        return;
    setParent(placeholder->parentWidget());
    setGeometry(placeholder->geometry());
    placeholder->hide();
    show();
}

bool CGridCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_corner || event->type() != QEvent::Paint)
        return QTableWidget::eventFilter(watched, event);
    QStylePainter painter(m_corner);
    QStyleOptionHeader option;
    option.initFrom(m_corner);
    option.rect = m_corner->rect();
    option.position = QStyleOptionHeader::OnlyOneSection;
    option.text = QString::fromStdWString(m_cornerText);
    option.textAlignment = Qt::AlignCenter;
    painter.drawControl(QStyle::CE_Header, option);
    return true;
}

CGridCtrl::Part CGridCtrl::partOf(int row, int column) const {
    if (row < 0 || column < 0 || row >= m_rows || column >= m_columns)
        return Part::Invalid;
    const bool fixedRow = row < m_fixedRows;
    const bool fixedColumn = column < m_fixedColumns;
    if (fixedRow && fixedColumn)
        return Part::Corner;
    if (fixedRow)
        return Part::ColumnHeader;
    if (fixedColumn)
        return Part::RowHeader;
    return Part::Body;
}

QTableWidgetItem* CGridCtrl::itemAt(int row, int column) const {
    switch (partOf(row, column)) {
    case Part::ColumnHeader:
        return horizontalHeaderItem(column - m_fixedColumns);
    case Part::RowHeader:
        return verticalHeaderItem(row - m_fixedRows);
    case Part::Body:
        return item(row - m_fixedRows, column - m_fixedColumns);
    default:
        return nullptr;
    }
}

QTableWidgetItem* CGridCtrl::newItem() const {
    auto* it = new QTableWidgetItem();
    it->setBackground(toQColor(m_textBk));
    return it;
}

// Every cell has an item, so state and colour can be set on any of them.
void CGridCtrl::fillItems() {
    const QSignalBlocker block(this);
    const int bodyRows = std::max(0, m_rows - m_fixedRows);
    const int bodyColumns = std::max(0, m_columns - m_fixedColumns);
    QTableWidget::setRowCount(bodyRows);
    QTableWidget::setColumnCount(bodyColumns);
    for (int c = 0; c < bodyColumns; ++c)
        if (!horizontalHeaderItem(c))
            setHorizontalHeaderItem(c, new QTableWidgetItem(QString()));
    for (int r = 0; r < bodyRows; ++r)
        if (!verticalHeaderItem(r))
            setVerticalHeaderItem(r, new QTableWidgetItem(QString()));
    for (int r = 0; r < bodyRows; ++r)
        for (int c = 0; c < bodyColumns; ++c)
            if (!item(r, c))
                setItem(r, c, newItem());
    horizontalHeader()->setVisible(m_fixedRows > 0);
    verticalHeader()->setVisible(m_fixedColumns > 0);
}

bool CGridCtrl::SetRowCount(int rows) {
    if (rows < 0)
        return false;
    m_rows = rows;
    fillItems();
    return true;
}

bool CGridCtrl::SetColumnCount(int columns) {
    if (columns < 0)
        return false;
    m_columns = columns;
    fillItems();
    return true;
}

int CGridCtrl::GetRowCount() const {
    return m_rows;
}
int CGridCtrl::GetColumnCount() const {
    return m_columns;
}

bool CGridCtrl::SetFixedRowCount(int rows) {
    if (rows < 0 || rows > 1)
        return false;
    if (rows > m_rows)
        m_rows = rows;
    // The header row moves between the body and the header view.
    const int old = m_fixedRows;
    m_fixedRows = rows;
    if (old != rows) {
        QTableWidget::setRowCount(0);
        setVerticalHeaderLabels({});
    }
    fillItems();
    return true;
}

bool CGridCtrl::SetFixedColumnCount(int columns) {
    if (columns < 0 || columns > 1)
        return false;
    if (columns > m_columns)
        m_columns = columns;
    const int old = m_fixedColumns;
    m_fixedColumns = columns;
    if (old != columns) {
        QTableWidget::setColumnCount(0);
        setHorizontalHeaderLabels({});
    }
    fillItems();
    return true;
}

int CGridCtrl::InsertRow(const std::wstring& firstCellText, int before) {
    if (before < 0 || before >= m_rows)
        before = m_rows;
    if (before < m_fixedRows)
        return -1;
    {
        const QSignalBlocker block(this);
        QTableWidget::insertRow(before - m_fixedRows);
    }
    ++m_rows;
    fillItems();
    SetItemText(before, 0, firstCellText);
    return before;
}

bool CGridCtrl::DeleteRow(int row) {
    if (row < m_fixedRows || row >= m_rows)
        return false;
    QTableWidget::removeRow(row - m_fixedRows);
    --m_rows;
    return true;
}

void CGridCtrl::DeleteAllItems() {
    const QSignalBlocker block(this);
    clear();
    QTableWidget::setRowCount(0);
    QTableWidget::setColumnCount(0);
    m_rows = m_columns = 0;
    m_fixedRows = m_fixedColumns = 0;
    m_cornerText.clear();
    horizontalHeader()->setVisible(false);
    verticalHeader()->setVisible(false);
}

void CGridCtrl::DeleteNonFixedRows() {
    SetRowCount(m_fixedRows);
}

bool CGridCtrl::IsValid(int row, int column) const {
    return partOf(row, column) != Part::Invalid;
}

bool CGridCtrl::SetItemText(int row, int column, const std::wstring& text) {
    // Fixed cells are headers, shown in the current language; body cells hold data.
    const Part part = partOf(row, column);
    if (part == Part::Corner) {
        m_cornerText = TranslateW(text);
        // The corner is as wide as the row headers: widen them so the whole text shows.
        verticalHeader()->setMinimumWidth(
            fontMetrics().horizontalAdvance(QString::fromStdWString(m_cornerText)) + 12);
        if (m_corner)
            m_corner->update();
        return true;
    }
    QTableWidgetItem* it = itemAt(row, column);
    if (!it)
        return false;
    const QSignalBlocker block(this);
    it->setText(part == Part::Body ? QString::fromStdWString(text) : Translate(text));
    return true;
}

std::wstring CGridCtrl::GetItemText(int row, int column) const {
    if (partOf(row, column) == Part::Corner)
        return m_cornerText;
    const QTableWidgetItem* it = itemAt(row, column);
    return it ? it->text().toStdWString() : std::wstring();
}

bool CGridCtrl::SetItemFormat(int row, int column, unsigned format) {
    QTableWidgetItem* it = itemAt(row, column);
    if (!it)
        return partOf(row, column) == Part::Corner;
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (format & DT_CENTER)
        horizontal = Qt::AlignHCenter;
    else if (format & DT_RIGHT)
        horizontal = Qt::AlignRight;
    const QSignalBlocker block(this);
    it->setTextAlignment(horizontal | Qt::AlignVCenter);
    return true;
}

bool CGridCtrl::SetItemState(int row, int column, unsigned state) {
    const Part part = partOf(row, column);
    if (part != Part::Body)
        return part != Part::Invalid; // fixed cells are read-only and never selected
    QTableWidgetItem* it = itemAt(row, column);
    const QSignalBlocker block(this);
    Qt::ItemFlags flags = it->flags();
    flags.setFlag(Qt::ItemIsEditable, !(state & GVIS_READONLY));
    it->setFlags(flags);
    it->setSelected(state & GVIS_SELECTED);
    return true;
}

unsigned CGridCtrl::GetItemState(int row, int column) const {
    const Part part = partOf(row, column);
    if (part == Part::Invalid)
        return 0;
    if (part != Part::Body)
        return GVIS_FIXED | GVIS_READONLY;
    const QTableWidgetItem* it = itemAt(row, column);
    unsigned state = 0;
    if (!(it->flags() & Qt::ItemIsEditable))
        state |= GVIS_READONLY;
    if (it->isSelected())
        state |= GVIS_SELECTED;
    if (currentItem() == it)
        state |= GVIS_FOCUSED;
    return state;
}

bool CGridCtrl::IsCellSelected(int row, int column) const {
    return GetItemState(row, column) & GVIS_SELECTED;
}

bool CGridCtrl::IsCellEditable(int row, int column) const {
    return m_editable && partOf(row, column) == Part::Body && !(GetItemState(row, column) & GVIS_READONLY);
}

bool CGridCtrl::SetItemBkColour(int row, int column, COLORREF colour) {
    QTableWidgetItem* it = itemAt(row, column);
    if (!it)
        return false;
    const QSignalBlocker block(this);
    it->setBackground(toQColor(colour));
    return true;
}

COLORREF CGridCtrl::GetItemBkColour(int row, int column) const {
    const QTableWidgetItem* it = itemAt(row, column);
    if (!it || it->background().style() == Qt::NoBrush)
        return m_textBk;
    return fromQColor(it->background().color());
}

void CGridCtrl::SetTextBkColor(COLORREF colour) {
    // Cells still showing the old default follow the new one.
    const COLORREF old = m_textBk;
    m_textBk = colour;
    const QSignalBlocker block(this);
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            if (QTableWidgetItem* it = item(r, c); it && fromQColor(it->background().color()) == old)
                it->setBackground(toQColor(colour));
}

void CGridCtrl::SetDefCellHeight(int height) {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(height);
    for (int r = 0; r < rowCount(); ++r)
        QTableWidget::setRowHeight(r, height);
    horizontalHeader()->setFixedHeight(height);
}

bool CGridCtrl::SetRowHeight(int row, int height) {
    if (row < 0 || row >= m_rows || height < 0)
        return false;
    if (row < m_fixedRows)
        horizontalHeader()->setFixedHeight(height);
    else
        QTableWidget::setRowHeight(row - m_fixedRows, height);
    return true;
}

int CGridCtrl::GetRowHeight(int row) const {
    if (row < 0 || row >= m_rows)
        return -1;
    if (row < m_fixedRows)
        return horizontalHeader()->height();
    return QTableWidget::rowHeight(row - m_fixedRows);
}

bool CGridCtrl::SetColumnWidth(int column, int width) {
    if (column < 0 || column >= m_columns || width < 0)
        return false;
    if (column < m_fixedColumns)
        verticalHeader()->setFixedWidth(width);
    else
        QTableWidget::setColumnWidth(column - m_fixedColumns, width);
    return true;
}

int CGridCtrl::GetColumnWidth(int column) const {
    if (column < 0 || column >= m_columns)
        return -1;
    if (column < m_fixedColumns)
        return verticalHeader()->width();
    return QTableWidget::columnWidth(column - m_fixedColumns);
}

void CGridCtrl::applySelectionMode() {
    setSelectionBehavior(m_listMode ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setSelectionMode(m_singleRow ? QAbstractItemView::SingleSelection : QAbstractItemView::ExtendedSelection);
}

void CGridCtrl::SetListMode(bool listMode) {
    m_listMode = listMode;
    applySelectionMode();
}

void CGridCtrl::SetSingleRowSelection(bool single) {
    m_singleRow = single;
    applySelectionMode();
}

void CGridCtrl::SetGridLines(int lines) {
    // Qt draws both directions or none.
    m_gridLines = lines;
    setShowGrid(lines != GVL_NONE);
}

void CGridCtrl::SetEditable(bool editable) {
    m_editable = editable;
    setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                   QAbstractItemView::AnyKeyPressed
                             : QAbstractItemView::NoEditTriggers);
}

std::vector<int> CGridCtrl::GetSelectedRows() const {
    std::vector<int> rows;
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            if (item(r, c) && item(r, c)->isSelected()) {
                rows.push_back(r + m_fixedRows);
                break;
            }
    return rows;
}

void CGridCtrl::SelectRow(int row, bool selected) {
    if (row < m_fixedRows || row >= m_rows)
        return;
    for (int c = 0; c < columnCount(); ++c)
        if (QTableWidgetItem* it = item(row - m_fixedRows, c))
            it->setSelected(selected);
}

void CGridCtrl::Refresh() {
    viewport()->update();
}
