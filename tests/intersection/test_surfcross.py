"""SURFCROSS end to end: the bundled survey's TIN cut by a level and a tilted
plane, read back with ezdxf; the level cut against a contour computed here."""
import math
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import SharedFolder, TempFolder, bundled_tin, run_ok  # noqa: E402

import numpy as np  # noqa: E402


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
    """z of the surface at (x, y), from the triangle that holds the point best
    (the largest smallest barycentric weight)."""
    a, b, c = tris[:, 0], tris[:, 1], tris[:, 2]
    det = (b[:, 1] - c[:, 1]) * (a[:, 0] - c[:, 0]) + (c[:, 0] - b[:, 0]) * (a[:, 1] - c[:, 1])
    det = np.where(det == 0, np.nan, det)
    l1 = ((b[:, 1] - c[:, 1]) * (x - c[:, 0]) + (c[:, 0] - b[:, 0]) * (y - c[:, 1])) / det
    l2 = ((c[:, 1] - a[:, 1]) * (x - c[:, 0]) + (a[:, 0] - c[:, 0]) * (y - c[:, 1])) / det
    l3 = 1 - l1 - l2
    i = int(np.nanargmax(np.minimum(np.minimum(l1, l2), l3)))
    return l1[i] * a[i, 2] + l2[i] * b[i, 2] + l3[i] * c[i, 2]


def plane_script(f, lo, hi):
    """Two 3DFACEs on layer PLANE covering the box lo-hi, z = f(x, y)."""
    c = [(lo[0], lo[1]), (hi[0], lo[1]), (hi[0], hi[1]), (lo[0], hi[1])]
    p = ["%.6f,%.6f,%.6f" % (x, y, f(x, y)) for x, y in c]
    return ("layer make PLANE\n\n"
            "3dface\n%s\n%s\n%s\n\n" % (p[0], p[1], p[2]) +
            "3dface\n%s\n%s\n%s\n\n" % (p[0], p[2], p[3]))


class SurfCross(SharedFolder):
    @classmethod
    def setUpClass(cls):
        """Triangulates the bundled survey once; the cuts start from it."""
        super().setUpClass()
        run = bundled_tin(None, cls.work)
        cls.tin_path = run.out_path
        cls.tin = np.array([[tuple(f.dxf.vtx0), tuple(f.dxf.vtx1), tuple(f.dxf.vtx2)]
                            for f in run.doc().modelspace().query("3DFACE[layer=='TRIANG']")])
        assert len(cls.tin) > 1000, len(cls.tin)
        cls.lo = cls.tin[:, :, :2].reshape(-1, 2).min(axis=0) - 100
        cls.hi = cls.tin[:, :, :2].reshape(-1, 2).max(axis=0) + 100

    def cut(self, f):
        with TempFolder() as work:
            script = plane_script(f, self.lo, self.hi) + "surfcross\nlayer TRIANG\n\nlayer PLANE\n\n"
            run = run_ok(self, work, script, drawing=self.tin_path)
            self.assertIn("3DINT:", run.stdout)
            # Into a pipe the progress lines come at most one a second, the
            # last one always; the host's own call of inters_ltri prints no value.
            self.assertLess(len(run.stdout), 10000)
            self.assertIn("**3 0>=0", run.stdout)
            self.assertNotIn("nil", run.stdout.split())
            self.assertEqual([d for d in range(3) if os.path.exists(os.path.join(work, "haldorin", "%d.scr" % d))], [])
            doc = run.doc()
            self.assertFalse(doc.audit().has_errors)
            found = [(e, [tuple(v.dxf.location) for v in e.vertices])
                     for e in doc.modelspace().query("POLYLINE") if e.dxf.layer.lower() == "3dint"]
            self.assertGreater(len(found), 0)
            return found

    def test_level_plane_gives_the_contour(self):
        h = 600.375
        found = self.cut(lambda x, y: h)
        colours, total = set(), 0.0
        for e, pts in found:
            self.assertTrue(e.is_3d_polyline)
            self.assertGreaterEqual(len(pts), 2)
            colours.add(e.dxf.color)
            for p in pts:
                self.assertAlmostEqual(p[2], h, delta=1e-6)
            total += sum(math.dist(pts[i], pts[i + 1]) for i in range(len(pts) - 1))
        expected = contour_length(self.tin.tolist(), h)
        self.assertGreater(expected, 1000.0)
        self.assertAlmostEqual(total, expected, delta=1e-6 * expected)
        self.assertEqual(len(colours), min(len(found), 255))

    def test_tilted_plane_curves_lie_on_both_surfaces(self):
        mid = (self.lo + self.hi) / 2
        f = lambda x, y: 650.0 + 0.01 * (x - mid[0]) + 0.005 * (y - mid[1])  # noqa: E731
        found = self.cut(f)
        count = 0
        for _, pts in found:
            for x, y, z in pts:
                self.assertAlmostEqual(z, f(x, y), delta=1e-5)
                self.assertAlmostEqual(z, height_on(self.tin, x, y), delta=1e-5)
                count += 1
        self.assertGreater(count, 50)


if __name__ == "__main__":
    unittest.main()
