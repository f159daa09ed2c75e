#pragma once
// File choosers. CFileDialog is the toolkit's standard open/save chooser;
// CERFileDialog is the same chooser for windows that hold the host interface
// (it keeps the interface for the host's use). Both go through the UI
// service, so tests script the answer.

#include "platform/uiservices.h"

#include <functional>
#include <string>
#include <vector>

class QWidget;
class IControlerInterface;

class CFileDialog {
public:
    CFileDialog(bool open, const wchar_t* defaultExtension = nullptr, const wchar_t* fileName = nullptr,
                unsigned flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const wchar_t* filter = nullptr,
                QWidget* parent = nullptr, unsigned structSize = 0, bool newStyle = true);
    virtual ~CFileDialog() = default;

    // IDOK when the user chose a file, IDCANCEL otherwise.
    virtual int DoModal();

    std::wstring GetPathName() const; // the first chosen path
    std::vector<std::wstring> GetPathNames() const { return m_result.paths; }
    std::wstring GetFileName() const;                           // the name with its extension, no folder
    std::wstring GetFileTitle() const;                          // the name without folder and extension
    std::wstring GetFileExt() const;                            // the extension without its dot
    int GetFilterIndex() const { return m_result.filterIndex; } // 1-based chosen file type
    const FileDialogRequest& Request() const { return m_request; }

protected:
    FileDialogRequest m_request;
    FileDialogResult m_result;
};

// What the host behind an interface offers a chooser beside the folders (its
// open raster layers for a raster chooser); a host application installs one.
using HostLayerLister =
    std::function<std::vector<std::wstring>(IControlerInterface*, const FileDialogRequest&)>;
void SetHostLayerLister(HostLayerLister lister);

class CERFileDialog : public CFileDialog {
public:
    CERFileDialog(bool open, const wchar_t* defaultExtension, const wchar_t* fileName, unsigned flags,
                  const wchar_t* filter, QWidget* parent, unsigned structSize, bool newStyle,
                  IControlerInterface* host);
    IControlerInterface* GetHost() const { return m_host; }

private:
    IControlerInterface* m_host;
};

// The colour chooser.
class CColorDialog {
public:
    explicit CColorDialog(COLORREF initial = 0, unsigned flags = 0, QWidget* parent = nullptr);
    int DoModal(); // IDOK or IDCANCEL
    COLORREF GetColor() const { return m_colour; }

private:
    COLORREF m_colour;
    unsigned m_flags;
};
