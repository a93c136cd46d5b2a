/*
** reader.cpp -- turns the 3DFACEs and 3D polygon meshes of "vol.dxf" into
** triangles for vol_triangle_cb, outlining every face on screen.
**
** A mesh is read row by row through three row buffers; each pair of rows
** gives a strip of quads:
**
**      slot 1 (row r)    v0 ---- v1 ---- v2 ...      quad k: slot0[k], slot0[k+1],
**                        |  q0   |  q1   |                   slot1[k+1], slot1[k]
**      slot 0 (row r-1)  v0 ---- v1 ---- v2 ...
**      slot 2            copy of row 0 (closed in M: becomes the last row)
**
** A mesh closed in N gets one more column that repeats column 0, a mesh
** closed in M one more row that repeats row 0.
*/
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include "volume.h"

double *xm, *ym, *zm;
int     vol_draw_outlines = 1;

static char vol_value[256];         /* last value line read */

/* Header state of the mesh being read. */
static int vol_closed_m, vol_fitted, vol_mesh, vol_closed_n;
static int32_t vol_m, vol_n;
static double vol_first_x, vol_first_y, vol_first_z;   /* first vertex of the row */
static int vol_at_vertex;           /* the last code 0 read was a VERTEX */

void vol_free_rows(void)
{
    free(xm);
    free(ym);
    free(zm);
    xm = ym = zm = NULL;
}

/* Reads a coordinate; 0 when the value is a finite number. */
static int read_coordinate(double *v)
{
    if (sscanf(vol_value, "%lf", v) != 1 || !isfinite(*v)) {
        dxf_line_error(vol_value);
        return 1;
    }
    return 0;
}

int vol_quad(double ax, double ay, double az, double bx, double by, double bz,
             double cx, double cy, double cz, double dx, double dy, double dz)
{
    sds_point a = {ax, ay, az}, b = {bx, by, bz}, c = {cx, cy, cz}, d = {dx, dy, dz};

    if (vol_draw_outlines) {
        sds_grdraw(a, b, 7, 1);
        sds_grdraw(b, c, 7, 1);
        sds_grdraw(c, d, 7, 1);
        sds_grdraw(d, a, 7, 1);
    }
    if (vol_triangle_cb(ax, ay, az, bx, by, bz, cx, cy, cz) != 0)
        return 1;
    return vol_triangle_cb(ax, ay, az, cx, cy, cz, dx, dy, dz) != 0 ? 1 : 0;
}

int vol_read_3dface(void)
{
    double corner[4][3] = {{0}};
    int code = 0, count = 0;

    while (count < 12) {
        if (!read_entity_pair(&code, vol_value))
            return 1;
        if (code == 0) {
            dxf_line_error(vol_value);
            return 1;
        }
        if (code >= 10 && code <= 33 && code % 10 <= 3) {
            if (read_coordinate(&corner[code % 10][code / 10 - 1]))
                return 1;
            count++;
        }
    }
    return vol_quad(corner[0][0], corner[0][1], corner[0][2],
                    corner[1][0], corner[1][1], corner[1][2],
                    corner[2][0], corner[2][1], corner[2][2],
                    corner[3][0], corner[3][1], corner[3][2]);
}

/* A vertex count.  A number beyond 32 bits is refused here rather than
** wrapped: "4294967298" must not come out as a mesh of 2. */
static int read_count(int32_t *count)
{
    char *end;
    long v = strtol(vol_value, &end, 10);

    if (end == vol_value || v < INT32_MIN || v > INT32_MAX) {
        dxf_line_error(vol_value);
        return 1;
    }
    *count = (int32_t)v;
    return 0;
}

int vol_read_mesh_header(void)
{
    int code = 0;

    vol_closed_m = vol_fitted = vol_mesh = vol_closed_n = 0;
    /* Every POLYLINE brings its own counts: none carry over from an earlier mesh. */
    vol_m = vol_n = 0;
    for (;;) {
        if (!read_entity_pair(&code, vol_value))
            return 1;
        if (code == 0) {
            if (strcmp(vol_value, "VERTEX") != 0) {
                dxf_line_error(vol_value);
                return 1;
            }
            vol_at_vertex = 1;
            break;
        }
        if (code == 70) {
            int flags;
            if (sscanf(vol_value, "%d", &flags) != 1) {
                dxf_line_error(vol_value);
                return 1;
            }
            vol_closed_m = (flags & 1) != 0;
            vol_fitted = (flags & 4) != 0;
            vol_mesh = (flags & 16) != 0;
            vol_closed_n = (flags & 32) != 0;
        } else if (code == (vol_fitted ? 73 : 71)) {
            if (read_count(&vol_m))
                return 1;
        } else if (code == (vol_fitted ? 74 : 72)) {
            if (read_count(&vol_n))
                return 1;
        }
    }
    if (vol_mesh && (vol_m < 2 || vol_n < 2 || vol_m > VOL_MESH_MAX || vol_n > VOL_MESH_MAX)) {
        char text[96];
        snprintf(text, sizeof(text), "mesh vertex counts %d by %d (2 to %d each)",
                 (int)vol_m, (int)vol_n, VOL_MESH_MAX);
        dxf_line_error(text);
        return 1;
    }
    return 0;
}

