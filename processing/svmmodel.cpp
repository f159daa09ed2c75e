#include "processing/svmmodel.h"

#include "base/commonfun.h"
#include "engine/formatio.h"
#include "processing/bandcount.h"
#include "processing/blockprocessor.h"
#include "processing/svmmodelfile.h"

#include <svm.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

namespace tessera {

namespace {

constexpr const char* kScalingTag = "tessera_scaling";
constexpr std::size_t kMaxModelBytes = std::size_t(1) << 31; // read whole: 2 GiB
constexpr int kChunkPixels = 512; // pixels per matrix product: the kernel matrix stays in cache

void silent(const char*) {}

// e^v for -87 <= v <= 0 in single precision (Cephes' expf: 2^n times a
// degree-6 polynomial on the remainder, relative error about 2e-7), written
// so the compiler vectorises it: no library call, no branch, rounding by the
// 1.5 × 2^23 trick.
inline float expNonPositive(float v) {
    const float n = (v * 1.44269504088896341f + 12582912.0f) - 12582912.0f; // round(v / ln 2)
    const float r = v - n * 0.693359375f + n * 2.12194440e-4f;
    float p = 1.9875691500e-4f;
    p = p * r + 1.3981999507e-3f;
    p = p * r + 8.3334519073e-3f;
    p = p * r + 4.1665795894e-2f;
    p = p * r + 1.6666665459e-1f;
    p = p * r + 5.0000001201e-1f;
    p = p * r * r + r + 1.0f;
    return p * std::bit_cast<float>((static_cast<std::int32_t>(n) + 127) << 23);
}

// One RBF kernel column: K[r] = exp(-gamma |x_r - s|²) for m pixels
// (band-major), the differences taken directly as libsvm does so nothing
// cancels; distances beyond `farthest` give e^-87, about the smallest normal
// float. With the band count known at compile time the whole column is one
// vectorised loop; otherwise band by band.
template <int Bands>
[[gnu::always_inline]] inline void rbfColumn(const float* __restrict pixelsByBand, int m, int bands,
                                             const float* s, float gamma, float farthest,
                                             float* __restrict column) {
    if constexpr (Bands > 0) {
        for (int r = 0; r < m; ++r) {
            float distance = 0.0f;
            for (int b = 0; b < Bands; ++b) {
                const float t = pixelsByBand[b * m + r] - s[b];
                distance += t * t;
            }
            column[r] = expNonPositive(-gamma * std::min(distance, farthest));
        }
    } else {
        for (int r = 0; r < m; ++r)
            column[r] = 0.0f;
        for (int b = 0; b < bands; ++b) {
            const float* x = pixelsByBand + static_cast<std::size_t>(b) * m;
            for (int r = 0; r < m; ++r) {
                const float t = x[r] - s[b];
                column[r] += t * t;
            }
        }
        for (int r = 0; r < m; ++r)
            column[r] = expNonPositive(-gamma * std::min(column[r], farthest));
    }
}

// For the RBF kernel, each class's share of its decisions for m pixels in
// one pass per support vector while its kernel column is in cache: partial
// column (class(j) · (k-1) + t) += coefficient(j, t) · K for t < k-1.
// partial is m × k(k-1), column-major, zeroed by the caller; column is m
// floats of scratch. Built for x86-64-v4 (AVX-512) and v3 (AVX2) too: the
// loader picks what the processor runs (AVX-512 labels a fifth faster).
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) void
rbfDecisionSums(const float* pixelsByBand, int m, int bands, const float* vectors, int l, float gamma,
                const float* coefficients, const int* classOf, int k, float* partial, float* column) {
    const float farthest = 87.0f / gamma;
    for (int j = 0; j < l; ++j) {
        const float* s = vectors + static_cast<std::size_t>(j) * bands;
        WithBandCount(
            bands, [&](auto known) __attribute__((always_inline)) {
                rbfColumn<decltype(known)::value>(pixelsByBand, m, bands, s, gamma, farthest, column);
            });
        for (int t = 0; t < k - 1; ++t) {
            const float a = coefficients[static_cast<std::size_t>(j) * (k - 1) + t];
            float* sum = partial + static_cast<std::size_t>(classOf[j] * (k - 1) + t) * m;
            for (int r = 0; r < m; ++r)
                sum[r] += a * column[r];
        }
    }
}

void quietLibsvm() {
    static std::once_flag once;
    std::call_once(once, [] { svm_set_print_string_function(silent); });
}

std::string narrow(const std::wstring& path) {
    return CommonFun::U2M(path);
}

} // namespace

SvmModel::SvmModel() = default;

SvmModel::~SvmModel() {
    if (m_model)
        svm_free_and_destroy_model(&m_model);
}

