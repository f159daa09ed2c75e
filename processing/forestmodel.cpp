#include "processing/forestmodel.h"

#include "base/commonfun.h"
#include "engine/formatio.h"
#include "processing/blockprocessor.h"

#include <opencv2/core.hpp>
#include <opencv2/ml.hpp>

#include <algorithm>
#include <limits>

namespace tessera {

namespace {

constexpr std::size_t kMaxModelBytes = std::size_t(1) << 31;
// Pixels that go down each tree before the next: enough that a tree is read
// from memory once for many pixels, few enough that their values stay in cache.
constexpr int kChunkPixels = 16384;

std::wstring what(const std::exception& e) {
    // OpenCV's messages span lines; the first names the problem.
    std::string text = e.what();
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return CommonFun::M2U(text);
}

} // namespace

struct ForestModel::Impl {
    cv::Ptr<cv::ml::RTrees> forest;
};

ForestModel::ForestModel(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ForestModel::~ForestModel() = default;

std::unique_ptr<ForestModel> ForestModel::Train(const TrainingSet& set, const ForestParameters& parameters,
                                                std::wstring& error) {
    if (set.Size() == 0 || set.bands < 1) {
        error = L"No training pixel for the random forest.";
        return nullptr;
    }
    try {
        auto impl = std::make_unique<Impl>();
        impl->forest = cv::ml::RTrees::create();
        cv::ml::RTrees& f = *impl->forest;
        f.setMaxDepth(parameters.maxDepth);
        f.setMinSampleCount(2); // grown until the nodes are pure, as a random forest is
        f.setRegressionAccuracy(0);
        f.setUseSurrogates(false);
        f.setMaxCategories(16);
        f.setCVFolds(0);
        f.setCalculateVarImportance(false);
        f.setActiveVarCount(0); // the square root of the band count at each split
        f.setTermCriteria(cv::TermCriteria(cv::TermCriteria::MAX_ITER, parameters.trees, 0));
        const int n = static_cast<int>(set.Size());
        cv::Mat samples(n, set.bands, CV_32F, const_cast<float*>(set.features.data()));
        cv::Mat responses(n, 1, CV_32S);
        for (int i = 0; i < n; ++i)
            responses.at<int>(i) = set.labels[i] + 1;
        // The forest draws its bootstrap samples and split bands from the
        // calling thread's generator.
        cv::theRNG().state = parameters.seed ? parameters.seed : 0xFFFFFFFFull;
        const cv::Ptr<cv::ml::TrainData> data =
            cv::ml::TrainData::create(samples, cv::ml::ROW_SAMPLE, responses);
        if (!f.train(data)) {
            error = L"The random forest could not be trained.";
            return nullptr;
        }
        std::unique_ptr<ForestModel> model(new ForestModel(std::move(impl)));
        return model->describe(error) ? std::move(model) : nullptr;
    } catch (const std::exception& e) {
        error = L"The random forest could not be trained: " + what(e);
        return nullptr;
    }
}

bool ForestModel::describe(std::wstring& error) {
    const cv::ml::RTrees& f = *m_impl->forest;
    if (!f.isTrained() || !f.isClassifier() || f.getVarCount() < 1 || f.getRoots().empty()) {
        error = L"it holds no trained classification forest";
        return false;
    }
    m_bands = f.getVarCount();
    m_trees = static_cast<int>(f.getRoots().size());
    if (m_trees > 65535) {
        error = L"it holds more than 65535 trees";
        return false;
    }
    // The class labels head the vote table.
    cv::Mat votes;
    f.getVotes(cv::Mat::zeros(1, m_bands, CV_32F), votes, 0);
    m_labels.clear();
    for (int c = 0; c < votes.cols; ++c)
        m_labels.push_back(votes.at<int>(0, c));
    if (m_labels.empty() || m_labels.front() < 1 || m_labels.back() > 65535 ||
        !std::is_sorted(m_labels.begin(), m_labels.end())) {
        error = L"its class labels are not sample numbers from 1 to 65535";
        return false;
    }

    // OpenCV sends a pixel left when its value is at most the split's
    // threshold, right when the split is inversed: each node's two ways, a
    // leaf pointing to itself.
    const std::vector<cv::ml::DTrees::Node>& nodes = f.getNodes();
    const std::vector<cv::ml::DTrees::Split>& splits = f.getSplits();
    const int nodeCount = static_cast<int>(nodes.size());
    struct Ways {
        int band;
        float threshold;
        int atMost, above;
    };
    std::vector<Ways> ways(nodes.size());
    const auto bad = [&] {
        error = L"its trees are not well formed";
        return false;
    };
    for (int i = 0; i < nodeCount; ++i) {
        const cv::ml::DTrees::Node& node = nodes[i];
        if (node.split < 0) {
            if (node.classIdx < 0 || node.classIdx >= static_cast<int>(m_labels.size()))
                return bad();
            ways[i] = {node.classIdx, 0.0f, i, i};
            continue;
        }
        if (node.split >= static_cast<int>(splits.size()) || node.left < 0 || node.left >= nodeCount ||
            node.right < 0 || node.right >= nodeCount)
            return bad();
        const cv::ml::DTrees::Split& split = splits[node.split];
        if (split.varIdx < 0 || split.varIdx >= m_bands)
            return bad();
        ways[i] = {split.varIdx, split.c, split.inversed ? node.right : node.left,
                   split.inversed ? node.left : node.right};
    }
    // Every tree a tree (no node reached twice), copied breadth first with the
    // two children of a node side by side, so that a step is
    // child + (value > threshold), with no branch to mispredict.
    std::vector<bool> reached(nodes.size(), false);
    m_nodes.clear();
    m_leafClass.clear();
    m_roots.clear();
    for (int root : f.getRoots()) {
        if (root < 0 || root >= nodeCount)
            return bad();
        m_roots.push_back(static_cast<std::int32_t>(m_nodes.size()));
        std::vector<std::pair<int, std::int32_t>> queue{{root, m_roots.back()}}; // (OpenCV's node, ours)
        m_nodes.emplace_back();
        m_leafClass.push_back(0);
        for (std::size_t q = 0; q < queue.size(); ++q) {
            const auto [from, to] = queue[q];
            if (reached[from])
                return bad();
            reached[from] = true;
            const Ways& w = ways[from];
            if (w.atMost == from) {
                m_nodes[to] = {0, std::numeric_limits<float>::infinity(), to};
                m_leafClass[to] = w.band;
                continue;
            }
            const auto child = static_cast<std::int32_t>(m_nodes.size());
            m_nodes[to] = {w.band, w.threshold, child};
            m_nodes.resize(m_nodes.size() + 2);
            m_leafClass.resize(m_nodes.size(), 0);
            queue.insert(queue.end(), {{w.atMost, child}, {w.above, child + 1}});
        }
    }
    return true;
}

bool ForestModel::Save(const std::wstring& path, std::wstring& error) const {
    std::string text, message;
    try {
        cv::FileStorage storage(".yml", cv::FileStorage::WRITE | cv::FileStorage::MEMORY |
                                            cv::FileStorage::FORMAT_YAML);
        m_impl->forest->write(storage);
        text = storage.releaseAndGetString();
    } catch (const std::exception& e) {
        error = L"Cannot write the random forest model " + path + L": " + what(e);
        return false;
    }
    if (!formatio::ReplaceFile(CommonFun::U2M(path), text, message)) {
        error = L"Cannot write the random forest model " + path + L": " + CommonFun::M2U(message) + L".";
        return false;
    }
    return true;
}

std::unique_ptr<ForestModel> ForestModel::Load(const std::wstring& path, std::wstring& error) {
    std::string text, message;
    if (!formatio::ReadWholeFile(CommonFun::U2M(path), kMaxModelBytes, text, message)) {
        error = L"Cannot open the random forest model " + path + L": " + CommonFun::M2U(message) + L".";
        return nullptr;
    }
    std::wstring problem;
    try {
        if (text.rfind("%YAML", 0) != 0)
            throw std::runtime_error("not an OpenCV YAML file");
        cv::FileStorage storage(text, cv::FileStorage::READ | cv::FileStorage::MEMORY);
        auto impl = std::make_unique<Impl>();
        impl->forest = cv::ml::RTrees::create();
        impl->forest->read(storage.root());
        std::unique_ptr<ForestModel> model(new ForestModel(std::move(impl)));
        if (model->describe(problem))
            return model;
    } catch (const std::exception& e) {
        problem = what(e);
    }
    error = L"The random forest model " + path + L" is not valid: " + problem + L".";
    return nullptr;
}

void ForestModel::Predict(const float* pixels, int count, const std::uint8_t* valid, std::uint16_t* labels,
                          float* voteShare) const {
    constexpr int kLanes = 8; // pixels going down a tree together
    const int classes = static_cast<int>(m_labels.size());
    std::vector<float> x(static_cast<std::size_t>(kChunkPixels + kLanes) * m_bands);
    std::vector<std::uint16_t> votes; // at most 65535 trees
    const FlatNode* nodes = m_nodes.data();
    ForEachValidChunk(count, valid, kChunkPixels, [&](const std::vector<int>& index, int m) {
        for (int r = 0; r < m; ++r)
            std::copy_n(pixels + static_cast<std::size_t>(index[r]) * m_bands, m_bands,
                        x.data() + r * m_bands);
        votes.assign(static_cast<std::size_t>(m) * classes, 0);
        // The last group's spare lanes walk copies of the last pixel; their votes are not counted.
        const int padded = (m + kLanes - 1) / kLanes * kLanes;
        for (int r = m; r < padded; ++r)
            std::copy_n(x.data() + static_cast<std::size_t>(m - 1) * m_bands, m_bands,
                        x.data() + static_cast<std::size_t>(r) * m_bands);
        for (const std::int32_t root : m_roots)
            for (int r = 0; r < padded; r += kLanes) {
                // The lanes step together, without a branch, until every one
                // stands on a leaf (which is its own child).
                const float* lane = x.data() + static_cast<std::size_t>(r) * m_bands;
                std::int32_t at[kLanes];
                for (int j = 0; j < kLanes; ++j)
                    at[j] = root;
                for (bool done = false; !done;) {
                    for (int step = 0; step < 4; ++step)
                        for (int j = 0; j < kLanes; ++j) {
                            const FlatNode& n = nodes[at[j]];
                            at[j] =
                                n.child + static_cast<std::int32_t>(lane[j * m_bands + n.band] > n.threshold);
                        }
                    done = true;
                    for (int j = 0; j < kLanes; ++j)
                        done &= nodes[at[j]].child == at[j];
                }
                for (int j = 0; j < kLanes && r + j < m; ++j)
                    ++votes[static_cast<std::size_t>(r + j) * classes + m_leafClass[at[j]]];
            }
        // The first of the most votes wins, as in OpenCV.
        for (int r = 0; r < m; ++r) {
            const std::uint16_t* v = votes.data() + static_cast<std::size_t>(r) * classes;
            const int best = static_cast<int>(std::max_element(v, v + classes) - v);
            labels[index[r]] = static_cast<std::uint16_t>(m_labels[best]);
            if (voteShare)
                voteShare[index[r]] = static_cast<float>(v[best]) / static_cast<float>(m_trees);
        }
    });
}

int ForestModel::PredictWithOpenCV(const float* pixel) const {
    return static_cast<int>(m_impl->forest->predict(cv::Mat(1, m_bands, CV_32F, const_cast<float*>(pixel))));
}

} // namespace tessera
