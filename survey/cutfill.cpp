// cutfill.cpp -- the overlay of two triangulated surfaces in plan and the
// exact integral of their difference.
//
// Each pair of triangles whose plan interiors overlap gives a convex cell
// a ∩ b.  Inside it both surfaces are planes, so the depth d = ground -
// design is linear and its integral is the cell's area times the mean of d
// over a fan of triangles, exact to round-off.
//
// The corners of a cell are of three kinds, found by exact orientation
// tests on the input corners only (never on computed points):
//
//               a2
//              /  \              a = a0 a1 a2 and b = b0 b1 b2 overlap in
//     b0 -----x----x----- b2     a hexagon: its corners are the six
//         \  /      \  /         crossings x, where an a-edge cuts a
//          x          x          b-edge properly.  Move a2 down inside b
//         /  \      /  \         and it becomes a corner of the cell in
//     a0 -----x----x----- a1     place of the two crossings beside it.
//              \  /              The same holds for b's corners in a.
//               b1
//
// Every computed coordinate and height depends only on the input points
// that define it, taken in a fixed order (an edge's ends sorted by x, then
// y): a crossing, or a corner lying on the other surface's edge, comes out
// bit for bit the same in every cell that has it.  Neighbouring cells
// therefore share their corners exactly, and the zero line and band edges
// computed along a shared side meet end to end.
//
// Tolerance: one only.  A depth within 64 ulps of the largest height in
// play counts as lying on the nearest band level (zero included), so that
// two triangulations of one plane (a design that keeps the ground outside
// its works, triangulated differently) give no cut and fill of round-off
// size, and no zero line or band edge wandering across them.  It moves a
// volume by at most that depth times the area: round-off again.
#include "cutfill.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <memory>

#include "cutfill_cell.h"
#include "orient.h"

namespace velmora {
namespace {

using namespace cf;

// ---- grid index ---------------------------------------------------------

// Calls visit(i, j) for every triangle i of q and j of s whose bounding
// boxes overlap with positive area (only j > i when q and s are one
// surface): i ascending and, for each i, j ascending, whatever the grid.
// The grid has about one cell per triangle of s; `plain` makes it a single
// cell, which tests every pair.
template <class Visit>
void each_pair(const std::vector<Tri> &q, const std::vector<Tri> &s, bool same, bool plain, Visit visit)
{
    if (q.empty() || s.empty())
        return;
    double x0 = s[0].x0, y0 = s[0].y0, x1 = s[0].x1, y1 = s[0].y1;
    for (const Tri &t : s) {
        x0 = std::min(x0, t.x0);
        y0 = std::min(y0, t.y0);
        x1 = std::max(x1, t.x1);
        y1 = std::max(y1, t.y1);
    }
    double w = x1 - x0, h = y1 - y0;
    double cell = std::sqrt(w * h / double(s.size())) * 1.5;
    long nx = 1, ny = 1;
    if (!plain && cell > 0) {
        nx = std::max(1L, std::min(long(w / cell) + 1, 1L << 14));
        ny = std::max(1L, std::min(long(h / cell) + 1, 1L << 14));
        while (double(nx) * double(ny) > 4.0 * double(s.size()) + 16) {
            nx = (nx + 1) / 2;
            ny = (ny + 1) / 2;
        }
    }
    double fx = nx / (w > 0 ? w : 1), fy = ny / (h > 0 ? h : 1);
    auto col = [&](double x) { return std::min(nx - 1, std::max(0L, long((x - x0) * fx))); };
    auto row = [&](double y) { return std::min(ny - 1, std::max(0L, long((y - y0) * fy))); };

    std::vector<std::uint32_t> start(std::size_t(nx * ny) + 1, 0);
    for (const Tri &t : s)
        for (long r = row(t.y0); r <= row(t.y1); r++)
            for (long c = col(t.x0); c <= col(t.x1); c++)
                start[std::size_t(r * nx + c) + 1]++;
    for (std::size_t k = 1; k < start.size(); k++)
        start[k] += start[k - 1];
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1), items(start.back());
    for (std::size_t j = 0; j < s.size(); j++)
        for (long r = row(s[j].y0); r <= row(s[j].y1); r++)
            for (long c = col(s[j].x0); c <= col(s[j].x1); c++)
                items[fill[std::size_t(r * nx + c)]++] = std::uint32_t(j);

