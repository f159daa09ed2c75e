#pragma once
// Per-class statistics of a classified image: pixel count, share of all
// pixels and ground area of every class of its ".acf", as the statistics
// window shows them and `tessera stats` prints them. Data first (a result
// record), text second (the table's cell texts). Also the pixel recount that
// `tessera stats --recount` makes from the image itself.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class CClassifiedAssistantFile;

namespace tessera {

// The ".acf" beside a classified image: the image path up to its last "."
// (folders included in the search) followed by ".acf"; a path without any
// "." gets ".acf" appended. The same rule as the windows' pairing, here for
// the algorithms and the command line, which do not link the windows.

// The unit name shown before an image's ground unit is known (the raster
// could not be opened). Spelled as the statistics window has always shown it.
inline constexpr const wchar_t* kUnknownUnitName = L"Unkown";

struct ClassStatistic {
    int classNumber = 0;
    std::wstring name;
    std::int64_t pixelCount = 0;
    // Share of all pixels in percent; none when no class has any pixel.
    std::optional<double> percent;
    double area = 0; // pixelCount × the ground area of one pixel
};

struct ClassStatistics {
    std::vector<ClassStatistic> classes; // in file order
    std::int64_t totalPixels = 0;        // saturates at the largest 64-bit value
    double pixelArea = 0;                // |pixel size x × pixel size y|
    std::wstring unitName;               // ground unit of the image ("m", "degree" ...)
};

// The statistics of the file's classes with their recorded pixel counts.
ClassStatistics ComputeClassStatistics(const CClassifiedAssistantFile& acf, const std::wstring& unitName);
// The same with pixel counts by class number (pixel value) counted from the
// image: a class takes the count of its number (0 when absent); values that
// no class carries follow as extra rows with an empty name, ascending.
ClassStatistics ComputeClassStatistics(const CClassifiedAssistantFile& acf, const std::wstring& unitName,
                                       const std::map<int, std::int64_t>& countsByValue);

// The six cell texts of a row: class number ("%d"), name, pixel count,
// percentage ("%0.3f" and "%"; "-" when undefined), area ("%f"), and the
// area unit (unit "*" unit). Numbers always use "." as decimal point.
using StatisticsRowTexts = std::array<std::wstring, 6>;
std::vector<StatisticsRowTexts> FormatStatisticsRows(const ClassStatistics& statistics);

// Counts the pixels of every value of band 1 of a classified image through
// the block loop. Values must be whole numbers from 0 to 65535; anything else
// (or an image that cannot be read) fails with a message in error. progress
// takes the fraction done and returns false to stop.
bool CountClassPixels(const std::wstring& imagePath, std::map<int, std::int64_t>& countsByValue,
                      std::wstring& error, const std::function<bool(double)>& progress = {});

} // namespace tessera
