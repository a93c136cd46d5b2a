// Contour lines: intervals and their labels, levels through corners and
// along edges, branches at saddles, and the CONTOUR command's layers and labels.
#include <gtest/gtest.h>

#include <cmath>

#include "contour.h"
#include "session.h"

using velmora::contour_tin;
using velmora::ContourLevel;
using velmora::make_interval;
using velmora::Triangle;
using velmora::Vec3;

namespace {

Triangle T(Vec3 a, Vec3 b, Vec3 c) { return Triangle{{a, b, c}}; }

// A 3 x 3 grid of corners (0..2, 0..2) at height z = x + y, each cell split
// along its main diagonal, or along the other one.
std::vector<Triangle> plane_grid(bool main_diagonal)
{
    auto P = [](double x, double y) { return Vec3{x, y, x + y}; };
    std::vector<Triangle> t;
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++) {
            Vec3 a = P(i, j), b = P(i + 1, j), c = P(i + 1, j + 1), d = P(i, j + 1);
            if (main_diagonal) {
                t.push_back(T(a, b, c));
                t.push_back(T(a, c, d));
            } else {
                t.push_back(T(a, b, d));
                t.push_back(T(b, c, d));
            }
        }
    return t;
}

double length(const velmora::Polyline &p)
{
    double len = 0;
    size_t n = p.pts.size();
    for (size_t i = 0; i + 1 < n + (p.closed ? 1 : 0); i++)
        len += std::hypot(p.pts[(i + 1) % n].x - p.pts[i].x, p.pts[(i + 1) % n].y - p.pts[i].y);
    return len;
}

const ContourLevel *at_level(const std::vector<ContourLevel> &levels, double z)
{
    for (const auto &l : levels)
        if (l.z == z)
            return &l;
    return nullptr;
}

}  // namespace

TEST(ContourInterval, LevelsAndLabelsKeepTheIntervalsDecimals)
{
    auto tenth = make_interval(0.1);
    EXPECT_EQ(tenth.level(3), 0.3);                      // not 3 * 0.1
    EXPECT_EQ(tenth.label(3), "0.3");
    EXPECT_EQ(tenth.label(-20), "-2");
    auto quarter = make_interval(2.5);
    EXPECT_EQ(quarter.label(5), "12.5");
    EXPECT_EQ(quarter.label(-1), "-2.5");
    EXPECT_EQ(quarter.label(400), "1000");
    EXPECT_EQ(make_interval(0.005).label(3), "0.015");
    auto third = make_interval(1.0 / 3);                 // no short decimal form
    EXPECT_EQ(third.decimals, -1);
    EXPECT_EQ(third.level(3), 3 * (1.0 / 3));

    EXPECT_EQ(velmora::default_interval(252.4, 1038.9), 50);
    EXPECT_EQ(velmora::default_interval(0, 9), 0.5);
    EXPECT_EQ(velmora::default_interval(0, 1), 0.05);
    EXPECT_EQ(velmora::default_interval(100, 140), 2);
    EXPECT_EQ(velmora::default_interval(7, 7), 1);
}

TEST(ContourTin, LevelsThroughCornersAndAlongEdgesLeaveNoGapsAndNoDoubles)
{
    // Level 2 runs from corner (2,0) through the middle corner (1,1) to
    // (0,2): across the cells when they are split the other way, along the
    // triangle edges when they are split along it.
    for (bool main : {true, false}) {
        std::vector<ContourLevel> levels;
        std::string why;
        ASSERT_TRUE(contour_tin(plane_grid(main), make_interval(1), levels, why)) << why;
        const ContourLevel *two = at_level(levels, 2);
        ASSERT_NE(two, nullptr);
        ASSERT_EQ(two->lines.size(), 1u) << main;
        const auto &line = two->lines[0];
        EXPECT_FALSE(line.closed);
        EXPECT_EQ(line.pts.size(), main ? 5u : 3u);
        EXPECT_NEAR(length(line), 2 * std::sqrt(2.0), 1e-12);
        for (const auto &p : line.pts) {
            EXPECT_EQ(p.z, 2);
            EXPECT_EQ(p.x + p.y, 2);                     // on the plane
        }
        // Levels 1 and 3 too; level 0 and 4 touch single corners: no line.
        EXPECT_NE(at_level(levels, 1), nullptr);
        EXPECT_NE(at_level(levels, 3), nullptr);
        EXPECT_EQ(at_level(levels, 0), nullptr);
        EXPECT_EQ(at_level(levels, 4), nullptr);
    }

    // A roof whose ridge lies on level 5: both sides are below, the ridge is
    // drawn once.
    Vec3 a{0, 0, 0}, b{0, 10, 0}, r1{5, 0, 5}, r2{5, 10, 5}, c{10, 0, 0}, d{10, 10, 0};
    std::vector<ContourLevel> roof;
    std::string why;
    ASSERT_TRUE(contour_tin({T(a, r1, r2), T(a, r2, b), T(r1, c, d), T(r1, d, r2)}, make_interval(5), roof, why));
    const ContourLevel *ridge = at_level(roof, 5);
    ASSERT_NE(ridge, nullptr);
    ASSERT_EQ(ridge->lines.size(), 1u);
    EXPECT_EQ(ridge->lines[0].pts.size(), 2u);
    EXPECT_EQ(length(ridge->lines[0]), 10);
}

