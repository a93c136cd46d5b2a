// Break lines: constraint edges with the area on both sides.  The library
// keeps them as triangle edges and triangulates both their sides.  Networks
// are compared with an independent constrained Delaunay triangulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>

// header-only use: exact arithmetic from Boost, nothing to link
#define CGAL_DISABLE_GMP 1
#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>

#include "tin_check.h"

namespace {

typedef CGAL::Exact_predicates_inexact_constructions_kernel K;
typedef CGAL::Triangulation_vertex_base_with_info_2<int, K> Vb;
typedef CGAL::Constrained_triangulation_face_base_2<K> Fb;
typedef CGAL::Triangulation_data_structure_2<Vb, Fb> Tds;
typedef CGAL::Constrained_Delaunay_triangulation_2<K, Tds, CGAL::Exact_predicates_tag> CDT;

typedef std::array<int, 3> Tri3;
typedef std::function<bool(double, double)> Keep;

// The network's point nearest to (x, y) within `tol` in plan, or -1.
int point_at(const tt::Run &r, double x, double y, double tol = 1e-6)
{
    auto lo = std::lower_bound(r.pts.begin(), r.pts.end(), x - tol,
                               [](const tin_point &p, double v) { return p.x < v; });
    int best = -1;
    double bd = tol;
    for (auto it = lo; it != r.pts.end() && it->x <= x + tol; ++it) {
        double d = std::hypot(it->x - x, it->y - y);
        if (d <= bd) {
            bd = d;
            best = (int)(it - r.pts.begin());
        }
    }
    return best;
}

std::set<Tri3> ours(const tt::Run &r)
{
    std::set<Tri3> out;
    for (const tt::Tri &t : r.tris) {
        Tri3 v = {t.a, t.b, t.c};
        std::sort(v.begin(), v.end());
        out.insert(v);
    }
    return out;
}

// The constrained Delaunay triangulation of the points and segments as
// drawn (crossing segments are split by the other program itself), its
// faces whose centroid `keep` takes, as triples of the network's points.
std::set<Tri3> independent(const tt::Run &r, const std::vector<tin_point> &pts,
                           const std::vector<tin_line> &segs, const Keep &keep)
{
    CDT cdt;
    for (const tin_point &p : pts)
        cdt.insert(K::Point_2(p.x, p.y));
    for (const tin_line &l : segs)
        cdt.insert_constraint(K::Point_2(l.x1, l.y1), K::Point_2(l.x2, l.y2));
    std::set<Tri3> out;
    for (auto f = cdt.finite_faces_begin(); f != cdt.finite_faces_end(); ++f) {
        double cx = 0, cy = 0;
        Tri3 v;
        for (int k = 0; k < 3; k++) {
            const K::Point_2 &p = f->vertex(k)->point();
            cx += p.x() / 3;
            cy += p.y() / 3;
            v[k] = point_at(r, p.x(), p.y());
        }
        if (!keep(cx, cy))
            continue;
        std::sort(v.begin(), v.end());
        out.insert(v);
    }
    return out;
}

// Every segment, cut at the network's points lying on it, is made of
// triangle edges where `keep` takes the part.  "" or the first part missing.
std::string kept_as_edges(const tt::Run &r, const std::vector<tin_line> &segs, const Keep &keep)
{
    std::set<std::pair<int, int>> edges;
    for (const tt::Tri &t : r.tris) {
        int v[3] = {t.a, t.b, t.c};
        for (int k = 0; k < 3; k++)
            edges.insert({std::min(v[k], v[(k + 1) % 3]), std::max(v[k], v[(k + 1) % 3])});
    }
    for (const tin_line &l : segs) {
        double dx = l.x2 - l.x1, dy = l.y2 - l.y1, len = std::hypot(dx, dy);
        std::vector<std::pair<double, int>> on;
        for (size_t i = 0; i < r.pts.size(); i++) {
            double t = ((r.pts[i].x - l.x1) * dx + (r.pts[i].y - l.y1) * dy) / (len * len);
            double off = std::fabs((r.pts[i].x - l.x1) * dy - (r.pts[i].y - l.y1) * dx) / len;
            if (off < 1e-6 && t > -1e-9 && t < 1 + 1e-9)
                on.push_back({t, (int)i});
        }
        std::sort(on.begin(), on.end());
        for (size_t k = 0; k + 1 < on.size(); k++) {
            const tin_point &a = r.pts[on[k].second], &b = r.pts[on[k + 1].second];
            if (!keep((a.x + b.x) / 2, (a.y + b.y) / 2))
                continue;
            if (!edges.count({std::min(on[k].second, on[k + 1].second),
                              std::max(on[k].second, on[k + 1].second)}))
                return "no edge from (" + std::to_string(a.x) + ", " + std::to_string(a.y) +
                       ") to (" + std::to_string(b.x) + ", " + std::to_string(b.y) + ")";
        }
    }
    return "";
}

bool everywhere(double, double) { return true; }

// ---- break edges given to the library as they are ----------------------

// Chains of break edges between survey points, none crossing another and
// no point on any: the network over the whole hull keeps each of them.
TEST(BreakEdges, AloneTheyAreKeptAndTheWholeHullIsTriangulated)
{
    tt::Listen s;
    for (unsigned seed : {3u, 4u, 5u}) {
        std::vector<tin_point> pts = tt::random_points(1200, 10000, seed);
        std::mt19937 gen(seed);
        std::vector<tin_line> breaks;
        auto crosses = [&](const tin_point &a, const tin_point &b) {
            for (const tin_line &l : breaks) {
                tin_point c = {l.x1, l.y1, 0}, d = {l.x2, l.y2, 0};
                int64_t o1 = tt::orient2(a, b, c), o2 = tt::orient2(a, b, d);
                int64_t o3 = tt::orient2(c, d, a), o4 = tt::orient2(c, d, b);
                bool shared = (a.x == c.x && a.y == c.y) || (a.x == d.x && a.y == d.y) ||
                              (b.x == c.x && b.y == c.y) || (b.x == d.x && b.y == d.y);
                if (!shared && (o1 >= 0) != (o2 >= 0) && (o3 >= 0) != (o4 >= 0))
                    return true;
                if (shared && o1 == 0 && o2 == 0)
                    return true;        // folding back along another
            }
            for (const tin_point &p : pts)      // no point on the segment
                if (tt::orient2(a, b, p) == 0 && !(p.x == a.x && p.y == a.y) && !(p.x == b.x && p.y == b.y)
                    && std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x)
                    && std::min(a.y, b.y) <= p.y && p.y <= std::max(a.y, b.y))
                    return true;
            return false;
        };
        for (int chain = 0; chain < 15; chain++) {
            size_t at = gen() % pts.size();
            for (int step = 0; step < 5; step++) {
                size_t best = at;
                double bd = 1e300;
                for (int tries = 0; tries < 40; tries++) {
                    size_t j = gen() % pts.size();
                    double d = std::hypot(pts[j].x - pts[at].x, pts[j].y - pts[at].y);
                    if (j != at && d < bd && d < 1500 && !crosses(pts[at], pts[j])) {
                        bd = d;
                        best = j;
                    }
                }
                if (best == at)
                    break;
                breaks.push_back(tt::line_of(pts[at], pts[best], TIN_BREAK));
                at = best;
            }
        }
        ASSERT_GT(breaks.size(), 30u);
        tt::Run r = tt::run(pts, breaks, 0);
        ASSERT_EQ(r.result, 0) << s.take();
        int64_t area2 = 0;
        EXPECT_EQ(tt::check_network(r, &area2, false), "");
        EXPECT_EQ(area2, tt::hull_area2(pts));
        EXPECT_EQ(kept_as_edges(r, breaks, everywhere), "");
        std::set<Tri3> mine = ours(r);
        EXPECT_EQ(mine.size(), r.tris.size());      // none twice
        EXPECT_TRUE(mine == independent(r, pts, breaks, everywhere)) << "seed " << seed;
    }
}

