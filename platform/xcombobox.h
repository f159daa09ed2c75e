#pragma once
// Drop-down list of texts, addressed by index; optionally kept sorted.

#include <QComboBox>

#include <string>

class XComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit XComboBox(bool sorted = false, QWidget* parent = nullptr);

    // Adds a text (at its sorted place in a sorted list) and returns its index.
    int AddString(const std::wstring& text);
    int InsertString(int index, const std::wstring& text);
    int DeleteString(int index); // the remaining count, or -1 for a bad index
    void ResetContent() { clear(); }
    int GetCount() const { return count(); }
    int GetCurSel() const { return currentIndex(); } // -1 when nothing is chosen
    int SetCurSel(int index);                        // -1 for a bad index
    std::wstring GetLBText(int index) const;
    int FindStringExact(const std::wstring& text) const;
    bool IsSorted() const { return m_sorted; }

private:
    void insertItemKeepingSelection(int index, const QString& text);
    bool m_sorted;
};