    std::vector<std::uint32_t> seen(s.size(), UINT32_MAX), cand;
    for (std::size_t i = 0; i < q.size(); i++) {
        const Tri &a = q[i];
        if (a.x1 <= x0 || a.x0 >= x1 || a.y1 <= y0 || a.y0 >= y1)
            continue;
        cand.clear();
        for (long r = row(a.y0); r <= row(a.y1); r++)
            for (long c = col(a.x0); c <= col(a.x1); c++) {
                std::size_t cellno = std::size_t(r * nx + c);
                for (std::uint32_t k = start[cellno]; k < start[cellno + 1]; k++) {
                    std::uint32_t j = items[k];
                    if (seen[j] == i || (same && j <= i))
                        continue;
                    seen[j] = std::uint32_t(i);
                    const Tri &b = s[j];
                    if (a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1)
                        cand.push_back(j);
                }
            }
        std::sort(cand.begin(), cand.end());
        for (std::uint32_t j : cand)
            visit(i, std::size_t(j));
    }
}

// ---- bands --------------------------------------------------------------

// The point of edge p-q where d reaches `level`, strictly between its ends;
// taken from the end that sorts first, so both cells along the edge agree.
CfVertex at_level(CfVertex p, CfVertex q, double level)
{
    if (q.x < p.x || (q.x == p.x && q.y < p.y))
        std::swap(p, q);
    double t = (level - p.d) / (q.d - p.d);
    return {p.x + t * (q.x - p.x), p.y + t * (q.y - p.y), p.z + t * (q.z - p.z), level};
}

// The part of the convex polygon c[0..n) where lo <= d <= hi; its number of
// corners (at most n + 2).
int slab(const CfVertex *c, int n, double lo, double hi, CfVertex *out)
{
    int m = 0;
    for (int i = 0; i < n; i++) {
        const CfVertex &p = c[i], &q = c[(i + 1) % n];
        if (lo <= p.d && p.d <= hi)
            out[m++] = p;
        if (p.d < q.d) {
            if (p.d < lo && lo < q.d)
                out[m++] = at_level(p, q, lo);
            if (p.d < hi && hi < q.d)
                out[m++] = at_level(p, q, hi);
        } else if (p.d > q.d) {
            if (p.d > hi && hi > q.d)
                out[m++] = at_level(p, q, hi);
            if (p.d > lo && lo > q.d)
                out[m++] = at_level(p, q, lo);
        }
    }
    return m;
}

// Twice the area and six times the integral of d of a convex polygon, by a
// fan from its first corner (coordinates taken from that corner, so that
// projected coordinates do not cancel).
void integrate(const CfVertex *c, int n, double &area, double &volume)
{
    double a2 = 0, v6 = 0;
    for (int k = 1; k + 1 < n; k++) {
        double cr = cross2(c[k].x - c[0].x, c[k].y - c[0].y, c[k + 1].x - c[0].x, c[k + 1].y - c[0].y);
        a2 += cr;
        v6 += cr * (c[0].d + c[k].d + c[k + 1].d);
    }
    area = a2 / 2;
    volume = v6 / 6;
}

// The prepared surfaces of a computation, kept for the map.
struct Work {
    Surface a, b;
    bool level = false;             // the design is the plane z = height
    double height = 0;
    double tol = 0;                 // depths this close to a level lie on it
    bool plain = false;
};

// Calls cell(corners, n) for every cell of the overlay, in the order of the
// ground's triangles and, for each, of the design's.
template <class Cell>
void each_cell(const Work &w, bool ordered, Cell cell)
{
    Corner c[16];
    CfVertex v[16];
    auto give = [&](int n) {
        for (int k = 0; k < n; k++) {
            double d = c[k].za - c[k].zb;
            v[k] = {c[k].x, c[k].y, c[k].za, std::fabs(d) <= w.tol ? 0.0 : d};
        }
        cell(v, n);
    };
    if (w.level) {
        for (const Tri &t : w.a.t) {
            for (int k = 0; k < 3; k++)
                c[k] = {t.p[k].x, t.p[k].y, t.p[k].z, w.height};
            give(3);
        }
        return;
    }
    each_pair(w.a.t, w.b.t, false, w.plain, [&](std::size_t i, std::size_t j) {
        int n = clip(w.a.t[i], w.b.t[j], c, ordered);
        if (n > 0)
            give(n);
    });
}

int floor_band(double d, double w)
{
    long k = long(std::floor(d / w));
    if (double(k) * w > d)
        k--;
    if (double(k + 1) * w <= d)
        k++;
    return int(k);
}

// Depths within the tolerance of a level lie on it, as at level 0.
void snap_to_levels(CfVertex *cell, int n, double w, double tol)
{
    for (int i = 0; i < n; i++) {
        double level = std::round(cell[i].d / w) * w;
        if (std::fabs(cell[i].d - level) <= tol)
            cell[i].d = level;
    }
}

// Cut and fill, and their areas, from the band totals.
void sum_totals(CutFill &r)
{
    for (int k = 0; k < int(r.totals.size()); k++) {
        const CfBandTotal &t = r.totals[std::size_t(k)];
        if (k + r.band_lo >= 0) {
            r.cut += t.volume;
            r.cut_area += t.area;
        } else {
            r.fill -= t.volume;
            r.fill_area += t.area;
        }
    }
    r.area = r.cut_area + r.fill_area + r.same_area;
}

// Cuts the cells along the band levels into map pieces, adds up area and
// volume per band, and collects the zero line: the piece sides along d = 0
// (a side between two pieces comes twice; the joiner keeps it once).  Each
// piece goes to piece(corners, n, band, level_edges) too.
template <class Piece>
void make_bands(const Work &work, CutFill &r, Piece piece)
{
    const double w = r.band;
    r.band_lo = floor_band(r.dmin, w) - 1;
    r.totals.assign(std::size_t(floor_band(r.dmax, w) - r.band_lo + 2), CfBandTotal());

    // A piece: its band, and which of its sides lie on one of the levels lo
    // and hi that bound it (none when d is the same all over).
    auto add = [&](const CfVertex *p, int n, int band, double lo, double hi, bool flat) {
        double area, volume;
        integrate(p, n, area, volume);
        if (!(area > 0))
            return;
        std::uint16_t edges = 0;
        for (int i = 0; i < n && !flat; i++) {
            const CfVertex &u = p[i], &v = p[(i + 1) % n];
            if (u.d != v.d || (u.d != lo && u.d != hi))
                continue;
            edges |= std::uint16_t(1u << i);
            if (u.d == 0)
                r.zero.push_back({Vec3{u.x, u.y, u.z}, Vec3{v.x, v.y, v.z}});
        }
        if (band == cf_no_change) {
            r.same_area += area;
        } else {
            CfBandTotal &t = r.totals[std::size_t(band - r.band_lo)];
            t.area += area;
            t.volume += volume;
        }
        piece(p, n, band, edges);
    };

    // Most cells lie in one band and are pieces of their own.  A cell that
    // levels cross is cut triangle by triangle of its fan: its depths come
    // from its corners, each rounded on its own, and over four or more
    // corners need not lie in one plane, so level lines drawn across the
    // whole polygon could cross each other; three corners always make one.
    CfVertex tri[3], part[8];
    each_cell(work, true, [&](CfVertex *cell, int n) {
        r.cells++;
        snap_to_levels(cell, n, w, work.tol);
        double lo = cell[0].d, hi = cell[0].d;
        for (int i = 1; i < n; i++) {
            lo = std::min(lo, cell[i].d);
            hi = std::max(hi, cell[i].d);
        }
        int k = floor_band(lo, w);
        if (lo == hi) {
            add(cell, n, lo == 0 ? cf_no_change : k, 0, 0, true);
            return;
        }
        if (hi <= double(k + 1) * w) {
            add(cell, n, k, double(k) * w, double(k + 1) * w, false);
            return;
        }
        for (int f = 1; f + 1 < n; f++) {
            tri[0] = cell[0];
            tri[1] = cell[f];
            tri[2] = cell[f + 1];
            double tlo = std::min({tri[0].d, tri[1].d, tri[2].d}), thi = std::max({tri[0].d, tri[1].d, tri[2].d});
            if (tlo == thi) {
                add(tri, 3, tlo == 0 ? cf_no_change : floor_band(tlo, w), 0, 0, true);
                continue;
            }
            for (int b = floor_band(tlo, w); b <= floor_band(thi, w); b++) {
                double l0 = double(b) * w, l1 = double(b + 1) * w;
                int m = slab(tri, 3, l0, l1, part);
                // Corners that coincide (a corner exactly on a level) go.
                int u = drop_repeats(part, m);
                if (u >= 3)
                    add(part, u, b, l0, l1, false);
            }
        }
    });
    sum_totals(r);
}

// Pairs come lowest i first and, for one i, lowest j first: the first
// overlapping pair found is the one reported.
bool first_overlap(const Surface &s, Vec3 &where, bool plain)
{
    bool found = false;
    each_pair(s.t, s.t, true, plain, [&](std::size_t i, std::size_t j) {
        int sb[3][3], sa[3][3];
        if (found || apart(s.t[i], s.t[j], sb, sa))
            return;
        Corner c[16];
        int n = clip(s.t[i], s.t[j], c);
        found = true;
        where = Vec3{0, 0, 0};
        for (int k = 0; k < n; k++) {
            where.x += c[k].x / n;
            where.y += c[k].y / n;
        }
    });
    return found;
}

std::string point_text(const Vec3 &p)
{
    char buf[80];
    std::snprintf(buf, sizeof buf, "%.6f,%.6f", p.x, p.y);
    return buf;
}

}  // namespace

