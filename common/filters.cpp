#include "common/filters.h"

namespace Filters {

// The first entry's list writes "*.xbl" while the BLX entry writes "*.xlb";
// both are kept as users have always seen them.
const wchar_t* const RasterInput =
    L"All Support Files "
    L"(*.*)|*.asc;*.gen;*.thf;*.adf;*.xyz;*.blx;*.xbl;*.bmp;*.bt;*.h5;*.dt0;*.dt1;*.dt2;*.hdr;"
    L"*.n1;*.ecw;*.jp2;*.j2k;*.ers;*.vrt;*.hdf;*.img;*.jpg;*.mem;*.ntf;*.png;*.dat;*.ppm;*.pgm;*.pix;*.rsw;*."
    L"mtw;"
    L"*.tif;*.tiff;*.dem;*.catd;*.ddf;*.wcs;*.wms;*.xpm|Arc/Info ASCII Grid (*.asc) |*.asc|ADRG (*.gen, "
    L"*.thf) "
    L"|*.gen;*.thf|AIG (*.adf)|*.adf|ASCII Gridded XYZ (*.xyz)|*.xyz|BLX (*.blx, *.xlb)|*.blx;*.xlb|BMP "
    L"(*.bmp)|*.bmp|Binary Terrain Format (*.bt)|*.bt|COSMO-SkyMed(CSKS*.h5)|*.h5|DTED (*.dt0, *.dt1, "
    L"*.dt2)|*.dt0;*.dt1;*.dt2|ESRI .hdr Labelled (*.hdr)|*.hdr|ENVI (*.hdr)|*.hdr|Envisat Image Product "
    L"(*.n1)|*.n1|ERDAS Compressed Wavelets (*.ecw)|*.ecw|ERDAS JPEG2000 (*.jp2, *.j2k)|*.jp2;*.j2k|ER "
    L"Mapper "
    L"(*.ers)|*.ers|GDAL Virtual (*.vrt)|*.vrt|HDF (*.hdf)|*.hdf|IMAGINE Image (*.img)|*.img|JPEG "
    L"(*.jpg)|*.jpg|Japanese DEM (*.mem)|*.mem|National Imagery Transmission Format (*.ntf)|*.ntf|PCIDSK "
    L"(*.pix)|*.pix|PNG (*.png)|*.png|DAT (*.dat)|*.dat|Netpbm (*.ppm, *.pgm)|*.ppm;*.pgm|Raster Matrix "
    L"Format (*.rsw, *.mtw)|*.rsw;*.mtw|TIFF Files (*.tif, *.tiff)|*.tif;*.tiff|USGS ASCII DEM / CDED "
    L"(*.dem)|*.dem|USGS SDTS DEM (*.CATD, *.DDF)|*.catd;*.ddf|Vexcel MFF (*.hdr)|*.hdr|Web Coverage Service "
    L"(*.wcs)|*.wcs|Web Mapping Service (*.wms)|*.wms|X11 Pixmap (*.xpm)|*.xpm|所有文件 (*.*)|*.*||";

const wchar_t* const RasterOutput =
    L"TIFF Files (*.tif, *.tiff)|*.tif;*.tiff|GeoTiff (*.tif)|*.tif|IMAGINE Image "
    L"(*.img)|*.img|PCI (*.pix)|*.pix|所有文件 (*.*)|*.*||";

const wchar_t* const AreaOfInterest =
    L"Area of Interest Files (*.aif)|*.aif|Shape Files (*.shp)|*.shp|所有文件 (*.*)|*.*||";

const wchar_t* const SampleSave = L"CIF File(*.cif)|*.cif|所有文件 (*.*)|*.*||";
const wchar_t* const SampleOpen = L"(*.cif)|*.cif| 所有文件 (*.*)|*.*||";
const wchar_t* const SampleChoice = L"CIF(*.cif)|*.cif|所有文件 (*.*)|*.*||";
const wchar_t* const Report = L"(*.txt)|*.txt|所有文件 (*.*)|*.*||";
const wchar_t* const ShapeOutput = L"Shape Files (*.shp)|*.shp|所有文件 (*.*)|*.*||";

} // namespace Filters
