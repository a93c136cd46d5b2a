// contour.h -- contour lines of a triangulated surface, and the host command
// CONTOUR that draws them (contour.cpp).
#pragma once

#include <string>
#include <vector>

#include "polylines.h"
#include "surfaces.h"

namespace velmora {

// A contour interval.  Levels are the multiples k * step; when the step has a
// short decimal form (units / 10^decimals, as 0.25 = 25 / 10^2), each level is
// computed from that form, so that level 3 of 0.1 is 0.3 and not
// 0.30000000000000004, and its label reads "0.3".
struct Interval {
    double step = 1;
    long long units = 0;
    int decimals = -1;            // -1: no short decimal form; levels are k * step

    double level(long long k) const;
    std::string label(long long k) const;
};
Interval make_interval(double step);

// A round interval (1, 2, 2.5 or 5 times a power of ten) giving about twenty
// levels between zmin and zmax; 1 when they are equal.
double default_interval(double zmin, double zmax);

struct ContourLevel {
    long long k = 0;              // the level is interval.level(k)
    double z = 0;
    std::vector<Polyline> lines;
};

// The contours of `tris` at every level of `iv` between their lowest and
// highest corner, lowest level first; levels no contour crosses are left out.
// Every vertex lies on a triangle edge at exactly its level.  False, with a
// message in `why`, when the heights span more than `max_levels` levels or
// the step is too small for them.
bool contour_tin(const std::vector<Triangle> &tris, const Interval &iv, std::vector<ContourLevel> &out,
                 std::string &why, long long max_levels = 100000);

}  // namespace velmora
