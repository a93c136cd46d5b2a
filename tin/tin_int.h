/*
** tin_int.h -- the triangulation library's own declarations: the edge
** buffer's record, the state of one call, and the functions the library's
** files share (and its tests and benchmark reach).  Not for other folders.
*/
#ifndef VELMORA_TIN_INT_H
#define VELMORA_TIN_INT_H

#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <time.h>
#include "tin.h"

#pragma pack(push, 1)

/* One slot of the edge buffer.  Packed, fields in this order. */
typedef struct tin_edge {
    int32_t u;              /* first end; -1 = constraint edge deleted by a split */
    int32_t v;              /* second end */
    int32_t opp;            /* third vertex of the triangle built on it, -1 none */
    double  xmin, xmax;     /* box of the two ends */
    double  ymin, ymax;
    uint8_t flag;           /* 1 = closed: both sides have their triangle */
    int16_t group;          /* constraint group (constraint edges only);
                            ** TIN_BREAK for a break line */
    double  la, lb, lc;     /* its line la*x + lb*y = lc, as made by tin_lpp */
} tin_edge;

#pragma pack(pop)

#define FULL_TURN 62831852      /* 2 x 31415926, in units of 1e-7 radian */
#define HALF_TURN 31415926

/* Bounding box of one constraint group. */
typedef struct tin_box {
    double xmin, xmax, ymin, ymax;
} tin_box;

/* The state of one lib_triangulate call. */
typedef struct tin_state {
    double    eps, eps2;        /* coincidence tolerance and its square */
    int16_t   ngroups;
    int32_t   full_check;
    int32_t   ncons;            /* constraint edges: slots 0 .. ncons-1 */
    int32_t   narea;            /* of them, outline and hole edges (group >= 1);
                                ** without any, the area is the whole plane */
    int32_t   last_edge, edge_cap, cur_edge, ntri;
    tin_edge *tri;              /* the edge buffer */
    int32_t  *pangle;           /* per point: angle sum, 1e-7 radian */
    tin_box  *minmax_cont;      /* per group: box of its lines */
    uint8_t  *cons_end;         /* per point: 1 = end of a constraint edge */

    /* The search: the line of the edge under search (set before
    ** tin_third_point), the lines (k,a) and (k,b) of the candidate under
    ** test and of the one accepted, the existing edges (a,k) and (b,k)
    ** found for each, and whether the area test applies. */
    double  edge_la, edge_lb, edge_lc;
    double  ak_la, ak_lb, ak_lc, bk_la, bk_lb, bk_lc;
    double  held_ak_la, held_ak_lb, held_ak_lc, held_bk_la, held_bk_lb, held_bk_lc;
    int32_t e_ak, e_bk, held_ak, held_bk;
    int     need_region;
    /* With no opp, the side of the edge's line to search: +1 where
    ** la*x + lb*y - lc > 0, -1 where it is < 0, 0 both (see the driver). */
    int     search_side;

    /* The sums in pangle may be kept in another order (the fast search
    ** keeps them by its own numbering): point i's sum is then
    ** pangle[slot[i]].  NULL: pangle[i]. */
    const int32_t *slot;

    /* Point i's angle sum (caller's index) where the sums in pangle may
    ** lag behind: the fast search adds the angles of most of its
    ** triangles only when a sum is read (tin_fast.cpp, lazy sums).  NULL:
    ** the sums in pangle are whole. */
    int32_t (*sum_of)(int32_t i);
} tin_state;

extern tin_state tin;

/* A point whose angle sum lies within 4 units of a full turn is closed: it
** is never chosen again. */
static inline int tin_closed(int32_t pangle)
{
    int64_t d = (int64_t)FULL_TURN - pangle;
    return d < 5 && d > -5;
}

/* Hash tables keyed by an edge's two ends: the key (lower end, higher
** end; 0 is left for an empty slot) and its slot in a table of mask + 1. */
static inline uint64_t tin_pair_key(int32_t u, int32_t v)
{
    uint32_t lo = (uint32_t)(u < v ? u : v), hi = (uint32_t)(u < v ? v : u);
    return ((uint64_t)hi << 32 | lo) + 1;
}

static inline uint32_t tin_pair_slot(uint64_t k, uint32_t mask)
{
    k *= 0x9e3779b97f4a7c15ULL;
    return (uint32_t)(k >> 32) & mask;
}

/* Point i's angle sum. */
#define TIN_PANGLE(i) tin.pangle[tin.slot ? tin.slot[i] : (i)]

/* The cosine of the angle a-j-b, the quantity the search minimises. */
static inline double tin_cosine(const tin_point *pa, const tin_point *pb, const tin_point *pj)
{
    double ax = pa->x - pj->x, ay = pa->y - pj->y;
    double bx = pb->x - pj->x, by = pb->y - pj->y;
    return (ax * bx + ay * by) / (sqrt(ax * ax + ay * ay) * sqrt(bx * bx + by * by));
}

/* The plan length of the edge a-b. */
static inline double tin_edge_len(const tin_point *pa, const tin_point *pb)
{
    return sqrt((pb->x - pa->x) * (pb->x - pa->x) + (pb->y - pa->y) * (pb->y - pa->y));
}

