#include "common/assistantfile.h"

#include "platform/commonfun.h"

#include <sys/stat.h>

bool AssistantFileExists(const std::wstring& imagePath) {
    const std::string narrow = CommonFun::U2M(PairedAssistantFilePath(imagePath));
    struct stat info {};
    return ::stat(narrow.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
