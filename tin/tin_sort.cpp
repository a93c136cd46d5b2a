/*
** tin_sort.cpp -- point ordering and removal of plan duplicates.
**
** The points are sorted by x, then y, then z descending; of a cluster within
** eps of each other in x and y the first in that order stays.
**
** The order is that of qsort with tin_point_cmp; a radix sort on x reaches
** it in a few passes over the array (qsort's comparisons cost a fifth of a
** whole triangulation of a million points), and the runs of equal x are then
** put in order by qsort itself.  With a NaN among the x values the order is
** qsort's own, so qsort does it all.
*/
#include <math.h>
#include <stdint.h>
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

/* The bits of a double as an unsigned key in the same order (-0 as +0). */
static inline uint64_t order_key(double v)
{
    v += 0.0;
    uint64_t k;
    memcpy(&k, &v, sizeof k);
    return (k >> 63) ? ~k : k | ((uint64_t)1 << 63);
}

/* Sorts by x with a stable radix sort of the keys, 8 bits a pass, passes
** over digits all keys share skipped; then each run of equal x by qsort.
** 1 when memory runs out (the points are untouched then). */
static int radix_sort(int32_t count, tin_point *points)
{
    size_t n = (size_t)count;
    uint64_t *key = (uint64_t *)tin_big(n * sizeof(uint64_t));
    uint64_t *key2 = (uint64_t *)tin_big(n * sizeof(uint64_t));
    uint32_t *id = (uint32_t *)tin_big(n * sizeof(uint32_t));
    uint32_t *id2 = (uint32_t *)tin_big(n * sizeof(uint32_t));
    tin_point *tmp = (tin_point *)tin_big(n * sizeof(tin_point));
    size_t count8[256];
    if (!key || !key2 || !id || !id2 || !tmp) {
        tin_big_free(key); tin_big_free(key2); tin_big_free(id); tin_big_free(id2);
        tin_big_free(tmp);
        return 1;
    }
    uint64_t all_or = 0, all_and = ~(uint64_t)0;
    for (size_t i = 0; i < n; i++) {
        key[i] = order_key(points[i].x);
        id[i] = (uint32_t)i;
        all_or |= key[i];
        all_and &= key[i];
    }
    for (int shift = 0; shift < 64; shift += 8) {
        if ((((all_or ^ all_and) >> shift) & 0xff) == 0)
            continue;                           /* the same digit everywhere */
        memset(count8, 0, sizeof count8);
        for (size_t i = 0; i < n; i++)
            count8[(key[i] >> shift) & 0xff]++;
        size_t pos = 0;
        for (int d = 0; d < 256; d++) {
            size_t c = count8[d];
            count8[d] = pos;
            pos += c;
        }
        for (size_t i = 0; i < n; i++) {
            size_t at = count8[(key[i] >> shift) & 0xff]++;
            key2[at] = key[i];
            id2[at] = id[i];
        }
        uint64_t *tk = key; key = key2; key2 = tk;
        uint32_t *ti = id; id = id2; id2 = ti;
    }
    memcpy(tmp, points, n * sizeof(tin_point));
    for (size_t i = 0; i < n; i++)
        points[i] = tmp[id[i]];
    for (size_t i = 0; i < n;) {
        size_t j = i + 1;
        while (j < n && key[j] == key[i])
            j++;
        if (j - i > 1)
            qsort(points + i, j - i, sizeof(tin_point), tin_point_cmp);
        i = j;
    }
    tin_big_free(key); tin_big_free(key2); tin_big_free(id); tin_big_free(id2);
    tin_big_free(tmp);
    return 0;
}

int tin_sort_points(int32_t *n, tin_point *points)
{
    int32_t count = *n, r = 0;
    if (count > 1) {
        int nan = 0;
        for (int32_t i = 0; i < count && !nan; i++)
            nan = points[i].x != points[i].x;
        if (nan || radix_sort(count, points))
            qsort(points, (size_t)count, sizeof(tin_point), tin_point_cmp);
    }

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
