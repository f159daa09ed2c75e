#include "processing/classstatistics.h"

#include "base/commonfun.h"
#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "processing/blockprocessor.h"

#include <cmath>
#include <iomanip>
#include <limits>
#include <locale>
#include <mutex>
#include <set>
#include <sstream>

namespace tessera {

namespace {

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return std::numeric_limits<std::int64_t>::max();
    return sum;
}

// Fixed notation with the given decimals, "." as decimal point whatever the
// process locale (Qt applications take the user's).
std::wstring fixed(double value, int decimals) {
    std::wostringstream s;
    s.imbue(std::locale::classic());
    s << std::fixed << std::setprecision(decimals) << value;
    return s.str();
}

void finish(ClassStatistics& statistics) {
    for (const ClassStatistic& c : statistics.classes)
        statistics.totalPixels = saturatingAdd(statistics.totalPixels, c.pixelCount);
    for (ClassStatistic& c : statistics.classes) {
        if (statistics.totalPixels > 0)
            c.percent =
                static_cast<double>(c.pixelCount) / static_cast<double>(statistics.totalPixels) * 100.0;
        c.area = static_cast<double>(c.pixelCount) * statistics.pixelArea;
    }
}

} // namespace

ClassStatistics ComputeClassStatistics(const CClassifiedAssistantFile& acf, const std::wstring& unitName) {
    ClassStatistics statistics;
    statistics.unitName = unitName;
    statistics.pixelArea = std::fabs(acf.GetPixelSizeX() * acf.GetPixelSizeY());
    for (const ClassRecord* record : acf.GetClassRecords())
        statistics.classes.push_back({record->m_classNumber, record->m_name, record->m_pixelCount, {}, 0});
    finish(statistics);
    return statistics;
}

ClassStatistics ComputeClassStatistics(const CClassifiedAssistantFile& acf, const std::wstring& unitName,
                                       const std::map<int, std::int64_t>& countsByValue) {
    ClassStatistics statistics;
    statistics.unitName = unitName;
    statistics.pixelArea = std::fabs(acf.GetPixelSizeX() * acf.GetPixelSizeY());
    std::set<int> numbers;
    for (const ClassRecord* record : acf.GetClassRecords()) {
        const auto it = countsByValue.find(record->m_classNumber);
        // A number listed twice takes its pixels once, on its first record.
        const std::int64_t count =
            it != countsByValue.end() && numbers.insert(record->m_classNumber).second ? it->second : 0;
        statistics.classes.push_back({record->m_classNumber, record->m_name, count, {}, 0});
    }
    for (const auto& [value, count] : countsByValue)
        if (!numbers.count(value) && count > 0)
            statistics.classes.push_back({value, L"", count, {}, 0});
    finish(statistics);
    return statistics;
}

std::vector<StatisticsRowTexts> FormatStatisticsRows(const ClassStatistics& statistics) {
    std::vector<StatisticsRowTexts> rows;
    const std::wstring unit = statistics.unitName + L"*" + statistics.unitName;
    for (const ClassStatistic& c : statistics.classes)
        rows.push_back({std::to_wstring(c.classNumber), c.name, std::to_wstring(c.pixelCount),
                        c.percent ? fixed(*c.percent, 3) + L"%" : std::wstring(L"-"), fixed(c.area, 6),
                        unit});
    return rows;
}

bool CountClassPixels(const std::wstring& imagePath, std::map<int, std::int64_t>& countsByValue,
                      std::wstring& error, const std::function<bool(double)>& progress) {
    countsByValue.clear();
    CRasterSource image;
    if (image.Open(imagePath) != GIS_OK) {
        error = L"Cannot open the image " + imagePath + L" as a raster.";
        return false;
    }
    BlockProcessor blocks(image, {1}, nullptr, PixelRect{0, 0, image.GetWidth(), image.GetHeight()});
    std::vector<std::vector<std::int64_t>> perWorker(blocks.WorkerCount(),
                                                     std::vector<std::int64_t>(65536, 0));
    std::mutex badMutex;
    std::optional<std::pair<float, std::pair<int, int>>> bad; // a value that is no class number, and where
    // Every pixel counts, nodata included: the block loop reads the raw value
    // of a pixel whether or not it is valid, and the rectangle is the image.
    const bool ok = blocks.ForEachBlock(
        [&](const PixelBlock& block, int worker) {
            std::vector<std::int64_t>& counts = perWorker[worker];
            for (int i = 0; i < block.PixelCount(); ++i) {
                const float v = block.values[i];
                if (v >= 0 && v <= 65535 && v == std::floor(v)) {
                    ++counts[static_cast<int>(v)];
                    continue;
                }
                std::lock_guard<std::mutex> lock(badMutex);
                if (!bad)
                    bad = {v, {block.x + i % block.width, block.y + i / block.width}};
            }
        },
        progress ? BlockProcessor::Progress(progress) : BlockProcessor::Progress());
    if (!ok) {
        error =
            blocks.GetLastError().empty() ? std::wstring(L"Counting was cancelled.") : blocks.GetLastError();
        return false;
    }
    if (bad) {
        std::wostringstream s;
        s.imbue(std::locale::classic());
        s << L"The image " << imagePath << L" is not a classified image: pixel (" << bad->second.first
          << L", " << bad->second.second << L") holds " << bad->first
          << L", not a class number from 0 to 65535.";
        error = s.str();
        return false;
    }
    for (int value = 0; value < 65536; ++value) {
        std::int64_t total = 0;
        for (const auto& counts : perWorker)
            total += counts[value];
        if (total)
            countsByValue[value] = total;
    }
    return true;
}

} // namespace tessera
