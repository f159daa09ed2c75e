#include "engine/classlist.h"

#include "base/commonfun.h"
#include "base/wintypes.h"
#include "engine/classifiedassistantfile.h"

#include <gdal_priv.h>
#include <gdal_rat.h>

#include <algorithm>
#include <cmath>
#include <locale>
#include <map>
#include <optional>
#include <sstream>

namespace tessera {

namespace {

struct QuietErrors {
    QuietErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietErrors() { CPLPopErrorHandler(); }
};

std::wstring defaultName(int value) {
    return value == 0 ? std::wstring(L"Unclassified") : L"Class " + std::to_wstring(value);
}

// The first column of a usage, or -1.
int columnOf(const GDALRasterAttributeTable& table, GDALRATFieldUsage usage) {
    for (int c = 0; c < table.GetColumnCount(); ++c)
        if (table.GetUsageOfCol(c) == usage)
            return c;
    return -1;
}

// A colour component: 0-255 integers, or 0-1 reals as some formats keep them.
int component(const GDALRasterAttributeTable& table, int row, int column) {
    if (table.GetTypeOfCol(column) == GFT_Real) {
        const double v = table.GetValueAsDouble(row, column);
        return static_cast<int>(std::lround(std::clamp(v <= 1.0 ? v * 255.0 : v, 0.0, 255.0)));
    }
    return std::clamp(table.GetValueAsInt(row, column), 0, 255);
}

// Pixel counts of every value of band 1, read strip by strip; nodata and NaN
// are left out. Fails on a value that is no class number.
bool countValues(GDALRasterBand& band, const std::wstring& imagePath, std::map<int, std::int64_t>& counts,
                 std::wstring& error, const std::function<bool(double)>& progress) {
    int hasNoData = 0;
    const double nodata = band.GetNoDataValue(&hasNoData);
    int blockWidth = 0, blockHeight = 0;
    band.GetBlockSize(&blockWidth, &blockHeight);
    const int width = band.GetXSize(), height = band.GetYSize();
    const int strip = std::clamp(blockHeight, 1, 256);
    std::vector<std::int64_t> tally(65536, 0);
    std::vector<double> buffer(static_cast<size_t>(width) * strip);
    for (int y = 0; y < height; y += strip) {
        const int rows = std::min(strip, height - y);
        if (band.RasterIO(GF_Read, 0, y, width, rows, buffer.data(), width, rows, GDT_Float64, 0, 0,
                          nullptr) != CE_None) {
            error = L"Cannot read the image " + imagePath + L": " + CommonFun::M2U(CPLGetLastErrorMsg());
            return false;
        }
        for (size_t i = 0; i < static_cast<size_t>(width) * rows; ++i) {
            const double v = buffer[i];
            if (std::isnan(v) || (hasNoData && v == nodata))
                continue;
            if (v < 0 || v > 65535 || v != std::floor(v)) {
                std::wostringstream s;
                s.imbue(std::locale::classic());
                s << L"The image " << imagePath << L" is not a classified image: pixel (" << i % width
                  << L", " << y + static_cast<int>(i / width) << L") holds " << v
                  << L", not a class number from 0 to 65535.";
                error = s.str();
                return false;
            }
            ++tally[static_cast<size_t>(v)];
        }
        if (progress && !progress(static_cast<double>(y + rows) / height)) {
            error = L"Reading the classes of " + imagePath + L" was cancelled.";
            return false;
        }
    }
    for (int v = 0; v < 65536; ++v)
        if (tally[v])
            counts[v] = tally[v];
    return true;
}

} // namespace

std::vector<std::uint32_t> DistinctClassColours(int count) {
    // A fixed qualitative palette of well-separated colours first, then hues
    // spread by the golden angle for larger class counts.
    static const std::uint32_t palette[] = {
        0x0000FF, 0x00C000, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00, 0x0080FF, 0x8000FF,
        0x00FF80, 0xFF8000, 0x808000, 0x800080, 0x008080, 0x4040C0, 0x40C040, 0xC04040,
    };
    std::vector<std::uint32_t> colours;
    for (int i = 0; i < count; ++i) {
        if (i < static_cast<int>(std::size(palette))) {
            // palette entries are written 0xRRGGBB for readability
            const std::uint32_t rgb = palette[i];
            colours.push_back(RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
            continue;
        }
        const double hue = std::fmod(i * 137.507764, 360.0) / 60.0;
        const double x = 1.0 - std::fabs(std::fmod(hue, 2.0) - 1.0);
        double r = 0, g = 0, b = 0;
        switch (static_cast<int>(hue)) {
        case 0:
            r = 1, g = x;
            break;
        case 1:
            r = x, g = 1;
            break;
        case 2:
            g = 1, b = x;
            break;
        case 3:
            g = x, b = 1;
            break;
        case 4:
            r = x, b = 1;
            break;
        default:
            r = 1, b = x;
            break;
        }
        const double v = (i / 6) % 2 ? 0.75 : 1.0;
        colours.push_back(RGB(static_cast<unsigned>(r * v * 255), static_cast<unsigned>(g * v * 255),
                              static_cast<unsigned>(b * v * 255)));
    }
    return colours;
}

const RasterClass* RasterClassList::Find(int value) const {
    for (const RasterClass& c : classes)
        if (c.value == value)
            return &c;
    return nullptr;
}

int RasterClassList::MaxValue() const {
    int max = 0;
    for (const RasterClass& c : classes)
        max = std::max(max, c.value);
    return max;
}

bool RasterClassList::Dense() const {
    for (size_t i = 0; i < classes.size(); ++i)
        if (classes[i].value != static_cast<int>(i))
            return false;
    return true;
}

std::wstring RasterClassList::SourceText() const {
    switch (source) {
    case ClassListSource::AssistantFile:
        return L"the classification assistant file " + sourcePath;
    case ClassListSource::AttributeTable:
        return L"the raster attribute table of " + sourcePath;
    case ClassListSource::CategoryNames:
        return L"the category names of " + sourcePath;
    case ClassListSource::PixelValues:
        break;
    }
    return L"the pixel values of " + sourcePath;
}

CClassifiedAssistantFile RasterClassList::ToAssistantFile() const {
    CClassifiedAssistantFile acf;
    for (const RasterClass& c : classes)
        acf.AddClass(c.name, c.value, c.pixelCount, c.colour);
    acf.SetPixelSize(pixelSizeX, pixelSizeY);
    return acf;
}

std::vector<RasterClass> ClassesFromAttributeTable(const GDALRasterAttributeTable& table, bool& hasColours,
                                                   bool& hasCounts) {
    int valueColumn = columnOf(table, GFU_MinMax);
    if (valueColumn < 0)
        valueColumn = columnOf(table, GFU_Min);
    int nameColumn = columnOf(table, GFU_Name);
    // Many tables name their classes in a generic column ("Class_Name",
    // "Land Cover" ...) without the name usage: the first text column.
    for (int c = 0; nameColumn < 0 && c < table.GetColumnCount(); ++c)
        if (table.GetTypeOfCol(c) == GFT_String)
            nameColumn = c;
    const int red = columnOf(table, GFU_Red), green = columnOf(table, GFU_Green),
              blue = columnOf(table, GFU_Blue);
    const int count = columnOf(table, GFU_PixelCount);
    hasColours = red >= 0 && green >= 0 && blue >= 0;
    hasCounts = count >= 0;
    double binMin = 0, binSize = 1;
    const bool binned = valueColumn < 0 && table.GetLinearBinning(&binMin, &binSize);

    std::vector<RasterClass> classes;
    for (int row = 0; row < table.GetRowCount(); ++row) {
        const double value = valueColumn >= 0 ? table.GetValueAsDouble(row, valueColumn)
                             : binned         ? binMin + row * binSize
                                              : row;
        if (!(value >= 0 && value <= 65535) || value != std::floor(value))
            continue;
        RasterClass c;
        c.value = static_cast<int>(value);
        if (nameColumn >= 0)
            c.name = CommonFun::M2U(table.GetValueAsString(row, nameColumn));
        if (hasCounts)
            c.pixelCount = static_cast<std::int64_t>(table.GetValueAsDouble(row, count));
        if (c.name.empty() && c.pixelCount <= 0)
            continue;
        if (hasColours)
            c.colour =
                RGB(component(table, row, red), component(table, row, green), component(table, row, blue));
        classes.push_back(std::move(c));
    }
    return classes;
}

bool ReadRasterClassList(const std::wstring& imagePath, RasterClassList& list, std::wstring& error,
                         const std::function<bool(double)>& progress) {
    list = RasterClassList{};
    if (AssistantFileExists(imagePath)) {
        const std::wstring acfPath = PairedAssistantFilePath(imagePath);
        CClassifiedAssistantFile acf;
        if (!acf.ReadClassifiedAssistantFile(acfPath)) {
            error = L"Cannot read the classification assistant file " + acfPath + L": " +
                    CommonFun::M2U(acf.GetLastError());
            return false;
        }
        list.source = ClassListSource::AssistantFile;
        list.sourcePath = acfPath;
        for (const ClassRecord* r : acf.GetClassRecords())
            list.classes.push_back({r->m_classNumber, r->m_name, r->m_colour, r->m_pixelCount});
        list.pixelSizeX = acf.GetPixelSizeX();
        list.pixelSizeY = acf.GetPixelSizeY();
        return true;
    }

    GDALAllRegister();
    QuietErrors quiet;
    GDALDatasetUniquePtr dataset(GDALDataset::Open(CommonFun::U2M(imagePath).c_str(), GDAL_OF_RASTER));
    if (!dataset || dataset->GetRasterCount() < 1) {
        error = L"Cannot open " + imagePath + L" as a classified image (no " +
                PairedAssistantFilePath(imagePath) + L" beside it either).";
        return false;
    }
    GDALRasterBand& band = *dataset->GetRasterBand(1);
    list.sourcePath = imagePath;
    double transform[6] = {0, 1, 0, 0, 0, 1};
    if (dataset->GetGeoTransform(transform) == CE_None) {
        list.pixelSizeX = transform[1];
        list.pixelSizeY = transform[5];
    } else {
        list.pixelSizeX = 1, list.pixelSizeY = -1;
    }

    std::vector<RasterClass> named;
    bool hasColours = false, hasCounts = false;
    if (const GDALRasterAttributeTable* table = band.GetDefaultRAT(); table && table->GetRowCount() > 0)
        named = ClassesFromAttributeTable(*table, hasColours, hasCounts);
    if (!named.empty()) {
        list.source = ClassListSource::AttributeTable;
    } else if (char** categories = band.GetCategoryNames()) {
        for (int v = 0; categories[v] && v <= 65535; ++v)
            if (*categories[v])
                named.push_back({v, CommonFun::M2U(categories[v]), 0, 0});
        list.source = named.empty() ? ClassListSource::PixelValues : ClassListSource::CategoryNames;
    }

    std::map<int, std::int64_t> counts;
    if (!countValues(band, imagePath, counts, error, progress))
        return false;
    int hasNoData = 0;
    const double nodata = band.GetNoDataValue(&hasNoData);
    std::map<int, RasterClass> byValue;
    std::map<int, bool> coloured; // values whose colour the table gives
    for (RasterClass& c : named)
        if (!(hasNoData && c.value == nodata) && !byValue.count(c.value)) {
            coloured[c.value] = hasColours;
            byValue[c.value] = std::move(c);
        }
    for (const auto& [value, count] : counts)
        byValue[value].value = value;

    const GDALColorTable* colourTable = band.GetColorTable();
    int rank = 0;
    const std::vector<std::uint32_t> palette = DistinctClassColours(static_cast<int>(byValue.size()));
    for (auto& [value, c] : byValue) {
        const auto it = counts.find(value);
        c.pixelCount = it != counts.end() ? it->second : 0; // the image's own count is exact
        if (c.name.empty())
            c.name = defaultName(value);
        if (!coloured[value]) {
            const GDALColorEntry* entry = colourTable ? colourTable->GetColorEntry(value) : nullptr;
            c.colour = entry ? RGB(entry->c1, entry->c2, entry->c3) : value ? palette[rank] : 0;
        }
        if (value)
            ++rank;
        list.classes.push_back(std::move(c));
    }
    return true;
}

} // namespace tessera
