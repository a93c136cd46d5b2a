/*
** dxfpair.cpp -- reading a DXF text file one group (code line, value line) at
** a time, with a running line count for the messages; and the host version.
**
** Lines are read whole, however long, so that a long layer name or text
** cannot shift codes against values.  Every reader of an export goes through
** here: it is the one place where the file's text becomes numbers.
*/
#include <ctype.h>
#include <float.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <charconv>
#include "frame.h"

FILE *dxf_file;
char *dxf_code_line;
char *dxf_value;
int   dxf_line_no;
int   dxf_reader;
char  acadver_prefix[3];

/* The file's bytes are taken a block at a time and cut into lines here:
** getline locks the stream and walks its buffer for every line, which was
** the larger part of reading an export of millions of lines.  dxf_block
** holds dxf_block_len bytes, of which those from dxf_block_at are unread.
**
** A line that lies whole in the block is not copied: its line end becomes
** the terminating zero in the block, and dxf_code_line or dxf_value points
** at it.  A line cut by the end of the block is put together in the line's
** own buffer (code_own, value_own), and so is a line still pointed at when
** the block is filled again, so that the last group read stays readable
** for the messages:
**
**      dxf_block   ... 10\0 1.5\0  20\0 2.2|5\n ...   (| : end of the block)
**                      ^    ^                 value_own: "2.25"
**            dxf_code_line  dxf_value  */
#define DXF_BLOCK_SIZE (1 << 20)
static char  *dxf_block;
static size_t dxf_block_len, dxf_block_at;
static char  *code_own, *value_own;
static size_t code_size, value_size;
static size_t value_len;                /* of dxf_value, as read */

int dxf_open(const char *path)
{
    dxf_close();
    dxf_file = fopen(path, "r");
    dxf_line_no = 1;
    dxf_reader = DXF_READER_VC;
    return dxf_file == NULL;
}

void dxf_close(void)
{
    if (dxf_file != NULL)
        fclose(dxf_file);
    dxf_file = NULL;
    free(dxf_block);
    dxf_block = NULL;
    dxf_block_len = dxf_block_at = 0;
    free(code_own);
    free(value_own);
    code_own = value_own = dxf_code_line = dxf_value = NULL;
    value_len = 0;
    code_size = value_size = 0;
}

/* Appends `n` bytes to the line being read (*used bytes so far), growing it
** as getline would; 0 when no memory is left. */
static int line_append(char **line, size_t *size, size_t *used, const char *from, size_t n)
{
    if (*used + n + 1 > *size) {
        size_t room = *size < 256 ? 256 : *size;
        while (room < *used + n + 1)
            room *= 2;
        char *more = (char *)realloc(*line, room);
        if (more == NULL)
            return 0;
        *line = more;
        *size = room;
    }
    memcpy(*line + *used, from, n);
    *used += n;
    (*line)[*used] = '\0';
    return 1;
}

/* Moves a line that points into the block into its own buffer, before the
** block is filled again; 0 when no memory is left. */
static int keep_line(char **line, char **own, size_t *size)
{
    size_t used = 0;

    if (*line == NULL || *line == *own)
        return 1;
    if (!line_append(own, size, &used, *line, strlen(*line)))
        return 0;
    *line = *own;
    return 1;
}

/* Both lines of the last group into their own buffers, before the block
** is filled again; 0 when no memory is left. */
static int keep_lines(void)
{
    int kept = keep_line(&dxf_code_line, &code_own, &code_size) &&
               keep_line(&dxf_value, &value_own, &value_size);
    value_len = dxf_value != NULL ? strlen(dxf_value) : 0;
    return kept;
}

void dxf_rewind(void)
{
    if (dxf_file != NULL)
        rewind(dxf_file);
    keep_lines();
    dxf_block_len = dxf_block_at = 0;
}

/* One line of the file, as getline reads it but without its LF: *line
** points at it (in the block or in *own), zero-terminated; *ended says
** whether a LF ended it.  The number of bytes, or -1 at the end of the
** file. */
static ssize_t next_line(char **line, char **own, size_t *size, int *ended)
{
    size_t used = 0;
    int any = 0;

    *ended = 0;
    if (dxf_block == NULL && (dxf_block = (char *)malloc(DXF_BLOCK_SIZE)) == NULL) {
        ssize_t n = getline(own, size, dxf_file);
        *line = *own;
        if (n > 0 && (*own)[n - 1] == '\n') {
            (*own)[--n] = '\0';
            *ended = 1;
        }
        return n;
    }
    for (;;) {
        if (dxf_block_at == dxf_block_len) {
            if (!keep_lines())
                return -1;
            dxf_block_len = fread(dxf_block, 1, DXF_BLOCK_SIZE, dxf_file);
            dxf_block_at = 0;
            if (dxf_block_len == 0)     /* *line as it was, when nothing was read */
                return any ? (ssize_t)used : -1;
        }
        char *from = dxf_block + dxf_block_at;
        size_t left = dxf_block_len - dxf_block_at;
        char *lf = (char *)memchr(from, '\n', left);
        size_t n = lf != NULL ? (size_t)(lf - from) : left;
        dxf_block_at += lf != NULL ? n + 1 : n;
        if (lf != NULL && !any) {
            *lf = '\0';
            *line = from;
            *ended = 1;
            return (ssize_t)n;
        }
        if (!line_append(own, size, &used, from, n))
            return -1;
        any = 1;
        *line = *own;                   /* so that keep_line leaves it be */
        if (lf != NULL) {
            *ended = 1;
            return (ssize_t)used;
        }
    }
}

