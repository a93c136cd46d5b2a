/*
** colouring.h -- face colouring by elevation: the LISP function colfe.
**
** This folder owns colfe: its arguments, the selection and its export to
** "colf.dxf", read back through the frame's face reader, and the band
** cutter that splits every triangle
** at the 15 band levels between colf_low and colf_high and draws each piece
** as a 3DFACE in its band's colour, with the cut segments as the only visible
** edges.
*/
#ifndef VELMORA_COLOURING_H
#define VELMORA_COLOURING_H

#include "frame.h"

#define COLF_BANDS 15

typedef frame_point colf_point;

/* One level that cuts a triangle: P on the first edge crossed, Q on the
** second; edges are 1 (A-B), 2 (B-C), 3 (C-A), 0 when unset. */
typedef struct {
    colf_point p, q;
    int p_edge, q_edge;
    int level;                      /* level index k, -1 when unset */
} colf_cut;

/* Visible edges of a drawn face. */
#define COLF_EDGES_NONE       0     /* all hidden */
#define COLF_EDGES_FIRST      1     /* only corner 1 to 2 shown */
#define COLF_EDGES_FIRST_THIRD 2    /* 1 to 2 and 3 to 4 shown */

/* Set by colfe at every call. */
extern double colf_low, colf_high;
extern int    colf_colours[COLF_BANDS];
extern int    colf_last_colour;
extern int    colf_found;

/* Bands and faces. */
double colf_level(int k);
int  colf_cross_level(const colf_point *u, const colf_point *v, double z, colf_point *out);
void colf_draw_face(const colf_point *c1, const colf_point *c2, const colf_point *c3,
                    const colf_point *c4, int edges, int colour);
int  colf_triangle(const colf_point *a, const colf_point *b, const colf_point *c);
int  colf_quad(const colf_point *p1, const colf_point *p2, const colf_point *p3,
               const colf_point *p4);

/* Reads the open export's faces into the band cutter; 0 at its end, 1 at
** the first failure (reported). */
int  colf_read_export(void);

#endif
