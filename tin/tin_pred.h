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

/* > 0 when a, b, c turn counter-clockwise, < 0 clockwise, 0 on one line.
** The sign is exact; the value is not meant to be read otherwise. */
static inline double tin_orient_xy(double ax, double ay, double bx, double by,
                                   double cx, double cy)
{
    double left = (ax - cx) * (by - cy);
    double right = (ay - cy) * (bx - cx);
    double det = left - right;
    double bound = TIN_ORIENT_BOUND * (fabs(left) + fabs(right));
    if (det > bound || -det > bound)
        return det;
    return tin_orient_exact(ax, ay, bx, by, cx, cy);
}

/* The rounded evaluation of the in-circle sign below: 1 when its sign
** (in *det) is certain, 0 when only the exact evaluation can tell. */
static inline int tin_incircle_sure(double ax, double ay, double bx, double by,
                                    double cx, double cy, double dx, double dy, double *det)
{
    double adx = ax - dx, ady = ay - dy;
    double bdx = bx - dx, bdy = by - dy;
    double cdx = cx - dx, cdy = cy - dy;
    double bdxcdy = bdx * cdy, cdxbdy = cdx * bdy;
    double cdxady = cdx * ady, adxcdy = adx * cdy;
    double adxbdy = adx * bdy, bdxady = bdx * ady;
    double alift = adx * adx + ady * ady;
    double blift = bdx * bdx + bdy * bdy;
    double clift = cdx * cdx + cdy * cdy;
    double d = alift * (bdxcdy - cdxbdy) + blift * (cdxady - adxcdy)
               + clift * (adxbdy - bdxady);
    double permanent = (fabs(bdxcdy) + fabs(cdxbdy)) * alift
                       + (fabs(cdxady) + fabs(adxcdy)) * blift
                       + (fabs(adxbdy) + fabs(bdxady)) * clift;
    double bound = TIN_INCIRCLE_BOUND * permanent;
    *det = d;
    return d > bound || -d > bound;
}

/* > 0 when d lies inside the circle through the counter-clockwise a, b, c,
** < 0 outside, 0 on it.  The sign is exact. */
static inline double tin_incircle_xy(double ax, double ay, double bx, double by,
                                     double cx, double cy, double dx, double dy)
{
    double det;
    if (tin_incircle_sure(ax, ay, bx, by, cx, cy, dx, dy, &det))
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
