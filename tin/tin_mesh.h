/*
** tin_mesh.h -- the Delaunay kernel: a triangulation of the points in a
** flat index array, built by a radial sweep with exact predicates, and the
** edge flips that later bend it (to take constraint edges, or a triangle
** the front chose among cocircular points).
**
** Triangle t has the half-edges 3t, 3t+1, 3t+2; half-edge h runs from its
** corner he[h].v to he[tin_next(h)].v, counter-clockwise round the
** triangle, and he[h].n is the half-edge running the other way in the
** neighbouring triangle, -1 on the hull.  A corner and its neighbour side
** share one record, and a triangle's three lie together: walking the mesh
** touches one stretch of memory per triangle.
**
**                 he[3t+2].v
**                  /    \
**        h = 3t+2 /      \ 3t+1
**                /        \
**      he[3t].v ---------- he[3t+1].v
**                   3t
*/
#ifndef VELMORA_TIN_MESH_H
#define VELMORA_TIN_MESH_H

#include <stdint.h>
#include "tin.h"

typedef struct tin_he {
    int32_t v;                  /* the corner it starts from */
    int32_t n;                  /* the half-edge beside it the other way, -1 none */
} tin_he;

typedef struct tin_mesh {
    /* The mesh numbers the points its own way: in the order a breadth-first
    ** walk over its triangles from its start meets them, those it left out
    ** last; the triangles are numbered in that walk's order too.  Points and
    ** triangles near each other in the mesh, in the order the front meets
    ** them, are then near each other in memory. */
    const tin_point *p;         /* the points by mesh number (a copy) */
    int32_t  n;                 /* number of points */
    int32_t  nk;                /* of which in the mesh: numbers 0 .. nk-1 */
    int32_t *orig;              /* mesh number -> the caller's index */
    int32_t *slot;              /* the caller's index -> mesh number */
    tin_he  *he;                /* 3 per triangle, counter-clockwise */
    int32_t  ntri, cap;         /* triangles in use, and room for */
    int32_t *vhe;               /* per point: a half-edge leaving it; on the
                                ** hull the one with the outside on its right */
    int32_t  hull;              /* a point of the hull */
    uint8_t *locked;            /* per half-edge: 1 = may not be flipped */
    uint8_t *flat;              /* per point: 1 = some triangle round it is
                                ** (or was, before a flip) flat seen from it:
                                ** it lies within `flat` of the opposite
                                ** side's line */
    uint8_t *needle;            /* per triangle: 1 = an angle's sine is below
                                ** `needle` */
    uint8_t *fixed;             /* per triangle: 1 = it may not change (no flip
                                ** of any of its sides) */
    /* called after each flip with the new diagonal's two half-edges */
    void   (*on_flip)(int32_t h, int32_t g);
} tin_mesh;

extern tin_mesh tin_m;

static inline int32_t tin_next(int32_t h) { return h % 3 == 2 ? h - 2 : h + 1; }
static inline int32_t tin_prev(int32_t h) { return h % 3 == 0 ? h + 2 : h - 1; }

/* Builds the Delaunay triangulation of the n points but those marked in
** `skip` (NULL: none), growing it outward from point `start` (-1: from the
** middle), and marks flat stars and needle triangles by the bounds given.
** `skip` and `start` use the caller's indices; everything after, mesh
** numbers.  0 when built; 1 when the points lie on one line or memory runs
** out (nothing is kept then). */
int  tin_mesh_build(int32_t n, const tin_point *p, const uint8_t *skip, int32_t start,
                    double flat, double needle);

/* The marks of the triangle of half-edge h made again (after a flip). */
void tin_mesh_mark(int32_t h);

/* Is the quadrilateral of the two triangles beside h strictly convex
** (and h not locked, neither triangle fixed)? */
int  tin_mesh_flippable(int32_t h);
void tin_mesh_free(void);

/* The half-edge from u to v, or -1 when (u, v) is not an edge that way. */
int32_t tin_mesh_find(int32_t u, int32_t v);

/* Flips the edge of half-edge h (the diagonal of the two triangles beside
** it).  The caller has checked that both exist, that their union is
** strictly convex and that the edge is not locked.  Returns the half-edge
** of the new diagonal (from the apex of h's triangle). */
int32_t tin_mesh_flip(int32_t h);

/* Makes (u, v) an edge, locked with the bits `lock`, by flipping the unlocked edges that cross
** it; the edges made on the way are then flipped back towards Delaunay
** where no locked edge forbids it.  Returns a half-edge of (u, v) (from u
** to v unless that runs outside the hull), or -1 when a locked edge or a
** point lies in the way (the mesh is still a triangulation then, maybe
** with some edges flipped). */
int32_t tin_mesh_insert_edge(int32_t u, int32_t v, uint8_t lock);

#endif
