/*
** command.cpp -- "c:vol" / "c:volume": asks for the grid increment, has the
** host export the selection to "vol.dxf", reads its faces and samples them
** into "vol.bin", integrates, prints volume and centroid and adds a POINT at
** the centroid.
**
** Both work files lie where frame_work_path puts them (the session's private
** folder when the host has one) and are removed on every way out of a run:
** done, failed or cancelled.
*/
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <filesystem>
#include <system_error>
#include "volume.h"

double vol_increment;
double vol_step;
double vol_extent[4];
vol_triangle_fn vol_triangle_cb;
int    vol_found;
FILE  *vol_bin;
char   vol_dxf_path[VOL_PATH_SIZE] = "vol.dxf";
char   vol_bin_path[VOL_PATH_SIZE] = "vol.bin";

int    vol_draw_outlines = 1;

static char vol_bin_buffer[VOL_BIN_BUFFER];
static double vol_plan_area;        /* of the export's triangles, before sampling */

/* The faces of the first pass over "vol.dxf", four corners each, so that the
** second pass need not read and parse the file again.  Kept up to
** VOL_FACES_BUDGET bytes; a bigger export (or no memory) is read twice. */
#define VOL_FACES_BUDGET (256.0 * 1024.0 * 1024.0)
static frame_point *vol_faces_kept;
static size_t vol_faces_n, vol_faces_room;
static int vol_faces_keeping;       /* 1 while every face so far is kept */

static void keep_face(const frame_point *a, const frame_point *b, const frame_point *c,
                      const frame_point *d)
{
    if (vol_faces_n == vol_faces_room) {
        size_t more = vol_faces_room < 4096 ? 4096 : 2 * vol_faces_room;
        frame_point *grown = NULL;
        if ((double)more * 4 * sizeof(frame_point) <= VOL_FACES_BUDGET)
            grown = (frame_point *)realloc(vol_faces_kept, more * 4 * sizeof(frame_point));
        if (grown == NULL) {
            vol_faces_keeping = 0;
            return;
        }
        vol_faces_kept = grown;
        vol_faces_room = more;
    }
    frame_point *q = &vol_faces_kept[4 * vol_faces_n++];
    q[0] = *a;
    q[1] = *b;
    q[2] = *c;
    q[3] = *d;
}

static void drop_faces(void)
{
    free(vol_faces_kept);
    vol_faces_kept = NULL;
    vol_faces_n = vol_faces_room = 0;
    vol_faces_keeping = 0;
}

void vol_cancel(void)
{
    sds_printf("%s", FRAME_CANCEL);
    frame_fail(FRAME_CANCEL, NULL);
}

int vol_quad(const frame_point *a, const frame_point *b, const frame_point *c,
             const frame_point *d)
{
    if (vol_faces_keeping)
        keep_face(a, b, c, d);
    if (vol_draw_outlines) {
        sds_point pa = {a->x, a->y, a->z}, pb = {b->x, b->y, b->z};
        sds_point pc = {c->x, c->y, c->z}, pd = {d->x, d->y, d->z};
        sds_grdraw(pa, pb, 7, 1);
        sds_grdraw(pb, pc, 7, 1);
        sds_grdraw(pc, pd, 7, 1);
        sds_grdraw(pd, pa, 7, 1);
    }
    if (vol_triangle_cb(a->x, a->y, a->z, b->x, b->y, b->z, c->x, c->y, c->z) != 0)
        return 1;
    return vol_triangle_cb(a->x, a->y, a->z, c->x, c->y, c->z, d->x, d->y, d->z) != 0;
}

static const frame_face_reader vol_faces = {
    vol_quad, "mesh vertex counts %d by %d (2 to %d each)"
};

int vol_read_export(void)
{
    return frame_read_faces(&vol_faces, &vol_found);
}

void vol_remove_work_files(void)
{
    dxf_close();
    if (vol_bin != NULL) {
        fclose(vol_bin);
        vol_bin = NULL;
    }
    remove(vol_dxf_path);
    remove(vol_bin_path);
}

void vol_reset_extent(void)
{
    vol_extent[0] = vol_extent[2] = 1e30;
    vol_extent[1] = vol_extent[3] = -1e30;
}

