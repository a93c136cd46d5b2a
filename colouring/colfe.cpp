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

int colf_found;

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
static int colf_take_args(struct resbuf *rb)
{
    int colours[COLF_BANDS];
    sds_point levels, triple;

    if (!frame_take_point(&rb, levels))
        return 0;
    if (!isfinite(levels[0]) || !isfinite(levels[1]) || levels[0] > levels[1])
        return 0;
    for (int i = 0; i < 5; i++) {
        if (!frame_take_3dpoint(&rb, triple))
            return 0;
        for (int j = 0; j < 3; j++)
            if (!colf_colour_number(triple[j], &colours[3 * i + j]))
                return 0;
    }
    colf_low = levels[0];
    colf_high = levels[1];
    memcpy(colf_colours, colours, sizeof(colf_colours));
    return 1;
}

/* ---- Selection, export and erasing -------------------------------------- */

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

/* Erases the selected 3DFACEs and polygon meshes, and nothing else.  The
** export holds at most one entity for each one selected, so when it held
** as many faces and meshes (`read`) as the set has entities, every one of
** them is redrawn, and the set is erased whole without looking at each. */
static void colf_erase_redrawn(const sds_name ss, int read)
{
    int32_t len = 0, redrawn = 0;

    if (sds_sslength(ss, &len) != RTNORM || len <= 0)
        return;
    if (len == read && !frame_plain()) {
        sds_command(RTSTR, "erase", RTPICKS, ss, RTSTR, "", RTNONE);
        return;
    }
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

static const frame_face_reader colf_faces = { colf_quad, " mesh of %d x %d vertices" };

int colf_read_export(void)
{
    return frame_read_faces(&colf_faces, &colf_found);
}

/* ---- The function -------------------------------------------------------- */

int colfe(void)
{
    struct resbuf *args = sds_getargs();
    sds_name ss;
    char path[1024];
    int taken = colf_take_args(args);

    if (args != NULL)
        sds_relrb(args);
    if (!taken) {
        vc_error("", "colfe takes (low high), low not above high, and five colour triples");
        sds_retnil();
        return 0;
    }
    frame_set_zero("CMDECHO", RTSHORT);
    frame_set_zero("OSMODE", RTSHORT);
    if (frame_work_path(COLF_EXPORT, path, sizeof(path)) != 0) {
        vc_error(VC_FATAL, " COLF.DXF");
        sds_retnil();
        return 0;
    }
    if (vc_export_selection(path, ss) != 0) {
        remove(path);
        sds_retnil();
        return 0;
    }
    if (dxf_open(path)) {
        vc_error(VC_FATAL, " COLF.DXF");
        sds_ssfree(ss);
        sds_retnil();
        return 0;
    }
    colf_last_colour = -1;
    int failed = colf_read_export();
    if (!failed && !colf_found) {
        vc_error(VC_MISSING_FACES, " ");
        failed = 1;
    }
    dxf_close();
    remove(path);
    if (!failed)
        colf_erase_redrawn(ss, colf_found);
    sds_ssfree(ss);
    if (failed)
        sds_retnil();
    else
        sds_rett();
    return 0;
}
