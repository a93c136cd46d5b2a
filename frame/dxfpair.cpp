/*
** dxfpair.cpp -- reading a DXF text file one group (code line, value line) at
** a time, with a running line count for the messages; and the host version.
*/
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "frame.h"

FILE *dxf_file;
char  dxf_code_line[256];
int   dxf_line_no;
char  acadver_prefix[3];

/* Drops the line end: the LF, and a CR before it, so that files written with
** CR LF read like the others (as Windows text mode reads them).  A last line
** without a line end keeps all its characters, a CR at its end included. */
static void chop_line_end(char *line)
{
    size_t n = strlen(line);
    if (n > 0 && line[n - 1] == '\n') {
        line[--n] = '\0';
        if (n > 0 && line[n - 1] == '\r')
            line[--n] = '\0';
    }
}

void dxf_line_error(const char *text)
{
    char number[16];

    snprintf(number, sizeof(number), "%d", dxf_line_no);
    vc_error(12, number);
    sds_printf("%s", text);
    sds_printf("\n%s", dxf_code_line);
}

int read_dxf_pair(int *code, char *value)
{
    if (fgets(dxf_code_line, 256, dxf_file) == NULL)
        return 0;
    dxf_line_no++;
    chop_line_end(dxf_code_line);
    if (sscanf(dxf_code_line, "%d", code) != 1)
        dxf_line_error(value);
    if (fgets(value, 256, dxf_file) == NULL)
        return 0;
    dxf_line_no++;
    chop_line_end(value);
    return 1;
}

void read_acadver(void)
{
    struct resbuf rb;

    acadver_prefix[0] = '\0';
    rb.rbnext = NULL;
    rb.restype = RTNONE;
    if (sds_getvar("acadver", &rb) != RTNORM || rb.restype != RTSTR)
        return;                         /* no text: the prefix stays empty */
    if (rb.resval.rstring != NULL) {
        strncpy(acadver_prefix, rb.resval.rstring, 2);
        acadver_prefix[2] = '\0';
        free(rb.resval.rstring);
    }
}

int frame_native_path(const char *path, char *out, size_t size)
{
    char drive[1024] = "";
    size_t used = 0;
    const char *rest = path;

    if (size == 0)
        return 1;
    if (((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'))
        && path[1] == ':') {
        struct resbuf rb;
        char name[8];
        snprintf(name, sizeof(name), "DRIVE%c", path[0] >= 'a' ? path[0] - 32 : path[0]);
        rb.restype = RTNONE;
        if (sds_getvar(name, &rb) == RTNORM && rb.restype == RTSTR && rb.resval.rstring) {
            snprintf(drive, sizeof(drive), "%s", rb.resval.rstring);
            free(rb.resval.rstring);
        } else {
            snprintf(drive, sizeof(drive), ".");
        }
        rest = path + 2;
    }
    for (const char *p = drive; *p; p++) {
        if (used + 1 >= size)
            return 1;
        out[used++] = *p;
    }
    if (drive[0] != '\0' && *rest != '/' && *rest != '\\') {
        if (used + 1 >= size)
            return 1;
        out[used++] = '/';
    }
    for (const char *p = rest; *p; p++) {
        if (used + 1 >= size)
            return 1;
        out[used++] = (*p == '\\') ? '/' : *p;
    }
    out[used] = '\0';
    return 0;
}
