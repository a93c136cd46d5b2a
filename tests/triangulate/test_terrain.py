"""c:velmora end to end through the velmora program: the saved drawing holds exactly the Delaunay triangles of the
survey (checked against matplotlib's triangulation, an independent implementation), the outline and voids of the bundled
survey are respected and its faces are those it always gave, and the export file is gone afterwards.  (LibreCAD opening
saved faces: test_dxf_files.py; break lines and TINMAXEDGE: test_triangulate.cpp.)"""
import hashlib
import os
import sys
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import SAMPLES, SURVEY, TempFolder, run_ok  # noqa: E402

import ezdxf  # noqa: E402
import matplotlib.tri as mtri  # noqa: E402
from matplotlib.path import Path  # noqa: E402

SCRIPT = "velmora\nall\n\n"

# The bundled survey's faces as the command made them before it knew break lines: their count and the digest of every
# face's corners in order.  A drawing without 3D polylines must still give exactly these.
BUNDLED_FACES = (5516, "e9b395c16cebb3b25b5eb30c778b964ea5e620569b7c090a1fa75e663b6395c1")


def faces_digest(doc):
    h = hashlib.sha256()
    n = 0
    for f in doc.modelspace().query("3DFACE"):
        h.update((" ".join(repr(float(c)) for v in (f.dxf.vtx0, f.dxf.vtx1, f.dxf.vtx2) for c in v) + "\n").encode())
        n += 1
    return n, h.hexdigest()


def write_points(path, pts):
    doc = ezdxf.new("R2000")
    for p in pts:
        doc.modelspace().add_point(tuple(float(v) for v in p))
    doc.saveas(path)


def faces_as_indices(doc, pts):
    """The TRIANG faces as sorted triples of indices into pts."""
    lookup = {(round(p[0], 4), round(p[1], 4)): i for i, p in enumerate(pts)}
    tris = set()
    for f in doc.modelspace().query("3DFACE"):
        if f.dxf.layer != "TRIANG" or f.dxf.color != 2:
            raise AssertionError("face on %s colour %s" % (f.dxf.layer, f.dxf.color))
        v = [f.dxf.vtx0, f.dxf.vtx1, f.dxf.vtx2, f.dxf.vtx3]
        if tuple(v[2]) != tuple(v[3]):
            raise AssertionError("a face with four corners")
        idx = tuple(sorted(lookup[(round(c[0], 4), round(c[1], 4))] for c in v[:3]))
        tris.add(idx)
    return tris


class Terrain(unittest.TestCase):
    # run_velmora loads a private copy of the add-on, so its export lies in the run's folder.
    def test_random_surveys_match_independent_delaunay(self):
        rng = np.random.default_rng(7)
        cases = [
            ("uniform", rng.uniform(0, 1000, (400, 2)) + (500000, 4000000)),
            ("clustered", np.vstack([rng.normal(c, 30, (150, 2)) for c in ((0, 0), (200, 50), (80, 300))])),
            ("small", rng.uniform(-5, 5, (60, 2))),
        ]
        for name, xy in cases:
            with self.subTest(name), TempFolder() as work:
                xy = np.round(xy, 3)
                z = np.round(100 + 0.01 * xy[:, 0] - 0.02 * xy[:, 1] % 7, 3)
                pts = np.column_stack([xy, z])
                src = os.path.join(work, "survey.dxf")
                write_points(src, pts)
                r = run_ok(self, work, SCRIPT, drawing=src)
                doc = r.doc()
                got = faces_as_indices(doc, pts)
                want = {tuple(sorted(t)) for t in mtri.Triangulation(xy[:, 0], xy[:, 1]).triangles}
                self.assertEqual(got, want)
                self.assertIn(" - points number= %d ; triangles number= %d" % (len(pts), len(want)), r.stdout)
                self.assertFalse(os.path.exists(os.path.join(work, "velmora.dxf")))
                self.assertEqual([e.message for e in doc.audit().errors], [])

    def test_bundled_survey_respects_outline_and_voids(self):
        with open(os.path.join(SAMPLES, "jacksboro_tin.scr")) as f:
            script = f.read()
        src = ezdxf.readfile(SURVEY).modelspace()
        pts = np.array([list(p.dxf.location) for p in src.query("POINT")])
        rings = {}
        for ln in src.query("LINE"):
            rings.setdefault(ln.dxf.color, []).append((tuple(ln.dxf.start)[:2], tuple(ln.dxf.end)[:2]))
        with TempFolder() as work:
            r = run_ok(self, work, script, drawing=SURVEY, extra=["--png", os.path.join(work, "tin.png")])
            doc = r.doc()
            self.assertEqual(faces_digest(doc), BUNDLED_FACES)
            tris = faces_as_indices(doc, pts)
            self.assertTrue(os.path.getsize(os.path.join(work, "tin.png")) > 10000)
            self.assertFalse(os.path.exists(os.path.join(work, "velmora.dxf")))

        def polygon(segments):
            # Chain the ring's segments into a closed outline.
            ring = [segments[0][0], segments[0][1]]
            rest = segments[1:]
            while rest:
                nxt = next(s for s in rest if s[0] == ring[-1] or s[1] == ring[-1])
                rest.remove(nxt)
                ring.append(nxt[1] if nxt[0] == ring[-1] else nxt[0])
            return np.array(ring[:-1])

        def area(poly):
            x, y = poly[:, 0], poly[:, 1]
            return 0.5 * abs(np.dot(x, np.roll(y, -1)) - np.dot(y, np.roll(x, -1)))

        outline = polygon(rings[1])
        voids = [polygon(rings[c]) for c in sorted(rings) if c != 1]
        t = np.array(sorted(tris))
        a, b, c = pts[t[:, 0], :2], pts[t[:, 1], :2], pts[t[:, 2], :2]
        centroids = (a + b + c) / 3
        self.assertTrue(Path(outline).contains_points(centroids).all())
        for v in voids:
            self.assertFalse(Path(v).contains_points(centroids).any())
        # Every outline and void LINE, split at the survey points lying on it, is made of triangle edges.
        edges = {frozenset(e) for tri in tris for e in ((tri[0], tri[1]), (tri[1], tri[2]), (tri[2], tri[0]))}
        for segments in rings.values():
            for s0, s1 in segments:
                s0, s1 = np.array(s0), np.array(s1)
                d = s1 - s0
                length = np.hypot(*d)
                along = (pts[:, :2] - s0) @ d / length
                off = np.abs((pts[:, 0] - s0[0]) * d[1] - (pts[:, 1] - s0[1]) * d[0]) / length
                on = np.where((off < 1e-6) & (along > -1e-6) & (along < length + 1e-6))[0]
                on = on[np.argsort(along[on])]
                self.assertGreaterEqual(len(on), 2)
                for i, j in zip(on[:-1], on[1:]):
                    self.assertIn(frozenset((int(i), int(j))), edges)
        plan = 0.5 * np.abs((b[:, 0] - a[:, 0]) * (c[:, 1] - a[:, 1]) - (c[:, 0] - a[:, 0]) * (b[:, 1] - a[:, 1]))
        expect = area(outline) - sum(area(v) for v in voids)
        self.assertAlmostEqual(plan.sum() / expect, 1.0, places=9)


if __name__ == "__main__":
    unittest.main()
