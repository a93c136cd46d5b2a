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

/* Numbered texts of the volume and face-colouring commands. */
const char vc_messages[VC_ROWS][80] = {
    "volume",                                   /*  0 */
    "\n*** VOLUME or COLF Error - ",            /*  1 */
    "Press a key . . .",                        /*  2 */
    "Select objects (3DMESH or 3DFACE): ",      /*  3 */
    "dxfout",                                   /*  4 */
    "entities",                                 /*  5 */
    "previous",                                 /*  6 */
    "",                                         /*  7 */
    "Fatal error -",                            /*  8 */
    "point",                                    /*  9 */
    "select",                                   /* 10 */
    "last",                                     /* 11 */
    "Can't read VOL.DXF at article",            /* 12 */
    "volume increment <",                       /* 13 */
    "ucs",                                      /* 14 */
    "*Cancel*",                                 /* 15 */
    "Can't calculate volume",                   /* 16 */
    "Volume: ",                                 /* 17 */
    "Centroid: ",                               /* 18 */
    "... Wait for sorting %u elements",         /* 19 */
    "Missing 3DFACE or 3DMESH",                 /* 20 */
};

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

void vc_error(int row, const char *detail)
{
    const char *text = row >= 0 && row < VC_ROWS ? vc_messages[row] : "";

    sds_printf("%s", vc_messages[1]);
    sds_printf("%s", text);
    sds_printf("%s", detail);
    sds_printf("%s", "!\n");
    frame_fail(text, detail);
}

const char *frame_select(sds_name ss)
{
    int rc = sds_ssget(NULL, NULL, NULL, NULL, ss);

    if (rc == RTNORM)
        return NULL;
    return rc == RTCAN ? vc_messages[15] : "nothing selected";
}
