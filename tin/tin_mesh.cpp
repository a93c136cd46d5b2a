/*
** tin_mesh.cpp -- the Delaunay kernel: build by radial sweep, flips, edge
** lookup and the insertion of a locked edge.
**
** The sweep starts from a small triangle near the middle of the points and
** adds the other points in order of their distance from its circumcentre,
** so each new point lies outside the triangulation so far.  The
** triangulation's boundary (the ring) is kept star-shaped round a point C
** inside the first triangle, not convex: a new point joins the one ring
** edge whose wedge from C holds it, and every edge opposite it is flipped
** while the point beyond lies inside its circle (Lawson).  Sharp dents the
** new point leaves beside it are filled at once, and the ring is made
** convex at the end:
**
**            z . . . . i           the ring runs counter-clockwise,
**             \  fill / \          ... e -> i -> q -> z ...: i joins
**              \    /    \         the edge (e, q) whose wedge from C
**               \  /  new \        holds it; the angle at q between i
**                q ------- e       and z is under 110 degrees, so the
**                 \       /        triangle (i, z, q) fills the dent
**                  \     /         and q leaves the ring
**                   \   /
**                     C
**
** (A sweep that kept the ring convex joined each point to the long hull
** edges it saw: slivers, and 5.8 flips a point on a million random points;
** this one makes under one.)  A hash of the ring by angle round C finds the
** edge at once.  All decisions are made by the exact predicates of
** tin_pred.cpp; the order of insertion only matters for speed, so a point
** that turns out not to lie outside (two distances equal up to rounding) is
** placed by a walk instead.
*/
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "tin_int.h"
#include "tin_mesh.h"
#include "tin_pred.h"

tin_mesh tin_m;

/* The points are renumbered in the order they are added and copied in that
** order, x and y only: the points near the growing hull are then the recent
** ones, close together in memory, instead of spread over the whole x-sorted
** array.  (After the build they are renumbered again, for the front:
** reorder; pm is that copy, whole points.) */
typedef struct sweep_xy {
    double x, y;
} sweep_xy;

static sweep_xy  *sw;
static tin_point *pm;

/* a point of the sweep as an (x, y) pair */
static inline tin_v2 xy_of(const sweep_xy *q)
{
    tin_v2 v;
    memcpy(&v, q, sizeof v);
    return v;
}

#define SX(i) sw[i].x
#define SY(i) sw[i].y

/* The boundary during the build (the ring; the hull once closed): points
** counter-clockwise, each with the half-edge of its ring edge (from it to
** the next), and a hash of the ring by angle round C.  A point that has
** left the ring is its own next.  The centre of the distances is the first
** triangle's circumcentre; C, the centre of the angles, its centroid, which
** lies inside it (the circumcentre may not). */
static int32_t *hull_next, *hull_prev, *hull_he, *hull_hash;
static int32_t  hash_size, hull_start, nring;
static double   cen_x, cen_y, ang_x, ang_y;

/* The bounds of the marks (squared): a corner within `flat` of the
** opposite side's line, an angle whose sine is below `needle`. */
static double flat2, needle2;

/* Edges waiting for the Delaunay test (legalize, and the restoring after
** an edge insertion). */
static int32_t *stack;
static int32_t  stack_cap;

/* Room on the stack for `need` entries; 1 when memory runs out. */
static int stack_room(int32_t need)
{
    if (need <= stack_cap)
        return 0;
    int32_t cap = stack_cap ? stack_cap * 2 : 1024;
    while (cap < need)
        cap *= 2;
    int32_t *ns = (int32_t *)realloc(stack, (size_t)cap * sizeof(int32_t));
    if (!ns)
        return 1;
    stack = ns;
    stack_cap = cap;
    return 0;
}

static int push(int32_t *sp, int32_t h)
{
    if (stack_room(*sp + 1))
        return 1;
    stack[(*sp)++] = h;
    return 0;
}

/* Lists of point pairs: the edges crossing (u, v) still to be flipped (a
** queue), and the edges made, to test for Delaunay afterwards. */
typedef struct pair_list {
    int32_t *v;
    int32_t  n, cap, head;
} pair_list;

static pair_list queue, made;

static int pair_push(pair_list *l, int32_t x, int32_t y)
{
    if (l->n + 2 > l->cap) {
        /* a queue first drops what it has served */
        if (l->head > 0) {
            memmove(l->v, l->v + l->head, (size_t)(l->n - l->head) * sizeof(int32_t));
            l->n -= l->head;
            l->head = 0;
        }
        if (l->n + 2 > l->cap) {
            int32_t cap = l->cap ? l->cap * 2 : 256;
            int32_t *nv = (int32_t *)realloc(l->v, (size_t)cap * sizeof(int32_t));
            if (!nv)
                return 1;
            l->v = nv;
            l->cap = cap;
        }
    }
    l->v[l->n++] = x;
    l->v[l->n++] = y;
    return 0;
}

static inline void link(int32_t a, int32_t b)
{
    tin_m.he[a].n = b;
    if (b != -1)
        tin_m.he[b].n = a;
}

static int32_t add_tri(int32_t a, int32_t b, int32_t c, int32_t ha, int32_t hb, int32_t hc)
{
    int32_t t = tin_m.ntri * 3;
    tin_m.he[t].v = a;
    tin_m.he[t + 1].v = b;
    tin_m.he[t + 2].v = c;
    link(t, ha);
    link(t + 1, hb);
    link(t + 2, hc);
    tin_m.ntri++;
    return t;
}

/*
** Flip of the edge a (from pr to pl) between the triangles (pr, pl, p0) and
** (pl, pr, p1):
**
**           pl                    pl
**          /||\                  /  \
**       al/ || \bl            al/    \a
**        /  ||  \              /      \
**       /  a||b  \    flip    /___ar___\
**     p0\   ||   /p1   =>   p0\---bl---/p1
**        \  ||  /              \      /
**       ar\ || /br             b\    /br
**          \||/                  \  /
**           pr                    pr
**
** The sides al and br keep their slots; the side p0-pr moves from ar to b
** and p1-pl from bl to a; ar and bl (the half-edges before a and b in
** their triangles, which the callers have at hand) become the new diagonal.
*/
static inline void flip_slots(int32_t a, int32_t b, int32_t ar, int32_t bl)
{
    tin_he *he = tin_m.he;
    int32_t p0 = he[ar].v, p1 = he[bl].v;
    int32_t hbl = he[bl].n, har = he[ar].n;
    he[a].v = p1;
    he[b].v = p0;
    link(a, hbl);
    link(b, har);
    link(ar, bl);
}

/* The place (0, 1, 2) in its triangle of the half-edge after the one at
** place r, as an offset from the triangle's first: the remainder by 3 is
** taken once per half-edge (and unsigned, which is cheaper), not once per
** neighbour. */
static const int8_t after3[3] = { 1, 2, 0 };

/* The exact in-circle sign of four points of the sweep, kept out of
** legalize: its rare call there would otherwise hold the coordinates of
** every test in memory across it. */
static __attribute__((noinline)) double incircle_exact(int32_t a, int32_t b, int32_t c, int32_t d)
{
    return tin_incircle_exact(SX(a), SY(a), SX(b), SY(b), SX(c), SY(c), SX(d), SY(d));
}

