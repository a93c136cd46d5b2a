/*
** tin.h -- LIBVELMORA, the triangulation library.
**
** Owns the triangulated irregular network: survey points (tin_point) and
** constraint lines (tin_line) go in through lib_triangulate, which orders the
** points, drops plan duplicates, enters the constraint lines as edges that
** the network must keep (outer boundary = group 1, holes = groups 2 and up,
** break lines = group 0), grows the network by an advancing front over a buffer of edges and hands
** every triangle to the caller's face callback the moment it is found.
**
** The library stands alone: it prints, polls for a user break and reports
** its failures through the hooks its caller sets (tin_set_hooks), and keeps
** the state of the call in one record private to its own files (tin_int.h).
** One call at a time.
*/
#ifndef VELMORA_TIN_H
#define VELMORA_TIN_H

#include <stdint.h>

/* A survey point in drawing units. */
typedef struct tin_point {
    double x, y, z;
} tin_point;

#pragma pack(push, 1)

/* A constraint line: start, end and its group (1 = outer boundary,
** 2 .. ngroups = holes, TIN_BREAK = a break line).  Packed: six doubles and
** a 16-bit word. */
typedef struct tin_line {
    double  x1, y1, z1;
    double  x2, y2, z2;
    int16_t group;
} tin_line;

#pragma pack(pop)

/* The group of a break line: an edge the network keeps, with the area on
** both sides of it.  It outlines nothing, so the rules of outline and holes
** (closed rings, the inside test, the corner angles) pass it by; like them
** it may cross no other constraint line, and its ends are survey points. */
#define TIN_BREAK 0

/* Per-triangle callback: the current edge's two ends, then the new point.
** Its result is ignored. */
typedef int (*tin_face_cb)(tin_point a, tin_point b, tin_point c);

/* What the library tells its caller, and asks it.  Any hook may be NULL:
** nothing is printed, no break ever comes. */
typedef struct tin_hooks {
    void (*print)(const char *text);    /* progress and summary lines, no line end */
    int  (*cancelled)(void);            /* non-zero: the user asked to stop */
    void (*error)(const char *text);    /* the text of a failure */
    void (*warning)(const char *text);  /* something passed over; the run goes on */
} tin_hooks;

/* Sets the hooks for the calls that follow (a copy is kept); NULL clears them. */
void tin_set_hooks(const tin_hooks *hooks);

/* How the triangles are found.  Both give the same triangles, corners in
** the same order, in the same order: the straightforward search sweeps the
** sorted points for every front edge; the fast one reads each triangle off
** a Delaunay triangulation built first, and asks the straightforward search
** wherever the two could differ.  The use_ switches speed the
** straightforward search up (1, the default, on); they never change its
** result. */
enum { TIN_SEARCH_FAST = 0, TIN_SEARCH_STRAIGHT = 1 };

typedef struct tin_options {
    int search;             /* TIN_SEARCH_FAST (default) or TIN_SEARCH_STRAIGHT */
    int use_grid;           /* edge grid in the validity test */
    int use_bands;          /* point bands in the sweep */
    int use_sides;          /* skip point blocks wholly on opp's side */
    int use_open;           /* per-block masks of the points not closed */
    int use_hints;          /* try recent refusing edges first */
} tin_options;

extern tin_options tin_opts;

/* Builds the network.  Returns 0 when done, 1 when failed or cancelled (the
** failure has been reported through the error hook).  `points` is sorted
** and compacted in place; *out_npoints receives the count kept. */
int32_t lib_triangulate(int32_t npoints, tin_point *points, const tin_line *lines,
                        int32_t nlines, int16_t ngroups, tin_face_cb face_cb,
                        int32_t *out_npoints, int32_t full_check);

/* Joins break lines (lines of group TIN_BREAK, each a segment with its own
** heights) to the survey in the form lib_triangulate takes them: their
** vertices become survey points (a survey point within the library's
** tolerance in plan keeps its own height, with a warning when the two
** differ), crossings of two break lines at heights that agree become
** survey points, and break lines are cut where they cross the outline or a
** void and dropped outside the area.  Break lines that cross or meet at
** heights that do not agree refuse the run (through the error hook).
**
** On success (0), *out_points holds the points given followed by the new
** ones, and *out_lines the lines given without the break lines followed by
** the break lines' pieces; the caller frees both.  1 after the error hook.
** Gives the same points and lines with no break lines among them. */
int32_t tin_prepare_breaks(int32_t npoints, const tin_point *points, int32_t nlines,
                           const tin_line *lines, tin_point **out_points, int32_t *out_npoints,
                           tin_line **out_lines, int32_t *out_nlines);

/* Trims a network that has no outline: marks (removed[f] = 1) the long
** triangles along its edge, those with an edge longer in plan than
** max_len.  They go from the outside in: a long triangle with a corner on
** the hull, then a long triangle with a corner on one gone, and so on; a
** long triangle surrounded by triangles that stay is kept.  `corners` holds three
** per triangle, as the face callback gave them.  max_len 0 or less: none.
** Returns the number marked, or -1 after the error hook. */
int32_t tin_trim_long(int32_t nfaces, const tin_point *corners, double max_len,
                      uint8_t *removed);

#endif