bool cf_self_overlap(const std::vector<Triangle> &tris, Vec3 &where, bool plain)
{
    return first_overlap(prepare(tris), where, plain);
}

double cf_band_width(double deepest)
{
    double target = deepest / 10;
    double e = std::pow(10.0, std::floor(std::log10(target)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * e >= target)
            return m * e;
    return 10 * e;
}

int cf_band_colour(int band)
{
    // Shallow to deep, each ramp darker at every step: pale amber through
    // pale red to dark red for cut, pale cyan through pale blue to dark blue
    // for fill; light grey where nothing changes.
    static const int cut[10] = {41, 31, 21, 11, 13, 10, 12, 14, 16, 18};
    static const int fill[10] = {131, 141, 151, 161, 171, 173, 170, 172, 174, 178};
    if (band == cf_no_change)
        return 9;
    if (band >= 0)
        return cut[std::min(band, 9)];
    return fill[std::min(-band - 1, 9)];
}

bool cutfill(const std::vector<Triangle> &ground, const std::vector<Triangle> *design, double level,
             double band, CutFill &r, std::string &message, bool plain)
{
    r = CutFill();
    auto work = std::make_shared<Work>();
    Work &w = *work;
    w.a = prepare(ground);
    if (design)
        w.b = prepare(*design);
    w.level = !design;
    w.height = level;
    w.plain = plain;
    r.ground_faces = w.a.t.size();
    r.design_faces = w.b.t.size();

    const char *names[2] = {"existing ground", "design"};
    for (int k = 0; k < (design ? 2 : 1); k++) {
        Vec3 where;
        if (first_overlap(k == 0 ? w.a : w.b, where, plain)) {
            message = std::string("CUTFILL: the ") + names[k] + " overlaps itself in plan at " +
                      point_text(where) + " (an overhang or a doubled face); it would be counted twice";
            return false;
        }
    }

    double zmax = std::fabs(level);
    for (const Surface *s : {&w.a, &w.b})
        for (const Tri &t : s->t)
            for (const Vec3 &p : t.p)
                zmax = std::max(zmax, std::fabs(p.z));
    w.tol = r.tolerance = 64 * DBL_EPSILON * zmax;

    // The deepest depths first, for the band width; the cells are made
    // again for the bands rather than kept: making one costs less than
    // storing it.
    std::size_t found = 0;
    each_cell(w, false, [&](const CfVertex *c, int n) {
        found++;
        for (int k = 0; k < n; k++) {
            r.dmin = std::min(r.dmin, c[k].d);
            r.dmax = std::max(r.dmax, c[k].d);
        }
    });
    if (found == 0) {
        message = "CUTFILL: the existing ground and the design have no area in common";
        return false;
    }
    double deepest = std::max(-r.dmin, r.dmax);
    if (band == 0) {
        r.band = deepest > 0 ? cf_band_width(deepest) : 1;
    } else {
        if (!(band > 0 && std::isfinite(band) && deepest / band <= 1000)) {
            message = "CUTFILL: a band width must be a positive number giving at most 1000 bands";
            return false;
        }
        r.band = band;
    }
    make_bands(w, r, [](const CfVertex *, int, int, std::uint16_t) {});
    r.work = work;
    return true;
}

void cutfill_map(const CutFill &r, const CfPieceFn &piece)
{
    const Work *w = static_cast<const Work *>(r.work.get());
    if (!w)
        return;
    CutFill again;
    again.band = r.band;
    again.dmin = r.dmin;
    again.dmax = r.dmax;
    make_bands(*w, again, piece);
}

}  // namespace velmora