int vol_read_mesh_vertex(int32_t column, int32_t slot, int32_t row)
{
    int32_t k = slot * vol_n + column;
    double x = 0, y = 0, z = 0;

    if (vol_closed_n && column == vol_n - 1) {
        xm[k] = vol_first_x;
        ym[k] = vol_first_y;
        zm[k] = vol_first_z;
        return 0;
    }
    if (vol_closed_m && row == vol_m - 1) {
        xm[k] = xm[2 * vol_n + column];
        ym[k] = ym[2 * vol_n + column];
        zm[k] = zm[2 * vol_n + column];
        if (column == 0) {
            vol_first_x = xm[k];
            vol_first_y = ym[k];
            vol_first_z = zm[k];
        }
        return 0;
    }
    for (;;) {
        int code = 0, has_x = 0, has_y = 0, has_z = 0, fitted_mark = 0;

        if (!vol_at_vertex) {           /* the mesh ran out of vertices */
            dxf_line_error(vol_value);
            return 1;
        }
        for (;;) {
            if (!read_entity_pair(&code, vol_value))
                return 1;
            if (code == 0)
                break;
            if (code == 10 || code == 20 || code == 30 || code == 70) {
                double v;
                if (read_coordinate(&v))
                    return 1;
                if (code == 10) { x = v; has_x = 1; }
                else if (code == 20) { y = v; has_y = 1; }
                else if (code == 30) { z = v; has_z = 1; }
                else if (v == 72.0) fitted_mark = 1;
            }
        }
        vol_at_vertex = strcmp(vol_value, "VERTEX") == 0;
        if (!has_x || !has_y || !has_z) {
            dxf_line_error(vol_value);
            return 1;
        }
        if (fitted_mark == vol_fitted)
            break;
        if (!vol_at_vertex) {
            dxf_line_error(vol_value);
            return 1;
        }
    }
    xm[k] = x;
    ym[k] = y;
    zm[k] = z;
    if (vol_closed_m && row == 0) {
        xm[2 * vol_n + column] = x;
        ym[2 * vol_n + column] = y;
        zm[2 * vol_n + column] = z;
    }
    if (vol_closed_n && column == 0) {
        vol_first_x = x;
        vol_first_y = y;
        vol_first_z = z;
    }
    return 0;
}

int vol_mesh_strip(void)
{
    for (int32_t c = 0; c + 1 < vol_n; c++) {
        int32_t a = c, b = c + 1, p = vol_n + c + 1, q = vol_n + c;
        if (vol_quad(xm[a], ym[a], zm[a], xm[b], ym[b], zm[b],
                     xm[p], ym[p], zm[p], xm[q], ym[q], zm[q]))
            return 1;
    }
    return 0;
}

void vol_shift_rows(void)
{
    memcpy(xm, xm + vol_n, (size_t)vol_n * sizeof(double));
    memcpy(ym, ym + vol_n, (size_t)vol_n * sizeof(double));
    memcpy(zm, zm + vol_n, (size_t)vol_n * sizeof(double));
}

/* Allocates the three row buffers for the mesh whose header was just read. */
static int alloc_rows(void)
{
    size_t count = (size_t)vol_n * (vol_closed_m ? 3 : 2);

    vol_free_rows();
    if ((xm = (double *)malloc(count * sizeof(double))) == NULL) {
        vc_error(8, " *malloc xm*");
        return 1;
    }
    if ((ym = (double *)malloc(count * sizeof(double))) == NULL) {
        vc_error(8, " *malloc ym*");
        return 1;
    }
    if ((zm = (double *)malloc(count * sizeof(double))) == NULL) {
        vc_error(8, " *malloc zm*");
        return 1;
    }
    return 0;
}

static int read_mesh(void)
{
    if (vol_closed_m)
        vol_m++;
    if (vol_closed_n)
        vol_n++;
    if (alloc_rows())
        return 1;
    for (int32_t c = 0; c < vol_n; c++)
        if (vol_read_mesh_vertex(c, 0, 0))
            return 1;
    for (int32_t r = 1; r < vol_m; r++) {
        for (int32_t c = 0; c < vol_n; c++)
            if (vol_read_mesh_vertex(c, 1, r))
                return 1;
        if (vol_mesh_strip())
            return 1;
        vol_shift_rows();
    }
    return 0;
}

int vol_read_export(void)
{
    int code = 0, rc;

    vol_value[0] = '\0';
    while ((rc = read_dxf_pair(&code, vol_value)) > 0) {
        if (code != 0)
            continue;
        if (strcmp(vol_value, "3DFACE") == 0) {
            if (vol_read_3dface())
                return 1;
            vol_found = 1;
        } else if (strcmp(vol_value, "POLYLINE") == 0) {
            if (vol_read_mesh_header())
                return 1;
            if (!vol_mesh)
                continue;
            vol_found = 1;
            if (read_mesh())
                return 1;
        }
    }
    return rc < 0 ? 1 : 0;
}
