/*
** sampler.cpp -- grid sampling of one triangle: every node (i, j) of the
** square grid of spacing vol_step that lies inside the triangle in plan gets
** the height of the triangle's plane there, written as one vol_sample record
** to "vol.bin".
**
** A node belongs to the triangle when it is inside or on an edge.  The test
** is made in the triangle's own plane: with P the node lifted onto the plane,
** for each edge e from corner A, c = (A - P) x e points along the normal n
** when P is on the inner side, against it when outside, and |c| / |e| is the
** distance of P from the edge's line:
**
**            C
**           / \          n . c >= 0 for every edge: inside
**          /   \
**         /  P  \        n . c < 0 and |c| / |e| >= tol: outside
**        A-------B
**
** The tolerance only absorbs round-off, so that a node on an edge shared by
** two triangles is taken by both (their heights agree there and the
** integration merges them).  A node that lies measurably outside must not be
** taken: on the neighbouring triangle's side it would get a second height,
** extrapolated from a plane of another slope, and the integration would read
** the two as two crossings of the surface.
*/
#include <math.h>
#include "volume.h"

uint32_t vol_sample_count;
int32_t  vol_imin, vol_imax, vol_jmin, vol_jmax;

/* Edge tolerance of the triangle being sampled, in drawing units. */
static double vol_edge_tol;

void vol_cross(double ax, double ay, double az, double bx, double by, double bz,
               double *rx, double *ry, double *rz)
{
    *rx = ay * bz - az * by;
    *ry = az * bx - ax * bz;
    *rz = ax * by - ay * bx;
}

int vol_outside_edge(double nx, double ny, double nz,
                     double cx, double cy, double cz,
                     double ex, double ey, double ez)
{
    double c_len, e_len;

    if (nx * cx + ny * cy + nz * cz >= 0)
        return 0;
    c_len = sqrt(cx * cx + cy * cy + cz * cz);
    e_len = sqrt(ex * ex + ey * ey + ez * ez);
    return c_len >= vol_edge_tol * e_len ? 1 : 0;
}

int32_t vol_round_half_away(double x)
{
    if (x >= 0)
        return (int32_t)(x + 0.5);
    return (int32_t)(x - 0.5);
}

static double max3(double a, double b, double c)
{
    return a > b ? (a > c ? a : c) : (b > c ? b : c);
}

static double min3(double a, double b, double c)
{
    return a < b ? (a < c ? a : c) : (b < c ? b : c);
}

/* Number of nodes of the index rectangle once it also spans i0..i1 x j0..j1. */
static uint64_t map_nodes_with(int64_t i0, int64_t i1, int64_t j0, int64_t j1)
{
    if (vol_sample_count > 0) {
        if (vol_imin < i0) i0 = vol_imin;
        if (vol_imax > i1) i1 = vol_imax;
        if (vol_jmin < j0) j0 = vol_jmin;
        if (vol_jmax > j1) j1 = vol_jmax;
    }
    return (uint64_t)(i1 - i0 + 1) * (uint64_t)(j1 - j0 + 1);
}

