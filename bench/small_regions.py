#!/usr/bin/python3
"""Regions of a class image under a size: prints how many there are and how
many of them touch a region of another class. Regions are 4-connected, or
8-connected with --eight; class 0 forms none.
Usage: small_regions.py CLASSES.tif THRESHOLD [--eight]"""
import sys

import numpy as np
from osgeo import gdal
from scipy import ndimage


def main(path, threshold, eight):
    ds = gdal.Open(path)
    classes = ds.GetRasterBand(1).ReadAsArray().astype(np.int32)
    h, w = classes.shape
    structure = np.ones((3, 3), bool) if eight else ndimage.generate_binary_structure(2, 1)
    # Pixels with a neighbour of another class that is not 0.
    padded = np.pad(classes, 1)
    borders = np.zeros(classes.shape, bool)
    for dy, dx in zip(*np.nonzero(structure)):
        if dy == 1 and dx == 1:
            continue
        other = padded[dy:dy + h, dx:dx + w]
        borders |= (other != 0) & (other != classes)
    small = touching = 0
    for value in np.unique(classes):
        if value == 0:
            continue
        labels, _ = ndimage.label(classes == value, structure)
        sizes = np.bincount(labels.ravel())
        touches = np.bincount(labels.ravel(), weights=borders.ravel(), minlength=len(sizes)) > 0
        tiny = sizes < threshold
        tiny[0] = False
        small += int(tiny.sum())
        touching += int((tiny & touches).sum())
    print(small, touching)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), "--eight" in sys.argv[3:])
