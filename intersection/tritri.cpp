/*
** tritri.cpp -- the segment along which two triangles cross.
**
** Each edge of one triangle is pushed through the other triangle; the first
** two meeting points that lie at least LTRI_EPS apart are the segment's ends.
** B's edges go through A first, then A's through B.
*/
#include <math.h>
#include "intersection.h"

ltri_plane_rec ltri_plane;

static double dot(const double a[3], const double b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

static void cross(const double a[3], const double b[3], double out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

static void sub(const double a[3], const double b[3], double out[3])
{
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}

static void copy3(double to[3], const double from[3])
{
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
}

/* 1 when c points away from N (the point lies on the outer side of the edge
** whose direction is v) and is at least LTRI_EPS from the edge's line:
** |c| / |v| is that distance. */
int ltri_edge_outside(const double n[3], const double c[3], const double v[3])
{
    if (dot(n, c) >= 0.0)
        return 0;
    return sqrt(dot(c, c)) / sqrt(dot(v, v)) >= LTRI_EPS;
}

/* out = (a - p) x (c - b) */
void ltri_offset_cross(const double p[3], const double a[3], const double b[3],
                  const double c[3], double out[3])
{
    double u[3], v[3];
    sub(a, p, u);
    sub(c, b, v);
    cross(u, v, out);
}

int ltri_points_coincide(const double p[3], const double q[3])
{
    return sds_distance(p, q) < LTRI_EPS;
}

int ltri_seg_tri(const double t0[3], const double t1[3], const double t2[3],
                      const double e0[3], const double e1[3], double p[3],
                      short new_triangle)
{
    ltri_plane_rec *tp = &ltri_plane;

    if (new_triangle) {
        copy3(tp->t0, t0);
        copy3(tp->t1, t1);
        copy3(tp->t2, t2);
        sub(tp->t1, tp->t0, tp->e01);
        sub(tp->t2, tp->t1, tp->e12);
        cross(tp->e01, tp->e12, tp->n);
        tp->d = -dot(tp->n, tp->t0);
    }

    double s0 = dot(tp->n, e0) + tp->d;
    double s1 = dot(tp->n, e1) + tp->d;
    if (s0 * s1 > 1e-12)
        return 0;                               /* both ends on one side */
    double nn = dot(tp->n, tp->n);
    if (nn > 1e-12 && s0 / nn < -1e-12 && s1 / nn < -1e-12)
        return 0;
    if (nn == 0.0)
        return 0;                               /* vertices on one line */

    double dir[3];
    sub(e1, e0, dir);
    double den = dot(tp->n, dir);
    if (fabs(den) < 1e-100)
        return 0;                               /* parallel to the plane */
    double t = -s0 / den;
    p[0] = e0[0] + t * dir[0];
    p[1] = e0[1] + t * dir[1];
    p[2] = e0[2] + t * dir[2];

    /* The point must lie on the inner side of all three edges. */
    const double *corner[4] = { tp->t0, tp->t1, tp->t2, tp->t0 };
    for (int i = 0; i < 3; i++) {
        double c[3], v[3];
        sub(corner[i + 1], corner[i], v);
        ltri_offset_cross(p, corner[i], corner[i], corner[i + 1], c);
        if (ltri_edge_outside(tp->n, c, v))
            return 0;
    }
    return 1;
}

int ltri_tri_tri(const double a0[3], const double a1[3], const double a2[3],
                      const double b0[3], const double b1[3], const double b2[3],
                      double out[2][3])
{
    int k = 0;

    /* After a point is found: a second one on top of the first is dropped,
    ** so that the next point found takes its place. */
#define LTRI_FOUND() \
    do { k++; if (k == 2 && ltri_points_coincide(out[0], out[1])) k = 1; } while (0)

    if (ltri_seg_tri(a0, a1, a2, b0, b1, out[k], 1))
        k++;
    if (ltri_seg_tri(a0, a1, a2, b1, b2, out[k], 0))
        LTRI_FOUND();
    if (k < 2 && ltri_seg_tri(a0, a1, a2, b2, b0, out[k], 0))
        LTRI_FOUND();
    if (k < 2 && ltri_seg_tri(b0, b1, b2, a0, a1, out[k], 1))
        LTRI_FOUND();
    if (k < 2 && ltri_seg_tri(b0, b1, b2, a1, a2, out[k], 0))
        LTRI_FOUND();
    if (k == 1 && ltri_seg_tri(b0, b1, b2, a2, a0, out[k], 0))
        LTRI_FOUND();
#undef LTRI_FOUND
    return k == 2;
}
