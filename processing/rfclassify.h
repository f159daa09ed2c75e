#pragma once
// Random forest classification (OpenCV's RTrees) from the training pixels of
// a sample file. Training grows the record's number of trees and writes the
// model (OpenCV's YAML text) to the record's model path; prediction takes the
// majority vote of the trees, and the share of the trees behind it is the
// pixel's confidence.

#include "processing/forestmodel.h"
#include "processing/learnedclassify.h"
#include "processing/paramdecl.h"

#include <memory>

class CRandomForestParam : public AlgorithmParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<CRandomForestParam>(*this);
    }

    std::int32_t m_treeCount = 100;
    std::int32_t m_maxDepth = 25;
    std::uint64_t m_seed = 1; // the bootstrap samples and the bands tried at each split
    std::wstring m_sampleFilePath;
    std::wstring m_modelFilePath; // written after training (or read, see ReuseModel)
};

const tessera::ParamTable<CRandomForestParam>& RandomForestParameters();

// Where the trained forest goes: beside the output raster, named as the
// output without its extension, with ".rf".
std::wstring ForestModelFilePath(const std::wstring& outputPath);

class CRandomForestClassify : public tessera::CLearnedClassify {
public:
    explicit CRandomForestClassify(const AlgorithmParam* param);
    ~CRandomForestClassify() override;

    const CRandomForestParam& Param() const { return static_cast<const CRandomForestParam&>(*m_param); }

protected:
    std::wstring SampleFilePath() const override { return Param().m_sampleFilePath; }
    bool CheckParameters() override;
    bool Train(const tessera::TrainingSet& set, int classes, const ProgressFn& progress) override;
    void PredictBlock(const tessera::PixelBlock& block, std::uint16_t* labels, float* confidence,
                      int worker) override;
    std::string ConfidenceMeaning() const override { return "share of the trees voting for the class"; }
    std::map<std::string, std::string> Metadata() const override;

private:
    std::unique_ptr<tessera::ForestModel> m_model;
};
