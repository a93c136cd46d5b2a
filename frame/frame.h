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

/* Messages with the fixed head of each subsystem. */
#define VC_ROWS 21
extern const char vc_messages[VC_ROWS][80];
void tri_error(const char *text);
void lib_error(const char *text);
void vc_error(int row, const char *detail);
void dxf_line_error(const char *text);

/* The DXF file being read, group by group. */
extern FILE *dxf_file;
extern char  dxf_code_line[256];
extern int   dxf_line_no;
int  read_dxf_pair(int *code, char *value);

/* First two characters of the host's "acadver". */
extern char acadver_prefix[3];
void read_acadver(void);

/* Turns a fixed path of the add-on such as "c:/haldorin/0.scr" or
** "c:\haldorin\ass.dat" into a native one: a drive letter becomes the folder
** the host names for it (host variable DRIVEC for drive C), backslashes become
** slashes.  Returns 0, or 1 when the result does not fit in `size` bytes. */
int  frame_native_path(const char *path, char *out, size_t size);

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
