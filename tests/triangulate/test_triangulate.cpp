// "c:velmora" in-process: the capture of the export file, the command's run
// through the host, its messages and the state it leaves behind, and the
// input it cannot triangulate soundly (crossing or open outlines, outlines
// at another elevation than the survey, coordinates beyond the range),
// refused with a message before the first face.
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

using vt::line;
using vt::point;

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

// What stops the capture: coordinates beyond 1e12 drawing units (naming the
// line where the entity starts in the export), a POINT read past its group
// 30 into the next entity or holding two locations (more records than
// POINTs counted), a coordinate that is no finite number, a VERTEX without
// its height; a line that is no group code stops either pass under the
// command's own head.  Pairs that do not read as numbers elsewhere, an
// entity's "0" pair among them, are passed over; a colour after a LINE's
// end z is no longer the LINE's; the limit itself is taken.
TEST(Capture, EntitiesReadToTheirClosingGroupAndBadOnesStopTheCapture)
{
    vt::AddonSession s;                  // tri_error prints through the session
    std::string no_z = dxf_polyline("B", 8, {{0, 0, 1}, {3, 0, 2}});
    no_z.erase(no_z.find("30\n2.000000\n"), 12);
    const std::string p0 = dxf_point(0, 0, 0);
    // the head takes lines 1 to 4, a POINT 10: the second starts at 15
    struct Case {
        std::string entities;
        int count_rc, read_rc;
        std::string message;
    } cases[] = {
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

// ---- input the command cannot triangulate soundly -------------------------

namespace {

// A survey on the integer grid 0..10 x 0..10, at heights 300 and up.
double height(double x, double y) { return 300 + x + 2 * y; }

std::vector<Entity> survey()
{
    std::vector<Entity> out;
    for (int x = 0; x <= 10; x++)
        for (int y = 0; y <= 10; y++)
            out.push_back(point(x, y, height(x, y)));
    return out;
}

// A closed ring of LINEs through the corners (on the survey's heights,
// or at elevation 0 when `z0`), in one colour.
void ring(std::vector<Entity> &ents, const std::vector<std::pair<double, double>> &corners, int colour,
          bool z0 = false)
{
    for (size_t i = 0; i < corners.size(); i++) {
        auto [ax, ay] = corners[i];
        auto [bx, by] = corners[(i + 1) % corners.size()];
        ents.push_back(line({ax, ay, z0 ? 0 : height(ax, ay)}, {bx, by, z0 ? 0 : height(bx, by)}, colour));
    }
}

// Runs the command on `ents` in a fresh session: its outcome and the faces drawn.
vt::Outcome triangulate(const std::vector<Entity> &ents, size_t *drawn)
{
    vt::AddonSession s;
    for (const auto &e : ents)
        s.drawing().add(e);
    vt::Outcome o = vt::run_script(s, "velmora\nall\n\n");
    *drawn = faces(s).size();
    return o;
}

}  // namespace

// Outlines that cross themselves or each other used to stop with WRBUFF
// after drawing hundreds of overlapping faces; open chains were dropped.
TEST(BadOutlines, CrossingOpenOrSharedLinesAreRefusedBeforeAnyFace)
{
    typedef std::vector<std::pair<double, double>> Ring;
    const Ring square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    struct Case {
        std::vector<std::pair<Ring, int>> rings;
        std::vector<std::pair<Ring, int>> open;     // open chains of LINEs
        const char *message;
    } cases[] = {
        // a bow-tie whose sides cross between survey points...
        {{{{{0, 0}, {10, 9}, {10, 0}, {0, 9}}, 1}}, {},
         "*** LIBVELMORA Error -  LINEs of colour 1 cross at (5, 4.5): outline and voids must not cross or touch"},
        // ...and one whose sides cross at a survey point, which cuts all four
        {{{{{0, 0}, {10, 10}, {10, 0}, {0, 10}}, 1}}, {}, "LINEs of colour 1: 4 line ends meet at (5, 5)"},
        // a void drawn as an X inside a good outline
        {{{square, 1}}, {{{{3, 3}, {7, 6}}, 2}, {{{3, 6}, {7, 3}}, 2}}, "LINEs of colour 2 cross at (5, 4.5)"},
        // a void reaching out across the outline, through survey points
        {{{{{0, 0}, {8, 0}, {8, 8}, {0, 8}}, 1}, {{{6, 2}, {10, 2}, {10, 4}, {6, 4}}, 3}}, {},
         "LINEs of colours 1 and 3 meet at (8, 2): outline and voids must not cross or touch"},
        // a break line as surveyors draw one: open, in a colour of its own
        {{{square, 1}}, {{{{2, 5}, {5, 6}, {8, 5}}, 4}},
         "LINEs of colour 4 do not close: an open end at (2, 5); outline and voids must be closed rings"},
        // an outline with a side drawn twice
        {{{{{2, 2}, {8, 2}, {8, 8}, {2, 8}}, 1}}, {{{{2, 2}, {8, 2}}, 1}}, "LINEs of colour 1: 3 line ends meet at (2, 2)"},
    };
    for (const Case &c : cases) {
        std::vector<Entity> ents = survey();
        for (const auto &[corners, colour] : c.rings)
            ring(ents, corners, colour);
        for (const auto &[chain, colour] : c.open)
            for (size_t i = 0; i + 1 < chain.size(); i++)
                ents.push_back(line({chain[i].first, chain[i].second, height(chain[i].first, chain[i].second)},
                                    {chain[i + 1].first, chain[i + 1].second,
                                     height(chain[i + 1].first, chain[i + 1].second)}, colour));
        size_t drawn = 0;
        vt::Outcome o = triangulate(ents, &drawn);
        EXPECT_FALSE(o.ok) << c.message;
        EXPECT_TRUE(has(o.out, c.message)) << o.out;
        EXPECT_EQ(drawn, 0u) << c.message;
    }
}

// Outlines are mostly drawn at elevation 0: their ends still name survey
// points in plan, so the terrain stops at them.  Before, such an outline was
// dropped without a word and all 200 triangles of the grid were drawn.
TEST(BadOutlines, AnOutlineAtElevationZeroStillBoundsTheTerrain)
{
    std::vector<Entity> ents = survey();
    ring(ents, {{2, 2}, {8, 2}, {8, 8}, {2, 8}}, 1, true);
    vt::AddonSession s;
    for (const auto &e : ents)
        s.drawing().add(e);
    vt::Outcome o = vt::run_script(s, "velmora\nall\n\n");
    EXPECT_TRUE(o.ok) << o.reason;
    auto f = faces(s);
    ASSERT_EQ(f.size(), 72u) << o.out;       // 6 x 6 cells, two triangles each
    for (const Entity *e : f)
        for (int k = 0; k < 3; k++) {
            EXPECT_TRUE(e->pts[k].x >= 2 && e->pts[k].x <= 8 && e->pts[k].y >= 2 && e->pts[k].y <= 8);
            EXPECT_EQ(e->pts[k].z, height(e->pts[k].x, e->pts[k].y));   // the survey's heights
        }
    EXPECT_FALSE(has(o.out, "Warning")) << o.out;

    // A side whose end is on no survey point is skipped with a warning that
    // counts it and names it; the outline is then open and refused.
    ents.push_back(line({2.5, 8, 0}, {2.5, 9.5, 0}, 1));
    size_t drawn = 0;
    vt::Outcome w = triangulate(ents, &drawn);
    EXPECT_TRUE(has(w.out, "*** LIBVELMORA Warning -  1 of 5 constraint lines skipped (an end on no "
                           "survey point in plan, or no length); the first from (2.5, 8) to (2.5, 9.5)"))
        << w.out;
    EXPECT_TRUE(w.ok) << w.reason;
    EXPECT_EQ(drawn, 72u);
}

// One POINT at y = 1e308 made the library read points[-1].  Coordinates
// beyond 1e12 are refused at the capture (Capture.Coordinates... checks the
// line numbers); the limit itself is taken.
TEST(BadCoordinates, BeyondTheRangeAreRefusedBeforeAnyFace)
{
    std::vector<Entity> ents = survey();
    ents.push_back(point(5.5, 1e308, 0));
    size_t drawn = 0;
    vt::Outcome o = triangulate(ents, &drawn);
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(has(o.out, " of the export: coordinate 1e+308 is beyond 1e+12 drawing units")) << o.out;
    EXPECT_EQ(drawn, 0u);
    EXPECT_TRUE(triangulate({point(1e12, 0, 0), point(-1e12, 0, 0), point(0, 1e12, 0)}, &drawn).ok);
    EXPECT_EQ(drawn, 1u);
}
