#pragma once
// What every supervised classifier can write besides its class map: a
// confidence raster (Float32, one value per classified pixel: a posterior
// probability, a vote share, a distance or an angle, see docs/algorithms.md)
// and a validation on training polygons held out of training (the accuracy
// report and its JSON beside the output).

#include "processing/basealgorithm.h"
#include "processing/classraster.h"

#include <gdal_priv.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class CClassifySampleFile;

namespace tessera {
class BlockProcessor;
struct PixelBlock;
struct TrainingSet;

struct ClassifyExtras {
    std::wstring confidencePath; // empty: no confidence raster
    double validateFraction = 0; // share of each sample's polygons held out; 0: none
    std::uint64_t seed = 0;      // which polygons are held out
    std::vector<double> priors;  // maximum likelihood: one prior per class; empty: equal
};

// The value of a confidence raster where the class map is 0 (unclassified,
// nodata, outside the area of interest).
constexpr float kConfidenceNoData = -1.0f;

// The Float32 GeoTIFF of confidences on the grid of a reference image,
// written under a temporary name and moved into place (staged in the
// active output set) only by Commit.
class ConfidenceRasterWriter {
public:
    ~ConfidenceRasterWriter(); // removes the temporary file unless committed
    bool Create(const std::wstring& target, const CRasterSource& reference);
    // Writes a block; where labels is 0 the value is the nodata value. Safe
    // from several threads.
    bool WriteBlock(int x, int y, int width, int height, const std::uint16_t* labels, float* values);
    bool Commit(const std::string& meaning);
    void Abort();
    const std::wstring& GetLastError() const { return m_error; }

private:
    bool fail(const std::wstring& message);
    std::mutex m_mutex;
    GDALDatasetUniquePtr m_dataset;
    std::string m_tempPath;
    std::wstring m_target;
    bool m_committed = false;
    std::wstring m_error;
};

// Per sample, per shape: whether the shape is used.
using ShapeSelection = std::vector<std::vector<bool>>;

// Holds out a share of each sample's shapes, chosen from the seed: round(fraction
// × shapes), at least one and never every shape of a sample (a sample of one
// shape keeps it). heldOut is the complement of training. False with a
// message when no shape at all can be held out.
bool HoldOutShapes(const CClassifySampleFile& file, double fraction, std::uint64_t seed,
                   ShapeSelection& training, ShapeSelection& heldOut, std::wstring& error);

// The validation report beside the output: OUT's name + ".validation.txt" and ".validation.json".
std::wstring ValidationReportPath(const std::wstring& outputPath);
std::wstring ValidationJsonPath(const std::wstring& outputPath);

// The supervised classifiers' common ground: the extra outputs above.
class CClassifyAlgorithm : public CBaseAlgorithm {
public:
    using CBaseAlgorithm::CBaseAlgorithm;
    void SetExtras(ClassifyExtras extras) { m_extras = std::move(extras); }
    const ClassifyExtras& Extras() const { return m_extras; }

protected:
    // Fills labels (and, when confidence is not null, the confidence of each
    // labelled pixel) for the valid pixels of a block.
    using LabelKernel =
        std::function<void(const PixelBlock& block, std::uint16_t* labels, float* confidence, int worker)>;
    // The labelling pass into the class map and, when one was asked for, the
    // confidence raster (its meaning recorded in its metadata); both or neither.
    bool LabelImage(BlockProcessor& blocks, int classes, const LabelKernel& kernel,
                    const ProgressFn& progress, const std::vector<ClassDefinition>& definitions,
                    const std::map<std::string, std::string>& metadata, const std::string& confidenceMeaning);
    // Labels the held-out pixels with classify(pixels, count, labels) and
    // writes the accuracy report and JSON (class 0: unclassified).
    bool WriteValidation(const TrainingSet& heldOut, const std::vector<std::wstring>& classNames,
                         const std::function<void(const float*, int, std::uint16_t*)>& classify);
    // Checks the extras before anything is read (the priors are checked by
    // the decision rule that uses them).
    bool CheckExtras();

    ClassifyExtras m_extras;
};

} // namespace tessera
