/*
** tin_fast.cpp -- the fast third-point search.
**
** The straightforward search (tin_front.cpp) sweeps the sorted points for
** every front edge and keeps the point that sees the edge under the widest
** angle among those it may take.  Where nothing is degenerate that point is
** the apex of the Delaunay triangle on the edge's far side, so the fast
** search builds the Delaunay triangulation first (tin_mesh.cpp) and reads
** the apex off it.  It keeps the triangulation in step with the front: every
** triangle the front emits is a triangle of the mesh, its sides locked.
**
** The apex k of the far triangle G of the edge (a, b) is taken directly
** only when the straightforward search provably takes it too:
**
**   - k passes the search's own tests, evaluated with the search's own
**     expressions: not closed, strictly on the far side, not flat, inside
**     the area where that test applies;
**   - no other point can compare better.  A rival would have to see (a, b)
**     under an angle whose cosine is within rounding of k's, so it would lie
**     on or next to the circle of G.  G's circle is empty, and so are those
**     of the triangles beyond its sides (a, k) and (k, b); when their apexes
**     lie clearly outside G's circle, the gap between those circles and G's
**     keeps every point away from it except within rounding distance of a
**     corner, and distinct points lie at least eps apart:
**
**               m1 .  .           the far apexes m1, m2 lie clearly
**              .        .         outside the circle of (a, b, k): the
**            .     k      .       lunes between the circles hold no
**           a  _________   b      point, so no point sees (a, b) under
**                 opp             an angle as wide as k does
**
**     Where an apex lies nearly on the circle (cocircular points, a grid),
**     the near ones are gathered (a cluster), compared with the search's
**     own cosines and its sweep order for ties, and the mesh is flipped to
**     the triangle the search takes.  Across a constraint edge, or near a
**     triangle the mesh had to bend to, circles need not be empty: there the
**     points inside the circle's box are checked one by one;
**   - the validity test cannot refuse it by rounding: its sides cross no
**     edge of the mesh, and the rounded crossing test can only err near
**     points within rounding distance of one of the lines involved.  The
**     corners' stars are checked to be free of flat triangles and needle
**     angles, and the lines (k, a), (k, b) leave the triangle's box at its
**     corners.
**
** Anywhere else -- the hull, a point the search's rounding treats
** differently, an inconsistency -- the straightforward search answers for
** that edge, and the mesh is bent to its answer; if the mesh cannot take
** it, the straightforward search goes on alone.  Both searches leave the
** same state (the edge buffer, flags, angle sums -- the fast search makes
** most sums whole only when they are read), so the triangles, their
** corners and their order are the same.
*/
#include <math.h>
#include <stdlib.h>
#include <string.h>
#ifdef TIN_CHECK_LAZY
#include <stdio.h>
#endif

#include "tin_int.h"
#include "tin_mesh.h"
#include "tin_pred.h"

tin_fast_stats tin_fast_count;

/* fmin and fmax as the library gives them (the second operand at a tie,
** the other one against a NaN), without its call. */
static inline double min_of(double a, double b)
{
    return a < b ? a : b != b ? a : b;
}

static inline double max_of(double a, double b)
{
    return a > b ? a : b != b ? a : b;
}

/* Results of the steps below. */
enum { FOUND = 0, NONE = 1, ASK = 2 };

/* Bits of the mesh's locked byte: a constraint edge, an edge held while the
** mesh is bent to a triangle.  An emitted triangle is fixed in the mesh. */
#define LOCK_CONSTRAINT 2
#define LOCK_BENDING 4

/* Two points' cosines over an edge differ by rounding alone by far less
** than this margin of the angle sum (below) would make them differ; an
** apex nearer its neighbour's circle than that joins a cluster. */
#define CLUSTER_MARGIN (1.0 / 1024)
#define CLUSTER_CAP 48

/* Straightforward searches done without its accelerations; they pay off
** only where the searches come often. */
#define FEW_ASKS 64

/* The fast front's edge buffer.  The straightforward search's records hold
** the edge's ends, box and line (71 bytes).  An edge the front appends is a
** side of the triangle just emitted, and an emitted triangle stays as it
** is in the mesh: its half-edge there gives the ends, opp and the triangle
** beyond, and the line is made again from the ends when needed, as it was
** made (by tin_lpp, the new point first).  Five bytes an edge.  Edges that
** are no side of a mesh triangle (the constraint edges, the sides of a
** triangle the mesh could not take) keep their ends in a side table.  The
** records the straightforward search reads are written out only for the
** part of the buffer it is about to scan; the point-by-point check runs
** the search's validity scan on this buffer itself (scan_valid) and writes
** none. */
#define FE_CLOSED 1             /* both sides have their triangle */
#define FE_LINE_OLD 2           /* line of (u, v), not of (v, u) */
#define FE_LINE_KEPT 4          /* line held in tin.tri (a constraint edge, or
                                ** the copy of a break line) */
#define FE_TURNED 8             /* u is the end of the half-edge, not its start */

typedef struct loose_edge {
    int32_t e, u, v, opp;
} loose_edge;

/* The fast search numbers the points as the mesh does (tin_mesh.h): its
** buffer, the mesh and the angle sums all use mesh numbers, and the
** straightforward search, the caller and the edge records get the caller's
** indices. */
static struct {
    int       on;               /* 0: the straightforward search answers all */
    int32_t   n;
    const tin_point *p;         /* by mesh number */
    const tin_point *caller;    /* the caller's array */
    const int32_t *orig;        /* mesh number -> the caller's index */
    uint8_t  *cons;             /* per mesh number: an end of a constraint edge */
    int32_t  *near;             /* per buffer edge: its half-edge in the
                                ** triangle it was made with, -1 loose */
    int32_t  *of_he;            /* per half-edge: 1 + the latest buffer edge
                                ** made with it (near), 0 none */
    uint8_t  *bits;             /* per buffer edge: FE_ */
    loose_edge *loose;          /* the loose edges, by buffer number */
    int32_t   nloose, loose_cap;
    int32_t   written;          /* tin.tri holds the records up to here */
    int32_t   pend[3];          /* sides (a,k), (b,k), (a,b) of the latest triangle */
    double    delta;            /* bound on the rounding of a side value, as a distance */
    double    needle;           /* sine below which an angle is a needle */
    double    rival;            /* 64 u / CLUSTER_MARGIN: how far from k a rival may
                                ** lie, per unit of |k-a| |k-b| / (sin(k) |a-b|) */
    int       modest;           /* no difference of two coordinates overflows */
    long      asks;             /* straightforward searches so far */
    int       sped;             /* its accelerations are open */
    int32_t  *pending;          /* points whose closing changed (or whose sum began
                                ** to lag, lazy) since the open mask */
    int32_t   npending, pending_cap;  /* was last brought in line */
    int       open_stale;       /* more than pending holds: rebuild it whole */
    int       rechecks;         /* better points checked in turn (better_checked) */
    int       passed;           /* an edge has been passed open (until then none
                                ** is asked for) */
    uint8_t  *passed_end;       /* per point: an end of such an edge (made at the
                                ** first; NULL then: every side is asked for) */
    /* lazy sums (see sum_of) */
    int       lazy;             /* on: the triangles take() takes add no angles */
    int       unread;           /* lazy, and no triangle was built that the mesh
                                ** could not take: surely_open may say so */
    uint8_t  *taken;            /* per point: triangles taken round it (TAKEN_COUNT,
                                ** at most), and TIN_SUM_LAZY */
    uint8_t  *summed;           /* per triangle: bit c = corner c's angle is in
                                ** its sum (fixed triangles only) */
#ifdef TIN_CHECK_LAZY
    int64_t  *owed;             /* per point: the units its sum lacks, made as
                                ** the eager addition made them */
#endif
} fs;

#define TAKEN_COUNT 0x7f

/* The points by cells of a grid, for the point-by-point check: the ids of
** cell c are ids[start[c] .. start[c+1]-1]; built when first needed. */
static struct {
    int32_t *start, *ids;
    int32_t  nx, ny;
    double   x0, y0, cs;
    int      tried;
} pg;

/* ---- where circles may not be empty --------------------------------------
** The mesh is Delaunay except across locked edges that are not: the
** constraint edges, and triangles the front built that the mesh had to be
** bent to.  Cells of a coarse grid are marked where the bending flipped
** edges; a circle whose box touches a marked cell is not trusted to be
** empty.  Where the front built a triangle the mesh could not take, the
** mesh does not even tell which edges the front has: those cells carry a
** second mark.  The first few such triangles are listed instead, and a
** circle is held against their sides.
**
** The constraint edges are inserted with the mesh made Delaunay again
** around them (constrained Delaunay): a triangle's circle holds no point
** that can be seen from the triangle past them.  A circle that no
** constraint edge meets is then empty like any other, and so are the parts
** of its neighbours' circles within it, which is all the lunes (see the
** head of this file) need.  The grid's cells list the constraint edges
** that run through them (and their neighbours), and a circle is held
** against the edges listed under its box. */
#define DIRTY_CIRCLE 1
#define DIRTY_STRAY 2
#define DIRTY_CONS 4            /* the cell lists constraint edges */
#define STRAY_CAP 64
static struct {
    uint8_t *cell;
    int32_t  nx, ny;
    double   x0, y0, cs;
    int      any;
    /* the box of the flips of one bending, and whether all were cocircular */
    double   fx0, fx1, fy0, fy1;
    int      nflips, skewed;
    /* the constraint edges by cell: cell c lists cons[cstart[c] ..
    ** cstart[c+1]-1], edge e's ends (mesh numbers) cend[2e], cend[2e+1] */
    int32_t *cstart, *cons, *cend;
    /* the triangles the mesh could not take (corners by mesh number) */
    int32_t  stray[STRAY_CAP][3];
    double   sbox[STRAY_CAP][4];    /* its box: x0, x1, y0, y1 */
    double   sall[4];               /* the box of them all */
    int      nstray;
} dg;

static void dirty_open(int32_t n, double x0, double x1, double y0, double y1)
{
    double w = x1 - x0, h = y1 - y0, area = (w > 0 ? w : 1) * (h > 0 ? h : 1);
    double cs = sqrt(area / (n / 4.0 + 1));
    if (!(cs > 0) || !isfinite(cs))
        cs = 1;
    double nx = w / cs + 1, ny = h / cs + 1;
    if (nx > 2048) nx = 2048;
    if (ny > 2048) ny = 2048;
    dg.nx = (int32_t)nx;
    dg.ny = (int32_t)ny;
    dg.cs = fmax(w / dg.nx, h / dg.ny) * 1.0001 + 1e-300;
    dg.x0 = x0;
    dg.y0 = y0;
    dg.cell = (uint8_t *)calloc((size_t)dg.nx * dg.ny, 1);
    dg.any = 0;
}

static int32_t dcell(double v, double origin, int32_t count)
{
    double t = (v - origin) / dg.cs;
    if (!(t >= 0))
        return 0;
    if (t >= count)
        return count - 1;
    return (int32_t)t;
}

/* Marks every cell the box meets. */
static void dirty_box_mark(double x0, double x1, double y0, double y1, uint8_t mark)
{
    if (!dg.cell)
        return;
    int32_t cx0 = dcell(x0, dg.x0, dg.nx), cx1 = dcell(x1, dg.x0, dg.nx);
    int32_t cy0 = dcell(y0, dg.y0, dg.ny), cy1 = dcell(y1, dg.y0, dg.ny);
    for (int32_t cx = cx0; cx <= cx1; cx++)
        for (int32_t cy = cy0; cy <= cy1; cy++)
            dg.cell[(size_t)cx * dg.ny + cy] |= mark;
    dg.any |= mark;
}

/* Marks the cells along the segment (and their neighbours). */
static void dirty_segment(const tin_point *p, const tin_point *q, uint8_t mark)
{
    double len = tin_edge_len(p, q);
    int32_t steps = (int32_t)fmin(len / (dg.cs / 2), 1e7) + 1;
    for (int32_t i = 0; i <= steps; i++) {
        double t = (double)i / steps;
        double x = p->x + (q->x - p->x) * t, y = p->y + (q->y - p->y) * t;
        dirty_box_mark(x - dg.cs, x + dg.cs, y - dg.cs, y + dg.cs, mark);
    }
}

/* The cells along the segment (p, q) and their neighbours, as
** dirty_segment marks them: pass 0 counts edge e in each (into
** cstart[cell + 1]), pass 1 lists it (at pos[cell]); `last` keeps a cell
** from taking one edge twice. */
static void cons_cells(int32_t e, int pass, int32_t *last, int32_t *pos)
{
    const tin_point *p = &fs.p[dg.cend[2 * e]], *q = &fs.p[dg.cend[2 * e + 1]];
    double len = tin_edge_len(p, q);
    int32_t steps = (int32_t)fmin(len / (dg.cs / 2), 1e7) + 1;
    for (int32_t i = 0; i <= steps; i++) {
        double t = (double)i / steps;
        double x = p->x + (q->x - p->x) * t, y = p->y + (q->y - p->y) * t;
        int32_t cx0 = dcell(x - dg.cs, dg.x0, dg.nx), cx1 = dcell(x + dg.cs, dg.x0, dg.nx);
        int32_t cy0 = dcell(y - dg.cs, dg.y0, dg.ny), cy1 = dcell(y + dg.cs, dg.y0, dg.ny);
        for (int32_t cx = cx0; cx <= cx1; cx++)
            for (int32_t cy = cy0; cy <= cy1; cy++) {
                size_t c = (size_t)cx * dg.ny + cy;
                if (last[c] == e)
                    continue;
                last[c] = e;
                if (pass == 0)
                    dg.cstart[c + 1]++;
                else
                    dg.cons[pos[c]++] = e;
            }
    }
}

/* Lists the constraint edges by cell; 1 when out of memory. */
static int cons_index(void)
{
    size_t ncell = (size_t)dg.nx * dg.ny;
    int32_t ne = tin.ncons;
    dg.cend = (int32_t *)malloc((size_t)ne * 2 * sizeof(int32_t));
    dg.cstart = (int32_t *)calloc(ncell + 1, sizeof(int32_t));
    int32_t *last = (int32_t *)malloc(ncell * sizeof(int32_t));
    int32_t *pos = (int32_t *)malloc(ncell * sizeof(int32_t));
    int failed = !dg.cend || !dg.cstart || !last || !pos;
    for (int32_t e = 0; !failed && e < ne; e++) {
        dg.cend[2 * e] = tin_m.slot[tin.tri[e].u];
        dg.cend[2 * e + 1] = tin_m.slot[tin.tri[e].v];
    }
    for (int pass = 0; !failed && pass < 2; pass++) {
        for (size_t c = 0; c < ncell; c++)
            last[c] = -1;
        if (pass == 1) {
            for (size_t c = 0; c < ncell; c++)
                dg.cstart[c + 1] += dg.cstart[c];
            memcpy(pos, dg.cstart, ncell * sizeof(int32_t));
            dg.cons = (int32_t *)malloc(((size_t)dg.cstart[ncell] + 1) * sizeof(int32_t));
            if (!dg.cons) {
                failed = 1;
                break;
            }
        }
        for (int32_t e = 0; e < ne; e++)
            cons_cells(e, pass, last, pos);
    }
    for (size_t c = 0; !failed && c < ncell; c++)
        if (dg.cstart[c + 1] > dg.cstart[c])
            dg.cell[c] |= DIRTY_CONS;
    free(last);
    free(pos);
    return failed;
}

