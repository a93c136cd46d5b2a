/*
** bands.cpp -- elevation bands: cutting one triangle at the band levels and
** drawing its pieces as coloured 3DFACEs.
**
** The range colf_low..colf_high holds 15 bands of equal height d.  Level k
** is the top of band k; band k is drawn in colf_colours[14 - k], so index 14
** colours the lowest band and index 0 the highest.  Surface below colf_low
** takes band 0's colour, surface above colf_high band 14's.
*/
#include <math.h>
#include <stdio.h>
#include <string.h>
#include "colouring.h"

double colf_low, colf_high;
int    colf_colours[COLF_BANDS];
int    colf_last_colour = -1;

/* Height of level k (the top of band k); level -1 is colf_low itself.
** Every comparison of a height with a level -- the whole-triangle tests, the
** crossings and the side of a cut-off corner -- takes its level from here, so
** a corner lying exactly on a level is on the same side of it everywhere. */
double colf_level(int k)
{
    /* The levels -1 to 14 of the range last asked for (the same bits of
    ** colf_low and colf_high), worked out once: a triangle asks for up to 20
    ** of them, and the division was a good part of cutting it. */
    static double low, high, levels[COLF_BANDS + 1];
    static int known;
    double d;

    if (k < -1 || k >= COLF_BANDS) {
        d = (colf_high - colf_low) / 15.0;
        return colf_low + (double)(k + 1) * d;
    }
    if (!known || memcmp(&low, &colf_low, sizeof(low)) != 0 ||
        memcmp(&high, &colf_high, sizeof(high)) != 0) {
        d = (colf_high - colf_low) / 15.0;
        for (int i = 0; i <= COLF_BANDS; i++)
            levels[i] = colf_low + (double)i * d;
        low = colf_low;
        high = colf_high;
        known = 1;
    }
    return levels[k + 1];
}

static int same_point(const colf_point *a, const colf_point *b)
{
    return a->x == b->x && a->y == b->y && a->z == b->z;
}

static double dist_3d(const colf_point *a, const colf_point *b)
{
    double dx = a->x - b->x, dy = a->y - b->y, dz = a->z - b->z;
    return sqrt(dx * dx + dy * dy + dz * dz);
}

/* Where the edge U-V meets the level z.  An end lying on the level counts as
** a crossing, and the crossing is then that end itself, bit for bit, so that
** pieces meeting at a corner share it exactly. */
int colf_cross_level(const colf_point *u, const colf_point *v, double z, colf_point *out)
{
    if (v->z - u->z == 0.0)
        return 0;
    if ((u->z > z && v->z > z) || (u->z < z && v->z < z))
        return 0;
    if (u->z == z) {
        *out = *u;
        return 1;
    }
    if (v->z == z) {
        *out = *v;
        return 1;
    }
    double t = (z - u->z) / (v->z - u->z);
    out->x = u->x + (v->x - u->x) * t;
    out->y = u->y + (v->y - u->y) * t;
    out->z = z;
    return 1;
}

/* One 3DFACE in `colour`.  A face with fewer than three distinct corners --
** a quad collapsing pairwise, or a corner triangle whose cut passes through
** that very corner -- has no area and is not drawn.  "i" before a corner
** hides the edge that starts there.  The whole face goes in one call, the
** command word, the corners and the Enter that ends it: a call into the
** host costs more than the values it carries, and the cutter draws hundreds
** of thousands of faces. */
void colf_draw_face(const colf_point *c1, const colf_point *c2, const colf_point *c3,
                    const colf_point *c4, int edges, int colour)
{
    const colf_point *corner[4] = { c1, c2, c3, c4 };
    sds_point p[4];
    int distinct = 0;

    for (int i = 0; i < 4; i++) {
        int repeated = 0;
        for (int j = 0; j < i; j++)
            repeated = repeated || same_point(corner[i], corner[j]);
        distinct += !repeated;
    }
    if (distinct < 3)
        return;
    if (colour != colf_last_colour) {
        char text[16];
        colf_last_colour = colour;
        snprintf(text, sizeof(text), "%d", colour);
        sds_command(RTSTR, "COLOR", RTSTR, text, RTNONE);
    }
    for (int i = 0; i < 4; i++) {
        p[i][0] = corner[i]->x;
        p[i][1] = corner[i]->y;
        p[i][2] = corner[i]->z;
    }
    if (edges == COLF_EDGES_FIRST)
        sds_command(RTSTR, "3DFACE", RT3DPOINT, p[0], RTSTR, "i", RT3DPOINT, p[1],
                    RTSTR, "i", RT3DPOINT, p[2], RTSTR, "i", RT3DPOINT, p[3], RTSTR, "", RTNONE);
    else if (edges == COLF_EDGES_FIRST_THIRD)
        sds_command(RTSTR, "3DFACE", RT3DPOINT, p[0], RTSTR, "i", RT3DPOINT, p[1],
                    RT3DPOINT, p[2], RTSTR, "i", RT3DPOINT, p[3], RTSTR, "", RTNONE);
    else
        sds_command(RTSTR, "3DFACE", RTSTR, "i", RT3DPOINT, p[0], RTSTR, "i", RT3DPOINT, p[1],
                    RTSTR, "i", RT3DPOINT, p[2], RTSTR, "i", RT3DPOINT, p[3], RTSTR, "", RTNONE);
}

