#include "engine/rasterband.h"

#include <gdal_priv.h>

#include <cstdlib>

namespace {
GDALDataType toGdal(PixelDataType t) {
    return static_cast<GDALDataType>(t);
}
} // namespace

CRasterBand::CRasterBand(GDALRasterBand* band, int number) : m_band(band), m_number(number) {}

int CRasterBand::GetWidth() const {
    return m_band->GetXSize();
}
int CRasterBand::GetHeight() const {
    return m_band->GetYSize();
}

PixelDataType CRasterBand::GetDataType() const {
    const GDALDataType t = m_band->GetRasterDataType();
    return (t >= GDT_Byte && t <= GDT_Float64) ? static_cast<PixelDataType>(t) : PDT_Unknown;
}

void CRasterBand::GetBlockSize(int& width, int& height) const {
    m_band->GetBlockSize(&width, &height);
}

std::optional<double> CRasterBand::GetNoDataValue() const {
    int has = 0;
    const double value = m_band->GetNoDataValue(&has);
    if (!has)
        return std::nullopt;
    return value;
}

bool CRasterBand::ReadBlock(int xOffset, int yOffset, int width, int height, void* buffer,
                            PixelDataType wanted) const {
    if (!buffer || PixelTypeSize(wanted) == 0 || width <= 0 || height <= 0 || xOffset < 0 || yOffset < 0 ||
        xOffset > GetWidth() - width || yOffset > GetHeight() - height)
        return false;
    return m_band->RasterIO(GF_Read, xOffset, yOffset, width, height, buffer, width, height, toGdal(wanted),
                            0, 0, nullptr) == CE_None;
}

bool CRasterBand::ReadRow(int row, void* buffer, PixelDataType wanted) const {
    return ReadBlock(0, row, GetWidth(), 1, buffer, wanted);
}

bool CRasterBand::GetPixel(void* buffer, int column, int row, PixelDataType wanted) const {
    return ReadBlock(column, row, 1, 1, buffer, wanted);
}

void CRasterBand::ensureRange() {
    if (m_haveRange)
        return;
    // Statistics written with the file are taken as they are.
    const char* min = m_band->GetMetadataItem("STATISTICS_MINIMUM");
    const char* max = m_band->GetMetadataItem("STATISTICS_MAXIMUM");
    if (min && max) {
        m_minimum = std::strtod(min, nullptr);
        m_maximum = std::strtod(max, nullptr);
    } else {
        double range[2] = {0.0, 0.0};
        CPLPushErrorHandler(CPLQuietErrorHandler);
        const CPLErr err = m_band->ComputeRasterMinMax(FALSE, range); // exact, nodata excluded
        CPLPopErrorHandler();
        if (err != CE_None)
            range[0] = range[1] = 0.0; // every pixel is nodata
        m_minimum = range[0];
        m_maximum = range[1];
    }
    m_haveRange = true;
}

double CRasterBand::GetMinimum() {
    ensureRange();
    return m_minimum;
}

double CRasterBand::GetMaximum() {
    ensureRange();
    return m_maximum;
}
