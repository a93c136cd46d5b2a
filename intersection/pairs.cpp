/*
** pairs.cpp -- the pairs of triangles whose boxes overlap, one of each
** surface, tested for a crossing segment.
**
** The plain search walks the inner list (sorted on xmin) from its start for
** every outer triangle, so its cost grows with the product of the counts.
** The grid search files the inner triangles' plan boxes in a uniform grid
** and looks only in the cells an outer box covers; what it tests, and the
** order in which it tests it, is the plain search's: outer triangles in file
** order, for each the overlapping inner ones by ascending index.
**
**     +----+----+----+      an outer box (o) covers cells; an inner box (t)
**     |  o o o o  t  |      that overlaps it is met in every cell both
**     +--o-+--*****--+      cover, and counted only in the one holding the
**     |  o o *o o*t  |      lower-left corner of their common part (#):
**     +----+-#****---+      one visit, no marks to clear.
*/
#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include "intersection.h"

/* An inner triangle spanning more cells than this is kept out of the grid
** and tried against every outer triangle instead: one huge triangle must not
** fill every cell. */
#define LTRI_GRID_SPAN 64

typedef struct {
    double x0, y0, inv;         /* lower-left corner, 1 / cell side */
    int nx, ny;
    int *start;                 /* nx * ny + 1 offsets into item */
    int *item;                  /* inner indices, ascending within a cell */
    int *big;                   /* the inner triangles kept out, ascending */
    int n_big;
} ltri_grid;

/* The cell column (or row) of v: monotone in v, so a box's corner cells
** bound every cell a point inside it falls in. */
static int cell_of(double v, double v0, double inv, int n)
{
    double c = (v - v0) * inv;
    if (!(c >= 0.0))
        return 0;
    if (c >= (double)n)
        return n - 1;
    return (int)c;
}

/* Appends the segment out[0]-out[1] to *segs, the end with the smaller x
** first; on equal x the end found second comes first.  0, or 1 when memory
** runs out. */
static int add_segment(ltri_seg **segs, int *n, int *room, double out[2][3])
{
    const double *first = out[1], *second = out[0];

    if (out[0][0] < out[1][0]) {
        first = out[0];
        second = out[1];
    }
    if (*n == *room) {
        int more = *room < 1024 ? 1024 : (*room > INT_MAX / 2 ? INT_MAX : *room * 2);
        ltri_seg *grown = more > *n ? (ltri_seg *)realloc(*segs, (size_t)more * sizeof(ltri_seg)) : NULL;
        if (grown == NULL)
            return 1;
        *segs = grown;
        *room = more;
    }
    ltri_seg *r = &(*segs)[(*n)++];
    for (int k = 0; k < 3; k++) {
        r->a[k] = first[k];
        r->b[k] = second[k];
    }
    r->free = 1;
    return 0;
}

/* 1 when the boxes of o and t overlap as the pair test wants them: t must
** start at or left of o's right side, and a t whose lowest z is o's highest
** is skipped. */
static int boxes_meet(const ltri_rec *o, const ltri_rec *t)
{
    return !(t->xmin > o->xmax || t->xmax < o->xmin || t->ymax < o->ymin || t->zmax < o->zmin
             || t->ymin > o->ymax || t->zmin >= o->zmax);
}

/* Tests o against t and keeps their segment.  0, or 1 when memory runs out. */
static int test_pair(const ltri_rec *o, const ltri_rec *t, ltri_seg **segs, int *n, int *room)
{
    double out[2][3];
    return ltri_tri_tri(o->p1, o->p2, o->p3, t->p1, t->p2, t->p3, out)
           && add_segment(segs, n, room, out) != 0;
}

/* Files the inner triangles.  The cell side is the mean plan size of their
** boxes, widened until the grid has at most about two cells per triangle.
** 0, or 1 when memory runs out (nothing is left allocated). */
static int grid_build(ltri_grid *g, const ltri_rec *inner, int n_inner)
{
    double x1 = inner[0].xmax, y1 = inner[0].ymax, mean = 0.0;

    g->x0 = inner[0].xmin;
    g->y0 = inner[0].ymin;
    for (int j = 0; j < n_inner; j++) {
        const ltri_rec *t = &inner[j];
        if (t->xmin < g->x0) g->x0 = t->xmin;
        if (t->ymin < g->y0) g->y0 = t->ymin;
        if (t->xmax > x1) x1 = t->xmax;
        if (t->ymax > y1) y1 = t->ymax;
        mean += fmax(t->xmax - t->xmin, t->ymax - t->ymin);
    }
    double w = x1 - g->x0, h = y1 - g->y0, side = mean / n_inner;
    if (side * side * 2.0 * n_inner < w * h)
        side = sqrt(w * h / (2.0 * n_inner));
    if (!(side > 0.0))
        side = fmax(fmax(w, h), 1.0);
    g->nx = (int)fmin(w / side + 1.0, 1 << 15);
    g->ny = (int)fmin(h / side + 1.0, 1 << 15);
    while ((double)g->nx * g->ny > 2.0 * n_inner + 16.0) {
        side *= 1.5;
        g->nx = (int)fmin(w / side + 1.0, 1 << 15);
        g->ny = (int)fmin(h / side + 1.0, 1 << 15);
    }
    g->inv = 1.0 / side;

    size_t cells = (size_t)g->nx * g->ny;
    g->start = (int *)calloc(cells + 1, sizeof(int));
    g->big = (int *)malloc((size_t)n_inner * sizeof(int));
    if (g->start == NULL || g->big == NULL) {
        free(g->start);
        free(g->big);
        return 1;
    }
    /* Count, then place: filled in index order, each cell's list ascends. */
    size_t total = 0;
    g->n_big = 0;
    for (int pass = 0; pass < 2; pass++) {
        for (int j = 0; j < n_inner; j++) {
            const ltri_rec *t = &inner[j];
            int cx0 = cell_of(t->xmin, g->x0, g->inv, g->nx), cx1 = cell_of(t->xmax, g->x0, g->inv, g->nx);
            int cy0 = cell_of(t->ymin, g->y0, g->inv, g->ny), cy1 = cell_of(t->ymax, g->y0, g->inv, g->ny);
            if ((double)(cx1 - cx0 + 1) * (cy1 - cy0 + 1) > LTRI_GRID_SPAN) {
                if (pass == 1)
                    g->big[g->n_big++] = j;
                continue;
            }
            for (int cy = cy0; cy <= cy1; cy++)
                for (int cx = cx0; cx <= cx1; cx++) {
                    size_t c = (size_t)cy * g->nx + cx;
                    if (pass == 0) {
                        g->start[c + 1]++;
                        total++;
                    } else {
                        g->item[g->start[c]++] = j;
                    }
                }
        }
        if (pass == 0) {
            if (total > (size_t)INT_MAX
                || (g->item = (int *)malloc((total > 0 ? total : 1) * sizeof(int))) == NULL) {
                free(g->start);
                free(g->big);
                return 1;
            }
            for (size_t c = 0; c < cells; c++)
                g->start[c + 1] += g->start[c];
        }
    }
    /* Placing moved each start to its cell's end, the next cell's start. */
    for (size_t c = cells; c > 0; c--)
        g->start[c] = g->start[c - 1];
    g->start[0] = 0;
    return 0;
}

