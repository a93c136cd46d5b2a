/*
** tin_pred.h -- exact geometric signs on the points' double coordinates.
*/
#ifndef VELMORA_TIN_PRED_H
#define VELMORA_TIN_PRED_H

#include "tin.h"

#include <math.h>

/* The exact evaluations, for when the rounded one cannot tell the sign. */
double tin_orient_exact(double ax, double ay, double bx, double by, double cx, double cy);
double tin_incircle_exact(double ax, double ay, double bx, double by, double cx, double cy,
                          double dx, double dy);

/* Half an ulp of 1, and the bounds on the rounding of the plain
** evaluations below (each counts the rounding of the differences too). */
#define TIN_HALF_ULP 1.1102230246251565e-16
#define TIN_ORIENT_BOUND ((3.0 + 16.0 * TIN_HALF_ULP) * TIN_HALF_ULP)
#define TIN_INCIRCLE_BOUND ((10.0 + 96.0 * TIN_HALF_ULP) * TIN_HALF_ULP)

/* Two doubles side by side, (x, y) of a point or of a difference: the
** compiler makes one instruction of each operation on both. */
typedef double tin_v2 __attribute__((vector_size(16)));
typedef long long tin_v2i __attribute__((vector_size(16)));

static inline tin_v2 tin_v2_abs(tin_v2 v)
{
    const tin_v2i mask = { 0x7fffffffffffffffLL, 0x7fffffffffffffffLL };
    return (tin_v2)((tin_v2i)v & mask);
}

/* The rounded evaluation of the in-circle sign below: 1 when its sign
** (in *det) is certain, 0 when only the exact evaluation can tell.  The
** arguments are (x, y) pairs.  The terms are the plain expression's,
**
**     det = alift (bdx cdy - cdx bdy) + blift (cdx ady - adx cdy)
**           + clift (adx bdy - bdx ady),      alift = adx^2 + ady^2 ...
**
** rounded in the same order (so the bound holds as for scalars), with x
** and y, and then the first two terms, worked side by side. */
static inline int tin_incircle_sure(const tin_v2 a, const tin_v2 b, const tin_v2 c,
                                    const tin_v2 d, double *det)
{
    tin_v2 ad = a - d, bd = b - d, cd = c - d;          /* (adx, ady) ... */
    tin_v2 da = { ad[1], ad[0] }, db = { bd[1], bd[0] }, dc = { cd[1], cd[0] };
    tin_v2 x1 = bd * dc;                    /* bdx cdy, bdy cdx */
    tin_v2 x2 = cd * da;                    /* cdx ady, cdy adx */
    tin_v2 x3 = ad * db;                    /* adx bdy, ady bdx */
    tin_v2 la = ad * ad, lb = bd * bd, lc = cd * cd;
    tin_v2 first = { x1[0], x2[0] }, second = { x1[1], x2[1] };
    tin_v2 lift = (tin_v2){ la[0], lb[0] } + (tin_v2){ la[1], lb[1] };    /* alift, blift */
    tin_v2 t = lift * (first - second);
    tin_v2 u = lift * (tin_v2_abs(first) + tin_v2_abs(second));
    double clift = lc[0] + lc[1];
    double dv = t[0] + t[1] + clift * (x3[0] - x3[1]);
    double permanent = u[0] + u[1] + (fabs(x3[0]) + fabs(x3[1])) * clift;
    double bound = TIN_INCIRCLE_BOUND * permanent;
    *det = dv;
    return fabs(dv) > bound;        /* (false for NaN, as the exact path wants) */
}

/* > 0 when a, b, c turn counter-clockwise, < 0 clockwise, 0 on one line,
** for (x, y) pairs.  The sign is exact; the value is not meant to be read
** otherwise.  (The products are the plain expression's, (ax - cx)(by - cy)
** and (ay - cy)(bx - cx), worked side by side.) */
static inline double tin_orient_v2(tin_v2 a, tin_v2 b, tin_v2 c)
{
    tin_v2 ac = a - c, bc = b - c;
    tin_v2 lr = ac * (tin_v2){ bc[1], bc[0] };
    double det = lr[0] - lr[1];
    double bound = TIN_ORIENT_BOUND * (fabs(lr[0]) + fabs(lr[1]));
    if (det > bound || -det > bound)
        return det;
    return tin_orient_exact(a[0], a[1], b[0], b[1], c[0], c[1]);
}

static inline double tin_orient_xy(double ax, double ay, double bx, double by,
                                   double cx, double cy)
{
    return tin_orient_v2((tin_v2){ ax, ay }, (tin_v2){ bx, by }, (tin_v2){ cx, cy });
}

/* > 0 when d lies inside the circle through the counter-clockwise a, b, c,
** < 0 outside, 0 on it.  The sign is exact. */
static inline double tin_incircle_xy(double ax, double ay, double bx, double by,
                                     double cx, double cy, double dx, double dy)
{
    double det;
    if (tin_incircle_sure((tin_v2){ ax, ay }, (tin_v2){ bx, by }, (tin_v2){ cx, cy },
                          (tin_v2){ dx, dy }, &det))
        return det;
    return tin_incircle_exact(ax, ay, bx, by, cx, cy, dx, dy);
}

static inline double tin_orient(const tin_point *a, const tin_point *b, const tin_point *c)
{
    return tin_orient_xy(a->x, a->y, b->x, b->y, c->x, c->y);
}

static inline double tin_incircle(const tin_point *a, const tin_point *b, const tin_point *c,
                                  const tin_point *d)
{
    return tin_incircle_xy(a->x, a->y, b->x, b->y, c->x, c->y, d->x, d->y);
}

#endif
