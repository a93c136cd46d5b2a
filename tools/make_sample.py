#!/usr/bin/python3
"""Makes samples/jacksboro_survey.dxf, the bundled survey drawing.

The ground is the USGS elevation model of the Jacksboro fault (Tennessee) that
Debian's python-matplotlib-data ships (public domain): a 3 arc-second grid of
heights in metres.  It is projected to UTM zone 16N metres and thinned the way
a surveyor's points lie: irregular, and denser where the ground bends.  An
outline of colour-1 LINEs and two voids (colours 2 and 3) join survey points on
a layer of their own.

Reproducible: a fixed seed, and the same file for the same inputs.

    /usr/bin/python3 tools/make_sample.py [OUT.dxf]
"""
import math
import os
import sys

import numpy as np
import ezdxf

DEM = "/usr/share/matplotlib/mpl-data/sample_data/jacksboro_fault_dem.npz"
NPOINTS = 3000
SEED = 20240517


def utm16(lon_deg, lat_deg):
    """WGS84 transverse Mercator, zone 16N (central meridian 87 W), in metres."""
    a, f, k0 = 6378137.0, 1 / 298.257223563, 0.9996
    e2 = f * (2 - f)
    ep2 = e2 / (1 - e2)
    lat = np.radians(lat_deg)
    dlon = np.radians(lon_deg - (-87.0))
    n = a / np.sqrt(1 - e2 * np.sin(lat) ** 2)
    t = np.tan(lat) ** 2
    c = ep2 * np.cos(lat) ** 2
    aa = dlon * np.cos(lat)
    m = a * ((1 - e2 / 4 - 3 * e2 ** 2 / 64 - 5 * e2 ** 3 / 256) * lat
             - (3 * e2 / 8 + 3 * e2 ** 2 / 32 + 45 * e2 ** 3 / 1024) * np.sin(2 * lat)
             + (15 * e2 ** 2 / 256 + 45 * e2 ** 3 / 1024) * np.sin(4 * lat)
             - (35 * e2 ** 3 / 3072) * np.sin(6 * lat))
    x = k0 * n * (aa + (1 - t + c) * aa ** 3 / 6
                  + (5 - 18 * t + t * t + 72 * c - 58 * ep2) * aa ** 5 / 120) + 500000.0
    y = k0 * (m + n * np.tan(lat) * (aa ** 2 / 2 + (5 - t + 9 * c + 4 * c * c) * aa ** 4 / 24
                                      + (61 - 58 * t + t * t + 600 * c - 330 * ep2) * aa ** 6 / 720))
    return x, y


def survey_points(rng):
    dem = np.load(DEM)
    z = dem["elevation"].astype(float)
    rows, cols = z.shape
    # Row 0 is the northern edge ("ymin" in the file is the top latitude).
    lat0, lon0, step = float(dem["ymin"]), float(dem["xmin"]), float(dem["dx"])

    # Where the ground bends: the magnitude of the Laplacian, lightly smoothed,
    # plus a floor so that flat ground still gets points.
    lap = np.zeros_like(z)
    lap[1:-1, 1:-1] = np.abs(z[:-2, 1:-1] + z[2:, 1:-1] + z[1:-1, :-2] + z[1:-1, 2:]
                             - 4 * z[1:-1, 1:-1])
    smooth = lap.copy()
    smooth[1:-1, 1:-1] = (lap[:-2, 1:-1] + lap[2:, 1:-1] + lap[1:-1, :-2] + lap[1:-1, 2:]
                          + 2 * lap[1:-1, 1:-1]) / 6
    inner = smooth[1:-1, 1:-1]
    weight = inner + 0.08 * inner.mean()
    weight = (weight / weight.sum()).ravel()

    cells = rng.choice(weight.size, size=NPOINTS, replace=False, p=weight)
    r = cells // (cols - 2) + 1 + rng.uniform(-0.5, 0.5, NPOINTS)
    c = cells % (cols - 2) + 1 + rng.uniform(-0.5, 0.5, NPOINTS)
    # Bilinear height at the jittered position.
    r0, c0 = np.floor(r).astype(int), np.floor(c).astype(int)
    fr, fc = r - r0, c - c0
    h = (z[r0, c0] * (1 - fr) * (1 - fc) + z[r0 + 1, c0] * fr * (1 - fc)
         + z[r0, c0 + 1] * (1 - fr) * fc + z[r0 + 1, c0 + 1] * fr * fc)
    x, y = utm16(lon0 + c * step, lat0 - r * step)
    return np.round(x, 3), np.round(y, 3), np.round(h, 2)


