"""CUTFILL's net volume against the grid method of vol, both through the
velmora program: vol measures each surface down to a common base plane, and
the difference of the two is the net that vol's grid gives.  The grid loses
the strips along the outline between the last whole cells and the edge, so
its error is first order: it halves as the increment halves."""
import math
import os
import random
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from cutfill_support import Surface, grid_tin, plane_faces, printed, write_drawing  # noqa: E402
from velmora_e2e import TempFolder, run_velmora  # noqa: E402


def vol_of(work, path, layers, increment):
    run = run_velmora(work, "vol\n%r\nlayer %s\n\n" % (increment, layers), drawing=path, out=None)
    m = re.search(r"[\r\n]Volume:  (-?[0-9.]+)", run.stdout)
    if run.returncode != 0 or not m:
        raise AssertionError("vol failed (rc %d):\n%s\n%s" % (run.returncode, run.stdout, run.stderr))
    return float(m.group(1))


class AgainstVol(unittest.TestCase):
    def test_net_against_the_grid_as_it_refines(self):
        # The outline starts a third of the coarsest increment before a grid
        # line and ends two thirds after one, so that at every increment of
        # the halving series the strips lost on opposite sides add up to one
        # cell's width: the error is then proportional to the increment.
        coarse = 8.0
        x0, y0 = 1000 - coarse / 3, 2000 - coarse / 3
        w, h = 38 * coarse, 30 * coarse
        rng = random.Random(17)
        ground = grid_tin(rng, x0, y0, x0 + w, y0 + h, 24, 20,
                          lambda x, y: 100 + 8 * math.sin((x - x0) / 37) * math.cos((y - y0) / 23) + 0.05 * (x - x0))
        design = grid_tin(rng, x0, y0, x0 + w, y0 + h, 17, 23,
                          lambda x, y: 99 + 6 * math.cos((x - x0) / 29 + (y - y0) / 41))
        base = plane_faces(x0, y0, x0 + w, y0 + h, lambda x, y: 50.0)
        with TempFolder() as work:
            path = os.path.join(work, "in.dxf")
            write_drawing(path, {"G": ground, "D": design, "BASE": base})
            run = run_velmora(work, "cutfill\nlayer G\n\nlayer D\n\n\n", drawing=path, out=None)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            got = printed(run)
            net = got["net"]
            self.assertAlmostEqual(net, got["cut"] - got["fill"], places=5)
            self.assertGreater(got["fill"], 0)

            # The largest depth along the outline bounds what the strips hold.
            g, d = Surface(ground), Surface(design)
            edge = [(x0 + w * k / 200, y0) for k in range(201)] + [(x0 + w * k / 200, y0 + h) for k in range(201)] + \
                   [(x0, y0 + h * k / 200) for k in range(201)] + [(x0 + w, y0 + h * k / 200) for k in range(201)]
            deepest = max(abs(g.height(x, y) - d.height(x, y)) for x, y in edge)

            per_increment = []
            for inc in (coarse, coarse / 2, coarse / 4, coarse / 8):
                grid_net = vol_of(work, path, "G,BASE", inc) - vol_of(work, path, "D,BASE", inc)
                error = grid_net - net
                # A strip up to a cell wide along the whole outline.
                self.assertLess(abs(error), 2 * (w + h) * inc * deepest)
                per_increment.append(error / inc)
            # The error halves with the increment: error / increment keeps
            # its sign and its size (within the wobble of how the strips fall
            # on the grid), and at the finest grid it is small.
            sizes = [abs(e) for e in per_increment]
            self.assertEqual(len({e > 0 for e in per_increment}), 1, per_increment)
            self.assertLess(max(sizes) / min(sizes), 1.3, per_increment)
            self.assertLess(abs(per_increment[-1] * coarse / 8), 0.01 * abs(net))

if __name__ == "__main__":
    unittest.main(verbosity=2)