/* The increment offered for a plan extent: a grid of about 4,000,000
** nodes over the box. */
static double default_increment(double dx, double dy)
{
    return sqrt(2.0 * dx * dy / 8000000.0);
}

int vol_check_increment(double increment, double reach)
{
    if (!(isfinite(increment) && increment > 0)) {
        vc_error(VOL_NO_VOLUME, ": the increment must be a positive number");
        return 1;
    }
    if (!(reach / increment < VOL_INDEX_LIMIT)) {
        vc_error(VOL_NO_VOLUME, VOL_TOO_FINE);
        return 1;
    }
    return 0;
}

static int get_point(const char *name, double *p)
{
    struct resbuf rb;

    rb.rbnext = NULL;
    rb.restype = RTNONE;
    if (sds_getvar(name, &rb) != RTNORM
        || (rb.restype != RT3DPOINT && rb.restype != RTPOINT))
        return 1;
    p[0] = rb.resval.rpoint[0];
    p[1] = rb.resval.rpoint[1];
    p[2] = rb.resval.rpoint[2];
    return 0;
}

int vol_command(void)
{
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0}, reach, entered = 0;
    char prompt[160];
    int rc;

    frame_set_zero("CMDECHO", RTLONG);
    sds_command(RTSTR, VOL_UCS, RTSTR, "", 0);

    if (get_point("extmin", lo) || get_point("extmax", hi))
        lo[0] = lo[1] = hi[0] = hi[1] = 0;
    vol_increment = default_increment(hi[0] - lo[0], hi[1] - lo[1]);

    sds_initget(6, NULL);
    snprintf(prompt, sizeof(prompt), "%s%.6lf> : ", VOL_PROMPT, vol_increment);
    rc = sds_getdist(NULL, prompt, &entered);
    if (rc == RTCAN) {
        vol_cancel();
        sds_retvoid();
        return 0;
    }
    if (rc == RTNORM)
        vol_increment = entered;

    /* An empty drawing offers 0; a tiny increment over projected
    ** coordinates would push node numbers past 32 bits.  Neither may reach
    ** the sampler. */
    reach = fabs(lo[0]);
    if (fabs(lo[1]) > reach) reach = fabs(lo[1]);
    if (fabs(hi[0]) > reach) reach = fabs(hi[0]);
    if (fabs(hi[1]) > reach) reach = fabs(hi[1]);
    if (vol_check_increment(vol_increment, reach)) {
        sds_retvoid();
        return 0;
    }

    if (frame_work_path("vol.dxf", vol_dxf_path, sizeof(vol_dxf_path))
        || frame_work_path("vol.bin", vol_bin_path, sizeof(vol_bin_path))) {
        vc_error(VC_FATAL, " VOL.DXF");
        sds_retvoid();
        return 0;
    }
    rc = vol_export_selection();
    if (rc == 0) {
        vol_triangle_cb = vol_sample_triangle;
        vol_run();
    }
    vol_remove_work_files();
    sds_retvoid();
    return rc == 0 ? 1 : 0;
}

int vol_export_selection(void)
{
    sds_name ss;

    if (vc_export_selection(vol_dxf_path, ss))
        return 1;
    sds_ssfree(ss);
    return 0;
}

int vol_run(void)
{
    frame_set_zero("CMDECHO", RTSHORT);
    frame_set_zero("OSMODE", RTSHORT);
    vol_reset_extent();
    return vol_evaluate();
}

static void report(void)
{
    sds_point centroid;

    centroid[0] = vol_sum_x / vol_sum_dz;
    centroid[1] = vol_sum_y / vol_sum_dz;
    centroid[2] = vol_sum_z / vol_sum_dz;
    sds_printf("\r%s", VOL_RESULT);
    sds_printf(" %.6lf                               ", vol_volume);
    sds_printf("\n%s", VOL_CENTROID);
    sds_printf("%.3f,%.3f,%.3f", centroid[0], centroid[1], centroid[2]);
    sds_command(RTSTR, VOL_POINT, RT3DPOINT, centroid, 0);
}

