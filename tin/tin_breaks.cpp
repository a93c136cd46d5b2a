/*
** tin_breaks.cpp -- break lines joined to the survey before a triangulation.
**
** The triangulation takes break lines (group TIN_BREAK) as constraint edges
** between survey points that neither cross nor touch any other constraint
** edge.  Drawn break lines are rarely so tidy; tin_prepare_breaks makes
** them so, in the library's own tolerance (eps):
**
**   1. Every vertex becomes a survey point.  A vertex within eps in plan of
**      a survey point is that point, and the point's height wins (with one
**      warning for all such vertices whose height differs by more than eps).
**      Vertices of break lines that coincide must agree in height.
**   2. A survey point or break vertex lying on a segment splits it, the
**      same height rule applying (a survey point wins, vertices must agree).
**   3. Where two segments cross, the crossing becomes a survey point when
**      the heights of the two, interpolated along each, agree within eps,
**      at their mean; otherwise the run is refused, naming the point.
**   4. With an outline or voids, a segment crossing one of their LINEs is
**      cut there in the same way: the crossing becomes a point of both when
**      the heights agree (at the LINE's height, so that the LINE is split
**      there too), else the run is refused.  The parts of break lines
**      outside the area (outside the outline, or inside a void) are dropped,
**      and so are parts that run along a LINE (the LINE keeps that edge).
**
**        outline  +--------------+
**                 |     \        |      x = a new point
**        break ---|------x-------x----  (the part right of the outline
**        lines    |       \      |       is dropped)
**                 +--------------+
**
** A LINE's height at a point is interpolated between the survey points its
** ends stand on, as the triangulation matches them (in plan).
*/
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tin_int.h"

enum { NODE_SURVEY, NODE_VERTEX, NODE_CROSS };

typedef struct bnode {
    double x, y, z;
    int    kind;
} bnode;

/* A segment between two nodes: a piece of a break line, or a LINE of the
** outline or a void (group >= 1). */
typedef struct bseg {
    int32_t a, b;
    int16_t group;
    double  xmin, xmax, ymin, ymax;
} bseg;

/* A point found where segments meet, before it becomes a node. */
typedef struct bhit {
    double  x, y, z;
    int32_t seg[2];         /* the segments it lies on (-1 none) */
    int32_t node;           /* the node it became */
} bhit;

/* The nodes: runs sorted by tin_point_cmp, each searched by x.  Run 0 the
** survey points as the triangulation keeps them, then the break vertices,
** then each batch of crossings. */
#define MAX_RUNS 16
static bnode  *nodes;
static int32_t nnodes, node_cap;
static int32_t run_start[MAX_RUNS + 1], nruns;

static bseg   *segs;
static int32_t nsegs, seg_cap;

static bhit   *hits;
static int32_t nhits, hit_cap;

static int     out_of_memory;

/* Survey points whose height replaced a break line's, for the warning. */
static int32_t overruled;
static double  over_x, over_y, over_from, over_to;

static int grow(void **arr, int32_t *cap, int32_t need, size_t size)
{
    if (need <= *cap)
        return 0;
    int32_t c = *cap ? *cap : 64;
    while (c < need) {
        if (c > INT32_MAX / 2) {
            out_of_memory = 1;
            return 1;
        }
        c *= 2;
    }
    void *p = realloc(*arr, (size_t)c * size);
    if (!p) {
        out_of_memory = 1;
        return 1;
    }
    *arr = p;
    *cap = c;
    return 0;
}

static int32_t add_node(double x, double y, double z, int kind)
{
    if (grow((void **)&nodes, &node_cap, nnodes + 1, sizeof(bnode)))
        return -1;
    nodes[nnodes].x = x;
    nodes[nnodes].y = y;
    nodes[nnodes].z = z;
    nodes[nnodes].kind = kind;
    return nnodes++;
}

static int32_t add_seg(int32_t a, int32_t b, int16_t group)
{
    if (grow((void **)&segs, &seg_cap, nsegs + 1, sizeof(bseg)))
        return -1;
    bseg *s = &segs[nsegs];
    const bnode *p = &nodes[a], *q = &nodes[b];
    s->a = a;
    s->b = b;
    s->group = group;
    s->xmin = p->x < q->x ? p->x : q->x;
    s->xmax = p->x < q->x ? q->x : p->x;
    s->ymin = p->y < q->y ? p->y : q->y;
    s->ymax = p->y < q->y ? q->y : p->y;
    return nsegs++;
}