static void grid_free(ltri_grid *g)
{
    free(g->start);
    free(g->item);
    free(g->big);
}

static int cmp_int(const void *p, const void *q)
{
    int a = *(const int *)p, b = *(const int *)q;
    return (a > b) - (a < b);
}

/* The indices of the inner triangles whose boxes meet o's, ascending, into
** found (room for every inner triangle).  Returns their number. */
static int grid_pairs(const ltri_grid *g, const ltri_rec *o, const ltri_rec *inner, int *found)
{
    int k = 0;
    int cx0 = cell_of(o->xmin, g->x0, g->inv, g->nx), cx1 = cell_of(o->xmax, g->x0, g->inv, g->nx);
    int cy0 = cell_of(o->ymin, g->y0, g->inv, g->ny), cy1 = cell_of(o->ymax, g->y0, g->inv, g->ny);

    for (int cy = cy0; cy <= cy1; cy++)
        for (int cx = cx0; cx <= cx1; cx++) {
            size_t c = (size_t)cy * g->nx + cx;
            for (int m = g->start[c]; m < g->start[c + 1]; m++) {
                const ltri_rec *t = &inner[g->item[m]];
                if (boxes_meet(o, t)
                    && cell_of(fmax(o->xmin, t->xmin), g->x0, g->inv, g->nx) == cx
                    && cell_of(fmax(o->ymin, t->ymin), g->y0, g->inv, g->ny) == cy)
                    found[k++] = g->item[m];
            }
        }
    for (int m = 0; m < g->n_big; m++)
        if (boxes_meet(o, &inner[g->big[m]]))
            found[k++] = g->big[m];
    if (k < 16) {
        for (int a = 1; a < k; a++)
            for (int b = a; b > 0 && found[b - 1] > found[b]; b--) {
                int swap = found[b];
                found[b] = found[b - 1];
                found[b - 1] = swap;
            }
    } else {
        qsort(found, (size_t)k, sizeof(int), cmp_int);
    }
    return k;
}

int ltri_find_segments(const ltri_rec *outer, int n_outer, const ltri_rec *inner,
                       int n_inner, ltri_seg **segs, int plain)
{
    int n = 0, room = 0, fail = 0;
    ltri_grid g;
    int *found = NULL;

    memset(&g, 0, sizeof(g));

    *segs = NULL;
    if (!plain && n_inner > 0) {
        found = (int *)malloc((size_t)n_inner * sizeof(int));
        if (found == NULL || grid_build(&g, inner, n_inner) != 0) {
            free(found);                /* no room for the grid: the plain walk */
            found = NULL;
        }
    }
    sds_printf("%s", "\n");
    for (int i = 0; i < n_outer && !fail; i++) {
        const ltri_rec *o = &outer[i];
        if (i % 25 == 0)
            sds_printf("\r**2 %d<=%d    ", i, n_outer);
        if (found != NULL) {
            int k = grid_pairs(&g, o, inner, found);
            for (int m = 0; m < k && !fail; m++)
                fail = test_pair(o, &inner[found[m]], segs, &n, &room);
        } else {
            for (int j = 0; j < n_inner && !fail; j++) {
                const ltri_rec *t = &inner[j];
                if (t->xmin > o->xmax)
                    break;              /* every later one starts further right */
                if (boxes_meet(o, t))
                    fail = test_pair(o, t, segs, &n, &room);
            }
        }
    }
    if (found != NULL) {
        grid_free(&g);
        free(found);
    }
    if (fail) {
        tri_error(" *malloc SEG*");
        free(*segs);
        *segs = NULL;
        return -1;
    }
    sds_printf("\r**2 %d<=%d    ", n_outer, n_outer);
    return n;
}
