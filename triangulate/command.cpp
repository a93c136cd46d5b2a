/*
** command.cpp -- "c:velmora": the run of the command and the callback that
** turns each triangle of the library into a 3DFACE.
**
** The command leaves CMDECHO and OSMODE at 0, the world coordinate system
** current and "TRIANG" with colour 2 current; its undo mark stays in the
** history so that the whole terrain can be undone in one step.
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
    free(tri_colour_seen);
    tri_points = NULL;
    tri_lines = NULL;
    tri_colour_seen = NULL;
}

/* Ends a run that failed before the library was called.  The export goes
** too: no way out of the command leaves its work file behind. */
static int give_up(const char *text)
{
    tri_close_export();
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
    int32_t kept = 0;
    int failed;

    read_acadver();
    set_zero("cmdecho");
    set_zero("OSMODE");
    sds_command(RTSTR, "undo", RTSTR, "mark", RTNONE);
    sds_command(RTSTR, "setvar", RTSTR, "cmdecho", RTSTR, "0", RTNONE);
    sds_command(RTSTR, "ucs", RTSTR, "", RTNONE);

    tri_export_path[0] = '\0';
    if (tri_export_selection())
        return give_up(NULL);           /* it has said why */
    if (tri_count_entities())
        return give_up(" Missing POINT entities");
    tri_points = (tin_point *)calloc((size_t)tri_npoints, sizeof(tin_point));
    if (tri_points == NULL)
        return give_up(" *malloc POINT*");
    if (tri_nlines > 0) {
        tri_lines = (tin_line *)calloc((size_t)tri_nlines, sizeof(tin_line));
        if (tri_lines == NULL)
            return give_up(" *malloc LI*");
    }
    tri_colour_seen = (unsigned char *)calloc(256, 1);
    if (tri_colour_seen == NULL)
        return give_up(" *malloc CONTCUL*");
    if (tri_read_entities())
        return give_up(NULL);           /* the reader has said why */
    tri_colour_count = tri_group_count();

    set_zero("CMDECHO");
    sds_command(RTSTR, "LAYER", RTSTR, "MAKE", RTSTR, "TRIANG", RTSTR, "", RTNONE);
    sds_command(RTSTR, "COLOR", RTSTR, "2", RTNONE);

    tin_set_hooks(&lib_hooks);
    failed = lib_triangulate(tri_points_read, tri_points, tri_lines, tri_lines_read,
                             tri_colour_count, tri_emit_face, &kept, 0) != 0;
    if (failed) {
        sds_printf("%s", "\n*** LIBVELMORA Error !");
        frame_fail("LIBVELMORA Error", NULL);
    }

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
