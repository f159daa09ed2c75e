#pragma once
// Random check points: the classic 15-bit linear congruential generator
// (values 0 to 32767), the clock that seeds it and the pause after a run,
// behind one seam so tests fix the seed and skip the wait.

#include "processing/accuracypoint.h"

#include <cstdint>
#include <vector>

class CRasterSource;

namespace tessera {

// state = state x 214013 + 2531011 (mod 2^32); a value is bits 16 to 30 of
// the new state.
class Rand15 {
public:
    static constexpr int kMax = 32767;
    explicit Rand15(std::uint32_t seed = 1) : m_state(seed) {}
    void Seed(std::uint32_t seed) { m_state = seed; }
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFFu);
    }

private:
    std::uint32_t m_state;
};

// Where the generation takes its seed and spends its closing pause.
class IRandomPointClock {
public:
    virtual ~IRandomPointClock() = default;
    // The calendar time in seconds, cut to 32 bits.
    virtual std::uint32_t NowSeconds() = 0;
    virtual void Pause(int milliseconds) = 0;
};

// The clock in force (never null): the system clock and a real sleep unless
// a test installed its own.
IRandomPointClock& RandomPointClock();
// Replaces the clock; returns the previous one. Null restores the system clock.
IRandomPointClock* SetRandomPointClock(IRandomPointClock* clock);

struct PixelPosition {
    int column = 0;
    int row = 0;
    bool operator==(const PixelPosition&) const = default;
};

// count pixels drawn with a freshly seeded generator: column = r mod (W - 1),
// then row = r' mod (H - 1), so the last column and row are never chosen. An
// image one pixel wide (or high) has no divisor; its column (row) is 0.
// Duplicates are kept.
std::vector<PixelPosition> DrawRandomPixels(int count, int width, int height, std::uint32_t seed);

// The check points of one run on an open classified image: for each drawn
// pixel, its first-band value read as a double and truncated toward zero,
// and the ground position of its centre. Points are numbered from 1 and
// named "#Pt<i>". A failed pixel read keeps the previous value (0 at the
// start of the run). Empty when the image has no first band.
std::vector<AccuracyPoint> MakeRandomPoints(CRasterSource& image, int count, std::uint32_t seed);

} // namespace tessera
