/*
** tin_cons.cpp -- constraint lines: the outer boundary (group 1), the
** holes (groups 2 and up) and the break lines (TIN_BREAK) as edges at the
** start of the buffer, the inside/outside test of the area, and the angle
** presets that make the front stop at the border.
**
** A break line bounds nothing: the area lies on both its sides, so it takes
** no part in the inside test or the presets.  With break lines alone there
** is no border, and the area is the whole plane.
*/
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tin_int.h"

static const tin_point *cons_pts;      /* the point array of the current call */
static tin_box holes_box;               /* the box of all groups 2 and up */

double tin_polar_angle(double dy, double dx)
{
    double a = atan2(dy, dx);
    if (a < 0)
        a += 8 * atan(1.0);
    return a;
}

int tin_edge_cmp(const void *p, const void *q)
{
    const tin_edge *a = (const tin_edge *)p, *b = (const tin_edge *)q;
    if (a->ymax > b->ymax) return -1;
    if (a->ymax < b->ymax) return 1;
    return 0;
}

/* First index whose x is not below `x` minus a margin that no point within
** eps of x can fall under (the sort orders the points by x). */
static int32_t first_near_x(int32_t n, const tin_point *points, double x)
{
    double lim = x - 2 * tin.eps - fabs(x) * 1e-12;
    int32_t lo = 0, hi = n;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (points[mid].x < lim) lo = mid + 1; else hi = mid;
    }
    return lo;
}

/* The first point, in index order from first_near_x(xbeg), that matches
** (x, y) in plan, among those whose x is not beyond xend by eps; -1 none.
** A match lies within eps of x, so the walk starts at first_near_x(x) and
** stops past x by the same margin: the same first match, without passing
** every point under the line's x range. */
static int32_t end_point(int32_t n, const tin_point *points, double x, double y, double xend)
{
    double hi = x + 2 * tin.eps + fabs(x) * 1e-12;
    for (int32_t j = first_near_x(n, points, x);
         j < n && points[j].x - tin.eps <= xend && points[j].x <= hi; j++)
        if (tin_same_coord(points[j].x, x) && tin_same_coord(points[j].y, y))
            return j;
    return -1;
}

