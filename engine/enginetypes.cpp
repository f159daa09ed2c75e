#include "engine/enginetypes.h"

const char* GdalDriverName(int format) {
    switch (format) {
    case RDF_GTiff:
        return "GTiff";
    case RDF_HFA:
        return "HFA";
    case RDF_PCIDSK:
        return "PCIDSK";
    case RDF_ENVI:
        return "ENVI";
    case RDF_BMP:
        return "BMP";
    case RDF_ERS:
        return "ERS";
    case RDF_NITF:
        return "NITF";
    case RDF_BT:
        return "BT";
    default:
        return nullptr;
    }
}

const char* FormatExtension(int format) {
    switch (format) {
    case RDF_GTiff:
        return "tif";
    case RDF_HFA:
        return "img";
    case RDF_PCIDSK:
        return "pix";
    case RDF_ENVI:
        return "dat";
    case RDF_BMP:
        return "bmp";
    case RDF_ERS:
        return "ers";
    case RDF_NITF:
        return "ntf";
    case RDF_BT:
        return "bt";
    default:
        return nullptr;
    }
}

int PixelTypeSize(PixelDataType type) {
    switch (type) {
    case PDT_Byte:
        return 1;
    case PDT_UInt16:
    case PDT_Int16:
        return 2;
    case PDT_UInt32:
    case PDT_Int32:
    case PDT_Float32:
        return 4;
    case PDT_Float64:
        return 8;
    default:
        return 0;
    }
}
