#pragma once
// Class signatures from a sample file and the per-pixel decision rules of the
// supervised classifiers, apart from any raster so tests can check them
// against straight formulas.

#include "processing/paramdecl.h"
#include "processing/supervised.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessera {

struct ClassSignature {
    std::wstring name;
    std::uint32_t colour = 0;
    std::int64_t pixels = 0;
    std::vector<double> mean, minimum, maximum, covariance; // covariance bands × bands, row-major
};

// Reads the signatures of a sample file; false with a message naming the
// file when it cannot be read, holds no sample, or a sample's statistics do
// not cover `bands` bands.
bool ReadSignatures(const std::wstring& path, int bands, std::vector<ClassSignature>& out,
                    std::wstring& error);

// What a decision rule precomputes from the signatures.
struct RuleModel {
    int classes = 0, bands = 0;
    double threshold = 0;
    std::vector<double> mean;      // k × bands
    std::vector<double> inverse;   // k × bands × bands (maximum likelihood, Mahalanobis)
    std::vector<double> logDet;    // k
    std::vector<double> meanNorm;  // k (spectral angle)
    std::vector<double> low, high; // k × bands (parallelepiped)
    std::vector<double> ridge;     // k: ridge added to a singular covariance
    std::vector<double> logPrior;  // k: ln of each class's prior (maximum likelihood); 0 for equal priors
};

// A chunk of m pixels held band by band (x[b * m + r]) and, per pixel, the
// best class so far. A kernel fills score (smaller wins) for one class at a
// time and keeps it with the value a threshold rejects by (before `measure`
// below); aux and scratch are the kernel's own buffers.
struct RuleChunk {
    const double* x = nullptr;
    int m = 0, bands = 0;
    std::vector<double> score, aux, scratch;
    std::vector<double> bestScore, bestAux;
    std::vector<int> best;
    // With keepScores, every class's score too (classes × m, class-major).
    bool keepScores = false;
    std::vector<double> classScores;
    void Keep(int c, const std::vector<double>& measure);
};

// One decision rule: its kernel and how the front ends offer it.
struct DecisionRuleKind {
    SuperviseClassifyType kind;
    const char* method;      // command-line name: "mindist"
    const char* title;       // "minimum distance"
    double defaultThreshold; // where the window and the command line start
    const char* thresholdHelp;
    // False with a message when the signatures cannot support the rule.
    bool (*prepare)(RuleModel& model, const std::vector<ClassSignature>& classes, std::wstring& error);
    void (*score)(const RuleModel& model, RuleChunk& chunk);
    // The rejection measure of the winner from its aux value (a distance, an
    // angle); null when the rule rejects by its own test, not by threshold.
    double (*measure)(double aux);
    // What the confidence raster holds: the posterior probability of the
    // winner (from every class's score), else its measure, else the distance
    // to its mean (the parallelepiped's score).
    bool posterior;
    const char* confidence;
};

// Every decision rule, in the order of their kinds.
const std::vector<DecisionRuleKind>& DecisionRules();
// The rule of the kind, or null.
const DecisionRuleKind* FindDecisionRule(SuperviseClassifyType kind);
// The rule's parameter: its threshold, with the rule's starting value.
ParamTable<CSuperviseParam> RuleParameters(const DecisionRuleKind& rule);

// A prepared decision rule: Classify gives the class (1..k) of a pixel, or 0
// when it is rejected.
class DecisionRule {
public:
    // False with a message when the kind is unknown or the signatures cannot
    // support the rule (a covariance that stays singular after regularisation).
    // priors (maximum likelihood): one positive weight per class, normalised
    // here; empty: equal priors.
    bool Prepare(SuperviseClassifyType kind, const std::vector<ClassSignature>& classes, double threshold,
                 std::wstring& error, const std::vector<double>& priors = {});
    int Classify(const float* pixel) const;
    // The same for the pixels of a block (pixel-interleaved, `bands` values
    // each) whose valid entry is set; the others' labels are left alone.
    // With confidence, also the rule's confidence of each labelled pixel.
    void ClassifyBlock(const float* pixels, int count, const std::uint8_t* valid, std::uint16_t* labels,
                       float* confidence = nullptr) const;
    const DecisionRuleKind& Rule() const { return *m_rule; }
    // The ridge added to each class's covariance diagonal (maximum
    // likelihood and Mahalanobis): 0 when the covariance was invertible.
    const std::vector<double>& Ridges() const { return m_model.ridge; }

private:
    double confidenceOf(const RuleChunk& chunk, int r) const;
    const DecisionRuleKind* m_rule = nullptr;
    RuleModel m_model;
};

} // namespace tessera
