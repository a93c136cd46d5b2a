/*
** colfe.cpp -- the LISP function colfe and its surface reader.
**
** (colfe '(low high) '(c0 c1 c2) '(c3 c4 c5) ... '(c12 c13 c14)) lets the user
** select faces, exports them to "colf.dxf", reads the 3DFACEs and polygon
** meshes back, splits every face into triangles for the band cutter and, once
** the whole file was read, erases the faces and meshes it has redrawn.  Other
** selected entities stay; after a failed reading the originals stay too.
*/
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "colouring.h"

#define COLF_EXPORT "colf.dxf"       /* its name; frame_work_path says where */
#define COLF_MAX_COUNT 32767        /* mesh counts are 16-bit in a DXF file */

int colf_found;

/* The value line last read; dxf_line_error shows it. */
static char colf_value[256];

/* Header of the mesh being read.  M and N include the closing row and
** column once the header has been read. */
static int colf_closed_m, colf_fitted, colf_mesh, colf_closed_n;
static int colf_m, colf_n;

/* Row buffers: entry slot * N + column; slot 0 the previous row, slot 1 the
** current one, slot 2 a copy of the first row (closed in M only). */
static double *colf_xm, *colf_ym, *colf_zm;
static int colf_row_len;
static colf_point colf_first_vertex;

void colf_free_rows(void)
{
    free(colf_xm);
    free(colf_ym);
    free(colf_zm);
    colf_xm = colf_ym = colf_zm = NULL;
    colf_row_len = 0;
}

/* ---- Arguments ----------------------------------------------------------- */

/* A colour coordinate as a colour number, truncated toward zero. */
static int colf_colour_number(double v, int *out)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return 0;
    *out = (int)v;
    return 1;
}

/* (low high) and five colour triples; nothing is read beyond the list.
** 1 when all six are there and of the right types.  The levels must be
** finite and in rising order: the cutter walks them upwards, and levels
** given the other way round would draw pieces over one another. */
static int colf_take_args(const struct resbuf *rb)
{
    int colours[COLF_BANDS];
    double low, high;

    if (rb == NULL || (rb->restype != RTPOINT && rb->restype != RT3DPOINT))
        return 0;
    low = rb->resval.rpoint[0];
    high = rb->resval.rpoint[1];
    if (!isfinite(low) || !isfinite(high) || low > high)
        return 0;
    rb = rb->rbnext;
    for (int i = 0; i < 5; i++, rb = rb->rbnext) {
        if (rb == NULL || rb->restype != RT3DPOINT)
            return 0;
        for (int j = 0; j < 3; j++)
            if (!colf_colour_number(rb->resval.rpoint[j], &colours[3 * i + j]))
                return 0;
    }
    colf_low = low;
    colf_high = high;
    memcpy(colf_colours, colours, sizeof(colf_colours));
    return 1;
}

/* ---- Selection, export and erasing -------------------------------------- */

/* Selects and exports to `path`; 0, or 1 after the message. */
static int colf_select_export(sds_name ss, const char *path)
{
    const char *why;

    sds_printf("%s", vc_messages[3]);
    read_acadver();
    if ((why = frame_select(ss)) != NULL) {
        vc_error(7, why);
        return 1;
    }
    const char *version = strcmp(acadver_prefix, "14") == 0 ? "3" : "r12";
    if (sds_command(RTSTR, "dxfout", RTSTR, path, RTSTR, "v", RTSTR, version,
                    RTSTR, "entities", RTPICKS, ss, RTSTR, "", RTSTR, "10", RTNONE) != RTNORM) {
        sds_ssfree(ss);
        vc_error(8, "WRITEDXF");
        return 1;
    }
    return 0;
}

/* 1 when the entity is one the reader redraws: a 3DFACE or a polygon mesh. */
static int colf_redrawn_entity(const sds_name ent)
{
    struct resbuf *list = sds_entget(ent);
    int face = 0, polyline = 0, flags = 0;

    for (struct resbuf *rb = list; rb != NULL; rb = rb->rbnext) {
        if (rb->restype == 0 && rb->resval.rstring != NULL) {
            face = strcmp(rb->resval.rstring, "3DFACE") == 0;
            polyline = strcmp(rb->resval.rstring, "POLYLINE") == 0;
        } else if (rb->restype == 70) {
            flags = rb->resval.rint;
        }
    }
    if (list != NULL)
        sds_relrb(list);
    return face || (polyline && (flags & 16) != 0);
}

/* Erases the selected 3DFACEs and polygon meshes, and nothing else. */
static void colf_erase_redrawn(const sds_name ss)
{
    int32_t len = 0, redrawn = 0;

    if (sds_sslength(ss, &len) != RTNORM || len <= 0)
        return;
    for (int32_t i = 0; i < len; i++) {
        sds_name ent;
        if (sds_ssname(ss, i, ent) == RTNORM && colf_redrawn_entity(ent))
            redrawn++;
    }
    if (redrawn == 0)
        return;
    if (redrawn == len) {
        sds_command(RTSTR, "erase", RTPICKS, ss, RTSTR, "", RTNONE);
        return;
    }
    sds_command(RTSTR, "erase", RTNONE);
    for (int32_t i = 0; i < len; i++) {
        sds_name ent;
        if (sds_ssname(ss, i, ent) == RTNORM && colf_redrawn_entity(ent))
            sds_command(RTENAME, ent, RTNONE);
    }
    sds_command(RTSTR, "", RTNONE);
}