/* The in-circle sign of legalize, with a tie (four points exactly on one
** circle) broken as if each point's height on the lifting paraboloid were
** raised by an amount that shrinks steeply with its number in the caller's
** order (tin_m.orig): the lowest-numbered of the four counts as just
** outside the circle of the other three, so the diagonal kept is the one
** that does not touch it:
**
**     L ------ r          the edge pl-pr of legalize is flipped (> 0) when
**     |     /  |          the lowest-numbered corner L is one of its ends,
**     |   /    |          kept (< 0) when L is i or p1
**     |  /     |
**     s ------ q
**
** One raise for all points is a generic lifting, so the flips still end
** and the mesh is Delaunay.  Why this rule: the front takes, between two
** equal angles, the corner nearer in that order to its edge's lower end;
** on a grid that is the diagonal that avoids the lowest corner whenever it
** meets the square from below or from the side, and there a mesh made so
** needs no bending.  Four distinct points on a circle
** have no three on a line; if that test still finds one (a duplicate), the
** tie stays unbroken, as before. */
static __attribute__((noinline)) double incircle_tied(int32_t pl, int32_t pr, int32_t p1, int32_t i)
{
    double det = incircle_exact(pl, pr, p1, i);
    if (det != 0)
        return det;
    const int32_t *o = tin_m.orig;
    int32_t c[4] = { pl, pr, p1, i }, low = 0;
    for (int k = 1; k < 4; k++)
        if (o[c[k]] < o[c[low]])
            low = k;
    /* the other three, not on one line */
    int32_t u = c[(low + 1) % 4], v = c[(low + 2) % 4], w = c[(low + 3) % 4];
    if (tin_orient_xy(SX(u), SY(u), SX(v), SY(v), SX(w), SY(w)) == 0)
        return 0;
    return low < 2 ? 1 : -1;
}

/* The step from a half-edge at place r (0, 1, 2) of its triangle to the
** one after / before it: the remainder by 3 is taken once per half-edge
** (and unsigned, which is cheaper), not once per neighbour. */
static const int8_t step_after[3] = { 1, 1, -2 }, step_before[3] = { 2, -1, -1 };

/* The stack of legalize: each edge with its place (0, 1, 2) in its
** triangle, known when it is pushed, so not taken again by a remainder. */
typedef struct edge_at {
    int32_t h, r;
} edge_at;

static edge_at *lstack;
static int32_t  lstack_cap;

/* The stack of legalize twice as deep: its new start, NULL when memory
** runs out (the old one then stays). */
static __attribute__((noinline)) edge_at *deeper_stack(void)
{
    int32_t cap = lstack_cap ? lstack_cap * 2 : 1024;
    edge_at *ns = (edge_at *)realloc(lstack, (size_t)cap * sizeof(edge_at));
    if (ns) {
        lstack = ns;
        lstack_cap = cap;
    }
    return ns;
}

/* Lawson's test from the new point i: a is an edge whose triangle's third
** corner is i; flips while the point p1 beyond a lies inside the circle,
** then tests the two far sides of the flipped pair.  (The flip of
** flip_slots, written out: the corners are at hand, and a side's
** neighbour of -1 is the hull side that moved.)  After a flip a keeps its
** slot, and so its place in the triangle, and i stays the third corner of
** every edge tested, so the test is asked the other way round, whether i
** lies inside the circle through the far triangle (pl, pr, p1): the same
** sign, with i's coordinates at hand throughout.
**
**           pl
**          /||\
**         / || \
**       i  a||b  p1
**         \ || /
**          \||/
**           pr
*/
static int legalize(int32_t a, int32_t i)
{
    tin_he *he = tin_m.he;
    const sweep_xy *q = sw;
    const tin_v2 pi = xy_of(&q[i]);
    edge_at *st = lstack;
    int32_t sp = 0, cap = lstack_cap;
    uint32_t ra = (uint32_t)a % 3;
    for (;;) {
        int32_t b = he[a].n;
        if (b != -1) {
            uint32_t rb = (uint32_t)b % 3;
            int32_t al = a + step_after[ra], ar = a + step_before[ra];
            int32_t bl = b + step_before[rb];
            int32_t pr = he[a].v, pl = he[al].v, p1 = he[bl].v;
            double det;
            if (!tin_incircle_sure(xy_of(&q[pl]), xy_of(&q[pr]), xy_of(&q[p1]), pi, &det))
                det = incircle_tied(pl, pr, p1, i);
            if (det > 0) {
                int32_t hbl = he[bl].n, har = he[ar].n;
                he[a].v = p1;
                he[b].v = i;
                he[a].n = hbl;
                if (hbl != -1)
                    he[hbl].n = a;
                else
                    hull_he[p1] = a;
                he[b].n = har;
                if (har != -1)
                    he[har].n = b;
                else
                    hull_he[i] = b;
                he[ar].n = bl;
                he[bl].n = ar;
                if (sp == cap) {
                    if (!(st = deeper_stack()))
                        return 1;
                    cap = lstack_cap;
                }
                st[sp].h = b + step_after[rb];
                st[sp].r = after3[rb];
                sp++;
                continue;
            }
        }
        if (sp == 0)
            return 0;
        sp--;
        a = st[sp].h;
        ra = (uint32_t)st[sp].r;
    }
}

/* Pseudo-angle of (dx, dy) in [0, 1), monotone in the true angle. */
static double pseudo_angle(double dx, double dy)
{
    double s = fabs(dx) + fabs(dy);
    if (s == 0)
        return 0;
    double q = dx / s;
    return (dy > 0 ? 3 - q : 1 + q) / 4;
}

static int32_t hash_key(int32_t i)
{
    double a = pseudo_angle(SX(i) - ang_x, SY(i) - ang_y);
    int32_t k = (int32_t)(a * hash_size);       /* a >= 0: truncation is floor */
    return k < 0 ? 0 : k >= hash_size ? hash_size - 1 : k;
}

/* ------------------------------------------------------------------------
** A point that lies inside the triangulation or on its ring: found by a
** walk from a triangle near it (each step crosses an edge that has the
** point strictly on its far side), then the triangle is split in three, or
** the edge it lies on in two or four. */

static int split_face(int32_t t, int32_t i)
{
    tin_he *he = tin_m.he;
    int32_t a = he[t].v, b = he[t + 1].v, c = he[t + 2].v;
    int32_t x1 = he[t + 1].n, x2 = he[t + 2].n;
    he[t + 2].v = i;                              /* t = (a, b, i) */
    int32_t t1 = add_tri(b, c, i, x1, -1, -1);  /* (b, c, i) */
    int32_t t2 = add_tri(c, a, i, x2, -1, -1);  /* (c, a, i) */
    link(t + 1, t1 + 2);
    link(t + 2, t2 + 1);
    link(t1 + 1, t2 + 2);
    if (x1 == -1) hull_he[b] = t1;
    if (x2 == -1) hull_he[c] = t2;
    return legalize(t, i) || legalize(t1, i) || legalize(t2, i);
}

/* Point i on edge e (from a to b) of triangle (a, b, c). */
static int split_edge(int32_t e, int32_t i)
{
    tin_he *he = tin_m.he;
    int32_t f = he[e].n;
    int32_t en = tin_next(e), ep = tin_prev(e);
    int32_t a = he[e].v, b = he[en].v, c = he[ep].v;
    int32_t xbc = he[en].n;
    he[en].v = i;                                         /* (a, i, c) */
    int32_t t1 = add_tri(i, b, c, -1, xbc, en);         /* (i, b, c) */
    if (xbc == -1) hull_he[b] = t1 + 1;
    if (f == -1) {
        /* a ring edge: i joins the ring between a and b */
        nring++;
        hull_next[a] = i;
        hull_prev[i] = a;
        hull_next[i] = b;
        hull_prev[b] = i;
        hull_he[a] = e;
        hull_he[i] = t1;
        return legalize(ep, i) || legalize(t1 + 1, i);
    }
    int32_t fn = tin_next(f), fp = tin_prev(f);
    int32_t d = he[fp].v, xad = he[fn].n;
    he[fn].v = i;                                         /* (b, i, d) */
    int32_t u1 = add_tri(i, a, d, e, xad, fn);          /* (i, a, d) */
    link(f, t1);
    if (xad == -1) hull_he[a] = u1 + 1;
    return legalize(ep, i) || legalize(t1 + 1, i) || legalize(fp, i) || legalize(u1 + 1, i);
}

