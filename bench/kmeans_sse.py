#!/usr/bin/python3
"""Within-cluster sum of squares of a class image against scikit-learn's
KMeans(k, n_init=10) on the same pixels: prints "ours sklearn ratio".
Both sums are taken around the means of the pixels each labelling groups."""
import sys

import numpy as np
from osgeo import gdal
from scene_io import read_pixels
from sklearn.cluster import KMeans


def grouped_sse(data, labels):
    total = 0.0
    for value in np.unique(labels):
        group = data[labels == value]
        total += float(((group - group.mean(axis=0)) ** 2).sum())
    return total


def main(scene, classified, classes):
    data = read_pixels(gdal.Open(scene)).astype(np.float64)
    labels = gdal.Open(classified)  # kept open while its band is read
    ours = grouped_sse(data, labels.GetRasterBand(1).ReadAsArray().ravel())
    model = KMeans(n_clusters=classes, n_init=10, random_state=0).fit(data)
    theirs = grouped_sse(data, model.labels_)
    print(f"{ours:.6g} {theirs:.6g} {ours / theirs:.4f}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
