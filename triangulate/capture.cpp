/*
** capture.cpp -- the POINTs, LINEs and 3D polylines of the user's
** selection, by way of the host's "dxfout" export: select and export, count
** the entities, read them into the arrays the command sized from the count.
**
** The export is read as pairs of lines (group code, value).  Lines are read
** whole, whatever their length, so that a long layer name or text value
** cannot shift the pairing of codes and values.  A
** POINT's groups are read up to its group 30 and a LINE's up to its group
** 31, pairs that do not read as numbers (an entity's "0" pair among them)
** being passed over.  A POLYLINE is read as the export writes it: its own
** groups (layer 8, flags 70), then its VERTEXes (10, 20, 30 and flags 70)
** up to SEQEND; each group run ends at the next "0" pair, which is then
** read again as the start of what follows.
*/
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include "triangulate.h"

char       tri_export_path[TRI_PATH_SIZE];
int32_t    tri_npoints;
int32_t    tri_nlines;
int32_t    tri_points_read;
int32_t    tri_lines_read;
tin_point *tri_points;
tin_line  *tri_lines;
unsigned char *tri_colour_seen;
int16_t    tri_colour_count;
int32_t    tri_nvertices;
int32_t    tri_breaks_read;
int32_t    tri_polylines_passed;
tin_line  *tri_breaks;

/* The layers Velmora draws its own 3D polylines on: the curves where two
** surfaces cross (inters_ltri), and the contours and the cut/fill zero line
** of the survey commands.  After drawing them, "all" selects them too; they
** follow the terrain and would only pin it to itself. */
static const char *const own_layers[] = { "3dint", "CONTOUR-MINOR", "CONTOUR-MAJOR",
                                          "CUTFILL-ZERO" };

static FILE  *export_file;
static int32_t line_no;         /* lines of the export read so far */
static char  *code_line;        /* whole lines, grown as needed by getline */
static size_t code_size;
static char  *value_line;
static size_t value_size;
static int    held;             /* the last pair is to be read again */
static int    held_code, held_ok;

int tri_make_export_path(char *out, size_t size)
{
    size_t len = strlen(app_path);
    char beside[TRI_PATH_SIZE];

    out[0] = '\0';
    /* "velmora.sds" -> "velmora.dxf": the last three characters replaced */
    if (len >= size || len >= sizeof(beside)) {
        tri_error(" export path too long: the add-on's path leaves no room for its export file");
        return 1;
    }
    if (len < 3) {
        tri_error(" export path: the add-on's path is too short to name its export file");
        return 1;
    }
    memcpy(beside, app_path, len - 3);
    memcpy(beside + len - 3, "dxf", 4);
    /* in the session's work folder when the host has one */
    if (frame_work_path(beside, out, size) != 0) {
        tri_error(" export path too long: the work folder leaves no room for the export file");
        return 1;
    }
    return 0;
}

/* Drops the line end: a LF, and a CR before it. */
static void chop_line(char *line, ssize_t n)
{
    if (n > 0 && line[n - 1] == '\n') {
        line[--n] = '\0';
        if (n > 0 && line[n - 1] == '\r')
            line[--n] = '\0';
    }
}

/* Reads one pair.  Returns 1 with the code in *code (and *code_ok telling
** whether the code line reads as an integer), or 0 at the end of the file. */
static int read_pair(int *code, int *code_ok)
{
    if (held) {
        held = 0;
        *code = held_code;
        *code_ok = held_ok;
        return 1;
    }
    ssize_t n = getline(&code_line, &code_size, export_file);
    if (n < 0)
        return 0;
    chop_line(code_line, n);
    n = getline(&value_line, &value_size, export_file);
    if (n < 0)
        return 0;
    chop_line(value_line, n);
    line_no += 2;
    *code_ok = sscanf(code_line, "%d", code) == 1;
    held_code = *code;
    held_ok = *code_ok;
    return 1;
}

/* The pair just read will be read again. */
static void read_again(void)
{
    held = 1;
}

void tri_close_export(void)
{
    if (export_file != NULL) {
        fclose(export_file);
        export_file = NULL;
    }
    free(code_line);
    free(value_line);
    code_line = value_line = NULL;
    code_size = value_size = 0;
    held = 0;
}

int tri_own_layer(const char *layer)
{
    for (size_t i = 0; i < sizeof(own_layers) / sizeof(own_layers[0]); i++)
        if (strcasecmp(layer, own_layers[i]) == 0)
            return 1;
    return 0;
}

/* A flags group (70) as an integer; a value no flags can have counts as 0. */
static int flags_of(const char *value)
{
    double v;
    if (sscanf(value, "%lf", &v) != 1 || !(v >= 0 && v < 65536))
        return 0;
    return (int)v;
}

