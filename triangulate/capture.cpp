/*
** capture.cpp -- the POINTs, LINEs and 3D polylines of the user's
** selection, by way of the host's "dxfout" export (the frame's export round
** trip and its group reader): select and export, count the entities, read
** them into the arrays the command sized from the count.
**
** A POINT's groups are read up to its group 30 and a LINE's up to its group
** 31, pairs whose value is no number (an entity's "0" pair among them)
** being passed over.  A POLYLINE is read as the export writes it: its own
** groups (layer 8, flags 70), then its VERTEXes (10, 20, 30 and flags 70)
** up to SEQEND; each group run ends at the next "0" pair, which is then the
** pair in hand for what follows:
**
**      0 POLYLINE  8 BANK  70 8  | 0 VERTEX 10 . 20 . 30 . | 0 VERTEX ... | 0 SEQEND
**      `-- polyline_head ------' `-- read_vertex ---------'
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

/* The pair in hand: read_dxf_pair's result (1 a group, 0 the end of the
** export, -1 a line that is no group code, reported), its code, and its
** value in dxf_value. */
static int pair_rc, pair_code;

static int next_pair(void)
{
    pair_rc = read_dxf_pair(&pair_code);
    return pair_rc > 0;
}

/* Is the pair in hand the "0" pair that starts an entity of `type`? */
static int at_entity(const char *type)
{
    return pair_rc > 0 && pair_code == 0 && strcmp(dxf_value, type) == 0;
}

/* The line of the export where the pair in hand starts. */
static int32_t pair_line(void)
{
    return dxf_line_no - 2;
}

