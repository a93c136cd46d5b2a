"""The outcome of add-on calls through the velmora program: a failed or
cancelled command or LISP function stops the script with a non-zero status
and its reason on standard error; a good run exits 0.  The user's files that
the add-on reads are left as they were."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import TempFolder, run_velmora  # noqa: E402


def pair(code, value):
    return "%d\n%s\n" % (code, value)


def drawing(entities):
    return pair(0, "SECTION") + pair(2, "ENTITIES") + entities + pair(0, "ENDSEC") + pair(0, "EOF")


def point(x, y, z):
    return pair(0, "POINT") + pair(8, "0") + pair(10, x) + pair(20, y) + pair(30, z)


def line(a, b, colour):
    return (pair(0, "LINE") + pair(8, "0") + pair(62, colour) + pair(10, a[0]) + pair(20, a[1])
            + pair(30, a[2]) + pair(11, b[0]) + pair(21, b[1]) + pair(31, b[2]))


def survey_with_outline(corners):
    """A 11 x 11 survey and a ring of colour 1 LINEs at elevation 0."""
    text = "".join(point(x, y, 300 + x + 2 * y) for x in range(11) for y in range(11))
    for i, a in enumerate(corners):
        b = corners[(i + 1) % len(corners)]
        text += line((a[0], a[1], 0), (b[0], b[1], 0), 1)
    return drawing(text)


class Outcome(unittest.TestCase):
    def run_on(self, folder, text, script):
        path = os.path.join(folder, "site.dxf")
        with open(path, "w") as f:
            f.write(text)
        return run_velmora(folder, script, drawing=path, out=None)

    def test_terrain(self):
        with TempFolder() as d:
            good = self.run_on(d, survey_with_outline([(2, 2), (8, 2), (8, 8), (2, 8)]),
                               "velmora\nall\n\n")
            self.assertEqual(good.returncode, 0, good.stderr)
            self.assertIn("triangles number= 72", good.stdout)

            # A bow-tie outline: refused before any face, and the script stops.
            bad = self.run_on(d, survey_with_outline([(0, 0), (10, 9), (10, 0), (0, 9)]),
                              "velmora\nall\n\n(dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0))\n")
            self.assertNotEqual(bad.returncode, 0)
            self.assertIn("LINEs of colour 1 cross at (5, 4.5)", bad.stdout)
            self.assertIn("LINEs of colour 1 cross at (5, 4.5)", bad.stderr)
            self.assertNotIn("points number=", bad.stdout)
            self.assertNotIn("(0.0 0.0 1.0)", bad.stdout)
            self.assertFalse(os.path.exists(os.path.join(d, "velmora.dxf")))

    def test_volume_and_colours(self):
        with TempFolder() as d:
            face = (pair(0, "3DFACE") + pair(8, "0") + pair(10, 0) + pair(20, 0) + pair(30, 1)
                    + pair(11, 10) + pair(21, 0) + pair(31, 2) + pair(12, 0) + pair(22, 10) + pair(32, 3)
                    + pair(13, 0) + pair(23, 10) + pair(33, 3))
            text = drawing(face)
            cancelled = self.run_on(d, text, "vol\n*cancel*\n")
            self.assertNotEqual(cancelled.returncode, 0)
            self.assertIn("*Cancel*", cancelled.stdout)
            self.assertIn("the command vol was cancelled", cancelled.stderr)

            flat = self.run_on(d, text, "vol\n1\nall\n\n")
            self.assertNotEqual(flat.returncode, 0)
            self.assertIn("Can't calculate volume", flat.stderr)
            for name in ("vol.dxf", "vol.bin"):
                self.assertFalse(os.path.exists(os.path.join(d, name)), name)

            colours = "'(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15)"
            empty = self.run_on(d, drawing(point(0, 0, 0)), "(colfe '(0.0 15.0) %s)\nall\n\n" % colours)
            self.assertNotEqual(empty.returncode, 0)
            self.assertIn("\nnil\n", empty.stdout)
            self.assertIn("Missing 3DFACE or 3DMESH", empty.stderr)

            good = self.run_on(d, text, "(colfe '(0.0 15.0) %s)\nall\n\n" % colours)
            self.assertEqual(good.returncode, 0, good.stderr)
            self.assertIn("\nT\n", good.stdout)

    def test_lisp_files(self):
        with TempFolder() as d:
            os.makedirs(os.path.join(d, "haldorin"))
            ass = os.path.join(d, "haldorin", "ass.dat")
            with open(ass, "w") as f:
                f.write("2 5\nlemon\napple\ngrape\n")
            run = run_velmora(d, "(ass)\n", out=None)
            self.assertNotEqual(run.returncode, 0)
            self.assertIn("*ASS 3 record lines, the head line says 2*", run.stderr)
            with open(ass) as f:
                self.assertEqual(f.read(), "2 5\nlemon\napple\ngrape\n")

            run = run_velmora(d, "(inters_ltri 2147483647 2147483647)\n", out=None)
            self.assertNotEqual(run.returncode, 0)
            self.assertIn("OPEN c:/haldorin/0.scr", run.stderr)
            self.assertNotIn("malloc", run.stdout)


if __name__ == "__main__":
    unittest.main()
