"""CUTFILL end to end: generated surfaces (terrain and plane, two terrains, a pit, solids on a level) against an exact
overlay computed with shapely; the zero line, map and report read back and checked against the surfaces."""
import csv
import math
import os
import random
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from survey_support import Surface, grid_tin, overlay, plane_faces, printed  # noqa: E402
from velmora_e2e import TempFolder, run_ok, run_refused, write_faces  # noqa: E402

import ezdxf  # noqa: E402
from shapely.geometry import Point, Polygon  # noqa: E402
from shapely.ops import unary_union  # noqa: E402

REL = 1e-9


def read_report(path):
    """Band rows (name, from, to, colour, area, volume) and the totals."""
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    bands, totals = [], {}
    for r in rows[1:]:
        if r[1] == "":
            totals[r[0]] = (float(r[4]), float(r[5]))
        else:
            bands.append((r[0], float(r[1]), float(r[2]), int(r[3]), float(r[4]), float(r[5])))
    return rows[0], bands, totals


def face_corners(f):
    pts = [tuple(f.dxf.vtx0), tuple(f.dxf.vtx1), tuple(f.dxf.vtx2), tuple(f.dxf.vtx3)]
    return pts[:3] if pts[3] == pts[2] else pts


class CutFillCase(unittest.TestCase):
    def close(self, got, want, what, rel=REL):
        self.assertLessEqual(abs(got - want), rel * max(abs(want), 1.0), "%s: %r against %r" % (what, got, want))

    def check(self, ground, design=None, level=None):
        """Runs CUTFILL (design None: the level), checks every result against the
        overlay and the surfaces; returns the overlay, zero line, run and totals."""
        with TempFolder() as work:
            path = os.path.join(work, "in.dxf")
            write_faces(path, {"G": ground, **({"D": design} if design is not None else {})})
            answer = "layer D\n" if design is not None else "level %r" % level
            run = run_ok(self, work, "cutfill\nlayer G\n\n%s\nreport r.csv\n\n" % answer, drawing=path)
            ref = overlay(ground, design, level)
            _, bands, totals = read_report(os.path.join(work, "r.csv"))

            # Volumes and areas, exact against the overlay of shapely, and as printed.
            shown, ref["net"] = printed(run), ref["cut"] - ref["fill"]
            for key, row, col in (("cut", "cut", 1), ("fill", "fill", 1), ("net", "net", 1),
                                  ("cut_area", "cut", 0), ("fill_area", "fill", 0), ("area", "net", 0)):
                self.close(totals[row][col], ref[key], key)
                self.assertAlmostEqual(shown[key], totals[row][col], places=5)
            # The band rows add up to the totals.
            self.close(sum(b[4] for b in bands), totals["net"][0], "band areas")
            self.close(sum(b[5] for b in bands if b[0].startswith("cut")), totals["cut"][1], "cut bands")
            self.close(sum(b[5] for b in bands if b[0].startswith("fill")), totals["fill"][1], "fill bands")

            g = Surface(ground)
            d = Surface(design) if design is not None else None
            zs = [p[2] for t in ground + (design or []) for p in t] + ([level] if level is not None else [])
            ztol = REL * max(1.0, max(abs(z) for z in zs))

            def depth(x, y):
                return g.height(x, y) - (d.height(x, y) if d else level)

            msp = run.doc().modelspace()
            # The zero line lies on both surfaces to 1e-9 and is joined across
            # cells: an open piece ends on the compared area's outline.
            region = unary_union(g.polys)
            if d:
                region = region.intersection(unary_union(d.polys))
            zero = [e for e in msp.query("POLYLINE") if e.dxf.layer == "CUTFILL-ZERO"]
            for pl in zero:
                for v in ([] if pl.is_closed else [pl.vertices[0], pl.vertices[-1]]):
                    self.assertLess(region.boundary.distance(Point(v.dxf.location.x, v.dxf.location.y)), 1e-9)
                for v in pl.vertices:
                    x, y, z = v.dxf.location
                    self.assertLessEqual(abs(z - g.height(x, y)), 1e-9, (x, y, z))
                    self.assertLessEqual(abs(z - (d.height(x, y) if d else level)), 1e-9, (x, y, z))

            # The map covers the area once, pieces in their depth's band, draped, visible edges on levels.
            band_of = {b[3]: b for b in bands}
            width = bands[0][2] - bands[0][1] if bands[0][0] != "no change" else bands[1][2] - bands[1][1]
            faces = [f for f in msp.query("3DFACE") if f.dxf.layer == "CUTFILL-MAP"]
            polys, total = [], 0.0
            for f in faces:
                c = face_corners(f)
                polys.append(Polygon([p[:2] for p in c]))
                total += polys[-1].area
                name, lo, hi, colour, _, _ = band_of[f.dxf.color]
                dc = depth(polys[-1].centroid.x, polys[-1].centroid.y)
                self.assertTrue(lo - ztol <= dc <= hi + ztol, (name, lo, hi, dc))
                if name == "no change":
                    self.assertLessEqual(abs(dc), ztol)
                for k, p in enumerate(c):
                    self.assertLessEqual(abs(p[2] - g.height(p[0], p[1])), ztol)
                    if not f.is_invisible_edge(k):
                        q = c[(k + 1) % len(c)]
                        for x, y, _ in (p, q):
                            level_no = depth(x, y) / width
                            self.assertLessEqual(abs(level_no - round(level_no)) * width, ztol)
            self.close(total, ref["area"], "map area")
            self.close(unary_union(polys).area, ref["area"], "map union", rel=1e-8)
            return ref, zero, run, totals

    def test_terrains_against_a_tilted_plane_and_against_a_terrain(self):
        rng = random.Random(11)
        # Near the origin a crossing's last bits depend on the order of its edges:
        # the cells around it must agree for the zero line to join.
        x0, y0 = -137.0, -91.0
        ground = grid_tin(rng, x0, y0, x0 + 300, y0 + 240, 24, 20,
                          lambda x, y: 100 + 8 * math.sin((x - x0) / 37) * math.cos((y - y0) / 23) + 0.05 * (x - x0))
        # The design covers part of the ground only: compared where both are.
        design = plane_faces(x0 + 50, y0 - 20, x0 + 350, y0 + 200, lambda x, y: 101 + 0.02 * (x - x0) - 0.01 * (y - y0))
        ref, zero, _, _ = self.check(ground, design)
        self.assertAlmostEqual(ref["area"], 250 * 200, places=6)
        self.assertGreater(len(zero), 0)
        self.assertGreater(min(ref["cut"], ref["fill"]), 0)

        # Two terrains in projected coordinates.
        rng = random.Random(23)
        x0, y0 = 512000.0, 4031000.0
        ground = grid_tin(rng, x0, y0, x0 + 300, y0 + 240, 24, 20,
                          lambda x, y: 300 + 8 * math.sin((x - x0) / 37) * math.cos((y - y0) / 23))
        design = grid_tin(rng, x0 - 30, y0 + 10, x0 + 270, y0 + 250, 19, 23,
                          lambda x, y: 299 + 6 * math.cos((x - x0) / 29 + (y - y0) / 41))
        ref, zero, _, _ = self.check(ground, design)
        self.assertGreater(min(ref["cut"], ref["fill"]), 0)

    def test_design_with_a_pit_and_a_berm(self):
        """The design is the ground but for a pit (cut) and a berm (fill)."""
        rng = random.Random(5)
        x0, y0 = 0.0, 0.0

        def ground_z(x, y):
            return 50 + 3 * math.sin(x / 23) + 2 * math.cos(y / 17)

        def pit(x, y):
            # bottom at 44 over 60..120 x 50..110, sides rising 1:1
            dx = max(60 - x, 0, x - 120)
            dy = max(50 - y, 0, y - 110)
            return 44 + math.hypot(dx, dy)

        def berm(x, y):
            return 56 - 0.5 * math.hypot(x - 170, y - 60)

        ground = grid_tin(rng, x0, y0, 220, 160, 22, 16, ground_z)

        def shape(p):
            x, y, z = p
            return (x, y, max(min(z, pit(x, y)), berm(x, y)))
        design = [tuple(shape(p) for p in t) for t in ground]
        ref, zero, run, totals = self.check(ground, design)
        self.assertGreater(ref["cut"], 0)
        self.assertGreater(ref["fill"], 0)
        # Most of the site is untouched: neither cut nor fill there.
        self.assertLess(ref["cut_area"] + ref["fill_area"], 0.6 * ref["area"])
        # The zero line closes around the pit and around the berm.
        self.assertEqual(sum(1 for pl in zero if pl.is_closed), 2, [len(pl) for pl in zero])

    def test_solids_on_a_level(self):
        """A pyramid and a faceted cone on a level: a third of base times height,
        their daylight line the base's outline."""
        base = 250.0
        pyramid = [((0, 0, base), (40, 0, base), (20, 15, base + 12)),
                   ((40, 0, base), (40, 30, base), (20, 15, base + 12)),
                   ((40, 30, base), (0, 30, base), (20, 15, base + 12)),
                   ((0, 30, base), (0, 0, base), (20, 15, base + 12))]
        # The apex stands off centre; near the origin a point on a facet edge
        # depends on the end it is taken from: both facets must agree.
        n, r, h = 48, 20.0, 9.123
        ring = [(3.3 + r * math.cos(2 * math.pi * k / n), -7.1 + r * math.sin(2 * math.pi * k / n), base)
                for k in range(n)]
        cone = [(ring[k], ring[(k + 1) % n], (5.0, -9.4, base + h)) for k in range(n)]
        polygon_area = n * r * r * math.sin(2 * math.pi / n) / 2
        for tris, area, height, corners in ((pyramid, 1200.0, 12.0, 4), (cone, polygon_area, h, n)):
            _, zero, run, totals = self.check(tris, level=base)
            self.close(totals["cut"][1], area * height / 3, "solid volume", rel=1e-12)
            self.assertEqual(totals["fill"], (0.0, 0.0))
            self.close(totals["cut"][0], area, "base area", rel=1e-12)
            self.assertEqual([(pl.is_closed, len(pl)) for pl in zero], [(True, corners)])

        # The cone cut by a level: the top (the cone shrunk about its apex) is
        # cut, and the zero line one closed ring through every facet.
        _, zero, run, totals = self.check(cone, level=base + 3.21)
        self.close(totals["cut"][1], polygon_area * h / 3 * ((h - 3.21) / h) ** 3, "top of the cone", rel=1e-12)
        self.assertEqual([(pl.is_closed, len(pl)) for pl in zero], [(True, n)])