int tin_build_constraints(int32_t nlines, const tin_line *lines, int32_t n,
                      const tin_point *points)
{
    int32_t groups = tin.ngroups > 0 ? tin.ngroups : 0;
    cons_pts = points;
    tin_area_index_free();          /* made again once these edges are sorted */
    tin.minmax_cont = (tin_box *)malloc((size_t)(groups + 1) * sizeof(tin_box));
    tin.cons_end = (uint8_t *)calloc((size_t)n, 1);
    if (!tin.minmax_cont || !tin.cons_end) {
        tin_error(" malloc MINMAX_CONT ");
        return 1;
    }
    for (int32_t g = 0; g <= groups; g++) {
        tin.minmax_cont[g].xmin = tin.minmax_cont[g].ymin = 1e300;
        tin.minmax_cont[g].xmax = tin.minmax_cont[g].ymax = -1e300;
    }
    tin.ncons = 0;
    tin.narea = 0;
    holes_box = tin.minmax_cont[0];             /* empty */
    if (nlines < 1 || !lines)
        return 0;

    int32_t skipped = 0;
    const tin_line *first_skipped = NULL;
    for (int32_t i = 0; i < nlines; i++) {
        const tin_line *l = &lines[i];
        int32_t s = -1, t = -1;
        /* Ends match survey points in plan: an outline drawn at elevation 0
        ** over a terrain at 300 m still names the points it was drawn on. */
        int known = l->group == TIN_BREAK || (l->group >= 1 && l->group <= tin.ngroups);
        if (known
            && !(tin_same_coord(l->x1, l->x2) && tin_same_coord(l->y1, l->y2))) {
            double xend = l->x1 > l->x2 ? l->x1 : l->x2;
            s = end_point(n, points, l->x1, l->y1, xend);
            t = end_point(n, points, l->x2, l->y2, xend);
        }
        if (s == -1 || t == -1) {
            /* no length in plan, no group, or an end on no survey point */
            if (skipped++ == 0)
                first_skipped = l;
            continue;
        }
        /* Both ends may match the same point (ends more than eps but at
        ** most 2 eps apart): tin_lpp then meets two equal points and fails
        ** with " LPP ", and so does the call. */
        double la, lb, lc;
        if (tin_lpp(points[s].x, points[s].y, points[t].x, points[t].y, &la, &lb, &lc))
            return 1;
        if (tin_wrbuff(s, t, -1, la, lb, lc, points))
            return 1;
        tin.tri[tin.last_edge].group = l->group;
        if (l->group == TIN_BREAK)
            continue;
        tin.narea++;
        tin_box *b = &tin.minmax_cont[l->group];
        if (l->x1 < b->xmin) b->xmin = l->x1;
        if (l->x2 < b->xmin) b->xmin = l->x2;
        if (l->x1 > b->xmax) b->xmax = l->x1;
        if (l->x2 > b->xmax) b->xmax = l->x2;
        if (l->y1 < b->ymin) b->ymin = l->y1;
        if (l->y2 < b->ymin) b->ymin = l->y2;
        if (l->y1 > b->ymax) b->ymax = l->y1;
        if (l->y2 > b->ymax) b->ymax = l->y2;
    }
    tin.ncons = tin.last_edge + 1;
    for (int32_t g = 2; g <= groups; g++) {
        const tin_box *b = &tin.minmax_cont[g];
        holes_box.xmin = fmin(holes_box.xmin, b->xmin);
        holes_box.xmax = fmax(holes_box.xmax, b->xmax);
        holes_box.ymin = fmin(holes_box.ymin, b->ymin);
        holes_box.ymax = fmax(holes_box.ymax, b->ymax);
    }
    if (skipped > 0) {
        char text[256];
        snprintf(text, sizeof(text),
                 " %d of %d constraint lines skipped (an end on no survey point in plan, or no "
                 "length); the first from (%.10g, %.10g) to (%.10g, %.10g)",
                 (int)skipped, (int)nlines, first_skipped->x1, first_skipped->y1,
                 first_skipped->x2, first_skipped->y2);
        tin_warning(text);
    }
    return 0;
}

/* Does point j lie on constraint edge e, in plan and in height?  On a
** break line, in plan alone: the network cannot pass a point by so near. */
static int lies_on(const tin_edge *t, const tin_point *points, int32_t j)
{
    const tin_point *p = &points[j], *pu = &points[t->u], *pv = &points[t->v];
    if (p->x < t->xmin || p->x > t->xmax || p->y < t->ymin || p->y > t->ymax)
        return 0;
    double norm = sqrt(t->la * t->la + t->lb * t->lb);
    if (!(fabs(t->la * p->x + t->lb * p->y - t->lc) / norm < tin.eps))
        return 0;
    if (t->group == TIN_BREAK)
        return 1;                       /* the point's own height stands */
    if (pv->z == pu->z)
        return p->z == pu->z;           /* a level edge: exactly its height */
    double tz = (p->z - pu->z) / (pv->z - pu->z);
    double dx = pv->x - pu->x;
    if (dx != 0)
        return fabs(tz - (p->x - pu->x) / dx) <= tin.eps;
    return fabs(tz - (p->y - pu->y) / (pv->y - pu->y)) <= tin.eps;
}