/* ---- Reading the export -------------------------------------------------- */

/* One 3DFACE: its twelve corner coordinates, then its two triangles. */
static int colf_read_3dface(void)
{
    double v[12] = { 0 };
    int taken = 0, code;

    while (taken < 12) {
        if (!read_entity_pair(&code, colf_value))
            return 1;
        if (code == 0) {
            dxf_line_error(colf_value);
            return 1;
        }
        int corner = code % 10, axis = code / 10 - 1;
        if (code < 10 || code > 33 || corner > 3 || axis > 2)
            continue;
        if (sscanf(colf_value, "%lf", &v[3 * corner + axis]) != 1) {
            dxf_line_error(colf_value);
            return 1;
        }
        taken++;
    }
    colf_point p[4];
    for (int i = 0; i < 4; i++) {
        p[i].x = v[3 * i];
        p[i].y = v[3 * i + 1];
        p[i].z = v[3 * i + 2];
    }
    return colf_quad(&p[0], &p[1], &p[2], &p[3]);
}

/* Reads an integer group value as "%d" would, without overflowing. */
static int colf_scan_int(const char *text, int *out)
{
    char *end;
    long v = strtol(text, &end, 10);
    if (end == text || v < -2147483647L - 1 || v > 2147483647L)
        return 0;
    *out = (int)v;
    return 1;
}

/* The groups of a POLYLINE up to its first VERTEX.  The counts are the
** header's own: a header without them leaves them 0. */
static int colf_read_mesh_header(void)
{
    int code, flags = 0;

    colf_closed_m = colf_fitted = colf_mesh = colf_closed_n = 0;
    colf_m = colf_n = 0;
    for (;;) {
        if (!read_entity_pair(&code, colf_value))
            return 1;
        if (code == 0)
            break;
        int *target = NULL;
        if (code == 70)
            target = &flags;
        else if (code == (colf_fitted ? 73 : 71))
            target = &colf_m;
        else if (code == (colf_fitted ? 74 : 72))
            target = &colf_n;
        else
            continue;
        if (!colf_scan_int(colf_value, target)) {
            dxf_line_error(colf_value);
            return 1;
        }
        if (code == 70) {
            colf_closed_m = (flags & 1) != 0;
            colf_fitted = (flags & 4) != 0;
            colf_mesh = (flags & 16) != 0;
            colf_closed_n = (flags & 32) != 0;
        }
    }
    if (strcmp(colf_value, "VERTEX") != 0) {
        dxf_line_error(colf_value);
        return 1;
    }
    return 0;
}

static void colf_row_point(int entry, colf_point *p)
{
    p->x = colf_xm[entry];
    p->y = colf_ym[entry];
    p->z = colf_zm[entry];
}

static void colf_set_row_point(int entry, const colf_point *p)
{
    colf_xm[entry] = p->x;
    colf_ym[entry] = p->y;
    colf_zm[entry] = p->z;
}

/* One mesh vertex into entry slot * N + column: read from the file, or made
** from the first column or the first row when it closes the mesh. */
static int colf_read_mesh_vertex(int column, int slot, int row)
{
    colf_point v = { 0.0, 0.0, 0.0 };

    if (colf_closed_n && column == colf_n - 1) {
        v = colf_first_vertex;
    } else if (colf_closed_m && row == colf_m - 1) {
        colf_row_point(2 * colf_n + column, &v);
        if (column == 0)
            colf_first_vertex = v;
    } else {
        for (;;) {
            int code, marks = 0, fitted_vertex = 0;
            for (;;) {
                double d;
                if (!read_entity_pair(&code, colf_value))
                    return 1;
                if (code == 0)
                    break;
                if (code != 10 && code != 20 && code != 30 && code != 70)
                    continue;
                if (sscanf(colf_value, "%lf", &d) != 1) {
                    dxf_line_error(colf_value);
                    return 1;
                }
                if (code == 10) { v.x = d; marks |= 1; }
                if (code == 20) { v.y = d; marks |= 2; }
                if (code == 30) { v.z = d; marks |= 4; }
                if (code == 70 && d == 72.0) fitted_vertex = 1;
            }
            if (marks != 7) {
                dxf_line_error(colf_value);
                return 1;
            }
            if (fitted_vertex == colf_fitted)
                break;
            if (strcmp(colf_value, "VERTEX") != 0) {
                dxf_line_error(colf_value);
                return 1;
            }
        }
        if (colf_closed_m && row == 0)
            colf_set_row_point(2 * colf_n + column, &v);
        if (colf_closed_n && column == 0)
            colf_first_vertex = v;
    }
    colf_set_row_point(slot * colf_n + column, &v);
    return 0;
}