static int add_hit(double x, double y, double z, int32_t s1, int32_t s2)
{
    if (grow((void **)&hits, &hit_cap, nhits + 1, sizeof(bhit)))
        return 1;
    bhit *h = &hits[nhits++];
    h->x = x;
    h->y = y;
    h->z = z;
    h->seg[0] = s1;
    h->seg[1] = s2;
    h->node = -1;
    return 0;
}

static int node_cmp(const void *p, const void *q)
{
    const bnode *a = (const bnode *)p, *b = (const bnode *)q;
    tin_point pa = { a->x, a->y, a->z }, pb = { b->x, b->y, b->z };
    return tin_point_cmp(&pa, &pb);
}

/* First index of run r whose x is not below x - eps (and a margin). */
static int32_t run_lower(int r, double x)
{
    double lim = x - 2 * tin.eps - fabs(x) * 1e-12;
    int32_t lo = run_start[r], hi = run_start[r + 1];
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (nodes[mid].x < lim) lo = mid + 1; else hi = mid;
    }
    return lo;
}

/* The node within eps of (x, y) in plan that comes first in the order of
** the points (the one the triangulation matches a line end to); -1 none. */
static int32_t find_node(double x, double y)
{
    int32_t best = -1;
    for (int r = 0; r < nruns; r++)
        for (int32_t i = run_lower(r, x); i < run_start[r + 1] && nodes[i].x - tin.eps <= x; i++)
            if (tin_same_coord(nodes[i].x, x) && tin_same_coord(nodes[i].y, y)) {
                if (best == -1 || node_cmp(&nodes[i], &nodes[best]) < 0)
                    best = i;
                break;
            }
    return best;
}

/* Where along s the point (x, y) lies: 0 at its first end, 1 at its second. */
static double along(const bseg *s, double x, double y)
{
    const bnode *u = &nodes[s->a], *v = &nodes[s->b];
    double dx = v->x - u->x, dy = v->y - u->y;
    return ((x - u->x) * dx + (y - u->y) * dy) / (dx * dx + dy * dy);
}

/* Does node j lie on segment s, strictly between its ends?  Nearer than
** eps to its line, between the perpendiculars at its ends: the reach of the
** triangulation's check for a line end touching another line, which is a
** little wider than its box (a point just above a level segment). */
static int on_seg(const bseg *s, int32_t j)
{
    const bnode *p = &nodes[j], *u = &nodes[s->a], *v = &nodes[s->b];
    if (j == s->a || j == s->b)
        return 0;
    if (p->x < s->xmin - tin.eps || p->x > s->xmax + tin.eps || p->y < s->ymin - tin.eps
        || p->y > s->ymax + tin.eps)
        return 0;
    double t = along(s, p->x, p->y);
    if (!(t > 0 && t < 1))
        return 0;
    double la, lb, lc;
    if (tin_lpp(u->x, u->y, v->x, v->y, &la, &lb, &lc))
        return 0;
    return fabs(la * p->x + lb * p->y - lc) / sqrt(la * la + lb * lb) < tin.eps;
}

/* A break line's height at (x, y), interpolated along it. */
static double break_height(const bseg *s, double x, double y)
{
    const bnode *u = &nodes[s->a], *v = &nodes[s->b];
    return u->z + along(s, x, y) * (v->z - u->z);
}

/* A LINE's height at (x, y), measured along it the way the triangulation
** tests a point that splits it: by x, or by y on a vertical LINE; a level
** LINE has its height exactly. */
static double area_height(const bseg *s, double x, double y)
{
    const bnode *u = &nodes[s->a], *v = &nodes[s->b];
    if (v->z == u->z)
        return u->z;
    double dx = v->x - u->x;
    double t = dx != 0 ? (x - u->x) / dx : (y - u->y) / (v->y - u->y);
    return u->z + t * (v->z - u->z);
}

static void overrule(double x, double y, double from, double to)
{
    if (fabs(from - to) <= tin.eps)
        return;
    if (overruled++ == 0) {
        over_x = x;
        over_y = y;
        over_from = from;
        over_to = to;
    }
}

static int refuse_meet(const char *verb, double x, double y, double z1, double z2)
{
    char text[256];
    snprintf(text, sizeof(text),
             " break lines %s at (%.10g, %.10g) at heights %.10g and %.10g: where break lines "
             "cross or meet they must agree in height", verb, x, y, z1, z2);
    tin_error(text);
    return 1;
}

