/*
** tin_front.cpp -- the third-point search and the validity test of a
** candidate triangle, with the edge grid that speeds the test up.
*/
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "tin_int.h"
#include "tin_pred.h"


/* Values of the edge under search, shared with tin_valid_triangle. */
static double sum_x, sum_y;             /* a.x + b.x, a.y + b.y */
static double edge_x0, edge_x1, edge_y0, edge_y1;

/* The candidate triangle under test. */
static int32_t cand_a, cand_b, cand_k, cand_lo, cand_hi;
static int64_t cand_sum;
static double  box_x0, box_x1, box_y0, box_y1;
static const tin_point *cand_pts;

double tin_safe_acos(double c)
{
    if (c > 1) c = 1;
    if (c < -1) c = -1;
    return acos(c);
}

/* Solves p1*x + q1*y = r1, p2*x + q2*y = r2 by Cramer's rule. */
int tin_circle_centre(double p1, double q1, double r1, double p2, double q2, double r2,
                  double *x, double *y)
{
    double det = p1 * q2 - p2 * q1;
    if (fabs(det) < 1e-150)
        return 1;
    *x = (r1 * q2 - r2 * q1) / det;
    *y = (p1 * r2 - p2 * r1) / det;
    return 0;
}

int tin_on_constraint(int32_t i)
{
    return tin.cons_end != NULL && tin.cons_end[i] != 0;
}

int32_t tin_nearest_point(int32_t m, int32_t n, const tin_point *points)
{
    double best = 1e150;
    int32_t k = -1;
    for (int32_t i = 0; i < n; i++) {
        if (i == m)
            continue;
        double dx = points[i].x - points[m].x, dy = points[i].y - points[m].y;
        double d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            k = i;
        }
    }
    return k;
}

/* ------------------------------------------------------------------------
** The test of one edge against the candidate triangle (a, b, k).
** Result: 0 nothing, 1 the triangle exists already, 2 a new side crosses it.
** An edge (a,k) or (b,k) is noted in e_ak / e_bk (the highest index wins,
** as in a scan in buffer order).
*/
static int edge_check(int32_t e)
{
    const tin_edge *t = &tin.tri[e];
    int32_t u = t->u, v = t->v, o = t->opp;
    int32_t a = cand_a, b = cand_b, k = cand_k;

    if (o != -1) {
        int32_t lo = u < v ? u : v, hi = u < v ? v : u;
        if (o < lo) lo = o;
        if (o > hi) hi = o;
        if (lo == cand_lo && hi == cand_hi && (int64_t)u + v + o == cand_sum)
            return 1;
    }
    if ((u == a && v == b) || (u == b && v == a))
        return 0;
    if (u == k || v == k) {
        int32_t other = u == k ? v : u;
        if (other == a && e > tin.e_ak) tin.e_ak = e;
        if (other == b && e > tin.e_bk) tin.e_bk = e;
        return 0;
    }
    if (t->xmin < box_x1 && t->ymin < box_y1 && box_x0 < t->xmax && box_y0 < t->ymax) {
        const tin_point *p = cand_pts;
        double kx = p[k].x, ky = p[k].y;
        if (u != a && v != a) {
            double su = tin.ak_la * p[u].x + tin.ak_lb * p[u].y - tin.ak_lc;
            double sv = tin.ak_la * p[v].x + tin.ak_lb * p[v].y - tin.ak_lc;
            if (su * sv < 0) {
                double sk = t->la * kx + t->lb * ky - t->lc;
                double sa = t->la * p[a].x + t->lb * p[a].y - t->lc;
                if (sk * sa < 0)
                    return 2;
            }
        }
        if (u != b && v != b) {
            double su = tin.bk_la * p[u].x + tin.bk_lb * p[u].y - tin.bk_lc;
            double sv = tin.bk_la * p[v].x + tin.bk_lb * p[v].y - tin.bk_lc;
            if (su * sv < 0) {
                double sk = t->la * kx + t->lb * ky - t->lc;
                double sb = t->la * p[b].x + t->lb * p[b].y - t->lc;
                if (sk * sb < 0)
                    return 2;
            }
        }
    }
    return 0;
}

/* ------------------------------------------------------------------------
** Edge grid.  The edges, constraint edges and the triangulation's, are
** filed in square cells by their box, and by their two ends.  An edge can
** refuse a candidate, or be its side (a,k) / (b,k), only when
**   - it shares an end with a or b (repeated triangle, existing side), or
**   - its box overlaps the triangle's box (crossing),
** so the ends' lists and the cells under the triangle's box hold every edge
** the full scan would act on; edge_check is the same test either way.
** Edges behind the front (index <= cur_edge) are never scanned again unless
** full_check is set, so they are dropped from the lists as they are met.
**
**   +----+----+----+----+
**   |    | e1 |e1  |    |    triangle box (#) covers 4 cells:
**   +----+####=####+----+    edges filed there are tested,
**   |    #  e2|  k #    |    the others cannot overlap it
**   +----#----+----#----+
**   |    # a  | b  #    |
**   +----######=####----+
*/
#define GRID_BIG_CELLS 16           /* an edge over more cells goes to the big list */
/* A constraint edge may cover more: the big list is scanned for every
** candidate, and a survey's break lines are many and longer than the
** triangles around them. */
#define GRID_BIG_CELLS_CONS 256

/* Lists of edge indices, each in one contiguous array.  Edges are appended
** in buffer order, so a list's live part ids[head .. n-1] is sorted
** ascending and the edges behind the front form a prefix that is dropped by
** moving head.  A list's array pointer, head and count share one record,
** so opening a list costs one read before its edges; the capacities are
** apart, read only when a list grows.  One bit per list tells whether it
** may hold live edges: the bit array is small and dense, so the many cells
** under a triangle box with no edge yet (ahead of the front) or only
** dropped ones (behind it) cost one bit test each, sixty-four at a time. */
typedef struct grid_span {
    int32_t *ids;
    int32_t  head, n;
} grid_span;

typedef struct grid_set {
    grid_span *span;
    int32_t   *cap;
    uint64_t  *live;        /* bit l: list l has had an edge since it was last found empty */
    int32_t    count;
} grid_set;

/* lists 0 .. ncell-1 are the cells, column by column (cell (cx, cy) is list
** cx * grid_ny + cy), then one per point, then the big list */
static int32_t  grid_nx, grid_ny;
static double   grid_x0, grid_y0, grid_cs;
static grid_set lists;
static int32_t  vert_base, big_list, grid_filed;
static int32_t *edge_stamp, stamp_now;
static int      grid_on;

/* The lists' arrays are many and small: they are cut in order from a few
** large blocks (tin_big), whose fresh pages cost one fault each in
** megabytes rather than in kilobytes.  A list that outgrows its array
** moves to one twice the size; the old one stays unused until the grid
** closes. */
#define ARENA_BLOCKS 48
static struct {
    char  *block[ARENA_BLOCKS];
    int    nblock;
    size_t used, room;          /* in the latest block */
} arena;

