#!/usr/bin/python3
"""Share (%) of pixels with the same label in two classified images."""
import sys

import numpy as np
from osgeo import gdal


def labels(path):
    ds = gdal.Open(path)  # kept alive while its band is read
    return ds.GetRasterBand(1).ReadAsArray()


a, b = labels(sys.argv[1]), labels(sys.argv[2])
print(f"{100.0 * np.count_nonzero(a == b) / a.size:.4f}")
