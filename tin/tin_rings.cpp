/*
** tin_rings.cpp -- the constraint edges must outline areas before the front
** may rely on them: no two edges cross or touch, and the edges of every
** group close into rings.  Break lines (TIN_BREAK) outline nothing: they
** need not close, and may meet each other and the rings at shared points,
** but they too may cross or touch no edge.
**
** The inside test is an even-odd count over a group's edges and the angle
** presets assume two edges at every corner; a bow-tie outline, a void drawn
** as an X or an open break line would let the front run across the border
** and fill the edge buffer with overlapping triangles.  Such input is refused
** here, with the group and a point at the fault, before any triangle exists.
**
**   crossing:   \ /      touching:  ---+---      open end:  ----o
**                X                     |         three ends:  --o--
**               / \                                             |
**
** A crossing at a survey point is no crossing of edges any more (the split
** has cut both lines there) but a point where four ends of one group, or the
** ends of two groups, meet.
**
** The rings sort the edge ends by point.  The crossings sweep the edges in
** order of xmin, each tested only against the edges whose x range it
** overlaps: the edges a vertical line through it meets, a handful for a
** surveyed outline of any length (a comb of thousands of teeth side by side
** would come near all pairs).
*/
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "tin_int.h"

typedef struct {
    int32_t point;
    int16_t group;
} ring_end;

static int end_cmp(const void *p, const void *q)
{
    const ring_end *a = (const ring_end *)p, *b = (const ring_end *)q;
    if (a->point != b->point)
        return a->point < b->point ? -1 : 1;
    if (a->group != b->group)
        return a->group < b->group ? -1 : 1;
    return 0;
}

static const tin_edge *sweep_edges;     /* tri, for the comparator */

static int xmin_cmp(const void *p, const void *q)
{
    const tin_edge *a = &sweep_edges[*(const int32_t *)p], *b = &sweep_edges[*(const int32_t *)q];
    if (a->xmin != b->xmin)
        return a->xmin < b->xmin ? -1 : 1;
    return *(const int32_t *)p < *(const int32_t *)q ? -1 : 1;
}

/* Twice the signed area of (a, b, c): > 0 when c lies left of a -> b. */
static double orient(const tin_point *a, const tin_point *b, const tin_point *c)
{
    return (b->x - a->x) * (c->y - a->y) - (b->y - a->y) * (c->x - a->x);
}

/* Does p lie on segment a-b, within tin.eps of it and between its ends? */
static int on_segment(const tin_point *p, const tin_point *a, const tin_point *b)
{
    double dx = b->x - a->x, dy = b->y - a->y, len2 = dx * dx + dy * dy;
    if (len2 == 0)
        return 0;
    double t = ((p->x - a->x) * dx + (p->y - a->y) * dy) / len2;
    if (t <= 0 || t >= 1)
        return 0;
    return fabs(orient(a, b, p)) / sqrt(len2) < tin.eps;
}

/* Do edges e and f meet anywhere but at an end they share?  1 with the
** meeting point in (x, y). */
static int edges_meet(const tin_point *pts, const tin_edge *e, const tin_edge *f,
                      double *x, double *y)
{
    const int32_t ee[2] = { e->u, e->v }, ff[2] = { f->u, f->v };
    const tin_point *a = &pts[e->u], *b = &pts[e->v], *c = &pts[f->u], *d = &pts[f->v];

    /* an end of one lying on the other (a touch, or two edges folding
    ** back along one line) */
    for (int k = 0; k < 2; k++) {
        if (ee[k] != f->u && ee[k] != f->v && on_segment(&pts[ee[k]], c, d)) {
            *x = pts[ee[k]].x;
            *y = pts[ee[k]].y;
            return 1;
        }
        if (ff[k] != e->u && ff[k] != e->v && on_segment(&pts[ff[k]], a, b)) {
            *x = pts[ff[k]].x;
            *y = pts[ff[k]].y;
            return 1;
        }
    }
    if (e->u == f->u || e->u == f->v || e->v == f->u || e->v == f->v)
        return 0;                       /* neighbours: they meet at their end */
    double o1 = orient(c, d, a), o2 = orient(c, d, b);
    double o3 = orient(a, b, c), o4 = orient(a, b, d);
    if (!((o1 > 0 && o2 < 0) || (o1 < 0 && o2 > 0)) || !((o3 > 0 && o4 < 0) || (o3 < 0 && o4 > 0)))
        return 0;
    double t = o1 / (o1 - o2);
    *x = a->x + t * (b->x - a->x);
    *y = a->y + t * (b->y - a->y);
    return 1;
}

