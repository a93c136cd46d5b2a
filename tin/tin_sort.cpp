/*
** tin_sort.cpp -- point ordering and removal of plan duplicates.
**
** The points are sorted by x, then y, then z descending; of a cluster within
** eps of each other in x and y the first in that order stays.
*/
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "tin_int.h"

int tin_point_cmp(const void *p, const void *q)
{
    const tin_point *a = (const tin_point *)p, *b = (const tin_point *)q;
    if (a->x < b->x) return -1;
    if (a->x > b->x) return 1;
    if (a->y < b->y) return -1;
    if (a->y > b->y) return 1;
    if (a->z > b->z) return -1;     /* larger z first */
    if (a->z < b->z) return 1;
    return 0;
}

int tin_same_coord(double a, double b)
{
    return fabs(a - b) <= tin.eps;
}

int tin_sort_points(int32_t *n, tin_point *points)
{
    int32_t count = *n, r = 0;
    if (count > 1)
        qsort(points, (size_t)count, sizeof(tin_point), tin_point_cmp);

    uint8_t *fbufflat = (uint8_t *)calloc(count > 0 ? (size_t)count : 1, 1);
    if (!fbufflat) {
        tin_error(" malloc FBUFFLAT SORT");
        return 1;
    }
    for (int32_t i = 0; i < count; i++) {
        if (fbufflat[i]) {
            r++;
            continue;
        }
        /* only unmarked points remove their neighbours */
        for (int32_t j = i + 1; j < count && points[j].x <= points[i].x + tin.eps; j++) {
            if (tin_same_coord(points[j].y, points[i].y)) {
                fbufflat[j] = 1;
            } else if (points[j].x == points[i].x && points[j].y > points[i].y) {
                /* The rest of this run of equal x lies even further up in y
                ** (the sort put it there), so none of it is within eps: go
                ** on at the run's end.  Keeps grids with long columns linear. */
                int32_t lo = j, hi = count;     /* first index with larger x */
                while (hi - lo > 1) {
                    int32_t mid = lo + (hi - lo) / 2;
                    if (points[mid].x == points[i].x) lo = mid; else hi = mid;
                }
                j = lo;
            }
        }
        if (r > 0)
            points[i - r] = points[i];
    }
    *n = count - r;
    free(fbufflat);
    return 0;
}
