/*
** frame.h -- the add-on's frame: entry, request loop, registration, the
** console messages every subsystem prints through, the DXF group reader the
** readers share, and the drive-letter path helper.
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
** host that the call failed (sds_fail); a warning does not. */
#define VC_ROWS 21
extern const char vc_messages[VC_ROWS][80];
void tri_error(const char *text);
void lib_error(const char *text);
void lib_warning(const char *text);
void vc_error(int row, const char *detail);
void dxf_line_error(const char *text);
/* sds_fail with `first` and `second` joined, the blanks around them dropped;
** for the failures that print no error of their own. */
void frame_fail(const char *first, const char *second);

/* Lets the user select the objects to work on (sds_ssget with no mode or
** filter).  NULL with the set in `ss`; otherwise why there is none, for the
** caller's message: "nothing selected", or "*Cancel*". */
const char *frame_select(sds_name ss);

/* Largest coordinate, in drawing units, that the add-on takes from a drawing
** or a triangle file.  Differences of such numbers and their squares stay
** finite, and far finer than any survey, so the geometry never meets an
** infinity or a NaN; anything larger is refused with a message. */
#define FRAME_COORD_LIMIT 1e12

/* The DXF file being read, group by group. */
extern FILE *dxf_file;
extern char  dxf_code_line[256];
extern int   dxf_line_no;
/* One group: 1, 0 at the end of the file, -1 (reported) when the code line
** is no integer.  `value` holds 256 bytes; a longer line is cut there and
** its rest skipped, so codes and values stay paired. */
int  read_dxf_pair(int *code, char *value);
/* The same inside an entity, where the end of the file is an error too:
** 1 with a group, 0 after the message. */
int  read_entity_pair(int *code, char *value);

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