/* Point i from triangle t on. */
static int insert_inside(int32_t i, int32_t t)
{
    tin_he *he = tin_m.he;
    for (long steps = 0; steps <= 4L * tin_m.ntri + 16; steps++) {
        int32_t on = -1, zeros = 0, moved = 0;
        for (int k = 0; k < 3; k++) {
            int32_t e = t + k;
            int32_t a = he[e].v, b = he[tin_next(e)].v;
            double o = tin_orient_xy(SX(a), SY(a), SX(b), SY(b), SX(i), SY(i));
            if (o < 0) {
                if (he[e].n == -1)
                    return 1;           /* outside after all: cannot be */
                t = he[e].n - he[e].n % 3;
                moved = 1;
                break;
            }
            if (o == 0) {
                zeros++;
                on = e;
            }
        }
        if (moved)
            continue;
        if (zeros == 0)
            return split_face(t, i);
        if (zeros == 1)
            return split_edge(on, i);
        return 1;                       /* on a corner: a duplicate */
    }
    return 1;
}

/* ------------------------------------------------------------------------
** The ring: joining a point, filling dents, closing it convex. */

/* Lawson's flips from the edges h and g (-1: none), whose triangles need
** not have a new point for a corner: each flip's four outer sides are
** tested again.  (legalize, which knows the new point, tests two.) */
static int legalize_edges(int32_t h, int32_t g)
{
    tin_he *he = tin_m.he;
    int32_t sp = 0;
    if (push(&sp, h) || (g != -1 && push(&sp, g)))
        return 1;
    while (sp > 0) {
        int32_t a = stack[--sp], b = he[a].n;
        if (b == -1)
            continue;
        uint32_t ra = (uint32_t)a % 3, rb = (uint32_t)b % 3;
        int32_t al = a + step_after[ra], ar = a + step_before[ra];
        int32_t bl = b + step_before[rb], br = b + step_after[rb];
        int32_t pr = he[a].v, pl = he[al].v, p0 = he[ar].v, p1 = he[bl].v;
        double det;
        if (!tin_incircle_sure(xy_of(&sw[pl]), xy_of(&sw[pr]), xy_of(&sw[p1]), xy_of(&sw[p0]), &det))
            det = incircle_tied(pl, pr, p1, p0);
        if (!(det > 0))
            continue;
        int32_t hbl = he[bl].n, har = he[ar].n;
        flip_slots(a, b, ar, bl);
        if (har == -1)
            hull_he[p0] = b;            /* the ring side p0-pr moved to b */
        if (hbl == -1)
            hull_he[p1] = a;            /* and p1-pl to a */
        if (stack_room(sp + 4))
            return 1;
        stack[sp++] = al;
        stack[sp++] = br;
        stack[sp++] = a;
        stack[sp++] = b;
    }
    return 0;
}

static inline double orient3(int32_t a, int32_t b, int32_t c)
{
    return tin_orient_v2(xy_of(&sw[a]), xy_of(&sw[b]), xy_of(&sw[c]));
}

/* > 0 when i lies counter-clockwise of the ray from C through a */
static inline double round_c(int32_t a, int32_t i)
{
    return tin_orient_v2((tin_v2){ ang_x, ang_y }, xy_of(&sw[a]), xy_of(&sw[i]));
}

/* Does the triangle (x, z, y) go over the ring's x -> y -> z: y left of
** x -> z (a dent), C strictly left of it too (the ring stays star-shaped),
** and, with `sharp`, the angle at y below some 110 degrees, its cosine
** above -1/3.  (That bound made the fewest in-circle tests on a million
** random points: 4.6 million in all; a right angle made 5.5, 120 degrees
** 4.7.  The test of the angle is rounded: it only chooses which dents
** wait for the end.) */
static int dent(int32_t x, int32_t y, int32_t z, int sharp)
{
    if (sharp) {
        double ux = SX(x) - SX(y), uy = SY(x) - SY(y), vx = SX(z) - SX(y), vy = SY(z) - SY(y);
        double dot = ux * vx + uy * vy;
        if (!(dot > 0 || 9 * dot * dot < (ux * ux + uy * uy) * (vx * vx + vy * vy)))
            return 0;
    }
    return orient3(x, z, y) > 0 && round_c(x, z) > 0;     /* (C left of x -> z: z past x round C) */
}

/* Fills the dent at y with (x, z, y); y leaves the ring. */
static int fill(int32_t x, int32_t y, int32_t z)
{
    int32_t t = add_tri(x, z, y, -1, hull_he[y], hull_he[x]);
    hull_he[x] = t;
    hull_next[x] = z;
    hull_prev[z] = x;
    hull_next[y] = y;
    nring--;
    return legalize_edges(t + 1, t + 2);
}

/* Adds point i, outside the ring but for rounding, from the ring point s
** near its angle.  1 when it cannot be placed (a duplicate). */
static int add_point(int32_t i, int32_t s)
{
    /* the ring edge (e, q) whose wedge from C holds i: i on or past the
    ** ray through e, before the one through q (each ray's side asked once) */
    int32_t e = s, q, steps = 0;
    if (round_c(e, i) < 0) {
        do {
            q = e;
            e = hull_prev[e];
        } while (round_c(e, i) < 0 && ++steps <= nring);
    } else {
        while (q = hull_next[e], round_c(q, i) >= 0 && ++steps <= nring)
            e = q;
    }
    if (steps > nring)
        return insert_inside(i, 0);     /* i is C: from the first triangle's slot */
    /* on C's side of (e, q) the wedge lies inside the ring */
    if (orient3(e, q, i) >= 0)
        return insert_inside(i, hull_he[e] - hull_he[e] % 3);
    int32_t t = add_tri(e, i, q, -1, -1, hull_he[e]);
    hull_he[e] = t;
    hull_he[i] = t + 1;
    hull_next[e] = hull_prev[q] = i;
    hull_prev[i] = e;
    hull_next[i] = q;
    hull_start = i;
    nring++;
    if (legalize(t + 2, i))
        return 1;
    /* the sharp dents beside it, forward and back */
    for (int32_t y = hull_next[i], z = hull_next[y]; z != i && dent(i, y, z, 1);
         y = hull_next[i], z = hull_next[y])
        if (fill(i, y, z))
            return 1;
    for (int32_t y = hull_prev[i], x = hull_prev[y]; x != i && dent(x, y, i, 1);
         y = hull_prev[i], x = hull_prev[y])
        if (fill(x, y, i))
            return 1;
    return 0;
}

/* The ring made convex: every dent filled, whatever its angle (a point on
** the line of its neighbours stays: the hull keeps such points). */
static int close_ring(void)
{
    int32_t v = hull_start, quiet = 0;
    while (quiet <= nring && nring > 3) {
        int32_t u = hull_prev[v], w = hull_next[v];
        if (dent(u, v, w, 0)) {
            if (fill(u, v, w))
                return 1;
            hull_start = v = u;
            quiet = 0;
        } else {
            v = w;
            quiet++;
        }
    }
    return 0;
}

