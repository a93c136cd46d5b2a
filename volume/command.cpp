/*
** command.cpp -- "c:vol" / "c:volume": asks for the grid increment, has the
** host export the selection to "vol.dxf", reads and samples it into
** "vol.bin", integrates, prints volume and centroid and adds a POINT at the
** centroid.
*/
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include "volume.h"

double vol_increment;
double vol_step;
double vol_extent[4];
vol_triangle_fn vol_triangle_cb;
int    vol_found;
FILE  *vol_bin;

static char vol_bin_buffer[VOL_BIN_BUFFER];

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
        vc_error(16, ": the increment must be a positive number");
        return 1;
    }
    if (!(reach / increment < VOL_INDEX_LIMIT)) {
        vc_error(16, ": the increment is too small for these coordinates");
        return 1;
    }
    return 0;
}

static void set_zero(const char *name, short type)
{
    struct resbuf rb;

    rb.rbnext = NULL;
    rb.restype = type;
    if (type == RTLONG)
        rb.resval.rlong = 0;
    else
        rb.resval.rint = 0;
    sds_setvar(name, &rb);
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

    read_acadver();
    set_zero("CMDECHO", RTLONG);
    sds_command(RTSTR, vc_messages[14], RTSTR, "", 0);

    if (get_point("extmin", lo) || get_point("extmax", hi))
        lo[0] = lo[1] = hi[0] = hi[1] = 0;
    vol_increment = default_increment(hi[0] - lo[0], hi[1] - lo[1]);

    sds_initget(6, NULL);
    snprintf(prompt, sizeof(prompt), "%s%.6lf> : ", vc_messages[13], vol_increment);
    rc = sds_getdist(NULL, prompt, &entered);
    if (rc == RTCAN) {
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

    remove("vol.dxf");
    if (vol_export_selection()) {
        vc_error(8, "WRITEDXF");
        sds_retvoid();
        return 0;
    }
    vol_triangle_cb = vol_sample_triangle;
    if (vol_run() == 0)
        remove("vol.dxf");
    sds_retvoid();
    return 1;
}

int vol_export_selection(void)
{
    sds_name ss;
    int rc;

    sds_printf("%s", vc_messages[3]);
    if (sds_ssget(NULL, NULL, NULL, NULL, ss) != RTNORM)
        return 1;
    rc = sds_command(RTSTR, "dxfout", RTSTR, "vol.dxf", RTSTR, "v",
                     RTSTR, strcmp(acadver_prefix, "14") == 0 ? "3" : "r12",
                     RTSTR, "entities", RTPICKS, ss, RTSTR, "", RTSTR, "10", 0);
    sds_ssfree(ss);
    return rc == RTNORM ? 0 : 1;
}

int vol_run(void)
{
    int result;

    set_zero("CMDECHO", RTSHORT);
    set_zero("OSMODE", RTSHORT);
    vol_free_rows();
    vol_reset_extent();
    result = vol_evaluate();
    vol_free_rows();
    return result;
}

static void report(void)
{
    sds_point centroid;

    centroid[0] = vol_sum_x / vol_sum_dz;
    centroid[1] = vol_sum_y / vol_sum_dz;
    centroid[2] = vol_sum_z / vol_sum_dz;
    sds_printf("\r%s", vc_messages[17]);
    sds_printf(" %.6lf                               ", vol_volume);
    sds_printf("\n%s", vc_messages[18]);
    sds_printf("%.3f,%.3f,%.3f", centroid[0], centroid[1], centroid[2]);
    sds_command(RTSTR, vc_messages[9], RT3DPOINT, centroid, 0);
}

int vol_evaluate(void)
{
    int failed;

    if (dxf_file != NULL)
        fclose(dxf_file);
    dxf_file = fopen("vol.dxf", "r");
    if (dxf_file == NULL) {
        vc_error(8, " VOL.DXF");
        return 1;
    }
    if (vol_bin != NULL)
        fclose(vol_bin);
    vol_bin = fopen("vol.bin", "wb+");
    if (vol_bin == NULL) {
        vc_error(8, " VOL.BIN");
        fclose(dxf_file);
        dxf_file = NULL;
        return 1;
    }
    setvbuf(vol_bin, vol_bin_buffer, _IOFBF, sizeof(vol_bin_buffer));

    vol_step = vol_increment;
    dxf_line_no = 1;
    nrp = 0;
    vol_found = 0;
    failed = vol_read_export();
    if (!failed && !vol_found) {
        vc_error(20, " ");
        failed = 1;
    }
    fclose(dxf_file);
    dxf_file = NULL;
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
    free(wrf);
    wrf = NULL;
    vol_free_map();
    return 0;
}
