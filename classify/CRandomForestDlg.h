#pragma once
// Random forest classification window (template 6024): input raster, sample
// file, optional area of interest, output, and the number of trees and the
// deepest split. OK checks both against the ranges declared beside the
// record, fills a CRandomForestParam (the model written beside the output),
// starts the forest on a thread of its own with a progress window and
// closes. The choosers carry the host interface; no band list is sent and no
// path is checked here: the classifier reports empty or bad paths through
// its progress window.

#include "classify/SupervisedWindow.h"
#include "processing/rfclassify.h"

#include <cstdint>

namespace ForestSetup {

// Name of the task, shown as the progress window's title.
inline constexpr const wchar_t* TaskName = L"随机森林分类";
// Shown, with the caption "提示", when a parameter lies outside its range.
inline constexpr const wchar_t* InputWrong = L"输入的数据有误！";

// Whether the tree count and the depth lie in their declared ranges.
bool ParametersInRange(std::int32_t trees, std::int32_t depth);

} // namespace ForestSetup

class CRandomForestDlg : public SupervisedWindow {
public:
    enum { IDD = 6024 };
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_SAMPLE_LIST = 1003,
        IDC_SAMPLE_BROWSE = 1004,
        IDC_AOI = 1005,
        IDC_TREES = 1006,
        IDC_MAX_DEPTH = 1007,
        IDC_OUTPUT_LIST = 1008,
        IDC_OUTPUT_BROWSE = 1009,
        IDC_HELP_BUTTON = 1010,
    };

    explicit CRandomForestDlg(IControlerInterface* host);

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    std::int32_t m_trees = CRandomForestParam{}.m_treeCount;
    std::int32_t m_maxDepth = CRandomForestParam{}.m_maxDepth;
};
