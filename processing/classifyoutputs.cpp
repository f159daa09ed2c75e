#include "processing/classifyoutputs.h"

#include "base/commonfun.h"
#include "engine/classifysamplefile.h"
#include "engine/formatio.h"
#include "engine/rastersource.h"
#include "processing/accuracyjson.h"
#include "processing/accuracyreport.h"
#include "processing/blockprocessor.h"
#include "processing/classraster.h"
#include "processing/learnedclassify.h"

#include <cpl_error.h>
#include <cpl_string.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessera {

namespace {

struct QuietGdal {
    QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietGdal() { CPLPopErrorHandler(); }
};

std::wstring besideOutput(const std::wstring& outputPath, const wchar_t* suffix) {
    return CommonFun::GetFileDirectory(outputPath.c_str(), true) +
           CommonFun::GetFileName(outputPath.c_str()) + suffix;
}

} // namespace

// ---- Confidence raster ------------------------------------------------------------

ConfidenceRasterWriter::~ConfidenceRasterWriter() {
    Abort();
}

bool ConfidenceRasterWriter::fail(const std::wstring& message) {
    m_error = message;
    return false;
}

bool ConfidenceRasterWriter::Create(const std::wstring& target, const CRasterSource& reference) {
    GDALAllRegister();
    QuietGdal quiet;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!driver)
        return fail(L"GDAL has no GeoTIFF driver for the confidence raster.");
    const fs::path finalPath(CommonFun::U2M(target));
    const fs::path folder = finalPath.has_parent_path() ? finalPath.parent_path() : fs::path(".");
    m_tempPath = (folder / (PartialFilePrefix(target) + ".tif")).string();
    m_target = target;
    CPLStringList options;
    options.SetNameValue("TILED", "YES");
    options.SetNameValue("COMPRESS", "DEFLATE");
    options.SetNameValue("PREDICTOR", "3");
    options.SetNameValue("BIGTIFF", "IF_SAFER");
    m_dataset.reset(driver->Create(m_tempPath.c_str(), reference.GetWidth(), reference.GetHeight(), 1,
                                   GDT_Float32, options.List()));
    if (!m_dataset)
        return fail(L"Cannot create the confidence raster " + target + L": " +
                    CommonFun::M2U(CPLGetLastErrorMsg()));
    CopyGrid(*m_dataset, reference);
    // Blocks never written (outside the processing rectangle) read as nodata too.
    m_dataset->GetRasterBand(1)->SetNoDataValue(kConfidenceNoData);
    return true;
}

bool ConfidenceRasterWriter::WriteBlock(int x, int y, int width, int height, const std::uint16_t* labels,
                                        float* values) {
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < pixels; ++i)
        if (labels[i] == 0)
            values[i] = kConfidenceNoData;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_dataset)
        return fail(L"The confidence raster is not open.");
    QuietGdal quiet;
    if (m_dataset->GetRasterBand(1)->RasterIO(GF_Write, x, y, width, height, values, width, height,
                                              GDT_Float32, 0, 0, nullptr) != CE_None)
        return fail(L"Writing the confidence raster failed: " + CommonFun::M2U(CPLGetLastErrorMsg()));
    return true;
}

bool ConfidenceRasterWriter::Commit(const std::string& meaning) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_dataset)
        return fail(L"The confidence raster is not open.");
    QuietGdal quiet;
    m_dataset->GetRasterBand(1)->SetDescription("confidence");
    m_dataset->SetMetadataItem("CONFIDENCE", meaning.c_str(), "TESSERA");
    CPLErrorReset();
    m_dataset.reset();
    if (CPLGetLastErrorType() == CE_Failure)
        return fail(L"Writing the confidence raster failed: " + CommonFun::M2U(CPLGetLastErrorMsg()));
    const std::string target = CommonFun::U2M(m_target);
    formatio::StagedFiles files;
    files.moves.emplace_back(m_tempPath, target);
    files.obsolete.push_back(target + ".aux.xml");
    std::string error;
    if (!formatio::PlaceFiles(std::move(files), error))
        return fail(L"Cannot move the confidence raster into place: " + m_target + L": " +
                    CommonFun::M2U(error));
    m_committed = true;
    return true;
}

void ConfidenceRasterWriter::Abort() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dataset.reset();
    if (!m_tempPath.empty() && !m_committed) {
        std::error_code ec;
        fs::remove(m_tempPath, ec);
    }
}

// ---- Held-out polygons ------------------------------------------------------------

