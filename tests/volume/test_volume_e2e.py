"""The vol command through the velmora program: bodies whose volume is known independently (boxes, a triangulated
sphere, a torus mesh closed both ways, two layers of the bundled survey's terrain), checked with ezdxf."""
import math
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import TempFolder, bundled_tin, run_velmora, write_faces  # noqa: E402

import ezdxf  # noqa: E402


def polyhedron_volume(triangles):
    """Divergence theorem: the sum of the signed tetrahedra on the origin,
    taken about the first corner so that large coordinates do not cancel."""
    o = triangles[0][0]
    total = 0.0
    for a, b, c in triangles:
        a, b, c = ([p[k] - o[k] for k in range(3)] for p in (a, b, c))
        total += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0])
                  + a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0
    return abs(total)


def volume_run(workdir, drawing, increment):
    run = run_velmora(workdir, "vol\n%s\nall\n\n" % increment, drawing=drawing)
    m = re.search(r"[\r\n]Volume:  (-?[0-9.]+)", run.stdout)
    c = re.search(r"Centroid: (-?[0-9.]+),(-?[0-9.]+),(-?[0-9.]+)", run.stdout)
    if run.returncode != 0 or not m or not c:
        raise AssertionError("vol failed (rc %d):\n%s\n%s" % (run.returncode, run.stdout, run.stderr))
    return float(m.group(1)), tuple(float(v) for v in c.groups()), run


def sphere_faces(cx, cy, cz, r, rings, segments):
    def p(i, k):
        th = math.pi * i / rings
        ph = 2 * math.pi * k / segments
        return (cx + r * math.sin(th) * math.cos(ph), cy + r * math.sin(th) * math.sin(ph), cz + r * math.cos(th))
    tris = []
    for i in range(rings):
        for k in range(segments):
            a, b, c, d = p(i, k), p(i + 1, k), p(i + 1, k + 1), p(i, k + 1)
            if i > 0:
                tris.append((a, b, d))
            if i < rings - 1:
                tris.append((b, c, d))
    return tris


