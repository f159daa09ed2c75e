#include "processing/svmmodelfile.h"

#include "engine/formatio.h"

#include <svm.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace tessera {

void SvmModelDeleter::operator()(svm_model* model) const {
    if (model)
        svm_free_and_destroy_model(&model);
}

namespace {

constexpr std::string_view kScalingTag = "tessera_scaling";

// The blank-separated words of a line.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool Number(std::string_view word, double& value) {
    return formatio::ParseFiniteDouble(word, value) && std::fabs(value) <= kSvmMaxMagnitude;
}

bool Whole(std::string_view word, int& value) {
    std::int32_t v = 0;
    if (!formatio::ParseInt32(word, v))
        return false;
    value = v;
    return true;
}

// malloc'd copies, as libsvm's loader allocates (its free() releases them).
template <class T> T* MallocCopy(const std::vector<T>& values) {
    T* copy = static_cast<T*>(std::malloc(sizeof(T) * (values.empty() ? 1 : values.size())));
    if (copy && !values.empty())
        std::memcpy(copy, values.data(), sizeof(T) * values.size());
    return copy;
}

struct Parser {
    std::vector<std::string_view> lines;
    std::size_t next = 0; // index of the next line
    std::string& error;

    bool fail(std::size_t lineIndex, const std::string& what) {
        error = "line " + std::to_string(lineIndex + 1) + ": " + what;
        return false;
    }
};

} // namespace

