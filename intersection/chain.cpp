/*
** chain.cpp -- joins the loose intersection segments into curves and writes
** the host script that draws each curve as a 3D polyline on layer "3dint".
**
** The segments once went through a text file, each coordinate printed with
** ten decimals and read back; the chaining still sees them so rounded
** (ltri_round), which keeps the curves and the script as they always were.
*/
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include "intersection.h"

int ltri_cmp_first_double(const void *p, const void *q)
{
    double a = *(const double *)p;
    double b = *(const double *)q;
    if (a < b)
        return -1;
    if (a > b)
        return 1;
    return 0;
}

/* ldc[count-1] .. ldc[0] move one place up, the highest first, so that
** ldc[0] can take a new first vertex. */
void ltri_shift_vertices(double (*ldc)[3], int count)
{
    for (int m = count - 1; m >= 0; m--) {
        ldc[m + 1][0] = ldc[m][0];
        ldc[m + 1][1] = ldc[m][1];
        ldc[m + 1][2] = ldc[m][2];
    }
}

static int ends_meet(const double p[3], const double q[3])
{
    double dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
    return sqrt(dx * dx + dy * dy + dz * dz) < LTRI_EPS;
}

static void put3(double to[3], const double from[3])
{
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
}

/*
** Growing one curve.  The seed is the free segment with the smallest a.x;
** ldc holds the curve's vertices, S its first and E its last:
**
**        S                               E
**        ldc[0] --- ldc[1] --- ... --- ldc[k]
**
**   a segment a-b with a at E:   ... --- E --- b            (b appended)
**   a segment a-b with b at E:   ... --- E --- a            (a appended)
**   a segment a-b with a at S:   b --- S --- ...            (all shift up,
**   a segment a-b with b at S:   a --- S --- ...             new ldc[0])
**
** One pass walks the free segments after the seed in sorted order and may
** attach several of them; passes repeat until one attaches nothing, so a
** seed that lies in the middle of its chain still collects both halves:
**
**   pass 1:          seed ==> s4 ==> s7            (E moves right)
**   pass 2:   s2 <== seed                          (S moves left; s2 sorts
**                                                   before s4 but met S
**                                                   only after s7 joined)
**
** A closed loop ends with its last vertex on top of its first.  Where three
** segments meet in one point the first match takes it; the one left over
** seeds a curve of its own later.
*/
int ltri_build_curves(ltri_seg *seg, int n, double (*ldc)[3], FILE *script)
{
    int remaining = n;
    int start = 0;
    int colour = 1;
    int curves = 0;

    sds_printf("\n**3 %d>=0", n);
    while (remaining > 0) {
        int seed = start;
        while (seed < n && !seg[seed].free)
            seed++;
        if (seed >= n)
            break;                      /* cannot happen while remaining > 0 */
        start = seed + 1;

        put3(ldc[0], seg[seed].a);
        put3(ldc[1], seg[seed].b);
        int k = 1;
        double s[3], e[3];
        put3(s, seg[seed].a);
        put3(e, seg[seed].b);
        seg[seed].free = 0;
        remaining--;

        int attached;
        do {
            attached = 0;
            for (int j = start; j < n; j++) {
                ltri_seg *r = &seg[j];
                if (!r->free)
                    continue;
                int hit = 1;
                if (ends_meet(e, r->a)) {
                    k++; put3(ldc[k], r->b); put3(e, r->b);
                } else if (ends_meet(e, r->b)) {
                    k++; put3(ldc[k], r->a); put3(e, r->a);
                } else if (ends_meet(s, r->a)) {
                    ltri_shift_vertices(ldc, k + 1); put3(ldc[0], r->b); k++; put3(s, r->b);
                } else if (ends_meet(s, r->b)) {
                    ltri_shift_vertices(ldc, k + 1); put3(ldc[0], r->a); k++; put3(s, r->a);
                } else {
                    hit = 0;
                }
                if (hit) {
                    r->free = 0;
                    remaining--;
                    attached++;
                }
                if (remaining % 2 == 0)
                    sds_printf("\r**3 %d>=0    ", remaining);
            }
        } while (attached > 0);

        fprintf(script, "color %d\nlayer make 3dint\n\n", colour);
        colour++;
        if (colour == 256)
            colour = 1;
        curves++;
        fprintf(script, "3dpoly\n");
        for (int m = 0; m <= k; m++)
            fprintf(script, "%lf,%lf,%lf\n", ldc[m][0], ldc[m][1], ldc[m][2]);
        fprintf(script, "\n");
    }
    sds_printf("\r**3 %d>=0    ", remaining);
    return curves;
}

double ltri_round(double v)
{
    char text[400];                     /* "%.10f" of any double fits */

    snprintf(text, sizeof(text), "%.10f", v);
    return strtod(text, NULL);
}

int ltri_chain_segments(ltri_seg *segs, int n, FILE *script)
{
    double (*ldc)[3] = (double (*)[3])malloc(((size_t)n + 1) * sizeof(double[3]));
    int curves;

    if (ldc == NULL) {
        tri_error(" *malloc LDC*");
        return -1;
    }
    for (int i = 0; i < n; i++) {
        for (int k = 0; k < 3; k++) {
            segs[i].a[k] = ltri_round(segs[i].a[k]);
            segs[i].b[k] = ltri_round(segs[i].b[k]);
        }
        segs[i].free = 1;
    }
    qsort(segs, (size_t)n, sizeof(ltri_seg), ltri_cmp_first_double);
    curves = ltri_build_curves(segs, n, ldc, script);
    free(ldc);
    return curves;
}
