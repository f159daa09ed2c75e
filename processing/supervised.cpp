#include "processing/supervised.h"

#include "base/commonfun.h"
#include "engine/classifysamplefile.h"
#include "engine/rastersource.h"
#include "processing/blockprocessor.h"
#include "processing/classraster.h"
#include "processing/distributed.h"
#include "processing/learnedclassify.h"
#include "processing/signatures.h"

#include <algorithm>
#include <limits>
#include <map>
#include <sstream>

using namespace tessera;

namespace {

const char* kindName(SuperviseClassifyType kind) {
    const DecisionRuleKind* rule = FindDecisionRule(kind);
    return rule ? rule->title : "unknown";
}

// The statistics of each class's pixels in the set (covariance with divisor
// N, as the sample files hold it), replacing those of the file.
void takeStatisticsOf(const TrainingSet& set, std::vector<ClassSignature>& classes) {
    const int k = set.bands;
    for (int c = 0; c < set.classes; ++c) {
        ClassSignature& s = classes[c];
        s.mean.assign(k, 0.0);
        s.minimum.assign(k, std::numeric_limits<double>::infinity());
        s.maximum.assign(k, -std::numeric_limits<double>::infinity());
        s.covariance.assign(static_cast<size_t>(k) * k, 0.0);
        s.pixels = 0;
        for (size_t i = 0; i < set.Size(); ++i)
            if (set.labels[i] == c) {
                ++s.pixels;
                for (int b = 0; b < k; ++b) {
                    s.mean[b] += set.Row(i)[b];
                    s.minimum[b] = std::min<double>(s.minimum[b], set.Row(i)[b]);
                    s.maximum[b] = std::max<double>(s.maximum[b], set.Row(i)[b]);
                }
            }
        for (double& m : s.mean)
            m /= static_cast<double>(s.pixels);
        for (size_t i = 0; i < set.Size(); ++i)
            if (set.labels[i] == c)
                for (int a = 0; a < k; ++a)
                    for (int b = 0; b < k; ++b)
                        s.covariance[static_cast<size_t>(a) * k + b] += (set.Row(i)[a] - s.mean[a]) *
                                                                        (set.Row(i)[b] - s.mean[b]) /
                                                                        static_cast<double>(s.pixels);
    }
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
    : CClassifyAlgorithm(CopyRecordAs<CSuperviseParam>(&param)), m_kind(kind) {
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
    if (!CheckExtras())
        return false;
    // With validation, the statistics come from the pixels of the polygons
    // kept for training, and the held-out polygons' pixels are labelled apart.
    TrainingSet heldOut;
    const bool validate = m_extras.validateFraction > 0;
    if (validate) {
        CClassifySampleFile file;
        if (!file.ReadClassifySampleFile(p.m_sampleFilePath))
            return Fail(L"Cannot read the sample file " + p.m_sampleFilePath + L": " +
                        CommonFun::M2U(file.GetLastError()));
        ShapeSelection training, held;
        TrainingSet set;
        if (!HoldOutShapes(file, m_extras.validateFraction, m_extras.seed, training, held, error) ||
            !CollectTrainingSet(*m_input, m_bands, file, 0, set, error, &training) ||
            !CollectTrainingSet(*m_input, m_bands, file, CLearnedClassify::kHeldOutCapPerClass, heldOut,
                                error, &held))
            return Fail(error);
        takeStatisticsOf(set, classes);
    }
    DecisionRule rule;
    if (!rule.Prepare(m_kind, classes, p.m_threshold, error, m_extras.priors))
        return Fail(error);

    BlockProcessor blocks(*m_input, m_bands, m_aoi.get(), ProcessingRect());
    blocks.ShareAmongRanks(Cluster());
    std::vector<ClassDefinition> definitions{{L"Unclassified", 0}};
    std::vector<std::wstring> names;
    for (const ClassSignature& c : classes) {
        definitions.push_back({c.name, c.colour});
        names.push_back(c.name);
    }
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
    if (validate)
        metadata["HELD_OUT_PIXELS"] = std::to_string(heldOut.Size());
    const LabelKernel kernel = [&](const PixelBlock& block, std::uint16_t* labels, float* confidence, int) {
        rule.ClassifyBlock(block.values, block.PixelCount(), block.valid, labels, confidence);
    };
    if (!LabelImage(blocks, static_cast<int>(classes.size()), kernel, Stage(5, 100, L"Classifying"),
                    definitions, metadata, rule.Rule().confidence))
        return false;
    if (validate &&
        !WriteValidation(heldOut, names, [&](const float* pixels, int count, std::uint16_t* labels) {
            rule.ClassifyBlock(pixels, count, nullptr, labels);
        }))
        return false;
    ReportPercent(100);
    return true;
}
