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

/* A difference of two coordinates as an integer, when it is exactly one
** below 2^26 in size (survey grids, integer coordinates): the determinants
** are then exact in 128-bit integers, far cheaper than expansions. */
static inline int small_diff(double a, double b, int64_t *out)
{
    double d, tail;
    two_diff(a, b, &d, &tail);
    if (tail != 0 || !(fabs(d) < 67108864.0) || d != (double)(int64_t)d)
        return 0;
    *out = (int64_t)d;
    return 1;
}

double tin_orient_exact(double ax, double ay, double bx, double by, double cx, double cy)
{
    int64_t iax, iay, ibx, iby;
    if (small_diff(ax, cx, &iax) && small_diff(ay, cy, &iay) && small_diff(bx, cx, &ibx)
        && small_diff(by, cy, &iby)) {
        __int128 d = (__int128)iax * iby - (__int128)iay * ibx;
        return d > 0 ? 1 : d < 0 ? -1 : 0;
    }
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

double tin_incircle_exact(double ax, double ay, double bx, double by, double cx, double cy,
                          double dx, double dy)
{
    int64_t iax, iay, ibx, iby, icx, icy;
    if (small_diff(ax, dx, &iax) && small_diff(ay, dy, &iay) && small_diff(bx, dx, &ibx)
        && small_diff(by, dy, &iby) && small_diff(cx, dx, &icx) && small_diff(cy, dy, &icy)) {
        __int128 al = (__int128)iax * iax + (__int128)iay * iay;
        __int128 bl = (__int128)ibx * ibx + (__int128)iby * iby;
        __int128 cl = (__int128)icx * icx + (__int128)icy * icy;
        __int128 d = al * ((__int128)ibx * icy - (__int128)icx * iby)
                     + bl * ((__int128)icx * iay - (__int128)iax * icy)
                     + cl * ((__int128)iax * iby - (__int128)ibx * iay);
        return d > 0 ? 1 : d < 0 ? -1 : 0;
    }
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
