// The library's pieces: tolerance, point ordering, the edge buffer, and the driver's messages and results.  (The
// third-point search is checked against the straightforward one: differential_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

#include "tin_check.h"

namespace {

double eps_for(double x, double y)
{
    tin_point p[2] = {{x, y, 0}, {0, 0, 0}};
    return tin_choose_eps(2, p);
}

std::vector<tin_point> sorted(std::vector<tin_point> p, double tol)
{
    tin.eps = tol;
    int32_t n = (int32_t)p.size();
    EXPECT_EQ(tin_sort_points(&n, p.data()), 0);
    p.resize(n);
    return p;
}

// The tolerance comes from the largest magnitude, a band's lower edge
// included: an extent of exactly 1000 is in the band from 1000 up.
TEST(Tolerance, FromTheLargestMagnitudeAndThePointOrderAndWhichDuplicateStays)
{
    EXPECT_EQ(eps_for(0, 1000), 1e-6);
    EXPECT_EQ(eps_for(999.99, 5), 1e-7);
    EXPECT_EQ(eps_for(-50000, -20), 1e-4);

    auto p = sorted({{1, 2, 5}, {1, 2, 7}, {0, 9, 1}, {1, 1, 0}}, 1e-9);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].x, 0);
    EXPECT_EQ(p[1].y, 1);
    EXPECT_EQ(p[2].z, 7);   // of equal x and y, the larger z stays

    double e = 1e-6;
    EXPECT_EQ(sorted({{0, 0, 0}, {0.5 * e, 0.5 * e, 0}, {e, e, 0}}, e).size(), 1u);
    EXPECT_EQ(sorted({{0, 0, 0}, {0, 2 * e, 0}}, e).size(), 2u);
    // a removed point does not remove its own neighbours
    auto chain = sorted({{1.8 * e, 0, 0}, {0, 0, 0}, {0.9 * e, 0, 0}}, e);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0].x, 0);
    EXPECT_EQ(chain[1].x, 1.8 * e);

    // long columns of equal x: only the true duplicate (1, 100 + 1e-7) goes
    std::vector<tin_point> cols;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 2000; j++)
            cols.push_back({(double)i, j * 0.5, 0});
    cols.push_back({1, 100.0 + 1e-7, 3});
    cols.push_back({1, 100.0 + 1e-5, 3});
    EXPECT_EQ(sorted(cols, 1e-6).size(), 6001u);

    // long shuffled columns (sorted by y apart from the rest), some y twice
    // or three times with other z, one column with a zero y: qsort's order,
    // and of each equal x and y the largest z stays
    std::vector<tin_point> grid;
    std::mt19937 gen(3);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 300; j++)
            grid.push_back({10.0 + i, i == 3 && j == 5 ? 0.0 : 1.0 + (double)(gen() % 250),
                            (double)(gen() % 6) - 2.5});
    std::shuffle(grid.begin(), grid.end(), gen);
    std::vector<tin_point> want = grid;
    std::qsort(want.data(), want.size(), sizeof(tin_point), tin_point_cmp);
    want.erase(std::unique(want.begin(), want.end(),
                           [](const tin_point &a, const tin_point &b) { return a.x == b.x && a.y == b.y; }),
               want.end());
    std::vector<tin_point> got = sorted(grid, 1e-9);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(tin_point)), 0);

    // Points 1e-5 apart at x = -50,000: with a tolerance from magnitudes they
    // are one point; from signed values the tolerance would be 1e-13.
    tt::Listen s;
    tt::Run r = tt::run({{-50000, -40000, 1}, {-50000 + 1e-5, -40000, 2}, {-49990, -40000, 3}, {-49995, -39990, 4}});
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.n, 3);
    EXPECT_EQ(r.tris.size(), 1u);
}

int faces;
int count_face(tin_point, tin_point, tin_point) { return ++faces; }

