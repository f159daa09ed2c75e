#include "platform/xcombobox.h"

XComboBox::XComboBox(bool sorted, QWidget* parent) : QComboBox(parent), m_sorted(sorted) {
    setEditable(false);
}

int XComboBox::AddString(const std::wstring& text) {
    const QString t = QString::fromStdWString(text);
    int index = count();
    if (m_sorted) {
        // Case-insensitive, like the desktop's sorted lists; equal texts keep insertion order.
        index = 0;
        while (index < count() && QString::compare(itemText(index), t, Qt::CaseInsensitive) <= 0)
            ++index;
    }
    insertItemKeepingSelection(index, t);
    return index;
}

// A drop-down list starts with nothing chosen; Qt would choose the first
// text added.
void XComboBox::insertItemKeepingSelection(int index, const QString& text) {
    const int chosen = currentIndex();
    insertItem(index, text);
    if (chosen < 0)
        setCurrentIndex(-1);
}

int XComboBox::InsertString(int index, const std::wstring& text) {
    if (index < 0 || index > count())
        index = count();
    insertItemKeepingSelection(index, QString::fromStdWString(text));
    return index;
}

int XComboBox::DeleteString(int index) {
    if (index < 0 || index >= count())
        return -1;
    removeItem(index);
    return count();
}

int XComboBox::SetCurSel(int index) {
    if (index < -1 || index >= count()) {
        setCurrentIndex(-1);
        return -1;
    }
    setCurrentIndex(index);
    return index;
}

std::wstring XComboBox::GetLBText(int index) const {
    if (index < 0 || index >= count())
        return {};
    return itemText(index).toStdWString();
}

int XComboBox::FindStringExact(const std::wstring& text) const {
    return findText(QString::fromStdWString(text), Qt::MatchFixedString);
}
