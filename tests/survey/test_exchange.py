"""Survey files in and out, end to end.  LANDXML: the bundled survey's TIN as LandXML 1.2, checked with Python's XML
reader and read back as the same faces; an imperial drawing's units and name (refusals: landxml_test.cpp).  Point files:
the bundled one gives the survey's points, numbers and descriptions; bad rows are refused by line (layers:
pointfile_test.cpp)."""
import os
import sys
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import SAMPLES, SURVEY, SharedFolder, TempFolder, bundled_tin, run_ok, run_refused  # noqa: E402

import ezdxf  # noqa: E402

NS = {"l": "http://www.landxml.org/schema/LandXML-1.2"}
POINTS = os.path.join(SAMPLES, "jacksboro_points.csv")


def faces_of(doc, layer):
    return [tuple(tuple(f.dxf.get(k)) for k in ("vtx0", "vtx1", "vtx2", "vtx3"))
            for f in doc.modelspace().query("3DFACE[layer=='%s']" % layer)]


class LandXml(SharedFolder):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.tin = bundled_tin(None, cls.work, out="jacksboro.dxf").out_path
        cls.xml = os.path.join(cls.work, "jacksboro.xml")
        cls.landxml_run = run_ok(None, cls.work, "landxml %s\nlayer TRIANG\n\n" % cls.xml, drawing=cls.tin, out=None)
        cls.faces = faces_of(ezdxf.readfile(cls.tin), "TRIANG")

    def test_the_file_is_a_landxml_tin_with_each_corner_once(self):
        root = ET.parse(self.xml).getroot()
        self.assertEqual(root.tag, "{%s}LandXML" % NS["l"])
        self.assertEqual(root.get("version"), "1.2")
        self.assertRegex(root.get("date"), r"^\d{4}-\d\d-\d\d$")
        self.assertRegex(root.get("time"), r"^\d\d:\d\d:\d\d$")
        self.assertEqual([child.tag.split("}")[1] for child in root], ["Units", "Project", "Application", "Surfaces"])
        self.assertEqual(root.find("l:Units/l:Metric", NS).get("linearUnit"), "meter")
        # The bundled survey says nothing of its units: metres, with a note.
        self.assertIn("LANDXML: the drawing has no INSUNITS: the units are written as metres", self.landxml_run.stdout)
        self.assertEqual(root.find("l:Project", NS).get("name"), "jacksboro")
        surfaces = root.findall("l:Surfaces/l:Surface", NS)
        self.assertEqual([s.get("name") for s in surfaces], ["jacksboro"])
        definition = surfaces[0].find("l:Definition", NS)
        self.assertEqual(definition.get("surfType"), "TIN")

        points = {}
        for p in definition.findall("l:Pnts/l:P", NS):
            n, e, z = (float(v) for v in p.text.split())
            self.assertNotIn(p.get("id"), points)
            points[p.get("id")] = (e, n, z)
        self.assertEqual(sorted(points, key=int), [str(i) for i in range(1, len(points) + 1)])
        self.assertEqual(len(set(points.values())), len(points))
        self.assertEqual(float(definition.get("elevMax")), max(z for _, _, z in points.values()))
        self.assertEqual(float(definition.get("elevMin")), min(z for _, _, z in points.values()))

        faces = [tuple(points[i] for i in f.text.split()) for f in definition.findall("l:Faces/l:F", NS)]
        self.assertEqual(faces, [f[:3] for f in self.faces])
        self.assertEqual({c for f in faces for c in f}, set(points.values()))

    def test_read_back_gives_the_same_faces(self):
        run = run_ok(self, self.work, "landxml read %s\n" % self.xml, out="back.dxf")
        self.assertIn('surface "jacksboro", %d faces on layer JACKSBORO' % len(self.faces), run.stdout)
        self.assertEqual(faces_of(run.doc(), "JACKSBORO"), self.faces)

    def test_an_imperial_drawing_writes_feet_and_its_name(self):
        # The units the drawing's $INSUNITS gives (each unit: landxml_test.cpp).
        doc = ezdxf.new("R2000")
        doc.header["$INSUNITS"] = 2
        doc.modelspace().add_3dface([(0, 0, 10), (100, 0, 12), (0, 100, 11)])
        doc.saveas(os.path.join(self.work, "Pad Design.dxf"))
        out = os.path.join(self.work, "pad.xml")
        run = run_ok(self, self.work, "landxml %s\nall\n\n" % out, drawing=os.path.join(self.work, "Pad Design.dxf"),
                     out=None)
        self.assertNotIn("INSUNITS", run.stdout)
        root = ET.parse(out).getroot()
        self.assertEqual(root.find("l:Units/l:Imperial", NS).get("linearUnit"), "foot")
        self.assertEqual(root.find("l:Surfaces/l:Surface", NS).get("name"), "Pad Design")


class PointFile(unittest.TestCase):
    def test_the_sample_file_gives_the_surveys_points_numbers_and_descriptions(self):
        survey = [tuple(p.dxf.location) for p in ezdxf.readfile(SURVEY).modelspace().query("POINT")]
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
            msg = "--points %s: POINTFILE: %s: 3 row(s) cannot be read; nothing drawn" % (path, path)
            run = run_refused(self, work, "", msg, stream="stderr", extra=["--points", path])
            # Each row named (every reason: pointfile_test.cpp, with skipbad).
            for line in ("line 3: 3 column(s) where PNEZD needs 4", "line 4: easting \"2010,5\" is not a number",
                         "line 5: elevation 1e13 is beyond 1e12"):
                self.assertIn("POINTFILE: %s: %s" % (path, line), run.stdout)


if __name__ == "__main__":
    unittest.main()
