#include "engine/aoi.h"

#include "base/commonfun.h"
#include "engine/aiffile.h"
#include "engine/pixelmask.h"
#include "engine/rastersource.h"

#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <cwctype>

using namespace tessera;

namespace {

// Ground to pixel space through the raster's inverse geotransform.
class InverseGeoTransform final : public OGRCoordinateTransformation {
public:
    explicit InverseGeoTransform(const std::array<double, 6>& geoTransform) {
        if (!GDALInvGeoTransform(const_cast<double*>(geoTransform.data()), m_inverse))
            std::copy_n(std::array<double, 6>{0, 1, 0, 0, 0, 1}.data(), 6, m_inverse);
    }
    OGRSpatialReference* GetSourceCS() override { return nullptr; }
    OGRSpatialReference* GetTargetCS() override { return nullptr; }
    int Transform(int count, double* x, double* y, double*, double*, int* success) override {
        for (int i = 0; i < count; ++i) {
            const double gx = x[i], gy = y[i];
            x[i] = m_inverse[0] + gx * m_inverse[1] + gy * m_inverse[2];
            y[i] = m_inverse[3] + gx * m_inverse[4] + gy * m_inverse[5];
            if (success)
                success[i] = TRUE;
        }
        return TRUE;
    }
    OGRCoordinateTransformation* Clone() const override { return new InverseGeoTransform(*this); }
    OGRCoordinateTransformation* GetInverse() const override { return nullptr; }

private:
    double m_inverse[6];
};

bool isAifPath(const std::wstring& path) {
    const std::wstring ext = CommonFun::GetExtensionName(path);
    return ext.size() == 3 && std::towlower(static_cast<wint_t>(ext[0])) == L'a' &&
           std::towlower(static_cast<wint_t>(ext[1])) == L'i' &&
           std::towlower(static_cast<wint_t>(ext[2])) == L'f';
}

// Adds the polygons of a geometry (polygon, multipolygon, curve polygon,
// collection) to a multipolygon.
void collectPolygons(const OGRGeometry* geometry, OGRMultiPolygon& out) {
    if (!geometry || geometry->IsEmpty())
        return;
    const OGRwkbGeometryType type = wkbFlatten(geometry->getGeometryType());
    if (type == wkbPolygon) {
        out.addGeometry(geometry);
    } else if (type == wkbCurvePolygon) {
        std::unique_ptr<OGRGeometry> linear(geometry->getLinearGeometry());
        collectPolygons(linear.get(), out);
    } else if (OGR_GT_IsSubClassOf(type, wkbGeometryCollection)) {
        for (const OGRGeometry* part : *geometry->toGeometryCollection())
            collectPolygons(part, out);
    }
}

} // namespace

CAOISource::CAOISource() = default;
CAOISource::~CAOISource() = default;

