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
#include <limits.h>
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

/* Reads one line without its line end (a LF, and a CR before it) into buf
** of `size` bytes.  Returns the line's full length, or -1 at the end of the
** file; a longer line keeps its first size - 1 characters.  *nul tells
** whether the line holds a NUL byte, which no text record may. */
static long ass_read_line(FILE *f, char *buf, size_t size, int *nul)
{
    long len = 0;
    int c = fgetc(f), last = 0;

    *nul = 0;
    if (c == EOF)
        return -1;
    for (; c != EOF && c != '\n'; c = fgetc(f)) {
        if (c == '\0')
            *nul = 1;
        if ((size_t)len + 1 < size)
            buf[len] = (char)c;
        len++;
        last = c;
    }
    if (c == '\n' && last == '\r')
        len--;
    buf[(size_t)len < size ? (size_t)len : size - 1] = '\0';
    return len;
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

/* "n lu_art": two integers and nothing else.  1 when the line is one. */
static int ass_parse_head(const char *head, int *n, int *lu_art)
{
    char *end;
    long a = strtol(head, &end, 10);
    const char *second = end;

    if (end == head || (*end != ' ' && *end != '\t'))
        return 0;
    long b = strtol(second, &end, 10);
    if (end == second)
        return 0;
    while (*end == ' ' || *end == '\t')
        end++;
    if (*end != '\0' || a < 0 || a > INT_MAX || b < INT_MIN || b > INT_MAX)
        return 0;
    *n = (int)a;
    *lu_art = (int)b;
    return 1;
}

/* A refusal: the message, and the file stays byte for byte as it was. */
static int ass_refuse(FILE *f, const char *text)
{
    fclose(f);
    tri_error(text);
    sds_retvoid();
    return 1;
}

/*
** The whole file is checked before anything is written: a head line that
** does not describe the records must never cost the user a record.  The
** head line holds two integers in at most ASS_HEAD characters, n >= 0 and
** 1 <= lu_art < ASS_SLOT; exactly n record lines follow, none longer than
** lu_art and none holding a NUL.  A shorter record is kept as it is.
*/
int ass_sort_file(void)
{
    char path[1024], head[ASS_SLOT], slot[ASS_SLOT], text[128];
    int n = 0, lu_art = 0, nul;
    long len, lines = 0;

    if (frame_native_path(ASS_PATH, path, sizeof(path)) != 0) {
        ass_path_error();
        return 1;
    }
    FILE *f = fopen(path, "rb");
    if (f == NULL) {
        ass_path_error();
        return 1;
    }
    len = ass_read_line(f, head, sizeof(head), &nul);
    if (len < 0 || len > ASS_HEAD || nul || !ass_parse_head(head, &n, &lu_art))
        return ass_refuse(f, " *ASS head line*");
    if (lu_art >= ASS_SLOT)
        return ass_refuse(f, " *ASS lu_art>=32");
    if (lu_art < 1)
        return ass_refuse(f, " *ASS lu_art<1*");
    while ((len = ass_read_line(f, slot, sizeof(slot), &nul)) >= 0) {
        lines++;
        if (nul || len > lu_art) {
            snprintf(text, sizeof(text), " *ASS record %ld %s*", lines,
                     nul ? "holds a NUL byte" : "is longer than lu_art");
            return ass_refuse(f, text);
        }
    }
    if (lines != n) {
        snprintf(text, sizeof(text), " *ASS %ld record lines, the head line says %d*", lines, n);
        return ass_refuse(f, text);
    }

    /* n is now the number of lines the file holds, so the table is no larger
    ** than the file. */
    char *lt = (char *)calloc((size_t)n + 1, ASS_SLOT);
    if (lt == NULL)
        return ass_refuse(f, " *malloc LT*");
    rewind(f);
    ass_read_line(f, head, sizeof(head), &nul);
    for (int k = 0; k < n; k++)
        ass_read_line(f, lt + (size_t)k * ASS_SLOT, ASS_SLOT, &nul);
    fclose(f);

    qsort(lt, (size_t)n, ASS_SLOT, ass_compare);
    if (ass_write_sorted(path, lt, n) != 0)
        ass_path_error();
    free(lt);
    return 0;
}