static int32_t *arena_get(int32_t count)
{
    size_t bytes = ((size_t)count * sizeof(int32_t) + 31) & ~(size_t)31;
    if (arena.nblock == 0 || arena.used + bytes > arena.room) {
        if (arena.nblock == ARENA_BLOCKS)
            return NULL;
        size_t room = (size_t)8 << 20 << (arena.nblock < 3 ? arena.nblock : 3);
        if (room < bytes)
            room = bytes;
        char *b = (char *)tin_big(room);
        if (!b)
            return NULL;
        arena.block[arena.nblock++] = b;
        arena.used = 0;
        arena.room = room;
    }
    int32_t *p = (int32_t *)(arena.block[arena.nblock - 1] + arena.used);
    arena.used += bytes;
    return p;
}

void tin_grid_close(void)
{
    for (int i = 0; i < arena.nblock; i++)
        tin_big_free(arena.block[i]);
    memset(&arena, 0, sizeof arena);
    tin_big_free(lists.span);
    tin_big_free(lists.cap);
    tin_big_free(lists.live);
    tin_big_free(edge_stamp);
    lists.span = NULL;
    lists.cap = NULL;
    lists.live = NULL;
    lists.count = 0;
    edge_stamp = NULL;
    grid_on = 0;
}

int tin_grid_open(int32_t n, const tin_point *points)
{
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
    tin_grid_close();
    for (int32_t i = 0; i < n; i++) {
        if (!isfinite(points[i].x) || !isfinite(points[i].y))
            return 1;
        if (points[i].x < x0) x0 = points[i].x;
        if (points[i].x > x1) x1 = points[i].x;
        if (points[i].y < y0) y0 = points[i].y;
        if (points[i].y > y1) y1 = points[i].y;
    }
    double w = x1 - x0, h = y1 - y0, target = n / 2.0 + 1;
    double cs = (w > 0 && h > 0) ? sqrt(w * h / target) : (w > h ? w : h) / target;
    if (!(cs > 0) || !isfinite(cs))
        return 1;
    double nx = w / cs + 1, ny = h / cs + 1;
    if (nx > 4096) nx = 4096;
    if (ny > 4096) ny = 4096;
    grid_nx = (int32_t)nx;
    grid_ny = (int32_t)ny;
    grid_x0 = x0;
    grid_y0 = y0;
    grid_cs = cs;
    if (w / grid_cs >= grid_nx || h / grid_cs >= grid_ny) {
        /* capped: widen the cells to cover the points */
        double cw = w / (grid_nx - 0.5), ch = h / (grid_ny - 0.5);
        grid_cs = cw > ch ? cw : ch;
    }
    size_t ncell = (size_t)grid_nx * (size_t)grid_ny;
    size_t count = ncell + (size_t)n + 1;
    /* the lists start empty, with no array: each gets one on its first edge */
    lists.span = (grid_span *)tin_big(count * sizeof(grid_span));
    lists.cap = (int32_t *)tin_big(count * sizeof(int32_t));
    lists.live = (uint64_t *)tin_big((count + 63) / 64 * sizeof(uint64_t));
    edge_stamp = (int32_t *)tin_big((size_t)tin.edge_cap * sizeof(int32_t));
    if (!lists.span || !lists.cap || !lists.live || !edge_stamp) {
        tin_grid_close();
        return 1;
    }
    lists.count = (int32_t)count;
    vert_base = (int32_t)ncell;
    big_list = (int32_t)(ncell + n);
    grid_filed = -1;                /* the constraint edges are filed too */
    stamp_now = 0;
    grid_on = 1;
    return 0;
}

static int32_t cell_of(double v, double origin, int32_t count)
{
    double t = (v - origin) / grid_cs;
    if (!(t >= 0))
        return 0;
    if (t >= count)
        return count - 1;
    return (int32_t)t;
}

/* Appends edge e to list l; 1 when out of memory.  A full array first
** sheds its dropped prefix when that frees half of it, else doubles. */
static int list_push(int32_t l, int32_t e)
{
    grid_span *sp = &lists.span[l];
    if (sp->n == lists.cap[l]) {
        if (sp->head > 0 && sp->head >= sp->n / 2) {
            memmove(sp->ids, sp->ids + sp->head,
                    (size_t)(sp->n - sp->head) * sizeof(int32_t));
            sp->n -= sp->head;
            sp->head = 0;
        } else {
            int32_t cap = lists.cap[l] ? lists.cap[l] * 2 : 8;
            int32_t *ni = arena_get(cap);
            if (!ni) return 1;
            if (sp->n > 0)
                memcpy(ni, sp->ids, (size_t)sp->n * sizeof(int32_t));
            sp->ids = ni;
            lists.cap[l] = cap;
        }
    }
    sp->ids[sp->n++] = e;
    lists.live[l >> 6] |= (uint64_t)1 << (l & 63);
    return 0;
}

/* Files the edges appended since the last call; 1 when out of memory. */
static int grid_file_new(void)
{
    while (grid_filed < tin.last_edge) {
        int32_t e = grid_filed + 1;
        const tin_edge *t = &tin.tri[e];
        if (e <= tin.cur_edge && !tin.full_check) {
            grid_filed = e;     /* behind the front: never scanned again */
            continue;
        }
        int32_t cx0 = cell_of(t->xmin, grid_x0, grid_nx), cx1 = cell_of(t->xmax, grid_x0, grid_nx);
        int32_t cy0 = cell_of(t->ymin, grid_y0, grid_ny), cy1 = cell_of(t->ymax, grid_y0, grid_ny);
        if ((int64_t)(cx1 - cx0 + 1) * (cy1 - cy0 + 1)
            > (e < tin.ncons ? GRID_BIG_CELLS_CONS : GRID_BIG_CELLS)) {
            if (list_push(big_list, e)) return 1;
        } else {
            for (int32_t cx = cx0; cx <= cx1; cx++)
                for (int32_t cy = cy0; cy <= cy1; cy++)
                    if (list_push(cx * grid_ny + cy, e)) return 1;
        }
        if (list_push(vert_base + t->u, e) || list_push(vert_base + t->v, e))
            return 1;
        grid_filed = e;
    }
    return 0;
}

/* The edge that refused the latest candidate refused by an edge. */
static int32_t refused_by = -1;

