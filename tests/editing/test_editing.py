"""End to end: copy, move, explode, list, extents and save in every version (ezdxf audits the result; new entities have
handles and owners), and a bad answer that stops the script, naming the line and reason, saving nothing."""
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "host_dxf"))
from velmora_e2e import TempFolder, run_ok, run_refused  # noqa: E402
from test_dxf_files import VERSIONS, audit_errors, handles_in  # noqa: E402

import ezdxf  # noqa: E402


def outline_drawing(version, path):
    """A square outline on layer EDGE in colour 1 as a 3D polyline, a 2D one at elevation 5 with an arc segment and
    (R2000 on) an LWPOLYLINE; a closed 3D triangle on EDGE, a face on TERRAIN and a circle."""
    doc = ezdxf.new(version)
    msp = doc.modelspace()
    doc.layers.add("EDGE", color=5)
    doc.layers.add("TERRAIN", color=3)
    msp.add_polyline3d([(0, 0, 1), (10, 0, 2), (10, 10, 3), (0, 10, 4)], close=True,
                       dxfattribs={"layer": "EDGE", "color": 1})
    msp.add_polyline3d([(60, 0, 1), (70, 0, 1), (60, 10, 1)], close=True, dxfattribs={"layer": "EDGE"})
    p2 = msp.add_polyline2d([(20, 0), (30, 0), (30, 10)], dxfattribs={"layer": "EDGE", "elevation": (0, 0, 5)})
    p2.vertices[1].dxf.bulge = 0.5
    if version != "R12":
        msp.add_lwpolyline([(40, 0), (50, 0), (50, 10), (40, 10)], close=True,
                           dxfattribs={"layer": "EDGE", "color": 1, "elevation": 7})
    msp.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 1)], dxfattribs={"layer": "TERRAIN"})
    msp.add_circle((0, 0), 3, dxfattribs={"layer": "TERRAIN"})
    doc.saveas(path)


SCRIPT = """explode layer EDGE

copy layer TERRAIN  1,2,3 1,2,5
move type 3dface  d 100,0,0
list type circle

extents
saveas kept
"""


class Editing(unittest.TestCase):
    def test_copy_move_explode_in_every_version(self):
        for version in VERSIONS:
            with self.subTest(version=version), TempFolder() as work:
                src = os.path.join(work, "in.dxf")
                outline_drawing(version, src)
                run = run_ok(self, work, SCRIPT, drawing=src)
                lw = 1 if version != "R12" else 0
                self.assertIn("EXPLODE: %d polylines into %d LINEs; 1 arc segment became a straight LINE"
                              % (3 + lw, 9 + 4 * lw), run.stdout)
                self.assertIn("1 object copied by 0,0,2; 1 of a type that cannot be copied", run.stdout)
                self.assertIn("CIRCLE  layer TERRAIN", run.stdout)
                self.assertIn("\n    40  3", run.stdout.replace("  40  3.0", "  40  3"))
                for name in ("out.dxf", "kept.dxf"):
                    doc = ezdxf.readfile(os.path.join(work, name))
                    self.assertEqual(doc.dxfversion, ezdxf.readfile(src).dxfversion)
                    self.assertEqual(audit_errors(doc), [])
                msp = doc.modelspace()
                self.assertEqual([e.dxftype() for e in msp.query("POLYLINE LWPOLYLINE")], [])
                lines = msp.query("LINE")
                # The LINEs keep layer and colour: an exploded outline in colour 1
                # is still an outline to the terrain command.
                self.assertEqual({(e.dxf.layer, e.dxf.color) for e in lines}, {("EDGE", 1), ("EDGE", 256)})
                ends = {(tuple(e.dxf.start), tuple(e.dxf.end)) for e in lines}
                # The 3D outline closes back to its first vertex; the 2D one at its elevation.
                self.assertIn(((0, 10, 4), (0, 0, 1)), ends)
                self.assertIn(((30, 0, 5), (30, 10, 5)), ends)
                self.assertIn(((60, 10, 1), (60, 0, 1)), ends)
                if lw:
                    self.assertIn(((40, 10, 7), (40, 0, 7)), ends)
                faces = msp.query("3DFACE")
                # The original and its copy raised by the base and second points (1,2,3 to 1,2,5), both moved 100 east.
                self.assertEqual(sorted(tuple(f.dxf.vtx2) for f in faces), [(101, 1, 1), (101, 1, 3)])
                self.assertEqual(len(msp.query("CIRCLE")), 1)
                if doc.dxfversion > "AC1009":
                    owner = doc.block_records.get("*Model_Space").dxf.handle
                    for e in list(lines) + list(faces):
                        self.assertEqual(e.dxf.owner, owner)
                    hs = handles_in(os.path.join(work, "out.dxf"))
                    self.assertEqual(len(hs), len(set(hs)))   # each handle once
                    self.assertGreater(int(doc.header["$HANDSEED"], 16), max(hs))

    def test_bad_answer_stops_the_script(self):
        with TempFolder() as work:
            # Nothing is saved (any failed run: test_program.py).
            run = run_refused(self, work, "line 0,0 1,1\n\ncopy all  0,0 nowhere\npoint 5,5\n",
                              "line 3: COPY: invalid second point", stream="stderr")
            self.assertNotIn("Specify", run.stdout)   # prompts are for the terminal
            # save without a file of its own is refused, and so is a folder.
            run_refused(self, work, "save\n\n", "SAVE: a file name is expected", stream="stderr", out=None)
            os.mkdir(os.path.join(work, "dir.dxf"))
            run_refused(self, work, "point 1,1\nsave dir.dxf\n", "line 2: SAVE:", stream="stderr", out=None)


if __name__ == "__main__":
    unittest.main()
