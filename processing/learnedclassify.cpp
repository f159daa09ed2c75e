#include "processing/learnedclassify.h"

#include "base/commonfun.h"
#include "engine/classifysamplefile.h"
#include "engine/rasteralgorithm.h"
#include "engine/rastersource.h"
#include "processing/blockprocessor.h"
#include "processing/classraster.h"
#include "processing/distributed.h"

#include <algorithm>
#include <cmath>

namespace tessera {

FeatureScaling FeatureScaling::Standardise(const TrainingSet& set) {
    FeatureScaling s;
    const double n = std::max<double>(1, static_cast<double>(set.Size()));
    for (int b = 0; b < set.bands; ++b) {
        double sum = 0, squares = 0;
        for (std::size_t i = 0; i < set.Size(); ++i)
            sum += set.Row(i)[b];
        const double mean = sum / n;
        for (std::size_t i = 0; i < set.Size(); ++i)
            squares += (set.Row(i)[b] - mean) * (set.Row(i)[b] - mean);
        const double sd = std::sqrt(squares / n);
        s.offset.push_back(mean);
        s.factor.push_back(sd > 0 ? 1.0 / sd : 0.0); // a constant band maps to 0
    }
    return s;
}

void FeatureScaling::Apply(const float* in, double* out) const {
    for (std::size_t b = 0; b < offset.size(); ++b)
        out[b] = (in[b] - offset[b]) * factor[b];
}

bool CollectTrainingSet(CRasterSource& raster, const std::vector<int>& bands, const CClassifySampleFile& file,
                        std::size_t capPerClass, TrainingSet& set, std::wstring& error,
                        const ShapeSelection* selection) {
    set = TrainingSet{};
    const std::wstring& path = file.m_path;
    if (file.m_samples.empty()) {
        error = L"The sample file " + path + L" holds no sample.";
        return false;
    }
    if (file.m_bandCount != static_cast<int>(bands.size())) {
        error = L"The sample file " + path + L" has " + std::to_wstring(file.m_bandCount) +
                L" bands, the image has " + std::to_wstring(bands.size()) + L".";
        return false;
    }
    set.bands = static_cast<int>(bands.size());
    set.classes = static_cast<int>(file.m_samples.size());
    std::vector<float> kept; // this class's pixels, bands.size() values each
    for (int c = 0; c < set.classes; ++c) {
        const ClassifySample& sample = *file.m_samples[c];
        // Every stride-th pixel is kept; when twice the cap is held, every
        // other one is dropped and the stride doubles, so memory stays
        // bounded however large the shapes and what is kept stays evenly
        // spread over them.
        kept.clear();
        std::size_t stride = 1, seen = 0;
        const auto keep = [&](const std::vector<double>& values) {
            if (seen++ % stride != 0)
                return;
            for (int b : bands)
                kept.push_back(static_cast<float>(values[b - 1]));
            if (capPerClass > 0 && kept.size() >= 2 * capPerClass * bands.size()) {
                std::size_t out = 0;
                for (std::size_t p = 0; p < kept.size(); p += 2 * bands.size())
                    for (std::size_t b = 0; b < bands.size(); ++b)
                        kept[out++] = kept[p + b];
                kept.resize(out);
                stride *= 2;
            }
        };
        for (std::size_t s = 0; s < sample.m_shapes.size(); ++s)
            if ((!selection || (*selection)[c][s]) &&
                !CRasterAlgorithm::VisitPixelsInDrawshape(&raster, sample.m_shapes[s], keep)) {
                error = L"Cannot read the pixels under a shape of sample \"" + sample.GetName() + L"\".";
                return false;
            }
        const std::size_t pixels = kept.size() / bands.size();
        if (pixels == 0 && selection)
            continue;
        if (pixels == 0) {
            error = L"Sample \"" + sample.GetName() + L"\" has no valid pixel inside the image " +
                    raster.GetPath() + L": its shapes lie outside it.";
            return false;
        }
        const std::size_t take = capPerClass > 0 ? std::min(pixels, capPerClass) : pixels;
        for (std::size_t j = 0; j < take; ++j) {
            const float* row = kept.data() + (j * pixels / take) * bands.size();
            set.features.insert(set.features.end(), row, row + bands.size());
            set.labels.push_back(c);
        }
    }
    return true;
}

std::wstring ModelPathBesideOutput(const std::wstring& outputPath, const std::wstring& extension) {
    return CommonFun::GetFileDirectory(outputPath.c_str(), true) +
           CommonFun::GetFileName(outputPath.c_str()) + extension;
}

bool CLearnedClassify::CheckLoadedModel(const std::wstring& kind, const std::wstring& path, int modelBands,
                                        int maxLabel, int bands, int classes) {
    if (modelBands != bands)
        return Fail(L"The " + kind + L" " + path + L" was trained on " + std::to_wstring(modelBands) +
                    L" bands, the image has " + std::to_wstring(bands) + L".");
    if (maxLabel > classes)
        return Fail(L"The " + kind + L" " + path + L" gives class " + std::to_wstring(maxLabel) +
                    L", the sample file has " + std::to_wstring(classes) + L" samples.");
    return true;
}

bool CLearnedClassify::Process() {
    if (!CheckParameters() || !CheckConfidence() || !Preproccess() || !ConfigRasterAOI())
        return false;
    ReportStep(L"Reading samples");
    const std::wstring samplePath = SampleFilePath();
    if (samplePath.empty())
        return Fail(L"No sample file was given.");
    CClassifySampleFile file;
    if (!file.ReadClassifySampleFile(samplePath))
        return Fail(L"Cannot read the sample file " + samplePath + L": " +
                    CommonFun::M2U(file.GetLastError()));
    if (file.m_samples.empty())
        return Fail(L"The sample file " + samplePath + L" holds no sample.");
    if (file.m_samples.size() > 65535)
        return Fail(L"Too many classes in the sample file.");
    const int classes = static_cast<int>(file.m_samples.size());
    if (!CheckExtras())
        return false;

    // With validation, the held-out polygons' pixels are gathered apart and
    // never reach Train.
    TrainingSet set, heldOut;
    ShapeSelection training, held;
    std::wstring error;
    const bool validate = m_extras.validateFraction > 0;
    if (validate && !HoldOutShapes(file, m_extras.validateFraction, m_extras.seed, training, held, error))
        return Fail(error);
    if (NeedsTrainingPixels() || validate) {
        ReportStep(L"Reading training pixels");
        if (!CollectTrainingSet(*m_input, m_bands, file, kTrainingCapPerClass, set, error,
                                validate ? &training : nullptr))
            return Fail(error);
        if (validate &&
            !CollectTrainingSet(*m_input, m_bands, file, kHeldOutCapPerClass, heldOut, error, &held))
            return Fail(error);
    }
    if (!NeedsTrainingPixels()) {
        set = TrainingSet{};
        set.bands = static_cast<int>(m_bands.size());
        set.classes = classes;
    }
    if (!Train(set, classes, Stage(5, 40, L"Training")))
        return false;
    if (IsCancelled())
        return false;

    const AlgorithmParam& p = *m_param;
    BlockProcessor blocks(*m_input, m_bands, m_aoi.get(), ProcessingRect());
    blocks.ShareAmongRanks(Cluster());
    PrepareWorkers(blocks.WorkerCount());
    std::vector<ClassDefinition> definitions{{L"Unclassified", 0}};
    std::vector<std::wstring> names;
    for (const ClassifySample* s : file.m_samples) {
        definitions.push_back({s->GetName(), s->m_colour});
        names.push_back(s->GetName());
    }
    std::map<std::string, std::string> metadata = Metadata();
    metadata["SAMPLES"] = CommonFun::U2M(samplePath);
    metadata["INPUT"] = CommonFun::U2M(p.m_inputPath);
    metadata["TRAINING_PIXELS"] = std::to_string(set.Size());
    if (validate)
        metadata["HELD_OUT_PIXELS"] = std::to_string(heldOut.Size());
    const LabelKernel kernel = [&](const PixelBlock& block, std::uint16_t* labels, float* confidence,
                                   int worker) { PredictBlock(block, labels, confidence, worker); };
    if (!LabelImage(blocks, classes, kernel, Stage(40, 100, L"Classifying"), definitions, metadata,
                    ConfidenceMeaning()))
        return false;
    if (validate &&
        !WriteValidation(heldOut, names, [&](const float* pixels, int count, std::uint16_t* labels) {
            PixelBlock block;
            block.width = count;
            block.height = 1;
            block.bands = set.bands;
            block.values = pixels;
            PredictBlock(block, labels, nullptr, 0);
        }))
        return false;
    ReportPercent(100);
    return true;
}

} // namespace tessera
