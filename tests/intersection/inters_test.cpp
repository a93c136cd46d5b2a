// (inters_ltri count1 count2) through the in-process host: the two triangle
// files in <drive C>/haldorin, the roles of the lists, the box tests, the
// progress lines, the files consumed and the curves drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "addon_session.h"
#include "intersection.h"

namespace {

struct Tri { double v[9]; };

class Inters : public ::testing::Test {
protected:
    vt::AddonSession s;
    std::string folder;

    void SetUp() override
    {
        folder = s.dir.file("haldorin");
        std::filesystem::create_directories(folder);
        s.take_output();
    }
    std::string file(int digit) const { return folder + "/" + std::to_string(digit) + ".scr"; }
    void write(int digit, const std::vector<Tri> &tris)
    {
        std::string text;
        char buf[512];
        for (const auto &t : tris) {
            std::snprintf(buf, sizeof(buf), "%.17g %.17g %.17g\n%.17g %.17g %.17g %.17g %.17g %.17g\n",
                          t.v[0], t.v[1], t.v[2], t.v[3], t.v[4], t.v[5], t.v[6], t.v[7], t.v[8]);
            text += buf;
        }
        vt::write_file(file(digit), text);
    }
    // The 3D polylines drawn on layer 3dint, as their vertex lists.
    std::vector<std::vector<velmora::Vec3>> curves()
    {
        std::vector<std::vector<velmora::Vec3>> out;
        for (const auto &e : s.drawing().entities)
            if (!e.erased && e.type == "POLYLINE" && e.layer == "3dint")
                out.push_back(e.pts);
        return out;
    }
};

const Tri flat = {{0, 0, 0, 10, 0, 0, 0, 10, 0}};
const Tri wall = {{2, -1, -1, 2, 5, -1, 2, 2, 5}};

TEST_F(Inters, OneCrossingIsDrawnAndEveryFileIsGone)
{
    write(0, {flat});
    write(1, {wall});
    s.call_lisp("(inters_ltri 1 1)");
    std::string out = s.take_output();
    EXPECT_NE(out.find("\n3DINT: 1 curves"), std::string::npos) << out;
    for (int d = 0; d < 3; d++)
        EXPECT_FALSE(vt::file_exists(file(d))) << d;
    bool scripted = false;
    for (const auto &c : s.command_log())
        scripted |= c == "script c:/haldorin/2.scr";
    EXPECT_TRUE(scripted);
    // Both ends have x = 2: the end found second, (2,0,0), comes first.
    auto c = curves();
    ASSERT_EQ(c.size(), 1u);
    ASSERT_EQ(c[0].size(), 2u);
    EXPECT_DOUBLE_EQ(c[0][0].y, 0.0);
    EXPECT_DOUBLE_EQ(c[0][1].y, 4.5);
}

TEST_F(Inters, EqualCountsMakeTheFirstFileTheOuterList)
{
    // The inner list's file is missing: its message has a single blank, and
    // the outer file is kept for another try.
    write(0, {flat});
    s.call_lisp("(inters_ltri 1 1)");
    EXPECT_NE(s.take_output().find("Error -  c:/haldorin/1.scr\n"), std::string::npos);
    EXPECT_TRUE(vt::file_exists(file(0)));

    // More triangles in the second file: it becomes the outer list.
    write(0, {flat});
    s.call_lisp("(inters_ltri 1 2)");
    std::string out = s.take_output();
    EXPECT_NE(out.find("Error -  OPEN c:/haldorin/1.scr\n"), std::string::npos) << out;
    EXPECT_TRUE(vt::file_exists(file(0)));
}

TEST_F(Inters, BoxesMeetingAtTheOuterTopAreNotTested)
{
    // Two triangles hinged on the edge y = 0, z = 5; `low` falls away from it.
    const Tri low = {{0, 0, 5, 10, 0, 5, 5, -5, 2}};
    const Tri high = {{0, 0, 5, 10, 0, 5, 5, 5, 10}};
    write(0, {low});
    write(1, {high});
    s.call_lisp("(inters_ltri 1 1)");
    EXPECT_NE(s.take_output().find("\n*** No intersection !"), std::string::npos);
    EXPECT_TRUE(curves().empty());
    // The other way round the inner lowest z is below the outer highest.
    write(0, {high});
    write(1, {low});
    s.call_lisp("(inters_ltri 1 1)");
    std::string out = s.take_output();
    EXPECT_NE(out.find("3DINT: 1 curves"), std::string::npos) << out;
    EXPECT_EQ(curves().size(), 1u);

    // Equal x at the box faces is tested: the two share the edge x = 10.
    write(0, {{{0, 0, 0, 10, 0, 0, 10, 0, 10}}});
    write(1, {{{10, 0, 0, 10, 0, 10, 20, 5, 0}}});
    s.call_lisp("(inters_ltri 1 1)");
    EXPECT_NE(s.take_output().find("3DINT: 1 curves"), std::string::npos);

    // One level: every pair is skipped.
    write(0, {flat});
    write(1, {{{1, 1, 0, 20, 1, 0, 1, 20, 0}}});
    s.call_lisp("(inters_ltri 1 1)");
    EXPECT_NE(s.take_output().find("\n*** No intersection !"), std::string::npos);
}

TEST_F(Inters, ProgressEveryTwentyFiveOuterTriangles)
{
    std::vector<Tri> many;
    for (int i = 0; i < 60; i++)
        many.push_back({{100.0 + i, 0, 0, 101.0 + i, 0, 0, 100.0 + i, 1, 0}});
    write(0, many);
    vt::write_file(file(1), "");   // a count of 0: read for nothing, still deleted
    s.call_lisp("(inters_ltri 60 0)");
    std::string out = s.take_output();
    for (const char *line : {"\r**2 0<=60    ", "\r**2 25<=60    ", "\r**2 50<=60    ",
                             "\r**2 60<=60    \n*** No intersection !"})
        EXPECT_NE(out.find(line), std::string::npos) << line;
    EXPECT_EQ(out.find("**2 26<=60"), std::string::npos);
    EXPECT_FALSE(vt::file_exists(file(1)));
    // No segment: no segment file is left behind.
    EXPECT_FALSE(vt::file_exists(file(2)));
}

TEST_F(Inters, BadCountsAreRefusedAndTheFilesKept)
{
    write(0, {flat});
    write(1, {wall});
    for (const char *call : {"(inters_ltri 1)", "(inters_ltri)", "(inters_ltri 1 1.0)",
                             "(inters_ltri \"1\" 1)", "(inters_ltri -1 1)", "(inters_ltri 1 -70000)"}) {
        s.call_lisp(call);
        std::string out = s.take_output();
        EXPECT_NE(out.find("needs two triangle counts"), std::string::npos) << call << out;
        EXPECT_EQ(out.find("**2"), std::string::npos) << call;
    }
    EXPECT_TRUE(vt::file_exists(file(0)));
    EXPECT_TRUE(vt::file_exists(file(1)));
    // A count beyond 16 bits is read whole, and one the file cannot hold is
    // refused before memory is taken for it.
    s.call_lisp("(inters_ltri 1 70000)");
    EXPECT_NE(s.take_output().find(" READ c:/haldorin/1.scr: 70000 triangles cannot fit"), std::string::npos);
    s.call_lisp("(inters_ltri 1 2000000000)");
    EXPECT_NE(s.take_output().find("2000000000 triangles cannot fit"), std::string::npos);
    EXPECT_TRUE(vt::file_exists(file(1)));
}

// Counts far beyond any memory, with no files at all: the missing file is
// reported before a byte is asked for.
TEST_F(Inters, HugeCountsMeetTheMissingFilesFirst)
{
    s.input("(inters_ltri 2147483647 2147483647)\n");
    EXPECT_FALSE(s.run());
    std::string out = s.take_output();
    EXPECT_NE(out.find("*** VELMORA Error -  OPEN c:/haldorin/0.scr\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("malloc"), std::string::npos) << out;
}

// Corners beyond the coordinate limit would give NaN segments and an
// empty curve reported as drawn; they are refused with the file's name.
TEST_F(Inters, CoordinatesBeyondTheLimitAreRefused)
{
    write(0, {{{0, 0, 0, 1e308, 0, 0, 0, 1e308, 0}}});
    write(1, {wall});
    s.input("(inters_ltri 1 1)\n");
    EXPECT_FALSE(s.run());
    std::string out = s.take_output();
    EXPECT_NE(out.find(" READ c:/haldorin/0.scr: triangle 1 of 1 is missing or not numbers within 1e+12"),
              std::string::npos) << out;
    EXPECT_EQ(out.find("3DINT"), std::string::npos) << out;
    EXPECT_TRUE(curves().empty());
    EXPECT_TRUE(vt::file_exists(file(0)));
    EXPECT_TRUE(vt::file_exists(file(1)));
}

// A segment file that cannot be read through is not left for a later call.
TEST_F(Inters, AFailedChainingRemovesTheSegmentFile)
{
    vt::write_file(file(2), "0 0 0 1 1 1\n");
    chain_segments(2);
    EXPECT_NE(s.take_output().find(" READ c:/haldorin/2.scr"), std::string::npos);
    EXPECT_FALSE(vt::file_exists(file(2)));
    EXPECT_TRUE(curves().empty());
}

TEST_F(Inters, ShortOrNonNumericFilesAreRejectedByName)
{
    write(0, {flat});
    write(1, {wall});
    s.call_lisp("(inters_ltri 2 1)");
    std::string out = s.take_output();
    EXPECT_NE(out.find(" READ c:/haldorin/0.scr: triangle 2 of 2"), std::string::npos) << out;
    EXPECT_EQ(out.find("**2"), std::string::npos);
    EXPECT_TRUE(vt::file_exists(file(0)));
    EXPECT_TRUE(vt::file_exists(file(1)));

    vt::write_file(file(1), "2 -1 -1 2 5 -1 2 2 five\n");
    s.call_lisp("(inters_ltri 1 1)");
    out = s.take_output();
    EXPECT_NE(out.find(" READ c:/haldorin/1.scr: triangle 1 of 1"), std::string::npos) << out;
    vt::write_file(file(0), "0 0 0 10 0 0 0 10 nan\n");
    s.call_lisp("(inters_ltri 1 0)");
    EXPECT_NE(s.take_output().find(" READ c:/haldorin/0.scr"), std::string::npos);
    EXPECT_TRUE(curves().empty());
}

}  // namespace

namespace {

using velmora::Entity;
using velmora::Vec3;

// SURFCROSS in-process: selections by layer, a polygon mesh against a 3DFACE.
TEST(SurfCross, MeshAgainstFaceIsCutAndEmptySelectionsRefused)
{
    vt::AddonSession s;
    Entity mesh;
    mesh.type = "POLYLINE";
    mesh.layer = "GROUND";
    mesh.poly_flags = 16;
    mesh.mesh_m = 2;
    mesh.mesh_n = 3;
    // A 2 x 3 net at z = 0 over x 0..10, y 0..20: four triangles.
    mesh.pts = {{0, 0, 0}, {0, 10, 0}, {0, 20, 0}, {10, 0, 0}, {10, 10, 0}, {10, 20, 0}};
    mesh.vertex_flags.assign(6, 64);
    s.drawing().make_layer("GROUND");
    s.drawing().add(mesh);
    Entity face;
    face.type = "3DFACE";
    face.layer = "WALL";
    face.pts = {{5, -5, -5}, {5, 25, -5}, {5, 25, 5}, {5, -5, 5}};   // the plane x = 5
    s.drawing().make_layer("WALL");
    s.drawing().add(face);

    s.input("surfcross\nlayer GROUND\n\nlayer WALL\n\n");
    EXPECT_TRUE(s.run());
    std::string out = s.take_output();
    EXPECT_NE(out.find("3DINT: 1 curves"), std::string::npos) << out;
    double length = 0;
    int polylines = 0;
    for (const auto &e : s.drawing().entities)
        if (e.type == "POLYLINE" && e.layer == "3dint") {
            polylines++;
            for (size_t i = 1; i < e.pts.size(); i++) {
                EXPECT_DOUBLE_EQ(e.pts[i].x, 5.0);
                EXPECT_DOUBLE_EQ(e.pts[i].z, 0.0);
                length += std::fabs(e.pts[i].y - e.pts[i - 1].y);
            }
        }
    EXPECT_EQ(polylines, 1) << out;
    EXPECT_NEAR(length, 20.0, 1e-9);

    s.input("surfcross\nlayer GROUND\n\nlayer NOTHING\n\n");
    EXPECT_FALSE(s.run());
    EXPECT_NE(s.take_output().find("no 3DFACE or polygon mesh in the second selection"), std::string::npos);

    // The second file cannot be written: the first is not left behind.
    std::string folder = s.dir.file("haldorin");
    std::filesystem::create_directories(folder + "/1.scr/x");
    s.reset_failure();
    s.input("surfcross\nlayer GROUND\n\nlayer WALL\n\n");
    EXPECT_FALSE(s.run());
    std::string wrote = s.take_output();
    EXPECT_NE(wrote.find("SURFCROSS: cannot write"), std::string::npos) << wrote;
    EXPECT_FALSE(vt::file_exists(folder + "/0.scr"));
}

}  // namespace