/* No two constraint edges may cross or touch.  0, or 1 after the message. */
static int check_crossings(const tin_point *points)
{
    int32_t *order = (int32_t *)malloc((size_t)tin.ncons * sizeof(int32_t));
    int32_t *active = (int32_t *)malloc((size_t)tin.ncons * sizeof(int32_t));
    int32_t nactive = 0;
    int fault = 0;

    if (!order || !active) {
        free(order);
        free(active);
        tin_error(" malloc RINGS ");
        return 1;
    }
    for (int32_t e = 0; e < tin.ncons; e++)
        order[e] = e;
    sweep_edges = tin.tri;
    qsort(order, (size_t)tin.ncons, sizeof(int32_t), xmin_cmp);

    for (int32_t k = 0; k < tin.ncons && !fault; k++) {
        const tin_edge *e = &tin.tri[order[k]];
        int32_t kept = 0;
        for (int32_t a = 0; a < nactive; a++)           /* drop those left behind */
            if (tin.tri[active[a]].xmax >= e->xmin - tin.eps)
                active[kept++] = active[a];
        nactive = kept;
        for (int32_t a = 0; a < nactive && !fault; a++) {
            const tin_edge *f = &tin.tri[active[a]];
            double x, y;
            if (f->ymin > e->ymax + tin.eps || f->ymax < e->ymin - tin.eps)
                continue;
            if (edges_meet(points, e, f, &x, &y)) {
                char text[256], colours[48];
                int16_t lo = f->group < e->group ? f->group : e->group;
                int16_t hi = f->group < e->group ? e->group : f->group;
                if (hi == TIN_BREAK)
                    snprintf(text, sizeof(text),
                             " break lines cross at (%.10g, %.10g) without a point there", x, y);
                else if (lo == TIN_BREAK)
                    snprintf(text, sizeof(text),
                             " a break line crosses LINEs of colour %d at (%.10g, %.10g) "
                             "without a point there", (int)hi, x, y);
                else {
                    if (lo == hi)
                        snprintf(colours, sizeof(colours), "colour %d", (int)lo);
                    else
                        snprintf(colours, sizeof(colours), "colours %d and %d", (int)lo, (int)hi);
                    snprintf(text, sizeof(text),
                             " LINEs of %s cross at (%.10g, %.10g): outline and voids must not "
                             "cross or touch", colours, x, y);
                }
                tin_error(text);
                fault = 1;
            }
        }
        active[nactive++] = order[k];
    }
    free(order);
    free(active);
    return fault;
}

/* Every end of a group's edges must be shared by exactly two of them, and
** by no edge of another group (two rings that meet at a survey point cross
** or touch there; the split has made that point an end of both).  0, or 1
** after the message. */
static int check_closed(const tin_point *points)
{
    ring_end *ends = (ring_end *)malloc(((size_t)tin.ncons * 2 + 1) * sizeof(ring_end));
    int32_t nends = 0;
    int fault = 0;

    if (!ends) {
        tin_error(" malloc RINGS ");
        return 1;
    }
    for (int32_t e = 0; e < tin.ncons; e++) {
        if (tin.tri[e].group == TIN_BREAK)
            continue;                   /* open or meeting anything: allowed */
        ends[nends].group = ends[nends + 1].group = tin.tri[e].group;
        ends[nends].point = tin.tri[e].u;
        ends[nends + 1].point = tin.tri[e].v;
        nends += 2;
    }
    qsort(ends, (size_t)nends, sizeof(ring_end), end_cmp);
    for (int32_t i = 0, j; i < nends && !fault; i = j) {
        for (j = i + 1; j < nends && ends[j].point == ends[i].point; j++)
            ;
        int16_t g = ends[i].group, last = ends[j - 1].group;
        if (g == last && j - i == 2)
            continue;
        const tin_point *p = &points[ends[i].point];
        char text[256];
        if (g != last)
            snprintf(text, sizeof(text),
                     " LINEs of colours %d and %d meet at (%.10g, %.10g): outline and voids must "
                     "not cross or touch",
                     (int)g, (int)last, p->x, p->y);
        else if (j - i == 1)
            snprintf(text, sizeof(text),
                     " LINEs of colour %d do not close: an open end at (%.10g, %.10g); outline "
                     "and voids must be closed rings",
                     (int)g, p->x, p->y);
        else
            snprintf(text, sizeof(text),
                     " LINEs of colour %d: %d line ends meet at (%.10g, %.10g); outline and voids "
                     "must be closed rings that do not cross, two lines at each corner",
                     (int)g, (int)(j - i), p->x, p->y);
        tin_error(text);
        fault = 1;
    }
    free(ends);
    return fault;
}

int tin_check_rings(const tin_point *points)
{
    if (tin.ncons <= 0)
        return 0;
    return check_crossings(points) || check_closed(points);
}