/* The quads between the previous row (slot 0) and the current row (slot 1). */
static int colf_mesh_strip(void)
{
    for (int j = 0; j + 1 < colf_n; j++) {
        colf_point a, b, c, d;
        colf_row_point(j, &a);
        colf_row_point(j + 1, &b);
        colf_row_point(colf_n + j + 1, &c);
        colf_row_point(colf_n + j, &d);
        colf_quad(&a, &b, &c, &d);
    }
    return 0;
}

static void colf_shift_rows(void)
{
    for (int j = 0; j < colf_n; j++) {
        colf_xm[j] = colf_xm[colf_n + j];
        colf_ym[j] = colf_ym[colf_n + j];
        colf_zm[j] = colf_zm[colf_n + j];
    }
}

/* A polygon mesh, its header already read: row by row, strip by strip. */
static int colf_read_mesh(void)
{
    colf_found = 1;
    if (colf_m < 2 || colf_n < 2 || colf_m > COLF_MAX_COUNT || colf_n > COLF_MAX_COUNT) {
        char text[96];
        snprintf(text, sizeof(text), " mesh of %d x %d vertices", colf_m, colf_n);
        dxf_line_error(text);
        return 1;
    }
    if (colf_closed_m)
        colf_m++;
    if (colf_closed_n)
        colf_n++;
    colf_free_rows();
    colf_row_len = (colf_closed_m ? 3 : 2) * colf_n;
    colf_xm = (double *)malloc(sizeof(double) * colf_row_len);
    if (colf_xm == NULL) {
        vc_error(8, " *malloc xm*");
        return 1;
    }
    colf_ym = (double *)malloc(sizeof(double) * colf_row_len);
    if (colf_ym == NULL) {
        vc_error(8, " *malloc ym*");
        return 1;
    }
    colf_zm = (double *)malloc(sizeof(double) * colf_row_len);
    if (colf_zm == NULL) {
        vc_error(8, " *malloc zm*");
        return 1;
    }
    for (int column = 0; column < colf_n; column++)
        if (colf_read_mesh_vertex(column, 0, 0) != 0)
            return 1;
    for (int row = 1; row < colf_m; row++) {
        for (int column = 0; column < colf_n; column++)
            if (colf_read_mesh_vertex(column, 1, row) != 0)
                return 1;
        colf_mesh_strip();
        colf_shift_rows();
    }
    return 0;
}

/* Reads the open export to its end; 0 at the end, 1 at the first error. */
int colf_read_export(void)
{
    int code, rc;

    colf_value[0] = '\0';
    while ((rc = read_dxf_pair(&code, colf_value)) > 0) {
        if (code != 0)
            continue;
        if (strcmp(colf_value, "3DFACE") == 0) {
            if (colf_read_3dface() != 0)
                return 1;
            colf_found = 1;
        } else if (strcmp(colf_value, "POLYLINE") == 0) {
            if (colf_read_mesh_header() != 0)
                return 1;
            if (colf_mesh && colf_read_mesh() != 0)
                return 1;
        }
    }
    return rc < 0 ? 1 : 0;
}

/* ---- The function -------------------------------------------------------- */

int colfe(void)
{
    struct resbuf *args = sds_getargs();
    struct resbuf rb;
    sds_name ss;
    char path[1024];

    if (!colf_take_args(args)) {
        vc_error(7, "colfe takes (low high), low not above high, and five colour triples");
        if (args != NULL)
            sds_relrb(args);
        sds_retnil();
        return 0;
    }
    if (args != NULL)
        sds_relrb(args);

    rb.rbnext = NULL;
    rb.restype = RTSHORT;
    rb.resval.rint = 0;
    sds_setvar("CMDECHO", &rb);
    sds_setvar("OSMODE", &rb);
    if (frame_work_path(COLF_EXPORT, path, sizeof(path)) != 0) {
        vc_error(8, " COLF.DXF");
        sds_retnil();
        return 0;
    }
    remove(path);

    if (colf_select_export(ss, path) != 0) {
        remove(path);
        sds_retnil();
        return 0;
    }
    dxf_file = fopen(path, "rt");
    if (dxf_file == NULL) {
        vc_error(8, " COLF.DXF");
        sds_ssfree(ss);
        sds_retnil();
        return 0;
    }
    colf_found = 0;
    colf_last_colour = -1;
    dxf_line_no = 1;
    int failed = colf_read_export();
    if (!failed && !colf_found) {
        vc_error(20, " ");
        failed = 1;
    }
    fclose(dxf_file);
    dxf_file = NULL;
    remove(path);
    colf_free_rows();
    if (!failed)
        colf_erase_redrawn(ss);
    sds_ssfree(ss);
    if (failed)
        sds_retnil();
    else
        sds_rett();
    return 0;
}
