"""CONTOUR end to end on the bundled survey's TIN, read back with ezdxf: the
length of every level against matplotlib's tricontour on the same triangles,
every vertex on its level and on a triangle edge, majors and their labels, the
new TEXTs audited in every DXF version, and selections without faces refused."""
import collections
import math
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import SAMPLES, TempFolder, run_velmora  # noqa: E402

import ezdxf  # noqa: E402
import matplotlib  # noqa: E402

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import matplotlib.tri as mtri  # noqa: E402
import numpy as np  # noqa: E402


def tin_of(doc):
    """Corners (unique, exact) and triangles of the TRIANG faces."""
    index, corners, tris = {}, [], []
    for f in doc.modelspace().query("3DFACE[layer=='TRIANG']"):
        t = []
        for v in (f.dxf.vtx0, f.dxf.vtx1, f.dxf.vtx2):
            key = (v.x, v.y, v.z)
            if key not in index:
                index[key] = len(corners)
                corners.append(key)
            t.append(index[key])
        tris.append(t)
    return np.array(corners), np.array(tris)


def contours_of(doc):
    """{level: [(vertices, closed, layer)]} of the contour polylines."""
    out = collections.defaultdict(list)
    for pl in doc.modelspace().query("POLYLINE"):
        if pl.dxf.layer in ("CONTOUR-MINOR", "CONTOUR-MAJOR"):
            v = np.array([tuple(p.dxf.location) for p in pl.vertices])
            out[v[0, 2]].append((v, pl.is_closed, pl.dxf.layer))
    return out


def edge_miss(tris, points, level):
    """For each point (x, y) and its triangle (3 x 3 corners): how far the
    point at `level` is from the nearest edge of the triangle, in plan and in
    height, relative to the edge's size."""
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


def plan_length(v, closed):
    if closed:
        v = np.vstack([v, v[:1]])
    return float(np.sum(np.hypot(np.diff(v[:, 0]), np.diff(v[:, 1]))))


