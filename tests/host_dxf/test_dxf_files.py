"""End to end: ezdxf's drawings, R12 to R2018, go through `velmora IN -o OUT` unchanged; a script adding a layer, faces,
points and a 3D polyline saves a drawing ezdxf (and LibreCAD, if installed) reads with a clean audit.  (Broken drawings:
dxf_test.cpp and test_program.py.)"""
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import SAMPLES, TempFolder, run_ok, run_velmora  # noqa: E402

import ezdxf  # noqa: E402

VERSIONS = ["R12", "R2000", "R2004", "R2007", "R2010", "R2013", "R2018"]


def make_drawing(version, path, crlf=False):
    """A drawing with the modelled types and a range of others."""
    doc = ezdxf.new(version)
    msp = doc.modelspace()
    doc.layers.add("TERRAIN", color=3)
    doc.layers.add("OFF", color=4).off()
    msp.add_point((1, 2, 3), dxfattribs={"layer": "TERRAIN"})
    msp.add_line((0, 0, 0), (5, 5, 1), dxfattribs={"color": 1})
    msp.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 1)], dxfattribs={"invisible": 2})
    msp.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 1), (0, 1, 0.5)])
    msp.add_polyline3d([(0, 0, 0), (1, 1, 1), (2, 0, 3)], dxfattribs={"layer": "TERRAIN"})
    mesh = msp.add_polymesh((3, 4), dxfattribs={"flags": 16 | 32})
    for m in range(3):
        for n in range(4):
            mesh.set_mesh_vertex((m, n), (m, n, m * n * 0.5))
    msp.add_text("Kote 12.5", dxfattribs={"height": 0.5, "insert": (2, 2)})
    msp.add_circle((0, 0), 3)
    msp.add_arc((0, 0), 2, 0, 90)
    blk = doc.blocks.new("MARK")
    blk.add_line((0, 0), (1, 1))
    blk.add_attdef("TAG", (0, 0))
    ins = msp.add_blockref("MARK", (5, 5))
    ins.add_attrib("TAG", "A1", (5, 5))
    if version != "R12":
        msp.add_lwpolyline([(0, 0), (1, 0), (1, 1)], close=True)
        msp.add_mtext("two\\Plines", dxfattribs={"char_height": 0.3})
        hatch = msp.add_hatch(color=2)
        hatch.paths.add_polyline_path([(0, 0), (4, 0), (4, 4)], is_closed=True)
    doc.saveas(path)
    if crlf:
        with open(path, "rb") as f:
            data = f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        with open(path, "wb") as f:
            f.write(data)


def signature(doc):
    """What ezdxf sees of the model space, entity by entity."""
    out = []
    for e in doc.modelspace():
        attribs = dict(e.dxfattribs())
        if doc.dxfversion == "AC1009":
            attribs.pop("owner", None)  # R12 has no owners: ezdxf makes them up
        if e.dxftype() == "POLYLINE":
            attribs["vertices"] = [tuple(v.dxf.location) for v in e.vertices]
        if e.dxftype() == "INSERT":
            attribs["attribs"] = [(a.dxf.tag, a.dxf.text) for a in e.attribs]
        out.append((e.dxftype(), sorted((k, str(v)) for k, v in attribs.items())))
    return out


def handles_in(path):
    """Every handle (group 5 or 105) in a DXF file, as numbers, but the seed."""
    with open(path, encoding="utf8", errors="replace") as f:
        lines = f.read().splitlines()
    return [int(lines[i + 1], 16) for i in range(0, len(lines) - 1, 2)
            if lines[i].strip() in ("5", "105") and lines[i - 1] != "$HANDSEED"]


def audit_errors(doc):
    return [e.message for e in doc.audit().errors]