static int refuse_area(const char *verb, int16_t group, double x, double y, double zb, double za)
{
    char text[256];
    snprintf(text, sizeof(text),
             " a break line %s LINEs of colour %d at (%.10g, %.10g) at height %.10g, where the "
             "LINEs are at %.10g: it must meet them at their height", verb, (int)group, x, y, zb,
             za);
    tin_error(text);
    return 1;
}

/* ------------------------------------------------------------------------
** Pairs of segments whose boxes overlap, swept in order of xmin with the
** segments whose x range is still open: the segments a vertical line meets. */
static int xmin_order(const void *p, const void *q)
{
    const bseg *a = &segs[*(const int32_t *)p], *b = &segs[*(const int32_t *)q];
    if (a->xmin != b->xmin)
        return a->xmin < b->xmin ? -1 : 1;
    return *(const int32_t *)p < *(const int32_t *)q ? -1 : 1;
}

typedef int (*pair_fn)(int32_t s1, int32_t s2);

static int sweep_pairs(int32_t first, int32_t last, pair_fn fn)
{
    int32_t count = last - first;
    if (count < 2)
        return 0;
    int32_t *order = (int32_t *)malloc((size_t)count * sizeof(int32_t));
    int32_t *active = (int32_t *)malloc((size_t)count * sizeof(int32_t));
    int32_t nactive = 0;
    int fault = 0;
    if (!order || !active) {
        free(order);
        free(active);
        out_of_memory = 1;
        return 1;
    }
    count = 0;
    for (int32_t i = first; i < last; i++)
        if (segs[i].a >= 0)             /* emptied by a cut: its parts stand for it */
            order[count++] = i;
    qsort(order, (size_t)count, sizeof(int32_t), xmin_order);
    for (int32_t k = 0; k < count && !fault; k++) {
        const bseg *e = &segs[order[k]];
        int32_t kept = 0;
        for (int32_t a = 0; a < nactive; a++)
            if (segs[active[a]].xmax >= e->xmin - tin.eps)
                active[kept++] = active[a];
        nactive = kept;
        for (int32_t a = 0; a < nactive && !fault; a++) {
            const bseg *f = &segs[active[a]];
            if (f->ymin > e->ymax + tin.eps || f->ymax < e->ymin - tin.eps)
                continue;
            fault = fn(active[a], order[k]);
        }
        active[nactive++] = order[k];
    }
    free(order);
    free(active);
    return fault;
}

/* Twice the signed area of (a, b, c). */
static double orient(const bnode *a, const bnode *b, const bnode *c)
{
    return (b->x - a->x) * (c->y - a->y) - (b->y - a->y) * (c->x - a->x);
}

/* Do the insides of segments s and t cross (strictly, not at an end)?  1
** with the crossing in (x, y), computed along s. */
static int proper_cross(const bseg *s, const bseg *t, double *x, double *y)
{
    if (s->a == t->a || s->a == t->b || s->b == t->a || s->b == t->b)
        return 0;
    const bnode *a = &nodes[s->a], *b = &nodes[s->b], *c = &nodes[t->a], *d = &nodes[t->b];
    double o1 = orient(c, d, a), o2 = orient(c, d, b);
    double o3 = orient(a, b, c), o4 = orient(a, b, d);
    if (!((o1 > 0 && o2 < 0) || (o1 < 0 && o2 > 0)) || !((o3 > 0 && o4 < 0) || (o3 < 0 && o4 > 0)))
        return 0;
    double k = o1 / (o1 - o2);
    *x = a->x + k * (b->x - a->x);
    *y = a->y + k * (b->y - a->y);
    return 1;
}

/* Is (x, y) within eps in plan of an end of s? */
static int near_end(const bseg *s, double x, double y)
{
    const bnode *u = &nodes[s->a], *v = &nodes[s->b];
    return (tin_same_coord(u->x, x) && tin_same_coord(u->y, y))
           || (tin_same_coord(v->x, x) && tin_same_coord(v->y, y));
}