/*
** A survey point lying on a constraint edge becomes a vertex of it:
**
**     u ------- j ------- v    =>   u ---- j  (appended)   j ---- v  (appended)
**                                   and (u, v) is dropped
**
** The parts are examined in their turn, so a second point on the line
** splits a part again.
*/
int tin_split_constraints(int32_t n, const tin_point *points)
{
    if (tin.ncons <= 0)
        return 0;
    for (int32_t e = 0; e <= tin.last_edge; e++) {
        int32_t u = tin.tri[e].u, v = tin.tri[e].v, found = -1;
        /* most points of the edge's x range lie above or below it: the
        ** y range first, with the bounds at hand (lies_on tests it again) */
        double xmax = tin.tri[e].xmax, ymin = tin.tri[e].ymin, ymax = tin.tri[e].ymax;
        for (int32_t j = first_near_x(n, points, tin.tri[e].xmin);
             j < n && points[j].x <= xmax; j++) {
            if (points[j].y < ymin || points[j].y > ymax)
                continue;
            if (j != u && j != v && lies_on(&tin.tri[e], points, j)) {
                found = j;
                break;
            }
        }
        if (found == -1)
            continue;
        double la = tin.tri[e].la, lb = tin.tri[e].lb, lc = tin.tri[e].lc;
        int16_t group = tin.tri[e].group;
        if (tin_wrbuff(u, found, -1, la, lb, lc, points))
            return 1;
        tin.tri[tin.last_edge].group = group;
        if (tin_wrbuff(found, v, -1, la, lb, lc, points))
            return 1;
        tin.tri[tin.last_edge].group = group;
        tin.tri[e].u = -1;
    }
    int32_t kept = 0;
    tin.narea = 0;
    for (int32_t e = 0; e <= tin.last_edge; e++)
        if (tin.tri[e].u != -1) {
            tin.narea += tin.tri[e].group != TIN_BREAK;
            tin.tri[kept++] = tin.tri[e];
        }
    tin.last_edge = kept - 1;
    tin.ncons = kept;
    return 0;
}

/*
** The inside test below asks, for a height y, the edges of one group whose
** y range holds y.  The constraint edges are sorted by ymax (largest
** first), so a plain walk stops at the first edge wholly below y but still
** passes every edge above it, of every group: with a long outline that is
** most of them, for every point and every candidate triangle near the
** border.  The index cuts each group's height into slabs and lists per slab
** the group's edges whose y range meets it (level edges left out, as the
** test passes them by):
**
**    slab 3 |  /\      edge filed in the slabs from that of its ymin to
**    slab 2 | /  \     that of its ymax, by the one monotone formula that
**    slab 1 | \  /     also gives y's slab: an edge whose range holds y is
**    slab 0 |  \/      in y's list, whatever the rounding
**
** The test still checks ymin <= y <= ymax per edge, so it counts the very
** edges the walk counts.  Made for the edges as they stand after the sort
** (tin_index_area, called with the closing of the outside points); a walk
** over tin.tri answers whenever the index is not for the current edges.
*/
static struct {
    const tin_edge *tri;        /* the edges it was made for */
    int32_t  ncons;
    int16_t  ngroups;
    double  *y0, *scale;        /* per group: slab of y = (y - y0) * scale */
    int32_t *nslab;             /* per group: slabs (0: no edges) */
    int32_t *first;             /* per group: its first slab in start[] */
    int32_t *start, *ids;       /* slab s lists ids[start[s] .. start[s+1]-1] */
} ax;

void tin_area_index_free(void)
{
    free(ax.y0);
    free(ax.scale);
    free(ax.nslab);
    free(ax.first);
    free(ax.start);
    free(ax.ids);
    memset(&ax, 0, sizeof ax);
}

static int32_t slab_of(int g, double y)
{
    double t = (y - ax.y0[g]) * ax.scale[g];
    if (!(t >= 0))
        return 0;
    if (t >= ax.nslab[g])
        return ax.nslab[g] - 1;
    return (int32_t)t;
}

