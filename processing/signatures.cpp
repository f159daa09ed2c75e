#include "processing/signatures.h"

#include "base/commonfun.h"
#include "engine/classifysamplefile.h"
#include "processing/bandcount.h"
#include "processing/blockprocessor.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessera {

bool ReadSignatures(const std::wstring& path, int bands, std::vector<ClassSignature>& out,
                    std::wstring& error) {
    out.clear();
    if (path.empty()) {
        error = L"No sample file was given.";
        return false;
    }
    CClassifySampleFile file;
    if (!file.ReadClassifySampleFile(path)) {
        error = L"Cannot read the sample file " + path + L": " + CommonFun::M2U(file.GetLastError());
        return false;
    }
    if (file.m_samples.empty()) {
        error = L"The sample file " + path + L" holds no sample.";
        return false;
    }
    for (const ClassifySample* s : file.m_samples) {
        const size_t n = static_cast<size_t>(bands);
        if (s->m_bandCount != bands || s->m_mean.size() != n || s->m_min.size() != n ||
            s->m_max.size() != n || s->m_covariance.size() != n * n) {
            error = L"The sample file " + path + L" has " + std::to_wstring(s->m_bandCount) +
                    L" bands in sample \"" + s->GetName() + L"\", the image has " + std::to_wstring(bands) +
                    L".";
            out.clear();
            return false;
        }
        out.push_back(
            {s->GetName(), s->m_colour, s->m_pixelCount, s->m_mean, s->m_min, s->m_max, s->m_covariance});
    }
    return true;
}