/* ------------------------------------------------------------------------
** Sorting the points by distance: an LSD radix sort of the distances' bit
** patterns (non-negative doubles order as their bits do), eleven bits a
** pass (six passes cover the 64), the counts of all passes taken in one
** read, the passes where every key has the same digit skipped.  Each pass
** moves the pairs to the other pair of arrays; *key and *id end up at the
** pair holding the result, the other pair is given back.  The arrays hold
** `room` entries, of which the first n are sorted.
**
**     bits  63..55 | 54..44 | 43..33 | 32..22 | 21..11 | 10..0
**     pass     5       4        3        2        1        0
*/
#define DIGIT_BITS 11
#define DIGITS 6

static int sort_by_key(uint64_t **key, int32_t **id, int32_t n, int32_t room)
{
    uint64_t *k = *key, *k2 = (uint64_t *)tin_big_raw((size_t)room * sizeof(uint64_t));
    int32_t *d = *id, *d2 = (int32_t *)tin_big_raw((size_t)room * sizeof(int32_t));
    if (!k2 || !d2) {
        tin_big_free(k2);
        tin_big_free(d2);
        return 1;
    }
    const uint64_t mask = ((uint64_t)1 << DIGIT_BITS) - 1;
    uint32_t (*count)[(size_t)1 << DIGIT_BITS] = (uint32_t (*)[(size_t)1 << DIGIT_BITS])
        calloc(DIGITS, sizeof *count);
    if (!count) {
        tin_big_free(k2);
        tin_big_free(d2);
        return 1;
    }
    uint64_t all_or = 0, all_and = ~(uint64_t)0;
    for (int32_t j = 0; j < n; j++) {
        uint64_t x = k[j];
        all_or |= x;
        all_and &= x;
        for (int g = 0; g < DIGITS; g++)
            count[g][(x >> (g * DIGIT_BITS)) & mask]++;
    }
    for (int g = 0; g < DIGITS; g++) {
        int shift = g * DIGIT_BITS;
        if ((((all_or ^ all_and) >> shift) & mask) == 0)
            continue;                   /* the same digit everywhere */
        uint32_t *c = count[g], pos = 0;
        for (size_t v = 0; v <= mask; v++) {
            uint32_t m = c[v];
            c[v] = pos;
            pos += m;
        }
        for (int32_t j = 0; j < n; j++) {
            uint32_t at = c[(k[j] >> shift) & mask]++;
            k2[at] = k[j];
            d2[at] = d[j];
        }
        uint64_t *tk = k; k = k2; k2 = tk;
        int32_t *td = d; d = d2; d2 = td;
    }
    free(count);
    tin_big_free(k2);
    tin_big_free(d2);
    *key = k;
    *id = d;
    return 0;
}

/* The same order as sort_by_key (the keys are the squared distances'
** bits, the ids increase with the place, so a stable sort is a sort by
** key, then id) in two passes instead of up to six: the squared
** distances of points spread over an area are near uniform, so buckets
** by the squared distance scaled to the largest, one for every few points,
** hold a handful each, put in order by insertion; a crowded bucket (many
** points at one distance, or a cluster) is sorted by sort_by_key.  Rounding keeps
** the scaling monotone, so the buckets come in key order.  When many
** points crowd (a cluster) the radix sort takes them all after all.
**
**     d^2:  min ...................................... max
**     bucket  0 | 1 | 2 | ... | nb - 1      (each in order inside)
*/
#define BUCKET_FILL 4
#define BUCKET_INSERTION 64

static int sort_by_distance(uint64_t **key, int32_t **id, int32_t n, int32_t room)
{
    uint64_t *k = *key, kmin = ~(uint64_t)0, kmax = 0;
    int32_t *d = *id;
    for (int32_t j = 0; j < n; j++) {
        kmin = k[j] < kmin ? k[j] : kmin;
        kmax = k[j] > kmax ? k[j] : kmax;
    }
    double dmin, dmax;
    memcpy(&dmin, &kmin, sizeof dmin);
    memcpy(&dmax, &kmax, sizeof dmax);
    int32_t nb = n / BUCKET_FILL + 1;
    double scale = (double)nb / (dmax - dmin);
    if (n < 1024 || !(dmax > dmin) || !isfinite(dmax) || !isfinite(scale))
        return sort_by_key(key, id, n, room);
    uint32_t *end = (uint32_t *)calloc((size_t)nb, sizeof(uint32_t));
    uint64_t *k2 = (uint64_t *)tin_big_raw((size_t)room * sizeof(uint64_t));
    int32_t *d2 = (int32_t *)tin_big_raw((size_t)room * sizeof(int32_t));
    if (!end || !k2 || !d2) {
        free(end);
        tin_big_free(k2);
        tin_big_free(d2);
        return 1;
    }
#define BUCKET_OF(x) __extension__({ double v_; memcpy(&v_, &(x), sizeof v_); \
        double s_ = (v_ - dmin) * scale; s_ < (double)nb ? (uint32_t)s_ : (uint32_t)(nb - 1); })
    for (int32_t j = 0; j < n; j++)
        end[BUCKET_OF(k[j])]++;
    uint32_t pos = 0, crowded = 0;
    for (int32_t b = 0; b < nb; b++) {      /* end[b]: where bucket b starts */
        uint32_t m = end[b];
        end[b] = pos;
        pos += m;
        crowded += m > BUCKET_INSERTION ? m : 0;
    }
    if (crowded > (uint32_t)n / 4) {
        /* clustered: the buckets would not spare the radix sort */
        free(end);
        tin_big_free(k2);
        tin_big_free(d2);
        return sort_by_key(key, id, n, room);
    }
    for (int32_t j = 0; j < n; j++) {       /* ... and then where it ends */
        uint32_t at = end[BUCKET_OF(k[j])]++;
        k2[at] = k[j];
        d2[at] = d[j];
    }
#undef BUCKET_OF
    int failed = 0;
    for (int32_t b = 0, from = 0; b < nb && !failed; from = (int32_t)end[b++]) {
        int32_t m = (int32_t)end[b] - from;
        uint64_t *kb = k2 + from;
        int32_t *db = d2 + from;
        if (m <= BUCKET_INSERTION) {
            /* in the order of their places already: stable insertion */
            for (int32_t x = 1; x < m; x++) {
                uint64_t kx = kb[x];
                int32_t dx = db[x], y = x - 1;
                for (; y >= 0 && kb[y] > kx; y--) {
                    kb[y + 1] = kb[y];
                    db[y + 1] = db[y];
                }
                kb[y + 1] = kx;
                db[y + 1] = dx;
            }
            continue;
        }
        uint64_t *tk = (uint64_t *)tin_big_raw((size_t)m * sizeof(uint64_t));
        int32_t *td = (int32_t *)tin_big_raw((size_t)m * sizeof(int32_t));
        if (tk && td) {
            memcpy(tk, kb, (size_t)m * sizeof(uint64_t));
            memcpy(td, db, (size_t)m * sizeof(int32_t));
            failed = sort_by_key(&tk, &td, m, m);
        }
        if (!tk || !td)
            failed = 1;
        if (!failed) {
            memcpy(kb, tk, (size_t)m * sizeof(uint64_t));
            memcpy(db, td, (size_t)m * sizeof(int32_t));
        }
        tin_big_free(tk);
        tin_big_free(td);
    }
    free(end);
    if (failed) {
        tin_big_free(k2);
        tin_big_free(d2);
        return 1;
    }
    tin_big_free(k);
    tin_big_free(d);
    *key = k2;
    *id = d2;
    return 0;
}

