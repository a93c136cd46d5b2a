// (inters_ltri count1 count2) in-process: the triangle files in <drive C>/haldorin, the box tests, the files consumed,
// the curves drawn, and the bundled survey's curves against the segment file they once went through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "addon_session.h"
#include "drawing.h"
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
    // Writes the outer and inner lists, calls (inters_ltri 1 1) and returns what it printed.
    std::string cross(const Tri &outer, const Tri &inner)
    {
        write(0, {outer});
        write(1, {inner});
        s.call_lisp("(inters_ltri 1 1)");
        return s.take_output();
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
    std::string out = cross(flat, wall);
    EXPECT_NE(out.find("\n3DINT: 1 curves"), std::string::npos) << out;
    for (int d = 0; d < 3; d++)
        EXPECT_FALSE(vt::file_exists(file(d))) << d;
    const auto &log = s.command_log();
    EXPECT_NE(std::find(log.begin(), log.end(), "script c:/haldorin/2.scr"), log.end());
    // Both ends have x = 2: the end found second, (2,0,0), comes first.
    auto c = curves();
    ASSERT_EQ(c.size(), 1u);
    ASSERT_EQ(c[0].size(), 2u);
    EXPECT_DOUBLE_EQ(c[0][0].y, 0.0);
    EXPECT_DOUBLE_EQ(c[0][1].y, 4.5);
}

TEST_F(Inters, BoxesMeetingAtTheOuterTopAreNotTested)
{
    // Two triangles hinged on the edge y = 0, z = 5; `low` falls away from it.
    const Tri low = {{0, 0, 5, 10, 0, 5, 5, -5, 2}};
    const Tri high = {{0, 0, 5, 10, 0, 5, 5, 5, 10}};
    EXPECT_NE(cross(low, high).find("\n*** No intersection !"), std::string::npos);
    EXPECT_TRUE(curves().empty());
    // The other way round the inner lowest z is below the outer highest.
    std::string out = cross(high, low);
    EXPECT_NE(out.find("3DINT: 1 curves"), std::string::npos) << out;
    EXPECT_EQ(curves().size(), 1u);

    // Equal x or y at the box faces is tested, whichever list holds which: the two share the edge x = 10, or y = 10.
    const Tri x_wall = {{0, 0, 0, 10, 0, 0, 10, 0, 10}}, x_next = {{10, 0, 0, 10, 0, 10, 20, 5, 0}};
    const Tri y_wall = {{0, 0, 0, 0, 10, 0, 0, 10, 10}}, y_next = {{0, 10, 0, 0, 10, 10, 5, 20, 0}};
    for (const auto &[a, b] : {std::pair{x_wall, x_next}, {x_next, x_wall}, {y_wall, y_next}, {y_next, y_wall}})
        EXPECT_NE(cross(a, b).find("3DINT: 1 curves"), std::string::npos) << a.v[1] << " " << b.v[1];

    // One level: every pair is skipped.
    EXPECT_NE(cross(flat, {{1, 1, 0, 20, 1, 0, 1, 20, 0}}).find("\n*** No intersection !"), std::string::npos);
    // A count of 0: its file is read for nothing and deleted all the same; no segment, so no script is left either.
    write(0, {flat});
    vt::write_file(file(1), "");
    s.call_lisp("(inters_ltri 1 0)");
    EXPECT_NE(s.take_output().find("\n*** No intersection !"), std::string::npos);
    for (int d = 0; d < 3; d++)
        EXPECT_FALSE(vt::file_exists(file(d))) << d;
}

