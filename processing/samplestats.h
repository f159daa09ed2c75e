#pragma once
// What the sample editor and `tessera samples` both compute about training
// samples, with no widget involved: the display colour of a new sample, the
// sample-file header taken from a raster, the markers a saved sample carries,
// and the merge of several samples into the signature of the union of their
// pixels. Header-only so that the command-line tool, which does not link the
// window library, runs exactly the same arithmetic.

#include "base/wintypes.h"
#include "engine/classifysamplefile.h"
#include "engine/rasterband.h"
#include "engine/rastersource.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace tessera {

namespace SampleStats {

// File tag and version the editor writes into every sample file header.
inline constexpr const wchar_t* kFileTag = L"ZQ_RS_SampleFileTag";
inline constexpr std::int32_t kFileVersion = 100;

// Facts of a raster the sample-file header is filled from. Kept by value so
// that nothing depends on the lifetime of the host's raster object.
struct RasterHeader {
    int bandCount = 0;
    int width = 0;
    int height = 0;
    double xResolution = 0.0; // absolute values
    double yResolution = 0.0;
};

inline RasterHeader HeaderOf(const CRasterSource& raster) {
    return {raster.GetBandCount(), raster.GetWidth(), raster.GetHeight(), std::fabs(raster.GetXResolution()),
            std::fabs(raster.GetYResolution())};
}

// Writes the header fields the editor owns: tag, version, raster size and
// resolution, and zero in the three trailing fields.
inline void WriteHeader(CClassifySampleFile& file, const RasterHeader& raster) {
    file.SetFileTag(kFileTag);
    file.m_version = kFileVersion;
    file.m_bandCount = raster.bandCount;
    file.m_height = raster.height;
    file.m_width = raster.width;
    file.m_xResolution = raster.xResolution;
    file.m_yResolution = raster.yResolution;
    file.m_reservedInt = 0;
    file.m_reservedReal1 = 0.0;
    file.m_reservedReal2 = 0.0;
}

// The row number and markers a sample carries once its table is saved.
inline void StampSaved(ClassifySample& sample, int row) {
    sample.m_index = row;
    sample.m_marker1 = 1;
    sample.m_marker2 = 0;
    sample.m_marker3 = 1;
}

// One colour component: where the mean lies in the band's range, scaled to
// 0..255 and truncated toward zero. A band without a range (maximum equal to
// the minimum) or a value that is not a finite number gives 0.
inline int ColourComponent(double mean, double minimum, double maximum) {
    if (!(maximum != minimum))
        return 0;
    const double v = (mean - minimum) / (maximum - minimum) * 255.0;
    if (!std::isfinite(v))
        return 0;
    if (v >= 2147483647.0)
        return 2147483647;
    if (v <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int>(v);
}

struct DisplayComponents {
    int red = 0, green = 0, blue = 0;
};

// The components of a sample's display colour: for the raster's red, green
// and blue display bands, the component of the sample's mean in that band.
// Band numbers start at 1, so band n's mean is mean[n - 1]; a band number
// outside 1..bandCount gives 0.
inline DisplayComponents DisplayColourOf(CRasterSource& raster, const double* mean, int bandCount) {
    auto component = [&](int band) {
        CRasterBand* b = raster.GetRasterBand(band);
        if (!b || band < 1 || band > bandCount)
            return 0;
        return ColourComponent(mean[band - 1], b->GetMinimum(), b->GetMaximum());
    };
    return {component(raster.GetRedBandNum()), component(raster.GetGreenBandNum()),
            component(raster.GetBlueBandNum())};
}

// 0x00BBGGRR from the components, each masked to 8 bits.
inline COLORREF ComposeColour(int red, int green, int blue) {
    return RGB(static_cast<unsigned>(red) & 0xFFu, static_cast<unsigned>(green) & 0xFFu,
               static_cast<unsigned>(blue) & 0xFFu);
}

// ---- Merge -----------------------------------------------------------------

enum class MergeStatus {
    Ok,
    NothingSelected, // no sample, or a band count of 0 or less
    TooFewValues,    // a sample holds fewer than k values per band or k x k covariance values
    NoPixels,        // the pixel total is 0 or less: no covariance (nor mean or colour)
};

struct MergedStatistics {
    MergeStatus status = MergeStatus::NothingSelected;
    std::vector<double> minimum, maximum, mean; // k values each
    std::vector<double> covariance;             // k x k, row-major; empty unless Ok
    std::int64_t pixelCount = 0;                // N, the sum of the samples' counts
    COLORREF colour = 0;                        // pixel-weighted average colour
};

// The statistics of the union of the samples' pixels, from their own
// statistics, over the first k bands. Samples are taken in the given order.
//  - minimum / maximum: the first sample's value, replaced only by a strictly
//    smaller / larger one (a NaN neither replaces nor is replaced);
//  - mean: sum of n_s * mean_s / N;
//  - covariance with divisor N: V(i, j) = Q / N - (A / N)(B / N) with
//    A = sum n_s mean_s[i], B = sum n_s mean_s[j] and
//    Q = sum n_s (C_s(j, i) + mean_s[i] mean_s[j]), each sample's matrix
//    taken as its own covariance with divisor n_s;
//  - colour: per component sum c_s * n_s / N in 64-bit integers, truncated.
inline MergedStatistics MergeSamples(const std::vector<const ClassifySample*>& samples, int k) {
    MergedStatistics out;
    if (samples.empty() || k <= 0)
        return out;
    const size_t bands = static_cast<size_t>(k);
    for (const ClassifySample* s : samples)
        if (!s || s->m_min.size() < bands || s->m_max.size() < bands || s->m_mean.size() < bands ||
            s->m_covariance.size() < bands * bands) {
            out.status = MergeStatus::TooFewValues;
            return out;
        }

    std::int64_t total = 0;
    for (const ClassifySample* s : samples)
        total += static_cast<std::int64_t>(s->m_pixelCount);
    out.pixelCount = total;
    const double n = static_cast<double>(total);

    out.minimum.resize(bands);
    out.maximum.resize(bands);
    out.mean.resize(bands);
    for (size_t b = 0; b < bands; ++b) {
        double lo = samples.front()->m_min[b], hi = samples.front()->m_max[b], weighted = 0.0;
        for (const ClassifySample* s : samples) {
            if (s->m_min[b] < lo)
                lo = s->m_min[b];
            if (s->m_max[b] > hi)
                hi = s->m_max[b];
            weighted += static_cast<double>(s->m_pixelCount) * s->m_mean[b];
        }
        out.minimum[b] = lo;
        out.maximum[b] = hi;
        out.mean[b] = weighted / n;
    }

    if (total <= 0) {
        out.status = MergeStatus::NoPixels;
        return out;
    }
    out.covariance.reserve(bands * bands);
    for (size_t i = 0; i < bands; ++i)
        for (size_t j = 0; j < bands; ++j) {
            double a = 0.0, b = 0.0, q = 0.0;
            for (const ClassifySample* s : samples) {
                const double ns = static_cast<double>(s->m_pixelCount);
                a += ns * s->m_mean[i];
                b += ns * s->m_mean[j];
                q += ns * (s->m_covariance[j * bands + i] + s->m_mean[i] * s->m_mean[j]);
            }
            out.covariance.push_back(q / n - (a / n) * (b / n));
        }

    std::int64_t red = 0, green = 0, blue = 0;
    for (const ClassifySample* s : samples) {
        const std::int64_t ns = s->m_pixelCount;
        red += static_cast<std::int64_t>(GetRValue(s->m_colour)) * ns;
        green += static_cast<std::int64_t>(GetGValue(s->m_colour)) * ns;
        blue += static_cast<std::int64_t>(GetBValue(s->m_colour)) * ns;
    }
    out.colour = RGB(static_cast<unsigned>(red / total), static_cast<unsigned>(green / total),
                     static_cast<unsigned>(blue / total));
    out.status = MergeStatus::Ok;
    return out;
}

// A new sample holding merged statistics and copies of the sources' shapes,
// joined in order. (A sample owns its shapes, so they are copied, not shared.)
inline ClassifySample* NewMergedSample(const MergedStatistics& merged,
                                       const std::vector<const ClassifySample*>& sources, int k) {
    auto sample = std::make_unique<ClassifySample>();
    sample->m_min = merged.minimum;
    sample->m_max = merged.maximum;
    sample->m_mean = merged.mean;
    sample->m_covariance = merged.covariance;
    sample->m_pixelCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(merged.pixelCount));
    sample->m_bandCount = k;
    sample->m_colour = merged.colour;
    for (const ClassifySample* s : sources)
        for (const CDrawShape* shape : s->m_shapes)
            if (shape) {
                std::unique_ptr<CDrawShape> copy(CDrawShape::CreateCopy(shape));
                sample->m_shapes.push_back(copy.get());
                copy.release();
            }
    sample->m_shapeCount = static_cast<std::int32_t>(sample->m_shapes.size());
    return sample.release();
}

} // namespace SampleStats

} // namespace tessera
