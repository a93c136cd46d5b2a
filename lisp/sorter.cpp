/*
** sorter.cpp -- "ass": sorts the fixed-width records of "c:\haldorin\ass.dat".
**
** The file starts with a head line "n lu_art" (record count and record
** length) and then one record per line.  The records are sorted byte by byte
** and written back without the head line.  The sorted records go to a
** temporary file beside the original, which is renamed over it only once
** everything is written: an interrupted or failed write never costs the
** user's records.
*/
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "lisp.h"

#define ASS_PATH "c:\\haldorin\\ass.dat"

int ass_compare(const void *a, const void *b)
{
    return strcmp((const char *)a, (const char *)b);
}

/* Prints " c:\haldorin\ass.dat" under the command's head: the file is named
** as the LISP programs know it, whatever folder stands for drive C here. */
static void ass_path_error(void)
{
    char text[64];
    snprintf(text, sizeof(text), " %s", ASS_PATH);
    tri_error(text);
}

/* Reads one record line into slot (ASS_SLOT bytes).  Like the fixed-width
** format intends, at most ASS_SLOT - 1 characters are kept; the rest of a
** longer line is skipped so that it cannot be taken for the next record.
** Returns 0 at the end of the file. */
static int ass_read_record(FILE *f, char *slot, int lu_art)
{
    memset(slot, 0, ASS_SLOT);
    if (fgets(slot, ASS_SLOT, f) == NULL)
        return 0;
    if (strchr(slot, '\n') == NULL) {
        int c;
        while ((c = fgetc(f)) != EOF && c != '\n')
            ;
    }
    slot[lu_art] = '\0';    /* cuts the line end of a full-length record */
    return 1;
}

/* Writes the n sorted slots to a temporary file and renames it over path.
** Returns 0 on success; on failure the original file is untouched. */
static int ass_write_sorted(const char *path, char *lt, int n)
{
    char tmp[1100];
    snprintf(tmp, sizeof(tmp), "%s.sorting", path);
    FILE *f = fopen(tmp, "wt");
    if (f == NULL)
        return 1;
    int bad = 0;
    for (int k = 0; k < n && !bad; k++)
        if (fprintf(f, "%s\n", lt + (size_t)k * ASS_SLOT) < 0)
            bad = 1;
    if (fflush(f) != 0)
        bad = 1;
    if (fclose(f) != 0)
        bad = 1;
    if (bad || rename(tmp, path) != 0) {
        remove(tmp);
        return 1;
    }
    return 0;
}

int ass_sort_file(void)
{
    char path[1024];
    char head[ASS_SLOT];
    int n = 0, lu_art = 0;

    if (frame_native_path(ASS_PATH, path, sizeof(path)) != 0) {
        ass_path_error();
        return 1;
    }
    FILE *f = fopen(path, "rt");
    if (f == NULL) {
        ass_path_error();
        return 1;
    }
    memset(head, 0, sizeof(head));
    if (fgets(head, sizeof(head), f) == NULL) {
        fclose(f);
        tri_error(" *ASS head line*");
        sds_retvoid();
        return 1;
    }
    head[26] = '\0';
    if (sscanf(head, "%d %d", &n, &lu_art) != 2 || n < 0 || lu_art < 0) {
        fclose(f);
        tri_error(" *ASS head line*");
        sds_retvoid();
        return 1;
    }
    if (lu_art >= 32) {
        fclose(f);
        tri_error(" *ASS lu_art>=32");
        sds_retvoid();
        return 1;
    }
    /* Every record takes at least its line end, so the rest of the file
    ** bounds how many can follow.  A head count beyond that (a mistyped
    ** 2000000000) must not become a request for tens of gigabytes: the table
    ** gets only the slots the file can fill, and the short file is reported
    ** below like any other. */
    int slots = n;
    long here = ftell(f);
    if (here >= 0 && fseek(f, 0, SEEK_END) == 0) {
        long size = ftell(f);
        if (fseek(f, here, SEEK_SET) != 0) {
            fclose(f);
            ass_path_error();
            return 1;
        }
        if (size >= here && (long long)slots > (long long)(size - here) + 1)
            slots = (int)(size - here) + 1;
    }
    char *lt = (char *)malloc(((size_t)slots + 1) * ASS_SLOT);
    if (lt == NULL) {
        fclose(f);
        tri_error(" *malloc LT*");
        sds_retvoid();
        return 1;
    }
    int got = 0;
    while (got < slots && ass_read_record(f, lt + (size_t)got * ASS_SLOT, lu_art))
        got++;
    fclose(f);
    if (got < n)
        tri_error(" *ASS fewer records than the head line says*");

    qsort(lt, (size_t)got, ASS_SLOT, ass_compare);
    if (ass_write_sorted(path, lt, got) != 0)
        ass_path_error();
    free(lt);
    return 0;
}