// A closed ring of break lines with one point inside: from every side the
// widest angle lies outside, so the inside is filled from the sides' second
// search alone.  Break lines also need not close, and meet an outline at
// its corners.
TEST(BreakEdges, BothSidesOfARingAreFilledAndOpenEndsAreAllowed)
{
    tt::Listen s;
    std::vector<tin_point> sq = {{0, 0, 5}, {100, 0, 5}, {100, 100, 5}, {0, 100, 5}};
    std::vector<tin_point> pts = sq;
    for (tin_point p : {tin_point{50, 50, 9}, {50, -3, 1}, {103, 50, 1}, {50, 103, 1}, {-3, 50, 1},
                        {-40, -40, 0}, {140, -40, 0}, {140, 140, 0}, {-40, 140, 0}})
        pts.push_back(p);
    std::vector<tin_line> ring;
    for (size_t i = 0; i < 4; i++)
        ring.push_back(tt::line_of(sq[i], sq[(i + 1) % 4], TIN_BREAK));
    tt::Run r = tt::run(pts, ring, 0);
    ASSERT_EQ(r.result, 0) << s.take();
    int inside = 0;
    for (const tt::Tri &t : r.tris)
        inside += r.pts[t.a].x + r.pts[t.b].x + r.pts[t.c].x > 0 &&
                  std::max({r.pts[t.a].x, r.pts[t.b].x, r.pts[t.c].x}) <= 100 &&
                  std::min({r.pts[t.a].y, r.pts[t.b].y, r.pts[t.c].y}) >= 0 &&
                  std::max({r.pts[t.a].y, r.pts[t.b].y, r.pts[t.c].y}) <= 100 &&
                  std::min({r.pts[t.a].x, r.pts[t.b].x, r.pts[t.c].x}) >= 0;
    EXPECT_EQ(inside, 4);
    int64_t area2 = 0;
    EXPECT_EQ(tt::check_network(r, &area2, false), "");
    EXPECT_EQ(area2, tt::hull_area2(pts));
    EXPECT_TRUE(ours(r) == independent(r, pts, ring, everywhere));

    // an open break line inside an outline, one end on an outline corner;
    // it passes over the survey point (0, 0), which cuts it there whatever
    // its height
    std::vector<tin_point> out = {{-40, -40, 0}, {140, -40, 0}, {140, 140, 0}, {-40, 140, 0}};
    std::vector<tin_line> lines;
    for (size_t i = 0; i < 4; i++)
        lines.push_back(tt::line_of(out[i], out[(i + 1) % 4], 1));
    lines.push_back(tt::line_of(out[0], {50, 50, 9}, TIN_BREAK));
    lines.push_back(tt::line_of({50, 50, 9}, {100, 0, 5}, TIN_BREAK));
    tt::Run o = tt::run(pts, lines, 1);
    ASSERT_EQ(o.result, 0) << s.take();
    EXPECT_EQ(kept_as_edges(o, lines, everywhere), "");
    EXPECT_EQ(s.take().find("warning"), std::string::npos);
    EXPECT_EQ(tt::check_network(o, &area2, false), "");
    EXPECT_EQ(area2, tt::hull_area2(out));
}