/* Two break pieces crossing. */
static int break_crossing(int32_t i, int32_t j)
{
    double x, y;
    const bseg *s = &segs[i], *t = &segs[j];
    if (!proper_cross(s, t, &x, &y) || near_end(s, x, y) || near_end(t, x, y))
        return 0;
    double z1 = break_height(s, x, y), z2 = break_height(t, x, y);
    if (fabs(z1 - z2) > tin.eps)
        return refuse_meet("cross", x, y, z1, z2);
    return add_hit(x, y, (z1 + z2) / 2, i, j);
}

/* A break piece (or the LINE) crossing a LINE of the outline or a void:
** the point is put on the LINE, inside its box, at the LINE's height. */
static int area_crossing(int32_t i, int32_t j)
{
    const bseg *s = &segs[i], *t = &segs[j];
    if ((s->group == TIN_BREAK) == (t->group == TIN_BREAK))
        return 0;
    if (s->group != TIN_BREAK) {
        const bseg *w = s;
        s = t;
        t = w;
        int32_t k = i;
        i = j;
        j = k;
    }
    double x, y;
    if (!proper_cross(t, s, &x, &y) || near_end(s, x, y) || near_end(t, x, y))
        return 0;
    x = x < t->xmin ? t->xmin : x > t->xmax ? t->xmax : x;
    y = y < t->ymin ? t->ymin : y > t->ymax ? t->ymax : y;
    double zb = break_height(s, x, y), za = area_height(t, x, y);
    if (fabs(zb - za) > tin.eps)
        return refuse_area("crosses", t->group, x, y, zb, za);
    return add_hit(x, y, za, i, -1);
}

/* ------------------------------------------------------------------------
** Splitting.  Each break piece from `first` to nsegs-1 is cut at the nodes
** found on it; the parts are appended and the piece is emptied (a = -1). */

typedef struct cut {
    double  t;
    int32_t node;
} cut;

static int cut_cmp(const void *p, const void *q)
{
    const cut *a = (const cut *)p, *b = (const cut *)q;
    if (a->t != b->t)
        return a->t < b->t ? -1 : 1;
    return a->node < b->node ? -1 : a->node > b->node;
}

static cut    *cuts;
static int32_t ncuts, cut_cap;

static int add_cut(const bseg *s, int32_t node)
{
    if (grow((void **)&cuts, &cut_cap, ncuts + 1, sizeof(cut)))
        return 1;
    cuts[ncuts].t = along(s, nodes[node].x, nodes[node].y);
    cuts[ncuts].node = node;
    ncuts++;
    return 0;
}

/* Replaces piece i by its parts between the cuts gathered for it. */
static int apply_cuts(int32_t i)
{
    if (ncuts == 0)
        return 0;
    qsort(cuts, (size_t)ncuts, sizeof(cut), cut_cmp);
    int32_t from = segs[i].a, to = segs[i].b;
    int16_t group = segs[i].group;
    segs[i].a = -1;
    for (int32_t c = 0; c <= ncuts; c++) {
        int32_t next = c < ncuts ? cuts[c].node : to;
        if (next == from)
            continue;
        if (add_seg(from, next, group) < 0)
            return 1;
        from = next;
    }
    ncuts = 0;
    return 0;
}

/* Step 2: every node lying on a break piece cuts it.  A survey point's
** height wins; a vertex must agree with the line. */
static int split_at_nodes(int32_t first, int32_t last)
{
    for (int32_t i = first; i < last; i++) {
        bseg s = segs[i];
        if (s.a < 0 || s.group != TIN_BREAK)
            continue;
        for (int r = 0; r < nruns; r++)
            for (int32_t j = run_lower(r, s.xmin); j < run_start[r + 1] && nodes[j].x <= s.xmax + tin.eps; j++) {
                if (!on_seg(&s, j))
                    continue;
                double z = break_height(&s, nodes[j].x, nodes[j].y);
                if (nodes[j].kind == NODE_SURVEY)
                    overrule(nodes[j].x, nodes[j].y, z, nodes[j].z);
                else if (fabs(z - nodes[j].z) > tin.eps)
                    return refuse_meet("meet", nodes[j].x, nodes[j].y, z, nodes[j].z);
                if (add_cut(&s, j))
                    return 1;
            }
        if (apply_cuts(i))
            return 1;
    }
    return 0;
}

