/*
** intersection.h -- where two triangulated surfaces cross: the LISP function
** inters_ltri, which reads the triangles of both surfaces from
** "c:/haldorin/0.scr" and "c:/haldorin/1.scr", finds the segment along which
** each pair of triangles crosses, chains the segments into curves and has the
** host draw them as 3D polylines on layer "3dint" through a script
** ("c:/haldorin/2.scr").
**
** Owns: the triangle lists (ltri_rec), the plane of the last triangle tested
** (ltri_plane), the segments found (ltri_seg) and the curve buffer.
*/
#ifndef VELMORA_INTERSECTION_H
#define VELMORA_INTERSECTION_H

#include <stdio.h>
#include "frame.h"

/* One triangle of a surface with its bounding box.  xmin leads: the sort
** comparator reads the first double of a record. */
typedef struct {
    double xmin, xmax;
    double p1[3], p2[3], p3[3];
    double ymin, ymax;
    double zmin, zmax;
} ltri_rec;

/* One intersection segment, a leading: the sort reads its first double. */
typedef struct {
    double a[3];
    double b[3];
    int free;          /* 1 while the segment belongs to no curve */
} ltri_seg;

/* The triangle last given to ltri_seg_tri with its new-triangle flag set,
** and its plane N.X + d = 0 (N not normalised). */
typedef struct {
    double t0[3], t1[3], t2[3];
    double e01[3], e12[3];
    double n[3];
    double d;
} ltri_plane_rec;

extern ltri_plane_rec ltri_plane;

/* Two points closer than this are one point; also the edge tolerance. */
#define LTRI_EPS 1e-6

/* Triangle against triangle: 1 with the crossing segment's ends in out[0],
** out[1] (in the order found), else 0. */
int  ltri_tri_tri(const double a0[3], const double a1[3], const double a2[3],
                  const double b0[3], const double b1[3], const double b2[3],
                  double out[2][3]);
/* Segment e0-e1 against triangle t0,t1,t2 (or ltri_plane when new_triangle
** is 0): 1 with the meeting point in p, else 0. */
int  ltri_seg_tri(const double t0[3], const double t1[3], const double t2[3],
                  const double e0[3], const double e1[3], double p[3],
                  short new_triangle);
int  ltri_edge_outside(const double n[3], const double c[3], const double v[3]);
void ltri_offset_cross(const double p[3], const double a[3], const double b[3],
                       const double c[3], double out[3]);
int  ltri_points_coincide(const double p[3], const double q[3]);

/* qsort comparator on the leading double of a record. */
int  ltri_cmp_first_double(const void *p, const void *q);
void ltri_shift_vertices(double (*ldc)[3], int count);

/* Tests every outer triangle against the inner ones (sorted on xmin) whose
** boxes overlap it, printing the progress, and appends each crossing
** segment to *segs (grown as needed) in the order found, the end with the
** smaller x first (on equal x the end found second).  Returns the number of
** segments, or -1 after the message when memory runs out. */
int  ltri_find_segments(const ltri_rec *outer, int n_outer, const ltri_rec *inner,
                        int n_inner, ltri_seg **segs);
/* A coordinate rounded to ten decimals exactly as printing it with "%.10lf"
** and reading it back with "%lf" rounds it. */
double ltri_round(double v);
/* Joins n free segments into curves and writes one script block per curve
** to `script`, the colours starting at 1; ldc holds at least n + 1 points.
** Returns the number of curves written.  The records must already be sorted. */
int  ltri_build_curves(ltri_seg *seg, int n, double (*ldc)[3], FILE *script);
/* The curves of n segments: their ends rounded to ten decimals, sorted on
** a.x, chained and written to `script`.  Returns the number of curves, or
** -1 after the message when memory runs out. */
int  ltri_chain_segments(ltri_seg *segs, int n, FILE *script);

int  inters_ltri(void);

#endif
