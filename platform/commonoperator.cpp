#include "platform/commonoperator.h"

#include "base/commonfun.h"
#include "platform/uiservices.h"

#include <dlfcn.h>

#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* moduleFolder(FunctionModuleType module) {
    switch (module) {
    case FUNCTION_MODULE_CLASSIFY:
        return "classification";
    }
    return nullptr;
}

// Installed copy beside the library first, then the source tree's.
std::vector<fs::path> helpRoots() {
    std::vector<fs::path> roots;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&CommonOperator::HelpPagePath), &info) && info.dli_fname) {
        const fs::path libDir = fs::path(info.dli_fname).parent_path();
        roots.push_back(libDir / ".." / "share" / "tessera" / "help");
    }
#ifdef TESSERA_HELP_SOURCE_DIR
    roots.emplace_back(TESSERA_HELP_SOURCE_DIR);
#endif
    return roots;
}

} // namespace

std::wstring CommonOperator::HelpPagePath(FunctionModuleType module, int topic) {
    const char* folder = moduleFolder(module);
    if (!folder || topic <= 0)
        return {};
    const std::string page = "topic-" + std::to_string(topic) + ".html";
    for (const fs::path& root : helpRoots()) {
        std::error_code ec;
        const fs::path candidate = root / folder / page;
        if (fs::is_regular_file(candidate, ec))
            return CommonFun::M2U(fs::weakly_canonical(candidate, ec).string());
    }
    return {};
}

bool CommonOperator::ShowHelpChm(FunctionModuleType module, int topic) {
    const std::wstring page = HelpPagePath(module, topic);
    if (page.empty())
        return false;
    return UiServices().OpenHelpPage(static_cast<int>(module), topic, page);
}
