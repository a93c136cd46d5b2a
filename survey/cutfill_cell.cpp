// cutfill_cell.cpp -- one cell of the cut and fill overlay: where a ground
// triangle and a design triangle overlap in plan, found by exact orientation
// tests on their corners (cutfill.cpp tells why every computed point comes
// out bit for bit the same in each cell that has it).
#include "cutfill_cell.h"

#include <algorithm>
#include <cmath>

#include "orient.h"

namespace velmora {
namespace cf {

namespace {

bool before(const Vec3 &a, const Vec3 &b)
{
    return a.x < b.x || (a.x == b.x && a.y < b.y);
}

// Height of t's plane at (x, y), from its first corner.
double plane_z(const Tri &t, double x, double y)
{
    return t.p[0].z + t.gx * (x - t.p[0].x) + t.gy * (y - t.p[0].y);
}

// Height at (x, y) on the edge r-s, a point known to lie on it.
double edge_z(Vec3 r, Vec3 s, double x, double y)
{
    if (before(s, r))
        std::swap(r, s);
    double ex = s.x - r.x, ey = s.y - r.y;
    double u = ((x - r.x) * ex + (y - r.y) * ey) / (ex * ex + ey * ey);
    u = std::min(1.0, std::max(0.0, u));
    return r.z + u * (s.z - r.z);
}

// Where the edge p-q of the ground crosses the edge r-s of the design,
// known to cross properly.
Corner crossing(Vec3 p, Vec3 q, Vec3 r, Vec3 s)
{
    if (before(q, p))
        std::swap(p, q);
    if (before(s, r))
        std::swap(r, s);
    double op = cross2(s.x - r.x, s.y - r.y, p.x - r.x, p.y - r.y);
    double oq = cross2(s.x - r.x, s.y - r.y, q.x - r.x, q.y - r.y);
    double orr = cross2(q.x - p.x, q.y - p.y, r.x - p.x, r.y - p.y);
    double os = cross2(q.x - p.x, q.y - p.y, s.x - p.x, s.y - p.y);
    double t = op - oq != 0 ? op / (op - oq) : 0.5;
    double u = orr - os != 0 ? orr / (orr - os) : 0.5;
    t = std::min(1.0, std::max(0.0, t));
    u = std::min(1.0, std::max(0.0, u));
    return {p.x + t * (q.x - p.x), p.y + t * (q.y - p.y), p.z + t * (q.z - p.z), r.z + u * (s.z - r.z)};
}

// Height of surface triangle t at its own corner set's point (x, y), which
// lies inside or on t: `sides` are the orientations of the point against
// t's three edges (edge i from corner i to i+1), none negative.
double height_in(const Tri &t, const int sides[3], double x, double y)
{
    int zeros = (sides[0] == 0) + (sides[1] == 0) + (sides[2] == 0);
    if (zeros >= 2) {
        // On two edge lines: the corner they share.
        for (int i = 0; i < 3; i++)
            if (sides[i] == 0 && sides[(i + 1) % 3] == 0)
                return t.p[(i + 1) % 3].z;
    }
    if (zeros == 1)
        for (int i = 0; i < 3; i++)
            if (sides[i] == 0)
                return edge_z(t.p[i], t.p[(i + 1) % 3], x, y);
    return plane_z(t, x, y);
}

// s[k][e]: the orientation of corner k of c against edge e of t (from
// corner e to e+1), positive inside (both are counter-clockwise).  True as
// soon as an edge has no corner of c on its inner side.
bool parted_by_edge_of(const Tri &t, const Tri &c, int s[3][3])
{
    for (int e = 0; e < 3; e++) {
        const Vec3 &u = t.p[e], &v = t.p[(e + 1) % 3];
        int inside = 0;
        for (int k = 0; k < 3; k++)
            inside |= (s[k][e] = orient2d(u.x, u.y, v.x, v.y, c.p[k].x, c.p[k].y)) > 0;
        if (!inside)
            return true;
    }
    return false;
}

}  // namespace

Surface prepare(const std::vector<Triangle> &in)
{
    Surface s;
    s.t.reserve(in.size());
    for (std::size_t k = 0; k < in.size(); k++) {
        Tri t;
        for (int i = 0; i < 3; i++)
            t.p[i] = in[k].p[i];
        int o = orient2d(t.p[0].x, t.p[0].y, t.p[1].x, t.p[1].y, t.p[2].x, t.p[2].y);
        if (o == 0)
            continue;                   // vertical or degenerate: no plan area
        if (o < 0)
            std::swap(t.p[1], t.p[2]);
        t.x0 = std::min({t.p[0].x, t.p[1].x, t.p[2].x});
        t.x1 = std::max({t.p[0].x, t.p[1].x, t.p[2].x});
        t.y0 = std::min({t.p[0].y, t.p[1].y, t.p[2].y});
        t.y1 = std::max({t.p[0].y, t.p[1].y, t.p[2].y});
        double e1x = t.p[1].x - t.p[0].x, e1y = t.p[1].y - t.p[0].y, e1z = t.p[1].z - t.p[0].z;
        double e2x = t.p[2].x - t.p[0].x, e2y = t.p[2].y - t.p[0].y, e2z = t.p[2].z - t.p[0].z;
        double det = e1x * e2y - e1y * e2x;
        t.gx = (e1z * e2y - e2z * e1y) / det;
        t.gy = (e2z * e1x - e1z * e2x) / det;
        if (!std::isfinite(t.gx) || !std::isfinite(t.gy))
            continue;                   // a sliver whose area rounds to nothing
        s.t.push_back(t);
    }
    return s;
}

bool apart(const Tri &a, const Tri &b, int sb[3][3], int sa[3][3])
{
    return parted_by_edge_of(b, a, sb) || parted_by_edge_of(a, b, sa);
}

int clip(const Tri &a, const Tri &b, Corner *out, bool ordered)
{
    int sb[3][3], sa[3][3];
    if (apart(a, b, sb, sa))
        return 0;
    int n = 0;
    for (int i = 0; i < 3; i++)
        if (sb[i][0] >= 0 && sb[i][1] >= 0 && sb[i][2] >= 0) {
            const Vec3 &p = a.p[i];
            out[n++] = {p.x, p.y, p.z, height_in(b, sb[i], p.x, p.y)};
        }
    for (int j = 0; j < 3; j++) {
        const int *s = sa[j];
        if (s[0] < 0 || s[1] < 0 || s[2] < 0)
            continue;
        if ((s[0] == 0) + (s[1] == 0) + (s[2] == 0) >= 2)
            continue;                   // one of a's corners, taken above
        const Vec3 &p = b.p[j];
        out[n++] = {p.x, p.y, height_in(a, s, p.x, p.y), p.z};
    }
    for (int i = 0; i < 3; i++) {
        int i2 = (i + 1) % 3;
        for (int j = 0; j < 3; j++) {
            int j2 = (j + 1) % 3;
            if (sb[i][j] * sb[i2][j] < 0 && sa[j][i] * sa[j2][i] < 0)
                out[n++] = crossing(a.p[i], a.p[i2], b.p[j], b.p[j2]);
        }
    }
    if (n < 3 || !ordered)
        return n < 3 ? 0 : n;

    // All corners lie on the boundary of the convex cell: sort them by angle
    // about their mean, taken as a pseudo-angle in [0, 4) that grows with
    // the angle; where two are too close to tell, by exact orientation.
    double cx = 0, cy = 0, key[16];
    for (int k = 0; k < n; k++) {
        cx += out[k].x;
        cy += out[k].y;
    }
    cx /= n;
    cy /= n;
    for (int k = 0; k < n; k++) {
        double dx = out[k].x - cx, dy = out[k].y - cy;
        double t = dy / (std::fabs(dx) + std::fabs(dy));
        key[k] = dx >= 0 ? (dy >= 0 ? t : 4 + t) : 2 - t;
    }
    auto less = [&](int p, int q) {
        if (std::fabs(key[p] - key[q]) > 1e-12)
            return key[p] < key[q];
        return orient2d(cx, cy, out[p].x, out[p].y, out[q].x, out[q].y) > 0;
    };
    for (int k = 1; k < n; k++)
        for (int m = k; m > 0 && less(m, m - 1); m--) {
            std::swap(out[m], out[m - 1]);
            std::swap(key[m], key[m - 1]);
        }
    // Crossings that round onto a corner are dropped.
    int m = drop_repeats(out, n);
    return m >= 3 ? m : 0;
}

}  // namespace cf
}  // namespace velmora
