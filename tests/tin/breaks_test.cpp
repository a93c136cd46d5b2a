// Break lines: constraint edges with the area on both sides, kept as triangle edges; the preparation joins drawn ones
// to the survey (vertices, crossings, cuts at the outline) and refuses heights that do not agree.  Networks are
// compared with CGAL's constrained Delaunay triangulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
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

// The constrained Delaunay triangulation of the points and segments as drawn (crossing segments are split by the other
// program itself), its faces whose centroid `keep` takes, as triples of the network's points.
std::set<Tri3> independent(const tt::Run &r, const std::vector<tin_point> &pts,
                           const std::vector<tin_line> &segs, const Keep &keep)
{
    CDT cdt;
    for (const tin_point &p : pts)
        cdt.insert(K::Point_2(p.x, p.y));
    for (const tin_line &l : segs) {
        // copies: the record is packed, and Point_2 takes references
        double x1 = l.x1, y1 = l.y1, x2 = l.x2, y2 = l.y2;
        cdt.insert_constraint(K::Point_2(x1, y1), K::Point_2(x2, y2));
    }
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

// The preparation, then the triangulation of what it gives.
struct Prepared { int prepared = -1; std::vector<tin_point> pts; std::vector<tin_line> lines; tt::Run run; };

Prepared prepare_and_run(const std::vector<tin_point> &pts, const std::vector<tin_line> &lines, int16_t groups)
{
    Prepared p;
    p.prepared = tt::prepare(pts, lines, &p.pts, &p.lines);
    if (p.prepared == 0)
        p.run = tt::run(p.pts, p.lines, groups);
    return p;
}

bool everywhere(double, double) { return true; }

// ---- break edges given to the library as they are ----------------------

// A closed ring of break lines with one point inside, filled from the sides' second search alone; break lines need not
// close, and meet an outline at its corners.
TEST(BreakEdges, BothSidesOfARingAreFilledAndOpenEndsAreAllowed)
{
    tt::Listen s;
    std::vector<tin_point> sq = {{0, 0, 5}, {100, 0, 5}, {100, 100, 5}, {0, 100, 5}};
    std::vector<tin_point> pts = sq;
    for (tin_point p : {tin_point{50, 50, 9}, {50, -3, 1}, {103, 50, 1}, {50, 103, 1}, {-3, 50, 1},
                        {-40, -40, 0}, {140, -40, 0}, {140, 140, 0}, {-40, 140, 0}})
        pts.push_back(p);
    std::vector<tin_line> ring = tt::lines_through(sq, TIN_BREAK);
    tt::Run r = tt::run(pts, ring, 0);
    ASSERT_EQ(r.result, 0) << s.take();
    int inside = 0;
    for (const tt::Tri &t : r.tris) {
        bool in = r.pts[t.a].x + r.pts[t.b].x + r.pts[t.c].x > 0;
        for (int v : {t.a, t.b, t.c})
            in = in && r.pts[v].x >= 0 && r.pts[v].x <= 100 && r.pts[v].y >= 0 && r.pts[v].y <= 100;
        inside += in;
    }
    EXPECT_EQ(inside, 4);
    int64_t area2 = 0;
    EXPECT_EQ(tt::check_network(r, &area2), "");
    EXPECT_EQ(area2, 2 * 180 * 180);        // the hull: the square from -40 to 140
    EXPECT_TRUE(ours(r) == independent(r, pts, ring, everywhere));

    // an open break line inside an outline from one of its corners, cut at
    // the survey point (0, 0) it passes over, whatever its height
    std::vector<tin_point> out = {{-40, -40, 0}, {140, -40, 0}, {140, 140, 0}, {-40, 140, 0}};
    std::vector<tin_line> lines = tt::lines_through(out, 1);
    lines.push_back(tt::line_of(out[0], {50, 50, 9}, TIN_BREAK));
    lines.push_back(tt::line_of({50, 50, 9}, {100, 0, 5}, TIN_BREAK));
    tt::Run o = tt::run(pts, lines, 1);
    ASSERT_EQ(o.result, 0) << s.take();
    EXPECT_EQ(kept_as_edges(o, lines, everywhere), "");
    EXPECT_EQ(s.take().find("warning"), std::string::npos);
    EXPECT_EQ(tt::check_network(o, &area2), "");
    EXPECT_EQ(area2, 2 * 180 * 180);
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
    std::vector<tin_line> lines = tt::lines_through({pts.begin(), pts.begin() + 4}, 1);
    std::vector<tin_point> p3 = pts;
    p3.push_back({10, 4, 3});           // on the side x = 10 at another height
    lines.push_back(tt::line_of({2, 8, 0}, {10, 4, 3}, TIN_BREAK));
    r = tt::run(p3, lines, 1);
    EXPECT_EQ(r.result, 1);
    EXPECT_NE(s.take().find("error: a break line crosses LINEs of colour 1 at (10, 4) without a point there"),
              std::string::npos);
}

// ---- drawn break lines: the preparation and the network -----------------

// Sites of an outline, two voids and crossing break lines, prepared and triangulated, against CGAL's triangulation of
// the same points and segments: all of them, the break lines alone (the whole hull), and the rings alone.
TEST(BreakSite, MatchesAnIndependentTriangulationAndDenseCrossingsGiveOneLayer)
{
    tt::Listen s;
    enum { ALL, BREAKS, RINGS };
    for (unsigned seed : {41u, 42u, 43u, 44u})
        for (int mode : {ALL, BREAKS, RINGS}) {
            tt::Site site = tt::break_site(seed, 1500);
            std::vector<tin_line> drawn = site.drawn(mode != BREAKS, mode != RINGS);
            Prepared p = prepare_and_run(site.pts, drawn, mode == BREAKS ? 0 : 3);
            ASSERT_EQ(p.prepared, 0) << s.take();
            ASSERT_EQ(p.run.result, 0) << s.take();
            EXPECT_EQ(s.take().find("error"), std::string::npos);
            Keep area = [&](double x, double y) { return mode == BREAKS || site.in_area(x, y); };

            std::vector<tin_point> vertices = site.pts;
            for (const tin_line &l : drawn)
                if (l.group == TIN_BREAK) {
                    vertices.push_back({l.x1, l.y1, l.z1});
                    vertices.push_back({l.x2, l.y2, l.z2});
                }
            std::set<Tri3> mine = ours(p.run), theirs = independent(p.run, vertices, drawn, area);
            EXPECT_EQ(mine.size(), p.run.tris.size()) << "seed " << seed;
            EXPECT_TRUE(mine == theirs) << "seed " << seed << " mode " << mode << ": ours "
                                        << mine.size() << ", theirs " << theirs.size();
            EXPECT_EQ(kept_as_edges(p.run, drawn, area), "") << "seed " << seed;
            // some break lines cross each other, some leave the area
            if (mode != RINGS) {
                EXPECT_GT(p.lines.size(), drawn.size() + 10);
                EXPECT_GT(p.pts.size(), site.pts.size() + 30);
            }
        }

    // Hundreds of wavy break lines crossing at shallow angles, often three near one point: the network still covers
    // the hull once and keeps every piece (a search over both sides at once laid triangles over each other here).
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> u(0, 10000);
    std::vector<tin_point> pts;
    for (int i = 0; i < 2000; i++) {
        double x = std::round(u(gen)), y = std::round(u(gen));
        pts.push_back({x, y, 100 + 0.01 * x});
    }
    std::vector<tin_line> lines;
    for (int k = 0; k < 600; k++) {
        double y0 = 10000.0 * (k + 0.5) / 600;
        for (int i = 0; i < 10; i++) {
            double x1 = 100 + 980.0 * i, x2 = x1 + 980;
            lines.push_back(tt::line_of({x1, y0 + 20 * std::sin(x1 / 300 + k), 100 + 0.01 * x1},
                                        {x2, y0 + 20 * std::sin(x2 / 300 + k), 100 + 0.01 * x2}, TIN_BREAK));
        }
    }
    Prepared p = prepare_and_run(pts, lines, 0);
    ASSERT_EQ(p.prepared, 0) << s.take();
    ASSERT_EQ(p.run.result, 0) << s.take();
    const std::vector<tin_point> &q = p.run.pts;
    auto orient = [&](int a, int b, int c) {
        return (q[b].x - q[a].x) * (q[c].y - q[a].y) - (q[b].y - q[a].y) * (q[c].x - q[a].x);
    };
    std::map<std::pair<int, int>, std::vector<int>> third;     // edge -> third corners
    for (const tt::Tri &t : p.run.tris) {
        int v[3] = {t.a, t.b, t.c};
        for (int k = 0; k < 3; k++)
            third[{std::min(v[k], v[(k + 1) % 3]), std::max(v[k], v[(k + 1) % 3])}].push_back(v[(k + 2) % 3]);
    }
    int doubled = 0;
    for (auto &kv : third) {
        doubled += kv.second.size() > 2 ||
                   (kv.second.size() == 2 && (orient(kv.first.first, kv.first.second, kv.second[0]) > 0) ==
                                                 (orient(kv.first.first, kv.first.second, kv.second[1]) > 0));
    }
    EXPECT_EQ(doubled, 0);
    // one layer over a disc: faces = 2 points - 2 - edges on the border
    size_t border = 0;
    for (auto &kv : third)
        border += kv.second.size() == 1;
    EXPECT_EQ(p.run.tris.size() + 2 + border, 2 * q.size());
    // every piece is an edge
    size_t missing = 0;
    for (const tin_line &l : p.lines) {
        int a = point_at(p.run, l.x1, l.y1, 0), b = point_at(p.run, l.x2, l.y2, 0);
        missing += a < 0 || b < 0 || !third.count({std::min(a, b), std::max(a, b)});
    }
    EXPECT_EQ(missing, 0u);
    EXPECT_GT(p.lines.size(), 10000u);     // many crossings
}

// Where break lines cross or meet, or cross the outline, heights must agree; a survey point they pass over overrules
// them (one warning counts those more than eps apart).  Accepted: the pieces, heights, and edges.
TEST(BreakLines, HeightsThatDisagreeAreRefusedAndLinesAreCutAtTheOutlineAndVoids)
{
    tt::Listen s;
    std::vector<tin_point> corners = {{0, 0, 10}, {10, 0, 10}, {10, 10, 10}, {0, 10, 10}};
    auto b = [](tin_point u, tin_point v) { return tt::line_of(u, v, TIN_BREAK); };
    struct Case {
        std::vector<tin_point> extra;
        std::vector<tin_line> lines;
        bool outline;                   // with the corners' ring as outline
        std::string message;            // refused when it starts with "error"
        size_t pieces;                  // accepted: how many lines come out
        std::vector<tin_point> heights; // accepted: the network's height there
    } cases[] = {
        {{}, {b({1, 1, 1}, {9, 9, 5}), b({1, 9, 4}, {9, 1, 4})}, false,
         "error: break lines cross at (5, 5) at heights 3 and 4: where break lines cross or meet they "
         "must agree in height", 0, {}},
        // at equal heights: a point at the crossing, four pieces
        {{}, {b({1, 1, 1}, {9, 9, 7}), b({1, 9, 4}, {9, 1, 4})}, false, "", 4, {{5, 5, 4}}},
        {{}, {b({1, 1, 1}, {5, 5, 2}), b({5, 5, 6}, {9, 2, 1})}, false,
         "error: break lines meet at (5, 5) at heights 6 and 2", 0, {}},
        // a vertex on the inside of another line, at its height there: a T
        {{}, {b({1, 1, 1}, {9, 9, 9}), b({5, 5, 5}, {9, 2, 1})}, false, "", 3, {{5, 5, 5}}},
        {{}, {b({1, 1, 1}, {9, 9, 9}), b({5, 5, 8}, {9, 2, 1})}, false,
         "error: break lines meet at (5, 5) at heights 5 and 8", 0, {}},
        // a vertex and a line passing over survey points at other heights
        {{{1, 1, 30}, {5, 5, 31}}, {b({1, 1, 1}, {9, 9, 9})}, false,
         "warning: 2 break line points take the height of the survey point they lie on (a difference "
         "over 1e-08); the first at (1, 1): 1 becomes 30", 0, {{1, 1, 30}, {5, 5, 31}}},
        // within eps they agree: no warning
        {{{1, 1, 1 + 1e-10}}, {b({1, 1, 1}, {9, 9, 9})}, false, " - points number= 6 ; triangles number= 6",
         0, {}},
        {{}, {b({5, 5, 10}, {15, 5, 20})}, true,
         "error: a break line crosses LINEs of colour 1 at (10, 5) at height 15, where the LINEs are at 10: "
         "it must meet them at their height", 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<tin_point> pts = corners;
        pts.insert(pts.end(), c.extra.begin(), c.extra.end());
        std::vector<tin_line> lines = c.outline ? tt::lines_through(corners, 1) : std::vector<tin_line>{};
        lines.insert(lines.begin(), c.lines.begin(), c.lines.end());
        s.take();
        Prepared p = prepare_and_run(pts, lines, c.outline ? 1 : 0);
        std::string out = s.take();
        if (c.message.rfind("error", 0) == 0) {
            EXPECT_EQ(p.prepared, 1);
            EXPECT_NE(out.find(c.message), std::string::npos) << out;
            continue;
        }
        ASSERT_EQ(p.prepared, 0) << out;
        ASSERT_EQ(p.run.result, 0) << out;
        EXPECT_EQ(out.find("warning") != std::string::npos, c.message.rfind("warning", 0) == 0) << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_TRUE(c.pieces == 0 || p.lines.size() == c.pieces) << p.lines.size();
        EXPECT_EQ(kept_as_edges(p.run, p.lines, everywhere), "");
        for (const tin_point &h : c.heights) {
            int at = point_at(p.run, h.x, h.y);
            ASSERT_GE(at, 0);
            EXPECT_EQ(p.run.pts[at].z, h.z);
            for (const tin_point &corner : p.run.raw)    // the network has one height there
                if (corner.x == h.x && corner.y == h.y) {
                    EXPECT_EQ(corner.z, h.z);
                }
        }
    }

    // A break line running out of the outline and through a void is cut at their LINEs: its parts outside the area are
    // gone, the cut points are vertices of both, and a break line drawn twice counts once.
    std::vector<tin_point> pts = {{0, 0, 10}, {20, 0, 10}, {20, 20, 10}, {0, 20, 10},
                                  {8, 8, 10}, {12, 8, 10}, {12, 12, 10}, {8, 12, 10},
                                  {3, 15, 10}, {17, 4, 10}, {4, 3, 10}, {16, 17, 10}};
    std::vector<tin_line> lines = tt::lines_through({pts.begin(), pts.begin() + 4}, 1);
    for (const tin_line &l : tt::lines_through({pts.begin() + 4, pts.begin() + 8}, 2))
        lines.push_back(l);
    tin_line across = tt::line_of({-5, 10, 10}, {25, 10, 10}, TIN_BREAK);
    lines.push_back(across);
    Prepared once = prepare_and_run(pts, lines, 2);
    ASSERT_EQ(once.prepared, 0) << s.take();
    ASSERT_EQ(once.run.result, 0) << s.take();
    // pieces (0,10)-(8,10) and (12,10)-(20,10) only
    std::vector<tin_line> pieces;
    for (const tin_line &l : once.lines)
        if (l.group == TIN_BREAK)
            pieces.push_back(l);
    ASSERT_EQ(pieces.size(), 2u);
    for (const tin_line &l : pieces) {
        double a = l.x1, b = l.x2;       // copies of the packed fields
        EXPECT_TRUE(std::min(a, b) == 0 || std::min(a, b) == 12);
        EXPECT_EQ(std::max(a, b) - std::min(a, b), 8);
    }
    Keep area = [&](double x, double y) {
        return x > 0 && x < 20 && y > 0 && y < 20 && !(x > 8 && x < 12 && y > 8 && y < 12);
    };
    EXPECT_EQ(kept_as_edges(once.run, {across}, area), "");
    for (const tt::Tri &t : once.run.tris)
        for (int v : {t.a, t.b, t.c})
            EXPECT_TRUE(once.run.pts[v].x >= 0 && once.run.pts[v].x <= 20);
    int64_t area2 = 0;
    EXPECT_EQ(tt::check_network(once.run, &area2), "");
    EXPECT_EQ(area2, 2 * (400 - 16));

    lines.push_back(tt::line_of({25, 10, 10}, {-5, 10, 10}, TIN_BREAK));
    Prepared twice = prepare_and_run(pts, lines, 2);
    ASSERT_EQ(twice.prepared, 0);
    EXPECT_EQ(twice.lines.size(), once.lines.size());
    EXPECT_EQ(twice.run.raw.size(), once.run.raw.size());
    EXPECT_TRUE(ours(twice.run) == ours(once.run));

    // without break lines the preparation changes nothing
    lines.resize(8);
    Prepared none = prepare_and_run(pts, lines, 2);
    ASSERT_EQ(none.prepared, 0);
    ASSERT_EQ(none.pts.size(), pts.size());
    ASSERT_EQ(none.lines.size(), lines.size());
    EXPECT_EQ(std::memcmp(none.pts.data(), pts.data(), pts.size() * sizeof(tin_point)), 0);
    EXPECT_EQ(std::memcmp(none.lines.data(), lines.data(), lines.size() * sizeof(tin_line)), 0);
}

}  // namespace