/* Squared radius of the circle through a, b, c (infinite when they lie on
** one line, by rounding or truly). */
static double circle_r2(const tin_point *a, const tin_point *b, const tin_point *c)
{
    double dx = b->x - a->x, dy = b->y - a->y, ex = c->x - a->x, ey = c->y - a->y;
    double bl = dx * dx + dy * dy, cl = ex * ex + ey * ey, d = dx * ey - dy * ex;
    if (d == 0)
        return INFINITY;
    double x = (ey * bl - dy * cl) * 0.5 / d, y = (dx * cl - ex * bl) * 0.5 / d;
    return x * x + y * y;
}

void tin_mesh_free(void)
{
    tin_big_free(sw);
    sw = NULL;
    tin_big_free(pm);
    pm = NULL;
    tin_big_free(tin_m.orig);
    tin_big_free(tin_m.slot);
    tin_big_free(tin_m.he);
    tin_big_free(tin_m.vhe);
    tin_big_free(tin_m.locked);
    tin_big_free(tin_m.flat);
    tin_big_free(tin_m.needle);
    tin_big_free(tin_m.fixed);
    tin_big_free(hull_next);
    tin_big_free(hull_prev);
    tin_big_free(hull_he);
    free(hull_hash);
    free(stack);
    free(lstack);
    free(queue.v);
    free(made.v);
    memset(&tin_m, 0, sizeof tin_m);
    memset(&queue, 0, sizeof queue);
    memset(&made, 0, sizeof made);
    hull_next = hull_prev = hull_he = hull_hash = stack = NULL;
    lstack = NULL;
    stack_cap = lstack_cap = 0;
}

static void free_build(void)
{
    tin_big_free(hull_next);
    tin_big_free(hull_prev);
    tin_big_free(hull_he);
    free(hull_hash);
    hull_next = hull_prev = hull_he = hull_hash = NULL;
}

/* A side of the renumbered mesh whose neighbour the walk has not given yet. */
#define UNSEEN INT32_MIN

/* Asks early for what the walk of reorder (below) reads a few places ahead
** of `at` in `told` (up to `end`): the triangle 40 places on (both its
** cache lines: a record of 24 bytes crosses into the next line one time
** in four), and the new numbers of the neighbours and of the corners of
** the triangle 20 places on (nearer, the memory of a busy machine is not
** there in time).  Once the record 40 on was asked for whole, the corners'
** numbers became the walk's dearest misses; asked for too, the walk over a
** million points went from some 105 ms to some 80.  Inlined by force: as
** a call of its own the compiler finds it has no effect (a prefetch
** changes nothing it can see) and drops the call, prefetches and all. */
static inline __attribute__((always_inline)) void ask_ahead(const tin_he *he, const int32_t *told,
                                                            int32_t at, int32_t end,
                                                            const int32_t *tnew, const int32_t *pnew)
{
    if (at + 40 < end) {
        __builtin_prefetch(&he[3 * told[at + 40]]);
        __builtin_prefetch(&he[3 * told[at + 40] + 2]);
    }
    if (at + 20 < end) {
        const tin_he *f = &he[3 * told[at + 20]];
        for (int i = 0; i < 3; i++) {
            if (f[i].n != -1)
                __builtin_prefetch(&tnew[(uint32_t)f[i].n / 3]);
            __builtin_prefetch(&pnew[f[i].v]);
        }
    }
}

/*
** The build leaves the triangles and points in the order the sweep made
** them, by distance from the centre; the front walks them breadth first
** from its seed, by steps across edges, which drifts far from that order
** (its ring is ragged).  Renumbered in the order of a breadth-first walk
** over the triangles from the sweep's first point, each point numbered
** where the walk first meets it, the triangles and points the front meets
** one after the other lie close together in memory.  The mesh is the same
** triangulation; the points left out keep their numbers at the end.  1 when
** memory runs out.  p: the caller's points, from which the copy in the new
** order is made, after the old copy has made room for it.
*/
static int reorder(const tin_point *p)
{
    int32_t nt = tin_m.ntri, n = tin_m.n, nk = tin_m.nk;
    /* the sweep's copy of the points is not read here: its room serves first */
    tin_big_free(sw);
    sw = NULL;
    int32_t *tnew = (int32_t *)tin_big_raw((size_t)nt * sizeof(int32_t));
    int32_t *told = (int32_t *)tin_big_raw((size_t)nt * sizeof(int32_t));
    int32_t *pnew = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    int32_t *pold = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    tin_he *he2 = (tin_he *)tin_big_raw((size_t)tin_m.cap * 3 * sizeof(tin_he));
    if (!tnew || !told || !pnew || !pold || !he2) {
        tin_big_free(tnew); tin_big_free(told); tin_big_free(pnew); tin_big_free(pold);
        tin_big_free(he2);
        return 1;
    }
    const tin_he *he = tin_m.he;
    memset(tnew, 0xff, (size_t)nt * sizeof(int32_t));
    memset(pnew, 0xff, (size_t)nk * sizeof(int32_t));
    /* the walk: told lists the triangles in their new order, pold the
    ** points; the queue is told itself, so the triangles a few places ahead
    ** are known and asked for early (they lie anywhere in memory).  When a
    ** triangle leaves the queue its corners and neighbours all have their
    ** new numbers (given then, if not before), so its new record is written
    ** at once, while the old one is still in the cache.
    **
    ** A side shared with a triangle already written needs no look-up: that
    ** triangle, when written, put its own side's number in this one's
    ** record (which lies just ahead, in the queue's stretch of he2), and its
    ** record holds the new numbers of the side's two ends.  So only the
    ** sides towards triangles still to come look up tnew, and only a corner
    ** on no such shared side looks up pnew: about half the look-ups, and
    ** the numbers come out the same.
    **
    **        t (now, at j)        u (done, at tu): side k is t's side i
    **     c[i+1] <------ c[i]     he2[3 tu + k]      = { c[i+1], 3 j + i }
    **            side i           he2[3 tu + k + 1].v = c[i]
    */
    int32_t head = 0, tail = 0, np = 0;
    /* from a triangle round point 0, the sweep's first point: the front's
    ** seed when it starts from the middle */
    int32_t first = tin_m.vhe[0] >= 0 ? tin_m.vhe[0] / 3 : 0;
    for (int32_t k = -1; k < nt; k++) {
        int32_t s = k < 0 ? first : k;
        if (tnew[s] != -1)
            continue;
        tnew[s] = tail;
        he2[3 * tail].n = he2[3 * tail + 1].n = he2[3 * tail + 2].n = UNSEEN;
        told[tail++] = s;
        while (head < tail) {
            ask_ahead(he, told, head, tail, tnew, pnew);
            int32_t j = head, t = told[head++];
            tin_he *w = &he2[3 * j];
            int32_t c[3] = { -1, -1, -1 };
            for (int i = 0; i < 3; i++) {
                int32_t r = w[i].n;
                if (r >= 0) {               /* done already: UNSEEN is below 0 */
                    int32_t r0 = r - (int32_t)((uint32_t)r % 3);
                    c[after3[i]] = he2[r].v;
                    c[i] = he2[r0 + after3[r - r0]].v;
                }
            }
            for (int i = 0; i < 3; i++) {
                int32_t v = he[3 * t + i].v, g = he[3 * t + i].n;
                if (c[i] == -1) {
                    if (pnew[v] == -1) {
                        pnew[v] = np;
                        pold[np++] = v;
                    }
                    c[i] = pnew[v];
                }
                w[i].v = c[i];
                if (w[i].n != UNSEEN)
                    continue;
                if (g == -1) {
                    w[i].n = -1;
                    continue;
                }
                uint32_t u = (uint32_t)g / 3;
                int32_t gr = g - 3 * (int32_t)u, tu = tnew[u];
                if (tu == -1) {
                    tu = tnew[u] = tail;
                    he2[3 * tail].n = he2[3 * tail + 1].n = he2[3 * tail + 2].n = UNSEEN;
                    told[tail++] = u;
                }
                w[i].n = 3 * tu + gr;
                he2[3 * tu + gr].n = 3 * j + i;
            }
        }
    }
    for (int32_t i = 0; i < nk; i++)
        if (pnew[i] == -1) {            /* in no triangle (cannot happen) */
            pnew[i] = np;
            pold[np++] = i;
        }
    for (int32_t i = nk; i < n; i++) {
        pnew[i] = i;                    /* left out: kept at the end */
        pold[i] = i;
    }
    /* the old triangles are done with: their room serves the points' arrays */
    tin_big_free(tin_m.he);
    tin_big_free(told);
    tin_m.he = he2;
    int32_t *orig2 = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    int32_t *vhe2 = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    if (!orig2 || !vhe2) {
        tin_big_free(tnew); tin_big_free(pnew); tin_big_free(pold);
        tin_big_free(orig2); tin_big_free(vhe2);
        return 1;
    }
    /* the points' arrays are written in order, the old read where they lie */
    for (int32_t j = 0; j < n; j++) {
        if (j + 16 < n) {
            __builtin_prefetch(&tin_m.orig[pold[j + 16]]);
            __builtin_prefetch(&tin_m.vhe[pold[j + 16]]);
        }
        if (j + 8 < n) {
            int32_t h = tin_m.vhe[pold[j + 8]];
            if (h >= 0)
                __builtin_prefetch(&tnew[(uint32_t)h / 3]);
        }
        int32_t i = pold[j], h = tin_m.vhe[i];
        orig2[j] = tin_m.orig[i];
        vhe2[j] = h < 0 ? h : 3 * tnew[(uint32_t)h / 3] + (int32_t)((uint32_t)h % 3);
    }
    for (int32_t j = 0; j < n; j++)
        tin_m.slot[orig2[j]] = j;
    tin_m.hull = pnew[tin_m.hull];
    tin_big_free(tin_m.orig);
    tin_big_free(tin_m.vhe);
    tin_big_free(tnew);
    tin_big_free(pnew);
    tin_big_free(pold);
    tin_m.orig = orig2;
    tin_m.vhe = vhe2;
    pm = (tin_point *)tin_big_raw((size_t)n * sizeof(tin_point));
    tin_m.p = pm;
    if (!pm)
        return 1;
    for (int32_t j = 0; j < n; j++) {
        if (j + 16 < n)
            __builtin_prefetch(&p[orig2[j + 16]]);
        pm[j] = p[orig2[j]];
    }
    return 0;
}

