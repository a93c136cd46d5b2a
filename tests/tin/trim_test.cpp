// Trimming a network without an outline: long triangles go from the hull
// inwards; what stays has no edge over the limit unless walled in.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "tin_check.h"

namespace {

double longest(const tin_point *c)
{
    double m = 0;
    for (int k = 0; k < 3; k++)
        m = std::max(m, std::hypot(c[(k + 1) % 3].x - c[k].x, c[(k + 1) % 3].y - c[k].y));
    return m;
}

struct Trim {
    std::vector<uint8_t> removed;
    int32_t count;
    std::vector<std::vector<int>> faces_at;     // per point: the faces with that corner
    std::vector<bool> on_hull;                  // per face: a corner on the hull
};

Trim trim(const tt::Run &r, double max_len)
{
    Trim t;
    t.removed.assign(r.tris.size(), 9);
    t.count = tin_trim_long((int32_t)r.tris.size(), r.raw.data(), max_len, t.removed.data());
    std::map<std::pair<int, int>, int> sides;
    t.faces_at.resize(r.pts.size());
    for (size_t f = 0; f < r.tris.size(); f++) {
        int v[3] = {r.tris[f].a, r.tris[f].b, r.tris[f].c};
        for (int k = 0; k < 3; k++) {
            sides[{std::min(v[k], v[(k + 1) % 3]), std::max(v[k], v[(k + 1) % 3])}]++;
            t.faces_at[v[k]].push_back((int)f);
        }
    }
    std::vector<bool> hull_point(r.pts.size(), false);
    for (auto &kv : sides)
        if (kv.second == 1)
            hull_point[kv.first.first] = hull_point[kv.first.second] = true;
    for (size_t f = 0; f < r.tris.size(); f++)
        t.on_hull.push_back(hull_point[r.tris[f].a] || hull_point[r.tris[f].b] || hull_point[r.tris[f].c]);
    return t;
}

// Every group of removed faces joined by their corners reaches the hull.
bool removed_from_outside(const tt::Run &r, const Trim &t)
{
    std::vector<bool> seen(t.removed.size(), false);
    for (size_t f = 0; f < t.removed.size(); f++) {
        if (!t.removed[f] || seen[f])
            continue;
        std::vector<int> stack = {(int)f};
        seen[f] = true;
        bool hull = false;
        while (!stack.empty()) {
            int g = stack.back();
            stack.pop_back();
            hull = hull || t.on_hull[g];
            for (int v : {r.tris[g].a, r.tris[g].b, r.tris[g].c})
                for (int h : t.faces_at[v])
                    if (t.removed[h] && !seen[h]) {
                        seen[h] = true;
                        stack.push_back(h);
                    }
        }
        if (!hull)
            return false;
    }
    return true;
}

// A dense survey with a sparse fringe: the fringe's long slivers go, the dense part stays whole.
TEST(Trim, TheLongSliversAlongASurveysEdgeGoFromTheOutsideInAndAnOpeningStays)
{
    tt::Listen s;
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 gen(seed);
        std::uniform_real_distribution<double> u(0, 1);
        std::vector<tin_point> pts;
        while (pts.size() < 3000) {
            double x = std::round(u(gen) * 8000 - 4000), y = std::round(u(gen) * 8000 - 4000);
            if (std::hypot(x, y) < 4000)
                pts.push_back({x, y, u(gen) * 10});
        }
        for (int i = 0; i < 40; i++) {
            double a = u(gen) * 2 * M_PI, r = 4300 + u(gen) * 2000;
            pts.push_back({std::round(r * std::cos(a)), std::round(r * std::sin(a)), 0});
        }
        tt::Run r = tt::run(pts);
        ASSERT_EQ(r.result, 0);
        double limit = 800;
        Trim t = trim(r, limit);
        int32_t removed = 0, inward = 0;
        for (size_t f = 0; f < r.tris.size(); f++) {
            ASSERT_LE(t.removed[f], 1);
            removed += t.removed[f];
            inward += t.removed[f] && !t.on_hull[f];
            if (!t.removed[f])
                EXPECT_LE(longest(&r.raw[3 * f]), limit) << "seed " << seed << " face " << f;
            else
                EXPECT_GT(longest(&r.raw[3 * f]), limit);
        }
        EXPECT_EQ(t.count, removed);
        EXPECT_GT(removed, 20);
        EXPECT_GT(inward, 0);               // some went only once a neighbour had gone
        EXPECT_LT(removed, (int32_t)r.tris.size() / 20);
        EXPECT_TRUE(removed_from_outside(r, t));
        // no limit, nothing goes
        EXPECT_EQ(trim(r, 0).count, 0);
        EXPECT_EQ(trim(r, 1e9).count, 0);
    }

    // A grid with a round opening in the middle: the triangles across the
    // opening are long, but walled in by the grid's short ones, so they stay.
    std::vector<tin_point> pts;
    for (int i = 0; i <= 20; i++)
        for (int j = 0; j <= 20; j++)
            if (std::hypot(i - 10.3, j - 9.8) > 4)
                pts.push_back({(double)(i * 10), (double)(j * 10), 0});
    tt::Run r = tt::run(pts);
    ASSERT_EQ(r.result, 0);
    Trim t = trim(r, 20);
    EXPECT_EQ(t.count, 0);
    int long_kept = 0;
    for (size_t f = 0; f < r.tris.size(); f++)
        long_kept += longest(&r.raw[3 * f]) > 20;
    EXPECT_GT(long_kept, 0);
}

}  // namespace
