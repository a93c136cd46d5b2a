// orient.h -- the sign of the plan orientation of three points, exact for
// double coordinates (no tolerance; barring underflow, that is coordinates
// differing by less than about 1e-150), for decisions that must never
// contradict each other: which side of an edge a corner lies on.
#pragma once

#include <cmath>

namespace velmora {

// The same decided without rounding: for the nearly collinear points on
// which the quick evaluation below cannot be sure.
int orient2d_exact(double ax, double ay, double bx, double by, double cx, double cy);

// +1 when a, b, c turn counter-clockwise in plan, -1 clockwise, 0 collinear:
// the sign of (a - c) x (b - c), decided exactly.  The determinant is first
// taken in plain doubles; when its magnitude exceeds the largest error those
// few operations can make, its sign is right, and when both products are
// exactly zero (a corner shared, or a shared x or y) so is the determinant.
inline int orient2d(double ax, double ay, double bx, double by, double cx, double cy)
{
    double left = (ax - cx) * (by - cy);
    double right = (ay - cy) * (bx - cx);
    double det = left - right;
    // (3 + 16 eps) eps: the error bound of the four operations above.
    double bound = 3.3306690738754716e-16 * (std::fabs(left) + std::fabs(right));
    if (det > bound)
        return 1;
    if (det < -bound)
        return -1;
    if (bound == 0)
        return 0;           // both products exactly zero
    return orient2d_exact(ax, ay, bx, by, cx, cy);
}

}  // namespace velmora
