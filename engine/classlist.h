#pragma once
// The classes of any classified raster, whichever tool made it: Tessera's
// ".acf" first; else the raster attribute table (columns found by their
// usage); else the category names; else the distinct values present, with
// the colour table's colours where there is one. A class is identified by
// its value, never by its position, so sparse codes (11, 21, 42, 95) survive.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CClassifiedAssistantFile;
class GDALRasterAttributeTable;

namespace tessera {

// Distinct display colours (0x00BBGGRR) for classes 1..count (class 0 is black).
std::vector<std::uint32_t> DistinctClassColours(int count);

enum class ClassListSource { AssistantFile, AttributeTable, CategoryNames, PixelValues };

struct RasterClass {
    int value = 0;
    std::wstring name;
    std::uint32_t colour = 0; // 0x00BBGGRR
    std::int64_t pixelCount = 0;
};

struct RasterClassList {
    ClassListSource source = ClassListSource::PixelValues;
    std::wstring sourcePath;          // the .acf, or the image itself
    std::vector<RasterClass> classes; // the .acf's order; ascending values otherwise
    double pixelSizeX = 0, pixelSizeY = 0;

    // The class of a value, or null.
    const RasterClass* Find(int value) const;
    int MaxValue() const;
    // Whether the values are 0..n-1 in order, as a dense class table has them.
    bool Dense() const;
    // "the .acf X", "the raster attribute table of X" ...: where the classes came from.
    std::wstring SourceText() const;
    // The same classes as an assistant-file table.
    CClassifiedAssistantFile ToAssistantFile() const;
};

// Reads the class list of the classified image (band 1). Without an ".acf",
// the image is read once to count the pixels of every value (nodata left
// out); values present that no table names join the list as "Class <v>",
// named rows that no pixel carries stay. Pixel values must be whole numbers
// from 0 to 65535. progress takes the fraction read and returns false to stop.
// On failure, error holds one line naming the file and what was wrong.
bool ReadRasterClassList(const std::wstring& imagePath, RasterClassList& list, std::wstring& error,
                         const std::function<bool(double)>& progress = {});

// The classes a raster attribute table names: its value column (GFU_MinMax,
// else GFU_Min, else the table's linear binning, else the row number), its name
// column (GFU_Name, else the first text column), its colour columns
// (GFU_Red/Green/Blue, 0-255, or 0-1 reals) and pixel counts (GFU_PixelCount).
// Rows without a name and without pixels are left out.
std::vector<RasterClass> ClassesFromAttributeTable(const GDALRasterAttributeTable& table, bool& hasColours,
                                                   bool& hasCounts);

} // namespace tessera
