#pragma once
// Codes the raster engine passes to and from its callers.

using GISError = int;
constexpr GISError GIS_OK = 0;
constexpr GISError GIS_ERROR_OPEN = 1;        // the path cannot be opened
constexpr GISError GIS_ERROR_NOT_RASTER = 2;  // it opens, but holds no raster band
constexpr GISError GIS_ERROR_ARGUMENT = 3;    // a bad argument (empty path, null object)
constexpr GISError GIS_ERROR_NOT_POLYGON = 4; // an area of interest without any polygon

enum GISDataAccess { GIS_READONLY = 0, GIS_UPDATE = 1 };

// Pixel types, numbered as GDAL numbers its data types.
enum PixelDataType {
    PDT_Unknown = 0,
    PDT_Byte = 1,
    PDT_UInt16 = 2,
    PDT_Int16 = 3,
    PDT_UInt32 = 4,
    PDT_Int32 = 5,
    PDT_Float32 = 6,
    PDT_Float64 = 7,
};

// Output raster formats; a code names the GDAL driver that writes it.
enum RasterDataFormat {
    RDF_Unknown = 0,
    RDF_HFA = 20,    // ERDAS IMAGINE .img
    RDF_PCIDSK = 21, // .pix
    RDF_ENVI = 22,   // .dat with its .hdr
    RDF_BMP = 23,    // .bmp
    RDF_ERS = 24,    // ER Mapper .ers
    RDF_NITF = 25,   // .ntf
    RDF_BT = 26,     // Binary Terrain .bt
    RDF_GTiff = 38,  // GeoTIFF .tif/.tiff
};

// The GDAL driver name of a format code; null for RDF_Unknown and unknown codes.
const char* GdalDriverName(int format);
// The usual file extension (without its dot) of a format code, or null.
const char* FormatExtension(int format);
// Size in bytes of one pixel of the type; 0 for PDT_Unknown.
int PixelTypeSize(PixelDataType type);
