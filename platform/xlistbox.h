#pragma once
// List box of texts addressed by index, single or extended selection,
// optionally sorted, with one integer of data per item.

#include <QListWidget>

#include <string>
#include <vector>

class XListBox : public QListWidget {
    Q_OBJECT
public:
    XListBox(bool multipleSelection = false, bool sorted = false, QWidget* parent = nullptr);

    int AddString(const std::wstring& text);
    int InsertString(int index, const std::wstring& text);
    int DeleteString(int index); // the remaining count, or -1 for a bad index
    void ResetContent() { clear(); }
    int GetCount() const { return count(); }
    std::wstring GetText(int index) const;
    int FindStringExact(const std::wstring& text) const;

    int GetCurSel() const;        // single selection: the chosen index or -1
    int SetCurSel(int index);     // single selection
    bool GetSel(int index) const; // is the item selected
    void SetSel(int index, bool selected = true);
    int GetSelCount() const;
    std::vector<int> GetSelItems() const; // ascending

    void SetItemData(int index, long long data);
    long long GetItemData(int index) const;

private:
    bool m_sorted;
};
