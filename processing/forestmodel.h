#pragma once
// A random forest of classification trees on OpenCV's ml module (RTrees):
// trained on the training pixels as they are (trees need no scaling), saved
// as OpenCV's YAML text. For prediction the trees are copied into flat
// arrays and a chunk of pixels goes down one tree at a time, several pixels
// in lockstep without a branch, so each tree stays in cache and the loads
// overlap. The labels
// are the sample numbers (class c of the set is label c + 1).

#include "processing/learnedclassify.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessera {

struct ForestParameters {
    int trees = 100;
    int maxDepth = 25;
    std::uint64_t seed = 0; // the bootstrap samples and the bands tried at each split follow from it
};

class ForestModel {
public:
    ~ForestModel();
    ForestModel(const ForestModel&) = delete;
    ForestModel& operator=(const ForestModel&) = delete;

    static std::unique_ptr<ForestModel> Train(const TrainingSet& set, const ForestParameters& parameters,
                                              std::wstring& error);
    // Written whole through a temporary file and a rename.
    bool Save(const std::wstring& path, std::wstring& error) const;
    // False (null) with a one-line message for a file that is not a trained forest.
    static std::unique_ptr<ForestModel> Load(const std::wstring& path, std::wstring& error);

    int Bands() const { return m_bands; }
    int TreeCount() const { return m_trees; }
    // The largest class label the forest can give.
    int MaxLabel() const { return m_labels.empty() ? 0 : m_labels.back(); }

    // Labels of count pixels (pixel-interleaved, Bands() values each) whose
    // valid entry is set (valid may be null); with voteShare, also the share
    // of the trees that voted for the chosen label. Safe from several threads.
    void Predict(const float* pixels, int count, const std::uint8_t* valid, std::uint16_t* labels,
                 float* voteShare = nullptr) const;
    // The label OpenCV's own predict gives one pixel: the reference the flat
    // trees must agree with.
    int PredictWithOpenCV(const float* pixel) const;

private:
    struct Impl;
    explicit ForestModel(std::unique_ptr<Impl> impl);
    // Bands, trees and labels from the trained forest, and its flat copy.
    bool describe(std::wstring& error);

    // A node of the flat trees: pixels whose band value is at most the
    // threshold go to child, the others to child + 1; a leaf is its own child.
    struct FlatNode {
        std::int32_t band = 0;
        float threshold = 0;
        std::int32_t child = 0;
    };
    std::vector<FlatNode> m_nodes;
    std::vector<std::int32_t> m_leafClass; // per node: the class index (into m_labels) of a leaf
    std::vector<std::int32_t> m_roots;     // per tree

    std::unique_ptr<Impl> m_impl;
    int m_bands = 0, m_trees = 0;
    std::vector<int> m_labels; // sorted, as OpenCV orders the classes of its votes
};

} // namespace tessera