/* hooks, large arrays (zeroed), tolerance and edge buffer (tin_lib.cpp) */
void  *tin_big(size_t bytes);
void  *tin_big_pages(size_t bytes, int huge);    /* huge 0: small pages only */
void  *tin_big_raw(size_t bytes);               /* not cleared: written whole first */
void   tin_big_free(void *p);
void   tin_big_release(void);
void   tin_error(const char *text);
void   tin_warning(const char *text);
int    tin_cancelled(void);
double tin_choose_eps(int32_t npoints, const tin_point *points);
int    tin_wrbuff(int32_t u, int32_t v, int32_t opp, double la, double lb, double lc,
                  const tin_point *points);
/* Line la*x + lb*y = lc through two points; lb is 1 unless it is vertical.
** Two equal points have no line: 1, with the message, and 0 x + 0 y = 0
** rather than whatever the outputs held.  (Inline: the fast search makes
** two lines a triangle.) */
static inline int tin_lpp(double x1, double y1, double x2, double y2, double *la, double *lb,
                          double *lc)
{
    double dx = x2 - x1;
    if (fabs(dx) < 1e-150) {
        if (y1 == y2) {
            tin_error(" LPP ");
            *la = *lb = *lc = 0;
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
int    tin_buffer_full(void);
int    tin_break_polled(void);
int    tin_no_seed(int32_t k1);
typedef int (*tin_search_fn)(int32_t n, const tin_point *points, int32_t a, int32_t b,
                             int32_t opp, int32_t *k);
int    tin_search_sides(tin_search_fn search, int32_t n, const tin_point *points, int32_t u,
                        int32_t v, int32_t opp, int32_t *k, int *first_side);
void   tin_progress(time_t t0, double *last_print);
/* edges the front passed with no triangle found beyond them (caller's
** numbering): noted (1 when out of memory, reported), and asked for when
** a new triangle's side is appended */
int    tin_passed_open_add(int32_t u, int32_t v);
int    tin_passed_open(int32_t u, int32_t v);
void   tin_speedups_open(int32_t n, const tin_point *points);

/* point ordering (tin_sort.cpp) */
int  tin_point_cmp(const void *p, const void *q);
int  tin_same_coord(double a, double b);
int  tin_sort_points(int32_t *n, tin_point *points);

/* the straightforward third-point search (tin_front.cpp) */
int32_t tin_nearest_point(int32_t m, int32_t n, const tin_point *points);
int    tin_third_point(int32_t n, const tin_point *points, int32_t a, int32_t b,
                       int32_t opp, int32_t *k);
void   tin_valid_begin(const tin_point *points, int32_t a, int32_t b);
int    tin_valid_triangle(const tin_point *points, int32_t a, int32_t b, int32_t k);
int    tin_edge_refuses(const tin_point *points, int32_t a, int32_t b, int32_t k, int32_t e);
int    tin_on_constraint(int32_t i);
void   tin_angle_units(const tin_point *points, int32_t a, int32_t b, int32_t k, double best,
                       int64_t units[3]);
void   tin_add_angle(int32_t i, int64_t units);
void   tin_place(const tin_point *points, int32_t a, int32_t b, int32_t k, double best);
void   tin_open_mark(int32_t i);
void   tin_open_set(int32_t i);
/* per point of the fast search: this bit set = some of its angles are
** not in its sum yet */
#define TIN_SUM_LAZY 0x80
void   tin_open_sync(const int32_t *at, const uint8_t *lazy);
int    tin_circle_centre(double p1, double q1, double r1, double p2, double q2, double r2,
                         double *x, double *y);
double tin_safe_acos(double c);
int    tin_grid_open(int32_t n, const tin_point *points);
void   tin_grid_close(void);
int    tin_bands_open(int32_t n, const tin_point *points);
void   tin_bands_close(void);
int    tin_blocks_open(int32_t n, const tin_point *points);
void   tin_blocks_close(void);

/* The units of the angle sums (here, inline: the fast search makes three a
** triangle).  asin(x) for |x| <= 1/2 by a rational approximation in x^2 (within
** 2 ulp of pi over the range where acos uses it, checked against the
** library's acos on 10^8 values). */
static inline double tin_asin_half(double x)
{
    double z = x * x;
    double p = z * (1.66666666666666657415e-01 + z * (-3.25565818622400915405e-01
               + z * (2.01212532134862925881e-01 + z * (-4.00555345006794114027e-02
               + z * (7.91534994289814532176e-04 + z * 3.47933107596021167570e-05)))));
    double q = 1 + z * (-2.40339491173441421878e+00 + z * (2.02094576023350569471e+00
               + z * (-6.88283971605453293030e-01 + z * 7.70381505559019352791e-02)));
    return x + x * (p / q);
}

/* An angle in units of 1e-7 radian, truncated: (int64_t)(tin_safe_acos(c)
** * 1e7), to the unit.  The approximation above errs by less than 1e-15
** radian (1e-8 units, rounding of the product included); where its
** units lie further than 1e-6 from a whole unit the truncation is the
** same, and elsewhere (one angle in a few hundred thousand, and NaN) the
** library's acos decides. */
static inline int64_t tin_angle_unit(double c)
{
    if (c >= -1 && c <= 1) {
        double a = c > 0.5    ? 2 * tin_asin_half(sqrt((1 - c) * 0.5))
                   : c < -0.5 ? 3.14159265358979323846 - 2 * tin_asin_half(sqrt((1 + c) * 0.5))
                              : 1.57079632679489661923 - tin_asin_half(c);
        double y = a * 10000000.0;      /* >= 0: truncation is the floor */
        int64_t u = (int64_t)y;
        if (y - (double)u > 1e-6 && y - (double)u < 1 - 1e-6)
            return u;
    }
    return (int64_t)(tin_safe_acos(c) * 10000000.0);
}

/* The angles of the triangle (a, b, k) at k, a and b, in units of 1e-7
** radian, truncated: at k the angle whose cosine is `best` (as the search
** computed it), at a the angle between k - a and b - a, at b the one
** between k - b and a - b.  len2 = |b-a|^2, ka2 = |k-a|^2, kb2 = |k-b|^2,
** each the sum of the squared coordinate differences (the fast search has
** them at hand; a difference's sign does not change its square). */
static inline void tin_angle_units_of(const tin_point *pa, const tin_point *pb,
                                      const tin_point *pk, double best, double len2,
                                      double ka2, double kb2, int64_t units[3])
{
    double len = sqrt(len2), lka = sqrt(ka2), lkb = sqrt(kb2);
    double kax = pk->x - pa->x, kay = pk->y - pa->y, bax = pb->x - pa->x, bay = pb->y - pa->y;
    double kbx = pk->x - pb->x, kby = pk->y - pb->y;
    units[0] = tin_angle_unit(best);
    units[1] = tin_angle_unit((kax * bax + kay * bay) / (lka * len));
    units[2] = tin_angle_unit((kbx * -bax + kby * -bay) / (lkb * len));
}

/* The angle units at corner c of a triangle (c, p, q), the same number
** tin_angle_units_of gives for that corner, whichever corner it took for
** the apex and in whatever order the other two came: its cosines are
** (p - c).(q - c) / (sqrt|p - c|^2 sqrt|q - c|^2) term for term -- the
** differences point minus corner (a - b is exactly -(b - a), and a
** difference and its negation have the same square), x before y in each
** sum, and a rounded product or sum does not depend on its operands'
** order.  (No fused multiply-add: the library is built with
** -ffp-contract=off.) */
static inline int64_t tin_corner_unit(const tin_point *pc, const tin_point *pp,
                                      const tin_point *pq)
{
    double px = pp->x - pc->x, py = pp->y - pc->y, qx = pq->x - pc->x, qy = pq->y - pc->y;
    return tin_angle_unit((px * qx + py * qy)
                          / (sqrt(px * px + py * py) * sqrt(qx * qx + qy * qy)));
}

/* the fast search (tin_fast.cpp): its Delaunay kernel opened first (1: it
** cannot be, the straightforward search must do it all), then the seed and
** the front loop, with its own compact edge buffer; 1 when the run fails
** (reported) */
int  tin_fast_open(int32_t n, const tin_point *points);
void tin_fast_close(void);
int  tin_fast_front(int32_t n, const tin_point *points, tin_face_cb face_cb);

/* How the fast search found its triangles, counted over all calls (for the
** benchmark and the tests): read off the mesh directly, chosen within a
** cocircular cluster, checked point by point in the circle's box, asked of
** the straightforward search; hull edges settled without it; triangles
** of the straightforward search the mesh had to be bent to, and those it
** could not take at all (built over a point, or twice); of the checked,
** those over a circle so large that only its cells were looked at; of the
** direct and cluster ones, those the mesh was flipped to first (its
** diagonal of a cocircular cluster was not the search's); of the checked,
** those whose check found a better point and checked that one instead. */
typedef struct tin_fast_stats {
    long direct, cluster, checked, straight, hull, forced, stray, wide, bent, better;
} tin_fast_stats;
extern tin_fast_stats tin_fast_count;

/* constraint lines (tin_cons.cpp) */
int    tin_build_constraints(int32_t nlines, const tin_line *lines, int32_t n,
                             const tin_point *points);
int    tin_split_constraints(int32_t n, const tin_point *points);
/* constraint rings (tin_rings.cpp): 0 when no two constraint edges cross or
** touch and every group closes into rings; else 1 after the message. */
int    tin_check_rings(const tin_point *points);
int    tin_edge_cmp(const void *p, const void *q);
void   tin_index_area(void);        /* after the sort of the constraint edges */
void   tin_area_index_free(void);
int    tin_inside_group(double x, double y, int g);
int    tin_outside_area(double x, double y);
void   tin_close_outside_points(int32_t n, const tin_point *points);
void   tin_preset_boundary_angles(const tin_point *points);
double tin_polar_angle(double dy, double dx);

#endif