/* Tests the edges of one list, newest first; first drops those below
** `drop_below`.  Returns the first refusal (1 or 2) or 0. */
static inline int scan_list(int32_t l, int32_t drop_below)
{
    if (!(lists.live[l >> 6] >> (l & 63) & 1))
        return 0;
    grid_span *sp = &lists.span[l];
    int32_t head = sp->head, i = sp->n;
    const int32_t *ids = sp->ids;
    while (head < i && ids[head] < drop_below)
        head++;
    sp->head = head;
    if (head == i) {
        lists.live[l >> 6] &= ~((uint64_t)1 << (l & 63));
        return 0;
    }
    while (i > head) {
        int32_t e = ids[--i];
        if (edge_stamp[e] == stamp_now)
            continue;
        edge_stamp[e] = stamp_now;
        int r = edge_check(e);
        if (r) {
            refused_by = e;
            return r;
        }
    }
    return 0;
}

/* The triangulation's edges from `first` to last_edge through the grid.
** Returns the refusal (1 or 2), 0 when none, or -1 when the grid cannot
** serve this query (the caller then scans the buffer itself). */
static int grid_scan(int32_t first)
{
    if (!grid_on)
        return -1;
    if (grid_file_new()) {
        /* out of memory for a list: the run goes on without the grid,
        ** with the plain scan of the buffer (the same answers, slower) */
        tin_grid_close();
        return -1;
    }
    int32_t cx0 = cell_of(box_x0, grid_x0, grid_nx), cx1 = cell_of(box_x1, grid_x0, grid_nx);
    int32_t cy0 = cell_of(box_y0, grid_y0, grid_ny), cy1 = cell_of(box_y1, grid_y0, grid_ny);
    /* the cells are met a column at a time, 64 per word of live bits: a
    ** box that costs more words than there are edges to scan is cheaper
    ** for the plain scan */
    int64_t words = (int64_t)(cx1 - cx0 + 1) * ((cy1 - cy0) / 64 + 2);
    if (words > 8 && words > (int64_t)(tin.last_edge - first + 1))
        return -1;
    if (++stamp_now == 0x7fffffff) {
        memset(edge_stamp, 0, (size_t)tin.edge_cap * sizeof(int32_t));
        stamp_now = 1;
    }
    /* edges behind the front are never scanned again (full_check keeps them) */
    int32_t drop = tin.full_check ? 0 : first;
    int r = scan_list(vert_base + cand_a, drop);
    if (!r) r = scan_list(vert_base + cand_b, drop);
    if (!r) r = scan_list(big_list, drop);
    /* a column of cells is a run of bits: only the lists marked live are
    ** opened.  Column order suits the tall, narrow boxes that the sweep
    ** meets along a column of points; the order of the lists changes only
    ** which refusing edge is met first, never whether one is met. */
    for (int32_t cx = cx0; cx <= cx1 && !r; cx++) {
        int32_t l0 = cx * grid_ny + cy0, l1 = cx * grid_ny + cy1;
        for (int32_t w = l0 >> 6; w <= (l1 >> 6) && !r; w++) {
            uint64_t bits = lists.live[w];
            if (w == (l0 >> 6))
                bits &= ~(uint64_t)0 << (l0 & 63);
            if (w == (l1 >> 6) && (l1 & 63) != 63)
                bits &= ((uint64_t)1 << ((l1 & 63) + 1)) - 1;
            while (bits && !r) {
                r = scan_list(w * 64 + __builtin_ctzll(bits), drop);
                bits &= bits - 1;
            }
        }
    }
    return r;
}

/* ------------------------------------------------------------------------ */

/* Edges that refused recent candidates.  Only hints: any index in the
** range the scan reaches is tested like the scan would, so stale ones (from
** an earlier edge or call) are harmless. */
#define HINTS 4
static int32_t hint_edge[HINTS] = { -1, -1, -1, -1 };

/* Sets what tin_valid_triangle reads of the edge (a, b) under search. */
void tin_valid_begin(const tin_point *points, int32_t a, int32_t b)
{
    const tin_point *pa = &points[a], *pb = &points[b];
    /* cur_edge is -1 while the seed is sought: no area test then */
    tin.need_region = (tin.cur_edge >= 0 && tin.cur_edge < tin.ncons) || tin_on_constraint(a) || tin_on_constraint(b);
    sum_x = pa->x + pb->x;
    sum_y = pa->y + pb->y;
    edge_x0 = pa->x < pb->x ? pa->x : pb->x;
    edge_x1 = pa->x < pb->x ? pb->x : pa->x;
    edge_y0 = pa->y < pb->y ? pa->y : pb->y;
    edge_y1 = pa->y < pb->y ? pb->y : pa->y;
}

/* Sets up the test of the candidate triangle (a, b, k) against edges: its
** box, its corners and their sum, the lines (k, a) and (k, b).  1 when a
** line cannot be made. */
static int cand_begin(const tin_point *points, int32_t a, int32_t b, int32_t k)
{
    const tin_point *pk = &points[k];
    box_x0 = edge_x0 < pk->x ? edge_x0 : pk->x;
    box_x1 = edge_x1 > pk->x ? edge_x1 : pk->x;
    box_y0 = edge_y0 < pk->y ? edge_y0 : pk->y;
    box_y1 = edge_y1 > pk->y ? edge_y1 : pk->y;

    cand_a = a;
    cand_b = b;
    cand_k = k;
    cand_lo = a < b ? a : b;
    cand_hi = a < b ? b : a;
    if (k < cand_lo) cand_lo = k;
    if (k > cand_hi) cand_hi = k;
    cand_sum = (int64_t)a + b + k;
    cand_pts = points;

    return tin_lpp(pk->x, pk->y, points[a].x, points[a].y, &tin.ak_la, &tin.ak_lb, &tin.ak_lc)
           || tin_lpp(pk->x, pk->y, points[b].x, points[b].y, &tin.bk_la, &tin.bk_lb, &tin.bk_lc);
}

/* Does edge e, in the range the validity scan reaches, refuse the
** triangle (a, b, k) (tin_valid_begin having been called for (a, b))?
** One such edge makes the scan refuse it, whatever else it meets. */
int tin_edge_refuses(const tin_point *points, int32_t a, int32_t b, int32_t k, int32_t e)
{
    if (cand_begin(points, a, b, k))
        return 1;
    tin.e_ak = tin.e_bk = -1;
    return edge_check(e) != 0;
}

