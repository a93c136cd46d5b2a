"""Break lines and trimming end to end through the velmora program: drawings
without 3D polylines give the faces they always gave, in the same order;
3D polylines drawn by another program (ezdxf) are kept as face edges; a
refused run draws nothing and fails; TINMAXEDGE trims a terrain without an
outline and draws the rest in order."""
import hashlib
import os
import sys
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import SAMPLES, TempFolder, run_ok, run_velmora  # noqa: E402

import ezdxf  # noqa: E402

SCRIPT = "velmora\nall\n\n"

# The faces of two drawings as the command made them before it knew break
# lines (the digest of every face's corners in order, see faces_digest):
# the bundled survey with its outline and voids, and the random survey of
# random_survey().  A drawing without 3D polylines must still give exactly
# these.
BEFORE = {
    "jacksboro": (5516, "e9b395c16cebb3b25b5eb30c778b964ea5e620569b7c090a1fa75e663b6395c1"),
    "random": (1183, "52831d7625c66f801c60001049e7a61660a57ce8b6a1a34d6a0bf48242354dcc"),
}


def faces_digest(doc):
    h = hashlib.sha256()
    n = 0
    for f in doc.modelspace().query("3DFACE"):
        h.update((" ".join(repr(float(c)) for v in (f.dxf.vtx0, f.dxf.vtx1, f.dxf.vtx2) for c in v) + "\n").encode())
        n += 1
    return n, h.hexdigest()


def random_survey(path, polylines=()):
    rng = np.random.default_rng(2024)
    xy = np.round(rng.uniform(0, 500, (600, 2)) + (300000, 5000000), 3)
    z = np.round(100 + 0.03 * xy[:, 0] % 11 + 0.02 * xy[:, 1] % 5, 3)
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    for p, q in zip(xy, z):
        msp.add_point((float(p[0]), float(p[1]), float(q)))
    for layer, pts in polylines:
        msp.add_polyline3d(pts, dxfattribs={"layer": layer})
    doc.saveas(path)


def faces(doc):
    return [tuple(tuple(v) for v in (f.dxf.vtx0, f.dxf.vtx1, f.dxf.vtx2)) for f in doc.modelspace().query("3DFACE")]


def plan_edges(fs):
    return {frozenset((a[:2], b[:2])) for f in fs for a, b in ((f[0], f[1]), (f[1], f[2]), (f[2], f[0]))}


