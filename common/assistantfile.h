#pragma once
// A classified image is paired with its classification assistant file (".acf").

#include <string>

// The image path up to, not including, its last "." (folders included in the
// search), followed by ".acf"; a path without any "." gets ".acf" appended.
std::wstring AssistantFilePath(const std::wstring& imagePath);

// Whether the assistant file of the image exists (tested through its narrow
// path, as the C runtime sees it).
bool AssistantFileExists(const std::wstring& imagePath);