int tin_mesh_build(int32_t n, const tin_point *p, const uint8_t *skip, int32_t start,
                   double flat, double needle)
{
    tin_mesh_free();
    if (n < 3)
        return 1;
    tin_m.n = n;
    tin_m.cap = 2 * n;
    flat2 = flat * flat;
    needle2 = needle * needle;
    /* (each array is taken when its phase comes, to reuse the room of
    ** those the phase before gave back: the sort of the distances, then
    ** the sweep) */
    tin_m.he = (tin_he *)tin_big_raw((size_t)tin_m.cap * 3 * sizeof(tin_he));
    uint64_t *key = (uint64_t *)tin_big_raw((size_t)n * sizeof(uint64_t));
    int32_t *order = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    int failed = !tin_m.he || !key || !order;

    /* the seed: the point nearest the middle of the box, its nearest
    ** point, and the point that makes the smallest circle with them */
    int32_t i0 = -1, i1 = -1, i2 = -1, nk = 0;
    if (!failed) {
        double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
        for (int32_t i = 0; i < n; i++) {
            if (skip && skip[i])
                continue;
            if (!isfinite(p[i].x) || !isfinite(p[i].y))
                failed = 1;
            nk++;
            if (p[i].x < x0) x0 = p[i].x;
            if (p[i].x > x1) x1 = p[i].x;
            if (p[i].y < y0) y0 = p[i].y;
            if (p[i].y > y1) y1 = p[i].y;
        }
        if (nk < 3)
            failed = 1;
        double mx = (x0 + x1) / 2, my = (y0 + y1) / 2, best = INFINITY;
        int given = start >= 0 && start < n && !(skip && skip[start]);
        if (given)
            i0 = start;
        for (int32_t i = 0; i < n && !failed && !given; i++) {
            double d = (p[i].x - mx) * (p[i].x - mx) + (p[i].y - my) * (p[i].y - my);
            if (!(skip && skip[i]) && d < best) { best = d; i0 = i; }
        }
        best = INFINITY;
        if (i0 < 0)
            failed = 1;                 /* no distance could be measured */
        for (int32_t i = 0; i < n && !failed; i++) {
            double d = (p[i].x - p[i0].x) * (p[i].x - p[i0].x)
                       + (p[i].y - p[i0].y) * (p[i].y - p[i0].y);
            if (i != i0 && !(skip && skip[i]) && d < best) { best = d; i1 = i; }
        }
        if (i1 < 0)
            failed = 1;                 /* every distance overflows */
        best = INFINITY;
        for (int32_t i = 0; i < n && !failed; i++) {
            if (i == i0 || i == i1 || (skip && skip[i])
                || tin_orient(&p[i0], &p[i1], &p[i]) == 0)
                continue;
            double r = circle_r2(&p[i0], &p[i1], &p[i]);
            if (i2 == -1 || r < best) { best = r; i2 = i; }
        }
        if (i2 == -1)
            failed = 1;                 /* every point on one line */
    }
    if (failed) {
        tin_big_free(key);
        tin_big_free(order);
        tin_mesh_free();
        return 1;
    }
    if (tin_orient(&p[i0], &p[i1], &p[i2]) < 0) {
        int32_t t = i1;
        i1 = i2;
        i2 = t;
    }
    {
        double dx = p[i1].x - p[i0].x, dy = p[i1].y - p[i0].y;
        double ex = p[i2].x - p[i0].x, ey = p[i2].y - p[i0].y;
        double bl = dx * dx + dy * dy, cl = ex * ex + ey * ey, d = dx * ey - dy * ex;
        cen_x = p[i0].x + (ey * bl - dy * cl) * 0.5 / d;
        cen_y = p[i0].y + (dx * cl - ex * bl) * 0.5 / d;
        if (!isfinite(cen_x) || !isfinite(cen_y)) {
            cen_x = (p[i0].x + p[i1].x + p[i2].x) / 3;
            cen_y = (p[i0].y + p[i1].y + p[i2].y) / 3;
        }
    }
    {
        int32_t k = 0;
        for (int32_t i = 0; i < n; i++) {
            if (skip && skip[i])
                continue;
            double dx = p[i].x - cen_x, dy = p[i].y - cen_y, d = dx * dx + dy * dy;
            memcpy(&key[k], &d, sizeof d);
            order[k++] = i;
        }
    }
    if (sort_by_distance(&key, &order, nk, n)) {
        tin_big_free(key);
        tin_big_free(order);
        tin_mesh_free();
        return 1;
    }
    tin_big_free(key);

    /* renumber: the seed first, then by distance, the points left out last;
    ** copy the points so */
    {
        int32_t k = 0;
        for (int32_t o = 0; o < nk; o++)
            if (order[o] != i0 && order[o] != i1 && order[o] != i2)
                order[k++] = order[o];
        memmove(order + 3, order, (size_t)k * sizeof(int32_t));
        order[0] = i0;
        order[1] = i1;
        order[2] = i2;
        k = nk;
        for (int32_t i = 0; skip && i < n; i++)
            if (skip[i])
                order[k++] = i;
    }
    sw = (sweep_xy *)tin_big_raw((size_t)nk * sizeof(sweep_xy));
    tin_m.slot = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    hull_next = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    hull_prev = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    hull_he = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    /* the ring of n points holds a few times sqrt(n): four buckets per
    ** sqrt(n) put the hashed point a step or two from the wedge */
    hash_size = (int32_t)ceil(4 * sqrt((double)nk));
    hull_hash = (int32_t *)malloc((size_t)hash_size * sizeof(int32_t));
    if (!sw || !tin_m.slot || !hull_next || !hull_prev || !hull_he || !hull_hash) {
        tin_big_free(order);
        tin_mesh_free();
        return 1;
    }
    /* (the gather from the x-sorted points, asked for early) */
    for (int32_t j = 0; j < n; j++) {
        if (j + 16 < n) {
            __builtin_prefetch(&p[order[j + 16]]);
            __builtin_prefetch(&tin_m.slot[order[j + 16]], 1);
        }
        if (j < nk) {
            sw[j].x = p[order[j]].x;
            sw[j].y = p[order[j]].y;
        }
        tin_m.slot[order[j]] = j;
    }
    tin_m.orig = order;
    tin_m.nk = nk;
    for (int32_t k = 0; k < hash_size; k++)
        hull_hash[k] = -1;

    hull_start = 0;
    hull_next[0] = hull_prev[2] = 1;
    hull_next[1] = hull_prev[0] = 2;
    hull_next[2] = hull_prev[1] = 0;
    hull_he[0] = 0;
    hull_he[1] = 1;
    hull_he[2] = 2;
    nring = 3;
    ang_x = (SX(0) + SX(1) + SX(2)) / 3;
    ang_y = (SY(0) + SY(1) + SY(2)) / 3;
    for (int32_t k = 0; k < 3; k++)
        hull_hash[hash_key(k)] = k;
    tin_m.ntri = 0;
    add_tri(0, 1, 2, -1, -1, -1);

    for (int32_t i = 3; i < nk && !failed; i++) {
        /* a ring point near i's angle (the next one round when the one
        ** hashed there has left the ring) */
        int32_t key0 = hash_key(i), start = -1;
        for (int32_t j = 0, k = key0; j < hash_size; j++, k = k + 1 == hash_size ? 0 : k + 1) {
            start = hull_hash[k];
            if (start != -1 && start != hull_next[start])
                break;
        }
        hull_next[i] = i;               /* (not on the ring, unless it joins) */
        failed = add_point(i, start);
        if (hull_next[i] != i)
            hull_hash[key0] = i;
    }
    if (!failed)
        failed = close_ring();
    free(lstack);
    lstack = NULL;
    lstack_cap = 0;

    if (!failed) {
        size_t nh = (size_t)tin_m.ntri * 3;
        tin_big_free(hull_prev);        /* vhe takes its room */
        hull_prev = NULL;
        tin_m.vhe = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
        failed = !tin_m.vhe;
        if (!failed) {
            for (int32_t i = 0; i < n; i++)
                tin_m.vhe[i] = -1;
            for (size_t h = 0; h < nh; h++)
                tin_m.vhe[tin_m.he[h].v] = (int32_t)h;
            /* on the hull, the hull half-edge */
            tin_m.hull = hull_start;
            int32_t v = hull_start;
            do {
                tin_m.vhe[v] = hull_he[v];
                v = hull_next[v];
            } while (v != hull_start);
            /* the hull's arrays are done with; the marks' arrays come after
            ** the renumbering: each phase reuses the room of the last */
            free_build();
            failed = reorder(p);
        }
        if (!failed) {
            tin_m.locked = (uint8_t *)tin_big((size_t)tin_m.cap * 3);
            tin_m.flat = (uint8_t *)tin_big((size_t)n);
            tin_m.needle = (uint8_t *)tin_big((size_t)tin_m.cap);
            tin_m.fixed = (uint8_t *)tin_big((size_t)tin_m.cap);
            failed = !tin_m.locked || !tin_m.flat || !tin_m.needle || !tin_m.fixed;
        }
        if (!failed) {
            const tin_he *he = tin_m.he;
            const double f2 = flat2, n2 = needle2;
            for (int32_t t = 0; t < tin_m.ntri; t++) {
                int32_t c[3] = { he[3 * t].v, he[3 * t + 1].v, he[3 * t + 2].v };
                /* the sides opposite the corners, x and y side by side (the
                ** same roundings as one by one) */
                tin_v2 q0, q1, q2;
                memcpy(&q0, &pm[c[0]], sizeof q0);
                memcpy(&q1, &pm[c[1]], sizeof q1);
                memcpy(&q2, &pm[c[2]], sizeof q2);
                tin_v2 e0 = q2 - q1, e1 = q0 - q2, e2 = q1 - q0;
                tin_v2 s0 = e0 * e0, s1 = e1 * e1, s2 = e2 * e2;
                double ex[3] = { e0[0], e1[0], e2[0] }, ey[3] = { e0[1], e1[1], e2[1] };
                double el[3] = { s0[0] + s0[1], s1[0] + s1[1], s2[0] + s2[1] };
                double cr = ex[0] * ey[1] - ey[0] * ex[1], cr2 = cr * cr;
                /* most triangles pass both tests at their longest side: a
                ** rounded product grows with its factors, so each bound
                ** below is at most the one with the longest side's length
                ** (an infinite or undefined value goes the long way) */
                double lm = el[0] > el[1] ? el[0] : el[1];
                lm = lm > el[2] ? lm : el[2];
                if (cr2 > f2 * lm && cr2 > n2 * lm * lm)
                    continue;
                for (int i = 0; i < 3; i++) {
                    if (!(cr2 > f2 * el[i]))
                        tin_m.flat[c[i]] = 1;
                    /* the angle at corner i lies between the other two sides */
                    if (!(cr2 > n2 * el[(i + 1) % 3] * el[(i + 2) % 3]))
                        tin_m.needle[t] = 1;
                }
            }
        }
    }
    free_build();
    if (failed) {
        tin_mesh_free();
        return 1;
    }
    return 0;
}

