#pragma once
// Everything a window asks of the user or of the desktop goes through one
// replaceable service: message boxes, file choosers, the colour chooser,
// modal dialogs and help pages. The default
// service shows real Qt dialogs; tests install a scripted one (ScopedUiServices)
// that answers from a script and records what was asked.

#include "base/wintypes.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class XDialog;
class QFileDialog;

struct MessageBoxRequest {
    std::wstring text;
    std::wstring caption;  // empty: the toolkit's default caption
    unsigned type = MB_OK; // buttons | icon
};

struct FileDialogRequest {
    bool open = true;
    std::wstring defaultExtension;        // as given, e.g. ".tif"; may be empty
    std::wstring fileName;                // initial file name
    unsigned flags = 0;                   // OFN_...
    std::wstring filter;                  // "desc|pattern|...||"
    bool hostAware = false;               // true for CERFileDialog (it was given the host interface)
    std::vector<std::wstring> hostLayers; // the host's open raster layers, offered beside the folders
};

struct FileDialogResult {
    bool accepted = false;
    std::vector<std::wstring> paths; // one, or several with OFN_ALLOWMULTISELECT
    int filterIndex = 1;             // 1-based index of the chosen file type
};

class IUiServices {
public:
    virtual ~IUiServices() = default;

    // Returns IDOK, IDYES, IDNO or IDCANCEL.
    virtual int MessageBox(const MessageBoxRequest& request) = 0;
    virtual FileDialogResult ChooseFile(const FileDialogRequest& request) = 0;
    // The chosen colour, or nothing when the user cancels.
    virtual std::optional<COLORREF> ChooseColor(COLORREF initial, unsigned flags) = 0;
    // Runs an already created modal dialog and returns its end code (IDOK/IDCANCEL).
    virtual int RunModal(XDialog& dialog) = 0;
    // Opens a help page (a local HTML file); false when it cannot be shown.
    virtual bool OpenHelpPage(int module, int topic, const std::wstring& pagePath) = 0;
};

// The service in force (never null).
IUiServices& UiServices();
// Replaces the service; returns the previous one. Null restores the Qt service.
IUiServices* SetUiServices(IUiServices* services);

// Installs a service for the lifetime of the object and restores the previous
// one on every way out.
class ScopedUiServices {
public:
    explicit ScopedUiServices(IUiServices& services) : m_previous(SetUiServices(&services)) {}
    ~ScopedUiServices() { SetUiServices(m_previous); }
    ScopedUiServices(const ScopedUiServices&) = delete;
    ScopedUiServices& operator=(const ScopedUiServices&) = delete;

private:
    IUiServices* m_previous;
};

// Message box through the service. An empty caption is the default caption.
int XMessageBox(const std::wstring& text, const std::wstring& caption = std::wstring(),
                unsigned type = MB_OK);

// The Qt chooser the default service shows for a request. The host's layers,
// when there are any, are listed under the folders (object name "hostLayers");
// activating one ends the chooser with that path (ChosenHostLayer).
std::unique_ptr<QFileDialog> BuildFileChooser(const FileDialogRequest& request);
std::wstring ChosenHostLayer(const QFileDialog& chooser);

// The caption used when a window gives none.
const std::wstring& DefaultMessageCaption();
