#pragma once
// Statistics of the raster's pixels under a drawn shape.

#include <cstdint>
#include <functional>
#include <vector>

class CRasterSource;
class CDrawShape;
class CBaseProgress;

class CRasterAlgorithm {
public:
    // Over the pixels whose centres lie inside the shape (a rectangle or
    // polygon in the raster's ground coordinates; a point takes the one pixel
    // it falls in): the pixel count, and per band the minimum, maximum and
    // mean, and the band × band covariance (row-major) with divisor n. The
    // arrays are sized by the caller from the band count. A pixel that is
    // nodata in any band is left out. Two passes in strips of rows keep the
    // memory flat and the covariance exact on integer data.
    // False (count 0, arrays zeroed) when no pixel lies under the shape or a
    // read fails. The progress object is not used yet (may be null).
    static bool ComputeStaticsFromDrawshape(CRasterSource* raster, const CDrawShape* shape,
                                            std::int64_t& count, double* minimum, double* maximum,
                                            double* mean, double* covariance,
                                            CBaseProgress* progress = nullptr);

    // Calls visit(values) for each of the same pixels in raster order,
    // values holding one double per band; nodata pixels are left out. False
    // when a read fails or the shape has no area; no pixel is not a failure.
    static bool VisitPixelsInDrawshape(CRasterSource* raster, const CDrawShape* shape,
                                       const std::function<void(const std::vector<double>& values)>& visit);
};