std::unique_ptr<SvmModel> SvmModel::Train(const TrainingSet& set, const SvmParameters& parameters,
                                          std::wstring& error) {
    quietLibsvm();
    std::unique_ptr<SvmModel> model(new SvmModel);
    const int d = set.bands;
    if (parameters.standardise)
        model->m_scaling = FeatureScaling::Standardise(set);
    else
        model->m_scaling = {std::vector<double>(d, 0.0), std::vector<double>(d, 1.0)};
    const std::size_t n = set.Size();
    // libsvm keeps pointers into the training nodes as its support vectors:
    // the nodes live as long as the model.
    model->m_nodes.resize(n * (d + 1));
    std::vector<svm_node*> rows(n);
    std::vector<double> y(n), scaled(d);
    for (std::size_t i = 0; i < n; ++i) {
        svm_node* row = model->m_nodes.data() + i * (d + 1);
        model->m_scaling.Apply(set.Row(i), scaled.data());
        for (int b = 0; b < d; ++b)
            row[b] = {b + 1, scaled[b]};
        row[d] = {-1, 0.0};
        rows[i] = row;
        y[i] = set.labels[i] + 1;
    }
    svm_problem problem{static_cast<int>(n), y.data(), rows.data()};
    svm_parameter param{};
    param.svm_type = C_SVC;
    param.kernel_type = parameters.kernel; // our kernel numbers are libsvm's
    param.degree = parameters.degree;
    param.gamma = parameters.gamma;
    param.coef0 = parameters.coef0;
    param.cache_size = 100;
    param.eps = 1e-3;
    param.C = parameters.cost;
    param.nu = 0.5;
    param.p = 0.1;
    param.shrinking = 1;
    param.probability = parameters.probabilities ? 1 : 0;
    if (const char* message = svm_check_parameter(&problem, &param)) {
        error = L"The SVM parameters are not valid: " + CommonFun::M2U(message) + L".";
        return nullptr;
    }
    model->m_model = svm_train(&problem, &param);
    if (!model->m_model) {
        error = L"The SVM could not be trained.";
        return nullptr;
    }
    model->prepare();
    return model;
}

bool SvmModel::Save(const std::wstring& path, std::wstring& error) const {
    const std::string target = narrow(path);
    auto failed = [&] {
        error = L"Cannot write the SVM model file " + path + L".";
        return false;
    };
    // libsvm writes its model only to a named file: a scratch file beside the
    // target, read back, then written whole with the scaling by replace-by-rename.
    std::string scratch = target + ".part.XXXXXX";
    const int fd = ::mkstemp(scratch.data());
    if (fd < 0)
        return failed();
    ::close(fd);
    std::string text, message;
    const bool saved = svm_save_model(scratch.c_str(), m_model) == 0 &&
                       formatio::ReadWholeFile(scratch, kMaxModelBytes, text, message);
    std::remove(scratch.c_str());
    if (!saved)
        return failed();
    // The scaling follows the support vectors: libsvm's reader stops after
    // them, so the file stays a valid libsvm model.
    std::ostringstream scaling;
    scaling.precision(17);
    scaling << kScalingTag << ' ' << Bands() << '\n';
    for (int b = 0; b < Bands(); ++b)
        scaling << m_scaling.offset[b] << ' ' << m_scaling.factor[b] << '\n';
    text += scaling.str();
    return formatio::ReplaceFile(target, text, message) ? true : failed();
}

std::unique_ptr<SvmModel> SvmModel::Load(const std::wstring& path, std::wstring& error) {
    quietLibsvm();
    std::string text, message;
    if (!formatio::ReadWholeFile(narrow(path), kMaxModelBytes, text, message)) {
        error = L"Cannot open the SVM model file " + path + L": " + CommonFun::M2U(message) + L".";
        return nullptr;
    }
    // The whole file is checked and parsed here; libsvm's loader never reads it.
    SvmModelText parsed;
    if (!ParseSvmModelText(text, parsed, message)) {
        error = L"The SVM model file " + path + L" is not valid: " + CommonFun::M2U(message) + L".";
        return nullptr;
    }
    std::unique_ptr<SvmModel> model(new SvmModel);
    model->m_model = parsed.model.release();
    model->m_scaling.offset = std::move(parsed.offset);
    model->m_scaling.factor = std::move(parsed.factor);
    model->prepare();
    return model;
}

int SvmModel::ClassCount() const {
    return m_model->nr_class;
}
int SvmModel::SupportVectorCount() const {
    return m_model->l;
}
int SvmModel::Kernel() const {
    return m_model->param.kernel_type;
}

int SvmModel::MaxLabel() const {
    int largest = 0;
    for (int c = 0; c < m_model->nr_class; ++c)
        largest = std::max(largest, m_model->label[c]);
    return largest;
}

