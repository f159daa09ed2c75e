#include "platform/xlistbox.h"

#include <algorithm>

XListBox::XListBox(bool multipleSelection, bool sorted, QWidget* parent)
    : QListWidget(parent), m_sorted(sorted) {
    setSelectionMode(multipleSelection ? QAbstractItemView::ExtendedSelection
                                       : QAbstractItemView::SingleSelection);
}

int XListBox::AddString(const std::wstring& text) {
    const QString t = QString::fromStdWString(text);
    int index = count();
    if (m_sorted) {
        index = 0;
        while (index < count() && QString::compare(item(index)->text(), t, Qt::CaseInsensitive) <= 0)
            ++index;
    }
    insertItem(index, t);
    return index;
}

int XListBox::InsertString(int index, const std::wstring& text) {
    if (index < 0 || index > count())
        index = count();
    insertItem(index, QString::fromStdWString(text));
    return index;
}

int XListBox::DeleteString(int index) {
    if (index < 0 || index >= count())
        return -1;
    delete takeItem(index);
    return count();
}

std::wstring XListBox::GetText(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? it->text().toStdWString() : std::wstring();
}

int XListBox::FindStringExact(const std::wstring& text) const {
    const QString t = QString::fromStdWString(text);
    for (int i = 0; i < count(); ++i)
        if (QString::compare(item(i)->text(), t, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int XListBox::GetCurSel() const {
    const std::vector<int> selected = GetSelItems();
    if (selectionMode() == QAbstractItemView::SingleSelection)
        return selected.empty() ? -1 : selected.front();
    return currentRow();
}

int XListBox::SetCurSel(int index) {
    if (index < 0 || index >= count()) {
        clearSelection();
        return -1;
    }
    setCurrentRow(index);
    item(index)->setSelected(true);
    return index;
}

bool XListBox::GetSel(int index) const {
    const QListWidgetItem* it = item(index);
    return it && it->isSelected();
}

void XListBox::SetSel(int index, bool selected) {
    if (index == -1) { // all items
        for (int i = 0; i < count(); ++i)
            item(i)->setSelected(selected);
        return;
    }
    if (QListWidgetItem* it = item(index))
        it->setSelected(selected);
}

int XListBox::GetSelCount() const {
    return static_cast<int>(GetSelItems().size());
}

std::vector<int> XListBox::GetSelItems() const {
    std::vector<int> rows;
    for (int i = 0; i < count(); ++i)
        if (item(i)->isSelected())
            rows.push_back(i);
    return rows;
}

void XListBox::SetItemData(int index, long long data) {
    if (QListWidgetItem* it = item(index))
        it->setData(Qt::UserRole, QVariant::fromValue(data));
}

long long XListBox::GetItemData(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? it->data(Qt::UserRole).toLongLong() : 0;
}
