/*
** messages.cpp -- the console messages of the add-on.
**
** Each subsystem prints its failures under a fixed head.  Texts go to
** sds_printf through "%s", so a '%' in a path or a value line prints as it
** stands instead of being read as a conversion.
*/
#include <stdio.h>
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

void tri_error(const char *text)
{
    sds_printf("%s", "\n*** VELMORA Error - ");
    sds_printf("%s", text);
    sds_printf("%s", "\n");
}

void lib_error(const char *text)
{
    sds_printf("%s", "\n*** LIBVELMORA Error - ");
    sds_printf("%s", text);
}

void vc_error(int row, const char *detail)
{
    sds_printf("%s", vc_messages[1]);
    if (row >= 0 && row < VC_ROWS)
        sds_printf("%s", vc_messages[row]);
    sds_printf("%s", detail);
    sds_printf("%s", "!\n");
}
