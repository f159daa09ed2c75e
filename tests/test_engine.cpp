// The raster engine on small rasters written here with GDAL.
#include "base/commonfun.h"
#include "engine/aiffile.h"
#include "engine/aoi.h"
#include "engine/drawshape.h"
#include "engine/rasteralgorithm.h"
#include "engine/rasterband.h"
#include "engine/rastersource.h"
#include "support/fixtures.h"
#include "support/references.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

using namespace tessera;

namespace {

// 6 x 5 pixels of 30 m in UTM zone 50N.
RasterSpec spec(int bands = 1, GDALDataType type = GDT_Byte) {
    return {6, 5, bands, type, {500000, 30, 0, 4000000, 0, -30}, 32650};
}
double standard(int b, int c, int r) {
    return b * 100 + r * 10 + c;
}

std::wstring writeRaster(const std::string& name, const RasterSpec& s, const PixelValue& value = standard) {
    return WPath(WriteRaster(ScratchDir() / name, s, value));
}

// Ray-casting point-in-polygon, the textbook way.
bool insidePolygon(const std::vector<CPoint2D>& ring, double x, double y) {
    bool inside = false;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
        if ((ring[i].y > y) != (ring[j].y > y) &&
            x < (ring[j].x - ring[i].x) * (y - ring[i].y) / (ring[j].y - ring[i].y) + ring[i].x)
            inside = !inside;
    return inside;
}

} // namespace

TEST(RasterSource, OpensGeoTiffAndImagineWithTheirGeometry) {
    CRasterSource tif; // GeoTIFF marks three Byte bands as RGB by itself: UInt16
    ASSERT_EQ(tif.Open(writeRaster("rgb.tif", spec(3, GDT_UInt16))), GIS_OK);
    EXPECT_EQ(std::tuple(tif.GetDataSourceType(), tif.GetWidth(), tif.GetHeight(), tif.GetBandCount(),
                         tif.GetRasterDataType(), tif.GetXResolution(), tif.GetYResolution()),
              std::tuple(1, 6, 5, 3, PDT_UInt16, 30.0, -30.0));
    EXPECT_EQ(tif.GetUnitName(false) + L" " + tif.GetUnitName(true), L"m metre");
    // Bands from 1; without colour interpretation red, green, blue are 3, 2, 1.
    EXPECT_EQ(std::tuple(tif.GetRasterBand(0), tif.GetRasterBand(4)), std::tuple(nullptr, nullptr));
    ASSERT_NE(tif.GetRasterBand(3), nullptr);
    EXPECT_EQ(std::tuple(tif.GetRasterBand(3)->GetBandNumber(), tif.GetRedBandNum(), tif.GetGreenBandNum(),
                         tif.GetBlueBandNum()),
              std::tuple(3, 3, 2, 1));
    // Integer image positions are pixel centres.
    const CPoint2D centre = tif.ImageToGround({0, 0}), far = tif.ImageToGround({5, 4});
    EXPECT_EQ(std::vector<double>({centre.x, centre.y, far.x, far.y}),
              std::vector<double>({500015.0, 3999985.0, 500000 + 5.5 * 30, 4000000 - 4.5 * 30}));
    const CPoint2D back = tif.GroundToImage(far);
    EXPECT_NEAR(back.x, 5.0, 1e-9);
    EXPECT_NEAR(back.y, 4.0, 1e-9);
    std::uint8_t byte = 0;
    ASSERT_TRUE(tif.GetRasterBand(2)->GetPixel(&byte, 4, 3, PDT_Byte));
    EXPECT_EQ(byte, 234);
    EXPECT_FALSE(tif.GetRasterBand(2)->GetPixel(&byte, 6, 0, PDT_Byte) ||
                 tif.GetRasterBand(2)->GetPixel(&byte, 0, -1, PDT_Byte));
    RasterSpec img = spec(4, GDT_UInt16);
    img.driver = "HFA";
    img.epsg = 4326;
    img.geo = {100, 0.5, 0, 30, 0, -0.25};
    CRasterSource erdas;
    ASSERT_EQ(
        erdas.Open(writeRaster("four.img", img,
                               [](int b, int c, int r) { return b == 4 ? 65535.0 : 1000.0 * b + c + r; })),
        GIS_OK);
    EXPECT_EQ(std::tuple(erdas.GetRasterDataType(), erdas.GetBandCount(), erdas.GetUnitName(false),
                         erdas.GetYResolution()),
              std::tuple(PDT_UInt16, 4, std::wstring(L"degree"), -0.25));
    // Conversion to the wanted type, saturating like GDAL.
    std::uint8_t saturated = 0;
    double wide = 0;
    ASSERT_TRUE(erdas.GetRasterBand(4)->GetPixel(&saturated, 1, 1, PDT_Byte));
    ASSERT_TRUE(erdas.GetRasterBand(2)->GetPixel(&wide, 5, 4, PDT_Float64));
    EXPECT_EQ(std::tuple(saturated, wide), std::tuple(255, 2009.0));
    // Colour interpretation, when set, decides the display bands.
    {
        Dataset ds(GDALDataset::Open(CommonFun::U2M(tif.GetPath()).c_str(), GDAL_OF_UPDATE));
        for (int b = 1; b <= 3; ++b)
            ds->GetRasterBand(b)->SetColorInterpretation(static_cast<GDALColorInterp>(GCI_RedBand + b - 1));
    }
    CRasterSource rgb;
    ASSERT_EQ(rgb.Open(tif.GetPath()), GIS_OK);
    EXPECT_EQ(std::tuple(rgb.GetRedBandNum(), rgb.GetBlueBandNum()), std::tuple(1, 3));
    RasterSpec single = spec(1, GDT_Float32);
    single.epsg = 0;
    CRasterSource flt;
    ASSERT_EQ(flt.Open(writeRaster("single.tif", single, [](int, int c, int r) { return c * 0.5 - r; })),
              GIS_OK);
    EXPECT_EQ(std::tuple(flt.GetRasterDataType(), flt.GetRedBandNum(), flt.GetGreenBandNum(),
                         flt.GetUnitName(false)),
              std::tuple(PDT_Float32, 1, 1, std::wstring(L"unknown")));
    // What is not a raster is refused.
    CRasterSource none;
    WriteBytes(ScratchDir() / "notes.tif", "not an image at all\n");
    for (const std::wstring& path :
         {std::wstring(), WPath(ScratchDir() / "missing.tif"), WPath(ScratchDir() / "notes.tif")})
        EXPECT_NE(none.Open(path), GIS_OK) << Narrow(path);
    EXPECT_EQ(std::tuple(none.IsOpen(), none.GetWidth(), none.GetRasterBand(1), none.GetRedBandNum()),
              std::tuple(false, 0, nullptr, 0));
}

