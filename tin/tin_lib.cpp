/*
** tin_lib.cpp -- the library's entry: tolerance, edge buffer, the driver and
** its front loop.
*/
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>

#include "tin_int.h"

tin_state   tin;
tin_options tin_opts = { TIN_SEARCH_FAST, 1, 1, 1, 1, 1 };
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

/* The user break, polled once per front edge; 1 (reported) when it came. */
int tin_break_polled(void)
{
    if (!tin_cancelled())
        return 0;
    tin_error(" *Cancel*");
    return 1;
}

/* After each triangle: the seconds since t0, printed when more than one
** has passed since the last time printed.  Within one second of the
** clock nothing can change, so the arithmetic waits for the next. */
void tin_progress(time_t t0, double *last_print)
{
    static time_t seen_at, seen_from;
    char text[64];
    time_t now = time(NULL);
    if (now == seen_at && t0 == seen_from)
        return;
    seen_at = now;
    seen_from = t0;
    double e = difftime(now, t0);
    if (e - *last_print > 1.0) {
        snprintf(text, sizeof text, "\r** LIBVELMORA : %.0lf s   ", e);
        print_line(text);
        *last_print = e;
    }
}

int tin_cancelled(void)
{
    return hooks.cancelled ? hooks.cancelled() : 0;
}

/*
** Large working arrays: zeroed anonymous pages, with the kernel asked for
** huge (2 MB) pages where it hands them out on request.  A run over a
** million points touches a few hundred megabytes, and fresh pages are
** dear (on some virtual machines clearing them costs more than the
** triangulation), so the call reuses what it has mapped until it ends
** (tin_big_release).  A block (from one huge page up: the arrays of one
** number a point are among them) is a stretch of whole huge pages of a
** mapping, from a 2 MB boundary; smaller ones come from calloc (malloc
** for tin_big_raw).  A block
** given back joins the free stretches of its mapping, merged with those
** beside it, and a request takes the head of the smallest free stretch
** that holds it (cleared by memset unless nothing was ever written there),
** the rest staying free:
**
**     mapping | block | free ................... | block |
**                     | request | still free     |
**
** So the arrays of one phase lie where those of the one before lay, and a
** call touches little more fresh memory than it holds at its peak.  A short
** header before each block tells where it came from.  (Under the address
** sanitizer every block comes from calloc, so that it watches them all.)
*/
#define BIG_PAGE ((size_t)2 << 20)
#define BIG_HEAD ((size_t)64)
#define BIG_MAPS 64
#define BIG_SPANS 128

typedef struct big_head {
    int    map;                 /* its mapping, -1: from calloc */
    size_t len;                 /* its stretch, header included */
} big_head;

typedef struct big_map {
    char  *base;                /* NULL: the slot is unused */
    size_t len;
    int    huge;
    int    live;                /* blocks of it handed out */
} big_map;

typedef struct big_span {
    char  *at;
    size_t len;
    int    map;
    int    dirty;               /* 1: an earlier block may have written there */
} big_span;

static big_map  maps[BIG_MAPS];
static big_span spans[BIG_SPANS];
static int nspans;

/* A free stretch; with no room left in the table it stays unused until
** its mapping goes at the end of the call. */
static void span_add(char *at, size_t len, int map, int dirty)
{
    if (nspans < BIG_SPANS) {
        spans[nspans].at = at;
        spans[nspans].len = len;
        spans[nspans].map = map;
        spans[nspans++].dirty = dirty;
    }
}

static void *big_get(size_t bytes, int huge, int zero);

void *tin_big(size_t bytes)
{
    return big_get(bytes, 1, 1);
}

void *tin_big_pages(size_t bytes, int huge)
{
    return big_get(bytes, huge, 1);
}

/* A block its caller writes whole before reading: a stretch used before is
** not cleared (fresh pages still come zeroed).  Under the address
** sanitizer it comes filled with a pattern instead, so that a read before
** the write shows in the tests. */
void *tin_big_raw(size_t bytes)
{
    void *p = big_get(bytes, 1, 0);
#if defined(__SANITIZE_ADDRESS__)
    if (p)
        memset(p, 0xa5, bytes);
#endif
    return p;
}

