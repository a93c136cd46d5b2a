"""SURFCROSS end to end: a terrain TIN cut by a level plane and by a tilted
plane, through the velmora program, read back with ezdxf.  The contour of the
level cut is computed here independently, triangle by triangle."""
import math
import os
import random
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import TempFolder, run_velmora  # noqa: E402

import ezdxf  # noqa: E402


def terrain(n=14, step=8.0, seed=7):
    """Triangles of a jittered grid over a rolling surface."""
    rnd = random.Random(seed)
    pts = {}
    for i in range(n):
        for j in range(n):
            x = i * step + (rnd.uniform(-2, 2) if 0 < i < n - 1 else 0)
            y = j * step + (rnd.uniform(-2, 2) if 0 < j < n - 1 else 0)
            z = 20 + 6 * math.sin(x / 17.0) + 4 * math.cos(y / 13.0) + 0.02 * x
            pts[i, j] = (x, y, z)
    tris = []
    for i in range(n - 1):
        for j in range(n - 1):
            a, b, c, d = pts[i, j], pts[i + 1, j], pts[i + 1, j + 1], pts[i, j + 1]
            tris.append((a, b, c))
            tris.append((a, c, d))
    return tris


def plane_triangles(f, lo=-50.0, hi=200.0):
    """Two triangles covering the terrain, z = f(x, y)."""
    c = [(lo, lo), (hi, lo), (hi, hi), (lo, hi)]
    p = [(x, y, f(x, y)) for x, y in c]
    return [(p[0], p[1], p[2]), (p[0], p[2], p[3])]


def write_drawing(path, tin, plane):
    doc = ezdxf.new("R2000")
    doc.layers.add("TIN")
    doc.layers.add("PLANE")
    msp = doc.modelspace()
    for t in tin:
        msp.add_3dface([t[0], t[1], t[2], t[2]], dxfattribs={"layer": "TIN"})
    for t in plane:
        msp.add_3dface([t[0], t[1], t[2], t[2]], dxfattribs={"layer": "PLANE"})
    doc.saveas(path)


def contour_length(tris, h):
    total = 0.0
    for t in tris:
        cuts = []
        for k in range(3):
            p, q = t[k], t[(k + 1) % 3]
            if (p[2] - h) * (q[2] - h) < 0:
                s = (h - p[2]) / (q[2] - p[2])
                cuts.append([p[i] + s * (q[i] - p[i]) for i in range(3)])
        if len(cuts) == 2:
            total += math.dist(cuts[0], cuts[1])
    return total


def height_on(tris, x, y):
    """z of the surface at (x, y), from the triangle that holds the point."""
    best = None
    for a, b, c in tris:
        det = (b[1] - c[1]) * (a[0] - c[0]) + (c[0] - b[0]) * (a[1] - c[1])
        if det == 0:
            continue
        l1 = ((b[1] - c[1]) * (x - c[0]) + (c[0] - b[0]) * (y - c[1])) / det
        l2 = ((c[1] - a[1]) * (x - c[0]) + (a[0] - c[0]) * (y - c[1])) / det
        l3 = 1 - l1 - l2
        worst = min(l1, l2, l3)
        if best is None or worst > best[0]:
            best = (worst, l1 * a[2] + l2 * b[2] + l3 * c[2])
    return best[1]


SCRIPT = "surfcross\nlayer TIN\n\nlayer PLANE\n\n"


def curves(run):
    doc = run.doc()
    out = []
    for e in doc.modelspace().query("POLYLINE"):
        if e.dxf.layer.lower() == "3dint":
            out.append((e, [tuple(v.dxf.location) for v in e.vertices]))
    return doc, out


class SurfCross(unittest.TestCase):
    def cut(self, f):
        tin = terrain()
        with TempFolder() as work:
            drawing = os.path.join(work, "site.dxf")
            write_drawing(drawing, tin, plane_triangles(f))
            run = run_velmora(work, SCRIPT, drawing=drawing)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            self.assertIn("3DINT:", run.stdout)
            for d in range(3):
                self.assertFalse(os.path.exists(os.path.join(work, "haldorin", "%d.scr" % d)))
            doc, found = curves(run)
            self.assertFalse(doc.audit().has_errors)
            return tin, found

    def test_level_plane_gives_the_contour(self):
        h = 20.37
        tin, found = self.cut(lambda x, y: h)
        self.assertGreater(len(found), 0)
        colours = set()
        total = 0.0
        for e, pts in found:
            self.assertTrue(e.is_3d_polyline)
            colours.add(e.dxf.color)
            for p in pts:
                self.assertAlmostEqual(p[2], h, places=5)
            total += sum(math.dist(pts[i], pts[i + 1]) for i in range(len(pts) - 1))
        expected = contour_length(tin, h)
        self.assertGreater(expected, 100.0)
        self.assertAlmostEqual(total, expected, delta=1e-5 * expected)
        self.assertEqual(len(colours), min(len(found), 255))

    def test_tilted_plane_curves_lie_on_both_surfaces(self):
        f = lambda x, y: 14.0 + 0.08 * x + 0.05 * y  # noqa: E731
        tin, found = self.cut(f)
        self.assertGreater(len(found), 0)
        count = 0
        for _, pts in found:
            for x, y, z in pts:
                self.assertAlmostEqual(z, f(x, y), delta=1e-5)
                self.assertAlmostEqual(z, height_on(tin, x, y), delta=1e-5)
                count += 1
        self.assertGreater(count, 20)


if __name__ == "__main__":
    unittest.main()