/* Files the edges of every group in `per` slabs per edge of the group
** (1: a slab per edge).  0 when the lists stay within `cap` entries. */
static int index_fill(int32_t per, int32_t cap)
{
    const tin_edge *tri = tin.tri;
    int16_t ng = tin.ngroups;
    int32_t total = 0;
    for (int g = 1; g <= ng; g++)
        ax.nslab[g] = 0;
    for (int32_t e = 0; e < tin.ncons; e++) {
        int g = tri[e].group;
        if (g >= 1 && g <= ng && tri[e].la != 0)
            ax.nslab[g]++;
    }
    for (int g = 1; g <= ng; g++) {
        ax.first[g] = total;
        if (ax.nslab[g] == 0)
            continue;
        double y0 = 1e300, y1 = -1e300;
        for (int32_t e = 0; e < tin.ncons; e++)
            if (tri[e].group == g && tri[e].la != 0) {
                if (tri[e].ymin < y0) y0 = tri[e].ymin;
                if (tri[e].ymax > y1) y1 = tri[e].ymax;
            }
        int32_t ns = ax.nslab[g] / per + 1;
        ax.nslab[g] = ns;
        ax.y0[g] = y0;
        ax.scale[g] = y1 > y0 ? ns / (y1 - y0) : 0;
        if (!isfinite(ax.scale[g]))
            ax.scale[g] = 0;
        total += ns;
    }
    free(ax.start);
    ax.start = (int32_t *)calloc((size_t)total + 1, sizeof(int32_t));
    if (!ax.start)
        return 1;
    /* count, then place */
    for (int pass = 0; pass < 2; pass++) {
        for (int32_t e = 0; e < tin.ncons; e++) {
            int g = tri[e].group;
            if (g < 1 || g > ng || tri[e].la == 0)
                continue;
            int32_t s0 = slab_of(g, tri[e].ymin), s1 = slab_of(g, tri[e].ymax);
            for (int32_t s = ax.first[g] + s0; s <= ax.first[g] + s1; s++) {
                if (pass == 0)
                    ax.start[s + 1]++;
                else
                    ax.ids[ax.start[s]++] = e;
            }
        }
        if (pass == 0) {
            for (int32_t s = 0; s < total; s++)
                ax.start[s + 1] += ax.start[s];
            if (ax.start[total] > cap)
                return 1;
            free(ax.ids);
            ax.ids = (int32_t *)malloc(((size_t)ax.start[total] + 1) * sizeof(int32_t));
            if (!ax.ids)
                return 1;
        } else {
            /* the placing moved each start to the next slab's: back one */
            for (int32_t s = total; s > 0; s--)
                ax.start[s] = ax.start[s - 1];
            ax.start[0] = 0;
        }
    }
    return 0;
}

/* Makes the index for the constraint edges as they stand; without it (no
** memory, or edges so long and many that the lists would grow large) the
** walk answers. */
void tin_index_area(void)
{
    tin_area_index_free();
    int16_t ng = tin.ngroups;
    if (tin.ncons <= 0 || ng < 1)
        return;
    /* a NaN among the heights leaves the sort, and so the walk, in an order
    ** of its own: the walk answers then */
    for (int32_t e = 0; e < tin.ncons; e++)
        if (!isfinite(tin.tri[e].ymin) || !isfinite(tin.tri[e].ymax))
            return;
    ax.y0 = (double *)malloc(((size_t)ng + 1) * sizeof(double));
    ax.scale = (double *)malloc(((size_t)ng + 1) * sizeof(double));
    ax.nslab = (int32_t *)malloc(((size_t)ng + 1) * sizeof(int32_t));
    ax.first = (int32_t *)malloc(((size_t)ng + 1) * sizeof(int32_t));
    if (!ax.y0 || !ax.scale || !ax.nslab || !ax.first) {
        tin_area_index_free();
        return;
    }
    /* a slab per edge files a ring's edges in a few slabs each; edges that
    ** all span the group's height (a comb) would file each in all: fewer
    ** slabs then */
    int32_t cap = 16 * tin.ncons + 4096;
    for (int32_t per = 1; per <= tin.ncons; per *= 4)
        if (index_fill(per, cap) == 0) {
            ax.tri = tin.tri;
            ax.ncons = tin.ncons;
            ax.ngroups = ng;
            return;
        }
    tin_area_index_free();
}

