#!/usr/bin/python3
"""scikit-learn peer of the BP network: MLPClassifier with one hidden layer of
the same size, SGD at the same learning rate, on the same training pixels
(pixel centres inside the training polygons, at most CAP per class, evenly
spread) standardised per band; predicts every pixel in chunks of a million
(all at once would need gigabytes of activations). Writes the labels (the
class field's values) as a GeoTIFF and "fit_seconds predict_seconds" to TIMES."""
import sys
import time

import numpy as np
from osgeo import gdal, ogr
from scene_io import read_pixels, write_labels
from sklearn.neural_network import MLPClassifier
from sklearn.preprocessing import StandardScaler


def training_pixels(ds, data, polygons, field, cap):
    mask = gdal.GetDriverByName("MEM").Create("", ds.RasterXSize, ds.RasterYSize, 1, gdal.GDT_Int32)
    mask.SetGeoTransform(ds.GetGeoTransform())
    mask.SetProjection(ds.GetProjection())
    source = ogr.Open(polygons)  # kept alive while its layer is used
    gdal.RasterizeLayer(mask, [1], source.GetLayer(0), options=[f"ATTRIBUTE={field}"])
    classes = mask.GetRasterBand(1).ReadAsArray().ravel()
    xs, ys = [], []
    for value in sorted(set(np.unique(classes)) - {0}):
        where = np.flatnonzero(classes == value)
        kept = min(len(where), cap)
        where = where[(np.arange(kept) * len(where)) // kept]
        xs.append(data[where])
        ys.append(np.full(kept, value))
    return np.concatenate(xs), np.concatenate(ys)


def main(scene, polygons, field, output, times, hidden, rate, cap):
    ds = gdal.Open(scene)
    data = read_pixels(ds)
    x, y = training_pixels(ds, data, polygons, field, cap)
    start = time.perf_counter()
    scaler = StandardScaler().fit(x)
    model = MLPClassifier(hidden_layer_sizes=(hidden,), activation="tanh", solver="sgd",
                          learning_rate_init=rate, random_state=0).fit(scaler.transform(x), y)
    fitted = time.perf_counter()
    labels = np.empty(len(data), np.uint8)
    chunk = 1 << 20
    for first in range(0, len(data), chunk):
        part = scaler.transform(data[first:first + chunk])
        labels[first:first + chunk] = model.predict(part)
    predicted = time.perf_counter()
    with open(times, "w") as f:
        f.write(f"{fitted - start:.3f} {predicted - fitted:.3f}\n")
    write_labels(ds, labels, output)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], int(sys.argv[6]), float(sys.argv[7]),
         int(sys.argv[8]))
