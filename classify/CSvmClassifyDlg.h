#pragma once
// Support vector machine classification window (template 6022): input
// raster, sample file, optional area of interest, output, and the kernel
// with its parameters. OK fills a CSvmClassifyParam, starts the SVM
// classifier on a thread of its own with a progress window and closes. The
// choosers carry the host interface; no band list is sent (the classifier
// takes every band) and no path is checked here: the classifier reports
// empty or bad paths through its progress window.

#include "classify/SupervisedWindow.h"
#include "processing/svmclassify.h"

#include <cstdint>
#include <string>

namespace SvmSetup {

// Name of the task, shown as the progress window's title.
inline constexpr const wchar_t* TaskName = L"支持向量机分类";

// The kernel list, in the order of the kernel type values (0 to 3).
inline constexpr const wchar_t* KernelNames[] = {L"Linear", L"Polynomial", L"RBF", L"Sigmoid"};

// Which parameter edits a kernel uses: the coefficient (constant term) of
// the polynomial and sigmoid kernels, gamma of all but the linear one, and
// the degree of the polynomial one.
struct KernelEdits {
    bool coefficient;
    bool gamma;
    bool degree;
};
KernelEdits EditsOfKernel(int kernel);

} // namespace SvmSetup

class CSvmClassifyDlg : public SupervisedWindow {
public:
    enum { IDD = 6022 };
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_SAMPLE_LIST = 1003,
        IDC_SAMPLE_BROWSE = 1004,
        IDC_AOI = 1005,
        IDC_KERNEL = 1006,
        IDC_COEFFICIENT = 1007,
        IDC_GAMMA = 1008,
        IDC_DEGREE = 1009,
        IDC_OUTPUT_LIST = 1010,
        IDC_OUTPUT_BROWSE = 1011,
        IDC_HELP_BUTTON = 1012,
    };

    explicit CSvmClassifyDlg(IControlerInterface* host);

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnKernelChanged();
    void OnBnClickedHelp();
    int SelectedKernel() const;

    double m_coefficient = CSvmClassifyParam{}.m_coef0;
    double m_gamma = CSvmClassifyParam{}.m_gamma;
    std::int32_t m_degree = CSvmClassifyParam{}.m_degree;
};
