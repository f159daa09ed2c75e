#pragma once
// Rasterization of polygons given in pixel space (x = column, y = row, the
// top-left corner of the raster at 0, 0) into a mask of a pixel window: 1
// where a pixel's centre lies inside, 0 elsewhere. Shared by areas of
// interest and shape statistics, so both select the same pixels.

#include <cstdint>
#include <vector>

class OGRGeometry;

namespace tessera {

// Fills mask (width × height, row by row) for the window at (xOffset, yOffset).
// False when GDAL cannot rasterize; the mask is then all 0.
bool RasterizePixelMask(const OGRGeometry& pixelGeometry, int xOffset, int yOffset, int width, int height,
                        std::vector<std::uint8_t>& mask);

} // namespace tessera
