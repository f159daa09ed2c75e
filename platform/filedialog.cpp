#include "platform/filedialog.h"

#include "base/commonfun.h"

namespace {
HostLayerLister& hostLayerLister() {
    static HostLayerLister lister;
    return lister;
}
} // namespace

void SetHostLayerLister(HostLayerLister lister) {
    hostLayerLister() = std::move(lister);
}

CFileDialog::CFileDialog(bool open, const wchar_t* defaultExtension, const wchar_t* fileName, unsigned flags,
                         const wchar_t* filter, QWidget*, unsigned, bool) {
    m_request.open = open;
    m_request.defaultExtension = defaultExtension ? defaultExtension : L"";
    m_request.fileName = fileName ? fileName : L"";
    m_request.flags = flags;
    m_request.filter = filter ? filter : L"";
}

int CFileDialog::DoModal() {
    m_result = UiServices().ChooseFile(m_request);
    if (!m_result.accepted || m_result.paths.empty()) {
        m_result = FileDialogResult{};
        return IDCANCEL;
    }
    return IDOK;
}

std::wstring CFileDialog::GetPathName() const {
    return m_result.paths.empty() ? L"" : m_result.paths.front();
}

std::wstring CFileDialog::GetFileName() const {
    const std::wstring path = GetPathName();
    const size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring CFileDialog::GetFileTitle() const {
    const std::wstring name = GetFileName();
    return name.substr(0, name.rfind(L'.'));
}

std::wstring CFileDialog::GetFileExt() const {
    return CommonFun::GetExtensionName(GetPathName());
}

CERFileDialog::CERFileDialog(bool open, const wchar_t* defaultExtension, const wchar_t* fileName,
                             unsigned flags, const wchar_t* filter, QWidget* parent, unsigned structSize,
                             bool newStyle, IControlerInterface* host)
    : CFileDialog(open, defaultExtension, fileName, flags, filter, parent, structSize, newStyle),
      m_host(host) {
    m_request.hostAware = true;
    if (host && hostLayerLister())
        m_request.hostLayers = hostLayerLister()(host, m_request);
}

CColorDialog::CColorDialog(COLORREF initial, unsigned flags, QWidget*) : m_colour(initial), m_flags(flags) {}

int CColorDialog::DoModal() {
    const std::optional<COLORREF> chosen = UiServices().ChooseColor(m_colour, m_flags);
    if (!chosen)
        return IDCANCEL;
    m_colour = *chosen;
    return IDOK;
}
