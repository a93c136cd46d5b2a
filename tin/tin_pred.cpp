/*
** tin_pred.cpp -- exact orientation and in-circle signs for the Delaunay
** kernel.
**
** Each predicate first evaluates its determinant in plain doubles together
** with a bound on the rounding error of that evaluation; when the value lies
** beyond the bound its sign is certain and is returned at once.  Otherwise
** the determinant is evaluated exactly as a floating-point expansion: a sum
** of non-overlapping doubles, ordered by magnitude, whose sign is the sign
** of its largest component (the plain evaluation and its bound are inline
** in tin_pred.h).  The coordinates' differences, products and
** sums are all carried exactly, so a zero means exactly cocircular or
** exactly collinear in the points' own double values.
*/
#include <math.h>

#include "tin_pred.h"

/* ---- exact building blocks ---------------------------------------------
** two_sum and two_diff return the rounded result and its exact error;
** two_product splits both factors in halves of 26 bits so that every
** partial product is exact. */

static inline void two_sum(double a, double b, double *x, double *y)
{
    double s = a + b, bv = s - a, av = s - bv;
    *x = s;
    *y = (a - av) + (b - bv);
}

static inline void two_diff(double a, double b, double *x, double *y)
{
    double d = a - b, bv = a - d, av = d + bv;
    *x = d;
    *y = (a - av) + (bv - b);
}

static inline void split(double a, double *hi, double *lo)
{
    double c = 134217729.0 * a;         /* 2^27 + 1 */
    double big = c - a;
    *hi = c - big;
    *lo = a - *hi;
}

static inline void two_product(double a, double b, double *x, double *y)
{
    double p = a * b, ahi, alo, bhi, blo;
    split(a, &ahi, &alo);
    split(b, &bhi, &blo);
    double e1 = p - ahi * bhi;
    double e2 = e1 - alo * bhi;
    double e3 = e2 - ahi * blo;
    *x = p;
    *y = alo * blo - e3;
}

/* ---- expansions ----------------------------------------------------------
** An expansion is e[0..n-1], smallest component first, no zeros.  Sizes
** stay small here (the largest, an in-circle determinant, is bounded by
** EXP_MAX), so the simple quadratic sums are plenty fast for the rare
** calls that reach them. */
#define EXP_MAX 2304

/* h = e + b */
static int grow(const double *e, int n, double b, double *h)
{
    int m = 0;
    double q = b;
    for (int i = 0; i < n; i++) {
        double s, err;
        two_sum(q, e[i], &s, &err);
        q = s;
        if (err != 0)
            h[m++] = err;
    }
    if (q != 0 || m == 0)
        h[m++] = q;
    return m;
}

/* h = e + f (h must not overlap e or f) */
static int add(const double *e, int n, const double *f, int m, double *h)
{
    static double tmp[EXP_MAX];
    int k = n;
    for (int i = 0; i < n; i++)
        h[i] = e[i];
    for (int j = 0; j < m; j++) {
        k = grow(h, k, f[j], tmp);
        for (int i = 0; i < k; i++)
            h[i] = tmp[i];
    }
    return k;
}

/* h = e * b */
static int scale(const double *e, int n, double b, double *h)
{
    int m = 0;
    double q, hh;
    two_product(e[0], b, &q, &hh);
    if (hh != 0)
        h[m++] = hh;
    for (int i = 1; i < n; i++) {
        double p1, p0, s, err;
        two_product(e[i], b, &p1, &p0);
        two_sum(q, p0, &s, &err);
        if (err != 0)
            h[m++] = err;
        two_sum(p1, s, &q, &err);
        if (err != 0)
            h[m++] = err;
    }
    if (q != 0 || m == 0)
        h[m++] = q;
    return m;
}

/* h = e * f */
static int mul(const double *e, int n, const double *f, int m, double *h)
{
    static double part[EXP_MAX], sum[EXP_MAX];
    int k = 1;
    h[0] = 0;
    for (int j = 0; j < m; j++) {
        int p = scale(e, n, f[j], part);
        k = add(h, k, part, p, sum);
        for (int i = 0; i < k; i++)
            h[i] = sum[i];
    }
    return k;
}