/* ------------------------------------------------------------------------
** After the build. */

int32_t tin_mesh_find(int32_t u, int32_t v)
{
    const tin_he *he = tin_m.he;
    int32_t h0 = tin_m.vhe[u], h = h0;
    if (h0 < 0)
        return -1;
    /* counter-clockwise round u: from the hull half-edge on the hull */
    do {
        if (he[tin_next(h)].v == v)
            return h;
        h = he[tin_prev(h)].n;
    } while (h != -1 && h != h0);
    return -1;
}

int32_t tin_mesh_flip(int32_t a)
{
    tin_he *he = tin_m.he;
    int32_t *vhe = tin_m.vhe;
    uint8_t *locked = tin_m.locked;
    int32_t b = he[a].n;
    uint32_t ra = (uint32_t)a % 3, rb = (uint32_t)b % 3;
    int32_t al = a + step_after[ra], ar = a + step_before[ra];
    int32_t bl = b + step_before[rb], br = b + step_after[rb];
    int32_t p0 = he[ar].v, pr = he[a].v, pl = he[al].v, p1 = he[bl].v;
    uint8_t lock_ar = locked[ar], lock_bl = locked[bl];
    flip_slots(a, b, ar, bl);
    locked[b] = lock_ar;
    locked[a] = lock_bl;
    locked[ar] = locked[bl] = 0;
    /* every corner keeps a half-edge that leaves it (the hull one on the hull) */
    if (vhe[pr] == a) vhe[pr] = br;
    if (vhe[pl] == b) vhe[pl] = al;
    if (vhe[p0] == ar) vhe[p0] = b;
    if (vhe[p1] == bl) vhe[p1] = a;
    tin_mesh_mark(ar);
    tin_mesh_mark(bl);
    if (tin_m.on_flip)
        tin_m.on_flip(ar, bl);
    return ar;
}