namespace {

constexpr int kChunkPixels = 1024;

// The per-class passes over a chunk of m pixels held band by band
// (x[b * m + r]), each a loop over the pixels the compiler vectorises; built
// for x86-64-v3 (AVX2) too, the loader picking what the processor runs.
#define TESSERA_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))

// out[r] = |x_r - mean|²
TESSERA_VECTOR_CLONES void squaredDistances(const double* x, int m, int bands, const double* mean,
                                            double* out) {
    for (int r = 0; r < m; ++r)
        out[r] = 0;
    for (int b = 0; b < bands; ++b)
        for (int r = 0; r < m; ++r) {
            const double t = x[b * m + r] - mean[b];
            out[r] += t * t;
        }
}

// out[r] = (x_r - mean)ᵀ inverse (x_r - mean). With the band count known at
// compile time the whole form stays in registers for each pixel; otherwise
// term by term through centred (bands × m scratch).
template <int Bands>
[[gnu::always_inline]] inline void mahalanobisPass(const double* __restrict x, int m, int bands,
                                                   const double* mean, const double* inverse,
                                                   double* __restrict centred, double* __restrict out) {
    if constexpr (Bands > 0) {
        for (int r = 0; r < m; ++r) {
            double c[Bands];
            for (int b = 0; b < Bands; ++b)
                c[b] = x[b * m + r] - mean[b];
            double sum = 0;
            for (int i = 0; i < Bands; ++i) {
                double row = 0;
                for (int j = 0; j < Bands; ++j)
                    row += inverse[i * Bands + j] * c[j];
                sum += c[i] * row;
            }
            out[r] = sum;
        }
    } else {
        for (int b = 0; b < bands; ++b)
            for (int r = 0; r < m; ++r)
                centred[b * m + r] = x[b * m + r] - mean[b];
        for (int r = 0; r < m; ++r)
            out[r] = 0;
        for (int i = 0; i < bands; ++i)
            for (int j = 0; j < bands; ++j) {
                const double w = inverse[i * bands + j];
                for (int r = 0; r < m; ++r)
                    out[r] += centred[i * m + r] * w * centred[j * m + r];
            }
    }
}

TESSERA_VECTOR_CLONES void mahalanobisDistances(const double* x, int m, int bands, const double* mean,
                                                const double* inverse, double* centred, double* out) {
    WithBandCount(
        bands, [&](auto known) __attribute__((always_inline)) {
            mahalanobisPass<decltype(known)::value>(x, m, bands, mean, inverse, centred, out);
        });
}

// Per pixel, the first class of smallest score so far, with its aux value.
TESSERA_VECTOR_CLONES void keepSmallest(int m, int c, const double* score, const double* aux,
                                        double* bestScore, double* bestAux, int* best) {
    for (int r = 0; r < m; ++r) {
        const bool smaller = score[r] < bestScore[r];
        bestScore[r] = smaller ? score[r] : bestScore[r];
        bestAux[r] = smaller ? aux[r] : bestAux[r];
        best[r] = smaller ? c : best[r];
    }
}

// out[r] = x_r · mean
TESSERA_VECTOR_CLONES void dotProducts(const double* x, int m, int bands, const double* mean, double* out) {
    for (int r = 0; r < m; ++r)
        out[r] = 0;
    for (int b = 0; b < bands; ++b)
        for (int r = 0; r < m; ++r)
            out[r] += x[b * m + r] * mean[b];
}

// out[r] = 1 when low[b] <= x_r[b] <= high[b] in every band.
TESSERA_VECTOR_CLONES void insideBox(const double* x, int m, int bands, const double* low, const double* high,
                                     std::uint8_t* out) {
    for (int r = 0; r < m; ++r)
        out[r] = 1;
    for (int b = 0; b < bands; ++b)
        for (int r = 0; r < m; ++r)
            out[r] &= static_cast<std::uint8_t>(x[b * m + r] >= low[b] && x[b * m + r] <= high[b]);
}

#undef TESSERA_VECTOR_CLONES

// ---- The kernels -------------------------------------------------------------

const double* classMean(const RuleModel& model, int c) {
    return model.mean.data() + static_cast<size_t>(c) * model.bands;
}

bool prepareNothing(RuleModel&, const std::vector<ClassSignature>&, std::wstring&) {
    return true;
}

void scoreMinimumDistance(const RuleModel& model, RuleChunk& chunk) {
    for (int c = 0; c < model.classes; ++c) {
        squaredDistances(chunk.x, chunk.m, model.bands, classMean(model, c), chunk.score.data());
        chunk.Keep(c, chunk.score);
    }
}

double distanceOfSquare(double squared) {
    return std::sqrt(std::max(0.0, squared));
}

bool prepareGaussian(RuleModel& model, const std::vector<ClassSignature>& classes, std::wstring& error) {
    const int k = model.bands;
    for (const ClassSignature& c : classes) {
        Eigen::MatrixXd sigma(k, k);
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j)
                sigma(i, j) = 0.5 * (c.covariance[static_cast<size_t>(i) * k + j] +
                                     c.covariance[static_cast<size_t>(j) * k + i]);
        // A covariance that is singular (too few pixels, a constant band)
        // gets a ridge on its diagonal, growing until it is well
        // conditioned; the ridge starts at a millionth of the mean variance.
        const double scale = std::max(sigma.diagonal().mean(), 1e-12);
        double ridge = 0;
        Eigen::LLT<Eigen::MatrixXd> llt;
        for (int attempt = 0; attempt < 12; ++attempt) {
            const Eigen::MatrixXd s = sigma + ridge * Eigen::MatrixXd::Identity(k, k);
            Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(s, Eigen::EigenvaluesOnly);
            const double lo = eigen.eigenvalues().minCoeff(), hi = eigen.eigenvalues().maxCoeff();
            if (lo > 1e-10 * std::max(hi, 1e-300)) {
                llt.compute(s);
                if (llt.info() == Eigen::Success)
                    break;
            }
            ridge = ridge == 0 ? 1e-6 * scale : ridge * 10;
        }
        if (llt.info() != Eigen::Success || llt.rows() != k) {
            error = L"The covariance of class \"" + c.name + L"\" cannot be inverted, even regularised.";
            return false;
        }
        model.ridge.push_back(ridge);
        const Eigen::MatrixXd inverse = llt.solve(Eigen::MatrixXd::Identity(k, k));
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j)
                model.inverse.push_back(inverse(i, j));
        const Eigen::MatrixXd L = llt.matrixL();
        model.logDet.push_back(2.0 * L.diagonal().array().log().sum());
    }
    return true;
}

// aux: the squared Mahalanobis distance; score adds ln|Σ| - 2 ln prior for
// maximum likelihood (minus twice the log of the class's density and prior).
template <bool WithLogDet> void scoreGaussian(const RuleModel& model, RuleChunk& chunk) {
    const int k = model.bands;
    chunk.scratch.resize(static_cast<size_t>(k) * chunk.m);
    for (int c = 0; c < model.classes; ++c) {
        mahalanobisDistances(chunk.x, chunk.m, k, classMean(model, c),
                             model.inverse.data() + static_cast<size_t>(c) * k * k, chunk.scratch.data(),
                             chunk.aux.data());
        for (int r = 0; r < chunk.m; ++r)
            chunk.score[r] =
                WithLogDet ? model.logDet[c] - 2 * model.logPrior[c] + chunk.aux[r] : chunk.aux[r];
        chunk.Keep(c, chunk.aux);
    }
}

bool prepareSpectralAngle(RuleModel& model, const std::vector<ClassSignature>& classes, std::wstring&) {
    for (const ClassSignature& c : classes) {
        double n = 0;
        for (double v : c.mean)
            n += v * v;
        model.meanNorm.push_back(std::sqrt(n));
    }
    return true;
}