GISError CAOISource::Open(const std::wstring& path, GISDataAccess, bool) {
    Close();
    if (path.empty())
        return GIS_ERROR_ARGUMENT;
    auto polygons = std::make_unique<OGRMultiPolygon>();
    std::unique_ptr<OGRSpatialReference> srs;

    if (isAifPath(path)) {
        AifContent content;
        if (!ReadAifFile(path, content))
            return GIS_ERROR_OPEN;
        for (const auto& ring : content.polygons) {
            OGRLinearRing linear;
            for (const CPoint2D& p : ring)
                linear.addPoint(p.x, p.y);
            linear.closeRings();
            OGRPolygon polygon;
            polygon.addRing(&linear);
            polygons->addGeometry(&polygon);
        }
        if (!content.crs.empty()) {
            // Only the two forms the reader accepts, each through its own
            // importer: nothing here opens a file or a URL.
            srs = std::make_unique<OGRSpatialReference>();
            int code = 0;
            const AifCrsForm form = ClassifyAifCrs(content.crs, &code);
            CPLPushErrorHandler(CPLQuietErrorHandler);
            const OGRErr imported = form == AifCrsForm::Epsg  ? srs->importFromEPSG(code)
                                    : form == AifCrsForm::Wkt ? srs->importFromWkt(content.crs.c_str())
                                                              : OGRERR_UNSUPPORTED_SRS;
            CPLPopErrorHandler();
            if (imported != OGRERR_NONE)
                return GIS_ERROR_OPEN;
        }
    } else {
        GDALAllRegister();
        CPLPushErrorHandler(CPLQuietErrorHandler);
        GDALDatasetUniquePtr source(
            GDALDataset::Open(CommonFun::U2M(path).c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
        CPLPopErrorHandler();
        if (!source)
            return GIS_ERROR_OPEN;
        for (OGRLayer* layer : source->GetLayers()) {
            const size_t before = polygons->getNumGeometries();
            for (const auto& feature : *layer)
                collectPolygons(feature->GetGeometryRef(), *polygons);
            if (!srs && static_cast<size_t>(polygons->getNumGeometries()) > before && layer->GetSpatialRef())
                srs.reset(layer->GetSpatialRef()->Clone());
        }
    }
    if (polygons->IsEmpty())
        return GIS_ERROR_NOT_POLYGON;
    if (srs)
        srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    m_geometry = std::move(polygons);
    m_srs = std::move(srs);
    return GIS_OK;
}

void CAOISource::Close() {
    m_geometry.reset();
    m_srs.reset();
}

std::unique_ptr<OGRGeometry> GroundToPixelGeometry(const CRasterSource& raster, const OGRGeometry& ground) {
    std::unique_ptr<OGRGeometry> pixel(ground.clone());
    InverseGeoTransform toPixel(raster.GetGeoTransform());
    if (pixel->transform(&toPixel) != OGRERR_NONE)
        return nullptr;
    return pixel;
}

PixelRect PixelBounds(const CRasterSource& raster, const OGRGeometry& pixelGeometry) {
    // Only pixels whose centres (at half-integers) lie inside count, so the
    // rectangle runs from the first centre at or after the minimum to the last
    // at or before the maximum; reprojection noise of a hair does not add a
    // column.
    OGREnvelope e;
    pixelGeometry.getEnvelope(&e);
    const auto clampTo = [](double v, int high) {
        return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(high)));
    };
    PixelRect r;
    r.left = clampTo(std::ceil(e.MinX - 0.5), raster.GetWidth());
    r.top = clampTo(std::ceil(e.MinY - 0.5), raster.GetHeight());
    r.right = clampTo(std::floor(e.MaxX - 0.5) + 1, raster.GetWidth());
    r.bottom = clampTo(std::floor(e.MaxY - 0.5) + 1, raster.GetHeight());
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

CRasterAOI::CRasterAOI(CRasterSource* raster, CAOISource* aoi) : m_raster(raster), m_aoi(aoi) {}

CRasterAOI::~CRasterAOI() = default;

bool CRasterAOI::Initialize() {
    m_pixelGeometry.reset();
    m_rect = {};
    if (!m_raster || !m_raster->IsOpen() || !m_aoi || !m_aoi->GetGeometry())
        return false;
    std::unique_ptr<OGRGeometry> ground(m_aoi->GetGeometry()->clone());

    // Reproject into the raster's CRS when both are known and differ.
    const OGRSpatialReference* aoiSrs = m_aoi->GetSpatialRef();
    const std::string rasterWkt = m_raster->GetProjectionWkt();
    if (aoiSrs && !rasterWkt.empty()) {
        OGRSpatialReference rasterSrs;
        if (rasterSrs.importFromWkt(rasterWkt.c_str()) == OGRERR_NONE) {
            rasterSrs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
            if (!aoiSrs->IsSame(&rasterSrs)) {
                std::unique_ptr<OGRCoordinateTransformation> transform(
                    OGRCreateCoordinateTransformation(aoiSrs, &rasterSrs));
                if (!transform || ground->transform(transform.get()) != OGRERR_NONE)
                    return false;
            }
        }
    }
    m_pixelGeometry = GroundToPixelGeometry(*m_raster, *ground);
    if (!m_pixelGeometry)
        return false;
    m_rect = PixelBounds(*m_raster, *m_pixelGeometry);
    return m_rect.Width() > 0 && m_rect.Height() > 0;
}

bool CRasterAOI::GetMask(int xOffset, int yOffset, int width, int height,
                         std::vector<std::uint8_t>& mask) const {
    if (!m_pixelGeometry) {
        mask.assign(static_cast<size_t>(std::max(0, width)) * static_cast<size_t>(std::max(0, height)), 0);
        return false;
    }
    return RasterizePixelMask(*m_pixelGeometry, xOffset, yOffset, width, height, mask);
}