/* Sorts the nodes from `start` on into a run of their own, and renumbers
** the hits that name them. */
static int sort_new_run(int32_t start, int32_t count)
{
    int32_t *rank = (int32_t *)malloc((size_t)count * sizeof(int32_t));
    bnode *copy = (bnode *)malloc((size_t)count * sizeof(bnode));
    if (!rank || !copy) {
        free(rank);
        free(copy);
        out_of_memory = 1;
        return 1;
    }
    memcpy(copy, nodes + start, (size_t)count * sizeof(bnode));
    qsort(nodes + start, (size_t)count, sizeof(bnode), node_cmp);
    for (int32_t j = 0; j < count; j++) {
        /* new nodes are never within eps of each other: each position is
        ** found once */
        int32_t lo = 0, hi = count - 1;
        while (lo < hi) {
            int32_t mid = (lo + hi) / 2;
            if (node_cmp(&nodes[start + mid], &copy[j]) < 0) lo = mid + 1; else hi = mid;
        }
        rank[j] = start + lo;
    }
    for (int32_t h = 0; h < nhits; h++)
        if (hits[h].node >= start)
            hits[h].node = rank[hits[h].node - start];
    free(rank);
    free(copy);
    run_start[++nruns] = nnodes;
    return 0;
}

/* Makes nodes of the hits (one run, sorted; hits within eps of each other
** or of an existing node share it) and cuts the pieces they lie on. */
static int nodes_of_hits(void)
{
    if (nhits == 0)
        return 0;
    if (nruns == MAX_RUNS) {
        out_of_memory = 1;
        return 1;
    }
    int32_t start = nnodes;
    for (int32_t h = 0; h < nhits; h++) {
        bhit *k = &hits[h];
        int32_t old = find_node(k->x, k->y);
        if (old >= 0) {
            /* met at a node already there: its height rules as on a line */
            if (nodes[old].kind == NODE_SURVEY)
                overrule(k->x, k->y, k->z, nodes[old].z);
            else if (fabs(nodes[old].z - k->z) > tin.eps)
                return refuse_meet("cross", k->x, k->y, k->z, nodes[old].z);
            k->node = old;
            continue;
        }
        for (int32_t j = start; j < nnodes; j++)
            if (tin_same_coord(nodes[j].x, k->x) && tin_same_coord(nodes[j].y, k->y)) {
                if (fabs(nodes[j].z - k->z) > tin.eps)
                    return refuse_meet("cross", k->x, k->y, k->z, nodes[j].z);
                k->node = j;
                break;
            }
        if (k->node < 0 && (k->node = add_node(k->x, k->y, k->z, NODE_CROSS)) < 0)
            return 1;
    }
    /* the new run must be sorted for the searches */
    int32_t count = nnodes - start;
    if (count > 0 && sort_new_run(start, count))
        return 1;

    /* each piece is cut at the hits on it, in the order of the hits */
    for (int32_t h = 0; h < nhits; h++)
        for (int k = 0; k < 2; k++) {
            int32_t i = hits[h].seg[k];
            if (i < 0 || segs[i].a < 0)
                continue;
            for (int32_t g = h; g < nhits; g++)
                for (int m = 0; m < 2; m++)
                    if (hits[g].seg[m] == i && hits[g].node != segs[i].a && hits[g].node != segs[i].b)
                        if (add_cut(&segs[i], hits[g].node))
                            return 1;
            if (apply_cuts(i))
                return 1;
        }
    nhits = 0;
    return 0;
}

/* Steps 2 and 3, until nothing is left to cut.  A crossing made a point
** may lie within eps of a third line (three lines through nearly one
** point), and the parts of a cut line lie a hair off the line they were
** part of; so each round cuts the pieces at every node on them and makes
** points of the crossings still left, until there are none. */
static int settle(void)
{
    for (int round = 0; round < 5; round++) {
        if (split_at_nodes(0, nsegs) || sweep_pairs(0, nsegs, break_crossing))
            return 1;
        if (nhits == 0)
            return 0;
        if (nodes_of_hits())
            return 1;
    }
    tin_error(" break lines cross too near each other to be joined: draw them apart or "
              "through shared vertices");
    return 1;
}

/* Even-odd test of (x, y) against the LINEs of one group. */
static int inside_lines(double x, double y, int16_t g, int32_t first, int32_t last)
{
    int in = 0;
    for (int32_t i = first; i < last; i++) {
        const bseg *s = &segs[i];
        if (s->a < 0 || s->group != g || y < s->ymin || y > s->ymax)
            continue;
        const bnode *u = &nodes[s->a], *v = &nodes[s->b];
        if ((u->y > y) != (v->y > y) && x < (v->x - u->x) * (y - u->y) / (v->y - u->y) + u->x)
            in = !in;
    }
    return in;
}