// The smallest angle is the largest cosine: score and aux are minus the
// cosine, and the angle is taken only of the winner.
void scoreSpectralAngle(const RuleModel& model, RuleChunk& chunk) {
    const int k = model.bands, m = chunk.m;
    std::vector<double>& norm = chunk.scratch;
    norm.assign(m, 0.0);
    for (int b = 0; b < k; ++b)
        for (int r = 0; r < m; ++r)
            norm[r] += chunk.x[static_cast<size_t>(b) * m + r] * chunk.x[static_cast<size_t>(b) * m + r];
    for (int r = 0; r < m; ++r)
        norm[r] = std::sqrt(norm[r]);
    for (int c = 0; c < model.classes; ++c) {
        if (model.meanNorm[c] == 0)
            continue;
        dotProducts(chunk.x, m, k, classMean(model, c), chunk.score.data());
        for (int r = 0; r < m; ++r)
            chunk.score[r] = norm[r] == 0
                                 ? std::numeric_limits<double>::infinity()
                                 : -std::clamp(chunk.score[r] / (norm[r] * model.meanNorm[c]), -1.0, 1.0);
        chunk.Keep(c, chunk.score);
    }
}

double angleOfMinusCosine(double minusCosine) {
    return std::acos(-minusCosine);
}

// Boxes of threshold standard deviations around the means, or the samples'
// minimum-maximum boxes when the threshold is 0.
bool prepareParallelepiped(RuleModel& model, const std::vector<ClassSignature>& classes, std::wstring&) {
    const int k = model.bands;
    for (const ClassSignature& c : classes)
        for (int b = 0; b < k; ++b) {
            if (model.threshold > 0) {
                const double sd = std::sqrt(std::max(0.0, c.covariance[static_cast<size_t>(b) * k + b]));
                model.low.push_back(c.mean[b] - model.threshold * sd);
                model.high.push_back(c.mean[b] + model.threshold * sd);
            } else {
                model.low.push_back(c.minimum[b]);
                model.high.push_back(c.maximum[b]);
            }
        }
    return true;
}

// Among the boxes holding the pixel, the class with the nearest mean.
void scoreParallelepiped(const RuleModel& model, RuleChunk& chunk) {
    const int k = model.bands, m = chunk.m;
    std::vector<std::uint8_t> inside(m);
    for (int c = 0; c < model.classes; ++c) {
        insideBox(chunk.x, m, k, model.low.data() + static_cast<size_t>(c) * k,
                  model.high.data() + static_cast<size_t>(c) * k, inside.data());
        squaredDistances(chunk.x, m, k, classMean(model, c), chunk.score.data());
        for (int r = 0; r < m; ++r)
            if (!inside[r])
                chunk.score[r] = std::numeric_limits<double>::infinity();
        chunk.Keep(c, chunk.score);
    }
}

} // namespace

const std::vector<DecisionRuleKind>& DecisionRules() {
    static const std::vector<DecisionRuleKind> rules{
        {SUPERVISE_MINIMUM_DISTANCE, "mindist", "minimum distance", 0,
         "largest distance to the class mean; 0 none", prepareNothing, scoreMinimumDistance, distanceOfSquare,
         false, "distance to the class mean"},
        {SUPERVISE_MAXIMUM_LIKELIHOOD, "maxlik", "maximum likelihood", 0,
         "largest Mahalanobis distance to the class mean; 0 none", prepareGaussian, scoreGaussian<true>,
         distanceOfSquare, true, "posterior probability of the class"},
        {SUPERVISE_MAHALANOBIS, "mahalanobis", "Mahalanobis distance", 0,
         "largest Mahalanobis distance to the class mean; 0 none", prepareGaussian, scoreGaussian<false>,
         distanceOfSquare, false, "Mahalanobis distance to the class mean"},
        {SUPERVISE_SPECTRAL_ANGLE, "sam", "spectral angle", 0.5, "largest angle in radians; 0 none",
         prepareSpectralAngle, scoreSpectralAngle, angleOfMinusCosine, false,
         "angle to the class mean in radians"},
        {SUPERVISE_PARALLELEPIPED, "parallelepiped", "parallelepiped", 0,
         "box half-width in standard deviations; 0: the samples' minimum-maximum boxes",
         prepareParallelepiped, scoreParallelepiped, nullptr, false, "distance to the class mean"},
    };
    return rules;
}

const DecisionRuleKind* FindDecisionRule(SuperviseClassifyType kind) {
    for (const DecisionRuleKind& rule : DecisionRules())
        if (rule.kind == kind)
            return &rule;
    return nullptr;
}

