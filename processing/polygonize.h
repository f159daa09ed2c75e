#pragma once
// Vectorization of a classified image: the chosen classes become polygons
// (one per connected region of a class) in a vector file, with the class
// number and the class name from the image's class list as attributes and the
// image's coordinate system. The polygons are traced by GDAL's polygonizer
// over the class band, with the unchosen classes masked out. The file is
// written under a temporary name beside the target and moved into place at
// the end (every side file of a shapefile with it), so a failed or cancelled
// run leaves nothing behind.

#include "processing/basealgorithm.h"

#include <map>
#include <string>

class CBaseProgress;

class CRasterPolygonizeParam : public AlgorithmParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<CRasterPolygonizeParam>(*this);
    }

    // The input classified image is m_inputPath, the output vector file
    // m_outputPath and the host m_host, all in the base record.

    // True when only part of the image's classes is chosen. Informative: the
    // class map alone decides what is vectorized.
    bool m_partialClasses = false;
    // 1: write an ESRI Shapefile (the extension must be "shp" in any case). 0 (and any
    // other value): the format is the OGR driver that claims the output's
    // extension (case-insensitive), which for "shp" is again the shapefile.
    int m_shapeFile = 0;
    // The classes to vectorize: class name to class number (pixel value).
    std::map<std::wstring, int> m_classMap;
    // Region connectivity: 0 or 4 traces 4-connected regions (pixels that
    // share an edge), 8 also joins pixels that touch at a corner.
    int m_connectivity = 0;
};

// The shape-file flag for an output path: 1 when its extension is exactly
// "shp" (case-sensitive), otherwise the record's default (0).
int ShapeFileFlagForPath(const std::wstring& outputPath);

// Attribute fields of the polygons (names fit a shapefile's 10 characters).
inline constexpr const char* kPolygonClassField = "class_id";
inline constexpr const char* kPolygonNameField = "class_name";

class CRasterPolygonize : public CBaseAlgorithm {
public:
    // Copies the record (a CRasterPolygonizeParam; any other record keeps the
    // defaults and takes the base fields) and attaches the progress object,
    // which may be null.
    CRasterPolygonize(const AlgorithmParam* param, CBaseProgress* progress);

    // Checks before anything is written: the input opens, has one band of
    // whole-number classes, its class list (tessera::ReadRasterClassList)
    // names every chosen class,
    // at least one class is chosen, the connectivity is 0, 4 or 8, and the
    // output's format is known and can create files.
    bool Preproccess() override;
    bool Process() override;

    const CRasterPolygonizeParam& Param() const {
        return static_cast<const CRasterPolygonizeParam&>(*m_param);
    }
    // Polygons written by the last successful run.
    long long PolygonCount() const { return m_polygonCount; }

private:
    std::string m_driverName;                 // OGR driver of the output
    std::map<int, std::wstring> m_classNames; // chosen class number -> its name
    long long m_polygonCount = 0;
};
