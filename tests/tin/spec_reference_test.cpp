// The library against a word-for-word reading of Parts 3.1 to 3.4: a second,
// plain implementation written from the Parts alone (no grid, no bands, no
// blocks, no hints, the constraint scan from index 0, on_constraint by a scan
// of the constraint edges), run on the same inputs.  Both must give the same
// result, the same point count, the same messages and the same corners in
// the same order, with the library's speed switches on and off.
//
// The reference takes the two mends of the issues: the tolerance's M from
// magnitudes, and the seed searched without the area test (Part 3.3 says so
// in words).  It is only fed inputs on which the Parts' arithmetic is defined.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "addon_session.h"
#include "tin_check.h"

namespace {

namespace ref {

struct Box {
    double xmin, xmax, ymin, ymax;
};

// One call's state, as Part 3.1 lists it.
struct Lib {
    double eps = 0, eps2 = 0;
    int ngroups = 0, full_check = 0;
    int32_t ncons = 0, last_edge = -1, edge_cap = 0, cur_edge = -1, ntri = 0;
    std::vector<tin_edge> tri;
    std::vector<int32_t> pangle;
    std::vector<Box> minmax;
    std::vector<tin_point> P;
    int32_t n = 0;
    bool seeding = false;
    // the current edge's line, the candidate's and the accepted candidate's
    double la = 0, lb = 0, lc = 0;
    double ak_la = 0, ak_lb = 0, ak_lc = 0, bk_la = 0, bk_lb = 0, bk_lc = 0;
    double h_ak_la = 0, h_ak_lb = 0, h_ak_lc = 0, h_bk_la = 0, h_bk_lb = 0, h_bk_lc = 0;
    int32_t e_ak = -1, e_bk = -1, held_ak = -1, held_bk = -1;
    bool need_region = false;
    double sum_x = 0, sum_y = 0, ex0 = 0, ex1 = 0, ey0 = 0, ey1 = 0;
    std::string out;
    std::vector<tin_point> corners;

    void lib_error(const char *t) { out += std::string("\n*** LIBVELMORA Error - ") + t; }

    // ---- Part 3.1 ----
    int lpp(double x1, double y1, double x2, double y2, double *a, double *b, double *c)
    {
        double dx = x2 - x1;
        if (std::fabs(dx) < 1e-150) {
            if (y1 == y2) {
                lib_error(" LPP ");
                return 1;
            }
            *a = 1;
            *b = 0;
            *c = x1;
            return 0;
        }
        *a = (y1 - y2) / dx;
        *b = 1;
        *c = x1 * *a + y1;
        return 0;
    }
    int wrbuff(int32_t u, int32_t v, int32_t opp, double a, double b, double c)
    {
        last_edge++;
        if (last_edge < edge_cap) {
            tin_edge &e = tri[last_edge];
            e.u = u;
            e.v = v;
            e.opp = opp;
            e.la = a;
            e.lb = b;
            e.lc = c;
            e.xmin = std::min(P[u].x, P[v].x);
            e.xmax = std::max(P[u].x, P[v].x);
            e.ymin = std::min(P[u].y, P[v].y);
            e.ymax = std::max(P[u].y, P[v].y);
            return 0;
        }
        lib_error(" WRBUFF ");
        return 1;
    }

    // ---- Part 3.2 ----
    static int point_cmp(const void *p, const void *q)
    {
        const tin_point *a = (const tin_point *)p, *b = (const tin_point *)q;
        if (a->x != b->x) return a->x < b->x ? -1 : 1;
        if (a->y != b->y) return a->y < b->y ? -1 : 1;
        if (a->z != b->z) return a->z > b->z ? -1 : 1;
        return 0;
    }
    bool same_coord(double a, double b) const { return std::fabs(a - b) <= eps; }
    void sort_points()
    {
        std::qsort(P.data(), (size_t)n, sizeof(tin_point), point_cmp);
        std::vector<char> fbufflat((size_t)n, 0);
        int32_t r = 0;
        for (int32_t i = 0; i < n; i++) {
            if (fbufflat[i]) {
                r++;
                continue;
            }
            for (int32_t j = i + 1; j < n && P[j].x <= P[i].x + eps; j++)
                if (same_coord(P[j].y, P[i].y))
                    fbufflat[j] = 1;
            if (r > 0)
                P[i - r] = P[i];
        }
        n -= r;
    }