/* Does the segment (u, v) come within sqrt(rr) of (cx, cy)?  The distance
** is made from differences of nearby coordinates, its rounding far below
** delta; NaN counts as near. */
static int segment_near(int32_t u, int32_t v, double cx, double cy, double rr)
{
    const tin_point *p = &fs.p[u], *q = &fs.p[v];
    double px = p->x - cx, py = p->y - cy, dx = q->x - p->x, dy = q->y - p->y;
    double dd = dx * dx + dy * dy, t = dd > 0 ? -(px * dx + py * dy) / dd : 0;
    t = t > 1 ? 1 : t > 0 ? t : 0;
    double ex = px + t * dx, ey = py + t * dy;
    return !(ex * ex + ey * ey > rr);
}

/* Does a constraint edge meet the disc of centre (cx, cy) and radius r, or
** does the disc's box meet a cell a bending marked (or too many cells to
** look at)?  The cell marks tell both, so one pass over the cells. */
static int circle_near(double cx, double cy, double r)
{
    int bent = dg.any & DIRTY_CIRCLE;
    if (!bent && !dg.cons)
        return 0;
    if (!dg.cell)
        return 1;
    int32_t cx0 = dcell(cx - r, dg.x0, dg.nx), cx1 = dcell(cx + r, dg.x0, dg.nx);
    int32_t cy0 = dcell(cy - r, dg.y0, dg.ny), cy1 = dcell(cy + r, dg.y0, dg.ny);
    if ((int64_t)(cx1 - cx0 + 1) * (cy1 - cy0 + 1) > 256)
        return 1;
    double rr = (r + 4 * fs.delta) * (r + 4 * fs.delta);
    for (int32_t gx = cx0; gx <= cx1; gx++)
        for (int32_t gy = cy0; gy <= cy1; gy++) {
            size_t c = (size_t)gx * dg.ny + gy;
            uint8_t mark = dg.cell[c];
            if (mark & DIRTY_CIRCLE)
                return 1;
            if (!(mark & DIRTY_CONS))
                continue;
            for (int32_t i = dg.cstart[c]; i < dg.cstart[c + 1]; i++) {
                int32_t e = dg.cons[i];
                if (segment_near(dg.cend[2 * e], dg.cend[2 * e + 1], cx, cy, rr))
                    return 1;
            }
        }
    return 0;
}

/* Does a triangle the mesh could not take meet the disc: a side within r
** of the centre, or the centre inside it?  (Asked of nearly every circle
** once there is one: the box of them all answers most at once.) */
static int stray_near_each(double cx, double cy, double r);

static inline int stray_near(double cx, double cy, double r)
{
    double w = r + 4 * fs.delta;
    if (dg.nstray == 0 || cx + w < dg.sall[0] || cx - w > dg.sall[1] || cy + w < dg.sall[2]
        || cy - w > dg.sall[3])
        return 0;
    return stray_near_each(cx, cy, r);
}

static int stray_near_each(double cx, double cy, double r)
{
    double rr = (r + 4 * fs.delta) * (r + 4 * fs.delta);
    for (int i = 0; i < dg.nstray; i++) {
        const int32_t *t = dg.stray[i];
        const double *b = dg.sbox[i];
        double w = r + 4 * fs.delta;
        if (cx + w < b[0] || cx - w > b[1] || cy + w < b[2] || cy - w > b[3])
            continue;
        if (segment_near(t[0], t[1], cx, cy, rr) || segment_near(t[1], t[2], cx, cy, rr)
            || segment_near(t[2], t[0], cx, cy, rr))
            return 1;
        const tin_point *p = fs.p;
        double o1 = tin_orient_xy(p[t[0]].x, p[t[0]].y, p[t[1]].x, p[t[1]].y, cx, cy);
        double o2 = tin_orient_xy(p[t[1]].x, p[t[1]].y, p[t[2]].x, p[t[2]].y, cx, cy);
        double o3 = tin_orient_xy(p[t[2]].x, p[t[2]].y, p[t[0]].x, p[t[0]].y, cx, cy);
        if ((o1 >= 0 && o2 >= 0 && o3 >= 0) || (o1 <= 0 && o2 <= 0 && o3 <= 0))
            return 1;
    }
    return 0;
}

/* Does the box meet a cell with the mark (or too many cells to look at)? */
static int dirty_box(double x0, double x1, double y0, double y1, uint8_t mark)
{
    if (!(dg.any & mark))
        return 0;
    if (!dg.cell)
        return 1;
    int32_t cx0 = dcell(x0, dg.x0, dg.nx), cx1 = dcell(x1, dg.x0, dg.nx);
    int32_t cy0 = dcell(y0, dg.y0, dg.ny), cy1 = dcell(y1, dg.y0, dg.ny);
    if ((int64_t)(cx1 - cx0 + 1) * (cy1 - cy0 + 1) > 256)
        return 1;
    for (int32_t cx = cx0; cx <= cx1; cx++)
        for (int32_t cy = cy0; cy <= cy1; cy++)
            if (dg.cell[(size_t)cx * dg.ny + cy] & mark)
                return 1;
    return 0;
}

/* ---- flat stars and needles ----------------------------------------------
** The crossing test of the straightforward search can err only where a
** point lies within rounding distance of a line it tests.  Near the edge
** under search that needs a flat triangle (a corner within rounding of the
** opposite side) round one of its corners, or a needle angle; the mesh
** marks both, and the marks are looked at before an answer is taken from
** the mesh. */
static inline int star_fine(int32_t v)
{
    return !tin_m.flat[v];
}

static inline int no_needle(int32_t h)
{
    return !tin_m.needle[h / 3];
}

/* Do the four points form a rectangle with sides along the axes: two x
** values and two y values, each corner one pair?  Its corners lie exactly
** on one circle (its centre the middle), so no in-circle test is needed. */
static int axis_rectangle(const tin_point *q0, const tin_point *q1, const tin_point *q2,
                          const tin_point *q3)
{
    /* the corner sharing q0's x, and the two left, which share the other x */
    const tin_point *sx, *o1, *o2;
    if (q1->x == q0->x) { sx = q1; o1 = q2; o2 = q3; }
    else if (q2->x == q0->x) { sx = q2; o1 = q1; o2 = q3; }
    else { sx = q3; o1 = q1; o2 = q2; }
    if (!(sx->x == q0->x && o1->x == o2->x && o1->x != q0->x))
        return 0;
    /* q0 shares its y with one of the other pair, sx with the other */
    if (o2->y == q0->y) {
        const tin_point *t = o1;
        o1 = o2;
        o2 = t;
    }
    return o1->y == q0->y && o2->y == sx->y && sx->y != q0->y;
}

/* A bending notes the box of its flips, and whether the four corners of
** each lay exactly on one circle (then the mesh stays Delaunay).  (The
** points in the mesh are finite: plain comparisons make the box.) */
static void flipped(int32_t h, int32_t g)
{
    const tin_point *p = fs.p;
    const tin_he *he = tin_m.he;
    const tin_point *q[4] = { &p[he[h].v], &p[he[tin_next(h)].v], &p[he[tin_prev(h)].v],
                              &p[he[tin_prev(g)].v] };
    int i = 0;
    if (dg.nflips == 0) {
        dg.fx0 = dg.fx1 = q[0]->x;
        dg.fy0 = dg.fy1 = q[0]->y;
        i = 1;
    }
    for (; i < 4; i++) {
        double x = q[i]->x, y = q[i]->y;
        if (x < dg.fx0) dg.fx0 = x;
        if (x > dg.fx1) dg.fx1 = x;
        if (y < dg.fy0) dg.fy0 = y;
        if (y > dg.fy1) dg.fy1 = y;
    }
    dg.nflips++;
    if (!dg.skewed && !axis_rectangle(q[0], q[1], q[2], q[3])
        && tin_incircle(q[0], q[1], q[2], q[3]) != 0)
        dg.skewed = 1;
}

/* ---- keeping the mesh in step with the front -------------------------- */

/* The half-edge of {a, b} whose triangle has the corner c, or -1. */
static int32_t edge_with_apex(int32_t a, int32_t b, int32_t c)
{
    int32_t h = tin_mesh_find(a, b);
    if (h != -1 && tin_m.he[tin_prev(h)].v == c)
        return h;
    h = tin_mesh_find(b, a);
    if (h != -1 && tin_m.he[tin_prev(h)].v == c)
        return h;
    return -1;
}

static void note_pending(int32_t i);

/* With lazy sums, a triangle taken round point v counts there (up to
** TAKEN_COUNT); lazy: its angle there is not in v's sum yet. */
static inline void count_taken(int32_t v, int lazy)
{
    uint8_t f = fs.taken[v];
    /* (the count stops at TAKEN_COUNT: no carry into the flag) */
    fs.taken[v] = (uint8_t)((f | (lazy ? TIN_SUM_LAZY : 0)) + ((f & TAKEN_COUNT) != TAKEN_COUNT));
    /* a point already lazy is pending, or open in the mask */
    if (lazy && fs.sped && !(f & TIN_SUM_LAZY))
        note_pending(v);
}

/* Records the emitted triangle whose side (a, b) is half-edge h: the
** triangle is fixed in the mesh, and its sides are noted for the edges the
** driver appends next. */
static inline void record(int32_t h, int32_t a)
{
    int32_t t = h / 3, h1 = tin_next(h), h2 = tin_prev(h);
    tin_m.fixed[t] = 1;
    /* h runs a -> b or b -> a; h1 leaves its end, h2 enters its start */
    fs.pend[2] = h;
    if (tin_m.he[h].v == a) {
        fs.pend[0] = h2;        /* k -> a */
        fs.pend[1] = h1;        /* b -> k */
    } else {
        fs.pend[0] = h1;        /* a -> k */
        fs.pend[1] = h2;        /* k -> b */
    }
}

static int32_t bend(int32_t a, int32_t b, int32_t w, int32_t h);

/* Makes the triangle (a, b, k), which the front has just emitted, a
** triangle of the mesh and records it.  A triangle the mesh cannot take
** (the straightforward search can build one over a point it may not take,
** or build one twice) stays out of it: the mesh near it no longer tells
** what the front has built, so the region is marked for checking. */
static void follow(int32_t a, int32_t b, int32_t k)
{
    int32_t h = edge_with_apex(a, b, k);
    if (h == -1) {
        tin_fast_count.forced++;
        dg.nflips = dg.skewed = 0;
        h = bend(a, b, k, -1);
        /* flips among points on one circle keep the mesh Delaunay; any
        ** other may leave locked edges that are not */
        if (dg.skewed)
            dirty_box_mark(dg.fx0, dg.fx1, dg.fy0, dg.fy1, DIRTY_CIRCLE);
    }
    if (h != -1 && !tin_m.fixed[h / 3]) {
        record(h, a);
        /* its angles are in the sums (the search added them) */
        if (fs.lazy) {
            count_taken(a, 0);
            count_taken(b, 0);
            count_taken(k, 0);
            fs.summed[h / 3] = 7;
        }
        return;
    }
    tin_fast_count.stray++;
    fs.unread = 0;
    if (dg.nstray < STRAY_CAP) {
        dg.stray[dg.nstray][0] = a;
        dg.stray[dg.nstray][1] = b;
        dg.stray[dg.nstray][2] = k;
        double *box = dg.sbox[dg.nstray];
        box[0] = fmin(fmin(fs.p[a].x, fs.p[b].x), fs.p[k].x);
        box[1] = fmax(fmax(fs.p[a].x, fs.p[b].x), fs.p[k].x);
        box[2] = fmin(fmin(fs.p[a].y, fs.p[b].y), fs.p[k].y);
        box[3] = fmax(fmax(fs.p[a].y, fs.p[b].y), fs.p[k].y);
        for (int i = 0; i < 4; i++) {
            double v = box[i] == box[i] ? box[i] : i % 2 ? INFINITY : -INFINITY;
            dg.sall[i] = dg.nstray == 0 ? v : i % 2 ? fmax(dg.sall[i], v) : fmin(dg.sall[i], v);
        }
        dg.nstray++;
        return;
    }
    dirty_segment(&fs.p[a], &fs.p[b], DIRTY_CIRCLE | DIRTY_STRAY);
    dirty_segment(&fs.p[a], &fs.p[k], DIRTY_CIRCLE | DIRTY_STRAY);
    dirty_segment(&fs.p[b], &fs.p[k], DIRTY_CIRCLE | DIRTY_STRAY);
}

/* ---- the buffer's edges ------------------------------------------------- */

static __attribute__((noinline)) void loose_ends(int32_t e, int32_t *u, int32_t *v,
                                                 int32_t *opp);

/* The ends and opp of buffer edge e (mesh numbers): most from the mesh,
** inline; a loose edge from its table. */
static inline void edge_ends(int32_t e, int32_t *u, int32_t *v, int32_t *opp)
{
    int32_t h = fs.near[e];
    if (h >= 0) {
        int32_t x = tin_m.he[h].v, y = tin_m.he[tin_next(h)].v;
        int turned = fs.bits[e] & FE_TURNED;
        *u = turned ? y : x;
        *v = turned ? x : y;
        *opp = tin_m.he[tin_prev(h)].v;
        return;
    }
    loose_ends(e, u, v, opp);
}

static void loose_ends(int32_t e, int32_t *u, int32_t *v, int32_t *opp)
{
    int32_t lo = 0, hi = fs.nloose - 1;
    while (lo < hi) {
        int32_t mid = (lo + hi) / 2;
        if (fs.loose[mid].e < e) lo = mid + 1; else hi = mid;
    }
    *u = fs.loose[lo].u;
    *v = fs.loose[lo].v;
    *opp = fs.loose[lo].opp;
}

/* The half-edge of buffer edge e = (a, b) in the triangle away from opp;
** -1 when that side is the hull, -2 when the mesh does not have it. */
static int32_t far_side(int32_t e, int32_t a, int32_t b, int32_t opp)
{
    if (fs.near[e] >= 0)
        return tin_m.he[fs.near[e]].n;
    int32_t g = edge_with_apex(a, b, opp);
    return g == -1 ? -2 : tin_m.he[g].n;
}

/* The edges ahead of the front by their ends: the search closes a side
** of a new triangle that is such an edge (the latest copy) instead of
** appending it again.  An edge made with a half-edge of an emitted
** triangle is found through the mesh: that triangle stays as it is, so
** the edge of the mesh with those ends keeps that half-edge on one of its
** sides, and of_he names the edge.  The loose edges (no side of a mesh
** triangle) go in a table: open addressing, keys (lower end, higher end);
** a loose edge leaves it when the front reaches it (tag_drop), so the
** table holds few, and is rebuilt with the live ones only when it fills. */
static struct {
    uint64_t *key;
    int32_t  *edge;
    uint32_t  mask, used;
} tg;

static inline uint32_t tag_slot(uint64_t k)
{
    return tin_pair_slot(k, tg.mask);
}

static int tags_grow(void)
{
    uint64_t *ok = tg.key;
    int32_t *oe = tg.edge;
    uint32_t old = ok ? tg.mask + 1 : 0, live = 0;
    for (uint32_t i = 0; i < old; i++)
        live += ok[i] && oe[i] > tin.cur_edge;
    uint32_t size = 1024;
    while (size < 4 * (live + 64))
        size *= 2;
    tg.key = (uint64_t *)calloc(size, sizeof(uint64_t));
    tg.edge = (int32_t *)malloc(size * sizeof(int32_t));
    if (!tg.key || !tg.edge) {
        free(tg.key);
        free(tg.edge);
        tg.key = ok;
        tg.edge = oe;
        return 1;
    }
    tg.mask = size - 1;
    tg.used = 0;
    for (uint32_t i = 0; i < old; i++)
        if (ok[i] && oe[i] > tin.cur_edge) {
            uint32_t j = tag_slot(ok[i]);
            while (tg.key[j])
                j = (j + 1) & tg.mask;
            tg.key[j] = ok[i];
            tg.edge[j] = oe[i];
            tg.used++;
        }
    free(ok);
    free(oe);
    return 0;
}

