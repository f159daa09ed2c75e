// libFuzzer target: the sample file reader.
#include "engine/classifysamplefile.h"
#include "fuzz_common.h"
#include "base/commonfun.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = FuzzInputPath(".cif");
    if (!WriteFuzzInput(path, data, size))
        return 0;
    CClassifySampleFile file;
    if (file.ReadClassifySampleFile(CommonFun::M2U(path))) {
        FUZZ_CHECK(file.m_sampleCount == static_cast<std::int32_t>(file.m_samples.size()));
        for (const ClassifySample* sample : file.m_samples) {
            const auto bands = static_cast<std::size_t>(sample->m_bandCount);
            FUZZ_CHECK(sample->m_mean.size() == bands && sample->m_covariance.size() == bands * bands);
            FUZZ_CHECK(sample->m_shapeCount == static_cast<std::int32_t>(sample->m_shapes.size()));
        }
        std::string error;
        const std::string bytes = file.ToBytes(error);
        FUZZ_CHECK(bytes.size() == size);
        CClassifySampleFile again;
        FUZZ_CHECK(again.ParseBytes(bytes, error));
        FUZZ_CHECK(again == file);
    }
    return 0;
}
