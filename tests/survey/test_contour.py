"""CONTOUR end to end on a generated TIN, read back with ezdxf: each level's length against matplotlib's tricontour,
vertices on their level and on edges, ends on the outer edge or at corners, majors and labels, TEXTs audited in every
version, and bad selections and answers refused."""
import collections
import math
import os
import random
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from survey_support import grid_tin  # noqa: E402
from velmora_e2e import SURVEY, SharedFolder, TempFolder, bundled_tin, run_ok, run_refused, write_faces  # noqa: E402

import ezdxf  # noqa: E402
import matplotlib  # noqa: E402

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import matplotlib.tri as mtri  # noqa: E402
import numpy as np  # noqa: E402


def contours_of(doc):
    """{level: [(vertices, closed, layer)]} of the contour polylines."""
    out = collections.defaultdict(list)
    for pl in doc.modelspace().query("POLYLINE"):
        if pl.dxf.layer in ("CONTOUR-MINOR", "CONTOUR-MAJOR"):
            v = np.array([tuple(p.dxf.location) for p in pl.vertices])
            out[v[0, 2]].append((v, pl.is_closed, pl.dxf.layer))
    return out


def edge_miss(tris, points, level):
    """For each point and its triangle (3 x 3 corners): how far the point at
    `level` is from the triangle's nearest edge, relative to the edge's size."""
    best = np.full(len(points), np.inf)
    for i, j in ((0, 1), (1, 2), (2, 0)):
        a, b = tris[:, i], tris[:, j]
        d = b[:, :2] - a[:, :2]
        s = np.clip(np.sum((points[:, :2] - a[:, :2]) * d, axis=1) / np.sum(d * d, axis=1), 0, 1)
        p = a + s[:, None] * (b - a)
        scale = np.hypot(d[:, 0], d[:, 1]) + np.abs(b[:, 2] - a[:, 2])
        miss = np.maximum(np.hypot(p[:, 0] - points[:, 0], p[:, 1] - points[:, 1]), np.abs(p[:, 2] - level))
        best = np.fmin(best, miss / scale)
    return best


def segments(v, closed):
    return zip(v, np.vstack([v[1:], v[:1]]) if closed else v[1:])


def distance_to_line(p, v, closed):
    best = math.inf
    for a, b in segments(v, closed):
        d = b[:2] - a[:2]
        s = float(np.clip(((p[0] - a[0]) * d[0] + (p[1] - a[1]) * d[1]) / float(d @ d), 0, 1))
        best = min(best, math.hypot(a[0] + s * d[0] - p[0], a[1] + s * d[1] - p[1]))
    return best