int tin_valid_triangle(const tin_point *points, int32_t a, int32_t b, int32_t k)
{
    const tin_point *pk = &points[k];

    if (tin.need_region
        && tin_outside_area((sum_x + pk->x) / 3, (sum_y + pk->y) / 3))
        return 1;
    if (cand_begin(points, a, b, k))
        return 1;

    tin.e_ak = tin.e_bk = -1;
    int32_t start = (tin.cur_edge < tin.ncons || tin.full_check) ? 0 : tin.cur_edge + 1;
    int r = 0;

    /* The sweep meets runs of candidates refused by the same few edges:
    ** the last four refusing edges are tried first.  Any edge that the scan
    ** below would reach and that refuses the triangle makes the scan refuse
    ** it too (first refusal or not), so the answer is the same.  The scan
    ** reaches edge e when start <= e <= last_edge and, for a constraint
    ** edge, the ymax cut has not come before it (ymax order: none of the
    ** edges before e is cut when e is not). */
    if (tin_opts.use_hints) {
        for (int h = 0; h < HINTS; h++) {
            int32_t he = hint_edge[h];
            if (he < start || he > tin.last_edge || (he < tin.ncons && box_y0 > tin.tri[he].ymax))
                continue;
            if ((r = edge_check(he)) != 0) {
                if (r == 2)
                    tin.e_ak = tin.e_bk = -1;
                return 1;
            }
        }
        tin.e_ak = tin.e_bk = -1;
        refused_by = -1;
    }

    /* the grid holds every edge, the constraint edges among them: while the
    ** constraint edges are being processed (start 0) it finds those that
    ** can act without the scan over all of them, which many break lines
    ** would make long */
    r = (tin_opts.use_grid && start <= tin.last_edge) ? grid_scan(start) : -1;
    if (r == -1) {
        /* constraint edges: sorted by ymax, largest first; once one lies
        ** wholly below the triangle, so do all the rest */
        int32_t e = start;
        r = 0;
        for (; e < tin.ncons && e <= tin.last_edge; e++) {
            if (box_y0 > tin.tri[e].ymax)
                break;
            if ((r = edge_check(e)) != 0) {
                refused_by = e;
                break;
            }
        }
        if (e < tin.ncons)
            e = tin.ncons;
        for (e = e > start ? e : start; !r && e <= tin.last_edge; e++)
            if ((r = edge_check(e)) != 0)
                refused_by = e;
    }
    if (r && tin_opts.use_hints && refused_by != -1) {
        /* newest first; an edge already held moves to the front */
        int h = 0;
        while (h < HINTS - 1 && hint_edge[h] != refused_by)
            h++;
        for (; h > 0; h--)
            hint_edge[h] = hint_edge[h - 1];
        hint_edge[0] = refused_by;
    }
    if (r == 2)
        tin.e_ak = tin.e_bk = -1;
    return r ? 1 : 0;
}

/* ------------------------------------------------------------------------
** Point bands.  The sweep below visits the x-sorted points one index at a
** time, and once a circle is known most of them lie in the window's x range
** but far outside its y range, so they are refused by the y test alone.
** The bands let the sweep jump over such points without changing which
** points it tests or in what order:
**
**   y ^  band 3 | . :  .  : .  |        the points are cut into blocks of
**     |  band 2 |.  : .  .:  . |        64 consecutive indices; per block
**     |  band 1 | . :.   .: .  |        and band a 64-bit mask holds the
**     |  band 0 |  .:  .  :.  .|        points whose band is <= that band,
**     +---------+---:-----:----+-> x    so a block's points in bands b0..b1
**              block  block             are cum[b1] & ~cum[b0-1]
**
** A point's band comes from its y by a monotone formula, and the window's
** band range from ymin and ymax by the same formula, so a point whose band
** is outside the range has y < ymin or y > ymax: the plain sweep would skip
** it at the y test as well.  Every point inside the range still goes through
** the full list of tests.
*/
#define BAND_MAX 256

static uint64_t *band_cum;          /* [block * band_count + band] */
static int32_t   band_count, band_blocks;
static double    band_y0, band_scale;

void tin_bands_close(void)
{
    tin_big_free(band_cum);
    band_cum = NULL;
}

static int32_t band_of(double y)
{
    double t = (y - band_y0) * band_scale;
    if (!(t >= 0))
        return 0;
    if (t >= band_count)
        return band_count - 1;
    return (int32_t)t;
}

int tin_bands_open(int32_t n, const tin_point *points)
{
    double y0 = 1e300, y1 = -1e300;
    tin_bands_close();
    for (int32_t i = 0; i < n; i++) {
        if (!isfinite(points[i].x) || !isfinite(points[i].y))
            return 1;
        if (points[i].y < y0) y0 = points[i].y;
        if (points[i].y > y1) y1 = points[i].y;
    }
    if (!(y1 > y0))
        return 1;
    /* about one band per circle height of an even spread: sqrt(n) / 2 */
    double want = sqrt((double)n) / 2;
    band_count = want < 8 ? 8 : want > BAND_MAX ? BAND_MAX : (int32_t)want;
    band_scale = band_count / (y1 - y0);
    band_y0 = y0;
    if (!isfinite(band_scale) || !(band_scale > 0))
        return 1;
    band_blocks = (int32_t)(((int64_t)n + 63) / 64);
    band_cum = (uint64_t *)tin_big((size_t)band_blocks * (size_t)band_count * sizeof(uint64_t));
    if (!band_cum)
        return 1;
    for (int32_t i = 0; i < n; i++)
        band_cum[(size_t)(i >> 6) * band_count + band_of(points[i].y)] |= (uint64_t)1 << (i & 63);
    for (int32_t blk = 0; blk < band_blocks; blk++) {
        uint64_t *c = &band_cum[(size_t)blk * band_count];
        for (int32_t b = 1; b < band_count; b++)
            c[b] |= c[b - 1];
    }
    return 0;
}

/* Mask of the points of block `blk` whose band lies in b0..b1. */
static uint64_t band_mask(int32_t blk, int32_t b0, int32_t b1)
{
    const uint64_t *c = &band_cum[(size_t)blk * band_count];
    return b0 > 0 ? c[b1] & ~c[b0 - 1] : c[b1];
}

/* ------------------------------------------------------------------------
** Point blocks.  The same blocks of 64 consecutive indices carry two more
** filters, each with its own switch.  Until the first point is taken the
** window is unbounded, and most points the sweep meets then are refused
** either because they lie on opp's side of the edge or because they are
** closed; both refusals come before any test with a side effect.
**
**  - sides: per block the box of its points.  The side value
**    la*x + lb*y - lc is monotone in x and in y, so its least and greatest
**    value over the block sit at two corners of the box:
**
**          y ^   +--------+ <- greatest (la >= 0, lb >= 0)
**            |   | . .  . |
**            |   |.  . .  |        edge line la*x + lb*y = lc
**            |   +--------+        . . . . . . . . . . . . .
**            |   ^ least
**            +---------------> x
**
**    The sweep refuses a point unless s(opp)*s(j) < 0, so with s(opp) > 0
**    a block whose least value is above 0 (s(opp) < 0: greatest below 0)
**    holds no point it could take.  The corner value is held against a
**    margin far above the rounding of the sum, so the computed s(j) of
**    every point of a skipped block has the same sign as the bound.
**  - open: per block a mask of the points not closed, kept up to date as
**    tin_third_point adds angles (with the fast search's lazy sums it may
**    also hold closed points: see consider).
*/

static double   *blk_box;           /* [block * 4]: xmin, xmax, ymin, ymax */
static uint64_t *open_bits;         /* [block]: bit set = point not closed */
static int32_t   blk_count, blk_n;

