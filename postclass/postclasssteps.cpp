#include "postclass/postclasssteps.h"

#include "classify/CDlgUnsuperviseClassify.h"
#include "common/filters.h"
#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "platform/filedialog.h"
#include "platform/xcombobox.h"
#include "platform/xdialog.h"
#include "platform/xlistbox.h"

#include <QPalette>

namespace PostClassSteps {

namespace {

std::optional<ChosenFile> choose(const Chooser& chooser, bool open, const wchar_t* filter) {
    std::unique_ptr<CFileDialog> dialog;
    if (chooser.hostAware)
        dialog = std::make_unique<CERFileDialog>(open, DefaultExt::Raster, nullptr, kFileDialogFlags, filter,
                                                 nullptr, 0, true, chooser.host);
    else
        dialog = std::make_unique<CFileDialog>(open, DefaultExt::Raster, nullptr, kFileDialogFlags, filter);
    if (dialog->DoModal() != IDOK)
        return std::nullopt;
    return ChosenFile{dialog->GetPathName(), dialog->GetFilterIndex()};
}

} // namespace

std::optional<ChosenFile> ChooseInputImage(const Chooser& chooser) {
    return choose(chooser, true, Filters::RasterInput);
}

std::optional<ChosenFile> ChooseOutputImage(const Chooser& chooser) {
    return choose(chooser, false, Filters::RasterOutput);
}

// The save types and codes are those of the classification windows.
std::wstring OutputWordForSaveType(int saveType) {
    return UnsupervisedSetup::ExtensionWordForSaveType(saveType);
}

int FormatCodeForWord(const std::wstring& word) {
    return UnsupervisedSetup::FormatCodeForWord(word);
}

bool ProbeRaster(const std::wstring& path, std::unique_ptr<CRasterSource>& raster, AlgorithmParam& record) {
    raster = std::make_unique<CRasterSource>();
    if (raster->Open(path, GIS_READONLY, true) != GIS_OK)
        return false;
    record.m_left = 0;
    record.m_top = 0;
    record.m_right = raster->GetWidth();
    record.m_bottom = raster->GetHeight();
    const int bands = raster->GetBandCount();
    record.m_outputDataType = raster->GetRasterDataType();
    record.m_bandList.clear();
    for (int b = 0; b < bands; ++b)
        record.m_bandList.push_back(b);
    record.m_outputBandCount = bands;
    return true;
}

bool ReadAssistantFileOf(const std::wstring& imagePath, CClassifiedAssistantFile& acf) {
    acf.Clear();
    return acf.ReadClassifiedAssistantFile(PairedAssistantFilePath(imagePath));
}

void AddAndSelect(XComboBox* list, const std::wstring& path) {
    if (list)
        list->SetCurSel(list->AddString(path));
}

std::wstring WithoutLeadingBlanks(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    return first == std::wstring::npos ? std::wstring() : text.substr(first);
}

void ApplyListColours(XDialog& dialog) {
    for (XListBox* list : dialog.findChildren<XListBox*>()) {
        QPalette palette = list->palette();
        palette.setColor(QPalette::Text, QColor(156, 170, 193));
        list->setPalette(palette); // item texts are drawn without a background of their own
    }
}

} // namespace PostClassSteps
