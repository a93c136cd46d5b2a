// "c:velmora" in-process: the capture of the export file, the command's run, messages and leftovers, outlines at
// elevation 0, 3D polylines as break lines (those Velmora draws passed over), and TINMAXEDGE trimming a terrain.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "addon_session.h"
#include "triangulate.h"

using velmora::Entity;
using velmora::Vec3;

namespace {

using vt::line;
using vt::point;
using vt::poly3d;

// A face's corners, x y z each, compared exactly.
typedef std::array<double, 9> Face;

std::vector<Face> faces(velmora::Session &s)
{
    std::vector<Face> out;
    for (const auto &e : s.drawing().entities)
        if (!e.erased && e.type == "3DFACE") {
            const Vec3 *p = e.pts.data();
            out.push_back({p[0].x, p[0].y, p[0].z, p[1].x, p[1].y, p[1].z, p[2].x, p[2].y, p[2].z});
        }
    return out;
}

// Is the plan segment a-b a side of some face?
bool is_side(const std::vector<Face> &fs, const Vec3 &a, const Vec3 &b)
{
    for (const Face &f : fs)
        for (int k = 0; k < 3; k++) {
            double px = f[3 * k], py = f[3 * k + 1], qx = f[(3 * k + 3) % 9], qy = f[(3 * k + 4) % 9];
            if ((px == a.x && py == a.y && qx == b.x && qy == b.y) ||
                (px == b.x && py == b.y && qx == a.x && qy == a.y))
                return true;
        }
    return false;
}

// Adds the entities and runs the script (by default "velmora" on all).
vt::Outcome run_on(vt::AddonSession &s, const std::vector<Entity> &ents, const std::string &script = "velmora\nall\n\n")
{
    for (const auto &e : ents)
        s.drawing().add(e);
    return vt::run_script(s, script);
}

bool has(const std::string &out, const std::string &what) { return out.find(what) != std::string::npos; }

// Writes an export file by hand where the command would find it, and runs
// the two capture passes over it with arrays sized from the count.
struct Capture {
    vt::TempDir dir;
    int count_rc = -1, read_rc = -1;

    explicit Capture(const std::string &text)
    {
        std::snprintf(app_path, sizeof(app_path), "%s/velmora.sds", dir.path().c_str());
        vt::write_file(dir.file("velmora.dxf"), text);
        count_rc = tri_count_entities();
        if (count_rc != 0)
            return;
        tri_points = (tin_point *)calloc((size_t)tri_npoints, sizeof(tin_point));
        tri_lines = tri_nlines ? (tin_line *)calloc((size_t)tri_nlines, sizeof(tin_line)) : nullptr;
        tri_breaks = tri_nvertices ? (tin_line *)calloc((size_t)tri_nvertices, sizeof(tin_line)) : nullptr;
        tri_colour_seen = (unsigned char *)calloc(256, 1);
        read_rc = tri_read_entities();
    }
    ~Capture()
    {
        dxf_close();
        free(tri_points);
        free(tri_lines);
        free(tri_breaks);
        free(tri_colour_seen);
        tri_points = nullptr;
        tri_lines = tri_breaks = nullptr;
        tri_colour_seen = nullptr;
    }
};

std::string pair(int code, const std::string &value) { return std::to_string(code) + "\n" + value + "\n"; }

std::string dxf_point(double x, double y, double z, const std::string &layer = "0")
{
    return pair(0, "POINT") + pair(8, layer) + pair(10, std::to_string(x)) + pair(20, std::to_string(y)) +
           pair(30, std::to_string(z));
}

std::string dxf_line(double x1, double y1, double x2, double y2, const char *colour)
{
    std::string s = pair(0, "LINE") + pair(8, "0");
    if (colour)
        s += pair(62, colour);
    return s + pair(10, std::to_string(x1)) + pair(20, std::to_string(y1)) + pair(30, "0") +
           pair(11, std::to_string(x2)) + pair(21, std::to_string(y2)) + pair(31, "1");
}

std::string wrap(const std::string &entities)
{
    return pair(0, "SECTION") + pair(2, "ENTITIES") + entities + pair(0, "ENDSEC") + pair(0, "EOF");
}

// A POLYLINE as the host's export writes it: its head, then a VERTEX per point (with its flags), then SEQEND.
std::string dxf_polyline(const std::string &layer, int flags, const std::vector<Vec3> &pts,
                         const std::vector<int> &vflags = {})
{
    std::string s = pair(0, "POLYLINE") + pair(8, layer) + pair(66, "1") + pair(10, "0.0") +
                    pair(20, "0.0") + pair(30, "0.0") + pair(70, std::to_string(flags));
    for (size_t i = 0; i < pts.size(); i++)
        s += pair(0, "VERTEX") + pair(8, layer) + pair(10, std::to_string(pts[i].x)) +
             pair(20, std::to_string(pts[i].y)) + pair(30, std::to_string(pts[i].z)) +
             pair(70, std::to_string(i < vflags.size() ? vflags[i] : 32));
    return s + pair(0, "SEQEND") + pair(8, layer);
}

}  // namespace

