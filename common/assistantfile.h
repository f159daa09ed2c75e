#pragma once
// A classified image is paired with its classification assistant file (".acf").

#include "engine/classifiedassistantfile.h" // PairedAssistantFilePath

#include <string>

// Whether the assistant file of the image exists (tested through its narrow
// path, as the C runtime sees it).
bool AssistantFileExists(const std::wstring& imagePath);