// A full edge buffer is a failure with its message, never a write past it.
// (A line through two equal points, " LPP ": Constraints.LppFailure...)
TEST(Driver, AFullEdgeBufferFailsAndSmallInputsGiveTheirMessages)
{
    tt::Listen s;
    tin_point pts[2] = {{0, 0, 0}, {3, -1, 0}};
    tin_edge slots[2];
    tin.tri = slots;
    tin.edge_cap = 2;
    tin.last_edge = -1;
    EXPECT_EQ(tin_wrbuff(0, 1, -1, 1, 1, 1, pts), 0);
    EXPECT_EQ(tin_wrbuff(1, 0, -1, 1, 1, 1, pts), 0);
    EXPECT_EQ(tin_wrbuff(1, 0, -1, 1, 1, 1, pts), 1);
    EXPECT_EQ(s.take(), "error: WRBUFF ");
    tin.tri = nullptr;

    struct Case { std::vector<tin_point> pts; int result, faces; const char *said; } cases[] = {
        {{{0, 0, 1}, {4, 0, 2}, {1, 3, 3}}, 0, 1, " - points number= 3 ; triangles number= 1"},
        {{{0, 0, 1}, {1, 1, 2}, {2, 2, 3}}, 1, 0, "error: no first triangle: the points lie on one line"},
        // Distances that overflow leave no nearest point: a message, not points[-1].
        {{{0, 0, 1}, {1, 1e308, 2}, {2, -1e308, 3}}, 1, 0, "error: no nearest point: coordinates too large"},
        {{{0, 0, 1}, {5, 5, 2}, {5, 5, 3}}, 1, 0, "error: np < 3"},     // two points left: n is 2
    };
    int32_t n = -1;
    for (Case &c : cases) {
        faces = 0;
        EXPECT_EQ(lib_triangulate(3, c.pts.data(), nullptr, 0, 0, count_face, &n, 0), c.result) << c.said;
        EXPECT_EQ(faces, c.faces) << c.said;
        EXPECT_EQ(s.take(), c.said);
    }
    EXPECT_EQ(n, 2);
    EXPECT_EQ(lib_triangulate(0, nullptr, nullptr, 0, 0, count_face, &n, 0), 1);
    EXPECT_EQ(n, 0);
}

TEST(Driver, UserBreakStopsTheFrontWithCancel)
{
    tt::Listen s(5);
    auto pts = tt::random_points(200, 1000, 9);
    faces = 0;
    int32_t n;
    EXPECT_EQ(lib_triangulate((int32_t)pts.size(), pts.data(), nullptr, 0, 0, count_face, &n, 0), 1);
    std::string out = s.take();
    EXPECT_NE(out.find("error: *Cancel*"), std::string::npos);
    EXPECT_EQ(out.find("points number"), std::string::npos);
    EXPECT_GE(faces, 1);        // the seed and what came before the break stay
    EXPECT_LE(faces, 6);
}

TEST(Driver, SeedIsTheMiddlePointAndItsNearestNeighbour)
{
    tt::Listen s;
    // sorted: (0,0) (0,1) (1,0) (1,1); m = 2 -> (1,0); nearest (0,0) by array
    // order among the two at distance 1; third point (0,1) by the tie rule
    tt::Run r = tt::run({{1, 1, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 0}});
    ASSERT_EQ(r.result, 0);
    ASSERT_EQ(r.tris.size(), 2u);
    EXPECT_EQ(std::vector<int>({r.tris[0].a, r.tris[0].b, r.tris[0].c}), (std::vector<int>{2, 0, 1}));
}

// Large blocks share their mappings within a call: whatever the order of
// taking and giving back, a block comes zeroed and overlaps no other held
// block (each is filled with its own byte and checked before it goes).
TEST(BigBlocks, ReusedStretchesComeZeroedAndNeverOverlap)
{
    std::mt19937 rng(7);
    struct Held { unsigned char *p; size_t n; unsigned char mark; };
    for (int call = 0; call < 3; call++) {
        std::vector<Held> held;
        for (int step = 0; step < 300; step++) {
            if (!held.empty() && rng() % 3 == 0) {
                size_t k = rng() % held.size();
                Held h = held[k];
                for (size_t i = 0; i < h.n; i += 4093)
                    ASSERT_EQ(h.p[i], h.mark) << "step " << step;
                ASSERT_EQ(h.p[h.n - 1], h.mark);
                tin_big_free(h.p);
                held.erase(held.begin() + (long)k);
                continue;
            }
            size_t n = ((size_t)1 << 20) + rng() % ((size_t)9 << 20);
            auto *p = (unsigned char *)tin_big_pages(n, (int)(rng() % 2));
            ASSERT_NE(p, nullptr);
            for (size_t i = 0; i < n; i += 4093)
                ASSERT_EQ(p[i], 0) << "step " << step;
            ASSERT_EQ(p[n - 1], 0);
            unsigned char mark = (unsigned char)(1 + step % 250);
            std::memset(p, mark, n);
            held.push_back({p, n, mark});
        }
        for (Held &h : held)
            tin_big_free(h.p);
        tin_big_release();
    }
}

}  // namespace
