// libFuzzer target: the SVM model reader. A model it accepts must be one that
// libsvm's own predictor runs on (every array of its size), and libsvm's
// writer must give a text the reader reads back as the same model.
#include "fuzz_common.h"
#include "processing/svmmodelfile.h"

#include <svm.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

using namespace tessera;

namespace {

std::string savedText(const svm_model* model, const SvmModelText& parsed) {
    const std::string& path = FuzzInputPath(".svm");
    if (svm_save_model(path.c_str(), model) != 0)
        return {};
    std::ifstream file(path, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    char line[128];
    std::snprintf(line, sizeof line, "tessera_scaling %zu\n", parsed.offset.size());
    text += line;
    for (std::size_t b = 0; b < parsed.offset.size(); ++b) {
        std::snprintf(line, sizeof line, "%.17g %.17g\n", parsed.offset[b], parsed.factor[b]);
        text += line;
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        svm_set_print_string_function([](const char*) {});
        return true;
    }();
    (void)quiet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SvmModelText parsed;
    std::string error;
    if (!ParseSvmModelText(text, parsed, error)) {
        FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos && !parsed.model);
        return 0;
    }
    const svm_model* model = parsed.model.get();
    FUZZ_CHECK(model && parsed.offset.size() == parsed.factor.size() && !parsed.offset.empty());

    // libsvm predicts a pixel of every band (zeros, then the first support vector's values).
    std::vector<svm_node> pixel(parsed.offset.size() + 1);
    for (std::size_t b = 0; b < parsed.offset.size(); ++b)
        pixel[b] = {static_cast<int>(b + 1), model->l > 0 ? 0.5 : 0.0};
    pixel.back() = {-1, 0.0};
    const double label = svm_predict(model, pixel.data());
    bool known = false;
    for (int c = 0; c < model->nr_class; ++c)
        known = known || label == model->label[c];
    FUZZ_CHECK(known);

    // Written by libsvm and read back: the same model.
    const std::string again = savedText(model, parsed);
    SvmModelText reread;
    FUZZ_CHECK(ParseSvmModelText(again, reread, error));
    const svm_model* other = reread.model.get();
    FUZZ_CHECK(other->nr_class == model->nr_class && other->l == model->l &&
               other->param.kernel_type == model->param.kernel_type);
    for (int c = 0; c < model->nr_class; ++c)
        FUZZ_CHECK(other->label[c] == model->label[c] && other->nSV[c] == model->nSV[c]);
    for (int p = 0; p < model->nr_class * (model->nr_class - 1) / 2; ++p)
        FUZZ_CHECK(other->rho[p] == model->rho[p]);
    FUZZ_CHECK(reread.offset == parsed.offset && reread.factor == parsed.factor);
    return 0;
}