// What the chaining gave when the pairs came from the plain walk of the inner list and the segments went through a
// file ("%.10lf" written, "%lf" read): the grid search must find the very same segments in the same order.
std::string script_through_a_file(const std::vector<Tri> &outer_tris, const std::vector<Tri> &inner_tris)
{
    auto list = [](const std::vector<Tri> &tris) {
        std::vector<ltri_rec> out;
        for (const auto &t : tris) {
            ltri_rec r;
            for (int k = 0; k < 3; k++) {
                r.p1[k] = t.v[k], r.p2[k] = t.v[3 + k], r.p3[k] = t.v[6 + k];
                double lo = std::fmin(t.v[k], std::fmin(t.v[3 + k], t.v[6 + k]));
                double hi = std::fmax(t.v[k], std::fmax(t.v[3 + k], t.v[6 + k]));
                (k == 0 ? r.xmin : k == 1 ? r.ymin : r.zmin) = lo;
                (k == 0 ? r.xmax : k == 1 ? r.ymax : r.zmax) = hi;
            }
            out.push_back(r);
        }
        return out;
    };
    std::vector<ltri_rec> outer = list(outer_tris), inner = list(inner_tris);
    std::qsort(inner.data(), inner.size(), sizeof(ltri_rec), ltri_cmp_first_double);
    ltri_seg *found = nullptr, *grid = nullptr;
    int n = ltri_find_segments(outer.data(), (int)outer.size(), inner.data(), (int)inner.size(), &found, 1);
    int n_grid = ltri_find_segments(outer.data(), (int)outer.size(), inner.data(), (int)inner.size(), &grid, 0);
    EXPECT_EQ(n_grid, n);
    int other = 0;
    for (int i = 0; i < n && i < n_grid; i++)
        other += std::memcmp(grid[i].a, found[i].a, sizeof(grid[i].a)) != 0
                 || std::memcmp(grid[i].b, found[i].b, sizeof(grid[i].b)) != 0;
    EXPECT_EQ(other, 0) << "the grid search finds other segments than the walk";
    std::free(grid);
    std::FILE *f = std::tmpfile();
    for (int i = 0; i < n; i++)
        std::fprintf(f, "%.10lf %.10lf %.10lf %.10lf %.10lf %.10lf\n", found[i].a[0], found[i].a[1],
                     found[i].a[2], found[i].b[0], found[i].b[1], found[i].b[2]);
    std::rewind(f);
    std::vector<ltri_seg> segs(n > 0 ? n : 0);
    int unlike = 0;                     // coordinates the file rounds otherwise than ltri_round
    for (int i = 0; i < n; i++) {
        ltri_seg &r = segs[i];
        EXPECT_EQ(std::fscanf(f, "%lf%lf%lf%lf%lf%lf", &r.a[0], &r.a[1], &r.a[2], &r.b[0], &r.b[1], &r.b[2]), 6);
        r.free = 1;
        for (int k = 0; k < 3; k++)
            unlike += ltri_round(found[i].a[k]) != r.a[k] || ltri_round(found[i].b[k]) != r.b[k];
    }
    EXPECT_EQ(unlike, 0);
    std::free(found);
    std::fclose(f);
    std::qsort(segs.data(), segs.size(), sizeof(ltri_seg), ltri_cmp_first_double);
    std::vector<double> ldc(3 * (segs.size() + 1));
    std::FILE *script = std::tmpfile();
    ltri_build_curves(segs.data(), (int)segs.size(), (double (*)[3])ldc.data(), script);
    std::string text;
    std::rewind(script);
    for (int c; (c = std::fgetc(script)) != EOF;)
        text += (char)c;
    std::fclose(script);
    return text;
}

TEST_F(Inters, TheBundledSurveyCutGivesTheCurvesOfTheSegmentFile)
{
    s.set_drawing(velmora::load_dxf(VELMORA_SOURCE_DIR "/samples/jacksboro_survey.dxf"));
    ASSERT_TRUE(vt::run_script(s, "velmora\nall\n\n").ok);
    std::vector<Tri> tin;
    for (const auto &e : s.drawing().entities)
        if (!e.erased && e.type == "3DFACE" && e.layer == "TRIANG")
            tin.push_back({{e.pts[0].x, e.pts[0].y, e.pts[0].z, e.pts[1].x, e.pts[1].y, e.pts[1].z,
                            e.pts[2].x, e.pts[2].y, e.pts[2].z}});
    ASSERT_GT(tin.size(), 5000u);
    auto plane = [](double z0, double z1, double z2, double z3) {
        return std::vector<Tri>{{{730000, 4036000, z0, 763000, 4036000, z1, 763000, 4070000, z2}},
                                {{730000, 4036000, z0, 763000, 4070000, z2, 730000, 4070000, z3}}};
    };
    // The survey turned by 3 degrees about a corner, tilted and raised: a
    // second surface as large as the first, crossing it along many curves.
    std::vector<Tri> turned = tin;
    for (auto &t : turned)
        for (int k = 0; k < 9; k += 3) {
            double x = t.v[k] - 745000, y = t.v[k + 1] - 4050000, c = std::cos(0.05), sn = std::sin(0.05);
            t.v[k] = 745000 + c * x - sn * y;
            t.v[k + 1] = 4050000 + sn * x + c * y;
            t.v[k + 2] = 0.9 * t.v[k + 2] + 60 + 0.001 * x;
        }
    turned.pop_back();                  // one fewer: tin is the outer list
    for (const auto &p : {plane(600, 600, 600, 600), plane(550, 750, 850, 650), turned}) {
        std::string want = script_through_a_file(tin, p);
        ASSERT_GT(want.size(), 10000u);
        write(0, tin);
        write(1, p);
        std::uint64_t first = s.drawing().next_id;
        s.call_lisp("(inters_ltri " + std::to_string(tin.size()) + " " + std::to_string(p.size()) + ")");
        // The script the host ran, from the polylines it drew.
        std::string got;
        char buf[200];
        for (const auto &e : s.drawing().entities) {
            if (e.id < first || e.type != "POLYLINE")
                continue;
            EXPECT_EQ(e.layer, "3dint");
            got += "color " + std::to_string(e.colour) + "\nlayer make 3dint\n\n3dpoly\n";
            for (const auto &v : e.pts) {
                std::snprintf(buf, sizeof(buf), "%lf,%lf,%lf\n", v.x, v.y, v.z);
                got += buf;
            }
            got += "\n";
        }
        EXPECT_TRUE(got == want) << "the curves differ from those of the segment file";
    }
}