static void negate(double *e, int n)
{
    for (int i = 0; i < n; i++)
        e[i] = -e[i];
}

/* a - b as an expansion of one or two components */
static int diff(double a, double b, double *h)
{
    double x, y;
    two_diff(a, b, &x, &y);
    if (y == 0) {
        h[0] = x;
        return 1;
    }
    h[0] = y;
    h[1] = x;
    return 2;
}

/* ---- orientation -------------------------------------------------------- */

/* The difference a - b of two (x, y) pairs, in *out, and a mask: all bits
** set in a lane whose difference is exact and a whole number below `limit`
** (at most 2^26) in size.  Survey grids and integer coordinates give such
** differences; the determinants are then exact in plain doubles while small
** enough, in 128-bit integers otherwise, far cheaper than expansions.  (d
** rounds to a whole number by adding and taking off 1.5 * 2^52, exact while
** |d| < 2^51.) */
static inline tin_v2i whole_diff(tin_v2 a, tin_v2 b, double limit, tin_v2 *out)
{
    const tin_v2 zero = { 0, 0 }, magic = { 6755399441055744.0, 6755399441055744.0 };
    const tin_v2 lim = { limit, limit };
    tin_v2 d = a - b, bv = a - d, av = d + bv;
    tin_v2 tail = (a - av) + (bv - b);
    tin_v2 r = (d + magic) - magic;
    *out = d;
    return (tail == zero) & (r == d) & (tin_v2_abs(d) < lim);
}

static inline int both(tin_v2i ok)
{
    return (ok[0] & ok[1]) != 0;
}

static double orient_expansion(double ax, double ay, double bx, double by, double cx, double cy);

double tin_orient_exact(double ax, double ay, double bx, double by, double cx, double cy)
{
    tin_v2 ac, bc;
    if (both(whole_diff((tin_v2){ ax, ay }, (tin_v2){ cx, cy }, 67108864.0, &ac)
             & whole_diff((tin_v2){ bx, by }, (tin_v2){ cx, cy }, 67108864.0, &bc)))
        return ac[0] * bc[1] - ac[1] * bc[0];       /* each product below 2^52 */
    return orient_expansion(ax, ay, bx, by, cx, cy);
}

/* The exact orientation as an expansion (kept apart, so the whole-number
** case above needs no room for it). */
static __attribute__((noinline)) double orient_expansion(double ax, double ay, double bx,
                                                         double by, double cx, double cy)
{
    double acx[2], bcy[2], acy[2], bcx[2], p[8], q[8], d[16];
    int nacx = diff(ax, cx, acx), nbcy = diff(by, cy, bcy);
    int nacy = diff(ay, cy, acy), nbcx = diff(bx, cx, bcx);
    int np = mul(acx, nacx, bcy, nbcy, p);
    int nq = mul(acy, nacy, bcx, nbcx, q);
    negate(q, nq);
    int nd = add(p, np, q, nq, d);
    return d[nd - 1];
}

/* ---- in-circle ---------------------------------------------------------- */

/* lift * (p * q - r * s), all given as expansions */
static int lift_term(const double *dx, int ndx, const double *dy, int ndy,
                     const double *p, int np, const double *q, int nq,
                     const double *r, int nr, const double *s, int ns, double *out)
{
    static double xx[8], yy[8], lift[16], pq[8], rs[8], cross[16];
    int nxx = mul(dx, ndx, dx, ndx, xx);
    int nyy = mul(dy, ndy, dy, ndy, yy);
    int nl = add(xx, nxx, yy, nyy, lift);
    int npq = mul(p, np, q, nq, pq);
    int nrs = mul(r, nr, s, ns, rs);
    negate(rs, nrs);
    int nc = add(pq, npq, rs, nrs, cross);
    return mul(lift, nl, cross, nc, out);
}

static double incircle_expansion(double ax, double ay, double bx, double by, double cx,
                                 double cy, double dx, double dy);

