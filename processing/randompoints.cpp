#include "processing/randompoints.h"

#include "engine/rasterband.h"
#include "engine/rastersource.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

namespace tessera {

namespace {

class SystemClock final : public IRandomPointClock {
public:
    std::uint32_t NowSeconds() override { return static_cast<std::uint32_t>(std::time(nullptr)); }
    void Pause(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

SystemClock& systemClock() {
    static SystemClock clock;
    return clock;
}

IRandomPointClock* g_clock = nullptr;

} // namespace

IRandomPointClock& RandomPointClock() {
    return g_clock ? *g_clock : systemClock();
}

IRandomPointClock* SetRandomPointClock(IRandomPointClock* clock) {
    IRandomPointClock* previous = g_clock;
    g_clock = clock;
    return previous;
}

std::vector<PixelPosition> DrawRandomPixels(int count, int width, int height, std::uint32_t seed) {
    std::vector<PixelPosition> pixels;
    if (count <= 0)
        return pixels;
    pixels.reserve(static_cast<size_t>(count));
    Rand15 generator(seed);
    for (int i = 0; i < count; ++i) {
        const int r = generator.Next();
        const int r2 = generator.Next();
        PixelPosition p;
        p.column = width > 1 ? r % (width - 1) : 0;
        p.row = height > 1 ? r2 % (height - 1) : 0;
        pixels.push_back(p);
    }
    return pixels;
}

std::vector<AccuracyPoint> MakeRandomPoints(CRasterSource& image, int count, std::uint32_t seed) {
    std::vector<AccuracyPoint> points;
    CRasterBand* band = image.GetRasterBand(1);
    if (!band)
        return points;
    const std::vector<PixelPosition> pixels =
        DrawRandomPixels(count, image.GetWidth(), image.GetHeight(), seed);
    points.reserve(pixels.size());
    double value = 0.0; // not reset between points: a failed read keeps the last value
    int id = 0;
    for (const PixelPosition& pixel : pixels) {
        band->GetPixel(&value, pixel.column, pixel.row, PDT_Float64);
        AccuracyPoint p;
        p.id = ++id;
        p.name = L"#Pt" + std::to_wstring(p.id);
        p.position = image.ImageToGround(CPoint2D(pixel.column, pixel.row));
        // Truncation toward zero; values beyond int saturate rather than overflow.
        const double truncated = std::trunc(value);
        p.classValue = std::isnan(truncated)        ? 0
                       : truncated >= 2147483647.0  ? 2147483647
                       : truncated <= -2147483648.0 ? -2147483647 - 1
                                                    : static_cast<int>(truncated);
        p.referenceValue = 0;
        points.push_back(std::move(p));
    }
    return points;
}

} // namespace tessera
