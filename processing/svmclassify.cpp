#include "processing/svmclassify.h"

#include "base/commonfun.h"
#include "processing/blockprocessor.h"
#include "processing/svmmodel.h"

#include <sstream>

using namespace tessera;

namespace {

const char* kernelName(int kernel) {
    static const char* const names[] = {"linear", "polynomial", "rbf", "sigmoid"};
    return kernel >= 0 && kernel <= 3 ? names[kernel] : "unknown";
}

std::string number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace

CSvmClassifyProcessAlg::CSvmClassifyProcessAlg(const AlgorithmParam* param)
    : CLearnedClassify(CopyRecordAs<CSvmClassifyParam>(param)) {
    if (m_param->m_algorithmName.empty())
        m_param->m_algorithmName = L"Support vector machine classification";
}

CSvmClassifyProcessAlg::~CSvmClassifyProcessAlg() = default;

const ParamTable<CSvmClassifyParam>& SvmClassifyParameters() {
    using R = CSvmClassifyParam;
    static const ParamTable<R> table =
        ParamTable<R>()
            .Add("kernel", &R::m_kernelType, "NAME", "kernel")
            .Choices({{"linear", SVM_KERNEL_LINEAR},
                      {"poly", SVM_KERNEL_POLYNOMIAL},
                      {"rbf", SVM_KERNEL_RBF},
                      {"sigmoid", SVM_KERNEL_SIGMOID}})
            .Add("coef0", &R::m_coef0, "C", "constant term of the poly and sigmoid kernels")
            .Add("gamma", &R::m_gamma, "G", "kernel gamma; auto (or 0): 1 / the number of bands")
            .Min(0)
            .Keyword("auto", 0)
            .Add("degree", &R::m_degree, "N", "polynomial degree")
            .Min(1)
            .Add("cost", &R::m_cost, "C", "cost of a training pixel on the wrong side (C of C-SVC)")
            .MinExcluded(0)
            .Add("standardise", &R::m_standardise, "YES|NO",
                 "scale each band to zero mean and unit deviation (recorded in the model)")
            .Choices({{"yes", 1}, {"no", 0}});
    return table;
}

bool CSvmClassifyProcessAlg::CheckParameters() {
    if (!CheckDeclared(SvmClassifyParameters().Validate(Param())))
        return false;
    if (Param().m_modelFilePath.empty())
        return Fail(L"No model file path was given.");
    return true;
}

bool CSvmClassifyProcessAlg::Train(const TrainingSet& set, int classes, const ProgressFn& progress) {
    const CSvmClassifyParam& p = Param();
    std::wstring error;
    if (m_reuseModel) {
        ReportStep(L"Reading the SVM model");
        m_model = SvmModel::Load(p.m_modelFilePath, error);
        if (!m_model)
            return Fail(error);
        if (!CheckLoadedModel(L"SVM model", p.m_modelFilePath, m_model->Bands(), m_model->MaxLabel(),
                              set.bands, classes))
            return false;
        if (!m_extras.confidencePath.empty() && !m_model->HasProbabilities())
            return Fail(L"The SVM model " + p.m_modelFilePath +
                        L" was trained without probabilities: train it again with a confidence raster.");
        return true;
    }
    ReportStep(L"Training the support vector machine");
    if (progress)
        progress(0);
    const double gamma = p.m_gamma > 0 ? p.m_gamma : 1.0 / set.bands;
    m_model = SvmModel::Train(set,
                              {p.m_kernelType, p.m_coef0, gamma, p.m_degree, p.m_cost, p.m_standardise != 0,
                               !m_extras.confidencePath.empty()},
                              error);
    if (!m_model)
        return Fail(error);
    if (!m_model->Save(p.m_modelFilePath, error))
        return Fail(error);
    if (progress)
        progress(1);
    return true;
}

void CSvmClassifyProcessAlg::PrepareWorkers(int workers) {
    m_work.resize(static_cast<size_t>(workers));
}

void CSvmClassifyProcessAlg::PredictBlock(const PixelBlock& block, std::uint16_t* labels, float* confidence,
                                          int worker) {
    m_model->Predict(block.values, block.PixelCount(), block.valid, labels, m_work[worker]);
    if (confidence)
        for (int i = 0; i < block.PixelCount(); ++i)
            if (!block.valid || block.valid[i])
                confidence[i] = static_cast<float>(m_model->Probability(block.Pixel(i), labels[i]));
}

std::map<std::string, std::string> CSvmClassifyProcessAlg::Metadata() const {
    const CSvmClassifyParam& p = Param();
    const int kernel = m_model ? m_model->Kernel() : p.m_kernelType;
    return {{"ALGORITHM", "support vector machine"},
            {"KERNEL", kernelName(kernel)},
            {"GAMMA", number(m_model ? m_model->Gamma() : p.m_gamma)},
            {"COST", number(p.m_cost)},
            {"STANDARDISED", p.m_standardise ? "yes" : "no"},
            {"COEF0", number(p.m_coef0)},
            {"DEGREE", std::to_string(p.m_degree)},
            {"SUPPORT_VECTORS", std::to_string(m_model ? m_model->SupportVectorCount() : 0)},
            {"MODEL", CommonFun::U2M(p.m_modelFilePath)}};
}

std::wstring SvmModelFilePath(const std::wstring& outputPath) {
    return ModelPathBesideOutput(outputPath, L".svm");
}