/* Reads one line into *line and drops its line end: the LF, and a CR before
** it, so that files written with CR LF read like the others.  A last line
** without a line end keeps all its characters, a CR at its end included.
** 0 at the end of the file. */
static int read_line(char **line, char **own, size_t *size, size_t *len)
{
    int ended;
    ssize_t n = next_line(line, own, size, &ended);

    if (n < 0)
        return 0;
    dxf_line_no++;
    if (ended && n > 0 && (*line)[n - 1] == '\r')
        (*line)[--n] = '\0';
    *len = (size_t)n;
    return 1;
}

/* A group code: an integer, blanks around it allowed. */
static int parse_code(const char *line, int *code)
{
    /* The usual code line, blanks and a few digits, read at once. */
    const char *p = line;
    while (*p == ' ')
        p++;
    int digits = 0, n = 0;
    while (n < 9 && p[n] >= '0' && p[n] <= '9') {
        digits = digits * 10 + (p[n] - '0');
        n++;
    }
    if (n > 0 && p[n] == '\0') {
        *code = digits;
        return 1;
    }
    char *end;
    long v = strtol(line, &end, 10);

    if (end == line || v < INT32_MIN || v > INT32_MAX)
        return 0;
    while (*end == ' ' || *end == '\t' || *end == '\r')
        end++;
    if (*end != '\0')
        return 0;
    *code = (int)v;
    return 1;
}

/* The usual group at once: a code line of blanks and one to nine digits,
** and the value line after it, both ended by a LF (a CR before the code's
** LF allowed) and both whole in the block.  What read_line and parse_code
** would make of them, without their calls; 0, nothing taken, for any other
** group, which takes the way line by line. */
static int block_pair(int *code)
{
    char *p = dxf_block + dxf_block_at, *end = dxf_block + dxf_block_len;
    char *line = p;
    int digits = 0, n = 0;

    while (p < end && *p == ' ')
        p++;
    while (n < 9 && p < end && *p >= '0' && *p <= '9') {
        digits = digits * 10 + (*p++ - '0');
        n++;
    }
    if (n == 0 || p == end)
        return 0;
    char *code_end = p;
    if (*p == '\r')
        p++;
    if (p == end || *p != '\n')
        return 0;
    char *value = p + 1;
    char *lf = (char *)memchr(value, '\n', (size_t)(end - value));
    if (lf == NULL)
        return 0;
    size_t len = (size_t)(lf - value);
    if (len > 0 && value[len - 1] == '\r')
        len--;
    *code_end = '\0';
    value[len] = '\0';
    dxf_code_line = line;
    dxf_value = value;
    value_len = len;
    dxf_line_no += 2;
    dxf_block_at = (size_t)(lf + 1 - dxf_block);
    *code = digits;
    return 1;
}

int read_dxf_pair(int *code)
{
    size_t len;

    if (dxf_block != NULL && block_pair(code))
        return 1;

    if (!read_line(&dxf_code_line, &code_own, &code_size, &len))
        return 0;
    if (!parse_code(dxf_code_line, code)) {
        dxf_line_error(dxf_value != NULL ? dxf_value : "");
        return -1;
    }
    if (!read_line(&dxf_value, &value_own, &value_size, &value_len))
        return 0;
    return 1;
}

int read_entity_pair(int *code)
{
    int rc = read_dxf_pair(code);

    if (rc == 0)
        dxf_line_error(" the file ends inside an entity");
    return rc > 0;
}