    // ---- Part 3.4 ----
    static double polar_angle(double dy, double dx)
    {
        double a = std::atan2(dy, dx);
        return a < 0 ? a + 8 * std::atan(1.0) : a;
    }
    static double safe_acos(double c) { return std::acos(c > 1 ? 1 : c < -1 ? -1 : c); }
    static int edge_cmp(const void *p, const void *q)
    {
        const tin_edge *a = (const tin_edge *)p, *b = (const tin_edge *)q;
        if (a->ymax > b->ymax) return -1;
        if (a->ymax < b->ymax) return 1;
        return 0;
    }
    int build_constraints(const std::vector<tin_line> &lines)
    {
        minmax.assign((size_t)ngroups + 1, Box{1e300, -1e300, 1e300, -1e300});
        ncons = 0;
        if (lines.size() < 1)
            return 0;
        for (const tin_line &l : lines) {
            if (same_coord(l.x1, l.x2) && same_coord(l.y1, l.y2))
                continue;
            int32_t s = -1, t = -1;
            double x1 = l.x1, x2 = l.x2;        // by value: the record is packed
            for (int32_t j = 0; j < n && P[j].x - eps <= std::max(x1, x2); j++) {
                if (s == -1 && same_coord(P[j].x, l.x1) && same_coord(P[j].y, l.y1)
                    && same_coord(P[j].z, l.z1))
                    s = j;
                if (t == -1 && same_coord(P[j].x, l.x2) && same_coord(P[j].y, l.y2)
                    && same_coord(P[j].z, l.z2))
                    t = j;
                if (s != -1 && t != -1)
                    break;
            }
            if (s == -1 || t == -1)
                continue;
            double a, b, c;
            if (lpp(P[s].x, P[s].y, P[t].x, P[t].y, &a, &b, &c))
                return 1;
            if (wrbuff(s, t, -1, a, b, c))
                return 1;
            tri[last_edge].group = l.group;
            Box &m = minmax[l.group];
            for (double x : {l.x1, l.x2}) {
                if (x < m.xmin) m.xmin = x;
                if (x > m.xmax) m.xmax = x;
            }
            for (double y : {l.y1, l.y2}) {
                if (y < m.ymin) m.ymin = y;
                if (y > m.ymax) m.ymax = y;
            }
        }
        ncons = last_edge + 1;
        return 0;
    }
    int split_constraints()
    {
        for (int32_t e = 0; e <= last_edge; e++) {
            int32_t u = tri[e].u, v = tri[e].v, found = -1;
            double norm = std::sqrt(tri[e].la * tri[e].la + tri[e].lb * tri[e].lb);
            double dx = P[v].x - P[u].x;
            for (int32_t j = 0; j < n && found == -1; j++) {
                if (j == u || j == v)
                    continue;
                const tin_edge &t = tri[e];
                if (P[j].x < t.xmin || P[j].x > t.xmax || P[j].y < t.ymin || P[j].y > t.ymax)
                    continue;
                if (!(std::fabs(t.la * P[j].x + t.lb * P[j].y - t.lc) / norm < eps))
                    continue;
                bool fits;
                if (P[v].z == P[u].z) {
                    fits = P[j].z == P[u].z;
                } else {
                    double tz = (P[j].z - P[u].z) / (P[v].z - P[u].z);
                    fits = dx != 0 ? std::fabs(tz - (P[j].x - P[u].x) / dx) <= eps
                                   : std::fabs(tz - (P[j].y - P[u].y) / (P[v].y - P[u].y)) <= eps;
                }
                if (fits)
                    found = j;
            }
            if (found == -1)
                continue;
            double a = tri[e].la, b = tri[e].lb, c = tri[e].lc;
            int16_t g = tri[e].group;
            if (wrbuff(u, found, -1, a, b, c))
                return 1;
            tri[last_edge].group = g;
            if (wrbuff(found, v, -1, a, b, c))
                return 1;
            tri[last_edge].group = g;
            tri[e].u = -1;
        }
        int32_t kept = 0;
        for (int32_t e = 0; e <= last_edge; e++)
            if (tri[e].u != -1)
                tri[kept++] = tri[e];
        last_edge = kept - 1;
        ncons = kept;
        return 0;
    }
    bool inside_group(double x, double y, int g) const
    {
        const Box &m = minmax[g];
        if (x < m.xmin || x > m.xmax || y < m.ymin || y > m.ymax)
            return false;
        int crossings = 0, low = 0, high = 0;
        for (int32_t e = 0; e < ncons && y <= tri[e].ymax; e++) {
            const tin_edge &t = tri[e];
            if (t.group != g || !(t.ymin <= y) || t.la == 0)
                continue;
            if (y == P[t.u].y) {
                if (x < P[t.u].x) (y == t.ymin ? low : high)++;
            } else if (y == P[t.v].y) {
                if (x < P[t.v].x) (y == t.ymin ? low : high)++;
            } else if (x < (t.lc - y * t.lb) / t.la + eps) {
                crossings++;
            }
        }
        return (crossings + std::min(low, high)) % 2 == 1;
    }
    bool outside_area(double x, double y) const
    {
        if (!inside_group(x, y, 1))
            return true;
        for (int g = 2; g <= ngroups; g++)
            if (inside_group(x, y, g))
                return true;
        return false;
    }
    bool on_constraint(int32_t i) const
    {
        for (int32_t e = 0; e < ncons; e++)
            if (tri[e].u == i || tri[e].v == i)
                return true;
        return false;
    }
    void close_outside_points()
    {
        for (int32_t i = 0; i < n; i++)
            if (!on_constraint(i) && outside_area(P[i].x, P[i].y))
                pangle[i] = FULL_TURN;
    }
    void preset_boundary_angles()
    {
        for (int32_t e = 0; e < ncons; e++)
            for (int end = 0; end < 2; end++) {
                int32_t w = end == 0 ? tri[e].u : tri[e].v, o = end == 0 ? tri[e].v : tri[e].u;
                int32_t c = -1;
                for (int32_t f = e + 1; f < ncons; f++)
                    if (tri[f].group == tri[e].group && (tri[f].u == w || tri[f].v == w)) {
                        c = tri[f].u == w ? tri[f].v : tri[f].u;
                        break;
                    }
                if (c == -1)
                    continue;
                double mx = (P[w].x + P[o].x + P[c].x) / 3, my = (P[w].y + P[o].y + P[c].y) / 3;
                int g = tri[e].group;
                bool in = inside_group(mx, my, g);
                if (g == 1 ? in : !in) {
                    mx = 2 * P[w].x - mx;
                    my = 2 * P[w].y - my;
                }
                double dx = mx - P[w].x, dy = my - P[w].y;
                double ox = P[o].x - P[w].x, oy = P[o].y - P[w].y;
                double cx = P[c].x - P[w].x, cy = P[c].y - P[w].y;
                if (std::fabs(polar_angle(oy, ox) - polar_angle(P[w].y - P[c].y, P[w].x - P[c].x)) < 1e-7) {
                    pangle[w] = HALF_TURN;
                    continue;
                }
                double ld = std::sqrt(dx * dx + dy * dy);
                double lo = std::sqrt(ox * ox + oy * oy), lcw = std::sqrt(cx * cx + cy * cy);
                pangle[w] = (int32_t)((safe_acos((dx * ox + dy * oy) / (ld * lo))
                                       + safe_acos((dx * cx + dy * cy) / (ld * lcw)))
                                      * 10000000.0);
            }
    }

