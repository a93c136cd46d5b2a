// Cut and fill in-process: the exact orientation test, the overlay under degenerate input (pieces must tile each
// triangle), the grid index against every pair, overlapping surfaces, and the band width.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "cutfill.h"
#include "orient.h"

using namespace velmora;

namespace {

Triangle T(Vec3 a, Vec3 b, Vec3 c) { return Triangle{{a, b, c}}; }

// An n x n grid over [x0, x0 + size]^2, cells split along a diagonal chosen by
// `rng`, inner nodes moved by up to `jitter` of a cell, heights z(x, y).
template <class Z>
std::vector<Triangle> grid(int n, double x0, double size, double jitter, std::mt19937 &rng, Z z)
{
    std::uniform_real_distribution<double> u(-1, 1);
    double h = size / n;
    std::vector<Vec3> p((n + 1) * (n + 1));
    for (int i = 0; i <= n; i++)
        for (int j = 0; j <= n; j++) {
            double x = x0 + i * h, y = x0 + j * h;
            if (i > 0 && i < n)
                x += jitter * h * u(rng);
            if (j > 0 && j < n)
                y += jitter * h * u(rng);
            p[i * (n + 1) + j] = Vec3{x, y, z(x, y)};
        }
    std::vector<Triangle> t;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            Vec3 a = p[i * (n + 1) + j], b = p[(i + 1) * (n + 1) + j];
            Vec3 c = p[(i + 1) * (n + 1) + j + 1], d = p[i * (n + 1) + j + 1];
            bool main = rng() & 1;
            t.push_back(main ? T(a, b, c) : T(a, b, d));
            t.push_back(main ? T(a, c, d) : T(b, c, d));
        }
    return t;
}

// The map's pieces, one after another.
struct Map { std::vector<CfVertex> v; std::vector<int> count, band; std::vector<std::uint16_t> edges; };

Map map_of(const CutFill &r)
{
    Map m;
    cutfill_map(r, [&](const CfVertex *p, int n, int band, std::uint16_t edges) {
        m.v.insert(m.v.end(), p, p + n);
        m.count.push_back(n);
        m.band.push_back(band);
        m.edges.push_back(edges);
    });
    return m;
}

double map_area(const Map &m)
{
    double sum = 0;
    const CfVertex *v = m.v.data();
    for (int n : m.count) {
        for (int k = 1; k + 1 < n; k++)
            sum += ((v[k].x - v[0].x) * (v[k + 1].y - v[0].y) - (v[k + 1].x - v[0].x) * (v[k].y - v[0].y)) / 2;
        v += n;
    }
    return sum;
}

}  // namespace

TEST(CutFillOrient, ExactOnPointsOneUlpApartFromALine)
{
    // (24,24), (12,12) and p: the determinant is exactly 12 (py - px), so the sign must follow py - px for every p near
    // (0.5, 0.5), where plain double evaluation gets some of them wrong.
    int wrong_if_plain = 0;
    for (int i = 0; i < 64; i++)
        for (int j = 0; j < 64; j++) {
            double px = 0.5, py = 0.5;
            for (int k = 0; k < i; k++)
                px = std::nextafter(px, 1.0);
            for (int k = 0; k < j; k++)
                py = std::nextafter(py, 1.0);
            int want = py > px ? 1 : (py < px ? -1 : 0);
            EXPECT_EQ(orient2d(px, py, 12, 12, 24, 24), want) << i << " " << j;
            EXPECT_EQ(orient2d(12, 12, 24, 24, px, py), want);
            EXPECT_EQ(orient2d(24, 24, 12, 12, px, py), -want);
            double plain = (px - 24) * (12 - 24) - (py - 24) * (12 - 24);
            if ((plain > 0) - (plain < 0) != want)
                wrong_if_plain++;
        }
    EXPECT_GT(wrong_if_plain, 0);   // the points are hard enough to matter
    // Corners shared, or on one grid line: both products vanish.
    EXPECT_EQ(orient2d(3, 4, 3, 4, 7, 1), 0);
    EXPECT_EQ(orient2d(1, 5, 1, 7, 1, 9), 0);
    EXPECT_EQ(orient2d(1e300, 5, -1e300, 5, 0, 5), 0);
    EXPECT_EQ(orient2d(1, 5, 1, 7, 2, 9), -1);
}