/*
** Even-odd ray test towards increasing x over the edges of group g.
** A ray through a vertex counts once where the outline passes on and not at
** all at a local top or bottom (a hit is "low" when the vertex is the lower
** end of its edge):
**
**    passes on:  \          top:   /\           bottom:  \  /
**                 w--->           w--->                  w--->
**                /               2 high hits            2 low hits
**    1 low + 1 high: counts min = 1   min = 0            min = 0
*/
static inline void ray_hit(const tin_edge *t, const tin_point *p, double x, double y,
                           int *crossings, int *low_hits, int *high_hits)
{
    if (y == p[t->u].y) {
        if (x < p[t->u].x) {
            if (y == t->ymin) (*low_hits)++; else (*high_hits)++;
        }
    } else if (y == p[t->v].y) {
        if (x < p[t->v].x) {
            if (y == t->ymin) (*low_hits)++; else (*high_hits)++;
        }
    } else if (x < (t->lc - y * t->lb) / t->la + tin.eps) {
        (*crossings)++;
    }
}

int tin_inside_group(double x, double y, int g)
{
    if (g < 1 || g > tin.ngroups || !tin.minmax_cont)
        return 0;
    const tin_box *b = &tin.minmax_cont[g];
    if (x < b->xmin || x > b->xmax || y < b->ymin || y > b->ymax)
        return 0;
    int crossings = 0, low_hits = 0, high_hits = 0;
    const tin_point *p = cons_pts;
    if (ax.tri == tin.tri && ax.ncons == tin.ncons && ax.ngroups == tin.ngroups && ax.tri) {
        if (!(y == y) || ax.nslab[g] == 0)
            return 0;               /* NaN: the walk stops at once */
        int32_t s = ax.first[g] + slab_of(g, y);
        for (int32_t i = ax.start[s]; i < ax.start[s + 1]; i++) {
            const tin_edge *t = &tin.tri[ax.ids[i]];
            if (t->ymin > y || y > t->ymax)
                continue;
            ray_hit(t, p, x, y, &crossings, &low_hits, &high_hits);
        }
    } else {
        for (int32_t e = 0; e < tin.ncons && y <= tin.tri[e].ymax; e++) {
            const tin_edge *t = &tin.tri[e];
            if (t->group != g || t->ymin > y || t->la == 0)
                continue;
            ray_hit(t, p, x, y, &crossings, &low_hits, &high_hits);
        }
    }
    int hits = low_hits < high_hits ? low_hits : high_hits;
    return (crossings + hits) % 2 == 1;
}

int tin_outside_area(double x, double y)
{
    if (tin.narea == 0)
        return 0;                       /* break lines alone: no border */
    if (!tin_inside_group(x, y, 1))
        return 1;
    /* most holes are far: their boxes, and first the box of them all,
    ** are looked at here (as the test would, first thing) */
    const tin_box *b = tin.minmax_cont;
    if (x < holes_box.xmin || x > holes_box.xmax || y < holes_box.ymin || y > holes_box.ymax)
        return 0;
    for (int g = 2; g <= tin.ngroups; g++)
        if (!(x < b[g].xmin || x > b[g].xmax || y < b[g].ymin || y > b[g].ymax)
            && tin_inside_group(x, y, g))
            return 1;
    return 0;
}

/*
** Most points lie far from every outline and hole edge, and the test gives
** them the answer of exact geometry: the even-odd count of the ray, whose
** vertex rules pair the hits of a ring passing on (one low, one high) and
** cancel those of a top or a bottom.  It may differ only next to an edge:
** where the rounded crossing (plus eps) falls on the other side of the
** point, or the group's box (drawn from the lines, within eps of the
** points) cuts a corner.  So the points are binned in cells, the cells
** within reach of an outline or hole edge are marked, and in any other
** cell every point has the answer of its first point:
**
**    +---+---+---+---+      a cell's points are those whose rounded bins
**    |   | # | # |   |      (monotone in x and in y) name it: a rectangle.
**    +---#####---+---+      An edge passing through it, or near one of its
**    |  #| # |###|   |      points, marks it (#); an unmarked rectangle
**    +-#-+---+---#---+      holds no boundary, so exact geometry gives all
**    |#  |   |   |#  |      its points one answer, which the test gives
**
** The reach of an edge: 4 eps, and a bound far above the rounding of its
** crossing (the line's coefficients, the division by a small la).
*/
enum { CELL_NEW = 0, CELL_EDGE = 1, CELL_IN = 2, CELL_OUT = 3 };

