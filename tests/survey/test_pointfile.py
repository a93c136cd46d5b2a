"""Point files end to end: the bundled survey's point file gives the survey's
own points with their numbers and descriptions, and bad rows refused with
their line numbers (description layers: pointfile_test.cpp) (the README's example,
point file to contours and LandXML: test_readme.py)."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import SAMPLES, TempFolder, run_ok, run_velmora  # noqa: E402

import ezdxf  # noqa: E402

POINTS = os.path.join(SAMPLES, "jacksboro_points.csv")


class PointFile(unittest.TestCase):
    def test_the_sample_file_gives_the_surveys_points_numbers_and_descriptions(self):
        survey = [tuple(p.dxf.location) for p in
                  ezdxf.readfile(os.path.join(SAMPLES, "jacksboro_survey.dxf")).modelspace().query("POINT")]
        with TempFolder() as work:
            run = run_ok(self, work, "", extra=["--points", POINTS])
            self.assertIn("3000 points (PNEZD from its header)", run.stdout)
            msp = run.doc().modelspace()
            self.assertEqual([tuple(p.dxf.location) for p in msp.query("POINT")], survey)
            labels = msp.query("TEXT[layer=='POINT-LABEL']")
            self.assertEqual(len(labels), 3000)
            self.assertEqual(labels[0].dxf.text, "1001 GROUND")
            self.assertEqual(labels[2999].dxf.text.split()[0], "4000")

    def test_bad_rows_are_refused_by_line(self):
        with TempFolder() as work:
            path = os.path.join(work, "field.txt")
            with open(path, "w") as f:
                f.write("# total station export\n"
                        "1\t5000.000\t2000.000\t100.50\tCP1\n"
                        "2\t5010.000\t2000.000\n"
                        "3\t5010.000\t2010,5\t101.00\tFENCE\n"
                        "4\t5020.000\t2010.000\t1e13\tFENCE\n"
                        "5\t5020.000\t2020.000\t102.25\tTOP OF BANK\n")
            run = run_velmora(work, "", extra=["--points", path])
            self.assertNotEqual(run.returncode, 0)
            self.assertIn("--points %s: POINTFILE: %s: 3 row(s) cannot be read; nothing drawn" % (path, path),
                          run.stderr)
            # Each row named (every reason: pointfile_test.cpp, with skipbad).
            for line in ("line 3: 3 column(s) where PNEZD needs 4", "line 4: easting \"2010,5\" is not a number",
                         "line 5: elevation 1e13 is beyond 1e12"):
                self.assertIn("POINTFILE: %s: %s" % (path, line), run.stdout)
            self.assertFalse(os.path.exists(run.out_path))     # a failed run saves nothing


if __name__ == "__main__":
    unittest.main()
