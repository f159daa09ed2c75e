#pragma once
// Files for tests: folders, bytes, small rasters written from values and read
// back, classification assistant files and sample files.

#include "engine/classifiedassistantfile.h"
#include "engine/classifysamplefile.h"

#include <gdal_priv.h>
#include <ogr_core.h>

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// This process's scratch folder: unique (ctest runs the tests of one
// executable in parallel processes), made on first use, removed at exit.
fs::path ScratchDir();
std::wstring WPath(const fs::path& path);
std::string Narrow(const std::wstring& text); // UTF-8
fs::path Scratch(const std::string& name);    // a new empty folder in the scratch folder
std::string ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const std::string& bytes);
std::set<std::string> FilesIn(const fs::path& folder);
// Runs `write` with files limited to `bytes` (the signal ignored): a write that fails part-way.
void WithFileSizeLimit(std::size_t bytes, const std::function<void()>& write);

// What WriteRaster makes.
struct RasterSpec {
    int width = 1, height = 1, bands = 1;
    GDALDataType type = GDT_Float32;
    std::array<double, 6> geo{1000, 10, 0, 2000, 0, -10};
    int epsg = 0;                              // 0: no spatial reference
    std::map<int, double> nodata;              // band (from 1) -> value
    std::vector<std::string> categories;       // of band 1
    std::vector<std::array<short, 3>> colours; // band 1's colour table
    std::vector<std::string> options;          // creation options
    const char* driver = "GTiff";
};
using PixelValue = std::function<double(int band, int column, int row)>;

fs::path WriteRaster(const fs::path& path, const RasterSpec& spec, const PixelValue& value);
// Values row by row: one per pixel for every band, or band after band.
fs::path WriteRaster(const fs::path& path, const RasterSpec& spec, const std::vector<double>& values);
template <class T>
fs::path WriteRaster(const fs::path& path, const RasterSpec& spec, const std::vector<T>& values) {
    return WriteRaster(path, spec, std::vector<double>(values.begin(), values.end()));
}

using Dataset = std::unique_ptr<GDALDataset>;
Dataset OpenDataset(const fs::path& path, unsigned flags = GDAL_OF_RASTER);
// A band's values row by row, as int or float; empty when the file does not open.
template <class T = int> std::vector<T> ReadBand(const fs::path& path, int band = 1);

// "POLYGON ((...))" of the rectangle with corners (x0, y0) and (x1, y1).
std::string RectangleWkt(double x0, double y0, double x1, double y1);
// A one-layer vector file (a shapefile for ".shp", else a GeoPackage) of WKT
// geometries in EPSG `epsg` (0: none), reprojected there from EPSG `from`
// when given; each feature is its WKT, then its value of each field.
fs::path WriteLayer(const fs::path& path, const std::vector<std::pair<std::string, OGRFieldType>>& fields,
                    const std::vector<std::vector<std::string>>& features, int epsg = 0, int from = 0);

struct AcfClass {
    std::wstring name;
    int number;
    std::int64_t pixels = 0;
    std::uint32_t colour = 0;
    int reserved = 0;
};
CClassifiedAssistantFile MakeAcf(const std::vector<AcfClass>& classes, double px = 30, double py = -30);
// The .acf of `image` (its extension replaced).
void WriteAcf(const fs::path& image, const std::vector<AcfClass>& classes, double px = 30, double py = -30);

// A sample with the statistics given, the others zero; minimum and maximum are the mean.
ClassifySample* NewSample(const std::wstring& name, int bands, std::vector<double> mean = {},
                          std::vector<double> covariance = {}, int pixels = 0);
// A .cif of `bands` bands holding the samples (it takes them), numbered from 1.
void WriteSamples(const fs::path& path, int bands, const std::vector<ClassifySample*>& samples);
