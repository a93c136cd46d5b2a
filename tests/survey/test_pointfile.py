"""Point files end to end: the bundled survey's point file gives the survey's
own points with their numbers and descriptions, description layers on
request, bad rows refused with their line numbers (and drawn around with
skipbad), and the README's first example, point file to contours and LandXML."""
import os
import sys
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import SAMPLES, TempFolder, run_velmora  # noqa: E402

import ezdxf  # noqa: E402

POINTS = os.path.join(SAMPLES, "jacksboro_points.csv")


class PointFile(unittest.TestCase):
    def test_the_sample_file_gives_the_surveys_points_numbers_and_descriptions(self):
        survey = [tuple(p.dxf.location) for p in
                  ezdxf.readfile(os.path.join(SAMPLES, "jacksboro_survey.dxf")).modelspace().query("POINT")]
        with TempFolder() as work:
            run = run_velmora(work, "", extra=["--points", POINTS])
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            self.assertIn("3000 points (PNEZD from its header)", run.stdout)
            msp = run.doc().modelspace()
            self.assertEqual([tuple(p.dxf.location) for p in msp.query("POINT")], survey)
            labels = msp.query("TEXT[layer=='POINT-LABEL']")
            self.assertEqual(len(labels), 3000)
            self.assertEqual(labels[0].dxf.text, "1001 GROUND")
            self.assertEqual(labels[2999].dxf.text.split()[0], "4000")

            run = run_velmora(work, "pointfile %s layers\n\n" % POINTS)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            msp = run.doc().modelspace()
            by_layer = {name: len(msp.query("POINT[layer=='%s']" % name))
                        for name in ("GROUND", "EDGE", "POND", "QUARRY")}
            self.assertEqual(by_layer, {"GROUND": 2964, "EDGE": 24, "POND": 7, "QUARRY": 5})

    def test_bad_rows_are_refused_by_line_unless_skipbad(self):
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
            for line in ("line 3: 3 column(s) where PNEZD needs 4", "line 4: easting \"2010,5\" is not a number",
                         "line 5: elevation 1e13 is beyond 1e12"):
                self.assertIn("POINTFILE: %s: %s" % (path, line), run.stdout)
            self.assertFalse(os.path.exists(run.out_path))     # a failed run saves nothing

            run = run_velmora(work, "pointfile %s skipbad\n\n" % path)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            msp = run.doc().modelspace()
            self.assertEqual([tuple(p.dxf.location) for p in msp.query("POINT")],
                             [(2000.0, 5000.0, 100.5), (2020.0, 5020.0, 102.25)])
            self.assertEqual([t.dxf.text for t in msp.query("TEXT")], ["1 CP1", "5 TOP OF BANK"])

    def test_the_readme_example_point_file_to_contours_and_landxml(self):
        with open(os.path.join(SAMPLES, "jacksboro_contours.scr")) as f:
            script = f.read()
        with TempFolder() as work:
            os.mkdir(os.path.join(work, "out"))
            run = run_velmora(work, script, out="out/jacksboro_contours.dxf",
                              extra=["--points", POINTS, "--png", os.path.join(work, "out", "contours.png")])
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            self.assertIn("CONTOUR: 15 levels from 300 to 1000 (3 major)", run.stdout)
            msp = run.doc().modelspace()
            faces = len(msp.query("3DFACE[layer=='TRIANG']"))
            self.assertGreater(faces, 5000)
            self.assertGreater(len(msp.query("POLYLINE[layer=='CONTOUR-MAJOR']")), 10)
            root = ET.parse(os.path.join(work, "out", "jacksboro_tin.xml")).getroot()
            self.assertEqual(len(root.findall(".//{http://www.landxml.org/schema/LandXML-1.2}F")), faces)
            with open(os.path.join(work, "out", "contours.png"), "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")


if __name__ == "__main__":
    unittest.main()
