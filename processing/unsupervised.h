#pragma once
// Unsupervised classification: K-Means and ISODATA over the bands of one
// image, writing a classified image with its ".acf".

#include "processing/basealgorithm.h"
#include "processing/clustering.h"
#include "processing/paramdecl.h"

#include <functional>
#include <map>
#include <string>

class KMeanClassifyParam : public AlgorithmParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<KMeanClassifyParam>(*this);
    }

    int m_classCount = 5;
    int m_maxIterations = 5;
    double m_changeThreshold = 0.05; // stop when at most this fraction of pixels changes class
    // Not set by the window: pixels the centres are fitted on (evenly spread
    // over the image); the whole image when it has fewer.
    long long m_sampleLimit = 1LL << 20;
    // Not set by the window: the seed of the k-means++ draws; the same seed
    // gives the same classes.
    long long m_seed = static_cast<long long>(tessera::kDefaultSeed);
};

class ISODATAClassifyParam : public AlgorithmParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<ISODATAClassifyParam>(*this);
    }

    int m_classCount = 5; // desired number of classes
    int m_maxIterations = 5;
    double m_changeThreshold = 0.05;
    double m_minClassDistance = 0.5; // centres closer than this are merged
    double m_splitStdDev = 1.0;      // a class whose largest standard deviation exceeds this may split
    int m_maxMergePairs = 2;         // merges per iteration
    int m_minPixelCount = 1000;      // smaller classes are discarded
    long long m_sampleLimit = 1LL << 20;
};

// The parameters of each method, with their ranges.
const tessera::ParamTable<KMeanClassifyParam>& KMeansParameters();
const tessera::ParamTable<ISODATAClassifyParam>& ISODATAParameters();

// What K-Means and ISODATA share: a sample of the image's pixels, the
// clusterer's centres ordered by brightness, and the classified output.
class CUnsupervisedClassify : public CBaseAlgorithm {
protected:
    using CBaseAlgorithm::CBaseAlgorithm;
    using Metadata = std::map<std::string, std::string>;
    // The clusterer: centres from the sample (each sample pixel standing for
    // `weight` image pixels), with its own metadata items.
    using Fit = std::function<tessera::Centres(const tessera::SampleShare& sample, double weight,
                                               Metadata& metadata)>;
    bool ClusterAndLabel(long long sampleLimit, const Fit& fit);
};

class CKMeanClassify : public CUnsupervisedClassify {
public:
    // Copies the record (a KMeanClassifyParam; any other record keeps the defaults).
    explicit CKMeanClassify(const AlgorithmParam* param);
    bool Preproccess() override;
    bool Process() override;

    const KMeanClassifyParam& Param() const { return static_cast<const KMeanClassifyParam&>(*m_param); }
};

class CISODATAClassify : public CUnsupervisedClassify {
public:
    explicit CISODATAClassify(const ISODATAClassifyParam* param);
    bool Preproccess() override;
    bool Process() override;

    const ISODATAClassifyParam& Param() const { return static_cast<const ISODATAClassifyParam&>(*m_param); }
};