void tin_blocks_close(void)
{
    free(blk_box);
    free(open_bits);
    blk_box = NULL;
    open_bits = NULL;
}

static int is_closed(int32_t i)
{
    return tin_closed(tin.sum_of ? tin.sum_of(i) : TIN_PANGLE(i));
}

/* Builds the filters whose switch is on; a filter that cannot be built is
** left out (the sweep then tests those points one by one).  1 when neither
** could be built. */
int tin_blocks_open(int32_t n, const tin_point *points)
{
    tin_blocks_close();
    blk_n = n;
    blk_count = (int32_t)(((int64_t)n + 63) / 64);
    if (tin_opts.use_sides) {
        blk_box = (double *)malloc((size_t)blk_count * 4 * sizeof(double));
        for (int32_t blk = 0; blk_box && blk < blk_count; blk++) {
            double *bx = &blk_box[(size_t)blk * 4];
            bx[0] = bx[2] = 1e300;
            bx[1] = bx[3] = -1e300;
            for (int32_t i = blk * 64; i < n && i < blk * 64 + 64; i++) {
                const tin_point *p = &points[i];
                if (!isfinite(p->x) || !isfinite(p->y)) {
                    free(blk_box);
                    blk_box = NULL;
                    break;
                }
                if (p->x < bx[0]) bx[0] = p->x;
                if (p->x > bx[1]) bx[1] = p->x;
                if (p->y < bx[2]) bx[2] = p->y;
                if (p->y > bx[3]) bx[3] = p->y;
            }
        }
    }
    if (tin_opts.use_open && tin.pangle) {
        open_bits = (uint64_t *)calloc((size_t)blk_count, sizeof(uint64_t));
        /* (with lazy sums the caller fills the mask: tin_open_sync) */
        for (int32_t i = 0; open_bits && !tin.sum_of && i < n; i++)
            if (!is_closed(i))
                open_bits[i >> 6] |= (uint64_t)1 << (i & 63);
    }
    return blk_box || open_bits ? 0 : 1;
}

/* Brings every open bit in line with the angle sums, after a run of
** changes that were not followed one by one: the sums are read in their
** own order (pangle[m] is point at[m]'s; at NULL: point m's).  A point
** whose lazy[m] has TIN_SUM_LAZY (lazy NULL: none) is left open: its sum
** is not whole, and the search asks for the whole one (consider). */
void tin_open_sync(const int32_t *at, const uint8_t *lazy)
{
    if (!open_bits)
        return;
    memset(open_bits, 0, (size_t)blk_count * sizeof(uint64_t));
    for (int32_t m = 0; m < blk_n; m++) {
        int32_t i = at ? at[m] : m;
        if (!tin_closed(tin.pangle[m]) || (lazy && (lazy[m] & TIN_SUM_LAZY)))
            open_bits[i >> 6] |= (uint64_t)1 << (i & 63);
    }
}

/* Point i may be open: its bit is set (with lazy sums the mask may then
** hold a closed point, never miss an open one). */
void tin_open_set(int32_t i)
{
    if (open_bits && i >= 0 && i < blk_n)
        open_bits[i >> 6] |= (uint64_t)1 << (i & 63);
}

/* Brings point i's open bit in line with its angle sum. */
void tin_open_mark(int32_t i)
{
    if (!open_bits || i < 0 || i >= blk_n)
        return;
    uint64_t bit = (uint64_t)1 << (i & 63);
    if (is_closed(i))
        open_bits[i >> 6] &= ~bit;
    else
        open_bits[i >> 6] |= bit;
}

/* ------------------------------------------------------------------------
** tin_third_point: the point k that sees the edge (a, b) under the widest angle,
** on the side away from opp (either side when opp is -1).
**
** The sweep runs over the x-sorted points outward from the lower index:
**
**     index:  ... base-2  base-1  [base]  base+1  base+2 ...
**     order:        4       2               1       3
**
** and each side stops for good at the first point beyond the box of the best
** circle found so far (the circle through a, b and the accepted k, widened
** 0.1 %): no point outside that circle can see the edge under a wider angle.
*/

/* The search state, shared by the sweep and the test of one candidate. */
static const tin_point *sw_pts, *sw_pa, *sw_pb;
static int32_t sw_a, sw_b, sw_opp, sw_k;
static double  sw_la, sw_lb, sw_lc, sw_s_opp, sw_ratio, sw_best;
static double  sw_p1, sw_q1, sw_r1;
static double  sw_xmin, sw_xmax, sw_ymin, sw_ymax;
/* The filters of the masked sweep: bands b0..b1 (when on and narrower than
** all bands), the side test of blocks (sw_side: +1 skip blocks wholly above
** the line, -1 wholly below, 0 none; sw_cx, sw_cy pick the box corner), the
** open mask. */
static int     sw_bands, sw_side, sw_open, sw_cx, sw_cy;
static int     sw_one_side;     /* only points with s(j) of the sign opposite to sw_s_opp */
static int32_t sw_b0, sw_b1;
static double  sw_flat;         /* |s| below this on the far side: refused as flat */
/* The lens filter (with the bands): once the best angle is obtuse, only
** points in the box sw_l* can beat it, indices sw_i0 .. sw_i1 (see set_bands) */
static int     sw_lens;
static int32_t sw_n, sw_i0, sw_i1;
static double  sw_len, sw_ly0, sw_ly1;

/* The side value of a point: the sweep's side test and the block bound of
** the side filter use this one expression. */
static inline double side_value(double x, double y)
{
    return sw_la * x + sw_lb * y - sw_lc;
}

