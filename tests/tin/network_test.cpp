// Whole networks without constraint lines: they must be Delaunay
// triangulations of the convex hull, checked with exact integer geometry.
#include <gtest/gtest.h>

#include <cmath>

#include "tin_check.h"

namespace {

void expect_delaunay_of_hull(const tt::Run &r, const std::vector<tin_point> &input)
{
    ASSERT_EQ(r.result, 0);
    int64_t area2 = 0;
    EXPECT_EQ(tt::check_network(r, &area2, true), "");
    EXPECT_EQ(area2, tt::hull_area2(input));
}

TEST(Network, RandomGridAndTerrainSetsUpToAHundredThousandPointsAreDelaunayOverTheHull)
{
    tt::Listen s;
    std::vector<std::vector<tin_point>> inputs;
    for (unsigned seed = 1; seed <= 3; seed++)
        inputs.push_back(tt::random_points(1500, 100000, seed));
    inputs.push_back(tt::random_points(100000, 1000000, 5));
    // far from the origin, positive and negative
    for (double off : {600000.0, -600000.0})
        inputs.push_back(tt::random_points(800, 5000, 7, off, off));
    // a grid: cocircular fours, diagonals by the tie rule
    std::vector<tin_point> grid, dem;
    for (int i = 0; i < 37; i++)
        for (int j = 0; j < 23; j++)
            grid.push_back({(double)(i * 10), (double)(j * 10), (double)(i + j)});
    inputs.push_back(grid);
    // DEM rows with breaks plus scattered spot heights
    for (int i = 0; i < 60; i++)
        for (int j = 0; j < 40; j++)
            if ((i * 7 + j * 3) % 11 != 0)
                dem.push_back({(double)(300000 + i * 25), (double)(5000000 + j * 25),
                               100 + 10 * std::sin(i * 0.2) * std::cos(j * 0.3)});
    auto extra = tt::random_points(500, 1500, 11, 300000, 5000000);
    dem.insert(dem.end(), extra.begin(), extra.end());
    inputs.push_back(dem);
    for (const auto &pts : inputs) {
        tt::Run r = tt::run(pts);
        expect_delaunay_of_hull(r, pts);
        EXPECT_NE(s.take().find(" - points number= " + std::to_string(r.n) +
                                       " ; triangles number= " + std::to_string(r.tris.size())),
                  std::string::npos);
    }
    EXPECT_EQ(tt::run(grid).tris.size(), 2u * 36 * 22);
}

}  // namespace
