// "c:velmora" in-process: the capture of the export file, the command's run
// through the host, its messages and the state it leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "addon_session.h"
#include "triangulate.h"

using velmora::Entity;
using velmora::Vec3;

namespace {

Entity point(double x, double y, double z)
{
    Entity e;
    e.type = "POINT";
    e.pts = {{x, y, z}};
    return e;
}

Entity line(Vec3 a, Vec3 b, int colour)
{
    Entity e;
    e.type = "LINE";
    e.colour = colour;
    e.pts = {a, b};
    return e;
}

std::vector<const Entity *> faces(velmora::Session &s)
{
    std::vector<const Entity *> out;
    for (const auto &e : s.drawing().entities)
        if (!e.erased && e.type == "3DFACE")
            out.push_back(&e);
    return out;
}

// Adds the entities, runs "velmora" on all of them and returns its output.
std::string run_on(vt::AddonSession &s, const std::vector<Entity> &ents)
{
    for (const auto &e : ents)
        s.drawing().add(e);
    s.input("velmora\nall\n\n");
    s.run();
    return s.take_output();
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
        tri_lines = nullptr;
        tri_breaks = nullptr;
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

// A POLYLINE as the host's export writes it: its head, then a VERTEX per
// point (with its flags), then SEQEND.
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

// Lines longer than any buffer (an 80-character layer name is legal) and
// CR LF line ends must keep codes and values paired, in file order.
TEST(Capture, LongLinesAndCrLfKeepTheCodeValuePairing)
{
    std::string layer(300, 'L');
    std::string text = wrap(dxf_point(1, 2, 3, layer) + pair(999, std::string(5000, 'c')) +
                            dxf_line(0, 0, 2, 0, "5") + dxf_point(4, 5, 6, layer));
    std::string crlf;
    for (char ch : text)
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    for (const std::string &t : {text, crlf}) {
        Capture c(t);
        ASSERT_EQ(c.count_rc, 0);
        ASSERT_EQ(c.read_rc, 0);
        EXPECT_EQ(tri_npoints, 2);
        ASSERT_EQ(tri_points_read, 2);
        EXPECT_EQ(tri_points[0].x, 1.0);
        EXPECT_EQ(tri_points[0].z, 3.0);
        EXPECT_EQ(tri_points[1].y, 5.0);
        ASSERT_EQ(tri_lines_read, 1);
        EXPECT_EQ(tri_lines[0].group, 5);
        EXPECT_EQ(tri_lines[0].x2, 2.0);
        EXPECT_EQ(tri_lines[0].z2, 1.0);
    }
}

TEST(Capture, ColourRuleAndGroupCount)
{
    vt::AddonSession s;                  // tri_error prints through the session
    {
        // No colour, BYBLOCK and BYLAYER are the outline; 4, 9 and the last
        // colour, 255, holes, with gaps.
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
}

// Coordinates beyond 1e12 drawing units stop the capture, naming the line
// where the entity starts in the export; the limit itself is taken.
TEST(Capture, CoordinatesBeyondTheRangeNameTheirEntitysLine)
{
    vt::AddonSession s;
    {
        // the head takes lines 1 to 4, a POINT 10: the second starts at 15
        Capture c(wrap(dxf_point(0, 0, 0) + pair(0, "POINT") + pair(10, "5.5") + pair(20, "1e308") + pair(30, "0")));
        EXPECT_EQ(c.read_rc, 1);
        EXPECT_TRUE(has(s.take_output(), "*** VELMORA Error -  POINT at line 15 of the export: coordinate 1e+308 is "
                                         "beyond 1e+12 drawing units\n"));
    }
    {
        Capture c(wrap(dxf_point(0, 0, 0) + dxf_line(0, 0, -2e12, 1, "1")));
        EXPECT_EQ(c.read_rc, 1);
        EXPECT_TRUE(has(s.take_output(), "LINE at line 15 of the export: coordinate -2e+12 is beyond"));
    }
    {
        Capture c(wrap(dxf_point(1e12, -1e12, 1e12) + dxf_line(0, 0, 1e12, 1, "1")));
        EXPECT_EQ(c.read_rc, 0);
        EXPECT_EQ(tri_lines[0].x2, 1e12);
    }
}

// The second pass: a POINT is read up to its group 30 and a LINE up
// to its group 31; pairs that do not read as numbers, an entity's "0" pair
// among them, are passed over.
TEST(Capture, EntitiesReadToTheirClosingGroupAndCountsAreEnforced)
{
    vt::AddonSession s;
    {
        // A POINT without its group 30 goes on into the next LINE: the LINE's
        // 10, 20 and 30 make a second point record, so the last POINT's 10
        // opens a third record where two were counted.
        std::string broken = pair(0, "POINT") + pair(10, "5") + pair(20, "6");
        Capture c(wrap(broken + dxf_line(1, 2, 3, 4, "2") + dxf_point(7, 7, 7)));
        EXPECT_EQ(c.read_rc, 1);
        EXPECT_EQ(tri_points[0].x, 5.0);
        EXPECT_EQ(tri_points[1].x, 1.0);
        EXPECT_EQ(tri_points[1].y, 2.0);
        EXPECT_EQ(tri_lines_read, 0);
        EXPECT_TRUE(has(s.take_output(), "\n*** VELMORA Error -  NRPOINT-READDXF\n"));
    }
    {
        // A colour after the end z is no longer the LINE's: it keeps group 1
        // and sets no flag.  A value that is no number is passed over.
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
        // Two locations inside one POINT: more records than POINTs counted.
        Capture c(wrap(pair(0, "POINT") + pair(10, "1") + pair(10, "2") + pair(30, "0")));
        EXPECT_EQ(c.read_rc, 1);
        EXPECT_TRUE(has(s.take_output(), " NRPOINT-READDXF"));
    }
    {
        Capture c(wrap(dxf_point(0, 0, 0) + pair(0, "POINT") + pair(10, "nan") + pair(20, "1") + pair(30, "0")));
        EXPECT_EQ(c.read_rc, 1);
        EXPECT_TRUE(has(s.take_output(), "NUMBER-READDXF"));
    }
    {
        // only the coordinates must be finite: an ignored group may hold anything
        Capture c(wrap(pair(0, "POINT") + pair(39, "inf") + pair(10, "1") + pair(20, "2") + pair(30, "3")));
        ASSERT_EQ(c.read_rc, 0);
        EXPECT_EQ(tri_points[0].z, 3.0);
    }
}

// 3D polylines are break lines: a segment per pair of vertices in turn,
// the closing one of a closed polyline, a lone vertex as a segment of no
// length.  2D polylines and meshes are not, nor 3D polylines on Velmora's
// own layers (counted), nor a spline's frame points; an entity after a
// POLYLINE is read as ever.
TEST(Capture, ThreeDPolylinesBecomeBreakSegments)
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

    // a vertex beyond the coordinate range names its line in the export
    EXPECT_EQ(Capture(wrap(dxf_point(0, 0, 0) + dxf_polyline("B", 8, {{0, 0, 0}, {3e12, 0, 0}}))).read_rc, 1);
    EXPECT_TRUE(has(s.take_output(), "VERTEX at line 41 of the export: coordinate 3e+12 is beyond"));
    // 3D polylines alone are survey enough; a 2D one is not
    EXPECT_EQ(Capture(wrap(dxf_polyline("B", 8, {{0, 0, 0}, {3, 0, 0}}))).count_rc, 0);
    EXPECT_EQ(Capture(wrap(dxf_polyline("B", 0, {{0, 0, 0}, {3, 0, 0}}))).count_rc, 1);

    // a vertex without its height is refused, not put at 0
    s.take_output();
    std::string no_z = dxf_polyline("B", 8, {{0, 0, 1}, {3, 0, 2}});
    no_z.erase(no_z.find("30\n2.000000\n"), 12);
    EXPECT_EQ(Capture(wrap(dxf_point(0, 0, 0) + no_z)).read_rc, 1);
    EXPECT_TRUE(has(s.take_output(), "VERTEX at line 41 of the export: no x, y and z (groups 10, 20, 30)"));
    // a line that is no group code stops either pass under the command's
    // own head, naming the line
    for (const std::string &at : {pair(0, "POINT") + "ten\n", dxf_polyline("B", 8, {{0, 0, 0}}) + "x\n"}) {
        Capture bad(wrap(dxf_point(0, 0, 0) + at + "1\n"));
        EXPECT_EQ(bad.count_rc, 2);
        std::string out = s.take_output();
        EXPECT_TRUE(has(out, "\n*** VELMORA Error -  READDXF: line " +
                                 std::to_string(4 + 10 + std::count(at.begin(), at.end(), '\n')) +
                                 " of the export cannot be read: ")) << out;
        EXPECT_FALSE(has(out, "VOLUME")) << out;
    }
}

// The export lies beside the add-on: app_path with its last three characters
// replaced by "dxf"; a path that does not fit the buffer
// is refused, never cut or overflowed.
TEST(Capture, ExportPathBesideTheAddOn)
{
    char out[TRI_PATH_SIZE];
    std::snprintf(app_path, sizeof(app_path), "/opt/v.1/velmora.sds");
    ASSERT_EQ(tri_make_export_path(out, sizeof(out)), 0);
    EXPECT_STREQ(out, "/opt/v.1/velmora.dxf");
    // the last three characters, whatever they are
    std::snprintf(app_path, sizeof(app_path), "/opt/v.1/velmora.so");
    ASSERT_EQ(tri_make_export_path(out, sizeof(out)), 0);
    EXPECT_STREQ(out, "/opt/v.1/velmoradxf");

    vt::AddonSession s;
    std::string longest = "/" + std::string(250, 'd') + ".sds";   // 255 characters
    std::snprintf(app_path, sizeof(app_path), "%s", longest.c_str());
    ASSERT_EQ(tri_make_export_path(out, sizeof(out)), 0);
    EXPECT_EQ(std::strlen(out), 255u);
    std::string too_long = "/" + std::string(251, 'd') + ".sds";
    std::snprintf(app_path, sizeof(app_path), "%s", too_long.c_str());
    EXPECT_EQ(tri_make_export_path(out, sizeof(out)), 1);
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(has(s.take_output(), "export path too long"));
    std::snprintf(app_path, sizeof(app_path), "ab");
    EXPECT_EQ(tri_make_export_path(out, sizeof(out)), 1);
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(has(s.take_output(), "too short"));
}

// ---- the command through the host -----------------------------------------

TEST(Command, ThreePointsGiveOneFaceOnTriang)
{
    vt::AddonSession s;
    s.input("setvar cmdecho 1\nsetvar osmode 37\n");
    ASSERT_TRUE(s.run());
    std::string out = run_on(s, {point(0, 0, 1), point(10, 0, 2), point(0, 10, 3)});
    auto f = faces(s);
    ASSERT_EQ(f.size(), 1u) << out;
    EXPECT_EQ(f[0]->layer, "TRIANG");
    EXPECT_EQ(f[0]->colour, 2);
    EXPECT_DOUBLE_EQ(f[0]->pts[0].z + f[0]->pts[1].z + f[0]->pts[2].z, 6.0);
    EXPECT_EQ(f[0]->pts[2].x, f[0]->pts[3].x);          // three-sided
    EXPECT_TRUE(has(out, " - points number= 3 ; triangles number= 1")) << out;
    EXPECT_FALSE(has(out, "Error")) << out;
    EXPECT_FALSE(vt::file_exists(s.dir.file("velmora.dxf")));
    for (const char *var : {"CMDECHO", "OSMODE"}) {
        resbuf rb{};
        ASSERT_EQ(sds_getvar(var, &rb), RTNORM);
        EXPECT_EQ(rb.resval.rint, 0) << var;
    }
}

TEST(Command, DxfoutVersionAnswerFollowsTheHost)
{
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

TEST(Command, CoincidentPointsMergedAndNoPointsGiveNoLayer)
{
    {
        vt::AddonSession s;
        std::vector<Entity> pts;
        for (int i = 0; i < 3; i++)
            pts.insert(pts.end(), {point(0, 0, 1), point(5, 0, 1), point(5, 5, 1)});
        pts.push_back(point(0, 5, 1));
        EXPECT_TRUE(has(run_on(s, pts), " - points number= 4 ; triangles number= 2"));
        EXPECT_EQ(faces(s).size(), 2u);
    }
    vt::AddonSession s;
    EXPECT_TRUE(has(run_on(s, {line({0, 0, 0}, {1, 1, 0}, 1)}), "\n*** VELMORA Error -  Missing POINT entities\n"));
    EXPECT_EQ(s.drawing().layer("TRIANG"), nullptr);
    EXPECT_TRUE(faces(s).empty());
}

// Every way the run can stop frees the arrays and leaves no export behind.
TEST(Command, FailuresFreeTheArraysAndDeleteTheExport)
{
    {
        vt::AddonSession s;
        std::string out = run_on(s, {point(0, 0, 0), point(1, 1, 0), point(1, 1, 0)});
        EXPECT_TRUE(has(out, "*** LIBVELMORA Error -  np < 3")) << out;
        EXPECT_TRUE(has(out, "\n*** LIBVELMORA Error !")) << out;
        EXPECT_FALSE(vt::file_exists(s.dir.file("velmora.dxf")));
        EXPECT_EQ(tri_points, nullptr);
        EXPECT_TRUE(faces(s).empty());
    }
    {
        // A bad LINE colour stops the run before the library is called.
        vt::AddonSession s;
        std::string out = run_on(s, {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), line({0, 0, 0}, {1, 0, 0}, 300)});
        EXPECT_TRUE(has(out, "LINE colour 300")) << out;
        EXPECT_FALSE(has(out, "points number=")) << out;
        EXPECT_TRUE(faces(s).empty());
        EXPECT_EQ(tri_points, nullptr);
    }
    // A leftover export is deleted before the (here empty) selection.
    vt::AddonSession s;
    vt::write_file(s.dir.file("velmora.dxf"), wrap(dxf_point(0, 0, 0) + dxf_point(1, 0, 0) + dxf_point(0, 1, 0)));
    s.input("velmora\n\n");
    s.run();
    EXPECT_TRUE(has(s.take_output(), "*** VELMORA Error - nothing selected"));
    EXPECT_FALSE(vt::file_exists(s.dir.file("velmora.dxf")));
    EXPECT_TRUE(faces(s).empty());
}

TEST(Command, ConstraintLinesShownInTheirGroupColour)
{
    vt::AddonSession s;
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
