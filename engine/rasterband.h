#pragma once
// One band of an opened raster (CRasterSource owns it).

#include "engine/enginetypes.h"

#include <optional>

class GDALRasterBand;

class CRasterBand {
public:
    CRasterBand(GDALRasterBand* band, int number);

    int GetBandNumber() const { return m_number; }
    int GetWidth() const;
    int GetHeight() const;
    PixelDataType GetDataType() const;
    // GDAL's natural block size (tiles, or strips of rows).
    void GetBlockSize(int& width, int& height) const;
    std::optional<double> GetNoDataValue() const;

    // One pixel converted to the wanted type (saturating, as GDAL converts),
    // written to buffer, which must hold one value of that type. False for a
    // position outside the band or a read error.
    bool GetPixel(void* buffer, int column, int row, PixelDataType wanted) const;
    // A window of pixels, row by row, converted to the wanted type.
    bool ReadBlock(int xOffset, int yOffset, int width, int height, void* buffer, PixelDataType wanted) const;
    bool ReadRow(int row, void* buffer, PixelDataType wanted) const;

    // Value range: the band's statistics metadata when present, otherwise
    // computed exactly over every pixel (nodata excluded) once and kept.
    double GetMinimum();
    double GetMaximum();

    GDALRasterBand* GetGDALBand() const { return m_band; }

private:
    void ensureRange();

    GDALRasterBand* m_band;
    int m_number;
    bool m_haveRange = false;
    double m_minimum = 0.0;
    double m_maximum = 0.0;
};