static struct {
    uint8_t *cell;
    int32_t  nx, ny;
    double   x0, y0, x1, y1, inv;
} ac;

static int32_t area_bin(double v, double origin, int32_t count)
{
    double t = (v - origin) * ac.inv;
    if (!(t >= 0))
        return 0;
    if (t >= count)
        return count - 1;
    return (int32_t)t;
}

/* Marks the cells within reach of the edge from p to q; 1 when it cannot. */
static int area_mark(const tin_point *p, const tin_point *q, double reach, double cs)
{
    double dx = q->x - p->x, dy = q->y - p->y, len = sqrt(dx * dx + dy * dy);
    double steps = ceil(4 * len / cs) + 1;
    if (!isfinite(reach) || !isfinite(steps) || steps > 1e6)
        return 1;
    /* every point of the edge lies within len / (2 steps) of a sample */
    double r = len / (2 * steps) + reach
               + 1e-9 * (fabs(p->x) + fabs(p->y) + fabs(q->x) + fabs(q->y));
    for (int32_t s = 0; s <= (int32_t)steps; s++) {
        double t = s / steps, sx = p->x + dx * t, sy = p->y + dy * t;
        int32_t cx0 = area_bin(sx - r, ac.x0, ac.nx), cx1 = area_bin(sx + r, ac.x0, ac.nx);
        int32_t cy0 = area_bin(sy - r, ac.y0, ac.ny), cy1 = area_bin(sy + r, ac.y0, ac.ny);
        for (int32_t cx = cx0; cx <= cx1; cx++)
            for (int32_t cy = cy0; cy <= cy1; cy++)
                ac.cell[(size_t)cx * ac.ny + cy] = CELL_EDGE;
    }
    return 0;
}

/* The cells over the box of the outline and holes (a point outside it is
** tested, and quickly refused), about four points each; 1 when they cannot
** be made (too few points, no extent, no memory, an edge they cannot
** reach): every point is then tested. */
static int area_cells_open(int32_t n, const tin_point *points)
{
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
    for (int g = 1; g <= tin.ngroups; g++) {
        const tin_box *b = &tin.minmax_cont[g];
        if (!(b->xmin <= b->xmax && b->ymin <= b->ymax))
            continue;                   /* no line of that group */
        x0 = fmin(x0, b->xmin);
        x1 = fmax(x1, b->xmax);
        y0 = fmin(y0, b->ymin);
        y1 = fmax(y1, b->ymax);
    }
    double cs = sqrt((x1 - x0) * (y1 - y0) * 4 / n);
    if (n < 256 || !(cs > 0) || !isfinite(cs))
        return 1;
    double fx = floor((x1 - x0) / cs) + 1, fy = floor((y1 - y0) / cs) + 1;
    if (!(fx * fy <= 2.0 * n + 64))
        return 1;
    ac.nx = (int32_t)fx;
    ac.ny = (int32_t)fy;
    ac.x0 = x0;
    ac.y0 = y0;
    ac.x1 = x1;
    ac.y1 = y1;
    ac.inv = 1 / cs;
    ac.cell = (uint8_t *)calloc((size_t)ac.nx * ac.ny, 1);
    if (!ac.cell)
        return 1;
    for (int32_t e = 0; e < tin.ncons; e++) {
        const tin_edge *t = &tin.tri[e];
        if (t->group == TIN_BREAK)
            continue;
        const tin_point *p = &points[t->u], *q = &points[t->v];
        double reach = 4 * tin.eps;
        if (t->la != 0)
            reach += 1e-9 * (fabs(p->x) + fabs(q->x)
                             + (fabs(t->lc) + fabs(p->y) + fabs(q->y)) / fabs(t->la));
        if (area_mark(p, q, reach, cs)) {
            free(ac.cell);
            ac.cell = NULL;
            return 1;
        }
    }
    return 0;
}