// ---- capture of the export file -------------------------------------------

// (Long lines and CR LF line ends: the pair reader's test in tests/frame.)
TEST(Capture, ColourRuleGroupCountAndEntitiesReadToTheirClosingGroup)
{
    vt::AddonSession s;                  // tri_error prints through the session
    {
        // No colour, BYBLOCK and BYLAYER are the outline; 4, 9 and the last colour, 255, holes, with gaps.
        Capture c(wrap(dxf_point(0, 0, 0) + dxf_line(0, 0, 1, 0, nullptr) +
                       dxf_line(0, 0, 1, 0, "0") + dxf_line(0, 0, 1, 0, "256") +
                       dxf_line(0, 0, 1, 0, "9") + dxf_line(0, 0, 1, 0, "4.7") + dxf_line(0, 0, 1, 0, "255")));
        ASSERT_EQ(c.read_rc, 0);
        int groups[6] = {1, 1, 1, 9, 4, 255};
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(tri_lines[i].group, groups[i]) << i;
        EXPECT_EQ(tri_group_count(), 255);
        EXPECT_EQ(tri_colour_seen[9] + tri_colour_seen[4] + tri_colour_seen[255], 3);
        EXPECT_EQ(tri_colour_seen[0] + tri_colour_seen[1], 0);
    }
    // A colour is named as the number it stands as: 4294967295 is no outline.
    for (const char *bad : {"300", "-3", "70000", "1e300", "4294967295", "257"}) {
        s.take_output();
        Capture c(wrap(dxf_point(0, 0, 0) + dxf_line(0, 0, 1, 0, bad)));
        EXPECT_EQ(c.read_rc, 1) << bad;
        char want[64];
        std::snprintf(want, sizeof(want), "*** VELMORA Error -  LINE colour %.15g -READDXF", std::strtod(bad, nullptr));
        EXPECT_TRUE(has(s.take_output(), want)) << bad;
    }

    // What stops the capture: a coordinate beyond 1e12 (naming the entity's line in the export) or not finite, a POINT
    // read past its group 30 or holding two locations, a VERTEX without its height; a line that is no group code stops
    // either pass.  Other pairs that are no numbers are passed over; a colour after a LINE's end z is not the LINE's;
    // the limit itself is taken.
    std::string no_z = dxf_polyline("B", 8, {{0, 0, 1}, {3, 0, 2}});
    no_z.erase(no_z.find("30\n2.000000\n"), 12);
    const std::string p0 = dxf_point(0, 0, 0);
    // the head takes lines 1 to 4, a POINT 10: the second starts at 15
    struct Case { std::string entities; int count_rc, read_rc; std::string message; } cases[] = {
        {p0 + pair(0, "POINT") + pair(10, "5.5") + pair(20, "1e308") + pair(30, "0"), 0, 1,
         "*** VELMORA Error -  POINT at line 15 of the export: coordinate 1e+308 is beyond 1e+12 drawing units\n"},
        {p0 + dxf_line(0, 0, -2e12, 1, "1"), 0, 1, "LINE at line 15 of the export: coordinate -2e+12 is beyond"},
        {p0 + dxf_polyline("B", 8, {{0, 0, 0}, {3e12, 0, 0}}), 0, 1,
         "VERTEX at line 41 of the export: coordinate 3e+12 is beyond"},
        // without its group 30 a POINT goes on into the next LINE, whose
        // 10, 20 and 30 make a second record; the last POINT's 10 opens a third
        {pair(0, "POINT") + pair(10, "5") + pair(20, "6") + dxf_line(1, 2, 3, 4, "2") + dxf_point(7, 7, 7), 0, 1,
         "\n*** VELMORA Error -  NRPOINT-READDXF\n"},
        {pair(0, "POINT") + pair(10, "1") + pair(10, "2") + pair(30, "0"), 0, 1, " NRPOINT-READDXF"},
        {p0 + pair(0, "POINT") + pair(10, "nan") + pair(20, "1") + pair(30, "0"), 0, 1, "NUMBER-READDXF"},
        {p0 + no_z, 0, 1, "VERTEX at line 41 of the export: no x, y and z (groups 10, 20, 30)"},
        {p0 + pair(0, "POINT") + "ten\n1\n", 2, -1, "\n*** VELMORA Error -  READDXF: line 17 of the export cannot be read: "},
        {p0 + dxf_polyline("B", 8, {{0, 0, 0}}) + "x\n1\n", 2, -1,
         "\n*** VELMORA Error -  READDXF: line 45 of the export cannot be read: "},
        // 3D polylines alone are survey enough; a 2D one is not
        {dxf_polyline("B", 8, {{0, 0, 0}, {3, 0, 0}}), 0, 0, ""},
        {dxf_polyline("B", 0, {{0, 0, 0}, {3, 0, 0}}), 1, -1, ""},
    };
    for (const Case &c : cases) {
        s.take_output();
        Capture cap(wrap(c.entities));
        EXPECT_EQ(cap.count_rc, c.count_rc) << c.message;
        EXPECT_EQ(cap.read_rc, c.read_rc) << c.message;
        std::string out = s.take_output();
        EXPECT_TRUE(has(out, c.message)) << out;
        EXPECT_FALSE(has(out, "VOLUME")) << out;
    }
    {
        Capture c(wrap(dxf_point(1e12, -1e12, 1e12) + dxf_line(0, 0, 1e12, 1, "1")));
        EXPECT_EQ(c.read_rc, 0);
        EXPECT_EQ(tri_lines[0].x2, 1e12);
    }
    {
        std::string late = pair(0, "LINE") + pair(10, "0") + pair(20, "0") + pair(30, "0") +
                           pair(11, "abc") + pair(11, "1") + pair(21, "1") + pair(31, "0") + pair(62, "5");
        Capture c(wrap(dxf_point(0, 0, 0) + late));
        ASSERT_EQ(c.read_rc, 0);
        ASSERT_EQ(tri_lines_read, 1);
        EXPECT_EQ(tri_lines[0].group, 1);
        EXPECT_EQ(tri_lines[0].x2, 1.0);
        EXPECT_EQ(tri_colour_seen[5], 0);
    }
    {
        // only the coordinates must be finite: an ignored group may hold anything
        Capture c(wrap(pair(0, "POINT") + pair(39, "inf") + pair(10, "1") + pair(20, "2") + pair(30, "3")));
        ASSERT_EQ(c.read_rc, 0);
        EXPECT_EQ(tri_points[0].z, 3.0);
    }
}

