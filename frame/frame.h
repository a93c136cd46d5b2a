/*
** frame.h -- the add-on's frame: entry, request loop and registration
** (entry.cpp), the console messages every subsystem prints through
** (messages.cpp), what every command asks of the host alike -- the
** selection and its DXF export, a variable set to zero, LISP arguments, the
** paths of its files (calls.cpp) -- and the one reader of those exports:
** DXF groups (dxfpair.cpp) and the faces and meshes in them (faces.cpp).
*/
#ifndef VELMORA_FRAME_H
#define VELMORA_FRAME_H

#include <stdio.h>
#include <stddef.h>
#include "sds.h"

/* Application name as the host gave it, and its bounded copy. */
extern char app_name[512];
extern char app_path[512];

int  request_loop(int argc, char **argv);
int  register_functions(void);
/* Runs the handler of a function code; 1 when the code has one, else 0.
** The request loop uses it, and so does an in-process host. */
int  frame_call_handler(int code);

/* Messages with the fixed head of each subsystem.  An error also tells the
** host that the call failed (sds_fail); a warning does not.  tri_error,
** lib_error and vc_error keep the names the add-on has always printed
** through; each head is the subsystem's, the printer the frame's. */
void tri_error(const char *text);
void lib_error(const char *text);
void lib_warning(const char *text);
/* The volume and face-colouring commands' messages: the head, `text` (one
** of the VC_ texts, or "" when the detail says it all), `detail`, "!". */
void vc_error(const char *text, const char *detail);
void dxf_line_error(const char *text);
/* sds_fail with `first` and `second` joined, the blanks around them dropped;
** for the failures that print no error of their own. */
void frame_fail(const char *first, const char *second);

#define VC_HEAD          "\n*** VOLUME or COLF Error - "
#define VC_FATAL         "Fatal error -"                  /* opening, allocating, exporting */
#define VC_DXF_ARTICLE   "Can't read VOL.DXF at article"  /* a bad line of an export */
#define VC_MISSING_FACES "Missing 3DFACE or 3DMESH"       /* an export without faces */
#define VC_SELECT_FACES  "Select objects (3DMESH or 3DFACE): "
#define FRAME_CANCEL     "*Cancel*"

/* Lets the user select the objects to work on (sds_ssget with no mode or
** filter).  NULL with the set in `ss`; otherwise why there is none, for the
** caller's message: "nothing selected", or FRAME_CANCEL. */
const char *frame_select(sds_name ss);

/* The round trip every command makes to read the user's objects: deletes
** `path`, prints `prompt`, lets the user select and has the host write the
** selection to `path` with "dxfout" (R12, or "3" for a release-14 host;
** ten decimals).  FRAME_EXPORTED with the set in `ss`, which the caller
** frees; FRAME_NOT_SELECTED with *why set (nothing to free); or
** FRAME_NOT_EXPORTED when "dxfout" failed (the set is freed). */
#define FRAME_EXPORTED      0
#define FRAME_NOT_SELECTED  1
#define FRAME_NOT_EXPORTED  2
int  frame_export_selection(const char *prompt, const char *path, sds_name ss, const char **why);
/* The same for the volume and face-colouring commands: their prompt, and a
** failure reported through vc_error.  0, or 1 after the message. */
int  vc_export_selection(const char *path, sds_name ss);

/* Sets a system variable to 0, given as an RTSHORT or an RTLONG. */
void frame_set_zero(const char *name, short type);

/* Reading LISP arguments in order.  Each takes the argument *rb points at
** when it is of a kind asked for, stores its value and moves *rb on; 0 when
** it is missing or of another kind, so nothing beyond the list is read. */
int  frame_take_point(struct resbuf **rb, sds_point p);   /* 3D, or 2D with z 0 */
int  frame_take_3dpoint(struct resbuf **rb, sds_point p); /* 3D only */
int  frame_take_real(struct resbuf **rb, double *v);     /* a real, or an integer */
int  frame_take_int(struct resbuf **rb, int *v);         /* an integer, 16 or 32 bits */

/* Largest coordinate, in drawing units, that the add-on takes from a drawing
** or a triangle file.  Differences of such numbers and their squares stay
** finite, and far finer than any survey, so the geometry never meets an
** infinity or a NaN; anything larger is refused with a message. */
#define FRAME_COORD_LIMIT 1e12

