#pragma once
// Help: bundled HTML pages, one per module and topic, under the help folder
// (docs/help/ in the source tree, share/tessera/help/ once installed).

#include <string>

enum FunctionModuleType {
    FUNCTION_MODULE_CLASSIFY = 4, // image classification
};

class CommonOperator {
public:
    // Opens the page of the topic in the module's help. False when the page
    // does not exist or cannot be shown.
    static bool ShowHelpChm(FunctionModuleType module, int topic);
    // The page's path, or empty when there is none.
    static std::wstring HelpPagePath(FunctionModuleType module, int topic);
};