bool HoldOutShapes(const CClassifySampleFile& file, double fraction, std::uint64_t seed,
                   ShapeSelection& training, ShapeSelection& heldOut, std::wstring& error) {
    training.clear();
    heldOut.clear();
    std::mt19937_64 random(seed);
    std::size_t heldTotal = 0;
    for (const ClassifySample* sample : file.m_samples) {
        const std::size_t n = sample->m_shapes.size();
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), std::size_t(0));
        for (std::size_t i = n; i > 1; --i) // Fisher-Yates on the generator's own output
            std::swap(order[i - 1], order[random() % i]);
        const std::size_t held =
            n < 2 ? 0
                  : std::clamp<std::size_t>(static_cast<std::size_t>(std::lround(fraction * n)), 1, n - 1);
        training.emplace_back(n, true);
        heldOut.emplace_back(n, false);
        for (std::size_t i = 0; i < held; ++i) {
            training.back()[order[i]] = false;
            heldOut.back()[order[i]] = true;
        }
        heldTotal += held;
    }
    if (heldTotal == 0) {
        error = L"No polygon can be held out for validation: every sample of " + file.m_path +
                L" has a single polygon.";
        return false;
    }
    return true;
}

std::wstring ValidationReportPath(const std::wstring& outputPath) {
    return besideOutput(outputPath, L".validation.txt");
}

std::wstring ValidationJsonPath(const std::wstring& outputPath) {
    return besideOutput(outputPath, L".validation.json");
}

// ---- The classifiers' common ground -----------------------------------------------

bool CClassifyAlgorithm::CheckExtras() {
    const ClassifyExtras& e = m_extras;
    if (!(e.validateFraction >= 0 && e.validateFraction < 1))
        return Fail(L"The share of polygons held out for validation must be at least 0 and below 1.");
    return true;
}

bool CClassifyAlgorithm::LabelImage(BlockProcessor& blocks, int classes, const LabelKernel& kernel,
                                    const ProgressFn& progress,
                                    const std::vector<ClassDefinition>& definitions,
                                    const std::map<std::string, std::string>& metadata,
                                    const std::string& confidenceMeaning) {
    const AlgorithmParam& p = *m_param;
    ClassRasterWriter writer;
    if (!writer.Create(p.m_outputPath, p.m_outputFormat, *m_input, classes, p.m_creationOptions))
        return Fail(writer.GetLastError());
    const bool withConfidence = !m_extras.confidencePath.empty();
    ConfidenceRasterWriter confidence;
    if (withConfidence && !confidence.Create(m_extras.confidencePath, *m_input)) {
        writer.Abort();
        return Fail(confidence.GetLastError());
    }
    std::atomic<bool> confidenceFailed{false};
    const bool ok = blocks.LabelBlocks(
        [&](const PixelBlock& block, std::uint16_t* labels, int worker) {
            if (!withConfidence)
                return kernel(block, labels, nullptr, worker);
            std::vector<float> values(static_cast<std::size_t>(block.PixelCount()), kConfidenceNoData);
            kernel(block, labels, values.data(), worker);
            if (!confidence.WriteBlock(block.x, block.y, block.width, block.height, labels, values.data()))
                confidenceFailed = true;
        },
        writer, progress);
    if (!ok || confidenceFailed) {
        writer.Abort();
        confidence.Abort();
        if (IsCancelled())
            return false;
        return Fail(confidenceFailed ? confidence.GetLastError() : blocks.GetLastError());
    }
    if (withConfidence && !confidence.Commit(confidenceMeaning)) {
        writer.Abort();
        return Fail(confidence.GetLastError());
    }
    if (!writer.Commit(definitions, metadata))
        return Fail(writer.GetLastError());
    return true;
}

bool CClassifyAlgorithm::WriteValidation(
    const TrainingSet& heldOut, const std::vector<std::wstring>& classNames,
    const std::function<void(const float*, int, std::uint16_t*)>& classify) {
    ReportStep(L"Validating on the held-out polygons");
    const int n = static_cast<int>(classNames.size()) + 1;
    std::vector<std::uint16_t> labels(heldOut.Size(), 0);
    if (!labels.empty())
        classify(heldOut.features.data(), static_cast<int>(labels.size()), labels.data());
    ErrorMatrix matrix(n);
    for (std::size_t i = 0; i < labels.size(); ++i)
        matrix.Add(heldOut.labels[i] + 1, labels[i]);
    std::vector<std::wstring> names{L"Unclassified"};
    names.insert(names.end(), classNames.begin(), classNames.end());
    const std::wstring report = ValidationReportPath(m_param->m_outputPath);
    if (WriteAccuracyReportFile(&matrix, names, report, ReportSections{}, UserLocale()) !=
        ReportWriteResult::Written)
        return Fail(L"Cannot write the validation report " + report + L".");
    const AccuracySummary summary = SummarizeErrorMatrix(matrix);
    const std::string json = FormatAccuracyJson(
        static_cast<std::int64_t>(labels.size()), matrix, summary, EstimateAccuracy(matrix, summary, {}, 0),
        names, {}, {{"held_out_pixels", static_cast<std::int64_t>(labels.size())}});
    const std::wstring jsonPath = ValidationJsonPath(m_param->m_outputPath);
    if (WriteFileAtomically(jsonPath, json) != ReportWriteResult::Written)
        return Fail(L"Cannot write the validation JSON " + jsonPath + L".");
    return true;
}

} // namespace tessera
