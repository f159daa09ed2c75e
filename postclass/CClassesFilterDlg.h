#pragma once
// Class filter window (template 6014): the input classified image, the
// classes to filter moved into a second list, the neighbourhood (4 or 8) and
// the threshold. OK hands them to CClassifiedSieve on a thread of its own
// and closes.

#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "platform/xdialog.h"
#include "processing/postclassify.h"

#include <memory>
#include <string>
#include <vector>

class CClassesFilterDlg : public XDialog {
public:
    enum { IDD = 6014 };
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_OUTPUT_LIST = 1003,
        IDC_OUTPUT_BROWSE = 1004,
        IDC_INPUT_CLASSES = 1005,
        IDC_ADD_ALL = 1006,
        IDC_ADD = 1007,
        IDC_REMOVE = 1008,
        IDC_REMOVE_ALL = 1009,
        IDC_FILTER_CLASSES = 1010,
        IDC_NEIGHBOURHOOD = 1011,
        IDC_THRESHOLD = 1012,
        IDC_SPIN = 1013,
        IDC_HELP_BUTTON = 1014,
        IDC_SPIN_UP = 1015, // the two halves of the spin button
        IDC_SPIN_DOWN = 1016,
    };
    // The spin button's range and step.
    static constexpr int kSpinMin = 0, kSpinMax = 100;

    CClassesFilterDlg();

    const CClassifiedSieveParam& Record() const { return m_record; }
    unsigned Threshold() const { return m_threshold; }
    const std::wstring& OutputWord() const { return m_outputWord; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnBnClickedInputBrowse();
    void OnBnClickedOutputBrowse();
    void OnBnClickedAddAll();
    void OnBnClickedAdd();
    void OnBnClickedRemove();
    void OnBnClickedRemoveAll();
    void OnBnClickedHelp();
    void OnSpin(int delta);

    std::unique_ptr<CRasterSource> m_raster;
    CClassifiedAssistantFile m_assistant;
    std::wstring m_outputWord;
    unsigned m_threshold = 2;
    CClassifiedSieveParam m_record;
};

// The texts of the "过滤类别" list that ">" appends: each selected input
// text, without leading blanks, unless an equal text is already listed.
std::vector<std::wstring> FilterClassesToAdd(const std::vector<std::wstring>& selected,
                                             const std::vector<std::wstring>& listed);
// The spin button's next value from the edit's text: the text read as a
// whole number, moved by delta and kept within 0 .. 100.
int SpinValue(const std::wstring& text, int delta);
