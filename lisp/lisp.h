/*
** lisp.h -- small building blocks for the host's LISP programs and the
** record-file sorter.
**
** Owns: dovrp (vector product of two segments), set_lim and its box
** (lim_low, lim_high, lim_ref), e_intre_lim (does a triangle touch the box),
** app_tri (a triangle's extents and corners as one list with a text key), and
** ass_sort_file, which sorts the fixed-width records of "c:\haldorin\ass.dat".
*/
#ifndef VELMORA_LISP_H
#define VELMORA_LISP_H

#include "frame.h"

extern sds_point lim_low;
extern sds_point lim_high;
extern double    lim_ref;

double lim_dist_3d(const sds_point a, const sds_point b);
int    ass_compare(const void *a, const void *b);

/* Longest text "%16.4lf" can make of a double: 309 integer digits, a sign,
** the point and four decimals, with room to spare. */
#define APP_TRI_KEY_SIZE 400

/* Longest record the sorter keeps, and the size of one slot of its table. */
#define ASS_SLOT 32
/* Longest head line "n lu_art" the sorter reads. */
#define ASS_HEAD 26

#endif
