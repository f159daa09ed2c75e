#include "engine/rastersource.h"

#include "base/commonfun.h"
#include "engine/rasterband.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cwctype>
#include <mutex>

namespace {

// GDAL's block cache defaults to a share of the machine's memory, so a run's
// memory would grow with the image up to it. Blocks are read and written once
// each, so a small fixed cache costs no speed and keeps memory flat whatever
// the image size; GDAL_CACHEMAX, when the user sets it, still rules.
constexpr GIntBig kBlockCacheBytes = 16LL << 20;

void registerDrivers() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        if (!CPLGetConfigOption("GDAL_CACHEMAX", nullptr))
            GDALSetCacheMax64(kBlockCacheBytes);
    });
}

std::wstring lower(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return s;
}

} // namespace

CRasterSource::CRasterSource() {
    registerDrivers();
}

CRasterSource::~CRasterSource() {
    Close();
}

GISError CRasterSource::Open(const std::wstring& path, GISDataAccess access, bool) {
    Close();
    if (path.empty())
        return GIS_ERROR_ARGUMENT;
    const std::string narrow = CommonFun::U2M(path);
    const unsigned flags = GDAL_OF_RASTER | (access == GIS_UPDATE ? GDAL_OF_UPDATE : GDAL_OF_READONLY);
    CPLPushErrorHandler(CPLQuietErrorHandler); // failures are reported through the result
    auto* dataset = static_cast<GDALDataset*>(GDALOpenEx(narrow.c_str(), flags, nullptr, nullptr, nullptr));
    CPLPopErrorHandler();
    if (!dataset)
        return GIS_ERROR_OPEN;
    if (dataset->GetRasterCount() < 1 || dataset->GetRasterXSize() < 1 || dataset->GetRasterYSize() < 1) {
        GDALClose(dataset);
        return GIS_ERROR_NOT_RASTER;
    }
    m_dataset = dataset;
    m_path = path;
    if (m_dataset->GetGeoTransform(m_geoTransform.data()) != CE_None)
        m_geoTransform = {0, 1, 0, 0, 0, 1};
    if (!GDALInvGeoTransform(m_geoTransform.data(), m_inverse.data()))
        m_inverse = {0, 1, 0, 0, 0, 1};
    for (int b = 1; b <= m_dataset->GetRasterCount(); ++b)
        m_bands.push_back(std::make_unique<CRasterBand>(m_dataset->GetRasterBand(b), b));
    return GIS_OK;
}

void CRasterSource::Close() {
    m_bands.clear();
    if (m_dataset)
        GDALClose(m_dataset);
    m_dataset = nullptr;
    m_path.clear();
    m_geoTransform = m_inverse = {0, 1, 0, 0, 0, 1};
}

std::wstring CRasterSource::GetUnitName(bool full) const {
    const OGRSpatialReference* srs = m_dataset ? m_dataset->GetSpatialRef() : nullptr;
    if (!srs || srs->IsEmpty())
        return L"unknown";
    if (srs->IsGeographic())
        return L"degree";
    const char* name = nullptr;
    const double toMetre = srs->GetLinearUnits(&name);
    const std::string unit = name ? name : "";
    if (full)
        return CommonFun::M2U(unit.empty() ? "metre" : unit);
    if (toMetre == 1.0)
        return L"m";
    if (toMetre == 1000.0)
        return L"km";
    if (unit == "US survey foot")
        return L"ftUS";
    if (std::abs(toMetre - 0.3048) < 1e-12)
        return L"ft";
    return CommonFun::M2U(unit);
}

std::optional<double> CRasterSource::GetMetresPerUnit() const {
    const OGRSpatialReference* srs = m_dataset ? m_dataset->GetSpatialRef() : nullptr;
    if (!srs || srs->IsEmpty() || !srs->IsProjected())
        return std::nullopt;
    return srs->GetLinearUnits();
}

int CRasterSource::GetWidth() const {
    return m_dataset ? m_dataset->GetRasterXSize() : 0;
}
int CRasterSource::GetHeight() const {
    return m_dataset ? m_dataset->GetRasterYSize() : 0;
}
int CRasterSource::GetBandCount() const {
    return m_dataset ? m_dataset->GetRasterCount() : 0;
}

PixelDataType CRasterSource::GetRasterDataType() const {
    return m_bands.empty() ? PDT_Unknown : m_bands.front()->GetDataType();
}

double CRasterSource::GetXResolution() const {
    return m_geoTransform[1];
}
double CRasterSource::GetYResolution() const {
    return m_geoTransform[5];
}

std::string CRasterSource::GetProjectionWkt() const {
    const char* wkt = m_dataset ? m_dataset->GetProjectionRef() : nullptr;
    return wkt ? wkt : "";
}

CRasterBand* CRasterSource::GetRasterBand(int number) {
    if (number < 1 || number > static_cast<int>(m_bands.size()))
        return nullptr;
    return m_bands[number - 1].get();
}

int CRasterSource::displayBand(int interpretation, int fallbackForThreeOrMore) const {
    if (!m_dataset)
        return 0;
    for (int b = 1; b <= GetBandCount(); ++b)
        if (m_dataset->GetRasterBand(b)->GetColorInterpretation() == interpretation)
            return b;
    return GetBandCount() >= 3 ? fallbackForThreeOrMore : 1;
}

int CRasterSource::GetRedBandNum() const {
    return displayBand(GCI_RedBand, 3);
}
int CRasterSource::GetGreenBandNum() const {
    return displayBand(GCI_GreenBand, 2);
}
int CRasterSource::GetBlueBandNum() const {
    return displayBand(GCI_BlueBand, 1);
}

CPoint2D CRasterSource::ImageToGround(const CPoint2D& pixel) const {
    const double px = pixel.x + 0.5, py = pixel.y + 0.5;
    const auto& g = m_geoTransform;
    return {g[0] + px * g[1] + py * g[2], g[3] + px * g[4] + py * g[5]};
}

CPoint2D CRasterSource::GroundToImage(const CPoint2D& ground) const {
    const auto& v = m_inverse;
    return {v[0] + ground.x * v[1] + ground.y * v[2] - 0.5, v[3] + ground.x * v[4] + ground.y * v[5] - 0.5};
}

RasterDataFormat CRasterSource::GetDataFormat(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"/\\");
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return RDF_Unknown;
    const std::wstring ext = lower(path.substr(dot + 1));
    if (ext == L"tif" || ext == L"tiff")
        return RDF_GTiff;
    if (ext == L"img")
        return RDF_HFA;
    if (ext == L"pix")
        return RDF_PCIDSK;
    if (ext == L"dat")
        return RDF_ENVI;
    if (ext == L"bmp")
        return RDF_BMP;
    if (ext == L"ers")
        return RDF_ERS;
    if (ext == L"ntf")
        return RDF_NITF;
    if (ext == L"bt")
        return RDF_BT;
    return RDF_Unknown;
}
