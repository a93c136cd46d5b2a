// "c:velmora" with 3D polylines and TINMAXEDGE, in-process: break lines
// kept as face edges and shown, the polylines Velmora draws itself passed
// over, and the trimming of a terrain without an outline.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "addon_session.h"
#include "triangulate.h"

using velmora::Entity;
using velmora::Vec3;

namespace {

Entity poly3d(const std::string &layer, const std::vector<Vec3> &pts, bool closed = false)
{
    Entity e;
    e.type = "POLYLINE";
    e.layer = layer;
    e.poly_flags = 8 | (closed ? 1 : 0);
    e.pts = pts;
    return e;
}

struct Face {
    Vec3 c[3];
};

std::vector<Face> faces(velmora::Session &s)
{
    std::vector<Face> out;
    for (const auto &e : s.drawing().entities)
        if (!e.erased && e.type == "3DFACE")
            out.push_back({{e.pts[0], e.pts[1], e.pts[2]}});
    return out;
}

bool same(const Vec3 &a, const Vec3 &b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

bool same_faces(const std::vector<Face> &a, const std::vector<Face> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        for (int k = 0; k < 3; k++)
            if (!same(a[i].c[k], b[i].c[k]))
                return false;
    return true;
}

// Is the plan segment a-b a side of some face?
bool is_side(const std::vector<Face> &fs, const Vec3 &a, const Vec3 &b)
{
    for (const Face &f : fs)
        for (int k = 0; k < 3; k++) {
            const Vec3 &p = f.c[k], &q = f.c[(k + 1) % 3];
            if ((p.x == a.x && p.y == a.y && q.x == b.x && q.y == b.y) ||
                (p.x == b.x && p.y == b.y && q.x == a.x && q.y == a.y))
                return true;
        }
    return false;
}

vt::Outcome run_on(vt::AddonSession &s, const std::vector<Entity> &ents, const std::string &script = "velmora\nall\n\n")
{
    for (const auto &e : ents)
        s.drawing().add(e);
    return vt::run_script(s, script);
}

bool has(const std::string &out, const std::string &what) { return out.find(what) != std::string::npos; }

// A survey on a slope with a ragged edge, an outline around part of it
// when asked.
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

}  // namespace

// The 3D polylines Velmora draws (surface crossings, contours, the cut/fill
// line) and polylines that are no 3D polylines change nothing: the same
// faces in the same order as without them.
TEST(BreakCommand, PolylinesThatAreNoBreakLinesChangeNothing)
{
    for (bool outline : {false, true}) {
        vt::AddonSession plain;
        vt::Outcome a = run_on(plain, survey(7, outline));
        ASSERT_TRUE(a.ok) << a.out;
        EXPECT_FALSE(has(a.out, "Note")) << a.out;

        std::vector<Entity> ents = survey(7, outline);
        std::vector<Vec3> across = {{0, 0, 90}, {400, 400, 130}};
        for (const char *layer : {"3dint", "CONTOUR-MINOR", "contour-major", "CutFill-Zero"})
            ents.push_back(poly3d(layer, across));
        Entity mesh = poly3d("MESH", {{0, 0, 0}, {400, 0, 0}, {0, 400, 0}, {400, 400, 0}});
        mesh.poly_flags = 16;
        mesh.mesh_m = mesh.mesh_n = 2;
        ents.push_back(mesh);
        vt::AddonSession with;
        vt::Outcome b = run_on(with, ents);
        ASSERT_TRUE(b.ok) << b.out;
        EXPECT_TRUE(same_faces(faces(plain), faces(with)));
        EXPECT_TRUE(has(b.out, "\n*** VELMORA Note - 4 3D polylines on Velmora's own layers (surface "
                               "crossings, contours, cut/fill) passed over: they are not break lines"))
            << b.out;
    }
}

// A bank: its toe and top drawn as 3D polylines over a survey that does not
// follow them.  Each of their segments is a face side, their vertices keep
// their heights, and the faces cover the same ground.
TEST(BreakCommand, TheToeAndTopOfABankAreKept)
{
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
    // every corner on the bank's lines has the line's height; the slope
    // between them has no survey point, so every face there rises from
    // toe to top
    for (const Face &f : fs)
        for (const Vec3 &c : f.c)
            for (const auto *line : {&toe, &top})
                for (const Vec3 &v : *line)
                    if (c.x == v.x && c.y == v.y) {
                        EXPECT_EQ(c.z, v.z);
                    }
    // the break lines are shown as they were kept, in white
    size_t white = 0;
    for (const auto &ov : s.overlay())
        white += ov.colour == 7 && ov.highlight;
    EXPECT_EQ(white, 8u);
}

// Break lines crossing at different heights refuse the run before any face
// (the library's test: what the preparation refuses and what it joins).
TEST(BreakCommand, BreakLinesThatDisagreeInHeightRefuseTheRun)
{
    vt::AddonSession s;
    vt::Outcome o = run_on(s, {vt::point(0, 0, 5), vt::point(10, 0, 5), vt::point(10, 10, 5), vt::point(0, 10, 5),
                               poly3d("B", {{1, 1, 1}, {9, 9, 5}}), poly3d("B", {{1, 9, 4}, {9, 1, 4}})});
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(has(o.reason, "break lines cross at (5, 5) at heights 3 and 4")) << o.reason;
    EXPECT_TRUE(faces(s).empty());
}

// Without an outline, TINMAXEDGE trims the long faces along the edge and the
// count gone is printed (which faces go: the library's test and the
// end-to-end one).  A negative value asks at a prompt; an outline makes it
// unused.
TEST(BreakCommand, TinmaxedgeTrimsATerrainWithoutOutline)
{
    std::vector<Entity> ents = survey(3, false);
    std::vector<Face> all;
    {
        vt::AddonSession whole;
        ASSERT_TRUE(run_on(whole, ents).ok);
        all = faces(whole);
    }

    // set, or answered at the prompt a negative value asks for
    for (const char *script : {"setvar tinmaxedge 40\nvelmora\nall\n\n", "setvar TINMAXEDGE -1\nvelmora\nall\n\n40\n"}) {
        vt::AddonSession s;
        vt::Outcome o = run_on(s, ents, script);
        ASSERT_TRUE(o.ok) << o.out;
        std::vector<Face> left = faces(s);
        size_t kept = left.size();
        ASSERT_LT(kept, all.size());
        // the faces kept are the whole's, in order (which go: the library's test)
        size_t at = 0;
        for (const Face &f : left) {
            while (at < all.size() && !same_faces({all[at]}, {f}))
                at++;
            EXPECT_LT(at++, all.size()) << "a kept face out of order or new";
        }
        EXPECT_TRUE(has(o.out, "\n - triangles removed along the edge (an edge over TINMAXEDGE 40)= " +
                                   std::to_string(all.size() - kept)))
            << o.out;
        EXPECT_EQ(has(o.out, "Maximum triangle edge where there is no outline, 0 for none <0>: "),
                  std::string(script).find(" -1") != std::string::npos);
    }

    // Enter at the prompt: none; *cancel*: the call fails
    {
        vt::AddonSession enter;
        ASSERT_TRUE(run_on(enter, ents, "setvar tinmaxedge -1\nvelmora\nall\n\n\n").ok);
        EXPECT_TRUE(same_faces(faces(enter), all));
    }
    {
        vt::AddonSession cancel;
        vt::Outcome c = run_on(cancel, ents, "setvar tinmaxedge -1\nvelmora\nall\n\n*cancel*\n");
        EXPECT_FALSE(c.ok);
        EXPECT_TRUE(faces(cancel).empty());
    }

    // with an outline it is not used
    std::vector<Face> untrimmed;
    {
        vt::AddonSession bounded;
        vt::Outcome u = run_on(bounded, survey(3, true));
        ASSERT_TRUE(u.ok) << u.out;
        untrimmed = faces(bounded);
    }
    {
        vt::AddonSession bounded;
        vt::Outcome b = run_on(bounded, survey(3, true), "setvar tinmaxedge 5\nvelmora\nall\n\n");
        ASSERT_TRUE(b.ok);
        EXPECT_TRUE(has(b.out, "*** VELMORA Note - TINMAXEDGE is not used: the outline bounds the terrain"));
        EXPECT_TRUE(same_faces(untrimmed, faces(bounded)));
    }

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