/* Notes buffer edge e with ends u, v (the latest copy wins). */
static int tag_put(int32_t u, int32_t v, int32_t e)
{
    if (!tg.key || 2 * (tg.used + 1) > tg.mask + 1) {
        if (tags_grow())
            return 1;
    }
    uint64_t k = tin_pair_key(u, v);
    uint32_t j = tag_slot(k);
    while (tg.key[j] && tg.key[j] != k)
        j = (j + 1) & tg.mask;
    if (!tg.key[j])
        tg.used++;
    tg.key[j] = k;
    tg.edge[j] = e;
    return 0;
}

/* Buffer edge e, with ends u, v, leaves the table, unless a later copy
** took its place there.  The entries after it in its run move back where
** their own slots allow (deletion in open addressing, without markers). */
static void tag_drop(int32_t u, int32_t v, int32_t e)
{
    uint64_t k = tin_pair_key(u, v);
    uint32_t j = tag_slot(k);
    while (tg.key[j] && tg.key[j] != k)
        j = (j + 1) & tg.mask;
    if (!tg.key[j] || tg.edge[j] != e)
        return;
    uint32_t hole = j;
    for (;;) {
        j = (j + 1) & tg.mask;
        if (!tg.key[j])
            break;
        /* the entry at j stays when its own slot lies after the hole, up
        ** to j (round the end of the table) */
        uint32_t home = tag_slot(tg.key[j]);
        if (hole <= j ? (hole < home && home <= j) : (hole < home || home <= j))
            continue;
        tg.key[hole] = tg.key[j];
        tg.edge[hole] = tg.edge[j];
        hole = j;
    }
    tg.key[hole] = 0;
    tg.used--;
}

/* The buffer number of the edge (u, v) ahead of the front, or -1; h is a
** half-edge of the mesh from u to v or back; own: h's triangle may be
** fixed (0: it is not, its note need not be read). */
static inline int32_t tag_get_of(int32_t u, int32_t v, int32_t h, int own)
{
    /* only a half-edge of an emitted triangle has a note: append notes
    ** the sides of the triangle just recorded (fixed), and a fixed
    ** triangle is never flipped, so its half-edges keep their slots; in
    ** any other triangle of_he is still 0 */
    int32_t e = own ? fs.of_he[h] - 1 : -1, g = tin_m.he[h].n;
    if (g != -1 && fs.of_he[g] - 1 > e)
        e = fs.of_he[g] - 1;
    if (fs.nloose > 0) {
        uint64_t k = tin_pair_key(u, v);
        uint32_t j = tag_slot(k);
        while (tg.key[j]) {
            if (tg.key[j] == k) {
                if (tg.edge[j] > e)
                    e = tg.edge[j];
                break;
            }
            j = (j + 1) & tg.mask;
        }
    }
    return e > tin.cur_edge ? e : -1;
}

static inline int32_t tag_get(int32_t u, int32_t v, int32_t h)
{
    return tag_get_of(u, v, h, 1);
}

/* Appends (u, v, opp) to the buffer, its half-edge h in the triangle just
** emitted (-1: loose); 1 when it is full or memory runs out (reported). */
static int append_loose(int32_t e, int32_t u, int32_t v, int32_t opp);

static inline __attribute__((always_inline)) int append(int32_t u, int32_t v, int32_t opp,
                                                        int32_t h, uint8_t line_bits)
{
    if (++tin.last_edge >= tin.edge_cap)
        return tin_buffer_full();
    int32_t e = tin.last_edge;
    fs.bits[e] = line_bits;
    if (h >= 0) {
        const tin_he *he = tin_m.he;
        int32_t x = he[h].v, y = he[tin_next(h)].v;
        if (he[tin_prev(h)].v == opp && ((x == u && y == v) || (x == v && y == u))) {
            fs.near[e] = h;
            fs.of_he[h] = e + 1;
            if (x != u)
                fs.bits[e] |= FE_TURNED;
            return 0;
        }
    }
    return append_loose(e, u, v, opp);
}

/* Buffer edge e, no side of a mesh triangle: its ends go in the side table. */
static int append_loose(int32_t e, int32_t u, int32_t v, int32_t opp)
{
    fs.near[e] = -1;
    if (fs.nloose == fs.loose_cap) {
        int32_t cap = fs.loose_cap ? 2 * fs.loose_cap : 64;
        loose_edge *nl = (loose_edge *)realloc(fs.loose, (size_t)cap * sizeof(loose_edge));
        if (!nl) {
            tin_error(" malloc TRI ");
            return 1;
        }
        fs.loose = nl;
        fs.loose_cap = cap;
    }
    fs.loose[fs.nloose].e = e;
    fs.loose[fs.nloose].u = u;
    fs.loose[fs.nloose].v = v;
    fs.loose[fs.nloose++].opp = opp;
    if (tag_put(u, v, e)) {
        tin_error(" malloc TRI ");
        return 1;
    }
    return 0;
}

/* ---- the straightforward search, and the mesh after it ----------------- */

/* The line of buffer edge e, as the straightforward search holds it. */
static inline void line_of(int32_t e, int32_t u, int32_t v, double *la, double *lb, double *lc)
{
    const tin_point *pu = &fs.p[u], *pv = &fs.p[v];
    if (fs.bits[e] & FE_LINE_KEPT) {
        *la = tin.tri[e].la;
        *lb = tin.tri[e].lb;
        *lc = tin.tri[e].lc;
    } else if (fs.bits[e] & FE_LINE_OLD) {
        tin_lpp(pu->x, pu->y, pv->x, pv->y, la, lb, lc);
    } else {
        tin_lpp(pv->x, pv->y, pu->x, pu->y, la, lb, lc);
    }
}

/* Writes the straightforward search's record of buffer edge e. */
static void write_one(int32_t e)
{
    tin_edge *r = &tin.tri[e];
    int32_t u, v, opp;
    edge_ends(e, &u, &v, &opp);
    const tin_point *p = &fs.p[u], *q = &fs.p[v];
    r->u = fs.orig[u];
    r->v = fs.orig[v];
    r->opp = opp == -1 ? -1 : fs.orig[opp];
    r->xmin = p->x < q->x ? p->x : q->x;
    r->xmax = p->x < q->x ? q->x : p->x;
    r->ymin = p->y < q->y ? p->y : q->y;
    r->ymax = p->y < q->y ? q->y : p->y;
    r->flag = fs.bits[e] & FE_CLOSED;
    /* the record is packed: its doubles are filled from aligned ones */
    double la, lb, lc;
    line_of(e, u, v, &la, &lb, &lc);
    r->la = la;
    r->lb = lb;
    r->lc = lc;
}

/* Writes the straightforward search's records of the edges it may scan now
** (those ahead of the front; all past the constraint edges while those are
** under search). */
static void write_out(void)
{
    int32_t from = tin.cur_edge < tin.ncons ? tin.ncons : tin.cur_edge + 1;
    if (from <= fs.written)
        from = fs.written + 1;
    for (int32_t e = from; e <= tin.last_edge; e++)
        write_one(e);
    if (tin.last_edge > fs.written)
        fs.written = tin.last_edge;
}

/* Existing edge e has become a side of the triangle just found, whose
** third corner is `apex`: it is closed, unless it is a break line's
** constraint edge with no triangle yet, which takes apex for its opp and
** keeps its search for the other side (as tin_place does to its record,
** which the straightforward search reads). */
static void take_side(int32_t e, int32_t apex)
{
    if (e < tin.ncons && tin.tri[e].group == TIN_BREAK && fs.loose[e].opp == -1) {
        fs.loose[e].opp = apex;         /* constraint edges: loose, first */
        tin.tri[e].opp = fs.orig[apex];
    } else {
        fs.bits[e] |= FE_CLOSED;
    }
}

/* The existing sides the search found for (a, b, k) take the triangle. */
static void close_held(int32_t a, int32_t b)
{
    if (tin.held_ak != -1) take_side(tin.held_ak, b);
    if (tin.held_bk != -1) take_side(tin.held_bk, a);
}

/* The angles of an accepted triangle go to its corners' sums. */
static void add_angle(int32_t i, int64_t units)
{
    int32_t *sums = tin.pangle, was = sums[i];
    int64_t sum = (int64_t)was + units;
    int32_t now = sum > INT32_MAX ? INT32_MAX : (int32_t)sum;
    sums[i] = now;
    /* with the accelerations open, the open mask is brought in line before
    ** the next straightforward search: the points whose closing changed
    ** are noted, up to a sixteenth of all; past that the mask is rebuilt
    ** whole (the searches come seldom after the constraint edges', and the
    ** rebuilding reads the sums in order, while following each point reads
    ** its number and sum anywhere in memory) */
    if (fs.sped && tin_closed(now) != tin_closed(was))
        note_pending(i);
}

static void note_pending(int32_t i)
{
    if (fs.npending < fs.pending_cap)
        fs.pending[fs.npending++] = i;
    else
        fs.open_stale = 1;
}

/* ---- lazy sums -------------------------------------------------------------
** Most triangles are taken straight off the mesh (take), and most angle
** sums are never read while they could matter: take adds no angles.  Its
** triangle is fixed in the mesh for good, so a point's sum can be made
** whole when it is read, from the fixed triangles round it whose corner
** there is not summed yet.  A corner's units are a function of the
** triangle and the corner alone (tin_corner_unit), and every unit is a
** whole number in 0 .. 4e7 (the points are finite, at least eps apart, and
** small enough that no square overflows: fs.lazy), so the saturating sum
** of them is the same in any order: min(INT32_MAX, start + all units).
** Built with -DTIN_CHECK_LAZY, each sum made whole is checked against the
** units the eager addition made when the triangle was taken, and each
** point surely_open passes against its whole sum (abort on a difference). */
#ifdef TIN_CHECK_LAZY
static void lazy_fail(const char *what, int32_t i)
{
    fprintf(stderr, "tin lazy sums: %s at point %d\n", what, (int)i);
    abort();
}
#endif

static __attribute__((noinline)) int32_t sum_flush(int32_t i)
{
    const tin_he *he = tin_m.he;
    const tin_point *p = fs.p;
    int32_t s = tin.pangle[i], h0 = tin_m.vhe[i], h = h0;
#ifdef TIN_CHECK_LAZY
    int64_t added = 0;
#endif
    fs.taken[i] &= (uint8_t)~TIN_SUM_LAZY;
    /* counter-clockwise round i (from the hull edge on the hull) */
    do {
        uint32_t t = (uint32_t)h / 3;
        uint8_t bit = (uint8_t)(1u << ((uint32_t)h - 3 * t));
        if (tin_m.fixed[t] && !(fs.summed[t] & bit)) {
            fs.summed[t] |= bit;
            int64_t u = tin_corner_unit(&p[i], &p[he[tin_next(h)].v], &p[he[tin_prev(h)].v]);
            int64_t sum = (int64_t)s + u;
            s = sum > INT32_MAX ? INT32_MAX : (int32_t)sum;
#ifdef TIN_CHECK_LAZY
            added += u;
#endif
        }
        h = he[tin_prev(h)].n;
    } while (h != -1 && h != h0);
    tin.pangle[i] = s;
#ifdef TIN_CHECK_LAZY
    if (added != fs.owed[i])
        lazy_fail("units differ", i);
    fs.owed[i] = 0;
#endif
    return s;
}

/* Point i's whole angle sum (mesh number). */
static inline int32_t sum_of(int32_t i)
{
    if (fs.lazy && (fs.taken[i] & TIN_SUM_LAZY))
        return sum_flush(i);
    return tin.pangle[i];
}

/* The same for the straightforward search (the caller's index). */
static int32_t sum_of_caller(int32_t i)
{
    return sum_of(tin_m.slot[i]);
}

/* Is point j surely not closed, its sum unread?  j is a corner of a
** triangle T of the mesh that is not taken yet: with g >= 0 the triangle
** of half-edge g, j its apex, else the far triangle of the edge under
** search, whose cosine at j is cj.  Then j's sum is below the closed
** window, FULL_TURN - 4 = 62831848:
**   - while no triangle was built outside the mesh, every triangle taken
**     round j is a fixed triangle of the mesh, none twice, none T, and
**     j's sum holds their units alone (no preset: j ends no constraint
**     edge; a point closed outside the area is not in the mesh);
**   - the triangles of the mesh round j do not overlap, so their angles
**     there add up to at most 2 pi - angle(T at j);
**   - a unit is the truncated angle made from a cosine within 9 ulp of
**     the true one (the rounded differences turn each side by an ulp at
**     most), which puts the angle at most sqrt(2e-15) rad = 0.45 unit
**     above the true one (at a cosine of +-1, where acos is steepest);
**   - so the sum is at most 1e7 (2 pi - angle) + count / 2, count < 127:
**     62831853.08 - 1e7 angle + 63.5, below 62831848 when the angle
**     exceeds 69 units.  The tests give 447 units (a cosine at most
**     1 - 1e-9, true cosine below 1 - 0.99e-9) and 990 (a sine of at
**     least 1e-4, up to a relative rounding of 1e-15).
** Anywhere else the sum is read. */
static inline int surely_open(int32_t j, int32_t g, double cj)
{
    if (!fs.unread || (fs.cons && fs.cons[j]) || (fs.taken[j] & TAKEN_COUNT) == TAKEN_COUNT)
        return 0;
    int ok;
    if (g < 0) {
        ok = cj <= 1 - 1e-9;
    } else {
        const tin_point *pj = &fs.p[j], *px = &fs.p[tin_m.he[g].v];
        const tin_point *py = &fs.p[tin_m.he[tin_next(g)].v];
        double ux = px->x - pj->x, uy = px->y - pj->y, vx = py->x - pj->x, vy = py->y - pj->y;
        double cr = ux * vy - uy * vx;
        ok = cr * cr > 1e-8 * (ux * ux + uy * uy) * (vx * vx + vy * vy);
    }
#ifdef TIN_CHECK_LAZY
    if (ok) {
        int64_t whole = (int64_t)tin.pangle[j] + fs.owed[j];
        if (tin_closed(whole > INT32_MAX ? INT32_MAX : (int32_t)whole))
            lazy_fail("a closed point was taken for open", j);
    }
#endif
    return ok;
}

/* The angle units of (a, b, k) to its corners' sums, from the squared
** lengths the caller has made already with the same expressions:
** len2 = |b-a|^2 (ctx_begin), ka2 = |a-k|^2 and kb2 = |b-k|^2. */
static inline void add_angles(int32_t a, int32_t b, int32_t k, double best, double len2,
                              double ka2, double kb2)
{
    int64_t units[3];
    tin_angle_units_of(&fs.p[a], &fs.p[b], &fs.p[k], best, len2, ka2, kb2, units);
    add_angle(k, units[0]);
    add_angle(a, units[1]);
    add_angle(b, units[2]);
}

