#!/usr/bin/python3
"""scikit-learn peer of the random forest: RandomForestClassifier with the same
number of trees on the same training pixels as the BP network's peer (pixel
centres inside the training polygons, at most CAP per class, evenly spread),
all cores; predicts every pixel in chunks of a million. Writes the labels as a
GeoTIFF and "fit_seconds predict_seconds" to TIMES."""
import sys
import time

import numpy as np
from osgeo import gdal
from scene_io import read_pixels, write_labels
from sklearn.ensemble import RandomForestClassifier
from sklearn_mlp import training_pixels


def main(scene, polygons, field, output, times, trees, cap):
    ds = gdal.Open(scene)
    data = read_pixels(ds)
    x, y = training_pixels(ds, data, polygons, field, cap)
    start = time.perf_counter()
    model = RandomForestClassifier(n_estimators=trees, n_jobs=-1, random_state=0).fit(x, y)
    fitted = time.perf_counter()
    labels = np.empty(len(data), np.uint8)
    chunk = 1 << 20
    for first in range(0, len(data), chunk):
        labels[first:first + chunk] = model.predict(data[first:first + chunk])
    predicted = time.perf_counter()
    with open(times, "w") as f:
        f.write(f"{fitted - start:.3f} {predicted - fitted:.3f}\n")
    write_labels(ds, labels, output)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], int(sys.argv[6]), int(sys.argv[7]))