static void draw_whole(const colf_point *a, const colf_point *b, const colf_point *c, int colour)
{
    colf_draw_face(a, b, c, c, COLF_EDGES_NONE, colour);
}

/* The piece of the triangle on one side of a cut, the corner side or the
** other side, by the cut's edges:
**
**   edges 1,2: corner B      edges 2,3: corner C      edges 1,3: corner A
**
**        C                        C                        C
**       / \                      / \                      / \
**      /   Q                    Q---P                    Q   \
**     /   / \                  /     \                  / \   \
**    A---P---B                A-------B                A---P---B
**
** The corner side is the triangle (P, Q, corner), the other side the quad
** (P, Q, then the two other corners going on round from Q).  `below` asks
** for the side under the level z.  A corner lying on the level means the cut
** touches the triangle only at that corner (P = Q): the piece is then the
** whole triangle or nothing, by the side the other corners lie on. */
static void draw_end_piece(const colf_cut *cut, int below, double z, int colour,
                           const colf_point *a, const colf_point *b, const colf_point *c)
{
    const colf_point *corner, *next, *last, *other;

    if (cut->p_edge == 1 && cut->q_edge == 2) {
        corner = b; next = c; last = a; other = a;
    } else if (cut->p_edge == 2 && cut->q_edge == 3) {
        corner = c; next = a; last = b; other = below ? a : b;
    } else if (cut->p_edge == 1 && cut->q_edge == 3) {
        corner = a; next = c; last = b; other = b;
    } else {
        return;
    }
    if (corner->z == z) {
        int whole = below ? (other->z < corner->z) : (corner->z < other->z);
        if (whole)
            draw_whole(a, b, c, colour);
        return;
    }
    if ((corner->z < z) == (below != 0))
        colf_draw_face(&cut->p, &cut->q, corner, corner, COLF_EDGES_FIRST, colour);
    else
        colf_draw_face(&cut->p, &cut->q, next, last, COLF_EDGES_FIRST, colour);
}

/* The strip between two successive cuts i (P-Q) and j (R-S).  When one of
** the edges crossed changes between them, the strip turns round the corner
** where the old and the new edge meet, and that corner is added as a
** triangle:
**
**   R---------S     R--------S      R--------S      S---------R
**   |         |     |         \    /         |      |         |
**   |  quad   |     |  quad    C  B   quad   |      A  quad   |
**   |         |     |         /    \         |       \        |
**   P---------Q     P--------Q      P--------Q        P-------Q
**   same edges      Q edge moves    P edge moves     both move: A,
**                   round C:        round B:         quad (P, Q, R, S)
**                   + (Q, S, C)     + (P, R, B)      + (P, S, A) or (Q, R, A)
**
** The quad's first and third edges are the two cuts and are shown. */
static void draw_strip(const colf_cut *i, const colf_cut *j, int colour,
                       const colf_point *a, const colf_point *b, const colf_point *c)
{
    int same_p = i->p_edge == j->p_edge, same_q = i->q_edge == j->q_edge;

    if (same_p && same_q) {
        colf_draw_face(&i->p, &i->q, &j->q, &j->p, COLF_EDGES_FIRST_THIRD, colour);
    } else if (same_p) {
        colf_draw_face(&i->p, &i->q, &j->q, &j->p, COLF_EDGES_FIRST_THIRD, colour);
        colf_draw_face(&i->q, &j->q, c, c, COLF_EDGES_NONE, colour);
    } else if (same_q) {
        colf_draw_face(&i->p, &i->q, &j->q, &j->p, COLF_EDGES_FIRST_THIRD, colour);
        colf_draw_face(&i->p, &j->p, b, b, COLF_EDGES_NONE, colour);
    } else {
        colf_draw_face(&i->p, &i->q, &j->p, &j->q, COLF_EDGES_FIRST_THIRD, colour);
        if (i->p_edge == 1)
            colf_draw_face(&i->p, &j->q, a, a, COLF_EDGES_NONE, colour);
        else
            colf_draw_face(&i->q, &j->p, a, a, COLF_EDGES_NONE, colour);
    }
}

