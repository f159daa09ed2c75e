#pragma once
// The dedicated minimum distance window (template 6006): reads the class
// means from the sample file itself and hands them to the classifier in the
// record; output always GeoTIFF. Its choosers are the toolkit's own.

#include "classify/SupervisedWindow.h"
#include "engine/classifysamplefile.h"
#include "processing/supervised.h"

// The class mean list of a sample file: one array of band means per sample,
// in list order.
std::vector<std::vector<double>> ClassMeansOf(const CClassifySampleFile& file);

class CMinDistanceClassifyDlg : public SupervisedWindow {
public:
    enum { IDD = 6006 };
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_SAMPLE_LIST = 1003,
        IDC_SAMPLE_BROWSE = 1004,
        IDC_AOI = 1005,
        IDC_MAX_STDDEV = 1006,
        IDC_MAX_DISTANCE_ERROR = 1007,
        IDC_OUTPUT_LIST = 1008,
        IDC_OUTPUT_BROWSE = 1009,
        IDC_HELP_BUTTON = 1010,
    };

    CMinDistanceClassifyDlg();

    const CSuperviseParam& Record() const { return m_record; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnOutputChosen(const CFileDialog& dialog) override;

private:
    CClassifySampleFile m_sampleFile;
    CSuperviseParam m_record;
};