// 3D polylines are break lines: a segment per pair of vertices, the closing one when closed, a lone vertex as a segment
// of no length.  Not so 2D polylines, meshes, Velmora's own layers (counted) or a spline's frame.
TEST(Capture, ThreeDPolylinesBecomeBreakSegmentsAndTheExportLiesBesideTheAddOn)
{
    vt::AddonSession s;
    std::string text = dxf_point(0, 0, 0) +
                       dxf_polyline("BANK", 8, {{0, 0, 1}, {5, 0, 2}, {5, 5, 3}}) +
                       dxf_polyline("KERB", 9, {{10, 10, 4}, {20, 10, 4}, {20, 20, 4}}) +
                       dxf_polyline("Contour-Minor", 8, {{1, 1, 1}, {2, 2, 2}}) +
                       dxf_polyline("3DINT", 9, {{1, 1, 1}, {2, 2, 2}, {3, 1, 1}}) +
                       dxf_polyline("FLAT", 0, {{1, 1, 0}, {2, 2, 0}}) +
                       dxf_polyline("MESH", 16, {{1, 1, 0}, {2, 2, 0}, {1, 2, 0}, {2, 1, 0}}) +
                       dxf_polyline("SPOT", 8, {{7, 7, 7}}) +
                       dxf_polyline("SPLINE", 12, {{30, 0, 1}, {31, 1, 2}, {32, 0, 3}, {33, 1, 4}},
                                    {48, 40, 48, 40}) +
                       dxf_line(0, 0, 5, 0, "2") + dxf_point(9, 9, 9);
    {   // one capture at a time: each owns the arrays until it ends
        Capture c(wrap(text));
        ASSERT_EQ(c.read_rc, 0);
        EXPECT_EQ(tri_npoints, 2);
        EXPECT_EQ(tri_points_read, 2);
        EXPECT_EQ(tri_points[1].z, 9.0);
        EXPECT_EQ(tri_lines_read, 1);
        EXPECT_EQ(tri_lines[0].group, 2);
        EXPECT_EQ(tri_polylines_passed, 2);
        // vertices of the break lines only: 3 + 3 + 1 + 4
        EXPECT_EQ(tri_nvertices, 11);
        struct { double x1, y1, z1, x2, y2, z2; } want[] = {
            {0, 0, 1, 5, 0, 2}, {5, 0, 2, 5, 5, 3},                             // open
            {10, 10, 4, 20, 10, 4}, {20, 10, 4, 20, 20, 4}, {20, 20, 4, 10, 10, 4}, // closed
            {7, 7, 7, 7, 7, 7},                                                 // lone vertex
            {31, 1, 2, 33, 1, 4},                                               // fit vertices only
        };
        ASSERT_EQ(tri_breaks_read, 7);
        for (int i = 0; i < 7; i++) {
            const tin_line &l = tri_breaks[i];
            EXPECT_EQ(l.group, TIN_BREAK);
            EXPECT_EQ(std::vector<double>({l.x1, l.y1, l.z1, l.x2, l.y2, l.z2}),
                      std::vector<double>({want[i].x1, want[i].y1, want[i].z1, want[i].x2, want[i].y2, want[i].z2}))
                << "segment " << i;
        }
    }


    // The export lies beside the add-on: app_path with its last three characters, whatever they are, made "dxf"; a path
    // that does not fit is refused, never cut or overflowed.
    std::string longest = "/" + std::string(250, 'd') + ".sds";   // 255 characters
    const struct { std::string app, want, said; } cases[] = {
        {"/opt/v.1/velmora.sds", "/opt/v.1/velmora.dxf", ""},
        {"/opt/v.1/velmora.so", "/opt/v.1/velmoradxf", ""},
        {longest, longest.substr(0, 252) + "dxf", ""},
        {"/" + std::string(251, 'd') + ".sds", "", "export path too long"},
        {"ab", "", "too short"},
    };
    for (const auto &c : cases) {
        char out[TRI_PATH_SIZE];
        std::snprintf(app_path, sizeof(app_path), "%s", c.app.c_str());
        EXPECT_EQ(tri_make_export_path(out, sizeof(out)), c.want.empty() ? 1 : 0) << c.app;
        EXPECT_EQ(std::string(out), c.want);
        EXPECT_TRUE(has(s.take_output(), c.said)) << c.app;
    }
}