// Bad counts, short files, non-numbers, corners beyond the limit, a missing file: refused by file name before any
// curve, the files kept; a count beyond 16 bits is read whole, one no file can hold refused before allocating.
TEST_F(Inters, BadCountsAndFilesAreRefusedByNameAndTheFilesKept)
{
    const std::string flat_text = "0 0 0\n10 0 0 0 10 0\n", wall_text = "2 -1 -1\n2 5 -1 2 2 5\n";
    const std::string counts = "needs two triangle counts";
    struct Case {
        std::string file0, file1;    // "-": no such file
        std::string call, message;
    } cases[] = {
        {flat_text, wall_text, "(inters_ltri 1)", counts},
        {flat_text, wall_text, "(inters_ltri)", counts},
        {flat_text, wall_text, "(inters_ltri 1 1.0)", counts},
        {flat_text, wall_text, "(inters_ltri \"1\" 1)", counts},
        {flat_text, wall_text, "(inters_ltri -1 1)", counts},
        {flat_text, wall_text, "(inters_ltri 1 -70000)", counts},
        {flat_text, wall_text, "(inters_ltri 1 70000)", " READ c:/haldorin/1.scr: 70000 triangles cannot fit"},
        {flat_text, wall_text, "(inters_ltri 1 2000000000)", "2000000000 triangles cannot fit"},
        {"0 0 0 1e308 0 0 0 1e308 0\n", wall_text, "(inters_ltri 1 1)",
         " READ c:/haldorin/0.scr: triangle 1 of 1 is missing or not numbers within 1e+12"},
        {flat_text, wall_text, "(inters_ltri 2 1)", " READ c:/haldorin/0.scr: triangle 2 of 2"},
        {flat_text, "2 -1 -1 2 5 -1 2 2 five\n", "(inters_ltri 1 1)", " READ c:/haldorin/1.scr: triangle 1 of 1"},
        {"0 0 0 10 0 0 0 10 nan\n", "", "(inters_ltri 1 0)", " READ c:/haldorin/0.scr"},
        {flat_text, "-", "(inters_ltri 1 1)", "Error -  c:/haldorin/1.scr\n"},     // after a single blank
    };
    for (const Case &c : cases) {
        std::filesystem::remove(file(1));
        for (int d : {0, 1})
            if ((d ? c.file1 : c.file0) != "-")
                vt::write_file(file(d), d ? c.file1 : c.file0);
        s.input(c.call + "\n");
        EXPECT_FALSE(s.run()) << c.call;
        s.reset_failure();
        std::string out = s.take_output();
        EXPECT_NE(out.find(c.message), std::string::npos) << c.call << out;
        EXPECT_EQ(out.find("**2"), std::string::npos) << c.call;
        EXPECT_EQ(out.find("3DINT"), std::string::npos) << c.call;
        EXPECT_TRUE(curves().empty()) << c.call;
        EXPECT_TRUE(vt::file_exists(file(0))) << c.call;
        EXPECT_EQ(vt::file_exists(file(1)), c.file1 != "-") << c.call;
    }
}

using velmora::Entity;

// SURFCROSS in-process: selections by layer, a polygon mesh against a 3DFACE.
TEST(SurfCross, MeshAgainstFaceIsCutAndEmptySelectionsRefused)
{
    vt::AddonSession s;
    // A 2 x 3 net at z = 0 over x 0..10, y 0..20: four triangles.
    s.drawing().make_layer("GROUND");
    s.drawing().add(vt::mesh(2, 3, {{0, 0, 0}, {0, 10, 0}, {0, 20, 0}, {10, 0, 0}, {10, 10, 0}, {10, 20, 0}},
                             "GROUND"));
    Entity face = vt::face({5, -5, -5}, {5, 25, -5}, {5, 25, 5}, {5, -5, 5});   // the plane x = 5
    face.layer = "WALL";
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
