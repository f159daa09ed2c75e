#pragma once
// Unsupervised classification window (template 6000): the input raster, the
// output raster, an optional area of interest and the K-Means or ISODATA
// parameters. OK fills the method's record, starts its algorithm on a thread
// of its own with a progress window, and closes the window. The window opens
// no raster and computes nothing itself: the record is built by the plain
// functions below.

#include "platform/xdialog.h"
#include "processing/unsupervised.h"

#include <string>

class IControlerInterface;

namespace UnsupervisedSetup {

inline constexpr const wchar_t* KMeansName = L"K均值分类算法";
inline constexpr const wchar_t* ISODATAName = L"ISODATA分类";

// The output extension word of the output chooser's save type (1-based, in
// the order of the raster output filter): TIFF and GeoTiff "tif", IMAGINE
// "img", PCI, all files and anything else the empty word.
std::wstring ExtensionWordForSaveType(int saveType);
// The output raster format code of an extension word, compared
// case-sensitively: "tif" 38, "img" 20, anything else 0.
int FormatCodeForWord(const std::wstring& word);

// What the user chose with the window's choosers.
struct Choice {
    std::wstring inputPath;
    std::wstring outputPath;
    std::wstring outputWord; // "tif", "img" or empty
    std::wstring aoiPath;    // empty: the whole image
    IControlerInterface* host = nullptr;
};

// The initial text of a field: its parameter's declared default ("5", "0.05").
std::wstring InitialText(const char* parameter);

// The parameter fields' texts as typed.
struct FieldTexts {
    std::wstring classCount = InitialText("classes");
    std::wstring threshold = InitialText("change");
    std::wstring iterations = InitialText("iterations");
    std::wstring minClassDistance = InitialText("min-distance"); // ISODATA only
    std::wstring maxMergePairs = InitialText("merge-pairs");     // ISODATA only
    std::wstring minPixelCount = InitialText("min-pixels");      // ISODATA only
    std::wstring stdDev = InitialText("std-dev");                // ISODATA only
};

KMeanClassifyParam BuildKMeanRecord(const Choice& choice, const FieldTexts& texts);
ISODATAClassifyParam BuildISODATARecord(const Choice& choice, const FieldTexts& texts);

} // namespace UnsupervisedSetup

class CDlgUnsuperviseClassify : public XDialog {
public:
    enum { IDD = 6000 };
    // Control numbers of template 6000.
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_METHOD_KMEANS = 1003,
        IDC_METHOD_ISODATA = 1004,
        IDC_CLASS_COUNT = 1005,
        IDC_THRESHOLD = 1006,
        IDC_ITERATIONS = 1007,
        IDC_MIN_DISTANCE = 1008,
        IDC_MERGE_PAIRS = 1009,
        IDC_MIN_PIXELS = 1010,
        IDC_STD_DEV = 1011,
        IDC_OUTPUT_PATH = 1012,
        IDC_OUTPUT_BROWSE = 1013,
        IDC_AOI = 1014,
        IDC_HELP_BUTTON = 1015,
    };
    enum Method { MethodKMeans = 0, MethodISODATA = 1 };

    explicit CDlgUnsuperviseClassify(IControlerInterface* host);

    // The window's state, as the commands leave it.
    const std::wstring& InputPath() const { return m_inputPath; }
    const std::wstring& OutputPath() const { return m_outputPath; }
    const std::wstring& OutputWord() const { return m_outputWord; }
    const std::wstring& AoiPath() const { return m_aoiPath; }
    int GetMethod() const { return m_method; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnBnClickedInputBrowse();
    void OnBnClickedKMeans();
    void OnBnClickedISODATA();
    void OnBnClickedOutputBrowse();
    void OnBnClickedAoi();
    void OnBnClickedHelp();
    void SetISODATAFieldsReadOnly(bool readOnly);
    UnsupervisedSetup::FieldTexts ReadFieldTexts() const;

    IControlerInterface* m_host;
    std::wstring m_inputPath;
    std::wstring m_outputPath;
    std::wstring m_outputWord;
    std::wstring m_aoiPath;
    int m_method = MethodKMeans;
};