// ---- the command through the host -----------------------------------------

// The command leaves CMDECHO and OSMODE at 0 (the faces it draws, their
// layer and colour: test_terrain.py); without POINTs it makes no layer.
TEST(Command, VariablesLeftAtZeroNoPointsGiveNoLayerAndTheExportFollowsTheHost)
{
    vt::AddonSession s;
    s.input("setvar cmdecho 1\nsetvar osmode 37\n");
    ASSERT_TRUE(s.run());
    run_on(s, {point(0, 0, 1), point(10, 0, 2), point(0, 10, 3)});
    EXPECT_EQ(faces(s).size(), 1u);
    for (const char *var : {"CMDECHO", "OSMODE"}) {
        resbuf rb{};
        ASSERT_EQ(sds_getvar(var, &rb), RTNORM);
        EXPECT_EQ(rb.resval.rint, 0) << var;
    }
    vt::AddonSession none;
    EXPECT_TRUE(has(run_on(none, {line({0, 0, 0}, {1, 1, 0}, 1)}).out, "Missing POINT entities"));
    EXPECT_EQ(none.drawing().layer("TRIANG"), nullptr);

    // The export's version answer follows the host's.
    for (const char *ver : {"14.01", "R12-velmora"}) {
        vt::AddonSession s;
        ASSERT_TRUE(s.command({"setvar", "ACADVER", ver}));
        run_on(s, {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)});
        std::string want = "dxfout " + s.dir.file("velmora.dxf") + " v " + (ver[0] == '1' ? "3" : "r12") +
                           " entities <ss> \"\" 10";
        const auto &log = s.command_log();
        EXPECT_NE(std::find(log.begin(), log.end(), want), log.end()) << ver;
    }
}

