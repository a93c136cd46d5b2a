/*
** dxfpair.cpp -- reading a DXF text file one group (code line, value line) at
** a time, with a running line count for the messages; and the host version.
**
** Lines are read whole, however long, so that a long layer name or text
** cannot shift codes against values.  Every reader of an export goes through
** here: it is the one place where the file's text becomes numbers.
*/
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "frame.h"

FILE *dxf_file;
char *dxf_code_line;
char *dxf_value;
int   dxf_line_no;
int   dxf_reader;
char  acadver_prefix[3];

static size_t dxf_code_size, dxf_value_size;

int dxf_open(const char *path)
{
    dxf_close();
    dxf_file = fopen(path, "r");
    dxf_line_no = 1;
    dxf_reader = DXF_READER_VC;
    return dxf_file == NULL;
}

void dxf_close(void)
{
    if (dxf_file != NULL)
        fclose(dxf_file);
    dxf_file = NULL;
    free(dxf_code_line);
    free(dxf_value);
    dxf_code_line = dxf_value = NULL;
    dxf_code_size = dxf_value_size = 0;
}

/* Reads one line into *line, grown as needed, and drops its line end: the
** LF, and a CR before it, so that files written with CR LF read like the
** others.  A last line without a line end keeps all its characters, a CR at
** its end included.  0 at the end of the file. */
static int read_line(char **line, size_t *size)
{
    ssize_t n = getline(line, size, dxf_file);

    if (n < 0)
        return 0;
    dxf_line_no++;
    if (n > 0 && (*line)[n - 1] == '\n') {
        (*line)[--n] = '\0';
        if (n > 0 && (*line)[n - 1] == '\r')
            (*line)[--n] = '\0';
    }
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

int read_dxf_pair(int *code)
{
    if (!read_line(&dxf_code_line, &dxf_code_size))
        return 0;
    if (!parse_code(dxf_code_line, code)) {
        dxf_line_error(dxf_value != NULL ? dxf_value : "");
        return -1;
    }
    if (!read_line(&dxf_value, &dxf_value_size))
        return 0;
    return 1;
}

int read_entity_pair(int *code)
{
    int rc = read_dxf_pair(code);

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
