/*
** tin_trim.cpp -- trimming a network without an outline: the long, thin
** triangles that the hull of a survey strings across its ragged edge.
**
** A triangle is long when one of its edges is longer in plan than the
** limit.  Long triangles go from the outside in: a long triangle goes when a
** corner of it lies on the edge of the network -- on the hull, or on a
** triangle gone before -- until no long triangle touches the edge.  A long
** triangle inside the network whose corners all stay surrounded by
** triangles that stay is kept: an opening inside a survey is left to a void.
**
**     hull  o______________o_______o      1 has an edge on the hull, 2 a
**            \  1  /\  2   |      /       corner on it; 3 has a corner on
**             \   /  \    /|     /        1, which has gone.  The long
**              \ / 3  \  / |    /         triangles in the middle of the
**               o------o---o   /          survey stay.
**
** Triangles are matched by their corners' plan coordinates, as the library
** gives them (the same point always has the same coordinates).
*/
#include <math.h>
#include <stdlib.h>

#include "tin_int.h"

static const tin_point *trim_corners;

static int corner_cmp(const void *p, const void *q)
{
    const tin_point *a = &trim_corners[*(const int32_t *)p], *b = &trim_corners[*(const int32_t *)q];
    if (a->x != b->x) return a->x < b->x ? -1 : 1;
    if (a->y != b->y) return a->y < b->y ? -1 : 1;
    return 0;
}

typedef struct side {
    int32_t lo, hi;         /* its two points */
} side;

static int side_cmp(const void *p, const void *q)
{
    const side *a = (const side *)p, *b = (const side *)q;
    if (a->lo != b->lo) return a->lo < b->lo ? -1 : 1;
    if (a->hi != b->hi) return a->hi < b->hi ? -1 : 1;
    return 0;
}

int32_t tin_trim_long(int32_t nfaces, const tin_point *corners, double max_len, uint8_t *removed)
{
    for (int32_t f = 0; f < nfaces; f++)
        removed[f] = 0;
    if (nfaces <= 0 || !(max_len > 0))
        return 0;

    size_t nc = (size_t)nfaces * 3;
    int32_t *order = (int32_t *)malloc(nc * sizeof(int32_t));
    int32_t *point = (int32_t *)malloc(nc * sizeof(int32_t));   /* corner -> point number */
    side    *sides = (side *)malloc(nc * sizeof(side));
    int32_t *first = (int32_t *)malloc((nc + 1) * sizeof(int32_t)); /* point -> its first in order */
    int32_t *queue = (int32_t *)malloc(nc * sizeof(int32_t));     /* points on the edge */
    uint8_t *edge = (uint8_t *)calloc(nc, 1);                     /* per point: on the edge */
    int32_t count = -1, npoints = 0, head = 0, tail = 0;
    if (!order || !point || !sides || !first || !queue || !edge) {
        tin_error(" malloc TRIM ");
        goto done;
    }

    /* number the points; order lists the corners of each point together */
    for (size_t c = 0; c < nc; c++)
        order[c] = (int32_t)c;
    trim_corners = corners;
    qsort(order, nc, sizeof(int32_t), corner_cmp);
    for (size_t k = 0; k < nc; k++) {
        if (k == 0 || corner_cmp(&order[k - 1], &order[k]) != 0)
            first[npoints++] = (int32_t)k;
        point[order[k]] = npoints - 1;
    }
    first[npoints] = (int32_t)nc;

    /* the hull: sides that only one triangle has */
    for (size_t c = 0; c < nc; c++) {
        size_t d = c % 3 == 2 ? c - 2 : c + 1;
        sides[c].lo = point[c] < point[d] ? point[c] : point[d];
        sides[c].hi = point[c] < point[d] ? point[d] : point[c];
    }
    qsort(sides, nc, sizeof(side), side_cmp);
    for (size_t k = 0; k < nc;) {
        size_t j = k + 1;
        while (j < nc && side_cmp(&sides[j], &sides[k]) == 0)
            j++;
        if (j - k == 1) {
            if (!edge[sides[k].lo]) {
                edge[sides[k].lo] = 1;
                queue[tail++] = sides[k].lo;
            }
            if (!edge[sides[k].hi]) {
                edge[sides[k].hi] = 1;
                queue[tail++] = sides[k].hi;
            }
        }
        k = j;
    }

    /* from the hull inwards: each point on the edge takes the long
    ** triangles around it, and their corners join the edge */
    count = 0;
    while (head < tail) {
        int32_t p = queue[head++];
        for (int32_t k = first[p]; k < first[p + 1]; k++) {
            int32_t f = order[k] / 3;
            if (removed[f])
                continue;
            const tin_point *c = &corners[(size_t)f * 3];
            if (!(tin_edge_len(&c[0], &c[1]) > max_len || tin_edge_len(&c[1], &c[2]) > max_len
                  || tin_edge_len(&c[2], &c[0]) > max_len))
                continue;
            removed[f] = 1;
            count++;
            for (int m = 0; m < 3; m++) {
                int32_t q = point[(size_t)f * 3 + m];
                if (!edge[q]) {
                    edge[q] = 1;
                    queue[tail++] = q;
                }
            }
        }
    }

done:
    free(order);
    free(point);
    free(sides);
    free(first);
    free(queue);
    free(edge);
    return count;
}
