#pragma once
// Classifiers that learn from the pixels under the training shapes of a
// sample file (".cif") rather than from its statistics alone: the support
// vector machine and the back-propagation network. The base class reads the
// file, gathers the training pixels, lets the learner train, then labels the
// image block by block on all cores into the shared classified output
// (class i = the i-th sample, with its name and colour; 0 = unclassified).

#include "processing/classifyoutputs.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CClassifySampleFile;

namespace tessera {
struct PixelBlock;

// Training pixels: one row of band values per pixel, with its class (from 0).
struct TrainingSet {
    int bands = 0;
    int classes = 0;
    std::vector<float> features; // pixels × bands, pixel-interleaved
    std::vector<int> labels;     // one per pixel, 0 .. classes-1
    std::size_t Size() const { return labels.size(); }
    const float* Row(std::size_t i) const { return features.data() + i * static_cast<std::size_t>(bands); }
};

// Per-band affine scaling x' = (x - offset) * factor, learnt from the
// training pixels and applied to every pixel before training and prediction.
struct FeatureScaling {
    std::vector<double> offset, factor;
    // Zero mean and unit standard deviation per band; a constant band maps to 0.
    static FeatureScaling Standardise(const TrainingSet& set);
    void Apply(const float* in, double* out) const;
    int Bands() const { return static_cast<int>(offset.size()); }
};

// The pixels of `bands` (numbers from 1) under each sample's shapes, at most
// capPerClass per class (a deterministic, evenly spread subsample when a
// class has more, gathered in bounded memory; 0: no cap). False with a message when the file's band
// count differs from bands.size(), it holds no sample, or a sample has no
// valid pixel inside the raster. With a selection, only the selected shapes
// count, and a sample with no selected shape is left without pixels (no error).
bool CollectTrainingSet(CRasterSource& raster, const std::vector<int>& bands, const CClassifySampleFile& file,
                        std::size_t capPerClass, TrainingSet& set, std::wstring& error,
                        const ShapeSelection* selection = nullptr);

// Where a learner's trained model goes by default: beside the output raster,
// named as the output without its extension, with extension (".svm").
std::wstring ModelPathBesideOutput(const std::wstring& outputPath, const std::wstring& extension);

class CLearnedClassify : public CClassifyAlgorithm {
public:
    bool Process() override;

    // The training pixels kept per class (documented in docs/algorithms.md).
    static constexpr std::size_t kTrainingCapPerClass = 2000;
    // The held-out pixels a validation labels, per class.
    static constexpr std::size_t kHeldOutCapPerClass = 100000;
    // Learners that save their model: classify with the model already at the
    // record's model path instead of training.
    void ReuseModel(bool reuse) { m_reuseModel = reuse; }

protected:
    using CClassifyAlgorithm::CClassifyAlgorithm;

    // The sample file the record names.
    virtual std::wstring SampleFilePath() const = 0;
    // Checks the learner's own parameters before anything is read.
    virtual bool CheckParameters() { return true; }
    // Learns from the training set (or loads a model); false with Fail() set.
    // classes is the sample count of the file.
    virtual bool Train(const TrainingSet& set, int classes, const ProgressFn& progress) = 0;
    // Whether Train needs the training pixels (not when it loads a model).
    bool NeedsTrainingPixels() const { return !m_reuseModel; }
    // Fills labels (1..classes) for the valid pixels of the block and, when
    // confidence is not null, the probability of each label.
    virtual void PredictBlock(const PixelBlock& block, std::uint16_t* labels, float* confidence,
                              int worker) = 0;
    // Checks, before anything is read, that the learner can give a confidence.
    virtual bool CheckConfidence() { return true; }
    // What the confidence raster holds, for its metadata.
    virtual std::string ConfidenceMeaning() const { return "probability of the class"; }
    // Called once before prediction with the number of worker threads.
    virtual void PrepareWorkers(int workers) { (void)workers; }
    // Checks a model read from path (of kind "SVM model", "random forest")
    // against the image's bands and the sample file's classes; false with
    // Fail() set.
    bool CheckLoadedModel(const std::wstring& kind, const std::wstring& path, int modelBands, int maxLabel,
                          int bands, int classes);
    // Extra metadata items of the output.
    virtual std::map<std::string, std::string> Metadata() const { return {}; }

    bool m_reuseModel = false;
};

} // namespace tessera