// Every way the run can stop frees the arrays and leaves no export: the
// library's failure, a bad LINE colour, break lines the preparation refuses.
TEST(Command, FailuresFreeTheArraysAndDeleteTheExportAndConstraintLinesAreShown)
{
    const std::pair<std::vector<Entity>, const char *> cases[] = {
        {{point(0, 0, 0), point(1, 1, 0), point(1, 1, 0)}, "*** LIBVELMORA Error -  np < 3"},
        {{point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), line({0, 0, 0}, {1, 0, 0}, 300)}, "LINE colour 300"},
        {{point(0, 0, 5), point(10, 0, 5), point(10, 10, 5), point(0, 10, 5), poly3d("B", {{1, 1, 1}, {9, 9, 5}}),
          poly3d("B", {{1, 9, 4}, {9, 1, 4}})},
         "break lines cross at (5, 5) at heights 3 and 4"},
    };
    for (const auto &[ents, message] : cases) {
        vt::AddonSession s;
        vt::Outcome o = run_on(s, ents);
        EXPECT_FALSE(o.ok) << message;
        EXPECT_TRUE(has(o.out, message)) << o.out;
        EXPECT_FALSE(has(o.out, "points number=")) << o.out;
        EXPECT_FALSE(vt::file_exists(s.dir.file("velmora.dxf")));
        EXPECT_EQ(tri_points, nullptr);
        EXPECT_TRUE(faces(s).empty());
    }
    // A leftover export is deleted before the (here empty) selection.
    vt::AddonSession s;
    vt::write_file(s.dir.file("velmora.dxf"), wrap(dxf_point(0, 0, 0) + dxf_point(1, 0, 0) + dxf_point(0, 1, 0)));
    EXPECT_TRUE(has(run_on(s, {}, "velmora\n\n").out, "*** VELMORA Error - nothing selected"));
    EXPECT_FALSE(vt::file_exists(s.dir.file("velmora.dxf")));

    Vec3 c[4] = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
    std::vector<Entity> ents = {point(3, 4, 1)};
    for (int i = 0; i < 4; i++) {
        ents.push_back(point(c[i].x, c[i].y, c[i].z));
        ents.push_back(line(c[i], c[(i + 1) % 4], i == 0 ? 256 : 1));
    }
    run_on(s, ents);
    ASSERT_EQ(s.overlay().size(), 4u);
    for (const auto &o : s.overlay()) {
        EXPECT_EQ(o.colour, 1);
        EXPECT_EQ(o.highlight, 1);
    }
    EXPECT_EQ(tri_colour_count, 1);
    EXPECT_EQ(faces(s).size(), 4u);
}

// ---- outlines as drawn, and the coordinate limit --------------------------

// Outlines are mostly drawn at elevation 0: their ends still name survey points in plan, so the terrain stops at them
// (it once dropped them and drew the whole grid).  Refused outlines: tests/tin/constraint_test.cpp.
TEST(Outlines, AnOutlineAtElevationZeroStillBoundsTheTerrainAndTheLimitIsTaken)
{
    auto height = [](double x, double y) { return 300 + x + 2 * y; };
    std::vector<Entity> ents;
    for (int x = 0; x <= 10; x++)
        for (int y = 0; y <= 10; y++)
            ents.push_back(point(x, y, height(x, y)));
    const Vec3 c[4] = {{2, 2, 0}, {8, 2, 0}, {8, 8, 0}, {2, 8, 0}};
    for (int i = 0; i < 4; i++)
        ents.push_back(line(c[i], c[(i + 1) % 4], 1));
    vt::AddonSession s;
    std::string out = run_on(s, ents).out;
    auto f = faces(s);
    ASSERT_EQ(f.size(), 72u) << out;         // 6 x 6 cells, two triangles each
    for (const Face &e : f)
        for (int k = 0; k < 9; k += 3) {
            EXPECT_TRUE(e[k] >= 2 && e[k] <= 8 && e[k + 1] >= 2 && e[k + 1] <= 8);
            EXPECT_EQ(e[k + 2], height(e[k], e[k + 1]));   // the survey's heights
        }
    EXPECT_FALSE(has(out, "Warning")) << out;

    // Coordinates beyond 1e12 are refused at the capture (Capture.ColourRule...); the limit itself goes all the way.
    vt::AddonSession limit;
    run_on(limit, {point(1e12, 0, 0), point(-1e12, 0, 0), point(0, 1e12, 0)});
    EXPECT_EQ(faces(limit).size(), 1u);
}