int vol_sample_triangle(double ax, double ay, double az,
                        double bx, double by, double bz,
                        double cx, double cy, double cz)
{
    double e1x = bx - ax, e1y = by - ay, e1z = bz - az;
    double e2x = cx - bx, e2y = cy - by, e2z = cz - bz;
    double e3x = ax - cx, e3y = ay - cy, e3z = az - cz;
    double nx, ny, nz, len, xmin, xmax, ymin, ymax;
    int32_t i0, i1, j0, j1;

    nz = e1x * e2y - e1y * e2x;
    if (nz == 0)
        return 0;                       /* vertical or degenerate */
    nx = e1y * e2z - e1z * e2y;
    ny = e1z * e2x - e1x * e2z;
    len = sqrt(nx * nx + ny * ny + nz * nz);
    if (len == 0 || !isfinite(len))
        return 0;
    nx /= len;
    ny /= len;
    nz /= len;

    xmin = min3(ax, bx, cx);
    xmax = max3(ax, bx, cx);
    ymin = min3(ay, by, cy);
    ymax = max3(ay, by, cy);

    /* Node indices of this triangle must fit 32 bits, and the node map of
    ** the whole run must stay within its limit; stop before sampling. */
    if (!(fabs(xmin / vol_step) < VOL_INDEX_LIMIT && fabs(xmax / vol_step) < VOL_INDEX_LIMIT
          && fabs(ymin / vol_step) < VOL_INDEX_LIMIT && fabs(ymax / vol_step) < VOL_INDEX_LIMIT)) {
        vc_error(VOL_NO_VOLUME, VOL_TOO_FINE);
        return 1;
    }
    if (!(fabs(az) < 1e30 && fabs(bz) < 1e30 && fabs(cz) < 1e30)) {
        vc_error(VOL_NO_VOLUME, ": heights beyond the range of the work file");
        return 1;
    }
    i0 = vol_round_half_away(xmin / vol_step);
    i1 = vol_round_half_away(xmax / vol_step);
    j0 = vol_round_half_away(ymin / vol_step);
    j1 = vol_round_half_away(ymax / vol_step);
    if (map_nodes_with(i0, i1, j0, j1) > VOL_MAP_LIMIT) {
        vc_error(VC_FATAL, " NMAP*MMAP > 4294967295");
        return 1;
    }

    if (xmin < vol_extent[0]) vol_extent[0] = xmin;
    if (xmax > vol_extent[1]) vol_extent[1] = xmax;
    if (ymin < vol_extent[2]) vol_extent[2] = ymin;
    if (ymax > vol_extent[3]) vol_extent[3] = ymax;

    /* Round-off of coordinates of this size, far below any survey accuracy. */
    vol_edge_tol = 1e-13 * (1.0 + max3(max3(fabs(ax), fabs(bx), fabs(cx)),
                                       max3(fabs(ay), fabs(by), fabs(cy)),
                                       max3(fabs(az), fabs(bz), fabs(cz))));

    for (int32_t j = j0; (double)j * vol_step <= ymax + vol_edge_tol; j++) {
        double y = (double)j * vol_step;
        if (y < ymin - vol_edge_tol)
            continue;
        for (int32_t i = i0; (double)i * vol_step <= xmax + vol_edge_tol; i++) {
            double x = (double)i * vol_step, z, c1, c2, c3;
            vol_sample rec;

            if (sds_usrbrk()) {
                vol_cancel();
                return 1;
            }
            if (x < xmin - vol_edge_tol)
                continue;
            /* The plane's height, taken from corner A so that large
            ** coordinates do not cancel each other. */
            z = az - (nx * (x - ax) + ny * (y - ay)) / nz;

            vol_cross(ax - x, ay - y, az - z, e1x, e1y, e1z, &c1, &c2, &c3);
            if (vol_outside_edge(nx, ny, nz, c1, c2, c3, e1x, e1y, e1z))
                continue;
            vol_cross(bx - x, by - y, bz - z, e2x, e2y, e2z, &c1, &c2, &c3);
            if (vol_outside_edge(nx, ny, nz, c1, c2, c3, e2x, e2y, e2z))
                continue;
            vol_cross(cx - x, cy - y, cz - z, e3x, e3y, e3z, &c1, &c2, &c3);
            if (vol_outside_edge(nx, ny, nz, c1, c2, c3, e3x, e3y, e3z))
                continue;

            vol_sample_count++;
            if (vol_sample_count >= VOL_COUNT_LIMIT) {
                vc_error(VC_FATAL, " nrp > 4294967295");
                return 1;
            }
            if (vol_sample_count == 1) {
                vol_imin = vol_imax = i;
                vol_jmin = vol_jmax = j;
            } else {
                if (i < vol_imin) vol_imin = i;
                if (i > vol_imax) vol_imax = i;
                if (j < vol_jmin) vol_jmin = j;
                if (j > vol_jmax) vol_jmax = j;
            }
            rec.i = i;
            rec.j = j;
            rec.z = (float)z;
            if (fwrite(&rec, sizeof(rec), 1, vol_bin) != 1) {
                vc_error(VC_FATAL, " DISK_WRITE");
                return 1;
            }
        }
    }
    return 0;
}
