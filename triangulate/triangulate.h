/*
** triangulate.h -- the "c:velmora" command: survey POINTs and constraint
** LINEs of the user's selection to a triangulated terrain.
**
** Owns the place of its export (beside the add-on's own file, under its
** name with the extension "dxf"; made and read through the frame's export
** round trip and group reader), the two passes over that file that count
** and then read the entities into exactly sized arrays, the call of the
** triangulation library, and the callback that adds each triangle to the
** drawing as a 3DFACE on layer "TRIANG" in colour 2.
**
** Break lines: every 3D polyline (POLYLINE with flag 8) of the selection
** is one, its vertices survey points with their own heights and its
** segments edges the terrain keeps (group TIN_BREAK), except those on the
** layers Velmora draws itself (its contours, cut/fill line and surface
** crossings), which are passed over with a note.  Without 3D polylines the
** command runs exactly as before.  When there is no outline, TINMAXEDGE
** trims the long triangles along the terrain's edge (0: off; negative: the
** command asks for the length after the selection).
**
** Colour rule for LINEs: a LINE of colour 1 to 255 belongs to the constraint
** group of that number (1 = outer boundary, 2 and up = holes); a LINE whose
** colour is not its own (BYBLOCK 0, BYLAYER 256, or no colour group at all)
** is group 1.  Any other colour stops the run with a message before the
** library is called.  The library is given the highest group number present
** as its group count, so gaps in the colour numbers are harmless.
*/
#ifndef VELMORA_TRIANGULATE_H
#define VELMORA_TRIANGULATE_H

#include <stdint.h>
#include "frame.h"
#include "tin.h"

#define TRI_PATH_SIZE 256

/* Globals of one run of the command. */
extern char       tri_export_path[TRI_PATH_SIZE];
extern int32_t    tri_npoints;          /* POINTs counted by the first pass */
extern int32_t    tri_nlines;           /* LINEs counted by the first pass */
extern int32_t    tri_points_read;      /* POINT records filled by the second pass */
extern int32_t    tri_lines_read;       /* LINE records filled by the second pass */
extern tin_point *tri_points;
extern tin_line  *tri_lines;
extern unsigned char *tri_colour_seen;  /* 256 flags, by colour number */
extern int16_t    tri_colour_count;     /* group count given to the library */
extern int32_t    tri_nvertices;        /* vertices of break lines counted by the first pass */
extern int32_t    tri_breaks_read;      /* break line segments filled by the second pass */
extern int32_t    tri_polylines_passed; /* 3D polylines passed over for their layer */
extern tin_line  *tri_breaks;           /* break line segments, group TIN_BREAK */

/* Builds the export path from app_path: its last three characters replaced
** by "dxf" ("velmora.sds" -> "velmora.dxf").  Returns 1, with a message and
** the path left empty, when the result would not fit in `size` bytes or
** app_path is shorter than three characters. */
int  tri_make_export_path(char *out, size_t size);

/* Capture: select and export, count, read.  0 = success, 1 = failure
** (tri_count_entities: 1 when the export cannot be opened or has neither
** POINTs nor break lines, for the caller to report; 2 after a message).
** The export is read through the frame's dxf_file, which the counting
** opens and the reading closes; dxf_close ends it on any other way out. */
int  tri_export_selection(void);
int  tri_count_entities(void);
int  tri_read_entities(void);

/* Is `layer` one that Velmora draws its own 3D polylines on? */
int  tri_own_layer(const char *layer);

/* Highest constraint group among the lines read (0 when there are none). */
int16_t tri_group_count(void);

/* The command and its per-triangle callback. */
int  tri_command(void);
int  tri_emit_face(tin_point a, tin_point b, tin_point c);

#endif