TEST(BreakEdges, CrossingOrTouchingAnyConstraintIsRefused)
{
    tt::Listen s;
    std::vector<tin_point> pts = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {5, 5, 0}, {2, 8, 0}};
    // two break edges crossing at (5, 5) without a point there
    std::vector<tin_point> p2 = {{0, 0, 0}, {10, 10, 0}, {10, 0, 0}, {0, 10, 0}, {3, 7, 0}};
    tt::Run r = tt::run(p2, {tt::line_of(p2[0], p2[1], TIN_BREAK), tt::line_of(p2[2], p2[3], TIN_BREAK)}, 0);
    EXPECT_EQ(r.result, 1);
    EXPECT_TRUE(r.tris.empty());
    EXPECT_NE(s.take().find("error: break lines cross at (5, 5) without a point there"), std::string::npos);
    // a break edge ending on an outline side, which is not cut there
    std::vector<tin_line> lines;
    for (int i = 0; i < 4; i++)
        lines.push_back(tt::line_of(pts[i], pts[(i + 1) % 4], 1));
    std::vector<tin_point> p3 = pts;
    p3.push_back({10, 4, 3});           // on the side x = 10 at another height
    lines.push_back(tt::line_of({2, 8, 0}, {10, 4, 3}, TIN_BREAK));
    r = tt::run(p3, lines, 1);
    EXPECT_EQ(r.result, 1);
    EXPECT_NE(s.take().find("error: a break line crosses LINEs of colour 1 at (10, 4) without a point there"),
              std::string::npos);
}

}  // namespace
