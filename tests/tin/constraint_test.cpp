// Constraint lines: building and splitting the edges, the inside test, the refusal of edges that cannot outline an
// area, and the accelerations on and off.  (Whole networks against CGAL: breaks_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "tin_check.h"

namespace {

tin_line line(double x1, double y1, double z1, double x2, double y2, double z2, int16_t g)
{
    return tt::line_of({x1, y1, z1}, {x2, y2, z2}, g);
}

// The library's set-up of constraint edges as the driver runs it, kept alive for inspection.
struct ConsSetup {
    std::vector<tin_point> p;
    std::vector<tin_edge> buf;
    std::vector<int32_t> angles;
    int result;
    tin_box *boxes;     // this set-up's own storage (several may be alive)
    uint8_t *ends;
    ConsSetup(std::vector<tin_point> pts, const std::vector<tin_line> &lines, int16_t groups, double tol = 1e-6)
    {
        int32_t n = (int32_t)pts.size();
        tin.eps = tol;
        tin.eps2 = tol * tol;
        tin_sort_points(&n, pts.data());
        pts.resize(n);
        p = pts;
        buf.resize(5 * n + 8);
        for (auto &e : buf) e.flag = 0;
        angles.assign(n, 0);
        tin.tri = buf.data();
        tin.pangle = angles.data();
        tin.edge_cap = (int32_t)buf.size();
        tin.last_edge = -1;
        tin.ngroups = groups;
        result = tin_build_constraints((int32_t)lines.size(), lines.data(), n, p.data())
                 || tin_split_constraints(n, p.data());
        boxes = tin.minmax_cont;
        ends = tin.cons_end;
        qsort(tin.tri, tin.ncons, sizeof(tin_edge), tin_edge_cmp);
        for (int e = 0; e < tin.ncons; e++)
            tin.cons_end[tin.tri[e].u] = tin.cons_end[tin.tri[e].v] = 1;
        tin_close_outside_points(n, p.data());
        tin_preset_boundary_angles(p.data());
    }
    ~ConsSetup()
    {
        free(boxes);
        free(ends);
        tin.minmax_cont = nullptr;
        tin.cons_end = nullptr;
        tin.tri = nullptr;
        tin.pangle = nullptr;
        tin.ncons = 0;
    }
    int index(double x, double y) const
    {
        for (size_t i = 0; i < p.size(); i++)
            if (p[i].x == x && p[i].y == y) return (int)i;
        return -1;
    }
    bool has_edge(int a, int b) const
    {
        for (int e = 0; e < tin.ncons; e++)
            if ((tin.tri[e].u == a && tin.tri[e].v == b) || (tin.tri[e].u == b && tin.tri[e].v == a))
                return true;
        return false;
    }
};

// Line ends match survey points in plan; the lines that match none are
// skipped, and counted in one warning that names the first.
TEST(Constraints, EndsMatchInPlanAndSkippedLinesAreReported)
{
    tt::Listen s;
    ConsSetup st({{0, 0, 1}, {10, 0, 1}, {10, 10, 1}},
             {line(0, 0, 1, 1e-7, 1e-7, 1, 1),        // no length in plan
              line(0, 0, 0, 10, 0, 0, 1),             // drawn at elevation 0: kept
              line(0, 0, 1, 7, 7, 1, 1),              // end on no point
              line(10, 0, 1, 10, 10, 1, 1)},
             1);
    EXPECT_EQ(st.result, 0);
    ASSERT_EQ(tin.ncons, 2);
    EXPECT_TRUE(st.has_edge(st.index(0, 0), st.index(10, 0)));
    EXPECT_TRUE(st.has_edge(st.index(10, 0), st.index(10, 10)));
    // a warning, no failure
    EXPECT_EQ(s.take(),
              "warning: 2 of 4 constraint lines skipped (an end on no survey point in "
              "plan, or no length); the first from (0, 0) to (1e-07, 1e-07)");
}

// A line whose ends lie more than eps apart but both within eps of one survey
// point: lpp meets two equal points and the call fails with " LPP ".
TEST(Constraints, LppFailureHolesAloneAndPointsSplittingALineWhereTheirHeightFits)
{
    tt::Listen s;
    // M = 10000: eps = 1e-4; the ends are 1.5e-4 apart, the point 0.8e-4 and 0.7e-4 from them
    std::vector<tin_point> pts = {{10000.00008, 0, 0}, {10010, 0, 0}, {10005, 7, 0}, {10005, -7, 0}};
    tt::Run r = tt::run(pts, {line(10000, 0, 0, 10000.00015, 0, 0, 1)}, 1);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.tris.size(), 0u);
    EXPECT_EQ(s.take(), "error: LPP ");

