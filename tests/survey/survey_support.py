"""Surfaces for the contour and cut and fill tests, and an independent overlay: every pair of triangles clipped with
shapely, split by a half-plane where the ground lies above the design, each piece's volume its area times its centroid's
depth."""
import math
import re
import warnings

import numpy as np
from shapely.geometry import Point, Polygon
from shapely.strtree import STRtree


def grid_tin(rng, x0, y0, x1, y1, nx, ny, height, jitter=0.2, whole=False):
    """A terrain over the rectangle: nx by ny cells, inner nodes moved by up to `jitter` of a cell, cells split along a
    random diagonal, heights from height(x, y).  With `whole`, nodes of even row and column get whole-number heights:
    levels pass through corners, never along an edge."""
    hx, hy = (x1 - x0) / nx, (y1 - y0) / ny
    node = {}
    for i in range(nx + 1):
        for j in range(ny + 1):
            x, y = x0 + i * hx, y0 + j * hy
            if 0 < i < nx:
                x += rng.uniform(-jitter, jitter) * hx
            if 0 < j < ny:
                y += rng.uniform(-jitter, jitter) * hy
            z = height(x, y)
            node[i, j] = (x, y, float(round(z)) if whole and i % 2 == 0 and j % 2 == 0 else z)
    tris = []
    for i in range(nx):
        for j in range(ny):
            a, b, c, d = node[i, j], node[i + 1, j], node[i + 1, j + 1], node[i, j + 1]
            tris += [(a, b, c), (a, c, d)] if rng.random() < 0.5 else [(a, b, d), (b, c, d)]
    return tris


def plane_faces(x0, y0, x1, y1, height):
    """Two triangles over the rectangle on the plane z = height(x, y)."""
    c = [(x, y, height(x, y)) for x, y in ((x0, y0), (x1, y0), (x1, y1), (x0, y1))]
    return [(c[0], c[1], c[2]), (c[0], c[2], c[3])]


def plane_of(t):
    """The triangle's plane as z = z0 + gx (x - x0) + gy (y - y0) about its first corner."""
    (x0, y0, z0), (x1, y1, z1), (x2, y2, z2) = t
    m = np.array([[x1 - x0, y1 - y0], [x2 - x0, y2 - y0]])
    gx, gy = np.linalg.solve(m, [z1 - z0, z2 - z0])
    return gx, gy, x0, y0, z0


def plan_area(t):
    (x0, y0, _), (x1, y1, _), (x2, y2, _) = t
    return ((x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0)) / 2


class Surface:
    """Triangles with point location in plan."""

    def __init__(self, tris):
        self.tris = [t for t in tris if plan_area(t) != 0]
        self.polys = [Polygon([p[:2] for p in t]) for t in self.tris]
        self.planes = [plane_of(t) for t in self.tris]
        self.index = {id(p): k for k, p in enumerate(self.polys)}
        with warnings.catch_warnings():
            # shapely 1.8 announces the STRtree of 2.0 on every use.
            warnings.simplefilter("ignore")
            self.tree = STRtree(self.polys)

    def z(self, k, x, y):
        gx, gy, x0, y0, z0 = self.planes[k]
        return z0 + gx * (x - x0) + gy * (y - y0)

    def height(self, x, y):
        """Height at (x, y) from the triangle holding it best; None outside."""
        best, best_w = None, -1e-9
        for p in self.tree.query(Point(x, y).buffer(1e-9)):
            k = self.index[id(p)]
            (x0, y0, _), (x1, y1, _), (x2, y2, _) = self.tris[k]
            det = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0)
            w1 = ((x - x0) * (y2 - y0) - (x2 - x0) * (y - y0)) / det
            w2 = ((x1 - x0) * (y - y0) - (x - x0) * (y1 - y0)) / det
            w = min(w1, w2, 1 - w1 - w2)
            if w > best_w:
                best, best_w = k, w
        return None if best is None else self.z(best, x, y)


def half(poly, gx, gy, c, x0, y0):
    """The part of `poly` where gx (x - x0) + gy (y - y0) + c >= 0."""
    values = [gx * (x - x0) + gy * (y - y0) + c for x, y in poly.exterior.coords]
    if min(values) >= 0:
        return poly
    if max(values) <= 0:
        return Polygon()
    g = math.hypot(gx, gy)
    nx, ny = gx / g, gy / g
    cx, cy = poly.centroid.x, poly.centroid.y
    # The line crosses the polygon: a huge square on its positive side.
    s = (gx * (cx - x0) + gy * (cy - y0) + c) / g
    px, py = cx - s * nx, cy - s * ny
    r = 10 * (poly.length + 1)
    tx, ty = -ny, nx
    box = Polygon([(px - r * tx, py - r * ty), (px + r * tx, py + r * ty),
                   (px + r * tx + r * nx, py + r * ty + r * ny), (px - r * tx + r * nx, py - r * ty + r * ny)])
    return poly.intersection(box)


def overlay(ground, design=None, level=None):
    """Cut and fill volumes and areas and the compared area, by shapely."""
    g = Surface(ground)
    pairs = []
    if design is None:
        pairs = [(poly, g.planes[k], (0.0, 0.0, 0.0, 0.0, level)) for k, poly in enumerate(g.polys)]
    else:
        d = Surface(design)
        for k, pa in enumerate(g.polys):
            for pb in d.tree.query(pa):
                inter = pa.intersection(pb)
                if inter.area > 0:
                    pairs.append((inter, g.planes[k], d.planes[d.index[id(pb)]]))
    cut = fill = cut_area = fill_area = area = 0.0
    for poly, (ax, ay, ax0, ay0, az0), (bx, by, bx0, by0, bz0) in pairs:
        area += poly.area
        gx, gy = ax - bx, ay - by      # depth = gx (x - x0) + gy (y - y0) + c about the ground's corner
        c = az0 - (bz0 + bx * (ax0 - bx0) + by * (ay0 - by0))

        if abs(gx) + abs(gy) < 1e-12 and abs(c) < 1e-9:
            continue                    # the surfaces coincide here: neither cut nor fill

        def depth(p):
            return gx * (p.x - ax0) + gy * (p.y - ay0) + c
        for sign in (1, -1):
            part = half(poly, sign * gx, sign * gy, sign * c, ax0, ay0)
            if part.is_empty or part.area == 0:
                continue
            v = part.area * depth(part.centroid)
            if sign > 0:
                cut += v
                cut_area += part.area
            else:
                fill -= v
                fill_area += part.area
    return {"cut": cut, "fill": fill, "cut_area": cut_area, "fill_area": fill_area, "area": area}


def printed(run):
    """The values CUTFILL printed, by name."""
    names = {"cut": "Cut volume", "fill": "Fill volume", "net": "Net volume", "cut_area": "Cut area",
             "fill_area": "Fill area", "area": "Area compared"}
    found = {key: re.search(r"\n%s: +(-?[0-9.]+)" % label, run.stdout) for key, label in names.items()}
    return {key: float(m.group(1)) for key, m in found.items() if m}
