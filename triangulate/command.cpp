/*
** command.cpp -- "c:velmora": the run of the command and the callback that
** turns each triangle of the library into a 3DFACE.
**
** The command leaves CMDECHO and OSMODE at 0, the world coordinate system
** current and "TRIANG" with colour 2 current; its undo mark stays in the
** history so that the whole terrain can be undone in one step.
**
** Break lines are joined to the survey (tin_prepare_breaks) only when the
** selection has some, so that a drawing without them gives the same faces
** in the same order as ever.  When the terrain is trimmed (TINMAXEDGE, no
** outline), its faces are held until the library is done, and the faces
** kept are then added in the order the library found them.
*/
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "triangulate.h"

static struct resbuf zero_long;         /* RTLONG 0, for every setvar here */

static void set_zero(const char *name)
{
    zero_long.rbnext = NULL;
    zero_long.restype = RTLONG;
    zero_long.resval.rlong = 0;
    sds_setvar(name, &zero_long);
}

int tri_emit_face(tin_point a, tin_point b, tin_point c)
{
    sds_point pa = { a.x, a.y, a.z };
    sds_point pb = { b.x, b.y, b.z };
    sds_point pc = { c.x, c.y, c.z };

    /* The first empty answer leaves the fourth corner out (a three-sided
    ** face), the second ends the 3DFACE command. */
    return sds_command(RTSTR, "3DFACE", RT3DPOINT, pa, RT3DPOINT, pb, RT3DPOINT, pc,
                       RTSTR, "", RTSTR, "", RTNONE);
}

/* The library reports through these: its lines and failure texts go to
** the command line under the library's own head, and a user break there
** stops it. */
static void lib_print(const char *text)
{
    sds_printf("%s", text);
}

static int lib_break(void)
{
    return sds_usrbrk();
}

static const tin_hooks lib_hooks = { lib_print, lib_break, lib_error, lib_warning };

static void free_arrays(void)
{
    free(tri_points);
    free(tri_lines);
    free(tri_breaks);
    free(tri_colour_seen);
    tri_points = NULL;
    tri_lines = NULL;
    tri_breaks = NULL;
    tri_colour_seen = NULL;
}

/* The faces held while a trimmed terrain is made: three corners each. */
static tin_point *held_faces;
static int32_t    held_count, held_cap;
static int        held_lost;            /* no memory for one */

static int hold_face(tin_point a, tin_point b, tin_point c)
{
    if (held_count == held_cap) {
        int32_t cap = held_cap ? held_cap * 2 : 1024;
        tin_point *p = cap > held_cap && cap < INT32_MAX / 3
                           ? (tin_point *)realloc(held_faces, (size_t)cap * 3 * sizeof(tin_point))
                           : NULL;
        if (p == NULL) {
            held_lost = 1;
            return 0;
        }
        held_faces = p;
        held_cap = cap;
    }
    held_faces[3 * (size_t)held_count] = a;
    held_faces[3 * (size_t)held_count + 1] = b;
    held_faces[3 * (size_t)held_count + 2] = c;
    held_count++;
    return 0;
}

/* Adds the held faces that the trimming keeps, in order, and says how
** many went.  0, or 1 after a message. */
static int trim_and_emit(double max_edge)
{
    uint8_t *removed = (uint8_t *)malloc((size_t)held_count + 1);
    char text[128];

    if (held_lost || removed == NULL) {
        free(removed);
        tri_error(" *malloc FACES*");
        return 1;
    }
    int32_t gone = tin_trim_long(held_count, held_faces, max_edge, removed);
    if (gone < 0) {
        free(removed);
        return 1;                       /* the library has said why */
    }
    for (int32_t f = 0; f < held_count; f++)
        if (!removed[f])
            tri_emit_face(held_faces[3 * (size_t)f], held_faces[3 * (size_t)f + 1],
                          held_faces[3 * (size_t)f + 2]);
    free(removed);
    snprintf(text, sizeof(text), "\n - triangles removed along the edge (an edge over TINMAXEDGE "
             "%.10g)= %d", max_edge, (int)gone);
    sds_printf("%s", text);
    return 0;
}

/* The trimming length: TINMAXEDGE, or, when it is negative, the answer at
** a prompt (Enter: none).  0, or 1 when the prompt was cancelled. */
static int max_edge_setting(double *len)
{
    struct resbuf rb;

    *len = 0;
    if (sds_getvar("TINMAXEDGE", &rb) != RTNORM || rb.restype != RTREAL)
        return 0;                       /* a host without it: no trimming */
    if (rb.resval.rreal >= 0) {
        *len = rb.resval.rreal;
        return 0;
    }
    sds_initget(4, NULL);
    int rc = sds_getdist(NULL, "\nMaximum triangle edge where there is no outline, 0 for none <0>: ",
                         len);
    if (rc == RTNONE)
        *len = 0;
    return rc != RTNORM && rc != RTNONE;
}

static int has_outline(void)
{
    for (int32_t i = 0; i < tri_lines_read; i++)
        if (tri_lines[i].group == 1)
            return 1;
    return 0;
}