static int ask(int32_t n, int32_t a, int32_t b, int32_t opp, int32_t *k_out)
{
    const tin_point *points = fs.caller;
    tin_fast_count.straight++;
    /* a few searches do without the accelerations (the seed's, the odd
    ** hull corner); they pay off where the searches come often, as they
    ** do from the start where the constraint edges alone bring that many
    ** (each is asked) */
    write_out();
    if (tin.cur_edge >= 0 && !fs.sped
        && (++fs.asks == FEW_ASKS || tin.ncons >= FEW_ASKS)) {
        tin_speedups_open(n, points);
        fs.sped = 1;
        fs.open_stale |= fs.lazy;       /* the open mask is filled below */
    }
    /* a point with angles not in its sum yet is left open (the search
    ** asks for its whole sum before it takes it): the mask may hold a
    ** closed point, never miss an open one */
    if (fs.open_stale) {
        tin_open_sync(fs.orig, fs.lazy ? fs.taken : NULL);
    } else {
        for (int32_t i = 0; i < fs.npending; i++) {
            int32_t v = fs.pending[i];
            if (fs.lazy && (fs.taken[v] & TIN_SUM_LAZY))
                tin_open_set(fs.orig[v]);
            else
                tin_open_mark(fs.orig[v]);
        }
    }
    fs.npending = 0;
    fs.open_stale = 0;
    int32_t k;
    int r = tin_third_point(n, points, fs.orig[a], fs.orig[b], opp == -1 ? -1 : fs.orig[opp], &k);
    if (r == 0) {
        *k_out = tin_m.slot[k];
        close_held(a, b);
    }
    if (r == 0 && fs.on)
        follow(a, b, *k_out);
    return r;
}

/* ---- the search's own tests of a candidate ------------------------------ */

/* What the search knows of the edge (a, b) under search. */
typedef struct edge_ctx {
    int32_t a, b, opp;
    int32_t base;               /* the lower caller's index of a and b, where
                                ** the sweep starts (< 0: not yet) */
    const tin_point *pa, *pb;
    double s_opp;               /* side value of opp */
    double len2, norm2;         /* |a-b|^2, and la^2 + lb^2 of its line */
    double len, ratio;          /* |a-b|, and |a-b| over the line's norm, as
                                ** the search computes them (< 0: not yet) */
    int region;                 /* the area test applies */
} edge_ctx;

static void ctx_begin(edge_ctx *c, int32_t a, int32_t b, int32_t opp)
{
    c->a = a;
    c->b = b;
    c->opp = opp;
    c->base = -1;
    c->pa = &fs.p[a];
    c->pb = &fs.p[b];
    double dx = c->pb->x - c->pa->x, dy = c->pb->y - c->pa->y;
    c->len2 = dx * dx + dy * dy;
    c->norm2 = tin.edge_la * tin.edge_la + tin.edge_lb * tin.edge_lb;
    c->len = c->ratio = -1;
    c->s_opp = tin.edge_la * fs.p[opp].x + tin.edge_lb * fs.p[opp].y - tin.edge_lc;
    c->region = fs.cons && (fs.cons[a] || fs.cons[b]);
}

/* |a-b| and the ratio as the search computes them, made on first need. */
static double ctx_len(edge_ctx *c)
{
    if (c->len < 0)
        c->len = tin_edge_len(c->pa, c->pb);
    return c->len;
}

static double ctx_ratio(edge_ctx *c)
{
    if (c->ratio < 0)
        c->ratio = ctx_len(c) / sqrt(tin.edge_la * tin.edge_la + tin.edge_lb * tin.edge_lb);
    return c->ratio;
}

/* The side value of point j, as the search computes it. */
static inline double side(const tin_point *pj)
{
    return tin.edge_la * pj->x + tin.edge_lb * pj->y - tin.edge_lc;
}

/* Would the search refuse j before its crossing test: closed, on opp's side,
** flat, or (where the area test applies) its triangle's centroid outside?
** open: j is known not to be closed (surely_open). */
static int refused_early_as(edge_ctx *c, int32_t j, int open)
{
    const tin_point *pj = &fs.p[j];
    if (j == c->a || j == c->b || j == c->opp)
        return 1;
    /* a sum that lags is dear to read (its point's star is walked), and
    ** the scans of a box meet many such points behind the front, on opp's
    ** side: for them the side is asked first (the tests have no effects,
    ** so their order does not change the answer) */
    double sj;
    if (!open && fs.lazy && (fs.taken[j] & TIN_SUM_LAZY)) {
        sj = side(pj);
        if (!(c->s_opp * sj < 0) || tin_closed(sum_flush(j)))
            return 1;
    } else {
        if (!open && tin_closed(tin.pangle[j]))
            return 1;
        sj = side(pj);
        if (!(c->s_opp * sj < 0))
            return 1;
    }
    /* flat: |s| ratio < eps2, which is surely not so while s^2 ratio^2 is
    ** four times eps2^2 (the square roots can wait) */
    if (!(sj * sj * c->len2 > 4 * tin.eps2 * tin.eps2 * c->norm2)
        && fabs(sj) * ctx_ratio(c) < tin.eps2)
        return 1;
    if (tin_orient(c->pa, c->pb, pj) == 0)       /* exactly on the line */
        return 1;
    return c->region && tin_outside_area((c->pa->x + c->pb->x + pj->x) / 3,
                                         (c->pa->y + c->pb->y + pj->y) / 3);
}

static int refused_early(edge_ctx *c, int32_t j)
{
    return refused_early_as(c, j, 0);
}

/* The place of j in the sweep's order: base+1, base-1, base+2, ... */
static inline int64_t rank_of(edge_ctx *c, int32_t j)
{
    int32_t o = fs.orig[j];
    if (c->base < 0)            /* made on first need: most edges have no tie */
        c->base = fs.orig[c->a] < fs.orig[c->b] ? fs.orig[c->a] : fs.orig[c->b];
    return o > c->base ? 2 * (int64_t)(o - c->base) - 1 : 2 * (int64_t)(c->base - o);
}

/* Does j come before the best so far (cosine cb, rank rb) for the search? */
static inline int beats(edge_ctx *c, int32_t j, double cj, double cb, int64_t rb)
{
    return cj < cb || (cj == cb && rank_of(c, j) < rb);
}

/* ---- the grid of points ---------------------------------------------------- */

/* The cell of a point: its place from the box's corner, in cells, the
** last cell taking the far edge (and a NaN, as fmin would) */
static inline size_t pg_cell_of(const tin_point *q)
{
    double tx = (q->x - pg.x0) / pg.cs, ty = (q->y - pg.y0) / pg.cs;
    double mx = pg.nx - 1, my = pg.ny - 1;
    int32_t cx = (int32_t)(tx < mx ? tx : mx), cy = (int32_t)(ty < my ? ty : my);
    return (size_t)cx * pg.ny + cy;
}

static void pgrid_open(void)
{
    const tin_point *p = fs.p;
    int32_t n = fs.n;
    pg.tried = 1;
    double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (int32_t i = 0; i < n; i++) {
        if (p[i].x < x0) x0 = p[i].x;
        if (p[i].x > x1) x1 = p[i].x;
        if (p[i].y < y0) y0 = p[i].y;
        if (p[i].y > y1) y1 = p[i].y;
    }
    double w = x1 - x0, hh = y1 - y0, area = (w > 0 ? w : 1) * (hh > 0 ? hh : 1);
    double cs = sqrt(area / (n / 2.0 + 1));
    double nx = w / cs + 1, ny = hh / cs + 1;
    if (nx > 8192) nx = 8192;
    if (ny > 8192) ny = 8192;
    pg.nx = (int32_t)nx;
    pg.ny = (int32_t)ny;
    pg.cs = fmax(w / pg.nx, hh / pg.ny) * 1.0001 + 1e-300;
    pg.x0 = x0;
    pg.y0 = y0;
    size_t cells = (size_t)pg.nx * pg.ny;
    pg.start = (int32_t *)tin_big((cells + 1) * sizeof(int32_t));
    pg.ids = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    if (!pg.start || !pg.ids) {
        tin_big_free(pg.start);
        tin_big_free(pg.ids);
        pg.start = pg.ids = NULL;
        return;
    }
    for (int32_t i = 0; i < n; i++)
        pg.start[pg_cell_of(&p[i]) + 1]++;
    for (size_t c = 0; c < cells; c++)
        pg.start[c + 1] += pg.start[c];
    /* each cell's start serves as its cursor, and ends on the next cell's
    ** start: moved back one after (no second array to fill) */
    for (int32_t i = 0; i < n; i++)
        pg.ids[pg.start[pg_cell_of(&p[i])]++] = i;
    for (size_t c = cells; c > 0; c--)
        pg.start[c] = pg.start[c - 1];
    pg.start[0] = 0;
}

static int32_t pcell(double v, double origin, int32_t count)
{
    double t = (v - origin) / pg.cs;
    if (!(t >= 0))
        return 0;
    if (t >= count)
        return count - 1;
    return (int32_t)t;
}

/* ---- hull edges ---------------------------------------------------------
** On the hull no point lies strictly beyond the edge, so the search finds
** none -- unless rounding puts a point next to the edge's line (a point
** exactly on it is always refused) onto the far side and the point is not
** flat enough to be refused.  Such points are
** the hull points next along the line: the walk goes on while the hull
** runs straight within rounding, and stops where it turns clearly (a point
** inside the hull and within rounding of the line would then lie closer
** than eps to the turning corner). */
/* The hull point after v (forward) or before it. */
static int32_t hull_step(int32_t v, int forward)
{
    const tin_he *he = tin_m.he;
    int32_t h = tin_m.vhe[v];                   /* the hull edge leaving v */
    if (forward)
        return he[tin_next(h)].v;
    while (he[tin_prev(h)].n != -1)               /* round v to the one entering */
        h = he[tin_prev(h)].n;
    return he[tin_prev(h)].v;
}

/* Long straight runs of the hull (the sides of a grid) would make these
** walks quadratic.  The hull is cut once into runs of points exactly on one
** line; a walk that starts on its edge's own run passes the rest of the
** run at once when rounding cannot move any point of it off the line far
** enough to escape the flatness test. */
static struct {
    int32_t *pos;               /* per mesh number: place on the hull, -1 inside */
    int32_t *at;                /* place -> mesh number */
    int32_t *fwd, *bwd;         /* place -> place of its run's end each way */
    int32_t  count;
    int      tried;
} hr;

static void hull_runs_open(void)
{
    const tin_point *p = fs.p;
    hr.tried = 1;
    int32_t count = 0, v = tin_m.hull;
    do {
        count++;
        v = hull_step(v, 1);
    } while (v != tin_m.hull && count <= fs.n);
    hr.pos = (int32_t *)tin_big_raw((size_t)fs.n * sizeof(int32_t));
    hr.at = (int32_t *)malloc((size_t)count * sizeof(int32_t));
    hr.fwd = (int32_t *)malloc((size_t)count * sizeof(int32_t));
    hr.bwd = (int32_t *)malloc((size_t)count * sizeof(int32_t));
    if (!hr.pos || !hr.at || !hr.fwd || !hr.bwd || count > fs.n || count < 3) {
        tin_big_free(hr.pos);
        free(hr.at);
        free(hr.fwd);
        free(hr.bwd);
        memset(&hr, 0, sizeof hr);
        hr.tried = 1;
        return;
    }
    for (int32_t i = 0; i < fs.n; i++)
        hr.pos[i] = -1;
    v = tin_m.hull;
    for (int32_t i = 0; i < count; i++, v = hull_step(v, 1)) {
        hr.at[i] = v;
        hr.pos[v] = i;
    }
    hr.count = count;
    /* straight at place i: the points before and after it on one line */
#define STRAIGHT(i) (tin_orient(&p[hr.at[((i) + count - 1) % count]], &p[hr.at[i]], \
                                &p[hr.at[((i) + 1) % count]]) == 0)
    for (int32_t i = 0; i < count; i++)
        hr.fwd[i] = hr.bwd[i] = i;
    /* fwd: from i on, while the hull runs straight through the next point */
    for (int32_t k = 0; k < 2 * count; k++) {
        int32_t i = (2 * count - 1 - k) % count, j = (i + 1) % count;
        hr.fwd[i] = STRAIGHT(j) && hr.fwd[j] != i ? hr.fwd[j] : j;
    }
    for (int32_t k = 0; k < 2 * count; k++) {
        int32_t i = k % count, j = (i + count - 1) % count;
        hr.bwd[i] = STRAIGHT(j) && hr.bwd[j] != i ? hr.bwd[j] : j;
    }
#undef STRAIGHT
}

/* A bound on the side value the search computes for a point (x, y) on the
** edge's line, made from coordinates up to those sizes. */
static double on_line_bound(edge_ctx *c, double x, double y)
{
    /* a level line has la 0 and lc its y, an upright one lb 0 and lc its
    ** x: a point with that y (or x) then gives exactly 0 */
    if (tin.edge_la == 0 || tin.edge_lb == 0)
        return 0;
    double la = fabs(tin.edge_la), lb = fabs(tin.edge_lb), lc = fabs(tin.edge_lc);
    double x1 = fmax(fabs(c->pa->x), fabs(c->pb->x)), y1 = fmax(fabs(c->pa->y), fabs(c->pb->y));
    return 16 * TIN_HALF_ULP * (la * (fabs(x) + 2 * x1) + lb * (fabs(y) + y1) + lc);
}

/* Walks the hull beyond `from`, one end of the hull edge (a, b), forward
** or backward; 1 when a point there could pass the search's first tests. */
static int hull_walk(edge_ctx *c, int32_t from, int forward)
{
    const tin_point *p = fs.p;
    if (!hr.tried)
        hull_runs_open();
    int32_t cur = from;
    for (int32_t steps = 0; steps < fs.n; steps++) {
        int32_t nxt = hull_step(cur, forward);
        if (nxt == c->a || nxt == c->b)
            return 1;           /* round the whole hull: all on a line */
        /* on the edge's own run: all of it at once, where possible */
        if (hr.pos && hr.pos[cur] >= 0 && tin_orient(c->pa, c->pb, &p[nxt]) == 0) {
            int32_t end = hr.at[forward ? hr.fwd[hr.pos[cur]] : hr.bwd[hr.pos[cur]]];
            if (end != c->a && end != c->b && end != cur
                && tin_orient(c->pa, c->pb, &p[end]) == 0
                && fmax(on_line_bound(c, p[nxt].x, p[nxt].y), on_line_bound(c, p[end].x, p[end].y))
                   * ctx_ratio(c) < tin.eps2) {
                cur = end;
                continue;
            }
        }
        if (!refused_early(c, nxt))
            return 1;
        double dist = fabs(tin_orient(c->pa, c->pb, &p[nxt])) / ctx_len(c);
        double step = tin_edge_len(&p[cur], &p[nxt]);
        if (dist > 4 * fs.delta * (1 + step / tin.eps))
            return 0;           /* the hull turns clearly here */
        cur = nxt;
    }
    return 1;
}

/* Does a point in the box other than a and b pass the search's first tests? */
static int box_has_taker(edge_ctx *c, double x0, double x1, double y0, double y1)
{
    if (!pg.tried)
        pgrid_open();
    if (!pg.start)
        return 1;
    int32_t cx0 = pcell(x0, pg.x0, pg.nx), cx1 = pcell(x1, pg.x0, pg.nx);
    int32_t cy0 = pcell(y0, pg.y0, pg.ny), cy1 = pcell(y1, pg.y0, pg.ny);
    if ((int64_t)(cx1 - cx0 + 1) * (cy1 - cy0 + 1) > 4096)
        return 1;
    for (int32_t gx = cx0; gx <= cx1; gx++)
        for (int32_t gy = cy0; gy <= cy1; gy++) {
            size_t cell = (size_t)gx * pg.ny + gy;
            for (int32_t i = pg.start[cell]; i < pg.start[cell + 1]; i++)
                if (!refused_early(c, pg.ids[i]))
                    return 1;
        }
    return 0;
}

