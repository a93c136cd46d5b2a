/*
** tin.h -- LIBVELMORA, the triangulation library.
**
** Owns the triangulated irregular network: survey points (tin_point) and
** constraint lines (tin_line) go in through lib_triangulate, which orders the
** points, drops plan duplicates, enters the constraint lines as edges that
** the network must keep (outer boundary = group 1, holes = groups 2 and up),
** grows the network by an advancing front over a buffer of edges (tin_edge)
** and hands every triangle to the caller's face callback the moment it is
** found.
**
** One call at a time: the library keeps its working state in the
** library-wide variables below for the length of one lib_triangulate call.
** They are visible here for the library's own files and its tests.
*/
#ifndef VELMORA_TIN_H
#define VELMORA_TIN_H

#include <stdint.h>

/* A survey point in drawing units. */
typedef struct tin_point {
    double x, y, z;
} tin_point;

#pragma pack(push, 1)

/* A constraint line: start, end and its colour number (1 = outer boundary,
** 2 .. ngroups = holes).  Packed: six doubles and a 16-bit word. */
typedef struct tin_line {
    double  x1, y1, z1;
    double  x2, y2, z2;
    int16_t group;
} tin_line;

/* One slot of the edge buffer.  Packed, fields in this order. */
typedef struct tin_edge {
    int32_t u;              /* first end; -1 = constraint edge deleted by a split */
    int32_t v;              /* second end */
    int32_t opp;            /* third vertex of the triangle built on it, -1 none */
    double  xmin, xmax;     /* box of the two ends */
    double  ymin, ymax;
    uint8_t flag;           /* 1 = closed: both sides have their triangle */
    int16_t group;          /* constraint group (constraint edges only) */
    double  la, lb, lc;     /* its line la*x + lb*y = lc, as made by lpp */
} tin_edge;

#pragma pack(pop)

/* Per-triangle callback: the current edge's two ends, then the new point.
** Its result is ignored. */
typedef int (*tin_face_cb)(tin_point a, tin_point b, tin_point c);

/* Builds the network.  Returns 0 when done, 1 when failed or cancelled (the
** failure has been printed, without a line end).  `points` is sorted and
** compacted in place; *out_npoints receives the count kept. */
int32_t lib_triangulate(int32_t npoints, tin_point *points, const tin_line *lines,
                        int32_t nlines, int16_t ngroups, tin_face_cb face_cb,
                        int32_t *out_npoints, int32_t full_check);

/* ---- library internals, shared by the library's files and its tests ---- */

#define FULL_TURN 62831852      /* 2 x 31415926, in units of 1e-7 radian */
#define HALF_TURN 31415926

/* Bounding box of one constraint group. */
typedef struct tin_box {
    double xmin, xmax, ymin, ymax;
} tin_box;

/* Library-wide values of one call. */
extern double    eps, eps2;
extern int16_t   ngroups;
extern int32_t   full_check;
extern int32_t   ncons, last_edge, edge_cap, cur_edge, ntri;
extern tin_edge *tri;
extern int32_t  *pangle;
extern tin_box  *minmax_cont;
extern uint8_t  *cons_end;          /* per point: 1 = end of a constraint edge */
extern int       tin_use_grid;      /* 1 (default): edge grid in valid_triangle */
extern int       tin_use_bands;     /* 1 (default): point bands in third_point's sweep */
extern int       tin_use_sides;     /* 1 (default): skip point blocks wholly on opp's side */
extern int       tin_use_open;      /* 1 (default): per-block masks of the points not closed */
extern int       tin_use_hints;     /* 1 (default): valid_triangle tries recent refusing edges first */

/* Line of the edge under search, set before third_point. */
extern double edge_la, edge_lb, edge_lc;
/* Lines (k,a) and (k,b) of the candidate under test, and of the accepted one. */
extern double ak_la, ak_lb, ak_lc, bk_la, bk_lb, bk_lc;
extern double held_ak_la, held_ak_lb, held_ak_lc, held_bk_la, held_bk_lb, held_bk_lc;
extern int32_t e_ak, e_bk, held_ak, held_bk;
extern int need_region;

/* tolerance and edge buffer (tin_lib.cpp) */
double tin_choose_eps(int32_t npoints, const tin_point *points);
int  wrbuff(int32_t u, int32_t v, int32_t opp, double la, double lb, double lc,
            const tin_point *points);
int  lpp(double x1, double y1, double x2, double y2, double *la, double *lb, double *lc);

/* point ordering (tin_sort.cpp) */
int  point_cmp(const void *p, const void *q);
int  same_coord(double a, double b);
int  sort_points(int32_t *n, tin_point *points);

/* third-point search (tin_front.cpp) */
int32_t nearest_point(int32_t m, int32_t n, const tin_point *points);
int  third_point(int32_t n, const tin_point *points, int32_t a, int32_t b,
                 int32_t opp, int32_t *k);
int  valid_triangle(const tin_point *points, int32_t a, int32_t b, int32_t k);
int  on_constraint(int32_t i);
int  circle_centre(double p1, double q1, double r1, double p2, double q2, double r2,
                   double *x, double *y);
double safe_acos(double c);
int  grid_open(int32_t n, const tin_point *points);
void grid_close(void);
int  bands_open(int32_t n, const tin_point *points);
void bands_close(void);
int  blocks_open(int32_t n, const tin_point *points);
void blocks_close(void);

/* constraint lines (tin_cons.cpp) */
int  build_constraints(int32_t nlines, const tin_line *lines, int32_t n,
                       const tin_point *points);
int  split_constraints(int32_t n, const tin_point *points);
int  edge_cmp(const void *p, const void *q);
int  inside_group(double x, double y, int g);
int  outside_area(double x, double y);
void close_outside_points(int32_t n, const tin_point *points);
void preset_boundary_angles(const tin_point *points);
double polar_angle(double dy, double dx);

/* constraint rings (tin_rings.cpp): 0 when no two constraint edges cross or
** touch and every group closes into rings; else 1 after the message. */
int  check_rings(const tin_point *points);

#endif
