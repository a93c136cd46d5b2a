/*
** tin_sort.cpp -- point ordering and removal of plan duplicates.
**
** The points are sorted by x, then y, then z descending; of a cluster within
** eps of each other in x and y the first in that order stays.
**
** The order is that of qsort with tin_point_cmp; a radix sort on x reaches
** it in a few passes over the array (qsort's comparisons cost a fifth of a
** whole triangulation of a million points), and the runs of equal x are then
** put in order by y the same way (a grid's columns), ties by qsort itself.
** With a NaN among the x values the order is qsort's own, so qsort does it
** all.
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

/* Stable LSD radix sort of (*key)[lo .. hi-1] with *id alongside, 8 bits
** a pass, passes over digits all keys share skipped; *key2, *id2 are room
** of the same size.  The arrays trade places after each pass: the sorted
** keys and ids end in *key, *id (outside lo .. hi-1 either may hold
** anything then). */
static void radix_pass_all(uint64_t **key, uint32_t **id, uint64_t **key2, uint32_t **id2,
                           size_t lo, size_t hi)
{
    uint64_t *k = *key, *k2 = *key2;
    uint32_t *d = *id, *d2 = *id2;
    size_t count8[256];
    uint64_t all_or = 0, all_and = ~(uint64_t)0;
    for (size_t i = lo; i < hi; i++) {
        all_or |= k[i];
        all_and &= k[i];
    }
    for (int shift = 0; shift < 64; shift += 8) {
        if ((((all_or ^ all_and) >> shift) & 0xff) == 0)
            continue;                           /* the same digit everywhere */
        memset(count8, 0, sizeof count8);
        for (size_t i = lo; i < hi; i++)
            count8[(k[i] >> shift) & 0xff]++;
        size_t pos = lo;
        for (int g = 0; g < 256; g++) {
            size_t c = count8[g];
            count8[g] = pos;
            pos += c;
        }
        for (size_t i = lo; i < hi; i++) {
            size_t at = count8[(k[i] >> shift) & 0xff]++;
            k2[at] = k[i];
            d2[at] = d[i];
        }
        uint64_t *tk = k; k = k2; k2 = tk;
        uint32_t *td = d; d = d2; d2 = td;
    }
    *key = k;
    *key2 = k2;
    *id = d;
    *id2 = d2;
}

/* A run of equal x (points[lo .. hi-1]) in qsort's order.  A grid has long
** ones: they are sorted by y with the radix sort, and runs of equal y
** within by qsort.  That is qsort's order as long as points that compare
** equal are the same bits; zeros (-0 and +0 compare equal) and NaN (which
** compares with nothing) leave the run to qsort whole. */
static void sort_run(tin_point *points, size_t lo, size_t hi, uint64_t *key, uint32_t *id,
                     uint64_t *key2, uint32_t *id2, tin_point *tmp)
{
    int plain = hi - lo < 64;
    for (size_t i = lo; i < hi && !plain; i++) {
        const tin_point *q = &points[i];
        plain = q->x == 0 || q->y == 0 || q->z == 0 || q->y != q->y || q->z != q->z;
    }
    if (plain) {
        qsort(points + lo, hi - lo, sizeof(tin_point), tin_point_cmp);
        return;
    }
    for (size_t i = lo; i < hi; i++) {
        key[i] = order_key(points[i].y);
        id[i] = (uint32_t)i;
    }
    radix_pass_all(&key, &id, &key2, &id2, lo, hi);
    for (size_t i = lo; i < hi; i++)
        tmp[i] = points[id[i]];
    memcpy(points + lo, tmp + lo, (hi - lo) * sizeof(tin_point));
    for (size_t i = lo; i < hi;) {
        size_t j = i + 1;
        while (j < hi && key[j] == key[i])
            j++;
        if (j - i > 1)
            qsort(points + i, j - i, sizeof(tin_point), tin_point_cmp);
        i = j;
    }
}

/* Sorts by x with a stable radix sort of the keys; then each run of equal
** x (sort_run).  1 when memory runs out (the points are untouched then). */
static int radix_sort(int32_t count, tin_point *points)
{
    size_t n = (size_t)count;
    uint64_t *key = (uint64_t *)tin_big_raw(n * sizeof(uint64_t));
    uint64_t *key2 = (uint64_t *)tin_big_raw(n * sizeof(uint64_t));
    uint32_t *id = (uint32_t *)tin_big_raw(n * sizeof(uint32_t));
    uint32_t *id2 = (uint32_t *)tin_big_raw(n * sizeof(uint32_t));
    tin_point *tmp = (tin_point *)tin_big_raw(n * sizeof(tin_point));
    if (!key || !key2 || !id || !id2 || !tmp) {
        tin_big_free(key); tin_big_free(key2); tin_big_free(id); tin_big_free(id2);
        tin_big_free(tmp);
        return 1;
    }
    for (size_t i = 0; i < n; i++) {
        key[i] = order_key(points[i].x);
        id[i] = (uint32_t)i;
    }
    radix_pass_all(&key, &id, &key2, &id2, 0, n);
    memcpy(tmp, points, n * sizeof(tin_point));
    for (size_t i = 0; i < n; i++)
        points[i] = tmp[id[i]];
    for (size_t i = 0; i < n;) {
        size_t j = i + 1;
        while (j < n && key[j] == key[i])
            j++;
        if (j - i > 1)
            sort_run(points, i, j, key, id, key2, id2, tmp);
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
    int32_t run_last = -1;              /* the last index of the run of equal x found last */
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
                ** on at the run's end.  Keeps grids with long columns linear.
                ** The run's end is found once for all its points. */
                if (run_last < j || points[run_last].x != points[i].x) {
                    int32_t lo = j, hi = count;     /* first index with larger x */
                    while (hi - lo > 1) {
                        int32_t mid = lo + (hi - lo) / 2;
                        if (points[mid].x == points[i].x) lo = mid; else hi = mid;
                    }
                    run_last = lo;
                }
                j = run_last;
            }
        }
        if (r > 0)
            points[i - r] = points[i];
    }
    *n = count - r;
    free(fbufflat);
    return 0;
}