TEST(RasterSource, BandRangeFromMetadataOrComputedExactlyAndFormatCodesFromPathsAndBack) {
    RasterSpec s = spec(1, GDT_Int16);
    s.width = 300;
    s.height = 200;
    const std::wstring path = writeRaster("range.tif", s, [](int, int c, int r) {
        return (c == 123 && r == 177) ? -31000.0 : (c * 7 + r) % 1000;
    });
    const auto range = [&] {
        CRasterSource raster;
        EXPECT_EQ(raster.Open(path), GIS_OK);
        return std::pair(raster.GetRasterBand(1)->GetMinimum(), raster.GetRasterBand(1)->GetMaximum());
    };
    EXPECT_EQ(range(), std::pair(-31000.0, 999.0)); // a single pixel: no sampling shortcut
    {
        Dataset ds(GDALDataset::Open(CommonFun::U2M(path).c_str(), GDAL_OF_UPDATE));
        ds->GetRasterBand(1)->SetMetadataItem("STATISTICS_MINIMUM", "1");
        ds->GetRasterBand(1)->SetMetadataItem("STATISTICS_MAXIMUM", "99.5");
    }
    EXPECT_EQ(range(), std::pair(1.0, 99.5));
    const std::pair<const wchar_t*, int> paths[] = {
        {L"/d/out.tif", 38}, {L"/d/OUT.TIF", 38}, {L"/d/out.tiff", 38}, {L"/d/out.img", 20},
        {L"/d/out.pix", 21}, {L"/d/out.xyz", 0},  {L"/d/out", 0},       {L"/d/run.tif/out", 0}};
    for (auto [path, code] : paths)
        EXPECT_EQ(CRasterSource::GetDataFormat(path), code) << Narrow(path);
    GDALAllRegister();
    for (int code : {RDF_GTiff, RDF_HFA, RDF_PCIDSK, RDF_ENVI, RDF_BMP, RDF_ERS, RDF_NITF, RDF_BT}) {
        const char* name = GdalDriverName(code);
        GDALDriver* driver = name ? GetGDALDriverManager()->GetDriverByName(name) : nullptr;
        ASSERT_NE(driver, nullptr) << code;
        EXPECT_TRUE(driver->GetMetadataItem(GDAL_DCAP_CREATE)) << name << " cannot create";
        // A path with the format's extension maps back to the same code.
        EXPECT_EQ(CRasterSource::GetDataFormat(std::wstring(L"x.") + CommonFun::M2U(FormatExtension(code))),
                  code);
    }
    EXPECT_EQ(GdalDriverName(0), nullptr);
}

