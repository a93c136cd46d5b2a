"""Remakes the seed corpus of the fuzz targets in fuzz/corpus/<target>/.

Drawings of several DXF versions come from ezdxf (Debian's python3-ezdxf);
the add-on's exports are written by the velmora program's own dxfout; the
triangle files, ass.dat files and scripts are what the program and the LISP
programs write and read.  Run with /usr/bin/python3 after a release build:

    /usr/bin/python3 fuzz/make_seeds.py [build/velmora]
"""
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

import ezdxf

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "host_dxf"))
from test_dxf_files import make_drawing  # noqa: E402  the drawings the DXF tests use
CORPUS = os.path.join(HERE, "corpus")
VELMORA = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "velmora"))


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def velmora(work, script, drawing=None, out=None):
    args = [VELMORA]
    if drawing:
        args.append(drawing)
    args += ["-s", "-", "--drive-c", work]
    if out:
        args += ["-o", os.path.join(work, out)]
    proc = subprocess.run(args, input=script, capture_output=True, text=True, cwd=work)
    if proc.returncode != 0:
        raise SystemExit("velmora failed: " + proc.stderr)


def terrain(x, y):
    return 10 + 3 * math.sin(x / 7.0) + 2 * math.cos(y / 5.0)


def dxf_seeds(work):
    for version, crlf in (("R12", False), ("R2000", False), ("R2010", True), ("R2018", False)):
        path = os.path.join(work, version + ".dxf")
        make_drawing(version, path, crlf)
        with open(path, "rb") as f:
            put("dxf", version.lower() + ("_crlf" if crlf else "") + ".dxf", f.read())
    # A drawing the program saved after adding a layer and entities to it.
    velmora(work, "layer make NEW\n\npoint 7,8,9\n3dface 0,0,1 4,0,2 4,4,3\n\n\n",
            drawing=os.path.join(work, "R2000.dxf"), out="saved.dxf")
    with open(os.path.join(work, "saved.dxf"), "rb") as f:
        put("dxf", "saved_r2000.dxf", f.read())


def survey_script(n, seed):
    """POINTs of a small terrain, an outline (colour 1) and a void (colour 2)."""
    rnd = random.Random(seed)
    lines = []
    for _ in range(n):
        x, y = rnd.uniform(1, 29), rnd.uniform(1, 29)
        lines.append("point %.3f,%.3f,%.3f" % (x, y, terrain(x, y)))
    outline = [(0, 0), (30, 0), (30, 30), (0, 30)]
    void = [(12, 12), (18, 12), (15, 18)]
    for ring, colour in ((outline, 1), (void, 2)):
        for x, y in ring:
            lines.append("point %g,%g,%.3f" % (x, y, terrain(x, y)))
        lines.append("color %d" % colour)
        for (x1, y1), (x2, y2) in zip(ring, ring[1:] + ring[:1]):
            lines.append("line %g,%g,%.3f %g,%g,%.3f" % (x1, y1, terrain(x1, y1), x2, y2, terrain(x2, y2)))
            lines.append("")
        lines.append("color bylayer")
    return "\n".join(lines) + "\n"


def export_seeds(work):
    # POINTs and LINEs as the terrain command's export.
    velmora(work, survey_script(40, 1) + "dxfout\nsurvey\nv\nr12\nentities\nall\n\n10\n")
    with open(os.path.join(work, "survey.dxf"), "rb") as f:
        put("capture", "survey_export.dxf", f.read())
    # The terrain triangulated, its faces exported for vol and colfe.
    velmora(work, survey_script(12, 1) + "velmora\nall\n\n"
            "dxfout\nfaces\nv\nr12\nentities\nlayer TRIANG\n\n10\n")
    with open(os.path.join(work, "faces.dxf"), "rb") as f:
        data = f.read()
    put("volume", "terrain_faces.dxf", data)
    put("colfe", "terrain_faces.dxf", data)
    # Polygon meshes, open, closed and smoothed, through the program's dxfout.
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    for k, flags in enumerate((16, 16 | 1, 16 | 32, 16 | 1 | 32)):
        mesh = msp.add_polymesh((3, 4), dxfattribs={"flags": flags})
        for m in range(3):
            for n in range(4):
                mesh.set_mesh_vertex((m, n), (10 * k + m, n, terrain(m, n) + k))
    smooth = msp.add_polymesh((3, 3), dxfattribs={"flags": 16 | 4, "m_smooth_density": 3,
                                                   "n_smooth_density": 3, "smooth_type": 6})
    for m in range(3):
        for n in range(3):
            smooth.set_mesh_vertex((m, n), (50 + m, n, terrain(m, n)))
    doc.saveas(os.path.join(work, "meshes.dxf"))
    velmora(work, "dxfout\nmeshes_export\nv\nr12\nentities\nall\n\n10\n",
            drawing=os.path.join(work, "meshes.dxf"))
    with open(os.path.join(work, "meshes_export.dxf"), "rb") as f:
        data = f.read()
    put("volume", "meshes.dxf", data)
    put("colfe", "meshes.dxf", data)
    # A closed box of six faces: a body with a volume.
    box = ["3dface %s\n\n" % " ".join(c) for c in (
        ("0,0,0", "4,0,0", "4,3,0", "0,3,0"), ("0,0,2", "4,0,2", "4,3,2", "0,3,2"),
        ("0,0,0", "4,0,0", "4,0,2", "0,0,2"), ("0,3,0", "4,3,0", "4,3,2", "0,3,2"),
        ("0,0,0", "0,3,0", "0,3,2", "0,0,2"), ("4,0,0", "4,3,0", "4,3,2", "4,0,2"))]
    velmora(work, "".join(box) + "dxfout\nbox\nv\nr12\nentities\nall\n\n10\n")
    with open(os.path.join(work, "box.dxf"), "rb") as f:
        put("volume", "box.dxf", f.read())


