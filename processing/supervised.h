#pragma once
// Supervised classification from a training-sample file (".cif"): minimum
// distance, maximum likelihood, Mahalanobis distance, spectral angle and
// parallelepiped. Class i of the output is the i-th sample of the file, with
// its name and colour; 0 is unclassified (rejected, nodata, outside the AOI).

#include "processing/classifyoutputs.h"

#include <vector>

enum SuperviseClassifyType : int {
    SUPERVISE_MINIMUM_DISTANCE = 0,
    SUPERVISE_MAXIMUM_LIKELIHOOD = 1,
    SUPERVISE_MAHALANOBIS = 2,
    SUPERVISE_SPECTRAL_ANGLE = 3,
    SUPERVISE_PARALLELEPIPED = 4,
};

// The record shared by the supervised windows.
class CSuperviseParam : public AlgorithmParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<CSuperviseParam>(*this);
    }

    // One array of band means per class, when the caller read them from the
    // sample file itself; empty: the classifier takes them from the file.
    // The record owns its arrays (value semantics), so copies are safe.
    std::vector<std::vector<double>> m_classMeans;
    std::wstring m_sampleFilePath;
    // Minimum distance: largest distance; spectral angle: largest angle in
    // radians; maximum likelihood and Mahalanobis: largest Mahalanobis
    // distance; parallelepiped: box half-width in standard deviations.
    // 0: no rejection (parallelepiped: the samples' minimum–maximum boxes).
    double m_threshold = 0.0;
};

// The common supervised window's record: the threshold also as text.
class CSuperviseCommonParam : public CSuperviseParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<CSuperviseCommonParam>(*this);
    }

    std::wstring m_thresholdText;
};

class CBaseProgress;

class CSuperviseAlgFactory {
public:
    // The classifier of the kind (never null; an unknown kind fails when it
    // runs), with the progress object attached. The classifier copies param.
    static CBaseAlgorithm* CreateAlgorithm(SuperviseClassifyType kind, AlgorithmParam* param,
                                           CBaseProgress* progress);
};

// One classifier of the five kinds on the block loop.
class CSupervisedClassify : public tessera::CClassifyAlgorithm {
public:
    CSupervisedClassify(SuperviseClassifyType kind, const AlgorithmParam& param);
    bool Preproccess() override;
    bool Process() override;

    SuperviseClassifyType Kind() const { return m_kind; }
    const CSuperviseParam& Param() const { return static_cast<const CSuperviseParam&>(*m_param); }

private:
    SuperviseClassifyType m_kind;
};