static int hull_edge(edge_ctx *c)
{
    /* the hull runs from x to y with the inside on its left */
    int32_t h = edge_with_apex(c->a, c->b, c->opp);
    if (h == -1 || tin_m.he[h].n != -1)
        return ASK;
    /* next to a flat or needle triangle a point inside may lie within
    ** rounding of the edge itself: the points along it are tested */
    if ((!star_fine(c->a) || !star_fine(c->b) || !no_needle(h))
        && box_has_taker(c, fmin(c->pa->x, c->pb->x) - 4 * fs.delta,
                         fmax(c->pa->x, c->pb->x) + 4 * fs.delta,
                         fmin(c->pa->y, c->pb->y) - 4 * fs.delta,
                         fmax(c->pa->y, c->pb->y) + 4 * fs.delta))
        return ASK;
    int32_t x = tin_m.he[h].v, y = tin_m.he[tin_next(h)].v;
    if (hull_walk(c, y, 1) || hull_walk(c, x, 0))
        return ASK;
    tin_fast_count.hull++;
    return NONE;
}

/* ---- a far apex read off the mesh ------------------------------------- */

/* How the apex m beyond the side (x, y) of the triangle (x, y, w) stands
** to that triangle's circle: 1 clearly outside, 0 nearly on it, -1 inside.
** With the angles at w and m over (x, y), their sum is below pi when m is
** outside; the sine of the sum, normalised, is the margin. */
static int beyond(int32_t x, int32_t y, int32_t w, int32_t m)
{
    const tin_point *p = fs.p;
    double u1x = p[x].x - p[w].x, u1y = p[x].y - p[w].y;
    double v1x = p[y].x - p[w].x, v1y = p[y].y - p[w].y;
    double u2x = p[x].x - p[m].x, u2y = p[x].y - p[m].y;
    double v2x = p[y].x - p[m].x, v2y = p[y].y - p[m].y;
    double cw = fabs(u1x * v1y - u1y * v1x), dw = u1x * v1x + u1y * v1y;
    double cm = fabs(u2x * v2y - u2y * v2x), dm = u2x * v2x + u2y * v2y;
    double s = cw * dm + dw * cm;           /* |..| sin(w + m) */
    double c = dw * dm - cw * cm;           /* |..| cos(w + m) */
    if (s > 0 && c > 0)
        return 1;                           /* the sum is below a right angle */
    /* s^2 + c^2 is the product of the four sides' squared lengths, the
    ** square of the norm that makes s the sine */
    double lim = CLUSTER_MARGIN * CLUSTER_MARGIN * (s * s + c * c);
    if (s * s > lim)
        return s > 0 ? 1 : -1;
    return 0;
}

/* Does the ray from `at` away from `from` leave the box of the triangle
** (at, from, other) right at `at`?  It does along an axis where it moves
** outward and `at` is the extreme corner that way; the axis must carry a
** fair share of the ray's direction, so that points along the ray leave
** the box within eps of `at`.  Asked for both rays along the side (p, q)
** of the triangle (p, q, other) at once: from p away from q (bit 1) and
** from q away from p (bit 2); the two directions differ in sign alone, so
** one share serves both. */
static inline int both_leave(const tin_point *pp, const tin_point *pq, const tin_point *po)
{
    double dx = pp->x - pq->x, dy = pp->y - pq->y;
    double share = 8 * fs.needle * (fabs(dx) + fabs(dy));
    /* p moves that way from q (and q the other way from p) */
    int xp = dx > share, xn = dx < -share, yp = dy > share, yn = dy < -share;
    int fp = (xp && pp->x >= po->x) || (xn && pp->x <= po->x) || (yp && pp->y >= po->y)
             || (yn && pp->y <= po->y);
    int fq = (xn && pq->x >= po->x) || (xp && pq->x <= po->x) || (yn && pq->y >= po->y)
             || (yp && pq->y <= po->y);
    return fp | fq << 1;
}

/* When the ray from `at` away from `from` stays in the box of the triangle
** (at, from, other) for a while, an edge lying along it within rounding
** could be counted as crossing.  Then (both_leave has seen that it does
** not leave the box at `at`) the ray is followed through the mesh
** until it leaves the box; 1 when no corner of the triangles it passes
** lies within rounding distance of its line.  t3: the first half-edge of a
** triangle with the corner `at`, where the turn round `at` starts (it is
** at hand, where the point's own half-edge would be one more miss of the
** cache); round a point of the hull the turn may have to start again from
** the hull.  (Where two triangles take the ray, it runs along their common
** side, whose far end lies on its line: either way the answer is 0.) */
static __attribute__((noinline)) int ray_walk(int32_t at, int32_t from, int32_t other,
                                              int32_t t3)
{
    const tin_point *p = fs.p;
    const tin_he *he = tin_m.he;
    const tin_point *pt = &p[at], *pf = &p[from], *po = &p[other];
    double bx0 = min_of(pt->x, min_of(pf->x, po->x)), bx1 = max_of(pt->x, max_of(pf->x, po->x));
    double by0 = min_of(pt->y, min_of(pf->y, po->y)), by1 = max_of(pt->y, max_of(pf->y, po->y));
    double lf = tin_edge_len(pt, pf), near = 16 * fs.delta, lim = near * lf;
    /* the triangle round `at` that the ray enters: (at, x, y) with the ray
    ** between its sides */
    int32_t h0 = he[t3].v == at ? t3 : he[t3 + 1].v == at ? t3 + 1 : t3 + 2, h = h0, e = -1;
    for (int pass = 0; pass < 2; pass++) {
        if (pass == 1) {
            /* the turn met the hull before the ray: all round from there */
            h0 = h = tin_m.vhe[at];
            if (h0 < 0)
                return 0;
        }
        do {
            /* a side through `from` gives 0 exactly: said without the exact
            ** evaluation the rounded one would fall back on (coordinates
            ** whose differences cannot overflow) */
            int32_t x = he[tin_next(h)].v, y = he[tin_prev(h)].v;
            if ((x == from && fs.modest ? 0 : tin_orient(pt, pf, &p[x])) >= 0
                && (y == from && fs.modest ? 0 : tin_orient(pt, &p[y], pf)) >= 0
                && tin_orient(pt, &p[x], &p[y]) > 0) {
                e = tin_next(h);        /* the side (x, y) it leaves by */
                break;
            }
            h = he[tin_prev(h)].n;
        } while (h != -1 && h != h0);
        if (e != -1 || h != -1)
            break;
    }
    if (e == -1)
        return 0;
    /* the sides of the side (x, y) the ray leaves by: each step keeps one
    ** end, and its value */
    const tin_point *px = &p[he[e].v], *py = &p[he[tin_next(e)].v];
    double ox = tin_orient(pf, pt, px);
    if (fabs(ox) <= lim)
        return 0;
    double oy = tin_orient(pf, pt, py);
    if (fabs(oy) <= lim)
        return 0;
    for (int steps = 0; steps < 64; steps++) {
        /* where the ray crosses (x, y): out of the box, the walk is done */
        double t = ox / (ox - oy);
        double cx = px->x + (py->x - px->x) * t, cy = px->y + (py->y - px->y) * t;
        double m = fs.delta + 1e-9 * (bx1 - bx0 + by1 - by0);
        if (cx < bx0 - m || cx > bx1 + m || cy < by0 - m || cy > by1 + m)
            return 1;
        int32_t g = he[e].n;
        if (g == -1)
            return 1;                   /* out of the hull */
        /* on into the triangle beyond: it leaves by one of the other two sides */
        int32_t z = he[tin_prev(g)].v;
        double oz = tin_orient(pf, pt, &p[z]);
        if (fabs(oz) <= lim)
            return 0;
        /* g runs y -> x; (x, z) is next(g), (z, y) is prev(g) */
        if ((oz > 0) == (ox > 0)) {
            e = tin_prev(g);
            px = &p[z];
            ox = oz;
        } else {
            e = tin_next(g);
            py = &p[z];
            oy = oz;
        }
    }
    return 0;
}

/* The sides (a, w) and (w, b) of the triangle of half-edge h on (a, b). */
static void sides_of(int32_t h, int32_t a, int32_t *sa, int32_t *sb)
{
    if (tin_m.he[h].v == a) {
        *sb = tin_next(h);      /* b -> w */
        *sa = tin_prev(h);      /* w -> a */
    } else {
        *sa = tin_next(h);      /* a -> w */
        *sb = tin_prev(h);      /* w -> b */
    }
}

/* The candidates of a far triangle: points the mesh may be bent to, and
** points behind triangles already emitted, each with the side it was
** reached across (a triangle there cannot be bent, only refused). */
typedef struct cluster {
    int32_t cand[CLUSTER_CAP + 1];
    int32_t face[CLUSTER_CAP + 1];      /* a half-edge of the triangle whose apex
                                        ** it is (cand[0]: that of the edge) */
    int     ncand;
    int32_t blocked[CLUSTER_CAP + 1], across[CLUSTER_CAP + 1];
    int     nblocked;
} cluster;

static int known(const int32_t *list, int n, int32_t v)
{
    for (int i = 0; i < n; i++)
        if (list[i] == v)
            return 1;
    return 0;
}

/* Gathers the candidates of the far triangle of h: its apex, and the
** apexes of the triangles beyond that lie nearly on the same circle (a
** cocircular cluster), with everything beyond them clearly outside.
** 1 when that cannot be settled from the mesh. */
static int gather(int32_t h, cluster *cl)
{
    const tin_he *he = tin_m.he;
    int32_t faces[CLUSTER_CAP], todo[2 * CLUSTER_CAP], via[2 * CLUSTER_CAP];
    int nf = 0, nt = 0;
    faces[nf++] = h / 3;
    cl->cand[0] = he[tin_prev(h)].v;
    cl->face[0] = -1;
    cl->ncand = 1;
    cl->nblocked = 0;
    via[nt] = -1;
    todo[nt++] = tin_next(h);
    via[nt] = -1;
    todo[nt++] = tin_prev(h);
    while (nt > 0) {
        nt--;
        int32_t s = todo[nt], entry = via[nt];
        /* a side carries that lock only where both its ends are ends of
        ** constraint edges: the lock byte, which the memory seldom has at
        ** hand, is read only then (the ends' marks are n bytes, and the
        ** ends themselves are at hand for the test below) */
        if (tin.ncons > 0 && fs.cons[he[s].v] && fs.cons[he[tin_next(s)].v]
            && (tin_m.locked[s] & LOCK_CONSTRAINT))
            return 1;
        int32_t g = he[s].n;
        if (g == -1)
            continue;
        int32_t t = (int32_t)((uint32_t)g / 3);        /* g >= 0: the cheaper division */
        if (known(faces, nf, t))
            continue;
        int32_t m = he[tin_prev(g)].v;
        int r = beyond(he[s].v, he[tin_next(s)].v, he[tin_prev(s)].v, m);
        if (r == 1)
            continue;
        if (r == -1 || nf == CLUSTER_CAP)
            return 1;
        faces[nf++] = t;
        if (entry == -1 && tin_m.fixed[t])
            entry = s;          /* behind this side all is blocked */
        if (entry != -1) {
            if (!known(cl->blocked, cl->nblocked, m) && !known(cl->cand, cl->ncand, m)) {
                cl->blocked[cl->nblocked] = m;
                cl->across[cl->nblocked++] = entry;
            }
        } else if (!known(cl->cand, cl->ncand, m)) {
            cl->face[cl->ncand] = g;
            cl->cand[cl->ncand++] = m;
        }
        via[nt] = entry;
        todo[nt++] = tin_next(g);
        via[nt] = entry;
        todo[nt++] = tin_prev(g);
    }
    return 0;
}

/* Is the blocked candidate j, behind the emitted side s, surely refused by
** the search's crossing test?  It is when (a, j) or (b, j) crosses that
** side, in the test as the search computes it, and the side is an edge the
** search scans (ahead of the front). */
static int surely_refused(edge_ctx *c, int32_t j, int32_t s)
{
    int32_t e = tag_get(tin_m.he[s].v, tin_m.he[tin_next(s)].v, s);
    if (e < 0)
        return 0;
    write_one(e);
    tin_valid_begin(fs.caller, fs.orig[c->a], fs.orig[c->b]);
    return tin_edge_refuses(fs.caller, fs.orig[c->a], fs.orig[c->b], fs.orig[j], e);
}

/* Is candidate j surely refused by the search's crossing test because
** the segment from x (a or b) to j crosses an edge the search scans?  The
** mesh is walked from x along the segment (as tin_mesh_insert_edge walks
** it); each mesh edge it crosses that is an edge of the buffer ahead of
** the front is put to the search's own test of that one edge.  A point
** behind a constraint edge, inside the circle of a triangle next to it,
** is mostly refused by the front's edges on the way. */
static int refused_on_the_way(edge_ctx *c, int32_t x, int32_t j)
{
    const tin_point *p = fs.p;
    const tin_he *he = tin_m.he;
    int32_t h0 = tin_m.vhe[x], h = h0, e = -1;
    if (h0 < 0)
        return 0;
    do {
        int32_t y = he[tin_next(h)].v, z = he[tin_prev(h)].v;
        if (y == j || z == j)
            return 0;
        if (tin_orient(&p[x], &p[j], &p[y]) < 0 && tin_orient(&p[x], &p[j], &p[z]) > 0) {
            e = tin_next(h);
            break;
        }
        h = he[tin_prev(h)].n;
    } while (h != -1 && h != h0);
    for (int steps = 0; e != -1 && steps < 64; steps++) {
        int32_t u = he[e].v, v = he[tin_next(e)].v;     /* u right of x -> j, v left */
        int32_t be = tag_get(u, v, e);
        if (be >= 0) {
            write_one(be);
            tin_valid_begin(fs.caller, fs.orig[c->a], fs.orig[c->b]);
            if (tin_edge_refuses(fs.caller, fs.orig[c->a], fs.orig[c->b], fs.orig[j], be))
                return 1;
        }
        int32_t f = he[e].n;
        if (f == -1)
            return 0;
        int32_t z = he[tin_prev(f)].v;
        if (z == j)
            return 0;
        double oz = tin_orient(&p[x], &p[j], &p[z]);
        if (oz == 0)
            return 0;
        e = oz > 0 ? tin_next(f) : tin_prev(f);
    }
    return 0;
}

/* A candidate apex j's sides: a - j, b - j and their squared lengths. */
typedef struct apex_sides {
    double ax, ay, bx, by, la, lb;
} apex_sides;

/* tin_cosine(a, b, j), its sides kept for the tests of the chosen one. */
static inline double apex_cosine(const edge_ctx *c, const tin_point *pj, apex_sides *v)
{
    double ax = c->pa->x - pj->x, ay = c->pa->y - pj->y;
    double bx = c->pb->x - pj->x, by = c->pb->y - pj->y;
    v->ax = ax;
    v->ay = ay;
    v->bx = bx;
    v->by = by;
    v->la = ax * ax + ay * ay;
    v->lb = bx * bx + by * by;
    return (ax * bx + ay * by) / (sqrt(v->la) * sqrt(v->lb));
}

