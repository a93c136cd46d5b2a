// Contour lines: intervals and their labels, levels through corners and
// along edges, branches at saddles.  The CONTOUR command: test_contour.py.
#include <gtest/gtest.h>

#include <cmath>

#include "contour.h"

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
            t.push_back(main_diagonal ? T(a, b, c) : T(a, b, d));
            t.push_back(main_diagonal ? T(a, c, d) : T(b, c, d));
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

TEST(Contour, IntervalsKeepTheirDecimalsAndLevelsLeaveNoGapsAndNoDoubles)
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

    const double range_interval[][3] = {{252.4, 1038.9, 50}, {0, 9, 0.5}, {0, 1, 0.05}, {100, 140, 2}, {7, 7, 1}};
    for (const auto &r : range_interval)
        EXPECT_EQ(velmora::default_interval(r[0], r[1]), r[2]) << r[0] << " " << r[1];

    // (A closed loop, level 5 of a pyramid: test_contour.py.) Level 2 runs from corner (2,0) through (1,1) to (0,2):
    // across the cells split the other way, along the triangle edges split along it.
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
        for (int z : {0, 1, 3, 4})
            EXPECT_EQ(at_level(levels, z) != nullptr, z == 1 || z == 3) << z;
    }

    // A roof whose ridge lies on level 5, both sides below: the ridge drawn once.
    Vec3 a{0, 0, 0}, b{0, 10, 0}, r1{5, 0, 5}, r2{5, 10, 5}, c{10, 0, 0}, d{10, 10, 0};
    std::vector<ContourLevel> roof;
    std::string why;
    ASSERT_TRUE(contour_tin({T(a, r1, r2), T(a, r2, b), T(r1, c, d), T(r1, d, r2)}, make_interval(5), roof, why));
    const ContourLevel *ridge = at_level(roof, 5);
    ASSERT_NE(ridge, nullptr);
    ASSERT_EQ(ridge->lines.size(), 1u);
    EXPECT_EQ(ridge->lines[0].pts.size(), 2u);
    EXPECT_EQ(length(ridge->lines[0]), 10);

    // A saddle, the centre on level 5, the ring below, above, below, above: four arms leave the centre, none doubled.
    Vec3 o{0, 0, 5}, e{10, 0, 0}, n{0, 10, 10}, w{-10, 0, 0}, so{0, -10, 10};
    std::vector<ContourLevel> levels;
    ASSERT_TRUE(contour_tin({T(o, e, n), T(o, n, w), T(o, w, so), T(o, so, e)}, make_interval(5), levels, why));
    const ContourLevel *mid = at_level(levels, 5);
    ASSERT_NE(mid, nullptr);
    ASSERT_EQ(mid->lines.size(), 4u);
    for (const auto &arm : mid->lines) {
        ASSERT_EQ(arm.pts.size(), 2u);
        const Vec3 &centre = arm.pts[0].x == 0 && arm.pts[0].y == 0 ? arm.pts[0] : arm.pts[1];
        EXPECT_TRUE(centre.x == 0 && centre.y == 0);     // one end of each is the centre
        EXPECT_NEAR(length(arm), std::sqrt(50.0), 1e-12);
    }

    EXPECT_FALSE(contour_tin({T(o, e, n)}, make_interval(1e-5), levels, why));
    EXPECT_EQ(why, "the heights span 1000001 levels, more than 100000");
}
