#pragma once
// Support vector machine classification (C-SVC on libsvm) from the training
// pixels of a sample file. Training standardises each band, trains with
// the record's kernel and writes the model (libsvm's text followed by the
// scaling, see docs/formats.md) to the record's model path; with a
// confidence raster asked for, libsvm also fits its probability model (five
// more trainings inside, see docs/algorithms.md). Prediction
// evaluates the kernel for a whole block of pixels against every support
// vector as one matrix product, then votes one-against-one as libsvm does.

#include "processing/learnedclassify.h"
#include "processing/paramdecl.h"
#include "processing/svmmodel.h"

#include <memory>

enum SvmKernelType : int {
    SVM_KERNEL_LINEAR = 0,
    SVM_KERNEL_POLYNOMIAL = 1,
    SVM_KERNEL_RBF = 2,
    SVM_KERNEL_SIGMOID = 3,
};

class CSvmClassifyParam : public AlgorithmParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<CSvmClassifyParam>(*this);
    }

    std::int32_t m_kernelType = SVM_KERNEL_LINEAR;
    double m_coef0 = 1.0;   // constant term of the polynomial and sigmoid kernels
    double m_gamma = 0.143; // 0: 1 / the number of bands
    std::int32_t m_degree = 2;
    double m_cost = 1.0;            // C of C-SVC
    std::int32_t m_standardise = 1; // each band to zero mean and unit deviation before the kernel
    std::wstring m_sampleFilePath;
    std::wstring m_modelFilePath; // written after training (or read, see ReuseModel)
};

const tessera::ParamTable<CSvmClassifyParam>& SvmClassifyParameters();

// Where the trained model goes: beside the output raster, named as the
// output without its extension, with ".svm".
std::wstring SvmModelFilePath(const std::wstring& outputPath);

class CSvmClassifyProcessAlg : public tessera::CLearnedClassify {
public:
    explicit CSvmClassifyProcessAlg(const AlgorithmParam* param);
    ~CSvmClassifyProcessAlg() override;

    const CSvmClassifyParam& Param() const { return static_cast<const CSvmClassifyParam&>(*m_param); }

protected:
    std::wstring SampleFilePath() const override { return Param().m_sampleFilePath; }
    bool CheckParameters() override;
    bool Train(const tessera::TrainingSet& set, int classes, const ProgressFn& progress) override;
    void PrepareWorkers(int workers) override;
    void PredictBlock(const tessera::PixelBlock& block, std::uint16_t* labels, float* confidence,
                      int worker) override;
    std::map<std::string, std::string> Metadata() const override;

private:
    std::unique_ptr<tessera::SvmModel> m_model;
    std::vector<tessera::SvmModel::Workspace> m_work; // one per worker thread
};