    // ---- Part 3.3 ----
    int32_t nearest_point(int32_t m) const
    {
        double best = 1e150;
        int32_t k = -1;
        for (int32_t i = 0; i < n; i++) {
            if (i == m)
                continue;
            double dx = P[i].x - P[m].x, dy = P[i].y - P[m].y;
            double d = dx * dx + dy * dy;
            if (d < best) {
                best = d;
                k = i;
            }
        }
        return k;
    }
    static int circle_centre(double p1, double q1, double r1, double p2, double q2, double r2,
                             double *x, double *y)
    {
        double det = p1 * q2 - p2 * q1;
        if (std::fabs(det) < 1e-150)
            return 1;
        *x = (r1 * q2 - r2 * q1) / det;
        *y = (p1 * r2 - p2 * r1) / det;
        return 0;
    }
    int valid_triangle(int32_t a, int32_t b, int32_t k)
    {
        if (need_region && outside_area((P[a].x + P[b].x + P[k].x) / 3, (P[a].y + P[b].y + P[k].y) / 3))
            return 1;
        double tx0 = std::min(ex0, P[k].x), tx1 = std::max(ex1, P[k].x);
        double ty0 = std::min(ey0, P[k].y), ty1 = std::max(ey1, P[k].y);
        int32_t lo = std::min({a, b, k}), hi = std::max({a, b, k});
        if (lpp(P[k].x, P[k].y, P[a].x, P[a].y, &ak_la, &ak_lb, &ak_lc)
            || lpp(P[k].x, P[k].y, P[b].x, P[b].y, &bk_la, &bk_lb, &bk_lc))
            return 1;
        e_ak = e_bk = -1;
        int32_t start = (cur_edge < ncons || full_check) ? 0 : cur_edge + 1;
        for (int32_t e = start; e <= last_edge; e++) {
            const tin_edge &t = tri[e];
            if (e < ncons && ty0 > t.ymax) {
                e = ncons - 1;          // on with e = ncons
                continue;
            }
            if (t.opp != -1 && std::min({t.u, t.v, t.opp}) == lo && std::max({t.u, t.v, t.opp}) == hi
                && (int64_t)t.u + t.v + t.opp == (int64_t)a + b + k)
                return 1;
            if ((t.u == a && t.v == b) || (t.u == b && t.v == a))
                continue;
            if (t.u == k || t.v == k) {
                if (t.u == a || t.v == a) e_ak = e;
                if (t.u == b || t.v == b) e_bk = e;
                continue;
            }
            if (t.xmin < tx1 && t.ymin < ty1 && tx0 < t.xmax && ty0 < t.ymax) {
                if (t.u != a && t.v != a) {
                    double su = ak_la * P[t.u].x + ak_lb * P[t.u].y - ak_lc;
                    double sv = ak_la * P[t.v].x + ak_lb * P[t.v].y - ak_lc;
                    double sk = t.la * P[k].x + t.lb * P[k].y - t.lc;
                    double sa = t.la * P[a].x + t.lb * P[a].y - t.lc;
                    if (su * sv < 0 && sk * sa < 0) {
                        e_ak = e_bk = -1;
                        return 1;
                    }
                }
                if (t.u != b && t.v != b) {
                    double su = bk_la * P[t.u].x + bk_lb * P[t.u].y - bk_lc;
                    double sv = bk_la * P[t.v].x + bk_lb * P[t.v].y - bk_lc;
                    double sk = t.la * P[k].x + t.lb * P[k].y - t.lc;
                    double sb = t.la * P[b].x + t.lb * P[b].y - t.lc;
                    if (su * sv < 0 && sk * sb < 0) {
                        e_ak = e_bk = -1;
                        return 1;
                    }
                }
            }
        }
        return 0;
    }
    int third_point(int32_t a, int32_t b, int32_t opp, int32_t *k_out)
    {
        double norm = std::sqrt(la * la + lb * lb);
        auto s = [&](int32_t p) { return la * P[p].x + lb * P[p].y - lc; };
        double s_opp = opp != -1 ? s(opp) : 0;
        double best = 1e30;
        int32_t k = -1;
        held_ak = held_bk = -1;
        need_region = !seeding && (cur_edge < ncons || on_constraint(a) || on_constraint(b));
        sum_x = P[a].x + P[b].x;
        sum_y = P[a].y + P[b].y;
        ex0 = std::min(P[a].x, P[b].x);
        ex1 = std::max(P[a].x, P[b].x);
        ey0 = std::min(P[a].y, P[b].y);
        ey1 = std::max(P[a].y, P[b].y);
        double len = std::sqrt((P[b].x - P[a].x) * (P[b].x - P[a].x) + (P[b].y - P[a].y) * (P[b].y - P[a].y));
        double ratio = len / norm;
        double xmin = -1e300, ymin = -1e300, xmax = 1e300, ymax = 1e300;
        double p1 = -lb, q1 = la, r1 = (sum_x / 2) * (-lb) + (sum_y / 2) * la;

        auto visit = [&](int32_t j) {
            if (std::llabs((int64_t)FULL_TURN - pangle[j]) < 5) return;
            if (P[j].y > ymax || P[j].y < ymin) return;
            if (j == a || j == b || j == opp) return;
            if (opp != -1 && !(s_opp * s(j) < 0)) return;
            double ax = P[a].x - P[j].x, ay = P[a].y - P[j].y;
            double bx = P[b].x - P[j].x, by = P[b].y - P[j].y;
            double c = (ax * bx + ay * by) / (std::sqrt(ax * ax + ay * ay) * std::sqrt(bx * bx + by * by));
            if (!(c < best)) return;
            if (std::fabs(s(j)) * ratio < eps2) return;
            if (valid_triangle(a, b, j)) return;
            best = c;
            k = j;
            h_ak_la = ak_la; h_ak_lb = ak_lb; h_ak_lc = ak_lc;
            h_bk_la = bk_la; h_bk_lb = bk_lb; h_bk_lc = bk_lc;
            held_ak = e_ak;
            held_bk = e_bk;
            double cx, cy;
            if (circle_centre(p1, q1, r1, -ak_lb, ak_la,
                              ((P[a].x + P[j].x) / 2) * (-ak_lb) + ((P[a].y + P[j].y) / 2) * ak_la,
                              &cx, &cy) == 0) {
                double r = std::sqrt((cx - P[a].x) * (cx - P[a].x) + (cy - P[a].y) * (cy - P[a].y)) * 1.001;
                xmin = cx - r;
                xmax = cx + r;
                ymin = cy - r;
                ymax = cy + r;
            }
        };
        int32_t base = std::min(a, b), up = base + 1, down = base - 1;
        bool up_on = true, down_on = true;
        while (up_on || down_on) {
            if (up_on) {
                if (up >= n || P[up].x > xmax) up_on = false;
                else visit(up++);
            }
            if (down_on) {
                if (down < 0 || P[down].x < xmin) down_on = false;
                else visit(down--);
            }
        }
        if (k == -1)
            return 1;
        if (held_ak != -1) tri[held_ak].flag = 1;
        if (held_bk != -1) tri[held_bk].flag = 1;
        double kax = P[k].x - P[a].x, kay = P[k].y - P[a].y;
        double bax = P[b].x - P[a].x, bay = P[b].y - P[a].y;
        double kbx = P[k].x - P[b].x, kby = P[k].y - P[b].y;
        double abx = P[a].x - P[b].x, aby = P[a].y - P[b].y;
        double lka = std::sqrt(kax * kax + kay * kay), lkb = std::sqrt(kbx * kbx + kby * kby);
        double lba = std::sqrt(bax * bax + bay * bay), lab = std::sqrt(abx * abx + aby * aby);
        pangle[k] += (int32_t)(safe_acos(best) * 10000000.0);
        pangle[a] += (int32_t)(safe_acos((kax * bax + kay * bay) / (lka * lba)) * 10000000.0);
        pangle[b] += (int32_t)(safe_acos((kbx * abx + kby * aby) / (lkb * lab)) * 10000000.0);
        *k_out = k;
        return 0;
    }

