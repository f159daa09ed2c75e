#include "host/rendering.h"

#include "engine/rasterband.h"
#include "engine/rastersource.h"

#include <gdal_priv.h>

#include <algorithm>
#include <cmath>
#include <limits>

std::uint64_t Histogram::Total() const {
    std::uint64_t total = 0;
    for (std::uint64_t c : counts)
        total += c;
    return total;
}

Histogram BuildHistogram(const std::vector<double>& values, int maxBins) {
    Histogram h;
    if (values.empty() || maxBins < 1)
        return h;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double minimum = *lo, maximum = *hi;
    const bool whole = std::all_of(values.begin(), values.end(), [](double v) { return v == std::floor(v); });
    h.minimum = minimum;
    if (whole && maximum - minimum + 1 <= maxBins) {
        h.binWidth = 1.0;
        h.counts.assign(static_cast<std::size_t>(maximum - minimum) + 1, 0);
    } else {
        h.binWidth = maximum > minimum ? (maximum - minimum) / maxBins : 1.0;
        h.counts.assign(static_cast<std::size_t>(maxBins), 0);
    }
    const std::size_t last = h.counts.size() - 1;
    for (double v : values) {
        const double position = (v - minimum) / h.binWidth;
        const std::size_t bin =
            position >= static_cast<double>(last) ? last : static_cast<std::size_t>(position);
        ++h.counts[bin];
    }
    return h;
}

namespace {
// Lower edge of the bin holding the value of sorted index k.
double ValueAtIndex(const Histogram& h, std::uint64_t k) {
    std::uint64_t seen = 0;
    for (std::size_t bin = 0; bin < h.counts.size(); ++bin) {
        seen += h.counts[bin];
        if (seen > k)
            return h.minimum + static_cast<double>(bin) * h.binWidth;
    }
    return h.minimum + static_cast<double>(h.counts.empty() ? 0 : h.counts.size() - 1) * h.binWidth;
}
} // namespace

StretchRange PercentileStretch(const Histogram& histogram, double lowFraction, double highFraction) {
    const std::uint64_t n = histogram.Total();
    if (n == 0)
        return {};
    const auto index = [n](double p) {
        p = std::clamp(p, 0.0, 1.0);
        return static_cast<std::uint64_t>(std::floor(p * static_cast<double>(n - 1)));
    };
    return {ValueAtIndex(histogram, index(lowFraction)), ValueAtIndex(histogram, index(highFraction))};
}

std::uint8_t StretchToByte(double value, const StretchRange& range) {
    if (!(range.high > range.low))
        return value > range.high ? 255 : 0;
    const double scaled = (value - range.low) / (range.high - range.low) * 255.0;
    if (!(scaled > 0.0)) // also NaN
        return 0;
    if (scaled >= 255.0)
        return 255;
    return static_cast<std::uint8_t>(std::lround(scaled));
}

ReadWindow ComputeReadWindow(const ViewState& view, int viewWidth, int viewHeight, int rasterWidth,
                             int rasterHeight) {
    ReadWindow w;
    if (viewWidth <= 0 || viewHeight <= 0 || rasterWidth <= 0 || rasterHeight <= 0 || !(view.zoom > 0.0))
        return w;
    const double right = view.originX + viewWidth / view.zoom;
    const double bottom = view.originY + viewHeight / view.zoom;
    const auto clampTo = [](double v, int limit) { return std::clamp(v, 0.0, static_cast<double>(limit)); };
    const int x0 = static_cast<int>(std::floor(clampTo(view.originX, rasterWidth)));
    const int y0 = static_cast<int>(std::floor(clampTo(view.originY, rasterHeight)));
    const int x1 = static_cast<int>(std::ceil(clampTo(right, rasterWidth)));
    const int y1 = static_cast<int>(std::ceil(clampTo(bottom, rasterHeight)));
    if (x1 <= x0 || y1 <= y0)
        return w;
    w.x = x0;
    w.y = y0;
    w.width = x1 - x0;
    w.height = y1 - y0;
    w.screenX = (x0 - view.originX) * view.zoom;
    w.screenY = (y0 - view.originY) * view.zoom;
    w.screenWidth = w.width * view.zoom;
    w.screenHeight = w.height * view.zoom;
    // One sample per screen pixel at most, one per image pixel at most.
    const auto samples = [](double screen, int pixels) {
        const double s = std::ceil(screen - 1e-9);
        return static_cast<int>(std::clamp(s, 1.0, static_cast<double>(pixels)));
    };
    w.bufferWidth = samples(w.screenWidth, w.width);
    w.bufferHeight = samples(w.screenHeight, w.height);
    return w;
}

ViewState FitView(int viewWidth, int viewHeight, int rasterWidth, int rasterHeight) {
    ViewState v;
    if (viewWidth <= 0 || viewHeight <= 0 || rasterWidth <= 0 || rasterHeight <= 0)
        return v;
    v.zoom = std::min(static_cast<double>(viewWidth) / rasterWidth,
                      static_cast<double>(viewHeight) / rasterHeight);
    v.originX = -(viewWidth / v.zoom - rasterWidth) / 2.0;
    v.originY = -(viewHeight / v.zoom - rasterHeight) / 2.0;
    return v;
}

