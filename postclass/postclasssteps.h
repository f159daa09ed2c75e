#pragma once
// The steps the class merge, class filter and class clump windows share:
// choosing the input and output images, probing the input raster, reading
// the assistant file, the output format code and the launch of the task.
// Plain functions: no widget in their signatures except the lists they fill.

#include "processing/basealgorithm.h"
#include "processing/progress.h"
#include "progressui/processuilib.h"

#include <memory>
#include <optional>
#include <string>

class CClassifiedAssistantFile;
class CRasterSource;
class IControlerInterface;
class XComboBox;
class XDialog;

namespace PostClassSteps {

// A file chosen in a chooser and the 1-based save type it was chosen with.
struct ChosenFile {
    std::wstring path;
    int saveType = 1;
};

// How a window opens its choosers: the host-aware chooser (given the host
// interface) or the toolkit's standard one.
struct Chooser {
    bool hostAware = false;
    IControlerInterface* host = nullptr;
};

// Input choice, step 1: an open chooser for a raster; nothing when cancelled.
std::optional<ChosenFile> ChooseInputImage(const Chooser& chooser);
// Output choice, step 1: a save chooser for a raster; nothing when cancelled.
std::optional<ChosenFile> ChooseOutputImage(const Chooser& chooser);

// The output format word of a save type ("tif", "img" or empty) and the
// format code of a word (38, 20 or 0).
std::wstring OutputWordForSaveType(int saveType);
int FormatCodeForWord(const std::wstring& word);

// Raster probe: replaces the window's raster object with one opened on
// path; on success sets the record's processing rectangle to the whole
// image, its output pixel type to the image's, its band list to 0 .. n-1 and
// its output band count to n. False (record untouched) when it cannot be read.
bool ProbeRaster(const std::wstring& path, std::unique_ptr<CRasterSource>& raster, AlgorithmParam& record);

// Empties the assistant file object and reads the file paired with the
// image into it; false when it cannot be read.
bool ReadAssistantFileOf(const std::wstring& imagePath, CClassifiedAssistantFile& acf);

// Adds a path to a drop-down list of paths and makes it the selected entry.
void AddAndSelect(XComboBox* list, const std::wstring& path);

// Text with its leading blanks removed, as class names are compared.
std::wstring WithoutLeadingBlanks(const std::wstring& text);

// The list boxes' colours of the filter and clump windows: the skin's, with
// text in red 156, green 170, blue 193 on a transparent background.
void ApplyListColours(XDialog& dialog);

// Launch: a progress window (shown, and closing itself at the end when
// asked), the algorithm made with the record, started on its own thread.
// The window keeps neither: the task owns itself.
template <class Algorithm, class Record> void Launch(const Record& record, bool autoClose) {
    CBaseProgress* progress = CProcessUILib::CreateProgressDlg();
    if (progress) {
        if (autoClose)
            if (auto* data = dynamic_cast<CDataProgress*>(progress))
                data->SetAutoClose(true);
        progress->Show(0);
    }
    auto* algorithm = new Algorithm(&record);
    algorithm->SetProgress(progress);
    algorithm->ProcessFromNewThread(true);
}

} // namespace PostClassSteps
