// "c:velmora" on input it cannot triangulate soundly: crossing or open
// outlines, outlines drawn at another elevation than the survey, coordinates
// beyond the documented range, colours that name no group.  Each is refused
// with a message before the first face (or, for lines on no survey point,
// reported as a warning) and the call is marked failed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "addon_session.h"

namespace {

using velmora::Entity;
using velmora::Vec3;

// A survey on the integer grid 0..10 x 0..10, at heights 300 and up.
double height(double x, double y) { return 300 + x + 2 * y; }

std::vector<Entity> survey()
{
    std::vector<Entity> out;
    for (int x = 0; x <= 10; x++)
        for (int y = 0; y <= 10; y++)
            out.push_back(vt::point(x, y, height(x, y)));
    return out;
}

Vec3 at(double x, double y) { return {x, y, height(x, y)}; }

// Closed ring of LINEs through the corners, in one colour.
void ring(std::vector<Entity> &ents, const std::vector<Vec3> &corners, int colour)
{
    for (size_t i = 0; i < corners.size(); i++)
        ents.push_back(vt::line(corners[i], corners[(i + 1) % corners.size()], colour));
}

struct Result {
    vt::Outcome o;
    std::vector<Entity> faces;
};

Result triangulate(const std::vector<Entity> &ents)
{
    vt::AddonSession s;
    for (const auto &e : ents)
        s.drawing().add(e);
    Result r;
    r.o = vt::run_script(s, "velmora\nall\n\n");
    for (const auto &e : s.drawing().entities)
        if (!e.erased && e.type == "3DFACE")
            r.faces.push_back(e);
    return r;
}

bool has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

void expect_refused(const Result &r, const std::string &message)
{
    EXPECT_FALSE(r.o.ok);
    EXPECT_TRUE(has(r.o.out, message)) << r.o.out;
    EXPECT_TRUE(r.faces.empty()) << r.faces.size() << " faces drawn";
}

// Outlines that cross themselves or each other used to stop with WRBUFF
// after drawing hundreds of overlapping faces.
TEST(BadOutlines, CrossingLinesAreRefusedBeforeAnyFace)
{
    // A bow-tie whose sides cross between survey points...
    std::vector<Entity> bowtie = survey();
    ring(bowtie, {at(0, 0), at(10, 9), at(10, 0), at(0, 9)}, 1);
    expect_refused(triangulate(bowtie), "*** LIBVELMORA Error -  LINEs of colour 1 cross at (5, 4.5): outline "
                                        "and voids must not cross or touch");
    // ...and one whose sides cross at a survey point, which cuts all four.
    std::vector<Entity> at_point = survey();
    ring(at_point, {at(0, 0), at(10, 10), at(10, 0), at(0, 10)}, 1);
    expect_refused(triangulate(at_point), "LINEs of colour 1: 4 line ends meet at (5, 5)");

    // A void drawn as an X inside a good outline.
    std::vector<Entity> x = survey();
    ring(x, {at(0, 0), at(10, 0), at(10, 10), at(0, 10)}, 1);
    x.push_back(vt::line(at(3, 3), at(7, 6), 2));
    x.push_back(vt::line(at(3, 6), at(7, 3), 2));
    expect_refused(triangulate(x), "LINEs of colour 2 cross at (5, 4.5)");

    // A void reaching out across the outline, through survey points.
    std::vector<Entity> out = survey();
    ring(out, {at(0, 0), at(8, 0), at(8, 8), at(0, 8)}, 1);
    ring(out, {at(6, 2), at(10, 2), at(10, 4), at(6, 4)}, 3);
    expect_refused(triangulate(out), "LINEs of colours 1 and 3 meet at (8, 2): outline and voids must not "
                                     "cross or touch");
}

TEST(BadOutlines, OpenChainsAndSharedEndsAreRefused)
{
    // A break line as surveyors draw one: open, in a colour of its own.
    std::vector<Entity> brk = survey();
    ring(brk, {at(0, 0), at(10, 0), at(10, 10), at(0, 10)}, 1);
    brk.push_back(vt::line(at(2, 5), at(5, 6), 4));
    brk.push_back(vt::line(at(5, 6), at(8, 5), 4));
    expect_refused(triangulate(brk), "LINEs of colour 4 do not close: an open end at (2, 5); outline and "
                                     "voids must be closed rings");

    // An outline with a side drawn twice.
    std::vector<Entity> twice = survey();
    ring(twice, {at(2, 2), at(8, 2), at(8, 8), at(2, 8)}, 1);
    twice.push_back(vt::line(at(2, 2), at(8, 2), 1));
    expect_refused(triangulate(twice), "LINEs of colour 1: 3 line ends meet at (2, 2)");
}

// Outlines are mostly drawn at elevation 0: their ends still name survey
// points in plan, so the terrain stops at them.  Before, such an outline was
// dropped without a word and all 200 triangles of the grid were drawn.
TEST(BadOutlines, AnOutlineAtElevationZeroStillBoundsTheTerrain)
{
    std::vector<Entity> ents = survey();
    ring(ents, {{2, 2, 0}, {8, 2, 0}, {8, 8, 0}, {2, 8, 0}}, 1);
    Result r = triangulate(ents);
    EXPECT_TRUE(r.o.ok) << r.o.reason;
    ASSERT_EQ(r.faces.size(), 72u) << r.o.out;       // 6 x 6 cells, two triangles each
    for (const auto &f : r.faces)
        for (int k = 0; k < 3; k++) {
            EXPECT_GE(f.pts[k].x, 2.0);
            EXPECT_LE(f.pts[k].x, 8.0);
            EXPECT_GE(f.pts[k].y, 2.0);
            EXPECT_LE(f.pts[k].y, 8.0);
            EXPECT_EQ(f.pts[k].z, height(f.pts[k].x, f.pts[k].y));   // the survey's heights
        }
    EXPECT_FALSE(has(r.o.out, "Warning")) << r.o.out;

    // A side whose end is on no survey point is skipped with a warning that
    // counts it and names it; the outline is then open and refused.
    std::vector<Entity> off = survey();
    ring(off, {{2, 2, 0}, {8, 2, 0}, {8, 8, 0}, {2, 8, 0}}, 1);
    off.push_back(vt::line({2.5, 8, 0}, {2.5, 9.5, 0}, 1));
    Result w = triangulate(off);
    EXPECT_TRUE(has(w.o.out, "*** LIBVELMORA Warning -  1 of 5 constraint lines skipped (an end on no "
                             "survey point in plan, or no length); the first from (2.5, 8) to (2.5, 9.5)"))
        << w.o.out;
    EXPECT_TRUE(w.o.ok) << w.o.reason;
    EXPECT_EQ(w.faces.size(), 72u);
}

// One POINT at y = 1e308 made the library read points[-1].  Coordinates
// beyond 1e12 are refused at the capture, naming the entity's line in the
// export (test_triangulate.cpp checks the line numbers).
TEST(BadCoordinates, BeyondTheRangeAreRefusedBeforeAnyFace)
{
    std::vector<Entity> ents = survey();
    ents.push_back(vt::point(5.5, 1e308, 0));
    expect_refused(triangulate(ents), " of the export: coordinate 1e+308 is beyond 1e+12 drawing units");

    // The limit itself is taken.
    std::vector<Entity> edge = {vt::point(1e12, 0, 0), vt::point(-1e12, 0, 0), vt::point(0, 1e12, 0)};
    Result ok = triangulate(edge);
    EXPECT_TRUE(ok.o.ok) << ok.o.out;
    EXPECT_EQ(ok.faces.size(), 1u);
}

}  // namespace
