// orient.cpp -- exact plan orientation, for the nearly collinear points the
// quick test of orient.h cannot be sure of.
//
// The determinant (ax-cx)(by-cy) - (ay-cy)(bx-cx) is recomputed without any
// rounding: every difference is split into its
// rounded value and the exact error (two_diff), every product of such parts
// into a rounded value and its exact error (two_prod), and the sixteen terms
// are summed into an expansion -- a list of doubles of increasing magnitude
// that do not overlap, whose sum is the exact determinant.  The sign of the
// largest part is the sign of the sum.
#include "orient.h"

#include <cmath>

namespace velmora {
namespace {

// x + y == a + b exactly, x = fl(a + b).
inline void two_sum(double a, double b, double &x, double &y)
{
    x = a + b;
    double bv = x - a;
    double av = x - bv;
    y = (a - av) + (b - bv);
}

// x + y == a - b exactly, x = fl(a - b).
inline void two_diff(double a, double b, double &x, double &y)
{
    x = a - b;
    double bv = a - x;
    double av = x + bv;
    y = (a - av) + (bv - b);
}

// x + y == a * b exactly (barring underflow), x = fl(a * b).
inline void two_prod(double a, double b, double &x, double &y)
{
    x = a * b;
    y = std::fma(a, b, -x);
}

// Adds b to the expansion e[0..n) (increasing magnitude, non-overlapping);
// returns the new length.  Zero parts are dropped.
int grow(double *e, int n, double b)
{
    double q = b;
    int m = 0;
    for (int i = 0; i < n; i++) {
        double sum, err;
        two_sum(q, e[i], sum, err);
        q = sum;
        if (err != 0)
            e[m++] = err;
    }
    if (q != 0)
        e[m++] = q;
    return m;
}

}  // namespace

int orient2d_exact(double ax, double ay, double bx, double by, double cx, double cy)
{
    double acx[2], bcy[2], acy[2], bcx[2];
    two_diff(ax, cx, acx[0], acx[1]);
    two_diff(by, cy, bcy[0], bcy[1]);
    two_diff(ay, cy, acy[0], acy[1]);
    two_diff(bx, cx, bcx[0], bcx[1]);
    double e[40];
    int n = 0;
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++) {
            double p, q;
            two_prod(acx[i], bcy[j], p, q);
            n = grow(e, n, p);
            n = grow(e, n, q);
            two_prod(acy[i], bcx[j], p, q);
            n = grow(e, n, -p);
            n = grow(e, n, -q);
        }
    if (n == 0)
        return 0;
    return e[n - 1] > 0 ? 1 : -1;
}


}  // namespace velmora
