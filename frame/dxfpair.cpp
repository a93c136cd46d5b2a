/*
** dxfpair.cpp -- reading a DXF text file one group (code line, value line) at
** a time, with a running line count for the messages; and the host version.
*/
#include <stdint.h>
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

/* Reads one line into buf (size bytes).  A line that does not fit keeps its
** first size - 1 characters and the rest is skipped up to its line end, so
** that it cannot be taken for the next line.  0 at the end of the file. */
static int read_line(char *buf, int size)
{
    if (fgets(buf, size, dxf_file) == NULL)
        return 0;
    if (strchr(buf, '\n') == NULL) {
        int c;
        while ((c = fgetc(dxf_file)) != EOF && c != '\n')
            ;
    }
    dxf_line_no++;
    chop_line_end(buf);
    return 1;
}

/* A group code: an integer, blanks around it allowed. */
static int parse_code(const char *line, int *code)
{
    char *end;
    long v = strtol(line, &end, 10);

    if (end == line || v < INT32_MIN || v > INT32_MAX)
        return 0;
    while (*end == ' ' || *end == '\t' || *end == '\r')
        end++;
    if (*end != '\0')
        return 0;
    *code = (int)v;
    return 1;
}

int read_dxf_pair(int *code, char *value)
{
    if (!read_line(dxf_code_line, sizeof(dxf_code_line)))
        return 0;
    if (!parse_code(dxf_code_line, code)) {
        dxf_line_error(value);
        return -1;
    }
    if (!read_line(value, 256))
        return 0;
    return 1;
}

int read_entity_pair(int *code, char *value)
{
    int rc = read_dxf_pair(code, value);

    if (rc == 0)
        dxf_line_error(" the file ends inside an entity");
    return rc > 0;
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

int frame_work_path(const char *path, char *out, size_t size)
{
    struct resbuf rb;
    char folder[1024] = "";
    const char *name = path;
    int n;

    rb.rbnext = NULL;
    rb.restype = RTNONE;
    if (sds_getvar("TEMPPREFIX", &rb) == RTNORM && rb.restype == RTSTR && rb.resval.rstring) {
        snprintf(folder, sizeof(folder), "%s", rb.resval.rstring);
        free(rb.resval.rstring);
    }
    if (folder[0] == '\0') {
        n = snprintf(out, size, "%s", path);
    } else {
        for (const char *p = path; *p; p++)
            if (*p == '/' || *p == '\\')
                name = p + 1;
        n = snprintf(out, size, "%s%s", folder, name);
    }
    if (n < 0 || (size_t)n >= size) {
        if (size > 0)
            out[0] = '\0';
        return 1;
    }
    return 0;
}