    // Holes alone leave nothing to triangulate, and that is no failure.
    std::vector<tin_point> hole = {{0, 0, 0}, {10, 0, 0}, {5, 8, 0}};
    r = tt::run({{0, 0, 0}, {10, 0, 0}, {5, 8, 0}, {5, 3, 0}, {20, 1, 0}, {-7, 9, 0}}, tt::lines_through(hole, 2), 2);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.tris.size(), 0u);

    // sloped line z 0 -> 10 with points at a quarter and at a half, heights
    // on the slope; a third point on it with a wrong height does not split
    ConsSetup two({{0, 0, 0}, {2, 0, 2.5}, {4, 0, 5}, {3, 0, 9}, {8, 0, 10}, {4, 4, 0}},
              {line(0, 0, 0, 8, 0, 10, 1)}, 1);
    EXPECT_EQ(tin.ncons, 3);
    EXPECT_TRUE(two.has_edge(two.index(0, 0), two.index(2, 0)));
    EXPECT_TRUE(two.has_edge(two.index(2, 0), two.index(4, 0)));
    EXPECT_TRUE(two.has_edge(two.index(4, 0), two.index(8, 0)));

    double e = 1e-6;
    ConsSetup level({{0, 0, 10}, {5, 5, 10}, {10, 10, 10}, {3, 9, 0}},
                {line(0, 0, 10, 10, 10, 10, 1)}, 1, e);
    EXPECT_EQ(tin.ncons, 2);
    ConsSetup above({{0, 0, 10}, {5, 5, 10 + e / 2}, {10, 10, 10}, {3, 9, 0}},
                {line(0, 0, 10, 10, 10, 10, 1)}, 1, e);
    EXPECT_EQ(tin.ncons, 1);
    // a vertical line (dx = 0) uses y for the slope
    ConsSetup vert({{0, 0, 0}, {0, 3, 3}, {0, 6, 6}, {5, 1, 0}}, {line(0, 0, 0, 0, 6, 6, 1)}, 1);
    EXPECT_EQ(tin.ncons, 2);
}

