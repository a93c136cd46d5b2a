/*
** tin_lib.cpp -- the library's entry: tolerance, edge buffer, the driver and
** its front loop.
*/
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "frame.h"
#include "tin.h"

double    eps = 1e-4, eps2 = 1e-8;
int16_t   ngroups;
int32_t   full_check;
int32_t   ncons, last_edge = -1, edge_cap, cur_edge = -1, ntri;
tin_edge *tri;
int32_t  *pangle;
tin_box  *minmax_cont;
uint8_t  *cons_end;

/*
** Tolerance from the size of the coordinates: M is the largest magnitude of
** any x or y.  Taking magnitudes (not signed values) gives a survey the same
** eps wherever it lies; a signed maximum would give a survey at x = -50,000
** a tolerance far below what a double resolves there.
*/
double tin_choose_eps(int32_t npoints, const tin_point *points)
{
    double m = -1e150;
    for (int32_t i = 0; i < npoints; i++) {
        double ax = fabs(points[i].x), ay = fabs(points[i].y);
        double c = ax > ay ? ax : ay;
        if (c > m)
            m = c;
    }
    if (m >= 10000) return 1e-4;
    if (m >= 1000)  return 1e-6;
    if (m >= 100)   return 1e-7;
    if (m >= 10)    return 1e-8;
    if (m >= 1)     return 1e-9;
    if (m >= 0.1)   return 1e-10;
    if (m >= 0.01)  return 1e-11;
    if (m >= 0.001) return 1e-12;
    return 1e-13;
}

/* Appends edge (u, v) with its line; its box comes from the two points. */
int wrbuff(int32_t u, int32_t v, int32_t opp, double la, double lb, double lc,
           const tin_point *points)
{
    last_edge++;
    if (last_edge >= edge_cap) {
        last_edge = edge_cap - 1;       /* keep the count of used slots honest */
        lib_error(" WRBUFF ");
        return 1;
    }
    tin_edge *e = &tri[last_edge];
    const tin_point *p = &points[u], *q = &points[v];
    e->u = u;
    e->v = v;
    e->opp = opp;
    e->la = la;
    e->lb = lb;
    e->lc = lc;
    e->xmin = p->x < q->x ? p->x : q->x;
    e->xmax = p->x < q->x ? q->x : p->x;
    e->ymin = p->y < q->y ? p->y : q->y;
    e->ymax = p->y < q->y ? q->y : p->y;
    return 0;
}

/* Line la*x + lb*y = lc through two points; lb is 1 unless it is vertical. */
int lpp(double x1, double y1, double x2, double y2, double *la, double *lb, double *lc)
{
    double dx = x2 - x1;
    if (fabs(dx) < 1e-150) {
        if (y1 == y2) {
            lib_error(" LPP ");
            return 1;
        }
        *la = 1;
        *lb = 0;
        *lc = x1;
        return 0;
    }
    *la = (y1 - y2) / dx;
    *lb = 1;
    *lc = x1 * *la + y1;
    return 0;
}

static void release(void)
{
    free(tri);
    free(pangle);
    free(minmax_cont);
    free(cons_end);
    tri = NULL;
    pangle = NULL;
    minmax_cont = NULL;
    cons_end = NULL;
    grid_close();
    bands_close();
    blocks_close();
}

/* Formats a progress or summary line and prints it as text. */
static void print_line(const char *text)
{
    sds_printf("%s", text);
}