namespace {

// A survey on a slope with a ragged edge, an outline around part of it when asked.
std::vector<Entity> survey(unsigned seed, bool outline)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(0, 400);
    std::vector<Entity> ents;
    for (int i = 0; i < 300; i++) {
        double x = d(gen), y = d(gen);
        ents.push_back(vt::point(x, y, 100 + x * 0.05));
    }
    if (outline) {
        Vec3 c[4] = {{50, 50, 0}, {350, 50, 0}, {350, 350, 0}, {50, 350, 0}};
        for (int i = 0; i < 4; i++) {
            ents.push_back(vt::point(c[i].x, c[i].y, 100 + c[i].x * 0.05));
            ents.push_back(vt::line(c[i], c[(i + 1) % 4], 1));
        }
    }
    return ents;
}

// The faces a fresh session draws from the entities with the script; the run's outcome in *o.
std::vector<Face> terrain(const std::vector<Entity> &ents, vt::Outcome *o,
                          const std::string &script = "velmora\nall\n\n")
{
    vt::AddonSession s;
    *o = run_on(s, ents, script);
    return faces(s);
}

}  // namespace

// ---- 3D polylines and TINMAXEDGE -----------------------------------------

// The 3D polylines Velmora draws (crossings, contours, the cut/fill line) and
// other polylines change nothing: the same faces in the same order.
TEST(BreakCommand, PolylinesThatAreNoBreakLinesChangeNothingAndABanksLinesAreKept)
{
    for (bool outline : {false, true}) {
        vt::Outcome a, b;
        std::vector<Face> plain = terrain(survey(7, outline), &a);
        ASSERT_TRUE(a.ok) << a.out;
        EXPECT_FALSE(has(a.out, "Note")) << a.out;

        std::vector<Entity> ents = survey(7, outline);
        std::vector<Vec3> across = {{0, 0, 90}, {400, 400, 130}};
        for (const char *layer : {"3dint", "CONTOUR-MINOR", "contour-major", "CutFill-Zero"})
            ents.push_back(poly3d(layer, across));
        ents.push_back(vt::mesh(2, 2, {{0, 0, 0}, {400, 0, 0}, {0, 400, 0}, {400, 400, 0}}, "MESH"));
        EXPECT_EQ(terrain(ents, &b), plain);
        ASSERT_TRUE(b.ok) << b.out;
        EXPECT_TRUE(has(b.out, "\n*** VELMORA Note - 4 3D polylines on Velmora's own layers (surface "
                               "crossings, contours, cut/fill) passed over: they are not break lines"))
            << b.out;
    }

    // A bank: its toe and top drawn as 3D polylines over a survey that does not follow them.  Each of their segments is
    // a face side, their vertices keep their heights, and the faces cover the same ground.
    std::vector<Entity> ents;
    for (int y = 0; y <= 100; y += 12)
        for (int x = 0; x <= 100; x += 10)
            if (y < 35 || y > 60)
                ents.push_back(vt::point(x + (y % 7), y, y < 35 ? 10 : 20));
    std::vector<Vec3> toe = {{0, 40, 10}, {20, 43, 10}, {45, 37, 10}, {70, 42, 10}, {106, 39, 10}};
    std::vector<Vec3> top = {{0, 48, 20}, {25, 51, 20}, {50, 46, 20}, {75, 50, 20}, {106, 47, 20}};
    ents.push_back(poly3d("BANK", toe));
    ents.push_back(poly3d("BANK", top));
    vt::AddonSession s;
    vt::Outcome o = run_on(s, ents);
    ASSERT_TRUE(o.ok) << o.out;
    std::vector<Face> fs = faces(s);
    for (const auto *line : {&toe, &top})
        for (size_t i = 0; i + 1 < line->size(); i++)
            EXPECT_TRUE(is_side(fs, (*line)[i], (*line)[i + 1])) << "segment " << i;
    // every corner on the bank's lines has the line's height; the slope between them has no survey point, so every face
    // there rises from toe to top
    for (const Face &f : fs)
        for (int k = 0; k < 9; k += 3)
            for (const auto *line : {&toe, &top})
                for (const Vec3 &v : *line)
                    if (f[k] == v.x && f[k + 1] == v.y) {
                        EXPECT_EQ(f[k + 2], v.z);
                    }
    // the break lines are shown as they were kept, in white
    size_t white = 0;
    for (const auto &ov : s.overlay())
        white += ov.colour == 7 && ov.highlight;
    EXPECT_EQ(white, 8u);
}

