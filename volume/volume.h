/*
** volume.h -- the volume command "c:vol" / "c:volume".
**
** Owns the whole volume run: the increment prompt and the export of the
** selection to "vol.dxf", its reading through the frame's face reader, each
** face outlined on screen and split into two triangles (command.cpp), the
** grid sampler that writes one record per grid node under a triangle to the
** work file "vol.bin" (sampler.cpp), and the integration that pairs the
** heights found at each node into intervals inside the solid and sums volume
** and centroid (integrate.cpp).
**
**   DXF --reader--> triangles --sampler--> vol.bin --integrate--> volume, centroid
**
** Coordinates stay in doubles from the file to the sampler; only the height
** stored in a work record is single precision.
*/
#ifndef VELMORA_VOLUME_H
#define VELMORA_VOLUME_H

#include <stdio.h>
#include <stdint.h>
#include "frame.h"

/* One record of "vol.bin": 12 bytes, little-endian, no padding. */
typedef struct {
    int32_t i;          /* node column */
    int32_t j;          /* node row */
    float   z;          /* height of the triangle's plane at the node */
} vol_sample;

static_assert(sizeof(vol_sample) == 12, "vol_sample is a 12-byte record");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "vol.bin records are written as they lie in memory");

#define VOL_BIN_BUFFER   40960          /* full buffer of "vol.bin" */
#define VOL_COUNT_LIMIT  4294967295u    /* vol_sample_count stays below this */
#define VOL_MAP_LIMIT    4294967290ull  /* largest node map, in nodes */
/* |coordinate / step| must stay below this so that a node index and its
** neighbours (index +-1) fit a signed 32-bit integer. */
#define VOL_INDEX_LIMIT  2000000000.0

/* The command's words and texts. */
#define VOL_NO_VOLUME    "Can't calculate volume"
#define VOL_PROMPT       "volume increment <"
#define VOL_UCS          "ucs"
#define VOL_POINT        "point"
#define VOL_RESULT       "Volume: "
#define VOL_CENTROID     "Centroid: "
#define VOL_SORTING      "... Wait for sorting %u elements"
#define VOL_TOO_FINE     ": the increment is too small for these coordinates"

typedef int (*vol_triangle_fn)(double ax, double ay, double az,
                               double bx, double by, double bz,
                               double cx, double cy, double cz);

/* command.cpp */
extern double vol_increment;      /* chosen at every run */
extern double vol_step;           /* grid step of the run in progress */
extern double vol_extent[4];      /* xmin, xmax, ymin, ymax of the sampled triangles */
extern vol_triangle_fn vol_triangle_cb;
extern int    vol_found;          /* a 3DFACE or a mesh was met */
extern FILE  *vol_bin;            /* the work file "vol.bin" */
#define VOL_PATH_SIZE 1024
extern char   vol_dxf_path[VOL_PATH_SIZE];  /* where "vol.dxf" and "vol.bin" lie */
extern char   vol_bin_path[VOL_PATH_SIZE];

int  vol_command(void);
int  vol_export_selection(void);
int  vol_run(void);
int  vol_evaluate(void);
void vol_reset_extent(void);
/* 0 when the increment can drive a grid over coordinates up to `reach`
** in size; else prints why not and returns 1. */
int  vol_check_increment(double increment, double reach);
/* Prints "*Cancel*" and tells the host the run was cancelled. */
void vol_cancel(void);
/* Closes and deletes "vol.dxf" and "vol.bin". */
void vol_remove_work_files(void);

/* command.cpp: the export's faces, each outlined when vol_draw_outlines is
** set and handed on as the triangles a, b, c and a, c, d. */
extern int vol_draw_outlines;
int  vol_read_export(void);
int  vol_quad(const frame_point *a, const frame_point *b, const frame_point *c,
              const frame_point *d);

/* sampler.cpp */
extern uint32_t vol_sample_count;  /* records written in the run */
extern int32_t  vol_imin, vol_imax, vol_jmin, vol_jmax;

int  vol_sample_triangle(double ax, double ay, double az,
                         double bx, double by, double bz,
                         double cx, double cy, double cz);
void vol_cross(double ax, double ay, double az, double bx, double by, double bz,
               double *rx, double *ry, double *rz);
int  vol_outside_edge(double nx, double ny, double nz,
                      double cx, double cy, double cz,
                      double ex, double ey, double ez);
int32_t vol_round_half_away(double x);

/* integrate.cpp */
extern vol_sample *vol_samples;    /* the records read back */
extern double vol_volume, vol_sum_x, vol_sum_y, vol_sum_z, vol_sum_dz;
extern int      vol_cancelled;
extern unsigned vol_compare_count;

int    vol_integrate(void);
int    vol_compare_samples(const void *a, const void *b);
int    vol_build_map(void);
void   vol_free_map(void);
void   vol_mark_node(int32_t i, int32_t j);
int    vol_node_present(int32_t i, int32_t j);
double vol_node_weight(int32_t i, int32_t j);

#endif
