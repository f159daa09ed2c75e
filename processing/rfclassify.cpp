#include "processing/rfclassify.h"

#include "base/commonfun.h"
#include "processing/blockprocessor.h"

using namespace tessera;

CRandomForestClassify::CRandomForestClassify(const AlgorithmParam* param)
    : CLearnedClassify(CopyRecordAs<CRandomForestParam>(param)) {
    if (m_param->m_algorithmName.empty())
        m_param->m_algorithmName = L"Random forest classification";
}

CRandomForestClassify::~CRandomForestClassify() = default;

const ParamTable<CRandomForestParam>& RandomForestParameters() {
    using R = CRandomForestParam;
    static const ParamTable<R> table = ParamTable<R>()
                                           .Add("trees", &R::m_treeCount, "N", "number of trees")
                                           .Range(1, 10000)
                                           .Add("max-depth", &R::m_maxDepth, "D", "deepest split of a tree")
                                           .Range(1, 1000);
    return table;
}

bool CRandomForestClassify::CheckParameters() {
    if (!CheckDeclared(RandomForestParameters().Validate(Param())))
        return false;
    if (Param().m_modelFilePath.empty())
        return Fail(L"No model file path was given.");
    return true;
}

bool CRandomForestClassify::Train(const TrainingSet& set, int classes, const ProgressFn& progress) {
    const CRandomForestParam& p = Param();
    std::wstring error;
    if (m_reuseModel) {
        ReportStep(L"Reading the random forest");
        m_model = ForestModel::Load(p.m_modelFilePath, error);
        if (!m_model)
            return Fail(error);
        return CheckLoadedModel(L"random forest", p.m_modelFilePath, m_model->Bands(), m_model->MaxLabel(),
                                set.bands, classes);
    }
    ReportStep(L"Growing the random forest");
    if (progress)
        progress(0);
    m_model = ForestModel::Train(set, {p.m_treeCount, p.m_maxDepth, p.m_seed}, error);
    if (!m_model || !m_model->Save(p.m_modelFilePath, error))
        return Fail(error);
    if (progress)
        progress(1);
    return true;
}

void CRandomForestClassify::PredictBlock(const PixelBlock& block, std::uint16_t* labels, float* confidence,
                                         int) {
    m_model->Predict(block.values, block.PixelCount(), block.valid, labels, confidence);
}

std::map<std::string, std::string> CRandomForestClassify::Metadata() const {
    const CRandomForestParam& p = Param();
    return {{"ALGORITHM", "random forest"},
            {"TREES", std::to_string(m_model ? m_model->TreeCount() : p.m_treeCount)},
            {"MAX_DEPTH", std::to_string(p.m_maxDepth)},
            {"SEED", std::to_string(p.m_seed)},
            {"MODEL", CommonFun::U2M(p.m_modelFilePath)}};
}

std::wstring ForestModelFilePath(const std::wstring& outputPath) {
    return ModelPathBesideOutput(outputPath, L".rf");
}
