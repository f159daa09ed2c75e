// libFuzzer target: the BP network model reader. A refusal is one line; a
// model it accepts has arrays of the sizes its counts give, and the writer's
// text of it reads back as the same model.
#include "fuzz_common.h"
#include "processing/bpnnmodelfile.h"

#include <string>
#include <string_view>

using namespace tessera;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    BpnnModelText model;
    std::string error;
    if (!ParseBpnnModelText(text, model, error)) {
        FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos && model.bands == 0);
        return 0;
    }
    const std::size_t bands = model.bands, classes = model.classes, hidden = model.hidden;
    FUZZ_CHECK(model.offset.size() == bands && model.factor.size() == bands &&
               model.w1.size() == hidden * bands && model.b1.size() == hidden &&
               model.w2.size() == classes * hidden && model.b2.size() == classes);
    BpnnModelText again;
    FUZZ_CHECK(ParseBpnnModelText(FormatBpnnModelText(model), again, error) && again == model);
    return 0;
}
