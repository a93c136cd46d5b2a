// The Delaunay kernel alone (tin_mesh_build): on inputs that bend its sweep's ring out of shape, the mesh must be a
// triangulation of every point with a convex hull, every inner edge Delaunay by the exact in-circle test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tin_int.h"
#include "tin_mesh.h"
#include "tin_pred.h"

namespace {

// Builds the mesh of `pts` and checks it whole, a failure added for each kind of fault found.
void expect_delaunay(const std::string &what, const std::vector<tin_point> &pts)
{
    ASSERT_EQ(tin_mesh_build((int32_t)pts.size(), pts.data(), nullptr, -1, 0, 0), 0) << what;
    const tin_mesh &m = tin_m;
    const tin_point *p = m.p;
    ASSERT_EQ(m.nk, (int32_t)pts.size()) << what;
    std::vector<int> corner_of(m.nk, 0);
    int bad_turn = 0, bad_twin = 0, not_delaunay = 0;
    for (int32_t t = 0; t < m.ntri; t++) {
        int32_t a = m.he[3 * t].v, b = m.he[3 * t + 1].v, c = m.he[3 * t + 2].v;
        bad_turn += !(tin_orient(&p[a], &p[b], &p[c]) > 0);
        corner_of[a] = corner_of[b] = corner_of[c] = 1;
        for (int k = 0; k < 3; k++) {
            int32_t h = 3 * t + k, g = m.he[h].n;
            if (g == -1)
                continue;
            // the twin runs the other way between the same ends
            bad_twin += m.he[g].n != h || m.he[g].v != m.he[tin_next(h)].v || m.he[tin_next(g)].v != m.he[h].v;
            // the apex beyond lies on or outside the circle
            int32_t far = m.he[tin_prev(g)].v;
            not_delaunay += tin_incircle(&p[a], &p[b], &p[c], &p[far]) > 0;
        }
    }
    EXPECT_EQ(bad_turn, 0) << what << ": triangles not counter-clockwise";
    EXPECT_EQ(bad_twin, 0) << what << ": neighbours that do not match";
    EXPECT_EQ(not_delaunay, 0) << what << ": edges whose far apex lies inside the circle";
    int missing = 0;
    for (int c : corner_of)
        missing += !c;
    EXPECT_EQ(missing, 0) << what << ": points in no triangle";

    // round the hull from its point: each step the hull half-edge leaving the point, convex (points on a side's
    // line stay), and Euler's count of triangles
    int32_t v = m.hull, nh = 0, reflex = 0;
    do {
        int32_t h = m.vhe[v];
        ASSERT_GE(h, 0) << what;
        ASSERT_EQ(m.he[h].n, -1) << what << ": a hull point's half-edge is not on the hull";
        int32_t w = m.he[tin_next(h)].v, x = m.he[tin_next(m.vhe[w])].v;
        reflex += tin_orient(&p[v], &p[w], &p[x]) < 0;
        v = w;
        ASSERT_LE(++nh, m.nk) << what << ": the hull does not close";
    } while (v != m.hull);
    EXPECT_EQ(reflex, 0) << what << ": the hull is not convex";
    EXPECT_EQ(m.ntri, 2 * m.nk - nh - 2) << what;
    tin_mesh_free();
}

std::vector<tin_point> uniform(int n, unsigned seed)
{
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> d(0, 1);
    std::vector<tin_point> p(n);
    for (auto &q : p)
        q = {500000 + 300 * d(g), 4500000 + 300 * d(g), 0};
    return p;
}

TEST(Kernel, DelaunayWhateverShapeTheSweepsRingTakes)
{
    expect_delaunay("uniform", uniform(20000, 1));

    // all cocircular, collinear hull sides
    std::vector<tin_point> grid;
    for (int i = 0; i < 70; i++)
        for (int j = 0; j < 50; j++)
            grid.push_back({1000.0 + i, 2000.0 + j, 0});
    expect_delaunay("grid", grid);

    // a ring of points with nothing inside but its centre: every point at one distance from the sweep's centre
    std::vector<tin_point> circle = {{0, 0, 0}};
    for (int k = 0; k < 720; k++)
        circle.push_back({1000 * std::cos(k * M_PI / 360), 1000 * std::sin(k * M_PI / 360), 0});
    expect_delaunay("circle", circle);

    // an annulus: the sweep starts on its inner edge and its ring wraps round the empty middle
    std::mt19937_64 g(5);
    std::uniform_real_distribution<double> d(0, 1);
    std::vector<tin_point> annulus;
    for (int k = 0; k < 5000; k++) {
        double r = 900 + 100 * d(g), a = 2 * M_PI * d(g);
        annulus.push_back({r * std::cos(a), r * std::sin(a), 0});
    }
    expect_delaunay("annulus", annulus);

    // two clusters far apart, and a spiral whose arms come at every angle in turn
    std::vector<tin_point> apart = uniform(3000, 2), spiral;
    for (tin_point &q : uniform(3000, 3))
        apart.push_back({q.x + 5000, q.y + 40, 0});
    expect_delaunay("clusters apart", apart);
    for (int k = 1; k < 4000; k++)
        spiral.push_back({k * std::cos(k * 0.1), k * std::sin(k * 0.1), 0});
    expect_delaunay("spiral", spiral);

    // a long line of points with a few off it on one side: the ring is all dents until it is closed
    std::vector<tin_point> line;
    for (int k = 0; k < 2000; k++)
        line.push_back({(double)k, 0, 0});
    for (int k = 0; k < 20; k++)
        line.push_back({100.0 * k + 50, 1.0 + k % 3, 0});
    expect_delaunay("line and a few off it", line);
}

// Small sets on a coarse lattice (many points on one line, many on one circle, seeds of every shape) and on
// lines and circles of it: the dents, the ties of the in-circle test and the closing of the ring all at once.
TEST(Kernel, DelaunayOnSmallDegenerateSets)
{
    std::mt19937_64 g(17);
    for (int round = 0; round < 300; round++) {
        int n = 4 + (int)(g() % 200), side = 3 + (int)(g() % 40);
        std::vector<tin_point> pts;
        for (int k = 0; k < n; k++) {
            double x = (double)(g() % side), y = (double)(g() % side);
            switch (round % 4) {
            case 1: y = (double)(g() % 3); break;                 // a few long rows
            case 2: { double a = (double)(g() % 64) * M_PI / 32;   // rings round one centre
                      x = std::round(side * std::cos(a)); y = std::round(side * std::sin(a)); break; }
            default: break;
            }
            pts.push_back({x, y, 0});
        }
        std::sort(pts.begin(), pts.end(), [](const tin_point &a, const tin_point &b) {
            return a.x < b.x || (a.x == b.x && a.y < b.y);
        });
        pts.erase(std::unique(pts.begin(), pts.end(), [](const tin_point &a, const tin_point &b) {
            return a.x == b.x && a.y == b.y;
        }), pts.end());
        std::shuffle(pts.begin(), pts.end(), g);
        // all on one line: no mesh, and nothing to check
        bool line = true;
        for (size_t k = 2; k < pts.size() && line; k++)
            line = tin_orient(&pts[0], &pts[1], &pts[k]) == 0;
        if (pts.size() < 3 || line)
            continue;
        expect_delaunay("round " + std::to_string(round), pts);
        if (HasFailure())
            break;
    }
}

} // namespace
