// The library refuses constraint edges that cannot outline an area: edges
// that cross or touch, and groups that do not close into rings.  A refusal
// comes before the first triangle; a large valid outline passes whole, and a
// single fault far along it is still found.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tin_check.h"

namespace {

tin_line seg(const tin_point &a, const tin_point &b, int16_t g) { return tt::line_of(a, b, g); }

void close_ring(std::vector<tin_line> &lines, const std::vector<tin_point> &ring, int16_t g)
{
    for (size_t i = 0; i < ring.size(); i++)
        lines.push_back(seg(ring[i], ring[(i + 1) % ring.size()], g));
}

// A star-shaped polygon of n corners on integer coordinates: the radius
// alternates by a thousandth, so the outline zigzags a little, as a
// surveyed boundary does, while staying simple.
std::vector<tin_point> star(int n)
{
    std::vector<tin_point> out;
    for (int i = 0; i < n; i++) {
        double a = 2 * M_PI * i / n, r = i % 2 ? 999000 : 1000000;
        out.push_back({std::round(r * std::cos(a)), std::round(r * std::sin(a)), 10.0 + i % 7});
    }
    return out;
}

// The check alone over the ring's edges, as the library has built them.
int check(const std::vector<tin_point> &pts)
{
    std::vector<tin_edge> buf(pts.size());
    tin.tri = buf.data();
    tin.edge_cap = (int32_t)buf.size();
    tin.last_edge = -1;
    tin.eps = tin_choose_eps((int32_t)pts.size(), pts.data());
    for (size_t i = 0; i < pts.size(); i++) {
        int32_t u = (int32_t)i, v = (int32_t)((i + 1) % pts.size());
        double la, lb, lc;
        tin_lpp(pts[u].x, pts[u].y, pts[v].x, pts[v].y, &la, &lb, &lc);
        tin_wrbuff(u, v, -1, la, lb, lc, pts.data());
        tin.tri[tin.last_edge].group = 1;
    }
    tin.ncons = tin.last_edge + 1;
    int r = tin_check_rings(pts.data());
    tin.tri = nullptr;
    tin.ncons = 0;
    tin.last_edge = -1;
    return r;
}

TEST(Rings, ALargeOutlinePassesAndOneFaultAlongItIsFound)
{
    tt::Listen s;
    std::vector<tin_point> corners = star(20000);
    EXPECT_EQ(check(corners), 0) << s.take();
    EXPECT_EQ(s.take(), "");

    // One corner moved out beyond the far side: its two sides cross the
    // outline there.
    corners[15001].x = -corners[15001].x * 1.5;
    corners[15001].y = -corners[15001].y * 1.5;
    EXPECT_EQ(check(corners), 1);
    std::string out = s.take();
    ASSERT_NE(out.find(" LINEs of colour 1 cross at ("), std::string::npos) << out;
    // the point named lies on one of the moved corner's sides
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(out.c_str() + out.find("cross at (") + 10, "%lf, %lf", &x, &y), 2);
    bool on_side = false;
    for (int k : {15000, 15002}) {
        tin_point a = corners[k], b = corners[15001], p = {x, y, 0};
        double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
        double len = std::hypot(b.x - a.x, b.y - a.y);
        on_side |= std::fabs(cross) / len < 1e-3;
    }
    EXPECT_TRUE(on_side) << x << ", " << y;
    EXPECT_EQ(out.rfind("error:", 0), 0u) << out;    // reported as a failure
}

// Through the library: the refusal comes before the first triangle.
TEST(Rings, TouchingRingsAndStrayEndsAreRefused)
{
    tt::Listen s;
    std::vector<tin_point> outline = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}};
    std::vector<tin_point> pts = outline;
    pts.push_back({50, 50, 0});
    struct Case {
        const char *what;
        std::vector<tin_point> extra_points;
        std::vector<tin_line> extra_lines;
        const char *message;
    } cases[] = {
        // a void corner on the outline's side, at a height the side does not
        // have there: the side is not cut, so the corner touches it
        {"touch", {{100, 40, 9}, {80, 30, 0}, {80, 50, 0}},
         {seg({100, 40, 9}, {80, 30, 0}, 2), seg({80, 30, 0}, {80, 50, 0}, 2), seg({80, 50, 0}, {100, 40, 9}, 2)},
         " LINEs of colours 1 and 2 cross at (100, 40)"},
        // the same corner at the side's height cuts the side: the two rings
        // share a point
        {"shared", {{100, 40, 0}, {80, 30, 0}, {80, 50, 0}},
         {seg({100, 40, 0}, {80, 30, 0}, 2), seg({80, 30, 0}, {80, 50, 0}, 2), seg({80, 50, 0}, {100, 40, 0}, 2)},
         " LINEs of colours 1 and 2 meet at (100, 40)"},
        // a side folding back along itself
        {"fold", {{20, 20, 0}, {60, 20, 0}, {40, 20, 0}},
         {seg({20, 20, 0}, {60, 20, 0}, 3), seg({60, 20, 0}, {40, 20, 0}, 3), seg({40, 20, 0}, {20, 20, 0}, 3)},
         " LINEs of colour 3: 4 line ends meet at (40, 20)"},
        // one line alone
        {"open", {{20, 20, 0}, {30, 30, 0}}, {seg({20, 20, 0}, {30, 30, 0}, 2)},
         " LINEs of colour 2 do not close: an open end at (20, 20)"},
    };
    for (const Case &c : cases) {
        std::vector<tin_point> p = pts;
        p.insert(p.end(), c.extra_points.begin(), c.extra_points.end());
        std::vector<tin_line> lines;
        close_ring(lines, outline, 1);
        lines.insert(lines.end(), c.extra_lines.begin(), c.extra_lines.end());
        s.take();
        tt::Run r = tt::run(p, lines, 3);
        EXPECT_EQ(r.result, 1) << c.what;
        EXPECT_TRUE(r.tris.empty()) << c.what;
        std::string out = s.take();
        EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
    }

    // Two voids of one colour, apart: rings, and accepted.
    std::vector<tin_point> p = pts;
    std::vector<tin_line> lines;
    close_ring(lines, outline, 1);
    for (double x0 : {10.0, 70.0}) {
        std::vector<tin_point> hole = {{x0, 10, 0}, {x0 + 20, 10, 0}, {x0 + 10, 30, 0}};
        p.insert(p.end(), hole.begin(), hole.end());
        close_ring(lines, hole, 2);
    }
    s.take();
    tt::Run r = tt::run(p, lines, 2);
    EXPECT_EQ(r.result, 0) << s.take();
    EXPECT_FALSE(r.tris.empty());
}

}  // namespace
