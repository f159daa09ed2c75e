#pragma once
// File-type filters in the desktop's common form: pairs of a description and
// a semicolon-separated pattern list, every item followed by "|", the whole
// ended by an extra "|" ("TIFF (*.tif)|*.tif|All (*.*)|*.*||").

#include <string>
#include <vector>

struct FileFilterEntry {
    std::wstring description;
    std::vector<std::wstring> patterns;
};

// Splits a filter into its entries. A trailing description without patterns
// is dropped; an empty text gives no entry.
std::vector<FileFilterEntry> ParseFileFilter(const std::wstring& filter);

// The filter as Qt name filters ("desc (*.tif *.tiff)"), in the same order, the
// descriptions in the current language.
std::vector<std::wstring> ToQtNameFilters(const std::vector<FileFilterEntry>& entries);
