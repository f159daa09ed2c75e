#include "engine/rasteralgorithm.h"

#include "engine/aoi.h"
#include "engine/drawshape.h"
#include "engine/pixelmask.h"
#include "engine/rasterband.h"
#include "engine/rastersource.h"

#include <ogr_geometry.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

using namespace tessera;

namespace {

constexpr int kStripRows = 256;

// The shape as a pixel-space polygon, or null when it has no area.
std::unique_ptr<OGRGeometry> shapeInPixels(const CRasterSource& raster, const CDrawShape& shape) {
    const auto& v = shape.GetVertices();
    OGRLinearRing ring;
    if (shape.GetType() == DRAWSHAPE_RECTANGLE && v.size() >= 2) {
        ring.addPoint(v[0].x, v[0].y);
        ring.addPoint(v[1].x, v[0].y);
        ring.addPoint(v[1].x, v[1].y);
        ring.addPoint(v[0].x, v[1].y);
    } else if (shape.GetType() == DRAWSHAPE_POLYGON && v.size() >= 3) {
        for (const CPoint2D& p : v)
            ring.addPoint(p.x, p.y);
    } else if (shape.GetType() == DRAWSHAPE_POINT && !v.empty()) {
        // The pixel the point falls in, as a unit square around its centre.
        const CPoint2D c = raster.GroundToImage(v[0]);
        const double col = std::floor(c.x + 0.5), row = std::floor(c.y + 0.5);
        auto square = std::make_unique<OGRPolygon>();
        OGRLinearRing cell;
        cell.addPoint(col, row);
        cell.addPoint(col + 1, row);
        cell.addPoint(col + 1, row + 1);
        cell.addPoint(col, row + 1);
        cell.closeRings();
        square->addRing(&cell);
        return square;
    } else {
        return nullptr;
    }
    ring.closeRings();
    OGRPolygon polygon;
    polygon.addRing(&ring);
    return GroundToPixelGeometry(raster, polygon);
}

// Calls visit(values) for every selected pixel, values holding one double per band.
template <class Visit>
bool forEachPixel(CRasterSource& raster, const OGRGeometry& pixels, const PixelRect& rect, Visit visit) {
    const int bands = raster.GetBandCount();
    std::vector<std::optional<double>> nodata(bands);
    for (int b = 0; b < bands; ++b)
        nodata[b] = raster.GetRasterBand(b + 1)->GetNoDataValue();
    std::vector<std::uint8_t> mask;
    std::vector<std::vector<double>> strip(bands);
    std::vector<double> values(bands);
    for (int top = rect.top; top < rect.bottom; top += kStripRows) {
        const int rows = std::min(kStripRows, rect.bottom - top);
        if (!RasterizePixelMask(pixels, rect.left, top, rect.Width(), rows, mask))
            return false;
        if (std::none_of(mask.begin(), mask.end(), [](std::uint8_t m) { return m != 0; }))
            continue;
        for (int b = 0; b < bands; ++b) {
            strip[b].resize(mask.size());
            if (!raster.GetRasterBand(b + 1)->ReadBlock(rect.left, top, rect.Width(), rows, strip[b].data(),
                                                        PDT_Float64))
                return false;
        }
        for (size_t i = 0; i < mask.size(); ++i) {
            if (!mask[i])
                continue;
            bool valid = true;
            for (int b = 0; b < bands && valid; ++b) {
                values[b] = strip[b][i];
                valid = !std::isnan(values[b]) && !(nodata[b] && values[b] == *nodata[b]);
            }
            if (valid)
                visit(values);
        }
    }
    return true;
}

} // namespace

bool CRasterAlgorithm::ComputeStaticsFromDrawshape(CRasterSource* raster, const CDrawShape* shape,
                                                   std::int64_t& count, double* minimum, double* maximum,
                                                   double* mean, double* covariance, CBaseProgress*) {
    count = 0;
    if (!raster || !raster->IsOpen() || !minimum || !maximum || !mean || !covariance)
        return false;
    const int bands = raster->GetBandCount();
    std::fill_n(minimum, bands, 0.0);
    std::fill_n(maximum, bands, 0.0);
    std::fill_n(mean, bands, 0.0);
    std::fill_n(covariance, static_cast<size_t>(bands) * bands, 0.0);
    if (!shape)
        return false;
    const std::unique_ptr<OGRGeometry> pixels = shapeInPixels(*raster, *shape);
    if (!pixels)
        return false;
    const PixelRect rect = PixelBounds(*raster, *pixels);
    if (rect.Width() <= 0 || rect.Height() <= 0)
        return false;

    // First pass: count, range and mean.
    std::vector<double> low(bands, std::numeric_limits<double>::infinity());
    std::vector<double> high(bands, -std::numeric_limits<double>::infinity());
    std::vector<double> sum(bands, 0.0);
    std::int64_t n = 0;
    const bool firstOk = forEachPixel(*raster, *pixels, rect, [&](const std::vector<double>& v) {
        ++n;
        for (int b = 0; b < bands; ++b) {
            low[b] = std::min(low[b], v[b]);
            high[b] = std::max(high[b], v[b]);
            sum[b] += v[b];
        }
    });
    if (!firstOk || n == 0)
        return false;
    std::vector<double> mu(bands);
    for (int b = 0; b < bands; ++b)
        mu[b] = sum[b] / static_cast<double>(n);

    // Second pass: centred products, so large offsets cost no precision.
    std::vector<double> products(static_cast<size_t>(bands) * bands, 0.0);
    std::vector<double> centred(bands);
    const bool secondOk = forEachPixel(*raster, *pixels, rect, [&](const std::vector<double>& v) {
        for (int b = 0; b < bands; ++b)
            centred[b] = v[b] - mu[b];
        for (int i = 0; i < bands; ++i)
            for (int j = i; j < bands; ++j)
                products[static_cast<size_t>(i) * bands + j] += centred[i] * centred[j];
    });
    if (!secondOk)
        return false;

    count = n;
    for (int b = 0; b < bands; ++b) {
        minimum[b] = low[b];
        maximum[b] = high[b];
        mean[b] = mu[b];
    }
    for (int i = 0; i < bands; ++i)
        for (int j = i; j < bands; ++j) {
            const double c = products[static_cast<size_t>(i) * bands + j] / static_cast<double>(n);
            covariance[static_cast<size_t>(i) * bands + j] = c;
            covariance[static_cast<size_t>(j) * bands + i] = c;
        }
    return true;
}

bool CRasterAlgorithm::VisitPixelsInDrawshape(CRasterSource* raster, const CDrawShape* shape,
                                              const std::function<void(const std::vector<double>&)>& visit) {
    if (!raster || !raster->IsOpen() || !shape)
        return false;
    const std::unique_ptr<OGRGeometry> pixels = shapeInPixels(*raster, *shape);
    if (!pixels)
        return false;
    const PixelRect rect = PixelBounds(*raster, *pixels);
    if (rect.Width() <= 0 || rect.Height() <= 0)
        return true; // wholly outside the raster: no pixel
    return forEachPixel(*raster, *pixels, rect, visit);
}