TEST(ShapeStatistics, MatchANaiveReference) {
    RasterSpec s = spec(3, GDT_UInt16);
    s.width = 40;
    s.height = 30;
    s.geo = {1000, 2, 0, 5000, 0, -2};
    std::mt19937 rng(7);
    std::vector<double> noise(3 * 40 * 30);
    for (double& v : noise)
        v = rng() % 4000 + 60000; // large offset: precision must not suffer
    const PixelValue value = [&](int b, int c, int r) {
        return noise[((b - 1) * 30 + r) * 40 + c] - (b == 2 ? c * 13 : 0);
    };
    CRasterSource raster;
    ASSERT_EQ(raster.Open(writeRaster("stats.tif", s, value)), GIS_OK);
    const auto ground = [](double col, double row) { return CPoint2D{1000 + 2 * col, 5000 - 2 * row}; };

    const auto check = [&](const CDrawShape& shape, const std::vector<CPoint2D>& ring) {
        SCOPED_TRACE(shape.GetType() == DRAWSHAPE_RECTANGLE ? "rectangle" : "polygon");
        // Every pixel centre tested against the ring, the statistics from their definitions.
        std::vector<std::vector<double>> pixels;
        for (int r = 0; r < 30; ++r)
            for (int c = 0; c < 40; ++c)
                if (insidePolygon(ring, 1000 + (c + 0.5) * 2, 5000 - (r + 0.5) * 2))
                    pixels.push_back({value(1, c, r), value(2, c, r), value(3, c, r)});
        const NaiveStats want = NaiveStatistics(pixels, 3);
        ASSERT_GT(want.n, 0);
        std::int64_t n = 0;
        std::vector<double> mn(3), mx(3), mean(3), cov(9);
        ASSERT_TRUE(CRasterAlgorithm::ComputeStaticsFromDrawshape(&raster, &shape, n, mn.data(), mx.data(),
                                                                  mean.data(), cov.data(), nullptr));
        EXPECT_EQ(std::tuple(n, mn, mx), std::tuple(want.n, want.min, want.max));
        for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(mean[b], want.mean[b], 1e-9 * std::abs(want.mean[b]));
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(cov[i * 3 + j], want.cov[i * 3 + j], 1e-6 * (1 + std::abs(want.cov[i * 3 + j])));
                EXPECT_EQ(cov[i * 3 + j], cov[j * 3 + i]);
            }
    };
    // A rectangle given by two corners (in any order) and a concave polygon
    // whose edges cross pixel rows at odd angles. No pixel centre lies exactly
    // on an edge: how such ties go is the rasterizer's business, not the rule's.
    const CPoint2D a = ground(3.3, 4.1), b = ground(17.6, 21.2);
    check(CDrawShape(DRAWSHAPE_RECTANGLE, {b, a}), {{a.x, a.y}, {b.x, a.y}, {b.x, b.y}, {a.x, b.y}});
    const std::vector<CPoint2D> concave{ground(2.2, 2.3),   ground(37.3, 3.4), ground(20.3, 12.7),
                                        ground(36.4, 27.9), ground(3.6, 26.2), ground(11.2, 14.1)};
    check(CDrawShape(DRAWSHAPE_POLYGON, concave), concave);
    // A point takes the one pixel it falls in.
    std::int64_t n = 0;
    std::vector<double> mn(3), mx(3), mean(3), cov(9, 1.0);
    const CDrawShape point(DRAWSHAPE_POINT, {ground(7.9, 4.2)});
    ASSERT_TRUE(CRasterAlgorithm::ComputeStaticsFromDrawshape(&raster, &point, n, mn.data(), mx.data(),
                                                              mean.data(), cov.data()));
    EXPECT_EQ(std::tuple(n, mean[1], cov[4]), std::tuple(1, value(2, 7, 4), 0.0));
    // Outside the raster: nothing, and the arrays say so.
    const CDrawShape outside(DRAWSHAPE_RECTANGLE, {ground(50, 50), ground(60, 60)});
    EXPECT_FALSE(CRasterAlgorithm::ComputeStaticsFromDrawshape(&raster, &outside, n, mn.data(), mx.data(),
                                                               mean.data(), cov.data()));
    EXPECT_EQ(std::tuple(n, mean[0]), std::tuple(0, 0.0));
}

