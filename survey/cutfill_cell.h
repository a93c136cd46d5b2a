// cutfill_cell.h -- one cell of the cut and fill overlay (cutfill_cell.cpp):
// the triangles of a surface prepared for it, and the convex cell where a
// ground triangle and a design triangle overlap in plan, with the height of
// both surfaces at each of its corners.  For cutfill.cpp alone.
#pragma once

#include <vector>

#include "surfaces.h"

namespace velmora {
namespace cf {

// A triangle with a plan area, counter-clockwise in plan, with its bounding
// box and the slope of its plane.
struct Tri {
    Vec3 p[3];
    double x0, y0, x1, y1;
    double gx, gy;
};

// The triangles of a surface that have a plan area, in the order given.
struct Surface {
    std::vector<Tri> t;
};

Surface prepare(const std::vector<Triangle> &in);

// A corner of a cell: plan position and the height of each surface there.
struct Corner {
    double x, y, za, zb;
};

inline double cross2(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// Whether the plan interiors of a and b are apart.  Two convex polygons
// whose interiors do not meet are parted by the line of an edge of one of
// them, with the other on its far side or on it.  sb[i][j]: a's corner i
// against b's edge j; sa[j][i]: b's corner j against a's edge i.
bool apart(const Tri &a, const Tri &b, int sb[3][3], int sa[3][3]);

// The corners of the cell a ∩ b, counter-clockwise when `ordered` (else in
// the order found, which is all that extreme depths need); their number, 0
// when the plan interiors do not overlap.  `out` holds at least 16 corners.
int clip(const Tri &a, const Tri &b, Corner *out, bool ordered = true);

// Drops the corners of a polygon that repeat the one before them (the last
// against the first too); returns how many are left.
template <class Point>
int drop_repeats(Point *p, int n)
{
    int m = 0;
    for (int k = 0; k < n; k++)
        if (m == 0 || p[k].x != p[m - 1].x || p[k].y != p[m - 1].y)
            p[m++] = p[k];
    while (m > 1 && p[m - 1].x == p[0].x && p[m - 1].y == p[0].y)
        m--;
    return m;
}

}  // namespace cf
}  // namespace velmora
