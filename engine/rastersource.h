#pragma once
// A raster opened through GDAL. Bands are numbered from 1, as GDAL numbers
// them; GetRedBandNum/GetGreenBandNum/GetBlueBandNum use the same numbers.

#include "engine/enginetypes.h"
#include "engine/geometry.h"
#include "engine/gisdatasource.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class GDALDataset;
class CRasterBand;

class CRasterSource : public CGISDataSource {
public:
    CRasterSource();
    ~CRasterSource() override;
    CRasterSource(const CRasterSource&) = delete;
    CRasterSource& operator=(const CRasterSource&) = delete;

    // Opens any raster GDAL reads. GIS_OK on success; a missing path or a
    // file without raster bands gives a non-zero code and leaves the object
    // closed. `shared` is accepted for the callers' sake; every object opens
    // its own handle, so objects never share state across threads.
    virtual GISError Open(const std::wstring& path, GISDataAccess access = GIS_READONLY, bool shared = true);
    void Close();
    bool IsOpen() const { return m_dataset != nullptr; }
    const std::wstring& GetPath() const { return m_path; }

    GISDataSourceType GetDataSourceType() const override { return GIS_DATASOURCE_RASTER; }
    // The ground unit of the spatial reference: "degree" for geographic
    // systems; for projected ones the short name ("m", "ft", "ftUS", "km")
    // when full is false and GDAL's name ("metre", "foot"...) when true;
    // "unknown" without a spatial reference.
    std::wstring GetUnitName(bool full) const override;
    // Metres per ground unit of a projected image; none for a geographic or
    // unknown coordinate system.
    std::optional<double> GetMetresPerUnit() const;

    int GetWidth() const;
    int GetHeight() const;
    int GetBandCount() const;
    // Pixel type of the first band.
    PixelDataType GetRasterDataType() const;
    // Signed pixel sizes from the geotransform (north-up: y is negative).
    double GetXResolution() const;
    double GetYResolution() const;
    // GDAL's geotransform; identity (1 unit per pixel, y down) when absent.
    const std::array<double, 6>& GetGeoTransform() const { return m_geoTransform; }
    std::string GetProjectionWkt() const;

    // Band by its number, 1 to GetBandCount(); owned by the raster; null
    // for a bad number or a closed raster.
    CRasterBand* GetRasterBand(int number);

    // Band numbers shown as red, green and blue: from the bands' colour
    // interpretation when set; otherwise 3, 2, 1 for rasters of three bands
    // or more (natural colour for the usual blue, green, red, ... band
    // order of multispectral sensors), and band 1 for all three on one- and
    // two-band rasters.
    int GetRedBandNum() const;
    int GetGreenBandNum() const;
    int GetBlueBandNum() const;

    // Image position to ground position. The image position is in pixel
    // units with integer values at pixel centres: (0, 0) is the centre of
    // the top-left pixel, (-0.5, -0.5) its outer corner.
    CPoint2D ImageToGround(const CPoint2D& pixel) const;
    // The inverse: ground to image position, same convention.
    CPoint2D GroundToImage(const CPoint2D& ground) const;

    // Format code for an output path, from its extension (case-insensitive):
    // .tif/.tiff 38, .img 20, .pix 21, .dat 22, .bmp 23, .ers 24, .ntf 25,
    // .bt 26; 0 otherwise.
    static RasterDataFormat GetDataFormat(const std::wstring& path);

    // The GDAL dataset, for the engine's own algorithms.
    GDALDataset* GetDataset() const { return m_dataset; }

private:
    // The band with that colour interpretation, else the default band.
    int displayBand(int interpretation, int fallbackForThreeOrMore) const;

    GDALDataset* m_dataset = nullptr;
    std::wstring m_path;
    std::array<double, 6> m_geoTransform{0, 1, 0, 0, 0, 1};
    std::array<double, 6> m_inverse{0, 1, 0, 0, 0, 1};
    std::vector<std::unique_ptr<CRasterBand>> m_bands;
};