TEST(CutFillOverlay, PiecesTileEachTriangleWhateverTheDegeneraciesAndNearCoincidences)
{
    // Ground: [0,8]^2 as two triangles along x + y = 8.  Design: a fan about (4,4) with rays through the ground's
    // corners and along its edges: corners on corners, corners on edges and edges on edges.
    std::vector<Triangle> ground = {T({0, 0, 1}, {8, 0, 2}, {0, 8, 3}), T({8, 0, 2}, {8, 8, 4}, {0, 8, 3})};
    std::vector<Vec3> ring = {{-16, -16, 0}, {4, -16, 0}, {24, -16, 0}, {24, 4, 0}, {24, 24, 0},
                              {4, 24, 0},    {-16, 24, 0}, {-16, 4, 0}, {-16, -5, 0}, {-10, -16, 0}};
    // Ring order by angle about (4,4): sort so the fan does not fold.
    std::sort(ring.begin(), ring.end(), [](const Vec3 &a, const Vec3 &b) {
        return std::atan2(a.y - 4, a.x - 4) < std::atan2(b.y - 4, b.x - 4);
    });
    std::vector<Triangle> design;
    for (std::size_t k = 0; k < ring.size(); k++)
        design.push_back(T({4, 4, 2.5}, ring[k], ring[(k + 1) % ring.size()]));
    CutFill r;
    std::string msg;
    ASSERT_TRUE(cutfill(ground, &design, 0, 0, r, msg)) << msg;
    EXPECT_NEAR(map_area(map_of(r)), 64.0, 64.0 * 1e-14);
    EXPECT_NEAR(r.area, 64.0, 64.0 * 1e-14);
    // Each ground triangle alone is tiled by its cells.
    for (const Triangle &t : ground) {
        ASSERT_TRUE(cutfill({t}, &design, 0, 0, r, msg)) << msg;
        EXPECT_NEAR(map_area(map_of(r)), 32.0, 32.0 * 1e-14);
    }

    // Two triangulations of one tilted plane, inner nodes a few ulps apart:
    // the cells still tile the square exactly, with no cut, fill or zero line.
    std::mt19937 rng(4);
    auto plane = [](double x, double y) { return 312.5 + 0.37 * x - 0.21 * y; };
    std::vector<Triangle> a = grid(12, 1000, 120, 0.0, rng, plane);
    std::vector<Triangle> b = a;
    for (Triangle &t : b)
        for (Vec3 &p : t.p) {
            if (p.x == 1000 || p.x == 1120 || p.y == 1000 || p.y == 1120)
                continue;
            // Same node, same shift: the design stays one conforming sheet.
            std::seed_seq s{int(p.x), int(p.y)};
            std::mt19937 node(s);
            for (int k = std::uniform_int_distribution<int>(-3, 3)(node); k != 0; k += k > 0 ? -1 : 1)
                p.x = std::nextafter(p.x, k > 0 ? 2e3 : 0.0);
            p.z = plane(p.x, p.y);
        }
    ASSERT_TRUE(cutfill(a, &b, 0, 0, r, msg)) << msg;
    EXPECT_NEAR(r.area, 120.0 * 120.0, 120.0 * 120.0 * 1e-13);
    EXPECT_NEAR(map_area(map_of(r)), 120.0 * 120.0, 120.0 * 120.0 * 1e-13);
    EXPECT_EQ(r.cut, 0.0);
    EXPECT_EQ(r.fill, 0.0);
    EXPECT_EQ(r.same_area, r.area);
    EXPECT_TRUE(r.zero.empty());

    // Lowered by one band width: one band, whose lower level the depth sits
    // on, and no band edge wandering through the round-off.
    for (Triangle &t : b)
        for (Vec3 &p : t.p)
            p.z -= 0.5;
    ASSERT_TRUE(cutfill(a, &b, 0, 0.5, r, msg)) << msg;
    EXPECT_NEAR(r.cut, 0.5 * 120 * 120, 0.5 * 120 * 120 * 1e-13);
    EXPECT_EQ(r.fill, 0.0);
    EXPECT_NEAR(r.cut_area, 120.0 * 120.0, 120.0 * 120.0 * 1e-13);
    Map m = map_of(r);
    ASSERT_FALSE(m.band.empty());
    for (std::size_t k = 0; k < m.band.size(); k++) {
        EXPECT_EQ(m.band[k], 1);
        EXPECT_EQ(m.edges[k], 0);
    }
}