/* Is the circle of (a, b, w) trusted: no bent or constraint edge near it,
** and no rival able to hide within rounding next to w?  v: w's sides. */
static int circle_trusted(edge_ctx *c, int32_t w, const apex_sides *v)
{
    const tin_point *pw = &fs.p[w];
    double ax = v->ax, ay = v->ay, bx = v->bx, by = v->by, la = v->la, lb = v->lb;
    double cr = ax * by - ay * bx;
    if (dg.any || dg.cons || dg.nstray) {
        double ux = (by * la - ay * lb) / (2 * cr), uy = (ax * lb - bx * la) / (2 * cr);
        double r = sqrt(ux * ux + uy * uy) * 1.01 + fs.delta;
        double cx = pw->x + ux, cy = pw->y + uy;
        if (!isfinite(r) || circle_near(cx, cy, r) || stray_near(cx, cy, r))
            return 0;
    }
    /* far from the corners the lunes between the circles are wide; next to
    ** w they narrow: a rival there lies within
    ** t = 64 u |w-a| |w-b| / (margin |sin w| |a-b|) of w (the rounding of
    ** a cosine over the growth of the angle), which must stay below eps/16 */
    return fs.rival * fs.rival * la * la * lb * lb < tin.eps2 / 256 * cr * cr * c->len2;
}

/* Can the search's rounded crossing test refuse the triangle of half-edge
** h, a triangle of the mesh?  0 when it surely cannot: every ray along its
** sides leaves the box at once or is walked clear (most leave at once:
** that test inline, the walk apart). */
static inline __attribute__((always_inline)) int crossing_unsure(edge_ctx *c, int32_t h,
                                                                 int32_t w)
{
    int32_t sa, sb;
    sides_of(h, c->a, &sa, &sb);
    if (!star_fine(c->a) || !star_fine(c->b) || !star_fine(w) || !no_needle(h))
        return 1;
    if ((tin_m.he[sa].n != -1 && !no_needle(tin_m.he[sa].n))
        || (tin_m.he[sb].n != -1 && !no_needle(tin_m.he[sb].n)))
        return 1;
    int32_t t3 = h - h % 3;
    const tin_point *pw = &fs.p[w];
    int la = both_leave(pw, c->pa, c->pb), lb = both_leave(pw, c->pb, c->pa);
    return (!(la & 1) && !ray_walk(w, c->a, c->b, t3))
           || (!(la & 2) && !ray_walk(c->a, w, c->b, t3))
           || (!(lb & 1) && !ray_walk(w, c->b, c->a, t3))
           || (!(lb & 2) && !ray_walk(c->b, w, c->a, t3));
}

/* Takes the triangle of half-edge h with apex w, as the search would: the
** existing sides ahead of the front, the lines of the new ones, the closing
** and the angle sums; then records it in the mesh.  cw: the cosine of
** the angle at w, as tin_cosine gives it; la, lb: |a-w|^2, |b-w|^2. */
static inline __attribute__((always_inline)) void take(edge_ctx *c, int32_t h, int32_t w,
                                                       double cw, double la, double lb)
{
    /* (the lines of the new sides are made again from their ends when
    ** needed; the fast buffer keeps none) */
    int32_t sa, sb;
    sides_of(h, c->a, &sa, &sb);
    /* (h's triangle is not fixed: direct and checked take none that is) */
    tin.held_ak = tag_get_of(c->a, w, sa, 0);
    tin.held_bk = tag_get_of(c->b, w, sb, 0);
    close_held(c->a, c->b);
    record(h, c->a);
    if (!fs.lazy) {
        add_angles(c->a, c->b, w, cw, c->len2, la, lb);
        return;
    }
#ifdef TIN_CHECK_LAZY
    int64_t units[3];
    tin_angle_units_of(c->pa, c->pb, &fs.p[w], cw, c->len2, la, lb, units);
    fs.owed[w] += units[0];
    fs.owed[c->a] += units[1];
    fs.owed[c->b] += units[2];
#endif
    count_taken(c->a, 1);
    count_taken(c->b, 1);
    count_taken(w, 1);
}

/* Takes the lock of a bending off the edge (u, v), wherever it lies now. */
static void unbend(int32_t u, int32_t v)
{
    int32_t g = tin_mesh_find(u, v);
    if (g == -1)
        g = tin_mesh_find(v, u);
    if (g == -1)
        return;
    tin_m.locked[g] &= (uint8_t)~LOCK_BENDING;
    if (tin_m.he[g].n != -1)
        tin_m.locked[tin_m.he[g].n] &= (uint8_t)~LOCK_BENDING;
}

/* Flips the mesh so that (a, b, w) is one of its triangles, w a point of
** the cluster of the far triangle of h (-1: anywhere); the half-edge of
** (a, b) in it, or -1. */
static int32_t bend(int32_t a, int32_t b, int32_t w, int32_t h)
{
    /* w beyond a side of the far triangle: one flip of that side */
    for (int i = 0; h >= 0 && i < 2; i++) {
        int32_t s = i ? tin_prev(h) : tin_next(h), g = tin_m.he[s].n;
        if (g != -1 && tin_m.he[tin_prev(g)].v == w && !tin_m.locked[s]
            && tin_mesh_flippable(s)) {
            int32_t d = tin_mesh_flip(s);
            /* (a, b) is a side of one of the two triangles of the new diagonal */
            int32_t o = tin_m.he[d].n;
            int32_t around[6] = { d, tin_next(d), tin_prev(d), o, tin_next(o), tin_prev(o) };
            for (int j = 0; j < 6; j++) {
                int32_t u = tin_m.he[around[j]].v, v = tin_m.he[tin_next(around[j])].v;
                if ((u == a && v == b) || (u == b && v == a))
                    return around[j];
            }
            return edge_with_apex(a, b, w);
        }
    }
    int32_t h1 = tin_mesh_insert_edge(a, w, LOCK_BENDING);
    int32_t h2 = h1 == -1 ? -1 : tin_mesh_insert_edge(b, w, LOCK_BENDING);
    unbend(a, w);
    unbend(b, w);
    if (h1 == -1 || h2 == -1)
        return -1;
    return edge_with_apex(a, b, w);
}

/* The triangle read off the mesh (the far triangle of h, or another of its
** cocircular cluster).  ASK when the mesh cannot settle it; CHECK when it
** can name the apex but the check point by point must confirm it. */
enum { CHECK = 3 };

static int direct(edge_ctx *c, int32_t h, int32_t *k_out, int32_t *proposal,
                  int32_t *hp)
{
    cluster cl;
    *proposal = tin_m.he[tin_prev(h)].v;
    *hp = h;
    if (tin_m.fixed[h / 3])
        return ASK;
    if (gather(h, &cl))
        return CHECK;
    /* the search's choice among the candidates: the smallest cosine, the
    ** earlier in its sweep at a tie */
    int32_t w = -1;
    double cw = 0;
    apex_sides vw, vj;          /* the sides of w, of candidate j */
    vw.la = vw.lb = 0;          /* (set with w; the compiler cannot tell) */
    for (int i = 0; i < cl.ncand; i++) {
        int32_t j = cl.cand[i];
        double cj = apex_cosine(c, &fs.p[j], &vj);
        if (refused_early_as(c, j, surely_open(j, cl.face[i], cj)))
            continue;
        if (w == -1 || beats(c, j, cj, cw, rank_of(c, w))) {
            w = j;
            cw = cj;
            vw = vj;
        }
    }
    if (w == -1)
        return ASK;             /* the answer lies elsewhere, if anywhere */
    /* a blocked candidate the search would prefer must be refused */
    for (int i = 0; i < cl.nblocked; i++) {
        int32_t j = cl.blocked[i];
        /* (the comparison first: the tests before the last have no
        ** effects, and it spares reading the sum of most) */
        if (beats(c, j, tin_cosine(c->pa, c->pb, &fs.p[j]), cw, rank_of(c, w)) && !refused_early(c, j)
            && !surely_refused(c, j, cl.across[i]))
            return CHECK;
    }
    int32_t hw = h;
    if (w != *proposal) {
        dg.nflips = dg.skewed = 0;
        hw = bend(c->a, c->b, w, h);
        if (dg.skewed)
            dirty_box_mark(dg.fx0, dg.fx1, dg.fy0, dg.fy1, DIRTY_CIRCLE);
        if (hw == -1 || tin_m.fixed[hw / 3])
            return ASK;
        *proposal = w;
        *hp = hw;
        tin_fast_count.bent++;
    }
    if (!circle_trusted(c, w, &vw) || crossing_unsure(c, hw, w))
        return CHECK;
    take(c, hw, w, cw, vw.la, vw.lb);
    if (cl.ncand + cl.nblocked > 1)
        tin_fast_count.cluster++;
    else
        tin_fast_count.direct++;
    *k_out = w;
    return FOUND;
}

/* ---- the check point by point ---------------------------------------------
** The apex w is a candidate the search may take (its crossing test, run as
** the search runs it, passes); every point that could compare better lies
** in the box of w's circle, where the grid of points lists them.  When none
** of them passes the search's tests, w is the search's answer.  (A point
** better than w lies inside the circle through a, b and w, up to rounding,
** and the search's window, the box of a better point's circle widened by a
** thousandth, holds it too.) */

/* The search's validity test of the triangle (a, b, k) as its plain scan
** runs it (tin_valid_triangle, edge_check), over the edges ahead of the
** front read from the fast buffer instead of from records written out for
** it: the same tests, in the same order, on the same values (the ends,
** their box, the line as a record would hold it, the lines (k, a) and
** (k, b) as the test makes them), so the same answer; on acceptance the
** latest existing sides (a, k) and (b, k) and those lines are left in tin
** as the search leaves them.  The scan starts after the front: the fast
** search asks for the constraint edges themselves, so the search's start at
** slot 0 never comes here.  Its area test is left out: every candidate here
** has passed the same test in refused_early.  0 when the triangle may be
** built. */
typedef struct scan_cand {
    int32_t a, b, k, lo, hi;
    int64_t sum;
    double  x0, x1, y0, y1;             /* the triangle's box */
} scan_cand;

/* Does the edge (pu, pv), whose line is (la, lb, lc), cross the new side
** (k, x) whose line is (sa, sb, sc): the edge's ends on both sides of the
** side's line, and k and x on both sides of the edge's line. */
static int side_crossed(double sa, double sb, double sc, const tin_point *pu, const tin_point *pv,
                        double la, double lb, double lc, const tin_point *pk, const tin_point *px)
{
    double su = sa * pu->x + sb * pu->y - sc;
    double sv = sa * pv->x + sb * pv->y - sc;
    if (!(su * sv < 0))
        return 0;
    double sk = la * pk->x + lb * pk->y - lc;
    double sx = la * px->x + lb * px->y - lc;
    return sk * sx < 0;
}

/* One edge of the scan: 0 nothing, 1 the triangle is built already, 2 a
** new side crosses the edge (edge_check's answers). */
static int scan_edge(const scan_cand *q, int32_t e)
{
    const tin_point *p = fs.p;
    int32_t u, v, o;
    edge_ends(e, &u, &v, &o);
    if (o != -1) {
        int32_t lo = u < v ? u : v, hi = u < v ? v : u;
        if (o < lo) lo = o;
        if (o > hi) hi = o;
        if (lo == q->lo && hi == q->hi && (int64_t)u + v + o == q->sum)
            return 1;
    }
    if ((u == q->a && v == q->b) || (u == q->b && v == q->a))
        return 0;
    if (u == q->k || v == q->k) {
        int32_t other = u == q->k ? v : u;
        if (other == q->a && e > tin.e_ak) tin.e_ak = e;
        if (other == q->b && e > tin.e_bk) tin.e_bk = e;
        return 0;
    }
    const tin_point *pu = &p[u], *pv = &p[v];
    double xmin = pu->x < pv->x ? pu->x : pv->x, xmax = pu->x < pv->x ? pv->x : pu->x;
    double ymin = pu->y < pv->y ? pu->y : pv->y, ymax = pu->y < pv->y ? pv->y : pu->y;
    if (!(xmin < q->x1 && ymin < q->y1 && q->x0 < xmax && q->y0 < ymax))
        return 0;
    double la, lb, lc;
    line_of(e, u, v, &la, &lb, &lc);
    const tin_point *pk = &p[q->k], *pa = &p[q->a], *pb = &p[q->b];
    if (u != q->a && v != q->a
        && side_crossed(tin.ak_la, tin.ak_lb, tin.ak_lc, pu, pv, la, lb, lc, pk, pa))
        return 2;
    if (u != q->b && v != q->b
        && side_crossed(tin.bk_la, tin.bk_lb, tin.bk_lc, pu, pv, la, lb, lc, pk, pb))
        return 2;
    return 0;
}

/* The boxes of the edges ahead of the front, for the scan below: floats
** from an origin, rounded outwards, in a ring indexed by buffer number
** (an edge's ends never change, and the scan never goes back behind the
** front).  Filled as the scans reach new edges; a scan tests these first
** and reads the edge itself only where the box meets the triangle's.  An
** edge the scan acts on meets the triangle's box: it crosses it, or has
** k, or all three corners, for ends.
**
**    ring: [ e & mask ]    holds lo .. hi, the latest cap edges at most
*/
static struct {
    float   *box;               /* 4 a slot: x0, x1, y0, y1 */
    int32_t  mask, lo, hi;      /* slots valid for edges lo .. hi */
    double   ox, oy;
} bc;

/* The float next below (or above) the rounded v: nextafterf towards -inf
** (+inf), stepping the bits (a float's bits count up with its size, the
** sign apart), without the library's call. */
static inline float step_float(float f, int up)
{
    if (f != f || f == (up ? INFINITY : -INFINITY))
        return f;
    if (f == 0)
        return up ? 1.40129846e-45f : -1.40129846e-45f;
    uint32_t bits;
    memcpy(&bits, &f, sizeof bits);
    bits += (f > 0) == (up != 0) ? 1 : (uint32_t)-1;
    memcpy(&f, &bits, sizeof f);
    return f;
}

static inline float below(double v)
{
    return step_float((float)v, 0);
}

static inline float above(double v)
{
    return step_float((float)v, 1);
}

/* Boxes for the edges first .. last; 1 when out of memory. */
static int boxes_fill(int32_t first, int32_t last)
{
    int32_t from = first;
    if (bc.box && last - first <= bc.mask) {
        /* the slots of lo .. hi hold; the new ones overwrite edges behind first */
        if (first >= bc.lo && first <= bc.hi + 1)
            from = bc.hi + 1;
    } else {
        int32_t cap = 4096;
        while (cap <= 2 * (last - first + 1))
            cap *= 2;
        float *nb = (float *)malloc((size_t)cap * 4 * sizeof(float));
        if (!nb)
            return 1;
        free(bc.box);
        bc.box = nb;
        bc.mask = cap - 1;
    }
    for (int32_t e = from; e <= last; e++) {
        int32_t u, v, o;
        edge_ends(e, &u, &v, &o);
        const tin_point *pu = &fs.p[u], *pv = &fs.p[v];
        float *f = &bc.box[4 * (size_t)(e & bc.mask)];
        f[0] = below((pu->x < pv->x ? pu->x : pv->x) - bc.ox);
        f[1] = above((pu->x < pv->x ? pv->x : pu->x) - bc.ox);
        f[2] = below((pu->y < pv->y ? pu->y : pv->y) - bc.oy);
        f[3] = above((pu->y < pv->y ? pv->y : pu->y) - bc.oy);
        if (!(f[0] <= f[1] && f[2] <= f[3])) {     /* NaN: no box, always read */
            f[0] = f[2] = -INFINITY;
            f[1] = f[3] = INFINITY;
        }
    }
    bc.lo = first;
    bc.hi = last;
    return 0;
}

