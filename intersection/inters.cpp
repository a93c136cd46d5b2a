/*
** inters.cpp -- the LISP function (inters_ltri count1 count2): reads the
** triangles of two surfaces, tests every pair whose boxes overlap, chains
** the crossing segments into curves and has the host run the script that
** draws them, "c:/haldorin/2.scr".
*/
#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include "intersection.h"

/* One path for the three files; its digit (the character before ".scr") is
** set before each use. */
static char ltri_path[] = "c:/haldorin/0.scr";
#define LTRI_DIGIT (sizeof(ltri_path) - 6)

static void path_error(const char *word, const char *path)
{
    char text[64];
    snprintf(text, sizeof(text), "%s%s", word, path);
    tri_error(text);
}

static void set_box(ltri_rec *t)
{
    const double *p[3] = { t->p1, t->p2, t->p3 };
    t->xmin = t->xmax = p[0][0];
    t->ymin = t->ymax = p[0][1];
    t->zmin = t->zmax = p[0][2];
    for (int i = 1; i < 3; i++) {
        if (p[i][0] < t->xmin) t->xmin = p[i][0];
        if (p[i][0] > t->xmax) t->xmax = p[i][0];
        if (p[i][1] < t->ymin) t->ymin = p[i][1];
        if (p[i][1] > t->ymax) t->ymax = p[i][1];
        if (p[i][2] < t->zmin) t->zmin = p[i][2];
        if (p[i][2] > t->zmax) t->zmax = p[i][2];
    }
}

/* Reads `count` triangles of file `digit` into `list`.  A file that holds
** fewer triangles than its count, or something that is not a number within
** FRAME_COORD_LIMIT, is rejected with a message naming it.  The file stays:
** both are deleted only once both have been read.  Returns 0 or 1. */
static int read_triangles(char digit, ltri_rec *list, int count, const char *open_word)
{
    char native[1024];
    FILE *f;

    ltri_path[LTRI_DIGIT] = digit;
    if (frame_native_path(ltri_path, native, sizeof(native)) != 0
        || (f = fopen(native, "r")) == NULL) {
        path_error(open_word, ltri_path);
        return 1;
    }
    for (int i = 0; i < count; i++) {
        ltri_rec *t = &list[i];
        int got = fscanf(f, "%lf%lf%lf%lf%lf%lf%lf%lf%lf",
                         &t->p1[0], &t->p1[1], &t->p1[2],
                         &t->p2[0], &t->p2[1], &t->p2[2],
                         &t->p3[0], &t->p3[1], &t->p3[2]);
        int inside = got == 9;
        for (int c = 0; inside && c < 3; c++)
            inside = fabs(t->p1[c]) <= FRAME_COORD_LIMIT && fabs(t->p2[c]) <= FRAME_COORD_LIMIT
                     && fabs(t->p3[c]) <= FRAME_COORD_LIMIT;
        if (!inside) {
            char text[160];
            fclose(f);
            snprintf(text, sizeof(text),
                     " READ %s: triangle %d of %d is missing or not numbers within %.0e",
                     ltri_path, i + 1, count, FRAME_COORD_LIMIT);
            tri_error(text);
            return 1;
        }
        set_box(t);
    }
    fclose(f);
    return 0;
}

/* Deletes the triangle file or the segment file of `digit`. */
static void remove_file(char digit)
{
    char native[1024];

    ltri_path[LTRI_DIGIT] = digit;
    if (frame_native_path(ltri_path, native, sizeof(native)) == 0)
        remove(native);
}

/* A triangle takes nine numbers, each at least one digit and a separator, so
** a file of `size` bytes holds at most size / 18 + 1 of them.  The file must
** be there and a count beyond that is refused, both before any memory is
** asked for it: a mistyped count of two thousand million must not turn into
** a request for 150 GB.  open_word heads the message of a missing file.
** Returns 0 when the count may fit, 1 after the message. */
static int count_fits(char digit, int count, const char *open_word)
{
    char native[1024];
    FILE *f;

    ltri_path[LTRI_DIGIT] = digit;
    if (frame_native_path(ltri_path, native, sizeof(native)) != 0
        || (f = fopen(native, "rb")) == NULL) {
        path_error(open_word, ltri_path);
        return 1;
    }
    long size = (fseek(f, 0, SEEK_END) == 0) ? ftell(f) : -1;
    fclose(f);
    if (size < 0 || (long long)count <= (long long)size / 18 + 1)
        return 0;
    char text[160];
    snprintf(text, sizeof(text), " READ %s: %d triangles cannot fit in its %ld bytes",
             ltri_path, count, size);
    tri_error(text);
    return 1;
}

