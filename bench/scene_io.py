"""Reading a scene as pixel rows and writing class labels beside it, shared
by the Python peers of the benchmark."""
import numpy as np
from osgeo import gdal


def read_pixels(ds):
    """Every pixel of the dataset as a row of float32 band values."""
    return np.stack([ds.GetRasterBand(b + 1).ReadAsArray().astype(np.float32).ravel()
                     for b in range(ds.RasterCount)], axis=1)


def write_labels(ds, labels, output):
    """The labels (one per pixel, raster order) as a tiled, compressed Byte GeoTIFF on ds's grid."""
    out = gdal.GetDriverByName("GTiff").Create(output, ds.RasterXSize, ds.RasterYSize, 1, gdal.GDT_Byte,
                                               ["TILED=YES", "COMPRESS=DEFLATE"])
    out.SetGeoTransform(ds.GetGeoTransform())
    out.SetProjection(ds.GetProjection())
    out.GetRasterBand(1).WriteArray(labels.reshape(ds.RasterYSize, ds.RasterXSize))
    out.FlushCache()