    // ---- Part 3.1, the driver ----
    int run(std::vector<tin_point> pts, const std::vector<tin_line> &lines, int groups, int full,
            int32_t *out_n)
    {
        ngroups = groups;
        full_check = full;
        P = pts;
        n = (int32_t)P.size();
        double M = -1e150;
        for (const tin_point &p : P)
            M = std::max(M, std::max(std::fabs(p.x), std::fabs(p.y)));
        eps = M >= 10000 ? 1e-4 : M >= 1000 ? 1e-6 : M >= 100 ? 1e-7 : M >= 10 ? 1e-8 : M >= 1 ? 1e-9
            : M >= 0.1 ? 1e-10 : M >= 0.01 ? 1e-11 : M >= 0.001 ? 1e-12 : 1e-13;
        eps2 = eps * eps;
        sort_points();
        *out_n = n;
        if (n < 3) {
            lib_error(" np < 3");
            return 1;
        }
        edge_cap = 5 * n;
        last_edge = -1;
        tri.assign((size_t)edge_cap, tin_edge{});
        pangle.assign((size_t)n, 0);
        if (build_constraints(lines) || split_constraints())
            return 1;
        std::qsort(tri.data(), (size_t)ncons, sizeof(tin_edge), edge_cmp);
        if (ncons > 0)
            close_outside_points();
        preset_boundary_angles();
        ntri = 0;
        if (ncons == 0) {
            int32_t m = n / 2, k1 = nearest_point(m), k2;
            if (lpp(P[m].x, P[m].y, P[k1].x, P[k1].y, &la, &lb, &lc))
                return 1;
            seeding = true;
            int none = third_point(m, k1, -1, &k2);
            seeding = false;
            if (none)
                return 1;
            if (wrbuff(m, k1, k2, la, lb, lc) || wrbuff(k2, m, k1, h_ak_la, h_ak_lb, h_ak_lc)
                || wrbuff(k1, k2, m, h_bk_la, h_bk_lb, h_bk_lc))
                return 1;
            corners.insert(corners.end(), {P[m], P[k1], P[k2]});
            ntri = 1;
        }
        for (cur_edge = 0; cur_edge <= last_edge; cur_edge++) {
            if (tri[cur_edge].flag == 1)
                continue;
            int32_t u = tri[cur_edge].u, v = tri[cur_edge].v, opp = tri[cur_edge].opp, k;
            la = tri[cur_edge].la;
            lb = tri[cur_edge].lb;
            lc = tri[cur_edge].lc;
            if (third_point(u, v, opp, &k))
                continue;
            corners.insert(corners.end(), {P[u], P[v], P[k]});
            ntri++;
            if (held_ak == -1 && wrbuff(u, k, v, h_ak_la, h_ak_lb, h_ak_lc))
                return 1;
            if (held_bk == -1 && wrbuff(v, k, u, h_bk_la, h_bk_lb, h_bk_lc))
                return 1;
        }
        char text[120];
        std::snprintf(text, sizeof text, " - points number= %d ; triangles number= %d", (int)n, (int)ntri);
        out += text;
        return 0;
    }
};

}  // namespace ref

std::vector<tin_point> *sink;
int collect(tin_point a, tin_point b, tin_point c)
{
    sink->insert(sink->end(), {a, b, c});
    return 0;
}

struct Case {
    std::string name;
    std::vector<tin_point> pts;
    std::vector<tin_line> lines;
    int16_t groups = 0;
    int32_t full = 0;
    Case(std::string n, std::vector<tin_point> p = {}, int32_t f = 0) : name(n), pts(p), full(f) {}
};

tin_line seg(const tin_point &a, const tin_point &b, int16_t g)
{
    tin_line l;
    l.x1 = a.x; l.y1 = a.y; l.z1 = a.z;
    l.x2 = b.x; l.y2 = b.y; l.z2 = b.z;
    l.group = g;
    return l;
}

// An outline and holes as closed rings of lines, their corners among the
// points; `extra` points are scattered over the outline's box.
Case site(const std::string &name, unsigned seed, int extra, double scale, double x0, double y0)
{
    Case c(name);
    auto P = [&](double x, double y, double z) { return tin_point{x0 + x * scale, y0 + y * scale, z}; };
    std::vector<std::vector<tin_point>> rings = {
        {P(0, 0, 5), P(60, 4, 6), P(90, 50, 7), P(50, 90, 8), P(30, 60, 9), P(4, 70, 5)},
        {P(20, 20, 1), P(35, 22, 1), P(30, 36, 1)},
        {P(60, 30, 2), P(70, 31, 2), P(72, 46, 2), P(61, 44, 2)}};
    int16_t g = 1;
    for (const auto &r : rings) {
        for (size_t i = 0; i < r.size(); i++) {
            c.lines.push_back(seg(r[i], r[(i + 1) % r.size()], g));
            c.pts.push_back(r[i]);
        }
        g++;
    }
    c.groups = 3;
    // a point on the outline's first side, at the height of its slope: a split
    c.pts.push_back(P(30, 2, 5.5));
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(0, 1000);
    for (int i = 0; i < extra; i++)
        c.pts.push_back(P(d(gen) / 10.0 - 5, d(gen) / 10.0 - 5, d(gen) % 50));
    return c;
}

std::string without_progress(const std::string &s)
{
    return std::regex_replace(s, std::regex("\r\\*\\* LIBVELMORA : [0-9]+ s   "), "");
}

TEST(SpecReference, SameResultMessagesAndCornersAsAPlainReadingOfTheParts)
{
    vt::AddonSession s;
    std::vector<Case> cases;
    cases.push_back({"random", tt::random_points(1500, 20000, 41)});
    cases.push_back({"random far negative", tt::random_points(700, 3000, 42, -900000, -40000)});
    cases.push_back({"random full check", tt::random_points(400, 900, 43), 1});
    {
        Case g("grid"), sh("sheared"), tiny("tiny grid");
        for (int i = 0; i < 24; i++)
            for (int j = 0; j < 19; j++) {
                g.pts.push_back({i * 10.0, j * 10.0, (double)(i * j % 7)});
                sh.pts.push_back({i * 5.0 + (j % 3) * 1.25, j * 4.0, (double)(i + j)});
                tiny.pts.push_back({i * 0.0004, j * 0.0003, 1.0});
            }
        cases.push_back(g);
        cases.push_back(sh);
        cases.push_back(tiny);
    }
    {
        // clusters of duplicates and near duplicates around eps (1e-6 here)
        Case d("duplicates");
        std::mt19937 gen(44);
        std::uniform_int_distribution<int> q(0, 300), f(-3, 3);
        for (int i = 0; i < 900; i++) {
            double x = q(gen) * 10.0, y = q(gen) * 10.0;
            d.pts.push_back({x + f(gen) * 0.5e-6, y + f(gen) * 0.5e-6, (double)(i % 9)});
        }
        cases.push_back(d);
    }
    cases.push_back({"collinear", {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}}});
    cases.push_back({"two points", {{0, 0, 0}, {1, 1, 0}, {1, 1, 5}}});
    for (unsigned seed : {51u, 52u, 53u})
        cases.push_back(site("site " + std::to_string(seed), seed, 700, 100, 0, 0));
    cases.push_back(site("site far and small", 54, 400, 0.01, 2500, -7000));
    {
        Case c = site("site full check", 55, 300, 10, 0, 0);
        c.full = 1;
        cases.push_back(c);
    }
    {
        // only holes: every point not on a line is closed
        Case c = site("holes only", 56, 200, 100, 0, 0);
        for (tin_line &l : c.lines)
            if (l.group == 1) l.group = 2;
        cases.push_back(c);
    }

