"""The README's examples run as written: every indented block that calls
build/velmora runs, in the README's order, in one folder that has the build
and the samples where the examples expect them; each must exit 0.  A few
results the README promises are checked as well."""
import os
import re
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import VELMORA, SAMPLES, SOURCE_DIR, TempFolder  # noqa: E402

import ezdxf  # noqa: E402


def examples():
    """The README's indented blocks that run the program, in order."""
    with open(os.path.join(SOURCE_DIR, "README.md")) as f:
        text = f.read()
    blocks = re.findall(r"(?:^    .*\n)+", text, flags=re.M)
    return ["\n".join(line[4:] for line in b.splitlines()) for b in blocks if "build/velmora " in b]


class ReadmeExamples(unittest.TestCase):
    def test_examples_run_as_written(self):
        blocks = examples()
        self.assertGreaterEqual(len(blocks), 8)
        with TempFolder() as work:
            os.symlink(os.path.dirname(os.path.abspath(VELMORA)), os.path.join(work, "build"))
            os.symlink(SAMPLES, os.path.join(work, "samples"))
            os.mkdir(os.path.join(work, "out"))
            printed = ""
            for block in blocks:
                # The shared c:/haldorin files stay in this test's folder.
                script = block.replace("--drive-c /tmp", "--drive-c .")
                with self.subTest(block=block.splitlines()[0]):
                    run = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", script], cwd=work,
                                         capture_output=True, text=True, timeout=600)
                    self.assertEqual(run.returncode, 0, block + "\n" + run.stdout[-2000:] + run.stderr)
                    printed += run.stdout
            # The first example: points to a terrain, its contours, a LandXML
            # surface of every face and a picture.
            self.assertIn("CONTOUR: 15 levels from 300 to 1000 (3 major)", printed)
            contours = ezdxf.readfile(os.path.join(work, "out", "jacksboro_contours.dxf")).modelspace()
            faces = len(contours.query("3DFACE[layer=='TRIANG']"))
            self.assertGreater(faces, 5000)
            self.assertGreater(len(contours.query("POLYLINE[layer=='CONTOUR-MAJOR']")), 10)
            xml = ET.parse(os.path.join(work, "out", "jacksboro_tin.xml")).getroot()
            self.assertEqual(len(xml.findall(".//{http://www.landxml.org/schema/LandXML-1.2}F")), faces)
            with open(os.path.join(work, "out", "jacksboro_contours.png"), "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
            with open(os.path.join(work, "cut.log")) as f:
                log = f.read()
            self.assertLess(len(log), 1024)
            self.assertIn("3DINT:", log)
            site = ezdxf.readfile(os.path.join(work, "site.dxf")).modelspace()
            self.assertEqual(len(site.query("3DFACE")), 8)
            self.assertEqual(len(site.query("LINE")), 8)
            two = ezdxf.readfile(os.path.join(work, "two.dxf")).modelspace()
            tin = ezdxf.readfile(os.path.join(work, "tin.dxf")).modelspace()
            self.assertEqual(len(two.query("3DFACE")), 2 * len(tin.query("3DFACE[layer=='TRIANG']")))


if __name__ == "__main__":
    unittest.main()
