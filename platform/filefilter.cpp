#include "platform/filefilter.h"

#include "platform/translation.h"

namespace {

std::vector<std::wstring> split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos)
            return parts;
        start = end + 1;
    }
}

std::wstring trim(const std::wstring& s) {
    const size_t b = s.find_first_not_of(L' ');
    if (b == std::wstring::npos)
        return {};
    return s.substr(b, s.find_last_not_of(L' ') - b + 1);
}

} // namespace

std::vector<FileFilterEntry> ParseFileFilter(const std::wstring& filter) {
    std::vector<FileFilterEntry> entries;
    const std::vector<std::wstring> items = split(filter, L'|');
    // Items come in (description, patterns) pairs; the "||" end leaves empty items.
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i].empty() && items[i + 1].empty())
            break;
        FileFilterEntry entry;
        entry.description = items[i];
        for (const std::wstring& pattern : split(items[i + 1], L';')) {
            std::wstring p = trim(pattern);
            if (!p.empty())
                entry.patterns.push_back(p);
        }
        if (!entry.patterns.empty())
            entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::wstring> ToQtNameFilters(const std::vector<FileFilterEntry>& entries) {
    std::vector<std::wstring> filters;
    for (const FileFilterEntry& e : entries) {
        std::wstring f = TranslateW(trim(e.description)); // descriptions in the current language
        f += L" (";
        for (size_t i = 0; i < e.patterns.size(); ++i) {
            if (i)
                f += L' ';
            f += e.patterns[i];
        }
        f += L')';
        filters.push_back(f);
    }
    return filters;
}
