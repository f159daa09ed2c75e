#pragma once
// Class clump window (template 6013): the input classified image, the
// classes to clump, the structuring element (horizontal, vertical or a
// custom 3 × 3). OK hands them to ClassifyClump on a thread of its own and
// closes.

#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "platform/xdialog.h"
#include "processing/postclassify.h"

#include <array>
#include <memory>
#include <string>

class CClassesClumpDlg : public XDialog {
public:
    enum { IDD = 6013 };
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_OUTPUT_LIST = 1003,
        IDC_OUTPUT_BROWSE = 1004,
        IDC_CLASSES = 1005,
        IDC_SELECT_ALL = 1006,
        IDC_SELECT_NONE = 1007,
        IDC_MODE_HORIZONTAL = 1008,
        IDC_MODE_VERTICAL = 1009,
        IDC_MODE_CUSTOM = 1010,
        IDC_BOX_FIRST = 1011, // nine boxes, 1011 .. 1019, row by row
        IDC_HELP_BUTTON = 1020,
    };
    enum Mode { ModeHorizontal = 0, ModeVertical = 1, ModeCustom = 2 };

    CClassesClumpDlg();

    const CClassifyClumpParam& Record() const { return m_record; }
    int GetMode() const { return m_mode; }
    int ClassCount() const { return m_classCount; }
    const std::wstring& OutputPath() const { return m_outputPath; }
    const std::wstring& OutputWord() const { return m_outputWord; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnBnClickedInputBrowse();
    void OnBnClickedOutputBrowse();
    void OnBnClickedSelectAll();
    void OnBnClickedSelectNone();
    void OnSelChangeClasses();
    void OnBnClickedMode(int mode);
    void OnBnClickedHelp();
    void EnableBoxes(bool enabled);

    std::unique_ptr<CRasterSource> m_raster;
    CClassifiedAssistantFile m_assistant;
    int m_classCount = 0;
    std::wstring m_outputPath;
    std::wstring m_outputWord;
    int m_mode = ModeHorizontal;
    std::array<int, 9> m_boxes{1, 1, 1, 1, 1, 1, 1, 1, 1};
    CClassifyClumpParam m_record;
};

// The structuring element of a mode: values row by row, rows, columns,
// anchor column and row. Mode 2 takes the nine boxes (non-zero: member).
struct StructuringElement {
    std::vector<double> values;
    int rows = 0, columns = 0, anchorColumn = 0, anchorRow = 0;
};
StructuringElement ElementForMode(int mode, const std::array<int, 9>& boxes);
