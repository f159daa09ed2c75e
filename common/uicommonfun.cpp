#include "common/uicommonfun.h"

void CUICommonFun::CONVERT_EXTNAME(std::wstring& name, std::wstring extension) {
    if (extension.empty())
        return;
    const size_t fileStart =
        name.find_last_of(L"/\\") == std::wstring::npos ? 0 : name.find_last_of(L"/\\") + 1;
    // The last dot, found by searching forward from the start of the file name.
    size_t dot = std::wstring::npos;
    for (size_t at = name.find(L'.', fileStart); at != std::wstring::npos; at = name.find(L'.', at + 1))
        dot = at;
    if (dot == std::wstring::npos) {
        name += L'.';
        name += extension;
        return;
    }
    for (size_t i = 0; i < extension.size(); ++i) {
        const size_t position = dot + 1 + i;
        if (position < name.size())
            name[position] = extension[i];
        else
            name += extension[i];
    }
}