void SvmModel::prepare() {
    const int k = m_model->nr_class, l = m_model->l, d = Bands();
    m_supportVectors = Eigen::MatrixXd::Zero(l, d);
    for (int i = 0; i < l; ++i)
        for (const svm_node* node = m_model->SV[i]; node->index != -1; ++node)
            m_supportVectors(i, node->index - 1) = node->value;
    // Row-major single-precision copy for the RBF kernel (a column-major
    // l × bands matrix transposed is the row-major layout).
    m_supportVectorsF = m_supportVectors.transpose().cast<float>();
    m_start.assign(k, 0);
    m_count.assign(k, 0);
    for (int c = 0; c < k; ++c) {
        m_count[c] = m_model->nSV ? m_model->nSV[c] : 0;
        if (c > 0)
            m_start[c] = m_start[c - 1] + m_count[c - 1];
    }
    m_coefficients = Eigen::MatrixXd::Zero(l, std::max(k - 1, 0));
    for (int m = 0; m < k - 1; ++m)
        for (int i = 0; i < l; ++i)
            m_coefficients(i, m) = m_model->sv_coef[m][i];
    m_coefficientsF = m_coefficients.cast<float>();
    m_coefficientsByVector.clear();
    m_classOf.clear();
    for (int i = 0; i < l; ++i)
        for (int m = 0; m < k - 1; ++m)
            m_coefficientsByVector.push_back(static_cast<float>(m_model->sv_coef[m][i]));
    for (int c = 0; c < k; ++c)
        m_classOf.insert(m_classOf.end(), m_count[c], c);
    const int pairs = k * (k - 1) / 2;
    m_rho = Eigen::VectorXd::Zero(pairs);
    for (int p = 0; p < pairs; ++p)
        m_rho(p) = m_model->rho[p];
    if (m_model->param.kernel_type == LINEAR) {
        // The decision of a pair is linear in the pixel: one weight vector each.
        m_linearWeights = Eigen::MatrixXd::Zero(d, pairs);
        int p = 0;
        for (int i = 0; i < k; ++i)
            for (int j = i + 1; j < k; ++j, ++p) {
                for (int s = 0; s < m_count[i]; ++s)
                    m_linearWeights.col(p) += m_coefficients(m_start[i] + s, j - 1) *
                                              m_supportVectors.row(m_start[i] + s).transpose();
                for (int s = 0; s < m_count[j]; ++s)
                    m_linearWeights.col(p) +=
                        m_coefficients(m_start[j] + s, i) * m_supportVectors.row(m_start[j] + s).transpose();
            }
    }
}

