#include "processing/supervised.h"

#include "base/commonfun.h"
#include "engine/rastersource.h"
#include "processing/blockprocessor.h"
#include "processing/classraster.h"
#include "processing/signatures.h"

#include <map>
#include <sstream>

using namespace tessera;

namespace {

const char* kindName(SuperviseClassifyType kind) {
    const DecisionRuleKind* rule = FindDecisionRule(kind);
    return rule ? rule->title : "unknown";
}

} // namespace

CBaseAlgorithm* CSuperviseAlgFactory::CreateAlgorithm(SuperviseClassifyType kind, AlgorithmParam* param,
                                                      CBaseProgress* progress) {
    // (A conditional expression here would slice the record to its base.)
    const CSuperviseParam defaults;
    auto* algorithm =
        new CSupervisedClassify(kind, param ? static_cast<const AlgorithmParam&>(*param) : defaults);
    algorithm->SetProgress(progress);
    return algorithm;
}

CSupervisedClassify::CSupervisedClassify(SuperviseClassifyType kind, const AlgorithmParam& param)
    : CBaseAlgorithm(CopyRecordAs<CSuperviseParam>(&param)), m_kind(kind) {
    if (m_param->m_algorithmName.empty())
        m_param->m_algorithmName =
            CommonFun::M2U(std::string("Supervised classification: ") + kindName(kind));
}

bool CSupervisedClassify::Preproccess() {
    const DecisionRuleKind* rule = FindDecisionRule(m_kind);
    if (!rule)
        return Fail(L"Unknown classifier kind " + std::to_wstring(static_cast<int>(m_kind)) + L".");
    if (!CheckDeclared(RuleParameters(*rule).Validate(Param())))
        return false;
    if (Param().m_sampleFilePath.empty())
        return Fail(L"No sample file was given.");
    return CBaseAlgorithm::Preproccess();
}

bool CSupervisedClassify::Process() {
    if (!Preproccess() || !ConfigRasterAOI())
        return false;
    const CSuperviseParam& p = Param();
    std::vector<ClassSignature> classes;
    std::wstring error;
    ReportStep(L"Reading samples");
    if (!ReadSignatures(p.m_sampleFilePath, static_cast<int>(m_bands.size()), classes, error))
        return Fail(error);
    // Means read by the window itself stand in for the file's.
    if (!p.m_classMeans.empty()) {
        if (p.m_classMeans.size() != classes.size())
            return Fail(L"The record holds " + std::to_wstring(p.m_classMeans.size()) +
                        L" class means, the sample file " + std::to_wstring(classes.size()) + L" samples.");
        for (size_t c = 0; c < classes.size(); ++c) {
            if (p.m_classMeans[c].size() != m_bands.size())
                return Fail(L"A class mean of the record does not cover the image's bands.");
            classes[c].mean = p.m_classMeans[c];
        }
    }
    if (classes.size() > 65535)
        return Fail(L"Too many classes in the sample file.");
    DecisionRule rule;
    if (!rule.Prepare(m_kind, classes, p.m_threshold, error))
        return Fail(error);

    BlockProcessor blocks(*m_input, m_bands, m_aoi.get(), ProcessingRect());
    ClassRasterWriter writer;
    if (!writer.Create(p.m_outputPath, p.m_outputFormat, *m_input, static_cast<int>(classes.size()),
                       p.m_creationOptions))
        return Fail(writer.GetLastError());
    const bool ok = blocks.LabelBlocks(
        [&](const PixelBlock& block, std::uint16_t* labels, int) {
            rule.ClassifyBlock(block.values, block.PixelCount(), block.valid, labels);
        },
        writer, Stage(5, 100, L"Classifying"));
    if (!ok) {
        writer.Abort();
        return IsCancelled() ? false : Fail(blocks.GetLastError());
    }
    std::vector<ClassDefinition> definitions{{L"Unclassified", 0}};
    for (const ClassSignature& c : classes)
        definitions.push_back({c.name, c.colour});
    std::ostringstream threshold;
    threshold << p.m_threshold;
    std::string regularised;
    for (size_t c = 0; c < rule.Ridges().size(); ++c)
        if (rule.Ridges()[c] > 0)
            regularised += (regularised.empty() ? "" : ",") + std::to_string(c + 1);
    std::map<std::string, std::string> metadata{{"ALGORITHM", kindName(m_kind)},
                                                {"SAMPLES", CommonFun::U2M(p.m_sampleFilePath)},
                                                {"THRESHOLD", threshold.str()},
                                                {"INPUT", CommonFun::U2M(p.m_inputPath)}};
    if (!regularised.empty())
        metadata["REGULARISED_CLASSES"] = regularised;
    if (!writer.Commit(definitions, metadata))
        return Fail(writer.GetLastError());
    ReportPercent(100);
    return true;
}