class Contour(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        """The TIN of the bundled survey, contoured at the default interval
        and at 1 m, where 24 levels pass exactly through survey points."""
        cls.folder = TempFolder()
        work = cls.folder.__enter__()
        tin = run_velmora(work, "velmora\nall\n\n",
                          drawing=os.path.join(SAMPLES, "jacksboro_survey.dxf"), out="tin.dxf")
        assert tin.returncode == 0, tin.stdout + tin.stderr
        cls.runs = {}
        for name, interval in (("default", ""), ("metre", "1")):
            run = run_velmora(work, "contour\nlayer TRIANG\n\n%s\n\n" % interval,
                              drawing=tin.out_path, out=name + ".dxf")
            assert run.returncode == 0, run.stdout + run.stderr
            cls.runs[name] = (run, run.doc())
        cls.corners, cls.tris = tin_of(cls.runs["default"][1])

    @classmethod
    def tearDownClass(cls):
        cls.folder.__exit__(None, None, None)

    def test_lengths_per_level_match_matplotlib(self):
        triang = mtri.Triangulation(self.corners[:, 0], self.corners[:, 1], self.tris)
        z = self.corners[:, 2]
        hits = 0
        for name, (run, doc) in self.runs.items():
            ours = contours_of(doc)
            step = 50.0 if name == "default" else 1.0
            levels = [k * step for k in range(int(math.ceil(z.min() / step)), int(z.max() // step) + 1)]
            cs = plt.tricontour(triang, z, levels=levels)
            theirs = {lv: sum(plan_length(s, False) for s in segs) for lv, segs in zip(levels, cs.allsegs)}
            plt.close("all")
            self.assertEqual(sorted(ours), [lv for lv in levels if theirs[lv] > 0], name)
            for lv in ours:
                mine = sum(plan_length(v, closed) for v, closed, _ in ours[lv])
                self.assertLess(abs(mine - theirs[lv]) / theirs[lv], 1e-6, (name, lv))
            hits += sum(1 for lv in ours if np.any(z == lv))
        self.assertGreaterEqual(hits, 20)    # levels through survey points were compared too

    def test_vertices_lie_on_their_level_and_on_a_triangle_edge(self):
        c, t = self.corners, self.tris
        finder = mtri.Triangulation(c[:, 0], c[:, 1], t).get_trifinder()
        for name, (run, doc) in self.runs.items():
            for lv, lines in contours_of(doc).items():
                v = np.vstack([line for line, _, _ in lines])
                self.assertTrue(np.all(v[:, 2] == lv), (name, lv))
                found = finder(v[:, 0], v[:, 1])
                inside = found >= 0
                miss = edge_miss(c[t[found[inside]]], v[inside], lv)
                self.assertLess(float(miss.max(initial=0)), 1e-9, (name, lv))
                # Points the finder does not place (on the outer edge): any triangle.
                for p in v[~inside]:
                    self.assertLess(float(edge_miss(c[t], np.tile(p, (len(t), 1)), lv).min()), 1e-9,
                                    (name, lv, p))

    def test_lines_end_only_on_the_outer_edge_or_at_a_corner_on_their_level(self):
        """Pieces are joined across triangle edges: an open line ends where
        the surface ends, or where lines branch at a corner on the level."""
        count = collections.Counter(tuple(sorted(e)) for tri in self.tris
                                    for e in ((tri[0], tri[1]), (tri[1], tri[2]), (tri[2], tri[0])))
        outer = np.array([[self.corners[a], self.corners[b], self.corners[b]]
                          for (a, b), n in count.items() if n == 1])
        corners = {tuple(p) for p in self.corners}
        for name, (run, doc) in self.runs.items():
            ends = 0
            for lv, lines in contours_of(doc).items():
                for v, closed, _ in lines:
                    if closed:
                        continue
                    for p in (v[0], v[-1]):
                        ends += 1
                        if tuple(p) in corners:
                            continue
                        with np.errstate(invalid="ignore", divide="ignore"):   # the b-b edge
                            miss = edge_miss(outer, np.tile(p, (len(outer), 1)), lv)
                        self.assertLess(float(miss.min()), 1e-9, (name, lv, p))
            self.assertGreater(ends, 0)

    def test_majors_every_fifth_level_with_their_level_as_label(self):
        run, doc = self.runs["default"]
        self.assertIn("CONTOUR: 15 levels from 300 to 1000 (3 major)", run.stdout)
        self.assertIn("Contour interval <50>: ", run.stdout)
        ours = contours_of(doc)
        for lv, lines in ours.items():
            want = "CONTOUR-MAJOR" if lv % 250 == 0 else "CONTOUR-MINOR"
            self.assertTrue(all(layer == want for _, _, layer in lines), lv)
        labels = doc.modelspace().query("TEXT[layer=='CONTOUR-MAJOR']")
        self.assertGreater(len(labels), 10)
        for text in labels:
            lv = float(text.dxf.text)
            self.assertIn(lv, (500.0, 750.0, 1000.0))
            self.assertEqual((text.dxf.halign, text.dxf.valign), (1, 2))
            at = text.dxf.align_point
            self.assertEqual(at.z, lv)
            # On one of that level's lines.
            near = min(self.distance_to_line(at, v, closed) for v, closed, _ in ours[lv])
            self.assertLess(near, 1e-6)
        auditor = doc.audit()
        self.assertEqual(len(auditor.errors), 0, [str(e) for e in auditor.errors])

    @staticmethod
    def distance_to_line(p, v, closed):
        if closed:
            v = np.vstack([v, v[:1]])
        best = math.inf
        for a, b in zip(v[:-1], v[1:]):
            d = b[:2] - a[:2]
            s = float(np.clip(((p.x - a[0]) * d[0] + (p.y - a[1]) * d[1]) / float(d @ d), 0, 1))
            best = min(best, math.hypot(a[0] + s * d[0] - p.x, a[1] + s * d[1] - p.y))
        return best

    def test_new_texts_audit_clean_in_every_version_and_in_the_export(self):
        pyramid = "".join("3dface\n0,0,10\n%s\n%s\n\n\n" % (a, b) for a, b in (
            ("10,10,0", "-10,10,0"), ("-10,10,0", "-10,-10,0"), ("-10,-10,0", "10,-10,0"), ("10,-10,0", "10,10,0")))
        script = pyramid + "contour\nall\n\n2.5\n2\ndxfout\nexport.dxf\nv\nr12\nentities\nall\n\n\n"
        with TempFolder() as work:
            for version in ("R12", "R2000", "R2004", "R2007", "R2010", "R2013", "R2018", None):
                path = None
                if version:
                    path = os.path.join(work, version + ".dxf")
                    ezdxf.new(version).saveas(path)
                run = run_velmora(work, script, drawing=path, out="out.dxf")
                self.assertEqual(run.returncode, 0, (version, run.stdout, run.stderr))
                for saved in ("out.dxf", "export.dxf"):
                    doc = ezdxf.readfile(os.path.join(work, saved))
                    texts = doc.modelspace().query("TEXT")
                    self.assertEqual([t.dxf.text for t in texts], ["5"], (version, saved))
                    self.assertEqual(texts[0].dxf.layer, "CONTOUR-MAJOR")
                    self.assertEqual(tuple(texts[0].dxf.align_point), (tuple(texts[0].dxf.insert)))
                    self.assertEqual(texts[0].dxf.insert.z, 5.0)
                    auditor = doc.audit()
                    self.assertEqual(len(auditor.errors), 0, (version, saved, [str(e) for e in auditor.errors]))

    def test_selections_without_faces_and_bad_answers_are_refused(self):
        with TempFolder() as work:
            for script, message in (
                    ("contour\nlayer SURVEY\n\n", "no 3DFACE or polygon mesh in the selection; nothing drawn"),
                    ("contour\nall\n\n-5\n\n", "the interval must be a positive number"),
                    ("contour\nall\n\nfifty\n\n", "\"fifty\" is not a number"),
                    ("contour\nall\n\n\n2.5\n", "the major contour step must be a whole number")):
                run = run_velmora(work, script, drawing=os.path.join(SAMPLES, "jacksboro_survey.dxf")
                                  if "SURVEY" in script else self.runs["default"][0].out_path.replace(
                                      "default.dxf", "tin.dxf"))
                self.assertNotEqual(run.returncode, 0, script)
                self.assertIn("CONTOUR: " + message, run.stderr)
                self.assertFalse(os.path.exists(run.out_path), script)     # a failed run saves nothing


if __name__ == "__main__":
    unittest.main()