static int scan_valid(edge_ctx *c, int32_t k)
{
    const tin_point *pa = c->pa, *pb = c->pb, *pk = &fs.p[k];
    scan_cand q;
    q.a = c->a;
    q.b = c->b;
    q.k = k;
    double ex0 = pa->x < pb->x ? pa->x : pb->x, ex1 = pa->x < pb->x ? pb->x : pa->x;
    double ey0 = pa->y < pb->y ? pa->y : pb->y, ey1 = pa->y < pb->y ? pb->y : pa->y;
    q.x0 = ex0 < pk->x ? ex0 : pk->x;
    q.x1 = ex1 > pk->x ? ex1 : pk->x;
    q.y0 = ey0 < pk->y ? ey0 : pk->y;
    q.y1 = ey1 > pk->y ? ey1 : pk->y;
    q.lo = q.a < q.b ? q.a : q.b;
    q.hi = q.a < q.b ? q.b : q.a;
    if (k < q.lo) q.lo = k;
    if (k > q.hi) q.hi = k;
    q.sum = (int64_t)q.a + q.b + k;
    if (tin_lpp(pk->x, pk->y, pa->x, pa->y, &tin.ak_la, &tin.ak_lb, &tin.ak_lc)
        || tin_lpp(pk->x, pk->y, pb->x, pb->y, &tin.bk_la, &tin.bk_lb, &tin.bk_lc))
        return 1;
    tin.e_ak = tin.e_bk = -1;
    int32_t first = tin.cur_edge + 1, last = tin.last_edge;
    int boxed = first <= last && !boxes_fill(first, last);
    float bx0 = below(q.x0 - bc.ox), bx1 = above(q.x1 - bc.ox);
    float by0 = below(q.y0 - bc.oy), by1 = above(q.y1 - bc.oy);
    for (int32_t e = first; e <= last; e++) {
        const float *f = boxed ? &bc.box[4 * (size_t)(e & bc.mask)] : NULL;
        if (f && (f[0] > bx1 || f[1] < bx0 || f[2] > by1 || f[3] < by0))
            continue;
        int r = scan_edge(&q, e);
        if (r) {
            if (r == 2)
                tin.e_ak = tin.e_bk = -1;
            return 1;
        }
    }
    return 0;
}

/* hw: the half-edge of (a, b) in the mesh triangle (a, b, w). */
/* Is every point of cell (gx, gy), wherever rounding put it in its cell,
** surely on opp's side of the edge's line, so that the search's side test
** refuses it?  err is far above the rounding of a side value there. */
static int cell_behind(const edge_ctx *c, int32_t gx, int32_t gy, double slack, double err)
{
    double qx0 = pg.x0 + gx * pg.cs - slack, qx1 = qx0 + pg.cs + 2 * slack;
    double qy0 = pg.y0 + gy * pg.cs - slack, qy1 = qy0 + pg.cs + 2 * slack;
    double sg = c->s_opp > 0 ? 1 : -1;
    double ux = sg * tin.edge_la, uy = sg * tin.edge_lb, lc = sg * tin.edge_lc;
    /* the corner of least value of a linear function */
    double m = ux * (ux < 0 ? qx1 : qx0) + uy * (uy < 0 ? qy1 : qy0) - lc;
    return m > err;
}

/* The rows of column gx a wide check must look at, narrowed from [*lo, *hi]
** to those that meet the widened circle (centre cx, cy; squared reach
** reach2) and hold a point not surely behind the edge's line; 0 when none.
** Every cell left out is one the scan would pass without a test of any
** effect: outside the circle (the test of each cell below), or all its
** points refused by their side.  A huge circle of a sliver along the hull
** meets most of the grid, nearly all of it behind the edge: only the thin
** cap beyond is left.
**
**      . . . . . . :/. . .       one column (:) of the grid; the rows
**      . . . . . . :  . .        below the line a-b (opp's side) are
**      a-----------+-----b       passed over, and so are those past the
**      . . . . . . :  . .        circle's reach; each side found by a
**      . . . . . . :  . .        halving, the sides being monotone in y */
static int column_rows(const edge_ctx *c, int32_t gx, double cx, double cy, double reach2,
                       double slack, int32_t *lo, int32_t *hi)
{
    double qx0 = pg.x0 + gx * pg.cs - slack, qx1 = qx0 + pg.cs + 2 * slack;
    double dx = fmax(fmax(qx0 - cx, cx - qx1), 0), h2 = reach2 - dx * dx;
    if (h2 < 0)
        return 0;               /* (each cell's own test passes them all) */
    double h = sqrt(h2);
    if (isfinite(h) && isfinite(cy)) {
        /* a whole cell more each way than the rows the circle meets */
        int32_t r0 = pcell(cy - h - pg.cs, pg.y0, pg.ny), r1 = pcell(cy + h + pg.cs, pg.y0, pg.ny);
        if (r0 > *lo) *lo = r0;
        if (r1 < *hi) *hi = r1;
    }
    if (*lo > *hi)
        return 0;
    /* behind the line: one end of the column's rows, by halving.  The
    ** bound err is the same for every cell (from the grid's extent), so
    ** the test is monotone in the row up to a rounding far below it. */
    double la = tin.edge_la, lb = tin.edge_lb;
    if (!(c->s_opp != 0) || !isfinite(la) || !isfinite(lb) || !isfinite(tin.edge_lc))
        return 1;
    double xm = fmax(fabs(pg.x0), fabs(pg.x0 + (pg.nx + 1) * pg.cs));
    double ym = fmax(fabs(pg.y0), fabs(pg.y0 + (pg.ny + 1) * pg.cs));
    double err = 1e-9 * (fabs(la) * xm + fabs(lb) * ym + fabs(tin.edge_lc));
    if (!isfinite(err))
        return 1;
    double rise = (c->s_opp > 0 ? 1 : -1) * lb;     /* the test's value grows with y */
    if (rise == 0)
        return !cell_behind(c, gx, *lo, slack, err);
    if (rise > 0) {
        /* the rows from the first behind on are left out */
        if (!cell_behind(c, gx, *hi, slack, err))
            return 1;
        int32_t a = *lo - 1, b = *hi;                   /* a not behind (or none), b behind */
        while (b - a > 1) {
            int32_t mid = a + (b - a) / 2;
            if (cell_behind(c, gx, mid, slack, err)) b = mid; else a = mid;
        }
        *hi = b - 1;
    } else {
        if (!cell_behind(c, gx, *lo, slack, err))
            return 1;
        int32_t a = *lo, b = *hi + 1;                   /* a behind, b not (or none) */
        while (b - a > 1) {
            int32_t mid = a + (b - a) / 2;
            if (cell_behind(c, gx, mid, slack, err)) a = mid; else b = mid;
        }
        *lo = a + 1;
    }
    return *lo <= *hi;
}

#ifdef TIN_CHECK_ROWS
/* The check build: every cell of column gx that column_rows left out (rows
** outside [lo, hi], all of them when skip) must be one the scan passes by:
** outside the widened circle by the scan's own test, or every point in it
** refused by its side.  A difference aborts. */
static void rows_check(const edge_ctx *c, int32_t gx, int32_t cy0, int32_t cy1, int skip,
                       int32_t lo, int32_t hi, double cx, double cy, double reach2, double slack)
{
    for (int32_t gy = cy0; gy <= cy1; gy++) {
        if (!skip && gy >= lo && gy <= hi)
            continue;
        size_t cell = (size_t)gx * pg.ny + gy;
        double qx0 = pg.x0 + gx * pg.cs - slack, qx1 = qx0 + pg.cs + 2 * slack;
        double qy0 = pg.y0 + gy * pg.cs - slack, qy1 = qy0 + pg.cs + 2 * slack;
        double dx = fmax(fmax(qx0 - cx, cx - qx1), 0), dy = fmax(fmax(qy0 - cy, cy - qy1), 0);
        if (dx * dx + dy * dy > reach2)
            continue;
        for (int32_t i = pg.start[cell]; i < pg.start[cell + 1]; i++)
            if (c->s_opp * side(&fs.p[pg.ids[i]]) < 0) {
                fprintf(stderr, "tin wide check: point %d in a cell left out\n", (int)pg.ids[i]);
                abort();
            }
    }
}
#endif

static int checked(edge_ctx *c, int32_t hw, int32_t w, int32_t *k_out);

/* The check found j, better than its candidate and a triangle the search
** may build (its tests as the search runs them pass): the search's answer
** is j or a point better still, and j is checked as the candidate was (not
** a triangle of the mesh, so its crossing test is the search's own).  Each
** step goes to a point strictly earlier in the search's order; after eight
** the search is asked.  On a projected elevation model the slivers along
** the hull have such points within rounding of their huge circles (on the
** bundled survey's, chains of more than four), and the search's own scan
** of such an edge cost about as much as 400 triangles. */
static int better_checked(edge_ctx *c, int32_t j, int32_t *k_out)
{
    if (fs.rechecks >= 8)
        return ASK;
    fs.rechecks++;
    tin_fast_count.better++;
    int r = checked(c, -1, j, k_out);
    fs.rechecks--;
    return r;
}

static int checked(edge_ctx *c, int32_t hw, int32_t w, int32_t *k_out)
{
    const tin_point *p = fs.p, *pw = &p[w];
    if (!pg.tried)
        pgrid_open();
    if (!pg.start || refused_early(c, w))
        return ASK;
    /* A better point sees (a, b) under an angle at least w's, up to the
    ** rounding of the cosines: it lies in the part of w's circle beyond
    ** (a, b), widened by what that rounding can move the circle's arc.
    ** The box of that cap: a, b and the circle's extreme points beyond. */
    double ax = c->pa->x - pw->x, ay = c->pa->y - pw->y;
    double bx = c->pb->x - pw->x, by = c->pb->y - pw->y;
    double cr = ax * by - ay * bx, la = ax * ax + ay * ay, lb = bx * bx + by * by;
    double s2 = cr * cr / (la * lb);            /* sin^2 of the angle at w */
    if (!(s2 > 1e-16))
        return ASK;
    double ux = (by * la - ay * lb) / (2 * cr), uy = (ax * lb - bx * la) / (2 * cr);
    double rad = sqrt(ux * ux + uy * uy), cx = pw->x + ux, cy = pw->y + uy;
    double bx0 = fmin(c->pa->x, c->pb->x), bx1 = fmax(c->pa->x, c->pb->x);
    double by0 = fmin(c->pa->y, c->pb->y), by1 = fmax(c->pa->y, c->pb->y);
    double ext[4][2] = { { cx - rad, cy }, { cx + rad, cy }, { cx, cy - rad }, { cx, cy + rad } };
    double sw = side(pw);
    for (int i = 0; i < 4; i++) {
        double se = tin.edge_la * ext[i][0] + tin.edge_lb * ext[i][1] - tin.edge_lc;
        if (se * sw > 0 || fabs(se) < 1e-9 * fabs(sw) + 1e-300) {
            bx0 = fmin(bx0, ext[i][0]);
            bx1 = fmax(bx1, ext[i][0]);
            by0 = fmin(by0, ext[i][1]);
            by1 = fmax(by1, ext[i][1]);
        }
    }
    bx0 = fmin(bx0, pw->x);
    bx1 = fmax(bx1, pw->x);
    by0 = fmin(by0, pw->y);
    by1 = fmax(by1, pw->y);
    double wide = 1e-6 * (bx1 - bx0 + by1 - by0) + 1e-9 * sqrt(c->len2 / s2) + 4 * fs.delta
                  + tin.eps;
    int32_t cx0 = pcell(bx0 - wide, pg.x0, pg.nx), cx1 = pcell(bx1 + wide, pg.x0, pg.nx);
    int32_t cy0 = pcell(by0 - wide, pg.y0, pg.ny), cy1 = pcell(by1 + wide, pg.y0, pg.ny);
    /* A wide box belongs to a huge circle (a sliver along the hull, its
    ** cap reaching over much of the grid, nearly all of it outside the
    ** points): there only the cells that meet the widened circle are
    ** looked at. */
    int cull = (int64_t)(cx1 - cx0 + 1) * (cy1 - cy0 + 1) > 4096;
    double reach = rad + wide, reach2 = reach * reach * (1 + 1e-6), slack = pg.cs / 64;
    double r = rad * 1.01 + wide;
    /* w's own crossing test: from the mesh where the mesh tells the front's
    ** edges and rounding cannot err, else the search's own */
    int sure = hw >= 0 && !tin_m.fixed[hw / 3]
               && !dirty_box(cx - r, cx + r, cy - r, cy + r, DIRTY_STRAY) && !stray_near(cx, cy, r)
               && !crossing_unsure(c, hw, w);
    if (!sure && scan_valid(c, w))
        return ASK;
    int w_scanned = !sure;      /* tin holds what w's scan left there */
    double cw = tin_cosine(c->pa, c->pb, pw);
    int64_t rw = rank_of(c, w);
    for (int32_t gx = cx0; gx <= cx1; gx++) {
        int32_t lo = cy0, hi = cy1;
        int skip = cull && !column_rows(c, gx, cx, cy, reach2, slack, &lo, &hi);
#ifdef TIN_CHECK_ROWS
        if (cull)
            rows_check(c, gx, cy0, cy1, skip, lo, hi, cx, cy, reach2, slack);
#endif
        if (skip)
            continue;
        for (int32_t gy = lo; gy <= hi; gy++) {
            size_t cell = (size_t)gx * pg.ny + gy;
            if (cull && pg.start[cell] < pg.start[cell + 1]) {
                /* the cell's box, a little widened for the rounding of
                ** the points' cells, against the circle's centre */
                double qx0 = pg.x0 + gx * pg.cs - slack, qx1 = qx0 + pg.cs + 2 * slack;
                double qy0 = pg.y0 + gy * pg.cs - slack, qy1 = qy0 + pg.cs + 2 * slack;
                double dx = fmax(fmax(qx0 - cx, cx - qx1), 0), dy = fmax(fmax(qy0 - cy, cy - qy1), 0);
                if (dx * dx + dy * dy > reach2)
                    continue;
            }
            for (int32_t i = pg.start[cell]; i < pg.start[cell + 1]; i++) {
                int32_t j = pg.ids[i];
                if (j == w || refused_early(c, j))
                    continue;
                if (!beats(c, j, tin_cosine(c->pa, c->pb, &p[j]), cw, rw))
                    continue;
                w_scanned = 0;          /* the tests of j leave their own there */
                if (refused_on_the_way(c, c->a, j) || refused_on_the_way(c, c->b, j))
                    continue;
                if (!scan_valid(c, j))
                    return better_checked(c, j, k_out);
            }
        }
    }
    tin_fast_count.checked++;
    tin_fast_count.wide += cull;
    *k_out = w;
    if (sure) {
        take(c, hw, w, cw, la, lb);
        return FOUND;
    }
    /* w's own existing sides and lines */
    if (!w_scanned)
        scan_valid(c, w);
    tin.held_ak = tin.e_ak;
    tin.held_bk = tin.e_bk;
    tin.held_ak_la = tin.ak_la; tin.held_ak_lb = tin.ak_lb; tin.held_ak_lc = tin.ak_lc;
    tin.held_bk_la = tin.bk_la; tin.held_bk_lb = tin.bk_lb; tin.held_bk_lc = tin.bk_lc;
    close_held(c->a, c->b);
    add_angles(c->a, c->b, w, cw, c->len2, la, lb);
    follow(c->a, c->b, w);
    return FOUND;
}

