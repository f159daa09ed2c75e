#pragma once
// Areas of interest: polygons from a ".shp" (or any OGR vector source with
// polygons, in any CRS) or from an ".aif" file, and their footprint on a
// raster.

#include "engine/enginetypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class OGRGeometry;
class OGRSpatialReference;
class CRasterSource;

class CAOISource {
public:
    CAOISource();
    ~CAOISource();
    CAOISource(const CAOISource&) = delete;
    CAOISource& operator=(const CAOISource&) = delete;

    // Reads every polygon of the file: ".aif" through its own reader, any
    // other path through OGR (all layers, polygons and multipolygons; curves
    // are linearised). GIS_OK when at least one polygon was read.
    GISError Open(const std::wstring& path, GISDataAccess access = GIS_READONLY, bool shared = true);
    void Close();
    bool IsOpen() const { return m_geometry != nullptr; }

    // All polygons as one multipolygon, in the source's CRS.
    const OGRGeometry* GetGeometry() const { return m_geometry.get(); }
    // The source's CRS, or null when the file names none.
    const OGRSpatialReference* GetSpatialRef() const { return m_srs.get(); }

private:
    std::unique_ptr<OGRGeometry> m_geometry;
    std::unique_ptr<OGRSpatialReference> m_srs;
};

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom exclusive
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

class CRasterAOI {
public:
    // Neither object is owned; both must outlive this one.
    CRasterAOI(CRasterSource* raster, CAOISource* aoi);
    ~CRasterAOI();

    // Brings the AOI into the raster's pixel space (reprojecting it when both
    // name a CRS and they differ). True when it overlaps the raster.
    bool Initialize();
    // The AOI's bounding rectangle in pixels, clipped to the raster.
    PixelRect GetRect() const { return m_rect; }
    // 1 for the pixels of the window whose centres lie inside the AOI.
    bool GetMask(int xOffset, int yOffset, int width, int height, std::vector<std::uint8_t>& mask) const;

private:
    CRasterSource* m_raster;
    CAOISource* m_aoi;
    std::unique_ptr<OGRGeometry> m_pixelGeometry;
    PixelRect m_rect;
};

// A geometry in the raster's ground coordinates moved into its pixel space
// (x = column, y = row, corners at integers).
std::unique_ptr<OGRGeometry> GroundToPixelGeometry(const CRasterSource& raster, const OGRGeometry& ground);
// The pixel rectangle covering a pixel-space geometry, clipped to the raster.
PixelRect PixelBounds(const CRasterSource& raster, const OGRGeometry& pixelGeometry);