/* ------------------------------------------------------------------------ */

/* Two break lines drawn over each other give the same piece twice: only
** the first is kept, the order of the others unchanged.  Returns the count
** kept. */
typedef struct piece_key {
    double  x0, y0, x1, y1;     /* the lower end first */
    int32_t at;
} piece_key;

static int key_cmp(const void *p, const void *q)
{
    const piece_key *a = (const piece_key *)p, *b = (const piece_key *)q;
    if (a->x0 != b->x0) return a->x0 < b->x0 ? -1 : 1;
    if (a->y0 != b->y0) return a->y0 < b->y0 ? -1 : 1;
    if (a->x1 != b->x1) return a->x1 < b->x1 ? -1 : 1;
    if (a->y1 != b->y1) return a->y1 < b->y1 ? -1 : 1;
    return a->at < b->at ? -1 : a->at > b->at;
}

static int32_t drop_repeats(tin_line *l, int32_t n)
{
    piece_key *k = (piece_key *)malloc(((size_t)n + 1) * sizeof(piece_key));
    if (!k)
        return n;           /* kept twice: the triangulation's check refuses */
    for (int32_t i = 0; i < n; i++) {
        int low = l[i].x1 < l[i].x2 || (l[i].x1 == l[i].x2 && l[i].y1 < l[i].y2);
        k[i].x0 = low ? l[i].x1 : l[i].x2;
        k[i].y0 = low ? l[i].y1 : l[i].y2;
        k[i].x1 = low ? l[i].x2 : l[i].x1;
        k[i].y1 = low ? l[i].y2 : l[i].y1;
        k[i].at = i;
    }
    qsort(k, (size_t)n, sizeof(piece_key), key_cmp);
    for (int32_t i = 1; i < n; i++)
        if (k[i].x0 == k[i - 1].x0 && k[i].y0 == k[i - 1].y0 && k[i].x1 == k[i - 1].x1
            && k[i].y1 == k[i - 1].y1)
            l[k[i].at].group = -1;
    free(k);
    int32_t kept = 0;
    for (int32_t i = 0; i < n; i++)
        if (l[i].group == TIN_BREAK)
            l[kept++] = l[i];
    return kept;
}

static void release(void)
{
    free(nodes);
    free(segs);
    free(hits);
    free(cuts);
    nodes = NULL;
    segs = NULL;
    hits = NULL;
    cuts = NULL;
    nnodes = node_cap = nsegs = seg_cap = nhits = hit_cap = ncuts = cut_cap = 0;
}

