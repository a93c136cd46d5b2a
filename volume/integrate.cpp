/*
** integrate.cpp -- reads the samples of "vol.bin" back, sorts them by node
** and height, and pairs the heights at each node into vertical intervals
** inside the solid:
**
**      h4 ---  top of the upper body      intervals h1-h2 and h3-h4;
**      h3 ---  bottom of the upper body   three heights give h1-h2, h2-h3;
**      h2 ---  top of the lower body      one height gives nothing
**      h1 ---  bottom of the lower body
**
** Each interval adds height x the node's plan area to the volume.  The plan
** area comes from a bitmap of the nodes that have samples: a node carries a
** quarter cell for each of the four cells around it whose other three
** corners are nodes too (an isolated node a whole cell).
*/
#include <stdlib.h>
#include <math.h>
#include "volume.h"

vol_sample *vol_samples;
double vol_volume, vol_sum_x, vol_sum_y, vol_sum_z, vol_sum_dz;
int      vol_cancelled;
unsigned vol_compare_count;

static unsigned char *map;
static int64_t map_columns, map_rows;     /* NMAP, MMAP */
static int vol_added;

int vol_compare_samples(const void *pa, const void *pb)
{
    const vol_sample *a = (const vol_sample *)pa, *b = (const vol_sample *)pb;

    if (vol_cancelled)
        return 0;
    if (++vol_compare_count > 2000) {
        vol_compare_count = 0;
        if (sds_usrbrk()) {
            vol_cancel();
            vol_cancelled = 1;
            return 0;
        }
    }
    if (a->i != b->i)
        return a->i < b->i ? -1 : 1;
    if (a->j != b->j)
        return a->j < b->j ? -1 : 1;
    if (a->z != b->z)
        return a->z < b->z ? -1 : 1;
    return 0;
}

void vol_free_map(void)
{
    free(map);
    map = NULL;
}

int vol_build_map(void)
{
    uint64_t nodes;

    map_columns = (int64_t)vol_imax - vol_imin + 1;
    map_rows = (int64_t)vol_jmax - vol_jmin + 1;
    nodes = (uint64_t)map_columns * (uint64_t)map_rows;
    if (nodes > VOL_MAP_LIMIT) {
        vc_error(VC_FATAL, " NMAP*MMAP > 4294967295");
        return 1;
    }
    vol_free_map();
    map = (unsigned char *)calloc((size_t)(nodes / 8 + 1), 1);
    if (map == NULL) {
        vc_error(VC_FATAL, " *malloc map*");
        return 1;
    }
    for (uint32_t k = 0; k < vol_sample_count; k++)
        vol_mark_node(vol_samples[k].i, vol_samples[k].j);
    return 0;
}

void vol_mark_node(int32_t i, int32_t j)
{
    uint64_t k = (uint64_t)((int64_t)(j - (int64_t)vol_jmin) * map_columns + (i - (int64_t)vol_imin));

    map[k / 8] |= (unsigned char)(1u << (k % 8));
}

int vol_node_present(int32_t i, int32_t j)
{
    int64_t di = (int64_t)i - vol_imin, dj = (int64_t)j - vol_jmin;
    uint64_t k;

    if (map == NULL || di < 0 || dj < 0 || di >= map_columns || dj >= map_rows)
        return 0;
    k = (uint64_t)(dj * map_columns + di);
    return (map[k / 8] >> (k % 8)) & 1;
}

double vol_node_weight(int32_t i, int32_t j)
{
    int bits = 0, quarters = 0;

    if (vol_node_present(i + 1, j))     bits |= 1;
    if (vol_node_present(i + 1, j + 1)) bits |= 2;
    if (vol_node_present(i, j + 1))     bits |= 4;
    if (vol_node_present(i - 1, j + 1)) bits |= 8;
    if (vol_node_present(i - 1, j))     bits |= 16;
    if (vol_node_present(i - 1, j - 1)) bits |= 32;
    if (vol_node_present(i, j - 1))     bits |= 64;
    if (vol_node_present(i + 1, j - 1)) bits |= 128;
    if ((bits & (1 | 2 | 4)) == (1 | 2 | 4))       quarters++;   /* upper right */
    if ((bits & (4 | 8 | 16)) == (4 | 8 | 16))     quarters++;   /* upper left */
    if ((bits & (16 | 32 | 64)) == (16 | 32 | 64)) quarters++;   /* lower left */
    if ((bits & (64 | 128 | 1)) == (64 | 128 | 1)) quarters++;   /* lower right */
    return quarters == 0 ? 4.0 : (double)quarters;
}

static void add_interval(int32_t i, int32_t j, float lo, float hi)
{
    double dz = (double)hi - (double)lo;

    vol_volume += vol_step * vol_step / 4.0 * vol_node_weight(i, j) * dz;
    vol_sum_x += (double)i * vol_step * dz;
    vol_sum_y += (double)j * vol_step * dz;
    vol_sum_z += ((double)lo + (double)hi) * 0.5 * dz;
    vol_sum_dz += dz;
    vol_added = 1;
}

/* Pairs the sorted heights node by node; see the sketch at the top. */
static void walk_nodes(void)
{
    int32_t i = vol_samples[0].i, j = vol_samples[0].j;
    float t = vol_samples[0].z, b = vol_samples[0].z;
    int open = 1;

    for (uint32_t k = 1; k < vol_sample_count; k++) {
        const vol_sample *r = &vol_samples[k];
        if (r->i == i && r->j == j) {
            if (fabs((double)t - (double)r->z) < 1e-5)
                continue;               /* one crossing met twice */
            if (open) {
                add_interval(i, j, t, r->z);
                open = 0;
                t = r->z;
            } else {
                b = t;
                t = r->z;
                open = 1;
            }
        } else {
            if (open && t > b)
                add_interval(i, j, b, t);
            i = r->i;
            j = r->j;
            t = b = r->z;
            open = 1;
        }
    }
    if (open && t > b)
        add_interval(i, j, b, t);
}

int vol_integrate(void)
{
    char text[80];

    vol_volume = vol_sum_x = vol_sum_y = vol_sum_z = vol_sum_dz = 0;
    vol_added = 0;
    if (vol_sample_count == 0) {
        vc_error(VOL_NO_VOLUME, " ");
        return 1;
    }
    free(vol_samples);
    vol_samples = (vol_sample *)malloc((size_t)vol_sample_count * sizeof(vol_sample));
    if (vol_samples == NULL) {
        vc_error(VC_FATAL, " *malloc wrf*");
        return 1;
    }
    rewind(vol_bin);
    for (uint32_t k = 0; k < vol_sample_count; k++)
        if (fread(&vol_samples[k], sizeof(vol_sample), 1, vol_bin) != 1) {
            vc_error(VC_FATAL, " DISK_READ");
            return 1;
        }
    fclose(vol_bin);
    vol_bin = NULL;
    remove(vol_bin_path);

    snprintf(text, sizeof(text), VOL_SORTING, vol_sample_count);
    sds_printf("%s", text);
    qsort(vol_samples, vol_sample_count, sizeof(vol_sample), vol_compare_samples);
    if (vol_cancelled)
        return 1;

    if (vol_build_map())
        return 1;
    walk_nodes();
    vol_free_map();
    if (!vol_added) {
        vc_error(VOL_NO_VOLUME, " ");
        return 1;
    }
    return 0;
}