// Without an outline, TINMAXEDGE trims the long faces along the edge and prints the count (which go:
// tests/tin/trim_test.cpp).  A negative value asks at a prompt; an outline makes it unused.
TEST(BreakCommand, TinmaxedgeTrimsATerrainWithoutOutline)
{
    std::vector<Entity> ents = survey(3, false);
    vt::Outcome o;
    std::vector<Face> all = terrain(ents, &o);
    ASSERT_TRUE(o.ok) << o.out;

    // set, or answered at the prompt a negative value asks for
    for (const char *script : {"setvar tinmaxedge 40\nvelmora\nall\n\n", "setvar TINMAXEDGE -1\nvelmora\nall\n\n40\n"}) {
        std::vector<Face> left = terrain(ents, &o, script);
        ASSERT_TRUE(o.ok) << o.out;
        ASSERT_LT(left.size(), all.size());
        // the faces kept are the whole's, in order (which go: the library's test)
        size_t at = 0;
        for (const Face &f : left) {
            while (at < all.size() && all[at] != f)
                at++;
            EXPECT_LT(at++, all.size()) << "a kept face out of order or new";
        }
        EXPECT_TRUE(has(o.out, "\n - triangles removed along the edge (an edge over TINMAXEDGE 40)= " +
                                   std::to_string(all.size() - left.size())))
            << o.out;
        EXPECT_EQ(has(o.out, "Maximum triangle edge where there is no outline, 0 for none <0>: "),
                  std::string(script).find(" -1") != std::string::npos);
    }

    // Enter at the prompt: none; *cancel*: the call fails
    EXPECT_EQ(terrain(ents, &o, "setvar tinmaxedge -1\nvelmora\nall\n\n\n"), all);
    EXPECT_TRUE(o.ok);
    EXPECT_TRUE(terrain(ents, &o, "setvar tinmaxedge -1\nvelmora\nall\n\n*cancel*\n").empty());
    EXPECT_FALSE(o.ok);

    // with an outline it is not used
    std::vector<Face> untrimmed = terrain(survey(3, true), &o);
    ASSERT_TRUE(o.ok) << o.out;
    EXPECT_EQ(terrain(survey(3, true), &o, "setvar tinmaxedge 5\nvelmora\nall\n\n"), untrimmed);
    EXPECT_TRUE(o.ok);
    EXPECT_TRUE(has(o.out, "*** VELMORA Note - TINMAXEDGE is not used: the outline bounds the terrain"));

    // the variable: a number, 0 when unset
    vt::AddonSession v;
    resbuf rb{};
    ASSERT_EQ(sds_getvar("tinmaxedge", &rb), RTNORM);
    EXPECT_EQ(rb.restype, RTREAL);
    EXPECT_EQ(rb.resval.rreal, 0.0);
    vt::Outcome bad = vt::run_script(v, "setvar tinmaxedge ten\n");
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(has(bad.reason + bad.out, "\"ten\" is not a number for TINMAXEDGE.")) << bad.out;
    ASSERT_TRUE(vt::run_script(v, "setvar tinmaxedge 12.5\n").ok);
    ASSERT_EQ(sds_getvar("TINMAXEDGE", &rb), RTNORM);
    EXPECT_EQ(rb.resval.rreal, 12.5);
}