def ellipse(cx, cy, radii, start_angle):
    """Targets on a ring of varying radius around (cx, cy)."""
    k = len(radii)
    return [(cx + rx * math.cos(start_angle + 2 * math.pi * i / k),
             cy + ry * math.sin(start_angle + 2 * math.pi * i / k)) for i, (rx, ry) in enumerate(radii)]


def snap_polygon(x, y, targets, taken):
    """Corners at the survey points nearest to the targets, each used once."""
    corners = []
    for tx, ty in targets:
        d = (x - tx) ** 2 + (y - ty) ** 2
        d[list(taken)] = np.inf
        j = int(np.argmin(d))
        taken.add(j)
        corners.append(j)
    return corners


def check_simple(x, y, rings):
    """No two sides of the outlines cross or touch except at shared corners."""
    sides = [(r[i], r[(i + 1) % len(r)]) for r in rings for i in range(len(r))]

    def orient(a, b, c):
        return np.sign((x[b] - x[a]) * (y[c] - y[a]) - (y[b] - y[a]) * (x[c] - x[a]))

    for i, (a, b) in enumerate(sides):
        for c, d in sides[i + 1:]:
            if len({a, b, c, d}) < 4:
                continue
            if orient(a, b, c) * orient(a, b, d) <= 0 and orient(c, d, a) * orient(c, d, b) <= 0:
                raise SystemExit("outlines cross: pick another seed")


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "samples", "jacksboro_survey.dxf")
    rng = np.random.default_rng(SEED)
    x, y, h = survey_points(rng)

    cx, cy = (x.min() + x.max()) / 2, (y.min() + y.max()) / 2
    wx, wy = (x.max() - x.min()) / 2, (y.max() - y.min()) / 2
    taken = set()
    # The site outline runs just inside the edge of the survey, corner to corner
    # along its four sides, so that nearly every point lies in the site.
    edge = []
    for k in range(24):
        t = k / 24 * 4
        side, f = int(t), t - int(t)
        px, py = [(-1 + 2 * f, -1), (1, -1 + 2 * f), (1 - 2 * f, 1), (-1, 1 - 2 * f)][side]
        inset = 1 - rng.uniform(0.02, 0.07)
        edge.append((cx + px * wx * inset, cy + py * wy * inset))
    outline = snap_polygon(x, y, edge, taken)
    # Two voids: a reservoir on the low ground to the east, a quarry on the ridge.
    pond = snap_polygon(x, y, ellipse(cx + 0.3 * wx, cy - 0.2 * wy,
                                      [(wx * rng.uniform(0.12, 0.17), wy * rng.uniform(0.08, 0.12))
                                       for _ in range(7)], 0.3), taken)
    quarry = snap_polygon(x, y, ellipse(cx - 0.3 * wx, cy + 0.1 * wy, [(wx * 0.08, wy * 0.08)] * 5, 0.5),
                          taken)
    check_simple(x, y, [outline, pond, quarry])

    doc = ezdxf.new("R12")
    doc.header["$INSUNITS"] = 6          # metres
    doc.layers.add("SURVEY", color=7)
    doc.layers.add("OUTLINE", color=1)
    msp = doc.modelspace()
    for i in range(len(x)):
        msp.add_point((float(x[i]), float(y[i]), float(h[i])), dxfattribs={"layer": "SURVEY"})
    for colour, ring_ids in ((1, outline), (2, pond), (3, quarry)):
        for a, b in zip(ring_ids, ring_ids[1:] + ring_ids[:1]):
            msp.add_line((float(x[a]), float(y[a]), float(h[a])),
                         (float(x[b]), float(y[b]), float(h[b])),
                         dxfattribs={"layer": "OUTLINE", "color": colour})
    doc.saveas(out)
    print("%s: %d survey points, outline of %d lines, voids of %d and %d lines"
          % (out, len(x), len(outline), len(pond), len(quarry)))


if __name__ == "__main__":
    main()