/* Tests point j and takes it when it beats the best so far; 1 when taken
** (the window has then changed). */
static int consider(int32_t j)
{
    const tin_point *pj = &sw_pts[j], *pa = sw_pa, *pb = sw_pb;
    /* with the open mask on, the masked sweep offers only points whose bit
    ** says open, and the bit follows every change of a point's sum (no sum
    ** changes during a search): the sum need not be read again.  With lazy
    ** sums (tin.sum_of) the mask may also offer closed points, and a sum
    ** is costly to bring up to date: it is asked for below, of a point
    ** that passes every other test first (the tests have no effects, so
    ** their order does not change the answer) */
    if (!sw_open && !tin.sum_of && tin_closed(TIN_PANGLE(j)))
        return 0;
    if (pj->y > sw_ymax || pj->y < sw_ymin)
        return 0;
    if (j == sw_a || j == sw_b || j == sw_opp)
        return 0;
    double sj = side_value(pj->x, pj->y);
    if (sw_one_side && !(sw_s_opp * sj < 0))
        return 0;
    double c = tin_cosine(pa, pb, pj);
    if (!(c < sw_best))
        return 0;
    /* flat: nearly on the edge's line, or exactly on it.  The rounded side
    ** value of a point on the line can exceed the tolerance (a slope like
    ** 1/100 is not exact in binary), and such a point sees the edge under
    ** the widest angle of all: taken, it laid a triangle of no area along
    ** the hull and others over it */
    if (fabs(sj) * sw_ratio < tin.eps2 || tin_orient(pa, pb, pj) == 0)
        return 0;
    if (tin.sum_of && tin_closed(tin.sum_of(j)))
        return 0;
    if (tin_valid_triangle(sw_pts, sw_a, sw_b, j))
        return 0;

    sw_best = c;
    sw_k = j;
    tin.held_ak_la = tin.ak_la; tin.held_ak_lb = tin.ak_lb; tin.held_ak_lc = tin.ak_lc;
    tin.held_bk_la = tin.bk_la; tin.held_bk_lb = tin.bk_lb; tin.held_bk_lc = tin.bk_lc;
    tin.held_ak = tin.e_ak;
    tin.held_bk = tin.e_bk;
    double cx, cy;
    double p2 = -tin.ak_lb, q2 = tin.ak_la;
    double r2 = ((pa->x + pj->x) / 2) * (-tin.ak_lb) + ((pa->y + pj->y) / 2) * tin.ak_la;
    if (tin_circle_centre(sw_p1, sw_q1, sw_r1, p2, q2, r2, &cx, &cy) == 0) {
        double r = sqrt((cx - pa->x) * (cx - pa->x) + (cy - pa->y) * (cy - pa->y)) * 1.001;
        sw_xmin = cx - r;
        sw_xmax = cx + r;
        sw_ymin = cy - r;
        sw_ymax = cy + r;
    }
    return 1;
}

/* The sweep one index at a time, from the cursors given; with `until_taken`
** it returns after the first point taken, the cursors on the next indices
** to test. */
static void sweep_plain(int32_t n, int32_t *up, int32_t *down, int *up_on, int *down_on,
                        int until_taken)
{
    const tin_point *points = sw_pts;
    while (*up_on || *down_on) {
        if (*up_on) {
            if (*up >= n || points[*up].x > sw_xmax)
                *up_on = 0;
            else if (consider((*up)++) && until_taken)
                return;
        }
        if (*down_on) {
            if (*down < 0 || points[*down].x < sw_xmin)
                *down_on = 0;
            else if (consider((*down)--) && until_taken)
                return;
        }
    }
}

/* The lens.  The window is the box of the whole best circle, but a point
** beats the best only where it sees (a, b) under a wider angle, inside the
** circle's cap beyond (a, b) or, on the near side (a search of both sides),
** inside that cap's mirror image.  Once the angle is obtuse both caps are
** the minor ones: they lie between the perpendiculars at a and b and
** within their height h of the line (a, b), and the box of that strip is
** far smaller than the window when the angle is wide:
**
**        .-~~~~~~-.          circle through a, b, k; angle at k obtuse
**      /            \
**     |              |      ____ the strip: |a-b| long, h each side;
**      \     k      /       the caps (k's and its mirror) lie in it
**   ----a=========b----
**         mirror
**
** The cosine a point's test computes lies within 2e-15 of its true value,
** so a point the test could find below the best lies where the true
** cosine is below best + 1e-12: the caps of that cosine, their height
** widened again for the rounding of the box.  A point outside the box is
** refused by the cosine test, so the sweep may pass over it; the window
** and the sides' stops are as before. */
static void set_lens(void)
{
    sw_lens = 0;
    double c = sw_best + 1e-12;
    if (!(c <= 0) || !(sw_len > 0))
        return;
    const tin_point *pa = sw_pa, *pb = sw_pb;
    double h = sw_len / 2 * sqrt((1 + c) / (1 - c));
    double big = fmax(fmax(fabs(pa->x), fabs(pb->x)), fmax(fabs(pa->y), fabs(pb->y)));
    h += h * 1e-6 + sw_len * 1e-9 + ldexp(big, -40);
    double x0 = fmin(pa->x, pb->x) - h, x1 = fmax(pa->x, pb->x) + h;
    sw_ly0 = fmin(pa->y, pb->y) - h;
    sw_ly1 = fmax(pa->y, pb->y) + h;
    if (!isfinite(h) || !isfinite(x0) || !isfinite(x1) || !isfinite(sw_ly0) || !isfinite(sw_ly1))
        return;
    /* x ascends with the index: the first index with x >= x0, the last
    ** with x <= x1 */
    int32_t lo = 0, hi = sw_n;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (sw_pts[mid].x >= x0) hi = mid; else lo = mid + 1;
    }
    sw_i0 = lo;
    hi = sw_n;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (sw_pts[mid].x > x1) hi = mid; else lo = mid + 1;
    }
    sw_i1 = lo - 1;
    sw_lens = 1;
}

/* The window's band range, or no band filter when the range holds all;
** narrowed to the lens's. */
static void set_bands(void)
{
    if (!sw_bands)
        return;
    sw_b0 = band_of(sw_ymin);
    sw_b1 = band_of(sw_ymax);
    if (sw_ymin != sw_ymin) sw_b0 = 0;           /* NaN bound: no limit */
    if (sw_ymax != sw_ymax) sw_b1 = band_count - 1;
    set_lens();
    if (sw_lens) {
        int32_t l0 = band_of(sw_ly0), l1 = band_of(sw_ly1);
        if (l0 > sw_b0) sw_b0 = l0;
        if (l1 < sw_b1) sw_b1 = l1;
    }
}

/* 1 when every point of block `blk` is refused by the side test or, being
** within sw_flat of the line on the far side, by the area test.
**
** Each rounded step of side_value is monotone in its operands, so the
** value at the corner bounds the value of every point in the box exactly,
** provided both are rounded the same way.  Where the compiler may fuse a
** product into an addition (fast FMA), the two may be rounded differently;
** a margin far above that difference is then taken off. */
static int block_on_opp_side(int32_t blk)
{
    const double *bx = &blk_box[(size_t)blk * 4];
    double s = side_value(bx[sw_cx], bx[sw_cy]);
#ifdef __FP_FAST_FMA
    double mx = fabs(bx[0]) > fabs(bx[1]) ? fabs(bx[0]) : fabs(bx[1]);
    double my = fabs(bx[2]) > fabs(bx[3]) ? fabs(bx[2]) : fabs(bx[3]);
    double margin = (fabs(sw_la) * mx + fabs(sw_lb) * my + fabs(sw_lc)) * 1e-14;
    s = sw_side > 0 ? s - margin : s + margin;
#endif
    /* s(opp) > 0: a point is refused when s(j) >= 0, or when
    ** |s(j)| * ratio < eps2; the least value s lies at or above -sw_flat */
    if (sw_side > 0)
        return s >= 0 || s > -sw_flat;
    return s <= 0 || s < sw_flat;
}