class BreakLines(unittest.TestCase):
    def run_in(self, work, drawing, script=SCRIPT):
        return run_ok(self, work, script, drawing=drawing)

    def test_drawings_without_3d_polylines_give_the_faces_they_gave(self):
        with TempFolder() as work:
            with open(os.path.join(SAMPLES, "jacksboro_tin.scr")) as f:
                r = self.run_in(work, os.path.join(SAMPLES, "jacksboro_survey.dxf"), f.read())
            self.assertEqual(faces_digest(r.doc()), BEFORE["jacksboro"])
        for own in (False, True):
            with self.subTest(own_layers=own), TempFolder() as work:
                src = os.path.join(work, "survey.dxf")
                across = [(300000, 5000000, 100), (300500, 5000500, 120)]
                random_survey(src, [(layer, across) for layer in ("3dint", "CONTOUR-MINOR")] if own else [])
                r = self.run_in(work, src)
                self.assertEqual(faces_digest(r.doc()), BEFORE["random"])
                self.assertEqual("3D polylines on Velmora's own layers" in r.stdout, own)

    def test_a_bank_drawn_with_two_3d_polylines_keeps_them(self):
        rng = np.random.default_rng(5)
        toe = [(x, 40 + 4 * np.sin(x / 15), 10 + 0.02 * x) for x in range(-5, 106, 5)]
        top = [(x, 50 + 4 * np.sin(x / 15) + 2 * np.cos(x / 11), 20 + 0.02 * x) for x in range(-5, 106, 5)]
        with TempFolder() as work:
            src = os.path.join(work, "bank.dxf")
            doc = ezdxf.new("R2000")
            msp = doc.modelspace()
            for x, y in np.round(rng.uniform(0, 100, (150, 2)), 3):
                if not 30 < y < 60:
                    msp.add_point((float(x), float(y), 10.0 + 0.02 * x if y < 30 else 20.0 + 0.02 * x))
            for line in (toe, top):
                msp.add_polyline3d([tuple(map(float, p)) for p in line], dxfattribs={"layer": "BANK", "color": 6})
            doc.saveas(src)
            r = self.run_in(work, src)
            out = r.doc()
            self.assertEqual(len(out.audit().errors), 0)
            fs = [tuple(tuple(round(c, 6) for c in v) for v in f) for f in faces(out)]
            edges = plan_edges(fs)
            vertices = set()
            for line in (toe, top):
                pts = [tuple(round(float(c), 6) for c in p) for p in line]
                vertices.update(p[:2] for p in pts)
                for a, b in zip(pts, pts[1:]):
                    self.assertIn(frozenset((a[:2], b[:2])), edges)
            # no face cuts across the bank: those between toe and top have
            # the lines' vertices for corners, none a survey point
            tx, ty = np.array(toe)[:, 0], np.array(toe)[:, 1]
            ux, uy = np.array(top)[:, 0], np.array(top)[:, 1]
            between = 0
            for f in fs:
                cx, cy = sum(c[0] for c in f) / 3, sum(c[1] for c in f) / 3
                if np.interp(cx, tx, ty) < cy < np.interp(cx, ux, uy):
                    between += 1
                    self.assertTrue(all(c[:2] in vertices for c in f), f)
            self.assertGreater(between, 30)
            self.assertEqual(len(out.modelspace().query("POLYLINE")), 2)

    def test_heights_that_disagree_refuse_the_run_or_give_way_to_survey_points(self):
        def drawing(work, rising, survey_at_start):
            src = os.path.join(work, "cross.dxf")
            doc = ezdxf.new("R12")
            msp = doc.modelspace()
            for p in ((0, 0, 5), (10, 0, 5), (10, 10, 5), (0, 10, 5)) + (((1, 5, 30),) if survey_at_start else ()):
                msp.add_point(p)
            msp.add_polyline3d([(1, 1, 1), (9, 9, rising)])
            msp.add_polyline3d([(1, 9, 4), (9, 1, 4)])
            msp.add_polyline3d([(1, 5, 1), (2, 7, 2)])
            doc.saveas(src)
            return src

        with TempFolder() as work:
            r = run_velmora(work, SCRIPT, drawing=drawing(work, 5, False))
            self.assertNotEqual(r.returncode, 0)
            self.assertIn("break lines cross at (5, 5) at heights 3 and 4", r.stdout)
            self.assertIn("break lines cross at (5, 5)", r.stderr)
            # a failed run saves nothing
            self.assertFalse(os.path.exists(r.out_path))
        # crossing at one height (4), and a vertex on a survey point 29 higher:
        # the run is done, with a warning, the survey's height at the vertex
        # and a point of the network at the crossing
        with TempFolder() as work:
            r = self.run_in(work, drawing(work, 7, True))
            self.assertIn("LIBVELMORA Warning -  1 break line points take the height of the survey point "
                          "they lie on", r.stdout)
            self.assertIn("the first at (1, 5): 1 becomes 30", r.stdout)
            corners = {v for f in faces(r.doc()) for v in f}
            self.assertIn((1.0, 5.0, 30.0), corners)
            self.assertIn((5.0, 5.0, 4.0), corners)
            self.assertFalse([c for c in corners if c[:2] == (1.0, 5.0) and c[2] != 30.0])

    def test_tinmaxedge_trims_and_draws_the_rest_in_order(self):
        rng = np.random.default_rng(11)
        ang = rng.uniform(0, 2 * np.pi, 1500)
        rad = 400 * np.sqrt(rng.uniform(0, 1, 1500))
        xy = np.column_stack([rad * np.cos(ang), rad * np.sin(ang)])
        fringe = rng.uniform(0, 2 * np.pi, 25)
        xy = np.vstack([xy, np.column_stack([560 * np.cos(fringe), 560 * np.sin(fringe)])])
        xy = np.round(xy + 1000, 3)
        with TempFolder() as work:
            src = os.path.join(work, "ragged.dxf")
            doc = ezdxf.new("R2000")
            for x, y in xy:
                doc.modelspace().add_point((float(x), float(y), float(x * 0.01)))
            doc.saveas(src)
            whole = faces(self.run_in(work, src).doc())
            r = self.run_in(work, src, "setvar tinmaxedge 60\n" + SCRIPT)
            kept = faces(r.doc())
        self.assertLess(len(kept), len(whole))
        self.assertIn(" - triangles removed along the edge (an edge over TINMAXEDGE 60)= %d"
                      % (len(whole) - len(kept)), r.stdout)
        longest = lambda f: max(np.hypot(a[0] - b[0], a[1] - b[1]) for a, b in ((f[0], f[1]), (f[1], f[2]), (f[2], f[0])))
        self.assertTrue(all(longest(f) <= 60 for f in kept))
        # the faces kept are the whole's, in order (which go: the library's
        # own test)
        it = iter(whole)
        self.assertTrue(all(any(f == g for g in it) for f in kept))

if __name__ == "__main__":
    unittest.main()