bool ParseSvmModelText(std::string_view text, SvmModelText& out, std::string& error) {
    Parser p{{}, 0, error};
    p.lines = formatio::SplitLines(text);

    // The header: keyword lines up to "SV", each keyword once.
    std::map<std::string, std::vector<std::string_view>> header;
    std::map<std::string, std::size_t> headerLine;
    static const std::set<std::string> known = {"svm_type", "kernel_type", "degree",   "gamma",
                                                "coef0",    "nr_class",    "total_sv", "rho",
                                                "label",    "nr_sv",       "probA",    "probB"};
    bool svSeen = false;
    for (; p.next < p.lines.size() && !svSeen; ++p.next) {
        std::vector<std::string_view> words = Words(p.lines[p.next]);
        if (words.empty())
            return p.fail(p.next, "empty line in the header");
        const std::string key(words[0]);
        if (key == "SV" && words.size() == 1) {
            svSeen = true;
            continue;
        }
        if (!known.count(key))
            return p.fail(p.next, "unknown keyword \"" + key.substr(0, 40) + "\"");
        if (header.count(key))
            return p.fail(p.next, "\"" + key + "\" given twice");
        words.erase(words.begin());
        header[key] = std::move(words);
        headerLine[key] = p.next;
    }
    if (!svSeen) {
        error = "no \"SV\" line and no band scaling: not a model file of this program, or a truncated one";
        return false;
    }
    auto missing = [&](const char* key) {
        error = "no \"" + std::string(key) + "\" line";
        return false;
    };
    auto bad = [&](const std::string& key, const std::string& what) {
        error = "line " + std::to_string(headerLine[key] + 1) + ": " + what;
        return false;
    };
    auto single = [&](const std::string& key) -> std::string_view {
        const std::vector<std::string_view>& v = header[key];
        return v.size() == 1 ? v[0] : std::string_view();
    };
    for (const char* key : {"svm_type", "kernel_type", "nr_class", "total_sv", "label", "nr_sv"})
        if (!header.count(key))
            return missing(key);
    if (single("svm_type") != "c_svc")
        return bad("svm_type", "only c_svc models are read");

    svm_parameter param{};
    param.svm_type = C_SVC;
    const std::string_view kernel = single("kernel_type");
    if (kernel == "linear")
        param.kernel_type = LINEAR;
    else if (kernel == "polynomial")
        param.kernel_type = POLY;
    else if (kernel == "rbf")
        param.kernel_type = RBF;
    else if (kernel == "sigmoid")
        param.kernel_type = SIGMOID;
    else
        return bad("kernel_type", "the kernel must be linear, polynomial, rbf or sigmoid");
    // The kernel's parameters: each one it uses, and only those.
    const bool usesDegree = param.kernel_type == POLY;
    const bool usesGamma = param.kernel_type != LINEAR;
    const bool usesCoef0 = param.kernel_type == POLY || param.kernel_type == SIGMOID;
    for (const auto& [key, used] :
         {std::pair{"degree", usesDegree}, {"gamma", usesGamma}, {"coef0", usesCoef0}}) {
        if (used && !header.count(key))
            return missing(key);
        if (!used && header.count(key))
            return bad(key, "\"" + std::string(key) + "\" does not belong to the " + std::string(kernel) +
                                " kernel");
    }
    if (usesDegree && (!Whole(single("degree"), param.degree) || param.degree < 1))
        return bad("degree", "the degree must be a whole number of at least 1");
    if (usesGamma &&
        (!Number(single("gamma"), param.gamma) || (param.kernel_type == RBF && param.gamma <= 0)))
        return bad("gamma",
                   param.kernel_type == RBF ? "gamma must be a positive number" : "gamma must be a number");
    if (usesCoef0 && !Number(single("coef0"), param.coef0))
        return bad("coef0", "coef0 must be a number");

    int k = 0, total = 0;
    if (!Whole(single("nr_class"), k) || k < 1 || k > kSvmMaxClasses)
        return bad("nr_class", "nr_class must be a whole number from 1 to " + std::to_string(kSvmMaxClasses));
    if (!Whole(single("total_sv"), total) || total < 0)
        return bad("total_sv", "total_sv must be a whole number of at least 0");
    if (total == 0 && k > 1)
        return bad("total_sv", "a model of several classes needs support vectors");
    // Each support vector takes a line of its own.
    if (static_cast<std::size_t>(total) > p.lines.size() - p.next)
        return bad("total_sv", "total_sv is more than the lines that follow");

    const std::size_t pairs = static_cast<std::size_t>(k) * (k - 1) / 2;
    std::vector<double> rho;
    if (pairs > 0 && !header.count("rho"))
        return missing("rho");
    if (header.count("rho")) {
        if (header["rho"].size() != pairs)
            return bad("rho", "rho needs " + std::to_string(pairs) + " values for " + std::to_string(k) +
                                  " classes");
        for (std::string_view w : header["rho"]) {
            double v = 0;
            if (!Number(w, v))
                return bad("rho", "rho values must be numbers");
            rho.push_back(v);
        }
    }
    // libsvm's probability model: a sigmoid per pair of classes, both or neither.
    std::vector<double> probA, probB;
    if (header.count("probA") != header.count("probB"))
        return missing(header.count("probA") ? "probB" : "probA");
    for (const auto& [key, values] : {std::pair{"probA", &probA}, {"probB", &probB}}) {
        if (!header.count(key))
            continue;
        if (header[key].size() != pairs || pairs == 0)
            return bad(key, std::string(key) + " needs " + std::to_string(pairs) + " values for " +
                                std::to_string(k) + " classes");
        for (std::string_view w : header[key]) {
            double v = 0;
            if (!Number(w, v))
                return bad(key, std::string(key) + " values must be numbers");
            values->push_back(v);
        }
    }
    std::vector<int> labels, counts;
    if (header["label"].size() != static_cast<std::size_t>(k))
        return bad("label", "label needs " + std::to_string(k) + " values");
    std::set<int> distinct;
    for (std::string_view w : header["label"]) {
        int v = 0;
        if (!Whole(w, v) || v < 1 || v > 65535 || !distinct.insert(v).second)
            return bad("label", "labels must be distinct whole numbers from 1 to 65535");
        labels.push_back(v);
    }
    if (header["nr_sv"].size() != static_cast<std::size_t>(k))
        return bad("nr_sv", "nr_sv needs " + std::to_string(k) + " values");
    std::int64_t sum = 0;
    for (std::string_view w : header["nr_sv"]) {
        int v = 0;
        if (!Whole(w, v) || v < 0)
            return bad("nr_sv", "nr_sv values must be whole numbers of at least 0");
        counts.push_back(v);
        sum += v;
    }
    if (sum != total)
        return bad("nr_sv", "the nr_sv values add up to " + std::to_string(sum) + ", not total_sv " +
                                std::to_string(total));

    // The support vectors: k-1 coefficients, then index:value with rising
    // indices from 1. The band count is known from the scaling after them.
    std::vector<std::vector<double>> coefficients(static_cast<std::size_t>(k - 1),
                                                  std::vector<double>(static_cast<std::size_t>(total)));
    std::vector<std::vector<std::pair<int, double>>> vectors(static_cast<std::size_t>(total));
    std::vector<std::size_t> vectorLines(static_cast<std::size_t>(total));
    std::size_t nodeCount = 0;
    for (int i = 0; i < total; ++i, ++p.next) {
        const std::vector<std::string_view> words = Words(p.lines[p.next]);
        vectorLines[i] = p.next;
        if (words.size() < static_cast<std::size_t>(k - 1))
            return p.fail(p.next, "a support vector needs " + std::to_string(k - 1) + " coefficients");
        for (int c = 0; c < k - 1; ++c)
            if (!Number(words[c], coefficients[c][i]))
                return p.fail(p.next, "a coefficient is not a number");
        int previous = 0;
        for (std::size_t w = static_cast<std::size_t>(k - 1); w < words.size(); ++w) {
            const std::size_t colon = words[w].find(':');
            int index = 0;
            double value = 0;
            if (colon == std::string_view::npos || !Whole(words[w].substr(0, colon), index) ||
                !Number(words[w].substr(colon + 1), value))
                return p.fail(p.next, "expected index:value");
            if (index <= previous || index > kSvmMaxBands)
                return p.fail(p.next,
                              "band indices must rise from 1 to at most " + std::to_string(kSvmMaxBands));
            previous = index;
            vectors[i].emplace_back(index, value);
        }
        nodeCount += vectors[i].size() + 1;
    }

    // The scaling: "tessera_scaling N", then N lines "offset factor"; nothing after.
    while (p.next < p.lines.size() && Words(p.lines[p.next]).empty())
        ++p.next;
    if (p.next >= p.lines.size()) {
        error = "no band scaling after the support vectors: it was not written by this program";
        return false;
    }
    std::vector<std::string_view> words = Words(p.lines[p.next]);
    int bands = 0;
    if (words.size() != 2 || words[0] != kScalingTag || !Whole(words[1], bands) || bands < 1 ||
        bands > kSvmMaxBands)
        return p.fail(p.next, "expected \"" + std::string(kScalingTag) + " N\" with N from 1 to " +
                                  std::to_string(kSvmMaxBands));
    ++p.next;
    if (static_cast<std::size_t>(bands) > p.lines.size() - p.next) {
        error = "truncated band scaling";
        return false;
    }
    std::vector<double> offset(static_cast<std::size_t>(bands)), factor(static_cast<std::size_t>(bands));
    for (int b = 0; b < bands; ++b, ++p.next) {
        words = Words(p.lines[p.next]);
        if (words.size() != 2 || !Number(words[0], offset[b]) || !Number(words[1], factor[b]))
            return p.fail(p.next, "expected two numbers \"offset factor\"");
    }
    for (; p.next < p.lines.size(); ++p.next)
        if (!Words(p.lines[p.next]).empty())
            return p.fail(p.next, "text after the band scaling");
    for (int i = 0; i < total; ++i)
        if (!vectors[i].empty() && vectors[i].back().first > bands)
            return p.fail(vectorLines[i],
                          "a support vector has more bands than the scaling's " + std::to_string(bands));

    // Into libsvm's structures, allocated as its loader allocates them.
    SvmModelPtr model(static_cast<svm_model*>(std::calloc(1, sizeof(svm_model))));
    if (!model) {
        error = "out of memory";
        return false;
    }
    model->param = param;
    model->nr_class = k;
    model->l = total;
    model->free_sv = 1;
    model->rho = MallocCopy(rho);
    model->label = MallocCopy(labels);
    model->nSV = MallocCopy(counts);
    if (!probA.empty()) {
        model->probA = MallocCopy(probA);
        model->probB = MallocCopy(probB);
        if (!model->probA || !model->probB) {
            error = "out of memory";
            return false;
        }
    }
    model->sv_coef = static_cast<double**>(std::calloc(static_cast<std::size_t>(k), sizeof(double*)));
    model->SV = static_cast<svm_node**>(std::calloc(static_cast<std::size_t>(total) + 1, sizeof(svm_node*)));
    if (!model->rho || !model->label || !model->nSV || !model->sv_coef || !model->SV) {
        error = "out of memory";
        return false;
    }
    for (int c = 0; c < k - 1; ++c)
        if (!(model->sv_coef[c] = MallocCopy(coefficients[c]))) {
            error = "out of memory";
            return false;
        }
    if (total > 0) {
        auto* nodes = static_cast<svm_node*>(std::malloc(nodeCount * sizeof(svm_node)));
        if (!nodes) {
            error = "out of memory";
            return false;
        }
        std::size_t n = 0;
        for (int i = 0; i < total; ++i) {
            model->SV[i] = nodes + n;
            for (const auto& [index, value] : vectors[i])
                nodes[n++] = {index, value};
            nodes[n++] = {-1, 0.0};
        }
    }
    out.model = std::move(model);
    out.offset = std::move(offset);
    out.factor = std::move(factor);
    return true;
}

} // namespace tessera
