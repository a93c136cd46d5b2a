#!/usr/bin/python3
"""Writes the bundled survey's elevation model at full resolution as points
for bench_tin --dem: every grid cell of the DEM that tools/make_sample.py
thins, projected the same way (UTM zone 16N metres), as x y z doubles.

    /usr/bin/python3 tools/dem_points.py OUT.bin
"""
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_sample import DEM, utm16  # noqa: E402


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: dem_points.py OUT.bin")
    dem = np.load(DEM)
    z = dem["elevation"].astype(float)
    rows, cols = z.shape
    # row 0 is the northern edge, as make_sample.py reads it
    lat0, lon0, step = float(dem["ymin"]), float(dem["xmin"]), float(dem["dx"])
    r, c = np.mgrid[0:rows, 0:cols]
    x, y = utm16(lon0 + c * step, lat0 - r * step)
    np.column_stack([x.ravel(), y.ravel(), z.ravel()]).astype("<f8").tofile(sys.argv[1])


if __name__ == "__main__":
    main()