namespace {
// One band of the window read into doubles at the buffer size; GDAL takes
// the pixels from an overview when one fits the buffer.
bool ReadBand(CRasterSource& raster, int bandNumber, const ReadWindow& w, std::vector<double>& out) {
    GDALDataset* dataset = raster.GetDataset();
    if (!dataset || bandNumber < 1 || bandNumber > dataset->GetRasterCount())
        return false;
    out.assign(static_cast<std::size_t>(w.bufferWidth) * w.bufferHeight, 0.0);
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_NearestNeighbour;
    return dataset->GetRasterBand(bandNumber)
               ->RasterIO(GF_Read, w.x, w.y, w.width, w.height, out.data(), w.bufferWidth, w.bufferHeight,
                          GDT_Float64, 0, 0, &extra) == CE_None;
}

bool IsNoData(double v, const std::optional<double>& noData) {
    return std::isnan(v) || (noData && v == *noData);
}
} // namespace

LayerDisplay ComputeLayerDisplay(CRasterSource& raster, int sampleSize) {
    LayerDisplay d;
    if (!raster.IsOpen())
        return d;
    d.bands = {raster.GetRedBandNum(), raster.GetGreenBandNum(), raster.GetBlueBandNum()};
    for (int i = 0; i < 3; ++i)
        if (CRasterBand* band = raster.GetRasterBand(d.bands[i]))
            d.noData[i] = band->GetNoDataValue();

    GDALDataset* dataset = raster.GetDataset();
    if (raster.GetBandCount() == 1) {
        if (const GDALColorTable* table = dataset->GetRasterBand(1)->GetColorTable()) {
            d.classified = true;
            const int count = std::min(table->GetColorEntryCount(), 65536);
            d.palette.resize(static_cast<std::size_t>(std::max(count, 0)));
            for (int i = 0; i < count; ++i) {
                const GDALColorEntry* e = table->GetColorEntry(i);
                d.palette[i] = e ? qRgba(e->c1, e->c2, e->c3, e->c4) : qRgba(0, 0, 0, 0);
            }
            return d;
        }
    }

    const int side = std::max(sampleSize, 1);
    const ViewState fit = FitView(side, side, raster.GetWidth(), raster.GetHeight());
    const ReadWindow whole = ComputeReadWindow(fit, side, side, raster.GetWidth(), raster.GetHeight());
    std::vector<double> pixels, values;
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && d.bands[i] == d.bands[i - 1]) {
            d.ranges[i] = d.ranges[i - 1];
            continue;
        }
        values.clear();
        if (!whole.IsEmpty() && ReadBand(raster, d.bands[i], whole, pixels))
            for (double v : pixels)
                if (!IsNoData(v, d.noData[i]))
                    values.push_back(v);
        const Histogram histogram = BuildHistogram(values);
        d.ranges[i] = PercentileStretch(histogram);
        // Too few distinct values for the percentiles: the whole range.
        if (!(d.ranges[i].high > d.ranges[i].low) && !values.empty())
            d.ranges[i] = {*std::min_element(values.begin(), values.end()),
                           *std::max_element(values.begin(), values.end())};
    }
    return d;
}

QImage RenderReadWindow(CRasterSource& raster, const LayerDisplay& display, const ReadWindow& w) {
    if (w.IsEmpty() || w.bufferWidth <= 0 || w.bufferHeight <= 0)
        return {};
    QImage image(w.bufferWidth, w.bufferHeight, QImage::Format_ARGB32);
    if (display.classified) {
        std::vector<double> values;
        if (!ReadBand(raster, display.bands[0], w, values))
            return {};
        for (int row = 0; row < w.bufferHeight; ++row) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
            for (int col = 0; col < w.bufferWidth; ++col) {
                const double v = values[static_cast<std::size_t>(row) * w.bufferWidth + col];
                const bool inTable = !IsNoData(v, display.noData[0]) && v >= 0 &&
                                     v < static_cast<double>(display.palette.size()) && v == std::floor(v);
                line[col] = inTable ? display.palette[static_cast<std::size_t>(v)] : qRgba(0, 0, 0, 0);
            }
        }
        return image;
    }
    std::array<std::vector<double>, 3> channels;
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && display.bands[i] == display.bands[i - 1])
            channels[i] = channels[i - 1];
        else if (!ReadBand(raster, display.bands[i], w, channels[i]))
            return {};
    }
    for (int row = 0; row < w.bufferHeight; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int col = 0; col < w.bufferWidth; ++col) {
            const std::size_t k = static_cast<std::size_t>(row) * w.bufferWidth + col;
            std::uint8_t rgb[3];
            bool blank = false;
            for (int i = 0; i < 3; ++i) {
                blank = blank || IsNoData(channels[i][k], display.noData[i]);
                rgb[i] = StretchToByte(channels[i][k], display.ranges[i]);
            }
            line[col] = blank ? qRgba(0, 0, 0, 0) : qRgb(rgb[0], rgb[1], rgb[2]);
        }
    }
    return image;
}
