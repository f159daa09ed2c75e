#!/usr/bin/python3
"""scikit-learn peer: KMeans(k, n_init=1, max_iter=N) fit + predict over every
pixel of the scene, reading included; writes the labels as a GeoTIFF."""
import sys

import numpy as np
from osgeo import gdal
from scene_io import read_pixels, write_labels
from sklearn.cluster import KMeans


def main(scene, output, classes, iterations):
    ds = gdal.Open(scene)
    data = read_pixels(ds)
    model = KMeans(n_clusters=classes, n_init=1, max_iter=iterations, random_state=0)
    labels = model.fit(data).predict(data).astype(np.uint8) + 1
    write_labels(ds, labels, output)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
