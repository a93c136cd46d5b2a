/*
** geometry.cpp -- dovrp, set_lim, e_intre_lim and app_tri.
**
** Each reads its arguments with sds_getargs, answers LISP with one value and
** releases the argument list.  Arguments are checked before use: a missing
** argument or one of another type gets a message and nil, so nothing is ever
** read beyond the list the host handed over.
*/
#include <math.h>
#include <stdio.h>
#include "lisp.h"

sds_point lim_low;
sds_point lim_high;
double    lim_ref;

double lim_dist_3d(const sds_point a, const sds_point b)
{
    double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return sqrt(dx * dx + dy * dy + dz * dz);
}

/* Reads `count` points from the arguments; on failure prints the message,
** answers nil and releases the list. */
static int take_points(const char *fname, struct resbuf *args, int count, sds_point *pts)
{
    struct resbuf *rb = args;
    for (int i = 0; i < count; i++)
        if (!frame_take_point(&rb, pts[i])) {
            char text[96];
            snprintf(text, sizeof(text), " %s: %d points expected", fname, count);
            tri_error(text);
            sds_retnil();
            sds_relrb(args);
            return 0;
        }
    return 1;
}

int dovrp(void)
{
    struct resbuf *args = sds_getargs();
    sds_point p[4], r;

    if (!take_points("dovrp", args, 4, p))
        return 0;
    double ux = p[1][0] - p[0][0], uy = p[1][1] - p[0][1], uz = p[1][2] - p[0][2];
    double vx = p[3][0] - p[2][0], vy = p[3][1] - p[2][1], vz = p[3][2] - p[2][2];
    r[0] = uy * vz - uz * vy;
    r[1] = uz * vx - ux * vz;
    r[2] = ux * vy - uy * vx;
    if (!isfinite(r[0]) || !isfinite(r[1]) || !isfinite(r[2])) {
        /* coordinates so large that the product overflows */
        tri_error(" dovrp: the vector product is not a finite number");
        sds_retnil();
        sds_relrb(args);
        return 0;
    }
    sds_retpoint(r);
    sds_relrb(args);
    return 1;
}

int set_lim(void)
{
    struct resbuf *args = sds_getargs();
    struct resbuf *rb = args;
    sds_point lo, hi;
    double ref;

    if (!frame_take_point(&rb, lo) || !frame_take_point(&rb, hi) || !frame_take_real(&rb, &ref)) {
        tri_error(" set_lim: two points and a number expected");
        sds_retnil();
        sds_relrb(args);
        return 0;
    }
    /* The corners are kept as given, not sorted: the caller owns their order. */
    for (int i = 0; i < 3; i++) {
        lim_low[i] = lo[i];
        lim_high[i] = hi[i];
    }
    lim_ref = ref;
    sds_retvoid();
    sds_relrb(args);
    return 1;
}

static void triangle_extents(sds_point *t, double lo[3], double hi[3])
{
    for (int i = 0; i < 3; i++) {
        lo[i] = fmin(t[0][i], fmin(t[1][i], t[2][i]));
        hi[i] = fmax(t[0][i], fmax(t[1][i], t[2][i]));
    }
}

int e_intre_lim(void)
{
    struct resbuf *args = sds_getargs();
    sds_point t[3];
    double lo[3], hi[3];
    int touches = 1;

    if (!take_points("e_intre_lim", args, 3, t))
        return 0;
    triangle_extents(t, lo, hi);
    /* Touching a face of the box counts, so both comparisons include equality. */
    for (int i = 0; i < 3 && touches; i++)
        if (!(lo[i] <= lim_high[i] && lim_low[i] <= hi[i]))
            touches = 0;
    /* A triangle with a side shorter than 1e-6 is degenerate: not a triangle. */
    if (touches && (lim_dist_3d(t[0], t[1]) < 1e-6 || lim_dist_3d(t[1], t[2]) < 1e-6
                    || lim_dist_3d(t[2], t[0]) < 1e-6))
        touches = 0;
    if (touches)
        sds_rett();
    else
        sds_retnil();
    sds_relrb(args);
    return 1;
}

int app_tri(void)
{
    struct resbuf *args = sds_getargs();
    sds_point t[3];
    double lo[3], hi[3];
    char key[APP_TRI_KEY_SIZE];

    if (!take_points("app_tri", args, 3, t))
        return 0;
    triangle_extents(t, lo, hi);
    snprintf(key, sizeof(key), "%16.4lf", lo[0] - lim_ref);
    struct resbuf *list = sds_buildlist(RTREAL, lo[0], RTREAL, hi[0],
                                        RT3DPOINT, t[0], RT3DPOINT, t[1], RT3DPOINT, t[2],
                                        RTSTR, key,
                                        RTREAL, lo[1], RTREAL, hi[1],
                                        RTREAL, lo[2], RTREAL, hi[2], 0);
    if (list == NULL) {
        tri_error(" app_tri: no memory for the list");
        sds_retnil();
    } else {
        sds_retlist(list);
        sds_relrb(list);
    }
    sds_relrb(args);
    return 1;
}