TEST(Constraints, RayTestCountsVerticesOnceWhereTheOutlinePassesOn)
{
    // a notched outline: (4,2) is a local bottom of the top side, the bottom side is horizontal
    std::vector<tin_point> pts = {{0, 0, 0}, {6, 0, 0}, {6, 4, 0}, {4, 2, 0}, {2, 4, 0}, {0, 4, 0}};
    ConsSetup st(pts, tt::lines_through(pts, 1), 1);
    EXPECT_TRUE(tin_inside_group(1, 2, 1));     // level with the notch's bottom
    EXPECT_TRUE(tin_inside_group(5, 2, 1));
    EXPECT_FALSE(tin_inside_group(4.5, 3.5, 1)); // in the notch
    EXPECT_TRUE(tin_inside_group(3, 1, 1));
    EXPECT_FALSE(tin_inside_group(7, 1, 1));
    EXPECT_FALSE(tin_inside_group(3, -1, 1));
    // on the horizontal bottom side, off its corners: the ray meets only the
    // corner (6, 0), as the lower end of its edge, so it does not count
    EXPECT_FALSE(tin_inside_group(1, 0, 1));
    // a diamond: the ray through its right corner passes on
    std::vector<tin_point> diamond = {{0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
    ConsSetup d(diamond, tt::lines_through(diamond, 1), 1);
    EXPECT_TRUE(tin_inside_group(-0.5, 0, 1));
    EXPECT_TRUE(tin_inside_group(0.5, 0, 1));

    // The slab index answers as the walk over all edges: a jagged outline of 300 corners on a lattice and two holes,
    // asked at random places, at corners' heights and at corners
    std::mt19937_64 g(21);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<tin_point> jp;
    std::vector<tin_line> jl;
    auto jagged = [&](double cx, double cy, double r, int k, int16_t grp) {
        std::vector<tin_point> v;
        for (int i = 0; i < k; i++) {
            double t = 2 * M_PI * i / k, rr = r * (0.6 + 0.4 * u(g));
            v.push_back({std::round(cx + rr * std::cos(t)), std::round(cy + rr * std::sin(t)), 0});
        }
        jp.insert(jp.end(), v.begin(), v.end());
        for (const tin_line &l : tt::lines_through(v, grp))
            jl.push_back(l);
    };
    jagged(0, 0, 1000, 300, 1);
    jagged(-300, 100, 120, 24, 2);
    jagged(350, -200, 150, 40, 3);
    ConsSetup jag(jp, jl, 3);
    ASSERT_EQ(jag.result, 0);
    std::vector<tin_point> asks;
    for (int i = 0; i < 4000; i++)
        asks.push_back({-1100 + 2200 * u(g), -1100 + 2200 * u(g), 0});
    for (const tin_point &c : jag.p) {
        asks.push_back({c.x - 700 * u(g), c.y, 0});
        asks.push_back(c);
    }
    std::vector<int> indexed;
    for (const tin_point &q : asks)
        for (int grp = 1; grp <= 3; grp++)
            indexed.push_back(tin_inside_group(q.x, q.y, grp));
    tin_area_index_free();
    size_t i = 0, inside = 0;
    for (const tin_point &q : asks)
        for (int grp = 1; grp <= 3; grp++, i++) {
            ASSERT_EQ(indexed[i], tin_inside_group(q.x, q.y, grp)) << q.x << "," << q.y << " group " << grp;
            inside += indexed[i];
        }
    EXPECT_GT(inside, asks.size() / 4);

    // Closing the points outside decides most of them by cells no edge comes near, each as its own test
    // would: lattice points (many level with corners) and points between, over the same rings
    std::vector<tin_point> many = jp;
    for (int i = 0; i < 20000; i++)
        many.push_back({std::round(-1100 + 2200 * u(g)) + (i % 2) * u(g), std::round(-1100 + 2200 * u(g)), 0});
    ConsSetup cl(many, jl, 3);
    ASSERT_EQ(cl.result, 0);
    size_t closed = 0;
    for (size_t k = 0; k < cl.p.size(); k++)
        if (!tin.cons_end[k]) {
            ASSERT_EQ(cl.angles[k] == FULL_TURN, tin_outside_area(cl.p[k].x, cl.p[k].y)) << cl.p[k].x << "," << cl.p[k].y;
            closed += cl.angles[k] == FULL_TURN;
        }
    EXPECT_GT(closed, cl.p.size() / 4);
}

// The accelerations only speed the search up: every input gives the same
// corners in the same order with any of them switched off.
TEST(Accelerations, SameTrianglesInTheSameOrderOnAndOff)
{
    tt::Listen s;
    struct Case { std::vector<tin_point> pts; std::vector<tin_line> lines; int16_t groups; int32_t full; };
    std::vector<Case> cases;
    cases.push_back({tt::random_points(3000, 20000, 3), {}, 0, 0});
    cases.push_back({tt::random_points(600, 5000, 4, -700000, 300000), {}, 0, 1});
    std::vector<tin_point> grid, sheared, clusters;
    for (int i = 0; i < 30; i++)
        for (int j = 0; j < 30; j++) {
            grid.push_back({(double)i, (double)j, 0});              // cocircular ties
            sheared.push_back({i * 5.0 + (j % 2) * 2.5, j * 5.0, (double)(i + j)});
        }
    cases.push_back({grid, {}, 0, 0});
    cases.push_back({sheared, {}, 0, 0});
    std::mt19937 gen(9);
    std::normal_distribution<double> spread(0, 15);
    for (int c = 0; c < 6; c++)
        for (int i = 0; i < 400; i++)                              // dense clumps far apart
            clusters.push_back({std::round(c * 3000 + spread(gen)),
                                std::round((c % 2) * 2000 + spread(gen)), (double)c});
    cases.push_back({clusters, {}, 0, 0});
    // an outline and two voids
    tt::Site site = tt::break_site(31, 2000);
    cases.push_back({site.pts, site.drawn(true, false), 3, 0});
    // break lines, with the outline and voids and alone: the second side of
    // a break line is searched from a copy of its edge in the buffer
    tt::Site breaks = tt::break_site(45, 2000);
    for (int16_t groups : {3, 0}) {
        Case k = {{}, {}, groups, 0};
        ASSERT_EQ(tt::prepare(breaks.pts, breaks.drawn(groups > 0, true), &k.pts, &k.lines), 0);
        cases.push_back(k);
    }

    for (size_t c = 0; c < cases.size(); c++) {
        const Case &k = cases[c];
        tin_opts.use_grid = tin_opts.use_bands = tin_opts.use_sides = tin_opts.use_open = tin_opts.use_hints = 0;
        tt::Run plain = tt::run(k.pts, k.lines, k.groups, k.full);
        ASSERT_EQ(plain.result, 0) << "case " << c;
        ASSERT_GT(plain.tris.size(), k.pts.size() / 2) << "case " << c;
        for (int mode = 1; mode <= 31; mode++) {
            int *flag[] = {&tin_opts.use_grid, &tin_opts.use_bands, &tin_opts.use_sides, &tin_opts.use_open,
                           &tin_opts.use_hints};
            for (int f = 0; f < 5; f++)
                *flag[f] = (mode >> f) & 1;
            tt::Run fast = tt::run(k.pts, k.lines, k.groups, k.full);
            ASSERT_EQ(plain.raw.size(), fast.raw.size()) << "case " << c << " mode " << mode;
            for (size_t i = 0; i < plain.raw.size(); i++) {
                const tin_point &a = plain.raw[i], &b = fast.raw[i];
                ASSERT_TRUE(a.x == b.x && a.y == b.y && a.z == b.z) << "case " << c << " mode " << mode << " at " << i;
            }
        }
    }
    tin_opts.use_grid = tin_opts.use_bands = tin_opts.use_sides = tin_opts.use_open = tin_opts.use_hints = 1;
}

tin_line seg(const tin_point &a, const tin_point &b, int16_t g) { return tt::line_of(a, b, g); }

// ---- rings: a refusal comes before the first triangle; a large valid
// outline passes whole, and a single fault far along it is still found ----

// A star of n corners on integer coordinates, the radius alternating by a
// thousandth: a zigzag outline, as surveyed, yet simple.
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

TEST(Rings, ALargeOutlinePassesOneFaultAlongItIsFoundAndTouchingRingsAreRefused)
{
    tt::Listen s;
    std::vector<tin_point> corners = star(20000);
    EXPECT_EQ(check(corners), 0) << s.take();
    EXPECT_EQ(s.take(), "");

    // One corner moved out beyond the far side: its two sides cross the outline there.
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

    // Through the library: the refusal comes before the first triangle.  (The
    // command passes the library's refusals on: tests/frame/outcome_test.cpp.)
    std::vector<tin_point> outline = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}};
    std::vector<tin_point> pts = outline;
    pts.push_back({50, 50, 0});
    struct Case {
        const char *what;
        std::vector<tin_point> extra_points;
        std::vector<tin_line> extra_lines;   // none: the extra points closed into a ring of `colour`
        const char *message;
        int16_t colour;
    } cases[] = {
        // a void corner on the outline's side, at a height the side does not
        // have there: the side is not cut, so the corner touches it
        {"touch", {{100, 40, 9}, {80, 30, 0}, {80, 50, 0}}, {},
         " LINEs of colours 1 and 2 cross at (100, 40)", 2},
        // the same corner at the side's height cuts the side: the two rings share a point
        {"shared", {{100, 40, 0}, {80, 30, 0}, {80, 50, 0}}, {},
         " LINEs of colours 1 and 2 meet at (100, 40)", 2},
        // a side folding back along itself
        {"fold", {{20, 20, 0}, {60, 20, 0}, {40, 20, 0}}, {},
         " LINEs of colour 3: 4 line ends meet at (40, 20)", 3},
        // a bow-tie: two sides cross between survey points
        {"bow-tie", {{20, 20, 0}, {60, 50, 0}, {60, 20, 0}, {20, 50, 0}}, {},
         " LINEs of colour 2 cross at (40, 35): outline and voids must not cross or touch", 2},
        // one line alone, as a break line drawn in a colour of its own
        {"open", {{20, 20, 0}, {30, 30, 0}}, {seg({20, 20, 0}, {30, 30, 0}, 2)},
         " LINEs of colour 2 do not close: an open end at (20, 20); outline and voids must be closed rings", 0},
        // an outline side drawn twice
        {"side twice", {}, {seg({0, 0, 0}, {100, 0, 0}, 1)}, " LINEs of colour 1: 3 line ends meet at (", 0},
        // a line and its way back: every end meets one other line, but
        // there is no inside, and the two edges lie on each other
        {"there and back", {{20, 20, 0}, {30, 30, 0}}, {},
         " LINEs of colour 2 run twice between (20, 20) and (30, 30)", 2},
        // one line drawn twice
        {"twice", {{20, 20, 0}, {30, 30, 0}},
         {seg({20, 20, 0}, {30, 30, 0}, 3), seg({20, 20, 0}, {30, 30, 0}, 3)},
         " LINEs of colour 3 run twice between (20, 20) and (30, 30)", 0},
    };
    for (const Case &c : cases) {
        std::vector<tin_point> p = pts;
        p.insert(p.end(), c.extra_points.begin(), c.extra_points.end());
        std::vector<tin_line> lines = tt::lines_through(outline, 1);
        for (const tin_line &l : c.colour ? tt::lines_through(c.extra_points, c.colour) : c.extra_lines)
            lines.push_back(l);
        s.take();
        tt::Run r = tt::run(p, lines, 3);
        EXPECT_EQ(r.result, 1) << c.what;
        EXPECT_TRUE(r.tris.empty()) << c.what;
        std::string out = s.take();
        EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
    }

    // Two voids of one colour, apart: rings, and accepted.
    std::vector<tin_point> p = pts;
    std::vector<tin_line> lines = tt::lines_through(outline, 1);
    for (double x0 : {10.0, 70.0}) {
        std::vector<tin_point> hole = {{x0, 10, 0}, {x0 + 20, 10, 0}, {x0 + 10, 30, 0}};
        p.insert(p.end(), hole.begin(), hole.end());
        for (const tin_line &l : tt::lines_through(hole, 2))
            lines.push_back(l);
    }
    s.take();
    tt::Run r = tt::run(p, lines, 2);
    EXPECT_EQ(r.result, 0) << s.take();
    EXPECT_FALSE(r.tris.empty());
}

}  // namespace
