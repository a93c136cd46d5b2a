"""colfe end to end on the bundled survey's TIN, read back with ezdxf: each band's plan area, computed here in closed
form from each triangle's sorted heights, against the pieces drawn in that band's colour."""
import os
import sys
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import SAMPLES, SURVEY, TempFolder, run_ok  # noqa: E402

import ezdxf  # noqa: E402

# colf_colours[0..14], red for the highest band to violet for the lowest;
# band k is drawn in COLOURS[14 - k].  The TIN itself is colour 2.
COLOURS = [10, 20, 30, 40, 50, 60, 70, 80, 90, 110, 130, 150, 170, 190, 210]


def faces(doc):
    """Corners (n, 4, 3) and edge flags of the 3DFACEs, with their colours."""
    fs = list(doc.modelspace().query("3DFACE"))
    pts = np.array([[list(f.dxf.vtx0), list(f.dxf.vtx1), list(f.dxf.vtx2), list(f.dxf.vtx3)] for f in fs])
    flags = np.array([f.dxf.get("invisible", 0) for f in fs])
    colours = np.array([f.dxf.color for f in fs])
    return pts.reshape(-1, 4, 3), flags, colours


def plan_area(p):
    """Plan areas of polygons given as (n, k, 3) corner arrays."""
    x, y = p[:, :, 0], p[:, :, 1]
    return np.abs(np.sum(x * np.roll(y, -1, axis=1) - np.roll(x, -1, axis=1) * y, axis=1)) / 2


def area_below(tris, h):
    """Plan area of each triangle where its height is at most h: with the sorted heights z0 <= z1 <= z2, the part below
    h is a similar triangle (h <= z1) or the whole less a similar triangle at the top (h > z1)."""
    z = np.sort(tris[:, :, 2], axis=1)
    z0, z1, z2 = z[:, 0], z[:, 1], z[:, 2]
    a = plan_area(tris)
    with np.errstate(divide="ignore", invalid="ignore"):
        low = a * (h - z0) ** 2 / ((z2 - z0) * (z1 - z0))
        high = a * (1 - (z2 - h) ** 2 / ((z2 - z0) * (z2 - z1)))
    return np.where(h >= z2, a, np.where(h <= z0, 0.0, np.where(h <= z1, low, high)))


class ColourMap(unittest.TestCase):
    # run_velmora loads a private copy of the add-on from the run's folder.
    def test_bands_of_the_survey_tin(self):
        with TempFolder() as work:
            with open(os.path.join(SAMPLES, "jacksboro_tin.scr")) as f:
                tin_script = f.read()
            tin_path = run_ok(self, work, tin_script, drawing=SURVEY, out="tin.dxf").out_path
            tin, _, _ = faces(ezdxf.readfile(tin_path))
            tris = tin[:, :3, :]
            self.assertGreater(len(tris), 1000)

            # Levels inside the terrain's range (parts below and above them);
            # a band height of a tenth of a unit is not exact in binary.
            zmin, zmax = tris[:, :, 2].min(), tris[:, :, 2].max()
            low = round(zmin + 0.1 * (zmax - zmin), 1)
            high = round(low + 15 * round(0.8 * (zmax - zmin) / 15, 1), 1)
            trip = " ".join("'(%d %d %d)" % tuple(COLOURS[i:i + 3]) for i in range(0, 15, 3))
            script = "(colfe '(%r %r) %s)\nall\n\n" % (low, high, trip)
            png = os.path.join(work, "map.png")
            r = run_ok(self, work, script, drawing=tin_path, extra=["--png", png])
            self.assertIn("T", r.stdout.split())
            doc = r.doc()
            self.assertEqual(len(doc.audit().errors), 0)
            self.assertFalse(os.path.exists(os.path.join(work, "colf.dxf")))
            pts, hidden, colours = faces(doc)
            self.assertTrue(set(colours) <= set(COLOURS), set(colours) - set(COLOURS))

            d = (high - low) / 15
            levels = [low + (k + 1) * d for k in range(15)]
            below = [area_below(tris, h).sum() for h in levels[:14]]
            total = plan_area(tris).sum()
            want = np.diff([0.0] + below + [total])
            got = np.array([plan_area(pts[colours == COLOURS[14 - k]]).sum() for k in range(15)])
            tol = 1e-7 * total
            for k in range(15):
                self.assertAlmostEqual(got[k], want[k], delta=tol, msg="band %d" % k)
            self.assertAlmostEqual(plan_area(pts).sum(), total, delta=tol)
            self.assertGreater(min(want[1:14]), 0)          # every inner band is there

            # Every visible edge lies on one level; every piece in its band.
            lv = np.array(levels)
            seen = 0
            for p, h, c in zip(pts, hidden, colours):
                k = 14 - COLOURS.index(c)
                bot, top = levels[k - 1] if k > 0 else -np.inf, levels[k] if k < 14 else np.inf
                self.assertTrue(np.all((p[:, 2] >= bot - 1e-6) & (p[:, 2] <= top + 1e-6)), (k, p))
                for i in range(4):
                    if not h & (1 << i):
                        za, zb = p[i, 2], p[(i + 1) % 4, 2]
                        self.assertTrue(np.any((abs(lv - za) < 1e-6) & (abs(lv - zb) < 1e-6)), (za, zb))
                        seen += 1
            self.assertGreater(seen, 1000)
            self.assertGreater(os.path.getsize(png), 10000)


if __name__ == "__main__":
    unittest.main()