TEST(ContourTin, ClosedLoopsAndBranchesAtASaddleCorner)
{
    // A pyramid: level 5 is one closed square through the edge midpoints;
    // the apex at level 10 gives no line.
    Vec3 apex{0, 0, 10}, p{10, 10, 0}, q{-10, 10, 0}, r{-10, -10, 0}, s{10, -10, 0};
    std::vector<ContourLevel> levels;
    std::string why;
    ASSERT_TRUE(contour_tin({T(apex, p, q), T(apex, q, r), T(apex, r, s), T(apex, s, p)}, make_interval(5), levels,
                            why));
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0].z, 5);
    ASSERT_EQ(levels[0].lines.size(), 1u);
    EXPECT_TRUE(levels[0].lines[0].closed);
    EXPECT_EQ(levels[0].lines[0].pts.size(), 4u);
    EXPECT_NEAR(length(levels[0].lines[0]), 40, 1e-12);

    // A saddle: the centre on level 5, the ring below, above, below, above.
    // Four arms leave the centre; none is doubled.
    Vec3 o{0, 0, 5}, e{10, 0, 0}, n{0, 10, 10}, w{-10, 0, 0}, so{0, -10, 10};
    ASSERT_TRUE(contour_tin({T(o, e, n), T(o, n, w), T(o, w, so), T(o, so, e)}, make_interval(5), levels, why));
    const ContourLevel *mid = at_level(levels, 5);
    ASSERT_NE(mid, nullptr);
    ASSERT_EQ(mid->lines.size(), 4u);
    for (const auto &arm : mid->lines) {
        ASSERT_EQ(arm.pts.size(), 2u);
        const Vec3 &centre = arm.pts[0].x == 0 && arm.pts[0].y == 0 ? arm.pts[0] : arm.pts[1];
        EXPECT_EQ(centre.x, 0);                          // one end of each is the centre
        EXPECT_EQ(centre.y, 0);
        EXPECT_NEAR(length(arm), std::sqrt(50.0), 1e-12);
    }

    EXPECT_FALSE(contour_tin({T(apex, p, q)}, make_interval(1e-5), levels, why));
    EXPECT_EQ(why, "the heights span 1000001 levels, more than 100000");
}

TEST(ContourCommand, DrawsMinorAndLabelledMajorLinesOnTheirLayers)
{
    // The pyramid as 3DFACEs; interval 2.5, every second level major.
    velmora::Session c;
    c.input("3dface 0,0,10 10,10,0 -10,10,0\n\n3dface 0,0,10 -10,10,0 -10,-10,0\n\n"
            "3dface 0,0,10 -10,-10,0 10,-10,0\n\n3dface 0,0,10 10,-10,0 10,10,0\n\n"
            "contour all\n\n2.5\n2\n");
    ASSERT_TRUE(c.run()) << c.failure_reason();
    std::string out = c.take_output();
    EXPECT_NE(out.find("Contour interval <0.5>: "), std::string::npos);
    EXPECT_NE(out.find("CONTOUR: 3 levels from 2.5 to 7.5 (1 major), 3 polylines, 1 labels"), std::string::npos);
    std::vector<const velmora::Entity *> minor, major, labels;
    for (const auto &e : c.drawing().entities) {
        if (e.type == "POLYLINE")
            (e.layer == "CONTOUR-MAJOR" ? major : minor).push_back(&e);
        if (e.type == "TEXT")
            labels.push_back(&e);
    }
    ASSERT_EQ(minor.size(), 2u);
    ASSERT_EQ(major.size(), 1u);
    EXPECT_EQ(minor[0]->layer, "CONTOUR-MINOR");
    EXPECT_EQ(major[0]->poly_flags, 8 | 1);            // a closed 3D polyline
    EXPECT_EQ(major[0]->pts[0].z, 5);
    EXPECT_EQ(major[0]->colour, 256);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0]->text, "5");
    EXPECT_EQ(labels[0]->layer, "CONTOUR-MAJOR");
    EXPECT_TRUE(labels[0]->text_centred);
    EXPECT_EQ(labels[0]->pts[0].z, 5);
    EXPECT_GT(labels[0]->text_angle, -90);
    EXPECT_LE(labels[0]->text_angle, 90);
}
