#!/usr/bin/python3
"""Fault sweep: does the test suite notice a plausible single-point slip?

Each fault below is one small edit to one source file (an off-by-one, < for
<=, swapped indices, a dropped check, a wrong sign).  For each, this script
patches the file in a scratch copy of the tree (never the tree it was run
from), builds only the programs the relevant tests need (release, -j2), runs
those tests with ctest and records:

  caught      some relevant test failed;
  missed      every relevant test passed, though the fault changes behaviour;
  no change   every relevant test passed and the fault changes nothing
              observable -- said only where the reason is given in `same`.

The file is restored after each fault, so the next build recompiles it.

    /usr/bin/python3 tools/fault_sweep.py [--scratch DIR] [--only N,M] [--baseline]

The scratch copy defaults to /tmp/velmora-fault-sweep; it is synced from this
tree (sources and tests) at every start, and its build folder is kept between
runs so that only what changed is rebuilt.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

TREE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Which test folders exercise which code.  A fault's tests are named by these
# folders; ctest runs every test whose name starts with one of them.
ADDON_USERS = {
    "frame": ["frame", "volume", "colouring"],
    "tin": ["tin", "triangulate"],
    "triangulate": ["triangulate"],
    "volume": ["volume"],
    "colouring": ["colouring"],
    "intersection": ["intersection"],
    "lisp": ["lisp"],
}
HOST_USERS = {
    "session": ["host", "program"],
    "dxf": ["host_dxf"],
    "editing": ["editing"],
    "survey": ["survey"],
}

# (file, original text, faulty text, test folders, what the slip does;
#  `same` is set only for a slip that changes no observable result, with why)
FAULTS = [
    # frame
    ("frame/calls.cpp",
     "        if (used + 1 >= size)\n            return 1;\n        out[used++] = (*p == '\\\\')",
     "        if (used >= size)\n            return 1;\n        out[used++] = (*p == '\\\\')",
     ["frame"], "native path: the terminating zero written past a buffer the path fills"),
    ("frame/faces.cpp", "code < 10 || code > 33 || code % 10 > 3", "code < 10 || code > 33 || code % 10 > 2",
     ADDON_USERS["frame"], "3DFACE reader ignores the fourth corner (groups 13/23/33)"),
    ("frame/faces.cpp", "row_point(mesh_n + c + 1, &p);", "row_point(mesh_n + c, &p);",
     ADDON_USERS["frame"], "mesh strip: the cell's third corner taken from the wrong column"),
    ("frame/faces.cpp", "if (mesh_m < 2 || mesh_n < 2 ||", "if (mesh_m < 2 || mesh_n < 1 ||",
     ADDON_USERS["frame"], "a mesh one vertex wide no longer refused"),
    ("frame/dxfpair.cpp", "if (end == line || v < INT32_MIN", "if (v < INT32_MIN",
     ADDON_USERS["frame"], "a group code that is not a number read as 0"),
    # tin
    ("tin/tin_front.cpp", "        if (d < best) {\n            best = d;", "        if (d <= best) {\n            best = d;",
     ADDON_USERS["tin"], "the last of equally near points taken as the nearest, not the first"),
    ("tin/tin_lib.cpp", "if (m >= 1000)  return 1e-6;", "if (m > 1000)  return 1e-6;",
     ADDON_USERS["tin"], "tolerance band boundary: extent exactly 1000 gets 1e-7"),
    ("tin/tin_cons.cpp", "if (points[mid].x < lim) lo = mid + 1; else hi = mid;",
     "if (points[mid].x <= lim) lo = mid + 1; else hi = mid;",
     ADDON_USERS["tin"], "break-line end search starts after the points at the limit"),
    ("tin/tin_front.cpp", "            if (su * sv < 0) {\n                double sk = t->la * kx + t->lb * ky - t->lc;\n"
     "                double sa", "            if (su * sv <= 0) {\n                double sk = t->la * kx + t->lb * ky - t->lc;\n"
     "                double sa", ADDON_USERS["tin"], "an edge touching the new side a-k counted as crossing it"),
    ("tin/tin_front.cpp", "tin.full_check) ? 0 : tin.cur_edge + 1;", "tin.full_check) ? 0 : tin.cur_edge + 2;",
     ADDON_USERS["tin"], "the accelerated search skips the edge after the current one"),
    ("tin/tin_cons.cpp", "int hits = low_hits < high_hits ? low_hits : high_hits;",
     "int hits = low_hits > high_hits ? low_hits : high_hits;",
     ADDON_USERS["tin"], "the ray test takes the larger of its low and high vertex hits"),
    # triangulate
    ("triangulate/capture.cpp", "if (!(c >= 1 && c <= 255)) {", "if (!(c >= 1 && c < 255)) {",
     ADDON_USERS["triangulate"], "break line of colour 255 refused"),
    ("triangulate/capture.cpp", "if (fabs(v) > FRAME_COORD_LIMIT) {", "if (fabs(v) > 10 * FRAME_COORD_LIMIT) {",
     ADDON_USERS["triangulate"], "coordinates beyond the limit accepted (wrong constant)"),
    ("triangulate/command.cpp", "    for (int32_t i = 0; i < tri_lines_read; i++) {\n        sds_point from",
     "    for (int32_t i = 1; i < tri_lines_read; i++) {\n        sds_point from",
     ADDON_USERS["triangulate"], "the first break line not drawn back"),
    ("triangulate/capture.cpp", "    if (closed && count >= 3)\n        return add_break(&prev, &first);",
     "    if (closed && count > 3)\n        return add_break(&prev, &first);",
     ADDON_USERS["triangulate"], "a closed 3D polyline of three vertices loses its closing segment"),
    # volume
    ("volume/integrate.cpp", "add_interval(i, j, t, r->z);", "add_interval(i, j, r->z, t);",
     ADDON_USERS["volume"], "an interval's ends swapped"),
    ("volume/sampler.cpp", "if (nx * cx + ny * cy + nz * cz >= 0)", "if (nx * cx + ny * cy + nz * cz > 0)",
     ADDON_USERS["volume"], "a node exactly on an edge taken as outside"),
    ("volume/sampler.cpp", "z = az - (nx * (x - ax) + ny * (y - ay)) / nz;", "z = az - (nx * (x - ax) + ny * (y - ax)) / nz;",
     ADDON_USERS["volume"], "a node's height taken with x for y"),
    ("volume/integrate.cpp", "if (vol_node_present(i - 1, j - 1)) bits |= 32;",
     "if (vol_node_present(i - 1, j + 1)) bits |= 32;",
     ADDON_USERS["volume"], "a node's lower left neighbour looked for above it"),
    # colouring
    ("colouring/bands.cpp", "if (zlo >= colf_level(13)) {", "if (zlo > colf_level(13)) {",
     ADDON_USERS["colouring"], "a face lying on the top level split instead of drawn whole"),
    ("colouring/bands.cpp", "int colour = 14 - cuts[0].level;", "int colour = 13 - cuts[0].level;",
     ADDON_USERS["colouring"], "lowest piece given its neighbour band's colour"),
    ("colouring/bands.cpp", "(u->z < z && v->z < z))", "(u->z < z && v->z <= z))",
     ADDON_USERS["colouring"], "an edge ending on the level from below not crossed"),
    ("colouring/colfe.cpp", "return face || (polyline && (flags & 16) != 0);", "return face || polyline;",
     ADDON_USERS["colouring"], "3D polylines erased as if they were meshes"),
    ("colouring/bands.cpp", "    if (distinct < 3)\n        return;", "    if (distinct < 2)\n        return;",
     ADDON_USERS["colouring"], "a piece with two distinct corners drawn"),
    # intersection
    ("intersection/tritri.cpp", "if (k < 2 && ltri_seg_tri(b0, b1, b2, a1, a2, out[k], 0))",
     "if (k < 2 && ltri_seg_tri(b0, b1, b2, a0, a1, out[k], 0))",
     ADDON_USERS["intersection"], "one side of the first triangle tested twice, another never"),
    ("intersection/inters.cpp", "    for (int i = 1; i < 3; i++) {\n        if (p[i][0] < t->xmin)",
     "    for (int i = 1; i < 2; i++) {\n        if (p[i][0] < t->xmin)",
     ADDON_USERS["intersection"], "a triangle's box leaves out its third corner"),
    ("intersection/chain.cpp", "} else if (ends_meet(s, r->b)) {", "} else if (ends_meet(e, r->b)) {",
     ADDON_USERS["intersection"], "a chain's start never extended by a reversed segment"),
    ("intersection/pairs.cpp", "|| t->ymin > o->ymax || t->zmin >= o->zmax);",
     "|| t->ymin >= o->ymax || t->zmin >= o->zmax);",
     ADDON_USERS["intersection"], "boxes meeting at the outer triangle's highest y not tested"),
    # lisp
    ("lisp/geometry.cpp", "\n                    || lim_dist_3d(t[2], t[0]) < 1e-6))", "))",
     ADDON_USERS["lisp"], "e_intre_lim accepts a triangle whose third and first corners coincide"),
    ("lisp/geometry.cpp", "if (!(lo[i] <= lim_high[i] && lim_low[i] <= hi[i]))",
     "if (!(lo[i] < lim_high[i] && lim_low[i] <= hi[i]))",
     ADDON_USERS["lisp"], "touching the box's high face no longer counts"),
    ("lisp/geometry.cpp", "r[1] = uz * vx - ux * vz;", "r[1] = ux * vz - uz * vx;",
     ADDON_USERS["lisp"], "vector product's y with the wrong sign"),
    ("lisp/sorter.cpp", "if (nul || len > lu_art) {", "if (nul || len >= lu_art) {",
     ADDON_USERS["lisp"], "a record exactly lu_art long refused"),
    ("lisp/sorter.cpp", "if (lu_art >= ASS_SLOT)", "if (lu_art > ASS_SLOT)",
     ADDON_USERS["lisp"], "lu_art of exactly the slot size accepted"),
    ("lisp/geometry.cpp", "if (!(lo[i] <= lim_high[i] && lim_low[i] <= hi[i]))",
     "if (!(lo[i] <= lim_high[i] && lim_low[i] < hi[i]))",
     ADDON_USERS["lisp"], "touching the box's low face no longer counts"),
    # host
    ("host/selection.cpp", "            out.push_back({n - 1, 0});", "            out.push_back({n - 1, n - 1});",
     ["host"], "crossing ignores the closing side of a closed polyline"),
    ("host/selection.cpp", "        if (t0 > t1)\n            return false;", "        if (t0 >= t1)\n            return false;",
     ["host"], "a segment touching the window at one point not taken"),
    ("host/session.cpp", "for (std::size_t i = mk.erase_log_size; i < erase_log.size(); i++)",
     "for (std::size_t i = mk.erase_log_size + 1; i < erase_log.size(); i++)",
     ["host"], "undo back does not restore the first entity erased after the mark"),
    ("host/dxf_save.cpp", "if ((p.code == 5 || p.code == 105) && parse_handle(p.value(), h))",
     "if ((p.code == 5) && parse_handle(p.value(), h))",
     ["host_dxf"], "DIMSTYLE handles (group 105) ignored when choosing new handles"),
    # survey
    ("survey/contour.cpp", "bool below[3] = {t.p[0].z < z, t.p[1].z < z, t.p[2].z < z};",
     "bool below[3] = {t.p[0].z < z, t.p[1].z < z, t.p[2].z <= z};",
     ["survey"], "a triangle edge on a level lost for one corner order"),
    ("survey/contour.cpp", "else if (angle <= -90)", "else if (angle < -90)",
     ["survey"], "a label along a line pointing straight down reads upside down"),
    ("survey/cutfill.cpp", "        if (lo <= p.d && p.d <= hi)\n            out[m++] = p;",
     "        if (lo < p.d && p.d <= hi)\n            out[m++] = p;",
     ["survey"], "a cell corner exactly on a band's lower level dropped"),
    ("survey/pointfile.cpp", "if (tabs >= commas && tabs >= semis)", "if (tabs > commas && tabs >= semis)",
     ["survey"], "tab-separated rows whose description holds a comma split at commas"),
    ("survey/polylines.cpp", "|| c == '_' || c == '-' || c == '$')", "|| c == '_' || c == '-')",
     ["survey"], "$ in a layer name replaced"),
    # host, editing and survey beyond the faults above
    ("host/dxf_read.cpp", "if (code < 0 || code > 1071)", "if (code < 0 || code > 1070)",
     HOST_USERS["dxf"], "group code 1071 (the last one) refused as out of range"),
    ("host/dxf_write.cpp", "n = padded ? 3 : code >= 100", "n = padded && code >= 10 ? 3 : code >= 100",
     HOST_USERS["dxf"], "one-digit group codes written without their padding"),
    ("host/files.cpp", "p = to[0] == '/' ? to : folder_of(p) + to;", "p = folder_of(p) + to;",
     HOST_USERS["dxf"], "a link to an absolute path followed as if it were relative"),
    ("host/picture.cpp", "            if (!(e->face_hidden & (1 << k)))\n                segment(",
     "            if (!(e->face_hidden & (1 << (k + 1) % 4)))\n                segment(",
     HOST_USERS["dxf"], "a face's hidden-edge bits read one edge along"),
    ("host/commands.cpp", "decimals < 0 || decimals > 16)", "decimals < 0 || decimals > 15)",
     HOST_USERS["session"] + HOST_USERS["dxf"], "DXFOUT with 16 decimal places refused"),
    ("host/commands.cpp", "if (n.empty() || n.size() > 255)", "if (n.empty() || n.size() >= 255)",
     HOST_USERS["session"], "a layer name of 255 characters refused"),
    ("host/variables.cpp", "if (v < lo || v > hi) {", "if (v < lo || v >= hi) {",
     HOST_USERS["session"], "the top of an integer variable's range refused"),
    ("host/input.cpp", "if (script_depth() >= MAX_SCRIPT_DEPTH) {", "if (script_depth() > MAX_SCRIPT_DEPTH) {",
     HOST_USERS["session"], "scripts nest one deeper than the limit"),
    ("host/selection.cpp", "(p[pi] == '?' || p[pi] == n[ni])", "(p[pi] == n[ni])",
     HOST_USERS["session"], "\"?\" in a name pattern no longer matches any one character"),
    ("editing/explode.cpp", "if (o.closed && o.pts.size() > 2)", "if (o.closed && o.pts.size() > 3)",
     HOST_USERS["editing"], "an exploded closed triangle loses its closing line"),
    ("editing/copy.cpp", "Vec3{p.x - base_.x, p.y - base_.y, p.z - base_.z}",
     "Vec3{p.x - base_.x, p.y - base_.x, p.z - base_.z}",
     HOST_USERS["editing"], "COPY/MOVE displacement's y taken from the base point's x"),
    ("survey/cutfill_cell.cpp", "                return t.p[(i + 1) % 3].z;", "                return t.p[i].z;",
     HOST_USERS["survey"], "a node on a corner takes the height of the corner before it"),
    ("survey/landxml.cpp", "if (std::strcmp(f.attribute(\"i\").value(), \"1\") == 0)",
     "if (std::strcmp(f.attribute(\"i\").value(), \"0\") == 0)",
     HOST_USERS["survey"], "LandXML: faces marked invisible (i=\"1\") read as part of the surface"),
    # added later: numbered after the others so that earlier numbers stay
    ("tin/tin_front.cpp", "if (fabs(sj) * sw_ratio < tin.eps2 || tin_orient(pa, pb, pj) == 0)",
     "if (fabs(sj) * sw_ratio < tin.eps2)",
     ADDON_USERS["tin"], "a point exactly on the edge's line taken when rounding puts it beyond"),
]

# Faults reasoned to change nothing observable: index -> why.
SAME = {
    9: "su * sv == 0 puts an end u of the edge on the line a-k, and sk * sa < 0 (k and a on opposite sides of "
       "the edge's line) then puts u strictly between a and k: u is inside the circle through a, b, k on k's "
       "side of a-b, so the best-circle search takes a point other than k first; grids, points on a few lines "
       "and small lattices gave the same faces with and without the slip",
    17: "a node on the edge's line has c = (A - P) x e = 0, so the length test that follows calls it inside "
        "all the same",
    8: "a point exactly at the limit lies more than eps from the line's end (the limit is x - 2 eps - a margin), "
       "so it can never match it: starting after it finds the same ends",
}


def run(cmd, cwd, log, timeout=None):
    with open(log, "a") as f:
        f.write("$ %s\n" % " ".join(cmd))
        f.flush()
        try:
            return subprocess.run(cmd, cwd=cwd, stdout=f, stderr=subprocess.STDOUT, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            f.write("timed out\n")
            return 124


def sync(scratch):
    """Copies the tree's tracked and new files into the scratch copy, leaving
    files whose content is unchanged untouched (so make rebuilds only what
    differs)."""
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=TREE,
                           capture_output=True, text=True, check=True).stdout.split("\n")
    for rel in filter(None, files):
        src, dst = os.path.join(TREE, rel), os.path.join(scratch, rel)
        if not os.path.isfile(src):
            continue
        with open(src, "rb") as f:
            data = f.read()
        if os.path.exists(dst):
            with open(dst, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy(src, dst)   # a new time stamp: make must see the file changed


def targets_for(folders):
    # Every folder's GoogleTest program; the program and the module for the
    # end-to-end tests.  program and editing have no GoogleTest program.
    names = {"velmora", "velmora_addon"}
    for f in folders:
        if f not in ("program", "editing"):
            names.add("test_" + f)
    return sorted(names)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--scratch", default="/tmp/velmora-fault-sweep")
    ap.add_argument("--only", help="comma-separated fault numbers")
    ap.add_argument("--baseline", action="store_true", help="first run every relevant test unpatched")
    args = ap.parse_args()
    scratch = os.path.abspath(args.scratch)
    if os.path.realpath(scratch).startswith(os.path.realpath(TREE)):
        sys.exit("the scratch copy must be outside the tree")
    build = os.path.join(scratch, "build")
    log = os.path.join(scratch, "sweep.log")
    os.makedirs(scratch, exist_ok=True)

    # Each original text must be there exactly once.
    for n, (path, old, new, folders, what) in enumerate(FAULTS, 1):
        with open(os.path.join(TREE, path)) as f:
            count = f.read().count(old)
        if count != 1:
            sys.exit("fault %d (%s): the original text occurs %d times" % (n, path, count))

    sync(scratch)
    if run(["cmake", "-S", scratch, "-B", build, "-DCMAKE_BUILD_TYPE=Release"], scratch, log) != 0:
        sys.exit("cmake failed; see " + log)
    chosen = range(1, len(FAULTS) + 1)
    if args.only:
        chosen = [int(k) for k in args.only.split(",")]
    folders = sorted({f for n in chosen for f in FAULTS[n - 1][3]})
    if run(["cmake", "--build", build, "-j2", "--target"] + targets_for(folders), scratch, log) != 0:
        sys.exit("the unpatched tree does not build; see " + log)
    if args.baseline:
        regex = "^(%s)\\." % "|".join(folders)
        if run(["ctest", "-j2", "-R", regex, "--output-on-failure"], build, log) != 0:
            sys.exit("the unpatched tree fails its tests; see " + log)

    rows = []
    for n in chosen:
        path, old, new, folders, what = FAULTS[n - 1]
        source = os.path.join(scratch, path)
        with open(source) as f:
            original = f.read()
        start = time.time()
        try:
            with open(source, "w") as f:
                f.write(original.replace(old, new, 1))
            if run(["cmake", "--build", build, "-j2", "--target"] + targets_for(folders), scratch, log) != 0:
                verdict = "caught (build)"
            else:
                regex = "^(%s)\\." % "|".join(folders)
                rc = run(["ctest", "-j2", "-R", regex, "--stop-on-failure", "--timeout", "900"], build, log)
                verdict = "caught" if rc != 0 else ("no change" if n in SAME else "missed")
        finally:
            with open(source, "w") as f:
                f.write(original)
        rows.append((n, path, what, verdict, time.time() - start))
        print("%2d  %-9s %-26s %s" % (n, verdict, path, what), flush=True)

    # A last build puts the scratch copy back to the unpatched programs.
    run(["cmake", "--build", build, "-j2", "--target"] + targets_for(folders), scratch, log)
    changing = [r for r in rows if r[3] != "no change"]
    caught = [r for r in changing if r[3].startswith("caught")]
    print("\n%-3s %-15s %-26s %s" % ("#", "result", "file", "fault"))
    for n, path, what, verdict, secs in rows:
        print("%-3d %-15s %-26s %s%s" % (n, verdict, path, what, "  [%s]" % SAME[n] if n in SAME else ""))
    if changing:
        print("\ncaught %d of the %d faults that change behaviour: %.0f %%"
              % (len(caught), len(changing), 100.0 * len(caught) / len(changing)))


if __name__ == "__main__":
    main()