/* Appends the segment out[0]-out[1] to *segs, the end with the smaller x
** first; on equal x the end found second comes first.  0, or 1 when memory
** runs out. */
static int add_segment(ltri_seg **segs, int *n, int *room, double out[2][3])
{
    const double *first = out[1], *second = out[0];

    if (out[0][0] < out[1][0]) {
        first = out[0];
        second = out[1];
    }
    if (*n == *room) {
        int more = *room < 1024 ? 1024 : (*room > INT_MAX / 2 ? INT_MAX : *room * 2);
        ltri_seg *grown = more > *n ? (ltri_seg *)realloc(*segs, (size_t)more * sizeof(ltri_seg)) : NULL;
        if (grown == NULL)
            return 1;
        *segs = grown;
        *room = more;
    }
    ltri_seg *r = &(*segs)[(*n)++];
    for (int k = 0; k < 3; k++) {
        r->a[k] = first[k];
        r->b[k] = second[k];
    }
    r->free = 1;
    return 0;
}

int ltri_find_segments(const ltri_rec *outer, int n_outer, const ltri_rec *inner,
                       int n_inner, ltri_seg **segs)
{
    int n = 0, room = 0;

    *segs = NULL;
    sds_printf("%s", "\n");
    for (int i = 0; i < n_outer; i++) {
        const ltri_rec *o = &outer[i];
        if (i % 25 == 0)
            sds_printf("\r**2 %d<=%d    ", i, n_outer);
        for (int j = 0; j < n_inner; j++) {
            const ltri_rec *t = &inner[j];
            if (t->xmin > o->xmax)
                break;                  /* every later one starts further right */
            if (t->xmax < o->xmin || t->ymax < o->ymin || t->zmax < o->zmin
                || t->ymin > o->ymax || t->zmin >= o->zmax)
                continue;
            double out[2][3];
            if (ltri_tri_tri(o->p1, o->p2, o->p3, t->p1, t->p2, t->p3, out)
                && add_segment(segs, &n, &room, out) != 0) {
                tri_error(" *malloc SEG*");
                free(*segs);
                *segs = NULL;
                return -1;
            }
        }
    }
    sds_printf("\r**2 %d<=%d    ", n_outer, n_outer);
    return n;
}

int inters_ltri(void)
{
    struct resbuf *args = sds_getargs(), *rb = args;
    int count1 = 0, count2 = 0;
    ltri_rec *ltri1 = NULL, *ltri2 = NULL;

    if (!frame_take_int(&rb, &count1) || !frame_take_int(&rb, &count2) || count1 < 0 || count2 < 0) {
        tri_error(" inters_ltri needs two triangle counts, integers of 0 or more");
        sds_relrb(args);
        return 0;
    }
    sds_relrb(args);

    /* The bigger surface is walked in file order; the smaller one is sorted
    ** on xmin so that each walk over it can stop early. */
    int n_outer = count1, n_inner = count2;
    char d_outer = '0', d_inner = '1';
    if (count1 < count2) {
        n_outer = count2; n_inner = count1;
        d_outer = '1'; d_inner = '0';
    }
    if (count_fits(d_outer, n_outer, " OPEN ") != 0 || count_fits(d_inner, n_inner, " ") != 0)
        return 0;
    ltri1 = (ltri_rec *)malloc((size_t)(count1 > 0 ? count1 : 1) * sizeof(ltri_rec));
    if (ltri1 == NULL) {
        tri_error(" *malloc LTRI1*");
        sds_retvoid();
        return 0;
    }
    ltri2 = (ltri_rec *)malloc((size_t)(count2 > 0 ? count2 : 1) * sizeof(ltri_rec));
    if (ltri2 == NULL) {
        tri_error(" *malloc LTRI2*");
        free(ltri1);
        sds_retvoid();
        return 0;
    }
    ltri_rec *outer = count1 < count2 ? ltri2 : ltri1;
    ltri_rec *inner = count1 < count2 ? ltri1 : ltri2;

    /* The script file is made before the work, as the segment file once was,
    ** so that a folder that cannot take it is found before the work. */
    FILE *script = NULL;
    char native[1024];
    int fail = read_triangles(d_outer, outer, n_outer, " OPEN ")
            || read_triangles(d_inner, inner, n_inner, " ");
    if (!fail) {
        remove_file('0');
        remove_file('1');
        qsort(inner, (size_t)n_inner, sizeof(ltri_rec), ltri_cmp_first_double);
        ltri_path[LTRI_DIGIT] = '2';
        if (frame_native_path(ltri_path, native, sizeof(native)) != 0
            || (script = fopen(native, "w")) == NULL) {
            path_error(" OPEN ", ltri_path);
            fail = 1;
        }
    }
    if (fail) {
        free(ltri1);
        free(ltri2);
        return 0;
    }

    ltri_seg *segs = NULL;
    int n = ltri_find_segments(outer, n_outer, inner, n_inner, &segs);
    int curves = n > 0 ? ltri_chain_segments(segs, n, script) : 0;
    fclose(script);
    free(segs);
    free(ltri1);
    free(ltri2);
    if (n < 0 || curves < 0) {
        sds_retvoid();
    } else if (n == 0) {
        sds_printf("%s", "\n*** No intersection !");
    } else if (curves > 0) {
        sds_printf("\n3DINT: %d curves", curves);
        sds_command(RTSTR, "script", RTSTR, ltri_path, RTNONE);
    }
    remove(native);                     /* the script, or the empty file */
    return 0;
}
