#include "common/assistantfile.h"

#include "platform/commonfun.h"

#include <sys/stat.h>

std::wstring AssistantFilePath(const std::wstring& imagePath) {
    const size_t dot = imagePath.rfind(L'.');
    return (dot == std::wstring::npos ? imagePath : imagePath.substr(0, dot)) + L".acf";
}

bool AssistantFileExists(const std::wstring& imagePath) {
    const std::string narrow = CommonFun::U2M(AssistantFilePath(imagePath));
    struct stat info {};
    return ::stat(narrow.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