def librecad_ink(work, name, render=True):
    """Prints drawing `name` in `work` to PDF with LibreCAD's dxf2pdf, renders
    it with pdftoppm and counts the dark pixels: what LibreCAD drew."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    pdf = os.path.splitext(name)[0] + ".pdf"   # where dxf2pdf puts it, whatever -o says
    subprocess.run(["librecad", "dxf2pdf", "-a", "-o", pdf, name], cwd=work, env=env, capture_output=True, timeout=300)
    if not os.path.exists(os.path.join(work, pdf)):
        return 0
    if not render:
        return os.path.getsize(os.path.join(work, pdf))
    subprocess.run(["pdftoppm", "-gray", "-r", "50", pdf, "lc"], cwd=work, check=True, timeout=120)
    page = [f for f in os.listdir(work) if f.startswith("lc") and f.endswith(".pgm")][0]
    with open(os.path.join(work, page), "rb") as f:
        data = f.read()
    # PGM: "P5\n<w> <h>\n<max>\n" then one byte per pixel.
    fields, pos = [], 0
    while len(fields) < 4:
        end = data.index(b"\n", pos)
        fields += data[pos:end].split()
        pos = end + 1
    return sum(1 for b in data[pos:] if b < 128)


class UnchangedDrawings(unittest.TestCase):
    def test_every_version_and_line_end_comes_back_unchanged(self):
        with TempFolder() as work:
            for version in VERSIONS:
                for crlf in (False, True):
                    with self.subTest(version=version, crlf=crlf):
                        src = os.path.join(work, "in.dxf")
                        make_drawing(version, src, crlf)
                        run = run_ok(self, work, "", drawing=src)
                        with open(run.out_path, "rb") as a, open(src, "rb") as b:
                            self.assertEqual(a.read(), b.read())
                        doc = run.doc()
                        self.assertEqual(audit_errors(doc), [])
                        self.assertEqual(signature(doc), signature(ezdxf.readfile(src)))


# A layer made with its colour, faces, points and a 3D polyline on it, the last point erased.
SCRIPT = ("layer make SURVEY color 4 SURVEY\n\n"
          "color 1\n"
          "3dface 0,0,0 10,0,1 i 10,10,2 0,10,0\n\n"
          "point 5,5,5\npoint 6.25,7,8\n"
          "3dpoly 0,0,0 1,1,1 2,0,3\n\n"
          "point 9,9,9\nerase last\n\n")


class EditedDrawings(unittest.TestCase):
    def check_edit(self, work, src):
        png = os.path.join(work, "out.png")
        run = run_ok(self, work, SCRIPT, drawing=src, extra=["--png", png])
        doc = run.doc()
        self.assertEqual(audit_errors(doc), [])
        if src:
            self.assertEqual(doc.dxfversion, ezdxf.readfile(src).dxfversion)
            before = ezdxf.readfile(src)
            self.assertEqual(signature(doc)[:len(signature(before))], signature(before))
        layer = doc.layers.get("SURVEY")
        self.assertEqual(layer.dxf.color, 4)
        self.assertEqual(doc.header.get("$CLAYER"), "SURVEY")
        # The erased last point is left out.
        new = [e for e in doc.modelspace() if e.dxf.layer == "SURVEY"]
        self.assertEqual([e.dxftype() for e in new], ["3DFACE", "POINT", "POINT", "POLYLINE"])
        face, p1, p2, poly = new
        self.assertEqual(face.dxf.color, 1)
        self.assertEqual(tuple(face.dxf.vtx2), (10, 10, 2))
        self.assertEqual(face.dxf.invisible, 4)
        self.assertEqual(tuple(p2.dxf.location), (6.25, 7, 8))
        self.assertTrue(poly.is_3d_polyline)
        self.assertEqual([tuple(v.dxf.location) for v in poly.vertices], [(0, 0, 0), (1, 1, 1), (2, 0, 3)])
        if doc.dxfversion > "AC1009":
            msp_record = doc.block_records.get("*Model_Space").dxf.handle
            for e in new:
                self.assertEqual(e.dxf.owner, msp_record)
            self.assertGreater(int(doc.header["$HANDSEED"], 16), max(handles_in(run.out_path)))
        with open(png, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        if shutil.which("librecad") and shutil.which("pdftoppm"):
            # LibreCAD prints any R2000+ drawing on a page pdftoppm refuses: there, only that it opened them.
            ink = librecad_ink(work, os.path.basename(run.out_path), render=doc.dxfversion == "AC1009")
            self.assertGreater(ink, 200)

    def test_new_entities_in_each_version_and_a_new_drawing(self):
        for version in ["R12", "R2000", "R2018", None]:
            with self.subTest(version=version), TempFolder() as work:
                src = version and os.path.join(work, "in.dxf")
                if version:
                    make_drawing(version, src)
                self.check_edit(work, src)


# ---- The same bytes as before the speed work ---------------------------------------
# The saved drawing, exports at two precisions and the printed text, on the bundled survey and 100,000 generated
# points, as SHA-256 recorded at commit 0b1eeb6, before the reader, writers, number formatting and command log were
# made faster (--record, with VELMORA pointing at such a build, records them again); progress lines are left out.
JOB = ("velmora\nall\n\n"
       "dxfout export6.dxf\n\n"
       "dxfout export3.dxf 3\n"
       "(dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0))\n")

RECORDED = {
    "points": {"export3.dxf": "06015ae6bd77f25bbf13afc92210cd7fc50b29b4d944b0ad85febf4f026ef508",
               "export6.dxf": "cc3597e506419852a905cf658c9f82142ab4352d025a4082ec5f3c7cb206aa87",
               "out.dxf": "8fd27bc52ec7dac2a966cf75774a3c2ff5d1aa34c4a4d856302af3a9e3b75b46",
               "printed": "02ca8a44d1fac3e4ff8b2d416ce7af67ec68c4e6637c79b6693677b536e0fb6b"},
    "survey": {"export3.dxf": "aa5e67888c2952b952f3e0ae9615552a4838c3db51f452dac33fbfbdfcf957d7",
               "export6.dxf": "9c4a2263ad34d38b6e2993e86d3b057bf763aadca954bcf91eebc2cee234bd15",
               "out.dxf": "e0b7bae6c12ef7c95028ffb23b8fe76f0192bf2e93d1a51c6f1dddcf523c2f6c",
               "printed": "a320c87351ca157d1c5fbecadf4e2ee37786389cc80ea97f50da7e625fa4ae34"},
}


def generated_points(path, n=100000):
    """n random survey points (millimetres on a 1 km square), R12 ENTITIES."""
    import random
    rnd = random.Random(14)
    lines = ["  0", "SECTION", "  2", "ENTITIES"]
    for _ in range(n):
        x = (500000000 + rnd.randrange(1000001)) / 1000
        y = (4000000000 + rnd.randrange(1000001)) / 1000
        z = (100000 + rnd.randrange(100001)) / 1000
        lines += ["  0", "POINT", "  8", "0", " 10", repr(x), " 20", repr(y), " 30", repr(z)]
    lines += ["  0", "ENDSEC", "  0", "EOF"]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


# colfe on both sets' triangulation: the saved drawing, the printed text and a copy of colf.dxf made by "dxfout" with
# colfe's answers, recorded at commit a76c436 (--record colfe).  The faces alone are selected: with the points among
# them colfe erases one call each, which takes minutes under the sanitizers.
def colfe_job(low, high):
    return ("velmora\nall\n\n"
            "dxfout\ncolf_copy.dxf\nv\nr12\nentities\nall\nr\np\n\n10\n"
            "(colfe '(%r %r) '(10 20 30) '(40 50 60) '(70 80 90) '(110 130 150) '(170 190 210))\n"
            "p\n\n" % (low, high))


COLFE_RECORDED = {
    "points": {"colf_copy.dxf": "12f299e112b2a3169725c220652e5d41a8c050c7388dfd38ebdc8137a6bfbc76",
               "out.dxf": "609b389dbcd71a89d4d2fdebbf0ef5d91f9aa8bff22f32071eebdb93e9c7e9a7",
               "printed": "58c2983f6c205c9606c86fb9f35a6add62d7ea2ab960112dda9c1a05f7ef1f48"},
    "survey": {"colf_copy.dxf": "64140863974fe0ff2990685c0a17336642bfecfca3b8ba4f8b99ee188ed82dd9",
               "out.dxf": "208e31bdda68ce807f4aa3810ea05b5b8546c9901cf7c9875351ca2d0ce87d6a",
               "printed": "087c7bfe0c2b4126bff620033f4f7833e1dc6803c24558a25036602f7d3a8f3a"},
}


def job_checksums(work, drawing, job=JOB, files=("out.dxf", "export6.dxf", "export3.dxf")):
    import hashlib
    import re
    run = run_velmora(work, job, drawing=drawing)
    assert run.returncode == 0, run.stderr
    # "\r** LIBVELMORA : 12 s   " (the \r read as a line end)
    printed = re.sub(r"[\r\n]\*\* LIBVELMORA : \d+ s   ", "", run.stdout)
    out = {"printed": hashlib.sha256(printed.encode()).hexdigest()}
    for name in files:
        with open(os.path.join(work, name), "rb") as f:
            out[name] = hashlib.sha256(f.read()).hexdigest()
    return out


def all_checksums(colfe=False):
    def sums_of(work, drawing, low, high):
        if colfe:
            return job_checksums(work, drawing, colfe_job(low, high), ("out.dxf", "colf_copy.dxf"))
        return job_checksums(work, drawing)

    sums = {}
    with TempFolder() as work:
        sums["survey"] = sums_of(work, os.path.join(SAMPLES, "jacksboro_survey.dxf"), 300.0, 1000.0)
    with TempFolder() as work:
        src = os.path.join(work, "points.dxf")
        generated_points(src)
        sums["points"] = sums_of(work, src, 110.0, 190.0)
    return sums


class SameBytes(unittest.TestCase):
    def test_drawing_exports_and_printed_text_are_as_before(self):
        self.assertEqual(all_checksums(), RECORDED)

    def test_colfe_writes_what_it_wrote_before(self):
        self.assertEqual(all_checksums(colfe=True), COLFE_RECORDED)


if __name__ == "__main__":
    if sys.argv[1:2] == ["--record"]:
        import pprint
        pprint.pprint(all_checksums(colfe=sys.argv[2:] == ["colfe"]))
    else:
        unittest.main()
