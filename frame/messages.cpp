/*
** messages.cpp -- the console messages of the add-on.
**
** Each subsystem prints its failures under a fixed head.  Texts go to
** sds_printf through "%s", so a '%' in a path or a value line prints as it
** stands instead of being read as a conversion.
**
** Every error printed here is also a failure of the command or function in
** progress, and the host is told so with sds_fail: a run that printed an
** error must never look like a success to a script or to the user's files.
** A warning only informs; the run goes on and counts as done.
*/
#include <stdio.h>
#include <string.h>
#include "frame.h"

/* Tells the host the call failed.  The reason is the message's own words,
** `first` then `second`, without the blanks around them: "Missing POINT
** entities", "Can't calculate volume". */
void frame_fail(const char *first, const char *second)
{
    char reason[160];

    snprintf(reason, sizeof(reason), "%s%s", first, second != NULL ? second : "");
    char *start = reason;
    while (*start == ' ' || *start == '\n' || *start == '\r')
        start++;
    size_t n = strlen(start);
    while (n > 0 && (start[n - 1] == ' ' || start[n - 1] == '\n' || start[n - 1] == '!'))
        start[--n] = '\0';
    sds_fail(*start != '\0' ? start : "the add-on reported a failure");
}

void tri_error(const char *text)
{
    sds_printf("%s", "\n*** VELMORA Error - ");
    sds_printf("%s", text);
    sds_printf("%s", "\n");
    frame_fail(text, NULL);
}

void lib_error(const char *text)
{
    sds_printf("%s", "\n*** LIBVELMORA Error - ");
    sds_printf("%s", text);
    frame_fail("LIBVELMORA:", text);
}

void lib_warning(const char *text)
{
    sds_printf("%s", "\n*** LIBVELMORA Warning - ");
    sds_printf("%s", text);
}

void vc_error(const char *text, const char *detail)
{
    sds_printf("%s", VC_HEAD);
    sds_printf("%s", text);
    sds_printf("%s", detail);
    sds_printf("%s", "!\n");
    frame_fail(text, detail);
}

void dxf_line_error(const char *text)
{
    char number[16];

    if (dxf_reader == DXF_READER_TERRAIN) {
        /* the line just read, which is the last counted */
        char line[160];
        snprintf(line, sizeof(line), " READDXF: line %d of the export cannot be read: %.80s",
                 dxf_line_no - 1, dxf_code_line != NULL ? dxf_code_line : "");
        tri_error(line);
        return;
    }
    snprintf(number, sizeof(number), "%d", dxf_line_no);
    vc_error(VC_DXF_ARTICLE, number);
    sds_printf("%s", text);
    sds_printf("\n%s", dxf_code_line != NULL ? dxf_code_line : "");
}