static int prepare(int32_t npoints, const tin_point *points, int32_t nlines, const tin_line *lines,
                   tin_point **out_points, int32_t *out_npoints, tin_line **out_lines,
                   int32_t *out_nlines)
{
    /* the tolerance the triangulation will choose: from the survey points
    ** and the vertices that join them */
    int32_t nbreak = 0;
    for (int32_t i = 0; i < nlines; i++)
        nbreak += lines[i].group == TIN_BREAK;
    int32_t nvert = 2 * nbreak;
    tin_point *all = (tin_point *)malloc(((size_t)npoints + nvert + 1) * sizeof(tin_point));
    if (!all)
        return out_of_memory = 1;
    memcpy(all, points, (size_t)npoints * sizeof(tin_point));
    int32_t nall = npoints;
    for (int32_t i = 0; i < nlines; i++)
        if (lines[i].group == TIN_BREAK) {
            tin_point p = { lines[i].x1, lines[i].y1, lines[i].z1 };
            tin_point q = { lines[i].x2, lines[i].y2, lines[i].z2 };
            all[nall++] = p;
            all[nall++] = q;
        }
    tin.eps = tin_choose_eps(nall, all);
    tin.eps2 = tin.eps * tin.eps;

    /* run 0: the survey points as the triangulation keeps them */
    int32_t nk = npoints;
    if (tin_sort_points(&nk, all)) {
        free(all);
        return 1;
    }
    for (int32_t i = 0; i < nk; i++)
        if (add_node(all[i].x, all[i].y, all[i].z, NODE_SURVEY) < 0) {
            free(all);
            return 1;
        }
    nruns = 1;
    run_start[0] = 0;
    run_start[1] = nnodes;

    /* run 1: the vertices that are no survey point (step 1) */
    int32_t *vnode = (int32_t *)malloc(((size_t)nvert + 1) * sizeof(int32_t));
    if (!vnode) {
        free(all);
        return out_of_memory = 1;
    }
    tin_point *vert = all + npoints;    /* the vertices, in line order */
    int32_t nnew = 0;
    for (int32_t v = 0; v < nvert; v++) {
        int32_t s = find_node(vert[v].x, vert[v].y);
        if (s >= 0)
            overrule(vert[v].x, vert[v].y, vert[v].z, nodes[s].z);
        vnode[v] = s;
        if (s < 0)
            all[npoints + nnew++] = vert[v];    /* packed in place: nnew <= v */
    }
    /* packing moved the vertices: match them again against the new nodes
    ** below, by position */
    qsort(all + npoints, (size_t)nnew, sizeof(tin_point), tin_point_cmp);
    int32_t vstart = nnodes;
    for (int32_t i = 0; i < nnew; i++) {
        const tin_point *p = &all[npoints + i];
        if (nnodes > vstart) {
            /* within eps of a vertex node kept earlier (sorted: look back
            ** over the nodes within eps in x) */
            int32_t hit = -1;       /* the first in order, as find_node gives */
            for (int32_t j = nnodes - 1; j >= vstart && nodes[j].x >= p->x - tin.eps; j--)
                if (tin_same_coord(nodes[j].x, p->x) && tin_same_coord(nodes[j].y, p->y))
                    hit = j;
            if (hit >= 0) {
                if (fabs(nodes[hit].z - p->z) > tin.eps) {
                    /* p lies in `all`: the message first, then the frees */
                    int refused = refuse_meet("meet", p->x, p->y, nodes[hit].z, p->z);
                    free(all);
                    free(vnode);
                    return refused;
                }
                continue;
            }
        }
        if (add_node(p->x, p->y, p->z, NODE_VERTEX) < 0) {
            free(all);
            free(vnode);
            return 1;
        }
    }
    run_start[++nruns] = nnodes;
    free(all);

    /* the break lines as pieces between nodes */
    int32_t v = 0;
    for (int32_t i = 0; i < nlines; i++) {
        if (lines[i].group != TIN_BREAK)
            continue;
        int32_t a = vnode[v] >= 0 ? vnode[v] : find_node(lines[i].x1, lines[i].y1);
        int32_t b = vnode[v + 1] >= 0 ? vnode[v + 1] : find_node(lines[i].x2, lines[i].y2);
        v += 2;
        if (a >= 0 && b >= 0 && a != b && add_seg(a, b, TIN_BREAK) < 0) {
            free(vnode);
            return 1;
        }
    }
    free(vnode);

    /* steps 2 and 3 */
    if (settle())
        return 1;

    /* step 4: the LINEs of outline and voids, matched to the nodes as the
    ** triangulation matches them */
    int32_t first_area = nsegs;
    for (int32_t i = 0; i < nlines; i++) {
        const tin_line *l = &lines[i];
        if (l->group < 1)
            continue;
        int32_t a = find_node(l->x1, l->y1), b = find_node(l->x2, l->y2);
        if (a >= 0 && b >= 0 && a != b && add_seg(a, b, l->group) < 0)
            return 1;
    }
    int32_t last_area = nsegs;
    int16_t top = 1;                    /* the highest group among them */
    for (int32_t i = first_area; i < last_area; i++)
        top = segs[i].group > top ? segs[i].group : top;
    if (last_area > first_area) {
        /* a vertex or crossing on a LINE takes its height there (within
        ** eps), so that the triangulation splits the LINE at it */
        for (int32_t i = first_area; i < last_area; i++) {
            const bseg *t = &segs[i];
            for (int r = 1; r < nruns; r++)
                for (int32_t j = run_lower(r, t->xmin); j < run_start[r + 1] && nodes[j].x <= t->xmax + tin.eps; j++) {
                    if (!on_seg(t, j))
                        continue;
                    double za = area_height(t, nodes[j].x, nodes[j].y);
                    if (fabs(za - nodes[j].z) > tin.eps)
                        return refuse_area("meets", t->group, nodes[j].x, nodes[j].y, nodes[j].z, za);
                    nodes[j].z = za;
                }
        }
        /* crossings with the LINEs */
        if (sweep_pairs(0, nsegs, area_crossing) || nodes_of_hits() || settle())
            return 1;
        /* the parts outside the area, or along a LINE, are dropped */
        for (int32_t i = 0; i < nsegs; i++) {
            bseg *s = &segs[i];
            if (s->a < 0 || s->group != TIN_BREAK)
                continue;
            double mx = (nodes[s->a].x + nodes[s->b].x) / 2, my = (nodes[s->a].y + nodes[s->b].y) / 2;
            int keep = inside_lines(mx, my, 1, first_area, last_area);
            for (int16_t g = 2; keep && g <= top; g++)
                keep = !inside_lines(mx, my, g, first_area, last_area);
            for (int32_t j = first_area; keep && j < last_area; j++) {
                const bseg *t = &segs[j];
                const bnode *u = &nodes[t->a], *w = &nodes[t->b];
                double len = sqrt((w->x - u->x) * (w->x - u->x) + (w->y - u->y) * (w->y - u->y));
                double k = along(t, mx, my);
                if (k >= 0 && k <= 1) {
                    bnode m = { mx, my, 0, 0 };
                    keep = fabs(orient(u, w, &m)) / len >= tin.eps;
                }
            }
            if (!keep)
                s->a = -1;
        }
    }

    /* the result: the survey points as given, then the new nodes; the
    ** lines as given without the break lines, then the pieces, each once */
    int32_t nout = npoints + (nnodes - run_start[1]);
    tin_point *op = (tin_point *)malloc(((size_t)nout + 1) * sizeof(tin_point));
    int32_t npiece = 0;
    for (int32_t i = 0; i < nsegs; i++)
        npiece += segs[i].a >= 0 && segs[i].group == TIN_BREAK;
    tin_line *ol = (tin_line *)malloc(((size_t)(nlines - nbreak) + npiece + 1) * sizeof(tin_line));
    if (!op || !ol) {
        free(op);
        free(ol);
        return out_of_memory = 1;
    }
    memcpy(op, points, (size_t)npoints * sizeof(tin_point));
    for (int32_t j = run_start[1]; j < nnodes; j++) {
        tin_point p = { nodes[j].x, nodes[j].y, nodes[j].z };
        op[npoints + (j - run_start[1])] = p;
    }
    int32_t nl = 0;
    for (int32_t i = 0; i < nlines; i++)
        if (lines[i].group != TIN_BREAK)
            ol[nl++] = lines[i];
    int32_t first_piece = nl;
    for (int32_t i = 0; i < nsegs; i++) {
        const bseg *s = &segs[i];
        if (s->a < 0 || s->group != TIN_BREAK)
            continue;
        tin_line l;
        l.x1 = nodes[s->a].x; l.y1 = nodes[s->a].y; l.z1 = nodes[s->a].z;
        l.x2 = nodes[s->b].x; l.y2 = nodes[s->b].y; l.z2 = nodes[s->b].z;
        l.group = TIN_BREAK;
        ol[nl++] = l;
    }
    nl = first_piece + drop_repeats(ol + first_piece, nl - first_piece);
    *out_points = op;
    *out_npoints = nout;
    *out_lines = ol;
    *out_nlines = nl;
    return 0;
}

int32_t tin_prepare_breaks(int32_t npoints, const tin_point *points, int32_t nlines,
                           const tin_line *lines, tin_point **out_points, int32_t *out_npoints,
                           tin_line **out_lines, int32_t *out_nlines)
{
    *out_points = NULL;
    *out_lines = NULL;
    *out_npoints = *out_nlines = 0;
    out_of_memory = 0;
    overruled = 0;
    nruns = 0;
    if (npoints < 0 || nlines < 0 || (npoints > 0 && !points) || (nlines > 0 && !lines)) {
        tin_error(" break lines: no points or lines");
        return 1;
    }
    int fault = prepare(npoints, points, nlines, lines, out_points, out_npoints, out_lines,
                        out_nlines);
    release();
    if (fault) {
        if (out_of_memory)
            tin_error(" malloc BREAKS ");
        return 1;
    }
    if (overruled > 0) {
        char text[256];
        snprintf(text, sizeof(text),
                 " %d break line points take the height of the survey point they lie on "
                 "(a difference over %g); the first at (%.10g, %.10g): %.10g becomes %.10g",
                 (int)overruled, tin.eps, over_x, over_y, over_from, over_to);
        tin_warning(text);
    }
    return 0;
}