def triangles(rows, cols, height, step=1.0, x0=0.0):
    """A grid surface as the triangle file SURFCROSS writes: nine numbers a line."""
    out = []
    for i in range(rows):
        for j in range(cols):
            p = [(x0 + i * step, j * step), (x0 + (i + 1) * step, j * step),
                 (x0 + (i + 1) * step, (j + 1) * step), (x0 + i * step, (j + 1) * step)]
            for tri in ((p[0], p[1], p[2]), (p[0], p[2], p[3])):
                out.append(" ".join("%.17g %.17g %.17g" % (x, y, height(x, y)) for x, y in tri))
    return "\n".join(out) + "\n"


def inters_seeds():
    ground = triangles(5, 5, lambda x, y: terrain(x * 3, y * 3))
    level = triangles(2, 2, lambda x, y: 10.0, step=2.5)
    put("inters", "terrain_and_level.txt", "0" + ground + "|" + level)
    tilted = triangles(3, 3, lambda x, y: 0.5 * x - 0.2 * y + 9)
    put("inters", "two_planes.txt", "0" + tilted + "|" + level)
    put("inters", "short_count.txt", "5" + level + "|" + tilted)


def ass_seeds():
    put("ass", "records.dat", "5 8\nKM 12.50\nKM 03.10\nKM 07.75\nKM 03.05\nKM 11.00\n")
    put("ass", "crlf_short.dat", "4 12\r\nP17 A\r\nP02 BCD\r\nP9\r\nP02 BCA\r\n")
    put("ass", "wrong_count.dat", "3 5\nabc\ndef\n")


def session_seeds():
    put("session", "terrain.scr", survey_script(25, 2) + "velmora\nall\n\n")
    put("session", "colour_map.scr", survey_script(25, 3) + "velmora\nall\n\n"
        "(colfe '(5.0 15.0) '(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15))\nlayer TRIANG\n\n")
    put("session", "lisp.scr",
        "(dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0))\n"
        "(set_lim '(0.0 0.0 0.0) '(10.0 10.0 5.0) 2.5)\n"
        "(e_intre_lim '(1 1 1) '(2 1 1) '(1 2 1))\n"
        "(app_tri '(0 0 0) '(3 0 1) '(0 4 2))\n"
        "(dovrp \"x\" 1 2.5e3 T nil)\n")
    put("session", "drawing.scr",
        "layer make WALLS\ncolor 3\n\n"
        "3dface 0,0,0 10,0,0 10,10,1 i 0,10,1\n\n"
        "3dpoly 0,0 5,5,2 9,1 c\n"
        "line 1,1 2,2 3,1\n\n"
        "setvar CECOLOR 5\nundo mark\npoint 4,4,4\nundo back\n"
        "erase w 0,0 6,6\n\nredraw\n"
        "dxfout part v r12 entities layer WALLS\n\n4\n"
        "surfcross\nlayer WALLS\n\nlayer 0\n\n")


def tin_seeds():
    # flags, point count, points (x, y, z bytes), ring count, rings
    rnd = random.Random(7)
    pts = [(rnd.randrange(16, 240), rnd.randrange(16, 240), rnd.randrange(8)) for _ in range(60)]
    corners = [(0, 0), (255, 0), (255, 255), (0, 255)]
    hole = [(100, 100), (150, 100), (125, 150)]
    allp = pts + [(x, y, 0) for x, y in corners + hole]
    head = bytes([1, len(allp)]) + b"".join(bytes(p) for p in allp)
    n0 = len(pts)
    rings = bytes([2, 0, 1]) + bytes(range(n0, n0 + 4)) + bytes([1, 0]) + bytes(range(n0 + 4, n0 + 7))
    put("tin", "outline_and_void.bin", head + rings)
    put("tin", "points_only.bin", head + bytes([0]))
    grid = [(x * 3, y * 3, (x + y) % 8) for x in range(5) for y in range(5)]
    put("tin", "grid_projected.bin", bytes([4 | 8, len(grid)]) + b"".join(bytes(p) for p in grid) + b"\0")
    wide = [(rnd.randrange(65536), rnd.randrange(65536), rnd.randrange(8)) for _ in range(40)]
    put("tin", "wide.bin", bytes([3, len(wide)])
        + b"".join(struct.pack("<HHB", *p) for p in wide) + b"\0")


def main():
    if os.path.isdir(CORPUS):
        shutil.rmtree(CORPUS)
    work = tempfile.mkdtemp(prefix="velmora-seeds-")
    try:
        dxf_seeds(work)
        export_seeds(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    inters_seeds()
    ass_seeds()
    session_seeds()
    tin_seeds()


if __name__ == "__main__":
    main()
