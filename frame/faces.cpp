/*
** faces.cpp -- the 3DFACEs and 3D polygon meshes of an export, handed on as
** four-cornered faces (see frame.h).  The volume command and colfe read
** their exports through here.
**
** A mesh is read row by row through three row buffers, entry slot * N +
** column:
**
**      slot 1   the row being read      v0 ---- v1 ---- v2 ...
**      slot 0   the row before it       v0 ---- v1 ---- v2 ...
**      slot 2   a copy of row 0 (closed in M only: it becomes the last row)
**
** Each row once read gives the strip of cells between slots 0 and 1, and
** then moves to slot 0.  A smoothed mesh is read with its fitted counts
** (groups 73, 74) and only its fitted vertices (flag 72); a plain mesh
** skips any fitted vertex.
*/
#include <float.h>
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "frame.h"

static const frame_face_reader *faces;  /* the reading in progress */

/* Header of the mesh being read.  M and N include the closing row and
** column once the header has been read. */
static int mesh_closed_m, mesh_fitted, mesh_flag, mesh_closed_n;
static int32_t mesh_m, mesh_n;
static double *rows_x, *rows_y, *rows_z;
static frame_point row_first;           /* first vertex of the row being read */
static int at_vertex;                   /* the last entity met is a VERTEX */

static void free_rows(void)
{
    free(rows_x);
    free(rows_y);
    free(rows_z);
    rows_x = rows_y = rows_z = NULL;
}

/* The value line as a finite number within `limit`; 1 after the message
** when it is not. */
static int read_number(double *v, double limit)
{
    if (frame_real(dxf_value, v) == NULL || !(fabs(*v) <= limit)) {
        dxf_line_error(dxf_value);
        return 1;
    }
    return 0;
}

/* A corner coordinate: within FRAME_COORD_LIMIT, as everywhere in the
** add-on.  Corners of +-1e300 are finite, but their differences overflow in
** colfe's band cutter and the volume's sums, which would draw pieces with
** infinite or NaN corners. */
static int read_coordinate(double *v)
{
    return read_number(v, FRAME_COORD_LIMIT);
}

/* The value line as a 32-bit integer, never wrapped: "4294967298" is no 2. */
static int read_integer(int32_t *v)
{
    char *end;
    long n = strtol(dxf_value, &end, 10);

    if (end == dxf_value || n < INT32_MIN || n > INT32_MAX) {
        dxf_line_error(dxf_value);
        return 1;
    }
    *v = (int32_t)n;
    return 0;
}

/* A 3DFACE: groups up to its twelfth corner coordinate (a repeated code
** counts again); the groups after it are left to the walk. */
static int read_3dface(void)
{
    frame_point corner[4] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    int code = 0, taken = 0;

    while (taken < 12) {
        if (!read_entity_pair(&code))
            return 1;
        if (code == 0) {
            dxf_line_error(dxf_value);
            return 1;
        }
        if (code < 10 || code > 33 || code % 10 > 3)
            continue;
        double v;
        if (read_coordinate(&v))
            return 1;
        frame_point *p = &corner[code % 10];
        if (code < 20)
            p->x = v;
        else if (code < 30)
            p->y = v;
        else
            p->z = v;
        taken++;
    }
    return faces->quad(&corner[0], &corner[1], &corner[2], &corner[3]) != 0;
}

/* The groups of a POLYLINE up to its first VERTEX.  Every POLYLINE brings
** its own counts: none carry over from an earlier mesh. */
static int read_mesh_header(void)
{
    int code = 0;

    mesh_closed_m = mesh_fitted = mesh_flag = mesh_closed_n = 0;
    mesh_m = mesh_n = 0;
    for (;;) {
        if (!read_entity_pair(&code))
            return 1;
        if (code == 0)
            break;
        if (code == 70) {
            int32_t flags;
            if (read_integer(&flags))
                return 1;
            mesh_closed_m = (flags & 1) != 0;
            mesh_fitted = (flags & 4) != 0;
            mesh_flag = (flags & 16) != 0;
            mesh_closed_n = (flags & 32) != 0;
        } else if (code == (mesh_fitted ? 73 : 71)) {
            if (read_integer(&mesh_m))
                return 1;
        } else if (code == (mesh_fitted ? 74 : 72)) {
            if (read_integer(&mesh_n))
                return 1;
        }
    }
    if (strcmp(dxf_value, "VERTEX") != 0) {
        dxf_line_error(dxf_value);
        return 1;
    }
    at_vertex = 1;
    return 0;
}

static void row_point(int32_t entry, frame_point *p)
{
    p->x = rows_x[entry];
    p->y = rows_y[entry];
    p->z = rows_z[entry];
}

static void set_row_point(int32_t entry, const frame_point *p)
{
    rows_x[entry] = p->x;
    rows_y[entry] = p->y;
    rows_z[entry] = p->z;
}

