#pragma once
// A data source the host shows in a layer. Only rasters are data sources of
// interest to the windows; CRasterSource derives from this.

#include <string>

enum GISDataSourceType {
    GIS_DATASOURCE_UNKNOWN = 0,
    GIS_DATASOURCE_RASTER = 1,
    GIS_DATASOURCE_VECTOR = 2,
};

class CGISDataSource {
public:
    virtual ~CGISDataSource() = default;
    virtual GISDataSourceType GetDataSourceType() const = 0;
    // Name of the ground unit of the source's spatial reference ("metre",
    // "degree"...). The flag asks for the plural form where there is one.
    virtual std::wstring GetUnitName(bool plural) const = 0;
};
