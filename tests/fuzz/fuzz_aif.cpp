// libFuzzer target: the area-of-interest file reader.
#include "engine/aiffile.h"
#include "fuzz_common.h"
#include "base/commonfun.h"

using namespace tessera;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = FuzzInputPath(".aif");
    if (!WriteFuzzInput(path, data, size))
        return 0;
    AifContent content;
    std::string error;
    if (ReadAifFile(CommonFun::M2U(path), content, &error)) {
        for (const std::vector<CPoint2D>& ring : content.polygons)
            FUZZ_CHECK(ring.size() >= kAifMinRingVertices);
        AifContent again;
        FUZZ_CHECK(ParseAifText(AifToText(content), again));
        FUZZ_CHECK(again == content);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    return 0;
}