TEST(CutFillOverlay, GridIndexGivesExactlyWhatTestingEveryPairGives)
{
    std::mt19937 rng(8);
    auto hill = [](double x, double y) { return 40 + 5 * std::sin(x / 9) * std::cos(y / 7); };
    auto bowl = [](double x, double y) { return 39 + 0.002 * ((x - 530) * (x - 530) + (y - 540) * (y - 540)); };
    std::vector<Triangle> ground = grid(20, 500, 80, 0.25, rng, hill);
    std::vector<Triangle> design = grid(13, 507, 80, 0.3, rng, bowl);
    CutFill fast, plain;
    std::string msg;
    ASSERT_TRUE(cutfill(ground, &design, 0, 0, fast, msg, false)) << msg;
    ASSERT_TRUE(cutfill(ground, &design, 0, 0, plain, msg, true)) << msg;
    ASSERT_GT(fast.cells, ground.size());
    ASSERT_GT(fast.zero.size(), 0u);
    EXPECT_EQ(fast.cells, plain.cells);
    Map fm = map_of(fast), pm = map_of(plain);
    ASSERT_EQ(fm.v.size(), pm.v.size());
    EXPECT_EQ(0, std::memcmp(fm.v.data(), pm.v.data(), fm.v.size() * sizeof(CfVertex)));
    EXPECT_EQ(fm.count, pm.count);
    EXPECT_EQ(fm.band, pm.band);
    EXPECT_EQ(fm.edges, pm.edges);
    ASSERT_EQ(fast.zero.size(), plain.zero.size());
    EXPECT_EQ(0, std::memcmp(fast.zero.data(), plain.zero.data(), fast.zero.size() * sizeof(fast.zero[0])));
    EXPECT_EQ(fast.cut, plain.cut);
    EXPECT_EQ(fast.fill, plain.fill);

    EXPECT_NEAR(map_area(fm), fast.area, 1e-9 * fast.area);
}

TEST(CutFillOverlap, DoubledFacesAndFoldsAreFoundWhereTheyAreAndBandsAreRound)
{
    std::mt19937 rng(2);
    std::vector<Triangle> tin = grid(6, 0, 60, 0.2, rng, [](double x, double) { return x; });
    Vec3 where;
    for (bool plain : {false, true}) {
        // A single sheet: neighbours share edges and corners only.
        EXPECT_FALSE(cf_self_overlap(tin, where, plain));
        // A face given twice, reported inside it.
        std::vector<Triangle> doubled = tin;
        doubled.push_back(tin[17]);
        ASSERT_TRUE(cf_self_overlap(doubled, where, plain));
        const Triangle &t = tin[17];
        for (int e = 0; e < 3; e++) {
            const Vec3 &u = t.p[e], &v = t.p[(e + 1) % 3];
            int side = orient2d(u.x, u.y, v.x, v.y, where.x, where.y);
            int inside = orient2d(t.p[0].x, t.p[0].y, t.p[1].x, t.p[1].y, t.p[2].x, t.p[2].y);
            EXPECT_EQ(side, inside);
        }
    }
    // Two folds: the pair with the lowest first triangle is the one named.
    std::vector<Triangle> folds = {T({0, 0, 0}, {10, 0, 0}, {0, 10, 0}), T({100, 0, 0}, {110, 0, 0}, {100, 10, 0}),
                                   T({102, 2, 5}, {112, 2, 5}, {102, 12, 5}), T({1, 1, 5}, {11, 1, 5}, {1, 11, 5})};
    ASSERT_TRUE(cf_self_overlap(folds, where));
    EXPECT_LT(where.x, 10);
    // Touching at a corner or along part of an edge is no overlap.
    std::vector<Triangle> touching = {T({0, 0, 0}, {10, 0, 0}, {0, 10, 0}), T({10, 0, 0}, {20, 0, 0}, {10, 10, 0}),
                                      T({0, 10, 0}, {5, 5, 0}, {8, 12, 0})};
    EXPECT_FALSE(cf_self_overlap(touching, where));

    struct { double deepest, width; } cases[] = {
        {6, 1}, {10, 1}, {10.0001, 2}, {20, 2}, {21, 2.5}, {25, 2.5}, {26, 5}, {50, 5}, {51, 10},
        {0.37, 0.05}, {0.03, 0.005}, {1234, 200}, {1e-6, 1e-7},
    };
    for (const auto &c : cases) {
        double w = cf_band_width(c.deepest);
        EXPECT_NEAR(w, c.width, c.width * 1e-12) << c.deepest;
        EXPECT_LE(c.deepest / w, 10 * (1 + 1e-12)) << c.deepest;
    }
}
