#include "processing/forestmodel.h"

#include "base/commonfun.h"
#include "engine/formatio.h"
#include "processing/blockprocessor.h"

#include <opencv2/core.hpp>
#include <opencv2/ml.hpp>

#include <algorithm>

namespace tessera {

namespace {

constexpr std::size_t kMaxModelBytes = std::size_t(1) << 31;
constexpr int kChunkPixels = 4096;

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
    const cv::ml::RTrees& f = *m_impl->forest;
    cv::Mat chunk(kChunkPixels, m_bands, CV_32F), out;
    ForEachValidChunk(count, valid, kChunkPixels, [&](const std::vector<int>& index, int m) {
        for (int r = 0; r < m; ++r)
            std::copy_n(pixels + static_cast<std::size_t>(index[r]) * m_bands, m_bands, chunk.ptr<float>(r));
        const cv::Mat rows = chunk.rowRange(0, m);
        if (!voteShare) {
            f.predict(rows, out);
            for (int r = 0; r < m; ++r)
                labels[index[r]] = static_cast<std::uint16_t>(out.at<float>(r));
            return;
        }
        // Row 0 of the votes names the classes; the first of the most votes wins.
        f.getVotes(rows, out, 0);
        for (int r = 0; r < m; ++r) {
            const int* votes = out.ptr<int>(r + 1);
            const int best = static_cast<int>(std::max_element(votes, votes + out.cols) - votes);
            labels[index[r]] = static_cast<std::uint16_t>(out.at<int>(0, best));
            voteShare[index[r]] = static_cast<float>(votes[best]) / static_cast<float>(m_trees);
        }
    });
}

} // namespace tessera