class Refusals(unittest.TestCase):
    def test_refused_inputs(self):
        rng = random.Random(3)
        ground = grid_tin(rng, 0, 0, 100, 80, 10, 8, lambda x, y: 20 + x / 10)
        plane = plane_faces(0, 0, 100, 80, lambda x, y: 21)
        far = plane_faces(500, 0, 600, 80, lambda x, y: 21)
        fold = [((0, 0, 5), (50, 0, 5), (0, 50, 5)), ((10, 10, 9), (60, 10, 9), (10, 60, 9))]
        both, level = "cutfill\nlayer G\n\nlayer D\n\n\n", "cutfill\nlayer G\n\nlevel 3\n"
        for layers, script, message in (
                # A face given twice and a fold, named by a point in both (where: cutfill_test.cpp).
                ({"G": ground + [ground[37]], "D": plane}, both, "the existing ground overlaps itself in plan at "),
                ({"G": ground, "D": fold}, both, "the design overlaps itself in plan at 20.000000,20.000000 "),
                # Nothing to compare.
                ({"G": ground, "D": far}, both, "the existing ground and the design have no area in common"),
                ({"G": ground}, "cutfill\nlayer NONE\n\nlevel 3\n\n",
                 "no 3DFACE or polygon mesh in the existing ground selection"),
                ({"G": ground}, "cutfill\nlayer G\n\nlayer NONE\n\n\n",
                 "no 3DFACE or polygon mesh in the design selection"),
                # Answers that do not read.
                ({"G": ground}, "cutfill\nlayer G\n\nlevel high\n\n", "level takes a height"),
                ({"G": ground}, level + "band -1\n\n", "band takes a positive width"),
                ({"G": ground}, level + "band 1e-9\nreport r.csv\n\n",
                 "a band width must be a positive number giving at most 1000 bands"),
                ({"G": ground}, level + "colours\n\n", "\"colours\" is not band, report or Enter"),
                ({"G": ground}, level + "report /nonexistent/r.csv\n\n", "cannot write /nonexistent/r.csv")):
            with self.subTest(message), TempFolder() as work:
                path = os.path.join(work, "in.dxf")
                write_faces(path, layers)
                run_refused(self, work, script, "CUTFILL: " + message, drawing=path)   # no map saved
                self.assertFalse(os.path.exists(os.path.join(work, "r.csv")))

    def test_units_band_and_report_layout(self):
        # The ground is one polygon mesh this time.
        for insunits, unit in ((6, "m"), (2, "ft"), (0, "")):
            with TempFolder() as work:
                path = os.path.join(work, "in.dxf")
                doc = ezdxf.new("R2000")
                doc.header["$INSUNITS"] = insunits
                mesh = doc.modelspace().add_polymesh(size=(11, 9), dxfattribs={"layer": "G"})
                for i in range(11):
                    for j in range(9):
                        mesh.set_mesh_vertex((i, j), (10 * i, 10 * j, 20 + i))
                doc.saveas(path)
                run = run_ok(self, work, "cutfill\nlayer G\n\nlevel 25\nband 0.5\nreport r.csv\n\n", drawing=path)
                u = " " + unit if unit else ""
                self.assertRegex(run.stdout, r"\nCut volume:    [0-9.]+%s\n" % (u and u + "3"))
                self.assertRegex(run.stdout, r"\nFill volume:   [0-9.]+%s\n" % (u and u + "3"))
                self.assertRegex(run.stdout, r"\nArea compared: 8000\.000000%s\n" % (u and u + "2"))
                self.assertIn("bands of 0.5%s\n" % u, run.stdout)
                header, bands, totals = read_report(os.path.join(work, "r.csv"))
                if unit:
                    self.assertEqual(header, ["band", "from (%s)" % unit, "to (%s)" % unit, "colour",
                                              "area (%s2)" % unit, "volume (%s3)" % unit])
                else:
                    self.assertEqual(header, ["band", "from", "to", "colour", "area", "volume"])
                # 20..30 against 25: ten bands of 0.5 each way, fill first, deepest first.
                self.assertEqual([b[0] for b in bands],
                                 ["fill %d" % k for k in range(10, 0, -1)] + ["cut %d" % k for k in range(1, 11)])
                self.assertEqual([(b[1], b[2]) for b in bands], [(k * 0.5, (k + 1) * 0.5) for k in range(-10, 10)])
                self.assertEqual(len({b[3] for b in bands}), 20)
                self.assertAlmostEqual(totals["cut"][1], totals["fill"][1], places=6)
                self.assertAlmostEqual(totals["net"][0], 8000.0, places=6)


if __name__ == "__main__":
    unittest.main(verbosity=2)