void tin_close_outside_points(int32_t n, const tin_point *points)
{
    tin_index_area();
    if (tin.narea <= 0)
        return;
    int cells = area_cells_open(n, points) == 0;
    for (int32_t i = 0; i < n; i++) {
        if (tin.cons_end && tin.cons_end[i])
            continue;             /* (tin_on_constraint, without the call) */
        double x = points[i].x, y = points[i].y;
        int out;
        uint8_t *c = NULL;
        if (cells && x >= ac.x0 && x <= ac.x1 && y >= ac.y0 && y <= ac.y1) {
            int32_t cx = area_bin(x, ac.x0, ac.nx);
            c = &ac.cell[(size_t)cx * ac.ny + area_bin(y, ac.y0, ac.ny)];
            /* two unmarked cells side by side make one rectangle, with no
            ** boundary in it: the cell on the left answers (the points
            ** come by x, so it has been met, when it has points) */
            if (*c == CELL_NEW && cx > 0 && c[-ac.ny] >= CELL_IN)
                *c = c[-ac.ny];
        }
        if (c && *c >= CELL_IN) {
            out = *c == CELL_OUT;
        } else {
            out = tin_outside_area(x, y);
            if (c && *c == CELL_NEW)
                *c = out ? CELL_OUT : CELL_IN;
        }
        if (out)
            tin.pangle[i] = FULL_TURN;
    }
    free(ac.cell);
    ac.cell = NULL;
}

/*
** At each polygon vertex w, between its edges to o and to c, the angle that
** lies outside the area is counted as already filled:
**
**        o                   d points away from the area (the centroid m
**        |   outside         of w, o, c reflected through w when it lies
**        |     d             inside), and the preset is the angle o-w-d
**        w------> c          plus d-w-c.
**         inside
*/
void tin_preset_boundary_angles(const tin_point *points)
{
    for (int32_t e = 0; e < tin.ncons; e++) {
        if (tin.tri[e].group == TIN_BREAK)
            continue;                   /* the area on both sides: no preset */
        for (int end = 0; end < 2; end++) {
            int32_t w = end == 0 ? tin.tri[e].u : tin.tri[e].v;
            int32_t o = end == 0 ? tin.tri[e].v : tin.tri[e].u;
            int32_t c = -1;
            for (int32_t f = e + 1; f < tin.ncons && c == -1; f++) {
                if (tin.tri[f].group != tin.tri[e].group)
                    continue;
                if (tin.tri[f].u == w) c = tin.tri[f].v;
                else if (tin.tri[f].v == w) c = tin.tri[f].u;
            }
            if (c == -1)
                continue;
            const tin_point *pw = &points[w], *po = &points[o], *pc = &points[c];
            double mx = (pw->x + po->x + pc->x) / 3, my = (pw->y + po->y + pc->y) / 3;
            int g = tin.tri[e].group;
            int inside = tin_inside_group(mx, my, g);
            if (g == 1 ? inside : !inside) {
                mx = 2 * pw->x - mx;
                my = 2 * pw->y - my;
            }
            double dx = mx - pw->x, dy = my - pw->y;
            double ox = po->x - pw->x, oy = po->y - pw->y;
            double cx = pc->x - pw->x, cy = pc->y - pw->y;
            double ld = sqrt(dx * dx + dy * dy);
            double lo = sqrt(ox * ox + oy * oy), lcw = sqrt(cx * cx + cy * cy);
            if (fabs(tin_polar_angle(oy, ox) - tin_polar_angle(-cy, -cx)) < 1e-7 || ld == 0
                || lo == 0 || lcw == 0) {
                tin.pangle[w] = HALF_TURN;
                continue;
            }
            double a = tin_safe_acos((dx * ox + dy * oy) / (ld * lo))
                       + tin_safe_acos((dx * cx + dy * cy) / (ld * lcw));
            tin.pangle[w] = (int32_t)(a * 10000000.0);
        }
    }
}