/* The export's number, "-" or not, digits, a point and decimals, the whole
** `len` characters, with at most 19 significant digits (trailing zeros of
** the decimals do not count): 1 with it in *v, 0 when it is some other form.
** Such a number is m / 10^k with m and k integers, trailing zeros dropped:
**
**      "-4031002.3215810000"   m = 40310023215810, k = 7   (three zeros dropped)
**
** When m <= 2^53 and k <= 22 both m and 10^k are doubles exactly, and one
** division rounds the exact quotient to the nearest double: the double
** from_chars and scanf give (Clinger's fast path; it needs arithmetic in
** double precision, rounding to nearest, as on x86-64 with SSE2).  A larger
** m (a y coordinate of 17 digits) is divided in integers, exactly, below. */
static int plain_decimal(const char *p, size_t len, double *v)
{
    static const uint64_t pow10[20] = {
        1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL, 10000000ULL, 100000000ULL,
        1000000000ULL, 10000000000ULL, 100000000000ULL, 1000000000000ULL, 10000000000000ULL,
        100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL, 100000000000000000ULL,
        1000000000000000000ULL, 10000000000000000000ULL};
    static const double exact10[23] = {
        1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
    return 0;
#endif
    const char *end = p + len;
    int negative = p < end && *p == '-';
    p += negative;
    uint64_t m = 0;
    int digits = 0, k = 0;              /* in m; decimals in m */
    while (p < end && *p >= '0' && *p <= '9') {
        if (digits == 19)
            return 0;
        m = m * 10 + (uint64_t)(*p++ - '0');
        digits++;
    }
    if (digits == 0)
        return 0;                       /* ".5", "-", "" and words: not ours */
    if (p < end && *p == '.') {
        const char *last = end;         /* the decimals without trailing zeros */
        while (last > p + 1 && last[-1] == '0')
            last--;
        if (digits + (last - (p + 1)) > 19)
            return 0;
        for (p++; p < last && *p >= '0' && *p <= '9'; p++, k++)
            m = m * 10 + (uint64_t)(*p - '0');
        if (p == last)
            p = end;
    }
    if (p != end || k > 22)
        return 0;
    double d;
    if (m <= (1ULL << 53)) {
        d = (double)m / exact10[k];
    } else {
        /* m has 54 to 64 bits, 10^k (k <= 19 here) at most 64: the quotient
        ** m * 2^s / 10^k, worked out exactly in integers, has 64 or 65 bits,
        ** and its top 53 rounded to nearest (ties to even; a remainder or a
        ** lower bit set breaks a tie upwards) times 2^-s is the double. */
        uint64_t ten = pow10[k];
        int s = __builtin_clzll(m) + (64 - __builtin_clzll(ten));
        unsigned __int128 n = (unsigned __int128)m << s;
        unsigned __int128 q = n / ten;
        int sticky = q * ten != n;
        int drop = (q >> 64) != 0 ? 12 : 11;
        uint64_t keep = (uint64_t)(q >> drop);
        uint64_t rest = (uint64_t)q & ((1ULL << drop) - 1), half = 1ULL << (drop - 1);
        if (rest > half || (rest == half && (sticky || (keep & 1))))
            keep++;
        uint64_t scale_bits = (uint64_t)(1023 + drop - s) << 52;
        double scale;
        memcpy(&scale, &scale_bits, sizeof scale);
        d = (double)keep * scale;
    }
    *v = negative ? -d : d;
    return 1;
}

/* The common number -- optional minus, digits, point, exponent, then a blank,
** a line end or the text's end -- goes through from_chars, which rounds
** exactly as scanf does and is several times faster.  Anything else (a
** plus sign, hex, inf or nan, a value out of range, an exponent without
** digits) takes scanf's own "%lf" so that what is read stays what scanf
** reads. */
const char *frame_real(const char *text, double *v)
{
    const char *p = text;
    int used = 0;

    /* The value line read last is mostly the number alone, its length known. */
    if (text == dxf_value && text != NULL) {
        if (plain_decimal(p, value_len, v))
            return p + value_len;
        std::from_chars_result r = std::from_chars(p, p + value_len, *v, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == p + value_len)
            return r.ptr;
    }

    /* The number's characters: up to the next blank or the end.  The usual
    ** value line is the number alone, which the first loop measures without
    ** asking the locale about every character. */
    size_t len = 0;
    while ((p[len] >= '0' && p[len] <= '9') || p[len] == '.' || p[len] == '-' || p[len] == 'e' ||
           p[len] == 'E')
        len++;
    if (p[len] != '\0') {
        while (isspace((unsigned char)*p))
            p++;
        len = 0;
        while (p[len] != '\0' && !isspace((unsigned char)p[len]))
            len++;
    }
    const char *digits = p + (*p == '-');
    if (*digits != '0' || (digits[1] != 'x' && digits[1] != 'X')) {
        std::from_chars_result r = std::from_chars(p, p + len, *v, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == p + len)
            return r.ptr;
    }
    /* scanf on a copy of the word alone: on a whole file's text it would
    ** measure all of it first. */
    char small[512];
    char *word = len < sizeof(small) ? small : (char *)malloc(len + 1);
    if (word == NULL)
        return NULL;
    memcpy(word, p, len);
    word[len] = '\0';
    int got = sscanf(word, "%lf%n", v, &used);
    if (word != small)
        free(word);
    if (got != 1 || len == 0)
        return NULL;
    return p + used;
}

void read_acadver(void)
{
    struct resbuf rb;

    acadver_prefix[0] = '\0';
    rb.rbnext = NULL;
    rb.restype = RTNONE;
    if (sds_getvar("acadver", &rb) != RTNORM || rb.restype != RTSTR)
        return;                         /* no text: the prefix stays empty */
    if (rb.resval.rstring != NULL) {
        strncpy(acadver_prefix, rb.resval.rstring, 2);
        acadver_prefix[2] = '\0';
        free(rb.resval.rstring);
    }
}
