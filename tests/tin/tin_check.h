// tin_check.h -- running the triangulation library in-process and checking its networks with exact integer geometry
// (points on integer coordinates, so orientation tests are exact in 64-bit integers).
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tin_int.h"

namespace tt {

// Takes the library's hooks while it lives: what it prints and the failures it reports are kept in order (a failure
// as "error:" and its text); a user break comes after `break_after` polls (never when negative).
class Listen {
public:
    explicit Listen(long break_after = -1);
    ~Listen();
    Listen(const Listen &) = delete;
    Listen &operator=(const Listen &) = delete;
    std::string take();     // everything since the last take
};

struct Tri {
    int a, b, c;
};

struct Run {
    int result = -1;
    int32_t n = -1;
    std::vector<tin_point> pts;     // the array after the call (sorted, compacted)
    std::vector<Tri> tris;          // triangles in emission order, as indices
    std::vector<tin_point> raw;     // the corners as the callback got them
};

Run run(std::vector<tin_point> pts, const std::vector<tin_line> &lines = {},
        int16_t ngroups = 0, int32_t full_check = 0);

// Exact predicates on integer-valued coordinates (relative to an origin to keep products small).
int64_t orient2(const tin_point &a, const tin_point &b, const tin_point &c);

// Checks the network is a proper triangulation (non-degenerate, each edge in at most two triangles, on opposite sides);
// returns "" or the first fault, and twice the plan area in *area2.
std::string check_network(const Run &r, int64_t *area2);

std::vector<tin_point> random_points(int n, int range, unsigned seed, double x0 = 0, double y0 = 0);

// A generated site on integers from 0 to 10000: an outline (colour 1), two voids (2, 3), a dozen break lines (crossing
// each other and the rings, some running out), and survey points at least 1 from any line.  Every line vertex lies on
// z = 200 + 0.01 x + 0.005 y, so crossings agree in height.
struct Site {
    std::vector<tin_point> pts;                 // survey points (ring corners among them)
    std::vector<tin_line> lines;                // rings, then the break lines
    std::vector<std::vector<tin_point>> rings;  // outline, void, void
    bool in_area(double x, double y) const;     // inside the outline, outside the voids
    // The lines as drawn: the rings' LINEs, the break lines, or both.
    std::vector<tin_line> drawn(bool with_rings, bool with_breaks) const;
};
Site break_site(unsigned seed, int count);
tin_line line_of(const tin_point &a, const tin_point &b, int16_t group);
// The lines from each point of `v` to the next (and from the last back to the first when `closed`), of `group`.
std::vector<tin_line> lines_through(const std::vector<tin_point> &v, int16_t group, bool closed = true);
// The preparation of drawn break lines (tin_prepare_breaks): its result,
// and on success the points and lines it gives in *out_pts and *out_lines.
int prepare(const std::vector<tin_point> &pts, const std::vector<tin_line> &drawn,
            std::vector<tin_point> *out_pts, std::vector<tin_line> *out_lines);
// Even-odd test of (x, y) against the closed ring r.
bool in_ring(const std::vector<tin_point> &r, double x, double y);

}  // namespace tt