/* ---- entry --------------------------------------------------------------- */

static inline uint32_t tri_of(int32_t h)       /* h >= 0: the cheaper division */
{
    return (uint32_t)h / 3;
}

static inline int32_t prev_of(int32_t h)        /* tin_prev for h >= 0 */
{
    return (uint32_t)h - 3 * tri_of(h) == 0 ? h + 2 : h - 1;
}

/* The edges a few places ahead in the buffer will need their far triangle,
** the triangles beyond it and their corners: asked for early, they are in
** the cache by then (the front meets the mesh in no order the memory
** would guess).  Inline, and must stay so: a function that only
** prefetches counts for the compiler as one without effects, and a call
** to such a function whose result is unused is dropped (it was, for as
** long as this was a function of its own).  An edge closed already is
** never searched (it is passed by), so nothing is asked for it. */
static inline __attribute__((always_inline)) void prefetch_ahead(void)
{
    const tin_he *he = tin_m.he;
    int32_t e = tin.cur_edge + 12;
    if (e <= tin.last_edge && fs.near[e] >= 0 && !(fs.bits[e] & FE_CLOSED)) {
        int32_t g = he[fs.near[e]].n;
        if (g >= 0) {
            uint32_t t = tri_of(g);
            /* a triangle's 24 bytes may cross into the next line */
            __builtin_prefetch(&he[3 * t]);
            __builtin_prefetch(&he[3 * t + 2]);
            __builtin_prefetch(&tin_m.needle[t]);
            __builtin_prefetch(&tin_m.fixed[t]);
        }
    }
    e = tin.cur_edge + 6;
    if (e <= tin.last_edge && fs.near[e] >= 0 && !(fs.bits[e] & FE_CLOSED)) {
        int32_t g = he[fs.near[e]].n;
        if (g >= 0) {
            uint32_t t = tri_of(g);
            int32_t apex = he[prev_of(g)].v;
            __builtin_prefetch(&fs.p[apex]);
            for (int i = 0; i < 3; i++) {
                int32_t o = he[3 * t + i].n;
                if (o >= 0) {
                    uint32_t u = tri_of(o);
                    __builtin_prefetch(&he[3 * u]);
                    __builtin_prefetch(&he[3 * u + 2]);
                    __builtin_prefetch(&tin_m.needle[u]);
                    __builtin_prefetch(&fs.of_he[o]);   /* tag_get reads it */
                }
            }
            __builtin_prefetch(&tin_m.flat[apex]);
            __builtin_prefetch(fs.lazy ? (const void *)&fs.taken[apex]
                                       : (const void *)&tin.pangle[apex]);
        }
    }
    e = tin.cur_edge + 3;
    if (e <= tin.last_edge && fs.near[e] >= 0 && !(fs.bits[e] & FE_CLOSED)) {
        int32_t g = he[fs.near[e]].n;
        if (g >= 0) {
            uint32_t t = tri_of(g);
            for (int i = 0; i < 3; i++) {
                int32_t o = he[3 * t + i].n;
                if (o >= 0)
                    __builtin_prefetch(&fs.p[he[prev_of(o)].v]);
            }
        }
    }
}

/* The third point of (a, b) away from opp, all mesh numbers (the points
** are the mesh's own).  The constraint edges and the copies of break lines
** (their lines kept) are asked: across them the mesh is not Delaunay, and
** they are few. */
static int fast_third_point(int32_t n, const tin_point *, int32_t a, int32_t b, int32_t opp,
                            int32_t *k_out)
{
    if (fs.on)
        prefetch_ahead();
    if (!fs.on || opp == -1 || tin.cur_edge < tin.ncons
        || (tin.cur_edge >= 0 && (fs.bits[tin.cur_edge] & FE_LINE_KEPT)))
        return ask(n, a, b, opp, k_out);
    edge_ctx c;
    ctx_begin(&c, a, b, opp);
    int32_t h = far_side(tin.cur_edge, a, b, opp), w = -1, hw = -1;
    int r = ASK;
    if (h == -1)
        r = hull_edge(&c);
    else if (h >= 0)
        r = direct(&c, h, k_out, &w, &hw);
    if (r == CHECK)
        r = checked(&c, hw, w, k_out);
    if (r == ASK)
        return ask(n, a, b, opp, k_out);
    return r;
}

/* Was the edge (u, v) passed open?  Only where both ends are ends of
** such edges is the table asked. */
static inline int passed_open(int32_t u, int32_t v)
{
    if (!fs.passed || (fs.passed_end && !(fs.passed_end[u] && fs.passed_end[v])))
        return 0;
    return tin_passed_open(fs.orig[u], fs.orig[v]);
}

/* The seed and the front loop, as the straightforward driver runs them,
** over the fast buffer. */
int tin_fast_front(int32_t n, const tin_point *points, tin_face_cb face_cb)
{
    const tin_point *p = fs.p;
    if (tin.ncons == 0) {
        int32_t m = n / 2, k1, k2;
        k1 = tin_nearest_point(m, n, points);
        if (k1 < 0)
            return tin_no_seed(k1);
        if (tin_lpp(points[m].x, points[m].y, points[k1].x, points[k1].y,
                    &tin.edge_la, &tin.edge_lb, &tin.edge_lc))
            return 1;
        m = tin_m.slot[m];
        k1 = tin_m.slot[k1];
        if (fast_third_point(n, p, m, k1, -1, &k2))
            return tin_no_seed(k1);
        /* (m, k1) keeps the seed's line, (k2, m) and (k1, k2) those made
        ** from k2 */
        if (append(m, k1, k2, fs.pend[2], FE_LINE_OLD) || append(k2, m, k1, fs.pend[0], FE_LINE_OLD)
            || append(k1, k2, m, fs.pend[1], 0))
            return 1;
        face_cb(p[m], p[k1], p[k2]);
        tin.ntri = 1;
    }

    time_t t0 = time(NULL);
    double last_print = 0;
    for (tin.cur_edge = 0; tin.cur_edge <= tin.last_edge; tin.cur_edge++) {
        if (tin_break_polled())
            return 1;
        int32_t u, v, opp, k;
        /* from here on nothing asks the table for this edge */
        if (fs.near[tin.cur_edge] < 0) {
            edge_ends(tin.cur_edge, &u, &v, &opp);
            tag_drop(u, v, tin.cur_edge);
        }
        if (fs.bits[tin.cur_edge] & FE_CLOSED)
            continue;
        edge_ends(tin.cur_edge, &u, &v, &opp);
        line_of(tin.cur_edge, u, v, &tin.edge_la, &tin.edge_lb, &tin.edge_lc);
        fs.pend[0] = fs.pend[1] = fs.pend[2] = -1;
        /* past the constraint edges no edge is searched one side at a
        ** time: the search is called as tin_search_sides would call it */
        int first_side = 0, none;
        if (tin.cur_edge >= tin.ncons)
            none = fast_third_point(n, p, u, v, opp, &k);
        else
            none = tin_search_sides(fast_third_point, n, p, u, v, opp, &k, &first_side);
        if (none) {
            if (tin.cur_edge >= tin.ncons) {
                if (tin_passed_open_add(fs.orig[u], fs.orig[v]))
                    return 1;
                if (!fs.passed)
                    fs.passed_end = (uint8_t *)calloc((size_t)fs.n, 1);
                if (fs.passed_end)
                    fs.passed_end[u] = fs.passed_end[v] = 1;
                fs.passed = 1;
            }
            continue;
        }
        face_cb(p[u], p[v], p[k]);
        tin.ntri++;
        /* a side that is an edge passed open is appended closed (see
        ** tin_passed_open_add) */
        if (tin.held_ak == -1) {
            if (append(u, k, v, fs.pend[0], 0))
                return 1;
            if (passed_open(u, k))
                fs.bits[tin.last_edge] |= FE_CLOSED;
        }
        if (tin.held_bk == -1) {
            if (append(v, k, u, fs.pend[1], 0))
                return 1;
            if (passed_open(v, k))
                fs.bits[tin.last_edge] |= FE_CLOSED;
        }
        /* the other side of a break line: its copy keeps the constraint's
        ** line, written where line_of reads a kept one */
        if (first_side) {
            if (append(u, v, k, fs.pend[2], FE_LINE_KEPT))
                return 1;
            tin_edge *r = &tin.tri[tin.last_edge];
            r->la = tin.edge_la;
            r->lb = tin.edge_lb;
            r->lc = tin.edge_lc;
        }
        /* the clock every 64 triangles (it prints once a second at most) */
        if ((tin.ntri & 63) == 0)
            tin_progress(t0, &last_print);
    }
#ifdef TIN_CHECK_LAZY
    for (int32_t i = 0; fs.lazy && i < n; i++)
        if ((sum_of(i), fs.owed[i] != 0))
            lazy_fail("units left over", i);
#endif
    return 0;
}

int tin_fast_open(int32_t n, const tin_point *points)
{
    tin_fast_close();
    double m = 0, x0 = points[0].x, x1 = points[n - 1].x, y0 = points[0].y, y1 = points[0].y;
    for (int32_t i = 0; i < n; i++) {
        if (fabs(points[i].x) > m) m = fabs(points[i].x);
        if (fabs(points[i].y) > m) m = fabs(points[i].y);
        if (points[i].y < y0) y0 = points[i].y;
        if (points[i].y > y1) y1 = points[i].y;
    }
    double extent = (x1 - x0) + (y1 - y0);
    /* a side value is rounded in a handful of operations on numbers up to
    ** the coordinates' size: 2^-46 of that is a wide bound, as a distance;
    ** a needle angle is one that puts a point eps away within that bound */
    fs.delta = ldexp(m + extent, -46);
    fs.modest = m + extent < 1e300;
    fs.needle = fs.delta / tin.eps;
    fs.rival = 64 * TIN_HALF_ULP / CLUSTER_MARGIN;
    /* lazy sums (see sum_of): no square of a difference of coordinates
    ** overflows, so every unit is a whole number (the mesh's points are
    ** finite, and two of them differ by more than eps >= 1e-13 in x or y) */
    fs.lazy = m <= 1e150;
    /* grown from the front's seed, the mesh is laid out in about the order
    ** the front will meet it.  Points closed before the start (outside the
    ** area, in a hole) are never taken: the front sees through them, and
    ** so must the mesh */
    uint8_t *skip = NULL;
    if (tin.ncons > 0) {
        skip = (uint8_t *)malloc((size_t)n);
        if (!skip)
            return 1;
        for (int32_t i = 0; i < n; i++)
            skip[i] = (uint8_t)tin_closed(tin.pangle[i]);
    }
    int failed = tin_mesh_build(n, points, skip, tin.ncons == 0 ? n / 2 : -1, 2 * fs.delta,
                                fs.needle);
    free(skip);
    if (failed)
        return 1;
    fs.n = n;
    fs.p = tin_m.p;
    fs.caller = points;
    fs.orig = tin_m.orig;
    /* (the largest first: it fits where the mesh's first array lay) */
    fs.of_he = (int32_t *)tin_big((size_t)tin_m.cap * 3 * sizeof(int32_t));
    fs.near = (int32_t *)tin_big_raw((size_t)tin.edge_cap * sizeof(int32_t));
    fs.bits = (uint8_t *)tin_big((size_t)tin.edge_cap);
    int32_t *sums = (int32_t *)tin_big_raw((size_t)n * sizeof(int32_t));
    fs.pending_cap = n / 16 + 64;
    fs.pending = (int32_t *)malloc((size_t)fs.pending_cap * sizeof(int32_t));
    if (tin.ncons > 0)
        fs.cons = (uint8_t *)tin_big((size_t)n);
    if (fs.lazy) {
        fs.taken = (uint8_t *)tin_big((size_t)n);
        fs.summed = (uint8_t *)tin_big((size_t)tin_m.cap);
#ifdef TIN_CHECK_LAZY
        fs.owed = (int64_t *)calloc((size_t)n, sizeof(int64_t));
        if (!fs.owed)
            fs.lazy = 0;
#endif
        if (!fs.taken || !fs.summed)
            fs.lazy = 0;
    }
    dirty_open(n, x0, x1, y0, y1);
    bc.ox = x0;
    bc.oy = y0;
    bc.lo = 0;
    bc.hi = -1;
    if (!fs.near || !fs.bits || !fs.of_he || !sums || !fs.pending || (tin.ncons > 0 && !fs.cons)
        || !dg.cell || tags_grow()) {
        tin_big_free(sums);
        tin_fast_close();
        return 1;
    }
    tin_m.on_flip = flipped;
    /* the constraint edges are edges of the mesh, locked; the mesh is
    ** constrained Delaunay, not Delaunay across them */
    for (int32_t e = 0; e < tin.ncons; e++) {
        int32_t u = tin_m.slot[tin.tri[e].u], v = tin_m.slot[tin.tri[e].v];
        int32_t h = tin_mesh_insert_edge(u, v, LOCK_CONSTRAINT);
        if (h == -1) {
            tin_big_free(sums);
            tin_fast_close();
            return 1;
        }
    }
    if (tin.ncons > 0 && cons_index()) {
        tin_big_free(sums);
        tin_fast_close();
        return 1;
    }
    /* the constraint edges: loose, their lines kept in tin.tri (the
    ** edges are re-appended in place) */
    int32_t ncons = tin.ncons;
    tin.last_edge = -1;
    for (int32_t e = 0; e < ncons; e++)
        if (append(tin_m.slot[tin.tri[e].u], tin_m.slot[tin.tri[e].v], -1, -1, FE_LINE_KEPT)) {
            tin_big_free(sums);
            tin_fast_close();
            return 1;
        }
    /* the angle sums and the constraint ends by mesh number; the
    ** straightforward search reaches the sums through the numbering */
    for (int32_t i = 0; i < n; i++) {
        sums[i] = tin.pangle[fs.orig[i]];
        if (fs.cons)
            fs.cons[i] = tin.cons_end[fs.orig[i]];
    }
    tin_big_free(tin.pangle);
    tin.pangle = sums;
    tin.slot = tin_m.slot;
    tin.sum_of = fs.lazy ? sum_of_caller : NULL;
    fs.unread = fs.lazy;
    fs.written = tin.last_edge;
    fs.pend[0] = fs.pend[1] = fs.pend[2] = -1;
    fs.on = 1;
    return 0;
}

void tin_fast_close(void)
{
    free(dg.cell);
    free(dg.cstart);
    free(dg.cons);
    free(dg.cend);
    memset(&dg, 0, sizeof dg);
    free(bc.box);
    memset(&bc, 0, sizeof bc);
    tin_big_free(fs.near);
    tin_big_free(fs.bits);
    tin_big_free(fs.of_he);
    free(fs.loose);
    free(tg.key);
    free(tg.edge);
    memset(&tg, 0, sizeof tg);
    tin_big_free(fs.cons);
    free(fs.pending);
    free(fs.passed_end);
    tin_big_free(fs.taken);
    tin_big_free(fs.summed);
#ifdef TIN_CHECK_LAZY
    free(fs.owed);
#endif
    tin.slot = NULL;
    tin.sum_of = NULL;
    tin_big_free(pg.start);
    tin_big_free(pg.ids);
    memset(&pg, 0, sizeof pg);
    tin_big_free(hr.pos);
    free(hr.at);
    free(hr.fwd);
    free(hr.bwd);
    memset(&hr, 0, sizeof hr);
    tin_mesh_free();
    memset(&fs, 0, sizeof fs);
}
