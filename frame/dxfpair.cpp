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

static const uint64_t pow10[20] = {
    1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL, 10000000ULL, 100000000ULL,
    1000000000ULL, 10000000000ULL, 100000000000ULL, 1000000000000ULL, 10000000000000ULL,
    100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL, 100000000000000000ULL,
    1000000000000000000ULL, 10000000000000000000ULL};

/* Eight characters at p as one word, the first in its lowest byte (as read
** on a little-endian machine), each byte ^ '0': a digit's value, 0 to 9, or
** a larger byte for any other character. */
static inline uint64_t digit_word(const char *p)
{
    uint64_t t;
    memcpy(&t, p, 8);
    return t ^ 0x3030303030303030ULL;
}

/* The top bit of every byte of a digit word that holds no digit.  A carry
** out of a byte (one above 0x89, no digit) only reaches the bytes after it
** and may mark a digit there too, never hide a non-digit: the lowest byte
** marked is always the first non-digit. */
static inline uint64_t non_digits(uint64_t t)
{
    return ((t + 0x7676767676767676ULL) | t) & 0x8080808080808080ULL;
}

/* The number a digit word of eight digits makes, the first the highest:
** pairs, then fours, then the eight, by multiplying.  Empty bytes at the
** word's low end are leading zeros. */
static inline uint64_t digit_value(uint64_t t)
{
    t = t * 10 + (t >> 8);
    return (((t & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
            (((t >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >> 32;
}

/* The digits of a number of at least 8 characters (no sign) read eight at
** a time: up to 7 whole digits and the point, from the first word; then
** the decimals a word at a time, the last of them from the word that ends
** with the text (its bytes already read are dropped):
**
**      "403100.8838800012345"   403100 . 88388000 12345
**       |------|  first word: 6 digits, the point (a decimal after it waits)
**              |------|  a word of decimals
**                ...|------|  the last word: its top 5 bytes
**
** A tail of 2 digits or fewer (the export's 10 decimals leave 2) is taken
** one digit at a time, which costs less than a word for so few.
**
** 1 with m and k (see plain_decimal), 0 when the text is of another form
** or has more than 7 whole digits. */
static int decimal_words(const char *p, const char *end, uint64_t *m, int *k)
{
    uint64_t t = digit_word(p), other = non_digits(t);
    int whole = __builtin_ctzll(other | (1ULL << 63)) >> 3;     /* 7 when none */

    if (whole == 0 || p[whole] != '.')
        return 0;
    const char *dec = p + whole + 1;
    if (whole + (end - dec) > 19)
        return 0;
    *k = (int)(end - dec);
    *m = digit_value(t << (8 * (8 - whole)));
    for (; end - dec >= 8; dec += 8) {
        t = digit_word(dec);
        if (non_digits(t) != 0)
            return 0;
        *m = *m * 100000000 + digit_value(t);
    }
    int rest = (int)(end - dec);
    if (rest <= 2) {                    /* the export's tail, 10 decimals: 2 */
        for (; dec < end; dec++) {
            unsigned digit = (unsigned)(unsigned char)*dec - '0';
            if (digit > 9)
                return 0;
            *m = *m * 10 + digit;
        }
    } else {
        uint64_t top = ~0ULL << (8 * (8 - rest));
        t = digit_word(end - 8);
        if ((non_digits(t) & top) != 0)
            return 0;
        *m = *m * pow10[rest] + digit_value(t & top);
    }
    return 1;
}

/* The export's number, "-" or not, digits, a point and decimals, the whole
** `len` characters, with at most 19 digits: 1 with it in *v, 0 when it is
** some other form (from_chars then reads it).  Such a number is m / 10^k
** with m < 10^19 and k <= 18 integers (one digit at least before the point):
**
**      "-4031002.3215810000"   m = 40310023215810000, k = 10
**
** When m <= 2^53 both m and 10^k are doubles exactly, and one division
** rounds the exact quotient to the nearest double: the double from_chars
** and scanf give (Clinger's fast path; it needs arithmetic in double
** precision, rounding to nearest, as on x86-64 with SSE2).  A larger m (a
** y coordinate of 17 digits) is divided in integers, exactly, below. */
static int plain_decimal(const char *p, size_t len, double *v)
{
    /* 2^(63 + b) / 10^k rounded down, b the bits of 10^k: from 2^63 to 2^64. */
    static const uint64_t recip10[20] = {
        0, 0xccccccccccccccccULL, 0xa3d70a3d70a3d70aULL, 0x83126e978d4fdf3bULL,
        0xd1b71758e219652bULL, 0xa7c5ac471b478423ULL, 0x8637bd05af6c69b5ULL,
        0xd6bf94d5e57a42bcULL, 0xabcc77118461cefcULL, 0x89705f4136b4a597ULL,
        0xdbe6fecebdedd5beULL, 0xafebff0bcb24aafeULL, 0x8cbccc096f5088cbULL,
        0xe12e13424bb40e13ULL, 0xb424dc35095cd80fULL, 0x901d7cf73ab0acd9ULL,
        0xe69594bec44de15bULL, 0xb877aa3236a4b449ULL, 0x9392ee8e921d5d07ULL,
        0xec1e4a7db69561a5ULL};
    static const double exact10[20] = {
        1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9,
        1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0 || !defined(__BYTE_ORDER__) || \
    __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
    return 0;
#endif
    const char *end = p + len;
    int negative = p < end && *p == '-';
    p += negative;
    uint64_t m = 0;
    int k = 0;
    if (end - p < 8 || !decimal_words(p, end, &m, &k)) {
        int digits = 0, point = 0;      /* the short and the rare, a digit at a time */
        for (m = 0, k = 0; p < end; p++) {
            if (*p >= '0' && *p <= '9') {
                if (++digits > 19)
                    return 0;
                m = m * 10 + (uint64_t)(*p - '0');
                k += point;
            } else if (*p == '.' && digits > 0 && !point) {
                point = 1;
            } else {
                return 0;               /* ".5", "1e5", words: from_chars reads them */
            }
        }
        if (digits == 0)
            return 0;
    }
    double d;
    if (m <= (1ULL << 53)) {
        d = (double)m / exact10[k];
    } else if (k == 0) {
        d = (double)m;                  /* converted with one rounding */
    } else {
        /* With n = m shifted up to 64 bits (c places) and b the bits of
        ** 10^k, the quotient X = n * 2^(b-1) / 10^k lies between 2^62 and
        ** 2^64.  n * recip10[k] / 2^64 falls short of X by less than 1, so
        ** its top half q is floor(X) or one less; the remainder, exact in 64
        ** bits (k <= 18, so 10^k < 2^60), says which.  floor(X) with a
        ** remainder kept in its lowest bit (10 or more bits below those the
        ** double keeps, so a tie stays a tie only when exact) is converted
        ** with one rounding to nearest, then scaled by 2^-(c + b - 1). */
        uint64_t ten = pow10[k];
        int c = __builtin_clzll(m), b = 64 - __builtin_clzll(ten);
        uint64_t n = m << c;
        uint64_t q = (uint64_t)(((unsigned __int128)n * recip10[k]) >> 64);
        uint64_t rem = (n << (b - 1)) - q * ten;
        if (rem >= ten) {
            q++;
            rem -= ten;
        }
        uint64_t scale_bits = (uint64_t)(1023 - c - (b - 1)) << 52;
        double scale;
        memcpy(&scale, &scale_bits, sizeof scale);
        d = (double)(q | (rem != 0)) * scale;
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
static const char *real_word(const char *text, double *v) __attribute__((noinline));

const char *frame_real(const char *text, double *v)
{
    /* The value line read last is mostly the number alone, its length known. */
    if (text == dxf_value && text != NULL) {
        if (plain_decimal(text, value_len, v))
            return text + value_len;
        std::from_chars_result r = std::from_chars(text, text + value_len, *v, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == text + value_len)
            return r.ptr;
    }
    return real_word(text, v);
}

/* frame_real for any other text, apart so that the common number's way
** above stays short (no buffer for scanf on its stack). */
static const char *real_word(const char *text, double *v)
{
    const char *p = text;
    int used = 0;

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