void SvmModel::Predict(const float* pixels, int count, const std::uint8_t* valid, std::uint16_t* labels,
                       Workspace& work) const {
    const int k = m_model->nr_class, d = Bands();
    const int kernel = m_model->param.kernel_type;
    // libsvm's one-against-one vote, pair by pair over the whole chunk so
    // the loops vectorise: positive(i, j, p, wins) sets wins[r] to 1 where
    // pixel r's decision for pair p (classes i < j) is above 0, a vote for
    // i, else for j. The first class with the most votes wins.
    const auto vote = [&](const std::vector<int>& index, int m, auto positive) {
        work.voteCount.setZero(m, k);
        work.wins.resize(m);
        int p = 0;
        for (int i = 0; i < k; ++i)
            for (int j = i + 1; j < k; ++j, ++p) {
                positive(i, j, p, work.wins.data());
                int* forI = work.voteCount.col(i).data();
                int* forJ = work.voteCount.col(j).data();
                for (int r = 0; r < m; ++r) {
                    forI[r] += work.wins[r];
                    forJ[r] += 1 - work.wins[r];
                }
            }
        work.best.assign(m, 0);
        work.bestVotes.assign(work.voteCount.col(0).data(), work.voteCount.col(0).data() + m);
        for (int c = 1; c < k; ++c) {
            const int* votes = work.voteCount.col(c).data();
            for (int r = 0; r < m; ++r) {
                const bool more = votes[r] > work.bestVotes[r];
                work.bestVotes[r] = more ? votes[r] : work.bestVotes[r];
                work.best[r] = more ? c : work.best[r];
            }
        }
        for (int r = 0; r < m; ++r)
            labels[index[r]] = static_cast<std::uint16_t>(m_model->label[work.best[r]]);
    };
    // Per class, its support vectors' share of every decision it takes part
    // in: pair (i, j) sums class i's column j-1 and class j's column i.
    const auto fromPartial = [&](int i, int j, int p, int* wins) {
        const float* a = work.partial.col(i * (k - 1) + j - 1).data();
        const float* b = work.partial.col(j * (k - 1) + i).data();
        const double rho = m_rho(p);
        for (Eigen::Index r = 0; r < work.partial.rows(); ++r)
            wins[r] = static_cast<double>(a[r]) + b[r] - rho > 0;
    };
    ForEachValidChunk(count, valid, kChunkPixels, [&](const std::vector<int>& index, int m) {
        if (k == 1) {
            for (int r = 0; r < m; ++r)
                labels[index[r]] = static_cast<std::uint16_t>(m_model->label[0]);
            return;
        }
        if (kernel == RBF) {
            // Single precision from the scaled pixels on: decision values off
            // by about 1e-6 (a pixel that close to a boundary is a tie either way).
            work.xByBand.resize(m, d); // column-major: band by band
            for (int r = 0; r < m; ++r) {
                const float* pixel = pixels + static_cast<std::size_t>(index[r]) * d;
                for (int b = 0; b < d; ++b)
                    work.xByBand(r, b) =
                        static_cast<float>((pixel[b] - m_scaling.offset[b]) * m_scaling.factor[b]);
            }
            work.partial.setZero(m, static_cast<Eigen::Index>(k) * (k - 1));
            work.column.resize(m);
            rbfDecisionSums(work.xByBand.data(), m, d, m_supportVectorsF.data(), m_model->l,
                            static_cast<float>(m_model->param.gamma), m_coefficientsByVector.data(),
                            m_classOf.data(), k, work.partial.data(), work.column.data());
            vote(index, m, fromPartial);
            return;
        }
        work.x.resize(m, d);
        for (int r = 0; r < m; ++r) {
            const float* pixel = pixels + static_cast<std::size_t>(index[r]) * d;
            for (int b = 0; b < d; ++b)
                work.x(r, b) = (pixel[b] - m_scaling.offset[b]) * m_scaling.factor[b];
        }
        if (kernel == LINEAR) {
            work.decision.noalias() = work.x * m_linearWeights;
            vote(index, m, [&](int, int, int p, int* wins) {
                const double* decision = work.decision.col(p).data();
                for (int r = 0; r < m; ++r)
                    wins[r] = decision[r] - m_rho(p) > 0;
            });
            return;
        }
        polynomialOrSigmoidKernel(work, m);
        work.partial.resize(m, static_cast<Eigen::Index>(k) * (k - 1));
        for (int c = 0; c < k; ++c)
            work.partial.middleCols(static_cast<Eigen::Index>(c) * (k - 1), k - 1).noalias() =
                work.kernelF.middleCols(m_start[c], m_count[c]) *
                m_coefficientsF.middleRows(m_start[c], m_count[c]);
        vote(index, m, fromPartial);
    });
}

void SvmModel::polynomialOrSigmoidKernel(Workspace& work, int m) const {
    const svm_parameter& param = m_model->param;
    const int l = m_model->l;
    // The dot products in double precision, the kernel in single.
    work.kernel.noalias() = work.x * m_supportVectors.transpose();
    const auto dot = work.kernel.array();
    if (param.kernel_type == POLY) {
        // base^degree by repeated squaring, as libsvm's powi.
        Eigen::ArrayXXf base = (param.gamma * dot + param.coef0).cast<float>();
        work.kernelF.setOnes(m, l);
        for (int e = param.degree; e > 0; e /= 2) {
            if (e % 2 == 1)
                work.kernelF.array() *= base;
            if (e > 1)
                base *= base;
        }
    } else {
        work.kernelF = (param.gamma * dot + param.coef0).cast<float>().tanh().matrix();
    }
}

double SvmModel::Gamma() const {
    return m_model->param.gamma;
}

bool SvmModel::HasProbabilities() const {
    return svm_check_probability_model(m_model) != 0;
}

double SvmModel::Probability(const float* pixel, int label) const {
    const int d = Bands(), k = m_model->nr_class;
    thread_local std::vector<double> scaled, estimates;
    thread_local std::vector<svm_node> nodes;
    scaled.resize(d);
    estimates.resize(k);
    nodes.resize(d + 1);
    m_scaling.Apply(pixel, scaled.data());
    for (int b = 0; b < d; ++b)
        nodes[b] = {b + 1, scaled[b]};
    nodes[d] = {-1, 0.0};
    svm_predict_probability(m_model, nodes.data(), estimates.data());
    for (int c = 0; c < k; ++c)
        if (m_model->label[c] == label)
            return estimates[c];
    return 0;
}

int SvmModel::PredictWithLibsvm(const float* pixel) const {
    const int d = Bands();
    std::vector<double> scaled(d);
    m_scaling.Apply(pixel, scaled.data());
    std::vector<svm_node> nodes(d + 1);
    for (int b = 0; b < d; ++b)
        nodes[b] = {b + 1, scaled[b]};
    nodes[d] = {-1, 0.0};
    return static_cast<int>(svm_predict(m_model, nodes.data()));
}

} // namespace tessera
