#!/usr/bin/python3
"""Agreement of a classified raster with the ground truth.

Clusters carry arbitrary numbers, so clusters are matched one-to-one to truth
classes to maximise the pixels that agree (Hungarian algorithm on the confusion
matrix); the agreement is the share of all truth pixels whose matched cluster is
their class. Usage: agreement.py TRUTH.tif CLASSIFIED.tif  ->  prints a percentage.
"""
import sys

import numpy as np
from osgeo import gdal

try:
    from scipy.optimize import linear_sum_assignment
except ImportError:  # without SciPy: the exact matching below, for up to 16 truth classes
    linear_sum_assignment = None


def best_matching(matrix):
    """Pixels that agree under the best one-to-one matching of the rows (truth
    classes) to the columns (clusters): dynamic programming over the subsets
    of rows already matched, one column after another."""
    rows = matrix.shape[0]
    if rows > 16:
        raise SystemExit("agreement.py: more than 16 truth classes need SciPy")
    best = np.full(1 << rows, -1, dtype=np.int64)
    best[0] = 0
    for column in matrix.T:
        nxt = best.copy()  # the column matched to no class
        for used in np.nonzero(best >= 0)[0]:
            for r in range(rows):
                if not used & (1 << r):
                    nxt[used | (1 << r)] = max(nxt[used | (1 << r)], best[used] + column[r])
        best = nxt
    return int(best.max())


def main(truth_path, classified_path):
    truth_ds = gdal.Open(truth_path)
    class_ds = gdal.Open(classified_path)
    band_t = truth_ds.GetRasterBand(1)
    band_c = class_ds.GetRasterBand(1)
    width, height = truth_ds.RasterXSize, truth_ds.RasterYSize
    confusion = np.zeros((256, 65536), dtype=np.int64)
    step = max(1, 4_000_000 // width)
    for y in range(0, height, step):
        rows = min(step, height - y)
        t = band_t.ReadAsArray(0, y, width, rows).astype(np.int64).ravel()
        c = band_c.ReadAsArray(0, y, width, rows).astype(np.int64).ravel()
        np.add.at(confusion, (t, c), 1)
    used_t = np.nonzero(confusion.sum(axis=1))[0]
    used_c = np.nonzero(confusion.sum(axis=0))[0]
    matrix = confusion[np.ix_(used_t, used_c)]
    if linear_sum_assignment is not None:
        rows, cols = linear_sum_assignment(-matrix)
        agree = matrix[rows, cols].sum()
    else:
        agree = best_matching(matrix)
    print(f"{100.0 * agree / matrix.sum():.2f}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