/* A new triangle's marks: its needle mark, and the flat mark of each
** corner it is flat from.  A corner's mark is never taken back (it may
** stay from a triangle a flip removed): it only asks for more care. */
void tin_mesh_mark(int32_t h)
{
    const tin_point *p = tin_m.p;
    int32_t t = (int32_t)((uint32_t)h / 3);
    int32_t c[3] = { tin_m.he[3 * t].v, tin_m.he[3 * t + 1].v, tin_m.he[3 * t + 2].v };
    double ex[3], ey[3], el[3];
    for (int i = 0; i < 3; i++) {
        ex[i] = p[c[(i + 2) % 3]].x - p[c[(i + 1) % 3]].x;
        ey[i] = p[c[(i + 2) % 3]].y - p[c[(i + 1) % 3]].y;
        el[i] = ex[i] * ex[i] + ey[i] * ey[i];
    }
    double cr = ex[0] * ey[1] - ey[0] * ex[1], cr2 = cr * cr;
    tin_m.needle[t] = 0;
    for (int i = 0; i < 3; i++) {
        if (!(cr2 > needle2 * el[(i + 1) % 3] * el[(i + 2) % 3]))
            tin_m.needle[t] = 1;
        if (!(cr2 > flat2 * el[i]))
            tin_m.flat[c[i]] = 1;
    }
}

/* Is the quadrilateral of the two triangles beside h strictly convex? */
int tin_mesh_flippable(int32_t h)
{
    const tin_point *p = tin_m.p;
    const tin_he *he = tin_m.he;
    int32_t g = tin_m.he[h].n;
    if (g == -1 || tin_m.locked[h] || tin_m.fixed[h / 3] || tin_m.fixed[g / 3])
        return 0;
    int32_t a = he[h].v, b = he[tin_next(h)].v, c = he[tin_prev(h)].v, d = he[tin_prev(g)].v;
    /* c and d lie on either side of a-b already; a and b must lie on
    ** either side of c-d */
    return tin_orient(&p[c], &p[d], &p[a]) < 0 && tin_orient(&p[c], &p[d], &p[b]) > 0;
}

/* Does the open segment (x, y) cross the open segment (u, v) properly? */
static int crosses(int32_t x, int32_t y, int32_t u, int32_t v)
{
    const tin_point *p = tin_m.p;
    double o1 = tin_orient(&p[u], &p[v], &p[x]), o2 = tin_orient(&p[u], &p[v], &p[y]);
    double o3 = tin_orient(&p[x], &p[y], &p[u]), o4 = tin_orient(&p[x], &p[y], &p[v]);
    return ((o1 > 0 && o2 < 0) || (o1 < 0 && o2 > 0)) && ((o3 > 0 && o4 < 0) || (o3 < 0 && o4 > 0));
}

int32_t tin_mesh_insert_edge(int32_t u, int32_t v, uint8_t lock)
{
    const tin_point *p = tin_m.p;
    const tin_he *he = tin_m.he;
    int32_t h = tin_mesh_find(u, v);
    if (h == -1)
        h = tin_mesh_find(v, u);        /* on the hull only one way */
    if (h != -1) {
        tin_m.locked[h] |= lock;
        if (he[h].n != -1)
            tin_m.locked[he[h].n] |= lock;
        return h;
    }
    /* the triangle round u that the segment leaves u through: its far
    ** side (x, y) has x strictly right of u -> v and y strictly left */
    int32_t h0 = tin_m.vhe[u], e = -1;
    h = h0;
    if (h0 < 0)
        return -1;
    do {
        int32_t x = he[tin_next(h)].v, y = he[tin_prev(h)].v;
        double ox = tin_orient(&p[u], &p[v], &p[x]), oy = tin_orient(&p[u], &p[v], &p[y]);
        if (ox == 0 && (p[x].x - p[u].x) * (p[v].x - p[u].x) + (p[x].y - p[u].y) * (p[v].y - p[u].y) > 0)
            return -1;                  /* a point on the segment */
        if (ox < 0 && oy > 0) {
            e = tin_next(h);
            break;
        }
        h = he[tin_prev(h)].n;
    } while (h != -1 && h != h0);
    if (e == -1)
        return -1;

    /* walk along the segment, listing the edges it crosses */
    queue.n = queue.head = made.n = made.head = 0;
    for (;;) {
        if (tin_m.locked[e] || tin_m.fixed[e / 3]
            || (he[e].n != -1 && tin_m.fixed[he[e].n / 3]))
            return -1;
        int32_t x = he[e].v, y = he[tin_next(e)].v;     /* x right, y left */
        if (pair_push(&queue, x, y))
            return -1;
        int32_t f = he[e].n;
        if (f == -1)
            return -1;
        int32_t z = he[tin_prev(f)].v;
        if (z == v)
            break;
        double oz = tin_orient(&p[u], &p[v], &p[z]);
        if (oz == 0)
            return -1;                  /* a point on the segment */
        /* triangle (y, x, z): the next crossed side joins z with x or y,
        ** again right end first */
        e = oz > 0 ? tin_next(f) : tin_prev(f);     /* x -> z, or z -> y */
    }

    /* flip crossing edges until none is left; one that cannot be flipped
    ** yet (its quadrilateral is not convex) waits at the back */
    long guard = 0;
    while (queue.head < queue.n) {
        int32_t x = queue.v[queue.head], y = queue.v[queue.head + 1];
        queue.head += 2;
        int32_t g = tin_mesh_find(x, y);
        if (g == -1 || ++guard > 100000000L)
            return -1;
        if (!tin_mesh_flippable(g)) {
            if (pair_push(&queue, x, y))
                return -1;
            continue;
        }
        int32_t nd = tin_mesh_flip(g);
        int32_t c = he[nd].v, d = he[tin_next(nd)].v;
        if (pair_push(crosses(c, d, u, v) ? &queue : &made, c, d))
            return -1;
    }
    h = tin_mesh_find(u, v);
    if (h == -1)
        h = tin_mesh_find(v, u);
    if (h == -1)
        return -1;
    tin_m.locked[h] |= lock;
    if (he[h].n != -1)
        tin_m.locked[he[h].n] |= lock;

    /* back towards Delaunay: the edges made, and their neighbours after
    ** each flip */
    int32_t sp = 0;
    for (int32_t k = 0; k < made.n; k += 2) {
        int32_t g = tin_mesh_find(made.v[k], made.v[k + 1]);
        if (g != -1 && push(&sp, g))
            return -1;
    }
    while (sp > 0) {
        int32_t g = stack[--sp];
        if (g < 0 || g >= tin_m.ntri * 3 || tin_m.locked[g] || he[g].n == -1
            || tin_m.fixed[g / 3] || tin_m.fixed[he[g].n / 3])
            continue;
        int32_t c = he[tin_prev(g)].v, d = he[tin_prev(he[g].n)].v;
        if (tin_incircle(&p[he[g].v], &p[he[tin_next(g)].v], &p[c], &p[d]) <= 0)
            continue;
        if (!tin_mesh_flippable(g))
            continue;
        int32_t nd = tin_mesh_flip(g), od = he[nd].n;
        if (push(&sp, tin_next(nd)) || push(&sp, tin_prev(nd))
            || push(&sp, tin_next(od)) || push(&sp, tin_prev(od)))
            return -1;
    }
    return h;
}