/* Plan area of one triangle: the first pass over the export sums them. */
static int vol_measure_triangle(double ax, double ay, double az,
                                double bx, double by, double bz,
                                double cx, double cy, double cz)
{
    (void)az;
    (void)bz;
    (void)cz;
    vol_plan_area += fabs((bx - ax) * (cy - ay) - (by - ay) * (cx - ax)) / 2.0;
    return 0;
}

/* "vol.bin" takes one 12-byte record per grid node under each triangle,
** about plan area / step^2 of them.  A grid whose records would not fit in
** the free space of the work file's folder is refused before anything is
** written: a mistyped tiny increment must not fill the disk. */
static int vol_check_space(void)
{
    char folder[VOL_PATH_SIZE], text[240];
    char *slash;
    double bytes = vol_plan_area / (vol_step * vol_step) * (double)sizeof(vol_sample);
    std::error_code ec;

    snprintf(folder, sizeof(folder), "%s", vol_bin_path);
    slash = strrchr(folder, '/');
    if (slash == NULL)
        snprintf(folder, sizeof(folder), ".");
    else
        slash[slash == folder ? 1 : 0] = '\0';
    std::filesystem::space_info room = std::filesystem::space(folder, ec);
    if (ec || !(bytes > (double)room.available))
        return 0;                       /* unknown room: the writes will tell */
    snprintf(text, sizeof(text),
             ": the increment needs about %.0f MB of grid samples in vol.bin, "
             "%.0f MB are free there; choose a larger increment",
             bytes / 1e6, (double)room.available / 1e6);
    vc_error(VOL_NO_VOLUME, text);
    return 1;
}

int vol_evaluate(void)
{
    vol_triangle_fn sample = vol_triangle_cb;
    int failed;

    if (dxf_open(vol_dxf_path)) {
        vc_error(VC_FATAL, " VOL.DXF");
        return 1;
    }
    vol_step = vol_increment;

    /* First pass: the plan area of the faces, without outlines on screen. */
    vol_plan_area = 0;
    vol_triangle_cb = vol_measure_triangle;
    vol_draw_outlines = 0;
    drop_faces();
    vol_faces_keeping = !frame_plain();
    failed = vol_read_export();
    int replay = vol_faces_keeping;
    vol_faces_keeping = 0;
    vol_triangle_cb = sample;
    vol_draw_outlines = 1;
    if (!failed && !vol_found) {
        vc_error(VC_MISSING_FACES, " ");
        failed = 1;
    }
    if (!failed)
        failed = vol_check_space();
    if (!failed) {
        if (vol_bin != NULL)
            fclose(vol_bin);
        vol_bin = fopen(vol_bin_path, "wb+");
        if (vol_bin == NULL) {
            vc_error(VC_FATAL, " VOL.BIN");
            failed = 1;
        }
    }
    if (failed) {
        dxf_close();
        drop_faces();
        return 1;
    }
    setvbuf(vol_bin, vol_bin_buffer, _IOFBF, sizeof(vol_bin_buffer));

    /* Second pass: sample every triangle, the faces kept by the first pass
    ** or those of the file read again. */
    vol_sample_count = 0;
    vol_start_samples(frame_plain());
    if (replay) {
        failed = 0;
        for (size_t k = 0; k < vol_faces_n && !failed; k++) {
            const frame_point *q = &vol_faces_kept[4 * k];
            failed = vol_quad(&q[0], &q[1], &q[2], &q[3]);
        }
    } else {
        dxf_rewind();
        dxf_line_no = 1;
        failed = vol_read_export();
    }
    dxf_close();
    drop_faces();
    if (failed)
        return 1;

    /* Only meaningful once some triangle has been sampled. */
    if (vol_extent[0] <= vol_extent[1])
        sds_printf("\n**recommended increment: %.6lf\n",
                   default_increment(vol_extent[1] - vol_extent[0],
                                     vol_extent[3] - vol_extent[2]));

    vol_cancelled = 0;
    vol_compare_count = 0;
    if (vol_integrate() == 0)
        report();
    sds_redraw(NULL, 0);
    if (vol_bin != NULL) {
        fclose(vol_bin);
        vol_bin = NULL;
    }
    free(vol_samples);
    vol_samples = NULL;
    vol_free_map();
    return 0;
}