    {
        // both ends of a line within eps of one point: lpp fails
        Case c("line ends on one point", {{10000.00008, 0, 0}, {10010, 0, 0}, {10005, 7, 0}});
        c.lines = {seg({10000, 0, 0}, {10000.00015, 0, 0}, 1), seg({10010, 0, 0}, {10005, 7, 0}, 1)};
        c.groups = 1;
        cases.push_back(c);
    }

    for (const Case &c : cases) {
        ref::Lib want;
        int32_t want_n = -1;
        int want_result = want.run(c.pts, c.lines, c.groups, c.full, &want_n);
        for (int on = 0; on <= 1; on++) {
            tin_use_grid = tin_use_bands = tin_use_sides = tin_use_open = tin_use_hints = on;
            std::vector<tin_point> pts = c.pts, got;
            int32_t n = -1;
            sink = &got;
            s.take_output();
            int result = lib_triangulate((int32_t)pts.size(), pts.data(),
                                         c.lines.empty() ? nullptr : c.lines.data(),
                                         (int32_t)c.lines.size(), c.groups, collect, &n, c.full);
            std::string out = without_progress(s.take_output());
            std::string where = c.name + (on ? ", switches on" : ", switches off");
            EXPECT_EQ(result, want_result) << where;
            EXPECT_EQ(n, want_n) << where;
            EXPECT_EQ(out, want.out) << where;
            ASSERT_EQ(got.size(), want.corners.size()) << where;
            for (size_t i = 0; i < got.size(); i++) {
                ASSERT_EQ(got[i].x, want.corners[i].x) << where << " corner " << i;
                ASSERT_EQ(got[i].y, want.corners[i].y) << where << " corner " << i;
                ASSERT_EQ(got[i].z, want.corners[i].z) << where << " corner " << i;
            }
            // the sorted, compacted array
            for (int32_t i = 0; i < n && i < want_n; i++) {
                ASSERT_EQ(point_cmp(&pts[i], &want.P[i]), 0) << where << " point " << i;
            }
        }
        // the inputs do exercise the front (a network, not a failure)
        if (c.pts.size() > 100 && c.name != "holes only") {
            EXPECT_GT(want.corners.size(), c.pts.size()) << c.name;
        }
    }
    tin_use_grid = tin_use_bands = tin_use_sides = tin_use_open = tin_use_hints = 1;
}

}  // namespace
