// libFuzzer target: the classification assistant file reader.
#include "engine/classifiedassistantfile.h"
#include "fuzz_common.h"
#include "base/commonfun.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = FuzzInputPath(".acf");
    if (!WriteFuzzInput(path, data, size))
        return 0;
    CClassifiedAssistantFile file;
    if (file.ReadClassifiedAssistantFile(CommonFun::M2U(path))) {
        FUZZ_CHECK(file.GetClassCount() <= CClassifiedAssistantFile::kMaxClassCount);
        CClassifiedAssistantFile again;
        std::string error;
        FUZZ_CHECK(again.ParseText(file.ToText(), error));
        FUZZ_CHECK(again == file);
    } else {
        FUZZ_CHECK(file.GetClassCount() == 0);
    }
    return 0;
}