class Volumes(unittest.TestCase):
    def converge(self, wd, path, exact, check_centroid):
        """Relative errors at increments 1 down to 0.125: they shrink, and the last is small."""
        errors = []
        for inc in (1.0, 0.5, 0.25, 0.125):
            vol, cen, _ = volume_run(wd, path, inc)
            errors.append(abs(vol - exact) / exact)
            check_centroid(cen, inc)
        self.assertLess(errors[-1], errors[0])
        self.assertLess(errors[-1], 0.004)
        return errors

    def test_box_at_origin_and_in_projected_coordinates(self):
        for o in ((0.0, 0.0, 0.0), (500000.0, 5000000.0, 300.0)):
            with TempFolder() as wd:
                doc = ezdxf.new("R12")
                msp = doc.modelspace()
                v = [(o[0] + (k & 1) * 10, o[1] + ((k >> 1) & 1) * 10, o[2] + ((k >> 2) & 1) * 10)
                     for k in range(8)]
                for q in ((0, 1, 3, 2), (4, 5, 7, 6), (0, 1, 5, 4), (2, 3, 7, 6), (0, 2, 6, 4), (1, 3, 7, 5)):
                    msp.add_3dface([v[k] for k in q])
                path = os.path.join(wd, "box.dxf")
                doc.saveas(path)
                vol, cen, run = volume_run(wd, path, 1)
                self.assertAlmostEqual(vol, 1000.0, places=6)
                self.assertEqual(cen, (o[0] + 5, o[1] + 5, o[2] + 5))
                # The report word for word: the recommended increment for a 10 by 10 plan, and the volume over the
                # progress text (its carriage return reads as a line end here).
                self.assertIn("\n**recommended increment: 0.005000\n", run.stdout)
                self.assertIn("\nVolume:  1000.000000" + " " * 31 + "\nCentroid: ", run.stdout)
                points = [e for e in run.doc().modelspace() if e.dxftype() == "POINT"]
                self.assertEqual(len(points), 1)
                for got, want in zip(points[0].dxf.location, cen):
                    self.assertAlmostEqual(got, want, places=3)
                self.assertFalse(os.path.exists(os.path.join(wd, "vol.dxf")))
                self.assertFalse(os.path.exists(os.path.join(wd, "vol.bin")))

    def test_sphere_and_torus_converge_to_their_volumes(self):
        with TempFolder() as wd:
            # A sphere of 3DFACEs far from the origin.
            centre = (731000.5, 4037000.25, 400.0)
            tris = sphere_faces(*centre, 10.0, 36, 72)
            path = os.path.join(wd, "sphere.dxf")
            write_faces(path, {"0": tris})

            def near_centre(cen, inc):
                for got, want in zip(cen, centre):
                    self.assertLess(abs(got - want), 2 * inc)
            errors = self.converge(wd, path, polyhedron_volume(tris), near_centre)
            self.assertEqual(errors, sorted(errors, reverse=True))

            # A torus: one polygon mesh closed in M and in N.
            R, r, m, n = 20.0, 6.0, 96, 32
            doc = ezdxf.new("R12")
            mesh = doc.modelspace().add_polymesh(size=(m, n))
            grid = [[None] * n for _ in range(m)]
            for i in range(m):
                for k in range(n):
                    u, w = 2 * math.pi * i / m, 2 * math.pi * k / n
                    grid[i][k] = ((R + r * math.cos(w)) * math.cos(u) + 50.0,
                                  (R + r * math.cos(w)) * math.sin(u) - 30.0, r * math.sin(w) + 7.0)
                    mesh.set_mesh_vertex((i, k), grid[i][k])
            mesh.close(True, True)
            path = os.path.join(wd, "torus.dxf")
            doc.saveas(path)
            tris = []
            for i in range(m):
                for k in range(n):
                    a, b = grid[i][k], grid[i][(k + 1) % n]
                    c, d = grid[(i + 1) % m][(k + 1) % n], grid[(i + 1) % m][k]
                    tris += [(a, b, c), (a, c, d)]      # the reader's split of each quad
            exact = polyhedron_volume(tris)
            self.assertLess(abs(exact - 2 * math.pi ** 2 * R * r * r) / exact, 0.01)
            self.converge(wd, path, exact, lambda cen, inc: self.assertLess(abs(cen[2] - 7.0), 0.01))

    def test_terrain_raised_two_metres_gives_twice_its_plan_area(self):
        with TempFolder() as wd:
            doc = bundled_tin(self, wd).doc()
            msp = doc.modelspace()
            faces = [[tuple(v) for v in (f.dxf.vtx0, f.dxf.vtx1, f.dxf.vtx2)]
                     for f in msp if f.dxftype() == "3DFACE"]
            self.assertGreater(len(faces), 1000)
            area = 0.0
            edges = {}
            for a, b, c in faces:
                area += abs((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])) / 2
                for p, q in ((a, b), (b, c), (c, a)):
                    key = (min(p[:2], q[:2]), max(p[:2], q[:2]))
                    edges[key] = edges.get(key, 0) + 1
            border = sum(math.dist(p, q) for (p, q), k in edges.items() if k == 1)
            for a, b, c in faces:
                msp.add_3dface([(x, y, z + 2.0) for x, y, z in (a, b, c, c)], dxfattribs={"layer": "RAISED"})
            path = os.path.join(wd, "two.dxf")
            doc.saveas(path)
            # The last run takes the plain path (every sample through vol.bin, qsort): it prints and draws exactly what
            # the samples kept in memory and radix sorted do.
            errors, runs = [], []
            for inc, plain in ((200.0, ""), (100.0, ""), (50.0, ""), (50.0, "1")):
                os.environ["VELMORA_PLAIN"] = plain
                try:
                    vol, cen, run = volume_run(wd, path, inc)
                finally:
                    del os.environ["VELMORA_PLAIN"]
                errors.append((vol - 2 * area) / (2 * area))
                # A grid of nodes misses at most about a cell's width along the border.
                self.assertLess(abs(vol - 2 * area), 2 * border * inc)
                with open(run.out_path, "rb") as f:
                    runs.append((run.stdout, f.read()))
            self.assertEqual(errors[:3], sorted(errors[:3]))
            self.assertLess(abs(errors[-1]), 0.005)
            self.assertEqual(runs[2][0], runs[3][0])
            self.assertTrue(runs[2][1] == runs[3][1], "the drawings differ")


if __name__ == "__main__":
    unittest.main(verbosity=2)