/* The points of block `blk` that the filters leave to be tested; the part
** that does not hang on the window is kept per sweep side (slot 0 upper,
** 1 lower), as a side often tests many points of one block in turn. */
static int32_t  sw_memo_blk[2];
static uint64_t sw_memo_mask[2];

static uint64_t cand_mask(int32_t blk, int slot)
{
    uint64_t m;
    if (sw_memo_blk[slot] == blk) {
        m = sw_memo_mask[slot];
    } else {
        m = sw_open ? open_bits[blk] : ~(uint64_t)0;
        if (sw_side && m && block_on_opp_side(blk))
            m = 0;
        sw_memo_blk[slot] = blk;
        sw_memo_mask[slot] = m;
    }
    if (m && sw_bands && (sw_b0 > 0 || sw_b1 < band_count - 1))
        m &= band_mask(blk, sw_b0, sw_b1);
    if (m && sw_lens) {
        int32_t lo = blk * 64;
        if (sw_i0 > lo)
            m &= sw_i0 - lo >= 64 ? 0 : ~(uint64_t)0 << (sw_i0 - lo);
        if (sw_i1 < lo + 63)
            m &= sw_i1 < lo ? 0 : ~(uint64_t)0 >> (63 - (sw_i1 - lo));
    }
    return m;
}

/* One side of the masked sweep.  `next` is the next index to test; the
** indices from `next` up to (upper side) or down to (lower side) `front`,
** `front` excluded, have been looked at: the filters refuse them all and
** none is beyond the window in x.  `state` says what lies at `at`:
** SIDE_OPEN nothing known yet, SIDE_CAND a point to test, SIDE_STOP the
** side's stop (the first index beyond the window or the array). */
enum { SIDE_OPEN, SIDE_CAND, SIDE_STOP };

typedef struct sweep_side {
    int     on;
    int     state;
    int32_t next, front, at;
} sweep_side;

static void side_restart(sweep_side *sd, int32_t next)
{
    sd->next = sd->front = next;
    sd->state = SIDE_OPEN;
}

/* The first index in lo..hi whose x exceeds the window's xmax (x ascends;
** hi when none before it does). */
static int32_t first_past_xmax(int32_t lo, int32_t hi)
{
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (sw_pts[mid].x > sw_xmax) hi = mid; else lo = mid + 1;
    }
    return lo;
}

/* Looks at the rest of the block holding up->front. */
static void look_up(sweep_side *up, int32_t n)
{
    const tin_point *points = sw_pts;
    int32_t f = up->front;
    if (f >= n) {
        up->state = SIDE_STOP;
        up->at = n;
        return;
    }
    if (sw_lens && f > sw_i1) {
        /* nothing left to test: straight to the stop */
        up->state = SIDE_STOP;
        up->at = first_past_xmax(f, n);
        return;
    }
    int32_t e = (f & ~63) + 64 < n ? (f & ~63) + 64 : n;
    uint64_t m = cand_mask(f >> 6, 0) & (~(uint64_t)0 << (f & 63));
    int32_t j = m ? (f & ~63) + __builtin_ctzll(m) : e;
    if (j > e) j = e;
    int32_t last = j < e ? j : e - 1;
    if (points[last].x > sw_xmax) {
        /* the stop lies in f..last */
        up->state = SIDE_STOP;
        up->at = first_past_xmax(f, last);
    } else if (j < e) {
        up->state = SIDE_CAND;
        up->at = j;
    } else {
        up->front = e;
        if (e >= n) {
            up->state = SIDE_STOP;
            up->at = n;
        }
    }
}

/* Looks at the rest of the block holding down->front, downwards. */
static void look_down(sweep_side *dn)
{
    const tin_point *points = sw_pts;
    int32_t f = dn->front;
    if (f < 0) {
        dn->state = SIDE_STOP;
        dn->at = -1;
        return;
    }
    if (sw_lens && f < sw_i0) {
        /* nothing left to test: straight to the stop, the last x < xmin */
        int32_t lo = -1, hi = f;
        while (lo < hi) {
            int32_t mid = hi - (hi - lo) / 2;
            if (points[mid].x < sw_xmin) lo = mid; else hi = mid - 1;
        }
        dn->state = SIDE_STOP;
        dn->at = lo;
        return;
    }
    int32_t e = f & ~63;                         /* lowest index of the block */
    uint64_t m = cand_mask(f >> 6, 1) & (~(uint64_t)0 >> (63 - (f & 63)));
    int32_t j = m ? e + 63 - __builtin_clzll(m) : e - 1;
    int32_t last = j >= e ? j : e;
    if (points[last].x < sw_xmin) {
        /* the stop lies in last..f: the last x < xmin */
        int32_t lo = last, hi = f;
        while (lo < hi) {
            int32_t mid = hi - (hi - lo) / 2;
            if (points[mid].x < sw_xmin) lo = mid; else hi = mid - 1;
        }
        dn->state = SIDE_STOP;
        dn->at = lo;
    } else if (j >= e) {
        dn->state = SIDE_CAND;
        dn->at = j;
    } else {
        dn->front = e - 1;
        if (e == 0) {
            dn->state = SIDE_STOP;
            dn->at = -1;
        }
    }
}

/* The same sweep, jumping over the points the filters refuse (outside the
** window's bands, on opp's side, closed): each of them would be refused by
** consider before any test with a side effect.
**
** Between two acceptances the window is fixed, so each side's run is known:
** the upper side tests base+d for d = 1, 2, ... until the first index whose
** x exceeds xmax (its stop), the lower side likewise down to xmin.  Of these
** only the points left by the filters can be taken; they are tested in the
** plain sweep's order (by distance d, the upper side first at equal d).
** The two sides look ahead one block at a time, the one behind first, so
** neither runs far past the other's next point.
** When one is taken at distance d the window changes: the other side has by
** then tested its indices up to d (upper side) or d - 1 (lower side) with
** the old window, and has stopped for good if its stop lay among them; it
** goes on from the next index the plain sweep would test.
*/
static void sweep_masked(int32_t n, int32_t base)
{
    sweep_side up, dn;
    up.on = dn.on = 1;
    up.next = base + 1;
    dn.next = base - 1;
    /* With the bands alone, until a point is taken the window has no bounds
    ** and every band is in it: the plain steps are cheaper.  When one is
    ** taken after the upper side's step at distance d, the lower side's step
    ** at d still follows; the cursors say just that. */
    if (!sw_side && !sw_open)
        sweep_plain(n, &up.next, &dn.next, &up.on, &dn.on, 1);
    set_bands();
    side_restart(&up, up.next);
    side_restart(&dn, dn.next);

    for (;;) {
        /* the least distance at which each side may still hold a point */
        int32_t lu = INT32_MAX, ld = INT32_MAX;
        if (up.on && up.state != SIDE_STOP)
            lu = (up.state == SIDE_CAND ? up.at : up.front) - base;
        if (dn.on && dn.state != SIDE_STOP)
            ld = base - (dn.state == SIDE_CAND ? dn.at : dn.front);
        if (lu == INT32_MAX && ld == INT32_MAX)
            break;

        int upper;
        if (up.on && up.state == SIDE_CAND && lu <= ld) {
            upper = 1;
        } else if (dn.on && dn.state == SIDE_CAND && ld < lu) {
            upper = 0;
        } else {
            /* look further on the side that is behind */
            if (up.on && up.state == SIDE_OPEN && (dn.state != SIDE_OPEN || !dn.on || lu <= ld))
                look_up(&up, n);
            else
                look_down(&dn);
            continue;
        }

        if (upper) {
            int32_t j = up.at, d = j - base;
            side_restart(&up, j + 1);
            if (!consider(j))
                continue;
            /* lower side: tested up to d - 1 with the old window */
            if (dn.on && dn.state == SIDE_STOP && base - dn.at < d)
                dn.on = 0;
            else if (dn.on)
                side_restart(&dn, base - d);
        } else {
            int32_t j = dn.at, d = base - j;
            side_restart(&dn, j - 1);
            if (!consider(j))
                continue;
            /* upper side: tested up to d with the old window */
            if (up.on && up.state == SIDE_STOP && up.at - base <= d)
                up.on = 0;
            else if (up.on)
                side_restart(&up, base + d + 1);
        }
        set_bands();
    }
}

