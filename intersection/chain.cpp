/*
** chain.cpp -- joins the loose intersection segments into curves and has the
** host draw each curve as a 3D polyline on layer "3dint" through a script.
*/
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include "intersection.h"

int cmp_first_double(const void *p, const void *q)
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
void shift_vertices(double (*ldc)[3], int count)
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
int ltri_build_curves(seg_rec *seg, int n, double (*ldc)[3], FILE *script)
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
                seg_rec *r = &seg[j];
                if (!r->free)
                    continue;
                int hit = 1;
                if (ends_meet(e, r->a)) {
                    k++; put3(ldc[k], r->b); put3(e, r->b);
                } else if (ends_meet(e, r->b)) {
                    k++; put3(ldc[k], r->a); put3(e, r->a);
                } else if (ends_meet(s, r->a)) {
                    shift_vertices(ldc, k + 1); put3(ldc[0], r->b); k++; put3(s, r->b);
                } else if (ends_meet(s, r->b)) {
                    shift_vertices(ldc, k + 1); put3(ldc[0], r->a); k++; put3(s, r->a);
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

static void path_error(const char *word, const char *path)
{
    char text[64];
    snprintf(text, sizeof(text), "%s%s", word, path);
    tri_error(text);
}

/* The segment file is deleted on every way out: a failure must not leave
** segments for a later call to take as its own. */
void chain_segments(int n)
{
    const char *path = "c:/haldorin/2.scr";
    char native[1024];
    seg_rec *seg = NULL;
    double (*ldc)[3] = NULL;
    FILE *f;
    int curves;

    if (frame_native_path(path, native, sizeof(native)) != 0) {
        path_error(" OPEN ", path);
        return;
    }
    seg = (seg_rec *)malloc((size_t)n * sizeof(seg_rec));
    if (seg == NULL) {
        tri_error(" *malloc SEG*");
        sds_retvoid();
        remove(native);
        return;
    }
    ldc = (double (*)[3])malloc(((size_t)n + 1) * sizeof(double[3]));
    if (ldc == NULL) {
        free(seg);
        tri_error(" *malloc LDC*");
        sds_retvoid();
        remove(native);
        return;
    }

    if ((f = fopen(native, "r")) == NULL) {
        path_error(" OPEN ", path);
        free(ldc);
        free(seg);
        return;
    }
    for (int i = 0; i < n; i++) {
        seg_rec *r = &seg[i];
        if (fscanf(f, "%lf%lf%lf%lf%lf%lf", &r->a[0], &r->a[1], &r->a[2],
                   &r->b[0], &r->b[1], &r->b[2]) != 6) {
            /* Never chain records that were not read. */
            fclose(f);
            path_error(" READ ", path);
            free(ldc);
            free(seg);
            remove(native);
            return;
        }
        r->free = 1;
    }
    fclose(f);
    remove(native);

    qsort(seg, (size_t)n, sizeof(seg_rec), cmp_first_double);

    f = fopen(native, "w");
    if (f == NULL) {
        path_error(" OPEN ", path);
        free(ldc);
        free(seg);
        return;
    }
    curves = ltri_build_curves(seg, n, ldc, f);
    fclose(f);
    free(ldc);
    free(seg);

    if (curves > 0) {
        sds_printf("\n3DINT: %d curves", curves);
        sds_command(RTSTR, "script", RTSTR, path, RTNONE);
    }
    remove(native);
}
