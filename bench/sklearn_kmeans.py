#!/usr/bin/python3
"""scikit-learn peer: KMeans(k, n_init=1, max_iter=N) fit + predict over every
pixel of the scene, reading included; writes the labels as a GeoTIFF."""
import sys

import numpy as np
from osgeo import gdal
from sklearn.cluster import KMeans


def main(scene, output, classes, iterations):
    ds = gdal.Open(scene)
    data = np.stack([ds.GetRasterBand(b + 1).ReadAsArray().astype(np.float32).ravel()
                     for b in range(ds.RasterCount)], axis=1)
    model = KMeans(n_clusters=classes, n_init=1, max_iter=iterations, random_state=0)
    labels = model.fit(data).predict(data).astype(np.uint8) + 1
    out = gdal.GetDriverByName("GTiff").Create(output, ds.RasterXSize, ds.RasterYSize, 1, gdal.GDT_Byte,
                                               ["TILED=YES", "COMPRESS=DEFLATE"])
    out.SetGeoTransform(ds.GetGeoTransform())
    out.SetProjection(ds.GetProjection())
    out.GetRasterBand(1).WriteArray(labels.reshape(ds.RasterYSize, ds.RasterXSize))
    out = None


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
