#pragma once
// What the supervised windows share: choosing a file into a sorted list,
// opening the input raster (and the band list it gives), the sample file,
// output and area-of-interest choosers, and the progress window. Each
// window passes its control numbers and whether its choosers carry the host
// interface (CERFileDialog) or are the toolkit's own.

#include "engine/rastersource.h"
#include "platform/xdialog.h"

#include <memory>
#include <string>
#include <vector>

class CBaseProgress;
class CFileDialog;
class IControlerInterface;

// Shown when OK is pressed before an input raster could be opened.
inline constexpr const wchar_t* kSupervisedNoInput = L"请先选择一个能够打开的输入栅格文件！";

class SupervisedWindow : public XDialog {
public:
    struct Controls {
        int inputList, inputBrowse;
        int sampleList, sampleBrowse;
        int outputList, outputBrowse;
        int aoiButton;
    };

    const std::wstring& InputPath() const { return m_inputPath; }
    const std::wstring& SamplePath() const { return m_samplePath; }
    const std::wstring& OutputPath() const { return m_outputPath; }
    const std::wstring& AoiPath() const { return m_aoiPath; }
    // Band indices from 0 of the last raster opened (empty before).
    const std::vector<int>& BandList() const { return m_bandList; }
    const CRasterSource* InputRaster() const { return m_input.get(); }

protected:
    // host is null for the windows that use the toolkit's own choosers.
    SupervisedWindow(int templateId, IControlerInterface* host, bool hostChoosers, bool buildsBandList);

    void WireChoosers(const Controls& controls);
    void OnInputBrowse();
    void OnSampleBrowse();
    void OnOutputBrowse();
    void OnAoiBrowse();
    // After a confirmed output choice (the minimum distance window shows the file's title).
    virtual void OnOutputChosen(const CFileDialog&) {}

    // The input raster is open (its size goes into the record); otherwise
    // tells the user and returns false.
    bool RequireOpenInput();
    // A new progress window, shown, or null.
    CBaseProgress* StartProgress();

    IControlerInterface* m_host;
    std::wstring m_inputPath, m_samplePath, m_outputPath, m_aoiPath;
    std::vector<int> m_bandList;
    std::unique_ptr<CRasterSource> m_input;

private:
    // A chooser of this window's kind; true when the user confirmed.
    bool choose(bool open, const wchar_t* defaultExtension, unsigned flags, const wchar_t* filter,
                std::vector<std::wstring>& paths, std::unique_ptr<CFileDialog>& dialog);
    void listAndSelect(int listId, const std::wstring& path);
    void openInput(const std::wstring& path);

    bool m_hostChoosers;
    bool m_buildsBandList;
    Controls m_controls{};
};