/* Reads a POLYLINE's own groups, up to the "0" pair that ends them.  1 when
** it is a break line: a 3D polyline (flag 8; not a mesh, 16 or 64) on a
** layer that is not Velmora's own; those on Velmora's layers are counted
** in tri_polylines_passed.  *closed: flag 1. */
static int polyline_head(int *closed)
{
    char layer[64] = "0";
    int code, code_ok, flags = 0;

    while (read_pair(&code, &code_ok)) {
        if (code_ok && code == 0) {
            read_again();
            break;
        }
        if (code_ok && code == 8)
            snprintf(layer, sizeof(layer), "%s", value_line);
        else if (code_ok && code == 70)
            flags = flags_of(value_line);
    }
    if (!(flags & 8) || (flags & (16 | 64)))
        return 0;
    if (tri_own_layer(layer)) {
        tri_polylines_passed++;
        return 0;
    }
    *closed = flags & 1;
    return 1;
}

/* Passes the "0" pair of the next entity: 1 at a VERTEX, 0 at the SEQEND
** that ends the polyline or at anything else (left to be read again). */
static int next_vertex(void)
{
    int code, code_ok;
    while (read_pair(&code, &code_ok)) {
        if (!code_ok || code != 0)
            continue;
        if (strcmp(value_line, "VERTEX") == 0)
            return 1;
        if (strcmp(value_line, "SEQEND") != 0)
            read_again();
        return 0;
    }
    return 0;
}

int tri_export_selection(void)
{
    sds_name ss;
    const char *why;
    int rc;

    if (tri_make_export_path(tri_export_path, sizeof(tri_export_path)))
        return 1;
    remove(tri_export_path);
    sds_printf("%s", "\nSelect objects: ");
    if ((why = frame_select(ss)) != NULL) {
        tri_error(why);
        return 1;
    }
    rc = sds_command(RTSTR, "dxfout", RTSTR, tri_export_path, RTSTR, "v",
                     RTSTR, strcmp(acadver_prefix, "14") == 0 ? "3" : "r12",
                     RTSTR, "entities", RTPICKS, ss, RTSTR, "", RTSTR, "10", RTNONE);
    sds_ssfree(ss);
    if (rc != RTNORM) {
        tri_error("WRITEDXF");
        return 1;
    }
    return 0;
}

int tri_count_entities(void)
{
    char path[TRI_PATH_SIZE];
    int code, code_ok;

    tri_close_export();
    tri_npoints = tri_nlines = tri_nvertices = 0;
    tri_polylines_passed = 0;
    line_no = 0;
    if (tri_make_export_path(path, sizeof(path)))
        return 1;
    export_file = fopen(path, "r");
    if (export_file == NULL) {
        char text[TRI_PATH_SIZE + 2];
        snprintf(text, sizeof(text), " %s", path);
        tri_error(text);
        return 1;
    }
    while (read_pair(&code, &code_ok)) {
        if (!code_ok || code != 0)
            continue;
        int closed;
        if (strcmp(value_line, "POINT") == 0 && tri_npoints < INT32_MAX)
            tri_npoints++;
        else if (strcmp(value_line, "LINE") == 0 && tri_nlines < INT32_MAX)
            tri_nlines++;
        else if (strcmp(value_line, "POLYLINE") == 0 && polyline_head(&closed))
            while (next_vertex())
                if (tri_nvertices < INT32_MAX)
                    tri_nvertices++;
    }
    rewind(export_file);
    held = 0;
    line_no = 0;
    /* the vertices of break lines are survey points too */
    return tri_npoints == 0 && tri_nvertices == 0 ? 1 : 0;
}

/* Group of a LINE from its colour (group 62), the number as it stands in
** the export.  Returns 1, with a message, for a colour that can name no
** group. */
static int line_group(double colour, int16_t *group)
{
    char text[128];
    double c = trunc(colour);           /* 4.7 is colour 4 */

    if (c == 0 || c == 256) {           /* BYBLOCK, BYLAYER: the boundary */
        *group = 1;
        return 0;
    }
    if (!(c >= 1 && c <= 255)) {
        snprintf(text, sizeof(text),
                 " LINE colour %.15g -READDXF: use 1 for the outline, 2 to 255 for voids", c);
        tri_error(text);
        return 1;
    }
    *group = (int16_t)c;
    tri_colour_seen[(int)c] = 1;
    return 0;
}

/* Reads one number of an entity's group; 0 when the pair is to be passed
** over (its code or its value is no number). */
static int read_number(int code_ok, double *v)
{
    return code_ok && sscanf(value_line, "%lf", v) == 1;
}

/* Ends the second pass with a message. */
static int read_failed(const char *text)
{
    tri_error(text);
    tri_close_export();
    return 1;
}

#define NOT_FINITE " NUMBER-READDXF: a coordinate is not a finite number"

/* A coordinate the library can work with: finite, and within
** FRAME_COORD_LIMIT so that differences and their squares stay finite.
** 0, or 1 after a message naming the entity's first line in the export. */
static int check_coordinate(double v, const char *entity, int32_t at)
{
    char text[160];

    if (!isfinite(v)) {
        tri_error(NOT_FINITE);
        return 1;
    }
    if (fabs(v) > FRAME_COORD_LIMIT) {
        snprintf(text, sizeof(text),
                 " %s at line %d of the export: coordinate %.6g is beyond %.0e drawing units",
                 entity, (int)at, v, FRAME_COORD_LIMIT);
        tri_error(text);
        return 1;
    }
    return 0;
}

