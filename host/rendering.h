#pragma once
// How the host turns a raster into screen pixels, as plain functions: the
// 2-98 % contrast stretch, the part of the raster a view needs and the
// size to read it at, and the rendering of that part into an image.
// Nothing here touches a widget.

#include <QImage>
#include <QRgb>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class CRasterSource;

// Counts of values in equal bins starting at minimum.
struct Histogram {
    double minimum = 0.0;
    double binWidth = 1.0;
    std::vector<std::uint64_t> counts;
    std::uint64_t Total() const;
};

// A histogram of the values. When every value is a whole number and the
// range holds at most maxBins of them, each bin is one whole value, so the
// percentiles taken from it are exact; otherwise maxBins bins span the range.
Histogram BuildHistogram(const std::vector<double>& values, int maxBins = 1024);

struct StretchRange {
    double low = 0.0;
    double high = 0.0;
};

// The values at the low and high fractions of the sorted values, read from
// the histogram: with n values sorted ascending, the fraction p names the
// value at index floor(p * (n - 1)); the result is the lower edge of the bin
// holding it (the value itself for one-value bins).
StretchRange PercentileStretch(const Histogram& histogram, double lowFraction = 0.02,
                               double highFraction = 0.98);

// A value mapped linearly from the range onto 0..255, clamped; a range of
// zero width maps its value and below to 0, above to 255.
std::uint8_t StretchToByte(double value, const StretchRange& range);

// What the map view shows: the image position (pixel corner units: (0, 0)
// is the outer corner of the top-left pixel) at the view's top-left corner,
// and the zoom in screen pixels per image pixel.
struct ViewState {
    double originX = 0.0;
    double originY = 0.0;
    double zoom = 1.0;
    bool operator==(const ViewState&) const = default;
};

// The part of a raster a view shows and how to read it: the pixel window
// (whole pixels), the buffer size to read it into (never more pixels than
// the screen area it covers, nor more than the window itself), and where the
// window lands on the screen.
struct ReadWindow {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int bufferWidth = 0;
    int bufferHeight = 0;
    double screenX = 0.0;
    double screenY = 0.0;
    double screenWidth = 0.0;
    double screenHeight = 0.0;
    bool IsEmpty() const { return width <= 0 || height <= 0; }
    bool operator==(const ReadWindow&) const = default;
};

ReadWindow ComputeReadWindow(const ViewState& view, int viewWidth, int viewHeight, int rasterWidth,
                             int rasterHeight);

// The view that fits the whole raster into the view, centred.
ViewState FitView(int viewWidth, int viewHeight, int rasterWidth, int rasterHeight);

// How a layer is drawn: a classified raster (one band with a colour table)
// with its colours, or an RGB composite of the display bands, each stretched
// by its 2-98 % range.
struct LayerDisplay {
    bool classified = false;
    std::array<int, 3> bands{1, 1, 1};
    std::array<StretchRange, 3> ranges{};
    std::array<std::optional<double>, 3> noData{};
    std::vector<QRgb> palette; // classified: colour of each class value
};

// Works out the display of a raster; the stretch comes from a decimated read
// of the whole image (at most sampleSize pixels a side, through overviews
// when the file has them).
LayerDisplay ComputeLayerDisplay(CRasterSource& raster, int sampleSize = 512);

// The pixels of the read window as an image of its buffer size. Nodata and
// values outside the colour table are transparent. A null image when the
// window is empty or the read fails.
QImage RenderReadWindow(CRasterSource& raster, const LayerDisplay& display, const ReadWindow& window);