/* One VERTEX entity: its location and whether it is a fitted vertex. */
static int read_vertex(frame_point *v, int *fitted)
{
    int code = 0, marks = 0;

    *fitted = 0;
    if (!at_vertex) {                   /* the mesh ran out of vertices */
        dxf_line_error(dxf_value);
        return 1;
    }
    for (;;) {
        double d;
        if (!read_entity_pair(&code))
            return 1;
        if (code == 0)
            break;
        if (code != 10 && code != 20 && code != 30 && code != 70)
            continue;
        if (code == 70 ? read_number(&d, DBL_MAX) : read_coordinate(&d))
            return 1;
        if (code == 10) { v->x = d; marks |= 1; }
        if (code == 20) { v->y = d; marks |= 2; }
        if (code == 30) { v->z = d; marks |= 4; }
        if (code == 70 && d == 72.0) *fitted = 1;
    }
    at_vertex = strcmp(dxf_value, "VERTEX") == 0;
    if (marks != 7) {
        dxf_line_error(dxf_value);
        return 1;
    }
    return 0;
}

/* One mesh vertex into entry slot * N + column: read from the file, or made
** from the first column or the first row when it closes the mesh. */
static int read_mesh_vertex(int32_t column, int32_t slot, int32_t row)
{
    frame_point v = {0, 0, 0};

    if (mesh_closed_n && column == mesh_n - 1) {
        v = row_first;
    } else if (mesh_closed_m && row == mesh_m - 1) {
        row_point(2 * mesh_n + column, &v);
        if (column == 0)
            row_first = v;
    } else {
        int fitted;
        for (;;) {
            if (read_vertex(&v, &fitted))
                return 1;
            if (fitted == mesh_fitted)
                break;                  /* else skipped: the next must be a VERTEX */
        }
        if (mesh_closed_m && row == 0)
            set_row_point(2 * mesh_n + column, &v);
        if (mesh_closed_n && column == 0)
            row_first = v;
    }
    set_row_point(slot * mesh_n + column, &v);
    return 0;
}

/* The cells between the previous row (slot 0) and the current one (slot 1). */
static int mesh_strip(void)
{
    for (int32_t c = 0; c + 1 < mesh_n; c++) {
        frame_point a, b, p, q;
        row_point(c, &a);
        row_point(c + 1, &b);
        row_point(mesh_n + c + 1, &p);
        row_point(mesh_n + c, &q);
        if (faces->quad(&a, &b, &p, &q) != 0)
            return 1;
    }
    return 0;
}

static int alloc_rows(void)
{
    size_t count = (size_t)mesh_n * (mesh_closed_m ? 3 : 2);

    free_rows();
    if ((rows_x = (double *)malloc(count * sizeof(double))) == NULL) {
        vc_error(VC_FATAL, " *malloc xm*");
        return 1;
    }
    if ((rows_y = (double *)malloc(count * sizeof(double))) == NULL) {
        vc_error(VC_FATAL, " *malloc ym*");
        return 1;
    }
    if ((rows_z = (double *)malloc(count * sizeof(double))) == NULL) {
        vc_error(VC_FATAL, " *malloc zm*");
        return 1;
    }
    return 0;
}

/* A polygon mesh, its header read: row by row, strip by strip. */
static int read_mesh(void)
{
    if (mesh_m < 2 || mesh_n < 2 || mesh_m > FRAME_MESH_MAX || mesh_n > FRAME_MESH_MAX) {
        char text[128];
        snprintf(text, sizeof(text), faces->bad_counts, (int)mesh_m, (int)mesh_n, FRAME_MESH_MAX);
        dxf_line_error(text);
        return 1;
    }
    if (mesh_closed_m)
        mesh_m++;
    if (mesh_closed_n)
        mesh_n++;
    if (alloc_rows())
        return 1;
    for (int32_t c = 0; c < mesh_n; c++)
        if (read_mesh_vertex(c, 0, 0))
            return 1;
    for (int32_t r = 1; r < mesh_m; r++) {
        for (int32_t c = 0; c < mesh_n; c++)
            if (read_mesh_vertex(c, 1, r))
                return 1;
        if (mesh_strip())
            return 1;
        memcpy(rows_x, rows_x + mesh_n, (size_t)mesh_n * sizeof(double));
        memcpy(rows_y, rows_y + mesh_n, (size_t)mesh_n * sizeof(double));
        memcpy(rows_z, rows_z + mesh_n, (size_t)mesh_n * sizeof(double));
    }
    return 0;
}

static int walk(int *found)
{
    int code = 0, rc;

    while ((rc = read_dxf_pair(&code)) > 0) {
        if (code != 0)
            continue;
        if (strcmp(dxf_value, "3DFACE") == 0) {
            if (read_3dface())
                return 1;
            (*found)++;
        } else if (strcmp(dxf_value, "POLYLINE") == 0) {
            if (read_mesh_header())
                return 1;
            if (!mesh_flag)
                continue;
            (*found)++;
            if (read_mesh())
                return 1;
        }
    }
    return rc < 0 ? 1 : 0;
}

int frame_read_faces(const frame_face_reader *reader, int *found)
{
    int rc;

    *found = 0;
    faces = reader;
    if (dxf_value != NULL)
        dxf_value[0] = '\0';
    rc = walk(found);
    free_rows();
    faces = NULL;
    return rc;
}
