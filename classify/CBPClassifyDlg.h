#pragma once
// Back-propagation neural network classification window (template 6023):
// input raster, sample file, optional area of interest, output, and the
// learning rate, maximum error and maximum number of learning iterations.
// OK checks the two real parameters against their ranges, fills a
// CSuperviseBPNNParam, starts the network classifier on a thread of its own
// with a progress window and closes. The choosers carry the host interface;
// no band list is sent and no path is checked here: the classifier reports
// empty or bad paths through its progress window.

#include "classify/SupervisedWindow.h"
#include "processing/bpnnclassify.h"

#include <cstdint>

namespace BPSetup {

// Shown, with the caption "提示", when a parameter lies outside its range.
inline constexpr const wchar_t* InputWrong = L"输入的数据有误！";

// Whether the learning rate and the maximum error lie in the ranges declared
// beside the record (0.01 to 1 and 0 to 1). The iteration count is not checked.
bool ParametersInRange(double learningRate, double maxError);

} // namespace BPSetup

class CBPClassifyDlg : public SupervisedWindow {
public:
    enum { IDD = 6023 };
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_SAMPLE_LIST = 1003,
        IDC_SAMPLE_BROWSE = 1004,
        IDC_AOI = 1005,
        IDC_LEARNING_RATE = 1006,
        IDC_MAX_ERROR = 1007,
        IDC_MAX_ITERATIONS = 1008,
        IDC_OUTPUT_LIST = 1009,
        IDC_OUTPUT_BROWSE = 1010,
        IDC_HELP_BUTTON = 1011,
    };

    explicit CBPClassifyDlg(IControlerInterface* host);

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnBnClickedHelp();

    // The values as of the last read of the edits (the guard restores these).
    double m_learningRate = CSuperviseBPNNParam{}.m_learningRate;
    double m_maxError = CSuperviseBPNNParam{}.m_maxError;
    std::uint32_t m_maxIterations = CSuperviseBPNNParam{}.m_maxIterations;
};
