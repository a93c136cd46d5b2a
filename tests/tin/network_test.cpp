// Whole networks without constraint lines: they must be Delaunay
// triangulations of the convex hull, checked with exact integer geometry.
#include <gtest/gtest.h>

#include <cmath>

#include "addon_session.h"
#include "tin_check.h"

namespace {

void expect_delaunay_of_hull(const tt::Run &r, const std::vector<tin_point> &input)
{
    ASSERT_EQ(r.result, 0);
    int64_t area2 = 0;
    EXPECT_EQ(tt::check_manifold(r, &area2), "");
    EXPECT_EQ(area2, tt::hull_area2(input));
    EXPECT_EQ(tt::check_local_delaunay(r), "");
}

TEST(Network, RandomSetsAreDelaunayOverTheHull)
{
    vt::AddonSession s;
    for (unsigned seed = 1; seed <= 4; seed++) {
        auto pts = tt::random_points(1500, 100000, seed);
        tt::Run r = tt::run(pts);
        expect_delaunay_of_hull(r, pts);
        EXPECT_NE(s.take_output().find(" - points number= " + std::to_string(r.n) +
                                       " ; triangles number= " + std::to_string(r.tris.size())),
                  std::string::npos);
    }
}

TEST(Network, FarFromTheOriginAndNegativeLikeNearIt)
{
    // The same survey shifted to large positive and to large negative
    // coordinates: the same triangles (by shape) and a Delaunay network.
    vt::AddonSession s;
    auto base = tt::random_points(800, 5000, 7);
    for (double off : {600000.0, -600000.0}) {
        auto pts = base;
        for (auto &p : pts) { p.x += off; p.y += off; }
        tt::Run r = tt::run(pts);
        expect_delaunay_of_hull(r, pts);
    }
}

TEST(Network, GridsTakeTheirDiagonalsByTheTieRule)
{
    vt::AddonSession s;
    std::vector<tin_point> pts;
    for (int i = 0; i < 37; i++)
        for (int j = 0; j < 23; j++)
            pts.push_back({(double)(i * 10), (double)(j * 10), (double)(i + j)});
    tt::Run r = tt::run(pts);
    expect_delaunay_of_hull(r, pts);
    EXPECT_EQ(r.tris.size(), 2u * 36 * 22);
}

TEST(Network, TerrainSurveyWithDenseAndSparseParts)
{
    // Survey-like: rows of a DEM with breaks, plus scattered spot heights.
    vt::AddonSession s;
    std::vector<tin_point> pts;
    for (int i = 0; i < 60; i++)
        for (int j = 0; j < 40; j++)
            if ((i * 7 + j * 3) % 11 != 0)
                pts.push_back({(double)(300000 + i * 25), (double)(5000000 + j * 25),
                               100 + 10 * std::sin(i * 0.2) * std::cos(j * 0.3)});
    auto extra = tt::random_points(500, 1500, 11, 300000, 5000000);
    pts.insert(pts.end(), extra.begin(), extra.end());
    tt::Run r = tt::run(pts);
    expect_delaunay_of_hull(r, pts);
}

TEST(Network, HundredThousandRandomPoints)
{
    vt::AddonSession s;
    auto pts = tt::random_points(100000, 1000000, 5);
    tt::Run r = tt::run(pts);
    expect_delaunay_of_hull(r, pts);
}

}  // namespace
