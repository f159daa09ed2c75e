#include "engine/pixelmask.h"

#include <gdal_alg.h>
#include <gdal_priv.h>
#include <ogr_geometry.h>

#include <memory>

namespace tessera {

bool RasterizePixelMask(const OGRGeometry& pixelGeometry, int xOffset, int yOffset, int width, int height,
                        std::vector<std::uint8_t>& mask) {
    mask.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    if (width <= 0 || height <= 0)
        return true;
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    if (!mem)
        return false;
    std::unique_ptr<GDALDataset> window(mem->Create("", width, height, 1, GDT_Byte, nullptr));
    if (!window)
        return false;
    // The window's "ground" is pixel space itself.
    double transform[6] = {static_cast<double>(xOffset), 1, 0, static_cast<double>(yOffset), 0, 1};
    window->SetGeoTransform(transform);
    int band = 1;
    double burn = 1.0;
    OGRGeometryH geometry = OGRGeometry::ToHandle(const_cast<OGRGeometry*>(&pixelGeometry));
    if (GDALRasterizeGeometries(GDALDataset::ToHandle(window.get()), 1, &band, 1, &geometry, nullptr, nullptr,
                                &burn, nullptr, nullptr, nullptr) != CE_None)
        return false;
    return window->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, width, height, mask.data(), width, height,
                                              GDT_Byte, 0, 0, nullptr) == CE_None;
}

} // namespace tessera