static void *big_get(size_t bytes, int huge, int zero)
{
    char *at;
#if !defined(__SANITIZE_ADDRESS__)
    int m = 0;
    while (m < BIG_MAPS && maps[m].base)
        m++;
    if (bytes >= BIG_PAGE && bytes < ((size_t)1 << 62)) {
        size_t need = (bytes + BIG_HEAD + BIG_PAGE - 1) / BIG_PAGE * BIG_PAGE;
        int best = -1;
        for (int i = 0; i < nspans; i++)
            if (maps[spans[i].map].huge == huge && spans[i].len >= need
                && (best == -1 || spans[i].len < spans[best].len))
                best = i;
        if (best != -1) {
            big_span *sp = &spans[best];
            at = sp->at;
            m = sp->map;
            if (sp->dirty && zero)
                memset(at + BIG_HEAD, 0, bytes);
            if (sp->len > need) {
                sp->at += need;
                sp->len -= need;
            } else {
                spans[best] = spans[--nspans];
            }
        } else if (m < BIG_MAPS) {
            size_t len = need + BIG_PAGE;
            void *base = mmap(NULL, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (base == MAP_FAILED)
                return NULL;
            at = (char *)(((uintptr_t)base + BIG_PAGE - 1) & ~(uintptr_t)(BIG_PAGE - 1));
#ifdef MADV_HUGEPAGE
            if (huge)
                madvise(at, len - (size_t)(at - (char *)base), MADV_HUGEPAGE);
#endif
            maps[m].base = (char *)base;
            maps[m].len = len;
            maps[m].huge = huge;
            maps[m].live = 0;
            /* a whole huge page left past the block (the mapping came aligned) */
            if ((size_t)((char *)base + len - (at + need)) >= BIG_PAGE)
                span_add(at + need, BIG_PAGE, m, 0);
        } else {
            m = -1;
        }
        if (m >= 0) {
            big_head *hd = (big_head *)at;
            hd->map = m;
            hd->len = need;
            maps[m].live++;
            return at + BIG_HEAD;
        }
    }
#else
    (void)huge;
#endif
    /* a block its caller writes first is not cleared here either */
    at = (char *)(zero ? calloc(bytes + BIG_HEAD, 1) : malloc(bytes + BIG_HEAD));
    if (!at)
        return NULL;
    ((big_head *)at)->map = -1;
    return at + BIG_HEAD;
}

void tin_big_free(void *p)
{
    if (!p)
        return;
    big_head *hd = (big_head *)((char *)p - BIG_HEAD);
    int m = hd->map;
    if (m < 0) {
        free(hd);
        return;
    }
    char *at = (char *)hd;
    size_t len = hd->len;
    maps[m].live--;
    /* merged with the free stretches of its mapping just before and after */
    for (int i = 0; i < nspans;) {
        big_span *sp = &spans[i];
        if (sp->map == m && (sp->at + sp->len == at || at + len == sp->at)) {
            if (sp->at < at)
                at = sp->at;
            len += sp->len;
            spans[i] = spans[--nspans];
        } else {
            i++;
        }
    }
    span_add(at, len, m, 1);
}

/* Gives the mappings back to the system (all, unless a block of one is
** still held). */
void tin_big_release(void)
{
    for (int m = 0; m < BIG_MAPS; m++) {
        if (!maps[m].base || maps[m].live > 0)
            continue;
        munmap(maps[m].base, maps[m].len);
        maps[m].base = NULL;
        for (int i = 0; i < nspans;) {
            if (spans[i].map == m)
                spans[i] = spans[--nspans];
            else
                i++;
        }
    }
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
/* The edge buffer is full: an append fails, the count of used slots stays
** honest.  Returns 1. */
int tin_buffer_full(void)
{
    tin.last_edge = tin.edge_cap - 1;
    tin_error(" WRBUFF ");
    return 1;
}

int tin_wrbuff(int32_t u, int32_t v, int32_t opp, double la, double lb, double lc,
           const tin_point *points)
{
    tin.last_edge++;
    if (tin.last_edge >= tin.edge_cap)
        return tin_buffer_full();
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

/*
** Edges the front loop has passed without finding a triangle on their far
** side: hull edges, mostly, or edges whose candidates were refused at the
** time.  The crossing test scans only the edges ahead of the front, so a
** triangle found later beside such an edge does not see it as its existing
** side, and the driver appends the edge again.  That copy has a triangle on
** both sides and is appended closed: were it searched, its "far side" would
** be the side the first triangle already covers, and on a boundary that
** bends inwards (the edge column of a projected elevation grid) the search
** took points there and laid triangles over triangles, until the edge
** buffer ran full.  The copy is still scanned like any edge ahead of the
** front.  Keys: the two ends, lower first, in the caller's numbering.
*/
static struct {
    uint64_t *key;
    uint32_t  mask, used;
} passed;

static void passed_free(void)
{
    free(passed.key);
    memset(&passed, 0, sizeof passed);
}

int tin_passed_open_add(int32_t u, int32_t v)
{
    if (!passed.key || 2 * (passed.used + 1) > passed.mask + 1) {
        uint32_t old = passed.key ? passed.mask + 1 : 0, size = old ? 2 * old : 256;
        uint64_t *ok = passed.key, *nk = (uint64_t *)calloc(size, sizeof(uint64_t));
        if (!nk) {
            tin_error(" malloc TRI ");
            return 1;
        }
        passed.key = nk;
        passed.mask = size - 1;
        for (uint32_t i = 0; i < old; i++)
            if (ok[i]) {
                uint32_t j = tin_pair_slot(ok[i], passed.mask);
                while (nk[j])
                    j = (j + 1) & passed.mask;
                nk[j] = ok[i];
            }
        free(ok);
    }
    uint64_t k = tin_pair_key(u, v);
    uint32_t j = tin_pair_slot(k, passed.mask);
    while (passed.key[j] && passed.key[j] != k)
        j = (j + 1) & passed.mask;
    if (!passed.key[j]) {
        passed.key[j] = k;
        passed.used++;
    }
    return 0;
}

int tin_passed_open(int32_t u, int32_t v)
{
    if (!passed.used)
        return 0;
    uint64_t k = tin_pair_key(u, v);
    for (uint32_t j = tin_pair_slot(k, passed.mask); passed.key[j]; j = (j + 1) & passed.mask)
        if (passed.key[j] == k)
            return 1;
    return 0;
}

static void release(void)
{
    passed_free();
    tin_big_free(tin.tri);
    tin_big_free(tin.pangle);
    free(tin.minmax_cont);
    free(tin.cons_end);
    tin.tri = NULL;
    tin.pangle = NULL;
    tin.minmax_cont = NULL;
    tin.cons_end = NULL;
    tin_grid_close();
    tin_bands_close();
    tin_blocks_close();
    tin_fast_close();
    tin_area_index_free();
    tin_big_release();
}

/* The straightforward search's accelerations, each where its switch is on
** (one that cannot be built is left out: the search is then slower). */
void tin_speedups_open(int32_t n, const tin_point *points)
{
    if (tin_opts.use_grid)
        tin_grid_open(n, points);      /* without it the full scan is used */
    if (tin_opts.use_bands)
        tin_bands_open(n, points);     /* without them the sweep steps one by one */
    if (tin_opts.use_sides || tin_opts.use_open)
        tin_blocks_open(n, points);    /* without them every point is tested */
}



/* The seed has no triangle: no distance between points could be measured
** (k1 < 0), or every point lies on one line.  Reported; returns 1. */
int tin_no_seed(int32_t k1)
{
    tin_error(k1 < 0 ? " no nearest point: coordinates too large"
                     : " no first triangle: the points lie on one line");
    return 1;
}

/* Searches the third point of the edge under search (cur_edge) with
** `search`.  A break line's constraint edge with neither side built is
** searched one side at a time (see the front loop below): *first_side is then 1 when the
** first side gave the triangle and the other is left to a copy of the
** edge, 0 otherwise.  Returns what `search` does. */
int tin_search_sides(tin_search_fn search, int32_t n, const tin_point *points, int32_t u,
                     int32_t v, int32_t opp, int32_t *k, int *first_side)
{
    *first_side = opp == -1 && tin.cur_edge < tin.ncons
                  && tin.tri[tin.cur_edge].group == TIN_BREAK;
    tin.search_side = *first_side;
    int none = search(n, points, u, v, opp, k);
    if (none && *first_side) {
        tin.search_side = -1;           /* nothing there: the other side, no copy */
        *first_side = 0;
        none = search(n, points, u, v, opp, k);
    }
    tin.search_side = 0;
    return none;
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
static int straight_front(int32_t n, const tin_point *points, tin_face_cb face_cb)
{
    if (tin.ncons == 0) {
        int32_t m = n / 2, k1, k2;
        k1 = tin_nearest_point(m, n, points);
        if (k1 < 0)
            return tin_no_seed(k1);
        if (tin_lpp(points[m].x, points[m].y, points[k1].x, points[k1].y,
                &tin.edge_la, &tin.edge_lb, &tin.edge_lc))
            return 1;
        if (tin_third_point(n, points, m, k1, -1, &k2))
            return tin_no_seed(k1);
        if (tin_wrbuff(m, k1, k2, tin.edge_la, tin.edge_lb, tin.edge_lc, points)
            || tin_wrbuff(k2, m, k1, tin.held_ak_la, tin.held_ak_lb, tin.held_ak_lc, points)
            || tin_wrbuff(k1, k2, m, tin.held_bk_la, tin.held_bk_lb, tin.held_bk_lc, points))
            return 1;
        face_cb(points[m], points[k1], points[k2]);
        tin.ntri = 1;
    }

    time_t t0 = time(NULL);
    double last_print = 0;
    for (tin.cur_edge = 0; tin.cur_edge <= tin.last_edge; tin.cur_edge++) {
        if (tin_break_polled())
            return 1;
        const tin_edge *t = &tin.tri[tin.cur_edge];
        if (t->flag == 1)
            continue;
        int32_t u = t->u, v = t->v, opp = t->opp, k;
        tin.edge_la = t->la;
        tin.edge_lb = t->lb;
        tin.edge_lc = t->lc;
        int first_side;
        if (tin_search_sides(tin_third_point, n, points, u, v, opp, &k, &first_side)) {
            if (tin.cur_edge >= tin.ncons && tin_passed_open_add(u, v))
                return 1;
            continue;
        }
        face_cb(points[u], points[v], points[k]);
        tin.ntri++;
        if (tin.held_ak == -1) {
            if (tin_wrbuff(u, k, v, tin.held_ak_la, tin.held_ak_lb, tin.held_ak_lc, points))
                return 1;
            tin.tri[tin.last_edge].flag = (uint8_t)tin_passed_open(u, k);
        }
        if (tin.held_bk == -1) {
            if (tin_wrbuff(v, k, u, tin.held_bk_la, tin.held_bk_lb, tin.held_bk_lc, points))
                return 1;
            tin.tri[tin.last_edge].flag = (uint8_t)tin_passed_open(v, k);
        }
        if (first_side && tin_wrbuff(u, v, k, tin.edge_la, tin.edge_lb, tin.edge_lc, points))
            return 1;
        tin_progress(t0, &last_print);
    }
    return 0;
}

/* The driver: order the points, set up the constraint edges and presets,
** then the seed and the front (fast or straightforward), and the summary. */
int32_t lib_triangulate(int32_t npoints, tin_point *points, const tin_line *lines,
                        int32_t nlines, int16_t ngroups_in, tin_face_cb face_cb,
                        int32_t *out_npoints, int32_t full_check_in)
{
    int32_t n = npoints < 0 ? 0 : npoints;
    int result = 1;
    char text[160];
    int64_t breaks = 0;
    int32_t nbreak;

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
    tin.slot = NULL;

    tin.eps = tin_choose_eps(n, points);
    tin.eps2 = tin.eps * tin.eps;

    if (tin_sort_points(&n, points))
        goto done;
    if (out_npoints)
        *out_npoints = n;
    if (n < 3) {
        tin_error(" np < 3");
        goto done;
    }

    /* 5n slots, and two more per break line: the second side of each takes
    ** a slot of its own (see the front loop), and a split makes two parts.
    ** Kept below the largest allocation an int index can address. */
    for (int32_t i = 0; lines && i < nlines; i++)
        breaks += lines[i].group == TIN_BREAK;
    if ((int64_t)n * 5 + breaks * 2 > INT32_MAX) {
        tin_error(" malloc TRI ");
        goto done;
    }
    tin.edge_cap = (int32_t)(5 * (int64_t)n + 2 * breaks);
    /* every flag starts at 0; the pages the run never reaches stay untouched.
    ** The fast search writes these records only here and there, so small
    ** pages then: a huge one would be cleared whole for a few records.  Not
    ** so with break lines: the straightforward search does it all. */
    tin.tri = (tin_edge *)tin_big_pages((size_t)tin.edge_cap * sizeof(tin_edge),
                                        tin_opts.search != TIN_SEARCH_FAST || tin.full_check
                                            || breaks > 0);
    if (!tin.tri) {
        tin_error(" malloc TRI ");
        goto done;
    }

    tin.pangle = (int32_t *)tin_big((size_t)n * sizeof(int32_t));
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

    /* the fast search needs its Delaunay kernel; without it (points on one
    ** line, no memory) the straightforward search does the work.  The full
    ** check is the straightforward search's own debugging mode.  The fast
    ** search opens the straightforward search's accelerations itself, when
    ** it first needs them.  With break lines the fast front still gives
    ** other triangles than the straightforward one on some inputs (an
    ** outline, a void and close banks of break lines), so they are left to
    ** the straightforward search until it does not. */
    tin.ntri = 0;
    nbreak = 0;
    for (int32_t e = 0; e < tin.ncons; e++)
        nbreak += tin.tri[e].group == TIN_BREAK;
    if (tin_opts.search == TIN_SEARCH_FAST && !tin.full_check && nbreak == 0
        && tin_fast_open(n, points) == 0) {
        if (tin_fast_front(n, points, face_cb))
            goto done;
    } else if (straight_front(n, points, face_cb)) {
        goto done;
    }

    snprintf(text, sizeof text, " - points number= %d ; triangles number= %d",
             (int)n, (int)tin.ntri);
    print_line(text);
    result = 0;

done:
    release();
    return result;
}