ParamTable<CSuperviseParam> RuleParameters(const DecisionRuleKind& rule) {
    return std::move(ParamTable<CSuperviseParam>()
                         .Add("threshold", &CSuperviseParam::m_threshold, "T", rule.thresholdHelp)
                         .Min(0)
                         .Default(rule.defaultThreshold));
}

void RuleChunk::Keep(int c, const std::vector<double>& measure) {
    if (keepScores)
        std::copy_n(score.begin(), m, classScores.begin() + static_cast<std::ptrdiff_t>(c) * m);
    keepSmallest(m, c, score.data(), measure.data(), bestScore.data(), bestAux.data(), best.data());
}

bool DecisionRule::Prepare(SuperviseClassifyType kind, const std::vector<ClassSignature>& classes,
                           double threshold, std::wstring& error, const std::vector<double>& priors) {
    m_rule = FindDecisionRule(kind);
    if (!m_rule) {
        error = L"Unknown classifier kind " + std::to_wstring(static_cast<int>(kind)) + L".";
        return false;
    }
    m_model = RuleModel{};
    m_model.classes = static_cast<int>(classes.size());
    m_model.bands = classes.empty() ? 0 : static_cast<int>(classes[0].mean.size());
    m_model.threshold = threshold;
    for (const ClassSignature& c : classes)
        m_model.mean.insert(m_model.mean.end(), c.mean.begin(), c.mean.end());
    m_model.logPrior.assign(classes.size(), 0.0);
    if (!priors.empty()) {
        if (priors.size() != classes.size()) {
            error = L"The priors give " + std::to_wstring(priors.size()) + L" values for " +
                    std::to_wstring(classes.size()) + L" classes.";
            return false;
        }
        double sum = 0;
        for (double p : priors) {
            if (!(p > 0 && std::isfinite(p))) {
                error = L"Every prior must be a positive number.";
                return false;
            }
            sum += p;
        }
        for (size_t c = 0; c < priors.size(); ++c)
            m_model.logPrior[c] = std::log(priors[c] / sum);
    }
    return m_rule->prepare(m_model, classes, error);
}

int DecisionRule::Classify(const float* pixel) const {
    const std::uint8_t valid = 1;
    std::uint16_t label = 0;
    ClassifyBlock(pixel, 1, &valid, &label);
    return label;
}

double DecisionRule::confidenceOf(const RuleChunk& chunk, int r) const {
    if (m_rule->posterior) {
        // exp(-score / 2) is proportional to prior × density: normalised
        // over the classes, relative to the winner so nothing overflows.
        double sum = 0;
        for (int c = 0; c < m_model.classes; ++c)
            sum += std::exp(-0.5 *
                            (chunk.classScores[static_cast<size_t>(c) * chunk.m + r] - chunk.bestScore[r]));
        return 1.0 / sum;
    }
    if (m_rule->measure)
        return m_rule->measure(chunk.bestAux[r]);
    return distanceOfSquare(chunk.bestScore[r]);
}

void DecisionRule::ClassifyBlock(const float* pixels, int count, const std::uint8_t* valid,
                                 std::uint16_t* labels, float* confidence) const {
    const int k = m_model.bands;
    std::vector<double> x;
    RuleChunk chunk;
    chunk.bands = k;
    const bool rejects = m_model.threshold > 0 && m_rule->measure;
    ForEachValidChunk(count, valid, kChunkPixels, [&](const std::vector<int>& index, int m) {
        x.resize(static_cast<size_t>(k) * m);
        for (int r = 0; r < m; ++r) {
            const float* pixel = pixels + static_cast<size_t>(index[r]) * k;
            for (int b = 0; b < k; ++b)
                x[static_cast<size_t>(b) * m + r] = pixel[b];
        }
        chunk.x = x.data();
        chunk.m = m;
        chunk.score.resize(m);
        chunk.aux.resize(m);
        chunk.bestScore.assign(m, std::numeric_limits<double>::infinity());
        chunk.bestAux.assign(m, 0.0);
        chunk.best.assign(m, -1);
        chunk.keepScores = confidence && m_rule->posterior;
        if (chunk.keepScores)
            chunk.classScores.assign(static_cast<size_t>(m_model.classes) * m,
                                     std::numeric_limits<double>::infinity());
        m_rule->score(m_model, chunk);
        for (int r = 0; r < m; ++r) {
            const int best = chunk.best[r];
            labels[index[r]] = static_cast<std::uint16_t>(
                best < 0 || (rejects && m_rule->measure(chunk.bestAux[r]) > m_model.threshold) ? 0
                                                                                               : best + 1);
            if (confidence && labels[index[r]] != 0)
                confidence[index[r]] = static_cast<float>(confidenceOf(chunk, r));
        }
    });
}

} // namespace tessera