/* Runs the library on what was read: the break lines joined first when
** there are any, the faces held for trimming when there is a length and no
** outline.  0, or 1 after the library's or a message. */
static int run_library(double max_edge)
{
    tin_point *points = tri_points, *joined_points = NULL;
    tin_line *lines = tri_lines, *joined_lines = NULL, *all = NULL;
    int32_t npoints = tri_points_read, nlines = tri_lines_read, kept = 0;
    int trim = max_edge > 0 && !has_outline();
    int failed = 0;

    if (max_edge > 0 && !trim)
        sds_printf("%s", "\n*** VELMORA Note - TINMAXEDGE is not used: the outline bounds the terrain");
    if (tri_breaks_read > 0) {
        all = (tin_line *)malloc(((size_t)nlines + tri_breaks_read) * sizeof(tin_line));
        if (all == NULL) {
            tri_error(" *malloc BREAK*");
            return 1;
        }
        if (nlines > 0)
            memcpy(all, tri_lines, (size_t)nlines * sizeof(tin_line));
        memcpy(all + nlines, tri_breaks, (size_t)tri_breaks_read * sizeof(tin_line));
        failed = tin_prepare_breaks(npoints, tri_points, nlines + tri_breaks_read, all,
                                    &joined_points, &npoints, &joined_lines, &nlines) != 0;
        free(all);
        points = joined_points;
        lines = joined_lines;
    }
    held_count = 0;
    held_lost = 0;
    if (!failed)
        failed = lib_triangulate(npoints, points, lines, nlines, tri_colour_count,
                                 trim ? hold_face : tri_emit_face, &kept, 0) != 0;
    if (failed) {
        sds_printf("%s", "\n*** LIBVELMORA Error !");
        frame_fail("LIBVELMORA Error", NULL);
    } else if (trim) {
        failed = trim_and_emit(max_edge);
    }
    /* the break lines as the terrain keeps them, highlighted in white
    ** (black on a light screen), apart from the outline's and voids' colours */
    for (int32_t i = 0; joined_lines != NULL && i < nlines; i++)
        if (lines[i].group == TIN_BREAK) {
            sds_point from = { lines[i].x1, lines[i].y1, lines[i].z1 };
            sds_point to = { lines[i].x2, lines[i].y2, lines[i].z2 };
            sds_grdraw(from, to, 7, 1);
        }
    free(joined_points);
    free(joined_lines);
    free(held_faces);
    held_faces = NULL;
    held_count = held_cap = 0;
    return failed;
}

/* Ends a run that failed before the library was called.  The export goes
** too: no way out of the command leaves its work file behind. */
static int give_up(const char *text)
{
    dxf_close();
    free_arrays();
    if (text != NULL)
        tri_error(text);
    if (tri_export_path[0] != '\0')
        remove(tri_export_path);
    sds_retvoid();
    return 0;
}

int tri_command(void)
{
    double max_edge;
    int failed;

    set_zero("cmdecho");
    set_zero("OSMODE");
    sds_command(RTSTR, "undo", RTSTR, "mark", RTNONE);
    sds_command(RTSTR, "setvar", RTSTR, "cmdecho", RTSTR, "0", RTNONE);
    sds_command(RTSTR, "ucs", RTSTR, "", RTNONE);

    tri_export_path[0] = '\0';
    if (tri_export_selection())
        return give_up(NULL);           /* it has said why */
    if (max_edge_setting(&max_edge))
        return give_up(FRAME_CANCEL);
    switch (tri_count_entities()) {
    case 0:
        break;
    case 1:
        return give_up(" Missing POINT entities");
    default:
        return give_up(NULL);           /* it has said why */
    }
    /* with break lines alone there may be no POINT */
    tri_points = (tin_point *)calloc(tri_npoints > 0 ? (size_t)tri_npoints : 1, sizeof(tin_point));
    if (tri_points == NULL)
        return give_up(" *malloc POINT*");
    if (tri_nlines > 0) {
        tri_lines = (tin_line *)calloc((size_t)tri_nlines, sizeof(tin_line));
        if (tri_lines == NULL)
            return give_up(" *malloc LI*");
    }
    if (tri_nvertices > 0) {
        tri_breaks = (tin_line *)calloc((size_t)tri_nvertices, sizeof(tin_line));
        if (tri_breaks == NULL)
            return give_up(" *malloc BREAK*");
    }
    tri_colour_seen = (unsigned char *)calloc(256, 1);
    if (tri_colour_seen == NULL)
        return give_up(" *malloc CONTCUL*");
    if (tri_read_entities())
        return give_up(NULL);           /* the reader has said why */
    tri_colour_count = tri_group_count();
    if (tri_polylines_passed > 0) {
        char text[160];
        snprintf(text, sizeof(text),
                 "\n*** VELMORA Note - %d 3D polylines on Velmora's own layers (surface "
                 "crossings, contours, cut/fill) passed over: they are not break lines",
                 (int)tri_polylines_passed);
        sds_printf("%s", text);
    }

    set_zero("CMDECHO");
    sds_command(RTSTR, "LAYER", RTSTR, "MAKE", RTSTR, "TRIANG", RTSTR, "", RTNONE);
    sds_command(RTSTR, "COLOR", RTSTR, "2", RTNONE);

    tin_set_hooks(&lib_hooks);
    failed = run_library(max_edge);

    for (int32_t i = 0; i < tri_lines_read; i++) {
        sds_point from = { tri_lines[i].x1, tri_lines[i].y1, tri_lines[i].z1 };
        sds_point to = { tri_lines[i].x2, tri_lines[i].y2, tri_lines[i].z2 };
        sds_grdraw(from, to, tri_lines[i].group, 1);
    }
    free_arrays();
    remove(tri_export_path);
    sds_retvoid();
    return failed ? 0 : 1;
}