def lengths_against_matplotlib(test, triang, z, step, ours, what):
    """Matplotlib's levels at `step` are ours, each of the same length to 1e-6."""
    levels = [k * step for k in range(int(math.ceil(z.min() / step)), int(z.max() // step) + 1)]
    cs = plt.tricontour(triang, z, levels=levels)
    theirs = {lv: sum(float(np.sum(np.hypot(*np.diff(s[:, :2], axis=0).T))) for s in segs)
              for lv, segs in zip(levels, cs.allsegs)}
    plt.close("all")
    test.assertEqual(sorted(ours), [lv for lv in levels if theirs[lv] > 0], what)
    for lv, lines in ours.items():
        mine = sum(math.hypot(*(b - a)[:2]) for v, closed, _ in lines for a, b in segments(v, closed))
        test.assertLess(abs(mine - theirs[lv]) / theirs[lv], 1e-6, (what, lv))


def upright(degrees):
    """A label reads left to right: its angle in (-90, 90]."""
    r = degrees % 360
    return r <= 90 or r > 270


class Contour(SharedFolder):
    @classmethod
    def setUpClass(cls):
        """A hill of 300 x 240 m far from the origin, contoured at the default
        interval and at 1 m (levels through the whole-number corners)."""
        x0, y0 = 512000.0, 4031000.0
        tris = grid_tin(random.Random(7), x0, y0, x0 + 300, y0 + 240, 20, 16,
                        lambda x, y: 120 + 15 * math.sin((x - x0) / 53) * math.cos((y - y0) / 41) + 0.05 * (x - x0),
                        whole=True)
        index = {}
        cls.tris = np.array([[index.setdefault(p, len(index)) for p in t] for t in tris])
        cls.corners = np.array(sorted(index, key=index.get))
        super().setUpClass()
        cls.tin = os.path.join(cls.work, "tin.dxf")
        write_faces(cls.tin, {"TRIANG": tris})
        cls.runs = {}
        for name, interval in (("default", ""), ("metre", "1")):
            run = run_ok(None, cls.work, "contour\nlayer TRIANG\n\n%s\n\n" % interval, drawing=cls.tin,
                         out=name + ".dxf")
            cls.runs[name] = (run, run.doc())

    def test_lines_against_matplotlib_and_the_triangles(self):
        c, t, z = self.corners, self.tris, self.corners[:, 2]
        triang = mtri.Triangulation(c[:, 0], c[:, 1], t)
        finder = triang.get_trifinder()
        count = collections.Counter(tuple(sorted(e)) for tri in t for e in ((tri[0], tri[1]), (tri[1], tri[2]),
                                                                           (tri[2], tri[0])))
        outer = np.array([[c[a], c[b], c[b]] for (a, b), n in count.items() if n == 1])
        corner_set = {tuple(p) for p in c}
        through_corners = 0
        for name, (run, doc) in self.runs.items():
            ours = contours_of(doc)
            lengths_against_matplotlib(self, triang, z, 2.0 if name == "default" else 1.0, ours, name)
            for lv, lines in ours.items():
                # Each vertex on its level and on an edge of its triangle (any, on the outer edge).
                v = np.vstack([line for line, _, _ in lines])
                self.assertTrue(np.all(v[:, 2] == lv), (name, lv))
                found = finder(v[:, 0], v[:, 1])
                inside = found >= 0
                self.assertLess(float(edge_miss(c[t[found[inside]]], v[inside], lv).max(initial=0)), 1e-9, (name, lv))
                for p in v[~inside]:
                    self.assertLess(float(edge_miss(c[t], np.tile(p, (len(t), 1)), lv).min()), 1e-9, (name, lv, p))
                # Pieces are joined: an open line ends on the outer edge or at a corner where lines branch.
                for line, closed, _ in lines:
                    for p in ([] if closed else (line[0], line[-1])):
                        if tuple(p) not in corner_set:
                            with np.errstate(invalid="ignore", divide="ignore"):   # the b-b edge
                                miss = edge_miss(outer, np.tile(p, (len(outer), 1)), lv)
                            self.assertLess(float(miss.min()), 1e-9, (name, lv, p))
            through_corners += sum(1 for lv in ours if np.any(z == lv))
        self.assertGreaterEqual(through_corners, 20)    # levels through corners were compared too

    def test_majors_every_fifth_level_with_their_level_as_label(self):
        run, doc = self.runs["default"]
        self.assertIn("Contour interval <2>: ", run.stdout)
        ours = contours_of(doc)
        majors = sum(1 for lv in ours if lv % 10 == 0)
        self.assertGreaterEqual(majors, 2)
        self.assertIn("CONTOUR: %d levels from %g to %g (%d major)" % (len(ours), min(ours), max(ours), majors),
                      run.stdout)
        for lv, lines in ours.items():
            want = "CONTOUR-MAJOR" if lv % 10 == 0 else "CONTOUR-MINOR"
            self.assertTrue(all(layer == want for _, _, layer in lines), lv)
        labels = doc.modelspace().query("TEXT[layer=='CONTOUR-MAJOR']")
        self.assertGreaterEqual(len(labels), 2)
        for text in labels:
            lv = float(text.dxf.text)
            self.assertEqual((text.dxf.halign, text.dxf.valign), (1, 2))
            self.assertTrue(upright(text.dxf.rotation), text.dxf.rotation)
            at = text.dxf.align_point
            self.assertEqual(at.z, lv)
            self.assertLess(min(distance_to_line(at, v, closed) for v, closed, _ in ours[lv]), 1e-6)

    def test_a_pyramid_in_every_version_and_in_the_export(self):
        """A pyramid's level 5 is a closed square, a major with one label; 2.5 and
        7.5 are minors; all audit clean wherever they go."""
        pyramid = "".join("3dface\n0,0,10\n%s\n%s\n\n\n" % (a, b) for a, b in (
            ("10,10,0", "-10,10,0"), ("-10,10,0", "-10,-10,0"), ("-10,-10,0", "10,-10,0"), ("10,-10,0", "10,10,0")))
        script = pyramid + "contour\nall\n\n2.5\n2\ndxfout\nexport.dxf\nv\nr12\nentities\nall\n\n\n"
        with TempFolder() as work:
            for version in ("R12", "R2000", "R2004", "R2007", "R2010", "R2013", "R2018", None):
                path = None
                if version:
                    path = os.path.join(work, version + ".dxf")
                    ezdxf.new(version).saveas(path)
                run = run_ok(self, work, script, drawing=path, out="out.dxf")
                self.assertIn("Contour interval <0.5>: ", run.stdout)
                self.assertIn("CONTOUR: 3 levels from 2.5 to 7.5 (1 major), 3 polylines, 1 labels", run.stdout)
                for saved in ("out.dxf", "export.dxf"):
                    doc = ezdxf.readfile(os.path.join(work, saved))
                    lines = doc.modelspace().query("POLYLINE")
                    self.assertEqual(sorted((pl.dxf.layer, pl.is_3d_polyline, pl.is_closed, pl.dxf.color)
                                            for pl in lines),
                                     [("CONTOUR-MAJOR", True, True, 256)] + [("CONTOUR-MINOR", True, True, 256)] * 2)
                    texts = doc.modelspace().query("TEXT")
                    self.assertEqual([t.dxf.text for t in texts], ["5"], (version, saved))
                    self.assertEqual(texts[0].dxf.layer, "CONTOUR-MAJOR")
                    self.assertEqual(tuple(texts[0].dxf.align_point), (tuple(texts[0].dxf.insert)))
                    self.assertEqual(texts[0].dxf.insert.z, 5.0)
                    self.assertTrue(upright(texts[0].dxf.rotation), texts[0].dxf.rotation)
                    auditor = doc.audit()
                    self.assertEqual(len(auditor.errors), 0, (version, saved, [str(e) for e in auditor.errors]))

    def test_selections_without_faces_and_bad_answers_are_refused(self):
        for script, message in (
                ("contour\nlayer SURVEY\n\n", "no 3DFACE or polygon mesh in the selection; nothing drawn"),
                ("contour\nall\n\n-5\n\n", "the interval must be a positive number"),
                ("contour\nall\n\nfifty\n\n", "\"fifty\" is not a number"),
                ("contour\nall\n\n\n2.5\n", "the major contour step must be a whole number")):
            run_refused(self, self.work, script, "CONTOUR: " + message, stream="stderr",
                        drawing=SURVEY if "SURVEY" in script else self.tin, out="bad.dxf")


class BundledSurvey(unittest.TestCase):
    def test_lengths_per_level_match_matplotlib_on_the_bundled_survey(self):
        """The bundled survey's terrain at 50 m and 1 m (levels through survey
        points): every level's length against matplotlib's."""
        with TempFolder() as work:
            tin = bundled_tin(self, work)
            index, tris = {}, []
            for f in tin.doc().modelspace().query("3DFACE[layer=='TRIANG']"):
                tris.append([index.setdefault(tuple(v), len(index)) for v in (f.dxf.vtx0, f.dxf.vtx1, f.dxf.vtx2)])
            c = np.array(sorted(index, key=index.get))
            z = c[:, 2]
            triang = mtri.Triangulation(c[:, 0], c[:, 1], np.array(tris))
            through_points = 0
            for step in (50.0, 1.0):
                run = run_ok(self, work, "contour\nlayer TRIANG\n\n%g\n\n" % step, drawing=tin.out_path,
                             out="contour.dxf")
                ours = contours_of(run.doc())
                lengths_against_matplotlib(self, triang, z, step, ours, step)
                through_points += sum(1 for lv in ours if np.any(z == lv))
            self.assertGreaterEqual(through_points, 20)


if __name__ == "__main__":
    unittest.main()