/* Appends the break line segment from a to b. */
static int add_break(const tin_point *a, const tin_point *b)
{
    if (tri_breaks_read >= tri_nvertices)
        return read_failed(" NBREAK-READDXF");
    tin_line *l = &tri_breaks[tri_breaks_read++];
    l->x1 = a->x; l->y1 = a->y; l->z1 = a->z;
    l->x2 = b->x; l->y2 = b->y; l->z2 = b->z;
    l->group = TIN_BREAK;
    return 0;
}

/* Reads a 3D polyline into break line segments, one per pair of vertices
** in turn, and the closing one of a closed polyline of three vertices or
** more.  A lone vertex is a segment of no length (its vertex still becomes
** a survey point).  The frame points of a spline-fit polyline (vertex flag
** 16) are passed over: the line runs through its fit vertices.  0, or 1
** after a message. */
static int read_polyline(void)
{
    int closed, code, code_ok;
    int32_t count = 0;
    tin_point first = { 0, 0, 0 }, prev = { 0, 0, 0 };
    double v;

    if (!polyline_head(&closed))
        return 0;
    while (next_vertex()) {
        int32_t at = line_no - 1;       /* the line of the VERTEX's "0" */
        tin_point p = { 0, 0, 0 };
        int flags = 0;
        while (read_pair(&code, &code_ok)) {
            if (code_ok && code == 0) {
                read_again();
                break;
            }
            if (code_ok && code == 70) {
                flags = flags_of(value_line);
                continue;
            }
            if (!read_number(code_ok, &v) || (code != 10 && code != 20 && code != 30))
                continue;
            if (check_coordinate(v, "VERTEX", at)) {
                tri_close_export();
                return 1;
            }
            if (code == 10) p.x = v;
            else if (code == 20) p.y = v;
            else p.z = v;
        }
        if (flags & 16)
            continue;
        if (count++ > 0 && add_break(&prev, &p))
            return 1;
        if (count == 1)
            first = p;
        prev = p;
    }
    if (count == 1)
        return add_break(&first, &first);
    if (closed && count >= 3)
        return add_break(&prev, &first);
    return 0;
}

int tri_read_entities(void)
{
    int code, code_ok;
    tin_point *pt = NULL;               /* the current point record */
    double v;

    tri_points_read = tri_lines_read = tri_breaks_read = 0;
    tri_polylines_passed = 0;
    if (export_file == NULL)
        return 1;
    while (read_pair(&code, &code_ok)) {
        if (!code_ok || code != 0)
            continue;
        int32_t at = line_no - 1;       /* the line of the entity's "0" */
        if (strcmp(value_line, "POINT") == 0) {
            /* group 10 opens the next record; 20 and 30 fill the current
            ** one; 30 ends the POINT */
            while (read_pair(&code, &code_ok)) {
                if (!read_number(code_ok, &v) || (code != 10 && code != 20 && code != 30))
                    continue;
                if (check_coordinate(v, "POINT", at)) {
                    tri_close_export();
                    return 1;
                }
                if (code == 10) {
                    if (tri_points_read >= tri_npoints)
                        return read_failed(" NRPOINT-READDXF");
                    pt = &tri_points[tri_points_read++];
                    pt->x = v;
                } else if (code == 20) {
                    if (pt != NULL)         /* no record yet: nothing to fill */
                        pt->y = v;
                } else {
                    if (pt != NULL)
                        pt->z = v;
                    break;
                }
            }
        } else if (strcmp(value_line, "LINE") == 0) {
            if (tri_lines_read >= tri_nlines)
                return read_failed(" NLI-READDXF");
            tin_line *ln = &tri_lines[tri_lines_read++];
            memset(ln, 0, sizeof(*ln));
            ln->group = 1;
            /* its groups up to 31, the end z, which ends the LINE */
            while (read_pair(&code, &code_ok)) {
                if (!read_number(code_ok, &v))
                    continue;
                if (code == 62) {
                    int16_t g;
                    if (line_group(v, &g)) {
                        tri_close_export();
                        return 1;
                    }
                    ln->group = g;
                    continue;
                }
                if (code != 10 && code != 20 && code != 30 && code != 11 && code != 21 && code != 31)
                    continue;
                if (check_coordinate(v, "LINE", at)) {
                    tri_close_export();
                    return 1;
                }
                /* the record is packed: its fields are set by name, never
                ** through a pointer to a double */
                switch (code) {
                case 10: ln->x1 = v; break;
                case 20: ln->y1 = v; break;
                case 30: ln->z1 = v; break;
                case 11: ln->x2 = v; break;
                case 21: ln->y2 = v; break;
                default: ln->z2 = v; break;      /* 31 */
                }
                if (code == 31)
                    break;
            }
        } else if (strcmp(value_line, "POLYLINE") == 0) {
            if (read_polyline())
                return 1;               /* closed and reported */
        }
    }
    tri_close_export();
    return 0;
}

int16_t tri_group_count(void)
{
    int16_t most = 0;
    for (int32_t i = 0; i < tri_lines_read; i++)
        if (tri_lines[i].group > most)
            most = tri_lines[i].group;
    return most;
}