int tin_third_point(int32_t n, const tin_point *points, int32_t a, int32_t b,
                int32_t opp, int32_t *k_out)
{
    const tin_point *pa = &points[a], *pb = &points[b];
    double la = tin.edge_la, lb = tin.edge_lb, lc = tin.edge_lc;
    double norm = sqrt(la * la + lb * lb);

    sw_pts = points;
    sw_pa = pa;
    sw_pb = pb;
    sw_a = a;
    sw_b = b;
    sw_opp = opp;
    sw_la = la;
    sw_lb = lb;
    sw_lc = lc;
    /* with no opp, tin.search_side may still ask for one side: as if opp
    ** stood on the other */
    sw_s_opp = opp != -1 ? la * points[opp].x + lb * points[opp].y - lc : -tin.search_side;
    sw_one_side = opp != -1 || tin.search_side != 0;
    sw_best = 1e30;
    sw_k = -1;

    tin.held_ak = tin.held_bk = -1;
    tin_valid_begin(points, a, b);
    double len = tin_edge_len(pa, pb);
    sw_ratio = len / norm;
    sw_len = len;
    sw_n = n;
    sw_lens = 0;
    sw_xmin = -1e300;
    sw_xmax = 1e300;
    sw_ymin = -1e300;
    sw_ymax = 1e300;
    /* perpendicular bisector of (a, b) */
    sw_p1 = -lb;
    sw_q1 = la;
    sw_r1 = (sum_x / 2) * (-lb) + (sum_y / 2) * la;

    int32_t base = a < b ? a : b;
    sw_bands = tin_opts.use_bands && band_cum;
    sw_open = tin_opts.use_open && open_bits && blk_n == n;
    sw_side = 0;
    sw_memo_blk[0] = sw_memo_blk[1] = -1;
    if (tin_opts.use_sides && blk_box && blk_n == n && sw_one_side) {
        /* a point with |s| * ratio < eps2 is refused as flat: with
        ** |s| < eps2 / ratio, a hair less for the rounding, it surely is.
        ** s(opp) > 0: skip blocks whose least value is >= -sw_flat, found
        ** at the low corner in each coordinate whose coefficient is >= 0 */
        sw_flat = tin.eps2 / sw_ratio * (1 - 1e-9);
        if (!(sw_ratio > 0) || !isfinite(sw_ratio) || !isfinite(sw_flat) || !(sw_flat > 0))
            sw_flat = 0;
        if (sw_s_opp > 0) {
            sw_side = 1;
            sw_cx = la >= 0 ? 0 : 1;
            sw_cy = lb >= 0 ? 2 : 3;
        } else if (sw_s_opp < 0) {
            sw_side = -1;
            sw_cx = la >= 0 ? 1 : 0;
            sw_cy = lb >= 0 ? 3 : 2;
        }
    }
    if (sw_bands || sw_open || sw_side) {
        sweep_masked(n, base);
    } else {
        int32_t up = base + 1, down = base - 1;
        int up_on = 1, down_on = 1;
        sweep_plain(n, &up, &down, &up_on, &down_on, 0);
    }

    int32_t k = sw_k;
    double best = sw_best;
    if (k == -1)
        return 1;

    tin_place(points, a, b, k, best);
    *k_out = k;
    return 0;
}

/* The angle units of the triangle (a, b, k): see tin_angle_units_of. */
void tin_angle_units(const tin_point *points, int32_t a, int32_t b, int32_t k, double best,
                     int64_t units[3])
{
    const tin_point *pa = &points[a], *pb = &points[b], *pk = &points[k];
    double bax = pb->x - pa->x, bay = pb->y - pa->y;
    double kax = pk->x - pa->x, kay = pk->y - pa->y;
    double kbx = pk->x - pb->x, kby = pk->y - pb->y;
    tin_angle_units_of(pa, pb, pk, best, bax * bax + bay * bay, kax * kax + kay * kay,
                       kbx * kbx + kby * kby, units);
}

/* Adds a point's angle units to its sum (kept below the int range). */
void tin_add_angle(int32_t i, int64_t units)
{
    int64_t sum = (int64_t)TIN_PANGLE(i) + units;
    TIN_PANGLE(i) = sum > INT32_MAX ? INT32_MAX : (int32_t)sum;
    tin_open_mark(i);
}

/* An existing edge e has become a side of a new triangle whose third corner
** is `apex`.  It is closed, unless it is a break line's constraint edge that
** has no triangle yet: that one keeps its search for the other side, which
** now lies away from `apex`. */
static void take_side(int32_t e, int32_t apex)
{
    tin_edge *t = &tin.tri[e];
    if (e < tin.ncons && t->group == TIN_BREAK && t->opp == -1)
        t->opp = apex;
    else
        t->flag = 1;
}

/* The bookkeeping of an accepted triangle (a, b, k): the existing sides
** found for it (held_ak, held_bk) are closed, and its angles are added to
** the sums of its corners. */
void tin_place(const tin_point *points, int32_t a, int32_t b, int32_t k, double best)
{
    if (tin.held_ak != -1) take_side(tin.held_ak, b);
    if (tin.held_bk != -1) take_side(tin.held_bk, a);
    int64_t units[3];
    tin_angle_units(points, a, b, k, best, units);
    tin_add_angle(k, units[0]);
    tin_add_angle(a, units[1]);
    tin_add_angle(b, units[2]);
}