/*
** The front loop walks the edge buffer in order.  Each open edge gets at
** most one new triangle, on the side away from the triangle it already has
** (opp); the triangle's two other sides are appended to the buffer unless
** they exist already, in which case the search has closed them.
**
**          k                   buffer:  ... | cur_edge (u,v,opp) | ... | last_edge
**         / \                                      |
**  new   /   \  new                                v
** (u,k) /     \ (v,k)       appended:  (u,k, opp v)  (v,k, opp u)
**      u-------v   <- cur_edge
**       \     /
**        \   /     triangle already built on the edge
**         opp
**
** The buffer only grows, so the loop's bound last_edge moves ahead of it
** until every edge has been passed: what is left open then lies on the hull
** or on the border of the area.
*/
int32_t lib_triangulate(int32_t npoints, tin_point *points, const tin_line *lines,
                        int32_t nlines, int16_t ngroups_in, tin_face_cb face_cb,
                        int32_t *out_npoints, int32_t full_check_in)
{
    int32_t n = npoints < 0 ? 0 : npoints;
    int result = 1;
    char text[160];

    ngroups = ngroups_in;
    full_check = full_check_in;
    ncons = 0;
    last_edge = -1;
    cur_edge = -1;
    ntri = 0;
    need_region = 0;
    tri = NULL;
    pangle = NULL;
    minmax_cont = NULL;
    cons_end = NULL;

    eps = tin_choose_eps(n, points);
    eps2 = eps * eps;

    if (sort_points(&n, points))
        return 1;
    if (out_npoints)
        *out_npoints = n;
    if (n < 3) {
        lib_error(" np < 3");
        return 1;
    }

    /* 5n slots; kept below the largest allocation an int index can address. */
    if (n > INT32_MAX / 5) {
        lib_error(" malloc TRI ");
        return 1;
    }
    edge_cap = 5 * n;
    tri = (tin_edge *)malloc((size_t)edge_cap * sizeof(tin_edge));
    if (!tri) {
        lib_error(" malloc TRI ");
        return 1;
    }
    for (int32_t i = 0; i < edge_cap; i++)
        tri[i].flag = 0;

    pangle = (int32_t *)calloc((size_t)n, sizeof(int32_t));
    if (!pangle) {
        lib_error(" PANGLE ");
        goto done;
    }

    if (build_constraints(nlines, lines, n, points))
        goto done;
    if (split_constraints(n, points))
        goto done;
    if (check_rings(points))
        goto done;
    qsort(tri, (size_t)ncons, sizeof(tin_edge), edge_cmp);
    for (int32_t e = 0; e < ncons; e++) {
        cons_end[tri[e].u] = 1;
        cons_end[tri[e].v] = 1;
    }
    if (ncons > 0)
        close_outside_points(n, points);
    preset_boundary_angles(points);

    if (tin_use_grid)
        grid_open(n, points);      /* without it the full scan is used */
    if (tin_use_bands)
        bands_open(n, points);     /* without them the sweep steps one by one */
    if (tin_use_sides || tin_use_open)
        blocks_open(n, points);    /* without them every point is tested */

    ntri = 0;
    if (ncons == 0) {
        int32_t m = n / 2, k1, k2;
        k1 = nearest_point(m, n, points);
        if (k1 < 0) {           /* no distance could be measured */
            lib_error(" no nearest point: coordinates too large");
            goto done;
        }
        if (lpp(points[m].x, points[m].y, points[k1].x, points[k1].y,
                &edge_la, &edge_lb, &edge_lc))
            goto done;
        if (third_point(n, points, m, k1, -1, &k2)) {
            lib_error(" no first triangle: the points lie on one line");
            goto done;
        }
        if (wrbuff(m, k1, k2, edge_la, edge_lb, edge_lc, points)
            || wrbuff(k2, m, k1, held_ak_la, held_ak_lb, held_ak_lc, points)
            || wrbuff(k1, k2, m, held_bk_la, held_bk_lb, held_bk_lc, points))
            goto done;
        face_cb(points[m], points[k1], points[k2]);
        ntri = 1;
    }

    {
        time_t t0 = time(NULL);
        double last_print = 0;
        for (cur_edge = 0; cur_edge <= last_edge; cur_edge++) {
            if (sds_usrbrk()) {
                lib_error(" *Cancel*");
                goto done;
            }
            if (tri[cur_edge].flag == 1)
                continue;
            int32_t u = tri[cur_edge].u, v = tri[cur_edge].v, opp = tri[cur_edge].opp, k;
            edge_la = tri[cur_edge].la;
            edge_lb = tri[cur_edge].lb;
            edge_lc = tri[cur_edge].lc;
            if (third_point(n, points, u, v, opp, &k))
                continue;
            face_cb(points[u], points[v], points[k]);
            ntri++;
            if (held_ak == -1
                && wrbuff(u, k, v, held_ak_la, held_ak_lb, held_ak_lc, points))
                goto done;
            if (held_bk == -1
                && wrbuff(v, k, u, held_bk_la, held_bk_lb, held_bk_lc, points))
                goto done;
            double e = difftime(time(NULL), t0);
            if (e - last_print > 1.0) {
                snprintf(text, sizeof text, "\r** LIBVELMORA : %.0lf s   ", e);
                print_line(text);
                last_print = e;
            }
        }
    }

    snprintf(text, sizeof text, " - points number= %d ; triangles number= %d",
             (int)n, (int)ntri);
    print_line(text);
    result = 0;

done:
    release();
    return result;
}