/* The in-circle sign from whole differences below 2^26, in 128-bit
** integers (kept apart, as the expansion, so the small case needs no
** room for them). */
static __attribute__((noinline)) double incircle_wide(tin_v2 ad, tin_v2 bd, tin_v2 cd)
{
    int64_t iax = (int64_t)ad[0], iay = (int64_t)ad[1], ibx = (int64_t)bd[0];
    int64_t iby = (int64_t)bd[1], icx = (int64_t)cd[0], icy = (int64_t)cd[1];
    __int128 al = (__int128)iax * iax + (__int128)iay * iay;
    __int128 bl = (__int128)ibx * ibx + (__int128)iby * iby;
    __int128 cl = (__int128)icx * icx + (__int128)icy * icy;
    __int128 det = al * ((__int128)ibx * icy - (__int128)icx * iby)
                   + bl * ((__int128)icx * iay - (__int128)iax * icy)
                   + cl * ((__int128)iax * iby - (__int128)ibx * iay);
    return det > 0 ? 1 : det < 0 ? -1 : 0;
}

double tin_incircle_exact(double ax, double ay, double bx, double by, double cx, double cy,
                          double dx, double dy)
{
    tin_v2 ad, bd, cd;
    tin_v2 d = { dx, dy };
    if (both(whole_diff((tin_v2){ ax, ay }, d, 67108864.0, &ad)
             & whole_diff((tin_v2){ bx, by }, d, 67108864.0, &bd)
             & whole_diff((tin_v2){ cx, cy }, d, 67108864.0, &cd))) {
        tin_v2 m = tin_v2_abs(ad) + tin_v2_abs(bd) + tin_v2_abs(cd);
        if (m[0] < 4096 && m[1] < 4096) {
            /* each difference below 2^12: lifts and crosses below 2^25,
            ** their products below 2^50, the sum below 2^52, all exact */
            double al = ad[0] * ad[0] + ad[1] * ad[1];
            double bl = bd[0] * bd[0] + bd[1] * bd[1];
            double cl = cd[0] * cd[0] + cd[1] * cd[1];
            return al * (bd[0] * cd[1] - cd[0] * bd[1]) + bl * (cd[0] * ad[1] - ad[0] * cd[1])
                   + cl * (ad[0] * bd[1] - bd[0] * ad[1]);
        }
        return incircle_wide(ad, bd, cd);
    }
    return incircle_expansion(ax, ay, bx, by, cx, cy, dx, dy);
}

/* The exact in-circle sign as an expansion. */
static __attribute__((noinline)) double incircle_expansion(double ax, double ay, double bx,
                                                           double by, double cx, double cy,
                                                           double dx, double dy)
{
    static double t1[EXP_MAX], t2[EXP_MAX], t3[EXP_MAX], s12[EXP_MAX], all[EXP_MAX];
    double adx[2], ady[2], bdx[2], bdy[2], cdx[2], cdy[2];
    int nadx = diff(ax, dx, adx), nady = diff(ay, dy, ady);
    int nbdx = diff(bx, dx, bdx), nbdy = diff(by, dy, bdy);
    int ncdx = diff(cx, dx, cdx), ncdy = diff(cy, dy, cdy);
    /* alift (bdx cdy - cdx bdy) + blift (cdx ady - adx cdy) + clift (adx bdy - bdx ady) */
    int n1 = lift_term(adx, nadx, ady, nady, bdx, nbdx, cdy, ncdy, cdx, ncdx, bdy, nbdy, t1);
    int n2 = lift_term(bdx, nbdx, bdy, nbdy, cdx, ncdx, ady, nady, adx, nadx, cdy, ncdy, t2);
    int n3 = lift_term(cdx, ncdx, cdy, ncdy, adx, nadx, bdy, nbdy, bdx, nbdx, ady, nady, t3);
    int n12 = add(t1, n1, t2, n2, s12);
    int n = add(s12, n12, t3, n3, all);
    return all[n - 1];
}