/* Reads a POLYLINE's own groups, its "0" pair in hand, up to the "0" pair
** that ends them.  1 when it is a break line: a 3D polyline (flag 8; not a
** mesh, 16 or 64) on a layer that is not Velmora's own; those on
** Velmora's layers are counted in tri_polylines_passed.  *closed: flag 1. */
static int polyline_head(int *closed)
{
    char layer[64] = "0";
    int flags = 0;

    while (next_pair() && pair_code != 0) {
        if (pair_code == 8)
            snprintf(layer, sizeof(layer), "%s", dxf_value);
        else if (pair_code == 70)
            flags = flags_of(dxf_value);
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

/* Reads one number of an entity's group; 0 when the pair is to be passed
** over (its value is no number). */
static int read_number(double *v)
{
    return sscanf(dxf_value, "%lf", v) == 1;
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

/* Reads the VERTEX in hand up to the "0" pair after it: its location and
** flags.  0, or 1 after a message: a coordinate out of range, or a vertex
** without all three coordinates, which no 3D polyline has (a break line
** must not run to a made-up 0). */
static int read_vertex(tin_point *p, int *flags)
{
    int32_t at = pair_line();
    int found = 0;
    double v;

    *flags = 0;
    while (next_pair() && pair_code != 0) {
        if (pair_code == 70) {
            *flags = flags_of(dxf_value);
            continue;
        }
        if ((pair_code != 10 && pair_code != 20 && pair_code != 30) || !read_number(&v))
            continue;
        if (check_coordinate(v, "VERTEX", at))
            return 1;
        if (pair_code == 10) p->x = v;
        else if (pair_code == 20) p->y = v;
        else p->z = v;
        found |= pair_code == 10 ? 1 : pair_code == 20 ? 2 : 4;
    }
    if (pair_rc < 0)
        return 1;
    if (found != 7) {
        char text[96];
        snprintf(text, sizeof(text), " VERTEX at line %d of the export: no x, y and z (groups 10, 20, 30)",
                 (int)at);
        tri_error(text);
        return 1;
    }
    return 0;
}

/* Appends the break line segment from a to b. */
static int add_break(const tin_point *a, const tin_point *b)
{
    if (tri_breaks_read >= tri_nvertices) {
        tri_error(" NBREAK-READDXF");
        return 1;
    }
    tin_line *l = &tri_breaks[tri_breaks_read++];
    l->x1 = a->x; l->y1 = a->y; l->z1 = a->z;
    l->x2 = b->x; l->y2 = b->y; l->z2 = b->z;
    l->group = TIN_BREAK;
    return 0;
}

/* The POLYLINE in hand, to the "0" pair after its last VERTEX.  Counting,
** its vertices add to tri_nvertices when it is a break line; reading, it
** becomes break line segments, one per pair of vertices in turn, and the
** closing one of a closed polyline of three vertices or more.  A lone
** vertex is a segment of no length (its vertex still becomes a survey
** point).  The frame points of a spline-fit polyline (vertex flag 16) are
** passed over: the line runs through its fit vertices.  0, or 1 after a
** message. */
static int polyline(int counting)
{
    int closed = 0, flags;
    int32_t count = 0;
    tin_point first = { 0, 0, 0 }, prev = { 0, 0, 0 };

    if (!polyline_head(&closed)) {
        while (at_entity("VERTEX"))     /* a 2D polyline, a mesh, one of ours */
            while (next_pair() && pair_code != 0)
                ;
        return pair_rc < 0;
    }
    while (at_entity("VERTEX")) {
        if (counting) {
            if (tri_nvertices < INT32_MAX)
                tri_nvertices++;
            while (next_pair() && pair_code != 0)
                ;
            continue;
        }
        tin_point p = { 0, 0, 0 };
        if (read_vertex(&p, &flags))
            return 1;
        if (flags & 16)
            continue;
        if (count++ > 0 && add_break(&prev, &p))
            return 1;
        if (count == 1)
            first = p;
        prev = p;
    }
    if (pair_rc < 0)
        return 1;
    if (count == 1)
        return add_break(&first, &first);
    if (closed && count >= 3)
        return add_break(&prev, &first);
    return 0;
}

int tri_export_selection(void)
{
    sds_name ss;
    const char *why = NULL;

    if (tri_make_export_path(tri_export_path, sizeof(tri_export_path)))
        return 1;
    switch (frame_export_selection("\nSelect objects: ", tri_export_path, ss, &why)) {
    case FRAME_EXPORTED:
        sds_ssfree(ss);
        return 0;
    case FRAME_NOT_SELECTED:
        tri_error(why);
        return 1;
    default:
        tri_error("WRITEDXF");
        return 1;
    }
}

int tri_count_entities(void)
{
    char path[TRI_PATH_SIZE];

    dxf_close();
    tri_npoints = tri_nlines = tri_nvertices = 0;
    tri_polylines_passed = 0;
    if (tri_make_export_path(path, sizeof(path)))
        return 1;
    if (dxf_open(path)) {
        char text[TRI_PATH_SIZE + 2];
        snprintf(text, sizeof(text), " %s", path);
        tri_error(text);
        return 1;
    }
    dxf_reader = DXF_READER_TERRAIN;
    next_pair();
    while (pair_rc > 0) {
        if (at_entity("POLYLINE")) {
            if (polyline(1))
                return 2;
            continue;                   /* the pair after it is in hand */
        }
        if (at_entity("POINT") && tri_npoints < INT32_MAX)
            tri_npoints++;
        else if (at_entity("LINE") && tri_nlines < INT32_MAX)
            tri_nlines++;
        next_pair();
    }
    if (pair_rc < 0)
        return 2;
    dxf_rewind();
    dxf_line_no = 1;
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

/* The POINT in hand: group 10 opens the next record, 20 and 30 fill the
** current one, 30 ends the POINT (whatever pairs come before it).  0, or 1
** after a message. */
static int read_point(tin_point **pt)
{
    int32_t at = pair_line();
    double v;

    while (next_pair()) {
        if ((pair_code != 10 && pair_code != 20 && pair_code != 30) || !read_number(&v))
            continue;
        if (check_coordinate(v, "POINT", at))
            return 1;
        if (pair_code == 10) {
            if (tri_points_read >= tri_npoints) {
                tri_error(" NRPOINT-READDXF");
                return 1;
            }
            *pt = &tri_points[tri_points_read++];
            (*pt)->x = v;
        } else if (pair_code == 20) {
            if (*pt != NULL)            /* no record yet: nothing to fill */
                (*pt)->y = v;
        } else {
            if (*pt != NULL)
                (*pt)->z = v;
            return 0;
        }
    }
    return pair_rc < 0;
}

/* The LINE in hand: its groups up to 31, the end z, which ends the LINE.
** 0, or 1 after a message. */
static int read_line(void)
{
    int32_t at = pair_line();
    double v;

    if (tri_lines_read >= tri_nlines) {
        tri_error(" NLI-READDXF");
        return 1;
    }
    tin_line *ln = &tri_lines[tri_lines_read++];
    memset(ln, 0, sizeof(*ln));
    ln->group = 1;
    while (next_pair()) {
        if (!read_number(&v))
            continue;
        if (pair_code == 62) {
            int16_t g;
            if (line_group(v, &g))
                return 1;
            ln->group = g;
            continue;
        }
        if (pair_code != 10 && pair_code != 20 && pair_code != 30 && pair_code != 11 && pair_code != 21 &&
            pair_code != 31)
            continue;
        if (check_coordinate(v, "LINE", at))
            return 1;
        /* the record is packed: its fields are set by name, never through a
        ** pointer to a double */
        switch (pair_code) {
        case 10: ln->x1 = v; break;
        case 20: ln->y1 = v; break;
        case 30: ln->z1 = v; break;
        case 11: ln->x2 = v; break;
        case 21: ln->y2 = v; break;
        default: ln->z2 = v; return 0;  /* 31 */
        }
    }
    return pair_rc < 0;
}

int tri_read_entities(void)
{
    tin_point *pt = NULL;               /* the current point record */
    int failed = 0;

    tri_points_read = tri_lines_read = tri_breaks_read = 0;
    tri_polylines_passed = 0;
    if (dxf_file == NULL)
        return 1;
    next_pair();
    while (pair_rc > 0 && !failed) {
        if (at_entity("POLYLINE")) {
            failed = polyline(0);
            continue;                   /* the pair after it is in hand */
        }
        if (at_entity("POINT"))
            failed = read_point(&pt);
        else if (at_entity("LINE"))
            failed = read_line();
        if (!failed)
            next_pair();
    }
    dxf_close();
    return failed || pair_rc < 0;
}

int16_t tri_group_count(void)
{
    int16_t most = 0;
    for (int32_t i = 0; i < tri_lines_read; i++)
        if (tri_lines[i].group > most)
            most = tri_lines[i].group;
    return most;
}