/* Cuts the triangle A, B, C at the levels and draws its pieces from the
** bottom up: the piece under the first cut, the strips between cuts, the
** piece over the last cut.  A triangle inside one band is drawn whole. */
int colf_triangle(const colf_point *a, const colf_point *b, const colf_point *c)
{
    colf_cut cuts[COLF_BANDS];
    int used = 0;

    if (same_point(a, b) || same_point(b, c) || same_point(c, a))
        return 0;
    double zlo = fmin(a->z, fmin(b->z, c->z));
    double zhi = fmax(a->z, fmax(b->z, c->z));
    if (zlo >= colf_level(13)) {
        draw_whole(a, b, c, colf_colours[0]);
        return 0;
    }
    if (zhi <= colf_level(0)) {
        draw_whole(a, b, c, colf_colours[14]);
        return 0;
    }

    for (int k = 0; k < COLF_BANDS; k++) {
        cuts[k].p_edge = cuts[k].q_edge = 0;
        cuts[k].level = -1;
    }
    for (int k = 0; k < COLF_BANDS; k++) {
        double z = colf_level(k);
        colf_cut *cut = &cuts[used];
        colf_point x;
        int started = 0;

        if (zhi <= z && colf_level(k - 1) <= zlo) {
            draw_whole(a, b, c, colf_colours[14 - k]);
            return 0;
        }
        if (colf_cross_level(a, b, z, &x)) {
            cut->p = x;
            cut->p_edge = 1;
            started = 1;
        }
        if (colf_cross_level(b, c, z, &x)) {
            if (started) {
                cut->q = x;
                cut->q_edge = 2;
                cut->level = k;
                if (dist_3d(&cut->p, &cut->q) > 1e-10) {
                    used++;
                    continue;
                }
            } else {
                cut->p = x;
                cut->p_edge = 2;
                started = 1;
            }
        }
        if (colf_cross_level(c, a, z, &x) && started) {
            cut->q = x;
            cut->q_edge = 3;
            cut->level = k;
        }
        if (started) {
            if (cut->q_edge != 0)
                used++;
            else
                cut->p_edge = 0;        /* a lone crossing: no cut */
        }
    }
    if (used == 0)
        return 0;

    int colour = 14 - cuts[0].level;
    draw_end_piece(&cuts[0], 1, colf_level(cuts[0].level), colf_colours[colour], a, b, c);
    for (int j = 1; j < used; j++) {
        colour = 13 - cuts[j - 1].level;
        if (colour < 0)
            colour = 0;
        draw_strip(&cuts[j - 1], &cuts[j], colf_colours[colour], a, b, c);
    }
    colour = colour - 1 < 0 ? 0 : colour - 1;
    draw_end_piece(&cuts[used - 1], 0, colf_level(cuts[used - 1].level),
                   colf_colours[colour], a, b, c);
    return 0;
}

/* A four-cornered face as the triangles (p1, p2, p3) and (p1, p3, p4). */
int colf_quad(const colf_point *p1, const colf_point *p2, const colf_point *p3,
              const colf_point *p4)
{
    if (colf_triangle(p1, p2, p3) != 0)
        return 1;
    return colf_triangle(p1, p3, p4) != 0;
}