/* The DXF file being read, group by group: the code line and the value line
** of the last group read, whole and without their line ends, and the number
** of lines read so far. */
extern FILE *dxf_file;
extern char *dxf_code_line;
extern char *dxf_value;
extern int   dxf_line_no;
/* Whose file dxf_file is, for the message about a line that cannot be
** read: DXF_READER_VC, the volume and face-colouring commands' (dxf_open
** sets it), or DXF_READER_TERRAIN, the terrain command's export, reported
** under that command's head. */
#define DXF_READER_VC      0
#define DXF_READER_TERRAIN 1
extern int dxf_reader;
/* Opens `path` into dxf_file with dxf_line_no at 1; 0, or 1 when it cannot. */
int  dxf_open(const char *path);
/* Closes dxf_file, if open, and releases the line buffers. */
void dxf_close(void);
/* Reads dxf_file again from its start (the line count is the caller's). */
void dxf_rewind(void);
/* One group: 1, 0 at the end of the file, -1 (reported) when the code line
** is no integer; the reading stops there, as pairing the lines after it
** could give values the wrong codes. */
int  read_dxf_pair(int *code);
/* The number at the start of `text` (blanks before it skipped) into *v, read
** as scanf's "%lf" reads it; the character after it, or NULL when there is
** no number. */
const char *frame_real(const char *text, double *v);
/* The same inside an entity, where the end of the file is an error too:
** 1 with a group, 0 after the message. */
int  read_entity_pair(int *code);

/* ---- Faces and polygon meshes of an export --------------------------------
** frame_read_faces reads dxf_file to its end and hands every four-cornered
** face on: each 3DFACE (corners 1 to 4; a three-sided one repeats its third
** corner) and each cell of a 3D polygon mesh, open, closed or smoothed, row
** pair after row pair:
**
**      row r      v0 ---- v1 ---- v2 ...      cell c: (r-1, c), (r-1, c+1),
**                 |  c0   |  c1   |                   (r, c+1), (r, c)
**      row r-1    v0 ---- v1 ---- v2 ...
**
** A mesh closed in N gets one more column that repeats column 0, a mesh
** closed in M one more row that repeats row 0.  Other entities, 2D and 3D
** polylines among them, are passed over. */
typedef struct {
    double x, y, z;
} frame_point;

typedef struct {
    /* Each face in file order; non-zero stops the reading with failure. */
    int (*quad)(const frame_point *a, const frame_point *b, const frame_point *c,
                const frame_point *d);
    /* dxf_line_error's text for a mesh whose counts M, N lie outside 2 to
    ** FRAME_MESH_MAX: a format given M, N and FRAME_MESH_MAX. */
    const char *bad_counts;
} frame_face_reader;

/* Mesh vertex counts are 16-bit groups in the file. */
#define FRAME_MESH_MAX 32767

/* 0 at the end of the file, 1 at the first failure (reported: dxf_line_error
** for the file, vc_error for memory, the callback for its own).  *found
** counts the 3DFACEs read and the polygon meshes met. */
int  frame_read_faces(const frame_face_reader *reader, int *found);

/* First two characters of the host's "acadver". */
extern char acadver_prefix[3];
void read_acadver(void);

/* Turns a fixed path of the add-on such as "c:/haldorin/0.scr" or
** "c:\haldorin\ass.dat" into a native one: a drive letter becomes the folder
** the host names for it (host variable DRIVEC for drive C), backslashes become
** slashes.  Returns 0, or 1 when the result does not fit in `size` bytes. */
int  frame_native_path(const char *path, char *out, size_t size);

/* Where a work file of the add-on lives.  `path` is its usual place
** ("vol.dxf" in the current folder, the export beside the module); when the
** host gives the session a private work folder (TEMPPREFIX, ending in a
** slash) the file goes there under its own name instead, so that no file of
** the user's is overwritten or deleted.  Returns 0, or 1 when the result does
** not fit in `size` bytes. */
int  frame_work_path(const char *path, char *out, size_t size);

/* 1 when the environment variable VELMORA_PLAIN is set and not empty: the
** commands then take their plain paths (the pair walk of the crossing, the
** volume's samples through its work file and qsort) instead of the fast
** ones, which give the same results.  Tests and benchmarks compare both. */
int  frame_plain(void);
/* The handlers of the registration table. */
int tri_command(void);
int vol_command(void);
int dovrp(void);
int ass_sort_file(void);
int set_lim(void);
int e_intre_lim(void);
int app_tri(void);
int inters_ltri(void);
int colfe(void);

#endif
