#!/usr/bin/python3
"""The SVM's training pixels for libsvm's own svm-train: the pixel centres
inside the training polygons, at most CAP per class (as the other peers take
them), standardised per band as tessera's SVM does by default, written in
libsvm's text format ("label index:value ...") to OUTPUT."""
import sys

from osgeo import gdal
from scene_io import read_pixels
from sklearn_mlp import training_pixels


def main(scene, polygons, field, cap, output):
    ds = gdal.Open(scene)
    x, y = training_pixels(ds, read_pixels(ds), polygons, field, cap)
    x = (x - x.mean(axis=0)) / x.std(axis=0)
    with open(output, "w") as f:
        for label, row in zip(y, x):
            f.write(f"{label} " + " ".join(f"{b + 1}:{v:.6g}" for b, v in enumerate(row)) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5])
