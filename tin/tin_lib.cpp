/*
** tin_lib.cpp -- the library's entry: tolerance, edge buffer, the driver and
** its front loop.
*/
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "tin_int.h"

tin_state   tin;
tin_options tin_opts = { 1, 1, 1, 1, 1 };
static tin_hooks hooks;

void tin_set_hooks(const tin_hooks *h)
{
    if (h)
        hooks = *h;
    else
        memset(&hooks, 0, sizeof hooks);
}

void tin_error(const char *text)
{
    if (hooks.error)
        hooks.error(text);
}

void tin_warning(const char *text)
{
    if (hooks.warning)
        hooks.warning(text);
}

static void print_line(const char *text)
{
    if (hooks.print)
        hooks.print(text);
}

int tin_cancelled(void)
{
    return hooks.cancelled ? hooks.cancelled() : 0;
}

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
int tin_wrbuff(int32_t u, int32_t v, int32_t opp, double la, double lb, double lc,
           const tin_point *points)
{
    tin.last_edge++;
    if (tin.last_edge >= tin.edge_cap) {
        tin.last_edge = tin.edge_cap - 1;       /* keep the count of used slots honest */
        tin_error(" WRBUFF ");
        return 1;
    }
    tin_edge *e = &tin.tri[tin.last_edge];
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
int tin_lpp(double x1, double y1, double x2, double y2, double *la, double *lb, double *lc)
{
    double dx = x2 - x1;
    if (fabs(dx) < 1e-150) {
        if (y1 == y2) {
            tin_error(" LPP ");
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
    free(tin.tri);
    free(tin.pangle);
    free(tin.minmax_cont);
    free(tin.cons_end);
    tin.tri = NULL;
    tin.pangle = NULL;
    tin.minmax_cont = NULL;
    tin.cons_end = NULL;
    tin_grid_close();
    tin_bands_close();
    tin_blocks_close();
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
**
** A break line has the area on both sides, and needs a triangle on each.
** Its constraint edge starts with no opp, like an outline edge, but is
** searched one side at a time (the window of the best circle only bounds
** the side of the point that made it): first the side where
** la*x + lb*y - lc > 0, and only when that has no point, the other.  A
** triangle found on the first side leaves the other to a copy of the edge,
** (u,v, opp k), appended after the triangle's new edges, which the loop
** reaches in its turn like any new edge:
**
**       k            constraint slot (u,v, opp -1)  -> triangle u,v,k
**      / \           appended: (u,k, opp v)  (v,k, opp u)  (u,v, opp k)
**     u---v  <- break line                                  ^ the other side
**
** When a triangle from elsewhere takes the break edge as a side before the
** loop has reached it, the edge takes that triangle's third corner for its
** opp instead of being closed (tin_place), so that the loop later searches
** only the side still open.
*/
int32_t lib_triangulate(int32_t npoints, tin_point *points, const tin_line *lines,
                        int32_t nlines, int16_t ngroups_in, tin_face_cb face_cb,
                        int32_t *out_npoints, int32_t full_check_in)
{
    int32_t n = npoints < 0 ? 0 : npoints;
    int result = 1;
    char text[160];

    tin.ngroups = ngroups_in;
    tin.full_check = full_check_in;
    tin.ncons = 0;
    tin.last_edge = -1;
    tin.cur_edge = -1;
    tin.ntri = 0;
    tin.need_region = 0;
    tin.search_side = 0;
    tin.tri = NULL;
    tin.pangle = NULL;
    tin.minmax_cont = NULL;
    tin.cons_end = NULL;

    tin.eps = tin_choose_eps(n, points);
    tin.eps2 = tin.eps * tin.eps;

    if (tin_sort_points(&n, points))
        return 1;
    if (out_npoints)
        *out_npoints = n;
    if (n < 3) {
        tin_error(" np < 3");
        return 1;
    }

    /* 5n slots, and two more per break line: the second side of each takes
    ** a slot of its own (see the front loop), and a split makes two parts.
    ** Kept below the largest allocation an int index can address. */
    int64_t breaks = 0;
    for (int32_t i = 0; lines && i < nlines; i++)
        breaks += lines[i].group == TIN_BREAK;
    if ((int64_t)n * 5 + breaks * 2 > INT32_MAX) {
        tin_error(" malloc TRI ");
        return 1;
    }
    tin.edge_cap = (int32_t)(5 * (int64_t)n + 2 * breaks);
    tin.tri = (tin_edge *)malloc((size_t)tin.edge_cap * sizeof(tin_edge));
    if (!tin.tri) {
        tin_error(" malloc TRI ");
        return 1;
    }
    for (int32_t i = 0; i < tin.edge_cap; i++)
        tin.tri[i].flag = 0;

    tin.pangle = (int32_t *)calloc((size_t)n, sizeof(int32_t));
    if (!tin.pangle) {
        tin_error(" PANGLE ");
        goto done;
    }

    if (tin_build_constraints(nlines, lines, n, points))
        goto done;
    if (tin_split_constraints(n, points))
        goto done;
    if (tin_check_rings(points))
        goto done;
    qsort(tin.tri, (size_t)tin.ncons, sizeof(tin_edge), tin_edge_cmp);
    for (int32_t e = 0; e < tin.ncons; e++) {
        tin.cons_end[tin.tri[e].u] = 1;
        tin.cons_end[tin.tri[e].v] = 1;
    }
    if (tin.ncons > 0)
        tin_close_outside_points(n, points);
    tin_preset_boundary_angles(points);

    if (tin_opts.use_grid)
        tin_grid_open(n, points);      /* without it the full scan is used */
    if (tin_opts.use_bands)
        tin_bands_open(n, points);     /* without them the sweep steps one by one */
    if (tin_opts.use_sides || tin_opts.use_open)
        tin_blocks_open(n, points);    /* without them every point is tested */

    tin.ntri = 0;
    if (tin.ncons == 0) {
        int32_t m = n / 2, k1, k2;
        k1 = tin_nearest_point(m, n, points);
        if (k1 < 0) {           /* no distance could be measured */
            tin_error(" no nearest point: coordinates too large");
            goto done;
        }
        if (tin_lpp(points[m].x, points[m].y, points[k1].x, points[k1].y,
                &tin.edge_la, &tin.edge_lb, &tin.edge_lc))
            goto done;
        if (tin_third_point(n, points, m, k1, -1, &k2)) {
            tin_error(" no first triangle: the points lie on one line");
            goto done;
        }
        if (tin_wrbuff(m, k1, k2, tin.edge_la, tin.edge_lb, tin.edge_lc, points)
            || tin_wrbuff(k2, m, k1, tin.held_ak_la, tin.held_ak_lb, tin.held_ak_lc, points)
            || tin_wrbuff(k1, k2, m, tin.held_bk_la, tin.held_bk_lb, tin.held_bk_lc, points))
            goto done;
        face_cb(points[m], points[k1], points[k2]);
        tin.ntri = 1;
    }

    {
        time_t t0 = time(NULL);
        double last_print = 0;
        for (tin.cur_edge = 0; tin.cur_edge <= tin.last_edge; tin.cur_edge++) {
            if (tin_cancelled()) {
                tin_error(" *Cancel*");
                goto done;
            }
            if (tin.tri[tin.cur_edge].flag == 1)
                continue;
            int32_t u = tin.tri[tin.cur_edge].u, v = tin.tri[tin.cur_edge].v, opp = tin.tri[tin.cur_edge].opp, k;
            tin.edge_la = tin.tri[tin.cur_edge].la;
            tin.edge_lb = tin.tri[tin.cur_edge].lb;
            tin.edge_lc = tin.tri[tin.cur_edge].lc;
            int first_side = opp == -1 && tin.cur_edge < tin.ncons
                             && tin.tri[tin.cur_edge].group == TIN_BREAK;
            tin.search_side = first_side;
            int none = tin_third_point(n, points, u, v, opp, &k);
            if (none && first_side) {
                tin.search_side = -1;       /* nothing there: the other side, no copy */
                first_side = 0;
                none = tin_third_point(n, points, u, v, opp, &k);
            }
            tin.search_side = 0;
            if (none)
                continue;
            face_cb(points[u], points[v], points[k]);
            tin.ntri++;
            if (tin.held_ak == -1
                && tin_wrbuff(u, k, v, tin.held_ak_la, tin.held_ak_lb, tin.held_ak_lc, points))
                goto done;
            if (tin.held_bk == -1
                && tin_wrbuff(v, k, u, tin.held_bk_la, tin.held_bk_lb, tin.held_bk_lc, points))
                goto done;
            if (first_side && tin_wrbuff(u, v, k, tin.edge_la, tin.edge_lb, tin.edge_lc, points))
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
             (int)n, (int)tin.ntri);
    print_line(text);
    result = 0;

done:
    release();
    return result;
}