TEST(AreaOfInterest, ShapefileInAnotherCrsLandsOnTheRightPixels) {
    // Raster in web mercator, 100 m pixels; the AOI is a lon/lat polygon
    // whose corners were projected by the spherical mercator formula to the
    // pixel corners (10, 5) and (20, 15).
    RasterSpec s = {40, 30, 1, GDT_Byte, {1000000, 100, 0, 6000000, 0, -100}, 3857};
    CRasterSource raster;
    ASSERT_EQ(raster.Open(writeRaster("mercator.tif", s)), GIS_OK);
    constexpr double R = 6378137.0, pi = std::numbers::pi;
    const auto lon = [&](double c) { return (1000000 + c * 100) / R * 180 / pi; };
    const auto lat = [&](double r) {
        return (2 * std::atan(std::exp((6000000 - r * 100) / R)) - pi / 2) * 180 / pi;
    };
    const fs::path shp =
        WriteLayer(ScratchDir() / "aoi.shp", {}, {{RectangleWkt(lon(10), lat(5), lon(20), lat(15))}}, 4326);
    CAOISource aoi;
    ASSERT_EQ(aoi.Open(WPath(shp)), GIS_OK);
    CRasterAOI onRaster(&raster, &aoi);
    ASSERT_TRUE(onRaster.Initialize());
    const PixelRect rect = onRaster.GetRect();
    EXPECT_EQ(std::tuple(rect.left, rect.top, rect.right, rect.bottom), std::tuple(10, 5, 20, 15));
    std::vector<std::uint8_t> mask;
    ASSERT_TRUE(onRaster.GetMask(8, 3, 16, 14, mask));
    for (int r = 0; r < 14; ++r)
        for (int c = 0; c < 16; ++c) {
            const bool inside = c + 8 >= 10 && c + 8 < 20 && r + 3 >= 5 && r + 3 < 15;
            ASSERT_EQ(mask[r * 16 + c], inside ? 1 : 0) << "pixel " << c + 8 << "," << r + 3;
        }
    // The same polygon far away does not apply; a missing or non-polygon file does not open.
    s.geo = {-9000000, 100, 0, -2000000, 0, -100};
    CRasterSource other;
    ASSERT_EQ(other.Open(writeRaster("elsewhere.tif", s)), GIS_OK);
    CRasterAOI offRaster(&other, &aoi);
    EXPECT_FALSE(offRaster.Initialize());
    CAOISource missing;
    EXPECT_NE(missing.Open(WPath(ScratchDir() / "none.shp")), GIS_OK);
    EXPECT_NE(missing.Open(raster.GetPath()), GIS_OK);
}

TEST(AreaOfInterest, AifPolygonsInGroundCoordinates) {
    RasterSpec s = spec();
    s.width = 20;
    s.height = 10;
    CRasterSource raster;
    ASSERT_EQ(raster.Open(writeRaster("aif-target.tif", s)), GIS_OK);
    const auto ground = [](double col, double row) {
        return CPoint2D{500000 + 30 * col, 4000000 - 30 * row};
    };
    // A triangle without a CRS (taken as the raster's) and a square partly off the raster.
    AifContent content;
    content.polygons = {{ground(1, 1), ground(7.3, 1), ground(1, 7.3)},
                        {ground(16, 6), ground(24, 6), ground(24, 14), ground(16, 14)}};
    const std::wstring path = WPath(ScratchDir() / "two.aif");
    ASSERT_TRUE(WriteAifFile(path, content));
    CAOISource aoi;
    ASSERT_EQ(aoi.Open(path), GIS_OK);
    CRasterAOI onRaster(&raster, &aoi);
    ASSERT_TRUE(onRaster.Initialize());
    const PixelRect rect = onRaster.GetRect();
    EXPECT_EQ(std::tuple(rect.left, rect.top, rect.right, rect.bottom), std::tuple(1, 1, 20, 10)); // clipped
    std::vector<std::uint8_t> mask;
    ASSERT_TRUE(onRaster.GetMask(0, 0, 20, 10, mask));
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 20; ++c) {
            const double x = c + 0.5, y = r + 0.5;
            const bool triangle = x > 1 && y > 1 && x + y<8.3, square = x> 16 && y > 6;
            ASSERT_EQ(mask[r * 20 + c], (triangle || square) ? 1 : 0) << c << "," << r;
        }
    // A window away from both polygons is all 0; a corrupt file does not open.
    ASSERT_TRUE(onRaster.GetMask(9, 0, 5, 4, mask));
    EXPECT_TRUE(std::all_of(mask.begin(), mask.end(), [](std::uint8_t m) { return m == 0; }));
    WriteBytes(ScratchDir() / "bad.aif", "TESSERA-AIF 1\npolygon 2\n1 2\n");
    EXPECT_NE(aoi.Open(WPath(ScratchDir() / "bad.aif")), GIS_OK);
    EXPECT_FALSE(aoi.IsOpen());
}
