#pragma once
// The supervised classification window for five classifier kinds (template
// 6008): input raster, sample file, optional area of interest, output, and
// a threshold whose meaning and visibility depend on the kind. OK fills the
// record, asks the factory for the kind's classifier, starts it with a
// progress window and closes.

#include "classify/SupervisedWindow.h"
#include "processing/supervised.h"

namespace SupervisedCommonSetup {

struct KindText {
    const wchar_t* title;
    const wchar_t* thresholdLabel;
    bool thresholdShown;
    int helpTopic; // 0: the help button does nothing
};
// Title, threshold label, visibility and help of a kind.
KindText TextsOfKind(SuperviseClassifyType kind);
// Where the kind's threshold starts: its rule's declared default.
double InitialThreshold(SuperviseClassifyType kind);
// "%f" of the threshold (0.5 gives "0.500000").
std::wstring ThresholdText(double threshold);

} // namespace SupervisedCommonSetup

class CDlgSupperviseCommon : public SupervisedWindow {
public:
    enum { IDD = 6008 };
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_SAMPLE_LIST = 1003,
        IDC_SAMPLE_BROWSE = 1004,
        IDC_AOI = 1005,
        IDC_THRESHOLD_LABEL = 1006,
        IDC_THRESHOLD = 1007,
        IDC_OUTPUT_LIST = 1008,
        IDC_OUTPUT_BROWSE = 1009,
        IDC_HELP_BUTTON = 1010,
    };

    CDlgSupperviseCommon(SuperviseClassifyType kind, IControlerInterface* host);

    SuperviseClassifyType Kind() const { return m_kind; }
    double Threshold() const { return m_threshold; }
    const CSuperviseCommonParam& Record() const { return m_record; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnBnClickedHelp();

    SuperviseClassifyType m_kind;
    double m_threshold;
    std::wstring m_thresholdLabel;
    CSuperviseCommonParam m_record;
};
