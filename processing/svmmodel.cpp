#include "processing/svmmodel.h"

#include "platform/commonfun.h"

#include <svm.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

constexpr const char* kScalingTag = "tessera_scaling";
constexpr int kChunkPixels = 512; // pixels per matrix product: the kernel matrix stays in cache

void silent(const char*) {}

void quietLibsvm() {
    static std::once_flag once;
    std::call_once(once, [] { svm_set_print_string_function(silent); });
}

std::string narrow(const std::wstring& path) { return CommonFun::U2M(path); }

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
    model->m_scaling = FeatureScaling::ToUnitRange(set);
    const int d = set.bands;
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
    param.probability = 0;
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
    namespace fs = std::filesystem;
    const fs::path target(narrow(path));
    const fs::path temporary = target.string() + ".part";
    auto failed = [&] {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        error = L"Cannot write the SVM model file " + path + L".";
        return false;
    };
    if (svm_save_model(temporary.c_str(), m_model) != 0)
        return failed();
    {
        // The scaling follows the support vectors: libsvm's reader stops
        // after them, so the file stays a valid libsvm model.
        std::ofstream out(temporary, std::ios::app);
        out.precision(17);
        out << kScalingTag << ' ' << Bands() << '\n';
        for (int b = 0; b < Bands(); ++b)
            out << m_scaling.offset[b] << ' ' << m_scaling.factor[b] << '\n';
        if (!out.flush())
            return failed();
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    return ec ? failed() : true;
}

std::unique_ptr<SvmModel> SvmModel::Load(const std::wstring& path, std::wstring& error) {
    quietLibsvm();
    const std::string file = narrow(path);
    std::ifstream in(file);
    if (!in) {
        error = L"Cannot open the SVM model file " + path + L".";
        return nullptr;
    }
    std::unique_ptr<SvmModel> model(new SvmModel);
    std::string line;
    bool found = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string tag;
        int bands = 0;
        if (!(words >> tag >> bands) || tag != kScalingTag)
            continue;
        found = bands > 0 && bands <= 1024;
        for (int b = 0; b < bands && found; ++b) {
            double offset = 0, factor = 0;
            found = static_cast<bool>(in >> offset >> factor);
            model->m_scaling.offset.push_back(offset);
            model->m_scaling.factor.push_back(factor);
        }
        break;
    }
    if (!found) {
        error = L"The SVM model file " + path + L" has no valid band scaling: it was not written by this program.";
        return nullptr;
    }
    model->m_model = svm_load_model(file.c_str());
    if (!model->m_model || svm_get_svm_type(model->m_model) != C_SVC || model->m_model->param.kernel_type < LINEAR ||
        model->m_model->param.kernel_type > SIGMOID || model->m_model->nr_class < 1) {
        error = L"The SVM model file " + path + L" is not a C-SVC model of a supported kernel.";
        return nullptr;
    }
    for (int i = 0; i < model->m_model->l; ++i)
        for (const svm_node* node = model->m_model->SV[i]; node->index != -1; ++node)
            if (node->index < 1 || node->index > model->Bands()) {
                error = L"The SVM model file " + path + L" has support vectors of more bands than its scaling.";
                return nullptr;
            }
    model->prepare();
    return model;
}

int SvmModel::ClassCount() const { return m_model->nr_class; }
int SvmModel::SupportVectorCount() const { return m_model->l; }
int SvmModel::Kernel() const { return m_model->param.kernel_type; }

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
    m_svNorms = m_supportVectors.rowwise().squaredNorm();
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
                    m_linearWeights.col(p) += m_coefficients(m_start[j] + s, i) *
                                              m_supportVectors.row(m_start[j] + s).transpose();
            }
    }
}

void SvmModel::Predict(const float* pixels, int count, const std::uint8_t* valid, std::uint16_t* labels,
                       Workspace& work) const {
    const int k = m_model->nr_class, d = Bands(), pairs = k * (k - 1) / 2;
    const svm_parameter& param = m_model->param;
    std::vector<double> scaled(d);
    work.votes.resize(k);
    ForEachValidChunk(count, valid, kChunkPixels, [&](const std::vector<int>& index, int m) {
        if (k == 1) {
            for (int r = 0; r < m; ++r)
                labels[index[r]] = static_cast<std::uint16_t>(m_model->label[0]);
            return;
        }
        work.x.resize(m, d);
        for (int r = 0; r < m; ++r) {
            m_scaling.Apply(pixels + static_cast<std::size_t>(index[r]) * d, scaled.data());
            for (int b = 0; b < d; ++b)
                work.x(r, b) = scaled[b];
        }
        if (param.kernel_type == LINEAR) {
            work.decision.noalias() = work.x * m_linearWeights;
        } else {
            // The kernel's argument in double precision, the kernel itself and
            // the sums over support vectors in single: half the memory traffic
            // and twice the vector width, with decision values off by about
            // 1e-6 (a pixel that close to a boundary is a tie either way).
            work.kernel.noalias() = work.x * m_supportVectors.transpose();
            auto G = work.kernel.array();
            switch (param.kernel_type) {
            case POLY: {
                const Eigen::ArrayXXf base = (param.gamma * G + param.coef0).cast<float>();
                work.kernelF.setOnes(m, G.cols());
                for (int e = 0; e < param.degree; ++e)
                    work.kernelF.array() *= base;
                break;
            }
            case RBF:
                // |x - s|² = |x|² + |s|² - 2 x·s, never below 0 after rounding.
                work.norms = work.x.rowwise().squaredNorm();
                G *= -2.0;
                G.colwise() += work.norms.array();
                G.rowwise() += m_svNorms.transpose().array();
                work.kernelF = (-param.gamma * G.max(0.0)).cast<float>().exp().matrix();
                break;
            case SIGMOID:
                work.kernelF = (param.gamma * G + param.coef0).cast<float>().tanh().matrix();
                break;
            }
            // Per class, its support vectors' share of every decision it takes part in.
            work.partial.resize(m, static_cast<Eigen::Index>(k) * (k - 1));
            for (int c = 0; c < k; ++c)
                work.partial.middleCols(static_cast<Eigen::Index>(c) * (k - 1), k - 1).noalias() =
                    work.kernelF.middleCols(m_start[c], m_count[c]) *
                    m_coefficientsF.middleRows(m_start[c], m_count[c]);
            work.decision.resize(m, pairs);
            int p = 0;
            for (int i = 0; i < k; ++i)
                for (int j = i + 1; j < k; ++j, ++p)
                    work.decision.col(p) = (work.partial.col(i * (k - 1) + j - 1) + work.partial.col(j * (k - 1) + i)).cast<double>();
        }
        // libsvm's one-against-one vote; the first class wins a tie.
        for (int r = 0; r < m; ++r) {
            std::fill(work.votes.begin(), work.votes.end(), 0);
            int p = 0;
            for (int i = 0; i < k; ++i)
                for (int j = i + 1; j < k; ++j, ++p)
                    ++work.votes[work.decision(r, p) - m_rho(p) > 0 ? i : j];
            int best = 0;
            for (int c = 1; c < k; ++c)
                if (work.votes[c] > work.votes[best])
                    best = c;
            labels[index[r]] = static_cast<std::uint16_t>(m_model->label[best]);
        }
    });
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
